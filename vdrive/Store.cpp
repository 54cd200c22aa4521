#include "vdrive/Store.h"
#include "vdrive/System.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace tessor::vdrive {

// Binary header of the lock file, host byte order (the file never leaves the
// machine).
struct TDriveStore::THeader {
    char magic[8];
    uint64_t generation;
    uint32_t lastWritten;      // blocks recorded in the incomplete track
    uint32_t formattedBlocks;  // formatted extent (grows with DVD-RW writes)
    uint8_t reserved[40];
};

namespace {

constexpr char kMagic[8] = {'T', 'V', 'D', 'R', 'I', 'V', 'E', '1'};
constexpr off_t kHotOffset = 16;

bool PreadAll(int fd, void* buf, size_t len, off_t off) {
    auto* p = static_cast<uint8_t*>(buf);
    while (len > 0) {
        ssize_t n = pread(fd, p, len, off);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        len -= static_cast<size_t>(n);
        off += n;
    }
    return true;
}

bool PwriteAll(int fd, const void* buf, size_t len, off_t off) {
    auto* p = static_cast<const uint8_t*>(buf);
    while (len > 0) {
        ssize_t n = pwrite(fd, p, len, off);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        len -= static_cast<size_t>(n);
        off += n;
    }
    return true;
}

}  // namespace

TDriveStore::TDriveStore(std::string directory, unsigned index) : directory_(std::move(directory)) {
    std::string base = directory_ + "/drive" + std::to_string(index);
    statePath_ = base + ".state";
    sectorsPath_ = base + ".sectors";
    lockPath_ = base + ".lock";
}

TDriveStore::~TDriveStore() {
    CloseFiles();
}

bool TDriveStore::Open(std::string& error) {
    return OpenFiles(error);
}

bool TDriveStore::OpenFiles(std::string& error) {
    CloseFiles();
    lockFd_ = open(lockPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lockFd_ < 0) {
        error = "cannot open " + lockPath_ + ": " + std::strerror(errno);
        return false;
    }
    sectorsFd_ = open(sectorsPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (sectorsFd_ < 0) {
        error = "cannot open " + sectorsPath_ + ": " + std::strerror(errno);
        CloseFiles();
        return false;
    }
    pid_ = getpid();
    generation_ = ~uint64_t(0);
    return true;
}

void TDriveStore::CloseFiles() {
    if (lockFd_ >= 0)
        close(lockFd_);
    if (sectorsFd_ >= 0)
        close(sectorsFd_);
    lockFd_ = sectorsFd_ = -1;
}

bool TDriveStore::ReadHeader(THeader& h) {
    static_assert(sizeof(THeader) == 64);
    std::memset(&h, 0, sizeof h);
    if (!PreadAll(lockFd_, &h, sizeof h, 0) || std::memcmp(h.magic, kMagic, 8) != 0) {
        std::memset(&h, 0, sizeof h);
        return false;
    }
    return true;
}

void TDriveStore::WriteHeader(const THeader& h) {
    PwriteAll(lockFd_, &h, sizeof h, 0);
}

bool TDriveStore::Lock(TDiscState& state, std::string& error, bool replacing) {
    // A child of fork shares the parent's open file descriptions, and with
    // them the flock: give it its own.
    if (pid_ != getpid() && !OpenFiles(error))
        return false;
    while (flock(lockFd_, LOCK_EX) != 0) {
        if (errno != EINTR) {
            error = std::string("flock: ") + std::strerror(errno);
            return false;
        }
    }
    THeader h;
    bool haveHeader = ReadHeader(h);
    if (!haveHeader) {
        // No drive state yet: a fresh drive with an empty tray.
        if (generation_ == ~uint64_t(0)) {
            state = TDiscState{};
            generation_ = 0;
        }
        return true;
    }
    if (h.generation != generation_) {
        std::ifstream in(statePath_);
        std::stringstream text;
        text << in.rdbuf();
        TDiscState loaded;
        std::string parseError;
        if (!in || !loaded.Parse(text.str(), parseError)) {
            if (!replacing) {
                error = statePath_ + ": " + (parseError.empty() ? "cannot read" : parseError);
                flock(lockFd_, LOCK_UN);
                return false;
            }
            loaded = TDiscState{};
        }
        state = std::move(loaded);
        generation_ = h.generation;
    }
    state.SetHotLastWritten(h.lastWritten);
    if (state.media == TMediaKind::DvdRwRo)
        state.formattedBlocks = h.formattedBlocks;
    return true;
}

void TDriveStore::Unlock() {
    if (lockFd_ >= 0)
        flock(lockFd_, LOCK_UN);
}

bool TDriveStore::Save(const TDiscState& state) {
    std::string tmp = statePath_ + ".tmp";
    {
        std::ofstream out(tmp, std::ios::trunc);
        out << state.Serialize();
        out.flush();
        if (!out)
            return false;
    }
    if (!MoveReplacing(tmp, statePath_))
        return false;
    THeader h;
    ReadHeader(h);
    std::memcpy(h.magic, kMagic, 8);
    h.generation += 1;
    h.lastWritten = state.HotLastWritten();
    h.formattedBlocks = state.formattedBlocks;
    WriteHeader(h);
    generation_ = h.generation;
    return true;
}

void TDriveStore::SaveHot(const TDiscState& state) {
    uint32_t hot[2] = {state.HotLastWritten(), state.formattedBlocks};
    PwriteAll(lockFd_, hot, sizeof hot, kHotOffset);
}

bool TDriveStore::WriteSectors(uint32_t lba, const uint8_t* data, uint32_t blocks) {
    return PwriteAll(sectorsFd_, data, static_cast<size_t>(blocks) * kSectorSize,
                     static_cast<off_t>(lba) * kSectorSize);
}

bool TDriveStore::ReadSectors(uint32_t lba, uint8_t* data, uint32_t blocks) {
    size_t len = static_cast<size_t>(blocks) * kSectorSize;
    off_t off = static_cast<off_t>(lba) * kSectorSize;
    size_t done = 0;
    while (done < len) {
        ssize_t n = pread(sectorsFd_, data + done, len - done, off + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
    }
    std::memset(data + done, 0, len - done);
    return true;
}

bool TDriveStore::Discard() {
    return ftruncate(sectorsFd_, 0) == 0;
}

uint64_t TDriveStore::RecordedBytes() {
    struct stat st {};
    if (fstat(sectorsFd_, &st) != 0)
        return 0;
    return static_cast<uint64_t>(st.st_size);
}

}  // namespace tessor::vdrive
