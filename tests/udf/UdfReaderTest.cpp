// Whole images judged through their UDF tree by readers we did not write,
// compared name by name and byte by byte with the sources, and by our own
// strict structure pass.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "engine/builder/ISO9660.h"
#include "engine/builder/Tree.h"
#include "engine/component/DiscBurner.h"
#include "engine/platform/Strings.h"
#include "tests/support/ImageAssembler.h"
#include "tests/support/ImageWriter.h"
#include "tests/support/ReaderHarness.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TrickyTree.h"
#include "tests/support/UdfCheck.h"
#include "tests/support/UdfImage.h"
#include "tests/support/UdfReaders.h"

using namespace tessor::builder;
using namespace tessor::testsupport;

namespace {

std::string Errors(const std::vector<std::string>& lines) {
    std::string s;
    for (const auto& e : lines)
        s += e + "\n";
    return s;
}

// Builds an image of `source` (every file and folder below it, at the
// root) with Joliet and the UDF bridge.
bool MakeImage(const std::string& source, const std::string& image, const char16_t* label,
               std::string& error) {
    auto b = std::make_unique<TImageBuilder>();
    ClearFiles(*b);
    b->UDFBridge = 1;
    b->JolietFileSystem = 1;
    SetVolumeLabelW(*b, label);
    if (AddFolder(*b, u"\\", tessor::platform::FromSystem(source), u"*.*", true, false) ==
        nullptr) {
        error = "AddFolder failed";
        return false;
    }
    PrepareImage(*b);
    b->UdfLbaBase = 0;
    return WriteImageFile(*b, image, &error);
}

// The tricky tree, plus what the UDF identifiers find awkward: a folder of
// 120 names of 107 characters (its identifiers cross many sectors), names
// over 127 characters in a folder of their own, a file ending exactly on a
// 64 KiB block after others, a hidden file in a deep folder.
class UdfReaders : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new TTempDir("tessor-udf-readers");
        source_ = dir_->Path() + "/src";
        image_ = dir_->Path() + "/tricky.iso";
        bool ok = MakeDirs(source_) && MakeTrickyTree(source_);
        for (int i = 0; ok && i < 120; ++i)
            ok = WritePatternFile(source_ + "/identifiers/" +
                                      NameOfLength(107, "id" + std::to_string(i) + "-", ".txt"),
                                  static_cast<uint64_t>(i * 37), 500 + i);
        ok = ok &&
             WritePatternFile(source_ + "/cuts/" + NameOfLength(200, "cut-", ".txt"), 77, 901) &&
             WritePatternFile(source_ + "/cuts/" + NameOfLength(128, "cut-", ".txt"), 78, 902) &&
             WritePatternFile(source_ + "/cuts/" + NameOfLength(127, "cut-", ".txt"), 79, 903) &&
             WritePatternFile(source_ + "/blocks/aligned.bin", 3 * 65536, 904) &&
             WritePatternFile(source_ + "/d1/d2/d3/.secret", 5, 905);
        std::string error;
        ok = ok && MakeImage(source_, image_, u"Tricky UDF ÄÖÜ 2025", error);
        built_ = ok;
        buildError_ = error;
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(built_) << "image not built: " << buildError_; }

    static void ExpectSameTree(const std::string& extracted, const char* reader) {
        TCompareOptions options;
        options.maxNameUnits = 127;
        const auto diff = CompareTrees(Snapshot(source_), Snapshot(extracted), options);
        EXPECT_TRUE(diff.empty()) << reader << ":\n" << Errors(diff);
    }

    static TTempDir* dir_;
    static std::string source_;
    static std::string image_;
    static bool built_;
    static std::string buildError_;
};

TTempDir* UdfReaders::dir_ = nullptr;
std::string UdfReaders::source_;
std::string UdfReaders::image_;
bool UdfReaders::built_ = false;
std::string UdfReaders::buildError_;

TEST_F(UdfReaders, StrictStructurePassAgreesWithTheSources) {
    const TUdfVolume v = CheckUdfImage(image_);
    EXPECT_TRUE(v.Errors.empty()) << Errors(v.Errors);
    const TNode src = Snapshot(source_, 0);
    EXPECT_EQ(v.Files, CountFiles(src));
    EXPECT_EQ(v.Directories, CountDirs(src) + 1);
    EXPECT_EQ(Utf8(v.LogicalVolumeIdentifier), "Tricky UDF ÄÖÜ 2025");
    EXPECT_EQ(Utf8(v.VolumeIdentifier), "Tricky UDF ÄÖÜ ");
}

