#include "ui/TransparencySettingsFRM.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include <QApplication>
#include <QComboBox>
#include <QTest>

#include "base/Appearance.h"
#include "base/IniFile.h"
#include "base/Paths.h"
#include "storage/Options.h"
#include "support/TestSupport.h"
#include "ui/ImageControls.h"

namespace tw {
namespace {

struct QtEnvironment : ::testing::Environment {
    void SetUp() override { app = std::make_unique<QApplication>(argc, argv); }
    void TearDown() override { app.reset(); }
    int argc = 1;
    char arg0[5] = "test";
    char* argv[2] = {arg0, nullptr};
    std::unique_ptr<QApplication> app;
};
[[maybe_unused]] const auto* const kQt = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

class TransparencySettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitPaths({TW_BUILD_BIN_DIR, "tallyward", dir_.Path()});
        CopyDatabaseTemplates();
        ResetAppearance();
    }
    void TearDown() override {
        TfrmBase::SetModalHook({});
        ResetOptions();
        ResetAppearance();
    }
    // What the file holds, not the cached value.
    static int Stored() {
        return TIniFile(IniFileName()).ReadInteger("Background", "Transparency", -1);
    }
    // Runs the dialog over a stored percent with the administrator logged on.
    static bool Run(int stored, const std::function<void(TfrmTransparencySettings&)>& answer) {
        SetTransparency(stored);
        Options().AdminLoggedIn = true;
        TfrmBase::SetModalHook([&](TfrmBase& window) {
            auto& dialog = dynamic_cast<TfrmTransparencySettings&>(window);
            EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
            answer(dialog);
        });
        const bool ok = TfrmTransparencySettings().Execute();
        EXPECT_FALSE(Options().AdminLoggedIn);
        return ok;
    }
    test::TempDir dir_;
};

TEST_F(TransparencySettingsTest, PreviewsAChoiceAndCancelWritesTheOpeningValueBack) {
    EXPECT_FALSE(Run(35, [](TfrmTransparencySettings& dialog) {
        // 35 is not offered: the list opens on "0" and nothing is written yet.
        EXPECT_EQ(dialog.cbxTransparency->currentText(), QStringLiteral("0"));
        EXPECT_EQ(Stored(), 35);
        QTest::keyClicks(dialog.cbxTransparency, QStringLiteral("50"));
        EXPECT_EQ(dialog.WindowAlpha(), 127);
        EXPECT_EQ(Stored(), 50);
        QTest::keyClick(&dialog, Qt::Key_Escape);
    }));
    EXPECT_EQ(Stored(), 35);
    EXPECT_EQ(GetTransparency(), 35);
}

TEST_F(TransparencySettingsTest, OkStoresTheSelectedPercent) {
    struct Case {
        int stored;
        const char* typed;  // keys for the list
        int expected;
    };
    for (const Case& c : {Case{10, "", 10}, Case{10, "7", 70}, Case{35, "", 0}}) {
        EXPECT_TRUE(Run(c.stored, [&c](TfrmTransparencySettings& dialog) {
            QTest::keyClicks(dialog.cbxTransparency, QString::fromLatin1(c.typed));
            QTest::mouseClick(dialog.btnOk, Qt::LeftButton);
        }));
        EXPECT_EQ(Stored(), c.expected) << c.stored << " " << c.typed;
    }
}

}  // namespace
}  // namespace tw
