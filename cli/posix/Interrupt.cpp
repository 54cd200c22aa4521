// SIGINT and SIGTERM through sigaction.
#include "cli/Interrupt.h"

#include <signal.h>

#include <atomic>

namespace tessor::cli {

namespace {

std::atomic<int> g_interrupts{0};
struct sigaction g_oldInt = {};
struct sigaction g_oldTerm = {};

void OnInterrupt(int) {
    g_interrupts.fetch_add(1);
}

}  // namespace

TInterruptCount::TInterruptCount() {
    g_interrupts = 0;
    struct sigaction sa = {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, &g_oldInt);
    sigaction(SIGTERM, &sa, &g_oldTerm);
}

TInterruptCount::~TInterruptCount() {
    sigaction(SIGINT, &g_oldInt, nullptr);
    sigaction(SIGTERM, &g_oldTerm, nullptr);
}

int TInterruptCount::Count() const {
    return g_interrupts.load();
}

}  // namespace tessor::cli
