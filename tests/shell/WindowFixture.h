// A main window wired to an in-process virtual recorder (drive 0 a BD
// writer, 1 a DVD writer, 2 a CD writer, 3 a DVD-ROM reader), with
// scripted answers to its questions and file dialogs.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDropEvent>
#include <QLocale>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QUrl>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

#include "engine/platform/Threads.h"
#include "lang/ProgramLanguages.h"
#include "shell/MainWindow.h"
#include "tests/support/ReaderHarness.h"
#include "tests/support/TestFiles.h"
#include "vdrive/VDrive.h"

namespace tessor::shell::test {

using testsupport::TTempDir;

struct TAsked {
    QString caption;
    QString text;
    bool question = false;
};

class TScriptedPrompter : public TPrompter {
public:
    std::vector<TAsked> asked;
    std::deque<bool> answers;     // Yes/No in order; No when none is left
    std::function<void()> onAsk;  // runs while the box would be open

    bool AskYesNo(QWidget*, const QString& caption, const QString& text) override {
        asked.push_back({caption, text, true});
        if (onAsk)
            onAsk();
        bool yes = !answers.empty() && answers.front();
        if (!answers.empty())
            answers.pop_front();
        return yes;
    }
    void Inform(QWidget*, const QString& caption, const QString& text) override {
        asked.push_back({caption, text, false});
        if (onAsk)
            onAsk();
    }
};

class TScriptedFiles : public TFileChooser {
public:
    std::optional<QString> save;
    std::optional<QString> open;
    int shown = 0;
    std::optional<QString> SaveIsoFile(QWidget*) override {
        ++shown;
        return save;
    }
    std::optional<QString> OpenIsoFile(QWidget*) override {
        ++shown;
        return open;
    }
};

class TScriptedUrls : public TUrlOpener {
public:
    std::vector<QUrl> opened;
    bool Open(const QUrl& address) override {
        opened.push_back(address);
        return true;
    }
};

class TWindowTest : public ::testing::Test {
protected:
    TTempDir state{"tessor-vdrive"};
    TTempDir work{"tessor-window"};
    std::unique_ptr<vdrive::TRecorderHost> host;
    TScriptedPrompter prompter;
    TScriptedFiles files;
    TScriptedUrls urls;
    std::unique_ptr<TForm1> window;

    // Drives of the host; empty: the default set.
    virtual std::vector<vdrive::TDriveConfig> Drives() { return {}; }
    // Runs after the window is made, before its start-up. The offline
    // banner's picture goes into the test's own folder, not beside the
    // suite's program, which parallel tests share.
    virtual void BeforeFormCreate() { window->ProgramFolder = QString::fromStdString(work.Path()); }
    // False: the test calls StartWindow() itself, once it has set things up.
    virtual bool FormCreateInSetUp() { return true; }
    void StartWindow() {
        BeforeFormCreate();
        window->FormCreate();
    }

    void SetUp() override {
        platform::SetTimeScale(0.001);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        lang::SelectLanguageAt(lang::LangManager(), 0);
        std::string error;
        vdrive::THostOptions options;
        options.stateDir = state.Path();
        options.timeScale = 0.001;
        options.drives = Drives();
        host = vdrive::TRecorderHost::Create(options, error);
        ASSERT_TRUE(host) << error;
        window = std::make_unique<TForm1>(TShellSeams{&prompter, &files, &urls});
        vdrive::TRecorderHost* h = host.get();
        drive::TSCSIDevice& d = window->Burner().Drive();
        d.AspiOverride.GetSupportInfo = [h] { return h->GetASPI32SupportInfo(); };
        d.AspiOverride.SendCommand = [h](void* srb) { return h->SendASPI32Command(srb); };
        d.AspiOverride.LockFile = [h](uint8_t a, uint8_t t, uint8_t l) {
            return h->JobLockFile(a, t, l);
        };
        window->ScanUseAspi = 1;
        if (FormCreateInSetUp())
            StartWindow();
    }

    void TearDown() override {
        window.reset();
        host.reset();
        lang::SelectLanguageAt(lang::LangManager(), 0);
        platform::SetTimeScale(1.0);
    }

    void Insert(const char* media, unsigned drive = 0) {
        std::string error;
        auto kind = vdrive::MediaKindFromName(media);
        ASSERT_TRUE(kind.has_value()) << media;
        ASSERT_TRUE(host->InsertMedia(drive, *kind, "", error)) << error;
    }

    // A drop from the file manager, as the window receives it.
    void DropUrls(const QList<QUrl>& urls) {
        QMimeData mime;
        mime.setUrls(urls);
        DropMime(mime);
    }
    void DropMime(QMimeData& mime) {
        QDragEnterEvent enter(QPoint(300, 300), Qt::CopyAction, &mime, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(window.get(), &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent drop(QPointF(300, 300), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &drop);
    }
    void Drop(const std::vector<std::string>& paths) {
        QList<QUrl> urls;
        for (const std::string& p : paths)
            urls.push_back(QUrl::fromLocalFile(QString::fromStdString(p)));
        DropUrls(urls);
    }

    bool WaitIdle(int ms = 120000) {
        return QTest::qWaitFor([this] { return !window->WorkflowRunning(); }, ms);
    }

    QStringList Log() const { return window->LogLines(); }

    std::string Export(unsigned drive = 0) {
        std::string image = work / ("disc" + std::to_string(exports_++) + ".iso");
        std::string error;
        EXPECT_TRUE(host->ExportImage(drive, image, error)) << error;
        return image;
    }

    // WRITE (10) commands the drives received.
    size_t WriteCommands() const {
        size_t n = 0;
        for (const auto& e : host->Journal())
            n += e.Opcode() == 0x2A;
        return n;
    }

    bool TrayOpen(unsigned drive = 0) {
        vdrive::TDiscState s;
        std::string error;
        EXPECT_TRUE(host->GetDiscState(drive, s, error)) << error;
        return s.trayOpen;
    }

    // The image read back through Joliet (7z) equals the folder.
    void ExpectImageHolds(const std::string& image, const std::string& expectedRoot) {
        TTempDir out("tessor-extract");
        testsupport::TToolResult r =
            testsupport::ExtractImage(testsupport::TReader::SevenZipIso, image, out.Path());
        if (r.exitCode == 127)
            GTEST_SKIP() << "7z not installed";
        ASSERT_EQ(r.exitCode, 0) << r.output;
        auto diff = testsupport::CompareTrees(testsupport::Snapshot(expectedRoot),
                                              testsupport::Snapshot(out.Path()));
        EXPECT_TRUE(diff.empty()) << testsupport::Join(diff);
    }

    std::vector<bool> WorkflowButtons() const {
        return {window->BurnButton->isEnabled(), window->Button4->isEnabled(),
                window->Button1->isEnabled(), window->create_iso->isEnabled(),
                window->Button5->isEnabled()};
    }
    bool AllWorkflowButtons() const {
        for (bool on : WorkflowButtons())
            if (!on)
                return false;
        return true;
    }

private:
    int exports_ = 0;
};

inline QStringList Lines(std::initializer_list<const char*> lines) {
    QStringList out;
    for (const char* l : lines)
        out << QString::fromUtf8(l);
    return out;
}

}  // namespace tessor::shell::test
