// Reading the last session's directory back, and carrying it into a new
// compilation.
//
// The walk is breadth first over the directory extents, so a directory's
// children follow each other in the entry list and no recursion depth
// depends on the disc. Each directory extent is read once: an extent met a
// second time is a loop. Faults travel as an exception inside this file and
// leave ReadRecordedSession as its message.
#include "engine/builder/SessionImport.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <new>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "engine/builder/ECMA_119.h"
#include "engine/builder/Tree.h"
#include "engine/builder/TreeStorage.h"
#include "engine/platform/ByteOrder.h"
#include "engine/platform/ShortNames.h"
#include "engine/platform/Strings.h"

namespace tessor::builder {

using namespace platform::byte_order;
using R = iso::TDirectoryRecord;
using V = iso::TVolumeDescriptor;

namespace {

struct TFault : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void Fail(const std::string& what) {
    throw TFault(what);
}

std::string Text(std::u16string_view s) {
    return platform::ToSystem(s);
}

std::string Quoted(std::u16string_view path) {
    return "\"" + Text(path.empty() ? std::u16string_view(u"/") : path) + "\"";
}

// Seconds from 1970-01-01 of a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

// ECMA-119 9.1.5: seven bytes, the last the offset from GMT in 15-minute
// steps. A date that is no date (month 0, as some burners leave it) reads
// as 1980-01-01 00:00 UTC, the earliest date the other file systems keep.
platform::TFileTime RecordTime(const uint8_t* t) {
    const unsigned month = t[1], day = t[2], hour = t[3], minute = t[4], second = t[5];
    int64_t seconds = 315532800;  // 1980-01-01
    if (month >= 1 && month <= 12 && day >= 1 && day <= 31 && hour < 24 && minute < 60 &&
        second < 60) {
        const auto offset = static_cast<int8_t>(t[6]);
        seconds = DaysFromCivil(1900 + t[0], month, day) * 86400 + hour * 3600 + minute * 60 +
                  second - (offset >= -48 && offset <= 52 ? offset * 15 * 60 : 0);
    }
    constexpr int64_t kEpochDelta = 11644473600LL;  // seconds from 1601 to 1970
    return static_cast<platform::TFileTime>(seconds + kEpochDelta) * 10000000ull;
}

enum class TNames { Primary, Joliet, Iso1999 };

struct TNode {
    TRecordedEntry entry;
    uint32_t dirBytes = 0;  // a directory's extent length
    uint32_t depth = 0;
};

class TWalker {
public:
    TWalker(const TReadSectors& read, uint32_t discSectors, const TSessionLimits& limits,
            TNames names)
        : read_(read), discSectors_(discSectors), limits_(limits), names_(names) {}

    std::vector<TNode> Walk(const uint8_t* rootRecord) {
        if (rootRecord[0] < R::FixedSize ||
            !(rootRecord[R::FileFlags::Offset] & iso::kFlagDirectory))
            Fail("the root directory's record is damaged");
        const uint32_t root = GetLE32(rootRecord + R::LocationOfExtent::Offset);
        const uint32_t rootBytes = GetLE32(rootRecord + R::DataLength::Offset);
        seen_.insert(root);
        ReadDirectory(root, rootBytes, -1, 0, u"");
        for (size_t i = 0; i < nodes_.size(); ++i) {
            if (!nodes_[i].entry.IsDirectory)
                continue;
            const TNode node = nodes_[i];  // the vector grows below
            if (!seen_.insert(node.entry.Lba).second) {
                Fail("the directory " + Quoted(PathOf(i)) +
                     " points back at a directory already read (a loop)");
            }
            ReadDirectory(node.entry.Lba, node.dirBytes, static_cast<int32_t>(i), node.depth + 1,
                          PathOf(i));
        }
        return std::move(nodes_);
    }

private:
    std::u16string PathOf(size_t i) const {
        std::u16string path;
        for (int32_t at = static_cast<int32_t>(i); at >= 0; at = nodes_[at].entry.Parent)
            path = u"/" + nodes_[at].entry.Name + path;
        return path;
    }

