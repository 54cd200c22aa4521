// The compilation tree: entries, directories and the operations that fill
// them from the file system.
//
// Choices where the tree has to stay consistent:
// - An entry never changes kind. A name that is already taken by a directory
//   cannot be replaced by a file, nor a file's name by a directory, whatever
//   ReplaceFileFlag says: the addition is refused (none). AddFile of a path
//   that names a folder is refused too; folders come in through AddFolder.
// - A directory whose own entry is skipped (by the add-file handler or by the
//   name-length limit) is not linked into the tree; the making step returns
//   DirSkipMarker() and AddFolder leaves that subfolder out.
// - When the handler renames a directory's find data, the handler's names win
//   for both the directory's entry and the directory itself.
// - Limits are refused, never overrun: a full FileTable or directory table, a
//   compilation path over 2,047 characters or a source path over 4,095
//   characters gives none.
// - Volume labels are cut to 31 UTF-16 units (never between the halves of a
//   surrogate pair) and 95 bytes of UTF-8 (never inside a character).
// - Source paths use the platform's separator ('/'). KeepSourcePath keeps a
//   POSIX path below "/" (/home/ann/Photos gives home\ann\Photos), a
//   relative path as given, and the drive-letter and server-and-share forms
//   by their Windows rules. A folder reached again through a symbolic link
//   while it is still being added is not descended into (nor added).
// - An entry refreshed in place (ReplaceFileFlag) clears Prepared too: its
//   size or source may have changed.
#include "engine/builder/Tree.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

#include "engine/builder/ECMA_119.h"
#include "engine/builder/SysUtilsW.h"
#include "engine/builder/TreeStorage.h"
#include "engine/platform/File.h"
#include "engine/platform/Strings.h"
#include "engine/platform/Time.h"

