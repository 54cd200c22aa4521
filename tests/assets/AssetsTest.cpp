// Tessor's own files as the window gets them from the resources: the licence
// says what LICENSE says, and every picture has the size its place needs.
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QRegularExpression>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

#include "shell/assets/Assets.h"

using namespace tessor::shell;

namespace {

// The paragraphs of a text, each with its white space collapsed.
QStringList Paragraphs(const QString& text) {
    QStringList out;
    for (const QString& p : text.split(QRegularExpression("\\n\\s*\\n"))) {
        QString simple = p.simplified();
        if (!simple.isEmpty())
            out << simple;
    }
    return out;
}

}  // namespace

class AssetsTest : public QObject {
    Q_OBJECT

private slots:
    void licenceCarriesTheLicenseText();
    void notices();
    void pictures_data();
    void pictures();
    void icons();
};

void AssetsTest::licenceCarriesTheLicenseText() {
    QFile license(TESSOR_SOURCE_DIR "/LICENSE");
    QVERIFY(license.open(QIODevice::ReadOnly));
    QStringList expected = Paragraphs(QString::fromUtf8(license.readAll()));
    QVERIFY(expected.size() >= 4);
    QVERIFY(expected.contains("Copyright (c) 2026 The Tessor developers"));

    QTextDocument doc;
    QVERIFY(LoadLicence(doc));
    QStringList shown;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        if (!b.text().simplified().isEmpty())
            shown << b.text().simplified();
    QCOMPARE(shown, expected);
}

void AssetsTest::notices() {
    QStringList lines = Notices().split('\n');
    QCOMPARE(lines.size(), 3);
    for (const QString& line : lines)
        QVERIFY2(line.contains("Source: http"), qPrintable(line));
    QVERIFY(Notices().contains("LGPL version 3"));
}

void AssetsTest::pictures_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QSize>("size");
    // The offline banner is drawn centred in the 623 x 68 banner area.
    QTest::newRow("offline banner")
        << QString(kOfflineBannerResource) << QByteArray("gif") << QSize(468, 60);
    QTest::newRow("logo") << QString(kLogoPicture) << QByteArray("png") << QSize(128, 128);
    QTest::newRow("about picture") << QString(kAboutPicture) << QByteArray("png") << QSize(32, 32);
    for (const char* kind : {"cd", "folder", "file"}) {
        QString path = QString(":/pictures/tree-%1").arg(kind);
        QTest::addRow("tree %s", kind) << path + ".png" << QByteArray("png") << QSize(16, 16);
        QTest::addRow("tree %s @2x", kind)
            << path + "@2x.png" << QByteArray("png") << QSize(32, 32);
    }
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        QTest::addRow("icon %d", size) << QString(":/pictures/tessor-%1.png").arg(size)
                                       << QByteArray("png") << QSize(size, size);
}

void AssetsTest::pictures() {
    QFETCH(QString, path);
    QFETCH(QByteArray, format);
    QFETCH(QSize, size);
    QImageReader reader(path);
    QCOMPARE(reader.format(), format);
    QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(image.size(), size);
}

void AssetsTest::icons() {
    QIcon icon = ProgramIcon();
    QCOMPARE(icon.availableSizes().size(), 8);
    QCOMPARE(icon.pixmap(QSize(48, 48)).size(), QSize(48, 48));
    for (int i = 0; i < 3; ++i)
        QCOMPARE(TreeIcon(i).pixmap(QSize(16, 16)).size(), QSize(16, 16));
    QVERIFY(TreeIcon(3).isNull());
    QVERIFY(TreeIcon(-1).isNull());
}

QTEST_MAIN(AssetsTest)
#include "AssetsTest.moc"
