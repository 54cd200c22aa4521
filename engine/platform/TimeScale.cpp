// Scaled sleeping (Threads.h), the same on every platform.
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "engine/platform/Threads.h"

namespace tessor::platform {

namespace {

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
