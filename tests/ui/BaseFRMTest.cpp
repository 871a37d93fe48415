#include "ui/BaseFRM.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScreen>

#include "UiTestSupport.h"
#include "base/Exceptions.h"
#include "base/IniFile.h"
#include "ui/Colors.h"
#include "ui/ImageControls.h"
#include "ui/WarningFRM.h"

namespace tw {
namespace {

using test::ModalAnswers;
using test::UiTest;

TEST(ClampToWorkAreaTest, StopsAtEveryEdge) {
    const QRect area(0, 0, 1000, 700);
    const QSize size(300, 200);
    EXPECT_EQ(ClampToWorkArea({-40, -3}, size, area), QPoint(0, 0));
    EXPECT_EQ(ClampToWorkArea({900, 650}, size, area), QPoint(700, 500));
    EXPECT_EQ(ClampToWorkArea({120, 80}, size, area), QPoint(120, 80));
    // A work area that does not start at the origin (a panel at the top).
    EXPECT_EQ(ClampToWorkArea({50, 5}, size, QRect(0, 30, 1000, 670)), QPoint(50, 30));
    EXPECT_EQ(ClampToWorkArea({50, 690}, size, QRect(0, 30, 1000, 670)), QPoint(50, 500));
    EXPECT_EQ(ClampToWorkArea({50, 480}, size, QRect(0, 30, 1000, 670)), QPoint(50, 480));
}

TEST(PadRowCountTest, FillsTheVisibleRows) {
    EXPECT_EQ(PadRowCount(251, 16, 3), 12);
    EXPECT_EQ(PadRowCount(251, 16, 15), 0);
    EXPECT_EQ(PadRowCount(250, 16, 0), 15);
    EXPECT_EQ(PadRowCount(257, 16, 0), 15);  // less the two border pixels
    EXPECT_EQ(PadRowCount(16, 13, 0), 1);
    EXPECT_EQ(PadRowCount(100, 0, 0), 0);
}

TEST(StrToTimeTest, ReadsHoursMinutesAndSeconds) {
    EXPECT_DOUBLE_EQ(StrToTime("01:30"), 90.0 / 1440);
    EXPECT_DOUBLE_EQ(StrToTime(" 7:05"), 425.0 / 1440);
    EXPECT_DOUBLE_EQ(StrToTime("23:59:30"), (23 * 3600 + 59 * 60 + 30) / 86400.0);
    for (const char* bad :
         {"24:00", "12:60", "12:", ":30", "", "1", "ab:cd", "1:2:3:4", "123:00"}) {
        try {
            StrToTime(bad);
            ADD_FAILURE() << bad;
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), "'" + std::string(bad) + "' is not a valid time");
        }
    }
}

class TestWindow final : public TfrmBase {
public:
    TestWindow() { setWindowTitle(QStringLiteral("Test Window")); }
    bool CanMoveTo(int newLeft, int newTop) override {
        asked = QPoint(newLeft, newTop);
        return allowMove;
    }
    bool allowMove = true;
    QPoint asked{-1, -1};
};

using BaseFRMTest = UiTest;

struct LimitCase {
    const char* text;
    const char* message;  // nullptr: valid
};

void PrintTo(const LimitCase& c, std::ostream* out) {
    *out << "'" << c.text << "'";
}

class ValidateTimeLimitTest : public UiTest, public ::testing::WithParamInterface<LimitCase> {};

