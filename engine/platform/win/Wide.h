// UTF-16 paths for the wide Win32 calls. The program's wide strings are
// UTF-16 already, so a path only changes its character type.
#pragma once

#include <string>
#include <string_view>

namespace tessor::platform::win {

inline std::wstring WidePath(std::u16string_view path) {
    return std::wstring(path.begin(), path.end());
}

inline std::u16string FromWide(std::wstring_view text) {
    return std::u16string(text.begin(), text.end());
}

}  // namespace tessor::platform::win
