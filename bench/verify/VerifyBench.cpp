// Verify after writing, measured in one run against a baseline: a 1 GiB
// compilation burnt to a virtual BD-R at TESSOR_TIME_SCALE=0, then read back
// and compared by the engine (READ (10) in 64 KiB requests, a digest per
// block), against reading the disc image the recorder exports with cat into
// a digest program (DIGEST, default sha1sum, the fastest of the coreutils digests here). Median of
// RUNS runs (default 3). Goal: a ratio of at most 1.3. The source tree is made once under BENCH_DIR
// (default /tmp/tessor-bench), shared with the burn benchmark.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench/common/BigTree.h"
#include "bench/common/VirtualDrive.h"
#include "engine/component/DiscBurner.h"
#include "engine/platform/Strings.h"
#include "engine/platform/Threads.h"
#include "vdrive/VDrive.h"

namespace fs = std::filesystem;
using tessor::component::TDiscBurner;
using Clock = std::chrono::steady_clock;

using tessor::bench::MakeBigTree;
using tessor::bench::TVirtualDrive;

namespace {

std::string Env(const char* name, const char* fallback) {
    const char* v = std::getenv(name);
    return v != nullptr && *v != '\0' ? v : fallback;
}

// Pumps until the completion the flag belongs to; false when it failed.
bool Wait(TDiscBurner& b, int& done, bool& failed) {
    while (done == 0)
        b.Messages()->WaitAndDispatch(1);
    return !failed;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main() {
    const std::string dir = Env("BENCH_DIR", "/tmp/tessor-bench");
    const std::string digest = Env("DIGEST", "sha1sum");
    const int runs = std::max(1, std::atoi(Env("RUNS", "3").c_str()));
    fs::create_directories(dir);
    MakeBigTree(dir + "/burn-big");

    tessor::platform::SetTimeScale(0);
    TVirtualDrive drive(0, 0.0);
    TDiscBurner b(true);
    drive.Attach(b);
    b.ClearFiles();
    b.SetUDFBridge(true);
    b.CreateDir(u"\\", u"data");
    b.AddFolder(u"\\data\\", tessor::platform::FromSystem(dir + "/burn-big"), u"*.*", true, false);
    b.PrepareImage();

    int done = 0;
    bool failed = false;
    b.OnWriteDone = [&](void*, uint8_t, bool f) {
        ++done;
        failed = f;
    };
    b.OnVerifyDone = [&](void*, uint8_t, int32_t, bool f) {
        ++done;
        failed = f;
    };
    if (!b.WriteDisc() || !Wait(b, done, failed)) {
        std::fprintf(stderr, "burn failed: %s\n", b.ErrorText().c_str());
        return 1;
    }
    const std::string image = drive.state + "/disc.iso";
    std::string error;
    if (!drive.host->ExportImage(0, image, error)) {
        std::fprintf(stderr, "export: %s\n", error.c_str());
        return 1;
    }
    const std::string baseline = "cat '" + image + "' | " + digest + " > /dev/null";

    std::vector<double> verify, cat;
    for (int r = 0; r < runs; ++r) {
        done = 0;
        auto t0 = Clock::now();
        if (!b.VerifyDisc() || !Wait(b, done, failed)) {
            std::fprintf(stderr, "verify failed: %s\n", b.ErrorText().c_str());
            return 1;
        }
        verify.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
        t0 = Clock::now();
        if (std::system(baseline.c_str()) != 0) {
            std::fprintf(stderr, "baseline failed: %s\n", baseline.c_str());
            return 1;
        }
        cat.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
    }
    const double v = Median(verify), c = Median(cat);
    std::printf(
        "verify of a %.0f MB compilation on a virtual BD-R: %.2f s (%.0f MB/s); "
        "cat | %s of the exported image: %.2f s (%.0f MB/s)\n",
        b.ImageSectors() * 2048.0 / 1e6, v, b.ImageSectors() * 2048.0 / 1e6 / v, digest.c_str(), c,
        b.ImageSectors() * 2048.0 / 1e6 / c);
    std::printf("  ratio verify / cat | %s: %.2f (goal: at most 1.3), median of %d runs\n",
                digest.c_str(), v / c, runs);
    return 0;
}
