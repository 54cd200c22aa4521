// The drive side of a write: where the session starts, how the drive is set
// up, one WRITE (10) per block with its retries, and how each kind of disc
// is closed afterwards.
#include "engine/writer/DiscWrite.h"

#include <vector>

#include "engine/builder/Tree.h"
#include "engine/builder/UDFBridge.h"
#include "engine/drive/Capacity.h"
#include "engine/drive/Consts.h"
#include "engine/drive/MMC.h"
#include "engine/drive/Queries.h"
#include "engine/drive/RetryPolicy.h"
#include "engine/drive/WriteControl.h"
#include "engine/platform/Threads.h"
#include "engine/writer/DriveWaits.h"

namespace tessor::writer {

using namespace tessor::drive;
using builder::kSectorSize;
using builder::TImageBuilder;

namespace {

constexpr int32_t kUdfAnchorSector = 256;

bool PollDiscInformation(TSCSIDevice& d, bool sleepFirst) {
    return writer::PollDiscInformation(d, sleepFirst, d.DiscInfo2);
}

void PollUnitReady(TSCSIDevice& d) {
    WaitWhileNotReady(d, false, [&] { DeviceReady(d); });
}

// Sends a set-up or closing command again while the drive is still working
// (policy::StillWorking): those answers mean "later", not "no".
template <typename TCommand>
bool Retried(TSCSIDevice& d, TCommand command) {
    for (int attempt = 1;; ++attempt) {
        if (command())
            return true;
        if (!policy::StillWorking(DecodeSense(d.Sense), d.TargetBusy != 0) ||
            attempt >= policy::kStepTries)
            return false;
        platform::SleepMs(policy::kStepPauseMs);
    }
}

bool IsOverwritable(uint8_t m) {
    return m == MT_DVD_RAM || m == MT_DVD_PLUS_RW || m == MT_BD_RE;
}

bool NeedsStreamingSetup(uint8_t m) {
    switch (m) {
        case MT_DVD_R:
        case MT_DVD_RW_RO:
        case MT_DVD_RW_SEQ:
        case MT_DVD_PLUS_RW:
        case MT_DVD_PLUS_R:
        case MT_DVD_PLUS_R_DL:
        case MT_BD_R_SRM:
        case MT_BD_R_RRM:
        case MT_BD_RE:
        case MT_HD_DVD_R:
        case MT_HD_DVD_RAM:
            return true;
        default:
            return false;
    }
}

class TDiscSink final : public TBlockSink {
public:
    TDiscSink(TImageBuilder& b, TSCSIDevice& d) : b_(b), d_(d), media_(d.MediaType) {}

    bool Begin() override;
    bool Write(const uint8_t* data, int32_t length) override;
    void AfterBlock(int32_t index) override;
    bool Finish(bool failed) override;

private:
    bool WriteFirstBlockAtZero(const uint8_t* data, uint16_t blocks);
    bool RewriteVolumeStart();
    bool CloseByMediaType();
    // The first of two ways of closing that works, each sent again while
    // the drive is busy or working; when neither does, the first one's
    // answer is the reason (the second is only a fallback).
    template <typename TFirst, typename TSecond>
    bool Either(TFirst first, TSecond second) {
        if (Retried(d_, first))
            return true;
        const uint16_t code = d_.LastSenseCode;
        const TSense sense = d_.LastSense;
        if (Retried(d_, second))
            return true;
        d_.LastSenseCode = code;
        d_.LastSense = sense;
        return false;
    }
    // Keeps the sense of the first failure as the write's reason: the
    // closing steps that follow it must not replace it with their own.
    void RememberFailure() {
        if (failCode_ == 0) {
            failCode_ = d_.LastSenseCode;
            failSense_ = d_.LastSense;
        }
    }
    void ClearBuffer() {
        d_.BufferCapacity = 0;
        d_.BufferBlank = 0;
    }
    bool SetParameters(bool keepOpen) {
        return SetWriteParameters(d_, d_.TestWrite, d_.BurnProof, keepOpen, media_);
    }

