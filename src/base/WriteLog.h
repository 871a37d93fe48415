#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace tw {

// The diagnostic hook: one line per call, stamped with the application
// clock, in the data folder's log. Never throws, since it is only ever called
// from error handlers: a line the log file does not take goes to standard
// error.
void WriteLog(std::string_view line) noexcept;

// Composes the standard line for a caught exception and logs it.
void LogException(const std::exception& e, std::string_view context) noexcept;

// Where the lines go; empty (the start-up default) keeps nothing.
void SetLogFileName(std::string fileName);
const std::string& LogFileName() noexcept;

// The log is rotated once (to "<name>.1") when it passes this size.
inline constexpr long kLogRotateBytes = 1024L * 1024L;

}  // namespace tw
