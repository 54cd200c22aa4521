#include "engine/platform/Memory.h"

#include <windows.h>

namespace tessor::platform {

void ReturnFreedMemory() {
    // Coalesces the free blocks of the process heap and decommits what it can.
    ::HeapCompact(::GetProcessHeap(), 0);
}

}  // namespace tessor::platform
