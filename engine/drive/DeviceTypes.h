// Drive types of a drive letter and SCSI peripheral device types.
#pragma once

#include <cstdint>

namespace tessor::drive {

// What the system says a drive letter is. Letters C..Z stand for /dev/sr0 ..
// /dev/sr23: a node that exists as an optical block device is DRIVE_CDROM, a
// node that exists as something else DRIVE_UNKNOWN, a missing node
// DRIVE_NO_ROOT_DIR.
constexpr int DRIVE_UNKNOWN = 0;
constexpr int DRIVE_NO_ROOT_DIR = 1;
constexpr int DRIVE_REMOVABLE = 2;
constexpr int DRIVE_FIXED = 3;
constexpr int DRIVE_REMOTE = 4;
constexpr int DRIVE_CDROM = 5;
constexpr int DRIVE_RAMDISK = 6;

// Peripheral device type, INQUIRY byte 0 bits 4-0 (SPC). Byte 0 as a whole
// is 05h only for a connected optical drive (peripheral qualifier 0).
constexpr uint8_t DTYPE_DASD = 0x00;
constexpr uint8_t DTYPE_SEQD = 0x01;
constexpr uint8_t DTYPE_PRNT = 0x02;
constexpr uint8_t DTYPE_PROC = 0x03;
constexpr uint8_t DTYPE_WORM = 0x04;
constexpr uint8_t DTYPE_CDROM = 0x05;
constexpr uint8_t DTYPE_SCAN = 0x06;
constexpr uint8_t DTYPE_OPTI = 0x07;
constexpr uint8_t DTYPE_JUKE = 0x08;
constexpr uint8_t DTYPE_UNKNOWN = 0x1F;

// The first and last drive letters the system scan looks at.
constexpr char FIRST_DRIVE_LETTER = 'C';
constexpr char LAST_DRIVE_LETTER = 'Z';

}  // namespace tessor::drive
