// What the writer's suites share: a scratch folder of source files, and a
// component whose completions are counted as the owning thread sees them.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/component/DiscBurner.h"
#include "engine/platform/Strings.h"
#include "tests/support/SupportSystem.h"
#include "tests/support/TestFiles.h"

namespace tessor::writer::test {

class TScratch {
public:
    TScratch() : path_(testsupport::MakeTempFolder("tessor-writer")) {}
    ~TScratch() {
        std::error_code ec;
        std::filesystem::remove_all(testsupport::Utf8Path(path_), ec);
    }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    const std::string& Path() const { return path_; }

    // A file whose byte i is (i * 7 + seed) mod 251: every sector differs.
    std::string Write(const std::string& name, size_t size, int seed = 1) const {
        std::string p = *this / name;
        std::filesystem::create_directories(testsupport::Utf8Path(p).parent_path());
        std::ofstream f(p, std::ios::binary);
        std::string data(size, '\0');
        for (size_t i = 0; i < size; ++i)
            data[i] = static_cast<char>((i * 7 + seed) % 251);
        f.write(data.data(), static_cast<std::streamsize>(size));
        return p;
    }

private:
    std::string path_;
};

inline std::string ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary | std::ios::ate);
    std::string data(static_cast<size_t>(std::max<std::streamoff>(f.tellg(), 0)), '\0');
    f.seekg(0);
    f.read(data.data(), static_cast<std::streamsize>(data.size()));
    return data;
}

// A component for image files and a scratch folder of sources.
class ImageWriteTest : public ::testing::Test {
protected:
    TScratch dir;
    component::TDiscBurner burner{true};

    void SetUp() override {
        burner.ClearFiles();
        burner.SetUDFBridge(false);
    }
};

// Runs a write through the component and pumps its messages until the
// completion, counting completions (a second one arriving later is caught
// by the extra pumping at the end).
struct TWriteRun {
    bool started = false;
    int completions = 0;
    bool failed = false;
    std::thread::id completionThread;
};

inline TWriteRun RunImage(component::TDiscBurner& burner, const std::string& image) {
    TWriteRun run;
    burner.OnWriteDone = [&](void* sender, uint8_t deviceId, bool failed) {
        EXPECT_EQ(sender, &burner);
        EXPECT_EQ(deviceId, 0);
        ++run.completions;
        run.failed = failed;
        run.completionThread = std::this_thread::get_id();
    };
    run.started = burner.CreateImageFile(platform::FromSystem(image));
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (run.completions == 0 && std::chrono::steady_clock::now() < deadline) {
        if (!run.started && burner.Messages()->DispatchPending() == 0)
            break;
        burner.Messages()->WaitAndDispatch(50);
    }
    // Anything posted twice would show up here.
    burner.Messages()->WaitAndDispatch(300);
    burner.OnWriteDone = nullptr;
    return run;
}

}  // namespace tessor::writer::test
