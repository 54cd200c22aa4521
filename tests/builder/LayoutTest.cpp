// Layout and header area of the ISO 9660 and Joliet trees, read back from
// the bytes (and through our strict structure pass).
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "engine/builder/ISO9660.h"
#include "engine/builder/SysUtilsW.h"
#include "engine/builder/Tree.h"
#include "engine/platform/ByteOrder.h"
#include "engine/platform/Strings.h"
#include "tests/support/ImageAssembler.h"
#include "tests/support/IsoCheck.h"
#include "tests/support/TestFiles.h"

namespace tessor::builder {
namespace {

using namespace platform::byte_order;
using platform::FromSystem;
using platform::ToSystem;
using testsupport::TIsoReport;

// a + b, built by appending (GCC 12 at -O3 warns falsely about the
// operator+ that inserts a literal in front of a temporary).
std::u16string Cat(std::u16string a, const std::u16string& b) {
    a += b;
    return a;
}

struct LayoutTest : ::testing::Test {
    TImageBuilder b;
    testsupport::TTempDir tmp;
    void SetUp() override {
        ClearFiles(b);
        b.JolietFileSystem = 1;
    }
    // An entry with synthetic find data; its source is never read here.
    TFileEntry* Add(TDirEntry* d, const std::u16string& name, uint64_t size,
                    uint32_t attributes = 0x80, const std::u16string& alt = u"") {
        platform::TFindData fd;
        fd.dwFileAttributes = attributes;
        fd.nFileSizeHigh = static_cast<uint32_t>(size >> 32);
        fd.nFileSizeLow = static_cast<uint32_t>(size);
        std::memcpy(fd.cFileName, name.data(), name.size() * 2);
        std::memcpy(fd.cAlternateFileName, alt.data(), alt.size() * 2);
        std::u16string source = Cat(u"/nonexistent/", name);
        TFileEntry* e = AddEntry(b, d, fd, attributes & 0x10 ? nullptr : &source);
        EXPECT_NE(e, nullptr);
        return e;
    }
    const uint8_t* Sector(int s) const {
        return b.HeaderBuffer.get() + static_cast<size_t>(s) * kSectorSize;
    }
    bool ZeroSector(int s) const {
        for (int i = 0; i < kSectorSize; ++i)
            if (Sector(s)[i])
                return false;
        return true;
    }
    TIsoReport Check() {
        std::string why;
        EXPECT_TRUE(testsupport::WriteHeaderImage(b, tmp / "h.iso", &why)) << why;
        TIsoReport r = testsupport::CheckIsoImage(tmp / "h.iso");
        EXPECT_TRUE(r.faults.empty()) << r.Summary();
        return r;
    }
};

TEST_F(LayoutTest, EmptyCompilationSectorMap) {
    EXPECT_EQ(PrepareImage(b), 150);
    EXPECT_EQ(b.StatusCode.load(), S_IDLE);
    EXPECT_EQ(b.IsoPathTableL, 19);
    EXPECT_EQ(b.IsoPathTableM, 20);
    EXPECT_EQ(b.JolietPathTableL, 21);
    EXPECT_EQ(b.JolietPathTableM, 22);
    EXPECT_EQ(b.IsoDirArea, 23);
    EXPECT_EQ(b.JolietDirArea, 24);
    EXPECT_EQ(b.IsoPathTableSize, 10);
    EXPECT_EQ(b.JolietPathTableSize, 10);
    EXPECT_EQ(b.FirstDataLba, 150);
    EXPECT_EQ(b.TotalSectors.load(), 160);
    ASSERT_TRUE(BuildHeaderArea(b));
    EXPECT_EQ(b.HeaderLength, 150u * kSectorSize);
    for (int s = 0; s < 16; ++s)
        EXPECT_TRUE(ZeroSector(s)) << s;
    EXPECT_EQ(Sector(16)[0], 1);
    EXPECT_EQ(std::memcmp(Sector(16) + 1, "CD001", 5), 0);
    EXPECT_EQ(Sector(17)[0], 2);
    EXPECT_EQ(Sector(17)[88], 0x25);
    EXPECT_EQ(Sector(17)[90], 0x40);
    EXPECT_EQ(Sector(18)[0], 255);
    EXPECT_EQ(GetLE32(Sector(16) + 80), 160u);
    EXPECT_EQ(GetLE32(Sector(16) + 156 + 2), 23u);
    EXPECT_EQ(GetLE32(Sector(17) + 156 + 2), 24u);
    EXPECT_EQ(GetLE32(Sector(23) + 2), 23u) << "\".\" of the ISO root";
    EXPECT_EQ(GetLE32(Sector(24) + 2), 24u) << "\".\" of the Joliet root";
    for (int s = 25; s < 150; ++s)
        EXPECT_TRUE(ZeroSector(s)) << s;
    TIsoReport r = Check();
    EXPECT_TRUE(r.primaryEscapeZero);
    EXPECT_TRUE(r.joliet.present);

    b.JolietFileSystem = 0;
    EXPECT_EQ(PrepareImage(b), 150);
    EXPECT_EQ(b.IsoPathTableL, 18);
    EXPECT_EQ(b.IsoDirArea, 20);
    EXPECT_EQ(b.TotalSectors.load(), 160);
}

TEST_F(LayoutTest, PrimaryDescriptorCarriesNoEscapeSequence) {
    SetVolumeLabelW(b, u"My disc Ελλάδα and more text");
    PrepareImage(b);
    ASSERT_TRUE(BuildHeaderArea(b));
    for (int i = 88; i < 120; ++i)
        EXPECT_EQ(Sector(16)[i], 0) << i;
    // Volume identifiers: upper-cased ASCII, the UTF-8 cut at a character
    // boundary within 32 bytes; Joliet keeps 16 UTF-16 characters.
    std::string id(reinterpret_cast<const char*>(Sector(16) + 40), 32);
    id = id.c_str();
    EXPECT_EQ(id.substr(0, 8), "MY DISC ");
    EXPECT_NE(FromSystem(id).find(u"Ελλάδα"), std::u16string::npos);
    EXPECT_EQ(FromSystem(id).find(u'\uFFFD'), std::u16string::npos);
    EXPECT_EQ(GetBE16(Sector(17) + 40), u'M');
    EXPECT_EQ(GetBE16(Sector(17) + 40 + 2 * 15), u'a');
    EXPECT_EQ(GetBE16(Sector(17) + 40 + 2 * 16), 0);
}

TEST_F(LayoutTest, UdfBridgeMovesTheTreesBehindItsFixedArea) {
    b.UDFBridge = 1;
    int32_t end = PrepareImage(b);
    if (b.IsoPathTableL != 259)
        GTEST_SKIP() << "the UDF fixed area is not laid out yet";
    EXPECT_EQ(b.IsoDirArea, 263);
    EXPECT_EQ(b.JolietDirArea, 264);
    EXPECT_LT(b.LeadInPad, 0);
    EXPECT_EQ(b.UdfStreamStart, 265);
    EXPECT_EQ(end, b.FirstDataLba + 1);
    EXPECT_EQ(b.TotalSectors.load() % 32, 0);
    ASSERT_TRUE(BuildHeaderArea(b));
    EXPECT_EQ(b.HeaderLength, 265u * kSectorSize);
    EXPECT_EQ(Sector(18)[0], 255);
    EXPECT_EQ(GetLE32(Sector(263) + 2), 263u);
}

TEST_F(LayoutTest, DirectoryEndingExactlyOnASectorEnd) {
    // "." and ".." take 68 bytes; 45 records of 44 bytes (10-byte names)
    // fill the sector to the last byte.
    for (int i = 0; i < 45; ++i) {
        char alt[16];
        std::snprintf(alt, sizeof alt, "F%05d.TXT", i);
        Add(b.RootDir, Cat(u"name", FromSystem(std::to_string(i))), 1, 0x80, FromSystem(alt));
    }
    PrepareImage(b);
    EXPECT_EQ(b.RootDir->IsoExtentSize, 2048u);
    Add(b.RootDir, u"one more", 1, 0x80, u"G00000.TXT");
    PrepareImage(b);
    EXPECT_EQ(b.RootDir->IsoExtentSize, 4096u);
    ASSERT_TRUE(BuildHeaderArea(b));
    const uint8_t* second = Sector(b.IsoDirArea + 1);
    EXPECT_EQ(second[0], 44);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(second + 33), 10), "G00000.TXT");
    Check();
}

