// The workflows end to end, offscreen, against the real TDiscBurner and the
// virtual recorder: what the log says, what the drive received, and what a
// reader finds on the disc or in the image.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include "WindowFixture.h"
#include "engine/platform/Strings.h"
#include "shell/ShellText.h"
#include "tests/support/IsoCheck.h"

namespace tessor::shell::test {
namespace {

using Workflow = TWindowTest;

const char* const kWriteError = ">>> An error occurde while writing on disk/image:";

// Drive 0 erases for a second and records slowly, so that a workflow can be
// watched and cancelled in the middle.
class SlowDrive : public TWindowTest {
protected:
    std::vector<vdrive::TDriveConfig> Drives() override {
        vdrive::TDriveConfig d;
        d.blankMs = 1000000;  // x 0.001: one second
        d.recordKBps = 8;     // 64 KiB take 8 s of drive time, 8 ms here
        std::vector<vdrive::TDriveConfig> set = {vdrive::WithKindDefaults(d)};
        return set;
    }
};

// A folder "data" with a few files (one of them empty, one non-ASCII) and a
// file beside it, both in `root`.
std::vector<std::string> MakeSources(const std::string& root, uint64_t size = 70000) {
    testsupport::WritePatternFile(root + "/data/a.bin", size, 1);
    testsupport::WritePatternFile(root + "/data/sub/Größe ș.txt", 3000, 2);
    testsupport::WriteFile(root + "/data/sub/empty.txt", "");
    testsupport::WritePatternFile(root + "/top.txt", 2049, 3);
    return {root + "/data", root + "/top.txt"};
}

TEST_F(Workflow, BlankCdRIsWrittenWithoutEraseAndEjected) {
    Insert("cd-r");
    std::string src = work / "src";
    Drop(MakeSources(src));
    QTest::mouseClick(window->BurnButton, Qt::LeftButton);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Log(), Lines({"Prepearing data", "PREPARING", "Disk undeletable", "Writing data",
                            ">>> Writing successfull"}));
    EXPECT_TRUE(AllWorkflowButtons());
    EXPECT_FALSE(window->Button6->isEnabled());
    EXPECT_TRUE(TrayOpen());
    EXPECT_EQ(window->lbLsize->text(), QString());
    std::string disc = Export();
    EXPECT_EQ(testsupport::CheckIsoImage(disc).volumeId, "CD");
    ExpectImageHolds(disc, src);
}

// With the verify box checked the disc is read back after the write, the
// status shows VERIFYING, and the log gets one line for the result.
TEST_F(Workflow, VerifyAfterWritingLogsItsResult) {
    window->verifyCheckBox->setChecked(true);
    window->tmrWriter->setInterval(1);
    QStringList status;
    QObject::connect(window->tmrWriter, &QTimer::timeout,
                     [&] { status << window->lblstatus->text(); });
    struct {
        const char* fault;
        const char* last;
    } cases[] = {
        // The drive becoming ready for a while keeps the verify long enough
        // to be seen.
        {"on 28 not-ready x200 01", ">>> Verification successful"},
        {"corrupt 16",
         ">>> Verification failed: Block 16 differs from what was written, in the "
         "file-system area"},
    };
    Drop(MakeSources(work / "src", 4 << 20));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        Insert("cd-r");
        std::string error;
        ASSERT_TRUE(host->InjectFault(0, c.fault, error)) << error;
        window->Memo1->clear();
        window->BurnButtonClick();
        ASSERT_TRUE(WaitIdle());
        QStringList log = Log();
        ASSERT_GE(log.size(), 2);
        EXPECT_EQ(log[log.size() - 2], QStringLiteral(">>> Writing successfull"));
        EXPECT_EQ(log.back(), QLatin1String(c.last));
        EXPECT_TRUE(AllWorkflowButtons());
        ASSERT_TRUE(host->InjectFault(0, "clear", error));
    }
    EXPECT_TRUE(status.contains(QStringLiteral("VERIFYING")));
}

