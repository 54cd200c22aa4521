#include "shell/cmdline/CommandLine.h"

#include <cstring>

#include "version/FileVersion.h"

namespace tessor::shell {

const char* const kWindowUsage =
    "usage: tessor [FILE|FOLDER]...\n"
    "       tessor --help | --version\n"
    "\n"
    "Opens Tessor's window: drop files and folders on it, choose a drive and\n"
    "write them to a disc, or into an ISO image file. Files and folders named\n"
    "on the command line are in the compilation from the start, as if dropped.\n"
    "\n"
    "  --help              show this help and end\n"
    "  --version           show the program's version and end\n"
    "  --                  what follows are names, even those that start with -\n"
    "\n"
    "tessor-cli does the same from a terminal or a script.\n";

namespace {

bool IsHelp(const char* arg) {
    return std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0;
}

bool IsVersion(const char* arg) {
    return std::strcmp(arg, "--version") == 0;
}

}  // namespace

int HandleWindowCommandLine(int argc, const char* const* argv, std::FILE* out, std::FILE* err,
                            std::vector<std::string>* sources) {
    if (argc < 2)
        return -1;
    if (argc == 2 && IsHelp(argv[1])) {
        std::fputs(kWindowUsage, out);
        return 0;
    }
    if (argc == 2 && IsVersion(argv[1])) {
        std::fprintf(out, "%s\n", version::VersionLine("tessor").c_str());
        return 0;
    }
    // --help and --version stand alone: with anything after them, the first
    // argument that is not one of them (or the second of two that are) is
    // what the user got wrong.
    if (IsHelp(argv[1]) || IsVersion(argv[1])) {
        int bad = 1;
        while (bad < argc - 1 && (IsHelp(argv[bad]) || IsVersion(argv[bad])))
            ++bad;
        if (bad == argc - 1 && (IsHelp(argv[bad]) || IsVersion(argv[bad])))
            bad = 2;
        std::fprintf(err, "tessor: unexpected argument '%s'\n", argv[bad]);
        std::fputs(kWindowUsage, err);
        return 2;
    }
    std::vector<std::string> names;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (options && std::strcmp(arg, "--") == 0) {
            options = false;
        } else if (options && arg[0] == '-' && arg[1] != '\0') {
            std::fprintf(err, "tessor: unexpected argument '%s'\n", arg);
            std::fputs(kWindowUsage, err);
            return 2;
        } else if (arg[0] != '\0') {
            names.emplace_back(arg);
        }
    }
    if (sources)
        *sources = std::move(names);
    return -1;
}

}  // namespace tessor::shell