TEST_F(LayoutTest, EmptyAndOddSizedFilesAndHiddenFlag) {
    Add(b.RootDir, u"empty.txt", 0, 0x80, u"");
    Add(b.RootDir, u"odd.bin", 2049);
    Add(b.RootDir, u"hidden", 5, 0x02);
    Add(b.RootDir, u"archived", 5, 0x22);
    Add(b.RootDir, u"after.bin", 1);
    EXPECT_EQ(PrepareImage(b), 150 + 2 + 1 + 1 + 1);
    EXPECT_EQ(b.FileDataSectors, 5);
    TIsoReport r = Check();
    const auto* empty = r.joliet.Find("/empty.txt");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->extents.front(), std::make_pair(0u, 0u));
    const auto* emptyIso = r.primary.Find("/EMPTY.TXT");
    ASSERT_NE(emptyIso, nullptr);
    EXPECT_EQ(emptyIso->extents.front(), std::make_pair(0u, 0u));
    const auto* odd = r.joliet.Find("/odd.bin");
    ASSERT_NE(odd, nullptr);
    EXPECT_EQ(odd->extents.front(), std::make_pair(150u, 2049u));
    EXPECT_EQ(r.joliet.Find("/hidden")->extents.front().first, 152u);
    EXPECT_EQ(r.joliet.Find("/after.bin")->extents.front().first, 154u);
    EXPECT_EQ(r.joliet.Find("/hidden")->flags & 1, 1);
    EXPECT_EQ(r.joliet.Find("/archived")->flags & 1, 0);
    EXPECT_EQ(r.primary.Find("/HIDDEN.")->flags & 1, 1);
}

