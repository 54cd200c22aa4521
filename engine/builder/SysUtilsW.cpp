#include "engine/builder/SysUtilsW.h"

namespace tessor::builder {

std::string_view CutUtf8(std::string_view text, size_t maxBytes) {
    if (text.size() <= maxBytes)
        return text;
    size_t end = maxBytes;
    // Step back over continuation bytes (10xxxxxx) to the lead byte of the
    // character that would be cut, and cut before it.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

std::u16string_view CutUtf16(std::u16string_view text, size_t maxUnits) {
    if (text.size() <= maxUnits)
        return text;
    size_t end = maxUnits;
    if (end > 0 && text[end - 1] >= 0xD800 && text[end - 1] <= 0xDBFF)
        --end;
    return text.substr(0, end);
}

std::string AsciiUpper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = AsciiUpper(c);
    return out;
}

std::u16string_view FieldText(const char16_t* field, size_t capacity) {
    size_t n = 0;
    while (n < capacity && field[n] != 0)
        ++n;
    return {field, n};
}

}  // namespace tessor::builder
