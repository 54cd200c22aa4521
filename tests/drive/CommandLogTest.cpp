// The command log: exact line format of both transports.
#include <cstdlib>
#include <ctime>
#include <regex>

#include "engine/drive/Capacity.h"
#include "engine/drive/Queries.h"
#include "tests/drive/DriveFixture.h"

namespace tessor::drive::test {
namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start) + "<no CRLF>");
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::string Repeat(const std::string& group, int times) {
    std::string text;
    for (int i = 0; i < times; ++i)
        text += group;
    return text;
}

class CommandLogTest : public DriveTest {
protected:
    void SetUp() override {
        DriveTest::SetUp();
        logPath_ = ::testing::TempDir() + "tessor-drive-log-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt";
    }
    void TearDown() override {
        DriveTest::TearDown();
        std::remove(logPath_.c_str());
    }
    // The last line, split into its time prefix and the rest.
    std::string LastLine(std::string* time = nullptr) {
        const auto lines = Lines(ReadFile(logPath_));
        if (lines.empty())
            return {};
        const std::string& line = lines.back();
        static const std::regex stamp("^[0-5][0-9]:[0-5][0-9]:[0-9]{3} ");
        if (!std::regex_search(line, stamp))
            return "bad time prefix: " + line;
        if (time)
            *time = line.substr(0, 10);
        return line.substr(10);
    }
    size_t LineCount() { return Lines(ReadFile(logPath_)).size(); }
};

TEST_F(CommandLogTest, AspiLineOfTestUnitReady) {
    UseAspiDrive();
    ASSERT_TRUE(DeviceReady(*device_));
    EXPECT_EQ(LastLine(), "TEST UNIT READY        (00) {40:06} - 1:0:0 <01> [00000] " +
                              Repeat("00 ", 15) + "| 00:00");
}

// The line starts with the minute, second and millisecond of the command
// (UTC), the clock a reader of the log compares with other logs.
TEST_F(CommandLogTest, TimePrefixIsMinuteSecondMillisecond) {
    UseAspiDrive();
    ASSERT_TRUE(DeviceReady(*device_));
    std::string time;
    LastLine(&time);
    ASSERT_EQ(time.size(), 10u);
    const time_t now = ::time(nullptr);
    tm utc{};
    gmtime_r(&now, &utc);
    const int logged = std::stoi(time.substr(0, 2)) * 60 + std::stoi(time.substr(3, 2));
    const int clock = utc.tm_min * 60 + utc.tm_sec;
    const int apart = std::abs(clock - logged);
    EXPECT_LE(std::min(apart, 3600 - apart), 3)
        << time << " at " << utc.tm_min << ":" << utc.tm_sec;
}

TEST_F(CommandLogTest, PassThroughLineEndsWithTheSystemCode) {
    UseSystemDrive();
    ASSERT_TRUE(DeviceReady(*device_));
    EXPECT_EQ(LastLine(), "TEST UNIT READY        (00) {40:06} - 1:0:0 <01> [00000] " +
                              Repeat("00 ", 15) + "| 00:00, 0");

    // A refused command: status 4 and the ASC/ASCQ pair.
    drive_.On(0x5C, Check(5, 0x24, 0x00));
    std::memset(device_->TransferBuffer, 0, 64);  // what the log shows of the buffer
    EXPECT_FALSE(ReadBufferCapacity(*device_));
    EXPECT_EQ(LastLine(),
              "READ BUFFER CAPACITY   (5C) {48:0A} - 1:0:0 <04> [00020] "
              "00 00 00 00 00 00 00 20 00 " +
                  Repeat("00 ", 6) + "| " + Repeat("00 ", 32) + "24:00, 0");
}

TEST_F(CommandLogTest, LongTransferShowsItsLengthInHexAndOneHundredBytes) {
    UseSystemDrive();
    std::vector<uint8_t> sectors(65536);
    for (size_t i = 0; i < sectors.size(); ++i)
        sectors[i] = uint8_t(i * 7);
    drive_.On(0x28, Good(sectors));
    std::vector<uint8_t> buffer(65536);
    ASSERT_TRUE(Read10(*device_, 0x123456, 32, buffer));
    std::string data;
    char hex[4];
    for (int i = 0; i < 100; ++i) {
        std::snprintf(hex, sizeof hex, "%02X ", uint8_t(i * 7));
        data += hex;
    }
    EXPECT_EQ(LastLine(),
              "READ (10)              (28) {48:0A} - 1:0:0 <01> [10000] "
              "00 00 12 34 56 00 00 20 00 " +
                  Repeat("00 ", 6) + "| " + data + "00:00, 0");
}

