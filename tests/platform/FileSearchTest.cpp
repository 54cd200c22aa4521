#include "engine/platform/FileSearch.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <map>
#include <set>
#include <thread>

#include "engine/platform/Strings.h"
#include "tests/platform/TempDir.h"

namespace tessor::platform {
namespace {

using test::TTempDir;

std::map<std::string, TFindData> Search(const std::string& pattern) {
    std::map<std::string, TFindData> found;
    TFileSearch search;
    TFindData fd;
    for (bool ok = search.First(FromSystem(pattern), fd); ok; ok = search.Next(fd)) {
        std::string name = ToSystem(fd.cFileName);
        EXPECT_EQ(found.count(name), 0u) << name << " returned twice";
        found[name] = fd;
    }
    return found;
}

std::string Alt(const TFindData& fd) {
    return ToSystem(fd.cAlternateFileName);
}

std::string SingleAlt(const TTempDir& dir, const std::string& name) {
    TFileSearch search;
    TFindData fd;
    EXPECT_TRUE(search.First(FromSystem(dir / name), fd)) << name;
    EXPECT_EQ(ToSystem(fd.cFileName), name);
    return Alt(fd);
}

TEST(FileSearch, ListsFilesAndFoldersWithDotEntries) {
    TTempDir dir;
    ASSERT_TRUE(dir.Touch("a.txt", 5));
    ASSERT_TRUE(dir.MakeDir("Sub"));
    auto found = Search(dir / "*.*");
    ASSERT_EQ(found.size(), 4u);
    EXPECT_EQ(found["."].dwFileAttributes, kAttrDirectory);
    EXPECT_EQ(found[".."].dwFileAttributes, kAttrDirectory);
    EXPECT_EQ(found["Sub"].dwFileAttributes, kAttrDirectory);
    EXPECT_EQ(found["a.txt"].dwFileAttributes, kAttrNormal);
    EXPECT_EQ(found["a.txt"].nFileSizeLow, 5u);
    // The mask is matched ignoring case, and the dot entries do not match it.
    auto txt = Search(dir / "*.TXT");
    ASSERT_EQ(txt.size(), 1u);
    EXPECT_EQ(txt.begin()->first, "a.txt");
}

TEST(FileSearch, PlainPathReturnsThatEntryOnly) {
    TTempDir dir;
    ASSERT_TRUE(dir.Touch("one.dat"));
    ASSERT_TRUE(dir.Touch("two.dat"));
    ASSERT_TRUE(dir.MakeDir("folder"));
    auto one = Search(dir / "one.dat");
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one.begin()->first, "one.dat");
    auto folder = Search(dir / "folder/");
    ASSERT_EQ(folder.size(), 1u);
    EXPECT_EQ(folder["folder"].dwFileAttributes, kAttrDirectory);

    TFileSearch search;
    TFindData fd;
    errno = 0;
    EXPECT_FALSE(search.First(FromSystem(dir / "missing.dat"), fd));
    EXPECT_EQ(errno, ENOENT);
    EXPECT_FALSE(search.First(FromSystem(dir / "*.none"), fd));
    EXPECT_FALSE(search.Next(fd));
}

TEST(FileSearch, AttributesSizeAndTimes) {
    TTempDir dir;
    ASSERT_TRUE(dir.Touch(".hidden"));
    ASSERT_TRUE(dir.Touch("locked"));
    ASSERT_EQ(chmod((dir / "locked").c_str(), 0444), 0);
    // A sparse file above 4 GiB shows both halves of the size.
    const off_t big = (off_t(5) << 32) + 123;
    ASSERT_TRUE(dir.Touch("big", big));
    struct timespec times[2] = {{1000000000, 123456789}, {1600000000, 987654321}};
    ASSERT_EQ(utimensat(AT_FDCWD, (dir / "big").c_str(), times, 0), 0);

    auto found = Search(dir / "*");
    EXPECT_EQ(found[".hidden"].dwFileAttributes, kAttrHidden);
    EXPECT_EQ(found["locked"].dwFileAttributes, kAttrReadOnly);
    const TFindData& fd = found["big"];
    EXPECT_EQ(fd.nFileSizeHigh, 5u);
    EXPECT_EQ(fd.nFileSizeLow, 123u);
    // 100-ns units since 1601, nanoseconds kept to that resolution.
    EXPECT_EQ(fd.ftLastWriteTime, (1600000000ULL + 11644473600ULL) * 10000000ULL + 9876543ULL);
    EXPECT_EQ(fd.ftLastAccessTime, (1000000000ULL + 11644473600ULL) * 10000000ULL + 1234567ULL);
}

TEST(FileSearch, SpecialFilesAndDanglingLinksAreSkipped) {
    TTempDir dir;
    ASSERT_TRUE(dir.Touch("plain"));
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);
    int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::string sockPath = dir / "sock";
    ASSERT_LT(sockPath.size(), sizeof(addr.sun_path));
    std::strcpy(addr.sun_path, sockPath.c_str());
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    close(sock);
    ASSERT_EQ(symlink("/dev/null", (dir / "device").c_str()), 0);
    ASSERT_EQ(symlink("nowhere", (dir / "dangling").c_str()), 0);

