#include "tests/support/UdfCheck.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <set>

namespace tessor::testsupport {
namespace {

constexpr size_t kBlock = 2048;

uint16_t U16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t U32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint64_t U64(const uint8_t* p) {
    return U32(p) | (static_cast<uint64_t>(U32(p + 4)) << 32);
}

std::string Hex(uint64_t v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%llu", static_cast<unsigned long long>(v));
    return buf;
}

bool AllZero(const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (p[i] != 0)
            return false;
    return true;
}

// OSTA CS0: compression 8 (one byte per character) or 16 (big-endian units).
bool DecodeCs0(const uint8_t* p, size_t length, std::u16string& out) {
    out.clear();
    if (length == 0)
        return true;
    if (p[0] == 8) {
        for (size_t i = 1; i < length; ++i)
            out += static_cast<char16_t>(p[i]);
        return true;
    }
    if (p[0] == 16 && (length - 1) % 2 == 0) {
        for (size_t i = 1; i + 1 < length; i += 2)
            out += static_cast<char16_t>((p[i] << 8) | p[i + 1]);
        return true;
    }
    return false;
}

class TChecker {
public:
    TChecker(const TSectorReader& read, uint64_t sessionStart, uint64_t lastSector)
        : read_(read), session_(sessionStart), last_(lastSector) {}

    TUdfVolume Run();

private:
    void Fail(const std::string& what) { v_.Errors.push_back(what); }
    bool Read(uint64_t sector, uint8_t* out) {
        if (!read_(sector, out)) {
            Fail("sector " + Hex(sector) + " cannot be read");
            return false;
        }
        return true;
    }
    bool Tag(const uint8_t* d, size_t avail, uint16_t id, uint32_t location,
             const std::string& what);
    bool DString(const uint8_t* f, size_t n, std::u16string& out, const std::string& what);
    void Charspec(const uint8_t* p, const std::string& what);
    void EntityId(const uint8_t* p, const char* id, const std::string& what);
    void CheckVrs();
    bool CheckAnchor(uint64_t sector, uint32_t& mainLoc, uint32_t& mainLen, uint32_t& resLoc,
                     uint32_t& resLen);
    std::map<uint16_t, std::vector<uint8_t>> ReadSequence(uint32_t loc, uint32_t len,
                                                          std::vector<uint64_t>& where,
                                                          const std::string& name);
    void CheckVolumeDescriptors(const std::map<uint16_t, std::vector<uint8_t>>& seq);
    bool ReadBlock(uint32_t block, uint8_t* out);
    bool ReadEntry(uint32_t block, TUdfNode& node, bool isRoot);
    void WalkDirectory(TUdfNode& dir, const std::string& path, int depth);

