// Whole images judged by readers we did not write: the tricky tree extracted
// through every Joliet reader and compared name by name and byte by byte
// with its sources; the primary tree listed and checked; a file over 4 GiB
// read back by two readers and listed by the others.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "engine/builder/ISO9660.h"
#include "engine/builder/IsoRecords.h"
#include "engine/builder/SessionImport.h"
#include "engine/builder/Tree.h"
#include "engine/builder/UDFBridge.h"
#include "engine/platform/ByteOrder.h"
#include "engine/platform/Strings.h"
#include "tests/support/ImageAssembler.h"
#include "tests/support/ImageWriter.h"
#include "tests/support/IsoCheck.h"
#include "tests/support/ReaderHarness.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TrickyTree.h"
#include "tests/support/UdfCheck.h"
#include "tests/support/UdfReaders.h"

namespace tessor::builder {
namespace {

using namespace tessor::testsupport;
using platform::FromSystem;
using namespace platform::byte_order;

// The tricky tree and its image, made once for the whole suite.
class TrickyImage : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new TTempDir("tessor-readers");
        source_ = dir_->Path() + "/src";
        ASSERT_TRUE(MakeDirs(source_));
        ASSERT_TRUE(MakeTrickyTree(source_));
        expected_ = new TNode(Snapshot(source_));
        image_ = dir_->Path() + "/tricky.iso";
        image1999_ = dir_->Path() + "/tricky1999.iso";
        plain_ = dir_->Path() + "/plain.iso";
        udf_ = dir_->Path() + "/udf.iso";
        ASSERT_TRUE(Build(image_, false, false));
        ASSERT_TRUE(Build(udf_, false, false, true));
        ASSERT_TRUE(Build(image1999_, true, false));
        ASSERT_TRUE(Build(plain_, false, true));
    }
    static void TearDownTestSuite() {
        delete expected_;
        delete dir_;
    }
    // plain: through an add-file handler that clears the hidden attribute
    // and leaves out names outside the BMP, for the two readers that cannot
    // take them (isovfy stops at the first record flagged "existence";
    // libcdio's iconv refuses UTF-16 surrogates and drops the directory).
    static bool Build(const std::string& image, bool iso1999, bool plain, bool udf = false) {
        TImageBuilder b;
        ClearFiles(b);
        b.UDFBridge = udf ? 1 : 0;
        if (plain) {
            b.AddFileHandler = [](void*, const char16_t*, platform::TFindData& fd, bool& skip) {
                fd.dwFileAttributes &= ~platform::kAttrHidden;
                for (const char16_t* c = fd.cFileName; *c; ++c)
                    skip = skip || (*c >= 0xD800 && *c <= 0xDFFF);
            };
        }
        b.JolietFileSystem = 1;
        b.ISO9660v1999FS = iso1999 ? 1 : 0;
        SetVolumeLabel(b, "Tricky tree");
        if (!AddFolder(b, u"\\", FromSystem(source_), u"*.*", true, false))
            return false;
        PrepareImage(b);
        std::string why;
        bool ok = WriteImageFile(b, image, &why);
        EXPECT_TRUE(ok) << why;
        return ok;
    }
    void ExpectExtractionMatches(TReader reader, const std::string& image,
                                 size_t readerNameLimit = 0, size_t maxNameUnits = 110) {
        TTempDir out("tessor-extract");
        TToolResult r = ExtractImage(reader, image, out.Path());
        if (r.exitCode == 127)
            GTEST_SKIP() << r.output;
        ASSERT_EQ(r.exitCode, 0) << ReaderName(reader) << ":\n" << r.output;
        TCompareOptions options;
        options.maxNameUnits = maxNameUnits;
        options.readerNameLimit = readerNameLimit;
        auto diff = CompareTrees(*expected_, Snapshot(out.Path()), options);
        EXPECT_TRUE(diff.empty()) << ReaderName(reader) << " differs from the sources:\n"
                                  << Join(diff);
    }

