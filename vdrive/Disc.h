// The state of one virtual recorder and the disc in it, as persisted in the
// drive's state file, with the recording rules that follow from it: where the
// next writable address is, how sessions and tracks are counted, where a new
// session starts.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "vdrive/Faults.h"
#include "vdrive/Media.h"

namespace tessor::vdrive {

struct TTrack {
    uint32_t start = 0;
    uint32_t size = 0;     // closed or reserved tracks: the track size
    uint32_t written = 0;  // blocks recorded from the start
    uint16_t session = 1;
    bool closed = false;
    bool reserved = false;

    uint32_t WriteEnd() const { return start + written; }
};

enum class TOperation : uint8_t { None, Loading, Format, Blank, Close, Sync };

// BG format status of DVD+RW, as READ DISC INFORMATION byte 7 bits 1-0 show it.
enum class TBgFormat : uint8_t { None = 0, Suspended = 1, Running = 2, Complete = 3 };

// Media class events of GET EVENT STATUS NOTIFICATION, as the drive keeps the
// latest one until a host polls it.
enum class TMediaEvent : uint8_t { None = 0, EjectRequest = 1, NewMedia = 2, MediaRemoval = 3 };

inline constexpr size_t kWriteParametersPageSize = 52;  // page 05h: 2 + 32h
using TWriteParametersPage = std::array<uint8_t, kWriteParametersPageSize>;

// The page 05h a drive starts with: track-at-once, track mode 4, data block
// type 8 (mode 1), audio pause 150 blocks.
constexpr TWriteParametersPage DefaultWriteParametersPage() {
    TWriteParametersPage page{};
    const uint8_t head[16] = {0x05, 0x32, 0x01, 0x04, 0x08, 0x00, 0x00, 0x00,
                              0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x96};
    for (size_t i = 0; i < sizeof head; ++i)
        page[i] = head[i];
    return page;
}

struct TDiscState {
    // Tray and medium.
    bool present = false;
    bool trayOpen = false;
    TMediaKind media = TMediaKind::CdR;
    // Sequential recording.
    std::vector<TTrack> tracks;
    uint16_t closedSessions = 0;
    bool finalized = false;
    uint32_t nextSessionStart = 0;  // first block of the open session once its first track starts
    // Overwritable recording (DVD+RW, DVD-RAM, BD-RE, DVD-RW restricted overwrite).
    bool formatted = false;
    uint32_t formattedBlocks = 0;  // DVD-RW: grows as sequential writes extend the area
    bool intermediate = false;     // DVD-RW quick-formatted, session not yet closed
    TBgFormat bgFormat = TBgFormat::None;
    int64_t bgFormatEndUs = 0;  // while Running: when the background format completes
    // Drive.
    bool locked = false;
    int32_t lockOwner = 0;  // the process that locked the tray; its end unlocks it
    bool unitAttention = false;
    TMediaEvent mediaEvent = TMediaEvent::None;  // not yet reported
    TOperation operation = TOperation::None;
    int64_t operationStartUs = 0;
    int64_t operationEndUs = 0;
    TWriteParametersPage page05 = DefaultWriteParametersPage();
    bool page05Sent = false;  // the host sent page 05h since this disc was inserted
    std::vector<TFault> faults;

    const TMediaInfo& Info() const { return MediaInfo(media); }
    bool Overwritable() const { return !Info().sequential && !Info().readOnly; }
    // The tray lock, as long as the process that set it lives (a real
    // drive's lock goes with the last handle of the program that set it).
    bool TrayLocked() const;

    // Sequential media.
    bool HasOpenSession() const;  // tracks in the session not yet closed
    uint16_t OpenSessionNumber() const { return static_cast<uint16_t>(closedSessions + 1); }
    const TTrack* IncompleteTrack() const;  // the last track when it is not closed
    TTrack* IncompleteTrack();
    uint32_t InvisibleTrackStart() const;  // where the next track would start
    uint32_t InvisibleTrackNumber() const { return static_cast<uint32_t>(tracks.size() + 1); }
    uint32_t RecordedEnd() const;       // first block after the last recorded data
    uint32_t SessionGap() const;        // blocks between a closed session and the next
    uint32_t WritableCapacity() const;  // blocks the medium can hold in its state
    bool IsBlank() const;
    uint16_t SessionCountForDiscInfo() const;

    // The data the WRITE (10) path changes: persisted apart from the text
    // state so that writing never rewrites the state file.
    uint32_t HotLastWritten() const;
    void SetHotLastWritten(uint32_t written);

    // The recording on the medium back to that of an empty disc: no tracks,
    // no sessions, no format (nor a background format). Inserting, blanking
    // and ejecting all start from it.
    void ResetRecording();
    // Fresh medium in the tray (blank, or holding `imageBlocks` as one closed session).
    void Insert(TMediaKind kind, uint32_t imageBlocks, bool withImage);
    void MakeBlank();  // BLANK: back to an empty, sequential disc
    // Tray open and empty: no medium, nothing recorded, the tray unlocked.
    void Eject();

    std::string Serialize() const;
    bool Parse(const std::string& text, std::string& error);
};

inline uint32_t AlignUp(uint32_t value, uint32_t unit) {
    return (value + unit - 1) / unit * unit;
}

}  // namespace tessor::vdrive