    auto found = Search(dir / "*");
    std::set<std::string> names;
    for (const auto& [name, fd] : found)
        names.insert(name);
    EXPECT_EQ(names, (std::set<std::string>{".", "..", "plain"}));
    // Named one by one they are not found either (and the FIFO does not block).
    for (const char* name : {"fifo", "sock", "device", "dangling"})
        EXPECT_TRUE(Search(dir / name).empty()) << name;
}

TEST(FileSearch, SymbolicLinksAreFollowed) {
    TTempDir dir;
    ASSERT_TRUE(dir.Touch("target.bin", 77));
    ASSERT_TRUE(dir.MakeDir("realdir"));
    ASSERT_EQ(symlink("target.bin", (dir / "filelink").c_str()), 0);
    ASSERT_EQ(symlink("realdir", (dir / "dirlink").c_str()), 0);
    auto found = Search(dir / "*");
    EXPECT_EQ(found["filelink"].dwFileAttributes, kAttrNormal);
    EXPECT_EQ(found["filelink"].nFileSizeLow, 77u);
    EXPECT_EQ(found["dirlink"].dwFileAttributes, kAttrDirectory);

    TFolderId real, viaLink, other;
    ASSERT_TRUE(GetFolderId(FromSystem(dir / "realdir"), real));
    ASSERT_TRUE(GetFolderId(FromSystem(dir / "dirlink"), viaLink));
    ASSERT_TRUE(GetFolderId(FromSystem(dir.Path()), other));
    EXPECT_EQ(real, viaLink);
    EXPECT_NE(real, other);
    EXPECT_FALSE(GetFolderId(FromSystem(dir / "absent"), other));
}

TEST(ShortNames, ValidShortNamesGetNoAlias) {
    TTempDir dir;
    for (const char* name :
         {"readme.txt", "MAKEFILE", "a.b", "X~1.TXT", "12345678.123", "$odd!(1).{}"})
        ASSERT_TRUE(dir.Touch(name)) << name;
    for (const auto& [name, fd] : Search(dir / "*"))
        EXPECT_EQ(Alt(fd), "") << name;
}

TEST(ShortNames, AliasesFollowTheCharacterRules) {
    TTempDir dir;
    const std::map<std::string, std::string> expected = {
        {"a+b,c;d=e[f]g.txt", "A_B_C_~1.TXT"},       // '+,;=[]' become '_'
        {"my.long.file name.html", "MYLONG~1.HTM"},  // inner dots and spaces dropped
        {".bashrc", "BASHRC~1"},                     // leading dots dropped, no extension
        {"caf\xC3\xA9 menu.txt", "CAFMEN~1.TXT"},    // characters outside FAT dropped
        {"lowercase.html", "LOWERC~1.HTM"},
        {"two words", "TWOWOR~1"},
        {"123456789", "123456~1"},
        {"a.b.c", "AB~1.C"},
    };
    for (const auto& [name, alias] : expected)
        ASSERT_TRUE(dir.Touch(name)) << name;
    auto found = Search(dir / "*");
    for (const auto& [name, alias] : expected)
        EXPECT_EQ(Alt(found[name]), alias) << name;
}

TEST(ShortNames, SharedPrefixesGetUniqueNumbers) {
    TTempDir dir;
    // Byte order of the names decides N: ' ' sorts before 'a'.
    ASSERT_TRUE(dir.Touch("Document One.txt"));
    ASSERT_TRUE(dir.Touch("Document Two.txt"));
    ASSERT_TRUE(dir.Touch("Documentation.txt"));
    ASSERT_TRUE(dir.MakeDir("Documents folder"));
    // A real 8.3 name that looks like an alias is not handed out again.
    ASSERT_TRUE(dir.Touch("docume~1.txt"));
    auto found = Search(dir / "*");
    EXPECT_EQ(Alt(found["Document One.txt"]), "DOCUME~2.TXT");
    EXPECT_EQ(Alt(found["Document Two.txt"]), "DOCUME~3.TXT");
    EXPECT_EQ(Alt(found["Documentation.txt"]), "DOCUME~4.TXT");
    EXPECT_EQ(Alt(found["Documents folder"]), "DOCUME~1");
    EXPECT_EQ(Alt(found["docume~1.txt"]), "");
}

