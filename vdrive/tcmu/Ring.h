// The command ring of one TCMU device (the kernel's user-space SCSI backend),
// as the uapi header linux/target_core_user.h describes it: a mailbox, a ring
// of command entries and a data area, all in one mapping of the device's uio
// node. The kernel queues entries and raises the uio interrupt; we answer each
// entry in place, move the tail and write to the node so the kernel reaps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tessor::vdrive::tcmu {

// One SCSI command taken from the ring. The ring carries neither the CDB
// length nor the data direction: the length follows from the opcode's group
// and the caller decides the direction.
struct TRingCommand {
    uint8_t cdb[16] = {};
    uint8_t cdbLength = 0;
    uint32_t dataLength = 0;  // what the initiator's buffer holds
};

// The answer to one command.
struct TRingReply {
    uint8_t status = 0;
    std::vector<uint8_t> sense;  // fixed-format sense for a CHECK CONDITION
    bool dataIn = false;         // `data` goes back to the initiator
    uint32_t dataInLength = 0;   // bytes of `data` returned; fewer than asked is a residual
};

// CDB length of an opcode by its group code (SPC-3 4.3.4.1); 16 for the
// groups whose length the opcode does not tell.
uint8_t CdbLength(uint8_t opcode);

class TRing {
public:
    // Called for each command with its data buffer, which holds the initiator's
    // data (data-out) on entry and is read back for a data-in reply.
    using THandler = std::function<TRingReply(const TRingCommand&, std::vector<uint8_t>& data)>;

    TRing() = default;
    ~TRing();
    TRing(const TRing&) = delete;
    TRing& operator=(const TRing&) = delete;

    // Opens /dev/<uio> and maps its map0 of `size` bytes.
    bool Open(const std::string& uio, size_t size, std::string& error);
    // Serves a mapping made elsewhere (tests): `fd` stands for the uio node,
    // read to clear the interrupt and written to make the kernel reap. The
    // ring keeps neither.
    bool Attach(int fd, uint8_t* map, size_t size, std::string& error);
    int Fd() const { return fd_; }

    // Serves the entries queued since the last call, then tells the kernel.
    // `gatherOut(cdb)` says whether the command's data is to be read from
    // the ring before the handler runs. False on a malformed ring.
    bool Serve(const std::function<bool(const uint8_t* cdb)>& gatherOut, const THandler& handler,
               std::string& error);

private:
    bool Inside(uint64_t offset, uint64_t length) const;  // within the mapping
    bool Answer(uint8_t* entry, uint32_t length,
                const std::function<bool(const uint8_t* cdb)>& gatherOut, const THandler& handler,
                std::string& error);

    bool CheckMailbox(std::string& error) const;

    bool owned_ = false;  // the descriptor and the mapping are ours to release
    int fd_ = -1;
    uint8_t* map_ = nullptr;
    size_t size_ = 0;
    std::vector<uint8_t> data_;
};

}  // namespace tessor::vdrive::tcmu
