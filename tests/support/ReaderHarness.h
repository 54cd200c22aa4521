// Runs image readers we did not write and brings back what they saw.
//
// Typical use in a test:
//   TTempDir out;
//   TToolResult r = ExtractImage(TReader::Xorriso, image, out.Path());
//   ASSERT_EQ(r.exitCode, 0) << r.output;
//   auto diff = CompareTrees(Snapshot(sourceRoot), Snapshot(out.Path()), {.maxNameUnits = 110});
//   EXPECT_TRUE(diff.empty()) << Join(diff);
//
// Every function skips nothing silently: a reader that is not installed gives
// exitCode 127 and says so in `output` (tests decide whether to skip).
#pragma once

#include <string>
#include <vector>

namespace tessor::testsupport {

struct TToolResult {
    int exitCode = -1;   // the command's exit status; 127 when not installed
    std::string output;  // stdout and stderr together (cut at 1 MiB)
};

// Runs a command line through /bin/sh -c (on Windows: none, exit code 127).
TToolResult RunTool(const std::string& commandLine);
// Single-quotes a string for the shell.
std::string ShellQuote(const std::string& text);
// True when the program is on the PATH.
bool ToolAvailable(const std::string& program);

// Readers that extract a whole tree into a folder.
enum class TReader {
    Xorriso,        // xorriso -read_fs norock: the Joliet tree
    XorrisoIso,     // xorriso -read_fs ecma119: the primary tree
    SevenZipIso,    // 7z x -tiso: Joliet
    SevenZipUdf,    // 7z x -tudf: UDF
    Bsdtar,         // bsdtar without Rock Ridge: Joliet
    PycdlibJoliet,  // pycdlib (via /usr/bin/python3), Joliet walk
    PycdlibIso,     // pycdlib, primary walk
    PycdlibUdf,     // pycdlib, UDF walk
};
const char* ReaderName(TReader reader);
// Extracts the image into destDir (which must exist and be empty).
TToolResult ExtractImage(TReader reader, const std::string& image, const std::string& destDir);

// Streams one file out of the image and returns a digest of its bytes
// ("crc32 length", zlib's CRC-32 in hex) in `digest`, without writing it to
// disk. `path` is '/'-separated in the Joliet tree (TReader::SevenZipIso or
// TReader::PycdlibJoliet only). CRC-32 keeps a 4 GiB comparison to seconds.
TToolResult DigestFileInImage(TReader reader, const std::string& image, const std::string& path,
                              std::string& digest);
// The same digest of a file on disk.
std::string DigestOfFile(const std::string& path);

// Listing checks: each returns the tool's result; exitCode 0 and the
// reader's own success marker mean "read without complaint".
TToolResult IsoinfoDescriptor(const std::string& image);         // isoinfo -d
TToolResult IsoinfoList(const std::string& image, bool joliet);  // isoinfo [-J] -l
TToolResult Isovfy(const std::string& image);  // isovfy; passes when it ends "No errors found"
TToolResult IsoInfoList(const std::string& image,
                        bool joliet);  // iso-info [--no-joliet] -l; faults are "++ WARN"

// Lines of a listing whose last field is the given name (for size checks).
std::vector<std::string> LinesNaming(const std::string& listing, const std::string& name);

std::string Join(const std::vector<std::string>& lines);

}  // namespace tessor::testsupport
