// The media the virtual recorder knows: profile, capacity and the way each
// one is recorded (sequentially, or overwritten inside a formatted area).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessor::vdrive {

enum class TMediaKind : uint8_t {
    CdRom,
    CdR,
    CdRw,
    DvdRom,
    DvdR,
    DvdRw,    // sequential recording, profile 0014h
    DvdRwRo,  // restricted overwrite, profile 0013h
    DvdPlusR,
    DvdPlusRDl,
    DvdPlusRw,
    DvdRam,
    BdR,
    BdRe,
};

enum class TMediaFamily : uint8_t { Cd, Dvd, Bd };

struct TMediaInfo {
    TMediaKind kind;
    const char* name;   // as the tool and the state file spell it
    uint16_t profile;   // current profile of a fresh disc
    uint32_t capacity;  // blocks of 2048 bytes (CD: last possible lead-out)
    TMediaFamily family;
    bool readOnly;    // pressed media
    bool sequential;  // written at the next writable address only
    bool blankable;   // BLANK erases it (CD-RW, DVD-RW)
};

const TMediaInfo& MediaInfo(TMediaKind kind);
std::optional<TMediaKind> MediaKindFromName(std::string_view name);
std::string MediaNames();  // "cd-rom, cd-r, ..." for help texts

inline constexpr uint32_t kCdCapacity = 359849;
inline constexpr uint32_t kDvdPlusRwCapacity = 2295104;
inline constexpr uint32_t kDvdRamCapacity = 2236704;
inline constexpr uint32_t kDvdRCapacity = 2297888;
inline constexpr uint32_t kDvdPlusRDlCapacity = 4173824;
inline constexpr uint32_t kBdCapacity = 12219392;

}  // namespace tessor::vdrive