TEST(ShortNames, BaseShrinksFromTenOnAndAllStayUnique) {
    TTempDir dir;
    const int count = 120;
    for (int i = 0; i < count; ++i) {
        char name[64];
        std::snprintf(name, sizeof(name), "verylongname%03d.data", i);
        ASSERT_TRUE(dir.Touch(name));
    }
    auto found = Search(dir / "*.data");
    ASSERT_EQ(found.size(), size_t(count));
    std::set<std::u16string> aliases;
    for (const auto& [name, fd] : found) {
        std::u16string alias = fd.cAlternateFileName;
        EXPECT_TRUE(aliases.insert(FoldCase(alias)).second) << Alt(fd);
        size_t dot = alias.find(u'.');
        ASSERT_NE(dot, std::u16string::npos) << Alt(fd);
        EXPECT_LE(dot, 8u) << Alt(fd);
        EXPECT_EQ(alias.substr(dot), u".DAT");
    }
    EXPECT_EQ(Alt(found["verylongname000.data"]), "VERYLO~1.DAT");
    EXPECT_EQ(Alt(found["verylongname008.data"]), "VERYLO~9.DAT");
    EXPECT_EQ(Alt(found["verylongname009.data"]), "VERYL~10.DAT");
    EXPECT_EQ(Alt(found["verylongname099.data"]), "VERY~100.DAT");
}

TEST(ShortNames, PairsWhoseCutBasesMeetShareOneNumbering) {
    // ABCDEF and ABCDEG both make ABCDE~NN from ten on: the second pair
    // goes on after the numbers the first took.
    TTempDir dir;
    for (const char* base : {"abcdefx", "abcdegx"})
        for (int i = 0; i < 12; ++i)
            ASSERT_TRUE(dir.Touch(std::string(base) + std::to_string(100 + i) + ".txt"));
    auto found = Search(dir / "*.txt");
    ASSERT_EQ(found.size(), 24u);
    const std::pair<const char*, const char*> cases[] = {
        {"abcdefx108.txt", "ABCDEF~9.TXT"}, {"abcdefx109.txt", "ABCDE~10.TXT"},
        {"abcdefx111.txt", "ABCDE~12.TXT"}, {"abcdegx100.txt", "ABCDEG~1.TXT"},
        {"abcdegx109.txt", "ABCDE~13.TXT"}, {"abcdegx111.txt", "ABCDE~15.TXT"},
    };
    for (const auto& [name, alias] : cases)
        EXPECT_EQ(Alt(found[name]), alias) << name;
}

TEST(ShortNames, SingleFileSearchAgreesWithFolderListing) {
    TTempDir dir;
    std::vector<std::string> names = {"Zeta long name.txt", "Alpha long name.txt",
                                      "alpha long name2.txt", "Beta folder name", "short.txt"};
    for (size_t i = 0; i < names.size(); ++i) {
        if (i == 3)
            ASSERT_TRUE(dir.MakeDir(names[i]));
        else
            ASSERT_TRUE(dir.Touch(names[i]));
    }
    // Let the folder's change time settle, so that its listing is cached and
    // the check below catches a stale cache entry.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    // Single searches first, the listing after: neither may depend on the other.
    std::map<std::string, std::string> single;
    for (const auto& name : names)
        single[name] = SingleAlt(dir, name);
    auto listed = Search(dir / "*");
    for (const auto& name : names)
        EXPECT_EQ(single[name], Alt(listed[name])) << name;
    EXPECT_EQ(single["Alpha long name.txt"], "ALPHAL~1.TXT");
    EXPECT_EQ(single["alpha long name2.txt"], "ALPHAL~2.TXT");

    // A file added later shows up with the alias a fresh listing gives it,
    // not with a stale cached answer.
    ASSERT_TRUE(dir.Touch("Alpha long name0.txt"));
    std::string added = SingleAlt(dir, "Alpha long name0.txt");
    auto relisted = Search(dir / "*");
    EXPECT_EQ(added, Alt(relisted["Alpha long name0.txt"]));
    std::set<std::string> aliases;
    for (const auto& [name, fd] : relisted)
        if (Alt(fd) != "") {
            EXPECT_TRUE(aliases.insert(Alt(fd)).second) << name;
        }
    for (const auto& name : names)
        EXPECT_EQ(SingleAlt(dir, name), Alt(relisted[name])) << name;
}

}  // namespace
}  // namespace tessor::platform
