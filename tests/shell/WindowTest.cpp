// The window before any workflow: its controls, drops, the tree and its
// menu, the drive list, Shift, the information box, the language list.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>

#include "WindowFixture.h"
#include "engine/platform/Strings.h"

namespace tessor::shell::test {
namespace {

using Window = TWindowTest;

QStringList ChildTexts(const TForm1& w) {
    QStringList out;
    QTreeWidgetItem* root = w.TreeView1->topLevelItem(0);
    for (int i = 0; i < root->childCount(); ++i)
        out << root->child(i)->text(0);
    return out;
}

TEST_F(Window, ControlsSitAtTheirPlacesUnderTheirNames) {
    EXPECT_EQ(window->size(), QSize(623, 722));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("DO-Rodedir"));
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
    struct {
        const char* name;
        QRect place;
        const char* caption;
    } controls[] = {
        {"WebBrowser", {0, 0, 623, 68}, nullptr},
        {"PageControl", {0, 68, 623, 654}, nullptr},
        {"BurnButton", {12, 6, 75, 25}, "burn"},
        {"Button4", {406, 6, 65, 25}, "eject"},
        {"Button5", {406, 37, 65, 25}, "load"},
        {"Button1", {473, 6, 65, 25}, "burn iso"},
        {"create_iso", {539, 6, 65, 25}, "create_iso"},
        {"discsizeCheckBox", {10, 41, 97, 17}, "proof discsize"},
        {"verifyCheckBox", {112, 41, 144, 17}, "verify written data"},
        {"dedupeCheckBox", {473, 41, 140, 17}, "identical files once"},
        {"TreeView1", {12, 79, 589, 209}, nullptr},
        {"Memo1", {12, 303, 589, 171}, nullptr},
        {"pb", {12, 477, 589, 17}, nullptr},
        {"scs", {170, 537, 317, 17}, nullptr},
        {"dbs", {170, 559, 317, 17}, nullptr},
        {"Button6", {270, 587, 75, 25}, "cancel"},
        {"Image1", {2, 591, 32, 32}, nullptr},
        {"Label2", {}, "used cache"},
        {"Label3", {}, "device buffer"},
    };
    for (const auto& c : controls) {
        auto* w = window->findChild<QWidget*>(QLatin1String(c.name));
        ASSERT_NE(w, nullptr) << c.name;
        if (!c.place.isNull()) {
            EXPECT_EQ(w->geometry(), c.place) << c.name;
        }
        if (c.caption) {
            QString text = qobject_cast<QAbstractButton*>(w)
                               ? qobject_cast<QAbstractButton*>(w)->text()
                               : qobject_cast<QLabel*>(w)->text();
            EXPECT_EQ(text, QLatin1String(c.caption)) << c.name;
        }
    }
    for (const char* name : {"delete", "delall", "rename"})
        EXPECT_NE(window->findChild<QAction*>(QLatin1String(name)), nullptr) << name;
    EXPECT_EQ(window->PageControl->tabText(0), QStringLiteral("Tessor"));
    EXPECT_EQ(window->ComboBox1->geometry().topLeft(), QPoint(88, 8));
    EXPECT_EQ(window->cbLanguage->geometry().topLeft(), QPoint(258, 39));
    EXPECT_TRUE(window->discsizeCheckBox->isChecked());
    EXPECT_FALSE(window->verifyCheckBox->isChecked());
    EXPECT_FALSE(window->Button6->isEnabled());
    EXPECT_EQ(window->font().pointSize(), 8);
}

TEST_F(Window, DriveListNamesEveryDriveAndChoosesTheFirstWriter) {
    EXPECT_EQ(window->ComboBox1->count(), 4);
    EXPECT_EQ(window->ComboBox1->currentIndex(), 0);
    EXPECT_TRUE(window->BurnButton->isEnabled());
    EXPECT_EQ(window->cbLanguage->count(), 3);
    EXPECT_EQ(window->cbLanguage->itemText(1), QStringLiteral("German (Germany)"));
}

// A drive that cannot write leaves "burn" off, unless Shift is held.
TEST_F(Window, ShiftOverrideEnablesBurnOnAReader) {
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    window->ComboBox1->setCurrentIndex(3);
    window->ComboBox1Change();
    EXPECT_FALSE(window->BurnButton->isEnabled());

    QTest::keyPress(window->TreeView1, Qt::Key_Shift, Qt::ShiftModifier);
    EXPECT_TRUE(window->ShiftOverride());
    window->ComboBox1Change();
    EXPECT_TRUE(window->BurnButton->isEnabled());
    QTest::keyRelease(window->TreeView1, Qt::Key_Shift, Qt::NoModifier);
    EXPECT_FALSE(window->ShiftOverride());
    QKeyEvent shiftCtrlA(QEvent::KeyPress, Qt::Key_A, Qt::ShiftModifier | Qt::ControlModifier);
    QApplication::sendEvent(window->TreeView1, &shiftCtrlA);
    EXPECT_FALSE(window->ShiftOverride());
    window->ComboBox1Change();
    EXPECT_FALSE(window->BurnButton->isEnabled());
}

TEST_F(Window, DropsPutFoldersFirstKeepDuplicatesAndSkipRemoteAddresses) {
    std::string folder = work / "Folder";
    testsupport::MakeDirs(folder);
    std::string a = work / "a.txt", b = work / "b.txt";
    testsupport::WriteFile(a, "a");
    testsupport::WriteFile(b, "b");
    DropUrls({QUrl::fromLocalFile(QString::fromStdString(a)),
              QUrl(QStringLiteral("https://example.invalid/remote.txt")),
              QUrl::fromLocalFile(QString::fromStdString(folder + "/")),
              QUrl::fromLocalFile(QString::fromStdString(b))});
    Drop({a});
    EXPECT_EQ(ChildTexts(*window),
              (QStringList{QString::fromStdString(folder), QString::fromStdString(a),
                           QString::fromStdString(b), QString::fromStdString(a)}));
    QTreeWidgetItem* root = window->TreeView1->topLevelItem(0);
    EXPECT_EQ(root->child(0)->data(0, Qt::UserRole).toInt(), kIconFolder);
    EXPECT_EQ(root->child(1)->data(0, Qt::UserRole).toInt(), kIconFile);
    EXPECT_TRUE(root->isExpanded());
}

// A name that is not valid UTF-8 is shown with U+FFFD and kept exactly
// for the engine.
TEST_F(Window, NonUtf8NamesAreShownReplacedAndKeptExactly) {
    std::string odd = work / "caf\xE9.txt";
    testsupport::WriteFile(odd, "x");
    // Qt hands a drop's addresses over as text, where such bytes are
    // already replaced; the window's own entry point takes the raw path.
    window->AddDroppedPaths({odd});
    QTreeWidgetItem* item = window->TreeView1->topLevelItem(0)->child(0);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->text(0), QString::fromStdString(work / "caf\xEF\xBF\xBD.txt"));
    EXPECT_EQ(platform::ToSystemPath(TForm1::SourceOf(item)), odd);
    EXPECT_EQ(item->data(0, Qt::UserRole).toInt(), kIconFile);
}

