// The RTF reader, judged by the QTextDocument it fills: the blocks' text and
// alignment and the formats of the text runs.
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>

#include "shell/rtf/RtfReader.h"

using tessor::shell::ReadRtf;

namespace {

QStringList Blocks(const QTextDocument& doc) {
    QStringList out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        out << b.text();
    return out;
}

// The format of the first run of text that contains `text`.
QTextCharFormat FormatOf(const QTextDocument& doc, const QString& text) {
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            if (it.fragment().text().contains(text))
                return it.fragment().charFormat();
    return {};
}

QTextBlock BlockWith(const QTextDocument& doc, const QString& text) {
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        if (b.text().contains(text))
            return b;
    return {};
}

}  // namespace

class RtfReaderTest : public QObject {
    Q_OBJECT

private slots:
    void text_data();
    void text();
    void formats();
    void paragraphFormats();
    void notRtf();
    void damagedInput();
};

void RtfReaderTest::text_data() {
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QStringList>("blocks");
    QTest::newRow("paragraphs, line, tab")
        << QByteArray("{\\rtf1\\ansi First\\par Second\\line third\\tab x\\par\r\nlast}")
        << QStringList{"First", QString("Second") + QChar::LineSeparator + "third\tx", "last"};
    QTest::newRow("code page 1252 and \\uN")
        << QByteArray(
               "{\\rtf1\\ansi\\ansicpg1252 Gr\\'fc\\'dfe \\'80 \\'93q\\'94"
               "\\par Rom\\u226?n\\u259?\\uc2\\u351**t\\uc0\\u539 \\u-223 }")
        << QStringList{QString::fromUtf8("Grüße € “q”"), QString::fromUtf8("Românăştț\uff21")};
    QTest::newRow("escapes and symbols")
        << QByteArray("{\\rtf1 a\\\\b\\{c\\}d\\~e\\emdash f\\lquote g\\rquote}")
        << QStringList{QString::fromUtf8("a\\b{c}d\u00a0e\u2014f\u2018g\u2019")};
    QTest::newRow("skipped destinations and unknown words")
        << QByteArray(
               "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Tahoma;}}"
               "{\\colortbl;\\red0\\green0\\blue128;}{\\stylesheet{\\s0 Normal;}}"
               "{\\info{\\title Secret}{\\author Someone}}{\\*\\generator Writer 1.0;}"
               "{\\*\\unknowndest {nested text} more}"
               "\\viewkind4\\uc1\\pard\\f0\\lang1033 Shown \\foo12 \\bar-3 text"
               "{\\pict\\pngblip 89504e470d0a}{\\field{\\*\\fldinst HYPERLINK x}"
               "{\\fldrslt  link}}\\par}")
        << QStringList{"Shown text link", ""};
    QTest::newRow("binary data is skipped")
        << QByteArray("{\\rtf1 a{\\*\\blob\\bin4 }}{}}b\\bin2 XYc}") << QStringList{"abc"};
    QTest::newRow("text after the document's end")
        << QByteArray("{\\rtf1 inside}outside") << QStringList{"inside"};
}

void RtfReaderTest::text() {
    QFETCH(QByteArray, rtf);
    QFETCH(QStringList, blocks);
    QTextDocument doc;
    QVERIFY(ReadRtf(rtf, doc));
    QCOMPARE(Blocks(doc), blocks);
}