    void CheckExtent(uint32_t lba, uint64_t bytes, const std::u16string& path) const {
        const uint64_t end = uint64_t(lba) + SectorsForBytes(bytes);
        if (end > discSectors_) {
            Fail(Quoted(path) + " lies past the end of the disc (up to sector " +
                 std::to_string(end) + " of " + std::to_string(discSectors_) + ")");
        }
    }

    std::u16string DecodeName(const uint8_t* p, uint32_t length, const std::u16string& dir) const {
        std::u16string name;
        if (names_ == TNames::Joliet) {
            if (length % 2 != 0)
                Fail("a Joliet name in " + Quoted(dir) + " has an odd number of bytes");
            name.reserve(length / 2);
            for (uint32_t i = 0; i < length; i += 2)
                name.push_back(static_cast<char16_t>(GetBE16(p + i)));
        } else {
            name = platform::FromSystem(std::string(reinterpret_cast<const char*>(p), length));
        }
        // The version number after ';' is no part of the name, nor is the
        // dot of a primary name without extension ("README.;1").
        size_t semicolon = name.rfind(u';');
        if (semicolon != std::u16string::npos &&
            std::all_of(name.begin() + static_cast<ptrdiff_t>(semicolon) + 1, name.end(),
                        [](char16_t c) { return c >= u'0' && c <= u'9'; }))
            name.resize(semicolon);
        if (names_ == TNames::Primary && name.size() > 1 && name.back() == u'.')
            name.pop_back();
        const bool bad = name.empty() || name == u"." || name == u".." ||
                         std::any_of(name.begin(), name.end(), [](char16_t c) {
                             return c < 0x20 || c == u'/' || c == u'\\';
                         });
        if (bad) {
            Fail("the name \"" + Text(name) + "\" in " + Quoted(dir) +
                 " breaks the rules of names on a disc");
        }
        return name;
    }

    void Add(TNode node, const std::u16string& dir) {
        if (nodes_.size() >= limits_.MaxEntries)
            Fail("it holds more than " + std::to_string(limits_.MaxEntries) + " entries");
        if (node.entry.IsDirectory) {
            if (++directories_ > limits_.MaxDirectories)
                Fail("it holds more than " + std::to_string(limits_.MaxDirectories) + " folders");
            if (node.depth > limits_.MaxDepth)
                Fail(Quoted(dir) + " lies deeper than " + std::to_string(limits_.MaxDepth) +
                     " folder levels");
        }
        nodes_.push_back(std::move(node));
    }

