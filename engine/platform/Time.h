// Time and time zone.
#pragma once

#include <cstdint>

#include "engine/platform/FileSearch.h"

namespace tessor::platform {

// Shaped like the Win32 SYSTEMTIME.
struct TSystemTime {
    uint16_t wYear = 0;
    uint16_t wMonth = 0;
    uint16_t wDayOfWeek = 0;
    uint16_t wDay = 0;
    uint16_t wHour = 0;
    uint16_t wMinute = 0;
    uint16_t wSecond = 0;
    uint16_t wMilliseconds = 0;
};

// Like TIME_ZONE_INFORMATION, in minutes, with UTC = local time + bias.
struct TTimeZoneInfo {
    int32_t Bias = 0;
    int32_t StandardBias = 0;
    int32_t DaylightBias = 0;
};
// Returns 0 (no daylight-saving information), 1 (standard time in effect) or
// 2 (daylight time in effect), as GetTimeZoneInformation does.
int GetTimeZoneInformation(TTimeZoneInfo& info);

// Now, UTC; or the time SOURCE_DATE_EPOCH gives (seconds since 1970), so
// that the same tree makes the same image whenever and wherever it is built.
TFileTime CurrentFileTime();
// The time SOURCE_DATE_EPOCH gives; false when it is unset or not a number.
bool SourceDateEpoch(TFileTime& ft);
TSystemTime FileTimeToUtcSystemTime(TFileTime ft);
TSystemTime FileTimeToLocalSystemTime(TFileTime ft);

}  // namespace tessor::platform
