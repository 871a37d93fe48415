#include "ui/AppSiteAddWizardFRM.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>

#include "UiTestSupport.h"
#include "base/IniFile.h"
#include "base/Paths.h"
#include "detection/AppDiscovery.h"
#include "platform/fake/FakeDiscovery.h"
#include "storage/Options.h"
#include "ui/ImageControls.h"
#include "ui/MonitoredListBox.h"
#include "ui/WarningFRM.h"

namespace tw {
namespace {

using Notice = std::pair<std::string, std::string>;  // title, text
using Wizard = TfrmAppSiteAddWizard;

const char kNotepad[] = "C:\\Apps\\Notepad.exe";
const char kNewsSite[] = "news.example.org";

class AppSiteAddWizardTest : public test::UiTest {
protected:
    void SetUp() override {
        test::UiTest::SetUp();
        SeedList();
    }
    static void SeedList() {
        TMonitoredList& list = Options().MonitoredList();
        Add(list, kNotepad, "Notepad", mitApplication);
        Add(list, kNewsSite, "News site", mitWebSite);
    }
    void TearDown() override {
        TfrmBase::SetModalHook({});
        Wizard::SetBrowseHook({});
        test::UiTest::TearDown();
    }

    static void Add(TMonitoredList& list, const std::string& name, const std::string& caption,
                    TMonitoredItemType type) {
        auto item = std::make_unique<TMonitoredItem>();
        item->Name = name;
        item->Caption = caption;
        item->ItemType = type;
        list.Add(caption, std::move(item));
    }

    // Runs the wizard over the settings' list; `drive` plays the user and
    // closes it. Notices are recorded and closed with OK.
    bool Run(const std::function<void(Wizard&)>& drive) {
        TfrmBase::SetModalHook([this, &drive](TfrmBase& window) {
            if (auto* notice = dynamic_cast<TfrmWarning*>(&window)) {
                notices.emplace_back(notice->windowTitle().toStdString(),
                                     notice->lblWarning->text().toStdString());
                notice->accept();
                return;
            }
            auto* wizard = dynamic_cast<Wizard*>(&window);
            if (wizard == nullptr) {
                ADD_FAILURE() << "unexpected window " << window.windowTitle().toStdString();
                window.reject();
                return;
            }
            EXPECT_TRUE(QTest::qWaitForWindowActive(wizard));
            drive(*wizard);
            if (wizard->isVisible()) {
                wizard->reject();
            }
        });
        Wizard wizard(discovery);
        return wizard.Execute(&Options(), &Options().MonitoredList(), &result);
    }