    void ReadDirectory(uint32_t lba, uint32_t bytes, int32_t parent, uint32_t depth,
                       const std::u16string& path) {
        if (bytes == 0)
            Fail("the directory " + Quoted(path) + " has no extent");
        if (bytes > limits_.MaxDirectoryBytes)
            Fail("the directory " + Quoted(path) + " is " + std::to_string(bytes) +
                 " bytes long, more than any disc needs");
        CheckExtent(lba, bytes, path);
        const auto sectors = static_cast<uint32_t>(SectorsForBytes(bytes));
        buffer_.assign(size_t(sectors) * kSectorSize, 0);
        if (!read_(lba, sectors, buffer_.data()))
            Fail("sectors " + std::to_string(lba) + " to " + std::to_string(lba + sectors - 1) +
                 " cannot be read");

        TNode pending;  // a file of several extents, until its final record
        bool inPieces = false;
        uint32_t nextPiece = 0;
        uint32_t records = 0;
        for (uint32_t pos = 0; pos < bytes;) {
            const uint8_t* p = buffer_.data() + pos;
            const uint32_t length = p[0];
            if (length == 0) {  // the rest of this sector is padding
                pos = (pos / kSectorSize + 1) * kSectorSize;
                continue;
            }
            const uint32_t inSector = pos % kSectorSize;
            if (length < R::FixedSize || inSector + length > kSectorSize || pos + length > bytes)
                Fail("a directory record of " + Quoted(path) + " overruns its sector " +
                     std::to_string(lba + pos / kSectorSize));
            const uint32_t nameLength = p[R::LengthOfFileIdentifier::Offset];
            if (R::FixedSize + nameLength > length)
                Fail("a directory record of " + Quoted(path) + " is shorter than its name");
            pos += length;
            const uint8_t flags = p[R::FileFlags::Offset];
            const uint8_t* name = p + R::FileIdentifier;
            if (records++ < 2 && nameLength == 1 &&
                (name[0] == iso::kCurrentDirectoryIdentifier ||
                 name[0] == iso::kParentDirectoryIdentifier))
                continue;
            if (flags & 0x04)  // an associated file (9.1.6 bit 2): not a file of its own
                continue;

            TNode node;
            node.depth = depth;
            TRecordedEntry& e = node.entry;
            e.Parent = parent;
            e.Name = DecodeName(name, nameLength, path);
            e.IsDirectory = (flags & iso::kFlagDirectory) != 0;
            e.Hidden = (flags & iso::kFlagExistence) != 0;
            e.Lba = GetLE32(p + R::LocationOfExtent::Offset) +
                    p[R::ExtendedAttributeRecordLength::Offset];
            const uint32_t size = GetLE32(p + R::DataLength::Offset);
            e.WriteTime = RecordTime(p + R::RecordingDateAndTime::Offset);
            const std::u16string where = path + u"/" + e.Name;
            if (e.IsDirectory) {
                if (inPieces || (flags & iso::kFlagMultiExtent))
                    Fail("the folder " + Quoted(where) + " is recorded in pieces");
                node.dirBytes = size;
                Add(std::move(node), where);
                continue;
            }
            e.Size = size;
            if (size > 0)
                CheckExtent(e.Lba, size, where);
            const bool more = (flags & iso::kFlagMultiExtent) != 0;
            if (inPieces) {
                // ECMA-119 6.5.1: the next extent of the same file, which
                // goes on its last run when it follows on, else starts a
                // run of its own.
                if (e.Name != pending.entry.Name)
                    Fail(Quoted(path + u"/" + pending.entry.Name) + " ends without its last part");
                std::vector<TRecordedRun>& runs = pending.entry.Runs;
                if (size > 0 && e.Lba == nextPiece) {
                    runs.back().Bytes += size;
                } else if (size > 0) {
                    if (runs.size() >= limits_.MaxFileRuns)
                        Fail(Quoted(where) + " lies in more than " +
                             std::to_string(limits_.MaxFileRuns) + " places");
                    runs.push_back({e.Lba, size});
                }
                pending.entry.Size += size;
            }
            if (more) {
                if (size % kSectorSize != 0)
                    Fail("a part of " + Quoted(where) + " ends inside a sector");
                if (!inPieces) {
                    pending = std::move(node);
                    pending.entry.Runs.push_back({pending.entry.Lba, size});
                }
                inPieces = true;
                const TRecordedRun& last = pending.entry.Runs.back();
                nextPiece = last.Lba + static_cast<uint32_t>(last.Bytes / kSectorSize);
                continue;
            }
            if (inPieces) {
                inPieces = false;
                // A file in one place needs no list of runs; nor do the
                // empty parts of one recorded without data.
                std::vector<TRecordedRun>& runs = pending.entry.Runs;
                runs.erase(std::remove_if(runs.begin(), runs.end(),
                                          [](const TRecordedRun& r) { return r.Bytes == 0; }),
                           runs.end());
                if (runs.size() <= 1)
                    runs.clear();
                else
                    pending.entry.Lba = runs.front().Lba;
                Add(std::move(pending), where);
                pending = TNode();
                continue;
            }
            Add(std::move(node), where);
        }
        if (inPieces)
            Fail(Quoted(path + u"/" + pending.entry.Name) + " ends without its last part");
    }