TEST_F(LayoutTest, Iso1999PathTableCountsTheBytesWritten) {
    b.ISO9660v1999FS = 1;
    ASSERT_NE(CreateDir(b, u"\\", u"Abc"), nullptr);
    // Odd short name, even long name: no pad byte.
    Add(b.RootDir, u"LongName12", 0, 0x10, u"LONGN~1");
    EXPECT_EQ(PrepareImage(b), 150);
    EXPECT_EQ(b.IsoPathTableSize, 10 + (8 + 3 + 1) + (8 + 10));
    EXPECT_EQ(b.JolietPathTableSize, 10 + (8 + 6) + (8 + 20));
    ASSERT_TRUE(BuildHeaderArea(b));
    EXPECT_EQ(Sector(17)[0], 2);
    EXPECT_EQ(Sector(17)[6], 2);
    EXPECT_EQ(Sector(17)[881], 2);
    for (int i = 88; i < 120; ++i)
        EXPECT_EQ(Sector(17)[i], 0);
    TIsoReport r = Check();
    EXPECT_TRUE(r.enhanced);
    EXPECT_NE(r.primary.Find("/LongName12"), nullptr);
}

TEST_F(LayoutTest, BootCatalogMediaTypes) {
    struct Case {
        uint64_t size;
        uint8_t media;
        uint16_t count;
    };
    for (Case c :
         {Case{2048, 0, 4}, Case{1474560, 2, 1}, Case{1228800, 1, 1}, Case{2949120, 3, 1}}) {
        ClearFiles(b);
        std::string img = tmp / "boot.img";
        ASSERT_TRUE(testsupport::WritePatternFile(img, c.size, 3));
        ASSERT_TRUE(SetBootImage(b, img.c_str()));
        Add(b.RootDir, u"file", 10);
        PrepareImage(b);
        EXPECT_EQ(b.BootImageLba, 150);
        EXPECT_EQ(b.FirstDataLba, 150 + static_cast<int32_t>(SectorsForBytes(c.size)));
        ASSERT_TRUE(BuildHeaderArea(b));
        EXPECT_EQ(Sector(17)[0], 0) << "boot record follows the primary";
        EXPECT_EQ(GetLE32(Sector(17) + 71), static_cast<uint32_t>(b.BootCatalogLba));
        EXPECT_EQ(Sector(18)[0], 2);
        const uint8_t* cat = Sector(b.BootCatalogLba);
        uint32_t sum = 0;
        for (int i = 0; i < 32; i += 2)
            sum += GetLE16(cat + i);
        EXPECT_EQ(sum & 0xFFFF, 0u);
        EXPECT_EQ(cat[32], 0x88);
        EXPECT_EQ(cat[33], c.media);
        EXPECT_EQ(GetLE16(cat + 38), c.count);
        EXPECT_EQ(GetLE32(cat + 40), 150u);
        EXPECT_EQ(b.HeaderLength, static_cast<uint32_t>(b.BootImageLba) * kSectorSize)
            << "the header area ends where the boot image copy begins";
        TIsoReport r = Check();
        EXPECT_TRUE(r.bootRecord);
    }
}

