// The about box, and the program's start that wires it to Image1.
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>

#include "WindowFixture.h"
#include "shell/AboutUnit.h"
#include "shell/Program.h"

namespace tessor::shell::test {
namespace {

// The paragraphs of a document, and the texts of its bold runs.
QStringList Paragraphs(const QTextDocument& doc) {
    QStringList out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        if (!b.text().trimmed().isEmpty())
            out << b.text();
    return out;
}

QStringList BoldRuns(const QTextDocument& doc) {
    QStringList out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().fontWeight() >= QFont::Bold)
                out << it.fragment().text();
    return out;
}

TEST(About, ShowsTheRunningProgramsVersionOnInfoEveryTime) {
    TScriptedUrls urls;
    TAboutForm about(&urls);
    EXPECT_EQ(about.windowTitle(), QStringLiteral("AboutForm"));
    EXPECT_EQ(about.size(), QSize(536, 326));
    EXPECT_EQ(about.minimumSize(), about.maximumSize());
    EXPECT_EQ(about.PageControl1->tabText(0), QStringLiteral("Info"));
    EXPECT_EQ(about.PageControl1->tabText(1), QStringLiteral("Lizenzen"));
    EXPECT_EQ(about.Label3->text(), QStringLiteral("1.0.0.0"));

    for (int round = 0; round < 2; ++round) {
        about.show();
        EXPECT_EQ(about.PageControl1->currentWidget(), about.TabSheet1) << round;
        EXPECT_EQ(about.Label3->text(), QStringLiteral(TESSOR_PROJECT_VERSION));
        about.PageControl1->setCurrentWidget(about.TabSheet2);
        about.JvXPButton1->click();
        EXPECT_FALSE(about.isVisible());
        EXPECT_EQ(about.result(), QDialog::Rejected);
    }
    about.ProgramFile = TESSOR_SOURCE_DIR "/LICENSE";
    about.show();
    EXPECT_EQ(about.Label3->text(), QStringLiteral("No version specification"));
}

TEST(About, RendersTheLicenceDocument) {
    TAboutForm about(nullptr);
    const QTextDocument& licence = *about.RichEdit1->document();
    QStringList paragraphs = Paragraphs(licence);
    ASSERT_GE(paragraphs.size(), 4);
    EXPECT_EQ(paragraphs[0], QStringLiteral("MIT License"));
    EXPECT_TRUE(paragraphs[1].startsWith(QStringLiteral("Copyright (c) 2026")));
    EXPECT_FALSE(licence.toPlainText().contains(QLatin1Char('\\')));
    EXPECT_TRUE(BoldRuns(licence).join("").contains(QStringLiteral("THE SOFTWARE IS PROVIDED")));
    EXPECT_FALSE(BoldRuns(licence).join("").contains(QStringLiteral("Permission is hereby")));
    EXPECT_EQ(about.RichEdit2->toPlainText().split('\n').size(), 3);
    about.show();
    about.PageControl1->setCurrentWidget(about.TabSheet2);
    QApplication::processEvents();
    EXPECT_EQ(about.RichEdit1->verticalScrollBar()->value(), 0) << "the licence starts scrolled";
    about.hide();

    // Letters outside ASCII, from the code page and from Unicode escapes.
    ASSERT_TRUE(about.LoadLicenceText(
        "{\\rtf1\\ansi\\ansicpg1252\\uc1 {\\b Gr\\'fc\\'dfe}\\par Rom\\u226?n\\u259?\\par}"));
    EXPECT_EQ(Paragraphs(licence),
              QStringList({QString::fromUtf8("Grüße"), QString::fromUtf8("Română")}));
    EXPECT_EQ(BoldRuns(licence), QStringList{QString::fromUtf8("Grüße")});
    EXPECT_FALSE(about.LoadLicenceText("not RTF"));
}

TEST(About, TheLinkOpensTheProductPageWhenThereIsAServer) {
    TScriptedUrls urls;
    TAboutForm about(&urls);
    qputenv("TESSOR_SERVER", "127.0.0.1:1");
    about.show();
    EXPECT_TRUE(about.Label10->isVisible());
    QTest::mouseClick(about.Label10, Qt::LeftButton);
    qputenv("TESSOR_SERVER", "");
    about.hide();
    about.show();
    EXPECT_FALSE(about.Label10->isVisible());
    about.Label10Click();
    ASSERT_EQ(urls.opened.size(), 1u);
    EXPECT_EQ(urls.opened[0].toString(), QStringLiteral("http://127.0.0.1:1/tessor.php"));
}

// The program's start: the window, then the about box, which Image1 shows
// modally.
TEST(Program, Image1ShowsTheAboutBoxModally) {
    testsupport::TTempDir state("tessor-vdrive");
    qputenv("TESSOR_VDRIVE_DIR", QByteArray::fromStdString(state.Path()));
    TScriptedPrompter prompter;
    TScriptedUrls urls;
    TScriptedFiles files;
    TProgram program({&prompter, &files, &urls});
    program.Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&program.Window()));
    EXPECT_FALSE(program.About().isVisible());

    bool modal = false;
    QTimer::singleShot(100, [&] {
        modal = QApplication::activeModalWidget() == &program.About();
        program.About().JvXPButton1->click();
    });
    QTest::mouseClick(program.Window().Image1, Qt::LeftButton);
    EXPECT_TRUE(modal);
    EXPECT_FALSE(program.About().isVisible());
    qunsetenv("TESSOR_VDRIVE_DIR");
}

}  // namespace
}  // namespace tessor::shell::test
