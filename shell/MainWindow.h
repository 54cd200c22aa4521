// TForm1, the main window: the compilation tree, the drive list, the
// buttons, the progress display and the log, and the workflows that burn
// the compilation, write it into an image file and burn an image file.
//
// Widgets only show state and forward clicks to the handlers below, which
// tests call through the same buttons. Questions, file choices and opened
// addresses go through TShellSeams. The burner's completions arrive on the
// UI thread: its message target wakes the Qt event loop, which dispatches
// them there.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/component/DiscBurner.h"
#include "shell/Dialogs.h"
#include "shell/InetUrl.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class QAction;

namespace tessor::lang {
class TLanguageController;
}

namespace tessor::shell {

class TQtLangWindow;
class TWBContainer;
class TWebBrowser;

// Icons of the tree (ImageList1).
enum TTreeIcon : int { kIconRoot = 0, kIconFolder = 1, kIconFile = 2 };

class TForm1 : public QWidget {
    Q_OBJECT

public:
    explicit TForm1(TShellSeams seams, QWidget* parent = nullptr);
    ~TForm1() override;

    // The window's start-up: the banner with its host object and timer,
    // the languages, the root's name, drops, the drive list with the first
    // writer chosen. The caller may set up the burner (Burner()) and the
    // fields below before.
    void FormCreate();

    // A click on Image1 (the program shows the about box).
    std::function<void()> OnImage1Click;
    // Runs once the window has closed (the program then ends).
    std::function<void()> OnClosed;
    // Ends the program as closing the window does: at once when nothing
    // runs; a running workflow is cancelled first (a write stops and closes
    // its session as after "cancel"; an erase, which no drive can stop, is
    // let finish) and the window closes when it has ended.
    void RequestQuit();

    // ---- the banner and the update check
    // The banner page on the maker's server; empty when there is none.
    QString BannerUrl;
    // A banner navigation has failed; from then on no update check runs.
    bool BannerFailed = false;
    // The update question has been asked in this run.
    bool UpdateAsked = false;
    // Built at start-up from the window's colours and font. The banner
    // pages are the maker's own design, so the host object does not hand it
    // to them.
    QString HostStyleSheet;
    // The folder where the offline banner's picture "Tessoradv.gif" is
    // written: the program's own.
    QString ProgramFolder;
    // The version the update check compares: the running program's.
    QString ProgramVersion;
    // The time limit of the banner's and the update check's requests.
    int HttpTimeoutMs = kHttpTimeoutMs;
    TWBContainer* BannerHost() const { return host_.get(); }
    QString OfflineBannerFile() const;

    // ---- what tests and tools reach
    component::TDiscBurner& Burner() { return *burner_; }
    // ScanDevices' UseASPI argument (0: the system's drives, with the ASPI
    // library only when none opens).
    uint8_t ScanUseAspi = 0;
    // True from the start of a workflow until it ends (early end, cancel,
    // or the completion of its erase or write).
    bool WorkflowRunning() const { return running_; }
    bool ShiftOverride() const { return shiftOverride_; }
    const std::string& RootName() const { return rootName_; }
    QStringList LogLines() const;
    // A source path as the tree keeps it (lossless, '/'-separated).
    static std::u16string SourceOf(const QTreeWidgetItem* item);
    // Adds the local paths (raw bytes as the system names them) as root
    // children, as a drop from the file manager does.
    void AddDroppedPaths(const std::vector<std::string>& paths);

    // ---- the window's controls, under their designer names
    TWebBrowser* WebBrowser;
    QTabWidget* PageControl;
    QWidget* MainTabSheet;
    QPushButton* BurnButton;
    QComboBox* ComboBox1;
    QPushButton* Button4;
    QPushButton* Button5;
    QPushButton* Button1;
    QPushButton* create_iso;
    QCheckBox* discsizeCheckBox;
    // Off by default: after a write, read everything back and compare.
    QCheckBox* verifyCheckBox;
    QCheckBox* dedupeCheckBox;  // identical files written once
    QComboBox* cbLanguage;
    QTreeWidget* TreeView1;
    QMenu* PopupMenu1;
    QAction* deleteAction;
    QAction* delallAction;
    QAction* renameAction;
    QPlainTextEdit* Memo1;
    QProgressBar* pb;
    QLabel* lblstatus;
    QLabel* lbLsize;
    QLabel* Label2;
    QProgressBar* scs;
    QLabel* Label3;
    QProgressBar* dbs;
    QPushButton* Button6;
    QLabel* Image1;
    QTimer* tmrErase;
    QTimer* tmrWriter;
    QTimer* advertising;