    const TReadSectors& read_;
    uint32_t discSectors_;
    const TSessionLimits& limits_;
    TNames names_;
    std::vector<TNode> nodes_;
    std::unordered_set<uint32_t> seen_;
    std::vector<uint8_t> buffer_;
    uint32_t directories_ = 0;
};

// The files of a tree by their data, to hold two trees against each other.
struct TData {
    uint32_t lba;
    uint64_t size;
    std::vector<TRecordedRun> runs;
    auto operator<=>(const TData&) const = default;
};
const TRecordedEntry& EntryOf(const TNode& n) {
    return n.entry;
}
const TRecordedEntry& EntryOf(const TRecordedEntry& e) {
    return e;
}

template <typename TList>
std::vector<TData> Extents(const TList& list, size_t& directories) {
    std::vector<TData> out;
    directories = 0;
    for (const auto& item : list) {
        const TRecordedEntry& e = EntryOf(item);
        if (e.IsDirectory)
            ++directories;
        else
            out.push_back({e.Size ? e.Lba : 0, e.Size, e.Runs});
    }
    std::sort(out.begin(), out.end());
    return out;
}

template <typename TList>
void Agree(const std::vector<TNode>& primary, const TList& named, const char* kind) {
    size_t pd = 0, nd = 0;
    const auto pe = Extents(primary, pd);
    const auto ne = Extents(named, nd);
    if (pd != nd || pe.size() != ne.size()) {
        Fail(std::string("the ") + kind + " tree lists " + std::to_string(ne.size()) +
             " files in " + std::to_string(nd) + " folders, the primary tree " +
             std::to_string(pe.size()) + " in " + std::to_string(pd));
    }
    if (pe != ne)
        Fail(std::string("the ") + kind + " tree and the primary tree list different files");
}

// Names the UDF tree keeps where the ISO 9660 trees could not: the 8.3
// names of a volume without Joliet, and Joliet names that other burners cut
// at 64 characters. A file is known in both trees by its data, where those
// belong to it alone; its folders by the files in them (every file in a
// folder must lead to the same UDF folder).
void TakeLongerNames(std::vector<TNode>& nodes, const std::vector<TRecordedEntry>& udf,
                     bool shortNames) {
    using TKey = std::pair<uint32_t, uint64_t>;
    const auto unique = [](const auto& list, auto entryOf) {
        std::map<TKey, int64_t> at;  // -1: more than one
        for (size_t i = 0; i < list.size(); ++i) {
            const TRecordedEntry& e = entryOf(list[i]);
            if (e.IsDirectory || e.Size == 0)
                continue;
            auto [it, fresh] = at.emplace(TKey{e.Lba, e.Size}, static_cast<int64_t>(i));
            if (!fresh)
                it->second = -1;
        }
        return at;
    };
    const auto isoFiles =
        unique(nodes, [](const TNode& n) -> const TRecordedEntry& { return n.entry; });
    const auto udfFiles =
        unique(udf, [](const TRecordedEntry& e) -> const TRecordedEntry& { return e; });
    std::vector<int64_t> match(nodes.size(), -1);  // -2: folders that disagree
    for (const auto& [key, i] : isoFiles) {
        auto u = udfFiles.find(key);
        if (i < 0 || u == udfFiles.end() || u->second < 0)
            continue;
        match[size_t(i)] = u->second;
        for (int32_t a = nodes[size_t(i)].entry.Parent, b = udf[size_t(u->second)].Parent;
             a >= 0 && b >= 0; a = nodes[size_t(a)].entry.Parent, b = udf[size_t(b)].Parent) {
            int64_t& m = match[size_t(a)];
            if (m == -1)
                m = b;
            else if (m != b)
                m = -2;
        }
    }
    for (size_t i = 0; i < nodes.size(); ++i) {
        if (match[i] < 0)
            continue;
        std::u16string& name = nodes[i].entry.Name;
        const std::u16string& longer = udf[size_t(match[i])].Name;
        if (longer.size() <= kMaxLongName && longer != name &&
            (shortNames || (name.size() >= 64 && longer.size() > name.size())))
            name = longer;
    }
}

bool IsJolietEscape(const uint8_t* d) {
    const uint8_t* e = d + V::EscapeSequences::Offset;
    return e[0] == 0x25 && e[1] == 0x2F && (e[2] == 0x40 || e[2] == 0x43 || e[2] == 0x45);
}

void ReadSession(const TReadSectors& read, uint32_t start, uint32_t discSectors,
                 TRecordedSession& out, const TSessionLimits& limits) {
    std::vector<uint8_t> primary, named;
    TNames kind = TNames::Primary;
    std::vector<uint8_t> sector(kSectorSize);
    bool terminated = false;
    for (uint32_t i = 0; i < limits.MaxDescriptors && !terminated; ++i) {
        const uint64_t lba = uint64_t(start) + iso::kFirstVolumeDescriptorSector + i;
        if (lba >= discSectors)
            Fail("its volume descriptors run past the end of the disc");
        if (!read(static_cast<uint32_t>(lba), 1, sector.data()))
            Fail("sector " + std::to_string(lba) + " cannot be read");
        if (std::memcmp(sector.data() + 1, iso::kStandardIdentifier, 5) != 0) {
            if (i == 0)
                Fail("sector " + std::to_string(lba) + " holds no ISO 9660 volume descriptor");
            Fail("its volume descriptors end without a terminator");
        }
        const uint8_t type = sector[0];
        const uint8_t version = sector[V::VolumeDescriptorVersion::Offset];
        if (type == iso::kVolumeDescriptorSetTerminator)
            terminated = true;
        else if (type == iso::kPrimaryVolumeDescriptor && primary.empty())
            primary = sector;
        else if (type == iso::kSupplementaryVolumeDescriptor && version == iso::kVersion &&
                 IsJolietEscape(sector.data()) && kind != TNames::Joliet) {
            named = sector;
            kind = TNames::Joliet;
        } else if (type == iso::kSupplementaryVolumeDescriptor &&
                   version == iso::kEnhancedVersion && kind == TNames::Primary) {
            named = sector;
            kind = TNames::Iso1999;
        }
    }
    if (!terminated)
        Fail("it has more than " + std::to_string(limits.MaxDescriptors) + " volume descriptors");
    if (primary.empty())
        Fail("it has no primary volume descriptor");
    for (const auto* d : {&primary, &named}) {
        if (!d->empty() && GetLE16(d->data() + V::LogicalBlockSize::Offset) != kSectorSize)
            Fail("its blocks are not of 2048 bytes");
    }
    std::vector<TNode> primaryNodes = TWalker(read, discSectors, limits, TNames::Primary)
                                          .Walk(primary.data() + V::RootDirectoryRecord::Offset);
    std::vector<TNode> nodes;
    if (kind != TNames::Primary) {
        nodes = TWalker(read, discSectors, limits, kind)
                    .Walk(named.data() + V::RootDirectoryRecord::Offset);
        Agree(primaryNodes, nodes, kind == TNames::Joliet ? "Joliet" : "ISO 9660:1999");
    }
    // The UDF bridge, where the session has one this reader follows, must
    // list the same files at the same places, in every run of a file of
    // 4 GiB or more.
    std::vector<TRecordedEntry> udf;
    std::string udfError;
    std::pair<uint64_t, uint64_t> partition;
    out.Udf = ReadRecordedUdf(read, start, discSectors, limits, udf, udfError, partition);
    if (!udfError.empty())
        Fail(udfError);
    // A volume grown by another burner after the bridge was written (on
    // overwritable media it keeps the earlier anchor at 256) has files the
    // partition cannot reach: that bridge is an earlier session's.
    const auto inside = [&](uint32_t lba, uint64_t bytes) {
        return lba >= partition.first && lba + SectorsForBytes(bytes) <= partition.second;
    };
    for (const TNode& n : primaryNodes) {
        const TRecordedEntry& e = n.entry;
        if (out.Udf && !e.IsDirectory && e.Size > 0 &&
            (!inside(e.Lba, e.Runs.empty() ? e.Size : 0) ||
             std::any_of(e.Runs.begin(), e.Runs.end(),
                         [&](const TRecordedRun& r) { return !inside(r.Lba, r.Bytes); })))
            out.Udf = false;
    }
    if (out.Udf)
        Agree(primaryNodes, udf, "UDF");
    if (kind == TNames::Primary)
        nodes = std::move(primaryNodes);
    if (out.Udf)
        TakeLongerNames(nodes, udf, kind == TNames::Primary);
    out.Joliet = kind == TNames::Joliet;
    out.Entries.reserve(nodes.size());
    for (TNode& n : nodes)
        out.Entries.push_back(std::move(n.entry));
}

}  // namespace

bool IsBlankSector(const uint8_t* sector) {
    return std::all_of(sector, sector + kSectorSize, [](uint8_t c) { return c == 0; });
}

bool ReadRecordedSession(const TReadSectors& read, uint32_t sessionStart, uint32_t discSectors,
                         TRecordedSession& out, const TSessionLimits& limits) {
    out = TRecordedSession();
    out.Start = sessionStart;
    try {
        ReadSession(read, sessionStart, discSectors, out, limits);
        return true;
    } catch (const TFault& fault) {
        out.Error = std::string(kSessionUnreadable) + fault.what();
    } catch (const std::bad_alloc&) {
        out.Error = std::string(kSessionUnreadable) + "not enough memory for its directory";
    }
    out.Entries.clear();
    return false;
}

// ------------------------------------------------------------------ carrying

namespace {

std::u16string CompilationPathOf(const TDirEntry* dir, std::u16string_view name) {
    std::u16string path(name);
    for (const TDirEntry* d = dir; d && d->Parent != d; d = d->Parent)
        path = d->LongName + u"\\" + path;
    return u"\\" + path;
}

// "name~N.ext" for the second and later of names that differ only in case
// (Linux-made Joliet trees have them; the compilation does not tell them
// apart).
std::u16string Variant(std::u16string_view name, int n) {
    size_t dot = name.rfind(u'.');
    if (dot == std::u16string_view::npos || dot == 0)
        dot = name.size();
    return std::u16string(name.substr(0, dot)) + platform::FromSystem("~" + std::to_string(n)) +
           std::u16string(name.substr(dot));
}

void SetName(char16_t* field, size_t capacity, std::u16string_view text) {
    const size_t n = std::min(text.size(), capacity - 1);
    std::fill(field, field + capacity, u'\0');
    std::copy(text.begin(), text.begin() + static_cast<ptrdiff_t>(n), field);
}

}  // namespace

int32_t CarryRecordedSession(TImageBuilder& b, const TRecordedSession& session) {
    if (!b.RootDir)
        ClearFiles(b);
    // Recorded entries come from no file: the add-file handler is for
    // sources.
    TAddFileHandler handler = std::move(b.AddFileHandler);
    b.AddFileHandler = nullptr;
    struct TRestore {
        TImageBuilder& b;
        TAddFileHandler& h;
        ~TRestore() { b.AddFileHandler = std::move(h); }
    } restore{b, handler};

    const std::vector<TRecordedEntry>& entries = session.Entries;
    // The limits are checked before anything is entered, so that a session
    // too large for the compilation leaves it as it was.
    const auto folders = static_cast<size_t>(std::count_if(
        entries.begin(), entries.end(), [](const TRecordedEntry& e) { return e.IsDirectory; }));
    if (b.FileTable.size() + entries.size() > static_cast<size_t>(kMaxFileEntries) ||
        b.DirTable.size() + folders > static_cast<size_t>(kMaxDirectories))
        return -1;
    // The directory each recorded folder became; null where it was not
    // carried (its place is taken by a new file), and so neither are its
    // contents.
    std::vector<TDirEntry*> dirs(entries.size(), nullptr);
    int32_t carried = 0;
    std::vector<std::u16string> shortNames;  // of the entries from firstOfFolder on
    size_t firstOfFolder = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        const TRecordedEntry& r = entries[i];
        TDirEntry* dir = r.Parent < 0 ? b.RootDir : dirs[static_cast<size_t>(r.Parent)];
        if (dir == nullptr)
            continue;
        if (i == 0 || entries[i - 1].Parent != r.Parent) {
            // The children of one folder follow each other: their 8.3 names
            // are made together, as a folder listing makes them.
            std::vector<std::string> names;
            for (size_t j = i; j < entries.size() && entries[j].Parent == r.Parent; ++j)
                names.push_back(platform::ToSystem(entries[j].Name));
            shortNames = platform::MakeShortNames(names);
            firstOfFolder = i;
        }
        std::u16string name = r.Name;
        TFileEntry* existing = FindChild(b, dir, name);
        if (existing && existing->Directory && r.IsDirectory) {
            // One folder: the recorded entries go into the compilation's.
            dirs[i] = existing->Directory;
            continue;
        }
        if (existing && !existing->Recorded) {
            // A source of the new compilation takes the recorded entry's place.
            b.SourceNotes.push_back(
                {false,
                 existing->SourcePath.empty() ? CompilationPathOf(dir, name) : existing->SourcePath,
                 existing->LongName,
                 r.IsDirectory ? "replaces the folder of this name in the earlier session"
                               : "replaces the file of this name in the earlier session"});
            continue;
        }
        if (existing) {
            // Another recorded entry of the same name but for letter case.
            std::u16string variant;
            for (int n = 2;; ++n) {
                variant = Variant(r.Name, n);
                if (!FindChild(b, dir, variant))
                    break;
            }
            b.SourceNotes.push_back({false, CompilationPathOf(dir, r.Name), variant,
                                     "another name in its folder of the earlier session differs "
                                     "from this one only in letter case"});
            name = std::move(variant);
        }

        platform::TFindData fd;
        fd.dwFileAttributes = r.IsDirectory ? platform::kAttrDirectory : 0;
        if (r.Hidden)
            fd.dwFileAttributes |= platform::kAttrHidden;
        if (fd.dwFileAttributes == 0)
            fd.dwFileAttributes = platform::kAttrNormal;
        fd.ftLastWriteTime = r.WriteTime;
        fd.nFileSizeHigh = static_cast<uint32_t>(r.Size >> 32);
        fd.nFileSizeLow = static_cast<uint32_t>(r.Size);
        SetName(fd.cFileName, std::size(fd.cFileName), name);
        if (name == r.Name && !shortNames[i - firstOfFolder].empty())
            SetName(fd.cAlternateFileName, std::size(fd.cAlternateFileName),
                    shortNames[i - firstOfFolder]);
        TFileEntry* e = AddEntry(b, dir, fd, nullptr);
        if (e == nullptr) {
            // Refused by the compilation (a folder path over its limit): the
            // entry stays on the disc, out of the new session's view.
            b.SourceNotes.push_back({true, CompilationPathOf(dir, name), name,
                                     "the entry of the earlier session cannot be carried forward "
                                     "(its path is too long)"});
            continue;
        }
        if (IsSkip(e))
            continue;
        e->Recorded = 1;
        if (r.IsDirectory)
            dirs[i] = e->Directory;
        else
            e->RecordedLba = r.Lba;
        if (!r.Runs.empty())
            b.Storage->RecordedRuns[e] = r.Runs;
        ++carried;
    }
    return carried;
}

}  // namespace tessor::builder
