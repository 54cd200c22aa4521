// Scripted stand-ins for the operating system and for an ASPI library, with
// a drive behind them that answers every command from a per-opcode script.
#pragma once

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <thread>
#include <tuple>
#include <vector>

#include "engine/drive/DeviceTypes.h"
#include "engine/drive/SCSIDefs.h"

namespace tessor::drive::test {

// What the drive answers to one command.
struct TReply {
    uint8_t Status = STATUS_GOOD;  // SCSI status byte
    TSense Sense;                  // with CHECK CONDITION
    std::vector<uint8_t> Data;     // data in (truncated to the allocation)
    uint8_t ResponseCode = 0x70;   // 70h, F0h, or 72h/73h for descriptor sense
};

inline TReply Good(std::vector<uint8_t> data = {}) {
    TReply reply;
    reply.Data = std::move(data);
    return reply;
}
inline TReply Check(uint8_t key, uint8_t asc, uint8_t ascq) {
    TReply reply;
    reply.Status = STATUS_CHKCOND;
    reply.Sense = {key, asc, ascq};
    return reply;
}
inline TReply Busy() {
    TReply reply;
    reply.Status = STATUS_BUSY;
    return reply;
}

// One command as the drive saw it.
struct TReceived {
    std::vector<uint8_t> Cdb;
    std::vector<uint8_t> DataOut;
    uint32_t Length = 0;
    TDataDirection Direction = TDataDirection::None;
};

class TFakeDrive {
public:
    using THandler = std::function<TReply(const TReceived&)>;

    // Constant answer to an operation code.
    void On(uint8_t opcode, TReply reply) {
        handlers_[opcode] = [reply](const TReceived&) { return reply; };
    }
    void On(uint8_t opcode, THandler handler) { handlers_[opcode] = std::move(handler); }
    void Forget(uint8_t opcode) { handlers_.erase(opcode); }

    // Runs a command; data in are copied into buffer. Unscripted opcodes get
    // ILLEGAL REQUEST, invalid operation code.
    TReply Run(const uint8_t* cdb, uint8_t cdbLength, TDataDirection direction, uint8_t* buffer,
               uint32_t length) {
        TReceived received;
        received.Cdb.assign(cdb, cdb + cdbLength);
        received.Length = length;
        received.Direction = direction;
        if (direction == TDataDirection::Out && buffer)
            received.DataOut.assign(buffer, buffer + length);
        Received.push_back(received);
        auto it = handlers_.find(cdb[0]);
        TReply reply = it == handlers_.end() ? Check(5, 0x20, 0) : it->second(received);
        if (direction == TDataDirection::In && buffer && reply.Status == STATUS_GOOD) {
            const size_t n = reply.Data.size() < length ? reply.Data.size() : length;
            if (n)
                std::memcpy(buffer, reply.Data.data(), n);
        }
        return reply;
    }

    // Received commands with this operation code.
    std::vector<TReceived> With(uint8_t opcode) const {
        std::vector<TReceived> out;
        for (const auto& r : Received)
            if (!r.Cdb.empty() && r.Cdb[0] == opcode)
                out.push_back(r);
        return out;
    }

    std::vector<TReceived> Received;

private:
    std::map<uint8_t, THandler> handlers_;
};

// Writes sense as a drive sends it.
inline uint8_t EncodeSense(const TReply& reply, uint8_t* sense, size_t size) {
    std::memset(sense, 0, size);
    if (reply.ResponseCode == 0x72 || reply.ResponseCode == 0x73) {
        sense[0] = reply.ResponseCode;
        sense[1] = reply.Sense.Key;
        sense[2] = reply.Sense.Asc;
        sense[3] = reply.Sense.Ascq;
        return 8;
    }
    sense[0] = reply.ResponseCode;
    sense[2] = reply.Sense.Key;
    sense[7] = 10;
    sense[12] = reply.Sense.Asc;
    sense[13] = reply.Sense.Ascq;
    return 18;
}

// An INQUIRY reply of an optical drive (or another byte 0).
inline std::vector<uint8_t> InquiryData(const char* vendor, const char* product,
                                        const char* revision, uint8_t byte0 = 0x05) {
    std::vector<uint8_t> data(64, 0);
    data[0] = byte0;
    data[1] = 0x80;
    data[4] = 59;
    auto put = [&](size_t at, const char* text, size_t width) {
        for (size_t i = 0; i < width; ++i)
            data[at + i] = ' ';
        for (size_t i = 0; i < width && text[i]; ++i)
            data[at + i] = uint8_t(text[i]);
    };
    put(8, vendor, 8);
    put(16, product, 16);
    put(32, revision, 4);
    return data;
}

// Drive letters as the system shows them.
struct TFakeLetter {
    int Type = DRIVE_NO_ROOT_DIR;
    bool OpenReadWrite = true;
    bool OpenReadOnly = true;
    uint32_t OpenError = EACCES;
    std::optional<TScsiAddress> Address;
    TFakeDrive* Drive = nullptr;
};

inline TScsiAddress Address(uint8_t port, uint8_t target, uint8_t lun) {
    TScsiAddress address;
    address.PortNumber = port;
    address.TargetId = target;
    address.Lun = lun;
    return address;
}

class TFakeSystem final : public TSystemDrives {
public:
    std::map<char, TFakeLetter> Letters;
    std::map<int, char> Open_;  // open handle -> letter
    int NextHandle = 100;
    int Opens = 0;
    int Closes = 0;
    std::vector<int> CommandHandles;  // the handle of every pass-through
    bool FailCloses = false;

