// One virtual recorder: an MMC device model with one handler per operation
// code. Every refusal is a named sense value; parameter lists are checked in
// full before anything changes. The disc lives in a TDriveStore, so the
// recorder can be driven by several hosts and processes at once.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "vdrive/Disc.h"
#include "vdrive/DriveConfig.h"
#include "vdrive/Sense.h"
#include "vdrive/Store.h"

namespace tessor::vdrive {

enum class TDirection : uint8_t { None, In, Out };

struct TCommand {
    const uint8_t* cdb = nullptr;
    uint8_t cdbLength = 0;
    uint8_t* data = nullptr;
    uint32_t dataLength = 0;
    TDirection direction = TDirection::None;
};

struct TResult {
    uint8_t status = kStatusGood;
    TSense sense;
    bool progressValid = false;  // sense key specific bytes carry a progress indication
    uint16_t progress = 0;       // fraction done, 0..65535
    uint32_t transferred = 0;    // bytes moved to or from the data buffer
};

// Fixed-format sense data (response code 70h, additional length 0Ah).
void BuildFixedSense(const TSense& sense, bool progressValid, uint16_t progress, uint8_t* out,
                     size_t length);

class TDevice {
public:
    TDevice(unsigned index, TDriveConfig config, std::string stateDir, double timeScale);

    bool Open(std::string& error);
    TResult Execute(const TCommand& command);

    // Which way the data of a command moves, from the opcode table; a
    // transport that does not carry the direction (the TCMU ring) asks here.
    // None for opcodes the recorder does not know.
    static TDirection DataDirection(uint8_t opcode);

    const TDriveConfig& Config() const { return config_; }
    unsigned Index() const { return index_; }

    // Operations of the tool and the in-process API; each runs under the
    // drive's locks like a command.
    bool Insert(TMediaKind media, const std::string& imagePath, std::string& error);
    bool Eject(std::string& error);  // the disc leaves the drive
    bool AddFault(const TFault& fault, std::string& error);
    bool ClearFaults(std::string& error);
    bool ReadRecorded(uint32_t lba, uint32_t blocks, std::vector<uint8_t>& out, std::string& error);
    bool Export(const std::string& path, std::string& error);
    bool Reset(std::string& error);  // empty tray, no faults, default write parameters
    bool Snapshot(TDiscState& state, std::string& error);

private:
    struct TContext;
    using THandler = void (TDevice::*)(TContext&);
    struct TOpcode {
        THandler handler = nullptr;
        uint16_t flags = 0;
    };
    static const TOpcode* OpcodeTable();

    template <typename F>
    bool Locked(std::string& error, F&& body, bool replacing = false);

    bool Preamble(TContext& c, const TOpcode& op);
    void CheckMedium(TContext& c, uint16_t flags);
    TOperation ActiveOperation(int64_t nowUs) const;
    TBgFormat BgFormatStatus(int64_t nowUs) const;
    // Runs a long operation: reported in progress for `us` real microseconds
    // when immediate, otherwise the command itself takes that long.
    void StartOperation(TContext& c, TOperation op, int64_t us, bool immediate);
    int64_t Scaled(uint32_t driveMs) const;
    uint16_t CurrentProfile() const;
    bool MediumPresent(int64_t nowUs) const;
    bool SaveState(std::string& error);
    bool TrayFree(std::string& error) const;
    void UseFault(std::vector<TFault>::iterator it);

    // Buffer.
    void DrainBuffer();
    bool Unlimited() const;
    double RecordKBps() const;  // the rate the buffer drains at when not unlimited
    int64_t DrainTimeUs() const;
    bool AcceptIntoBuffer(TContext& c, uint64_t bytes);

    // Recording helpers.
    void CloseTrack(TTrack& track);
    void CloseSession(bool finalize);
    uint8_t WriteType() const { return state_.page05[2] & 0x0F; }
    // Test write (page 05h byte 2 bit 4): the drive goes through the
    // recording without changing the disc.
    bool Simulating() const { return (state_.page05[2] & 0x10) != 0; }
    bool CanSimulate() const;
    uint8_t MultiSession() const { return state_.page05[3] >> 6; }

    // Replies.
    void Reply(TContext& c, const uint8_t* data, size_t length, size_t allocation);
    void BuildPage2A(uint8_t* page, bool defaults) const;
    std::vector<uint16_t> WriteSpeeds() const;  // kB/s, fastest first; empty for a reader
    size_t BuildTrackInfo(uint8_t* out, uint32_t number) const;

    // Handlers.
    void TestUnitReady(TContext& c);
    void RequestSense(TContext& c);
    void Inquiry(TContext& c);
    void ModeSense10(TContext& c);
    void ModeSelect10(TContext& c);
    void GetConfiguration(TContext& c);
    void ReadTocPmaAtip(TContext& c);
    void ReadDiscInformation(TContext& c);
    void ReadTrackInformation(TContext& c);
    void ReadBufferCapacity(TContext& c);
    void ReadFormatCapacities(TContext& c);
    void ReadCapacity(TContext& c);
    void Read10(TContext& c);
    void Write10(TContext& c);
    void SynchronizeCache(TContext& c);
    void CloseTrackSession(TContext& c);
    void ReserveTrack(TContext& c);
    void FormatUnit(TContext& c);
    void Blank(TContext& c);
    void SetCdSpeed(TContext& c);
    void SetStreaming(TContext& c);
    void SendDvdStructure(TContext& c);
    void StartStopUnit(TContext& c);
    void PreventAllowRemoval(TContext& c);
    void RezeroUnit(TContext& c);
    void ModeSense6(TContext& c);
    void InquiryVpd(TContext& c);
    void GetEventStatusNotification(TContext& c);
    void GetPerformance(TContext& c);
    void SendOpcInformation(TContext& c);
    void ReadDiscStructure(TContext& c);

    unsigned index_;
    TDriveConfig config_;
    double timeScale_;
    TDriveStore store_;
    std::mutex mutex_;
    TDiscState state_;
    // Drive memory that does not outlive the process, as in a real drive.
    TSense lastSense_;
    bool lastProgressValid_ = false;
    uint16_t readSpeed_ = 0;     // kB/s; 0 = maximum
    uint16_t writeSpeed_ = 0;    // kB/s; 0 = none set: the fastest
    double bufferFill_ = 0;      // bytes waiting to be recorded
    uint64_t simulatedEnd_ = 0;  // a test write's next address; 0 = none under way
    int64_t bufferStampNs_ = 0;
};

}  // namespace tessor::vdrive
