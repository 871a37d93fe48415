// What escapes an event handler: logged and shown in "Application Error",
// one window at a time.
#include <thread>

#include <QClipboard>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLabel>
#include <QTimer>

#include "base/Exceptions.h"
#include "control/ApplicationError.h"
#include "control/ErrorMessageFRM.h"
#include "control/TallywardApplication.h"
#include "detection/LogCapture.h"
#include "ui/ImageControls.h"
#include "ui/UiTestSupport.h"

namespace tw {
namespace {

// The program's own application object, so errors go through its notify().
const bool kProgramApplication = [] {
    test::TestApplicationFactory() = [](int& argc, char** argv) {
        return std::unique_ptr<QApplication>(std::make_unique<TApplication>(argc, argv));
    };
    return true;
}();

using ErrorMessageTest = test::UiTest;

// A timer handler that fails on every tick: the first error opens the window,
// whose copy button takes the message; a second error while it is open is only
// logged; Escape closes the window.
TEST_F(ErrorMessageTest, TimerHandlerErrorShowsOneWindowAndCopiesItsMessage) {
    ASSERT_TRUE(kProgramApplication);
    test::LogCapture log;
    QTimer timer;
    int ticks = 0;
    QObject::connect(&timer, &QTimer::timeout, [&ticks] {
        ++ticks;
        throw EInOutError("Disk full writing tick " + std::to_string(ticks));
    });
    // A tick, delivered through the application like a real timeout.
    const auto tick = [&timer] {
        ASSERT_TRUE(QMetaObject::invokeMethod(&timer, "timeout", Qt::QueuedConnection));
    };

    struct Seen {
        QString title, caption, clipboard;
        bool linkOverDescription = false;
        bool closedWithOk = false;
    };
    std::vector<Seen> windows;
    TfrmBase::SetModalHook([&](TfrmBase& window) {
        auto* error = dynamic_cast<TfrmErrorMessage*>(&window);
        if (error == nullptr || !windows.empty()) {
            // A window on top of the first: recorded, then closed.
            windows.push_back({window.windowTitle(), window.lblCaption->text(), {}});
            window.reject();
            return;
        }
        QGuiApplication::clipboard()->clear();
        QTest::mouseClick(error->btnCopyErrorToClipboard, Qt::LeftButton);
        windows.push_back(
            {window.windowTitle(), window.lblCaption->text(), QGuiApplication::clipboard()->text(),
             error->lblDescription->geometry().contains(error->lblRegister->geometry())});
        tick();
        // After the second tick has been handled.
        QTimer::singleShot(0, error, [error, &windows] {
            error->activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(error));
            QTest::keyClick(error, Qt::Key_Escape);
            windows.front().closedWithOk =
                error->isHidden() && error->result() == QDialog::Accepted;
        });
    });

    tick();
    QEventLoop loop;
    QTimer::singleShot(0, &loop, &QEventLoop::quit);
    loop.exec();

    EXPECT_EQ(ticks, 2);
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(windows[0].title, QStringLiteral("Application Error"));
    EXPECT_EQ(windows[0].caption, QStringLiteral("Application Error"));
    // The message only: the class name stays in the log.
    EXPECT_EQ(windows[0].clipboard, QStringLiteral("Disk full writing tick 1"));
    EXPECT_TRUE(windows[0].linkOverDescription);
    EXPECT_TRUE(windows[0].closedWithOk);
    EXPECT_EQ(log.Lines(),
              (std::vector<std::string>{
                  "ErrorClassName: EInOutError; TApplicationErrorMessage.OnException:Disk full "
                  "writing tick 1",
                  "ErrorClassName: EInOutError; TApplicationErrorMessage.OnException:Disk full "
                  "writing tick 2"}));
}

// Windows belong to the interface thread: an error handed over from another
// thread is logged and shows nothing.
TEST_F(ErrorMessageTest, ErrorFromAnotherThreadIsOnlyLogged) {
    test::LogCapture log;
    int windows = 0;
    TfrmBase::SetModalHook([&windows](TfrmBase& window) {
        ++windows;
        window.reject();
    });
    std::thread([] {
        ApplicationOnException(std::make_exception_ptr(EInOutError("Disk full in a worker")));
    }).join();
    EXPECT_EQ(windows, 0);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                               "ErrorClassName: EInOutError; "
                               "TApplicationErrorMessage.OnException:Disk full in a worker"}));
}

}  // namespace
}  // namespace tw
