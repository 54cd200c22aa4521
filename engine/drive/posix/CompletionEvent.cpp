#include "engine/drive/CompletionEvent.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>

namespace tessor::drive {

bool CreateCompletionEvent(intptr_t& event, uint32_t& error) {
    const int fd = eventfd(0, EFD_CLOEXEC);
    if (fd < 0) {
        error = uint32_t(errno);
        return false;
    }
    event = fd;
    return true;
}

void WaitCompletionEvent(intptr_t event) {
    uint64_t count = 0;
    while (read(static_cast<int>(event), &count, sizeof count) < 0 && errno == EINTR) {
    }
}

void CloseCompletionEvent(intptr_t event) {
    close(static_cast<int>(event));
}

}  // namespace tessor::drive
