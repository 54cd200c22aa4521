// Holding a drive for one job (a write, an erase, a tray movement) against
// every other program: a second job on a busy drive fails at once and
// touches nothing.
//
// A system drive is opened with O_EXCL (the Linux block layer then refuses
// other exclusive opens and mounts) and locked with flock, which every
// Tessor process asks for before a job. A drive behind an ASPI library is
// locked through a lock file: the one the library names (the virtual
// recorder names one in its state folder), else one in the user's runtime
// folder named after the library and the drive's address.
#pragma once

#include <string>

#include "engine/drive/SCSIDefs.h"

namespace tessor::drive {

// Claims the current drive; claims nest (each needs its release). On
// failure ClaimFailure and ClaimDetail (a sentence for the user: which
// device, and what would grant access) say why.
bool ClaimDevice(TSCSIDevice& device);
void ReleaseDevice(TSCSIDevice& device);

// The exported function by which an ASPI library names a drive's lock file.
// Returns the path's length written into path (at most size - 1 bytes and
// a terminator), 0 when it names none.
using TDriveLockFileFunction = int (*)(unsigned char adapter, unsigned char target,
                                       unsigned char lun, char* path, int size);
inline constexpr const char* DRIVE_LOCK_FILE_SYMBOL = "TessorDriveLockFile";

}  // namespace tessor::drive
