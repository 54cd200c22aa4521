// Thread priorities and sleeping.
#pragma once

#include <cstdint>

namespace tessor::platform {

enum class TThreadPriority { Idle, Lowest, BelowNormal, Normal, AboveNormal, Highest };

// Best effort: maps to a nice value of the calling thread; raising the
// priority above the process's start value usually needs privileges and is
// then silently skipped.
void SetCurrentThreadPriority(TThreadPriority priority);

// Sleeps for ms milliseconds multiplied by the time scale. The scale is 1.0
// unless the environment variable TESSOR_TIME_SCALE (read once) or
// SetTimeScale says otherwise; tests use it so that five-second drive waits
// take milliseconds.
void SleepMs(uint32_t ms);
void SetTimeScale(double scale);
double TimeScale();

}  // namespace tessor::platform
