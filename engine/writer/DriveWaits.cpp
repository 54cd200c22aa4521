#include "engine/writer/DriveWaits.h"

#include <span>

#include "engine/drive/Queries.h"
#include "engine/platform/Threads.h"

namespace tessor::writer {

namespace {
// A full blank of a rewritable DVD at 1x takes about an hour.
constexpr int kMaxNotReadyPolls = 2 * 3600 / 5;
constexpr uint32_t kNotReadyPollMs = 5000;
}  // namespace

void WaitWhileNotReady(drive::TSCSIDevice& d, bool sleepFirst, const std::function<void()>& poll) {
    for (int i = 0; i < kMaxNotReadyPolls; ++i) {
        if (sleepFirst || i > 0)
            platform::SleepMs(kNotReadyPollMs);
        poll();
        if (drive::SenseAsc(d) != drive::ASC_NOT_READY)
            return;
    }
}

bool PollDiscInformation(drive::TSCSIDevice& d, bool sleepFirst, uint8_t* buffer) {
    bool answered = false;
    WaitWhileNotReady(d, sleepFirst, [&] {
        answered = drive::ReadDiscInformation(d, std::span<uint8_t>(buffer, 42), 42);
    });
    return answered;
}

}  // namespace tessor::writer
