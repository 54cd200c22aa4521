// Directory search yielding Win32-shaped find data.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tessor::platform {

// Attribute bits of TFindData::dwFileAttributes. Linux keeps no such bits;
// they are derived from the entry: 0x10 for a folder, 0x02 for a name that
// begins with '.' (not "." and ".."), 0x01 when the owner's write
// permission bit is clear, and 0x80 alone when none of these applies. No
// other bit (system, archive, ...) is ever set.
inline constexpr uint32_t kAttrReadOnly = 0x01;  // the owner may not write it
inline constexpr uint32_t kAttrHidden = 0x02;    // a dot-name
inline constexpr uint32_t kAttrDirectory = 0x10;
inline constexpr uint32_t kAttrNormal = 0x80;  // a file with no other attribute

// Path separator of source paths on this platform.
#ifdef _WIN32
inline constexpr char16_t kPathSeparator = u'\\';
#else
inline constexpr char16_t kPathSeparator = u'/';
#endif

// File times are 100-nanosecond intervals since 1601-01-01 UTC.
using TFileTime = uint64_t;

// Shaped like WIN32_FIND_DATAW. Names are NUL-terminated UTF-16. Times come
// from stat (nanoseconds kept to 100 ns); Linux reports no creation time, so
// ftCreationTime repeats the last write. Folders have size 0.
struct TFindData {
    uint32_t dwFileAttributes = 0;
    TFileTime ftCreationTime = 0;
    TFileTime ftLastAccessTime = 0;
    TFileTime ftLastWriteTime = 0;
    uint32_t nFileSizeHigh = 0;
    uint32_t nFileSizeLow = 0;
    char16_t cFileName[260] = {};
    char16_t cAlternateFileName[14] = {};
    // Not in the Windows record: the device and inode of the file, so that
    // hard links (and links to one file) are known as one file. 0 = unknown.
    uint64_t Device = 0;
    uint64_t Inode = 0;
    // Whether the caller may read the file, where the search could check it
    // cheaply against the folder it has open: 0 readable, else the errno of
    // the refusal; kReadUnchecked where the search did not look.
    int ReadError = kReadUnchecked;
    static constexpr int kReadUnchecked = -1;
};

// FindFirst / FindNext / FindClose. The pattern is a path whose last
// component may hold '*' and '?' (matched as MatchesMask does), or a plain
// path naming one file or folder. Only directories and regular files are
// returned (symbolic links are followed; FIFOs, sockets and devices never
// appear). "." and ".." are returned for a folder listing, as Windows does.
// The alternate 8.3 name is generated as a Windows volume would (empty when
// the long name is already a valid 8.3 name), unique within the folder and
// the same whether the folder or only the one file is searched: N of
// BASE~N.EXT follows the byte order of the folder's names that need an
// alias. Masks are matched against the long name only. Entries that cannot
// be represented are left out: names longer than 259 UTF-16 units and names
// that are not valid UTF-8 (they could not be opened again by their UTF-16
// form). A folder listing is returned in byte order of the names. When
// nothing matches, First returns false with errno set.
class TFileSearch {
public:
    TFileSearch();
    ~TFileSearch();
    TFileSearch(const TFileSearch&) = delete;
    TFileSearch& operator=(const TFileSearch&) = delete;

    bool First(std::u16string_view pattern, TFindData& fd);
    bool Next(TFindData& fd);
    void Close();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Identity of a folder on disk (device and inode), used to refuse descending
// through a symbolic link into a folder that is already being added.
struct TFolderId {
    uint64_t device = 0;
    uint64_t inode = 0;
    bool operator==(const TFolderId&) const = default;
};
bool GetFolderId(std::u16string_view path, TFolderId& id);

// Drops the listings kept of recently searched folders (a folder of 50,000
// files keeps several megabytes); the next search lists its folder again.
void ForgetFolderListings();

}  // namespace tessor::platform
