// ls, and the import step of burn: the disc's last session as a tree, and
// its directory carried into the new session.
#include "cli/SessionCommand.h"

#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/Drives.h"
#include "cli/Language.h"
#include "cli/Options.h"
#include "engine/builder/SessionImport.h"
#include "engine/platform/Strings.h"

namespace tessor::cli {

bool ImportEarlierSession(component::TDiscBurner& burner, std::FILE* out, std::FILE* err) {
    const size_t notesBefore = burner.SourceNotes().size();
    const int32_t carried = burner.ImportSession();
    // Said only for a disc that holds a session.
    if (carried != 0)
        std::fprintf(out, "%s\n", LangText("S_IMPORTING_SESSION").c_str());
    if (carried < 0) {
        std::fprintf(err,
                     "tessor-cli: %s\ntessor-cli: nothing written (--no-import writes the new "
                     "session alone; the earlier files then stay on the disc unseen)\n",
                     burner.ImportError().c_str());
        return false;
    }
    if (carried > 0)
        std::fprintf(out, "Carried forward %d entries from the disc's earlier session\n", carried);
    const auto& notes = burner.SourceNotes();
    for (size_t i = notesBefore; i < notes.size(); ++i) {
        std::fprintf(err, "tessor-cli: note: %s: %s\n", platform::ToSystem(notes[i].Source).c_str(),
                     notes[i].Reason.c_str());
    }
    if (burner.ImportTurnedOffUdf()) {
        std::fprintf(err,
                     "tessor-cli: note: the earlier session keeps data below sector 257, where a "
                     "UDF bridge cannot reach them: this session is written without one\n");
    }
    return true;
}

int ListCommand(const std::vector<std::string>& argv, std::FILE* out, std::FILE* err) {
    std::string help = std::string(
                           "usage: tessor-cli ls [options]\n"
                           "\n"
                           "Lists the last session on the disc in the drive as a tree: what a new\n"
                           "session carries forward. Folders end with '/', files show their size\n"
                           "in bytes.\n\n") +
                       kDriveHelp;
    TArgs args;
    int exitCode = kExitOk;
    std::vector<std::string> valued(kDriveValued.begin(), kDriveValued.end());
    std::vector<std::string> flags(kDriveFlags.begin(), kDriveFlags.end());
    if (!ParseCommandArgs("ls", argv, valued, flags, help, 0, args, out, err, exitCode))
        return exitCode;
    component::TDiscBurner burner(true);
    if (!ScanDrives(burner, args, err) || !SelectDrive(burner, args, false, err))
        return kExitFailed;
    if (!burner.DeviceReady()) {
        std::fprintf(err, "tessor-cli: %s\n", LangText("DEVICE_NOT_READY").c_str());
        return kExitFailed;
    }
    builder::TRecordedSession session;
    const int read = burner.ReadSession(session);
    if (read < 0) {
        std::fprintf(err, "tessor-cli: %s\n", burner.ImportError().c_str());
        return kExitFailed;
    }
    if (read == 0) {
        std::fprintf(out, "The disc holds no session\n");
        return kExitOk;
    }
    std::fprintf(out, "Session at sector %u, %zu entries (%s names%s)\n", session.Start,
                 session.Entries.size(), session.Joliet ? "Joliet" : "ISO 9660",
                 session.Udf ? "; its UDF tree lists the same files" : "");
    // Depth first from the breadth-first list: each folder's children
    // follow each other, so they are found by their parent's index.
    std::vector<std::vector<size_t>> children(session.Entries.size() + 1);
    for (size_t i = 0; i < session.Entries.size(); ++i)
        children[static_cast<size_t>(session.Entries[i].Parent + 1)].push_back(i);
    std::vector<std::pair<size_t, int>> stack;
    for (auto it = children[0].rbegin(); it != children[0].rend(); ++it)
        stack.emplace_back(*it, 0);
    while (!stack.empty()) {
        auto [i, depth] = stack.back();
        stack.pop_back();
        const builder::TRecordedEntry& e = session.Entries[i];
        const std::string name = platform::ToSystem(e.Name);
        if (e.IsDirectory) {
            std::fprintf(out, "%*s%s/\n", 2 * depth, "", name.c_str());
            const auto& kids = children[i + 1];
            for (auto it = kids.rbegin(); it != kids.rend(); ++it)
                stack.emplace_back(*it, depth + 1);
        } else {
            std::fprintf(out, "%*s%s  %llu\n", 2 * depth, "", name.c_str(),
                         static_cast<unsigned long long>(e.Size));
        }
    }
    return kExitOk;
}

}  // namespace tessor::cli
