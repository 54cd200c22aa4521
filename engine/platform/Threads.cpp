// Thread priorities as per-thread nice values.
#include "engine/platform/Threads.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>

namespace tessor::platform {

namespace {

// The main thread's nice value when first asked; priorities are steps from
// it, so a program started with "nice" keeps its place relative to others.
// (The process id names the main thread; 0 would name the calling thread,
// which may already have been lowered.)
int BaseNice() {
    static const int base = [] {
        errno = 0;
        int n = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
        return errno == 0 ? n : 0;
    }();
    return base;
}

int NiceStep(TThreadPriority priority) {
    switch (priority) {
        case TThreadPriority::Idle:
            return 19;
        case TThreadPriority::Lowest:
            return 10;
        case TThreadPriority::BelowNormal:
            return 5;
        case TThreadPriority::Normal:
            return 0;
        case TThreadPriority::AboveNormal:
            return -5;
        case TThreadPriority::Highest:
            return -10;
    }
    return 0;
}

}  // namespace

void SetCurrentThreadPriority(TThreadPriority priority) {
    int nice = BaseNice() + NiceStep(priority);
    if (nice < -20)
        nice = -20;
    if (nice > 19)
        nice = 19;
    // On Linux a thread id names one thread for PRIO_PROCESS. A failure
    // (raising without the privilege) leaves the priority as it was.
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), nice);
}

}  // namespace tessor::platform
