// Time as the virtual recorder sees it. Drive durations (a format, a blank,
// the buffer draining) are given in drive milliseconds and multiplied by the
// time scale, which has the meaning of the engine's TESSOR_TIME_SCALE: 1.0 is
// real time, 0.001 makes a five-second format take five milliseconds.
// Deadlines are kept in wall-clock microseconds because they are persisted
// and seen by other processes.
#pragma once

#include <cstdint>

namespace tessor::vdrive {

// TESSOR_TIME_SCALE, read once; 1.0 when unset or not a non-negative number.
double EnvironmentTimeScale();

int64_t WallClockUs();
int64_t SteadyClockNs();

// Drive milliseconds to real microseconds under a scale.
int64_t ScaledUs(uint32_t driveMs, double scale);
void SleepRealUs(int64_t us);

}  // namespace tessor::vdrive
