// The SCSI pass-through of Windows (IOCTL_SCSI_PASS_THROUGH_DIRECT): a
// command block with its sense buffer behind it, and how a TPassThroughBlock
// goes into it and comes back out. Separate from the DeviceIoControl call so
// the packing can be checked against recorded replies without a drive.
#pragma once

#include <windows.h>

#include <ntddscsi.h>

#include <cstdint>
#include <vector>

#include "engine/drive/SystemDrives.h"

namespace tessor::drive::win {

struct TSptdWithSense {
    SCSI_PASS_THROUGH_DIRECT Sptd;
    ULONG Filler;  // keeps the sense buffer aligned
    UCHAR Sense[32];
};

// What the adapter behind a drive takes (IOCTL_SCSI_GET_CAPABILITIES): the
// longest transfer of one command and the alignment its data buffer needs
// (AlignmentMask: the address bits that must be 0). Zeros: not known, no
// limit and no alignment asked.
struct TAdapterLimits {
    uint32_t MaximumTransferLength = 0;
    uint32_t AlignmentMask = 0;
};

// Fills request from block. The data buffer is used in place when it meets
// the adapter's alignment; otherwise the data go through `bounce` (resized
// and aligned here; it must outlive the request). False, with nothing to
// send, when the transfer is longer than the adapter takes in one command.
bool PackPassThrough(const TPassThroughBlock& block, TSptdWithSense& request,
                     const TAdapterLimits& limits = {}, std::vector<uint8_t>* bounce = nullptr);
// Copies status, residual and sense of a completed request back into block,
// and the data read when they went through a bounce buffer.
void UnpackPassThrough(const TSptdWithSense& reply, TPassThroughBlock& block);

}  // namespace tessor::drive::win
