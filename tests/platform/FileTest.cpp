#include "engine/platform/File.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <vector>

#include "engine/platform/Strings.h"
#include "tests/platform/TempDir.h"

namespace tessor::platform {
namespace {

using test::TTempDir;

TEST(File, WriteThenReadBack) {
    TTempDir dir;
    std::u16string path = FromSystem(dir / "data.bin");
    std::vector<unsigned char> data(300000);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<unsigned char>(i * 7);
    {
        TFile out;
        ASSERT_TRUE(out.Create(path));
        ASSERT_TRUE(out.Write(data.data(), data.size()));
        EXPECT_EQ(out.Size(), int64_t(data.size()));
        ASSERT_TRUE(out.Close());
    }
    TFile in;
    TFileStamp opened, now;
    ASSERT_TRUE(in.OpenRead(path, &opened));
    EXPECT_EQ(in.Size(), int64_t(data.size()));
    // The stamp taken as it opened is the file's, as a later look sees it.
    ASSERT_TRUE(in.Stamp(now));
    EXPECT_EQ(opened, now);
    EXPECT_EQ(opened.Size, int64_t(data.size()));
    std::vector<unsigned char> back(data.size() + 100);
    EXPECT_EQ(in.Read(back.data(), back.size()), int64_t(data.size()));  // short at the end
    back.resize(data.size());
    EXPECT_EQ(back, data);
    EXPECT_EQ(in.Read(back.data(), 10), 0);

    // Moving hands the descriptor over.
    TFile moved = std::move(in);
    EXPECT_FALSE(in.IsOpen());
    EXPECT_TRUE(moved.IsOpen());

    // Create truncates.
    TFile again;
    ASSERT_TRUE(again.Create(path));
    again.Close();
    struct stat st {};
    ASSERT_EQ(stat((dir / "data.bin").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 0);
}

TEST(File, RefusesWhatCannotBeReadAsAFile) {
    TTempDir dir;
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);
    TFile f;
    EXPECT_FALSE(f.OpenReadNarrow(dir / "fifo"));  // and does not wait for a writer
    EXPECT_EQ(f.LastError(), EINVAL);
    EXPECT_FALSE(f.OpenReadNarrow(dir.Path()));
    EXPECT_EQ(f.LastError(), EISDIR);
    EXPECT_FALSE(f.OpenReadNarrow(dir / "missing"));
    EXPECT_EQ(f.LastError(), ENOENT);
    EXPECT_FALSE(f.IsOpen());
    char c;
    EXPECT_EQ(f.Read(&c, 1), -1);
    EXPECT_FALSE(f.Write(&c, 1));
    EXPECT_EQ(f.Size(), -1);
    EXPECT_FALSE(f.Create(FromSystem(dir / "no/such/folder")));
    EXPECT_EQ(f.LastError(), ENOENT);
}

// Files opened one after another through their folders' handles: each
// opens as by its whole path, with the same errors, whichever folder came
// before; and a read that tells where its data came from reads the same.
TEST(File, FolderOpenerOpensAsTheWholePathWould) {
    TTempDir dir;
    ASSERT_TRUE(dir.MakeDir("a") && dir.MakeDir("b"));
    for (const char* name : {"a/one", "a/two", "b/one"}) {
        TFile out;
        ASSERT_TRUE(out.Create(FromSystem(dir / name)));
        ASSERT_TRUE(out.Write(name, std::strlen(name)));
    }
    ASSERT_EQ(mkfifo((dir / "a/fifo").c_str(), 0644), 0);
    struct {
        const char* name;
        int error;
    } cases[] = {{"a/one", 0},       {"a/two", 0},       {"b/one", 0}, {"a/fifo", EINVAL},
                 {"a/none", ENOENT}, {"c/none", ENOENT}, {"a/one", 0}, {"a", EISDIR},
                 {"a/", EISDIR},     {"b/one", 0}};
    TFolderOpener opener;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TFile in;
        TFileStamp stamp;
        bool opened = opener.OpenRead(in, FromSystem(dir / c.name), &stamp);
        EXPECT_EQ(opened, c.error == 0);
        EXPECT_EQ(in.LastError(), c.error);
        if (!opened)
            continue;
        char back[16] = {};
        TReadWait waited = TReadWait::Yes;
        EXPECT_EQ(in.Read(back, sizeof back, waited), int64_t(std::strlen(c.name)));
        EXPECT_STREQ(back, c.name);
        EXPECT_NE(waited, TReadWait::Yes);  // just written: in memory
        EXPECT_EQ(stamp.Size, int64_t(std::strlen(c.name)));
    }
}

}  // namespace
}  // namespace tessor::platform
