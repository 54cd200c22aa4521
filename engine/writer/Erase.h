// Erasing a rewritable disc on a thread of its own.
#pragma once

#include "engine/builder/TreeTypes.h"
#include "engine/drive/SCSIDefs.h"

namespace tessor::writer {

// Starts the erase thread (StatusCode S_ERASING) and returns true. The end
// is reported once: message 1125 to the drive record's NotifyWindow, or a
// direct call of the handler on the erase thread when there is none; no
// report without a handler. The failed flag is 0 on success, all ones when
// the drive refused BLANK or FORMAT UNIT, 1 when a zero write failed.
bool EraseDisc(builder::TImageBuilder& b, drive::TSCSIDevice& d, bool quick,
               const drive::TEraseHandler& handler);

// Waits for an erase thread that is still running (the erase cannot be
// interrupted; the drive decides how long it takes).
void JoinEraseThread(builder::TImageBuilder& b);

}  // namespace tessor::writer
