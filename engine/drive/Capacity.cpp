#include "engine/drive/Capacity.h"

#include <cstring>

#include "engine/drive/CommandHelpers.h"
#include "engine/drive/Consts.h"
#include "engine/drive/MMC.h"
#include "engine/drive/Queries.h"
#include "engine/drive/WriteControl.h"

namespace tessor::drive {

using namespace detail;

namespace {

constexpr uint32_t NO_TRACK_SIZE = 0xFFFFFFFF;

// What IsoVolumeSize reads of an ISO 9660 volume (ECMA-119 8.4): the
// descriptors from sector 16, each with its type at byte 0 and "CD001" from
// byte 1, and the volume space size (8.4.8, little-endian first) at byte 80.
constexpr uint32_t ISO_FIRST_DESCRIPTOR = 16;
constexpr uint8_t ISO_PRIMARY = 1;
constexpr uint8_t ISO_SUPPLEMENTARY = 2;
constexpr size_t ISO_VOLUME_SPACE_SIZE = 80;

// a - b, but never below zero: a volume or track larger than the space the
// drive reports means nothing is free, not four billion sectors.
uint32_t Remaining(uint32_t a, uint32_t b) {
    return a > b ? a - b : 0;
}

uint8_t LastTrackInLastSession(const TSCSIDevice& device) {
    return device.DiscInfo[6];
}

bool DiscAndLastTrack(TSCSIDevice& device) {
    if (!ReadDiscInformation(device, device.DiscInfo, sizeof device.DiscInfo))
        return false;
    return ReadTrackInformation(device, LastTrackInLastSession(device));
}

}  // namespace

bool Read10(TSCSIDevice& device, uint32_t lba, uint16_t blocks, std::span<uint8_t> buffer) {
    const uint32_t length = uint32_t(blocks) * 2048u;
    if (length > buffer.size())
        return false;
    return Good(
        RunCommand(device, FLAGS_DATA_IN,
                   {OP_READ_10, 0, uint8_t(lba >> 24), uint8_t(lba >> 16), uint8_t(lba >> 8),
                    uint8_t(lba), 0, uint8_t(blocks >> 8), uint8_t(blocks), 0},
                   buffer.data(), length));
}

uint32_t ReadFormatCapacity(TSCSIDevice& device) {
    uint8_t reply[124] = {};
    if (!Good(RunCommand(device, FLAGS_DATA_IN,
                         {OP_READ_FORMAT_CAPACITIES, 0, 0, 0, 0, 0, 0, 0, sizeof reply, 0}, reply,
                         sizeof reply)))
        return 0;
    // 4-byte header, then 8-byte capacity descriptors; the first is the
    // current or maximum capacity.
    static const uint8_t fullFormat2048[4] = {0x00, 0x00, 0x08, 0x00};
    for (int i = 0; i < 4; ++i) {
        const uint8_t* descriptor = reply + 4 + 8 * i;
        if (std::memcmp(descriptor + 4, fullFormat2048, 4) == 0)
            return GetBE32(descriptor);
    }
    return GetBE32(reply + 4);
}

uint32_t IsoVolumeSize(TSCSIDevice& device) {
    uint8_t sector[2048];
    std::memset(sector, 0xFF, sizeof sector);
    SetWriteParameters(device, device.TestWrite, device.BurnProof, false, GetMediaType(device));
    // The supplementary (Joliet) descriptor first, then the primary one.
    for (uint8_t type : {ISO_SUPPLEMENTARY, ISO_PRIMARY}) {
        for (uint32_t lba = ISO_FIRST_DESCRIPTOR; lba < 2 * ISO_FIRST_DESCRIPTOR; ++lba) {
            if (!Read10(device, lba, 1, sector))
                continue;
            if (sector[0] == type && std::memcmp(sector + 1, "CD001", 5) == 0)
                return GetLE32(sector + ISO_VOLUME_SPACE_SIZE);
        }
    }
    return 0;
}

bool DiscWritable(TSCSIDevice& device) {
    const uint8_t media = GetMediaType(device);
    if (media == MT_DVD_RAM || media == MT_DVD_PLUS_RW || media == MT_DVD_RW_RO ||
        media == MT_BD_RE)
        return true;
    if (ReadDiscInformation(device, device.DiscInfo, sizeof device.DiscInfo)) {
        const uint8_t status = device.DiscInfo[2] & DISC_STATUS_MASK;
        if (status == DISC_STATUS_BLANK || status == DISC_STATUS_APPENDABLE)
            return true;
        if (status == DISC_STATUS_COMPLETE)
            return false;
    }
    SetWriteParameters(device, device.TestWrite, device.BurnProof, false, media);
    if (ReadTrackInformation(device, INVISIBLE_TRACK))
        return device.TrackInfo.FreeBlocks != 0;
    if (ReadTrackInformation(device, uint8_t(LastTrackInLastSession(device) + 1)))
        return device.TrackInfo.FreeBlocks != 0;
    return false;
}

uint32_t DiscFreeSectors(TSCSIDevice& device) {
    if (!DiscWritable(device))
        return 0;
    const uint8_t media = GetMediaType(device);
    SetWriteParameters(device, false, false, false, media);
    if (DiscAndLastTrack(device)) {
        const TTrackInfo& track = device.TrackInfo;
        if (track.TrackSize == NO_TRACK_SIZE)
            return 0;
        switch (media) {
            case MT_DVD_RW_RO:
                return Remaining(ReadFormatCapacity(device), track.TrackSize);
            case MT_DVD_RAM:
            case MT_DVD_PLUS_RW:
            case MT_BD_RE: {
                const uint32_t trackSize = track.TrackSize;
                return Remaining(trackSize, IsoVolumeSize(device));
            }
            default:
                return track.TrackSize > track.FreeBlocks ? track.TrackSize : track.FreeBlocks;
        }
    }
    if (media == MT_DVD_RAM || media == MT_DVD_PLUS_RW) {
        const uint32_t capacity = ReadFormatCapacity(device);
        return Remaining(capacity, IsoVolumeSize(device));
    }
    return 0;
}

uint32_t DiscCapacitySectors(TSCSIDevice& device) {
    const uint8_t media = GetMediaType(device);
    SetWriteParameters(device, false, false, false, media);
    if (DiscAndLastTrack(device)) {
        const TTrackInfo& track = device.TrackInfo;
        if (!track.FixedPacket())
            return track.TrackStart + track.TrackSize;
        if (track.TrackSize == NO_TRACK_SIZE)
            return 0;
    }
    return ReadFormatCapacity(device);
}

}  // namespace tessor::drive
