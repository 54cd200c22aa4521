// Command-line parsing shared by the commands of tessor-cli.
#pragma once

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace tessor::cli {

// Options of one command: flags ("--no-udf"), valued options ("-o FILE",
// "--label=TEXT" or "--label TEXT") and the positional arguments.
struct TArgs {
    std::map<std::string, std::string> values;
    std::vector<std::string> flags;
    std::vector<std::string> positional;

    bool Has(const std::string& flag) const;
    const std::string* Value(const std::string& name) const;
};

// `valued` lists the options that take a value (long and short names).
// Returns false with `error` set on an unknown option or a missing value.
bool ParseArgs(const std::vector<std::string>& argv, const std::vector<std::string>& valued,
               const std::vector<std::string>& known, TArgs& out, std::string& error);

// Parses a command's arguments with -h/--help added. False when the
// command should end at once with `exitCode`: after printing the help (0),
// or a usage error with the help (2). maxPositional < 0: any number.
bool ParseCommandArgs(const char* command, const std::vector<std::string>& argv,
                      std::vector<std::string> valued, std::vector<std::string> flags,
                      const std::string& help, int maxPositional, TArgs& args, std::FILE* out,
                      std::FILE* err, int& exitCode);

// Exit codes of tessor-cli.
enum : int {
    kExitOk = 0,
    kExitFailed = 1,     // the operation ran and failed
    kExitUsage = 2,      // bad command line or unusable input
    kExitNoSpace = 3,    // the compilation does not fit the disc
    kExitPartial = 4,    // sources would be left out, and --allow-partial was not given
    kExitDiffers = 5,    // verify: what was read back differs from what was written, or
                         // could not be read
    kExitAborted = 130,  // interrupted (Ctrl-C)
};

}  // namespace tessor::cli
