// Directory search over opendir/readdir/fstatat, shaped like the Windows
// FindFirstFile family.
#include "engine/platform/FileSearch.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <list>
#include <mutex>
#include <vector>

#include "engine/platform/ShortNames.h"
#include "engine/platform/Strings.h"

namespace tessor::platform {

namespace {

// Seconds from 1601-01-01 to 1970-01-01.
constexpr int64_t kEpochDelta = 11644473600LL;

TFileTime ToFileTime(const struct timespec& ts) {
    int64_t seconds = static_cast<int64_t>(ts.tv_sec) + kEpochDelta;
    if (seconds < 0)
        return 0;
    return static_cast<TFileTime>(seconds) * 10000000ULL + static_cast<TFileTime>(ts.tv_nsec / 100);
}

// Names of one folder and their alternate names. Keyed by the folder's
// identity and change times; a folder changed since the listing has a newer
// mtime and so misses the cache.
struct TFolderNames {
    dev_t device = 0;
    ino_t inode = 0;
    struct timespec mtime {};
    struct timespec ctime {};
    std::vector<std::string> names;          // as listed, "." and ".." included
    std::vector<std::u16string> shortNames;  // of names[i], or empty
};

bool SameTime(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// A listing is only trusted later when the folder's mtime lies clearly
// before the moment it was read: file systems stamp changes with a coarse
// clock, so a change just after the listing could carry the same mtime.
constexpr int64_t kSettleNs = 100'000'000;

bool SettledBefore(const struct timespec& mtime, const struct timespec& listedAt) {
    int64_t diff = (static_cast<int64_t>(listedAt.tv_sec) - mtime.tv_sec) * 1'000'000'000LL +
                   (listedAt.tv_nsec - mtime.tv_nsec);
    return diff > kSettleNs;
}

// Reads every name of the open folder dirFd (the descriptor stays open).
bool ReadNames(int dirFd, std::vector<std::string>& names) {
    int dupFd = fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
    if (dupFd < 0)
        return false;
    DIR* dir = fdopendir(dupFd);
    if (!dir) {
        close(dupFd);
        return false;
    }
    rewinddir(dir);
    errno = 0;
    while (dirent* entry = readdir(dir))
        names.emplace_back(entry->d_name);
    bool ok = errno == 0;
    closedir(dir);
    std::sort(names.begin(), names.end());
    return ok;
}

// A few recently listed folders, so that adding the files of one folder one
// by one lists the folder once, not once per file.
class TFolderCache {
public:
    std::shared_ptr<const TFolderNames> Get(int dirFd, const struct stat& st) {
        {
            std::lock_guard lock(mutex_);
            for (auto it = entries_.begin(); it != entries_.end(); ++it) {
                const TFolderNames& f = **it;
                if (f.device == st.st_dev && f.inode == st.st_ino &&
                    SameTime(f.mtime, st.st_mtim) && SameTime(f.ctime, st.st_ctim)) {
                    entries_.splice(entries_.begin(), entries_, it);
                    return entries_.front();
                }
            }
        }
        return List(dirFd, st);
    }

    std::shared_ptr<const TFolderNames> List(int dirFd, const struct stat& st) {
        struct timespec listedAt {};
        clock_gettime(CLOCK_REALTIME, &listedAt);
        auto folder = std::make_shared<TFolderNames>();
        folder->device = st.st_dev;
        folder->inode = st.st_ino;
        folder->mtime = st.st_mtim;
        folder->ctime = st.st_ctim;
        if (!ReadNames(dirFd, folder->names))
            return nullptr;
        folder->shortNames = MakeShortNames(folder->names);
        if (SettledBefore(st.st_mtim, listedAt)) {
            std::lock_guard lock(mutex_);
            entries_.remove_if(
                [&](const auto& f) { return f->device == st.st_dev && f->inode == st.st_ino; });
            entries_.push_front(folder);
            if (entries_.size() > kCapacity)
                entries_.pop_back();
        }
        return folder;
    }

    void Clear() {
        std::lock_guard lock(mutex_);
        entries_.clear();
    }

private:
    static constexpr size_t kCapacity = 8;
    std::mutex mutex_;
    std::list<std::shared_ptr<const TFolderNames>> entries_;
};

TFolderCache& FolderCache() {
    static TFolderCache cache;
    return cache;
}

bool HasWildcard(std::u16string_view s) {
    return s.find_first_of(u"*?") != std::u16string_view::npos;
}

// Fills fd for one entry. False when the entry is not a regular file or a
// folder, or when its name does not fit.
bool FillFindData(const std::string& name, const struct stat& st, const std::u16string& shortName,
                  TFindData& fd) {
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
        return false;
    // A name that is not valid UTF-8 keeps its bytes as escapes (see
    // FromSystemPath), so it can be opened again. A name of more than 259
    // UTF-16 units would not fit cFileName; Linux names stop at 255 bytes.
    std::u16string wide = FromSystemPath(name);
    if (wide.size() >= std::size(fd.cFileName))
        return false;

    fd = TFindData{};
    uint32_t attributes = 0;
    if (S_ISDIR(st.st_mode))
        attributes |= kAttrDirectory;
    if (name[0] == '.' && name != "." && name != "..")
        attributes |= kAttrHidden;
    if (!(st.st_mode & S_IWUSR))
        attributes |= kAttrReadOnly;
    if (attributes == 0)
        attributes = kAttrNormal;
    fd.dwFileAttributes = attributes;
    // Linux keeps no creation time that stat reports; the last write stands in.
    fd.ftCreationTime = ToFileTime(st.st_mtim);
    fd.ftLastAccessTime = ToFileTime(st.st_atim);
    fd.ftLastWriteTime = ToFileTime(st.st_mtim);
    if (S_ISREG(st.st_mode)) {
        auto size = static_cast<uint64_t>(st.st_size);
        fd.nFileSizeHigh = static_cast<uint32_t>(size >> 32);
        fd.nFileSizeLow = static_cast<uint32_t>(size & 0xFFFFFFFFu);
        fd.Device = static_cast<uint64_t>(st.st_dev);
        fd.Inode = static_cast<uint64_t>(st.st_ino);
    }
    std::copy(wide.begin(), wide.end(), fd.cFileName);
    if (shortName.size() < std::size(fd.cAlternateFileName))
        std::copy(shortName.begin(), shortName.end(), fd.cAlternateFileName);
    return true;
}

// Whether a regular file may be read, asked relative to its open folder:
// far cheaper than the same question by full path once the listing is done.
void CheckRead(int dirFd, const std::string& name, const struct stat& st, TFindData& fd) {
    if (!S_ISREG(st.st_mode))
        return;
    fd.ReadError = faccessat(dirFd, name.c_str(), R_OK, 0) == 0 ? 0 : errno;
}

// Splits a UTF-8 path into its folder and last component. Trailing
// separators are ignored; the folder of a bare name is ".".
void SplitPath(const std::string& path, std::string& folder, std::string& last) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    size_t slash = p.rfind('/');
    if (slash == std::string::npos) {
        folder.assign(1, '.');
        last = p;
    } else {
        // assign(count, char) rather than a string literal: g++ 12 reports
        // a false -Wrestrict on the literal form here.
        if (slash == 0) {
            folder.assign(1, '/');
        } else {
            folder = p.substr(0, slash);
        }
        last = p.substr(slash + 1);
    }
}

}  // namespace

struct TFileSearch::State {
    int dirFd = -1;
    std::shared_ptr<const TFolderNames> folder;
    std::u16string mask;
    bool matchAll = false;  // "*" or "*.*": no name need be matched
    size_t next = 0;

