// The resources carried inside the program: a table from name to bytes per
// module, standing in for the raw-data resources of an executable. The
// program's own table is generated at build time from the readable sources
// in resources/lang (see ProgramLanguages.h); tests make tables of their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tessor::lang {

struct TResourceEntry {
    const char* Name;
    const uint8_t* Data;
    size_t Size;
};

class TResourceModule {
public:
    // A module over a static table (the generated one), not copied.
    explicit TResourceModule(std::span<const TResourceEntry> table) : table_(table) {}
    // A module owning its bytes (tests, tools).
    TResourceModule() = default;
    void Add(std::string name, std::vector<uint8_t> bytes);

    // The bytes of the resource with this name; names compare without regard
    // to the case of ASCII letters, as resource names do.
    std::optional<std::span<const uint8_t>> Find(std::u16string_view name) const;

private:
    struct TOwned {
        std::string Name;
        std::vector<uint8_t> Bytes;
    };
    std::span<const TResourceEntry> table_;
    std::vector<TOwned> owned_;
};

// Compares two names ignoring the case of ASCII letters: <0, 0, >0.
int CompareAnsiText(std::string_view a, std::string_view b);
bool SameAnsiText(std::string_view a, std::string_view b);

}  // namespace tessor::lang
