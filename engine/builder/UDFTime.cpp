#include "engine/builder/UDFTime.h"

#include <chrono>

#include "engine/builder/UDFTypes.h"
#include "engine/platform/Time.h"

namespace tessor::builder::udf {

platform::TSystemTime UdfCurrentTime() {
    using namespace std::chrono;
    // The platform's now, which a fixed build time (SOURCE_DATE_EPOCH) replaces.
    constexpr int64_t kTicks1601To1970 = 116444736000000000LL;
    const auto ticks = static_cast<int64_t>(platform::CurrentFileTime()) - kTicks1601To1970;
    const auto now = round<seconds>(sys_time<microseconds>(microseconds(ticks / 10)));
    const auto day = floor<days>(now);
    const year_month_day ymd{day};
    const hh_mm_ss<seconds> hms{now - day};
    platform::TSystemTime t;
    t.wYear = static_cast<uint16_t>(static_cast<int>(ymd.year()));
    t.wMonth = static_cast<uint16_t>(static_cast<unsigned>(ymd.month()));
    t.wDay = static_cast<uint16_t>(static_cast<unsigned>(ymd.day()));
    t.wDayOfWeek = static_cast<uint16_t>(weekday{day}.c_encoding());
    t.wHour = static_cast<uint16_t>(hms.hours().count());
    t.wMinute = static_cast<uint16_t>(hms.minutes().count());
    t.wSecond = static_cast<uint16_t>(hms.seconds().count());
    return t;
}

void PutUdfTimestamp(uint8_t* p, const platform::TSystemTime& utc) {
    // 1/7.3.1: bits 12-15 type (1: local time), bits 0-11 the offset from
    // UTC in minutes; the times recorded are UTC, so the offset is 0.
    Put<TTimestamp::TypeAndTimezone>(p, 0x1000);
    Put<TTimestamp::Year>(p, utc.wYear);
    Put<TTimestamp::Month>(p, static_cast<uint8_t>(utc.wMonth));
    Put<TTimestamp::Day>(p, static_cast<uint8_t>(utc.wDay));
    Put<TTimestamp::Hour>(p, static_cast<uint8_t>(utc.wHour));
    Put<TTimestamp::Minute>(p, static_cast<uint8_t>(utc.wMinute));
    Put<TTimestamp::Second>(p, static_cast<uint8_t>(utc.wSecond));
    Put<TTimestamp::Centiseconds>(p, 0);
    Put<TTimestamp::HundredsOfMicroseconds>(p, 0);
    Put<TTimestamp::Microseconds>(p, 0);
}

}  // namespace tessor::builder::udf
