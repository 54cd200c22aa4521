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

// The lock file of a drive's jobs, so that two programs never write or
// erase one virtual disc at once (see engine/drive/DriveClaim.h).
extern "C" __attribute__((visibility("default"))) int TessorDriveLockFile(unsigned char adapter,
                                                                          unsigned char target,
                                                                          unsigned char lun,
                                                                          char* path, int size) {
    tessor::vdrive::TRecorderHost* host = Host();
    if (host == nullptr || path == nullptr || size <= 0)
        return 0;
    std::string file = host->JobLockFile(adapter, target, lun);
    if (file.empty() || file.size() >= static_cast<size_t>(size))
        return 0;
    file.copy(path, file.size());
    path[file.size()] = '\0';
    return static_cast<int>(file.size());
}
