#include "tests/support/IsoCheck.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <set>

#include "engine/platform/Strings.h"

namespace tessor::testsupport {

namespace {

constexpr uint32_t kSector = 2048;

uint16_t LE16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint16_t BE16(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}
uint32_t LE32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint32_t BE32(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

class TImage {
public:
    explicit TImage(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC, 0)) {
        struct stat st {};
        if (fd_ >= 0 && ::fstat(fd_, &st) == 0)
            bytes_ = static_cast<uint64_t>(st.st_size);
    }
    ~TImage() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool Ok() const { return fd_ >= 0; }
    uint64_t Bytes() const { return bytes_; }
    bool Read(uint64_t sector, uint32_t count, std::vector<uint8_t>& out) const {
        out.assign(static_cast<size_t>(count) * kSector, 0);
        if ((sector + count) * kSector > bytes_)
            return false;
        ssize_t n = ::pread(fd_, out.data(), out.size(), static_cast<off_t>(sector * kSector));
        return n == static_cast<ssize_t>(out.size());
    }

private:
    int fd_ = -1;
    uint64_t bytes_ = 0;
};

struct TDescriptor {
    uint32_t volumeSize = 0;
    uint32_t tableSize = 0;
    uint32_t tableL = 0;
    uint32_t tableM = 0;
    uint32_t rootExtent = 0;
    uint32_t rootLength = 0;
};

struct TPathRecord {
    std::string name;
    uint32_t extent = 0;
    uint16_t parent = 0;
};

class TChecker {
public:
    TChecker(const TImage& image, TIsoReport& report) : image_(image), r_(report) {}

    void Fault(const std::string& what) { r_.faults.push_back(what); }

    bool Both32(const uint8_t* p, const std::string& what) {
        if (LE32(p) != BE32(p + 4)) {
            Fault(what + ": little- and big-endian halves differ");
            return false;
        }
        return true;
    }
    bool Both16(const uint8_t* p, const std::string& what) {
        if (LE16(p) != BE16(p + 2)) {
            Fault(what + ": little- and big-endian halves differ");
            return false;
        }
        return true;
    }

    TDescriptor ReadVolume(const uint8_t* s, const std::string& what) {
        TDescriptor d;
        Both32(s + 80, what + " volume space size");
        Both16(s + 120, what + " volume set size");
        Both16(s + 124, what + " volume sequence number");
        Both16(s + 128, what + " logical block size");
        Both32(s + 132, what + " path table size");
        if (LE16(s + 128) != kSector)
            Fault(what + ": logical block size is not 2048");
        d.volumeSize = LE32(s + 80);
        d.tableSize = LE32(s + 132);
        d.tableL = LE32(s + 140);
        d.tableM = BE32(s + 148);
        const uint8_t* root = s + 156;
        if (root[0] != 34)
            Fault(what + ": root record length is not 34");
        Both32(root + 2, what + " root extent");
        Both32(root + 10, what + " root length");
        d.rootExtent = LE32(root + 2);
        d.rootLength = LE32(root + 10);
        if (!(root[25] & 2))
            Fault(what + ": root record is not flagged as a directory");
        return d;
    }

    std::vector<TPathRecord> ReadPathTable(uint32_t sector, uint32_t size, bool bigEndian,
                                           const std::string& what) {
        std::vector<TPathRecord> out;
        std::vector<uint8_t> buf;
        if (!image_.Read(sector, (size + kSector - 1) / kSector, buf)) {
            Fault(what + ": path table outside the image");
            return out;
        }
        size_t pos = 0;
        while (pos < size) {
            uint8_t n = buf[pos];
            if (n == 0 || pos + 8 + n > size) {
                Fault(what + ": path table record at byte " + std::to_string(pos) +
                      " is malformed");
                break;
            }
            TPathRecord rec;
            rec.extent = bigEndian ? BE32(&buf[pos + 2]) : LE32(&buf[pos + 2]);
            rec.parent = bigEndian ? BE16(&buf[pos + 6]) : LE16(&buf[pos + 6]);
            rec.name.assign(reinterpret_cast<const char*>(&buf[pos + 8]), n);
            if ((n % 2) && buf[pos + 8 + n] != 0)
                Fault(what + ": path table pad byte is not zero");
            out.push_back(rec);
            pos += 8 + n + (n % 2);
        }
        if (pos != size)
            Fault(what + ": path table size " + std::to_string(size) +
                  " does not match its records");
        return out;
    }

