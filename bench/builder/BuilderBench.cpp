// Builds and lays out large compilations from empty files on disk and
// reports time and heap memory per entry:
//   flat  : 20,000 and 200,000 files in one folder (the ratio of the two
//           times should be close to 10: adding and sorting stay n log n);
//   folders: 10,000 files in 200 folders and 100,000 files in 2,000 folders.
// The files are made once per run in a temporary folder and removed at the
// end. A last pair of runs adds synthetic find data without the file system,
// which shows the builder's own cost apart from directory listing. Usage: tessor-bench-builder
// [--quick] (quick: a tenth of the sizes).
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "engine/builder/ISO9660.h"
#include "engine/builder/Tree.h"
#include "engine/platform/Strings.h"

using namespace tessor;
using Clock = std::chrono::steady_clock;

namespace {

bool MakeEmptyFiles(const std::string& folder, int count) {
    std::filesystem::create_directories(folder);
    for (int i = 0; i < count; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "/file-%07d.dat", i);
        int fd = ::open((folder + name).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0)
            return false;
        ::close(fd);
    }
    return true;
}

size_t HeapInUse() {
    return mallinfo2().uordblks;
}

struct TResult {
    double addSeconds = 0;
    double prepareSeconds = 0;
    double headerSeconds = 0;
    long heapBytes = 0;    // builder heap after the header area, without the header block
    long residue = 0;      // heap still in use after the builder went (platform folder cache)
    long headerBytes = 0;  // the header area (directories and path tables)
    int entries = 0;
};

TResult Run(const std::string& source) {
    TResult r;
    malloc_trim(0);
    long before = static_cast<long>(HeapInUse());
    long during = 0;
    {
        builder::TImageBuilder b;
        builder::ClearFiles(b);
        b.JolietFileSystem = 1;
        auto t0 = Clock::now();
        if (!builder::AddFolder(b, u"\\", platform::FromSystem(source), u"*.*", true, false)) {
            std::fprintf(stderr, "AddFolder failed for %s\n", source.c_str());
            return r;
        }
        auto t1 = Clock::now();
        builder::PrepareImage(b);
        auto t2 = Clock::now();
        builder::BuildHeaderArea(b);
        auto t3 = Clock::now();
        size_t header = static_cast<size_t>(b.FirstDataLba) * builder::kSectorSize;
        r.headerBytes = static_cast<long>(header);
        during = static_cast<long>(HeapInUse()) - before - static_cast<long>(header);
        r.entries = b.FileCount;
        r.addSeconds = std::chrono::duration<double>(t1 - t0).count();
        r.prepareSeconds = std::chrono::duration<double>(t2 - t1).count();
        r.headerSeconds = std::chrono::duration<double>(t3 - t2).count();
    }
    r.residue = static_cast<long>(HeapInUse()) - before;
    r.heapBytes = during - r.residue;
    return r;
}

// The builder alone, without the file system: n entries with synthetic
// find data (names and 8.3 names as a folder listing would give them) added
// to one directory, then laid out.
TResult RunSynthetic(int n) {
    TResult r;
    malloc_trim(0);
    long before = static_cast<long>(HeapInUse());
    builder::TImageBuilder b;
    builder::ClearFiles(b);
    b.JolietFileSystem = 1;
    auto t0 = Clock::now();
    for (int i = 0; i < n; ++i) {
        platform::TFindData fd;
        fd.dwFileAttributes = platform::kAttrNormal;
        char name[64], alt[16];
        std::snprintf(name, sizeof name, "file-%07d.dat", i);
        std::snprintf(alt, sizeof alt, "F%05X~1.DAT", (i * 2654435761u) & 0xFFFFF);
        for (int k = 0; name[k]; ++k)
            fd.cFileName[k] = static_cast<char16_t>(name[k]);
        for (int k = 0; alt[k]; ++k)
            fd.cAlternateFileName[k] = static_cast<char16_t>(alt[k]);
        std::u16string source = u"/data/some/folder/" + std::u16string(fd.cFileName);
        builder::AddEntry(b, b.RootDir, fd, &source);
    }
    auto t1 = Clock::now();
    builder::PrepareImage(b);
    auto t2 = Clock::now();
    builder::BuildHeaderArea(b);
    auto t3 = Clock::now();
    r.headerBytes = static_cast<long>(b.FirstDataLba) * builder::kSectorSize;
    r.heapBytes = static_cast<long>(HeapInUse()) - before - r.headerBytes;
    r.entries = b.FileCount;
    r.addSeconds = std::chrono::duration<double>(t1 - t0).count();
    r.prepareSeconds = std::chrono::duration<double>(t2 - t1).count();
    r.headerSeconds = std::chrono::duration<double>(t3 - t2).count();
    return r;
}

