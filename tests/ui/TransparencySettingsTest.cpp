#include "ui/TransparencySettingsFRM.h"

#include <functional>

#include <QComboBox>

#include "UiTestSupport.h"
#include "base/IniFile.h"
#include "ui/ImageControls.h"

namespace tw {
namespace {

class TransparencySettingsTest : public test::UiTest {
protected:
    // What the file holds, not the cached value.
    static int Stored() {
        return TIniFile(IniFileName()).ReadInteger("Background", "Transparency", -1);
    }
    // Runs the dialog over a stored percent with the administrator logged on.
    static bool Run(int stored, const std::function<void(TfrmTransparencySettings&)>& answer) {
        SetTransparency(stored);
        Options().AdminLoggedIn = true;
        test::ModalAnswers modal;
        modal.Push(
            [&](TfrmBase& window) { answer(dynamic_cast<TfrmTransparencySettings&>(window)); });
        const bool ok = TfrmTransparencySettings().Execute();
        EXPECT_FALSE(Options().AdminLoggedIn);
        return ok;
    }
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
    // Unchanged, a new choice, and a stored value the list does not offer.
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
