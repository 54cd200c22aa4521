// Preparing a drive for writing and driving the recording: the write
// parameters page, speeds, WRITE (10), and the commands that reserve,
// close, synchronise, format and blank.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "engine/drive/SCSIDefs.h"

namespace tessor::drive {

// FORMAT UNIT parameter lists (MMC: 4-byte header, one format descriptor).
using TFormatList = std::array<uint8_t, 12>;
// DVD-RAM full format: 2,236,704 blocks of 2048 bytes, type 00h.
constexpr TFormatList FORMAT_DVD_RAM_FULL = {0x00, 0x82, 0x00, 0x08, 0x00, 0x22,
                                             0x21, 0x20, 0x00, 0x00, 0x08, 0x00};
// DVD+RW format: 2,295,104 blocks, type 26h.
constexpr TFormatList FORMAT_DVD_PLUS_RW = {0x00, 0x82, 0x00, 0x08, 0x00, 0x23,
                                            0x05, 0x40, 0x98, 0x00, 0x00, 0x00};
// BD-RE quick format: 640 blocks, type 30h, parameter 001000h.
constexpr TFormatList FORMAT_BD_RE_QUICK = {0x00, 0x82, 0x00, 0x08, 0x00, 0x00,
                                            0x02, 0x80, 0xC0, 0x00, 0x10, 0x00};
// DVD-RW quick format of 1000 blocks (type 15h, DCRT set).
constexpr TFormatList FORMAT_DVD_RW_QUICK_1000 = {0x00, 0xA2, 0x00, 0x08, 0x00, 0x00,
                                                  0x03, 0xE8, 0x54, 0x00, 0x00, 0x10};
// DVD-RW quick format (type 15h, 0 blocks).
constexpr TFormatList FORMAT_DVD_RW_QUICK = {0x00, 0x82, 0x00, 0x08, 0x00, 0x00,
                                             0x00, 0x00, 0x54, 0x00, 0x00, 0x10};
// DVD-RW quick grow (type 13h, 0 blocks).
constexpr TFormatList FORMAT_DVD_RW_QUICK_GROW = {0x00, 0x82, 0x00, 0x08, 0x00, 0x00,
                                                  0x00, 0x00, 0x4C, 0x00, 0x00, 0x10};
// The first 16 bytes of every write parameters page the engine builds.
constexpr std::array<uint8_t, 16> WRITE_PARAMETERS_TEMPLATE = {
    0x05, 0x32, 0x42, 0xC4, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x96};

// MODE SELECT (10), page format; good means status 1 or 0.
bool ModeSelect10(TSCSIDevice& device, std::span<uint8_t> buffer, uint16_t length);
// SET CD SPEED in kB/s; 0 asks for the fastest (sent as FFFFh).
bool SetCdSpeed(TSCSIDevice& device, uint16_t readSpeed, uint16_t writeSpeed);
// WRITE (10) of blocks 2048-byte blocks from lba; byteCount bytes go out.
bool Write10(TSCSIDevice& device, uint32_t lba, uint16_t blocks, const void* buffer,
             uint32_t byteCount);
// SYNCHRONIZE CACHE; good means status 1 or 0.
bool SynchronizeCache(TSCSIDevice& device, bool immediate);
// REZERO UNIT.
bool RezeroUnit(TSCSIDevice& device);
// CLOSE TRACK/SESSION with any function; good means status 1 or 0.
bool CloseTrackSession(TSCSIDevice& device, bool immediate, uint8_t function, uint8_t number);
// CLOSE TRACK/SESSION: close track (function 1) or close session (2).
bool CloseTrackOrSession(TSCSIDevice& device, bool closeTrack, bool immediate, uint8_t number);
// RESERVE TRACK of a number of blocks.
bool ReserveTrack(TSCSIDevice& device, uint32_t blocks);
// SEND DVD STRUCTURE of a format.
bool SendDvdStructure(TSCSIDevice& device, uint8_t format, std::span<uint8_t> buffer,
                      uint16_t length);
// SET STREAMING with a performance descriptor.
bool SetStreaming(TSCSIDevice& device, std::span<uint8_t> buffer, uint16_t length);
// FORMAT UNIT; good means status 1 or 0.
bool FormatUnit(TSCSIDevice& device, uint8_t formatByte, std::span<const uint8_t> parameterList,
                uint16_t length);
// BLANK, immediate: minimal when quick, else full; good means status 1 or 0.
bool Blank(TSCSIDevice& device, bool quick);

// Reads the drive's write parameters page (05h), sets it for the medium and
// the options and sends it back; keeps the page built in WriteParametersPage.
// False when the drive returns no page 05h or refuses the new one.
bool SetWriteParameters(TSCSIDevice& device, bool testWrite, bool burnProof, bool keepOpen,
                        uint8_t mediaType);
// Remembers both speeds and sends them.
bool SetSpeeds(TSCSIDevice& device, uint16_t readSpeed, uint16_t writeSpeed);
// Sends the current UTC time as the DVD-R/-RW time stamp (SEND DVD
// STRUCTURE format 0Fh, "YYYYMMDDhhmmss" in bytes 8-21).
bool SendTimeStamp(TSCSIDevice& device);
// SET STREAMING for LBAs 0..endLba with read and write rates (kB per time
// in ms).
bool SetPerformance(TSCSIDevice& device, uint32_t endLba, uint32_t readSize, uint32_t writeSize,
                    uint32_t readTime, uint32_t writeTime);

}  // namespace tessor::drive