    int DriveType(char letter) override {
        auto it = Letters.find(letter);
        return it == Letters.end() ? DRIVE_NO_ROOT_DIR : it->second.Type;
    }
    int Open(char letter, bool readWrite, uint32_t& error) override {
        auto it = Letters.find(letter);
        if (it == Letters.end() || it->second.Type != DRIVE_CDROM ||
            !(readWrite ? it->second.OpenReadWrite : it->second.OpenReadOnly)) {
            error = it == Letters.end() ? ENOENT : it->second.OpenError;
            return INVALID_HANDLE;
        }
        ++Opens;
        Open_[NextHandle] = letter;
        return NextHandle++;
    }
    bool GetScsiAddress(int handle, TScsiAddress& address) override {
        auto it = Open_.find(handle);
        if (it == Open_.end())
            return false;
        const auto& letter = Letters[it->second];
        if (!letter.Address)
            return false;
        address = *letter.Address;
        return true;
    }
    bool PassThrough(int handle, TPassThroughBlock& block, uint32_t& error) override {
        CommandHandles.push_back(handle);
        auto it = Open_.find(handle);
        if (it == Open_.end()) {
            error = EBADF;
            return false;
        }
        TFakeDrive* drive = Letters[it->second].Drive;
        if (!drive) {
            error = EIO;
            return false;
        }
        const TReply reply = drive->Run(block.Cdb, block.CdbLength, block.Direction,
                                        block.DataBuffer, block.DataTransferLength);
        block.ScsiStatus = reply.Status;
        block.SenseLength = 0;
        if (reply.Status == STATUS_CHKCOND)
            block.SenseLength = EncodeSense(reply, block.Sense, sizeof block.Sense);
        error = 0;
        return true;
    }
    bool Close(int handle) override {
        if (FailCloses)
            return false;
        ++Closes;
        return Open_.erase(handle) == 1;
    }
};

// An ASPI library: adapters with drives at (adapter, target, LUN).
class TFakeAspi {
public:
    uint32_t SupportInfo = 0x0101;
    uint8_t AdapterCount = 1;
    std::map<std::tuple<int, int, int>, TFakeDrive*> Drives;
    std::map<std::tuple<int, int, int>, uint8_t> DriveNumbers;  // get disk information
    // Complete execute requests later, from another thread, through the event.
    bool Pending = false;
    int Requests = 0;

    TAspiEntryPoints EntryPoints() {
        TAspiEntryPoints entry;
        entry.GetSupportInfo = [this] { return SupportInfo; };
        entry.SendCommand = [this](void* srb) { return Send(srb); };
        return entry;
    }

    uint32_t Send(void* srb) {
        ++Requests;
        const uint8_t kind = static_cast<uint8_t*>(srb)[0];
        if (kind == SC_HA_INQUIRY) {
            auto* inquiry = static_cast<SRB_HAInquiry*>(srb);
            inquiry->HA_Count = AdapterCount;
            inquiry->SRB_Status = SS_COMP;
            return SS_COMP;
        }
        if (kind == SC_GET_DISK_INFO) {
            auto* info = static_cast<SRB_GetDiskInfo*>(srb);
            auto it = DriveNumbers.find({info->SRB_HaId, info->SRB_Target, info->SRB_Lun});
            if (it == DriveNumbers.end())
                return SS_ERR;
            info->SRB_Int13HDriveInfo = it->second;
            info->SRB_Status = SS_COMP;
            return SS_COMP;
        }
        auto* request = static_cast<SRB_ExecSCSICmd*>(srb);
        auto run = [this, request] {
            auto it = Drives.find({request->SRB_HaId, request->SRB_Target, request->SRB_Lun});
            if (it == Drives.end()) {
                request->SRB_Status = SS_NO_DEVICE;
                return;
            }
            const TDataDirection direction = (request->SRB_Flags & SRB_DIR_IN) ? TDataDirection::In
                                             : (request->SRB_Flags & SRB_DIR_OUT)
                                                 ? TDataDirection::Out
                                                 : TDataDirection::None;
            const TReply reply = it->second->Run(request->CDBByte, request->SRB_CDBLen, direction,
                                                 request->SRB_BufPointer, request->SRB_BufLen);
            request->SRB_TargStat = reply.Status;
            if (reply.Status == STATUS_GOOD) {
                request->SRB_Status = SS_COMP;
            } else {
                if (reply.Status == STATUS_CHKCOND)
                    EncodeSense(reply, request->SenseArea, SENSE_LEN);
                request->SRB_Status = SS_ERR;
            }
        };
        if (!Pending) {
            run();
            return request->SRB_Status;
        }
        const int event = int(request->SRB_PostProc);
        std::thread([run, event] {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            run();
            const uint64_t one = 1;
            (void)!write(event, &one, sizeof one);
        }).detach();
        return SS_PENDING;
    }
};

}  // namespace tessor::drive::test
