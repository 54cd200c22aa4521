// The ASPI front: request kinds, addressing, completion events, status and
// sense hand-back, and the shared library loaded the way the engine loads it.
#include <cstddef>

#include "engine/drive/CompletionEvent.h"
#include "engine/platform/Library.h"
#include "tests/vdrive/VDriveTestSupport.h"

namespace tessor::vdrive::test {
namespace {

class Aspi : public TVirtualRecorderTest {};

TEST(AspiLayout, OffsetsMatchTheEngineRequestBlock) {
    EXPECT_EQ(offsetof(SRB_ExecSCSICmd, SRB_BufLen), 12u);
    EXPECT_EQ(offsetof(SRB_ExecSCSICmd, SRB_BufPointer), 16u);
    EXPECT_EQ(offsetof(SRB_ExecSCSICmd, SRB_SenseLen), 16u + sizeof(void*));
    EXPECT_EQ(offsetof(SRB_ExecSCSICmd, SRB_TargStat), 19u + sizeof(void*));
    EXPECT_EQ(offsetof(SRB_ExecSCSICmd, CDBByte), 40u + 2 * sizeof(void*));
    EXPECT_EQ(offsetof(SRB_HAInquiry, HA_Count), 8u);
    EXPECT_EQ(offsetof(SRB_GetDiskInfo, SRB_Int13HDriveInfo), 11u);
}

TEST_F(Aspi, ScanFindsEachDriveOnceAtLunZero) {
    EXPECT_EQ(entry_.getSupportInfo(), 0x0101u);
    SRB_HAInquiry ha{};
    ha.SRB_Cmd = SC_HA_INQUIRY;
    EXPECT_EQ(entry_.sendCommand(&ha), SS_COMP);
    ASSERT_EQ(ha.HA_Count, 1);
    ha.SRB_HaId = 1;
    EXPECT_EQ(entry_.sendCommand(&ha), SS_INVALID_HA);

    // The engine's scan: every target 0-7 and LUN 0-6 with INQUIRY.
    std::vector<std::string> found;
    for (uint8_t target = 0; target < 8; ++target) {
        for (uint8_t lun = 0; lun < 7; ++lun) {
            TReply r =
                Send(target, {0x12, 0, 0, 0, 0x40, 0}, SRB_DIR_IN | SRB_EVENT_NOTIFY, {}, 64, lun);
            if (r.srbStatus == SS_COMP && r.data[0] == 0x05) {
                found.push_back(std::string(reinterpret_cast<char*>(&r.data[8]), 8) + "|" +
                                std::string(reinterpret_cast<char*>(&r.data[16]), 16));
                EXPECT_EQ(lun, 0);
            }
        }
    }
    ASSERT_EQ(found.size(), 4u);
    EXPECT_EQ(found[0], "TESSOR  |VIRTUAL BD-RE   ");
    EXPECT_EQ(found[3], "TESSOR  |VIRTUAL DVD-ROM ");
    EXPECT_EQ(Send(4, {0x00, 0, 0, 0, 0, 0}).srbStatus, SS_NO_DEVICE);

    SRB_GetDiskInfo info{};
    info.SRB_Cmd = SC_GET_DISK_INFO;
    info.SRB_Target = 1;
    EXPECT_EQ(entry_.sendCommand(&info), SS_COMP);
    EXPECT_EQ('A' + info.SRB_Int13HDriveInfo, 'W');
    info.SRB_Target = 6;
    EXPECT_EQ(entry_.sendCommand(&info), SS_NO_DEVICE);
}

TEST_F(Aspi, PendingRequestsSignalTheirEvent) {
    Insert(0, TMediaKind::BdRe);
    // The event the engine makes for the library: an eventfd, or a Win32 event.
    intptr_t event = 0;
    uint32_t error = 0;
    ASSERT_TRUE(drive::CreateCompletionEvent(event, error)) << error;
    SRB_ExecSCSICmd srb{};
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_Flags = SRB_EVENT_NOTIFY;
    srb.SRB_SenseLen = SENSE_LEN;
    srb.SRB_CDBLen = 6;
    srb.SRB_PostProc = event;
    EXPECT_EQ(entry_.sendCommand(&srb), SS_PENDING);
    drive::WaitCompletionEvent(event);
    EXPECT_EQ(srb.SRB_Status, SS_COMP);
    drive::CloseCompletionEvent(event);
}

TEST_F(Aspi, CheckConditionCarriesSenseAndBusyCarriesNone) {
    TReply r = Tur(0);
    EXPECT_EQ(r.srbStatus, SS_ERR);
    EXPECT_EQ(r.targetStatus, STATUS_CHKCOND);
    EXPECT_EQ(r.sense, sense::kNoMedium);

    std::string error;
    ASSERT_TRUE(host_->InjectFault(0, "busy 100000", error)) << error;
    r = Tur(0);
    EXPECT_EQ(r.srbStatus, SS_ERR);
    EXPECT_EQ(r.targetStatus, STATUS_BUSY);
    EXPECT_EQ(r.sense, kGood);
    // INQUIRY still answers while the drive is busy, so a scan finds it.
    EXPECT_TRUE(In(0, {0x12, 0, 0, 0, 0x40, 0}, 64).Good());
    ASSERT_TRUE(host_->ClearFaults(0, error));
    Insert(0, TMediaKind::BdRe);
    r = Tur(0);
    EXPECT_TRUE(r.Good());
}

TEST_F(Aspi, JournalRecordsEveryCommand) {
    host_->ClearJournal();
    Insert(1, TMediaKind::DvdR);
    Tur(1);
    Write(1, 64, 32);
    Send(5, {0x00, 0, 0, 0, 0, 0});
    auto journal = host_->Journal();
    ASSERT_EQ(journal.size(), 3u);
    EXPECT_EQ(journal[0].Opcode(), 0x00);
    EXPECT_EQ(journal[0].srbStatus, SS_COMP);
    EXPECT_EQ(journal[1].Opcode(), 0x2A);
    EXPECT_EQ(journal[1].dataLength, 65536u);
    EXPECT_TRUE(journal[1].DataOut());
    EXPECT_EQ(journal[1].sense, sense::kInvalidWriteAddress);
    EXPECT_EQ(journal[2].target, 5);
    EXPECT_EQ(journal[2].srbStatus, SS_NO_DEVICE);
    host_->ClearJournal();
    EXPECT_TRUE(host_->Journal().empty());
}

TEST_F(Aspi, EntryPointsFollowTheLatestHost) {
    TAspiEntryPoints first = entry_;
    host_.reset();
    // No host bound: the library is unusable rather than crashing.
    EXPECT_EQ(first.getSupportInfo(), 0u);
    SRB_ExecSCSICmd srb{};
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    EXPECT_EQ(first.sendCommand(&srb), SS_ERR);
    Start();
    EXPECT_EQ(first.getSupportInfo(), 0x0101u);
}

TEST_F(Aspi, SharedLibraryServesTheStateDirectory) {
    // The library reads the state directory from the environment when it is
    // first used, as a program loading it finds it.
    Insert(1, TMediaKind::DvdRam);
    ASSERT_TRUE(testsupport::SetEnvironment("TESSOR_VDRIVE_DIR", dir_));
    platform::TLibrary lib;
    // By name, as the engine loads it: found in the program's own folder.
    ASSERT_TRUE(lib.Load(TESSOR_WNASPI32_FILE)) << lib.Error();
    auto getInfo = reinterpret_cast<TGetASPI32SupportInfo>(lib.Symbol("GetASPI32SupportInfo"));
    auto send = reinterpret_cast<TSendASPI32Command>(lib.Symbol("SendASPI32Command"));
    ASSERT_NE(getInfo, nullptr);
    ASSERT_NE(send, nullptr);
    // Kept loaded, as the engine keeps it: the library's host lives until exit.
    platform::KeepLoaded(reinterpret_cast<void*>(getInfo));
    EXPECT_EQ(getInfo(), 0x0101u);
    uint8_t config[16] = {};
    SRB_ExecSCSICmd srb{};
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_Flags = SRB_DIR_IN;
    srb.SRB_Target = 1;
    srb.SRB_BufLen = sizeof config;
    srb.SRB_BufPointer = config;
    srb.SRB_SenseLen = SENSE_LEN;
    srb.SRB_CDBLen = 10;
    uint8_t cdb[10] = {0x46, 0x02, 0, 0, 0, 0, 0, 0, sizeof config, 0};
    std::memcpy(srb.CDBByte, cdb, sizeof cdb);
    EXPECT_EQ(send(&srb), SS_COMP);
    EXPECT_EQ(BE16(config + 6), 0x0012);  // DVD-RAM, inserted through the in-process host
    // Only the two entry points are exported: the core inside stays private,
    // so it cannot clash with a core linked into the program.
    EXPECT_EQ(lib.Symbol("_ZN6tessor6vdrive15DefaultStateDirB5cxx11Ev"), nullptr);
}

}  // namespace
}  // namespace tessor::vdrive::test
