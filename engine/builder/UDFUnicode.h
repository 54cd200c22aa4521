// Text in UDF structures: OSTA Compressed Unicode (CS0), d-strings and
// file identifiers that fit their length byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tessor::builder::udf {

// A file identifier's length byte holds 1 + 2 x units with compression 16,
// so an identifier carries at most 127 UTF-16 units.
inline constexpr size_t kMaxIdentifierUnits = 127;

// Bytes of `units` UTF-16 units in CS0 with compression 16; an empty text
// takes no byte at all (no compression ID either).
inline constexpr size_t Cs0Length(size_t units) {
    return units == 0 ? 0 : 1 + 2 * units;
}

// OSTA UDF 2.1.1: compression ID 16, then each UTF-16 unit big-endian.
// Returns Cs0Length(text.size()).
size_t PutCs0(uint8_t* out, std::u16string_view text);

// The number of leading units of `text`, at most maxUnits, that ends on a
// whole character (never between the two halves of a surrogate pair).
size_t WholeCharacters(std::u16string_view text, size_t maxUnits);

// ECMA-167 1/7.2.12 d-string of fieldLength bytes: as many whole characters
// as fit in fieldLength - 1 bytes of CS0, and in the last byte the number of
// bytes used, so the length always matches the content. An empty text leaves
// the whole field zero (OSTA UDF 2.1.3).
void PutDString(uint8_t* field, size_t fieldLength, std::u16string_view text);

// A name of more than kMaxIdentifierUnits units shortened to fit: the stem is
// cut, "~<attempt>" is appended to it when attempt > 0, and an extension of
// up to kKeptExtension units (the dot included) is kept. Callers raise
// attempt until the result is unique in its directory.
inline constexpr size_t kKeptExtension = 32;
std::u16string ShortenUdfName(std::u16string_view name, unsigned attempt);

}  // namespace tessor::builder::udf