    const TSectorReader& read_;
    uint64_t session_;
    uint64_t last_;
    TUdfVolume v_;
    uint16_t partitionNumber_ = 0;
    uint32_t integrityLoc_ = 0, integrityLen_ = 0;
    uint32_t fsdBlock_ = 0, fsdLen_ = 0;
    std::set<uint32_t> visitedEntries_;
    std::map<uint32_t, TUdfNode> fileEntries_;  // each file's entry as first read
    std::map<uint32_t, uint32_t> fileNames_;    // identifiers naming each file's entry
    std::set<uint64_t> uniqueIds_;
    uint64_t maxUniqueId_ = 0;
};

bool TChecker::Tag(const uint8_t* d, size_t avail, uint16_t id, uint32_t location,
                   const std::string& what) {
    bool ok = true;
    if (U16(d) != id) {
        Fail(what + ": tag identifier " + Hex(U16(d)) + ", expected " + Hex(id));
        return false;
    }
    if (U16(d + 2) != 2 && U16(d + 2) != 3) {
        Fail(what + ": descriptor version " + Hex(U16(d + 2)));
        ok = false;
    }
    uint8_t sum = 0;
    for (int i = 0; i < 16; ++i)
        if (i != 4)
            sum = static_cast<uint8_t>(sum + d[i]);
    if (sum != d[4]) {
        Fail(what + ": tag checksum");
        ok = false;
    }
    const uint16_t crcLength = U16(d + 10);
    if (crcLength + 16u > avail) {
        Fail(what + ": CRC length " + Hex(crcLength) + " runs past the descriptor");
        ok = false;
    } else if (ReferenceUdfCrc(d + 16, crcLength) != U16(d + 8)) {
        Fail(what + ": descriptor CRC");
        ok = false;
    }
    if (U32(d + 12) != location) {
        Fail(what + ": tag location " + Hex(U32(d + 12)) + ", recorded at " + Hex(location));
        ok = false;
    }
    return ok;
}

bool TChecker::DString(const uint8_t* f, size_t n, std::u16string& out, const std::string& what) {
    const size_t len = f[n - 1];
    out.clear();
    if (len == 0) {
        if (!AllZero(f, n)) {
            Fail(what + ": empty d-string with bytes set");
            return false;
        }
        return true;
    }
    if (len > n - 1) {
        Fail(what + ": d-string length " + Hex(len) + " exceeds the field");
        return false;
    }
    if (!DecodeCs0(f, len, out)) {
        Fail(what + ": d-string is not CS0 (compression " + Hex(f[0]) + ", length " + Hex(len) +
             ")");
        return false;
    }
    if (!AllZero(f + len, n - 1 - len)) {
        Fail(what + ": bytes after the d-string's content are not zero");
        return false;
    }
    return true;
}

void TChecker::Charspec(const uint8_t* p, const std::string& what) {
    static const char kCs0[] = "OSTA Compressed Unicode";
    if (p[0] != 0 || std::memcmp(p + 1, kCs0, sizeof kCs0 - 1) != 0 ||
        !AllZero(p + sizeof kCs0, 64 - sizeof kCs0))
        Fail(what + ": not the OSTA CS0 character set");
}

void TChecker::EntityId(const uint8_t* p, const char* id, const std::string& what) {
    const size_t n = std::strlen(id);
    if (std::memcmp(p + 1, id, n) != 0 || !AllZero(p + 1 + n, 23 - n))
        Fail(what + ": entity identifier is not " + id);
}

void TChecker::CheckVrs() {
    // ECMA-167 2/8.3: the volume recognition sequence starts at sector 16
    // and runs through consecutive sectors: CD001 descriptors, then the
    // extended area BEA01 .. TEA01 holding NSR02.
    uint8_t s[kBlock];
    bool inArea = false, nsr = false, done = false;
    for (uint64_t i = 16; i < 16 + 64 && !done; ++i) {
        if (!Read(session_ + i, s))
            return;
        const std::string id(reinterpret_cast<const char*>(s + 1), 5);
        if (s[6] != 1 && (id == "BEA01" || id == "NSR02" || id == "TEA01"))
            Fail(id + ": version");
        if (!inArea) {
            if (id == "BEA01")
                inArea = true;
            else if (id != "CD001")
                break;
        } else if (id == "NSR02" || id == "NSR03") {
            nsr = true;
        } else if (id == "TEA01") {
            done = true;
        } else {
            Fail("volume recognition: unexpected '" + id + "' inside the extended area");
            return;
        }
    }
    if (!inArea || !nsr || !done)
        Fail("volume recognition: no BEA01, NSR02, TEA01 sequence");
}

bool TChecker::CheckAnchor(uint64_t sector, uint32_t& mainLoc, uint32_t& mainLen, uint32_t& resLoc,
                           uint32_t& resLen) {
    uint8_t s[kBlock];
    if (!Read(sector, s))
        return false;
    if (!Tag(s, 512, 2, static_cast<uint32_t>(sector), "anchor at " + Hex(sector)))
        return false;
    mainLen = U32(s + 16);
    mainLoc = U32(s + 20);
    resLen = U32(s + 24);
    resLoc = U32(s + 28);
    if (mainLen < 16 * kBlock || resLen < 16 * kBlock)
        Fail("anchor at " + Hex(sector) + ": descriptor sequence extent shorter than 16 sectors");
    v_.Anchors.push_back(sector);
    return true;
}

std::map<uint16_t, std::vector<uint8_t>> TChecker::ReadSequence(uint32_t loc, uint32_t len,
                                                                std::vector<uint64_t>& where,
                                                                const std::string& name) {
    std::map<uint16_t, std::vector<uint8_t>> seq;
    uint8_t s[kBlock];
    bool terminated = false;
    for (uint32_t i = 0; i < len / kBlock; ++i) {
        if (!Read(loc + i, s))
            break;
        const uint16_t id = U16(s);
        if (id == 0 && AllZero(s, kBlock))
            break;
        const std::string what = name + " descriptor " + Hex(id) + " at " + Hex(loc + i);
        if (!Tag(s, kBlock, id, loc + i, what))
            break;
        where.push_back(loc + i);
        if (id == 8) {
            terminated = true;
            break;
        }
        if (seq.count(id))
            Fail(what + ": appears twice");
        seq[id].assign(s, s + kBlock);
    }
    if (!terminated)
        Fail(name + " sequence has no terminating descriptor");
    return seq;
}

void TChecker::CheckVolumeDescriptors(const std::map<uint16_t, std::vector<uint8_t>>& seq) {
    for (uint16_t id : {1, 4, 5, 6, 7})
        if (!seq.count(id))
            Fail("main sequence lacks descriptor " + Hex(id));
    std::set<uint32_t> numbers;
    for (const auto& [id, d] : seq) {
        const uint32_t n = U32(d.data() + 16);
        if (!numbers.insert(n).second)
            Fail("volume descriptor sequence number repeated");
    }
    if (seq.count(1)) {
        const uint8_t* d = seq.at(1).data();
        DString(d + 24, 32, v_.VolumeIdentifier, "primary volume identifier");
        std::u16string set;
        DString(d + 72, 128, set, "volume set identifier");
        Charspec(d + 200, "primary descriptor character set");
        Charspec(d + 264, "primary explanatory character set");
        if (U16(d + 56) != 1 || U16(d + 58) != 1)
            Fail("primary: volume sequence numbers");
    }
    if (seq.count(5)) {
        const uint8_t* d = seq.at(5).data();
        if ((U16(d + 20) & 1) == 0)
            Fail("partition: not allocated");
        partitionNumber_ = U16(d + 22);
        EntityId(d + 24, "+NSR02", "partition contents");
        const uint32_t access = U32(d + 184);
        if (access < 1 || access > 4)
            Fail("partition: access type " + Hex(access));
        v_.PartitionStart = U32(d + 188);
        v_.PartitionLength = U32(d + 192);
        if (static_cast<uint64_t>(v_.PartitionStart) + v_.PartitionLength > last_)
            Fail("partition runs into or past the closing anchor");
    }
    if (seq.count(6)) {
        const uint8_t* d = seq.at(6).data();
        Charspec(d + 20, "logical volume descriptor character set");
        DString(d + 84, 128, v_.LogicalVolumeIdentifier, "logical volume identifier");
        if (U32(d + 212) != kBlock)
            Fail("logical block size " + Hex(U32(d + 212)));
        EntityId(d + 216, "*OSTA UDF Compliant", "domain identifier");
        if (U16(d + 216 + 24) > 0x0150)
            Fail("domain identifier revision above 1.50");
        fsdLen_ = U32(d + 248);
        fsdBlock_ = U32(d + 252);
        if (U16(d + 256) != 0)
            Fail("file set descriptor in another partition");
        if (U32(d + 264) != 6 || U32(d + 268) != 1)
            Fail("partition maps: not one type 1 map");
        if (d[440] != 1 || d[441] != 6 || U16(d + 442) != 1 || U16(d + 444) != partitionNumber_)
            Fail("type 1 partition map does not name the partition");
        if (U16(d + 10) != 446 - 16)
            Fail("logical volume descriptor CRC length");
        integrityLen_ = U32(d + 432);
        integrityLoc_ = U32(d + 436);
    }
    if (seq.count(4)) {
        const uint8_t* d = seq.at(4).data();
        EntityId(d + 20, "*UDF LV Info", "implementation use descriptor");
        Charspec(d + 52, "LV info character set");
        DString(d + 116, 128, v_.LvInfoIdentifier, "LV info logical volume identifier");
    }
    if (seq.count(7) && U32(seq.at(7).data() + 20) != 0)
        Fail("unallocated space descriptors present");
}

bool TChecker::ReadBlock(uint32_t block, uint8_t* out) {
    if (block >= v_.PartitionLength) {
        Fail("block " + Hex(block) + " lies outside the partition");
        return false;
    }
    return Read(static_cast<uint64_t>(v_.PartitionStart) + block, out);
}

bool TChecker::ReadEntry(uint32_t block, TUdfNode& node, bool isRoot) {
    uint8_t d[kBlock];
    const std::string what = "file entry at block " + Hex(block);
    if (!ReadBlock(block, d) || !Tag(d, kBlock, 261, block, what))
        return false;
    if (!visitedEntries_.insert(block).second) {
        // Several names may share a file's entry (hard links, 4/14.9.6);
        // a directory has one name only.
        auto shared = fileEntries_.find(block);
        if (shared == fileEntries_.end()) {
            Fail(what + ": reached twice");
            return false;
        }
        TUdfNode named = shared->second;
        named.Name = std::move(node.Name);
        named.Hidden = node.Hidden;
        node = std::move(named);
        return true;
    }
    node.EntryBlock = block;
    if (U16(d + 20) != 4)
        Fail(what + ": strategy type " + Hex(U16(d + 20)));
    const uint8_t type = d[27];
    if (type != 4 && type != 5) {
        Fail(what + ": file type " + Hex(type));
        return false;
    }
    node.Directory = type == 4;
    const unsigned adType = U16(d + 34) & 7;
    node.LinkCount = U16(d + 48);
    node.Size = U64(d + 56);
    node.BlocksRecorded = U64(d + 64);
    node.UniqueId = U64(d + 160);
    const uint32_t lea = U32(d + 168), lad = U32(d + 172);
    if (176ull + lea + lad > kBlock) {
        Fail(what + ": extended attributes and allocation descriptors run past the block");
        return false;
    }
    if (U16(d + 10) != 160 + lea + lad)
        Fail(what + ": CRC length is not the descriptor's length - 16");
    if (isRoot ? node.UniqueId != 0 : node.UniqueId < 16)
        Fail(what + ": unique ID " + Hex(node.UniqueId));
    if (!isRoot && !uniqueIds_.insert(node.UniqueId).second)
        Fail(what + ": unique ID repeated");
    maxUniqueId_ = std::max(maxUniqueId_, node.UniqueId);
    if (adType != 0) {
        Fail(what + ": allocation descriptor type " + Hex(adType) + " (expected short)");
        return false;
    }
    // The descriptors, following allocation extent descriptors (4/14.5)
    // wherever a type 3 descriptor continues the sequence.
    uint64_t total = 0;
    bool ended = false;
    std::vector<uint8_t> area(d + 176 + lea, d + 176 + lea + lad);
    for (int chain = 0; chain < 100000; ++chain) {
        uint32_t next = 0;
        bool follow = false;
        for (uint32_t o = 0; o + 8 <= area.size(); o += 8) {
            const uint8_t* ad = area.data() + o;
            const uint32_t raw = U32(ad);
            const uint32_t length = raw & 0x3FFFFFFF;
            if (ended || follow) {
                if (!AllZero(ad, 8))
                    Fail(what + ": allocation descriptor after the last one");
                continue;
            }
            if (length == 0) {
                ended = true;
                continue;
            }
            if ((raw >> 30) == 3) {
                follow = true;
                next = U32(ad + 4);
                continue;
            }
            if ((raw >> 30) != 0)
                Fail(what + ": extent not recorded and allocated");
            if (total % kBlock != 0)
                Fail(what + ": an extent other than the last is not whole blocks");
            const uint32_t pos = U32(ad + 4);
            const uint64_t blocks = (length + kBlock - 1) / kBlock;
            if (pos + blocks > v_.PartitionLength)
                Fail(what + ": extent outside the partition");
            node.Extents.emplace_back(pos, length);
            total += length;
        }
        if (!follow)
            break;
        uint8_t e[kBlock];
        const std::string aed = what + ": allocation extent at block " + Hex(next);
        if (!ReadBlock(next, e) || !Tag(e, kBlock, 258, next, aed))
            break;
        const uint32_t elad = U32(e + 20);
        if (24ull + elad > kBlock || elad % 8 != 0) {
            Fail(aed + ": length of allocation descriptors " + Hex(elad));
            break;
        }
        if (U16(e + 10) != 8 + elad)
            Fail(aed + ": CRC length is not the descriptor's length - 16");
        ++node.AllocationExtents;
        area.assign(e + 24, e + 24 + elad);
    }
    if (total != node.Size)
        Fail(what + ": extents hold " + Hex(total) + " bytes, information length " +
             Hex(node.Size));
    if (node.BlocksRecorded != (node.Size + kBlock - 1) / kBlock)
        Fail(what + ": logical blocks recorded " + Hex(node.BlocksRecorded));
    if (node.Directory) {
        ++v_.Directories;
    } else {
        ++v_.Files;
        fileEntries_.emplace(block, node);
    }
    return true;
}

void TChecker::WalkDirectory(TUdfNode& dir, const std::string& path, int depth) {
    if (depth > 200) {
        Fail(path + ": directories nested too deep (a loop?)");
        return;
    }
    if (dir.Size > (64u << 20)) {
        Fail(path + ": directory of " + Hex(dir.Size) + " bytes");
        return;
    }
    // The identifiers, with the block each byte came from.
    std::vector<uint8_t> bytes;
    std::vector<uint32_t> blockOf;
    uint8_t s[kBlock];
    for (const auto& [block, length] : dir.Extents)
        for (uint32_t i = 0; i * kBlock < length; ++i) {
            if (!ReadBlock(block + i, s))
                return;
            const uint32_t n = std::min<uint32_t>(kBlock, length - i * kBlock);
            bytes.insert(bytes.end(), s, s + n);
            blockOf.push_back(block + i);
        }
    size_t o = 0;
    bool first = true;
    std::set<std::u16string> names;
    uint16_t subdirs = 0;
    while (o < bytes.size()) {
        const std::string what = path + ": identifier at byte " + Hex(o);
        if (o + 38 > bytes.size()) {
            Fail(what + ": truncated");
            return;
        }
        const uint8_t* f = bytes.data() + o;
        const uint8_t chars = f[18];
        const uint8_t lfi = f[19];
        const uint16_t liu = U16(f + 36);
        const size_t length = (38 + liu + lfi + 3) / 4 * 4;
        if (o + length > bytes.size()) {
            Fail(what + ": runs past the directory's information length");
            return;
        }
        if (!Tag(f, length, 257, blockOf[o / kBlock], what))
            return;
        if (U16(f + 10) != length - 16)
            Fail(what + ": CRC length is not the descriptor's length - 16");
        if (U16(f + 16) != 1)
            Fail(what + ": file version number");
        if (!AllZero(f + 38 + liu + lfi, length - 38 - liu - lfi))
            Fail(what + ": padding not zero");
        const uint32_t target = U32(f + 24);
        if (U16(f + 28) != partitionNumber_ && U16(f + 28) != 0)
            Fail(what + ": ICB in another partition");
        if (chars & 0x04)
            Fail(what + ": deleted identifier");
        if (first) {
            if (!(chars & 0x08) || lfi != 0)
                Fail(what + ": the first identifier is not the parent entry");
            first = false;
            o += length;
            continue;
        }
        if (chars & 0x08)
            Fail(what + ": a second parent entry");
        TUdfNode child;
        if (!DecodeCs0(f + 38 + liu, lfi, child.Name) || child.Name.empty()) {
            Fail(what + ": file identifier is not CS0");
            o += length;
            continue;
        }
        if (lfi > 0 && f[38 + liu] == 16 && lfi % 2 == 0)
            Fail(what + ": CS0 16 with an even length");
        for (char16_t ch : child.Name)
            if (ch == u'/' || ch == 0)
                Fail(what + ": '/' or NUL in a name");
        if (!names.insert(child.Name).second)
            Fail(path + ": name repeated: " + Utf8(child.Name));
        child.Hidden = (chars & 0x01) != 0;
        const std::string childPath = path + "/" + Utf8(child.Name);
        if (ReadEntry(target, child, false)) {
            if (child.Directory != ((chars & 0x02) != 0))
                Fail(childPath + ": directory bit does not match the file entry");
            if (child.Directory) {
                ++subdirs;
                WalkDirectory(child, childPath, depth + 1);
            } else {
                ++fileNames_[child.EntryBlock];
            }
        }
        dir.Children.push_back(std::move(child));
        o += length;
    }
    if (first)
        Fail(path + ": no parent entry");
    if (dir.LinkCount != 1 + subdirs)
        Fail(path + ": link count " + Hex(dir.LinkCount) + ", expected " + Hex(1 + subdirs));
}

TUdfVolume TChecker::Run() {
    CheckVrs();
    uint32_t ml = 0, mn = 0, rl = 0, rn = 0, ml2 = 0, mn2 = 0, rl2 = 0, rn2 = 0;
    const bool a1 = CheckAnchor(session_ + 256, ml, mn, rl, rn);
    const bool a2 = CheckAnchor(last_, ml2, mn2, rl2, rn2);
    if (!a1 && !a2)
        return std::move(v_);
    if (a1 && a2 && (ml != ml2 || mn != mn2 || rl != rl2 || rn != rn2))
        Fail("the anchors point at different sequences");
    if (!a1)
        ml = ml2, mn = mn2, rl = rl2, rn = rn2;

    const auto main = ReadSequence(ml, mn, v_.MainSequence, "main");
    const auto reserve = ReadSequence(rl, rn, v_.ReserveSequence, "reserve");
    CheckVolumeDescriptors(main);
    // The reserve sequence repeats the main one; only the tags' locations
    // (and so their checksums) differ.
    if (main.size() != reserve.size())
        Fail("reserve sequence differs in length from the main one");
    for (const auto& [id, d] : main) {
        auto it = reserve.find(id);
        if (it == reserve.end())
            continue;
        const auto& r = it->second;
        if (std::memcmp(d.data(), r.data(), 4) != 0 ||
            std::memcmp(d.data() + 5, r.data() + 5, 7) != 0 ||
            std::memcmp(d.data() + 16, r.data() + 16, kBlock - 16) != 0)
            Fail("reserve descriptor " + Hex(id) + " differs from the main one");
    }
    if (v_.PartitionLength == 0)
        return std::move(v_);

    // Integrity: a closed descriptor, then a terminator or the extent's end.
    uint8_t s[kBlock];
    if (integrityLen_ < kBlock) {
        Fail("no integrity sequence");
    } else if (Read(integrityLoc_, s) && Tag(s, kBlock, 9, integrityLoc_, "integrity descriptor")) {
        if (U32(s + 28) != 1)
            Fail("integrity descriptor is not closed");
        if (U32(s + 32) != 0)
            Fail("integrity descriptor continues elsewhere");
        if (U32(s + 72) != 1)
            Fail("integrity descriptor: number of partitions");
        const uint32_t liu = U32(s + 76);
        if (liu < 46 || 88 + liu > kBlock)
            Fail("integrity descriptor: implementation use length");
        if (U16(s + 10) != 88 + liu - 16)
            Fail("integrity descriptor: CRC length");
        if (U32(s + 84) != v_.PartitionLength)
            Fail("integrity descriptor: size table is not the partition length");
        v_.NextUniqueId = U64(s + 40);
        v_.IntegrityFiles = U32(s + 88 + 32);
        v_.IntegrityDirectories = U32(s + 88 + 36);
        if (U16(s + 88 + 40) > 0x0150)
            Fail("integrity descriptor: minimum read revision above 1.50");
        if (integrityLen_ >= 2 * kBlock && Read(integrityLoc_ + 1, s) && !AllZero(s, kBlock))
            Tag(s, kBlock, 8, integrityLoc_ + 1, "integrity sequence terminator");
    }

    // File set descriptor and the tree.
    if (!ReadBlock(fsdBlock_, s) || !Tag(s, kBlock, 256, fsdBlock_, "file set descriptor"))
        return std::move(v_);
    Charspec(s + 48, "file set LV identifier character set");
    Charspec(s + 240, "file set character set");
    DString(s + 112, 128, v_.FsdLogicalVolumeIdentifier, "file set LV identifier");
    DString(s + 304, 32, v_.FileSetIdentifier, "file set identifier");
    EntityId(s + 416, "*OSTA UDF Compliant", "file set domain identifier");
    const uint32_t rootBlock = U32(s + 404);
    if (fsdLen_ > kBlock && ReadBlock(fsdBlock_ + 1, s))
        Tag(s, kBlock, 8, fsdBlock_ + 1, "file set terminator");

    if (ReadEntry(rootBlock, v_.Root, true)) {
        if (!v_.Root.Directory)
            Fail("the root is not a directory");
        else
            WalkDirectory(v_.Root, "", 0);
    }
    for (const auto& [block, names] : fileNames_) {
        const uint16_t links = fileEntries_.at(block).LinkCount;
        if (links != names)
            Fail("file entry at block " + Hex(block) + ": link count " + Hex(links) + ", named " +
                 Hex(names) + " times");
    }
    if (v_.IntegrityFiles != v_.Files)
        Fail("integrity descriptor counts " + Hex(v_.IntegrityFiles) + " files, the tree holds " +
             Hex(v_.Files));
    if (v_.IntegrityDirectories != v_.Directories)
        Fail("integrity descriptor counts " + Hex(v_.IntegrityDirectories) +
             " directories, the tree holds " + Hex(v_.Directories));
    if (v_.NextUniqueId <= maxUniqueId_)
        Fail("next unique ID is not above every unique ID");
    return std::move(v_);
}

}  // namespace

uint16_t ReferenceUdfCrc(const uint8_t* data, size_t length) {
    uint16_t crc = 0;
    for (size_t i = 0; i < length; ++i) {
        crc = static_cast<uint16_t>(crc ^ (data[i] << 8));
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

std::string Utf8(const std::u16string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

const TUdfNode* FindUdfNode(const TUdfNode& root, const std::string& utf8Path) {
    const TUdfNode* node = &root;
    size_t start = 0;
    while (start < utf8Path.size()) {
        size_t end = utf8Path.find('/', start);
        if (end == std::string::npos)
            end = utf8Path.size();
        const std::string part = utf8Path.substr(start, end - start);
        start = end + 1;
        if (part.empty())
            continue;
        const TUdfNode* next = nullptr;
        for (const TUdfNode& c : node->Children)
            if (Utf8(c.Name) == part)
                next = &c;
        if (next == nullptr)
            return nullptr;
        node = next;
    }
    return node;
}

TUdfVolume CheckUdf(const TSectorReader& read, uint64_t sessionStart, uint64_t lastSector) {
    return TChecker(read, sessionStart, lastSector).Run();
}

TUdfVolume CheckUdfImage(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC, 0);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || st.st_size < static_cast<off_t>(258 * kBlock)) {
        if (fd >= 0)
            ::close(fd);
        TUdfVolume v;
        v.Errors.push_back("cannot open " + path + " as an image");
        return v;
    }
    const uint64_t sectors = static_cast<uint64_t>(st.st_size) / kBlock;
    TSectorReader reader = [&](uint64_t sector, uint8_t* out) {
        return sector < sectors && ::pread(fd, out, kBlock, static_cast<off_t>(sector * kBlock)) ==
                                       static_cast<ssize_t>(kBlock);
    };
    TUdfVolume v = CheckUdf(reader, 0, sectors - 1);
    ::close(fd);
    return v;
}

}  // namespace tessor::testsupport
