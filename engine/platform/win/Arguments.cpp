#include "engine/platform/Arguments.h"

#include <windows.h>

#include <shellapi.h>

#include "engine/platform/Strings.h"
#include "engine/platform/win/Wide.h"

namespace tessor::platform {

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr)
        return std::vector<std::string>(argv + 1, argv + argc);
    std::vector<std::string> args;
    for (int i = 1; i < count; ++i)
        args.push_back(ToSystemPath(win::FromWide(wide[i])));
    LocalFree(wide);
    return args;
}

}  // namespace tessor::platform
