#include "cli/Job.h"

#include <unistd.h>

#include <chrono>

#include "cli/Drives.h"
#include "cli/Interrupt.h"

namespace tessor::cli {

namespace {

double Megabytes(double sectors) {
    return sectors * 2048.0 / 1e6;
}

class TProgressLine {
public:
    TProgressLine(std::FILE* out) : out_(out), tty_(out != nullptr && isatty(fileno(out))) {}

    void Draw(component::TDiscBurner& burner, bool driveBuffer) {
        if (!tty_)
            return;
        auto now = std::chrono::steady_clock::now();
        double seconds = std::chrono::duration<double>(now - start_).count();
        double written = burner.WrittenSectors();
        double total = burner.ImageSectors();
        int percent = total > 0 ? static_cast<int>(written * 100.0 / total) : 0;
        double rate = seconds > 0.2 ? Megabytes(written) / seconds : 0.0;
        std::fprintf(out_, "\r\033[K%s  %.1f of %.1f MB  %d%%  %.1f MB/s  cache %.1f MB",
                     StatusText(burner.Status()).c_str(), Megabytes(written), Megabytes(total),
                     percent, rate, burner.CacheFill() / 1e6);
        if (driveBuffer) {
            uint32_t size = burner.DeviceBufferSize();
            int32_t used = burner.DeviceBufferUsed();
            if (size > 0)
                std::fprintf(out_, "  drive buffer %d%%", static_cast<int>(used * 100.0 / size));
        }
        std::fflush(out_);
        drawn_ = true;
    }

    void DrawErase(component::TDiscBurner& burner) {
        if (!tty_)
            return;
        double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        std::fprintf(out_, "\r\033[K%s  %.0f s", StatusText(burner.Status()).c_str(), seconds);
        std::fflush(out_);
        drawn_ = true;
    }

    void End() {
        if (drawn_)
            std::fprintf(out_, "\n");
        drawn_ = false;
    }

private:
    std::FILE* out_;
    bool tty_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// What Ctrl-C does: ask the engine to abort (a write), or say once that the
// drive goes on (an erase, which no drive can stop).
using TOnInterrupt = std::function<void()>;

template <typename TDraw>
TJobResult Pump(component::TDiscBurner& burner, const std::function<bool()>& start, bool& done,
                bool& failed, TDraw draw, const TOnInterrupt& onInterrupt) {
    TJobResult result;
    TInterruptCount interrupts;
    result.started = start();
    bool interruptSeen = false;
    while (!done) {
        if (interrupts.Count() > 0 && !interruptSeen) {
            onInterrupt();
            interruptSeen = true;
            result.aborted = true;
        }
        burner.Messages()->WaitAndDispatch(200);
        draw();
    }
    result.failed = failed;
    if (failed) {
        auto report = burner.TakeError();
        result.error = report.Text;
        result.detail = report.Detail;
    }
    return result;
}

}  // namespace

TJobResult RunWriteJob(component::TDiscBurner& burner, const std::function<bool()>& start,
                       std::FILE* out, bool showDriveBuffer) {
    bool done = false;
    bool failed = false;
    auto previous = burner.OnWriteDone;
    burner.OnWriteDone = [&](void*, uint8_t, bool writeFailed) {
        done = true;
        failed = writeFailed;
    };
    TProgressLine line(out);
    // A start that returns false without raising the completion (the image
    // file could not be created) ends at once.
    auto guardedStart = [&] {
        bool ok = start();
        if (!ok) {
            burner.Messages()->DispatchPending();
            if (!done) {
                done = true;
                failed = true;
            }
        }
        return ok;
    };
    TJobResult result = Pump(
        burner, guardedStart, done, failed, [&] { line.Draw(burner, showDriveBuffer); },
        [&] { burner.Abort(); });
    line.End();
    burner.OnWriteDone = previous;
    return result;
}

TJobResult RunVerifyJob(component::TDiscBurner& burner, const std::function<bool()>& start,
                        std::FILE* out) {
    bool done = false;
    bool failed = false;
    auto previous = burner.OnVerifyDone;
    int32_t fileId = component::TDiscBurner::kVerifyNoBlock;
    burner.OnVerifyDone = [&](void*, uint8_t, int32_t id, bool verifyFailed) {
        done = true;
        failed = verifyFailed;
        fileId = id;
    };
    TProgressLine line(out);
    TJobResult result = Pump(
        burner, start, done, failed, [&] { line.Draw(burner, false); }, [&] { burner.Abort(); });
    result.fileId = fileId;
    line.End();
    burner.OnVerifyDone = previous;
    return result;
}

TJobResult RunSmartReferencesJob(component::TDiscBurner& burner, std::FILE* out, int64_t& saved) {
    bool done = false;
    bool failed = false;
    saved = 0;
    auto previous = burner.OnGenerateSmartReferencesDone;
    burner.OnGenerateSmartReferencesDone = [&](void*, bool searchFailed, int64_t canSave) {
        done = true;
        failed = searchFailed;
        saved = canSave;
    };
    TProgressLine line(out);
    auto start = [&] {
        bool ok = burner.GenerateSmartReferences();
        done = done || !ok;
        failed = failed || !ok;
        return ok;
    };
    TJobResult result = Pump(
        burner, start, done, failed, [&] { line.Draw(burner, false); }, [&] { burner.Abort(); });
    line.End();
    burner.OnGenerateSmartReferencesDone = previous;
    return result;
}

TJobResult RunEraseJob(component::TDiscBurner& burner, const std::function<bool()>& start,
                       std::FILE* out) {
    bool done = false;
    bool failed = false;
    auto previous = burner.OnEraseDone;
    burner.OnEraseDone = [&](void*, uint8_t, bool eraseFailed) {
        done = true;
        failed = eraseFailed;
    };
    TProgressLine line(out);
    TJobResult result = Pump(
        burner, start, done, failed, [&] { line.DrawErase(burner); },
        [&] {
            line.End();
            std::fprintf(out != nullptr ? out : stderr,
                         "tessor-cli: the drive cannot stop an erase; waiting for it to end\n");
        });
    line.End();
    burner.OnEraseDone = previous;
    return result;
}

}  // namespace tessor::cli
