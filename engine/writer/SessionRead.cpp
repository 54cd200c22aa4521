#include "engine/writer/SessionRead.h"

#include <algorithm>
#include <vector>

#include "engine/builder/SessionImport.h"
#include "engine/drive/Capacity.h"
#include "engine/drive/Consts.h"
#include "engine/drive/MMC.h"
#include "engine/drive/Queries.h"
#include "engine/platform/ByteOrder.h"

namespace tessor::writer {

using namespace tessor::drive;
using platform::byte_order::GetBE32;

namespace {

constexpr uint8_t kTocFormatSessions = 1;  // MMC READ TOC format 0001b
constexpr uint8_t kLeadOut = 0xAA;
constexpr uint32_t kSectorsPerRead = 32;
// The UDF partition of a new session starts at absolute sector 257: data
// recorded below it cannot be reached from the new UDF tree.
constexpr uint32_t kUdfPartitionStart = 257;

bool Overwritable(uint8_t m) {
    return m == MT_DVD_RAM || m == MT_DVD_PLUS_RW || m == MT_BD_RE || m == MT_DVD_RW_RO;
}

}  // namespace

bool FindLastSession(TSCSIDevice& d, uint32_t& start, uint32_t& discSectors) {
    const uint8_t media = GetMediaType(d);
    if (Overwritable(media)) {
        // One volume from sector 0, grown in place by every session.
        uint8_t sector[2048];
        if (!Read10(d, 16, 1, sector) || builder::IsBlankSector(sector))
            return false;
        start = 0;
        discSectors = std::max(ReadFormatCapacity(d), DiscCapacitySectors(d));
        return discSectors > 0;
    }
    if (!ReadDiscInformation(d, d.DiscInfo, sizeof d.DiscInfo))
        return false;
    if ((d.DiscInfo[2] & DISC_STATUS_MASK) == DISC_STATUS_BLANK)
        return false;
    uint8_t toc[12] = {};
    if (!ReadTocPmaAtip(d, kTocFormatSessions, 0, false, toc, sizeof toc))
        return false;
    start = GetBE32(toc + 8);
    uint8_t leadOut[12] = {};
    if (!ReadTocPmaAtip(d, 0, kLeadOut, false, leadOut, sizeof leadOut))
        return false;
    discSectors = GetBE32(leadOut + 8);
    return discSectors > start;
}

bool ReadLastSession(builder::TImageBuilder& b, TSCSIDevice& d, builder::TRecordedSession& out,
                     bool& found) {
    b.StatusCode = builder::S_IMPORTING_SESSION;
    struct TIdle {
        builder::TImageBuilder& b;
        ~TIdle() { b.StatusCode = builder::S_IDLE; }
    } idle{b};
    out = builder::TRecordedSession();
    uint32_t start = 0, end = 0;
    found = FindLastSession(d, start, end);
    if (!found)
        return true;
    auto read = [&](uint32_t lba, uint32_t count, uint8_t* into) {
        for (uint32_t done = 0; done < count;) {
            const uint32_t n = std::min(kSectorsPerRead, count - done);
            if (!Read10(d, lba + done, static_cast<uint16_t>(n),
                        {into + size_t(done) * 2048, n * 2048u}))
                return false;
            done += n;
        }
        return true;
    };
    return builder::ReadRecordedSession(read, start, end, out);
}

bool ImportLastSession(builder::TImageBuilder& b, TSCSIDevice& d, TSessionImport& report) {
    report = TSessionImport();
    builder::TRecordedSession session;
    if (!ReadLastSession(b, d, session, report.Found)) {
        report.Error = session.Error;
        return false;
    }
    if (!report.Found)
        return true;
    if (b.UDFBridge) {
        report.UdfLeftOff = std::any_of(
            session.Entries.begin(), session.Entries.end(), [](const builder::TRecordedEntry& e) {
                return !e.IsDirectory && e.Size > 0 &&
                       (e.Lba < kUdfPartitionStart ||
                        std::any_of(e.Runs.begin(), e.Runs.end(),
                                    [](const builder::TRecordedRun& r) {
                                        return r.Lba < kUdfPartitionStart;
                                    }));
            });
        if (report.UdfLeftOff)
            b.UDFBridge = 0;
    }
    b.StatusCode = builder::S_IMPORTING_SESSION;
    report.Carried = builder::CarryRecordedSession(b, session);
    b.StatusCode = builder::S_IDLE;
    if (report.Carried < 0) {
        report.Carried = 0;
        report.Error = std::string(builder::kSessionUnreadable) +
                       "the compilation has no room for all of its entries";
        return false;
    }
    return true;
}

}  // namespace tessor::writer
