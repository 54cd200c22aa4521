#include "engine/drive/WriteControl.h"

#include <cstring>
#include <ctime>

#include "engine/drive/CommandHelpers.h"
#include "engine/drive/Consts.h"
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

// Page 05h fields (MMC numbering).
constexpr uint8_t BUFE = 0x40;
constexpr uint8_t LS_V = 0x20;
constexpr uint8_t TEST_WRITE = 0x10;
constexpr uint8_t FIXED_PACKET = 0x20;

void SetWriteType(uint8_t* page, uint8_t type) {
    page[2] = uint8_t((page[2] & 0xF0) | type);
}
void SetTrackMode(uint8_t* page, uint8_t mode) {
    page[3] = uint8_t((page[3] & 0xF0) | mode);
}
void SetMultiSession(uint8_t* page, bool open) {
    page[3] = uint8_t((page[3] & 0x3F) | (open ? 0xC0 : 0x00));
}
void SetFixedPacket(uint8_t* page, bool on) {
    page[3] = uint8_t(on ? page[3] | FIXED_PACKET : page[3] & ~FIXED_PACKET);
}
void SetLinkSizeValid(uint8_t* page, bool on) {
    page[2] = uint8_t(on ? page[2] | LS_V : page[2] & ~LS_V);
}

}  // namespace

bool ModeSelect10(TSCSIDevice& device, std::span<uint8_t> buffer, uint16_t length) {
    if (!Fits(buffer, length))
        return false;
    return GoodOrPending(RunCommand(device, FLAGS_DATA_OUT,
                                    {0x55, 0x10, 0, 0, 0, 0, 0, Hi(length), Lo(length), 0},
                                    buffer.data(), length));
}

bool SetCdSpeed(TSCSIDevice& device, uint16_t readSpeed, uint16_t writeSpeed) {
    const uint16_t r = readSpeed == 0 ? 0xFFFF : readSpeed;
    const uint16_t w = writeSpeed == 0 ? 0xFFFF : writeSpeed;
    return Good(RunCommand(device, FLAGS_NO_DATA,
                           {0xBB, 0x01, Hi(r), Lo(r), Hi(w), Lo(w), 0, 0, 0, 0, 0, 0}));
}

bool Write10(TSCSIDevice& device, uint32_t lba, uint16_t blocks, const void* buffer,
             uint32_t byteCount) {
    if (byteCount != 0 && buffer == nullptr)
        return false;
    return Good(RunCommand(device, FLAGS_DATA_OUT,
                           {0x2A, 0, uint8_t(lba >> 24), uint8_t(lba >> 16), uint8_t(lba >> 8),
                            uint8_t(lba), 0, Hi(blocks), Lo(blocks), 0},
                           const_cast<void*>(buffer), byteCount));
}

bool SynchronizeCache(TSCSIDevice& device, bool immediate) {
    return GoodOrPending(RunCommand(
        device, FLAGS_NO_DATA, {0x35, uint8_t(immediate ? 0x02 : 0x00), 0, 0, 0, 0, 0, 0, 0, 0}));
}

bool RezeroUnit(TSCSIDevice& device) {
    return Good(RunCommand(device, FLAGS_NO_DATA, {0x01, 0, 0, 0, 0, 0}));
}

bool CloseTrackSession(TSCSIDevice& device, bool immediate, uint8_t function, uint8_t number) {
    return GoodOrPending(
        RunCommand(device, FLAGS_NO_DATA,
                   {0x5B, uint8_t(immediate ? 0x01 : 0x00), function, 0, 0, number, 0, 0, 0, 0}));
}

bool CloseTrackOrSession(TSCSIDevice& device, bool closeTrack, bool immediate, uint8_t number) {
    const uint8_t function = closeTrack ? CLOSE_TRACK : CLOSE_SESSION;
    return Good(
        RunCommand(device, FLAGS_NO_DATA,
                   {0x5B, uint8_t(immediate ? 0x01 : 0x00), function, 0, 0, number, 0, 0, 0, 0}));
}

bool ReserveTrack(TSCSIDevice& device, uint32_t blocks) {
    return Good(RunCommand(device, FLAGS_NO_DATA,
                           {0x53, 0, 0, 0, 0, uint8_t(blocks >> 24), uint8_t(blocks >> 16),
                            uint8_t(blocks >> 8), uint8_t(blocks), 0}));
}

