// The window's controls at their places, start-up, and what the user does
// before a workflow starts: drops, the tree and its menu, the drive list,
// the tray buttons, the Shift key, the language list.
#include "shell/MainWindow.h"

#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <optional>

#include "engine/platform/Strings.h"
#include "lang/LangError.h"
#include "lang/ProgramLanguages.h"
#include "shell/LangWindow.h"
#include "shell/MakerServer.h"
#include "shell/ShellText.h"
#include "shell/UContainer.h"
#include "shell/WebBrowser.h"
#include "shell/WindowLook.h"
#include "shell/assets/Assets.h"
#include "version/FileVersion.h"

namespace tessor::shell {

namespace {

constexpr int kSourceRole = Qt::UserRole + 1;

template <typename T>
T* Named(T* object, const char* name) {
    object->setObjectName(QLatin1String(name));
    return object;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, QRect place) {
    auto* b = Named(new QPushButton(QLatin1String(caption), parent), name);
    b->setGeometry(place);
    return b;
}

QProgressBar* MakeBar(QWidget* parent, const char* name, QRect place) {
    auto* bar = Named(new QProgressBar(parent), name);
    bar->setGeometry(place);
    bar->setTextVisible(false);
    bar->setRange(0, 100);
    bar->setValue(0);
    return bar;
}

QTimer* MakeTimer(QObject* parent, const char* name, int interval) {
    auto* t = Named(new QTimer(parent), name);
    t->setInterval(interval);
    return t;
}

// What the tree shows for a dropped path (icon 1 for a folder, else 2). A
// path whose attributes cannot be read is shown as a folder; the workflow
// later treats it by what it really is.
int IconOf(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return kIconFolder;
    return S_ISDIR(st.st_mode) ? kIconFolder : kIconFile;
}

// The local paths of a drop, as the raw bytes the system names them by.
// The file manager's list ("text/uri-list") is read as it came, so a name
// that is not valid UTF-8 keeps its bytes (QUrl would replace them). An
// address without a local path (another scheme, another host) is left out.
std::vector<std::string> LocalPathsOf(const QMimeData* mime) {
    std::vector<std::string> out;
    const QByteArray list = mime->data(QStringLiteral("text/uri-list"));
    for (QByteArray line : list.split('\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith('#') || !line.toLower().startsWith("file:"))
            continue;
        QByteArray rest = line.mid(5);
        if (rest.startsWith("//")) {
            rest = rest.mid(2);
            qsizetype slash = rest.indexOf('/');
            if (slash < 0)
                continue;
            QByteArray host = rest.left(slash).toLower();
            if (!host.isEmpty() && host != "localhost")
                continue;
            rest = rest.mid(slash);
        }
        QByteArray path = QByteArray::fromPercentEncoding(rest);
        if (path.startsWith('/'))
            out.push_back(path.toStdString());
    }
    return out;
}

}  // namespace

TForm1::TForm1(TShellSeams seams, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      seams_(seams),
      burner_(std::make_unique<component::TDiscBurner>(true)) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("DO-Rodedir"));
    setFixedSize(623, 722);
    setFont(WindowFont());
    setWindowIcon(ProgramIcon());
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);
    ProgramFolder = QCoreApplication::applicationDirPath();
    ProgramVersion = QString::fromStdString(version::FileVersionText(""));

    burner_->SetVolumeID("Quillbright");
    burner_->SetCacheSize(32);
    burner_->SetUDFBridge(false);
    burner_->OnAddFile = [this](void*, const char16_t* path, platform::TFindData& fd, bool& skip) {
        BurnerAddFile(path, fd, skip);
    };
    burner_->OnEraseDone = [this](void*, uint8_t, bool failed) { BurnerEraseDone(failed); };
    burner_->OnWriteDone = [this](void*, uint8_t, bool failed) { BurnerWriteDone(failed); };
    burner_->OnVerifyDone = [this](void*, uint8_t, int32_t, bool failed) {
        BurnerVerifyDone(failed);
    };
    // Worker threads post their completions; the event loop of this thread
    // dispatches them.
    burner_->Messages()->SetWakeCallback([this] {
        QMetaObject::invokeMethod(
            this, [this] { burner_->Messages()->DispatchPending(); }, Qt::QueuedConnection);
    });

