#include "engine/builder/IsoRecords.h"

#include <algorithm>
#include <cstring>

#include "engine/builder/SysUtilsW.h"
#include "engine/builder/TreeStorage.h"
#include "engine/platform/ByteOrder.h"
#include "engine/platform/Strings.h"

namespace tessor::builder {

using namespace platform::byte_order;

uint32_t ExtentCount(const TFileEntry* e) {
    if (e->Directory || e->Size <= 0xFFFFFFFFull)
        return 1;
    return static_cast<uint32_t>((e->Size + kMaxExtentBytes - 1) / kMaxExtentBytes);
}

std::string RecordName(const TImageBuilder& b, const TFileEntry* e, TTreeKind kind) {
    const TTreeStorage& st = *b.Storage;
    if (kind == TTreeKind::Joliet) {
        auto cut = st.JolietNames.find(e);
        const std::u16string& name = cut != st.JolietNames.end() ? cut->second : e->LongName;
        std::string out(name.size() * 2, '\0');
        for (size_t i = 0; i < name.size(); ++i)
            PutBE16(reinterpret_cast<uint8_t*>(out.data()) + 2 * i, static_cast<uint16_t>(name[i]));
        return out;
    }
    auto own = st.IsoNames.find(e);
    if (own != st.IsoNames.end())
        return own->second;
    if (b.ISO9660v1999FS)
        return platform::ToSystem(e->LongName);
    return AsciiUpper(std::string_view(e->ShortName, e->ShortNameLength));
}

namespace {

struct TRecord {
    uint32_t extent = 0;
    uint32_t length = 0;
    uint8_t flags = 0;
    const platform::TSystemTime* time = nullptr;  // null: all-zero date
};

size_t RecordLength(size_t nameLength) {
    return 33 + nameLength + (nameLength % 2 == 0 ? 1 : 0);
}

void WriteRecord(const TImageBuilder& b, uint8_t* p, const TRecord& r, const std::string& name) {
    size_t length = RecordLength(name.size());
    p[0] = static_cast<uint8_t>(length);
    PutBoth32(p + 2, r.extent);
    PutBoth32(p + 10, r.length);
    if (r.time) {
        int year = r.time->wYear - 1900;
        p[18] = static_cast<uint8_t>(std::clamp(year, 0, 255));
        p[19] = static_cast<uint8_t>(r.time->wMonth);
        p[20] = static_cast<uint8_t>(r.time->wDay);
        p[21] = static_cast<uint8_t>(r.time->wHour);
        p[22] = static_cast<uint8_t>(r.time->wMinute);
        p[23] = static_cast<uint8_t>(r.time->wSecond);
        p[24] = static_cast<uint8_t>(b.TimeZoneOffset & 0xFF);
    }
    p[25] = r.flags;
    PutBoth16(p + 28, 1);
    p[32] = static_cast<uint8_t>(name.size());
    std::memcpy(p + 33, name.data(), name.size());
}

class TPacker {
public:
    TPacker(const TImageBuilder& b, uint8_t* out) : b_(b), out_(out) {}
    void Add(const TRecord& r, const std::string& name) {
        size_t length = RecordLength(name.size());
        if (used_ + length > static_cast<size_t>(kSectorSize)) {
            ++sectors_;
            used_ = 0;
        }
        if (out_)
            WriteRecord(b_, out_ + static_cast<size_t>(sectors_) * kSectorSize + used_, r, name);
        used_ += length;
    }
    uint32_t Sectors() const { return sectors_ + 1; }

private:
    const TImageBuilder& b_;
    uint8_t* out_;
    uint32_t sectors_ = 0;
    size_t used_ = 0;
};

uint32_t DirExtent(const TImageBuilder& b, const TDirEntry* d, TTreeKind kind) {
    if (kind == TTreeKind::Joliet)
        return static_cast<uint32_t>(b.JolietDirArea) + d->JolietExtentStart + b.SessionStartLba;
    return static_cast<uint32_t>(b.IsoDirArea) + d->IsoExtentStart + b.SessionStartLba;
}

uint32_t DirLength(const TDirEntry* d, TTreeKind kind) {
    return kind == TTreeKind::Joliet ? d->JolietExtentSize : d->IsoExtentSize;
}

}  // namespace

uint32_t PackDirectory(const TImageBuilder& b, const TDirEntry* dir, TTreeKind kind, uint8_t* out) {
    TPacker packer(b, out);
    static const std::string dot(1, '\0');
    static const std::string dotDot(1, '\1');
    packer.Add({DirExtent(b, dir, kind), DirLength(dir, kind), 2, nullptr}, dot);
    packer.Add({DirExtent(b, dir->Parent, kind), DirLength(dir->Parent, kind), 2, nullptr}, dotDot);
    for (const TFileEntry* e = dir->FirstChild; e; e = e->NextSibling) {
        std::string name = RecordName(b, e, kind);
        // Existence bit (shown as hidden) only for an entry whose sole
        // attribute is hidden.
        uint8_t hidden = e->Attributes == 0x02 ? 0x01 : 0x00;
        if (e->Directory) {
            packer.Add({DirExtent(b, e->Directory, kind), DirLength(e->Directory, kind),
                        static_cast<uint8_t>(2 | hidden), &e->WriteTime},
                       name);
            continue;
        }
        if (e->Size == 0) {
            packer.Add({0, 0, hidden, &e->WriteTime}, name);
            continue;
        }
        uint32_t start = static_cast<uint32_t>(b.FirstDataLba) + e->DataLba + b.SessionStartLba;
        if (e->Size <= 0xFFFFFFFFull) {
            packer.Add({start, static_cast<uint32_t>(e->Size), hidden, &e->WriteTime}, name);
            continue;
        }
        // ECMA-119 6.5.1: consecutive extents over the file's contiguous
        // data, every record but the last flagged "not final" (bit 7).
        uint64_t remaining = e->Size;
        for (uint32_t i = 0; remaining > 0; ++i) {
            uint64_t piece = std::min(remaining, kMaxExtentBytes);
            remaining -= piece;
            uint8_t flags = static_cast<uint8_t>(hidden | (remaining > 0 ? 0x80 : 0));
            packer.Add(
                {start + i * kMaxExtentSectors, static_cast<uint32_t>(piece), flags, &e->WriteTime},
                name);
        }
    }
    return packer.Sectors();
}

}  // namespace tessor::builder
