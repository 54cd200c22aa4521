// The request block, ExecuteRequest and both transports.
#include <cstddef>

#include "engine/drive/DriveClaim.h"
#include "engine/drive/Queries.h"
#include "tests/drive/DriveFixture.h"

namespace tessor::drive::test {
namespace {

TEST(RequestBlock, KeepsTheAspiFieldOrderWithWidePointers) {
    EXPECT_EQ(sizeof(TSCSIRequest), 104u);
    EXPECT_EQ(offsetof(TSCSIRequest, SRB_Cmd), 0u);
    EXPECT_EQ(offsetof(TSCSIRequest, SRB_Status), 1u);
    EXPECT_EQ(offsetof(TSCSIRequest, SRB_HaId), 2u);
    EXPECT_EQ(offsetof(TSCSIRequest, SRB_Flags), 3u);
    EXPECT_EQ(offsetof(TSCSIRequest, SRB_Hdr_Rsvd), 4u);
    EXPECT_EQ(offsetof(TSCSIRequest, SRB_Target), 8u);
    EXPECT_EQ(offsetof(TSCSIRequest, SRB_Lun), 9u);
    EXPECT_EQ(offsetof(TSCSIRequest, SRB_Rsvd1), 10u);
    EXPECT_EQ(offsetof(TSCSIRequest, SRB_BufLen), 12u);
    EXPECT_EQ(offsetof(TSCSIRequest, SRB_BufPointer), 16u);
    EXPECT_EQ(offsetof(TSCSIRequest, SRB_SenseLen), 24u);
    EXPECT_EQ(offsetof(TSCSIRequest, SRB_CDBLen), 25u);
    EXPECT_EQ(offsetof(TSCSIRequest, SRB_HaStat), 26u);
    EXPECT_EQ(offsetof(TSCSIRequest, SRB_TargStat), 27u);
    EXPECT_EQ(offsetof(TSCSIRequest, SRB_PostProc), 28u);
    EXPECT_EQ(offsetof(TSCSIRequest, SRB_Rsvd2), 36u);
    EXPECT_EQ(offsetof(TSCSIRequest, CDBByte), 56u);
    EXPECT_EQ(offsetof(TSCSIRequest, SenseArea), 72u);
    EXPECT_EQ(offsetof(SRB_HAInquiry, HA_Count), 8u);
    EXPECT_EQ(offsetof(SRB_GetDiskInfo, SRB_Target), 8u);
    EXPECT_EQ(offsetof(SRB_GetDiskInfo, SRB_Lun), 9u);
    EXPECT_EQ(offsetof(SRB_GetDiskInfo, SRB_Int13HDriveInfo), 11u);
}

TEST(SenseDecoding, MasksTheValidBitAndIgnoresOtherFormats) {
    uint8_t sense[32] = {0xF0, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x24, 0x01};
    EXPECT_EQ(DecodeSense(sense), (TSense{5, 0x24, 0x01}));
    sense[0] = 0x71;
    EXPECT_EQ(DecodeSense(sense), (TSense{5, 0x24, 0x01}));
    sense[0] = 0x00;
    EXPECT_EQ(DecodeSense(sense), TSense{});
}

TEST_F(DriveTest, NothingIsSentBeforeAScan) {
    device_->LastSenseCode = 0x1234;
    device_->Sense[12] = 0x77;
    uint8_t cdb[6] = {};
    TSCSIRequest request = MakeRequest(FLAGS_NO_DATA, cdb, 6, nullptr, 0);
    EXPECT_EQ(ExecuteRequest(*device_, request), REQUEST_ERROR);
    EXPECT_EQ(request.SRB_Status, REQUEST_ERROR);
    EXPECT_EQ(device_->LastSenseCode, 0x1234);
    EXPECT_EQ(device_->Sense[12], 0x77);
    EXPECT_FALSE(DeviceReady(*device_));
}

TEST_F(DriveTest, NothingIsSentWithoutASelectedDrive) {
    UseSystemDrive();
    EXPECT_FALSE(SelectDevice(*device_, 1));
    EXPECT_EQ(device_->HostAdapter, NO_ADDRESS);
    EXPECT_FALSE(DeviceReady(*device_));
    EXPECT_TRUE(Sent().empty());
}

TEST_F(DriveTest, CheckConditionKeepsTheSenseAndTheLastCode) {
    UseSystemDrive();
    drive_.On(0x00, Check(2, 0x3A, 0x01));
    EXPECT_FALSE(DeviceReady(*device_));
    EXPECT_EQ(SenseKey(*device_), 2);
    EXPECT_EQ(SenseAsc(*device_), 0x3A);
    EXPECT_EQ(SenseAscq(*device_), 0x01);
    EXPECT_EQ(device_->LastSenseCode, 0x3A01);

    // A good command clears the sense but not the last code.
    drive_.On(0x00, Good());
    EXPECT_TRUE(DeviceReady(*device_));
    EXPECT_EQ(SenseKey(*device_), 0);
    for (uint8_t b : device_->Sense)
        EXPECT_EQ(b, 0);
    EXPECT_EQ(device_->LastSenseCode, 0x3A01);

    // A check condition without ASC leaves the last code as well.
    drive_.On(0x00, Check(6, 0, 0));
    EXPECT_FALSE(DeviceReady(*device_));
    EXPECT_EQ(SenseKey(*device_), 6);
    EXPECT_EQ(device_->LastSenseCode, 0x3A01);
}

TEST_F(DriveTest, SenseWithTheValidBitOrInDescriptorFormatIsUnderstood) {
    UseSystemDrive();
    TReply reply = Check(2, 0x04, 0x04);
    reply.ResponseCode = 0xF0;
    drive_.On(0x00, reply);
    EXPECT_FALSE(DeviceReady(*device_));
    EXPECT_EQ(DecodeSense(device_->Sense), (TSense{2, 0x04, 0x04}));
    EXPECT_EQ(device_->LastSenseCode, SC_FORMAT_IN_PROGRESS);

    // Descriptor format, current (72h) and deferred (73h): a write error
    // the drive found after the command that caused it is still a write
    // error.
    for (uint8_t code : {0x72, 0x73}) {
        reply = Check(5, 0x30, 0x05);
        reply.ResponseCode = code;
        drive_.On(0x00, reply);
        EXPECT_FALSE(DeviceReady(*device_));
        EXPECT_EQ(DecodeSense(device_->Sense), (TSense{5, 0x30, 0x05})) << int(code);
        EXPECT_EQ(device_->LastSenseCode, SC_INCOMPATIBLE_FORMAT) << int(code);
    }
}

TEST_F(DriveTest, BusyTargetIsFlaggedUntilTheNextCommand) {
    UseSystemDrive();
    drive_.On(0x00, Busy());
    EXPECT_FALSE(DeviceReady(*device_));
    EXPECT_EQ(device_->TargetBusy, 1);
    drive_.On(0x00, Good());
    EXPECT_TRUE(DeviceReady(*device_));
    EXPECT_EQ(device_->TargetBusy, 0);
}

TEST_F(DriveTest, HandleStaysOpenBetweenCommandsOnlyWhenAsked) {
    UseSystemDrive();
    EXPECT_EQ(device_->CloseAfterCommand, 0);  // as every scan leaves it
    system_.CommandHandles.clear();
    ASSERT_TRUE(DeviceReady(*device_));
    ASSERT_TRUE(DeviceReady(*device_));
    ASSERT_EQ(system_.CommandHandles.size(), 2u);
    EXPECT_EQ(system_.CommandHandles[0], system_.CommandHandles[1]);
    EXPECT_NE(device_->Handle, INVALID_HANDLE);

    device_->CloseAfterCommand = 1;
    const int opens = system_.Opens;
    ASSERT_TRUE(DeviceReady(*device_));  // uses the open handle, then closes it
    EXPECT_EQ(device_->Handle, INVALID_HANDLE);
    ASSERT_TRUE(DeviceReady(*device_));
    ASSERT_TRUE(DeviceReady(*device_));
    EXPECT_EQ(system_.Opens, opens + 2);
    EXPECT_EQ(device_->Handle, INVALID_HANDLE);
    EXPECT_TRUE(system_.Open_.empty());

    CloseDevice(*device_);
    EXPECT_EQ(device_->Handle, INVALID_HANDLE);
}

TEST_F(DriveTest, ReadOnlyOpenIsTheFallback) {
    system_.Letters['D'].OpenReadWrite = false;
    UseSystemDrive();
    EXPECT_TRUE(DeviceReady(*device_));
}

// A drive the user may only read is listed and answers queries, but a
// job on it says which device needs read-write access and who has it.
TEST_F(DriveTest, AJobOnADriveThatMayOnlyBeReadSaysWhy) {
    UseSystemDrive();
    system_.Letters['D'].OpenReadWrite = false;
    system_.Letters['D'].OpenError = EACCES;
    EXPECT_TRUE(DeviceReady(*device_));
    EXPECT_FALSE(ClaimDevice(*device_));
    EXPECT_EQ(device_->ClaimFailure, TClaimFailure::ReadOnly);
    EXPECT_EQ(device_->ClaimDetail.rfind("writing needs read-write access to /dev/sr1", 0), 0u)
        << device_->ClaimDetail;
}

TEST_F(DriveTest, DriveThatCannotBeOpenedFailsWithTheSystemCode) {
    UseSystemDrive();
    device_->CloseAfterCommand = 1;
    CloseDevice(*device_);
    system_.Letters['D'].OpenReadWrite = false;
    system_.Letters['D'].OpenReadOnly = false;
    EXPECT_FALSE(DeviceReady(*device_));
    EXPECT_EQ(device_->LastOsError, uint32_t(EBADF));
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(device_->TargetBusy, 0);
}

TEST_F(DriveTest, DataComeBackThroughThePassThrough) {
    UseSystemDrive();
    uint8_t reply[64] = {};
    ASSERT_TRUE(Inquiry(*device_, reply));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(reply + 8), 6), "TESSOR");
    ASSERT_EQ(Sent().size(), 1u);
    EXPECT_EQ(Sent()[0].Direction, TDataDirection::In);
    EXPECT_EQ(Sent()[0].Length, 64u);
    EXPECT_EQ(Sent()[0].Cdb, (std::vector<uint8_t>{0x12, 0, 0, 0, 0x40, 0}));
}