TEST_F(LayoutTest, TotalSectorsRoundsToWholeBlocks) {
    TFileEntry* f = Add(b.RootDir, u"fill", 42ull * 2048);
    EXPECT_EQ(PrepareImage(b), 192);
    EXPECT_EQ(b.TotalSectors.load(), 192) << "already a multiple of 32: nothing added";
    b.ReplaceFileFlag = 1;
    Add(b.RootDir, u"fill", 42ull * 2048 + 1);
    EXPECT_EQ(f->Size, 42ull * 2048 + 1);
    EXPECT_EQ(PrepareImage(b), 193);
    EXPECT_EQ(b.TotalSectors.load(), 224);
}

TEST_F(LayoutTest, ChildListsAndPathTableOrder) {
    Add(b.RootDir, u"b-file", 1, 0x80, u"B.TXT");
    Add(b.RootDir, u"a-file", 1, 0x80, u"a.txt");
    Add(b.RootDir, u"c-file", 1, 0x80, u"C.TXT");
    TDirEntry* zeta = CreateDir(b, u"\\", u"zeta");
    TDirEntry* alpha = CreateDir(b, u"\\", u"Alpha");
    TDirEntry* sub = CreateDir(b, u"\\Alpha", u"sub");
    TDirEntry* sub2 = CreateDir(b, u"\\zeta", u"sub2");
    TDirEntry* beta = CreateDir(b, u"\\", u"beta");
    PrepareImage(b);
    std::vector<std::string> order;
    for (TFileEntry* e = b.RootDir->FirstChild; e; e = e->NextSibling)
        order.push_back(AsciiUpper(e->ShortName));
    EXPECT_EQ(order,
              (std::vector<std::string>{"A.TXT", "ALPHA", "B.TXT", "BETA", "C.TXT", "ZETA"}));
    EXPECT_EQ(b.PathTableOrder, (std::vector<TDirEntry*>{b.RootDir, alpha, beta, zeta, sub, sub2}));
    EXPECT_EQ(sub->Parent->PathTableNumber, 2);
    EXPECT_EQ(sub2->Parent->PathTableNumber, 4);
    // DirTable keeps creation order; the directories are laid out in it.
    EXPECT_EQ(b.DirTable[1], zeta);
    EXPECT_LT(zeta->IsoExtentStart, alpha->IsoExtentStart);
    Check();
}

TEST_F(LayoutTest, EqualShortNamesAreWrittenUnique) {
    ASSERT_NE(CreateDir(b, u"\\", u"Documents 2024"), nullptr);
    ASSERT_NE(CreateDir(b, u"\\", u"Documents 2025"), nullptr);
    Add(b.RootDir, u"readme", 1, 0x80, u"README");
    Add(b.RootDir, u"README.", 2, 0x80, u"README.");
    TFileEntry* kept = Add(b.RootDir, u"other.txt", 3, 0x80, u"OTHER.TXT");
    PrepareImage(b);
    TIsoReport r = Check();  // duplicates would be faults, and path tables must follow
    EXPECT_NE(r.primary.Find("/DOCUMENTS 2"), nullptr);
    EXPECT_NE(r.primary.Find("/DOCUME~1"), nullptr);
    EXPECT_NE(r.primary.Find("/README."), nullptr);
    EXPECT_NE(r.primary.Find("/README~1."), nullptr);
    EXPECT_NE(r.primary.Find("/OTHER.TXT"), nullptr);
    EXPECT_STREQ(kept->ShortName, "OTHER.TXT") << "the stored short names do not change";
}

