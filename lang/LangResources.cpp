#include "lang/LangResources.h"

namespace tessor::lang {

namespace {

char16_t FoldAscii(char16_t c) {
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
}

bool SameName(std::string_view stored, std::u16string_view wanted) {
    if (stored.size() != wanted.size())
        return false;
    for (size_t i = 0; i < stored.size(); ++i) {
        if (FoldAscii(static_cast<unsigned char>(stored[i])) != FoldAscii(wanted[i]))
            return false;
    }
    return true;
}

}  // namespace

int CompareAnsiText(std::string_view a, std::string_view b) {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        auto x = static_cast<unsigned char>(a[i]);
        auto y = static_cast<unsigned char>(b[i]);
        if (x >= 'a' && x <= 'z')
            x -= 32;
        if (y >= 'a' && y <= 'z')
            y -= 32;
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool SameAnsiText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CompareAnsiText(a, b) == 0;
}

void TResourceModule::Add(std::string name, std::vector<uint8_t> bytes) {
    owned_.push_back({std::move(name), std::move(bytes)});
}

std::optional<std::span<const uint8_t>> TResourceModule::Find(std::u16string_view name) const {
    for (const TResourceEntry& e : table_) {
        if (SameName(e.Name, name))
            return std::span<const uint8_t>(e.Data, e.Size);
    }
    for (const TOwned& e : owned_) {
        if (SameName(e.Name, name))
            return std::span<const uint8_t>(e.Bytes);
    }
    return std::nullopt;
}

}  // namespace tessor::lang
