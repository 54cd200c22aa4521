// Words for the sense data a drive answers with, for messages a user can
// act on ("05/21/00 logical block address out of range").
#pragma once

#include <string>

#include "engine/drive/SCSIDefs.h"

namespace tessor::drive {

// The meaning of a sense key, ASC and ASCQ from the common SPC and MMC
// codes; the sense key's name when the pair is not among them.
std::string SenseMeaning(const TSense& sense);
// "KK/AA/QQ meaning", the three bytes in hex.
std::string DescribeSense(const TSense& sense);

}  // namespace tessor::drive
