// tessor-cli as a user runs it: the commands, their exit codes and texts,
// against the virtual recorder in a state folder of the test's own.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "tests/support/ReaderHarness.h"
#include "tests/support/TestFiles.h"

namespace tessor::cli::test {
namespace {

using testsupport::RunTool;
using testsupport::ShellQuote;
using testsupport::TTempDir;
using testsupport::TToolResult;

const std::string kBin = std::string(TESSOR_BINARY_DIR) + "/bin/";

class Cli : public ::testing::Test {
protected:
    TTempDir state{"tessor-cli-vdrive"};
    TTempDir work{"tessor-cli"};

    std::string Env() const {
        return "TESSOR_VDRIVE_DIR=" + ShellQuote(state.Path()) + " TESSOR_TIME_SCALE=0.01 ";
    }
    TToolResult Cli_(const std::string& args) const {
        return RunTool(Env() + kBin + "tessor-cli " + args + " 2>&1");
    }
    TToolResult VDrive(const std::string& args) const {
        return RunTool(Env() + kBin + "tessor-vdrive " + args + " 2>&1");
    }
    std::string Tree() const {
        std::string root = work / "src/Docs";
        testsupport::WritePatternFile(root + "/report.bin", 300000, 1);
        testsupport::WriteFile(root + "/notes/readme.txt", "hello\n");
        return root;
    }
};

TEST_F(Cli, HelpAndBadCommandLines) {
    EXPECT_EQ(Cli_("--help").exitCode, 0);
    TToolResult r = Cli_("frobnicate");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.output.find("unknown command"), std::string::npos);
    for (const char* command :
         {"image", "burn", "burn-image", "erase", "devices", "eject", "load"}) {
        TToolResult help = Cli_(std::string(command) + " --help");
        EXPECT_EQ(help.exitCode, 0) << command;
        EXPECT_NE(help.output.find("usage: tessor-cli"), std::string::npos) << command;
    }
    EXPECT_EQ(Cli_("image --bogus -o x.iso y").exitCode, 2);
    EXPECT_EQ(Cli_("image src").exitCode, 2) << "no -o";
    TToolResult image = Cli_("image --help");
    EXPECT_NE(image.output.find("the primary ISO 9660 tree carries the long names"),
              std::string::npos);
    EXPECT_NE(image.output.find("4 sources left out"), std::string::npos);
    TToolResult rules = VDrive("fault --help");
    EXPECT_EQ(rules.exitCode, 0);
    EXPECT_NE(rules.output.find("Fault rules:"), std::string::npos) << rules.output;
    EXPECT_NE(rules.output.find("after-lba"), std::string::npos) << rules.output;
}

TEST_F(Cli, ImageOfFoldersAndFiles) {
    std::string docs = Tree();
    std::string loose = work / "loose.txt";
    testsupport::WriteFile(loose, "a file in the root\n");
    std::string image = work / "out.iso";
    TToolResult r = Cli_("image -o " + ShellQuote(image) + " --label MYDISC " + ShellQuote(docs) +
                         " " + ShellQuote(loose));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    TToolResult listing = testsupport::IsoinfoList(image, true);
    ASSERT_EQ(listing.exitCode, 0) << listing.output;
    EXPECT_NE(listing.output.find("Docs"), std::string::npos);
    EXPECT_NE(listing.output.find("loose.txt"), std::string::npos);
    EXPECT_NE(listing.output.find("readme.txt"), std::string::npos);
    EXPECT_NE(testsupport::IsoinfoDescriptor(image).output.find("Volume id: MYDISC"),
              std::string::npos);
}

TEST_F(Cli, ImageFailuresSayWhy) {
    TToolResult missing =
        Cli_("image -o " + ShellQuote(work / "o.iso") + " " + ShellQuote(work / "nothing"));
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_NE(missing.output.find("no such file or folder"), std::string::npos) << missing.output;
    std::string docs = Tree();
    std::string bad = work / "no/folder/o.iso";
    TToolResult uncreatable = Cli_("image -o " + ShellQuote(bad) + " " + ShellQuote(docs));
    EXPECT_EQ(uncreatable.exitCode, 1);
    EXPECT_NE(uncreatable.output.find("Error creating file \\" + bad + "\\"), std::string::npos)
        << uncreatable.output;
    TToolResult full = Cli_("image -o /dev/full " + ShellQuote(docs));
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_NE(full.output.find("Error writing file"), std::string::npos) << full.output;
}

TEST_F(Cli, DevicesListsTheVirtualRecorders) {
    ASSERT_EQ(VDrive("insert 1 dvd+r").exitCode, 0);
    TToolResult r = Cli_("devices --use-aspi");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("0: 0:0:0,"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("| writer | no disc"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("DVD+R, blank"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("| reader |"), std::string::npos) << r.output;
}

TEST_F(Cli, BurnEraseAndBurnImage) {
    std::string docs = Tree();
    // The old CD writer (no GET CONFIGURATION) with a CD-RW.
    ASSERT_EQ(VDrive("insert 2 cd-rw").exitCode, 0);
    TToolResult burn = Cli_("burn --use-aspi --device 2 " + ShellQuote(docs));
    ASSERT_EQ(burn.exitCode, 0) << burn.output;
    EXPECT_NE(burn.output.find(">>> Writing successfull"), std::string::npos);
    std::string disc = work / "cd.iso";
    ASSERT_EQ(VDrive("export 2 " + ShellQuote(disc)).exitCode, 0);
    EXPECT_NE(testsupport::IsoinfoList(disc, true).output.find("report.bin"), std::string::npos);

    TToolResult erase = Cli_("erase --use-aspi --device 2");
    ASSERT_EQ(erase.exitCode, 0) << erase.output;
    EXPECT_NE(erase.output.find("Deletion successfull"), std::string::npos);

    // The image of the same sources onto a DVD-R, from address 0.
    std::string image = work / "img.iso";
    ASSERT_EQ(Cli_("image -o " + ShellQuote(image) + " " + ShellQuote(docs)).exitCode, 0);
    ASSERT_EQ(VDrive("insert 1 dvd-r").exitCode, 0);
    TToolResult burnImage = Cli_("burn-image --use-aspi --device 1 " + ShellQuote(image));
    ASSERT_EQ(burnImage.exitCode, 0) << burnImage.output;
    std::string written = work / "dvd.iso";
    ASSERT_EQ(VDrive("export 1 " + ShellQuote(written)).exitCode, 0);
    EXPECT_EQ(RunTool("cmp -n $(stat -c %s " + ShellQuote(image) + ") " + ShellQuote(image) + " " +
                      ShellQuote(written))
                  .exitCode,
              0);
}

// burn onto a disc holding a session carries it forward and says so; ls
// shows the tree; --no-import writes the new session alone; a replaced file
// is noted.
TEST_F(Cli, AppendingCarriesTheEarlierSessionForward) {
    std::string docs = Tree();
    std::string more = work / "more/Extra";
    testsupport::WriteFile(more + "/x.txt", "x\n");
    testsupport::WriteFile(work / "more/Docs/report.bin", "newer\n");
    ASSERT_EQ(VDrive("insert 1 dvd+r").exitCode, 0);
    ASSERT_EQ(Cli_("burn --use-aspi --device 1 " + ShellQuote(docs)).exitCode, 0);
    TToolResult second = Cli_("burn --use-aspi --device 1 " + ShellQuote(more + "/x.txt") + " " +
                              ShellQuote(work / "more/Docs"));
    ASSERT_EQ(second.exitCode, 0) << second.output;
    EXPECT_NE(second.output.find("IMPORTING SESSION"), std::string::npos) << second.output;
    EXPECT_NE(second.output.find("Carried forward 2 entries"), std::string::npos) << second.output;
    EXPECT_NE(second.output.find("report.bin: replaces the file of this name in the earlier"),
              std::string::npos)
        << second.output;
    TToolResult ls = Cli_("ls --use-aspi --device 1");
    ASSERT_EQ(ls.exitCode, 0) << ls.output;
    EXPECT_NE(ls.output.find("Docs/\n  notes/\n    readme.txt  6\n  report.bin  6\nx.txt  2\n"),
              std::string::npos)
        << ls.output;
    TToolResult alone =
        Cli_("burn --use-aspi --no-import --device 1 " + ShellQuote(more + "/x.txt"));
    ASSERT_EQ(alone.exitCode, 0) << alone.output;
    EXPECT_EQ(alone.output.find("Carried forward"), std::string::npos) << alone.output;
    ls = Cli_("ls --use-aspi --device 1");
    EXPECT_NE(ls.output.find(", 1 entries"), std::string::npos) << ls.output;

    // A disc whose session is no ISO 9660 volume: the reason, and nothing
    // written until the user says to write the new session alone.
    std::string junk = work / "junk.img";
    testsupport::WritePatternFile(junk, 2048 * 64, 4);
    ASSERT_EQ(VDrive("insert 1 dvd+r --from " + ShellQuote(junk)).exitCode, 0);
    TToolResult refused = Cli_("burn --use-aspi --device 1 " + ShellQuote(more + "/x.txt"));
    EXPECT_EQ(refused.exitCode, 1) << refused.output;
    EXPECT_NE(refused.output.find("the earlier session cannot be read: sector 16 holds no ISO "
                                  "9660 volume descriptor\ntessor-cli: nothing written"),
              std::string::npos)
        << refused.output;
    EXPECT_EQ(refused.output.find("Writing data"), std::string::npos) << refused.output;
    EXPECT_EQ(
        Cli_("burn --use-aspi --no-import --device 1 " + ShellQuote(more + "/x.txt")).exitCode, 0);
}

// --dedupe on image and burn: the copies are counted and written once.
TEST_F(Cli, DedupeWritesCopiesOnce) {
    std::string docs = Tree();
    testsupport::WritePatternFile(docs + "/copy/report.bin", 300000, 1);
    testsupport::WritePatternFile(docs + "/copy/report2.bin", 300000, 1);
    ASSERT_EQ(VDrive("insert 1 dvd-r").exitCode, 0);
    struct {
        std::string command;
        std::string disc;
    } jobs[] = {{"image -o " + ShellQuote(work / "once.iso"), work / "once.iso"},
                {"burn --use-aspi --device 1", work / "dvd.iso"}};
    for (const auto& job : jobs) {
        TToolResult r = Cli_(job.command + " --dedupe " + ShellQuote(docs));
        ASSERT_EQ(r.exitCode, 0) << r.output;
        EXPECT_NE(r.output.find("2 identical files, 0.6 MB saved"), std::string::npos) << r.output;
        if (job.command.rfind("burn", 0) == 0) {
            ASSERT_EQ(VDrive("export 1 " + ShellQuote(job.disc)).exitCode, 0);
        }
        TTempDir out("tessor-cli-extract");
        TToolResult x =
            testsupport::ExtractImage(testsupport::TReader::SevenZipUdf, job.disc, out.Path());
        ASSERT_EQ(x.exitCode, 0) << x.output;
        auto diff = testsupport::CompareTrees(testsupport::Snapshot(work / "src"),
                                              testsupport::Snapshot(out.Path()));
        EXPECT_TRUE(diff.empty()) << testsupport::Join(diff);
    }
    TToolResult plain = Cli_("image -o " + ShellQuote(work / "plain.iso") + " " + ShellQuote(docs));
    ASSERT_EQ(plain.exitCode, 0) << plain.output;
    EXPECT_EQ(plain.output.find("identical"), std::string::npos);
}

TEST_F(Cli, CompilationLargerThanTheDiscIsRefused) {
    std::string big = work / "big/huge.bin";
    ASSERT_TRUE(testsupport::WriteSparseFile(big, 900ull << 20, 3));
    ASSERT_EQ(VDrive("insert 2 cd-r").exitCode, 0);
    TToolResult r = Cli_("burn --use-aspi --device 2 " + ShellQuote(work / "big"));
    EXPECT_EQ(r.exitCode, 3) << r.output;
    EXPECT_NE(r.output.find("too small. Please insert a disk with"), std::string::npos) << r.output;
}

TEST_F(Cli, TrayCommandsAndMissingDisc) {
    EXPECT_EQ(Cli_("eject --use-aspi --device 0").exitCode, 0);
    EXPECT_EQ(Cli_("load --use-aspi --device 0").exitCode, 0);
    TToolResult r = Cli_("burn --use-aspi --device 0 " + ShellQuote(Tree()));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.output.find("Device not ready or no disk inserted"), std::string::npos) << r.output;
    EXPECT_EQ(Cli_("eject --use-aspi --device 9").exitCode, 1);
}

// --language chooses the language of the texts that are language constants.
TEST_F(Cli, LanguageOption) {
    std::string tree = ShellQuote(Tree());
    TToolResult de = Cli_("--language de burn --use-aspi --device 0 " + tree);
    EXPECT_EQ(de.exitCode, 1);
    EXPECT_NE(de.output.find("Laufwerk nicht bereit oder keine Disk eingelegt"), std::string::npos)
        << de.output;
    ASSERT_EQ(VDrive("insert 2 cd-r").exitCode, 0);
    TToolResult ro = Cli_("erase --use-aspi --language=1048 --device 2");
    EXPECT_EQ(ro.exitCode, 1);
    EXPECT_NE(ro.output.find("disk undeletable"), std::string::npos) << ro.output;
    TToolResult bad = Cli_("--language fr devices");
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_NE(bad.output.find("en (English, 1033), de (German, 1031) and ro (Romanian, 1048)"),
              std::string::npos)
        << bad.output;
    EXPECT_EQ(Cli_("devices --language").exitCode, 2);
}

// Ctrl-C during a burn: Abort, the disc is closed, exit 130.
TEST_F(Cli, InterruptAbortsTheBurn) {
    std::string big = work / "slow/data.bin";
    ASSERT_TRUE(testsupport::WritePatternFile(big, 40u << 20, 4));
    ASSERT_EQ(VDrive("insert 2 cd-r").exitCode, 0);
    std::string log = work / "out.txt";
    // 1x CD at real time: 40 MB take minutes, so the signal comes mid-write.
    std::string command = "TESSOR_VDRIVE_DIR=" + ShellQuote(state.Path()) + " exec " + kBin +
                          "tessor-cli burn --use-aspi --device 2 --speed 176 " +
                          ShellQuote(work / "slow") + " > " + ShellQuote(log) + " 2>&1";
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::seconds(2));
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    TToolResult out = RunTool("cat " + ShellQuote(log));
    EXPECT_NE(out.output.find("Aborted by user"), std::string::npos) << out.output;
}

// Starts a command in the background; its output goes to `log`.
pid_t Spawn(const std::string& command, const std::string& log) {
    std::string line = "exec " + command + " > " + ShellQuote(log) + " 2>&1";
    pid_t pid = fork();
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

int ExitOf(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Nothing is sent to the drive for a job that cannot succeed: a typo, a
// folder or an empty file as the image, a test write on a disc that cannot
// simulate. The disc keeps its volume.
TEST_F(Cli, NothingIsErasedForAJobThatCannotSucceed) {
    std::string docs = Tree();
    std::string volume = work / "volume.iso";
    ASSERT_EQ(Cli_("image -o " + ShellQuote(volume) + " " + ShellQuote(docs)).exitCode, 0);
    ASSERT_TRUE(testsupport::WriteFile(work / "empty.iso", ""));
    ASSERT_EQ(VDrive("insert 1 dvd+rw --from " + ShellQuote(volume)).exitCode, 0);
    struct {
        std::string args;
        int exitCode;
        const char* says;
    } cases[] = {
        {"burn " + ShellQuote(work / "typo"), 2, "no such file or folder"},
        {"burn-image " + ShellQuote(work / "typo.iso"), 2, "No such file or directory"},
        {"burn-image " + ShellQuote(work / "src"), 2, "a folder"},
        {"burn-image " + ShellQuote(work / "empty.iso"), 2, "is empty"},
        {"burn --test-write " + ShellQuote(docs), 1, "cannot be test-written"},
    };
    for (const auto& c : cases) {
        TToolResult r = Cli_("--language en " + c.args.substr(0, c.args.find(' ')) +
                             " --use-aspi --device 1" + c.args.substr(c.args.find(' ')));
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args << "\n" << r.output;
        EXPECT_NE(r.output.find(c.says), std::string::npos) << c.args << "\n" << r.output;
        EXPECT_EQ(r.output.find("Start deletion"), std::string::npos) << c.args;
    }
    std::string disc = work / "after.iso";
    ASSERT_EQ(VDrive("export 1 " + ShellQuote(disc)).exitCode, 0);
    EXPECT_EQ(RunTool("cmp -n $(stat -c %s " + ShellQuote(volume) + ") " + ShellQuote(volume) +
                      " " + ShellQuote(disc))
                  .exitCode,
              0)
        << "the volume is still on the disc";

    // A test write on a CD-RW: not erased, nothing recorded, and it says so.
    ASSERT_EQ(VDrive("insert 2 cd-rw").exitCode, 0);
    TToolResult test = Cli_("burn --use-aspi --device 2 --test-write " + ShellQuote(docs));
    EXPECT_EQ(test.exitCode, 0) << test.output;
    EXPECT_NE(test.output.find("the disc is not erased"), std::string::npos) << test.output;
    EXPECT_NE(VDrive("list").output.find("cd-rw, blank"), std::string::npos);
}

// An image never overwrites one of its sources, named or inside a folder.
TEST_F(Cli, ImageNeverOverwritesItsSources) {
    std::string text = work / "x.txt";
    ASSERT_TRUE(testsupport::WriteFile(text, "precious"));
    TToolResult self = Cli_("image -o " + ShellQuote(text) + " " + ShellQuote(text));
    EXPECT_EQ(self.exitCode, 2) << self.output;
    EXPECT_NE(self.output.find("is one of the sources"), std::string::npos) << self.output;
    EXPECT_EQ(RunTool("cat " + ShellQuote(text)).output, "precious");
    std::string docs = Tree();
    std::string inside = docs + "/out.iso";
    ASSERT_EQ(Cli_("image -o " + ShellQuote(inside) + " " + ShellQuote(docs)).exitCode, 0);
    EXPECT_EQ(Cli_("image -o " + ShellQuote(inside) + " " + ShellQuote(docs)).exitCode, 2);

    // Standard output carries the image and nothing else.
    std::string piped = work / "piped.iso";
    TToolResult pipe = RunTool(Env() + kBin + "tessor-cli image -o - " + ShellQuote(text) + " > " +
                               ShellQuote(piped));
    EXPECT_EQ(pipe.exitCode, 0) << pipe.output;
    EXPECT_NE(testsupport::IsoinfoList(piped, true).output.find("x.txt"), std::string::npos);
}

// A source that cannot be written as it is stops the run (exit 4) unless
// --allow-partial; a case variant is kept under its own name.
TEST_F(Cli, LeftOutSourcesAreNamed) {
    std::string a = work / "a/same.txt", b = work / "b/same.txt";
    ASSERT_TRUE(testsupport::WriteFile(a, "one"));
    ASSERT_TRUE(testsupport::WriteFile(b, "two"));
    std::string image = work / "o.iso";
    std::string args = " " + ShellQuote(a) + " " + ShellQuote(b);
    TToolResult r = Cli_("image -o " + ShellQuote(image) + args);
    EXPECT_EQ(r.exitCode, 4) << r.output;
    EXPECT_NE(r.output.find("left out: " + b), std::string::npos) << r.output;
    EXPECT_NE(RunTool("test -e " + ShellQuote(image)).exitCode, 0) << "nothing written";
    EXPECT_EQ(Cli_("image --allow-partial -o " + ShellQuote(image) + args).exitCode, 0);

    ASSERT_TRUE(testsupport::WriteFile(work / "c/README.txt", "upper"));
    ASSERT_TRUE(testsupport::WriteFile(work / "c/Readme.TXT", "mixed"));
    TToolResult variants = Cli_("image -o " + ShellQuote(image) + " " + ShellQuote(work / "c"));
    EXPECT_EQ(variants.exitCode, 0) << variants.output;
    EXPECT_NE(variants.output.find("is written as \"Readme~2.TXT\""), std::string::npos)
        << variants.output;
}

// The drive's answer is named: its sense in hex and words, and the reason
// of the first failure, not of a later poll.
TEST_F(Cli, ErrorsSayWhy) {
    std::string docs = Tree();
    for (const char* media : {"cd-r", "dvd+r"}) {
        ASSERT_EQ(VDrive(std::string("insert 1 ") + media).exitCode, 0);
        ASSERT_EQ(VDrive("fault 1 write-error 32 05/21/00").exitCode, 0);
        TToolResult r = Cli_("burn --use-aspi --device 1 " + ShellQuote(docs));
        EXPECT_EQ(r.exitCode, 1) << media;
        EXPECT_NE(
            r.output.find("Hardware Error 8448 (05/21/00 logical block address out of range)"),
            std::string::npos)
            << media << "\n"
            << r.output;
        ASSERT_EQ(VDrive("fault 1 clear").exitCode, 0);
    }
    TToolResult full = Cli_("image -o /dev/full " + ShellQuote(docs));
    EXPECT_NE(full.output.find("(No space left on device)"), std::string::npos) << full.output;

    // Discs and drives that cannot take a session say so.
    ASSERT_EQ(Cli_("image -o " + ShellQuote(work / "v.iso") + " " + ShellQuote(docs)).exitCode, 0);
    ASSERT_EQ(VDrive("insert 2 cd-r").exitCode, 0);
    ASSERT_EQ(Cli_("burn --use-aspi --device 2 --finalize " + ShellQuote(docs)).exitCode, 0);
    EXPECT_NE(Cli_("burn --use-aspi --device 2 " + ShellQuote(docs))
                  .output.find("not writable (closed disc)"),
              std::string::npos);
    ASSERT_EQ(VDrive("insert 1 cd-rom --from " + ShellQuote(work / "v.iso")).exitCode, 0);
    EXPECT_NE(Cli_("burn --use-aspi --device 1 " + ShellQuote(docs))
                  .output.find("not writable (read-only disc)"),
              std::string::npos);
    EXPECT_NE(Cli_("burn --use-aspi --device 3 " + ShellQuote(docs)).output.find("cannot write"),
              std::string::npos);
}

// An image that is not a whole number of sectors is written whole: its
// last sector padded with zeros, never cut.
TEST_F(Cli, OddSizedImageIsPaddedNotCut) {
    std::string image = work / "odd.iso";
    ASSERT_EQ(Cli_("image -o " + ShellQuote(image) + " " + ShellQuote(Tree())).exitCode, 0);
    ASSERT_EQ(RunTool("printf 'tail of the image' >> " + ShellQuote(image)).exitCode, 0);
    ASSERT_EQ(VDrive("insert 1 dvd-r").exitCode, 0);
    TToolResult r = Cli_("burn-image --use-aspi --device 1 " + ShellQuote(image));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("padded with zeros"), std::string::npos) << r.output;
    std::string disc = work / "disc.iso";
    ASSERT_EQ(VDrive("export 1 " + ShellQuote(disc)).exitCode, 0);
    std::string size = "$(stat -c %s " + ShellQuote(image) + ")";
    EXPECT_EQ(RunTool("cmp -n " + size + " " + ShellQuote(image) + " " + ShellQuote(disc)).exitCode,
              0);
    EXPECT_EQ(RunTool("tail -c +$((" + size + " + 1)) " + ShellQuote(disc) +
                      " | head -c $((2048 - " + size + " % 2048)) | tr -d '\\0' | wc -c")
                  .output,
              "0\n")
        << "the rest of the last sector is zeros";
}

// One unit everywhere: the free space 'devices' shows is the figure of the
// size check.
TEST_F(Cli, DevicesAndTheSizeCheckShareTheirUnit) {
    ASSERT_EQ(VDrive("insert 1 dvd+r").exitCode, 0);
    EXPECT_NE(Cli_("devices --use-aspi").output.find("(4700.4 MB)"), std::string::npos);
    ASSERT_TRUE(testsupport::WriteSparseFile(work / "big/huge.bin", 5000000000ull, 3));
    TToolResult r = Cli_("burn --use-aspi --device 1 " + ShellQuote(work / "big"));
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.output.find("(4700.37MB /"), std::string::npos) << r.output;
}

// Two programs, one drive: while one burns, the other's burn, erase and
// eject fail at once and change nothing.
TEST_F(Cli, OneDriveOneJob) {
    std::string big = work / "slow/data.bin";
    ASSERT_TRUE(testsupport::WritePatternFile(big, 4u << 20, 4));
    ASSERT_EQ(VDrive("insert 2 cd-r").exitCode, 0);
    // The first burn stays in the middle of its write (the drive busy) until
    // the others have tried; then the drive goes on.
    ASSERT_EQ(VDrive("fault 2 after-lba 64 busy 3600000").exitCode, 0);
    pid_t first = Spawn("env " + Env() + kBin + "tessor-cli burn --use-aspi --device 2 " +
                            ShellQuote(work / "slow"),
                        work / "first.txt");
    ASSERT_GT(first, 0);
    // The first program holds the drive once its job lock is taken.
    std::string lock = state / "drive2.job";
    bool held = false;
    // Looked up in /proc/locks: trying the lock would itself take it for a
    // moment, and could turn the first program away.
    for (int i = 0; i < 2000 && !held; ++i) {
        held = RunTool("test -e " + ShellQuote(lock) + " && grep -q \":$(stat -c %i " +
                       ShellQuote(lock) + ") \" /proc/locks")
                   .exitCode == 0;
        if (!held)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(held) << RunTool("cat " + ShellQuote(work / "first.txt")).output;
    for (const char* command : {"burn --use-aspi --device 2 ", "erase --use-aspi --device 2",
                                "eject --use-aspi --device 2"}) {
        std::string args = command;
        if (args.rfind("burn", 0) == 0)
            args += ShellQuote(Tree());
        TToolResult r = Cli_(args);
        EXPECT_EQ(r.exitCode, 1) << command << "\n" << r.output;
        // Said once, and nothing of a job that never started follows it.
        const std::string said = "in use by another program";
        size_t at = r.output.find(said);
        EXPECT_NE(at, std::string::npos) << command << "\n" << r.output;
        EXPECT_EQ(r.output.find(said, at + 1), std::string::npos) << command << "\n" << r.output;
        for (const char* after : {"Prepearing data", "PREPARING"})
            EXPECT_EQ(r.output.find(after), std::string::npos) << command << "\n" << r.output;
    }
    ASSERT_EQ(VDrive("fault 2 clear").exitCode, 0);
    EXPECT_EQ(ExitOf(first), 0) << RunTool("cat " + ShellQuote(work / "first.txt")).output;
    std::string disc = work / "disc.iso";
    ASSERT_EQ(VDrive("export 2 " + ShellQuote(disc)).exitCode, 0);
    EXPECT_NE(testsupport::IsoinfoList(disc, true).output.find("data.bin"), std::string::npos);
}

// Ctrl-C during an erase, which no drive can stop: said once, waited for,
// and the exit status still tells that the user asked to stop.
TEST_F(Cli, InterruptDuringAnEraseWaitsForIt) {
    ASSERT_EQ(VDrive("insert 1 dvd-rw").exitCode, 0);
    std::string log = work / "erase.txt";
    // A full blank of 8 s drive time at TESSOR_TIME_SCALE 0.5: 4 s.
    pid_t pid =
        Spawn("env TESSOR_VDRIVE_DIR=" + ShellQuote(state.Path()) + " TESSOR_TIME_SCALE=0.5 " +
                  kBin + "tessor-cli erase --full --use-aspi --device 1",
              log);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    kill(pid, SIGINT);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    kill(pid, SIGINT);
    EXPECT_EQ(ExitOf(pid), 130);
    std::string out = RunTool("cat " + ShellQuote(log)).output;
    size_t said = out.find("cannot stop an erase");
    EXPECT_NE(said, std::string::npos) << out;
    EXPECT_EQ(out.find("cannot stop an erase", said + 1), std::string::npos) << "said once";
    EXPECT_NE(out.find("Deletion successfull"), std::string::npos) << out;
}

// --verify after each kind of write, and verify on its own: the result and
// its exit status (5: written, but read back other data or not at all).
TEST_F(Cli, VerifyAfterWritingAndOnItsOwn) {
    std::string docs = ShellQuote(Tree());
    std::string image = ShellQuote(work / "v.iso");
    struct TCase {
        const char* media;  // inserted in drive 1 first ("" none)
        const char* fault;  // injected before the command ("" none)
        std::string command;
        int exitCode;
        const char* output;
    } cases[] = {
        {"", "", "image --verify -o " + image + " " + docs, 0, "Verified: "},
        {"", "", "image --verify -o - " + docs, 2, "cannot read standard output back"},
        {"dvd+r", "", "burn --use-aspi --device 1 --verify " + docs, 0, "Verified: "},
        {"dvd+r", "corrupt 16", "burn --use-aspi --device 1 --verify " + docs, 5,
         "verify failed: Block 16 differs from what was written, in the file-system area"},
        {"cd-r", "", "burn --use-aspi --device 1 --verify --test-write " + docs, 2,
         "nothing to read after --test-write"},
        {"dvd-r", "", "burn-image --use-aspi --device 1 --verify " + image, 0, "Verified: "},
        {"", "read-error 40 03/11/00 0", "verify --use-aspi --device 1 --image " + image, 5,
         "verify failed: Block 40 could not be read (03/11/00 unrecovered read error)"},
        {"dvd-r", "", "verify --use-aspi --device 1 --image " + image, 5,
         "verify failed: Block 0 could not be read (05/21/00"},
        {"", "", "verify --use-aspi --device 1", 2, "give either SOURCE... or --image IMAGE"},
        {"", "", "verify --use-aspi --device 1 " + docs, 1, "holds no recorded session"},
        {"dvd+r", "", "burn --use-aspi --device 1 " + docs, 0, "Writing successfull"},
        {"", "", "verify --use-aspi --device 1 " + docs, 0, "Verified: "},
        {"", "", "verify --use-aspi --device 1 " + image, 5, "verify failed: Block "},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.command);
        if (*c.media) {
            ASSERT_EQ(VDrive(std::string("insert 1 ") + c.media).exitCode, 0);
        }
        if (*c.fault) {
            ASSERT_EQ(VDrive(std::string("fault 1 ") + c.fault).exitCode, 0);
        }
        TToolResult r = Cli_(c.command);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.output;
        EXPECT_NE(r.output.find(c.output), std::string::npos) << r.output;
        ASSERT_EQ(VDrive("fault 1 clear").exitCode, 0);
    }
}

}  // namespace
}  // namespace tessor::cli::test
