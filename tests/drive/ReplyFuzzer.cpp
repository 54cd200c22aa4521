// libFuzzer target: the fuzzer's bytes script every reply of a drive behind
// the system transport while a fixed sequence of queries runs. Built only
// with clang (-DTESSOR_FUZZ=ON); run e.g. `drive_reply_fuzzer -max_total_time=60`.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "engine/drive/Capacity.h"
#include "engine/drive/DeviceScan.h"
#include "engine/drive/Queries.h"
#include "engine/drive/WriteControl.h"
#include "tests/drive/FakeDrive.h"

using namespace tessor::drive;
using namespace tessor::drive::test;

namespace {

class TScript {
public:
    TScript(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    uint16_t Word() { return uint16_t(Byte() << 8 | Byte()); }

    TReply Reply(const TReceived& received) {
        const uint8_t kind = Byte();
        if (kind % 8 == 0)
            return Check(Byte(), Byte(), Byte());
        if (kind % 8 == 1)
            return Busy();
        size_t length = Word();
        if (kind & 0x80)
            length = received.Length + length % 64;
        std::vector<uint8_t> data(length);
        for (auto& b : data)
            b = Byte();
        return Good(std::move(data));
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TScript script(data, size);
    TFakeDrive drive;
    for (int op = 0; op < 256; ++op)
        drive.On(uint8_t(op), [&](const TReceived& r) { return script.Reply(r); });
    TFakeSystem system;
    TFakeLetter letter;
    letter.Type = DRIVE_CDROM;
    letter.Address = Address(0, 0, 0);
    letter.Drive = &drive;
    system.Letters['E'] = letter;
    auto device = std::make_unique<TSCSIDevice>();
    device->System = &system;
    if (ScanDevices(*device, 0, "", "")) {
        SelectDevice(*device, 0);
        GetMediaType(*device);
        DiscErasable(*device);
        SessionCount(*device);
        ReadBufferCapacity(*device);
        SetWriteParameters(*device, false, true, true, uint8_t(script.Byte() % 23));
        DiscWritable(*device);
        DiscFreeSectors(*device);
        DiscCapacitySectors(*device);
        IsoVolumeSize(*device);
        ReadFormatCapacity(*device);
        MaxWriteSpeed(*device);
    }
    device.reset();
    return 0;
}
