// Reading back what a write put on a disc or into an image file and
// comparing it, block by block, with what was sent: with the digests the
// write thread kept of each block, or with an image file.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/builder/TreeTypes.h"
#include "engine/writer/BlockSink.h"

namespace tessor::drive {
struct TSCSIDevice;
}

namespace tessor::writer {

// OnVerifyDone's shape: Sender, DeviceId, FileId, Failed.
using TVerifyHandler =
    std::function<void(void* sender, uint8_t deviceId, int32_t fileId, bool failed)>;

// FileId values that name no compilation entry: the first difference lies
// outside every file (volume descriptors, directories, UDF structures, a boot
// image), or there is no block to name (verified, aborted, nothing started).
inline constexpr int32_t kVerifyFileSystemArea = -1;
inline constexpr int32_t kVerifyNoBlock = -2;

// The digest of `sectors` (1..32) sectors of 2048 bytes; only those in
// [from, to) (counted within the block) contribute.
builder::TBlockDigest DigestBlock(const uint8_t* data, uint32_t sectors, uint64_t from = 0,
                                  uint64_t to = 32);
// The digest of the block at sector `first` of the session, over the
// sectors that b.DigestFrom and b.DigestTo cover.
builder::TBlockDigest DigestSessionBlock(const builder::TImageBuilder& b, const uint8_t* data,
                                         uint32_t sectors, uint32_t first);

// What one verify reads and what it compares it with.
struct TVerifyJob {
    drive::TSCSIDevice* Drive = nullptr;  // the disc to read; null: the file TargetFile
    std::string TargetFile;               // an image file to read back
    // The image file to compare with (read mode of a disc verify); empty:
    // the digests of the last write.
    std::string ReferenceFile;
};

// Starts the verify thread. True: it runs and exactly one completion
// follows. False: it could not start (ErrorCode set: nothing to verify, the
// drive held by another program, a file that cannot be opened) and the
// completion (failed) has been raised already. Against the digests, the
// job must match the last write's target.
bool StartVerify(builder::TImageBuilder& b, const TVerifyJob& job, void* sender,
                 const TVerifyHandler& handler);

// Lays the prepared compilation out as the last session of the disc in the
// drive holds it (at that session's address) and runs the stream through
// the write thread into digests only, nothing written: its write
// completion (OnWriteDone) follows as for StartWrite, and a verify against
// the digests then compares the disc with the sources. False as StartWrite.
bool StartDigestRun(builder::TImageBuilder& b, drive::TSCSIDevice& drive, void* sender,
                    const builder::TDoneHandler& handler);

// The sink of a digest run: takes every block and keeps nothing.
std::unique_ptr<TBlockSink> MakeDigestSink();

// The entry of the compilation whose data hold sector `sector` (counted from
// the start of the image), and its path on the disc; kVerifyFileSystemArea
// when no file does.
int32_t FileAtSector(const builder::TImageBuilder& b, uint32_t sector, std::u16string& path);

}  // namespace tessor::writer
