// Reads the discs a guest burnt through the kernel (exported by tessor-vdrive
// into RESULTS/) with the reader suite and compares every tree with its
// sources. RESULTS/manifest has one line per disc:
//     NAME IMAGE SOURCE SESSION
// IMAGE is a file in RESULTS, SOURCE a folder of SOURCES whose contents the
// disc's root must equal, SESSION the first sector of the session to read
// (0: the disc's only session, read by every reader and our strict passes;
// later sessions are read by xorriso from that sector).
// Prints one PASS or FAIL line per check; the exit status counts the failures.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/IsoCheck.h"
#include "tests/support/ReaderHarness.h"
#include "tests/support/TestFiles.h"
#include "tests/support/UdfCheck.h"

using namespace tessor::testsupport;

namespace {

int failures = 0;

void Report(bool ok, const std::string& what, const std::string& detail = "") {
    std::printf("%s %s\n", ok ? "PASS" : "FAIL", what.c_str());
    if (!ok) {
        ++failures;
        if (!detail.empty())
            std::printf("%s\n", detail.c_str());
    }
}

void CompareExtraction(const std::string& what, const TToolResult& r, const TNode& expected,
                       const std::string& dir) {
    if (r.exitCode != 0) {
        Report(false, what, r.output);
        return;
    }
    auto diff = CompareTrees(expected, Snapshot(dir));
    Report(diff.empty(), what, Join(diff));
}

// The volume space size that the primary volume descriptor (sector 16)
// gives, in sectors; 0 when there is none.
uint32_t VolumeSectors(const std::string& image) {
    uint8_t pvd[2048] = {};
    int fd = open(image.c_str(), O_RDONLY | O_CLOEXEC);
    bool ok = fd >= 0 && pread(fd, pvd, sizeof pvd, 16 * 2048) == static_cast<ssize_t>(sizeof pvd);
    if (fd >= 0)
        close(fd);
    if (!ok || pvd[0] != 1)
        return 0;
    return uint32_t(pvd[80]) | uint32_t(pvd[81]) << 8 | uint32_t(pvd[82]) << 16 |
           uint32_t(pvd[83]) << 24;
}

void CheckWholeDisc(const std::string& name, std::string image, const TNode& expected) {
    // A disc with later sessions is read as its first session alone, so the
    // UDF anchor at the end of that volume is the last one a reader sees.
    TTempDir first("tessor-tcmu-first");
    const uint32_t volume = VolumeSectors(image);
    if (volume > 0) {
        const std::string copy = first / "session1.iso";
        TToolResult r = RunTool("cp --sparse=always " + ShellQuote(image) + " " + ShellQuote(copy));
        if (r.exitCode == 0 && truncate(copy.c_str(), static_cast<off_t>(volume) * 2048) == 0)
            image = copy;
    }
    TIsoReport iso = CheckIsoImage(image);
    Report(iso.faults.empty(), name + ": ISO 9660 and Joliet structures", iso.Summary());
    TUdfVolume udf = CheckUdfImage(image);
    std::string errors;
    for (const auto& e : udf.Errors)
        errors += e + "\n";
    Report(udf.Errors.empty(), name + ": UDF structures", errors);
    for (TReader reader : {TReader::Xorriso, TReader::SevenZipIso, TReader::SevenZipUdf,
                           TReader::Bsdtar, TReader::PycdlibJoliet, TReader::PycdlibUdf}) {
        TTempDir out("tessor-tcmu-read");
        CompareExtraction(name + ": " + ReaderName(reader), ExtractImage(reader, image, out.Path()),
                          expected, out.Path());
    }
}

void CheckSession(const std::string& name, const std::string& image, uint32_t session,
                  const TNode& expected) {
    TTempDir out("tessor-tcmu-session");
    TToolResult r =
        RunTool("xorriso -abort_on FAILURE -indev " + ShellQuote(image) + " -load sbsector " +
                std::to_string(session) + " -read_fs norock -osirrox on -extract / " +
                ShellQuote(out.Path()) + " 2>&1");
    CompareExtraction(name + ": xorriso, session at " + std::to_string(session), r, expected,
                      out.Path());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: tcmu_disc_check RESULTS SOURCES\n");
        return 2;
    }
    const std::string results = argv[1], sources = argv[2];
    std::ifstream manifest(results + "/manifest");
    if (!manifest) {
        Report(false, "no manifest in " + results);
        return failures;
    }
    std::string line;
    int discs = 0;
    while (std::getline(manifest, line)) {
        std::istringstream words(line);
        std::string name, image, source;
        uint32_t session = 0;
        if (!(words >> name >> image >> source >> session)) {
            Report(false, "manifest line: " + line);
            continue;
        }
        ++discs;
        const TNode expected = Snapshot(sources + "/" + source);
        if (session == 0)
            CheckWholeDisc(name, results + "/" + image, expected);
        else
            CheckSession(name, results + "/" + image, session, expected);
    }
    Report(discs > 0, "discs listed: " + std::to_string(discs));
    return failures;
}
