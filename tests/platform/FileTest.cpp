#include "engine/platform/File.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

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

}  // namespace
}  // namespace tessor::platform
