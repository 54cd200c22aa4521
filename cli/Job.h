// Running one long engine operation from a terminal: pumping the
// component's completion messages, showing progress, Ctrl-C as Abort.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "engine/component/DiscBurner.h"

namespace tessor::cli {

struct TJobResult {
    bool started = false;  // the operation's start call returned true
    bool failed = false;   // what the completion reported
    bool aborted = false;  // Ctrl-C was pressed
    std::string error;     // the engine's error text after a failure
    std::string detail;    // what the user needs besides: the system's or the drive's reason
    int32_t fileId = component::TDiscBurner::kVerifyNoBlock;  // OnVerifyDone's FileId

    // The error text followed by its detail in parentheses.
    std::string ErrorLine() const { return detail.empty() ? error : error + " (" + detail + ")"; }
};

// Calls `start` (e.g. CreateImageFile), then dispatches the component's
// messages until OnWriteDone arrives, drawing progress on `out` when it is a
// terminal. A start that returns false with a completion already raised
// counts as failed.
TJobResult RunWriteJob(component::TDiscBurner& burner, const std::function<bool()>& start,
                       std::FILE* out, bool showDriveBuffer);

// Calls `start` (a Verify... call), then dispatches the messages until
// OnVerifyDone arrives, with the same progress line; Ctrl-C aborts it.
TJobResult RunVerifyJob(component::TDiscBurner& burner, const std::function<bool()>& start,
                        std::FILE* out);

// Runs GenerateSmartReferences and waits for its event the same way, with
// Ctrl-C as Abort; `saved` receives the bytes it reports.
TJobResult RunSmartReferencesJob(component::TDiscBurner& burner, std::FILE* out, int64_t& saved);

// Waits for OnEraseDone the same way. A drive cannot stop an erase: Ctrl-C
// says so once and the wait goes on; the result still says it was pressed.
TJobResult RunEraseJob(component::TDiscBurner& burner, const std::function<bool()>& start,
                       std::FILE* out);

}  // namespace tessor::cli
