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

}  // namespace
}  // namespace tessor::cli::test
