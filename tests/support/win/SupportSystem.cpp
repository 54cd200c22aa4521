#include "tests/support/SupportSystem.h"

#include <windows.h>

#include <random>

#include "engine/platform/Strings.h"
#include "engine/platform/win/Wide.h"
#include "tests/support/ReaderHarness.h"

namespace tessor::testsupport {

namespace {

std::wstring Wide(const std::string& path) {
    return platform::win::WidePath(platform::FromSystemPath(path));
}

std::string Narrow(std::wstring_view path) {
    return platform::ToSystemPath(platform::win::FromWide(path));
}

}  // namespace

std::string MakeTempFolder(const std::string& prefix) {
    wchar_t base[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, base);
    if (n == 0 || n > MAX_PATH)
        return {};
    std::random_device seed;
    std::mt19937 random(seed());
    const char* letters = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = prefix + "-";
        for (int i = 0; i < 6; ++i)
            name += letters[random() % 36];
        std::string path = Narrow(base) + name;
        if (CreateDirectoryW(Wide(path).c_str(), nullptr))
            return path;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return {};
    }
    return {};
}

bool ListFolder(const std::string& path, std::vector<TFolderEntry>& entries) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileExW(Wide(path + "\\*").c_str(), FindExInfoBasic, &data,
                                   FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    do {
        std::string name = Narrow(data.cFileName);
        if (name == "." || name == "..")
            continue;
        // A link (reparse point) to a folder is not descended, as lstat says.
        const DWORD attributes = data.dwFileAttributes;
        const bool dir =
            (attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
        entries.push_back(
            {name, dir, uint64_t(data.nFileSizeHigh) << 32 | uint64_t(data.nFileSizeLow)});
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return true;
}

bool MakeHardLink(const std::string& existing, const std::string& link) {
    return CreateHardLinkW(Wide(link).c_str(), Wide(existing).c_str(), nullptr) != 0;
}

bool SetModifiedTime(const std::string& path, time_t when) {
    HANDLE file = CreateFileW(Wide(path).c_str(), FILE_WRITE_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    // FILETIME counts 100 ns steps from 1601.
    const uint64_t ticks = (uint64_t(when) + 11644473600ull) * 10000000ull;
    FILETIME written{DWORD(ticks), DWORD(ticks >> 32)};
    const bool ok = SetFileTime(file, nullptr, nullptr, &written) != 0;
    CloseHandle(file);
    return ok;
}

bool SetEnvironment(const std::string& name, const std::string& value) {
    // The C runtime's copy is what getenv reads, in the program and in the
    // libraries it loads; it passes the change on to the process's own.
    return _wputenv_s(Wide(name).c_str(), Wide(value).c_str()) == 0;
}

// The readers we did not write are Linux programs: they read the images
// the Windows build makes on the Linux side, so here none is installed.
TToolResult RunTool(const std::string&) {
    return {127, "image readers run on the Linux side of the Windows tests"};
}

}  // namespace tessor::testsupport
