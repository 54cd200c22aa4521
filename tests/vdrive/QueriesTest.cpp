// What the recorder says about itself and its disc: configuration, mode
// pages, ATIP, capacities, the tray, and the quirks of particular drives.
#include <fstream>

#include "tests/vdrive/VDriveTestSupport.h"

namespace tessor::vdrive::test {
namespace {

constexpr unsigned kBd = 0, kDvd = 1, kCd = 2, kRom = 3, kQuirky = 4, kQuirkyCd = 5;

class Queries : public TVirtualRecorderTest {
protected:
    std::vector<TDriveConfig> Drives() override {
        auto drives = DefaultDriveSet();
        TDriveConfig quirky;
        quirky.kind = TDriveKind::DvdWriter;
        quirky.product = "QUIRKY DVD";
        quirky.blockDescriptor = true;
        quirky.pioneer = true;
        quirky.strictTrackFF = true;
        quirky.unitAttention = true;
        quirky.strictModeSelectLength = true;
        quirky.loadMs = 300000;  // 300 ms at the test scale
        drives.push_back(quirky);
        TDriveConfig cd;
        cd.kind = TDriveKind::CdWriterOld;
        cd.nwaMinus150 = true;
        drives.push_back(cd);
        return drives;
    }
};

TEST_F(Queries, GetConfigurationListsProfilesAndTheCurrentOne) {
    TReply r = Profile(kBd);
    ASSERT_TRUE(r.Good());
    EXPECT_EQ(BE16(&r.data[6]), 0);  // no disc
    uint32_t total = BE32(&r.data[0]) + 4;
    EXPECT_EQ(total, 8u + 4 + 4 * 16);
    EXPECT_EQ(r.data[11], 4 * 16);
    EXPECT_EQ(BE16(&r.data[12]), 0x0043);

    Insert(kBd, TMediaKind::DvdPlusRw);
    r = Profile(kBd);
    EXPECT_EQ(BE16(&r.data[6]), 0x001A);
    int current = 0;
    for (int i = 0; i < 16; ++i) {
        if (r.data[12 + 4 * i + 2] & 1) {
            ++current;
            EXPECT_EQ(BE16(&r.data[12 + 4 * i]), 0x001A);
        }
    }
    EXPECT_EQ(current, 1);

    // The old CD writer predates the command; the reader shows a CD-R as CD-ROM.
    EXPECT_EQ(Profile(kCd).sense, sense::kInvalidOpcode);
    Insert(kRom, TMediaKind::CdR);
    EXPECT_EQ(BE16(&Profile(kRom).data[6]), 0x0008);
}

TEST_F(Queries, CapabilitiesPageDefaultAndCurrent) {
    TReply def = In(kDvd, {0x5A, 0, 0x80 | 0x2A, 0, 0, 0, 0, 0, 128, 0}, 128);
    ASSERT_TRUE(def.Good());
    const uint8_t* p = &def.data[8];
    ASSERT_EQ(p[0], 0x2A);
    EXPECT_NE(p[3], 0);              // writer
    EXPECT_EQ(p[4] & 0x80, 0x80);    // buffer-underrun-free
    EXPECT_EQ(BE16(p + 18), 11080);  // maximum write speed
    EXPECT_EQ(BE16(p + 12), 2048);   // buffer KiB
    EXPECT_EQ(BE16(&def.data[0]) + 2u, 8u + 32 + 4 * BE16(p + 30));

    ASSERT_TRUE(None(kDvd, {0xBB, 1, 0xFF, 0xFF, 0x0F, 0xA0, 0, 0, 0, 0, 0, 0}).Good());
    TReply cur = ModeSense(kDvd, 0x2A);
    EXPECT_EQ(BE16(&cur.data[8 + 20]), 4000);
    EXPECT_EQ(BE16(&cur.data[8 + 28]), 4000);
    def = In(kDvd, {0x5A, 0, 0x80 | 0x2A, 0, 0, 0, 0, 0, 128, 0}, 128);
    EXPECT_EQ(BE16(&def.data[8 + 20]), 11080);

    EXPECT_EQ(ModeSense(kRom, 0x2A).data[8 + 3], 0);  // the reader writes nothing
    EXPECT_EQ(In(kDvd, {0x5A, 0, 0xC0 | 0x2A, 0, 0, 0, 0, 0, 128, 0}, 128).sense,
              sense::kSavingNotSupported);
    EXPECT_EQ(ModeSense(kDvd, 0x1D).sense, sense::kInvalidFieldInCdb);

    // A drive with a block descriptor puts the page at offset 16.
    TReply bd = ModeSense(kQuirky, 0x2A);
    EXPECT_EQ(BE16(&bd.data[6]), 8);
    EXPECT_EQ(bd.data[16], 0x2A);
}

TEST_F(Queries, WriteParametersPageIsCheckedThenEchoed) {
    Insert(kDvd, TMediaKind::DvdR);
    TReply page = ModeSense(kDvd, 0x05);
    ASSERT_TRUE(page.Good());
    EXPECT_EQ(page.data[8], 0x05);
    EXPECT_EQ(page.data[9], 0x32);
    ASSERT_TRUE(SetWriteParameters(kDvd, 0, 3, 5, true).Good());
    page = ModeSense(kDvd, 0x05);
    EXPECT_EQ(page.data[8 + 2], 0x20);  // LS_V, packet
    EXPECT_EQ(page.data[8 + 3], 0xC5);
    EXPECT_EQ(page.data[8 + 5], 16);

    // Refused pages change nothing.
    std::vector<uint8_t> bad(page.data.begin(), page.data.begin() + 8 + 52);
    bad[8 + 5] = 7;  // link size of a CD on a DVD-R
    EXPECT_EQ(Out(kDvd, {0x55, 0x10, 0, 0, 0, 0, 0, 0, 60, 0}, bad).sense,
              sense::kInvalidFieldInParameters);
    bad[8 + 5] = 16;
    bad[8 + 1] = 0x30;  // page length changed
    EXPECT_EQ(Out(kDvd, {0x55, 0x10, 0, 0, 0, 0, 0, 0, 60, 0}, bad).sense,
              sense::kInvalidFieldInParameters);
    std::vector<uint8_t> shortList(page.data.begin(), page.data.begin() + 30);
    EXPECT_EQ(Out(kDvd, {0x55, 0x10, 0, 0, 0, 0, 0, 0, 30, 0}, shortList).sense,
              sense::kParameterListLength);
    EXPECT_EQ(ModeSense(kDvd, 0x05).data[8 + 3], 0xC5);

    // A block descriptor is accepted only by a drive that sends one; the
    // strict drive wants the mode data length zeroed.
    Insert(kQuirky, TMediaKind::DvdR);
    usleep(350000);
    Tur(kQuirky);  // unit attention
    EXPECT_EQ(SetWriteParameters(kQuirky, 0, 3, 5, true).sense, sense::kInvalidFieldInParameters);
    TReply q = ModeSense(kQuirky, 0x05, 512);
    std::vector<uint8_t> sel(q.data.begin(), q.data.begin() + 16 + 52);
    sel[0] = sel[1] = 0;
    EXPECT_TRUE(Out(kQuirky, {0x55, 0x10, 0, 0, 0, 0, 0, 0, 68, 0}, sel).Good());
    // The same list with its block descriptor, sent to a drive that has none.
    EXPECT_EQ(Out(kDvd, {0x55, 0x10, 0, 0, 0, 0, 0, 0, 68, 0}, sel).sense,
              sense::kInvalidFieldInParameters);
}

TEST_F(Queries, AtipTellsCdRFromCdRwAndPressedDiscsHaveNone) {
    Insert(kCd, TMediaKind::CdR);
    TReply atip = In(kCd, {0x43, 2, 4, 0, 0, 0, 0, 0, 30, 0}, 30);
    ASSERT_TRUE(atip.Good());
    EXPECT_EQ(atip.data[6] & 0xC0, 0x80);
    EXPECT_EQ(atip.data[8], 97);  // lead-in 97:34:23
    EXPECT_EQ(atip.data[9], 34);
    EXPECT_EQ(atip.data[10], 23);
    EXPECT_EQ(atip.data[12], 79);  // last lead-out 79:59:74
    Insert(kCd, TMediaKind::CdRom);
    EXPECT_EQ(In(kCd, {0x43, 2, 4, 0, 0, 0, 0, 0, 30, 0}, 30).sense, sense::kInvalidFieldInCdb);
    TReply di = DiscInfo(kCd);
    EXPECT_EQ(di.data[2], 0x0E);
    EXPECT_EQ(di.data[2] & 0x10, 0);
}

TEST_F(Queries, PressedDiscReadsBackItsImage) {
    std::string image = dir_ + "/pressed.iso";
    {
        std::ofstream out(image, std::ios::binary);
        for (int i = 0; i < 100; ++i) {
            std::string sector(2048, static_cast<char>(i));
            out.write(sector.data(), 2048);
        }
        out.write("tail", 4);  // a last, partial sector
    }
    Insert(kRom, TMediaKind::DvdRom, image);
    EXPECT_EQ(BE16(&Profile(kRom).data[6]), 0x0010);
    TReply cap = In(kRom, {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 8);
    EXPECT_EQ(BE32(&cap.data[0]), 100u);
    EXPECT_EQ(BE32(&cap.data[4]), 2048u);
    TReply r = Read(kRom, 42, 2);
    ASSERT_TRUE(r.Good());
    EXPECT_EQ(r.data[0], 42);
    EXPECT_EQ(r.data[2048], 43);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&Read(kRom, 100, 1).data[0]), 4), "tail");
    EXPECT_EQ(Read(kRom, 101, 1).sense, sense::kLbaOutOfRange);
    TReply toc = In(kRom, {0x43, 0, 0, 0, 0, 0, 0, 0, 20, 0}, 20);
    ASSERT_TRUE(toc.Good());
    EXPECT_EQ(toc.data[3], 1);
    EXPECT_EQ(toc.data[4 + 8 + 2], 0xAA);
    EXPECT_EQ(BE32(&toc.data[4 + 8 + 4]), 101u);
    EXPECT_EQ(DiscInfo(kRom).data[2], 0x0E);
    std::string error;
    EXPECT_FALSE(host_->InsertMedia(kRom, TMediaKind::BdRe, "", error));
    EXPECT_FALSE(host_->InsertMedia(kRom, TMediaKind::DvdRom, dir_ + "/missing.iso", error));
    EXPECT_NE(error.find("missing.iso"), std::string::npos);
}

