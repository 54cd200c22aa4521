// The language of the texts tessor-cli prints that are language constants
// (workflow lines, status texts, "Device not ready or no disk inserted").
#pragma once

#include <string>
#include <vector>

namespace tessor::cli {

// Takes "--language VALUE" or "--language=VALUE" out of the arguments
// (anywhere before a "--"). False with `error` set when its value is
// missing or names no language Tessor has: en, de, ro, or 1033, 1031, 1048.
// Without the option the language stays English.
bool TakeLanguageOption(std::vector<std::string>& args, std::string& error);

// A language constant's text in the chosen language, in the terminal's
// encoding (UTF-8).
std::string LangText(const char* name);

}  // namespace tessor::cli
