// Placeholder so the builder links while the UDF bridge is being written.
#include "engine/builder/UDFBridge.h"

namespace tessor::builder {

int32_t LayoutUdfFixedArea(TImageBuilder&, int32_t nextSector) { return nextSector; }
int32_t LayoutUdfFileStream(TImageBuilder&, int32_t nextSector) { return nextSector; }
void SetUdfPartitionEnd(TImageBuilder&) {}
void EmitUdfFixedArea(TImageBuilder&) {}
bool BuildUdfFileSectors(TImageBuilder&, uint8_t*, int) { return false; }
void BuildUdfAnchor(TImageBuilder&, uint8_t*, int32_t) {}

}  // namespace tessor::builder
