#include "engine/drive/DriveAccess.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace tessor::drive {

std::string LockFolder() {
    std::string folder;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        folder = std::string(runtime) + "/tessor";
    else
        folder = "/tmp/tessor-" + std::to_string(::getuid());
    ::mkdir(folder.c_str(), 0700);
    return folder + "/";
}

namespace {

std::string GroupOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return {};
    char buffer[1024];
    struct group entry {};
    struct group* found = nullptr;
    if (getgrgid_r(st.st_gid, &entry, buffer, sizeof buffer, &found) != 0 || found == nullptr)
        return std::to_string(st.st_gid);
    return found->gr_name;
}

}  // namespace

std::string WriteAccessHint(const std::string& devicePath) {
    std::string group = GroupOf(devicePath);
    return group.empty() ? std::string() : "; members of the group '" + group + "' have it";
}

}  // namespace tessor::drive