void Print(const char* label, const TResult& r) {
    double total = r.addSeconds + r.prepareSeconds + r.headerSeconds;
    std::printf(
        "%-28s entries %7d  add %7.3f s  prepare %7.3f s  header %7.3f s  total %7.3f s  "
        "%6.2f us/entry  %5.0f bytes/entry (+%4.0f header area, +%4.0f platform cache)\n",
        label, r.entries, r.addSeconds, r.prepareSeconds, r.headerSeconds, total,
        r.entries ? total * 1e6 / r.entries : 0.0,
        r.entries ? double(r.heapBytes) / r.entries : 0.0,
        r.entries ? double(r.headerBytes) / r.entries : 0.0,
        r.entries ? double(r.residue) / r.entries : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
    int scale = (argc > 1 && std::strcmp(argv[1], "--quick") == 0) ? 10 : 1;
    std::string root =
        (std::filesystem::temp_directory_path() / "tessor-bench-builder-XXXXXX").string();
    if (!::mkdtemp(root.data()))
        return 1;
    const int flatSmall = 20000 / scale, flatLarge = 200000 / scale;
    const int treeSmallDirs = 200 / scale, treeLargeDirs = 2000 / scale, perDir = 50;

    std::printf("making files under %s ...\n", root.c_str());
    bool ok = MakeEmptyFiles(root + "/flat-small", flatSmall) &&
              MakeEmptyFiles(root + "/flat-large", flatLarge);
    for (int d = 0; ok && d < treeLargeDirs; ++d) {
        char sub[64];
        std::snprintf(sub, sizeof sub, "/d%02d/folder-%05d", d % 40, d);
        ok = MakeEmptyFiles(root + "/tree-large" + sub, perDir);
        if (ok && d < treeSmallDirs)
            ok = MakeEmptyFiles(root + "/tree-small" + sub, perDir);
    }
    if (!ok) {
        std::fprintf(stderr, "could not make the files\n");
        std::filesystem::remove_all(root);
        return 1;
    }

    // Each case runs twice and the second run counts: the first warms the
    // file system's caches of the folders.
    auto twice = [&](const std::string& folder) {
        Run(folder);
        return Run(folder);
    };
    TResult small = twice(root + "/flat-small");
    TResult large = twice(root + "/flat-large");
    TResult treeSmall = twice(root + "/tree-small");
    TResult treeLarge = twice(root + "/tree-large");
    Print("flat, one folder", small);
    Print("flat, one folder", large);
    Print("folders of 50 files", treeSmall);
    Print("folders of 50 files", treeLarge);
    auto total = [](const TResult& r) { return r.addSeconds + r.prepareSeconds + r.headerSeconds; };
    std::printf("ratio flat %d / %d entries: time %.2f (entries %.2f)\n", large.entries,
                small.entries, total(large) / total(small), double(large.entries) / small.entries);
    std::printf("ratio folders %d / %d entries: time %.2f (entries %.2f)\n", treeLarge.entries,
                treeSmall.entries, total(treeLarge) / total(treeSmall),
                double(treeLarge.entries) / treeSmall.entries);
    RunSynthetic(flatSmall);
    TResult synSmall = RunSynthetic(flatSmall);
    TResult synLarge = RunSynthetic(flatLarge);
    Print("builder alone, one folder", synSmall);
    Print("builder alone, one folder", synLarge);
    std::printf("ratio builder alone %d / %d entries: time %.2f (entries %.2f)\n", synLarge.entries,
                synSmall.entries, total(synLarge) / total(synSmall),
                double(synLarge.entries) / synSmall.entries);
    std::filesystem::remove_all(root);
    return 0;
}
