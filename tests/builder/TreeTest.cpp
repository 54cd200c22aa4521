// The compilation tree through its public operations.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "engine/platform/Strings.h"
#include "tests/builder/TreeFixture.h"

namespace tessor::builder {
namespace {

using platform::FromSystem;
using platform::ToSystem;
using testsupport::TTempDir;

platform::TFindData FileData(const std::u16string& name, uint64_t size,
                             uint32_t attributes = 0x80) {
    platform::TFindData fd;
    fd.dwFileAttributes = attributes;
    fd.nFileSizeHigh = static_cast<uint32_t>(size >> 32);
    fd.nFileSizeLow = static_cast<uint32_t>(size);
    std::memcpy(fd.cFileName, name.data(), std::min<size_t>(name.size(), 259) * 2);
    return fd;
}

TEST_F(TreeTest, FindDirectoryResolvesRootAndPathForms) {
    TDirEntry* a = CreateDir(b, u"\\", u"A");
    ASSERT_NE(a, nullptr);
    TDirEntry* bb = CreateDir(b, u"\\A\\", u"B");
    ASSERT_NE(bb, nullptr);
    EXPECT_EQ(FindDirectory(b, u"\\"), b.RootDir);
    EXPECT_EQ(FindDirectory(b, u""), b.RootDir);
    EXPECT_EQ(FindDirectory(b, u"\\A\\"), a);
    EXPECT_EQ(FindDirectory(b, u"\\a"), a);
    EXPECT_EQ(FindDirectory(b, u"a\\b"), bb);
    EXPECT_EQ(FindDirectory(b, u"\\A\\B\\"), bb);
    EXPECT_EQ(FindDirectory(b, u"\\C"), nullptr);
    ASSERT_NE(AddFile(b, u"\\A", W(Make("f.txt"))), nullptr);
    EXPECT_EQ(FindDirectory(b, u"\\A\\f.txt"), nullptr) << "a file is not a directory";
    EXPECT_EQ(b.RootDir->Parent, b.RootDir);
    EXPECT_STREQ(b.RootDir->ShortName, "ROOT_DIR");
}

TEST_F(TreeTest, AddingTwiceKeepsFirstUnlessReplacing) {
    std::string path = Make("one.txt", 10);
    TFileEntry* first = AddFile(b, u"\\", W(path));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(AddFile(b, u"\\", W(Make("two.txt"))), nullptr);
    EXPECT_EQ(AddFile(b, u"\\", W(path)), first);
    EXPECT_EQ(b.FileCount, 2);

    // Same name from another folder, bigger: refreshed in place when replacing.
    std::string other = Make("sub/ONE.TXT", 5000);
    EXPECT_EQ(AddFile(b, u"\\", W(other)), first);
    EXPECT_EQ(first->Size, 10u) << "the first entry wins without ReplaceFileFlag";
    b.ReplaceFileFlag = 1;
    b.Prepared = 1;
    EXPECT_EQ(AddFile(b, u"\\", W(other)), first);
    EXPECT_EQ(first->Size, 5000u);
    EXPECT_EQ(ToSystem(first->SourcePath), other);
    EXPECT_EQ(ToSystem(first->LongName), "ONE.TXT");
    EXPECT_EQ(ToSystem(FirstName(*first)), "one.txt");
    EXPECT_EQ(b.FileCount, 2);
    EXPECT_EQ(b.FileTable[0], first);
    EXPECT_EQ(b.RootDir->FirstChild, first);
    EXPECT_EQ(b.Prepared, 0) << "a refreshed entry invalidates the layout";
}

TEST_F(TreeTest, NamesDifferingInCaseAreOneEntry) {
    TFileEntry* a = AddFile(b, u"\\", W(Make("x/Readme.TXT")));
    TFileEntry* c = AddFile(b, u"\\", W(Make("y/README.txt")));
    EXPECT_EQ(a, c);
    EXPECT_EQ(b.FileCount, 1);
    // Non-ASCII letters fold too.
    TFileEntry* d = AddFile(b, u"\\", W(Make("x/Ärger.txt")));
    EXPECT_EQ(AddFile(b, u"\\", W(Make("y/äRGER.TXT"))), d);
    EXPECT_EQ(FindChild(b, b.RootDir, u"ÄRGER.txt"), d);
}

TEST_F(TreeTest, OverlongNamesKeepTheirFirst100CharactersAndExtension) {
    std::string ok217(213, 'n');
    ok217 += ".txt";
    std::string long218 = "m" + ok217;
    TFileEntry* e = AddFile(b, u"\\", W(Make(ok217)));
    ASSERT_NE(e, nullptr);
    EXPECT_FALSE(IsSkip(e));
    EXPECT_EQ(e->LongNameLength, 217);
    EXPECT_TRUE(b.SourceNotes.empty());
    TFileEntry* cut = AddFile(b, u"\\", W(Make(long218)));
    ASSERT_NE(cut, nullptr);
    ASSERT_FALSE(IsSkip(cut));
    EXPECT_EQ(ToSystem(cut->LongName), "m" + std::string(99, 'n') + ".txt");
    ASSERT_EQ(b.SourceNotes.size(), 1u);
    EXPECT_FALSE(b.SourceNotes[0].LeftOut);
    EXPECT_EQ(b.SourceNotes[0].Name, cut->LongName);
    // An extension that leaves no room even then: left out, and said so.
    EXPECT_TRUE(IsSkip(AddFile(b, u"\\", W(Make("a." + std::string(220, 'x'))))));
    ASSERT_EQ(b.SourceNotes.size(), 2u);
    EXPECT_TRUE(b.SourceNotes[1].LeftOut);
    EXPECT_EQ(b.FileCount, 2);
    TDirEntry* d = CreateDir(b, u"\\", std::u16string(218, u'd'));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->LongName, std::u16string(100, u'd'));
}

// Linux tells these names apart; the disc's readers do not. Each source
// keeps its content, under a distinct name, and adding the same folder
// again changes nothing.
TEST_F(TreeTest, CaseVariantsOfOneFolderAreAllKept) {
    Make("top/README.txt", 10);
    Make("top/Readme.TXT", 20);
    Make("top/Docs/a.txt", 30);
    Make("top/docs/a.txt", 40);
    for (int round = 0; round < 2; ++round)
        ASSERT_NE(AddFolder(b, u"\\", W(src / "top"), u"*.*", true, false), nullptr);
    std::set<std::string> names;
    uint64_t bytes = 0;
    for (TFileEntry* e : b.FileTable) {
        names.insert(ToSystem(e->LongName));
        bytes += e->Size;
    }
    EXPECT_EQ(names,
              (std::set<std::string>{"Docs", "docs~2", "README.txt", "Readme~2.TXT", "a.txt"}));
    EXPECT_EQ(bytes, 100u) << "every file once";
    EXPECT_EQ(b.FileCount, 6);
    EXPECT_EQ(b.SourceNotes.size(), 2u) << "each renamed once, not again on the second round";
    ExpectConsistent();
}

TEST_F(TreeTest, NamesThatAreNotUtf8AreShownReplacedAndReadFromTheirBytes) {
    std::string bad = src / "top/caf\xE9.txt";
    ASSERT_TRUE(testsupport::WriteFile(bad, "latin-1 name"));
    ASSERT_NE(AddFolder(b, u"\\", W(src / "top"), u"*.*", true, false), nullptr);
    ASSERT_EQ(b.FileCount, 1);
    TFileEntry* e = b.FileTable[0];
    EXPECT_EQ(e->LongName, u"caf\uFFFD.txt");
    EXPECT_EQ(platform::ToSystemPath(e->SourcePath), bad) << "the source keeps its bytes";
    ASSERT_EQ(b.SourceNotes.size(), 1u);
    EXPECT_FALSE(b.SourceNotes[0].LeftOut);
}

TEST_F(TreeTest, ASecondSourceOfTheSameNameIsNoted) {
    ASSERT_NE(AddFile(b, u"\\", W(Make("x/same.txt"))), nullptr);
    ASSERT_NE(AddFile(b, u"\\", W(Make("y/same.txt"))), nullptr);
    ASSERT_EQ(b.SourceNotes.size(), 1u);
    EXPECT_TRUE(b.SourceNotes[0].LeftOut);
    EXPECT_EQ(ToSystem(b.SourceNotes[0].Source), src / "y/same.txt");
    ClearFiles(b);
    EXPECT_TRUE(b.SourceNotes.empty());
}

TEST_F(TreeTest, ShortNamesGetADotAndDirectoriesAreUpperCase) {
    TFileEntry* e = AddFile(b, u"\\", W(Make("MAKEFILE")));
    ASSERT_NE(e, nullptr);
    EXPECT_STREQ(e->ShortName, "MAKEFILE.");
    EXPECT_EQ(e->ShortNameLength, 9);
    TDirEntry* d = CreateDir(b, u"\\", u"Documents and Settings");
    ASSERT_NE(d, nullptr);
    EXPECT_STREQ(d->ShortName, "DOCUMENTS A");
    EXPECT_EQ(d->ShortNameLength, 11);
    EXPECT_STREQ(d->Entry->ShortName, "Documents a") << "stored as found, upper-cased when written";
    // A non-ASCII short name is stored in UTF-8 and its length counts bytes,
    // never more than the field holds.
    TDirEntry* g = CreateDir(b, u"\\", u"ääääääääääää");
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->ShortNameLength, std::strlen(g->ShortName));
    EXPECT_LE(g->ShortNameLength, 15);
    EXPECT_EQ(g->ShortNameLength % 2, 0) << "cut at a character boundary";
}

