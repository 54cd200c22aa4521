// UDF recording times (ECMA-167 1/7.3 timestamps).
#pragma once

#include <cstdint>

#include "engine/platform/Time.h"

namespace tessor::builder::udf {

// The current UTC time rounded to the nearest second, broken down into the
// Gregorian calendar (milliseconds 0).
platform::TSystemTime UdfCurrentTime();

// A 12-byte timestamp of a UTC time: type 1 with offset 0 (type-and-zone
// 1000h), centiseconds and the microsecond fields 0.
void PutUdfTimestamp(uint8_t* p, const platform::TSystemTime& utc);

}  // namespace tessor::builder::udf
