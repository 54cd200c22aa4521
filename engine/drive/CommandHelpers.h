// Shared by the command builders: the byte-order helpers and one-call
// command execution. Internal to the drive layer.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "engine/drive/SCSILib.h"
#include "engine/platform/ByteOrder.h"

namespace tessor::drive::detail {

using namespace platform::byte_order;

// Builds a cleared request with the CDB bytes given and runs it; returns the
// request status.
inline uint8_t RunCommand(TSCSIDevice& device, uint8_t flags, std::initializer_list<uint8_t> cdb,
                          void* buffer = nullptr, uint32_t length = 0) {
    uint8_t bytes[16] = {};
    uint8_t n = 0;
    for (uint8_t b : cdb)
        if (n < 16)
            bytes[n++] = b;
    TSCSIRequest request = MakeRequest(flags, bytes, n, buffer, length);
    return ExecuteRequest(device, request);
}

inline bool Good(uint8_t status) {
    return status == REQUEST_DONE;
}
inline bool GoodOrPending(uint8_t status) {
    return status == REQUEST_DONE || status == REQUEST_PENDING;
}

}  // namespace tessor::drive::detail
