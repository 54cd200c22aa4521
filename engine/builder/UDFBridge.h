// The UDF 1.50 bridge: fixed area, file stream and closing anchor.
#pragma once

#include <cstdint>

#include "engine/builder/TreeTypes.h"

namespace tessor::builder {

// PrepareImage, step "fixed area": from the sector after the ISO terminator.
// Returns the next free sector (259).
int32_t LayoutUdfFixedArea(TImageBuilder& b, int32_t nextSector);
// PrepareImage, step "file stream": from the sector after the boot image.
// Returns the next free sector. Resets the stream cursor.
int32_t LayoutUdfFileStream(TImageBuilder& b, int32_t nextSector);
// Puts the file stream's walk back at its start, for another write of the
// same prepared compilation (the layout comes out as before).
void RewindUdfStream(TImageBuilder& b);
// PrepareImage, after TotalSectors is rounded: UdfLastLba, UdfPartitionLength.
void SetUdfPartitionEnd(TImageBuilder& b);
// BuildHeaderArea: emits from UdfVrsLba up to and including sector 258,
// through EmitBytes, with zero sectors between the parts.
void EmitUdfFixedArea(TImageBuilder& b);
// The next `count` (at most 32) sectors of the file stream into consecutive
// 2048-byte slots of buffer, every byte written. Call it with consecutive
// chunks from UdfStreamStart, UdfStreamSectors sectors in all; slots asked
// for past the stream's end are zeroed. False, with nothing written, once
// the whole stream has been produced (a new PrepareImage rewinds it). Reads
// FirstDataLba and UdfLbaBase, so both must be final before the first call.
bool BuildUdfFileSectors(TImageBuilder& b, uint8_t* buffer, int count);
// An anchor volume descriptor pointer for the given image sector (256, or
// UdfLastLba for the closing anchor), into 2048 bytes.
void BuildUdfAnchor(TImageBuilder& b, uint8_t* buffer, int32_t sector);

}  // namespace tessor::builder
