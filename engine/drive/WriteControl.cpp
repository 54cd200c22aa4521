#include "engine/drive/WriteControl.h"

#include <cstring>
#include <ctime>

#include "engine/drive/CommandHelpers.h"
#include "engine/drive/Consts.h"
#include "engine/drive/MMC.h"
#include "engine/drive/Queries.h"

namespace tessor::drive {

using namespace detail;

namespace {

bool Fits(std::span<const uint8_t> buffer, size_t length) {
    return length <= buffer.size() && (length == 0 || buffer.data() != nullptr);
}

uint8_t Hi(uint16_t v) {
    return uint8_t(v >> 8);
}
uint8_t Lo(uint16_t v) {
    return uint8_t(v);
}

// Write parameters page: the bytes the engine sets (MMC-5, mode page 05h).
constexpr size_t WP_TYPE_BYTE = 2;        // BUFE, LS_V, test write, write type
constexpr size_t WP_TRACK_BYTE = 3;       // multi-session, FP, track mode
constexpr size_t WP_DATA_BLOCK_BYTE = 4;  // data block type
constexpr size_t WP_LINK_SIZE_BYTE = 5;   //
constexpr size_t WP_RESERVED_BYTE = 6;    //
constexpr size_t WP_SESSION_FORMAT_BYTE = 8;
constexpr size_t WP_PACKET_SIZE = 10;         // 4 bytes
constexpr size_t WP_AUDIO_PAUSE_LENGTH = 14;  // 2 bytes
// Blocks of pause before a track, the standard two seconds.
constexpr uint16_t AUDIO_PAUSE_BLOCKS = 150;

void SetWriteType(uint8_t* page, uint8_t type) {
    page[WP_TYPE_BYTE] = uint8_t((page[WP_TYPE_BYTE] & 0xF0) | type);
}
void SetTrackMode(uint8_t* page, uint8_t mode) {
    page[WP_TRACK_BYTE] = uint8_t((page[WP_TRACK_BYTE] & 0xF0) | mode);
}
void SetDataBlockType(uint8_t* page, uint8_t type) {
    page[WP_DATA_BLOCK_BYTE] = uint8_t((page[WP_DATA_BLOCK_BYTE] & 0xF0) | type);
}
void SetMultiSession(uint8_t* page, bool open) {
    page[WP_TRACK_BYTE] =
        uint8_t((page[WP_TRACK_BYTE] & 0x3F) | (open ? WP_MULTI_SESSION_NEXT : 0x00));
}
void SetFlag(uint8_t* page, size_t byte, uint8_t flag, bool on) {
    page[byte] = uint8_t(on ? page[byte] | flag : page[byte] & ~flag);
}
void SetFixedPacket(uint8_t* page, bool on) {
    SetFlag(page, WP_TRACK_BYTE, WP_FIXED_PACKET, on);
}
void SetLinkSizeValid(uint8_t* page, bool on) {
    SetFlag(page, WP_TYPE_BYTE, WP_LS_V, on);
}

}  // namespace

bool ModeSelect10(TSCSIDevice& device, std::span<uint8_t> buffer, uint16_t length) {
    if (!Fits(buffer, length))
        return false;
    return GoodOrPending(
        RunCommand(device, FLAGS_DATA_OUT,
                   {OP_MODE_SELECT_10, MODE_SELECT_PF, 0, 0, 0, 0, 0, Hi(length), Lo(length), 0},
                   buffer.data(), length));
}

bool SetCdSpeed(TSCSIDevice& device, uint16_t readSpeed, uint16_t writeSpeed) {
    const uint16_t r = readSpeed == 0 ? CD_SPEED_MAX : readSpeed;
    const uint16_t w = writeSpeed == 0 ? CD_SPEED_MAX : writeSpeed;
    return Good(RunCommand(
        device, FLAGS_NO_DATA,
        {OP_SET_CD_SPEED, CD_SPEED_PURE_CAV, Hi(r), Lo(r), Hi(w), Lo(w), 0, 0, 0, 0, 0, 0}));
}

bool Write10(TSCSIDevice& device, uint32_t lba, uint16_t blocks, const void* buffer,
             uint32_t byteCount) {
    if (byteCount != 0 && buffer == nullptr)
        return false;
    return Good(RunCommand(device, FLAGS_DATA_OUT,
                           {OP_WRITE_10, 0, uint8_t(lba >> 24), uint8_t(lba >> 16),
                            uint8_t(lba >> 8), uint8_t(lba), 0, Hi(blocks), Lo(blocks), 0},
                           const_cast<void*>(buffer), byteCount));
}

bool SynchronizeCache(TSCSIDevice& device, bool immediate) {
    return GoodOrPending(RunCommand(
        device, FLAGS_NO_DATA,
        {OP_SYNCHRONIZE_CACHE, uint8_t(immediate ? SYNC_CACHE_IMMED : 0), 0, 0, 0, 0, 0, 0, 0, 0}));
}

bool RezeroUnit(TSCSIDevice& device) {
    return Good(RunCommand(device, FLAGS_NO_DATA, {OP_REZERO_UNIT, 0, 0, 0, 0, 0}));
}

namespace {
uint8_t SendClose(TSCSIDevice& device, bool immediate, uint8_t function, uint8_t number) {
    return RunCommand(device, FLAGS_NO_DATA,
                      {OP_CLOSE_TRACK_SESSION, uint8_t(immediate ? CLOSE_IMMED : 0), function, 0, 0,
                       number, 0, 0, 0, 0});
}
}  // namespace

bool CloseTrackSession(TSCSIDevice& device, bool immediate, uint8_t function, uint8_t number) {
    return GoodOrPending(SendClose(device, immediate, function, number));
}

bool CloseTrackOrSession(TSCSIDevice& device, bool closeTrack, bool immediate, uint8_t number) {
    return Good(SendClose(device, immediate, closeTrack ? CLOSE_TRACK : CLOSE_SESSION, number));
}

bool ReserveTrack(TSCSIDevice& device, uint32_t blocks) {
    return Good(RunCommand(device, FLAGS_NO_DATA,
                           {OP_RESERVE_TRACK, 0, 0, 0, 0, uint8_t(blocks >> 24),
                            uint8_t(blocks >> 16), uint8_t(blocks >> 8), uint8_t(blocks), 0}));
}

bool SendDvdStructure(TSCSIDevice& device, uint8_t format, std::span<uint8_t> buffer,
                      uint16_t length) {
    if (!Fits(buffer, length))
        return false;
    return Good(
        RunCommand(device, FLAGS_DATA_OUT,
                   {OP_SEND_DVD_STRUCTURE, 0, 0, 0, 0, 0, 0, format, Hi(length), Lo(length), 0, 0},
                   buffer.data(), length));
}

bool SetStreaming(TSCSIDevice& device, std::span<uint8_t> buffer, uint16_t length) {
    if (!Fits(buffer, length))
        return false;
    return Good(RunCommand(device, FLAGS_DATA_OUT,
                           {OP_SET_STREAMING, 0, 0, 0, 0, 0, 0, 0, 0, Hi(length), Lo(length), 0},
                           buffer.data(), length));
}

bool FormatUnit(TSCSIDevice& device, uint8_t formatByte, std::span<const uint8_t> parameterList,
                uint16_t length) {
    if (!Fits(parameterList, length))
        return false;
    return GoodOrPending(RunCommand(device, FLAGS_DATA_OUT,
                                    {OP_FORMAT_UNIT, formatByte, 0, 0, 0, 0},
                                    const_cast<uint8_t*>(parameterList.data()), length));
}

bool Blank(TSCSIDevice& device, bool quick) {
    const uint8_t type = quick ? BLANK_MINIMAL : BLANK_FULL;
    return GoodOrPending(
        RunCommand(device, FLAGS_NO_DATA,
                   {OP_BLANK, uint8_t(BLANK_IMMED | type), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

bool SetWriteParameters(TSCSIDevice& device, bool testWrite, bool burnProof, bool keepOpen,
                        uint8_t mediaType) {
    uint8_t* page = device.WriteParametersPage;
    std::memset(page, 0, sizeof device.WriteParametersPage);
    uint8_t* reply = device.TransferBuffer;
    constexpr uint16_t replyLength = 512;
    std::memset(reply, 0, replyLength);
    if (!ModeSense10(device, {reply, replyLength}, replyLength, PAGE_WRITE_PARAMETERS, false))
        return false;

    // Behind the 8-byte header, or behind one block descriptor as well. The
    // top bit of the page code (PS) says nothing about the page.
    const size_t header = (reply[8] & PAGE_CODE_MASK) == PAGE_WRITE_PARAMETERS ? 8 : 16;
    if ((reply[header] & PAGE_CODE_MASK) != PAGE_WRITE_PARAMETERS)
        return false;

    std::memcpy(page, WRITE_PARAMETERS_TEMPLATE.data(), WRITE_PARAMETERS_TEMPLATE.size());
    page[0] = PAGE_WRITE_PARAMETERS;
    page[1] = reply[header + 1];
    SetWriteType(page, WRITE_TYPE_TAO);
    SetDataBlockType(page, DATA_BLOCK_MODE_1);
    page[WP_SESSION_FORMAT_BYTE] = SESSION_FORMAT_CD_ROM;
    SetTrackMode(page, TRACK_MODE_DATA);

    switch (mediaType) {
        case MT_DDCD_R:
        case MT_DDCD_RW:
            SetWriteType(page, WRITE_TYPE_SAO);
            SetTrackMode(page, TRACK_MODE_DATA_INCREMENTAL);
            break;
        case MT_DVD_R:
        case MT_RESERVED_7:
        case MT_DVD_RW_RO:
        case MT_DVD_RW_SEQ:
            SetWriteType(page, WRITE_TYPE_INCREMENTAL);
            SetTrackMode(page, TRACK_MODE_DATA_INCREMENTAL);
            break;
        default:
            break;
    }

    if (!testWrite)
        SetMultiSession(page, keepOpen);

    auto setPackets = [page](bool fixed, uint32_t packetSize, uint8_t linkSize) {
        SetFixedPacket(page, fixed);
        PutBE32(page + WP_PACKET_SIZE, packetSize);
        page[WP_LINK_SIZE_BYTE] = linkSize;
        SetLinkSizeValid(page, true);
    };
    switch (mediaType) {
        case MT_DVD_R:
            SetMultiSession(page, true);
            setPackets(true, 16, 16);
            break;
        case MT_DVD_RW_RO:
        case MT_DVD_RW_SEQ:
            SetMultiSession(page, true);
            setPackets(false, 16, 16);
            break;
        case MT_DVD_PLUS_RW:
            SetWriteType(page, WRITE_TYPE_SAO);
            SetTrackMode(page, TRACK_MODE_DATA);
            page[WP_RESERVED_BYTE] = 0;
            setPackets(false, 0, 16);
            break;
        case MT_DVD_PLUS_R:
            SetWriteType(page, WRITE_TYPE_SAO);
            SetTrackMode(page, TRACK_MODE_DATA);
            page[WP_RESERVED_BYTE] = 0;
            if (keepOpen)
                setPackets(true, 16, 16);
            else
                setPackets(false, 0, 0);
            break;
        case MT_DVD_PLUS_R_DL:
            SetWriteType(page, WRITE_TYPE_SAO);
            SetTrackMode(page, TRACK_MODE_DATA);
            page[WP_RESERVED_BYTE] = 0;
            setPackets(false, 0, 0);
            SetMultiSession(page, keepOpen);
            break;
        default:
            break;
    }

    // Buffer-underrun-free recording only when asked for and the drive has
    // it; a drive without it may refuse the page or fail the write.
    const bool underrunFree = (device.CapabilitiesPage[CAP_UNDERRUN_BYTE] & CAP_BUF) != 0;
    SetFlag(page, WP_TYPE_BYTE, WP_BUFE, burnProof && underrunFree);
    PutBE16(page + WP_AUDIO_PAUSE_LENGTH, AUDIO_PAUSE_BLOCKS);
    if (testWrite)
        SetFlag(page, WP_TYPE_BYTE, WP_TEST_WRITE, true);

    // The page as long as the drive says it is, over the drive's own reply;
    // header, block descriptor and the page's last two bytes stay the drive's.
    const size_t pageLength = page[1];
    const size_t copied = pageLength < sizeof device.WriteParametersPage
                              ? pageLength
                              : sizeof device.WriteParametersPage;
    std::memcpy(reply + header, page, copied);
    // The mode data length is reserved in MODE SELECT (MMC, SPC 7.5.5):
    // strict drives refuse a page sent back with the length MODE SENSE gave.
    reply[0] = 0;
    reply[1] = 0;
    return ModeSelect10(device, {reply, replyLength}, uint16_t(pageLength + header + 2));
}

bool SetSpeeds(TSCSIDevice& device, uint16_t readSpeed, uint16_t writeSpeed) {
    device.ReadSpeedSetting = readSpeed;
    device.WriteSpeedSetting = writeSpeed;
    return SetCdSpeed(device, readSpeed, writeSpeed);
}

bool SendTimeStamp(TSCSIDevice& device) {
    uint8_t* list = device.TransferBuffer;
    std::memset(list, 0, 22);
    PutBE16(list, 20);
    // The recording time, ASCII YYYYMMDDhhmmss, UTC.
    const time_t now = time(nullptr);
    tm utc{};
    gmtime_r(&now, &utc);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d%02d%02d%02d", (utc.tm_year + 1900) % 10000,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
    std::memcpy(list + 8, stamp, 14);
    return SendDvdStructure(device, DVD_STRUCTURE_TIME_STAMP, {list, 22}, 22);
}

bool SetPerformance(TSCSIDevice& device, uint32_t endLba, uint32_t readSize, uint32_t writeSize,
                    uint32_t readTime, uint32_t writeTime) {
    uint8_t* descriptor = device.TransferBuffer;
    std::memset(descriptor, 0, 28);
    PutBE32(descriptor + 4, 0);
    PutBE32(descriptor + 8, endLba);
    PutBE32(descriptor + 12, readSize);
    PutBE32(descriptor + 16, readTime);
    PutBE32(descriptor + 20, writeSize);
    PutBE32(descriptor + 24, writeTime);
    return SetStreaming(device, {descriptor, 28}, 28);
}

}  // namespace tessor::drive
