// The UDF 1.50 bridge.
//
// Map of the bridge on the image (sectors from the image start):
//   UdfVrsLba .. +2   volume recognition: BEA01, NSR02, TEA01
//   32 .. 37          main volume descriptor sequence
//   48 .. 53          reserve volume descriptor sequence (same contents)
//   64, 65            logical volume integrity descriptor, terminator
//   256               anchor volume descriptor pointer
//   257, 258          file set descriptor, terminator (partition blocks 0, 1)
//   UdfStreamStart    file stream: per directory its file entry and its
//                     identifiers, then its children depth first; a file
//                     of more than 234 extents continues its descriptors
//                     in the blocks after its entry; names that share
//                     one extent share one file entry (its link count
//                     counts them)
//   UdfLastLba        closing anchor, the image's last sector
// The partition runs from absolute sector 257 to the sector before the
// closing anchor; the ISO 9660 structures and the file data lie inside it.
#include "engine/builder/UDFBridge.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "engine/builder/ECMA_167.h"
#include "engine/builder/HeaderArea.h"
#include "engine/builder/OSTA_UDF_150.h"
#include "engine/builder/Tree.h"
#include "engine/builder/TreeStorage.h"
#include "engine/builder/UDFTime.h"
#include "engine/builder/UDFUnicode.h"
#include "engine/builder/UDFUtils.h"
#include "engine/platform/Strings.h"

