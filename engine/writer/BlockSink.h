// Where the write thread puts the blocks: an image file or a drive. The
// thread's loop is the same for both; only the sink knows the medium.
#pragma once

#include <cstdint>

namespace tessor::writer {

class TBlockSink {
public:
    virtual ~TBlockSink() = default;

    // The start steps before the first block (drive set-up). False: the
    // target refused to be set up; nothing is written.
    virtual bool Begin() { return true; }
    // One block of `length` bytes. False is a write failure for good: the
    // reason is in the builder's ErrorCode or the drive's sense.
    virtual bool Write(const uint8_t* data, int32_t length) = 0;
    // After each block written; `index` counts blocks from 1.
    virtual void AfterBlock(int32_t /*index*/) {}
    // The end sequence: close the file, or close track and session. False
    // when a step of it failed (the reason kept as for Write).
    virtual bool Finish(bool failed) = 0;
    // Once the run's outcome is known: an image file takes its place or is
    // removed. False when that failed.
    virtual bool Commit(bool failed) { return !failed; }
};

}  // namespace tessor::writer
