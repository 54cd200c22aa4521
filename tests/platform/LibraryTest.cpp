#include "engine/platform/Library.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace tessor::platform {
namespace {

using TCos = double (*)(double);

TEST(Library, LoadsBySystemNameAndResolvesSymbols) {
    TLibrary lib;
    ASSERT_TRUE(lib.Load("libm.so.6")) << lib.Error();
    auto cosine = reinterpret_cast<TCos>(lib.Symbol("cos"));
    ASSERT_NE(cosine, nullptr);
    EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
    EXPECT_EQ(lib.Symbol("no_such_symbol_here"), nullptr);
    EXPECT_FALSE(lib.Error().empty());
    lib.Unload();
    EXPECT_FALSE(lib.Loaded());
    EXPECT_FALSE(lib.Load("libtessor-does-not-exist.so"));
    EXPECT_FALSE(lib.Error().empty());
}

TEST(Library, ProgramFolderIsLookedAtFirst) {
    std::string folder = ProgramFolder();
    ASSERT_FALSE(folder.empty());
    ASSERT_EQ(folder.back(), '/');
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
    ASSERT_GT(n, 0);
    EXPECT_EQ(std::string(self, size_t(n)).rfind(folder, 0), 0u);

    // A name the system loader cannot find, placed beside the program.
    TLibrary system;
    ASSERT_TRUE(system.Load("libm.so.6"));
    Dl_info info{};
    ASSERT_NE(dladdr(system.Symbol("cos"), &info), 0);
    std::string name = "libtessor-platform-test-" + std::to_string(getpid()) + ".so";
    std::string local = folder + name;
    ASSERT_EQ(symlink(info.dli_fname, local.c_str()), 0) << local;
    TLibrary lib;
    bool loaded = lib.Load(name);
    void* symbol = lib.Symbol("cos");
    unlink(local.c_str());
    EXPECT_TRUE(loaded) << lib.Error();
    EXPECT_NE(symbol, nullptr);
}

}  // namespace
}  // namespace tessor::platform
