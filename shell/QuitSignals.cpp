#include "shell/QuitSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>

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

}  // namespace

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
