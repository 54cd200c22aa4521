// The system beep: a bell on the controlling terminal, when there is one.
#pragma once

namespace tessor::platform {

// Best effort and silent: nothing happens without a terminal.
void Beep();

}  // namespace tessor::platform
