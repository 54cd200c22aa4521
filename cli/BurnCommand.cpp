// burn and burn-image: the window's disc workflows for a terminal.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli/Commands.h"
#include "cli/Compilation.h"
#include "cli/Drives.h"
#include "cli/Job.h"
#include "cli/Language.h"
#include "cli/Options.h"
#include "cli/SessionCommand.h"
#include "cli/Verify.h"
#include "engine/component/DiscBurner.h"
#include "engine/platform/Strings.h"

namespace tessor::cli {

namespace {

const char* kBurnOptions =
    "  --speed KBS         write speed in kB/s (default: 90 % of the drive's maximum;\n"
    "                      0 = as fast as the drive can)\n"
    "  --test-write        simulate: the drive goes through the write without recording\n"
    "                      and the disc is not erased (CD-R, CD-RW, DVD-R and DVD-RW)\n"
    "  --finalize          close the disc so that no further session can be added\n"
    "  --no-burnproof      no buffer-underrun protection\n"
    "  --no-size-check     write even when the disc reports too little free space\n"
    "  --no-erase          do not erase a rewritable disc first\n"
    "  --eject             open the tray after a successful write\n"
    "  --verify            afterwards read the session back and compare it with what was\n"
    "                      written (not with --test-write)\n";

const char* kBurnExitStatus =
    "\nSizes are in MB of 10^6 bytes, as 'tessor-cli devices' shows them.\n"
    "Exit status: 0 written (and verified), 1 failed, 2 bad command line or source, 3\n"
    "the disc is too small, 4 sources left out (see --allow-partial), 5 written, but\n"
    "the verify read other data back or could not read a block (the message names\n"
    "the first block, its file and the drive's reason), 130 interrupted (the disc is\n"
    "closed as far as it was written). Nothing is sent to the drive before every\n"
    "source has been found.\n";

double Mb(uint64_t sectors) {
    return static_cast<double>(sectors) * 2048.0 / 1e6;
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

void PrintEngineError(std::FILE* err, const char* lead,
                      const component::TDiscBurner::TErrorReport& e) {
    std::fprintf(err, "tessor-cli: %s%s%s\n", lead, e.Text.c_str(),
                 e.Detail.empty() ? "" : (" (" + e.Detail + ")").c_str());
}

// The erase step of the disc workflows. False (with exitCode) when the
// workflow must stop: the erase failed, or Ctrl-C was pressed during it.
bool EraseFirst(component::TDiscBurner& burner, const TArgs& args, std::FILE* out, std::FILE* err,
                int& exitCode) {
    if (args.Has("--no-erase"))
        return true;
    if (args.Has("--test-write")) {
        std::fprintf(out, "Test write: the disc is not erased, and nothing is recorded on it\n");
        return true;
    }
    if (!burner.DiscErasable()) {
        std::fprintf(out, "%s\n", LangText("UNDELETABLE").c_str());
        return true;
    }
    std::fprintf(out, "%s\n", LangText("START_DELETE").c_str());
    TJobResult erase = RunEraseJob(
        burner, [&] { return burner.EraseDisc(true); }, err);
    if (erase.failed) {
        std::fprintf(err, "tessor-cli: %s%s\n", LangText("DELERROR").c_str(),
                     erase.ErrorLine().c_str());
        exitCode = kExitFailed;
        return false;
    }
    std::fprintf(out, "%s\n", LangText("OKDELETE").c_str());
    if (erase.aborted) {
        std::fprintf(err, "tessor-cli: interrupted after the erase; nothing was written\n");
        exitCode = kExitAborted;
        return false;
    }
    return true;
}

bool SizeFits(component::TDiscBurner& burner, const TArgs& args, uint64_t needed, std::FILE* err) {
    if (args.Has("--no-size-check"))
        return true;
    uint64_t freeSectors = burner.DiscFreeSectors();
    if (freeSectors >= needed)
        return true;
    std::fprintf(err, "tessor-cli: %s\n",
                 TooSmallText(freeSectors, burner.DiscCapacitySectors(), needed).c_str());
    return false;
}

int FinishWrite(component::TDiscBurner& burner, const TArgs& args, const TJobResult& result,
                const std::function<bool()>& verify, std::FILE* out, std::FILE* err) {
    if (result.aborted || result.failed) {
        std::fprintf(err, "tessor-cli: %s%s\n", LangText("WRITEERROR").c_str(),
                     result.ErrorLine().c_str());
        return result.aborted ? kExitAborted : kExitFailed;
    }
    std::fprintf(out, "%s\n", LangText("OKWRITE").c_str());
    if (args.Has("--verify")) {
        if (int verified = RunVerify(burner, verify, out, err); verified != kExitOk)
            return verified;
    }
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
                               "--no-erase", "--eject", "--verify"});
    if (!ParseCommandArgs(command, argv, valued, flags, help, -1, args, out, err, exitCode))
        return false;
    if (args.Has("--verify") && args.Has("--test-write")) {
        std::fprintf(err, "tessor-cli %s: --verify has nothing to read after --test-write\n",
                     command);
        exitCode = kExitUsage;
        return false;
    }
    return true;
}

// Scan, select, switches, speed, readiness, and a disc that can take a
// session: what both workflows do before anything changes on the disc. The
// drive is held for this program until the workflow ends.
bool OpenDisc(component::TDiscBurner& burner, const TArgs& args, std::FILE* err) {
    long speed;
    if (!ParseSpeed(args, speed, err))
        return false;
    if (!ScanDrives(burner, args, err) || !SelectDrive(burner, args, true, err))
        return false;
    // Held first: what the drive says of itself while another program
    // works on it means little.
    if (!burner.ReserveDevice()) {
        PrintEngineError(err, "", burner.TakeError());
        return false;
    }
    if (!burner.IsWriter()) {
        std::fprintf(err, "tessor-cli: drive %s cannot write discs\n",
                     args.Value("--device") ? args.Value("--device")->c_str() : "0");
        return false;
    }
    burner.SetTestWrite(args.Has("--test-write"));
    burner.SetFinalizeDisc(args.Has("--finalize"));
    burner.SetBurnProof(!args.Has("--no-burnproof"));
    ApplySpeed(burner, speed);
    if (!burner.DeviceReady()) {
        std::fprintf(err, "tessor-cli: %s\n", LangText("DEVICE_NOT_READY").c_str());
        return false;
    }
    uint8_t media = burner.MediaType();
    if (component::TDiscBurner::IsPressedMedium(media)) {
        std::fprintf(err, "tessor-cli: the %s is not writable (read-only disc)\n",
                     component::TDiscBurner::MediaTypeName(media));
        return false;
    }
    // Overwritable media take a further session behind their volume
    // whatever state they report.
    bool overwritable = component::TDiscBurner::IsOverwritableMedium(media);
    bool erasedFirst =
        !args.Has("--no-erase") && !args.Has("--test-write") && burner.DiscErasable();
    if (!overwritable && burner.DiscStatus() == 2 && !erasedFirst) {
        std::fprintf(err, "tessor-cli: the %s is not writable (closed disc)%s\n",
                     component::TDiscBurner::MediaTypeName(media),
                     burner.DiscErasable() ? "; without --no-erase it is erased first" : "");
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
            "the root of the disc; each SOURCE file lies in the root. A disc that\n"
            "is not erased keeps its earlier files in view: the new session carries\n"
            "the directory of the last one forward, and a SOURCE of the same name\n"
            "replaces an earlier file.\n\n") +
        kCompilationHelp + kBurnOptions +
        "  --no-import         write the new session alone; the earlier sessions' files\n"
        "                      stay on the disc but readers no longer see them\n" +
        kDriveHelp + kBurnExitStatus;
    TArgs args;
    int exitCode = kExitOk;
    std::vector<std::string> burnFlags = kCompilationFlags;
    burnFlags.push_back("--no-import");
    if (!ParseDiscArgs("burn", argv, kCompilationValued, burnFlags, help, args, out, err,
                       exitCode)) {
        return exitCode;
    }
    if (args.positional.empty()) {
        std::fprintf(err, "tessor-cli burn: no SOURCE given\n%s", help.c_str());
        return kExitUsage;
    }
    component::TDiscBurner burner(true);
    // The drive is held first, and only asked: a drive another program uses
    // ends the run before any of it starts. The compilation is then complete
    // before anything changes on the disc: a source that cannot be written
    // never costs the disc its content.
    if (!OpenDisc(burner, args, err))
        return kExitFailed;
    std::fprintf(out, "%s\n", LangText("PREPEAR_DATA").c_str());
    if (!BuildCompilation(burner, args, err))
        return kExitUsage;
    if (int notes = ReportSourceNotes(burner, args, err); notes != kExitOk)
        return notes;
    if (!FindIdenticalFiles(burner, args, out, err, exitCode))
        return exitCode;
    std::fprintf(out, "%s\n", LangText("S_PREPARING").c_str());
    burner.PrepareImage();
    // Whether EraseFirst is about to erase the disc: nothing is left to import then.
    const bool erasing =
        !args.Has("--no-erase") && !args.Has("--test-write") && burner.DiscErasable();
    if (!EraseFirst(burner, args, out, err, exitCode))
        return exitCode;
    if (!erasing && !args.Has("--no-import")) {
        if (!ImportEarlierSession(burner, out, err))
            return kExitFailed;
        burner.PrepareImage();
    }
    if (!SizeFits(burner, args, static_cast<uint32_t>(burner.ImageSectors()), err))
        return kExitNoSpace;
    std::fprintf(out, "%s\n", LangText("WRITE_DATA").c_str());
    TJobResult result = RunWriteJob(
        burner, [&] { return burner.WriteDisc(); }, err, true);
    return FinishWrite(
        burner, args, result, [&] { return burner.VerifyDisc(); }, out, err);
}

int BurnImageCommand(const std::vector<std::string>& argv, std::FILE* out, std::FILE* err) {
    std::string help = std::string(
                           "usage: tessor-cli burn-image [options] IMAGE\n"
                           "\n"
                           "Writes the image file IMAGE to the disc in the drive, from address 0.\n"
                           "A rewritable disc is erased first. An image whose size is not a whole\n"
                           "number of 2048-byte sectors is padded with zeros.\n\n") +
                       kBurnOptions + kDriveHelp + kBurnExitStatus;
    TArgs args;
    int exitCode = kExitOk;
    if (!ParseDiscArgs("burn-image", argv, {}, {}, help, args, out, err, exitCode))
        return exitCode;
    if (args.positional.size() != 1) {
        std::fprintf(err, "tessor-cli burn-image: give exactly one IMAGE\n%s", help.c_str());
        return kExitUsage;
    }
    // The image must be there and readable before the drive is touched.
    const std::string& image = args.positional.front();
    struct stat st {};
    if (::stat(image.c_str(), &st) != 0) {
        std::fprintf(err, "tessor-cli: %s: %s\n", image.c_str(), std::strerror(errno));
        return kExitUsage;
    }
    if (!S_ISREG(st.st_mode)) {
        std::fprintf(err, "tessor-cli: %s is not an image file (%s)\n", image.c_str(),
                     S_ISDIR(st.st_mode) ? "a folder" : "not a regular file");
        return kExitUsage;
    }
    if (st.st_size == 0) {
        std::fprintf(err, "tessor-cli: %s is empty\n", image.c_str());
        return kExitUsage;
    }
    if (::access(image.c_str(), R_OK) != 0) {
        std::fprintf(err, "tessor-cli: %s: %s\n", image.c_str(), std::strerror(errno));
        return kExitUsage;
    }
    uint64_t bytes = static_cast<uint64_t>(st.st_size);
    if (bytes % 2048 != 0) {
        std::fprintf(err,
                     "tessor-cli: note: %s is not a whole number of 2048-byte sectors; its "
                     "last sector is padded with zeros\n",
                     image.c_str());
    }
    component::TDiscBurner burner(true);
    if (!OpenDisc(burner, args, err))
        return kExitFailed;
    if (!EraseFirst(burner, args, out, err, exitCode))
        return exitCode;
    burner.ClearFiles();
    burner.PrepareImage();
    if (!SizeFits(burner, args, (bytes + 2047) / 2048, err))
        return kExitNoSpace;
    std::fprintf(out, "%s\n", LangText("WRITE_DATA").c_str());
    TJobResult result = RunWriteJob(
        burner, [&] { return burner.WriteImageToDisc(image); }, err, true);
    if (!result.started && !result.failed)
        result.failed = true;
    return FinishWrite(
        burner, args, result, [&] { return burner.VerifyDiscAgainstImage(image); }, out, err);
}

}  // namespace tessor::cli