bool SendDvdStructure(TSCSIDevice& device, uint8_t format, std::span<uint8_t> buffer,
                      uint16_t length) {
    if (!Fits(buffer, length))
        return false;
    return Good(RunCommand(device, FLAGS_DATA_OUT,
                           {0xBF, 0, 0, 0, 0, 0, 0, format, Hi(length), Lo(length), 0, 0},
                           buffer.data(), length));
}

bool SetStreaming(TSCSIDevice& device, std::span<uint8_t> buffer, uint16_t length) {
    if (!Fits(buffer, length))
        return false;
    return Good(RunCommand(device, FLAGS_DATA_OUT,
                           {0xB6, 0, 0, 0, 0, 0, 0, 0, 0, Hi(length), Lo(length), 0}, buffer.data(),
                           length));
}

bool FormatUnit(TSCSIDevice& device, uint8_t formatByte, std::span<const uint8_t> parameterList,
                uint16_t length) {
    if (!Fits(parameterList, length))
        return false;
    return GoodOrPending(RunCommand(device, FLAGS_DATA_OUT, {0x04, formatByte, 0, 0, 0, 0},
                                    const_cast<uint8_t*>(parameterList.data()), length));
}

bool Blank(TSCSIDevice& device, bool quick) {
    return GoodOrPending(RunCommand(
        device, FLAGS_NO_DATA, {0xA1, uint8_t(quick ? 0x11 : 0x10), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

bool SetWriteParameters(TSCSIDevice& device, bool testWrite, bool burnProof, bool keepOpen,
                        uint8_t mediaType) {
    uint8_t* page = device.WriteParametersPage;
    std::memset(page, 0, sizeof device.WriteParametersPage);
    uint8_t* reply = device.TransferBuffer;
    constexpr uint16_t replyLength = 512;
    std::memset(reply, 0, replyLength);
    if (!ModeSense10(device, {reply, replyLength}, replyLength, 0x05, false))
        return false;

    // Behind the 8-byte header, or behind one block descriptor as well. The
    // top bit of the page code (PS) says nothing about the page.
    const size_t header = (reply[8] & 0x3F) == 0x05 ? 8 : 16;
    if ((reply[header] & 0x3F) != 0x05)
        return false;

    std::memcpy(page, WRITE_PARAMETERS_TEMPLATE.data(), WRITE_PARAMETERS_TEMPLATE.size());
    page[0] = 0x05;
    page[1] = reply[header + 1];
    SetWriteType(page, 1);                    // track at once
    page[4] = uint8_t((page[4] & 0xF0) | 8);  // mode 1, 2048-byte blocks
    page[8] = 0;                              // session format: CD-DA/CD-ROM
    SetTrackMode(page, 4);

    switch (mediaType) {
        case MT_DDCD_R:
        case MT_DDCD_RW:
            SetWriteType(page, 2);
            SetTrackMode(page, 5);
            break;
        case MT_DVD_R:
        case MT_RESERVED_7:
        case MT_DVD_RW_RO:
        case MT_DVD_RW_SEQ:
            SetWriteType(page, 0);
            SetTrackMode(page, 5);
            break;
        default:
            break;
    }

    if (!testWrite)
        SetMultiSession(page, keepOpen);

    auto setPackets = [page](bool fixed, uint32_t packetSize, uint8_t linkSize) {
        SetFixedPacket(page, fixed);
        PutBE32(page + 10, packetSize);
        page[5] = linkSize;
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
            SetWriteType(page, 2);
            SetTrackMode(page, 4);
            page[6] = 0;
            setPackets(false, 0, 16);
            break;
        case MT_DVD_PLUS_R:
            SetWriteType(page, 2);
            SetTrackMode(page, 4);
            page[6] = 0;
            if (keepOpen)
                setPackets(true, 16, 16);
            else
                setPackets(false, 0, 0);
            break;
        case MT_DVD_PLUS_R_DL:
            SetWriteType(page, 2);
            SetTrackMode(page, 4);
            page[6] = 0;
            setPackets(false, 0, 0);
            SetMultiSession(page, keepOpen);
            break;
        default:
            break;
    }

    // Buffer-underrun-free recording only when asked for and the drive has
    // it; a drive without it may refuse the page or fail the write.
    const bool underrunFree = (device.CapabilitiesPage[4] & 0x80) != 0;
    page[2] = uint8_t(burnProof && underrunFree ? page[2] | BUFE : page[2] & ~BUFE);
    PutBE16(page + 14, 150);
    if (testWrite)
        page[2] |= TEST_WRITE;

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
    return SendDvdStructure(device, 0x0F, {list, 22}, 22);
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
