// The four-part version that every Tessor program and library carries inside
// its own file, and how to read it back from any file.
//
// The build writes the version of the CMake project into an ELF note (owner
// "Tessor", type kVersionNoteType) of each program (on Windows into its
// version resource, whose fixed part packs the parts the same way): two 32-bit words in the
// file's byte order, the most significant first, each holding two 16-bit
// parts (1.2.0.10 is 0x00010002, 0x0000000A). Because the note is part of the
// file, the about box and `--version` show the version of the file that
// actually runs, and a file copied from another build shows its own.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace tessor::version {

inline constexpr uint32_t kVersionNoteType = 1;
inline constexpr const char* kNoVersionText = "No version specification";

using TFileVersion = std::array<uint16_t, 4>;

// Reads `length` bytes at `offset` of a file into `out`; false when the file
// is shorter or cannot be read.
using TReadAt = std::function<bool(uint64_t offset, size_t length, uint8_t* out)>;

// The version note of an ELF file (32 or 64 bits, either byte order), looked
// for in its note segments and, for files without program headers, its note
// sections. Nothing when the bytes are not ELF or carry no version note.
std::optional<TFileVersion> ReadVersionNote(const TReadAt& read);

// The same for a file on disk; on Windows the file's version resource
// (VERSIONINFO), which holds the same four parts.
std::optional<TFileVersion> ReadFileVersion(const std::string& path);

// The running program's own file.
std::string OwnProgramFile();

// "1.2.0.10": the file version of the named file, the four parts joined by
// ".". The name is trimmed; an empty name means the running program's own
// file. "No version specification" when the file cannot be read or carries
// no version note.
std::string FileVersionText(const std::string& fileName);

// The line `--version` prints, without a newline: "tessor-cli 1.2.0.10".
std::string VersionLine(const std::string& programName);

}  // namespace tessor::version
