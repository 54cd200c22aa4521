#include "engine/drive/SenseText.h"

#include <cstdio>
#include <iterator>

namespace tessor::drive {

namespace {

struct TSenseWords {
    uint8_t asc;
    uint8_t ascq;
    const char* text;
};

// SPC-3 annex D and MMC-5 annex F, as far as optical drives report them.
constexpr TSenseWords kSenseWords[] = {
    {0x00, 0x00, "no additional sense information"},
    {0x04, 0x00, "logical unit not ready, cause not reportable"},
    {0x04, 0x01, "logical unit is in process of becoming ready"},
    {0x04, 0x02, "logical unit not ready, initializing command required"},
    {0x04, 0x03, "logical unit not ready, manual intervention required"},
    {0x04, 0x04, "logical unit not ready, format in progress"},
    {0x04, 0x07, "logical unit not ready, operation in progress"},
    {0x04, 0x08, "logical unit not ready, long write in progress"},
    {0x09, 0x00, "track following error"},
    {0x0C, 0x00, "write error"},
    {0x0C, 0x07, "write error, recovery needed"},
    {0x0C, 0x09, "write error, loss of streaming"},
    {0x0C, 0x0A, "write error, padding blocks added"},
    {0x11, 0x00, "unrecovered read error"},
    {0x15, 0x00, "random positioning error"},
    {0x1A, 0x00, "parameter list length error"},
    {0x20, 0x00, "invalid command operation code"},
    {0x21, 0x00, "logical block address out of range"},
    {0x21, 0x02, "invalid address for write"},
    {0x24, 0x00, "invalid field in CDB"},
    {0x26, 0x00, "invalid field in parameter list"},
    {0x27, 0x00, "write protected"},
    {0x28, 0x00, "not ready to ready change, medium may have changed"},
    {0x29, 0x00, "power on, reset or bus device reset occurred"},
    {0x2A, 0x00, "parameters changed"},
    {0x2C, 0x00, "command sequence error"},
    {0x30, 0x00, "incompatible medium installed"},
    {0x30, 0x01, "cannot read medium, unknown format"},
    {0x30, 0x02, "cannot read medium, incompatible format"},
    {0x30, 0x05, "cannot write medium, incompatible format"},
    {0x30, 0x06, "cannot format medium, incompatible medium"},
    {0x31, 0x00, "medium format corrupted"},
    {0x3A, 0x00, "medium not present"},
    {0x3A, 0x01, "medium not present, tray closed"},
    {0x3A, 0x02, "medium not present, tray open"},
    {0x3E, 0x00, "logical unit has not self-configured yet"},
    {0x44, 0x00, "internal target failure"},
    {0x53, 0x00, "media load or eject failed"},
    {0x53, 0x02, "medium removal prevented"},
    {0x55, 0x00, "system resource failure"},
    {0x57, 0x00, "unable to recover table of contents"},
    {0x5D, 0x00, "failure prediction threshold exceeded"},
    {0x63, 0x00, "end of user area encountered on this track"},
    {0x64, 0x00, "illegal mode for this track"},
    {0x72, 0x00, "session fixation error"},
    {0x72, 0x01, "session fixation error writing lead-in"},
    {0x72, 0x02, "session fixation error writing lead-out"},
    {0x72, 0x03, "session fixation error, incomplete track in session"},
    {0x72, 0x04, "empty or partially written reserved track"},
    {0x72, 0x05, "no more track reservations allowed"},
    {0x73, 0x00, "CD control error"},
    {0x73, 0x01, "power calibration area almost full"},
    {0x73, 0x02, "power calibration area is full"},
    {0x73, 0x03, "power calibration area error"},
};

constexpr const char* kKeyNames[16] = {
    "no sense",       "recovered error", "not ready",      "medium error",
    "hardware error", "illegal request", "unit attention", "data protect",
    "blank check",    "vendor specific", "copy aborted",   "aborted command",
    "equal",          "volume overflow", "miscompare",     "reserved"};

}  // namespace

std::string SenseMeaning(const TSense& sense) {
    for (const TSenseWords& w : kSenseWords) {
        if (w.asc == sense.Asc && w.ascq == sense.Ascq)
            return w.text;
    }
    return kKeyNames[sense.Key & 0x0F];
}

std::string DescribeSense(const TSense& sense) {
    char code[16];
    std::snprintf(code, sizeof code, "%02X/%02X/%02X ", sense.Key, sense.Asc, sense.Ascq);
    return code + SenseMeaning(sense);
}

}  // namespace tessor::drive
