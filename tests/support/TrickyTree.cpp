#include "tests/support/TrickyTree.h"

#include "tests/support/TestFiles.h"

namespace tessor::testsupport {

std::string NameOfLength(size_t units, const std::string& stem, const std::string& ext) {
    std::string name = stem;
    while (name.size() + ext.size() < units)
        name += static_cast<char>('a' + name.size() % 26);
    name.resize(units - ext.size());
    return name + ext;
}

bool MakeTrickyTree(const std::string& root) {
    bool ok = true;
    auto file = [&](const std::string& rel, uint64_t size, uint32_t seed) {
        ok = ok && WritePatternFile(root + "/" + rel, size, seed);
    };
    auto dir = [&](const std::string& rel) { ok = ok && MakeDirs(root + "/" + rel); };

    // Names outside ASCII, one outside the BMP.
    file("Größe.txt", 100, 1);
    file("Română ăîșț.txt", 101, 2);
    file("Ελληνικά.txt", 102, 3);
    file("日本語ファイル.txt", 103, 4);
    file("smile 😀.txt", 104, 5);
    file("Ünïcödé folder/ça va.txt", 105, 6);

    // Long names around the Joliet limit of 110 units and at the 217 limit.
    for (size_t n : {107, 108, 110, 111, 217})
        file(NameOfLength(n, "long" + std::to_string(n) + "-", ".txt"), n, 7);
    // Two 217-character names that agree beyond the 110th character.
    file(NameOfLength(217, "twin-", "-1.dat"), 11, 8);
    file(NameOfLength(217, "twin-", "-2.dat"), 12, 9);
    // A 120-character folder name with a file inside.
    file(NameOfLength(120, "longdir-", "") + "/inside.txt", 13, 10);

    // Names whose first 8 characters collide.
    for (int i = 1; i <= 5; ++i)
        file("LongFileName" + std::to_string(i) + ".txt", 200 + i, 20 + i);

    // Sizes: empty, around a sector, exactly a 64 KiB block, one past it.
    file("empty", 0, 0);
    file("empty.txt", 0, 0);
    file("one.bin", 1, 30);
    file("sector.bin", 2048, 31);
    file("sector+1.bin", 2049, 32);
    file("block.bin", 65536, 33);
    file("block+1.bin", 65537, 34);
    file("mib+3.bin", 1048576 + 3, 35);
    file("README", 10, 36);
    file("Makefile", 11, 37);
    file("a+b=c (1) [x] {y}.txt", 12, 38);

    // Empty folders, and a folder ten levels deep.
    dir("emptydir");
    dir("emptyparent/emptychild");
    file("d1/d2/d3/d4/d5/d6/d7/d8/d9/d10/deep.txt", 40, 40);
    file("d1/d2/d3/level3.txt", 41, 41);

    // Hidden (dot) names.
    file(".hidden", 42, 42);
    file(".hiddendir/visible.txt", 43, 43);

    // A folder whose ISO and Joliet directories span several sectors.
    for (int i = 0; i < 120; ++i)
        file("many/" + NameOfLength(60, "entry" + std::to_string(i) + "-", ".txt"),
             static_cast<uint64_t>(i), 100 + i);
    return ok;
}

bool MakeBigFileTree(const std::string& root, uint64_t bigSize) {
    return WritePatternFile(root + "/a-small.txt", 3000, 1) &&
           WriteSparseFile(root + "/big.bin", bigSize, 2) &&
           WritePatternFile(root + "/z-after.txt", 5000, 3);
}

}  // namespace tessor::testsupport
