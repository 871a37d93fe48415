#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "base/WriteLog.h"
#include "support/TestSupport.h"

namespace tw::test {

// Points the diagnostic log at a fresh file for the life of a test.
class LogCapture {
public:
    LogCapture() : file_(dir_.Path() + "tallyward.log") { SetLogFileName(file_); }
    ~LogCapture() { SetLogFileName({}); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // The logged texts without their time stamps ("yyyy-mm-dd hh:nn:ss ").
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        std::istringstream in(ReadFileText(file_));
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line.size() > 20 ? line.substr(20) : line);
        }
        return lines;
    }

private:
    TempDir dir_;
    std::string file_;
};

}  // namespace tw::test
