// Renders every skinned window into PNG files, so a person can look at
// them: into $TW_SCREENSHOT_DIR when set (scripts/screenshots.sh), else into
// a temporary folder. As a test it checks that each window renders at its
// size in the default look and that a skin's picture shows in its body.
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QRegion>
#include <QTest>

#include "UiTestSupport.h"
#include "detection/AppDiscovery.h"
#include "platform/fake/FakeDiscovery.h"
#include "ui/AppSiteAddWizardFRM.h"
#include "ui/DeleteConfirmFRM.h"
#include "ui/ImageControls.h"
#include "ui/PasswordChangeFRM.h"
#include "ui/PasswordCheckFRM.h"
#include "ui/TransparencySettingsFRM.h"
#include "ui/WarningFRM.h"

namespace tw {
namespace {

// The window as the user sees it: what it paints, cut to its rounded shape.
QImage Shot(TfrmBase& window) {
    // Text put in before the window opened shows as typed, not selected.
    for (QLineEdit* edit : window.findChildren<QLineEdit*>()) {
        edit->deselect();
    }
    QImage image = window.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    if (!window.mask().isEmpty()) {
        QPainter painter(&image);
        painter.setCompositionMode(QPainter::CompositionMode_Clear);
        painter.setClipRegion(QRegion(image.rect()) - window.mask());
        painter.fillRect(image.rect(), Qt::transparent);
    }
    return image;
}

struct Window {
    const char* name;
    QSize size;
    // Builds the window and runs it the way the program does.
    std::function<void()> run;
    // Brings the shown window to the state to picture (a page, typed text).
    std::function<void(TfrmBase&)> prepare = {};
};

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

const std::vector<Window>& Windows() {
    static const std::vector<Window> windows = {
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
    };
    return windows;
}

class ScreenshotsTest : public test::UiTest {
protected:
    void SetUp() override {
        test::UiTest::SetUp();
        const char* out = std::getenv("TW_SCREENSHOT_DIR");
        outDir_ = QString::fromStdString(out != nullptr ? std::string(out) : data.Path());
        ASSERT_TRUE(QDir().mkpath(outDir_));
    }
    // Every window in the current look, saved as <look>_<window>.png.
    std::vector<QImage> RenderAll(const QString& look) {
        std::vector<QImage> shots;
        for (const Window& w : Windows()) {
            SCOPED_TRACE(w.name);
            QImage shot;
            TfrmBase::SetModalHook([&shot, &w](TfrmBase& window) {
                // The notice box of a failed check must not end up in the picture.
                if (shot.isNull()) {
                    if (w.prepare)
                        w.prepare(window);
                    shot = Shot(window);
                }
                window.reject();
            });
            w.run();
            EXPECT_GE(shot.width(), w.size.width());
            EXPECT_GE(shot.height(), w.size.height());
            const QString file =
                outDir_ + QStringLiteral("/%1_%2.png").arg(look, QLatin1String(w.name));
            EXPECT_TRUE(shot.save(file)) << file.toStdString();
            shots.push_back(shot);
        }
        return shots;
    }

    QString outDir_;
};

TEST_F(ScreenshotsTest, EveryWindowInTheDefaultLookAndEachSkin) {
    const std::vector<QImage> plain = RenderAll(QStringLiteral("default"));
    NameValueList skins;
    GetSkinList(skins);
    if (skins.empty()) {
        GTEST_SKIP() << "no skins in " << SkinsFolder() << " (build tw_skins)";
    }
    for (const auto& [name, path] : skins) {
        SCOPED_TRACE(name);
        SetBackgroundImage(path);
        const std::vector<QImage> skinned = RenderAll(QString::fromStdString(name).toLower());
        for (size_t i = 0; i < plain.size(); ++i) {
            EXPECT_NE(skinned[i], plain[i]) << Windows()[i].name << ": the picture does not show";
        }
    }
}

}  // namespace
}  // namespace tw
