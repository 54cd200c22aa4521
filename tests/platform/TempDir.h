// A temporary folder made with mkdtemp and removed with everything in it.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace tessor::platform::test {

class TTempDir {
public:
    TTempDir() {
        std::string templ =
            (std::filesystem::temp_directory_path() / "tessor-platform-XXXXXX").string();
        if (mkdtemp(templ.data()))
            path_ = templ;
    }
    ~TTempDir() {
        if (path_.empty())
            return;
        std::error_code ec;
        // Folders made read-only by a test must be writable again to be emptied.
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

    // Creates an empty (or size-byte, sparse) regular file.
    bool Touch(const std::string& name, off_t size = 0) const {
        int fd =
            ::open((path_ + "/" + name).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0)
            return false;
        bool ok = size == 0 || ::ftruncate(fd, size) == 0;
        ::close(fd);
        return ok;
    }
    bool MakeDir(const std::string& name) const {
        return ::mkdir((path_ + "/" + name).c_str(), 0755) == 0;
    }

private:
    std::string path_;
};

}  // namespace tessor::platform::test
