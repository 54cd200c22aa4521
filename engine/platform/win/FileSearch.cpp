// Directory search over FindFirstFileExW. The 8.3 names are the volume's
// own (cAlternateFileName); a volume with 8.3 names switched off gives none,
// and the compilation tree then makes its own.
#include "engine/platform/FileSearch.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "engine/platform/Strings.h"
#include "engine/platform/win/Wide.h"

namespace tessor::platform {

namespace {

TFileTime FromFileTime(const FILETIME& ft) {
    return (TFileTime(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

bool HasWildcard(std::u16string_view s) {
    return s.find_first_of(u"*?") != std::u16string_view::npos;
}

// Copies one entry. Devices and other non-file entries do not appear in a
// Windows folder; a reparse point is followed like a link on Linux, so its
// attributes say what it points at.
void FillFindData(const WIN32_FIND_DATAW& w, TFindData& fd) {
    fd = TFindData{};
    uint32_t attributes = w.dwFileAttributes &
                          (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                           FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_ARCHIVE);
    fd.dwFileAttributes = attributes != 0 ? attributes : kAttrNormal;
    fd.ftCreationTime = FromFileTime(w.ftCreationTime);
    fd.ftLastAccessTime = FromFileTime(w.ftLastAccessTime);
    fd.ftLastWriteTime = FromFileTime(w.ftLastWriteTime);
    if (!(w.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        fd.nFileSizeHigh = w.nFileSizeHigh;
        fd.nFileSizeLow = w.nFileSizeLow;
    }
    for (size_t i = 0; i < std::size(fd.cFileName) - 1 && w.cFileName[i]; ++i)
        fd.cFileName[i] = static_cast<char16_t>(w.cFileName[i]);
    for (size_t i = 0; i < std::size(fd.cAlternateFileName) - 1 && w.cAlternateFileName[i]; ++i)
        fd.cAlternateFileName[i] = static_cast<char16_t>(w.cAlternateFileName[i]);
}

// The volume and file index, which a folder listing does not carry: two
// names of one file (hard links) then count as one file, as on Linux.
void FillFileId(const std::u16string& path, TFindData& fd) {
    TFolderId id;
    if (GetFolderId(path, id)) {
        fd.Device = id.device;
        fd.Inode = id.inode;
    }
}

// Splits at the last separator ('\' or '/'); the folder keeps its separator.
void SplitPath(std::u16string_view path, std::u16string& folder, std::u16string& last) {
    std::u16string p(path);
    while (p.size() > 1 && (p.back() == u'/' || p.back() == u'\\'))
        p.pop_back();
    size_t slash = p.find_last_of(u"/\\");
    if (slash == std::u16string::npos) {
        folder.clear();
        last = p;
    } else {
        folder = p.substr(0, slash + 1);
        last = p.substr(slash + 1);
    }
}

int LastErrno() {
    DWORD code = GetLastError();
    return code == ERROR_NO_MORE_FILES ? ENOENT : win::ErrnoOf(code);
}

}  // namespace

struct TFileSearch::State {
    std::vector<TFindData> entries;
    size_t next = 0;
};

TFileSearch::TFileSearch() = default;
TFileSearch::~TFileSearch() = default;

void TFileSearch::Close() {
    state_.reset();
}

bool TFileSearch::First(std::u16string_view pattern, TFindData& fd) {
    Close();
    std::u16string folder, last;
    SplitPath(pattern, folder, last);
    if (last.empty() || last.back() == u':') {
        errno = ENOENT;
        return false;
    }
    WIN32_FIND_DATAW w{};
    if (!HasWildcard(last)) {
        // One named file or folder, with the volume's short name for it.
        HANDLE h = FindFirstFileExW(win::WidePath(folder + last).c_str(), FindExInfoStandard, &w,
                                    FindExSearchNameMatch, nullptr, 0);
        if (h == INVALID_HANDLE_VALUE) {
            errno = LastErrno();
            return false;
        }
        FindClose(h);
        FillFindData(w, fd);
        FillFileId(folder + last, fd);
        return true;
    }
    // The whole folder, matched here against the long names only (Windows
    // would also match the short ones) and sorted by the names' code points,
    // so the order is the same on every file system.
    HANDLE h = FindFirstFileExW(win::WidePath(folder + u"*").c_str(), FindExInfoStandard, &w,
                                FindExSearchNameMatch, nullptr, 0);
    if (h == INVALID_HANDLE_VALUE) {
        errno = LastErrno();
        return false;
    }
    auto state = std::make_unique<State>();
    do {
        std::u16string name = win::FromWide(w.cFileName);
        if (!MatchesMask(name, last))
            continue;
        state->entries.emplace_back();
        FillFindData(w, state->entries.back());
        FillFileId(folder + name, state->entries.back());
    } while (FindNextFileW(h, &w));
    FindClose(h);
    auto key = [](const TFindData& e) { return ToSystemPath(e.cFileName); };
    std::sort(state->entries.begin(), state->entries.end(),
              [&](const TFindData& a, const TFindData& b) { return key(a) < key(b); });
    state_ = std::move(state);
    if (Next(fd))
        return true;
    Close();
    errno = ENOENT;
    return false;
}

bool TFileSearch::Next(TFindData& fd) {
    if (!state_ || state_->next >= state_->entries.size())
        return false;
    fd = state_->entries[state_->next++];
    return true;
}

bool GetFolderId(std::u16string_view path, TFolderId& id) {
    HANDLE h = CreateFileW(win::WidePath(path).c_str(), FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info{};
    bool ok = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    if (!ok)
        return false;
    id.device = info.dwVolumeSerialNumber;
    id.inode = (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

// Windows keeps no listings of its own here: the system gives short names.
void ForgetFolderListings() {}

}  // namespace tessor::platform
