#include "tests/support/UdfImage.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "engine/builder/ISO9660.h"
#include "engine/builder/Tree.h"
#include "engine/builder/UDFBridge.h"
#include "engine/platform/Strings.h"

namespace tessor::testsupport {

using namespace tessor::builder;

TUdfTestImage BuildUdfTestImage(TImageBuilder& b, int chunk, int32_t base) {
    TUdfTestImage img;
    b.UdfLbaBase = base;
    b.SessionStartLba = base;
    img.Base = base;
    if (!BuildHeaderArea(b))
        return img;
    img.Header.assign(b.HeaderBuffer.get(), b.HeaderBuffer.get() + b.HeaderLength);
    img.StreamStart = b.UdfStreamStart;
    img.TotalSectors = b.TotalSectors.load();
    // One spare chunk past the stream, so a stream longer than its layout
    // shows up as sectors where none were expected.
    const size_t sectors = static_cast<size_t>(b.UdfStreamSectors);
    std::vector<uint8_t> out((sectors + static_cast<size_t>(chunk)) * kSectorSize, 0xCC);
    size_t done = 0;
    while (done < sectors + static_cast<size_t>(chunk)) {
        const size_t left = sectors > done ? sectors - done : static_cast<size_t>(chunk);
        const int n = static_cast<int>(std::min<size_t>(left, static_cast<size_t>(chunk)));
        if (!BuildUdfFileSectors(b, out.data() + done * kSectorSize, n))
            break;
        ++img.Calls;
        done += static_cast<size_t>(n);
    }
    out.resize(std::max(done, sectors) * kSectorSize);
    img.Stream = std::move(out);
    img.Anchor.assign(kSectorSize, 0);
    BuildUdfAnchor(b, img.Anchor.data(), b.UdfLastLba);
    return img;
}

std::vector<uint8_t> TUdfTestImage::Sector(int64_t s) const {
    std::vector<uint8_t> out(kSectorSize, 0);
    const int64_t headerSectors = static_cast<int64_t>(Header.size() / kSectorSize);
    const int64_t streamSectors = static_cast<int64_t>(Stream.size() / kSectorSize);
    if (s < headerSectors)
        std::memcpy(out.data(), Header.data() + s * kSectorSize, kSectorSize);
    else if (s >= StreamStart && s < StreamStart + streamSectors)
        std::memcpy(out.data(), Stream.data() + (s - StreamStart) * kSectorSize, kSectorSize);
    else if (s == TotalSectors - 1)
        out = Anchor;
    return out;
}

bool TUdfTestImage::WriteSparse(const std::string& path) const {
    const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    bool ok = ::ftruncate(fd, static_cast<off_t>(Base + TotalSectors) * kSectorSize) == 0;
    auto put = [&](const std::vector<uint8_t>& bytes, int64_t sector) {
        ok = ok && ::pwrite(fd, bytes.data(), bytes.size(),
                            static_cast<off_t>(Base + sector) * kSectorSize) ==
                       static_cast<ssize_t>(bytes.size());
    };
    put(Header, 0);
    put(Stream, StreamStart);
    put(Anchor, TotalSectors - 1);
    return ::close(fd) == 0 && ok;
}

TSectorReader TUdfTestImage::Reader() const {
    return [this](uint64_t absolute, uint8_t* out) {
        const int64_t s = static_cast<int64_t>(absolute) - Base;
        if (s < 0 || s >= TotalSectors)
            return false;
        const std::vector<uint8_t> bytes = Sector(s);
        std::memcpy(out, bytes.data(), kSectorSize);
        return true;
    };
}

TFileEntry* AddFakeFile(TImageBuilder& b, const std::string& dirPath, const std::string& name,
                        uint64_t size, const std::string& shortName) {
    TDirEntry* dir = FindDirectory(b, platform::FromSystem(dirPath));
    if (dir == nullptr)
        return nullptr;
    platform::TFindData fd;
    const std::u16string wide = platform::FromSystem(name);
    const std::u16string alt = platform::FromSystem(shortName);
    if (wide.size() >= std::size(fd.cFileName) || alt.size() >= std::size(fd.cAlternateFileName))
        return nullptr;
    std::copy(wide.begin(), wide.end(), fd.cFileName);
    std::copy(alt.begin(), alt.end(), fd.cAlternateFileName);
    fd.dwFileAttributes = 0x20;
    fd.nFileSizeHigh = static_cast<uint32_t>(size >> 32);
    fd.nFileSizeLow = static_cast<uint32_t>(size);
    const std::u16string source = u"/nonexistent/" + wide;
    TFileEntry* e = AddEntry(b, dir, fd, &source);
    return IsSkip(e) ? nullptr : e;
}

TDirEntry* AddFakeDir(TImageBuilder& b, const std::string& dirPath, const std::string& name) {
    TDirEntry* d = CreateDir(b, platform::FromSystem(dirPath), platform::FromSystem(name));
    return IsSkip(d) ? nullptr : d;
}

}  // namespace tessor::testsupport
