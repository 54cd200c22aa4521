// ISO 9660 and Joliet: the layout of an image and its header area.
//
// The map of an image (sectors from its start), as PrepareImage lays it out:
//   0-15 zero | 16 primary | [boot record] | [ISO 9660:1999 descriptor] |
//   [Joliet descriptor] | terminator | [UDF fixed area up to 258] |
//   ISO path tables L, M | [Joliet path tables L, M] | ISO directories |
//   [Joliet directories] | [boot catalog] | zero up to 149 |
//   [boot image copy at BootImageLba] | [UDF file stream at UdfStreamStart] |
//   file data from FirstDataLba, in FileTable order | zero up to TotalSectors
//   (a multiple of 32; with the UDF bridge its last sector is the anchor).
//
// What the sector stream relies on after BuildHeaderArea:
// - HeaderBuffer holds HeaderLength bytes of finished sectors, from sector 0
//   up to the boot image copy, else the UDF file stream, else FirstDataLba
//   (HeaderLength / 2048 is that sector). The block itself is FirstDataLba
//   sectors long.
// - Each FileTable entry with Directory == nullptr and Size > 0 occupies
//   SectorsForBytes(Size) sectors from FirstDataLba + DataLba, read from
//   SourcePath; entries of size 0 and directory entries take none, and an
//   entry with SameData set takes none either: its DataLba is that entry's
//   (names of one file on disk, files found identical). The data
//   of a file of 4 GiB or more is contiguous like any other; only its
//   directory records are split into extents.
#pragma once

#include <cstdint>

#include "engine/builder/TreeTypes.h"

namespace tessor::builder {

// Sorts the tree and assigns every sector. Returns the sectors from the image
// start to the end of the file data, plus 1 with the UDF bridge. Names that
// do not fit a record are cut here (Joliet over 110 characters, ISO 9660:1999
// over 207 bytes) and equal ISO short names made unique; the entries' own
// names do not change.
int32_t PrepareImage(TImageBuilder& b);
// Builds HeaderBuffer (FirstDataLba sectors). False when not prepared.
bool BuildHeaderArea(TImageBuilder& b);
// The absolute sector of a file's data: where an earlier session recorded
// it, or where the layout put it in this one.
inline uint32_t DataAddress(const TImageBuilder& b, const TFileEntry* e) {
    if (e->Recorded)
        return e->RecordedLba;
    return static_cast<uint32_t>(b.FirstDataLba) + e->DataLba +
           static_cast<uint32_t>(b.SessionStartLba);
}
inline int32_t ImageSectors(const TImageBuilder& b) {
    return b.TotalSectors.load();
}

}  // namespace tessor::builder
