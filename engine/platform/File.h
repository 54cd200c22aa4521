// Plain file access for the sector stream: source files, boot images and
// image files. Thin RAII over POSIX descriptors; failures keep errno.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tessor::platform {

class TFile {
public:
    TFile() = default;
    ~TFile();
    TFile(TFile&& other) noexcept;
    TFile& operator=(TFile&& other) noexcept;
    TFile(const TFile&) = delete;
    TFile& operator=(const TFile&) = delete;

    // Existing file, read only; shared with other readers.
    bool OpenRead(std::u16string_view path);
    bool OpenReadNarrow(const std::string& path);
    // Creates or truncates, write only.
    bool Create(std::u16string_view path);

    // Reads up to count bytes, retrying short reads until end of file.
    // Returns bytes read, or -1 on a read error.
    int64_t Read(void* buffer, size_t count);
    // Writes all count bytes; false on any error (errno kept).
    bool Write(const void* buffer, size_t count);
    // Size in bytes, or -1.
    int64_t Size() const;
    bool IsOpen() const { return fd_ >= 0; }
    // Closes; false when the close reported an error (a delayed write error).
    bool Close();
    int LastError() const { return error_; }

private:
    int fd_ = -1;
    int error_ = 0;
};

}  // namespace tessor::platform
