// Starts the window program as `tessor` does (the same TProgram, the real
// drive scan with the virtual recorder as fallback, the banner) and prints,
// in milliseconds since the process started, when the main window was
// first painted, when the event loop had nothing left to do after that
// (the window is usable), and when the banner had its page or its offline
// picture (-1: not within a second of being usable); then it ends.
//   tessor-startup-probe
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QFile>
#include <QTimer>
#include <cstdio>

#include "shell/MainWindow.h"
#include "shell/Program.h"
#include "shell/WebBrowser.h"

namespace {

// Milliseconds since the kernel started this process (field 22 of
// /proc/self/stat, in clock ticks since boot), so the loading of the
// libraries counts too.
double SinceProcessStart() {
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    QByteArray text = stat.readAll();
    QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    double startTicks = fields.value(19).toDouble();
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return (now.tv_sec + now.tv_nsec / 1e9 - startTicks / sysconf(_SC_CLK_TCK)) * 1000;
}

class TFirstPaint : public QObject {
public:
    double at = -1;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && at < 0)
            at = SinceProcessStart();
        return false;
    }
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    double appMade = SinceProcessStart();
    tessor::shell::TProgram program;
    tessor::shell::TForm1& window = program.Window();
    TFirstPaint paint;
    window.installEventFilter(&paint);
    double banner = -1, usable = -1;
    auto bannerShown = [&] {
        if (banner < 0)
            banner = SinceProcessStart();
    };
    QObject::connect(window.WebBrowser, &tessor::shell::TWebBrowser::DocumentComplete, bannerShown);
    QObject::connect(window.WebBrowser, &tessor::shell::TWebBrowser::NavigateError,
                     [&] { QTimer::singleShot(0, bannerShown); });
    program.Show();
    double shown = SinceProcessStart();

    // Polled from the event loop: once painted, the first time the loop
    // comes back with nothing else to do is when the window is usable.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (paint.at >= 0 && usable < 0)
            usable = SinceProcessStart();
        // A banner still waiting for its server after another second is
        // reported as -1.
        if (usable >= 0 && (banner >= 0 || SinceProcessStart() > usable + 1000))
            app.quit();
    });
    poll.start(0);
    app.exec();
    std::printf("application %.0f shown %.0f painted %.0f usable %.0f banner %.0f\n", appMade,
                shown, paint.at, usable, banner);
    return usable >= 0 ? 0 : 1;
}
