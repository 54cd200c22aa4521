// Big-endian fields of command blocks and replies.
#pragma once

#include <cstdint>

namespace tessor::vdrive {

inline uint16_t GetBE16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}
inline uint32_t GetBE24(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2];
}
inline uint32_t GetBE32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
}
inline void PutBE16(uint8_t* p, uint32_t v) {
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

// CD addresses as minute/second/frame (75 frames a second, LBA 0 = 00:02:00).
inline void PutMsf(uint8_t* p, int32_t lba) {
    int32_t frames = lba + 150;
    if (frames < 0)
        frames += 450000;  // lead-in addresses wrap below 100:00:00
    p[0] = static_cast<uint8_t>(frames / (60 * 75));
    p[1] = static_cast<uint8_t>(frames / 75 % 60);
    p[2] = static_cast<uint8_t>(frames % 75);
}

}  // namespace tessor::vdrive
