// The read-ahead cache thread.
//
// The sector stream of a compilation is, in order: the header area built by
// BuildHeaderArea, the boot image, the UDF file stream, the contents of every
// file in FileTable order, zero padding up to the end of the last 64 KiB
// block, and (with the UDF bridge) the closing anchor in the very last
// sector. Sector k of the stream is sector k of the layout. In read mode the
// stream is an existing image file, block by block.
//
// Each byte is copied once on its way: the producer reads (or builds) it
// straight into the block being filled, and TakeBlock hands the whole block
// to the writer by exchanging buffers. Both sides wait on a condition
// variable with the polling periods as time-outs, so a full or empty cache
// reacts at once, and an abort is still seen within 20 ms. A waiting side is
// woken once a batch of blocks is ready for it (kHandOverBlocks), not for
// every block: a wake-up costs as much as copying a few blocks.
#include "engine/writer/Cache.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <unordered_map>

#include "engine/builder/Tree.h"
#include "engine/builder/UDFBridge.h"
#include "engine/platform/File.h"
#include "engine/platform/FileSearch.h"
#include "engine/platform/Memory.h"
#include "engine/platform/Strings.h"
#include "engine/platform/Threads.h"

namespace tessor::writer {

using builder::kBlockSize;
using builder::kBlockTableSlots;
using builder::kSectorSize;
using builder::kSectorsPerBlock;
using builder::TImageBuilder;
using namespace std::chrono_literals;

namespace {

constexpr size_t kMaxSpareBlocks = 8;
// Blocks (512 KiB) that a waiting writer or producer is woken for.
constexpr int32_t kHandOverBlocks = 8;
// Source files opened ahead of the one being read, each with a hint to read
// its start from the disk: the disk order is fixed, but the disk need not
// wait for each open to ask for the next file. At most kOpenAhead files, and
// none that begins more than kReadAheadBytes after the one being read: a
// file is opened a moment before its turn, not a whole large file earlier.
constexpr size_t kOpenAhead = 16;
constexpr int64_t kReadAheadBytes = 1 << 20;
// The hint costs a system call per file, for nothing when the files come
// from memory: after this many reads in a row that found their data in
// memory (or, where the system cannot tell, took no longer than a copy from
// memory would), no more hints are given until a read waits again.
constexpr int kFastReadsWithoutHints = 64;

// Whether a read of `bytes` took as long as a disk makes one wait: longer
// than 30 us plus 0.5 ns a byte (about what copying from memory costs).
bool ReadWaited(std::chrono::steady_clock::duration took, int64_t bytes) {
    return took > std::chrono::nanoseconds(30'000 + bytes / 2);
}

// A source file opened before its turn, or why it could not be.
struct TOpenedSource {
    const builder::TFileEntry* Entry = nullptr;
    platform::TFile File;
    platform::TFileStamp Stamp;  // as it was opened
    int Error = 0;               // errno of a failed open
};

// Whether the stream reads the entry's source file.
bool ReadsSource(const builder::TFileEntry& e) {
    return e.Directory == nullptr && !e.SourcePath.empty() && e.Size != 0 && e.SameData == nullptr;
}

class TProducer {
public:
    explicit TProducer(TImageBuilder& b) : b_(b) {}
    ~TProducer() { delete[] open_; }

    void Run();

private:
    bool ReadImageFile();
    bool StreamBytes(const uint8_t* data, uint32_t count);
    bool StreamUdfSectors();
    bool StreamFile(platform::TFile& file, const std::u16string& path, uint64_t size);
    void NoteChanged(const std::u16string& path);
    void OpenAhead(int32_t index);
    bool StreamSource(TOpenedSource& source, const platform::TFileStamp* compared);
    void CheckSharer(const builder::TFileEntry& e, const platform::TFileStamp* compared);
    bool StreamBootImage();
    bool FinishStream();
    bool WaitForTaken();

    bool EnsureOpenBlock();
    void CountOpenBlock(int32_t length);
    bool WaitForRoom(int32_t limit);
    void AdjustPriority();
    void SetPriority(platform::TThreadPriority p);
    void Fail(uint32_t error, const std::u16string* path);
    void StopOnAbort();
    bool Aborted() const { return b_.AbortRequested.load() != 0; }

    TImageBuilder& b_;
    uint8_t* open_ = nullptr;  // the block being filled; the writer cannot see it
    int32_t fill_ = 0;
    bool stopped_ = false;
    bool shortRead_ = false;           // the file being streamed ended early
    std::deque<TOpenedSource> ahead_;  // in FileTable order
    platform::TFolderOpener opener_;
    uint64_t aheadBytes_ = 0;  // the sizes of the files in ahead_
    int fastReads_ = 0;        // reads in a row that did not wait
    int32_t nextAhead_ = 0;    // the next FileTable index to open ahead
};

uint8_t* AllocateBlock(TImageBuilder& b) {
    {
        std::lock_guard lock(*b.EngineLock);
        if (!b.SpareBlocks.empty()) {
            uint8_t* block = b.SpareBlocks.back();
            b.SpareBlocks.pop_back();
            return block;
        }
    }
    return new uint8_t[kBlockSize];  // every byte is written before the block is counted
}

void NotifyCache(TImageBuilder& b) {
    b.CacheChanged.notify_all();
}

// The stamps of the files found identical, taken when they were compared.
using TComparedStamps = std::unordered_map<const builder::TFileEntry*, const platform::TFileStamp*>;
TComparedStamps ComparedStamps(const TImageBuilder& b) {
    // Only the members the layout shares count: a set given up (its leader
    // replaced since) is written as separate files, as they are now.
    TComparedStamps stamps;
    const builder::TSmartMember* leader = nullptr;
    for (const builder::TSmartMember& m : b.Smart.Members) {
        if (m.Entry == m.Leader) {
            leader = &m;
        } else if (m.Entry->SameData != nullptr) {
            stamps.emplace(m.Entry, &m.Stamp);
            if (leader != nullptr && leader->Entry == m.Leader)
                stamps.emplace(leader->Entry, &leader->Stamp);
        }
    }
    return stamps;
}

}  // namespace

bool TProducer::EnsureOpenBlock() {
    if (open_ != nullptr)
        return true;
    try {
        open_ = AllocateBlock(b_);
    } catch (const std::bad_alloc&) {
        Fail(kErrDataNotPrepared, nullptr);
        return false;
    }
    fill_ = 0;
    return true;
}

void TProducer::CountOpenBlock(int32_t length) {
    bool wake;
    uint8_t* next = nullptr;
    {
        std::lock_guard lock(*b_.EngineLock);
        b_.ProducerBusy = 1;
        int32_t slot = (b_.BlockHead + b_.BlockCount.load()) % kBlockTableSlots;
        b_.BlockTable[slot].Block = open_;
        b_.BlockTable[slot].Length = length;
        int32_t count = b_.BlockCount.fetch_add(1) + 1;
        wake = b_.WriterWaitsFor > 0 && count >= b_.WriterWaitsFor;
        // The next block to fill comes from the spares under the same lock.
        if (!b_.SpareBlocks.empty()) {
            next = b_.SpareBlocks.back();
            b_.SpareBlocks.pop_back();
        }
        b_.ProducerBusy = 0;
    }
    if (wake)
        NotifyCache(b_);
    open_ = next;  // none spare: EnsureOpenBlock allocates one
    fill_ = 0;
}

// Waits while the cache holds `limit` blocks or more. The writer wakes it
// once it has taken a batch; a block or two taken by a writer that then
// stalls are refilled at the next time-out. The first time the cache is
// full it is primed: the writer may start.
bool TProducer::WaitForRoom(int32_t limit) {
    if (Aborted()) {
        StopOnAbort();
        return false;
    }
    if (b_.BlockCount.load() < limit)
        return true;
    bool wasIdle = false;
    std::unique_lock lock(*b_.EngineLock);
    b_.ProducerWaitsAt = std::max(limit - kHandOverBlocks, 0);
    while (b_.BlockCount.load() >= limit) {
        if (!b_.CachePrimed.exchange(1))
            NotifyCache(b_);
        if (!wasIdle && limit < b_.MaxBlocks) {
            SetPriority(platform::TThreadPriority::Idle);
            wasIdle = true;
        }
        if (Aborted()) {
            b_.ProducerWaitsAt = -1;
            lock.unlock();
            StopOnAbort();
            return false;
        }
        b_.CacheChanged.wait_for(lock, 20ms);
    }
    b_.ProducerWaitsAt = -1;
    return true;
}

void TProducer::SetPriority(platform::TThreadPriority p) {
    auto code = static_cast<uint8_t>(p);
    if (code == b_.CachePriority)
        return;
    b_.CachePriority = code;
    platform::SetCurrentThreadPriority(p);
}

// High while the cache runs low, low while it is nearly full.
void TProducer::AdjustPriority() {
    int32_t blocks = b_.BlockCount.load();
    int32_t max = b_.MaxBlocks;
    if (blocks < max / 4) {
        SetPriority(platform::TThreadPriority::Highest);
    } else if (blocks < max / 2) {
        SetPriority(platform::TThreadPriority::Normal);
    } else {
        SetPriority(platform::TThreadPriority::Lowest);
    }
}

void TProducer::Fail(uint32_t error, const std::u16string* path) {
    {
        std::lock_guard lock(*b_.EngineLock);
        if (error == kErrOpenFile || error == kErrReadFile)
            b_.FileErrorNumber = errno;
        if (path != nullptr)
            b_.CurrentSourcePath = *path;
        b_.ErrorCode = error;
        b_.CacheDone = 1;
        b_.AbortRequested = 1;
    }
    NotifyCache(b_);
    stopped_ = true;
}

// An abort keeps the reason Abort stored ("Aborted by user").
void TProducer::StopOnAbort() {
    {
        std::lock_guard lock(*b_.EngineLock);
        b_.CacheDone = 1;
    }
    NotifyCache(b_);
    stopped_ = true;
}

bool TProducer::ReadImageFile() {
    platform::TFile& file = b_.ImageFileHandle;
    int64_t size = file.Size();
    if (size < 0) {
        Fail(kErrReadFile, &b_.ImagePath);
        file.Close();
        return false;
    }
    int64_t sectors = static_cast<int64_t>(builder::SectorsForBytes(static_cast<uint64_t>(size)));
    b_.TotalSectors = static_cast<int32_t>(sectors);
    b_.SectorsToDeliver = sectors;
    int64_t remaining = size;
    while (remaining > 0) {
        int32_t piece = static_cast<int32_t>(std::min<int64_t>(remaining, kBlockSize));
        if (!EnsureOpenBlock())
            break;
        int64_t got = file.Read(open_, static_cast<size_t>(piece));
        // A file that shrinks while it is written would leave the writer
        // waiting for sectors that never come; it is a read failure.
        if (got != piece) {
            Fail(kErrReadFile, &b_.ImagePath);
            break;
        }
        if (piece % kSectorSize != 0) {
            // The odd tail keeps its length; the rest of its sector is zero
            // so that nothing stale can ever be written from it.
            std::memset(open_ + piece, 0, kSectorSize - piece % kSectorSize);
        }
        CountOpenBlock(piece);
        remaining -= piece;
        if (!WaitForRoom(b_.MaxBlocks))
            break;
    }
    file.Close();
    return !stopped_;
}

// Header bytes (always whole sectors) into the open block.
bool TProducer::StreamBytes(const uint8_t* data, uint32_t count) {
    while (count > 0) {
        if (!EnsureOpenBlock())
            return false;
        uint32_t piece = std::min<uint32_t>(count, kBlockSize - fill_);
        std::memcpy(open_ + fill_, data, piece);
        fill_ += static_cast<int32_t>(piece);
        data += piece;
        count -= piece;
        if (fill_ == kBlockSize)
            CountOpenBlock(kBlockSize);
        if (!WaitForRoom(b_.MaxBlocks))
            return false;
    }
    return true;
}

bool TProducer::StreamUdfSectors() {
    int32_t remaining = b_.UdfStreamSectors;
    while (remaining > 0) {
        if (!EnsureOpenBlock())
            return false;
        int32_t sectors = std::min((kBlockSize - fill_) / kSectorSize, remaining);
        builder::BuildUdfFileSectors(b_, open_ + fill_, sectors);
        fill_ += sectors * kSectorSize;
        remaining -= sectors;
        if (fill_ == kBlockSize)
            CountOpenBlock(kBlockSize);
        if (!WaitForRoom(b_.MaxBlocks))
            return false;
    }
    return true;
}

// `size` bytes of the file, padded with zeros to whole sectors. A file that
// became shorter is padded with zeros too (and shortRead_ set); one that
// grew gives only `size`.
bool TProducer::StreamFile(platform::TFile& file, const std::u16string& path, uint64_t size) {
    uint64_t remaining = size;
    while (remaining > 0) {
        if (!EnsureOpenBlock())
            return false;
        uint32_t room = static_cast<uint32_t>(kBlockSize - fill_);
        uint32_t want;
        uint32_t piece;
        if (room > remaining) {
            want = static_cast<uint32_t>(remaining);
            piece = static_cast<uint32_t>(builder::SectorsForBytes(remaining)) * kSectorSize;
        } else {
            want = piece = room;
        }
        auto started = std::chrono::steady_clock::now();
        platform::TReadWait waited;
        int64_t got = file.Read(open_ + fill_, want, waited);
        if (waited == platform::TReadWait::Unknown
                ? ReadWaited(std::chrono::steady_clock::now() - started, got)
                : waited == platform::TReadWait::Yes)
            fastReads_ = 0;
        else if (fastReads_ < kFastReadsWithoutHints)
            ++fastReads_;
        if (got < 0) {
            errno = file.LastError();
            Fail(kErrReadFile, &path);
            return false;
        }
        if (static_cast<uint32_t>(got) < piece) {
            std::memset(open_ + fill_ + got, 0, piece - static_cast<uint32_t>(got));
            shortRead_ = shortRead_ || static_cast<uint32_t>(got) < want;
        }
        fill_ += static_cast<int32_t>(piece);
        remaining -= std::min<uint64_t>(remaining, piece);
        if (fill_ == kBlockSize)
            CountOpenBlock(kBlockSize);
        AdjustPriority();
        if (!WaitForRoom(b_.MaxBlocks - 1))
            return false;
    }
    return true;
}

// A name whose data another entry's extent holds is not read, but its file
// must still be the one the layout counted on: the same file on disk as it
// was added, and for a file found identical to others, unchanged since the
// comparison. Otherwise the run fails naming it.
void TProducer::CheckSharer(const builder::TFileEntry& e, const platform::TFileStamp* compared) {
    platform::TFileStamp now;
    bool same = platform::StampOf(e.SourcePath, now) && static_cast<uint64_t>(now.Size) == e.Size &&
                (compared != nullptr ? now == *compared
                                     : now.Device == e.SourceDevice && now.Inode == e.SourceInode);
    if (!same)
        NoteChanged(e.SourcePath);
}

// Keeps kOpenAhead source files open from FileTable index `index` on.
void TProducer::OpenAhead(int32_t index) {
    nextAhead_ = std::max(nextAhead_, index);
    while (ahead_.size() < kOpenAhead && aheadBytes_ <= uint64_t(kReadAheadBytes) &&
           nextAhead_ < b_.FileCount) {
        const builder::TFileEntry* e = b_.FileTable[nextAhead_++];
        if (!ReadsSource(*e))
            continue;
        aheadBytes_ += e->Size;
        TOpenedSource& s = ahead_.emplace_back();
        s.Entry = e;
        if (!opener_.OpenRead(s.File, e->SourcePath, &s.Stamp))
            s.Error = s.File.LastError();
        else if (fastReads_ < kFastReadsWithoutHints)
            s.File.WillNeed(std::min<int64_t>(static_cast<int64_t>(e->Size), kReadAheadBytes));
    }
}

bool TProducer::StreamSource(TOpenedSource& source, const platform::TFileStamp* compared) {
    const std::u16string& path = source.Entry->SourcePath;
    const uint64_t size = source.Entry->Size;
    {
        std::lock_guard lock(*b_.EngineLock);
        b_.CurrentSourcePath = path;
    }
    // A file that is not what the layout counted on, or that changes while
    // it is read, cannot be on the disc as it is on disk. The stream goes on
    // (the disc or image is closed properly) and the run fails naming it.
    platform::TFile& file = source.File;
    const platform::TFileStamp& before = source.Stamp;
    platform::TFileStamp after;
    if (!file.IsOpen()) {
        errno = source.Error;
        Fail(kErrOpenFile, &path);
        return false;
    }
    shortRead_ = false;
    bool ok = StreamFile(file, path, size);
    if (ok &&
        (shortRead_ || (compared != nullptr && before != *compared) ||
         static_cast<uint64_t>(before.Size) != size || !file.Stamp(after) || after != before)) {
        NoteChanged(path);
    }
    file.Close();
    return ok;
}

void TProducer::NoteChanged(const std::u16string& path) {
    std::lock_guard lock(*b_.EngineLock);
    if (b_.ChangedSourcePath.empty())
        b_.ChangedSourcePath = path;
}

bool TProducer::StreamBootImage() {
    std::u16string path = platform::FromSystem(b_.BootImagePath);
    {
        std::lock_guard lock(*b_.EngineLock);
        b_.CurrentSourcePath = path;
    }
    platform::TFile file;
    if (!file.OpenReadNarrow(b_.BootImagePath)) {
        Fail(kErrOpenFile, &path);
        return false;
    }
    bool ok = StreamFile(file, path, static_cast<uint64_t>(b_.BootImageSize));
    file.Close();
    return ok;
}

// The last block is always a full 64 KiB; with the UDF bridge its last
// sector is the closing anchor, in a block of its own when the data ended
// exactly on a block boundary.
bool TProducer::FinishStream() {
    bool udf = b_.UDFBridge != 0;
    if (fill_ > 0 || (udf && !b_.AnchorInNewBlock)) {
        if (!EnsureOpenBlock())
            return false;
        std::memset(open_ + fill_, 0, kBlockSize - fill_);
        if (udf && !b_.AnchorInNewBlock) {
            builder::BuildUdfAnchor(b_, open_ + kBlockSize - kSectorSize, b_.UdfLastLba);
        }
        CountOpenBlock(kBlockSize);
        if (!WaitForRoom(b_.MaxBlocks))
            return false;
    }
    if (udf && b_.AnchorInNewBlock) {
        if (!EnsureOpenBlock())
            return false;
        std::memset(open_, 0, kBlockSize);
        builder::BuildUdfAnchor(b_, open_ + kBlockSize - kSectorSize, b_.UdfLastLba);
        CountOpenBlock(kBlockSize);
    }
    return true;
}

// Everything is produced: the cache is primed; wait until the writer has
// taken every sector, or an abort.
bool TProducer::WaitForTaken() {
    std::unique_lock lock(*b_.EngineLock);
    b_.CachePrimed = 1;
    NotifyCache(b_);
    while (b_.SectorsToDeliver.load() > 0) {
        if (Aborted()) {
            lock.unlock();
            StopOnAbort();
            return false;
        }
        b_.CacheChanged.wait_for(lock, 100ms);
    }
    return true;
}

void TProducer::Run() {
    SetPriority(platform::TThreadPriority::BelowNormal);
    bool ok;
    if (b_.ReadFromImageFile) {
        ok = ReadImageFile();
    } else {
        ok = StreamBytes(b_.HeaderBuffer.get(), b_.HeaderLength);
        b_.HeaderBuffer.reset();
        if (ok && b_.BootImagePath[0] != '\0')
            ok = StreamBootImage();
        if (ok && b_.UDFBridge)
            ok = StreamUdfSectors();
        TComparedStamps compared = ComparedStamps(b_);
        for (int32_t i = 0; ok && i < b_.FileCount; ++i) {
            const builder::TFileEntry* e = b_.FileTable[i];
            if (e->Directory != nullptr || e->SourcePath.empty() || e->Size == 0)
                continue;
            auto stamp = compared.empty() ? compared.end() : compared.find(e);
            const platform::TFileStamp* was = stamp == compared.end() ? nullptr : stamp->second;
            if (e->SameData != nullptr) {
                CheckSharer(*e, was);
                continue;
            }
            OpenAhead(i);
            TOpenedSource source = std::move(ahead_.front());
            ahead_.pop_front();
            aheadBytes_ -= source.Entry->Size;
            ok = StreamSource(source, was);
        }
        ahead_.clear();
        if (ok)
            ok = FinishStream();
    }
    if (ok)
        WaitForTaken();
    {
        std::lock_guard lock(*b_.EngineLock);
        b_.CacheDone = 1;
    }
    NotifyCache(b_);
    delete[] open_;
    open_ = nullptr;
    ReleaseBlocks(b_);
}

void StartCacheThread(TImageBuilder& b) {
    // The compilation is built and laid out: the folder listings kept for
    // adding, and what the layout used and freed, go back before the cache
    // takes its share.
    platform::ForgetFolderListings();
    platform::ReturnFreedMemory();
    // Below 2 MB (a record never given a cache size) the producer's "one
    // block short of full" wait could never end; the table holds 10,000.
    int32_t blocks = b.CacheBytes / kBlockSize;
    b.MaxBlocks = std::clamp<int32_t>(blocks, kMinCacheBlocks, kMaxCacheBlocks);
    if (b.BlockTable.size() != static_cast<size_t>(kBlockTableSlots)) {
        b.BlockTable.assign(kBlockTableSlots, builder::TCacheSlot{});
    }
    b.BlockHead = 0;
    b.ChangedSourcePath.clear();
    b.BlockCount = 0;
    b.CacheDone = 0;
    b.CachePrimed = 0;
    b.SectorsToDeliver = b.TotalSectors.load();
    b.CachePriority = 0xFF;
    b.CacheThreadEnded = 0;
    if (!b.WriteBuffer)
        b.WriteBuffer.reset(new uint8_t[kBlockSize]);
    b.CacheThread = std::thread([&b] {
        TProducer producer(b);
        producer.Run();
    });
}

int32_t TakeBlock(TImageBuilder& b) {
    if (b.SectorsToDeliver.load() == 0 || b.CacheDone.load())
        return 0;
    if (b.BlockCount.load() == 0)
        return -1;
    int32_t length;
    bool wake = false;
    {
        std::lock_guard lock(*b.EngineLock);
        b.ConsumerBusy = 1;
        if (b.BlockCount.load() > 0) {
            builder::TCacheSlot& slot = b.BlockTable[b.BlockHead];
            length = slot.Length;
            uint8_t* previous = b.WriteBuffer.release();
            b.WriteBuffer.reset(slot.Block);
            slot.Block = nullptr;
            slot.Length = 0;
            if (b.SpareBlocks.size() < kMaxSpareBlocks) {
                b.SpareBlocks.push_back(previous);
            } else {
                delete[] previous;
            }
            b.BlockHead = (b.BlockHead + 1) % kBlockTableSlots;
            int64_t left = b.SectorsToDeliver -=
                static_cast<int64_t>(builder::SectorsForBytes(length));
            int32_t count = b.BlockCount.fetch_sub(1) - 1;
            // The producer waits for a batch of room, or (everything made)
            // for the last sector to be taken.
            wake = (b.ProducerWaitsAt >= 0 && count <= b.ProducerWaitsAt) || left <= 0;
        } else {
            length = b.CacheDone.load() ? 0 : -1;
        }
        b.ConsumerBusy = 0;
    }
    if (wake)
        NotifyCache(b);
    return length;
}

void WaitForCache(TImageBuilder& b, uint32_t ms) {
    std::unique_lock lock(*b.EngineLock);
    if (b.BlockCount.load() > 0 || b.CacheDone.load())
        return;
    // A batch, or what is left of the stream when that is less (every block
    // is 32 sectors but the last).
    int64_t left = (b.SectorsToDeliver.load() + kSectorsPerBlock - 1) / kSectorsPerBlock;
    b.WriterWaitsFor = static_cast<int32_t>(std::clamp<int64_t>(left, 1, kHandOverBlocks));
    b.CacheChanged.wait_for(lock, std::chrono::milliseconds(ms), [&b] {
        return b.BlockCount.load() >= b.WriterWaitsFor || b.CacheDone.load() ||
               b.AbortRequested.load();
    });
    b.WriterWaitsFor = 0;
}

void ReleaseBlocks(TImageBuilder& b) {
    {
        std::lock_guard lock(*b.EngineLock);
        int32_t count = b.BlockCount.load();
        for (int32_t i = 0; i < count; ++i) {
            builder::TCacheSlot& slot = b.BlockTable[(b.BlockHead + i) % kBlockTableSlots];
            delete[] slot.Block;
            slot = builder::TCacheSlot{};
        }
        for (uint8_t* block : b.SpareBlocks)
            delete[] block;
        b.SpareBlocks.clear();
        b.BlockCount = 0;
        b.BlockHead = 0;
        b.CacheThreadEnded = 1;
    }
    NotifyCache(b);
}

void JoinWriterThreads(TImageBuilder& b) {
    if (b.CacheThread.joinable())
        b.CacheThread.join();
    if (b.WriteThread.joinable())
        b.WriteThread.join();
    if (b.VerifyThread.joinable())
        b.VerifyThread.join();
}

}  // namespace tessor::writer
