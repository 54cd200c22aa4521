// The commands of tessor-cli. Each takes the arguments after its name and
// returns the process exit code.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace tessor::cli {

int ImageCommand(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);
int BurnCommand(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);
int BurnImageCommand(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);
int VerifyCommand(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);
int EraseCommand(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);
int ListCommand(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);
int DevicesCommand(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);
int TrayCommand(bool eject, const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

void PrintUsage(std::FILE* out);

}  // namespace tessor::cli
