// The per-command context shared by the recorder's handler files.
#pragma once

#include "vdrive/Device.h"

namespace tessor::vdrive {

struct TDevice::TContext {
    const TCommand& cmd;
    const uint8_t* cdb;
    int64_t nowUs;
    TResult result;
    bool dirty = false;  // the text state changed: save it
    bool hot = false;    // only the write-path values changed

    void Fail(const TSense& s) {
        result.status = kStatusCheckCondition;
        result.sense = s;
    }
    bool Failed() const { return result.status != kStatusGood; }
};

}  // namespace tessor::vdrive