TEST_F(SlowDrive, RewritableDiscIsErasedWithTheBarSwingingThenWritten) {
    Insert("cd-rw");
    std::string src = work / "src";
    Drop(MakeSources(src));
    window->tmrErase->setInterval(5);
    std::vector<int> bar;
    QStringList status;
    QObject::connect(window->tmrErase, &QTimer::timeout, [&] {
        bar.push_back(window->pb->value());
        status << window->lblstatus->text();
    });
    window->BurnButtonClick();
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Log(),
              Lines({"Prepearing data", "PREPARING", "Start deletion of disk",
                     ">>> Deletion successfull", "Writing data", ">>> Writing successfull"}));
    ASSERT_GT(bar.size(), 60u) << "the erase should take about a second";
    bool turned = false;
    for (size_t i = 1; i < bar.size(); ++i) {
        EXPECT_EQ(std::abs(bar[i] - bar[i - 1]), 2) << "step " << i;
        EXPECT_GE(bar[i], 0);
        EXPECT_LE(bar[i], 100);
        turned |= bar[i] < bar[i - 1];
    }
    EXPECT_TRUE(turned) << "the bar swings back from 100";
    EXPECT_TRUE(status.contains(QStringLiteral("ERASING")));
    ExpectImageHolds(Export(), src);
}

TEST_F(SlowDrive, CancelDuringTheWriteAbortsItAndKeepsTheDisc) {
    Insert("cd-r");
    Drop(MakeSources(work / "src", 4 << 20));
    window->BurnButtonClick();
    ASSERT_TRUE(window->WorkflowRunning());
    ASSERT_EQ(Log().last(), QStringLiteral("Writing data"));
    QTest::mouseClick(window->Button6, Qt::LeftButton);
    EXPECT_EQ(window->lblstatus->text(), QStringLiteral("ABORTING"));
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Log().last(), QString::fromLatin1(kWriteError) + QStringLiteral(" Aborted by user"));
    EXPECT_TRUE(AllWorkflowButtons());
    EXPECT_FALSE(TrayOpen()) << "a failed write does not eject";
}

// While the drive records, the buffer bar shows what its buffer holds; at
// the end no bar keeps a fill.
TEST_F(SlowDrive, BarsShowTheWriteAndEmptyAtItsEnd) {
    Insert("cd-r");
    Drop(MakeSources(work / "src", 4 << 20));
    window->tmrWriter->setInterval(5);
    int deviceBuffer = 0;
    QObject::connect(window->tmrWriter, &QTimer::timeout,
                     [&] { deviceBuffer = std::max(deviceBuffer, window->dbs->value()); });
    window->BurnButtonClick();
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Log().last(), QStringLiteral(">>> Writing successfull"));
    EXPECT_GT(deviceBuffer, window->dbs->maximum() / 2) << "the drive's buffer was full";
    for (QProgressBar* bar : {window->pb, window->scs, window->dbs})
        EXPECT_EQ(bar->value(), 0) << bar->objectName().toStdString();
    EXPECT_EQ(window->lbLsize->text(), QString());
}

// The engine cannot stop an erase: a cancel lets it finish, then nothing is
// written.
TEST_F(SlowDrive, CancelDuringTheEraseLetsItFinishAndWritesNothing) {
    Insert("cd-rw");
    Drop(MakeSources(work / "src"));
    QTimer::singleShot(200, window->Button6, [this] { window->Button6->click(); });
    window->BurnButtonClick();
    EXPECT_FALSE(window->WorkflowRunning());
    EXPECT_TRUE(AllWorkflowButtons());
    EXPECT_EQ(WriteCommands(), 0u);
    std::string error;
    vdrive::TDiscState s;
    ASSERT_TRUE(host->GetDiscState(0, s, error)) << error;
    EXPECT_TRUE(s.tracks.size() <= 1) << "the erase finished";
}

