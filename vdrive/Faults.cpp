#include "vdrive/Faults.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "vdrive/Clock.h"

namespace tessor::vdrive {

const char* const kFaultSpecHelp =
    "  busy MS                         target status BUSY (08h, no sense) for MS ms\n"
    "  not-ready MS [ASCQ]             02/04/ASCQ (hex, default 00) for MS ms\n"
    "  write-error LBA SK/ASC/ASCQ [COUNT]\n"
    "                                  the next COUNT (default 1, 0 = every) WRITE (10)\n"
    "                                  covering block LBA fails with that sense\n"
    "  refuse OPCODE SK/ASC/ASCQ [COUNT]\n"
    "                                  refuse operation code OPCODE (hex) with that sense;\n"
    "                                  COUNT default 0 = every time\n"
    "  removed [MS]                    the disc is reported gone (02/3A/00), for MS ms\n"
    "                                  or until cleared\n"
    "  clear                           remove every fault\n"
    "  MS are drive milliseconds (multiplied by TESSOR_TIME_SCALE); sense values and\n"
    "  opcodes are hexadecimal, e.g. 03/0C/00 or 46; LBA and COUNT are decimal.\n";

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

bool ParseFaultSpec(const std::string& spec, int64_t nowUs, double timeScale, TFault& fault,
                    bool& clearAll, std::string& error) {
    std::istringstream in(spec);
    std::vector<std::string> w;
    for (std::string word; in >> word;)
        w.push_back(word);
    clearAll = false;
    fault = TFault{};
    auto fail = [&](const std::string& what) {
        error = what;
        return false;
    };
    if (w.empty())
        return fail("empty fault specification");
    auto duration = [&](const std::string& text) {
        uint64_t ms = 0;
        if (!ParseUnsigned(text, 10, 0xFFFFFFFFu, ms))
            return false;
        fault.untilUs = nowUs + ScaledUs(static_cast<uint32_t>(ms), timeScale) + 1;
        return true;
    };
    const std::string& kind = w[0];
    if (kind == "clear" && w.size() == 1) {
        clearAll = true;
        return true;
    }
    if (kind == "busy" && w.size() == 2) {
        fault.kind = TFaultKind::Busy;
        if (!duration(w[1]))
            return fail("busy: bad duration \"" + w[1] + "\"");
        return true;
    }
    if (kind == "not-ready" && (w.size() == 2 || w.size() == 3)) {
        fault.kind = TFaultKind::NotReady;
        fault.sense = {0x02, 0x04, 0x00};
        if (!duration(w[1]))
            return fail("not-ready: bad duration \"" + w[1] + "\"");
        if (w.size() == 3 && !ParseHexByte(w[2], fault.sense.ascq)) {
            return fail("not-ready: bad ASCQ \"" + w[2] + "\"");
        }
        return true;
    }
    if (kind == "write-error" && (w.size() == 3 || w.size() == 4)) {
        fault.kind = TFaultKind::WriteError;
        uint64_t lba = 0, count = 1;
        if (!ParseUnsigned(w[1], 10, 0xFFFFFFFFu, lba))
            return fail("write-error: bad LBA");
        if (!ParseSense(w[2], fault.sense))
            return fail("write-error: bad sense (SK/ASC/ASCQ)");
        if (w.size() == 4 && !ParseUnsigned(w[3], 10, 0xFFFFFFFFu, count)) {
            return fail("write-error: bad count");
        }
        fault.lba = static_cast<uint32_t>(lba);
        fault.remaining = static_cast<uint32_t>(count);
        return true;
    }
    if (kind == "refuse" && (w.size() == 3 || w.size() == 4)) {
        fault.kind = TFaultKind::Refuse;
        uint64_t count = 0;
        if (!ParseHexByte(w[1], fault.opcode))
            return fail("refuse: bad opcode");
        if (!ParseSense(w[2], fault.sense))
            return fail("refuse: bad sense (SK/ASC/ASCQ)");
        if (w.size() == 4 && !ParseUnsigned(w[3], 10, 0xFFFFFFFFu, count)) {
            return fail("refuse: bad count");
        }
        fault.remaining = static_cast<uint32_t>(count);
        return true;
    }
    if (kind == "removed" && w.size() <= 2) {
        fault.kind = TFaultKind::Removed;
        if (w.size() == 2 && !duration(w[1]))
            return fail("removed: bad duration");
        return true;
    }
    return fail("unknown fault \"" + spec + "\"");
}

std::string FormatFault(const TFault& f) {
    char line[160];
    std::snprintf(line, sizeof line, "%u %" PRId64 " %u %u %u %u %u %u",
                  static_cast<unsigned>(f.kind), f.untilUs, f.remaining, f.lba,
                  static_cast<unsigned>(f.opcode), static_cast<unsigned>(f.sense.key),
                  static_cast<unsigned>(f.sense.asc), static_cast<unsigned>(f.sense.ascq));
    return line;
}

bool ParseFaultLine(const std::string& line, TFault& f) {
    unsigned kind = 0, opcode = 0, key = 0, asc = 0, ascq = 0;
    long long until = 0;
    unsigned remaining = 0, lba = 0;
    if (std::sscanf(line.c_str(), "%u %lld %u %u %u %u %u %u", &kind, &until, &remaining, &lba,
                    &opcode, &key, &asc, &ascq) != 8 ||
        kind > static_cast<unsigned>(TFaultKind::Removed)) {
        return false;
    }
    f.kind = static_cast<TFaultKind>(kind);
    f.untilUs = until;
    f.remaining = remaining;
    f.lba = lba;
    f.opcode = static_cast<uint8_t>(opcode);
    f.sense = {static_cast<uint8_t>(key), static_cast<uint8_t>(asc), static_cast<uint8_t>(ascq)};
    return true;
}

}  // namespace tessor::vdrive
