// The image builder record and the entries of the compilation tree.
//
// TImageBuilder is embedded by value in the burner component. It holds the
// compilation tree, the file-system switches and layout, the UDF bridge's
// layout, the read-ahead cache's block table and the image-file fields, plus
// the control words the worker threads share. Every word one thread writes
// while another polls it is a std::atomic.
#pragma once

#include <array>
#include <atomic>
#include <compare>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "engine/builder/SmartRefTypes.h"
#include "engine/platform/File.h"
#include "engine/platform/FileSearch.h"
#include "engine/platform/Time.h"

namespace tessor::platform {
class TMessageTarget;
}

namespace tessor::builder {

inline constexpr int kSectorSize = 2048;
inline constexpr int kMaxFileEntries = 200000;
inline constexpr int kMaxDirectories = 65000;
inline constexpr int kMaxLongName = 217;
inline constexpr int kDirPathBuffer = 2048;
inline constexpr int kSourcePathBuffer = 4096;

// Engine status codes (the builder's StatusCode word).
enum : uint16_t {
    S_IDLE = 0,
    S_WRITING = 1,
    S_ERASING = 2,
    S_BACKGROUND_FORMAT = 3,
    S_CLOSING_TRACK = 4,
    S_CLOSING_DISC = 5,
    S_PREPARING = 6,
    S_ABORTING = 7,
    S_IMPORTING_SESSION = 8,
    S_BURN_ERROR_ABORTING = 9,
    S_VERIFYING = 10,
    S_GEN_SM_REF = 11,
};

struct TDirEntry;

// One contiguous run of a file's data recorded by an earlier session, at an
// absolute sector. A file of 4 GiB or more may lie in several places.
struct TRecordedRun {
    uint32_t Lba = 0;
    uint64_t Bytes = 0;
    auto operator<=>(const TRecordedRun&) const = default;
};

// One file, or the name under which a directory is listed in its parent.
struct TFileEntry {
    char ShortName[16] = {};  // 8.3 name, system code page, as found
    std::u16string LongName;  // Joliet, ISO 9660:1999 and UDF name
    // The name given at creation, once a refresh replaced LongName; null
    // while the two are equal (nearly always): read it through FirstName().
    std::unique_ptr<const std::u16string> FirstLongName;
    std::u16string SourcePath;        // empty for a directory's entry
    platform::TSystemTime WriteTime;  // last-write time of the source, local time
    uint64_t Size = 0;
    uint32_t DataLba = 0;     // relative to FirstDataLba
    uint32_t Attributes = 0;  // Win32 attribute bits
    uint8_t ShortNameLength = 0;
    uint8_t LongNameLength = 0;
    // The hash of the case-folded long name and (below) the directory whose
    // child list holds this entry: the keys of the tree's name index.
    uint32_t NameHash = 0;
    TFileEntry* NextSibling = nullptr;
    TDirEntry* Directory = nullptr;  // set only on a directory's entry
    uint32_t UdfEntryLba = 0;
    TDirEntry* Owner = nullptr;
    // Carried from an earlier session of the disc: a file's data lie
    // recorded at the absolute sector RecordedLba and are not written again.
    uint32_t RecordedLba = 0;
    uint8_t Recorded = 0;
    // The source's device and inode when known (0 otherwise): hard links
    // share one copy on the disc.
    uint64_t SourceDevice = 0;
    uint64_t SourceInode = 0;
    // Set by PrepareImage: the entry whose extent this one's records point
    // at (its data is written once, there); null when it has its own.
    TFileEntry* SameData = nullptr;
    // Set by the UDF layout: this identifier points at another member's
    // file entry, so the stream writes none for it.
    uint8_t UdfSharesEntry = 0;
};

struct TDirEntry {
    TDirEntry* Parent = nullptr;  // the root refers to itself
    std::u16string LongName;      // the root has none
    char ShortName[16] = {};      // upper case; the root holds "ROOT_DIR"
    uint32_t IsoExtentSize = 0;
    uint32_t JolietExtentSize = 0;
    uint32_t IsoExtentStart = 0;
    uint32_t JolietExtentStart = 0;
    uint16_t PathTableNumber = 0;
    uint8_t ShortNameLength = 0;
    uint8_t LongNameLength = 0;
    TFileEntry* FirstChild = nullptr;
    TFileEntry* LastChild = nullptr;  // tail of the child list, for appending
    // UDF bridge
    uint16_t UdfLinkCount = 0;
    uint64_t UdfDirSize = 0;
    TFileEntry* UdfCursor = nullptr;
    uint32_t UdfEntryLba = 0;
    uint32_t UdfFidLba = 0;
    // The entry under which this directory is listed in its parent; none for
    // the root.
    TFileEntry* Entry = nullptr;
};

// OnAddFile: Sender (always null from the builder), the source path (null
// for a directory), the find data (changeable) and Skip (in/out).
using TAddFileHandler =
    std::function<void(void* sender, const char16_t* path, platform::TFindData& fd, bool& skip)>;

// OnWriteDone / OnEraseDone shape: Sender, DeviceId, Failed.
using TDoneHandler = std::function<void(void* sender, uint8_t deviceId, bool failed)>;

// One slot of the read-ahead cache's block table.
struct TCacheSlot {
    uint8_t* Block = nullptr;  // 65,536 bytes
    int32_t Length = 0;
};
inline constexpr int kBlockSize = 65536;
inline constexpr int kSectorsPerBlock = 32;
inline constexpr int kBlockTableSlots = 10000;

// One block as a write sent it: a digest of the whole block, and a short
// check of each sector that places a difference in its sector.
struct TBlockDigest {
    uint64_t Block = 0;
    uint16_t Sectors[kSectorsPerBlock] = {};
    uint8_t Count = 0;  // sectors in the block: 32, fewer in the last
};

// What the last complete write can be verified against.
enum class TWrittenTarget : uint8_t { None, Disc, ImageFile };

struct TTreeStorage;  // owns every entry and directory (Tree.cpp)

// A source the compilation does not hold as it was given: left out, or
// entered under another name. Source is the source path (a directory made
// without one: its path in the compilation); Name the name on the disc.
struct TSourceNote {
    bool LeftOut = false;
    std::u16string Source;
    std::u16string Name;
    std::string Reason;
};

struct TImageBuilder {
    TImageBuilder();
    ~TImageBuilder();
    TImageBuilder(const TImageBuilder&) = delete;
    TImageBuilder& operator=(const TImageBuilder&) = delete;

