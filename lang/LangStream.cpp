#include "lang/LangStream.h"

#include "lang/LangError.h"

namespace tessor::lang {

std::span<const uint8_t> TLangReader::Take(size_t n) {
    if (n > Remaining())
        throw ELangError(kStreamReadError);
    std::span<const uint8_t> out = bytes_.subspan(at_, n);
    at_ += n;
    return out;
}

uint8_t TLangReader::U8() {
    return Take(1)[0];
}

uint16_t TLangReader::U16() {
    std::span<const uint8_t> b = Take(2);
    return static_cast<uint16_t>(b[0] | b[1] << 8);
}

uint32_t TLangReader::U32() {
    std::span<const uint8_t> b = Take(4);
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

std::string TLangReader::AnsiString() {
    std::span<const uint8_t> b = Take(U16());
    return std::string(b.begin(), b.end());
}

std::u16string TLangReader::WideString() {
    size_t length = U16();
    std::span<const uint8_t> b = Take(length * 2);
    std::u16string out(length, u'\0');
    for (size_t i = 0; i < length; ++i)
        out[i] = static_cast<char16_t>(b[2 * i] | b[2 * i + 1] << 8);
    return out;
}

void TLangReader::ExpectItems(uint32_t count, size_t minSize) const {
    if (minSize != 0 && count > Remaining() / minSize)
        throw ELangError(kStreamReadError);
}

void TLangWriter::U16(uint16_t v) {
    bytes_.push_back(static_cast<uint8_t>(v));
    bytes_.push_back(static_cast<uint8_t>(v >> 8));
}

void TLangWriter::U32(uint32_t v) {
    for (int i = 0; i < 4; ++i)
        bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void TLangWriter::AnsiString(std::string_view s) {
    if (s.size() > 0xFFFF)
        throw ELangError("Text too long for the stream");
    U16(static_cast<uint16_t>(s.size()));
    bytes_.insert(bytes_.end(), s.begin(), s.end());
}

void TLangWriter::WideString(std::u16string_view s) {
    if (s.size() > 0xFFFF)
        throw ELangError("Text too long for the stream");
    U16(static_cast<uint16_t>(s.size()));
    for (char16_t c : s)
        U16(c);
}

}  // namespace tessor::lang
