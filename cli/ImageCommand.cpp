#include <cstdio>

#include "cli/Commands.h"
#include "cli/Compilation.h"
#include "cli/Job.h"
#include "cli/Options.h"
#include "engine/component/DiscBurner.h"
#include "engine/platform/Strings.h"

namespace tessor::cli {

namespace {

const char* kImageHelp =
    "usage: tessor-cli image -o IMAGE [options] SOURCE...\n"
    "\n"
    "Writes the SOURCE files and folders into the ISO image file IMAGE (created or\n"
    "replaced). Each SOURCE folder becomes a folder of the same name in the root of\n"
    "the image, with its whole content; each SOURCE file lies in the root.\n"
    "\n"
    "  -o, --output IMAGE  the image file to write\n"
    "  --label TEXT        volume label (default: the name of the first SOURCE)\n"
    "  --no-joliet         no Joliet tree (long Unicode names for Windows readers)\n"
    "  --no-udf            no UDF 1.50 bridge\n"
    "  --iso9660-1999      add an ISO 9660:1999 descriptor with long names\n"
    "  --boot FILE         El Torito boot image (2048 bytes, or a 1.2, 1.44 or 2.88 MB\n"
    "                      floppy image)\n"
    "  --cache MB          read-ahead cache size, 2 to 624 (default 32)\n"
    "  --replace           a later SOURCE replaces an earlier one of the same name\n"
    "                      (default: the first one wins)\n"
    "\n"
    "Exit status: 0 written, 1 failed (the reason is printed), 2 bad command line or\n"
    "source, 130 interrupted. A failed or interrupted image file is left on disk\n"
    "incomplete.\n";

}  // namespace

int ImageCommand(const std::vector<std::string>& argv, std::FILE* out, std::FILE* err) {
    TArgs args;
    std::vector<std::string> valued = kCompilationValued;
    valued.insert(valued.end(), {"-o", "--output"});
    int exitCode = kExitOk;
    if (!ParseCommandArgs("image", argv, valued, kCompilationFlags, kImageHelp, -1, args, out, err,
                          exitCode)) {
        return exitCode;
    }
    const std::string* image = args.Value("-o") ? args.Value("-o") : args.Value("--output");
    if (image == nullptr) {
        std::fprintf(err, "tessor-cli image: -o IMAGE is required\n%s", kImageHelp);
        return kExitUsage;
    }

    component::TDiscBurner burner(true);
    if (!BuildCompilation(burner, args, err))
        return kExitUsage;
    burner.PrepareImage();
    TJobResult result = RunWriteJob(
        burner, [&] { return burner.CreateImageFile(platform::FromSystem(*image)); }, err, false);
    if (result.aborted) {
        std::fprintf(err, "tessor-cli: interrupted; %s is incomplete\n", image->c_str());
        return kExitAborted;
    }
    if (result.failed) {
        std::fprintf(err, "tessor-cli: %s\n", result.error.c_str());
        return kExitFailed;
    }
    std::fprintf(out, "%s: %d sectors (%.1f MB)\n", image->c_str(), burner.ImageSectors(),
                 burner.ImageSectors() * 2048.0 / 1e6);
    return kExitOk;
}

}  // namespace tessor::cli
