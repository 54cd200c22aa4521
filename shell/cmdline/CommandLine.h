// The command line of the window program `tessor`. It is read before the
// QApplication exists, so --help and --version answer on a machine without a
// display.
#pragma once

#include <cstdio>

namespace tessor::shell {

// What `tessor --help` prints.
extern const char* const kWindowUsage;

// Handles the arguments after the program name. Returns -1 when there are
// none and the window should open; otherwise the program ends with the
// returned exit code: 0 after printing the help or the version to `out`, 2
// after an unknown argument (named on `err`, with the help).
int HandleWindowCommandLine(int argc, const char* const* argv, std::FILE* out, std::FILE* err);

}  // namespace tessor::shell
