// Finding identical files, and sharing one extent among the names of a set.
#include "engine/builder/SmartReferences.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/builder/Tree.h"
#include "engine/platform/File.h"

namespace tessor::builder {

namespace {

constexpr size_t kDigestBytes = size_t{1} << 20;  // the part of a file the digest covers
constexpr size_t kKeptBytes = size_t{64} << 20;   // leaders' contents kept per size
constexpr size_t kCompareChunk = size_t{256} << 10;

// A fast digest that only narrows the candidates: the bytes decide.
uint64_t Digest(const uint8_t* p, size_t n) {
    uint64_t h = 0x9E3779B97F4A7C15ull ^ n;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        std::memcpy(&w, p + i, 8);
        h = (h ^ w) * 0xFF51AFD7ED558CCDull;
        h ^= h >> 29;
    }
    for (; i < n; ++i)
        h = (h ^ p[i]) * 0x100000001B3ull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    return h ^ (h >> 33);
}

struct TFileKey {
    uint64_t device;
    uint64_t inode;
    bool operator==(const TFileKey&) const = default;
};
struct TFileKeyHash {
    size_t operator()(const TFileKey& k) const {
        return static_cast<size_t>(k.inode * 0x9E3779B97F4A7C15ull ^ k.device);
    }
};

bool IsFile(const TFileEntry* e) {
    return e->Directory == nullptr && e->Size > 0 && !e->SourcePath.empty();
}

// A member of a size group while it is compared.
struct TCandidate {
    TFileEntry* entry = nullptr;
    platform::TFileStamp stamp;
    uint64_t digest = 0;
    std::vector<uint8_t> head;  // the first kDigestBytes (all of a small file)
};

// A set being gathered: its first file and the members found equal to it.
struct TSet {
    TCandidate leader;
    std::vector<TSmartMember> members;
};

class TFinder {
public:
    explicit TFinder(TImageBuilder& b) : b_(b) {}
    bool Run();

private:
    bool Aborted() const { return b_.AbortRequested.load() != 0; }
    void Progress(uint64_t bytes);
    bool ReadHead(TCandidate& c);
    int SameBytes(const TCandidate& a, const TCandidate& c);
    bool CompareGroup(std::vector<TFileEntry*>& group);

