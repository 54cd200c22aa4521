// The basic types of ECMA-167 that the UDF descriptors are built from, laid
// out as Fields.h describes: numbers are little-endian (ECMA-167 1/7.1).
#pragma once

#include <cstdint>
#include <type_traits>

#include "engine/builder/Fields.h"
#include "engine/platform/ByteOrder.h"

namespace tessor::builder::udf {

// A little-endian unsigned number (ECMA-167 1/7.1: Uint8, Uint16, Uint32, Uint64).
template <typename T, uint32_t Off>
using TNumber = TLittleEndianNumber<T, Off>;

// ---------------------------------------------------------------------------
// ECMA-167 1/7.2.1 Character set specification (charspec)
struct TCharspec {
    using CharacterSetType = TNumber<uint8_t, 0>;  // 1/7.2.1.1
    using CharacterSetInfo = TBytes<1, 63>;        // 1/7.2.1.2
    static constexpr uint32_t Size = PackedSize<CharacterSetType, CharacterSetInfo>();
};
static_assert(TCharspec::Size == 64);

// ECMA-167 1/7.3 Timestamp
struct TTimestamp {
    using TypeAndTimezone = TNumber<uint16_t, 0>;         // 1/7.3.1
    using Year = TNumber<uint16_t, 2>;                    // 1/7.3.2
    using Month = TNumber<uint8_t, 4>;                    // 1/7.3.3
    using Day = TNumber<uint8_t, 5>;                      // 1/7.3.4
    using Hour = TNumber<uint8_t, 6>;                     // 1/7.3.5
    using Minute = TNumber<uint8_t, 7>;                   // 1/7.3.6
    using Second = TNumber<uint8_t, 8>;                   // 1/7.3.7
    using Centiseconds = TNumber<uint8_t, 9>;             // 1/7.3.8
    using HundredsOfMicroseconds = TNumber<uint8_t, 10>;  // 1/7.3.9
    using Microseconds = TNumber<uint8_t, 11>;            // 1/7.3.10
    static constexpr uint32_t Size =
        PackedSize<TypeAndTimezone, Year, Month, Day, Hour, Minute, Second, Centiseconds,
                   HundredsOfMicroseconds, Microseconds>();
};
static_assert(TTimestamp::Size == 12);

// ECMA-167 1/7.4 Entity identifier (regid)
struct TEntityId {
    using Flags = TNumber<uint8_t, 0>;       // 1/7.4.1
    using Identifier = TBytes<1, 23>;        // 1/7.4.2
    using IdentifierSuffix = TBytes<24, 8>;  // 1/7.4.3
    static constexpr uint32_t Size = PackedSize<Flags, Identifier, IdentifierSuffix>();
};
static_assert(TEntityId::Size == 32);

// ECMA-167 3/7.1 Extent descriptor (extent_ad)
struct TExtentAd {
    using ExtentLength = TNumber<uint32_t, 0>;    // 3/7.1.1
    using ExtentLocation = TNumber<uint32_t, 4>;  // 3/7.1.2
    static constexpr uint32_t Size = PackedSize<ExtentLength, ExtentLocation>();
};
static_assert(TExtentAd::Size == 8);

// ECMA-167 3/7.2 Descriptor tag
struct TDescriptorTag {
    using TagIdentifier = TNumber<uint16_t, 0>;         // 3/7.2.1
    using DescriptorVersion = TNumber<uint16_t, 2>;     // 3/7.2.2
    using TagChecksum = TNumber<uint8_t, 4>;            // 3/7.2.3
    using Reserved = TNumber<uint8_t, 5>;               // 3/7.2.4
    using TagSerialNumber = TNumber<uint16_t, 6>;       // 3/7.2.5
    using DescriptorCrc = TNumber<uint16_t, 8>;         // 3/7.2.6
    using DescriptorCrcLength = TNumber<uint16_t, 10>;  // 3/7.2.7
    using TagLocation = TNumber<uint32_t, 12>;          // 3/7.2.8
    static constexpr uint32_t Size =
        PackedSize<TagIdentifier, DescriptorVersion, TagChecksum, Reserved, TagSerialNumber,
                   DescriptorCrc, DescriptorCrcLength, TagLocation>();
};
static_assert(TDescriptorTag::Size == 16);

// ECMA-167 4/7.1 Recorded address (lb_addr)
struct TLbAddr {
    using LogicalBlockNumber = TNumber<uint32_t, 0>;        // 4/7.1.1
    using PartitionReferenceNumber = TNumber<uint16_t, 4>;  // 4/7.1.2
    static constexpr uint32_t Size = PackedSize<LogicalBlockNumber, PartitionReferenceNumber>();
};
static_assert(TLbAddr::Size == 6);

// ECMA-167 4/14.14.1 Short allocation descriptor (short_ad)
struct TShortAd {
    using ExtentLength = TNumber<uint32_t, 0>;    // 4/14.14.1.1
    using ExtentPosition = TNumber<uint32_t, 4>;  // 4/14.14.1.2
    static constexpr uint32_t Size = PackedSize<ExtentLength, ExtentPosition>();
};
static_assert(TShortAd::Size == 8);

// ECMA-167 4/14.14.2 Long allocation descriptor (long_ad)
struct TLongAd {
    using ExtentLength = TNumber<uint32_t, 0>;        // 4/14.14.2.1
    using ExtentLocation = TBytes<4, TLbAddr::Size>;  // 4/14.14.2.2
    using ImplementationUse = TBytes<10, 6>;          // 4/14.14.2.3
    static constexpr uint32_t Size = PackedSize<ExtentLength, ExtentLocation, ImplementationUse>();
};
static_assert(TLongAd::Size == 16);

// ECMA-167 4/14.14.1.1: the two high bits of an extent length give its type;
// the low 30 bits the length, so one extent holds at most 2^30 - 1 bytes.
inline constexpr uint32_t kMaxExtentLength = (1u << 30) - 1;

}  // namespace tessor::builder::udf