    static TTempDir* dir_;
    static std::string source_;
    static std::string image_;
    static std::string image1999_;
    static std::string plain_;
    static std::string udf_;
    static TNode* expected_;
};

TTempDir* TrickyImage::dir_ = nullptr;
std::string TrickyImage::source_;
std::string TrickyImage::image_;
std::string TrickyImage::image1999_;
std::string TrickyImage::plain_;
std::string TrickyImage::udf_;
TNode* TrickyImage::expected_ = nullptr;

TEST_F(TrickyImage, StrictStructurePass) {
    for (const std::string& image : {image_, image1999_, udf_}) {
        TIsoReport r = CheckIsoImage(image);
        EXPECT_TRUE(r.faults.empty()) << image << ":\n" << r.Summary();
        size_t files = 0, dirs = 0;
        for (const auto& e : r.joliet.entries)
            (e.dir ? dirs : files) += 1;
        EXPECT_EQ(files, CountFiles(*expected_));
        EXPECT_EQ(dirs, CountDirs(*expected_));
        EXPECT_EQ(r.primary.entries.size(), r.joliet.entries.size());
    }
}

TEST_F(TrickyImage, XorrisoJoliet) {
    ExpectExtractionMatches(TReader::Xorriso, image_);
}
TEST_F(TrickyImage, SevenZipJoliet) {
    ExpectExtractionMatches(TReader::SevenZipIso, image_);
}
// bsdtar (libarchive) shows at most 103 characters of a Joliet name, cutting
// off the extension too; the comparison cuts the source names the same way.
TEST_F(TrickyImage, BsdtarJoliet) {
    ExpectExtractionMatches(TReader::Bsdtar, image_, 103);
}
TEST_F(TrickyImage, PycdlibJoliet) {
    ExpectExtractionMatches(TReader::PycdlibJoliet, image_);
}
TEST_F(TrickyImage, PycdlibJolietWithIso1999) {
    ExpectExtractionMatches(TReader::PycdlibJoliet, image1999_);
}

// With ISO9660v1999FS the primary tree carries the long names in UTF-8 (cut
// at 207 bytes): read through it, the sources come back as well. (xorriso is
// not asked: it shows every non-ASCII byte of a primary-tree name as '_'.)
TEST_F(TrickyImage, Iso1999PrimaryTreeThroughPycdlib) {
    ExpectExtractionMatches(TReader::PycdlibIso, image1999_, 0, 207);
}

// With the UDF bridge the ISO 9660 and Joliet trees move behind its fixed
// area and the file data behind its file stream: both views must still give
// back the sources (UDF names longer than 127 characters are cut).
TEST_F(TrickyImage, UdfBridgeImageThroughJolietAndUdf) {
    ExpectExtractionMatches(TReader::Xorriso, udf_);
    ExpectExtractionMatches(TReader::PycdlibJoliet, udf_);  // parses the UDF structures too
    ExpectExtractionMatches(TReader::SevenZipUdf, udf_, 0, 127);
}

// The primary tree holds 8.3 names: every file must come out, with its
// size and contents, under some name.
TEST_F(TrickyImage, PrimaryTreeThroughXorrisoAndPycdlib) {
    for (TReader reader : {TReader::XorrisoIso, TReader::PycdlibIso}) {
        TTempDir out("tessor-extract");
        TToolResult r = ExtractImage(reader, image_, out.Path());
        if (r.exitCode == 127)
            GTEST_SKIP() << r.output;
        ASSERT_EQ(r.exitCode, 0) << ReaderName(reader) << ":\n" << r.output;
        TNode got = Snapshot(out.Path());
        EXPECT_EQ(CountFiles(got), CountFiles(*expected_)) << ReaderName(reader);
        EXPECT_EQ(CountDirs(got), CountDirs(*expected_)) << ReaderName(reader);
    }
}

