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

// Widgets need the application object; it lives for the whole program.
class QtEnvironment : public ::testing::Environment {
    void SetUp() override { app_ = std::make_unique<QApplication>(argc_, argv_); }
    void TearDown() override { app_.reset(); }
    int argc_ = 1;
    char arg0_[5] = "test";
    char* argv_[2] = {arg0_, nullptr};
    std::unique_ptr<QApplication> app_;
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
    static int StoredTransparency() {
        return TIniFile(IniFileName()).ReadInteger("Background", "Transparency", -1);
    }
    // Runs the dialog over a stored percent with the administrator logged on.
    bool Run(int stored, const std::function<void(TfrmTransparencySettings&)>& answer) {
        SetTransparency(stored);
        Options().AdminLoggedIn = true;
        TfrmBase::SetModalHook([&](TfrmBase& window) {
            auto& dialog = dynamic_cast<TfrmTransparencySettings&>(window);
            EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
            answer(dialog);
        });
        TfrmTransparencySettings dialog;
        return dialog.Execute();
    }
    test::TempDir dir_;
};

TEST_F(TransparencySettingsTest, PreviewsAChoiceAndCancelWritesTheOpeningValueBack) {
    const bool ok = Run(35, [](TfrmTransparencySettings& dialog) {
        // 35 is not offered, so the list opens on "0" and nothing is written yet.
        EXPECT_EQ(dialog.cbxTransparency->currentText(), QStringLiteral("0"));
        EXPECT_EQ(StoredTransparency(), 35);
        QTest::keyClicks(dialog.cbxTransparency, QStringLiteral("50"));
        EXPECT_EQ(dialog.cbxTransparency->currentText(), QStringLiteral("50"));
        EXPECT_EQ(dialog.WindowAlpha(), 127);
        EXPECT_EQ(StoredTransparency(), 50);
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    EXPECT_FALSE(ok);
    EXPECT_EQ(StoredTransparency(), 35);
    EXPECT_EQ(GetTransparency(), 35);
    EXPECT_FALSE(Options().AdminLoggedIn);
}

TEST_F(TransparencySettingsTest, OkStoresTheSelectedPercent) {
    struct Case {
        int stored;
        const char* typed;  // keys for the list, empty to leave it
        int expected;
    };
    const Case cases[] = {{10, "", 10}, {10, "7", 70}, {35, "", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        const bool ok = Run(c.stored, [&c](TfrmTransparencySettings& dialog) {
            QTest::keyClicks(dialog.cbxTransparency, QString::fromLatin1(c.typed));
            QTest::mouseClick(dialog.btnOk, Qt::LeftButton);
        });
        EXPECT_TRUE(ok);
        EXPECT_EQ(StoredTransparency(), c.expected);
        EXPECT_FALSE(Options().AdminLoggedIn);
    }
}

}  // namespace
}  // namespace tw
