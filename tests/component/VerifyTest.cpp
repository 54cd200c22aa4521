// Verify after writing: every medium reads back what was sent; a block that
// comes back changed is named with its file, an unreadable one with its
// sense; an appended session is read where it went; Abort ends it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "BurnFixture.h"
#include "engine/builder/Tree.h"
#include "engine/writer/Verify.h"

namespace tessor::component::test {
namespace {

struct TVerifyDone {
    int count = 0;
    bool failed = false;
    int32_t fileId = 0;
};

class Verify : public TVirtualBurn {
protected:
    TVerifyDone verifyDone;

    void SetUp() override {
        TVirtualBurn::SetUp();
        burner->OnVerifyDone = [this](void* sender, uint8_t id, int32_t fileId, bool failed) {
            EXPECT_EQ(sender, burner.get());
            EXPECT_EQ(id, 0);
            ++verifyDone.count;
            verifyDone.failed = failed;
            verifyDone.fileId = fileId;
        };
    }

    // Runs one verify to its completion; true when it verified.
    bool RunVerify(const std::function<bool()>& start) {
        verifyDone = {};
        start();
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (verifyDone.count == 0 && std::chrono::steady_clock::now() < deadline)
            burner->Messages()->WaitAndDispatch(20);
        burner->Messages()->WaitAndDispatch(150);
        EXPECT_EQ(verifyDone.count, 1) << "exactly one completion per verify";
        EXPECT_EQ(burner->Status(), 0);
        return verifyDone.count == 1 && !verifyDone.failed;
    }
    bool VerifyDisc() {
        return RunVerify([&] { return burner->VerifyDisc(); });
    }
    // The disc against sources, laid out as the disc's last session holds them.
    bool VerifySources(const std::vector<std::string>& folders) {
        Compile(folders);
        writeDone = {};
        if (burner->ReadSourcesForVerify())
            Pump(writeDone);
        EXPECT_EQ(writeDone.count, 1);
        return !writeDone.failed && VerifyDisc();
    }

    // READ (10) commands as (address, blocks).
    std::vector<std::pair<uint32_t, uint32_t>> Reads() const {
        std::vector<std::pair<uint32_t, uint32_t>> out;
        for (const auto& e : host->Journal()) {
            if (e.Opcode() == 0x28)
                out.emplace_back(uint32_t(e.cdb[2]) << 24 | uint32_t(e.cdb[3]) << 16 |
                                     uint32_t(e.cdb[4]) << 8 | e.cdb[5],
                                 uint32_t(e.cdb[7]) << 8 | e.cdb[8]);
        }
        return out;
    }

    // The disc address of the first sector of the compilation's file `name`,
    // and its index in the file table.
    std::pair<uint32_t, int32_t> FileAddress(const std::u16string& name) {
        auto& b = burner->Builder();
        for (size_t i = 0; i < b.FileTable.size(); ++i) {
            const builder::TFileEntry* e = b.FileTable[i];
            if (e->LongName == name)
                return {uint32_t(b.SessionStartLba + b.FirstDataLba) + e->DataLba, int32_t(i)};
        }
        ADD_FAILURE() << "no such file";
        return {0, -3};
    }

