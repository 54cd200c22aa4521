// What an operating system and other burners ask beside the engine's own
// commands: MODE SENSE (6), vital product data, media events, performance,
// DVD structures, the old-style READ TOC session query, and the data
// direction that a transport without one takes from the opcode table.
#include "tests/vdrive/VDriveTestSupport.h"
#include "vdrive/Device.h"

namespace tessor::vdrive::test {
namespace {

constexpr unsigned kBd = 0, kDvd = 1, kCd = 2, kRom = 3, kQuirky = 4;

class SystemQueries : public TVirtualRecorderTest {
protected:
    std::vector<TDriveConfig> Drives() override {
        auto drives = DefaultDriveSet();
        TDriveConfig quirky;
        quirky.kind = TDriveKind::DvdWriter;
        quirky.blockDescriptor = true;
        drives.push_back(quirky);
        return drives;
    }
    TReply Events(unsigned t, uint8_t classes = 0x10, uint8_t polled = 1) {
        return In(t, {0x4A, polled, 0, 0, classes, 0, 0, 0, 8, 0}, 8);
    }
    uint8_t MediaEvent(unsigned t) { return Events(t).data[4] & 0x0F; }
    TReply Vpd(unsigned t, uint8_t page) { return In(t, {0x12, 1, page, 0, 64, 0}, 64); }
    TReply Performance(unsigned t, uint8_t type, uint8_t dataType, uint8_t max = 8) {
        return In(t, {0xAC, dataType, 0, 0, 0, 0, 0, 0, 0, max, type, 0}, 8 + 16 * max);
    }
    TReply Structure(unsigned t, uint8_t format, uint8_t mediaType = 0) {
        return In(t, {0xAD, mediaType, 0, 0, 0, 0, 0, format, 0x08, 0x04, 0, 0}, 2052);
    }
};

TEST_F(SystemQueries, ModeSense6CarriesThePagesOfModeSense10) {
    for (unsigned drive : {kDvd, kQuirky}) {
        TReply ten = ModeSense(drive, 0x2A, 255);
        TReply six = In(drive, {0x1A, 0, 0x2A, 0, 255, 0}, 255);
        ASSERT_TRUE(six.Good()) << drive;
        const size_t total = six.data[0] + 1u;
        EXPECT_EQ(total + 4, BE16(&ten.data[0]) + 2u) << drive;
        EXPECT_EQ(six.data[3], ten.data[7]) << "block descriptor length, drive " << drive;
        EXPECT_TRUE(
            std::equal(six.data.begin() + 4, six.data.begin() + total, ten.data.begin() + 8))
            << drive;
        // The page holds its 32 fixed bytes and every speed descriptor.
        const uint8_t* p = &six.data[4 + six.data[3]];
        EXPECT_EQ(p[1] + 2u, 32u + 4 * BE16(p + 30)) << drive;
    }
    EXPECT_EQ(In(kDvd, {0x1A, 0, 0x17, 0, 255, 0}, 255).sense, sense::kInvalidFieldInCdb);
}

TEST_F(SystemQueries, VitalProductDataPagesAreTheListedOnes) {
    TReply list = Vpd(kBd, 0x00);
    ASSERT_TRUE(list.Good());
    EXPECT_EQ(list.data[0], 0x05);
    const uint16_t count = BE16(&list.data[2]);
    ASSERT_GE(count, 1);
    for (uint16_t i = 0; i < count; ++i) {
        const uint8_t page = list.data[4 + i];
        if (i > 0) {
            EXPECT_GT(page, list.data[4 + i - 1]) << "ascending";
        }
        TReply r = Vpd(kBd, page);
        EXPECT_TRUE(r.Good()) << int(page);
        EXPECT_EQ(r.data[1], page);
    }
    EXPECT_EQ(Vpd(kBd, 0xB0).sense, sense::kInvalidFieldInCdb);
    // A page code without the EVPD bit is a fault of the CDB.
    EXPECT_EQ(In(kBd, {0x12, 0, 0x80, 0, 64, 0}, 64).sense, sense::kInvalidFieldInCdb);
}

TEST_F(SystemQueries, MediaEventsAreReportedOnce) {
    EXPECT_EQ(Events(kBd, 0x10, 0).sense, sense::kInvalidFieldInCdb);  // asynchronous
    TReply none = Events(kBd, 0x02);  // operational change only: not supported
    EXPECT_EQ(none.data[2] & 0x80, 0x80);
    EXPECT_EQ(none.data[3], 0x10);

    Insert(kBd, TMediaKind::CdR);
    TReply r = Events(kBd);
    ASSERT_TRUE(r.Good());
    EXPECT_EQ(r.data[2], 4);            // media class
    EXPECT_EQ(r.data[4] & 0x0F, 2);     // new media
    EXPECT_EQ(r.data[5] & 0x03, 0x02);  // present, tray closed
    EXPECT_EQ(MediaEvent(kBd), 0) << "reported once";

    const TReply eject = None(kBd, {0x1B, 0, 0, 0, 0x02, 0});
    ASSERT_TRUE(eject.Good());
    r = Events(kBd);
    EXPECT_EQ(r.data[4] & 0x0F, 3);     // media removal
    EXPECT_EQ(r.data[5] & 0x03, 0x01);  // tray open
    ASSERT_TRUE(None(kBd, {0x1B, 0, 0, 0, 0x03, 0}).Good());
    EXPECT_EQ(MediaEvent(kBd), 2);

    // The tool runs in another process: the event waits in the state files.
    Insert(kDvd, TMediaKind::DvdPlusRw);
    std::string error;
    ASSERT_TRUE(host_->EjectMedia(kDvd, error)) << error;
    host_.reset();
    Start();
    EXPECT_EQ(MediaEvent(kDvd), 3);
}

TEST_F(SystemQueries, WriteSpeedsAgreeWithTheCapabilitiesPage) {
    Insert(kDvd, TMediaKind::DvdPlusR);
    TReply page = ModeSense(kDvd, 0x2A, 255);
    const uint8_t* p = &page.data[8];
    TReply r = Performance(kDvd, 0x03, 0);
    ASSERT_TRUE(r.Good());
    const uint32_t n = (BE32(&r.data[0]) - 4) / 16;
    ASSERT_EQ(n, BE16(p + 30));
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t* d = &r.data[8 + 16 * i];
        EXPECT_EQ(BE32(d + 4), 2295104u - 1) << "end LBA";
        EXPECT_EQ(BE32(d + 12), BE16(p + 32 + 4 * i + 2)) << i;
    }
    EXPECT_EQ((BE32(&Performance(kDvd, 0x03, 0, 1).data[0]) - 4) / 16, 1u);

