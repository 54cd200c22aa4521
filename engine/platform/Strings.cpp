// UTF-8 / UTF-16 conversion, the file-system case folding and wildcard
// matching. The code pages, the upper-case table and the collation come from
// the system (posix/StringsSystem.cpp, win/StringsSystem.cpp).
#include "engine/platform/Strings.h"
#include "engine/platform/StringsSystem.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cwchar>
#include <memory>

namespace tessor::platform {

namespace {

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

void AppendUtf16(std::u16string& out, uint32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 | (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 | (cp & 0x3FF)));
    }
}

// The per-unit upper-case table of the file-system comparison, built once.
class TUpcaseTable {
public:
    TUpcaseTable() { SystemUpcaseTable(table_.data()); }
    char16_t operator[](char16_t u) const { return table_[u]; }

private:
    std::array<char16_t, 0x10000> table_{};
};

const TUpcaseTable& Upcase() {
    static const TUpcaseTable table;
    return table;
}

// Wildcard match of name against mask ('*' any run, '?' one character,
// a surrogate pair counting as one character), ignoring case.
bool MatchWild(std::u16string_view name, std::u16string_view mask) {
    const TUpcaseTable& up = Upcase();
    size_t n = 0, m = 0;
    size_t starMask = std::u16string_view::npos, starName = 0;
    while (n < name.size()) {
        if (m < mask.size() && mask[m] == u'*') {
            starMask = m++;
            starName = n;
            continue;
        }
        if (m < mask.size() && mask[m] == u'?') {
            ++m;
            if (IsHighSurrogate(name[n]) && n + 1 < name.size() && IsLowSurrogate(name[n + 1]))
                ++n;
            ++n;
            continue;
        }
        if (m < mask.size() && up[mask[m]] == up[name[n]]) {
            ++m;
            ++n;
            continue;
        }
        if (starMask == std::u16string_view::npos)
            return false;
        // Let the last '*' swallow one more character and retry.
        m = starMask + 1;
        n = ++starName;
    }
    while (m < mask.size() && mask[m] == u'*')
        ++m;
    return m == mask.size();
}

}  // namespace

std::string ToSystem(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        uint32_t u = text[i];
        if (u < 0x80) {
            out.push_back(static_cast<char>(u));
            ++i;
            continue;
        }
        AppendUtf8(out, NextCodePoint(text, i));
    }
    return out;
}

namespace {

// A maximal invalid subsequence of UTF-8: one U+FFFD for display, or each
// byte as the lone low surrogate DC00h + byte, so that the exact bytes of a
// file name come back out of ToSystemPath.
void PushInvalid(std::u16string& out, const unsigned char* bytes, size_t count, bool escapeBytes) {
    if (!escapeBytes) {
        out.push_back(kReplacement);
        return;
    }
    for (size_t k = 0; k < count; ++k)
        out.push_back(static_cast<char16_t>(kEscapeBase + bytes[k]));
}

bool IsEscapedByte(char16_t u) {
    return u >= kEscapeBase + 0x80 && u <= kEscapeBase + 0xFF;
}

std::u16string DecodeUtf8(std::string_view text, bool escapeBytes) {
    std::u16string out;
    out.reserve(text.size());
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        unsigned char c = s[i];
        if (c < 0x80) {
            out.push_back(c);
            ++i;
            continue;
        }
        // Length and the allowed range of the second byte (which excludes
        // overlong forms, surrogates and values above U+10FFFF).
        size_t len = 0;
        unsigned char lo = 0x80, hi = 0xBF;
        uint32_t cp = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            cp = c & 0x0F;
            if (c == 0xE0)
                lo = 0xA0;
            if (c == 0xED)
                hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07;
            if (c == 0xF0)
                lo = 0x90;
            if (c == 0xF4)
                hi = 0x8F;
        } else {
            PushInvalid(out, s + i, 1, escapeBytes);
            ++i;
            continue;
        }
        // Each maximal invalid subsequence becomes one U+FFFD.
        size_t k = 1;
        bool ok = true;
        for (; k < len; ++k) {
            if (i + k >= n) {
                ok = false;
                break;
            }
            unsigned char b = s[i + k];
            unsigned char bl = (k == 1) ? lo : 0x80, bh = (k == 1) ? hi : 0xBF;
            if (b < bl || b > bh) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (b & 0x3F);
        }
        if (!ok) {
            PushInvalid(out, s + i, k, escapeBytes);
            i += k;
            continue;
        }
        AppendUtf16(out, cp);
        i += len;
    }
    return out;
}

}  // namespace

std::u16string FromSystem(std::string_view text) {
    return DecodeUtf8(text, false);
}

std::u16string FromSystemPath(std::string_view text) {
    return DecodeUtf8(text, true);
}

std::string ToSystemPath(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        char16_t u = text[i];
        if (u < 0x80) {
            out.push_back(static_cast<char>(u));
            ++i;
        } else if (IsEscapedByte(u)) {
            out.push_back(static_cast<char>(u - kEscapeBase));
            ++i;
        } else {
            AppendUtf8(out, NextCodePoint(text, i));
        }
    }
    return out;
}

bool HasEscapedBytes(std::u16string_view text) {
    for (char16_t u : text) {
        if (IsEscapedByte(u))
            return true;
    }
    return false;
}

std::u16string ReplaceEscapedBytes(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& u : out) {
        if (IsEscapedByte(u))
            u = kReplacement;
    }
    return out;
}

int CompareTextCI(std::u16string_view a, std::u16string_view b) {
    const TUpcaseTable& up = Upcase();
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        char16_t x = a[i], y = b[i];
        if (x == y)
            continue;
        x = up[x];
        y = up[y];
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::u16string FoldCase(std::u16string_view text) {
    const TUpcaseTable& up = Upcase();
    std::u16string out(text.size(), u'\0');
    for (size_t i = 0; i < text.size(); ++i)
        out[i] = up[text[i]];
    return out;
}

char16_t FoldUnit(char16_t unit) {
    return Upcase()[unit];
}

bool MatchesMask(std::u16string_view name, std::u16string_view mask) {
    if (mask == u"*" || mask == u"*.*")
        return true;
    if (MatchWild(name, mask))
        return true;
    // "name.*" also matches "name": an absent extension counts as empty.
    if (mask.size() >= 2 && mask.substr(mask.size() - 2) == u".*")
        return MatchWild(name, mask.substr(0, mask.size() - 2));
    return false;
}

}  // namespace tessor::platform
