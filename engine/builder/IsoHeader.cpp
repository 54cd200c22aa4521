// The descriptor pass: every structure in front of the file data, written
// once into HeaderBuffer at the sectors PrepareImage gave it.
#include <algorithm>
#include <cstring>
#include <string>

#include "engine/builder/HeaderArea.h"
#include "engine/builder/ISO9660.h"
#include "engine/builder/IsoRecords.h"
#include "engine/builder/SysUtilsW.h"
#include "engine/builder/Tree.h"
#include "engine/builder/TreeStorage.h"
#include "engine/builder/UDFBridge.h"
#include "engine/platform/ByteOrder.h"

namespace tessor::builder {

using namespace platform::byte_order;

namespace {

void PutRootRecord(uint8_t* p, uint32_t extent, uint32_t length) {
    p[0] = 34;
    PutBoth32(p + 2, extent);
    PutBoth32(p + 10, length);
    p[25] = 2;
    PutBoth16(p + 28, 1);
    p[32] = 1;
}

// The fields the primary, enhanced and Joliet descriptors share.
void PutVolumeCommon(const TImageBuilder& b, uint8_t* s, uint8_t type, uint8_t version,
                     int32_t tableSize, int32_t tableL, int32_t tableM, int32_t dirArea,
                     uint32_t rootLength) {
    s[0] = type;
    std::memcpy(s + 1, "CD001", 5);
    s[6] = version;
    PutBoth32(s + 80, static_cast<uint32_t>(b.TotalSectors.load() + b.VolumeSizeBias));
    PutBoth16(s + 120, 1);
    PutBoth16(s + 124, 1);
    PutBoth16(s + 128, kSectorSize);
    PutBoth32(s + 132, static_cast<uint32_t>(tableSize));
    PutLE32(s + 140, static_cast<uint32_t>(tableL + b.SessionStartLba));
    PutBE32(s + 148, static_cast<uint32_t>(tableM + b.SessionStartLba));
    PutRootRecord(s + 156, static_cast<uint32_t>(dirArea + b.SessionStartLba), rootLength);
    s[881] = version;
}

void EmitPrimary(TImageBuilder& b, bool enhanced) {
    uint8_t s[kSectorSize] = {};
    PutVolumeCommon(b, s, enhanced ? 2 : 1, enhanced ? 2 : 1, b.IsoPathTableSize, b.IsoPathTableL,
                    b.IsoPathTableM, b.IsoDirArea, b.RootDir->IsoExtentSize);
    // Volume identifier: at most 32 bytes of the label, never cut inside a
    // character. Bytes 88 to 119 stay zero: the UCS-2 escape sequence marks
    // a Joliet descriptor and must not appear in the primary one.
    std::string label = AsciiUpper(CutUtf8(b.VolumeLabelA, 32));
    std::memcpy(s + 40, label.data(), label.size());
    EmitBytes(b, s, kSectorSize);
}

void EmitJoliet(TImageBuilder& b) {
    uint8_t s[kSectorSize] = {};
    PutVolumeCommon(b, s, 2, 1, b.JolietPathTableSize, b.JolietPathTableL, b.JolietPathTableM,
                    b.JolietDirArea, b.RootDir->JolietExtentSize);
    std::u16string_view label = CutUtf16(FieldText(b.VolumeLabelW, 32), 16);
    for (size_t i = 0; i < label.size(); ++i)
        PutBE16(s + 40 + 2 * i, static_cast<uint16_t>(label[i]));
    s[88] = 0x25;
    s[89] = 0x2F;
    s[90] = 0x40;
    EmitBytes(b, s, kSectorSize);
}

void EmitBootRecord(TImageBuilder& b) {
    uint8_t s[kSectorSize] = {};
    s[0] = 0;
    std::memcpy(s + 1, "CD001", 5);
    s[6] = 1;
    std::memcpy(s + 7, "EL TORITO SPECIFICATION", 23);
    PutLE32(s + 71, static_cast<uint32_t>(b.BootCatalogLba + b.SessionStartLba));
    EmitBytes(b, s, kSectorSize);
}

void EmitTerminator(TImageBuilder& b) {
    uint8_t s[kSectorSize] = {};
    s[0] = 255;
    std::memcpy(s + 1, "CD001", 5);
    s[6] = 1;
    EmitBytes(b, s, kSectorSize);
}

void EmitPathTable(TImageBuilder& b, TTreeKind kind, bool bigEndian) {
    int32_t start = b.HeaderLength / kSectorSize;
    for (const TDirEntry* d : b.PathTableOrder) {
        uint8_t r[8 + 256] = {};
        std::string name =
            d == b.RootDir || !d->Entry ? std::string(1, '\0') : RecordName(b, d->Entry, kind);
        uint32_t area = kind == TTreeKind::Joliet ? static_cast<uint32_t>(b.JolietDirArea)
                                                  : static_cast<uint32_t>(b.IsoDirArea);
        uint32_t extent = area +
                          (kind == TTreeKind::Joliet ? d->JolietExtentStart : d->IsoExtentStart) +
                          static_cast<uint32_t>(b.SessionStartLba);
        r[0] = static_cast<uint8_t>(name.size());
        if (bigEndian) {
            PutBE32(r + 2, extent);
            PutBE16(r + 6, d->Parent->PathTableNumber);
        } else {
            PutLE32(r + 2, extent);
            PutLE16(r + 6, d->Parent->PathTableNumber);
        }
        std::memcpy(r + 8, name.data(), name.size());
        EmitBytes(b, r, static_cast<uint32_t>(8 + name.size() + (name.size() % 2)));
    }
    int32_t size = kind == TTreeKind::Joliet ? b.JolietPathTableSize : b.IsoPathTableSize;
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

void EmitBootCatalog(TImageBuilder& b) {
    uint8_t s[kSectorSize] = {};
    s[0] = 1;
    std::memcpy(s + 4, "Ostravelquinmarkdix", 19);
    s[30] = 0x55;
    s[31] = 0xAA;
    uint32_t sum = 0;
    for (int i = 0; i < 32; i += 2)
        sum += GetLE16(s + i);
    PutLE16(s + 28, static_cast<uint16_t>(0x10000 - (sum & 0xFFFF)));
    s[32] = 0x88;
    uint8_t media = 0;
    switch (b.BootImageSize) {
        case 1228800:
            media = 1;
            break;
        case 1474560:
            media = 2;
            break;
        case 2949120:
            media = 3;
            break;
        default:
            media = 0;
            break;
    }
    s[33] = media;
    PutLE16(s + 38, media == 0 ? 4 : 1);
    PutLE32(s + 40, static_cast<uint32_t>(b.BootImageLba + b.SessionStartLba));
    EmitBytes(b, s, kSectorSize);
}

}  // namespace

bool BuildHeaderArea(TImageBuilder& b) {
    if (!b.Prepared || !b.RootDir)
        return false;
    b.HeaderBuffer = std::make_unique<uint8_t[]>(HeaderCapacity(b));
    b.HeaderLength = 0;

    EmitZeroSectors(b, 16);
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
