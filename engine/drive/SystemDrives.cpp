#include "engine/drive/SystemDrives.h"

#include <fcntl.h>
#include <scsi/scsi.h>
#include <scsi/sg.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "engine/drive/DeviceTypes.h"

namespace tessor::drive {

namespace {

// Block major number of the SCSI CD-ROM driver (sr).
constexpr unsigned SCSI_CDROM_MAJOR_NUMBER = 11;

class TLinuxSystemDrives final : public TSystemDrives {
public:
    int DriveType(char letter) override {
        const std::string path = DevicePathOfLetter(letter);
        if (path.empty())
            return DRIVE_NO_ROOT_DIR;
        struct stat info {};
        if (stat(path.c_str(), &info) != 0)
            return DRIVE_NO_ROOT_DIR;
        if (S_ISBLK(info.st_mode) && major(info.st_rdev) == SCSI_CDROM_MAJOR_NUMBER)
            return DRIVE_CDROM;
        return DRIVE_UNKNOWN;
    }

    int Open(char letter, bool readWrite, uint32_t& error) override {
        const std::string path = DevicePathOfLetter(letter);
        if (path.empty()) {
            error = ENOENT;
            return INVALID_HANDLE;
        }
        // Without O_NONBLOCK the CD layer refuses a read-write open of a
        // non-RAM medium (EROFS) and any open of an empty drive (ENOMEDIUM).
        const int fd = open(path.c_str(), (readWrite ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            error = uint32_t(errno);
            return INVALID_HANDLE;
        }
        return fd;
    }

    int OpenExclusive(char letter, uint32_t& error) override {
        const std::string path = DevicePathOfLetter(letter);
        if (path.empty()) {
            error = ENOENT;
            return INVALID_HANDLE;
        }
        const int fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_EXCL | O_CLOEXEC);
        if (fd < 0) {
            error = uint32_t(errno);
            return INVALID_HANDLE;
        }
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            error = uint32_t(errno);
            close(fd);
            return INVALID_HANDLE;
        }
        return fd;
    }

    bool GetScsiAddress(int handle, TScsiAddress& address) override {
        struct {
            int four_in_one;
            int host_unique_id;
        } idlun{};
        int host = 0;
        if (ioctl(handle, SCSI_IOCTL_GET_IDLUN, &idlun) != 0)
            return false;
        if (ioctl(handle, SCSI_IOCTL_GET_BUS_NUMBER, &host) != 0)
            return false;
        address.PortNumber = uint8_t(host);
        address.PathId = uint8_t(idlun.four_in_one >> 16);
        address.TargetId = uint8_t(idlun.four_in_one);
        address.Lun = uint8_t(idlun.four_in_one >> 8);
        return true;
    }

    bool PassThrough(int handle, TPassThroughBlock& block, uint32_t& error) override {
        sg_io_hdr_t header;
        std::memset(&header, 0, sizeof header);
        header.interface_id = 'S';
        switch (block.Direction) {
            case TDataDirection::In:
                header.dxfer_direction = SG_DXFER_FROM_DEV;
                break;
            case TDataDirection::Out:
                header.dxfer_direction = SG_DXFER_TO_DEV;
                break;
            case TDataDirection::None:
                header.dxfer_direction = SG_DXFER_NONE;
                break;
        }
        header.cmd_len = block.CdbLength;
        header.cmdp = block.Cdb;
        header.dxfer_len = block.DataTransferLength;
        header.dxferp = block.DataTransferLength ? block.DataBuffer : nullptr;
        header.mx_sb_len = sizeof block.Sense;
        header.sbp = block.Sense;
        header.timeout = block.TimeOutSeconds * 1000u;
        if (ioctl(handle, SG_IO, &header) != 0) {
            error = uint32_t(errno);
            return false;
        }
        block.ScsiStatus = header.status;
        block.HostStatus = header.host_status;
        block.DriverStatus = header.driver_status;
        block.Residual = header.resid;
        block.SenseLength = header.sb_len_wr;
        error = 0;
        return true;
    }

    bool Close(int handle) override { return close(handle) == 0; }
};

}  // namespace

TSystemDrives& HostSystemDrives() {
    static TLinuxSystemDrives drives;
    return drives;
}

std::string DevicePathOfLetter(char letter) {
    if (letter < FIRST_DRIVE_LETTER || letter > LAST_DRIVE_LETTER)
        return {};
    return "/dev/sr" + std::to_string(letter - FIRST_DRIVE_LETTER);
}

}  // namespace tessor::drive
