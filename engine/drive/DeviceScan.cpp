#include "engine/drive/DeviceScan.h"
#include "engine/drive/DriveClaim.h"

#include <cstring>

#include "engine/drive/DeviceTypes.h"
#include "engine/drive/Queries.h"
#include "engine/drive/SCSILib.h"

namespace tessor::drive {

namespace {

// Everything back to zero except the options and seams that outlive a scan.
void ResetRecord(TSCSIDevice& device) {
    if (device.Handle != INVALID_HANDLE)
        device.System->Close(device.Handle);
    device.Handle = INVALID_HANDLE;
    std::memset(device.TransferBuffer, 0, sizeof device.TransferBuffer);
    for (auto& name : device.CommandNames)
        name.clear();
    for (auto& entry : device.Devices)
        entry = TDeviceEntry{};
    device.DeviceCount = 0;
    device.DriveLetter = 0;
    device.LastOsError = 0;
    device.CloseAfterCommand = 0;
    device.TransportReady = 0;
    device.UsePassThrough = 0;
    device.SendCommandEntry = nullptr;
    std::memset(&device.DiskInfoRequest, 0, sizeof device.DiskInfoRequest);
    device.HostAdapter = 0;
    device.TargetId = 0;
    device.Lun = 0;
    device.MediaType = 0;
    std::memset(device.Sense, 0, sizeof device.Sense);
    device.TargetBusy = 0;
    device.LogStream.reset();
    device.LastSenseCode = 0;
    device.BufferCapacity = 0;
    device.BufferBlank = 0;
    device.TrackInfo = TTrackInfo{};
    std::memset(device.DiscInfo, 0, sizeof device.DiscInfo);
    std::memset(device.DiscInfo2, 0, sizeof device.DiscInfo2);
    std::memset(device.ConfigBuffer, 0, sizeof device.ConfigBuffer);
    std::memset(device.CapabilitiesPage, 0, sizeof device.CapabilitiesPage);
    device.EraseHandler = nullptr;
    device.QuickErase = 0;
    std::memset(device.WriteParametersPage, 0, sizeof device.WriteParametersPage);
    device.WriteSpeedSetting = 0;
    device.ReadSpeedSetting = 0;
    device.TestWrite = 0;
}

void WriteLog(TSCSIDevice& device, const std::string& text) {
    if (!device.LogStream)
        return;
    std::fwrite(text.data(), 1, text.size(), device.LogStream.get());
    std::fflush(device.LogStream.get());
}

// The three identification texts of an INQUIRY reply (vendor, product,
// revision with its vendor-specific bytes); control bytes become blanks.
struct TIdentification {
    std::string Vendor, Product, Revision;
};

TIdentification IdentificationOf(uint8_t* reply) {
    for (int i = 8; i < 48; ++i)
        if (reply[i] < 0x20)
            reply[i] = ' ';
    const char* text = reinterpret_cast<const char*>(reply);
    return {std::string(text + 8, 8), std::string(text + 16, 16), std::string(text + 32, 16)};
}

void SetDescription(TDeviceEntry& entry, const TIdentification& id) {
    std::snprintf(entry.Name, sizeof entry.Name, "%d:%d:%d,%c: %s %s %s ", entry.HostAdapter,
                  entry.TargetId, entry.Lun, entry.Letter, id.Vendor.c_str(), id.Product.c_str(),
                  id.Revision.c_str());
}

// A cleared INQUIRY request for 64 bytes into TransferBuffer.
TSCSIRequest InquiryRequest(TSCSIDevice& device) {
    static const uint8_t cdb[6] = {OP_INQUIRY, 0x00, 0x00, 0x00, 0x40, 0x00};
    TSCSIRequest request = MakeRequest(FLAGS_DATA_IN, cdb, 6, device.TransferBuffer, 64);
    request.SRB_SenseLen = REQUEST_SENSE_LENGTH;
    request.SRB_Cmd = SC_EXEC_SCSI_CMD;
    return request;
}

std::string ErrorLine(uint32_t code) {
    return "System Error Code: " + std::to_string(code) + "\r\n";
}

struct TSystemScanResult {
    int Opened = 0;       // drives opened
    int Unaddressed = 0;  // of them, drives without SCSI address (slots from the end)
};

// Lists the optical drives of letters C..Z.
TSystemScanResult SystemScan(TSCSIDevice& device) {
    TSystemDrives& system = *device.System;
    TSystemScanResult result;
    int freeFromEnd = MAX_DEVICES - 1;
    for (char letter = FIRST_DRIVE_LETTER; letter <= LAST_DRIVE_LETTER; ++letter) {
        const int type = system.DriveType(letter);
        if (type != DRIVE_CDROM) {
            WriteLog(device, std::string(1, letter) + ": ( " + std::to_string(type) + ")\r\n");
            continue;
        }
        uint32_t error = 0;
        int handle = system.Open(letter, true, error);
        if (handle == INVALID_HANDLE) {
            WriteLog(device, ErrorLine(error));
            // A second read-only attempt only tells the log whether the
            // device can be opened at all with other sharing.
            const int probe = system.Open(letter, false, error);
            if (probe == INVALID_HANDLE)
                WriteLog(device, ErrorLine(error));
            else
                system.Close(probe);
            handle = system.Open(letter, false, error);
            if (handle == INVALID_HANDLE) {
                WriteLog(device, ErrorLine(error) + ")\r\n");
                continue;
            }
        }

        TScsiAddress address;
        TDeviceEntry* slot;
        if (system.GetScsiAddress(handle, address)) {
            slot = &device.Devices[device.DeviceCount++];
            slot->HostAdapter = address.PortNumber;
            slot->TargetId = address.TargetId;
            slot->Lun = address.Lun;
        } else {
            slot = &device.Devices[freeFromEnd--];
            ++result.Unaddressed;
            slot->HostAdapter = 0;
            slot->TargetId = 0;
            slot->Lun = 0;
        }
        slot->Letter = letter;
        slot->DeviceClass = DTYPE_CDROM;
        ++result.Opened;
        device.DriveLetter = letter;
        device.Handle = handle;

        TSCSIRequest request = InquiryRequest(device);
        std::memset(device.TransferBuffer, 0, 64);
        const bool identified = SendPassThrough(device, request) == REQUEST_DONE &&
                                device.TransferBuffer[0] == DTYPE_CDROM;
        // A drive that did not identify itself is listed with empty texts.
        TIdentification id;
        if (identified) {
            id = IdentificationOf(device.TransferBuffer);
            SetDescription(*slot, id);
        }
        WriteLog(device, std::string(1, letter) + ": " + std::to_string(type) + " - ( " +
                             slot->Name + ")\r\n");
        SetDescription(*slot, id);
        if (device.Handle != INVALID_HANDLE)
            system.Close(device.Handle);
        device.Handle = INVALID_HANDLE;
        // Both ends of the table met: no slot is left (cannot happen with 24 letters).
        if (device.DeviceCount > freeFromEnd)
            break;
    }
    return result;
}

std::string TrimmedIdentification(const char* name) {
    std::string text(name, strnlen(name, DEVICE_NAME_SIZE));
    text = text.size() > 9 ? text.substr(9, 118) : std::string();
    auto blank = [](unsigned char c) { return c <= 0x20; };
    size_t begin = 0;
    while (begin < text.size() && blank(text[begin]))
        ++begin;
    size_t end = text.size();
    while (end > begin && blank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

// Drives without SCSI address were put at the end of the table; they follow
// the addressed ones, in letter order, with adapter numbers above all real
// ones.
void RenumberUnaddressed(TSCSIDevice& device, int k) {
    if (k == 0)
        return;
    int first = 1;
    for (int i = 0; i < device.DeviceCount; ++i)
        if (device.Devices[i].HostAdapter + 1 > first)
            first = device.Devices[i].HostAdapter + 1;
    // Taken out first: the copies must not overwrite slots still to be moved.
    TDeviceEntry moved[MAX_DEVICES];
    for (int j = 0; j < k; ++j)
        moved[j] = device.Devices[MAX_DEVICES - 1 - j];
    for (int j = 0; j < k; ++j)
        device.Devices[MAX_DEVICES - 1 - j] = TDeviceEntry{};
    for (int j = 0; j < k; ++j) {
        TDeviceEntry& entry = moved[j];
        const std::string id = TrimmedIdentification(entry.Name);
        entry.HostAdapter = uint8_t(first + j);
        entry.TargetId = 0;
        entry.Lun = 0;
        std::snprintf(entry.Name, sizeof entry.Name, "%d:%d:%d,%c: %s", entry.HostAdapter, 0, 0,
                      entry.Letter, id.c_str());
        device.Devices[device.DeviceCount + j] = entry;
    }
    device.DeviceCount = uint8_t(device.DeviceCount + k);
}

bool LoadAspi(TSCSIDevice& device, const std::string& libraryName, TAspiEntryPoints& entry) {
    if (device.AspiOverride.Complete()) {
        entry = device.AspiOverride;
        return true;
    }
    const std::string name = libraryName.empty() ? DEFAULT_ASPI_LIBRARY : libraryName;
    if (!device.AspiLibrary || device.AspiLibraryName != name) {
        auto library = std::make_unique<platform::TLibrary>();
        if (!library->Load(name))
            return false;
        device.AspiLibrary = std::move(library);
        device.AspiLibraryName = name;
    }
    auto support =
        reinterpret_cast<TGetASPI32SupportInfo>(device.AspiLibrary->Symbol("GetASPI32SupportInfo"));
    auto send =
        reinterpret_cast<TSendASPI32Command>(device.AspiLibrary->Symbol("SendASPI32Command"));
    if (!support || !send)
        return false;
    // An ASPI library stays loaded for the rest of the process, even when the
    // record that loaded it goes: its own threads may still be running, and the
    // objects it keeps must stay reachable.
    platform::KeepLoaded(reinterpret_cast<void*>(send));
    entry.GetSupportInfo = support;
    entry.SendCommand = send;
    if (auto named = reinterpret_cast<TDriveLockFileFunction>(
            device.AspiLibrary->Symbol(DRIVE_LOCK_FILE_SYMBOL))) {
        entry.LockFile = [named](uint8_t adapter, uint8_t target, uint8_t lun) {
            char path[4096];
            int n = named(adapter, target, lun, path, sizeof path);
            return n > 0 && n < int(sizeof path) ? std::string(path, size_t(n)) : std::string();
        };
    }
    return true;
}

bool AspiScan(TSCSIDevice& device, const std::string& libraryName) {
    TAspiEntryPoints entry;
    if (!LoadAspi(device, libraryName, entry))
        return false;
    device.SendCommandEntry = entry.SendCommand;
    device.AspiLockFile = entry.LockFile;
    if (entry.GetSupportInfo() == 0)
        return false;
    device.TransportReady = 1;

    SRB_HAInquiry adapterInquiry;
    std::memset(&adapterInquiry, 0, sizeof adapterInquiry);
    adapterInquiry.SRB_Cmd = SC_HA_INQUIRY;
    SendAspiRequest(device, &adapterInquiry, false);
    const int adapters = adapterInquiry.HA_Count == 0 ? 7 : adapterInquiry.HA_Count;

    for (int adapter = 0; adapter < adapters; ++adapter) {
        for (int target = 0; target < 8; ++target) {
            for (int lun = 0; lun < 7; ++lun) {
                // The table is full: further drives cannot be listed.
                if (device.DeviceCount >= MAX_DEVICES)
                    return true;
                TSCSIRequest request = InquiryRequest(device);
                request.SRB_HaId = uint8_t(adapter);
                request.SRB_Target = uint8_t(target);
                request.SRB_Lun = uint8_t(lun);
                std::memset(device.TransferBuffer, 0, 64);
                SendAspiRequest(device, &request, true);
                if (request.SRB_Status != REQUEST_DONE || device.TransferBuffer[0] != DTYPE_CDROM)
                    continue;
                const TIdentification id = IdentificationOf(device.TransferBuffer);
                TDeviceEntry& slot = device.Devices[device.DeviceCount];
                slot = TDeviceEntry{};
                slot.HostAdapter = uint8_t(adapter);
                slot.TargetId = uint8_t(target);
                slot.Lun = uint8_t(lun);
                slot.DeviceClass = DTYPE_CDROM;
                slot.Letter = FindDriveLetter(device);

                SRB_GetDiskInfo& diskInfo = device.DiskInfoRequest;
                std::memset(&diskInfo, 0, sizeof diskInfo);
                diskInfo.SRB_Cmd = SC_GET_DISK_INFO;
                diskInfo.SRB_HaId = uint8_t(adapter);
                diskInfo.SRB_Target = uint8_t(target);
                diskInfo.SRB_Lun = uint8_t(lun);
                if (SendAspiRequest(device, &diskInfo, false) == SS_COMP &&
                    diskInfo.SRB_Int13HDriveInfo < 26)
                    slot.Letter = char('A' + diskInfo.SRB_Int13HDriveInfo);
                SetDescription(slot, id);
                ++device.DeviceCount;
            }
        }
    }
    return true;
}

}  // namespace

bool ScanDevices(TSCSIDevice& device, uint8_t useAspi, const std::string& aspiLibrary,
                 const std::string& logFile) {
    ResetRecord(device);
    if (!logFile.empty())
        OpenCommandLog(device, logFile);
    InitCommandNames(device);
    device.DeviceCount = 0;

    if (useAspi == 0) {
        const TSystemScanResult scan = SystemScan(device);
        if (scan.Opened > 0) {
            device.TransportReady = 1;
            device.UsePassThrough = 1;
            RenumberUnaddressed(device, scan.Unaddressed);
            return true;
        }
    }
    for (auto& entry : device.Devices)
        entry = TDeviceEntry{};
    device.DeviceCount = 0;
    return AspiScan(device, aspiLibrary);
}

uint8_t DeviceCount(const TSCSIDevice& device) {
    return device.DeviceCount;
}

std::string DeviceName(const TSCSIDevice& device, uint8_t index) {
    if (index >= device.DeviceCount || index >= MAX_DEVICES)
        return {};
    const char* name = device.Devices[index].Name;
    return std::string(name, strnlen(name, DEVICE_NAME_SIZE));
}

bool SelectDevice(TSCSIDevice& device, uint8_t index) {
    device.HostAdapter = NO_ADDRESS;
    device.TargetId = NO_ADDRESS;
    device.Lun = NO_ADDRESS;
    device.DriveLetter = NO_DRIVE_LETTER;
    if (index >= device.DeviceCount || index >= MAX_DEVICES)
        return false;
    const TDeviceEntry& entry = device.Devices[index];
    device.HostAdapter = entry.HostAdapter;
    device.TargetId = entry.TargetId;
    device.Lun = entry.Lun;
    device.DriveLetter = entry.Letter;
    if (device.Handle != INVALID_HANDLE) {
        device.System->Close(device.Handle);
        device.Handle = INVALID_HANDLE;
    }
    uint8_t reply[256] = {};
    const bool answered = Inquiry(device, reply);
    ReadCapabilities(device);
    return answered;
}

char FindDriveLetter(TSCSIDevice& device) {
    if (device.DeviceCount >= MAX_DEVICES)
        return NO_DRIVE_LETTER;
    const TDeviceEntry& slot = device.Devices[device.DeviceCount];
    TSystemDrives& system = *device.System;
    for (char letter = FIRST_DRIVE_LETTER; letter <= LAST_DRIVE_LETTER; ++letter) {
        uint32_t error = 0;
        int handle = system.Open(letter, true, error);
        if (handle == INVALID_HANDLE)
            handle = system.Open(letter, false, error);
        if (handle == INVALID_HANDLE)
            continue;
        TScsiAddress address;
        const bool match = system.GetScsiAddress(handle, address) &&
                           address.PortNumber == slot.HostAdapter &&
                           address.TargetId == slot.TargetId && address.Lun == slot.Lun;
        system.Close(handle);
        if (match)
            return letter;
    }
    return NO_DRIVE_LETTER;
}

}  // namespace tessor::drive
