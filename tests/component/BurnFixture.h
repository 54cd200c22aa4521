// A component wired to an in-process virtual recorder (the BD writer of the
// default drive set, drive 0), with time scaled down so that five-second
// drive waits take milliseconds, and helpers for the window's workflows.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/component/DiscBurner.h"
#include "engine/platform/Strings.h"
#include "engine/platform/Threads.h"
#include "tests/support/ReaderHarness.h"
#include "tests/support/TestFiles.h"
#include "vdrive/VDrive.h"

namespace tessor::component::test {

using testsupport::TTempDir;

struct TDone {
    int count = 0;
    bool failed = false;
};

class TVirtualBurn : public ::testing::Test {
protected:
    TTempDir state{"tessor-vdrive"};
    TTempDir work{"tessor-burn"};
    std::unique_ptr<vdrive::TRecorderHost> host;
    std::unique_ptr<TDiscBurner> burner;
    TDone writeDone;
    TDone eraseDone;

    void SetUp() override {
        platform::SetTimeScale(0.001);
        std::string error;
        vdrive::THostOptions options;
        options.stateDir = state.Path();
        options.timeScale = 0.001;
        host = vdrive::TRecorderHost::Create(options, error);
        ASSERT_TRUE(host) << error;
        burner = MakeBurner();
        burner->OnWriteDone = [this](void* sender, uint8_t id, bool failed) {
            EXPECT_EQ(sender, burner.get());
            EXPECT_EQ(id, 0);
            ++writeDone.count;
            writeDone.failed = failed;
        };
        burner->OnEraseDone = [this](void*, uint8_t, bool failed) {
            ++eraseDone.count;
            eraseDone.failed = failed;
        };
        ASSERT_TRUE(burner->ScanDevices(1, "", ""));
        ASSERT_GE(burner->DeviceCount(), 1);
    }

    // A component that reaches this test's recorder (another program's, when
    // a test makes a second one).
    std::unique_ptr<TDiscBurner> MakeBurner() {
        auto b = std::make_unique<TDiscBurner>(true);
        vdrive::TRecorderHost* h = host.get();
        b->Drive().AspiOverride.GetSupportInfo = [h] { return h->GetASPI32SupportInfo(); };
        b->Drive().AspiOverride.SendCommand = [h](void* srb) { return h->SendASPI32Command(srb); };
        b->Drive().AspiOverride.LockFile = [h](uint8_t a, uint8_t t, uint8_t l) {
            return h->JobLockFile(a, t, l);
        };
        return b;
    }

    // Replaces the recorder's drive set (same state folder) and scans again.
    void UseDrives(std::vector<vdrive::TDriveConfig> drives) {
        std::string error;
        vdrive::THostOptions options;
        options.stateDir = state.Path();
        options.timeScale = 0.001;
        options.drives = std::move(drives);
        host.reset();
        host = vdrive::TRecorderHost::Create(options, error);
        ASSERT_TRUE(host) << error;
        auto handlers = std::make_pair(burner->OnWriteDone, burner->OnEraseDone);
        burner = MakeBurner();
        burner->OnWriteDone = handlers.first;
        burner->OnEraseDone = handlers.second;
        ASSERT_TRUE(burner->ScanDevices(1, "", ""));
    }

    void TearDown() override {
        burner.reset();
        host.reset();
        platform::SetTimeScale(1.0);
    }

    void Insert(const char* media, unsigned drive = 0) {
        std::string error;
        auto kind = vdrive::MediaKindFromName(media);
        ASSERT_TRUE(kind.has_value()) << media;
        ASSERT_TRUE(host->InsertMedia(drive, *kind, "", error)) << error;
        ASSERT_TRUE(burner->SelectDevice(static_cast<uint8_t>(drive)));
    }

    // Pumps the owner's messages until `done` has counted one completion,
    // then a little longer so that a second one would be seen.
    void Pump(const TDone& done, int seconds = 120) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (done.count == 0 && std::chrono::steady_clock::now() < deadline) {
            burner->Messages()->WaitAndDispatch(20);
        }
        burner->Messages()->WaitAndDispatch(150);
    }

    bool Erase(bool quick) {
        eraseDone = {};
        EXPECT_TRUE(burner->EraseDisc(quick));
        Pump(eraseDone);
        EXPECT_EQ(eraseDone.count, 1);
        EXPECT_EQ(burner->Status(), 0);
        return eraseDone.count == 1 && !eraseDone.failed;
    }

