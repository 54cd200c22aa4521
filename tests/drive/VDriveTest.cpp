// Every query of the drive layer against every medium of the virtual
// recorder, in process through the ASPI transport.
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "engine/drive/Capacity.h"
#include "engine/drive/Consts.h"
#include "engine/drive/Queries.h"
#include "engine/drive/WriteControl.h"
#include "tests/drive/DriveFixture.h"
#include "vdrive/VDrive.h"

namespace tessor::drive::test {
namespace {

using vdrive::TMediaKind;

struct TMediaCase {
    TMediaKind Kind;
    uint8_t MediaType;
    bool Writable;  // a blank disc of this kind takes data
    bool Erasable;  // DiscErasable
};

const TMediaCase kMedia[] = {
    {TMediaKind::CdRom, MT_CD_ROM, false, false},
    {TMediaKind::CdR, MT_CD_R, true, false},
    {TMediaKind::CdRw, MT_CD_RW, true, true},
    {TMediaKind::DvdRom, MT_DVD_ROM, false, false},
    {TMediaKind::DvdR, MT_DVD_R, true, false},
    {TMediaKind::DvdRw, MT_DVD_RW_SEQ, true, true},
    {TMediaKind::DvdRwRo, MT_DVD_RW_RO, true, true},
    {TMediaKind::DvdPlusR, MT_DVD_PLUS_R, true, false},
    {TMediaKind::DvdPlusRDl, MT_DVD_PLUS_R_DL, true, false},
    {TMediaKind::DvdPlusRw, MT_DVD_PLUS_RW, true, true},
    {TMediaKind::DvdRam, MT_DVD_RAM, true, true},
    {TMediaKind::BdR, MT_BD_R_SRM, true, false},
    {TMediaKind::BdRe, MT_BD_RE, true, true},  // a blank BD-RE reports itself erasable
};

class VDriveTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tessor-drive-vdrive-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        vdrive::THostOptions options;
        options.stateDir = dir_;
        options.drives = vdrive::DefaultDriveSet();
        options.timeScale = 0.001;
        std::string error;
        host_ = vdrive::TRecorderHost::Create(options, error);
        ASSERT_TRUE(host_) << error;
        device_ = std::make_unique<TSCSIDevice>();
        device_->System = &system_;  // no real /dev/sr* while letters are looked up
        device_->AspiOverride.GetSupportInfo = [this] { return host_->GetASPI32SupportInfo(); };
        device_->AspiOverride.SendCommand = [this](void* srb) {
            return host_->SendASPI32Command(srb);
        };
        ASSERT_TRUE(ScanDevices(*device_, 1, "", ""));
    }
    void TearDown() override {
        device_.reset();
        host_.reset();
        std::filesystem::remove_all(dir_);
    }

    // An image file of `sectors` sectors with an ISO 9660 primary volume
    // descriptor (and a supplementary one) saying so.
    std::string Image(uint32_t sectors) {
        std::vector<uint8_t> data(size_t(sectors) * 2048, 0);
        auto descriptor = [&](uint32_t lba, uint8_t type) {
            uint8_t* d = data.data() + lba * 2048;
            d[0] = type;
            std::memcpy(d + 1, "CD001", 5);
            d[6] = 1;
            for (int b = 0; b < 4; ++b) {
                d[80 + b] = uint8_t(sectors >> (8 * b));
                d[87 - b] = uint8_t(sectors >> (8 * b));
            }
        };
        descriptor(16, 1);
        descriptor(17, 2);
        descriptor(18, 255);
        const std::string path = dir_ + "/image.iso";
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
        return path;
    }

    std::string dir_;
    std::unique_ptr<vdrive::TRecorderHost> host_;
    TFakeSystem system_;
    std::unique_ptr<TSCSIDevice> device_;
};

TEST_F(VDriveTest, ScanListsTheVirtualDrives) {
    ASSERT_EQ(DeviceCount(*device_), host_->DriveCount());
    for (uint8_t i = 0; i < DeviceCount(*device_); ++i) {
        const std::string name = DeviceName(*device_, i);
        EXPECT_EQ(name.substr(0, 6), "0:" + std::to_string(i) + ":0,") << name;
        EXPECT_NE(name.find(host_->Drive(i).product), std::string::npos) << name;
        ASSERT_TRUE(SelectDevice(*device_, i));
        EXPECT_EQ(IsWriter(*device_), host_->Drive(i).CanWrite()) << name;
        EXPECT_EQ(MaxWriteSpeed(*device_), host_->Drive(i).maxWriteSpeed) << name;
    }
}