    static void Type(QLineEdit* edit, const std::string& text) { edit->setText(Q(text)); }
    static QString Q(const std::string& text) { return QString::fromStdString(text); }
    static int RowOf(const TMonitoredListBox* list, const char* caption) {
        for (int row = 0; row < list->count(); ++row) {
            if (list->Caption(row) == QLatin1String(caption)) {
                return row;
            }
        }
        return -1;
    }
    static std::vector<std::string> Captions(const TMonitoredListBox* list) {
        std::vector<std::string> captions;
        for (int row = 0; row < list->count(); ++row) {
            if (list->Item(row) != nullptr) {
                captions.push_back(list->Caption(row).toStdString());
            }
        }
        return captions;
    }
    using Strings = std::vector<std::string>;
    // A click on the row's check box cell (its right-most pixels).
    static TMonitoredItem* ClickCheck(TMonitoredListBox* list, const char* caption) {
        const int row = RowOf(list, caption);
        EXPECT_GE(row, 0) << caption;
        const QRect rect = list->visualItemRect(list->item(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          QPoint(rect.right() - 4, rect.center().y()));
        return list->Item(row);
    }
    const TMonitoredItem* Result(const char* name) const {
        const int index = result.IndexOfName(name);
        return index < 0 ? nullptr : result.Items(index);
    }

    FakeDiscovery fake;
    TAppDiscovery discovery{fake};
    TMonitoredList result;
    std::vector<Notice> notices;
};

TEST_F(AppSiteAddWizardTest, PagesHaveTheirHeadersAndKeysFollowThePage) {
    std::vector<std::string> headers;
    const bool finished = Run([&](Wizard& w) {
        EXPECT_EQ(w.size(), QSize(356, 607));
        headers.push_back(w.lblCaption->text().toStdString());
        QTest::mouseClick(w.btnSites_Next, Qt::LeftButton);
        headers.push_back(w.lblCaption->text().toStdString());
        QTest::keyClick(&w, Qt::Key_Return);  // Next
        headers.push_back(w.lblCaption->text().toStdString());
        QTest::keyClick(&w, Qt::Key_Escape);  // Back
        headers.push_back(w.lblCaption->text().toStdString());
        QTest::keyClick(&w, Qt::Key_Escape);  // Back
        headers.push_back(w.lblCaption->text().toStdString());
        Type(w.edURL, "example.com");
        QTest::keyClick(&w, Qt::Key_Return);  // Add
        EXPECT_TRUE(w.edURL->text().isEmpty());
        QTest::keyClick(&w, Qt::Key_Escape);  // Cancel
    });
    EXPECT_FALSE(finished);
    EXPECT_EQ(headers, (std::vector<std::string>{
                           "Add Websites to your time-limit list", "Add Applications by Scanning",
                           "Add Applications by Name", "Add Applications by Scanning",
                           "Add Websites to your time-limit list"}));
    // Added before "Cancel": still handed back, with the untouched list.
    ASSERT_NE(Result("example.com"), nullptr);
    EXPECT_TRUE(Result("example.com")->Checked);
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
        EXPECT_THROW(w.AddEntry(w.lbxApps, mitAll, Q(""), Q("x")), Exception);
        QTest::mouseClick(w.btnSites_Next, Qt::LeftButton);
        QTest::mouseClick(w.btnAppProcessesNext, Qt::LeftButton);
        EXPECT_EQ(Captions(w.lbxApps), Strings{"Notepad"});
        QTest::mouseClick(w.btnFinish, Qt::LeftButton);
    });
    const std::string self = "\"" + ExeBaseName() + "\" could not be added to time-limit list";
    EXPECT_EQ(notices, (std::vector<Notice>{
                           {"Please note",
                            "You have already added an site with the same URL to the list. "
                            "Please choose another URL."},
                           {"Please note",
                            "You have already added an application with the same filename. "
                            "Please choose another URL."},
                           {"Please note",
                            "You have already added an site with the same URL to the list. "
                            "Please choose filename."},
                           {"Please note",
                            "You have already added an application with the same filename. "
                            "Please choose another filename."},
                           {"Please Note", self},
                       }));
    ASSERT_NE(Result("example.com"), nullptr);
    EXPECT_EQ(Result("example.com")->Caption, "News");
}

TEST_F(AppSiteAddWizardTest, AdministratorUnchecksAndReadds) {
    Options().AdminLoggedIn = true;
    Run([&](Wizard& w) {
        TMonitoredItem* site = ClickCheck(w.lbxSites, "News site");
        EXPECT_FALSE(site->Checked);
        // Added and unchecked in this run: never reaches the list.
        Type(w.edURL, "example.com");
        QTest::mouseClick(w.btnAdd, Qt::LeftButton);
        ClickCheck(w.lbxSites, "example.com");
        // Double click fills the boxes; the caption differs from the name.
        const QRect rect =
            w.lbxSites->visualItemRect(w.lbxSites->item(RowOf(w.lbxSites, "News site")));
        QTest::mouseDClick(w.lbxSites->viewport(), Qt::LeftButton, {}, rect.center());
        EXPECT_EQ(w.edURL->text().toStdString(), kNewsSite);
        EXPECT_EQ(w.edTag->text(), QStringLiteral("News site"));
        QTest::mouseClick(w.btnSites_Next, Qt::LeftButton);
        QTest::mouseClick(w.btnAppProcessesNext, Qt::LeftButton);
        QTest::mouseClick(w.btnFinish, Qt::LeftButton);
    });
    ASSERT_NE(Result(kNewsSite), nullptr);
    EXPECT_FALSE(Result(kNewsSite)->Checked);
    EXPECT_TRUE(Result(kNewsSite)->Active);
    // Handed back unchecked: the caller has nothing to remove.
    ASSERT_NE(Result("example.com"), nullptr);
    EXPECT_FALSE(Result("example.com")->Checked);

    // Re-adding the unchecked site by name checks that same site again.
    result.Clear();
    Run([&](Wizard& w) {
        ClickCheck(w.lbxSites, "News site");
        Type(w.edURL, kNewsSite);
        QTest::mouseClick(w.btnAdd, Qt::LeftButton);
        EXPECT_EQ(Captions(w.lbxSites), Strings{"News site"});
        EXPECT_TRUE(w.lbxSites->Item(RowOf(w.lbxSites, "News site"))->Checked);
        w.reject();
    });
    ASSERT_NE(Result(kNewsSite), nullptr);
    EXPECT_TRUE(Result(kNewsSite)->Checked);
    EXPECT_TRUE(notices.empty());
}

TEST_F(AppSiteAddWizardTest, UserRemovalsByAccessLevel) {
    struct Case {
        const char* name;
        bool allowUser;
        bool removalUsed;              // MonitoredItemDeleteActionProcessed before
        bool siteActive, siteChecked;  // the listed site, unchecked first
        bool appActive, appChecked;    // the listed application, unchecked next
        bool removalUsedAfter;
    };
    const Case cases[] = {
        {"removal already used: both inactive", true, true, false, false, false, true, true},
        {"one final removal, then inactive", true, false, true, false, false, true, true},
        // The delivered build has no password: level 0 passes like an administrator.
        {"no right to change, no password", false, false, true, false, true, false, false},
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
            const TMonitoredItem* site = ClickCheck(w.lbxSites, "News site");
            EXPECT_EQ(site->Active, c.siteActive);
            EXPECT_EQ(site->Checked, c.siteChecked);
            QTest::mouseClick(w.btnSites_Next, Qt::LeftButton);
            QTest::mouseClick(w.btnAppProcessesNext, Qt::LeftButton);
            const TMonitoredItem* app = ClickCheck(w.lbxApps, "Notepad");
            EXPECT_FALSE(app->Checked);
            EXPECT_EQ(app->Active, c.appActive);
            QTest::mouseClick(w.btnFinish, Qt::LeftButton);
        });
        ASSERT_NE(Result(kNotepad), nullptr);
        ASSERT_NE(Result(kNewsSite), nullptr);
        EXPECT_EQ(Result(kNewsSite)->Active, c.siteActive);
        EXPECT_EQ(Result(kNewsSite)->Checked, c.siteChecked);
        EXPECT_EQ(Result(kNotepad)->Active, c.appActive);
        EXPECT_EQ(Result(kNotepad)->Checked, c.appChecked);
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
    // Scans with `type`; `atGauge` acts once when the gauge first reaches a value.
    void Scan(Wizard& w, int type, int atGauge = -1, std::function<void()> act = {}) {
        if (w.ActivePage() == w.tsMonitoredSites) {
            QTest::mouseClick(w.btnSites_Next, Qt::LeftButton);
        }
        w.cbxScanningAlghorithm->setCurrentIndex(type);
        bool acted = false;
        const auto connection =
            QObject::connect(w.ggScan, &QProgressBar::valueChanged, [&](int value) {
                gauge.push_back(value);
                if (!acted && atGauge >= 0 && value >= atGauge) {
                    acted = true;
                    EXPECT_EQ(w.btnScan->Caption(), QStringLiteral("Stop"));
                    EXPECT_TRUE(w.edtFilter->isHidden());
                    act();
                }
            });
        QTest::mouseClick(w.btnScan, Qt::LeftButton);
        QObject::disconnect(connection);
        EXPECT_FALSE(w.Scanning());
    }
    std::vector<int> gauge;
};

