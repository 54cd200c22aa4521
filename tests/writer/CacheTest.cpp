// The cache on its own: read mode block by block, the block count it may
// hold, and the cache size rules of the component.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "WriterFixture.h"
#include "engine/builder/Tree.h"
#include "engine/writer/Cache.h"

namespace tessor::writer::test {
namespace {

// Takes every block of a read-mode stream, as the write thread would.
std::vector<int32_t> TakeAll(builder::TImageBuilder& b, std::string* bytes) {
    std::vector<int32_t> lengths;
    // The writer starts once the cache is primed; in read mode the stream's
    // length is only known from then on.
    while (!b.CachePrimed.load() && !b.CacheDone.load())
        WaitForCache(b, 10);
    for (;;) {
        int32_t length = TakeBlock(b);
        if (length == 0)
            break;
        if (length < 0) {
            WaitForCache(b, 10);
            continue;
        }
        lengths.push_back(length);
        if (bytes)
            bytes->append(reinterpret_cast<const char*>(b.WriteBuffer.get()), length);
    }
    return lengths;
}

struct TReadMode {
    std::mutex lock;
    builder::TImageBuilder b;
    explicit TReadMode(const std::string& image, int32_t cacheBytes = 2097152) {
        b.EngineLock = &lock;
        b.CacheBytes = cacheBytes;
        b.ReadFromImageFile = 1;
        b.ImagePath = platform::FromSystem(image);
        EXPECT_TRUE(b.ImageFileHandle.OpenRead(b.ImagePath));
    }
    ~TReadMode() { JoinWriterThreads(b); }
};

TEST(CacheReadMode, OddSizedImageKeepsItsTail) {
    TScratch dir;
    std::string image = dir.Write("img.bin", 100000, 6);
    TReadMode run(image);
    StartCacheThread(run.b);
    std::string bytes;
    std::vector<int32_t> lengths = TakeAll(run.b, &bytes);
    EXPECT_EQ(run.b.TotalSectors.load(), 49);
    EXPECT_EQ(lengths, (std::vector<int32_t>{65536, 34464}));
    EXPECT_TRUE(bytes == ReadAll(image)) << "the blocks do not reproduce the image";
    run.b.CacheThread.join();
    EXPECT_TRUE(run.b.CacheThreadEnded.load());
    EXPECT_FALSE(run.b.ImageFileHandle.IsOpen());
}

TEST(CacheReadMode, EmptyImageGivesNoBlock) {
    TScratch dir;
    std::string image = dir.Write("empty.bin", 0);
    TReadMode run(image);
    StartCacheThread(run.b);
    EXPECT_TRUE(TakeAll(run.b, nullptr).empty());
    EXPECT_EQ(run.b.TotalSectors.load(), 0);
}

TEST(CacheReadMode, ManyBlocksThroughASmallCache) {
    TScratch dir;
    std::string image = dir.Write("img.bin", 40 * 65536 + 4096, 8);
    TReadMode run(image);
    StartCacheThread(run.b);
    std::string bytes;
    std::vector<int32_t> lengths = TakeAll(run.b, &bytes);
    ASSERT_EQ(lengths.size(), 41u);
    EXPECT_EQ(lengths.back(), 4096);
    EXPECT_EQ(run.b.MaxBlocks, 32);
    EXPECT_TRUE(bytes == ReadAll(image)) << "the blocks do not reproduce the image";
}

// A full cache holds its size and not a block more: the producer waits.
TEST(CacheReadMode, AFullCacheHoldsExactlyItsSize) {
    TScratch dir;
    std::string image = dir.Write("img.bin", 48 * 65536, 9);
    TReadMode run(image);
    StartCacheThread(run.b);
    while (!run.b.CachePrimed.load() && !run.b.CacheDone.load())
        WaitForCache(run.b, 10);
    // Time for a producer that did not wait to add another block.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(run.b.BlockCount.load(), run.b.MaxBlocks);
    EXPECT_EQ(TakeAll(run.b, nullptr).size(), 48u);
}

TEST(CacheSize, SetterRulesAndTheBlockTableLimit) {
    component::TDiscBurner burner(true);
    EXPECT_EQ(burner.CacheSize(), 32u);
    for (uint32_t mb : {0u, 1u, 2048u, 4095u}) {
        burner.SetCacheSize(mb);
        EXPECT_EQ(burner.CacheSize(), 2u) << mb;
    }
    burner.SetCacheSize(2047);
    EXPECT_EQ(burner.CacheSize(), 2047u);

    // The table holds 10,000 slots: a cache that large is clamped, never
    // overrun.
    TScratch dir;
    std::string image = dir.Write("img.bin", 65536);
    TReadMode run(image, static_cast<int32_t>(2047u * 1048576u));
    StartCacheThread(run.b);
    TakeAll(run.b, nullptr);
    EXPECT_EQ(run.b.MaxBlocks, kMaxCacheBlocks);
}

}  // namespace
}  // namespace tessor::writer::test
