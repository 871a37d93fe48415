#include "ui/PasswordCheckFRM.h"

#include <functional>
#include <string>
#include <vector>

#include <QLineEdit>

#include "UiTestSupport.h"
#include "ui/ImageControls.h"

namespace tw {
namespace {

using Answer = std::function<void(TfrmPasswordCheck&)>;

// Enter and Escape are short-cuts of the active window; no window manager
// hands activation back when a notice closes.
void Press(TfrmPasswordCheck& dialog, Qt::Key key) {
    dialog.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
    QTest::keyClick(&dialog, key);
}
void Enter(TfrmPasswordCheck& dialog, const char* password) {
    dialog.edPassword->setText(QString::fromLatin1(password));
    Press(dialog, Qt::Key_Return);
}

class PasswordCheckTest : public test::UiTest {
protected:
    void SetUp() override {
        test::UiTest::SetUp();
        Options().SetPassword("Secret");
        Options().AdminLoggedIn = false;
    }
    void Answering(Answer answer) {
        OnModal([this, answer](TfrmBase& window) {
            ++dialogs_;
            auto& dialog = dynamic_cast<TfrmPasswordCheck&>(window);
            answer(dialog);
            if (dialog.isVisible()) {
                ADD_FAILURE() << "the dialog was left open";
                dialog.reject();
            }
        });
    }
    int dialogs_ = 0;
};

TEST_F(PasswordCheckTest, WrongPasswordKeepsTheDialogUntilTheRightOneOrCancel) {
    const std::pair<Answer, bool> answers[] = {
        {[this](TfrmPasswordCheck& d) {
             Enter(d, "secret");  // letter case counts in the password itself
             EXPECT_TRUE(d.isVisible());
             EXPECT_EQ(notices, std::vector<std::string>{"Please Note: Invalid password"});
             EXPECT_EQ(d.focusWidget(), d.edPassword);
             EXPECT_FALSE(Options().AdminLoggedIn);
             Enter(d, "Secret");
         },
         true},
        {[](TfrmPasswordCheck& d) {
             d.edPassword->setText(QStringLiteral("Secret"));
             Press(d, Qt::Key_Escape);
         },
         false},
        {[](TfrmPasswordCheck& d) { QTest::mouseClick(d.btnCancel, Qt::LeftButton); }, false},
    };
    for (const auto& [answer, expected] : answers) {
        notices.clear();
        Options().AdminLoggedIn = false;
        Answering(answer);
        EXPECT_EQ(TfrmPasswordCheck().Execute(), expected);
        EXPECT_EQ(Options().AdminLoggedIn, expected);
        EXPECT_EQ(notices.size(), expected ? 1U : 0U);
    }
}

TEST_F(PasswordCheckTest, CheckAdminPasswordAsksOnlyInTheBuildWithThePassword) {
    for (bool right : {true, false}) {
        dialogs_ = 0;
        Answering([right](TfrmPasswordCheck& d) { right ? Enter(d, "Secret") : d.reject(); });
        const bool allowed = CheckAdminPassword();
        EXPECT_EQ(allowed, !AdminPasswordEnabled || right);
        EXPECT_EQ(dialogs_, AdminPasswordEnabled ? 1 : 0);
    }
}

}  // namespace
}  // namespace tw
