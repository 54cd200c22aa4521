// The verify thread: READ (10) of every block the write sent, in 64 KiB
// requests, each compared with the digest kept while it was written (or
// with the image file it came from); the first block that differs or cannot
// be read ends it, named by address, file and sense.
#include "engine/writer/Verify.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <span>

#include "engine/builder/Tree.h"
#include "engine/drive/Capacity.h"
#include "engine/drive/Consts.h"
#include "engine/drive/DriveClaim.h"
#include "engine/drive/MMC.h"
#include "engine/drive/Queries.h"
#include "engine/drive/RetryPolicy.h"
#include "engine/drive/SCSIDefs.h"
#include "engine/platform/MessageTarget.h"
#include "engine/platform/Strings.h"
#include "engine/platform/Threads.h"
#include "engine/writer/CDBurner.h"
#include "engine/writer/Cache.h"

namespace tessor::writer {

using builder::kBlockSize;
using builder::kSectorSize;
using builder::kSectorsPerBlock;
using builder::TBlockDigest;
using builder::TImageBuilder;

namespace {

// A 64-bit hash of four independent lanes over 8-byte words: the lanes keep
// the multiplier units busy, so a sector costs far less than reading it.
constexpr uint64_t kP1 = 0x9E3779B185EBCA87ull;
constexpr uint64_t kP2 = 0xC2B2AE3D27D4EB4Full;
constexpr uint64_t kP3 = 0x165667B19E3779F9ull;

inline uint64_t Rotl(uint64_t x, int r) {
    return (x << r) | (x >> (64 - r));
}

inline uint64_t Round(uint64_t acc, uint64_t word) {
    return Rotl(acc + word * kP2, 31) * kP1;
}

inline uint64_t Word(const uint8_t* p) {
    uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

uint64_t SectorHash(const uint8_t* p) {
    uint64_t a = kP1 + kP2, b = kP2, c = 0, d = 0 - kP1;
    for (int i = 0; i < kSectorSize; i += 32) {
        a = Round(a, Word(p + i));
        b = Round(b, Word(p + i + 8));
        c = Round(c, Word(p + i + 16));
        d = Round(d, Word(p + i + 24));
    }
    uint64_t h = Rotl(a, 1) + Rotl(b, 7) + Rotl(c, 12) + Rotl(d, 18);
    h ^= h >> 33;
    h *= kP2;
    h ^= h >> 29;
    h *= kP3;
    return h ^ (h >> 32);
}

}  // namespace

TBlockDigest DigestBlock(const uint8_t* data, uint32_t sectors, uint64_t from, uint64_t to) {
    TBlockDigest digest;
    digest.Count = static_cast<uint8_t>(sectors);
    uint64_t block = kP3 ^ sectors;
    for (uint32_t i = 0; i < sectors && i < uint32_t(kSectorsPerBlock); ++i) {
        if (i < from || i >= to)
            continue;
        uint64_t h = SectorHash(data + size_t(i) * kSectorSize);
        digest.Sectors[i] = static_cast<uint16_t>(h >> 48);
        block = Rotl(block ^ Round(0, h), 27) * kP1 + kP3;
    }
    digest.Block = block;
    return digest;
}

TBlockDigest DigestSessionBlock(const TImageBuilder& b, const uint8_t* data, uint32_t sectors,
                                uint32_t first) {
    const uint64_t from = b.DigestFrom > first ? b.DigestFrom - first : 0;
    const uint64_t to = b.DigestTo > first ? uint64_t(b.DigestTo) - first : 0;
    return DigestBlock(data, sectors, from, to);
}

int32_t FileAtSector(const TImageBuilder& b, uint32_t sector, std::u16string& path) {
    path.clear();
    if (!b.VerifyNamesFiles)
        return kVerifyFileSystemArea;
    for (size_t i = 0; i < b.FileTable.size(); ++i) {
        const builder::TFileEntry* e = b.FileTable[i];
        if (e == nullptr || e->Directory != nullptr || e->Size == 0)
            continue;
        const uint64_t first = uint64_t(b.FirstDataLba) + e->DataLba;
        if (sector < first || sector >= first + builder::SectorsForBytes(e->Size))
            continue;
        path = u"/" + e->LongName;
        for (const builder::TDirEntry* dir = e->Owner; dir != nullptr && dir->Parent != dir;
             dir = dir->Parent) {
            path = u"/" + dir->LongName + path;
        }
        return static_cast<int32_t>(i);
    }
    return kVerifyFileSystemArea;
}

namespace {

class TVerifyThread {
public:
    TVerifyThread(TImageBuilder& b, TVerifyJob job, platform::TFile target,
                  platform::TFile reference, uint32_t sectors)
        : b_(b),
          job_(std::move(job)),
          target_(std::move(target)),
          reference_(std::move(reference)),
          sectors_(sectors) {}

