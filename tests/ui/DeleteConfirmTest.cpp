#include "ui/DeleteConfirmFRM.h"

#include <functional>
#include <utility>

#include "UiTestSupport.h"
#include "ui/ImageControls.h"

namespace tw {
namespace {

using DeleteConfirm = test::UiTest;

TEST_F(DeleteConfirm, AsksAboutTheCaptionAndAnswersByKeyOrButton) {
    const std::pair<std::function<void(TfrmDeleteConfirm&)>, bool> answers[] = {
        {[](TfrmDeleteConfirm& w) { QTest::keyClick(&w, Qt::Key_Return); }, true},
        {[](TfrmDeleteConfirm& w) { QTest::keyClick(&w, Qt::Key_Escape); }, false},
        {[](TfrmDeleteConfirm& w) { QTest::mouseClick(w.btnOk, Qt::LeftButton); }, true},
        {[](TfrmDeleteConfirm& w) { QTest::mouseClick(w.btnCancel, Qt::LeftButton); }, false},
    };
    for (const auto& [answer, expected] : answers) {
        test::ModalAnswers modal;
        QString shown;
        modal.Push([&](TfrmBase& window) {
            auto& dialog = dynamic_cast<TfrmDeleteConfirm&>(window);
            shown = dialog.lblCaption->text() + QLatin1Char('|') + dialog.lblDescription->text();
            answer(dialog);
        });
        TfrmDeleteConfirm dialog;
        EXPECT_EQ(dialog.Execute(QStringLiteral("News")), expected);
        EXPECT_EQ(shown, QStringLiteral("Confirm Delete|Are you sure you want to delete \"News\" "
                                        "from your time-limit list?"));
    }
}

}  // namespace
}  // namespace tw