namespace tessor::builder {

using namespace udf;
using namespace platform::byte_order;

namespace {

constexpr int32_t kMainVdsSector = 32;
constexpr int32_t kReserveVdsSector = 48;
constexpr int32_t kLvidSector = 64;
constexpr int32_t kAnchorSector = 256;
constexpr int32_t kPartitionStart = 257;
constexpr int32_t kFileSetTerminator = 258;
constexpr int32_t kFixedAreaEnd = 259;
constexpr uint32_t kVdsExtentBytes = 16 * kSectorSize;  // 32 .. 47 and 48 .. 63
constexpr uint32_t kIntegrityExtentBytes = 4 * kSectorSize;
constexpr uint32_t kFileSetExtentBytes = 2 * kSectorSize;  // descriptor and terminator
constexpr int kVolumeDescriptors = 6;

// Stream cursor states, per directory.
enum : int {
    kDirEntryNext = 0,   // the directory's file entry
    kParentFidNext = 1,  // its identifiers, starting with the parent entry
    kChildFidNext = 2,   // its identifiers, Dir->UdfCursor's next
    kChildrenNext = 3,   // its children's structures, Dir->UdfCursor's next
};

constexpr uint32_t kReadExecuteForAll = kPermOtherExecute | kPermOtherRead | kPermGroupExecute |
                                        kPermGroupRead | kPermOwnerExecute | kPermOwnerRead;
static_assert(kReadExecuteForAll == 0x14A5);

std::u16string_view WideLabel(const TImageBuilder& b) {
    size_t n = 0;
    while (n < std::size(b.VolumeLabelW) && b.VolumeLabelW[n] != 0)
        ++n;
    return {b.VolumeLabelW, n};
}

bool IsRoot(const TDirEntry* d) {
    return d->Parent == d || d->Parent == nullptr;
}

// The name a child is listed under in its directory's identifiers, before
// any shortening: a subdirectory's own long name, a file's first name.
std::u16string_view RecordedName(const TFileEntry* child) {
    if (child->Directory != nullptr && !child->Directory->LongName.empty())
        return child->Directory->LongName;
    if (child->FirstLongName)
        return *child->FirstLongName;
    return child->LongName;
}

// ---------------------------------------------------------------- layout

// Names too long for an identifier are shortened, unique in the directory
// (compared as the platform compares names, ignoring case).
void ShortenNames(TImageBuilder& b, const TDirEntry* dir) {
    bool anyLong = false;
    for (const TFileEntry* c = dir->FirstChild; c != nullptr && !anyLong; c = c->NextSibling)
        anyLong = RecordedName(c).size() > kMaxIdentifierUnits;
    if (!anyLong)
        return;

    std::unordered_set<std::u16string> taken;
    for (const TFileEntry* c = dir->FirstChild; c != nullptr; c = c->NextSibling)
        if (RecordedName(c).size() <= kMaxIdentifierUnits)
            taken.insert(platform::FoldCase(RecordedName(c)));
    for (const TFileEntry* c = dir->FirstChild; c != nullptr; c = c->NextSibling) {
        const std::u16string_view name = RecordedName(c);
        if (name.size() <= kMaxIdentifierUnits)
            continue;
        for (unsigned attempt = 0;; ++attempt) {
            std::u16string candidate = ShortenUdfName(name, attempt);
            if (taken.insert(platform::FoldCase(candidate)).second) {
                b.UdfStream.ShortNames.emplace_back(c, std::move(candidate));
                break;
            }
        }
    }
}

// Names that share one extent (SameData) share one file entry, as hard
// links do: the first name the walk meets gets it, the others' identifiers
// point at it, and its link count counts them all. A link count is 16 bits:
// past 65,535 names the next name starts a new entry for the same extent.
// Keys: the entry holding the data; values: the file entry's sector, 0 until
// the walk has met the first name.
using TEntryOwners = std::unordered_map<const TFileEntry*, uint32_t>;

TEntryOwners SharedDataOwners(const TImageBuilder& b) {
    TEntryOwners owners;
    for (const TFileEntry* e : b.FileTable)
        if (e->SameData != nullptr)
            owners.emplace(e->SameData, 0);
    return owners;
}

// True when `child` is listed under a file entry already placed.
bool ShareFileEntry(TImageBuilder& b, TEntryOwners& owners, TFileEntry* child, int64_t next) {
    child->UdfSharesEntry = 0;
    if (owners.empty())
        return false;
    auto it = owners.find(child->SameData != nullptr ? child->SameData : child);
    if (it == owners.end())
        return false;
    auto& links = b.UdfStream.SharedLinks;
    if (it->second != 0) {
        uint16_t& count = links[it->second];
        if (count < 0xFFFF) {
            ++count;
            child->UdfEntryLba = it->second;
            child->UdfSharesEntry = 1;
            --b.UdfFileCount;  // the integrity descriptor counts files, not names
            return true;
        }
    }
    it->second = static_cast<uint32_t>(next);
    links[it->second] = 1;
    return false;
}

// Counts a directory's children and assigns its file entry and identifier
// sectors. Returns the next free sector.
int64_t EnterDirectory(TImageBuilder& b, TDirEntry* dir, int64_t next) {
    const size_t firstShortName = b.UdfStream.ShortNames.size();
    ShortenNames(b, dir);
    size_t shortName = firstShortName;

    dir->UdfLinkCount = 1;
    dir->UdfDirSize = FidLength(0);
    for (const TFileEntry* c = dir->FirstChild; c != nullptr; c = c->NextSibling) {
        if (c->Directory != nullptr) {
            ++dir->UdfLinkCount;
            ++b.UdfDirCount;
        } else {
            ++b.UdfFileCount;
        }
        size_t units = RecordedName(c).size();
        if (units > kMaxIdentifierUnits)
            units = b.UdfStream.ShortNames[shortName++].second.size();
        dir->UdfDirSize += FidLength(units);
    }
    dir->UdfEntryLba = static_cast<uint32_t>(next);
    dir->UdfFidLba = static_cast<uint32_t>(next + 1);
    dir->UdfCursor = dir->FirstChild;
    return next + 1 + static_cast<int64_t>(SectorsForBytes(dir->UdfDirSize));
}

// ------------------------------------------------------- fixed area sectors

void PutLabel32(const TImageBuilder& b, uint8_t* field) {
    std::memcpy(field, b.UdfLabel, 32);
}

void BuildPrimaryVolume(const TImageBuilder& b, uint8_t* d) {
    using P = TPrimaryVolumeDescriptor;
    Put<P::VolumeDescriptorSequenceNumber>(d, 1);
    Put<P::PrimaryVolumeDescriptorNumber>(d, 0);
    PutLabel32(b, At<P::VolumeIdentifier>(d));
    Put<P::VolumeSequenceNumber>(d, 1);
    Put<P::MaximumVolumeSequenceNumber>(d, 1);
    Put<P::InterchangeLevel>(d, 2);
    Put<P::MaximumInterchangeLevel>(d, 3);
    Put<P::CharacterSetList>(d, 1);
    Put<P::MaximumCharacterSetList>(d, 1);
    // A constant volume set identifier, 8-bit CS0: "0CFE90CB".
    uint8_t* set = At<P::VolumeSetIdentifier>(d);
    set[0] = kCompression8;
    std::memcpy(set + 1, "0CFE90CB", 8);
    set[P::VolumeSetIdentifier::Length - 1] = 9;
    PutCs0Charspec(At<P::DescriptorCharacterSet>(d));
    PutCs0Charspec(At<P::ExplanatoryCharacterSet>(d));
    std::memcpy(At<P::RecordingDateAndTime>(d), b.UdfTimestamp, TTimestamp::Size);
    PutImplementationId(At<P::ImplementationIdentifier>(d));
}

void BuildLogicalVolume(const TImageBuilder& b, uint8_t* d) {
    using L = TLogicalVolumeDescriptor;
    Put<L::VolumeDescriptorSequenceNumber>(d, 2);
    PutCs0Charspec(At<L::DescriptorCharacterSet>(d));
    PutDString(At<L::LogicalVolumeIdentifier>(d), L::LogicalVolumeIdentifier::Length, WideLabel(b));
    Put<L::LogicalBlockSize>(d, kSectorSize);
    PutDomainId(At<L::DomainIdentifier>(d), kDomainWriteProtected);
    // The file set descriptor and its terminator: partition blocks 0 and 1.
    PutLongAd(At<L::LogicalVolumeContentsUse>(d), kFileSetExtentBytes, UdfBlock(b, kPartitionStart),
              0);
    Put<L::MapTableLength>(d, TType1PartitionMap::Size);
    Put<L::NumberOfPartitionMaps>(d, 1);
    PutImplementationId(At<L::ImplementationIdentifier>(d));
    PutExtentAd(At<L::IntegritySequenceExtent>(d), kIntegrityExtentBytes,
                UdfSector(b, kLvidSector));
    uint8_t* map = At<L::PartitionMaps>(d);
    Put<TType1PartitionMap::PartitionMapType>(map, 1);
    Put<TType1PartitionMap::PartitionMapLength>(map, TType1PartitionMap::Size);
    Put<TType1PartitionMap::VolumeSequenceNumber>(map, 1);
    Put<TType1PartitionMap::PartitionNumber>(map, 0);
}

void BuildPartition(const TImageBuilder& b, uint8_t* d) {
    using P = TPartitionDescriptor;
    Put<P::VolumeDescriptorSequenceNumber>(d, 3);
    Put<P::PartitionFlags>(d, 1);  // 3/10.5.3: space allocated
    Put<P::PartitionNumber>(d, 0);
    PutUdfId(At<P::PartitionContents>(d), kPartitionContentsNsr02);
    Put<P::AccessType>(d, kAccessReadOnly);
    Put<P::PartitionStartingLocation>(d, kPartitionStart);
    Put<P::PartitionLength>(d, static_cast<uint32_t>(b.UdfPartitionLength + b.UdfLbaBase));
    PutImplementationId(At<P::ImplementationIdentifier>(d));
}

void BuildUnallocatedSpace(uint8_t* d) {
    Put<TUnallocatedSpaceDescriptor::VolumeDescriptorSequenceNumber>(d, 4);
    Put<TUnallocatedSpaceDescriptor::NumberOfAllocationDescriptors>(d, 0);
}

void BuildImplementationUse(const TImageBuilder& b, uint8_t* d) {
    using I = TImplementationUseVolumeDescriptor;
    Put<I::VolumeDescriptorSequenceNumber>(d, 5);
    PutUdfId(At<I::ImplementationIdentifier>(d), kLvInfoIdentifier);
    uint8_t* info = At<I::ImplementationUse>(d);
    PutCs0Charspec(At<TLvInformation::LviCharset>(info));
    PutDString(At<TLvInformation::LogicalVolumeIdentifier>(info),
               TLvInformation::LogicalVolumeIdentifier::Length, WideLabel(b));
    PutImplementationId(At<TLvInformation::ImplementationId>(info));
}

// One of the six descriptors of a volume descriptor sequence, tagged for the
// given image sector.
void BuildVolumeDescriptor(const TImageBuilder& b, int index, int32_t sector, uint8_t* d) {
    std::memset(d, 0, kSectorSize);
    const uint32_t where = UdfSector(b, sector);
    switch (index) {
        case 0:
            BuildPrimaryVolume(b, d);
            FinishTag(d, kTagPrimaryVolume, where, TPrimaryVolumeDescriptor::Size - 16);
            break;
        case 1:
            BuildLogicalVolume(b, d);
            FinishTag(d, kTagLogicalVolume, where, TLogicalVolumeDescriptor::Size - 16);
            break;
        case 2:
            BuildPartition(b, d);
            FinishTag(d, kTagPartition, where, TPartitionDescriptor::Size - 16);
            break;
        case 3:
            BuildUnallocatedSpace(d);
            FinishTag(d, kTagUnallocatedSpace, where, TUnallocatedSpaceDescriptor::Size - 16);
            break;
        case 4:
            BuildImplementationUse(b, d);
            FinishTag(d, kTagImplementationUseVolume, where,
                      TImplementationUseVolumeDescriptor::Size - 16);
            break;
        default:
            FinishTag(d, kTagTerminating, where, TTerminatingDescriptor::Size - 16);
            break;
    }
}

void BuildIntegrity(const TImageBuilder& b, uint8_t* d) {
    using V = TLogicalVolumeIntegrityDescriptor;
    std::memset(d, 0, kSectorSize);
    std::memcpy(At<V::RecordingDateAndTime>(d), b.UdfTimestamp, TTimestamp::Size);
    Put<V::IntegrityType>(d, kIntegrityClose);
    // OSTA UDF: the logical volume contents use starts with the next unique
    // ID, above every unique ID in the volume (the root's 0 and 16 upwards).
    PutLE64(At<V::LogicalVolumeContentsUse>(d),
            static_cast<uint64_t>(b.UdfDirCount) + static_cast<uint64_t>(b.UdfFileCount) + 16);
    Put<V::NumberOfPartitions>(d, 1);
    Put<V::LengthOfImplementationUse>(d, TLvidImplementationUse::Size);
    Put<V::FreeSpaceTable>(d, 0);
    Put<V::SizeTable>(d, static_cast<uint32_t>(b.UdfPartitionLength + b.UdfLbaBase));
    uint8_t* use = At<V::ImplementationUse>(d);
    PutImplementationId(At<TLvidImplementationUse::ImplementationId>(use));
    Put<TLvidImplementationUse::NumberOfFiles>(use, static_cast<uint32_t>(b.UdfFileCount));
    Put<TLvidImplementationUse::NumberOfDirectories>(use, static_cast<uint32_t>(b.UdfDirCount));
    Put<TLvidImplementationUse::MinimumUdfReadRevision>(use, kUdfRevision);
    Put<TLvidImplementationUse::MinimumUdfWriteRevision>(use, kUdfRevision);
    Put<TLvidImplementationUse::MaximumUdfWriteRevision>(use, kUdfRevision);
    FinishTag(d, kTagLogicalVolumeIntegrity, UdfSector(b, kLvidSector), V::Size - 16);
}

void BuildFileSet(const TImageBuilder& b, uint8_t* d) {
    using F = TFileSetDescriptor;
    std::memset(d, 0, kSectorSize);
    std::memcpy(At<F::RecordingDateAndTime>(d), b.UdfTimestamp, TTimestamp::Size);
    Put<F::InterchangeLevel>(d, 3);
    Put<F::MaximumInterchangeLevel>(d, 3);
    Put<F::CharacterSetList>(d, 1);
    Put<F::MaximumCharacterSetList>(d, 1);
    Put<F::FileSetNumber>(d, 0);
    Put<F::FileSetDescriptorNumber>(d, 0);
    PutCs0Charspec(At<F::LogicalVolumeIdentifierCharacterSet>(d));
    PutDString(At<F::LogicalVolumeIdentifier>(d), F::LogicalVolumeIdentifier::Length, WideLabel(b));
    PutCs0Charspec(At<F::FileSetCharacterSet>(d));
    PutLabel32(b, At<F::FileSetIdentifier>(d));
    PutLongAd(At<F::RootDirectoryIcb>(d), kSectorSize, UdfBlock(b, b.RootDir->UdfEntryLba), 0);
    PutDomainId(At<F::DomainIdentifier>(d), 0);
    FinishTag(d, kTagFileSet, UdfBlock(b, kPartitionStart), F::Size - 16);
}

void BuildVolumeStructure(uint8_t* d, const char* identifier) {
    std::memset(d, 0, kSectorSize);
    Put<TVolumeStructureDescriptor::StructureType>(d, 0);
    std::memcpy(At<TVolumeStructureDescriptor::StandardIdentifier>(d), identifier, 5);
    Put<TVolumeStructureDescriptor::StructureVersion>(d, 1);
}

void EmitSector(TImageBuilder& b, const uint8_t* sector) {
    EmitBytes(b, sector, kSectorSize);
}

void PadToSector(TImageBuilder& b, int32_t sector) {
    const int64_t current = b.HeaderLength / kSectorSize;
    if (sector > current)
        EmitZeroSectors(b, static_cast<uint32_t>(sector - current));
}

// ------------------------------------------------------------ file stream

// A file's data as its allocation descriptors describe them, each at most
// 2^30 - 2048 bytes (whole blocks): one contiguous run from partition block
// `first`, or the runs in several places that an earlier session recorded.
struct TFileData {
    uint64_t bytes = 0;
    uint32_t first = 0;
    const std::vector<TRecordedRun>* runs = nullptr;

