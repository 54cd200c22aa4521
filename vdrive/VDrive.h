// The virtual recorder, in process. A TRecorderHost is what libwnaspi32.so
// wraps: a set of virtual drives on host adapter 0 (targets 0..n-1, LUN 0)
// whose discs live in a state directory, answering ASPI requests.
//
//   std::string error;
//   auto host = tessor::vdrive::TRecorderHost::Create({.stateDir = dir}, error);
//   auto entry = host->EntryPoints();          // plain GetASPI32SupportInfo /
//   entry.sendCommand(&srb);                   // SendASPI32Command pointers
//   host->InsertMedia(0, TMediaKind::DvdPlusRw, "", error);
//   for (const auto& e : host->Journal()) ...  // every CDB received
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/drive/WNASPI32.h"
#include "vdrive/Disc.h"
#include "vdrive/DriveConfig.h"
#include "vdrive/Faults.h"
#include "vdrive/Media.h"
#include "vdrive/Sense.h"

namespace tessor::vdrive {

class TDevice;
enum class TDirection : uint8_t;
struct TCommand;
struct TResult;

struct THostOptions {
    // Empty: TESSOR_VDRIVE_DIR, else $XDG_DATA_HOME/tessor/vdrive, else
    // ~/.local/share/tessor/vdrive. Created when missing.
    std::string stateDir;
    // Empty: the state directory's drives.conf, else the default set
    // (which is then written to drives.conf for the user to edit).
    std::vector<TDriveConfig> drives;
    // Negative: TESSOR_TIME_SCALE (1.0 when unset).
    double timeScale = -1;
    // Keep a journal of every command, at most this many entries (the oldest
    // half is dropped when full); 0 = no journal.
    size_t journalLimit = 1u << 20;
};

struct TJournalEntry {
    uint8_t adapter = 0;
    uint8_t target = 0;
    uint8_t lun = 0;
    std::array<uint8_t, 16> cdb{};
    uint8_t cdbLength = 0;
    uint32_t dataLength = 0;
    uint8_t flags = 0;         // SRB flags: SRB_DIR_IN 08h, SRB_DIR_OUT 10h
    uint8_t srbStatus = 0;     // SS_COMP, SS_ERR, SS_NO_DEVICE, ...
    uint8_t targetStatus = 0;  // 00h good, 02h check condition, 08h busy
    TSense sense;              // of a check condition

    uint8_t Opcode() const { return cdb[0]; }
    bool DataIn() const { return flags & SRB_DIR_IN; }
    bool DataOut() const { return flags & SRB_DIR_OUT; }
};

struct TAspiEntryPoints {
    TGetASPI32SupportInfo getSupportInfo = nullptr;
    TSendASPI32Command sendCommand = nullptr;
};

std::string DefaultStateDir();

class TRecorderHost {
public:
    static std::unique_ptr<TRecorderHost> Create(const THostOptions& options, std::string& error);
    ~TRecorderHost();
    TRecorderHost(const TRecorderHost&) = delete;
    TRecorderHost& operator=(const TRecorderHost&) = delete;

    // The two ASPI entry points of this host.
    uint32_t GetASPI32SupportInfo() const;
    uint32_t SendASPI32Command(void* srb);

    // Runs one command on a drive without an ASPI request block, for a
    // transport that brings its own framing (the TCMU handler). Status,
    // sense and the bytes moved come back as the device model gave them.
    // Journaled like an ASPI request. Include vdrive/Device.h to call it.
    TResult Execute(unsigned drive, const TCommand& command);

    // Plain function pointers that reach this host. There is one such
    // binding per process: the latest host asked for it receives the calls
    // (until it is destroyed). Calls with no host bound fail cleanly.
    TAspiEntryPoints EntryPoints();

    const std::string& StateDir() const { return stateDir_; }
    // The file that every Tessor process locks while a job (a write, an
    // erase) runs on a drive: "driveN.job" in the state directory. Empty
    // for an address that is no drive of this host.
    std::string JobLockFile(uint8_t adapter, uint8_t target, uint8_t lun) const;
    double TimeScale() const { return timeScale_; }
    size_t DriveCount() const { return devices_.size(); }
    const TDriveConfig& Drive(unsigned drive) const;

    // Disc handling, as the tool offers it. `image` empty: a blank disc
    // (pressed media: an empty one); otherwise the image is recorded on it as
    // one closed session.
    bool InsertMedia(unsigned drive, TMediaKind media, const std::string& image,
                     std::string& error);
    bool EjectMedia(unsigned drive, std::string& error);
    bool InjectFault(unsigned drive, const TFault& fault, std::string& error);
    bool InjectFault(unsigned drive, const std::string& rule, std::string& error);  // fault rules
    bool ClearFaults(unsigned drive, std::string& error);
    bool ReadSectors(unsigned drive, uint32_t lba, uint32_t blocks, std::vector<uint8_t>& out,
                     std::string& error);
    bool ExportImage(unsigned drive, const std::string& path, std::string& error);
    bool GetDiscState(unsigned drive, TDiscState& state, std::string& error);
    bool Reset(std::string& error);  // every drive: empty tray, no faults

    std::vector<TJournalEntry> Journal() const;
    void ClearJournal();

private:
    TRecorderHost() = default;
    TDevice* Device(unsigned drive, std::string& error);
    void Record(const TJournalEntry& entry);

    std::string stateDir_;
    double timeScale_ = 1.0;
    size_t journalLimit_ = 0;
    std::vector<std::unique_ptr<TDevice>> devices_;
    mutable std::mutex journalMutex_;
    std::vector<TJournalEntry> journal_;
};

}  // namespace tessor::vdrive