// A drive that refuses to erase, or loses the disc halfway through the
// write: the engine's reason in the log, the buttons back, nothing ejected,
// and nothing written on a disc whose erase failed.
TEST_F(Workflow, DriveFailuresEndWithTheirReason) {
    struct {
        const char* media;
        const char* fault;
        const char* lastLinePrefix;
        bool writes;
    } cases[] = {
        {"cd-rw", "refuse A1 05/24/00", ">>> An error occured while deleting the disk:", false},
        {"cd-r", "after-lba 64 removed", kWriteError, true},
    };
    Drop(MakeSources(work / "src", 1 << 20));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        Insert(c.media);
        std::string error;
        ASSERT_TRUE(host->InjectFault(0, c.fault, error)) << error;
        host->ClearJournal();
        window->BurnButtonClick();
        ASSERT_TRUE(WaitIdle());
        ASSERT_FALSE(Log().isEmpty());
        EXPECT_TRUE(Log().last().startsWith(QLatin1String(c.lastLinePrefix)))
            << Log().join('\n').toStdString();
        EXPECT_GT(Log().last().size(), int(std::strlen(c.lastLinePrefix))) << "the reason follows";
        EXPECT_EQ(WriteCommands() > 0, c.writes);
        EXPECT_TRUE(AllWorkflowButtons());
        EXPECT_FALSE(TrayOpen());
        ASSERT_TRUE(host->ClearFaults(0, error)) << error;
        ASSERT_TRUE(host->EjectMedia(0, error)) << error;
    }
}

TEST_F(Workflow, DriveNotReadyEndsAtOnceInTheCurrentLanguage) {
    window->BurnButtonClick();
    EXPECT_EQ(Log(), Lines({"Device not ready or no disk inserted"}));
    EXPECT_TRUE(AllWorkflowButtons());
    EXPECT_FALSE(window->WorkflowRunning());
    window->cbLanguage->setCurrentIndex(1);
    window->cbLanguageChange();
    window->BurnButtonClick();
    EXPECT_EQ(Log(), Lines({"Laufwerk nicht bereit oder keine Disk eingelegt"}));
}