TEST_F(UdfReaders, SevenZipExtractsEveryNameAndByte) {
    if (!ToolAvailable("7z"))
        GTEST_SKIP() << "7z not installed";
    TTempDir out("tessor-udf-7z");
    const TToolResult r = ExtractImage(TReader::SevenZipUdf, image_, out.Path());
    ASSERT_EQ(r.exitCode, 0) << r.output;
    ExpectSameTree(out.Path(), "7z -tudf");
}

TEST_F(UdfReaders, PycdlibRecordsGiveEveryNameAndByte) {
    TTempDir out("tessor-udf-pycdlib");
    const TToolResult r = PycdlibUdfRecordsExtract(image_, out.Path());
    ASSERT_EQ(r.exitCode, 0) << r.output;
    ExpectSameTree(out.Path(), "pycdlib UDF records");
}

TEST_F(UdfReaders, UdfinfoReadsTheVolumeStructures) {
    if (!ToolAvailable("udfinfo"))
        GTEST_SKIP() << "udfinfo not installed";
    std::map<std::string, std::string> values;
    const TToolResult r = Udfinfo(image_, values);
    ASSERT_EQ(r.exitCode, 0) << r.output;
    const TNode src = Snapshot(source_, 0);
    EXPECT_EQ(values["udfrev"], "1.50") << r.output;
    EXPECT_EQ(values["integrity"], "closed") << r.output;
    EXPECT_EQ(values["numfiles"], std::to_string(CountFiles(src))) << r.output;
    EXPECT_EQ(values["numdirs"], std::to_string(CountDirs(src) + 1)) << r.output;
    EXPECT_EQ(values["lvid"], "Tricky UDF ÄÖÜ 2025") << r.output;
    EXPECT_NE(r.output.find("type=ANCHOR"), std::string::npos) << r.output;
}

bool IsAscii(const std::string& text) {
    for (unsigned char c : text)
        if (c >= 0x80)
            return false;
    return true;
}

// Every file below `node` with its path, and whether each component fits
// an identifier uncut.
void ListFiles(const TNode& node, const std::string& path,
               std::vector<std::pair<std::string, bool>>& out) {
    for (const auto& [name, child] : node.children) {
        const std::string p = path.empty() ? name : path + "/" + name;
        const bool fits = tessor::platform::FromSystem(name).size() <= 127;
        if (child.dir) {
            std::vector<std::pair<std::string, bool>> below;
            ListFiles(child, p, below);
            for (auto& [q, f] : below)
                out.emplace_back(q, f && fits);
        } else {
            out.emplace_back(p, fits);
        }
    }
}

TEST_F(UdfReaders, UdfdumpListsEveryFile) {
    if (!ToolAvailable("udfdump"))
        GTEST_SKIP() << "udfdump not installed";
    std::set<std::string> paths;
    const TToolResult r = UdfdumpPaths(image_, paths);
    ASSERT_EQ(r.exitCode, 0) << r.output;
    // udfdump lists files only and rewrites non-ASCII letters: every file
    // is there, and every ASCII path of uncut names by its name.
    std::vector<std::pair<std::string, bool>> files;
    ListFiles(Snapshot(source_, 0), "", files);
    EXPECT_EQ(paths.size(), files.size());
    for (const auto& [path, fits] : files) {
        if (fits && IsAscii(path)) {
            EXPECT_TRUE(paths.count(path)) << path << " not listed";
        }
    }
}

TEST_F(UdfReaders, UdfclientFetchesTheTree) {
    if (!ToolAvailable("udfclient"))
        GTEST_SKIP() << "udfclient not installed";
    TTempDir out("tessor-udf-udfclient");
    const TToolResult r = UdfclientExtract(image_, out.Path());
    ASSERT_EQ(r.exitCode, 0) << r.output;
    // udfclient rewrites non-ASCII letters ("Größe.txt" -> "Gr_e#FEFF.txt"):
    // the counts must agree, and every other name and byte.
    const TNode src = Snapshot(source_), got = Snapshot(out.Path());
    EXPECT_EQ(CountFiles(got), CountFiles(src));
    EXPECT_EQ(CountDirs(got), CountDirs(src));
    TCompareOptions options;
    options.maxNameUnits = 127;
    std::vector<std::string> faults;
    for (const std::string& line : CompareTrees(src, got, options)) {
        const bool renamed = (line.rfind("missing", 0) == 0 && !IsAscii(line)) ||
                             (line.rfind("extra", 0) == 0 && line.find('#') != std::string::npos);
        if (!renamed)
            faults.push_back(line);
    }
    EXPECT_TRUE(faults.empty()) << Errors(faults);
}

