// Time and time zone from Win32.
#include "engine/platform/Time.h"

#include <windows.h>

namespace tessor::platform {

namespace {

FILETIME ToFileTime(TFileTime ft) {
    FILETIME out;
    out.dwLowDateTime = static_cast<DWORD>(ft);
    out.dwHighDateTime = static_cast<DWORD>(ft >> 32);
    return out;
}

TSystemTime FromSystemTime(const SYSTEMTIME& s) {
    TSystemTime st;
    st.wYear = s.wYear;
    st.wMonth = s.wMonth;
    st.wDayOfWeek = s.wDayOfWeek;
    st.wDay = s.wDay;
    st.wHour = s.wHour;
    st.wMinute = s.wMinute;
    st.wSecond = s.wSecond;
    st.wMilliseconds = s.wMilliseconds;
    return st;
}

}  // namespace

int GetTimeZoneInformation(TTimeZoneInfo& info) {
    // As on Linux, the offset in force now goes whole into Bias with the
    // answer 0, so every caller uses the one full offset.
    TIME_ZONE_INFORMATION zone{};
    DWORD which = ::GetTimeZoneInformation(&zone);
    if (which == TIME_ZONE_ID_INVALID)
        return -1;
    LONG bias = zone.Bias;
    if (which == TIME_ZONE_ID_DAYLIGHT)
        bias += zone.DaylightBias;
    else if (which == TIME_ZONE_ID_STANDARD)
        bias += zone.StandardBias;
    info.Bias = bias;
    info.StandardBias = 0;
    info.DaylightBias = 0;
    return 0;
}

TFileTime CurrentFileTime() {
    if (TFileTime fixed = 0; SourceDateEpoch(fixed))
        return fixed;
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return (TFileTime(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

TSystemTime FileTimeToUtcSystemTime(TFileTime ft) {
    FILETIME in = ToFileTime(ft);
    SYSTEMTIME utc{};
    if (!FileTimeToSystemTime(&in, &utc))
        return TSystemTime{};
    return FromSystemTime(utc);
}

TSystemTime FileTimeToLocalSystemTime(TFileTime ft) {
    FILETIME in = ToFileTime(ft);
    SYSTEMTIME utc{}, local{};
    if (!FileTimeToSystemTime(&in, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
        return TSystemTime{};
    return FromSystemTime(local);
}

}  // namespace tessor::platform
