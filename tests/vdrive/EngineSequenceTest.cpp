// The engine's own command sequences, replayed against every writable medium:
// write parameters, start address, writing, closing and the final checks, in
// the order the disc writing and erase threads send them. A recorder change
// that breaks the engine's burning shows up here first.
#include "tests/vdrive/VDriveTestSupport.h"

namespace tessor::vdrive::test {
namespace {

constexpr unsigned kDrive = 0;  // the BD writer takes every medium

class EngineSequence : public TVirtualRecorderTest {
protected:
    TMediaKind media_ = TMediaKind::CdR;

    bool Is(std::initializer_list<TMediaKind> kinds) const {
        for (auto k : kinds) {
            if (k == media_)
                return true;
        }
        return false;
    }

    // The write parameters page as the engine builds it for each medium.
    void SetWriteParameters(bool keepOpen) {
        using K = TMediaKind;
        ASSERT_TRUE(EditPage05(kDrive, [&](uint8_t* p) {
                        uint8_t wt = 1, tm = 4, ms = keepOpen ? 3 : 0, fp = 0, link = 0;
                        bool lsv = false;
                        uint32_t packet = 0;
                        if (Is({K::DvdR, K::DvdRw, K::DvdRwRo})) {
                            wt = 0, tm = 5, ms = 3, lsv = true, link = 16, packet = 16;
                            fp = media_ == K::DvdR;
                        } else if (Is({K::DvdPlusRw, K::DvdPlusR})) {
                            wt = 2, lsv = true, link = 16;
                            if (media_ == K::DvdPlusR && keepOpen)
                                fp = 1, packet = 16;
                            if (media_ == K::DvdPlusR && !keepOpen)
                                link = 0;
                        } else if (media_ == K::DvdPlusRDl) {
                            wt = 2, lsv = true;
                        }
                        p[2] = uint8_t(0x40 | (lsv ? 0x20 : 0) | wt);
                        p[3] = uint8_t(ms << 6 | (fp ? 0x20 : 0) | tm);
                        p[4] = 8;
                        p[5] = link;
                        p[10] = p[11] = p[12] = 0;
                        p[13] = uint8_t(packet);
                    }).Good());
    }

    uint32_t IsoVolumeSize() {
        for (uint32_t s = 16; s < 32; ++s) {
            TReply r = Read(kDrive, s, 1);
            if (r.Good() && r.data[0] == 1 && std::memcmp(&r.data[1], "CD001", 5) == 0) {
                return uint32_t(r.data[80]) | uint32_t(r.data[81]) << 8 |
                       uint32_t(r.data[82]) << 16 | uint32_t(r.data[83]) << 24;
            }
        }
        return 0;
    }

    void WaitRdi() { ASSERT_NE(WaitWhileNotReady(kDrive).sense.asc, 0x04); }

    // The erase thread's quick erase.
    void QuickErase() {
        using K = TMediaKind;
        if (media_ == K::DvdPlusRw || media_ == K::BdRe) {
            ASSERT_TRUE(
                Format(kDrive, media_ == K::BdRe ? kBdReQuick() : kDvdPlusRwFormat()).Good());
            WaitRdi();
            for (uint32_t i = 0; i < 16; ++i)
                ASSERT_TRUE(Write(kDrive, 32 * i, 32, 0).Good());
            ASSERT_TRUE(Sync(kDrive).Good());
            ASSERT_TRUE(Close(kDrive, 3, 0).Good());
        } else if (Is({K::CdRw, K::DvdRw, K::DvdRwRo})) {
            ASSERT_TRUE(Blank(kDrive, true).Good());
            WaitRdi();
        }
    }