TEST_F(TreeTest, CreateDirOfExistingPathReturnsItWithoutHandler) {
    int calls = 0;
    b.AddFileHandler = [&](void*, const char16_t*, platform::TFindData&, bool&) { ++calls; };
    TDirEntry* d = CreateDir(b, u"\\", u"Docs");
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(CreateDir(b, u"\\", u"DOCS"), d);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(b.DirCount, 2);
    EXPECT_EQ(CreateDir(b, u"\\Nope", u"x"), nullptr);
}

TEST_F(TreeTest, AddFolderCreatesEmptyFoldersAndHonoursMask) {
    ASSERT_TRUE(testsupport::MakeDirs(src / "top/empty1/empty2"));
    Make("top/docs/a.txt");
    Make("top/docs/b.bin");
    Make("top/pics/c.jpg");
    Make("top/root.txt");
    TDirEntry* t = AddFolder(b, u"\\", W(src / "top"), u"*.txt", true, false);
    ASSERT_EQ(t, b.RootDir);
    EXPECT_NE(FindDirectory(b, u"\\empty1\\empty2"), nullptr);
    EXPECT_NE(FindDirectory(b, u"\\pics"), nullptr);
    TDirEntry* docs = FindDirectory(b, u"\\docs");
    ASSERT_NE(docs, nullptr);
    EXPECT_EQ(ChildNames(docs), std::vector<std::string>{"a.txt"});
    // Subfolders, complete and depth first, come before the folder's files.
    ASSERT_FALSE(b.FileTable.empty());
    EXPECT_EQ(ToSystem(b.FileTable.back()->LongName), "root.txt");
    EXPECT_EQ(ToSystem(b.FileTable.back()->SourcePath),
              testsupport::SystemJoin(src / "top", "root.txt"));
    ExpectConsistent();
}

