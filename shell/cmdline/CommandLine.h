// The command line of the window program `tessor`. It is read before the
// QApplication exists, so --help and --version answer on a machine without a
// display.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace tessor::shell {

// What `tessor --help` prints.
extern const char* const kWindowUsage;

// Handles the arguments after the program name. Returns -1 when the window
// should open, with the files and folders named on the command line in
// `sources`; otherwise the program ends with the returned exit code: 0
// after printing the help or the version to `out`, 2 after an unknown
// option (named on `err`, with the help).
int HandleWindowCommandLine(int argc, const char* const* argv, std::FILE* out, std::FILE* err,
                            std::vector<std::string>* sources = nullptr);

}  // namespace tessor::shell