// Disc-size check: a compilation of exactly the free space passes, one
// sector more is refused with the message, and with the box unchecked the
// write starts anyway. Images are laid out in blocks of 32 sectors, so the
// disc is a DVD+R, whose free space is a whole number of blocks; one sector
// more of data then needs one block more. The source is sparse, and a
// started write is cancelled at once, so no test writes 4.4 GB.
TEST_F(Workflow, DiscSizeCheck) {
    Insert("dvd+r");
    ASSERT_TRUE(window->Burner().SelectDevice(0));
    const uint64_t freeSectors = window->Burner().DiscFreeSectors();
    const uint64_t capacity = window->Burner().DiscCapacitySectors();
    ASSERT_EQ(freeSectors % 32, 0u);
    std::string big = work / "big.bin";
    int fd = open(big.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    close(fd);
    // The sectors of everything but the file's data, as the workflow lays it out.
    ASSERT_EQ(truncate(big.c_str(), 1000 * 2048), 0);
    component::TDiscBurner probe(false);
    probe.ClearFiles();
    probe.SetUDFBridge(true);
    probe.SetVolumeIDW(u"CD");
    probe.AddFile(u"\\", platform::FromSystem(big));
    const uint64_t overhead = static_cast<uint64_t>(probe.PrepareImage()) - 1000;
    Drop({big});

    struct {
        const char* name;
        uint64_t dataSectors;
        bool checked;
        int language;
        bool refused;
    } cases[] = {
        {"one sector too big", freeSectors - overhead + 1, true, 0, true},
        {"one sector too big, German", freeSectors - overhead + 1, true, 1, true},
        {"exactly the free space", freeSectors - overhead, true, 0, false},
        {"too big, check off", freeSectors - overhead + 1, false, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(truncate(big.c_str(), static_cast<off_t>(c.dataSectors * 2048)), 0);
        lang::SelectLanguageAt(lang::LangManager(), c.language);
        window->discsizeCheckBox->setChecked(c.checked);
        prompter.asked.clear();
        host->ClearJournal();
        window->BurnButtonClick();
        if (c.refused) {
            ASSERT_EQ(prompter.asked.size(), 1u);
            EXPECT_EQ(prompter.asked[0].caption, QStringLiteral("information"));
            QString en = QStringLiteral(
                "Inserted medium(%1MB / %2MB) too small. Please insert a "
                "disk with %3MB!");
            QString de = QStringLiteral(
                "Das eingelegte Medium(%1MB / %2MB) ist zu klein. Bitte "
                "legen Sie ein Medium mit %3MB ein!");
            EXPECT_EQ(prompter.asked[0].text, (c.language ? de : en)
                                                  .arg(Megabytes(freeSectors), Megabytes(capacity),
                                                       Megabytes(freeSectors + 32)));
            EXPECT_FALSE(window->WorkflowRunning());
            EXPECT_EQ(WriteCommands(), 0u);
        } else {
            EXPECT_TRUE(prompter.asked.empty());
            ASSERT_TRUE(window->WorkflowRunning());
            EXPECT_TRUE(Log().contains(QStringLiteral("Writing data")));
            window->Button6Click();
            ASSERT_TRUE(WaitIdle());
        }
        EXPECT_TRUE(AllWorkflowButtons());
    }
}

// The cancel comes while a long-name question is open, so it is seen at the
// next source.
TEST_F(Workflow, CancelWhileAddingSourcesClearsTheLogAndWritesNothing) {
    Insert("cd-r");
    std::string longName = work / ("src/" + std::string(110, 'q') + ".txt");
    testsupport::WriteFile(longName, "q");
    testsupport::WriteFile(work / "src/other.txt", "o");
    Drop({longName, work / "src/other.txt"});
    prompter.answers = {true};
    prompter.onAsk = [this] { QTest::mouseClick(window->Button6, Qt::LeftButton); };
    window->BurnButtonClick();
    EXPECT_EQ(prompter.asked.size(), 1u);
    EXPECT_EQ(Log(), QStringList());
    EXPECT_TRUE(AllWorkflowButtons());
    EXPECT_FALSE(window->WorkflowRunning());
    EXPECT_EQ(WriteCommands(), 0u);
}

TEST_F(Workflow, CreateImageWritesWhatTheReadersSee) {
    std::string src = work / "src";
    Drop(MakeSources(src));
    // The dialog cancelled: nothing happens, the buttons come back.
    window->create_isoClick();
    EXPECT_EQ(files.shown, 1);
    EXPECT_TRUE(AllWorkflowButtons());
    EXPECT_EQ(Log(), QStringList());

    std::string image = work / "out.iso";
    files.save = QString::fromStdString(image);
    window->create_isoClick();
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Log(),
              Lines({"Prepearing data", "PREPARING", "Writing data", ">>> Writing successfull"}));
    testsupport::TToolResult info = testsupport::IsoinfoDescriptor(image);
    if (info.exitCode != 127) {
        EXPECT_EQ(info.exitCode, 0) << info.output;
        EXPECT_NE(info.output.find("Volume id: CD"), std::string::npos) << info.output;
    }
    ExpectImageHolds(image, src);

    // A target that cannot be created says so.
    files.save = QString::fromStdString(work / "no/such/folder/x.iso");
    window->create_isoClick();
    ASSERT_TRUE(WaitIdle());
    ASSERT_FALSE(Log().isEmpty());
    EXPECT_TRUE(Log().last().startsWith(QLatin1String(kWriteError)))
        << Log().join('\n').toStdString();
    EXPECT_TRUE(AllWorkflowButtons());
}

// With the option, identical files are written once and the log says what
// that saved; the readers still see every file.
TEST_F(Workflow, IdenticalFilesOnceLogsTheSaving) {
    const std::string top = work / "top", src = top + "/copies";
    for (const char* name : {"a.bin", "b.bin", "sub/c.bin"})
        ASSERT_TRUE(testsupport::WritePatternFile(src + "/" + name, 300000, 4));
    Drop({src});
    window->dedupeCheckBox->setChecked(true);
    files.save = QString::fromStdString(work / "once.iso");
    window->create_isoClick();
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Log(), Lines({"Prepearing data", "PREPARING", "2 identical files, 0.6 MB saved",
                            "Writing data", ">>> Writing successfull"}));
    ExpectImageHolds(work / "once.iso", top);
}

