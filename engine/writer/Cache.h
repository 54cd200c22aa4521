// The read-ahead cache: a producer thread that turns the compilation (or an
// existing image file) into the sector stream, in 64 KiB blocks, ahead of
// the writer that sends them to a drive or an image file.
#pragma once

#include <cstdint>

#include "engine/builder/TreeTypes.h"

namespace tessor::writer {

// Engine error codes kept in TImageBuilder::ErrorCode. Codes 5 and 6 are this
// engine's own: a read that fails in the middle of a source file, and an
// image file that cannot be written; both name the file. Drive sense codes
// (ASC x 256 + ASCQ) are never below 256, so the small codes cannot clash.
enum : uint32_t {
    kErrNone = 0,
    kErrDataNotPrepared = 1,
    kErrOpenFile = 2,
    kErrCreateFile = 3,
    kErrAborted = 4,
    kErrReadFile = 5,
    kErrWriteFile = 6,
    // A source file that changed while it was read: the stream went on (the
    // disc or image is complete and closed), but it does not hold that file.
    kErrSourceChanged = 7,
    // The image file to be written is one of the compilation's sources.
    kErrImageIsSource = 8,
    // The drive is busy with another program's write or erase.
    kErrDriveBusy = 9,
    // The drive may only be read: writing needs read-write access.
    kErrDriveReadOnly = 10,
    // The medium cannot be test-written (simulated): only CD-R, CD-RW,
    // DVD-R and DVD-RW can.
    kErrNoTestWrite = 11,
    // A verify read other bytes than were written (VerifyFailLba and
    // VerifyFailPath say where), or could not read a block (the drive's
    // sense says why).
    kErrVerifyDiffers = 12,
    kErrVerifyRead = 13,
    // No complete write to verify against (none yet, a test write, or the
    // compilation changed since).
    kErrNothingToVerify = 14,
    // The disc holds no recorded session of the compilation's size.
    kErrNoSession = 15,
};

// The most blocks the table can hold while one slot stays free for the open
// block: CacheSize values beyond about 624 MB are clamped to this.
inline constexpr int32_t kMaxCacheBlocks = builder::kBlockTableSlots - 1;
// The fewest blocks the cache works with: 2 MB, the smallest CacheSize.
inline constexpr int32_t kMinCacheBlocks = 32;

// Makes and starts the cache thread for the prepared stream (StartWrite has
// built the header area, or set read mode with the image file open). Sets
// MaxBlocks, CachePrimed, SectorsToDeliver, CacheThreadEnded.
void StartCacheThread(builder::TImageBuilder& b);

// The writer's side. Moves the next block into b.WriteBuffer (the buffers
// are exchanged, not copied) and returns its length in bytes; 0 when there
// is no more data (end of stream, producer stopped or abort); -1 when no
// block is ready yet.
int32_t TakeBlock(builder::TImageBuilder& b);

// Waits up to ms milliseconds for the cache to change (a block counted, the
// producer stopped). The writer calls it instead of sleeping after -1.
void WaitForCache(builder::TImageBuilder& b, uint32_t ms);

// Frees every block the cache still holds, the spare ones included.
void ReleaseBlocks(builder::TImageBuilder& b);

// Joins the threads of an earlier write (they have ended or are ending).
void JoinWriterThreads(builder::TImageBuilder& b);

}  // namespace tessor::writer
