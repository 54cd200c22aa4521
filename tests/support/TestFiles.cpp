#include "tests/support/TestFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <set>
#include <vector>

#include "engine/platform/FileSearch.h"
#include "engine/platform/Strings.h"
#include "tests/support/SupportSystem.h"

namespace tessor::testsupport {

TTempDir::TTempDir(const std::string& prefix) {
    path_ = MakeTempFolder(prefix);
}

TTempDir::~TTempDir() {
    if (path_.empty())
        return;
    std::error_code ec;
    std::filesystem::remove_all(Utf8Path(path_), ec);
}

std::filesystem::path Utf8Path(const std::string& path) {
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

std::string SystemJoin(const std::string& folder, const std::string& name) {
    return folder + static_cast<char>(platform::kPathSeparator) + name;
}

bool MakeDirs(const std::string& path) {
    std::error_code ec;
    std::filesystem::create_directories(Utf8Path(path), ec);
    return !ec;
}

bool WriteAllAt(int fd, const void* data, size_t count, off_t offset) {
    const char* p = static_cast<const char*>(data);
    while (count > 0) {
        ssize_t n = ::pwrite(fd, p, count, offset);
        if (n <= 0)
            return false;
        p += n;
        count -= static_cast<size_t>(n);
        offset += n;
    }
    return true;
}

namespace {

void FillPattern(std::vector<char>& buffer, uint64_t offset, uint32_t seed) {
    for (size_t i = 0; i < buffer.size(); ++i) {
        uint64_t x = (offset + i) * 0x9E3779B97F4A7C15ull + seed;
        buffer[i] = static_cast<char>((x >> 29) ^ (x >> 47));
    }
}

int CreateFile(const std::string& path) {
    std::filesystem::path p = Utf8Path(path);
    if (p.has_parent_path()) {
        std::error_code ec;
        std::filesystem::create_directories(p.parent_path(), ec);
    }
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
}

bool WritePatternAt(int fd, uint64_t offset, uint64_t count, uint32_t seed) {
    std::vector<char> buffer;
    while (count > 0) {
        size_t piece = static_cast<size_t>(std::min<uint64_t>(count, 1 << 20));
        buffer.resize(piece);
        FillPattern(buffer, offset, seed);
        if (!WriteAllAt(fd, buffer.data(), piece, static_cast<off_t>(offset)))
            return false;
        offset += piece;
        count -= piece;
    }
    return true;
}

}  // namespace

bool WriteFile(const std::string& path, const std::string& content) {
    int fd = CreateFile(path);
    if (fd < 0)
        return false;
    bool ok = WriteAllAt(fd, content.data(), content.size(), 0);
    return ::close(fd) == 0 && ok;
}

bool WritePatternFile(const std::string& path, uint64_t size, uint32_t seed) {
    int fd = CreateFile(path);
    if (fd < 0)
        return false;
    bool ok = WritePatternAt(fd, 0, size, seed);
    return ::close(fd) == 0 && ok;
}

bool WriteSparseFile(const std::string& path, uint64_t size, uint32_t seed) {
    int fd = CreateFile(path);
    if (fd < 0)
        return false;
    const uint64_t piece = 65536;
    bool ok = ::ftruncate(fd, static_cast<off_t>(size)) == 0;
    ok = ok && WritePatternAt(fd, 0, std::min(size, piece), seed);
    const uint64_t mark = 0x100000000ull - 4096;
    if (size > mark + piece)
        ok = ok && WritePatternAt(fd, mark, piece, seed + 1);
    if (size > piece)
        ok = ok && WritePatternAt(fd, size - std::min(size - piece, piece),
                                  std::min(size - piece, piece), seed + 2);
    return ::close(fd) == 0 && ok;
}

uint64_t HashFile(const std::string& path, bool* ok) {
    if (ok)
        *ok = false;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    uint64_t h = 1469598103934665603ull;
    std::vector<unsigned char> buffer(1 << 20);
    uint64_t total = 0;
    while (true) {
        ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0) {
            ::close(fd);
            return 0;
        }
        if (n == 0)
            break;
        size_t i = 0;
        for (; i + 8 <= static_cast<size_t>(n); i += 8) {
            uint64_t w;
            std::memcpy(&w, buffer.data() + i, 8);
            h = (h ^ w) * 0x100000001B3ull;
            h ^= h >> 31;
        }
        for (; i < static_cast<size_t>(n); ++i)
            h = (h ^ buffer[i]) * 0x100000001B3ull;
        total += static_cast<uint64_t>(n);
    }
    ::close(fd);
    if (ok)
        *ok = true;
    return h ^ total;
}

TNode Snapshot(const std::string& root, uint64_t hashLimit) {
    TNode node;
    node.dir = true;
    std::vector<TFolderEntry> entries;
    ListFolder(root, entries);
    for (const TFolderEntry& e : entries) {
        std::string path = root + "/" + e.name;
        if (e.dir) {
            node.children[e.name] = Snapshot(path, hashLimit);
        } else {
            TNode f;
            f.size = e.size;
            if (f.size <= hashLimit)
                f.hash = HashFile(path);
            node.children[e.name] = f;
        }
    }
    return node;
}

namespace {

std::u16string Wide(const std::string& s) {
    return platform::FromSystem(s);
}

std::u16string Extension(const std::u16string& name) {
    size_t dot = name.rfind(u'.');
    if (dot == std::u16string::npos || dot == 0 || name.size() - dot > 16)
        return {};
    return name.substr(dot);
}

bool SameContent(const TNode& a, const TNode& b, const TCompareOptions& o) {
    if (a.dir != b.dir)
        return false;
    if (a.dir)
        return true;
    return a.size == b.size && (!o.compareContents || a.hash == b.hash);
}

// The expected node as a reader that cuts names to `limit` units shows it.
TNode CutNames(const TNode& exp, size_t limit, std::set<std::string>& ambiguous) {
    TNode out = exp;
    out.children.clear();
    for (const auto& [name, child] : exp.children) {
        std::u16string wide = platform::FromSystem(name);
        std::string shown = name;
        if (wide.size() > limit) {
            size_t n = limit;
            if (wide[n - 1] >= 0xD800 && wide[n - 1] <= 0xDBFF)
                --n;
            shown = platform::ToSystem(wide.substr(0, n));
        }
        if (out.children.count(shown)) {
            ambiguous.insert(shown);
            continue;
        }
        out.children[shown] = child;
    }
    return out;
}

void Compare(const TNode& expIn, const TNode& act, const std::string& prefix,
             const TCompareOptions& o, std::vector<std::string>& out) {
    std::set<std::string> ambiguous;
    TNode cut;
    if (o.readerNameLimit)
        cut = CutNames(expIn, o.readerNameLimit, ambiguous);
    const TNode& exp = o.readerNameLimit ? cut : expIn;
    std::set<std::string> matchedActual;
    std::vector<std::pair<const std::string*, const TNode*>> pendingLong;
    auto allowedMissing = [&](const std::string& path) {
        return std::find(o.mayBeMissing.begin(), o.mayBeMissing.end(), path) !=
               o.mayBeMissing.end();
    };
    auto check = [&](const std::string& path, const TNode& e, const TNode& a) {
        if (e.dir != a.dir) {
            out.push_back("kind: " + path);
            return;
        }
        if (e.dir) {
            Compare(e, a, path + "/", o, out);
            return;
        }
        if (e.size != a.size)
            out.push_back("size: " + path + " expected " + std::to_string(e.size) + " got " +
                          std::to_string(a.size));
        else if (o.compareContents && e.hash != a.hash)
            out.push_back("content: " + path);
    };
    for (const auto& [name, e] : exp.children) {
        auto it = act.children.find(name);
        if (it != act.children.end()) {
            matchedActual.insert(name);
            if (ambiguous.count(name)) {
                if (e.dir != it->second.dir)
                    out.push_back("kind: " + prefix + name);
                continue;
            }
            check(prefix + name, e, it->second);
        } else if (o.maxNameUnits && Wide(name).size() > o.maxNameUnits) {
            pendingLong.emplace_back(&name, &e);
        } else if (!allowedMissing(prefix + name)) {
            out.push_back("missing: " + prefix + name);
        }
    }
    for (auto [namePtr, e] : pendingLong) {
        std::u16string wide = Wide(*namePtr);
        std::u16string ext = Extension(wide);
        const std::string* found = nullptr;
        for (const auto& [aname, a] : act.children) {
            if (matchedActual.count(aname))
                continue;
            std::u16string aw = Wide(aname);
            if (aw.size() > o.maxNameUnits || aw.size() < 60)
                continue;
            if (aw.compare(0, 60, wide, 0, 60) != 0)
                continue;
            if (!ext.empty() && (aw.size() < ext.size() ||
                                 aw.compare(aw.size() - ext.size(), ext.size(), ext) != 0))
                continue;
            if (!SameContent(*e, a, o))
                continue;
            found = &aname;
            break;
        }
        if (!found) {
            if (!allowedMissing(prefix + *namePtr))
                out.push_back("missing (cut name): " + prefix + *namePtr);
            continue;
        }
        matchedActual.insert(*found);
        check(prefix + *found, *e, act.children.at(*found));
    }
    for (const auto& [name, a] : act.children)
        if (!matchedActual.count(name))
            out.push_back("extra: " + prefix + name);
}

}  // namespace

std::vector<std::string> CompareTrees(const TNode& expected, const TNode& actual,
                                      const TCompareOptions& options) {
    std::vector<std::string> out;
    Compare(expected, actual, "", options, out);
    return out;
}

size_t CountFiles(const TNode& node) {
    size_t n = 0;
    for (const auto& [name, c] : node.children)
        n += c.dir ? CountFiles(c) : 1;
    return n;
}

size_t CountDirs(const TNode& node) {
    size_t n = 0;
    for (const auto& [name, c] : node.children)
        if (c.dir)
            n += 1 + CountDirs(c);
    return n;
}

}  // namespace tessor::testsupport
