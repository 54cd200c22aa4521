#include "engine/platform/Beep.h"

#include <windows.h>

namespace tessor::platform {

void Beep() {
    MessageBeep(MB_OK);
}

}  // namespace tessor::platform
