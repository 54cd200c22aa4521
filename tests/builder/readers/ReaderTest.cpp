// Whole images judged by readers we did not write: the tricky tree extracted
// through every Joliet reader and compared name by name and byte by byte
// with its sources; the primary tree listed and checked; a file over 4 GiB
// read back by two readers and listed by the others.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "engine/builder/ISO9660.h"
#include "engine/builder/Tree.h"
#include "engine/platform/Strings.h"
#include "tests/support/ImageAssembler.h"
#include "tests/support/ImageWriter.h"
#include "tests/support/IsoCheck.h"
#include "tests/support/ReaderHarness.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TrickyTree.h"

namespace tessor::builder {
namespace {

using namespace tessor::testsupport;
using platform::FromSystem;

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

}  // namespace
}  // namespace tessor::builder
