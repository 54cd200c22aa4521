// Helpers for the virtual recorder suites: a host on a fresh state directory
// and raw CDBs sent through the ASPI entry points, as the engine sends them.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "engine/drive/WNASPI32.h"
#include "tests/support/SupportSystem.h"
#include "tests/support/TestFiles.h"
#include "vdrive/VDrive.h"

namespace tessor::vdrive::test {

inline uint32_t BE32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
inline uint16_t BE16(const uint8_t* p) {
    return uint16_t(p[0] << 8 | p[1]);
}

struct TReply {
    uint8_t srbStatus = 0;
    uint8_t targetStatus = 0;
    TSense sense;
    std::vector<uint8_t> data;

    bool Good() const { return srbStatus == SS_COMP && targetStatus == 0; }
};

inline std::string MakeTempDir() {
    std::string made = testsupport::MakeTempFolder("tessor-vdrive");
    EXPECT_FALSE(made.empty());
    return made;
}

class TVirtualRecorderTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = MakeTempDir();
        Start();
    }
    void TearDown() override {
        host_.reset();
        // A library still loaded may hold a lock file open, which Windows
        // does not let go: that folder stays behind.
        std::error_code ec;
        std::filesystem::remove_all(testsupport::Utf8Path(dir_), ec);
    }

    // Drive timings kept in drive milliseconds; the scale turns them into
    // a few milliseconds of real time.
    virtual std::vector<TDriveConfig> Drives() { return {}; }
    virtual double Scale() { return 0.001; }

    void Start() {
        THostOptions options;
        options.stateDir = dir_;
        options.drives = Drives();
        options.timeScale = Scale();
        std::string error;
        host_ = TRecorderHost::Create(options, error);
        ASSERT_NE(host_, nullptr) << error;
        entry_ = host_->EntryPoints();
    }

    void Insert(unsigned drive, TMediaKind media, const std::string& image = "") {
        std::string error;
        ASSERT_TRUE(host_->InsertMedia(drive, media, image, error)) << error;
    }

    TReply Send(unsigned target, std::initializer_list<uint8_t> cdb, uint8_t flags = 0,
                std::vector<uint8_t> data = {}, uint32_t length = 0, uint8_t lun = 0) {
        SRB_ExecSCSICmd srb{};
        srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
        srb.SRB_HaId = 0;
        srb.SRB_Flags = flags;
        srb.SRB_Target = static_cast<uint8_t>(target);
        srb.SRB_Lun = lun;
        if (flags & SRB_DIR_IN)
            data.assign(length, 0xEE);
        srb.SRB_BufLen = static_cast<uint32_t>(data.size());
        srb.SRB_BufPointer = data.empty() ? nullptr : data.data();
        srb.SRB_SenseLen = SENSE_LEN;
        srb.SRB_CDBLen = static_cast<uint8_t>(cdb.size() <= 6 ? 6 : cdb.size() <= 10 ? 10 : 12);
        std::copy(cdb.begin(), cdb.end(), srb.CDBByte);
        uint32_t result = entry_.sendCommand(&srb);
        EXPECT_EQ(result & 0xFF, srb.SRB_Status);
        TReply reply;
        reply.srbStatus = srb.SRB_Status;
        reply.targetStatus = srb.SRB_TargStat;
        reply.sense = {static_cast<uint8_t>(srb.SenseArea[2] & 0x0F), srb.SenseArea[12],
                       srb.SenseArea[13]};
        reply.data = std::move(data);
        return reply;
    }

    TReply In(unsigned t, std::initializer_list<uint8_t> cdb, uint32_t length) {
        return Send(t, cdb, SRB_DIR_IN, {}, length);
    }
    TReply Out(unsigned t, std::initializer_list<uint8_t> cdb, std::vector<uint8_t> data) {
        return Send(t, cdb, SRB_DIR_OUT, std::move(data));
    }
    TReply None(unsigned t, std::initializer_list<uint8_t> cdb) { return Send(t, cdb); }

    // ---- MMC commands as the engine builds them ----
    TReply Tur(unsigned t) { return None(t, {0x00, 0, 0, 0, 0, 0}); }
    TReply DiscInfo(unsigned t) { return In(t, {0x51, 0, 0, 0, 0, 0, 0, 0, 64, 0}, 64); }
    TReply TrackInfo(unsigned t, uint8_t track) {
        return In(t, {0x52, 0x01, 0, 0, 0, track, 0, 0, 0x26, 0}, 0x26);
    }
    TReply Profile(unsigned t) { return In(t, {0x46, 0x02, 0, 0, 0, 0, 0, 0, 114, 0}, 114); }
    TReply Write(unsigned t, uint32_t lba, uint16_t blocks, uint8_t fill = 0x5A) {
        std::vector<uint8_t> data(size_t(blocks) * 2048, fill);
        return Out(t,
                   {0x2A, 0, uint8_t(lba >> 24), uint8_t(lba >> 16), uint8_t(lba >> 8),
                    uint8_t(lba), 0, uint8_t(blocks >> 8), uint8_t(blocks), 0},
                   std::move(data));
    }
    TReply Read(unsigned t, uint32_t lba, uint16_t blocks) {
        return In(t,
                  {0x28, 0, uint8_t(lba >> 24), uint8_t(lba >> 16), uint8_t(lba >> 8), uint8_t(lba),
                   0, uint8_t(blocks >> 8), uint8_t(blocks), 0},
                  uint32_t(blocks) * 2048);
    }
    TReply Close(unsigned t, uint8_t function, uint8_t number, bool immediate = false) {
        return None(t, {0x5B, uint8_t(immediate ? 1 : 0), function, 0, 0, number, 0, 0, 0, 0});
    }
    TReply Sync(unsigned t, bool immediate = false) {
        return None(t, {0x35, uint8_t(immediate ? 2 : 0), 0, 0, 0, 0, 0, 0, 0, 0});
    }
    TReply Format(unsigned t, std::vector<uint8_t> list) {
        return Out(t, {0x04, 0x11, 0, 0, 0, 0}, std::move(list));
    }
    TReply Blank(unsigned t, bool quick) {
        return None(t, {0xA1, uint8_t(quick ? 0x11 : 0x10), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    }
    TReply Reserve(unsigned t, uint32_t blocks) {
        return None(t, {0x53, 0, 0, 0, 0, uint8_t(blocks >> 24), uint8_t(blocks >> 16),
                        uint8_t(blocks >> 8), uint8_t(blocks), 0});
    }
    TReply ModeSense(unsigned t, uint8_t page, uint16_t length = 128) {
        return In(t, {0x5A, 0, page, 0, 0, 0, 0, uint8_t(length >> 8), uint8_t(length), 0}, length);
    }
    // Page 05h as the engine sends it back: the drive's reply with the page
    // fields changed, MODE SELECT of page length + header.
    TReply SetWriteParameters(unsigned t, uint8_t writeType, uint8_t multiSession,
                              uint8_t trackMode = 4, bool dvdMinus = false) {
        TReply sense = ModeSense(t, 0x05, 512);
        if (!sense.Good())
            return sense;
        size_t h = sense.data[8] == 0x05 ? 8 : 16;
        std::vector<uint8_t> d(sense.data.begin(), sense.data.begin() + h + 2 + sense.data[h + 1]);
        uint8_t* p = d.data() + h;
        p[2] = uint8_t((p[2] & 0xC0) | writeType | (dvdMinus ? 0x20 : 0));
        p[3] = uint8_t(multiSession << 6 | trackMode);
        if (dvdMinus) {
            p[5] = 16;
            p[13] = 16;
        }
        uint16_t len = uint16_t(d.size());
        return Out(t, {0x55, 0x10, 0, 0, 0, 0, 0, uint8_t(len >> 8), uint8_t(len), 0},
                   std::move(d));
    }

    // The engine's way: read page 05h, change fields, send it back.
    TReply EditPage05(unsigned t, const std::function<void(uint8_t*)>& edit) {
        TReply sense = ModeSense(t, 0x05, 512);
        if (!sense.Good())
            return sense;
        size_t h = sense.data[8] == 0x05 ? 8 : 16;
        std::vector<uint8_t> d(sense.data.begin(), sense.data.begin() + h + 2 + sense.data[h + 1]);
        edit(d.data() + h);
        uint16_t len = uint16_t(d.size());
        return Out(t, {0x55, 0x10, 0, 0, 0, 0, 0, uint8_t(len >> 8), uint8_t(len), 0},
                   std::move(d));
    }

    // Polls a command while it reports ASC 04h, like the engine's wait loops.
    TReply WaitWhileNotReady(unsigned t) {
        TReply r;
        for (int i = 0; i < 2000; ++i) {
            r = DiscInfo(t);
            if (r.sense.asc != 0x04)
                break;
            usleep(1000);
        }
        return r;
    }

    std::string dir_;
    std::unique_ptr<TRecorderHost> host_;
    TAspiEntryPoints entry_;
};

inline std::vector<uint8_t> List(std::initializer_list<uint8_t> bytes) {
    return bytes;
}

// The FORMAT UNIT parameter lists the engine sends.
inline std::vector<uint8_t> kDvdRamFull() {
    return List({0, 0x82, 0, 8, 0x00, 0x22, 0x21, 0x20, 0, 0, 0x08, 0});
}
inline std::vector<uint8_t> kDvdPlusRwFormat() {
    return List({0, 0x82, 0, 8, 0x00, 0x23, 0x05, 0x40, 0x98, 0, 0, 0});
}
inline std::vector<uint8_t> kBdReQuick() {
    return List({0, 0x82, 0, 8, 0, 0, 0x02, 0x80, 0xC0, 0, 0x10, 0});
}
inline std::vector<uint8_t> kDvdRwQuick1000() {
    return List({0, 0xA2, 0, 8, 0, 0, 0x03, 0xE8, 0x54, 0, 0, 0x10});
}
inline std::vector<uint8_t> kDvdRwQuick() {
    return List({0, 0x82, 0, 8, 0, 0, 0, 0, 0x54, 0, 0, 0x10});
}
inline std::vector<uint8_t> kDvdRwGrow() {
    return List({0, 0x82, 0, 8, 0, 0, 0, 0, 0x4C, 0, 0, 0x10});
}

constexpr TSense kGood{};

}  // namespace tessor::vdrive::test
