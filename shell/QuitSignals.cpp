#include "shell/QuitSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QWidget>
#include <cstdint>

namespace tessor::shell {

namespace {

// A signal handler may only do async-signal-safe things: it writes one
// byte, and the event loop does the rest.
int wakeFds[2] = {-1, -1};

void OnSignal(int) {
    char byte = 1;
    ssize_t ignored = write(wakeFds[0], &byte, 1);
    (void)ignored;
}

// DestroyNotify as the X server sends it (the X11 protocol's wire layout,
// which xcb hands over unchanged).
constexpr uint8_t kXDestroyNotify = 17;
struct TXDestroyNotify {
    uint8_t responseType;
    uint8_t pad;
    uint16_t sequence;
    uint32_t event;
    uint32_t window;
};

class TWindowGoneFilter : public QAbstractNativeEventFilter {
public:
    TWindowGoneFilter(uint32_t window, std::function<void()> quit)
        : window_(window), quit_(std::move(quit)) {}
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (done_ || type != "xcb_generic_event_t")
            return false;
        const auto* e = static_cast<const TXDestroyNotify*>(message);
        // The top bit marks events sent by another client.
        if ((e->responseType & 0x7f) == kXDestroyNotify && e->window == window_) {
            done_ = true;
            quit_();
        }
        return false;
    }

private:
    uint32_t window_;
    std::function<void()> quit_;
    bool done_ = false;
};

}  // namespace

void QuitWhenWindowDestroyed(QWidget* window, std::function<void()> quit) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || window == nullptr)
        return;
    // The filter lives as long as the application; it is taken out with it.
    static TWindowGoneFilter* filter = nullptr;
    if (filter != nullptr)
        return;
    filter = new TWindowGoneFilter(static_cast<uint32_t>(window->winId()), std::move(quit));
    app->installNativeEventFilter(filter);
}

bool QuitOnTerminationSignals(std::function<void()> quit) {
    if (wakeFds[0] >= 0)
        return false;
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, wakeFds) != 0)
        return false;
    auto* notifier =
        new QSocketNotifier(wakeFds[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [quit] {
        char bytes[16];
        while (read(wakeFds[1], bytes, sizeof(bytes)) > 0) {
        }
        quit();
    });
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    bool ok = true;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        ok = sigaction(signal, &action, nullptr) == 0 && ok;
    return ok;
}

}  // namespace tessor::shell
