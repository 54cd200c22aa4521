// What an operating system asks a drive beside the burning commands: the
// 6-byte MODE SENSE, the vital product data pages and the media events. The
// Linux sr driver, for one, probes the capabilities page with MODE SENSE (6)
// only and learns of a changed disc from GET EVENT STATUS NOTIFICATION.
#include <algorithm>
#include <cstring>
#include <string>

#include "engine/platform/ByteOrder.h"
#include "vdrive/Device.h"
#include "vdrive/DeviceContext.h"
#include "vdrive/Mmc.h"

namespace tessor::vdrive {

using namespace platform::byte_order;

namespace {

constexpr uint8_t kMediaClass = 4;  // notification class of media events

void PadCopy(uint8_t* dst, const std::string& text, size_t width) {
    std::memset(dst, ' ', width);
    std::memcpy(dst, text.data(), std::min(width, text.size()));
}

}  // namespace

void TDevice::ModeSense6(TContext& c) {
    // The pages are those of MODE SENSE (10); only the header differs
    // (SPC-3 7.4.3): a one-byte mode data length, the medium type, the
    // device-specific byte and a one-byte block descriptor length.
    const uint8_t cdb10[10] = {op::kModeSense10,
                               static_cast<uint8_t>(c.cdb[1] & 0x08),
                               c.cdb[2],
                               0,
                               0,
                               0,
                               0,
                               0x01,
                               0x00,
                               0};
    uint8_t reply10[256] = {};
    const TCommand inner{cdb10, sizeof cdb10, reply10, sizeof reply10, TDirection::In};
    TContext sub{inner, cdb10, c.nowUs, {}};
    ModeSense10(sub);
    if (sub.Failed()) {
        c.result = sub.result;
        return;
    }
    const size_t total10 = std::min<size_t>(GetBE16(reply10) + 2u, sizeof reply10);
    const size_t total6 = total10 - 4;
    uint8_t reply[256] = {};
    reply[0] = static_cast<uint8_t>(total6 - 1);
    reply[1] = reply10[2];
    reply[2] = reply10[3];
    reply[3] = reply10[7];
    std::memcpy(reply + 4, reply10 + 8, total10 - 8);
    Reply(c, reply, total6, c.cdb[4]);
}

void TDevice::InquiryVpd(TContext& c) {
    const uint8_t page = c.cdb[2];
    const std::string serial = "VDRIVE" + std::to_string(index_);
    uint8_t r[64] = {};
    r[0] = 0x05;  // peripheral device type of a CD/DVD device
    r[1] = page;
    size_t len = 4;
    switch (page) {
        case 0x00:  // supported pages, ascending
            for (uint8_t p : {0x00, 0x80, 0x83})
                r[len++] = p;
            break;
        case 0x80:  // unit serial number
            std::memcpy(r + len, serial.data(), serial.size());
            len += serial.size();
            break;
        case 0x83: {
            // One designator (SPC-3 7.6.3): ASCII, T10 vendor identification of
            // the logical unit, made of vendor, product and serial number.
            uint8_t* d = r + len;
            d[0] = 0x02;  // code set: ASCII
            d[1] = 0x01;  // association: logical unit; type: T10 vendor ID
            PadCopy(d + 4, config_.vendor, 8);
            PadCopy(d + 12, config_.product, 16);
            std::memcpy(d + 28, serial.data(), serial.size());
            d[3] = static_cast<uint8_t>(24 + serial.size());
            len += 4 + d[3];
            break;
        }
        default:
            return c.Fail(sense::kInvalidFieldInCdb);
    }
    PutBE16(r + 2, static_cast<uint32_t>(len - 4));
    Reply(c, r, len, GetBE16(c.cdb + 3));
}

void TDevice::GetEventStatusNotification(TContext& c) {
    // Only polling is offered; asynchronous notification is refused as MMC
    // allows a drive to.
    if (!(c.cdb[1] & 0x01))
        return c.Fail(sense::kInvalidFieldInCdb);
    const uint8_t requested = c.cdb[4];
    const uint16_t allocation = GetBE16(c.cdb + 7);
    uint8_t r[8] = {};
    size_t len = 4;
    r[3] = 1 << kMediaClass;  // supported event classes
    if (requested & (1 << kMediaClass)) {
        r[2] = kMediaClass;
        r[4] = static_cast<uint8_t>(state_.mediaEvent);
        r[5] = static_cast<uint8_t>((MediumPresent(c.nowUs) ? 0x02 : 0) |
                                    (state_.trayOpen ? 0x01 : 0));
        len = 8;
        // The event is reported once: to the host that received it whole.
        if (state_.mediaEvent != TMediaEvent::None && allocation >= len) {
            state_.mediaEvent = TMediaEvent::None;
            c.dirty = true;
        }
    } else {
        r[2] = 0x80;  // no event available: none of the requested classes is supported
    }
    PutBE16(r, static_cast<uint32_t>(len - 2));
    Reply(c, r, len, allocation);
}

}  // namespace tessor::vdrive
