// The recorder's command dispatch: the opcode table, the checks every
// command passes first (faults, medium, operations in progress), the drive
// buffer, and the operations of the tool and the in-process API.
#include "vdrive/Device.h"
#include "vdrive/DeviceContext.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "engine/platform/ByteOrder.h"
#include "vdrive/Clock.h"
#include "vdrive/Mmc.h"

namespace tessor::vdrive {

using namespace platform::byte_order;

namespace {

constexpr TSense kInternalTargetFailure{0x04, 0x44, 0x00};

enum : uint16_t {
    kNeedsMedium = 1 << 0,       // no medium, loading, unit attention and faults apply
    kWriter = 1 << 1,            // read-only drives do not know the command
    kMmc3 = 1 << 2,              // the old CD writer does not know the command
    kBusyFormatBlank = 1 << 3,   // refused while a format or a blank runs
    kBusyAny = 1 << 4,           // refused while any long operation runs
    kIgnoresBusyFault = 1 << 5,  // answered even while the drive is made to report BUSY
    kDataOut = 1 << 6,           // the host sends data (a parameter list or sectors)
};

}  // namespace

void BuildFixedSense(const TSense& s, bool progressValid, uint16_t progress, uint8_t* out,
                     size_t length) {
    uint8_t sense[18] = {};
    sense[0] = 0x70;
    sense[2] = s.key & 0x0F;
    sense[7] = 0x0A;
    sense[12] = s.asc;
    sense[13] = s.ascq;
    if (progressValid) {
        sense[15] = 0x80;
        PutBE16(sense + 16, progress);
    }
    std::memset(out, 0, length);
    std::memcpy(out, sense, std::min(length, sizeof sense));
}

const TDevice::TOpcode* TDevice::OpcodeTable() {
    static const std::array<TOpcode, 256> table = [] {
        std::array<TOpcode, 256> t{};
        auto set = [&](uint8_t code, THandler h, uint16_t flags) { t[code] = {h, flags}; };
        const uint16_t medium = kNeedsMedium;
        const uint16_t mediumBusy = kNeedsMedium | kBusyAny;
        set(op::kTestUnitReady, &TDevice::TestUnitReady, kNeedsMedium | kBusyFormatBlank);
        set(op::kRezeroUnit, &TDevice::RezeroUnit, 0);
        set(op::kRequestSense, &TDevice::RequestSense, kIgnoresBusyFault);
        set(op::kFormatUnit, &TDevice::FormatUnit, mediumBusy | kWriter | kDataOut);
        set(op::kInquiry, &TDevice::Inquiry, kIgnoresBusyFault);
        set(op::kModeSense6, &TDevice::ModeSense6, 0);
        set(op::kStartStopUnit, &TDevice::StartStopUnit, 0);
        set(op::kPreventAllowMediumRemoval, &TDevice::PreventAllowRemoval, 0);
        set(op::kReadFormatCapacities, &TDevice::ReadFormatCapacities, medium);
        set(op::kReadCapacity, &TDevice::ReadCapacity, mediumBusy);
        set(op::kRead10, &TDevice::Read10, mediumBusy);
        set(op::kWrite10, &TDevice::Write10, mediumBusy | kWriter | kDataOut);
        set(op::kSynchronizeCache, &TDevice::SynchronizeCache, mediumBusy | kWriter);
        set(op::kReadTocPmaAtip, &TDevice::ReadTocPmaAtip, mediumBusy);
        set(op::kGetConfiguration, &TDevice::GetConfiguration, kMmc3);
        set(op::kGetEventStatusNotification, &TDevice::GetEventStatusNotification, 0);
        set(op::kReadDiscInformation, &TDevice::ReadDiscInformation, mediumBusy);
        set(op::kReadTrackInformation, &TDevice::ReadTrackInformation, mediumBusy);
        set(op::kReserveTrack, &TDevice::ReserveTrack, mediumBusy | kWriter);
        set(op::kSendOpcInformation, &TDevice::SendOpcInformation, mediumBusy | kWriter | kDataOut);
        set(op::kModeSelect10, &TDevice::ModeSelect10, kDataOut);
        set(op::kModeSense10, &TDevice::ModeSense10, 0);
        set(op::kCloseTrackSession, &TDevice::CloseTrackSession, mediumBusy | kWriter);
        set(op::kReadBufferCapacity, &TDevice::ReadBufferCapacity, kWriter);
        set(op::kBlank, &TDevice::Blank, mediumBusy | kWriter);
        set(op::kGetPerformance, &TDevice::GetPerformance, medium | kMmc3);
        set(op::kReadDiscStructure, &TDevice::ReadDiscStructure, medium | kMmc3);
        set(op::kSetStreaming, &TDevice::SetStreaming, kMmc3 | kDataOut);
        set(op::kSetCdSpeed, &TDevice::SetCdSpeed, 0);
        set(op::kSendDvdStructure, &TDevice::SendDvdStructure, medium | kWriter | kMmc3 | kDataOut);
        return t;
    }();
    return table.data();
}

TDirection TDevice::DataDirection(uint8_t opcode) {
    const TOpcode& op = OpcodeTable()[opcode];
    if (op.handler == nullptr)
        return TDirection::None;
    return (op.flags & kDataOut) ? TDirection::Out : TDirection::In;
}

TDevice::TDevice(unsigned index, TDriveConfig config, std::string stateDir, double timeScale)
    : index_(index),
      config_(WithKindDefaults(std::move(config))),
      timeScale_(timeScale),
      store_(std::move(stateDir), index) {}

bool TDevice::Open(std::string& error) {
    return store_.Open(error);
}

template <typename F>
bool TDevice::Locked(std::string& error, F&& body, bool replacing) {
    std::lock_guard lock(mutex_);
    if (!store_.Lock(state_, error, replacing))
        return false;
    bool ok = body();
    store_.Unlock();
    return ok;
}

TResult TDevice::Execute(const TCommand& command) {
    std::lock_guard lock(mutex_);
    TContext c{command, command.cdb, WallClockUs(), {}};
    std::string error;
    if (!store_.Lock(state_, error)) {
        c.Fail(kInternalTargetFailure);
        return c.result;
    }
    const TOpcode& op = OpcodeTable()[command.cdb[0]];
    if (Preamble(c, op))
        (this->*op.handler)(c);
    if (c.dirty) {
        if (!store_.Save(state_) && !c.Failed())
            c.Fail(kInternalTargetFailure);
    } else if (c.hot) {
        store_.SaveHot(state_);
    }
    store_.Unlock();
    if (c.result.status == kStatusCheckCondition && command.cdb[0] != op::kRequestSense) {
        lastSense_ = c.result.sense;
        lastProgressValid_ = false;
    }
    return c.result;
}

bool TDevice::Preamble(TContext& c, const TOpcode& op) {
    uint8_t code = c.cdb[0];
    auto& faults = state_.faults;
    size_t before = faults.size();
    std::erase_if(faults, [&](const TFault& f) { return f.untilUs != 0 && f.untilUs <= c.nowUs; });
    if (faults.size() != before || ArmFaults(faults, c.cdb, c.nowUs))
        c.dirty = true;
    for (auto it = faults.begin(); it != faults.end(); ++it) {
        if (it->armed && it->kind == TFaultKind::Refuse && it->opcode == code) {
            c.Fail(it->sense);
            UseFault(it);
            c.dirty = true;
            return false;
        }
    }
    if (!(op.flags & kIgnoresBusyFault)) {
        for (auto it = faults.begin(); it != faults.end(); ++it) {
            if (it->armed && it->kind == TFaultKind::Busy) {
                c.result.status = kStatusBusy;
                UseFault(it);
                c.dirty = true;
                return false;
            }
        }
    }
    if (op.handler == nullptr || ((op.flags & kMmc3) && !config_.HasGetConfiguration()) ||
        ((op.flags & kWriter) && !config_.CanWrite())) {
        c.Fail(sense::kInvalidOpcode);
        return false;
    }
    if (op.flags & kNeedsMedium)
        CheckMedium(c, op.flags);
    return !c.Failed();
}

bool TDevice::MediumPresent(int64_t nowUs) const {
    if (!state_.present || state_.trayOpen)
        return false;
    for (const auto& f : state_.faults) {
        if (f.armed && f.kind == TFaultKind::Removed && (f.untilUs == 0 || f.untilUs > nowUs))
            return false;
    }
    return true;
}

// One answer of a rule given: a rule of a number of answers goes when they
// are used up.
void TDevice::UseFault(std::vector<TFault>::iterator it) {
    if (it->remaining != 0 && --it->remaining == 0)
        state_.faults.erase(it);
}

TOperation TDevice::ActiveOperation(int64_t nowUs) const {
    if (state_.operation != TOperation::None && nowUs < state_.operationEndUs) {
        return state_.operation;
    }
    return TOperation::None;
}

TBgFormat TDevice::BgFormatStatus(int64_t nowUs) const {
    if (state_.bgFormat == TBgFormat::Running && nowUs >= state_.bgFormatEndUs) {
        return TBgFormat::Complete;
    }
    return state_.bgFormat;
}

void TDevice::CheckMedium(TContext& c, uint16_t flags) {
    if (state_.trayOpen)
        return c.Fail(sense::kNoMediumTrayOpen);
    if (!MediumPresent(c.nowUs))
        return c.Fail(sense::kNoMedium);
    for (auto it = state_.faults.begin(); it != state_.faults.end(); ++it) {
        if (it->armed &&
            (it->kind == TFaultKind::NotReady || it->kind == TFaultKind::UnitAttention)) {
            c.Fail(it->sense);
            UseFault(it);
            c.dirty = true;
            return;
        }
    }
    TOperation op = ActiveOperation(c.nowUs);
    if (op == TOperation::Loading)
        return c.Fail(sense::kBecomingReady);
    if (state_.unitAttention) {
        state_.unitAttention = false;
        c.dirty = true;
        return c.Fail(sense::kMediumChanged);
    }
    bool formatOrBlank = op == TOperation::Format || op == TOperation::Blank;
    bool closeOrSync = op == TOperation::Close || op == TOperation::Sync;
    if ((formatOrBlank && (flags & (kBusyFormatBlank | kBusyAny))) ||
        (closeOrSync && (flags & kBusyAny))) {
        c.Fail(op == TOperation::Format ? sense::kFormatInProgress : sense::kOperationInProgress);
        int64_t span = std::max<int64_t>(1, state_.operationEndUs - state_.operationStartUs);
        int64_t done = std::clamp<int64_t>(c.nowUs - state_.operationStartUs, 0, span);
        c.result.progressValid = true;
        c.result.progress = static_cast<uint16_t>(std::min<int64_t>(65535, done * 65536 / span));
    }
}

void TDevice::StartOperation(TContext& c, TOperation op, int64_t us, bool immediate) {
    if (immediate && us > 0) {
        state_.operation = op;
        state_.operationStartUs = c.nowUs;
        state_.operationEndUs = c.nowUs + us;
    } else {
        // Without the immediate bit the command returns once the work is done.
        SleepRealUs(us);
        state_.operation = TOperation::None;
    }
    c.dirty = true;
}

uint16_t TDevice::CurrentProfile() const {
    if (!MediumPresent(WallClockUs()))
        return 0;
    const TMediaInfo& info = state_.Info();
    if (config_.Writes(state_.media))
        return info.profile;
    // A reader shows recordable discs as what it can do with them: read.
    switch (info.family) {
        case TMediaFamily::Cd:
            return profile::kCdRom;
        case TMediaFamily::Dvd:
            return profile::kDvdRom;
        case TMediaFamily::Bd:
            return profile::kBdRom;
    }
    return 0;
}

void TDevice::Reply(TContext& c, const uint8_t* data, size_t length, size_t allocation) {
    size_t n = std::min({length, allocation, static_cast<size_t>(c.cmd.dataLength)});
    if (n > 0 && c.cmd.data != nullptr)
        std::memcpy(c.cmd.data, data, n);
    c.result.transferred = static_cast<uint32_t>(n);
}

// ---- Drive buffer -------------------------------------------------------

// A drive records at the speed it was set to, at its fastest when none was
// set; only a time scale of 0 records at once (tests that need no timing).
bool TDevice::Unlimited() const {
    return timeScale_ <= 0 || RecordKBps() <= 0;
}

double TDevice::RecordKBps() const {
    if (config_.recordKBps != 0)
        return config_.recordKBps;
    if (writeSpeed_ == 0 || writeSpeed_ > config_.maxWriteSpeed)
        return config_.maxWriteSpeed;
    return writeSpeed_;
}

void TDevice::DrainBuffer() {
    int64_t now = SteadyClockNs();
    if (Unlimited()) {
        bufferFill_ = 0;
    } else if (bufferStampNs_ != 0) {
        double bytesPerNs = RecordKBps() * 1000.0 / (1e9 * timeScale_);
        bufferFill_ =
            std::max(0.0, bufferFill_ - static_cast<double>(now - bufferStampNs_) * bytesPerNs);
    }
    bufferStampNs_ = now;
}

int64_t TDevice::DrainTimeUs() const {
    if (Unlimited())
        return 0;
    return static_cast<int64_t>(bufferFill_ / (RecordKBps() * 1000.0) * 1e6 * timeScale_);
}

bool TDevice::AcceptIntoBuffer(TContext& c, uint64_t bytes) {
    DrainBuffer();
    if (Unlimited())
        return true;
    double capacity = static_cast<double>(config_.bufferKiB) * 1024.0;
    double chunk = std::min(static_cast<double>(bytes), capacity);
    if (bufferFill_ + chunk > capacity) {
        if (config_.pioneer) {
            c.Fail(sense::kLongWriteInProgress);
            return false;
        }
        // The write waits until the drive has recorded enough to take it.
        double excess = bufferFill_ + chunk - capacity;
        SleepRealUs(static_cast<int64_t>(excess / (RecordKBps() * 1000.0) * 1e6 * timeScale_) + 1);
        DrainBuffer();
    }
    bufferFill_ = std::min(capacity, bufferFill_ + chunk);
    return true;
}

// ---- Operations of the tool and the API ---------------------------------

namespace {

bool AllZero(const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (p[i] != 0)
            return false;
    }
    return true;
}

// Copies an image into the sector file, leaving holes for zero sectors.
bool CopyImageSparse(int in, int out, uint64_t size, std::string& error) {
    std::vector<uint8_t> buffer(1 << 20);
    uint64_t offset = 0;
    while (offset < size) {
        ssize_t n = read(in, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error =
                std::string("reading the image: ") + (n < 0 ? std::strerror(errno) : "short file");
            return false;
        }
        for (size_t pos = 0; pos < static_cast<size_t>(n); pos += kSectorSize) {
            size_t len = std::min<size_t>(kSectorSize, static_cast<size_t>(n) - pos);
            if (AllZero(buffer.data() + pos, len))
                continue;
            if (pwrite(out, buffer.data() + pos, len, static_cast<off_t>(offset + pos)) !=
                static_cast<ssize_t>(len)) {
                error = std::string("writing the sector file: ") + std::strerror(errno);
                return false;
            }
        }
        offset += static_cast<uint64_t>(n);
    }
    return true;
}

}  // namespace

