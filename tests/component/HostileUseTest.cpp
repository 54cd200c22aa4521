// The engine under hostile use: two programs on one drive, a drive that
// refuses a command, answers late or loses the disc, a test write, a
// compilation written twice, an image whose write fails. Each must end
// with one clear failure (or a success that really holds), and nothing lost.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "BurnFixture.h"
#include "engine/writer/Cache.h"

namespace tessor::component::test {
namespace {

using testsupport::TReader;

std::string ReadAll(const std::string& path) {
    std::ifstream in(testsupport::Utf8Path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class HostileUse : public TVirtualBurn {
protected:
    std::string Tree() { return MakeTree("src", "data", 7); }

    // Waits (pumping) until the recorder has received `opcode`.
    bool WaitForCommand(uint8_t opcode, int seconds = 60) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < deadline) {
            for (const auto& e : host->Journal()) {
                if (e.Opcode() == opcode)
                    return true;
            }
            burner->Messages()->WaitAndDispatch(5);
        }
        return false;
    }

    int Count(uint8_t opcode) const { return static_cast<int>(Commands(opcode).size()); }

    vdrive::TDiscState Disc(unsigned drive = 0) {
        vdrive::TDiscState s;
        std::string error;
        EXPECT_TRUE(host->GetDiscState(drive, s, error)) << error;
        return s;
    }
};

// Only media that can simulate are test-written, and they keep nothing.
TEST_F(HostileUse, TestWriteChangesNothingOnTheDisc) {
    burner->SetTestWrite(true);
    Insert("cd-r");
    ASSERT_TRUE(Burn({Tree()})) << burner->ErrorText();
    EXPECT_GT(Count(0x2A), 0) << "the drive went through the writes";
    EXPECT_TRUE(Disc().IsBlank()) << "nothing was recorded or closed";

    Insert("dvd+rw");
    host->ClearJournal();
    EXPECT_FALSE(Burn({Tree()}));
    EXPECT_EQ(burner->ErrorText(),
              "This disc cannot be test-written (only CD-R, CD-RW, DVD-R and DVD-RW can)");
    EXPECT_EQ(Count(0x2A), 0);
}

// A session appended behind the volume of a BD-RE is what readers find.
TEST_F(HostileUse, AppendedSessionOnBdReIsFoundAtAddressZero) {
    Insert("bd-re");
    ASSERT_TRUE(Erase(true));
    ASSERT_TRUE(Burn({MakeTree("one", "first", 1)}, "FIRST"));
    ASSERT_TRUE(Burn({MakeTree("two", "second", 2)}, "SECOND"));
    ExpectReaderSees(TReader::Xorriso, Export(), work / "two");
}

// A refused closing step, a refused write parameters page or a refused
// flush is a failed write with the drive's reason, not the reason of a
// later poll.
TEST_F(HostileUse, RefusedStepsFailTheWriteWithTheirOwnSense) {
    struct TCase {
        const char* media;
        const char* rule;
        const char* text;
        bool anyWrite;
    } cases[] = {
        {"cd-r", "refuse 5B 05/2C/00", "Hardware Error 11264", true},
        {"dvd+r", "refuse 5B 05/72/03", "Hardware Error 29187", true},
        {"bd-r", "refuse 35 03/0C/00", "Hardware Error 3072", true},
        {"cd-r", "write-error 0 05/21/00", "Hardware Error 8448", true},
        {"bd-r", "write-error 0 05/21/00", "Hardware Error 8448", true},
        {"dvd-r", "refuse 55 05/26/00", "Hardware Error 9728", false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.media) + ": " + c.rule);
        Insert(c.media);
        host->ClearJournal();
        std::string error;
        ASSERT_TRUE(host->InjectFault(0, c.rule, error)) << error;
        EXPECT_FALSE(Burn({Tree()}));
        auto report = burner->TakeError();
        EXPECT_EQ(report.Text, c.text);
        EXPECT_FALSE(report.Detail.empty());
        EXPECT_EQ(Count(0x2A) > 0, c.anyWrite);
        EXPECT_TRUE(host->ClearFaults(0, error));
    }
}

// The strict drive refuses a MODE SELECT whose header carries the mode
// data length; with it refused, a disc that should stay open was closed.
TEST_F(HostileUse, StrictDriveKeepsTheDiscOpen) {
    vdrive::TDriveConfig strict;
    strict.kind = vdrive::TDriveKind::CdWriterOld;
    strict.strictModeSelectLength = true;
    UseDrives({strict});
    Insert("cd-r");
    ASSERT_TRUE(Burn({Tree()})) << burner->ErrorText();
    EXPECT_EQ(burner->DiscStatus(), 1) << "appendable, as FinalizeDisc is off";
}

// A disc that leaves the drive while it blanks in the background fails
// the erase.
TEST_F(HostileUse, DiscRemovedDuringAFullEraseFailsIt) {
    Insert("dvd-rw");
    eraseDone = {};
    ASSERT_TRUE(burner->EraseDisc(false));
    ASSERT_TRUE(WaitForCommand(0xA1));
    std::string error;
    ASSERT_TRUE(host->InjectFault(0, "removed", error)) << error;
    Pump(eraseDone);
    EXPECT_EQ(eraseDone.count, 1);
    EXPECT_TRUE(eraseDone.failed);
    EXPECT_EQ(burner->TakeError().Detail, "02/3A/00 medium not present");
}

// A changed disc (unit attention) and a drive that is still loading are
// answered as drives expect, not taken for "not ready".
TEST_F(HostileUse, UnitAttentionAndLoadingAreWaitedFor) {
    Insert("dvd+r");
    std::string error;
    ASSERT_TRUE(host->InjectFault(0, "unit-attention", error)) << error;
    ASSERT_TRUE(host->InjectFault(0, "not-ready x4 01", error)) << error;
    ASSERT_TRUE(host->InjectFault(0, "busy x3", error)) << error;
    EXPECT_TRUE(burner->DeviceReady());
    ASSERT_TRUE(host->InjectFault(0, "removed", error)) << error;
    EXPECT_FALSE(burner->DeviceReady()) << "no disc is not waited for";
}

// Two programs, one drive: the second job fails at once and sends nothing;
// the tray stays locked while the first one writes.
TEST_F(HostileUse, OneDriveOneJob) {
    Insert("dvd+rw");
    auto other = MakeBurner();
    TDone otherErase;
    other->OnEraseDone = [&](void*, uint8_t, bool failed) {
        ++otherErase.count;
        otherErase.failed = failed;
    };
    ASSERT_TRUE(other->ScanDevices(1, "", ""));
    ASSERT_TRUE(other->SelectDevice(0));
    ASSERT_TRUE(burner->ReserveDevice());
    host->ClearJournal();
    EXPECT_FALSE(other->EraseDisc(true));
    other->Messages()->WaitAndDispatch(100);
    EXPECT_EQ(otherErase.count, 1);
    EXPECT_TRUE(otherErase.failed);
    auto report = other->TakeError();
    EXPECT_EQ(report.Text, "The drive is in use by another program");
    EXPECT_FALSE(other->EjectTray(true));
    EXPECT_EQ(host->Journal().size(), 0u) << "nothing reached the drive";

    ASSERT_TRUE(Erase(true));
    std::string error;
    bool lockedDuringWrite = false;
    TMidWrite tryEject(*burner, [&] { lockedDuringWrite = !host->EjectMedia(0, error); });
    std::string root = work / "big/data";
    testsupport::WritePatternFile(root + "/large.bin", 16u << 20, 5);
    ASSERT_TRUE(Burn({root}));
    ASSERT_TRUE(tryEject.fired);
    EXPECT_TRUE(lockedDuringWrite) << "the tray is locked while the disc is written";
    burner->ReleaseDevice();
    EXPECT_TRUE(other->EjectTray(true)) << other->ErrorText();
}

// Abort stops the writes at once, by itself: with the cache thread held
// (the engine lock taken), the write thread still goes straight on to
// closing the disc, and no further block reaches the drive.
TEST_F(HostileUse, AbortStopsTheWritesAtOnce) {
    Insert("bd-re");
    ASSERT_TRUE(Erase(true));
    bool closedWhileCacheHeld = false;
    int writesAfterAbort = -1;
    TMidWrite abort(*burner, [&] {
        std::lock_guard cacheHeld(*burner->Builder().EngineLock);
        burner->Abort();
        size_t at = host->Journal().size();
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!closedWhileCacheHeld && std::chrono::steady_clock::now() < deadline) {
            auto journal = host->Journal();
            writesAfterAbort = 0;
            for (size_t i = at; i < journal.size(); ++i) {
                writesAfterAbort += journal[i].Opcode() == 0x2A;
                closedWhileCacheHeld = closedWhileCacheHeld || journal[i].Opcode() == 0x35;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    std::string root = work / "big/data";
    testsupport::WritePatternFile(root + "/large.bin", 16u << 20, 5);
    EXPECT_FALSE(Burn({root}));
    ASSERT_TRUE(abort.fired);
    EXPECT_TRUE(closedWhileCacheHeld) << "the write thread waited for the cache to stop it";
    EXPECT_LE(writesAfterAbort, 1) << "only the write under way when Abort came";
    EXPECT_EQ(burner->ErrorText(), "Aborted by user");
}

// One prepared compilation written twice gives the same image twice.
TEST_F(HostileUse, ASecondImageOfOnePreparedCompilationIsTheSame) {
    burner->ClearFiles();
    burner->SetUDFBridge(true);
    std::string tree = Tree();
    ASSERT_NE(burner->CreateDir(u"\\", u"data"), nullptr);
    ASSERT_NE(burner->AddFolder(u"\\data\\", platform::FromSystem(tree), u"*.*", true, false),
              nullptr);
    burner->PrepareImage();
    std::string images[2] = {work / "one.iso", work / "two.iso"};
    for (const std::string& image : images) {
        writeDone = {};
        ASSERT_TRUE(burner->CreateImageFile(platform::FromSystem(image)));
        Pump(writeDone);
        ASSERT_EQ(writeDone.count, 1);
        ASSERT_FALSE(writeDone.failed) << burner->ErrorText();
    }
    EXPECT_TRUE(ReadAll(images[0]) == ReadAll(images[1]));
    ExpectReaderSees(TReader::SevenZipUdf, images[1], work / "src");
}

// An image being written has no name in its folder, so a crash (kill -9)
// leaves nothing behind; once complete it takes the place of the earlier
// file with that file's permissions.
TEST_F(HostileUse, ImageInTheMakingLeavesNoFileBehind) {
    std::string folder = work / "made";
    testsupport::MakeDirs(folder);
    std::string image = folder + "/disc.iso";
    for (bool earlier : {false, true}) {
        SCOPED_TRACE(earlier ? "over an earlier file" : "new file");
        if (earlier) {
            ASSERT_TRUE(testsupport::WriteFile(image, "the earlier image"));
            ASSERT_EQ(chmod(image.c_str(), 0640), 0);
        }
        burner->ClearFiles();
        testsupport::WritePatternFile(work / "big/large.bin", 8u << 20, 1u << 30);
        ASSERT_NE(burner->AddFolder(u"\\", platform::FromSystem(work / "big"), u"*.*", true, false),
                  nullptr);
        burner->PrepareImage();
        auto names = [&] {
            std::vector<std::string> out;
            if (DIR* d = opendir(folder.c_str())) {
                while (dirent* e = readdir(d)) {
                    if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                        out.push_back(e->d_name);
                }
                closedir(d);
            }
            return out;
        };
        std::vector<std::string> during;
        {
            TMidWrite look(*burner, [&] { during = names(); });
            writeDone = {};
            ASSERT_TRUE(burner->CreateImageFile(platform::FromSystem(image)));
            Pump(writeDone);
            ASSERT_FALSE(writeDone.failed) << burner->ErrorText();
            ASSERT_TRUE(look.fired);
        }
        EXPECT_EQ(during,
                  earlier ? std::vector<std::string>{"disc.iso"} : std::vector<std::string>{});
        EXPECT_EQ(names(), std::vector<std::string>{"disc.iso"});
        struct stat st {};
        ASSERT_EQ(stat(image.c_str(), &st), 0);
        EXPECT_EQ(st.st_size, int64_t(burner->ImageSectors()) * 2048);
        if (earlier) {
            EXPECT_EQ(st.st_mode & 07777, 0640u);
        }
    }
}

// A failed image leaves what was at its path as it was, and no trace of
// itself.
TEST_F(HostileUse, FailedImageLeavesTheEarlierFileUntouched) {
    std::string folder = work / "out";
    testsupport::MakeDirs(folder);
    std::string image = folder + "/disc.iso";
    ASSERT_TRUE(testsupport::WriteFile(image, "the earlier image"));
    burner->ClearFiles();
    std::string tree = Tree();
    ASSERT_NE(burner->AddFolder(u"\\", platform::FromSystem(tree), u"*.*", true, false), nullptr);
    burner->PrepareImage();
    ASSERT_EQ(unlink((tree + "/a.bin").c_str()), 0);
    writeDone = {};
    burner->CreateImageFile(platform::FromSystem(image));
    Pump(writeDone);
    EXPECT_TRUE(writeDone.failed);
    EXPECT_EQ(ReadAll(image), "the earlier image");
    int entries = 0;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d))
            entries += e->d_name[0] != '.' || std::string(e->d_name).size() > 2;
        closedir(d);
    }
    EXPECT_EQ(entries, 1) << "the temporary file is gone";

    // And the image is never one of its own sources.
    std::string self = tree + "/Größe ș.txt";
    EXPECT_TRUE(burner->ImageIsSource(platform::FromSystem(self)));
    EXPECT_FALSE(burner->CreateImageFile(platform::FromSystem(self)));
    EXPECT_EQ(burner->ErrorText(), "The image file is one of its own sources \\" + self + "\\");
    EXPECT_EQ(ReadAll(self).size(), 1000u);
}

}  // namespace
}  // namespace tessor::component::test
