// Ctrl-C, Ctrl-Break and the console closing through SetConsoleCtrlHandler.
#include "cli/Interrupt.h"

#include <windows.h>

#include <atomic>

namespace tessor::cli {

namespace {

std::atomic<int> g_interrupts{0};

BOOL WINAPI OnControl(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
            g_interrupts.fetch_add(1);
            return TRUE;  // handled: the job stops the drive itself
        default:
            return FALSE;
    }
}

}  // namespace

TInterruptCount::TInterruptCount() {
    g_interrupts = 0;
    SetConsoleCtrlHandler(OnControl, TRUE);
}

TInterruptCount::~TInterruptCount() {
    SetConsoleCtrlHandler(OnControl, FALSE);
}

int TInterruptCount::Count() const {
    return g_interrupts.load();
}

}  // namespace tessor::cli