    // StartWrite and the write thread for a volume of `sectors` sectors whose
    // primary volume descriptor records its size. Returns the start address.
    uint32_t Burn(uint32_t sectors, bool finalize, uint8_t fill) {
        using K = TMediaKind;
        // The window asks for the media type before every write.
        uint16_t profile = BE16(&Profile(kDrive).data[6]);
        if (profile == 0x0013)
            media_ = K::DvdRwRo;
        if (profile == 0x0014)
            media_ = K::DvdRw;
        uint32_t address = 0;
        SetWriteParameters(false);
        TReply di = DiscInfo(kDrive);
        if (media_ == K::DvdRw) {
            if (!Format(kDrive, kDvdRwQuick1000()).Good()) {
                EXPECT_TRUE(Format(kDrive, kDvdRwQuick()).Good());
            }
            WaitRdi();
        } else if (media_ == K::DvdRwRo) {
            EXPECT_TRUE(Format(kDrive, kDvdRwGrow()).Good());
            WaitRdi();
        }
        if (Is({K::DvdRam, K::DvdPlusRw, K::BdRe})) {
            address = IsoVolumeSize();
        } else {
            di = DiscInfo(kDrive);
            TReply ti = TrackInfo(kDrive, di.data[6]);
            EXPECT_TRUE(ti.Good());
            address = BE32(&ti.data[12]);
            if (address == 1000)
                address = 0;
        }
        // The write thread.
        EXPECT_TRUE(Sync(kDrive).Good());
        EXPECT_TRUE(None(kDrive, {0x01, 0, 0, 0, 0, 0}).Good());
        SetWriteParameters(false);
        SetWriteParameters(media_ == K::DvdPlusR ? !finalize : false);
        EXPECT_TRUE(None(kDrive, {0xBB, 1, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0}).Good());
        if (!Is({K::CdR, K::CdRw, K::DvdRam})) {
            std::vector<uint8_t> perf(28, 0);
            perf[15] = perf[23] = 100;
            perf[18] = perf[26] = 0x03;
            perf[19] = perf[27] = 0xE8;
            EXPECT_TRUE(Out(kDrive, {0xB6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 28, 0}, perf).Good());
        }
        di = DiscInfo(kDrive);
        uint8_t s = static_cast<uint8_t>(di.data[4] - ((di.data[2] & 0x0C) == 0 ? 1 : 0));
        if (media_ == K::DvdR) {
            std::vector<uint8_t> stamp(22, 0);
            stamp[1] = 20;
            EXPECT_TRUE(Out(kDrive, {0xBF, 0, 0, 0, 0, 0, 0, 0x0F, 0, 22, 0, 0}, stamp).Good());
            EXPECT_TRUE(Reserve(kDrive, sectors).Good());
        }
        std::vector<uint8_t> volume(size_t(sectors) * 2048, fill);
        uint8_t* pvd = volume.data() + 16 * 2048;
        pvd[0] = 1;
        std::memcpy(pvd + 1, "CD001", 5);
        for (int i = 0; i < 4; ++i)
            pvd[80 + i] = uint8_t((address + sectors) >> (8 * i));
        auto block = [&](uint32_t lba, uint32_t first, uint32_t n) {
            std::vector<uint8_t> data(volume.begin() + first * 2048,
                                      volume.begin() + (first + n) * 2048);
            return Out(kDrive,
                       {0x2A, 0, uint8_t(lba >> 24), uint8_t(lba >> 16), uint8_t(lba >> 8),
                        uint8_t(lba), 0, 0, uint8_t(n), 0},
                       std::move(data));
        };
        if (Is({K::DvdRam, K::DvdRwRo, K::DvdRw, K::DvdPlusRw}) && address != 0) {
            EXPECT_TRUE(Sync(kDrive).Good());
            EXPECT_TRUE(block(0, 0, 32).Good());
            EXPECT_TRUE(Sync(kDrive).Good());
        }
        for (uint32_t done = 0, n = 0; done < sectors; done += n) {
            n = std::min<uint32_t>(32, sectors - done);
            TReply w = block(address + done, done, n);
            EXPECT_TRUE(w.Good()) << "write at " << address + done << " sense " << int(w.sense.key)
                                  << "/" << int(w.sense.asc) << "/" << int(w.sense.ascq);
            if (!w.Good())
                break;
        }
        // The end sequence.
        if (media_ == K::DvdR) {
            Sync(kDrive);
            EXPECT_TRUE(Close(kDrive, 1, s + 1).Good());
            EXPECT_TRUE(Close(kDrive, 1, s + 2).Good());
            EXPECT_TRUE(Close(kDrive, 2, s + 3).Good());
        } else if (media_ == K::DvdPlusR) {
            Sync(kDrive);
            EXPECT_TRUE(Close(kDrive, 1, s + 1).Good());
            EXPECT_TRUE(Close(kDrive, 2, 255).Good());
        } else if (media_ == K::DvdPlusRDl) {
            Sync(kDrive);
            EXPECT_TRUE(Close(kDrive, 1, s + 1).Good());
            EXPECT_TRUE(Close(kDrive, finalize ? 6 : 2, 0).Good());
        } else if (media_ == K::DvdPlusRw) {
            Sync(kDrive);
            EXPECT_TRUE(Close(kDrive, 3, 255).Good());
        } else if (Is({K::DvdRw, K::DvdRwRo})) {
            Sync(kDrive);
            EXPECT_TRUE(Close(kDrive, 1, 1).Good());
            EXPECT_TRUE(Close(kDrive, 2, 0, true).Good());
            WaitRdi();
        } else if (Is({K::CdR, K::CdRw})) {
            EXPECT_TRUE(Sync(kDrive, true).Good());
            WaitRdi();
            EXPECT_TRUE(Tur(kDrive).Good());
            SetWriteParameters(!finalize);
            EXPECT_TRUE(Close(kDrive, 2, 0, true).Good());
        } else {
            EXPECT_TRUE(Sync(kDrive, true).Good());
            if (media_ != K::DvdRam)
                WaitRdi();
            if (!Close(kDrive, 1, 0).Good()) {
                Close(kDrive, 1, 0, true);
            }
            SetWriteParameters(!finalize);
            if (!Close(kDrive, 2, 0, true).Good()) {
                EXPECT_TRUE(Close(kDrive, 2, 0).Good());
            }
        }
        if (media_ != K::DvdRam)
            WaitRdi();
        EXPECT_TRUE(None(kDrive, {0x1E, 0, 0, 0, 0, 0}).Good());
        EXPECT_TRUE(None(kDrive, {0x1B, 0, 0, 0, 3, 0}).Good());
        EXPECT_TRUE(Tur(kDrive).Good());
        return address;
    }

