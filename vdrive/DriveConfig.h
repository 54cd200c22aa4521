// What kind of drive each virtual recorder is: identity, capabilities,
// timings and the strictness options that imitate particular real drives.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vdrive/Media.h"

namespace tessor::vdrive {

enum class TDriveKind : uint8_t {
    BdWriter,     // writes CD, DVD and BD media
    DvdWriter,    // writes CD and DVD media
    CdWriterOld,  // MMC-2 CD writer: no GET CONFIGURATION, CD media only
    DvdRom,       // reads CD and DVD media, writes nothing
};

struct TDriveConfig {
    TDriveKind kind = TDriveKind::BdWriter;
    std::string vendor = "TESSOR";
    std::string product;  // per kind unless set
    std::string revision = "1.00";
    uint16_t maxReadSpeed = 0;   // kB/s (1000 bytes); 0 = per kind
    uint16_t maxWriteSpeed = 0;  // kB/s; 0 = per kind (read-only drives stay 0)
    uint32_t bufferKiB = 0;      // 0 = per kind
    // When set, the disc records at this rate (kB/s) whatever speed the host
    // asks for, as a drive spinning at its one speed does; it may exceed the
    // 16-bit speed fields (BD 16x is 71,920 kB/s).
    uint32_t recordKBps = 0;
    char letter = 0;  // drive letter reported by get disk information; 0 = none
    // Behaviour options.
    bool blockDescriptor = false;  // MODE SENSE answers with an 8-byte block descriptor
    bool pioneer = false;          // 02/04/08 for writes that do not fit; refuses FOV with DCRT
    bool strictTrackFF = false;    // READ TRACK INFORMATION FFh refused on DVD-R/-RW and BD-R
    bool nwaMinus150 = false;      // blank CD in track-at-once mode reports NWA -150
    bool unitAttention = false;    // 06/28/00 once after a disc is inserted or loaded
    bool strictModeSelectLength = false;  // MODE SELECT refuses a non-zero mode data length
    // Timings in drive milliseconds (multiplied by the time scale).
    uint32_t loadMs = 0;          // 02/04/01 after a disc is inserted or the tray closed
    uint32_t formatMs = 3000;     // FORMAT UNIT (DVD+RW: the foreground part)
    uint32_t bgFormatMs = 5000;   // DVD+RW background formatting after the foreground part
    uint32_t blankMs = 3000;      // minimal BLANK
    uint32_t blankFullMs = 8000;  // full BLANK
    uint32_t closeMs = 1000;      // CLOSE TRACK/SESSION
    uint32_t syncMs = 100;        // SYNCHRONIZE CACHE on top of draining the buffer

    // Values after the per-kind defaults are applied.
    bool CanWrite() const { return kind != TDriveKind::DvdRom; }
    bool HasGetConfiguration() const { return kind != TDriveKind::CdWriterOld; }
    bool Accepts(TMediaKind media) const;
    bool Writes(TMediaKind media) const;
};

const char* DriveKindName(TDriveKind kind);

// Fills the fields left at 0/empty with the kind's values.
TDriveConfig WithKindDefaults(TDriveConfig config);

// 0 = BD writer, 1 = DVD writer, 2 = old CD writer, 3 = read-only DVD-ROM.
std::vector<TDriveConfig> DefaultDriveSet();

// The drives.conf format: one "drive KIND [key=value ...]" line per drive,
// '#' comments. Returns false with a message naming the line on bad input.
bool ParseDriveSet(const std::string& text, std::vector<TDriveConfig>& drives, std::string& error);
std::string FormatDriveSet(const std::vector<TDriveConfig>& drives);

}  // namespace tessor::vdrive
