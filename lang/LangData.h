// LangData: which properties of which components of a window are
// translatable, with the numeric ID of each. It is made when the window is
// designed and stored with it; at run time it is read, bound to the
// components and used.
//
// The stream, little-endian, one component entry recursively:
//   name (16-bit length, ANSI bytes);
//   property flag (1 byte), and when non-zero a count (32-bit) of
//     (ID 32-bit, property path: 16-bit length, ANSI bytes);
//   children flag (1 byte), and when non-zero a count (32-bit) of entries.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tessor::lang {

class TLangComponent;

struct TLangPropEntry {
    int32_t ID = 0;
    std::string Path;
    std::u16string Value;  // the captured built-in text; empty until captured
};

struct TLangCompEntry {
    std::string Name;
    TLangComponent* Component = nullptr;               // bound at run time
    std::optional<std::vector<TLangPropEntry>> Props;  // sorted by path, case ignored
    std::optional<std::vector<TLangCompEntry>> Children;

    TLangPropEntry* FindProp(std::string_view path);
    const TLangPropEntry* FindProp(std::string_view path) const;
    // Inserts in path order; false (nothing added) when the path is there.
    bool AddProp(TLangPropEntry prop);
};

// Deeper trees are refused: a window's components sit one level below it.
inline constexpr int kMaxLangDataDepth = 64;

// Raise ELangError on a truncated stream, a count beyond the bytes that
// follow, or a tree nested deeper than kMaxLangDataDepth.
TLangCompEntry ReadLangData(std::span<const uint8_t> bytes);
std::vector<uint8_t> WriteLangData(const TLangCompEntry& root);

// A list of ANSI strings (the IgnoreList stored with a window): count
// (32-bit), then each as 16-bit length and bytes.
std::vector<std::string> ReadLangStrings(std::span<const uint8_t> bytes);
std::vector<uint8_t> WriteLangStrings(const std::vector<std::string>& list);

}  // namespace tessor::lang
