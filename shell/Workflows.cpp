// The workflows behind "burn", "create_iso" and "burn iso", the cancel
// button, the two progress timers and the completions of erase and write.
//
// A workflow is one call of its button handler. It keeps the window
// responsive while it waits (messages are processed, so completions,
// timers, the cancel button and the add-file echo run inside it) and
// returns once the write has started or the workflow has ended. Every way
// out ends in BackToIdle, so the buttons always come back.
#include <sys/stat.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <optional>
#include <thread>

#include "engine/platform/Strings.h"
#include "shell/MainWindow.h"
#include "shell/ShellText.h"

namespace tessor::shell {

namespace {

// The step of the erase animation; it keeps its value from one erase to
// the next.
int EraseStep = 2;

constexpr int64_t kEchoIntervalMs = 25;

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A progress bar over a byte count that may not fit an int.
void ShowBytes(QProgressBar* bar, uint64_t maximum, uint64_t position) {
    int shift = 0;
    while ((maximum >> shift) > static_cast<uint64_t>(INT_MAX))
        shift += 10;
    bar->setMaximum(static_cast<int>(maximum >> shift));
    bar->setValue(static_cast<int>(std::min(position, maximum) >> shift));
}

QString FromSystemText(const std::string& text) {
    return Shown(platform::FromSystemPath(text));
}

}  // namespace

// ---- small steps

void TForm1::Log(const QString& line) {
    Memo1->appendPlainText(line);
}

void TForm1::LogConstant(const char* name) {
    Log(Lang(name));
}

void TForm1::LogError(const char* constant) {
    component::TDiscBurner::TErrorReport error = burner_->TakeError();
    QString line = constant ? Lang(constant) : QString();
    // "...:" and the reason are two texts; they read as one with a blank.
    if (line.endsWith(QLatin1Char(':')))
        line += QLatin1Char(' ');
    line += QString::fromStdString(error.Text);
    if (!error.Detail.empty())
        line += QStringLiteral(" (") + QString::fromStdString(error.Detail) + QLatin1Char(')');
    Log(line);
}

void TForm1::SetWorkflowButtons(bool enabled) {
    for (QPushButton* b : {BurnButton, Button4, Button1, create_iso, Button5})
        b->setEnabled(enabled);
}

void TForm1::ProcessMessages() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TForm1::StartWorkflow(TWorkflow kind) {
    SetWorkflowButtons(false);
    Button6->setEnabled(true);
    Memo1->clear();
    cancelRequested_ = false;
    running_ = true;
    workflow_ = kind;
    eraseFailed_ = false;
    lastEcho_ = -1;
    // An error left from an earlier run (a cancel that met no write leaves
    // "Aborted by user") must not be reported for this one.
    burner_->TakeError();
}

void TForm1::EngineReset() {
    eraseFinished_ = 0;
    burner_->ScanDevices(ScanUseAspi, "", "");
    burner_->ClearFiles();
    burner_->SetUDFBridge(true);
}

// With no entry chosen the index is 255: the selection fails and the drive
// is then not ready.
void TForm1::SelectDrive() {
    int index = ComboBox1->currentIndex();
    burner_->SelectDevice(index < 0 || index > 254 ? 255 : static_cast<uint8_t>(index));
}

bool TForm1::DriveReady() {
    if (!burner_->DeviceReady([this] { ProcessMessages(); })) {
        LogConstant("DEVICE_NOT_READY");
        EarlyEnd();
        return false;
    }
    return ReserveDrive();
}

// The drive is held from here to the end of the write, so that no other
// program comes between the erase and the write.
bool TForm1::ReserveDrive() {
    if (!burner_->ReserveDevice()) {
        LogError(nullptr);
        EarlyEnd();
        return false;
    }
    reserved_ = true;
    return true;
}

bool TForm1::EraseFirst() {
    // A workflow cancelled while the drive was asked erases nothing; the
    // checks that follow end it.
    if (cancelRequested_)
        return true;
    if (burner_->DiscErasable()) {
        LogConstant("START_DELETE");
        pb->setMaximum(100);
        tmrErase->start();
        // A refused start has posted its failed completion already.
        burner_->EraseDisc(true);
    } else {
        LogConstant("UNDELETABLE");
        eraseFinished_ = 1;
    }
    // The engine cannot stop an erase: a cancel is looked at once it is over.
    while (eraseFinished_ != 1 && !eraseFailed_)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    eraseFinished_ = 0;
    if (eraseFailed_) {
        // Nothing is written on a disc whose erase failed.
        EarlyEnd();
        return false;
    }
    return true;
}

bool TForm1::AddSources() {
    burner_->SetVolumeIDW(VolumeLabelOf(Root()->text(0)));
    sourcesAdded_ = 0;
    sourcesLeftOut_ = 0;
    notesLogged_ = 0;
    // The tree stays usable while the sources are added: work from a copy.
    std::vector<std::u16string> sources;
    for (int i = 0; i < Root()->childCount(); ++i)
        sources.push_back(SourceOf(Root()->child(i)));
    if (!sources.empty())
        LogConstant("PREPEAR_DATA");
    for (const std::u16string& source : sources) {
        ProcessMessages();
        if (cancelRequested_) {
            CancelEnd();
            return false;
        }
        const size_t notes = burner_->SourceNotes().size();
        const int skips = userSkips_;
        std::string path = platform::ToSystemPath(source);
        struct stat st;
        int error = 0;
        bool folder = false;
        if (stat(path.c_str(), &st) == 0)
            folder = S_ISDIR(st.st_mode);
        else
            error = errno;
        bool added;
        if (folder) {
            std::u16string name = DiscFolderName(source);
            if (name.empty()) {
                Log(QStringLiteral("Left out: %1 (the root of the file system cannot be a folder "
                                   "on the disc; add the folders it holds)")
                        .arg(Shown(source)));
                ++sourcesLeftOut_;
                continue;
            }
            added =
                burner_->CreateDir(u"\\", name) != nullptr &&
                burner_->AddFolder(u"\\" + name + u"\\", source, u"*.*", true, false) != nullptr;
        } else {
            added = burner_->AddFile(u"\\", source) != nullptr;
        }
        // The engine notes most sources it leaves out; one it refuses
        // without a note must not vanish silently either.
        if (!added && burner_->SourceNotes().size() == notes && userSkips_ == skips) {
            Log(QStringLiteral("Left out: %1 (%2)")
                    .arg(Shown(source), error != 0 ? QString::fromLocal8Bit(std::strerror(error))
                                                   : QStringLiteral("it cannot be added")));
            ++sourcesLeftOut_;
        }
        if (added)
            ++sourcesAdded_;
    }
    return true;
}

// Before any disc is touched: an empty compilation, or one whose every
// source is gone, writes nothing (an erased disc with an empty volume is
// no success); one that lost some sources is written only when the user
// says so.
bool TForm1::CompilationWorthWriting(size_t sources) {
    if (sources == 0) {
        LogConstant("NOTHING_TO_WRITE");
        EarlyEnd();
        return false;
    }
    LogSourceNotes();
    for (const builder::TSourceNote& note : burner_->SourceNotes())
        sourcesLeftOut_ += note.LeftOut ? 1 : 0;
    if (sourcesAdded_ == 0) {
        LogConstant("ALL_LEFT_OUT");
        EarlyEnd();
        return false;
    }
    if (sourcesLeftOut_ > 0) {
        const bool go = seams_.Prompter &&
                        seams_.Prompter->AskYesNo(this, Lang("QUESTION"),
                                                  Lang("LEFT_OUT_QUESTION").arg(sourcesLeftOut_));
        if (!go || cancelRequested_) {
            if (cancelRequested_)
                CancelEnd();
            else
                EarlyEnd();
            return false;
        }
    }
    return true;
}

// The disc's last session is carried into the new one, so that its files
// stay in view (a disc erased just before holds none). A session that cannot
// be read is said, and the user chooses between writing the new session
// alone and ending the workflow before anything is written.
bool TForm1::ImportStep() {
    if (cancelRequested_)
        return true;
    const int32_t carried = burner_->ImportSession();
    // Said only for a disc that holds a session; a blank one has nothing to
    // import.
    if (carried != 0)
        LogConstant("S_IMPORTING_SESSION");
    if (carried < 0) {
        const QString reason = QString::fromStdString(burner_->ImportError());
        Log(reason);
        const bool alone =
            seams_.Prompter &&
            seams_.Prompter->AskYesNo(
                this, Lang("QUESTION"),
                reason + QStringLiteral("\n\nWrite the new session alone? The earlier "
                                        "files stay on the disc, but readers no longer "
                                        "see them."));
        if (!alone) {
            EarlyEnd();
            return false;
        }
        Log(QStringLiteral("The new session is written alone"));
        return true;
    }
    if (carried > 0)
        Log(QStringLiteral("%1 entries carried forward from the earlier session").arg(carried));
    if (burner_->ImportTurnedOffUdf()) {
        Log(
            QStringLiteral("The earlier session keeps data where a UDF bridge cannot reach them: "
                           "this session is written without one"));
    }
    return true;
}

void TForm1::LayoutStep(bool imageOnly) {
    if (!imageOnly) {
        LogConstant("S_PREPARING");
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    if (!cancelRequested_ && dedupeCheckBox->isChecked())
        FindIdenticalFiles();
    if (!cancelRequested_)
        burner_->PrepareImage();
    if (!imageOnly)
        QApplication::restoreOverrideCursor();
    lblstatus->clear();
}

// Files with identical contents are written once; the log says how many
// and what it saves. Cancel stops the search (and the workflow).
void TForm1::FindIdenticalFiles() {
    bool done = false;
    bool failed = false;
    int64_t saved = 0;
    burner_->OnGenerateSmartReferencesDone = [&](void*, bool searchFailed, int64_t bytes) {
        done = true;
        failed = searchFailed;
        saved = bytes;
    };
    if (burner_->GenerateSmartReferences()) {
        while (!done) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
            lblstatus->setText(StatusText(burner_->Status()));
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    burner_->OnGenerateSmartReferencesDone = nullptr;
    if (done && !failed) {
        Log(QStringLiteral("%1 %2 %3 %4")
                .arg(burner_->SmartReferenceFiles())
                .arg(Lang("IDENTICAL_FILES"))
                .arg(saved / 1e6, 0, 'f', 1)
                .arg(Lang("MB_SAVED")));
    }
}

// Every source the compilation leaves out or renames is said before the
// write starts.
void TForm1::LogSourceNotes() {
    const auto& notes = burner_->SourceNotes();
    for (size_t i = notesLogged_; i < notes.size(); ++i) {
        const builder::TSourceNote& note = notes[i];
        if (note.LeftOut) {
            Log(QStringLiteral("Left out: %1 (%2)")
                    .arg(Shown(note.Source), QString::fromStdString(note.Reason)));
        } else {
            Log(QStringLiteral("On the disc as %1: %2 (%3)")
                    .arg(Shown(note.Name), Shown(note.Source),
                         QString::fromStdString(note.Reason)));
        }
    }
    notesLogged_ = notes.size();
}

// Asked before the erase: a disc that will be erased first has its whole
// capacity free, and one too small for the compilation is not erased for
// nothing.
bool TForm1::DiscSizeCheck(uint64_t neededSectors) {
    if (!discsizeCheckBox->isChecked())
        return true;
    uint64_t capacity = burner_->DiscCapacitySectors();
    uint64_t freeSectors = burner_->DiscErasable() ? capacity : burner_->DiscFreeSectors();
    if (freeSectors * 2048 < neededSectors * 2048) {
        if (seams_.Prompter) {
            seams_.Prompter->Inform(this, QStringLiteral("information"),
                                    DiscTooSmallText(freeSectors, capacity, neededSectors));
        }
        EarlyEnd();
        return false;
    }
    return true;
}

bool TForm1::CancelBeforeWrite() {
    if (!cancelRequested_)
        return false;
    CancelEnd();
    return true;
}

void TForm1::StartWrite(const std::function<bool()>& write) {
    const int completions = writeDoneCount_;
    writing_ = true;
    if (write()) {
        LogConstant("WRITE_DATA");
        Button6->setEnabled(true);
        tmrWriter->start();
        return;
    }
    writing_ = false;
    // A write that ended before its thread started has posted its failed
    // completion; an image file that could not be opened or created posts
    // none, and is said here instead of ending in silence.
    burner_->Messages()->DispatchPending();
    if (writeDoneCount_ == completions) {
        LogError("WRITEERROR");
        EarlyEnd();
    }
}

void TForm1::EarlyEnd() {
    SetWorkflowButtons(true);
    BackToIdle();
}

void TForm1::CancelEnd() {
    LogConstant("S_ABORTING");
    SetWorkflowButtons(true);
    Memo1->clear();
    BackToIdle();
}

// With nothing running there is nothing to cancel: the cancel button goes
// off with every end of a workflow.
void TForm1::BackToIdle() {
    tmrErase->stop();
    tmrWriter->stop();
    running_ = false;
    writing_ = false;
    workflow_ = TWorkflow::None;
    Button6->setEnabled(false);
    // Nothing is being written any more: no bar may show a fill it had.
    pb->setValue(0);
    scs->setValue(0);
    dbs->setValue(0);
    lbLsize->clear();
    if (reserved_) {
        burner_->ReleaseDevice();
        reserved_ = false;
    }
    if (driveChangePending_)
        ComboBox1Change();
    if (quitWhenIdle_)
        QTimer::singleShot(0, this, [this] { QuitNow(); });
}

// An image file is written as it is, sector by sector: one that is
// missing, empty or not made of whole 2048-byte sectors is refused before
// the disc is touched.
bool TForm1::CheckImageFile(const std::string& file, uint64_t& sectors) {
    QString problem;
    struct stat st;
    QFile probe(QFile::decodeName(QByteArray::fromStdString(file)));
    if (stat(file.c_str(), &st) != 0) {
        problem = QString::fromLocal8Bit(std::strerror(errno));
    } else if (!S_ISREG(st.st_mode)) {
        problem = QStringLiteral("not a file");
    } else if (!probe.open(QIODevice::ReadOnly)) {
        problem = probe.errorString();
    } else if (st.st_size == 0) {
        problem = QStringLiteral("the image file is empty");
    } else if (st.st_size % 2048 != 0) {
        problem = QStringLiteral(
                      "the image file is not a whole number of 2048-byte sectors "
                      "(%1 bytes)")
                      .arg(static_cast<qint64>(st.st_size));
    }
    if (!problem.isEmpty()) {
        Log(Lang("WRITEERROR") + FromSystemText(file) + QStringLiteral(": ") + problem);
        return false;
    }
    sectors = static_cast<uint64_t>(st.st_size) / 2048;
    return true;
}

// ---- the workflows

void TForm1::BurnButtonClick() {
    StartWorkflow(TWorkflow::Burn);
    EngineReset();
    SelectDrive();
    // The compilation is built and measured before the disc is erased: an
    // erase is only worth it for something that will be written. A disc
    // that is not erased carries its earlier session forward.
    if (!DriveReady() || !AddSources() || !CompilationWorthWriting(Root()->childCount()) ||
        (!burner_->DiscErasable() && !ImportStep()))
        return;
    LayoutStep(false);
    LogSourceNotes();
    if (!DiscSizeCheck(static_cast<uint32_t>(burner_->ImageSectors())) || CancelBeforeWrite() ||
        !EraseFirst() || CancelBeforeWrite())
        return;
    StartWrite([this] { return burner_->WriteDisc(); });
}

void TForm1::create_isoClick() {
    StartWorkflow(TWorkflow::CreateImage);
    std::optional<QString> file = seams_.Files ? seams_.Files->SaveIsoFile(this) : std::nullopt;
    if (!file || file->isEmpty()) {
        EarlyEnd();
        return;
    }
    EngineReset();
    if (!AddSources() || !CompilationWorthWriting(Root()->childCount()))
        return;
    LayoutStep(false);
    LogSourceNotes();
    if (CancelBeforeWrite())
        return;
    std::u16string target = platform::FromSystemPath(QFile::encodeName(*file).toStdString());
    StartWrite([this, &target] { return burner_->CreateImageFile(target); });
}

void TForm1::Button1Click() {
    StartWorkflow(TWorkflow::BurnImage);
    std::optional<QString> file = seams_.Files ? seams_.Files->OpenIsoFile(this) : std::nullopt;
    if (!file || file->isEmpty()) {
        EarlyEnd();
        return;
    }
    const std::string image = QFile::encodeName(*file).toStdString();
    uint64_t imageSectors = 0;
    if (!CheckImageFile(image, imageSectors)) {
        EarlyEnd();
        return;
    }
    EngineReset();
    SelectDrive();
    uint16_t fastest = burner_->MaxWriteSpeed();
    burner_->SetSpeeds(0, static_cast<uint16_t>(fastest - fastest / 10));
    if (!DriveReady())
        return;
    LayoutStep(true);
    // What must fit is the image itself, not the empty compilation; it is
    // asked before the erase, as for a burn.
    if (!DiscSizeCheck(imageSectors) || !EraseFirst())
        return;
    if (cancelRequested_) {
        EarlyEnd();
        return;
    }
    StartWrite([this, &image] { return burner_->WriteImageToDisc(image); });
}

void TForm1::Button6Click() {
    cancelRequested_ = true;
    burner_->Abort();
    lblstatus->setText(StatusText(burner_->Status()));
}

// ---- progress

void TForm1::tmrEraseTimer() {
    pb->setValue(pb->value() + EraseStep);
    if (pb->value() == 100)
        EraseStep = -2;
    else if (pb->value() == 0)
        EraseStep = 2;
    lblstatus->setText(StatusText(burner_->Status()));
}

void TForm1::tmrWriterTimer() {
    const uint64_t total = static_cast<uint32_t>(burner_->ImageSectors());
    const uint64_t written = static_cast<uint32_t>(burner_->WrittenSectors());
    pb->setMaximum(static_cast<int>(std::max<uint64_t>(total, 1)));
    pb->setValue(static_cast<int>(std::min(written, total)));
    lbLsize->setText(WriteProgressText(written, total));
    ShowBytes(scs, uint64_t{burner_->CacheSize()} * 1048576,
              static_cast<uint32_t>(burner_->CacheFill()));
    ShowBytes(dbs, burner_->DeviceBufferSize(),
              static_cast<uint32_t>(std::max(burner_->DeviceBufferUsed(), 0)));
    lblstatus->setText(StatusText(burner_->Status()));
}

// ---- burner events

void TForm1::EchoPath(const char16_t* path) {
    // Each path is shown and the window kept responsive; repainting for
    // every one of a hundred thousand files would cost more than adding
    // them, so the line changes at most every 25 ms.
    int64_t now = NowMs();
    if (lastEcho_ >= 0 && now - lastEcho_ < kEchoIntervalMs)
        return;
    lastEcho_ = now;
    lblstatus->setText(path ? Shown(path) : QString());
    ProcessMessages();
}

void TForm1::BurnerAddFile(const char16_t* path, platform::TFindData& fd, bool& skip) {
    if (cancelRequested_)
        return;
    EchoPath(path);
    if (path == nullptr)
        return;
    std::u16string_view source(path);
    if (CharCount(FileNamePart(source)) <= kLongNameLimit)
        return;
    bool rename = seams_.Prompter &&
                  seams_.Prompter->AskYesNo(this, Lang("QUESTION"), LongNameQuestion(source));
    if (!rename) {
        skip = true;
        ++userSkips_;
        return;
    }
    std::u16string name = ShortenedLongName(source);
    name = std::u16string(FirstChars(name, 259));
    while (name.size() > 259)
        name = std::u16string(FirstChars(name, CharCount(name) - 1));
    std::fill(std::begin(fd.cFileName), std::end(fd.cFileName), u'\0');
    std::copy(name.begin(), name.end(), fd.cFileName);
    skip = false;
}

void TForm1::BurnerEraseDone(bool eraseFailed) {
    tmrErase->stop();
    pb->setValue(0);
    if (eraseFailed) {
        LogError("DELERROR");
        eraseFailed_ = true;
    } else {
        LogConstant("OKDELETE");
        eraseFinished_ = 1;
        lblstatus->clear();
    }
}

void TForm1::BurnerWriteDone(bool writeFailed) {
    ++writeDoneCount_;
    const bool disc = workflow_ == TWorkflow::Burn || workflow_ == TWorkflow::BurnImage;
    if (writeFailed) {
        tmrWriter->stop();
        pb->setValue(0);
        LogError("WRITEERROR");
    } else {
        LogConstant("OKWRITE");
        if (verifyCheckBox->isChecked()) {
            // The progress timer goes on showing VERIFYING; the verify's
            // one completion (raised even when it cannot start) ends the job.
            if (disc)
                burner_->VerifyDisc();
            else
                burner_->VerifyImageFile();
            return;
        }
        tmrWriter->stop();
        pb->setValue(0);
    }
    EndWriteJob(writeFailed, disc);
}

void TForm1::BurnerVerifyDone(bool verifyFailed) {
    tmrWriter->stop();
    pb->setValue(0);
    if (verifyFailed) {
        // The engine's text names the block and its file after the lead.
        auto error = burner_->TakeError();
        QString line = Lang("VERIFYERROR") + QLatin1Char(' ') + QString::fromStdString(error.Text);
        if (!error.Detail.empty())
            line += QStringLiteral(" (") + QString::fromStdString(error.Detail) + QLatin1Char(')');
        Log(line);
    } else {
        LogConstant("OKVERIFY");
    }
    EndWriteJob(verifyFailed, workflow_ == TWorkflow::Burn || workflow_ == TWorkflow::BurnImage);
}

void TForm1::EndWriteJob(bool failed, bool disc) {
    if (!failed) {
        Button6->setEnabled(false);
        lblstatus->clear();
        lbLsize->clear();
    }
    SetWorkflowButtons(true);
    if (reserved_) {
        burner_->ReleaseDevice();
        reserved_ = false;
    }
    // A written disc comes out; an image file leaves the tray alone.
    if (!failed && disc)
        burner_->EjectTray(true);
    BackToIdle();
}

}  // namespace tessor::shell
