// Plain file access for the sector stream: source files, boot images and
// image files. Thin RAII over POSIX descriptors; failures keep errno.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tessor::platform {

// What identifies a file on disk and tells whether it changed.
struct TFileStamp {
    uint64_t Device = 0;
    uint64_t Inode = 0;
    int64_t Size = 0;
    int64_t ModifiedNs = 0;  // last modification, nanoseconds since 1970
    bool SameFile(const TFileStamp& o) const { return Device == o.Device && Inode == o.Inode; }
    bool operator==(const TFileStamp&) const = default;
};
// The stamp of the file at path (links followed); false when it is missing.
bool StampOf(std::u16string_view path, TFileStamp& stamp);

// Reads up to `count` bytes from the start of the regular file at path
// (links followed), with its stamp as it was opened: an open, one fstat, the
// reads and a close, for reading the heads of many small files. Returns the
// bytes read, or -1 (errno kept) when it cannot be opened or read or is not
// a regular file.
int64_t ReadHead(std::u16string_view path, void* buffer, size_t count, TFileStamp& stamp);

// Whether the process may read the file at path; error is the reason when
// it may not (errno).
bool CanRead(std::u16string_view path, int& error);

// Gives the file `from` the name `to` in one step, replacing a file that
// has that name (Windows' own rename refuses an existing target). False
// with errno set.
bool RenameReplacing(std::u16string_view from, std::u16string_view to);
// Removes the file's name; false with errno set.
bool RemoveFile(std::u16string_view path);

// Whether a read had to wait for the disk: Unknown where the system cannot
// tell (the caller may judge by the time the read took).
enum class TReadWait { Unknown, No, Yes };

class TFolderOpener;

class TFile {
public:
    TFile() = default;
    ~TFile();
    TFile(TFile&& other) noexcept;
    TFile& operator=(TFile&& other) noexcept;
    TFile(const TFile&) = delete;
    TFile& operator=(const TFile&) = delete;

    // Existing file, read only; shared with other readers. stamp, when
    // given, receives the opened file's stamp (no second look at the file).
    bool OpenRead(std::u16string_view path, TFileStamp* stamp = nullptr);
    bool OpenReadNarrow(const std::string& path, TFileStamp* stamp = nullptr);
    // Creates or truncates, write only.
    bool Create(std::u16string_view path);
    // Opens an existing file, device or pipe for writing, as it is (not
    // truncated, not created); append: every write goes to its end.
    bool OpenWrite(std::u16string_view path, bool append = false);
    // Creates a new, empty file with a name of its own in the folder of
    // `beside` (".NAME.XXXXXX"), with the mode a newly created file gets;
    // tempPath receives its path.
    bool CreateTemporaryBeside(std::u16string_view beside, std::u16string& tempPath);
    // Creates a file without a name in the folder of `beside` (O_TMPFILE),
    // with the mode a newly created file gets: a crash leaves nothing behind.
    // False where the file system cannot (the caller falls back to
    // CreateTemporaryBeside).
    bool CreateUnnamedBeside(std::u16string_view beside);
    // Gives the open unnamed file the name `path`, which must not exist.
    bool LinkAs(const std::string& path);
    // Flushes the written data to the disk; false on a write-back error.
    // Files that cannot be synced (pipes, terminals) count as synced.
    bool Sync();
    // Starts writing `length` bytes from `offset` to the disk and returns
    // without waiting for them: the final Sync then waits only for what
    // was written since. A hint; where it cannot be given, nothing happens.
    void StartWriteBack(int64_t offset, int64_t length);
    // Tells the system that the first `length` bytes will be read soon, so
    // that it starts reading them from the disk now. A hint, as above.
    void WillNeed(int64_t length);

    // Reads up to count bytes, retrying short reads until end of file.
    // Returns bytes read, or -1 on a read error.
    int64_t Read(void* buffer, size_t count);
    // The same, telling whether the data had to come from the disk.
    int64_t Read(void* buffer, size_t count, TReadWait& waited);
    // Writes all count bytes; false on any error (errno kept).
    bool Write(const void* buffer, size_t count);
    // Size in bytes, or -1.
    int64_t Size() const;
    // The open file's stamp; false when it cannot be had.
    bool Stamp(TFileStamp& stamp) const;
    bool IsOpen() const { return fd_ >= 0; }
    int Descriptor() const { return fd_; }
    // Closes; false when the close reported an error (a delayed write error).
    bool Close();
    int LastError() const { return error_; }

private:
    friend class TFolderOpener;
    bool OpenReadAt(int folder, const char* path, TFileStamp* stamp);

    int fd_ = -1;
    int error_ = 0;
};

// Opens files for reading one after another, each through a handle of its
// folder kept for as long as the files come from the same folder: the system
// then looks up only the name, not the whole path again each time.
class TFolderOpener {
public:
    TFolderOpener() = default;
    ~TFolderOpener();
    TFolderOpener(const TFolderOpener&) = delete;
    TFolderOpener& operator=(const TFolderOpener&) = delete;

    // As TFile::OpenRead(path, stamp).
    bool OpenRead(TFile& file, std::u16string_view path, TFileStamp* stamp = nullptr);

private:
    std::u16string folder_;  // with its trailing separator
    int handle_ = -1;
};

}  // namespace tessor::platform
