// Image files made through the component: size and contents of the stream,
// the failure paths and their texts, and exactly one completion per write.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <thread>

#include "WriterFixture.h"
#include "engine/builder/Tree.h"
#include "engine/component/DiscBurner.h"

namespace tessor::writer::test {
namespace {

using component::TDiscBurner;

builder::TFileEntry* EntryFor(TDiscBurner& burner, const std::string& name) {
    builder::TImageBuilder& b = burner.Builder();
    for (int32_t i = 0; i < b.FileCount; ++i) {
        if (platform::ToSystem(b.FileTable[i]->LongName) == name)
            return b.FileTable[i];
    }
    return nullptr;
}

// The bytes of a file as the image holds them: at its sector, and the rest
// of its last sector.
void ExpectFileInImage(TDiscBurner& burner, const std::string& image, const std::string& name,
                       const std::string& source) {
    builder::TFileEntry* e = EntryFor(burner, name);
    ASSERT_NE(e, nullptr) << name;
    std::string img = ReadAll(image);
    std::string data = ReadAll(source);
    uint64_t at = (static_cast<uint64_t>(burner.Builder().FirstDataLba) + e->DataLba) * 2048;
    ASSERT_LE(at + data.size(), img.size()) << name;
    EXPECT_EQ(img.compare(at, data.size(), data), 0) << name << " differs in the image";
    uint64_t padded = builder::SectorsForBytes(data.size()) * 2048;
    for (uint64_t i = data.size(); i < padded; ++i) {
        ASSERT_EQ(img[at + i], '\0') << name << ": padding byte " << i << " is not zero";
    }
}

class ImageWriteTest : public ::testing::Test {
protected:
    TScratch dir;
    TDiscBurner burner{true};

    void SetUp() override {
        burner.ClearFiles();
        burner.SetUDFBridge(false);
    }
};

TEST_F(ImageWriteTest, StreamHoldsEverySectorOfTheLayout) {
    // Sizes around sector and block edges: empty, one byte over a sector,
    // exactly one block, a block and a byte, and a file filling the rest of
    // a block after the others.
    std::string a = dir.Write("src/a.bin", 0);
    std::string b = dir.Write("src/b.bin", 2049, 2);
    std::string c = dir.Write("src/c.bin", 65536, 3);
    std::string d = dir.Write("src/d.bin", 65537, 4);
    std::string e = dir.Write("src/sub/e.bin", 3 * 1024 * 1024 + 5, 5);
    ASSERT_TRUE(burner.AddFolder(u"\\", platform::FromSystem(dir / "src"), u"*.*", true, false));
    burner.PrepareImage();
    std::string image = dir / "out.iso";
    TWriteRun run = RunImage(burner, image);
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.completions, 1);
    EXPECT_FALSE(run.failed);
    EXPECT_EQ(run.completionThread, std::this_thread::get_id());

