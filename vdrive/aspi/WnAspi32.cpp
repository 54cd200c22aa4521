// libwnaspi32.so: the virtual recorder behind the two ASPI entry points. The
// host is made on first use from the environment (TESSOR_VDRIVE_DIR,
// TESSOR_TIME_SCALE) and is never destroyed: worker threads of the program
// may still send commands while it exits, and the system closes the files.
#include <string>

#include "engine/drive/WNASPI32.h"
#include "vdrive/VDrive.h"

namespace {

tessor::vdrive::TRecorderHost* Host() {
    static tessor::vdrive::TRecorderHost* const host = [] {
        tessor::vdrive::THostOptions options;
        options.journalLimit = 0;  // nobody reads it here; keep the write path lean
        std::string error;
        return tessor::vdrive::TRecorderHost::Create(options, error).release();
    }();
    return host;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) uint32_t GetASPI32SupportInfo(void) {
    tessor::vdrive::TRecorderHost* host = Host();
    return host != nullptr ? host->GetASPI32SupportInfo() : 0;
}

extern "C" __attribute__((visibility("default"))) uint32_t SendASPI32Command(void* srb) {
    tessor::vdrive::TRecorderHost* host = Host();
    if (host == nullptr) {
        if (srb != nullptr)
            static_cast<uint8_t*>(srb)[1] = SS_ERR;
        return SS_ERR;
    }
    return host->SendASPI32Command(srb);
}
