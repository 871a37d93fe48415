#pragma once

#include <cstdio>

// The command-line manners of the three programs: --help and --version,
// and the program's early step at log-in, --enable-accessibility.
namespace tw {

// The project's version, as the build was configured.
const char* ProgramVersion();

// The program's own arguments, read before anything else starts, so that
// --help and --version answer without a display. It takes no others: an
// unknown argument is refused with the usage line rather than ignored.
// Returns the exit status when the program must end here (0 after the help
// or the version, 2 after a refusal), -1 when it goes on to start, or
// kEnableAccessibilityOnly for --enable-accessibility.
inline constexpr int kEnableAccessibilityOnly = -2;
int HandleProgramArguments(int argc, char** argv, std::FILE* out = stdout, std::FILE* err = stderr);

}  // namespace tw
