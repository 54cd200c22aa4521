#include "version/FileVersion.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace tessor::version {
namespace {

namespace fs = std::filesystem;
using TBytes = std::vector<uint8_t>;

const std::string kBin = std::string(TESSOR_BINARY_DIR) + "/bin/";

// Minimal ELF files written field by field, so the reader meets both word
// sizes and both byte orders, note segments and note sections.
class TElfWriter {
public:
    TElfWriter(bool wide, bool big) : wide_(wide), big_(big) {}

    void Put(TBytes& b, size_t at, uint64_t v, size_t width) const {
        if (b.size() < at + width)
            b.resize(at + width);
        for (size_t i = 0; i < width; ++i) {
            size_t shift = 8 * (big_ ? width - 1 - i : i);
            b[at + i] = static_cast<uint8_t>(v >> shift);
        }
    }
    void Addr(TBytes& b, size_t at, uint64_t v) const { Put(b, at, v, wide_ ? 8 : 4); }

    TBytes Note(const std::string& name, uint32_t type, const TBytes& desc, size_t align) const {
        TBytes n;
        Put(n, 0, name.size() + 1, 4);
        Put(n, 4, desc.size(), 4);
        Put(n, 8, type, 4);
        n.insert(n.end(), name.begin(), name.end());
        n.push_back(0);
        n.resize((n.size() + align - 1) / align * align);
        n.insert(n.end(), desc.begin(), desc.end());
        n.resize((n.size() + align - 1) / align * align);
        return n;
    }
    TBytes VersionNote(uint32_t ms, uint32_t ls, size_t align = 4) const {
        TBytes desc;
        Put(desc, 0, ms, 4);
        Put(desc, 4, ls, 4);
        return Note("Tessor", kVersionNoteType, desc, align);
    }

