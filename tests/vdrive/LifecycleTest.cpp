// Every kind of disc through its life: blank, written at the next writable
// address, tracks and sessions closed, appended to, finalized, formatted,
// blanked, with the refusals real drives give on the way.
#include "tests/vdrive/VDriveTestSupport.h"

namespace tessor::vdrive::test {
namespace {

constexpr unsigned kBd = 0, kDvd = 1, kCd = 2, kRom = 3;

class Lifecycle : public TVirtualRecorderTest {
protected:
    // Long enough that "in progress" is seen right after the command even on
    // a loaded machine; the waits poll until it ends.
    std::vector<TDriveConfig> Drives() override {
        auto drives = DefaultDriveSet();
        for (auto& d : drives) {
            d.formatMs = d.blankMs = d.blankFullMs = 150000;
            d.closeMs = 60000;
        }
        return drives;
    }
    void WriteRun(unsigned t, uint32_t lba, uint32_t blocks, uint8_t fill) {
        for (uint32_t done = 0; done < blocks;) {
            uint16_t n = static_cast<uint16_t>(std::min<uint32_t>(32, blocks - done));
            ASSERT_TRUE(Write(t, lba + done, n, fill).Good()) << "write at " << lba + done;
            done += n;
        }
    }
    uint32_t Nwa(unsigned t, uint8_t track) {
        TReply r = TrackInfo(t, track);
        EXPECT_TRUE(r.Good());
        EXPECT_EQ(r.data[7] & 1, 1) << "NWA not valid";
        return BE32(&r.data[12]);
    }
};

TEST_F(Lifecycle, CdRSessionsGapsAndFinalizing) {
    Insert(kCd, TMediaKind::CdR);
    TReply di = DiscInfo(kCd);
    ASSERT_TRUE(di.Good());
    EXPECT_EQ(di.data[2], 0x00);  // blank
    EXPECT_EQ(di.data[4], 1);
    EXPECT_EQ(di.data[6], 1);
    EXPECT_EQ(di.data[8], 0xFF);
    ASSERT_TRUE(SetWriteParameters(kCd, 1, 3).Good());

    TReply ti = TrackInfo(kCd, 0xFF);
    ASSERT_TRUE(ti.Good());
    EXPECT_EQ(ti.data[6] & 0x40, 0x40);  // blank (invisible) track
    EXPECT_EQ(BE32(&ti.data[12]), 0u);
    EXPECT_EQ(BE32(&ti.data[16]), 359849u);
    EXPECT_EQ(BE32(&ti.data[24]), 359849u);

    EXPECT_EQ(Write(kCd, 32, 32).sense, sense::kInvalidWriteAddress);
    WriteRun(kCd, 0, 96, 0x11);
    EXPECT_EQ(Write(kCd, 0, 32).sense, sense::kInvalidWriteAddress);
    EXPECT_EQ(DiscInfo(kCd).data[2], 0x05);  // incomplete session, appendable
    EXPECT_EQ(Close(kCd, 2, 0).sense, sense::kIncompleteTrackInSession);

    // In track-at-once mode the cache flush ends the track (4 s minimum plus
    // two run-out blocks).
    ASSERT_TRUE(Sync(kCd, true).Good());
    ASSERT_TRUE(WaitWhileNotReady(kCd).Good());
    ti = TrackInfo(kCd, 1);
    EXPECT_EQ(ti.data[7] & 1, 0);
    EXPECT_EQ(BE32(&ti.data[16]), 0u);
    EXPECT_EQ(BE32(&ti.data[24]), 302u);

    ASSERT_TRUE(Close(kCd, 2, 0).Good());
    di = DiscInfo(kCd);
    EXPECT_EQ(di.data[2], 0x01);  // appendable, last session empty
    EXPECT_EQ(di.data[4], 2);
    EXPECT_EQ(di.data[5], 2);
    EXPECT_EQ(di.data[6], 2);
    EXPECT_EQ(Nwa(kCd, 2), 302u + 11400u);
    EXPECT_EQ(TrackInfo(kCd, 3).sense, sense::kInvalidFieldInCdb);

    WriteRun(kCd, 11702, 32, 0x22);
    ASSERT_TRUE(Sync(kCd).Good());
    ASSERT_TRUE(Close(kCd, 2, 0).Good());
    EXPECT_EQ(Nwa(kCd, 3), 11702u + 302u + 6900u);

    // Multi-session 00b: the next close leaves the disc complete.
    ASSERT_TRUE(SetWriteParameters(kCd, 1, 0).Good());
    WriteRun(kCd, 18904, 32, 0x33);
    ASSERT_TRUE(Sync(kCd).Good());
    ASSERT_TRUE(Close(kCd, 2, 0).Good());
    di = DiscInfo(kCd);
    EXPECT_EQ(di.data[2], 0x0E);
    EXPECT_EQ(BE32(&di.data[16]), 0xFFFFFFFFu);
    EXPECT_EQ(di.data[6], 3);
    EXPECT_EQ(Write(kCd, 25806, 32).sense, sense::kInvalidWriteAddress);
    EXPECT_EQ(TrackInfo(kCd, 0xFF).sense, sense::kInvalidFieldInCdb);

    TReply toc = In(kCd, {0x43, 0, 0, 0, 0, 0, 0, 0, 100, 0}, 100);
    ASSERT_TRUE(toc.Good());
    EXPECT_EQ(toc.data[3], 3);  // last track
    EXPECT_EQ(BE32(&toc.data[4 + 8 + 4]), 11702u);
    TReply data = Read(kCd, 11702, 1);
    ASSERT_TRUE(data.Good());
    EXPECT_EQ(data.data[2047], 0x22);
}

TEST_F(Lifecycle, DvdRReservedTrackAndBorders) {
    Insert(kDvd, TMediaKind::DvdR);
    ASSERT_TRUE(SetWriteParameters(kDvd, 0, 3, 5, true).Good());
    TReply ti = TrackInfo(kDvd, 1);
    ASSERT_TRUE(ti.Good());
    EXPECT_EQ(ti.data[6], 0x61);         // blank, incremental, data mode 1
    EXPECT_EQ(BE32(&ti.data[20]), 16u);  // fixed packet size
    EXPECT_EQ(ti.data[6] & 0x10, 0);     // FP stays 0 on DVD-R

    std::vector<uint8_t> stamp(22, 0);
    stamp[1] = 20;
    EXPECT_TRUE(Out(kDvd, {0xBF, 0, 0, 0, 0, 0, 0, 0x0F, 0, 22, 0, 0}, stamp).Good());
    ASSERT_TRUE(Reserve(kDvd, 1000).Good());
    ti = TrackInfo(kDvd, 1);
    EXPECT_EQ(ti.data[6] & 0x80, 0x80);    // reserved
    EXPECT_EQ(BE32(&ti.data[24]), 1008u);  // rounded to ECC blocks
    EXPECT_EQ(Nwa(kDvd, 2), 1008u);

    WriteRun(kDvd, 0, 1000, 0x44);
    EXPECT_EQ(Write(kDvd, 1000, 32).sense, sense::kLbaOutOfRange);  // past the reservation
    // The engine's closing sequence: two tracks, then the session.
    ASSERT_TRUE(Sync(kDvd).Good());
    ASSERT_TRUE(Close(kDvd, 1, 1).Good());
    ASSERT_TRUE(Close(kDvd, 1, 2).Good());
    ASSERT_TRUE(Close(kDvd, 2, 3).Good());
    TReply di = DiscInfo(kDvd);
    EXPECT_EQ(di.data[2], 0x01);
    EXPECT_EQ(di.data[4], 2);
    uint32_t next = Nwa(kDvd, 2);
    EXPECT_EQ(next % 16, 0u);
    EXPECT_GT(next, 1008u);

    // An empty reservation cannot be closed into a border.
    ASSERT_TRUE(Reserve(kDvd, 32).Good());
    EXPECT_EQ(Close(kDvd, 2, 0).sense, sense::kEmptyReservedTrack);
    EXPECT_EQ(Write(kDvd, next + 16, 16).sense, sense::kInvalidWriteAddress);
}

TEST_F(Lifecycle, DvdPlusRAppendsThenFinalizesByPage) {
    Insert(kDvd, TMediaKind::DvdPlusR);
    ASSERT_TRUE(SetWriteParameters(kDvd, 2, 3).Good());
    WriteRun(kDvd, 0, 40, 0x55);
    ASSERT_TRUE(Close(kDvd, 1, 1).Good());
    ASSERT_TRUE(Close(kDvd, 2, 255).Good());
    EXPECT_EQ(DiscInfo(kDvd).data[2], 0x01);
    uint32_t next = Nwa(kDvd, 0xFF);
    EXPECT_EQ(next, 48u + 4096u);

    ASSERT_TRUE(SetWriteParameters(kDvd, 2, 0).Good());
    WriteRun(kDvd, next, 32, 0x66);
    ASSERT_TRUE(Close(kDvd, 1, 2).Good());
    ASSERT_TRUE(Close(kDvd, 2, 255).Good());
    TReply di = DiscInfo(kDvd);
    EXPECT_EQ(di.data[2], 0x0E);
    EXPECT_EQ(di.data[4], 2);
}

TEST_F(Lifecycle, DvdPlusRDlFinalizesOnlyByFunction) {
    Insert(kBd, TMediaKind::DvdPlusRDl);
    ASSERT_TRUE(SetWriteParameters(kBd, 2, 0).Good());
    WriteRun(kBd, 0, 32, 1);
    ASSERT_TRUE(Close(kBd, 1, 1).Good());
    ASSERT_TRUE(Close(kBd, 2, 0).Good());
    EXPECT_EQ(DiscInfo(kBd).data[2], 0x01);
    EXPECT_EQ(Close(kCd, 6, 0).sense.asc, 0x3A);  // no disc in the CD writer
    ASSERT_TRUE(Close(kBd, 6, 0).Good());
    EXPECT_EQ(DiscInfo(kBd).data[2], 0x0E);
    EXPECT_EQ(Profile(kBd).data[7], 0x2B);
}

TEST_F(Lifecycle, BdRSessionClosesOpenTrack) {
    Insert(kBd, TMediaKind::BdR);
    EXPECT_EQ(Profile(kBd).data[7], 0x41);
    ASSERT_TRUE(SetWriteParameters(kBd, 1, 3).Good());
    WriteRun(kBd, 0, 64, 7);
    EXPECT_EQ(Close(kBd, 1, 0).sense, sense::kInvalidFieldInCdb);  // track 0 does not exist
    ASSERT_TRUE(Close(kBd, 2, 0).Good());
    EXPECT_EQ(TrackInfo(kBd, 1).data[7] & 1, 0);
    EXPECT_EQ(Nwa(kBd, 2), 64u + 4096u);
    ASSERT_TRUE(Close(kBd, 6, 0).Good());
    EXPECT_EQ(DiscInfo(kBd).data[2], 0x0E);
    EXPECT_EQ(Blank(kBd, true).sense, sense::kCannotFormat);
}

TEST_F(Lifecycle, DvdPlusRwFormatThenOverwriteAnywhere) {
    Insert(kDvd, TMediaKind::DvdPlusRw);
    TReply di = DiscInfo(kDvd);
    EXPECT_EQ(di.data[2] & 0x03, 0);  // blank until formatted
    EXPECT_EQ(di.data[7] & 0x03, 0);
    EXPECT_EQ(Write(kDvd, 0, 32).sense, sense::kCannotWriteIncompatible);
    TReply fc = In(kDvd, {0x23, 0, 0, 0, 0, 0, 0, 0, 0x7C, 0}, 0x7C);
    ASSERT_TRUE(fc.Good());
    EXPECT_EQ(BE32(&fc.data[4]), 2295104u);
    EXPECT_EQ(fc.data[8], 0x01);
    EXPECT_EQ(fc.data[12 + 4], 0x98);  // 26h descriptor

    auto bad = kDvdPlusRwFormat();
    bad[7] = 0x41;  // a count the drive did not list
    EXPECT_EQ(Format(kDvd, bad).sense, sense::kInvalidFieldInParameters);
    ASSERT_TRUE(Format(kDvd, kDvdPlusRwFormat()).Good());
    di = WaitWhileNotReady(kDvd);
    ASSERT_TRUE(di.Good());
    EXPECT_EQ(di.data[2], 0x1E);
    EXPECT_NE(di.data[7] & 0x03, 0);
    WriteRun(kDvd, 100000, 32, 0x77);
    WriteRun(kDvd, 0, 32, 0x78);
    WriteRun(kDvd, 0, 32, 0x79);  // overwrite
    EXPECT_EQ(Write(kDvd, 2295104 - 16, 32).sense, sense::kLbaOutOfRange);
    ASSERT_TRUE(Close(kDvd, 3, 255).Good());
    EXPECT_EQ(Read(kDvd, 0, 1).data[0], 0x79);
    EXPECT_EQ(Read(kDvd, 100031, 1).data[100], 0x77);
    TReply ti = TrackInfo(kDvd, 1);
    EXPECT_EQ(BE32(&ti.data[24]), 2295104u);
    EXPECT_EQ(ti.data[7] & 1, 0);  // no NWA on +RW
}

TEST_F(Lifecycle, DvdRwQuickFormatSwitchesProfileAndBlankSwitchesBack) {
    Insert(kDvd, TMediaKind::DvdRw);
    EXPECT_EQ(BE16(&Profile(kDvd).data[6]), 0x0014);
    EXPECT_EQ(Format(kDvd, kDvdRwGrow()).sense, sense::kInvalidFieldInParameters);
    ASSERT_TRUE(Format(kDvd, kDvdRwQuick1000()).Good());
    EXPECT_EQ(Tur(kDvd).sense, sense::kFormatInProgress);
    ASSERT_TRUE(WaitWhileNotReady(kDvd).Good());
    EXPECT_EQ(BE16(&Profile(kDvd).data[6]), 0x0013);
    TReply ti = TrackInfo(kDvd, 1);
    EXPECT_EQ(ti.data[6] & 0x10, 0x10);  // fixed packets: restricted overwrite
    EXPECT_EQ(BE32(&ti.data[12]), 1000u);
    TReply di = DiscInfo(kDvd);
    EXPECT_EQ(di.data[4], 1);
    EXPECT_EQ(di.data[6], 1);

    // The engine's capacity choice: the first descriptor reading 00 00 08 00.
    TReply fc = In(kDvd, {0x23, 0, 0, 0, 0, 0, 0, 0, 0x7C, 0}, 0x7C);
    EXPECT_EQ(fc.data[8] & 3, 3);  // intermediate
    EXPECT_EQ(BE32(&fc.data[12]), 2297888u);
    EXPECT_EQ(BE32(&fc.data[16]), 0x00000800u);

    EXPECT_EQ(Write(kDvd, 2000, 32).sense, sense::kInvalidWriteAddress);
    WriteRun(kDvd, 0, 1024, 0x12);  // grows the formatted area past 1000
    EXPECT_EQ(BE32(&TrackInfo(kDvd, 1).data[12]), 1024u);
    ASSERT_TRUE(Close(kDvd, 1, 1).Good());
    ASSERT_TRUE(Close(kDvd, 2, 0, true).Good());
    ASSERT_TRUE(WaitWhileNotReady(kDvd).Good());
    ASSERT_TRUE(Format(kDvd, kDvdRwGrow()).Good());
    EXPECT_EQ(Blank(kDvd, true).sense, sense::kFormatInProgress);
    ASSERT_TRUE(WaitWhileNotReady(kDvd).Good());

    ASSERT_TRUE(Blank(kDvd, true).Good());
    EXPECT_EQ(Tur(kDvd).sense, sense::kOperationInProgress);
    ASSERT_TRUE(WaitWhileNotReady(kDvd).Good());
    EXPECT_EQ(BE16(&Profile(kDvd).data[6]), 0x0014);
    EXPECT_EQ(DiscInfo(kDvd).data[2], 0x10);  // blank, erasable
    EXPECT_EQ(Nwa(kDvd, 1), 0u);
}

TEST_F(Lifecycle, DvdRamAndBdReFormatAndWrite) {
    Insert(kDvd, TMediaKind::DvdRam);
    EXPECT_EQ(DiscInfo(kDvd).data[2], 0x1F);
    WriteRun(kDvd, 5000, 32, 0x21);
    auto bad = kDvdRamFull();
    bad[7] = 0x00;
    EXPECT_EQ(Format(kDvd, bad).sense, sense::kInvalidFieldInParameters);
    EXPECT_EQ(Read(kDvd, 5000, 1).data[0], 0x21);  // a refused format changes nothing
    ASSERT_TRUE(Format(kDvd, kDvdRamFull()).Good());
    EXPECT_EQ(Tur(kDvd).sense, sense::kFormatInProgress);
    ASSERT_TRUE(WaitWhileNotReady(kDvd).Good());
    EXPECT_EQ(Read(kDvd, 5000, 1).data[0], 0x00);

    Insert(kBd, TMediaKind::BdRe);
    EXPECT_EQ(DiscInfo(kBd).data[2], 0x10);  // blank but erasable
    EXPECT_EQ(Write(kBd, 0, 32).sense, sense::kCannotWriteIncompatible);
    auto fewSpares = kBdReQuick();
    fewSpares[10] = 0x08;  // 2048 spare clusters
    EXPECT_EQ(Format(kBd, fewSpares).sense, sense::kInvalidFieldInParameters);
    ASSERT_TRUE(Format(kBd, kBdReQuick()).Good());
    ASSERT_TRUE(WaitWhileNotReady(kBd).Good());
    TReply ti = TrackInfo(kBd, 1);
    EXPECT_EQ(BE32(&ti.data[24]), 12088320u);
    WriteRun(kBd, 0, 16, 0);
    WriteRun(kBd, 777, 32, 0x31);
    EXPECT_EQ(Read(kBd, 777, 1).data[5], 0x31);
}

TEST_F(Lifecycle, EraseRefusalsNameTheirReason) {
    Insert(kCd, TMediaKind::CdR);
    EXPECT_EQ(Blank(kCd, true).sense, sense::kCannotFormat);
    EXPECT_EQ(Format(kCd, kDvdPlusRwFormat()).sense, sense::kCannotFormat);
    Insert(kDvd, TMediaKind::DvdPlusR);
    EXPECT_EQ(Blank(kDvd, false).sense, sense::kCannotFormat);
    // The read-only drive does not know the recording commands at all.
    Insert(kRom, TMediaKind::DvdRom);
    EXPECT_EQ(Blank(kRom, true).sense, sense::kInvalidOpcode);
    EXPECT_EQ(Write(kRom, 0, 1).sense, sense::kInvalidOpcode);
    EXPECT_EQ(In(kRom, {0x43, 2, 4, 0, 0, 0, 0, 0, 30, 0}, 30).sense, sense::kInvalidFieldInCdb);
    // Unknown opcodes.
    EXPECT_EQ(None(kBd, {0xF3, 0, 0, 0, 0, 0}).sense, sense::kInvalidOpcode);
}

TEST_F(Lifecycle, CdRwBlankAfterWriting) {
    Insert(kCd, TMediaKind::CdRw);
    EXPECT_EQ(In(kCd, {0x43, 2, 4, 0, 0, 0, 0, 0, 30, 0}, 30).data[6] & 0xC0, 0xC0);
    ASSERT_TRUE(SetWriteParameters(kCd, 1, 3).Good());
    WriteRun(kCd, 0, 32, 9);
    ASSERT_TRUE(Sync(kCd).Good());
    ASSERT_TRUE(Close(kCd, 2, 0).Good());
    EXPECT_EQ(DiscInfo(kCd).data[2], 0x11);
    ASSERT_TRUE(Blank(kCd, false).Good());
    ASSERT_TRUE(WaitWhileNotReady(kCd).Good());
    EXPECT_EQ(DiscInfo(kCd).data[2], 0x10);
    EXPECT_EQ(Nwa(kCd, 1), 0u);
    EXPECT_EQ(Read(kCd, 0, 1).sense, sense::kLbaOutOfRange);
}

}  // namespace
}  // namespace tessor::vdrive::test
