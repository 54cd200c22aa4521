#include "engine/writer/ImageFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

#include "engine/platform/File.h"
#include "engine/platform/Strings.h"
#include "engine/writer/Cache.h"

namespace tessor::writer {

using builder::TImageBuilder;

namespace {

// Written data are handed to the disk in pieces of this size as the image
// grows, so that the final sync does not wait for the whole image.
constexpr int64_t kWriteBackBytes = 16 << 20;

// Every block goes into the image file with one write.
class TImageFileSink final : public TBlockSink {
public:
    explicit TImageFileSink(TImageBuilder& b) : b_(b) {}

    bool Write(const uint8_t* data, int32_t length) override {
        if (b_.ImageFileHandle.Write(data, static_cast<size_t>(length))) {
            written_ += length;
            if (written_ - handedOver_ >= kWriteBackBytes) {
                b_.ImageFileHandle.StartWriteBack(handedOver_, written_ - handedOver_);
                handedOver_ = written_;
            }
            return true;
        }
        b_.FileErrorNumber = b_.ImageFileHandle.LastError();
        b_.ErrorCode = kErrWriteFile;
        return false;
    }

    // The data reach the disk before the image is called complete: a sync
    // or close that reports an error (a delayed write failure) fails the run.
    bool Finish(bool failed) override {
        platform::TFile& file = b_.ImageFileHandle;
        if (!file.IsOpen())
            return !failed;
        bool ok = failed || file.Sync();
        // A file without a name is closed once it has one (FinishImageTarget).
        if (!b_.ImageUnnamed)
            ok = file.Close() && ok;
        if (!ok && b_.ErrorCode == 0) {
            b_.FileErrorNumber = file.LastError();
            b_.ErrorCode = kErrWriteFile;
        }
        return ok;
    }

    bool Commit(bool failed) override { return FinishImageTarget(b_, failed); }

private:
    TImageBuilder& b_;
    // Bytes this sink wrote, and those of them handed to the disk. Offsets
    // count from the sink's first byte: in a file that is added to, the
    // hint falls on other pages and does no harm.
    int64_t written_ = 0;
    int64_t handedOver_ = 0;
};

// The file a path ends at, links resolved; the path itself when it does
// not exist yet.
std::string Resolved(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (real == nullptr)
        return path;
    std::string out = real;
    std::free(real);
    return out;
}

bool StartsWith(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

}  // namespace

bool IsCompilationSource(const TImageBuilder& b, std::u16string_view path) {
    platform::TFileStamp target;
    if (!platform::StampOf(path, target))
        return false;
    auto same = [&](std::u16string_view source) {
        platform::TFileStamp s;
        return platform::StampOf(source, s) && s.SameFile(target);
    };
    if (b.BootImagePath[0] != '\0' && same(platform::FromSystemPath(b.BootImagePath)))
        return true;
    for (const builder::TFileEntry* e : b.FileTable) {
        // The same file has the same size: only those are looked at closely.
        if (e->Directory == nullptr && !e->SourcePath.empty() &&
            static_cast<int64_t>(e->Size) == target.Size && same(e->SourcePath))
            return true;
    }
    return false;
}

bool OpenImageTarget(TImageBuilder& b, std::u16string_view path) {
    b.ImageTempPath.clear();
    b.ImageUnnamed = 0;
    std::string named = platform::ToSystemPath(path);
    std::string resolved = Resolved(named);
    struct stat st {};
    bool exists = ::stat(resolved.c_str(), &st) == 0;
    // /dev/stdout and its kin stand for a file the caller opened: written
    // where they are, never replaced.
    bool special = StartsWith(named, "/dev/") || StartsWith(named, "/proc/") ||
                   StartsWith(resolved, "/dev/") || StartsWith(resolved, "/proc/");
    bool direct = (exists && !S_ISREG(st.st_mode)) || special;
    platform::TFile& file = b.ImageFileHandle;
    bool ok;
    if (direct) {
        if (!exists) {
            // Nothing is made up under /dev or /proc.
            b.FileErrorNumber = ENOENT;
            return false;
        }
        // A regular file behind such a name (standard output sent to a
        // file) is added to, as the shell opened it, not written from its
        // start over what is there.
        ok = file.OpenWrite(path, exists && S_ISREG(st.st_mode));
    } else if (file.CreateUnnamedBeside(platform::FromSystemPath(resolved))) {
        ok = true;
        b.ImageUnnamed = 1;
        if (exists)
            ::fchmod(file.Descriptor(), st.st_mode & 07777);
    } else {
        ok = file.CreateTemporaryBeside(platform::FromSystemPath(resolved), b.ImageTempPath);
        // A replaced image keeps the permissions it had.
        if (ok && exists)
            ::chmod(platform::ToSystemPath(b.ImageTempPath).c_str(), st.st_mode & 07777);
    }
    if (!ok) {
        b.FileErrorNumber = file.LastError();
        b.ImageTempPath.clear();
    }
    return ok;
}

// A complete unnamed image gets its name: linked as the target when there is
// none, else under a temporary name that is then renamed over it (a crash
// between the two steps is the only moment a temporary name exists).
bool LinkUnnamedImage(TImageBuilder& b) {
    platform::TFile& file = b.ImageFileHandle;
    const std::string target = Resolved(platform::ToSystemPath(b.ImagePath));
    if (file.LinkAs(target))
        return file.Close();
    if (file.LastError() != EEXIST)
        return false;
    std::u16string temp;
    platform::TFile name;
    // A fresh unique name, freed again for the link to take.
    if (!name.CreateTemporaryBeside(platform::FromSystemPath(target), temp))
        return false;
    name.Close();
    platform::RemoveFile(temp);
    if (!file.LinkAs(platform::ToSystemPath(temp)))
        return false;
    if (!platform::RenameReplacing(temp, platform::FromSystemPath(target))) {
        int error = errno;
        platform::RemoveFile(temp);
        errno = error;
        return false;
    }
    return file.Close();
}

bool FinishImageTarget(TImageBuilder& b, bool failed) {
    if (b.ImageUnnamed) {
        b.ImageUnnamed = 0;
        // Closed without a name, a failed image is gone.
        if (failed || !b.ImageFileHandle.IsOpen()) {
            b.ImageFileHandle.Close();
            return false;
        }
        if (LinkUnnamedImage(b))
            return true;
        b.FileErrorNumber =
            b.ImageFileHandle.LastError() != 0 ? b.ImageFileHandle.LastError() : errno;
        b.ErrorCode = kErrWriteFile;
        b.ImageFileHandle.Close();
        return false;
    }
    if (b.ImageFileHandle.IsOpen())
        b.ImageFileHandle.Close();
    if (b.ImageTempPath.empty())
        return !failed;
    const std::u16string temp = std::move(b.ImageTempPath);
    b.ImageTempPath.clear();
    if (failed) {
        platform::RemoveFile(temp);
        return false;
    }
    std::string target = Resolved(platform::ToSystemPath(b.ImagePath));
    // Over an earlier image at once: it stays whole until the new one is.
    if (!platform::RenameReplacing(temp, platform::FromSystemPath(target))) {
        b.FileErrorNumber = errno;
        b.ErrorCode = kErrWriteFile;
        platform::RemoveFile(temp);
        return false;
    }
    return true;
}

std::unique_ptr<TBlockSink> MakeImageFileSink(TImageBuilder& b) {
    return std::make_unique<TImageFileSink>(b);
}

}  // namespace tessor::writer
