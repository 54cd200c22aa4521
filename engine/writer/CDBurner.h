// One write from start to completion: StartWrite prepares the drive or the
// image file and the builder, starts the read-ahead cache and then the write
// thread, which sends the stream to its sink and reports the end.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/builder/TreeTypes.h"

namespace tessor::drive {
struct TSCSIDevice;
}

namespace tessor::writer {

// Completion messages posted to the owner's message target.
inline constexpr uint32_t kMsgEraseDone = 1125;
inline constexpr uint32_t kMsgWriteDone = 1126;
inline constexpr uint32_t kMsgVerifyDone = 1127;
inline constexpr uint32_t kMsgSmartRefDone = 1128;

// Longest image path kept in ImagePath (characters, without the terminator).
inline constexpr size_t kMaxImagePath = 4095;

// True: the write thread runs and exactly one completion follows. False: the
// write ended before the write thread started, and the completion (failed)
// has been raised already. `sender` is the component, used as Sender when
// the handler is called directly (no message target).
bool StartWrite(builder::TImageBuilder& b, drive::TSCSIDevice* drive, void* sender,
                const builder::TDoneHandler& handler);

// Writes the prepared compilation into a new image file (created or
// truncated). False with ErrorCode 3 when the file cannot be created or the
// path is too long (no completion follows); otherwise as StartWrite.
bool CreateImageFile(builder::TImageBuilder& b, std::u16string_view path, void* sender,
                     const builder::TDoneHandler& handler);

// The current error code, cleared: the builder's ErrorCode when it is not 0,
// else the drive's last sense code (also cleared).
uint32_t TakeErrorCode(builder::TImageBuilder& b, uint16_t& lastSenseCode);
// The text of an error code, with the file it names (system code page).
std::string ErrorTextFor(const builder::TImageBuilder& b, uint32_t code);

// Raises the write completion: posts message 1126 to the owner's target, or
// calls the handler on this thread when there is none. Nothing happens when
// no handler is assigned.
void RaiseWriteDone(builder::TImageBuilder& b, const builder::TDoneHandler& handler, void* sender,
                    bool failed);

}  // namespace tessor::writer
