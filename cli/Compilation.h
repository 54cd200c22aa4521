// Filling the component's compilation from command-line sources, as the
// window's workflows do: a folder becomes a folder of the same name in the
// root with its whole content, a file lies in the root.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "cli/Options.h"
#include "engine/component/DiscBurner.h"

namespace tessor::cli {

// The file-system switches shared by `image` and `burn`.
inline const std::vector<std::string> kCompilationValued = {"--label", "--boot", "--cache"};
inline const std::vector<std::string> kCompilationFlags = {
    "--no-joliet", "--no-udf", "--iso9660-1999", "--replace", "--allow-partial", "--dedupe"};
inline const char* kCompilationHelp =
    "  --label TEXT        volume label (default: the name of the first SOURCE)\n"
    "  --no-joliet         no Joliet tree (long Unicode names for Windows readers)\n"
    "  --no-udf            no UDF 1.50 bridge\n"
    "  --iso9660-1999      the primary ISO 9660 tree carries the long names\n"
    "                      (ISO 9660:1999, with its own volume descriptor)\n"
    "  --boot FILE         El Torito boot image (2048 bytes, or a 1.2, 1.44 or 2.88 MB\n"
    "                      floppy image)\n"
    "  --cache MB          read-ahead cache size, 2 to 624 (default 32)\n"
    "  --replace           a later SOURCE replaces an earlier one of the same name\n"
    "                      (default: the first one wins)\n"
    "  --allow-partial     write even when some sources cannot be (a name clash, a\n"
    "                      file or folder that cannot be read); each is still named\n"
    "  --dedupe            files with identical contents are written once, every name\n"
    "                      pointing at that copy (names of one file always are)\n";

// Applies the switches, clears the compilation and adds every source.
// Returns false with a message on `err` when a source is missing or cannot
// be added, or an option is invalid.
bool BuildCompilation(component::TDiscBurner& burner, const TArgs& args, std::FILE* err);

// Names every source the compilation leaves out or renames, with the
// reason. Returns kExitPartial when one is left out and --allow-partial was
// not given (nothing may be written then), else kExitOk.
int ReportSourceNotes(const component::TDiscBurner& burner, const TArgs& args, std::FILE* err);

// With --dedupe: finds the identical files (progress on `err`) and prints
// "N identical files, X MB saved" on `out`. False when it was interrupted
// (exitCode kExitAborted) or could not run (kExitFailed).
bool FindIdenticalFiles(component::TDiscBurner& burner, const TArgs& args, std::FILE* out,
                        std::FILE* err, int& exitCode);

}  // namespace tessor::cli