    ~State() {
        if (dirFd >= 0)
            close(dirFd);
    }
};

TFileSearch::TFileSearch() = default;
TFileSearch::~TFileSearch() = default;

void TFileSearch::Close() {
    state_.reset();
}

bool TFileSearch::First(std::u16string_view pattern, TFindData& fd) {
    Close();
    std::string path = ToSystemPath(pattern);
    std::string folderPath, last;
    SplitPath(path, folderPath, last);
    if (last.empty() || last == "/") {
        errno = ENOENT;
        return false;
    }

    auto state = std::make_unique<State>();
    state->dirFd = open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (state->dirFd < 0 && errno == EACCES && !HasWildcard(FromSystemPath(last))) {
        // A folder that may be passed through but not listed: its files can
        // still be named one by one (without alternate names).
        state->dirFd = open(folderPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    }
    if (state->dirFd < 0)
        return false;
    struct stat folderStat {};
    if (fstat(state->dirFd, &folderStat) != 0)
        return false;

    std::u16string lastWide = FromSystemPath(last);
    if (!HasWildcard(lastWide)) {
        // One named file or folder. Its alternate name comes from the
        // folder's listing; the cache keeps that cheap for many files.
        struct stat st {};
        if (fstatat(state->dirFd, last.c_str(), &st, 0) != 0)
            return false;
        auto folder = FolderCache().Get(state->dirFd, folderStat);
        auto find = [&] {
            auto it = std::lower_bound(folder->names.begin(), folder->names.end(), last);
            return it != folder->names.end() && *it == last
                       ? static_cast<size_t>(it - folder->names.begin())
                       : folder->names.size();
        };
        size_t index = folder ? find() : 0;
        if (folder && index == folder->names.size()) {
            folder = FolderCache().List(state->dirFd, folderStat);  // named after the listing
            if (folder)
                index = find();
        }
        std::u16string shortName;
        if (folder && index < folder->names.size())
            shortName = folder->shortNames[index];
        if (!FillFindData(last, st, shortName, fd)) {
            errno = ENOENT;
            return false;
        }
        CheckRead(state->dirFd, last, st, fd);
        return true;
    }

    state->folder = FolderCache().List(state->dirFd, folderStat);
    if (!state->folder)
        return false;
    state->matchAll = lastWide == u"*" || lastWide == u"*.*";
    state->mask = std::move(lastWide);
    state_ = std::move(state);
    if (Next(fd))
        return true;
    Close();
    errno = ENOENT;
    return false;
}

bool TFileSearch::Next(TFindData& fd) {
    if (!state_ || !state_->folder)
        return false;
    const std::vector<std::string>& names = state_->folder->names;
    while (state_->next < names.size()) {
        size_t index = state_->next++;
        const std::string& name = names[index];
        if (!state_->matchAll && !MatchesMask(FromSystemPath(name), state_->mask))
            continue;
        struct stat st {};
        if (fstatat(state_->dirFd, name.c_str(), &st, 0) != 0)
            continue;  // gone, or a dangling link
        if (FillFindData(name, st, state_->folder->shortNames[index], fd)) {
            CheckRead(state_->dirFd, name, st, fd);
            return true;
        }
    }
    return false;
}

bool GetFolderId(std::u16string_view path, TFolderId& id) {
    struct stat st {};
    if (stat(ToSystemPath(path).c_str(), &st) != 0)
        return false;
    id.device = static_cast<uint64_t>(st.st_dev);
    id.inode = static_cast<uint64_t>(st.st_ino);
    return true;
}

void ForgetFolderListings() {
    FolderCache().Clear();
}

}  // namespace tessor::platform