bool TDevice::Insert(TMediaKind media, const std::string& imagePath, std::string& error) {
    const TMediaInfo& info = MediaInfo(media);
    if (!config_.Accepts(media)) {
        error = "drive " + std::to_string(index_) + " (" + DriveKindName(config_.kind) +
                ") cannot hold " + info.name + " media";
        return false;
    }
    int image = -1;
    uint64_t size = 0;
    if (!imagePath.empty()) {
        // With a mode, so that Windows reads the path as UTF-8 too.
        image = open(imagePath.c_str(), O_RDONLY | O_CLOEXEC, 0);
        struct stat st {};
        if (image < 0 || fstat(image, &st) != 0 || !S_ISREG(st.st_mode)) {
            error = "cannot open image " + imagePath +
                    (image < 0 ? std::string(": ") + std::strerror(errno) : "");
            if (image >= 0)
                close(image);
            return false;
        }
        size = static_cast<uint64_t>(st.st_size);
        if ((size + kSectorSize - 1) / kSectorSize > info.capacity) {
            close(image);
            error = "image " + imagePath + " does not fit on " + info.name + " media";
            return false;
        }
    }
    uint32_t blocks = static_cast<uint32_t>((size + kSectorSize - 1) / kSectorSize);
    bool ok = Locked(
        error,
        [&] {
            if (!TrayFree(error))
                return false;
            if (!store_.Discard()) {
                error = "cannot clear the sector file";
                return false;
            }
            if (image >= 0) {
                if (!CopyImageSparse(image, store_.SectorsFd(), size, error))
                    return false;
                if (ftruncate(store_.SectorsFd(), static_cast<off_t>(blocks) * kSectorSize) != 0) {
                    error = "cannot size the sector file";
                    return false;
                }
            }
            state_.Insert(media, blocks, image >= 0);
            state_.unitAttention = config_.unitAttention;
            state_.mediaEvent = TMediaEvent::NewMedia;
            int64_t now = WallClockUs();
            int64_t load = ScaledUs(config_.loadMs, timeScale_);
            if (load > 0) {
                state_.operation = TOperation::Loading;
                state_.operationStartUs = now;
                state_.operationEndUs = now + load;
            }
            bufferFill_ = 0;
            return SaveState(error);
        },
        true);
    if (image >= 0)
        close(image);
    return ok;
}

