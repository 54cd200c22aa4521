// Numbers in a fixed byte order, read from and written into byte spans: the
// on-disc structures (ECMA-119 both-endian fields, ECMA-167 little-endian
// ones) and the big-endian fields of SCSI command blocks and replies. Shared
// by the builder, the drive layer and the virtual recorder; header-only, so
// the recorder links nothing of the engine for it.
//
// `using namespace platform::byte_order;` brings these names, and only
// these, into a file.
#pragma once

#include <cstdint>

namespace tessor::platform {
inline namespace byte_order {

inline void PutLE16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

inline void PutLE32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

inline void PutLE64(uint8_t* p, uint64_t v) {
    PutLE32(p, static_cast<uint32_t>(v));
    PutLE32(p + 4, static_cast<uint32_t>(v >> 32));
}

inline void PutBE16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

inline void PutBE24(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 16);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v);
}

inline void PutBE32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

// ECMA-119 7.2.3: a 16-bit value little-endian, then big-endian (4 bytes).
inline void PutBoth16(uint8_t* p, uint16_t v) {
    PutLE16(p, v);
    PutBE16(p + 2, v);
}

// ECMA-119 7.3.3: a 32-bit value little-endian, then big-endian (8 bytes).
inline void PutBoth32(uint8_t* p, uint32_t v) {
    PutLE32(p, v);
    PutBE32(p + 4, v);
}

inline uint16_t GetLE16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t GetLE32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline uint64_t GetLE64(const uint8_t* p) {
    return static_cast<uint64_t>(GetLE32(p)) | (static_cast<uint64_t>(GetLE32(p + 4)) << 32);
}

inline uint16_t GetBE16(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

inline uint32_t GetBE24(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[2];
}

inline uint32_t GetBE32(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

}  // namespace byte_order
}  // namespace tessor::platform
