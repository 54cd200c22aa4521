#include "vdrive/System.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace tessor::vdrive {

std::string SystemStateDir() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg == '/') {
        return std::string(xdg) + "/tessor/vdrive";
    }
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr && *home != '\0' ? home : "/tmp") +
           "/.local/share/tessor/vdrive";
}

bool IsPathSeparator(char c) {
    return c == '/';
}

bool MoveReplacing(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

void SignalEvent(intptr_t handle) {
    uint64_t one = 1;
    while (write(static_cast<int>(handle), &one, sizeof one) < 0 && errno == EINTR) {
    }
}

}  // namespace tessor::vdrive
