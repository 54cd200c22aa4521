#include "tests/support/UdfReaders.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace tessor::testsupport {
namespace {

// Walks pycdlib's parsed UDF records from the root. Mode "extract" writes
// the tree below DEST; mode "md5" prints the md5 of the file at DEST (a path).
const char* kPycdlibUdfScript = R"PY(
import hashlib, os, sys, pycdlib
image, mode, dest = sys.argv[1], sys.argv[2], sys.argv[3]
iso = pycdlib.PyCdlib()
iso.open(image)
part_start = iso.udf_main_descs.partitions[0].part_start_location
def name(fi):
    return fi.fi.decode(fi.encoding)
def copy(entry, out):
    # The extents pycdlib parsed, read from the image: pycdlib's own inodes
    # are shared with the ISO 9660 records, whose sizes hold 32 bits only.
    left = entry.get_data_length()
    with open(image, 'rb') as img:
        for ad in entry.alloc_descs:
            if ad.extent_length == 0 or left == 0:
                break
            img.seek((part_start + ad.log_block_num) * 2048)
            take = min(ad.extent_length, left)
            while take > 0:
                chunk = img.read(min(take, 1 << 20))
                if not chunk:
                    raise Exception('short read')
                out.write(chunk)
                take -= len(chunk)
                left -= len(chunk)
    if left != 0:
        raise Exception('extents shorter than the information length')
def walk(entry, path):
    for fi in entry.fi_descs:
        if fi.is_parent():
            continue
        yield path + [name(fi)], fi
        if fi.is_dir():
            yield from walk(fi.file_entry, path + [name(fi)])
if mode == 'extract':
    for parts, fi in walk(iso.udf_root, []):
        target = os.path.join(dest, *parts)
        if fi.is_dir():
            os.makedirs(target, exist_ok=True)
        else:
            with open(target, 'wb') as out:
                copy(fi.file_entry, out)
else:
    want = [p for p in dest.split('/') if p]
    for parts, fi in walk(iso.udf_root, []):
        if parts == want and not fi.is_dir():
            class H:
                def __init__(self): self.h = hashlib.md5()
                def write(self, b): self.h.update(b)
            h = H()
            copy(fi.file_entry, h)
            print(h.h.hexdigest())
            break
    else:
        raise SystemExit('not found: ' + dest)
iso.close()
)PY";

std::string ScriptFile() {
    static const std::string path = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string p = std::string(tmp && *tmp ? tmp : "/tmp") + "/tessor-udf-pycdlib-" +
                        std::to_string(::getpid()) + ".py";
        std::ofstream(p) << kPycdlibUdfScript;
        return p;
    }();
    return path;
}

std::string FirstWord(const std::string& text) {
    std::istringstream in(text);
    std::string w;
    in >> w;
    return w;
}

}  // namespace

TToolResult Udfinfo(const std::string& image, std::map<std::string, std::string>& values) {
    TToolResult r = RunTool("udfinfo " + ShellQuote(image));
    std::istringstream in(r.output);
    std::string line;
    while (std::getline(in, line)) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        auto& slot = values[key];
        slot = slot.empty() ? value : slot + ";" + value;
    }
    return r;
}

TToolResult UdfdumpPaths(const std::string& image, std::set<std::string>& paths) {
    TToolResult r = RunTool("udfdump -b 2048 -t " + ShellQuote(image));
    std::istringstream in(r.output);
    std::string line;
    const std::string prefix = ":Rootdir/";
    while (std::getline(in, line)) {
        const size_t at = line.find(prefix);
        if (at != std::string::npos)
            paths.insert(line.substr(at + prefix.size()));
    }
    return r;
}

TToolResult UdfclientExtract(const std::string& image, const std::string& destDir) {
    // The top level is one pseudo-directory named after the volume.
    TToolResult list = RunTool("printf 'ls\\nquit\\n' | udfclient -b 2048 " + ShellQuote(image));
    if (list.exitCode != 0)
        return list;
    // "drwxrwxrwx  -1  -1  4176  <name with spaces>": the name follows the
    // fourth field.
    std::string volume;
    std::istringstream in(list.output);
    std::string line;
    while (std::getline(in, line) && volume.empty()) {
        const size_t d = line.find("drwx");
        if (d == std::string::npos)
            continue;
        std::istringstream fields(line.substr(d));
        std::string skip;
        for (int i = 0; i < 4; ++i)
            fields >> skip;
        std::getline(fields >> std::ws, volume);
    }
    if (volume.empty()) {
        list.exitCode = 1;
        list.output = "no volume directory found in:\n" + list.output;
        return list;
    }
    const std::string script = "cd \"" + volume + "\"\\nlcd " + destDir + "\\nmget .\\nquit\\n";
    TToolResult r =
        RunTool("printf " + ShellQuote(script) + " | udfclient -b 2048 " + ShellQuote(image));
    r.output = "volume " + volume + "\n" + r.output;
    return r;
}

TToolResult PycdlibUdfRecordsExtract(const std::string& image, const std::string& destDir) {
    return RunTool("/usr/bin/python3 " + ShellQuote(ScriptFile()) + " " + ShellQuote(image) +
                   " extract " + ShellQuote(destDir));
}

TToolResult Md5Through7zUdf(const std::string& image, const std::string& path, std::string& md5) {
    TToolResult r =
        RunTool("bash -c " + ShellQuote("set -o pipefail; 7z x -tudf -so " + ShellQuote(image) +
                                        " " + ShellQuote(path) + " 2>/dev/null | md5sum"));
    md5 = FirstWord(r.output);
    return r;
}

TToolResult Md5ThroughPycdlibUdf(const std::string& image, const std::string& path,
                                 std::string& md5) {
    TToolResult r = RunTool("/usr/bin/python3 " + ShellQuote(ScriptFile()) + " " +
                            ShellQuote(image) + " md5 " + ShellQuote(path));
    md5 = FirstWord(r.output);
    return r;
}

std::string Md5OfFileOnDisk(const std::string& path) {
    const TToolResult r = RunTool("md5sum " + ShellQuote(path));
    return r.exitCode == 0 ? FirstWord(r.output) : std::string();
}

TToolResult IsoInfoUdf(const std::string& image) {
    return RunTool("iso-info --no-header -U " + ShellQuote(image));
}

TToolResult IsoReadUdf(const std::string& image, const std::string& path, const std::string& out) {
    return RunTool("iso-read -U -i " + ShellQuote(image) + " -e " + ShellQuote(path) + " -o " +
                   ShellQuote(out));
}

}  // namespace tessor::testsupport
