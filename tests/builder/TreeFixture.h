// The compilation tree suites' fixture: a builder and a folder of sources.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/builder/Tree.h"
#include "engine/platform/Strings.h"
#include "tests/support/TestFiles.h"

namespace tessor::builder {

inline std::u16string W(const std::string& s) {
    return platform::FromSystem(s);
}

// a + b, built by appending (GCC 12 at -O3 warns falsely about the
// operator+ that inserts a literal in front of a temporary).
inline std::u16string Cat(std::u16string a, const std::u16string& b) {
    a += b;
    return a;
}

struct TreeTest : ::testing::Test {
    TImageBuilder b;
    testsupport::TTempDir src;
    void SetUp() override { ClearFiles(b); }
    std::string Make(const std::string& rel, uint64_t size = 1) {
        EXPECT_TRUE(testsupport::WritePatternFile(src / rel, size, 1));
        return src / rel;
    }
    std::vector<std::string> ChildNames(TDirEntry* d) {
        std::vector<std::string> out;
        for (TFileEntry* e = d->FirstChild; e; e = e->NextSibling)
            out.push_back(platform::ToSystem(e->LongName));
        return out;
    }
    // Every directory entry has its directory and every file entry none,
    // and each directory's entry points back at it.
    void ExpectConsistent() {
        for (TFileEntry* e : b.FileTable) {
            bool dirAttr = (e->Attributes & 0x10) != 0;
            EXPECT_EQ(dirAttr, e->Directory != nullptr) << platform::ToSystem(e->LongName);
            if (e->Directory) {
                EXPECT_EQ(e->Directory->Entry, e);
                EXPECT_EQ(e->Directory->LongName, e->LongName);
                EXPECT_TRUE(e->SourcePath.empty());
            }
        }
        for (size_t i = 1; i < b.DirTable.size(); ++i)
            ASSERT_NE(b.DirTable[i]->Entry, nullptr);
    }
};

}  // namespace tessor::builder
