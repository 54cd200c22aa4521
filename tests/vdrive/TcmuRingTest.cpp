// The TCMU ring walk on a ring laid out in memory as the kernel lays it out:
// data-out gathered from several iovecs, data-in scattered back with its
// length, sense and status in the reply, padding and the wrap at the ring's
// end, unknown entries flagged, and a malformed entry refused.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "vdrive/tcmu/Ring.h"
#include "vdrive/tcmu/RingLayout.h"

namespace tessor::vdrive::tcmu {
namespace {

const TTcmuLayout& L = kTcmuLayout;
constexpr uint32_t kRingAt = 128, kRingSize = 4096, kDataAt = kRingAt + kRingSize;

class TcmuRing : public ::testing::Test {
protected:
    void SetUp() override {
        // One end stands for the uio node (read without blocking, written to
        // kick the kernel); the test reads the kicks at the other.
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, kick_), 0);
        map_.assign(kDataAt + 65536, 0);
        Put<uint16_t>(L.versionAt, static_cast<uint16_t>(L.version));
        Put<uint32_t>(L.cmdrOffAt, kRingAt);
        Put<uint32_t>(L.cmdrSizeAt, kRingSize);
    }
    void TearDown() override {
        close(kick_[0]);
        close(kick_[1]);
    }
    template <typename T>
    void Put(size_t at, T v) {
        std::memcpy(&map_[at], &v, sizeof v);
    }
    template <typename T>
    T At(size_t at) const {
        T v;
        std::memcpy(&v, &map_[at], sizeof v);
        return v;
    }
    // A command entry at ring offset `at`: CDB, then iovecs over the data area.
    uint32_t Command(uint32_t at, std::vector<uint8_t> cdb,
                     std::vector<std::pair<uint64_t, uint64_t>> iovs) {
        const size_t entry = kRingAt + at;
        const uint32_t cdbAt =
            static_cast<uint32_t>(std::max(L.entrySize, L.iovAt + iovs.size() * L.iovSize));
        const uint32_t length = (cdbAt + 16 + 7) & ~7u;
        Put<uint32_t>(entry + L.lenOpAt, length | L.opCmd);
        Put<uint32_t>(entry + L.iovCntAt, static_cast<uint32_t>(iovs.size()));
        Put<uint64_t>(entry + L.cdbOffAt, entry + cdbAt);
        for (size_t i = 0; i < iovs.size(); ++i) {
            Put<uint64_t>(entry + L.iovAt + i * L.iovSize, kDataAt + iovs[i].first);
            Put<uint64_t>(entry + L.iovAt + i * L.iovSize + 8, iovs[i].second);
        }
        std::memcpy(&map_[entry + cdbAt], cdb.data(), cdb.size());
        return length;
    }
    void Other(uint32_t at, uint32_t length, uint32_t op) {
        Put<uint32_t>(kRingAt + at + L.lenOpAt, length | op);
    }
    bool Serve(std::string& error) {
        TRing ring;
        if (!ring.Attach(kick_[0], map_.data(), map_.size(), error))
            return false;
        return ring.Serve([](const uint8_t* cdb) { return cdb[0] == 0x2A; },
                          [this](const TRingCommand& c, std::vector<uint8_t>& data) {
                              seen_.push_back(c);
                              data_.push_back(data);
                              TRingReply r;
                              if (c.cdb[0] == 0x12) {
                                  r.dataIn = true;
                                  r.dataInLength = 36;
                                  std::fill(data.begin(), data.begin() + 36, 0xA5);
                              } else if (c.cdb[0] == 0x00) {
                                  r.status = 0x02;
                                  r.sense = {0x70, 0, 0x02, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x3A};
                              }
                              return r;
                          },
                          error);
    }

    int kick_[2];
    std::vector<uint8_t> map_;
    std::vector<TRingCommand> seen_;
    std::vector<std::vector<uint8_t>> data_;
};

TEST_F(TcmuRing, AnswersEveryEntryAcrossTheWrap) {
    for (size_t i = 0; i < 4096; ++i)
        map_[kDataAt + i] = static_cast<uint8_t>(i * 7);
    // WRITE (10) of 4 KiB in two pieces, then padding to the ring's end, then
    // INQUIRY with 64 bytes asked, TEST UNIT READY failing, an unknown entry.
    uint32_t at = kRingSize - 256;
    Put<uint32_t>(L.tailAt, at);
    const uint32_t write =
        Command(at, {0x2A, 0, 0, 0, 0, 0, 0, 0, 2, 0}, {{0, 1000}, {1000, 3096}});
    ASSERT_LE(write, 128u);
    Other(at + write, 256 - write, L.opPad);
    at = Command(0, {0x12, 0, 0, 0, 64, 0}, {{8192, 64}});
    const uint32_t inquiryAt = 0;
    std::memset(&map_[kDataAt + 8192], 0xEE, 64);
    const uint32_t turAt = at;
    at += Command(at, {0x00, 0, 0, 0, 0, 0}, {});
    const uint32_t unknownAt = at;
    Other(at, 64, 5);
    at += 64;
    Put<uint32_t>(L.headAt, at);

    std::string error;
    ASSERT_TRUE(Serve(error)) << error;
    ASSERT_EQ(seen_.size(), 3u);
    EXPECT_EQ(seen_[0].cdbLength, 10);
    EXPECT_EQ(seen_[0].dataLength, 4096u);
    for (size_t i = 0; i < 4096; ++i)
        ASSERT_EQ(data_[0][i], static_cast<uint8_t>(i * 7)) << i;
    EXPECT_EQ(seen_[1].cdbLength, 6);
    EXPECT_EQ(data_[1], std::vector<uint8_t>(64, 0)) << "data-in starts zeroed";

    const size_t inquiry = kRingAt + inquiryAt;
    EXPECT_TRUE(map_[inquiry + L.uflagsAt] & L.flagReadLen);
    EXPECT_EQ(At<uint32_t>(inquiry + L.readLenAt), 36u);
    EXPECT_EQ(map_[kDataAt + 8192 + 35], 0xA5);
    EXPECT_EQ(map_[kDataAt + 8192 + 36], 0xEE) << "only what was returned is copied";
    EXPECT_EQ(map_[kRingAt + turAt + L.statusAt], 0x02);
    EXPECT_EQ(map_[kRingAt + turAt + L.senseAt + 12], 0x3A);
    EXPECT_FALSE(map_[kRingAt + turAt + L.uflagsAt] & L.flagReadLen);
    EXPECT_TRUE(map_[kRingAt + unknownAt + L.uflagsAt] & L.flagUnknownOp);
    EXPECT_EQ(At<uint32_t>(L.tailAt), at);
    uint32_t kicked = 0;
    EXPECT_EQ(read(kick_[1], &kicked, sizeof kicked), 4) << "the kernel is told to reap";
}

TEST_F(TcmuRing, RefusesDataOutsideTheMapping) {
    const uint32_t length = Command(0, {0x28, 0, 0, 0, 0, 0, 0, 0, 1, 0}, {{1 << 20, 2048}});
    Put<uint32_t>(L.headAt, length);
    std::string error;
    EXPECT_FALSE(Serve(error));
    EXPECT_NE(error.find("outside"), std::string::npos) << error;
    EXPECT_TRUE(seen_.empty());

    Put<uint32_t>(kRingAt + L.lenOpAt, 0 | L.opCmd);  // an entry of no length
    EXPECT_FALSE(Serve(error));
}

}  // namespace
}  // namespace tessor::vdrive::tcmu
