// Writing a prepared builder's image through the engine itself: the
// read-ahead cache and the write thread in image-file mode, as
// CreateImageFile runs them.
#pragma once

#include <string>

#include "engine/builder/TreeTypes.h"

namespace tessor::testsupport {

// Writes b (prepared) into imagePath and waits for the completion. False
// with the engine's error text in `error` when the write failed.
bool WriteImageFile(builder::TImageBuilder& b, const std::string& imagePath,
                    std::string* error = nullptr);

}  // namespace tessor::testsupport
