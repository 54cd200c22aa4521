#include "shell/cmdline/CommandLine.h"

#include <cstring>

#include "version/FileVersion.h"

namespace tessor::shell {

const char* const kWindowUsage =
    "usage: tessor [--help | --version]\n"
    "\n"
    "Opens Tessor's window: drop files and folders on it, choose a drive and\n"
    "write them to a disc, or into an ISO image file.\n"
    "\n"
    "  --help              show this help and end\n"
    "  --version           show the program's version and end\n"
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

int HandleWindowCommandLine(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
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
    // The first argument that is not an option of ours, or the second of
    // two that are.
    int bad = 1;
    while (bad < argc - 1 && (IsHelp(argv[bad]) || IsVersion(argv[bad])))
        ++bad;
    if (bad == argc - 1 && argc > 2 && (IsHelp(argv[bad]) || IsVersion(argv[bad])))
        bad = 2;
    std::fprintf(err, "tessor: unexpected argument '%s'\n", argv[bad]);
    std::fputs(kWindowUsage, err);
    return 2;
}

}  // namespace tessor::shell
