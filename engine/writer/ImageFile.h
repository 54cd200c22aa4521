// Image files as the write thread's target: where the bytes go, how a
// complete image takes the place of an earlier file, and the check that an
// image never overwrites one of its own sources.
#pragma once

#include <memory>
#include <string_view>

#include "engine/builder/TreeTypes.h"
#include "engine/writer/BlockSink.h"

namespace tessor::writer {

// True when the file at path is one of the compilation's sources or its
// boot image (the same file on disk: device and inode, whatever the names).
bool IsCompilationSource(const builder::TImageBuilder& b, std::u16string_view path);

// Opens the target of an image: a regular file (or a path where none is
// yet) is written under a temporary name beside it, so an earlier file
// stays untouched until the new image is complete; a device or pipe (also
// /dev/stdout) is written directly. False with FileErrorNumber set.
bool OpenImageTarget(builder::TImageBuilder& b, std::u16string_view path);

// Ends what OpenImageTarget began: a complete image takes the target's
// name (keeping an earlier file's permissions); a failed one is removed. False
// when the image could not be put in place (ErrorCode set).
bool FinishImageTarget(builder::TImageBuilder& b, bool failed);

// The write thread's sink for image files.
std::unique_ptr<TBlockSink> MakeImageFileSink(builder::TImageBuilder& b);

}  // namespace tessor::writer
