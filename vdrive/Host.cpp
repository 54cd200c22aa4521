// The ASPI side of the virtual recorder: request kinds, addressing, sense
// hand-back, completion events, and the command journal.
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "vdrive/Clock.h"
#include "vdrive/Device.h"
#include "vdrive/System.h"
#include "vdrive/VDrive.h"

namespace tessor::vdrive {
namespace {

std::atomic<TRecorderHost*> g_boundHost{nullptr};

uint32_t BoundGetSupportInfo() {
    TRecorderHost* host = g_boundHost.load();
    return host != nullptr ? host->GetASPI32SupportInfo() : 0;
}

uint32_t BoundSendCommand(void* srb) {
    TRecorderHost* host = g_boundHost.load();
    if (host == nullptr) {
        if (srb != nullptr)
            static_cast<uint8_t*>(srb)[1] = SS_ERR;
        return SS_ERR;
    }
    return host->SendASPI32Command(srb);
}

bool MakeDirectories(const std::string& path, std::string& error) {
    if (path.empty()) {
        error = "no state directory";
        return false;
    }
    for (size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos != path.size() && !IsPathSeparator(path[pos]))
            continue;
        std::string part = path.substr(0, pos);
        // A part that exists already is fine, whatever mkdir says of it
        // (Windows answers "access denied" for a drive's root).
        struct stat existing {};
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST &&
            !(stat(part.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode))) {
            error = "cannot create " + part + ": " + std::strerror(errno);
            return false;
        }
    }
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        error = path + " is not a directory";
        return false;
    }
    return true;
}

void CopyPadded(uint8_t* dst, const char* text, size_t width) {
    std::memset(dst, ' ', width);
    std::memcpy(dst, text, std::min(width, std::strlen(text)));
}

}  // namespace

std::string DefaultStateDir() {
    if (const char* dir = std::getenv("TESSOR_VDRIVE_DIR"); dir != nullptr && *dir != '\0') {
        return dir;
    }
    return SystemStateDir();
}

std::unique_ptr<TRecorderHost> TRecorderHost::Create(const THostOptions& options,
                                                     std::string& error) {
    std::unique_ptr<TRecorderHost> host(new TRecorderHost());
    host->stateDir_ = options.stateDir.empty() ? DefaultStateDir() : options.stateDir;
    host->timeScale_ = options.timeScale < 0 ? EnvironmentTimeScale() : options.timeScale;
    host->journalLimit_ = options.journalLimit;
    if (!MakeDirectories(host->stateDir_, error))
        return nullptr;
    std::vector<TDriveConfig> drives = options.drives;
    if (drives.empty()) {
        std::string path = host->stateDir_ + "/drives.conf";
        std::ifstream in(path);
        if (in) {
            std::stringstream text;
            text << in.rdbuf();
            if (!ParseDriveSet(text.str(), drives, error)) {
                error = path + ": " + error;
                return nullptr;
            }
        } else {
            drives = DefaultDriveSet();
            std::ofstream out(path);
            out << FormatDriveSet(drives);
        }
    }
    if (drives.size() > 8) {
        error = "at most 8 drives (targets 0 to 7)";
        return nullptr;
    }
    for (unsigned i = 0; i < drives.size(); ++i) {
        auto device = std::make_unique<TDevice>(i, drives[i], host->stateDir_, host->timeScale_);
        if (!device->Open(error))
            return nullptr;
        host->devices_.push_back(std::move(device));
    }
    return host;
}

TRecorderHost::~TRecorderHost() {
    TRecorderHost* self = this;
    g_boundHost.compare_exchange_strong(self, nullptr);
}

TAspiEntryPoints TRecorderHost::EntryPoints() {
    g_boundHost.store(this);
    return {&BoundGetSupportInfo, &BoundSendCommand};
}

uint32_t TRecorderHost::GetASPI32SupportInfo() const {
    return static_cast<uint32_t>(SS_COMP) << 8 | 1;  // one host adapter
}

const TDriveConfig& TRecorderHost::Drive(unsigned drive) const {
    return devices_.at(drive)->Config();
}

TDevice* TRecorderHost::Device(unsigned drive, std::string& error) {
    if (drive >= devices_.size()) {
        error = "no drive " + std::to_string(drive) + " (drives 0 to " +
                std::to_string(devices_.size() - 1) + ")";
        return nullptr;
    }
    return devices_[drive].get();
}

