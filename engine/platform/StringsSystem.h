// What Strings.cpp takes from the system side of the unit
// (posix/StringsSystem.cpp, win/StringsSystem.cpp), and the UTF-16 helpers both use.
#pragma once

#include <cstdint>
#include <string_view>

namespace tessor::platform {

inline constexpr char16_t kReplacement = 0xFFFD;
inline constexpr char16_t kEscapeBase = 0xDC00;

inline bool IsHighSurrogate(uint32_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
inline bool IsLowSurrogate(uint32_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

// Decodes one code point of UTF-16 at text[i], advancing i. An unpaired
// surrogate yields U+FFFD.
inline uint32_t NextCodePoint(std::u16string_view text, size_t& i) {
    uint32_t u = text[i++];
    if (IsHighSurrogate(u)) {
        if (i < text.size() && IsLowSurrogate(text[i])) {
            uint32_t low = text[i++];
            return 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
        }
        return kReplacement;
    }
    if (IsLowSurrogate(u))
        return kReplacement;
    return u;
}

// Fills table[u] with the upper case of each UTF-16 unit u (0x10000
// entries). Units whose upper case lies outside the BMP or in the surrogate
// range keep their own value.
void SystemUpcaseTable(char16_t* table);

}  // namespace tessor::platform
