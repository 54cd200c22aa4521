#include "engine/platform/Memory.h"

#include <cstdlib>  // defines __GLIBC__ where it is glibc

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace tessor::platform {

void ReturnFreedMemory() {
#if defined(__GLIBC__)
    // Also releases the free pages in the middle of the heap, not only at
    // its top.
    ::malloc_trim(0);
#endif
}

}  // namespace tessor::platform
