// Choosing a drive from the command line: scan, select, and name media.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "cli/Options.h"
#include "engine/component/DiscBurner.h"

namespace tessor::cli {

// Options every drive command takes.
inline const std::vector<std::string> kDriveValued = {"--device", "--log", "--aspi"};
inline const std::vector<std::string> kDriveFlags = {"--use-aspi"};
inline const char* kDriveHelp =
    "  --device N          the drive, numbered as 'tessor-cli devices' lists them\n"
    "                      (default: the first writer; for eject/load the first drive)\n"
    "  --log FILE          write the SCSI command log to FILE\n"
    "  --aspi LIBRARY      the ASPI library to use (default: libwnaspi32.so, the\n"
    "                      virtual recorder, beside the program)\n"
    "  --use-aspi          use the ASPI library even when system drives exist\n";

// Scans with the drive options. False with a message when no transport or
// no drive is available.
bool ScanDrives(component::TDiscBurner& burner, const TArgs& args, std::FILE* err);

// Selects --device, or the first writer (firstWriter) or drive 0. False with
// a message when it is out of range or does not answer.
bool SelectDrive(component::TDiscBurner& burner, const TArgs& args, bool firstWriter,
                 std::FILE* err);

// The text of a status code in the chosen language, as the window shows it.
std::string StatusText(uint16_t status);

}  // namespace tessor::cli
