// The layout pass: sorts the tree and gives every structure and every file
// its sectors. The order of the areas on the disc is the order of the steps
// in PrepareImage.
#include "engine/builder/ISO9660.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/builder/ECMA_119.h"
#include "engine/builder/IsoRecords.h"
#include "engine/builder/SmartReferences.h"
#include "engine/builder/SysUtilsW.h"
#include "engine/builder/Tree.h"
#include "engine/builder/TreeStorage.h"
#include "engine/builder/UDFBridge.h"
#include "engine/platform/Beep.h"
#include "engine/platform/Strings.h"

namespace tessor::builder {

namespace {

// Short names compared as unsigned bytes with a to z folded to upper case.
// The sort works on copies of the folded names next to the entry pointers,
// so that comparing does not chase pointers across the whole tree.
struct TSortKey {
    std::array<uint8_t, 16> name;
    uint8_t length;
    TFileEntry* entry;
};

bool KeyLess(const TSortKey& a, const TSortKey& b) {
    int c = std::memcmp(a.name.data(), b.name.data(), std::min(a.length, b.length));
    return c != 0 ? c < 0 : a.length < b.length;
}

void SortChildList(TDirEntry* d, std::vector<TSortKey>& keys) {
    keys.clear();
    for (TFileEntry* e = d->FirstChild; e; e = e->NextSibling) {
        TSortKey k{};
        k.length = std::min<uint8_t>(e->ShortNameLength, 16);
        for (size_t i = 0; i < k.length; ++i)
            k.name[i] = AsciiUpper(static_cast<unsigned char>(e->ShortName[i]));
        k.entry = e;
        keys.push_back(k);
    }
    std::stable_sort(keys.begin(), keys.end(), KeyLess);
    d->FirstChild = keys.empty() ? nullptr : keys.front().entry;
    d->LastChild = keys.empty() ? nullptr : keys.back().entry;
    for (size_t i = 0; i < keys.size(); ++i)
        keys[i].entry->NextSibling = i + 1 < keys.size() ? keys[i + 1].entry : nullptr;
}

// Path-table order: by parent number, then by name in the thread's
// collation, repeated until the numbering no longer moves anything.
void SortPathTable(TImageBuilder& b) {
    std::vector<TDirEntry*>& order = b.PathTableOrder;
    auto number = [&] {
        for (size_t i = 0; i < order.size(); ++i)
            order[i]->PathTableNumber = static_cast<uint16_t>(i + 1);
    };
    number();
    if (order.size() < 2)
        return;
    for (int round = 0; round < 1000; ++round) {
        number();
        std::stable_sort(order.begin() + 1, order.end(),
                         [](const TDirEntry* x, const TDirEntry* y) {
                             if (x->Parent->PathTableNumber != y->Parent->PathTableNumber)
                                 return x->Parent->PathTableNumber < y->Parent->PathTableNumber;
                             return platform::CompareLocale(x->LongName, y->LongName) < 0;
                         });
        bool moved = false;
        for (size_t i = 0; i < order.size() && !moved; ++i)
            moved = order[i]->PathTableNumber != i + 1;
        if (!moved)
            return;
    }
    // Not settled: tell the user with the system beep and keep the last
    // order, numbered as it stands, so that the path tables stay consistent
    // with themselves.
    platform::Beep();
    number();
}

// Where a name must be cut to fit a record, the extension is kept and a
// "~N" before it keeps the name unique in its directory.
template <typename TString, typename TCut>
TString CutName(const TString& name, size_t max, int n, TCut cut) {
    using TChar = typename TString::value_type;
    size_t dot = name.rfind(static_cast<TChar>('.'));
    size_t extLength =
        (dot != TString::npos && dot > 0 && name.size() - dot <= 16) ? name.size() - dot : 0;
    TString suffix;
    if (n > 0) {
        suffix.push_back(static_cast<TChar>('~'));
        for (char c : std::to_string(n))
            suffix.push_back(static_cast<TChar>(c));
    }
    TString base = name.substr(0, name.size() - extLength);
    size_t room = max - extLength - suffix.size();
    TString out(cut(base, room));
    out += suffix;
    out += name.substr(name.size() - extLength);
    return out;
}

std::string FoldAscii(std::string_view s) {
    return AsciiUpper(s);
}

// Short names are kept as found, but two equal names in one directory make
// strict readers refuse the whole image: the second and later ones are
// written as "BASE~N.EXT" (at most 6 bytes of the base), unique in the
// directory.
void UniqueShortNames(TImageBuilder& b, const TDirEntry* d) {
    // The list is sorted by the folded short name, so equal names are
    // neighbours; the set of every name is only made when two are equal.
    bool clash = false;
    for (const TFileEntry* e = d->FirstChild; e && e->NextSibling && !clash; e = e->NextSibling) {
        const TFileEntry* n = e->NextSibling;
        clash = e->ShortNameLength == n->ShortNameLength &&
                AsciiUpper(std::string_view(e->ShortName, e->ShortNameLength)) ==
                    AsciiUpper(std::string_view(n->ShortName, n->ShortNameLength));
    }
    if (!clash)
        return;
    std::unordered_set<std::string> seen;
    std::vector<TFileEntry*> clashes;
    for (TFileEntry* e = d->FirstChild; e; e = e->NextSibling)
        if (!seen.insert(AsciiUpper(std::string_view(e->ShortName, e->ShortNameLength))).second)
            clashes.push_back(e);
    for (TFileEntry* e : clashes) {
        std::string name = AsciiUpper(std::string_view(e->ShortName, e->ShortNameLength));
        size_t dot = name.rfind('.');
        std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
        std::string base = name.substr(0, dot == std::string::npos ? name.size() : dot);
        for (int n = 1;; ++n) {
            std::string candidate(CutUtf8(base, 6));
            candidate += '~';
            candidate += std::to_string(n);
            candidate += ext;
            if (seen.insert(candidate).second) {
                b.Storage->IsoNames.emplace(e, std::move(candidate));
                break;
            }
        }
    }
}

// Joliet names over 110 units and ISO 9660:1999 names over 207 bytes are cut;
// the cut names are made unique against every other name of the directory.
void AssignCutNames(TImageBuilder& b) {
    TTreeStorage& st = *b.Storage;
    st.JolietNames.clear();
    st.IsoNames.clear();
    for (TDirEntry* d : b.DirTable) {
        if (b.JolietFileSystem) {
            bool any = false;
            for (TFileEntry* e = d->FirstChild; e && !any; e = e->NextSibling)
                any = e->LongName.size() > kMaxJolietUnits;
            if (any) {
                std::unordered_set<std::u16string> taken;
                for (TFileEntry* e = d->FirstChild; e; e = e->NextSibling)
                    if (e->LongName.size() <= kMaxJolietUnits)
                        taken.insert(platform::FoldCase(e->LongName));
                for (TFileEntry* e = d->FirstChild; e; e = e->NextSibling) {
                    if (e->LongName.size() <= kMaxJolietUnits)
                        continue;
                    for (int n = 0;; ++n) {
                        std::u16string cut = CutName(e->LongName, kMaxJolietUnits, n, CutUtf16);
                        if (taken.insert(platform::FoldCase(cut)).second) {
                            st.JolietNames.emplace(e, std::move(cut));
                            break;
                        }
                    }
                }
            }
        }
        if (!b.ISO9660v1999FS) {
            UniqueShortNames(b, d);
        } else {
            std::vector<std::pair<TFileEntry*, std::string>> longOnes;
            std::unordered_set<std::string> taken;
            for (TFileEntry* e = d->FirstChild; e; e = e->NextSibling) {
                std::string name = platform::ToSystem(e->LongName);
                if (name.size() > kMaxIso1999Bytes)
                    longOnes.emplace_back(e, std::move(name));
                else
                    taken.insert(FoldAscii(name));
            }
            for (auto& [e, name] : longOnes) {
                for (int n = 0;; ++n) {
                    std::string cut = CutName(name, kMaxIso1999Bytes, n, CutUtf8);
                    if (taken.insert(FoldAscii(cut)).second) {
                        st.IsoNames.emplace(e, std::move(cut));
                        break;
                    }
                }
            }
        }
    }
}

// The root's record (a one-byte identifier) and one record per directory.
int32_t PathTableBytes(const TImageBuilder& b, TTreeKind kind) {
    using R = iso::TPathTableRecordL;
    uint32_t size = R::SizeFor(1);
    for (const TDirEntry* d : b.DirTable) {
        if (d == b.RootDir || !d->Entry)
            continue;
        size += R::SizeFor(static_cast<uint32_t>(RecordName(b, d->Entry, kind).size()));
    }
    return static_cast<int32_t>(size);
}

// Steps 7 and 8: every directory's extent, in creation order.
int32_t LayoutDirectories(TImageBuilder& b, TTreeKind kind) {
    uint32_t sectors = 0;
    for (TDirEntry* d : b.DirTable) {
        uint32_t extent = PackDirectory(b, d, kind, nullptr);
        if (kind == TTreeKind::Joliet) {
            d->JolietExtentStart = sectors;
            d->JolietExtentSize = extent * kSectorSize;
        } else {
            d->IsoExtentStart = sectors;
            d->IsoExtentSize = extent * kSectorSize;
        }
        sectors += extent;
    }
    return static_cast<int32_t>(sectors);
}

}  // namespace

int32_t PrepareImage(TImageBuilder& b) {
    b.StatusCode = S_PREPARING;
    if (!b.RootDir)
        ClearFiles(b);

    // Sort: every child list by short name, then the path-table order.
    std::vector<TSortKey> scratch;
    for (TDirEntry* d : b.DirTable)
        SortChildList(d, scratch);
    SortPathTable(b);
    AssignCutNames(b);
    bool boot = b.BootImagePath[0] != 0;

    int32_t next = iso::kFirstVolumeDescriptorSector;
    next += 1;  // primary
    next += b.ISO9660v1999FS ? 1 : 0;
    next += boot ? 1 : 0;
    next += b.JolietFileSystem ? 1 : 0;
    next += 1;  // terminator

    if (b.UDFBridge)
        next = LayoutUdfFixedArea(b, next);

    b.IsoPathTableSize = PathTableBytes(b, TTreeKind::Iso);
    int32_t isoTable =
        static_cast<int32_t>(SectorsForBytes(static_cast<uint64_t>(b.IsoPathTableSize)));
    b.IsoPathTableL = next;
    next += isoTable;
    b.IsoPathTableM = next;
    next += isoTable;
    b.JolietPathTableSize = 0;
    b.JolietPathTableL = b.JolietPathTableM = 0;
    if (b.JolietFileSystem) {
        b.JolietPathTableSize = PathTableBytes(b, TTreeKind::Joliet);
        int32_t jTable =
            static_cast<int32_t>(SectorsForBytes(static_cast<uint64_t>(b.JolietPathTableSize)));
        b.JolietPathTableL = next;
        next += jTable;
        b.JolietPathTableM = next;
        next += jTable;
    }

    b.IsoDirArea = next;
    b.IsoDirSectors = LayoutDirectories(b, TTreeKind::Iso);
    next += b.IsoDirSectors;
    b.JolietDirArea = 0;
    b.JolietDirSectors = 0;
    if (b.JolietFileSystem) {
        b.JolietDirArea = next;
        b.JolietDirSectors = LayoutDirectories(b, TTreeKind::Joliet);
        next += b.JolietDirSectors;
    }

    b.BootCatalogLba = 0;
    if (boot)
        b.BootCatalogLba = next++;

    b.LeadInPad = 150 - next;
    if (next < 150)
        next = 150;

    // One extent per file on disk and per set of identical files: the
    // other names of it take the extent of the one they share (SameData).
    LinkSharedData(b);
    uint64_t counter = 0;
    for (TFileEntry* e : b.FileTable) {
        if (e->Directory || e->SameData)
            continue;
        if (e->Size == 0 || e->Recorded) {  // a recorded file takes no new sectors
            e->DataLba = 0;
            continue;
        }
        e->DataLba = static_cast<uint32_t>(counter);
        counter += SectorsForBytes(e->Size);
    }
    for (TFileEntry* e : b.FileTable)
        if (e->SameData)
            e->DataLba = e->SameData->DataLba;
    b.FileDataSectors = static_cast<int32_t>(counter);

    b.BootImageLba = 0;
    if (boot) {
        b.BootImageLba = next;
        next += static_cast<int32_t>(SectorsForBytes(static_cast<uint64_t>(b.BootImageSize)));
    }

    if (b.UDFBridge)
        next = LayoutUdfFileStream(b, next);

    b.FirstDataLba = next;
    int32_t total = b.FirstDataLba + b.FileDataSectors;
    b.AnchorInNewBlock = 0;
    if (b.UDFBridge) {
        b.AnchorInNewBlock = total % kSectorsPerBlock == 0 ? 1 : 0;
        total += 1;
    }
    total = (total + kSectorsPerBlock - 1) / kSectorsPerBlock * kSectorsPerBlock;
    b.TotalSectors = total;
    if (b.UDFBridge)
        SetUdfPartitionEnd(b);

    b.Prepared = 1;
    b.StatusCode = S_IDLE;
    return b.FirstDataLba + b.FileDataSectors + (b.UDFBridge ? 1 : 0);
}

}  // namespace tessor::builder
