#include "vdrive/Disc.h"

#include <signal.h>

#include <cerrno>

#include <cinttypes>
#include <cstdio>
#include <sstream>

namespace tessor::vdrive {
namespace {

// The user area of a BD-RE formatted with the drive's default spare area.
constexpr uint32_t kBdReDefaultFormat = 12088320;

const char* OperationName(TOperation op) {
    switch (op) {
        case TOperation::None:
            return "none";
        case TOperation::Loading:
            return "loading";
        case TOperation::Format:
            return "format";
        case TOperation::Blank:
            return "blank";
        case TOperation::Close:
            return "close";
        case TOperation::Sync:
            return "sync";
    }
    return "none";
}

bool OperationFromName(const std::string& name, TOperation& op) {
    for (auto o : {TOperation::None, TOperation::Loading, TOperation::Format, TOperation::Blank,
                   TOperation::Close, TOperation::Sync}) {
        if (name == OperationName(o)) {
            op = o;
            return true;
        }
    }
    return false;
}

}  // namespace

bool TDiscState::HasOpenSession() const {
    return !finalized && !tracks.empty() && tracks.back().session == OpenSessionNumber();
}

const TTrack* TDiscState::IncompleteTrack() const {
    if (tracks.empty() || tracks.back().closed)
        return nullptr;
    return &tracks.back();
}

TTrack* TDiscState::IncompleteTrack() {
    if (tracks.empty() || tracks.back().closed)
        return nullptr;
    return &tracks.back();
}

uint32_t TDiscState::InvisibleTrackStart() const {
    if (!HasOpenSession())
        return nextSessionStart;
    const TTrack& last = tracks.back();
    if (last.closed || last.reserved)
        return last.start + last.size;
    return last.WriteEnd();
}

uint32_t TDiscState::RecordedEnd() const {
    if (Overwritable()) {
        if (media == TMediaKind::DvdRwRo)
            return formattedBlocks;
        return formatted ? formattedBlocks : 0;
    }
    uint32_t end = 0;
    for (const auto& t : tracks) {
        uint32_t e = t.closed ? t.start + t.size : t.WriteEnd();
        if (e > end)
            end = e;
    }
    return end;
}

uint32_t TDiscState::SessionGap() const {
    switch (Info().family) {
        // Lead-out 6750 + lead-in 4500 + pregap 150 after the first session,
        // lead-out 2250 + lead-in 4500 + pregap 150 after later ones.
        case TMediaFamily::Cd:
            return closedSessions <= 1 ? 11400 : 6900;
        // Border-out and border-in of a DVD-R are about 37,800 blocks on real
        // discs; the +R lead-out/intro is shorter. Both stay ECC-block aligned.
        case TMediaFamily::Dvd:
            return (media == TMediaKind::DvdR || media == TMediaKind::DvdRw) ? 36864 : 4096;
        case TMediaFamily::Bd:
            return 4096;
    }
    return 0;
}

uint32_t TDiscState::WritableCapacity() const {
    if ((media == TMediaKind::DvdPlusRw || media == TMediaKind::BdRe) && formatted) {
        return formattedBlocks;
    }
    return Info().capacity;
}

bool TDiscState::IsBlank() const {
    if (Overwritable())
        return !formatted && media != TMediaKind::DvdRwRo;
    return tracks.empty() && closedSessions == 0 && !finalized;
}

uint16_t TDiscState::SessionCountForDiscInfo() const {
    return finalized ? closedSessions : static_cast<uint16_t>(closedSessions + 1);
}

uint32_t TDiscState::HotLastWritten() const {
    const TTrack* t = IncompleteTrack();
    return t ? t->written : 0;
}

void TDiscState::SetHotLastWritten(uint32_t written) {
    if (TTrack* t = IncompleteTrack())
        t->written = written;
}

void TDiscState::ResetRecording() {
    tracks.clear();
    closedSessions = 0;
    finalized = false;
    nextSessionStart = 0;
    formatted = false;
    formattedBlocks = 0;
    intermediate = false;
    bgFormat = TBgFormat::None;
    bgFormatEndUs = 0;
}

void TDiscState::Insert(TMediaKind kind, uint32_t imageBlocks, bool withImage) {
    present = true;
    trayOpen = false;
    media = kind;
    page05Sent = false;
    ResetRecording();
    operation = TOperation::None;
    const TMediaInfo& info = Info();
    if (info.readOnly || (info.sequential && withImage && imageBlocks > 0)) {
        if (imageBlocks > 0 || info.readOnly) {
            tracks.push_back(TTrack{0, imageBlocks, imageBlocks, 1, true, false});
        }
        closedSessions = 1;
        finalized = info.readOnly;
        nextSessionStart = 0;
        if (!finalized) {
            nextSessionStart =
                info.family == TMediaFamily::Cd
                    ? imageBlocks + SessionGap()
                    : AlignUp(imageBlocks, info.family == TMediaFamily::Bd ? 32 : 16) +
                          SessionGap();
        }
        return;
    }
    switch (kind) {
        case TMediaKind::DvdRam:
            formatted = true;
            formattedBlocks = info.capacity;
            break;
        case TMediaKind::DvdPlusRw:
            if (withImage) {
                formatted = true;
                formattedBlocks = info.capacity;
                bgFormat = TBgFormat::Complete;
            }
            break;
        case TMediaKind::BdRe:
            if (withImage) {
                formatted = true;
                formattedBlocks = kBdReDefaultFormat;
            }
            break;
        case TMediaKind::DvdRwRo:
            formatted = true;
            formattedBlocks = imageBlocks;
            break;
        default:
            break;
    }
}

void TDiscState::MakeBlank() {
    if (media == TMediaKind::DvdRwRo)
        media = TMediaKind::DvdRw;
    ResetRecording();
}

void TDiscState::Eject() {
    if (present)
        mediaEvent = TMediaEvent::MediaRemoval;
    present = false;
    trayOpen = false;
    ResetRecording();
    operation = TOperation::None;
    locked = false;
    unitAttention = false;
}

bool TDiscState::TrayLocked() const {
    if (!locked)
        return false;
    return lockOwner <= 0 || ::kill(lockOwner, 0) == 0 || errno == EPERM;
}

std::string TDiscState::Serialize() const {
    std::ostringstream out;
    out << "tessor-vdrive-state 1\n";
    out << "present " << present << "\n";
    out << "tray " << (trayOpen ? "open" : "closed") << "\n";
    out << "media " << Info().name << "\n";
    out << "sessions_closed " << closedSessions << "\n";
    out << "finalized " << finalized << "\n";
    out << "next_session_start " << nextSessionStart << "\n";
    out << "formatted " << formatted << " " << formattedBlocks << " " << intermediate << "\n";
    out << "bg_format " << static_cast<unsigned>(bgFormat) << " " << bgFormatEndUs << "\n";
    out << "locked " << locked << " " << lockOwner << "\n";
    out << "unit_attention " << unitAttention << "\n";
    out << "media_event " << static_cast<unsigned>(mediaEvent) << "\n";
    out << "page05_sent " << page05Sent << "\n";
    out << "operation " << OperationName(operation) << " " << operationStartUs << " "
        << operationEndUs << "\n";
    out << "page05 ";
    char hex[3];
    for (uint8_t b : page05) {
        std::snprintf(hex, sizeof hex, "%02X", b);
        out << hex;
    }
    out << "\n";
    for (const auto& t : tracks) {
        out << "track " << t.start << " " << t.size << " " << t.written << " " << t.session << " "
            << t.closed << " " << t.reserved << "\n";
    }
    for (const auto& f : faults)
        out << "fault " << FormatFault(f) << "\n";
    return out.str();
}

bool TDiscState::Parse(const std::string& text, std::string& error) {
    TDiscState s;
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != "tessor-vdrive-state 1") {
        error = "not a virtual recorder state file";
        return false;
    }
    int number = 1;
    while (std::getline(in, line)) {
        ++number;
        std::istringstream l(line);
        std::string key;
        if (!(l >> key))
            continue;
        bool ok = true;
        if (key == "present") {
            ok = static_cast<bool>(l >> s.present);
        } else if (key == "tray") {
            std::string v;
            ok = static_cast<bool>(l >> v) && (v == "open" || v == "closed");
            s.trayOpen = v == "open";
        } else if (key == "media") {
            std::string v;
            auto kind = (l >> v) ? MediaKindFromName(v) : std::nullopt;
            ok = kind.has_value();
            if (ok)
                s.media = *kind;
        } else if (key == "sessions_closed") {
            ok = static_cast<bool>(l >> s.closedSessions);
        } else if (key == "finalized") {
            ok = static_cast<bool>(l >> s.finalized);
        } else if (key == "next_session_start") {
            ok = static_cast<bool>(l >> s.nextSessionStart);
        } else if (key == "formatted") {
            ok = static_cast<bool>(l >> s.formatted >> s.formattedBlocks >> s.intermediate);
        } else if (key == "bg_format") {
            unsigned v = 0;
            ok = static_cast<bool>(l >> v >> s.bgFormatEndUs) && v <= 3;
            s.bgFormat = static_cast<TBgFormat>(v);
        } else if (key == "locked") {
            ok = static_cast<bool>(l >> s.locked);
            if (ok && !(l >> s.lockOwner))
                s.lockOwner = 0;
        } else if (key == "unit_attention") {
            ok = static_cast<bool>(l >> s.unitAttention);
        } else if (key == "page05_sent") {
            ok = static_cast<bool>(l >> s.page05Sent);
        } else if (key == "media_event") {
            unsigned v = 0;
            ok = static_cast<bool>(l >> v) && v <= 3;
            s.mediaEvent = static_cast<TMediaEvent>(v);
        } else if (key == "operation") {
            std::string v;
            ok = static_cast<bool>(l >> v >> s.operationStartUs >> s.operationEndUs) &&
                 OperationFromName(v, s.operation);
        } else if (key == "page05") {
            std::string v;
            ok = static_cast<bool>(l >> v) && v.size() == 2 * kWriteParametersPageSize;
            for (size_t i = 0; ok && i < kWriteParametersPageSize; ++i) {
                unsigned b = 0;
                ok = std::sscanf(v.c_str() + 2 * i, "%2X", &b) == 1;
                s.page05[i] = static_cast<uint8_t>(b);
            }
        } else if (key == "track") {
            TTrack t;
            ok = static_cast<bool>(l >> t.start >> t.size >> t.written >> t.session >> t.closed >>
                                   t.reserved);
            s.tracks.push_back(t);
        } else if (key == "fault") {
            std::string rest;
            std::getline(l, rest);
            TFault f;
            ok = ParseFaultLine(rest, f);
            s.faults.push_back(f);
        }
        if (!ok) {
            error = "bad state line " + std::to_string(number) + ": " + line;
            return false;
        }
    }
    *this = std::move(s);
    return true;
}

}  // namespace tessor::vdrive
