// ISO 9660 and Joliet: the layout of an image and its header area.
#pragma once

#include <cstdint>

#include "engine/builder/TreeTypes.h"

namespace tessor::builder {

// Sorts the tree and assigns every sector. Returns the sectors from the image
// start to the end of the file data, plus 1 with the UDF bridge.
int32_t PrepareImage(TImageBuilder& b);
// Builds HeaderBuffer (FirstDataLba sectors). False when not prepared.
bool BuildHeaderArea(TImageBuilder& b);
void EmitBytes(TImageBuilder& b, const void* data, uint32_t count);
void EmitZeroSectors(TImageBuilder& b, uint32_t sectors);
inline int32_t ImageSectors(const TImageBuilder& b) { return b.TotalSectors.load(); }

}  // namespace tessor::builder
