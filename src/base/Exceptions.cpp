#include "base/Exceptions.h"

#include <cstring>

namespace tw {

std::string SysErrorMessage(int errorCode) {
    char buffer[256];
    // GNU strerror_r returns the text, which may not be in our buffer.
    const char* text = strerror_r(errorCode, buffer, sizeof buffer);
    return text ? std::string(text) : std::string();
}

void RaiseLastOSError(int errorCode) {
    throw EOSError(errorCode, "System Error.  Code: " + std::to_string(errorCode) + ".\n" +
                                  SysErrorMessage(errorCode));
}

const char* ExceptionClassName(const std::exception& e) noexcept {
    if (auto* own = dynamic_cast<const Exception*>(&e)) {
        return own->ClassName();
    }
    return "Exception";
}

std::string ErrorLine(const std::exception& e, std::string_view context) {
    std::string line = "ErrorClassName: ";
    line += ExceptionClassName(e);
    line += context;
    line += e.what();
    return line;
}

}  // namespace tw
