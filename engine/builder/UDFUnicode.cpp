#include "engine/builder/UDFUnicode.h"

#include <algorithm>
#include <cstring>

#include "engine/builder/OSTA_UDF_150.h"
#include "engine/platform/ByteOrder.h"

namespace tessor::builder::udf {

using namespace platform::byte_order;

namespace {

bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

}  // namespace

size_t PutCs0(uint8_t* out, std::u16string_view text) {
    if (text.empty())
        return 0;
    out[0] = kCompression16;
    for (size_t i = 0; i < text.size(); ++i)
        PutBE16(out + 1 + 2 * i, text[i]);
    return Cs0Length(text.size());
}

size_t WholeCharacters(std::u16string_view text, size_t maxUnits) {
    if (text.size() <= maxUnits)
        return text.size();
    size_t n = maxUnits;
    if (n > 0 && IsHighSurrogate(text[n - 1]))
        --n;
    return n;
}

void PutDString(uint8_t* field, size_t fieldLength, std::u16string_view text) {
    std::memset(field, 0, fieldLength);
    if (fieldLength < 4)
        return;
    const size_t units = WholeCharacters(text, (fieldLength - 2) / 2);
    const size_t used = PutCs0(field, text.substr(0, units));
    field[fieldLength - 1] = static_cast<uint8_t>(used);
}

std::u16string ShortenUdfName(std::u16string_view name, unsigned attempt) {
    if (name.size() <= kMaxIdentifierUnits && attempt == 0)
        return std::u16string(name);

    std::u16string marker;
    if (attempt > 0) {
        marker = u"~";
        for (char c : std::to_string(attempt))
            marker += static_cast<char16_t>(c);
    }
    std::u16string_view stem = name;
    std::u16string_view extension;
    const size_t dot = name.rfind(u'.');
    if (dot != std::u16string_view::npos && dot > 0 && name.size() - dot <= kKeptExtension) {
        stem = name.substr(0, dot);
        extension = name.substr(dot);
    }
    const size_t room = kMaxIdentifierUnits - marker.size() - extension.size();
    std::u16string out(stem.substr(0, WholeCharacters(stem, room)));
    out += marker;
    out += extension;
    return out;
}

}  // namespace tessor::builder::udf
