// Every small skinned window of the configuration layer in PNG files.
#include <functional>
#include <memory>
#include <tuple>
#include <vector>

#include <QTest>

#include "Screenshots.h"
#include "detection/AppDiscovery.h"
#include "platform/fake/FakeDiscovery.h"
#include "ui/AppSiteAddWizardFRM.h"
#include "ui/DeleteConfirmFRM.h"
#include "ui/ImageControls.h"
#include "ui/PasswordChangeFRM.h"
#include "ui/PasswordCheckFRM.h"
#include "ui/SettingsFRM.h"
#include "ui/TransparencySettingsFRM.h"
#include "ui/WarningFRM.h"

namespace tw {
namespace {

// The wizard over a short list, on one of its pages.
void RunWizard() {
    FakeDiscovery fake;
    TAppDiscovery discovery{fake};
    TMonitoredList current;
    for (const auto& [type, name, caption] :
         {std::tuple{mitWebSite, "news.example.com", "News"},
          std::tuple{mitWebSite, "video.example.org", "video.example.org"},
          std::tuple{mitApplication, "/usr/games/solitaire", "Solitaire"}}) {
        auto item = std::make_unique<TMonitoredItem>();
        item->ItemType = type;
        item->Name = name;
        item->Caption = caption;
        current.Add(caption, std::move(item));
    }
    TMonitoredList result;
    TfrmAppSiteAddWizard(discovery).Execute(&Options(), &current, &result);
}

std::function<void(TfrmBase&)> WizardPage(int nextClicks) {
    return [nextClicks](TfrmBase& window) {
        auto& wizard = dynamic_cast<TfrmAppSiteAddWizard&>(window);
        wizard.edURL->setText(QStringLiteral("forum.example.net"));
        for (int i = 0; i < nextClicks; ++i) {
            QTest::mouseClick(i == 0 ? wizard.btnSites_Next : wizard.btnAppProcessesNext,
                              Qt::LeftButton);
        }
    };
}

// The settings window at its first run, over a short list and a filled-in
// reminder, on one of its pages (the Logon page too, whatever the build).
void RunSettings() {
    FakeDiscovery fake;
    TAppDiscovery discovery{fake};
    TMonitoredList& list = Options().MonitoredList();
    if (list.Count() == 0) {
        for (const auto& [type, name, caption, active] :
             {std::tuple{mitWebSite, "news.example.com", "News", true},
              std::tuple{mitWebSite, "video.example.org", "video.example.org", false},
              std::tuple{mitApplication, "/usr/games/solitaire", "Solitaire", true}}) {
            auto item = std::make_unique<TMonitoredItem>();
            item->ItemType = type;
            item->Name = name;
            item->Caption = caption;
            item->Active = active;
            list.Add(caption, std::move(item));
        }
        Options().SetReminder(rtMorning, "Answer the letters\nCall the bank");
    }
    TfrmSettings(discovery).Execute(Options(), true);
}

std::function<void(TfrmBase&)> SettingsPage(QWidget* TfrmSettings::*page) {
    return [page](TfrmBase& window) {
        auto& settings = dynamic_cast<TfrmSettings&>(window);
        if (settings.*page == settings.tsLogon) {
            settings.PrepareLogonPage();
        }
        settings.RestorePages();
        settings.ShowPage(settings.*page);
    };
}

const std::vector<test::ShotWindow>& Windows() {
    static const std::vector<test::ShotWindow> windows = {
        {"notice", QSize(352, 105),
         [] {
             TfrmBase::ShowWarning(QStringLiteral("Limit can't be greater than 23:59"),
                                   QStringLiteral("Please Note"));
         }},
        {"delete_confirm", QSize(365, 99),
         [] { TfrmDeleteConfirm().Execute(QStringLiteral("News")); }},
        {"transparency", QSize(215, 93), [] { TfrmTransparencySettings().Execute(); }},
        {"password_check", QSize(352, 152),
         [] {
             TfrmPasswordCheck dialog;
             dialog.edPassword->setText(QStringLiteral("secret"));
             dialog.Execute();
         }},
        {"password_change", QSize(358, 191),
         [] {
             TfrmPasswordChange dialog;
             dialog.edOldPassword->setText(QStringLiteral("old"));
             dialog.edNewPassword->setText(QStringLiteral("Better1"));
             dialog.Execute(Options());
         }},
        {"wizard_sites", QSize(356, 607), RunWizard, WizardPage(0)},
        {"wizard_scan", QSize(356, 607), RunWizard, WizardPage(1)},
        {"wizard_apps", QSize(356, 607), RunWizard, WizardPage(2)},
        {"settings_background", QSize(318, 431), RunSettings,
         SettingsPage(&TfrmSettings::tsBackground)},
        {"settings_logon", QSize(318, 431), RunSettings, SettingsPage(&TfrmSettings::tsLogon)},
        {"settings_list", QSize(318, 431), RunSettings,
         SettingsPage(&TfrmSettings::tsMonitoredList)},
        {"settings_expiration", QSize(318, 431), RunSettings,
         SettingsPage(&TfrmSettings::tsExpiration)},
        {"settings_reminder", QSize(318, 431), RunSettings,
         SettingsPage(&TfrmSettings::tsReminder)},
    };
    return windows;
}

using ScreenshotsTest = test::ScreenshotsTest;

TEST_F(ScreenshotsTest, EveryWindowInTheDefaultLookAndEachSkin) {
    RenderEveryLook(Windows());
}

}  // namespace
}  // namespace tw
