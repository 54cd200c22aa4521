// The system side of Strings.cpp on Linux: the Windows code pages through
// iconv, the upper-case table from the C.UTF-8 locale and the collation of
// the environment's locale.
#include <iconv.h>
#include <locale.h>
#include <wctype.h>

#include <cerrno>
#include <cwchar>
#include <memory>
#include <string>

#include "engine/platform/Strings.h"
#include "engine/platform/StringsSystem.h"

namespace tessor::platform {

void SystemUpcaseTable(char16_t* table) {
    locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    for (uint32_t u = 0; u < 0x10000u; ++u) {
        uint32_t upper = u;
        if (u < 0x80) {
            upper = (u >= 'a' && u <= 'z') ? u - 32 : u;
        } else if (loc != static_cast<locale_t>(0) && !(u >= 0xD800 && u <= 0xDFFF)) {
            wint_t w = towupper_l(static_cast<wint_t>(u), loc);
            if (w < 0x10000 && !(w >= 0xD800 && w <= 0xDFFF))
                upper = static_cast<uint32_t>(w);
        }
        table[u] = static_cast<char16_t>(upper);
    }
    if (loc != static_cast<locale_t>(0))
        freelocale(loc);
}

namespace {

const char* HostUtf16Name() {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return "UTF-16BE";
#else
    return "UTF-16LE";
#endif
}

std::string CodePageName(int codePage) {
    if (codePage == 65001)
        return "UTF-8";
    return "CP" + std::to_string(codePage);
}

struct TIconvCloser {
    void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using TIconv = std::unique_ptr<void, TIconvCloser>;

TIconv OpenIconv(const std::string& to, const std::string& from) {
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return nullptr;
    return TIconv(cd);
}

}  // namespace

bool ToCodePage(std::u16string_view text, int codePage, std::string& out) {
    out.clear();
    TIconv cd = OpenIconv(CodePageName(codePage), HostUtf16Name());
    if (!cd)
        return false;
    auto* handle = static_cast<iconv_t>(cd.get());
    char buffer[256];
    char* in = const_cast<char*>(reinterpret_cast<const char*>(text.data()));
    size_t inLeft = text.size() * sizeof(char16_t);
    while (inLeft > 0) {
        char* dst = buffer;
        size_t dstLeft = sizeof(buffer);
        size_t r = iconv(handle, &in, &inLeft, &dst, &dstLeft);
        out.append(buffer, static_cast<size_t>(dst - buffer));
        if (r != static_cast<size_t>(-1))
            continue;
        if (errno == E2BIG)
            continue;
        // A character the code page cannot hold, an unpaired surrogate or a
        // truncated pair: one '?' for the whole character.
        size_t units = 1;
        auto first = static_cast<uint32_t>(*reinterpret_cast<const char16_t*>(in));
        if (IsHighSurrogate(first) && inLeft >= 4 &&
            IsLowSurrogate(*reinterpret_cast<const char16_t*>(in + 2)))
            units = 2;
        out.push_back('?');
        in += units * 2;
        inLeft -= units * 2;
    }
    char* dst = buffer;
    size_t dstLeft = sizeof(buffer);
    iconv(handle, nullptr, nullptr, &dst, &dstLeft);
    out.append(buffer, static_cast<size_t>(dst - buffer));
    return true;
}

bool FromCodePage(std::string_view text, int codePage, std::u16string& out) {
    out.clear();
    TIconv cd = OpenIconv(HostUtf16Name(), CodePageName(codePage));
    if (!cd)
        return false;
    auto* handle = static_cast<iconv_t>(cd.get());
    char16_t buffer[256];
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    while (inLeft > 0) {
        char* dst = reinterpret_cast<char*>(buffer);
        size_t dstLeft = sizeof(buffer);
        size_t r = iconv(handle, &in, &inLeft, &dst, &dstLeft);
        out.append(buffer, static_cast<size_t>(reinterpret_cast<char16_t*>(dst) - buffer));
        if (r != static_cast<size_t>(-1))
            continue;
        if (errno == E2BIG)
            continue;
        // A byte the code page leaves undefined (or a truncated sequence of
        // a multi-byte code page): U+FFFD, and go on with the next byte.
        out.push_back(kReplacement);
        ++in;
        --inLeft;
        iconv(handle, nullptr, nullptr, nullptr, nullptr);
    }
    return true;
}

namespace {

// Collation locale of the environment, made once. "" reads LC_ALL,
// LC_COLLATE and LANG; C.UTF-8 when those name nothing usable.
locale_t CollationLocale() {
    static const locale_t loc = [] {
        locale_t l = newlocale(LC_COLLATE_MASK, "", static_cast<locale_t>(0));
        if (l == static_cast<locale_t>(0))
            l = newlocale(LC_COLLATE_MASK, "C.UTF-8", static_cast<locale_t>(0));
        if (l == static_cast<locale_t>(0))
            l = newlocale(LC_COLLATE_MASK, "C", static_cast<locale_t>(0));
        return l;
    }();
    return loc;
}

std::wstring ToWide(std::u16string_view text) {
    std::wstring out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        uint32_t cp = NextCodePoint(text, i);
        // wcscoll stops at a NUL; an embedded one must not end the text early.
        out.push_back(static_cast<wchar_t>(cp == 0 ? 1 : cp));
    }
    return out;
}

}  // namespace

int CompareLocale(std::u16string_view a, std::u16string_view b) {
    std::wstring wa = ToWide(a), wb = ToWide(b);
    locale_t loc = CollationLocale();
    int r = loc != static_cast<locale_t>(0) ? wcscoll_l(wa.c_str(), wb.c_str(), loc)
                                            : wcscmp(wa.c_str(), wb.c_str());
    if (r != 0)
        return r < 0 ? -1 : 1;
    // Texts the locale ranks equal but that differ still get a fixed order,
    // so sorting with this comparison is deterministic.
    int o = a.compare(b);
    return o < 0 ? -1 : (o > 0 ? 1 : 0);
}

}  // namespace tessor::platform
