#include "engine/drive/DriveClaim.h"
#include "engine/drive/DriveAccess.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>

namespace tessor::drive {

namespace {

bool Fail(TSCSIDevice& device, TClaimFailure failure, std::string detail) {
    device.ClaimFailure = failure;
    device.ClaimDetail = std::move(detail);
    return false;
}

// The lock file of a drive behind an ASPI library.
std::string AspiLockFile(const TSCSIDevice& device) {
    if (device.AspiLockFile) {
        std::string named = device.AspiLockFile(device.HostAdapter, device.TargetId, device.Lun);
        if (!named.empty())
            return named;
    }
    const std::string folder = LockFolder();
    size_t library = std::hash<std::string>{}(device.AspiLibraryName);
    return folder + "aspi-" + std::to_string(library) + "-" + std::to_string(device.HostAdapter) +
           "-" + std::to_string(device.TargetId) + "-" + std::to_string(device.Lun) + ".lock";
}

bool ClaimSystemDrive(TSCSIDevice& device) {
    const std::string path = DevicePathOfLetter(device.DriveLetter);
    uint32_t error = 0;
    int fd = device.System->OpenExclusive(device.DriveLetter, error);
    if (fd == INVALID_HANDLE) {
        if (error == EBUSY || error == EWOULDBLOCK) {
            return Fail(device, TClaimFailure::Busy, path + ": a write, an erase or a mount");
        }
        if (error == EACCES || error == EPERM || error == EROFS) {
            return Fail(device, TClaimFailure::ReadOnly,
                        "writing needs read-write access to " + path + WriteAccessHint(path));
        }
        return Fail(device, TClaimFailure::Other, path + ": " + std::strerror(int(error)));
    }
    device.ClaimHandle = fd;
    return true;
}

bool ClaimAspiDrive(TSCSIDevice& device) {
    const std::string path = AspiLockFile(device);
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return Fail(device, TClaimFailure::Other, path + ": " + std::strerror(errno));
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK)
            return Fail(device, TClaimFailure::Busy, "a write or an erase");
        return Fail(device, TClaimFailure::Other, path + ": " + std::strerror(error));
    }
    device.ClaimLockFd = fd;
    return true;
}

}  // namespace

bool ClaimDevice(TSCSIDevice& device) {
    std::lock_guard lock(device.ClaimMutex);
    device.ClaimFailure = TClaimFailure::None;
    device.ClaimDetail.clear();
    if (device.ClaimCount > 0) {
        ++device.ClaimCount;
        return true;
    }
    if (device.TransportReady == 0 || device.HostAdapter == NO_ADDRESS)
        return Fail(device, TClaimFailure::Other, "no drive is selected");
    bool ok = device.UsePassThrough == 1 ? ClaimSystemDrive(device) : ClaimAspiDrive(device);
    if (ok)
        device.ClaimCount = 1;
    return ok;
}

void ReleaseDevice(TSCSIDevice& device) {
    std::lock_guard lock(device.ClaimMutex);
    if (device.ClaimCount == 0 || --device.ClaimCount > 0)
        return;
    if (device.ClaimHandle != INVALID_HANDLE) {
        device.System->Close(device.ClaimHandle);
        device.ClaimHandle = INVALID_HANDLE;
    }
    if (device.ClaimLockFd >= 0) {
        ::close(device.ClaimLockFd);  // closing releases the flock
        device.ClaimLockFd = -1;
    }
}

}  // namespace tessor::drive
