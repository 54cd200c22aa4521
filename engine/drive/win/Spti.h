// The SCSI pass-through of Windows (IOCTL_SCSI_PASS_THROUGH_DIRECT): a
// command block with its sense buffer behind it, and how a TPassThroughBlock
// goes into it and comes back out. Separate from the DeviceIoControl call so
// the packing can be checked against recorded replies without a drive.
#pragma once

#include <windows.h>

#include <ntddscsi.h>

#include "engine/drive/SystemDrives.h"

namespace tessor::drive::win {

struct TSptdWithSense {
    SCSI_PASS_THROUGH_DIRECT Sptd;
    ULONG Filler;  // keeps the sense buffer aligned
    UCHAR Sense[32];
};

// Fills request from block (its data buffer is used in place).
void PackPassThrough(const TPassThroughBlock& block, TSptdWithSense& request);
// Copies status, residual and sense of a completed request back into block.
void UnpackPassThrough(const TSptdWithSense& reply, TPassThroughBlock& block);

}  // namespace tessor::drive::win
