// Win32 file handles behind TFile. The handle sits in the int the class
// keeps: Windows documents that kernel handles hold only 32 significant
// bits, so the value survives the round trip; INVALID_HANDLE_VALUE is -1.
#include "engine/platform/File.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <utility>

#include "engine/platform/Strings.h"
#include "engine/platform/win/Wide.h"

namespace tessor::platform {

namespace {

using win::ErrnoOf;
using win::WidePath;

HANDLE ToHandle(int fd) {
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(fd));
}

int ToFd(HANDLE h) {
    return static_cast<int>(reinterpret_cast<intptr_t>(h));
}

int LastErrno() {
    int e = ErrnoOf(GetLastError());
    errno = e;
    return e;
}

int64_t NsSince1970(const FILETIME& ft) {
    uint64_t ticks = (uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return (static_cast<int64_t>(ticks) - 116444736000000000LL) * 100;
}

void FillStamp(const BY_HANDLE_FILE_INFORMATION& info, TFileStamp& stamp) {
    stamp.Device = info.dwVolumeSerialNumber;
    stamp.Inode = (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    stamp.Size = static_cast<int64_t>((uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    stamp.ModifiedNs = NsSince1970(info.ftLastWriteTime);
}

// Opened for its attributes only: needs no access right to the content,
// and folders open too.
HANDLE OpenForQuery(std::u16string_view path) {
    return CreateFileW(WidePath(path).c_str(), FILE_READ_ATTRIBUTES,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

}  // namespace

bool StampOf(std::u16string_view path, TFileStamp& stamp) {
    HANDLE h = OpenForQuery(path);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info{};
    bool ok = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    if (ok)
        FillStamp(info, stamp);
    return ok;
}

int64_t ReadHead(std::u16string_view path, void* buffer, size_t count, TFileStamp& stamp) {
    TFile file;
    if (!file.OpenRead(path) || !file.Stamp(stamp)) {
        errno = file.LastError() != 0 ? file.LastError() : EINVAL;
        return -1;
    }
    int64_t done = file.Read(buffer, count);
    errno = file.LastError();
    return done;
}

bool CanRead(std::u16string_view path, int& error) {
    HANDLE h = CreateFileW(WidePath(path).c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = LastErrno();
        return false;
    }
    CloseHandle(h);
    return true;
}

bool RenameReplacing(std::u16string_view from, std::u16string_view to) {
    if (MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    errno = LastErrno();
    return false;
}

bool RemoveFile(std::u16string_view path) {
    if (DeleteFileW(WidePath(path).c_str()))
        return true;
    errno = LastErrno();
    return false;
}

bool TFile::Stamp(TFileStamp& stamp) const {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!IsOpen() || !GetFileInformationByHandle(ToHandle(fd_), &info))
        return false;
    FillStamp(info, stamp);
    return true;
}

TFile::~TFile() {
    Close();
}

TFile::TFile(TFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), error_(std::exchange(other.error_, 0)) {}

TFile& TFile::operator=(TFile&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
        error_ = std::exchange(other.error_, 0);
    }
    return *this;
}

namespace {

// Opens with CreateFileW; a folder is refused as on Linux (EISDIR), and only
// files on disk are read (not pipes or consoles).
int OpenHandle(const std::wstring& path, DWORD access, DWORD disposition, bool readFileOnly,
               int& error) {
    HANDLE h = CreateFileW(
        path.c_str(), access,
        FILE_SHARE_READ | (access == GENERIC_READ ? FILE_SHARE_WRITE : 0) | FILE_SHARE_DELETE,
        nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        // Opening a folder as a file fails with "access denied".
        DWORD attributes = GetFileAttributesW(path.c_str());
        if (code == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
            (attributes & FILE_ATTRIBUTE_DIRECTORY))
            error = EISDIR;
        else
            error = ErrnoOf(code);
        errno = error;
        return -1;
    }
    if (readFileOnly && GetFileType(h) != FILE_TYPE_DISK) {
        CloseHandle(h);
        error = EINVAL;
        errno = error;
        return -1;
    }
    return ToFd(h);
}

}  // namespace

bool TFile::OpenRead(std::u16string_view path, TFileStamp* stamp) {
    Close();
    error_ = 0;
    fd_ = OpenHandle(WidePath(path), GENERIC_READ, OPEN_EXISTING, true, error_);
    if (IsOpen() && stamp != nullptr && !Stamp(*stamp)) {
        error_ = EIO;
        Close();
    }
    return IsOpen();
}

bool TFile::OpenReadNarrow(const std::string& path, TFileStamp* stamp) {
    return OpenRead(FromSystemPath(path), stamp);
}

bool TFile::Create(std::u16string_view path) {
    Close();
    error_ = 0;
    fd_ = OpenHandle(WidePath(path), GENERIC_WRITE, CREATE_ALWAYS, false, error_);
    return IsOpen();
}

bool TFile::OpenWrite(std::u16string_view path, bool append) {
    Close();
    error_ = 0;
    fd_ = OpenHandle(WidePath(path), append ? FILE_APPEND_DATA : GENERIC_WRITE, OPEN_EXISTING,
                     false, error_);
    return IsOpen();
}

bool TFile::CreateTemporaryBeside(std::u16string_view beside, std::u16string& tempPath) {
    Close();
    error_ = 0;
    std::u16string target(beside);
    size_t slash = target.find_last_of(u"/\\");
    std::u16string folder =
        slash == std::u16string::npos ? std::u16string() : target.substr(0, slash + 1);
    std::u16string name = slash == std::u16string::npos ? target : target.substr(slash + 1);
    if (name.size() > 200)
        name.resize(200);
    static const char16_t kDigits[] = u"0123456789abcdefghijklmnopqrstuvwxyz";
    uint64_t seed = static_cast<uint64_t>(GetCurrentProcessId()) * 0x9E3779B97F4A7C15ull ^
                    reinterpret_cast<uintptr_t>(&tempPath) ^ GetTickCount64();
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::u16string suffix;
        for (int i = 0; i < 6; ++i) {
            seed = seed * 6364136223846793005ull + 1442695040888963407ull;
            suffix.push_back(kDigits[(seed >> 33) % 36]);
        }
        std::u16string path = folder + u"." + name + u"." + suffix;
        // CREATE_NEW: never an existing file.
        int error = 0;
        int fd = OpenHandle(WidePath(path), GENERIC_WRITE, CREATE_NEW, false, error);
        if (fd != -1) {
            fd_ = fd;
            tempPath = path;
            return true;
        }
        if (error != EEXIST) {
            error_ = error;
            return false;
        }
    }
    error_ = EEXIST;
    return false;
}

// Windows has no file without a name that can be given one later: the
// caller falls back to a temporary name beside the target.
bool TFile::CreateUnnamedBeside(std::u16string_view) {
    Close();
    error_ = EOPNOTSUPP;
    return false;
}

bool TFile::LinkAs(const std::string&) {
    error_ = EOPNOTSUPP;
    return false;
}

// Windows writes a file's data back in its own time; Sync waits for it.
void TFile::StartWriteBack(int64_t, int64_t) {}

// Windows reads ahead of sequential reads on its own.
void TFile::WillNeed(int64_t) {}

bool TFile::Sync() {
    if (!IsOpen())
        return false;
    HANDLE h = ToHandle(fd_);
    if (FlushFileBuffers(h) || GetFileType(h) != FILE_TYPE_DISK)
        return true;
    DWORD code = GetLastError();
    if (code == ERROR_INVALID_HANDLE || code == ERROR_INVALID_FUNCTION)
        return true;
    error_ = ErrnoOf(code);
    return false;
}

int64_t TFile::Read(void* buffer, size_t count) {
    if (!IsOpen()) {
        error_ = errno = EBADF;
        return -1;
    }
    auto* p = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < count) {
        DWORD want = static_cast<DWORD>(std::min<size_t>(count - done, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(ToHandle(fd_), p + done, want, &got, nullptr)) {
            if (GetLastError() == ERROR_BROKEN_PIPE || GetLastError() == ERROR_HANDLE_EOF)
                break;
            error_ = LastErrno();
            return -1;
        }
        if (got == 0)
            break;  // end of file
        done += got;
    }
    return static_cast<int64_t>(done);
}

bool TFile::Write(const void* buffer, size_t count) {
    if (!IsOpen()) {
        error_ = errno = EBADF;
        return false;
    }
    const auto* p = static_cast<const char*>(buffer);
    size_t done = 0;
    while (done < count) {
        DWORD want = static_cast<DWORD>(std::min<size_t>(count - done, 1u << 30));
        DWORD put = 0;
        if (!WriteFile(ToHandle(fd_), p + done, want, &put, nullptr)) {
            error_ = LastErrno();
            return false;
        }
        if (put == 0) {
            error_ = errno = EIO;
            return false;
        }
        done += put;
    }
    return true;
}

int64_t TFile::Read(void* buffer, size_t count, TReadWait& waited) {
    // Windows tells no reader whether the data was in memory.
    waited = TReadWait::Unknown;
    return Read(buffer, count);
}

TFolderOpener::~TFolderOpener() = default;

// Windows opens by whole path; a folder handle would save nothing here.
bool TFolderOpener::OpenRead(TFile& file, std::u16string_view path, TFileStamp* stamp) {
    return file.OpenRead(path, stamp);
}

int64_t TFile::Size() const {
    LARGE_INTEGER size{};
    if (!IsOpen() || !GetFileSizeEx(ToHandle(fd_), &size))
        return -1;
    return size.QuadPart;
}

bool TFile::Close() {
    if (!IsOpen())
        return true;
    HANDLE h = ToHandle(std::exchange(fd_, -1));
    if (!CloseHandle(h)) {
        error_ = ErrnoOf(GetLastError());
        return false;
    }
    return true;
}

}  // namespace tessor::platform
