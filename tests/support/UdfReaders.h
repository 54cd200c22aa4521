// Drives the UDF readers we did not write (udfinfo, udfclient, udfdump,
// iso-info/iso-read -U, pycdlib's UDF records, 7z -tudf) and brings back what
// they saw, for comparison with the sources.
#pragma once

#include <map>
#include <set>
#include <string>

#include "tests/support/ReaderHarness.h"

namespace tessor::testsupport {

// udfinfo IMG; `values` gets its key=value lines (a repeated key keeps the
// values joined by ';').
TToolResult Udfinfo(const std::string& image, std::map<std::string, std::string>& values);

// udfdump -b 2048 -t IMG; `paths` gets every listed path below the root,
// '/'-separated, without the ":Rootdir/" prefix.
TToolResult UdfdumpPaths(const std::string& image, std::set<std::string>& paths);

// udfclient -b 2048: enters the one volume and fetches everything below it
// into destDir (mget). udfclient replaces non-ASCII letters in the names it
// writes.
TToolResult UdfclientExtract(const std::string& image, const std::string& destDir);

// pycdlib's UDF tree walked through its records (pycdlib's own walk cannot
// enter directories with non-ASCII names): every directory and file is
// written below destDir under the name the identifier decodes to.
TToolResult PycdlibUdfRecordsExtract(const std::string& image, const std::string& destDir);

// md5 (hex) of one file read through the UDF tree: 7z x -tudf -so, or
// pycdlib's UDF records. `path` is '/'-separated below the root.
TToolResult Md5Through7zUdf(const std::string& image, const std::string& path, std::string& md5);
TToolResult Md5ThroughPycdlibUdf(const std::string& image, const std::string& path,
                                 std::string& md5);

// md5 (hex) of a file on disk, through md5sum; empty on failure.
std::string Md5OfFileOnDisk(const std::string& path);

// iso-info -U IMG (the listing; faults show as "++ WARN") and
// iso-read -U -i IMG -e PATH -o OUT.
TToolResult IsoInfoUdf(const std::string& image);
TToolResult IsoReadUdf(const std::string& image, const std::string& path, const std::string& out);

}  // namespace tessor::testsupport
