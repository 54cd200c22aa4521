#include "engine/platform/Threads.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace tessor::platform {
namespace {

using Clock = std::chrono::steady_clock;

class TScaleGuard {
public:
    TScaleGuard() : old_(TimeScale()) {}
    ~TScaleGuard() { SetTimeScale(old_); }

private:
    double old_;
};

TEST(Threads, SleepMsHonoursTheTimeScale) {
    TScaleGuard guard;
    SetTimeScale(0.0001);
    EXPECT_DOUBLE_EQ(TimeScale(), 0.0001);
    auto start = Clock::now();
    SleepMs(100000);  // 100 s nominal, 10 ms scaled
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));

    SetTimeScale(1.0);
    start = Clock::now();
    SleepMs(30);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(30));

    SetTimeScale(-2.0);  // meaningless; the scale stays
    EXPECT_DOUBLE_EQ(TimeScale(), 1.0);
}

TEST(Threads, TimeScaleIsReadFromTheEnvironment) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    setenv("TESSOR_TIME_SCALE", "0.25", 1);
    // A fresh process reads the variable on first use.
    EXPECT_EXIT(_exit(TimeScale() == 0.25 ? 0 : 1), ::testing::ExitedWithCode(0), "");
    setenv("TESSOR_TIME_SCALE", "fast", 1);
    EXPECT_EXIT(_exit(TimeScale() == 1.0 ? 0 : 1), ::testing::ExitedWithCode(0), "");
    unsetenv("TESSOR_TIME_SCALE");
}

TEST(Threads, PriorityChangesOnlyTheCallingThread) {
    errno = 0;
    int processNice = getpriority(PRIO_PROCESS, 0);
    ASSERT_EQ(errno, 0);
    int lowest = -100, idle = -100;
    std::thread worker([&] {
        SetCurrentThreadPriority(TThreadPriority::Lowest);
        lowest = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
        SetCurrentThreadPriority(TThreadPriority::Idle);
        idle = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
    });
    worker.join();
    EXPECT_EQ(lowest, std::min(processNice + 10, 19));
    EXPECT_EQ(idle, 19);
    EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())), processNice);
}

}  // namespace
}  // namespace tessor::platform