    // ---- handlers (public so that tools and tests can call them as the
    // widgets do)
    void BurnButtonClick();
    void create_isoClick();
    void Button1Click();
    void Button6Click();
    void Button4Click();
    void Button5Click();
    void ComboBox1Change();
    void cbLanguageChange();
    void TreeView1DblClick();
    void deleteClick();
    void delallClick();
    void renameClick();
    void tmrEraseTimer();
    void tmrWriterTimer();
    void advertisingTimer();
    void WebBrowserNavigateError();
    void WebBrowserDocumentComplete();
    void WebBrowserAnchorClicked(const QUrl& address);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    enum class TWorkflow { None, Burn, CreateImage, BurnImage };

    void BuildControls();
    void BuildTabPage();
    void ConnectControls();
    void FillDriveList();
    void FillLanguageList();
    void NavigateBanner();
    bool WriteOfflinePicture();
    void SortRootChildren();
    void TreeView1Edited(QTreeWidgetItem* item);
    QTreeWidgetItem* Root() const;

    // Burner events.
    void BurnerAddFile(const char16_t* path, platform::TFindData& fd, bool& skip);
    void BurnerEraseDone(bool eraseFailed);
    void BurnerWriteDone(bool writeFailed);
    void BurnerVerifyDone(bool verifyFailed);
    void EndWriteJob(bool failed, bool disc);

    // Workflow steps; each returns false when the workflow has ended.
    void StartWorkflow(TWorkflow kind);
    void EngineReset();
    void SelectDrive();
    bool DriveReady();
    bool EraseFirst();
    bool ImportStep();
    bool AddSources();
    bool CompilationWorthWriting(size_t sources);
    void LayoutStep(bool imageOnly);
    void FindIdenticalFiles();
    void LogSourceNotes();
    bool DiscSizeCheck(uint64_t neededSectors);
    bool CancelBeforeWrite();
    void StartWrite(const std::function<bool()>& write);
    void EarlyEnd();
    void CancelEnd();
    void BackToIdle();
    void QuitNow();
    bool CheckImageFile(const std::string& file, uint64_t& sectors);
    bool ReserveDrive();

    void Log(const QString& line);
    void LogConstant(const char* name);
    // The constant's text followed by the engine's error and its detail.
    void LogError(const char* constant);
    void SetWorkflowButtons(bool enabled);
    void ProcessMessages();
    void EchoPath(const char16_t* path);

    TShellSeams seams_;
    std::unique_ptr<component::TDiscBurner> burner_;
    std::unique_ptr<TQtLangWindow> langWindow_;
    std::unique_ptr<lang::TLanguageController> lcMain_;
    std::unique_ptr<TWBContainer> host_;

    std::string rootName_;
    bool shiftOverride_ = false;
    bool cancelRequested_ = false;
    uint8_t eraseFinished_ = 0;
    bool eraseFailed_ = false;
    bool running_ = false;
    bool writing_ = false;
    bool driveChangePending_ = false;
    bool editingRoot_ = false;
    TWorkflow workflow_ = TWorkflow::None;
    bool reserved_ = false;
    int writeDoneCount_ = 0;
    int userSkips_ = 0;
    int sourcesAdded_ = 0;    // sources of this run that joined the compilation
    int sourcesLeftOut_ = 0;  // sources and entries of this run left out
    size_t notesLogged_ = 0;  // the engine's source notes already in the log
    bool quitWhenIdle_ = false;
    // When the status line last echoed a path (steady clock, ms); -1: not yet.
    int64_t lastEcho_ = -1;
};

}  // namespace tessor::shell