TEST_F(TreeTest, KeepSourcePathForms) {
    ASSERT_TRUE(testsupport::MakeDirs(src / "ann/Photos"));
    Make("ann/Photos/p.jpg");
    TDirEntry* dest = CreateDir(b, u"\\", u"Dest");
    // A POSIX absolute path keeps everything below "/".
    TDirEntry* t = AddFolder(b, u"\\Dest", W(src / "ann/Photos/"), u"*.*", true, true);
    ASSERT_NE(t, nullptr);
    std::string rel = (src / "ann/Photos").substr(1);
    std::string compPath = "\\Dest\\" + rel;
    for (char& c : compPath)
        if (c == '/')
            c = '\\';
    EXPECT_EQ(FindDirectory(b, W(compPath)), t);
    EXPECT_EQ(ChildNames(t), std::vector<std::string>{"p.jpg"});
    // Drive-letter and server-and-share forms keep their rules (the folders
    // do not exist here, so nothing is added below them).
    TDirEntry* w = AddFolder(b, u"\\Dest", u"C:\\Data\\Photos", u"*.*", true, true);
    EXPECT_EQ(FindDirectory(b, u"\\Dest\\Data\\Photos"), w);
    EXPECT_EQ(AddFolder(b, u"\\Dest", u"C:\\", u"*.*", true, true), dest);
    TDirEntry* unc = AddFolder(b, u"\\Dest", u"\\\\server\\share\\rest", u"*.*", true, true);
    EXPECT_EQ(FindDirectory(b, u"\\Dest\\rest"), unc);
    TDirEntry* share = AddFolder(b, u"\\", u"\\\\server\\share", u"*.*", true, true);
    EXPECT_EQ(FindDirectory(b, u"\\share"), share);
    // A relative path is recreated as given.
    TDirEntry* relative = AddFolder(b, u"\\", u"photos/2024", u"*.*", true, true);
    EXPECT_EQ(FindDirectory(b, u"\\photos\\2024"), relative);
    ExpectConsistent();
}

