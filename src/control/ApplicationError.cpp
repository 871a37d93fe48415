#include "control/ApplicationError.h"

#include <string>

#include <QApplication>
#include <QThread>

#include "base/Exceptions.h"
#include "base/WriteLog.h"
#include "control/ErrorMessageFRM.h"

namespace tw {

namespace {

// Whether an error window is open; only the interface thread touches it.
bool errorWindowOpen = false;

void ShowErrorWindow(const std::string& message) {
    const QApplication* application = qobject_cast<QApplication*>(QCoreApplication::instance());
    // Windows live on the interface thread; an error from elsewhere is only logged.
    if (application == nullptr || QThread::currentThread() != application->thread() ||
        errorWindowOpen)
        return;
    struct OpenWhileInScope {
        OpenWhileInScope() { errorWindowOpen = true; }
        ~OpenWhileInScope() { errorWindowOpen = false; }
    } open;
    TfrmErrorMessage window;
    window.Execute(QString::fromStdString(message));
}

}  // namespace

void ApplicationOnException(std::exception_ptr error) noexcept {
    constexpr char kContext[] = "; TApplicationErrorMessage.OnException:";
    std::string message;
    try {
        if (error)
            std::rethrow_exception(error);
    } catch (const std::exception& e) {
        WriteLog(ErrorLine(e, kContext));
        message = e.what();
    } catch (...) {
        message = "an error of no known kind";
        WriteLog(std::string("ErrorClassName: unknown") + kContext + message);
    }
    try {
        ShowErrorWindow(message);
    } catch (const std::exception& e) {
        // The error window itself failed: the log is all that is left.
        WriteLog(ErrorLine(e, "; TApplicationErrorMessage.OnException: "));
    } catch (...) {
        WriteLog("TApplicationErrorMessage.OnException: the error window failed");
    }
}

}  // namespace tw
