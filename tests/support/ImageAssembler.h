// Puts a prepared compilation into an image file without the read-ahead
// cache: the header area, the boot image, the UDF file stream and closing
// anchor (when the bridge is on) and every file's contents at the sectors
// the layout gave them. Holes in sparse sources stay holes in the image.
#pragma once

#include <string>

#include "engine/builder/TreeTypes.h"

namespace tessor::testsupport {

// Runs BuildHeaderArea when no header has been built. `b` must have been
// prepared (PrepareImage). The image is TotalSectors x 2048 bytes long.
// False with a reason in `error` on any failure (a source whose size changed
// is a failure).
bool AssembleImage(builder::TImageBuilder& b, const std::string& imagePath,
                   std::string* error = nullptr);

// Only the header area, the rest of the TotalSectors left as zeros (a sparse
// file): enough for structure checks of a compilation whose entries have no
// real sources.
bool WriteHeaderImage(builder::TImageBuilder& b, const std::string& imagePath,
                      std::string* error = nullptr);

}  // namespace tessor::testsupport
