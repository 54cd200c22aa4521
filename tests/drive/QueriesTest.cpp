// Disc and drive queries, the media type and its fallbacks, capabilities.
#include "engine/drive/Consts.h"
#include "engine/drive/Queries.h"
#include "tests/drive/DriveFixture.h"

namespace tessor::drive::test {
namespace {

std::vector<uint8_t> ConfigurationReply(uint16_t profile) {
    std::vector<uint8_t> reply(16, 0);
    reply[3] = 12;
    reply[6] = uint8_t(profile >> 8);
    reply[7] = uint8_t(profile);
    reply[11] = 4;
    return reply;
}

std::vector<uint8_t> AtipReply(uint8_t byte6) {
    std::vector<uint8_t> reply(28, 0);
    reply[1] = 26;
    reply[4] = 0x80;
    reply[6] = byte6;
    return reply;
}

std::vector<uint8_t> DiscInfoReply(uint8_t byte2, uint8_t sessions, uint8_t lastTrack) {
    std::vector<uint8_t> reply(34, 0);
    reply[1] = 32;
    reply[2] = byte2;
    reply[3] = 1;
    reply[4] = sessions;
    reply[5] = lastTrack;
    reply[6] = lastTrack;
    return reply;
}

class QueriesTest : public DriveTest {
protected:
    void SetUp() override {
        DriveTest::SetUp();
        UseSystemDrive();
    }
    void Profile(uint16_t profile) { drive_.On(0x46, Good(ConfigurationReply(profile))); }
    // A drive from before GET CONFIGURATION.
    void OldDrive() { drive_.On(0x46, Check(5, 0x20, 0)); }
};

TEST_F(QueriesTest, MediaTypeFollowsTheCurrentProfile) {
    const std::pair<uint16_t, uint8_t> table[] = {
        {0x0000, MT_NONE},       {0x0008, MT_CD_ROM},        {0x0009, MT_CD_R},
        {0x000A, MT_CD_RW},      {0x0010, MT_DVD_ROM},       {0x0011, MT_DVD_R},
        {0x0012, MT_DVD_RAM},    {0x0013, MT_DVD_RW_RO},     {0x0014, MT_DVD_RW_SEQ},
        {0x0015, MT_NONE},       {0x001A, MT_DVD_PLUS_RW},   {0x001B, MT_DVD_PLUS_R},
        {0x002A, MT_NONE},       {0x002B, MT_DVD_PLUS_R_DL}, {0x0040, MT_BD_ROM},
        {0x0041, MT_BD_R_SRM},   {0x0042, MT_BD_R_RRM},      {0x0043, MT_BD_RE},
        {0x0050, MT_HD_DVD_ROM}, {0x0051, MT_HD_DVD_R},      {0x0052, MT_HD_DVD_RAM},
        {0x0020, MT_DDCD_ROM},   {0x0021, MT_DDCD_R},        {0x0022, MT_DDCD_RW},
        {0xFFFF, MT_NONE},
    };
    for (const auto& [profile, media] : table) {
        Profile(profile);
        drive_.Received.clear();
        EXPECT_EQ(GetMediaType(*device_), media) << "profile " << profile;
        // No fallback after a good reply, whatever the profile.
        ASSERT_EQ(Sent().size(), 1u);
        EXPECT_EQ(Sent()[0].Cdb, (std::vector<uint8_t>{0x46, 0x02, 0, 0, 0, 0, 0, 0, 114, 0}));
    }
    EXPECT_EQ(device_->ConfigBuffer[7], 0xFF);
}

// Which answers mean "ask again": a busy drive, one becoming ready or at
// work, and a unit attention (asked again at once); any other refusal ends
// the wait at the first answer.
TEST_F(QueriesTest, ReadinessWaitsOnlyForADriveAtWork) {
    const std::pair<TReply, bool> table[] = {
        {Check(2, 0x04, 0x01), true},
        {Check(2, 0x04, 0x04), true},
        {Check(2, 0x04, 0x07), true},
        {Check(2, 0x04, 0x08), true},
        {Busy(), true},
        {Check(6, 0x28, 0x00), true},
        {Check(2, 0x04, 0x00), false},
        {Check(2, 0x04, 0x02), false},
        {Check(2, 0x04, 0x03), false},
        {Check(2, 0x3A, 0x00), false},
        {Check(5, 0x24, 0x00), false},
        {Check(3, 0x0C, 0x00), false},
    };
    for (const auto& [first, waits] : table) {
        int asked = 0;
        drive_.On(0x00,
                  [&, first = first](const TReceived&) { return asked++ == 0 ? first : Good(); });
        EXPECT_EQ(WaitUntilReady(*device_, 1000, {}), waits)
            << int(first.Sense.Key) << "/" << int(first.Sense.Asc) << "/" << int(first.Sense.Ascq);
        EXPECT_EQ(asked, waits ? 2 : 1);
    }
}

TEST_F(QueriesTest, OldDriveFallsBackToTheAtip) {
    OldDrive();
    drive_.On(0x43, Good(AtipReply(0xC0)));
    EXPECT_EQ(GetMediaType(*device_), MT_CD_RW);
    drive_.On(0x43, Good(AtipReply(0x80 | 0x18 | 0x04)));
    EXPECT_EQ(GetMediaType(*device_), MT_CD_R);
    drive_.On(0x43, Good(AtipReply(0x00)));
    EXPECT_EQ(GetMediaType(*device_), MT_CD_ROM);
    const auto atip = drive_.With(0x43);
    ASSERT_FALSE(atip.empty());
    EXPECT_EQ(atip[0].Cdb, (std::vector<uint8_t>{0x43, 0x02, 0x04, 0, 0, 0, 0, 0, 30, 0}));
}

TEST_F(QueriesTest, OldDriveWithoutAtipUsesDiscInformationThenReadiness) {
    OldDrive();
    drive_.On(0x43, Check(5, 0x24, 0));
    drive_.On(0x51, Good(DiscInfoReply(0x10, 1, 1)));
    EXPECT_EQ(GetMediaType(*device_), MT_CD_RW);
    drive_.On(0x51, Good(DiscInfoReply(0x0E, 1, 1)));
    EXPECT_EQ(GetMediaType(*device_), MT_CD_R);
    drive_.On(0x51, Check(2, 0x3A, 0));
    EXPECT_EQ(GetMediaType(*device_), MT_CD_ROM);
    drive_.On(0x00, Check(2, 0x3A, 0));
    EXPECT_EQ(GetMediaType(*device_), MT_NONE);
    EXPECT_EQ(device_->LastSenseCode, SC_NO_MEDIUM);
}

TEST_F(QueriesTest, CapabilitiesAreFoundBehindABlockDescriptor) {
    capabilities_ = CapabilitiesReply(0x00, false, 2822, 1411, true);
    ASSERT_TRUE(ReadCapabilities(*device_));
    EXPECT_EQ(device_->CapabilitiesPage[0], 0x2A);
    EXPECT_EQ(MaxWriteSpeed(*device_), 2822);
    EXPECT_EQ(WriteSpeed(*device_), 1411);
    EXPECT_EQ(ReadSpeed(*device_), 4234);
    EXPECT_EQ(CapabilitiesWord(*device_, CAP_BUFFER_SIZE), 2048);
    EXPECT_FALSE(IsWriter(*device_));
    const auto sense = drive_.With(0x5A);
    ASSERT_GE(sense.size(), 2u);
    EXPECT_EQ(sense[0].Cdb, (std::vector<uint8_t>{0x5A, 0, 0xAA, 0, 0, 0, 0, 0, 0x80, 0}));
    EXPECT_EQ(sense[1].Cdb, (std::vector<uint8_t>{0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 0x80, 0}));
}

TEST_F(QueriesTest, WriterIsAnyWriteBit) {
    capabilities_ = CapabilitiesReply(0x04, false);  // test write only
    ASSERT_TRUE(ReadCapabilities(*device_));
    EXPECT_TRUE(IsWriter(*device_));
    capabilities_ = CapabilitiesReply(0x00, false);
    ASSERT_TRUE(ReadCapabilities(*device_));
    EXPECT_FALSE(IsWriter(*device_));
}

TEST_F(QueriesTest, RefusedDefaultPageMeansNoSpeeds) {
    drive_.On(0x5A, Check(5, 0x24, 0));
    EXPECT_EQ(MaxWriteSpeed(*device_), 0);
    EXPECT_FALSE(ReadCapabilities(*device_));
    EXPECT_FALSE(IsWriter(*device_));
}

TEST_F(QueriesTest, RefusedCurrentPageKeepsTheDefaults) {
    drive_.On(0x5A, [this](const TReceived& r) {
        return (r.Cdb[2] & 0xC0) == 0x80 ? Good(capabilities_) : Check(5, 0x24, 0);
    });
    EXPECT_EQ(MaxWriteSpeed(*device_), 7056);
}

TEST_F(QueriesTest, PageNotWhereExpectedLeavesItClear) {
    auto reply = CapabilitiesReply(0x37, true);
    reply[8] = 0x2B;
    capabilities_ = reply;
    EXPECT_TRUE(ReadCapabilities(*device_));
    EXPECT_FALSE(IsWriter(*device_));
    EXPECT_EQ(CapabilitiesWord(*device_, CAP_MAX_WRITE_SPEED), 0);
}

TEST_F(QueriesTest, BufferFillMayGoNegative) {
    std::vector<uint8_t> reply = {0, 10, 0, 0, 0x00, 0x10, 0x00, 0x00, 0x00, 0x20, 0x00, 0x00};
    drive_.On(0x5C, Good(reply));
    ASSERT_TRUE(ReadBufferCapacity(*device_));
    EXPECT_EQ(DeviceBufferSize(*device_), 0x100000u);
    EXPECT_EQ(DeviceBufferUsed(*device_), -0x100000);
    reply[9] = 0x01;
    drive_.On(0x5C, Good(reply));
    ASSERT_TRUE(ReadBufferCapacity(*device_));
    EXPECT_EQ(DeviceBufferUsed(*device_), 0x100000 - 0x10000);
    EXPECT_EQ(Sent().back().Cdb, (std::vector<uint8_t>{0x5C, 0, 0, 0, 0, 0, 0, 0, 0x20, 0}));
}

TEST_F(QueriesTest, SessionsDoNotCountAnEmptyLastOne) {
    drive_.On(0x51, Good(DiscInfoReply(0x01, 2, 2)));  // appendable, empty last session
    EXPECT_EQ(SessionCount(*device_), 1);
    drive_.On(0x51, Good(DiscInfoReply(0x0E, 3, 3)));  // complete
    EXPECT_EQ(SessionCount(*device_), 3);
    EXPECT_EQ(LastTrackNumber(*device_), 3);
    drive_.On(0x51, Good(DiscInfoReply(0x00, 0, 0)));  // nonsense: nothing below zero
    EXPECT_EQ(SessionCount(*device_), 0);
    drive_.On(0x51, Check(2, 0x04, 0x07));
    Profile(0x0012);
    EXPECT_EQ(SessionCount(*device_), 1);
    Profile(0x0009);
    EXPECT_EQ(SessionCount(*device_), 0);
    EXPECT_EQ(LastTrackNumber(*device_), 0);
}

TEST_F(QueriesTest, ErasableByMediaOrByDiscInformation) {
    for (uint16_t profile : {0x0012, 0x0013, 0x0014, 0x001A}) {
        Profile(profile);
        drive_.Received.clear();
        EXPECT_TRUE(DiscErasable(*device_)) << profile;
        EXPECT_TRUE(drive_.With(0x51).empty());
    }
    Profile(0x000A);
    drive_.On(0x51, Good(DiscInfoReply(0x10, 1, 1)));
    EXPECT_TRUE(DiscErasable(*device_));
    Profile(0x0043);  // BD-RE is erased by formatting, not counted here
    drive_.On(0x51, Good(DiscInfoReply(0x00, 1, 1)));
    EXPECT_FALSE(DiscErasable(*device_));
    drive_.On(0x51, Check(2, 0x3A, 0));
    EXPECT_FALSE(DiscErasable(*device_));
}

TEST_F(QueriesTest, TrackInformationIsConvertedOnlyWhenGood) {
    std::vector<uint8_t> reply(36, 0);
    reply[1] = 34;
    reply[6] = 0x50;
    const uint32_t fields[6] = {0x11223344, 0x100, 0x0005A000, 16, 0x00230540, 0xFFFFFFFF};
    for (int i = 0; i < 6; ++i)
        for (int b = 0; b < 4; ++b)
            reply[8 + 4 * i + b] = uint8_t(fields[i] >> (24 - 8 * b));
    drive_.On(0x52, Good(reply));
    ASSERT_TRUE(ReadTrackInformation(*device_, 3));
    const TTrackInfo& info = device_->TrackInfo;
    EXPECT_EQ(info.DataLength, 34);
    EXPECT_EQ(info.TrackStart, 0x11223344u);
    EXPECT_EQ(info.NextWritable, 0x100u);
    EXPECT_EQ(info.FreeBlocks, 0x5A000u);
    EXPECT_EQ(info.FixedPacketSize, 16u);
    EXPECT_EQ(info.TrackSize, 0x230540u);
    EXPECT_EQ(info.LastRecorded, 0xFFFFFFFFu);
    EXPECT_TRUE(info.FixedPacket());
    EXPECT_EQ(Sent().back().Cdb, (std::vector<uint8_t>{0x52, 1, 0, 0, 0, 3, 0, 0, 0x26, 0}));

    drive_.On(0x52, Check(5, 0x24, 0));
    EXPECT_FALSE(ReadTrackInformation(*device_, 4));
    EXPECT_EQ(info.TrackStart, 0x11223344u);
}

TEST_F(QueriesTest, TrayCommands) {
    drive_.On(0x1B, Good());
    drive_.On(0x1E, Good());
    EXPECT_TRUE(LoadTray(*device_, true));
    EXPECT_TRUE(EjectTray(*device_, false));
    EXPECT_TRUE(AllowMediumRemoval(*device_));
    ASSERT_EQ(Sent().size(), 3u);
    EXPECT_EQ(Sent()[0].Cdb, (std::vector<uint8_t>{0x1B, 1, 0, 0, 3, 0}));
    EXPECT_EQ(Sent()[1].Cdb, (std::vector<uint8_t>{0x1B, 0, 0, 0, 2, 0}));
    EXPECT_EQ(Sent()[2].Cdb, (std::vector<uint8_t>{0x1E, 0, 0, 0, 0, 0}));
    drive_.On(0x1B, Check(5, 0x53, 0x02));
    EXPECT_FALSE(EjectTray(*device_, false));
    EXPECT_EQ(device_->LastSenseCode, 0x5302);
}

TEST_F(QueriesTest, ReplyBuffersTooSmallAreRefusedWithoutSending) {
    uint8_t small[16];
    EXPECT_FALSE(Inquiry(*device_, small));
    EXPECT_FALSE(ModeSense10(*device_, small, 17, 0x2A, false));
    EXPECT_FALSE(GetConfiguration(*device_, small, 32, 0));
    EXPECT_FALSE(ReadDiscInformation(*device_, small, 64));
    EXPECT_FALSE(ReadTocPmaAtip(*device_, 4, 0, true, small, 30));
    EXPECT_TRUE(Sent().empty());
}

}  // namespace
}  // namespace tessor::drive::test
