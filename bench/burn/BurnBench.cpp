// Burning to the virtual recorder, measured in one run against a baseline:
//  1. throughput: a 1 GiB compilation burnt to a virtual BD-R at unlimited
//     speed, against writing the same compilation into an image file;
//  2. feeding the drive: 100,000 files of 0-8 KiB in 2,000 folders burnt to
//     a virtual BD writer that records at 16x (71,920 kB/s); the lowest and
//     the mean drive-buffer fill the write thread saw show whether the cache
//     kept up (the goal: above 80 % throughout).
// Source trees are made once under BENCH_DIR (default /tmp/tessor-bench).
#include <sys/stat.h>

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
#include "vdrive/VDrive.h"

namespace fs = std::filesystem;
using tessor::component::TDiscBurner;
using Clock = std::chrono::steady_clock;

using tessor::bench::MakeBigTree;
using tessor::bench::TVirtualDrive;

namespace {

std::string BenchDir() {
    const char* d = std::getenv("BENCH_DIR");
    return d ? d : "/tmp/tessor-bench";
}

void MakeSmallTree(const std::string& root) {
    if (fs::exists(root + ".done"))
        return;
    fs::remove_all(root);
    std::mt19937 rnd(7);
    std::string blob(8192, '\0');
    for (char& c : blob)
        c = static_cast<char>(rnd());
    std::vector<std::string> dirs;
    for (int d = 0; d < 2000; ++d) {
        std::string p = root + "/d" + std::to_string(d % 40) + "/dir" + std::to_string(d);
        fs::create_directories(p);
        dirs.push_back(p);
    }
    for (int f = 0; f < 100000; ++f) {
        std::ofstream out(dirs[f % 2000] + "/file" + std::to_string(f) + ".dat", std::ios::binary);
        out.write(blob.data(), rnd() % 8193);
    }
    std::ofstream(root + ".done").put('\n');
}

void Compile(TDiscBurner& b, const std::string& root) {
    b.ClearFiles();
    b.SetUDFBridge(true);
    b.SetVolumeIDW(u"BENCH");
    b.CreateDir(u"\\", u"data");
    b.AddFolder(u"\\data\\", tessor::platform::FromSystem(root), u"*.*", true, false);
    b.PrepareImage();
}

struct TRun {
    double seconds = 0;      // start to completion
    double dataSeconds = 0;  // start until every sector was handed over
    bool ok = false;
    double minBufferFill = 1.0;  // fraction, as the write thread last read it
    double sumBufferFill = 0;
    int bufferSamples = 0;
};

template <typename TStart>
TRun Run(TDiscBurner& b, TStart start) {
    TRun run;
    int done = 0;
    bool failed = false;
    b.OnWriteDone = [&](void*, uint8_t, bool f) {
        ++done;
        failed = f;
    };
    auto t0 = Clock::now();
    if (!start()) {
        b.Messages()->DispatchPending();
        return run;
    }
    while (done == 0) {
        b.Messages()->WaitAndDispatch(1);
        if (run.dataSeconds == 0 && b.ImageSectors() > 0 &&
            b.WrittenSectors() >= b.ImageSectors()) {
            run.dataSeconds = std::chrono::duration<double>(Clock::now() - t0).count();
        }
        uint32_t size = b.DeviceBufferSize();
        // Only the steady part: once written data reach the buffer, until
        // the last block has been handed to the drive.
        if (size > 0 && b.Status() == 1 && b.WrittenSectors() > 32 * 64 &&
            b.WrittenSectors() + 32 * 64 < b.ImageSectors()) {
            double fill = double(b.DeviceBufferUsed()) / size;
            run.minBufferFill = std::min(run.minBufferFill, fill);
            run.sumBufferFill += fill;
            ++run.bufferSamples;
        }
    }
    run.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    run.ok = !failed;
    return run;
}

double MB(int32_t sectors) {
    return sectors * 2048.0 / 1e6;
}

}  // namespace

int main() {
    std::string dir = BenchDir();
    fs::create_directories(dir);
    std::printf("source trees under %s (made once)\n", dir.c_str());
    MakeBigTree(dir + "/burn-big");
    MakeSmallTree(dir + "/burn-small");

    // 1. Burning against image creation, same compilation, same process.
    {
        TDiscBurner b(true);
        Compile(b, dir + "/burn-big");
        std::string image = dir + "/burn-bench.iso";
        TRun img = Run(b, [&] { return b.CreateImageFile(tessor::platform::FromSystem(image)); });
        fs::remove(image);
        TVirtualDrive drive(0);
        drive.Attach(b);
        Compile(b, dir + "/burn-big");
        TRun burn = Run(b, [&] { return b.WriteDisc(); });
        std::printf(
            "1 GiB compilation (%.0f MB image): image file %.2f s; burn to virtual BD-R: "
            "data written in %.2f s, done with closing in %.2f s%s\n",
            MB(b.ImageSectors()), img.seconds, burn.dataSeconds, burn.seconds,
            img.ok && burn.ok ? "" : " (FAILED)");
        std::printf(
            "  ratio burn data phase / image file: %.2f (the rest is the drive closing the "
            "session, polled every 5 s)\n",
            burn.dataSeconds / img.seconds);
    }

    // 2. Keeping a 16x BD writer fed from 100,000 small files.
    {
        TVirtualDrive drive(71920);
        TDiscBurner b(true);
        drive.Attach(b);
        Compile(b, dir + "/burn-small");
        TRun burn = Run(b, [&] { return b.WriteDisc(); });
        double floor = MB(b.ImageSectors()) / 71.92;
        std::printf(
            "100,000 files (%.0f MB) to a BD writer recording at 71.9 MB/s: data handed "
            "over in %.2f s, done in %.2f s%s (the drive alone needs %.2f s: ratio %.2f)\n",
            MB(b.ImageSectors()), burn.dataSeconds, burn.seconds, burn.ok ? "" : " (FAILED)", floor,
            burn.dataSeconds / floor);
        std::printf(
            "  drive buffer fill while writing: lowest %.0f %%, mean %.0f %% (%d readings; goal: "
            "above 80 %%)\n",
            burn.minBufferFill * 100.0,
            burn.bufferSamples > 0 ? burn.sumBufferFill / burn.bufferSamples * 100.0 : 0.0,
            burn.bufferSamples);
    }
    return 0;
}
