// 8.3 alternate names. Linux file systems keep none, yet the ISO 9660 names
// are made from them; without them, names sharing their first characters
// collide. A Windows volume makes an alias BASE~N.EXT for every long name
// that is not itself a valid 8.3 name, unique within the folder. The volume
// gives N in creation order; here N follows the byte order of the names, so
// the alias is a function of the folder's contents and a search for one
// file agrees with a search of the whole folder.
#include "engine/platform/ShortNames.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "engine/platform/Strings.h"

namespace tessor::platform {

namespace {

bool IsFatChar(char16_t c) {
    if ((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9'))
        return true;
    return std::u16string_view(u"$%'-_@~`!(){}^#&").find(c) != std::u16string_view::npos;
}

char16_t AsciiUpper(char16_t c) {
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
}

// Keeps the characters an alias may hold, upper-cased; '+,;=[]' become '_'
// as on Windows; spaces, dots and every other character are dropped.
std::u16string AliasChars(std::u16string_view part, size_t limit) {
    std::u16string out;
    for (char16_t c : part) {
        if (out.size() >= limit)
            break;
        if (std::u16string_view(u"+,;=[]").find(c) != std::u16string_view::npos) {
            out.push_back(u'_');
        } else if (IsFatChar(c)) {
            out.push_back(AsciiUpper(c));
        }
    }
    return out;
}

std::u16string HashBase(std::u16string_view name) {
    // A name with no character usable in an alias (all non-Latin, say):
    // four hex digits of a hash of the name keep such aliases apart.
    uint32_t h = 2166136261u;
    for (char16_t c : name) {
        h ^= c;
        h *= 16777619u;
    }
    static const char16_t kHex[] = u"0123456789ABCDEF";
    std::u16string out;
    for (int shift = 12; shift >= 0; shift -= 4)
        out.push_back(kHex[(h >> shift) & 0xF]);
    return out;
}

std::u16string ToUpperAscii(std::u16string_view s) {
    std::u16string out(s);
    for (char16_t& c : out)
        c = AsciiUpper(c);
    return out;
}

}  // namespace

bool IsValidShortName(std::u16string_view name) {
    size_t dot = name.find(u'.');
    std::u16string_view base = name.substr(0, dot);
    if (base.empty() || base.size() > 8)
        return false;
    if (dot != std::u16string_view::npos) {
        std::u16string_view ext = name.substr(dot + 1);
        if (ext.empty() || ext.size() > 3)
            return false;
        for (char16_t c : ext)
            if (!IsFatChar(c))
                return false;  // also refuses a second dot
    }
    for (char16_t c : base)
        if (!IsFatChar(c))
            return false;
    return true;
}

std::vector<std::u16string> MakeShortNames(const std::vector<std::string>& names) {
    std::vector<std::u16string> result(names.size());
    std::unordered_set<std::u16string> taken;
    std::vector<std::pair<size_t, std::u16string>> needing;  // index into names, wide name
    // Sized once: a folder of many thousand names would otherwise rehash
    // every table several times over.
    taken.reserve(names.size());
    needing.reserve(names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string& name = names[i];
        if (name == "." || name == "..")
            continue;
        std::u16string wide = FromSystemPath(name);
        if (IsValidShortName(wide))
            taken.insert(ToUpperAscii(wide));
        else
            needing.emplace_back(i, std::move(wide));
    }
    // A folder listing comes sorted already; the sort is then one pass.
    std::sort(needing.begin(), needing.end(),
              [&](const auto& a, const auto& b) { return names[a.first] < names[b.first]; });

    // Next N to try per (base, extension): every smaller N of that pair is
    // already taken, so starting there gives the same answer as starting at
    // 1 without rescanning long runs of shared prefixes.
    std::unordered_map<std::u16string, unsigned> nextNumber;
    // The alias of N is the base cut for N's digit count, '~', N and the
    // extension, so pairs whose bases share a start make the same aliases
    // once N is long enough (IMG_00 and IMG_01 both make IMG~1000). Per cut
    // base, extension and digit count: the first N of that count not known
    // taken; every N of that count below it is taken. Without it, each new
    // pair would try again every alias the earlier pairs took, which in a
    // folder of a few thousand like names grows with their square.
    std::unordered_map<std::u16string, unsigned> nextOfWidth;
    for (const auto& [index, wide] : needing) {
        std::u16string_view rest(wide);
        while (!rest.empty() && rest.front() == u'.')
            rest.remove_prefix(1);
        size_t dot = rest.rfind(u'.');
        std::u16string base = AliasChars(rest.substr(0, dot), 6);
        std::u16string ext = dot == std::u16string_view::npos ? std::u16string()
                                                              : AliasChars(rest.substr(dot + 1), 3);
        if (base.empty())
            base = HashBase(wide);

        std::u16string key = base + u'.' + ext;
        unsigned& n = nextNumber.try_emplace(key, 1u).first->second;
        std::u16string alias;
        for (;; ++n) {
            std::u16string number = FromSystemPath(std::to_string(n));
            size_t keep = number.size() + 1 >= 8 ? 1 : 8 - 1 - number.size();
            std::u16string cut = base.substr(0, std::min(base.size(), keep));
            std::u16string widthKey = cut + u'\0' + static_cast<char16_t>(number.size()) + ext;
            unsigned lowest = 1;
            for (size_t d = 1; d < number.size(); ++d)
                lowest *= 10;
            unsigned& known = nextOfWidth.try_emplace(widthKey, lowest).first->second;
            if (n < known) {
                n = known - 1;  // the loop's ++n lands on it
                continue;
            }
            alias = cut + u'~' + number;
            if (!ext.empty())
                alias += u'.' + ext;
            bool free = taken.insert(alias).second;
            if (n == known)
                known = n + 1;
            if (free)
                break;
        }
        ++n;
        result[index] = std::move(alias);
    }
    return result;
}

}  // namespace tessor::platform
