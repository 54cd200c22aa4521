// POSIX file descriptors behind TFile.
#include "engine/platform/File.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <ctime>
#include <string>
#include <utility>

#include "engine/platform/Strings.h"

namespace tessor::platform {

namespace {

void FillStamp(const struct stat& st, TFileStamp& stamp) {
    stamp.Device = static_cast<uint64_t>(st.st_dev);
    stamp.Inode = static_cast<uint64_t>(st.st_ino);
    stamp.Size = static_cast<int64_t>(st.st_size);
    stamp.ModifiedNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

}  // namespace

bool StampOf(std::u16string_view path, TFileStamp& stamp) {
    struct stat st {};
    if (::stat(ToSystemPath(path).c_str(), &st) != 0)
        return false;
    FillStamp(st, stamp);
    return true;
}

int64_t ReadHead(std::u16string_view path, void* buffer, size_t count, TFileStamp& stamp) {
    // Not blocking: a FIFO put in a file's place would wait for a writer.
    int fd = ::open(ToSystemPath(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return -1;
    struct stat st {};
    int64_t done = -1;
    if (::fstat(fd, &st) != 0) {
        // errno says why
    } else if (!S_ISREG(st.st_mode)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    } else {
        FillStamp(st, stamp);
        auto* p = static_cast<char*>(buffer);
        done = 0;
        while (static_cast<size_t>(done) < count) {
            ssize_t n = ::read(fd, p + done, count - static_cast<size_t>(done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                done = n < 0 ? -1 : done;
                break;
            }
            done += n;
        }
    }
    int error = errno;
    ::close(fd);
    errno = error;
    return done;
}

bool CanRead(std::u16string_view path, int& error) {
    if (::access(ToSystemPath(path).c_str(), R_OK) == 0)
        return true;
    error = errno;
    return false;
}

bool RenameReplacing(std::u16string_view from, std::u16string_view to) {
    return ::rename(ToSystemPath(from).c_str(), ToSystemPath(to).c_str()) == 0;
}

bool RemoveFile(std::u16string_view path) {
    return ::unlink(ToSystemPath(path).c_str()) == 0;
}

bool TFile::Stamp(TFileStamp& stamp) const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0)
        return false;
    FillStamp(st, stamp);
    return true;
}

TFile::~TFile() {
    if (fd_ >= 0)
        ::close(fd_);
}

TFile::TFile(TFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), error_(std::exchange(other.error_, 0)) {}

TFile& TFile::operator=(TFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        error_ = std::exchange(other.error_, 0);
    }
    return *this;
}

bool TFile::OpenRead(std::u16string_view path, TFileStamp* stamp) {
    return OpenReadNarrow(ToSystemPath(path), stamp);
}

bool TFile::OpenReadNarrow(const std::string& path, TFileStamp* stamp) {
    return OpenReadAt(AT_FDCWD, path.c_str(), stamp);
}

bool TFile::OpenReadAt(int folder, const char* path, TFileStamp* stamp) {
    Close();
    error_ = 0;
    // Opened without blocking: opening a FIFO for reading would wait for a
    // writer. Only regular files and block devices are read.
    int fd = ::openat(folder, path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error_ = errno;
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        error_ = errno;
    else if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode))
        error_ = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    if (error_ != 0) {
        ::close(fd);
        errno = error_;
        return false;
    }
    // Reads of a regular file never wait for data, so the flag changes
    // nothing there and stays; a device reads as it normally would.
    if (S_ISBLK(st.st_mode)) {
        int flags = ::fcntl(fd, F_GETFL);
        if (flags >= 0)
            ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    }
    if (stamp != nullptr)
        FillStamp(st, *stamp);
    fd_ = fd;
    return true;
}

TFolderOpener::~TFolderOpener() {
    if (handle_ >= 0)
        ::close(handle_);
}

bool TFolderOpener::OpenRead(TFile& file, std::u16string_view path, TFileStamp* stamp) {
    size_t slash = path.rfind(u'/');
    if (slash == std::u16string_view::npos || slash + 1 == path.size())
        return file.OpenRead(path, stamp);
    std::u16string_view folder = path.substr(0, slash + 1);
    if (handle_ < 0 || folder != folder_) {
        if (handle_ >= 0)
            ::close(handle_);
        folder_.assign(folder);
        handle_ = ::open(ToSystemPath(folder).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    }
    // A folder that cannot be had as a handle is left to the whole path,
    // which then tells why.
    if (handle_ < 0)
        return file.OpenRead(path, stamp);
    return file.OpenReadAt(handle_, ToSystemPath(path.substr(slash + 1)).c_str(), stamp);
}

bool TFile::Create(std::u16string_view path) {
    Close();
    error_ = 0;
    int fd = ::open(ToSystemPath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        error_ = errno;
        return false;
    }
    fd_ = fd;
    return true;
}

bool TFile::OpenWrite(std::u16string_view path, bool append) {
    Close();
    error_ = 0;
    int fd = ::open(ToSystemPath(path).c_str(), O_WRONLY | O_CLOEXEC | (append ? O_APPEND : 0));
    if (fd < 0) {
        error_ = errno;
        return false;
    }
    fd_ = fd;
    return true;
}

bool TFile::CreateUnnamedBeside(std::u16string_view beside) {
    Close();
    error_ = 0;
#ifdef O_TMPFILE
    std::string target = ToSystemPath(beside);
    size_t slash = target.rfind('/');
    std::string folder =
        slash == std::string::npos ? std::string(".") : target.substr(0, slash + 1);
    int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd >= 0) {
        fd_ = fd;
        return true;
    }
    error_ = errno;
#else
    (void)beside;
    error_ = EOPNOTSUPP;
#endif
    return false;
}

bool TFile::LinkAs(const std::string& path) {
    // The descriptor's entry in /proc names the file without needing the
    // privilege that linking the descriptor itself takes.
    std::string self = "/proc/self/fd/" + std::to_string(fd_);
    if (fd_ >= 0 &&
        ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return true;
    error_ = fd_ >= 0 ? errno : EBADF;
    return false;
}

bool TFile::CreateTemporaryBeside(std::u16string_view beside, std::u16string& tempPath) {
    Close();
    error_ = 0;
    std::string target = ToSystemPath(beside);
    size_t slash = target.rfind('/');
    std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    // Room for the dot and the suffix within the 255 bytes of a name.
    if (name.size() > 200)
        name.resize(200);
    static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    uint64_t seed = static_cast<uint64_t>(::getpid()) * 0x9E3779B97F4A7C15ull ^
                    reinterpret_cast<uintptr_t>(&tempPath) ^ static_cast<uint64_t>(::time(nullptr));
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string suffix;
        for (int i = 0; i < 6; ++i) {
            seed = seed * 6364136223846793005ull + 1442695040888963407ull;
            suffix.push_back(kDigits[(seed >> 33) % 36]);
        }
        std::string path = folder + "." + name + "." + suffix;
        // O_EXCL: never an existing file; the mode goes through the umask
        // like any new file's.
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            fd_ = fd;
            tempPath = FromSystemPath(path);
            return true;
        }
        if (errno != EEXIST) {
            error_ = errno;
            return false;
        }
    }
    error_ = EEXIST;
    return false;
}