TEST_F(TrickyImage, ListingReadersAcceptBothTrees) {
    for (const std::string& image : {image_, image1999_, plain_}) {
        TToolResult d = IsoinfoDescriptor(image);
        if (d.exitCode == 127)
            GTEST_SKIP() << d.output;
        EXPECT_EQ(d.exitCode, 0) << d.output;
        EXPECT_NE(d.output.find("Joliet"), std::string::npos) << d.output;
        for (bool joliet : {false, true}) {
            TToolResult l = IsoinfoList(image, joliet);
            EXPECT_EQ(l.exitCode, 0) << l.output;
        }
        TToolResult i = IsoInfoList(image, false);
        EXPECT_EQ(i.exitCode, 0) << i.output;
        EXPECT_EQ(i.output.find("++ WARN"), std::string::npos) << i.output;
    }
    TToolResult i = IsoInfoList(plain_, true);
    EXPECT_EQ(i.output.find("++ WARN"), std::string::npos) << i.output;
    EXPECT_NE(i.output.find("sector+1.bin"), std::string::npos) << i.output;
    TToolResult v = Isovfy(plain_);
    EXPECT_NE(v.output.find("No errors found"), std::string::npos) << v.output;
    TIsoReport r = CheckIsoImage(plain_);
    EXPECT_TRUE(r.faults.empty()) << r.Summary();
}

// One file over 4 GiB (sparse on both sides): two readers stream it and
// compare its md5, the others list it with its full size.
TEST(BigFileImage, MultiExtentFileReadBack) {
    TTempDir dir("tessor-big");
    std::string source = dir.Path() + "/src";
    ASSERT_TRUE(MakeDirs(source));
    ASSERT_TRUE(MakeBigFileTree(source));
    TImageBuilder b;
    ClearFiles(b);
    b.JolietFileSystem = 1;
    ASSERT_EQ(AddFolder(b, u"\\", FromSystem(source), u"*.*", true, false), b.RootDir);
    PrepareImage(b);
    std::string image = dir.Path() + "/big.iso";
    std::string why;
    ASSERT_TRUE(AssembleImage(b, image, &why)) << why;

    TIsoReport r = CheckIsoImage(image);
    EXPECT_TRUE(r.faults.empty()) << r.Summary();
    const TIsoEntry* big = r.joliet.Find("/big.bin");
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(big->size, kBigFileSize);
    EXPECT_EQ(big->records, 2u);

    const std::string sourceDigest = DigestOfFile(source + "/big.bin");
    ASSERT_FALSE(sourceDigest.empty());
    for (TReader reader : {TReader::SevenZipIso, TReader::PycdlibJoliet}) {
        std::string digest;
        TToolResult h = DigestFileInImage(reader, image, "/big.bin", digest);
        if (h.exitCode == 127)
            continue;
        EXPECT_EQ(h.exitCode, 0) << ReaderName(reader) << ": " << h.output;
        EXPECT_EQ(digest, sourceDigest) << ReaderName(reader);
    }
    // isoinfo lists each extent as a record of its own: together they make
    // the file.
    const std::string size = std::to_string(kBigFileSize);
    TToolResult iso = IsoinfoList(image, true);
    if (iso.exitCode != 127) {
        EXPECT_EQ(iso.exitCode, 0) << iso.output;
        auto lines = LinesNaming(iso.output, "big.bin");
        ASSERT_EQ(lines.size(), 2u) << iso.output;
        uint64_t total = 0;
        for (const std::string& line : lines) {
            std::istringstream fields(line);
            std::string perms, a, b2, c, bytes;
            fields >> perms >> a >> b2 >> c >> bytes;
            total += std::strtoull(bytes.c_str(), nullptr, 10);
        }
        EXPECT_EQ(total, kBigFileSize) << iso.output;
    }
    TToolResult info = IsoInfoList(image, true);
    if (info.exitCode != 127) {
        EXPECT_EQ(info.output.find("++ WARN"), std::string::npos) << info.output;
        auto lines = LinesNaming(info.output, "big.bin");
        ASSERT_FALSE(lines.empty()) << info.output;
    }
    if (ToolAvailable("bsdtar")) {
        TToolResult t =
            RunTool("bsdtar -tvf " + ShellQuote(image) + " --options 'iso9660:!rockridge'");
        EXPECT_EQ(t.exitCode, 0) << t.output;
        EXPECT_NE(t.output.find(size), std::string::npos) << t.output;
    }
    if (ToolAvailable("xorriso")) {
        TToolResult x =
            RunTool("xorriso -abort_on FAILURE -return_with FAILURE 32 -read_fs norock -indev " +
                    ShellQuote(image) + " -lsl /big.bin");
        EXPECT_EQ(x.exitCode, 0) << x.output;
        EXPECT_NE(x.output.find(size), std::string::npos) << x.output;
    }
    // isovfy is not asked: it stops at the first multi-extent record.
}

