#include "tests/support/ImageWriter.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "engine/platform/Strings.h"
#include "engine/writer/CDBurner.h"
#include "engine/writer/Cache.h"

namespace tessor::testsupport {

bool WriteImageFile(builder::TImageBuilder& b, const std::string& imagePath, std::string* error) {
    std::mutex lock;
    std::mutex* previousLock = b.EngineLock;
    platform::TMessageTarget* previousTarget = b.NotifyWindow;
    b.EngineLock = &lock;
    b.NotifyWindow = nullptr;  // the handler runs on the write thread
    std::atomic<int> done{0};
    std::atomic<bool> failed{false};
    builder::TDoneHandler handler = [&](void*, uint8_t, bool f) {
        failed = f;
        done = 1;
    };
    bool started = writer::CreateImageFile(b, platform::FromSystem(imagePath), nullptr, handler);
    if (started) {
        while (!done.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    writer::JoinWriterThreads(b);
    bool ok = started && !failed.load();
    if (!ok && error != nullptr) {
        uint16_t noSense = 0;
        *error = writer::ErrorTextFor(b, writer::TakeErrorCode(b, noSense));
    }
    b.EngineLock = previousLock;
    b.NotifyWindow = previousTarget;
    return ok;
}

}  // namespace tessor::testsupport
