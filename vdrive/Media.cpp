#include "vdrive/Media.h"

#include <array>

#include "vdrive/Mmc.h"

namespace tessor::vdrive {
namespace {

using F = TMediaFamily;
using K = TMediaKind;
namespace P = profile;

// clang-format off
constexpr std::array<TMediaInfo, 13> kMedia{{
    // kind, name, profile, capacity, family, read-only, sequential, blankable
    {K::CdRom,      "cd-rom",    P::kCdRom,             kCdCapacity,         F::Cd,  true,  false, false},
    {K::CdR,        "cd-r",      P::kCdR,               kCdCapacity,         F::Cd,  false, true,  false},
    {K::CdRw,       "cd-rw",     P::kCdRw,              kCdCapacity,         F::Cd,  false, true,  true},
    {K::DvdRom,     "dvd-rom",   P::kDvdRom,            kDvdPlusRDlCapacity, F::Dvd, true,  false, false},
    {K::DvdR,       "dvd-r",     P::kDvdR,              kDvdRCapacity,       F::Dvd, false, true,  false},
    {K::DvdRw,      "dvd-rw",    P::kDvdRwSequential,   kDvdRCapacity,       F::Dvd, false, true,  true},
    {K::DvdRwRo,    "dvd-rw-ro", P::kDvdRwRestricted,   kDvdRCapacity,       F::Dvd, false, false, true},
    {K::DvdPlusR,   "dvd+r",     P::kDvdPlusR,          kDvdPlusRwCapacity,  F::Dvd, false, true,  false},
    {K::DvdPlusRDl, "dvd+r-dl",  P::kDvdPlusRDualLayer, kDvdPlusRDlCapacity, F::Dvd, false, true,  false},
    {K::DvdPlusRw,  "dvd+rw",    P::kDvdPlusRw,         kDvdPlusRwCapacity,  F::Dvd, false, false, false},
    {K::DvdRam,     "dvd-ram",   P::kDvdRam,            kDvdRamCapacity,     F::Dvd, false, false, false},
    {K::BdR,        "bd-r",      P::kBdRSequential,     kBdCapacity,         F::Bd,  false, true,  false},
    {K::BdRe,       "bd-re",     P::kBdRe,              kBdCapacity,         F::Bd,  false, false, false},
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
