// An image another build made (the Windows build under wine), read by the
// same readers as the images made here: TESSOR_FOREIGN_IMAGE names the image
// and TESSOR_FOREIGN_TREE the folder it was made of (its root's contents).
// Without them the suite has nothing to read and skips.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <string>

#include "tests/support/IsoCheck.h"
#include "tests/support/ReaderHarness.h"
#include "tests/support/TestFiles.h"
#include "tests/support/UdfCheck.h"

namespace tessor::testsupport {
namespace {

struct TForeign {
    std::string image;
    std::string tree;
};

TForeign Foreign() {
    const char* image = std::getenv("TESSOR_FOREIGN_IMAGE");
    const char* tree = std::getenv("TESSOR_FOREIGN_TREE");
    return {image ? image : "", tree ? tree : ""};
}

#define SKIP_WITHOUT_IMAGE(f)                  \
    if ((f).image.empty() || (f).tree.empty()) \
    GTEST_SKIP() << "TESSOR_FOREIGN_IMAGE and TESSOR_FOREIGN_TREE are not set"

// Our own strict passes over both structures, with every file and folder.
TEST(ForeignImage, StrictIsoAndUdfPasses) {
    TForeign f = Foreign();
    SKIP_WITHOUT_IMAGE(f);
    TNode expected = Snapshot(f.tree);
    TIsoReport iso = CheckIsoImage(f.image);
    EXPECT_TRUE(iso.faults.empty()) << iso.Summary();
    size_t files = 0, dirs = 0;
    for (const auto& e : iso.joliet.entries)
        (e.dir ? dirs : files) += 1;
    EXPECT_EQ(files, CountFiles(expected));
    EXPECT_EQ(dirs, CountDirs(expected));
    EXPECT_EQ(iso.primary.entries.size(), iso.joliet.entries.size());
    TUdfVolume udf = CheckUdfImage(f.image);
    EXPECT_TRUE(udf.Errors.empty()) << Join(udf.Errors);
    EXPECT_EQ(udf.Files, CountFiles(expected));
}

// Every reader that extracts a tree gives back the sources exactly; the
// primary tree (8.3 names, which wine invents its own way) only by count.
struct TExtraction {
    TReader reader;
    bool namesExact;
    size_t readerNameLimit;
};

class ForeignExtraction : public ::testing::TestWithParam<TExtraction> {};

TEST_P(ForeignExtraction, GivesBackTheSources) {
    TForeign f = Foreign();
    SKIP_WITHOUT_IMAGE(f);
    const TExtraction& c = GetParam();
    TTempDir out("tessor-extract");
    TToolResult r = ExtractImage(c.reader, f.image, out.Path());
    if (r.exitCode == 127)
        GTEST_SKIP() << r.output;
    ASSERT_EQ(r.exitCode, 0) << ReaderName(c.reader) << ":\n" << r.output;
    TNode expected = Snapshot(f.tree);
    TNode got = Snapshot(out.Path());
    if (!c.namesExact) {
        EXPECT_EQ(CountFiles(got), CountFiles(expected)) << ReaderName(c.reader);
        EXPECT_EQ(CountDirs(got), CountDirs(expected)) << ReaderName(c.reader);
        return;
    }
    TCompareOptions options;
    options.maxNameUnits = 110;
    options.readerNameLimit = c.readerNameLimit;
    auto diff = CompareTrees(expected, got, options);
    EXPECT_TRUE(diff.empty()) << ReaderName(c.reader) << " differs from the sources:\n"
                              << Join(diff);
}

INSTANTIATE_TEST_SUITE_P(Readers, ForeignExtraction,
                         ::testing::Values(TExtraction{TReader::Xorriso, true, 0},
                                           TExtraction{TReader::SevenZipIso, true, 0},
                                           TExtraction{TReader::SevenZipUdf, true, 0},
                                           TExtraction{TReader::Bsdtar, true, 103},
                                           TExtraction{TReader::PycdlibJoliet, true, 0},
                                           TExtraction{TReader::PycdlibUdf, true, 0},
                                           TExtraction{TReader::XorrisoIso, false, 0},
                                           TExtraction{TReader::PycdlibIso, false, 0}),
                         [](const auto& info) {
                             std::string name = ReaderName(info.param.reader);
                             std::string out;
                             for (char ch : name)
                                 if (std::isalnum(static_cast<unsigned char>(ch)))
                                     out += ch;
                             return out;
                         });

// The listing readers take both trees without a complaint.
TEST(ForeignImage, ListingReadersAcceptIt) {
    TForeign f = Foreign();
    SKIP_WITHOUT_IMAGE(f);
    TToolResult d = IsoinfoDescriptor(f.image);
    if (d.exitCode == 127)
        GTEST_SKIP() << d.output;
    EXPECT_EQ(d.exitCode, 0) << d.output;
    EXPECT_NE(d.output.find("Joliet"), std::string::npos) << d.output;
    for (bool joliet : {false, true}) {
        EXPECT_EQ(IsoinfoList(f.image, joliet).exitCode, 0);
        TToolResult i = IsoInfoList(f.image, joliet);
        EXPECT_EQ(i.exitCode, 0) << i.output;
        EXPECT_EQ(i.output.find("++ WARN"), std::string::npos) << i.output;
    }
    TToolResult v = Isovfy(f.image);
    EXPECT_NE(v.output.find("No errors found"), std::string::npos) << v.output;
}

}  // namespace
}  // namespace tessor::testsupport