TEST_F(LayoutTest, FilesOf4GiBAndMoreUseMultiExtentRecords) {
    const uint64_t k4G = 0x100000000ull;
    Add(b.RootDir, u"max32.bin", k4G - 1, 0x80, u"MAX32.BIN");
    Add(b.RootDir, u"exact4g.bin", k4G, 0x80, u"EXACT4G.BIN");
    Add(b.RootDir, u"big5g.bin", 2 * k4G, 0x80, u"BIG5G.BIN");
    PrepareImage(b);
    TIsoReport r = Check();
    for (const auto* tree : {&r.primary, &r.joliet}) {
        bool joliet = tree == &r.joliet;
        const auto* max32 = tree->Find(joliet ? "/max32.bin" : "/MAX32.BIN");
        ASSERT_NE(max32, nullptr);
        EXPECT_EQ(max32->records, 1u);
        EXPECT_EQ(max32->size, k4G - 1);
        const auto* exact = tree->Find(joliet ? "/exact4g.bin" : "/EXACT4G.BIN");
        ASSERT_NE(exact, nullptr);
        ASSERT_EQ(exact->records, 2u);
        EXPECT_EQ(exact->extents[0].second, 0xFFFFF800u);
        EXPECT_EQ(exact->extents[1].second, 0x800u);
        EXPECT_EQ(exact->size, k4G);
        const auto* big = tree->Find(joliet ? "/big5g.bin" : "/BIG5G.BIN");
        ASSERT_NE(big, nullptr);
        EXPECT_EQ(big->size, 2 * k4G);
        EXPECT_EQ(big->records, 3u);
        EXPECT_EQ(big->flags & 0x80, 0) << "the last record ends the chain";
    }
    // Many such files: the directory's extent counts every extra record.
    ClearFiles(b);
    for (int i = 0; i < 30; ++i) {
        char alt[16];
        std::snprintf(alt, sizeof alt, "H%05d.BIN", i);
        Add(b.RootDir, Cat(u"huge", FromSystem(std::to_string(i))), k4G + 1, 0x80, FromSystem(alt));
    }
    PrepareImage(b);
    EXPECT_EQ(b.RootDir->IsoExtentSize, 2u * 2048) << "62 records of 44 bytes need two sectors";
    TIsoReport many = Check();
    EXPECT_EQ(many.primary.entries.size(), 30u);
    for (const auto& e : many.joliet.entries)
        EXPECT_EQ(e.size, k4G + 1) << e.path;
}

std::u16string Repeat(const std::u16string& unit, size_t n) {
    std::u16string s;
    for (size_t i = 0; i < n; ++i)
        s += unit;
    return s;
}

