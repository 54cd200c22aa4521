// Reading the UDF bridge of the last session, to hold it against the ISO
// 9660 trees.
//
// The same hostility as the ISO walker: every descriptor's tag is checked,
// every extent is held against the partition and the disc, directories are
// read breadth first with each file entry of a folder read once (a second
// visit is a loop), and the limits of TSessionLimits apply. Features this
// reader does not know (partition maps other than type 1, data inside the
// file entry, extents allocated but not recorded) are no fault: the tree is
// then left unread and the ISO 9660 trees stand alone.
#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <unordered_set>

#include "engine/builder/ECMA_167.h"
#include "engine/builder/SessionImport.h"
#include "engine/builder/Tree.h"
#include "engine/builder/UDF_CRC.h"
#include "engine/platform/ByteOrder.h"
#include "engine/platform/Strings.h"

namespace tessor::builder {

using namespace platform::byte_order;
using namespace udf;

namespace {

struct TFault : std::runtime_error {
    using std::runtime_error::runtime_error;
};
// A feature this reader does not follow: the UDF tree is left unread.
struct TUnknown {};

[[noreturn]] void Fail(const std::string& what) {
    throw TFault(what);
}

std::string Quoted(std::u16string_view path) {
    return "\"" + platform::ToSystem(path.empty() ? std::u16string_view(u"/") : path) + "\"";
}

constexpr uint32_t kAnchorSector = 256;
constexpr uint32_t kChunk = 32;  // sectors read at once: file entries follow each other
constexpr uint32_t kMaxVdsSectors = 64;
constexpr uint32_t kMaxAdBlocks = 4096;  // descriptor blocks of one file
constexpr uint16_t kTagExtendedFileEntry = 266;

// Sectors through a small cache of one aligned chunk.
class TSectors {
public:
    TSectors(const TReadSectors& read, uint32_t discSectors) : read_(read), end_(discSectors) {}

    const uint8_t* At(uint32_t lba) {
        if (lba >= end_)
            Fail("its UDF tree points at sector " + std::to_string(lba) +
                 ", past the end of the disc");
        if (!chunk_.empty() && lba >= first_ && lba < first_ + count_)
            return chunk_.data() + size_t(lba - first_) * kSectorSize;
        first_ = lba / kChunk * kChunk;
        count_ = std::min<uint32_t>(kChunk, end_ - first_);
        chunk_.resize(size_t(count_) * kSectorSize);
        if (!read_(first_, count_, chunk_.data())) {
            first_ = lba;
            count_ = 1;
            if (!read_(lba, 1, chunk_.data())) {
                chunk_.clear();
                Fail("sector " + std::to_string(lba) + " cannot be read");
            }
        }
        return chunk_.data() + size_t(lba - first_) * kSectorSize;
    }

private:
    const TReadSectors& read_;
    uint32_t end_;
    std::vector<uint8_t> chunk_;
    uint32_t first_ = 0, count_ = 0;
};

// ECMA-167 3/7.2: identifier, checksum over the tag, CRC over what follows.
bool GoodTag(const uint8_t* d, uint16_t identifier, size_t room) {
    if (GetLE16(d) != identifier)
        return false;
    uint8_t sum = 0;
    for (int i = 0; i < 16; ++i)
        if (i != 4)
            sum = static_cast<uint8_t>(sum + d[i]);
    if (sum != d[4])
        return false;
    const uint16_t crcLength = GetLE16(d + 10);
    return 16u + crcLength <= room && udf::UdfCrc(d + 16, crcLength) == GetLE16(d + 8);
}

struct TUdfNode {
    TRecordedEntry entry;
    uint32_t icb = 0;  // a folder's file entry (partition block)
    uint32_t depth = 0;
};

class TUdfWalker {
public:
    TUdfWalker(const TReadSectors& read, uint32_t discSectors, const TSessionLimits& limits)
        : sectors_(read, discSectors), discSectors_(discSectors), limits_(limits) {}

    // False when the session has no UDF tree to read.
    bool Walk(uint32_t sessionStart, std::vector<TRecordedEntry>& out) {
        const uint64_t anchorAt = uint64_t(sessionStart) + kAnchorSector;
        std::vector<uint8_t> anchor(kSectorSize, 0);
        if (anchorAt >= UINT32_MAX)
            return false;
        try {
            std::memcpy(anchor.data(), sectors_.At(static_cast<uint32_t>(anchorAt)), kSectorSize);
        } catch (const TFault&) {
            return false;  // no sector there: no bridge
        }
        if (!GoodTag(anchor.data(), kTagAnchorVolumePointer, kSectorSize))
            return false;
        try {
            ReadVolume(anchor.data());
            ReadTree();
        } catch (const TUnknown&) {
            return false;
        }
        out.reserve(nodes_.size());
        for (TUdfNode& n : nodes_)
            out.push_back(std::move(n.entry));
        return true;
    }

