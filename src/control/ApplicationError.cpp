#include "control/ApplicationError.h"

#include "base/Exceptions.h"
#include "base/WriteLog.h"

namespace tw {

void ApplicationOnException(std::exception_ptr error) noexcept {
    constexpr char kContext[] = "; TApplicationErrorMessage.OnException:";
    try {
        if (error)
            std::rethrow_exception(error);
    } catch (const std::exception& e) {
        WriteLog(ErrorLine(e, kContext));
    } catch (...) {
        WriteLog(std::string("ErrorClassName: unknown") + kContext + "an error of no known kind");
    }
}

}  // namespace tw
