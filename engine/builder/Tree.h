// The compilation tree: gathering files and folders into a compilation.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/builder/TreeTypes.h"

namespace tessor::builder {

// Results distinct from null and from every real entry: the entry was
// skipped (by the add-file handler or the name-length limit) and the
// operation still counts as successful.
TFileEntry* SkipMarker();
TDirEntry* DirSkipMarker();
inline bool IsSkip(const TFileEntry* e) {
    return e == SkipMarker();
}
inline bool IsSkip(const TDirEntry* d) {
    return d == DirSkipMarker();
}

void ClearFiles(TImageBuilder& b);
TFileEntry* AddFile(TImageBuilder& b, std::u16string_view destPath, std::u16string_view fileName);
TDirEntry* CreateDir(TImageBuilder& b, std::u16string_view destPath, std::u16string_view name);
TDirEntry* AddFolder(TImageBuilder& b, std::u16string_view destPath, std::u16string_view sourceDir,
                     std::u16string_view mask, bool recursive, bool keepSourcePath);
TDirEntry* FindDirectory(TImageBuilder& b, std::u16string_view path);
TFileEntry* FindChild(TImageBuilder& b, TDirEntry* dir, std::u16string_view name);
// sourcePath: nullptr = none; an empty string leaves an existing entry's path.
// Find data of a directory (attribute 10h) makes the directory with its
// entry (as CreateDir does) and returns that entry.
TFileEntry* AddEntry(TImageBuilder& b, TDirEntry* dir, platform::TFindData& fd,
                     const std::u16string* sourcePath);

bool SetBootImage(TImageBuilder& b, const char* path);  // null or "" clears it
const char* GetBootImage(const TImageBuilder& b);
void SetVolumeLabel(TImageBuilder& b, const char* label);  // system code page
void SetVolumeLabelW(TImageBuilder& b, std::u16string_view label);
const char* GetVolumeLabel(const TImageBuilder& b);

// The long name an entry was created with (FirstLongName, which is kept
// null while it equals LongName).
const std::u16string& FirstName(const TFileEntry& e);

// 0 for 0, else bytes / 2048 rounded up.
inline uint64_t SectorsForBytes(uint64_t bytes) {
    return (bytes + kSectorSize - 1) / kSectorSize;
}

}  // namespace tessor::builder
