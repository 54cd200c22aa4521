// The system transport on Windows: drive letters whose type is CD-ROM,
// opened as \\.\X:, addressed with IOCTL_SCSI_GET_ADDRESS and driven with
// IOCTL_SCSI_PASS_THROUGH_DIRECT. Handles are kept in the interface's int:
// Windows kernel handles hold only 32 significant bits.
#include "engine/drive/SystemDrives.h"
#include "engine/drive/DeviceTypes.h"  // before windows.h: it defines DRIVE_* as macros
#include "engine/drive/win/Spti.h"

#include <winioctl.h>

#include <cstring>

namespace tessor::drive {

namespace {

HANDLE ToHandle(int handle) {
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(handle));
}

std::wstring WideDevicePath(char letter) {
    const std::string path = DevicePathOfLetter(letter);
    return std::wstring(path.begin(), path.end());
}

int OpenDevice(char letter, DWORD access, DWORD share, uint32_t& error) {
    const std::wstring path = WideDevicePath(letter);
    if (path.empty()) {
        error = ENOENT;
        return INVALID_HANDLE;
    }
    HANDLE h = CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        // errno values, as the claim and the scan judge them on every system.
        error = uint32_t(platform::win::ErrnoOf(GetLastError()));
        return INVALID_HANDLE;
    }
    return static_cast<int>(reinterpret_cast<intptr_t>(h));
}

class TWindowsSystemDrives final : public TSystemDrives {
public:
    int DriveType(char letter) override {
        if (letter < FIRST_DRIVE_LETTER || letter > LAST_DRIVE_LETTER)
            return DRIVE_NO_ROOT_DIR;
        if (!(GetLogicalDrives() & (1u << (letter - 'A'))))
            return DRIVE_NO_ROOT_DIR;
        const wchar_t root[] = {static_cast<wchar_t>(letter), L':', L'\\', 0};
        return static_cast<int>(GetDriveTypeW(root));
    }

    int Open(char letter, bool readWrite, uint32_t& error) override {
        return OpenDevice(letter, readWrite ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, error);
    }

    int OpenExclusive(char letter, uint32_t& error) override {
        // No sharing: a second program's open fails with a sharing
        // violation (EBUSY) while the job runs.
        const int handle = OpenDevice(letter, GENERIC_READ | GENERIC_WRITE, 0, error);
        if (handle == INVALID_HANDLE)
            return INVALID_HANDLE;
        // A mounted file system on the disc is locked out too where the
        // volume allows it; a blank disc has no volume to lock.
        DWORD unused = 0;
        DeviceIoControl(ToHandle(handle), FSCTL_LOCK_VOLUME, nullptr, 0, nullptr, 0, &unused,
                        nullptr);
        return handle;
    }

    bool GetScsiAddress(int handle, TScsiAddress& address) override {
        SCSI_ADDRESS a{};
        a.Length = sizeof a;
        DWORD returned = 0;
        if (handle == INVALID_HANDLE ||
            !DeviceIoControl(ToHandle(handle), IOCTL_SCSI_GET_ADDRESS, nullptr, 0, &a, sizeof a,
                             &returned, nullptr))
            return false;
        address.PortNumber = a.PortNumber;
        address.PathId = a.PathId;
        address.TargetId = a.TargetId;
        address.Lun = a.Lun;
        return true;
    }

    bool PassThrough(int handle, TPassThroughBlock& block, uint32_t& error) override {
        win::TSptdWithSense request;
        win::PackPassThrough(block, request);
        DWORD returned = 0;
        if (!DeviceIoControl(ToHandle(handle), IOCTL_SCSI_PASS_THROUGH_DIRECT, &request,
                             sizeof request, &request, sizeof request, &returned, nullptr)) {
            error = GetLastError();
            return false;
        }
        win::UnpackPassThrough(request, block);
        error = 0;
        return true;
    }

    bool Close(int handle) override {
        if (handle == INVALID_HANDLE)
            return false;
        DWORD unused = 0;
        DeviceIoControl(ToHandle(handle), FSCTL_UNLOCK_VOLUME, nullptr, 0, nullptr, 0, &unused,
                        nullptr);
        return CloseHandle(ToHandle(handle)) != 0;
    }
};

}  // namespace

namespace win {

void PackPassThrough(const TPassThroughBlock& block, TSptdWithSense& request) {
    std::memset(&request, 0, sizeof request);
    SCSI_PASS_THROUGH_DIRECT& s = request.Sptd;
    s.Length = sizeof(SCSI_PASS_THROUGH_DIRECT);
    s.CdbLength = block.CdbLength > sizeof s.Cdb ? sizeof s.Cdb : block.CdbLength;
    std::memcpy(s.Cdb, block.Cdb, s.CdbLength);
    switch (block.Direction) {
        case TDataDirection::In:
            s.DataIn = SCSI_IOCTL_DATA_IN;
            break;
        case TDataDirection::Out:
            s.DataIn = SCSI_IOCTL_DATA_OUT;
            break;
        case TDataDirection::None:
            s.DataIn = SCSI_IOCTL_DATA_UNSPECIFIED;
            break;
    }
    s.DataTransferLength = block.DataBuffer ? block.DataTransferLength : 0;
    s.DataBuffer = s.DataTransferLength ? block.DataBuffer : nullptr;
    s.TimeOutValue = block.TimeOutSeconds;
    s.SenseInfoLength = sizeof request.Sense;
    s.SenseInfoOffset = offsetof(TSptdWithSense, Sense);
}

void UnpackPassThrough(const TSptdWithSense& reply, TPassThroughBlock& block) {
    const SCSI_PASS_THROUGH_DIRECT& s = reply.Sptd;
    block.ScsiStatus = s.ScsiStatus;
    // Windows reports no adapter or driver status of its own; a failure of
    // either fails the DeviceIoControl call instead.
    block.HostStatus = 0;
    block.DriverStatus = 0;
    // The driver lowers DataTransferLength to what was moved.
    const uint32_t asked = block.DataBuffer ? block.DataTransferLength : 0;
    block.Residual = s.DataTransferLength < asked ? int32_t(asked - s.DataTransferLength) : 0;
    // SenseInfoLength comes back as the bytes of sense written (never more
    // than the buffer holds, whatever a driver says).
    const uint8_t sense =
        s.SenseInfoLength > sizeof reply.Sense ? uint8_t(sizeof reply.Sense) : s.SenseInfoLength;
    block.SenseLength = sense < sizeof block.Sense ? sense : uint8_t(sizeof block.Sense);
    std::memset(block.Sense, 0, sizeof block.Sense);
    std::memcpy(block.Sense, reply.Sense, block.SenseLength);
}

}  // namespace win

TSystemDrives& HostSystemDrives() {
    static TWindowsSystemDrives drives;
    return drives;
}

std::string DevicePathOfLetter(char letter) {
    if (letter < FIRST_DRIVE_LETTER || letter > LAST_DRIVE_LETTER)
        return {};
    return std::string("\\\\.\\") + letter + ":";
}

}  // namespace tessor::drive