TEST_P(ValidateTimeLimitTest, AnswersAndMessages) {
    const LimitCase& c = GetParam();
    TestWindow window;
    auto* edit = new QLineEdit(&window);
    auto* other = new QLineEdit(&window);
    edit->setGeometry(10, 50, 60, 20);
    other->setGeometry(10, 80, 60, 20);
    SetupTimeEdit(edit);
    edit->setText(QString::fromLatin1(c.text));
    window.show();
    other->setFocus();
    ModalAnswers answers;
    answers.PushKey(Qt::Key_Return);
    EXPECT_EQ(window.ValidateTimeLimit(edit), c.message == nullptr);
    if (c.message == nullptr) {
        EXPECT_TRUE(answers.shown().empty());
        return;
    }
    ASSERT_EQ(answers.shown().size(), 1u);
    EXPECT_EQ(answers.shown()[0].title, QStringLiteral("Please Note"));
    EXPECT_EQ(answers.shown()[0].text, QString::fromLatin1(c.message));
    EXPECT_EQ(window.focusWidget(), edit);
}

INSTANTIATE_TEST_SUITE_P(Cases, ValidateTimeLimitTest,
                         ::testing::Values(LimitCase{"00:00", "Limit can't be empty"},
                                           LimitCase{"23:59", nullptr}, LimitCase{"9:15", nullptr},
                                           LimitCase{"24:00", "'24:00' is not a valid time"},
                                           // Only the hours typed: the mask leaves the minutes out.
                                           LimitCase{"12", "'12:' is not a valid time"}),
                         [](const auto& tp) { return test::CaseName(tp.param.text); });

TEST_F(BaseFRMTest, TimeEditMaskTakesOnlyDigits) {
    QLineEdit edit;
    SetupTimeEdit(&edit);
    edit.setText(QStringLiteral("ab:cd"));
    EXPECT_EQ(edit.text(), QStringLiteral(":"));
    edit.setText(QStringLiteral("0830"));
    EXPECT_EQ(edit.text(), QStringLiteral("08:30"));
}

TEST_F(BaseFRMTest, WarningClosesWithOkOnEnterEscapeAndItsButton) {
    const QString text =
        QString(400, QLatin1Char('x')).replace(QStringLiteral("xxxxxxxx"), QStringLiteral("word "));
    for (int key : {int(Qt::Key_Return), int(Qt::Key_Enter), int(Qt::Key_Escape), 0}) {
        TfrmWarning warning;
        ModalAnswers answers;
        answers.Push([key](TfrmBase& w) {
            if (key == 0) {
                QTest::mouseClick(static_cast<TfrmWarning&>(w).btnOk, Qt::LeftButton);
            } else {
                QTest::keyClick(&w, Qt::Key(key));
            }
        });
        warning.Execute(text, QStringLiteral("Information"));
        EXPECT_EQ(warning.result(), QDialog::Accepted) << key;
        EXPECT_EQ(warning.lblCaption->text(), QStringLiteral("Information"));
        EXPECT_EQ(warning.lblWarning->text(), text);
        // The button stays under the long text, inside the window.
        EXPECT_GE(warning.btnOk->y(), warning.lblWarning->geometry().bottom());
        EXPECT_LE(warning.btnOk->geometry().bottom(), warning.height());
        EXPECT_GE(warning.width(), 352);
    }
}

