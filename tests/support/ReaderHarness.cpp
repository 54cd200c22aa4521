#include "tests/support/ReaderHarness.h"

#include <cstdio>

namespace tessor::testsupport {

namespace {

// pycdlib extraction: walks the chosen tree and writes every file; names are
// taken as pycdlib decodes them.
const char* kPycdlibScript = R"PY(
import os, sys, pycdlib
image, dest, tree = sys.argv[1], sys.argv[2], sys.argv[3]
iso = pycdlib.PyCdlib()
iso.open(image)
key = {'joliet': 'joliet_path', 'iso': 'iso_path', 'udf': 'udf_path'}[tree]
for root, dirs, files in iso.walk(**{key: '/'}):
    rel = root.lstrip('/')
    base = os.path.join(dest, rel)
    os.makedirs(base, exist_ok=True)
    for d in dirs:
        os.makedirs(os.path.join(base, d), exist_ok=True)
    for f in files:
        src = (root.rstrip('/') + '/' + f)
        name = f
        if tree == 'iso' and ';' in name:
            name = name.split(';')[0]
        with open(os.path.join(base, name), 'wb') as out:
            iso.get_file_from_iso_fp(out, **{key: src})
iso.close()
)PY";

const char* kPycdlibDigestScript = R"PY(
import sys, zlib, pycdlib
image, path = sys.argv[1], sys.argv[2]
class D:
    def __init__(self): self.crc, self.n = 0, 0
    def write(self, b): self.crc = zlib.crc32(b, self.crc); self.n += len(b); return len(b)
iso = pycdlib.PyCdlib()
iso.open(image)
d = D()
iso.get_file_from_iso_fp(d, blocksize=1 << 20, joliet_path=path)
iso.close()
print('%08x %d' % (d.crc, d.n))
)PY";

// Digest of a file named as the argument, or of standard input.
const char* kDigestScript = R"PY(
import sys, zlib
f = open(sys.argv[1], 'rb') if len(sys.argv) > 1 else sys.stdin.buffer
crc, n = 0, 0
while True:
    b = f.read(1 << 20)
    if not b: break
    crc = zlib.crc32(b, crc); n += len(b)
print('%08x %d' % (crc, n))
)PY";

}  // namespace

std::string ShellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

bool ToolAvailable(const std::string& program) {
    return RunTool("command -v " + ShellQuote(program) + " >/dev/null").exitCode == 0;
}

const char* ReaderName(TReader reader) {
    switch (reader) {
        case TReader::Xorriso:
            return "xorriso (Joliet)";
        case TReader::XorrisoIso:
            return "xorriso (ISO 9660)";
        case TReader::SevenZipIso:
            return "7z -tiso";
        case TReader::SevenZipUdf:
            return "7z -tudf";
        case TReader::Bsdtar:
            return "bsdtar";
        case TReader::PycdlibJoliet:
            return "pycdlib (Joliet)";
        case TReader::PycdlibIso:
            return "pycdlib (ISO 9660)";
        case TReader::PycdlibUdf:
            return "pycdlib (UDF)";
    }
    return "?";
}

namespace {

TToolResult Missing(const std::string& program) {
    return {127, program + " is not installed"};
}

bool HavePycdlib() {
    return RunTool("/usr/bin/python3 -c 'import pycdlib'").exitCode == 0;
}

}  // namespace

TToolResult ExtractImage(TReader reader, const std::string& image, const std::string& destDir) {
    const std::string img = ShellQuote(image), dest = ShellQuote(destDir);
    switch (reader) {
        case TReader::Xorriso:
        case TReader::XorrisoIso:
            if (!ToolAvailable("xorriso"))
                return Missing("xorriso");
            return RunTool("xorriso -abort_on FAILURE -return_with FAILURE 32 -read_fs " +
                           std::string(reader == TReader::Xorriso ? "norock" : "ecma119") +
                           " -osirrox on -indev " + img + " -extract / " + dest);
        case TReader::SevenZipIso:
        case TReader::SevenZipUdf:
            if (!ToolAvailable("7z"))
                return Missing("7z");
            return RunTool("7z x -y " +
                           std::string(reader == TReader::SevenZipIso ? "-tiso" : "-tudf") + " -o" +
                           dest + " " + img);
        case TReader::Bsdtar:
            if (!ToolAvailable("bsdtar"))
                return Missing("bsdtar");
            return RunTool("bsdtar -x --options 'iso9660:!rockridge' -f " + img + " -C " + dest);
        case TReader::PycdlibJoliet:
        case TReader::PycdlibIso:
        case TReader::PycdlibUdf: {
            if (!HavePycdlib())
                return Missing("pycdlib");
            const char* tree = reader == TReader::PycdlibJoliet ? "joliet"
                               : reader == TReader::PycdlibIso  ? "iso"
                                                                : "udf";
            return RunTool("/usr/bin/python3 -c " + ShellQuote(kPycdlibScript) + " " + img + " " +
                           dest + " " + tree);
        }
    }
    return {};
}

