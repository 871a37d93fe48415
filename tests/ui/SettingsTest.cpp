#include "ui/SettingsFRM.h"

#include <functional>
#include <string>
#include <vector>

#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "UiTestSupport.h"
#include "base/IniFile.h"
#include "detection/AppDiscovery.h"
#include "platform/fake/FakeDiscovery.h"
#include "storage/SQLiteTable3.h"
#include "support/ListEntries.h"
#include "ui/AppSiteAddWizardFRM.h"
#include "ui/DeleteConfirmFRM.h"
#include "ui/ImageControls.h"
#include "ui/MonitoredListBox.h"
#include "ui/VendorLinks.h"

namespace tw {
namespace {

using Strings = std::vector<std::string>;

const char kSite[] = "news.example.org";
const char kGame[] = "/usr/games/solitaire";

// Enter and Escape are short-cuts of the active window; no window manager
// hands activation back when a dialog over it closes.
void Press(QWidget* window, Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
    window->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window));
    QTest::keyClick(window, key, modifiers);
}

int RowOf(const TMonitoredListBox* list, const std::string& name) {
    for (int row = 0; row < list->count(); ++row) {
        if (list->Item(row) != nullptr && list->Item(row)->Name == name) {
            return row;
        }
    }
    return -1;
}

// Steps forward until `page` (nullptr: until the window closes); a step
// that stays (a refused entry) ends it.
void StepTo(TfrmSettings& w, QWidget* page) {
    for (int i = 0; i < 6 && w.isVisible() && w.ActivePage() != page; ++i) {
        w.StepNext();
    }
    EXPECT_EQ(page == nullptr ? !w.isVisible() : w.ActivePage() == page, true);
}

const TMonitoredItem* Stored(const std::string& name) {
    const int index = Options().MonitoredList().IndexOfName(name);
    return index < 0 ? nullptr : Options().MonitoredList().Items(index);
}

class SettingsTest : public test::UiTest {
protected:
    void SetUp() override {
        test::UiTest::SetUp();
        test::AddEntry(Options().MonitoredList(), mitWebSite, kSite, "News");
        test::AddEntry(Options().MonitoredList(), mitApplication, kGame, "Solitaire");
        Options().IsNotFirstRun = true;
        ASSERT_TRUE(Options().Save());
    }
    void TearDown() override {
        TfrmSettings::SetPictureDialogHook({});
        TfrmSettings::SetColorDialogHook({});
        SetSQLiteStatementHook(nullptr);
        test::UiTest::TearDown();
    }
    // Runs the window; `answer` drives it, every notice is recorded and
    // closed, and the windows it opens get the answers of `nested` in turn.
    bool Run(bool firstRun, const std::function<void(TfrmSettings&)>& answer) {
        OnModal([this, &answer](TfrmBase& window) {
            if (auto* settings = dynamic_cast<TfrmSettings*>(&window)) {
                answer(*settings);
                if (settings->isVisible()) {
                    ADD_FAILURE() << "the window was left open";
                    settings->reject();
                }
                return;
            }
            opened.push_back(window.metaObject()->className());
            if (nested.empty()) {
                window.reject();
                return;
            }
            auto next = std::move(nested.front());
            nested.erase(nested.begin());
            next(window);
        });
        TfrmSettings settings(discovery_);
        return settings.Execute(Options(), firstRun);
    }
    // Both databases, byte for byte.
    static Strings DatabaseFiles() {
        return {test::ReadFileText(GetSettingsDBFileName()),
                test::ReadFileText(GetActivityDBFileName())};
    }
    static std::string StoredSetting(const std::string& name) {
        TSQLiteDatabase db(GetSettingsDBFileName());
        auto table = db.GetTable("SELECT value FROM settings WHERE name = '" + name + "'");
        return table->AtEnd() ? std::string() : table->AsText(0);
    }

    std::vector<std::function<void(TfrmBase&)>> nested;
    Strings opened;  // class names of the windows the settings window opened
    FakeDiscovery fake_;
    TAppDiscovery discovery_{fake_};
};

