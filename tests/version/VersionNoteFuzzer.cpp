// libFuzzer target: any bytes read as a file that may carry a version note.
#include <cstring>

#include "version/FileVersion.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tessor::version::ReadVersionNote([&](uint64_t offset, size_t length, uint8_t* out) {
        if (offset > size || length > size - offset)
            return false;
        std::memcpy(out, data + offset, length);
        return true;
    });
    return 0;
}
