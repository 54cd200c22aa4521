// The one crossing between the command builders and the drive: a request
// goes through the system transport (SG_IO) or the ASPI library, and every
// executed request can leave a line in the command log.
#pragma once

#include <cstdint>
#include <string>

#include "engine/drive/SCSIDefs.h"

namespace tessor::drive {

// Runs one request on the current drive and waits for it. Returns the
// request status: 1 done, 4 failed (also at once, without sending or
// logging, when no transport is ready or no drive is selected), 0 from a few
// ASPI commands. Leaves Sense, TargetBusy, LastSenseCode and LastOsError.
uint8_t ExecuteRequest(TSCSIDevice& device, TSCSIRequest& request);

// The system transport for one request: opens the current drive letter when
// no handle is open (read-write, else read-only, both without waiting for a
// medium), carries the command, fills status (1 or 4), target status and
// sense, and closes again when CloseAfterCommand is set.
//
// On Linux the request becomes one SG_IO call on /dev/srN: the CDB and its
// length, the data direction from the flags (08h from the drive, else 10h to
// the drive, else none; none as well for an empty transfer), the data
// buffer and length, a 32-byte sense buffer and a time-out of 12000 s. The
// request completes with status 1 only when the call succeeded, neither the
// adapter nor the driver reported a fault and the SCSI status is GOOD.
// Otherwise status 4, the target status is the SCSI status (0 when the call
// failed), the first 24 sense bytes go to the sense area (descriptor-format
// sense rewritten as fixed format) and LastOsError is the call's errno
// (EIO for an adapter or driver fault, 0 when the call succeeded). No
// completion event is used: the call returns when the command has ended.
uint8_t SendPassThrough(TSCSIDevice& device, TSCSIRequest& request);

// Hands one request (of any ASPI kind) to the ASPI library and, when the
// library answers "pending", waits for its completion event. Returns the low
// byte of the library's answer, or ASPI_SEND_FAILED when nothing could be
// sent (no library, no event). withEvent: the request is an execute request
// that gets a completion event. Used by ExecuteRequest and the scan.
constexpr uint32_t ASPI_SEND_FAILED = 0x100;
uint32_t SendAspiRequest(TSCSIDevice& device, void* request, bool withEvent);

// Fills CommandNames (22-character names of the logged operation codes).
void InitCommandNames(TSCSIDevice& device);

// Frees the command log and closes the handle.
void CloseDevice(TSCSIDevice& device);

// Creates the command log (replacing the file); false when it cannot be
// created. The first line names the log's format.
bool OpenCommandLog(TSCSIDevice& device, const std::string& fileName);

// A request cleared to zero with flags, CDB and data set: the start of every
// command builder.
TSCSIRequest MakeRequest(uint8_t flags, const uint8_t* cdb, uint8_t cdbLength, void* buffer,
                         uint32_t length);

}  // namespace tessor::drive
