#include "cli/Commands.h"

namespace tessor::cli {

void PrintUsage(std::FILE* out) {
    std::fputs(
        "usage: tessor-cli COMMAND [options]\n"
        "       tessor-cli --help | --version\n"
        "\n"
        "Commands:\n"
        "  devices                    list the optical drives (virtual recorders when no\n"
        "                             real drive is present)\n"
        "  image -o IMAGE SOURCE...   write files and folders into an ISO image file\n"
        "  burn SOURCE...             write files and folders to the disc in a drive\n"
        "  burn-image IMAGE           write an image file to the disc in a drive\n"
        "  verify SOURCE...           compare the disc in a drive with the files and\n"
        "                             folders it was burnt from, or with --image IMAGE\n"
        "  erase                      erase the rewritable disc in a drive\n"
        "  ls                         list the last session on the disc in a drive\n"
        "  eject, load                open or close the tray of a drive\n"
        "\n"
        "Options of every command:\n"
        "  --language LANG            the language of the progress and status texts:\n"
        "                             en (default), de or ro (or 1033, 1031, 1048)\n"
        "\n"
        "'tessor-cli COMMAND --help' explains a command and its options. Exit status 5:\n"
        "written, but what a verify (--verify, verify) read back differs.\n",
        out);
}

}  // namespace tessor::cli
