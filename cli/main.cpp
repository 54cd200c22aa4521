// tessor-cli: Tessor for scripts and terminals.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/Language.h"
#include "cli/Options.h"
#include "engine/platform/Arguments.h"
#include "version/FileVersion.h"

int main(int argc, char** argv) {
    using namespace tessor::cli;
    // Progress goes to stdout and errors to stderr: line by line, so that
    // the two keep their order when both go to one file or pipe.
    std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
    std::vector<std::string> args = tessor::platform::ProgramArguments(argc, argv);
    std::string error;
    if (!TakeLanguageOption(args, error)) {
        std::fprintf(stderr, "tessor-cli: %s\n", error.c_str());
        return kExitUsage;
    }
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        PrintUsage(args.empty() ? stderr : stdout);
        return args.empty() ? kExitUsage : kExitOk;
    }
    if (args[0] == "--version") {
        std::printf("%s\n", tessor::version::VersionLine("tessor-cli").c_str());
        return kExitOk;
    }
    std::string command = args.front();
    args.erase(args.begin());
    if (command == "image")
        return ImageCommand(args, stdout, stderr);
    if (command == "burn")
        return BurnCommand(args, stdout, stderr);
    if (command == "burn-image")
        return BurnImageCommand(args, stdout, stderr);
    if (command == "verify")
        return VerifyCommand(args, stdout, stderr);
    if (command == "erase")
        return EraseCommand(args, stdout, stderr);
    if (command == "ls")
        return ListCommand(args, stdout, stderr);
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
