#include "engine/platform/Arguments.h"

namespace tessor::platform {

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

}  // namespace tessor::platform