TEST_F(Queries, FormatCapacitiesPerMedium) {
    Insert(kBd, TMediaKind::BdRe);
    TReply fc = In(kBd, {0x23, 0, 0, 0, 0, 0, 0, 0, 0x7C, 0}, 0x7C);
    ASSERT_TRUE(fc.Good());
    EXPECT_EQ(fc.data[3], 6 * 8);
    EXPECT_EQ(BE32(&fc.data[4]), 12219392u);
    EXPECT_EQ(fc.data[8] & 3, 1);  // unformatted
    EXPECT_EQ(BE32(&fc.data[12]), 11826176u);
    EXPECT_EQ(BE32(&fc.data[16]), 0x00003000u);
    EXPECT_EQ(fc.data[4 + 5 * 8 + 4], 0x31 << 2);

    Insert(kDvd, TMediaKind::DvdRam);
    fc = In(kDvd, {0x23, 0, 0, 0, 0, 0, 0, 0, 0x7C, 0}, 0x7C);
    EXPECT_EQ(BE32(&fc.data[12]), 2236704u);
    EXPECT_EQ(BE32(&fc.data[16]), 0x00000800u);
}

TEST_F(Queries, TrayLockingAndLoading) {
    Insert(kBd, TMediaKind::BdR);
    ASSERT_TRUE(None(kBd, {0x1E, 0, 0, 0, 1, 0}).Good());
    EXPECT_EQ(ModeSense(kBd, 0x2A).data[8 + 6] & 0x02, 0x02);
    EXPECT_EQ(None(kBd, {0x1B, 0, 0, 0, 2, 0}).sense, sense::kRemovalPreventedWithMedium);
    ASSERT_TRUE(None(kBd, {0x1E, 0, 0, 0, 0, 0}).Good());
    ASSERT_TRUE(None(kBd, {0x1B, 0, 0, 0, 2, 0}).Good());
    EXPECT_EQ(Tur(kBd).sense, sense::kNoMediumTrayOpen);
    EXPECT_EQ(BE16(&Profile(kBd).data[6]), 0);
    ASSERT_TRUE(None(kBd, {0x1B, 0, 0, 0, 3, 0}).Good());
    EXPECT_TRUE(Tur(kBd).Good());

    std::string error;
    ASSERT_TRUE(host_->EjectMedia(kDvd, error));
    ASSERT_TRUE(None(kDvd, {0x1E, 0, 0, 0, 1, 0}).Good());
    EXPECT_EQ(None(kDvd, {0x1B, 0, 0, 0, 2, 0}).sense, sense::kRemovalPreventedNoMedium);

    // A drive that loads slowly and reports the new medium once.
    Insert(kQuirky, TMediaKind::DvdPlusR);
    EXPECT_EQ(Tur(kQuirky).sense, sense::kBecomingReady);
    usleep(350000);
    EXPECT_EQ(Tur(kQuirky).sense, sense::kMediumChanged);
    EXPECT_TRUE(Tur(kQuirky).Good());
}

