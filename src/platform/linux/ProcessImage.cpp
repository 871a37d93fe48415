#include "platform/linux/ProcessImage.h"

#include <unistd.h>

#include <cerrno>
#include <string>

#include "base/Exceptions.h"

namespace tw {

ProcessImageResult ReadProcessImage(uint32_t processId) {
    ProcessImageResult result;
    if (processId == 0 || processId > 0x7FFFFFFF) {
        result.errorCode = ESRCH;
        result.errorText = SysErrorMessage(ESRCH);
        return result;
    }
    const std::string link = "/proc/" + std::to_string(processId) + "/exe";
    std::string buffer(4096, '\0');
    const ssize_t n = ::readlink(link.c_str(), buffer.data(), buffer.size());
    if (n < 0) {
        result.errorCode = errno;
        result.errorText = SysErrorMessage(result.errorCode);
        return result;
    }
    buffer.resize(size_t(n));
    result.opened = true;
    result.devicePath = std::move(buffer);
    return result;
}

}  // namespace tw
