// Erasing every rewritable medium, quick and full, and the refusals.
#include <gtest/gtest.h>

#include "BurnFixture.h"

namespace tessor::component::test {
namespace {

struct TEraseCase {
    const char* media;
    bool quick;
};

class EraseEveryMedium : public TVirtualBurn, public ::testing::WithParamInterface<TEraseCase> {};

TEST_P(EraseEveryMedium, ErasedDiscTakesANewCompilationFromAddressZero) {
    const TEraseCase& c = GetParam();
    Insert(c.media);
    ASSERT_TRUE(burner->DiscErasable());
    // Something on the disc first, then erase it and burn again.
    if (std::string(c.media) == "dvd+rw" || std::string(c.media) == "bd-re") {
        ASSERT_TRUE(Erase(true));
    }
    ASSERT_TRUE(Burn({MakeTree("old", "old", 1)})) << burner->ErrorText();
    host->ClearJournal();
    ASSERT_TRUE(Erase(c.quick)) << burner->ErrorText();
    ASSERT_TRUE(Burn({MakeTree("new", "new", 2)})) << burner->ErrorText();
    auto writes = Writes();
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes.front().first, 0u);
    ExpectReaderSees(testsupport::TReader::Xorriso, Export(), work / "new");
}

INSTANTIATE_TEST_SUITE_P(VirtualRecorder, EraseEveryMedium,
                         ::testing::Values(TEraseCase{"cd-rw", true}, TEraseCase{"cd-rw", false},
                                           TEraseCase{"dvd-rw", true}, TEraseCase{"dvd-rw", false},
                                           TEraseCase{"dvd+rw", true}, TEraseCase{"dvd+rw", false},
                                           TEraseCase{"dvd-ram", true},
                                           TEraseCase{"dvd-ram", false}, TEraseCase{"bd-re", true},
                                           TEraseCase{"bd-re", false}),
                         [](const auto& info) {
                             std::string n = info.param.media;
                             for (char& ch : n) {
                                 if (ch == '-')
                                     ch = '_';
                                 if (ch == '+')
                                     ch = 'P';
                             }
                             return n + (info.param.quick ? "_quick" : "_full");
                         });

TEST_F(TVirtualBurn, BlankSendsMinimalOrFullBlank) {
    Insert("cd-rw");
    ASSERT_TRUE(Erase(true));
    ASSERT_TRUE(Erase(false));
    auto blanks = Commands(0xA1);
    ASSERT_EQ(blanks.size(), 2u);
    EXPECT_EQ(blanks[0][1], 0x11);
    EXPECT_EQ(blanks[1][1], 0x10);
}

TEST_F(TVirtualBurn, RefusedBlankGivesOneFailedCompletion) {
    Insert("cd-rw");
    std::string error;
    ASSERT_TRUE(host->InjectFault(0, "refuse A1 05/30/06", error)) << error;
    EXPECT_FALSE(Erase(true));
    EXPECT_TRUE(eraseDone.failed);
    EXPECT_EQ(burner->ErrorText(), "Hardware Error 12294");
}

TEST_F(TVirtualBurn, WriteOnceDiscCannotBeErased) {
    Insert("cd-r");
    EXPECT_FALSE(burner->DiscErasable());
    EXPECT_FALSE(Erase(true));
    EXPECT_TRUE(eraseDone.failed);
}

// A full erase of a BD-RE formats it and clears its start, so the old
// volume is gone (the next write starts at 0, as the erase test shows).
TEST_F(TVirtualBurn, FullBdReEraseFormatsAndClearsTheStart) {
    Insert("bd-re");
    host->ClearJournal();
    ASSERT_TRUE(Erase(false));
    EXPECT_EQ(Commands(0x04).size(), 1u);
    EXPECT_EQ(Writes().size(), 2048u);
}

TEST_F(TVirtualBurn, RefusedQuickFormatOfDvdPlusRwStillOverwritesItsStart) {
    Insert("dvd+rw");
    ASSERT_TRUE(Erase(true));  // formatted now
    std::string error;
    ASSERT_TRUE(host->InjectFault(0, "refuse 04 05/26/00", error)) << error;
    host->ClearJournal();
    EXPECT_TRUE(Erase(true));
    EXPECT_EQ(Writes().size(), 16u);
}

}  // namespace
}  // namespace tessor::component::test
