#include <cstdio>

#include "cli/Commands.h"
#include "cli/Compilation.h"
#include "cli/Job.h"
#include "cli/Options.h"
#include "cli/Verify.h"
#include "engine/component/DiscBurner.h"
#include "engine/platform/Strings.h"

namespace tessor::cli {

namespace {

const char* kImageHelpHead =
    "usage: tessor-cli image -o IMAGE [options] SOURCE...\n"
    "\n"
    "Writes the SOURCE files and folders into the ISO image file IMAGE. Each SOURCE\n"
    "folder becomes a folder of the same name in the root of the image, with its\n"
    "whole content; each SOURCE file lies in the root.\n"
    "\n"
    "  -o, --output IMAGE  the image file to write; '-' writes to standard output\n"
    "                      (every message then goes to standard error)\n"
    "  --verify            afterwards read the image file back and compare it with what\n"
    "                      was written (not with standard output)\n";

const char* kImageHelpTail =
    "\n"
    "The image is written beside IMAGE into a file without a name (where the file\n"
    "system has none, under a temporary name) and takes its place only when\n"
    "complete: a failed, interrupted or killed run leaves an earlier IMAGE as it\n"
    "was. A device or a pipe is written directly. IMAGE may not be one of the\n"
    "sources.\n"
    "\n"
    "Exit status: 0 written (and verified), 1 failed (the reason is printed), 2 bad\n"
    "command line or source, 4 sources left out (see --allow-partial), 5 written, but\n"
    "the file read back differs, 130 interrupted.\n";

}  // namespace

int ImageCommand(const std::vector<std::string>& argv, std::FILE* out, std::FILE* err) {
    std::string help = std::string(kImageHelpHead) + kCompilationHelp + kImageHelpTail;
    TArgs args;
    std::vector<std::string> valued = kCompilationValued;
    valued.insert(valued.end(), {"-o", "--output"});
    int exitCode = kExitOk;
    std::vector<std::string> flags = kCompilationFlags;
    flags.push_back("--verify");
    if (!ParseCommandArgs("image", argv, valued, flags, help, -1, args, out, err, exitCode)) {
        return exitCode;
    }
    const std::string* named = args.Value("-o") ? args.Value("-o") : args.Value("--output");
    if (named == nullptr) {
        std::fprintf(err, "tessor-cli image: -o IMAGE is required\n%s", help.c_str());
        return kExitUsage;
    }
    // An image on standard output leaves standard output to the image.
    const bool toStdout = *named == "-" || *named == "/dev/stdout";
    const std::string image = *named == "-" ? "/dev/stdout" : *named;
    if (toStdout)
        out = err;
    if (toStdout && args.Has("--verify")) {
        std::fprintf(err, "tessor-cli image: --verify cannot read standard output back\n");
        return kExitUsage;
    }

    component::TDiscBurner burner(true);
    if (!BuildCompilation(burner, args, err))
        return kExitUsage;
    if (int notes = ReportSourceNotes(burner, args, err); notes != kExitOk)
        return notes;
    std::u16string target = platform::FromSystemPath(image);
    if (!toStdout && burner.ImageIsSource(target)) {
        std::fprintf(err,
                     "tessor-cli: %s is one of the sources; the image would overwrite what it is "
                     "made of\n",
                     image.c_str());
        return kExitUsage;
    }
    if (!FindIdenticalFiles(burner, args, out, err, exitCode))
        return exitCode;
    burner.PrepareImage();
    TJobResult result = RunWriteJob(
        burner, [&] { return burner.CreateImageFile(target); }, err, false);
    if (result.aborted) {
        std::fprintf(err, "tessor-cli: interrupted; %s\n",
                     toStdout ? "the image on standard output is incomplete"
                              : (image + " was not written").c_str());
        return kExitAborted;
    }
    if (result.failed) {
        std::fprintf(err, "tessor-cli: %s\n", result.ErrorLine().c_str());
        return kExitFailed;
    }
    std::fprintf(out, "%s: %d sectors (%.1f MB)\n", toStdout ? "standard output" : image.c_str(),
                 burner.ImageSectors(), burner.ImageSectors() * 2048.0 / 1e6);
    if (args.Has("--verify"))
        return RunVerify(
            burner, [&] { return burner.VerifyImageFile(); }, out, err);
    return kExitOk;
}

}  // namespace tessor::cli
