// Reading an earlier session's directory back from disc bytes, and carrying
// it into a new compilation. The "disc" is the header area of an image this
// builder laid out at some session start: the reader never needs file data.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/builder/ISO9660.h"
#include "engine/builder/SessionImport.h"
#include "engine/builder/Tree.h"
#include "engine/builder/UDFBridge.h"
#include "engine/builder/UDF_CRC.h"
#include "engine/platform/ByteOrder.h"
#include "engine/platform/Strings.h"

namespace tessor::builder {
namespace {

using namespace platform::byte_order;
using platform::FromSystem;
using platform::ToSystem;

constexpr uint64_t kFiveGiB = 5ull << 30;

// A disc of `total` sectors of which only the sectors written hold bytes
// (a 5 GiB file's data are never needed).
struct TDisc {
    std::map<uint32_t, std::vector<uint8_t>> written;
    uint32_t start = 0;
    uint32_t total = 0;
    uint32_t sectors() const { return total; }
    uint8_t* Sector(uint32_t s) {
        std::vector<uint8_t>& v = written[s];
        v.resize(kSectorSize);
        return v.data();
    }
    TReadSectors Reader(uint32_t failAt = UINT32_MAX) {
        return [this, failAt](uint32_t lba, uint32_t count, uint8_t* out) {
            if (uint64_t(lba) + count > total || (failAt >= lba && failAt < lba + count))
                return false;
            for (uint32_t i = 0; i < count; ++i) {
                auto at = written.find(lba + i);
                if (at == written.end())
                    std::memset(out + size_t(i) * kSectorSize, 0, kSectorSize);
                else
                    std::memcpy(out + size_t(i) * kSectorSize, at->second.data(), kSectorSize);
            }
            return true;
        };
    }
};

TFileEntry* Add(TImageBuilder& b, TDirEntry* d, const std::u16string& name, uint64_t size,
                uint32_t attributes = 0x80, bool withSource = true) {
    platform::TFindData fd;
    fd.dwFileAttributes = attributes;
    fd.ftLastWriteTime = 133000000000000000ull;
    fd.nFileSizeHigh = static_cast<uint32_t>(size >> 32);
    fd.nFileSizeLow = static_cast<uint32_t>(size);
    std::copy(name.begin(), name.end(), fd.cFileName);
    std::u16string source = u"/nonexistent/" + name;
    return AddEntry(b, d, fd, attributes & 0x10 || !withSource ? nullptr : &source);
}

// Lays out b as a session starting at `start` of a disc and returns the disc.
TDisc Burn(TImageBuilder& b, uint32_t start) {
    PrepareImage(b);
    b.SessionStartLba = static_cast<int32_t>(start);
    b.UdfLbaBase = b.SessionStartLba;
    EXPECT_TRUE(BuildHeaderArea(b));
    TDisc disc;
    disc.start = start;
    disc.total = start + static_cast<uint32_t>(ImageSectors(b));
    for (uint32_t i = 0; i < b.HeaderLength / kSectorSize; ++i)
        std::memcpy(disc.Sector(start + i), b.HeaderBuffer.get() + size_t(i) * kSectorSize,
                    kSectorSize);
    // The UDF bridge's file entries and identifiers follow the header.
    for (int32_t s = b.UdfStreamStart; b.UDFBridge && s < b.UdfStreamStart + b.UdfStreamSectors;
         ++s)
        EXPECT_TRUE(BuildUdfFileSectors(b, disc.Sector(start + static_cast<uint32_t>(s)), 1));
    return disc;
}

void SampleTree(TImageBuilder& b) {
    ClearFiles(b);
    b.JolietFileSystem = 1;
    b.UDFBridge = 1;
    TDirEntry* one = Add(b, b.RootDir, u"one", 0, 0x10)->Directory;
    TDirEntry* deep =
        Add(b, Add(b, one, u"sub", 0, 0x10)->Directory, u"deeper", 0, 0x10)->Directory;
    Add(b, one, FromSystem("Größe ș.txt"), 1000);
    Add(b, one, u"hidden.cfg", 10, 0x02);
    Add(b, one, u"a name of more than sixty-four characters, which Joliet allows up to 110.txt", 3);
    Add(b, deep, u"huge.bin", kFiveGiB);
    Add(b, deep, u"empty", 0);
    Add(b, b.RootDir, u"README", 2049);
    Add(b, b.RootDir, u"empty-folder", 0, 0x10);
}

// "path size lba" for every entry, with paths from the root.
std::map<std::string, std::string> Listing(const TRecordedSession& s) {
    std::map<std::string, std::string> out;
    std::vector<std::string> paths;
    for (const TRecordedEntry& e : s.Entries) {
        std::string path = (e.Parent < 0 ? "" : paths[size_t(e.Parent)]) + "/" + ToSystem(e.Name);
        paths.push_back(path);
        out[path] = e.IsDirectory ? "dir" : std::to_string(e.Size) + (e.Hidden ? " hidden" : "");
    }
    return out;
}

// The first record of a given name in a directory extent (primary names
// carry ";1"; Joliet names are UCS-2).
uint8_t* FindRecord(TDisc& d, uint32_t dirLba, const std::string& name, bool joliet) {
    std::string key = name;
    if (joliet) {
        key.clear();
        for (char16_t c : FromSystem(name)) {
            key.push_back(static_cast<char>(c >> 8));
            key.push_back(static_cast<char>(c & 0xFF));
        }
    }
    uint32_t size = GetLE32(d.Sector(dirLba) + 10);
    for (uint32_t pos = 0; pos < size;) {
        uint8_t* p = d.Sector(dirLba) + pos;
        if (p[0] == 0) {
            pos = (pos / kSectorSize + 1) * kSectorSize;
            continue;
        }
        std::string id(reinterpret_cast<char*>(p + 33), p[32]);
        const bool more = id.size() > key.size();
        if (id.rfind(key, 0) == 0 && (!more || id[key.size()] == ';' || id[key.size()] == '.'))
            return p;
        pos += p[0];
    }
    ADD_FAILURE() << "no record " << name;
    static uint8_t dummy[256];
    return dummy;
}

uint32_t RootLba(TDisc& d, bool joliet) {
    for (uint32_t s = d.start + 16;; ++s) {
        uint8_t* v = d.Sector(s);
        if ((v[0] == 1 && !joliet) || (v[0] == 2 && joliet))
            return GetLE32(v + 156 + 2);
    }
}

// The first record of /one/sub/deeper/huge.bin in the primary (or Joliet)
// tree.
uint8_t* HugeRecord(TDisc& d, bool joliet = false) {
    uint8_t* one = FindRecord(d, RootLba(d, joliet), joliet ? "one" : "ONE", joliet);
    uint8_t* sub = FindRecord(d, GetLE32(one + 2), joliet ? "sub" : "SUB", joliet);
    uint8_t* deep = FindRecord(d, GetLE32(sub + 2), joliet ? "deeper" : "DEEPER", joliet);
    return FindRecord(d, GetLE32(deep + 2), joliet ? "huge.bin" : "HUGE.BIN", joliet);
}

void SetExtent(uint8_t* record, uint32_t lba) {
    PutLE32(record + 2, lba);
    PutBE32(record + 6, lba);
}

// Names come from the Joliet tree, or from the ISO 9660:1999 tree of a
// volume without one, or (for the files and the folders that hold them)
// from the UDF tree of a volume with neither.
TEST(SessionRead, ReadsWhatTheBuilderWroteAtAnySessionStart) {
    for (uint32_t start : {0u, 23456u, 777u}) {
        const bool joliet = start == 0;
        TImageBuilder b;
        SampleTree(b);
        b.JolietFileSystem = joliet;
        b.ISO9660v1999FS = start == 23456;
        TDisc disc = Burn(b, start);
        TRecordedSession s;
        ASSERT_TRUE(ReadRecordedSession(disc.Reader(), start, disc.sectors(), s)) << s.Error;
        EXPECT_EQ(s.Joliet, joliet);
        EXPECT_TRUE(s.Udf) << "the UDF bridge was read and lists the same files";
        const std::map<std::string, std::string> expected = {
            {"/README", "2049"},
            {"/empty-folder", "dir"},
            {"/one", "dir"},
            {"/one/sub", "dir"},
            {"/one/sub/deeper", "dir"},
            {"/one/sub/deeper/huge.bin", std::to_string(kFiveGiB)},
            {"/one/sub/deeper/empty", "0"},
            {"/one/" + ToSystem(FromSystem("Größe ș.txt")), "1000"},
            {"/one/hidden.cfg", "10 hidden"},
            {"/one/a name of more than sixty-four characters, which Joliet allows up to 110.txt",
             "3"}};
        auto listing = Listing(s);
        if (start == 777) {
            // What holds no data keeps its 8.3 name.
            for (const char* shortName : {"/EMPTY-FOLDER", "/one/sub/deeper/EMPTY"})
                EXPECT_EQ(listing.erase(shortName), 1u) << shortName;
        }
        auto want = expected;
        if (start == 777) {
            want.erase("/empty-folder");
            want.erase("/one/sub/deeper/empty");
        }
        EXPECT_EQ(listing, want) << "session at " << start;
        // The data addresses are the builder's own, the 5 GiB file's three
        // extents joined into one.
        for (const TRecordedEntry& e : s.Entries) {
            if (e.IsDirectory || e.Size == 0)
                continue;
            const TFileEntry* f = nullptr;
            for (const TFileEntry* x : b.FileTable)
                if (x->LongName == e.Name)
                    f = x;
            ASSERT_NE(f, nullptr);
            EXPECT_EQ(e.Lba, DataAddress(b, f)) << ToSystem(e.Name);
        }
        // A volume that another burner grew after the bridge was written:
        // a file the partition cannot reach leaves the bridge unread.
        TDisc grown = disc;
        grown.total += 100;
        for (bool names : {false, true})
            if (!names || start != 777)
                SetExtent(FindRecord(grown, RootLba(grown, names), "README", names && joliet),
                          disc.sectors() + 10);
        ASSERT_TRUE(ReadRecordedSession(grown.Reader(), start, grown.sectors(), s)) << s.Error;
        EXPECT_FALSE(s.Udf);
    }
}

// Carried into a new compilation and written as a later session, the
// recorded entries point at the same data, take no new sectors, and read
// back the same.
TEST(SessionRead, CarriedEntriesReadBackUnchangedFromTheNextSession) {
    TImageBuilder first;
    SampleTree(first);
    TDisc disc = Burn(first, 0);
    TRecordedSession s;
    ASSERT_TRUE(ReadRecordedSession(disc.Reader(), 0, disc.sectors(), s)) << s.Error;

    TImageBuilder next;
    ClearFiles(next);
    next.JolietFileSystem = 1;
    next.UDFBridge = 1;
    ASSERT_EQ(CarryRecordedSession(next, s), static_cast<int32_t>(s.Entries.size()));
    Add(next, FindDirectory(next, u"\\one\\"), u"new.txt", 5000);
    TDisc grown = Burn(next, disc.sectors() + 100);
    EXPECT_EQ(next.FileDataSectors, 3) << "only the new file takes sectors";
    // The grown disc holds the first session too.
    grown.written.insert(disc.written.begin(), disc.written.end());
    TRecordedSession again;
    ASSERT_TRUE(ReadRecordedSession(grown.Reader(), grown.start, grown.sectors(), again))
        << again.Error;
    auto expected = Listing(s);
    expected["/one/new.txt"] = "5000";
    EXPECT_EQ(Listing(again), expected);
    std::map<std::u16string, uint32_t> before, after;
    for (const TRecordedEntry& e : s.Entries)
        if (!e.IsDirectory)
            before[e.Name] = e.Lba;
    for (const TRecordedEntry& e : again.Entries)
        if (!e.IsDirectory && e.Name != u"new.txt")
            after[e.Name] = e.Lba;
    EXPECT_EQ(before, after);
}

// A source of the new session meets a recorded entry of the same name,
// before or after the import: the source wins and the change is noted.
TEST(SessionRead, ANewSourceReplacesTheRecordedFileEitherWay) {
    TImageBuilder first;
    SampleTree(first);
    TDisc disc = Burn(first, 0);
    TRecordedSession s;
    ASSERT_TRUE(ReadRecordedSession(disc.Reader(), 0, disc.sectors(), s)) << s.Error;
    for (bool sourceFirst : {true, false}) {
        TImageBuilder b;
        ClearFiles(b);
        b.JolietFileSystem = 1;
        TDirEntry* one = nullptr;
        if (sourceFirst) {
            one = Add(b, b.RootDir, u"one", 0, 0x10)->Directory;
            Add(b, one, u"hidden.cfg", 77);
        }
        const int32_t carried = CarryRecordedSession(b, s);
        if (!sourceFirst) {
            one = FindDirectory(b, u"\\one\\");
            Add(b, one, u"HIDDEN.cfg", 77);
        }
        EXPECT_EQ(carried, static_cast<int32_t>(s.Entries.size()) - (sourceFirst ? 2 : 0));
        TFileEntry* e = FindChild(b, one, u"hidden.cfg");
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->Recorded, 0);
        EXPECT_EQ(e->Size, 77u);
        EXPECT_EQ(e->SourcePath,
                  u"/nonexistent/" + std::u16string(sourceFirst ? u"hidden.cfg" : u"HIDDEN.cfg"));
        ASSERT_EQ(b.SourceNotes.size(), 1u);
        EXPECT_FALSE(b.SourceNotes[0].LeftOut);
        EXPECT_NE(b.SourceNotes[0].Reason.find("earlier session"), std::string::npos);
        PrepareImage(b);
        EXPECT_EQ(b.FileDataSectors, 1);
    }
}

struct THostile {
    const char* what;
    std::function<void(TDisc&)> damage;
    const char* message;
};

TEST(SessionRead, HostileDiscsEndWithTheirMessage) {
    const std::vector<THostile> cases = {
        {"a file record pointing past the disc",
         [](TDisc& d) {
             SetExtent(FindRecord(d, RootLba(d, false), "README", false), d.sectors() - 1);
         },
         "\"/README\" lies past the end of the disc"},
        {"the root pointing past the disc",
         [](TDisc& d) { SetExtent(d.Sector(d.start + 16) + 156, d.sectors() + 5); },
         "lies past the end of the disc"},
        {"a folder that is its own grandparent",
         [](TDisc& d) {
             uint8_t* one = FindRecord(d, RootLba(d, false), "ONE", false);
             uint8_t* sub = FindRecord(d, GetLE32(one + 2), "SUB", false);
             SetExtent(sub, RootLba(d, false));
         },
         "(a loop)"},
        {"a record longer than the rest of its sector",
         [](TDisc& d) {
             // The last record in the first sector of a folder of two sectors.
             uint8_t* many = d.Sector(GetLE32(FindRecord(d, RootLba(d, false), "MANY", false) + 2));
             uint32_t pos = 0;
             while (pos + many[pos] < kSectorSize && many[pos + many[pos]] != 0)
                 pos += many[pos];
             ASSERT_GT(pos + 255, 2048u);
             many[pos] = 255;
         },
         "overruns its sector"},
        {"a name longer than its record",
         [](TDisc& d) { FindRecord(d, RootLba(d, false), "README", false)[32] = 200; },
         "shorter than its name"},
        {"a Joliet tree that sees another size",
         [](TDisc& d) { PutLE32(FindRecord(d, RootLba(d, true), "README", true) + 10, 5); },
         "the Joliet tree and the primary tree list different files"},
        {"a Joliet tree with a file fewer",
         [](TDisc& d) { FindRecord(d, RootLba(d, true), "README", true)[25] |= 0x02; },
         "the Joliet tree lists"},
        {"a Joliet name with a slash",
         [](TDisc& d) { FindRecord(d, RootLba(d, true), "README", true)[33 + 1] = '/'; },
         "breaks the rules of names"},
        {"no ISO 9660 at all",
         [](TDisc& d) { std::memcpy(d.Sector(d.start + 16), "\x01NOTCD", 6); },
         "holds no ISO 9660 volume descriptor"},
        {"descriptors without a terminator",
         [](TDisc& d) {
             for (uint32_t s = d.start + 17; s < d.start + 40; ++s)
                 if (d.Sector(s)[0] == 255)
                     std::memset(d.Sector(s), 0, 8);
         },
         "end without a terminator"},
        {"a Joliet tree whose huge file lies in other places",
         [](TDisc& d) {
             uint8_t* huge = HugeRecord(d, true);
             SetExtent(huge + huge[0], GetLE32(huge + huge[0] + 2) + 1);
         },
         "the Joliet tree and the primary tree list different files"},
        {"a UDF tree that lists another size",
         [](TDisc& d) {
             for (bool joliet : {false, true})
                 PutLE32(FindRecord(d, RootLba(d, joliet), "README", joliet) + 10, 5);
         },
         "the UDF tree and the primary tree list different files"},
        {"a damaged UDF file entry",
         [](TDisc& d) {
             for (auto& [sector, bytes] : d.written)
                 if (sector > d.start + 257 && GetLE16(bytes.data()) == 261) {
                     bytes[4] ^= 1;
                     break;
                 }
         },
         "is damaged"},
        {"a UDF partition that ends before its files",
         [](TDisc& d) {
             for (auto& [sector, bytes] : d.written)
                 if (GetLE16(bytes.data()) == 5) {
                     PutLE32(bytes.data() + 192, 3);
                     PutLE16(bytes.data() + 8,
                             udf::UdfCrc(bytes.data() + 16, GetLE16(bytes.data() + 10)));
                     uint8_t sum = 0;
                     for (int i = 0; i < 16; ++i)
                         sum = static_cast<uint8_t>(sum + (i == 4 ? 0 : bytes[i]));
                     bytes[4] = sum;
                 }
         },
         "lies outside its UDF partition"},
        {"a huge file's first part ending inside a sector",
         [](TDisc& d) {
             uint8_t* huge = HugeRecord(d);
             PutLE32(huge + 10, GetLE32(huge + 10) - 1);
         },
         "ends inside a sector"},
        {"a huge file without its last part",
         [](TDisc& d) {
             uint8_t* huge = HugeRecord(d);
             uint8_t* last = huge + huge[0];
             last[25] |= 0x80;
         },
         "ends without its last part"},
    };
    for (const THostile& c : cases) {
        TImageBuilder b;
        SampleTree(b);
        TDirEntry* many = Add(b, b.RootDir, u"many", 0, 0x10)->Directory;
        for (int i = 0; i < 60; ++i)
            Add(b, many, FromSystem("a file name of thirty units " + std::to_string(100 + i)), 1);
        TDisc disc = Burn(b, 300);
        c.damage(disc);
        TRecordedSession s;
        EXPECT_FALSE(ReadRecordedSession(disc.Reader(), disc.start, disc.sectors(), s)) << c.what;
        EXPECT_EQ(s.Error.rfind(kSessionUnreadable, 0), 0u) << c.what << ": " << s.Error;
        EXPECT_NE(s.Error.find(c.message), std::string::npos) << c.what << ": " << s.Error;
        EXPECT_TRUE(s.Entries.empty()) << c.what;
    }
}

TEST(SessionRead, LimitsAndUnreadableSectorsEndTheRead) {
    TImageBuilder b;
    SampleTree(b);
    TDisc disc = Burn(b, 0);
    TRecordedSession s;
    TSessionLimits shallow;
    shallow.MaxDepth = 1;
    EXPECT_FALSE(ReadRecordedSession(disc.Reader(), 0, disc.sectors(), s, shallow));
    EXPECT_NE(s.Error.find("lies deeper than 1 folder levels"), std::string::npos) << s.Error;
    TSessionLimits few;
    few.MaxEntries = 4;
    EXPECT_FALSE(ReadRecordedSession(disc.Reader(), 0, disc.sectors(), s, few));
    EXPECT_NE(s.Error.find("more than 4 entries"), std::string::npos) << s.Error;
    EXPECT_FALSE(ReadRecordedSession(disc.Reader(RootLba(disc, true)), 0, disc.sectors(), s));
    EXPECT_NE(s.Error.find("cannot be read"), std::string::npos) << s.Error;
    // The huge file's second part elsewhere (in both ISO 9660 trees; the UDF
    // bridge, which would still say the old place, taken away): it is read
    // in two runs, unless the limit allows fewer.
    TDisc moved = disc;
    std::memset(moved.Sector(256), 0, kSectorSize);
    uint8_t* huge = HugeRecord(moved);
    const uint32_t head = GetLE32(huge + 2), second = GetLE32(huge + huge[0] + 2) + 1;
    for (uint8_t* r : {huge + huge[0], HugeRecord(moved, true) + HugeRecord(moved, true)[0]})
        SetExtent(r, second);
    ASSERT_TRUE(ReadRecordedSession(moved.Reader(), 0, moved.sectors(), s)) << s.Error;
    const auto e = std::find_if(s.Entries.begin(), s.Entries.end(),
                                [](const TRecordedEntry& x) { return x.Name == u"huge.bin"; });
    ASSERT_NE(e, s.Entries.end());
    const uint64_t piece = 0xFFFFF800;
    EXPECT_EQ(e->Runs, (std::vector<TRecordedRun>{{head, piece}, {second, kFiveGiB - piece}}));
    TSessionLimits oneRun;
    oneRun.MaxFileRuns = 1;
    EXPECT_FALSE(ReadRecordedSession(moved.Reader(), 0, moved.sectors(), s, oneRun));
    EXPECT_NE(s.Error.find("lies in more than 1 places"), std::string::npos) << s.Error;

    // A session that does not fit the compilation enters nothing.
    ASSERT_TRUE(ReadRecordedSession(disc.Reader(), 0, disc.sectors(), s)) << s.Error;
    TImageBuilder full;
    ClearFiles(full);
    TDirEntry* many = Add(full, full.RootDir, u"many", 0, 0x10)->Directory;
    while (full.FileCount + static_cast<int32_t>(s.Entries.size()) <= kMaxFileEntries)
        Add(full, many, FromSystem(std::to_string(full.FileCount)), 0, 0x80, false);
    const int32_t before = full.FileCount;
    EXPECT_EQ(CarryRecordedSession(full, s), -1);
    EXPECT_EQ(full.FileCount, before);
    EXPECT_EQ(FindChild(full, full.RootDir, u"one"), nullptr);
}

// Random damage anywhere in the header area: every outcome is a read that
// stays inside the disc, or its message. (The libFuzzer target does the
// same without a fixed budget.)
TEST(SessionRead, RandomDamageNeverEscapesTheDisc) {
    TImageBuilder b;
    SampleTree(b);
    const TDisc clean = Burn(b, 40);
    const uint32_t headerEnd = 40 + b.HeaderLength / kSectorSize;
    std::mt19937 random(17);
    for (int round = 0; round < 1500; ++round) {
        TDisc d = clean;
        const int flips = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < flips; ++i) {
            const uint32_t s = 40 + 16 + random() % (headerEnd - 56);
            d.Sector(s)[random() % kSectorSize] = static_cast<uint8_t>(random());
        }
        TRecordedSession s;
        if (!ReadRecordedSession(d.Reader(), 40, d.sectors(), s)) {
            ASSERT_EQ(s.Error.rfind(kSessionUnreadable, 0), 0u) << s.Error;
            continue;
        }
        for (const TRecordedEntry& e : s.Entries) {
            ASSERT_LE(uint64_t(e.Lba) + SectorsForBytes(e.Size), d.sectors());
            ASSERT_LT(e.Parent, static_cast<int32_t>(s.Entries.size()));
        }
    }
}

}  // namespace
}  // namespace tessor::builder
