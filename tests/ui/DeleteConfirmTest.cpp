#include "ui/DeleteConfirmFRM.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include <QApplication>
#include <QLabel>
#include <QTest>

#include "base/Appearance.h"
#include "base/Paths.h"
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

class DeleteConfirmTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitPaths({TW_BUILD_BIN_DIR, "tallyward", dir_.Path()});
        ResetAppearance();
    }
    void TearDown() override {
        TfrmBase::SetModalHook({});
        ResetAppearance();
    }
    test::TempDir dir_;
};

struct Answer {
    const char* name;
    std::function<void(TfrmDeleteConfirm&)> answer;
    bool expected;
};

TEST_F(DeleteConfirmTest, AsksAboutTheCaptionAndAnswersByKeyOrButton) {
    const Answer answers[] = {
        {"Enter", [](TfrmDeleteConfirm& w) { QTest::keyClick(&w, Qt::Key_Return); }, true},
        {"Escape", [](TfrmDeleteConfirm& w) { QTest::keyClick(&w, Qt::Key_Escape); }, false},
        {"OK button", [](TfrmDeleteConfirm& w) { QTest::mouseClick(w.btnOk, Qt::LeftButton); },
         true},
        {"Cancel button",
         [](TfrmDeleteConfirm& w) { QTest::mouseClick(w.btnCancel, Qt::LeftButton); }, false},
    };
    for (const Answer& a : answers) {
        SCOPED_TRACE(a.name);
        QString shown, title;
        TfrmBase::SetModalHook([&](TfrmBase& window) {
            auto& dialog = dynamic_cast<TfrmDeleteConfirm&>(window);
            // Enter and Escape are short-cuts of the active window.
            EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
            shown = dialog.lblDescription->text();
            title = dialog.lblCaption->text();
            a.answer(dialog);
        });
        TfrmDeleteConfirm dialog;
        EXPECT_EQ(dialog.Execute(QStringLiteral("News")), a.expected);
        EXPECT_EQ(
            shown,
            QStringLiteral("Are you sure you want to delete \"News\" from your time-limit list?"));
        EXPECT_EQ(title, QStringLiteral("Confirm Delete"));
    }
}

}  // namespace
}  // namespace tw
