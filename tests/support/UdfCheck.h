// A strict structure pass over a UDF volume, written from ECMA-167 and the
// OSTA UDF profile and independent of the engine's own UDF code: every
// descriptor tag (identifier, checksum, CRC, location), the volume
// recognition sequence, the anchors, both volume descriptor sequences, the
// integrity descriptor against a walk of the tree, every file entry and file
// identifier reachable from the root, allocation descriptors inside the
// partition and d-strings whose length matches their content.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace tessor::testsupport {

struct TUdfNode {
    std::u16string Name;  // decoded file identifier; empty for the root
    bool Directory = false;
    bool Hidden = false;  // file characteristics bit 0
    uint64_t Size = 0;    // information length
    uint64_t BlocksRecorded = 0;
    uint64_t UniqueId = 0;
    uint16_t LinkCount = 0;
    uint32_t EntryBlock = 0;  // partition block of the file entry
    // Recorded extents: (partition block, bytes).
    std::vector<std::pair<uint32_t, uint32_t>> Extents;
    uint32_t AllocationExtents = 0;  // blocks continuing the descriptors
    std::vector<TUdfNode> Children;
};

struct TUdfVolume {
    std::vector<std::string> Errors;  // every fault found; empty for a sound volume
    TUdfNode Root;
    std::u16string VolumeIdentifier;         // primary volume descriptor
    std::u16string LogicalVolumeIdentifier;  // logical volume descriptor
    std::u16string LvInfoIdentifier;         // implementation use volume descriptor
    std::u16string FsdLogicalVolumeIdentifier;
    std::u16string FileSetIdentifier;
    uint32_t PartitionStart = 0;  // absolute sector
    uint32_t PartitionLength = 0;
    uint32_t IntegrityFiles = 0;
    uint32_t IntegrityDirectories = 0;
    uint64_t NextUniqueId = 0;
    uint32_t Files = 0;                  // counted by the walk
    uint32_t Directories = 0;            // the root included
    std::vector<uint64_t> Anchors;       // absolute sectors holding a valid anchor
    std::vector<uint64_t> MainSequence;  // absolute sectors of the main sequence's descriptors
    std::vector<uint64_t> ReserveSequence;
};

// Reads one 2048-byte sector at an absolute address; false when the sector
// is not part of what was recorded.
using TSectorReader = std::function<bool(uint64_t sector, uint8_t* out)>;

// sessionStart: the absolute sector of the volume's sector 0 (its anchor is
// at sessionStart + 256); lastSector: the absolute last sector of the volume
// (the closing anchor).
TUdfVolume CheckUdf(const TSectorReader& read, uint64_t sessionStart, uint64_t lastSector);

// An image file whose sector 0 is absolute sector 0.
TUdfVolume CheckUdfImage(const std::string& path);

// The CRC of ECMA-167 3/7.2.6, bit by bit (a reference for the tests).
uint16_t ReferenceUdfCrc(const uint8_t* data, size_t length);

// UTF-8 form of a decoded name, for messages and comparisons.
std::string Utf8(const std::u16string& text);

// Finds a node by a path of names ("a/b/c"); null when absent.
const TUdfNode* FindUdfNode(const TUdfNode& root, const std::string& utf8Path);

}  // namespace tessor::testsupport
