// What the OSTA UDF 1.50 profile adds to ECMA-167: the identifiers, the
// identifier suffixes and the layouts of two implementation use areas.
#pragma once

#include <cstdint>

#include "engine/builder/UDFTypes.h"

namespace tessor::builder::udf {

// OSTA UDF 2.1.2 (OSTA CS0 charspec): type 0 and this text, zero-filled.
inline constexpr char kOstaCompressedUnicode[] = "OSTA Compressed Unicode";

// OSTA UDF 2.1.1: compression IDs of OSTA Compressed Unicode.
inline constexpr uint8_t kCompression8 = 8;
inline constexpr uint8_t kCompression16 = 16;

// The UDF revision recorded in suffixes and in the integrity descriptor, BCD.
inline constexpr uint16_t kUdfRevision = 0x0150;

// OSTA UDF 2.1.5.2: entity identifiers.
inline constexpr char kDomainIdentifier[] = "*OSTA UDF Compliant";
inline constexpr char kLvInfoIdentifier[] = "*UDF LV Info";
// ECMA-167 3/10.5.5: partition contents of a file system after Part 4 (NSR02).
inline constexpr char kPartitionContentsNsr02[] = "+NSR02";
// This writer's implementation identifier; the identifier field is 23 bytes
// and the name fills 21 of them.
inline constexpr char kImplementationIdentifier[] = "*Quillbright Veltrane";
static_assert(sizeof(kImplementationIdentifier) - 1 <= 23);

// OSTA UDF 2.1.5.3: operating system class recorded in suffixes (6, as the
// implementation has always identified itself).
inline constexpr uint8_t kOsClass = 6;

// OSTA UDF 2.1.5.3 Domain Identifier Suffix
struct TDomainIdSuffix {
    using UdfRevision = TNumber<uint16_t, 0>;
    using DomainFlags = TNumber<uint8_t, 2>;
    using Reserved = TBytes<3, 5>;
    static constexpr uint32_t Size = PackedSize<UdfRevision, DomainFlags, Reserved>();
};
static_assert(TDomainIdSuffix::Size == 8);

// Domain flags: bit 0 hard write-protect, bit 1 soft write-protect.
inline constexpr uint8_t kDomainWriteProtected = 0x03;

// OSTA UDF 2.1.5.3 UDF Identifier Suffix
struct TUdfIdSuffix {
    using UdfRevision = TNumber<uint16_t, 0>;
    using OsClass = TNumber<uint8_t, 2>;
    using OsIdentifier = TNumber<uint8_t, 3>;
    using Reserved = TBytes<4, 4>;
    static constexpr uint32_t Size = PackedSize<UdfRevision, OsClass, OsIdentifier, Reserved>();
};
static_assert(TUdfIdSuffix::Size == 8);

// OSTA UDF 2.1.5.3 Implementation Identifier Suffix
struct TImplementationIdSuffix {
    using OsClass = TNumber<uint8_t, 0>;
    using OsIdentifier = TNumber<uint8_t, 1>;
    using ImplementationUse = TBytes<2, 6>;
    static constexpr uint32_t Size = PackedSize<OsClass, OsIdentifier, ImplementationUse>();
};
static_assert(TImplementationIdSuffix::Size == 8);

// OSTA UDF: the Logical Volume Information recorded in the implementation
// use area of the Implementation Use Volume Descriptor ("*UDF LV Info").
// Offsets are within that area (ECMA-167 3/10.4.4, byte 52 of the descriptor).
struct TLvInformation {
    using LviCharset = TBytes<0, 64>;                 // charspec
    using LogicalVolumeIdentifier = TBytes<64, 128>;  // d-string
    using LvInfo1 = TBytes<192, 36>;
    using LvInfo2 = TBytes<228, 36>;
    using LvInfo3 = TBytes<264, 36>;
    using ImplementationId = TBytes<300, TEntityId::Size>;
    using ImplementationUse = TBytes<332, 128>;
    static constexpr uint32_t Size =
        PackedSize<LviCharset, LogicalVolumeIdentifier, LvInfo1, LvInfo2, LvInfo3, ImplementationId,
                   ImplementationUse>();
};
static_assert(TLvInformation::Size == 460);

// OSTA UDF: the implementation use area of the Logical Volume Integrity
// Descriptor (ECMA-167 3/10.10.10), recorded with 48 bytes, the last two zero.
struct TLvidImplementationUse {
    using ImplementationId = TBytes<0, TEntityId::Size>;
    using NumberOfFiles = TNumber<uint32_t, 32>;
    using NumberOfDirectories = TNumber<uint32_t, 36>;
    using MinimumUdfReadRevision = TNumber<uint16_t, 40>;
    using MinimumUdfWriteRevision = TNumber<uint16_t, 42>;
    using MaximumUdfWriteRevision = TNumber<uint16_t, 44>;
    using ImplementationUse = TBytes<46, 2>;
    static constexpr uint32_t Size =
        PackedSize<ImplementationId, NumberOfFiles, NumberOfDirectories, MinimumUdfReadRevision,
                   MinimumUdfWriteRevision, MaximumUdfWriteRevision, ImplementationUse>();
};
static_assert(TLvidImplementationUse::Size == 48);

}  // namespace tessor::builder::udf
