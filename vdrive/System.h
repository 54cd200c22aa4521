// What the recorder takes from the operating system beyond plain files
// (posix/System.cpp, win/System.cpp).
#pragma once

#include <cstdint>
#include <string>

namespace tessor::vdrive {

// The state folder when neither the caller nor TESSOR_VDRIVE_DIR names one.
std::string SystemStateDir();
bool IsPathSeparator(char c);
// Puts from in the place of to, replacing a file that is there.
bool MoveReplacing(const std::string& from, const std::string& to);
// Signals an ASPI completion event (SRB_PostProc).
void SignalEvent(intptr_t handle);

}  // namespace tessor::vdrive
