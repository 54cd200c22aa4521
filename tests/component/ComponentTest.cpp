// The component's own rules: construction values, setters, the scan
// keeping two switches, Abort and ErrorText, events on the owning thread.
#include <gtest/gtest.h>

#include <thread>

#include "BurnFixture.h"

namespace tessor::component::test {
namespace {

TEST(Component, NewComponentValues) {
    TDiscBurner b(true);
    EXPECT_TRUE(b.BurnProof());
    EXPECT_FALSE(b.TestWrite());
    EXPECT_FALSE(b.FinalizeDisc());
    EXPECT_FALSE(b.ReplaceFile());
    EXPECT_EQ(b.CacheSize(), 32u);
    EXPECT_TRUE(b.JolietFileSystem());
    EXPECT_FALSE(b.ISO9660v1999FS());
    EXPECT_FALSE(b.UDFBridge());
    EXPECT_EQ(b.BootImage(), "");
    EXPECT_EQ(b.VolumeID(), "");
    EXPECT_EQ(b.Status(), 0);
    EXPECT_EQ(b.DeviceCount(), 0);
    EXPECT_EQ(b.Version(), "1.24 (20110803)");
    EXPECT_EQ(b.DeviceName(0), "");
    // No root before the first ClearFiles.
    EXPECT_EQ(b.AddFile(u"\\", u"/etc/hostname"), nullptr);
    EXPECT_EQ(b.CreateDir(u"\\", u"x"), nullptr);
}

TEST(Component, BootImageSetterKeepsAGoodImage) {
    TTempDir dir;
    std::string floppy = dir / "floppy.img";
    std::string odd = dir / "odd.img";
    ASSERT_TRUE(testsupport::WritePatternFile(floppy, 1474560, 1));
    ASSERT_TRUE(testsupport::WritePatternFile(odd, 1000, 2));
    TDiscBurner b(true);
    b.ClearFiles();
    b.SetBootImage(floppy);
    EXPECT_EQ(b.BootImage(), floppy);
    b.SetBootImage(odd);
    EXPECT_EQ(b.BootImage(), floppy);
    b.SetBootImage("");
    EXPECT_EQ(b.BootImage(), floppy);
    b.ClearFiles();
    EXPECT_EQ(b.BootImage(), "");
}

TEST(Component, AbortIsReportedOnce) {
    TDiscBurner b(true);
    b.Abort();
    EXPECT_EQ(b.Status(), 7);
    EXPECT_EQ(b.ErrorText(), "Aborted by user");
    EXPECT_EQ(b.ErrorText(), "Unknown/No Error!");
}

TEST_F(TVirtualBurn, ScanKeepsBurnProofAndFinalizeAndResetsTestWrite) {
    burner->SetBurnProof(false);
    burner->SetFinalizeDisc(true);
    burner->SetTestWrite(true);
    ASSERT_TRUE(burner->ScanDevices(1, "", ""));
    EXPECT_FALSE(burner->BurnProof());
    EXPECT_TRUE(burner->FinalizeDisc());
    EXPECT_FALSE(burner->TestWrite());
    EXPECT_EQ(burner->DeviceName(burner->DeviceCount()), "");
    EXPECT_FALSE(burner->SelectDevice(burner->DeviceCount()));
    EXPECT_FALSE(burner->DeviceReady());
}

TEST_F(TVirtualBurn, CompletionsArriveOnTheOwningThread) {
    Insert("cd-rw");
    std::thread::id seen;
    burner->OnEraseDone = [&](void* sender, uint8_t, bool failed) {
        EXPECT_EQ(sender, burner.get());
        EXPECT_FALSE(failed);
        seen = std::this_thread::get_id();
        ++eraseDone.count;
    };
    EXPECT_TRUE(burner->EraseDisc(true));
    Pump(eraseDone);
    EXPECT_EQ(eraseDone.count, 1);
    EXPECT_EQ(seen, std::this_thread::get_id());
}

}  // namespace
}  // namespace tessor::component::test
