// On Windows the version is the file's version resource (VERSIONINFO, which
// the build puts into every program and DLL): its fixed part packs the four
// parts as the version note does, two to a 32-bit word.
#include <windows.h>

#include <vector>

#include "engine/platform/Strings.h"
#include "engine/platform/win/Wide.h"
#include "version/FileVersion.h"

namespace tessor::version {

std::optional<TFileVersion> ReadFileVersion(const std::string& path) {
    const std::wstring wide = platform::win::WidePath(platform::FromSystemPath(path));
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(wide.c_str(), &ignored);
    if (size == 0)
        return std::nullopt;
    std::vector<uint8_t> data(size);
    if (!GetFileVersionInfoW(wide.c_str(), 0, size, data.data()))
        return std::nullopt;
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) ||
        info == nullptr || length < sizeof(VS_FIXEDFILEINFO) || info->dwSignature != 0xFEEF04BD)
        return std::nullopt;
    const uint32_t ms = info->dwFileVersionMS, ls = info->dwFileVersionLS;
    return TFileVersion{static_cast<uint16_t>(ms >> 16), static_cast<uint16_t>(ms),
                        static_cast<uint16_t>(ls >> 16), static_cast<uint16_t>(ls)};
}

std::string OwnProgramFile() {
    std::wstring name(MAX_PATH, L'\0');
    while (true) {
        const DWORD n = GetModuleFileNameW(nullptr, name.data(), DWORD(name.size()));
        if (n == 0)
            return {};
        if (n < name.size()) {
            name.resize(n);
            return platform::ToSystemPath(platform::win::FromWide(name));
        }
        name.resize(name.size() * 2);
    }
}

}  // namespace tessor::version
