// The operating-system side of the system transport: drive letters, device
// opening, SCSI addresses and the SCSI pass-through call. The drive record
// points at one of these; the default talks to Linux (/dev/srN and SG_IO),
// tests put a scripted one in its place to play drives without hardware.
#pragma once

#include <cstdint>
#include <string>

namespace tessor::drive {

constexpr int INVALID_HANDLE = -1;

// Where the data of a pass-through command go.
enum class TDataDirection : uint8_t { None, In, Out };

// One command as the operating system carries it (the Linux counterpart of a
// SCSI_PASS_THROUGH_DIRECT block with its sense buffer behind it).
struct TPassThroughBlock {
    // in
    uint8_t Cdb[16] = {};
    uint8_t CdbLength = 0;
    TDataDirection Direction = TDataDirection::None;
    uint8_t* DataBuffer = nullptr;
    uint32_t DataTransferLength = 0;
    uint32_t TimeOutSeconds = 0;
    // out
    uint8_t ScsiStatus = 0;     // SCSI status byte of the target
    uint16_t HostStatus = 0;    // adapter-level failure (0 = none)
    uint16_t DriverStatus = 0;  // driver-level failure, low three bits (0 = none)
    int32_t Residual = 0;       // bytes not transferred
    uint8_t SenseLength = 0;    // bytes of sense written
    uint8_t Sense[32] = {};
};

// Host number, target id and LUN of an open drive.
struct TScsiAddress {
    uint8_t PortNumber = 0;
    uint8_t PathId = 0;
    uint8_t TargetId = 0;
    uint8_t Lun = 0;
};

class TSystemDrives {
public:
    virtual ~TSystemDrives() = default;
    // One of the DRIVE_* values of DeviceTypes.h for a letter C..Z.
    virtual int DriveType(char letter) = 0;
    // Opens the drive of a letter for reading and writing or for reading
    // only, without waiting for a medium. Returns a handle, or
    // INVALID_HANDLE with the system's error code in error.
    virtual int Open(char letter, bool readWrite, uint32_t& error) = 0;
    // Opens the drive for one job: read-write and exclusive against every
    // other program (O_EXCL, then an exclusive flock without waiting).
    // EBUSY or EWOULDBLOCK in error: someone else holds it. The default
    // opens it read-write only.
    virtual int OpenExclusive(char letter, uint32_t& error) { return Open(letter, true, error); }
    // False when the drive has no SCSI address (or the handle is bad).
    virtual bool GetScsiAddress(int handle, TScsiAddress& address) = 0;
    // Carries one command and waits for it. False when the call itself
    // failed (error = the system's code); true when the command reached the
    // target, whatever its SCSI status.
    virtual bool PassThrough(int handle, TPassThroughBlock& block, uint32_t& error) = 0;
    // False when the system reported an error on closing.
    virtual bool Close(int handle) = 0;
};

// The real one. On Linux letters C..Z are /dev/sr0 .. /dev/sr23, commands go
// through the SG_IO ioctl, addresses come from SCSI_IOCTL_GET_IDLUN and
// SCSI_IOCTL_GET_BUS_NUMBER. On Windows a letter is the CD-ROM drive of that
// letter (\\.\X:), with IOCTL_SCSI_PASS_THROUGH_DIRECT and
// IOCTL_SCSI_GET_ADDRESS. Stateless; shared by every drive record.
TSystemDrives& HostSystemDrives();

// "/dev/srN" (Windows: "\\.\X:") for a letter C..Z (empty for any other).
std::string DevicePathOfLetter(char letter);

}  // namespace tessor::drive
