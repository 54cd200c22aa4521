// The virtual BD writer the burn and verify benchmarks write to: a BD-R in
// a state folder of its own, no command journal, attached to a component.
#pragma once

#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "engine/component/DiscBurner.h"
#include "vdrive/VDrive.h"

namespace tessor::bench {

struct TVirtualDrive {
    std::string state;
    std::unique_ptr<tessor::vdrive::TRecorderHost> host;

    explicit TVirtualDrive(uint32_t recordKBps, double timeScale = 1.0) {
        char templ[] = "/tmp/tessor-bench-vdrive-XXXXXX";
        state = mkdtemp(templ);
        tessor::vdrive::THostOptions options;
        options.stateDir = state;
        options.timeScale = timeScale;
        options.journalLimit = 0;
        tessor::vdrive::TDriveConfig bd;
        bd.kind = tessor::vdrive::TDriveKind::BdWriter;
        bd.recordKBps = recordKBps;
        options.drives = {bd};
        std::string error;
        host = tessor::vdrive::TRecorderHost::Create(options, error);
        if (!host) {
            std::fprintf(stderr, "virtual recorder: %s\n", error.c_str());
            std::exit(1);
        }
        host->InsertMedia(0, tessor::vdrive::TMediaKind::BdR, "", error);
    }
    ~TVirtualDrive() { std::filesystem::remove_all(state); }

    void Attach(tessor::component::TDiscBurner& b) {
        auto* h = host.get();
        b.Drive().AspiOverride.GetSupportInfo = [h] { return h->GetASPI32SupportInfo(); };
        b.Drive().AspiOverride.SendCommand = [h](void* srb) { return h->SendASPI32Command(srb); };
        b.ScanDevices(1, "", "");
        b.SelectDevice(0);
        b.SetSpeeds(0, 0);
    }
};

}  // namespace tessor::bench
