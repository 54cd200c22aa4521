// Files and trees on disk for image tests: a temporary folder, files with
// known contents, a snapshot of a tree (names, sizes, content hashes) and a
// comparison of two snapshots that names every difference.
//
// Paths and names are UTF-8 (the system code page); separators are '/'.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace tessor::testsupport {

// A temporary folder (in $TMPDIR or /tmp; on Windows in %TEMP%), removed with all it
// holds when the object goes.
class TTempDir {
public:
    explicit TTempDir(const std::string& prefix = "tessor-test");
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// A UTF-8 path for std::filesystem (whose narrow strings are the ANSI code
// page on Windows).
std::filesystem::path Utf8Path(const std::string& path);
// folder, the system's separator, name: a path as the engine makes it
// when it walks a folder ('\\' on Windows).
std::string SystemJoin(const std::string& folder, const std::string& name);
// Creates parent folders as needed. False on any error.
bool MakeDirs(const std::string& path);
bool WriteFile(const std::string& path, const std::string& content);
// pwrite of all `count` bytes at `offset` of an open descriptor.
bool WriteAllAt(int fd, const void* data, size_t count, off_t offset);
// `size` bytes of a deterministic pattern that depends on `seed`.
bool WritePatternFile(const std::string& path, uint64_t size, uint32_t seed);
// A sparse file of `size` bytes: holes except 64 KiB of pattern data at the
// start, around the 4 GiB mark (when the file reaches it) and at the end.
bool WriteSparseFile(const std::string& path, uint64_t size, uint32_t seed);

// 64-bit content hash (not cryptographic; equal bytes give equal hashes).
uint64_t HashFile(const std::string& path, bool* ok = nullptr);

// One node of a snapshot.
struct TNode {
    bool dir = false;
    uint64_t size = 0;
    uint64_t hash = 0;                      // files only, 0 when not hashed
    std::map<std::string, TNode> children;  // directories only
};

// Snapshot of the tree below root (root itself is the returned directory
// node). Files larger than hashLimit are not hashed (hash 0).
TNode Snapshot(const std::string& root, uint64_t hashLimit = UINT64_MAX);

struct TCompareOptions {
    // Names longer than this many UTF-16 units may appear cut in the actual
    // tree: matched to an unmatched entry of the same kind, size and hash
    // whose name keeps the extension and starts with the same first 60
    // units. 0: every name must match exactly.
    size_t maxNameUnits = 0;
    // A reader that cuts every name to this many UTF-16 units (extension
    // and all): expected names are cut the same way before matching; names
    // that then coincide are only checked for presence. 0: no such cut.
    size_t readerNameLimit = 0;
    // Compare hashes of files (both sides must have been hashed).
    bool compareContents = true;
    // Entries of the expected tree that the actual tree may lack without a
    // fault (relative paths).
    std::vector<std::string> mayBeMissing;
};

// Every difference as one line ("missing: a/b", "extra: c", "size: ...").
// Empty when the trees agree.
std::vector<std::string> CompareTrees(const TNode& expected, const TNode& actual,
                                      const TCompareOptions& options = {});

// Number of files and of directories below a node.
size_t CountFiles(const TNode& node);
size_t CountDirs(const TNode& node);

}  // namespace tessor::testsupport
