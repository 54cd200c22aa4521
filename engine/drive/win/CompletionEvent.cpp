#include "engine/drive/CompletionEvent.h"

#include <windows.h>

namespace tessor::drive {

bool CreateCompletionEvent(intptr_t& event, uint32_t& error) {
    // Auto-reset and not signalled, as the ASPI interface expects.
    HANDLE h = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (h == nullptr) {
        error = GetLastError();
        return false;
    }
    event = reinterpret_cast<intptr_t>(h);
    return true;
}

void WaitCompletionEvent(intptr_t event) {
    WaitForSingleObject(reinterpret_cast<HANDLE>(event), INFINITE);
}

void CloseCompletionEvent(intptr_t event) {
    CloseHandle(reinterpret_cast<HANDLE>(event));
}

}  // namespace tessor::drive
