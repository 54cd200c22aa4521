// Where one virtual recorder keeps its disc: in the state directory, per
// drive N, "driveN.state" (the text state), "driveN.sectors" (a sparse file
// of the recorded sectors) and "driveN.lock" (flock target, plus a small
// binary header with a generation counter and the values that every WRITE
// (10) changes, so a write costs a pwrite of 8 bytes and never a rewrite of
// the state file). Several processes may drive the same recorder: each
// command runs under the flock and re-reads the text state when the
// generation moved.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "vdrive/Disc.h"

namespace tessor::vdrive {

inline constexpr uint32_t kSectorSize = 2048;

class TDriveStore {
public:
    TDriveStore(std::string directory, unsigned index);
    ~TDriveStore();
    TDriveStore(const TDriveStore&) = delete;
    TDriveStore& operator=(const TDriveStore&) = delete;

    // Opens (creating) the files. False with a message when the directory
    // cannot be used.
    bool Open(std::string& error);

    // Takes the exclusive flock (reopening the files after a fork) and brings
    // `state` up to date; `state` is reloaded only when another process (or
    // another host) saved since this store last looked. A state file that
    // cannot be read is an error, unless `replacing` says the caller is about
    // to replace the state anyway (insert, eject, reset): it then starts from
    // an empty drive.
    bool Lock(TDiscState& state, std::string& error, bool replacing = false);
    void Unlock();

    // Writes the text state and moves the generation.
    bool Save(const TDiscState& state);
    // The values the write path changes (incomplete track, DVD-RW formatted extent).
    void SaveHot(const TDiscState& state);

    bool WriteSectors(uint32_t lba, const uint8_t* data, uint32_t blocks);
    // Missing sectors read as zeros.
    bool ReadSectors(uint32_t lba, uint8_t* data, uint32_t blocks);
    bool Discard();            // the disc is erased: no sector is recorded any more
    uint64_t RecordedBytes();  // size of the sector file
    int SectorsFd() const { return sectorsFd_; }

    const std::string& SectorsPath() const { return sectorsPath_; }

private:
    bool OpenFiles(std::string& error);
    void CloseFiles();
    struct THeader;
    bool ReadHeader(THeader& header);
    void WriteHeader(const THeader& header);

    std::string directory_;
    std::string statePath_, sectorsPath_, lockPath_;
    int lockFd_ = -1;
    int sectorsFd_ = -1;
    pid_t pid_ = 0;
    uint64_t generation_ = ~uint64_t(0);  // generation of the state last loaded or saved
};

}  // namespace tessor::vdrive
