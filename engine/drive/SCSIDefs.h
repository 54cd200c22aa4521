// The drive record, the request block and the sense value of the drive
// layer; the MMC names it uses are in MMC.h.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "engine/drive/MMC.h"
#include "engine/drive/SystemDrives.h"
#include "engine/drive/WNASPI32.h"
#include "engine/platform/Library.h"
#include "engine/platform/MessageTarget.h"

namespace tessor::drive {

// Why a drive could not be claimed for a job (DriveClaim.h).
enum class TClaimFailure { None, Busy, ReadOnly, Other };

// Every SCSI command travels in ASPI's execute request, unchanged for the
// ASPI library. Offsets (64-bit build): command 0, status 1, adapter 2,
// flags 3, target 8, LUN 9, data length 12, buffer 16, sense length 24, CDB
// length 25, adapter status 26, target status 27, completion event 28, CDB
// 56, sense area 72; 104 bytes.
using TSCSIRequest = SRB_ExecSCSICmd;

// Request status values (SRB_Status) the engine reads.
constexpr uint8_t REQUEST_PENDING = SS_PENDING;
constexpr uint8_t REQUEST_DONE = SS_COMP;
constexpr uint8_t REQUEST_ERROR = SS_ERR;

// Request flags.
constexpr uint8_t FLAGS_NO_DATA = SRB_EVENT_NOTIFY;                 // 40h
constexpr uint8_t FLAGS_DATA_IN = SRB_EVENT_NOTIFY | SRB_DIR_IN;    // 48h
constexpr uint8_t FLAGS_DATA_OUT = SRB_EVENT_NOTIFY | SRB_DIR_OUT;  // 50h

constexpr uint8_t REQUEST_SENSE_LENGTH = SENSE_LEN;  // 24
constexpr uint8_t NO_ADDRESS = 255;
constexpr char NO_DRIVE_LETTER = '?';
constexpr size_t TRANSFER_BUFFER_SIZE = 131072;
constexpr size_t MAX_DEVICES = 26;
constexpr size_t DEVICE_NAME_SIZE = 128;
// Seconds the system transport lets a command run before giving up.
constexpr uint32_t PASS_THROUGH_TIMEOUT_SECONDS = 12000;

// Fixed-format sense data as a value. Response codes 70h/71h arrive with
// the valid bit (F0h/F1h) from some drives; descriptor-format sense
// (72h/73h) is turned into this shape by the system transport.
struct TSense {
    uint8_t Key = 0;
    uint8_t Asc = 0;
    uint8_t Ascq = 0;
    bool operator==(const TSense&) const = default;
};
// Decodes 32 bytes of sense; all zero unless the response code (bit 7
// masked) is 70h or 71h.
TSense DecodeSense(const uint8_t* sense);

// One slot of the drive list.
struct TDeviceEntry {
    char Letter = NO_DRIVE_LETTER;
    uint8_t DeviceClass = 0;
    uint8_t HostAdapter = 0;
    uint8_t TargetId = 0;
    uint8_t Lun = 0;
    char Name[DEVICE_NAME_SIZE] = {};
};

// READ TRACK INFORMATION reply: the 38 bytes as received, and the fields the
// engine uses in host order (valid after a good reply only).
struct TTrackInfo {
    alignas(8) uint8_t Raw[38] = {};
    uint16_t DataLength = 0;
    uint32_t TrackStart = 0;
    uint32_t NextWritable = 0;
    uint32_t FreeBlocks = 0;
    uint32_t FixedPacketSize = 0;
    uint32_t TrackSize = 0;
    uint32_t LastRecorded = 0;
    bool FixedPacket() const { return (Raw[6] & 0x10) != 0; }
};

// Called by the erase thread when it ends: (context, status, success).
using TEraseHandler = std::function<void(void*, uint8_t, bool)>;

// The entry points of an ASPI library. Tests may hand them in directly (an
// in-process virtual recorder) instead of naming a library file.
struct TAspiEntryPoints {
    std::function<uint32_t()> GetSupportInfo;
    std::function<uint32_t(void*)> SendCommand;
    // Optional: the lock file of a drive (adapter, target, LUN); empty when
    // the library names none (see DriveClaim.h).
    std::function<std::string(uint8_t, uint8_t, uint8_t)> LockFile;
    bool Complete() const { return GetSupportInfo && SendCommand; }
};

struct TFileCloser {
    void operator()(std::FILE* file) const;
};
using TLogFile = std::unique_ptr<std::FILE, TFileCloser>;

// All state of one drive conversation. The reply buffers are aligned so the
// command log never flags them as misaligned. One record lives inside the burner
// component for its whole life; every drive operation takes it first.
// ScanDevices resets everything except BurnProof, FinalizeDisc,
// NotifyWindow, System, AspiOverride and the loaded ASPI library.
struct TSCSIDevice {
    TSCSIDevice();
    ~TSCSIDevice();
    TSCSIDevice(const TSCSIDevice&) = delete;
    TSCSIDevice& operator=(const TSCSIDevice&) = delete;