    // ---- tree area
    std::vector<TFileEntry*> FileTable;  // creation order; at most kMaxFileEntries
    int32_t FileCount = 0;
    std::vector<TDirEntry*> DirTable;        // creation order; slot 0 is the root
    std::vector<TDirEntry*> PathTableOrder;  // re-sorted by PrepareImage
    int32_t DirCount = 0;
    TDirEntry* RootDir = nullptr;
    uint8_t ReplaceFileFlag = 0;
    uint8_t Prepared = 0;
    std::atomic<uint16_t> StatusCode{S_IDLE};
    int32_t TimeZoneOffset = 0;  // 15-minute units
    char16_t VolumeLabelW[32] = {};
    char VolumeLabelA[96] = {};
    char BootImagePath[2048] = {};
    int32_t BootImageSize = 0;
    TAddFileHandler AddFileHandler;
    std::unique_ptr<uint8_t[]> HeaderBuffer;
    uint32_t HeaderLength = 0;
    std::unique_ptr<TTreeStorage> Storage;
    // Every source left out or renamed since ClearFiles, in the order met.
    std::vector<TSourceNote> SourceNotes;
    // Files found identical by GenerateSmartReferences (SmartRefTypes.h).
    TSmartReferences Smart;

    // ---- switches
    uint8_t JolietFileSystem = 0;
    uint8_t ISO9660v1999FS = 0;
    uint8_t UDFBridge = 0;

    // ---- ISO 9660 / Joliet layout (sectors relative to the image start)
    int32_t SessionStartLba = 0;
    int32_t VolumeSizeBias = 0;
    int32_t IsoPathTableSize = 0;
    int32_t JolietPathTableSize = 0;
    int32_t IsoPathTableL = 0;
    int32_t IsoPathTableM = 0;
    int32_t JolietPathTableL = 0;
    int32_t JolietPathTableM = 0;
    int32_t IsoDirArea = 0;
    int32_t IsoDirSectors = 0;
    int32_t JolietDirArea = 0;
    int32_t JolietDirSectors = 0;
    int32_t BootCatalogLba = 0;
    int32_t LeadInPad = 0;
    int32_t BootImageLba = 0;
    int32_t FirstDataLba = 0;
    int32_t FileDataSectors = 0;
    std::atomic<int32_t> TotalSectors{0};
    uint8_t AnchorInNewBlock = 0;

    // ---- UDF bridge layout
    int32_t UdfVrsLba = 0;
    int32_t UdfMainVdsLba = 0;
    int32_t UdfReserveVdsLba = 0;
    int32_t UdfLvidLba = 0;
    int32_t UdfAnchorLba = 0;
    int32_t UdfPartitionStart = 0;
    int32_t UdfPartitionLength = 0;
    int32_t UdfStreamStart = 0;
    int32_t UdfStreamSectors = 0;
    int32_t UdfLastLba = 0;
    int32_t UdfLbaBase = 0;
    int32_t UdfDirCount = 0;
    int32_t UdfFileCount = 0;
    uint64_t UdfNextUniqueId = 0;
    uint8_t UdfTimestamp[12] = {};
    uint8_t UdfLabel[32] = {};  // CS0 d-string, length in byte 31
    // Stream cursor of BuildUdfFileSectors: the walk's position and an
    // identifier split across two calls. UDFBridge.cpp alone reads it.
    struct TUdfCursor {
        TDirEntry* Dir = nullptr;  // directory being produced
        int State = 0;             // what comes next in that directory
        uint32_t SectorIndex = 0;  // sector within its identifier stream
        uint32_t ByteOffset = 0;   // bytes of identifiers already produced
        uint8_t Held[512] = {};    // the part of an identifier not yet written
        uint32_t HeldLength = 0;
        bool Complete = false;
        // Identifiers shortened to fit their length byte (names of more than
        // 127 units), with their entries, in the order the stream writes them.
        std::vector<std::pair<const TFileEntry*, std::u16string>> ShortNames;
        size_t NextShortName = 0;
        // Link counts of the file entries that several identifiers share.
        std::unordered_map<uint32_t, uint16_t> SharedLinks;
    } UdfStream;

