// A session appended to a disc carries the earlier session's directory: the
// readers see every file of every session, through Joliet, the primary tree
// and a strict UDF pass, on every kind of disc that takes a further session.
#include <cstring>
#include <filesystem>
#include <fstream>

#include "engine/builder/SessionImport.h"
#include "engine/drive/Consts.h"
#include "tests/component/BurnFixture.h"
#include "tests/support/UdfCheck.h"

namespace tessor::component::test {
namespace {

using testsupport::TReader;

class Import : public TVirtualBurn {
protected:
    // The window's burn with the import: the earlier directory first, then
    // the new folders into it.
    bool Append(const std::vector<std::string>& folders, int32_t& carried) {
        burner->ClearFiles();
        burner->SetUDFBridge(true);
        burner->SetVolumeIDW(u"APPENDED");
        carried = burner->ImportSession();
        if (carried < 0)
            return false;
        AddFolders(folders);
        burner->PrepareImage();
        writeDone = {};
        bool started = burner->WriteDisc();
        Pump(writeDone);
        return started && writeDone.count == 1 && !writeDone.failed;
    }

    // Joliet and primary trees of the session at `start` of the exported
    // disc, extracted by xorriso, against the expected folder.
    void ExpectSessionHolds(const std::string& image, uint32_t start, const std::string& expected) {
        for (const char* tree : {"norock", "ecma119"}) {
            TTempDir out("tessor-import");
            auto r = testsupport::RunTool(
                "xorriso -abort_on FAILURE -indev " + testsupport::ShellQuote(image) +
                " -load sbsector " + std::to_string(start) + " -read_fs " + tree +
                " -osirrox on -extract / " + testsupport::ShellQuote(out.Path()) + " 2>&1");
            ASSERT_EQ(r.exitCode, 0) << r.output;
            testsupport::TNode want = testsupport::Snapshot(expected);
            testsupport::TNode got = testsupport::Snapshot(out.Path());
            // The primary tree's names are 8.3 names: compare its contents
            // by count and bytes only through Joliet.
            if (std::string(tree) == "norock") {
                auto diff = testsupport::CompareTrees(want, got);
                EXPECT_TRUE(diff.empty()) << tree << "\n" << testsupport::Join(diff);
            }
        }
    }

