// The system calls the test support and the suites make, with one side per
// platform (posix/ and win/). Paths are UTF-8, as everywhere in the program.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace tessor::testsupport {

// A fresh folder "<prefix>-XXXXXX" in the system's temporary folder, made
// for this caller only. Empty when none could be made.
std::string MakeTempFolder(const std::string& prefix);

// One entry of a folder, as the folder itself holds it: a link is not
// followed, so a link to a folder is not a folder.
struct TFolderEntry {
    std::string name;
    bool dir = false;
    uint64_t size = 0;
};
// The entries of a folder without "." and "..". False when it cannot be read.
bool ListFolder(const std::string& path, std::vector<TFolderEntry>& entries);

// A second name for an existing file (a hard link).
bool MakeHardLink(const std::string& existing, const std::string& link);
// Sets the file's time of last change, leaving its last access alone.
bool SetModifiedTime(const std::string& path, time_t when);
// Sets a variable of the process environment (seen by libraries it loads).
bool SetEnvironment(const std::string& name, const std::string& value);

}  // namespace tessor::testsupport