    std::pair<uint64_t, uint64_t> Partition() const {
        return {partitionStart_, uint64_t(partitionStart_) + partitionBlocks_};
    }

private:
    void ReadVolume(const uint8_t* anchor) {
        const uint32_t length = GetLE32(anchor + 16), location = GetLE32(anchor + 20);
        const uint32_t count = length / kSectorSize;
        if (count == 0 || count > kMaxVdsSectors)
            Fail("its UDF descriptor sequence is " + std::to_string(length) + " bytes long");
        bool partition = false, volume = false;
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t* d = sectors_.At(location + i);
            const uint16_t tag = GetLE16(d);
            if (tag == kTagTerminating ||
                (tag == 0 && std::all_of(d, d + 16, [](uint8_t c) { return c == 0; })))
                break;
            if (!GoodTag(d, tag, kSectorSize))
                Fail("its UDF descriptor at sector " + std::to_string(location + i) +
                     " is damaged");
            if (tag == kTagPartition && !partition) {
                partition = true;
                partitionNumber_ = GetLE16(d + 22);
                partitionStart_ = GetLE32(d + 188);
                partitionBlocks_ = GetLE32(d + 192);
            } else if (tag == kTagLogicalVolume && !volume) {
                volume = true;
                if (GetLE32(d + 212) != kSectorSize)
                    Fail("its UDF blocks are not of 2048 bytes");
                fileSet_ = GetLE32(d + 252);
                if (GetLE16(d + 256) != 0)
                    throw TUnknown();
                // One partition map of type 1 (UDF 1.50 without virtual,
                // sparable or metadata partitions).
                const uint32_t maps = GetLE32(d + 268);
                const uint8_t* map = d + 440;
                if (maps != 1 || map[0] != 1 || map[1] != 6)
                    throw TUnknown();
                mapPartition_ = GetLE16(map + 4);
            }
        }
        if (!partition || !volume)
            Fail("its UDF descriptor sequence lacks its partition or logical volume");
        if (mapPartition_ != partitionNumber_)
            throw TUnknown();
        const uint8_t* fsd = Block(fileSet_, "its UDF file set descriptor");
        if (!GoodTag(fsd, kTagFileSet, kSectorSize))
            Fail("its UDF file set descriptor is damaged");
        if (GetLE16(fsd + 408) != 0)
            throw TUnknown();
        root_ = GetLE32(fsd + 404);
    }

    // A partition block; the partition and the disc hold it.
    const uint8_t* Block(uint32_t lbn, const std::string& what) {
        if (lbn >= partitionBlocks_)
            Fail(what + " lies outside its UDF partition");
        return sectors_.At(static_cast<uint32_t>(CheckedSector(lbn, 1, what)));
    }

    uint64_t CheckedSector(uint32_t lbn, uint64_t blocks, const std::string& what) const {
        if (uint64_t(lbn) + blocks > partitionBlocks_)
            Fail(what + " lies outside its UDF partition");
        const uint64_t sector = uint64_t(partitionStart_) + lbn;
        if (sector + blocks > discSectors_)
            Fail(what + " lies past the end of the disc (up to sector " +
                 std::to_string(sector + blocks) + " of " + std::to_string(discSectors_) + ")");
        return sector;
    }

    // A file entry's data: its runs in absolute sectors, trimmed to its
    // length. Data inside the entry come back in `embedded`.
    struct TData {
        uint64_t length = 0;
        bool directory = false;
        std::vector<TRecordedRun> runs;
        std::vector<uint8_t> embedded;
        bool inside = false;
    };

