#include "engine/builder/IsoRecords.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "engine/builder/ECMA_119.h"
#include "engine/builder/ISO9660.h"
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
    return iso::TDirectoryRecord::SizeFor(static_cast<uint32_t>(nameLength));
}

void WriteRecord(const TImageBuilder& b, uint8_t* p, const TRecord& r, const std::string& name) {
    using R = iso::TDirectoryRecord;
    using T = iso::TRecordingDateAndTime;
    Put<R::LengthOfDirectoryRecord>(p, static_cast<uint8_t>(RecordLength(name.size())));
    Put<R::LocationOfExtent>(p, r.extent);
    Put<R::DataLength>(p, r.length);
    if (r.time) {
        uint8_t* t = At<R::RecordingDateAndTime>(p);
        Put<T::YearsSince1900>(t, static_cast<uint8_t>(std::clamp(r.time->wYear - 1900, 0, 255)));
        Put<T::Month>(t, static_cast<uint8_t>(r.time->wMonth));
        Put<T::Day>(t, static_cast<uint8_t>(r.time->wDay));
        Put<T::Hour>(t, static_cast<uint8_t>(r.time->wHour));
        Put<T::Minute>(t, static_cast<uint8_t>(r.time->wMinute));
        Put<T::Second>(t, static_cast<uint8_t>(r.time->wSecond));
        Put<T::OffsetFromGmt>(t, static_cast<uint8_t>(b.TimeZoneOffset & 0xFF));
    }
    Put<R::FileFlags>(p, r.flags);
    Put<R::VolumeSequenceNumber>(p, 1);
    Put<R::LengthOfFileIdentifier>(p, static_cast<uint8_t>(name.size()));
    std::memcpy(p + R::FileIdentifier, name.data(), name.size());
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
    using namespace iso;
    static const std::string dot(1, static_cast<char>(kCurrentDirectoryIdentifier));
    static const std::string dotDot(1, static_cast<char>(kParentDirectoryIdentifier));
    packer.Add({DirExtent(b, dir, kind), DirLength(dir, kind), kFlagDirectory, nullptr}, dot);
    packer.Add(
        {DirExtent(b, dir->Parent, kind), DirLength(dir->Parent, kind), kFlagDirectory, nullptr},
        dotDot);
    for (const TFileEntry* e = dir->FirstChild; e; e = e->NextSibling) {
        std::string name = RecordName(b, e, kind);
        // Existence bit (shown as hidden) only for an entry whose sole
        // attribute is hidden.
        uint8_t hidden = e->Attributes == 0x02 ? kFlagExistence : 0x00;
        if (e->Directory) {
            packer.Add({DirExtent(b, e->Directory, kind), DirLength(e->Directory, kind),
                        static_cast<uint8_t>(kFlagDirectory | hidden), &e->WriteTime},
                       name);
            continue;
        }
        if (e->Size == 0) {
            packer.Add({0, 0, hidden, &e->WriteTime}, name);
            continue;
        }
        // ECMA-119 6.5.1: a file over 4 GiB is several records of one name,
        // every one but the last flagged "not final": consecutive extents
        // over each run of its data (one run, unless an earlier session
        // left it in several places).
        const TRecordedRun whole{DataAddress(b, e), e->Size};
        const std::vector<TRecordedRun>* runs = RecordedRuns(b, e);
        const std::span<const TRecordedRun> list =
            runs ? std::span<const TRecordedRun>(*runs) : std::span<const TRecordedRun>(&whole, 1);
        // A file in one run up to 4 GiB - 1 takes one record.
        const uint64_t most =
            list.size() == 1 && e->Size <= 0xFFFFFFFFull ? 0xFFFFFFFFull : kMaxExtentBytes;
        for (size_t r = 0; r < list.size(); ++r) {
            uint64_t remaining = list[r].Bytes;
            for (uint32_t i = 0; remaining > 0; ++i) {
                const uint64_t piece = std::min(remaining, most);
                remaining -= piece;
                const bool last = remaining == 0 && r + 1 == list.size();
                const auto flags = static_cast<uint8_t>(hidden | (last ? 0 : kFlagMultiExtent));
                packer.Add({list[r].Lba + i * kMaxExtentSectors, static_cast<uint32_t>(piece),
                            flags, &e->WriteTime},
                           name);
            }
        }
    }
    return packer.Sectors();
}

}  // namespace tessor::builder