TEST_F(Queries, TrackFFAndNextWritableQuirks) {
    Insert(kQuirky, TMediaKind::DvdR);
    usleep(350000);
    Tur(kQuirky);
    EXPECT_EQ(TrackInfo(kQuirky, 0xFF).sense, sense::kInvalidFieldInCdb);
    EXPECT_TRUE(TrackInfo(kQuirky, 1).Good());
    Insert(kDvd, TMediaKind::DvdR);
    EXPECT_TRUE(TrackInfo(kDvd, 0xFF).Good());

    Insert(kQuirkyCd, TMediaKind::CdR);
    ASSERT_TRUE(SetWriteParameters(kQuirkyCd, 1, 3).Good());
    EXPECT_EQ(BE32(&TrackInfo(kQuirkyCd, 1).data[12]), static_cast<uint32_t>(-150));
    // Session at once: no next writable address, the cue sheet decides.
    ASSERT_TRUE(SetWriteParameters(kQuirkyCd, 2, 3).Good());
    EXPECT_EQ(TrackInfo(kQuirkyCd, 1).data[7] & 1, 0);
}

TEST_F(Queries, StrictFormatRefusesCertificationBitsWithFov) {
    Insert(kQuirky, TMediaKind::DvdRw);
    usleep(350000);
    Tur(kQuirky);
    EXPECT_EQ(Format(kQuirky, kDvdRwQuick1000()).sense, sense::kInvalidFieldInParameters);
    EXPECT_EQ(BE16(&Profile(kQuirky).data[6]), 0x0014);
    ASSERT_TRUE(Format(kQuirky, kDvdRwQuick()).Good());
    ASSERT_TRUE(WaitWhileNotReady(kQuirky).Good());
    TReply ti = TrackInfo(kQuirky, 1);
    EXPECT_EQ(BE32(&ti.data[12]), 0u);  // a zero-size format: writing starts at 0
    EXPECT_TRUE(Write(kQuirky, 0, 16).Good());
}

}  // namespace
}  // namespace tessor::vdrive::test