// The pages a first run goes through in this build, with Enter; Enter in
// the reminder text makes a new line, and Enter on the last page applies.
TEST_F(SettingsTest, FirstRunStepsThroughThePagesOfTheBuild) {
    Strings pages;
    const bool applied = Run(true, [&](TfrmSettings& w) {
        EXPECT_EQ(w.cbxExpirationAction->itemText(eaShutdownComputer),
                  QLatin1String("Shutdown Computer"));
        for (int step = 0; step < 8 && w.isVisible(); ++step) {
            QWidget* page = w.ActivePage();
            pages.push_back(page->objectName().toStdString());
            if (page == w.tsLogon) {
                w.edtStart_Password->setText(QStringLiteral("Secret"));
                w.edtStart_ConfirmPassword->setText(QStringLiteral("Secret"));
            }
            if (page == w.tsMonitoredList) {
                EXPECT_TRUE(w.btnApp_Add->isVisibleTo(page) && w.btnApp_Delete->isVisibleTo(page));
            }
            if (page == w.tsExpiration) {
                EXPECT_TRUE(w.medTimeLimit->isEnabled() && w.cbxExpirationAction->isEnabled());
                w.medTimeLimit->setText(QStringLiteral("01:30"));
            }
            if (page == w.tsReminder) {
                w.memReminder->setFocus();
                QTest::keyClicks(w.memReminder, QStringLiteral("Call mum"));
                QTest::keyClick(w.memReminder, Qt::Key_Return);
                QTest::keyClicks(w.memReminder, QStringLiteral("Pay rent"));
                EXPECT_EQ(w.ActivePage(), w.tsReminder);
                w.btnFinish->setFocus();
            }
            Press(&w, Qt::Key_Return);
        }
    });
    EXPECT_TRUE(applied);
    const Strings expected =
        AdminPasswordEnabled
            ? Strings{"tsBackground", "tsLogon", "tsMonitoredList", "tsExpiration", "tsReminder"}
            : Strings{"tsBackground", "tsMonitoredList", "tsExpiration", "tsReminder"};
    EXPECT_EQ(pages, expected);
    EXPECT_EQ(notices, Strings{});
    EXPECT_EQ(StoredSetting("TimeLimitSeconds"), "5400");
    EXPECT_EQ(Options().ReminderTexts(rtMorning), "Call mum\nPay rent");
    EXPECT_FALSE(Options().AdminLoggedIn);
    if (AdminPasswordEnabled) {
        EXPECT_TRUE(Options().CheckPassword("Secret"));
    }
}

// The look changes at once and goes back on Cancel; Escape on a later page
// only goes back one page.
TEST_F(SettingsTest, AppearanceIsPreviewedAndPutBackOnCancel) {
    NameValueList skins;
    GetSkinList(skins);
    ASSERT_FALSE(skins.empty()) << "build tw_skins";
    tw::SetBackgroundImage(skins.back().second);
    tw::SetBackgroundColor(0x112233);
    tw::SetTransparency(35);
    QString pictureFolder;
    TfrmSettings::SetPictureDialogHook([&](QFileDialog& dialog) -> std::optional<QString> {
        pictureFolder = dialog.directory().absolutePath();
        return QString::fromStdString(skins.front().second).toUpper();
    });
    const bool applied = Run(false, [&](TfrmSettings& w) {
        EXPECT_EQ(w.cbxImage->currentText(), QString::fromStdString(skins.back().first));
        EXPECT_EQ(w.cbxTransparency->currentText(), QLatin1String("0"));  // 35 is no item
        EXPECT_EQ(w.cbxColor->currentText(), QLatin1String("#332211"));

        w.cbxColor->setCurrentIndex(w.cbxColor->findText(QLatin1String("Red")));
        emit w.cbxColor->activated(w.cbxColor->currentIndex());
        EXPECT_EQ(GetBackgroundColor(), 0x0000FF);
        EXPECT_EQ(w.BackgroundColor(), 0x0000FF);
        EXPECT_EQ(w.cbxImage->currentText(), QLatin1String("<No Image>"));
        EXPECT_EQ(GetBackgroundImage(), "");

        // "Custom...": a skin chosen in the picture dialog is that skin's item.
        w.cbxImage->setCurrentIndex(0);
        emit w.cbxImage->activated(0);
        EXPECT_EQ(pictureFolder.toStdString() + "/", SkinsFolder());
        EXPECT_EQ(w.cbxImage->currentText(), QString::fromStdString(skins.front().first));
        EXPECT_EQ(GetBackgroundImage(), skins.front().second);

        // "Custom..." of a colour box: any colour, stored as its number.
        TfrmSettings::SetColorDialogHook([](QColorDialog&) { return QColor(0x12, 0x34, 0x56); });
        const int custom = w.cbxTextColor->findText(QLatin1String("Custom..."));
        w.cbxTextColor->setCurrentIndex(custom);
        emit w.cbxTextColor->activated(custom);
        EXPECT_EQ(GetTextColor(), 0x563412);
        EXPECT_EQ(w.cbxTextColor->currentText(), QLatin1String("#123456"));

        w.cbxTransparency->setCurrentIndex(w.cbxTransparency->findText(QLatin1String("50")));
        emit w.cbxTransparency->activated(w.cbxTransparency->currentIndex());
        EXPECT_EQ(GetTransparency(), 50);
        EXPECT_EQ(w.WindowAlpha(), 127);

        Press(&w, Qt::Key_Return);
        EXPECT_EQ(w.ActivePage(), w.PageSequence().at(1));
        Press(&w, Qt::Key_Escape);
        EXPECT_EQ(w.ActivePage(), w.tsBackground);
        EXPECT_TRUE(w.isVisible());
        QTest::mouseClick(w.btnBackground_Cancel, Qt::LeftButton);
    });
    EXPECT_FALSE(applied);
    ResetAppearance();  // what the file holds, not what was cached
    EXPECT_EQ(GetBackgroundColor(), 0x112233);
    EXPECT_EQ(GetBackgroundImage(), skins.back().second);
    EXPECT_EQ(GetTransparency(), 35);
    EXPECT_EQ(GetTextColor(), 0xFFFFFF);
}

