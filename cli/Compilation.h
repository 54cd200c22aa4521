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
inline const std::vector<std::string> kCompilationFlags = {"--no-joliet", "--no-udf",
                                                           "--iso9660-1999", "--replace"};

// Applies the switches, clears the compilation and adds every source.
// Returns false with a message on `err` when a source is missing or cannot
// be added, or an option is invalid.
bool BuildCompilation(component::TDiscBurner& burner, const TArgs& args, std::FILE* err);

}  // namespace tessor::cli
