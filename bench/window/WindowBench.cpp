// The window's create-image workflow over a big tree, offscreen, with the
// add-file echo: the time from the click to the start of the write and to
// its end, and the longest time the window went without painting while it
// added the files.
//   tessor-window-bench TREE IMAGE
#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTest>
#include <cstdio>

#include "shell/MainWindow.h"

namespace {

class TSaveTo : public tessor::shell::TFileChooser {
public:
    explicit TSaveTo(QString file) : file_(std::move(file)) {}
    std::optional<QString> SaveIsoFile(QWidget*) override { return file_; }
    std::optional<QString> OpenIsoFile(QWidget*) override { return std::nullopt; }

private:
    QString file_;
};

class TNo : public tessor::shell::TPrompter {
public:
    bool AskYesNo(QWidget*, const QString&, const QString&) override { return false; }
    void Inform(QWidget*, const QString&, const QString&) override {}
};

// Times every paint of the window's widgets.
class TPaintClock : public QObject {
public:
    explicit TPaintClock(const QElapsedTimer& clock) : clock_(clock) {}
    std::vector<qint64> paints;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            paints.push_back(clock_.elapsed());
        return false;
    }

private:
    const QElapsedTimer& clock_;
};

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: tessor-window-bench TREE IMAGE\n");
        return 2;
    }
    TSaveTo files(QString::fromLocal8Bit(argv[2]));
    TNo prompter;
    tessor::shell::TForm1 window({&prompter, &files, nullptr});
    window.FormCreate();
    window.AddDroppedPaths({argv[1]});
    window.show();
    QTest::qWait(100);

    QElapsedTimer clock;
    TPaintClock painted(clock);
    app.installEventFilter(&painted);
    qint64 addingFrom = -1, addingTo = -1;
    QObject::connect(window.Memo1, &QPlainTextEdit::textChanged, [&] {
        QStringList log = window.LogLines();
        if (!log.isEmpty() && log.last() == QLatin1String("Prepearing data"))
            addingFrom = clock.elapsed();
        if (!log.isEmpty() && log.last() == QLatin1String("PREPARING"))
            addingTo = clock.elapsed();
    });
    clock.start();
    window.create_isoClick();
    qint64 started = clock.elapsed();
    bool done = QTest::qWaitFor([&] { return !window.WorkflowRunning(); }, 600000);
    qint64 finished = clock.elapsed();

    qint64 gap = 0, last = addingFrom;
    for (qint64 t : painted.paints) {
        if (t < addingFrom || t > addingTo)
            continue;
        gap = std::max(gap, t - last);
        last = t;
    }
    gap = std::max(gap, addingTo - last);
    std::printf(
        "window: start of write %.2f s, written %.2f s, adding %.2f s, longest time "
        "without a paint while adding %lld ms\n",
        started / 1000.0, finished / 1000.0, (addingTo - addingFrom) / 1000.0,
        static_cast<long long>(gap));
    const QStringList log = window.LogLines();
    if (!done || log.isEmpty() || log.last() != QLatin1String(">>> Writing successfull")) {
        std::fprintf(stderr, "tessor-window-bench: the image was not written:\n%s\n",
                     qPrintable(log.join(QLatin1Char('\n'))));
        return 1;
    }
    return 0;
}
