#include "lang/LangFile.h"

#include <algorithm>

#include "engine/platform/Strings.h"
#include "lang/LangError.h"

namespace tessor::lang {

namespace {

constexpr std::u16string_view kConstantsSection = u"$CONSTANTS";

// Lines end at CR LF, LF or CR; a last line without an end still counts.
std::vector<std::u16string_view> SplitLines(std::u16string_view text) {
    std::vector<std::u16string_view> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c != u'\r' && c != u'\n')
            continue;
        lines.push_back(text.substr(start, i - start));
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

bool IsSectionLine(std::u16string_view line) {
    return line.size() >= 3 && line.front() == u'[' && line.back() == u']';
}

// A non-negative decimal number without sign; false when it is not one or
// exceeds `max`.
bool ParseDecimal(std::u16string_view text, uint32_t max, uint32_t& value) {
    if (text.empty())
        return false;
    uint64_t v = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9')
            return false;
        v = v * 10 + (c - u'0');
        if (v > max)
            return false;
    }
    value = static_cast<uint32_t>(v);
    return true;
}

bool SameText(std::u16string_view a, std::u16string_view b) {
    return platform::CompareTextCI(a, b) == 0;
}

// Splits "key = value" at the first '='; false for a line without one or
// with an empty key.
bool SplitKeyValue(std::u16string_view line, std::u16string_view& key, std::u16string_view& value) {
    size_t eq = line.find(u'=');
    if (eq == std::u16string_view::npos)
        return false;
    key = TrimLangText(line.substr(0, eq));
    value = TrimLangText(line.substr(eq + 1));
    return !key.empty();
}

// The LANGID header parameter of an 8-bit file, read before the file can be
// decoded: every Windows ANSI code page keeps ASCII, and the parameters
// before the first section are ASCII.
uint16_t HeaderLanguageId(std::u16string_view widened) {
    for (std::u16string_view raw : SplitLines(widened)) {
        std::u16string_view line = TrimLangText(raw);
        if (line.empty() || line.front() == u';')
            continue;
        if (IsSectionLine(line))
            break;
        std::u16string_view key, value;
        if (SplitKeyValue(line, key, value) && SameText(key, u"LANGID")) {
            uint32_t id = 0;
            return ParseDecimal(value, 0xFFFF, id) ? static_cast<uint16_t>(id) : kDefaultLanguage;
        }
    }
    return kDefaultLanguage;
}

std::u16string DecodeFile(std::span<const uint8_t> bytes) {
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        size_t units = (bytes.size() - 2) / 2;
        std::u16string text(units, u'\0');
        for (size_t i = 0; i < units; ++i)
            text[i] = static_cast<char16_t>(bytes[2 + 2 * i] | bytes[3 + 2 * i] << 8);
        return text;
    }
    std::u16string widened(bytes.begin(), bytes.end());
    uint32_t codePage = AnsiCodePageOf(HeaderLanguageId(widened));
    std::u16string text;
    std::string_view raw(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (!platform::FromCodePage(raw, static_cast<int>(codePage), text))
        throw ELangError(FormatLangMessage("Code page %u is not available", codePage));
    return text;
}

std::string AsciiName(std::u16string_view name) {
    return std::string(name.begin(), name.end());
}

}  // namespace

const std::u16string* TLangSectionTranslation::Find(int32_t id) const {
    auto it = std::lower_bound(props_.begin(), props_.end(), id,
                               [](const TLangPropTranslation& p, int32_t v) { return p.ID < v; });
    return it != props_.end() && it->ID == id ? &it->Value : nullptr;
}

bool TLangSectionTranslation::Add(int32_t id, std::u16string value) {
    auto it = std::lower_bound(props_.begin(), props_.end(), id,
                               [](const TLangPropTranslation& p, int32_t v) { return p.ID < v; });
    if (it != props_.end() && it->ID == id)
        return false;
    props_.insert(it, {id, std::move(value)});
    return true;
}

const TLangSectionTranslation* TLangTranslation::FindSection(std::u16string_view name) const {
    for (const TLangSectionTranslation& s : Sections) {
        if (SameText(s.Name, name))
            return &s;
    }
    return nullptr;
}

TLangSectionTranslation& TLangTranslation::SectionFor(std::u16string_view name) {
    for (TLangSectionTranslation& s : Sections) {
        if (SameText(s.Name, name))
            return s;
    }
    TLangSectionTranslation& added = Sections.emplace_back(std::u16string());
    added.Name.assign(name.begin(), name.end());
    return added;
}

std::u16string_view TrimLangText(std::u16string_view text) {
    size_t b = 0, e = text.size();
    while (b < e && text[b] <= u' ')
        ++b;
    while (e > b && text[e - 1] <= u' ')
        --e;
    return text.substr(b, e - b);
}

