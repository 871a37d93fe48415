#include "ui/AppSiteAddWizardFRM.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTimer>

#include "UiTestSupport.h"
#include "base/IniFile.h"
#include "detection/AppDiscovery.h"
#include "platform/fake/FakeDiscovery.h"
#include "ui/ImageControls.h"
#include "ui/MonitoredListBox.h"

namespace tw {
namespace {

using Wizard = TfrmAppSiteAddWizard;
using Strings = std::vector<std::string>;

const char kNotepad[] = "C:\\Apps\\Notepad.exe";
const char kNewsSite[] = "news.example.org";

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}
void Click(QWidget* widget) {
    QTest::mouseClick(widget, Qt::LeftButton);
}
int RowOf(const TMonitoredListBox* list, const char* caption) {
    for (int row = 0; row < list->count(); ++row) {
        if (list->Caption(row) == QLatin1String(caption)) {
            return row;
        }
    }
    return -1;
}
QPoint RowCentre(TMonitoredListBox* list, const char* caption) {
    return list->visualItemRect(list->item(RowOf(list, caption))).center();
}
Strings Captions(const TMonitoredListBox* list) {
    Strings captions;
    for (int row = 0; row < list->count(); ++row) {
        if (list->Item(row) != nullptr) {
            captions.push_back(list->Caption(row).toStdString());
        }
    }
    return captions;
}
// A click on the row's check box cell (its right-most pixels).
TMonitoredItem* ClickCheck(TMonitoredListBox* list, const char* caption) {
    const int row = RowOf(list, caption);
    EXPECT_GE(row, 0) << caption;
    const QRect rect = list->visualItemRect(list->item(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      QPoint(rect.right() - 4, rect.center().y()));
    return list->Item(row);
}
// "checked" or "unchecked", then " inactive" when so; "missing" for none.
std::string State(const TMonitoredItem* item) {
    if (item == nullptr) {
        return "missing";
    }
    return std::string(item->Checked ? "checked" : "unchecked") + (item->Active ? "" : " inactive");
}
// From the sites page to the page of applications by name.
void ToAppsPage(Wizard& w) {
    Click(w.btnSites_Next);
    Click(w.btnAppProcessesNext);
}

class AppSiteAddWizardTest : public test::UiTest {
protected:
    void SetUp() override {
        test::UiTest::SetUp();
        SeedList();
    }
    static void SeedList() {
        for (const auto& [name, caption, type] : {std::tuple{kNotepad, "Notepad", mitApplication},
                                                  std::tuple{kNewsSite, "News site", mitWebSite}}) {
            auto item = std::make_unique<TMonitoredItem>();
            item->Name = name;
            item->Caption = caption;
            item->ItemType = type;
            Options().MonitoredList().Add(caption, std::move(item));
        }
    }
    void TearDown() override {
        Wizard::SetBrowseHook({});
        test::UiTest::TearDown();
    }

    // Runs the wizard over the settings' list; `drive` plays the user.
    bool Run(const std::function<void(Wizard&)>& drive) {
        OnModal([&drive](TfrmBase& window) {
            auto& wizard = dynamic_cast<Wizard&>(window);
            EXPECT_TRUE(QTest::qWaitForWindowActive(&wizard));
            drive(wizard);
            if (wizard.isVisible()) {
                wizard.reject();
            }
        });
        return Wizard(discovery).Execute(&Options(), &Options().MonitoredList(), &result);
    }
    // The entry of that name handed back: see State().
    std::string Result(const std::string& name) const {
        const int index = result.IndexOfName(name);
        return State(index < 0 ? nullptr : result.Items(index));
    }

    FakeDiscovery fake;
    TAppDiscovery discovery{fake};
    TMonitoredList result;
};

TEST_F(AppSiteAddWizardTest, PagesHaveTheirHeadersAndKeysFollowThePage) {
    Strings headers;
    const bool finished = Run([&](Wizard& w) {
        const auto header = [&] { headers.push_back(w.lblCaption->text().toStdString()); };
        header();
        Click(w.btnSites_Next);
        header();
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape, Qt::Key_Escape}) {  // Next, Back
            QTest::keyClick(&w, key);
            header();
        }
        w.edURL->setText(QStringLiteral("example.com"));
        QTest::keyClick(&w, Qt::Key_Return);  // Add
        EXPECT_TRUE(w.edURL->text().isEmpty());
        QTest::keyClick(&w, Qt::Key_Escape);  // Cancel
    });
    EXPECT_FALSE(finished);
    EXPECT_EQ(headers,
              (Strings{"Add Websites to your time-limit list", "Add Applications by Scanning",
                       "Add Applications by Name", "Add Applications by Scanning",
                       "Add Websites to your time-limit list"}));
    // Added before "Cancel": still handed back, with the untouched list.
    EXPECT_EQ(Result("example.com"), "checked");
    EXPECT_EQ(result.Count(), 3);
}