    // ---- shared control words
    std::atomic<uint32_t> ErrorCode{0};
    std::atomic<uint8_t> AbortRequested{0};
    platform::TMessageTarget* NotifyWindow = nullptr;
    std::mutex* EngineLock = nullptr;  // made and owned by the component

    // ---- read-ahead cache
    int32_t CacheBytes = 0;
    int32_t MaxBlocks = 0;
    std::vector<TCacheSlot> BlockTable;    // kBlockTableSlots, a ring from BlockHead
    int32_t BlockHead = 0;                 // slot of the oldest filled block
    std::condition_variable CacheChanged;  // with EngineLock: a block was counted or taken
    std::vector<uint8_t*> SpareBlocks;     // taken blocks kept for reuse (guarded by EngineLock)
    std::atomic<int32_t> BlockCount{0};
    std::atomic<int64_t> SectorsToDeliver{0};
    std::atomic<uint8_t> CachePrimed{0};
    std::atomic<uint8_t> CacheDone{0};
    std::atomic<uint8_t> CacheThreadEnded{0};
    // The hand-over wakes the other side only when it has enough to do
    // (both guarded by EngineLock): the writer sleeps until WriterWaitsFor
    // blocks are counted, the producer until no more than ProducerWaitsAt
    // remain. 0 / -1: that side is not waiting.
    int32_t WriterWaitsFor = 0;
    int32_t ProducerWaitsAt = -1;
    std::atomic<uint8_t> ProducerBusy{0};
    std::atomic<uint8_t> ConsumerBusy{0};
    uint8_t CachePriority = 0;
    std::u16string CurrentSourcePath;  // guarded by EngineLock
    // The first source that changed while it was read (guarded by
    // EngineLock); the run fails with it once the stream is complete.
    std::u16string ChangedSourcePath;
    // The system's error number of the last file failure (open, read,
    // create, write), for the error's details.
    std::atomic<int> FileErrorNumber{0};

    // ---- write thread and image files
    std::atomic<uint32_t> SectorsWritten{0};
    std::unique_ptr<uint8_t[]> WriteBuffer;  // kBlockSize bytes
    TDoneHandler CompletionHandler;
    std::u16string ImagePath;  // at most 4095 characters
    // A regular image file is written under this name beside ImagePath and
    // renamed over it once complete; empty when ImagePath is written
    // directly (a device or a pipe).
    std::u16string ImageTempPath;
    // The image is written into a file without a name (nothing is left
    // behind by a crash); it is linked beside ImagePath once complete.
    uint8_t ImageUnnamed = 0;
    uint8_t WriteToImageFile = 0;
    uint8_t ReadFromImageFile = 0;
    platform::TFile ImageFileHandle;

    // ---- what the last write sent, for a verify that follows it
    std::vector<TBlockDigest> WrittenDigests;             // one per block, in stream order
    TWrittenTarget WrittenTarget = TWrittenTarget::None;  // set once a write succeeded
    uint32_t WrittenStartLba = 0;                         // where its first block went
    uint8_t WrittenAtZero = 0;       // its first block went to address 0 as well
    uint8_t WrittenCompilation = 0;  // its blocks came from the compilation's layout
    // The block a verify found different or could not read, and the path on
    // the disc of the file that holds it (empty: the file-system area).
    uint32_t VerifyFailLba = 0;
    std::u16string VerifyFailPath;
    uint8_t VerifyNamesFiles = 0;  // the running verify reads the compilation's layout
    // The write thread only digests the stream (nothing is written): the
    // compilation laid out as a disc's last session holds it, to verify it.
    uint8_t DigestOnly = 0;
    // The sectors (counted from the session's start) that the digests cover:
    // all of them, or for a digest run only the files' data, since the
    // file-system area holds the time it was written.
    uint32_t DigestFrom = 0;
    uint32_t DigestTo = 0xFFFFFFFFu;

    // ---- the running write's threads; joined before the next write starts
    // and when the component goes, so no thread outlives the records it uses
    std::thread CacheThread;
    std::thread WriteThread;
    std::thread EraseThread;
    std::thread VerifyThread;
};

}  // namespace tessor::builder
