#include "engine/platform/Beep.h"

#include <fcntl.h>
#include <unistd.h>

namespace tessor::platform {

void Beep() {
    int fd = ::open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return;
    [[maybe_unused]] ssize_t n = ::write(fd, "\a", 1);
    ::close(fd);
}

}  // namespace tessor::platform