// A window closed without "Apply" writes nothing to the databases; a save
// that fails leaves both files as they were and tells the user, while the
// store keeps the values for its next save.
TEST_F(SettingsTest, OnlyASuccessfulApplyChangesTheDatabases) {
    if (AdminPasswordEnabled) {
        Options().AllowUserToChangeSettings = true;
    }
    for (const bool cancel : {true, false}) {
        SCOPED_TRACE(cancel ? "cancelled" : "failed save");
        notices.clear();
        const Strings before = DatabaseFiles();
        int failures = 0;
        SetSQLiteStatementHook([&](const std::string&, const std::string& sql) {
            if (sql.rfind("INSERT INTO reminders(", 0) == 0) {
                ++failures;
                throw ESQLiteException("disk is full");
            }
        });
        const bool applied = Run(false, [&](TfrmSettings& w) {
            StepTo(w, w.tsMonitoredList);
            w.lbxAppSites->setCurrentRow(RowOf(w.lbxAppSites, kGame));
            nested.push_back([](TfrmBase& confirm) { confirm.accept(); });
            QTest::mouseClick(w.btnApp_Delete, Qt::LeftButton);
            w.StepNext();
            w.medTimeLimit->setText(QStringLiteral("00:20"));
            w.cbxExpirationAction->setCurrentIndex(eaCloseBrowserApp);
            w.StepNext();
            w.memReminder->setPlainText(QStringLiteral("Walk the dog"));
            w.cbRemiderChangePeriod->setCurrentIndex(rcpWeekly);
            if (cancel) {
                for (int i = 0; i < 6 && w.isVisible(); ++i) {
                    Press(&w, Qt::Key_Escape);
                }
            } else {
                QTest::mouseClick(w.btnFinish, Qt::LeftButton);
            }
        });
        SetSQLiteStatementHook(nullptr);
        EXPECT_EQ(applied, !cancel);
        EXPECT_EQ(DatabaseFiles(), before);
        EXPECT_EQ(failures, cancel ? 0 : 1);
        EXPECT_EQ(notices, cancel ? Strings{}
                                  : Strings{"Please Note: Your settings could not be saved. They "
                                            "apply now and will be saved again later."});
        EXPECT_EQ(Options().ReminderTexts(rtMorning), cancel ? "" : "Walk the dog");
        EXPECT_EQ(Options().TimeLimitSeconds, cancel ? 28800 : 1200);
        EXPECT_EQ(Stored(kGame) != nullptr && Stored(kGame)->Active, cancel);
    }
}

