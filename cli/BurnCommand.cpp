// burn and burn-image: the window's disc workflows for a terminal.
#include <cmath>
#include <cstdlib>
#include <string>

#include "cli/Commands.h"
#include "cli/Compilation.h"
#include "cli/Drives.h"
#include "cli/Job.h"
#include "cli/Language.h"
#include "cli/Options.h"
#include "engine/component/DiscBurner.h"
#include "engine/platform/Strings.h"

namespace tessor::cli {

namespace {

const char* kBurnOptions =
    "  --speed KBS         write speed in kB/s (default: 90 % of the drive's maximum;\n"
    "                      0 = as fast as the drive can)\n"
    "  --test-write        simulate: the drive goes through the write without recording\n"
    "  --finalize          close the disc so that no further session can be added\n"
    "  --no-burnproof      no buffer-underrun protection\n"
    "  --no-size-check     write even when the disc reports too little free space\n"
    "  --no-erase          do not erase a rewritable disc first\n"
    "  --eject             open the tray after a successful write\n";

double Mb(uint64_t sectors) {
    return static_cast<double>(sectors) * 2048.0 / 1048576.0;
}

// The window's disc-size message: INSERTED_DISK free MB1 capacity ZU_KLEIN
// needed MB2, each figure followed directly by the text after it.
std::string TooSmallText(uint64_t freeSectors, uint64_t capacity, uint64_t needed) {
    auto mb = [](uint64_t sectors) {
        char figure[32];
        std::snprintf(figure, sizeof(figure), "%.2f", Mb(sectors));
        return std::string(figure);
    };
    return LangText("INSERTED_DISK") + mb(freeSectors) + LangText("MB1") + " " + mb(capacity) +
           LangText("ZU_KLEIN") + " " + mb(needed) + LangText("MB2");
}

bool ParseSpeed(const TArgs& args, long& speed, std::FILE* err) {
    speed = -1;
    if (const std::string* s = args.Value("--speed")) {
        char* end = nullptr;
        speed = std::strtol(s->c_str(), &end, 10);
        if (s->empty() || *end != '\0' || speed < 0 || speed > 65535) {
            std::fprintf(err, "tessor-cli: --speed takes kB/s from 0 to 65535\n");
            return false;
        }
    }
    return true;
}

// Nine tenths of the drive's maximum, as the window sets it, or the asked speed.
void ApplySpeed(component::TDiscBurner& burner, long speed) {
    if (speed >= 0) {
        burner.SetSpeeds(0, static_cast<uint16_t>(speed));
        return;
    }
    uint16_t max = burner.MaxWriteSpeed();
    burner.SetSpeeds(0, static_cast<uint16_t>(max - max / 10));
}

// The erase step of the disc workflows. False when the erase failed.
bool EraseFirst(component::TDiscBurner& burner, const TArgs& args, std::FILE* out, std::FILE* err) {
    if (args.Has("--no-erase"))
        return true;
    if (!burner.DiscErasable()) {
        std::fprintf(out, "%s\n", LangText("UNDELETABLE").c_str());
        return true;
    }
    std::fprintf(out, "%s\n", LangText("START_DELETE").c_str());
    TJobResult erase = RunEraseJob(
        burner, [&] { return burner.EraseDisc(true); }, err);
    if (erase.failed) {
        std::fprintf(err, "tessor-cli: %s%s\n", LangText("DELERROR").c_str(), erase.error.c_str());
        return false;
    }
    std::fprintf(out, "%s\n", LangText("OKDELETE").c_str());
    return true;
}

bool SizeFits(component::TDiscBurner& burner, const TArgs& args, std::FILE* err) {
    if (args.Has("--no-size-check"))
        return true;
    uint64_t needed = static_cast<uint32_t>(burner.ImageSectors());
    uint64_t freeSectors = burner.DiscFreeSectors();
    uint64_t capacity = burner.DiscCapacitySectors();
    if (freeSectors * 2048 >= needed * 2048)
        return true;
    std::fprintf(err, "tessor-cli: %s\n", TooSmallText(freeSectors, capacity, needed).c_str());
    return false;
}

int FinishWrite(component::TDiscBurner& burner, const TArgs& args, const TJobResult& result,
                std::FILE* out, std::FILE* err) {
    if (result.aborted) {
        std::fprintf(err, "tessor-cli: %s%s\n", LangText("WRITEERROR").c_str(),
                     result.error.c_str());
        return kExitAborted;
    }
    if (result.failed) {
        std::fprintf(err, "tessor-cli: %s%s\n", LangText("WRITEERROR").c_str(),
                     result.error.c_str());
        return kExitFailed;
    }
    std::fprintf(out, "%s\n", LangText("OKWRITE").c_str());
    if (args.Has("--eject"))
        burner.EjectTray(true);
    return kExitOk;
}

bool ParseDiscArgs(const char* command, const std::vector<std::string>& argv,
                   std::vector<std::string> valued, std::vector<std::string> flags,
                   const std::string& help, TArgs& args, std::FILE* out, std::FILE* err,
                   int& exitCode) {
    valued.insert(valued.end(), kDriveValued.begin(), kDriveValued.end());
    valued.push_back("--speed");
    flags.insert(flags.end(), kDriveFlags.begin(), kDriveFlags.end());
    flags.insert(flags.end(), {"--test-write", "--finalize", "--no-burnproof", "--no-size-check",
                               "--no-erase", "--eject"});
    return ParseCommandArgs(command, argv, valued, flags, help, -1, args, out, err, exitCode);
}

// Scan, select, switches, speed and readiness: what both workflows do first.
bool OpenDisc(component::TDiscBurner& burner, const TArgs& args, long& speed, std::FILE* err) {
    if (!ParseSpeed(args, speed, err))
        return false;
    if (!ScanDrives(burner, args, err) || !SelectDrive(burner, args, true, err))
        return false;
    burner.SetTestWrite(args.Has("--test-write"));
    burner.SetFinalizeDisc(args.Has("--finalize"));
    burner.SetBurnProof(!args.Has("--no-burnproof"));
    ApplySpeed(burner, speed);
    if (!burner.DeviceReady()) {
        std::fprintf(err, "tessor-cli: %s\n", LangText("DEVICE_NOT_READY").c_str());
        return false;
    }
    return true;
}

}  // namespace

int BurnCommand(const std::vector<std::string>& argv, std::FILE* out, std::FILE* err) {
    std::string help =
        std::string(
            "usage: tessor-cli burn [options] SOURCE...\n"
            "\n"
            "Writes the SOURCE files and folders to the disc in the drive as one\n"
            "session (ISO 9660, Joliet and a UDF bridge). A rewritable disc is\n"
            "erased first. Each SOURCE folder becomes a folder of the same name in\n"
            "the root of the disc; each SOURCE file lies in the root.\n\n"
            "  --label TEXT        volume label (default: the name of the first SOURCE)\n"
            "  --no-joliet, --no-udf, --iso9660-1999, --boot FILE, --cache MB,\n"
            "  --replace           as for 'tessor-cli image'\n") +
        kBurnOptions + kDriveHelp +
        "\nExit status: 0 written, 1 failed, 2 bad command line, 3 the disc is too\n"
        "small, 130 interrupted (the disc is closed as far as it was written).\n";
    TArgs args;
    int exitCode = kExitOk;
    if (!ParseDiscArgs("burn", argv, kCompilationValued, kCompilationFlags, help, args, out, err,
                       exitCode)) {
        return exitCode;
    }
    if (args.positional.empty()) {
        std::fprintf(err, "tessor-cli burn: no SOURCE given\n%s", help.c_str());
        return kExitUsage;
    }
    component::TDiscBurner burner(true);
    long speed;
    if (!OpenDisc(burner, args, speed, err))
        return kExitFailed;
    if (!EraseFirst(burner, args, out, err))
        return kExitFailed;
    std::fprintf(out, "%s\n", LangText("PREPEAR_DATA").c_str());
    if (!BuildCompilation(burner, args, err))
        return kExitUsage;
    std::fprintf(out, "%s\n", LangText("S_PREPARING").c_str());
    burner.PrepareImage();
    if (!SizeFits(burner, args, err))
        return kExitNoSpace;
    std::fprintf(out, "%s\n", LangText("WRITE_DATA").c_str());
    TJobResult result = RunWriteJob(
        burner, [&] { return burner.WriteDisc(); }, err, true);
    return FinishWrite(burner, args, result, out, err);
}

int BurnImageCommand(const std::vector<std::string>& argv, std::FILE* out, std::FILE* err) {
    std::string help = std::string(
                           "usage: tessor-cli burn-image [options] IMAGE\n"
                           "\n"
                           "Writes the image file IMAGE to the disc in the drive, from address 0.\n"
                           "A rewritable disc is erased first.\n\n") +
                       kBurnOptions + kDriveHelp;
    TArgs args;
    int exitCode = kExitOk;
    if (!ParseDiscArgs("burn-image", argv, {}, {}, help, args, out, err, exitCode))
        return exitCode;
    if (args.positional.size() != 1) {
        std::fprintf(err, "tessor-cli burn-image: give exactly one IMAGE\n%s", help.c_str());
        return kExitUsage;
    }
    const std::string& image = args.positional.front();
    component::TDiscBurner burner(true);
    long speed;
    if (!OpenDisc(burner, args, speed, err))
        return kExitFailed;
    if (!EraseFirst(burner, args, out, err))
        return kExitFailed;
    burner.ClearFiles();
    burner.PrepareImage();
    if (!args.Has("--no-size-check")) {
        // The image's own size is what must fit.
        FILE* f = std::fopen(image.c_str(), "rb");
        if (f == nullptr) {
            std::fprintf(err, "tessor-cli: Error opening file \\%s\\\n", image.c_str());
            return kExitUsage;
        }
        std::fseek(f, 0, SEEK_END);
        long long bytes = std::ftell(f);
        std::fclose(f);
        uint64_t needed = (static_cast<uint64_t>(bytes) + 2047) / 2048;
        uint64_t freeSectors = burner.DiscFreeSectors();
        if (freeSectors < needed) {
            std::fprintf(err, "tessor-cli: %s\n",
                         TooSmallText(freeSectors, burner.DiscCapacitySectors(), needed).c_str());
            return kExitNoSpace;
        }
    }
    std::fprintf(out, "%s\n", LangText("WRITE_DATA").c_str());
    TJobResult result = RunWriteJob(
        burner, [&] { return burner.WriteImageToDisc(image); }, err, true);
    if (!result.started && !result.failed)
        result.failed = true;
    return FinishWrite(burner, args, result, out, err);
}

}  // namespace tessor::cli
