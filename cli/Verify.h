// The verify step shared by the commands that write.
#pragma once

#include <cstdio>
#include <functional>

#include "engine/component/DiscBurner.h"

namespace tessor::cli {

inline const char* kVerifyHelp =
    "  --verify            afterwards read everything back and compare it with what was\n"
    "                      written; exit status 5 when it differs\n";

inline const char* kVerifyExitStatus =
    "\nExit status: 0 verified, 1 could not verify (no disc to read, nothing\n"
    "written), 2 bad command line, 5 the data read back differ from what was written\n"
    "or could not be read (the message names the first block, its file and the\n"
    "drive's reason), 130 interrupted.\n";

// Runs one verify to its end with progress, and prints its result. The exit
// code: kExitOk, kExitDiffers, kExitFailed (it could not run), kExitAborted.
int RunVerify(component::TDiscBurner& burner, const std::function<bool()>& start, std::FILE* out,
              std::FILE* err);

}  // namespace tessor::cli
