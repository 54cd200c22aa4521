// devices, eject, load and erase.
#include <string>

#include "cli/Commands.h"
#include "cli/Drives.h"
#include "cli/Job.h"
#include "cli/Language.h"
#include "cli/Options.h"
#include "engine/component/DiscBurner.h"

namespace tessor::cli {

namespace {

bool Parse(const char* command, const std::vector<std::string>& argv,
           std::vector<std::string> valued, std::vector<std::string> flags, const std::string& help,
           TArgs& args, std::FILE* out, std::FILE* err, int& exitCode) {
    valued.insert(valued.end(), kDriveValued.begin(), kDriveValued.end());
    flags.insert(flags.end(), kDriveFlags.begin(), kDriveFlags.end());
    return ParseCommandArgs(command, argv, valued, flags, help, 0, args, out, err, exitCode);
}

const char* DiscStateText(int status) {
    switch (status) {
        case 0:
            return "blank";
        case 1:
            return "appendable";
        case 2:
            return "closed";
        case 3:
            return "overwritable";
        default:
            return "no disc information";
    }
}

}  // namespace

int DevicesCommand(const std::vector<std::string>& argv, std::FILE* out, std::FILE* err) {
    std::string help = std::string(
                           "usage: tessor-cli devices [--log FILE] [--aspi LIBRARY] [--use-aspi]\n"
                           "\n"
                           "Lists the optical drives, one line each: the number to pass as\n"
                           "--device, the drive's description, whether it writes, the medium and\n"
                           "the disc's state with its free space.\n\n") +
                       kDriveHelp;
    TArgs args;
    int exitCode = kExitOk;
    if (!Parse("devices", argv, {}, {}, help, args, out, err, exitCode))
        return exitCode;
    component::TDiscBurner burner(true);
    if (!ScanDrives(burner, args, err))
        return kExitFailed;
    for (int i = 0; i < burner.DeviceCount(); ++i) {
        auto index = static_cast<uint8_t>(i);
        std::string name = burner.DeviceName(index);
        while (!name.empty() && name.back() == ' ')
            name.pop_back();
        if (!burner.SelectDevice(index)) {
            std::fprintf(out, "%d: %s | not answering\n", i, name.c_str());
            continue;
        }
        bool writer = burner.IsWriter();
        uint8_t media = burner.MediaType();
        std::fprintf(out, "%d: %s | %s | %s", i, name.c_str(), writer ? "writer" : "reader",
                     component::TDiscBurner::MediaTypeName(media));
        if (media != 0) {
            int status = burner.DiscStatus();
            std::fprintf(out, ", %s", DiscStateText(status));
            if (writer && status >= 0) {
                uint32_t freeSectors = burner.DiscFreeSectors();
                std::fprintf(out, ", %u sectors free (%.1f MB)", freeSectors,
                             freeSectors * 2048.0 / 1e6);
            }
        }
        std::fprintf(out, "\n");
    }
    return kExitOk;
}

int TrayCommand(bool eject, const std::vector<std::string>& argv, std::FILE* out, std::FILE* err) {
    const char* name = eject ? "eject" : "load";
    std::string help =
        std::string("usage: tessor-cli ") + name +
        " [--device N] [--log FILE] [--aspi LIBRARY] [--use-aspi]\n\n" +
        (eject ? "Opens the tray of the drive.\n\n" : "Closes the tray of the drive.\n\n") +
        kDriveHelp;
    TArgs args;
    int exitCode = kExitOk;
    if (!Parse(name, argv, {}, {}, help, args, out, err, exitCode))
        return exitCode;
    component::TDiscBurner burner(true);
    if (!ScanDrives(burner, args, err) || !SelectDrive(burner, args, false, err))
        return kExitFailed;
    bool ok = eject ? burner.EjectTray(false) : burner.LoadTray(false);
    if (!ok) {
        auto e = burner.TakeError();
        std::fprintf(err, "tessor-cli: the drive refused to %s: %s%s\n", name, e.Text.c_str(),
                     e.Detail.empty() ? "" : (" (" + e.Detail + ")").c_str());
        return kExitFailed;
    }
    return kExitOk;
}

int EraseCommand(const std::vector<std::string>& argv, std::FILE* out, std::FILE* err) {
    std::string help =
        std::string(
            "usage: tessor-cli erase [--full] [--device N] [--log FILE] [--aspi LIBRARY]\n"
            "\n"
            "Erases the rewritable disc in the drive: CD-RW and DVD-RW are blanked\n"
            "(minimally, or completely with --full), DVD+RW, DVD-RAM and BD-RE are\n"
            "formatted and overwritten at their start.\n\n"
            "  --full              full erase instead of the quick one\n") +
        kDriveHelp +
        "\nExit status: 0 erased, 1 failed, 2 bad command line, 130 interrupted (a drive\n"
        "cannot stop an erase: it ran to its end).\n";
    TArgs args;
    int exitCode = kExitOk;
    if (!Parse("erase", argv, {}, {"--full"}, help, args, out, err, exitCode))
        return exitCode;
    component::TDiscBurner burner(true);
    if (!ScanDrives(burner, args, err) || !SelectDrive(burner, args, true, err))
        return kExitFailed;
    if (!burner.ReserveDevice()) {
        auto e = burner.TakeError();
        std::fprintf(err, "tessor-cli: %s%s\n", e.Text.c_str(),
                     e.Detail.empty() ? "" : (" (" + e.Detail + ")").c_str());
        return kExitFailed;
    }
    if (!burner.IsWriter()) {
        std::fprintf(err, "tessor-cli: this drive cannot write discs, nor erase them\n");
        return kExitFailed;
    }
    if (!burner.DeviceReady()) {
        std::fprintf(err, "tessor-cli: %s\n", LangText("DEVICE_NOT_READY").c_str());
        return kExitFailed;
    }
    if (!burner.DiscErasable()) {
        std::fprintf(err, "tessor-cli: %s\n", LangText("UNDELETABLE").c_str());
        return kExitFailed;
    }
    bool quick = !args.Has("--full");
    TJobResult result = RunEraseJob(
        burner, [&] { return burner.EraseDisc(quick); }, err);
    if (result.failed) {
        std::fprintf(err, "tessor-cli: %s%s\n", LangText("DELERROR").c_str(),
                     result.ErrorLine().c_str());
        return result.aborted ? kExitAborted : kExitFailed;
    }
    std::fprintf(out, "%s\n", LangText("OKDELETE").c_str());
    return result.aborted ? kExitAborted : kExitOk;
}

}  // namespace tessor::cli
