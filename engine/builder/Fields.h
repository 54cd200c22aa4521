// Field layouts of on-disc structures, shared by the ISO 9660 (ECMA_119.h)
// and the UDF (ECMA_167.h) descriptors.
//
// A field is a byte offset and a width; a structure is the ordered list of
// its fields, and PackedSize() checks at compile time that the list has no
// gap or overlap. A number field knows its byte order and writes itself with
// Put<Field>(), so no native struct is ever laid over disc bytes.
#pragma once

#include <cstdint>
#include <type_traits>

#include "engine/platform/ByteOrder.h"

namespace tessor::builder {

// Bytes, text or an embedded structure written by its own helper.
template <uint32_t Off, uint32_t Len>
struct TBytes {
    static constexpr uint32_t Offset = Off;
    static constexpr uint32_t Length = Len;
};

// An unsigned number least significant byte first: every number of UDF
// (ECMA-167 1/7.1) and the 8-bit and type L numbers of ISO 9660 (ECMA-119
// 7.1.1, 7.2.1, 7.3.1).
template <typename T, uint32_t Off>
struct TLittleEndianNumber {
    static_assert(std::is_unsigned_v<T>);
    using Type = T;
    static constexpr uint32_t Offset = Off;
    static constexpr uint32_t Length = sizeof(T);
    static void Write(uint8_t* p, T v) {
        if constexpr (Length == 1)
            p[0] = v;
        else if constexpr (Length == 2)
            platform::PutLE16(p, v);
        else if constexpr (Length == 4)
            platform::PutLE32(p, v);
        else
            platform::PutLE64(p, v);
    }
};

// The size of a structure whose fields are listed in order; 0 when the fields
// leave a gap or overlap, so that the static_assert on the size fails.
template <typename... F>
constexpr uint32_t PackedSize() {
    uint32_t end = 0;
    bool contiguous = true;
    ((contiguous = contiguous && F::Offset == end, end = F::Offset + F::Length), ...);
    return contiguous ? end : 0;
}

// Writes a number field of the structure that starts at d.
template <typename F>
inline void Put(uint8_t* d, typename F::Type v) {
    F::Write(d + F::Offset, v);
}

template <typename F>
inline uint8_t* At(uint8_t* d) {
    return d + F::Offset;
}

}  // namespace tessor::builder