    TImageBuilder& b_;
    TSmartReferences found_;
    uint64_t doneBytes_ = 0;
    std::vector<uint8_t> chunkA_, chunkB_;
};

void TFinder::Progress(uint64_t bytes) {
    doneBytes_ += bytes;
    uint64_t sectors = std::min<uint64_t>(SectorsForBytes(doneBytes_),
                                          static_cast<uint64_t>(b_.TotalSectors.load()));
    b_.SectorsWritten = static_cast<uint32_t>(sectors);
}

// Reads the digest's part of a file and takes its stamp; false when it
// cannot be read whole or is not the file the compilation counted on.
// A file that changes after its stamp was taken, while or after it is read,
// no longer matches the stamp when it is written: the write fails then.
bool TFinder::ReadHead(TCandidate& c) {
    size_t want = static_cast<size_t>(std::min<uint64_t>(c.entry->Size, kDigestBytes));
    c.head.resize(want);
    if (platform::ReadHead(c.entry->SourcePath, c.head.data(), want, c.stamp) !=
            static_cast<int64_t>(want) ||
        static_cast<uint64_t>(c.stamp.Size) != c.entry->Size)
        return false;
    c.digest = Digest(c.head.data(), want);
    return true;
}

// 1 when the two files hold the same bytes, 0 when not, -1 when one of
// them cannot be read or changed since its stamp was taken.
int TFinder::SameBytes(const TCandidate& a, const TCandidate& c) {
    const uint64_t size = c.entry->Size;
    const bool heads = a.head.size() == c.head.size();  // the leader's may not be kept
    if (heads && std::memcmp(a.head.data(), c.head.data(), c.head.size()) != 0)
        return 0;
    if (heads && size <= kDigestBytes)
        return 1;
    platform::TFile fa, fc;
    platform::TFileStamp sa, sc;
    if (!fa.OpenRead(a.entry->SourcePath) || !fa.Stamp(sa) || sa != a.stamp)
        return -1;
    if (!fc.OpenRead(c.entry->SourcePath) || !fc.Stamp(sc) || sc != c.stamp)
        return -1;
    chunkA_.resize(kCompareChunk);
    chunkB_.resize(kCompareChunk);
    for (uint64_t left = size; left > 0;) {
        if (Aborted())
            return -1;
        size_t piece = static_cast<size_t>(std::min<uint64_t>(left, kCompareChunk));
        if (fa.Read(chunkA_.data(), piece) != static_cast<int64_t>(piece) ||
            fc.Read(chunkB_.data(), piece) != static_cast<int64_t>(piece))
            return -1;
        if (std::memcmp(chunkA_.data(), chunkB_.data(), piece) != 0)
            return 0;
        left -= piece;
    }
    if (!fa.Stamp(sa) || sa != a.stamp || !fc.Stamp(sc) || sc != c.stamp)
        return -1;
    return 1;
}

// One group of files of equal size: each file joins the first set whose
// leader has its digest and its bytes, or leads a set of its own.
bool TFinder::CompareGroup(std::vector<TFileEntry*>& group) {
    std::vector<std::unique_ptr<TSet>> sets;
    std::unordered_multimap<uint64_t, TSet*> byDigest;
    size_t kept = 0;
    for (TFileEntry* e : group) {
        if (Aborted())
            return false;
        TCandidate c;
        c.entry = e;
        bool readable = ReadHead(c);
        Progress(e->Size);
        if (!readable)
            continue;
        TSet* joined = nullptr;
        auto [from, to] = byDigest.equal_range(c.digest);
        for (auto it = from; it != to && !joined; ++it) {
            int same = SameBytes(it->second->leader, c);
            if (Aborted())
                return false;
            if (same == 1)
                joined = it->second;
            // A file that cannot be compared now stays a copy of its own.
            if (same < 0)
                break;
        }
        if (joined) {
            joined->members.push_back({e, joined->leader.entry, c.stamp});
            continue;
        }
        // Only the digest's part is kept of a leader, and only while the
        // group's leaders stay within kKeptBytes: later files compare
        // against it through the digest and the file on disk.
        auto set = std::make_unique<TSet>();
        kept += c.head.size();
        if (kept > kKeptBytes) {
            c.head.clear();
            c.head.shrink_to_fit();
        }
        set->leader = std::move(c);
        byDigest.emplace(set->leader.digest, set.get());
        sets.push_back(std::move(set));
    }
    for (auto& set : sets) {
        if (set->members.empty())
            continue;
        const TCandidate& l = set->leader;
        found_.Members.push_back({l.entry, l.entry, l.stamp});
        for (TSmartMember& m : set->members)
            found_.Members.push_back(m);
        found_.Files += set->members.size();
        found_.SavedBytes += set->members.size() * l.entry->Size;
    }
    return true;
}

bool TFinder::Run() {
    // One name of each file on disk, with its size: equal sizes are the
    // only candidates.
    std::vector<std::pair<uint64_t, TFileEntry*>> files;
    std::unordered_set<TFileKey, TFileKeyHash> seen;
    for (TFileEntry* e : b_.FileTable) {
        if (!IsFile(e))
            continue;
        if (e->SourceInode != 0 && !seen.insert({e->SourceDevice, e->SourceInode}).second)
            continue;
        files.emplace_back(e->Size, e);
    }
    // Stable: within a size the first in the compilation leads its set.
    std::stable_sort(files.begin(), files.end(),
                     [](const auto& x, const auto& y) { return x.first < y.first; });

    uint64_t total = 0;
    for (size_t i = 0; i < files.size();) {
        size_t j = i;
        while (j < files.size() && files[j].first == files[i].first)
            ++j;
        if (j - i > 1)
            total += (j - i) * files[i].first;
        i = j;
    }
    b_.TotalSectors = static_cast<int32_t>(
        std::min<uint64_t>(SectorsForBytes(total), std::numeric_limits<int32_t>::max()));
    b_.SectorsWritten = 0;

    std::vector<TFileEntry*> group;
    for (size_t i = 0; i < files.size();) {
        size_t j = i;
        while (j < files.size() && files[j].first == files[i].first)
            ++j;
        if (j - i > 1) {
            group.clear();
            for (size_t k = i; k < j; ++k)
                group.push_back(files[k].second);
            if (!CompareGroup(group))
                return false;
        }
        i = j;
    }
    if (Aborted())
        return false;
    b_.Smart = std::move(found_);
    return true;
}

// The entry is still the file whose stamp was taken.
bool StillSame(const TFileEntry* e, const platform::TFileStamp& s) {
    return IsFile(e) && static_cast<int64_t>(e->Size) == s.Size &&
           (e->SourceInode == 0 || (e->SourceInode == s.Inode && e->SourceDevice == s.Device));
}

}  // namespace

bool GenerateSmartReferences(TImageBuilder& b) {
    b.Smart = TSmartReferences{};
    TFinder finder(b);
    return finder.Run();
}

void LinkSharedData(TImageBuilder& b) {
    for (TFileEntry* e : b.FileTable)
        e->SameData = nullptr;

    std::unordered_map<TFileKey, TFileEntry*, TFileKeyHash> first;
    for (TFileEntry* e : b.FileTable) {
        if (!IsFile(e) || e->SourceInode == 0)
            continue;
        auto [it, fresh] = first.try_emplace(TFileKey{e->SourceDevice, e->SourceInode}, e);
        if (!fresh && it->second->Size == e->Size)
            e->SameData = it->second;
    }

    // A set whose leader was replaced (ReplaceFile) since the comparison is
    // not used; nor is a member that was.
    const TFileEntry* leader = nullptr;
    bool leaderSame = false;
    for (const TSmartMember& m : b.Smart.Members) {
        bool same = StillSame(m.Entry, m.Stamp);
        if (m.Entry == m.Leader) {
            leader = m.Leader;
            leaderSame = same;
        } else if (same && leaderSame && m.Leader == leader && m.Entry->SameData == nullptr &&
                   m.Entry->Size == m.Leader->Size) {
            m.Entry->SameData = m.Leader;
        }
    }

    // Every member points at the one entry that holds the data.
    for (TFileEntry* e : b.FileTable) {
        TFileEntry* r = e->SameData;
        for (int step = 0; r && r->SameData && step < 8; ++step)
            r = r->SameData;
        e->SameData = (r && r->SameData == nullptr && r != e) ? r : nullptr;
    }
}

}  // namespace tessor::builder
