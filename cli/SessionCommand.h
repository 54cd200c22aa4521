// The earlier session of a disc, for burn and ls.
#pragma once

#include <cstdio>

#include "engine/component/DiscBurner.h"

namespace tessor::cli {

// Carries the last session of the disc in the selected drive into the
// compilation and says how many entries it brought. False (with the reason
// on err) when the session cannot be read: nothing may be written then.
bool ImportEarlierSession(component::TDiscBurner& burner, std::FILE* out, std::FILE* err);

}  // namespace tessor::cli
