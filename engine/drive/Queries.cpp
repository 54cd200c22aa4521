#include "engine/drive/Queries.h"

#include "engine/platform/Threads.h"

#include <cstring>

#include "engine/drive/CommandHelpers.h"
#include "engine/drive/Consts.h"
#include "engine/drive/MMC.h"
#include "engine/drive/RetryPolicy.h"

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

// ATIP reply byte 6: set on every recordable disc, and the disc type bit
// of a rewritable one.
constexpr uint8_t ATIP_RECORDABLE = 0x80;
constexpr uint8_t ATIP_REWRITABLE = 0x40;

// Where mode page 2Ah starts in a MODE SENSE (10) reply: behind the 8-byte
// header, or behind one 8-byte block descriptor as well; -1 when neither.
int CapabilitiesOffset(const uint8_t* reply) {
    if (reply[8] == PAGE_CAPABILITIES)
        return 8;
    if (reply[16] == PAGE_CAPABILITIES)
        return 16;
    return -1;
}

}  // namespace

bool DeviceReady(TSCSIDevice& device) {
    return Good(RunCommand(device, FLAGS_NO_DATA, {OP_TEST_UNIT_READY, 0, 0, 0, 0, 0}));
}

bool WaitUntilReady(TSCSIDevice& device, uint32_t timeoutMs,
                    const std::function<void()>& whileWaiting) {
    int attentions = 0;
    for (uint32_t waited = 0;;) {
        if (DeviceReady(device))
            return true;
        const TSense sense = DecodeSense(device.Sense);
        if (sense.Key == SENSE_KEY_UNIT_ATTENTION && attentions++ < policy::kReadyMaxUnitAttentions)
            continue;
        if (!policy::StillWorking(sense, device.TargetBusy != 0) || waited >= timeoutMs)
            return false;
        if (whileWaiting)
            whileWaiting();
        platform::SleepMs(policy::kReadyPollMs);
        waited += policy::kReadyPollMs;
    }
}

bool Inquiry(TSCSIDevice& device, std::span<uint8_t> buffer) {
    if (!Fits(buffer, 64))
        return false;
    return Good(RunCommand(device, FLAGS_DATA_IN, {OP_INQUIRY, 0, 0, 0, 64, 0}, buffer.data(), 64));
}

bool ModeSense10(TSCSIDevice& device, std::span<uint8_t> buffer, uint16_t length, uint8_t page,
                 bool defaultValues) {
    if (!Fits(buffer, length))
        return false;
    const uint8_t pageByte = uint8_t(page | (defaultValues ? MODE_SENSE_DEFAULTS : 0));
    return GoodOrPending(
        RunCommand(device, FLAGS_DATA_IN,
                   {OP_MODE_SENSE_10, 0, pageByte, 0, 0, 0, 0, Hi(length), Lo(length), 0},
                   buffer.data(), length));
}

bool GetConfiguration(TSCSIDevice& device, std::span<uint8_t> buffer, uint16_t length,
                      uint16_t feature) {
    if (!Fits(buffer, length))
        return false;
    return Good(RunCommand(device, FLAGS_DATA_IN,
                           {OP_GET_CONFIGURATION, RT_ONE_FEATURE, Hi(feature), Lo(feature), 0, 0, 0,
                            Hi(length), Lo(length), 0},
                           buffer.data(), length));
}

bool ReadTocPmaAtip(TSCSIDevice& device, uint8_t format, uint8_t track, bool msf,
                    std::span<uint8_t> buffer, uint8_t length) {
    if (!Fits(buffer, length))
        return false;
    return Good(RunCommand(
        device, FLAGS_DATA_IN,
        {OP_READ_TOC_PMA_ATIP, uint8_t(msf ? TOC_MSF : 0), format, 0, 0, 0, track, 0, length, 0},
        buffer.data(), length));
}

bool ReadDiscInformation(TSCSIDevice& device, std::span<uint8_t> buffer, uint16_t length) {
    if (!Fits(buffer, length))
        return false;
    return Good(RunCommand(device, FLAGS_DATA_IN,
                           {OP_READ_DISC_INFORMATION, 0, 0, 0, 0, 0, 0, Hi(length), Lo(length), 0},
                           buffer.data(), length));
}

