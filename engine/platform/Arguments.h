// The program's command-line arguments as UTF-8, the program's name left out.
#pragma once

#include <string>
#include <vector>

namespace tessor::platform {

// On Linux argv as it is. On Windows argv from the wide command line
// (CommandLineToArgvW), since the narrow one holds only the ANSI code page.
std::vector<std::string> ProgramArguments(int argc, char** argv);

}  // namespace tessor::platform
