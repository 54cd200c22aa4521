// Image writes over what only POSIX systems have: a source replaced by a
// FIFO or by a link to a file that fails to read, and an image written into
// a FIFO.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "tests/writer/WriterFixture.h"

namespace tessor::writer::test {
namespace {

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

}  // namespace
}  // namespace tessor::writer::test
