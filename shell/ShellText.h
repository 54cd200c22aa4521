// Texts the window builds from source paths, engine figures and language
// constants. Plain functions over UTF-16, so they are tested without a
// display. Source paths use '/' (the disc paths handed to the engine keep
// '\'); lengths are counted in characters (code points), not bytes or
// UTF-16 units.
#pragma once

#include <QString>
#include <cstdint>
#include <string>
#include <string_view>

namespace tessor::shell {

// The text of a language constant in the current language.
QString Lang(std::string_view name);

// UTF-16 <-> QString without any validation: an escaped byte of a name
// that is not valid UTF-8 (a lone surrogate) survives the round trip.
QString ToQ(std::u16string_view text);
std::u16string FromQ(const QString& text);
// A source path as it is shown: each escaped byte as U+FFFD.
QString Shown(std::u16string_view sourcePath);

// The last part of a path: the whole text below 4 characters; otherwise
// what follows the last '/' found from the second-to-last character
// backwards (a trailing '/' stays part of it), or the whole text when there
// is none. "/home/ann/Photos" gives "Photos", "/home/ann/" gives "ann/".
std::u16string LastPathPart(std::u16string_view path);
// The name of a dropped folder on the disc: its last part without trailing
// '/'; empty for the file system's root.
std::u16string DiscFolderName(std::u16string_view path);

// Characters (code points) in a text.
size_t CharCount(std::u16string_view text);
// The first `count` characters of a text, never splitting a surrogate pair.
std::u16string_view FirstChars(std::u16string_view text, size_t count);
// The part after the last '/', the part before it, and the extension of a
// path (from the last '.' of its last part, dot included; empty without).
std::u16string_view FileNamePart(std::u16string_view path);
std::u16string_view FolderPart(std::u16string_view path);
std::u16string_view Extension(std::u16string_view path);

// File names longer than this many characters are asked about.
inline constexpr size_t kLongNameLimit = 107;
// The shortened name proposed in the question (the folder, '/', the first
// 60 characters of the name and the extension) and the name given to the
// file when the user agrees (its first 100 characters and the extension).
std::u16string ProposedLongName(std::u16string_view path);
std::u16string ShortenedLongName(std::u16string_view path);
// The long-name question: FILE_TOO_LONG, the path, RENAME_TO, the
// proposal and IFNOT_RENAME, joined with two carriage returns.
QString LongNameQuestion(std::u16string_view path);

// The engine status code as its text in the current language.
QString StatusText(uint16_t code);

// Sectors as megabytes (sectors x 2048 / 1024 / 1024) in the pattern
// "#,##0.00" of the user's locale.
QString Megabytes(uint64_t sectors);
// The disc-size message: "Inserted medium(FMB / CMB) too small. Please
// insert a disk with NMB!" in the current language.
QString DiscTooSmallText(uint64_t freeSectors, uint64_t capacitySectors, uint64_t neededSectors);
// The write progress line: "W/T MB" before the first sector, then
// "W/T MB (P)%" with P in the pattern "0.00".
QString WriteProgressText(uint64_t written, uint64_t total);

// The volume label as the engine takes it: at most 32 UTF-16 units, never
// ending in half a surrogate pair.
std::u16string VolumeLabelOf(const QString& rootText);

}  // namespace tessor::shell
