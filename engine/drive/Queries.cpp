#include "engine/drive/Queries.h"

#include "engine/platform/Threads.h"

#include <cstring>

#include "engine/drive/CommandHelpers.h"
#include "engine/drive/Consts.h"

namespace tessor::drive {

using namespace detail;

namespace {

bool Fits(std::span<uint8_t> buffer, size_t length) {
    return length <= buffer.size() && (length == 0 || buffer.data() != nullptr);
}

uint8_t Hi(uint16_t v) {
    return uint8_t(v >> 8);
}
uint8_t Lo(uint16_t v) {
    return uint8_t(v);
}

// Where mode page 2Ah starts in a MODE SENSE (10) reply: behind the 8-byte
// header, or behind one 8-byte block descriptor as well; -1 when neither.
int CapabilitiesOffset(const uint8_t* reply) {
    if (reply[8] == 0x2A)
        return 8;
    if (reply[16] == 0x2A)
        return 16;
    return -1;
}

}  // namespace

bool DeviceReady(TSCSIDevice& device) {
    return Good(RunCommand(device, FLAGS_NO_DATA, {0x00, 0, 0, 0, 0, 0}));
}

bool WaitUntilReady(TSCSIDevice& device, uint32_t timeoutMs,
                    const std::function<void()>& whileWaiting) {
    constexpr uint32_t kPollMs = 250;
    constexpr int kMaxAttentions = 8;  // a drive reports each event once
    int attentions = 0;
    for (uint32_t waited = 0;;) {
        if (DeviceReady(device))
            return true;
        const TSense sense = DecodeSense(device.Sense);
        if (sense.Key == SENSE_KEY_UNIT_ATTENTION && attentions++ < kMaxAttentions)
            continue;
        const bool working = device.TargetBusy != 0 ||
                             (sense.Key == SENSE_KEY_NOT_READY && sense.Asc == ASC_NOT_READY &&
                              (sense.Ascq == 0x01 || sense.Ascq == 0x04 || sense.Ascq == 0x07 ||
                               sense.Ascq == 0x08));
        if (!working || waited >= timeoutMs)
            return false;
        if (whileWaiting)
            whileWaiting();
        platform::SleepMs(kPollMs);
        waited += kPollMs;
    }
}

bool Inquiry(TSCSIDevice& device, std::span<uint8_t> buffer) {
    if (!Fits(buffer, 64))
        return false;
    return Good(RunCommand(device, FLAGS_DATA_IN, {0x12, 0, 0, 0, 0x40, 0}, buffer.data(), 64));
}

bool ModeSense10(TSCSIDevice& device, std::span<uint8_t> buffer, uint16_t length, uint8_t page,
                 bool defaultValues) {
    if (!Fits(buffer, length))
        return false;
    const uint8_t pageByte = uint8_t(page | (defaultValues ? 0x80 : 0x00));
    return GoodOrPending(RunCommand(device, FLAGS_DATA_IN,
                                    {0x5A, 0, pageByte, 0, 0, 0, 0, Hi(length), Lo(length), 0},
                                    buffer.data(), length));
}

bool GetConfiguration(TSCSIDevice& device, std::span<uint8_t> buffer, uint16_t length,
                      uint16_t feature) {
    if (!Fits(buffer, length))
        return false;
    return Good(
        RunCommand(device, FLAGS_DATA_IN,
                   {0x46, 0x02, Hi(feature), Lo(feature), 0, 0, 0, Hi(length), Lo(length), 0},
                   buffer.data(), length));
}

bool ReadTocPmaAtip(TSCSIDevice& device, uint8_t format, uint8_t track, bool msf,
                    std::span<uint8_t> buffer, uint8_t length) {
    if (!Fits(buffer, length))
        return false;
    return Good(RunCommand(device, FLAGS_DATA_IN,
                           {0x43, uint8_t(msf ? 0x02 : 0x00), format, 0, 0, 0, track, 0, length, 0},
                           buffer.data(), length));
}

bool ReadDiscInformation(TSCSIDevice& device, std::span<uint8_t> buffer, uint16_t length) {
    if (!Fits(buffer, length))
        return false;
    return Good(RunCommand(device, FLAGS_DATA_IN,
                           {0x51, 0, 0, 0, 0, 0, 0, Hi(length), Lo(length), 0}, buffer.data(),
                           length));
}

bool ReadTrackInformation(TSCSIDevice& device, uint8_t track) {
    TTrackInfo& info = device.TrackInfo;
    if (!Good(RunCommand(device, FLAGS_DATA_IN, {0x52, 0x01, 0, 0, 0, track, 0, 0, 0x26, 0},
                         info.Raw, sizeof info.Raw)))
        return false;
    info.DataLength = GetBE16(info.Raw);
    info.TrackStart = GetBE32(info.Raw + 8);
    info.NextWritable = GetBE32(info.Raw + 12);
    info.FreeBlocks = GetBE32(info.Raw + 16);
    info.FixedPacketSize = GetBE32(info.Raw + 20);
    info.TrackSize = GetBE32(info.Raw + 24);
    info.LastRecorded = GetBE32(info.Raw + 28);
    return true;
}

bool ReadBufferCapacity(TSCSIDevice& device) {
    uint8_t* reply = device.TransferBuffer;
    // Cleared first: a refused command must not turn the data of an earlier
    // command into buffer figures.
    std::memset(reply, 0, 12);
    const bool good =
        Good(RunCommand(device, FLAGS_DATA_IN, {0x5C, 0, 0, 0, 0, 0, 0, 0, 0x20, 0}, reply, 32));
    device.BufferCapacity = GetBE32(reply + 4);
    device.BufferBlank = GetBE32(reply + 8);
    return good;
}

bool LoadTray(TSCSIDevice& device, bool immediate) {
    return Good(
        RunCommand(device, FLAGS_NO_DATA, {0x1B, uint8_t(immediate ? 1 : 0), 0, 0, 0x03, 0}));
}

bool EjectTray(TSCSIDevice& device, bool immediate) {
    return Good(
        RunCommand(device, FLAGS_NO_DATA, {0x1B, uint8_t(immediate ? 1 : 0), 0, 0, 0x02, 0}));
}

bool AllowMediumRemoval(TSCSIDevice& device) {
    return Good(RunCommand(device, FLAGS_NO_DATA, {0x1E, 0, 0, 0, 0, 0}));
}

bool PreventMediumRemoval(TSCSIDevice& device) {
    return Good(RunCommand(device, FLAGS_NO_DATA, {0x1E, 0, 0, 0, 1, 0}));
}

uint32_t DeviceBufferSize(const TSCSIDevice& device) {
    return device.BufferCapacity.load();
}

int32_t DeviceBufferUsed(const TSCSIDevice& device) {
    return int32_t(device.BufferCapacity.load() - device.BufferBlank.load());
}

uint8_t GetMediaType(TSCSIDevice& device) {
    if (GetConfiguration(device, device.ConfigBuffer, sizeof device.ConfigBuffer, 0))
        return MediaTypeOfProfile(GetBE16(device.ConfigBuffer + 6));
    // Drives without GET CONFIGURATION: the ATIP tells a recordable CD.
    uint8_t* atip = device.TransferBuffer;
    std::memset(atip, 0, 30);
    if (ReadTocPmaAtip(device, 4, 0, true, {atip, 30}, 30)) {
        if ((atip[6] & 0x80) == 0)
            return MT_CD_ROM;
        return (atip[6] & 0x40) ? MT_CD_RW : MT_CD_R;
    }
    if (ReadDiscInformation(device, device.DiscInfo, sizeof device.DiscInfo))
        return (device.DiscInfo[2] & 0x10) ? MT_CD_RW : MT_CD_R;
    return DeviceReady(device) ? MT_CD_ROM : MT_NONE;
}

bool ReadCapabilities(TSCSIDevice& device) {
    std::memset(device.CapabilitiesPage, 0, sizeof device.CapabilitiesPage);
    uint8_t* reply = device.TransferBuffer;
    std::span<uint8_t> buffer(reply, 128);
    // A short reply must not leave an earlier command's bytes looking like
    // the page.
    std::memset(reply, 0, 128);
    if (!ModeSense10(device, buffer, 128, 0x2A, true))
        return false;
    auto copyPage = [&] {
        const int offset = CapabilitiesOffset(reply);
        if (offset >= 0)
            std::memcpy(device.CapabilitiesPage, reply + offset, 64);
    };
    copyPage();
    // Current values; when the drive refuses them the default values still
    // in the buffer are taken again.
    ModeSense10(device, buffer, 128, 0x2A, false);
    copyPage();
    for (size_t offset : {CAP_MAX_READ_SPEED, CAP_BUFFER_SIZE, CAP_CURRENT_READ_SPEED,
                          CAP_MAX_WRITE_SPEED, CAP_CURRENT_WRITE_SPEED}) {
        const uint16_t value = GetBE16(device.CapabilitiesPage + offset);
        std::memcpy(device.CapabilitiesPage + offset, &value, 2);
    }
    return true;
}

uint16_t ReadSpeed(TSCSIDevice& device) {
    ReadCapabilities(device);
    return CapabilitiesWord(device, CAP_CURRENT_READ_SPEED);
}

uint16_t MaxWriteSpeed(TSCSIDevice& device) {
    ReadCapabilities(device);
    return CapabilitiesWord(device, CAP_MAX_WRITE_SPEED);
}

uint16_t WriteSpeed(TSCSIDevice& device) {
    ReadCapabilities(device);
    return CapabilitiesWord(device, CAP_CURRENT_WRITE_SPEED);
}

bool IsWriter(const TSCSIDevice& device) {
    return device.CapabilitiesPage[3] != 0;
}

bool DiscErasable(TSCSIDevice& device) {
    const uint8_t media = GetMediaType(device);
    if (media >= MT_DVD_RAM && media <= MT_DVD_PLUS_RW)
        return true;
    if (!ReadDiscInformation(device, device.DiscInfo, sizeof device.DiscInfo))
        return false;
    return (device.DiscInfo[2] & 0x10) != 0;
}

uint8_t SessionCount(TSCSIDevice& device) {
    if (ReadDiscInformation(device, device.DiscInfo, sizeof device.DiscInfo)) {
        // An appendable disc reports its empty next session as well.
        if ((device.DiscInfo[2] & 0x0C) == 0 && device.DiscInfo[4] > 0)
            --device.DiscInfo[4];
        return device.DiscInfo[4];
    }
    return GetMediaType(device) == MT_DVD_RAM ? 1 : 0;
}

uint8_t LastTrackNumber(TSCSIDevice& device) {
    if (ReadDiscInformation(device, device.DiscInfo, sizeof device.DiscInfo))
        return device.DiscInfo[6];
    return 0;
}

}  // namespace tessor::drive
