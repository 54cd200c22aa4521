#include "vdrive/System.h"

#include <windows.h>

#include <vector>

namespace tessor::vdrive {

namespace {

std::wstring Wide(const std::string& utf8) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring out(n > 0 ? static_cast<size_t>(n) : 1, L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, out.data(), n);
    out.pop_back();
    return out;
}

std::string Narrow(const std::wstring& wide) {
    int n = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? static_cast<size_t>(n) : 1, '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, out.data(), n, nullptr, nullptr);
    out.pop_back();
    return out;
}

}  // namespace

std::string SystemStateDir() {
    // %LOCALAPPDATA%\Tessor\vdrive: per user and per machine, like the
    // discs it stands for.
    if (const wchar_t* local = _wgetenv(L"LOCALAPPDATA"); local != nullptr && *local != L'\0')
        return Narrow(local) + "\\Tessor\\vdrive";
    wchar_t temp[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    return Narrow(std::wstring(temp, n)) + "Tessor\\vdrive";
}

bool IsPathSeparator(char c) {
    return c == '\\' || c == '/';
}

bool MoveReplacing(const std::string& from, const std::string& to) {
    // rename refuses an existing target on Windows; the state file must be
    // replaced in one step, or the disc would silently stay as it was.
    return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void SignalEvent(intptr_t handle) {
    SetEvent(reinterpret_cast<HANDLE>(handle));
}

}  // namespace tessor::vdrive
