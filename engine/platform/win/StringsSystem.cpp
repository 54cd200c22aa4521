// The system side of Strings.cpp on Windows: code pages through
// WideCharToMultiByte and MultiByteToWideChar, the upper-case table from the
// invariant locale (the mapping the file system's names follow) and the
// collation of the user's locale.
#include <windows.h>

#include <string>
#include <vector>

#include "engine/platform/Strings.h"
#include "engine/platform/StringsSystem.h"

namespace tessor::platform {

void SystemUpcaseTable(char16_t* table) {
    // Mapped in one call per block of units; surrogates map on their own
    // and are kept as they are.
    std::vector<wchar_t> in(0x10000), out(0x10000);
    for (uint32_t u = 0; u < 0x10000u; ++u)
        in[u] = static_cast<wchar_t>(u == 0 ? 1 : u);
    for (uint32_t u = 0; u < 0x10000u; ++u)
        table[u] = static_cast<char16_t>(u);
    for (uint32_t start : {0x0001u, 0xE000u}) {
        const uint32_t end = start == 1 ? 0xD800u : 0x10000u;
        const int count = static_cast<int>(end - start);
        if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, in.data() + start, count,
                          out.data() + start, count, nullptr, nullptr, 0) != count)
            continue;
        for (uint32_t u = start; u < end; ++u) {
            const uint32_t upper = static_cast<uint16_t>(out[u]);
            if (!(upper >= 0xD800 && upper <= 0xDFFF))
                table[u] = static_cast<char16_t>(upper);
        }
    }
}

bool ToCodePage(std::u16string_view text, int codePage, std::string& out) {
    out.clear();
    CPINFO info{};
    if (!IsValidCodePage(static_cast<UINT>(codePage)) || !GetCPInfo(codePage, &info))
        return false;
    // One character at a time where the code page cannot hold it, so that
    // it becomes one '?' (a surrogate pair included).
    std::wstring wide;
    wide.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        uint32_t cp = NextCodePoint(text, i);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            wide.push_back(static_cast<wchar_t>(0xD800 | (cp >> 10)));
            wide.push_back(static_cast<wchar_t>(0xDC00 | (cp & 0x3FF)));
        } else {
            wide.push_back(static_cast<wchar_t>(cp));
        }
    }
    if (wide.empty())
        return true;
    const bool utf8 = codePage == CP_UTF8;
    BOOL lossy = FALSE;
    const int n = WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, utf8 ? nullptr : "?", utf8 ? nullptr : &lossy);
    if (n <= 0)
        return false;
    out.resize(static_cast<size_t>(n));
    WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                        utf8 ? nullptr : "?", utf8 ? nullptr : &lossy);
    // A pair the code page cannot hold comes out as two '?': make it one.
    if (lossy) {
        std::string merged;
        size_t w = 0;
        for (size_t k = 0; k < out.size(); ++k, ++w) {
            merged.push_back(out[k]);
            if (out[k] == '?' && w + 1 < wide.size() && IsHighSurrogate(wide[w]) &&
                IsLowSurrogate(wide[w + 1]) && k + 1 < out.size() && out[k + 1] == '?') {
                ++k;
                ++w;
            }
        }
        out.swap(merged);
    }
    return true;
}

bool FromCodePage(std::string_view text, int codePage, std::u16string& out) {
    out.clear();
    if (!IsValidCodePage(static_cast<UINT>(codePage)))
        return false;
    // Byte by byte for single-byte code pages, so that an undefined byte
    // becomes U+FFFD and the rest is kept.
    CPINFO info{};
    if (!GetCPInfo(codePage, &info))
        return false;
    if (info.MaxCharSize == 1) {
        for (char c : text) {
            wchar_t w = 0;
            int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, &c, 1, &w, 1);
            out.push_back(n == 1 ? static_cast<char16_t>(w) : kReplacement);
        }
        return true;
    }
    if (text.empty())
        return true;
    const int n =
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0)
        return false;
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    out.assign(wide.begin(), wide.end());
    return true;
}

int CompareLocale(std::u16string_view a, std::u16string_view b) {
    std::wstring wa(a.begin(), a.end()), wb(b.begin(), b.end());
    const int r =
        CompareStringEx(LOCALE_NAME_USER_DEFAULT, 0, wa.data(), static_cast<int>(wa.size()),
                        wb.data(), static_cast<int>(wb.size()), nullptr, nullptr, 0);
    if (r == CSTR_LESS_THAN)
        return -1;
    if (r == CSTR_GREATER_THAN)
        return 1;
    // Texts the locale ranks equal but that differ still get a fixed order.
    const int o = a.compare(b);
    return o < 0 ? -1 : (o > 0 ? 1 : 0);
}

}  // namespace tessor::platform
