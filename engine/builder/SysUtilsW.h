// Small string helpers of the builder: cutting text at character boundaries
// and the ASCII-only upper-casing the ISO 9660 names use.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tessor::builder {

// Longest prefix of UTF-8 text of at most maxBytes bytes that ends on a
// character boundary (never inside a multi-byte sequence).
std::string_view CutUtf8(std::string_view text, size_t maxBytes);
// Longest prefix of UTF-16 text of at most maxUnits units that does not end
// between the two halves of a surrogate pair.
std::u16string_view CutUtf16(std::u16string_view text, size_t maxUnits);

// Letters a to z turned to A to Z; every other byte unchanged.
inline char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}
inline unsigned char AsciiUpper(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c;
}
std::string AsciiUpper(std::string_view text);

// A wide string from a NUL-terminated UTF-16 field of at most `capacity` units.
std::u16string_view FieldText(const char16_t* field, size_t capacity);

}  // namespace tessor::builder
