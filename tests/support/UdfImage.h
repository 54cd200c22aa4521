// Prepared compilations as sectors in memory, for tests of the UDF bridge
// that need no file contents: the header area from BuildHeaderArea, the UDF
// file stream produced by BuildUdfFileSectors in chunks of a chosen size,
// zero sectors for the file data and the closing anchor.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/builder/TreeTypes.h"
#include "tests/support/UdfCheck.h"

namespace tessor::testsupport {

struct TUdfTestImage {
    std::vector<uint8_t> Header;  // HeaderLength bytes
    std::vector<uint8_t> Stream;  // UdfStreamSectors sectors
    std::vector<uint8_t> Anchor;  // the closing anchor sector
    int64_t StreamStart = 0;
    int64_t TotalSectors = 0;
    int64_t Base = 0;  // UdfLbaBase: image sector 0 is this absolute sector
    int Calls = 0;     // BuildUdfFileSectors calls that returned true

    // Absolute sectors Base .. Base + TotalSectors - 1.
    TSectorReader Reader() const;
    // The 2048 bytes of an image sector.
    std::vector<uint8_t> Sector(int64_t imageSector) const;
    TUdfVolume Check() const { return CheckUdf(Reader(), Base, Base + TotalSectors - 1); }
    // Writes the image as a sparse file at absolute sector Base, as it would
    // lie on the medium: the file data (and anything before Base) stays a
    // hole of zeros.
    bool WriteSparse(const std::string& path) const;
};

// Runs BuildHeaderArea, then produces the stream in calls of `chunk`
// sectors; b must be prepared with the UDF bridge on. UdfLbaBase is set to
// `base` before the header is built.
TUdfTestImage BuildUdfTestImage(builder::TImageBuilder& b, int chunk = 32, int32_t base = 0);

// A compilation entry without a source on disk: a file of `size` bytes
// named `name` (UTF-8) under the directory `dirPath` ("\\" for the root).
// `shortName` fixes the 8.3 name, and with it the sort order. Null on failure.
builder::TFileEntry* AddFakeFile(builder::TImageBuilder& b, const std::string& dirPath,
                                 const std::string& name, uint64_t size,
                                 const std::string& shortName = {});
// CreateDir with UTF-8 arguments.
builder::TDirEntry* AddFakeDir(builder::TImageBuilder& b, const std::string& dirPath,
                               const std::string& name);

}  // namespace tessor::testsupport
