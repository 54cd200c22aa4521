// Little-endian byte streams of the language package: the constants
// resource and the LangData of a window. The reader never reads past its
// end: a count or length that runs beyond the bytes raises ELangError.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tessor::lang {

class TLangReader {
public:
    explicit TLangReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    uint8_t U8();
    uint16_t U16();
    uint32_t U32();
    // 16-bit length, then that many ANSI bytes.
    std::string AnsiString();
    // 16-bit length in characters, then that many UTF-16 code units.
    std::u16string WideString();
    // Raises ELangError unless `count` items of at least `minSize` bytes each
    // can still follow, so a forged count never makes a huge allocation.
    void ExpectItems(uint32_t count, size_t minSize) const;

    size_t Remaining() const { return bytes_.size() - at_; }

private:
    std::span<const uint8_t> Take(size_t n);

    std::span<const uint8_t> bytes_;
    size_t at_ = 0;
};

class TLangWriter {
public:
    void U8(uint8_t v) { bytes_.push_back(v); }
    void U16(uint16_t v);
    void U32(uint32_t v);
    // Raise ELangError when the text is longer than a 16-bit length allows.
    void AnsiString(std::string_view s);
    void WideString(std::u16string_view s);

    const std::vector<uint8_t>& Bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

}  // namespace tessor::lang