// Delete asks only for a selected entry and then follows the access level;
// an entry the user had removed (greyed, waiting for the daily reset) that
// is added again through the wizard is no longer named for removal.
TEST_F(SettingsTest, ListEditsFollowTheAccessLevel) {
    if (AdminPasswordEnabled) {
        Options().AllowUserToChangeSettings = true;
    }
    Options().MonitoredList().Items(Options().MonitoredList().IndexOfName(kSite))->Active = false;
    GetIniFile().WriteString(MonitoredIniSection(mitWebSite), kSite, kSite);
    nested.push_back([](TfrmBase& window) {
        auto& wizard = dynamic_cast<TfrmAppSiteAddWizard&>(window);
        wizard.edURL->setText(QLatin1String(kSite));
        QTest::mouseClick(wizard.btnAdd, Qt::LeftButton);
        QTest::mouseClick(wizard.btnSites_Next, Qt::LeftButton);
        QTest::mouseClick(wizard.btnAppProcessesNext, Qt::LeftButton);
        QTest::mouseClick(wizard.btnFinish, Qt::LeftButton);
    });
    nested.push_back([](TfrmBase& confirm) { confirm.accept(); });
    const bool applied = Run(false, [&](TfrmSettings& w) {
        StepTo(w, w.tsMonitoredList);
        TMonitoredListBox* list = w.lbxAppSites;
        EXPECT_FALSE(list->Item(RowOf(list, kSite))->Active);
        list->clearSelection();
        Press(&w, Qt::Key_Insert);  // the wizard
        EXPECT_TRUE(list->Item(RowOf(list, kSite))->Active);
        QTest::mouseClick(w.btnApp_Delete, Qt::LeftButton);  // nothing selected: no question
        EXPECT_EQ(opened, Strings{"tw::TfrmAppSiteAddWizard"});
        list->setCurrentRow(RowOf(list, kGame));
        Press(&w, Qt::Key_Delete, Qt::ControlModifier);
        EXPECT_EQ(opened, (Strings{"tw::TfrmAppSiteAddWizard", "tw::TfrmDeleteConfirm"}));
        ASSERT_GE(RowOf(list, kGame), 0) << "a user's removal keeps the entry, greyed";
        EXPECT_FALSE(list->Item(RowOf(list, kGame))->Active);
        StepTo(w, nullptr);
    });
    EXPECT_TRUE(applied);
    ASSERT_NE(Stored(kSite), nullptr);
    EXPECT_TRUE(Stored(kSite)->Active);
    EXPECT_FALSE(GetIniFile().ValueExists(MonitoredIniSection(mitWebSite), kSite));
    ASSERT_NE(Stored(kGame), nullptr);
    EXPECT_FALSE(Stored(kGame)->Active);
}

// A list that could not be read is not saved over, so it cannot be edited either.
TEST_F(SettingsTest, AnUnreadListIsNotEdited) {
    SetSQLiteStatementHook([](const std::string&, const std::string& sql) {
        if (sql == "SELECT * FROM websites_list") {
            throw ESQLiteException("database is locked");
        }
    });
    Options().LoadMonitoredItems();
    SetSQLiteStatementHook(nullptr);
    ASSERT_FALSE(Options().MonitoredListLoaded(mitAll));
    if (AdminPasswordEnabled) {
        Options().AllowUserToChangeSettings = true;
    }
    Run(false, [&](TfrmSettings& w) {
        StepTo(w, w.tsMonitoredList);
        Press(&w, Qt::Key_Insert);
        w.lbxAppSites->setCurrentRow(RowOf(w.lbxAppSites, kGame));
        QTest::mouseClick(w.btnApp_Delete, Qt::LeftButton);
        w.reject();
    });
    EXPECT_EQ(opened, Strings{});
    const std::string refused =
        "Please Note: Your time-limit list could not be read, so it cannot be changed now. Please "
        "try again later.";
    EXPECT_EQ(notices, (Strings{refused, refused}));
}

// "Apply" hands the store only the limit and action the user changed, so
// editing a to-do text does not use up the day's one immediate change.
TEST_F(SettingsTest, ApplyKeepsTheDaysChangesForRealChanges) {
    if (AdminPasswordEnabled) {
        Options().AllowUserToChangeSettings = true;
    }
    const bool applied = Run(false, [&](TfrmSettings& w) {
        StepTo(w, w.tsReminder);
        w.memReminder->setPlainText(QStringLiteral("Water the plants"));
        w.StepNext();
    });
    EXPECT_TRUE(applied);
    EXPECT_EQ(Options().ReminderTexts(rtMorning), "Water the plants");
    EXPECT_FALSE(Options().ExpirationActionChanged);
    EXPECT_FALSE(Options().TimeLimitSecondsChanged);
    EXPECT_FALSE(GetIniFile().SectionExists("Common"));
}

