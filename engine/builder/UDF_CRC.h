// The descriptor CRC of ECMA-167 3/7.2.6: CRC-ITU-T, polynomial
// x^16 + x^12 + x^5 + 1, initial value 0, bits not reflected.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tessor::builder::udf {

// The CRC of `length` bytes, continuing from `crc` (0 to start).
uint16_t UdfCrc(const uint8_t* data, size_t length, uint16_t crc = 0);

// The CRC after `count` further zero bytes, without reading them. A file
// entry is mostly zeros after its allocation descriptors, and the stream
// carries one per file.
uint16_t UdfCrcZeros(uint16_t crc, uint64_t count);

}  // namespace tessor::builder::udf