void RtfReaderTest::formats() {
    QTextDocument doc;
    QVERIFY(
        ReadRtf("{\\rtf1{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue128;}"
                "plain {\\b bold {\\i both}} after \\ul under\\ulnone  \\i slanted\\i0  "
                "\\fs32 big\\fs20  small \\cf1 red\\cf2  navy\\cf0  auto \\cf7 none"
                "\\b\\i\\plain  reset}",
                doc));
    struct {
        const char* text;
        bool bold, italic, underline;
    } runs[] = {
        {"plain", false, false, false}, {"bold", true, false, false},
        {"both", true, true, false},    {"after", false, false, false},
        {"under", false, false, true},  {"slanted", false, true, false},
        {"reset", false, false, false},
    };
    for (const auto& r : runs) {
        QTextCharFormat f = FormatOf(doc, r.text);
        QVERIFY2(f.isValid(), r.text);
        QCOMPARE(f.fontWeight() == QFont::Bold, r.bold);
        QCOMPARE(f.fontItalic(), r.italic);
        QCOMPARE(f.fontUnderline(), r.underline);
    }
    QCOMPARE(FormatOf(doc, "big").fontPointSize(), 16.0);
    QCOMPARE(FormatOf(doc, "small").fontPointSize(), 10.0);
    QCOMPARE(FormatOf(doc, "red").foreground().color(), QColor(255, 0, 0));
    QCOMPARE(FormatOf(doc, "navy").foreground().color(), QColor(0, 0, 128));
    QVERIFY(!FormatOf(doc, "auto").hasProperty(QTextFormat::ForegroundBrush));
    QVERIFY(!FormatOf(doc, "none").hasProperty(QTextFormat::ForegroundBrush));
    QVERIFY(!FormatOf(doc, "reset").hasProperty(QTextFormat::FontPointSize));
}

void RtfReaderTest::paragraphFormats() {
    QTextDocument doc;
    QVERIFY(
        ReadRtf("{\\rtf1\\pard\\qc Centred\\par\\pard Left\\par\\qr Right "
                "{\\qj group}\\par\\pard\\li300\\fi-150 Indented\\par}",
                doc));
    QCOMPARE(BlockWith(doc, "Centred").blockFormat().alignment(), Qt::AlignHCenter);
    QVERIFY(!(BlockWith(doc, "Left").blockFormat().alignment() & Qt::AlignHCenter));
    // The paragraph mark after the group sees the alignment from before it.
    QCOMPARE(BlockWith(doc, "Right").blockFormat().alignment(), Qt::AlignRight);
    QCOMPARE(BlockWith(doc, "Indented").blockFormat().leftMargin(), 20.0);
    QCOMPARE(BlockWith(doc, "Indented").blockFormat().textIndent(), -10.0);
}

void RtfReaderTest::notRtf() {
    QTextDocument doc;
    doc.setPlainText("old content");
    for (const char* bytes : {"", "plain text", "{\\rt", "{\\pict}", "\\rtf1"}) {
        QVERIFY2(!ReadRtf(bytes, doc), bytes);
        QVERIFY(doc.isEmpty());
    }
    QVERIFY(ReadRtf("\r\n  {\\rtf1 leading blanks}", doc));
    QCOMPARE(doc.toPlainText(), QString("leading blanks"));
}

void RtfReaderTest::damagedInput() {
    QTextDocument doc;
    // Unclosed groups, a cut-off escape and a cut-off control word.
    QVERIFY(ReadRtf("{\\rtf1 a{\\b b{\\i c\\'4", doc));
    QCOMPARE(doc.toPlainText(), QString("abc"));
    QVERIFY(ReadRtf("{\\rtf1 x\\u", doc));
    QCOMPARE(doc.toPlainText(), QString("x"));
    // Nesting far deeper than any real document, closed and unclosed.
    QByteArray deep =
        "{\\rtf1 " + QByteArray(100000, '{') + "\\b deep" + QByteArray(99999, '}') + " shallow}";
    QVERIFY(ReadRtf(deep, doc));
    QCOMPARE(doc.toPlainText(), QString("deep shallow"));
    QVERIFY(ReadRtf("{\\rtf1 " + QByteArray(100000, '{') + "open", doc));
    QCOMPARE(doc.toPlainText(), QString("open"));
    // Numbers far outside any range.
    QVERIFY(
        ReadRtf("{\\rtf1\\fs99999999999999999999 \\u99999999999999\\cf-99999999999 \\li-"
                "99999999999 n}",
                doc));
    QVERIFY(doc.toPlainText().endsWith("n"));
}

QTEST_MAIN(RtfReaderTest)
#include "RtfReaderTest.moc"