TEST_F(Workflow, BurnImageWritesTheFileAndRefusesBrokenOnes) {
    std::string src = work / "src";
    Drop(MakeSources(src));
    std::string image = work / "in.iso";
    files.save = QString::fromStdString(image);
    window->create_isoClick();
    ASSERT_TRUE(WaitIdle());

    Insert("cd-r");
    testsupport::WriteFile(work / "empty.iso", "");
    testsupport::WriteFile(work / "odd.iso", std::string(1000, 'x'));
    struct {
        std::string file;
        const char* reason;
    } broken[] = {{work / "missing.iso", "No such file or directory"},
                  {work / "empty.iso", "the image file is empty"},
                  {work / "odd.iso", "not a whole number of 2048-byte sectors (1000 bytes)"}};
    for (const auto& b : broken) {
        files.open = QString::fromStdString(b.file);
        window->Button1Click();
        ASSERT_EQ(Log().size(), 1) << b.file;
        EXPECT_TRUE(Log()[0].startsWith(QLatin1String(kWriteError)));
        EXPECT_TRUE(Log()[0].contains(QLatin1String(b.reason))) << Log()[0].toStdString();
        EXPECT_TRUE(AllWorkflowButtons());
    }
    EXPECT_EQ(WriteCommands(), 0u);

    files.open = std::nullopt;
    window->Button1Click();
    EXPECT_EQ(Log(), QStringList());
    EXPECT_TRUE(AllWorkflowButtons());

    files.open = QString::fromStdString(image);
    window->Button1Click();
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Log(), Lines({"Disk undeletable", "Writing data", ">>> Writing successfull"}));
    EXPECT_TRUE(TrayOpen());
    ExpectImageHolds(Export(), src);
}

// 108 characters before the extension bring the question; Yes gives the
// first 100 and the extension, No leaves the file out; 107 in all pass.
TEST_F(Workflow, LongNamesAreAskedAbout) {
    std::string dir = work / "src/names";
    std::string yes = std::string(108, 'y') + ".txt";
    std::string no = std::string(108, 'n') + ".dat";
    std::string fits = std::string(103, 'f') + ".txt";
    for (const std::string& name : {yes, no, fits})
        testsupport::WriteFile(dir + "/" + name, name);
    Drop({dir});
    prompter.answers = {false, true};  // the folder is listed in byte order: n..., y...
    files.save = QString::fromStdString(work / "names.iso");
    window->create_isoClick();
    ASSERT_TRUE(WaitIdle());
    ASSERT_EQ(prompter.asked.size(), 2u);
    EXPECT_EQ(prompter.asked[1].caption, QStringLiteral("Question"));
    EXPECT_EQ(prompter.asked[1].text, LongNameQuestion(platform::FromSystem(dir + "/" + yes)));

    std::string expected = work / "expected/names";
    testsupport::WriteFile(expected + "/" + std::string(100, 'y') + ".txt", yes);
    testsupport::WriteFile(expected + "/" + fits, fits);
    ExpectImageHolds(work / "names.iso", work / "expected");
}

// A disc holding a session that is no ISO 9660 volume: the reason is
// logged and the user is asked; "no" writes nothing, "yes" writes the new
// session alone.
TEST_F(Workflow, UnreadableEarlierSessionIsAskedAbout) {
    std::string junk = work / "junk.img";
    testsupport::WritePatternFile(junk, 2048 * 64, 4);
    std::string error;
    const std::string reason =
        "the earlier session cannot be read: sector 16 holds no ISO 9660 volume descriptor";
    Drop(MakeSources(work / "src"));
    for (bool alone : {false, true}) {
        ASSERT_TRUE(host->InsertMedia(0, *vdrive::MediaKindFromName("cd-r"), junk, error)) << error;
        prompter.answers = {alone};
        prompter.asked.clear();
        QTest::mouseClick(window->BurnButton, Qt::LeftButton);
        ASSERT_TRUE(WaitIdle());
        ASSERT_EQ(prompter.asked.size(), 1u);
        EXPECT_TRUE(prompter.asked[0].text.startsWith(QString::fromStdString(reason)));
        EXPECT_TRUE(Log().contains(QString::fromStdString(reason))) << alone;
        EXPECT_EQ(Log().contains(QStringLiteral(">>> Writing successfull")), alone);
    }
}

TEST_F(Workflow, RenamedRootLabelsTheNextImage) {
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    window->renameClick();
    auto* editor = window->TreeView1->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("BACKUP"));
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();
    testsupport::WriteFile(work / "x.txt", "x");
    Drop({work / "x.txt"});
    files.save = QString::fromStdString(work / "label.iso");
    window->create_isoClick();
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(testsupport::CheckIsoImage(work / "label.iso").volumeId, "BACKUP");
}

