#include "tests/support/SupportSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "tests/support/ReaderHarness.h"

namespace tessor::testsupport {

std::string MakeTempFolder(const std::string& prefix) {
    std::string templ = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    return mkdtemp(templ.data()) ? templ : std::string();
}

bool ListFolder(const std::string& path, std::vector<TFolderEntry>& entries) {
    DIR* d = ::opendir(path.c_str());
    if (!d)
        return false;
    while (dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        struct stat st {};
        if (::lstat((path + "/" + name).c_str(), &st) != 0)
            continue;
        entries.push_back({name, S_ISDIR(st.st_mode), static_cast<uint64_t>(st.st_size)});
    }
    ::closedir(d);
    return true;
}

bool MakeHardLink(const std::string& existing, const std::string& link) {
    return ::link(existing.c_str(), link.c_str()) == 0;
}

bool SetModifiedTime(const std::string& path, time_t when) {
    struct timespec times[2] = {{0, UTIME_OMIT}, {when, 0}};
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

bool SetEnvironment(const std::string& name, const std::string& value) {
    return ::setenv(name.c_str(), value.c_str(), 1) == 0;
}

TToolResult RunTool(const std::string& commandLine) {
    TToolResult result;
    std::string cmd = "(" + commandLine + ") 2>&1";
    FILE* pipe = ::popen(cmd.c_str(), "r");
    if (!pipe)
        return result;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        if (result.output.size() < (1u << 20))
            result.output.append(buffer, n);
    int status = ::pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

}  // namespace tessor::testsupport