TEST_F(Window, DeleteSparesTheRootAndDeleteAllEmptiesIt) {
    std::string a = work / "a.txt";
    testsupport::WriteFile(a, "a");
    Drop({a, a, a});
    QTreeWidgetItem* root = window->TreeView1->topLevelItem(0);
    window->deleteClick();  // nothing selected
    EXPECT_EQ(root->childCount(), 3);
    window->TreeView1->setCurrentItem(root);
    window->deleteClick();
    EXPECT_EQ(window->TreeView1->topLevelItemCount(), 1);
    EXPECT_EQ(root->childCount(), 3);
    window->TreeView1->setCurrentItem(root->child(1));
    window->deleteClick();
    EXPECT_EQ(root->childCount(), 2);
    window->delallClick();
    EXPECT_EQ(root->childCount(), 0);
    EXPECT_EQ(root->text(0), QStringLiteral("CD"));
}

TEST_F(Window, RenameEditsTheRootOnly) {
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    EXPECT_EQ(window->RootName(), "CD");
    window->renameClick();
    auto* editor = window->TreeView1->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("BACKUP"));
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();  // the delegate commits in a queued call
    EXPECT_EQ(window->RootName(), "BACKUP");
    QTreeWidgetItem* root = window->TreeView1->topLevelItem(0);
    EXPECT_EQ(root->text(0), QStringLiteral("BACKUP"));
    EXPECT_FALSE(root->flags() & Qt::ItemIsEditable);
    window->TreeView1->setCurrentItem(root);
    window->deleteClick();
    EXPECT_EQ(window->TreeView1->topLevelItemCount(), 1);
}

