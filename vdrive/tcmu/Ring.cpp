#include "vdrive/tcmu/Ring.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "vdrive/tcmu/RingLayout.h"

namespace tessor::vdrive::tcmu {

namespace {

const TTcmuLayout& L = kTcmuLayout;

// One iovec of a command entry: an offset into the mapping and a length.
struct TSpan {
    uint64_t offset = 0;
    uint64_t length = 0;
};

template <typename T>
T Get(const uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// The ring's head and tail, read and written across the kernel boundary.
uint32_t LoadAcquire(const uint8_t* p) {
    return __atomic_load_n(reinterpret_cast<const uint32_t*>(p), __ATOMIC_ACQUIRE);
}
void StoreRelease(uint8_t* p, uint32_t v) {
    __atomic_store_n(reinterpret_cast<uint32_t*>(p), v, __ATOMIC_RELEASE);
}

bool WriteAll(int fd, const void* data, size_t length) {
    while (write(fd, data, length) < 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}

}  // namespace

uint8_t CdbLength(uint8_t opcode) {
    switch (opcode >> 5) {
        case 0:
            return 6;
        case 1:
        case 2:
            return 10;
        case 5:
            return 12;
        default:
            return 16;
    }
}

TRing::~TRing() {
    if (!owned_)
        return;
    if (map_ != nullptr)
        munmap(map_, size_);
    if (fd_ >= 0)
        close(fd_);
}

bool TRing::Open(const std::string& uio, size_t size, std::string& error) {
    owned_ = true;
    // Non-blocking, so a pass over the ring with no interrupt pending does not wait.
    fd_ = open(("/dev/" + uio).c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) {
        error = "cannot open /dev/" + uio + ": " + std::strerror(errno);
        return false;
    }
    void* map = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
    if (map == MAP_FAILED) {
        error = "cannot map /dev/" + uio + ": " + std::strerror(errno);
        return false;
    }
    map_ = static_cast<uint8_t*>(map);
    size_ = size;
    return CheckMailbox(error);
}

bool TRing::Attach(int fd, uint8_t* map, size_t size, std::string& error) {
    owned_ = false;
    fd_ = fd;
    map_ = map;
    size_ = size;
    return CheckMailbox(error);
}

bool TRing::CheckMailbox(std::string& error) const {
    if (size_ < L.mailboxSize || Get<uint16_t>(map_ + L.versionAt) != L.version ||
        !Inside(Get<uint32_t>(map_ + L.cmdrOffAt), Get<uint32_t>(map_ + L.cmdrSizeAt))) {
        error = "no TCMU mailbox of version " + std::to_string(L.version);
        return false;
    }
    return true;
}

bool TRing::Inside(uint64_t offset, uint64_t length) const {
    return offset <= size_ && length <= size_ - offset;
}

bool TRing::Serve(const std::function<bool(const uint8_t* cdb)>& gatherOut, const THandler& handler,
                  std::string& error) {
    uint32_t count = 0;
    // Clears the interrupt; the ring is walked whether or not one was pending.
    if (read(fd_, &count, sizeof count) < 0 && errno != EINTR && errno != EAGAIN) {
        error = std::string("uio read: ") + std::strerror(errno);
        return false;
    }
    const uint64_t ringStart = Get<uint32_t>(map_ + L.cmdrOffAt);
    const uint32_t ringSize = Get<uint32_t>(map_ + L.cmdrSizeAt);
    uint32_t tail = LoadAcquire(map_ + L.tailAt);
    bool served = false;
    for (uint32_t head = LoadAcquire(map_ + L.headAt); tail != head;
         head = LoadAcquire(map_ + L.headAt)) {
        if (tail >= ringSize || !Inside(ringStart + tail, L.entrySize)) {
            error = "ring tail " + std::to_string(tail) + " outside the ring";
            return false;
        }
        uint8_t* entry = map_ + ringStart + tail;
        const uint32_t lenOp = Get<uint32_t>(entry + L.lenOpAt);
        const uint32_t length = lenOp & ~L.opMask;
        const uint32_t op = lenOp & L.opMask;
        if (length == 0 || length > ringSize || !Inside(ringStart + tail, length)) {
            error =
                "ring entry of length " + std::to_string(length) + " at " + std::to_string(tail);
            return false;
        }
        if (op == L.opCmd) {
            if (!Answer(entry, length, gatherOut, handler, error))
                return false;
        } else if (op != L.opPad && op != L.opTmr) {
            // Task management entries are only reports; anything else is unknown.
            entry[L.uflagsAt] = static_cast<uint8_t>(entry[L.uflagsAt] | L.flagUnknownOp);
        }
        tail = (tail + length) % ringSize;
        StoreRelease(map_ + L.tailAt, tail);
        served = true;
    }
    // Writing to the uio node makes the kernel complete what was answered.
    if (served && !WriteAll(fd_, &count, sizeof count)) {
        error = std::string("uio write: ") + std::strerror(errno);
        return false;
    }
    return true;
}

bool TRing::Answer(uint8_t* entry, uint32_t length,
                   const std::function<bool(const uint8_t* cdb)>& gatherOut,
                   const THandler& handler, std::string& error) {
    // The reply overlays the request: take the CDB and the iovecs out of the
    // entry before answering.
    TRingCommand command;
    const uint64_t cdbOffset = Get<uint64_t>(entry + L.cdbOffAt);
    if (!Inside(cdbOffset, 1)) {
        error = "CDB outside the mapping";
        return false;
    }
    command.cdbLength = CdbLength(map_[cdbOffset]);
    std::memcpy(command.cdb, map_ + cdbOffset,
                std::min<uint64_t>(command.cdbLength, size_ - cdbOffset));
    const uint32_t iovCount = Get<uint32_t>(entry + L.iovCntAt);
    if (L.iovAt + static_cast<uint64_t>(iovCount) * L.iovSize > length) {
        error = "iovecs beyond their entry";
        return false;
    }
    std::vector<TSpan> spans(iovCount);
    uint64_t total = 0;
    for (uint32_t i = 0; i < iovCount; ++i) {
        const uint8_t* iov = entry + L.iovAt + i * L.iovSize;
        spans[i].offset = Get<uint64_t>(iov);  // an offset into the mapping, not an address
        spans[i].length = Get<uint64_t>(iov + 8);
        if (!Inside(spans[i].offset, spans[i].length)) {
            error = "data outside the mapping";
            return false;
        }
        total += spans[i].length;
    }
    command.dataLength = static_cast<uint32_t>(total);
    data_.assign(total, 0);
    if (gatherOut(command.cdb)) {
        size_t at = 0;
        for (const TSpan& s : spans) {
            if (s.length > 0)
                std::memcpy(data_.data() + at, map_ + s.offset, s.length);
            at += s.length;
        }
    }
    const TRingReply reply = handler(command, data_);
    uint8_t flags = entry[L.uflagsAt];
    if (reply.dataIn) {
        const uint32_t moved = static_cast<uint32_t>(std::min<uint64_t>(reply.dataInLength, total));
        uint64_t left = moved;
        size_t at = 0;
        for (const TSpan& s : spans) {
            const uint64_t n = std::min(left, s.length);
            if (n > 0)
                std::memcpy(map_ + s.offset, data_.data() + at, n);
            at += n;
            left -= n;
        }
        // Fewer bytes than the initiator asked for: the rest is its residual.
        flags = static_cast<uint8_t>(flags | L.flagReadLen);
        std::memcpy(entry + L.readLenAt, &moved, sizeof moved);
    }
    entry[L.statusAt] = reply.status;
    std::memset(entry + L.senseAt, 0, L.senseSize);
    if (!reply.sense.empty())
        std::memcpy(entry + L.senseAt, reply.sense.data(),
                    std::min(reply.sense.size(), L.senseSize));
    entry[L.uflagsAt] = flags;
    return true;
}

}  // namespace tessor::vdrive::tcmu
