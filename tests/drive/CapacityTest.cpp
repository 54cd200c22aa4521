// Writability, free space, capacity, format capacity and the ISO volume size.
#include <map>

#include "engine/drive/Capacity.h"
#include "engine/drive/Consts.h"
#include "tests/drive/DriveFixture.h"

namespace tessor::drive::test {
namespace {

void Be32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    for (int b = 0; b < 4; ++b)
        v[at + b] = uint8_t(x >> (24 - 8 * b));
}

// A disc as the drive reports it.
struct TDisc {
    uint16_t Profile = 0x0009;
    uint8_t DiscByte2 = 0x00;  // status, last session state, erasable
    uint8_t LastTrack = 1;
    bool DiscInfoFails = false;
    struct TTrack {
        uint32_t Start = 0, Free = 0, Size = 0;
        bool FixedPacket = false;
    };
    std::map<uint8_t, TTrack> Tracks;  // by number; 0xFF allowed
    std::vector<std::array<uint8_t, 8>> Formats;
    std::map<uint32_t, std::vector<uint8_t>> Sectors;
};

std::vector<uint8_t> VolumeDescriptor(uint8_t type, uint32_t size) {
    std::vector<uint8_t> sector(2048, 0);
    sector[0] = type;
    std::memcpy(sector.data() + 1, "CD001", 5);
    sector[6] = 1;
    for (int b = 0; b < 4; ++b) {
        sector[80 + b] = uint8_t(size >> (8 * b));
        sector[87 - b] = uint8_t(size >> (8 * b));
    }
    return sector;
}

class CapacityTest : public DriveTest {
protected:
    void SetUp() override {
        DriveTest::SetUp();
        UseSystemDrive();
        drive_.On(0x55, Good());
        drive_.On(0x46, [this](const TReceived&) {
            std::vector<uint8_t> reply(8, 0);
            reply[3] = 4;
            reply[6] = uint8_t(disc_.Profile >> 8);
            reply[7] = uint8_t(disc_.Profile);
            return Good(reply);
        });
        drive_.On(0x51, [this](const TReceived&) {
            if (disc_.DiscInfoFails)
                return Check(2, 0x04, 0x07);
            std::vector<uint8_t> reply(34, 0);
            reply[1] = 32;
            reply[2] = disc_.DiscByte2;
            reply[4] = 1;
            reply[6] = disc_.LastTrack;
            return Good(reply);
        });
        drive_.On(0x52, [this](const TReceived& r) {
            auto it = disc_.Tracks.find(r.Cdb[5]);
            if (it == disc_.Tracks.end())
                return Check(5, 0x24, 0);
            std::vector<uint8_t> reply(36, 0);
            reply[1] = 34;
            reply[6] = it->second.FixedPacket ? 0x10 : 0x00;
            Be32(reply, 8, it->second.Start);
            Be32(reply, 16, it->second.Free);
            Be32(reply, 24, it->second.Size);
            return Good(reply);
        });
        drive_.On(0x23, [this](const TReceived&) {
            if (disc_.Formats.empty())
                return Check(5, 0x20, 0);
            std::vector<uint8_t> reply(4, 0);
            reply[3] = uint8_t(8 * disc_.Formats.size());
            for (const auto& f : disc_.Formats)
                reply.insert(reply.end(), f.begin(), f.end());
            return Good(reply);
        });
        drive_.On(0x28, [this](const TReceived& r) {
            const uint32_t lba =
                uint32_t(r.Cdb[2]) << 24 | r.Cdb[3] << 16 | r.Cdb[4] << 8 | r.Cdb[5];
            auto it = disc_.Sectors.find(lba);
            if (it == disc_.Sectors.end())
                return lba < 32 ? Good(std::vector<uint8_t>(2048, 0)) : Check(5, 0x21, 0);
            return Good(it->second);
        });
    }
    TDisc disc_;
};

TEST_F(CapacityTest, FormatCapacityPrefersTheFullFormatDescriptor) {
    disc_.Formats = {{0x00, 0x23, 0x05, 0x40, 0x02, 0x00, 0x08, 0x00},
                     {0x00, 0x23, 0x05, 0x40, 0x00, 0x00, 0x08, 0x00},
                     {0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x08, 0x00}};
    EXPECT_EQ(ReadFormatCapacity(*device_), 2295104u);
    EXPECT_EQ(Sent().back().Cdb, (std::vector<uint8_t>{0x23, 0, 0, 0, 0, 0, 0, 0, 0x7C, 0}));
    disc_.Formats = {{0x00, 0x23, 0x05, 0x40, 0x02, 0x00, 0x08, 0x00},
                     {0x00, 0x23, 0x05, 0x40, 0x98, 0x00, 0x00, 0x00}};
    EXPECT_EQ(ReadFormatCapacity(*device_), 2295104u);
    disc_.Formats = {{0x00, 0x11, 0x22, 0x33, 0x01, 0x00, 0x08, 0x00}};
    EXPECT_EQ(ReadFormatCapacity(*device_), 0x00112233u);
    disc_.Formats.clear();
    EXPECT_EQ(ReadFormatCapacity(*device_), 0u);
}

TEST_F(CapacityTest, IsoVolumeSizePrefersTheSupplementaryDescriptor) {
    disc_.Sectors[16] = VolumeDescriptor(1, 200000);
    disc_.Sectors[17] = VolumeDescriptor(2, 100000);
    disc_.Sectors[18] = VolumeDescriptor(255, 0);
    EXPECT_EQ(IsoVolumeSize(*device_), 100000u);
    disc_.Sectors.erase(17);
    EXPECT_EQ(IsoVolumeSize(*device_), 200000u);
    // Unreadable sectors are skipped.
    disc_.Sectors[16] = std::vector<uint8_t>(2048, 0);
    drive_.On(0x28, [](const TReceived& r) {
        if (r.Cdb[5] == 20)
            return Good(VolumeDescriptor(1, 4242));
        return r.Cdb[5] % 2 ? Check(3, 0x11, 0) : Good(std::vector<uint8_t>(2048, 0));
    });
    EXPECT_EQ(IsoVolumeSize(*device_), 4242u);
    drive_.On(0x28, Check(3, 0x11, 0));
    EXPECT_EQ(IsoVolumeSize(*device_), 0u);
    EXPECT_EQ(drive_.With(0x28).back().Cdb,
              (std::vector<uint8_t>{0x28, 0, 0, 0, 0, 31, 0, 0, 1, 0}));
}

TEST_F(CapacityTest, BlankCdRecordable) {
    disc_.Profile = 0x0009;
    disc_.DiscByte2 = 0x00;
    disc_.LastTrack = 1;
    disc_.Tracks[1] = {0, 359849, 359840, false};
    EXPECT_TRUE(DiscWritable(*device_));
    EXPECT_EQ(DiscFreeSectors(*device_), 359849u);
    EXPECT_EQ(DiscCapacitySectors(*device_), 359840u);
    // The write parameters were sent before the track was asked (track-at-once).
    const auto selects = drive_.With(0x55);
    ASSERT_FALSE(selects.empty());
    EXPECT_EQ(selects.back().DataOut[8 + 2], 0x01);
}

TEST_F(CapacityTest, ClosedDvdRecordableIsFull) {
    disc_.Profile = 0x0011;
    disc_.DiscByte2 = 0x0E;
    disc_.Tracks[1] = {0, 0, 2000, false};
    EXPECT_FALSE(DiscWritable(*device_));
    EXPECT_EQ(DiscFreeSectors(*device_), 0u);
}

TEST_F(CapacityTest, DvdPlusRwFreeSpaceIsBehindTheVolume) {
    disc_.Profile = 0x001A;
    disc_.DiscByte2 = 0x1E;
    disc_.Tracks[1] = {0, 0, 2295104, false};
    disc_.Sectors[16] = VolumeDescriptor(1, 100000);
    EXPECT_TRUE(DiscWritable(*device_));
    EXPECT_EQ(DiscFreeSectors(*device_), 2195104u);
    disc_.Sectors.clear();
    EXPECT_EQ(DiscFreeSectors(*device_), 2295104u);
    // A volume larger than the track leaves nothing, not a wrapped count.
    disc_.Sectors[16] = VolumeDescriptor(1, 3000000);
    EXPECT_EQ(DiscFreeSectors(*device_), 0u);
}

TEST_F(CapacityTest, DvdRamWithoutTrackInformationUsesTheFormatCapacity) {
    disc_.Profile = 0x0012;
    disc_.DiscByte2 = 0x13;
    disc_.Formats = {{0x00, 0x22, 0x21, 0x20, 0x02, 0x00, 0x08, 0x00},
                     {0x00, 0x22, 0x21, 0x20, 0x00, 0x00, 0x08, 0x00}};
    disc_.Sectors[16] = VolumeDescriptor(1, 1000);
    disc_.Sectors[17] = VolumeDescriptor(2, 1000);
    EXPECT_EQ(DiscFreeSectors(*device_), 2236704u - 1000u);
    disc_.DiscInfoFails = true;
    EXPECT_EQ(DiscFreeSectors(*device_), 2236704u - 1000u);
    EXPECT_EQ(DiscCapacitySectors(*device_), 2236704u);
}

TEST_F(CapacityTest, RestrictedOverwriteDvdRw) {
    disc_.Profile = 0x0013;
    disc_.DiscByte2 = 0x1E;
    disc_.Tracks[1] = {0, 0, 1000, true};
    disc_.Formats = {{0x00, 0x22, 0x66, 0x60, 0x02, 0x00, 0x08, 0x00},
                     {0x00, 0x23, 0x10, 0x20, 0x00, 0x00, 0x08, 0x00}};
    EXPECT_TRUE(DiscWritable(*device_));
    EXPECT_EQ(DiscFreeSectors(*device_), 2297888u - 1000u);
    EXPECT_EQ(DiscCapacitySectors(*device_), 2297888u);
    disc_.Tracks[1].Size = 0xFFFFFFFF;
    EXPECT_EQ(DiscFreeSectors(*device_), 0u);
    EXPECT_EQ(DiscCapacitySectors(*device_), 0u);
}

TEST_F(CapacityTest, OtherDiscStatusAsksTheInvisibleTrackThenTheNextOne) {
    disc_.Profile = 0x001B;
    disc_.DiscByte2 = 0x03;
    disc_.LastTrack = 2;
    disc_.Tracks[0xFF] = {100, 5, 10, false};
    EXPECT_TRUE(DiscWritable(*device_));
    disc_.Tracks[0xFF].Free = 0;
    EXPECT_FALSE(DiscWritable(*device_));
    disc_.Tracks.erase(0xFF);
    disc_.Tracks[3] = {100, 7, 7, false};
    EXPECT_TRUE(DiscWritable(*device_));
    EXPECT_EQ(drive_.With(0x52).back().Cdb[5], 3);
    disc_.Tracks.clear();
    EXPECT_FALSE(DiscWritable(*device_));
    disc_.DiscInfoFails = true;
    disc_.Tracks[0xFF] = {0, 1, 1, false};
    EXPECT_TRUE(DiscWritable(*device_));
}

TEST_F(CapacityTest, OverwritableMediaAreWritableAtOnce) {
    for (uint16_t profile : {0x0012, 0x001A, 0x0013, 0x0043}) {
        disc_.Profile = profile;
        drive_.Received.clear();
        EXPECT_TRUE(DiscWritable(*device_)) << profile;
        EXPECT_TRUE(drive_.With(0x51).empty());
    }
}

TEST_F(CapacityTest, UnusableTrackSizeMeansNoFreeSpace) {
    disc_.Profile = 0x0009;
    disc_.DiscByte2 = 0x01;
    disc_.LastTrack = 2;
    disc_.Tracks[2] = {20000, 100, 0xFFFFFFFF, false};
    EXPECT_EQ(DiscFreeSectors(*device_), 0u);
}

TEST_F(CapacityTest, CapacityOfAnAppendableDisc) {
    disc_.Profile = 0x0009;
    disc_.DiscByte2 = 0x01;
    disc_.LastTrack = 2;
    disc_.Tracks[2] = {20000, 300000, 300000, false};
    EXPECT_EQ(DiscCapacitySectors(*device_), 320000u);
    disc_.Tracks[2].FixedPacket = true;
    disc_.Formats = {{0x00, 0x05, 0x7E, 0x40, 0x02, 0x00, 0x08, 0x00}};
    EXPECT_EQ(DiscCapacitySectors(*device_), 0x00057E40u);
}

TEST_F(CapacityTest, ReadBufferMustHoldTheSectors) {
    std::vector<uint8_t> small(4095);
    drive_.Received.clear();
    EXPECT_FALSE(Read10(*device_, 16, 2, small));
    EXPECT_TRUE(Sent().empty());
}

}  // namespace
}  // namespace tessor::drive::test
