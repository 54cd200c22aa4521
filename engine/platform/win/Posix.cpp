// The POSIX calls of Posix.h over Win32.
#include "engine/platform/win/Posix.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::wstring Wide(const char* utf8) {
    if (utf8 == nullptr || *utf8 == '\0')
        return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    if (n <= 0)
        return {};
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, out.data(), n);
    out.resize(static_cast<size_t>(n - 1));
    return out;
}

HANDLE HandleOf(int fd) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

ssize_t Transfer(int fd, void* buffer, size_t count, off64_t offset, bool write) {
    HANDLE h = HandleOf(fd);
    if (h == INVALID_HANDLE_VALUE || offset < 0) {
        errno = EBADF;
        return -1;
    }
    // The offset travels in the OVERLAPPED block; the file position moves,
    // so it is put back to keep the POSIX meaning.
    LARGE_INTEGER zero{}, position{};
    SetFilePointerEx(h, zero, &position, FILE_CURRENT);
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset));
    at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
    DWORD want = count > 0x40000000u ? 0x40000000u : static_cast<DWORD>(count);
    DWORD done = 0;
    BOOL ok =
        write ? WriteFile(h, buffer, want, &done, &at) : ReadFile(h, buffer, want, &done, &at);
    DWORD error = ok ? 0 : GetLastError();
    SetFilePointerEx(h, position, nullptr, FILE_BEGIN);
    if (!ok) {
        if (!write && error == ERROR_HANDLE_EOF)
            return 0;
        errno = tessor::platform::win::ErrnoOf(error);
        return -1;
    }
    return static_cast<ssize_t>(done);
}

}  // namespace

int tessor_stat(const char* path, struct tessor_stat* st) {
    std::wstring wide = Wide(path);
    return _wstat64(wide.c_str(), st);
}

int tessor_fstat(int fd, struct tessor_stat* st) {
    return _fstat64(fd, st);
}

int open(const char* path, int flags, int mode) {
    std::wstring wide = Wide(path);
    return _wopen(wide.c_str(), flags | _O_BINARY, mode);
}

int mkdir(const char* path, int /*mode*/) {
    std::wstring wide = Wide(path);
    return _wmkdir(wide.c_str());
}

ssize_t pread(int fd, void* buffer, size_t count, off64_t offset) {
    return Transfer(fd, buffer, count, offset, false);
}

ssize_t pwrite(int fd, const void* buffer, size_t count, off64_t offset) {
    return Transfer(fd, const_cast<void*>(buffer), count, offset, true);
}

int tessor_ftruncate(int fd, off64_t length) {
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (h == INVALID_HANDLE_VALUE || length < 0) {
        errno = length < 0 ? EINVAL : EBADF;
        return -1;
    }
    FILE_END_OF_FILE_INFO size{};
    size.EndOfFile.QuadPart = length;
    if (!SetFileInformationByHandle(h, FileEndOfFileInfo, &size, sizeof size)) {
        errno = tessor::platform::win::ErrnoOf(GetLastError());
        return -1;
    }
    return 0;
}

int fsync(int fd) {
    return _commit(fd);
}

int flock(int fd, int operation) {
    HANDLE h = HandleOf(fd);
    if (h == INVALID_HANDLE_VALUE) {
        errno = EBADF;
        return -1;
    }
    OVERLAPPED whole{};
    BOOL ok;
    if (operation & LOCK_UN) {
        ok = UnlockFileEx(h, 0, MAXDWORD, MAXDWORD, &whole);
        if (!ok && GetLastError() == ERROR_NOT_LOCKED)
            ok = TRUE;
    } else {
        DWORD flags = (operation & LOCK_EX) ? LOCKFILE_EXCLUSIVE_LOCK : 0;
        if (operation & LOCK_NB)
            flags |= LOCKFILE_FAIL_IMMEDIATELY;
        ok = LockFileEx(h, flags, 0, MAXDWORD, MAXDWORD, &whole);
    }
    if (!ok) {
        DWORD error = GetLastError();
        errno = error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING
                    ? EWOULDBLOCK
                    : tessor::platform::win::ErrnoOf(error);
        return -1;
    }
    return 0;
}

off64_t tessor_lseek(int fd, off64_t offset, int whence) {
    if (whence == SEEK_DATA || whence == SEEK_HOLE) {
        struct tessor_stat st {};
        if (_fstat64(fd, &st) != 0)
            return -1;
        if (offset >= st.st_size) {
            errno = ENXIO;
            return -1;
        }
        return whence == SEEK_DATA ? offset : st.st_size;
    }
    return _lseeki64(fd, offset, whence);
}

struct tm* gmtime_r(const time_t* t, struct tm* out) {
    return gmtime_s(out, t) == 0 ? out : nullptr;
}

struct tm* localtime_r(const time_t* t, struct tm* out) {
    return localtime_s(out, t) == 0 ? out : nullptr;
}

int kill(int pid, int signal) {
    if (signal != 0) {
        errno = EINVAL;
        return -1;
    }
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                 static_cast<DWORD>(pid));
    if (process == nullptr) {
        errno = GetLastError() == ERROR_ACCESS_DENIED ? EPERM : ESRCH;
        return -1;
    }
    bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    if (!running) {
        errno = ESRCH;
        return -1;
    }
    return 0;
}

char* realpath(const char* path, char* resolved) {
    std::wstring wide = Wide(path);
    DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (n == 0) {
        errno = ENOENT;
        return nullptr;
    }
    std::wstring full(n, L'\0');
    n = GetFullPathNameW(wide.c_str(), n, full.data(), nullptr);
    full.resize(n);
    if (GetFileAttributesW(full.c_str()) == INVALID_FILE_ATTRIBUTES) {
        errno = ENOENT;
        return nullptr;
    }
    int bytes = WideCharToMultiByte(CP_UTF8, 0, full.c_str(), -1, nullptr, 0, nullptr, nullptr);
    char* out = resolved != nullptr ? resolved : static_cast<char*>(std::malloc(bytes));
    if (out == nullptr || (resolved != nullptr && bytes > MAX_PATH)) {
        errno = ENAMETOOLONG;
        return nullptr;
    }
    WideCharToMultiByte(CP_UTF8, 0, full.c_str(), -1, out, bytes, nullptr, nullptr);
    return out;
}

namespace tessor::platform::win {

int ErrnoOf(unsigned long win32Error) {
    switch (win32Error) {
        case ERROR_SUCCESS:
            return 0;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_PATHNAME:
        case ERROR_INVALID_NAME:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_PRIVILEGE_NOT_HELD:
            return EACCES;
        case ERROR_WRITE_PROTECT:
            return EROFS;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_BUSY:
            return EBUSY;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return EEXIST;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return ENOMEM;
        case ERROR_INVALID_HANDLE:
            return EBADF;
        case ERROR_DIRECTORY:
            return ENOTDIR;
        case ERROR_NOT_READY:
            return ENXIO;
        case ERROR_INVALID_PARAMETER:
            return EINVAL;
        case ERROR_BROKEN_PIPE:
        case ERROR_NO_DATA:
            return EPIPE;
        default:
            return EIO;
    }
}

}  // namespace tessor::platform::win