    BuildControls();
    ConnectControls();

    langWindow_ = std::make_unique<TQtLangWindow>(this);
    langWindow_->AddPart("Burner").AddProperty(
        {"VolumeID", [this] { return platform::FromSystem(burner_->VolumeID()); },
         [this](const std::u16string& v) { burner_->SetVolumeID(platform::ToSystem(v)); }});
    for (const char* part : {"ImageList1", "OpenDialog", "Save_ISO_Dialog"})
        langWindow_->AddPart(part);
    langWindow_->AddPart("lcMain", true);
    lcMain_ = std::make_unique<lang::TLanguageController>(lang::LangManager(), *langWindow_, true);
    // The verify box is no part of the window's stored captions: its text
    // is a language constant, set again whenever the language changes.
    lcMain_->OnLanguageChanged = [this](lang::TLanguageController&) {
        verifyCheckBox->setText(Lang("VERIFYWRITTEN"));
    };
    lang::LoadMainWindowLangData(*lcMain_);
    lcMain_->Loaded();
    verifyCheckBox->setText(Lang("VERIFYWRITTEN"));
}

TForm1::~TForm1() {
    // A write still running is stopped and waited for before the window's
    // handlers go.
    if (writing_)
        burner_->Abort();
    burner_.reset();
    // The host object goes before the browser; the offline banner's picture
    // is removed whether or not this run wrote it.
    host_.reset();
    if (!ProgramFolder.isEmpty())
        QFile::remove(OfflineBannerFile());
}

void TForm1::BuildControls() {
    WebBrowser = Named(new TWebBrowser(this), "WebBrowser");
    WebBrowser->setGeometry(0, 0, 623, 68);

    PageControl = Named(new QTabWidget(this), "PageControl");
    PageControl->setGeometry(0, 68, 623, 654);
    MainTabSheet = Named(new QWidget(), "MainTabSheet");
    PageControl->addTab(MainTabSheet, QStringLiteral("Tessor"));
    BuildTabPage();

    tmrErase = MakeTimer(this, "tmrErase", 1000);
    tmrWriter = MakeTimer(this, "tmrWriter", 1000);
    advertising = MakeTimer(this, "advertising", 300000);
}