bool ReadTrackInformation(TSCSIDevice& device, uint8_t track) {
    TTrackInfo& info = device.TrackInfo;
    if (!Good(RunCommand(device, FLAGS_DATA_IN,
                         {OP_READ_TRACK_INFORMATION, TRACK_INFO_BY_TRACK, 0, 0, 0, track, 0, 0,
                          sizeof info.Raw, 0},
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
    const bool good = Good(RunCommand(
        device, FLAGS_DATA_IN, {OP_READ_BUFFER_CAPACITY, 0, 0, 0, 0, 0, 0, 0, 32, 0}, reply, 32));
    device.BufferCapacity = GetBE32(reply + 4);
    device.BufferBlank = GetBE32(reply + 8);
    return good;
}

bool LoadTray(TSCSIDevice& device, bool immediate) {
    return Good(RunCommand(
        device, FLAGS_NO_DATA,
        {OP_START_STOP_UNIT, uint8_t(immediate ? START_STOP_IMMED : 0), 0, 0, START_STOP_LOAD, 0}));
}

bool EjectTray(TSCSIDevice& device, bool immediate) {
    return Good(RunCommand(device, FLAGS_NO_DATA,
                           {OP_START_STOP_UNIT, uint8_t(immediate ? START_STOP_IMMED : 0), 0, 0,
                            START_STOP_EJECT, 0}));
}

bool AllowMediumRemoval(TSCSIDevice& device) {
    return Good(RunCommand(device, FLAGS_NO_DATA,
                           {OP_PREVENT_ALLOW_MEDIUM_REMOVAL, 0, 0, 0, ALLOW_REMOVAL, 0}));
}

bool PreventMediumRemoval(TSCSIDevice& device) {
    return Good(RunCommand(device, FLAGS_NO_DATA,
                           {OP_PREVENT_ALLOW_MEDIUM_REMOVAL, 0, 0, 0, PREVENT_REMOVAL, 0}));
}

uint32_t DeviceBufferSize(const TSCSIDevice& device) {
    return device.BufferCapacity.load();
}

int32_t DeviceBufferUsed(const TSCSIDevice& device) {
    return int32_t(device.BufferCapacity.load() - device.BufferBlank.load());
}

uint8_t GetMediaType(TSCSIDevice& device) {
    if (GetConfiguration(device, device.ConfigBuffer, sizeof device.ConfigBuffer,
                         FEATURE_PROFILE_LIST))
        return MediaTypeOfProfile(GetBE16(device.ConfigBuffer + 6));
    // Drives without GET CONFIGURATION: the ATIP tells a recordable CD.
    uint8_t* atip = device.TransferBuffer;
    std::memset(atip, 0, 30);
    if (ReadTocPmaAtip(device, TOC_FORMAT_ATIP, 0, true, {atip, 30}, 30)) {
        if ((atip[6] & ATIP_RECORDABLE) == 0)
            return MT_CD_ROM;
        return (atip[6] & ATIP_REWRITABLE) ? MT_CD_RW : MT_CD_R;
    }
    if (ReadDiscInformation(device, device.DiscInfo, sizeof device.DiscInfo))
        return (device.DiscInfo[2] & DISC_ERASABLE) ? MT_CD_RW : MT_CD_R;
    return DeviceReady(device) ? MT_CD_ROM : MT_NONE;
}

bool ReadCapabilities(TSCSIDevice& device) {
    std::memset(device.CapabilitiesPage, 0, sizeof device.CapabilitiesPage);
    uint8_t* reply = device.TransferBuffer;
    std::span<uint8_t> buffer(reply, 128);
    // A short reply must not leave an earlier command's bytes looking like
    // the page.
    std::memset(reply, 0, 128);
    if (!ModeSense10(device, buffer, 128, PAGE_CAPABILITIES, true))
        return false;
    auto copyPage = [&] {
        const int offset = CapabilitiesOffset(reply);
        if (offset >= 0)
            std::memcpy(device.CapabilitiesPage, reply + offset, 64);
    };
    copyPage();
    // Current values; when the drive refuses them the default values still
    // in the buffer are taken again.
    ModeSense10(device, buffer, 128, PAGE_CAPABILITIES, false);
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
    return device.CapabilitiesPage[CAP_WRITE_BYTE] != 0;
}

bool DiscErasable(TSCSIDevice& device) {
    const uint8_t media = GetMediaType(device);
    if (media >= MT_DVD_RAM && media <= MT_DVD_PLUS_RW)
        return true;
    if (!ReadDiscInformation(device, device.DiscInfo, sizeof device.DiscInfo))
        return false;
    return (device.DiscInfo[2] & DISC_ERASABLE) != 0;
}

uint8_t SessionCount(TSCSIDevice& device) {
    if (ReadDiscInformation(device, device.DiscInfo, sizeof device.DiscInfo)) {
        // An appendable disc reports its empty next session as well.
        if ((device.DiscInfo[2] & LAST_SESSION_STATE_MASK) == 0 && device.DiscInfo[4] > 0)
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