TEST_F(DriveTest, AspiRequestsCompletingLaterAreWaitedFor) {
    UseAspiDrive();
    aspi_.Pending = true;
    uint8_t reply[64] = {};
    ASSERT_TRUE(Inquiry(*device_, reply));
    EXPECT_EQ(reply[0], 0x05);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(reply + 16), 11), "FAKE WRITER");

    drive_.On(0x00, Check(2, 0x3A, 0x00));
    EXPECT_FALSE(DeviceReady(*device_));
    EXPECT_EQ(device_->LastSenseCode, SC_NO_MEDIUM);

    // A busy target is flagged whether the request completed at once or
    // later through the event: the target status is in the request either way.
    drive_.On(0x00, Busy());
    EXPECT_FALSE(DeviceReady(*device_));
    EXPECT_EQ(device_->TargetBusy, 1);
    aspi_.Pending = false;
    EXPECT_FALSE(DeviceReady(*device_));
    EXPECT_EQ(device_->TargetBusy, 1);
}

TEST_F(DriveTest, AspiRequestCarriesTheCurrentAddress) {
    UseAspiDrive();
    EXPECT_EQ(device_->UsePassThrough, 0);
    EXPECT_EQ(device_->HostAdapter, 1);
    ASSERT_TRUE(DeviceReady(*device_));
    // The drive at 1:0:0 answered; nothing else exists.
    ASSERT_EQ(Sent().size(), 1u);
}

}  // namespace
}  // namespace tessor::drive::test
