#include "vdrive/Clock.h"

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <thread>

namespace tessor::vdrive {

double EnvironmentTimeScale() {
    static const double scale = [] {
        const char* text = std::getenv("TESSOR_TIME_SCALE");
        if (text == nullptr || *text == '\0')
            return 1.0;
        char* end = nullptr;
        double value = std::strtod(text, &end);
        if (end == text || *end != '\0' || !std::isfinite(value) || value < 0)
            return 1.0;
        return value;
    }();
    return scale;
}

int64_t WallClockUs() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

int64_t SteadyClockNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

int64_t ScaledUs(uint32_t driveMs, double scale) {
    return static_cast<int64_t>(std::llround(static_cast<double>(driveMs) * 1000.0 * scale));
}

void SleepRealUs(int64_t us) {
    if (us > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(us));
}

}  // namespace tessor::vdrive