// Moves `bytes` from sector `from` to sector `to` of the image, skipping
// zeros; what was at `from` becomes other bytes, so that a reader that
// still looked there would read them.
bool MoveSectors(int fd, uint32_t from, uint32_t to, uint64_t bytes) {
    std::vector<char> chunk(1 << 20);
    const std::vector<char> zeros(chunk.size(), 0), other(chunk.size(), '\xEE');
    for (uint64_t done = 0; done < bytes; done += chunk.size()) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(chunk.size(), bytes - done));
        const off_t src = off_t(from) * kSectorSize + off_t(done);
        if (::pread(fd, chunk.data(), n, src) != static_cast<ssize_t>(n))
            return false;
        if (std::memcmp(chunk.data(), zeros.data(), n) == 0)
            continue;
        if (!WriteAllAt(fd, chunk.data(), n, off_t(to) * kSectorSize + off_t(done)) ||
            !WriteAllAt(fd, other.data(), n, src))
            return false;
    }
    return true;
}

// An earlier session whose file of 4 GiB lies in two places (its second
// extent moved behind the volume, as a session of another burner may leave
// it): the next session keeps both runs in the ISO 9660, Joliet and UDF
// trees, and readers give back its bytes from the grown volume.
TEST(BigFileImage, AFileInTwoPlacesKeepsBothInTheNextSession) {
    TTempDir dir("tessor-runs");
    const std::string source = dir.Path() + "/src";
    ASSERT_TRUE(MakeDirs(source));
    ASSERT_TRUE(MakeBigFileTree(source));
    TImageBuilder first;
    ClearFiles(first);
    first.JolietFileSystem = 1;
    first.UDFBridge = 1;
    ASSERT_NE(AddFolder(first, u"\\", FromSystem(source), u"*.*", true, false), nullptr);
    PrepareImage(first);
    const std::string disc = dir.Path() + "/disc.img";
    std::string why;
    ASSERT_TRUE(AssembleImage(first, disc, &why)) << why;
    const TFileEntry* big = FindChild(first, first.RootDir, u"big.bin");
    ASSERT_NE(big, nullptr);
    const uint32_t head = DataAddress(first, big);
    const uint32_t tail = head + kMaxExtentSectors;
    const uint64_t tailBytes = kBigFileSize - kMaxExtentBytes;
    const auto moved = static_cast<uint32_t>(first.TotalSectors.load() + 40);
    const uint32_t discEnd = moved + static_cast<uint32_t>(SectorsForBytes(tailBytes));

    int fd = ::open(disc.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, off_t(discEnd) * kSectorSize), 0);
    ASSERT_TRUE(MoveSectors(fd, tail, moved, tailBytes));
    // The second record of the file in the primary and the Joliet tree.
    std::vector<uint8_t> header(size_t(first.FirstDataLba) * kSectorSize);
    ASSERT_EQ(::pread(fd, header.data(), header.size(), 0), static_cast<ssize_t>(header.size()));
    int patched = 0;
    for (size_t at = 0; at + 34 < header.size(); ++at) {
        uint8_t* r = header.data() + at;
        if (r[0] >= 34 && GetLE32(r + 2) == tail && GetLE32(r + 10) == tailBytes) {
            PutLE32(r + 2, moved);
            PutBE32(r + 6, moved);
            ++patched;
        }
    }
    ASSERT_EQ(patched, 2);
    ASSERT_TRUE(WriteAllAt(fd, header.data(), header.size(), 0));
    auto read = [fd](uint32_t lba, uint32_t count, uint8_t* out) {
        const size_t n = size_t(count) * kSectorSize;
        return ::pread(fd, out, n, off_t(lba) * kSectorSize) == static_cast<ssize_t>(n);
    };
    TRecordedSession session;
    ASSERT_TRUE(ReadRecordedSession(read, 0, discEnd, session)) << session.Error;
    const auto recorded =
        std::find_if(session.Entries.begin(), session.Entries.end(),
                     [](const TRecordedEntry& e) { return e.Name == u"big.bin"; });
    ASSERT_NE(recorded, session.Entries.end());
    EXPECT_EQ(recorded->Runs,
              (std::vector<TRecordedRun>{{head, kMaxExtentBytes}, {moved, tailBytes}}));

    // The next session, behind the volume; its first block and an anchor
    // at 256 then describe the grown volume, as on overwritable media.
    TImageBuilder next;
    ClearFiles(next);
    next.JolietFileSystem = 1;
    next.UDFBridge = 1;
    ASSERT_EQ(CarryRecordedSession(next, session), 3);
    PrepareImage(next);
    const uint32_t start = (discEnd + 31) / 32 * 32;
    next.SessionStartLba = next.UdfLbaBase = next.VolumeSizeBias = static_cast<int32_t>(start);
    ASSERT_TRUE(BuildHeaderArea(next));
    const std::string part = dir.Path() + "/next.img";
    ASSERT_TRUE(AssembleImage(next, part, &why)) << why;
    std::ifstream in(part, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
    std::vector<uint8_t> anchor(kSectorSize);
    BuildUdfAnchor(next, anchor.data(), 256 - static_cast<int32_t>(start));
    ASSERT_TRUE(WriteAllAt(fd, bytes.data(), bytes.size(), off_t(start) * kSectorSize));
    ASSERT_TRUE(WriteAllAt(fd, bytes.data(), 32 * kSectorSize, 0));
    ASSERT_TRUE(WriteAllAt(fd, anchor.data(), anchor.size(), 256 * kSectorSize));
    ::close(fd);

    TIsoReport iso = CheckIsoImage(disc);
    EXPECT_TRUE(iso.faults.empty()) << iso.Summary();
    TUdfVolume udf = CheckUdfImage(disc);
    EXPECT_TRUE(udf.Errors.empty()) << Join(udf.Errors);
    const std::string crc = DigestOfFile(source + "/big.bin");
    const std::string md5 = Md5OfFileOnDisk(source + "/big.bin");
    std::string digest;
    for (TReader reader : {TReader::SevenZipIso, TReader::PycdlibJoliet}) {
        TToolResult h = DigestFileInImage(reader, disc, "/big.bin", digest);
        if (h.exitCode == 127)
            continue;
        EXPECT_EQ(h.exitCode, 0) << ReaderName(reader) << ": " << h.output;
        EXPECT_EQ(digest, crc) << ReaderName(reader);
    }
    TToolResult u = Md5Through7zUdf(disc, "big.bin", digest);
    if (u.exitCode != 127) {
        EXPECT_EQ(u.exitCode, 0) << u.output;
        EXPECT_EQ(digest, md5) << "through UDF";
    }
    TToolResult l = IsoinfoList(disc, true);
    if (l.exitCode != 127) {
        auto lines = LinesNaming(l.output, "big.bin");
        EXPECT_EQ(lines.size(), 2u) << l.output;
        EXPECT_NE(l.output.find("[" + std::to_string(moved) + " 00]"), std::string::npos)
            << "the second record points behind the volume\n"
            << l.output;
    }
}

}  // namespace
}  // namespace tessor::builder
