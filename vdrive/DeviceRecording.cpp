// The recorder's recording commands: write parameters, speeds, WRITE (10),
// cache, tracks and sessions, reservation, formatting, blanking and the tray.
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "engine/platform/ByteOrder.h"
#include "vdrive/Clock.h"
#include "vdrive/Device.h"
#include "vdrive/DeviceContext.h"

namespace tessor::vdrive {

using namespace platform::byte_order;
namespace {

bool IsDvdMinus(TMediaKind m) {
    return m == TMediaKind::DvdR || m == TMediaKind::DvdRw || m == TMediaKind::DvdRwRo;
}
bool IsPlusR(TMediaKind m) {
    return m == TMediaKind::DvdPlusR || m == TMediaKind::DvdPlusRDl;
}

uint32_t EccUnit(TMediaFamily f) {
    switch (f) {
        case TMediaFamily::Cd:
            return 1;
        case TMediaFamily::Dvd:
            return 16;  // one ECC block
        case TMediaFamily::Bd:
            return 32;  // one cluster
    }
    return 1;
}

}  // namespace

int64_t TDevice::Scaled(uint32_t driveMs) const {
    return ScaledUs(driveMs, timeScale_);
}

// ---- Write parameters and speed -----------------------------------------

void TDevice::ModeSelect10(TContext& c) {
    if (c.cdb[1] & 0x01)
        return c.Fail(sense::kSavingNotSupported);
    const uint32_t length = GetBE16(c.cdb + 7);
    if (length == 0)
        return;
    if (length > c.cmd.dataLength || c.cmd.data == nullptr || length < 8) {
        return c.Fail(sense::kParameterListLength);
    }
    const uint8_t* d = c.cmd.data;
    if (config_.strictModeSelectLength && GetBE16(d) != 0) {
        return c.Fail(sense::kInvalidFieldInParameters);
    }
    const uint32_t descriptorLength = GetBE16(d + 6);
    if (descriptorLength != 0 && !(descriptorLength == 8 && config_.blockDescriptor)) {
        return c.Fail(sense::kInvalidFieldInParameters);
    }
    // Check every page first; nothing changes unless all of them are good.
    auto page05 = state_.page05;
    bool present = MediumPresent(c.nowUs);
    for (uint32_t off = 8 + descriptorLength; off < length;) {
        if (off + 2 > length)
            return c.Fail(sense::kParameterListLength);
        const uint8_t code = d[off] & 0x3F;
        const uint32_t pageLength = d[off + 1];
        if (off + 2 + pageLength > length)
            return c.Fail(sense::kParameterListLength);
        if (code != 0x05 || pageLength != 0x32)
            return c.Fail(sense::kInvalidFieldInParameters);
        const uint8_t* p = d + off;
        const uint8_t writeType = p[2] & 0x0F;
        const uint8_t multiSession = p[3] >> 6;
        const uint8_t blockType = p[4] & 0x0F;
        const bool linkSizeValid = p[2] & 0x20;
        const bool fixedPacket = p[3] & 0x20;
        if (writeType > 4 || multiSession == 2 || (blockType > 3 && blockType < 8) ||
            blockType > 13) {
            return c.Fail(sense::kInvalidFieldInParameters);
        }
        if (present) {
            const TMediaInfo& info = state_.Info();
            if (info.family == TMediaFamily::Cd) {
                if (linkSizeValid && p[5] != 7)
                    return c.Fail(sense::kInvalidFieldInParameters);
                if (fixedPacket && GetBE32(p + 10) != 32) {
                    return c.Fail(sense::kInvalidFieldInParameters);
                }
            } else if (IsDvdMinus(state_.media) && linkSizeValid && p[5] != 16) {
                return c.Fail(sense::kInvalidFieldInParameters);
            }
        }
        // Only CD-R/-RW (track or session at once) and DVD-R/-RW
        // (sequential) can be test-written; for other media there is no
        // simulation, and the page is refused rather than recorded for real.
        if ((p[2] & 0x10) && present) {
            const TMediaKind m = state_.media;
            bool cd = state_.Info().family == TMediaFamily::Cd && !state_.Info().readOnly &&
                      (writeType == 1 || writeType == 2);
            bool dvdMinus = (m == TMediaKind::DvdR || m == TMediaKind::DvdRw) &&
                            (writeType == 0 || writeType == 2);
            if (!(cd || dvdMinus) || !CanSimulate())
                return c.Fail(sense::kInvalidFieldInParameters);
        }
        std::memcpy(page05.data(), p, kWriteParametersPageSize);
        page05[0] = 0x05;
        off += 2 + pageLength;
    }
    if (page05 != state_.page05) {
        state_.page05 = page05;
        simulatedEnd_ = 0;
        c.dirty = true;
    }
    // Every page of the list is page 05h (anything else was refused above).
    if (length > 8 + descriptorLength && present && !state_.page05Sent) {
        state_.page05Sent = true;
        c.dirty = true;
    }
}

bool TDevice::CanSimulate() const {
    uint8_t page[64] = {};
    BuildPage2A(page, true);
    return (page[3] & 0x04) != 0;  // test write
}

void TDevice::SetCdSpeed(TContext& c) {
    const uint16_t read = GetBE16(c.cdb + 2);
    const uint16_t write = GetBE16(c.cdb + 4);
    DrainBuffer();
    readSpeed_ = read == 0xFFFF ? 0 : read;
    writeSpeed_ = write == 0xFFFF ? 0 : write;
}

void TDevice::SetStreaming(TContext& c) {
    if (c.cdb[8] != 0)
        return c.Fail(sense::kInvalidFieldInCdb);  // only the performance descriptor
    const uint32_t length = GetBE16(c.cdb + 9);
    if (length < 28 || length > c.cmd.dataLength || c.cmd.data == nullptr) {
        return c.Fail(sense::kParameterListLength);
    }
    const uint8_t* d = c.cmd.data;
    const uint64_t readSize = GetBE32(d + 12), readTime = GetBE32(d + 16);
    const uint64_t writeSize = GetBE32(d + 20), writeTime = GetBE32(d + 24);
    if (readTime == 0 || writeTime == 0)
        return c.Fail(sense::kInvalidFieldInParameters);
    DrainBuffer();
    readSpeed_ = static_cast<uint16_t>(std::min<uint64_t>(0xFFFF, readSize * 1000 / readTime));
    uint64_t speed = writeSize * 1000 / writeTime;
    writeSpeed_ = speed >= 0xFFFF ? 0 : static_cast<uint16_t>(speed);
}

void TDevice::SendDvdStructure(TContext& c) {
    const uint8_t format = c.cdb[7];
    const uint32_t length = GetBE16(c.cdb + 8);
    // Format 0Fh: the time stamp that DVD-R/-RW keep in their recording
    // management area.
    if (format != 0x0F || !IsDvdMinus(state_.media))
        return c.Fail(sense::kInvalidFieldInCdb);
    if (length < 4 || length > c.cmd.dataLength || c.cmd.data == nullptr) {
        return c.Fail(sense::kParameterListLength);
    }
}

// ---- Writing --------------------------------------------------------------

void TDevice::Write10(TContext& c) {
    const uint32_t lba = GetBE32(c.cdb + 2);
    const uint32_t blocks = GetBE16(c.cdb + 7);
    if (blocks == 0)
        return;
    const uint64_t bytes = static_cast<uint64_t>(blocks) * kSectorSize;
    if (bytes > c.cmd.dataLength || c.cmd.data == nullptr)
        return c.Fail(sense::kInvalidFieldInCdb);
    const TMediaInfo& info = state_.Info();
    const uint64_t end = static_cast<uint64_t>(lba) + blocks;
    TTrack* track = nullptr;
    if (info.readOnly)
        return c.Fail(sense::kCannotWriteIncompatible);
    const bool simulating = Simulating();
    if (info.sequential && simulating && simulatedEnd_ != 0) {
        // A test write goes on where its last WRITE ended.
        if (lba != simulatedEnd_)
            return c.Fail(sense::kInvalidWriteAddress);
        if (end > info.capacity)
            return c.Fail(sense::kLbaOutOfRange);
    } else if (info.sequential) {
        if (state_.finalized)
            return c.Fail(sense::kInvalidWriteAddress);
        track = state_.IncompleteTrack();
        if (track != nullptr) {
            if (lba != track->WriteEnd())
                return c.Fail(sense::kInvalidWriteAddress);
            uint64_t limit = track->reserved ? track->start + track->size : info.capacity;
            if (end > limit)
                return c.Fail(sense::kLbaOutOfRange);
        } else {
            if (lba != state_.InvisibleTrackStart())
                return c.Fail(sense::kInvalidWriteAddress);
            if (end > info.capacity)
                return c.Fail(sense::kLbaOutOfRange);
        }
    } else if (state_.media == TMediaKind::DvdRwRo) {
        // Restricted overwrite: anywhere inside the formatted area, or right
        // at its end, which grows it.
        if (lba > state_.formattedBlocks)
            return c.Fail(sense::kInvalidWriteAddress);
        if (end > info.capacity)
            return c.Fail(sense::kLbaOutOfRange);
    } else {
        if (!state_.formatted)
            return c.Fail(sense::kCannotWriteIncompatible);
        if (end > state_.WritableCapacity())
            return c.Fail(sense::kLbaOutOfRange);
    }
    for (auto it = state_.faults.begin(); it != state_.faults.end(); ++it) {
        if (it->armed && it->kind == TFaultKind::WriteError && it->lba >= lba && it->lba < end) {
            c.Fail(it->sense);
            UseFault(it);
            c.dirty = true;
            return;
        }
    }
    if (!AcceptIntoBuffer(c, bytes))
        return;
    if (simulating) {
        simulatedEnd_ = end;
        c.result.transferred = static_cast<uint32_t>(bytes);
        return;
    }
    if (!store_.WriteSectors(lba, c.cmd.data, blocks))
        return c.Fail(sense::kWriteError);
    c.result.transferred = static_cast<uint32_t>(bytes);
    if (info.sequential) {
        if (track == nullptr) {
            // The first write at the invisible track's address starts a new track.
            state_.tracks.push_back(TTrack{lba, 0, 0, state_.OpenSessionNumber(), false, false});
            track = &state_.tracks.back();
            c.dirty = true;
        }
        track->written += blocks;
        c.hot = true;
    } else if (state_.media == TMediaKind::DvdRwRo && end > state_.formattedBlocks) {
        state_.formattedBlocks = static_cast<uint32_t>(end);
        c.hot = true;
    }
}

void TDevice::SynchronizeCache(TContext& c) {
    const bool immediate = c.cdb[1] & 0x02;
    DrainBuffer();
    int64_t us = DrainTimeUs() + Scaled(config_.syncMs);
    bufferFill_ = 0;
    // In track-at-once mode the flush ends the CD track being written.
    TTrack* t = state_.IncompleteTrack();
    if (t != nullptr && !t->reserved && state_.Info().family == TMediaFamily::Cd &&
        WriteType() == 1 && !Simulating()) {
        CloseTrack(*t);
        c.dirty = true;
    }
    if (us > 0)
        StartOperation(c, TOperation::Sync, us, immediate);
}

void TDevice::CloseTrack(TTrack& t) {
    const TMediaInfo& info = state_.Info();
    if (!t.reserved) {
        if (info.family == TMediaFamily::Cd) {
            // A track is at least 4 seconds long, and track-at-once recording
            // ends it with two run-out blocks.
            t.size = std::max<uint32_t>(t.written, 300) + 2;
        } else {
            t.size = AlignUp(t.written, EccUnit(info.family));
        }
    }
    t.closed = true;
}

void TDevice::CloseSession(bool finalize) {
    if (TTrack* t = state_.IncompleteTrack())
        CloseTrack(*t);
    const TMediaInfo& info = state_.Info();
    if (state_.HasOpenSession())
        ++state_.closedSessions;
    state_.finalized = finalize;
    if (finalize)
        return;
    const TTrack& last = state_.tracks.back();
    uint32_t leadOut = last.start + last.size;
    uint32_t next = info.family == TMediaFamily::Cd
                        ? leadOut + state_.SessionGap()
                        : AlignUp(leadOut, EccUnit(info.family)) + state_.SessionGap();
    state_.nextSessionStart = next;
    bool full = next >= info.capacity;
    // A DVD+R DL takes at most 127 sessions and needs 65 ECC blocks for another.
    if (state_.media == TMediaKind::DvdPlusRDl &&
        (state_.closedSessions >= 127 || info.capacity - std::min(info.capacity, next) < 65 * 16)) {
        full = true;
    }
    if (full)
        state_.finalized = true;
}

void TDevice::CloseTrackSession(TContext& c) {
    const bool immediate = c.cdb[1] & 0x01;
    const uint8_t function = c.cdb[2] & 0x07;
    const uint32_t number = GetBE16(c.cdb + 4);
    const TMediaKind media = state_.media;
    const TMediaInfo& info = state_.Info();
    auto finish = [&] { StartOperation(c, TOperation::Close, Scaled(config_.closeMs), immediate); };
    if (info.readOnly)
        return c.Fail(sense::kCannotWriteIncompatible);
    if (Simulating() && info.sequential) {
        // The end of a test write: the disc is as it was.
        simulatedEnd_ = 0;
        return finish();
    }
    if (state_.Overwritable()) {
        const bool plusRw = media == TMediaKind::DvdPlusRw;
        TBgFormat bg = BgFormatStatus(c.nowUs);
        switch (function) {
            case 0:  // stop background formatting
                if (!plusRw && media != TMediaKind::BdRe)
                    return c.Fail(sense::kInvalidFieldInCdb);
                if (plusRw && bg == TBgFormat::Running)
                    state_.bgFormat = TBgFormat::Suspended;
                break;
            case 1:
                break;
            case 2:
                if (plusRw && bg != TBgFormat::None)
                    state_.bgFormat = TBgFormat::Complete;
                if (media == TMediaKind::DvdRwRo)
                    state_.intermediate = false;
                break;
            case 3:
                if (!plusRw && media != TMediaKind::BdRe)
                    return c.Fail(sense::kInvalidFieldInCdb);
                if (plusRw && bg != TBgFormat::None)
                    state_.bgFormat = TBgFormat::Complete;
                break;
            default:
                return c.Fail(sense::kInvalidFieldInCdb);
        }
        // DVD-RAM and BD-RE have nothing to close: the command ends at once.
        bool work = (plusRw && bg != TBgFormat::None && function != 1) ||
                    (media == TMediaKind::DvdRwRo && function == 2);
        if (work) {
            c.dirty = true;
            finish();
        }
        return;
    }
    // Sequential media.
    const uint32_t invisible = state_.InvisibleTrackNumber();
    switch (function) {
        case 1: {
            if (number == 0 || number > invisible)
                return c.Fail(sense::kInvalidFieldInCdb);
            if (number == invisible || state_.tracks[number - 1].closed)
                return;  // nothing open
            CloseTrack(state_.tracks[number - 1]);
            c.dirty = true;
            return finish();
        }
        case 2: {
            if (state_.finalized || !state_.HasOpenSession())
                return;  // empty session: no-op
            if (const TTrack* t = state_.IncompleteTrack()) {
                if (t->reserved && t->written < t->size)
                    return c.Fail(sense::kEmptyReservedTrack);
                bool implicit = IsPlusR(media) || media == TMediaKind::BdR;
                if (!t->reserved && !implicit)
                    return c.Fail(sense::kIncompleteTrackInSession);
            }
            // Multi-session 00b in page 05h asks for a closed disc. The page
            // does not apply to DVD+R and BD-R, which a drive finalizes with
            // functions 5 and 6 only: there a page the host sent for this disc
            // is taken at its word, and without one the disc stays appendable
            // (libburn sends none). A DVD+R DL is finalized only by functions.
            const bool pageApplies =
                !(IsPlusR(media) || media == TMediaKind::BdR) || state_.page05Sent;
            CloseSession(media != TMediaKind::DvdPlusRDl && pageApplies && MultiSession() == 0);
            c.dirty = true;
            return finish();
        }
        case 4:
        case 5:
        case 6: {
            bool allowed = function == 4
                               ? media == TMediaKind::DvdPlusRDl
                               : IsPlusR(media) || (function == 6 && media == TMediaKind::BdR);
            if (!allowed)
                return c.Fail(sense::kInvalidFieldInCdb);
            if (state_.finalized)
                return;
            if (state_.HasOpenSession()) {
                CloseSession(function != 4);
            } else {
                state_.finalized = function != 4;
            }
            c.dirty = true;
            return finish();
        }
        default:
            return c.Fail(sense::kInvalidFieldInCdb);
    }
}

void TDevice::ReserveTrack(TContext& c) {
    const uint32_t size = GetBE32(c.cdb + 5);
    const TMediaInfo& info = state_.Info();
    if (!info.sequential || state_.finalized)
        return c.Fail(sense::kCommandSequenceError);
    if (Simulating())
        return;  // a test write reserves nothing
    if (state_.IncompleteTrack() != nullptr && !state_.IncompleteTrack()->reserved) {
        return c.Fail(sense::kCommandSequenceError);
    }
    if (size == 0)
        return c.Fail(sense::kInvalidFieldInCdb);
    unsigned reservedOpen = 0;
    for (const auto& t : state_.tracks) {
        if (t.reserved && !t.closed)
            ++reservedOpen;
    }
    if (reservedOpen >= 14)
        return c.Fail(sense::kNoMoreReservations);
    const uint32_t blocks = AlignUp(size, EccUnit(info.family));
    const uint32_t start = state_.InvisibleTrackStart();
    if (static_cast<uint64_t>(start) + blocks > info.capacity) {
        return c.Fail(sense::kInvalidFieldInCdb);
    }
    state_.tracks.push_back(TTrack{start, blocks, 0, state_.OpenSessionNumber(), false, true});
    c.dirty = true;
}

// ---- Formatting and blanking ---------------------------------------------

void TDevice::FormatUnit(TContext& c) {
    if ((c.cdb[1] & 0x17) != 0x11)
        return c.Fail(sense::kInvalidFieldInCdb);  // FmtData, code 1
    if (c.cmd.dataLength < 12 || c.cmd.data == nullptr)
        return c.Fail(sense::kParameterListLength);
    const uint8_t* d = c.cmd.data;
    const uint8_t options = d[1];
    if (GetBE16(d + 2) != 8)
        return c.Fail(sense::kInvalidFieldInParameters);
    const bool fov = options & 0x80;
    // Some drives want DPRY, DCRT, STPF, IP and VS clear whenever FOV is set.
    if (config_.pioneer && fov && (options & 0x79))
        return c.Fail(sense::kInvalidFieldInParameters);
    const bool immediate = fov && (options & 0x02);
    const uint32_t count = GetBE32(d + 4);
    const uint8_t type = d[8] >> 2;
    const uint32_t parameter = GetBE24(d + 9);
    const TMediaKind media = state_.media;
    const uint32_t cap = state_.Info().capacity;
    int64_t us = Scaled(config_.formatMs);
    switch (media) {
        case TMediaKind::DvdPlusRw:
            if (type != 0x26 || (count != cap && count != 0xFFFFFFFF) || parameter > 1) {
                return c.Fail(sense::kInvalidFieldInParameters);
            }
            state_.formatted = true;
            state_.formattedBlocks = cap;
            // The foreground part ends the command; the drive then goes on
            // formatting in the background while the disc is already usable.
            state_.bgFormat = TBgFormat::Running;
            state_.bgFormatEndUs = c.nowUs + us + Scaled(config_.bgFormatMs);
            break;
        case TMediaKind::DvdRam:
            if (type != 0x00 || count != cap || parameter != kSectorSize) {
                return c.Fail(sense::kInvalidFieldInParameters);
            }
            store_.Discard();
            break;
        case TMediaKind::BdRe: {
            uint32_t size = 0;
            if (type == 0x00 && count <= 11826176) {
                size = 11826176;
            } else if (type == 0x30 && parameter >= 0x1000 &&
                       static_cast<uint64_t>(parameter) * 32 < cap &&
                       count <= cap - parameter * 32) {
                size = cap - parameter * 32;  // the spare area is counted in 32-block clusters
            } else if (type == 0x31 && count <= cap) {
                size = cap;
            } else {
                return c.Fail(sense::kInvalidFieldInParameters);
            }
            state_.formatted = true;
            state_.formattedBlocks = size;
            break;
        }
        case TMediaKind::DvdRw:
        case TMediaKind::DvdRwRo:
            if ((type == 0x00 || type == 0x10) && count <= cap) {
                state_.MakeBlank();
                state_.media = TMediaKind::DvdRwRo;
                state_.formatted = true;
                state_.formattedBlocks = cap;
                store_.Discard();
            } else if (type == 0x15 && count <= cap) {
                // Quick format: a formatted area of `count` blocks that
                // sequential writing may extend; the disc now takes
                // restricted overwrite.
                state_.MakeBlank();
                state_.media = TMediaKind::DvdRwRo;
                state_.formatted = true;
                state_.formattedBlocks = count;
                state_.intermediate = true;
                store_.Discard();
            } else if ((type == 0x13 || type == 0x11) && media == TMediaKind::DvdRwRo &&
                       count <= cap - std::min(cap, state_.formattedBlocks)) {
                state_.formattedBlocks += count;
                state_.intermediate = true;
            } else {
                return c.Fail(sense::kInvalidFieldInParameters);
            }
            break;
        default:
            return c.Fail(sense::kCannotFormat);
    }
    state_.tracks.clear();
    StartOperation(c, TOperation::Format, us, immediate);
}

void TDevice::Blank(TContext& c) {
    const bool immediate = c.cdb[1] & 0x10;
    const uint8_t type = c.cdb[1] & 0x07;
    if (!state_.Info().blankable)
        return c.Fail(sense::kCannotFormat);
    if (type > 1)
        return c.Fail(sense::kInvalidFieldInCdb);
    state_.MakeBlank();
    store_.Discard();
    StartOperation(c, TOperation::Blank, Scaled(type == 0 ? config_.blankFullMs : config_.blankMs),
                   immediate);
}

// ---- Tray -------------------------------------------------------------------

void TDevice::StartStopUnit(TContext& c) {
    const bool immediate = c.cdb[1] & 0x01;
    const bool loadEject = c.cdb[4] & 0x02;
    const bool start = c.cdb[4] & 0x01;
    if (!loadEject)
        return;
    if (!start) {
        if (state_.TrayLocked()) {
            return c.Fail(MediumPresent(c.nowUs) ? sense::kRemovalPreventedWithMedium
                                                 : sense::kRemovalPreventedNoMedium);
        }
        if (!state_.trayOpen) {
            state_.trayOpen = true;
            if (state_.present)
                state_.mediaEvent = TMediaEvent::MediaRemoval;
            state_.operation = TOperation::None;
            c.dirty = true;
        }
        return;
    }
    if (!state_.trayOpen)
        return;
    state_.trayOpen = false;
    c.dirty = true;
    if (state_.present) {
        state_.unitAttention = config_.unitAttention;
        state_.mediaEvent = TMediaEvent::NewMedia;
        StartOperation(c, TOperation::Loading, Scaled(config_.loadMs), immediate);
    }
}

void TDevice::PreventAllowRemoval(TContext& c) {
    bool lock = c.cdb[4] & 0x01;
    int32_t owner = lock ? static_cast<int32_t>(::getpid()) : 0;
    if (lock != state_.locked || owner != state_.lockOwner) {
        state_.locked = lock;
        state_.lockOwner = owner;
        c.dirty = true;
    }
}

}  // namespace tessor::vdrive
