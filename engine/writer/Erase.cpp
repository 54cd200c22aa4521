// The erase thread: CD-RW and DVD-RW are blanked by the drive; DVD-RAM,
// DVD+RW and BD-RE are formatted and/or overwritten at their start.
#include "engine/writer/Erase.h"

#include <cstring>
#include <span>

#include "engine/drive/Consts.h"
#include "engine/drive/DriveClaim.h"
#include "engine/drive/MMC.h"
#include "engine/drive/Queries.h"
#include "engine/drive/WriteControl.h"
#include "engine/platform/MessageTarget.h"
#include "engine/writer/CDBurner.h"
#include "engine/writer/Cache.h"
#include "engine/writer/DriveWaits.h"

namespace tessor::writer {

using namespace tessor::drive;
using builder::TImageBuilder;

namespace {

constexpr intptr_t kRefused = -1;  // all ones
constexpr intptr_t kWriteFailed = 1;

class TEraseThread {
public:
    TEraseThread(TImageBuilder& b, TSCSIDevice& d) : builder_(b), device_(d) {}
    void Execute();

private:
    bool Format(const TFormatList& list);
    void WriteZeros(int blocks);
    // Waits for the drive's background work; a disc that is gone meanwhile
    // (or a drive that stops answering) fails the erase.
    void WaitDiscInformation(uint8_t* buffer) {
        if (!PollDiscInformation(device_, true, buffer))
            failed_ = kWriteFailed;
    }
    void EraseOverwritable(const TFormatList& list, bool quick);
    void Complete();

    TImageBuilder& builder_;
    TSCSIDevice& device_;
    intptr_t failed_ = 0;
};

bool TEraseThread::Format(const TFormatList& list) {
    std::memcpy(device_.TransferBuffer, list.data(), list.size());
    return FormatUnit(device_, FORMAT_DATA_FOLLOWS,
                      std::span<const uint8_t>(device_.TransferBuffer, list.size()), 12);
}

void TEraseThread::WriteZeros(int blocks) {
    std::memset(device_.TransferBuffer, 0, builder::kBlockSize);
    for (int i = 0; i < blocks; ++i) {
        device_.CloseAfterCommand = 0;
        if (!Write10(device_, static_cast<uint32_t>(32 * i), 32, device_.TransferBuffer,
                     builder::kBlockSize)) {
            failed_ = kWriteFailed;
            device_.CloseAfterCommand = 1;
            return;
        }
    }
}

// Quick: format (a refused format still leaves the disc overwritable, so its
// start is overwritten all the same) and clear the first 1 MB. Full: the
// format must be accepted; the first 128 MB are cleared while the drive
// formats in the background.
void TEraseThread::EraseOverwritable(const TFormatList& list, bool quick) {
    bool formatted = Format(list);
    if (!quick && !formatted) {
        failed_ = kRefused;
        return;
    }
    if (formatted)
        WaitDiscInformation(quick ? device_.TransferBuffer : device_.DiscInfo2);
    if (!quick)
        builder_.StatusCode = builder::S_BACKGROUND_FORMAT;
    WriteZeros(quick ? 16 : 2048);
    if (!SynchronizeCache(device_, false) && failed_ == 0)
        failed_ = kWriteFailed;
    if (quick)
        CloseTrackSession(device_, false, CLOSE_PLUS_RW_FORMAT, 0);
    device_.CloseAfterCommand = 1;
}

void TEraseThread::Execute() {
    uint8_t media = GetMediaType(device_);
    PreventMediumRemoval(device_);
    SetCdSpeed(device_, device_.ReadSpeedSetting, device_.WriteSpeedSetting);
    SetWriteParameters(device_, false, false, false, media);
    bool quick = device_.QuickErase != 0;
    switch (media) {
        case MT_DVD_RAM:
            if (quick) {
                WriteZeros(128);
                device_.CloseAfterCommand = 1;
                SynchronizeCache(device_, false);
            } else if (!Format(FORMAT_DVD_RAM_FULL)) {
                failed_ = kRefused;
            } else {
                bool ready = false;
                WaitWhileNotReady(device_, true, [&] { ready = DeviceReady(device_); });
                if (!ready)
                    failed_ = kWriteFailed;
            }
            break;
        case MT_DVD_PLUS_RW:
            EraseOverwritable(FORMAT_DVD_PLUS_RW, quick);
            break;
        case MT_BD_RE:
            // A full erase that sent nothing would report success over a
            // disc that still holds its volume: a BD-RE is erased as a
            // DVD+RW is.
            EraseOverwritable(FORMAT_BD_RE_QUICK, quick);
            break;
        default:
            if (!Blank(device_, quick)) {
                failed_ = kRefused;
            } else {
                WaitDiscInformation(device_.TransferBuffer);
            }
            break;
    }
    Complete();
}

// Exactly one report, then the status goes back to idle. The drive is
// given free before: the handler may start the next job on it.
void TEraseThread::Complete() {
    uint16_t reason = device_.LastSenseCode;
    TSense sense = device_.LastSense;
    AllowMediumRemoval(device_);
    if (failed_ != 0) {
        device_.LastSenseCode = reason;
        device_.LastSense = sense;
    }
    ReleaseDevice(device_);
    TEraseHandler handler = device_.EraseHandler;
    if (handler) {
        if (device_.NotifyWindow != nullptr) {
            device_.NotifyWindow->Post(kMsgEraseDone, 0, failed_);
        } else {
            handler(this, 0, failed_ != 0);
        }
    }
    builder_.StatusCode = builder::S_IDLE;
}

}  // namespace

bool EraseDisc(TImageBuilder& b, TSCSIDevice& d, bool quick, const TEraseHandler& handler) {
    JoinEraseThread(b);
    if (!ClaimDevice(d)) {
        // Another program's job: nothing is sent, and the one report says so.
        b.ErrorCode = d.ClaimFailure == TClaimFailure::ReadOnly ? kErrDriveReadOnly : kErrDriveBusy;
        if (handler) {
            if (d.NotifyWindow != nullptr)
                d.NotifyWindow->Post(kMsgEraseDone, 0, kRefused);
            else
                handler(nullptr, 0, true);
        }
        return false;
    }
    b.StatusCode = builder::S_ERASING;
    d.EraseHandler = handler;
    d.QuickErase = quick;
    b.EraseThread = std::thread([&b, &d] {
        TEraseThread thread(b, d);
        thread.Execute();
    });
    return true;
}

void JoinEraseThread(TImageBuilder& b) {
    if (b.EraseThread.joinable()) {
        if (b.EraseThread.get_id() == std::this_thread::get_id()) {
            b.EraseThread.detach();
        } else {
            b.EraseThread.join();
        }
    }
}

}  // namespace tessor::writer
