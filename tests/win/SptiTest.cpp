// The SCSI pass-through packing: what goes to IOCTL_SCSI_PASS_THROUGH_DIRECT
// and how the driver's reply comes back. Replies are written as a Windows
// port driver returns them (recorded from the documented behaviour: lowered
// DataTransferLength, SenseInfoLength = sense bytes written).
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/drive/win/Spti.h"

namespace tessor::drive {
namespace {

TEST(Spti, RequestCarriesCdbDirectionDataAndSenseBuffer) {
    struct TCase {
        TDataDirection direction;
        uint32_t length;
        UCHAR dataIn;
    };
    const TCase cases[] = {
        {TDataDirection::In, 2048, SCSI_IOCTL_DATA_IN},
        {TDataDirection::Out, 65536, SCSI_IOCTL_DATA_OUT},
        {TDataDirection::None, 0, SCSI_IOCTL_DATA_UNSPECIFIED},
    };
    static uint8_t data[65536];
    for (const TCase& c : cases) {
        TPassThroughBlock block;
        block.Cdb[0] = 0x2A;
        block.Cdb[9] = 0x77;
        block.CdbLength = 10;
        block.Direction = c.direction;
        block.DataBuffer = c.length ? data : nullptr;
        block.DataTransferLength = c.length;
        block.TimeOutSeconds = 60;
        win::TSptdWithSense request;
        std::memset(&request, 0xCC, sizeof request);
        win::PackPassThrough(block, request);
        const SCSI_PASS_THROUGH_DIRECT& s = request.Sptd;
        EXPECT_EQ(s.Length, sizeof(SCSI_PASS_THROUGH_DIRECT));
        EXPECT_EQ(s.CdbLength, 10);
        EXPECT_EQ(s.Cdb[0], 0x2A);
        EXPECT_EQ(s.Cdb[9], 0x77);
        EXPECT_EQ(s.Cdb[10], 0) << "bytes past the CDB are cleared";
        EXPECT_EQ(s.DataIn, c.dataIn);
        EXPECT_EQ(s.DataTransferLength, c.length);
        EXPECT_EQ(s.DataBuffer, c.length ? data : nullptr);
        EXPECT_EQ(s.TimeOutValue, 60u);
        EXPECT_EQ(s.SenseInfoLength, sizeof request.Sense);
        // The sense buffer lies behind the block, inside the buffer passed in.
        EXPECT_EQ(s.SenseInfoOffset, offsetof(win::TSptdWithSense, Sense));
        EXPECT_LE(s.SenseInfoOffset + s.SenseInfoLength, sizeof request);
    }
}

TEST(Spti, CdbLongerThanTheBlockIsCut) {
    TPassThroughBlock block;
    block.CdbLength = 200;
    win::TSptdWithSense request;
    win::PackPassThrough(block, request);
    EXPECT_EQ(request.Sptd.CdbLength, 16);
}

TEST(Spti, ReplyGivesStatusResidualAndSense) {
    struct TCase {
        const char* what;
        uint32_t asked;
        ULONG moved;
        UCHAR status;
        UCHAR senseLength;
        int32_t residual;
        uint8_t senseCopied;
    };
    const TCase cases[] = {
        {"all moved, good", 2048, 2048, 0x00, 0, 0, 0},
        {"short read", 2048, 512, 0x00, 0, 1536, 0},
        {"check condition with fixed sense", 2048, 0, 0x02, 18, 2048, 18},
        {"a driver claiming more sense than the buffer", 0, 0, 0x02, 255, 0, 32},
        {"busy", 0, 0, 0x08, 0, 0, 0},
    };
    static uint8_t data[2048];
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        TPassThroughBlock block;
        block.Direction = TDataDirection::In;
        block.DataBuffer = c.asked ? data : nullptr;
        block.DataTransferLength = c.asked;
        win::TSptdWithSense reply;
        win::PackPassThrough(block, reply);
        // The reply as the driver leaves it.
        reply.Sptd.ScsiStatus = c.status;
        reply.Sptd.DataTransferLength = c.moved;
        reply.Sptd.SenseInfoLength = c.senseLength;
        const uint8_t sense[18] = {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x24, 0x00};
        std::memset(reply.Sense, 0xEE, sizeof reply.Sense);
        std::memcpy(reply.Sense, sense, sizeof sense);
        win::UnpackPassThrough(reply, block);
        EXPECT_EQ(block.ScsiStatus, c.status);
        EXPECT_EQ(block.Residual, c.residual);
        EXPECT_EQ(block.SenseLength, c.senseCopied);
        EXPECT_EQ(block.HostStatus, 0);
        EXPECT_EQ(block.DriverStatus, 0);
        if (c.senseCopied >= 18) {
            EXPECT_EQ(block.Sense[2] & 0x0F, 0x05);
            EXPECT_EQ(block.Sense[12], 0x24);
        }
        if (c.senseCopied < sizeof block.Sense) {
            EXPECT_EQ(block.Sense[c.senseCopied], 0) << "nothing past the sense written";
        }
    }
}

// The adapter's limits (IOCTL_SCSI_GET_CAPABILITIES): a buffer off the
// alignment goes through an aligned copy both ways, one that meets it is
// used in place, and a transfer past the maximum is not sent at all.
TEST(Spti, AdapterLimitsAreHonouredWhenPacking) {
    struct TCase {
        const char* what;
        TDataDirection direction;
        size_t offset;  // of the data in an 8-aligned buffer
        uint32_t length;
        win::TAdapterLimits limits;
        bool sent;
        bool inPlace;
    };
    const TCase cases[] = {
        {"no limits known", TDataDirection::Out, 1, 4096, {0, 0}, true, true},
        {"aligned as asked", TDataDirection::In, 8, 4096, {65536, 7}, true, true},
        {"write off the alignment", TDataDirection::Out, 2, 4096, {65536, 3}, true, false},
        {"read off the alignment", TDataDirection::In, 1, 4096, {65536, 1}, true, false},
        {"at the maximum", TDataDirection::Out, 0, 65536, {65536, 0}, true, true},
        {"past the maximum", TDataDirection::Out, 0, 65538, {65536, 0}, false, false},
    };
    alignas(8) static uint8_t data[65536 + 16];
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        for (size_t i = 0; i < sizeof data; ++i)
            data[i] = uint8_t(i * 7);
        TPassThroughBlock block;
        block.Direction = c.direction;
        block.DataBuffer = data + c.offset;
        block.DataTransferLength = c.length;
        win::TSptdWithSense request;
        std::vector<uint8_t> bounce;
        ASSERT_EQ(win::PackPassThrough(block, request, c.limits, &bounce), c.sent);
        if (!c.sent)
            continue;
        const SCSI_PASS_THROUGH_DIRECT& s = request.Sptd;
        EXPECT_EQ(s.DataBuffer == block.DataBuffer, c.inPlace);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(s.DataBuffer) & c.limits.AlignmentMask, 0u);
        EXPECT_EQ(s.DataTransferLength, c.length);
        auto* sent = static_cast<uint8_t*>(s.DataBuffer);
        if (c.direction == TDataDirection::Out) {
            EXPECT_EQ(std::memcmp(sent, block.DataBuffer, c.length), 0) << "the data to write";
            continue;
        }
        // The driver reads 1000 bytes into what it was given.
        std::memset(sent, 0xAB, 1000);
        request.Sptd.DataTransferLength = 1000;
        win::UnpackPassThrough(request, block);
        EXPECT_EQ(block.Residual, int32_t(c.length - 1000));
        EXPECT_EQ(block.DataBuffer[999], 0xAB);
        EXPECT_EQ(block.DataBuffer[1000], uint8_t((c.offset + 1000) * 7)) << "past what was read";
    }
}

}  // namespace
}  // namespace tessor::drive
