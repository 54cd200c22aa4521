// Thread priorities through SetThreadPriority, and scaled sleeping.
#include "engine/platform/Threads.h"

#include <windows.h>

namespace tessor::platform {

void SetCurrentThreadPriority(TThreadPriority priority) {
    int value = THREAD_PRIORITY_NORMAL;
    switch (priority) {
        case TThreadPriority::Idle:
            value = THREAD_PRIORITY_IDLE;
            break;
        case TThreadPriority::Lowest:
            value = THREAD_PRIORITY_LOWEST;
            break;
        case TThreadPriority::BelowNormal:
            value = THREAD_PRIORITY_BELOW_NORMAL;
            break;
        case TThreadPriority::Normal:
            value = THREAD_PRIORITY_NORMAL;
            break;
        case TThreadPriority::AboveNormal:
            value = THREAD_PRIORITY_ABOVE_NORMAL;
            break;
        case TThreadPriority::Highest:
            value = THREAD_PRIORITY_HIGHEST;
            break;
    }
    // Best effort, as on Linux: a refused change leaves the priority.
    (void)SetThreadPriority(GetCurrentThread(), value);
}

}  // namespace tessor::platform
