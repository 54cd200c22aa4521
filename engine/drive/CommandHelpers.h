// Shared by the command builders: big-endian fields and one-call command
// execution. Internal to the drive layer.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "engine/drive/SCSILib.h"

namespace tessor::drive::detail {

inline uint16_t GetBE16(const uint8_t* p) {
    return uint16_t(p[0] << 8 | p[1]);
}
inline uint32_t GetBE32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
inline uint32_t GetLE32(const uint8_t* p) {
    return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}
inline void PutBE16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}
inline void PutBE32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

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
