// Importing an earlier session of N entries (reading its primary and Joliet
// trees and its UDF bridge back and carrying them into a new compilation,
// then laying it out)
// against building the same N-entry compilation from the file system (adding
// the folders and laying it out), in the same run, for N = 10,000 and
// 100,000 (files in folders of 100). Goals: import / build at most 1, and the
// import's time growing linearly (the 100,000 / 10,000 ratio near 10).
// The session is the header area and the UDF file stream this builder
// writes for the compilation, read from memory, so the figures are the engine's own cost without a
// drive. Usage: tessor-bench-import [--quick] (quick: a tenth of the sizes).
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/builder/ISO9660.h"
#include "engine/builder/SessionImport.h"
#include "engine/builder/Tree.h"
#include "engine/builder/UDFBridge.h"
#include "engine/platform/Strings.h"

using namespace tessor;
using Clock = std::chrono::steady_clock;

namespace {

double Since(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

bool MakeTree(const std::string& root, int files) {
    for (int d = 0; d < files / 100; ++d) {
        char folder[64];
        std::snprintf(folder, sizeof folder, "/folder-%05d", d);
        std::filesystem::create_directories(root + folder);
        for (int i = 0; i < 100; ++i) {
            char name[160];
            std::snprintf(name, sizeof name, "%s/a file with a longer name %03d.txt", folder, i);
            int fd = ::open((root + name).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            if (fd < 0)
                return false;
            ::close(fd);
        }
    }
    return true;
}

void Switches(builder::TImageBuilder& b) {
    builder::ClearFiles(b);
    b.JolietFileSystem = 1;
    b.UDFBridge = 1;
}

struct TFigures {
    double build = 0;
    double import = 0;
    int entries = 0;
};

TFigures Run(const std::string& root) {
    TFigures f;
    builder::TImageBuilder from;
    auto t = Clock::now();
    Switches(from);
    builder::AddFolder(from, u"\\", platform::FromSystem(root), u"*.*", true, false);
    builder::PrepareImage(from);
    f.build = Since(t);
    builder::BuildHeaderArea(from);
    const uint8_t* header = from.HeaderBuffer.get();
    const uint32_t headerSectors = from.HeaderLength / builder::kSectorSize;
    const auto streamStart = static_cast<uint32_t>(from.UdfStreamStart);
    std::vector<uint8_t> stream(size_t(from.UdfStreamSectors) * builder::kSectorSize);
    builder::BuildUdfFileSectors(from, stream.data(), from.UdfStreamSectors);
    auto read = [&](uint32_t lba, uint32_t count, uint8_t* out) {
        for (uint32_t i = 0; i < count; ++i) {
            uint8_t* s = out + size_t(i) * builder::kSectorSize;
            const uint32_t at = lba + i;
            if (at < headerSectors)
                std::memcpy(s, header + size_t(at) * builder::kSectorSize, builder::kSectorSize);
            else if (at >= streamStart && at - streamStart < stream.size() / builder::kSectorSize)
                std::memcpy(s, stream.data() + size_t(at - streamStart) * builder::kSectorSize,
                            builder::kSectorSize);
            else
                std::memset(s, 0, builder::kSectorSize);
        }
        return true;
    };
    builder::TImageBuilder into;
    t = Clock::now();
    builder::TRecordedSession session;
    if (!builder::ReadRecordedSession(read, 0, static_cast<uint32_t>(builder::ImageSectors(from)),
                                      session) ||
        !session.Udf) {
        std::fprintf(stderr, "%s\n",
                     session.Error.empty() ? "no UDF tree read" : session.Error.c_str());
        return f;
    }
    Switches(into);
    f.entries = builder::CarryRecordedSession(into, session);
    builder::PrepareImage(into);
    f.import = Since(t);
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const int small = quick ? 1000 : 10000;
    const int large = quick ? 10000 : 100000;
    const std::string root = std::filesystem::temp_directory_path() / "tessor-bench-import";
    std::filesystem::remove_all(root);
    std::printf("making files under %s ...\n", root.c_str());
    if (!MakeTree(root + "/small", small) || !MakeTree(root + "/large", large)) {
        std::fprintf(stderr, "could not make the files\n");
        return 1;
    }
    TFigures s = Run(root + "/small");
    TFigures l = Run(root + "/large");
    std::filesystem::remove_all(root);
    for (const TFigures* f : {&s, &l}) {
        std::printf(
            "%7d entries: build from the file system %.3f s, import %.3f s, "
            "ratio import/build %.2f (goal <= 1)\n",
            f->entries, f->build, f->import, f->import / f->build);
    }
    std::printf("ratio import %d / %d entries: time %.2f (entries %.2f; linear near 10)\n",
                l.entries, s.entries, l.import / s.import, double(l.entries) / s.entries);
    return 0;
}