    // Each folder at the root under its own name, with its whole content.
    void AddFolders(const std::vector<std::string>& folders) {
        for (const std::string& f : folders) {
            std::string name = f.substr(f.rfind('/') + 1);
            std::u16string wide = platform::FromSystem(name);
            EXPECT_NE(burner->CreateDir(u"\\", wide), nullptr);
            EXPECT_NE(burner->AddFolder(u"\\" + wide + u"\\", platform::FromSystem(f), u"*.*", true,
                                        false),
                      nullptr);
        }
    }

    // The burn workflow: sources are folders put at the root under their
    // own names; the disc must already be erased where it needs to be.
    bool Burn(const std::vector<std::string>& folders, const std::string& label = "TESTDISC") {
        Compile(folders, label);
        writeDone = {};
        bool started = burner->WriteDisc();
        Pump(writeDone);
        EXPECT_EQ(writeDone.count, 1) << "exactly one completion per write";
        EXPECT_EQ(burner->Status(), 0);
        return started && writeDone.count == 1 && !writeDone.failed;
    }

    // The compilation of Burn, prepared.
    void Compile(const std::vector<std::string>& folders, const std::string& label = "TESTDISC") {
        burner->ClearFiles();
        burner->SetUDFBridge(true);
        burner->SetVolumeIDW(platform::FromSystem(label));
        AddFolders(folders);
        burner->PrepareImage();
    }

    std::string Export(unsigned drive = 0) {
        std::string image = work / ("disc" + std::to_string(exports_++) + ".iso");
        std::string error;
        EXPECT_TRUE(host->ExportImage(drive, image, error)) << error;
        return image;
    }

    // WRITE (10) commands the drive received, as (address, blocks).
    std::vector<std::pair<uint32_t, uint32_t>> Writes() const {
        std::vector<std::pair<uint32_t, uint32_t>> out;
        for (const auto& e : host->Journal()) {
            if (e.Opcode() != 0x2A)
                continue;
            uint32_t lba = uint32_t(e.cdb[2]) << 24 | uint32_t(e.cdb[3]) << 16 |
                           uint32_t(e.cdb[4]) << 8 | e.cdb[5];
            out.emplace_back(lba, uint32_t(e.cdb[7]) << 8 | e.cdb[8]);
        }
        return out;
    }

    // The CDBs of one operation code, in order.
    std::vector<std::vector<uint8_t>> Commands(uint8_t opcode) const {
        std::vector<std::vector<uint8_t>> out;
        for (const auto& e : host->Journal()) {
            if (e.Opcode() == opcode)
                out.emplace_back(e.cdb.begin(), e.cdb.begin() + e.cdbLength);
        }
        return out;
    }

    // A small tree with awkward sizes and a non-ASCII name, in folder `name`
    // of a fresh folder `parent` (which then looks like the disc's root).
    std::string MakeTree(const std::string& parent, const std::string& name, uint32_t seed) {
        std::string root = work / (parent + "/" + name);
        testsupport::WritePatternFile(root + "/a.bin", 2049, seed);
        testsupport::WritePatternFile(root + "/Größe ș.txt", 1000, seed + 1);
        testsupport::WritePatternFile(root + "/sub/b.bin", 200000, seed + 2);
        testsupport::WriteFile(root + "/sub/empty.txt", "");
        testsupport::MakeDirs(root + "/empty-folder");
        return root;
    }

    // Extracts the image with a reader and compares with the folders.
    void ExpectReaderSees(testsupport::TReader reader, const std::string& image,
                          const std::string& expectedRoot) {
        TTempDir out("tessor-extract");
        testsupport::TToolResult r = testsupport::ExtractImage(reader, image, out.Path());
        if (r.exitCode == 127)
            GTEST_SKIP() << testsupport::ReaderName(reader) << " not installed";
        ASSERT_EQ(r.exitCode, 0) << testsupport::ReaderName(reader) << ": " << r.output;
        auto diff = testsupport::CompareTrees(testsupport::Snapshot(expectedRoot),
                                              testsupport::Snapshot(out.Path()));
        EXPECT_TRUE(diff.empty()) << testsupport::ReaderName(reader) << "\n"
                                  << testsupport::Join(diff);
    }

private:
    int exports_ = 0;
};

// Runs `action` on a thread of its own once the write has reached 64
// sectors (or never, when it ends before).
class TMidWrite {
public:
    TMidWrite(TDiscBurner& burner, std::function<void()> action)
        : thread_([&burner, action, this] {
              auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
              while (burner.WrittenSectors() < 64 && !stop_ &&
                     std::chrono::steady_clock::now() < deadline) {
                  std::this_thread::sleep_for(std::chrono::microseconds(50));
              }
              if (!stop_) {
                  action();
                  fired = true;
              }
          }) {}
    ~TMidWrite() {
        stop_ = true;
        thread_.join();
    }
    std::atomic<bool> fired{false};

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace tessor::component::test