void TForm1::BuildTabPage() {
    QWidget* page = MainTabSheet;
    BurnButton = MakeButton(page, "BurnButton", "burn", {12, 6, 75, 25});
    BurnButton->setEnabled(false);
    ComboBox1 = Named(new QComboBox(page), "ComboBox1");
    ComboBox1->setGeometry(88, 8, 315, 21);
    Button4 = MakeButton(page, "Button4", "eject", {406, 6, 65, 25});
    Button5 = MakeButton(page, "Button5", "load", {406, 37, 65, 25});
    Button1 = MakeButton(page, "Button1", "burn iso", {473, 6, 65, 25});
    create_iso = MakeButton(page, "create_iso", "create_iso", {539, 6, 65, 25});
    discsizeCheckBox =
        Named(new QCheckBox(QStringLiteral("proof discsize"), page), "discsizeCheckBox");
    discsizeCheckBox->setGeometry(10, 41, 97, 17);
    discsizeCheckBox->setChecked(true);
    // In the free space between the size check and the language list.
    verifyCheckBox = Named(new QCheckBox(page), "verifyCheckBox");
    verifyCheckBox->setGeometry(112, 41, 144, 17);
    // In the free room right of "load", under "burn iso" and "create_iso":
    // no other control moves.
    dedupeCheckBox =
        Named(new QCheckBox(QStringLiteral("identical files once"), page), "dedupeCheckBox");
    dedupeCheckBox->setGeometry(473, 41, 140, 17);
    cbLanguage = Named(new QComboBox(page), "cbLanguage");
    cbLanguage->setGeometry(258, 39, 145, 21);

    TreeView1 = Named(new QTreeWidget(page), "TreeView1");
    TreeView1->setGeometry(12, 79, 589, 209);
    TreeView1->setHeaderHidden(true);
    TreeView1->setIndentation(19);
    TreeView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TreeView1->setContextMenuPolicy(Qt::CustomContextMenu);
    TreeView1->setIconSize(QSize(16, 16));
    auto* root = new QTreeWidgetItem(TreeView1, QStringList{QStringLiteral("CD")});
    root->setIcon(0, TreeIcon(kIconRoot));
    root->setData(0, Qt::UserRole, int(kIconRoot));
    root->setFlags(root->flags() & ~Qt::ItemIsEditable);

    PopupMenu1 = Named(new QMenu(TreeView1), "PopupMenu1");
    deleteAction = Named(PopupMenu1->addAction(QStringLiteral("delete")), "delete");
    delallAction = Named(PopupMenu1->addAction(QStringLiteral("delete all")), "delall");
    renameAction = Named(PopupMenu1->addAction(QStringLiteral("rename")), "rename");

    Memo1 = Named(new QPlainTextEdit(page), "Memo1");
    Memo1->setGeometry(12, 303, 589, 171);
    Memo1->setReadOnly(true);
    Memo1->setFocusPolicy(Qt::NoFocus);
    pb = MakeBar(page, "pb", {12, 477, 589, 17});
    lblstatus = Named(new QLabel(page), "lblstatus");
    lblstatus->setGeometry(12, 497, 589, 13);
    lbLsize = Named(new QLabel(page), "lbLsize");
    lbLsize->setGeometry(12, 515, 589, 13);
    Label2 = Named(new QLabel(QStringLiteral("used cache"), page), "Label2");
    Label2->setGeometry(60, 539, 104, 13);
    Label2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    scs = MakeBar(page, "scs", {170, 537, 317, 17});
    Label3 = Named(new QLabel(QStringLiteral("device buffer"), page), "Label3");
    Label3->setGeometry(60, 561, 104, 13);
    Label3->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    dbs = MakeBar(page, "dbs", {170, 559, 317, 17});
    Button6 = MakeButton(page, "Button6", "cancel", {270, 587, 75, 25});
    Button6->setEnabled(false);
    Image1 = Named(new QLabel(page), "Image1");
    Image1->setGeometry(2, 591, 32, 32);
    Image1->setPixmap(QIcon(QLatin1String(kAboutPicture)).pixmap(32, 32));
    Image1->setCursor(Qt::PointingHandCursor);
}

void TForm1::ConnectControls() {
    connect(BurnButton, &QPushButton::clicked, this, &TForm1::BurnButtonClick);
    connect(create_iso, &QPushButton::clicked, this, &TForm1::create_isoClick);
    connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    connect(Button6, &QPushButton::clicked, this, &TForm1::Button6Click);
    connect(Button4, &QPushButton::clicked, this, &TForm1::Button4Click);
    connect(Button5, &QPushButton::clicked, this, &TForm1::Button5Click);
    connect(ComboBox1, &QComboBox::activated, this, &TForm1::ComboBox1Change);
    connect(cbLanguage, &QComboBox::activated, this, &TForm1::cbLanguageChange);
    connect(TreeView1, &QTreeWidget::itemDoubleClicked, this, &TForm1::TreeView1DblClick);
    connect(TreeView1, &QTreeWidget::itemChanged, this, &TForm1::TreeView1Edited);
    connect(TreeView1, &QTreeWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        PopupMenu1->popup(TreeView1->viewport()->mapToGlobal(at));
    });
    connect(deleteAction, &QAction::triggered, this, &TForm1::deleteClick);
    connect(delallAction, &QAction::triggered, this, &TForm1::delallClick);
    connect(renameAction, &QAction::triggered, this, &TForm1::renameClick);
    connect(tmrErase, &QTimer::timeout, this, &TForm1::tmrEraseTimer);
    connect(tmrWriter, &QTimer::timeout, this, &TForm1::tmrWriterTimer);
    connect(advertising, &QTimer::timeout, this, &TForm1::advertisingTimer);
    connect(WebBrowser, &TWebBrowser::NavigateError, this, &TForm1::WebBrowserNavigateError);
    connect(WebBrowser, &TWebBrowser::DocumentComplete, this, &TForm1::WebBrowserDocumentComplete);
    connect(WebBrowser, &QTextBrowser::anchorClicked, this, &TForm1::WebBrowserAnchorClicked);
    Image1->installEventFilter(this);
    // Key preview: the window sees every key before the focused control.
    qApp->installEventFilter(this);
}