TEST_F(AppSiteAddWizardScanTest, StopKeepsWhatWasFoundAndAddsTheRunningPrograms) {
    Run([&](Wizard& w) {
        // Six folders: the second progress call (gauge 43) stops before B.
        Scan(w, 1, 43, [&] { QTest::mouseClick(w.btnScan, Qt::LeftButton); });
        EXPECT_EQ(Captions(w.lbxAppProcesses), (Strings{"Keynote", "Notepad", "notes2"}));
        EXPECT_EQ(w.btnScan->Caption(), QStringLiteral("Scan"));
        EXPECT_TRUE(w.ggScan->isHidden());
        EXPECT_FALSE(w.edtFilter->isHidden());
        // Picking a scanned program puts it on the list.
        ClickCheck(w.lbxAppProcesses, "notes2");
        QTest::mouseClick(
            w.lbxAppProcesses->viewport(), Qt::LeftButton, {},
            w.lbxAppProcesses
                ->visualItemRect(w.lbxAppProcesses->item(RowOf(w.lbxAppProcesses, "notes2")))
                .center());
        EXPECT_EQ(w.mmAppInfo->toPlainText(), QStringLiteral("notes2\nC:\\Tools\\notes2.exe"));
        QTest::keyClick(&w, Qt::Key_Return);
        EXPECT_EQ(Captions(w.lbxApps), (Strings{"Notepad", "notes2"}));
        QTest::mouseClick(w.btnFinish, Qt::LeftButton);
    });
    EXPECT_EQ(gauge, (std::vector<int>{29, 43, 100}));
    ASSERT_NE(Result("C:\\Tools\\notes2.exe"), nullptr);
    EXPECT_EQ(Result("C:\\Program Files\\A\\A.exe"), nullptr);
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
    EXPECT_EQ(notices[0].first, "Application Error");
}