    TData ReadEntry(uint32_t lbn, const std::u16string& path) {
        const std::string what = "the UDF file entry of " + Quoted(path);
        const uint8_t* fe = Block(lbn, what);
        const uint16_t tag = GetLE16(fe);
        if (!GoodTag(fe, tag, kSectorSize) ||
            (tag != kTagFileEntry && tag != kTagExtendedFileEntry))
            Fail(what + " is damaged");
        const bool extended = tag == kTagExtendedFileEntry;
        TData data;
        const uint8_t fileType = fe[27];
        if (fileType != 4 && fileType != 5)
            throw TUnknown();  // symbolic links, devices, streams
        data.directory = fileType == 4;
        data.length = GetLE64(fe + 56);
        const uint32_t eaLength = GetLE32(fe + (extended ? 208 : 168));
        const uint32_t adLength = GetLE32(fe + (extended ? 212 : 172));
        const uint32_t adStart = (extended ? 216 : 176) + eaLength;
        if (uint64_t(adStart) + adLength > kSectorSize)
            Fail(what + " overruns its block");
        const unsigned adType = GetLE16(fe + 34) & 7;
        if (adType == 3) {
            if (data.length > adLength)
                Fail(what + " holds less data than it says");
            data.inside = true;
            data.embedded.assign(fe + adStart, fe + adStart + data.length);
            return data;
        }
        if (adType > 1)
            throw TUnknown();
        const uint32_t adSize = adType == 0 ? 8 : 16;
        std::vector<uint8_t> area(fe + adStart, fe + adStart + adLength);
        uint64_t covered = 0;
        std::unordered_set<uint32_t> chain;
        for (uint32_t block = 0;; ++block) {
            uint32_t next = UINT32_MAX;
            for (size_t at = 0; at + adSize <= area.size(); at += adSize) {
                const uint8_t* ad = area.data() + at;
                const uint32_t raw = GetLE32(ad);
                const uint32_t bytes = raw & 0x3FFFFFFF, kind = raw >> 30;
                if (bytes == 0)
                    break;
                const uint32_t position = GetLE32(ad + 4);
                if (adType == 1 && GetLE16(ad + 8) != 0)
                    throw TUnknown();
                if (kind == 3) {
                    next = position;
                    break;
                }
                if (kind != 0)
                    throw TUnknown();  // allocated or sparse, not recorded
                if (covered >= data.length)
                    continue;  // blocks beyond the length: not its data
                const uint64_t used = std::min<uint64_t>(bytes, data.length - covered);
                const uint64_t sector =
                    CheckedSector(position, SectorsForBytes(bytes), "the data of " + Quoted(path));
                if (!data.runs.empty() &&
                    data.runs.back().Lba + data.runs.back().Bytes / kSectorSize == sector &&
                    data.runs.back().Bytes % kSectorSize == 0)
                    data.runs.back().Bytes += used;
                else if (data.runs.size() >= limits_.MaxFileRuns)
                    Fail(Quoted(path) + " lies in more than " +
                         std::to_string(limits_.MaxFileRuns) + " places in its UDF tree");
                else
                    data.runs.push_back({static_cast<uint32_t>(sector), used});
                covered += used;
            }
            if (next == UINT32_MAX)
                break;
            if (block >= kMaxAdBlocks || !chain.insert(next).second)
                Fail("the allocation descriptors of " + Quoted(path) + " run in a loop");
            const uint8_t* aed = Block(next, what);
            if (!GoodTag(aed, kTagAllocationExtent, kSectorSize) ||
                24u + GetLE32(aed + 20) > kSectorSize)
                Fail("an allocation extent of " + Quoted(path) + " is damaged");
            area.assign(aed + 24, aed + 24 + GetLE32(aed + 20));
        }
        if (covered < data.length)
            Fail(Quoted(path) + " is longer in its UDF tree than its extents");
        return data;
    }

    std::u16string DecodeName(const uint8_t* p, uint32_t length, const std::u16string& dir) {
        std::u16string name;
        if (length > 0 && p[0] == 8) {
            for (uint32_t i = 1; i < length; ++i)
                name.push_back(static_cast<char16_t>(p[i]));
        } else if (length > 0 && p[0] == 16 && length % 2 == 1) {
            for (uint32_t i = 1; i + 1 < length; i += 2)
                name.push_back(static_cast<char16_t>(GetBE16(p + i)));
        } else {
            Fail("a UDF name in " + Quoted(dir) + " is of no known kind");
        }
        if (name.empty() || name == u"." || name == u".." ||
            std::any_of(name.begin(), name.end(), [](char16_t c) { return c == 0 || c == u'/'; }))
            Fail("the UDF name \"" + platform::ToSystem(name) + "\" in " + Quoted(dir) +
                 " breaks the rules of names on a disc");
        return name;
    }

    void Add(TUdfNode node, const std::u16string& where) {
        if (nodes_.size() >= limits_.MaxEntries)
            Fail("its UDF tree holds more than " + std::to_string(limits_.MaxEntries) + " entries");
        if (node.entry.IsDirectory) {
            if (++directories_ > limits_.MaxDirectories)
                Fail("its UDF tree holds more than " + std::to_string(limits_.MaxDirectories) +
                     " folders");
            if (node.depth > limits_.MaxDepth)
                Fail(Quoted(where) + " lies deeper than " + std::to_string(limits_.MaxDepth) +
                     " folder levels in its UDF tree");
        }
        nodes_.push_back(std::move(node));
    }