namespace tessor::builder {

using platform::kAttrDirectory;
using platform::kPathSeparator;
using platform::TFindData;

TImageBuilder::TImageBuilder() : Storage(std::make_unique<TTreeStorage>()) {}
TImageBuilder::~TImageBuilder() = default;

TFileEntry* SkipMarker() {
    static TFileEntry marker;
    return &marker;
}

TDirEntry* DirSkipMarker() {
    static TDirEntry marker;
    return &marker;
}

// ---------------------------------------------------------------- name index

uint32_t TNameIndex::HashName(std::u16string_view name) {
    // FNV-1a over the case-folded units.
    std::u16string folded = platform::FoldCase(name);
    uint32_t h = 2166136261u;
    for (char16_t c : folded) {
        h ^= static_cast<uint32_t>(c);
        h *= 16777619u;
    }
    return h;
}

size_t TNameIndex::Mix(const TDirEntry* dir, uint32_t hash) {
    uint64_t x = reinterpret_cast<uintptr_t>(dir) * 0x9E3779B97F4A7C15ull ^ hash;
    x ^= x >> 29;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 32;
    return static_cast<size_t>(x);
}

void TNameIndex::Clear() {
    std::vector<TFileEntry*>().swap(slots_);
    used_ = 0;
}

void TNameIndex::Grow() {
    std::vector<TFileEntry*> old;
    old.swap(slots_);
    slots_.assign(old.empty() ? 1024 : old.size() * 2, nullptr);
    used_ = 0;
    for (TFileEntry* e : old)
        if (e)
            Insert(e);
}

void TNameIndex::Insert(TFileEntry* entry) {
    if ((used_ + 1) * 2 > slots_.size())
        Grow();
    size_t mask = slots_.size() - 1;
    size_t i = Mix(entry->Owner, entry->NameHash) & mask;
    while (slots_[i])
        i = (i + 1) & mask;
    slots_[i] = entry;
    ++used_;
}

TFileEntry* TNameIndex::Find(const TDirEntry* dir, std::u16string_view name, uint32_t hash) const {
    if (slots_.empty())
        return nullptr;
    size_t mask = slots_.size() - 1;
    for (size_t i = Mix(dir, hash) & mask; slots_[i]; i = (i + 1) & mask) {
        TFileEntry* e = slots_[i];
        if (e->Owner == dir && e->NameHash == hash &&
            platform::CompareTextCI(e->LongName, name) == 0)
            return e;
    }
    return nullptr;
}

// ------------------------------------------------------------------- helpers

namespace {

std::u16string_view FindName(const TFindData& fd) {
    return FieldText(fd.cFileName, 260);
}
std::u16string_view AltName(const TFindData& fd) {
    return FieldText(fd.cAlternateFileName, 14);
}

void SetField(char16_t* field, size_t capacity, std::u16string_view text) {
    std::u16string_view cut = CutUtf16(text, capacity - 1);
    std::memset(field, 0, capacity * sizeof(char16_t));
    std::memcpy(field, cut.data(), cut.size() * sizeof(char16_t));
}

// Stores the 8.3 name in a 16-byte field: converted to the system code page
// and cut at a character boundary so that it fits with its terminator (and
// with the '.' a file name without one receives). Returns the bytes stored.
uint8_t StoreShortName(char (&field)[16], std::u16string_view alt, bool reserveDot) {
    std::string narrow = platform::ToSystem(alt);
    std::string_view cut = CutUtf8(narrow, reserveDot ? 14 : 15);
    std::memset(field, 0, sizeof field);
    std::memcpy(field, cut.data(), cut.size());
    return static_cast<uint8_t>(cut.size());
}

// Characters of a directory's compilation path ("\A\B\" has 5).
size_t DirPathLength(const TDirEntry* dir) {
    size_t n = 1;
    for (const TDirEntry* d = dir; d && d->Parent != d; d = d->Parent)
        n += d->LongName.size() + 1;
    return n;
}

bool IsDotName(std::u16string_view name) {
    return name == u"." || name == u"..";
}

TFindData DirFindData(std::u16string_view name) {
    TFindData fd;
    fd.dwFileAttributes = kAttrDirectory;
    fd.ftLastWriteTime = platform::CurrentFileTime();
    SetField(fd.cFileName, 260, name);
    SetField(fd.cAlternateFileName, 14, CutUtf16(name, 11));
    return fd;
}

// ------------------------------------------------------------- source notes

void Note(TImageBuilder& b, bool leftOut, std::u16string source, std::u16string_view name,
          std::string reason) {
    b.SourceNotes.push_back({leftOut, std::move(source), std::u16string(name), std::move(reason)});
}

// "\A\B\name": where an entry made without a source path lies.
std::u16string CompilationPath(const TDirEntry* dir, std::u16string_view name) {
    std::u16string path(name);
    for (const TDirEntry* d = dir; d && d->Parent != d; d = d->Parent)
        path = d->LongName + u"\\" + path;
    return u"\\" + path;
}

// Where the extension of a name begins (its dot); the end when it has none.
size_t ExtensionStart(std::u16string_view name) {
    size_t dot = name.rfind(u'.');
    return dot == std::u16string_view::npos || dot == 0 ? name.size() : dot;
}

// "name~N.ext": a name for a case variant, in the short names' manner.
std::u16string CaseVariant(std::u16string_view name, int n) {
    size_t ext = ExtensionStart(name);
    std::u16string marker = platform::FromSystem("~" + std::to_string(n));
    std::u16string_view stem =
        CutUtf16(name.substr(0, ext), static_cast<size_t>(kMaxLongName) - marker.size() -
                                          std::min<size_t>(name.size() - ext, 100));
    return std::u16string(stem) + marker + std::u16string(name.substr(ext));
}

bool CanEnterAs(const TFileEntry* e, std::u16string_view name, bool isDir,
                const std::u16string* source) {
    if (e->LongName != name)
        return false;
    if (isDir)
        return e->Directory != nullptr;
    return e->Directory == nullptr && source && e->SourcePath == *source;
}

// Makes the name in fd one the disc can carry, and notes each change: a
// name that is not valid UTF-8 is shown with U+FFFD for each bad byte, and
// a name over the length limit keeps its first 100 characters and its
// extension. A case variant (a name that differs from another in the same
// source folder only in letter case: Linux tells them apart, the disc's
// readers do not) becomes "name~N.ext" instead of meeting its sibling.
// False: the entry cannot be entered (noted).
bool FitDiscName(TImageBuilder& b, TDirEntry* dir, TFindData& fd, const std::u16string* source,
                 bool isDir, bool caseVariant) {
    const std::u16string original(FindName(fd));
    std::u16string name = original;
    auto where = [&] {
        return source && !source->empty() ? *source : CompilationPath(dir, original);
    };
    if (platform::HasEscapedBytes(name)) {
        name = platform::ReplaceEscapedBytes(name);
        Note(b, false, where(), name,
             "the name is not valid UTF-8; each invalid byte is shown as \xEF\xBF\xBD");
    }
    if (name.size() > static_cast<size_t>(kMaxLongName)) {
        size_t ext = ExtensionStart(name);
        std::u16string cut = std::u16string(CutUtf16(name.substr(0, ext), 100)) + name.substr(ext);
        if (cut.size() > static_cast<size_t>(kMaxLongName)) {
            Note(b, true, where(), name, "the name is longer than 217 characters");
            return false;
        }
        name = std::move(cut);
        Note(b, false, where(), name,
             "the name is longer than 217 characters; it keeps its first 100 characters and "
             "its extension");
    }
    TTreeStorage& st = *b.Storage;
    // Only a case variant is looked up here; the caller looks up every name.
    if (caseVariant && st.Index.Find(dir, name, TNameIndex::HashName(name))) {
        std::u16string variant;
        TFileEntry* v = nullptr;
        for (int n = 2;; ++n) {
            variant = CaseVariant(name, n);
            v = st.Index.Find(dir, variant, TNameIndex::HashName(variant));
            if (!v || CanEnterAs(v, variant, isDir, source))
                break;
        }
        name = std::move(variant);
        if (!v) {  // else the same source again, entered and noted before
            Note(b, false, where(), name,
                 "another name in its folder differs from this one only in letter case");
        }
    }
    if (name != original)
        SetField(fd.cFileName, 260, name);
    return true;
}

// A source file that cannot be read is left out now, not found out about
// in the middle of a write.
bool Readable(TImageBuilder& b, const std::u16string& path, const TFindData& fd) {
    int error = fd.ReadError;
    if (error == 0 || (error == TFindData::kReadUnchecked && platform::CanRead(path, error)))
        return true;
    std::u16string_view name = FindName(fd);
    Note(b, true, path, name, std::string("the file cannot be read: ") + std::strerror(error));
    return false;
}

enum class TKind { File, Directory };

struct TAddResult {
    TFileEntry* entry = nullptr;  // null: refused; SkipMarker(): skipped
    bool created = false;
};

// AddEntry with the kind fixed by the caller (the handler cannot turn a file
// into a directory or back) and, for directories, the compilation-path limit
// checked before anything is created.
TAddResult AddEntryImpl(TImageBuilder& b, TDirEntry* dir, TFindData& fd,
                        const std::u16string* sourcePath, TKind kind, bool caseVariant = false) {
    if (!dir || IsSkip(dir))
        return {};
    if (b.AddFileHandler) {
        bool skip = false;
        b.AddFileHandler(nullptr, sourcePath ? sourcePath->c_str() : nullptr, fd, skip);
        if (skip)
            return {SkipMarker(), false};
    }
    if (FindName(fd).empty() || IsDotName(FindName(fd)))
        return {};
    if (!FitDiscName(b, dir, fd, sourcePath, kind == TKind::Directory, caseVariant))
        return {SkipMarker(), false};
    std::u16string_view name = FindName(fd);
    if (kind == TKind::Directory &&
        (name.find(u'\\') != std::u16string_view::npos ||
         DirPathLength(dir) + name.size() + 1 > static_cast<size_t>(kDirPathBuffer - 1)))
        return {};

    TTreeStorage& st = *b.Storage;
    uint32_t hash = TNameIndex::HashName(name);
    TFileEntry* e = st.Index.Find(dir, name, hash);
    bool created = false;
    if (e) {
        bool otherKind = (e->Directory != nullptr) != (kind == TKind::Directory);
        bool otherSource = kind == TKind::File && sourcePath && !sourcePath->empty() &&
                           e->SourcePath != *sourcePath;
        // A file carried from the disc's earlier session gives way to a
        // source of the same name, whatever ReplaceFileFlag says: the new
        // session is there to bring the newer file.
        bool recordedFile = otherSource && e->Recorded && !e->Directory;
        if (!b.ReplaceFileFlag && !recordedFile) {
            if (otherKind || otherSource) {
                Note(b, true, sourcePath ? *sourcePath : CompilationPath(dir, name), name,
                     otherKind ? "the folder already holds an entry of this name"
                               : "the folder already holds a file of this name from " +
                                     platform::ToSystem(e->SourcePath));
            }
            return {e, false};
        }
        if (otherKind)
            return {};
        if (recordedFile) {
            Note(b, false, *sourcePath, name,
                 "replaces the file of this name in the earlier session");
            e->Recorded = 0;
            e->RecordedLba = 0;
        } else if (otherSource) {
            Note(b, true, e->SourcePath, name,
                 "replaced by a later source of the same name, " + platform::ToSystem(*sourcePath));
        }
        // Refreshed in place: same slot in FileTable and in the child list,
        // but its size and source may have changed, so the layout is stale.
        b.Prepared = 0;
    } else {
        if (b.FileCount >= kMaxFileEntries)
            return {};
        e = &st.Files.Add();
        e->Owner = dir;
        e->NameHash = hash;
        b.FileTable.push_back(e);
        b.FileCount = static_cast<int32_t>(b.FileTable.size());
        b.Prepared = 0;
        if (dir->LastChild)
            dir->LastChild->NextSibling = e;
        else
            dir->FirstChild = e;
        dir->LastChild = e;
        st.Index.Insert(e);
        created = true;
    }

    std::u16string_view alt = AltName(fd);
    if (alt.empty())
        alt = CutUtf16(name, 12);
    bool isDir = kind == TKind::Directory;
    bool addDot = !isDir && alt.find(u'.') == std::u16string_view::npos;
    e->LongNameLength = static_cast<uint8_t>(name.size());
    e->WriteTime = platform::FileTimeToLocalSystemTime(fd.ftLastWriteTime);
    e->ShortNameLength = StoreShortName(e->ShortName, alt, addDot);
    // FirstLongName stays null while it would equal LongName (saving a copy
    // of every name); it is made the moment a refresh changes LongName.
    if (!created && !e->FirstLongName && e->LongName != name)
        e->FirstLongName = std::make_unique<const std::u16string>(e->LongName);
    e->LongName.assign(name);
    e->Size = (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
    e->SourceDevice = fd.Device;
    e->SourceInode = fd.Inode;
    if (addDot) {
        e->ShortName[e->ShortNameLength] = '.';
        e->ShortNameLength += 1;
    }
    if (!sourcePath)
        e->SourcePath.clear();
    else if (!sourcePath->empty())
        e->SourcePath = *sourcePath;
    if (isDir) {
        e->Size = 0;  // a directory's size is that of its extents, set by the layout
        e->SourcePath.clear();
        e->SourcePath.shrink_to_fit();
    }
    e->DataLba = 0;
    e->Attributes =
        isDir ? (fd.dwFileAttributes | kAttrDirectory) : (fd.dwFileAttributes & ~kAttrDirectory);
    return {e, created};
}

// Makes (or finds) the directory named by fd under parent. The handler's
// names, if it changed them, are the directory's names.
TDirEntry* MakeDirectory(TImageBuilder& b, TDirEntry* parent, TFindData& fd,
                         bool caseVariant = false) {
    if (!parent || IsSkip(parent))
        return nullptr;
    TTreeStorage& st = *b.Storage;
    std::u16string_view given = FindName(fd);
    if (!caseVariant)
        if (TFileEntry* existing = st.Index.Find(parent, given, TNameIndex::HashName(given)))
            if (existing->Directory)
                return existing->Directory;
    if (b.DirCount >= kMaxDirectories)
        return nullptr;

    TAddResult r = AddEntryImpl(b, parent, fd, nullptr, TKind::Directory, caseVariant);
    if (!r.entry)
        return nullptr;
    if (IsSkip(r.entry))
        return DirSkipMarker();
    TFileEntry* e = r.entry;
    if (!r.created) {
        // The handler renamed it to a name that is already taken.
        if (!e->Directory)
            return nullptr;  // by a file: a directory cannot take its place
        e->Directory->LongName = e->LongName;
        e->Directory->LongNameLength = e->LongNameLength;
        return e->Directory;
    }

    TDirEntry* d = &st.Dirs.Add();
    b.DirTable.push_back(d);
    b.PathTableOrder.push_back(d);
    b.DirCount = static_cast<int32_t>(b.DirTable.size());
    b.Prepared = 0;
    e->Directory = d;
    d->Entry = e;
    d->Parent = parent;
    std::u16string_view name = FindName(fd);
    std::u16string_view alt = AltName(fd);
    if (alt.empty())
        alt = CutUtf16(name, 12);
    d->ShortNameLength = StoreShortName(d->ShortName, alt, false);
    if (d->ShortNameLength == 0) {
        std::memcpy(d->ShortName, "________.___", 13);
        d->ShortNameLength = 12;
    }
    for (char& c : d->ShortName)
        c = AsciiUpper(c);
    d->LongName.assign(name);
    d->LongNameLength = static_cast<uint8_t>(name.size());
    return d;
}

bool IsSeparator(char16_t c) {
    return c == kPathSeparator;
}

std::u16string JoinSource(std::u16string_view dir, std::u16string_view name) {
    std::u16string path(dir);
    if (path.empty() || !IsSeparator(path.back()))
        path.push_back(kPathSeparator);
    path.append(name);
    return path;
}

bool IsDriveForm(std::u16string_view p) {
    return p.size() >= 2 && p[1] == u':' &&
           ((p[0] >= u'A' && p[0] <= u'Z') || (p[0] >= u'a' && p[0] <= u'z'));
}

// The part of a source folder's path that KeepSourcePath recreates, and the
// characters that separate its components.
std::u16string_view RelativeSourcePath(std::u16string_view src, std::u16string_view& separators) {
    if (IsDriveForm(src)) {
        separators = u"\\/";
        return src.substr(2);
    }
    if (src.size() >= 2 && src[0] == u'\\' && src[1] == u'\\') {
        separators = u"\\/";
        std::u16string_view rest = src.substr(2);
        for (int i = 0; i < 2; ++i) {
            size_t p = rest.find(u'\\');
            if (p != std::u16string_view::npos)
                rest = rest.substr(p + 1);
        }
        return rest;
    }
    // POSIX forms: an absolute path keeps everything below "/", a relative
    // path is kept as given.
    separators = u"/";
    size_t i = 0;
    while (i < src.size() && src[i] == u'/')
        ++i;
    return src.substr(i);
}

// What a folder listing keeps of a file until the folder's subfolders are
// done: far less than a whole find-data record per file.
struct TListedFile {
    std::u16string name;
    std::u16string alt;
    uint64_t size;
    platform::TFileTime writeTime;
    platform::TFileTime creationTime;
    platform::TFileTime accessTime;
    uint32_t attributes;
    uint64_t device;
    uint64_t inode;
    int readError;
};

TFindData ToFindData(const TListedFile& f) {
    TFindData fd;
    fd.dwFileAttributes = f.attributes;
    fd.ftLastWriteTime = f.writeTime;
    fd.ftCreationTime = f.creationTime;
    fd.ftLastAccessTime = f.accessTime;
    fd.nFileSizeHigh = static_cast<uint32_t>(f.size >> 32);
    fd.nFileSizeLow = static_cast<uint32_t>(f.size);
    SetField(fd.cFileName, 260, f.name);
    SetField(fd.cAlternateFileName, 14, f.alt);
    fd.Device = f.device;
    fd.Inode = f.inode;
    fd.ReadError = f.readError;
    return fd;
}

// A folder whose listing fails (not an empty one) is noted: it stays on
// the disc, but without what it holds.
void NoteUnlisted(TImageBuilder& b, const std::u16string& folder, bool listed) {
    int error = errno;
    if (listed || error == ENOENT)
        return;
    size_t slash = folder.rfind(kPathSeparator);
    Note(b, true, folder, slash == std::u16string::npos ? folder : folder.substr(slash + 1),
         std::string("the folder's content cannot be read: ") + std::strerror(error));
}

TAddResult AddListedFile(TImageBuilder& b, TDirEntry* target, const std::u16string& sourceDir,
                         TFindData& fd, bool caseVariant = false) {
    std::u16string path = JoinSource(sourceDir, FindName(fd));
    if (path.size() > static_cast<size_t>(kSourcePathBuffer - 1))
        return {};
    if (!Readable(b, path, fd))
        return {SkipMarker(), false};
    return AddEntryImpl(b, target, fd, &path, TKind::File, caseVariant);
}

// Names of one folder listing that differ only in letter case: every one
// after the first is a case variant. The folded names sit end to end in one
// buffer, found through an open-addressed table of their hashes, so that a
// folder of many thousand names costs no allocation per name.
class TCaseSeen {
public:
    bool Repeated(std::u16string_view name) {
        if (2 * (count_ + 1) > slots_.size())
            Grow();
        const size_t start = text_.size();
        uint64_t hash = 0xcbf29ce484222325ULL;  // FNV-1a
        for (char16_t u : name) {
            char16_t f = platform::FoldUnit(u);
            text_.push_back(f);
            hash = (hash ^ f) * 0x100000001b3ULL;
        }
        const std::u16string_view folded(text_.data() + start, name.size());
        const size_t mask = slots_.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            TSlot& s = slots_[i];
            if (s.length == kEmpty) {
                s = {hash, static_cast<uint32_t>(start), static_cast<uint32_t>(name.size())};
                ++count_;
                return false;
            }
            if (s.hash == hash && s.length == name.size() &&
                std::u16string_view(text_.data() + s.offset, s.length) == folded) {
                text_.resize(start);
                return true;
            }
        }
    }

private:
    static constexpr uint32_t kEmpty = UINT32_MAX;
    struct TSlot {
        uint64_t hash = 0;
        uint32_t offset = 0;
        uint32_t length = kEmpty;
    };

    void Grow() {
        std::vector<TSlot> old = std::move(slots_);
        slots_.assign(std::max<size_t>(64, old.size() * 2), TSlot{});
        const size_t mask = slots_.size() - 1;
        for (const TSlot& s : old) {
            if (s.length == kEmpty)
                continue;
            size_t i = s.hash & mask;
            while (slots_[i].length != kEmpty)
                i = (i + 1) & mask;
            slots_[i] = s;
        }
    }

    std::u16string text_;
    std::vector<TSlot> slots_;
    size_t count_ = 0;
};

// Steps 4 to 6 of AddFolder for one source folder, from one listing of it:
// its subfolders (each complete, depth first) and then its files matching
// the mask. `ancestors` holds the identities of the folders on the current
// recursion path.
TDirEntry* AddFolderContents(TImageBuilder& b, TDirEntry* target, const std::u16string& sourceDir,
                             std::u16string_view mask, bool recursive,
                             std::vector<platform::TFolderId>& ancestors) {
    if (!recursive) {
        // No subfolders to wait for: files go in as the search returns them.
        platform::TFileSearch search;
        TFindData fd;
        bool ok = search.First(JoinSource(sourceDir, mask), fd);
        NoteUnlisted(b, sourceDir, ok);
        TCaseSeen seen;
        for (; ok; ok = search.Next(fd)) {
            if (fd.dwFileAttributes & kAttrDirectory)
                continue;
            if (!AddListedFile(b, target, sourceDir, fd, seen.Repeated(FindName(fd))).entry)
                return nullptr;
        }
        return target;
    }
    std::vector<TFindData> folders;
    std::vector<TListedFile> files;
    {
        platform::TFileSearch search;
        TFindData fd;
        bool ok = search.First(JoinSource(sourceDir, u"*.*"), fd);
        NoteUnlisted(b, sourceDir, ok);
        for (; ok; ok = search.Next(fd)) {
            if (fd.dwFileAttributes & kAttrDirectory) {
                if (!IsDotName(FindName(fd)))
                    folders.push_back(fd);
            } else if (platform::MatchesMask(FindName(fd), mask)) {
                files.push_back({std::u16string(FindName(fd)), std::u16string(AltName(fd)),
                                 (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow,
                                 fd.ftLastWriteTime, fd.ftCreationTime, fd.ftLastAccessTime,
                                 fd.dwFileAttributes, fd.Device, fd.Inode, fd.ReadError});
            }
        }
    }
    TCaseSeen seen;
    for (TFindData& fd : folders) {
        bool caseVariant = seen.Repeated(FindName(fd));
        std::u16string subPath = JoinSource(sourceDir, FindName(fd));
        if (subPath.size() > static_cast<size_t>(kSourcePathBuffer - 1))
            return nullptr;
        platform::TFolderId id;
        bool haveId = platform::GetFolderId(subPath, id);
        bool onPath = false;
        for (const auto& a : ancestors)
            onPath = onPath || (haveId && a == id);
        if (onPath)
            continue;  // a link back into a folder being added: no endless descent
        TDirEntry* sub = MakeDirectory(b, target, fd, caseVariant);
        if (!sub)
            return nullptr;
        if (IsSkip(sub))
            continue;
        if (haveId)
            ancestors.push_back(id);
        TDirEntry* r = AddFolderContents(b, sub, subPath, mask, true, ancestors);
        if (haveId)
            ancestors.pop_back();
        if (!r)
            return nullptr;
    }
    folders.clear();
    folders.shrink_to_fit();
    for (const TListedFile& f : files) {
        TFindData fd = ToFindData(f);
        if (!AddListedFile(b, target, sourceDir, fd, seen.Repeated(f.name)).entry)
            return nullptr;
    }
    return target;
}

}  // namespace

// ----------------------------------------------------------------- operations

void ClearFiles(TImageBuilder& b) {
    platform::TTimeZoneInfo tz;
    int answer = platform::GetTimeZoneInformation(tz);
    if (answer == 0 || answer == 1)
        b.TimeZoneOffset = static_cast<int32_t>(std::floor(-tz.Bias / 15.0));
    else if (answer == 2)
        b.TimeZoneOffset =
            static_cast<int32_t>(std::floor(-tz.Bias / 15.0 - tz.DaylightBias / 15.0));

    if (!b.Storage)
        b.Storage = std::make_unique<TTreeStorage>();
    TTreeStorage& st = *b.Storage;
    st.Index.Clear();
    st.JolietNames.clear();
    st.IsoNames.clear();
    st.Files.Clear();
    st.Dirs.Clear();
    b.FileTable.clear();
    b.DirTable.clear();
    b.PathTableOrder.clear();
    b.FileCount = 0;
    b.DirCount = 0;
    b.HeaderBuffer.reset();
    b.HeaderLength = 0;
    b.Prepared = 0;
    b.SourceNotes.clear();
    b.Smart = TSmartReferences{};

    TDirEntry* root = &st.Dirs.Add();
    root->Parent = root;
    std::memcpy(root->ShortName, "ROOT_DIR", 9);
    root->ShortNameLength = 8;
    b.RootDir = root;
    b.DirTable.push_back(root);
    b.PathTableOrder.push_back(root);
    b.DirCount = 1;
    b.BootImagePath[0] = 0;
    b.BootImageSize = 0;
}

TFileEntry* FindChild(TImageBuilder& b, TDirEntry* dir, std::u16string_view name) {
    if (!dir || IsSkip(dir) || !b.Storage)
        return nullptr;
    return b.Storage->Index.Find(dir, name, TNameIndex::HashName(name));
}

TDirEntry* FindDirectory(TImageBuilder& b, std::u16string_view path) {
    if (!b.RootDir || path.size() > static_cast<size_t>(kDirPathBuffer - 1))
        return nullptr;
    TDirEntry* dir = b.RootDir;
    size_t pos = 0;
    while (true) {
        while (pos < path.size() && path[pos] == u'\\')
            ++pos;
        if (pos >= path.size())
            return dir;
        size_t end = path.find(u'\\', pos);
        if (end == std::u16string_view::npos)
            end = path.size();
        TFileEntry* child = FindChild(b, dir, path.substr(pos, end - pos));
        if (!child || !child->Directory)
            return nullptr;
        dir = child->Directory;
        pos = end;
    }
}

TFileEntry* AddEntry(TImageBuilder& b, TDirEntry* dir, TFindData& fd,
                     const std::u16string* sourcePath) {
    bool isDir = (fd.dwFileAttributes & kAttrDirectory) != 0;
    if (isDir) {
        // A directory's entry comes with its directory, or not at all.
        TDirEntry* d = MakeDirectory(b, dir, fd);
        if (!d)
            return nullptr;
        if (IsSkip(d))
            return SkipMarker();
        return d->Entry;
    }
    return AddEntryImpl(b, dir, fd, sourcePath, TKind::File).entry;
}

TFileEntry* AddFile(TImageBuilder& b, std::u16string_view destPath, std::u16string_view fileName) {
    if (fileName.empty() || fileName.size() > static_cast<size_t>(kSourcePathBuffer - 1))
        return nullptr;
    TFindData fd;
    {
        platform::TFileSearch search;
        if (!search.First(fileName, fd))
            return nullptr;
    }
    if (fd.dwFileAttributes & kAttrDirectory)
        return nullptr;
    if (destPath.size() >= 2 && destPath.back() == u'\\')
        destPath.remove_suffix(1);
    TDirEntry* dir = FindDirectory(b, destPath);
    if (!dir)
        return nullptr;
    std::u16string source(fileName);
    if (!Readable(b, source, fd))
        return SkipMarker();
    return AddEntryImpl(b, dir, fd, &source, TKind::File).entry;
}

TDirEntry* CreateDir(TImageBuilder& b, std::u16string_view destPath, std::u16string_view name) {
    if (name.empty() || name.find(u'\\') != std::u16string_view::npos)
        return nullptr;
    TFindData fd = DirFindData(name);
    if (name.size() >= 260) {
        // Longer than the find data can carry: over the name limit in any case.
        return DirSkipMarker();
    }
    TDirEntry* parent = FindDirectory(b, destPath);
    if (!parent)
        return nullptr;
    return MakeDirectory(b, parent, fd);
}

TDirEntry* AddFolder(TImageBuilder& b, std::u16string_view destPath, std::u16string_view sourceDir,
                     std::u16string_view mask, bool recursive, bool keepSourcePath) {
    TDirEntry* target = FindDirectory(b, destPath);
    if (!target)
        return nullptr;
    // One trailing separator goes: '/' here, and '\' too in the Windows
    // drive-letter and server-and-share forms.
    bool windowsForm = IsDriveForm(sourceDir) ||
                       (sourceDir.size() >= 2 && sourceDir[0] == u'\\' && sourceDir[1] == u'\\');
    if (sourceDir.size() > 1 &&
        (IsSeparator(sourceDir.back()) || (windowsForm && sourceDir.back() == u'\\')))
        sourceDir.remove_suffix(1);
    if (sourceDir.empty() || sourceDir.size() > static_cast<size_t>(kSourcePathBuffer - 1))
        return nullptr;

    if (keepSourcePath && sourceDir.size() > 2) {
        std::u16string_view separators;
        std::u16string_view rel = RelativeSourcePath(sourceDir, separators);
        if (rel == u"\\") {
            target = b.RootDir;
        } else {
            size_t pos = 0;
            while (pos < rel.size()) {
                size_t end = rel.find_first_of(separators, pos);
                if (end == std::u16string_view::npos)
                    end = rel.size();
                if (end > pos) {
                    TFindData fd = DirFindData(rel.substr(pos, end - pos));
                    target = end - pos >= 260 ? DirSkipMarker() : MakeDirectory(b, target, fd);
                    if (!target)
                        return nullptr;
                    if (IsSkip(target))
                        return target;
                }
                pos = end + 1;
            }
        }
    }

    std::vector<platform::TFolderId> ancestors;
    platform::TFolderId id;
    if (platform::GetFolderId(sourceDir, id))
        ancestors.push_back(id);
    return AddFolderContents(b, target, std::u16string(sourceDir), mask, recursive, ancestors);
}

bool SetBootImage(TImageBuilder& b, const char* path) {
    b.BootImagePath[0] = 0;
    if (!path || !*path)
        return true;
    size_t length = std::strlen(path);
    if (length >= sizeof b.BootImagePath)
        return false;
    platform::TFile file;
    if (!file.OpenReadNarrow(path))
        return false;
    int64_t size = file.Size();
    if (iso::FindBootImageKind(size) == nullptr)
        return false;
    b.BootImageSize = static_cast<int32_t>(size);
    std::memcpy(b.BootImagePath, path, length + 1);
    return true;
}

const char* GetBootImage(const TImageBuilder& b) {
    return b.BootImagePath;
}

namespace {

void StoreLabels(TImageBuilder& b, std::u16string_view wide, std::string_view narrow) {
    std::u16string_view w = CutUtf16(wide, 31);
    std::memset(b.VolumeLabelW, 0, sizeof b.VolumeLabelW);
    std::copy(w.begin(), w.end(), b.VolumeLabelW);
    std::string_view a = CutUtf8(narrow, 95);
    std::memset(b.VolumeLabelA, 0, sizeof b.VolumeLabelA);
    std::copy(a.begin(), a.end(), b.VolumeLabelA);
}

}  // namespace

void SetVolumeLabel(TImageBuilder& b, const char* label) {
    std::string_view text = label ? std::string_view(label) : std::string_view();
    StoreLabels(b, platform::FromSystem(text), text);
}

void SetVolumeLabelW(TImageBuilder& b, std::u16string_view label) {
    StoreLabels(b, label, platform::ToSystem(label));
}

const char* GetVolumeLabel(const TImageBuilder& b) {
    return b.VolumeLabelA;
}

const std::u16string& FirstName(const TFileEntry& e) {
    return e.FirstLongName ? *e.FirstLongName : e.LongName;
}

}  // namespace tessor::builder
