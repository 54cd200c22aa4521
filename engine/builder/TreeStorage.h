// The storage behind the compilation tree: the entry arena, the per-directory
// name index and the names the layout derives for the Joliet and ISO 9660:1999
// trees. Internal to the builder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/builder/TreeTypes.h"

namespace tessor::builder {

// Finds a directory's child by its long name, ignoring case, without scanning
// the child list. Open addressing over entry pointers keyed by (directory,
// hash of the case-folded name); an entry carries both keys itself, so the
// index costs two pointers per entry and no copy of the name.
class TNameIndex {
public:
    static uint32_t HashName(std::u16string_view name);  // folds case first
    void Clear();
    // The entry must already have Owner and NameHash set.
    void Insert(TFileEntry* entry);
    TFileEntry* Find(const TDirEntry* dir, std::u16string_view name, uint32_t hash) const;
    size_t MemoryBytes() const { return slots_.capacity() * sizeof(TFileEntry*); }

private:
    static size_t Mix(const TDirEntry* dir, uint32_t hash);
    void Grow();
    std::vector<TFileEntry*> slots_;
    size_t used_ = 0;
};

// Records that never move: made in chunks of N (one allocation each, apart
// from the small allocations of names, so freeing those leaves no holes
// between the records), freed only as a whole.
template <typename T, size_t N>
class TArena {
public:
    T& Add() {
        if (chunks_.empty() || used_ == N) {
            chunks_.push_back(std::make_unique<T[]>(N));
            used_ = 0;
        }
        return chunks_.back()[used_++];
    }
    void Clear() {
        std::vector<std::unique_ptr<T[]>>().swap(chunks_);
        used_ = N;
    }

private:
    std::vector<std::unique_ptr<T[]>> chunks_;
    size_t used_ = N;
};

struct TTreeStorage {
    TArena<TFileEntry, 1024> Files;  // stable addresses
    TArena<TDirEntry, 256> Dirs;
    TNameIndex Index;
    // Names written instead of an entry's own, filled by PrepareImage: Joliet
    // names over 110 characters and ISO 9660:1999 names over 207 bytes, cut
    // to fit a directory record; and ISO short names that another entry of
    // the same directory already carries, made unique with "~N". An entry
    // not listed is written with its own name.
    std::unordered_map<const TFileEntry*, std::u16string> JolietNames;
    std::unordered_map<const TFileEntry*, std::string> IsoNames;
    // The runs of recorded files whose data an earlier session left in
    // several places (in file order); a recorded file not listed has one
    // run from RecordedLba.
    std::unordered_map<const TFileEntry*, std::vector<TRecordedRun>> RecordedRuns;
};

// The runs of a recorded file in several places; null for every other file.
inline const std::vector<TRecordedRun>* RecordedRuns(const TImageBuilder& b, const TFileEntry* e) {
    if (!e->Recorded || !b.Storage || b.Storage->RecordedRuns.empty())
        return nullptr;
    auto at = b.Storage->RecordedRuns.find(e);
    return at == b.Storage->RecordedRuns.end() ? nullptr : &at->second;
}

}  // namespace tessor::builder