    std::u16string PathOf(size_t i) const {
        std::u16string path;
        for (auto at = static_cast<int32_t>(i); at >= 0; at = nodes_[size_t(at)].entry.Parent)
            path = u"/" + nodes_[size_t(at)].entry.Name + path;
        return path;
    }

    void ReadDirectory(uint32_t icb, int32_t parent, uint32_t depth, const std::u16string& path) {
        TData dir = ReadEntry(icb, path);
        if (!dir.directory)
            Fail(Quoted(path) + " is a folder in the UDF tree's view but its entry is a file's");
        if (dir.length > limits_.MaxDirectoryBytes)
            Fail("the UDF folder " + Quoted(path) + " is " + std::to_string(dir.length) +
                 " bytes long, more than any disc needs");
        std::vector<uint8_t> bytes = std::move(dir.embedded);
        for (const TRecordedRun& r : dir.runs) {
            for (uint64_t s = 0; s < SectorsForBytes(r.Bytes); ++s) {
                const uint8_t* sector = sectors_.At(static_cast<uint32_t>(r.Lba + s));
                const size_t take =
                    static_cast<size_t>(std::min<uint64_t>(kSectorSize, r.Bytes - s * kSectorSize));
                bytes.insert(bytes.end(), sector, sector + take);
            }
        }
        for (size_t pos = 0; pos < bytes.size();) {
            const uint8_t* f = bytes.data() + pos;
            if (bytes.size() - pos < 38 || !GoodTag(f, kTagFileIdentifier, bytes.size() - pos))
                Fail("a UDF file identifier of " + Quoted(path) + " is damaged");
            const uint8_t characteristics = f[18];
            const uint32_t nameLength = f[19];
            const uint32_t useLength = GetLE16(f + 36);
            const size_t length = (38 + useLength + nameLength + 3) / 4 * 4;
            if (38 + useLength + nameLength > bytes.size() - pos)
                Fail("a UDF file identifier of " + Quoted(path) + " overruns its folder");
            pos += length;
            if (characteristics & 0x0C)  // deleted, or the parent
                continue;
            if (GetLE16(f + 28) != 0)
                throw TUnknown();
            TUdfNode node;
            node.depth = depth;
            node.icb = GetLE32(f + 24);
            TRecordedEntry& e = node.entry;
            e.Parent = parent;
            e.Name = DecodeName(f + 38 + useLength, nameLength, path);
            e.Hidden = (characteristics & 0x01) != 0;
            e.IsDirectory = (characteristics & 0x02) != 0;
            const std::u16string where = path + u"/" + e.Name;
            if (!e.IsDirectory) {
                TData data = ReadEntry(node.icb, where);
                if (data.directory)
                    Fail(Quoted(where) +
                         " is a file in the UDF tree's view but its entry is a "
                         "folder's");
                if (data.inside && data.length > 0)
                    throw TUnknown();  // data inside the entry: no extent to share
                e.Size = data.length;
                if (!data.runs.empty())
                    e.Lba = data.runs.front().Lba;
                if (data.runs.size() > 1)
                    e.Runs = std::move(data.runs);
            }
            Add(std::move(node), where);
        }
    }

    void ReadTree() {
        visited_.insert(root_);
        ReadDirectory(root_, -1, 0, u"");
        for (size_t i = 0; i < nodes_.size(); ++i) {
            if (!nodes_[i].entry.IsDirectory)
                continue;
            const TUdfNode node = nodes_[i];
            if (!visited_.insert(node.icb).second)
                Fail("the UDF folder " + Quoted(PathOf(i)) +
                     " points back at a folder already read (a loop)");
            ReadDirectory(node.icb, static_cast<int32_t>(i), node.depth + 1, PathOf(i));
        }
    }

    TSectors sectors_;
    uint32_t discSectors_;
    const TSessionLimits& limits_;
    uint16_t partitionNumber_ = 0, mapPartition_ = 0;
    uint32_t partitionStart_ = 0, partitionBlocks_ = 0;
    uint32_t fileSet_ = 0, root_ = 0;
    std::vector<TUdfNode> nodes_;
    std::unordered_set<uint32_t> visited_;
    uint32_t directories_ = 0;
};

}  // namespace

bool ReadRecordedUdf(const TReadSectors& read, uint32_t sessionStart, uint32_t discSectors,
                     const TSessionLimits& limits, std::vector<TRecordedEntry>& out,
                     std::string& error, std::pair<uint64_t, uint64_t>& partition) {
    out.clear();
    error.clear();
    try {
        TUdfWalker walker(read, discSectors, limits);
        const bool found = walker.Walk(sessionStart, out);
        partition = walker.Partition();
        return found;
    } catch (const TFault& fault) {
        error = fault.what();
    }
    out.clear();
    return false;
}

}  // namespace tessor::builder