TEST_F(TreeTest, ClearFilesTwiceLeavesOneRoot) {
    CreateDir(b, u"\\", u"x");
    ASSERT_TRUE(testsupport::WritePatternFile(src / "boot.img", 2048, 1));
    ASSERT_TRUE(SetBootImage(b, (src / "boot.img").c_str()));
    ClearFiles(b);
    ClearFiles(b);
    EXPECT_EQ(b.DirCount, 1);
    EXPECT_EQ(b.FileCount, 0);
    EXPECT_STREQ(b.RootDir->ShortName, "ROOT_DIR");
    EXPECT_EQ(b.RootDir->FirstChild, nullptr);
    EXPECT_STREQ(GetBootImage(b), "");
    EXPECT_EQ(FindDirectory(b, u"\\x"), nullptr);
}

TEST_F(TreeTest, BootImageSizes) {
    ASSERT_TRUE(testsupport::WritePatternFile(src / "ok.img", 1474560, 1));
    ASSERT_TRUE(testsupport::WritePatternFile(src / "bad.img", 1474561, 1));
    EXPECT_TRUE(SetBootImage(b, (src / "ok.img").c_str()));
    EXPECT_EQ(b.BootImageSize, 1474560);
    EXPECT_STREQ(GetBootImage(b), (src / "ok.img").c_str());
    EXPECT_FALSE(SetBootImage(b, (src / "bad.img").c_str()));
    EXPECT_STREQ(GetBootImage(b), "");
    EXPECT_FALSE(SetBootImage(b, (src / "missing.img").c_str()));
    EXPECT_TRUE(SetBootImage(b, nullptr));
}

