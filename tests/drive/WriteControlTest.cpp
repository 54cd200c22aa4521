// Write parameters page, speeds, streaming, time stamp and the recording
// commands.
#include <ctime>

#include "engine/drive/Consts.h"
#include "engine/drive/Queries.h"
#include "engine/drive/WriteControl.h"
#include "tests/drive/DriveFixture.h"

namespace tessor::drive::test {
namespace {

class WriteControlTest : public DriveTest {
protected:
    void SetUp() override {
        DriveTest::SetUp();
        UseSystemDrive();
        drive_.On(0x55, Good());
    }
    // The data of the last MODE SELECT.
    std::vector<uint8_t> Selected() {
        const auto selects = drive_.With(0x55);
        return selects.empty() ? std::vector<uint8_t>() : selects.back().DataOut;
    }
    // The page of the last MODE SELECT (behind an 8-byte header).
    std::vector<uint8_t> Page(size_t header = 8) {
        const auto data = Selected();
        return data.size() > header ? std::vector<uint8_t>(data.begin() + header, data.end())
                                    : std::vector<uint8_t>();
    }
    static uint32_t PacketSize(const std::vector<uint8_t>& page) {
        return uint32_t(page[10]) << 24 | page[11] << 16 | page[12] << 8 | page[13];
    }
};

TEST_F(WriteControlTest, CdRecordableWithBurnProof) {
    ASSERT_TRUE(SetWriteParameters(*device_, false, true, true, MT_CD_R));
    auto page = Page();
    ASSERT_EQ(page.size(), 52u);
    EXPECT_EQ(page[0], 0x05);
    EXPECT_EQ(page[1], 0x32);
    EXPECT_EQ(page[2], 0x41);
    EXPECT_EQ(page[3], 0xC4);
    EXPECT_EQ(page[4], 0x08);
    EXPECT_EQ(page[5], 0x00);
    EXPECT_EQ(page[8], 0x00);
    EXPECT_EQ(PacketSize(page), 0u);
    EXPECT_EQ(page[14], 0x00);
    EXPECT_EQ(page[15], 0x96);
    // The drive's own bytes behind the engine's page stay.
    EXPECT_EQ(page[50], uint8_t(0xA0 + 50));
    EXPECT_EQ(page[51], uint8_t(0xA0 + 51));
    EXPECT_EQ(page[16], 0x00);  // every byte of the page is the engine's
    const auto select = drive_.With(0x55).back();
    EXPECT_EQ(select.Cdb, (std::vector<uint8_t>{0x55, 0x10, 0, 0, 0, 0, 0, 0, 60, 0}));
    EXPECT_EQ(std::vector<uint8_t>(device_->WriteParametersPage, device_->WriteParametersPage + 16),
              std::vector<uint8_t>(page.begin(), page.begin() + 16));
    // The page was read as current values.
    const auto sense = drive_.With(0x5A).back();
    EXPECT_EQ(sense.Cdb, (std::vector<uint8_t>{0x5A, 0, 0x05, 0, 0, 0, 0, 0x02, 0x00, 0}));

    ASSERT_TRUE(SetWriteParameters(*device_, false, true, false, MT_CD_R));
    EXPECT_EQ(Page()[3], 0x04);
    ASSERT_TRUE(SetWriteParameters(*device_, true, true, false, MT_CD_R));
    EXPECT_EQ(Page()[2], 0x51);
    EXPECT_EQ(Page()[3], 0xC4);
}

TEST_F(WriteControlTest, UnderrunProtectionOnlyWhenAskedAndSupported) {
    ASSERT_TRUE(SetWriteParameters(*device_, false, false, true, MT_CD_R));
    EXPECT_EQ(Page()[2], 0x01);
    capabilities_ = CapabilitiesReply(0x37, false);
    ASSERT_TRUE(ReadCapabilities(*device_));
    ASSERT_TRUE(SetWriteParameters(*device_, false, true, true, MT_CD_R));
    EXPECT_EQ(Page()[2], 0x01);
    ASSERT_TRUE(SetWriteParameters(*device_, false, true, true, MT_DVD_PLUS_R_DL));
    EXPECT_EQ(Page()[2] & 0x40, 0);
}

TEST_F(WriteControlTest, DvdRecordableWritesFixedPackets) {
    ASSERT_TRUE(SetWriteParameters(*device_, false, true, false, MT_DVD_R));
    const auto page = Page();
    EXPECT_EQ(page[2], 0x60);
    EXPECT_EQ(page[3], 0xE5);
    EXPECT_EQ(page[4], 0x08);
    EXPECT_EQ(page[5], 0x10);
    EXPECT_EQ(PacketSize(page), 16u);
}

TEST_F(WriteControlTest, PageTablePerMedium) {
    struct TCase {
        uint8_t media;
        bool keepOpen;
        uint8_t byte2, byte3, linkSize;
        uint32_t packet;
    };
    const TCase cases[] = {
        {MT_CD_RW, true, 0x41, 0xC4, 0, 0},         {MT_NONE, false, 0x41, 0x04, 0, 0},
        {MT_BD_R_SRM, true, 0x41, 0xC4, 0, 0},      {MT_RESERVED_7, false, 0x40, 0x05, 0, 0},
        {MT_DVD_RW_SEQ, false, 0x60, 0xC5, 16, 16}, {MT_DVD_RW_RO, true, 0x60, 0xC5, 16, 16},
        {MT_DVD_PLUS_RW, true, 0x62, 0xC4, 16, 0},  {MT_DVD_PLUS_RW, false, 0x62, 0x04, 16, 0},
        {MT_DVD_PLUS_R, true, 0x62, 0xE4, 16, 16},  {MT_DVD_PLUS_R, false, 0x62, 0x04, 0, 0},
        {MT_DVD_PLUS_R_DL, true, 0x62, 0xC4, 0, 0}, {MT_DVD_PLUS_R_DL, false, 0x62, 0x04, 0, 0},
        {MT_DDCD_R, true, 0x42, 0xC5, 0, 0},        {MT_DDCD_RW, false, 0x42, 0x05, 0, 0},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(SetWriteParameters(*device_, false, true, c.keepOpen, c.media));
        const auto page = Page();
        EXPECT_EQ(page[2], c.byte2) << int(c.media) << " keepOpen " << c.keepOpen;
        EXPECT_EQ(page[3], c.byte3) << int(c.media) << " keepOpen " << c.keepOpen;
        EXPECT_EQ(page[5], c.linkSize) << int(c.media);
        EXPECT_EQ(PacketSize(page), c.packet) << int(c.media);
        EXPECT_EQ(page[4], 0x08);
        EXPECT_EQ(page[6], 0x00);
        EXPECT_EQ(page[8], 0x00);
        EXPECT_EQ(page[15], 150);
    }
}

TEST_F(WriteControlTest, TestWriteKeepsMultiSessionExceptOnDoubleLayer) {
    ASSERT_TRUE(SetWriteParameters(*device_, true, true, false, MT_DVD_PLUS_RW));
    EXPECT_EQ(Page()[3], 0xC4);
    EXPECT_EQ(Page()[2], 0x72);
    ASSERT_TRUE(SetWriteParameters(*device_, true, true, false, MT_DVD_PLUS_R_DL));
    EXPECT_EQ(Page()[3], 0x04);
}

TEST_F(WriteControlTest, BlockDescriptorMovesThePage) {
    writeParameters_ = WriteParametersReply(true);
    ASSERT_TRUE(SetWriteParameters(*device_, false, true, true, MT_CD_R));
    const auto data = Selected();
    ASSERT_EQ(data.size(), 0x32u + 18);
    EXPECT_EQ(data[8], 0x99);  // the block descriptor as the drive sent it
    EXPECT_EQ(data[16], 0x05);
    EXPECT_EQ(data[18], 0x41);
    EXPECT_EQ(drive_.With(0x55).back().Cdb[8], 0x32 + 18);
}

TEST_F(WriteControlTest, NoPageNoModeSelect) {
    writeParameters_ = CapabilitiesReply(0, false);  // some other page
    EXPECT_FALSE(SetWriteParameters(*device_, false, true, true, MT_CD_R));
    drive_.On(0x5A, Check(5, 0x24, 0));
    EXPECT_FALSE(SetWriteParameters(*device_, false, true, true, MT_CD_R));
    EXPECT_TRUE(drive_.With(0x55).empty());
}

TEST_F(WriteControlTest, RefusedModeSelectFails) {
    drive_.On(0x55, Check(5, 0x26, 0));
    EXPECT_FALSE(SetWriteParameters(*device_, false, true, true, MT_CD_R));
    EXPECT_EQ(device_->LastSenseCode, 0x2600);
}

TEST_F(WriteControlTest, LongDrivePageIsFilledOnlyAsFarAsTheEnginesImage) {
    writeParameters_ = WriteParametersReply(false, 0xF0);
    ASSERT_TRUE(SetWriteParameters(*device_, false, true, true, MT_CD_R));
    const auto page = Page();
    ASSERT_EQ(page.size(), 0xF2u);
    EXPECT_EQ(page[2], 0x41);
    EXPECT_EQ(page[71], 0x00);                // the engine's image ends here
    EXPECT_EQ(page[72], uint8_t(0xA0 + 72));  // the drive's bytes beyond it
    EXPECT_EQ(page[0xF1], uint8_t(0xA0 + 0xF1));
}

TEST_F(WriteControlTest, SpeedsAreRememberedAsGiven) {
    drive_.On(0xBB, Good());
    ASSERT_TRUE(SetSpeeds(*device_, 0, 0));
    EXPECT_EQ(device_->ReadSpeedSetting, 0);
    EXPECT_EQ(device_->WriteSpeedSetting, 0);
    EXPECT_EQ(Sent().back().Cdb,
              (std::vector<uint8_t>{0xBB, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(SetSpeeds(*device_, 0, 6351));
    EXPECT_EQ(device_->WriteSpeedSetting, 6351);
    EXPECT_EQ(Sent().back().Cdb,
              (std::vector<uint8_t>{0xBB, 0x01, 0xFF, 0xFF, 0x18, 0xCF, 0, 0, 0, 0, 0, 0}));
    drive_.On(0xBB, Check(5, 0x20, 0));
    EXPECT_FALSE(SetSpeeds(*device_, 1764, 0));
    EXPECT_EQ(device_->ReadSpeedSetting, 1764);
}

TEST_F(WriteControlTest, PerformanceDescriptor) {
    drive_.On(0xB6, Good());
    ASSERT_TRUE(SetPerformance(*device_, 2295103, 11080, 5540, 1000, 1000));
    const auto sent = Sent().back();
    EXPECT_EQ(sent.Cdb, (std::vector<uint8_t>{0xB6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 28, 0}));
    EXPECT_EQ(sent.DataOut,
              (std::vector<uint8_t>{0,    0,    0,    0,    0,    0,    0,    0,    0x00, 0x23,
                                    0x05, 0x3F, 0x00, 0x00, 0x2B, 0x48, 0x00, 0x00, 0x03, 0xE8,
                                    0x00, 0x00, 0x15, 0xA4, 0x00, 0x00, 0x03, 0xE8}));
}

TEST_F(WriteControlTest, TimeStampCarriesTheCurrentUtcTime) {
    drive_.On(0xBF, Good());
    std::memset(device_->TransferBuffer, 0xEE, 64);
    const time_t before = time(nullptr);
    ASSERT_TRUE(SendTimeStamp(*device_));
    const time_t after = time(nullptr);
    const auto sent = Sent().back();
    EXPECT_EQ(sent.Cdb, (std::vector<uint8_t>{0xBF, 0, 0, 0, 0, 0, 0, 0x0F, 0, 22, 0, 0}));
    ASSERT_EQ(sent.DataOut.size(), 22u);
    EXPECT_EQ(sent.DataOut[0], 0x00);
    EXPECT_EQ(sent.DataOut[1], 0x14);
    for (int i = 2; i < 8; ++i)
        EXPECT_EQ(sent.DataOut[i], 0) << i;
    const std::string stamp(sent.DataOut.begin() + 8, sent.DataOut.end());
    auto format = [](time_t t) {
        tm utc{};
        gmtime_r(&t, &utc);
        char text[32];
        strftime(text, sizeof text, "%Y%m%d%H%M%S", &utc);
        return std::string(text);
    };
    EXPECT_TRUE(stamp == format(before) || stamp == format(after)) << stamp;
}

TEST_F(WriteControlTest, RecordingCommands) {
    for (uint8_t op : {0x2A, 0x35, 0x01, 0x5B, 0x53, 0x04, 0xA1})
        drive_.On(op, Good());
    std::vector<uint8_t> block(65536, 0x5A);
    ASSERT_TRUE(Write10(*device_, 0x00012345, 32, block.data(), 65536));
    EXPECT_EQ(Sent().back().Cdb, (std::vector<uint8_t>{0x2A, 0, 0, 0x01, 0x23, 0x45, 0, 0, 32, 0}));
    EXPECT_EQ(Sent().back().DataOut, block);
    ASSERT_TRUE(SynchronizeCache(*device_, true));
    EXPECT_EQ(Sent().back().Cdb, (std::vector<uint8_t>{0x35, 2, 0, 0, 0, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(RezeroUnit(*device_));
    EXPECT_EQ(Sent().back().Cdb, (std::vector<uint8_t>{0x01, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(CloseTrackSession(*device_, true, 6, 0));
    EXPECT_EQ(Sent().back().Cdb, (std::vector<uint8_t>{0x5B, 1, 6, 0, 0, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(CloseTrackOrSession(*device_, true, false, 2));
    EXPECT_EQ(Sent().back().Cdb, (std::vector<uint8_t>{0x5B, 0, 1, 0, 0, 2, 0, 0, 0, 0}));
    ASSERT_TRUE(CloseTrackOrSession(*device_, false, true, 0));
    EXPECT_EQ(Sent().back().Cdb, (std::vector<uint8_t>{0x5B, 1, 2, 0, 0, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(ReserveTrack(*device_, 0x01020304));
    EXPECT_EQ(Sent().back().Cdb, (std::vector<uint8_t>{0x53, 0, 0, 0, 0, 1, 2, 3, 4, 0}));
    ASSERT_TRUE(FormatUnit(*device_, FORMAT_DATA_FOLLOWS, FORMAT_DVD_PLUS_RW, 12));
    EXPECT_EQ(Sent().back().Cdb, (std::vector<uint8_t>{0x04, 0x11, 0, 0, 0, 0}));
    EXPECT_EQ(Sent().back().DataOut,
              std::vector<uint8_t>(FORMAT_DVD_PLUS_RW.begin(), FORMAT_DVD_PLUS_RW.end()));
    ASSERT_TRUE(Blank(*device_, true));
    EXPECT_EQ(Sent().back().Cdb, (std::vector<uint8_t>{0xA1, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(Blank(*device_, false));
    EXPECT_EQ(Sent().back().Cdb[1], 0x10);
    EXPECT_FALSE(FormatUnit(*device_, FORMAT_DATA_FOLLOWS, FORMAT_DVD_PLUS_RW, 13));
    drive_.On(0x2A, Check(5, 0x21, 0x02));
    EXPECT_FALSE(Write10(*device_, 7, 32, block.data(), 65536));
    EXPECT_EQ(device_->LastSenseCode, SC_INVALID_WRITE_ADDRESS);
}

TEST(FormatLists, CarryTheirBlockCounts) {
    auto blocks = [](const TFormatList& list) {
        return uint32_t(list[4]) << 24 | list[5] << 16 | list[6] << 8 | list[7];
    };
    EXPECT_EQ(blocks(FORMAT_DVD_RAM_FULL), 2236704u);
    EXPECT_EQ(blocks(FORMAT_DVD_PLUS_RW), 2295104u);
    EXPECT_EQ(blocks(FORMAT_BD_RE_QUICK), 640u);
    EXPECT_EQ(blocks(FORMAT_DVD_RW_QUICK_1000), 1000u);
    EXPECT_EQ(FORMAT_DVD_PLUS_RW[8] >> 2, 0x26);
    EXPECT_EQ(FORMAT_BD_RE_QUICK[8] >> 2, 0x30);
    EXPECT_EQ(FORMAT_DVD_RW_QUICK[8] >> 2, 0x15);
    EXPECT_EQ(FORMAT_DVD_RW_QUICK_GROW[8] >> 2, 0x13);
    EXPECT_EQ(FORMAT_DVD_RW_QUICK_1000[1], 0xA2);
}

}  // namespace
}  // namespace tessor::drive::test