TEST_F(VDriveTest, EveryQueryOnEveryBlankMedium) {
    for (unsigned drive = 0; drive < host_->DriveCount(); ++drive) {
        if (!host_->Drive(drive).CanWrite())
            continue;
        for (const auto& medium : kMedia) {
            if (!host_->Drive(drive).Accepts(medium.Kind))
                continue;
            const auto& info = vdrive::MediaInfo(medium.Kind);
            SCOPED_TRACE(std::string(host_->Drive(drive).product) + " with " + info.name);
            std::string error;
            ASSERT_TRUE(host_->InsertMedia(drive, medium.Kind, "", error)) << error;
            ASSERT_TRUE(SelectDevice(*device_, uint8_t(drive)));
            for (int i = 0; i < 50 && !DeviceReady(*device_); ++i)
                usleep(2000);
            ASSERT_TRUE(DeviceReady(*device_));

            const uint8_t media = GetMediaType(*device_);
            if (host_->Drive(drive).HasGetConfiguration() || medium.Kind != TMediaKind::CdRom) {
                EXPECT_EQ(media, medium.MediaType);
            } else {
                // Without GET CONFIGURATION and without an ATIP, a pressed
                // disc is only known as a non-erasable CD.
                EXPECT_EQ(media, MT_CD_R);
            }
            const bool writable = DiscWritable(*device_);
            EXPECT_EQ(writable, medium.Writable) << "writable";
            const uint32_t free = DiscFreeSectors(*device_);
            const uint32_t capacity = DiscCapacitySectors(*device_);
            if (medium.Writable) {
                // A blank disc is free from its first to its last block.
                EXPECT_EQ(free, info.capacity);
                EXPECT_EQ(capacity, info.capacity);
            } else {
                EXPECT_EQ(free, 0u);
            }
            EXPECT_EQ(DiscErasable(*device_), medium.Erasable);
            EXPECT_LE(SessionCount(*device_), 1);
            EXPECT_LE(LastTrackNumber(*device_), 1);
            EXPECT_EQ(IsoVolumeSize(*device_), 0u);
            EXPECT_LE(ReadFormatCapacity(*device_), info.capacity);
            EXPECT_TRUE(ReadBufferCapacity(*device_));
            EXPECT_EQ(DeviceBufferSize(*device_), host_->Drive(drive).bufferKiB * 1024);
            EXPECT_EQ(DeviceBufferUsed(*device_), 0);
            if (medium.Writable) {
                EXPECT_TRUE(SetWriteParameters(*device_, false, true, true, media));
            }
            EXPECT_TRUE(EjectTray(*device_, false));
            EXPECT_FALSE(DeviceReady(*device_));
            EXPECT_EQ(device_->LastSenseCode >> 8, ASC_NO_MEDIUM);
            EXPECT_EQ(GetMediaType(*device_), MT_NONE);
            EXPECT_TRUE(LoadTray(*device_, false));
        }
    }
}

TEST_F(VDriveTest, ReadOnlyDriveOffersNothingToWrite) {
    const unsigned drive = 3;
    ASSERT_FALSE(host_->Drive(drive).CanWrite());
    for (const auto& medium : kMedia) {
        if (!host_->Drive(drive).Accepts(medium.Kind))
            continue;
        SCOPED_TRACE(vdrive::MediaInfo(medium.Kind).name);
        std::string error;
        ASSERT_TRUE(host_->InsertMedia(drive, medium.Kind, "", error)) << error;
        ASSERT_TRUE(SelectDevice(*device_, uint8_t(drive)));
        for (int i = 0; i < 50 && !DeviceReady(*device_); ++i)
            usleep(2000);
        EXPECT_NE(GetMediaType(*device_), MT_NONE);
        EXPECT_FALSE(IsWriter(*device_));
        EXPECT_EQ(MaxWriteSpeed(*device_), 0);
        EXPECT_FALSE(ReadBufferCapacity(*device_));
        EXPECT_EQ(DeviceBufferSize(*device_), 0u);
        EXPECT_EQ(DeviceBufferUsed(*device_), 0);
        DiscWritable(*device_);
        DiscFreeSectors(*device_);
        DiscCapacitySectors(*device_);
        SessionCount(*device_);
    }
}

