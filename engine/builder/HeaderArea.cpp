#include "engine/builder/HeaderArea.h"

#include <algorithm>
#include <cstring>

namespace tessor::builder {

namespace {

const uint8_t kZeroSector[kSectorSize] = {};

}  // namespace

size_t HeaderCapacity(const TImageBuilder& b) {
    int32_t end = b.FirstDataLba;
    if (b.BootImagePath[0] != '\0') {
        end = b.BootImageLba;
    } else if (b.UDFBridge) {
        end = b.UdfStreamStart;
    }
    return end > 0 ? static_cast<size_t>(end) * kSectorSize : 0;
}

void EmitBytes(TImageBuilder& b, const void* data, uint32_t count) {
    size_t capacity = HeaderCapacity(b);
    if (!b.HeaderBuffer || b.HeaderLength >= capacity)
        return;
    uint32_t room = static_cast<uint32_t>(capacity - b.HeaderLength);
    if (count > room)
        count = room;
    std::memcpy(b.HeaderBuffer.get() + b.HeaderLength, data, count);
    b.HeaderLength += count;
}

void EmitZeroSectors(TImageBuilder& b, uint32_t sectors) {
    for (uint32_t i = 0; i < sectors; ++i)
        EmitBytes(b, kZeroSector, kSectorSize);
}

void EmitZeroTo(TImageBuilder& b, int32_t sector) {
    uint64_t target = static_cast<uint64_t>(sector) * kSectorSize;
    while (b.HeaderLength < target) {
        uint64_t piece = std::min<uint64_t>(target - b.HeaderLength, kSectorSize);
        EmitBytes(b, kZeroSector, static_cast<uint32_t>(piece));
    }
}

}  // namespace tessor::builder