namespace {

std::string FirstLine(const std::string& text) {
    size_t end = text.find('\n');
    return end == std::string::npos ? text : text.substr(0, end);
}

}  // namespace

TToolResult DigestFileInImage(TReader reader, const std::string& image, const std::string& path,
                              std::string& digest) {
    digest.clear();
    TToolResult r;
    if (reader == TReader::SevenZipIso) {
        if (!ToolAvailable("7z"))
            return Missing("7z");
        std::string inner = path;
        if (!inner.empty() && inner[0] == '/')
            inner.erase(0, 1);
        // A failing 7z shows as a wrong digest (its messages go to stderr).
        r = RunTool("7z x -so -tiso " + ShellQuote(image) + " " + ShellQuote(inner) +
                    " 2>/dev/null | /usr/bin/python3 -c " + ShellQuote(kDigestScript));
    } else if (reader == TReader::PycdlibJoliet) {
        if (!HavePycdlib())
            return Missing("pycdlib");
        r = RunTool("/usr/bin/python3 -c " + ShellQuote(kPycdlibDigestScript) + " " +
                    ShellQuote(image) + " " + ShellQuote(path));
    } else {
        return {2, "reader cannot stream a single file"};
    }
    if (r.exitCode == 0)
        digest = FirstLine(r.output);
    return r;
}

std::string DigestOfFile(const std::string& path) {
    TToolResult r =
        RunTool("/usr/bin/python3 -c " + ShellQuote(kDigestScript) + " " + ShellQuote(path));
    return r.exitCode == 0 ? FirstLine(r.output) : std::string();
}

TToolResult IsoinfoDescriptor(const std::string& image) {
    if (!ToolAvailable("isoinfo"))
        return Missing("isoinfo");
    return RunTool("isoinfo -d -i " + ShellQuote(image));
}

TToolResult IsoinfoList(const std::string& image, bool joliet) {
    if (!ToolAvailable("isoinfo"))
        return Missing("isoinfo");
    return RunTool(std::string("isoinfo ") + (joliet ? "-J " : "") + "-l -i " + ShellQuote(image));
}

TToolResult Isovfy(const std::string& image) {
    if (!ToolAvailable("isovfy"))
        return Missing("isovfy");
    return RunTool("isovfy -i " + ShellQuote(image));
}

TToolResult IsoInfoList(const std::string& image, bool joliet) {
    if (!ToolAvailable("iso-info"))
        return Missing("iso-info");
    return RunTool(std::string("iso-info --no-header ") + (joliet ? "" : "--no-joliet ") + "-l " +
                   ShellQuote(image));
}

std::vector<std::string> LinesNaming(const std::string& listing, const std::string& name) {
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < listing.size()) {
        size_t end = listing.find('\n', pos);
        if (end == std::string::npos)
            end = listing.size();
        std::string line = listing.substr(pos, end - pos);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\r'))
            line.pop_back();
        if (line.size() >= name.size() &&
            line.compare(line.size() - name.size(), name.size(), name) == 0 &&
            (line.size() == name.size() || line[line.size() - name.size() - 1] == ' ' ||
             line[line.size() - name.size() - 1] == '/'))
            out.push_back(line);
        pos = end + 1;
    }
    return out;
}

std::string Join(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& l : lines)
        out += l + "\n";
    return out;
}

}  // namespace tessor::testsupport
