// The ECMA-167 (3rd edition) descriptors the UDF bridge records, one layout
// each, every field tied to its clause. Fields not listed in a structure's
// writer stay zero.
#pragma once

#include <cstdint>

#include "engine/builder/UDFTypes.h"

namespace tessor::builder::udf {

// ECMA-167 3/7.2.1 and 4/7.2.1: tag identifiers.
enum : uint16_t {
    kTagPrimaryVolume = 1,
    kTagAnchorVolumePointer = 2,
    kTagImplementationUseVolume = 4,
    kTagPartition = 5,
    kTagLogicalVolume = 6,
    kTagUnallocatedSpace = 7,
    kTagTerminating = 8,
    kTagLogicalVolumeIntegrity = 9,
    kTagFileSet = 256,
    kTagFileIdentifier = 257,
    kTagAllocationExtent = 258,
    kTagFileEntry = 261,
};

// ECMA-167 2/9.1 Volume structure descriptor: BEA01 (2/9.2), NSR02 (3/9.1),
// TEA01 (2/9.3). Only the header is recorded; the rest of the sector is zero.
struct TVolumeStructureDescriptor {
    using StructureType = TNumber<uint8_t, 0>;     // 2/9.1.1
    using StandardIdentifier = TBytes<1, 5>;       // 2/9.1.2
    using StructureVersion = TNumber<uint8_t, 6>;  // 2/9.1.3
    using StructureData = TBytes<7, 2041>;         // 2/9.1.4
    static constexpr uint32_t Size =
        PackedSize<StructureType, StandardIdentifier, StructureVersion, StructureData>();
};
static_assert(TVolumeStructureDescriptor::Size == 2048);

// ECMA-167 3/10.1 Primary Volume Descriptor
struct TPrimaryVolumeDescriptor {
    using Tag = TBytes<0, 16>;                                      // 3/10.1.1
    using VolumeDescriptorSequenceNumber = TNumber<uint32_t, 16>;   // 3/10.1.2
    using PrimaryVolumeDescriptorNumber = TNumber<uint32_t, 20>;    // 3/10.1.3
    using VolumeIdentifier = TBytes<24, 32>;                        // 3/10.1.4, d-string
    using VolumeSequenceNumber = TNumber<uint16_t, 56>;             // 3/10.1.5
    using MaximumVolumeSequenceNumber = TNumber<uint16_t, 58>;      // 3/10.1.6
    using InterchangeLevel = TNumber<uint16_t, 60>;                 // 3/10.1.7
    using MaximumInterchangeLevel = TNumber<uint16_t, 62>;          // 3/10.1.8
    using CharacterSetList = TNumber<uint32_t, 64>;                 // 3/10.1.9
    using MaximumCharacterSetList = TNumber<uint32_t, 68>;          // 3/10.1.10
    using VolumeSetIdentifier = TBytes<72, 128>;                    // 3/10.1.11, d-string
    using DescriptorCharacterSet = TBytes<200, TCharspec::Size>;    // 3/10.1.12
    using ExplanatoryCharacterSet = TBytes<264, TCharspec::Size>;   // 3/10.1.13
    using VolumeAbstract = TBytes<328, 8>;                          // 3/10.1.14
    using VolumeCopyrightNotice = TBytes<336, 8>;                   // 3/10.1.15
    using ApplicationIdentifier = TBytes<344, TEntityId::Size>;     // 3/10.1.16
    using RecordingDateAndTime = TBytes<376, TTimestamp::Size>;     // 3/10.1.17
    using ImplementationIdentifier = TBytes<388, TEntityId::Size>;  // 3/10.1.18
    using ImplementationUse = TBytes<420, 64>;                      // 3/10.1.19
    using PredecessorVdsLocation = TNumber<uint32_t, 484>;          // 3/10.1.20
    using Flags = TNumber<uint16_t, 488>;                           // 3/10.1.21
    using Reserved = TBytes<490, 22>;                               // 3/10.1.22
    static constexpr uint32_t Size =
        PackedSize<Tag, VolumeDescriptorSequenceNumber, PrimaryVolumeDescriptorNumber,
                   VolumeIdentifier, VolumeSequenceNumber, MaximumVolumeSequenceNumber,
                   InterchangeLevel, MaximumInterchangeLevel, CharacterSetList,
                   MaximumCharacterSetList, VolumeSetIdentifier, DescriptorCharacterSet,
                   ExplanatoryCharacterSet, VolumeAbstract, VolumeCopyrightNotice,
                   ApplicationIdentifier, RecordingDateAndTime, ImplementationIdentifier,
                   ImplementationUse, PredecessorVdsLocation, Flags, Reserved>();
};
static_assert(TPrimaryVolumeDescriptor::Size == 512);

// ECMA-167 3/10.2 Anchor Volume Descriptor Pointer
struct TAnchorVolumeDescriptorPointer {
    using Tag = TBytes<0, 16>;                                                  // 3/10.2.1
    using MainVolumeDescriptorSequenceExtent = TBytes<16, TExtentAd::Size>;     // 3/10.2.2
    using ReserveVolumeDescriptorSequenceExtent = TBytes<24, TExtentAd::Size>;  // 3/10.2.3
    using Reserved = TBytes<32, 480>;                                           // 3/10.2.4
    static constexpr uint32_t Size = PackedSize<Tag, MainVolumeDescriptorSequenceExtent,
                                                ReserveVolumeDescriptorSequenceExtent, Reserved>();
};
static_assert(TAnchorVolumeDescriptorPointer::Size == 512);

// ECMA-167 3/10.4 Implementation Use Volume Descriptor; its implementation
// use area holds the OSTA logical volume information (OSTA_UDF_150.h).
struct TImplementationUseVolumeDescriptor {
    using Tag = TBytes<0, 16>;                                     // 3/10.4.1
    using VolumeDescriptorSequenceNumber = TNumber<uint32_t, 16>;  // 3/10.4.2
    using ImplementationIdentifier = TBytes<20, TEntityId::Size>;  // 3/10.4.3
    using ImplementationUse = TBytes<52, 460>;                     // 3/10.4.4
    static constexpr uint32_t Size = PackedSize<Tag, VolumeDescriptorSequenceNumber,
                                                ImplementationIdentifier, ImplementationUse>();
};
static_assert(TImplementationUseVolumeDescriptor::Size == 512);

// ECMA-167 3/10.5 Partition Descriptor
struct TPartitionDescriptor {
    using Tag = TBytes<0, 16>;                                      // 3/10.5.1
    using VolumeDescriptorSequenceNumber = TNumber<uint32_t, 16>;   // 3/10.5.2
    using PartitionFlags = TNumber<uint16_t, 20>;                   // 3/10.5.3
    using PartitionNumber = TNumber<uint16_t, 22>;                  // 3/10.5.4
    using PartitionContents = TBytes<24, TEntityId::Size>;          // 3/10.5.5
    using PartitionContentsUse = TBytes<56, 128>;                   // 3/10.5.6
    using AccessType = TNumber<uint32_t, 184>;                      // 3/10.5.7
    using PartitionStartingLocation = TNumber<uint32_t, 188>;       // 3/10.5.8
    using PartitionLength = TNumber<uint32_t, 192>;                 // 3/10.5.9
    using ImplementationIdentifier = TBytes<196, TEntityId::Size>;  // 3/10.5.10
    using ImplementationUse = TBytes<228, 128>;                     // 3/10.5.11
    using Reserved = TBytes<356, 156>;                              // 3/10.5.12
    static constexpr uint32_t Size =
        PackedSize<Tag, VolumeDescriptorSequenceNumber, PartitionFlags, PartitionNumber,
                   PartitionContents, PartitionContentsUse, AccessType, PartitionStartingLocation,
                   PartitionLength, ImplementationIdentifier, ImplementationUse, Reserved>();
};
static_assert(TPartitionDescriptor::Size == 512);

// ECMA-167 3/10.5.7: access type 1, read only.
inline constexpr uint32_t kAccessReadOnly = 1;

// ECMA-167 3/10.7.2 Type 1 Partition Map
struct TType1PartitionMap {
    using PartitionMapType = TNumber<uint8_t, 0>;       // 3/10.7.2.1
    using PartitionMapLength = TNumber<uint8_t, 1>;     // 3/10.7.2.2
    using VolumeSequenceNumber = TNumber<uint16_t, 2>;  // 3/10.7.2.3
    using PartitionNumber = TNumber<uint16_t, 4>;       // 3/10.7.2.4
    static constexpr uint32_t Size =
        PackedSize<PartitionMapType, PartitionMapLength, VolumeSequenceNumber, PartitionNumber>();
};
static_assert(TType1PartitionMap::Size == 6);

// ECMA-167 3/10.6 Logical Volume Descriptor, recorded with one type 1
// partition map, which makes it 446 bytes.
struct TLogicalVolumeDescriptor {
    using Tag = TBytes<0, 16>;                                      // 3/10.6.1
    using VolumeDescriptorSequenceNumber = TNumber<uint32_t, 16>;   // 3/10.6.2
    using DescriptorCharacterSet = TBytes<20, TCharspec::Size>;     // 3/10.6.3
    using LogicalVolumeIdentifier = TBytes<84, 128>;                // 3/10.6.4, d-string
    using LogicalBlockSize = TNumber<uint32_t, 212>;                // 3/10.6.5
    using DomainIdentifier = TBytes<216, TEntityId::Size>;          // 3/10.6.6
    using LogicalVolumeContentsUse = TBytes<248, TLongAd::Size>;    // 3/10.6.7
    using MapTableLength = TNumber<uint32_t, 264>;                  // 3/10.6.8
    using NumberOfPartitionMaps = TNumber<uint32_t, 268>;           // 3/10.6.9
    using ImplementationIdentifier = TBytes<272, TEntityId::Size>;  // 3/10.6.10
    using ImplementationUse = TBytes<304, 128>;                     // 3/10.6.11
    using IntegritySequenceExtent = TBytes<432, TExtentAd::Size>;   // 3/10.6.12
    using PartitionMaps = TBytes<440, TType1PartitionMap::Size>;    // 3/10.6.13
    static constexpr uint32_t Size =
        PackedSize<Tag, VolumeDescriptorSequenceNumber, DescriptorCharacterSet,
                   LogicalVolumeIdentifier, LogicalBlockSize, DomainIdentifier,
                   LogicalVolumeContentsUse, MapTableLength, NumberOfPartitionMaps,
                   ImplementationIdentifier, ImplementationUse, IntegritySequenceExtent,
                   PartitionMaps>();
};
static_assert(TLogicalVolumeDescriptor::Size == 446);

// ECMA-167 3/10.8 Unallocated Space Descriptor, with no allocation descriptors.
struct TUnallocatedSpaceDescriptor {
    using Tag = TBytes<0, 16>;                                     // 3/10.8.1
    using VolumeDescriptorSequenceNumber = TNumber<uint32_t, 16>;  // 3/10.8.2
    using NumberOfAllocationDescriptors = TNumber<uint32_t, 20>;   // 3/10.8.3
    static constexpr uint32_t Size =
        PackedSize<Tag, VolumeDescriptorSequenceNumber, NumberOfAllocationDescriptors>();
};
static_assert(TUnallocatedSpaceDescriptor::Size == 24);

// ECMA-167 3/10.9 Terminating Descriptor (also 4/14.2 in a file set sequence).
struct TTerminatingDescriptor {
    using Tag = TBytes<0, 16>;         // 3/10.9.1
    using Reserved = TBytes<16, 496>;  // 3/10.9.2
    static constexpr uint32_t Size = PackedSize<Tag, Reserved>();
};
static_assert(TTerminatingDescriptor::Size == 512);

// ECMA-167 3/10.10 Logical Volume Integrity Descriptor, recorded for one
// partition: one free space table entry and one size table entry, followed
// by the implementation use area (OSTA_UDF_150.h).
struct TLogicalVolumeIntegrityDescriptor {
    using Tag = TBytes<0, 16>;                                  // 3/10.10.1
    using RecordingDateAndTime = TBytes<16, TTimestamp::Size>;  // 3/10.10.2
    using IntegrityType = TNumber<uint32_t, 28>;                // 3/10.10.3
    using NextIntegrityExtent = TBytes<32, TExtentAd::Size>;    // 3/10.10.4
    using LogicalVolumeContentsUse = TBytes<40, 32>;            // 3/10.10.5
    using NumberOfPartitions = TNumber<uint32_t, 72>;           // 3/10.10.6
    using LengthOfImplementationUse = TNumber<uint32_t, 76>;    // 3/10.10.7
    using FreeSpaceTable = TNumber<uint32_t, 80>;               // 3/10.10.8
    using SizeTable = TNumber<uint32_t, 84>;                    // 3/10.10.9
    static constexpr uint32_t FixedSize =
        PackedSize<Tag, RecordingDateAndTime, IntegrityType, NextIntegrityExtent,
                   LogicalVolumeContentsUse, NumberOfPartitions, LengthOfImplementationUse,
                   FreeSpaceTable, SizeTable>();
    using ImplementationUse = TBytes<FixedSize, 48>;  // 3/10.10.10
    static constexpr uint32_t Size = ImplementationUse::Offset + ImplementationUse::Length;
};
static_assert(TLogicalVolumeIntegrityDescriptor::FixedSize == 88);
static_assert(TLogicalVolumeIntegrityDescriptor::Size == 136);

// ECMA-167 3/10.10.3: integrity type 1, close.
inline constexpr uint32_t kIntegrityClose = 1;

// ECMA-167 4/14.1 File Set Descriptor
struct TFileSetDescriptor {
    using Tag = TBytes<0, 16>;                                                // 4/14.1.1
    using RecordingDateAndTime = TBytes<16, TTimestamp::Size>;                // 4/14.1.2
    using InterchangeLevel = TNumber<uint16_t, 28>;                           // 4/14.1.3
    using MaximumInterchangeLevel = TNumber<uint16_t, 30>;                    // 4/14.1.4
    using CharacterSetList = TNumber<uint32_t, 32>;                           // 4/14.1.5
    using MaximumCharacterSetList = TNumber<uint32_t, 36>;                    // 4/14.1.6
    using FileSetNumber = TNumber<uint32_t, 40>;                              // 4/14.1.7
    using FileSetDescriptorNumber = TNumber<uint32_t, 44>;                    // 4/14.1.8
    using LogicalVolumeIdentifierCharacterSet = TBytes<48, TCharspec::Size>;  // 4/14.1.9
    using LogicalVolumeIdentifier = TBytes<112, 128>;                         // 4/14.1.10, d-string
    using FileSetCharacterSet = TBytes<240, TCharspec::Size>;                 // 4/14.1.11
    using FileSetIdentifier = TBytes<304, 32>;                                // 4/14.1.12, d-string
    using CopyrightFileIdentifier = TBytes<336, 32>;                          // 4/14.1.13
    using AbstractFileIdentifier = TBytes<368, 32>;                           // 4/14.1.14
    using RootDirectoryIcb = TBytes<400, TLongAd::Size>;                      // 4/14.1.15
    using DomainIdentifier = TBytes<416, TEntityId::Size>;                    // 4/14.1.16
    using NextExtent = TBytes<448, TLongAd::Size>;                            // 4/14.1.17
    using SystemStreamDirectoryIcb = TBytes<464, TLongAd::Size>;              // 4/14.1.18
    using Reserved = TBytes<480, 32>;                                         // 4/14.1.19
    static constexpr uint32_t Size =
        PackedSize<Tag, RecordingDateAndTime, InterchangeLevel, MaximumInterchangeLevel,
                   CharacterSetList, MaximumCharacterSetList, FileSetNumber,
                   FileSetDescriptorNumber, LogicalVolumeIdentifierCharacterSet,
                   LogicalVolumeIdentifier, FileSetCharacterSet, FileSetIdentifier,
                   CopyrightFileIdentifier, AbstractFileIdentifier, RootDirectoryIcb,
                   DomainIdentifier, NextExtent, SystemStreamDirectoryIcb, Reserved>();
};
static_assert(TFileSetDescriptor::Size == 512);

// ECMA-167 4/14.4 File Identifier Descriptor: a fixed part, then the
// implementation use area, the identifier and padding to a multiple of 4.
struct TFileIdentifierDescriptor {
    using Tag = TBytes<0, 16>;                                // 4/14.4.1
    using FileVersionNumber = TNumber<uint16_t, 16>;          // 4/14.4.2
    using FileCharacteristics = TNumber<uint8_t, 18>;         // 4/14.4.3
    using LengthOfFileIdentifier = TNumber<uint8_t, 19>;      // 4/14.4.4
    using Icb = TBytes<20, TLongAd::Size>;                    // 4/14.4.5
    using LengthOfImplementationUse = TNumber<uint16_t, 36>;  // 4/14.4.6
    static constexpr uint32_t FixedSize =
        PackedSize<Tag, FileVersionNumber, FileCharacteristics, LengthOfFileIdentifier, Icb,
                   LengthOfImplementationUse>();
    // 4/14.4.7 implementation use, 4/14.4.8 file identifier and 4/14.4.9
    // padding follow from FixedSize.
};
static_assert(TFileIdentifierDescriptor::FixedSize == 38);

// ECMA-167 4/14.4.3: file characteristics bits.
enum : uint8_t {
    kFidDirectory = 0x02,
    kFidParent = 0x08,
};

// ECMA-167 4/14.5 Allocation Extent Descriptor: continues a file entry's
// allocation descriptors in a block of its own; the descriptors follow.
struct TAllocationExtentDescriptor {
    using Tag = TBytes<0, 16>;                                       // 4/14.5.1
    using PreviousAllocationExtentLocation = TNumber<uint32_t, 16>;  // 4/14.5.2
    using LengthOfAllocationDescriptors = TNumber<uint32_t, 20>;     // 4/14.5.3
    static constexpr uint32_t FixedSize =
        PackedSize<Tag, PreviousAllocationExtentLocation, LengthOfAllocationDescriptors>();
};
static_assert(TAllocationExtentDescriptor::FixedSize == 24);

// ECMA-167 4/14.14.1.1: extent types in the two high bits of an extent
// length; type 3 points at the next extent of allocation descriptors.
inline constexpr uint32_t kExtentNextAllocationDescriptors = 3u << 30;

// ECMA-167 4/14.6 ICB Tag
struct TIcbTag {
    using PriorRecordedNumberOfDirectEntries = TNumber<uint32_t, 0>;  // 4/14.6.1
    using StrategyType = TNumber<uint16_t, 4>;                        // 4/14.6.2
    using StrategyParameter = TBytes<6, 2>;                           // 4/14.6.3
    using MaximumNumberOfEntries = TNumber<uint16_t, 8>;              // 4/14.6.4
    using Reserved = TNumber<uint8_t, 10>;                            // 4/14.6.5
    using FileType = TNumber<uint8_t, 11>;                            // 4/14.6.6
    using ParentIcbLocation = TBytes<12, TLbAddr::Size>;              // 4/14.6.7
    using Flags = TNumber<uint16_t, 18>;                              // 4/14.6.8
    static constexpr uint32_t Size =
        PackedSize<PriorRecordedNumberOfDirectEntries, StrategyType, StrategyParameter,
                   MaximumNumberOfEntries, Reserved, FileType, ParentIcbLocation, Flags>();
};
static_assert(TIcbTag::Size == 20);

// ECMA-167 4/14.6.2 strategy 4 and 4/14.6.6 file types.
inline constexpr uint16_t kStrategyType4 = 4;
enum : uint8_t {
    kFileTypeDirectory = 4,
    kFileTypeRegular = 5,
};

// ECMA-167 4/14.9 File Entry: a fixed part, then the extended attributes
// and the allocation descriptors.
struct TFileEntryDescriptor {
    using Tag = TBytes<0, 16>;                                      // 4/14.9.1
    using IcbTag = TBytes<16, TIcbTag::Size>;                       // 4/14.9.2
    using Uid = TNumber<uint32_t, 36>;                              // 4/14.9.3
    using Gid = TNumber<uint32_t, 40>;                              // 4/14.9.4
    using Permissions = TNumber<uint32_t, 44>;                      // 4/14.9.5
    using FileLinkCount = TNumber<uint16_t, 48>;                    // 4/14.9.6
    using RecordFormat = TNumber<uint8_t, 50>;                      // 4/14.9.7
    using RecordDisplayAttributes = TNumber<uint8_t, 51>;           // 4/14.9.8
    using RecordLength = TNumber<uint32_t, 52>;                     // 4/14.9.9
    using InformationLength = TNumber<uint64_t, 56>;                // 4/14.9.10
    using LogicalBlocksRecorded = TNumber<uint64_t, 64>;            // 4/14.9.11
    using AccessTime = TBytes<72, TTimestamp::Size>;                // 4/14.9.12
    using ModificationTime = TBytes<84, TTimestamp::Size>;          // 4/14.9.13
    using AttributeTime = TBytes<96, TTimestamp::Size>;             // 4/14.9.14
    using Checkpoint = TNumber<uint32_t, 108>;                      // 4/14.9.15
    using ExtendedAttributeIcb = TBytes<112, TLongAd::Size>;        // 4/14.9.16
    using ImplementationIdentifier = TBytes<128, TEntityId::Size>;  // 4/14.9.17
    using UniqueId = TNumber<uint64_t, 160>;                        // 4/14.9.18
    using LengthOfExtendedAttributes = TNumber<uint32_t, 168>;      // 4/14.9.19
    using LengthOfAllocationDescriptors = TNumber<uint32_t, 172>;   // 4/14.9.20
    static constexpr uint32_t FixedSize =
        PackedSize<Tag, IcbTag, Uid, Gid, Permissions, FileLinkCount, RecordFormat,
                   RecordDisplayAttributes, RecordLength, InformationLength, LogicalBlocksRecorded,
                   AccessTime, ModificationTime, AttributeTime, Checkpoint, ExtendedAttributeIcb,
                   ImplementationIdentifier, UniqueId, LengthOfExtendedAttributes,
                   LengthOfAllocationDescriptors>();
    // 4/14.9.21 extended attributes and 4/14.9.22 allocation descriptors
    // follow from FixedSize.
};
static_assert(TFileEntryDescriptor::FixedSize == 176);

// ECMA-167 4/14.9.5 permission bits (other: bits 0-4, group: 5-9, owner: 10-14).
enum : uint32_t {
    kPermOtherExecute = 0x0001,
    kPermOtherRead = 0x0004,
    kPermGroupExecute = 0x0020,
    kPermGroupRead = 0x0080,
    kPermOwnerExecute = 0x0400,
    kPermOwnerRead = 0x1000,
};

}  // namespace tessor::builder::udf