// With only the root there is nothing to list, and no empty box comes up.
TEST_F(Window, DoubleClickListsTheSourcesLastParts) {
    window->TreeView1DblClick();
    EXPECT_TRUE(prompter.asked.empty());

    std::string folder = work / "Photos";
    testsupport::MakeDirs(folder);
    std::string file = work / "notes.txt";
    testsupport::WriteFile(file, "n");
    Drop({file, folder});
    window->TreeView1DblClick();
    ASSERT_EQ(prompter.asked.size(), 1u);
    EXPECT_EQ(prompter.asked[0].caption, QStringLiteral("information"));
    EXPECT_EQ(prompter.asked[0].text, QStringLiteral("Photos\rnotes.txt\r"));
    EXPECT_FALSE(prompter.asked[0].question);
}

// Every caption of the language files reaches its control, the English
// words included that the files keep ("Eject", "ERROR").
TEST_F(Window, EveryCaptionTakesItsLanguageFileText) {
    struct {
        int language;
        std::vector<const char*> texts;  // burn eject load burn-iso create cancel size cache buffer
    } cases[] = {
        {1,
         {"Brennen", "Eject", "Laden", "Brenne ISO", "Erst. ISO", "Abbrechen", "CDGröße prüfen",
          "Cache Nutzung", "Geräte Buffer"}},
        {2,
         {"arde", "evacua", "încărca", "arde iso", "a crea iso", "anula", "dovada disc dimensiune",
          "utilizat cache", "dispozitiv tampon"}},
    };
    for (const auto& c : cases) {
        window->cbLanguage->setCurrentIndex(c.language);
        window->cbLanguageChange();
        QString shown[] = {
            window->BurnButton->text(),       window->Button4->text(),    window->Button5->text(),
            window->Button1->text(),          window->create_iso->text(), window->Button6->text(),
            window->discsizeCheckBox->text(), window->Label2->text(),     window->Label3->text()};
        for (size_t i = 0; i < c.texts.size(); ++i)
            EXPECT_EQ(shown[i], QString::fromUtf8(c.texts[i])) << c.language << " " << i;
    }
}

// The verify box follows the language, and its text fits its place in each.
// The boxes added beside the old controls take the text of each language
// and show it whole in the room they have.
TEST_F(Window, AddedBoxesAreTranslatedAndFit) {
    for (QCheckBox* box : {window->verifyCheckBox, window->dedupeCheckBox}) {
        QStringList seen;
        for (int i = 0; i < window->cbLanguage->count(); ++i) {
            window->cbLanguage->setCurrentIndex(i);
            window->cbLanguageChange();
            seen << box->text();
            EXPECT_LE(box->sizeHint().width(), box->width()) << box->text().toStdString();
        }
        seen.removeDuplicates();
        EXPECT_EQ(seen.size(), window->cbLanguage->count()) << box->objectName().toStdString();
    }
    window->cbLanguage->setCurrentIndex(0);
    window->cbLanguageChange();
}

TEST_F(Window, LanguageSwitchRetranslatesCaptionsButNotTheTitle) {
    window->cbLanguage->setCurrentIndex(1);
    window->cbLanguageChange();
    EXPECT_NE(window->BurnButton->text(), QStringLiteral("burn"));
    EXPECT_NE(window->deleteAction->text(), QStringLiteral("delete"));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("DO-Rodedir"));
    window->cbLanguage->setCurrentIndex(0);
    window->cbLanguageChange();
    struct {
        QAbstractButton* button;
        const char* text;
    } back[] = {{window->BurnButton, "burn"},
                {window->Button4, "eject"},
                {window->Button5, "load"},
                {window->Button1, "burn iso"},
                {window->create_iso, "create_iso"},
                {window->Button6, "cancel"},
                {window->discsizeCheckBox, "proof discsize"}};
    for (const auto& b : back)
        EXPECT_EQ(b.button->text(), QLatin1String(b.text));
    EXPECT_EQ(window->Label2->text(), QStringLiteral("used cache"));
    EXPECT_EQ(window->renameAction->text(), QStringLiteral("rename"));
    EXPECT_EQ(window->PageControl->tabText(0), QStringLiteral("Tessor"));
}

TEST_F(Window, PictureClickReachesItsHook) {
    int clicks = 0;
    window->OnImage1Click = [&] { ++clicks; };
    QTest::mouseClick(window->Image1, Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
}

}  // namespace
}  // namespace tessor::shell::test
