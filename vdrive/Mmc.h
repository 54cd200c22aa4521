// The MMC numbers the recorder answers to: operation codes and profiles.
//
// The recorder keeps its own names rather than the engine's
// (engine/drive/MMC.h) on purpose: it stands in for real drives when the
// engine is tested, so a number the engine gets wrong has to meet the
// standard's number here, not the same mistake.
#pragma once

#include <cstdint>

namespace tessor::vdrive {

// Operation codes (MMC-5, SPC-3 for the primary commands).
namespace op {
inline constexpr uint8_t kTestUnitReady = 0x00;
inline constexpr uint8_t kRezeroUnit = 0x01;
inline constexpr uint8_t kRequestSense = 0x03;
inline constexpr uint8_t kFormatUnit = 0x04;
inline constexpr uint8_t kInquiry = 0x12;
inline constexpr uint8_t kModeSense6 = 0x1A;
inline constexpr uint8_t kStartStopUnit = 0x1B;
inline constexpr uint8_t kPreventAllowMediumRemoval = 0x1E;
inline constexpr uint8_t kReadFormatCapacities = 0x23;
inline constexpr uint8_t kReadCapacity = 0x25;
inline constexpr uint8_t kRead10 = 0x28;
inline constexpr uint8_t kWrite10 = 0x2A;
inline constexpr uint8_t kSynchronizeCache = 0x35;
inline constexpr uint8_t kReadTocPmaAtip = 0x43;
inline constexpr uint8_t kGetConfiguration = 0x46;
inline constexpr uint8_t kGetEventStatusNotification = 0x4A;
inline constexpr uint8_t kReadDiscInformation = 0x51;
inline constexpr uint8_t kReadTrackInformation = 0x52;
inline constexpr uint8_t kReserveTrack = 0x53;
inline constexpr uint8_t kSendOpcInformation = 0x54;
inline constexpr uint8_t kModeSelect10 = 0x55;
inline constexpr uint8_t kModeSense10 = 0x5A;
inline constexpr uint8_t kCloseTrackSession = 0x5B;
inline constexpr uint8_t kReadBufferCapacity = 0x5C;
inline constexpr uint8_t kBlank = 0xA1;
inline constexpr uint8_t kGetPerformance = 0xAC;
inline constexpr uint8_t kReadDiscStructure = 0xAD;
inline constexpr uint8_t kSetStreaming = 0xB6;
inline constexpr uint8_t kSetCdSpeed = 0xBB;
inline constexpr uint8_t kSendDvdStructure = 0xBF;
}  // namespace op

// Profiles: the current profile of GET CONFIGURATION and the entries of
// feature 0000h, the profile list.
namespace profile {
inline constexpr uint16_t kCdRom = 0x0008;
inline constexpr uint16_t kCdR = 0x0009;
inline constexpr uint16_t kCdRw = 0x000A;
inline constexpr uint16_t kDvdRom = 0x0010;
inline constexpr uint16_t kDvdR = 0x0011;
inline constexpr uint16_t kDvdRam = 0x0012;
inline constexpr uint16_t kDvdRwRestricted = 0x0013;
inline constexpr uint16_t kDvdRwSequential = 0x0014;
inline constexpr uint16_t kDvdRDualLayer = 0x0015;
inline constexpr uint16_t kDvdPlusRw = 0x001A;
inline constexpr uint16_t kDvdPlusR = 0x001B;
inline constexpr uint16_t kDvdPlusRDualLayer = 0x002B;
inline constexpr uint16_t kBdRom = 0x0040;
inline constexpr uint16_t kBdRSequential = 0x0041;
inline constexpr uint16_t kBdRRandom = 0x0042;
inline constexpr uint16_t kBdRe = 0x0043;
}  // namespace profile

}  // namespace tessor::vdrive
