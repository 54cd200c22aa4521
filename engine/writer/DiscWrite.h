// The drive side of a write: preparing the disc before the cache starts and
// the sink that writes blocks with WRITE (10) and closes the disc.
#pragma once

#include <memory>

#include "engine/builder/TreeTypes.h"
#include "engine/writer/BlockSink.h"

namespace tessor::drive {
struct TSCSIDevice;
}

namespace tessor::writer {

// StartWrite's drive steps (write parameters, DVD-RW formatting, the session
// start address, UdfLbaBase). Skips the compilation steps in read mode.
void PrepareDiscWrite(builder::TImageBuilder& b, drive::TSCSIDevice& drive);

std::unique_ptr<TBlockSink> MakeDiscSink(builder::TImageBuilder& b, drive::TSCSIDevice& drive);

}  // namespace tessor::writer
