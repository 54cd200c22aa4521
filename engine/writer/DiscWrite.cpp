// Placeholder until the drive layer lands: a disc write fails at once with
// "Data not prepared " instead of pretending to write.
#include "engine/writer/DiscWrite.h"

#include "engine/writer/Cache.h"

namespace tessor::writer {

namespace {
class TNoDriveSink final : public TBlockSink {
public:
    explicit TNoDriveSink(builder::TImageBuilder& b) : b_(b) {}
    bool Write(const uint8_t*, int32_t) override {
        b_.ErrorCode = kErrDataNotPrepared;
        return false;
    }
    void Finish(bool) override {}

private:
    builder::TImageBuilder& b_;
};
}  // namespace

void PrepareDiscWrite(builder::TImageBuilder&, drive::TSCSIDevice&) {}

std::unique_ptr<TBlockSink> MakeDiscSink(builder::TImageBuilder& b, drive::TSCSIDevice&) {
    return std::make_unique<TNoDriveSink>(b);
}

}  // namespace tessor::writer