// The disc state saved, for the tool's and the in-process operations.
bool TDevice::SaveState(std::string& error) {
    if (store_.Save(state_))
        return true;
    error = "cannot save the drive state";
    return false;
}

// A disc cannot be taken out or put in while a program has locked the tray.
bool TDevice::TrayFree(std::string& error) const {
    if (!state_.TrayLocked())
        return true;
    error = "the tray is locked by process " + std::to_string(state_.lockOwner) +
            " (a write or an erase is running)";
    return false;
}

bool TDevice::Eject(std::string& error) {
    return Locked(
        error,
        [&] {
            if (!TrayFree(error))
                return false;
            state_.Eject();
            bufferFill_ = 0;
            store_.Discard();
            return SaveState(error);
        },
        true);
}

bool TDevice::AddFault(const TFault& fault, std::string& error) {
    return Locked(error, [&] {
        state_.faults.push_back(fault);
        return SaveState(error);
    });
}

bool TDevice::ClearFaults(std::string& error) {
    return Locked(error, [&] {
        state_.faults.clear();
        return SaveState(error);
    });
}

bool TDevice::ReadRecorded(uint32_t lba, uint32_t blocks, std::vector<uint8_t>& out,
                           std::string& error) {
    return Locked(error, [&] {
        out.resize(static_cast<size_t>(blocks) * kSectorSize);
        if (!store_.ReadSectors(lba, out.data(), blocks)) {
            error = "cannot read the sector file";
            return false;
        }
        return true;
    });
}