bool TFile::Sync() {
    if (fd_ < 0)
        return false;
    if (::fsync(fd_) == 0 || errno == EINVAL || errno == EROFS)
        return true;
    error_ = errno;
    return false;
}

void TFile::StartWriteBack(int64_t offset, int64_t length) {
    if (fd_ >= 0)
        ::sync_file_range(fd_, offset, length, SYNC_FILE_RANGE_WRITE);
}

void TFile::WillNeed(int64_t length) {
    if (fd_ >= 0)
        ::posix_fadvise(fd_, 0, length, POSIX_FADV_WILLNEED);
}

int64_t TFile::Read(void* buffer, size_t count) {
    if (fd_ < 0) {
        error_ = EBADF;
        errno = EBADF;
        return -1;
    }
    auto* p = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < count) {
        ssize_t n = ::read(fd_, p + done, count - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error_ = errno;
            return -1;
        }
        if (n == 0)
            break;  // end of file
        done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
}

int64_t TFile::Read(void* buffer, size_t count, TReadWait& waited) {
    // A first read that takes only what is in memory tells, without a clock,
    // whether the data had to come from the disk; what it leaves over is
    // read as usual. Where the system cannot read so, nothing is known.
    static std::atomic<bool> noWaitWorks{true};
    waited = TReadWait::Unknown;
    if (fd_ < 0 || count == 0 || !noWaitWorks.load(std::memory_order_relaxed))
        return Read(buffer, count);
    struct iovec io {
        buffer, count
    };
    ssize_t n = ::preadv2(fd_, &io, 1, -1, RWF_NOWAIT);
    if (n < 0) {
        if (errno == EAGAIN) {
            waited = TReadWait::Yes;
        } else if (errno == EOPNOTSUPP || errno == EINVAL || errno == ENOSYS) {
            noWaitWorks.store(false, std::memory_order_relaxed);
        } else if (errno != EINTR) {
            error_ = errno;
            return -1;
        }
        return Read(buffer, count);
    }
    auto done = static_cast<size_t>(n);
    if (done == count) {
        waited = TReadWait::No;
        return n;
    }
    int64_t rest = Read(static_cast<char*>(buffer) + done, count - done);
    if (rest < 0)
        return -1;
    // Nothing more: the end of the file came from memory too.
    waited = rest == 0 ? TReadWait::No : TReadWait::Yes;
    return static_cast<int64_t>(done) + rest;
}

bool TFile::Write(const void* buffer, size_t count) {
    if (fd_ < 0) {
        error_ = EBADF;
        errno = EBADF;
        return false;
    }
    const auto* p = static_cast<const char*>(buffer);
    size_t done = 0;
    while (done < count) {
        ssize_t n = ::write(fd_, p + done, count - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error_ = errno;
            return false;
        }
        if (n == 0) {
            error_ = EIO;
            errno = EIO;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

int64_t TFile::Size() const {
    if (fd_ < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        return -1;
    if (S_ISBLK(st.st_mode)) {
        uint64_t bytes = 0;
        if (::ioctl(fd_, BLKGETSIZE64, &bytes) != 0)
            return -1;
        return static_cast<int64_t>(bytes);
    }
    return static_cast<int64_t>(st.st_size);
}

bool TFile::Close() {
    if (fd_ < 0)
        return true;
    int fd = std::exchange(fd_, -1);
    if (::close(fd) != 0 && errno != EINTR) {
        error_ = errno;
        return false;
    }
    return true;
}

}  // namespace tessor::platform