TEST_F(TreeTest, TableLimitsAreRefusedNotOverrun) {
    // Directories: the root plus 64,999 more, then no more.
    for (int i = 1; i < kMaxDirectories; ++i)
        ASSERT_NE(CreateDir(b, u"\\", Cat(u"d", W(std::to_string(i)))), nullptr) << i;
    EXPECT_EQ(b.DirCount, kMaxDirectories);
    EXPECT_EQ(CreateDir(b, u"\\", u"one-too-many"), nullptr);
    EXPECT_EQ(b.DirCount, kMaxDirectories);
    // Entries: directory names count too.
    std::u16string path = u"/nowhere";
    int files = kMaxFileEntries - b.FileCount;
    for (int i = 0; i < files; ++i) {
        platform::TFindData fd = FileData(Cat(u"f", W(std::to_string(i))), 1);
        ASSERT_NE(AddEntry(b, b.RootDir, fd, &path), nullptr) << i;
    }
    EXPECT_EQ(b.FileCount, kMaxFileEntries);
    platform::TFindData fd = FileData(u"last", 1);
    EXPECT_EQ(AddEntry(b, b.RootDir, fd, &path), nullptr);
    EXPECT_EQ(b.FileCount, kMaxFileEntries);
    EXPECT_EQ(b.FileTable.size(), static_cast<size_t>(kMaxFileEntries));
}

TEST_F(TreeTest, PathBufferLimitsAreRefused) {
    // Compilation paths: 2,047 characters at most.
    std::u16string dest = u"\\";
    TDirEntry* d = b.RootDir;
    int made = 0;
    while (true) {
        TDirEntry* next =
            CreateDir(b, dest, std::u16string(200, static_cast<char16_t>(u'a' + made)));
        if (!next)
            break;
        ASSERT_FALSE(IsSkip(next));
        d = next;
        dest += d->LongName + u"\\";
        ++made;
        ASSERT_LT(made, 20);
    }
    EXPECT_EQ(made, 10) << "ten 201-character levels fit in 2,047, an eleventh does not";
    EXPECT_EQ(FindDirectory(b, dest), d);
    // Source paths: 4,095 characters at most.
    std::u16string longSource = Cat(u"/", std::u16string(4100, u'x'));
    EXPECT_EQ(AddFile(b, u"\\", longSource), nullptr);
    EXPECT_EQ(AddFolder(b, u"\\", longSource, u"*.*", true, false), nullptr);
}

TEST_F(TreeTest, SkippedDirectoryIsLeftOutAndAddingGoesOn) {
    Make("top/skipme/inner.txt");
    Make("top/keep/kept.txt");
    Make("top/file.txt");
    b.AddFileHandler = [](void*, const char16_t* path, platform::TFindData& fd, bool& skip) {
        if (!path && std::u16string_view(fd.cFileName) == u"skipme")
            skip = true;
    };
    EXPECT_EQ(AddFolder(b, u"\\", W(src / "top"), u"*.*", true, false), b.RootDir);
    EXPECT_EQ(FindDirectory(b, u"\\skipme"), nullptr);
    EXPECT_EQ(FindChild(b, b.RootDir, u"skipme"), nullptr);
    EXPECT_NE(FindDirectory(b, u"\\keep"), nullptr);
    EXPECT_NE(FindChild(b, b.RootDir, u"file.txt"), nullptr);
    for (TFileEntry* e : b.FileTable)
        EXPECT_NE(ToSystem(e->LongName), "inner.txt");
    EXPECT_TRUE(IsSkip(CreateDir(b, u"\\", u"skipme")));
    ExpectConsistent();
}

TEST_F(TreeTest, HandlerSkipsAndRewritesFiles) {
    std::string secret = Make("secret.txt", 3);
    std::string plain = Make("plain.txt", 3);
    std::u16string seenPath;
    b.AddFileHandler = [&](void* sender, const char16_t* path, platform::TFindData& fd,
                           bool& skip) {
        EXPECT_EQ(sender, nullptr);
        seenPath = path ? path : u"";
        if (std::u16string_view(fd.cFileName) == u"secret.txt")
            skip = true;
        fd.nFileSizeLow = 77;  // the entry takes the data as the handler leaves it
    };
    EXPECT_TRUE(IsSkip(AddFile(b, u"\\", W(secret))));
    EXPECT_EQ(seenPath, W(secret));
    EXPECT_EQ(b.FileCount, 0);
    TFileEntry* e = AddFile(b, u"\\", W(plain));
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->Size, 77u);
}

