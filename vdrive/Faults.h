// Faults injected into a virtual recorder for tests: a busy or not-ready
// spell, a write error at an address, a refused opcode, a medium that is
// suddenly gone. They are part of the drive's persisted state, so a fault set
// with the tool reaches the process that burns.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vdrive/Sense.h"

namespace tessor::vdrive {

enum class TFaultKind : uint8_t { Busy, NotReady, WriteError, Refuse, Removed };

struct TFault {
    TFaultKind kind = TFaultKind::Busy;
    int64_t untilUs = 0;     // wall-clock deadline; 0 = until cleared
    uint32_t remaining = 0;  // write errors and refusals: times left; 0 = every time
    uint32_t lba = 0;        // write error: a WRITE (10) covering this block fails
    uint8_t opcode = 0;      // refusal: the operation code refused
    TSense sense;            // not ready, write error, refusal
};

// The fault tool's SPEC grammar (also printed by `tessor-vdrive --help`):
//   busy MS                       target status BUSY (08h, no sense) for MS ms
//   not-ready MS [ASCQ]           02/04/ASCQ (hex, default 00) for MS ms
//   write-error LBA SK/ASC/ASCQ [COUNT]
//                                 the next COUNT (default 1, 0 = every) WRITE (10)
//                                 covering block LBA fail with that sense
//   refuse OPCODE SK/ASC/ASCQ [COUNT]
//                                 refuse operation code OPCODE (hex); COUNT
//                                 default 0 = every time
//   removed [MS]                  the disc is gone (02/3A/00), for MS ms or until
//                                 cleared
//   clear                         remove every fault
// MS are drive milliseconds (multiplied by the time scale). Sense values and
// opcodes are hexadecimal, e.g. 03/0C/00 or 46.
// Returns false with a message on bad input. For "clear", clearAll is set.
bool ParseFaultSpec(const std::string& spec, int64_t nowUs, double timeScale, TFault& fault,
                    bool& clearAll, std::string& error);

extern const char* const kFaultSpecHelp;

std::string FormatFault(const TFault& fault);  // one persisted line, without "fault "
bool ParseFaultLine(const std::string& line, TFault& fault);

}  // namespace tessor::vdrive
