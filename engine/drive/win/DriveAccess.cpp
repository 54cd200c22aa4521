#include "engine/drive/DriveAccess.h"

#include <windows.h>

#include "engine/platform/Strings.h"

namespace tessor::drive {

std::string LockFolder() {
    // %LOCALAPPDATA%\Tessor\locks: per user, like the recorder's state.
    std::wstring base;
    if (const wchar_t* local = _wgetenv(L"LOCALAPPDATA"); local && *local) {
        base = local;
    } else {
        wchar_t temp[MAX_PATH + 1];
        DWORD n = GetTempPathW(MAX_PATH + 1, temp);
        base.assign(temp, n);
    }
    while (!base.empty() && (base.back() == L'\\' || base.back() == L'/'))
        base.pop_back();
    std::wstring folder = base + L"\\Tessor";
    CreateDirectoryW(folder.c_str(), nullptr);
    folder += L"\\locks";
    CreateDirectoryW(folder.c_str(), nullptr);
    return platform::ToSystemPath(std::u16string(folder.begin(), folder.end())) + "\\";
}

std::string WriteAccessHint(const std::string&) {
    // Commands that write go through the pass-through, which Windows grants
    // to administrators.
    return "; Windows grants it to administrators";
}

}  // namespace tessor::drive