uint32_t TRecorderHost::SendASPI32Command(void* srb) {
    if (srb == nullptr)
        return SS_ERR;
    auto* bytes = static_cast<uint8_t*>(srb);
    switch (bytes[0]) {
        case SC_HA_INQUIRY: {
            auto* r = static_cast<SRB_HAInquiry*>(srb);
            if (r->SRB_HaId != 0)
                return r->SRB_Status = SS_INVALID_HA;
            r->HA_Count = 1;
            r->HA_SCSI_ID = 7;
            CopyPadded(r->HA_ManagerId, "TESSOR VDRIVE", 16);
            CopyPadded(r->HA_Identifier, "VIRTUAL RECORDER", 16);
            std::memset(r->HA_Unique, 0, sizeof r->HA_Unique);
            r->HA_Unique[3] = 8;  // targets per adapter
            return r->SRB_Status = SS_COMP;
        }
        case SC_GET_DISK_INFO: {
            auto* r = static_cast<SRB_GetDiskInfo*>(srb);
            if (r->SRB_HaId != 0)
                return r->SRB_Status = SS_INVALID_HA;
            if (r->SRB_Target >= devices_.size() || r->SRB_Lun != 0) {
                return r->SRB_Status = SS_NO_DEVICE;
            }
            char letter = devices_[r->SRB_Target]->Config().letter;
            if (letter == 0)
                return r->SRB_Status = SS_ERR;
            r->SRB_DriveFlags = 0;
            r->SRB_Int13HDriveInfo = static_cast<uint8_t>(letter - 'A');
            return r->SRB_Status = SS_COMP;
        }
        case SC_EXEC_SCSI_CMD:
            break;
        default:
            return bytes[1] = SS_INVALID_CMD;
    }

    auto* r = static_cast<SRB_ExecSCSICmd*>(srb);
    const size_t senseLength = std::min<size_t>(r->SRB_SenseLen, ASPI_SENSE_AREA);
    r->SRB_HaStat = 0;
    r->SRB_TargStat = STATUS_GOOD;
    TJournalEntry entry;
    entry.adapter = r->SRB_HaId;
    entry.target = r->SRB_Target;
    entry.lun = r->SRB_Lun;
    entry.cdbLength = r->SRB_CDBLen;
    std::memcpy(entry.cdb.data(), r->CDBByte, 16);
    entry.dataLength = r->SRB_BufLen;
    entry.flags = r->SRB_Flags;

    uint8_t status = SS_COMP;
    TResult result;
    if (r->SRB_HaId != 0) {
        status = SS_INVALID_HA;
    } else if (r->SRB_Target >= devices_.size()) {
        status = SS_NO_DEVICE;
    } else if (r->SRB_CDBLen == 0 || r->SRB_CDBLen > 16 ||
               (r->SRB_BufLen > 0 && r->SRB_BufPointer == nullptr)) {
        status = SS_ERR;
    } else if (r->SRB_Lun != 0) {
        // The target exists, the logical unit does not: INQUIRY says so with
        // peripheral qualifier 3, anything else is refused.
        if (r->CDBByte[0] == 0x12) {
            uint8_t reply[36] = {0x7F};
            size_t n = std::min<size_t>(r->SRB_BufLen, sizeof reply);
            std::memcpy(r->SRB_BufPointer, reply, n);
        } else {
            result.status = kStatusCheckCondition;
            result.sense = sense::kLunNotSupported;
        }
    } else {
        TCommand command;
        command.cdb = r->CDBByte;
        command.cdbLength = r->SRB_CDBLen;
        command.data = r->SRB_BufPointer;
        command.dataLength = r->SRB_BufLen;
        command.direction = (r->SRB_Flags & SRB_DIR_IN)    ? TDirection::In
                            : (r->SRB_Flags & SRB_DIR_OUT) ? TDirection::Out
                                                           : TDirection::None;
        result = devices_[r->SRB_Target]->Execute(command);
    }
    if (status == SS_COMP) {
        r->SRB_TargStat = result.status;
        if (result.status == kStatusGood) {
            std::memset(r->SenseArea, 0, senseLength);
        } else {
            status = SS_ERR;
            if (result.status == kStatusCheckCondition) {
                BuildFixedSense(result.sense, result.progressValid, result.progress, r->SenseArea,
                                senseLength);
            } else {
                std::memset(r->SenseArea, 0, senseLength);  // BUSY carries no sense
            }
        }
    }
    r->SRB_Status = status;
    entry.srbStatus = status;
    entry.targetStatus = r->SRB_TargStat;
    entry.sense = result.status == kStatusCheckCondition ? result.sense : TSense{};
    if (journalLimit_ > 0)
        Record(entry);
    if ((r->SRB_Flags & SRB_EVENT_NOTIFY) && r->SRB_PostProc != 0) {
        SignalEvent(r->SRB_PostProc);
        return SS_PENDING;
    }
    return status;
}