    // transport handle
    int Handle = INVALID_HANDLE;
    platform::TMessageTarget* NotifyWindow = nullptr;
    // data
    alignas(8) uint8_t TransferBuffer[TRANSFER_BUFFER_SIZE] = {};
    // command names of the log, index = operation code 00h..FEh
    std::string CommandNames[255];
    // drive list
    TDeviceEntry Devices[MAX_DEVICES];
    uint8_t DeviceCount = 0;
    char DriveLetter = NO_DRIVE_LETTER;
    // transport state
    uint32_t LastOsError = 0;
    uint8_t CloseAfterCommand = 1;
    uint8_t TransportReady = 0;
    uint8_t UsePassThrough = 0;
    std::function<uint32_t(void*)> SendCommandEntry;
    SRB_GetDiskInfo DiskInfoRequest = {};
    // current drive
    uint8_t HostAdapter = NO_ADDRESS;
    uint8_t TargetId = NO_ADDRESS;
    uint8_t Lun = NO_ADDRESS;
    uint8_t MediaType = 0;
    // last command
    uint8_t Sense[ASPI_SENSE_AREA] = {};
    uint8_t TargetBusy = 0;
    // options
    uint8_t BurnProof = 1;
    // log
    TLogFile LogStream;
    // last error: the last non-zero ASC/ASCQ since the scan, and that
    // sense whole (with its key) for the error's details
    uint16_t LastSenseCode = 0;
    TSense LastSense;
    // query replies; the write thread updates the buffer words while the
    // window reads them
    std::atomic<uint32_t> BufferCapacity{0};
    std::atomic<uint32_t> BufferBlank{0};
    TTrackInfo TrackInfo;
    alignas(8) uint8_t DiscInfo[64] = {};
    alignas(8) uint8_t DiscInfo2[42] = {};
    alignas(8) uint8_t ConfigBuffer[114] = {};
    // capabilities: mode page 2Ah; the speed words at page bytes 8, 12, 14,
    // 18 and 20 are in host order (read them with CapabilitiesWord)
    alignas(8) uint8_t CapabilitiesPage[64] = {};
    // erase
    TEraseHandler EraseHandler;
    uint8_t QuickErase = 0;
    // write parameters
    alignas(8) uint8_t WriteParametersPage[72] = {};
    uint16_t WriteSpeedSetting = 0;
    uint16_t ReadSpeedSetting = 0;
    uint8_t TestWrite = 0;
    uint8_t FinalizeDisc = 0;

    // The operating system behind the system transport (never null).
    TSystemDrives* System = &HostSystemDrives();
    // When complete, the ASPI scan uses these instead of loading a library.
    TAspiEntryPoints AspiOverride;
    // The loaded ASPI library and its name; it stays loaded once loaded.
    std::unique_ptr<platform::TLibrary> AspiLibrary;
    std::string AspiLibraryName;
    std::function<std::string(uint8_t, uint8_t, uint8_t)> AspiLockFile;
    // The claim on the current drive for a job (DriveClaim.h).
    std::mutex ClaimMutex;
    uint32_t ClaimCount = 0;
    int ClaimHandle = INVALID_HANDLE;
    int ClaimLockFd = -1;
    TClaimFailure ClaimFailure = TClaimFailure::None;
    std::string ClaimDetail;
};

// The sense of the last command, by part.
inline uint8_t SenseKey(const TSCSIDevice& device) {
    return DecodeSense(device.Sense).Key;
}
inline uint8_t SenseAsc(const TSCSIDevice& device) {
    return DecodeSense(device.Sense).Asc;
}
inline uint8_t SenseAscq(const TSCSIDevice& device) {
    return DecodeSense(device.Sense).Ascq;
}

// A 16-bit word of CapabilitiesPage (host order after ReadCapabilities).
uint16_t CapabilitiesWord(const TSCSIDevice& device, size_t offset);

// CapabilitiesPage bytes: the media the drive can write (byte 3, zero for
// a reader), and BUF, buffer-underrun-free recording (byte 4, bit 7).
constexpr size_t CAP_WRITE_BYTE = 3;
constexpr size_t CAP_UNDERRUN_BYTE = 4;
constexpr uint8_t CAP_BUF = 0x80;
// Offsets of CapabilitiesPage words.
constexpr size_t CAP_MAX_READ_SPEED = 8;
constexpr size_t CAP_BUFFER_SIZE = 12;
constexpr size_t CAP_CURRENT_READ_SPEED = 14;
constexpr size_t CAP_MAX_WRITE_SPEED = 18;
constexpr size_t CAP_CURRENT_WRITE_SPEED = 20;

}  // namespace tessor::drive
