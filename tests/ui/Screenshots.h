#pragma once

// Renders skinned windows into PNG files, so a person can look at them:
// into $TW_SCREENSHOT_DIR when set (scripts/screenshots.sh), else into the
// test's data folder. As a test it checks that each window renders at its
// size in the default look and that a skin's picture shows in its body.
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QRegion>

#include "UiTestSupport.h"
#include "base/Appearance.h"

namespace tw::test {

// The window as the user sees it: what it paints, cut to its rounded shape.
inline QImage Shot(TfrmBase& window) {
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

struct ShotWindow {
    const char* name;
    QSize size;
    // Builds the window and runs it the way the program does.
    std::function<void()> run;
    // Brings the shown window to the state to picture (a page, typed text).
    std::function<void(TfrmBase&)> prepare = {};
};

class ScreenshotsTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        const char* out = std::getenv("TW_SCREENSHOT_DIR");
        outDir_ = QString::fromStdString(out != nullptr ? std::string(out) : data.Path());
        ASSERT_TRUE(QDir().mkpath(outDir_));
    }

    // Every window in the default look and in each skin, saved as
    // <look>_<window>.png.
    void RenderEveryLook(const std::vector<ShotWindow>& windows) {
        const std::vector<QImage> plain = RenderAll(windows, QStringLiteral("default"));
        NameValueList skins;
        GetSkinList(skins);
        if (skins.empty()) {
            GTEST_SKIP() << "no skins in " << SkinsFolder() << " (build tw_skins)";
        }
        for (const auto& [name, path] : skins) {
            SCOPED_TRACE(name);
            SetBackgroundImage(path);
            const std::vector<QImage> skinned =
                RenderAll(windows, QString::fromStdString(name).toLower());
            for (size_t i = 0; i < plain.size(); ++i) {
                EXPECT_NE(skinned[i], plain[i]) << windows[i].name << ": the picture does not show";
            }
        }
    }

    const QString& OutDir() const noexcept { return outDir_; }

private:
    std::vector<QImage> RenderAll(const std::vector<ShotWindow>& windows, const QString& look) {
        std::vector<QImage> shots;
        for (const ShotWindow& w : windows) {
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

}  // namespace tw::test