// In the build with the password: what the Logon page lets each caller do.
// A user sees the pending limit of the appearance file and, without the
// right to change settings, cannot change the limit, action or list, but
// still saves the reminders; the administrator sees and sets the stored values.
TEST_F(SettingsTest, LogonDecidesWhatCanBeChanged) {
    if (!AdminPasswordEnabled) {
        GTEST_SKIP() << "the build without the password has no Logon page";
    }
    struct Case {
        const char* name;
        const char* password;
        bool editable;
        const char* shownLimit;
    };
    const Case cases[] = {
        {"user", "", false, "10:00"},
        {"administrator", "Secret", true, "08:00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Options().SetPassword("Secret");
        Options().AdminLoggedIn = false;
        Options().AllowUserToChangeSettings = false;
        Options().TimeLimitSeconds = 28800;
        ASSERT_TRUE(GetIniFile().WriteInteger("Common", "TimeLimitSeconds", 36000));
        const bool applied = Run(false, [&](TfrmSettings& w) {
            w.StepNext();
            ASSERT_EQ(w.ActivePage(), w.tsLogon);
            EXPECT_EQ(w.medTimeLimit->text(), QLatin1String("10:00"));
            w.edtStart_Password->setText(QLatin1String(c.password));
            w.StepNext();
            ASSERT_EQ(w.ActivePage(), w.tsMonitoredList);
            EXPECT_EQ(w.btnApp_Add->isVisibleTo(w.tsMonitoredList), c.editable);
            EXPECT_EQ(w.btnApp_Delete->isVisibleTo(w.tsMonitoredList), c.editable);
            EXPECT_EQ(w.cbxExpirationAction->isEnabled(), c.editable);
            EXPECT_EQ(w.medTimeLimit->isEnabled(), c.editable);
            EXPECT_EQ(w.medTimeLimit->text(), QLatin1String(c.shownLimit));
            StepTo(w, w.tsReminder);
            w.memReminder->setPlainText(QString::fromLatin1(c.name));
            w.StepNext();
        });
        EXPECT_TRUE(applied);
        EXPECT_EQ(StoredSetting("TimeLimitSeconds"), "28800");
        EXPECT_EQ(Options().ReminderTexts(rtMorning), c.name);
        EXPECT_EQ(notices, Strings{});
    }
}

// The Logon page keeps the user while the password is not right.
TEST_F(SettingsTest, LogonRefusesWhatIsNotThePassword) {
    if (!AdminPasswordEnabled) {
        GTEST_SKIP() << "the build without the password has no Logon page";
    }
    struct Case {
        const char* name;
        bool firstRun;
        const char* stored;  // "" for none
        const char* password;
        const char* confirmation;
        const char* notice;
    };
    const Case cases[] = {
        {"confirmation differs", true, "", "Secret", "secret",
         "The passwords entered are not the same"},
        {"blank", true, "", "  ", "  ", "A password is required"},
        {"wrong letter case", false, "Secret", "secret", "", "Invalid password"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        notices.clear();
        Options().Password.clear();
        if (*c.stored != '\0') {
            Options().SetPassword(c.stored);
        }
        Options().AdminLoggedIn = false;
        Run(c.firstRun, [&](TfrmSettings& w) {
            w.StepNext();
            ASSERT_EQ(w.ActivePage(), w.tsLogon);
            w.edtStart_Password->setText(QLatin1String(c.password));
            w.edtStart_ConfirmPassword->setText(QLatin1String(c.confirmation));
            w.StepNext();
            EXPECT_EQ(w.ActivePage(), w.tsLogon);
            EXPECT_FALSE(Options().AdminLoggedIn);
            w.reject();
        });
        EXPECT_EQ(notices, Strings{std::string("Please Note: ") + c.notice});
    }
}

TEST(VendorLinkTest, OneBaseAddressForEveryPage) {
    const std::string guide = "/usr/share/doc/tallyward/guide.html";
    struct Case {
        const char* base;
        const char* path;
        const char* expected;
    };
    const Case cases[] = {
        {"https://vendor.example/", kLoginPage, "https://vendor.example/login"},
        {"https://vendor.example", kHelpPage, "https://vendor.example/help"},
        {"", kHelpPage, "file:///usr/share/doc/tallyward/guide.html"},
        {"", kContactPage, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(VendorLinkFor(c.base, c.path, guide).toStdString(), c.expected)
            << c.base << c.path;
    }
    EXPECT_EQ(VendorLinkFor("", kHelpPage, ""), QString());
}

}  // namespace
}  // namespace tw
