#include "vdrive/DriveConfig.h"

#include <charconv>
#include <sstream>

namespace tessor::vdrive {
namespace {

struct TKindDefaults {
    TDriveKind kind;
    const char* name;
    const char* product;
    uint16_t maxRead;
    uint16_t maxWrite;
    uint32_t bufferKiB;
};

// Speeds in kB/s: CD 1x = 176.4, DVD 1x = 1385, BD 1x = 4495.
constexpr TKindDefaults kKinds[] = {
    {TDriveKind::BdWriter, "bd-writer", "VIRTUAL BD-RE", 17980, 8990, 4096},
    {TDriveKind::DvdWriter, "dvd-writer", "VIRTUAL DVD-RW", 22160, 11080, 2048},
    {TDriveKind::CdWriterOld, "cd-writer-old", "VIRTUAL CD-RW", 7056, 5645, 2048},
    {TDriveKind::DvdRom, "dvd-rom", "VIRTUAL DVD-ROM", 22160, 0, 512},
};

const TKindDefaults& KindDefaults(TDriveKind kind) {
    return kKinds[static_cast<size_t>(kind)];
}

bool ParseBool(const std::string& v, bool& out) {
    if (v == "1" || v == "yes" || v == "true" || v == "on") {
        out = true;
        return true;
    }
    if (v == "0" || v == "no" || v == "false" || v == "off") {
        out = false;
        return true;
    }
    return false;
}

template <typename T>
bool ParseNumber(const std::string& v, T& out) {
    unsigned long long value = 0;
    auto [p, ec] = std::from_chars(v.data(), v.data() + v.size(), value);
    if (ec != std::errc() || p != v.data() + v.size())
        return false;
    if (value > static_cast<unsigned long long>(static_cast<T>(~T(0))))
        return false;
    out = static_cast<T>(value);
    return true;
}

// Splits a line into words; double quotes keep blanks inside a value.
std::vector<std::string> SplitWords(const std::string& line) {
    std::vector<std::string> words;
    std::string cur;
    bool quoted = false, any = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (any)
                words.push_back(cur);
            cur.clear();
            any = false;
        } else {
            cur += c;
            any = true;
        }
    }
    if (any)
        words.push_back(cur);
    return words;
}

bool ApplyOption(TDriveConfig& d, const std::string& key, const std::string& v) {
    if (key == "vendor")
        return d.vendor = v, v.size() <= 8;
    if (key == "product")
        return d.product = v, v.size() <= 16;
    if (key == "revision")
        return d.revision = v, v.size() <= 4;
    if (key == "letter") {
        if (v.size() != 1 || v[0] < 'A' || v[0] > 'Z')
            return false;
        d.letter = v[0];
        return true;
    }
    if (key == "max_read")
        return ParseNumber(v, d.maxReadSpeed);
    if (key == "max_write")
        return ParseNumber(v, d.maxWriteSpeed);
    if (key == "record_kbps")
        return ParseNumber(v, d.recordKBps);
    if (key == "buffer_kib")
        return ParseNumber(v, d.bufferKiB) && d.bufferKiB <= 1024 * 1024;
    if (key == "block_descriptor")
        return ParseBool(v, d.blockDescriptor);
    if (key == "pioneer")
        return ParseBool(v, d.pioneer);
    if (key == "strict_track_ff")
        return ParseBool(v, d.strictTrackFF);
    if (key == "nwa_minus_150")
        return ParseBool(v, d.nwaMinus150);
    if (key == "unit_attention")
        return ParseBool(v, d.unitAttention);
    if (key == "strict_mode_select_length")
        return ParseBool(v, d.strictModeSelectLength);
    if (key == "load_ms")
        return ParseNumber(v, d.loadMs);
    if (key == "format_ms")
        return ParseNumber(v, d.formatMs);
    if (key == "bg_format_ms")
        return ParseNumber(v, d.bgFormatMs);
    if (key == "blank_ms")
        return ParseNumber(v, d.blankMs);
    if (key == "blank_full_ms")
        return ParseNumber(v, d.blankFullMs);
    if (key == "close_ms")
        return ParseNumber(v, d.closeMs);
    if (key == "sync_ms")
        return ParseNumber(v, d.syncMs);
    return false;
}

}  // namespace

bool TDriveConfig::Accepts(TMediaKind media) const {
    TMediaFamily f = MediaInfo(media).family;
    switch (kind) {
        case TDriveKind::BdWriter:
            return true;
        case TDriveKind::DvdWriter:
        case TDriveKind::DvdRom:
            return f != TMediaFamily::Bd;
        case TDriveKind::CdWriterOld:
            return f == TMediaFamily::Cd;
    }
    return false;
}

bool TDriveConfig::Writes(TMediaKind media) const {
    return CanWrite() && Accepts(media) && !MediaInfo(media).readOnly;
}

