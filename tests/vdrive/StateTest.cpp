// What outlives a command: the disc across hosts and processes, faults, the
// drive buffer, long operations, and the tool working on the same state.
#include <fstream>
#include <thread>

#include "tests/vdrive/StateFixture.h"

namespace tessor::vdrive::test {
namespace {

TEST_F(State, DiscSurvivesTheHostAndIsSeenByAnother) {
    Insert(kDvd, TMediaKind::DvdPlusR);
    ASSERT_TRUE(SetWriteParameters(kDvd, 2, 3).Good());
    ASSERT_TRUE(Write(kDvd, 0, 32, 0xA1).Good());

    // A second host on the same directory sees the write at once, although
    // writes never rewrite the state file.
    THostOptions options;
    options.stateDir = dir_;
    options.timeScale = Scale();
    std::string error;
    auto other = TRecorderHost::Create(options, error);
    ASSERT_NE(other, nullptr) << error;
    TDiscState seen;
    ASSERT_TRUE(other->GetDiscState(kDvd, seen, error));
    ASSERT_EQ(seen.tracks.size(), 1u);
    EXPECT_EQ(seen.tracks[0].written, 32u);
    ASSERT_TRUE(Write(kDvd, 32, 32, 0xA2).Good());
    ASSERT_TRUE(other->GetDiscState(kDvd, seen, error));
    EXPECT_EQ(seen.tracks[0].written, 64u);

    host_.reset();
    ASSERT_TRUE(other->GetDiscState(kDvd, seen, error));
    other.reset();
    Start();
    EXPECT_EQ(BE32(&TrackInfo(kDvd, 1).data[12]), 64u);
    EXPECT_EQ(Read(kDvd, 40, 1).data[0], 0xA2);
    EXPECT_EQ(Write(kDvd, 0, 32).sense, sense::kInvalidWriteAddress);
    // The write parameters belong to the drive and stay too.
    EXPECT_EQ(ModeSense(kDvd, 0x05).data[8 + 2] & 0x0F, 2);
}

// Ejecting forgets everything the disc held, as inserting a fresh one does:
// sessions, the next session's start, the format and its background run.
TEST_F(State, EjectForgetsTheWholeRecording) {
    const std::string image = dir_ + "/eject.iso";
    std::ofstream(image) << std::string(64 * 2048, 'x');
    for (TMediaKind media : {TMediaKind::CdR, TMediaKind::DvdPlusRw, TMediaKind::DvdRwRo}) {
        const unsigned drive = media == TMediaKind::CdR ? kCd : kDvd;
        Insert(drive, media, image);
        std::string error;
        ASSERT_TRUE(host_->EjectMedia(drive, error)) << error;
        TDiscState s;
        ASSERT_TRUE(host_->GetDiscState(drive, s, error)) << error;
        EXPECT_FALSE(s.present);
        EXPECT_TRUE(s.tracks.empty());
        EXPECT_EQ(s.closedSessions, 0);
        EXPECT_EQ(s.nextSessionStart, 0u) << MediaInfo(media).name;
        EXPECT_FALSE(s.formatted);
        EXPECT_EQ(s.formattedBlocks, 0u);
        EXPECT_EQ(s.bgFormat, TBgFormat::None) << MediaInfo(media).name;
    }
}

TEST_F(State, ThreadsShareOneHost) {
    // A write thread per drive and a thread asking for the buffer, as the
    // engine's window does while it burns.
    Insert(kBd, TMediaKind::BdRe);
    Insert(kDvd, TMediaKind::DvdRam);
    ASSERT_TRUE(Format(kBd, kBdReQuick()).Good());
    ASSERT_TRUE(WaitWhileNotReady(kBd).Good());
    auto writer = [&](unsigned t, uint8_t fill, bool& ok) {
        ok = true;
        for (uint32_t i = 0; i < 64 && ok; ++i)
            ok = Write(t, i * 32, 32, fill).Good();
    };
    bool okBd = false, okDvd = false;
    std::thread a(writer, kBd, 0xB1, std::ref(okBd));
    std::thread b(writer, kDvd, 0xD1, std::ref(okDvd));
    for (int i = 0; i < 50; ++i)
        In(kBd, {0x5C, 0, 0, 0, 0, 0, 0, 0, 12, 0}, 12);
    a.join();
    b.join();
    EXPECT_TRUE(okBd);
    EXPECT_TRUE(okDvd);
    EXPECT_EQ(Read(kBd, 2047, 1).data[0], 0xB1);
    EXPECT_EQ(Read(kDvd, 2047, 1).data[0], 0xD1);
    EXPECT_GT(host_->Journal().size(), 128u);
}

TEST_F(State, FaultsFireAndExpire) {
    Insert(kDvd, TMediaKind::DvdR);
    std::string error;
    ASSERT_TRUE(host_->InjectFault(kDvd, "not-ready 100000 01", error)) << error;
    EXPECT_EQ(Tur(kDvd).sense, sense::kBecomingReady);
    usleep(120000);
    EXPECT_TRUE(Tur(kDvd).Good());

    ASSERT_TRUE(host_->InjectFault(kDvd, "write-error 40 03/0C/00", error));
    ASSERT_TRUE(Write(kDvd, 0, 32).Good());
    EXPECT_EQ(Write(kDvd, 32, 32).sense, sense::kWriteError);
    EXPECT_TRUE(Write(kDvd, 32, 32).Good());  // one-shot by default

    ASSERT_TRUE(host_->InjectFault(kDvd, "write-error 64 05/21/00 2", error));
    EXPECT_EQ(Write(kDvd, 64, 32).sense, sense::kLbaOutOfRange);
    EXPECT_EQ(Write(kDvd, 64, 32).sense, sense::kLbaOutOfRange);
    EXPECT_TRUE(Write(kDvd, 64, 32).Good());

    // A reset in the middle of a write, once.
    ASSERT_TRUE(host_->InjectFault(kDvd, "refuse 2A 06/29/00 1", error));
    EXPECT_EQ(Write(kDvd, 96, 32).sense, sense::kPowerOnReset);
    EXPECT_TRUE(Write(kDvd, 96, 32).Good());

    ASSERT_TRUE(host_->InjectFault(kDvd, "refuse 46 05/20/00", error));
    EXPECT_EQ(Profile(kDvd).sense, sense::kInvalidOpcode);
    EXPECT_EQ(Profile(kDvd).sense, sense::kInvalidOpcode);
    ASSERT_TRUE(host_->InjectFault(kDvd, "removed", error));
    EXPECT_EQ(Tur(kDvd).sense, sense::kNoMedium);
    ASSERT_TRUE(host_->InjectFault(kDvd, "clear", error));
    EXPECT_EQ(BE16(&Profile(kDvd).data[6]), 0x0011);
    EXPECT_EQ(BE32(&TrackInfo(kDvd, 1).data[12]), 128u);

    ASSERT_TRUE(host_->InjectFault(kDvd, "power-cut 5", error) == false);
    EXPECT_NE(error.find("unknown fault"), std::string::npos);
    EXPECT_FALSE(host_->InjectFault(kDvd, "write-error x 03/0C/00", error));
    EXPECT_FALSE(host_->InjectFault(7, "busy 5", error));
}

// The two rules that damage what is read back: a read that fails with the
// sense given, and blocks that come back changed with good status, until
// cleared, while the sectors file keeps what was written.
TEST_F(State, ReadFaultsFailOrChangeWhatIsReadBack) {
    Insert(kDvd, TMediaKind::DvdRam);
    ASSERT_TRUE(Write(kDvd, 0, 32, 0x5E).Good());
    std::string error;
    ASSERT_TRUE(host_->InjectFault(kDvd, "corrupt 10 2", error)) << error;
    ASSERT_TRUE(host_->InjectFault(kDvd, "read-error 20 03/11/00", error)) << error;
    for (int pass = 0; pass < 2; ++pass) {
        TReply r = Read(kDvd, 8, 5);
        ASSERT_TRUE(r.Good());
        for (int b = 0; b < 5; ++b)
            EXPECT_EQ(r.data[b * 2048 + 1030] != 0x5E, b == 2 || b == 3) << b;
    }
    EXPECT_EQ(Read(kDvd, 16, 8).sense, (TSense{0x03, 0x11, 0x00}));
    EXPECT_TRUE(Read(kDvd, 16, 8).Good());  // one answer by default
    EXPECT_TRUE(Read(kDvd, 21, 4).Good());
    ASSERT_TRUE(host_->InjectFault(kDvd, "clear", error));
    EXPECT_EQ(Read(kDvd, 10, 1).data[1030], 0x5E);
    for (const char* bad : {"corrupt", "corrupt x", "corrupt 5 0", "corrupt 5 1 2", "read-error 5",
                            "read-error 5 03/11", "read-error 5 03/11/00 y"}) {
        EXPECT_FALSE(host_->InjectFault(kDvd, bad, error)) << bad;
    }
}

TEST_F(State, ImmediateOperationsReportProgressThenFinish) {
    Insert(kDvd, TMediaKind::DvdRw);
    ASSERT_TRUE(SetWriteParameters(kDvd, 0, 3, 5, true).Good());
    ASSERT_TRUE(Write(kDvd, 0, 32).Good());
    ASSERT_TRUE(Sync(kDvd).Good());
    ASSERT_TRUE(Close(kDvd, 1, 1).Good());
    ASSERT_TRUE(Close(kDvd, 2, 0, true).Good());
    EXPECT_TRUE(Tur(kDvd).Good());  // closing leaves TEST UNIT READY alone
    EXPECT_EQ(DiscInfo(kDvd).sense, sense::kOperationInProgress);
    ASSERT_TRUE(WaitWhileNotReady(kDvd).Good());

    ASSERT_TRUE(Blank(kDvd, false).Good());
    EXPECT_EQ(Tur(kDvd).sense, sense::kOperationInProgress);
    {
        TReply rs = In(kDvd, {0x03, 0, 0, 0, 18, 0}, 18);
        ASSERT_TRUE(rs.Good());
        EXPECT_EQ(rs.data[12], 0x04);
        EXPECT_EQ(rs.data[13], 0x07);
        EXPECT_EQ(rs.data[15] & 0x80, 0x80);  // progress indication valid
    }
    ASSERT_TRUE(WaitWhileNotReady(kDvd).Good());
    EXPECT_TRUE(Tur(kDvd).Good());
    // REQUEST SENSE hands back the last refusal once.
    EXPECT_EQ(Write(kDvd, 99, 1).sense, sense::kInvalidWriteAddress);
    TReply rs = In(kDvd, {0x03, 0, 0, 0, 18, 0}, 18);
    EXPECT_EQ(rs.data[0], 0x70);
    EXPECT_EQ(rs.data[2], 0x05);
    EXPECT_EQ(rs.data[12], 0x21);
    EXPECT_EQ(rs.data[13], 0x02);
    EXPECT_EQ(In(kDvd, {0x03, 0, 0, 0, 18, 0}, 18).data[12], 0);
}

class BufferState : public TVirtualRecorderTest {
protected:
    std::vector<TDriveConfig> Drives() override {
        TDriveConfig normal;
        normal.kind = TDriveKind::DvdWriter;
        normal.bufferKiB = 256;
        TDriveConfig pioneer = normal;
        pioneer.pioneer = true;
        TDriveConfig fixed = normal;
        fixed.recordKBps = 500;
        return {normal, pioneer, fixed};
    }
    double Scale() override { return 1.0; }

