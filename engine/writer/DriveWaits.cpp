#include "engine/writer/DriveWaits.h"

#include <span>

#include "engine/drive/Queries.h"
#include "engine/drive/RetryPolicy.h"
#include "engine/platform/Threads.h"

namespace tessor::writer {

void WaitWhileNotReady(drive::TSCSIDevice& d, bool sleepFirst, const std::function<void()>& poll) {
    for (int i = 0; i < drive::policy::kBackgroundMaxPolls; ++i) {
        if (sleepFirst || i > 0)
            platform::SleepMs(drive::policy::kBackgroundPollMs);
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