TEST_F(LayoutTest, LongJolietNamesAreCutUniqueAndKeepTheirExtension) {
    std::u16string n110 = Repeat(u"a", 106) + u".txt";
    std::u16string n111 = Repeat(u"b", 107) + u".txt";
    std::u16string twin1 = Repeat(u"t", 200) + u"-one.dat";
    std::u16string twin2 = Repeat(u"t", 200) + u"-two.dat";
    std::u16string noExt = Repeat(u"n", 217);
    std::u16string emoji = Repeat(u"😀", 60) + u".txt";  // 124 units
    for (const auto& n : {n110, n111, twin1, twin2, noExt, emoji})
        Add(b.RootDir, n, 7);
    TDirEntry* longDir = CreateDir(b, u"\\", Repeat(u"D", 150));
    ASSERT_NE(longDir, nullptr);
    Add(longDir, u"inside.txt", 3);
    PrepareImage(b);
    TIsoReport r = Check();
    std::set<std::u16string> names;
    for (const auto& e : r.joliet.entries) {
        std::u16string path = FromSystem(e.path);
        std::u16string name = path.substr(path.rfind(u'/') + 1);
        EXPECT_LE(name.size(), 110u) << e.path;
        EXPECT_EQ(name.find(u'\uFFFD'), std::u16string::npos) << "no split surrogate pair";
        names.insert(platform::FoldCase(name));
    }
    EXPECT_EQ(names.size(), r.joliet.entries.size()) << "names unique in their directories";
    EXPECT_NE(r.joliet.Find(ToSystem(Cat(u"/", n110))), nullptr) << "110 units stay whole";
    int dat = 0;
    for (const auto& e : r.joliet.entries)
        if (e.path.size() > 4 && e.path.compare(e.path.size() - 4, 4, ".dat") == 0)
            ++dat;
    EXPECT_EQ(dat, 2) << "both twins keep their extension";
    EXPECT_NE(r.joliet.Find(ToSystem(Cat(Cat(u"/", Repeat(u"D", 110)), u"/inside.txt"))), nullptr);
}

TEST_F(LayoutTest, LongIso1999NamesAreValidUtf8WithinTheRecord) {
    b.ISO9660v1999FS = 1;
    std::u16string e1 = Repeat(u"é", 210) + u"-1.txt";
    std::u16string e2 = Repeat(u"é", 210) + u"-2.txt";
    std::u16string cjk = Repeat(u"日", 150);
    Add(b.RootDir, e1, 1);
    Add(b.RootDir, e2, 1);
    Add(b.RootDir, cjk, 1);
    TDirEntry* d = CreateDir(b, u"\\", Repeat(u"ü", 200));
    ASSERT_NE(d, nullptr);
    Add(d, u"x", 1);
    PrepareImage(b);
    TIsoReport r = Check();  // path-table names equal the directory records
    std::set<std::string> names;
    for (const auto& e : r.primary.entries) {
        std::string name = e.path.substr(e.path.rfind('/') + 1);
        EXPECT_LE(name.size(), 207u);
        EXPECT_EQ(ToSystem(FromSystem(name)), name) << "valid UTF-8: " << name;
        EXPECT_EQ(FromSystem(name).find(u'\uFFFD'), std::u16string::npos);
        names.insert(name);
    }
    EXPECT_EQ(names.size(), r.primary.entries.size());
}

TEST_F(LayoutTest, RecordDatesComeFromTheWriteTimeAndZone) {
    TFileEntry* e = Add(b.RootDir, u"dated.txt", 1, 0x80, u"DATED.TXT");
    e->WriteTime = {2031, 7, 0, 14, 23, 58, 59, 0};
    b.TimeZoneOffset = -20;  // UTC-5:00
    PrepareImage(b);
    ASSERT_TRUE(BuildHeaderArea(b));
    for (int area : {b.IsoDirArea, b.JolietDirArea}) {
        const uint8_t* dot = Sector(area);
        for (int i = 18; i < 25; ++i)
            EXPECT_EQ(dot[i], 0) << "\".\" carries no date";
        const uint8_t* rec = dot + 68;
        EXPECT_EQ(rec[18], 131);
        EXPECT_EQ(rec[19], 7);
        EXPECT_EQ(rec[20], 14);
        EXPECT_EQ(rec[21], 23);
        EXPECT_EQ(rec[22], 58);
        EXPECT_EQ(rec[23], 59);
        EXPECT_EQ(rec[24], 0xEC);
    }
}

TEST_F(LayoutTest, HeaderNeedsAPreparedTree) {
    EXPECT_FALSE(BuildHeaderArea(b));
    PrepareImage(b);
    EXPECT_TRUE(BuildHeaderArea(b));
    Add(b.RootDir, u"new", 1);
    EXPECT_EQ(b.Prepared, 0);
    EXPECT_FALSE(BuildHeaderArea(b));
}

}  // namespace
}  // namespace tessor::builder
