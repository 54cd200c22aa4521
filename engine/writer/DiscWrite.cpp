// The drive side of a write: where the session starts, how the drive is set
// up, one WRITE (10) per block with its retries, and how each kind of disc
// is closed afterwards.
#include "engine/writer/DiscWrite.h"

#include "engine/drive/Capacity.h"
#include "engine/drive/Consts.h"
#include "engine/drive/Queries.h"
#include "engine/drive/WriteControl.h"
#include "engine/platform/Threads.h"
#include "engine/writer/DriveWaits.h"

namespace tessor::writer {

using namespace tessor::drive;
using builder::kSectorSize;
using builder::TImageBuilder;

namespace {

void PollDiscInformation(TSCSIDevice& d, bool sleepFirst) {
    writer::PollDiscInformation(d, sleepFirst, d.DiscInfo2);
}

void PollUnitReady(TSCSIDevice& d) {
    WaitWhileNotReady(d, false, [&] { DeviceReady(d); });
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

    void Begin() override;
    bool Write(const uint8_t* data, int32_t length) override;
    void AfterBlock(int32_t index) override;
    void Finish(bool failed) override;

private:
    bool WriteFirstBlockAtZero(const uint8_t* data, uint16_t blocks);
    void CloseByMediaType();
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
};

void TDiscSink::Begin() {
    ClearBuffer();
    SynchronizeCache(d_, false);
    RezeroUnit(d_);
    SetParameters(false);
    ReadDiscInformation(d_, d_.DiscInfo, sizeof d_.DiscInfo);
    if (ReadBufferCapacity(d_) && SenseAsc(d_) == 0x14)
        bufferQueries_ = false;
    address_ = b_.ReadFromImageFile ? 0 : static_cast<uint32_t>(b_.SessionStartLba);
    SetParameters(media_ == MT_DVD_PLUS_R ? !d_.FinalizeDisc : false);
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
                SenseAscq(d_) == 0x05) {
                // An unformatted DVD+RW: format it and try again.
                if (FormatUnit(d_, FORMAT_DATA_FOLLOWS, FORMAT_DVD_PLUS_RW, 12)) {
                    PollDiscInformation(d_, true);
                }
                if (attempts == 1)
                    continue;
            }
            if ((busy || asc == ASC_NOT_READY) && attempts < 5000) {
                platform::SleepMs(200);
                continue;
            }
            if ((busy || asc == 0 || asc == ASC_POWER_ON_RESET) && attempts < 100) {
                platform::SleepMs(asc == ASC_POWER_ON_RESET ? 1200 : 200);
                continue;
            }
            return false;
        }
    }
    SynchronizeCache(d_, false);
    return true;
}

bool TDiscSink::Write(const uint8_t* data, int32_t length) {
    // Only whole sectors go out: the odd tail of an image file is dropped.
    auto blocks = static_cast<uint16_t>(length / kSectorSize);
    if (firstBlock_) {
        firstBlock_ = false;
        bool writeDisc = !b_.ReadFromImageFile;
        if (writeDisc && (media_ == MT_DVD_RAM || media_ == MT_DVD_RW_RO ||
                          media_ == MT_DVD_RW_SEQ || media_ == MT_DVD_PLUS_RW)) {
            if (!WriteFirstBlockAtZero(data, blocks))
                return false;
        }
    }
    if (blocks == 0)
        return true;
    for (int attempt = 0;; ++attempt) {
        if (Write10(d_, address_, blocks, data, blocks * static_cast<uint32_t>(kSectorSize)))
            break;
        uint8_t asc = SenseAsc(d_);
        bool retry = d_.TargetBusy != 0 || asc == ASC_NOT_READY || asc == 0;
        if (!retry || attempt + 1 >= 5000)
            return false;
        platform::SleepMs(100);
    }
    address_ += blocks;
    return true;
}

// The drive-buffer figures the window shows: every sixth block from the third.
void TDiscSink::AfterBlock(int32_t index) {
    if (bufferQueries_ && index % 6 == 3)
        ReadBufferCapacity(d_);
}

void TDiscSink::CloseByMediaType() {
    bool keepOpen = !d_.FinalizeDisc;
    auto s = static_cast<uint8_t>(sessions_);
    switch (media_) {
        case MT_DVD_R:
            SynchronizeCache(d_, false);
            ClearBuffer();
            CloseTrackSession(d_, false, 1, static_cast<uint8_t>(s + 1));
            CloseTrackSession(d_, false, 1, static_cast<uint8_t>(s + 2));
            CloseTrackSession(d_, false, 2, static_cast<uint8_t>(s + 3));
            break;
        case MT_DVD_PLUS_R:
            SynchronizeCache(d_, false);
            ClearBuffer();
            CloseTrackSession(d_, false, 1, static_cast<uint8_t>(s + 1));
            CloseTrackSession(d_, false, 2, 255);
            break;
        case MT_DVD_PLUS_R_DL:
            SynchronizeCache(d_, false);
            ClearBuffer();
            CloseTrackSession(d_, false, 1, static_cast<uint8_t>(s + 1));
            CloseTrackSession(d_, false, d_.FinalizeDisc ? 6 : 2, 0);
            break;
        case MT_DVD_PLUS_RW:
            SynchronizeCache(d_, false);
            ClearBuffer();
            CloseTrackSession(d_, false, 3, 255);
            break;
        case MT_DVD_RW_RO:
        case MT_DVD_RW_SEQ:
            SynchronizeCache(d_, false);
            ClearBuffer();
            CloseTrackSession(d_, false, 1, 1);
            CloseTrackSession(d_, true, 2, 0);
            PollDiscInformation(d_, true);
            break;
        case MT_CD_R:
        case MT_CD_RW:
            SynchronizeCache(d_, true);
            PollDiscInformation(d_, false);
            PollUnitReady(d_);
            ClearBuffer();
            SetParameters(keepOpen);
            if (!CloseTrackOrSession(d_, false, true, 0))
                CloseTrackOrSession(d_, true, true, 0);
            break;
        default:
            SynchronizeCache(d_, true);
            if (media_ != MT_DVD_RAM) {
                PollDiscInformation(d_, false);
                PollUnitReady(d_);
            }
            ClearBuffer();
            if (!CloseTrackOrSession(d_, true, false, 0))
                CloseTrackOrSession(d_, true, true, 0);
            SetParameters(keepOpen);
            if (!CloseTrackOrSession(d_, false, true, 0))
                CloseTrackOrSession(d_, false, false, 0);
            break;
    }
}

// Written data is closed like a complete write, also after an abort or a
// write error, so the disc stays readable.
void TDiscSink::Finish(bool /*failed*/) {
    d_.CloseAfterCommand = 1;
    CloseByMediaType();
    if (media_ != MT_DVD_RAM)
        PollDiscInformation(d_, false);
    AllowMediumRemoval(d_);
    LoadTray(d_, false);
    RezeroUnit(d_);
    DeviceReady(d_);
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
        if (IsOverwritable(m)) {
            b.SessionStartLba = b.VolumeSizeBias = static_cast<int32_t>(IsoVolumeSize(d));
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
