// libFuzzer target: the fuzzer's bytes are a disc (sector 16 onwards is where
// the volume descriptors are looked for) and the session reader walks it,
// its ISO 9660 trees and, from sector 256 on, its UDF bridge. Built only with
// clang (-DTESSOR_FUZZ=ON); run e.g.
// `session_import_fuzzer -max_total_time=60`, or with a seed that reaches
// the bridge (an image made by tessor-cli without its first 16 sectors) and
// `-max_len=700000`.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/builder/SessionImport.h"
#include "engine/builder/Tree.h"

using namespace tessor::builder;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The input fills the disc from sector 16; the rest reads as zeros, and
    // the first byte chooses how far past the input the disc goes on.
    const size_t offset = 16 * size_t(kSectorSize);
    const uint32_t inputSectors = static_cast<uint32_t>((size + kSectorSize - 1) / kSectorSize);
    const uint32_t total = 16 + inputSectors + (size ? data[0] : 0);
    auto read = [&](uint32_t lba, uint32_t count, uint8_t* out) {
        if (uint64_t(lba) + count > total)
            return false;
        std::memset(out, 0, size_t(count) * kSectorSize);
        const size_t from = size_t(lba) * kSectorSize;
        const size_t to = from + size_t(count) * kSectorSize;
        for (size_t at = std::max(from, offset); at < to && at - offset < size; ++at)
            out[at - from] = data[at - offset];
        return true;
    };
    TRecordedSession session;
    TSessionLimits limits;
    limits.MaxEntries = 5000;
    if (ReadRecordedSession(read, 0, total, session, limits)) {
        TImageBuilder b;
        ClearFiles(b);
        b.JolietFileSystem = 1;
        CarryRecordedSession(b, session);
    }
    return 0;
}
