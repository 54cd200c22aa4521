// The completion hand-over from worker threads to the owning thread: workers
// post (never blocking); the owning thread dispatches in posting order.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

namespace tessor::platform {

struct TMessage {
    uint32_t message = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
};

class TMessageTarget {
public:
    using THandler = std::function<void(const TMessage&)>;

    explicit TMessageTarget(THandler handler);

    // Any thread. Queues the message and calls the wake callback, if any.
    void Post(uint32_t message, uintptr_t wParam, intptr_t lParam);

    // Owning thread: runs the handler for every queued message; returns how many.
    size_t DispatchPending();
    // Owning thread: waits up to timeoutMs (negative: without limit) for at
    // least one message, then dispatches everything queued. Returns the count.
    size_t WaitAndDispatch(int timeoutMs);

    // A GUI event loop sets this to schedule DispatchPending on its thread.
    void SetWakeCallback(std::function<void()> wake);

private:
    THandler handler_;
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<TMessage> queue_;
    std::function<void()> wake_;
};

}  // namespace tessor::platform
