// tessor-cli: Tessor for scripts and terminals.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/Options.h"
#include "version/FileVersion.h"

int main(int argc, char** argv) {
    using namespace tessor::cli;
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        PrintUsage(argc < 2 ? stderr : stdout);
        return argc < 2 ? kExitUsage : kExitOk;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("%s\n", tessor::version::VersionLine("tessor-cli").c_str());
        return kExitOk;
    }
    std::string command = argv[1];
    std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "image")
        return ImageCommand(args, stdout, stderr);
    if (command == "burn")
        return BurnCommand(args, stdout, stderr);
    if (command == "burn-image")
        return BurnImageCommand(args, stdout, stderr);
    if (command == "erase")
        return EraseCommand(args, stdout, stderr);
    if (command == "devices")
        return DevicesCommand(args, stdout, stderr);
    if (command == "eject")
        return TrayCommand(true, args, stdout, stderr);
    if (command == "load")
        return TrayCommand(false, args, stdout, stderr);
    std::fprintf(stderr, "tessor-cli: unknown command '%s'\n", command.c_str());
    PrintUsage(stderr);
    return kExitUsage;
}
