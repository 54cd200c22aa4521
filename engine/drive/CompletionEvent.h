// The event an ASPI library signals when it completes a request after
// SendASPI32Command returned "pending" (SRB_PostProc with SRB_EVENT_NOTIFY):
// an eventfd on Linux, a Win32 event on Windows.
#pragma once

#include <cstdint>

namespace tessor::drive {

// False with the system's error code when no event can be made.
bool CreateCompletionEvent(intptr_t& event, uint32_t& error);
// Waits until the library has signalled the event.
void WaitCompletionEvent(intptr_t event);
void CloseCompletionEvent(intptr_t event);

}  // namespace tessor::drive