TEST_F(TreeTest, HandlerRenamingADirectoryRenamesBoth) {
    Make("top/old/x.txt");
    b.AddFileHandler = [](void*, const char16_t* path, platform::TFindData& fd, bool&) {
        if (!path && std::u16string_view(fd.cFileName) == u"old") {
            std::memset(fd.cFileName, 0, sizeof fd.cFileName);
            std::memcpy(fd.cFileName, u"renamed", 14);
        }
    };
    AddFolder(b, u"\\", W(src / "top"), u"*.*", true, false);
    TDirEntry* d = FindDirectory(b, u"\\renamed");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->LongName, u"renamed");
    EXPECT_EQ(d->Entry->LongName, u"renamed");
    EXPECT_EQ(FindDirectory(b, u"\\old"), nullptr);
    EXPECT_EQ(ChildNames(d), std::vector<std::string>{"x.txt"});
    ExpectConsistent();
}

TEST_F(TreeTest, EntriesNeverChangeKind) {
    ASSERT_TRUE(testsupport::MakeDirs(src / "folder"));
    EXPECT_EQ(AddFile(b, u"\\", W(src / "folder")), nullptr) << "a folder is not added as a file";
    ASSERT_NE(CreateDir(b, u"\\", u"name"), nullptr);
    std::string file = Make("other/name");
    std::string dirFile = Make("other/plain");
    b.ReplaceFileFlag = 1;
    EXPECT_EQ(AddFile(b, u"\\", W(file)), nullptr) << "a file cannot replace a directory";
    ASSERT_NE(AddFile(b, u"\\", W(dirFile)), nullptr);
    EXPECT_EQ(CreateDir(b, u"\\", u"plain"), nullptr) << "a directory cannot replace a file";
    b.ReplaceFileFlag = 0;
    EXPECT_EQ(CreateDir(b, u"\\", u"plain"), nullptr);
    // AddEntry with directory find data makes the directory with it.
    platform::TFindData fd = FileData(u"viaEntry", 0, 0x10);
    TFileEntry* e = AddEntry(b, b.RootDir, fd, nullptr);
    ASSERT_NE(e, nullptr);
    ASSERT_NE(e->Directory, nullptr);
    ExpectConsistent();
}

TEST_F(TreeTest, VolumeLabelsAreCutAtCharacterBoundaries) {
    SetVolumeLabelW(b, std::u16string(40, u'L'));
    EXPECT_EQ(std::u16string(b.VolumeLabelW), std::u16string(31, u'L'));
    EXPECT_EQ(std::string(GetVolumeLabel(b)), std::string(40, 'L'));
    // 60 two-byte characters: 120 bytes, cut to 94 (never inside one).
    std::string greek;
    for (int i = 0; i < 60; ++i)
        greek += "λ";
    SetVolumeLabel(b, greek.c_str());
    EXPECT_EQ(std::strlen(GetVolumeLabel(b)), 94u);
    EXPECT_EQ(W(GetVolumeLabel(b)), std::u16string(47, u'λ'));
    EXPECT_EQ(std::u16string(b.VolumeLabelW), std::u16string(31, u'λ'));
    // A non-BMP character is not split at the 31-unit boundary.
    std::u16string emoji = std::u16string(30, u'a') + u"😀";
    SetVolumeLabelW(b, emoji);
    EXPECT_EQ(std::u16string(b.VolumeLabelW), std::u16string(30, u'a'));
    SetVolumeLabel(b, nullptr);
    EXPECT_STREQ(GetVolumeLabel(b), "");
}

}  // namespace
}  // namespace tessor::builder
