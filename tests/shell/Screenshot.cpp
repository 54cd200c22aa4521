// Renders the main window offscreen into PNG files: idle with a small
// compilation and the offline banner, and in the middle of a write to a slow
// virtual CD writer; and both pages of the about box.
//   tessor-screenshot OUTDIR SOURCE...
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <cstdio>

#include "engine/platform/Threads.h"
#include "lang/ProgramLanguages.h"
#include "shell/AboutUnit.h"
#include "shell/MainWindow.h"
#include "vdrive/VDrive.h"

using namespace tessor;

namespace {

class TNoQuestions : public shell::TPrompter {
public:
    bool AskYesNo(QWidget*, const QString&, const QString&) override { return true; }
    void Inform(QWidget*, const QString&, const QString&) override {}
};

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The banner as a machine without network shows it.
    qputenv("TESSOR_SERVER", "");
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: tessor-screenshot OUTDIR SOURCE...\n");
        return 2;
    }
    QDir out(QString::fromLocal8Bit(argv[1]));
    QDir state(out.filePath(QStringLiteral("screenshot-vdrive")));
    state.removeRecursively();
    out.mkpath(state.path());

    platform::SetTimeScale(0.001);
    vdrive::TDriveConfig slow;
    slow.recordKBps = 2;  // 2 MB/s here: slow enough to be caught in the middle of the write
    vdrive::THostOptions options;
    options.stateDir = state.path().toStdString();
    options.timeScale = 0.001;
    options.drives = {vdrive::WithKindDefaults(slow)};
    std::string error;
    auto host = vdrive::TRecorderHost::Create(options, error);
    if (!host || !host->InsertMedia(0, vdrive::TMediaKind::CdR, "", error)) {
        std::fprintf(stderr, "tessor-screenshot: %s\n", error.c_str());
        return 1;
    }
    TNoQuestions prompter;
    shell::TForm1 window({&prompter, nullptr, nullptr});
    vdrive::TRecorderHost* h = host.get();
    drive::TSCSIDevice& d = window.Burner().Drive();
    d.AspiOverride.GetSupportInfo = [h] { return h->GetASPI32SupportInfo(); };
    d.AspiOverride.SendCommand = [h](void* srb) { return h->SendASPI32Command(srb); };
    d.AspiOverride.LockFile = [h](uint8_t a, uint8_t t, uint8_t l) {
        return h->JobLockFile(a, t, l);
    };
    window.ScanUseAspi = 1;
    window.ProgramFolder = out.absolutePath();
    window.FormCreate();
    std::vector<std::string> sources;
    for (int i = 2; i < argc; ++i)
        sources.push_back(QDir(QString::fromLocal8Bit(argv[i])).absolutePath().toStdString());
    // Something worth a few seconds of writing.
    QFile sample(out.filePath(QStringLiteral("screenshot-sample.bin")));
    if (sample.open(QIODevice::WriteOnly)) {
        sample.resize(12 << 20);
        sample.close();
        sources.push_back(QFileInfo(sample).absoluteFilePath().toStdString());
    }
    window.AddDroppedPaths(sources);
    window.show();
    bool banner = QTest::qWaitFor([&] { return window.BannerFailed; }, 5000);
    QTest::qWait(200);
    QString idle = out.filePath(QStringLiteral("window-idle.png"));
    bool ok = window.grab().save(idle) && banner;

    shell::TAboutForm about(nullptr);
    about.show();
    QTest::qWait(100);
    QString aboutInfo = out.filePath(QStringLiteral("about-info.png"));
    ok = about.grab().save(aboutInfo) && ok;
    about.PageControl1->setCurrentWidget(about.TabSheet2);
    QTest::qWait(100);
    QString aboutLicence = out.filePath(QStringLiteral("about-licence.png"));
    ok = about.grab().save(aboutLicence) && ok;
    about.hide();

    window.tmrWriter->setInterval(100);
    window.BurnButtonClick();
    bool progressed =
        QTest::qWaitFor([&] { return window.pb->value() > window.pb->maximum() / 3; }, 20000);
    QTest::qWait(150);
    QString writing = out.filePath(QStringLiteral("window-writing.png"));
    ok = window.grab().save(writing) && ok;
    window.Button6Click();
    ok = QTest::qWaitFor([&] { return !window.WorkflowRunning(); }, 20000) && progressed && ok;
    std::printf("%s\n%s\n%s\n%s\n", qPrintable(idle), qPrintable(writing), qPrintable(aboutInfo),
                qPrintable(aboutLicence));
    state.removeRecursively();
    sample.remove();
    return ok ? 0 : 1;
}
