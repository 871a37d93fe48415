#include "ui/PasswordCheckFRM.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "base/Appearance.h"
#include "base/Paths.h"
#include "storage/Options.h"
#include "support/TestSupport.h"
#include "ui/ImageControls.h"
#include "ui/WarningFRM.h"

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

using Notice = std::pair<std::string, std::string>;  // title, text

class PasswordCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitPaths({TW_BUILD_BIN_DIR, "tallyward", dir_.Path()});
        CopyDatabaseTemplates();
        ResetAppearance();
        Options().SetPassword("Secret");
        Options().AdminLoggedIn = false;
    }
    void TearDown() override {
        TfrmBase::SetModalHook({});
        ResetOptions();
        ResetAppearance();
    }
    // Notice boxes are recorded and closed; the password dialog is answered.
    void Answer(std::function<void(TfrmPasswordCheck&)> answer) {
        TfrmBase::SetModalHook([this, answer = std::move(answer)](TfrmBase& window) {
            if (auto* notice = dynamic_cast<TfrmWarning*>(&window)) {
                notices_.emplace_back(notice->windowTitle().toStdString(),
                                      notice->lblWarning->text().toStdString());
                notice->accept();
                return;
            }
            ++dialogs_;
            auto& dialog = dynamic_cast<TfrmPasswordCheck&>(window);
            answer(dialog);
            if (dialog.isVisible()) {
                ADD_FAILURE() << "the dialog was left open";
                dialog.reject();
            }
        });
    }
    static void Enter(TfrmPasswordCheck& dialog, const char* password) {
        dialog.edPassword->setText(QString::fromLatin1(password));
        // Enter is a short-cut of the active window; without a window manager
        // nothing hands activation back when a notice closes.
        dialog.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
        QTest::keyClick(&dialog, Qt::Key_Return);
    }

    test::TempDir dir_;
    std::vector<Notice> notices_;
    int dialogs_ = 0;
};

TEST_F(PasswordCheckTest, WrongPasswordKeepsTheDialogUntilTheRightOne) {
    Answer([this](TfrmPasswordCheck& dialog) {
        EXPECT_EQ(dialog.edPassword->echoMode(), QLineEdit::Password);
        Enter(dialog, "secret");  // letter case counts in the password itself
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(notices_, (std::vector<Notice>{{"Please Note", "Invalid password"}}));
        EXPECT_EQ(dialog.focusWidget(), dialog.edPassword);
        EXPECT_FALSE(Options().AdminLoggedIn);
        Enter(dialog, "Secret");
    });
    TfrmPasswordCheck dialog;
    EXPECT_TRUE(dialog.Execute());
    EXPECT_EQ(notices_.size(), 1U);
    EXPECT_TRUE(Options().AdminLoggedIn);
}

TEST_F(PasswordCheckTest, CancelAnswersFalse) {
    const std::function<void(TfrmPasswordCheck&)> cancels[] = {
        [](TfrmPasswordCheck& d) {
            EXPECT_TRUE(QTest::qWaitForWindowActive(&d));
            QTest::keyClick(&d, Qt::Key_Escape);
        },
        [](TfrmPasswordCheck& d) { QTest::mouseClick(d.btnCancel, Qt::LeftButton); },
    };
    for (const auto& cancel : cancels) {
        Answer([&cancel](TfrmPasswordCheck& dialog) {
            dialog.edPassword->setText(QStringLiteral("Secret"));
            cancel(dialog);
        });
        TfrmPasswordCheck dialog;
        EXPECT_FALSE(dialog.Execute());
    }
    EXPECT_TRUE(notices_.empty());
}

TEST_F(PasswordCheckTest, CheckAdminPasswordAsksOnlyInTheBuildWithThePassword) {
    for (bool right : {true, false}) {
        dialogs_ = 0;
        Answer([right](TfrmPasswordCheck& dialog) {
            if (right) {
                QTest::keyClicks(dialog.edPassword, QStringLiteral("Secret"));
                QTest::mouseClick(dialog.btnOk, Qt::LeftButton);
            } else {
                dialog.reject();
            }
        });
        const bool allowed = CheckAdminPassword();
        if constexpr (AdminPasswordEnabled) {
            EXPECT_EQ(allowed, right);
            EXPECT_EQ(dialogs_, 1);
        } else {
            EXPECT_TRUE(allowed);
            EXPECT_EQ(dialogs_, 0);
        }
    }
    EXPECT_TRUE(notices_.empty());
}

}  // namespace
}  // namespace tw
