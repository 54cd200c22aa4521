#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "shell/cmdline/CommandLine.h"

namespace tessor::shell {
namespace {

struct TRun {
    int code;
    std::string out, err;
};

TRun RunTessor(std::vector<const char*> args, std::vector<std::string>* sources = nullptr) {
    args.insert(args.begin(), "tessor");
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    TRun r{HandleWindowCommandLine(static_cast<int>(args.size()), args.data(), out, err, sources),
           {},
           {}};
    for (auto [file, text] : {std::pair{out, &r.out}, std::pair{err, &r.err}}) {
        std::rewind(file);
        char buffer[512];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof(buffer), file)) > 0)
            text->append(buffer, n);
        std::fclose(file);
    }
    return r;
}

TEST(WindowCommandLine, AnswersHelpVersionAndUnknownArguments) {
    std::string usage = kWindowUsage;
    struct {
        std::vector<const char*> args;
        int code;
        std::string out, err;
    } cases[] = {
        {{}, -1, "", ""},
        {{"--help"}, 0, usage, ""},
        {{"-h"}, 0, usage, ""},
        {{"--version"}, 0, std::string("tessor ") + TESSOR_PROJECT_VERSION + "\n", ""},
        {{"--verbose"}, 2, "", "tessor: unexpected argument '--verbose'\n" + usage},
        {{"disc.iso", "-x"}, 2, "", "tessor: unexpected argument '-x'\n" + usage},
        {{"x", "--help"}, 2, "", "tessor: unexpected argument '--help'\n" + usage},
        {{"--help", "x"}, 2, "", "tessor: unexpected argument 'x'\n" + usage},
        {{"--help", "--version"}, 2, "", "tessor: unexpected argument '--version'\n" + usage},
    };
    for (const auto& c : cases) {
        TRun r = RunTessor(c.args);
        std::string what = c.args.empty() ? "(none)" : c.args[0];
        EXPECT_EQ(r.code, c.code) << what;
        EXPECT_EQ(r.out, c.out) << what;
        EXPECT_EQ(r.err, c.err) << what;
    }
}

// Names on the command line join the compilation; "--" lets a name start
// with a dash, and a lone "-" is a name too.
TEST(WindowCommandLine, NamesBecomeSources) {
    std::vector<std::string> sources;
    TRun r = RunTessor({"Photos", "-", "--", "--help", "/tmp/a b"}, &sources);
    EXPECT_EQ(r.code, -1);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(sources, (std::vector<std::string>{"Photos", "-", "--help", "/tmp/a b"}));
}

}  // namespace
}  // namespace tessor::shell