    std::string DisplayName(const std::string& raw, bool joliet) {
        if (!joliet)
            return raw;
        std::u16string wide;
        for (size_t i = 0; i + 1 < raw.size(); i += 2)
            wide.push_back(
                static_cast<char16_t>(BE16(reinterpret_cast<const uint8_t*>(raw.data()) + i)));
        return platform::ToSystem(wide);
    }

    struct TDirInfo {
        uint32_t extent;
        uint32_t length;
        std::string name;  // raw record name; empty for the root
        uint32_t parentExtent;
    };

    void WalkTree(const TDescriptor& d, bool joliet, TIsoTree& tree) {
        const std::string kind = joliet ? "Joliet" : "ISO";
        tree.present = true;
        tree.rootExtent = d.rootExtent;
        tree.rootLength = d.rootLength;
        tree.pathTableSize = d.tableSize;
        std::vector<TDirInfo> dirs;  // every directory met, root first
        dirs.push_back({d.rootExtent, d.rootLength, "", d.rootExtent});
        std::set<uint32_t> visited;
        Walk(joliet, kind, d.rootExtent, d.rootLength, d.rootExtent, d.rootLength, "", 0, tree,
             dirs, visited);

        // Path tables: L and M agree, and agree with the directories.
        auto l = ReadPathTable(d.tableL, d.tableSize, false, kind + " type L");
        auto m = ReadPathTable(d.tableM, d.tableSize, true, kind + " type M");
        if (l.size() != m.size())
            Fault(kind + ": type L and type M path tables list different counts");
        for (size_t i = 0; i < std::min(l.size(), m.size()); ++i)
            if (l[i].extent != m[i].extent || l[i].parent != m[i].parent || l[i].name != m[i].name)
                Fault(kind + ": path table record " + std::to_string(i + 1) +
                      " differs between L and M");
        if (l.size() != dirs.size())
            Fault(kind + ": path table has " + std::to_string(l.size()) + " records for " +
                  std::to_string(dirs.size()) + " directories");
        std::map<uint32_t, size_t> numberOf;  // extent -> 1-based path table number
        for (size_t i = 0; i < l.size(); ++i)
            numberOf[l[i].extent] = i + 1;
        for (size_t i = 1; i < l.size(); ++i)
            if (l[i].parent < l[i - 1].parent)
                Fault(kind + ": path table not ordered by parent number");
        for (const TDirInfo& dir : dirs) {
            auto it = numberOf.find(dir.extent);
            if (it == numberOf.end()) {
                Fault(kind + ": directory at " + std::to_string(dir.extent) +
                      " missing from the path table");
                continue;
            }
            const TPathRecord& rec = l[it->second - 1];
            std::string expectName = dir.name.empty() ? std::string(1, '\0') : dir.name;
            if (rec.name != expectName)
                Fault(kind + ": path table name of directory at " + std::to_string(dir.extent) +
                      " differs from its directory record");
            auto parent = numberOf.find(dir.parentExtent);
            if (parent != numberOf.end() && rec.parent != parent->second)
                Fault(kind + ": path table parent of directory at " + std::to_string(dir.extent) +
                      " is wrong");
            if (rec.parent > it->second && it->second != 1)
                Fault(kind + ": path table lists a directory before its parent");
        }
    }

