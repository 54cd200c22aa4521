// How the engine waits for a drive: which answers mean "later" rather than
// "no", how often a command is sent again and for how long. Every loop that
// asks a drive again takes its numbers from here, so the policy reads in one
// place and the loops only apply it.
#pragma once

#include <cstdint>

#include "engine/drive/MMC.h"
#include "engine/drive/SCSIDefs.h"

namespace tessor::drive::policy {

// ---- Which answers mean "later"

// The drive is busy, or not ready because it is still at work: becoming
// ready, formatting, or an operation (blank, close, flush) or a long write
// in progress (02/04/01, 02/04/04, 02/04/07, 02/04/08). Any other refusal
// is an answer.
constexpr bool StillWorking(const TSense& sense, bool busy) {
    if (busy)
        return true;
    if (sense.Key != SENSE_KEY_NOT_READY || sense.Asc != ASC_NOT_READY)
        return false;
    return sense.Ascq == ASCQ_BECOMING_READY || sense.Ascq == ASCQ_FORMAT_IN_PROGRESS ||
           sense.Ascq == ASCQ_OPERATION_IN_PROGRESS || sense.Ascq == ASCQ_LONG_WRITE_IN_PROGRESS;
}

// A block the drive did not take goes out again while the drive is busy,
// not ready for any reason, or gave no sense at all (the command was lost on
// the way). Everything else, a write error above all, ends the write.
constexpr bool WriteAgain(uint8_t asc, bool busy) {
    return busy || asc == ASC_NOT_READY || asc == ASC_NO_ADDITIONAL_SENSE;
}

// ---- Readiness before a job (TDiscBurner::DeviceReady)
constexpr uint32_t kReadyTimeoutMs = 30000;
constexpr uint32_t kReadyPollMs = 250;
// A unit attention (a changed disc, a reset) is answered by asking again at
// once. A drive reports each event once, so only a few come in a row.
constexpr int kReadyMaxUnitAttentions = 8;

// ---- Set-up and closing steps of a write: up to a minute of drive time
constexpr int kStepTries = 600;
constexpr uint32_t kStepPauseMs = 100;

// ---- WRITE (10) of one block
constexpr int kWriteTries = 5000;
constexpr uint32_t kWritePauseMs = 100;

// ---- READ (10) of one block while verifying: a drive still working is
// asked again for up to a minute; any other refusal ends the verify
constexpr int kReadTries = 600;
constexpr uint32_t kReadPauseMs = 100;

// ---- The first block at address 0 of an overwritable disc
// A drive still busy or not ready is given about a quarter of an hour; one
// that answered without sense or after a reset, a few tries.
constexpr int kFirstBlockNotReadyTries = 5000;
constexpr int kFirstBlockOtherTries = 100;
constexpr uint32_t kFirstBlockPauseMs = 200;
constexpr uint32_t kAfterResetPauseMs = 1200;

// The pause before the first block at 0 is sent again after its
// `attempts`-th refusal; 0 when the write gives up.
constexpr uint32_t FirstBlockPause(uint8_t asc, bool busy, int attempts) {
    if ((busy || asc == ASC_NOT_READY) && attempts < kFirstBlockNotReadyTries)
        return kFirstBlockPauseMs;
    if ((busy || asc == ASC_NO_ADDITIONAL_SENSE || asc == ASC_POWER_ON_RESET) &&
        attempts < kFirstBlockOtherTries)
        return asc == ASC_POWER_ON_RESET ? kAfterResetPauseMs : kFirstBlockPauseMs;
    return 0;
}

// ---- Background work (formatting, blanking, closing): the drive is asked
// again every five seconds while it answers "not ready" (ASC 04h), for at
// most two hours; a full blank of a rewritable DVD at 1x takes about one.
constexpr uint32_t kBackgroundPollMs = 5000;
constexpr int kBackgroundMaxPolls = 2 * 3600 * 1000 / kBackgroundPollMs;

}  // namespace tessor::drive::policy
