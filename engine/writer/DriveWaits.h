// Waiting for a drive that works in the background (formatting, blanking,
// closing): poll, and poll again every five seconds while it answers
// "not ready" (ASC 04h).
#pragma once

#include <functional>

#include "engine/drive/SCSIDefs.h"

namespace tessor::writer {

// poll() once (after a first five-second sleep when sleepFirst), then again
// every five seconds while the drive's last sense is ASC 04h. A drive that
// is still not ready after two hours is given up on.
void WaitWhileNotReady(drive::TSCSIDevice& d, bool sleepFirst, const std::function<void()>& poll);

// The same with READ DISC INFORMATION (42 bytes into `buffer`) as the poll.
// True when the last poll was answered: false when the drive gave up or the
// disc is gone.
bool PollDiscInformation(drive::TSCSIDevice& d, bool sleepFirst, uint8_t* buffer);

}  // namespace tessor::writer