    void Walk(bool joliet, const std::string& kind, uint32_t extent, uint32_t length,
              uint32_t parentExtent, uint32_t parentLength, const std::string& path, int depth,
              TIsoTree& tree, std::vector<TDirInfo>& dirs, std::set<uint32_t>& visited) {
        if (depth > 64 || !visited.insert(extent).second) {
            Fault(kind + ": directory loop at " + std::to_string(extent));
            return;
        }
        if (length == 0 || length % kSector)
            Fault(kind + ": directory " + path + " has length " + std::to_string(length));
        std::vector<uint8_t> buf;
        if (!image_.Read(extent, (length + kSector - 1) / kSector, buf)) {
            Fault(kind + ": directory " + path + " lies outside the image");
            return;
        }
        std::set<std::string> names;
        size_t chainIndex = SIZE_MAX;  // open multi-extent chain (index in tree.entries)
        auto chainPtr = [&]() -> TIsoEntry* {
            return chainIndex == SIZE_MAX ? nullptr : &tree.entries[chainIndex];
        };
        uint32_t index = 0;
        for (uint32_t s = 0; s < length / kSector; ++s) {
            uint32_t off = 0;
            while (off < kSector) {
                const uint8_t* p = &buf[s * kSector + off];
                uint8_t len = p[0];
                if (len == 0)
                    break;
                std::string where =
                    kind + " " + (path.empty() ? "/" : path) + " record " + std::to_string(index);
                if (off + len > kSector) {
                    Fault(where + ": crosses a sector boundary");
                    break;
                }
                uint8_t n = p[32];
                if (len != 33 + n + (n % 2 == 0 ? 1 : 0))
                    Fault(where + ": record length " + std::to_string(len) + " for a name of " +
                          std::to_string(n));
                Both32(p + 2, where + " extent");
                Both32(p + 10, where + " data length");
                Both16(p + 28, where + " volume sequence number");
                uint32_t ext = LE32(p + 2);
                uint32_t dataLength = LE32(p + 10);
                uint8_t flags = p[25];
                std::string name(reinterpret_cast<const char*>(p + 33), n);
                if (index == 0) {
                    if (name != std::string(1, '\0') || ext != extent || dataLength != length)
                        Fault(where + ": \".\" does not describe the directory itself");
                } else if (index == 1) {
                    if (name != std::string(1, '\1') || ext != parentExtent ||
                        dataLength != parentLength)
                        Fault(where + ": \"..\" does not describe the parent");
                } else {
                    if (joliet && n % 2)
                        Fault(where + ": Joliet name of odd length");
                    std::string display = DisplayName(name, joliet);
                    std::string childPath = path + "/" + display;
                    TIsoEntry* chain = chainPtr();
                    if (chain && chain->path == childPath) {
                        // The pieces may lie anywhere (a session that
                        // carries an earlier file forward keeps its
                        // places), but all but the last are whole sectors.
                        if (chain->extents.back().second % kSector != 0)
                            Fault(where +
                                  ": multi-extent piece before the last ends inside a sector");
                        chain->extents.emplace_back(ext, dataLength);
                        chain->size += dataLength;
                        chain->flags = flags;
                        chain->records += 1;
                    } else {
                        if (chain)
                            Fault(kind + " " + chain->path + ": multi-extent chain not finished");
                        chainIndex = SIZE_MAX;
                        if (!names.insert(name).second)
                            Fault(where + ": duplicate name " + display);
                        TIsoEntry entry;
                        entry.path = childPath;
                        entry.dir = (flags & 2) != 0;
                        entry.size = dataLength;
                        entry.flags = flags;
                        entry.records = 1;
                        entry.extents.emplace_back(ext, dataLength);
                        tree.entries.push_back(entry);
                        if (entry.dir) {
                            dirs.push_back({ext, dataLength, name, extent});
                            Walk(joliet, kind, ext, dataLength, extent, length, childPath,
                                 depth + 1, tree, dirs, visited);
                        } else {
                            chainIndex = tree.entries.size() - 1;
                        }
                    }
                    if (!(flags & 2)) {
                        if (dataLength > 0 &&
                            static_cast<uint64_t>(ext) * kSector + dataLength >
                                static_cast<uint64_t>(r_.volumeSpaceSize) * kSector)
                            Fault(where + ": file extent ends beyond the volume");
                        if (flags & 0x80) {
                            if (dataLength % kSector)
                                Fault(where + ": non-final extent is not whole sectors");
                        } else {
                            chainIndex = SIZE_MAX;
                        }
                    }
                }
                off += len;
                ++index;
            }
        }
        if (TIsoEntry* chain = chainPtr(); chain && (chain->flags & 0x80))
            Fault(kind + " " + chain->path + ": multi-extent chain not finished");
        if (index < 2)
            Fault(kind + ": directory " + path + " lacks \".\" or \"..\"");
    }