// What the engine leaves out, and a source gone since the drop, each get a
// line before the write starts.
TEST_F(Workflow, LeftOutSourcesAreLogged) {
    testsupport::WriteFile(work / "a/same.txt", "1");
    testsupport::WriteFile(work / "b/same.txt", "2");
    testsupport::WriteFile(work / "gone.txt", "3");
    testsupport::WriteFile(work / "odd/caf\xE9.txt", "4");
    Drop({work / "a/same.txt", work / "b/same.txt", work / "gone.txt", work / "odd"});
    ASSERT_EQ(unlink((work / "gone.txt").c_str()), 0);
    files.save = QString::fromStdString(work / "notes.iso");
    prompter.answers = {true};
    window->create_isoClick();
    ASSERT_TRUE(WaitIdle());
    ASSERT_EQ(prompter.asked.size(), 1u);
    EXPECT_TRUE(prompter.asked[0].text.startsWith(QStringLiteral("2 of the sources")))
        << prompter.asked[0].text.toStdString();
    QStringList log = Log();
    int writing = log.indexOf(QStringLiteral("Writing data"));
    ASSERT_GE(writing, 0) << log.join('\n').toStdString();
    QStringList before = log.mid(0, writing);
    auto has = [&](const QString& start) {
        for (const QString& l : before)
            if (l.startsWith(start))
                return true;
        return false;
    };
    EXPECT_TRUE(has(QStringLiteral("Left out: ") + QString::fromStdString(work / "b/same.txt")))
        << log.join('\n').toStdString();
    EXPECT_TRUE(has(QStringLiteral("Left out: ") + QString::fromStdString(work / "gone.txt") +
                    QStringLiteral(" (No such file or directory)")))
        << log.join('\n').toStdString();
    EXPECT_TRUE(has(QStringLiteral("On the disc as caf\uFFFD.txt: ") +
                    QString::fromStdString(work / "odd/caf\xEF\xBF\xBD.txt")))
        << log.join('\n').toStdString();
}

// Nothing on a rewritable disc is erased for a compilation that writes
// nothing, or that lost sources the user does not want to do without.
TEST_F(Workflow, NoEraseForNothing) {
    struct {
        const char* what;
        int drop;     // 0: nothing dropped; 1: one source; 2: two sources
        int remove;   // how many of them are gone before "burn"
        bool answer;  // to the question about the sources left out
        bool asked;
        const char* line;
        bool writes;
    } cases[] = {
        {"empty compilation", 0, 0, false, false, "Nothing to write: the compilation is empty.",
         false},
        {"every source gone", 2, 2, true, false,
         "Nothing to write: none of the sources can be read.", false},
        {"one gone, user says no", 2, 1, false, true, nullptr, false},
        {"one gone, user says yes", 2, 1, true, true, ">>> Writing successfull", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Insert("cd-rw");
        window->delallClick();
        prompter.asked.clear();
        prompter.answers = {c.answer};
        std::vector<std::string> sources = MakeSources(work / c.what);
        sources.resize(c.drop);
        Drop(sources);
        for (int i = 0; i < c.remove; ++i)
            ASSERT_EQ(std::system(("rm -r '" + sources[i] + "'").c_str()), 0);
        host->ClearJournal();
        window->BurnButtonClick();
        ASSERT_TRUE(WaitIdle());
        EXPECT_EQ(prompter.asked.size(), c.asked ? 1u : 0u);
        if (c.line) {
            EXPECT_EQ(Log().last(), QLatin1String(c.line)) << Log().join('\n').toStdString();
        }
        size_t changes = 0;
        for (const auto& e : host->Journal())
            changes += e.Opcode() == 0xA1 || e.Opcode() == 0x04 || e.Opcode() == 0x2A;
        EXPECT_EQ(changes > 0, c.writes) << Log().join('\n').toStdString();
        EXPECT_TRUE(AllWorkflowButtons());
    }
}

}  // namespace
}  // namespace tessor::shell::test