const char* DriveKindName(TDriveKind kind) {
    return KindDefaults(kind).name;
}

TDriveConfig WithKindDefaults(TDriveConfig config) {
    const TKindDefaults& k = KindDefaults(config.kind);
    if (config.product.empty())
        config.product = k.product;
    if (config.maxReadSpeed == 0)
        config.maxReadSpeed = k.maxRead;
    if (!config.CanWrite())
        config.maxWriteSpeed = 0;
    else if (config.maxWriteSpeed == 0)
        config.maxWriteSpeed = k.maxWrite;
    if (config.bufferKiB == 0)
        config.bufferKiB = k.bufferKiB;
    return config;
}

std::vector<TDriveConfig> DefaultDriveSet() {
    std::vector<TDriveConfig> set;
    const TDriveKind kinds[] = {TDriveKind::BdWriter, TDriveKind::DvdWriter,
                                TDriveKind::CdWriterOld, TDriveKind::DvdRom};
    char letter = 'V';
    for (TDriveKind k : kinds) {
        TDriveConfig d;
        d.kind = k;
        d.letter = letter++;
        set.push_back(WithKindDefaults(d));
    }
    return set;
}

bool ParseDriveSet(const std::string& text, std::vector<TDriveConfig>& drives, std::string& error) {
    std::vector<TDriveConfig> out;
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (auto hash = line.find('#'); hash != std::string::npos)
            line.erase(hash);
        auto words = SplitWords(line);
        if (words.empty())
            continue;
        auto fail = [&](const std::string& what) {
            error = "line " + std::to_string(number) + ": " + what;
            return false;
        };
        if (words[0] != "drive" || words.size() < 2)
            return fail("expected \"drive KIND ...\"");
        TDriveConfig d;
        bool known = false;
        for (const auto& k : kKinds) {
            if (words[1] == k.name) {
                d.kind = k.kind;
                known = true;
            }
        }
        if (!known) {
            return fail("unknown drive kind \"" + words[1] +
                        "\" (bd-writer, dvd-writer, cd-writer-old, dvd-rom)");
        }
        for (size_t i = 2; i < words.size(); ++i) {
            auto eq = words[i].find('=');
            if (eq == std::string::npos)
                return fail("expected key=value, got \"" + words[i] + "\"");
            if (!ApplyOption(d, words[i].substr(0, eq), words[i].substr(eq + 1))) {
                return fail("bad option \"" + words[i] + "\"");
            }
        }
        out.push_back(WithKindDefaults(d));
    }
    if (out.empty()) {
        error = "no drive defined";
        return false;
    }
    if (out.size() > 8) {
        error = "at most 8 drives (targets 0 to 7)";
        return false;
    }
    drives = std::move(out);
    return true;
}

std::string FormatDriveSet(const std::vector<TDriveConfig>& drives) {
    std::ostringstream out;
    out << "# Virtual recorders, one line per drive (drive numbers from 0).\n"
           "# drive KIND [key=value ...]; KIND: bd-writer, dvd-writer, cd-writer-old, dvd-rom.\n"
           "# Keys: vendor product revision letter max_read max_write buffer_kib\n"
           "#       block_descriptor pioneer strict_track_ff nwa_minus_150 unit_attention\n"
           "#       strict_mode_select_length load_ms format_ms bg_format_ms blank_ms\n"
           "#       blank_full_ms close_ms sync_ms record_kbps\n";
    for (const auto& d : drives) {
        out << "drive " << DriveKindName(d.kind) << " vendor=\"" << d.vendor << "\" product=\""
            << d.product << "\" revision=\"" << d.revision << "\"";
        if (d.letter)
            out << " letter=" << d.letter;
        out << " max_read=" << d.maxReadSpeed << " max_write=" << d.maxWriteSpeed
            << " buffer_kib=" << d.bufferKiB << " format_ms=" << d.formatMs
            << " bg_format_ms=" << d.bgFormatMs << " blank_ms=" << d.blankMs
            << " blank_full_ms=" << d.blankFullMs << " close_ms=" << d.closeMs
            << " sync_ms=" << d.syncMs;
        if (d.recordKBps)
            out << " record_kbps=" << d.recordKBps;
        if (d.blockDescriptor)
            out << " block_descriptor=1";
        if (d.pioneer)
            out << " pioneer=1";
        if (d.strictTrackFF)
            out << " strict_track_ff=1";
        if (d.nwaMinus150)
            out << " nwa_minus_150=1";
        if (d.unitAttention)
            out << " unit_attention=1";
        if (d.strictModeSelectLength)
            out << " strict_mode_select_length=1";
        if (d.loadMs)
            out << " load_ms=" << d.loadMs;
        out << "\n";
    }
    return out.str();
}

}  // namespace tessor::vdrive
