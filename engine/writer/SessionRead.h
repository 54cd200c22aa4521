// Finding the last session on the disc in the drive and carrying its
// directory into the compilation.
#pragma once

#include <cstdint>
#include <string>

#include "engine/builder/TreeTypes.h"

namespace tessor::drive {
struct TSCSIDevice;
}

namespace tessor::builder {
struct TRecordedSession;
}

namespace tessor::writer {

struct TSessionImport {
    bool Found = false;       // the disc holds a session (or a volume) to import
    int32_t Carried = 0;      // entries carried forward
    bool UdfLeftOff = false;  // the UDF bridge was switched off (see SessionRead.cpp)
    std::string Error;        // empty unless the session could not be read
};

// The last session's start and the end of what is recorded, as the drive
// tells them: READ TOC (session information, lead-out) for discs written in
// sessions, sector 0 and the formatted capacity for overwritable media.
// False when the disc holds nothing to import.
bool FindLastSession(drive::TSCSIDevice& d, uint32_t& start, uint32_t& discSectors);

// Reads the last session's directory. False with out.Error when the disc
// holds a session that cannot be read; true with no entries when there is
// none. StatusCode is S_IMPORTING_SESSION meanwhile.
bool ReadLastSession(builder::TImageBuilder& b, drive::TSCSIDevice& d,
                     builder::TRecordedSession& out, bool& found);

// ReadLastSession, then the entries into the compilation. False with
// report.Error, and nothing carried, when the session cannot be read or the
// compilation's limits leave no room for all of it.
bool ImportLastSession(builder::TImageBuilder& b, drive::TSCSIDevice& d, TSessionImport& report);

}  // namespace tessor::writer
