// The directory of a disc's last session, read back so that a new session
// can carry it forward.
//
// The reader is a pure function over a "read sectors" callback: the disc is
// data from outside the program (any burner, a damaged or a forged disc), so
// every length, extent and count is checked against the disc and the limits
// below, and a fault ends the read with a message, never a crash or a hang.
// The carrying step puts what was read into the compilation as entries that
// point at their recorded extents: nothing is read or written again.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/builder/TreeTypes.h"
#include "engine/platform/FileSearch.h"

namespace tessor::builder {

// Reads `count` sectors from the absolute address `lba` into `out` (count x
// 2048 bytes). False when they cannot be read.
using TReadSectors = std::function<bool(uint32_t lba, uint32_t count, uint8_t* out)>;

// Every message of a failed read starts with this.
inline constexpr char kSessionUnreadable[] = "the earlier session cannot be read: ";

struct TSessionLimits {
    uint32_t MaxDepth = 64;                 // directory levels below the root
    uint32_t MaxEntries = kMaxFileEntries;  // files and directories together
    uint32_t MaxDirectories = kMaxDirectories;
    uint32_t MaxDirectoryBytes = 32u << 20;  // one directory's extent
    uint32_t MaxDescriptors = 64;            // volume descriptors before the terminator
    uint32_t MaxFileRuns = 1024;             // places one file's data lie in
};

// One entry of the session. A file's data start at Lba; the ISO 9660
// extents of a file of 4 GiB or more that follow each other are joined.
struct TRecordedEntry {
    int32_t Parent = -1;  // index of the parent directory; -1 for the root's children
    std::u16string Name;
    bool IsDirectory = false;
    bool Hidden = false;
    uint64_t Size = 0;
    uint32_t Lba = 0;
    platform::TFileTime WriteTime = 0;  // UTC
    // A file whose data lie in several places: each run, the first at Lba.
    // Empty for a file in one place.
    std::vector<TRecordedRun> Runs;
};

struct TRecordedSession {
    uint32_t Start = 0;   // where its volume descriptors were looked for (+16)
    bool Joliet = false;  // names came from the Joliet tree
    bool Udf = false;     // its UDF tree was read and lists the same files
    // Parents before their children; the children of one directory follow
    // each other.
    std::vector<TRecordedEntry> Entries;
    std::string Error;  // why it could not be read; starts with kSessionUnreadable
};

// Reads the primary tree and, where the volume has one, the Joliet tree (else
// an ISO 9660:1999 tree) of the volume whose descriptors start at
// sessionStart + 16. Names come from the Joliet (or 1999) tree, which must
// list the same files at the same extents as the primary tree. Every extent
// must end before discSectors. False with out.Error set on any fault.
bool ReadRecordedSession(const TReadSectors& read, uint32_t sessionStart, uint32_t discSectors,
                         TRecordedSession& out, const TSessionLimits& limits = {});

// The UDF tree of the session (anchor at sessionStart + 256), in the same
// order and form as the ISO 9660 trees give (no dates). False with `error`
// empty when the session has none, or one this reader does not follow
// (other partition maps, data inside the file entries); false with `error`
// (without kSessionUnreadable) when it is damaged. `partition` gets the
// absolute sectors its partition spans, [first, end).
bool ReadRecordedUdf(const TReadSectors& read, uint32_t sessionStart, uint32_t discSectors,
                     const TSessionLimits& limits, std::vector<TRecordedEntry>& out,
                     std::string& error, std::pair<uint64_t, uint64_t>& partition);

// True when the sector holds no volume descriptor at all (all zeros): a
// blank or freshly formatted disc, where there is nothing to import.
bool IsBlankSector(const uint8_t* sector);

// Enters the session's entries into the compilation under the root, as
// entries without a source that point at their recorded extents. A name the
// compilation already holds keeps its new entry (a directory takes the
// recorded entries into it); each such replacement is noted in SourceNotes.
// An entry the compilation refuses (a folder path over its limit) is noted
// as left out. Returns the entries carried forward, or -1 with nothing
// entered when the compilation's limits leave no room for all of them.
int32_t CarryRecordedSession(TImageBuilder& b, const TRecordedSession& session);

}  // namespace tessor::builder