    uint64_t AdCount() const {
        if (!runs)
            return ShortAdCount(bytes);
        uint64_t n = 0;
        for (const TRecordedRun& r : *runs)
            n += ShortAdCount(r.Bytes);
        return n;
    }
    // The i-th data descriptor.
    void Ad(uint64_t i, uint32_t& length, uint32_t& block) const {
        uint64_t runBytes = bytes;
        uint32_t runFirst = first;
        if (runs) {
            // The partition reaches a recorded sector s as block s - 257.
            for (const TRecordedRun& r : *runs) {
                runBytes = r.Bytes;
                runFirst = static_cast<uint32_t>(r.Lba - kPartitionStartSector);
                const uint64_t n = ShortAdCount(r.Bytes);
                if (i < n)
                    break;
                i -= n;
            }
        }
        const uint64_t offset = i * kMaxAdBytes;
        const uint64_t left = runBytes > offset ? runBytes - offset : 0;
        length = left > kMaxAdBytes ? kMaxAdBytes : static_cast<uint32_t>(left);
        block = runBytes == 0 ? 0 : runFirst + static_cast<uint32_t>(offset / kSectorSize);
    }
};

// The data descriptors `plan` assigns to one block of a file's descriptor
// chain, then the pointer to the next block of the chain when there is one.
// Returns the bytes written.
uint32_t PutDataAds(uint8_t* area, const TFileData& data, const TAdBlockPlan& plan,
                    uint32_t nextChainBlock) {
    uint32_t used = 0;
    for (uint64_t i = plan.First; i < plan.First + plan.Count; ++i) {
        uint32_t length = 0, block = 0;
        data.Ad(i, length, block);
        PutShortAd(area + used, length, block);
        used += TShortAd::Size;
    }
    if (plan.Chained) {
        PutShortAd(area + used, kExtentNextAllocationDescriptors | kSectorSize, nextChainBlock);
        used += TShortAd::Size;
    }
    return used;
}

// A file entry (ECMA-167 4/14.9) of one block for the data.
void BuildFileEntry(TImageBuilder& b, uint8_t* d, uint32_t entrySector, uint8_t fileType,
                    uint16_t linkCount, const TFileData& data, uint64_t uniqueId) {
    const uint64_t infoLength = data.bytes;
    using F = TFileEntryDescriptor;
    std::memset(d, 0, kSectorSize);
    uint8_t* icb = At<F::IcbTag>(d);
    Put<TIcbTag::StrategyType>(icb, kStrategyType4);
    Put<TIcbTag::MaximumNumberOfEntries>(icb, 1);
    Put<TIcbTag::FileType>(icb, fileType);
    Put<TIcbTag::Flags>(icb, 0);  // 4/14.6.8: short allocation descriptors
    Put<F::Uid>(d, 0xFFFFFFFFu);
    Put<F::Gid>(d, 0xFFFFFFFFu);
    Put<F::Permissions>(d, kReadExecuteForAll);
    Put<F::FileLinkCount>(d, linkCount);
    Put<F::InformationLength>(d, infoLength);
    Put<F::LogicalBlocksRecorded>(d, SectorsForBytes(infoLength));
    std::memcpy(At<F::AccessTime>(d), b.UdfTimestamp, TTimestamp::Size);
    std::memcpy(At<F::ModificationTime>(d), b.UdfTimestamp, TTimestamp::Size);
    std::memcpy(At<F::AttributeTime>(d), b.UdfTimestamp, TTimestamp::Size);
    Put<F::Checkpoint>(d, 1);
    PutImplementationId(At<F::ImplementationIdentifier>(d));
    Put<F::UniqueId>(d, uniqueId);
    Put<F::LengthOfExtendedAttributes>(d, 0);
    // The allocation descriptors fill the rest of the block; the first
    // descriptor of length 0 ends them (4/12). An empty file keeps one
    // descriptor of length 0.
    Put<F::LengthOfAllocationDescriptors>(d, kFileEntryAdArea);
    const uint32_t used = PutDataAds(d + F::FixedSize, data, PlanAdBlockOf(data.AdCount(), 0),
                                     UdfBlock(b, static_cast<int64_t>(entrySector) + 1));
    FinishTag(d, kTagFileEntry, UdfBlock(b, entrySector), kSectorSize - 16,
              static_cast<uint16_t>(F::FixedSize + used - 16));
}

// The partition block of a file's data. Data carried from an earlier
// session lie at their absolute sector, which the partition (from absolute
// sector 257) reaches as that sector - 257.
uint32_t DataBlock(const TImageBuilder& b, const TFileEntry* file) {
    if (file->Recorded)
        return static_cast<uint32_t>(file->RecordedLba - kPartitionStartSector);
    return UdfBlock(b, static_cast<int64_t>(b.FirstDataLba) + file->DataLba);
}

TFileData FileData(const TImageBuilder& b, const TFileEntry* file) {
    return {file->Size, file->Size == 0 ? 0 : DataBlock(b, file), RecordedRuns(b, file)};
}

// Block `index` (1..) of a file's descriptor chain, in the sector after the
// previous one: an allocation extent descriptor (ECMA-167 4/14.5).
void BuildAllocationExtent(TImageBuilder& b, const TFileEntry* file, uint64_t index, uint8_t* d) {
    using A = TAllocationExtentDescriptor;
    std::memset(d, 0, kSectorSize);
    const int64_t sector = static_cast<int64_t>(file->UdfEntryLba) + static_cast<int64_t>(index);
    const TFileData data = FileData(b, file);
    const uint32_t used = PutDataAds(d + A::FixedSize, data, PlanAdBlockOf(data.AdCount(), index),
                                     UdfBlock(b, sector + 1));
    Put<A::PreviousAllocationExtentLocation>(d, 0);
    Put<A::LengthOfAllocationDescriptors>(d, used);
    FinishTag(d, kTagAllocationExtent, UdfBlock(b, sector),
              static_cast<uint16_t>(A::FixedSize - 16 + used));
}

void BuildDirectoryEntry(TImageBuilder& b, const TDirEntry* dir, uint8_t* d) {
    const uint64_t uniqueId = IsRoot(dir) ? 0 : b.UdfNextUniqueId++;
    BuildFileEntry(b, d, dir->UdfEntryLba, kFileTypeDirectory, dir->UdfLinkCount,
                   {static_cast<uint64_t>(dir->UdfDirSize), UdfBlock(b, dir->UdfFidLba)}, uniqueId);
}

void BuildRegularEntry(TImageBuilder& b, const TFileEntry* file, uint8_t* d) {
    const auto& links = b.UdfStream.SharedLinks;
    auto shared = links.empty() ? links.end() : links.find(file->UdfEntryLba);
    const uint16_t linkCount = shared == links.end() ? 1 : shared->second;
    BuildFileEntry(b, d, file->UdfEntryLba, kFileTypeRegular, linkCount, FileData(b, file),
                   b.UdfNextUniqueId++);
}

// The identifier a child is written under: its recorded name, or the
// shortened form the layout chose for it.
std::u16string_view StreamName(TImageBuilder& b, const TFileEntry* child) {
    const std::u16string_view name = RecordedName(child);
    if (name.size() <= kMaxIdentifierUnits)
        return name;
    auto& c = b.UdfStream;
    for (size_t i = c.NextShortName; i < c.ShortNames.size(); ++i)
        if (c.ShortNames[i].first == child) {
            c.NextShortName = i + 1;
            return c.ShortNames[i].second;
        }
    return name.substr(0, WholeCharacters(name, kMaxIdentifierUnits));
}

// A file identifier descriptor (ECMA-167 4/14.4) into fid; returns its length.
uint32_t BuildFid(TImageBuilder& b, uint8_t* fid, uint32_t tagSector, uint8_t characteristics,
                  uint32_t targetEntrySector, std::u16string_view name) {
    using F = TFileIdentifierDescriptor;
    const uint32_t length = FidLength(name.size());
    std::memset(fid, 0, length);
    Put<F::FileVersionNumber>(fid, 1);
    Put<F::FileCharacteristics>(fid, characteristics);
    Put<F::LengthOfFileIdentifier>(fid, static_cast<uint8_t>(Cs0Length(name.size())));
    PutLongAd(At<F::Icb>(fid), kSectorSize, UdfBlock(b, targetEntrySector), 0);
    Put<F::LengthOfImplementationUse>(fid, 0);
    PutCs0(fid + F::FixedSize, name);
    FinishTag(fid, kTagFileIdentifier, UdfBlock(b, tagSector), static_cast<uint16_t>(length - 16));
    return length;
}

// One sector of the current directory's identifiers: the part of an
// identifier held over from the sector before, then whole identifiers; one
// that does not fit is split and its rest held for the next sector.
void BuildFidSector(TImageBuilder& b, uint8_t* out) {
    auto& c = b.UdfStream;
    TDirEntry* dir = c.Dir;
    const uint32_t sector = dir->UdfFidLba + c.SectorIndex;
    std::memset(out, 0, kSectorSize);
    uint32_t pos = c.HeldLength;
    std::memcpy(out, c.Held, c.HeldLength);
    c.HeldLength = 0;

    uint8_t fid[sizeof c.Held];
    while (pos < kSectorSize) {
        uint32_t length;
        if (c.State == kParentFidNext) {
            length =
                BuildFid(b, fid, sector, kFidParent | kFidDirectory, dir->Parent->UdfEntryLba, {});
            c.State = kChildFidNext;
        } else if (const TFileEntry* child = dir->UdfCursor) {
            const bool isDir = child->Directory != nullptr;
            length = BuildFid(b, fid, sector, isDir ? kFidDirectory : 0,
                              isDir ? child->Directory->UdfEntryLba : child->UdfEntryLba,
                              StreamName(b, child));
            dir->UdfCursor = child->NextSibling;
        } else {
            break;
        }
        const uint32_t fits = std::min<uint32_t>(length, kSectorSize - pos);
        std::memcpy(out + pos, fid, fits);
        std::memcpy(c.Held, fid + fits, length - fits);
        c.HeldLength = length - fits;
        pos += fits;
        c.ByteOffset += length;
    }
    ++c.SectorIndex;
    if (c.State == kChildFidNext && dir->UdfCursor == nullptr && c.HeldLength == 0) {
        c.State = kChildrenNext;
        c.SectorIndex = 0;
        dir->UdfCursor = dir->FirstChild;
    }
}

// Moves the cursor to the structure that comes next: out of finished
// directories, into a subdirectory, or to the end of the stream.
void SettleCursor(TImageBuilder& b) {
    auto& c = b.UdfStream;
    while (c.State == kChildrenNext) {
        TFileEntry* child = c.Dir->UdfCursor;
        if (child == nullptr) {
            if (IsRoot(c.Dir)) {
                c.Complete = true;
                return;
            }
            TDirEntry* parent = c.Dir->Parent;
            parent->UdfCursor = parent->UdfCursor->NextSibling;
            c.Dir = parent;
            continue;
        }
        if (child->Directory != nullptr) {
            c.Dir = child->Directory;
            c.State = kDirEntryNext;
        } else if (child->UdfSharesEntry) {
            // Its identifier points at a file entry written for another name.
            c.Dir->UdfCursor = child->NextSibling;
            continue;
        }
        return;
    }
}

void BuildStreamSector(TImageBuilder& b, uint8_t* out) {
    auto& c = b.UdfStream;
    switch (c.State) {
        case kDirEntryNext:
            BuildDirectoryEntry(b, c.Dir, out);
            c.State = kParentFidNext;
            c.SectorIndex = 0;
            c.ByteOffset = 0;
            c.HeldLength = 0;
            c.Dir->UdfCursor = c.Dir->FirstChild;
            break;
        case kParentFidNext:
        case kChildFidNext:
            BuildFidSector(b, out);
            break;
        default: {
            // A file's entry, then the blocks that continue its descriptors.
            TFileEntry* file = c.Dir->UdfCursor;
            if (c.SectorIndex == 0)
                BuildRegularEntry(b, file, out);
            else
                BuildAllocationExtent(b, file, c.SectorIndex, out);
            if (c.SectorIndex < AllocationExtentBlocksOf(FileData(b, file).AdCount())) {
                ++c.SectorIndex;
            } else {
                c.SectorIndex = 0;
                c.Dir->UdfCursor = file->NextSibling;
            }
            break;
        }
    }
    SettleCursor(b);
}

}  // namespace

// ------------------------------------------------------------ interface

int32_t LayoutUdfFixedArea(TImageBuilder& b, int32_t nextSector) {
    PutUdfTimestamp(b.UdfTimestamp, UdfCurrentTime());
    b.UdfDirCount = 1;
    b.UdfFileCount = 0;
    b.UdfNextUniqueId = 16;
    b.UdfStreamSectors = 0;
    b.UdfVrsLba = nextSector;
    b.UdfMainVdsLba = kMainVdsSector;
    b.UdfReserveVdsLba = kReserveVdsSector;
    b.UdfLvidLba = kLvidSector;
    b.UdfAnchorLba = kAnchorSector;
    b.UdfPartitionStart = kPartitionStart;
    // The 32-byte identifiers hold 15 characters; the 128-byte ones are
    // written from the full label when the descriptors are built.
    PutDString(b.UdfLabel, sizeof b.UdfLabel, WideLabel(b));
    return kFixedAreaEnd;
}

int32_t LayoutUdfFileStream(TImageBuilder& b, int32_t nextSector) {
    auto& c = b.UdfStream;
    c.Dir = b.RootDir;
    c.State = kDirEntryNext;
    c.SectorIndex = 0;
    c.ByteOffset = 0;
    c.HeldLength = 0;
    c.Complete = false;
    c.ShortNames.clear();
    c.NextShortName = 0;
    b.UdfDirCount = 1;
    b.UdfFileCount = 0;
    b.UdfNextUniqueId = 16;
    b.UdfStreamStart = nextSector;
    if (b.RootDir == nullptr) {
        c.Dir = nullptr;
        return nextSector;
    }

    TEntryOwners owners = SharedDataOwners(b);
    c.SharedLinks.clear();

    // Depth first, iteratively: each directory's UdfCursor holds the child
    // being walked, so the walk climbs back through Parent.
    int64_t next = EnterDirectory(b, b.RootDir, nextSector);
    TDirEntry* dir = b.RootDir;
    for (;;) {
        TFileEntry* child = dir->UdfCursor;
        if (child == nullptr) {
            if (IsRoot(dir))
                break;
            dir = dir->Parent;
            dir->UdfCursor = dir->UdfCursor->NextSibling;
        } else if (child->Directory != nullptr) {
            dir = child->Directory;
            next = EnterDirectory(b, dir, next);
        } else {
            if (!ShareFileEntry(b, owners, child, next)) {
                child->UdfEntryLba = static_cast<uint32_t>(next);
                next += 1 + static_cast<int64_t>(
                                AllocationExtentBlocksOf(FileData(b, child).AdCount()));
            }
            dir->UdfCursor = child->NextSibling;
        }
    }
    b.UdfStreamSectors = static_cast<int32_t>(next - nextSector);
    return static_cast<int32_t>(next);
}

void RewindUdfStream(TImageBuilder& b) {
    LayoutUdfFileStream(b, b.UdfStreamStart);
}

void SetUdfPartitionEnd(TImageBuilder& b) {
    const int32_t total = b.TotalSectors.load();
    b.UdfLastLba = total - 1;
    b.UdfPartitionLength = total - (kPartitionStart + 1);
}

void EmitUdfFixedArea(TImageBuilder& b) {
    uint8_t sector[kSectorSize];
    PadToSector(b, b.UdfVrsLba);
    for (const char* id : {"BEA01", "NSR02", "TEA01"}) {
        BuildVolumeStructure(sector, id);
        EmitSector(b, sector);
    }
    for (const int32_t start : {kMainVdsSector, kReserveVdsSector}) {
        PadToSector(b, start);
        for (int i = 0; i < kVolumeDescriptors; ++i) {
            BuildVolumeDescriptor(b, i, start + i, sector);
            EmitSector(b, sector);
        }
    }
    PadToSector(b, kLvidSector);
    BuildIntegrity(b, sector);
    EmitSector(b, sector);
    std::memset(sector, 0, kSectorSize);
    FinishTag(sector, kTagTerminating, UdfSector(b, kLvidSector + 1),
              TTerminatingDescriptor::Size - 16);
    EmitSector(b, sector);
    PadToSector(b, kAnchorSector);
    BuildUdfAnchor(b, sector, kAnchorSector);
    EmitSector(b, sector);
    BuildFileSet(b, sector);
    EmitSector(b, sector);
    std::memset(sector, 0, kSectorSize);
    FinishTag(sector, kTagTerminating, UdfBlock(b, kFileSetTerminator),
              TTerminatingDescriptor::Size - 16);
    EmitSector(b, sector);
}

bool BuildUdfFileSectors(TImageBuilder& b, uint8_t* buffer, int count) {
    auto& c = b.UdfStream;
    if (c.Complete || c.Dir == nullptr)
        return false;
    for (int i = 0; i < count; ++i) {
        uint8_t* out = buffer + static_cast<size_t>(i) * kSectorSize;
        if (c.Complete)
            std::memset(out, 0, kSectorSize);
        else
            BuildStreamSector(b, out);
    }
    return true;
}

void BuildUdfAnchor(TImageBuilder& b, uint8_t* buffer, int32_t sector) {
    using A = TAnchorVolumeDescriptorPointer;
    std::memset(buffer, 0, kSectorSize);
    PutExtentAd(At<A::MainVolumeDescriptorSequenceExtent>(buffer), kVdsExtentBytes,
                UdfSector(b, kMainVdsSector));
    PutExtentAd(At<A::ReserveVolumeDescriptorSequenceExtent>(buffer), kVdsExtentBytes,
                UdfSector(b, kReserveVdsSector));
    FinishTag(buffer, kTagAnchorVolumePointer, UdfSector(b, sector), A::Size - 16);
}

}  // namespace tessor::builder