    void CheckBootCatalog(uint32_t lba) {
        std::vector<uint8_t> s;
        if (!image_.Read(lba, 1, s)) {
            Fault("boot catalog outside the image");
            return;
        }
        uint32_t sum = 0;
        for (int i = 0; i < 32; i += 2)
            sum += LE16(&s[i]);
        if ((sum & 0xFFFF) != 0)
            Fault("boot catalog validation entry checksum is wrong");
        if (s[0] != 1 || s[30] != 0x55 || s[31] != 0xAA)
            Fault("boot catalog validation entry key bytes are wrong");
        if (s[32] != 0x88)
            Fault("boot catalog initial entry is not bootable");
        if (LE32(&s[40]) >= r_.volumeSpaceSize)
            Fault("boot image lies outside the volume");
    }

private:
    const TImage& image_;
    TIsoReport& r_;
};

}  // namespace

const TIsoEntry* TIsoTree::Find(const std::string& path) const {
    for (const TIsoEntry& e : entries)
        if (e.path == path)
            return &e;
    return nullptr;
}

std::string TIsoReport::Summary() const {
    std::string out;
    for (const std::string& f : faults)
        out += f + "\n";
    return out;
}

TIsoReport CheckIsoImage(const std::string& imagePath) {
    TIsoReport report;
    TImage image(imagePath);
    if (!image.Ok()) {
        report.faults.push_back("cannot open " + imagePath);
        return report;
    }
    report.imageBytes = image.Bytes();
    TChecker check(image, report);
    bool havePrimary = false, haveJoliet = false;
    TDescriptor primary, joliet;
    std::vector<uint8_t> s;
    bool terminated = false;
    for (uint32_t sector = 16; sector < 16 + 64; ++sector) {
        if (!image.Read(sector, 1, s)) {
            check.Fault("volume descriptor " + std::to_string(sector) + " outside the image");
            break;
        }
        if (std::memcmp(&s[1], "CD001", 5) != 0) {
            check.Fault("sector " + std::to_string(sector) + " lacks the standard identifier");
            break;
        }
        if (s[0] == 255) {
            terminated = true;
            break;
        }
        if (s[0] == 1) {
            havePrimary = true;
            primary = check.ReadVolume(s.data(), "primary");
            for (int i = 88; i < 120; ++i)
                report.primaryEscapeZero = report.primaryEscapeZero && s[i] == 0;
            if (!report.primaryEscapeZero)
                check.Fault("primary: bytes 88 to 119 are not zero");
            std::string id(reinterpret_cast<const char*>(&s[40]), 32);
            while (!id.empty() && (id.back() == '\0' || id.back() == ' '))
                id.pop_back();
            report.volumeId = id;
        } else if (s[0] == 2 && s[6] == 2) {
            report.enhanced = true;
        } else if (s[0] == 2) {
            bool escape =
                s[88] == 0x25 && s[89] == 0x2F && (s[90] == 0x40 || s[90] == 0x43 || s[90] == 0x45);
            if (escape) {
                haveJoliet = true;
                joliet = check.ReadVolume(s.data(), "Joliet");
            }
        } else if (s[0] == 0 && std::memcmp(&s[7], "EL TORITO SPECIFICATION", 23) == 0) {
            report.bootRecord = true;
            report.bootCatalogLba = LE32(&s[71]);
        }
    }
    if (!terminated)
        check.Fault("no volume descriptor set terminator");
    if (!havePrimary) {
        check.Fault("no primary volume descriptor");
        return report;
    }
    report.volumeSpaceSize = primary.volumeSize;
    if (static_cast<uint64_t>(primary.volumeSize) * kSector > report.imageBytes)
        check.Fault("volume space size exceeds the image");
    if (haveJoliet && joliet.volumeSize != primary.volumeSize)
        check.Fault("Joliet and primary volume space sizes differ");
    check.WalkTree(primary, false, report.primary);
    if (haveJoliet)
        check.WalkTree(joliet, true, report.joliet);
    if (report.bootRecord)
        check.CheckBootCatalog(report.bootCatalogLba);
    return report;
}

}  // namespace tessor::testsupport
