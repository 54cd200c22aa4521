// StartWrite, the write thread, image-file creation and the error texts.
#include "engine/writer/CDBurner.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>

#include "engine/builder/ISO9660.h"
#include "engine/builder/Tree.h"
#include "engine/builder/UDFBridge.h"
#include "engine/drive/Consts.h"
#include "engine/drive/DriveClaim.h"
#include "engine/drive/SCSIDefs.h"
#include "engine/platform/MessageTarget.h"
#include "engine/platform/Strings.h"
#include "engine/platform/Threads.h"
#include "engine/writer/BlockSink.h"
#include "engine/writer/Cache.h"
#include "engine/writer/DiscWrite.h"
#include "engine/writer/ImageFile.h"
#include "engine/writer/Verify.h"

namespace tessor::writer {

using builder::kSectorSize;
using builder::TImageBuilder;
using namespace std::chrono_literals;

namespace {

class TWriteThread {
public:
    TWriteThread(TImageBuilder& b, drive::TSCSIDevice* drive) : b_(b), drive_(drive) {}
    void Run();

private:
    uint8_t Failed = 0;
    builder::TDoneHandler handler_;
    TImageBuilder& b_;
    drive::TSCSIDevice* drive_;
};

void TWriteThread::Run() {
    // A digest run is the first half of a verify: the sources are read.
    b_.StatusCode = b_.DigestOnly ? builder::S_VERIFYING : builder::S_WRITING;
    b_.SectorsWritten = 0;
    b_.WrittenTarget = builder::TWrittenTarget::None;
    b_.WrittenDigests.clear();
    b_.WrittenDigests.reserve(static_cast<size_t>(b_.TotalSectors.load()) / 32 + 1);
    if (!b_.DigestOnly) {
        b_.WrittenStartLba = 0;
        b_.WrittenAtZero = 0;
        b_.DigestFrom = 0;
        b_.DigestTo = 0xFFFFFFFFu;
    }
    uint32_t sectorsDone = 0;
    std::unique_ptr<TBlockSink> sink = drive_ != nullptr ? MakeDiscSink(b_, *drive_)
                                       : b_.DigestOnly   ? MakeDigestSink()
                                                         : MakeImageFileSink(b_);
    if (!sink->Begin()) {
        b_.AbortRequested = 1;  // stops the cache thread; nothing was written
        b_.StatusCode = builder::S_BURN_ERROR_ABORTING;
        Failed = 1;
    }

    int32_t blocks = 0;
    while (!Failed) {
        if (b_.AbortRequested.load())
            break;
        int32_t length = TakeBlock(b_);
        if (length == 0)
            break;
        if (length < 0) {
            WaitForCache(b_, 10);
            continue;
        }
        if (!sink->Write(b_.WriteBuffer.get(), length)) {
            b_.AbortRequested = 1;  // stops the cache thread
            platform::SleepMs(100);
            b_.StatusCode = builder::S_BURN_ERROR_ABORTING;
            Failed = 1;
            break;
        }
        const auto sectors =
            static_cast<uint32_t>(builder::SectorsForBytes(static_cast<uint64_t>(length)));
        // What a verify compares the disc or file with, kept as the block
        // goes: the sources are never read a second time.
        b_.WrittenDigests.push_back(
            DigestSessionBlock(b_, b_.WriteBuffer.get(), sectors, sectorsDone));
        sectorsDone += sectors;
        b_.SectorsWritten.fetch_add(sectors);
        sink->AfterBlock(++blocks);
    }
    if (!Failed && !b_.DigestOnly)
        b_.StatusCode = builder::S_CLOSING_TRACK;
    if (!sink->Finish(Failed != 0))
        Failed = 1;
    if (drive_ != nullptr)
        drive::ReleaseDevice(*drive_);  // before the completion: its handler may start the next job

    {
        std::unique_lock lock(*b_.EngineLock);
        while (!b_.CacheThreadEnded.load())
            b_.CacheChanged.wait_for(lock, 100ms);
    }

    handler_ = b_.CompletionHandler;
    bool failed;
    {
        std::lock_guard lock(*b_.EngineLock);
        // A stream that stopped short without a reason is still a failure.
        // (A write failure keeps the drive's sense as its reason.)
        if (!Failed && b_.SectorsToDeliver.load() > 0 && b_.ErrorCode == 0) {
            b_.ErrorCode = kErrDataNotPrepared;
        }
        // A source that changed while it was read: everything else is done,
        // but the disc or image does not hold that file as it is.
        if (!Failed && b_.ErrorCode == 0 && !b_.ChangedSourcePath.empty()) {
            b_.CurrentSourcePath = b_.ChangedSourcePath;
            b_.ErrorCode = kErrSourceChanged;
        }
        if (b_.ErrorCode != 0)
            Failed = 1;
    }
    // A run that failed only because a source changed is complete all the
    // same: its image is kept (as an archiver keeps its archive), the run
    // still reports the failure.
    bool keep = !Failed || b_.ErrorCode == kErrSourceChanged;
    if (!sink->Commit(!keep))
        Failed = 1;
    {
        std::lock_guard lock(*b_.EngineLock);
        failed = Failed != 0;
        // A test write records nothing that could be read back.
        if (!failed && !(drive_ != nullptr && drive_->TestWrite)) {
            b_.WrittenTarget = drive_ != nullptr || b_.DigestOnly
                                   ? builder::TWrittenTarget::Disc
                                   : builder::TWrittenTarget::ImageFile;
            b_.WrittenCompilation = !b_.ReadFromImageFile;
        }
        b_.DigestOnly = 0;
        b_.StatusCode = builder::S_IDLE;
        if (b_.NotifyWindow != nullptr && handler_) {
            b_.NotifyWindow->Post(kMsgWriteDone, 0, failed ? 1 : 0);
        }
    }
    // Without an owner the handler runs here, outside the lock, so that it
    // may use the engine.
    if (b_.NotifyWindow == nullptr && handler_)
        handler_(this, 0, failed);
}

void CloseImageOnFailure(TImageBuilder& b) {
    if (b.WriteToImageFile)
        FinishImageTarget(b, true);
}

// Only these media record nothing when told to simulate; other drives may
// ignore the test-write bit and record for real.
bool CanTestWrite(uint8_t media) {
    using namespace drive;
    return media == MT_CD_R || media == MT_CD_RW || media == MT_DVD_R || media == MT_DVD_RW_SEQ;
}

}  // namespace

void RaiseWriteDone(TImageBuilder& b, const builder::TDoneHandler& handler, void* sender,
                    bool failed) {
    if (!handler)
        return;
    if (b.NotifyWindow != nullptr) {
        b.NotifyWindow->Post(kMsgWriteDone, 0, failed ? 1 : 0);
    } else {
        handler(sender, 0, failed);
    }
}

bool StartWrite(TImageBuilder& b, drive::TSCSIDevice* drive, void* sender,
                const builder::TDoneHandler& handler) {
    JoinWriterThreads(b);
    b.ErrorCode = 0;
    bool compilation = !b.ReadFromImageFile;
    bool claimed = false;
    if (drive != nullptr && !b.WriteToImageFile) {
        // Another program's job on the drive: nothing is sent.
        if (!drive::ClaimDevice(*drive)) {
            b.ErrorCode = drive->ClaimFailure == drive::TClaimFailure::ReadOnly ? kErrDriveReadOnly
                                                                                : kErrDriveBusy;
            RaiseWriteDone(b, handler, sender, true);
            return false;
        }
        claimed = true;
        if (drive->TestWrite && !CanTestWrite(drive->MediaType)) {
            drive::ReleaseDevice(*drive);
            b.ErrorCode = kErrNoTestWrite;
            RaiseWriteDone(b, handler, sender, true);
            return false;
        }
        PrepareDiscWrite(b, *drive);
    }
    auto release = [&] {
        if (claimed)
            drive::ReleaseDevice(*drive);
    };
    if (b.WriteToImageFile) {
        if (b.UDFBridge)
            b.UdfLbaBase = 0;
        b.SessionStartLba = 0;
        b.VolumeSizeBias = 0;
    }
    // A compilation may be written more than once: the UDF file stream is
    // walked again from its start each time.
    if (compilation && b.Prepared && b.UDFBridge)
        builder::RewindUdfStream(b);
    if (compilation && !builder::BuildHeaderArea(b)) {
        // Streaming a tree that was never laid out would make an image with
        // no file system in it.
        b.ErrorCode = kErrDataNotPrepared;
        CloseImageOnFailure(b);
        release();
        RaiseWriteDone(b, handler, sender, true);
        return false;
    }
    b.CompletionHandler = handler;
    b.AbortRequested = 0;
    StartCacheThread(b);
    {
        std::unique_lock lock(*b.EngineLock);
        while (!b.CachePrimed.load()) {
            if (b.AbortRequested.load()) {
                lock.unlock();
                CloseImageOnFailure(b);
                release();
                RaiseWriteDone(b, handler, sender, true);
                return false;
            }
            b.CacheChanged.wait_for(lock, 100ms);
        }
    }
    b.WriteThread = std::thread([&b, drive] {
        platform::SetCurrentThreadPriority(platform::TThreadPriority::BelowNormal);
        TWriteThread thread(b, b.WriteToImageFile ? nullptr : drive);
        thread.Run();
    });
    return true;
}

bool CreateImageFile(TImageBuilder& b, std::u16string_view path, void* sender,
                     const builder::TDoneHandler& handler) {
    JoinWriterThreads(b);
    b.ImagePath.assign(path);
    b.ReadFromImageFile = 0;
    b.FileErrorNumber = 0;
    if (path.size() > kMaxImagePath || path.empty()) {
        b.ErrorCode = kErrCreateFile;
        return false;
    }
    // The image must never take the place of what it is made from.
    if (IsCompilationSource(b, path)) {
        b.ErrorCode = kErrImageIsSource;
        return false;
    }
    if (!OpenImageTarget(b, path)) {
        b.ErrorCode = kErrCreateFile;
        return false;
    }
    b.WriteToImageFile = 1;
    b.DigestOnly = 0;
    return StartWrite(b, nullptr, sender, handler);
}

uint32_t TakeErrorCode(TImageBuilder& b, uint16_t& lastSenseCode) {
    uint32_t code = b.ErrorCode.exchange(0);
    if (code != 0)
        return code;
    code = lastSenseCode;
    lastSenseCode = 0;
    return code;
}

std::string ErrorTextFor(const TImageBuilder& b, uint32_t code) {
    auto withPath = [](const char* text, const std::u16string& path) {
        if (path.empty())
            return std::string(text);
        return std::string(text) + " \\" + platform::ToSystem(path) + "\\";
    };
    switch (code) {
        case kErrNone:
            return "Unknown/No Error!";
        case kErrDataNotPrepared:
            return "Data not prepared ";
        case kErrOpenFile:
            return withPath("Error opening file", b.CurrentSourcePath);
        case kErrCreateFile:
            return withPath("Error creating file", b.ImagePath);
        case kErrAborted:
            return "Aborted by user";
        case kErrReadFile:
            return withPath("Error reading file", b.CurrentSourcePath);
        case kErrWriteFile:
            return withPath("Error writing file", b.ImagePath);
        case kErrSourceChanged:
            return withPath("File changed while it was read", b.CurrentSourcePath);
        case kErrImageIsSource:
            return withPath("The image file is one of its own sources", b.ImagePath);
        case kErrDriveBusy:
            return "The drive is in use by another program";
        case kErrDriveReadOnly:
            return "No permission to write to the drive";
        case kErrNoTestWrite:
            return "This disc cannot be test-written (only CD-R, CD-RW, DVD-R and DVD-RW can)";
        case kErrVerifyDiffers:
        case kErrVerifyRead: {
            std::string text = std::string("Block ") + std::to_string(b.VerifyFailLba) +
                               (code == kErrVerifyDiffers ? " differs from what was written"
                                                          : " could not be read");
            if (!b.VerifyFailPath.empty())
                return text + ", in " + platform::ToSystem(b.VerifyFailPath);
            return b.VerifyNamesFiles ? text + ", in the file-system area" : text;
        }
        case kErrNoSession:
            return "The disc holds no recorded session to compare with";
        case kErrNothingToVerify:
            return "Nothing to verify: no complete write of this compilation to that target";
        default: {
            char text[32];
            std::snprintf(text, sizeof text, "Hardware Error %u", code);
            return text;
        }
    }
}

}  // namespace tessor::writer