    // One note area, described by a program header or (`section`) by a
    // section header; the area follows the headers.
    TBytes File(const TBytes& notes, bool section, uint64_t align = 4) const {
        size_t ehsize = wide_ ? 64 : 52, entsize = section ? (wide_ ? 64 : 40) : (wide_ ? 56 : 32);
        TBytes f(ehsize + entsize, 0);
        const uint8_t ident[] = {0x7f, 'E', 'L', 'F', uint8_t(wide_ ? 2 : 1), uint8_t(big_ ? 2 : 1),
                                 1};
        std::memcpy(f.data(), ident, sizeof(ident));
        size_t hdr = ehsize, area = ehsize + entsize;
        Addr(f, wide_ ? 0x20 : 0x1C, section ? 0 : hdr);  // e_phoff
        Addr(f, wide_ ? 0x28 : 0x20, section ? hdr : 0);  // e_shoff
        Put(f, wide_ ? 0x36 : 0x2A, section ? 0 : entsize, 2);
        Put(f, wide_ ? 0x38 : 0x2C, section ? 0 : 1, 2);
        Put(f, wide_ ? 0x3A : 0x2E, section ? entsize : 0, 2);
        Put(f, wide_ ? 0x3C : 0x30, section ? 1 : 0, 2);
        if (section) {
            Put(f, hdr + 4, 7, 4);  // SHT_NOTE
            Addr(f, hdr + (wide_ ? 24 : 16), area);
            Addr(f, hdr + (wide_ ? 32 : 20), notes.size());
            Addr(f, hdr + (wide_ ? 48 : 32), align);
        } else {
            Put(f, hdr, 4, 4);  // PT_NOTE
            Addr(f, hdr + (wide_ ? 8 : 4), area);
            Addr(f, hdr + (wide_ ? 32 : 16), notes.size());
            Addr(f, hdr + (wide_ ? 48 : 28), align);
        }
        f.insert(f.end(), notes.begin(), notes.end());
        return f;
    }

private:
    bool wide_;
    bool big_;
};

std::optional<TFileVersion> FromBytes(const TBytes& bytes) {
    return ReadVersionNote([&](uint64_t offset, size_t length, uint8_t* out) {
        if (offset > bytes.size() || length > bytes.size() - offset)
            return false;
        std::memcpy(out, bytes.data() + offset, length);
        return true;
    });
}

TEST(FileVersion, ReadsTheNoteFromEveryKindOfElfFile) {
    for (bool wide : {false, true}) {
        for (bool big : {false, true}) {
            TElfWriter w(wide, big);
            SCOPED_TRACE(std::string(wide ? "ELF64" : "ELF32") + (big ? " big" : " little"));
            TBytes other = w.Note("GNU", 3, TBytes(20, 0xAB), 4);
            TBytes notes = other;
            TBytes version = w.VersionNote(0x00010002, 0x0000000A);
            notes.insert(notes.end(), version.begin(), version.end());
            EXPECT_EQ(FromBytes(w.File(notes, false)), (TFileVersion{1, 2, 0, 10}));
            EXPECT_EQ(FromBytes(w.File(notes, true)), (TFileVersion{1, 2, 0, 10}));
            TBytes wideAligned = w.Note("GNU", 5, TBytes(12, 1), 8);
            TBytes v8 = w.VersionNote(0xFFFF0000, 0x0003FFFF, 8);
            wideAligned.insert(wideAligned.end(), v8.begin(), v8.end());
            EXPECT_EQ(FromBytes(w.File(wideAligned, false, 8)), (TFileVersion{65535, 0, 3, 65535}));
        }
    }
}

TEST(FileVersion, DamagedOrForeignFilesHaveNoVersion) {
    TElfWriter w(true, false);
    TBytes good = w.File(w.VersionNote(1, 2), false);
    ASSERT_TRUE(FromBytes(good));
    size_t area = 64 + 56;
    auto patched = [&](size_t at, uint64_t v, size_t width) {
        TBytes b = good;
        w.Put(b, at, v, width);
        return b;
    };
    struct TCase {
        const char* what;
        TBytes bytes;
    } cases[] = {
        {"empty", {}},
        {"text", TBytes{'h', 'e', 'l', 'l', 'o', '\n'}},
        {"cut inside the note", TBytes(good.begin(), good.end() - 4)},
        {"cut inside the header", TBytes(good.begin(), good.begin() + 40)},
        {"bad class", patched(4, 7, 1)},
        {"program headers beyond the end", patched(0x20, 1u << 30, 8)},
        {"program headers at the top of the address space", patched(0x20, ~0ull - 8, 8)},
        {"short program header entries", patched(0x36, 16, 2)},
        {"note area beyond the end", patched(64 + 8, 1u << 30, 8)},
        {"huge note area", patched(64 + 32, 1ull << 40, 8)},
        {"name size beyond the area", patched(area, 0xFFFFFFF0u, 4)},
        {"description size beyond the area", patched(area + 4, 0xFFFFFFFFu, 4)},
        {"another note type", patched(area + 8, 2, 4)},
        {"description of another size", patched(area + 4, 4, 4)},
        {"last note without its padding",
         [&] {
             TBytes notes = w.Note("GNU", 3, TBytes(5, 1), 4);
             TBytes b = w.File(notes, false);
             w.Put(b, 64 + 32, notes.size() - 3, 8);  // p_filesz ends after the description
             b.resize(b.size() - 3);
             return b;
         }()},
        {"another owner",
         [&] {
             TBytes b = good;
             b[area + 12] = 't';
             return b;
         }()},
    };
    for (const TCase& c : cases)
        EXPECT_FALSE(FromBytes(c.bytes)) << c.what;
}

class ProgramFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("tessor-version-" + std::to_string(getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    static std::string Run(const std::string& command, int& status) {
        std::string output;
        FILE* p = popen(command.c_str(), "r");
        if (!p)
            return output;
        char buffer[256];
        size_t n;
        while ((n = fread(buffer, 1, sizeof(buffer), p)) > 0)
            output.append(buffer, n);
        status = pclose(p);
        return output;
    }

    fs::path dir_;
};

TEST_F(ProgramFiles, EveryProgramCarriesTheProjectVersion) {
    for (const char* file : {"tessor-cli", "tessor-vdrive", "libwnaspi32.so"})
        EXPECT_EQ(FileVersionText(kBin + file), TESSOR_PROJECT_VERSION) << file;
    // This test program carries the note too, and reads its own file.
    EXPECT_EQ(FileVersionText(""), TESSOR_PROJECT_VERSION);
    EXPECT_EQ(FileVersionText(" \t"), TESSOR_PROJECT_VERSION);
    EXPECT_EQ(FileVersionText("  " + kBin + "tessor-cli "), TESSOR_PROJECT_VERSION);

    std::ofstream(dir_ / "text") << "no version here\n";
    for (std::string file : {(dir_ / "text").string(), (dir_ / "missing").string(), dir_.string(),
                             std::string("/bin/sh")})
        EXPECT_EQ(FileVersionText(file), "No version specification") << file;
}

TEST_F(ProgramFiles, VersionOptionReadsTheRunningFile) {
    for (const char* program : {"tessor-cli", "tessor-vdrive"}) {
        int status = -1;
        std::string out = Run(kBin + program + " --version", status);
        EXPECT_EQ(out, std::string(program) + " " + TESSOR_PROJECT_VERSION + "\n");
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << program;

        // A copy whose note says 1.2.0.10 reports 1.2.0.10: the version
        // comes from the file, not from a constant compiled into the code.
        std::ifstream in(kBin + program, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const char header[] = "\x07\0\0\0\x08\0\0\0\x01\0\0\0Tessor\0\0";
        size_t at = bytes.find(std::string(header, sizeof(header) - 1));
        ASSERT_NE(at, std::string::npos) << program;
        ASSERT_EQ(bytes.find(std::string(header, sizeof(header) - 1), at + 1), std::string::npos);
        const char desc[] = "\x02\0\x01\0\x0A\0\0\0";
        bytes.replace(at + sizeof(header) - 1, 8, desc, 8);
        fs::path copy = dir_ / program;
        std::ofstream(copy, std::ios::binary) << bytes;
        fs::permissions(copy, fs::perms::owner_all);
        EXPECT_EQ(FileVersionText(copy.string()), "1.2.0.10");
        EXPECT_EQ(Run(copy.string() + " --version", status), std::string(program) + " 1.2.0.10\n");
    }
}

}  // namespace
}  // namespace tessor::version