void TForm1::FormCreate() {
    // The style sheet a host could give the banner pages so that they look
    // like the window.
    QFont shown = font();
    int points = shown.pointSize() > 0 ? shown.pointSize() : QFontInfo(shown).pointSize();
    HostStyleSheet = HostStyleSheetText(
        palette().color(QPalette::Window), palette().color(QPalette::WindowText), shown.family(),
        points, palette().color(QPalette::Inactive, QPalette::Highlight));
    host_ = std::make_unique<TWBContainer>(*WebBrowser);
    host_->CustomContextMenu = true;
    host_->BorderVisible = false;
    host_->ScrollBarsVisible = false;
    host_->TextSelectable = false;
    // Qt draws every widget double-buffered; there is nothing to switch on.
    BannerFailed = false;
    UpdateAsked = false;
    BannerUrl = MakerAddress(kBannerPath);
    NavigateBanner();
    advertising->start();
    cancelRequested_ = false;
    FillLanguageList();
    rootName_ = Root()->text(0).toStdString();
    setAcceptDrops(true);
    FillDriveList();
}

void TForm1::FillLanguageList() {
    lang::TLanguageManager& manager = lang::LangManager();
    lang::RegisterProgramLanguages(manager);
    QSignalBlocker quiet(cbLanguage);
    cbLanguage->clear();
    for (int i = 0; i < manager.LanguageCount(); ++i)
        cbLanguage->addItem(ToQ(manager.LanguageNameAt(i)));
    cbLanguage->setCurrentIndex(0);
}

// The list is made once; every workflow scans the drives again and relies
// on the scan listing them in the same order.
void TForm1::FillDriveList() {
    burner_->ScanDevices(ScanUseAspi, "", "");
    QSignalBlocker quiet(ComboBox1);
    ComboBox1->clear();
    for (int i = 0; i < burner_->DeviceCount(); ++i)
        ComboBox1->addItem(QString::fromStdString(burner_->DeviceName(static_cast<uint8_t>(i))));
    ComboBox1->setCurrentIndex(-1);
    for (int i = 0; i < burner_->DeviceCount(); ++i) {
        burner_->SelectDevice(static_cast<uint8_t>(i));
        if (burner_->IsWriter()) {
            BurnButton->setEnabled(true);
            ComboBox1->setCurrentIndex(i);
            return;
        }
        BurnButton->setEnabled(false);
    }
}

QTreeWidgetItem* TForm1::Root() const {
    return TreeView1->topLevelItem(0);
}

std::u16string TForm1::SourceOf(const QTreeWidgetItem* item) {
    return FromQ(item->data(0, kSourceRole).toString());
}

QStringList TForm1::LogLines() const {
    QString text = Memo1->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

// ---- drops

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasFormat(QStringLiteral("text/uri-list")))
        event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
    event->acceptProposedAction();
    AddDroppedPaths(LocalPathsOf(event->mimeData()));
}

void TForm1::AddDroppedPaths(const std::vector<std::string>& paths) {
    QTreeWidgetItem* root = Root();
    for (std::string path : paths) {
        // A folder delivered with a trailing '/' is the same folder.
        while (path.size() > 1 && path.back() == '/')
            path.pop_back();
        std::u16string source = platform::FromSystemPath(path);
        int icon = IconOf(path);
        auto* item = new QTreeWidgetItem(root, QStringList{Shown(source)});
        item->setData(0, kSourceRole, ToQ(source));
        item->setData(0, Qt::UserRole, icon);
        item->setIcon(0, TreeIcon(icon));
        item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    }
    root->setExpanded(true);
    SortRootChildren();
}

