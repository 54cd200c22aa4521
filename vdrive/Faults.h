// Faults injected into a virtual recorder for tests: a busy or not-ready
// spell, a unit attention, a write error at an address, a refused opcode, a
// medium that is suddenly gone. They are part of the drive's persisted
// state, so a fault rule set with the tool reaches the process that burns.
//
// A rule may wait for the drive's own progress before it starts: for the
// writes to reach a block, or for the first command of an operation code.
// Tests then place a fault at the start, the middle or the closing of a
// write whatever the machine's speed, instead of guessing a time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vdrive/Sense.h"

namespace tessor::vdrive {

enum class TFaultKind : uint8_t {
    Busy,
    NotReady,
    WriteError,
    Refuse,
    Removed,
    UnitAttention,
    ReadError,
    Corrupt,
};

// When a rule starts to act.
enum class TFaultTrigger : uint8_t {
    Now,       // at once
    AfterLba,  // with the first WRITE that reaches block `at` (its range ends beyond it)
    OnOpcode,  // with the first command of operation code `at`
};

struct TFault {
    TFaultKind kind = TFaultKind::Busy;
    TFaultTrigger trigger = TFaultTrigger::Now;
    uint32_t at = 0;         // the trigger's block or operation code
    bool armed = true;       // the trigger has fired (always for Now)
    int64_t durationUs = 0;  // busy, not ready, removed: how long once armed; 0 = no limit
    int64_t untilUs = 0;     // wall-clock end once armed; 0 = until cleared or used up
    uint32_t remaining = 0;  // answers left (write errors, refusals, busy/not-ready xN); 0 = every
    uint32_t lba = 0;        // write or read error: a command covering this block fails;
                             // corrupt: the first block read back changed
    uint32_t blocks = 0;     // corrupt: how many blocks from lba
    uint8_t opcode = 0;      // refusal: the operation code refused
    TSense sense;            // not ready, unit attention, write error, refusal
};

// The tool's fault rules (also printed by `tessor-vdrive fault --help`):
//   [after-lba LBA | on OPCODE] RULE, where RULE is
//   busy MS|xN                  target status BUSY (08h, no sense) for MS ms or N answers
//   not-ready MS|xN [ASCQ]      02/04/ASCQ (hex, default 00) for MS ms or N answers
//   unit-attention [ASCQ]       06/28/ASCQ (default 00) once, to the next command
//                               that needs the medium
//   write-error LBA SK/ASC/ASCQ [COUNT]
//                               the next COUNT (default 1, 0 = every) WRITE (10)
//                               covering block LBA fail with that sense
//   read-error LBA SK/ASC/ASCQ [COUNT]
//                               the same for READ (10)
//   corrupt LBA [COUNT]         READ (10) returns other bytes for the COUNT
//                               (default 1) blocks from LBA, with good status,
//                               until cleared: a sector gone bad unnoticed
//   refuse OPCODE SK/ASC/ASCQ [COUNT]
//                               refuse operation code OPCODE (hex); COUNT
//                               default 0 = every time
//   removed [MS]                the disc is gone (02/3A/00), for MS ms or until
//                               cleared
//   clear                       remove every fault
// MS are drive milliseconds (multiplied by the time scale). Sense values and
// opcodes are hexadecimal, e.g. 03/0C/00 or 46.
// Returns false with a message on bad input. For "clear", clearAll is set.
bool ParseFaultRule(const std::string& rule, int64_t nowUs, double timeScale, TFault& fault,
                    bool& clearAll, std::string& error);

extern const char* const kFaultRulesHelp;

// A READ (10) of `blocks` blocks from `lba`: the read-error rule that fails
// it (its answer used), or null; then ChangeCorruptBlocks alters the bytes
// read, `data` holding the blocks from lba.
const TFault* ReadErrorFor(std::vector<TFault>& faults, uint32_t lba, uint32_t blocks);
void ChangeCorruptBlocks(const std::vector<TFault>& faults, uint32_t lba, uint32_t blocks,
                         uint8_t* data, uint32_t blockSize);

// Arms the rules whose trigger this command meets (a WRITE's block range,
// or its operation code). True when one was armed.
bool ArmFaults(std::vector<TFault>& faults, const uint8_t* cdb, int64_t nowUs);

std::string FormatFault(const TFault& fault);  // one persisted line, without "fault "
bool ParseFaultLine(const std::string& line, TFault& fault);

}  // namespace tessor::vdrive
