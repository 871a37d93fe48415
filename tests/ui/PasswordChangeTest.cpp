#include "ui/PasswordChangeFRM.h"

#include <string>
#include <vector>

#include <QLineEdit>

#include "UiTestSupport.h"
#include "base/md5.h"

namespace tw {
namespace {

struct Attempt {
    const char* oldPassword;
    const char* newPassword;
    const char* confirmation;
    const char* notice;   // the one notice shown, "title: text"
    const char* focused;  // where a refused attempt leaves the focus; "" when accepted
};

std::string AttemptName(const Attempt& a) {
    return std::string("old ") + a.oldPassword + " new " + a.newPassword + " confirm " +
           a.confirmation;
}

void PrintTo(const Attempt& a, std::ostream* out) {
    *out << AttemptName(a);
}

class PasswordChangeTest : public test::UiTest, public ::testing::WithParamInterface<Attempt> {
protected:
    void SetUp() override {
        test::UiTest::SetUp();
        Options().SetPassword("Old1");
        Options().Save();
    }
};

TEST_P(PasswordChangeTest, ChecksBeforeStoringTheNewPassword) {
    const Attempt& a = GetParam();
    const bool accepted = *a.focused == '\0';
    const std::string oldDigest = Options().Password;
    QString focused;
    bool loggedIn = false;
    OnModal([&](TfrmBase& window) {
        auto& dialog = dynamic_cast<TfrmPasswordChange&>(window);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
        dialog.edOldPassword->setText(QString::fromLatin1(a.oldPassword));
        dialog.edNewPassword->setText(QString::fromLatin1(a.newPassword));
        dialog.edConfirmPassword->setText(QString::fromLatin1(a.confirmation));
        QTest::keyClick(&dialog, Qt::Key_Return);
        loggedIn = Options().AdminLoggedIn;
        if (dialog.isVisible()) {
            focused = dialog.focusWidget()->objectName();
            dialog.reject();
        }
    });
    EXPECT_EQ(TfrmPasswordChange().Execute(Options()), accepted);
    EXPECT_EQ(notices, std::vector<std::string>{a.notice});
    EXPECT_EQ(focused.toStdString(), a.focused);
    // A wrong old password logs the administrator off.
    EXPECT_EQ(loggedIn, std::string(a.notice) != "Please Note: Invalid old password");

    ResetOptions();  // what the settings database holds
    EXPECT_EQ(Options().Password, accepted ? MD5DigestText(a.newPassword) : oldDigest);
}

INSTANTIATE_TEST_SUITE_P(
    Attempts, PasswordChangeTest,
    ::testing::Values(
        Attempt{"old1", "New", "New", "Please Note: Invalid old password", "edOldPassword"},
        Attempt{"Old1", "New", "Neww", "Please Note: Passwords do not match", "edNewPassword"},
        // The confirmation forgives letter case; what the new box holds is stored.
        Attempt{"Old1", "NewPass", "nEWpASS", "Information: Password was successfully changed", ""},
        Attempt{"Old1", "", "", "Information: Password was successfully changed", ""}),
    [](const auto& tp) { return test::CaseName(AttemptName(tp.param)); });

}  // namespace
}  // namespace tw