TEST_F(AppSiteAddWizardScanTest, ClosingOrEscapeDuringAScanIsSafe) {
    bool closedDuringScan = false;
    const bool finished = Run([&](Wizard& w) {
        // Escape stops the scan and keeps the page.
        Scan(w, 1, 29, [&] { QTest::keyClick(&w, Qt::Key_Escape); });
        EXPECT_EQ(w.ActivePage(), w.tsAppProcesses);
        EXPECT_EQ(Captions(w.lbxAppProcesses), (Strings{"Notepad", "notes2"}));
        // Closing the window waits for the scan to unwind, then closes.
        Scan(w, 1, 29, [&] {
            w.close();
            closedDuringScan = w.isVisible();
        });
        EXPECT_FALSE(w.isVisible());
    });
    EXPECT_FALSE(finished);
    EXPECT_TRUE(closedDuringScan);
}

TEST_F(AppSiteAddWizardTest, BrowseFillsTheBoxesWithTheRealPathAndItsName) {
    // A link to a program: the list keeps the program file it points to.
    const std::filesystem::path folder = std::filesystem::canonical(data.Path());
    const std::string target = (folder / "tool").string();
    const std::string link = (folder / "tool-link").string();
    { std::ofstream(target) << "#!/bin/sh\n"; }
    std::filesystem::create_symlink(target, link);
    fake.SetVersionStrings(target, {{"ProductName", "Tool Deluxe"}});
    Wizard::SetBrowseHook([&](QFileDialog& dialog) -> std::optional<QString> {
        EXPECT_EQ(dialog.nameFilters(), QStringList{QStringLiteral("Executable Files (*)")});
        EXPECT_TRUE(dialog.filter().testFlag(QDir::Executable));
        return QString::fromStdString(link);
    });
    Run([&](Wizard& w) {
        QTest::mouseClick(w.btnSites_Next, Qt::LeftButton);
        QTest::keyClick(&w, Qt::Key_Return);  // Next
        QTest::mouseClick(w.btnBrowse, Qt::LeftButton);
        EXPECT_EQ(w.edApp->text().toStdString(), target);
        EXPECT_EQ(w.edAppTag->text(), QStringLiteral("Tool Deluxe"));
        QTest::mouseClick(w.btnAddApp, Qt::LeftButton);
        EXPECT_TRUE(w.edApp->text().isEmpty());
        EXPECT_EQ(Captions(w.lbxApps), (Strings{"Notepad", "Tool Deluxe"}));
        QTest::keyClick(&w, Qt::Key_Return);  // Finish
    });
    ASSERT_NE(Result(target.c_str()), nullptr);
}

}  // namespace
}  // namespace tw