TEST_F(AppSiteAddWizardTest, DuplicatesAreRefusedOrRenamed) {
    Run([&](Wizard& w) {
        EXPECT_TRUE(w.AddEntry(w.lbxSites, mitWebSite, Q(""), Q("example.com")));
        EXPECT_FALSE(w.AddEntry(w.lbxSites, mitWebSite, Q(""), Q("example.com")));
        // The same address with a tag renames the entry instead.
        EXPECT_TRUE(w.AddEntry(w.lbxSites, mitWebSite, Q(" News "), Q("example.com")));
        EXPECT_EQ(Captions(w.lbxSites), (Strings{"News", "News site"}));
        EXPECT_FALSE(w.AddEntry(w.lbxSites, mitWebSite, Q("Notepad"), Q(kNotepad)));
        EXPECT_FALSE(w.AddEntry(w.lbxApps, mitApplication, Q("News site"), Q(kNewsSite)));
        EXPECT_FALSE(
            w.AddEntry(w.lbxApps, mitApplication, Q("Notepad"), Q("c:\\apps\\NOTEPAD.exe")));
        EXPECT_FALSE(w.AddEntry(w.lbxApps, mitApplication, Q(""), Q(ProgramFilePath())));
        EXPECT_FALSE(w.AddEntry(w.lbxApps, mitApplication, Q("tag"), Q("  ")));
        ToAppsPage(w);
        EXPECT_EQ(Captions(w.lbxApps), Strings{"Notepad"});
        Click(w.btnFinish);
    });
    const std::string site =
        "Please note: You have already added an site with the same URL to "
        "the list. Please choose ";
    const std::string app =
        "Please note: You have already added an application with the same "
        "filename. Please choose another ";
    EXPECT_EQ(
        notices,
        (Strings{site + "another URL.", app + "URL.", site + "filename.", app + "filename.",
                 "Please Note: \"" + ExeBaseName() + "\" could not be added to time-limit list"}));
    ASSERT_EQ(Result("example.com"), "checked");
    EXPECT_EQ(result.Items(result.IndexOfName("example.com"))->Caption, "News");
}

TEST_F(AppSiteAddWizardTest, AdministratorUnchecksAndReadds) {
    Options().AdminLoggedIn = true;
    Run([&](Wizard& w) {
        EXPECT_FALSE(ClickCheck(w.lbxSites, "News site")->Checked);
        // Added and unchecked in this run: handed back unchecked.
        w.edURL->setText(QStringLiteral("example.com"));
        Click(w.btnAdd);
        ClickCheck(w.lbxSites, "example.com");
        // Double click fills the boxes; the caption differs from the name.
        QTest::mouseDClick(w.lbxSites->viewport(), Qt::LeftButton, {},
                           RowCentre(w.lbxSites, "News site"));
        EXPECT_EQ(w.edURL->text().toStdString(), kNewsSite);
        EXPECT_EQ(w.edTag->text(), QStringLiteral("News site"));
        ToAppsPage(w);
        Click(w.btnFinish);
    });
    EXPECT_EQ(Result(kNewsSite), "unchecked");
    EXPECT_EQ(Result("example.com"), "unchecked");

    // Re-adding the unchecked site by name checks that same site again.
    result.Clear();
    Run([&](Wizard& w) {
        ClickCheck(w.lbxSites, "News site");
        w.edURL->setText(Q(kNewsSite));
        Click(w.btnAdd);
        EXPECT_EQ(Captions(w.lbxSites), Strings{"News site"});
        EXPECT_TRUE(w.lbxSites->Item(RowOf(w.lbxSites, "News site"))->Checked);
    });
    EXPECT_EQ(Result(kNewsSite), "checked");
    EXPECT_TRUE(notices.empty());
}

