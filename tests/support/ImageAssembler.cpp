#include "tests/support/ImageAssembler.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "engine/builder/ISO9660.h"
#include "engine/builder/Tree.h"
#include "engine/builder/UDFBridge.h"
#include "engine/platform/Strings.h"
#include "tests/support/TestFiles.h"

namespace tessor::testsupport {

namespace {

// Copies `size` bytes of the source to `offset`, skipping holes.
bool CopySparse(int out, const std::string& source, uint64_t size, off_t offset, std::string& why) {
    int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC, 0);
    if (in < 0) {
        why = "cannot open " + source;
        return false;
    }
    struct stat st {};
    ::fstat(in, &st);
    if (static_cast<uint64_t>(st.st_size) != size) {
        ::close(in);
        why = "size of " + source + " changed";
        return false;
    }
    std::vector<char> buffer(1 << 20);
    off_t pos = 0;
    bool ok = true;
    while (ok && static_cast<uint64_t>(pos) < size) {
        off_t data = ::lseek(in, pos, SEEK_DATA);
        if (data < 0)
            break;  // only a hole remains
        off_t hole = ::lseek(in, data, SEEK_HOLE);
        if (hole < 0)
            hole = static_cast<off_t>(size);
        for (off_t p = data; ok && p < hole;) {
            size_t piece =
                static_cast<size_t>(std::min<off_t>(hole - p, static_cast<off_t>(buffer.size())));
            ssize_t n = ::pread(in, buffer.data(), piece, p);
            if (n <= 0) {
                ok = false;
                why = "read error in " + source;
                break;
            }
            ok = WriteAllAt(out, buffer.data(), static_cast<size_t>(n), offset + p);
            p += n;
        }
        pos = hole;
    }
    ::close(in);
    if (!ok && why.empty())
        why = "write error";
    return ok;
}

}  // namespace

bool AssembleImage(builder::TImageBuilder& b, const std::string& imagePath, std::string* error) {
    std::string why;
    auto fail = [&](const std::string& reason) {
        if (error)
            *error = reason;
        return false;
    };
    if (!b.Prepared)
        return fail("compilation not prepared");
    if (!b.HeaderBuffer && !builder::BuildHeaderArea(b))
        return fail("BuildHeaderArea failed");
    int fd = ::open(imagePath.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return fail("cannot create " + imagePath);
    const off_t sector = builder::kSectorSize;
    bool ok = ::ftruncate(fd, static_cast<off_t>(b.TotalSectors.load()) * sector) == 0;
    ok = ok && WriteAllAt(fd, b.HeaderBuffer.get(), b.HeaderLength, 0);
    if (ok && b.BootImagePath[0]) {
        ok = CopySparse(fd, b.BootImagePath, static_cast<uint64_t>(b.BootImageSize),
                        b.BootImageLba * sector, why);
    }
    if (ok && b.UDFBridge) {
        std::vector<uint8_t> buffer(32 * builder::kSectorSize);
        off_t at = static_cast<off_t>(b.UdfStreamStart) * sector;
        for (int guard = 0; ok && guard < 10000000; ++guard) {
            std::fill(buffer.begin(), buffer.end(), 0);
            int count = std::min<int32_t>(
                32, b.UdfStreamStart + b.UdfStreamSectors - static_cast<int32_t>(at / sector));
            if (count <= 0)
                break;
            if (!builder::BuildUdfFileSectors(b, buffer.data(), count))
                break;
            ok = WriteAllAt(fd, buffer.data(), static_cast<size_t>(count) * builder::kSectorSize,
                            at);
            at += count * sector;
        }
        std::vector<uint8_t> anchor(builder::kSectorSize);
        builder::BuildUdfAnchor(b, anchor.data(), b.TotalSectors.load() - 1);
        ok = ok &&
             WriteAllAt(fd, anchor.data(), anchor.size(), (b.TotalSectors.load() - 1) * sector);
    }
    for (const builder::TFileEntry* e : b.FileTable) {
        if (!ok)
            break;
        if (e->Directory || e->Size == 0 || e->Recorded)
            continue;  // a recorded file's data are an earlier session's
        off_t at = (static_cast<off_t>(b.FirstDataLba) + e->DataLba) * sector;
        ok = CopySparse(fd, platform::ToSystem(e->SourcePath), e->Size, at, why);
    }
    if (::close(fd) != 0)
        ok = false;
    if (!ok)
        return fail(why.empty() ? "write error on " + imagePath : why);
    return true;
}

bool WriteHeaderImage(builder::TImageBuilder& b, const std::string& imagePath, std::string* error) {
    if (!b.Prepared || (!b.HeaderBuffer && !builder::BuildHeaderArea(b))) {
        if (error)
            *error = "compilation not prepared";
        return false;
    }
    int fd = ::open(imagePath.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (error)
            *error = "cannot create " + imagePath;
        return false;
    }
    bool ok =
        ::ftruncate(fd, static_cast<off_t>(b.TotalSectors.load()) * builder::kSectorSize) == 0 &&
        WriteAllAt(fd, b.HeaderBuffer.get(), b.HeaderLength, 0);
    if (::close(fd) != 0)
        ok = false;
    if (!ok && error)
        *error = "write error on " + imagePath;
    return ok;
}

}  // namespace tessor::testsupport
