// Source trees that exercise the awkward corners of an image: names outside
// ASCII and outside the BMP, names of 107 to 217 characters (and two that
// only differ after the 110th), names sharing their first 8 characters,
// empty files, sizes around sector and block boundaries, empty and deep
// folders, hidden files and a folder whose directory spans several sectors.
#pragma once

#include <cstdint>
#include <string>

namespace tessor::testsupport {

// Fills `root` (which must exist) with the tricky tree. False on any error.
bool MakeTrickyTree(const std::string& root);

// A tree holding one sparse file of `bigSize` bytes ("big.bin"), placed after
// a small file so that its data does not start at the first data sector.
inline constexpr uint64_t kBigFileSize = 0x100000000ull + 1048576 + 1234;
bool MakeBigFileTree(const std::string& root, uint64_t bigSize = kBigFileSize);

// A name of exactly `units` UTF-16 units (ASCII), built from `stem` and
// ending in `ext` (which counts toward the length).
std::string NameOfLength(size_t units, const std::string& stem, const std::string& ext);

}  // namespace tessor::testsupport
