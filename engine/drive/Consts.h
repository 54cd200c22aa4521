// Media type codes: what kind of disc the drive holds, derived from the
// drive's current profile (MMC GET CONFIGURATION). Everything that depends on
// the medium (write parameters, free space, writing, erasing) branches on
// these values.
#pragma once

#include <cstdint>

#include "engine/drive/MMC.h"

namespace tessor::drive {

constexpr uint8_t MT_NONE = 0;
constexpr uint8_t MT_CD_ROM = 1;
constexpr uint8_t MT_CD_R = 2;
constexpr uint8_t MT_CD_RW = 3;
constexpr uint8_t MT_DVD_ROM = 4;
constexpr uint8_t MT_DVD_R = 5;
constexpr uint8_t MT_DVD_RAM = 6;
// Code 7 is never produced by the profile table; it is kept free because the
// erasable test and the write parameters still treat it as a DVD-RW kind.
constexpr uint8_t MT_RESERVED_7 = 7;
constexpr uint8_t MT_DVD_RW_RO = 8;
constexpr uint8_t MT_DVD_RW_SEQ = 9;
constexpr uint8_t MT_DVD_PLUS_RW = 10;
constexpr uint8_t MT_DVD_PLUS_R = 11;
constexpr uint8_t MT_DVD_PLUS_R_DL = 12;
constexpr uint8_t MT_BD_ROM = 13;
constexpr uint8_t MT_BD_R_SRM = 14;
constexpr uint8_t MT_BD_R_RRM = 15;
constexpr uint8_t MT_BD_RE = 16;
constexpr uint8_t MT_HD_DVD_ROM = 17;
constexpr uint8_t MT_HD_DVD_R = 18;
constexpr uint8_t MT_HD_DVD_RAM = 19;
constexpr uint8_t MT_DDCD_ROM = 20;
constexpr uint8_t MT_DDCD_R = 21;
constexpr uint8_t MT_DDCD_RW = 22;

// The media code of a current profile; MT_NONE for profile 0 and for every
// profile the engine does not know (DVD-R DL, DVD+RW DL, ...).
constexpr uint8_t MediaTypeOfProfile(uint16_t profile) {
    switch (profile) {
        case PROFILE_CD_ROM:
            return MT_CD_ROM;
        case PROFILE_CD_R:
            return MT_CD_R;
        case PROFILE_CD_RW:
            return MT_CD_RW;
        case PROFILE_DVD_ROM:
            return MT_DVD_ROM;
        case PROFILE_DVD_R:
            return MT_DVD_R;
        case PROFILE_DVD_RAM:
            return MT_DVD_RAM;
        case PROFILE_DVD_RW_RO:
            return MT_DVD_RW_RO;
        case PROFILE_DVD_RW_SEQ:
            return MT_DVD_RW_SEQ;
        case PROFILE_DVD_PLUS_RW:
            return MT_DVD_PLUS_RW;
        case PROFILE_DVD_PLUS_R:
            return MT_DVD_PLUS_R;
        case PROFILE_DVD_PLUS_R_DL:
            return MT_DVD_PLUS_R_DL;
        case PROFILE_BD_ROM:
            return MT_BD_ROM;
        case PROFILE_BD_R_SRM:
            return MT_BD_R_SRM;
        case PROFILE_BD_R_RRM:
            return MT_BD_R_RRM;
        case PROFILE_BD_RE:
            return MT_BD_RE;
        case PROFILE_HD_DVD_ROM:
            return MT_HD_DVD_ROM;
        case PROFILE_HD_DVD_R:
            return MT_HD_DVD_R;
        case PROFILE_HD_DVD_RAM:
            return MT_HD_DVD_RAM;
        case PROFILE_DDCD_ROM:
            return MT_DDCD_ROM;
        case PROFILE_DDCD_R:
            return MT_DDCD_R;
        case PROFILE_DDCD_RW:
            return MT_DDCD_RW;
        default:
            return MT_NONE;
    }
}

}  // namespace tessor::drive
