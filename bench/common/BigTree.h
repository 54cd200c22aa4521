// The 1 GiB source tree the burn and verify benchmarks share: four files of
// 256 MiB of incompressible data, made once under BENCH_DIR.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace tessor::bench {

inline void MakeBigTree(const std::string& root) {
    namespace fs = std::filesystem;
    if (fs::exists(root + ".done"))
        return;
    fs::remove_all(root);
    fs::create_directories(root);
    std::mt19937_64 rnd(1);
    std::vector<uint64_t> block(1 << 17);
    for (int f = 0; f < 4; ++f) {
        std::ofstream out(root + "/part" + std::to_string(f) + ".bin", std::ios::binary);
        for (int i = 0; i < 256; ++i) {  // 256 MiB each
            for (auto& w : block)
                w = rnd();
            out.write(reinterpret_cast<const char*>(block.data()), block.size() * 8);
        }
    }
    std::ofstream(root + ".done").put('\n');
}

}  // namespace tessor::bench
