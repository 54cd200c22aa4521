// A drive record wired to scripted drives, scanned and selected the way the
// component does it.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "engine/drive/DeviceScan.h"
#include "engine/drive/SCSILib.h"
#include "tests/drive/FakeDrive.h"

namespace tessor::drive::test {

// Page 2Ah as a MODE SENSE (10) reply: 8-byte header (plus an optional
// block descriptor), then the page.
inline std::vector<uint8_t> CapabilitiesReply(uint8_t writeBits, bool underrunFree,
                                              uint16_t maxWrite = 7056, uint16_t curWrite = 5645,
                                              bool blockDescriptor = false) {
    const size_t at = blockDescriptor ? 16 : 8;
    std::vector<uint8_t> reply(at + 30, 0);
    reply[1] = uint8_t(reply.size() - 2);
    reply[7] = blockDescriptor ? 8 : 0;
    uint8_t* page = reply.data() + at;
    page[0] = 0x2A;
    page[1] = 0x1C;
    page[2] = 0x3B;
    page[3] = writeBits;
    page[4] = underrunFree ? 0x80 : 0x00;
    auto be16 = [](uint8_t* p, uint16_t v) {
        p[0] = uint8_t(v >> 8);
        p[1] = uint8_t(v);
    };
    be16(page + 8, 7056);
    be16(page + 12, 2048);
    be16(page + 14, 4234);
    be16(page + 18, maxWrite);
    be16(page + 20, curWrite);
    return reply;
}

// Page 05h as a MODE SENSE (10) reply, as a drive holds it.
inline std::vector<uint8_t> WriteParametersReply(bool blockDescriptor = false,
                                                 uint8_t pageLength = 0x32) {
    const size_t at = blockDescriptor ? 16 : 8;
    std::vector<uint8_t> reply(at + 2 + pageLength, 0);
    reply[1] = uint8_t(reply.size() - 2);
    reply[7] = blockDescriptor ? 8 : 0;
    if (blockDescriptor)
        reply[8] = 0x99;  // density code: anything but a page code
    uint8_t* page = reply.data() + at;
    page[0] = 0x05;
    page[1] = pageLength;
    page[2] = 0x21;  // the drive's own values, to be replaced
    page[3] = 0x05;
    page[4] = 0x0A;
    page[5] = 0x07;
    for (size_t i = 16; i < size_t(pageLength) + 2; ++i)
        page[i] = uint8_t(0xA0 + i);
    return reply;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class DriveTest : public ::testing::Test {
protected:
    void SetUp() override {
        device_ = std::make_unique<TSCSIDevice>();
        device_->System = &system_;
        drive_.On(0x12, Good(InquiryData("TESSOR", "FAKE WRITER", "1.00")));
        drive_.On(0x5A, [this](const TReceived& r) {
            if ((r.Cdb[2] & 0x3F) == 0x2A)
                return Good(capabilities_);
            if ((r.Cdb[2] & 0x3F) == 0x05)
                return Good(writeParameters_);
            return Check(5, 0x24, 0);
        });
        drive_.On(0x00, Good());
    }

    // The record goes first: it closes its handle through the fake system.
    void TearDown() override { device_.reset(); }

    // One optical drive D at 1:0:0 through the system transport, selected.
    void UseSystemDrive() {
        TFakeLetter letter;
        letter.Type = DRIVE_CDROM;
        letter.Address = Address(1, 0, 0);
        letter.Drive = &drive_;
        system_.Letters['D'] = letter;
        ASSERT_TRUE(ScanDevices(*device_, 0, "", logPath_));
        ASSERT_EQ(DeviceCount(*device_), 1);
        ASSERT_TRUE(SelectDevice(*device_, 0));
        drive_.Received.clear();
    }

    // The same drive behind an ASPI library at adapter 1, target 0, LUN 0.
    void UseAspiDrive() {
        aspi_.AdapterCount = 2;
        aspi_.Drives[{1, 0, 0}] = &drive_;
        device_->AspiOverride = aspi_.EntryPoints();
        ASSERT_TRUE(ScanDevices(*device_, 1, "", logPath_));
        ASSERT_EQ(DeviceCount(*device_), 1);
        ASSERT_TRUE(SelectDevice(*device_, 0));
        drive_.Received.clear();
    }

    // Commands sent since the last clear.
    const std::vector<TReceived>& Sent() const { return drive_.Received; }

    std::unique_ptr<TSCSIDevice> device_;
    TFakeSystem system_;
    TFakeAspi aspi_;
    TFakeDrive drive_;
    std::vector<uint8_t> capabilities_ = CapabilitiesReply(0x37, true);
    std::vector<uint8_t> writeParameters_ = WriteParametersReply();
    std::string logPath_;
};

}  // namespace tessor::drive::test
