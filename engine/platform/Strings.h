// Text conversions and comparisons the engine needs from the platform.
// "Wide" text is UTF-16 (std::u16string); "system code page" text is the
// narrow encoding of the platform, which on Linux is UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tessor::platform {

// UTF-16 -> system code page (UTF-8). Unpaired surrogates become U+FFFD.
std::string ToSystem(std::u16string_view text);
// System code page (UTF-8) -> UTF-16. Invalid bytes become U+FFFD.
std::u16string FromSystem(std::string_view text);

// The same for file names and paths, without loss: Linux allows any bytes
// in a name, so each byte that is not part of valid UTF-8 becomes the lone
// surrogate U+DC80..U+DCFF and ToSystemPath turns it back into that byte.
// Every path that is opened again goes through these two.
std::u16string FromSystemPath(std::string_view text);
std::string ToSystemPath(std::u16string_view text);
// Whether a name holds such escaped bytes, and the name as it is shown and
// written to a disc: each escaped byte as U+FFFD.
bool HasEscapedBytes(std::u16string_view text);
std::u16string ReplaceEscapedBytes(std::u16string_view text);

// Windows code pages used by the 8-bit language files (1250, 1252), through
// iconv (any code page iconv knows as "CP<number>", and 65001 for UTF-8).
// Characters the code page cannot hold become '?'; bytes it leaves undefined
// become U+FFFD. False when the code page is not available.
bool ToCodePage(std::u16string_view text, int codePage, std::string& out);
bool FromCodePage(std::string_view text, int codePage, std::u16string& out);

// Case-insensitive ordinal comparison of UTF-16 names, as the Windows file
// system compares names: both sides upper-cased per UTF-16 unit.
// Returns <0, 0, >0.
int CompareTextCI(std::u16string_view a, std::u16string_view b);
// The upper-cased form that CompareTextCI compares; equal keys <=> equal names.
std::u16string FoldCase(std::u16string_view text);
// One unit of FoldCase, for callers that fold without building a string.
char16_t FoldUnit(char16_t unit);

// Locale-aware, case-sensitive comparison in the collation locale of the
// environment (LC_ALL / LC_COLLATE / LANG, read once; C.UTF-8 when they name
// no usable locale). Texts the locale ranks equal but that differ are
// ordered by their UTF-16 units, so only equal texts compare 0.
int CompareLocale(std::u16string_view a, std::u16string_view b);

// Windows wildcard match, ignoring case: '*' any run, '?' one character;
// "*.*" and "*" match every name, and a mask ending in ".*" also matches a
// name without an extension.
bool MatchesMask(std::u16string_view name, std::u16string_view mask);

}  // namespace tessor::platform
