// Identical files written once, through the component as the front ends use
// it: which files make a set, what the event reports (sizes past 2 GiB
// included), Abort in the middle, and sources that change or vanish between
// the comparison and the write.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "engine/builder/Tree.h"
#include "engine/component/DiscBurner.h"
#include "engine/platform/Strings.h"
#include "tests/support/SupportSystem.h"
#include "tests/support/TestFiles.h"

namespace tessor::component::test {
namespace {

using testsupport::TTempDir;

constexpr uint64_t kMiB = 1 << 20;

// One file of a case: a name under src/ and how to make it.
struct TSource {
    std::string name;
    uint64_t size;
    uint32_t seed;
    std::string linkTo = {};  // a hard link to this earlier source instead
    int64_t lastByte = -1;    // the last byte set to this value
};

bool MakeSource(const std::string& root, const TSource& s) {
    std::string path = root + "/" + s.name;
    if (!testsupport::MakeDirs(path.substr(0, path.rfind('/'))))
        return false;
    if (!s.linkTo.empty())
        return testsupport::MakeHardLink(root + "/" + s.linkTo, path);
    if (!testsupport::WritePatternFile(path, s.size, s.seed))
        return false;
    if (s.lastByte >= 0) {
        FILE* f = std::fopen(path.c_str(), "r+b");
        bool ok = f && std::fseek(f, -1, SEEK_END) == 0 && std::fputc(int(s.lastByte), f) != EOF;
        if (f)
            std::fclose(f);
        return ok;
    }
    return true;
}

class SmartReferences : public ::testing::Test {
protected:
    TTempDir dir{"tessor-smartref"};
    TDiscBurner burner{true};
    std::string Src() { return dir / "src"; }

