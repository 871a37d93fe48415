#include "control/TallywardApplication.h"

#include <exception>

#include "control/ApplicationError.h"

namespace tw {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ApplicationOnException(std::current_exception());
        return false;
    }
}

}  // namespace tw