TEST_F(BaseFRMTest, LabelsInTheDarkTextColourKeepIt) {
    TestWindow window;
    QLabel* white = window.CreateLabel(QStringLiteral("white"), QRect(10, 40, 80, 16), clWhite);
    QLabel* dark = window.CreateLabel(QStringLiteral("dark"), QRect(10, 60, 80, 16), clDarkText);
    QWidget* group = new QWidget(&window);
    QLabel* nested =
        window.CreateLabel(QStringLiteral("nested"), QRect(0, 0, 80, 16), clWhite, group);
    window.SetTextColor(0x0000FF);
    EXPECT_EQ(white->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_EQ(nested->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_EQ(dark->palette().color(QPalette::WindowText), ColorFromWin(clDarkText));
}

TEST_F(BaseFRMTest, CreationTakesTheAppearanceFile) {
    GetIniFile().WriteInteger("Background", "Color", 0x00FF00);
    GetIniFile().WriteInteger("Background", "TextColor", 0x00FFFF);
    GetIniFile().WriteInteger("Background", "Transparency", 50);
    ResetAppearance();
    TestWindow window;
    QLabel* label = window.CreateLabel(QStringLiteral("x"), QRect(10, 40, 80, 16));
    window.show();
    EXPECT_EQ(window.BackgroundColor(), 0x00FF00);
    EXPECT_EQ(window.WindowAlpha(), 127);
    EXPECT_NEAR(window.windowOpacity(), 127 / 255.0, 0.01);
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(255, 255, 0));
    window.SetTransparency(0);
    EXPECT_EQ(window.WindowAlpha(), 255);
    EXPECT_EQ(window.windowOpacity(), 1.0);
}

TEST_F(BaseFRMTest, PaintsColourThenTiledPicture) {
    TestWindow window;
    window.resize(120, 90);
    window.SetBackgroundColor(0x0000FF);
    const auto pixel = [&window](int x, int y) {
        QImage image(window.size(), QImage::Format_ARGB32);
        window.render(&image);
        return QColor(image.pixel(x, y));
    };
    // Below the header, left of the body's rim: the window colour.
    EXPECT_EQ(pixel(60, 60).red(), 255);

    QImage tile(50, 40, QImage::Format_RGB32);
    tile.fill(QColor(0, 200, 0));
    tile.setPixel(0, 0, qRgb(1, 2, 3));
    ASSERT_TRUE(tile.save(QString::fromStdString(data.Path() + "tile.png")));
    SetBackgroundImage(data.Path() + "tile.png");
    // The tile's corner repeats every 50 by 40 pixels (below the body's sheen).
    EXPECT_EQ(pixel(50, 80), QColor(1, 2, 3));
    EXPECT_EQ(pixel(100, 80), QColor(1, 2, 3));
    EXPECT_EQ(pixel(60, 60).green(), 200);

    // A picture that cannot be decoded leaves the plain colour.
    test::WriteFileText(data.Path() + "broken.png", "\x89PNG\r\n\x1a\n not really");
    SetBackgroundImage(data.Path() + "broken.png");
    EXPECT_EQ(pixel(60, 60).red(), 255);
}

TEST_F(BaseFRMTest, HeaderDragIsClampedAndAsksCanMoveTo) {
    TestWindow window;
    window.resize(200, 100);
    window.move(100, 100);
    window.show();
    const QRect area = window.screen()->availableGeometry();
    auto drag = [&](QWidget* handle, QPoint press, QPoint globalTo) {
        QMouseEvent down(QEvent::MouseButtonPress, press, handle->mapToGlobal(press),
                         Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(handle, &down);
        QMouseEvent move(QEvent::MouseMove, handle->mapFromGlobal(globalTo), globalTo, Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(handle, &move);
        QMouseEvent up(QEvent::MouseButtonRelease, handle->mapFromGlobal(globalTo), globalTo,
                       Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(handle, &up);
    };
    drag(window.pnlHeader, QPoint(20, 10), area.topLeft() + QPoint(5, 5));
    EXPECT_EQ(window.asked, area.topLeft() + QPoint(-15, -5));
    EXPECT_EQ(window.pos(), area.topLeft());
    drag(window.lblCaption, QPoint(5, 5), area.bottomRight() + QPoint(50, 50));
    EXPECT_EQ(window.pos(), QPoint(area.right() + 1 - 200, area.bottom() + 1 - 100));
    window.move(area.topLeft() + QPoint(10, 10));
    window.allowMove = false;
    drag(window.pnlHeader, QPoint(20, 10), area.topLeft() + QPoint(300, 200));
    EXPECT_EQ(window.pos(), area.topLeft() + QPoint(10, 10));
}

TEST_F(BaseFRMTest, PagesShowOneAtATimeWithTheirFirstControlActive) {
    TestWindow window;
    window.resize(300, 300);
    window.PageControl(QRect(0, 40, 300, 250));
    QWidget* first = window.AddPage();
    QWidget* second = window.AddPage();
    auto* a = new QLineEdit(first);
    auto* disabled = new QLineEdit(second);
    auto* b = new QLineEdit(second);
    auto* c = new QLineEdit(second);
    auto* combo = new QComboBox(second);
    combo->setGeometry(0, 100, 120, 22);
    disabled->setEnabled(false);
    QWidget::setTabOrder(c, b);  // c comes before b in the tab order
    QWidget::setTabOrder(disabled, c);
    window.show();

    window.ShowPage(first);
    EXPECT_TRUE(first->isVisible() && !second->isVisible());
    EXPECT_EQ(window.focusWidget(), a);
    window.RestorePages();
    EXPECT_FALSE(first->isVisible());
    window.ShowPage(second);
    EXPECT_TRUE(!first->isVisible() && second->isVisible());
    EXPECT_EQ(window.ActivePage(), second);
    EXPECT_EQ(window.focusWidget(), c);
    // Each skinned combo drops its list from a picture button of its own.
    EXPECT_EQ(combo->mask().boundingRect(), QRect(0, 0, 94, 22));
}

TEST_F(BaseFRMTest, WindowIsClippedToRoundedCorners) {
    TestWindow window;
    window.resize(200, 100);
    window.show();
    const QRegion mask = window.mask();
    EXPECT_FALSE(mask.contains(QPoint(0, 0)));
    EXPECT_FALSE(mask.contains(QPoint(199, 99)));
    EXPECT_TRUE(mask.contains(QPoint(10, 0)));
    EXPECT_TRUE(mask.contains(QPoint(100, 50)));
    EXPECT_EQ(window.pnlHeader->geometry(), QRect(0, 0, 200, 32));
    EXPECT_EQ(window.pnlBody->geometry(), QRect(0, 32, 200, 68));
}

TEST_F(BaseFRMTest, TimeLimitAndActionShownToEachAccessLevel) {
    TOptions& options = Options();
    options.TimeLimitSeconds = 7200;
    options.ExpirationAction = eaReminderOnly;
    options.AllowUserToChangeSettings = true;
    struct Case {
        bool admin;
        int storedSeconds, storedAction;  // -2: nothing stored
        int32_t seconds;
        int action;
    };
    // The user sees what the store holds; the administrator what is being edited.
    // Values the daily reset would refuse are not shown either.
    for (const Case& c :
         {Case{false, -2, -2, 7200, eaReminderOnly}, Case{false, 3600, 2, 3600, 2},
          Case{true, 3600, 2, 7200, eaReminderOnly}, Case{false, -1, 7, 7200, eaReminderOnly}}) {
        if (c.storedSeconds != -2) {
            GetIniFile().WriteInteger("Common", "TimeLimitSeconds", c.storedSeconds);
            GetIniFile().WriteInteger("Common", "ExpirationAction", c.storedAction);
        }
        options.AdminLoggedIn = c.admin;
        int32_t seconds = 0;
        uint8_t action = 9;
        TfrmBase::GetTimeLimitAndAction(options, seconds, action);
        EXPECT_EQ(seconds, c.seconds) << c.storedSeconds;
        EXPECT_EQ(action, c.action) << c.storedSeconds;
    }
}

TEST(LinkUrlTest, AddsTheMissingScheme) {
    EXPECT_EQ(LinkUrl(QStringLiteral("tallyward.example/login")),
              QUrl(QStringLiteral("http://tallyward.example/login")));
    EXPECT_EQ(LinkUrl(QStringLiteral("https://tallyward.example/")),
              QUrl(QStringLiteral("https://tallyward.example/")));
    EXPECT_EQ(LinkUrl(QStringLiteral("/tmp/notes.txt")),
              QUrl::fromLocalFile(QStringLiteral("/tmp/notes.txt")));
}

}  // namespace
}  // namespace tw
