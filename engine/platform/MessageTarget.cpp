// Posted messages handed from worker threads to the owning thread.
#include "engine/platform/MessageTarget.h"

#include <chrono>
#include <utility>

namespace tessor::platform {

TMessageTarget::TMessageTarget(THandler handler) : handler_(std::move(handler)) {}

void TMessageTarget::Post(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    std::function<void()> wake;
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(TMessage{message, wParam, lParam});
        wake = wake_;
    }
    posted_.notify_all();
    if (wake)
        wake();
}

size_t TMessageTarget::DispatchPending() {
    // Only what was queued on entry: a handler that posts again does not
    // keep this call going for ever. Messages are taken one at a time, so a
    // handler that pumps messages itself (a modal dialog) still sees them
    // in posting order.
    size_t budget;
    {
        std::lock_guard lock(mutex_);
        budget = queue_.size();
    }
    size_t count = 0;
    while (count < budget) {
        TMessage message;
        {
            std::lock_guard lock(mutex_);
            if (queue_.empty())
                break;
            message = queue_.front();
            queue_.pop_front();
        }
        ++count;
        if (handler_)
            handler_(message);
    }
    return count;
}

size_t TMessageTarget::WaitAndDispatch(int timeoutMs) {
    {
        std::unique_lock lock(mutex_);
        auto ready = [this] { return !queue_.empty(); };
        if (timeoutMs < 0)
            posted_.wait(lock, ready);
        else if (!posted_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready))
            return 0;
    }
    return DispatchPending();
}

void TMessageTarget::SetWakeCallback(std::function<void()> wake) {
    bool pending;
    {
        std::lock_guard lock(mutex_);
        wake_ = wake;
        pending = !queue_.empty();
    }
    // Messages posted before the loop was attached must not wait unseen.
    if (wake && pending)
        wake();
}

}  // namespace tessor::platform
