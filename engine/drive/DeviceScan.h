// Finding the optical drives, choosing the transport and making one drive
// the current one.
#pragma once

#include <cstdint>
#include <string>

#include "engine/drive/SCSIDefs.h"

namespace tessor::drive {

// The ASPI library loaded when none is named: the virtual recorder where no
// other is installed.
#ifdef _WIN32
inline constexpr const char* DEFAULT_ASPI_LIBRARY = "WNASPI32.DLL";
#else
inline constexpr const char* DEFAULT_ASPI_LIBRARY = "libwnaspi32.so";
#endif

// Resets the record (keeping BurnProof, FinalizeDisc, NotifyWindow and the
// transport seams), opens the command log when logFile is not empty, then
// lists the drives: through the system transport unless useAspi is set, and
// through the ASPI library (aspiLibrary, empty = DEFAULT_ASPI_LIBRARY) when
// asked or when no system drive could be opened. True when a transport was
// set up, even with no drive listed.
bool ScanDevices(TSCSIDevice& device, uint8_t useAspi, const std::string& aspiLibrary,
                 const std::string& logFile);

// Number of listed drives.
uint8_t DeviceCount(const TSCSIDevice& device);

// The description of a listed drive ("H:T:L,X: vendor product revision"),
// empty when index is not below DeviceCount.
std::string DeviceName(const TSCSIDevice& device, uint8_t index);

// Makes a listed drive current and reads its capabilities. True when it
// answered INQUIRY; an index out of range leaves no drive current.
bool SelectDevice(TSCSIDevice& device, uint8_t index);

// The drive letter whose system SCSI address is that of slot DeviceCount,
// or '?'.
char FindDriveLetter(TSCSIDevice& device);

}  // namespace tessor::drive
