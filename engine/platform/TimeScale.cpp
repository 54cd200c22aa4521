// Scaled sleeping (Threads.h) and the fixed build time (Time.h), the same
// on every platform.
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "engine/platform/Threads.h"
#include "engine/platform/Time.h"

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

bool SourceDateEpoch(TFileTime& ft) {
    const char* text = std::getenv("SOURCE_DATE_EPOCH");
    if (!text || !*text)
        return false;
    char* end = nullptr;
    long long seconds = std::strtoll(text, &end, 10);
    // Seconds from 1601 to 1970, and an upper end far below the overflow.
    if (*end != '\0' || seconds < 0 || seconds > 253402300799LL)
        return false;
    ft = static_cast<TFileTime>(seconds + 11644473600LL) * 10000000ULL;
    return true;
}

}  // namespace tessor::platform
