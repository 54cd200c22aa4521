// Writers of the pieces every UDF descriptor shares (tags, entity
// identifiers, character sets, allocation descriptors), and the address
// arithmetic of the bridge.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/builder/TreeTypes.h"

namespace tessor::builder::udf {

// The partition starts at absolute sector 257, whatever the session start.
inline constexpr int64_t kPartitionStartSector = 257;

// A logical block number inside the partition for an image sector
// (sector + UdfLbaBase - 257).
inline uint32_t UdfBlock(const TImageBuilder& b, int64_t sector) {
    return static_cast<uint32_t>(sector + b.UdfLbaBase - kPartitionStartSector);
}

// An absolute sector address for an image sector outside the partition
// (sector + UdfLbaBase).
inline uint32_t UdfSector(const TImageBuilder& b, int64_t sector) {
    return static_cast<uint32_t>(sector + b.UdfLbaBase);
}

// Fills in the descriptor tag at d (ECMA-167 3/7.2): identifier, version 2,
// serial number 1, location, and the CRC over the crcLength bytes after the
// tag, then the checksum. Only the first `usedLength` of those bytes are
// read; the rest must be zero.
void FinishTag(uint8_t* d, uint16_t identifier, uint32_t location, uint16_t crcLength,
               uint16_t usedLength);
inline void FinishTag(uint8_t* d, uint16_t identifier, uint32_t location, uint16_t crcLength) {
    FinishTag(d, identifier, location, crcLength, crcLength);
}

// ECMA-167 1/7.4: flags 0, the identifier zero-filled to 23 bytes, the suffix.
void PutEntityId(uint8_t* p, std::string_view identifier, const uint8_t (&suffix)[8]);
// The identifiers this writer records.
void PutImplementationId(uint8_t* p);                    // "*Quillbright Veltrane", OS class 6
void PutDomainId(uint8_t* p, uint8_t domainFlags);       // "*OSTA UDF Compliant", revision 1.50
void PutUdfId(uint8_t* p, std::string_view identifier);  // revision 1.50, OS class 6

// OSTA UDF 2.1.2: the OSTA CS0 character set specification (64 bytes).
void PutCs0Charspec(uint8_t* p);

void PutExtentAd(uint8_t* p, uint32_t length, uint32_t location);
void PutShortAd(uint8_t* p, uint32_t length, uint32_t position);
void PutLongAd(uint8_t* p, uint32_t length, uint32_t block, uint16_t partition);

// Bytes of a file identifier descriptor whose identifier has `units`
// UTF-16 units: 4 x ceil((38 + L) / 4), L = 1 + 2 x units (0 for none).
uint32_t FidLength(size_t units);

// Files are described by short allocation descriptors of at most this many
// bytes each, whole blocks, over their one contiguous extent.
inline constexpr uint32_t kMaxAdBytes = (1u << 30) - 2048;
// The file entry's allocation descriptor area is the rest of its block.
inline constexpr uint32_t kFileEntryAdArea = 2048 - 176;
inline constexpr uint32_t kFileEntryAdSlots = kFileEntryAdArea / 8;  // 234
// An allocation extent descriptor block holds this many descriptors.
inline constexpr uint32_t kAllocationExtentAdSlots = (2048 - 24) / 8;  // 253

// Short allocation descriptors needed for `bytes` of data (1 for 0 bytes).
uint64_t ShortAdCount(uint64_t bytes);

// The descriptors of a file that one block of its descriptor chain holds:
// block 0 is the file entry, blocks 1.. allocation extent descriptors. The
// last slot of a full block points at the next one when more follow.
struct TAdBlockPlan {
    uint64_t First = 0;    // index of the first data descriptor in this block
    uint32_t Count = 0;    // data descriptors in this block
    bool Chained = false;  // a pointer to the next block follows them
};
TAdBlockPlan PlanAdBlock(uint64_t bytes, uint64_t block);
// The same for a file of `total` data descriptors.
TAdBlockPlan PlanAdBlockOf(uint64_t total, uint64_t block);

// Blocks of allocation extent descriptors a file of `bytes` needs after its
// file entry: 0 up to 234 descriptors (about 234 GiB).
uint64_t AllocationExtentBlocks(uint64_t bytes);
// The same for a file of `total` data descriptors.
uint64_t AllocationExtentBlocksOf(uint64_t total);

}  // namespace tessor::builder::udf