    // Nominal write performance follows SET CD SPEED; exceptions: none.
    ASSERT_TRUE(None(kDvd, {0xBB, 0, 0xFF, 0xFF, 0x0F, 0xA0, 0, 0, 0, 0, 0, 0}).Good());
    r = Performance(kDvd, 0x00, 0x04);
    ASSERT_TRUE(r.Good());
    EXPECT_EQ(r.data[4] & 0x03, 0x02);
    EXPECT_EQ(BE32(&r.data[8 + 4]), 4000u);
    EXPECT_EQ(BE32(&Performance(kDvd, 0x00, 0x06).data[0]), 4u);
    EXPECT_EQ(Performance(kDvd, 0x00, 0x03).sense, sense::kInvalidFieldInCdb);

    // Nothing to write on a pressed disc, or with a reader.
    Insert(kDvd, TMediaKind::DvdRom);
    EXPECT_EQ(BE32(&Performance(kDvd, 0x03, 0).data[0]), 4u);
    Insert(kRom, TMediaKind::DvdR);
    EXPECT_EQ(BE32(&Performance(kRom, 0x03, 0).data[0]), 4u);
}

TEST_F(SystemQueries, DvdPhysicalFormatNamesTheBook) {
    struct {
        TMediaKind media;
        uint8_t book, layers, layerType;
        uint32_t capacity;
    } cases[] = {
        {TMediaKind::DvdRom, 0x0, 0, 0x1, 4173824},
        {TMediaKind::DvdR, 0x2, 0, 0x2, 2297888},
        {TMediaKind::DvdPlusRw, 0x9, 0, 0x4, 2295104},
        {TMediaKind::DvdPlusR, 0xA, 0, 0x2, 2295104},
        {TMediaKind::DvdPlusRDl, 0xE, 1, 0x2, 4173824},
    };
    for (const auto& c : cases) {
        Insert(kBd, c.media);
        TReply r = Structure(kBd, 0x00);
        ASSERT_TRUE(r.Good()) << MediaInfo(c.media).name;
        EXPECT_EQ(BE16(&r.data[0]), 2050);
        const uint8_t* p = &r.data[4];
        EXPECT_EQ(p[0] >> 4, c.book) << MediaInfo(c.media).name;
        EXPECT_EQ(p[2] >> 5 & 0x03, c.layers);
        EXPECT_EQ(p[2] & 0x0F, c.layerType);
        EXPECT_EQ(BE32(p + 4), 0x030000u);
        const uint32_t end = c.layers == 0 ? BE32(p + 8) : BE32(p + 12);  // of layer 0
        EXPECT_EQ(end, 0x030000u + c.capacity / (c.layers + 1) - 1);
    }
    TReply list = Structure(kBd, 0xFF);
    ASSERT_TRUE(list.Good());
    EXPECT_EQ(list.data[4], 0x00);
    EXPECT_EQ(BE16(&list.data[6]), 2052);
    EXPECT_EQ(Structure(kBd, 0x05).sense, sense::kInvalidFieldInCdb);
    EXPECT_EQ(Structure(kBd, 0x00, 1).sense, sense::kIncompatibleMediumRead);  // BD asked, DVD in
    Insert(kBd, TMediaKind::CdR);
    EXPECT_EQ(Structure(kBd, 0x00).sense, sense::kIncompatibleMediumRead);
    EXPECT_EQ(Structure(kCd, 0x00).sense, sense::kInvalidOpcode);  // a CD-only drive
}

TEST_F(SystemQueries, BdSpareAreaFollowsTheFormat) {
    Insert(kBd, TMediaKind::BdRe);
    TReply spare = Structure(kBd, 0x0A, 1);
    ASSERT_TRUE(spare.Good());
    EXPECT_EQ(BE16(&spare.data[0]), 14);
    EXPECT_EQ(BE32(&spare.data[12]), 0u) << "unformatted: no spare area";
    // Format type 30h with 4096 spare clusters of 32 blocks.
    std::vector<uint8_t> list = {0, 0x02, 0, 8, 0, 0, 0, 0, 0x30 << 2, 0, 0x10, 0};
    ASSERT_TRUE(Format(kBd, list).Good());
    spare = Structure(kBd, 0x0A, 1);
    EXPECT_EQ(BE32(&spare.data[12]), 4096u * 32);
    EXPECT_EQ(BE32(&spare.data[8]), 4096u * 32) << "all free";
    EXPECT_EQ(Structure(kBd, 0x00, 0).sense, sense::kIncompatibleMediumRead);  // DVD asked
    EXPECT_EQ(Structure(kBd, 0x0A, 0).sense, sense::kIncompatibleMediumRead);
    TReply list2 = Structure(kBd, 0xFF, 1);
    ASSERT_TRUE(list2.Good());
    EXPECT_EQ(list2.data[4], 0x0A);
}

TEST_F(SystemQueries, SessionInformationAskedInTheControlByte) {
    Insert(kBd, TMediaKind::CdR);
    ASSERT_TRUE(SetWriteParameters(kBd, 1, 3).Good());
    for (int session = 0; session < 2; ++session) {
        TReply nwa = TrackInfo(kBd, 0xFF);
        ASSERT_TRUE(Write(kBd, BE32(&nwa.data[12]), 320).Good());
        ASSERT_TRUE(Sync(kBd).Good());
        ASSERT_TRUE(Close(kBd, 2, 0).Good());
    }
    TReply mmc = In(kBd, {0x43, 0, 0x01, 0, 0, 0, 0, 0, 12, 0}, 12);
    TReply old = In(kBd, {0x43, 0, 0x00, 0, 0, 0, 0, 0, 12, 0x40}, 12);
    ASSERT_TRUE(mmc.Good());
    ASSERT_TRUE(old.Good());
    EXPECT_EQ(BE16(&old.data[0]), 0x0A);
    EXPECT_EQ(old.data, mmc.data);
    EXPECT_EQ(old.data[6], 2) << "first track of the last session";
    EXPECT_GT(BE32(&old.data[8]), 11400u);
}

// libburn closes DVD+R and BD-R sessions without sending page 05h, which
// does not apply to them: the disc stays appendable, and only a multi-session
// field the host did send (as the engine does) finalizes it.
TEST_F(SystemQueries, PlusRAndBdRStayAppendableWithoutAPage05) {
    for (TMediaKind media : {TMediaKind::DvdPlusR, TMediaKind::BdR}) {
        for (bool sendPage : {false, true}) {
            Insert(kBd, media);
            if (sendPage) {
                ASSERT_TRUE(SetWriteParameters(kBd, 2, 0).Good());
            }
            ASSERT_TRUE(Write(kBd, 0, 32).Good());
            ASSERT_TRUE(Close(kBd, 1, 1).Good());
            ASSERT_TRUE(Close(kBd, 2, 0).Good());
            EXPECT_EQ(DiscInfo(kBd).data[2] & 0x03, sendPage ? 2 : 1)
                << MediaInfo(media).name << (sendPage ? " with" : " without") << " page 05h";
        }
    }
}

TEST_F(SystemQueries, PowerCalibrationIsAcceptedOnWritableDiscs) {
    const auto opc = [&] { return None(kDvd, {0x54, 0x01, 0, 0, 0, 0, 0, 0, 0, 0}); };
    Insert(kDvd, TMediaKind::DvdR);
    EXPECT_TRUE(opc().Good());
    Insert(kDvd, TMediaKind::DvdRom);
    EXPECT_EQ(opc().sense, sense::kCannotWriteIncompatible);
    Insert(kRom, TMediaKind::DvdR);
    EXPECT_EQ(None(kRom, {0x54, 0x01, 0, 0, 0, 0, 0, 0, 0, 0}).sense, sense::kInvalidOpcode);
}

TEST(OpcodeTable, DataDirection) {
    struct {
        uint8_t opcode;
        TDirection direction;
    } cases[] = {
        {0x2A, TDirection::Out}, {0x55, TDirection::Out},  {0x04, TDirection::Out},
        {0xB6, TDirection::Out}, {0xBF, TDirection::Out},  {0x28, TDirection::In},
        {0x12, TDirection::In},  {0x1A, TDirection::In},   {0x4A, TDirection::In},
        {0xAD, TDirection::In},  {0xFF, TDirection::None}, {0xAA, TDirection::None},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TDevice::DataDirection(c.opcode), c.direction) << std::hex << int(c.opcode);
}

}  // namespace
}  // namespace tessor::vdrive::test
