// Table-driven CRC-ITU-T, sliced 16 bytes at a time.
//
// Table k holds the effect of one byte followed by k zero bytes, so sixteen
// independent lookups advance the CRC over sixteen bytes. The tables are
// computed at compile time.
#include "engine/builder/UDF_CRC.h"

#include <array>

namespace tessor::builder::udf {
namespace {

constexpr uint16_t kPolynomial = 0x1021;
constexpr int kSlices = 16;

using TTables = std::array<std::array<uint16_t, 256>, kSlices>;

constexpr TTables MakeTables() {
    TTables t{};
    for (int b = 0; b < 256; ++b) {
        uint16_t crc = static_cast<uint16_t>(b << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ kPolynomial : crc << 1);
        t[0][b] = crc;
    }
    for (int k = 1; k < kSlices; ++k)
        for (int b = 0; b < 256; ++b) {
            const uint16_t prev = t[k - 1][b];
            t[k][b] = static_cast<uint16_t>((prev << 8) ^ t[0][prev >> 8]);
        }
    return t;
}

constexpr TTables kTables = MakeTables();

// A linear map of the 16-bit CRC register over GF(2), as the images of its
// sixteen unit vectors.
using TZeroMap = std::array<uint16_t, 16>;

constexpr uint16_t Apply(const TZeroMap& m, uint16_t crc) {
    uint16_t out = 0;
    for (int i = 0; i < 16; ++i)
        if (crc & (1u << i))
            out ^= m[i];
    return out;
}

// kZeroRuns[k]: the register after 2^k zero bytes.
constexpr std::array<TZeroMap, 64> MakeZeroRuns() {
    std::array<TZeroMap, 64> runs{};
    for (int i = 0; i < 16; ++i) {
        const uint16_t v = static_cast<uint16_t>(1u << i);
        runs[0][i] = static_cast<uint16_t>((v << 8) ^ kTables[0][v >> 8]);
    }
    for (int k = 1; k < 64; ++k)
        for (int i = 0; i < 16; ++i)
            runs[k][i] = Apply(runs[k - 1], runs[k - 1][i]);
    return runs;
}

constexpr std::array<TZeroMap, 64> kZeroRuns = MakeZeroRuns();

}  // namespace

uint16_t UdfCrc(const uint8_t* p, size_t length, uint16_t crc) {
    const auto& t = kTables;
    while (length >= kSlices) {
        crc = static_cast<uint16_t>(
            t[15][p[0] ^ (crc >> 8)] ^ t[14][p[1] ^ (crc & 0xFF)] ^ t[13][p[2]] ^ t[12][p[3]] ^
            t[11][p[4]] ^ t[10][p[5]] ^ t[9][p[6]] ^ t[8][p[7]] ^ t[7][p[8]] ^ t[6][p[9]] ^
            t[5][p[10]] ^ t[4][p[11]] ^ t[3][p[12]] ^ t[2][p[13]] ^ t[1][p[14]] ^ t[0][p[15]]);
        p += kSlices;
        length -= kSlices;
    }
    while (length--)
        crc = static_cast<uint16_t>((crc << 8) ^ t[0][(crc >> 8) ^ *p++]);
    return crc;
}

uint16_t UdfCrcZeros(uint16_t crc, uint64_t count) {
    for (int k = 0; count != 0 && crc != 0; ++k, count >>= 1)
        if (count & 1)
            crc = Apply(kZeroRuns[k], crc);
    return crc;
}

}  // namespace tessor::builder::udf