TEST_F(CommandLogTest, UnnamedOperationCodeHasAnEmptyName) {
    UseAspiDrive();
    drive_.On(0x5E, Good());
    uint8_t cdb[10] = {0x5E, 0x01};
    TSCSIRequest request = MakeRequest(FLAGS_NO_DATA, cdb, 10, nullptr, 0);
    ASSERT_EQ(ExecuteRequest(*device_, request), REQUEST_DONE);
    EXPECT_EQ(LastLine(), " (5E) {40:0A} - 1:0:0 <01> [00000] 01 " + Repeat("00 ", 14) + "| 00:00");
}

TEST_F(CommandLogTest, MisalignedBufferIsMarked) {
    UseAspiDrive();
    alignas(4) uint8_t buffer[70] = {};
    ASSERT_TRUE(Inquiry(*device_, {buffer + 1, 64}));
    const std::string line = Lines(ReadFile(logPath_)).back();
    static const std::regex marked("^- NAL -> [0-9A-F]+ [0-5][0-9]:[0-5][0-9]:[0-9]{3} INQUIRY ");
    EXPECT_TRUE(std::regex_search(line, marked)) << line;
}

TEST_F(CommandLogTest, RecordBuffersAreNeverFlaggedAsMisaligned) {
    UseSystemDrive();
    drive_.On(0x46, Good(std::vector<uint8_t>(8, 0)));
    drive_.On(0x51, Good(std::vector<uint8_t>(34, 0)));
    drive_.On(0x52, Good(std::vector<uint8_t>(36, 0)));
    GetMediaType(*device_);
    ReadDiscInformation(*device_, device_->DiscInfo, sizeof device_->DiscInfo);
    ReadDiscInformation(*device_, device_->DiscInfo2, sizeof device_->DiscInfo2);
    ReadTrackInformation(*device_, 1);
    ReadCapabilities(*device_);
    ReadBufferCapacity(*device_);
    const std::string log = ReadFile(logPath_);
    EXPECT_NE(log.find("GET CONFIGURATION"), std::string::npos);
    EXPECT_EQ(log.find("NAL"), std::string::npos) << log;
}

TEST_F(CommandLogTest, ScanLogNamesEveryLetter) {
    {
        std::ofstream old(logPath_);
        old << "an older log\n";
    }
    system_.Letters['C'].Type = DRIVE_FIXED;
    system_.Letters['F'].Type = DRIVE_CDROM;
    system_.Letters['F'].OpenReadWrite = false;
    system_.Letters['F'].OpenReadOnly = false;
    system_.Letters['F'].OpenError = 13;
    UseSystemDrive();  // D at 1:0:0
    const auto lines = Lines(ReadFile(logPath_));
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "GetQTRXVersion");
    EXPECT_EQ(lines[1], "C: ( 3)");
    EXPECT_EQ(lines[2], "D: 5 - ( 1:0:0,D: TESSOR   FAKE WRITER      1.00             )");
    EXPECT_EQ(lines[3], "E: ( 1)");
    EXPECT_EQ(lines[4], "System Error Code: 13");
    EXPECT_EQ(lines[5], "System Error Code: 13");
    EXPECT_EQ(lines[6], "System Error Code: 13");
    EXPECT_EQ(lines[7], ")");
    EXPECT_EQ(lines[8], "G: ( 1)");
    EXPECT_EQ(lines[27], "Z: ( 1)");
    // Then the commands of SelectDevice: INQUIRY and two MODE SENSE.
    ASSERT_EQ(lines.size(), 31u);
    EXPECT_NE(lines[28].find("INQUIRY"), std::string::npos);
    EXPECT_NE(lines[30].find("MODE SENSE (10)        (5A) {48:0A} - 1:0:0 <01> [00080] 00 2A "),
              std::string::npos);
}

TEST_F(CommandLogTest, NoLogWithoutAFileName) {
    logPath_.clear();
    UseSystemDrive();
    ASSERT_TRUE(DeviceReady(*device_));
    EXPECT_FALSE(device_->LogStream);
}

TEST_F(CommandLogTest, ALaterScanWithoutLogStopsLogging) {
    UseSystemDrive();
    const size_t lines = LineCount();
    ASSERT_TRUE(ScanDevices(*device_, 0, "", ""));
    ASSERT_TRUE(SelectDevice(*device_, 0));
    ASSERT_TRUE(DeviceReady(*device_));
    EXPECT_EQ(LineCount(), lines);
}

}  // namespace
}  // namespace tessor::drive::test
