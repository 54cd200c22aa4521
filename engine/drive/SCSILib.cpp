#include "engine/drive/SCSILib.h"
#include "engine/drive/CompletionEvent.h"

#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstring>
#include <ctime>

namespace tessor::drive {

void TFileCloser::operator()(std::FILE* file) const {
    if (file)
        std::fclose(file);
}

TSCSIDevice::TSCSIDevice() = default;

TSCSIDevice::~TSCSIDevice() {
    CloseDevice(*this);
    if (ClaimHandle != INVALID_HANDLE)
        System->Close(ClaimHandle);
    if (ClaimLockFd >= 0)
        ::close(ClaimLockFd);
}

TSense DecodeSense(const uint8_t* sense) {
    const uint8_t code = sense[0] & 0x7F;
    if (code != SENSE_FIXED_CURRENT && code != SENSE_FIXED_DEFERRED)
        return {};
    return {uint8_t(sense[2] & 0x0F), sense[12], sense[13]};
}

uint16_t CapabilitiesWord(const TSCSIDevice& device, size_t offset) {
    if (offset + 2 > sizeof(device.CapabilitiesPage))
        return 0;
    uint16_t value;
    std::memcpy(&value, device.CapabilitiesPage + offset, 2);
    return value;
}

TSCSIRequest MakeRequest(uint8_t flags, const uint8_t* cdb, uint8_t cdbLength, void* buffer,
                         uint32_t length) {
    TSCSIRequest request;
    std::memset(&request, 0, sizeof request);
    request.SRB_Flags = flags;
    request.SRB_CDBLen = cdbLength;
    request.SRB_BufLen = length;
    request.SRB_BufPointer = static_cast<uint8_t*>(buffer);
    std::memcpy(request.CDBByte, cdb, cdbLength > 16 ? 16 : cdbLength);
    return request;
}

void InitCommandNames(TSCSIDevice& device) {
    static const struct {
        uint8_t code;
        const char* name;
    } names[] = {
        {0x00, "TEST UNIT READY"},
        {0x01, "REWIND UNIT"},
        {0x03, "REQUEST SENSE"},
        {0x04, "FORMAT UNIT"},
        {0x12, "INQUIRY"},
        {0x1B, "START STOP UNIT"},
        {0x1E, "PREVENT/ALLOW REMOVAL"},
        {0x23, "READ FORMAT CAPACITIES"},
        {0x25, "READ CAPACITY"},
        {0x28, "READ (10)"},
        {0x2A, "WRITE (10)"},
        {0x2B, "SEEK (10)"},
        {0x2E, "WRITE AND VERIFY (10)"},
        {0x2F, "VERIFY (10)"},
        {0x35, "SYNCHRONIZE CACHE"},
        {0x42, "READ SUB-CHANNEL"},
        {0x43, "READ TOC/PMA/ATIP"},
        {0x45, "PLAY AUDIO (10)"},
        {0x46, "GET CONFIGURATION"},
        {0x47, "PLAY AUDIO MSF"},
        {0x4A, "GET EVENT/STATUS NOTIF"},
        {0x4B, "PAUSE/RESUME"},
        {0x4E, "STOP PLAY/SCAN"},
        {0x51, "READ DISC INFORMATION"},
        {0x52, "READ TRACK INFORMATION"},
        {0x53, "RESERVE TRACK"},
        {0x54, "SEND OPC INFORMATION"},
        {0x55, "MODE SELECT (10)"},
        {0x58, "REPAIR TRACK"},
        {0x5A, "MODE SENSE (10)"},
        {0x5B, "CLOSE TRACK/SESSION"},
        {0x5C, "READ BUFFER CAPACITY"},
        {0x5D, "SEND CUE SHEET"},
        {0xA1, "BLANK"},
        {0xA2, "SEND EVENT"},
        {0xA3, "SEND KEY"},
        {0xA4, "REPORT KEY"},
        {0xA5, "PLAY AUDIO (12)"},
        {0xA6, "LOAD/UNLOAD CD/DVD"},
        {0xA7, "SET READ AHEAD"},
        {0xA8, "READ (12)"},
        {0xAA, "WRITE (12)"},
        {0xAC, "GET PERFORMANCE"},
        {0xAD, "READ DVD STRUCTURE"},
        {0xB6, "SET STREAMING"},
        {0xB9, "READ CD MSF"},
        {0xBA, "SCAN"},
        {0xBB, "SET CD SPEED"},
        {0xBD, "MECHANISM STATUS"},
        {0xBE, "READ CD"},
        {0xBF, "SEND DVD STRUCTURE"},
    };
    for (auto& name : device.CommandNames)
        name.clear();
    for (const auto& entry : names) {
        std::string name = entry.name;
        name.resize(22, ' ');
        device.CommandNames[entry.code] = name;
    }
}

bool OpenCommandLog(TSCSIDevice& device, const std::string& fileName) {
    device.LogStream.reset(std::fopen(fileName.c_str(), "wb"));
    if (!device.LogStream)
        return false;
    std::fputs("GetQTRXVersion\r\n", device.LogStream.get());
    std::fflush(device.LogStream.get());
    return true;
}

void CloseDevice(TSCSIDevice& device) {
    device.LogStream.reset();
    if (device.Handle != INVALID_HANDLE) {
        device.System->Close(device.Handle);
        device.Handle = INVALID_HANDLE;
    }
}

namespace {

// Appends printf-style text to a line.
template <typename... TArgs>
void Append(std::string& line, const char* format, TArgs... args) {
    char text[256];
    const int n = std::snprintf(text, sizeof text, format, args...);
    if (n > 0)
        line.append(text, size_t(n) < sizeof text ? size_t(n) : sizeof text - 1);
}

void WriteLogLine(TSCSIDevice& device, const TSCSIRequest& request) {
    std::string line;
    const uintptr_t address = reinterpret_cast<uintptr_t>(request.SRB_BufPointer);
    if (address % 4 != 0)
        Append(line, "- NAL -> %" PRIXPTR " ", address);

    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm utc{};
    gmtime_r(&now.tv_sec, &utc);
    const uint8_t opcode = request.CDBByte[0];
    const std::string& name =
        opcode < std::size(device.CommandNames) ? device.CommandNames[opcode] : std::string();
    Append(line, "%.2d:%.2d:%.3d ", utc.tm_min, utc.tm_sec, int(now.tv_nsec / 1000000));
    line += name;
    Append(line, " (%.2X) {%.2X:%.2X} - %.1X:%.1X:%.1X <%.2X> [%.5X] ", opcode, request.SRB_Flags,
           request.SRB_CDBLen, request.SRB_HaId, request.SRB_Target, request.SRB_Lun,
           request.SRB_Status, request.SRB_BufLen);
    for (int i = 1; i < 16; ++i)
        Append(line, "%.2X ", request.CDBByte[i]);
    line += "| ";
    if (request.SRB_BufPointer) {
        const uint32_t shown = request.SRB_BufLen < 100 ? request.SRB_BufLen : 100;
        for (uint32_t i = 0; i < shown; ++i)
            Append(line, "%.2X ", request.SRB_BufPointer[i]);
    }
    Append(line, "%.2X:%.2X", request.SenseArea[12], request.SenseArea[13]);
    if (device.UsePassThrough == 1)
        Append(line, ", %u", device.LastOsError);
    line += "\r\n";
    std::fwrite(line.data(), 1, line.size(), device.LogStream.get());
    std::fflush(device.LogStream.get());
}

// Turns descriptor-format sense (72h/73h) into the fixed format the engine
// reads; fixed-format sense is kept as it came.
void NormaliseSense(const uint8_t* in, size_t length, uint8_t* out, size_t outLength) {
    std::memset(out, 0, outLength);
    if (length == 0)
        return;
    const uint8_t code = in[0] & 0x7F;
    if ((code == SENSE_DESCRIPTOR_CURRENT || code == SENSE_DESCRIPTOR_DEFERRED) && length >= 4) {
        out[0] = code == SENSE_DESCRIPTOR_CURRENT ? SENSE_FIXED_CURRENT : SENSE_FIXED_DEFERRED;
        out[2] = in[1] & 0x0F;
        out[7] = 10;
        if (outLength > 13) {
            out[12] = in[2];
            out[13] = in[3];
        }
        return;
    }
    std::memcpy(out, in, length < outLength ? length : outLength);
}

}  // namespace

uint8_t SendPassThrough(TSCSIDevice& device, TSCSIRequest& request) {
    TSystemDrives& system = *device.System;
    if (device.Handle == INVALID_HANDLE) {
        uint32_t error = 0;
        int handle = system.Open(device.DriveLetter, true, error);
        if (handle == INVALID_HANDLE)
            handle = system.Open(device.DriveLetter, false, error);
        device.Handle = handle;
    }

    TPassThroughBlock block;
    block.CdbLength = request.SRB_CDBLen > 16 ? 16 : request.SRB_CDBLen;
    std::memcpy(block.Cdb, request.CDBByte, block.CdbLength);
    if (request.SRB_Flags & SRB_DIR_IN)
        block.Direction = TDataDirection::In;
    else if (request.SRB_Flags & SRB_DIR_OUT)
        block.Direction = TDataDirection::Out;
    else
        block.Direction = TDataDirection::None;
    block.DataBuffer = request.SRB_BufPointer;
    block.DataTransferLength = request.SRB_BufPointer ? request.SRB_BufLen : 0;
    if (block.DataTransferLength == 0)
        block.Direction = TDataDirection::None;
    block.TimeOutSeconds = PASS_THROUGH_TIMEOUT_SECONDS;

    uint32_t error = 0;
    const bool carried = system.PassThrough(device.Handle, block, error);
    // A command the adapter or driver lost has no SCSI status of its own;
    // report it as an I/O error of the call.
    const bool transportFault = carried && (block.HostStatus != 0 || (block.DriverStatus & 7) != 0);
    device.LastOsError = !carried ? error : transportFault ? uint32_t(EIO) : 0;

    if (carried && !transportFault && block.ScsiStatus == STATUS_GOOD) {
        request.SRB_Status = REQUEST_DONE;
    } else {
        request.SRB_Status = REQUEST_ERROR;
        const size_t senseLength =
            carried
                ? (block.SenseLength < sizeof block.Sense ? block.SenseLength : sizeof block.Sense)
                : 0;
        uint8_t fixed[SENSE_LEN];
        NormaliseSense(block.Sense, senseLength, fixed, sizeof fixed);
        std::memcpy(request.SenseArea, fixed, sizeof fixed);
        request.SRB_TargStat = carried ? block.ScsiStatus : 0;
    }

    if (device.CloseAfterCommand == 1 && device.Handle != INVALID_HANDLE) {
        if (system.Close(device.Handle))
            device.Handle = INVALID_HANDLE;
    }
    return request.SRB_Status;
}

uint32_t SendAspiRequest(TSCSIDevice& device, void* request, bool withEvent) {
    if (!device.SendCommandEntry)
        return ASPI_SEND_FAILED;
    intptr_t event = 0;
    // The field sits unaligned in the packed block: set it through the struct.
    auto* execute = withEvent ? static_cast<TSCSIRequest*>(request) : nullptr;
    if (execute) {
        // The library signals a request it completes later on this event.
        if (!CreateCompletionEvent(event, device.LastOsError)) {
            // Without an event a pending request could not be waited for.
            return ASPI_SEND_FAILED;
        }
        execute->SRB_PostProc = event;
    }
    const uint32_t result = device.SendCommandEntry(request) & 0xFF;
    if (execute) {
        if (result == SS_PENDING)
            WaitCompletionEvent(event);
        CloseCompletionEvent(event);
        execute->SRB_PostProc = 0;
    }
    return result;
}

uint8_t ExecuteRequest(TSCSIDevice& device, TSCSIRequest& request) {
    if (device.TransportReady == 0 || device.HostAdapter == NO_ADDRESS ||
        device.TargetId == NO_ADDRESS) {
        request.SRB_Status = REQUEST_ERROR;
        return REQUEST_ERROR;
    }
    request.SRB_HaId = device.HostAdapter;
    request.SRB_Target = device.TargetId;
    request.SRB_Lun = device.Lun;
    request.SRB_SenseLen = REQUEST_SENSE_LENGTH;
    request.SRB_Cmd = SC_EXEC_SCSI_CMD;

    uint32_t sendResult;
    if (device.UsePassThrough == 1) {
        request.SRB_PostProc = 0;
        sendResult = SendPassThrough(device, request);
    } else {
        sendResult = SendAspiRequest(device, &request, true);
        if (sendResult == ASPI_SEND_FAILED) {
            request.SRB_Status = REQUEST_ERROR;
            sendResult = REQUEST_ERROR;
        }
    }

    if (device.LogStream)
        WriteLogLine(device, request);

    // Judged by the request's final status: a request the library completes
    // later answers "pending" first.
    (void)sendResult;
    device.TargetBusy = request.SRB_Status != SS_COMP && request.SRB_TargStat == STATUS_BUSY;
    std::memcpy(device.Sense, request.SenseArea, sizeof device.Sense);
    if (request.SenseArea[12] != 0) {
        device.LastSenseCode = SenseCode(request.SenseArea[12], request.SenseArea[13]);
        device.LastSense = DecodeSense(request.SenseArea);
    }
    return request.SRB_Status;
}

}  // namespace tessor::drive
