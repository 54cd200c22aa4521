// Performance, power calibration and disc structures: GET PERFORMANCE
// (nominal performance and the write speeds the disc allows), SEND OPC
// INFORMATION and READ DISC STRUCTURE (what a DVD says of itself in its
// physical format information, how much spare area a BD keeps). Burners use
// them to choose speeds, to calibrate the laser and to learn the layout of
// the disc before they write.
#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/platform/ByteOrder.h"
#include "vdrive/Device.h"
#include "vdrive/DeviceContext.h"

namespace tessor::vdrive {

using namespace platform::byte_order;

namespace {

constexpr uint32_t kDvdFirstDataSector = 0x030000;  // physical sector of LBA 0 on DVD

// DVD book type (physical format information byte 0, bits 7-4) and layer
// type (byte 2, bits 3-0: embossed 1, recordable 2, rewritable 4).
struct TDvdBook {
    uint8_t bookType;
    uint8_t layerType;
    bool dualLayer;
};

bool DvdBook(TMediaKind media, TDvdBook& out) {
    switch (media) {
        case TMediaKind::DvdRom:
            out = {0x0, 0x1, false};
            return true;
        case TMediaKind::DvdRam:
            out = {0x1, 0x4, false};
            return true;
        case TMediaKind::DvdR:
            out = {0x2, 0x2, false};
            return true;
        case TMediaKind::DvdRw:
        case TMediaKind::DvdRwRo:
            out = {0x3, 0x4, false};
            return true;
        case TMediaKind::DvdPlusRw:
            out = {0x9, 0x4, false};
            return true;
        case TMediaKind::DvdPlusR:
            out = {0xA, 0x2, false};
            return true;
        case TMediaKind::DvdPlusRDl:
            out = {0xE, 0x2, true};
            return true;
        default:
            return false;
    }
}

}  // namespace

void TDevice::GetPerformance(TContext& c) {
    const uint8_t dataType = c.cdb[1] & 0x1F;
    const uint16_t maxDescriptors = GetBE16(c.cdb + 8);
    const uint8_t type = c.cdb[10];
    const TMediaInfo& info = state_.Info();
    const uint32_t lastLba = info.capacity - 1;
    std::vector<uint8_t> r(8);
    if (type == 0x00) {
        // Performance: one nominal descriptor over the whole disc (the model
        // records at constant linear velocity), none for exceptions.
        const uint8_t except = dataType & 0x03;
        const bool write = dataType & 0x04;
        if (except == 3 || (write && !config_.Writes(state_.media)))
            return c.Fail(sense::kInvalidFieldInCdb);
        r[4] = static_cast<uint8_t>((write ? 0x02 : 0) | (except == 2 ? 0x01 : 0));
        uint32_t speed = config_.maxReadSpeed;
        if (write) {
            speed = writeSpeed_ != 0 ? std::min(writeSpeed_, config_.maxWriteSpeed)
                                     : config_.maxWriteSpeed;
        } else if (readSpeed_ != 0) {
            speed = std::min(readSpeed_, config_.maxReadSpeed);
        }
        if (except != 2 && maxDescriptors > 0) {
            uint8_t d[16] = {};  // start LBA 0
            PutBE32(d + 4, speed);
            PutBE32(d + 8, lastLba);
            PutBE32(d + 12, speed);
            r.insert(r.end(), d, d + 16);
        }
    } else if (type == 0x03) {
        // Write speeds the disc in the drive can be recorded at; none for a
        // disc the drive cannot write.
        if (config_.Writes(state_.media) && !info.readOnly) {
            for (uint16_t speed : WriteSpeeds()) {
                if (r.size() >= 8 + 16u * maxDescriptors)
                    break;
                uint8_t d[16] = {};
                PutBE32(d + 4, lastLba);  // end LBA: the whole disc
                PutBE32(d + 8, speed);    // read speed
                PutBE32(d + 12, speed);   // write speed
                r.insert(r.end(), d, d + 16);
            }
        }
    } else {
        return c.Fail(sense::kInvalidFieldInCdb);
    }
    PutBE32(r.data(), static_cast<uint32_t>(r.size() - 4));
    // The command has no allocation length: the descriptor count bounds the reply.
    Reply(c, r.data(), r.size(), 8u + 16u * maxDescriptors);
}

void TDevice::SendOpcInformation(TContext& c) {
    // DoOpc asks for a calibration at the current speed; a parameter list
    // brings the results of an earlier one. The model's laser needs neither.
    const uint16_t length = GetBE16(c.cdb + 7);
    if (state_.Info().readOnly)
        return c.Fail(sense::kCannotWriteIncompatible);
    if (length > c.cmd.dataLength || (length > 0 && c.cmd.data == nullptr))
        return c.Fail(sense::kParameterListLength);
}

void TDevice::ReadDiscStructure(TContext& c) {
    const uint8_t mediaType = c.cdb[1] & 0x0F;  // 0 DVD, 1 BD
    const uint8_t layer = c.cdb[6];
    const uint8_t format = c.cdb[7];
    const uint16_t allocation = GetBE16(c.cdb + 8);
    const TMediaInfo& info = state_.Info();
    if (mediaType > 1)
        return c.Fail(sense::kInvalidFieldInCdb);
    const bool dvd = mediaType == 0;
    if ((dvd && info.family != TMediaFamily::Dvd) || (!dvd && info.family != TMediaFamily::Bd)) {
        return c.Fail(sense::kIncompatibleMediumRead);
    }
    TDvdBook book{};
    if (dvd && !DvdBook(state_.media, book))
        return c.Fail(sense::kIncompatibleMediumRead);
    std::vector<uint8_t> r(4);
    switch (format) {
        case 0x00: {
            if (!dvd)
                return c.Fail(sense::kInvalidFieldInCdb);
            if (layer > (book.dualLayer ? 1 : 0))
                return c.Fail(sense::kInvalidFieldInCdb);
            // Physical format information (2048 bytes).
            r.resize(4 + 2048);
            uint8_t* p = &r[4];
            p[0] = static_cast<uint8_t>(book.bookType << 4 | 0x01);  // book version 1
            p[1] = 0x0F;  // 120 mm disc, maximum rate not specified
            p[2] = static_cast<uint8_t>((book.dualLayer ? 0x20 | 0x10 : 0x00) | book.layerType);
            if (book.dualLayer) {
                // Opposite track path: layer 1 counts down from the complement
                // of the last sector of layer 0.
                const uint32_t endLayer0 = kDvdFirstDataSector + info.capacity / 2 - 1;
                PutBE32(p + 4, kDvdFirstDataSector);
                PutBE32(p + 8, ~kDvdFirstDataSector & 0xFFFFFF);
                PutBE32(p + 12, endLayer0);
            } else {
                PutBE32(p + 4, kDvdFirstDataSector);
                PutBE32(p + 8, kDvdFirstDataSector + info.capacity - 1);
            }
            break;
        }
        case 0x01:
            if (!dvd)
                return c.Fail(sense::kInvalidFieldInCdb);
            // Copyright information: no protection system, all regions.
            r.resize(4 + 4);
            break;
        case 0x0A: {
            // BD spare area: free and allocated spare blocks (sectors). A
            // BD-RE formatted with spares has them all free; the model's
            // BD-R is written without spare areas.
            if (dvd || info.readOnly)
                return c.Fail(sense::kInvalidFieldInCdb);
            const uint32_t spare =
                state_.media == TMediaKind::BdRe && state_.formatted
                    ? info.capacity - std::min(info.capacity, state_.formattedBlocks)
                    : 0;
            r.resize(4 + 12);
            PutBE32(&r[8], spare);
            PutBE32(&r[12], spare);
            break;
        }
        case 0xFF: {
            // The structures this command returns for the medium, with their
            // lengths; byte 1 bit 6 says READ DISC STRUCTURE returns it.
            auto add = [&](uint8_t code, uint16_t length) {
                r.push_back(code);
                r.push_back(0x40);
                r.push_back(static_cast<uint8_t>(length >> 8));
                r.push_back(static_cast<uint8_t>(length));
            };
            if (dvd) {
                add(0x00, 4 + 2048);
                add(0x01, 4 + 4);
            } else if (!info.readOnly) {
                add(0x0A, 4 + 12);
            }
            add(0xFF, 0xFFFF);
            break;
        }
        default:
            return c.Fail(sense::kInvalidFieldInCdb);
    }
    PutBE16(r.data(), static_cast<uint32_t>(r.size() - 2));
    Reply(c, r.data(), r.size(), allocation);
}

}  // namespace tessor::vdrive