TEST_F(VDriveTest, RecordedVolumeIsMeasured) {
    const uint32_t sectors = 1000;
    const std::string image = Image(sectors);
    for (TMediaKind kind : {TMediaKind::DvdPlusRw, TMediaKind::DvdRam, TMediaKind::BdRe,
                            TMediaKind::DvdRom, TMediaKind::CdR}) {
        const auto& info = vdrive::MediaInfo(kind);
        SCOPED_TRACE(info.name);
        std::string error;
        ASSERT_TRUE(host_->InsertMedia(0, kind, image, error)) << error;
        ASSERT_TRUE(SelectDevice(*device_, 0));
        for (int i = 0; i < 50 && !DeviceReady(*device_); ++i)
            usleep(2000);
        EXPECT_EQ(IsoVolumeSize(*device_), sectors);
        const uint32_t free = DiscFreeSectors(*device_);
        if (kind == TMediaKind::DvdRom) {
            EXPECT_EQ(free, 0u);
        } else if (kind == TMediaKind::CdR) {
            EXPECT_EQ(SessionCount(*device_), 1);
            EXPECT_GT(free, 0u);
            EXPECT_LT(free, info.capacity - sectors);
        } else {
            EXPECT_EQ(free, DiscCapacitySectors(*device_) - sectors);
        }
    }
}

TEST_F(VDriveTest, TheCommandsReachTheRecorderAsBuilt) {
    std::string error;
    ASSERT_TRUE(host_->InsertMedia(1, TMediaKind::DvdR, "", error)) << error;
    ASSERT_TRUE(SelectDevice(*device_, 1));
    host_->ClearJournal();
    ASSERT_TRUE(SetWriteParameters(*device_, false, true, false, MT_DVD_R));
    ASSERT_TRUE(SetSpeeds(*device_, 0, 5540));
    const auto journal = host_->Journal();
    ASSERT_EQ(journal.size(), 3u);
    EXPECT_EQ(journal[0].Opcode(), 0x5A);
    EXPECT_EQ(journal[1].Opcode(), 0x55);
    EXPECT_TRUE(journal[1].DataOut());
    EXPECT_EQ(journal[2].Opcode(), 0xBB);
    EXPECT_EQ(journal[2].cdb[4], 0x15);
    EXPECT_EQ(journal[2].cdb[5], 0xA4);
    for (const auto& entry : journal)
        EXPECT_EQ(entry.target, 1);
}

}  // namespace
}  // namespace tessor::drive::test

namespace tessor::drive::test {
namespace {

// The product's own fallback: no system drive opens, so the scan loads the
// virtual recorder's libwnaspi32.so from the program's folder by its
// default name.
TEST(AspiLibrary, VirtualRecorderLibraryIsLoadedByDefaultName) {
    char pattern[] = "/tmp/tessor-drive-aspi-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    setenv("TESSOR_VDRIVE_DIR", dir.c_str(), 1);
    setenv("TESSOR_TIME_SCALE", "0.001", 1);
    TFakeSystem noDrives;
    auto device = std::make_unique<TSCSIDevice>();
    device->System = &noDrives;
    ASSERT_TRUE(ScanDevices(*device, 0, "", ""));
    EXPECT_EQ(device->UsePassThrough, 0);
    EXPECT_EQ(device->AspiLibraryName, "libwnaspi32.so");
    ASSERT_GE(DeviceCount(*device), 1);
    // The library names a drive letter through get disk information.
    const std::string name = DeviceName(*device, 0);
    EXPECT_EQ(name.substr(0, 6), "0:0:0,");
    EXPECT_TRUE(name.size() > 8 && name[6] >= 'A' && name[6] <= 'Z' && name.substr(7, 2) == ": ")
        << name;
    EXPECT_EQ(device->Devices[0].Letter, name[6]);
    ASSERT_TRUE(SelectDevice(*device, 0));
    EXPECT_TRUE(IsWriter(*device));
    // The tray is empty until a disc is inserted.
    EXPECT_FALSE(DeviceReady(*device));
    EXPECT_EQ(SenseAsc(*device), ASC_NO_MEDIUM);
    EXPECT_EQ(GetMediaType(*device), MT_NONE);
    // A second scan keeps the loaded library.
    ASSERT_TRUE(ScanDevices(*device, 1, "", ""));
    EXPECT_GE(DeviceCount(*device), 1);
    device.reset();
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tessor::drive::test
