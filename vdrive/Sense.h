// Sense values the virtual recorder answers with. Every refusal names one of
// these, so a reader sees the condition rather than three magic numbers.
#pragma once

#include <cstdint>

namespace tessor::vdrive {

struct TSense {
    uint8_t key = 0;
    uint8_t asc = 0;
    uint8_t ascq = 0;

    constexpr bool IsGood() const { return key == 0 && asc == 0 && ascq == 0; }
    friend constexpr bool operator==(const TSense&, const TSense&) = default;
};

// SCSI status bytes.
inline constexpr uint8_t kStatusGood = 0x00;
inline constexpr uint8_t kStatusCheckCondition = 0x02;
inline constexpr uint8_t kStatusBusy = 0x08;

namespace sense {
inline constexpr TSense kNoSense{0x00, 0x00, 0x00};
inline constexpr TSense kNoMedium{0x02, 0x3A, 0x00};
inline constexpr TSense kNoMediumTrayOpen{0x02, 0x3A, 0x02};
inline constexpr TSense kBecomingReady{0x02, 0x04, 0x01};
inline constexpr TSense kFormatInProgress{0x02, 0x04, 0x04};
inline constexpr TSense kOperationInProgress{0x02, 0x04, 0x07};
inline constexpr TSense kLongWriteInProgress{0x02, 0x04, 0x08};
inline constexpr TSense kWriteError{0x03, 0x0C, 0x00};
inline constexpr TSense kInvalidOpcode{0x05, 0x20, 0x00};
inline constexpr TSense kLbaOutOfRange{0x05, 0x21, 0x00};
inline constexpr TSense kInvalidWriteAddress{0x05, 0x21, 0x02};
inline constexpr TSense kInvalidFieldInCdb{0x05, 0x24, 0x00};
inline constexpr TSense kLunNotSupported{0x05, 0x25, 0x00};
inline constexpr TSense kInvalidFieldInParameters{0x05, 0x26, 0x00};
inline constexpr TSense kParameterListLength{0x05, 0x1A, 0x00};
inline constexpr TSense kCommandSequenceError{0x05, 0x2C, 0x00};
inline constexpr TSense kIncompatibleMediumRead{0x05, 0x30, 0x02};
inline constexpr TSense kCannotWriteIncompatible{0x05, 0x30, 0x05};
inline constexpr TSense kCannotFormat{0x05, 0x30, 0x06};
inline constexpr TSense kSavingNotSupported{0x05, 0x39, 0x00};
inline constexpr TSense kRemovalPreventedWithMedium{0x05, 0x53, 0x02};
inline constexpr TSense kRemovalPreventedNoMedium{0x02, 0x53, 0x02};
inline constexpr TSense kIncompleteTrackInSession{0x05, 0x72, 0x03};
inline constexpr TSense kEmptyReservedTrack{0x05, 0x72, 0x04};
inline constexpr TSense kNoMoreReservations{0x05, 0x72, 0x05};
inline constexpr TSense kMediumChanged{0x06, 0x28, 0x00};
inline constexpr TSense kPowerOnReset{0x06, 0x29, 0x00};
}  // namespace sense

}  // namespace tessor::vdrive
