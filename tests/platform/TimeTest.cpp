#include "engine/platform/Time.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <time.h>
#include <chrono>

#include <string>

namespace tessor::platform {
namespace {

constexpr TFileTime kUnixEpoch = 116444736000000000ULL;

// Sets TZ for one test and restores it afterwards.
class TZoneGuard {
public:
    explicit TZoneGuard(const char* zone) {
        const char* old = getenv("TZ");
        had_ = old != nullptr;
        if (had_)
            old_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~TZoneGuard() {
        if (had_)
            setenv("TZ", old_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool had_ = false;
    std::string old_;
};

TEST(Time, UtcBreakdownWithDayOfWeekAndMilliseconds) {
    TSystemTime origin = FileTimeToUtcSystemTime(0);
    EXPECT_EQ(origin.wYear, 1601);
    EXPECT_EQ(origin.wMonth, 1);
    EXPECT_EQ(origin.wDay, 1);
    EXPECT_EQ(origin.wDayOfWeek, 1);  // a Monday

    // 2024-02-29 23:59:58.765 UTC, a Thursday.
    TFileTime ft = kUnixEpoch + 1709251198ULL * 10000000ULL + 7654321ULL;
    TSystemTime st = FileTimeToUtcSystemTime(ft);
    EXPECT_EQ(st.wYear, 2024);
    EXPECT_EQ(st.wMonth, 2);
    EXPECT_EQ(st.wDay, 29);
    EXPECT_EQ(st.wDayOfWeek, 4);
    EXPECT_EQ(st.wHour, 23);
    EXPECT_EQ(st.wMinute, 59);
    EXPECT_EQ(st.wSecond, 58);
    EXPECT_EQ(st.wMilliseconds, 765);
}

TEST(Time, LocalBreakdownAndZoneFollowTheEnvironment) {
    TZoneGuard zone("XYZ-5:30");  // five and a half hours east of UTC, no DST
    TSystemTime st = FileTimeToLocalSystemTime(kUnixEpoch);
    EXPECT_EQ(st.wYear, 1970);
    EXPECT_EQ(st.wDay, 1);
    EXPECT_EQ(st.wHour, 5);
    EXPECT_EQ(st.wMinute, 30);
    EXPECT_EQ(st.wDayOfWeek, 4);
    TTimeZoneInfo info;
    EXPECT_EQ(GetTimeZoneInformation(info), 0);
    EXPECT_EQ(info.Bias, -330);  // UTC = local + bias
}

TEST(Time, ZoneBiasIncludesDaylightSavingInForce) {
    // Daylight saving all year round, one hour ahead of a standard time of
    // UTC-3: the bias is the full offset in force now.
    TZoneGuard zone("AAA3BBB,J1/0,J365/25");
    TTimeZoneInfo info;
    EXPECT_EQ(GetTimeZoneInformation(info), 0);
    EXPECT_EQ(info.Bias, 120);
    EXPECT_EQ(info.DaylightBias, 0);
}

TEST(Time, CurrentFileTimeIsNow) {
    // The precise clock on both sides: time() reads a coarser one that can
    // trail it by a tick across a second's turn.
    auto wall = [] {
        return std::chrono::duration_cast<std::chrono::seconds>(
                   std::chrono::system_clock::now().time_since_epoch())
            .count();
    };
    int64_t before = wall();
    TFileTime now = CurrentFileTime();
    int64_t after = wall();
    int64_t seconds = static_cast<int64_t>(now / 10000000ULL) - 11644473600LL;
    EXPECT_GE(seconds, before);
    EXPECT_LE(seconds, after);
}

}  // namespace
}  // namespace tessor::platform