TResult TRecorderHost::Execute(unsigned drive, const TCommand& command) {
    TResult result;
    if (drive >= devices_.size() || command.cdb == nullptr || command.cdbLength == 0 ||
        command.cdbLength > 16 || (command.dataLength > 0 && command.data == nullptr)) {
        result.status = kStatusCheckCondition;
        result.sense = sense::kLunNotSupported;
        return result;
    }
    result = devices_[drive]->Execute(command);
    if (journalLimit_ > 0) {
        TJournalEntry entry;
        entry.target = static_cast<uint8_t>(drive);
        entry.cdbLength = command.cdbLength;
        std::memcpy(entry.cdb.data(), command.cdb, command.cdbLength);
        entry.dataLength = command.dataLength;
        entry.flags = command.direction == TDirection::In    ? SRB_DIR_IN
                      : command.direction == TDirection::Out ? SRB_DIR_OUT
                                                             : 0;
        entry.srbStatus = result.status == kStatusGood ? SS_COMP : SS_ERR;
        entry.targetStatus = result.status;
        entry.sense = result.status == kStatusCheckCondition ? result.sense : TSense{};
        Record(entry);
    }
    return result;
}

void TRecorderHost::Record(const TJournalEntry& entry) {
    std::lock_guard lock(journalMutex_);
    if (journal_.size() >= journalLimit_) {
        journal_.erase(journal_.begin(),
                       journal_.begin() + static_cast<long>(journal_.size() / 2 + 1));
    }
    journal_.push_back(entry);
}

std::vector<TJournalEntry> TRecorderHost::Journal() const {
    std::lock_guard lock(journalMutex_);
    return journal_;
}

void TRecorderHost::ClearJournal() {
    std::lock_guard lock(journalMutex_);
    journal_.clear();
}

bool TRecorderHost::InsertMedia(unsigned drive, TMediaKind media, const std::string& image,
                                std::string& error) {
    TDevice* d = Device(drive, error);
    return d != nullptr && d->Insert(media, image, error);
}

bool TRecorderHost::EjectMedia(unsigned drive, std::string& error) {
    TDevice* d = Device(drive, error);
    return d != nullptr && d->Eject(error);
}

std::string TRecorderHost::JobLockFile(uint8_t adapter, uint8_t target, uint8_t lun) const {
    if (adapter != 0 || lun != 0 || target >= devices_.size())
        return {};
    return stateDir_ + "/drive" + std::to_string(target) + ".job";
}

bool TRecorderHost::InjectFault(unsigned drive, const TFault& fault, std::string& error) {
    TDevice* d = Device(drive, error);
    return d != nullptr && d->AddFault(fault, error);
}

bool TRecorderHost::InjectFault(unsigned drive, const std::string& rule, std::string& error) {
    TDevice* d = Device(drive, error);
    if (d == nullptr)
        return false;
    TFault fault;
    bool clearAll = false;
    if (!ParseFaultRule(rule, WallClockUs(), timeScale_, fault, clearAll, error))
        return false;
    return clearAll ? d->ClearFaults(error) : d->AddFault(fault, error);
}

bool TRecorderHost::ClearFaults(unsigned drive, std::string& error) {
    TDevice* d = Device(drive, error);
    return d != nullptr && d->ClearFaults(error);
}

bool TRecorderHost::ReadSectors(unsigned drive, uint32_t lba, uint32_t blocks,
                                std::vector<uint8_t>& out, std::string& error) {
    TDevice* d = Device(drive, error);
    return d != nullptr && d->ReadRecorded(lba, blocks, out, error);
}

bool TRecorderHost::ExportImage(unsigned drive, const std::string& path, std::string& error) {
    TDevice* d = Device(drive, error);
    return d != nullptr && d->Export(path, error);
}

bool TRecorderHost::GetDiscState(unsigned drive, TDiscState& state, std::string& error) {
    TDevice* d = Device(drive, error);
    return d != nullptr && d->Snapshot(state, error);
}

bool TRecorderHost::Reset(std::string& error) {
    for (auto& d : devices_) {
        if (!d->Reset(error))
            return false;
    }
    return true;
}

}  // namespace tessor::vdrive