TEST_F(AppSiteAddWizardTest, UserRemovalsByAccessLevel) {
    struct Case {
        const char* name;
        bool allowUser, removalUsed;  // MonitoredItemDeleteActionProcessed before
        const char* site;             // the listed site once unchecked, in list and result
        const char* app;              // the listed application once unchecked
        const char* appResult;
        bool removalUsedAfter;
    };
    const Case cases[] = {
        {"removal already used: both inactive", true, true, "unchecked inactive",
         "unchecked inactive", "checked inactive", true},
        {"one final removal, then inactive", true, false, "unchecked", "unchecked inactive",
         "checked inactive", true},
        // The delivered build has no password: level 0 passes like an administrator.
        {"no right to change, no password", false, false, "unchecked", "unchecked", "unchecked",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResetOptions();
        GetIniFile().EraseSection("Common");
        SeedList();
        Options().AllowUserToChangeSettings = c.allowUser;
        Options().AdminLoggedIn = false;
        Options().MonitoredItemDeleteActionProcessed = c.removalUsed;
        result.Clear();
        Run([&](Wizard& w) {
            EXPECT_EQ(State(ClickCheck(w.lbxSites, "News site")), c.site);
            ToAppsPage(w);
            EXPECT_EQ(State(ClickCheck(w.lbxApps, "Notepad")), c.app);
            Click(w.btnFinish);
        });
        EXPECT_EQ(Result(kNewsSite), c.site);
        EXPECT_EQ(Result(kNotepad), c.appResult);
        EXPECT_EQ(Options().MonitoredItemDeleteActionProcessed, c.removalUsedAfter);
        EXPECT_EQ(GetIniFile().ReadInteger("Common", "MonitoredItemDeleteActionProcessed", -1),
                  c.removalUsedAfter && !c.removalUsed ? 1 : -1);
        EXPECT_TRUE(notices.empty());
    }
}

class AppSiteAddWizardScanTest : public AppSiteAddWizardTest {
protected:
    void SetUp() override {
        AppSiteAddWizardTest::SetUp();
        for (const char* name : {"A", "B", "C", "D", "E", "F"}) {
            fake.AddFile(std::string("C:\\Program Files\\") + name + "\\" + name + ".exe");
        }
        fake.SetVersionStrings("C:\\Program Files\\A\\A.exe", {{"FileDescription", "Keynote"}});
        fake.AddShortcut("C:\\Start\\NoteBook.lnk", "C:\\Apps\\NoteBook.exe");
        fake.AddShortcut("C:\\Start\\Paint.lnk", "C:\\Apps\\Paint.exe");
        fake.AddProcess("alice", "C:\\Tools\\notes2.exe");
        fake.AddProcess("bob", "C:\\Tools\\Other.exe");
    }
    // Starts a scan of `type`. The click returns at once: the scan is left
    // to the wizard's timer, which the test plays with Pump().
    void StartScan(Wizard& w, int type) {
        if (w.ActivePage() == w.tsMonitoredSites) {
            Click(w.btnSites_Next);
        }
        w.cbxScanningAlghorithm->setCurrentIndex(type);
        QObject::disconnect(gaugeWatch);
        gaugeWatch = QObject::connect(w.ggScan, &QProgressBar::valueChanged,
                                      [this](int value) { gauge.push_back(value); });
        Click(w.btnScan);
        EXPECT_TRUE(w.Scanning());
        EXPECT_EQ(w.btnScan->Caption(), QStringLiteral("Stop"));
        EXPECT_TRUE(w.edtFilter->isHidden());
        EXPECT_TRUE(w.tmrScanStep->isActive());
    }
    // Runs slices of the scan until it is over or `until` holds.
    static void Pump(Wizard& w, const std::function<bool()>& until = {}) {
        for (int slice = 0; slice < 1000 && w.Scanning() && !(until && until()); ++slice) {
            w.tmrScanStepTimer();
        }
    }
    void Scan(Wizard& w, int type) {
        StartScan(w, type);
        Pump(w);
        EXPECT_FALSE(w.Scanning());
    }
    std::vector<int> gauge;
    QMetaObject::Connection gaugeWatch;
};

TEST_F(AppSiteAddWizardScanTest, ScanRunsBetweenEventsAndStopKeepsWhatWasFound) {
    Run([&](Wizard& w) {
        // Queued before the click: only the event loop may run it, never the scan.
        QObject queue;
        bool queuedRan = false;
        QMetaObject::invokeMethod(
            &queue, [&queuedRan] { queuedRan = true; }, Qt::QueuedConnection);
        StartScan(w, 1);
        // Six folders: "Stop" once the second is entered (gauge 43), before B is named.
        Pump(w, [&] { return w.ggScan->value() >= 43; });
        Click(w.btnScan);
        EXPECT_TRUE(w.Scanning());  // the running programs are still to come
        Pump(w);
        EXPECT_FALSE(queuedRan);
        EXPECT_EQ(Captions(w.lbxAppProcesses), (Strings{"Keynote", "Notepad", "notes2"}));
        EXPECT_EQ(w.btnScan->Caption(), QStringLiteral("Scan"));
        EXPECT_TRUE(w.ggScan->isHidden());
        EXPECT_FALSE(w.edtFilter->isHidden());
        EXPECT_FALSE(w.tmrScanStep->isActive());
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        // Picking a scanned program puts it on the list.
        ClickCheck(w.lbxAppProcesses, "notes2");
        QTest::mouseClick(w.lbxAppProcesses->viewport(), Qt::LeftButton, {},
                          RowCentre(w.lbxAppProcesses, "notes2"));
        EXPECT_EQ(w.mmAppInfo->toPlainText(), QStringLiteral("notes2\nC:\\Tools\\notes2.exe"));
        QTest::keyClick(&w, Qt::Key_Return);
        EXPECT_EQ(Captions(w.lbxApps), (Strings{"Notepad", "notes2"}));
        Click(w.btnFinish);
    });
    EXPECT_EQ(gauge, (std::vector<int>{29, 43, 100}));
    EXPECT_EQ(Result("C:\\Tools\\notes2.exe"), "checked");
    EXPECT_EQ(Result("C:\\Program Files\\A\\A.exe"), "missing");
    EXPECT_EQ(result.Count(), 3);
}

TEST_F(AppSiteAddWizardScanTest, FastScanThenFilterInAnyCase) {
    Run([&](Wizard& w) {
        Scan(w, 0);
        EXPECT_EQ(Captions(w.lbxAppProcesses), (Strings{"NoteBook", "Notepad", "notes2", "Paint"}));
        QTest::keyClicks(w.edtFilter, QStringLiteral("NOTE"));
        EXPECT_EQ(Captions(w.lbxAppProcesses), (Strings{"NoteBook", "Notepad", "notes2"}));
        QTest::keyClick(w.edtFilter, Qt::Key_Backspace);
        QTest::keyClicks(w.edtFilter, QStringLiteral("EP"));
        EXPECT_EQ(Captions(w.lbxAppProcesses), Strings{"Notepad"});
    });
    EXPECT_EQ(gauge, std::vector<int>{100});
}

TEST_F(AppSiteAddWizardScanTest, AFailingScanIsReportedAndThePageRestored) {
    fake.FailShortcut("C:\\Start\\Paint.lnk");
    Run([&](Wizard& w) {
        Scan(w, 0);
        EXPECT_EQ(w.btnScan->Caption(), QStringLiteral("Scan"));
        EXPECT_FALSE(w.edtFilter->isHidden());
        EXPECT_EQ(Captions(w.lbxAppProcesses), Strings{"Notepad"});
    });
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].rfind("Application Error: ", 0), 0u) << notices[0];
}

