// The header area under construction: HeaderBuffer is filled front to back,
// one piece after the other, by the ISO 9660 descriptor pass and the UDF
// fixed area. Internal to the builder.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/builder/TreeTypes.h"

namespace tessor::builder {

// The bytes HeaderBuffer holds once complete: up to the boot image, else the
// UDF file stream, else the file data. The stream and the file data are
// produced later, block by block, and are not buffered here.
size_t HeaderCapacity(const TImageBuilder& b);

// Appends count bytes at HeaderLength; what would pass the capacity is cut.
void EmitBytes(TImageBuilder& b, const void* data, uint32_t count);
void EmitZeroSectors(TImageBuilder& b, uint32_t sectors);
// Zero bytes up to the start of `sector`; the layout guarantees the writer
// is never past it.
void EmitZeroTo(TImageBuilder& b, int32_t sector);

}  // namespace tessor::builder
