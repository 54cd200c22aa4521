// Questions to the current drive about itself and its disc, and the tray.
// Each operation sends one command (the derived ones a few) and reports
// failure by false or zero; the sense stays in the record.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "engine/drive/SCSIDefs.h"

namespace tessor::drive {

// TEST UNIT READY.
bool DeviceReady(TSCSIDevice& device);
// TEST UNIT READY as a drive expects it to be used before a job: repeated
// at once after a unit attention (a changed disc or a reset is reported
// once, to the first command), and repeated every quarter second while the
// drive is busy or says it is becoming ready or still working, for at most
// timeoutMs (drive time: scaled like every drive wait). whileWaiting runs
// between the tries (the window keeps its messages going). True when ready.
bool WaitUntilReady(TSCSIDevice& device, uint32_t timeoutMs,
                    const std::function<void()>& whileWaiting = {});
// INQUIRY, 64 bytes into buffer (false without sending when it is smaller).
bool Inquiry(TSCSIDevice& device, std::span<uint8_t> buffer);
// MODE SENSE (10) of one page, current or default values; length bytes
// into buffer. Good means status 1 or 0.
bool ModeSense10(TSCSIDevice& device, std::span<uint8_t> buffer, uint16_t length, uint8_t page,
                 bool defaultValues);
// GET CONFIGURATION of one feature (RT = 2).
bool GetConfiguration(TSCSIDevice& device, std::span<uint8_t> buffer, uint16_t length,
                      uint16_t feature);
// READ TOC/PMA/ATIP.
bool ReadTocPmaAtip(TSCSIDevice& device, uint8_t format, uint8_t track, bool msf,
                    std::span<uint8_t> buffer, uint8_t length);
// READ DISC INFORMATION.
bool ReadDiscInformation(TSCSIDevice& device, std::span<uint8_t> buffer, uint16_t length);
// READ TRACK INFORMATION of a track number into TrackInfo; the host-order
// fields are set only when the command succeeds.
bool ReadTrackInformation(TSCSIDevice& device, uint8_t track);
// READ BUFFER CAPACITY; BufferCapacity and BufferBlank are taken from the
// reply whatever the status.
bool ReadBufferCapacity(TSCSIDevice& device);
// START STOP UNIT: load or eject.
bool LoadTray(TSCSIDevice& device, bool immediate);
bool EjectTray(TSCSIDevice& device, bool immediate);
// PREVENT ALLOW MEDIUM REMOVAL: allow, or prevent (the tray stays shut
// while a write or an erase runs).
bool AllowMediumRemoval(TSCSIDevice& device);
bool PreventMediumRemoval(TSCSIDevice& device);

// The result of the last ReadBufferCapacity; nothing is sent. Safe to call
// while the write thread runs.
uint32_t DeviceBufferSize(const TSCSIDevice& device);
int32_t DeviceBufferUsed(const TSCSIDevice& device);

// The media code (MT_*) of the disc in the drive: from the current profile,
// else from the ATIP, the disc information or TEST UNIT READY.
uint8_t GetMediaType(TSCSIDevice& device);
// Mode page 2Ah into CapabilitiesPage (default values, then current ones).
bool ReadCapabilities(TSCSIDevice& device);
// Each reads the capabilities again; kB/s, 0 when the page is unreadable.
uint16_t ReadSpeed(TSCSIDevice& device);
uint16_t MaxWriteSpeed(TSCSIDevice& device);
uint16_t WriteSpeed(TSCSIDevice& device);
// True when the capabilities last read show any write ability; sends nothing.
bool IsWriter(const TSCSIDevice& device);
// True for DVD-RAM/-RW/+RW kinds or a disc that says it is erasable.
bool DiscErasable(TSCSIDevice& device);
// Number of sessions on the disc, not counting an empty last one.
uint8_t SessionCount(TSCSIDevice& device);
// Last track number in the last session (0 when unknown).
uint8_t LastTrackNumber(TSCSIDevice& device);

}  // namespace tessor::drive
