#include "vdrive/Media.h"

#include <array>

namespace tessor::vdrive {
namespace {

using F = TMediaFamily;
using K = TMediaKind;

// clang-format off
constexpr std::array<TMediaInfo, 13> kMedia{{
    //  kind          name         profile capacity             family  ro     seq    blank
    {K::CdRom,      "cd-rom",    0x0008, kCdCapacity,         F::Cd,  true,  false, false},
    {K::CdR,        "cd-r",      0x0009, kCdCapacity,         F::Cd,  false, true,  false},
    {K::CdRw,       "cd-rw",     0x000A, kCdCapacity,         F::Cd,  false, true,  true},
    {K::DvdRom,     "dvd-rom",   0x0010, kDvdPlusRDlCapacity, F::Dvd, true,  false, false},
    {K::DvdR,       "dvd-r",     0x0011, kDvdRCapacity,       F::Dvd, false, true,  false},
    {K::DvdRw,      "dvd-rw",    0x0014, kDvdRCapacity,       F::Dvd, false, true,  true},
    {K::DvdRwRo,    "dvd-rw-ro", 0x0013, kDvdRCapacity,       F::Dvd, false, false, true},
    {K::DvdPlusR,   "dvd+r",     0x001B, kDvdPlusRwCapacity,  F::Dvd, false, true,  false},
    {K::DvdPlusRDl, "dvd+r-dl",  0x002B, kDvdPlusRDlCapacity, F::Dvd, false, true,  false},
    {K::DvdPlusRw,  "dvd+rw",    0x001A, kDvdPlusRwCapacity,  F::Dvd, false, false, false},
    {K::DvdRam,     "dvd-ram",   0x0012, kDvdRamCapacity,     F::Dvd, false, false, false},
    {K::BdR,        "bd-r",      0x0041, kBdCapacity,         F::Bd,  false, true,  false},
    {K::BdRe,       "bd-re",     0x0043, kBdCapacity,         F::Bd,  false, false, false},
}};
// clang-format on

}  // namespace

const TMediaInfo& MediaInfo(TMediaKind kind) {
    return kMedia[static_cast<size_t>(kind)];
}

std::optional<TMediaKind> MediaKindFromName(std::string_view name) {
    for (const auto& m : kMedia) {
        if (name == m.name)
            return m.kind;
    }
    return std::nullopt;
}

std::string MediaNames() {
    std::string out;
    for (const auto& m : kMedia) {
        if (!out.empty())
            out += ", ";
        out += m.name;
    }
    return out;
}

}  // namespace tessor::vdrive
