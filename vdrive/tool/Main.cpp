// tessor-vdrive: look after the virtual recorders from a shell: list them,
// put discs in and take them out, export what was burnt, inject faults.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/platform/Arguments.h"
#include "vdrive/VDrive.h"
#include "version/FileVersion.h"

namespace {

using namespace tessor::vdrive;

void PrintHelp() {
    std::printf(
        "usage: tessor-vdrive [--dir STATE_DIR] COMMAND ...\n"
        "       tessor-vdrive --help | --version\n"
        "\n"
        "Commands (DRIVE is the drive number from 0):\n"
        "  list                              show the drives and their discs\n"
        "  insert DRIVE MEDIA [--from IMAGE] put a blank disc in the drive, or one\n"
        "                                    holding IMAGE as one closed session\n"
        "  eject DRIVE                       take the disc out\n"
        "  export DRIVE FILE                 write the recorded sectors, from address 0 to\n"
        "                                    the end of the last recorded data, to FILE\n"
        "  fault DRIVE RULE...               inject a fault (fault rules below)\n"
        "  reset                             every drive: no disc, no faults\n"
        "\n"
        "MEDIA: %s\n"
        "\n"
        "Fault rules:\n%s"
        "\n"
        "The state directory is STATE_DIR, else $TESSOR_VDRIVE_DIR, else\n"
        "$XDG_DATA_HOME/tessor/vdrive, else ~/.local/share/tessor/vdrive; its drives.conf\n"
        "says which drives exist.\n",
        MediaNames().c_str(), kFaultRulesHelp);
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "tessor-vdrive: %s\n", message.c_str());
    return 1;
}

bool ParseDrive(const std::string& text, const TRecorderHost& host, unsigned& drive) {
    char* end = nullptr;
    unsigned long v = std::strtoul(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || v >= host.DriveCount())
        return false;
    drive = static_cast<unsigned>(v);
    return true;
}

std::string Describe(const TDiscState& s) {
    if (!s.present)
        return s.trayOpen ? "tray open, no disc" : "no disc";
    const TMediaInfo& info = s.Info();
    std::string text = std::string(info.name) + (s.trayOpen ? " (tray open)" : "");
    if (s.Overwritable()) {
        text += s.formatted || s.media == TMediaKind::DvdRwRo
                    ? ", formatted " + std::to_string(s.formattedBlocks) + " blocks"
                    : ", unformatted";
    } else if (info.readOnly) {
        text += ", pressed, " + std::to_string(s.RecordedEnd()) + " blocks";
    } else {
        text += s.IsBlank() ? ", blank" : (s.finalized ? ", closed" : ", appendable");
        text += ", " + std::to_string(s.closedSessions) + " closed session(s), " +
                std::to_string(s.tracks.size()) + " track(s), next writable " +
                (s.finalized ? std::string("none") : std::to_string(s.InvisibleTrackStart()));
    }
    if (!s.faults.empty())
        text += ", " + std::to_string(s.faults.size()) + " fault(s)";
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args = tessor::platform::ProgramArguments(argc, argv);
    THostOptions options;
    options.journalLimit = 0;
    if (args.size() >= 2 && args[0] == "--dir") {
        options.stateDir = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        PrintHelp();
        return args.empty() ? 2 : 0;
    }
    if (args.size() == 1 && args[0] == "--version") {
        std::printf("%s\n", tessor::version::VersionLine("tessor-vdrive").c_str());
        return 0;
    }
    std::string error;
    auto host = TRecorderHost::Create(options, error);
    if (!host)
        return Fail(error);
    const std::string& command = args[0];
    unsigned drive = 0;
    auto needDrive = [&]() {
        if (args.size() < 2 || !ParseDrive(args[1], *host, drive)) {
            Fail("bad drive number (drives 0 to " + std::to_string(host->DriveCount() - 1) + ")");
            return false;
        }
        return true;
    };
    if (command == "list" && args.size() == 1) {
        std::printf("state directory: %s\n", host->StateDir().c_str());
        for (unsigned i = 0; i < host->DriveCount(); ++i) {
            const TDriveConfig& d = host->Drive(i);
            TDiscState s;
            if (!host->GetDiscState(i, s, error))
                return Fail(error);
            std::printf("%u: %-13s %s %s %s  -  %s\n", i, DriveKindName(d.kind), d.vendor.c_str(),
                        d.product.c_str(), d.revision.c_str(), Describe(s).c_str());
        }
        return 0;
    }
    if (command == "insert") {
        if (!needDrive())
            return 1;
        if (args.size() != 3 && !(args.size() == 5 && args[3] == "--from")) {
            return Fail("usage: insert DRIVE MEDIA [--from IMAGE]");
        }
        auto media = MediaKindFromName(args[2]);
        if (!media)
            return Fail("unknown media \"" + args[2] + "\" (" + MediaNames() + ")");
        std::string image = args.size() == 5 ? args[4] : "";
        if (!host->InsertMedia(drive, *media, image, error))
            return Fail(error);
        return 0;
    }
    if (command == "eject" && args.size() == 2) {
        if (!needDrive())
            return 1;
        return host->EjectMedia(drive, error) ? 0 : Fail(error);
    }
    if (command == "export" && args.size() == 3) {
        if (!needDrive())
            return 1;
        return host->ExportImage(drive, args[2], error) ? 0 : Fail(error);
    }
    if (command == "fault" && args.size() == 2 && (args[1] == "--help" || args[1] == "-h")) {
        std::printf("usage: tessor-vdrive fault DRIVE RULE...\n\nFault rules:\n%s",
                    kFaultRulesHelp);
        return 0;
    }
    if (command == "fault" && args.size() >= 3) {
        if (!needDrive())
            return 1;
        std::string rule;
        for (size_t i = 2; i < args.size(); ++i)
            rule += (i > 2 ? " " : "") + args[i];
        return host->InjectFault(drive, rule, error) ? 0 : Fail(error);
    }
    if (command == "reset" && args.size() == 1) {
        return host->Reset(error) ? 0 : Fail(error);
    }
    Fail("unknown command or wrong arguments: " + command + " (see --help)");
    return 2;
}
