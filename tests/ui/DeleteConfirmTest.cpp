#include "ui/DeleteConfirmFRM.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <utility>

#include <QApplication>
#include <QLabel>
#include <QTest>

#include "base/Appearance.h"
#include "base/Paths.h"
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

TEST(DeleteConfirm, AsksAboutTheCaptionAndAnswersByKeyOrButton) {
    test::TempDir dir;
    InitPaths({TW_BUILD_BIN_DIR, "tallyward", dir.Path()});
    ResetAppearance();
    const std::pair<std::function<void(TfrmDeleteConfirm&)>, bool> answers[] = {
        {[](TfrmDeleteConfirm& w) { QTest::keyClick(&w, Qt::Key_Return); }, true},
        {[](TfrmDeleteConfirm& w) { QTest::keyClick(&w, Qt::Key_Escape); }, false},
        {[](TfrmDeleteConfirm& w) { QTest::mouseClick(w.btnOk, Qt::LeftButton); }, true},
        {[](TfrmDeleteConfirm& w) { QTest::mouseClick(w.btnCancel, Qt::LeftButton); }, false},
    };
    for (const auto& [answer, expected] : answers) {
        QString shown;
        TfrmBase::SetModalHook([&](TfrmBase& window) {
            auto& dialog = dynamic_cast<TfrmDeleteConfirm&>(window);
            // Enter and Escape are short-cuts of the active window.
            EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
            shown = dialog.lblCaption->text() + QLatin1Char('|') + dialog.lblDescription->text();
            answer(dialog);
        });
        TfrmDeleteConfirm dialog;
        EXPECT_EQ(dialog.Execute(QStringLiteral("News")), expected);
        EXPECT_EQ(shown, QStringLiteral("Confirm Delete|Are you sure you want to delete \"News\" "
                                        "from your time-limit list?"));
    }
    TfrmBase::SetModalHook({});
    ResetAppearance();
}

}  // namespace
}  // namespace tw
