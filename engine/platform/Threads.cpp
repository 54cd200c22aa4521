// Thread priorities as per-thread nice values, and scaled sleeping.
#include "engine/platform/Threads.h"

#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

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

double ScaleFromEnvironment() {
    const char* text = std::getenv("TESSOR_TIME_SCALE");
    if (!text || !*text)
        return 1.0;
    char* end = nullptr;
    double value = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(value) || value < 0)
        return 1.0;
    return value;
}

std::atomic<double>& Scale() {
    static std::atomic<double> scale{ScaleFromEnvironment()};
    return scale;
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

void SleepMs(uint32_t ms) {
    double us = static_cast<double>(ms) * 1000.0 * Scale().load(std::memory_order_relaxed);
    std::this_thread::sleep_for(std::chrono::microseconds(static_cast<int64_t>(std::llround(us))));
}

void SetTimeScale(double scale) {
    if (!std::isfinite(scale) || scale < 0)
        return;  // no meaning; keep the old scale
    Scale().store(scale, std::memory_order_relaxed);
}

double TimeScale() {
    return Scale().load(std::memory_order_relaxed);
}

}  // namespace tessor::platform
