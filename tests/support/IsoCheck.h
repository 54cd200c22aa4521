// A strict structure pass of our own over the ISO 9660 and Joliet bytes of an
// image, checking what the lenient readers let pass:
// - volume descriptors: standard identifier, both-endian fields agreeing,
//   the UCS-2 escape sequence only in a Joliet descriptor, volume size
//   against the image size;
// - path tables: type L and type M agreeing record by record, parent numbers
//   ordered, and every record agreeing with the directory it names (extent,
//   name, parent);
// - directories: record lengths (33 + n + pad), records never crossing a
//   sector, both-endian fields agreeing, "." and ".." pointing at the
//   directory and its parent, names unique in a directory;
// - files: every extent inside the image, multi-extent chains complete
//   (bit 7 on every record but the last, whole-sector extents, consecutive);
// - El Torito: the validation entry's checksum and key bytes.
// It reads only the structures (pread), so it is cheap on a sparse image.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tessor::testsupport {

struct TIsoEntry {
    std::string path;  // '/'-joined; ISO names as recorded, Joliet names in UTF-8
    bool dir = false;
    uint64_t size = 0;                                   // files: sum over the extents
    uint8_t flags = 0;                                   // flags of the (last) record
    std::vector<std::pair<uint32_t, uint32_t>> extents;  // (first sector, bytes)
    uint32_t records = 0;                                // directory records used
};

struct TIsoTree {
    bool present = false;
    uint32_t rootExtent = 0;
    uint32_t rootLength = 0;
    uint32_t pathTableSize = 0;
    std::vector<TIsoEntry> entries;  // in directory order, depth first
    const TIsoEntry* Find(const std::string& path) const;
};

struct TIsoReport {
    std::vector<std::string> faults;  // empty: the structures are sound
    uint32_t volumeSpaceSize = 0;
    uint64_t imageBytes = 0;
    bool primaryEscapeZero = true;  // bytes 88 to 119 of the primary are zero
    bool enhanced = false;          // an ISO 9660:1999 descriptor is present
    bool bootRecord = false;
    uint32_t bootCatalogLba = 0;
    std::string volumeId;  // primary, trailing zeros and spaces cut
    TIsoTree primary;
    TIsoTree joliet;
    std::string Summary() const;  // the faults, one per line
};

TIsoReport CheckIsoImage(const std::string& imagePath);

}  // namespace tessor::testsupport
