// Directory records and names of the ISO 9660 and Joliet trees, shared by
// the layout (which sizes the directory extents) and the header writer
// (which fills them), so both pack exactly the same records. Internal to the
// builder.
#pragma once

#include <cstdint>
#include <string>

#include "engine/builder/ECMA_119.h"
#include "engine/builder/TreeTypes.h"

namespace tessor::builder {

enum class TTreeKind { Iso, Joliet };

// ECMA-119 9.1: one record is at most 255 bytes. A file of 4 GiB or more is
// described by several records (9.1.6 multi-extent bit), each extent a whole
// number of sectors below 4 GiB.
inline constexpr uint64_t kMaxExtentBytes = 0xFFFFF800ull;
inline constexpr uint32_t kMaxExtentSectors = static_cast<uint32_t>(kMaxExtentBytes / kSectorSize);
// Longest Joliet name in UTF-16 units: 33 + 2 x 110 + 1 pad = 254 bytes.
inline constexpr size_t kMaxJolietUnits = 110;
// ISO 9660:1999 7.5.1: a file identifier of at most 207 bytes.
inline constexpr size_t kMaxIso1999Bytes = 207;
static_assert(iso::TDirectoryRecord::SizeFor(2 * kMaxJolietUnits) <= 255);
static_assert(iso::TDirectoryRecord::SizeFor(kMaxIso1999Bytes) <= 255);

// Records a file needs: 1, or one per extent for 4 GiB and more.
uint32_t ExtentCount(const TFileEntry* e);

// The name bytes a record of this entry carries in the given tree (also the
// name of a directory's path-table record, taken from its entry).
std::string RecordName(const TImageBuilder& b, const TFileEntry* e, TTreeKind kind);

// Packs one directory's records ("." and "..", then every child in list
// order) into its extent: a record that does not fit in the rest of a sector
// starts the next one. With `out` null it only counts; otherwise it writes
// the records into `out`, which holds the directory's whole extent (zeroed).
// Returns the sectors used (at least 1).
uint32_t PackDirectory(const TImageBuilder& b, const TDirEntry* dir, TTreeKind kind, uint8_t* out);

}  // namespace tessor::builder
