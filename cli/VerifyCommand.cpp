// Verify: the disc or image file read back and compared with what was
// written, after burn, burn-image and image (--verify) or on its own.
#include "cli/Verify.h"

#include "cli/Commands.h"
#include "cli/Compilation.h"
#include "cli/Drives.h"
#include "cli/Job.h"
#include "cli/Language.h"
#include "cli/Options.h"

namespace tessor::cli {

int RunVerify(component::TDiscBurner& burner, const std::function<bool()>& start, std::FILE* out,
              std::FILE* err) {
    std::fprintf(out, "%s\n", LangText("S_VERIFYING").c_str());
    TJobResult result = RunVerifyJob(burner, start, err);
    if (result.aborted) {
        std::fprintf(err, "tessor-cli: verify interrupted; nothing is known of the rest\n");
        return kExitAborted;
    }
    if (result.failed) {
        // Only a block named (one that differs or cannot be read) says the
        // written data are bad; a verify that could not start or found no
        // disc says nothing of them.
        const bool named = result.fileId != component::TDiscBurner::kVerifyNoBlock;
        std::fprintf(err, "tessor-cli: %s%s\n", named ? "verify failed: " : "",
                     result.ErrorLine().c_str());
        return named ? kExitDiffers : kExitFailed;
    }
    std::fprintf(out, "Verified: %d sectors read back as written\n", burner.WrittenSectors());
    return kExitOk;
}

int VerifyCommand(const std::vector<std::string>& argv, std::FILE* out, std::FILE* err) {
    std::string help =
        std::string(
            "usage: tessor-cli verify [options] SOURCE...\n"
            "       tessor-cli verify [options] --image IMAGE\n"
            "\n"
            "Reads the disc in the drive back and compares it: with the SOURCE files and\n"
            "folders, laid out as burn lays them out (give the same compilation options)\n"
            "and compared where the disc's last session holds them, file data only, since\n"
            "the file-system area holds the time of the write; or from address 0 with the\n"
            "image file IMAGE, as burn-image wrote it (a tail shorter than a sector\n"
            "compared with zeros). The first block that differs or cannot be read is\n"
            "named with its file and the drive's reason.\n\n"
            "  --image IMAGE       the image file to compare the disc with\n") +
        kCompilationHelp + kDriveHelp + kVerifyExitStatus;
    std::vector<std::string> valued = kDriveValued;
    valued.insert(valued.end(), kCompilationValued.begin(), kCompilationValued.end());
    valued.push_back("--image");
    std::vector<std::string> flags = kDriveFlags;
    flags.insert(flags.end(), kCompilationFlags.begin(), kCompilationFlags.end());
    TArgs args;
    int exitCode = kExitOk;
    if (!ParseCommandArgs("verify", argv, valued, flags, help, -1, args, out, err, exitCode))
        return exitCode;
    const std::string* image = args.Value("--image");
    if ((image == nullptr) == args.positional.empty()) {
        std::fprintf(err, "tessor-cli verify: give either SOURCE... or --image IMAGE\n%s",
                     help.c_str());
        return kExitUsage;
    }
    component::TDiscBurner burner(true);
    // The sources are all found before the drive is asked anything.
    if (image == nullptr) {
        if (!BuildCompilation(burner, args, err))
            return kExitUsage;
        if (int notes = ReportSourceNotes(burner, args, err); notes != kExitOk)
            return notes;
        burner.PrepareImage();
    }
    if (!ScanDrives(burner, args, err) || !SelectDrive(burner, args, false, err))
        return kExitFailed;
    if (!burner.DeviceReady()) {
        std::fprintf(err, "tessor-cli: %s\n", LangText("DEVICE_NOT_READY").c_str());
        return kExitFailed;
    }
    if (image != nullptr)
        return RunVerify(
            burner, [&] { return burner.VerifyDiscAgainstImage(*image); }, out, err);
    TJobResult sources = RunWriteJob(
        burner, [&] { return burner.ReadSourcesForVerify(); }, err, false);
    if (sources.aborted)
        return kExitAborted;
    if (sources.failed) {
        std::fprintf(err, "tessor-cli: %s\n", sources.ErrorLine().c_str());
        return kExitFailed;
    }
    return RunVerify(
        burner, [&] { return burner.VerifyDisc(); }, out, err);
}

}  // namespace tessor::cli