TEST_F(UdfReaders, LibcdioListsAndReadsThroughUdf) {
    if (!ToolAvailable("iso-info") || !ToolAvailable("iso-read"))
        GTEST_SKIP() << "libcdio-utils not installed";
    const TToolResult list = IsoInfoUdf(image_);
    ASSERT_EQ(list.exitCode, 0) << list.output;
    // libcdio converts names as UCS-2 and warns about the one name with a
    // character outside the BMP; any other warning is a fault.
    std::string warnings;
    for (size_t at = 0; (at = list.output.find("++ WARN", at)) != std::string::npos; ++at) {
        const std::string line = list.output.substr(at, list.output.find('\n', at) - at);
        if (line.find("Iconv failed") == std::string::npos)
            warnings += line + "\n";
    }
    EXPECT_TRUE(warnings.empty()) << warnings;
    TTempDir out("tessor-udf-isoread");
    for (const std::string& path : std::vector<std::string>{
             "Ελληνικά.txt", "mib+3.bin", "block.bin", "d1/d2/d3/d4/d5/d6/d7/d8/d9/d10/deep.txt",
             "identifiers/" + NameOfLength(107, "id119-", ".txt"), "blocks/aligned.bin"}) {
        const std::string target = out / "file";
        const TToolResult r = IsoReadUdf(image_, "/" + path, target);
        ASSERT_EQ(r.exitCode, 0) << path << ": " << r.output;
        EXPECT_EQ(HashFile(target), HashFile(source_ + "/" + path)) << path;
    }
}

