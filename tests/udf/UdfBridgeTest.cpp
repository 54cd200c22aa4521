// The UDF bridge through PrepareImage, BuildHeaderArea, BuildUdfFileSectors
// and BuildUdfAnchor, judged by the strict structure pass of UdfCheck and by
// reading the fields that matter directly.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "engine/builder/ISO9660.h"
#include "engine/builder/Tree.h"
#include "engine/builder/UDFBridge.h"
#include "engine/platform/ByteOrder.h"
#include "tests/support/UdfCheck.h"
#include "tests/support/UdfImage.h"

using namespace tessor::builder;
using namespace tessor::platform::byte_order;
using namespace tessor::testsupport;

namespace {

const uint8_t kFixedTime[12] = {0x00, 0x10, 0xE9, 0x07, 6, 15, 12, 30, 45, 0, 0, 0};

std::string Errors(const TUdfVolume& v) {
    std::string s;
    for (const auto& e : v.Errors)
        s += e + "\n";
    return s;
}

std::string Name(size_t units, char fill, const std::string& ext = "") {
    return std::string(units - ext.size(), fill) + ext;
}

class UdfBridge : public ::testing::Test {
protected:
    void SetUp() override {
        ClearFiles(b);
        b.UDFBridge = 1;
        b.JolietFileSystem = 1;
    }
    // PrepareImage with a fixed recording time, so that runs compare equal.
    int32_t Prepare() {
        const int32_t r = PrepareImage(b);
        std::memcpy(b.UdfTimestamp, kFixedTime, sizeof kFixedTime);
        return r;
    }
    TUdfVolume PrepareAndCheck(TUdfTestImage* out = nullptr, int chunk = 32, int32_t base = 0) {
        Prepare();
        TUdfTestImage img = BuildUdfTestImage(b, chunk, base);
        TUdfVolume v = img.Check();
        if (out)
            *out = std::move(img);
        return v;
    }

