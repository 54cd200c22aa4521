// The compilation tree over what only POSIX systems have: permission bits
// that shut a user out, and symbolic links back into the tree.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/builder/TreeFixture.h"

namespace tessor::builder {
namespace {

using platform::ToSystem;

// What cannot be read is left out and said, not written as an empty folder
// or found out in the middle of a write. Run as a user without rights to
// it (root reads everything: the check then runs as "nobody").
TEST_F(TreeTest, UnreadableFilesAndFoldersAreNoted) {
    Make("top/open.txt");
    Make("top/locked/inside.txt");
    Make("top/secret.txt");
    ASSERT_EQ(chmod((src / "top/locked").c_str(), 0700), 0);
    ASSERT_EQ(chmod((src / "top/secret.txt").c_str(), 0600), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0) {
            chmod(src.Path().c_str(), 0755);
            chmod((src / "top").c_str(), 0755);
            if (setgid(65534) != 0 || setuid(65534) != 0)
                _exit(3);
        }
        ClearFiles(b);
        if (AddFolder(b, u"\\", W(src / "top"), u"*.*", true, false) == nullptr)
            _exit(4);
        int leftOut = 0;
        for (const TSourceNote& n : b.SourceNotes)
            leftOut += n.LeftOut && n.Reason.find("Permission denied") != std::string::npos;
        bool openKept = false;
        for (TFileEntry* e : b.FileTable)
            openKept = openKept || ToSystem(e->LongName) == "open.txt";
        _exit(leftOut == 2 && openKept ? 0 : 5);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "3: no user to test as, 4: the folder failed, 5: "
                                         "not both noted";
}

TEST_F(TreeTest, SymbolicLinkBackIntoTheTreeIsNotDescended) {
    Make("top/a/file.txt");
    ASSERT_EQ(::symlink((src / "top").c_str(), (src / "top/a/loop").c_str()), 0);
    ASSERT_EQ(::symlink((src / "top/a").c_str(), (src / "top/self").c_str()), 0);
    EXPECT_EQ(AddFolder(b, u"\\", W(src / "top"), u"*.*", true, false), b.RootDir);
    EXPECT_NE(FindDirectory(b, u"\\a"), nullptr);
    EXPECT_EQ(FindDirectory(b, u"\\a\\loop"), nullptr);
    // A link to a folder that is not on the current path is an ordinary folder.
    EXPECT_NE(FindDirectory(b, u"\\self"), nullptr);
    EXPECT_LT(b.DirCount, 10);
}

}  // namespace
}  // namespace tessor::builder
