// Runs inside a Linux guest with an emulated SCSI CD drive (see
// run-sgio.sh): the drive layer's system transport against the real sr/sg
// drivers. Prints one line per check and "SGIO-END rc=N" at the end.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/drive/Capacity.h"
#include "engine/drive/Consts.h"
#include "engine/drive/DeviceScan.h"
#include "engine/drive/Queries.h"
#include "engine/drive/SCSILib.h"
#include "engine/drive/WriteControl.h"

using namespace tessor::drive;

namespace {

int failures = 0;

void Check(bool ok, const std::string& what) {
    std::printf("%s %s\n", ok ? "PASS" : "FAIL", what.c_str());
    if (!ok)
        ++failures;
}

std::string Hex(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "%X", value);
    return text;
}

std::string SenseText(const TSCSIDevice& device) {
    return "sense " + Hex(SenseKey(device)) + "/" + Hex(SenseAsc(device)) + "/" +
           Hex(SenseAscq(device)) + " last " + Hex(device.LastSenseCode) + " os " +
           std::to_string(device.LastOsError);
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::string ReadLog(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// As an ordinary user who may only read the device node: the read-write
// open fails, the read-only one serves, and the kernel's command filter
// refuses a write before the drive sees it.
int ReadOnlyPass(const std::string& logPath) {
    if (setgid(1000) != 0 || setuid(1000) != 0) {
        std::printf("FAIL cannot become uid 1000\n");
        return 1;
    }
    static TSCSIDevice device;
    Check(ScanDevices(device, 0, "", logPath), "read-only: scan");
    Check(DeviceCount(device) == 1 && SelectDevice(device, 0), "read-only: drive selected");
    Check(DeviceReady(device), "read-only: test unit ready");
    std::vector<uint8_t> sector(2048);
    Check(Read10(device, 16, 1, sector), "read-only: READ (10)");
    std::vector<uint8_t> data(2048, 0x5A);
    const bool wrote = Write10(device, 100, 1, data.data(), 2048);
    Check(!wrote && device.LastOsError == EPERM && SenseKey(device) == 0,
          "read-only: WRITE (10) refused by the kernel: " + SenseText(device));
    CloseDevice(device);
    const std::string log = ReadLog(logPath);
    Check(Contains(log, "GetQTRXVersion\r\nSystem Error Code: 13\r\nC: 5 - ( 0:0:0,C: QEMU"),
          "read-only: failed read-write open logged");
    Check(Contains(log, "<04> [00800] 00 00 00 00 64 ") && Contains(log, "00:00, 1\r\n"),
          "read-only: write line ends with the system code 1");
    std::printf("SGIO-END rc=%d\n", failures);
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string logPath = argc > 1 ? argv[1] : "/tmp/scsi.log";
    if (argc > 2 && std::string(argv[2]) == "--read-only")
        return ReadOnlyPass(logPath);
    static TSCSIDevice device;  // large: not on the stack

    Check(ScanDevices(device, 0, "", logPath), "scan sets up the system transport");
    Check(device.UsePassThrough == 1, "pass-through chosen");
    Check(DeviceCount(device) == 1, "one drive listed, got " + std::to_string(DeviceCount(device)));
    const std::string name = DeviceName(device, 0);
    std::printf("drive: [%s]\n", name.c_str());
    // virtio-scsi: host 0, target 0, LUN 0; /dev/sr0 is letter C.
    Check(name.rfind("0:0:0,C: QEMU     QEMU CD-ROM      2.5+", 0) == 0, "address and identity");

    Check(SelectDevice(device, 0), "select answers INQUIRY");
    Check(DeviceReady(device), "test unit ready");
    const uint8_t media = GetMediaType(device);
    Check(media == MT_CD_ROM, "CD-ROM profile, media " + std::to_string(media));
    Check(ReadCapabilities(device), "capabilities page read");
    Check(device.CapabilitiesPage[0] == 0x2A, "page 2Ah found");
    Check(!IsWriter(device), "not a writer");
    Check(ReadSpeed(device) > 0, "read speed " + std::to_string(ReadSpeed(device)));
    Check(CapabilitiesWord(device, CAP_BUFFER_SIZE) > 0, "buffer size in the page");

    std::vector<uint8_t> sector(2048);
    Check(Read10(device, 16, 1, sector) && std::memcmp(sector.data() + 1, "CD001", 5) == 0,
          "READ (10) of the volume descriptor");
    Check(IsoVolumeSize(device) == 512, "ISO volume size " + std::to_string(IsoVolumeSize(device)));
    std::vector<uint8_t> block(65536);
    bool pattern = Read10(device, 64, 32, block);
    for (size_t i = 0; pattern && i < block.size(); ++i)
        pattern = block[i] == uint8_t(64 + i / 2048);
    Check(pattern, "READ (10) of 64 KiB");

    std::vector<uint8_t> data(2048, 0x5A);
    const bool wrote = Write10(device, 100, 1, data.data(), 2048);
    std::printf("write: %s\n", SenseText(device).c_str());
    Check(!wrote && SenseKey(device) == SENSE_KEY_DATA_PROTECT &&
              SenseAsc(device) == ASC_WRITE_PROTECTED && device.LastSenseCode == 0x2700,
          "WRITE (10) refused with 7/27/00");
    Check(!ReadTrackInformation(device, 1) && SenseKey(device) == SENSE_KEY_ILLEGAL_REQUEST &&
              SenseAsc(device) == ASC_INVALID_OPCODE,
          "READ TRACK INFORMATION unsupported: 5/20/00");
    Check(device.LastSenseCode == 0x2000, "last sense code follows");
    Check(DeviceReady(device) && device.LastSenseCode == 0x2000 && SenseKey(device) == 0,
          "a good command clears the sense, keeps the last code");

    // One open and close per command.
    device.CloseAfterCommand = 1;
    Check(DeviceReady(device) && device.Handle == INVALID_HANDLE, "handle closed after command");
    Check(DeviceReady(device), "reopened for the next command");
    device.CloseAfterCommand = 0;

    Check(AllowMediumRemoval(device), "allow medium removal");
    Check(EjectTray(device, false), "eject");
    const bool empty = !DeviceReady(device) && SenseKey(device) == SENSE_KEY_NOT_READY &&
                       device.LastSenseCode == SC_NO_MEDIUM;
    Check(empty, "no medium after eject: " + SenseText(device));
    Check(GetMediaType(device) == MT_NONE, "no media type after eject");
    Check(LoadTray(device, false), "load");
    bool ready = false;
    for (int i = 0; i < 50 && !ready; ++i)
        ready = DeviceReady(device);
    Check(ready, "ready after load");

    CloseDevice(device);
    const std::string log = ReadLog(logPath);
    Check(log.rfind("GetQTRXVersion\r\n", 0) == 0, "log header");
    Check(Contains(log, "C: 5 - ( 0:0:0,C: QEMU     QEMU CD-ROM      2.5+"),
          "log line of the drive");
    Check(Contains(log, "D: ( 1)\r\n"), "log line of a missing letter");
    Check(Contains(log, "WRITE (10)             (2A) {50:0A} - 0:0:0 <04> [00800] 00 00 00 00 64 "),
          "log line of the refused write");
    Check(Contains(log, "5A 5A 5A 27:00, 0\r\n"), "write line ends with ASC/ASCQ and system code");
    Check(Contains(log, "READ (10)              (28) {48:0A} - 0:0:0 <01> [10000] "),
          "log line of the 64 KiB read");
    std::printf("SGIO-END rc=%d\n", failures);
    return failures == 0 ? 0 : 1;
}