    uint32_t Blank(unsigned t) {
        TReply r = In(t, {0x5C, 0, 0, 0, 0, 0, 0, 0, 12, 0}, 12);
        EXPECT_TRUE(r.Good());
        EXPECT_EQ(BE32(&r.data[4]), 256u * 1024);
        return BE32(&r.data[8]);
    }
    void SetSpeed(unsigned t, uint16_t write) {
        ASSERT_TRUE(
            None(t, {0xBB, 1, 0xFF, 0xFF, uint8_t(write >> 8), uint8_t(write), 0, 0, 0, 0, 0, 0})
                .Good());
    }
};

TEST_F(BufferState, FillsWithWritesAndDrainsAtTheSetSpeed) {
    Insert(0, TMediaKind::DvdRam);
    EXPECT_EQ(Blank(0), 256u * 1024);
    SetSpeed(0, 500);  // 64 KiB take about 131 ms
    ASSERT_TRUE(Write(0, 0, 32).Good());
    ASSERT_TRUE(Write(0, 32, 32).Good());
    uint32_t blank = Blank(0);
    EXPECT_LT(blank, 256u * 1024 - 64 * 1024);
    usleep(400000);
    EXPECT_EQ(Blank(0), 256u * 1024);

    // A write that does not fit waits for room instead of failing.
    for (int i = 0; i < 6; ++i)
        ASSERT_TRUE(Write(0, 64 + 32 * i, 32).Good());
    EXPECT_LT(Blank(0), 64u * 1024 + 1);

    // The fastest speed, asked as FFFFh or through SET STREAMING, is still a
    // speed: the drive records at its maximum, and its buffer fills and
    // drains as a real drive's does.
    std::vector<uint8_t> perf(28, 0);
    perf[22] = 0x2B;  // write size 11080 kB (2B48h)
    perf[23] = 0x48;
    perf[15] = 0x10;
    perf[18] = 0x03;  // 1000 ms
    perf[19] = 0xE8;
    perf[26] = 0x03;
    perf[27] = 0xE8;
    for (bool streaming : {false, true}) {
        usleep(400000);
        if (streaming)
            ASSERT_TRUE(Out(0, {0xB6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 28, 0}, perf).Good());
        else
            SetSpeed(0, 0xFFFF);
        for (int i = 0; i < 4; ++i)
            ASSERT_TRUE(Write(0, 32 * i, 32).Good());
        EXPECT_LT(Blank(0), 256u * 1024 - 64 * 1024) << streaming;
        usleep(100000);  // 256 KiB at 11080 kB/s: 24 ms
        EXPECT_EQ(Blank(0), 256u * 1024) << streaming;
    }
}

TEST_F(BufferState, FixedRecordingRateIgnoresTheAskedSpeed) {
    Insert(2, TMediaKind::DvdRam);
    SetSpeed(2, 0xFFFF);
    ASSERT_TRUE(Write(2, 0, 32).Good());
    ASSERT_TRUE(Write(2, 32, 32).Good());
    EXPECT_LT(Blank(2), 256u * 1024 - 64 * 1024);
}

TEST_F(BufferState, PioneerRefusesAWriteThatDoesNotFit) {
    Insert(1, TMediaKind::DvdRam);
    SetSpeed(1, 100);  // about 655 ms per 64 KiB
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(Write(1, 32 * i, 32).Good());
    EXPECT_EQ(Write(1, 128, 32).sense, sense::kLongWriteInProgress);
    usleep(750000);
    EXPECT_TRUE(Write(1, 128, 32).Good());
}

}  // namespace
}  // namespace tessor::vdrive::test

namespace tessor::vdrive::test {
namespace {

TEST_F(State, DamagedStateFileIsReportedAndCanBeReplaced) {
    Insert(1, TMediaKind::DvdR);
    host_.reset();
    {
        std::ofstream out(dir_ + "/drive1.state", std::ios::trunc);
        out << "tessor-vdrive-state 1\nmedia floppy\n";
    }
    Start();
    TReply r = Tur(1);
    EXPECT_EQ(r.targetStatus, STATUS_CHKCOND);
    EXPECT_EQ(r.sense.key, 0x04);  // hardware error: the drive cannot read its own state
    TDiscState state;
    std::string error;
    EXPECT_FALSE(host_->GetDiscState(1, state, error));
    EXPECT_NE(error.find("drive1.state"), std::string::npos);
    EXPECT_NE(error.find("media floppy"), std::string::npos);
    EXPECT_TRUE(Tur(0).sense == sense::kNoMedium);  // the other drives carry on
    Insert(1, TMediaKind::CdR);
    EXPECT_TRUE(Tur(1).Good());
}

}  // namespace
}  // namespace tessor::vdrive::test