    std::string BigTree() {
        std::string root = work / "big/data";
        testsupport::WritePatternFile(root + "/large.bin", 4u << 20, 5);
        testsupport::WritePatternFile(root + "/zz-small.txt", 3000, 6);
        return root;
    }
};

// Every writable medium: what the burn sent is read back, one READ (10) of
// at most 32 sectors per block, from the session's start to its end.
TEST_F(Verify, EveryMediumVerifiesAfterACleanBurn) {
    struct TCase {
        const char* media;
        bool erase;
    };
    for (TCase c : {TCase{"cd-r", false},
                    {"cd-rw", true},
                    {"dvd-r", false},
                    {"dvd-rw", true},
                    {"dvd-rw-ro", true},
                    {"dvd+r", false},
                    {"dvd+r-dl", false},
                    {"dvd+rw", true},
                    {"dvd-ram", true},
                    {"bd-r", false},
                    {"bd-re", true}}) {
        SCOPED_TRACE(c.media);
        Insert(c.media);
        if (c.erase) {
            ASSERT_TRUE(Erase(true)) << burner->ErrorText();
        }
        ASSERT_TRUE(Burn({MakeTree(std::string("v-") + c.media, "data", 3)}))
            << burner->ErrorText();
        const uint32_t total = static_cast<uint32_t>(burner->ImageSectors());
        host->ClearJournal();
        EXPECT_TRUE(VerifyDisc()) << burner->ErrorText();
        EXPECT_EQ(verifyDone.fileId, TDiscBurner::kVerifyNoBlock);
        EXPECT_EQ(burner->WrittenSectors(), static_cast<int32_t>(total));
        auto reads = Reads();
        ASSERT_FALSE(reads.empty());
        uint32_t next = 0;
        for (auto [lba, blocks] : reads) {
            ASSERT_EQ(lba, next);
            ASSERT_LE(blocks, 32u);
            next += blocks;
        }
        EXPECT_EQ(next, total);
        // The same sources later, laid out where the disc holds its session.
        EXPECT_TRUE(VerifySources({work / (std::string("v-") + c.media) + "/data"}))
            << burner->ErrorText();
    }
}

// What the drive gives back with good status but other bytes is found and
// named: the file, or the file-system area; a read that fails names block
// and sense and is never taken for verified.
TEST_F(Verify, BadBlocksAreNamedWithTheirFileOrSense) {
    struct TCase {
        const char* name;
        std::string rule;  // %F: the first sector of large.bin + 100, %S: of zz-small.txt
        const char* text;  // in the error text
        const char* detail;
    };
    const TCase cases[] = {
        {"changed in a file", "corrupt %F", "differs from what was written, in /data/", ""},
        {"changed in the small file", "corrupt %S", "differs", ""},
        {"changed in the directories", "corrupt 18",
         "Block 18 differs from what was written, in the file-system area", ""},
        {"unreadable", "read-error %F 03/11/00 0", "could not be read, in /data/", "03/11/00"},
        {"disc gone", "on 28 removed", "could not be read", "02/3A/00"},
    };
    std::string tree = BigTree();
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        Insert("bd-r");
        ASSERT_TRUE(Burn({tree})) << burner->ErrorText();
        auto [large, largeId] = FileAddress(u"large.bin");
        auto [small, smallId] = FileAddress(u"zz-small.txt");
        std::string rule = c.rule;
        uint32_t expectBlock = 18;
        int32_t expectId = TDiscBurner::kVerifyFileSystemArea;
        if (auto at = rule.find("%F"); at != std::string::npos) {
            expectBlock = large + 100;
            expectId = largeId;
            rule.replace(at, 2, std::to_string(expectBlock));
        } else if (auto at = rule.find("%S"); at != std::string::npos) {
            expectBlock = small;
            expectId = smallId;
            rule.replace(at, 2, std::to_string(expectBlock));
        }
        std::string error;
        ASSERT_TRUE(host->InjectFault(0, rule, error)) << error;
        EXPECT_FALSE(VerifyDisc());
        auto report = burner->TakeError();
        EXPECT_NE(report.Text.find(c.text), std::string::npos) << report.Text;
        EXPECT_NE(report.Detail.find(c.detail), std::string::npos) << report.Detail;
        if (rule.find("removed") == std::string::npos) {
            EXPECT_NE(report.Text.find("Block " + std::to_string(expectBlock) + " "),
                      std::string::npos)
                << report.Text;
            EXPECT_EQ(verifyDone.fileId, expectId);
        }
        ASSERT_TRUE(host->InjectFault(0, "clear", error));
    }
}

// A drive that is busy or still becoming ready is waited for as the retry
// policy says, and the verify completes.
TEST_F(Verify, BusyOrBecomingReadyDriveIsWaitedFor) {
    for (const char* rule : {"on 28 busy x20", "on 28 not-ready x20 01"}) {
        SCOPED_TRACE(rule);
        Insert("dvd+r");
        ASSERT_TRUE(Burn({MakeTree(std::string("w-") + rule, "data", 4)})) << burner->ErrorText();
        std::string error;
        ASSERT_TRUE(host->InjectFault(0, rule, error)) << error;
        EXPECT_TRUE(VerifyDisc()) << burner->ErrorText();
    }
}

// The second session of an overwritable disc is read where it went, and so
// is the copy of its first block at address 0: a bad block there is found.
TEST_F(Verify, AppendedSessionIsReadAtItsAddresses) {
    Insert("dvd+rw");
    ASSERT_TRUE(Erase(true));
    ASSERT_TRUE(Burn({MakeTree("first", "one", 1)}));
    const uint32_t volume = static_cast<uint32_t>(burner->ImageSectors());
    ASSERT_TRUE(Burn({MakeTree("second", "two", 2)})) << burner->ErrorText();
    host->ClearJournal();
    ASSERT_TRUE(VerifyDisc()) << burner->ErrorText();
    auto reads = Reads();
    ASSERT_GE(reads.size(), 2u);
    EXPECT_EQ(reads.front().first, volume);
    EXPECT_EQ(reads.back(), std::make_pair(0u, 32u));
    std::string error;
    ASSERT_TRUE(host->InjectFault(0, "corrupt 17", error));
    EXPECT_FALSE(VerifyDisc());
    EXPECT_EQ(burner->ErrorText(),
              "Block 17 differs from what was written, in the file-system area");
    ASSERT_TRUE(host->InjectFault(0, "clear", error));
    // The sources of the last session verify against it; others of the same
    // layout but other bytes do not, and the first file that differs is named
    // (its data come first, behind the session's file-system area).
    EXPECT_TRUE(VerifySources({work / "second/two"})) << burner->ErrorText();
    EXPECT_FALSE(VerifySources({MakeTree("other", "two", 1u << 30)}));
    const std::string text = burner->ErrorText();
    const uint32_t first = volume + uint32_t(burner->Builder().FirstDataLba);
    EXPECT_NE(text.find("Block " + std::to_string(first) +
                        " differs from what was written, in /two/sub/b.bin"),
              std::string::npos)
        << text;
}

// Abort while the verify waits for a drive: it stops at once, with one
// completion that says so.
TEST_F(Verify, AbortEndsTheVerifyWithOneCompletion) {
    Insert("bd-r");
    ASSERT_TRUE(Burn({BigTree()}));
    platform::SetTimeScale(0.05);  // the drive's "becoming ready" lasts seconds
    std::string error;
    ASSERT_TRUE(host->InjectFault(0, "on 28 not-ready x100000 01", error));
    verifyDone = {};
    ASSERT_TRUE(burner->VerifyDisc());
    EXPECT_EQ(burner->Status(), builder::S_VERIFYING);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    auto begun = std::chrono::steady_clock::now();
    burner->Abort();
    EXPECT_FALSE(RunVerify([] { return true; }));
    EXPECT_LT(std::chrono::steady_clock::now() - begun, std::chrono::seconds(2));
    EXPECT_EQ(burner->ErrorText(), "Aborted by user");
}

// Nothing written, a test write, or a compilation changed since: nothing to
// verify, said at once with the one completion.
TEST_F(Verify, NothingToVerifyIsSaid) {
    Insert("dvd-r");
    EXPECT_FALSE(VerifyDisc());
    EXPECT_NE(burner->ErrorText().find("Nothing to verify"), std::string::npos);
    burner->SetTestWrite(true);
    ASSERT_TRUE(Burn({MakeTree("t", "data", 7)})) << burner->ErrorText();
    EXPECT_FALSE(VerifyDisc());
    EXPECT_NE(burner->ErrorText().find("Nothing to verify"), std::string::npos);
    burner->SetTestWrite(false);
    ASSERT_TRUE(Burn({MakeTree("t2", "data", 7)})) << burner->ErrorText();
    burner->ClearFiles();
    EXPECT_FALSE(VerifyDisc());
}

// An image file read back after it was made; a byte changed in it since is
// found. The disc written from an image verifies against that image.
TEST_F(Verify, ImageFilesAreReadBack) {
    burner->ClearFiles();
    ASSERT_NE(burner->AddFolder(u"\\", platform::FromSystem(BigTree()), u"*.*", true, false),
              nullptr);
    burner->PrepareImage();
    std::string image = work / "out.iso";
    writeDone = {};
    ASSERT_TRUE(burner->CreateImageFile(platform::FromSystem(image)));
    Pump(writeDone);
    ASSERT_FALSE(writeDone.failed) << burner->ErrorText();
    EXPECT_TRUE(RunVerify([&] { return burner->VerifyImageFile(); })) << burner->ErrorText();

    Insert("bd-r");
    writeDone = {};
    ASSERT_TRUE(burner->WriteImageToDisc(image));
    Pump(writeDone);
    ASSERT_FALSE(writeDone.failed) << burner->ErrorText();
    EXPECT_TRUE(RunVerify([&] { return burner->VerifyDiscAgainstImage(image); }))
        << burner->ErrorText();

    std::FILE* f = std::fopen(image.c_str(), "r+b");
    ASSERT_NE(f, nullptr);
    std::fseek(f, 2048 * 40 + 7, SEEK_SET);
    int byte = std::fgetc(f);
    std::fseek(f, 2048 * 40 + 7, SEEK_SET);
    std::fputc(byte ^ 0xFF, f);
    std::fclose(f);
    EXPECT_FALSE(RunVerify([&] { return burner->VerifyDiscAgainstImage(image); }));
    EXPECT_EQ(burner->ErrorText(), "Block 40 differs from what was written");
}

// The block digest changes with any byte, and the sector checks say which
// sector changed.
TEST(BlockDigest, AnyChangedByteIsPlacedInItsSector) {
    std::vector<uint8_t> block(65536);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<uint8_t>(i * 7 + (i >> 11));
    const auto clean = writer::DigestBlock(block.data(), 32);
    for (size_t at : {size_t(0), size_t(2047), size_t(2048), size_t(40000), size_t(65535)}) {
        block[at] ^= 0x01;
        const auto dirty = writer::DigestBlock(block.data(), 32);
        block[at] ^= 0x01;
        EXPECT_NE(dirty.Block, clean.Block) << at;
        for (size_t s = 0; s < 32; ++s)
            EXPECT_EQ(dirty.Sectors[s] != clean.Sectors[s], s == at / 2048) << at << " " << s;
    }
    EXPECT_NE(writer::DigestBlock(block.data(), 31).Block, clean.Block);
}

}  // namespace
}  // namespace tessor::component::test
