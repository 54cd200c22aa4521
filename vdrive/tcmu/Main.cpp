// tessor-vdrive-tcmu: the virtual recorders as SCSI devices of a Linux
// machine. Each drive becomes a TCMU backstore of the kernel's SCSI target and
// a LUN of one loopback target, so the kernel's own sr and sg drivers, and any
// program that burns through them, see a real CD/DVD/BD writer. The device
// model answers every command; this program only carries commands and replies
// between the ring and the model.
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "vdrive/Device.h"
#include "vdrive/VDrive.h"
#include "vdrive/tcmu/Ring.h"
#include "vdrive/tcmu/Target.h"

namespace {

using namespace tessor::vdrive;

// The kernel fails a command the handler has not answered in this many
// seconds. The model's slowest commands without an immediate bit (a full
// blank, a flush of a full buffer at 1x) take well under a minute at real
// time; burners set their own, longer limits on their side.
constexpr unsigned kDefaultTimeOut = 120;

int g_wakeFd = -1;  // written by the signal handler and by a failing server

void OnSignal(int) {
    const char byte = 's';
    [[maybe_unused]] ssize_t n = write(g_wakeFd, &byte, 1);
}

void PrintHelp() {
    std::printf(
        "usage: tessor-vdrive-tcmu [--dir STATE_DIR] [--drives N[,N...]] [--time-out SECONDS]\n"
        "                          [--trace FILE] [--configfs DIR]\n"
        "\n"
        "Serves the virtual recorders of STATE_DIR as SCSI CD/DVD/BD devices of this\n"
        "machine, through the kernel's SCSI target: one TCMU backstore per drive, each\n"
        "a LUN of one loopback (tcm_loop) target, in the order of --drives (default:\n"
        "every drive). The kernel then makes /dev/srN and /dev/sgN for them. Needs\n"
        "root, configfs and the modules target_core_user and tcm_loop. Runs until\n"
        "SIGTERM or SIGINT, then takes the devices away again.\n"
        "\n"
        "  --time-out S  seconds the kernel waits for one answer (default %u)\n"
        "  --trace FILE  one line per command: LUN, CDB, status, sense, bytes\n"
        "\n"
        "The state directory is as for tessor-vdrive (TESSOR_VDRIVE_DIR, ...);\n"
        "TESSOR_TIME_SCALE scales the drives' timings.\n",
        kDefaultTimeOut);
}

class TTrace {
public:
    bool Open(const std::string& path) {
        file_ = std::fopen(path.c_str(), "w");
        return file_ != nullptr;
    }
    ~TTrace() {
        if (file_ != nullptr)
            std::fclose(file_);
    }
    void Command(unsigned lun, const tcmu::TRingCommand& cmd, const TResult& r) {
        if (file_ == nullptr)
            return;
        std::lock_guard lock(mutex_);
        std::fprintf(file_, "lun %u:", lun);
        for (unsigned i = 0; i < cmd.cdbLength; ++i)
            std::fprintf(file_, " %02X", cmd.cdb[i]);
        std::fprintf(file_, " | len %u -> %02X", cmd.dataLength, r.status);
        if (r.status == kStatusCheckCondition)
            std::fprintf(file_, " %X/%02X/%02X", r.sense.key, r.sense.asc, r.sense.ascq);
        std::fprintf(file_, " moved %u\n", r.transferred);
        std::fflush(file_);
    }

private:
    std::FILE* file_ = nullptr;
    std::mutex mutex_;
};

struct TServed {
    unsigned drive = 0;
    unsigned lun = 0;
    std::unique_ptr<tcmu::TRing> ring;
    std::thread thread;
};

// Answers the commands of one drive until `stopFd` becomes readable.
void Serve(TServed& served, TRecorderHost& host, TTrace& trace, int stopFd,
           std::atomic<bool>& failed) {
    auto dataOut = [](const uint8_t* cdb) {
        return TDevice::DataDirection(cdb[0]) == TDirection::Out;
    };
    auto handle = [&](const tcmu::TRingCommand& cmd, std::vector<uint8_t>& data) {
        const TDirection direction = TDevice::DataDirection(cmd.cdb[0]);
        TCommand command;
        command.cdb = cmd.cdb;
        command.cdbLength = cmd.cdbLength;
        command.data = data.empty() ? nullptr : data.data();
        command.dataLength = static_cast<uint32_t>(data.size());
        command.direction = direction;
        const TResult r = host.Execute(served.drive, command);
        trace.Command(served.lun, cmd, r);
        tcmu::TRingReply reply;
        reply.status = r.status;
        if (r.status == kStatusCheckCondition) {
            reply.sense.resize(18);
            BuildFixedSense(r.sense, r.progressValid, r.progress, reply.sense.data(),
                            reply.sense.size());
        } else if (direction == TDirection::In) {
            reply.dataIn = true;
            reply.dataInLength = r.transferred;
        }
        return reply;
    };
    std::string error;
    for (;;) {
        if (!served.ring->Serve(dataOut, handle, error)) {
            std::fprintf(stderr, "tessor-vdrive-tcmu: drive %u: %s\n", served.drive, error.c_str());
            failed = true;
            OnSignal(0);
            return;
        }
        pollfd fds[2] = {{served.ring->Fd(), POLLIN, 0}, {stopFd, POLLIN, 0}};
        while (poll(fds, 2, -1) < 0) {
            if (errno != EINTR) {
                std::fprintf(stderr, "tessor-vdrive-tcmu: drive %u: poll: %s\n", served.drive,
                             std::strerror(errno));
                failed = true;
                OnSignal(0);
                return;
            }
        }
        if (fds[1].revents != 0)
            return;
    }
}

bool ParseDrives(const std::string& text, size_t count, std::vector<unsigned>& drives) {
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t comma = text.find(',', pos);
        std::string item = text.substr(pos, comma == std::string::npos ? comma : comma - pos);
        char* end = nullptr;
        unsigned long v = std::strtoul(item.c_str(), &end, 10);
        if (item.empty() || *end != '\0' || v >= count)
            return false;
        drives.push_back(static_cast<unsigned>(v));
        if (comma == std::string::npos)
            break;
        pos = comma + 1;
    }
    return !drives.empty();
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "tessor-vdrive-tcmu: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    THostOptions options;
    options.journalLimit = 0;
    std::string drivesText, tracePath, configfs = "/sys/kernel/config";
    unsigned timeOut = kDefaultTimeOut;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-h" || a == "--help") {
            PrintHelp();
            return 0;
        }
        if (i + 1 >= args.size())
            return Fail("unknown option or missing value: " + a + " (see --help)");
        const std::string& v = args[++i];
        if (a == "--dir") {
            options.stateDir = v;
        } else if (a == "--drives") {
            drivesText = v;
        } else if (a == "--trace") {
            tracePath = v;
        } else if (a == "--configfs") {
            configfs = v;
        } else if (a == "--time-out") {
            char* end = nullptr;
            unsigned long t = std::strtoul(v.c_str(), &end, 10);
            if (v.empty() || *end != '\0' || t == 0 || t > 3600)
                return Fail("--time-out takes 1 to 3600 seconds");
            timeOut = static_cast<unsigned>(t);
        } else {
            return Fail("unknown option " + a + " (see --help)");
        }
    }
    std::string error;
    auto host = TRecorderHost::Create(options, error);
    if (host == nullptr)
        return Fail(error);
    std::vector<unsigned> drives;
    if (drivesText.empty()) {
        for (unsigned d = 0; d < host->DriveCount(); ++d)
            drives.push_back(d);
    } else if (!ParseDrives(drivesText, host->DriveCount(), drives)) {
        return Fail("--drives " + drivesText + ": drive numbers from 0 to " +
                    std::to_string(host->DriveCount() - 1) + ", separated by commas");
    }
    TTrace trace;
    if (!tracePath.empty() && !trace.Open(tracePath))
        return Fail("cannot write " + tracePath);

    int wake[2];
    const int stopFd = eventfd(0, EFD_CLOEXEC);
    if (pipe2(wake, O_CLOEXEC) != 0 || stopFd < 0)
        return Fail(std::string("cannot make a pipe: ") + std::strerror(errno));
    g_wakeFd = wake[1];
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    tcmu::TTarget target(configfs);
    std::vector<std::unique_ptr<TServed>> served;
    std::atomic<bool> failed{false};
    bool ok = true;
    // Each backstore is served before its LUN is linked: linking makes the
    // kernel scan it at once.
    for (unsigned lun = 0; ok && lun < drives.size(); ++lun) {
        auto s = std::make_unique<TServed>();
        s->drive = drives[lun];
        s->lun = lun;
        const std::string name = "drive" + std::to_string(s->drive);
        std::string uio;
        size_t mapSize = 0;
        s->ring = std::make_unique<tcmu::TRing>();
        ok = target.AddBackstore(name, timeOut, uio, mapSize, error) &&
             s->ring->Open(uio, mapSize, error);
        if (!ok)
            break;
        TServed& ref = *s;
        s->thread = std::thread(
            [&ref, &host, &trace, stopFd, &failed] { Serve(ref, *host, trace, stopFd, failed); });
        served.push_back(std::move(s));
        ok = target.Link(name, lun, error);
        if (ok) {
            std::printf("drive %u (%s) is LUN %u, served through %s\n", drives[lun],
                        host->Drive(drives[lun]).product.c_str(), lun, uio.c_str());
        }
    }
    if (ok) {
        std::printf("ready\n");
        std::fflush(stdout);
        char byte;
        while (read(wake[0], &byte, 1) < 0 && errno == EINTR) {
        }
    } else {
        std::fprintf(stderr, "tessor-vdrive-tcmu: %s\n", error.c_str());
    }
    // The SCSI devices leave while their rings are still answered, then the
    // servers stop and the backstores go.
    target.Unlink();
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(stopFd, &one, sizeof one);
    for (auto& s : served) {
        if (s->thread.joinable())
            s->thread.join();
    }
    served.clear();
    target.RemoveBackstores();
    if (ok && !failed)
        std::printf("stopped\n");
    return ok && !failed ? 0 : 1;
}
