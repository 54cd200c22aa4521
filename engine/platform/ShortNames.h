// Generation of 8.3 alternate names for the entries of one folder, the way a
// Windows volume gives them. Internal to the platform layer; exposed so the
// rules can be tested without creating thousands of files.
#pragma once

#include <string>
#include <vector>

namespace tessor::platform {

// True when name (UTF-16) already is a valid 8.3 name: a base of 1 to 8
// characters, optionally one dot and 1 to 3 extension characters, all of
// them valid FAT characters (letters of either case, digits and
// $%'-_@~`!(){}^#&).
bool IsValidShortName(std::u16string_view name);

// Alternate names for every name of one folder (UTF-8 names as the folder
// lists them), in the order of names: the alternate of names[i] is
// result[i], empty for a valid 8.3 name and for "." and "..". Each name's
// alternate does not depend on the order of names.
std::vector<std::u16string> MakeShortNames(const std::vector<std::string>& names);

}  // namespace tessor::platform
