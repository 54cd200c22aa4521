// Recorder state across processes, which only POSIX systems make this way:
// two forked writers on one disc, and the tool run through the shell (the
// sparse export is checked by its allocated blocks).
#include <sys/stat.h>
#include <sys/wait.h>

#include <fstream>

#include "tests/vdrive/StateFixture.h"

namespace tessor::vdrive::test {
namespace {

TEST_F(State, TwoProcessesWritingAtOnceStayConsistent) {
    Insert(kBd, TMediaKind::BdR);
    ASSERT_TRUE(SetWriteParameters(kBd, 1, 3).Good());
    host_.reset();
    constexpr int kChunks = 40;
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            // Each writer asks for the next writable address and writes its
            // own pattern there, retrying when the other was quicker.
            Start();
            int written = 0, failures = 0;
            while (written < kChunks && failures < 100000) {
                TReply ti = TrackInfo(kBd, 0xFF);
                uint32_t nwa =
                    ti.data[7] & 1 ? BE32(&ti.data[12]) : BE32(&TrackInfo(kBd, 1).data[12]);
                TReply w = Write(kBd, nwa, 32, static_cast<uint8_t>(0x10 + c));
                if (w.Good()) {
                    ++written;
                } else if (w.sense == sense::kInvalidWriteAddress) {
                    ++failures;
                } else {
                    _exit(2);
                }
            }
            _exit(written == kChunks ? 0 : 1);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    Start();
    TReply ti = TrackInfo(kBd, 1);
    EXPECT_EQ(BE32(&ti.data[12]), 2u * kChunks * 32);
    int counts[2] = {0, 0};
    for (int i = 0; i < 2 * kChunks; ++i) {
        TReply r = Read(kBd, i * 32, 32);
        ASSERT_TRUE(r.Good());
        uint8_t first = r.data[0];
        ASSERT_TRUE(first == 0x10 || first == 0x11) << "chunk " << i;
        for (uint8_t b : r.data)
            ASSERT_EQ(b, first) << "torn chunk " << i;
        ++counts[first - 0x10];
    }
    EXPECT_EQ(counts[0], kChunks);
    EXPECT_EQ(counts[1], kChunks);
}

TEST_F(State, ToolInsertsExportsAndInjects) {
    host_.reset();
    const std::string tool = std::string(TESSOR_BINARY_DIR) + "/bin/tessor-vdrive --dir " + dir_;
    // An image with a hole in the middle.
    std::string image = dir_ + "/in.iso";
    {
        std::ofstream out(image, std::ios::binary);
        std::vector<char> a(2048 * 20, 'a'), zero(2048 * 1000, 0), b(2048 * 5, 'b');
        out.write(a.data(), static_cast<std::streamsize>(a.size()));
        out.write(zero.data(), static_cast<std::streamsize>(zero.size()));
        out.write(b.data(), static_cast<std::streamsize>(b.size()));
    }
    ASSERT_EQ(std::system((tool + " insert 1 dvd-r --from " + image).c_str()), 0);
    ASSERT_EQ(std::system((tool + " export 1 " + dir_ + "/out.iso").c_str()), 0);
    std::ifstream in1(image, std::ios::binary), in2(dir_ + "/out.iso", std::ios::binary);
    std::string s1((std::istreambuf_iterator<char>(in1)), {}),
        s2((std::istreambuf_iterator<char>(in2)), {});
    EXPECT_EQ(s1.size(), 2048u * 1025);
    EXPECT_TRUE(s1 == s2);
    struct stat st {};
    ASSERT_EQ(stat((dir_ + "/out.iso").c_str(), &st), 0);
    EXPECT_LT(st.st_blocks * 512, static_cast<long>(s1.size()));  // sparse
    EXPECT_NE(std::system((tool + " insert 2 bd-re > /dev/null 2>&1").c_str()), 0);
    EXPECT_NE(std::system((tool + " fault 1 busy soon > /dev/null 2>&1").c_str()), 0);
    ASSERT_EQ(std::system((tool + " fault 1 refuse 51 02/04/07 1").c_str()), 0);
    EXPECT_EQ(std::system((tool + " list > /dev/null").c_str()), 0);
    EXPECT_EQ(std::system((tool + " --help > /dev/null").c_str()), 0);

    Start();
    EXPECT_EQ(DiscInfo(1).sense, sense::kOperationInProgress);
    TReply di = DiscInfo(1);
    EXPECT_EQ(di.data[2], 0x01);  // one closed session, appendable
    EXPECT_EQ(BE32(&TrackInfo(1, 2).data[8]), 1040u + 36864u);
    host_.reset();
    ASSERT_EQ(std::system((tool + " reset").c_str()), 0);
    Start();
    EXPECT_EQ(Tur(1).sense, sense::kNoMedium);
}

}  // namespace
}  // namespace tessor::vdrive::test
