#include "vdrive/Faults.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "vdrive/Clock.h"

namespace tessor::vdrive {

const char* const kFaultRulesHelp =
    "  [after-lba LBA | on OPCODE] RULE   the rule starts with the first WRITE reaching\n"
    "                                  block LBA, or the first command OPCODE (hex);\n"
    "                                  without either it starts at once. RULE is one of:\n"
    "  busy MS|xN                      target status BUSY (08h, no sense) for MS ms or\n"
    "                                  N answers\n"
    "  not-ready MS|xN [ASCQ]          02/04/ASCQ (hex, default 00) for MS ms or N answers\n"
    "  unit-attention [ASCQ]           06/28/ASCQ (default 00) once, to the next command\n"
    "                                  that needs the medium\n"
    "  write-error LBA SK/ASC/ASCQ [COUNT]\n"
    "                                  the next COUNT (default 1, 0 = every) WRITE (10)\n"
    "                                  covering block LBA fails with that sense\n"
    "  read-error LBA SK/ASC/ASCQ [COUNT]\n"
    "                                  the same for READ (10)\n"
    "  corrupt LBA [COUNT]             READ (10) returns other bytes for the COUNT\n"
    "                                  (default 1) blocks from LBA, with good status,\n"
    "                                  until cleared (a silent bad sector)\n"
    "  refuse OPCODE SK/ASC/ASCQ [COUNT]\n"
    "                                  refuse operation code OPCODE (hex) with that sense;\n"
    "                                  COUNT default 0 = every time\n"
    "  removed [MS]                    the disc is reported gone (02/3A/00), for MS ms\n"
    "                                  or until cleared\n"
    "  clear                           remove every fault\n"
    "  MS are drive milliseconds (multiplied by TESSOR_TIME_SCALE); sense values and\n"
    "  opcodes are hexadecimal, e.g. 03/0C/00 or 46; LBA, N and COUNT are decimal.\n";

namespace {

bool ParseUnsigned(const std::string& s, int base, uint64_t max, uint64_t& out) {
    if (s.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    unsigned long long v = std::strtoull(s.c_str(), &end, base);
    if (errno != 0 || *end != '\0' || s[0] == '-' || v > max)
        return false;
    out = v;
    return true;
}

bool ParseHexByte(std::string s, uint8_t& out) {
    if (s.size() > 2 && (s.compare(0, 2, "0x") == 0 || s.compare(0, 2, "0X") == 0))
        s.erase(0, 2);
    if (!s.empty() && (s.back() == 'h' || s.back() == 'H'))
        s.pop_back();
    uint64_t v = 0;
    if (!ParseUnsigned(s, 16, 0xFF, v))
        return false;
    out = static_cast<uint8_t>(v);
    return true;
}

bool ParseSense(const std::string& s, TSense& sense) {
    auto a = s.find('/');
    auto b = a == std::string::npos ? a : s.find('/', a + 1);
    if (b == std::string::npos)
        return false;
    return ParseHexByte(s.substr(0, a), sense.key) && sense.key <= 0x0F &&
           ParseHexByte(s.substr(a + 1, b - a - 1), sense.asc) &&
           ParseHexByte(s.substr(b + 1), sense.ascq);
}

}  // namespace

bool ParseFaultRule(const std::string& rule, int64_t nowUs, double timeScale, TFault& fault,
                    bool& clearAll, std::string& error) {
    std::istringstream in(rule);
    std::vector<std::string> w;
    for (std::string word; in >> word;)
        w.push_back(word);
    clearAll = false;
    fault = TFault{};
    auto fail = [&](const std::string& what) {
        error = what;
        return false;
    };
    if (w.size() >= 2 && (w[0] == "after-lba" || w[0] == "on")) {
        uint64_t at = 0;
        if (w[0] == "after-lba") {
            if (!ParseUnsigned(w[1], 10, 0xFFFFFFFFu, at))
                return fail("after-lba: bad LBA \"" + w[1] + "\"");
            fault.trigger = TFaultTrigger::AfterLba;
        } else {
            uint8_t op = 0;
            if (!ParseHexByte(w[1], op))
                return fail("on: bad opcode \"" + w[1] + "\"");
            at = op;
            fault.trigger = TFaultTrigger::OnOpcode;
        }
        fault.at = static_cast<uint32_t>(at);
        fault.armed = false;
        w.erase(w.begin(), w.begin() + 2);
    }
    if (w.empty())
        return fail("empty fault rule");
    // MS (a time once armed) or xN (a number of answers).
    auto span = [&](const std::string& text) {
        uint64_t n = 0;
        if (text.size() > 1 && text[0] == 'x')
            return ParseUnsigned(text.substr(1), 10, 0xFFFFFFFFu, n) && n > 0 &&
                   (fault.remaining = static_cast<uint32_t>(n), true);
        if (!ParseUnsigned(text, 10, 0xFFFFFFFFu, n))
            return false;
        fault.durationUs = ScaledUs(static_cast<uint32_t>(n), timeScale) + 1;
        return true;
    };
    const std::string& kind = w[0];
    bool ok = false;
    if (kind == "clear" && w.size() == 1 && fault.trigger == TFaultTrigger::Now) {
        clearAll = true;
        return true;
    } else if (kind == "busy" && w.size() == 2) {
        fault.kind = TFaultKind::Busy;
        if (!span(w[1]))
            return fail("busy: bad duration \"" + w[1] + "\"");
        ok = true;
    } else if (kind == "not-ready" && (w.size() == 2 || w.size() == 3)) {
        fault.kind = TFaultKind::NotReady;
        fault.sense = {0x02, 0x04, 0x00};
        if (!span(w[1]))
            return fail("not-ready: bad duration \"" + w[1] + "\"");
        if (w.size() == 3 && !ParseHexByte(w[2], fault.sense.ascq))
            return fail("not-ready: bad ASCQ \"" + w[2] + "\"");
        ok = true;
    } else if (kind == "unit-attention" && w.size() <= 2) {
        fault.kind = TFaultKind::UnitAttention;
        fault.sense = {0x06, 0x28, 0x00};
        fault.remaining = 1;
        if (w.size() == 2 && !ParseHexByte(w[1], fault.sense.ascq))
            return fail("unit-attention: bad ASCQ \"" + w[1] + "\"");
        ok = true;
    } else if ((kind == "write-error" || kind == "read-error") &&
               (w.size() == 3 || w.size() == 4)) {
        fault.kind = kind == "write-error" ? TFaultKind::WriteError : TFaultKind::ReadError;
        uint64_t lba = 0, count = 1;
        if (!ParseUnsigned(w[1], 10, 0xFFFFFFFFu, lba))
            return fail(kind + ": bad LBA");
        if (!ParseSense(w[2], fault.sense))
            return fail(kind + ": bad sense (SK/ASC/ASCQ)");
        if (w.size() == 4 && !ParseUnsigned(w[3], 10, 0xFFFFFFFFu, count))
            return fail(kind + ": bad count");
        fault.lba = static_cast<uint32_t>(lba);
        fault.remaining = static_cast<uint32_t>(count);
        ok = true;
    } else if (kind == "corrupt" && (w.size() == 2 || w.size() == 3)) {
        fault.kind = TFaultKind::Corrupt;
        uint64_t lba = 0, count = 1;
        if (!ParseUnsigned(w[1], 10, 0xFFFFFFFFu, lba))
            return fail("corrupt: bad LBA");
        if (w.size() == 3 && (!ParseUnsigned(w[2], 10, 0xFFFFFFFFu, count) || count == 0))
            return fail("corrupt: bad count");
        fault.lba = static_cast<uint32_t>(lba);
        fault.blocks = static_cast<uint32_t>(count);
        ok = true;
    } else if (kind == "refuse" && (w.size() == 3 || w.size() == 4)) {
        fault.kind = TFaultKind::Refuse;
        uint64_t count = 0;
        if (!ParseHexByte(w[1], fault.opcode))
            return fail("refuse: bad opcode");
        if (!ParseSense(w[2], fault.sense))
            return fail("refuse: bad sense (SK/ASC/ASCQ)");
        if (w.size() == 4 && !ParseUnsigned(w[3], 10, 0xFFFFFFFFu, count))
            return fail("refuse: bad count");
        fault.remaining = static_cast<uint32_t>(count);
        ok = true;
    } else if (kind == "removed" && w.size() <= 2) {
        fault.kind = TFaultKind::Removed;
        if (w.size() == 2 && !span(w[1]))
            return fail("removed: bad duration");
        fault.remaining = 0;  // a removal lasts a time, not a number of answers
        ok = true;
    }
    if (!ok)
        return fail("unknown fault rule \"" + rule + "\"");
    if (fault.armed && fault.durationUs > 0)
        fault.untilUs = nowUs + fault.durationUs;
    return true;
}

const TFault* ReadErrorFor(std::vector<TFault>& faults, uint32_t lba, uint32_t blocks) {
    const uint64_t end = uint64_t(lba) + blocks;
    for (auto it = faults.begin(); it != faults.end(); ++it) {
        if (it->armed && it->kind == TFaultKind::ReadError && it->lba >= lba && it->lba < end)
            return &*it;
    }
    return nullptr;
}

void ChangeCorruptBlocks(const std::vector<TFault>& faults, uint32_t lba, uint32_t blocks,
                         uint8_t* data, uint32_t blockSize) {
    const uint64_t end = uint64_t(lba) + blocks;
    for (const TFault& f : faults) {
        if (!f.armed || f.kind != TFaultKind::Corrupt)
            continue;
        uint64_t from = std::max<uint64_t>(f.lba, lba);
        uint64_t to = std::min<uint64_t>(uint64_t(f.lba) + f.blocks, end);
        // A few bytes in the middle of each block flipped: what a bad sector
        // that passed the drive's error correction looks like.
        for (uint64_t b = from; b < to; ++b) {
            uint8_t* block = data + (b - lba) * blockSize;
            for (uint32_t i = blockSize / 2; i < blockSize / 2 + 16; ++i)
                block[i] ^= 0xA5;
        }
    }
}

bool ArmFaults(std::vector<TFault>& faults, const uint8_t* cdb, int64_t nowUs) {
    bool any = false;
    const uint8_t op = cdb[0];
    for (TFault& f : faults) {
        if (f.armed)
            continue;
        bool fire = false;
        if (f.trigger == TFaultTrigger::OnOpcode) {
            fire = op == f.at;
        } else if (f.trigger == TFaultTrigger::AfterLba && (op == 0x2A || op == 0xAA)) {
            uint64_t lba =
                uint64_t(cdb[2]) << 24 | uint64_t(cdb[3]) << 16 | uint64_t(cdb[4]) << 8 | cdb[5];
            uint64_t blocks = op == 0x2A ? (uint64_t(cdb[7]) << 8 | cdb[8])
                                         : (uint64_t(cdb[6]) << 24 | uint64_t(cdb[7]) << 16 |
                                            uint64_t(cdb[8]) << 8 | cdb[9]);
            fire = lba + blocks > f.at;
        }
        if (fire) {
            f.armed = true;
            if (f.durationUs > 0)
                f.untilUs = nowUs + f.durationUs;
            any = true;
        }
    }
    return any;
}

std::string FormatFault(const TFault& f) {
    char line[200];
    std::snprintf(line, sizeof line, "%u %" PRId64 " %u %u %u %u %u %u %u %u %u %" PRId64 " %u",
                  static_cast<unsigned>(f.kind), f.untilUs, f.remaining, f.lba,
                  static_cast<unsigned>(f.opcode), static_cast<unsigned>(f.sense.key),
                  static_cast<unsigned>(f.sense.asc), static_cast<unsigned>(f.sense.ascq),
                  static_cast<unsigned>(f.trigger), f.at, f.armed ? 1u : 0u, f.durationUs,
                  f.blocks);
    return line;
}

// Lines of eight fields come from before the triggers existed: armed rules;
// lines of twelve from before the corrupt rule's block count.
bool ParseFaultLine(const std::string& line, TFault& f) {
    unsigned kind = 0, opcode = 0, key = 0, asc = 0, ascq = 0, trigger = 0, at = 0, armed = 1;
    long long until = 0, duration = 0;
    unsigned remaining = 0, lba = 0, blocks = 0;
    int n = std::sscanf(line.c_str(), "%u %lld %u %u %u %u %u %u %u %u %u %lld %u", &kind, &until,
                        &remaining, &lba, &opcode, &key, &asc, &ascq, &trigger, &at, &armed,
                        &duration, &blocks);
    if ((n != 8 && n != 12 && n != 13) || kind > static_cast<unsigned>(TFaultKind::Corrupt) ||
        trigger > static_cast<unsigned>(TFaultTrigger::OnOpcode)) {
        return false;
    }
    f.kind = static_cast<TFaultKind>(kind);
    f.untilUs = until;
    f.remaining = remaining;
    f.lba = lba;
    f.opcode = static_cast<uint8_t>(opcode);
    f.sense = {static_cast<uint8_t>(key), static_cast<uint8_t>(asc), static_cast<uint8_t>(ascq)};
    f.trigger = static_cast<TFaultTrigger>(trigger);
    f.at = at;
    f.armed = armed != 0;
    f.durationUs = duration;
    f.blocks = blocks;
    return true;
}

}  // namespace tessor::vdrive
