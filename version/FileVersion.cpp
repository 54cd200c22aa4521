// Reading the version note back out of an ELF file. The file may be anything
// the caller names (a text file, a truncated or hostile ELF file), so every
// offset and size read from it is checked against what was actually read
// before it is used, and nothing is read that the headers do not point at.
#include "version/FileVersion.h"

#include <cstring>
#include <vector>

namespace tessor::version {

namespace {

// Note areas larger than this are not Tessor's: a version note is 24 bytes,
// and real programs carry a few hundred bytes of notes at most.
constexpr uint64_t kMaxNoteArea = 1 << 20;
constexpr uint32_t kPtNote = 4;
constexpr uint32_t kShtNote = 7;

class TElfReader {
public:
    TElfReader(const TReadAt& read, bool bigEndian, bool wide)
        : read_(read), big_(bigEndian), wide_(wide) {}

    bool Wide() const { return wide_; }

    bool U16(uint64_t offset, uint16_t& v) const {
        uint8_t b[2];
        if (!read_(offset, 2, b))
            return false;
        v = Get16(b);
        return true;
    }
    bool U32(uint64_t offset, uint32_t& v) const {
        uint8_t b[4];
        if (!read_(offset, 4, b))
            return false;
        v = Get32(b);
        return true;
    }
    // A word that is 32 bits wide in ELF32 and 64 bits wide in ELF64.
    bool Addr(uint64_t offset, uint64_t& v) const {
        if (!wide_) {
            uint32_t w = 0;
            if (!U32(offset, w))
                return false;
            v = w;
            return true;
        }
        uint8_t b[8];
        if (!read_(offset, 8, b))
            return false;
        uint64_t hi = Get32(big_ ? b : b + 4);
        uint64_t lo = Get32(big_ ? b + 4 : b);
        v = hi << 32 | lo;
        return true;
    }
    uint16_t Get16(const uint8_t* p) const {
        return big_ ? static_cast<uint16_t>(p[0] << 8 | p[1])
                    : static_cast<uint16_t>(p[1] << 8 | p[0]);
    }
    uint32_t Get32(const uint8_t* p) const {
        return big_ ? uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]
                    : uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    }
    bool Bytes(uint64_t offset, size_t length, uint8_t* out) const {
        return read_(offset, length, out);
    }

private:
    const TReadAt& read_;
    bool big_;
    bool wide_;
};

uint64_t AlignUp(uint64_t v, uint64_t align) {
    return (v + align - 1) / align * align;
}

// Walks one area of notes (a PT_NOTE segment or an SHT_NOTE section).
std::optional<TFileVersion> ScanNotes(const TElfReader& elf, uint64_t offset, uint64_t size,
                                      uint64_t align) {
    if (size == 0 || size > kMaxNoteArea)
        return std::nullopt;
    std::vector<uint8_t> area(static_cast<size_t>(size));
    if (!elf.Bytes(offset, area.size(), area.data()))
        return std::nullopt;
    // Notes are padded to 4 bytes, or to 8 in an area that says so (the
    // GNU property notes of 64-bit programs).
    align = align == 8 ? 8 : 4;
    uint64_t pos = 0;
    // The padding after the last note may be missing, so `pos` can pass
    // the end of the area.
    while (pos < size && size - pos >= 12) {
        uint32_t namesz = elf.Get32(&area[pos]);
        uint32_t descsz = elf.Get32(&area[pos + 4]);
        uint32_t type = elf.Get32(&area[pos + 8]);
        uint64_t name = pos + 12;
        uint64_t desc = AlignUp(name + namesz, align);
        uint64_t next = AlignUp(desc + descsz, align);
        if (desc > size || desc + descsz > size)
            return std::nullopt;
        if (namesz == 7 && std::memcmp(&area[name], "Tessor", 7) == 0 && type == kVersionNoteType &&
            descsz == 8) {
            uint32_t ms = elf.Get32(&area[desc]);
            uint32_t ls = elf.Get32(&area[desc + 4]);
            return TFileVersion{static_cast<uint16_t>(ms >> 16), static_cast<uint16_t>(ms),
                                static_cast<uint16_t>(ls >> 16), static_cast<uint16_t>(ls)};
        }
        pos = next;
    }
    return std::nullopt;
}

std::optional<TFileVersion> ScanProgramHeaders(const TElfReader& elf, uint64_t phoff,
                                               uint16_t entsize, uint16_t count) {
    bool w = elf.Wide();
    if (entsize < (w ? 56 : 32))
        return std::nullopt;
    for (uint64_t i = 0; i < count; ++i) {
        uint64_t h = phoff + i * entsize;
        uint32_t type = 0;
        uint64_t offset = 0, size = 0, align = 0;
        if (!elf.U32(h, type))
            return std::nullopt;
        if (type != kPtNote)
            continue;
        if (!elf.Addr(h + (w ? 8 : 4), offset) || !elf.Addr(h + (w ? 32 : 16), size) ||
            !elf.Addr(h + (w ? 48 : 28), align))
            return std::nullopt;
        if (auto v = ScanNotes(elf, offset, size, align))
            return v;
    }
    return std::nullopt;
}

std::optional<TFileVersion> ScanSectionHeaders(const TElfReader& elf, uint64_t shoff,
                                               uint16_t entsize, uint16_t count) {
    bool w = elf.Wide();
    if (entsize < (w ? 64 : 40))
        return std::nullopt;
    for (uint64_t i = 0; i < count; ++i) {
        uint64_t h = shoff + i * entsize;
        uint32_t type = 0;
        uint64_t offset = 0, size = 0, align = 0;
        if (!elf.U32(h + 4, type))
            return std::nullopt;
        if (type != kShtNote)
            continue;
        if (!elf.Addr(h + (w ? 24 : 16), offset) || !elf.Addr(h + (w ? 32 : 20), size) ||
            !elf.Addr(h + (w ? 48 : 32), align))
            return std::nullopt;
        if (auto v = ScanNotes(elf, offset, size, align))
            return v;
    }
    return std::nullopt;
}

std::string Trim(const std::string& s) {
    const char* blanks = " \t\r\n\f\v";
    size_t first = s.find_first_not_of(blanks);
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

}  // namespace

std::optional<TFileVersion> ReadVersionNote(const TReadAt& read) {
    static constexpr uint8_t kMagic[4] = {0x7f, 'E', 'L', 'F'};
    uint8_t ident[16];
    if (!read(0, sizeof(ident), ident) || std::memcmp(ident, kMagic, sizeof(kMagic)) != 0)
        return std::nullopt;
    if ((ident[4] != 1 && ident[4] != 2) || (ident[5] != 1 && ident[5] != 2))
        return std::nullopt;
    bool wide = ident[4] == 2;
    TElfReader elf(read, ident[5] == 2, wide);
    uint64_t phoff = 0, shoff = 0;
    uint16_t phentsize = 0, phnum = 0, shentsize = 0, shnum = 0;
    if (!elf.Addr(wide ? 0x20 : 0x1C, phoff) || !elf.Addr(wide ? 0x28 : 0x20, shoff) ||
        !elf.U16(wide ? 0x36 : 0x2A, phentsize) || !elf.U16(wide ? 0x38 : 0x2C, phnum) ||
        !elf.U16(wide ? 0x3A : 0x2E, shentsize) || !elf.U16(wide ? 0x3C : 0x30, shnum))
        return std::nullopt;
    // Programs and libraries keep their notes in note segments, which
    // stripping leaves alone; object files have only sections.
    if (phoff != 0 && phnum != 0)
        if (auto v = ScanProgramHeaders(elf, phoff, phentsize, phnum))
            return v;
    if (shoff != 0 && shnum != 0)
        return ScanSectionHeaders(elf, shoff, shentsize, shnum);
    return std::nullopt;
}

std::string FileVersionText(const std::string& fileName) {
    std::string name = Trim(fileName);
    auto version = ReadFileVersion(name.empty() ? OwnProgramFile() : name);
    if (!version)
        return kNoVersionText;
    const TFileVersion& v = *version;
    return std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." +
           std::to_string(v[3]);
}

std::string VersionLine(const std::string& programName) {
    return programName + " " + FileVersionText("");
}

}  // namespace tessor::version
