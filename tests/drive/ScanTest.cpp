// Drive enumeration through the OS seam and the ASPI library, and selection.
#include "engine/drive/Queries.h"
#include "tests/drive/DriveFixture.h"

namespace tessor::drive::test {
namespace {

class ScanTest : public DriveTest {
protected:
    TFakeLetter& Optical(char letter, TFakeDrive& drive, std::optional<TScsiAddress> address) {
        TFakeLetter& entry = system_.Letters[letter];
        entry.Type = DRIVE_CDROM;
        entry.Address = address;
        entry.Drive = &drive;
        return entry;
    }
    TFakeDrive e_, f_, g_;
};

TEST_F(ScanTest, DrivesWithoutAddressFollowWithAdaptersAboveTheRealOnes) {
    e_.On(0x12, Good(InquiryData("VENDOR-E", "WRITER E", "1.0E")));
    f_.On(0x12, Good(InquiryData("VENDOR-F", "WRITER F", "1.0F")));
    g_.On(0x12, Good(InquiryData("USBCORP", "PORTABLE DVD", "2.01")));
    Optical('G', g_, std::nullopt);
    Optical('E', e_, Address(1, 0, 0));
    Optical('F', f_, Address(0, 1, 0));
    ASSERT_TRUE(ScanDevices(*device_, 0, "", ""));
    ASSERT_EQ(DeviceCount(*device_), 3);
    EXPECT_EQ(DeviceName(*device_, 0), "1:0:0,E: VENDOR-E WRITER E         1.0E             ");
    EXPECT_EQ(DeviceName(*device_, 1), "0:1:0,F: VENDOR-F WRITER F         1.0F             ");
    EXPECT_EQ(DeviceName(*device_, 2), "2:0:0,G: USBCORP  PORTABLE DVD     2.01");
    EXPECT_EQ(DeviceName(*device_, 3), "");
    EXPECT_EQ(device_->Devices[2].HostAdapter, 2);
    EXPECT_EQ(device_->Devices[2].Letter, 'G');
    EXPECT_EQ(device_->Devices[2].DeviceClass, 5);
    EXPECT_EQ(device_->TransportReady, 1);
    EXPECT_EQ(device_->UsePassThrough, 1);
    // Every handle the scan opened is closed again.
    EXPECT_TRUE(system_.Open_.empty());
    // Until a drive is selected, commands go to 0:0:0 of the last letter.
    EXPECT_EQ(device_->DriveLetter, 'G');
    EXPECT_EQ(device_->HostAdapter, 0);

    // Selecting G sends to G's letter.
    g_.Received.clear();
    ASSERT_TRUE(SelectDevice(*device_, 2));
    EXPECT_EQ(device_->DriveLetter, 'G');
    EXPECT_EQ(device_->HostAdapter, 2);
    EXPECT_FALSE(g_.With(0x12).empty());
    EXPECT_TRUE(e_.With(0x5A).empty());
}

TEST_F(ScanTest, SeveralDrivesWithoutAddressKeepLetterOrder) {
    e_.On(0x12, Good(InquiryData("A", "ONE", "1")));
    f_.On(0x12, Good(InquiryData("B", "TWO", "2")));
    Optical('E', e_, std::nullopt);
    Optical('K', f_, std::nullopt);
    ASSERT_TRUE(ScanDevices(*device_, 0, "", ""));
    ASSERT_EQ(DeviceCount(*device_), 2);
    EXPECT_EQ(DeviceName(*device_, 0), "1:0:0,E: A        ONE              1");
    EXPECT_EQ(DeviceName(*device_, 1), "2:0:0,K: B        TWO              2");
}

TEST_F(ScanTest, DriveThatDoesNotIdentifyGetsEmptyTexts) {
    e_.On(0x12, Good(InquiryData("VENDOR-E", "WRITER E", "1.0E")));
    f_.On(0x12, Check(2, 0x04, 0x01));
    g_.On(0x12, Good(InquiryData("DISK", "NOT OPTICAL", "1", 0x00)));
    Optical('E', e_, Address(1, 0, 0));
    Optical('F', f_, Address(1, 1, 0));
    Optical('G', g_, std::nullopt);
    ASSERT_TRUE(ScanDevices(*device_, 0, "", ""));
    ASSERT_EQ(DeviceCount(*device_), 3);
    EXPECT_EQ(DeviceName(*device_, 1), "1:1:0,F:    ");
    EXPECT_EQ(DeviceName(*device_, 2), "2:0:0,G: ");
    // Selecting a drive that does not answer INQUIRY keeps it current.
    EXPECT_FALSE(SelectDevice(*device_, 1));
    EXPECT_EQ(device_->TargetId, 1);
    f_.Received.clear();
    f_.On(0x00, Good());
    EXPECT_TRUE(DeviceReady(*device_));
    EXPECT_EQ(f_.Received.size(), 1u);
}

TEST_F(ScanTest, ControlBytesInTheIdentificationBecomeBlanks) {
    auto data = InquiryData("VEN", "PROD", "R1");
    data[11] = 0x00;
    data[20] = 0x09;
    data[40] = 0x1F;
    e_.On(0x12, Good(data));
    Optical('E', e_, Address(0, 0, 0));
    ASSERT_TRUE(ScanDevices(*device_, 0, "", ""));
    EXPECT_EQ(DeviceName(*device_, 0), "0:0:0,E: VEN      PROD             R1               ");
}

TEST_F(ScanTest, NoDriveAndNoLibraryMeansNoTransport) {
    system_.Letters['C'].Type = DRIVE_FIXED;
    EXPECT_FALSE(ScanDevices(*device_, 0, "/nonexistent/libwnaspi32.so", ""));
    EXPECT_EQ(DeviceCount(*device_), 0);
    EXPECT_EQ(DeviceName(*device_, 0), "");
    EXPECT_EQ(device_->TransportReady, 0);
    EXPECT_FALSE(DeviceReady(*device_));
    // A library without the ASPI entry points is no better.
    EXPECT_FALSE(ScanDevices(*device_, 1, "libm.so.6", ""));
    EXPECT_EQ(device_->TransportReady, 0);
}

TEST_F(ScanTest, AnOpticalDriveThatCannotBeOpenedIsSkipped) {
    Optical('E', e_, Address(1, 0, 0)).OpenReadWrite = false;
    system_.Letters['E'].OpenReadOnly = false;
    aspi_.SupportInfo = 0;  // and the library cannot be used
    device_->AspiOverride = aspi_.EntryPoints();
    EXPECT_FALSE(ScanDevices(*device_, 0, "", ""));
    EXPECT_EQ(DeviceCount(*device_), 0);
}

TEST_F(ScanTest, AspiIsUsedWhenAskedOrWhenNoSystemDriveOpens) {
    e_.On(0x12, Good(InquiryData("SYS", "SYSTEM DRIVE", "1")));
    Optical('E', e_, Address(0, 0, 0));
    aspi_.AdapterCount = 0;  // counts as seven
    aspi_.Drives[{6, 7, 6}] = &drive_;
    aspi_.DriveNumbers[{6, 7, 6}] = 3;
    device_->AspiOverride = aspi_.EntryPoints();

    ASSERT_TRUE(ScanDevices(*device_, 1, "", ""));
    EXPECT_TRUE(e_.With(0x12).empty());  // no system scan at all
    ASSERT_EQ(DeviceCount(*device_), 1);
    EXPECT_EQ(DeviceName(*device_, 0), "6:7:6,D: TESSOR   FAKE WRITER      1.00             ");
    EXPECT_EQ(device_->UsePassThrough, 0);
    EXPECT_EQ(device_->TransportReady, 1);
    EXPECT_EQ(aspi_.Requests, 1 + 7 * 8 * 7 + 1);

    system_.Letters['E'].OpenReadWrite = false;
    system_.Letters['E'].OpenReadOnly = false;
    ASSERT_TRUE(ScanDevices(*device_, 0, "", ""));
    ASSERT_EQ(DeviceCount(*device_), 1);
    EXPECT_EQ(device_->Devices[0].HostAdapter, 6);
    EXPECT_EQ(device_->UsePassThrough, 0);
}

TEST_F(ScanTest, AspiScanListsOnlyConnectedOpticalDrivesAndFindsTheirLetters) {
    e_.On(0x12, Good(InquiryData("QUAL1", "NOT CONNECTED", "1", 0x25)));
    f_.On(0x12, Good(InquiryData("OTHER", "LETTER BY ADDRESS", "2")));
    aspi_.AdapterCount = 2;
    aspi_.Drives[{0, 1, 0}] = &e_;
    aspi_.Drives[{1, 2, 0}] = &f_;
    aspi_.Drives[{1, 3, 0}] = &drive_;
    device_->AspiOverride = aspi_.EntryPoints();
    // The system knows F's address under letter H.
    Optical('H', g_, Address(1, 2, 0));
    ASSERT_TRUE(ScanDevices(*device_, 1, "", ""));
    ASSERT_EQ(DeviceCount(*device_), 2);
    EXPECT_EQ(DeviceName(*device_, 0), "1:2:0,H: OTHER    LETTER BY ADDRES 2                ");
    EXPECT_EQ(DeviceName(*device_, 1), "1:3:0,?: TESSOR   FAKE WRITER      1.00             ");
    EXPECT_TRUE(system_.Open_.empty());
}

TEST_F(ScanTest, PendingAspiInquiriesAreWaitedFor) {
    aspi_.Pending = true;
    aspi_.AdapterCount = 1;
    aspi_.Drives[{0, 5, 0}] = &drive_;
    device_->AspiOverride = aspi_.EntryPoints();
    ASSERT_TRUE(ScanDevices(*device_, 1, "", ""));
    ASSERT_EQ(DeviceCount(*device_), 1);
    EXPECT_EQ(device_->Devices[0].TargetId, 5);
}

TEST_F(ScanTest, ScanResetsTheRecordButKeepsTheOptions) {
    UseSystemDrive();
    platform::TMessageTarget window([](const platform::TMessage&) {});
    device_->BurnProof = 0;
    device_->FinalizeDisc = 1;
    device_->NotifyWindow = &window;
    device_->TestWrite = 1;
    device_->CloseAfterCommand = 1;
    device_->WriteSpeedSetting = 1000;
    device_->LastSenseCode = 0x3A00;
    device_->BufferCapacity = 77;
    device_->MediaType = 5;
    device_->DiscInfo[2] = 0xFF;
    ASSERT_TRUE(ScanDevices(*device_, 0, "", ""));
    EXPECT_EQ(device_->BurnProof, 0);
    EXPECT_EQ(device_->FinalizeDisc, 1);
    EXPECT_EQ(device_->NotifyWindow, &window);
    EXPECT_EQ(device_->TestWrite, 0);
    EXPECT_EQ(device_->CloseAfterCommand, 0);
    EXPECT_EQ(device_->WriteSpeedSetting, 0);
    EXPECT_EQ(device_->LastSenseCode, 0);
    EXPECT_EQ(device_->BufferCapacity, 0u);
    EXPECT_EQ(device_->MediaType, 0);
    EXPECT_EQ(device_->DiscInfo[2], 0);
    EXPECT_EQ(device_->System, &system_);
    EXPECT_EQ(device_->CommandNames[0x12], "INQUIRY               ");
    EXPECT_EQ(device_->CommandNames[0x5E], "");
}

TEST_F(ScanTest, SelectingPastTheListLeavesNoDrive) {
    UseSystemDrive();
    EXPECT_FALSE(SelectDevice(*device_, DeviceCount(*device_)));
    EXPECT_EQ(device_->DriveLetter, NO_DRIVE_LETTER);
    EXPECT_FALSE(DeviceReady(*device_));
}

TEST_F(ScanTest, SelectionReadsTheCapabilities) {
    UseSystemDrive();
    EXPECT_TRUE(IsWriter(*device_));
    EXPECT_EQ(CapabilitiesWord(*device_, CAP_MAX_WRITE_SPEED), 7056);
}

}  // namespace
}  // namespace tessor::drive::test