    void Check(uint32_t address, uint32_t sectors, uint8_t fill) {
        TReply r = Read(kDrive, address + sectors - 1, 1);
        ASSERT_TRUE(r.Good());
        EXPECT_EQ(r.data[0], fill);
        std::vector<uint8_t> raw;
        std::string error;
        ASSERT_TRUE(host_->ReadSectors(kDrive, address + 16, 1, raw, error));
        EXPECT_EQ(std::memcmp(&raw[1], "CD001", 5), 0);
    }
};

class EveryMedium : public EngineSequence, public ::testing::WithParamInterface<TMediaKind> {};

TEST_P(EveryMedium, TwoBurnsThenTheDiscSaysWhatHappened) {
    media_ = GetParam();
    Insert(kDrive, media_);
    using K = TMediaKind;
    if (Is({K::DvdPlusRw, K::BdRe}))
        QuickErase();
    // More than the 1000 blocks of the DVD-RW quick format, so that the
    // second session does not start at the engine's "1000 means 0".
    uint32_t first = Burn(1200, false, 0x61);
    if (HasFatalFailure() || HasFailure())
        return;
    EXPECT_EQ(first, 0u);
    Check(first, 1200, 0x61);

    uint32_t second = Burn(300, false, 0x62);
    Check(second, 300, 0x62);
    if (Is({K::DvdRam, K::DvdPlusRw, K::BdRe, K::DvdRwRo, K::DvdRw})) {
        EXPECT_EQ(second, 1200u);  // behind the volume already there
    } else {
        EXPECT_GT(second, 1200u);  // a new session behind a gap
        TReply di = DiscInfo(kDrive);
        EXPECT_EQ(di.data[2] & 0x03, 0x01);
        EXPECT_EQ(di.data[4], 3);  // two sessions and the empty one
    }
    std::string path = dir_ + "/disc.img";
    std::string error;
    ASSERT_TRUE(host_->ExportImage(kDrive, path, error)) << error;
    EXPECT_EQ(std::filesystem::file_size(path), (size_t(second) + 300) * 2048);
}

INSTANTIATE_TEST_SUITE_P(Media, EveryMedium,
                         ::testing::Values(TMediaKind::CdR, TMediaKind::CdRw, TMediaKind::DvdR,
                                           TMediaKind::DvdRw, TMediaKind::DvdPlusR,
                                           TMediaKind::DvdPlusRDl, TMediaKind::DvdPlusRw,
                                           TMediaKind::DvdRam, TMediaKind::BdR, TMediaKind::BdRe),
                         [](const auto& info) {
                             std::string name = MediaInfo(info.param).name;
                             std::string out;
                             for (char c : name) {
                                 out += c == '+'   ? std::string("plus")
                                        : c == '-' ? std::string("_")
                                                   : std::string(1, c);
                             }
                             return out;
                         });

TEST_F(EngineSequence, FinalizedWritesCloseTheDisc) {
    for (TMediaKind kind :
         {TMediaKind::CdR, TMediaKind::DvdPlusR, TMediaKind::DvdPlusRDl, TMediaKind::BdR}) {
        media_ = kind;
        Insert(kDrive, kind);
        Burn(64, true, 0x70);
        EXPECT_EQ(DiscInfo(kDrive).data[2] & 0x03, 0x02) << MediaInfo(kind).name;
    }
    // The engine's DVD-R page always asks for more sessions.
    media_ = TMediaKind::DvdR;
    Insert(kDrive, media_);
    Burn(64, true, 0x70);
    EXPECT_EQ(DiscInfo(kDrive).data[2] & 0x03, 0x01);
}

}  // namespace
}  // namespace tessor::vdrive::test
