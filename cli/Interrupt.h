// Ctrl-C (and a request to terminate) during a job: counted, so the job can
// stop its drive cleanly instead of the program dying mid-write.
#pragma once

namespace tessor::cli {

// Counts from its making until it goes; one at a time.
class TInterruptCount {
public:
    TInterruptCount();
    ~TInterruptCount();
    TInterruptCount(const TInterruptCount&) = delete;
    TInterruptCount& operator=(const TInterruptCount&) = delete;
    int Count() const;
};

}  // namespace tessor::cli