    void Compile(const std::vector<TSource>& sources, bool udf = true) {
        ASSERT_TRUE(testsupport::MakeDirs(Src()));
        for (const TSource& s : sources)
            ASSERT_TRUE(MakeSource(Src(), s)) << s.name;
        Add(udf);
    }
    void Add(bool udf = true) {
        burner.SetUDFBridge(udf);
        burner.ClearFiles();
        ASSERT_NE(burner.AddFolder(u"\\", platform::FromSystem(Src()), u"*.*", true, false),
                  nullptr);
    }
    // Runs the search to its event; abortAtOnce calls Abort right after
    // the start.
    std::pair<bool, int64_t> Generate(bool abortAtOnce = false) {
        bool done = false, failed = false;
        int64_t saved = -1;
        burner.OnGenerateSmartReferencesDone = [&](void* sender, bool f, int64_t bytes) {
            EXPECT_EQ(sender, &burner);
            done = true;
            failed = f;
            saved = bytes;
        };
        EXPECT_TRUE(burner.GenerateSmartReferences());
        if (abortAtOnce)
            burner.Abort();
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (!done && std::chrono::steady_clock::now() < deadline)
            burner.Messages()->WaitAndDispatch(50);
        EXPECT_TRUE(done);
        EXPECT_EQ(burner.Status(), builder::S_IDLE);
        return {failed, saved};
    }
    // Prepares and writes the image; the sectors, or -1 when the write failed.
    int32_t WriteImage(const std::string& name, std::string* error = nullptr) {
        burner.PrepareImage();
        bool done = false, failed = true;
        burner.OnWriteDone = [&](void*, uint8_t, bool f) {
            done = true;
            failed = f;
        };
        // A write that ends before it starts returns false, its event
        // raised all the same.
        bool started = burner.CreateImageFile(platform::FromSystem(dir / name));
        burner.Messages()->DispatchPending();
        while (started && !done)
            burner.Messages()->WaitAndDispatch(50);
        if (!started || failed) {
            auto report = burner.TakeError();
            if (error)
                *error = report.Text + " " + report.Detail;
            return -1;
        }
        return burner.ImageSectors();
    }
};

// Which files make a set, and the image shrinks by their sectors.
TEST_F(SmartReferences, SetsAreFilesOfEqualBytesOnly) {
    const uint64_t big = kMiB + kMiB / 2;  // past the digest's part
    struct TCase {
        const char* what;
        std::vector<TSource> sources;
        uint64_t files;
        uint64_t saved;
        int32_t sharedSectors;  // sectors the shared names do not take
    } cases[] = {
        {"three copies in three folders",
         {{"a/x", 5000, 1}, {"b/x", 5000, 1}, {"c/y", 5000, 1}},
         2,
         10000,
         6},
        {"empty files are no copies", {{"e1", 0, 1}, {"e2", 0, 1}}, 0, 0, 0},
        {"equal size, other bytes", {{"p", 4096, 1}, {"q", 4096, 1u << 30}}, 0, 0, 0},
        {"equal digest, last byte differs",
         {{"m1", big, 3}, {"m2", big, 3, "", 0x55}, {"m3", big, 3}},
         1,
         big,
         768},
        {"hard links are one file without a search",
         {{"h1", 9000, 4}, {"h2", 0, 0, "h1"}},
         0,
         0,
         5},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(testsupport::Utf8Path(Src()));
        Compile(c.sources);
        int64_t names = 0, links = 0;
        for (const TSource& s : c.sources) {
            uint64_t size = s.size;
            for (const TSource& t : c.sources)
                if (!s.linkTo.empty() && t.name == s.linkTo)
                    size = t.size;
            names += static_cast<int64_t>(builder::SectorsForBytes(size));
            links += s.linkTo.empty() ? 0 : static_cast<int64_t>(builder::SectorsForBytes(size));
        }
        burner.PrepareImage();
        EXPECT_EQ(burner.Builder().FileDataSectors, names - links) << "before the search";
        auto [failed, saved] = Generate();
        EXPECT_FALSE(failed);
        EXPECT_EQ(saved, static_cast<int64_t>(c.saved));
        EXPECT_EQ(burner.SmartReferenceFiles(), c.files);
        std::string why;
        EXPECT_GT(WriteImage("shared.iso", &why), 0) << why;
        EXPECT_EQ(burner.Builder().FileDataSectors, names - c.sharedSectors) << "after it";
    }
}

// A file of a set that changes or goes after the comparison is not recorded
// with another's contents: the write fails naming it. One that goes before
// the comparison stays out of the set and fails the write as any missing
// source does.
TEST_F(SmartReferences, SourceChangedOrGoneFailsTheWriteNamingIt) {
    struct TCase {
        const char* what;
        const char* name;  // of a, b, c (a leads the set)
        bool rewrite;      // new bytes, same size; else removed
        bool beforeSearch;
        uint64_t files;
    } cases[] = {
        {"a copy rewritten", "b", true, false, 2},
        {"the first of the set rewritten", "a", true, false, 2},
        {"a copy removed", "c", false, false, 2},
        {"a copy removed before the search", "b", false, true, 1},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(testsupport::Utf8Path(Src()));
        Compile({{"a", 70000, 7}, {"b", 70000, 7}, {"c", 70000, 7}});
        const std::string path = Src() + "/" + c.name;
        auto change = [&] {
            if (!c.rewrite) {
                ASSERT_EQ(::unlink(path.c_str()), 0);
                return;
            }
            ASSERT_TRUE(testsupport::WritePatternFile(path, 70000, 7 + (1u << 30)));
            // A later edit: its time differs even where the clock is coarse.
            ASSERT_TRUE(testsupport::SetModifiedTime(path, time(nullptr) + 5));
        };
        if (c.beforeSearch)
            change();
        auto [failed, saved] = Generate();
        EXPECT_FALSE(failed);
        EXPECT_EQ(burner.SmartReferenceFiles(), c.files);
        if (!c.beforeSearch)
            change();
        std::string why;
        EXPECT_EQ(WriteImage("changed.iso", &why), -1);
        EXPECT_NE(why.find(testsupport::SystemJoin(Src(), c.name)), std::string::npos)
            << "[" << why << "]";
    }
}

// Abort stops a comparison in the middle and leaves no set; the next search
// reports a saving past 2 GiB at full width.
TEST_F(SmartReferences, AbortInTheMiddleThenSavingPastTwoGiB) {
    const uint64_t size = 5 * (uint64_t{1} << 29);  // 2.5 GiB, sparse
    ASSERT_TRUE(testsupport::MakeDirs(Src()));
    ASSERT_TRUE(testsupport::WriteSparseFile(Src() + "/one.bin", size, 3));
    ASSERT_TRUE(testsupport::WriteSparseFile(Src() + "/two.bin", size, 3));
    Add();
    auto [aborted, none] = Generate(true);
    EXPECT_TRUE(aborted);
    EXPECT_EQ(none, 0);
    EXPECT_EQ(burner.SmartReferenceFiles(), 0u);
    EXPECT_EQ(burner.WrittenSectors() < burner.ImageSectors(), true) << "it stopped early";

    auto [failed, saved] = Generate();
    EXPECT_FALSE(failed);
    EXPECT_EQ(saved, static_cast<int64_t>(size));
    burner.PrepareImage();
    EXPECT_EQ(burner.Builder().FileDataSectors, static_cast<int32_t>(size / 2048));
}

}  // namespace
}  // namespace tessor::component::test
