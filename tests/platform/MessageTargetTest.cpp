#include "engine/platform/MessageTarget.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace tessor::platform {
namespace {

TEST(MessageTarget, EachPostersMessagesArriveInOrder) {
    constexpr int kThreads = 4, kPerThread = 2000;
    std::vector<int> last(kThreads, -1);
    int received = 0;
    bool ordered = true;
    TMessageTarget target([&](const TMessage& m) {
        int& previous = last[m.wParam];
        if (m.lParam != previous + 1)
            ordered = false;
        previous = static_cast<int>(m.lParam);
        EXPECT_EQ(m.message, 1126u);
        ++received;
    });
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t)
        posters.emplace_back([&target, t] {
            for (int i = 0; i < kPerThread; ++i)
                target.Post(1126, static_cast<uintptr_t>(t), i);
        });
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (received < kThreads * kPerThread && std::chrono::steady_clock::now() < deadline)
        target.WaitAndDispatch(100);
    for (auto& p : posters)
        p.join();
    target.DispatchPending();
    EXPECT_EQ(received, kThreads * kPerThread);
    EXPECT_TRUE(ordered);
}

TEST(MessageTarget, HandlerMayPostAndDispatchTakesWhatWasQueued) {
    std::vector<uint32_t> seen;
    TMessageTarget* self = nullptr;
    TMessageTarget target([&](const TMessage& m) {
        seen.push_back(m.message);
        if (m.message == 1)
            self->Post(3, 0, 0);  // would deadlock if the lock were held
    });
    self = &target;
    target.Post(1, 0, 0);
    target.Post(2, 0, 0);
    EXPECT_EQ(target.DispatchPending(), 2u);
    EXPECT_EQ(seen, (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(target.DispatchPending(), 1u);
    EXPECT_EQ(seen, (std::vector<uint32_t>{1, 2, 3}));
    EXPECT_EQ(target.DispatchPending(), 0u);
}

TEST(MessageTarget, NestedDispatchKeepsPostingOrder) {
    // A handler that pumps messages itself (a modal dialog does) must still
    // see the later messages after the earlier ones.
    std::vector<uint32_t> seen;
    TMessageTarget* self = nullptr;
    TMessageTarget target([&](const TMessage& m) {
        seen.push_back(m.message);
        if (m.message == 1)
            self->DispatchPending();
    });
    self = &target;
    for (uint32_t i = 1; i <= 4; ++i)
        target.Post(i, 0, 0);
    target.DispatchPending();
    EXPECT_EQ(seen, (std::vector<uint32_t>{1, 2, 3, 4}));
}

TEST(MessageTarget, WaitTimesOutAndWakeCallbackFires) {
    int handled = 0;
    TMessageTarget target([&](const TMessage&) { ++handled; });
    EXPECT_EQ(target.WaitAndDispatch(10), 0u);

    std::atomic<int> wakes{0};
    target.Post(7, 0, 0);
    target.SetWakeCallback([&] { ++wakes; });
    EXPECT_EQ(wakes.load(), 1);  // a message already waiting
    std::thread poster([&] { target.Post(8, 0, 0); });
    poster.join();
    EXPECT_EQ(wakes.load(), 2);
    EXPECT_EQ(target.WaitAndDispatch(-1), 2u);
    EXPECT_EQ(handled, 2);
}

}  // namespace
}  // namespace tessor::platform
