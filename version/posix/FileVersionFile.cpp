// The version note of a file on disk, through a descriptor.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>

#include "version/FileVersion.h"

namespace tessor::version {

std::optional<TFileVersion> ReadFileVersion(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    TReadAt read = [fd](uint64_t offset, size_t length, uint8_t* out) {
        if (offset > static_cast<uint64_t>(INT64_MAX) - length)
            return false;
        size_t done = 0;
        while (done < length) {
            ssize_t n = pread(fd, out + done, length - done, static_cast<off_t>(offset + done));
            if (n <= 0)
                return false;
            done += static_cast<size_t>(n);
        }
        return true;
    };
    auto version = ReadVersionNote(read);
    close(fd);
    return version;
}

std::string OwnProgramFile() {
    return "/proc/self/exe";
}

}  // namespace tessor::version
