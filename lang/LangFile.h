// Language files: the translations of one language, as text lines.
//
//   ; a comment
//   LANGID=1031                  header parameters before the first section
//   [Form1]                      the texts of a window's properties, by ID
//   00000024=Cache Nutzung
//   [$CONSTANTS]                 the named message texts
//   S_IDLE=LEERLAUF
//
// A file is UTF-16LE with the byte-order mark FF FE, or else 8-bit text in
// the ANSI code page of its LANGID line.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "lang/LangConstants.h"

namespace tessor::lang {

struct TLangPropTranslation {
    int32_t ID;
    std::u16string Value;
};

// The texts of one section, kept sorted by ID.
class TLangSectionTranslation {
public:
    explicit TLangSectionTranslation(std::u16string name) : Name(std::move(name)) {}

    const std::u16string* Find(int32_t id) const;
    // False (and nothing added) when the ID is already there.
    bool Add(int32_t id, std::u16string value);

    size_t Count() const { return props_.size(); }
    const TLangPropTranslation& At(size_t index) const { return props_[index]; }

    std::u16string Name;

private:
    std::vector<TLangPropTranslation> props_;
};

struct TLangParam {
    std::u16string Name;
    std::u16string Value;
};

class TLangTranslation {
public:
    // Section names compare without regard to case.
    const TLangSectionTranslation* FindSection(std::u16string_view name) const;
    // The section of that name, added at the end when there is none yet.
    TLangSectionTranslation& SectionFor(std::u16string_view name);

    std::vector<TLangParam> Params;  // header parameters, in file order
    TLangConstants Constants;        // Value holds the translated text
    std::vector<TLangSectionTranslation> Sections;
};

// Reads a whole language file. Bad constant names and duplicates raise
// ELangError "Loading translations failed.\r\nLine N: ..." with the line
// index counted from 0; nothing of the file is returned then.
TLangTranslation ParseLanguageFile(std::span<const uint8_t> bytes);

// Resolves the escapes of a value: \\ backslash, \n CR LF, \t tab, a
// backslash and two decimal digits the character of that code (0 to 99);
// any other backslash stays.
std::u16string UnescapeLangValue(std::u16string_view value);

// Removes leading and trailing blanks and control characters.
std::u16string_view TrimLangText(std::u16string_view text);

// The ANSI code page of a Windows language identifier (1252 for 1033 and
// 1031, 1250 for 1048, ...), or the system's ANSI code page (1252) for a
// language that has none.
uint32_t AnsiCodePageOf(uint16_t languageId);
inline constexpr uint32_t kSystemAnsiCodePage = 1252;
inline constexpr uint16_t kDefaultLanguage = 1033;

}  // namespace tessor::lang
