// What the drive claim needs to know about the system's access rules.
#pragma once

#include <string>

namespace tessor::drive {

// The folder of the lock files of drives behind an ASPI library, private to
// the user and made when missing (with a trailing separator).
std::string LockFolder();

// Added to "writing needs read-write access to PATH": who has that access
// ("; members of the group 'cdrom' have it"), or empty when unknown.
std::string WriteAccessHint(const std::string& devicePath);

}  // namespace tessor::drive
