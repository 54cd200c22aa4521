// The descriptor pass: every structure in front of the file data, written
// once into HeaderBuffer at the sectors PrepareImage gave it.
#include <cstring>
#include <string>

#include "engine/builder/ECMA_119.h"
#include "engine/builder/HeaderArea.h"
#include "engine/builder/ISO9660.h"
#include "engine/builder/IsoRecords.h"
#include "engine/builder/SysUtilsW.h"
#include "engine/builder/Tree.h"
#include "engine/builder/TreeStorage.h"
#include "engine/builder/UDFBridge.h"
#include "engine/platform/ByteOrder.h"

namespace tessor::builder {

using namespace iso;
using namespace platform::byte_order;

namespace {

// Every volume descriptor opens with its type, the standard identifier and
// its version (ECMA-119 8.1.1 to 8.1.3).
template <typename TDescriptor>
void PutDescriptorHeader(uint8_t* s, uint8_t type, uint8_t version) {
    Put<typename TDescriptor::VolumeDescriptorType>(s, type);
    std::memcpy(At<typename TDescriptor::StandardIdentifier>(s), kStandardIdentifier, 5);
    Put<typename TDescriptor::VolumeDescriptorVersion>(s, version);
}

// ECMA-119 8.4.18: the root's record, identifier 00h, no date.
void PutRootRecord(uint8_t* p, uint32_t extent, uint32_t length) {
    using R = TDirectoryRecord;
    Put<R::LengthOfDirectoryRecord>(p, kRootDirectoryRecordSize);
    Put<R::LocationOfExtent>(p, extent);
    Put<R::DataLength>(p, length);
    Put<R::FileFlags>(p, kFlagDirectory);
    Put<R::VolumeSequenceNumber>(p, 1);
    Put<R::LengthOfFileIdentifier>(p, 1);
    p[R::FileIdentifier] = kCurrentDirectoryIdentifier;
}

// The fields the primary, enhanced and Joliet descriptors share.
void PutVolumeCommon(const TImageBuilder& b, uint8_t* s, uint8_t type, uint8_t version,
                     int32_t tableSize, int32_t tableL, int32_t tableM, int32_t dirArea,
                     uint32_t rootLength) {
    using V = TVolumeDescriptor;
    const auto session = static_cast<uint32_t>(b.SessionStartLba);
    PutDescriptorHeader<V>(s, type, version);
    Put<V::VolumeSpaceSize>(s, static_cast<uint32_t>(b.TotalSectors.load() + b.VolumeSizeBias));
    Put<V::VolumeSetSize>(s, 1);
    Put<V::VolumeSequenceNumber>(s, 1);
    Put<V::LogicalBlockSize>(s, kSectorSize);
    Put<V::PathTableSize>(s, static_cast<uint32_t>(tableSize));
    Put<V::TypeLPathTable>(s, static_cast<uint32_t>(tableL) + session);
    Put<V::TypeMPathTable>(s, static_cast<uint32_t>(tableM) + session);
    PutRootRecord(At<V::RootDirectoryRecord>(s), static_cast<uint32_t>(dirArea) + session,
                  rootLength);
    Put<V::FileStructureVersion>(s, version);
}

void EmitPrimary(TImageBuilder& b, bool enhanced) {
    uint8_t s[kSectorSize] = {};
    const uint8_t version = enhanced ? kEnhancedVersion : kVersion;
    PutVolumeCommon(b, s, enhanced ? kSupplementaryVolumeDescriptor : kPrimaryVolumeDescriptor,
                    version, b.IsoPathTableSize, b.IsoPathTableL, b.IsoPathTableM, b.IsoDirArea,
                    b.RootDir->IsoExtentSize);
    // At most 32 bytes of the label, never cut inside a character. The
    // escape sequences stay zero: they would mark a Joliet descriptor.
    std::string label =
        AsciiUpper(CutUtf8(b.VolumeLabelA, TVolumeDescriptor::VolumeIdentifier::Length));
    std::memcpy(At<TVolumeDescriptor::VolumeIdentifier>(s), label.data(), label.size());
    EmitBytes(b, s, kSectorSize);
}

void EmitJoliet(TImageBuilder& b) {
    using V = TVolumeDescriptor;
    uint8_t s[kSectorSize] = {};
    PutVolumeCommon(b, s, kSupplementaryVolumeDescriptor, kVersion, b.JolietPathTableSize,
                    b.JolietPathTableL, b.JolietPathTableM, b.JolietDirArea,
                    b.RootDir->JolietExtentSize);
    // The label in UCS-2, big-endian: 16 characters fill the 32 bytes.
    std::u16string_view label =
        CutUtf16(FieldText(b.VolumeLabelW, 32), V::VolumeIdentifier::Length / 2);
    for (size_t i = 0; i < label.size(); ++i)
        PutBE16(At<V::VolumeIdentifier>(s) + 2 * i, static_cast<uint16_t>(label[i]));
    std::memcpy(At<V::EscapeSequences>(s), kJolietEscapeSequence, sizeof kJolietEscapeSequence);
    EmitBytes(b, s, kSectorSize);
}

void EmitBootRecord(TImageBuilder& b) {
    using R = TBootRecord;
    uint8_t s[kSectorSize] = {};
    PutDescriptorHeader<R>(s, kBootRecord, kVersion);
    std::memcpy(At<R::BootSystemIdentifier>(s), kElToritoSystemIdentifier,
                sizeof kElToritoSystemIdentifier - 1);
    Put<R::BootCatalogPointer>(s, static_cast<uint32_t>(b.BootCatalogLba + b.SessionStartLba));
    EmitBytes(b, s, kSectorSize);
}

void EmitTerminator(TImageBuilder& b) {
    uint8_t s[kSectorSize] = {};
    PutDescriptorHeader<TVolumeDescriptorSetTerminator>(s, kVolumeDescriptorSetTerminator,
                                                        kVersion);
    EmitBytes(b, s, kSectorSize);
}

// One record of a path table in the table's byte order; returns its length.
template <typename R>
uint32_t PutPathTableRecord(uint8_t* r, const std::string& name, uint32_t extent, uint16_t parent) {
    Put<typename R::LengthOfDirectoryIdentifier>(r, static_cast<uint8_t>(name.size()));
    Put<typename R::LocationOfExtent>(r, extent);
    Put<typename R::ParentDirectoryNumber>(r, parent);
    std::memcpy(r + R::DirectoryIdentifier, name.data(), name.size());
    return R::SizeFor(static_cast<uint32_t>(name.size()));
}

void EmitPathTable(TImageBuilder& b, TTreeKind kind, bool bigEndian) {
    const bool joliet = kind == TTreeKind::Joliet;
    int32_t start = b.HeaderLength / kSectorSize;
    for (const TDirEntry* d : b.PathTableOrder) {
        uint8_t r[TPathTableRecordL::SizeFor(255)] = {};
        std::string name = d == b.RootDir || !d->Entry
                               ? std::string(1, static_cast<char>(kCurrentDirectoryIdentifier))
                               : RecordName(b, d->Entry, kind);
        uint32_t area = static_cast<uint32_t>(joliet ? b.JolietDirArea : b.IsoDirArea);
        uint32_t extent = area + (joliet ? d->JolietExtentStart : d->IsoExtentStart) +
                          static_cast<uint32_t>(b.SessionStartLba);
        uint16_t parent = d->Parent->PathTableNumber;
        uint32_t length = bigEndian
                              ? PutPathTableRecord<TPathTableRecordM>(r, name, extent, parent)
                              : PutPathTableRecord<TPathTableRecordL>(r, name, extent, parent);
        EmitBytes(b, r, length);
    }
    int32_t size = joliet ? b.JolietPathTableSize : b.IsoPathTableSize;
    EmitZeroTo(b, start + static_cast<int32_t>(SectorsForBytes(static_cast<uint64_t>(size))));
}

void EmitDirectories(TImageBuilder& b, TTreeKind kind) {
    for (const TDirEntry* d : b.DirTable) {
        uint32_t size = kind == TTreeKind::Joliet ? d->JolietExtentSize : d->IsoExtentSize;
        uint32_t start = kind == TTreeKind::Joliet ? d->JolietExtentStart : d->IsoExtentStart;
        int32_t area = kind == TTreeKind::Joliet ? b.JolietDirArea : b.IsoDirArea;
        EmitZeroTo(b, area + static_cast<int32_t>(start));
        if (b.HeaderLength + size > HeaderCapacity(b))
            return;
        // Packed straight into the buffer, which is still zero there.
        PackDirectory(b, d, kind, b.HeaderBuffer.get() + b.HeaderLength);
        b.HeaderLength += size;
    }
}

// El Torito 2.0: a catalog of the validation entry and the default entry,
// which boots the one image.
void EmitBootCatalog(TImageBuilder& b) {
    using V = TValidationEntry;
    using D = TDefaultEntry;
    uint8_t s[kSectorSize] = {};
    Put<V::HeaderId>(s, kValidationHeaderId);
    Put<V::PlatformId>(s, kPlatformX86);
    std::memcpy(At<V::IdString>(s), kBootCatalogIdString, sizeof kBootCatalogIdString - 1);
    std::memcpy(At<V::KeyBytes>(s), kValidationKeyBytes, sizeof kValidationKeyBytes);
    uint32_t sum = 0;
    for (uint32_t i = 0; i < V::Size; i += 2)
        sum += GetLE16(s + i);
    Put<V::Checksum>(s, static_cast<uint16_t>(0x10000 - (sum & 0xFFFF)));

    uint8_t* entry = s + V::Size;
    const TBootImageKind* kind = FindBootImageKind(b.BootImageSize);
    if (kind == nullptr)
        kind = &kBootImageKinds[0];
    Put<D::BootIndicator>(entry, kBootable);
    Put<D::BootMediaType>(entry, kind->BootMediaType);
    Put<D::SectorCount>(entry, kind->SectorCount);
    Put<D::LoadRba>(entry, static_cast<uint32_t>(b.BootImageLba + b.SessionStartLba));
    EmitBytes(b, s, kSectorSize);
}

}  // namespace

bool BuildHeaderArea(TImageBuilder& b) {
    if (!b.Prepared || !b.RootDir)
        return false;
    b.HeaderBuffer = std::make_unique<uint8_t[]>(HeaderCapacity(b));
    b.HeaderLength = 0;

    EmitZeroSectors(b, static_cast<uint32_t>(kFirstVolumeDescriptorSector));
    EmitPrimary(b, false);
    if (b.BootImagePath[0])
        EmitBootRecord(b);
    if (b.ISO9660v1999FS)
        EmitPrimary(b, true);
    if (b.JolietFileSystem)
        EmitJoliet(b);
    EmitTerminator(b);

    if (b.UDFBridge)
        EmitUdfFixedArea(b);

    EmitZeroTo(b, b.IsoPathTableL);
    EmitPathTable(b, TTreeKind::Iso, false);
    EmitPathTable(b, TTreeKind::Iso, true);
    if (b.JolietFileSystem) {
        EmitPathTable(b, TTreeKind::Joliet, false);
        EmitPathTable(b, TTreeKind::Joliet, true);
    }
    EmitDirectories(b, TTreeKind::Iso);
    if (b.JolietFileSystem)
        EmitDirectories(b, TTreeKind::Joliet);
    if (b.BootImagePath[0]) {
        EmitZeroTo(b, b.BootCatalogLba);
        EmitBootCatalog(b);
    }
    if (b.LeadInPad > 0)
        EmitZeroSectors(b, static_cast<uint32_t>(b.LeadInPad));
    return true;
}

}  // namespace tessor::builder