// Folders before files; the order among equals is kept.
void TForm1::SortRootChildren() {
    QTreeWidgetItem* root = Root();
    QList<QTreeWidgetItem*> children = root->takeChildren();
    std::stable_sort(children.begin(), children.end(), [](auto* a, auto* b) {
        return a->data(0, Qt::UserRole).toInt() - b->data(0, Qt::UserRole).toInt() < 0;
    });
    root->addChildren(children);
}

// ---- the tree's commands

void TForm1::TreeView1DblClick() {
    QString text;
    QTreeWidgetItem* root = Root();
    for (int i = 0; i < root->childCount(); ++i)
        text += Shown(LastPathPart(SourceOf(root->child(i)))) + QLatin1Char('\r');
    // A box without a line in it says nothing: an empty tree shows none.
    if (seams_.Prompter && !text.isEmpty())
        seams_.Prompter->Inform(this, Lang("INFORMATION"), text);
}

// The root (the disc's label) cannot be deleted.
void TForm1::deleteClick() {
    QTreeWidgetItem* item = TreeView1->currentItem();
    if (item == nullptr || !item->isSelected() || item == Root())
        return;
    delete item;
}

void TForm1::delallClick() {
    qDeleteAll(Root()->takeChildren());
}

void TForm1::renameClick() {
    QTreeWidgetItem* root = Root();
    {
        QSignalBlocker quiet(TreeView1);
        root->setFlags(root->flags() | Qt::ItemIsEditable);
    }
    editingRoot_ = true;
    TreeView1->editItem(root, 0);
}

void TForm1::TreeView1Edited(QTreeWidgetItem* item) {
    if (!editingRoot_ || item != Root())
        return;
    editingRoot_ = false;
    rootName_ = item->text(0).toStdString();
    // Clearing the flag changes the item again; the tree must not report it.
    QSignalBlocker quiet(TreeView1);
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
}

// ---- drives, tray, language

void TForm1::ComboBox1Change() {
    // While a workflow runs the engine's drive is in use; the new choice is
    // taken when the workflow ends.
    if (running_) {
        driveChangePending_ = true;
        return;
    }
    driveChangePending_ = false;
    burner_->SelectDevice(static_cast<uint8_t>(ComboBox1->currentIndex()));
    BurnButton->setEnabled(burner_->IsWriter() || shiftOverride_);
}

void TForm1::Button4Click() {
    burner_->EjectTray(true);
}

void TForm1::Button5Click() {
    burner_->LoadTray(true);
}

void TForm1::cbLanguageChange() {
    try {
        lang::SelectLanguageAt(lang::LangManager(), cbLanguage->currentIndex());
        verifyCheckBox->setText(Lang("VERIFYWRITTEN"));
    } catch (const lang::ELangError& e) {
        // The language and every text stay as they were.
        Log(QString::fromUtf8(e.what()));
    }
}

// ---- keys, the picture, closing

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress: {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->modifiers() == Qt::ShiftModifier &&
                QGuiApplication::mouseButtons() == Qt::NoButton)
                shiftOverride_ = true;
            break;
        }
        case QEvent::KeyRelease:
            shiftOverride_ = false;
            break;
        case QEvent::MouseButtonRelease:
            if (watched == Image1 && OnImage1Click &&
                static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
                OnImage1Click();
                return true;
            }
            break;
        default:
            break;
    }
    return QWidget::eventFilter(watched, event);
}

// Closing while a workflow runs cancels it and waits for its end: the
// window stays, showing "ABORTING", until the write has stopped and closed
// its session, and then closes. The program never runs on unseen.
void TForm1::closeEvent(QCloseEvent* event) {
    if (running_) {
        RequestQuit();
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
    if (OnClosed)
        OnClosed();
}

void TForm1::RequestQuit() {
    if (!running_) {
        QuitNow();
        return;
    }
    quitWhenIdle_ = true;
    if (!cancelRequested_)
        Button6Click();
}

void TForm1::QuitNow() {
    quitWhenIdle_ = false;
    if (isVisible())
        close();
    else if (OnClosed)
        OnClosed();
}

}  // namespace tessor::shell
