// The named message texts ("constants"): a list kept sorted by name, without
// regard to case, so lookups and insertions are binary searches.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tessor::lang {

struct TLangConstant {
    std::string Name;        // an identifier
    std::u16string Value;    // the text in the current language
    std::u16string Default;  // the built-in (English) text
};

class TLangConstants {
public:
    const TLangConstant* Find(std::string_view name) const;
    TLangConstant* Find(std::string_view name);
    // Inserts in name order; false (and nothing added) when the name exists.
    bool Add(TLangConstant constant);

    size_t Count() const { return items_.size(); }
    const TLangConstant& At(size_t index) const { return items_[index]; }
    TLangConstant& At(size_t index) { return items_[index]; }
    void Clear() { items_.clear(); }

private:
    // Index of the first item not less than `name`.
    size_t LowerBound(std::string_view name) const;

    std::vector<TLangConstant> items_;
};

// The constants resource, little-endian: version (1 byte, at most
// kConstantsStreamVersion), flag (1 byte), count (32-bit), then per entry the
// name (16-bit length, ANSI bytes) and the text (16-bit length in
// characters, UTF-16 code units). Bytes after the last entry are ignored.
inline constexpr uint8_t kConstantsStreamVersion = 2;

// Reads the built-in texts: Default and Value both get the stream's text.
// A newer version, a truncated stream or a repeated name raise ELangError
// and leave `out` unchanged.
void ReadConstantsStream(std::span<const uint8_t> bytes, TLangConstants& out);
// The stream of these names and texts, in the order given.
struct TConstantSource {
    std::string Name;
    std::u16string Text;
};
std::vector<uint8_t> WriteConstantsStream(std::span<const TConstantSource> entries,
                                          uint8_t flag = 1);

// True for an ASCII identifier: letters, digits and '_', not starting with a
// digit.
bool IsConstantName(std::u16string_view name);

}  // namespace tessor::lang