    void Run(void* sender, const TVerifyHandler& handler);

private:
    // One block: read it from the target and compare it. False ends the
    // verify (ErrorCode and the failed block set).
    bool VerifyBlock(uint32_t index, uint32_t lba, uint32_t sectorInImage, uint32_t count);
    bool ReadTarget(uint32_t lba, uint32_t count);
    uint32_t UnreadableSector(uint32_t lba, uint32_t count);
    bool Reference(uint32_t index, uint32_t count, TBlockDigest& digest);
    bool Fail(uint32_t code, uint32_t lba, uint32_t sectorInImage);

    TImageBuilder& b_;
    TVerifyJob job_;
    platform::TFile target_;
    platform::TFile reference_;
    uint32_t sectors_;
    std::unique_ptr<uint8_t[]> buffer_ = std::make_unique<uint8_t[]>(kBlockSize);
    std::unique_ptr<uint8_t[]> referenceBlock_ = std::make_unique<uint8_t[]>(kBlockSize);
    int32_t fileId_ = kVerifyNoBlock;
};

bool TVerifyThread::Fail(uint32_t code, uint32_t lba, uint32_t sectorInImage) {
    std::u16string path;
    fileId_ = FileAtSector(b_, sectorInImage, path);
    std::lock_guard lock(*b_.EngineLock);
    b_.VerifyFailLba = lba;
    b_.VerifyFailPath = path;
    // An abort pressed meanwhile keeps its own reason.
    if (b_.ErrorCode == 0)
        b_.ErrorCode = code;
    return false;
}

bool TVerifyThread::ReadTarget(uint32_t lba, uint32_t count) {
    const size_t bytes = size_t(count) * kSectorSize;
    if (job_.Drive == nullptr) {
        int64_t got = target_.Read(buffer_.get(), bytes);
        if (got < 0) {
            b_.FileErrorNumber = target_.LastError();
            b_.CurrentSourcePath = platform::FromSystem(job_.TargetFile);
            return Fail(kErrReadFile, lba, lba);
        }
        // A file cut short does not hold the blocks it lacks.
        return static_cast<size_t>(got) == bytes || Fail(kErrVerifyDiffers, lba, lba);
    }
    drive::TSCSIDevice& d = *job_.Drive;
    for (int attempt = 1;; ++attempt) {
        if (drive::Read10(d, lba, static_cast<uint16_t>(count), {buffer_.get(), bytes}))
            return true;
        const drive::TSense sense = drive::DecodeSense(d.Sense);
        if (!drive::policy::StillWorking(sense, d.TargetBusy != 0) ||
            attempt >= drive::policy::kReadTries || b_.AbortRequested.load()) {
            // A drive that answered busy has no sense to name: say so
            // rather than leave an older one standing.
            if (sense.Key == 0) {
                d.LastSense = {drive::SENSE_KEY_NOT_READY, drive::ASC_NOT_READY, 0};
                d.LastSenseCode = drive::SenseCode(drive::ASC_NOT_READY, 0);
            }
            return false;
        }
        platform::SleepMs(drive::policy::kReadPauseMs);
    }
}

// A block the medium could not give: its sectors one by one, so that the
// error names the sector (and so the file) that is bad. The first failure's
// sense stays the reason; when every sector reads on its own, the block's
// first sector is named, and the verify has failed all the same.
uint32_t TVerifyThread::UnreadableSector(uint32_t lba, uint32_t count) {
    drive::TSCSIDevice& d = *job_.Drive;
    const drive::TSense sense = d.LastSense;
    const uint16_t code = d.LastSenseCode;
    uint32_t bad = 0;
    if (sense.Key == drive::SENSE_KEY_MEDIUM_ERROR ||
        sense.Key == drive::SENSE_KEY_HARDWARE_ERROR) {
        for (uint32_t i = 0; i < count && !b_.AbortRequested.load(); ++i) {
            if (!drive::Read10(d, lba + i, 1, {buffer_.get(), size_t(kSectorSize)})) {
                bad = i;
                break;
            }
        }
    }
    d.LastSense = sense;
    d.LastSenseCode = code;
    return bad;
}

bool TVerifyThread::Reference(uint32_t index, uint32_t count, TBlockDigest& digest) {
    if (!reference_.IsOpen()) {
        if (index >= b_.WrittenDigests.size())
            return false;
        digest = b_.WrittenDigests[index];
        return true;
    }
    const size_t bytes = size_t(count) * kSectorSize;
    int64_t got = reference_.Read(referenceBlock_.get(), bytes);
    if (got < 0) {
        b_.FileErrorNumber = reference_.LastError();
        b_.CurrentSourcePath = platform::FromSystem(job_.ReferenceFile);
        return false;
    }
    // The odd tail of an image went to the disc as a whole sector, zeroed.
    std::memset(referenceBlock_.get() + got, 0, bytes - static_cast<size_t>(got));
    digest = DigestBlock(referenceBlock_.get(), count);
    return true;
}

bool TVerifyThread::VerifyBlock(uint32_t index, uint32_t lba, uint32_t sectorInImage,
                                uint32_t count) {
    TBlockDigest expected;
    if (!Reference(index, count, expected))
        return Fail(reference_.IsOpen() ? kErrReadFile : kErrVerifyDiffers, lba, sectorInImage);
    if (!ReadTarget(lba, count)) {
        if (b_.ErrorCode != 0)
            return false;
        return Fail(kErrVerifyRead, lba + UnreadableSector(lba, count), sectorInImage);
    }
    TBlockDigest got = reference_.IsOpen() || job_.Drive == nullptr
                           ? DigestBlock(buffer_.get(), count)
                           : DigestSessionBlock(b_, buffer_.get(), count, sectorInImage);
    if (got.Block == expected.Block && got.Count == expected.Count)
        return true;
    // Name the first sector whose check differs; when only the block digest
    // does (a 1 in 65536 chance), its first sector.
    uint32_t first = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (got.Sectors[i] != expected.Sectors[i]) {
            first = i;
            break;
        }
    }
    return Fail(kErrVerifyDiffers, lba + first, sectorInImage + first);
}

void TVerifyThread::Run(void* sender, const TVerifyHandler& handler) {
    drive::TSCSIDevice* d = job_.Drive;
    bool ok = true;
    const uint32_t start = d != nullptr && job_.ReferenceFile.empty() ? b_.WrittenStartLba : 0;
    if (d != nullptr) {
        d->CloseAfterCommand = 0;
        // A disc gone, or a drive not ready for good, fails at the first block.
        if (!drive::WaitUntilReady(*d, drive::policy::kReadyTimeoutMs)) {
            ok = false;
            b_.VerifyFailLba = start;
            b_.VerifyNamesFiles = 0;
        }
    }
    for (uint32_t done = 0, index = 0; ok && done < sectors_; ++index) {
        if (b_.AbortRequested.load()) {
            ok = false;
            b_.ErrorCode = kErrAborted;
            break;
        }
        const uint32_t count = reference_.IsOpen()
                                   ? std::min<uint32_t>(kSectorsPerBlock, sectors_ - done)
                                   : b_.WrittenDigests[index].Count;
        ok = VerifyBlock(index, start + done, done, count);
        if (ok) {
            done += count;
            b_.SectorsWritten.fetch_add(count);
        }
    }
    // The copy of the first block that readers look for at address 0, in
    // front of a session appended to an overwritable disc.
    if (ok && d != nullptr && job_.ReferenceFile.empty() && b_.WrittenAtZero &&
        !b_.WrittenDigests.empty()) {
        ok = VerifyBlock(0, 0, 0, b_.WrittenDigests[0].Count);
    }
    if (d != nullptr) {
        d->CloseAfterCommand = 1;
        drive::ReleaseDevice(*d);  // before the completion: its handler may start the next job
    }
    target_.Close();
    reference_.Close();
    int32_t fileId;
    {
        std::lock_guard lock(*b_.EngineLock);
        if (!ok && b_.ErrorCode == 0)
            b_.ErrorCode = kErrVerifyRead;
        fileId = ok ? kVerifyNoBlock : fileId_;
        b_.StatusCode = builder::S_IDLE;
        if (b_.NotifyWindow != nullptr && handler)
            b_.NotifyWindow->Post(kMsgVerifyDone, ok ? 0 : 1, fileId);
    }
    // Without an owner the handler runs here, outside the lock, so that it
    // may use the engine.
    if (b_.NotifyWindow == nullptr && handler)
        handler(sender, 0, fileId, !ok);
}

void RaiseVerifyDone(TImageBuilder& b, const TVerifyHandler& handler, void* sender) {
    if (!handler)
        return;
    if (b.NotifyWindow != nullptr)
        b.NotifyWindow->Post(kMsgVerifyDone, 1, kVerifyNoBlock);
    else
        handler(sender, 0, kVerifyNoBlock, true);
}

}  // namespace

bool StartVerify(TImageBuilder& b, const TVerifyJob& job, void* sender,
                 const TVerifyHandler& handler) {
    JoinWriterThreads(b);
    b.ErrorCode = 0;
    b.VerifyFailLba = 0;
    b.VerifyFailPath.clear();
    auto refuse = [&](uint32_t code) {
        b.ErrorCode = code;
        RaiseVerifyDone(b, handler, sender);
        return false;
    };
    // Against the digests, the job reads back what the last write wrote.
    const bool digests = job.ReferenceFile.empty();
    b.VerifyNamesFiles = digests && b.WrittenCompilation;
    if (digests) {
        const auto wanted = job.Drive != nullptr ? builder::TWrittenTarget::Disc
                                                 : builder::TWrittenTarget::ImageFile;
        if (b.WrittenTarget != wanted || b.WrittenDigests.empty())
            return refuse(kErrNothingToVerify);
    }
    auto openFile = [&](const std::string& path, platform::TFile& file) {
        if (file.OpenReadNarrow(path))
            return true;
        b.FileErrorNumber = file.LastError();
        b.CurrentSourcePath = platform::FromSystem(path);
        return false;
    };
    platform::TFile target, reference;
    uint64_t sectors = 0;
    if (digests) {
        for (const TBlockDigest& block : b.WrittenDigests)
            sectors += block.Count;
    } else {
        if (!openFile(job.ReferenceFile, reference))
            return refuse(kErrOpenFile);
        int64_t size = reference.Size();
        sectors = size > 0 ? builder::SectorsForBytes(static_cast<uint64_t>(size)) : 0;
        if (sectors == 0 || sectors > 0xFFFFFFFFull) {
            b.CurrentSourcePath = platform::FromSystem(job.ReferenceFile);
            return refuse(kErrReadFile);
        }
    }
    if (job.Drive == nullptr && !openFile(job.TargetFile, target))
        return refuse(kErrOpenFile);
    if (job.Drive != nullptr && !drive::ClaimDevice(*job.Drive)) {
        return refuse(job.Drive->ClaimFailure == drive::TClaimFailure::ReadOnly ? kErrDriveReadOnly
                                                                                : kErrDriveBusy);
    }
    b.AbortRequested = 0;
    b.SectorsWritten = 0;
    b.TotalSectors = static_cast<int32_t>(sectors);
    b.StatusCode = builder::S_VERIFYING;
    auto thread = std::make_shared<TVerifyThread>(b, job, std::move(target), std::move(reference),
                                                  static_cast<uint32_t>(sectors));
    b.VerifyThread = std::thread([thread, sender, handler] {
        platform::SetCurrentThreadPriority(platform::TThreadPriority::BelowNormal);
        thread->Run(sender, handler);
    });
    return true;
}

namespace {

class TDigestSink final : public TBlockSink {
public:
    bool Write(const uint8_t*, int32_t) override { return true; }
    bool Finish(bool) override { return true; }
};

// Where the last session with data starts: behind the earlier volume of an
// overwritable disc (the volume at sector 16 spans both), else at the start
// of the last track that is not blank.
bool LastSessionStart(drive::TSCSIDevice& d, uint32_t sectors, uint32_t& start) {
    using namespace drive;
    const uint8_t m = d.MediaType;
    if (m == MT_DVD_RAM || m == MT_DVD_PLUS_RW || m == MT_BD_RE) {
        const uint32_t volume = IsoVolumeSize(d);
        if (volume < sectors)
            return false;
        start = volume - sectors;
        return true;
    }
    for (int track = LastTrackNumber(d); track >= 1; --track) {
        if (ReadTrackInformation(d, static_cast<uint8_t>(track)) &&
            (d.TrackInfo.Raw[6] & 0x40) == 0) {  // the track's Blank bit
            start = d.TrackInfo.TrackStart;
            return true;
        }
    }
    return false;
}

}  // namespace

std::unique_ptr<TBlockSink> MakeDigestSink() {
    return std::make_unique<TDigestSink>();
}

bool StartDigestRun(TImageBuilder& b, drive::TSCSIDevice& d, void* sender,
                    const builder::TDoneHandler& handler) {
    using namespace drive;
    JoinWriterThreads(b);
    b.WriteToImageFile = 0;
    b.ReadFromImageFile = 0;
    d.MediaType = GetMediaType(d);
    uint32_t start = 0;
    const bool found =
        ClaimDevice(d) && LastSessionStart(d, uint32_t(b.TotalSectors.load()), start);
    ReleaseDevice(d);
    if (!found) {
        // A blank disc, or one that holds no session of this size.
        b.ErrorCode = kErrNoSession;
        RaiseWriteDone(b, handler, sender, true);
        return false;
    }
    const uint8_t m = d.MediaType;
    const bool overwritable = m == MT_DVD_RAM || m == MT_DVD_PLUS_RW || m == MT_BD_RE;
    b.SessionStartLba = static_cast<int32_t>(start);
    b.VolumeSizeBias = overwritable ? b.SessionStartLba : 0;
    if (b.UDFBridge)
        b.UdfLbaBase = b.SessionStartLba;
    b.WrittenStartLba = start;
    // Only the files' data: the file-system area (and the copy of its start
    // at address 0) holds the time of the write, which a new layout cannot.
    b.WrittenAtZero = 0;
    b.DigestFrom = static_cast<uint32_t>(b.FirstDataLba);
    b.DigestTo = static_cast<uint32_t>(b.FirstDataLba + b.FileDataSectors);
    b.DigestOnly = 1;
    return StartWrite(b, nullptr, sender, handler);
}

}  // namespace tessor::writer
