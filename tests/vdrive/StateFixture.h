// The recorder state suites' fixture: the default drives with long blank
// and close times, so that long operations can be caught while they run.
#pragma once

#include "tests/vdrive/VDriveTestSupport.h"

namespace tessor::vdrive::test {

constexpr unsigned kBd = 0, kDvd = 1, kCd = 2;

class State : public TVirtualRecorderTest {
protected:
    std::vector<TDriveConfig> Drives() override {
        auto drives = DefaultDriveSet();
        for (auto& d : drives) {
            d.blankMs = d.blankFullMs = 150000;  // 150 ms at the test scale
            d.closeMs = 60000;
        }
        return drives;
    }
};

}  // namespace tessor::vdrive::test
