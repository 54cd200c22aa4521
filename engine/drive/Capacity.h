// How much a disc holds and how much of it is still free, in 2048-byte
// sectors.
#pragma once

#include <cstdint>
#include <span>

#include "engine/drive/SCSIDefs.h"

namespace tessor::drive {

// READ (10) of blocks 2048-byte sectors into buffer (false without sending
// when the buffer is smaller).
bool Read10(TSCSIDevice& device, uint32_t lba, uint16_t blocks, std::span<uint8_t> buffer);
// Blocks of the 2048-byte full-format descriptor among the first four of
// READ FORMAT CAPACITIES, else of the first descriptor; 0 on failure.
uint32_t ReadFormatCapacity(TSCSIDevice& device);
// Size in sectors of the ISO 9660 volume on the disc, from the supplementary
// volume descriptor if there is one, else from the primary; 0 when none.
uint32_t IsoVolumeSize(TSCSIDevice& device);
// True when the disc can take more data.
bool DiscWritable(TSCSIDevice& device);
// Free sectors on the disc; 0 when it cannot be written.
uint32_t DiscFreeSectors(TSCSIDevice& device);
// Size of the disc in sectors.
uint32_t DiscCapacitySectors(TSCSIDevice& device);

}  // namespace tessor::drive