    struct stat st;
    ASSERT_EQ(stat(image.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, static_cast<off_t>(burner.ImageSectors()) * 2048);
    EXPECT_EQ(st.st_size % 65536, 0);
    EXPECT_EQ(burner.WrittenSectors(), burner.ImageSectors());
    std::string img = ReadAll(image);
    EXPECT_EQ(img[16 * 2048], 1);
    EXPECT_EQ(img.compare(16 * 2048 + 1, 5, "CD001"), 0);
    ExpectFileInImage(burner, image, "b.bin", b);
    ExpectFileInImage(burner, image, "c.bin", c);
    ExpectFileInImage(burner, image, "d.bin", d);
    ExpectFileInImage(burner, image, "e.bin", e);
    EXPECT_EQ(burner.Status(), builder::S_IDLE);
    EXPECT_EQ(burner.ErrorText(), "Unknown/No Error!");
}

TEST_F(ImageWriteTest, SmallCacheKeepsTheStreamIntact) {
    burner.SetCacheSize(2);
    std::string big = dir.Write("big.bin", 21 * 1024 * 1024 + 123, 9);
    std::string small = dir.Write("small.bin", 100, 10);
    ASSERT_NE(burner.AddFile(u"\\", platform::FromSystem(big)), nullptr);
    ASSERT_NE(burner.AddFile(u"\\", platform::FromSystem(small)), nullptr);
    burner.PrepareImage();
    std::string image = dir / "out.iso";
    TWriteRun run = RunImage(burner, image);
    ASSERT_TRUE(run.started);
    EXPECT_FALSE(run.failed);
    EXPECT_EQ(burner.Builder().MaxBlocks, 32);
    ExpectFileInImage(burner, image, "big.bin", big);
    ExpectFileInImage(burner, image, "small.bin", small);
}

TEST_F(ImageWriteTest, ExistingImageIsReplaced) {
    std::string image = dir.Write("out.iso", 50 * 1024 * 1024);
    dir.Write("x.txt", 10);
    ASSERT_NE(burner.AddFile(u"\\", platform::FromSystem(dir / "x.txt")), nullptr);
    burner.PrepareImage();
    TWriteRun run = RunImage(burner, image);
    ASSERT_FALSE(run.failed);
    EXPECT_EQ(std::filesystem::file_size(image),
              static_cast<uintmax_t>(burner.ImageSectors()) * 2048);
}

TEST_F(ImageWriteTest, SourceGoneBeforeTheWriteNamesIt) {
    std::string gone = dir.Write("gone.txt", 5000);
    ASSERT_NE(burner.AddFile(u"\\", platform::FromSystem(gone)), nullptr);
    burner.PrepareImage();
    ASSERT_EQ(unlink(gone.c_str()), 0);
    TWriteRun run = RunImage(burner, dir / "out.iso");
    EXPECT_EQ(run.completions, 1);
    EXPECT_TRUE(run.failed);
    EXPECT_EQ(burner.ErrorText(), "Error opening file \\" + gone + "\\");
    EXPECT_EQ(burner.ErrorText(), "Unknown/No Error!");
    EXPECT_EQ(burner.Status(), builder::S_IDLE);
}

TEST_F(ImageWriteTest, SourceReplacedByAPipeFailsWithoutWaitingForAWriter) {
    // Opening a FIFO for reading would wait for a writer that never comes.
    std::string pipe = dir.Write("pipe.txt", 5000);
    ASSERT_NE(burner.AddFile(u"\\", platform::FromSystem(pipe)), nullptr);
    burner.PrepareImage();
    ASSERT_EQ(unlink(pipe.c_str()), 0);
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    TWriteRun run = RunImage(burner, dir / "out.iso");
    EXPECT_EQ(run.completions, 1);
    EXPECT_TRUE(run.failed);
    EXPECT_EQ(burner.ErrorText(), "Error opening file \\" + pipe + "\\");
}

TEST_F(ImageWriteTest, SourceThatCannotBeReadFailsTheWrite) {
    // The file is replaced by a link to /proc/self/mem: it opens as a
    // regular file, and reading its start fails (EIO).
    if (access("/proc/self/mem", R_OK) != 0)
        GTEST_SKIP() << "no /proc/self/mem";
    std::string victim = dir.Write("victim.bin", 300000);
    ASSERT_NE(burner.AddFile(u"\\", platform::FromSystem(victim)), nullptr);
    burner.PrepareImage();
    ASSERT_EQ(unlink(victim.c_str()), 0);
    ASSERT_EQ(symlink("/proc/self/mem", victim.c_str()), 0);
    TWriteRun run = RunImage(burner, dir / "out.iso");
    EXPECT_EQ(run.completions, 1);
    EXPECT_TRUE(run.failed);
    EXPECT_EQ(burner.ErrorText(), "Error reading file \\" + victim + "\\");
}

// The image is complete (the lost part is zeros), and the run says which
// file it does not hold as it is.
TEST_F(ImageWriteTest, ShorterSourceFailsTheRunNamingItAndIsPaddedWithZeros) {
    std::string shrinking = dir.Write("shrinks.bin", 200000, 3);
    ASSERT_NE(burner.AddFile(u"\\", platform::FromSystem(shrinking)), nullptr);
    burner.PrepareImage();
    ASSERT_EQ(truncate(shrinking.c_str(), 1000), 0);
    std::string image = dir / "out.iso";
    TWriteRun run = RunImage(burner, image);
    ASSERT_TRUE(run.failed);
    EXPECT_EQ(burner.ErrorText(), "File changed while it was read \\" + shrinking + "\\");
    builder::TFileEntry* e = EntryFor(burner, "shrinks.bin");
    std::string img = ReadAll(image);
    uint64_t at = (static_cast<uint64_t>(burner.Builder().FirstDataLba) + e->DataLba) * 2048;
    std::string head = ReadAll(shrinking);
    EXPECT_EQ(img.compare(at, head.size(), head), 0);
    for (uint64_t i = head.size(); i < builder::SectorsForBytes(200000) * 2048; ++i) {
        ASSERT_EQ(img[at + i], '\0') << "byte " << i << " of the vanished part";
    }
}

TEST_F(ImageWriteTest, FullDiskFailsTheImage) {
    if (access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "no /dev/full";
    dir.Write("x.bin", 1 << 20);
    ASSERT_NE(burner.AddFile(u"\\", platform::FromSystem(dir / "x.bin")), nullptr);
    burner.PrepareImage();
    TWriteRun run = RunImage(burner, "/dev/full");
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.completions, 1);
    EXPECT_TRUE(run.failed);
    EXPECT_EQ(burner.ErrorText(), "Error writing file \\/dev/full\\");
}

TEST_F(ImageWriteTest, ImageThatCannotBeCreatedRaisesNoEvent) {
    burner.PrepareImage();
    std::string image = dir / "no/such/folder/out.iso";
    TWriteRun run = RunImage(burner, image);
    EXPECT_FALSE(run.started);
    EXPECT_EQ(run.completions, 0);
    EXPECT_EQ(burner.ErrorText(), "Error creating file \\" + image + "\\");

    std::string tooLong = dir / std::string(4100, 'x');
    run = RunImage(burner, tooLong);
    EXPECT_FALSE(run.started);
    EXPECT_EQ(run.completions, 0);
    EXPECT_EQ(burner.ErrorText().rfind("Error creating file \\", 0), 0u);
}

TEST_F(ImageWriteTest, UnpreparedCompilationIsRefused) {
    dir.Write("x.bin", 10);
    ASSERT_NE(burner.AddFile(u"\\", platform::FromSystem(dir / "x.bin")), nullptr);
    TWriteRun run = RunImage(burner, dir / "out.iso");
    EXPECT_FALSE(run.started);
    EXPECT_EQ(run.completions, 1);
    EXPECT_TRUE(run.failed);
    EXPECT_EQ(burner.ErrorText(), "Data not prepared ");
}

// The image goes into a pipe nobody reads: the writer blocks, the cache
// fills, and Abort must still end the write with one failed completion.
TEST_F(ImageWriteTest, AbortWhileTheCacheIsFull) {
    burner.SetCacheSize(2);
    dir.Write("big.bin", 16 * 1024 * 1024, 4);
    ASSERT_NE(burner.AddFile(u"\\", platform::FromSystem(dir / "big.bin")), nullptr);
    burner.PrepareImage();
    std::string fifo = dir / "pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::atomic<bool> drain{false};
    std::thread reader([&] {
        int fd = open(fifo.c_str(), O_RDONLY);
        char buf[65536];
        while (!drain.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        while (read(fd, buf, sizeof buf) > 0) {
        }
        close(fd);
    });
    int completions = 0;
    bool failed = false;
    burner.OnWriteDone = [&](void*, uint8_t, bool f) {
        ++completions;
        failed = f;
    };
    ASSERT_TRUE(burner.CreateImageFile(platform::FromSystem(fifo)));
    auto& b = burner.Builder();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (b.BlockCount.load() < b.MaxBlocks - 1 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_GE(b.BlockCount.load(), b.MaxBlocks - 1) << "the cache never filled";
    burner.Abort();
    EXPECT_EQ(burner.Status(), builder::S_ABORTING);
    while (!b.CacheDone.load() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_TRUE(b.CacheDone.load()) << "the cache did not notice the abort";
    drain = true;
    while (completions == 0 && std::chrono::steady_clock::now() < deadline) {
        burner.Messages()->WaitAndDispatch(50);
    }
    burner.Messages()->WaitAndDispatch(200);
    reader.join();
    EXPECT_EQ(completions, 1);
    EXPECT_TRUE(failed);
    EXPECT_EQ(burner.ErrorText(), "Aborted by user");
    EXPECT_LT(burner.WrittenSectors(), burner.ImageSectors());
}

// A component without owner calls the handler on the write thread, with
// the thread object as Sender.
TEST(ImageWriteWithoutOwner, HandlerRunsOnTheWriteThread) {
    TScratch dir;
    TDiscBurner burner(false);
    burner.ClearFiles();
    dir.Write("x.bin", 4000);
    ASSERT_NE(burner.AddFile(u"\\", platform::FromSystem(dir / "x.bin")), nullptr);
    burner.PrepareImage();
    std::atomic<int> completions{0};
    std::atomic<bool> onOtherThread{false};
    std::atomic<bool> senderIsComponent{true};
    auto caller = std::this_thread::get_id();
    burner.OnWriteDone = [&](void* sender, uint8_t, bool failed) {
        EXPECT_FALSE(failed);
        onOtherThread = std::this_thread::get_id() != caller;
        senderIsComponent = sender == &burner;
        ++completions;
    };
    ASSERT_EQ(burner.Messages(), nullptr);
    ASSERT_TRUE(burner.CreateImageFile(platform::FromSystem(dir / "out.iso")));
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (completions == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(completions, 1);
    EXPECT_TRUE(onOtherThread);
    EXPECT_FALSE(senderIsComponent);
}

}  // namespace
}  // namespace tessor::writer::test

namespace tessor::writer::test {
namespace {

// With the UDF bridge the last sector of the image is the closing anchor:
// in the last block of the data, or in a block of its own when the data end
// exactly on a block boundary.
class AnchorPlacement : public ::testing::TestWithParam<bool> {};

TEST_P(AnchorPlacement, LastSectorIsTheClosingAnchor) {
    bool ownBlock = GetParam();
    TScratch dir;
    TDiscBurner burner(true);
    std::string image = dir / "out.iso";
    // Grow one file sector by sector until the layout puts the anchor where
    // this case wants it.
    bool found = false;
    for (int sectors = 1; sectors <= 64 && !found; ++sectors) {
        burner.ClearFiles();
        burner.SetUDFBridge(true);
        std::string f = dir.Write("f.bin", static_cast<size_t>(sectors) * 2048 - 100, sectors);
        ASSERT_NE(burner.AddFile(u"\\", platform::FromSystem(f)), nullptr);
        burner.PrepareImage();
        found = (burner.Builder().AnchorInNewBlock != 0) == ownBlock;
    }
    ASSERT_TRUE(found);
    TWriteRun run = RunImage(burner, image);
    ASSERT_FALSE(run.failed);
    builder::TImageBuilder& b = burner.Builder();
    std::string img = ReadAll(image);
    int32_t total = burner.ImageSectors();
    ASSERT_EQ(img.size(), static_cast<size_t>(total) * 2048);
    ASSERT_EQ(total % 32, 0);
    auto u8 = [&](size_t at) { return static_cast<uint8_t>(img[at]); };
    size_t last = static_cast<size_t>(total - 1) * 2048;
    EXPECT_EQ(u8(last) | u8(last + 1) << 8, 2) << "tag identifier of an anchor";
    uint32_t location =
        u8(last + 12) | u8(last + 13) << 8 | u8(last + 14) << 16 | uint32_t(u8(last + 15)) << 24;
    EXPECT_EQ(location, static_cast<uint32_t>(total - 1));
    int32_t dataEnd = b.FirstDataLba + b.FileDataSectors;
    if (ownBlock) {
        EXPECT_EQ(dataEnd % 32, 0);
        EXPECT_EQ(dataEnd, total - 32);
    } else {
        EXPECT_EQ((dataEnd + 31) / 32 * 32, total);
    }
    // Between the data and the anchor there is nothing but zeros.
    for (size_t i = static_cast<size_t>(dataEnd) * 2048; i < last; ++i) {
        ASSERT_EQ(img[i], '\0') << "byte " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Udf, AnchorPlacement, ::testing::Bool(), [](const auto& info) {
    return info.param ? "OwnBlock" : "LastDataBlock";
});

}  // namespace
}  // namespace tessor::writer::test
