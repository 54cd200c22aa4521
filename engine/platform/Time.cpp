// Time and time zone from the C library.
#include "engine/platform/Time.h"

#include <time.h>

namespace tessor::platform {

namespace {

constexpr int64_t kEpochDelta = 11644473600LL;  // seconds from 1601 to 1970
constexpr int64_t kTicksPerSecond = 10000000;

TSystemTime FromTm(const struct tm& tm, uint16_t milliseconds) {
    TSystemTime st;
    st.wYear = static_cast<uint16_t>(tm.tm_year + 1900);
    st.wMonth = static_cast<uint16_t>(tm.tm_mon + 1);
    st.wDayOfWeek = static_cast<uint16_t>(tm.tm_wday);
    st.wDay = static_cast<uint16_t>(tm.tm_mday);
    st.wHour = static_cast<uint16_t>(tm.tm_hour);
    st.wMinute = static_cast<uint16_t>(tm.tm_min);
    st.wSecond = static_cast<uint16_t>(tm.tm_sec);
    st.wMilliseconds = milliseconds;
    return st;
}

time_t UnixSeconds(TFileTime ft) {
    return static_cast<time_t>(static_cast<int64_t>(ft / kTicksPerSecond) - kEpochDelta);
}

uint16_t Milliseconds(TFileTime ft) {
    return static_cast<uint16_t>((ft % kTicksPerSecond) / 10000);
}

}  // namespace

int GetTimeZoneInformation(TTimeZoneInfo& info) {
    // The offset in force now, daylight saving included, is reported as the
    // whole Bias with no daylight information (answer 0). A caller that adds
    // DaylightBias when told "daylight time" would need the standard offset
    // separately, which POSIX does not give reliably; the one full offset is
    // what the recorded time stamps need, and 0 makes every caller use it.
    time_t now = time(nullptr);
    struct tm local {};
    if (!localtime_r(&now, &local))
        return -1;
    info.Bias = static_cast<int32_t>(-(local.tm_gmtoff / 60));
    info.StandardBias = 0;
    info.DaylightBias = 0;
    return 0;
}

TFileTime CurrentFileTime() {
    if (TFileTime fixed = 0; SourceDateEpoch(fixed))
        return fixed;
    struct timespec ts {};
    clock_gettime(CLOCK_REALTIME, &ts);
    int64_t seconds = static_cast<int64_t>(ts.tv_sec) + kEpochDelta;
    if (seconds < 0)
        return 0;
    return static_cast<TFileTime>(seconds) * kTicksPerSecond +
           static_cast<TFileTime>(ts.tv_nsec / 100);
}

TSystemTime FileTimeToUtcSystemTime(TFileTime ft) {
    time_t t = UnixSeconds(ft);
    struct tm tm {};
    if (!gmtime_r(&t, &tm))
        return TSystemTime{};
    return FromTm(tm, Milliseconds(ft));
}

TSystemTime FileTimeToLocalSystemTime(TFileTime ft) {
    time_t t = UnixSeconds(ft);
    struct tm tm {};
    if (!localtime_r(&t, &tm))
        return TSystemTime{};
    return FromTm(tm, Milliseconds(ft));
}

}  // namespace tessor::platform
