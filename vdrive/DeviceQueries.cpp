// The recorder's queries: identity, capabilities, configuration, disc and
// track information, TOC and ATIP, capacities, buffer, and READ (10).
#include <algorithm>
#include <cstring>

#include "engine/platform/ByteOrder.h"
#include "vdrive/Clock.h"
#include "vdrive/Device.h"
#include "vdrive/DeviceContext.h"
#include "vdrive/Mmc.h"

namespace tessor::vdrive {

using namespace platform::byte_order;

namespace {

// CD addresses as minute/second/frame (75 frames a second, LBA 0 = 00:02:00).
void PutMsf(uint8_t* p, int32_t lba) {
    int32_t frames = lba + 150;
    if (frames < 0)
        frames += 450000;  // lead-in addresses wrap below 100:00:00
    p[0] = static_cast<uint8_t>(frames / (60 * 75));
    p[1] = static_cast<uint8_t>(frames / 75 % 60);
    p[2] = static_cast<uint8_t>(frames % 75);
}

void PadCopy(uint8_t* dst, const std::string& text, size_t width) {
    std::memset(dst, ' ', width);
    std::memcpy(dst, text.data(), std::min(width, text.size()));
}

// Profiles each kind of drive lists in feature 0000h, newest first.
const std::vector<uint16_t>& ProfilesOf(TDriveKind kind) {
    using namespace profile;
    // clang-format off
    static const std::vector<uint16_t> bd = {
        kBdRe, kBdRRandom, kBdRSequential, kBdRom,
        kDvdPlusRDualLayer, kDvdPlusR, kDvdPlusRw,
        kDvdRDualLayer, kDvdRwSequential, kDvdRwRestricted, kDvdRam, kDvdR, kDvdRom,
        kCdRw, kCdR, kCdRom};
    static const std::vector<uint16_t> dvd = {
        kDvdPlusRDualLayer, kDvdPlusR, kDvdPlusRw,
        kDvdRDualLayer, kDvdRwSequential, kDvdRwRestricted, kDvdRam, kDvdR, kDvdRom,
        kCdRw, kCdR, kCdRom};
    // clang-format on
    static const std::vector<uint16_t> rom = {kDvdRom, kCdRom};
    static const std::vector<uint16_t> cd = {kCdRw, kCdR, kCdRom};
    switch (kind) {
        case TDriveKind::BdWriter:
            return bd;
        case TDriveKind::DvdWriter:
            return dvd;
        case TDriveKind::DvdRom:
            return rom;
        case TDriveKind::CdWriterOld:
            return cd;
    }
    return rom;
}

constexpr TSense kUnrecoveredReadError{0x03, 0x11, 0x00};
constexpr uint32_t kCdLeadInStart = static_cast<uint32_t>(-11077);  // ATIP 97:34:23

}  // namespace

void TDevice::TestUnitReady(TContext&) {}

void TDevice::RezeroUnit(TContext&) {}

void TDevice::RequestSense(TContext& c) {
    uint8_t reply[18];
    TOperation op = ActiveOperation(c.nowUs);
    if (MediumPresent(c.nowUs) && op != TOperation::None && op != TOperation::Loading) {
        TSense s =
            op == TOperation::Format ? sense::kFormatInProgress : sense::kOperationInProgress;
        int64_t span = std::max<int64_t>(1, state_.operationEndUs - state_.operationStartUs);
        int64_t done = std::clamp<int64_t>(c.nowUs - state_.operationStartUs, 0, span);
        BuildFixedSense(s, true,
                        static_cast<uint16_t>(std::min<int64_t>(65535, done * 65536 / span)), reply,
                        sizeof reply);
    } else {
        BuildFixedSense(lastSense_, false, 0, reply, sizeof reply);
        lastSense_ = {};
    }
    Reply(c, reply, sizeof reply, c.cdb[4]);
}

void TDevice::Inquiry(TContext& c) {
    if (c.cdb[1] & 0x01)
        return InquiryVpd(c);
    if (c.cdb[2] != 0)
        return c.Fail(sense::kInvalidFieldInCdb);  // a page code needs the EVPD bit (SPC-3 6.4.1)
    uint8_t reply[96] = {};
    reply[0] = 0x05;  // peripheral qualifier 0, device type 5 (CD/DVD)
    reply[1] = 0x80;  // removable medium
    reply[2] = 0x05;
    reply[3] = 0x02;
    reply[4] = sizeof reply - 5;
    PadCopy(reply + 8, config_.vendor, 8);
    PadCopy(reply + 16, config_.product, 16);
    PadCopy(reply + 32, config_.revision, 4);
    PadCopy(reply + 36, "VIRTUAL", 12);
    Reply(c, reply, sizeof reply, GetBE16(c.cdb + 3));
}

std::vector<uint16_t> TDevice::WriteSpeeds() const {
    if (!config_.CanWrite())
        return {};
    uint16_t max = config_.maxWriteSpeed;
    return {max, static_cast<uint16_t>(max / 2), static_cast<uint16_t>(max / 4)};
}

void TDevice::BuildPage2A(uint8_t* p, bool defaults) const {
    const bool dvd = config_.kind != TDriveKind::CdWriterOld;
    const bool writer = config_.CanWrite();
    const std::vector<uint16_t> speeds = WriteSpeeds();
    p[0] = 0x2A;
    // The fixed part runs to byte 31 and the speed descriptors follow from
    // byte 32, so the length after byte 1 is 1Eh + 4 per descriptor.
    p[1] = static_cast<uint8_t>(0x1E + 4 * speeds.size());
    p[2] = 0x07 | (dvd ? 0x38 : 0x00);            // CD-R, CD-RW, method 2; DVD-ROM, DVD-R, DVD-RAM
    p[3] = !writer ? 0x00 : (dvd ? 0x37 : 0x07);  // CD-R, CD-RW, test write; DVD-R, DVD-RAM
    p[4] = static_cast<uint8_t>((writer ? 0x80 : 0x00) | 0x40);  // BUF, multisession
    p[5] = 0x10;                                                 // C2 pointers
    p[6] = static_cast<uint8_t>(0x20 | 0x08 | 0x01 | (state_.TrayLocked() ? 0x02 : 0x00));
    uint16_t curRead = defaults || readSpeed_ == 0 ? config_.maxReadSpeed
                                                   : std::min(readSpeed_, config_.maxReadSpeed);
    uint16_t curWrite = defaults || writeSpeed_ == 0 ? config_.maxWriteSpeed
                                                     : std::min(writeSpeed_, config_.maxWriteSpeed);
    PutBE16(p + 8, config_.maxReadSpeed);
    PutBE16(p + 12, static_cast<uint16_t>(std::min<uint32_t>(config_.bufferKiB, 0xFFFF)));
    PutBE16(p + 14, curRead);
    PutBE16(p + 18, config_.maxWriteSpeed);
    PutBE16(p + 20, curWrite);
    PutBE16(p + 28, curWrite);
    PutBE16(p + 30, static_cast<uint16_t>(speeds.size()));
    for (size_t i = 0; i < speeds.size(); ++i)
        PutBE16(p + 32 + 4 * i + 2, speeds[i]);
}

void TDevice::ModeSense10(TContext& c) {
    const bool dbd = c.cdb[1] & 0x08;
    const uint8_t pc = c.cdb[2] >> 6;
    const uint8_t page = c.cdb[2] & 0x3F;
    if (pc == 3)
        return c.Fail(sense::kSavingNotSupported);
    if (page != 0x05 && page != 0x2A && page != 0x3F)
        return c.Fail(sense::kInvalidFieldInCdb);
    uint8_t reply[8 + 8 + kWriteParametersPageSize + 64] = {};
    size_t len = 8;
    if (config_.blockDescriptor && !dbd) {
        PutBE16(reply + 6, 8);
        PutBE24(reply + 8 + 5, kSectorSize);  // density 0, all blocks, 2048 bytes
        len += 8;
    }
    if (page == 0x05 || page == 0x3F) {
        uint8_t* p = reply + len;
        if (pc == 1) {
            // Changeable values: every field of the page may be set.
            p[0] = 0x05;
            p[1] = 0x32;
            std::memset(p + 2, 0xFF, kWriteParametersPageSize - 2);
        } else if (pc == 2) {
            std::memcpy(p, DefaultWriteParametersPage().data(), kWriteParametersPageSize);
        } else {
            std::memcpy(p, state_.page05.data(), kWriteParametersPageSize);
        }
        len += kWriteParametersPageSize;
    }
    if (page == 0x2A || page == 0x3F) {
        uint8_t* p = reply + len;
        BuildPage2A(p, pc == 2);
        len += 32 + 4 * GetBE16(p + 30);
    }
    PutBE16(reply, static_cast<uint32_t>(len - 2));
    Reply(c, reply, len, GetBE16(c.cdb + 7));
}

void TDevice::GetConfiguration(TContext& c) {
    const uint8_t rt = c.cdb[1] & 0x03;
    const uint16_t start = GetBE16(c.cdb + 2);
    if (rt == 3)
        return c.Fail(sense::kInvalidFieldInCdb);
    uint8_t reply[8 + 4 + 4 * 16] = {};
    size_t len = 8;
    uint16_t current = CurrentProfile();
    PutBE16(reply + 6, current);
    if (start == 0) {
        const auto& profiles = ProfilesOf(config_.kind);
        uint8_t* f = reply + 8;
        f[2] = 0x03;  // version 0, persistent, current
        f[3] = static_cast<uint8_t>(4 * profiles.size());
        for (size_t i = 0; i < profiles.size(); ++i) {
            PutBE16(f + 4 + 4 * i, profiles[i]);
            if (profiles[i] == current)
                f[4 + 4 * i + 2] = 0x01;
        }
        len += 4 + 4 * profiles.size();
    }
    PutBE32(reply, static_cast<uint32_t>(len - 4));
    Reply(c, reply, len, GetBE16(c.cdb + 7));
}

void TDevice::ReadTocPmaAtip(TContext& c) {
    const bool msf = c.cdb[1] & 0x02;
    uint8_t format = c.cdb[2] & 0x0F;
    // Hosts older than MMC (Linux's sr among them) ask for the session
    // information with the format in bits 7-6 of the control byte instead.
    if (format == 0)
        format = c.cdb[9] >> 6;
    const uint8_t first = c.cdb[6];
    const size_t allocation = GetBE16(c.cdb + 7);
    if (format == 4) {
        // Only recordable CDs carry an ATIP; pressed discs and DVD/BD have none.
        if (state_.media != TMediaKind::CdR && state_.media != TMediaKind::CdRw) {
            return c.Fail(sense::kInvalidFieldInCdb);
        }
        uint8_t reply[28] = {};
        PutBE16(reply, sizeof reply - 2);
        reply[4] = 0x80;
        reply[6] = state_.media == TMediaKind::CdRw ? 0xC0 : 0x98;  // CD-RW bit, sub-type
        PutMsf(reply + 8, static_cast<int32_t>(kCdLeadInStart));
        PutMsf(reply + 12, static_cast<int32_t>(kCdCapacity));
        return Reply(c, reply, sizeof reply, allocation);
    }
    if (format != 0 && format != 1)
        return c.Fail(sense::kInvalidFieldInCdb);
    // Only tracks of closed sessions are in the TOC.
    std::vector<const TTrack*> closed;
    for (const auto& t : state_.tracks) {
        if (t.session <= state_.closedSessions)
            closed.push_back(&t);
    }
    if (closed.empty())
        return c.Fail(sense::kInvalidFieldInCdb);
    auto putAddress = [&](uint8_t* p, uint32_t lba) {
        if (msf) {
            p[0] = 0;
            PutMsf(p + 1, static_cast<int32_t>(lba));
        } else {
            PutBE32(p, lba);
        }
    };
    const uint8_t control = 0x14;  // ADR 1, data track recorded uninterrupted
    uint8_t reply[4 + 8 * 101] = {};
    size_t len = 4;
    if (format == 1) {
        // Session information: the first track of the last closed session.
        const TTrack* t = closed.front();
        for (const TTrack* x : closed) {
            if (x->session == state_.closedSessions) {
                t = x;
                break;
            }
        }
        reply[2] = 1;
        reply[3] = static_cast<uint8_t>(state_.closedSessions);
        reply[5] = control;
        reply[6] = static_cast<uint8_t>(t - state_.tracks.data() + 1);
        putAddress(reply + 8, t->start);
        len = 12;
    } else {
        reply[2] = 1;
        reply[3] = static_cast<uint8_t>(closed.size());
        if (first != 0xAA && first > closed.size())
            return c.Fail(sense::kInvalidFieldInCdb);
        for (size_t i = 0; i < closed.size() && i < 99; ++i) {
            if (first == 0xAA || i + 1 < std::max<size_t>(first, 1))
                continue;
            uint8_t* d = reply + len;
            d[1] = control;
            d[2] = static_cast<uint8_t>(i + 1);
            putAddress(d + 4, closed[i]->start);
            len += 8;
        }
        uint8_t* d = reply + len;
        d[1] = control;
        d[2] = 0xAA;
        putAddress(d + 4, closed.back()->start + closed.back()->size);
        len += 8;
    }
    PutBE16(reply, static_cast<uint32_t>(len - 2));
    Reply(c, reply, len, allocation);
}

void TDevice::ReadDiscInformation(TContext& c) {
    if (c.cdb[1] & 0x07)
        return c.Fail(sense::kInvalidFieldInCdb);
    const TMediaInfo& info = state_.Info();
    const bool cd = info.family == TMediaFamily::Cd;
    uint8_t r[34] = {};
    PutBE16(r, sizeof r - 2);
    uint8_t status = 0, lastState = 0;
    uint16_t sessions = 1;
    uint16_t firstInLast = 1, lastInLast = 1;
    if (info.readOnly) {
        status = 2;
        lastState = 3;
        sessions = std::max<uint16_t>(1, state_.closedSessions);
        lastInLast = static_cast<uint16_t>(std::max<size_t>(1, state_.tracks.size()));
        firstInLast = lastInLast;
    } else if (state_.Overwritable()) {
        if (state_.media == TMediaKind::DvdRam) {
            status = 3;
            lastState = 3;
        } else if (state_.IsBlank()) {
            status = 0;
            lastState = 0;
        } else {
            status = 2;
            lastState = 3;
        }
    } else {
        sessions = state_.SessionCountForDiscInfo();
        if (state_.finalized) {
            status = 2;
            lastState = 3;
        } else {
            status = state_.IsBlank() ? 0 : 1;
            lastState = state_.HasOpenSession() ? 1 : 0;
        }
        // The first track of the last session: the invisible track when that
        // session is still empty.
        firstInLast = static_cast<uint16_t>(state_.InvisibleTrackNumber());
        for (size_t i = 0; i < state_.tracks.size(); ++i) {
            if (state_.tracks[i].session ==
                (state_.finalized ? state_.closedSessions : state_.OpenSessionNumber())) {
                firstInLast = static_cast<uint16_t>(i + 1);
                break;
            }
        }
        lastInLast = static_cast<uint16_t>(state_.finalized ? state_.tracks.size()
                                                            : state_.InvisibleTrackNumber());
    }
    // A blank DVD+RW hides its erasable bit (as an LG drive showed); BD-RE
    // shows it formatted or not, so hosts erase (format) it before writing.
    const bool erasable = info.blankable || state_.media == TMediaKind::DvdRam ||
                          state_.media == TMediaKind::BdRe ||
                          (state_.media == TMediaKind::DvdPlusRw && !state_.IsBlank());
    r[2] = static_cast<uint8_t>((erasable ? 0x10 : 0) | lastState << 2 | status);
    r[3] = 1;
    r[4] = static_cast<uint8_t>(sessions);
    r[9] = static_cast<uint8_t>(sessions >> 8);
    r[5] = static_cast<uint8_t>(firstInLast);
    r[10] = static_cast<uint8_t>(firstInLast >> 8);
    r[6] = static_cast<uint8_t>(lastInLast);
    r[11] = static_cast<uint8_t>(lastInLast >> 8);
    r[7] = 0x20;  // unrestricted use
    if (state_.media == TMediaKind::DvdPlusRw)
        r[7] |= static_cast<uint8_t>(BgFormatStatus(c.nowUs));
    r[8] = cd && state_.IsBlank() ? 0xFF : 0x00;
    if (state_.finalized || info.readOnly) {
        PutBE32(r + 16, 0xFFFFFFFF);
        PutBE32(r + 20, 0xFFFFFFFF);
    } else if (cd) {
        // Lead-in of the next session (blank: the ATIP lead-in), last possible lead-out.
        uint32_t leadIn = state_.IsBlank() ? kCdLeadInStart : state_.InvisibleTrackStart() - 4650;
        PutMsf(r + 17, static_cast<int32_t>(leadIn));
        PutMsf(r + 21, static_cast<int32_t>(kCdCapacity));
    } else if (info.sequential) {
        PutBE32(r + 16, state_.InvisibleTrackStart());
        PutBE32(r + 20, info.capacity);
    }
    Reply(c, r, sizeof r, GetBE16(c.cdb + 7));
}

size_t TDevice::BuildTrackInfo(uint8_t* r, uint32_t number) const {
    const TMediaInfo& info = state_.Info();
    const bool cd = info.family == TMediaFamily::Cd;
    std::memset(r, 0, 48);
    PutBE16(r, 46);
    uint32_t start = 0, nwa = 0, free = 0, size = 0, lra = 0, packet = 0;
    uint16_t session = 1;
    uint8_t b5 = 4, b6 = 0x01, b7 = 0;
    if (state_.Overwritable()) {
        const uint32_t capacity = info.capacity;
        switch (state_.media) {
            case TMediaKind::DvdRwRo:
                // Restricted overwrite: one fixed-packet track whose next writable
                // address is the end of the formatted area.
                size = state_.formattedBlocks;
                nwa = state_.formattedBlocks;
                free = capacity - std::min(capacity, nwa);
                b6 = 0x20 | 0x10 | 0x01;
                b7 = 0x01;
                packet = 16;
                if (size > 0) {
                    b7 |= 0x02;
                    lra = size - 1;
                }
                break;
            case TMediaKind::DvdPlusRw:
                size = capacity;
                if (state_.formatted) {
                    b6 = 0x01;
                } else {
                    b6 = 0x60 | 0x01;
                    free = capacity;
                }
                break;
            default:  // DVD-RAM, BD-RE
                size = state_.formatted ? state_.formattedBlocks : capacity;
                if (state_.formatted) {
                    b7 = 0x02;
                    lra = size - 1;
                } else {
                    b6 = 0x40 | 0x01;
                    free = capacity;
                }
                break;
        }
    } else if (number <= state_.tracks.size()) {
        const TTrack& t = state_.tracks[number - 1];
        start = t.start;
        session = t.session;
        const bool incremental = !cd || WriteType() == 0;
        if (t.closed) {
            size = t.size;
            b6 = 0x01;
        } else {
            uint32_t end = t.reserved ? t.start + t.size : info.capacity;
            nwa = t.WriteEnd();
            free = end - std::min(end, nwa);
            size = t.reserved ? t.size : end - t.start;
            b6 = static_cast<uint8_t>((t.reserved ? 0x80 : 0) |
                                      (t.reserved && t.written == 0 ? 0x40 : 0) |
                                      (incremental ? 0x20 : 0) | 0x01);
            b7 = 0x01;
            if (incremental && !cd)
                packet = 16;
        }
        if (cd && !t.closed)
            b5 = WriteType() == 0 ? 0x07 : (state_.page05[3] & 0x0F);
        if (t.written > 0) {
            b7 |= 0x02;
            lra = t.WriteEnd() - 1;
        }
    } else {
        // The invisible track: everything from the next writable address on.
        start = state_.InvisibleTrackStart();
        session = state_.OpenSessionNumber();
        nwa = start;
        free = info.capacity - std::min(info.capacity, start);
        size = free;
        const bool incremental = WriteType() == 0;
        b6 = static_cast<uint8_t>(0x40 | (incremental ? 0x20 : 0) | 0x01);
        b7 = 0x01;
        if (cd) {
            b5 = incremental ? 0x07 : (state_.page05[3] & 0x0F);
            if (WriteType() >= 2)
                b7 = 0;  // session at once: the cue sheet decides
            if (WriteType() == 1 && config_.nwaMinus150 && state_.IsBlank())
                nwa = static_cast<uint32_t>(-150);
        } else if (incremental) {
            packet = 16;
        }
    }
    r[2] = static_cast<uint8_t>(number);
    r[3] = static_cast<uint8_t>(session);
    r[5] = b5;
    r[6] = b6;
    r[7] = b7;
    PutBE32(r + 8, start);
    PutBE32(r + 12, nwa);
    PutBE32(r + 16, free);
    PutBE32(r + 20, packet);
    PutBE32(r + 24, size);
    PutBE32(r + 28, lra);
    r[32] = static_cast<uint8_t>(number >> 8);
    r[33] = static_cast<uint8_t>(session >> 8);
    return 48;
}

void TDevice::ReadTrackInformation(TContext& c) {
    const uint8_t type = c.cdb[1] & 0x03;
    const uint32_t value = GetBE32(c.cdb + 2);
    const TMediaInfo& info = state_.Info();
    const uint32_t tracks = static_cast<uint32_t>(state_.tracks.size());
    const bool appendable = info.sequential && !state_.finalized;
    const uint32_t lastNumber = state_.Overwritable() ? 1 : (appendable ? tracks + 1 : tracks);
    uint32_t number = 0;
    if (type == 1) {
        number = value;
        if (number == 0xFF) {
            bool ffDefined = info.family == TMediaFamily::Cd ||
                             state_.media == TMediaKind::DvdPlusR ||
                             state_.media == TMediaKind::DvdPlusRDl;
            if (config_.strictTrackFF && !ffDefined && info.sequential) {
                return c.Fail(sense::kInvalidFieldInCdb);
            }
            if (!appendable && !state_.Overwritable())
                return c.Fail(sense::kInvalidFieldInCdb);
            number = lastNumber;
        }
    } else if (type == 0) {
        if (state_.Overwritable()) {
            number = 1;
        } else {
            for (uint32_t i = 0; i < tracks; ++i) {
                const TTrack& t = state_.tracks[i];
                uint32_t end = t.closed || t.reserved ? t.start + t.size : info.capacity;
                if (value >= t.start && value < end)
                    number = i + 1;
            }
            if (number == 0 && appendable && value >= state_.InvisibleTrackStart() &&
                value < info.capacity) {
                number = tracks + 1;
            }
        }
    } else if (type == 2) {
        if (state_.Overwritable()) {
            number = value == 1 ? 1 : 0;
        } else {
            for (uint32_t i = 0; i < tracks && number == 0; ++i) {
                if (state_.tracks[i].session == value)
                    number = i + 1;
            }
            if (number == 0 && appendable && value == state_.OpenSessionNumber())
                number = tracks + 1;
        }
    } else {
        return c.Fail(sense::kInvalidFieldInCdb);
    }
    if (number == 0 || number > lastNumber)
        return c.Fail(sense::kInvalidFieldInCdb);
    uint8_t reply[48];
    size_t len = BuildTrackInfo(reply, number);
    Reply(c, reply, len, GetBE16(c.cdb + 7));
}

void TDevice::ReadBufferCapacity(TContext& c) {
    DrainBuffer();
    uint8_t r[12] = {};
    PutBE16(r, 10);
    uint32_t capacity = config_.bufferKiB * 1024;
    uint32_t blank = capacity - static_cast<uint32_t>(std::min<double>(capacity, bufferFill_));
    if (c.cdb[1] & 0x01) {
        r[3] = 0x01;  // block
        PutBE32(r + 8, blank / kSectorSize);
    } else {
        PutBE32(r + 4, capacity);
        PutBE32(r + 8, blank);
    }
    Reply(c, r, sizeof r, GetBE16(c.cdb + 7));
}

void TDevice::ReadFormatCapacities(TContext& c) {
    uint8_t r[4 + 8 * 8] = {};
    size_t len = 4;
    auto add = [&](uint32_t blocks, uint8_t typeByte, uint32_t parameter) {
        uint8_t* d = r + len;
        PutBE32(d, blocks);
        d[4] = typeByte;
        PutBE24(d + 5, parameter);
        len += 8;
    };
    constexpr uint8_t kUnformatted = 1, kFormatted = 2;
    const uint32_t cap = state_.Info().capacity;
    switch (state_.media) {
        case TMediaKind::DvdPlusRw:
            add(cap, state_.formatted ? kFormatted : kUnformatted, kSectorSize);
            add(cap, 0x26 << 2, 0);
            break;
        case TMediaKind::DvdRam:
            add(cap, kFormatted, kSectorSize);
            add(cap, 0x00 << 2, kSectorSize);
            break;
        case TMediaKind::BdRe:
            add(state_.formatted ? state_.formattedBlocks : cap,
                state_.formatted ? kFormatted : kUnformatted, kSectorSize);
            add(11826176, 0x00 << 2, 0x3000);
            add(11826176, 0x30 << 2, 0x3000);
            add(11564032, 0x30 << 2, 0x5000);
            add(12088320, 0x30 << 2, 0x1000);
            add(cap, 0x31 << 2, 0x800);
            break;
        case TMediaKind::DvdRw:
            add(cap, kFormatted, kSectorSize);
            add(cap, 0x00 << 2, kSectorSize);
            add(cap, 0x10 << 2, 16);
            add(cap, 0x15 << 2, 16);
            break;
        case TMediaKind::DvdRwRo:
            // A quick-formatted disc whose session is not closed yet is
            // "intermediate": no grow descriptors until it is.
            add(state_.formattedBlocks, state_.intermediate ? 3 : kFormatted, kSectorSize);
            add(cap, 0x00 << 2, kSectorSize);
            add(cap, 0x10 << 2, 16);
            add(cap, 0x15 << 2, 16);
            if (!state_.intermediate) {
                add(cap - std::min(cap, state_.formattedBlocks), 0x13 << 2, 16);
            }
            break;
        default:
            add(cap, state_.IsBlank() ? kUnformatted : kFormatted, kSectorSize);
            break;
    }
    r[3] = static_cast<uint8_t>(len - 4);
    Reply(c, r, len, GetBE16(c.cdb + 7));
}

void TDevice::ReadCapacity(TContext& c) {
    uint8_t r[8] = {};
    uint32_t end = state_.RecordedEnd();
    PutBE32(r, end > 0 ? end - 1 : 0);
    PutBE32(r + 4, kSectorSize);
    Reply(c, r, sizeof r, sizeof r);
}

void TDevice::Read10(TContext& c) {
    const uint32_t lba = GetBE32(c.cdb + 2);
    const uint32_t blocks = GetBE16(c.cdb + 7);
    if (blocks == 0)
        return;
    if (static_cast<uint64_t>(blocks) * kSectorSize > c.cmd.dataLength || c.cmd.data == nullptr) {
        return c.Fail(sense::kInvalidFieldInCdb);
    }
    uint64_t limit = state_.RecordedEnd();
    if (state_.media == TMediaKind::DvdPlusRw && state_.formatted)
        limit = state_.WritableCapacity();
    if (static_cast<uint64_t>(lba) + blocks > limit)
        return c.Fail(sense::kLbaOutOfRange);
    if (const TFault* fault = ReadErrorFor(state_.faults, lba, blocks)) {
        c.Fail(fault->sense);
        UseFault(state_.faults.begin() + (fault - state_.faults.data()));
        c.dirty = true;
        return;
    }
    if (!store_.ReadSectors(lba, c.cmd.data, blocks))
        return c.Fail(kUnrecoveredReadError);
    ChangeCorruptBlocks(state_.faults, lba, blocks, c.cmd.data, kSectorSize);
    c.result.transferred = blocks * kSectorSize;
}

}  // namespace tessor::vdrive