bool TDevice::Export(const std::string& path, std::string& error) {
    return Locked(error, [&] {
        uint64_t size = store_.RecordedBytes();
        size = (size + kSectorSize - 1) / kSectorSize * kSectorSize;
        int out = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (out < 0) {
            error = "cannot create " + path + ": " + std::strerror(errno);
            return false;
        }
        int in = store_.SectorsFd();
        std::vector<uint8_t> buffer(1 << 20);
        off_t pos = 0;
        bool ok = true;
        // Copy the data extents only, so the image stays sparse like the disc.
        while (ok && static_cast<uint64_t>(pos) < size) {
            off_t data = lseek(in, pos, SEEK_DATA);
            if (data < 0)
                break;  // only a hole remains
            off_t hole = lseek(in, data, SEEK_HOLE);
            if (hole < 0)
                hole = static_cast<off_t>(size);
            for (off_t p = data; ok && p < hole;) {
                size_t want = static_cast<size_t>(std::min<off_t>(hole - p, buffer.size()));
                ssize_t n = pread(in, buffer.data(), want, p);
                ok = n > 0 && pwrite(out, buffer.data(), static_cast<size_t>(n), p) == n;
                p += n > 0 ? n : 0;
            }
            pos = hole;
        }
        ok = ok && ftruncate(out, static_cast<off_t>(size)) == 0;
        ok = (close(out) == 0) && ok;
        if (!ok)
            error = "cannot write " + path + ": " + std::strerror(errno);
        return ok;
    });
}

bool TDevice::Reset(std::string& error) {
    return Locked(
        error,
        [&] {
            state_ = TDiscState{};
            lastSense_ = {};
            readSpeed_ = writeSpeed_ = 0;
            bufferFill_ = 0;
            store_.Discard();
            return SaveState(error);
        },
        true);
}

bool TDevice::Snapshot(TDiscState& state, std::string& error) {
    return Locked(error, [&] {
        state = state_;
        return true;
    });
}

}  // namespace tessor::vdrive
