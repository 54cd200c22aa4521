#include "cli/Commands.h"

namespace tessor::cli {

void PrintUsage(std::FILE* out) {
    std::fputs(
        "usage: tessor-cli COMMAND [options]\n"
        "\n"
        "Commands:\n"
        "  image -o IMAGE SOURCE...   write files and folders into an ISO image file\n"
        "\n"
        "'tessor-cli COMMAND --help' explains a command and its options.\n",
        out);
}

}  // namespace tessor::cli
