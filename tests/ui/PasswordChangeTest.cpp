#include "ui/PasswordChangeFRM.h"

#include <gtest/gtest.h>

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
#include "base/md5.h"
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

struct Attempt {
    const char* oldPassword;
    const char* newPassword;
    const char* confirmation;
    const char* notice;  // the one notice shown
    bool accepted;       // else the dialog stays, focus in `focused`
    const char* focused;
};

class PasswordChangeTest : public ::testing::TestWithParam<Attempt> {
protected:
    void SetUp() override {
        InitPaths({TW_BUILD_BIN_DIR, "tallyward", dir_.Path()});
        CopyDatabaseTemplates();
        ResetAppearance();
        Options().SetPassword("Old1");
        Options().Save();
    }
    void TearDown() override {
        TfrmBase::SetModalHook({});
        ResetOptions();
        ResetAppearance();
    }
    test::TempDir dir_;
};

TEST_P(PasswordChangeTest, ChecksBeforeStoringTheNewPassword) {
    const Attempt& a = GetParam();
    const std::string oldDigest = Options().Password;
    std::vector<Notice> notices;
    bool stayed = false;
    QString focused;
    TfrmBase::SetModalHook([&](TfrmBase& window) {
        if (auto* notice = dynamic_cast<TfrmWarning*>(&window)) {
            notices.emplace_back(notice->windowTitle().toStdString(),
                                 notice->lblWarning->text().toStdString());
            notice->accept();
            return;
        }
        auto& dialog = dynamic_cast<TfrmPasswordChange&>(window);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
        dialog.edOldPassword->setText(QString::fromLatin1(a.oldPassword));
        dialog.edNewPassword->setText(QString::fromLatin1(a.newPassword));
        dialog.edConfirmPassword->setText(QString::fromLatin1(a.confirmation));
        QTest::keyClick(&dialog, Qt::Key_Return);
        stayed = dialog.isVisible();
        if (stayed) {
            focused = dialog.focusWidget()->objectName();
            // Escape is a short-cut of the active window; without a window
            // manager nothing hands activation back when a notice closes.
            dialog.activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
            QTest::keyClick(&dialog, Qt::Key_Escape);
            if (dialog.isVisible()) {
                ADD_FAILURE() << "Escape left the dialog open";
                dialog.reject();
            }
        }
    });
    TfrmPasswordChange dialog;
    EXPECT_EQ(dialog.Execute(Options()), a.accepted);
    EXPECT_EQ(stayed, !a.accepted);
    const char* title = a.accepted ? "Information" : "Please Note";
    EXPECT_EQ(notices, (std::vector<Notice>{{title, a.notice}}));

    // What the settings database holds after a fresh load.
    ResetOptions();
    if (a.accepted) {
        EXPECT_EQ(Options().Password, MD5DigestText(a.newPassword));
        EXPECT_TRUE(Options().CheckPassword(a.newPassword));
    } else {
        EXPECT_EQ(focused, QString::fromLatin1(a.focused));
        EXPECT_EQ(Options().Password, oldDigest);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Attempts, PasswordChangeTest,
    ::testing::Values(
        Attempt{"old1", "New", "New", "Invalid old password", false, "edOldPassword"},
        Attempt{"Old1", "New", "Neww", "Passwords do not match", false, "edNewPassword"},
        // The confirmation forgives letter case; what the new box holds is stored.
        Attempt{"Old1", "NewPass", "nEWpASS", "Password was successfully changed", true, ""},
        Attempt{"Old1", "", "", "Password was successfully changed", true, ""}));

TEST(PasswordChange, WrongOldPasswordLogsTheAdministratorOff) {
    test::TempDir dir;
    InitPaths({TW_BUILD_BIN_DIR, "tallyward", dir.Path()});
    CopyDatabaseTemplates();
    Options().SetPassword("Old1");
    ASSERT_TRUE(Options().AdminLoggedIn);
    TfrmBase::SetModalHook([](TfrmBase& window) {
        if (auto* dialog = dynamic_cast<TfrmPasswordChange*>(&window)) {
            dialog->edOldPassword->setText(QStringLiteral("wrong"));
            QTest::mouseClick(dialog->btnOk, Qt::LeftButton);
            EXPECT_FALSE(Options().AdminLoggedIn);
            QTest::mouseClick(dialog->btnCancel, Qt::LeftButton);
        } else {
            window.accept();
        }
    });
    TfrmPasswordChange dialog;
    EXPECT_FALSE(dialog.Execute(Options()));
    TfrmBase::SetModalHook({});
    ResetOptions();
    ResetAppearance();
}

}  // namespace
}  // namespace tw
