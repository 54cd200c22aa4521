// Compilations burnt to every writable medium of the virtual recorder and
// read back by real readers; the commands the drive received; multisession;
// and writes that meet a busy drive, a write error, an abort or a vanished
// source.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "BurnFixture.h"
#include "engine/drive/Consts.h"

namespace tessor::component::test {
namespace {

using testsupport::TReader;
using TCdb = std::vector<uint8_t>;

struct TMediumCase {
    const char* media;
    bool erase;  // rewritable: the workflow erases it first
    uint8_t mediaType;
    std::vector<TCdb> closeCommands;  // the CLOSE TRACK/SESSION commands of the write
};

std::ostream& operator<<(std::ostream& os, const TMediumCase& c) {
    return os << c.media;
}

const TCdb kCloseTrack1 = {0x5B, 0x00, 0x01, 0x00, 0x00, 0x01, 0, 0, 0, 0};
const TCdb kCloseTrackNot = {0x5B, 0x00, 0x01, 0x00, 0x00, 0x00, 0, 0, 0, 0};
const TCdb kCloseTrackImm = {0x5B, 0x01, 0x01, 0x00, 0x00, 0x00, 0, 0, 0, 0};
const TCdb kCloseSessionImm = {0x5B, 0x01, 0x02, 0x00, 0x00, 0x00, 0, 0, 0, 0};

std::vector<TMediumCase> Media() {
    using namespace drive;
    return {
        {"cd-r", false, MT_CD_R, {kCloseSessionImm}},
        {"cd-rw", true, MT_CD_RW, {kCloseSessionImm}},
        {"dvd-r",
         false,
         MT_DVD_R,
         {{0x5B, 0, 1, 0, 0, 1, 0, 0, 0, 0},
          {0x5B, 0, 1, 0, 0, 2, 0, 0, 0, 0},
          {0x5B, 0, 2, 0, 0, 3, 0, 0, 0, 0}}},
        {"dvd-rw", true, MT_DVD_RW_SEQ, {kCloseTrack1, kCloseSessionImm}},
        {"dvd-rw-ro", true, MT_DVD_RW_RO, {kCloseTrack1, kCloseSessionImm}},
        {"dvd+r", false, MT_DVD_PLUS_R, {kCloseTrack1, {0x5B, 0, 2, 0, 0, 0xFF, 0, 0, 0, 0}}},
        {"dvd+r-dl", false, MT_DVD_PLUS_R_DL, {kCloseTrack1, {0x5B, 0, 2, 0, 0, 0, 0, 0, 0, 0}}},
        {"dvd+rw", true, MT_DVD_PLUS_RW, {{0x5B, 0, 3, 0, 0, 0xFF, 0, 0, 0, 0}}},
        {"dvd-ram", true, MT_DVD_RAM, {kCloseTrackNot, kCloseSessionImm}},
        // Track number 0 is refused by a sequential disc, and the engine tries
        // the immediate form before it closes the session.
        {"bd-r", false, MT_BD_R_SRM, {kCloseTrackNot, kCloseTrackImm, kCloseSessionImm}},
        {"bd-re", true, MT_BD_RE, {kCloseTrackNot, kCloseSessionImm}},
    };
}

class BurnEveryMedium : public TVirtualBurn, public ::testing::WithParamInterface<TMediumCase> {};

TEST_P(BurnEveryMedium, ReadersSeeTheCompilationAndTheDriveGotTheRightCommands) {
    const TMediumCase& c = GetParam();
    Insert(c.media);
    EXPECT_EQ(burner->MediaType(), c.mediaType);
    if (c.erase) {
        ASSERT_TRUE(Erase(true)) << burner->ErrorText();
    }
    std::string tree = MakeTree("session1", "data", 11);
    host->ClearJournal();
    ASSERT_TRUE(Burn({tree})) << burner->ErrorText();

    // One WRITE (10) of 32 sectors per block, at 0, 32, 64 ... of a blank disc.
    auto writes = Writes();
    uint32_t total = static_cast<uint32_t>(burner->ImageSectors());
    ASSERT_EQ(writes.size(), total / 32);
    for (size_t i = 0; i < writes.size(); ++i) {
        ASSERT_EQ(writes[i].first, 32 * i) << "block " << i;
        ASSERT_EQ(writes[i].second, 32u);
    }
    EXPECT_EQ(Commands(0x5B), c.closeCommands);

    std::string image = Export();
    ExpectReaderSees(TReader::Xorriso, image, work / "session1");
    ExpectReaderSees(TReader::SevenZipUdf, image, work / "session1");
}

INSTANTIATE_TEST_SUITE_P(VirtualRecorder, BurnEveryMedium, ::testing::ValuesIn(Media()),
                         [](const auto& info) {
                             std::string n = info.param.media;
                             for (char& ch : n) {
                                 if (ch == '-')
                                     ch = '_';
                                 if (ch == '+')
                                     ch = 'P';
                             }
                             return n;
                         });

// Reads the session that starts at `sector` of an exported disc.
testsupport::TToolResult ExtractSession(const std::string& image, uint32_t sector,
                                        const std::string& dest) {
    return testsupport::RunTool(
        "xorriso -abort_on FAILURE -indev " + testsupport::ShellQuote(image) + " -load sbsector " +
        std::to_string(sector) + " -read_fs norock -osirrox on -extract / " +
        testsupport::ShellQuote(dest) + " 2>&1");
}

class Multisession : public TVirtualBurn, public ::testing::WithParamInterface<const char*> {};

TEST_P(Multisession, SecondSessionStartsAtTheNextWritableAddress) {
    if (!testsupport::ToolAvailable("xorriso"))
        GTEST_SKIP() << "xorriso not installed";
    Insert(GetParam());
    ASSERT_TRUE(Burn({MakeTree("first", "one", 1)}));
    uint32_t firstEnd = Writes().back().first + 32;
    host->ClearJournal();
    ASSERT_TRUE(Burn({MakeTree("second", "two", 2)})) << burner->ErrorText();
    auto writes = Writes();
    ASSERT_FALSE(writes.empty());
    uint32_t start = writes.front().first;
    EXPECT_GT(start, firstEnd) << "the second session must lie behind the first";
    for (size_t i = 0; i < writes.size(); ++i)
        ASSERT_EQ(writes[i].first, start + 32 * i);

    std::string image = Export();
    TTempDir out("tessor-session");
    auto r = ExtractSession(image, start, out.Path());
    ASSERT_EQ(r.exitCode, 0) << r.output;
    // Only the new session's files: earlier sessions are not carried over.
    auto diff = testsupport::CompareTrees(testsupport::Snapshot(work / "second"),
                                          testsupport::Snapshot(out.Path()));
    EXPECT_TRUE(diff.empty()) << testsupport::Join(diff);
}

INSTANTIATE_TEST_SUITE_P(AppendableDiscs, Multisession, ::testing::Values("cd-r", "dvd+r"),
                         [](const auto& info) {
                             return std::string(info.param) == "cd-r" ? "CdR" : "DvdPlusR";
                         });

// On a DVD+RW holding a volume of V sectors the new session starts at V and
// its first block also goes to address 0, last, so readers starting at
// sector 16 see the new session and an interrupted write leaves the earlier
// volume whole.
TEST_F(TVirtualBurn, OverwritableDiscGrowsBehindTheVolumeAlreadyThere) {
    Insert("dvd+rw");
    ASSERT_TRUE(Erase(true));
    ASSERT_TRUE(Burn({MakeTree("first", "one", 1)}));
    uint32_t volume = static_cast<uint32_t>(burner->ImageSectors());
    host->ClearJournal();
    ASSERT_TRUE(Burn({MakeTree("second", "two", 2)})) << burner->ErrorText();
    auto writes = Writes();
    ASSERT_GE(writes.size(), 3u);
    EXPECT_EQ(writes[writes.size() - 2], std::make_pair(0u, 32u))
        << "the first block also at address 0, after the session";
    EXPECT_EQ(writes.back(), std::make_pair(256u, 1u)) << "then the UDF anchor";
    for (size_t i = 0; i + 2 < writes.size(); ++i)
        ASSERT_EQ(writes[i].first, volume + 32 * i);
    ExpectReaderSees(TReader::Xorriso, Export(), work / "second");
}

class WriteFaults : public TVirtualBurn {
protected:
    // A compilation of `megabytes` of data in one file plus a small one.
    std::string BigTree(int megabytes) {
        std::string root = work / "big/data";
        testsupport::WritePatternFile(root + "/large.bin", uint64_t(megabytes) << 20, 5);
        testsupport::WritePatternFile(root + "/zz-small.txt", 3000, 6);
        return root;
    }
};

// The drive turns busy, or "not ready, long write in progress", once the
// writes reach block 64, for a number of answers: timed by the drive's
// progress, not by the clock, so a loaded machine sees the same thing.
TEST_F(WriteFaults, BusyOrWorkingDriveIsWaitedForAndTheWriteCompletes) {
    for (const char* rule : {"after-lba 64 busy x20", "after-lba 64 not-ready x20 08"}) {
        SCOPED_TRACE(rule);
        Insert("bd-r");
        host->ClearJournal();
        std::string tree = BigTree(8);
        std::string error;
        ASSERT_TRUE(host->InjectFault(0, rule, error)) << error;
        ASSERT_TRUE(Burn({tree})) << burner->ErrorText();
        int answers = 0;
        for (const auto& e : host->Journal()) {
            answers += e.Opcode() == 0x2A &&
                       (e.targetStatus == 0x08 || (e.sense.asc == 0x04 && e.sense.ascq == 0x08));
        }
        EXPECT_EQ(answers, 20) << "each answer was waited for and the block sent again";
        ExpectReaderSees(TReader::Xorriso, Export(), work / "big");
    }
}

TEST_F(WriteFaults, WriteErrorFailsAtOnceAndTheDiscIsStillClosed) {
    Insert("dvd+r");
    std::string error;
    ASSERT_TRUE(host->InjectFault(0, "write-error 96 05/21/00", error)) << error;
    EXPECT_FALSE(Burn({BigTree(8)}));
    EXPECT_TRUE(writeDone.failed);
    EXPECT_EQ(burner->ErrorText(), "Hardware Error 8448");
    EXPECT_EQ(burner->ErrorText(), "Unknown/No Error!");
    auto writes = Writes();
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes.back().first, 96u) << "no retry and no write after the failed one";
    EXPECT_EQ(Commands(0x5B).size(), 2u) << "the session is closed all the same";
}

TEST_F(WriteFaults, AbortClosesTheSessionAndReportsIt) {
    Insert("cd-r");
    TMidWrite abort(*burner, [&] { burner->Abort(); });
    EXPECT_FALSE(Burn({BigTree(64)}));
    ASSERT_TRUE(abort.fired);
    EXPECT_TRUE(writeDone.failed);
    EXPECT_EQ(burner->ErrorText(), "Aborted by user");
    EXPECT_LT(burner->WrittenSectors(), burner->ImageSectors());
    EXPECT_EQ(Commands(0x5B).size(), 1u) << "the session is closed after an abort";
}

TEST_F(WriteFaults, SourceDeletedDuringTheWriteNamesIt) {
    Insert("bd-re");
    ASSERT_TRUE(Erase(true));
    burner->SetCacheSize(2);
    std::string tree = BigTree(64);
    std::string victim = tree + "/zz-small.txt";
    TMidWrite remove(*burner, [&] { unlink(victim.c_str()); });
    EXPECT_FALSE(Burn({tree}));
    ASSERT_TRUE(remove.fired);
    EXPECT_TRUE(writeDone.failed);
    EXPECT_EQ(burner->ErrorText(),
              "Error opening file \\" + testsupport::SystemJoin(tree, "zz-small.txt") + "\\");
}

TEST_F(TVirtualBurn, FinalizedDiscHasNoFreeSpace) {
    Insert("cd-r");
    EXPECT_GT(burner->DiscFreeSectors(), 300000u);
    burner->SetFinalizeDisc(true);
    ASSERT_TRUE(Burn({MakeTree("s", "data", 3)}));
    EXPECT_EQ(burner->DiscFreeSectors(), 0u);
    EXPECT_EQ(burner->DiscStatus(), 2);
}

}  // namespace
}  // namespace tessor::component::test