    TImageBuilder b;
};

TEST_F(UdfBridge, EmptyCompilationHasRootEntryAndOneIdentifierSector) {
    TUdfTestImage img;
    const TUdfVolume v = PrepareAndCheck(&img);
    ASSERT_TRUE(v.Errors.empty()) << Errors(v);

    EXPECT_EQ(b.UdfStreamStart, 265);
    EXPECT_EQ(b.UdfStreamSectors, 2);
    EXPECT_EQ(b.RootDir->UdfEntryLba, 265u);
    EXPECT_EQ(b.RootDir->UdfFidLba, 266u);
    EXPECT_EQ(b.RootDir->UdfDirSize, 40u);
    EXPECT_EQ(v.IntegrityDirectories, 1u);
    EXPECT_EQ(v.IntegrityFiles, 0u);
    EXPECT_EQ(v.NextUniqueId, 17u);
    EXPECT_EQ(v.Root.UniqueId, 0u);
    EXPECT_EQ(v.Root.LinkCount, 1);
    EXPECT_EQ(v.Root.Size, 40u);

    // The one identifier: the parent entry pointing at the root itself.
    const auto fids = img.Sector(266);
    EXPECT_EQ(GetLE16(fids.data()), 257);
    EXPECT_EQ(fids[18], 0x0A);
    EXPECT_EQ(fids[19], 0);
    EXPECT_EQ(GetLE32(fids.data() + 24), 265u - 257u);
    for (size_t i = 40; i < fids.size(); ++i)
        ASSERT_EQ(fids[i], 0) << "byte " << i;
    EXPECT_EQ(img.Calls, 1);
}

TEST_F(UdfBridge, FixedAreaSequencesAnchorsAndPartition) {
    AddFakeFile(b, "\\", "a.txt", 5000);
    TUdfTestImage img;
    const TUdfVolume v = PrepareAndCheck(&img);
    ASSERT_TRUE(v.Errors.empty()) << Errors(v);

    const int64_t total = b.TotalSectors.load();
    EXPECT_EQ(total % 32, 0);
    EXPECT_EQ(v.MainSequence, (std::vector<uint64_t>{32, 33, 34, 35, 36, 37}));
    EXPECT_EQ(v.ReserveSequence, (std::vector<uint64_t>{48, 49, 50, 51, 52, 53}));
    EXPECT_EQ(v.Anchors, (std::vector<uint64_t>{256, static_cast<uint64_t>(total - 1)}));
    EXPECT_EQ(b.UdfLastLba, total - 1);
    // The partition runs from 257 to the sector before the closing anchor.
    EXPECT_EQ(v.PartitionStart, 257u);
    EXPECT_EQ(v.PartitionLength, static_cast<uint32_t>(total - 258));

    // Volume recognition right after the ISO terminator (16 PVD, 17 Joliet,
    // 18 terminator), and each reserve descriptor equal to its main one
    // but for the tag's location and checksum.
    EXPECT_EQ(b.UdfVrsLba, 19);
    EXPECT_EQ(std::memcmp(img.Sector(19).data() + 1, "BEA01", 5), 0);
    EXPECT_EQ(std::memcmp(img.Sector(20).data() + 1, "NSR02", 5), 0);
    EXPECT_EQ(std::memcmp(img.Sector(21).data() + 1, "TEA01", 5), 0);
    for (int i = 0; i < 6; ++i) {
        const auto m = img.Sector(32 + i), r = img.Sector(48 + i);
        EXPECT_EQ(GetLE32(r.data() + 12), static_cast<uint32_t>(48 + i));
        EXPECT_EQ(std::memcmp(m.data() + 16, r.data() + 16, 2048 - 16), 0) << "descriptor " << i;
    }
    // Integrity terminator at 65, file set terminator at partition block 1.
    EXPECT_EQ(GetLE16(img.Sector(65).data()), 8);
    EXPECT_EQ(GetLE32(img.Sector(65).data() + 12), 65u);
    EXPECT_EQ(GetLE16(img.Sector(258).data()), 8);
    EXPECT_EQ(GetLE32(img.Sector(258).data() + 12), 1u);
    // Nothing but the anchor in the last sector: the stream ends well before.
    EXPECT_LT(b.UdfStreamStart + b.UdfStreamSectors, b.FirstDataLba + 1);
}

TEST_F(UdfBridge, SessionBaseShiftsEveryAddressButThePartitionStart) {
    AddFakeDir(b, "\\", "Docs");
    AddFakeFile(b, "\\Docs", "a.txt", 70000);
    TUdfTestImage img;
    const TUdfVolume v = PrepareAndCheck(&img, 32, 100000);
    ASSERT_TRUE(v.Errors.empty()) << Errors(v);
    EXPECT_EQ(v.Anchors.front(), 100256u);
    EXPECT_EQ(v.MainSequence.front(), 100032u);
    EXPECT_EQ(v.PartitionStart, 257u);
    EXPECT_EQ(v.PartitionLength, static_cast<uint32_t>(b.TotalSectors.load() - 258 + 100000));
    const TUdfNode* a = FindUdfNode(v.Root, "Docs/a.txt");
    ASSERT_NE(a, nullptr);
    ASSERT_EQ(a->Extents.size(), 1u);
    // The data's partition block is its absolute sector minus 257.
    TFileEntry* e = b.RootDir->FirstChild->Directory->FirstChild;
    EXPECT_EQ(a->Extents[0].first,
              static_cast<uint32_t>(b.FirstDataLba + e->DataLba + 100000 - 257));
}

TEST_F(UdfBridge, CountsUniqueIdsAndLinkCountsFollowTheTree) {
    AddFakeDir(b, "\\", "A");
    AddFakeDir(b, "\\", "B");
    AddFakeDir(b, "\\A", "Deep");
    AddFakeDir(b, "\\A\\Deep", "Deeper");
    AddFakeFile(b, "\\", "root.bin", 1);
    AddFakeFile(b, "\\A", "a1", 2048);
    AddFakeFile(b, "\\A\\Deep\\Deeper", "bottom", 2049);
    const TUdfVolume v = PrepareAndCheck();
    ASSERT_TRUE(v.Errors.empty()) << Errors(v);
    EXPECT_EQ(v.IntegrityDirectories, 5u);
    EXPECT_EQ(v.IntegrityFiles, 3u);
    EXPECT_EQ(v.NextUniqueId, 5u + 3u + 16u);
    EXPECT_EQ(v.Root.LinkCount, 3);  // itself and two subdirectories
    EXPECT_EQ(FindUdfNode(v.Root, "A")->LinkCount, 2);
    std::set<uint64_t> ids;
    std::vector<const TUdfNode*> todo{&v.Root};
    while (!todo.empty()) {
        const TUdfNode* n = todo.back();
        todo.pop_back();
        if (n != &v.Root)
            ids.insert(n->UniqueId);
        for (const auto& c : n->Children)
            todo.push_back(&c);
    }
    EXPECT_EQ(ids, (std::set<uint64_t>{16, 17, 18, 19, 20, 21, 22}));
    EXPECT_EQ(FindUdfNode(v.Root, "A/Deep/Deeper/bottom")->Size, 2049u);
}

TEST_F(UdfBridge, IdentifiersOfExactlyOneSectorTakeOneSector) {
    // 40 (parent) + 24 x 80 + 88 = 2048 bytes of identifiers.
    AddFakeDir(b, "\\", "Full");
    for (int i = 0; i < 24; ++i)
        AddFakeFile(b, "\\Full", Name(20, static_cast<char>('a' + i)), 10,
                    "F" + std::to_string(10 + i));
    AddFakeFile(b, "\\Full", Name(23, 'z'), 10, "F99");
    TUdfTestImage img;
    const TUdfVolume v = PrepareAndCheck(&img);
    ASSERT_TRUE(v.Errors.empty()) << Errors(v);
    const TDirEntry* full = b.RootDir->FirstChild->Directory;
    EXPECT_EQ(full->UdfDirSize, 2048u);
    // The first child's file entry follows the one identifier sector.
    EXPECT_EQ(full->FirstChild->UdfEntryLba, full->UdfFidLba + 1);
    const auto next = img.Sector(full->UdfFidLba + 1);
    EXPECT_EQ(GetLE16(next.data()), 261);
    EXPECT_EQ(FindUdfNode(v.Root, "Full")->Children.size(), 25u);
}

TEST_F(UdfBridge, IdentifierSplitAcrossCallsIsCompletedInTheNextCall) {
    // Root entry and root identifiers are stream sectors 0 and 1. With 40 +
    // 24 x 80 + 68 = 2028 bytes before it, the 26th child's identifier starts
    // 20 bytes before the end of sector 1, the last sector of a 2-sector call.
    for (int i = 0; i < 24; ++i)
        AddFakeFile(b, "\\", Name(20, static_cast<char>('a' + i)), 10,
                    "F" + std::to_string(10 + i));
    AddFakeFile(b, "\\", Name(13, 'y'), 10, "F50");
    AddFakeFile(b, "\\", Name(30, 'z') + ".dat", 10, "F60");
    for (int i = 0; i < 40; ++i)
        AddFakeFile(b, "\\", "more" + std::to_string(i), 10, "G" + std::to_string(10 + i));

    TUdfTestImage whole;
    const TUdfVolume v1 = PrepareAndCheck(&whole, 32);
    ASSERT_TRUE(v1.Errors.empty()) << Errors(v1);
    const auto s1 = whole.Sector(b.RootDir->UdfFidLba);
    EXPECT_EQ(GetLE16(s1.data() + 2028), 257);
    EXPECT_EQ(GetLE32(s1.data() + 2028 + 12), b.RootDir->UdfFidLba - 257);

    for (int chunk : {2, 1, 3, 7}) {
        TUdfTestImage parts;
        const TUdfVolume v2 = PrepareAndCheck(&parts, chunk);
        ASSERT_TRUE(v2.Errors.empty()) << "chunk " << chunk << "\n" << Errors(v2);
        EXPECT_EQ(parts.Stream, whole.Stream) << "chunk " << chunk;
    }
}

TEST_F(UdfBridge, StreamEndsCleanlyAndRefusesFurtherCalls) {
    AddFakeFile(b, "\\", "x", 1);
    Prepare();
    ASSERT_TRUE(BuildHeaderArea(b));
    ASSERT_EQ(b.UdfStreamSectors, 3);
    std::vector<uint8_t> buf(32 * 2048, 0xAB);
    EXPECT_TRUE(BuildUdfFileSectors(b, buf.data(), 32));
    // The slots past the stream's end are zero, not left as they were.
    for (size_t i = 3 * 2048; i < buf.size(); ++i)
        ASSERT_EQ(buf[i], 0) << "byte " << i;
    std::vector<uint8_t> again(2048, 0xAB);
    EXPECT_FALSE(BuildUdfFileSectors(b, again.data(), 1));
    EXPECT_EQ(again, std::vector<uint8_t>(2048, 0xAB));
    // A new PrepareImage rewinds the stream.
    Prepare();
    EXPECT_TRUE(BuildUdfFileSectors(b, again.data(), 1));
    EXPECT_EQ(GetLE16(again.data()), 261);
}

TEST_F(UdfBridge, EmptyFileHasNoExtent) {
    TFileEntry* e = AddFakeFile(b, "\\", "empty", 0);
    TUdfTestImage img;
    const TUdfVolume v = PrepareAndCheck(&img);
    ASSERT_TRUE(v.Errors.empty()) << Errors(v);
    const auto fe = img.Sector(e->UdfEntryLba);
    EXPECT_EQ(GetLE64(fe.data() + 56), 0u);   // information length
    EXPECT_EQ(GetLE64(fe.data() + 64), 0u);   // logical blocks recorded
    EXPECT_EQ(GetLE32(fe.data() + 176), 0u);  // descriptor length
    EXPECT_EQ(GetLE32(fe.data() + 180), 0u);  // descriptor position
    EXPECT_EQ(GetLE32(fe.data() + 172), 1872u);
    EXPECT_EQ(GetLE16(fe.data() + 10), 2032);
}

TEST_F(UdfBridge, LargeFilesAreDescribedWholeBySeveralExtents) {
    constexpr uint64_t kGiB = 1ull << 30;
    constexpr uint64_t kMaxExtent = kGiB - 2048;
    TFileEntry* justFits = AddFakeFile(b, "\\", "a_fits.bin", kMaxExtent, "A");
    TFileEntry* over = AddFakeFile(b, "\\", "b_over.bin", kGiB + 5, "B");
    TFileEntry* huge = AddFakeFile(b, "\\", "c_huge.bin", 5 * kGiB + 1, "C");
    TUdfTestImage img;
    const TUdfVolume v = PrepareAndCheck(&img);
    ASSERT_TRUE(v.Errors.empty()) << Errors(v);

    EXPECT_EQ(FindUdfNode(v.Root, "a_fits.bin")->Extents.size(), 1u);
    const TUdfNode* o = FindUdfNode(v.Root, "b_over.bin");
    ASSERT_EQ(o->Extents.size(), 2u);
    EXPECT_EQ(o->Extents[0].second, kMaxExtent);
    EXPECT_EQ(o->Extents[1].second, kGiB + 5 - kMaxExtent);
    EXPECT_EQ(o->Extents[1].first, o->Extents[0].first + kMaxExtent / 2048);
    EXPECT_EQ(o->Extents[0].first, static_cast<uint32_t>(b.FirstDataLba + over->DataLba - 257));

    const TUdfNode* h = FindUdfNode(v.Root, "c_huge.bin");
    EXPECT_EQ(h->Size, 5 * kGiB + 1);
    EXPECT_EQ(h->BlocksRecorded, (5 * kGiB + 1 + 2047) / 2048);
    EXPECT_EQ(h->Extents.size(), 6u);
    const auto fe = img.Sector(huge->UdfEntryLba);
    EXPECT_EQ(GetLE64(fe.data() + 56), 5 * kGiB + 1);
    (void)justFits;
}

TEST_F(UdfBridge, DescriptorsBeyondTheFileEntryContinueInAllocationExtents) {
    // 234 descriptors fit the file entry; beyond, 233 stay there and the
    // rest go to blocks of 252 (+ a pointer) or, in the last, 253.
    constexpr uint64_t kExtent = (1ull << 30) - 2048;
    TFileEntry* fits = AddFakeFile(b, "\\", "a_fits.bin", 234 * kExtent, "A");
    TFileEntry* one = AddFakeFile(b, "\\", "b_one.bin", 234 * kExtent + 1, "B");
    TFileEntry* two = AddFakeFile(b, "\\", "c_two.bin", (233 + 253) * kExtent + 1, "C");
    AddFakeFile(b, "\\", "d_after.txt", 10, "D");
    TUdfTestImage img;
    const TUdfVolume v = PrepareAndCheck(&img, 3);
    ASSERT_TRUE(v.Errors.empty()) << Errors(v);

    EXPECT_EQ(one->UdfEntryLba, fits->UdfEntryLba + 1);
    EXPECT_EQ(two->UdfEntryLba, one->UdfEntryLba + 2);
    const TUdfNode* a = FindUdfNode(v.Root, "a_fits.bin");
    EXPECT_EQ(a->Extents.size(), 234u);
    EXPECT_EQ(a->AllocationExtents, 0u);
    const TUdfNode* o = FindUdfNode(v.Root, "b_one.bin");
    EXPECT_EQ(o->Extents.size(), 235u);
    EXPECT_EQ(o->AllocationExtents, 1u);
    EXPECT_EQ(o->Size, 234 * kExtent + 1);
    const TUdfNode* t = FindUdfNode(v.Root, "c_two.bin");
    EXPECT_EQ(t->Extents.size(), 487u);
    EXPECT_EQ(t->AllocationExtents, 2u);
    // Data runs on contiguously across the chain.
    EXPECT_EQ(t->Extents[300].first, t->Extents[0].first + 300 * (kExtent / 2048));
    // The entry after the chain is where the layout put it.
    EXPECT_EQ(GetLE16(img.Sector(two->UdfEntryLba + 3).data()), 261);
    EXPECT_EQ(FindUdfNode(v.Root, "d_after.txt")->Size, 10u);
}

TEST_F(UdfBridge, NamesOver127UnitsAreCutUniqueAndKeepTheirExtension) {
    const std::string common = Name(200, 'n');
    AddFakeFile(b, "\\", common + "1.txt", 1, "N1");
    AddFakeFile(b, "\\", common + "2.txt", 2, "N2");
    AddFakeFile(b, "\\", Name(127, 'k', ".txt"), 3, "K");  // fits exactly
    AddFakeFile(b, "\\", Name(128, 'm', ".txt"), 4, "M");
    AddFakeDir(b, "\\", Name(217, 'd'));
    AddFakeFile(b, "\\", "plain.txt", 5, "P");
    TUdfTestImage img;
    const TUdfVolume v = PrepareAndCheck(&img);
    ASSERT_TRUE(v.Errors.empty()) << Errors(v);
    ASSERT_EQ(v.Root.Children.size(), 6u);
    std::set<std::u16string> names;
    for (const auto& c : v.Root.Children) {
        EXPECT_LE(c.Name.size(), 127u) << Utf8(c.Name);
        names.insert(c.Name);
        if (!c.Directory) {
            EXPECT_EQ(Utf8(c.Name).substr(Utf8(c.Name).size() - 4), ".txt");
        }
    }
    EXPECT_EQ(names.size(), 6u);
    EXPECT_NE(FindUdfNode(v.Root, Name(127, 'k', ".txt")), nullptr);
    EXPECT_NE(FindUdfNode(v.Root, Name(127, 'd')), nullptr);
    EXPECT_NE(FindUdfNode(v.Root, "plain.txt"), nullptr);
    // Each cut name still leads to its own file.
    std::set<uint64_t> sizes;
    for (const auto& c : v.Root.Children)
        if (c.Name.size() == 127 && !c.Directory)
            sizes.insert(c.Size);
    EXPECT_EQ(sizes, (std::set<uint64_t>{1, 2, 3, 4}));
}

TEST_F(UdfBridge, VolumeLabelFitsEveryIdentifierField) {
    SetVolumeLabelW(b, u"A LABEL OF 31 CHARACTERS TODAY!");
    TUdfVolume v = PrepareAndCheck();
    ASSERT_TRUE(v.Errors.empty()) << Errors(v);
    EXPECT_EQ(v.VolumeIdentifier, u"A LABEL OF 31 C");  // 32-byte fields: 15 characters
    EXPECT_EQ(v.FileSetIdentifier, u"A LABEL OF 31 C");
    EXPECT_EQ(v.LogicalVolumeIdentifier, u"A LABEL OF 31 CHARACTERS TODAY!");
    EXPECT_EQ(v.LvInfoIdentifier, u"A LABEL OF 31 CHARACTERS TODAY!");
    EXPECT_EQ(v.FsdLogicalVolumeIdentifier, u"A LABEL OF 31 CHARACTERS TODAY!");

    SetVolumeLabelW(b, u"");
    v = PrepareAndCheck();
    ASSERT_TRUE(v.Errors.empty()) << Errors(v);
    EXPECT_TRUE(v.VolumeIdentifier.empty());

    SetVolumeLabelW(b, u"Größe Ελληνικά");
    v = PrepareAndCheck();
    ASSERT_TRUE(v.Errors.empty()) << Errors(v);
    EXPECT_EQ(v.VolumeIdentifier, u"Größe Ελληνικά");
}

TEST_F(UdfBridge, DirectoryOfManyLongNamesSpansSectorsAndDeepTreesWalk) {
    AddFakeDir(b, "\\", "Many");
    for (int i = 0; i < 120; ++i)
        AddFakeFile(b, "\\Many", "file number " + std::to_string(i) + " " + Name(90, 'q') + ".txt",
                    i);
    std::string path = "\\";
    for (int depth = 0; depth < 40; ++depth) {
        AddFakeDir(b, path, "level" + std::to_string(depth));
        path += "level" + std::to_string(depth) + "\\";
    }
    AddFakeFile(b, path.substr(0, path.size() - 1), "bottom.txt", 12);
    const TUdfVolume v = PrepareAndCheck(nullptr, 5);
    ASSERT_TRUE(v.Errors.empty()) << Errors(v);
    EXPECT_EQ(FindUdfNode(v.Root, "Many")->Children.size(), 120u);
    EXPECT_GT(FindDirectory(b, u"\\Many")->UdfDirSize, 5u * 2048u);
    EXPECT_EQ(v.IntegrityFiles, 121u);
    EXPECT_EQ(v.IntegrityDirectories, 42u);
}

TEST_F(UdfBridge, CheckerCatchesACorruptedStream) {
    // The strict pass must notice a broken byte; otherwise the tests above
    // prove nothing.
    TFileEntry* e = AddFakeFile(b, "\\", "victim.txt", 100);
    TUdfTestImage img;
    ASSERT_TRUE(PrepareAndCheck(&img).Errors.empty());
    img.Stream[(e->UdfEntryLba - img.StreamStart) * 2048 + 60] ^= 1;
    EXPECT_FALSE(img.Check().Errors.empty());
}

}  // namespace
