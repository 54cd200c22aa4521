// Every query against a drive that answers with random short, oversized and
// garbage replies: nothing may read or write outside its buffers (the suite
// runs under AddressSanitizer too), and the results keep their invariants.
#include <chrono>
#include <cstdlib>
#include <random>

#include "engine/drive/Capacity.h"
#include "engine/drive/Consts.h"
#include "engine/drive/Queries.h"
#include "engine/drive/WriteControl.h"
#include "tests/drive/DriveFixture.h"

namespace tessor::drive::test {
namespace {

class TGarbage {
public:
    explicit TGarbage(uint32_t seed) : random_(seed) {}

    uint32_t Below(uint32_t n) { return n ? uint32_t(random_() % n) : 0; }
    uint8_t Byte() { return uint8_t(random_()); }

    // A reply of a random kind for a command with this allocation length.
    TReply Reply(const TReceived& received) {
        const uint32_t kind = Below(10);
        if (kind == 0)
            return Check(uint8_t(Below(16)), Byte(), Byte());
        if (kind == 1)
            return Busy();
        if (kind == 2) {
            TReply reply = Check(Byte(), Byte(), Byte());
            reply.ResponseCode = Below(2) ? 0x72 : 0xF0;
            return reply;
        }
        // Data: empty, short, exact or far too long, random or shaped.
        const uint32_t length = received.Length;
        uint32_t size = 0;
        switch (Below(4)) {
            case 0:
                size = Below(8);
                break;
            case 1:
                size = Below(length + 1);
                break;
            case 2:
                size = length;
                break;
            default:
                size = length + Below(4096);
                break;
        }
        std::vector<uint8_t> data(size);
        for (auto& b : data)
            b = Below(3) ? Byte() : uint8_t(Below(2) ? 0xFF : 0x00);
        // Page codes and lengths where the engine looks for them.
        if (!received.Cdb.empty() && received.Cdb[0] == 0x5A && data.size() > 18) {
            const size_t at = Below(2) ? 8 : 16;
            data[at] = uint8_t(received.Cdb[2] & 0x3F) | (Below(2) ? 0x80 : 0);
            data[at + 1] = Byte();
        }
        if (!received.Cdb.empty() && received.Cdb[0] == 0x28 && data.size() > 6 && Below(2)) {
            data[0] = uint8_t(Below(3));
            std::memcpy(data.data() + 1, "CD001", 5);
        }
        return Good(std::move(data));
    }

private:
    std::mt19937 random_;
};

uint32_t Seed() {
    const char* text = std::getenv("TESSOR_FUZZ_SEED");
    return text ? uint32_t(std::strtoul(text, nullptr, 0)) : 20261209u;
}

class ReplyFuzzTest : public DriveTest {};

TEST_F(ReplyFuzzTest, EveryQuerySurvivesGarbageReplies) {
    const uint32_t seed = Seed();
    TGarbage garbage(seed);
    SCOPED_TRACE("TESSOR_FUZZ_SEED=" + std::to_string(seed));

    // The drive answers everything, from the first command of the scan on.
    uint16_t lastAsc = 0;
    bool anyAsc = false;
    auto fuzz = [&](const TReceived& received) {
        TReply reply = garbage.Reply(received);
        if (reply.Status == STATUS_CHKCOND && reply.Sense.Asc != 0) {
            lastAsc = SenseCode(reply.Sense.Asc, reply.Sense.Ascq);
            anyAsc = true;
        }
        return reply;
    };
    for (int op = 0; op < 256; ++op)
        drive_.On(uint8_t(op), fuzz);
    TFakeLetter letter;
    letter.Type = DRIVE_CDROM;
    letter.Drive = &drive_;
    system_.Letters['E'] = letter;
    system_.Letters['F'] = letter;
    system_.Letters['F'].Address = Address(3, 1, 0);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    int rounds = 0;
    while (std::chrono::steady_clock::now() < deadline && rounds < 4000) {
        ++rounds;
        if (rounds % 50 == 1) {
            ASSERT_TRUE(ScanDevices(*device_, 0, "", ""));
            ASSERT_EQ(DeviceCount(*device_), 2);
            for (uint8_t i = 0; i < 2; ++i) {
                const std::string name = DeviceName(*device_, i);
                ASSERT_LT(name.size(), DEVICE_NAME_SIZE);
                ASSERT_EQ(name.find('\0'), std::string::npos);
                for (char c : name)
                    ASSERT_GE(uint8_t(c), 0x20) << name;
            }
            SelectDevice(*device_, uint8_t(garbage.Below(2)));
            anyAsc = false;
        }
        // Exact-size heap buffers: AddressSanitizer sees any overrun.
        std::vector<uint8_t> buffer(garbage.Below(300));
        const uint16_t length = uint16_t(garbage.Below(320));
        switch (garbage.Below(24)) {
            case 0:
                DeviceReady(*device_);
                break;
            case 1:
                Inquiry(*device_, buffer);
                break;
            case 2:
                ModeSense10(*device_, buffer, length, garbage.Byte(), garbage.Below(2));
                break;
            case 3:
                GetConfiguration(*device_, buffer, length, 0);
                break;
            case 4:
                ReadTocPmaAtip(*device_, 4, 0, true, buffer, uint8_t(length));
                break;
            case 5:
                ReadDiscInformation(*device_, buffer, length);
                break;
            case 6:
                ReadTrackInformation(*device_, garbage.Byte());
                break;
            case 7:
                ReadBufferCapacity(*device_);
                ASSERT_EQ(DeviceBufferUsed(*device_),
                          int32_t(DeviceBufferSize(*device_) - device_->BufferBlank));
                break;
            case 8: {
                const uint8_t media = GetMediaType(*device_);
                ASSERT_LE(media, MT_DDCD_RW);
                ASSERT_NE(media, MT_RESERVED_7);
                break;
            }
            case 9:
                ReadCapabilities(*device_);
                break;
            case 10:
                MaxWriteSpeed(*device_);
                break;
            case 11:
                DiscErasable(*device_);
                break;
            case 12:
                SessionCount(*device_);
                break;
            case 13:
                LastTrackNumber(*device_);
                break;
            case 14:
                SetWriteParameters(*device_, garbage.Below(2), garbage.Below(2), garbage.Below(2),
                                   uint8_t(garbage.Below(23)));
                break;
            case 15:
                ReadFormatCapacity(*device_);
                break;
            case 16:
                IsoVolumeSize(*device_);
                break;
            case 17:
                DiscWritable(*device_);
                break;
            case 18:
                DiscFreeSectors(*device_);
                break;
            case 19:
                DiscCapacitySectors(*device_);
                break;
            case 20:
                Read10(*device_, garbage.Byte(), uint16_t(garbage.Below(3)), buffer);
                break;
            case 21:
                SendTimeStamp(*device_);
                break;
            case 22:
                SetPerformance(*device_, 1, 2, 3, 4, 5);
                break;
            default:
                SetSpeeds(*device_, uint16_t(garbage.Below(9000)), 0);
                break;
        }
        // The last non-zero ASC/ASCQ since the scan, whatever came between.
        if (anyAsc) {
            ASSERT_EQ(device_->LastSenseCode, lastAsc);
        }
    }
    EXPECT_GT(rounds, 100);
}

}  // namespace
}  // namespace tessor::drive::test
