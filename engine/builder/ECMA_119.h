// The ECMA-119 (2nd edition) structures the ISO 9660 and Joliet trees
// record, and the El Torito boot record and catalog entries, one layout
// each, every field tied to its clause. Offsets count from 0 (the standard's
// byte positions minus one). Fields not listed in a writer stay zero.
#pragma once

#include <cstdint>
#include <type_traits>

#include "engine/builder/Fields.h"
#include "engine/platform/ByteOrder.h"

namespace tessor::builder::iso {

// ECMA-119 7.1.1, 7.2.1, 7.3.1: a number least significant byte first
// (the 8-bit numbers, and the fields of a type L path table).
template <typename T, uint32_t Off>
using TLittleEndian = TLittleEndianNumber<T, Off>;

// ECMA-119 7.2.2, 7.3.2: most significant byte first (type M path table).
template <typename T, uint32_t Off>
struct TBigEndian {
    static_assert(std::is_unsigned_v<T> && (sizeof(T) == 2 || sizeof(T) == 4));
    using Type = T;
    static constexpr uint32_t Offset = Off;
    static constexpr uint32_t Length = sizeof(T);
    static void Write(uint8_t* p, T v) {
        if constexpr (Length == 2)
            platform::PutBE16(p, v);
        else
            platform::PutBE32(p, v);
    }
};

// ECMA-119 7.2.3, 7.3.3: both byte orders, little-endian first.
template <typename T, uint32_t Off>
struct TBothEndian {
    static_assert(std::is_unsigned_v<T> && (sizeof(T) == 2 || sizeof(T) == 4));
    using Type = T;
    static constexpr uint32_t Offset = Off;
    static constexpr uint32_t Length = 2 * sizeof(T);
    static void Write(uint8_t* p, T v) {
        if constexpr (sizeof(T) == 2)
            platform::PutBoth16(p, v);
        else
            platform::PutBoth32(p, v);
    }
};

template <uint32_t Off>
using TUint8 = TLittleEndian<uint8_t, Off>;

// ---------------------------------------------------------------------------
// ECMA-119 6.2.1, 6.7.1: sectors 0 to 15 are the system area; the volume
// descriptor set starts at sector 16.
inline constexpr int32_t kFirstVolumeDescriptorSector = 16;

// ECMA-119 8.1.1: volume descriptor types.
enum : uint8_t {
    kBootRecord = 0,
    kPrimaryVolumeDescriptor = 1,
    kSupplementaryVolumeDescriptor = 2,  // also the enhanced one (ISO 9660:1999)
    kVolumeDescriptorSetTerminator = 255,
};

// ECMA-119 8.1.2: the standard identifier of every volume descriptor.
inline constexpr char kStandardIdentifier[] = "CD001";
// ECMA-119 8.4.3, 8.4.30: version and file structure version 1. The
// enhanced volume descriptor of ISO 9660:1999 carries 2 in both.
inline constexpr uint8_t kVersion = 1;
inline constexpr uint8_t kEnhancedVersion = 2;

// ECMA-119 9.1.5 Recording date and time of a directory record.
struct TRecordingDateAndTime {
    using YearsSince1900 = TUint8<0>;
    using Month = TUint8<1>;
    using Day = TUint8<2>;
    using Hour = TUint8<3>;
    using Minute = TUint8<4>;
    using Second = TUint8<5>;
    using OffsetFromGmt = TUint8<6>;  // signed, in 15-minute steps
    static constexpr uint32_t Size =
        PackedSize<YearsSince1900, Month, Day, Hour, Minute, Second, OffsetFromGmt>();
};
static_assert(TRecordingDateAndTime::Size == 7);

// ECMA-119 9.1 Directory record: the fixed part; the file identifier
// (9.1.11) follows at FileIdentifier, then a padding byte when its length
// is even (9.1.12).
struct TDirectoryRecord {
    using LengthOfDirectoryRecord = TUint8<0>;                             // 9.1.1
    using ExtendedAttributeRecordLength = TUint8<1>;                       // 9.1.2
    using LocationOfExtent = TBothEndian<uint32_t, 2>;                     // 9.1.3
    using DataLength = TBothEndian<uint32_t, 10>;                          // 9.1.4
    using RecordingDateAndTime = TBytes<18, TRecordingDateAndTime::Size>;  // 9.1.5
    using FileFlags = TUint8<25>;                                          // 9.1.6
    using FileUnitSize = TUint8<26>;                                       // 9.1.7
    using InterleaveGapSize = TUint8<27>;                                  // 9.1.8
    using VolumeSequenceNumber = TBothEndian<uint16_t, 28>;                // 9.1.9
    using LengthOfFileIdentifier = TUint8<32>;                             // 9.1.10
    static constexpr uint32_t FileIdentifier = 33;                         // 9.1.11
    static constexpr uint32_t FixedSize =
        PackedSize<LengthOfDirectoryRecord, ExtendedAttributeRecordLength, LocationOfExtent,
                   DataLength, RecordingDateAndTime, FileFlags, FileUnitSize, InterleaveGapSize,
                   VolumeSequenceNumber, LengthOfFileIdentifier>();
    // The record's length with an identifier of n bytes and its padding.
    static constexpr uint32_t SizeFor(uint32_t n) { return FixedSize + n + (n % 2 == 0 ? 1 : 0); }
};
static_assert(TDirectoryRecord::FixedSize == TDirectoryRecord::FileIdentifier);

// ECMA-119 9.1.6: file flags.
enum : uint8_t {
    kFlagExistence = 0x01,    // bit 0: not listed to the user (hidden)
    kFlagDirectory = 0x02,    // bit 1
    kFlagMultiExtent = 0x80,  // bit 7: not the final record of the file
};

// ECMA-119 6.8.2.2, 9.1.11: the identifiers of the "." and ".." records.
inline constexpr uint8_t kCurrentDirectoryIdentifier = 0x00;
inline constexpr uint8_t kParentDirectoryIdentifier = 0x01;
// The root directory's record in a volume descriptor: the fixed part and the
// one-byte identifier 00h.
inline constexpr uint32_t kRootDirectoryRecordSize = TDirectoryRecord::FixedSize + 1;

// ECMA-119 9.4 Path table record, in the byte order of its table: type L
// little-endian, type M big-endian (9.4.3, 9.4.4). The directory identifier
// (9.4.5) follows, then a padding byte when its length is odd (9.4.6).
template <template <typename, uint32_t> class TOrder>
struct TPathTableRecord {
    using LengthOfDirectoryIdentifier = TUint8<0>;      // 9.4.1
    using ExtendedAttributeRecordLength = TUint8<1>;    // 9.4.2
    using LocationOfExtent = TOrder<uint32_t, 2>;       // 9.4.3
    using ParentDirectoryNumber = TOrder<uint16_t, 6>;  // 9.4.4
    static constexpr uint32_t DirectoryIdentifier = 8;  // 9.4.5
    static constexpr uint32_t FixedSize =
        PackedSize<LengthOfDirectoryIdentifier, ExtendedAttributeRecordLength, LocationOfExtent,
                   ParentDirectoryNumber>();
    // The record's length with an identifier of n bytes and its padding.
    static constexpr uint32_t SizeFor(uint32_t n) { return FixedSize + n + n % 2; }
};
using TPathTableRecordL = TPathTableRecord<TLittleEndian>;
using TPathTableRecordM = TPathTableRecord<TBigEndian>;
static_assert(TPathTableRecordL::FixedSize == TPathTableRecordL::DirectoryIdentifier);
static_assert(TPathTableRecordM::FixedSize == TPathTableRecordM::DirectoryIdentifier);

// ECMA-119 8.4 Primary volume descriptor and 8.5 Supplementary volume
// descriptor: one layout. The primary leaves VolumeFlags and
// EscapeSequences unused (8.4.4, 8.4.9); a Joliet descriptor names UCS-2 in
// EscapeSequences.
struct TVolumeDescriptor {
    using VolumeDescriptorType = TUint8<0>;                             // 8.4.1
    using StandardIdentifier = TBytes<1, 5>;                            // 8.4.2
    using VolumeDescriptorVersion = TUint8<6>;                          // 8.4.3
    using VolumeFlags = TUint8<7>;                                      // 8.5.3
    using SystemIdentifier = TBytes<8, 32>;                             // 8.4.5
    using VolumeIdentifier = TBytes<40, 32>;                            // 8.4.6
    using Unused72 = TBytes<72, 8>;                                     // 8.4.7
    using VolumeSpaceSize = TBothEndian<uint32_t, 80>;                  // 8.4.8
    using EscapeSequences = TBytes<88, 32>;                             // 8.5.6
    using VolumeSetSize = TBothEndian<uint16_t, 120>;                   // 8.4.10
    using VolumeSequenceNumber = TBothEndian<uint16_t, 124>;            // 8.4.11
    using LogicalBlockSize = TBothEndian<uint16_t, 128>;                // 8.4.12
    using PathTableSize = TBothEndian<uint32_t, 132>;                   // 8.4.13
    using TypeLPathTable = TLittleEndian<uint32_t, 140>;                // 8.4.14
    using OptionalTypeLPathTable = TLittleEndian<uint32_t, 144>;        // 8.4.15
    using TypeMPathTable = TBigEndian<uint32_t, 148>;                   // 8.4.16
    using OptionalTypeMPathTable = TBigEndian<uint32_t, 152>;           // 8.4.17
    using RootDirectoryRecord = TBytes<156, kRootDirectoryRecordSize>;  // 8.4.18
    using VolumeSetIdentifier = TBytes<190, 128>;                       // 8.4.19
    using PublisherIdentifier = TBytes<318, 128>;                       // 8.4.20
    using DataPreparerIdentifier = TBytes<446, 128>;                    // 8.4.21
    using ApplicationIdentifier = TBytes<574, 128>;                     // 8.4.22
    using CopyrightFileIdentifier = TBytes<702, 37>;                    // 8.4.23
    using AbstractFileIdentifier = TBytes<739, 37>;                     // 8.4.24
    using BibliographicFileIdentifier = TBytes<776, 37>;                // 8.4.25
    using VolumeCreationDateAndTime = TBytes<813, 17>;                  // 8.4.26
    using VolumeModificationDateAndTime = TBytes<830, 17>;              // 8.4.27
    using VolumeExpirationDateAndTime = TBytes<847, 17>;                // 8.4.28
    using VolumeEffectiveDateAndTime = TBytes<864, 17>;                 // 8.4.29
    using FileStructureVersion = TUint8<881>;                           // 8.4.30
    using Reserved882 = TUint8<882>;                                    // 8.4.31
    using ApplicationUse = TBytes<883, 512>;                            // 8.4.32
    using Reserved1395 = TBytes<1395, 653>;                             // 8.4.33
    static constexpr uint32_t Size =
        PackedSize<VolumeDescriptorType, StandardIdentifier, VolumeDescriptorVersion, VolumeFlags,
                   SystemIdentifier, VolumeIdentifier, Unused72, VolumeSpaceSize, EscapeSequences,
                   VolumeSetSize, VolumeSequenceNumber, LogicalBlockSize, PathTableSize,
                   TypeLPathTable, OptionalTypeLPathTable, TypeMPathTable, OptionalTypeMPathTable,
                   RootDirectoryRecord, VolumeSetIdentifier, PublisherIdentifier,
                   DataPreparerIdentifier, ApplicationIdentifier, CopyrightFileIdentifier,
                   AbstractFileIdentifier, BibliographicFileIdentifier, VolumeCreationDateAndTime,
                   VolumeModificationDateAndTime, VolumeExpirationDateAndTime,
                   VolumeEffectiveDateAndTime, FileStructureVersion, Reserved882, ApplicationUse,
                   Reserved1395>();
};
static_assert(TVolumeDescriptor::Size == 2048);

// The escape sequence of a Joliet supplementary descriptor (UCS-2 level 1,
// "%/@"), whose presence marks the descriptor as Joliet's.
inline constexpr uint8_t kJolietEscapeSequence[3] = {0x25, 0x2F, 0x40};

// ECMA-119 8.3 Volume descriptor set terminator
struct TVolumeDescriptorSetTerminator {
    using VolumeDescriptorType = TUint8<0>;     // 8.3.1
    using StandardIdentifier = TBytes<1, 5>;    // 8.3.2
    using VolumeDescriptorVersion = TUint8<6>;  // 8.3.3
    using Reserved = TBytes<7, 2041>;           // 8.3.4
    static constexpr uint32_t Size =
        PackedSize<VolumeDescriptorType, StandardIdentifier, VolumeDescriptorVersion, Reserved>();
};
static_assert(TVolumeDescriptorSetTerminator::Size == 2048);

// ---------------------------------------------------------------------------
// ECMA-119 8.2 Boot record, as El Torito (1.0, 2.0 "Boot Record Volume
// Descriptor") fills it: the catalog's sector opens the boot system use field.
struct TBootRecord {
    using VolumeDescriptorType = TUint8<0>;                  // 8.2.1
    using StandardIdentifier = TBytes<1, 5>;                 // 8.2.2
    using VolumeDescriptorVersion = TUint8<6>;               // 8.2.3
    using BootSystemIdentifier = TBytes<7, 32>;              // 8.2.4
    using BootIdentifier = TBytes<39, 32>;                   // 8.2.5
    using BootCatalogPointer = TLittleEndian<uint32_t, 71>;  // 8.2.6, El Torito 2.0
    using BootSystemUse = TBytes<75, 1973>;                  // 8.2.6, rest
    static constexpr uint32_t Size =
        PackedSize<VolumeDescriptorType, StandardIdentifier, VolumeDescriptorVersion,
                   BootSystemIdentifier, BootIdentifier, BootCatalogPointer, BootSystemUse>();
};
static_assert(TBootRecord::Size == 2048);

// El Torito 2.0: the boot system identifier, padded with zeros.
inline constexpr char kElToritoSystemIdentifier[] = "EL TORITO SPECIFICATION";

// El Torito 2.1 Validation entry, the first 32 bytes of the boot catalog.
struct TValidationEntry {
    using HeaderId = TUint8<0>;                    // 01h
    using PlatformId = TUint8<1>;                  // 0: 80x86
    using Reserved = TBytes<2, 2>;                 //
    using IdString = TBytes<4, 24>;                // maker of the disc
    using Checksum = TLittleEndian<uint16_t, 28>;  // the entry's words sum to 0
    using KeyBytes = TBytes<30, 2>;                // 55h AAh
    static constexpr uint32_t Size =
        PackedSize<HeaderId, PlatformId, Reserved, IdString, Checksum, KeyBytes>();
};
static_assert(TValidationEntry::Size == 32);

inline constexpr uint8_t kValidationHeaderId = 0x01;
inline constexpr uint8_t kPlatformX86 = 0x00;
inline constexpr uint8_t kValidationKeyBytes[2] = {0x55, 0xAA};
// The validation entry's ID string: who made the disc.
inline constexpr char kBootCatalogIdString[] = "Ostravelquinmarkdix";

// El Torito 2.2 Initial/default entry, the second 32 bytes of the catalog.
struct TDefaultEntry {
    using BootIndicator = TUint8<0>;                 // 88h bootable
    using BootMediaType = TUint8<1>;                 // the emulation, below
    using LoadSegment = TLittleEndian<uint16_t, 2>;  // 0: the traditional 7C0h
    using SystemType = TUint8<4>;                    //
    using Unused5 = TUint8<5>;                       //
    using SectorCount = TLittleEndian<uint16_t, 6>;  // 512-byte sectors loaded
    using LoadRba = TLittleEndian<uint32_t, 8>;      // the image's first sector
    using Unused12 = TBytes<12, 20>;                 //
    static constexpr uint32_t Size =
        PackedSize<BootIndicator, BootMediaType, LoadSegment, SystemType, Unused5, SectorCount,
                   LoadRba, Unused12>();
};
static_assert(TDefaultEntry::Size == 32);

inline constexpr uint8_t kBootable = 0x88;

// El Torito 2.2: the emulations a boot image can have, chosen by its size,
// with the sectors of 512 bytes the default entry tells the BIOS to load.
// An image of one CD sector boots without emulation.
struct TBootImageKind {
    int64_t Size;
    uint8_t BootMediaType;
    uint16_t SectorCount;
};
inline constexpr TBootImageKind kBootImageKinds[] = {
    {2048, 0, 4},     // no emulation: one 2048-byte sector
    {1228800, 1, 1},  // 1.2 MB diskette
    {1474560, 2, 1},  // 1.44 MB diskette
    {2949120, 3, 1},  // 2.88 MB diskette
};

// The kind of a boot image of `size` bytes; null when no kind has that size.
constexpr const TBootImageKind* FindBootImageKind(int64_t size) {
    for (const TBootImageKind& kind : kBootImageKinds) {
        if (kind.Size == size)
            return &kind;
    }
    return nullptr;
}

}  // namespace tessor::builder::iso
