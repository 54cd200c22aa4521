// The system transport on Windows: drive letters whose type is CD-ROM,
// opened as \\.\X:, addressed with IOCTL_SCSI_GET_ADDRESS and driven with
// IOCTL_SCSI_PASS_THROUGH_DIRECT. Handles are kept in the interface's int:
// Windows kernel handles hold only 32 significant bits.
#include "engine/drive/SystemDrives.h"
#include "engine/drive/DeviceTypes.h"  // before windows.h: it defines DRIVE_* as macros
#include "engine/drive/win/Spti.h"

#include <winioctl.h>

#include <cstring>
#include <mutex>
#include <unordered_map>

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

// The adapter's limits for an open drive; zeros when it does not say.
win::TAdapterLimits QueryLimits(int handle) {
    IO_SCSI_CAPABILITIES caps{};
    DWORD returned = 0;
    win::TAdapterLimits limits;
    if (DeviceIoControl(ToHandle(handle), IOCTL_SCSI_GET_CAPABILITIES, nullptr, 0, &caps,
                        sizeof caps, &returned, nullptr) &&
        returned >= offsetof(IO_SCSI_CAPABILITIES, AlignmentMask) + sizeof caps.AlignmentMask) {
        limits.MaximumTransferLength = caps.MaximumTransferLength;
        // Masks are one less than a power of two; anything else is not trusted.
        if ((caps.AlignmentMask & (caps.AlignmentMask + 1)) == 0 && caps.AlignmentMask < 4096)
            limits.AlignmentMask = caps.AlignmentMask;
    }
    return limits;
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
        std::vector<uint8_t> bounce;
        if (!win::PackPassThrough(block, request, LimitsOf(handle), &bounce)) {
            // Longer than the adapter carries: refused here, not cut.
            error = ERROR_INVALID_PARAMETER;
            return false;
        }
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
        {
            std::lock_guard<std::mutex> lock(limitsMutex_);
            limits_.erase(handle);
        }
        DWORD unused = 0;
        DeviceIoControl(ToHandle(handle), FSCTL_UNLOCK_VOLUME, nullptr, 0, nullptr, 0, &unused,
                        nullptr);
        return CloseHandle(ToHandle(handle)) != 0;
    }

private:
    // Asked once per open handle: the drive records share this object.
    win::TAdapterLimits LimitsOf(int handle) {
        std::lock_guard<std::mutex> lock(limitsMutex_);
        auto it = limits_.find(handle);
        if (it == limits_.end())
            it = limits_.emplace(handle, QueryLimits(handle)).first;
        return it->second;
    }

    std::mutex limitsMutex_;
    std::unordered_map<int, win::TAdapterLimits> limits_;
};

}  // namespace

namespace win {

bool PackPassThrough(const TPassThroughBlock& block, TSptdWithSense& request,
                     const TAdapterLimits& limits, std::vector<uint8_t>* bounce) {
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
    if (limits.MaximumTransferLength != 0 && s.DataTransferLength > limits.MaximumTransferLength)
        return false;
    const uintptr_t mask = limits.AlignmentMask;
    if (s.DataBuffer != nullptr && (reinterpret_cast<uintptr_t>(s.DataBuffer) & mask) != 0) {
        if (bounce == nullptr)
            return false;
        bounce->assign(s.DataTransferLength + mask, 0);
        uint8_t* aligned = bounce->data();
        aligned += (mask + 1 - (reinterpret_cast<uintptr_t>(aligned) & mask)) & mask;
        if (block.Direction == TDataDirection::Out)
            std::memcpy(aligned, block.DataBuffer, s.DataTransferLength);
        s.DataBuffer = aligned;
    }
    return true;
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
    // Read through a bounce buffer: what arrived goes to the caller's.
    if (block.Direction == TDataDirection::In && s.DataBuffer != nullptr &&
        s.DataBuffer != block.DataBuffer)
        std::memcpy(block.DataBuffer, s.DataBuffer, asked - uint32_t(block.Residual));
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
