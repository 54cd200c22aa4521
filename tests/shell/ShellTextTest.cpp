// The texts the window builds: last path parts, the long-name question and
// names, the megabyte figures and messages, the status texts.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QScreen>

#include "engine/platform/Strings.h"
#include "lang/ProgramLanguages.h"
#include "shell/Dialogs.h"
#include "shell/ShellText.h"

namespace tessor::shell::test {
namespace {

class ShellText : public ::testing::Test {
protected:
    void SetUp() override {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        lang::SelectLanguageAt(lang::LangManager(), 0);
    }
    void TearDown() override { lang::SelectLanguageAt(lang::LangManager(), 0); }
};

TEST_F(ShellText, LastPathPartAndDiscFolderName) {
    struct {
        const char16_t* path;
        const char16_t* last;
        const char16_t* folder;
    } cases[] = {
        {u"/home/ann/Photos", u"Photos", u"Photos"},
        {u"/home/ann/", u"ann/", u"ann"},  // a trailing '/' stays part of the last part
        {u"/ab", u"/ab", u"ab"},           // under 4 characters: the whole text
        {u"/", u"/", u""},                 // the root has no name of its own
        {u"relative", u"relative", u"relative"},
        {u"/x/Größe ș", u"Größe ș", u"Größe ș"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LastPathPart(c.path), c.last) << platform::ToSystem(c.path);
        EXPECT_EQ(DiscFolderName(c.path), c.folder) << platform::ToSystem(c.path);
    }
}

// Names are measured and cut in characters: a character outside the BMP
// counts once and is never split.
TEST_F(ShellText, LongNamesAreCountedAndCutInCharacters) {
    std::u16string clef = u"\U0001D11E";  // two UTF-16 units
    std::u16string base;
    for (int i = 0; i < 108; ++i)
        base += clef;
    std::u16string path = u"/data/" + base + u".txt";
    EXPECT_EQ(CharCount(FileNamePart(path)), 112u);
    std::u16string shortened = ShortenedLongName(path);
    EXPECT_EQ(CharCount(shortened), 104u);
    EXPECT_EQ(shortened.substr(shortened.size() - 4), u".txt");
    std::u16string proposed = ProposedLongName(path);
    EXPECT_EQ(proposed.substr(0, 6), u"/data/");
    EXPECT_EQ(CharCount(proposed), 6u + 60u + 4u);

    EXPECT_EQ(Extension(u"/a.b/name"), u"");
    EXPECT_EQ(Extension(u"/a/name.tar.gz"), u".gz");
    EXPECT_EQ(FolderPart(u"name"), u"");
}

TEST_F(ShellText, LongNameQuestionJoinsItsPartsWithTwoReturns) {
    std::u16string name(108, u'n');
    std::u16string path = u"/d/" + name + u".txt";
    QString expected =
        QStringLiteral("The filename is too long. Should I rename it?\r\r") + ToQ(path) +
        QStringLiteral("\r\rrename to\r\r/d/") + QString(60, QLatin1Char('n')) +
        QStringLiteral(".txt\r\rIf not the file will be excluded (not on disc or in image).");
    EXPECT_EQ(LongNameQuestion(path), expected);
}

// A 214-character name has no blank to wrap at: the question still fits
// the screen and shows every character of the name and of the proposal.
TEST_F(ShellText, LongNameQuestionStaysWithinTheScreen) {
    std::u16string path = u"/home/user/Photos/" + std::u16string(210, u'x') + u".jpg";
    const QString text = LongNameQuestion(path);
    QMessageBox box(QMessageBox::Question, QStringLiteral("Question"), Breakable(text),
                    QMessageBox::Yes | QMessageBox::No);
    box.show();
    const int screen = box.screen()->availableGeometry().width();
    EXPECT_LE(box.frameGeometry().width(), screen);
    auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    ASSERT_NE(label, nullptr);
    EXPECT_LE(label->width(), screen);
    QString shown = label->text();
    EXPECT_EQ(shown.remove(QChar(u'\u200B')), text);
    EXPECT_EQ(Breakable(QStringLiteral("a b")), QStringLiteral("a b"));
}

TEST_F(ShellText, FiguresFollowTheUserLocale) {
    EXPECT_EQ(Megabytes(359849), QStringLiteral("702.83"));
    EXPECT_EQ(Megabytes(12219392), QStringLiteral("23,866.00"));
    EXPECT_EQ(WriteProgressText(0, 358400), QStringLiteral("0.00/700.00 MB"));
    EXPECT_EQ(WriteProgressText(6400, 358400), QStringLiteral("12.50/700.00 MB (1.79)%"));
    EXPECT_EQ(DiscTooSmallText(100, 359849, 101),
              QStringLiteral("Inserted medium(0.20MB / 702.83MB) too small. Please insert a "
                             "disk with 0.20MB!"));
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(Megabytes(12219392), QStringLiteral("23.866,00"));
    EXPECT_EQ(WriteProgressText(6400, 358400), QStringLiteral("12,50/700,00 MB (1,79)%"));
}

TEST_F(ShellText, StatusTexts) {
    const char* english[] = {
        "IDLE",         "WRITING",     "ERASING",  "BACKGROUND FORMAT", "CLOSING TRACK",
        "CLOSING DISC", "PREPARING",   "ABORTING", "IMPORTING SESSION", "BURN ERROR: ABORTING",
        "VERIFYING",    "GEN. SM. REF"};
    for (uint16_t code = 0; code < 12; ++code)
        EXPECT_EQ(StatusText(code), QString::fromLatin1(english[code])) << code;
    EXPECT_EQ(StatusText(12), QStringLiteral("Unknown status"));
    EXPECT_EQ(StatusText(0xFFFF), QStringLiteral("Unknown status"));
}

TEST_F(ShellText, VolumeLabelKeepsToThirtyTwoUnits) {
    EXPECT_EQ(VolumeLabelOf(QStringLiteral("BACKUP")), u"BACKUP");
    QString longLabel = QString(31, QLatin1Char('a')) + QString::fromUtf16(u"\U0001D11E");
    EXPECT_EQ(VolumeLabelOf(longLabel).size(), 31u);  // no half surrogate pair at the end
}

}  // namespace
}  // namespace tessor::shell::test