    TImageBuilder& b_;
    TSCSIDevice& d_;
    uint8_t media_;
    uint32_t address_ = 0;
    uint8_t sessions_ = 0;
    bool bufferQueries_ = true;
    bool firstBlock_ = true;
    bool begun_ = false;
    uint16_t failCode_ = 0;
    TSense failSense_;
    std::vector<uint8_t> startBlock_;  // the session's first block, for address 0
};

bool TDiscSink::Begin() {
    ClearBuffer();
    // The tray stays shut until Finish allows it again.
    PreventMediumRemoval(d_);
    SynchronizeCache(d_, false);
    RezeroUnit(d_);
    SetParameters(false);
    ReadDiscInformation(d_, d_.DiscInfo, sizeof d_.DiscInfo);
    if (ReadBufferCapacity(d_) && SenseAsc(d_) == ASC_RECORDED_ENTITY_NOT_FOUND)
        bufferQueries_ = false;
    address_ = b_.ReadFromImageFile ? 0 : static_cast<uint32_t>(b_.SessionStartLba);
    b_.WrittenStartLba = address_;
    // The page that governs the recording: a drive that refuses it would
    // record in whatever way it was set before (closing a disc that should
    // stay open, or recording a test write for real).
    if (!Retried(d_, [&] {
            return SetParameters(media_ == MT_DVD_PLUS_R ? !d_.FinalizeDisc : false);
        })) {
        RememberFailure();
        return false;
    }
    begun_ = true;
    SetCdSpeed(d_, d_.ReadSpeedSetting, d_.WriteSpeedSetting);
    if (NeedsStreamingSetup(media_)) {
        if (!ReadTrackInformation(d_, LastTrackNumber(d_))) {
            d_.TrackInfo.TrackSize = static_cast<uint32_t>(b_.TotalSectors.load()) + address_;
        }
        uint32_t end = d_.TrackInfo.TrackSize;
        SetPerformance(d_, end, ReadSpeed(d_), WriteSpeed(d_), 1000, 1000);
    }
    sessions_ = SessionCount(d_);
    if (media_ == MT_DVD_R) {
        SendTimeStamp(d_);
        ReserveTrack(d_, static_cast<uint32_t>(b_.TotalSectors.load()));
    }
    d_.CloseAfterCommand = 0;  // one open device for the whole write
    return true;
}

// Overwritable DVDs appending behind an earlier volume also get the first
// block at address 0, so that readers starting at sector 16 find the new
// volume descriptors.
bool TDiscSink::WriteFirstBlockAtZero(const uint8_t* data, uint16_t blocks) {
    SynchronizeCache(d_, false);
    if (address_ != 0) {
        int attempts = 0;
        for (;;) {
            if (Write10(d_, 0, blocks, data, blocks * static_cast<uint32_t>(kSectorSize)))
                break;
            ++attempts;
            uint8_t asc = SenseAsc(d_);
            bool busy = d_.TargetBusy != 0;
            if (media_ == MT_DVD_PLUS_RW && asc == ASC_INCOMPATIBLE_MEDIUM &&
                SenseAscq(d_) == ASCQ_CANNOT_WRITE_INCOMPATIBLE_FORMAT) {
                // An unformatted DVD+RW: format it and try again.
                if (FormatUnit(d_, FORMAT_DATA_FOLLOWS, FORMAT_DVD_PLUS_RW, 12)) {
                    PollDiscInformation(d_, true);
                }
                if (attempts == 1)
                    continue;
            }
            const uint32_t pause = policy::FirstBlockPause(asc, busy, attempts);
            if (pause == 0)
                return false;
            platform::SleepMs(pause);
        }
        b_.WrittenAtZero = 1;
    }
    SynchronizeCache(d_, false);
    return true;
}

// The grown volume's first block (its volume descriptors and volume
// recognition) at address 0, then, with the UDF bridge, an anchor at sector
// 256 that points at the new session's descriptor sequences: readers that
// look only there see every session's files.
bool TDiscSink::RewriteVolumeStart() {
    const auto blocks = static_cast<uint16_t>(startBlock_.size() / kSectorSize);
    if (!WriteFirstBlockAtZero(startBlock_.data(), blocks)) {
        RememberFailure();
        return false;
    }
    if (b_.UDFBridge) {
        uint8_t anchor[kSectorSize];
        builder::BuildUdfAnchor(b_, anchor, kUdfAnchorSector - b_.UdfLbaBase);
        if (!Write10(d_, kUdfAnchorSector, 1, anchor, kSectorSize) ||
            !SynchronizeCache(d_, false)) {
            RememberFailure();
            return false;
        }
    }
    return true;
}

bool TDiscSink::Write(const uint8_t* data, int32_t length) {
    // The odd tail of an image file goes out as a whole sector: the cache
    // has zeroed the rest of it.
    auto blocks = static_cast<uint16_t>(builder::SectorsForBytes(static_cast<uint64_t>(length)));
    if (firstBlock_) {
        firstBlock_ = false;
        bool writeDisc = !b_.ReadFromImageFile;
        if (writeDisc &&
            (media_ == MT_DVD_RAM || media_ == MT_DVD_RW_RO || media_ == MT_DVD_RW_SEQ ||
             media_ == MT_DVD_PLUS_RW || media_ == MT_BD_RE)) {
            if (address_ == 0) {
                if (!WriteFirstBlockAtZero(data, blocks)) {
                    RememberFailure();
                    return false;
                }
            } else {
                // Behind an earlier volume the descriptors at the start are
                // rewritten once the whole session is on the disc (Finish):
                // until then readers keep finding the earlier volume whole.
                startBlock_.assign(data, data + size_t(blocks) * kSectorSize);
            }
        }
    }
    if (blocks == 0)
        return true;
    for (int attempt = 0;; ++attempt) {
        if (Write10(d_, address_, blocks, data, blocks * static_cast<uint32_t>(kSectorSize)))
            break;
        if (!policy::WriteAgain(SenseAsc(d_), d_.TargetBusy != 0) ||
            attempt + 1 >= policy::kWriteTries) {
            RememberFailure();
            return false;
        }
        platform::SleepMs(policy::kWritePauseMs);
    }
    address_ += blocks;
    return true;
}

// The drive-buffer figures the window shows: every sixth block from the third.
void TDiscSink::AfterBlock(int32_t index) {
    if (bufferQueries_ && index % 6 == 3)
        ReadBufferCapacity(d_);
}

// Each step that leaves the session as the disc needs it must succeed: a
// disc whose data were not flushed or whose track or session stays open does
// not hold what was written. Overwritable media (DVD-RAM, DVD+RW, BD-RE)
// hold their data once flushed; their closing steps only end background
// formatting, and a drive that refuses them loses nothing.
bool TDiscSink::CloseByMediaType() {
    bool keepOpen = !d_.FinalizeDisc;
    auto s = static_cast<uint8_t>(sessions_);
    bool ok = true;
    auto need = [&](bool good) {
        if (!good) {
            RememberFailure();
            ok = false;
        }
    };
    switch (media_) {
        case MT_DVD_R:
            need(Retried(d_, [&] { return SynchronizeCache(d_, false); }));
            ClearBuffer();
            need(Retried(d_, [&] { return CloseTrackSession(d_, false, CLOSE_TRACK, s + 1); }));
            need(Retried(d_, [&] { return CloseTrackSession(d_, false, CLOSE_TRACK, s + 2); }));
            need(Retried(d_, [&] { return CloseTrackSession(d_, false, CLOSE_SESSION, s + 3); }));
            break;
        case MT_DVD_PLUS_R:
            need(Retried(d_, [&] { return SynchronizeCache(d_, false); }));
            ClearBuffer();
            need(Retried(d_, [&] { return CloseTrackSession(d_, false, CLOSE_TRACK, s + 1); }));
            need(Retried(d_, [&] { return CloseTrackSession(d_, false, CLOSE_SESSION, 255); }));
            break;
        case MT_DVD_PLUS_R_DL:
            need(Retried(d_, [&] { return SynchronizeCache(d_, false); }));
            ClearBuffer();
            need(Retried(d_, [&] { return CloseTrackSession(d_, false, CLOSE_TRACK, s + 1); }));
            need(Retried(d_, [&] {
                return CloseTrackSession(d_, false,
                                         d_.FinalizeDisc ? CLOSE_FINALIZE : CLOSE_SESSION, 0);
            }));
            break;
        case MT_DVD_PLUS_RW:
            need(Retried(d_, [&] { return SynchronizeCache(d_, false); }));
            ClearBuffer();
            Retried(d_, [&] { return CloseTrackSession(d_, false, CLOSE_PLUS_RW_FORMAT, 255); });
            break;
        case MT_DVD_RW_RO:
        case MT_DVD_RW_SEQ:
            need(Retried(d_, [&] { return SynchronizeCache(d_, false); }));
            ClearBuffer();
            need(Retried(d_, [&] { return CloseTrackSession(d_, false, CLOSE_TRACK, 1); }));
            need(Retried(d_, [&] { return CloseTrackSession(d_, true, CLOSE_SESSION, 0); }));
            PollDiscInformation(d_, true);
            break;
        case MT_CD_R:
        case MT_CD_RW:
            need(Retried(d_, [&] { return SynchronizeCache(d_, true); }));
            PollDiscInformation(d_, false);
            PollUnitReady(d_);
            ClearBuffer();
            need(Retried(d_, [&] { return SetParameters(keepOpen); }));
            need(Either([&] { return CloseTrackOrSession(d_, false, true, 0); },
                        [&] { return CloseTrackOrSession(d_, true, true, 0); }));
            break;
        default: {
            need(Retried(d_, [&] { return SynchronizeCache(d_, true); }));
            if (media_ != MT_DVD_RAM) {
                PollDiscInformation(d_, false);
                PollUnitReady(d_);
                // The immediate flush ends while the drive still works; a
                // drive that has lost the disc meanwhile says so here.
                need(SenseAsc(d_) != ASC_NO_MEDIUM);
            }
            ClearBuffer();
            bool track =
                CloseTrackOrSession(d_, true, false, 0) || CloseTrackOrSession(d_, true, true, 0);
            bool page = Retried(d_, [&] { return SetParameters(keepOpen); });
            bool session = Either([&] { return CloseTrackOrSession(d_, false, true, 0); },
                                  [&] { return CloseTrackOrSession(d_, false, false, 0); });
            // Closing the session closes its track as well: the track
            // step may be refused (track number 0) without harm.
            (void)track;
            if (!IsOverwritable(media_)) {
                need(page);
                need(session);
            }
            break;
        }
    }
    return ok;
}

// Written data is closed like a complete write, also after an abort or a
// write error, so the disc stays readable. A write whose start was refused
// recorded nothing and closes nothing.
bool TDiscSink::Finish(bool failed) {
    d_.CloseAfterCommand = 1;
    bool grown = true;
    if (begun_ && !failed && !startBlock_.empty())
        grown = RewriteVolumeStart();
    bool closed = !begun_ || CloseByMediaType();
    closed = closed && grown;
    if (begun_ && media_ != MT_DVD_RAM)
        PollDiscInformation(d_, false);
    AllowMediumRemoval(d_);
    LoadTray(d_, false);
    RezeroUnit(d_);
    DeviceReady(d_);
    if (failCode_ != 0) {
        d_.LastSenseCode = failCode_;
        d_.LastSense = failSense_;
    }
    return closed;
}

}  // namespace

void PrepareDiscWrite(TImageBuilder& b, TSCSIDevice& d) {
    uint8_t m = d.MediaType;
    if (!b.ReadFromImageFile) {
        SetWriteParameters(d, d.TestWrite, d.BurnProof, false, m);
        ReadDiscInformation(d, d.DiscInfo, sizeof d.DiscInfo);
        if (m == MT_DVD_RW_SEQ || m == MT_DVD_RW_RO) {
            if (m == MT_DVD_RW_SEQ) {
                if (!FormatUnit(d, FORMAT_DATA_FOLLOWS, FORMAT_DVD_RW_QUICK_1000, 12)) {
                    FormatUnit(d, FORMAT_DATA_FOLLOWS, FORMAT_DVD_RW_QUICK, 12);
                }
            } else {
                FormatUnit(d, FORMAT_DATA_FOLLOWS, FORMAT_DVD_RW_QUICK_GROW, 12);
            }
            PollDiscInformation(d, false);
        }
        b.VolumeSizeBias = 0;
        // A DVD-RW in restricted overwrite is one volume grown in place like
        // the other overwritable media: its next writable address is the end
        // of the formatted area, and a session there would leave a gap, or
        // (1000 after a quick format) be written over the earlier one.
        // The session starts on a 32-sector (64 KiB) boundary: no BD cluster
        // or DVD ECC block then holds data of two sessions, and readers that
        // follow the chain of sessions on such a disc look for each one there.
        if (IsOverwritable(m) || m == MT_DVD_RW_RO) {
            const uint32_t volume = IsoVolumeSize(d);
            b.SessionStartLba = b.VolumeSizeBias = static_cast<int32_t>((volume + 31) / 32 * 32);
        } else if (ReadTrackInformation(d, LastTrackNumber(d))) {
            uint32_t next = d.TrackInfo.NextWritable;
            // A quick-formatted DVD-RW reports the end of its formatted area
            // (1000) as the next writable address of an empty disc.
            b.SessionStartLba = next == 1000 ? 0 : static_cast<int32_t>(next);
        } else if (ReadTrackInformation(d, 1)) {
            b.SessionStartLba = static_cast<int32_t>(d.TrackInfo.TrackStart);
        } else {
            // Neither track answered: start at 0 rather than at an address
            // left over from an earlier write.
            b.SessionStartLba = 0;
        }
        // The volume a later session describes reaches from sector 0 to its
        // end: its extents lie behind the session start and, once carried
        // forward, in earlier sessions too.
        b.VolumeSizeBias = b.SessionStartLba;
    }
    // The UDF structures of a session count from where the session starts;
    // for a session behind an earlier volume on an overwritable disc the
    // track start (0) would point them at the earlier session's sectors.
    if (b.UDFBridge)
        b.UdfLbaBase = b.ReadFromImageFile ? 0 : b.SessionStartLba;
}

std::unique_ptr<TBlockSink> MakeDiscSink(TImageBuilder& b, TSCSIDevice& d) {
    return std::make_unique<TDiscSink>(b, d);
}

}  // namespace tessor::writer
