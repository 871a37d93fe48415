#include "base/WriteLog.h"

#include <gtest/gtest.h>

#include <string>

#include "base/Exceptions.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

// A failed save or tick must leave a trace even when the log file does not
// take the line (a full disk, a missing or read-only folder): standard error
// gets it instead. A log file that takes it keeps standard error quiet.
TEST(WriteLogTest, ALineTheLogFileDoesNotTakeGoesToStandardError) {
    test::TempDir dir;
    const std::string line = "ErrorClassName: ESQLiteException; TOptions.SettingsDBExecSQL:full";
    for (const std::string& file :
         {std::string("/dev/full"), dir.Path() + "no/such/folder/log", dir.Path() + "log"}) {
        SetLogFileName(file);
        ::testing::internal::CaptureStderr();
        LogException(ESQLiteException("full"), "; TOptions.SettingsDBExecSQL:");
        const std::string err = ::testing::internal::GetCapturedStderr();
        if (file == dir.Path() + "log") {
            EXPECT_EQ(err, "");
            EXPECT_NE(test::ReadFileText(file).find(line + "\n"), std::string::npos);
        } else {
            // "yyyy-mm-dd hh:nn:ss " and the line, as the file would have it.
            EXPECT_EQ(err.size(), 20 + line.size() + 1) << file << ": " << err;
            EXPECT_EQ(err.substr(20), line + "\n") << file;
        }
    }
    SetLogFileName("");
}

}  // namespace
}  // namespace tw
