// The process's memory as the system sees it.
#pragma once

namespace tessor::platform {

// Gives the pages of freed heap memory back to the system. Building a large
// compilation frees much more than it keeps (folder listings, name sets,
// sort keys), scattered between what it keeps: the allocator would hold
// those pages for the rest of the process's life.
void ReturnFreedMemory();

}  // namespace tessor::platform
