#include "base/WriteLog.h"

#include <sys/stat.h>
#include <cstdio>

#include "base/AppClock.h"
#include "base/DateTime.h"
#include "base/Exceptions.h"

namespace tw {

namespace {
std::string& LogFile() {
    static std::string name;
    return name;
}
}  // namespace

void SetLogFileName(std::string fileName) {
    LogFile() = std::move(fileName);
}
const std::string& LogFileName() noexcept {
    return LogFile();
}

void WriteLog(std::string_view line) noexcept {
    try {
        const std::string& name = LogFile();
        if (name.empty())
            return;
        struct stat st {};
        if (::stat(name.c_str(), &st) == 0 && st.st_size >= kLogRotateBytes) {
            const std::string old = name + ".1";
            std::rename(name.c_str(), old.c_str());
        }
        std::string text = FormatDateTimeText(AppNow());
        text += ' ';
        text += line;
        // One line per call: line breaks inside a message would split it.
        for (size_t i = 20; i < text.size(); ++i) {
            if (text[i] == '\r' || text[i] == '\n')
                text[i] = ' ';
        }
        text += '\n';
        bool written = false;
        if (FILE* f = std::fopen(name.c_str(), "ae")) {
            written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
            written = std::fclose(f) == 0 && written;
        }
        // A full disk or a read-only folder must not swallow the failure
        // being reported: it goes to standard error instead.
        if (!written) {
            std::fwrite(text.data(), 1, text.size(), stderr);
        }
    } catch (...) {
        // A diagnostic that cannot be written is dropped.
    }
}

void LogException(const std::exception& e, std::string_view context) noexcept {
    try {
        WriteLog(ErrorLine(e, context));
    } catch (...) {
    }
}

}  // namespace tw
