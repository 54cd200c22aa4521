// What the Windows C runtime lacks of the POSIX calls the portable code
// makes, over Win32. The Windows build puts this header before every source
// (-include), so code that only needs plain files, positional reads and
// writes, advisory locks and broken-down times builds unchanged.
//
// Paths are UTF-8 as everywhere in the program. stat, fstat and open with a
// mode take them as UTF-8 and reach the wide (UTF-16) calls; every file is
// opened in binary mode and not inherited by child processes.
#pragma once

#ifdef __cplusplus
#include <cstddef>
#include <cstdint>
#endif
#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#ifdef __cplusplus

// O_CLOEXEC carries binary mode: the text mode of the C runtime would turn
// every LF written into CR LF and stop reading at a 0x1A byte.
#define O_CLOEXEC (_O_NOINHERIT | _O_BINARY)
// No open blocks on Windows the way a FIFO or terminal does on Linux.
#define O_NONBLOCK 0
#define O_NOCTTY 0

#ifndef S_ISBLK
#define S_ISBLK(m) 0
#endif
#ifndef EWOULDBLOCK
#define EWOULDBLOCK EAGAIN
#endif

// stat on UTF-8 paths (the C runtime's narrow stat reads the ANSI code page).
struct tessor_stat : _stat64 {};
int tessor_stat(const char* path, struct tessor_stat* st);
int tessor_fstat(int fd, struct tessor_stat* st);
#undef stat
#undef fstat
#define stat tessor_stat
#define fstat tessor_fstat

// open with a mode: UTF-8 path, always binary. The two-argument form is the
// C runtime's own, which reads the path in the ANSI code page: portable code
// passes a mode (0 when it creates nothing) to reach this one.
int open(const char* path, int flags, int mode);
int mkdir(const char* path, int mode);

// Reads and writes at an offset; the file position is left where it was.
ssize_t pread(int fd, void* buffer, size_t count, off64_t offset);
ssize_t pwrite(int fd, const void* buffer, size_t count, off64_t offset);
int fsync(int fd);
// The file's new size, past 4 GiB too (a larger size reads as zeros); the
// position is kept. The runtime's ftruncate64 first asks the volume for
// free space and fails where it cannot tell, as under wine.
int tessor_ftruncate(int fd, off64_t length);
#undef ftruncate
#define ftruncate tessor_ftruncate

// Advisory whole-file locks, over LockFileEx (released on close, like flock).
#define LOCK_SH 1
#define LOCK_EX 2
#define LOCK_NB 4
#define LOCK_UN 8
int flock(int fd, int operation);

// Sparse files: every byte counts as data, so a copy that skips holes
// copies everything (correct, only not sparse).
#define SEEK_DATA 3
#define SEEK_HOLE 4
off64_t tessor_lseek(int fd, off64_t offset, int whence);
#undef lseek
#define lseek tessor_lseek

struct tm* gmtime_r(const time_t* t, struct tm* out);
struct tm* localtime_r(const time_t* t, struct tm* out);

// kill(pid, 0) only: whether the process still runs.
int kill(int pid, int signal);
// The absolute path (links are not resolved on Windows); malloc'd.
char* realpath(const char* path, char* resolved);
inline unsigned getuid() {
    return 0;
}
// Windows files have no POSIX permission bits to carry over.
inline int fchmod(int, unsigned) {
    return 0;
}

namespace tessor::platform::win {
// errno value of a Win32 error code.
int ErrnoOf(unsigned long win32Error);
}  // namespace tessor::platform::win

#endif  // __cplusplus
