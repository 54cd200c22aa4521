// Files written once for many names, judged by readers we did not write:
// every name of every set must come back with its own bytes through Joliet
// and UDF. A set of 10,000 copies, two identical sparse files over 4 GiB,
// and a real system folder whose saving is checked against duplicates
// counted with sha256sum.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/builder/ISO9660.h"
#include "engine/builder/SmartReferences.h"
#include "engine/builder/Tree.h"
#include "engine/platform/Strings.h"
#include "tests/support/ImageAssembler.h"
#include "tests/support/ImageWriter.h"
#include "tests/support/IsoCheck.h"
#include "tests/support/ReaderHarness.h"
#include "tests/support/TestFiles.h"
#include "tests/support/UdfCheck.h"
#include "tests/support/UdfReaders.h"

namespace tessor::builder {
namespace {

using namespace tessor::testsupport;
using platform::FromSystem;

// The compilation of what `source` holds, in the root, with or without
// the search for identical files; the builder stays prepared.
void Compile(TImageBuilder& b, const std::string& source, bool dedupe) {
    ClearFiles(b);
    b.JolietFileSystem = 1;
    b.UDFBridge = 1;
    SetVolumeLabel(b, "Shared");
    ASSERT_NE(AddFolder(b, u"\\", FromSystem(source), u"*.*", true, false), nullptr);
    if (dedupe) {
        ASSERT_TRUE(GenerateSmartReferences(b));
    }
    PrepareImage(b);
}

void ExpectReadersGiveBack(const std::string& image, const std::string& expectedRoot) {
    TNode expected = Snapshot(expectedRoot);
    TIsoReport iso = CheckIsoImage(image);
    EXPECT_TRUE(iso.faults.empty()) << iso.Summary();
    TUdfVolume udf = CheckUdfImage(image);
    EXPECT_TRUE(udf.Errors.empty()) << Join(udf.Errors);
    for (TReader reader : {TReader::Xorriso, TReader::SevenZipIso, TReader::Bsdtar,
                           TReader::PycdlibJoliet, TReader::SevenZipUdf}) {
        TTempDir out("tessor-extract");
        TToolResult r = ExtractImage(reader, image, out.Path());
        if (r.exitCode == 127)
            continue;
        ASSERT_EQ(r.exitCode, 0) << ReaderName(reader) << ":\n" << r.output;
        TCompareOptions options;
        options.maxNameUnits = reader == TReader::SevenZipUdf ? 127 : 110;
        auto diff = CompareTrees(expected, Snapshot(out.Path()), options);
        EXPECT_TRUE(diff.empty()) << ReaderName(reader) << ":\n" << Join(diff);
    }
    TTempDir out("tessor-extract");
    TToolResult u = UdfclientExtract(image, out.Path());
    if (u.exitCode != 127) {
        EXPECT_EQ(u.exitCode, 0) << u.output;
        auto diff = CompareTrees(expected, Snapshot(out.Path()), {});
        EXPECT_TRUE(diff.empty()) << "udfclient:\n" << Join(diff);
    }
}

// 10,000 names of one file, beside what must stay apart: a file equal to
// another in its first mebibyte only, empty files, and a hard link.
TEST(SharedData, TenThousandCopiesOfOneFile) {
    TTempDir dir("tessor-shared");
    const std::string top = dir.Path() + "/src";
    for (int d = 0; d < 100; ++d)
        for (int f = 0; f < 100; ++f)
            ASSERT_TRUE(WritePatternFile(
                top + "/copies/d" + std::to_string(d) + "/f" + std::to_string(f) + ".txt", 3000,
                5));
    const uint64_t big = (uint64_t{3} << 20) / 2;
    ASSERT_TRUE(WritePatternFile(top + "/near/a.bin", big, 9));
    ASSERT_TRUE(WritePatternFile(top + "/near/b.bin", big, 9));
    ASSERT_EQ(::truncate((top + "/near/b.bin").c_str(), static_cast<off_t>(big - 1)), 0);
    ASSERT_EQ(::truncate((top + "/near/b.bin").c_str(), static_cast<off_t>(big)), 0);
    ASSERT_TRUE(WriteFile(top + "/near/c.bin", std::string(big, 'x')));
    ASSERT_TRUE(WriteFile(top + "/empty/one", ""));
    ASSERT_TRUE(WriteFile(top + "/empty/two", ""));
    ASSERT_EQ(::link((top + "/near/a.bin").c_str(), (top + "/near/link.bin").c_str()), 0);

    TImageBuilder plain;
    Compile(plain, top, false);
    TImageBuilder b;
    Compile(b, top, true);
    EXPECT_EQ(b.Smart.Files, 9999u);
    EXPECT_EQ(b.Smart.SavedBytes, 9999u * 3000u);
    // Each copy took 2 sectors of data and a UDF file entry.
    EXPECT_EQ(plain.FileDataSectors - b.FileDataSectors, 9999 * 2);
    EXPECT_EQ(plain.UdfStreamSectors - b.UdfStreamSectors, 9999);

    const std::string image = dir.Path() + "/shared.iso";
    std::string why;
    ASSERT_TRUE(WriteImageFile(b, image, &why)) << why;
    ExpectReadersGiveBack(image, top);
}

// Two identical sparse files of 4.5 GiB: one copy, both names read back in
// full through Joliet and UDF.
TEST(SharedData, TwoSparseFilesOver4GiB) {
    TTempDir dir("tessor-shared-big");
    const std::string top = dir.Path() + "/src";
    const uint64_t size = (uint64_t{9} << 30) / 2;
    ASSERT_TRUE(WriteSparseFile(top + "/one.bin", size, 11));
    ASSERT_TRUE(WriteSparseFile(top + "/two.bin", size, 11));
    TImageBuilder b;
    Compile(b, top, true);
    EXPECT_EQ(b.Smart.SavedBytes, size);
    EXPECT_EQ(static_cast<uint64_t>(b.FileDataSectors), size / 2048);
    const std::string image = dir.Path() + "/big.iso";
    std::string why;
    ASSERT_TRUE(AssembleImage(b, image, &why)) << why;
    TIsoReport iso = CheckIsoImage(image);
    EXPECT_TRUE(iso.faults.empty()) << iso.Summary();

    const std::string crc = DigestOfFile(top + "/one.bin");
    const std::string md5 = Md5OfFileOnDisk(top + "/one.bin");
    for (const char* name : {"/one.bin", "/two.bin"}) {
        SCOPED_TRACE(name);
        std::string digest;
        TToolResult j = DigestFileInImage(TReader::SevenZipIso, image, name, digest);
        if (j.exitCode != 127) {
            EXPECT_EQ(j.exitCode, 0) << j.output;
            EXPECT_EQ(digest, crc);
        }
        TToolResult u = Md5Through7zUdf(image, name + 1, digest);
        if (u.exitCode != 127) {
            EXPECT_EQ(u.exitCode, 0) << u.output;
            EXPECT_EQ(digest, md5);
        }
    }
}

// A real system folder with symbolic links followed: the image without the
// copies is smaller by at least 99 % of the duplicate bytes, counted apart
// from the engine with sha256sum over the distinct files (names of one file
// on disk are one copy either way), and readers give the folder back.
TEST(SharedData, SystemDocumentationFolder) {
    const std::string doc = "/usr/share/doc";
    if (::access(doc.c_str(), R_OK) != 0 || !ToolAvailable("sha256sum"))
        GTEST_SKIP() << "no " << doc << " or sha256sum";
    TTempDir dir("tessor-shared-doc");
    const std::string list = dir.Path() + "/files";
    TToolResult count = RunTool(
        "cd " + ShellQuote(doc) + " && find -L . -type f -size +0c -printf '%D:%i\\t%s\\t%p\\n' " +
        "| sort -t \"$(printf '\\t')\" -u -k1,1 | cut -f2- > " + ShellQuote(list) +
        " && cut -f2- " + ShellQuote(list) +
        " | tr '\\n' '\\0' | xargs -0 sha256sum | awk -F '\\t' " +
        "'NR == FNR { size[$2] = $1; next } { h = substr($0, 1, 64); p = substr($0, 67); " +
        "if (n[h]++) d += size[p] } END { printf \"%d\\n\", d }' " + ShellQuote(list) + " -");
    ASSERT_EQ(count.exitCode, 0) << count.output;
    const double duplicates = std::strtod(count.output.c_str(), nullptr);
    ASSERT_GT(duplicates, 0) << count.output;

    TImageBuilder plain;
    Compile(plain, doc, false);
    TImageBuilder b;
    Compile(b, doc, true);
    const double saved = (plain.TotalSectors.load() - b.TotalSectors.load()) * 2048.0;
    EXPECT_GE(saved, 0.99 * duplicates) << "saved " << saved << " of " << duplicates;

    const std::string image = dir.Path() + "/doc.iso";
    std::string why;
    ASSERT_TRUE(WriteImageFile(b, image, &why)) << why;
    const std::string expected = dir.Path() + "/expected";
    ASSERT_EQ(RunTool("cp -rL " + ShellQuote(doc) + " " + ShellQuote(expected)).exitCode, 0);
    // Names that differ from another of their folder only in case are
    // entered under another name: the copy is renamed to match.
    for (const TSourceNote& note : b.SourceNotes) {
        const std::string from = platform::ToSystem(note.Source);
        if (note.LeftOut || from.rfind(doc + "/", 0) != 0)
            continue;
        const std::string rel = from.substr(doc.size());
        const std::string to = rel.substr(0, rel.rfind('/') + 1) + platform::ToSystem(note.Name);
        ASSERT_EQ(::rename((expected + rel).c_str(), (expected + to).c_str()), 0) << rel;
    }
    ExpectReadersGiveBack(image, expected);
}

}  // namespace
}  // namespace tessor::builder