// The same tree written by the read-ahead cache and the image writer (the
// stream produced in cache blocks, the closing anchor placed by the cache).
TEST_F(UdfReaders, ImageWrittenThroughTheCacheIsSound) {
    tessor::component::TDiscBurner burner(false);  // no owner: completion on the write thread
    burner.ClearFiles();
    burner.SetUDFBridge(true);
    burner.SetVolumeIDW(u"Through the cache");
    ASSERT_NE(burner.AddFolder(u"\\", tessor::platform::FromSystem(source_), u"*.*", true, false),
              nullptr);
    burner.PrepareImage();
    std::atomic<int> done{0};
    std::atomic<bool> failed{false};
    burner.OnWriteDone = [&](void*, uint8_t, bool f) {
        failed = f;
        ++done;
    };
    TTempDir out("tessor-udf-cache");
    const std::string image = out / "cache.iso";
    ASSERT_TRUE(burner.CreateImageFile(tessor::platform::FromSystem(image)));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (done == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(done, 1);
    ASSERT_FALSE(failed);

    const TUdfVolume v = CheckUdfImage(image);
    EXPECT_TRUE(v.Errors.empty()) << Errors(v.Errors);
    EXPECT_EQ(v.Files, CountFiles(Snapshot(source_, 0)));
    if (!ToolAvailable("7z"))
        return;
    const TToolResult r = ExtractImage(TReader::SevenZipUdf, image, out / "x");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    ExpectSameTree(out / "x", "7z -tudf, image through the cache");
}

// A file of more than 4 GiB (sparse on both sides) is described whole and
// read back by the two readers that can stream it.
TEST(UdfBigFile, FileOver4GiBIsReadBackWhole) {
    TTempDir dir("tessor-udf-big");
    const std::string source = dir.Path() + "/src", image = dir.Path() + "/big.iso";
    ASSERT_TRUE(MakeDirs(source) && MakeBigFileTree(source));
    std::string error;
    ASSERT_TRUE(MakeImage(source, image, u"BIG", error)) << error;

    const TUdfVolume v = CheckUdfImage(image);
    EXPECT_TRUE(v.Errors.empty()) << Errors(v.Errors);
    const TUdfNode* big = FindUdfNode(v.Root, "big.bin");
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(big->Size, kBigFileSize);
    EXPECT_EQ(big->Extents.size(), 5u);

    const std::string want = Md5OfFileOnDisk(source + "/big.bin");
    std::string md5;
    if (ToolAvailable("7z")) {
        const TToolResult r = Md5Through7zUdf(image, "big.bin", md5);
        ASSERT_EQ(r.exitCode, 0) << r.output;
        EXPECT_EQ(md5, want) << "7z -tudf";
    }
    const TToolResult r = Md5ThroughPycdlibUdf(image, "big.bin", md5);
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(md5, want) << "pycdlib UDF records";
    // The small file after it starts where its data really is.
    const TToolResult after = Md5ThroughPycdlibUdf(image, "z-after.txt", md5);
    ASSERT_EQ(after.exitCode, 0) << after.output;
    EXPECT_EQ(md5, Md5OfFileOnDisk(source + "/z-after.txt"));
}

// A later session: every address carries the session start, and udfinfo
// finds the volume when told where the session begins.
TEST(UdfSession, LaterSessionIsFoundFromItsStart) {
    if (!ToolAvailable("udfinfo"))
        GTEST_SKIP() << "udfinfo not installed";
    constexpr int32_t kStart = 5000;
    auto b = std::make_unique<TImageBuilder>();
    ClearFiles(*b);
    b->UDFBridge = 1;
    b->JolietFileSystem = 1;
    SetVolumeLabelW(*b, u"SESSION2");
    ASSERT_NE(AddFakeDir(*b, "\\", "dir"), nullptr);
    ASSERT_NE(AddFakeFile(*b, "\\dir", "f.txt", 3000), nullptr);
    PrepareImage(*b);
    const TUdfTestImage img = BuildUdfTestImage(*b, 32, kStart);
    EXPECT_TRUE(img.Check().Errors.empty()) << Errors(img.Check().Errors);
    TTempDir dir("tessor-udf-session");
    const std::string medium = dir / "medium.bin";
    ASSERT_TRUE(img.WriteSparse(medium));

    const TToolResult r =
        RunTool("udfinfo --startblock=" + std::to_string(kStart) + " " + ShellQuote(medium));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    const int64_t last = kStart + img.TotalSectors - 1;
    EXPECT_NE(r.output.find("start=" + std::to_string(kStart + 256) + ", blocks=1, type=ANCHOR"),
              std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("start=" + std::to_string(last) + ", blocks=1, type=ANCHOR"),
              std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("numfiles=1\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("numdirs=2\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("lvid=SESSION2\n"), std::string::npos) << r.output;
}

// A file needing more extents than its file entry holds (over 234 GiB) goes
// on in an allocation extent descriptor; 7z follows the chain (the packed
// size is the sum of every extent). The image is sparse: no data is read.
TEST(UdfBigFile, DescriptorChainBeyondTheFileEntryIsFollowed) {
    if (!ToolAvailable("7z"))
        GTEST_SKIP() << "7z not installed";
    constexpr uint64_t kExtent = (1ull << 30) - 2048;
    constexpr uint64_t kSize = 240 * kExtent + 12345;
    auto b = std::make_unique<TImageBuilder>();
    ClearFiles(*b);
    b->UDFBridge = 1;
    b->JolietFileSystem = 1;
    ASSERT_NE(AddFakeFile(*b, "\\", "small.txt", 10, "A"), nullptr);
    ASSERT_NE(AddFakeFile(*b, "\\", "huge.bin", kSize, "B"), nullptr);
    ASSERT_NE(AddFakeFile(*b, "\\", "tail.txt", 10, "C"), nullptr);
    PrepareImage(*b);
    const TUdfTestImage img = BuildUdfTestImage(*b);
    TTempDir dir("tessor-udf-chain");
    const std::string image = dir / "chain.iso";
    ASSERT_TRUE(img.WriteSparse(image));

    const TUdfVolume v = CheckUdfImage(image);
    EXPECT_TRUE(v.Errors.empty()) << Errors(v.Errors);
    ASSERT_NE(FindUdfNode(v.Root, "huge.bin"), nullptr);
    EXPECT_EQ(FindUdfNode(v.Root, "huge.bin")->AllocationExtents, 1u);

    const TToolResult r = RunTool("7z l -slt -tudf " + ShellQuote(image));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    const std::string entry = r.output.substr(r.output.find("Path = huge.bin"));
    EXPECT_NE(entry.find("Size = " + std::to_string(kSize) + "\n"), std::string::npos)
        << entry.substr(0, 300);
    EXPECT_NE(entry.find("Packed Size = " + std::to_string((kSize + 2047) / 2048 * 2048) + "\n"),
              std::string::npos)
        << entry.substr(0, 300);
    const TToolResult list = IsoInfoUdf(image);
    EXPECT_NE(list.output.find(std::to_string(kSize) + " /huge.bin"), std::string::npos)
        << list.output;
}

}  // namespace