    // The strict UDF pass over the session, and every file's bytes read
    // through its UDF extents against the expected folder.
    void ExpectUdfHolds(const std::string& image, uint32_t start, uint32_t end,
                        const std::string& expected, uint32_t files) {
        std::ifstream in(image, std::ios::binary);
        auto read = [&](uint64_t sector, uint8_t* out) {
            in.clear();
            in.seekg(static_cast<std::streamoff>(sector * 2048));
            in.read(reinterpret_cast<char*>(out), 2048);
            return in.gcount() == 2048;
        };
        testsupport::TUdfVolume v = testsupport::CheckUdf(read, start, end);
        EXPECT_TRUE(v.Errors.empty()) << testsupport::Join(v.Errors);
        EXPECT_EQ(v.Files, files);
        std::function<void(const testsupport::TUdfNode&, const std::string&)> walk =
            [&](const testsupport::TUdfNode& n, const std::string& path) {
                for (const auto& c : n.Children) {
                    std::string p = path + "/" + testsupport::Utf8(c.Name);
                    if (c.Directory) {
                        walk(c, p);
                        continue;
                    }
                    std::ifstream want(expected + p, std::ios::binary);
                    std::string bytes((std::istreambuf_iterator<char>(want)), {});
                    std::string got;
                    for (auto [block, length] : c.Extents) {
                        std::vector<uint8_t> s((length + 2047) / 2048 * 2048);
                        for (size_t i = 0; i < s.size() / 2048; ++i)
                            ASSERT_TRUE(read(v.PartitionStart + block + i, s.data() + i * 2048));
                        got.append(reinterpret_cast<char*>(s.data()), length);
                    }
                    EXPECT_EQ(got.size(), bytes.size()) << p;
                    EXPECT_TRUE(got == bytes) << p << " differs through UDF";
                }
            };
        walk(v.Root, "");
    }
};

struct TMedium {
    const char* name;
    bool overwritable;
};

class ImportEveryMedium : public Import, public ::testing::WithParamInterface<TMedium> {};

// A, then B, then C: after each append the last session holds every file.
TEST_P(ImportEveryMedium, EachAppendedSessionShowsEveryFileOfEveryEarlierOne) {
    if (!testsupport::ToolAvailable("xorriso"))
        GTEST_SKIP() << "xorriso not installed";
    const TMedium m = GetParam();
    Insert(m.name);
    if (m.overwritable) {
        ASSERT_TRUE(Erase(true));
    }
    MakeTree("all", "one", 1);
    MakeTree("all", "two", 2);
    MakeTree("all", "three", 3);
    ASSERT_TRUE(Burn({MakeTree("a", "one", 1)}));
    int32_t carried = 0;
    const char* names[2] = {"two", "three"};
    for (int round = 0; round < 2; ++round) {
        host->ClearJournal();
        ASSERT_TRUE(
            Append({MakeTree(std::string("b") + names[round], names[round], 2 + round)}, carried))
            << burner->ImportError() << burner->ErrorText();
        EXPECT_EQ(carried, round == 0 ? 7 : 14) << "entries carried forward";
        // The data of the earlier sessions are not written again: only the
        // new tree's files (2049, 1000 and 200000 bytes) take sectors.
        EXPECT_EQ(burner->Builder().FileDataSectors, 2 + 1 + 98);
        if (m.overwritable) {
            auto writes = Writes();
            ASSERT_FALSE(writes.empty());
            ASSERT_GE(writes.size(), 2u);
            EXPECT_EQ(writes[writes.size() - 2], std::make_pair(0u, 32u))
                << "the volume descriptors at the start are rewritten last";
            EXPECT_EQ(writes.back(), std::make_pair(256u, 1u)) << "and the UDF anchor";
        }
    }
    std::string image = Export();
    // The UDF structures of the last session count from its start; on
    // overwritable media readers find them through sector 256 as well.
    const auto session = static_cast<uint32_t>(burner->Builder().SessionStartLba);
    const uint32_t last = session + static_cast<uint32_t>(burner->ImageSectors()) - 1;
    ExpectSessionHolds(image, m.overwritable ? 0 : session, work / "all");
    ExpectUdfHolds(image, m.overwritable ? 0 : session, last, work / "all", 12);
}

INSTANTIATE_TEST_SUITE_P(VirtualRecorder, ImportEveryMedium,
                         ::testing::Values(TMedium{"cd-r", false}, TMedium{"dvd+r", false},
                                           TMedium{"dvd-r", false}, TMedium{"bd-r", false},
                                           TMedium{"dvd+rw", true}, TMedium{"bd-re", true},
                                           TMedium{"dvd-ram", true}, TMedium{"dvd-rw-ro", true}),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             for (char& c : n)
                                 c = c == '-' ? '_' : c == '+' ? 'P' : c;
                             return n;
                         });

// A disc written by another burner (genisoimage, Joliet) takes a session
// that shows its files too; a disc whose session is no ISO 9660 gives the
// message and nothing is written.
TEST_F(Import, ADiscFromAnotherBurnerIsCarriedAndAForeignOneRefused) {
    if (!testsupport::ToolAvailable("genisoimage") || !testsupport::ToolAvailable("xorriso"))
        GTEST_SKIP() << "genisoimage or xorriso not installed";
    std::string theirs = MakeTree("theirs", "one", 1);
    MakeTree("all", "one", 1);
    MakeTree("all", "two", 2);
    std::string iso = work / "theirs.iso";
    auto made = testsupport::RunTool(
        "genisoimage -quiet -J -joliet-long -o " + testsupport::ShellQuote(iso) +
        " -graft-points one=" + testsupport::ShellQuote(theirs) + " 2>&1");
    ASSERT_EQ(made.exitCode, 0) << made.output;
    std::string error;
    ASSERT_TRUE(host->InsertMedia(0, *vdrive::MediaKindFromName("bd-r"), iso, error)) << error;
    ASSERT_TRUE(burner->SelectDevice(0));
    int32_t carried = 0;
    ASSERT_TRUE(Append({MakeTree("b", "two", 2)}, carried)) << burner->ImportError();
    EXPECT_EQ(carried, 7);
    // Its data lie below sector 257, out of the UDF bridge's reach.
    EXPECT_TRUE(burner->ImportTurnedOffUdf());
    ExpectSessionHolds(Export(), static_cast<uint32_t>(burner->Builder().SessionStartLba),
                       work / "all");

    // The same volume on a BD-RE: the session behind it starts on the next
    // 64 KiB boundary, where readers that follow the sessions look for it.
    const auto volume = static_cast<int32_t>(std::filesystem::file_size(iso) / 2048);
    ASSERT_NE(volume % 32, 0);
    ASSERT_TRUE(host->InsertMedia(0, *vdrive::MediaKindFromName("bd-re"), iso, error)) << error;
    ASSERT_TRUE(burner->SelectDevice(0));
    ASSERT_TRUE(Append({MakeTree("b", "two", 2)}, carried)) << burner->ImportError();
    EXPECT_EQ(burner->Builder().SessionStartLba, (volume + 31) / 32 * 32);
    ExpectSessionHolds(Export(), 0, work / "all");

    std::string junk = work / "junk.img";
    testsupport::WritePatternFile(junk, 2048 * 300, 9);
    ASSERT_TRUE(host->InsertMedia(0, *vdrive::MediaKindFromName("dvd+r"), junk, error)) << error;
    ASSERT_TRUE(burner->SelectDevice(0));
    host->ClearJournal();
    EXPECT_FALSE(Append({MakeTree("c", "two", 2)}, carried));
    EXPECT_EQ(carried, -1);
    EXPECT_EQ(burner->ImportError(), std::string(builder::kSessionUnreadable) +
                                         "sector 16 holds no ISO 9660 volume descriptor");
    EXPECT_TRUE(Writes().empty()) << "nothing is written";
}

}  // namespace
}  // namespace tessor::component::test