std::u16string UnescapeLangValue(std::u16string_view value) {
    std::u16string out;
    out.reserve(value.size());
    auto digit = [](char16_t c) { return c >= u'0' && c <= u'9'; };
    for (size_t i = 0; i < value.size(); ++i) {
        char16_t c = value[i];
        if (c != u'\\' || i + 1 >= value.size()) {
            out.push_back(c);
            continue;
        }
        char16_t next = value[i + 1];
        if (next == u'\\') {
            out.push_back(u'\\');
            ++i;
        } else if (next == u'n') {
            out += u"\r\n";
            ++i;
        } else if (next == u't') {
            out.push_back(u'\t');
            ++i;
        } else if (digit(next) && i + 2 < value.size() && digit(value[i + 2])) {
            out.push_back(static_cast<char16_t>((next - u'0') * 10 + (value[i + 2] - u'0')));
            i += 2;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

TLangTranslation ParseLanguageFile(std::span<const uint8_t> bytes) {
    std::u16string text = DecodeFile(bytes);
    std::vector<std::u16string_view> lines = SplitLines(text);
    TLangTranslation result;
    enum class TPlace { Header, Constants, Properties } place = TPlace::Header;
    size_t section = 0;
    for (size_t index = 0; index < lines.size(); ++index) {
        try {
            std::u16string_view line = TrimLangText(lines[index]);
            if (line.empty() || line.front() == u';')
                continue;
            if (IsSectionLine(line)) {
                std::u16string_view name = TrimLangText(line.substr(1, line.size() - 2));
                if (SameText(name, kConstantsSection)) {
                    place = TPlace::Constants;
                } else {
                    place = TPlace::Properties;
                    section =
                        static_cast<size_t>(&result.SectionFor(name) - result.Sections.data());
                }
                continue;
            }
            std::u16string_view key, value;
            if (!SplitKeyValue(line, key, value))
                continue;
            switch (place) {
                case TPlace::Header:
                    result.Params.push_back({std::u16string(key), std::u16string(value)});
                    break;
                case TPlace::Constants: {
                    std::string name = platform::ToSystem(key);
                    if (!IsConstantName(key))
                        throw ELangError(FormatLangMessage(kInvalidConstantName, name.c_str()));
                    std::u16string text = UnescapeLangValue(value);
                    if (!result.Constants.Add({AsciiName(key), text, text}))
                        throw ELangError(FormatLangMessage(kDuplicateConstantName, name.c_str()));
                    break;
                }
                case TPlace::Properties: {
                    uint32_t id = 0;
                    if (!ParseDecimal(key, 0x7FFFFFFF, id) || id == 0)
                        break;
                    auto id32 = static_cast<int32_t>(id);
                    if (!result.Sections[section].Add(id32, UnescapeLangValue(value)))
                        throw ELangError(FormatLangMessage(kDuplicatePropertyId, id32));
                    break;
                }
            }
        } catch (const ELangError& e) {
            throw ELangError(FormatLangMessage(kLoadingFailed, static_cast<int>(index), e.what()));
        }
    }
    return result;
}

uint32_t AnsiCodePageOf(uint16_t languageId) {
    const unsigned primary = languageId & 0x3FF;
    const unsigned sub = languageId >> 10;
    switch (primary) {
        case 0x05:  // Czech
        case 0x0E:  // Hungarian
        case 0x15:  // Polish
        case 0x18:  // Romanian
        case 0x1B:  // Slovak
        case 0x1C:  // Albanian
        case 0x24:  // Slovenian
            return 1250;
        case 0x1A:  // Croatian, Serbian (Latin), Serbian (Cyrillic)
            return sub == 3 ? 1251 : 1250;
        case 0x02:  // Bulgarian
        case 0x19:  // Russian
        case 0x22:  // Ukrainian
        case 0x23:  // Belarusian
        case 0x2F:  // Macedonian
        case 0x3F:  // Kazakh
            return 1251;
        case 0x08:  // Greek
            return 1253;
        case 0x1F:  // Turkish
            return 1254;
        case 0x0D:  // Hebrew
            return 1255;
        case 0x01:  // Arabic
        case 0x20:  // Urdu
        case 0x29:  // Persian
            return 1256;
        case 0x25:  // Estonian
        case 0x26:  // Latvian
        case 0x27:  // Lithuanian
            return 1257;
        case 0x2A:  // Vietnamese
            return 1258;
        case 0x1E:  // Thai
            return 874;
        case 0x11:  // Japanese
            return 932;
        case 0x12:  // Korean
            return 949;
        case 0x04:  // Chinese: traditional for Taiwan, Hong Kong and Macau
            return (sub == 1 || sub == 3 || sub == 5) ? 950 : 936;
        case 0x03:  // Catalan
        case 0x06:  // Danish
        case 0x07:  // German
        case 0x09:  // English
        case 0x0A:  // Spanish
        case 0x0B:  // Finnish
        case 0x0C:  // French
        case 0x0F:  // Icelandic
        case 0x10:  // Italian
        case 0x13:  // Dutch
        case 0x14:  // Norwegian
        case 0x16:  // Portuguese
        case 0x1D:  // Swedish
        case 0x21:  // Indonesian
        case 0x2D:  // Basque
        case 0x36:  // Afrikaans
        case 0x38:  // Faroese
        case 0x3E:  // Malay
        case 0x56:  // Galician
            return 1252;
        default:
            return kSystemAnsiCodePage;
    }
}

}  // namespace tessor::lang
