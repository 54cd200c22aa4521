// The engine's sector stream against an independent assembly of the same
// layout (the test support writes every structure and file at the sector
// the layout gives it): the two images must be identical, byte for byte.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "engine/builder/ISO9660.h"
#include "engine/builder/Tree.h"
#include "engine/platform/Strings.h"
#include "tests/support/ImageAssembler.h"
#include "tests/support/ImageWriter.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TrickyTree.h"

namespace tessor::writer::test {
namespace {

class StreamCrossCheck : public ::testing::TestWithParam<bool> {};

TEST_P(StreamCrossCheck, EngineImageEqualsTheAssembledLayout) {
    bool udf = GetParam();
    testsupport::TTempDir dir("tessor-crosscheck");
    ASSERT_TRUE(testsupport::MakeTrickyTree(dir / "tree"));
    builder::TImageBuilder b;
    builder::ClearFiles(b);
    b.JolietFileSystem = 1;
    b.UDFBridge = udf;
    builder::SetVolumeLabel(b, "CROSSCHECK");
    ASSERT_NE(builder::AddFolder(b, u"\\", platform::FromSystem(dir / "tree"), u"*.*", true, false),
              nullptr);
    builder::PrepareImage(b);
    std::string why;
    ASSERT_TRUE(testsupport::AssembleImage(b, dir / "assembled.iso", &why)) << why;
    // The UDF stream is produced once per layout: lay out again, with the
    // first layout's time stamp so that both carry the same times.
    uint8_t stamp[sizeof b.UdfTimestamp];
    std::memcpy(stamp, b.UdfTimestamp, sizeof stamp);
    builder::PrepareImage(b);
    std::memcpy(b.UdfTimestamp, stamp, sizeof stamp);
    ASSERT_TRUE(testsupport::WriteImageFile(b, dir / "engine.iso", &why)) << why;

    auto size = [](const std::string& p) { return std::filesystem::file_size(p); };
    ASSERT_EQ(size(dir / "engine.iso"), size(dir / "assembled.iso"));
    EXPECT_EQ(testsupport::HashFile(dir / "engine.iso"),
              testsupport::HashFile(dir / "assembled.iso"))
        << "the engine's stream differs from the layout";
}

INSTANTIATE_TEST_SUITE_P(Layouts, StreamCrossCheck, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "WithUdf" : "IsoAndJoliet"; });

}  // namespace
}  // namespace tessor::writer::test
