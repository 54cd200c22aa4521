// The record of files whose contents were found identical: each set is
// written once and every member's records point at that one copy.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/platform/File.h"

namespace tessor::builder {

struct TFileEntry;

// One member of a set: its entry, the member whose copy it shares (itself
// for the first of the set) and the file's stamp when its bytes were
// compared. The write checks every member against its stamp: a file that
// changed after the comparison fails the run rather than being recorded
// with another file's contents.
struct TSmartMember {
    TFileEntry* Entry = nullptr;
    TFileEntry* Leader = nullptr;
    platform::TFileStamp Stamp;
};

struct TSmartReferences {
    std::vector<TSmartMember> Members;  // set by set, each leader first
    uint64_t Files = 0;                 // members that share another's copy
    uint64_t SavedBytes = 0;            // their contents, which are not written
};

}  // namespace tessor::builder