TEST_F(AppSiteAddWizardScanTest, EscapeStopsAScanAndClosingDropsIt) {
    const bool finished = Run([&](Wizard& w) {
        // Escape stops the scan and keeps the page.
        StartScan(w, 1);
        Pump(w, [&] { return w.ggScan->value() >= 29; });
        QTest::keyClick(&w, Qt::Key_Escape);
        Pump(w);
        EXPECT_EQ(w.ActivePage(), w.tsAppProcesses);
        EXPECT_EQ(Captions(w.lbxAppProcesses), (Strings{"Notepad", "notes2"}));
        // Closing mid-scan closes at once; nothing of the scan is left to run.
        StartScan(w, 1);
        Pump(w, [&] { return w.ggScan->value() >= 29; });
        w.close();
        EXPECT_FALSE(w.isVisible());
        EXPECT_FALSE(w.Scanning());
        EXPECT_FALSE(w.tmrScanStep->isActive());
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    });
    EXPECT_FALSE(finished);
}

TEST_F(AppSiteAddWizardTest, BrowseFillsTheBoxesWithTheRealPathAndItsName) {
    // A link to a program: the list keeps the program file it points to.
    const std::filesystem::path folder = std::filesystem::canonical(data.Path());
    const std::string target = (folder / "tool").string();
    const std::string link = (folder / "tool-link").string();
    { std::ofstream(target) << "#!/bin/sh\n"; }
    std::filesystem::create_symlink(target, link);
    fake.SetVersionStrings(target, {{"ProductName", "Tool Deluxe"}});
    QObject queue;
    bool queuedRan = false;
    Wizard::SetBrowseHook([&](QFileDialog& dialog) -> std::optional<QString> {
        EXPECT_FALSE(queuedRan);  // the click runs no queued work before the dialog
        EXPECT_EQ(dialog.nameFilters(), QStringList{QStringLiteral("Executable Files (*)")});
        EXPECT_TRUE(dialog.filter().testFlag(QDir::Executable));
        return Q(link);
    });
    Run([&](Wizard& w) {
        Click(w.btnSites_Next);
        QTest::keyClick(&w, Qt::Key_Return);  // Next
        QMetaObject::invokeMethod(
            &queue, [&queuedRan] { queuedRan = true; }, Qt::QueuedConnection);
        Click(w.btnBrowse);
        EXPECT_EQ(w.edApp->text().toStdString(), target);
        EXPECT_EQ(w.edAppTag->text(), QStringLiteral("Tool Deluxe"));
        Click(w.btnAddApp);
        EXPECT_TRUE(w.edApp->text().isEmpty());
        EXPECT_EQ(Captions(w.lbxApps), (Strings{"Notepad", "Tool Deluxe"}));
        QTest::keyClick(&w, Qt::Key_Return);  // Finish
    });
    EXPECT_EQ(Result(target), "checked");
}

}  // namespace
}  // namespace tw
