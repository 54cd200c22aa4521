// The banner, the offline banner, the update check and FetchUrlText against
// a loopback HTTP server.
#include <unistd.h>

#include <QBuffer>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>

#include "LoopbackServer.h"
#include "WindowFixture.h"
#include "shell/CheckUpdates.h"
#include "shell/InetUrl.h"
#include "shell/MakerServer.h"
#include "shell/UContainer.h"
#include "shell/WebBrowser.h"
#include "shell/assets/Assets.h"

namespace tessor::shell::test {
namespace {

const QColor kBannerGreen(0xA9, 0xFB, 0x1A);

QByteArray RedPng() {
    QImage image(40, 40, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

class Banner : public TWindowTest {
protected:
    TLoopbackServer server;

    bool FormCreateInSetUp() override { return false; }

    void TearDown() override {
        TWindowTest::TearDown();
        qputenv("TESSOR_SERVER", "");
    }

    // The banner page with one picture, and an update text.
    void ServeBanner(const QByteArray& updateText) {
        server.Answers["/tessoradv.php"] = {
            200,
            "<html><body bgcolor=\"#FFFFFF\"><a href=\"/tessoradvl.php?id=1\">"
            "<img src=\"red.png\"></a></body></html>"};
        server.Answers["/red.png"] = {200, RedPng(), "image/png"};
        if (!updateText.isNull())
            server.Answers["/tessor.txt"] = {200, updateText, "text/plain"};
    }

    void Start(bool withServer = true, int timeoutMs = 3000) {
        qputenv("TESSOR_SERVER", withServer ? server.HostPort() : QByteArray());
        window->HttpTimeoutMs = timeoutMs;
        window->ProgramVersion = QStringLiteral("1.2.0.10");
        StartWindow();
    }

    QColor BannerPixel(int x, int y) const {
        return QColor(window->WebBrowser->grab().toImage().pixel(x, y));
    }

    bool WaitForOfflineBanner() {
        return QTest::qWaitFor([this] { return window->BannerFailed; }, 5000);
    }
};

TEST_F(Banner, PageAndPictureArriveThenTheUpdateTextIsFetched) {
    ServeBanner("1.2.0.10\r\nhttp://dl.example/tessor.deb\r\n");
    QSignalSpy complete(window->WebBrowser, &TWebBrowser::DocumentComplete);
    // Shown, so the page is laid out before its picture arrives.
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    Start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return complete.count() == 1; }, 5000));
    EXPECT_FALSE(window->BannerFailed);
    EXPECT_EQ(window->WebBrowser->LocationURL().path(), QStringLiteral("/tessoradv.php"));
    // The picture at its own size: the page was laid out again for it.
    EXPECT_EQ(BannerPixel(36, 36), QColor(Qt::red));

    ASSERT_EQ(server.Requests.size(), 3u);
    EXPECT_EQ(server.Requests[0].Path, "/tessoradv.php");
    EXPECT_EQ(server.Requests[2].Path, "/tessor.txt");
    for (const auto& r : server.Requests) {
        EXPECT_EQ(r.Headers.value("user-agent"), "InetURL:/1.0") << r.Path.data();
        EXPECT_EQ(r.Headers.value("cache-control"), "no-cache") << r.Path.data();
        EXPECT_EQ(r.Headers.value("pragma"), "no-cache") << r.Path.data();
    }
    EXPECT_TRUE(prompter.asked.empty());
    EXPECT_FALSE(QFile::exists(window->OfflineBannerFile()));

    // The picture's link, relative to the page, opens in the web browser.
    QTest::mouseClick(window->WebBrowser->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
    ASSERT_EQ(urls.opened.size(), 1u);
    EXPECT_EQ(urls.opened[0].toString(),
              "http://" + QString::fromLatin1(server.HostPort()) + "/tessoradvl.php?id=1");
}

TEST_F(Banner, HostSettingsHoldAndRightClickShowsNoMenu) {
    ServeBanner("1.2.0.10\nhttp://dl.example/x");
    QSignalSpy complete(window->WebBrowser, &TWebBrowser::DocumentComplete);
    Start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return complete.count() == 1; }, 5000));
    TWebBrowser* b = window->WebBrowser;
    EXPECT_EQ(b->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(b->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(b->frameShape(), QFrame::NoFrame);
    EXPECT_FALSE(b->textInteractionFlags() & Qt::TextSelectableByMouse);
    EXPECT_TRUE(b->textInteractionFlags() & Qt::LinksAccessibleByMouse);
    // The host does not give the banner pages the window's style sheet.
    EXPECT_TRUE(b->document()->defaultStyleSheet().isEmpty());

    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    // On the linked picture, where the browser's own menu would offer to
    // copy the link.
    QPoint at(20, 20);
    QContextMenuEvent click(QContextMenuEvent::Mouse, at, b->viewport()->mapToGlobal(at));
    QApplication::sendEvent(b->viewport(), &click);
    QTest::qWait(50);
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_FALSE(qobject_cast<QMenu*>(w) && w->isVisible()) << "a menu opened";
}

// A link in the banner opens in the user's browser; a page cannot make
// Tessor open anything but a web address.
TEST_F(Banner, LinksOpenOnlyWebAddresses) {
    Start(false);
    window->WebBrowserAnchorClicked(QUrl(QStringLiteral("http://example.org/tessoradvl.php?id=1")));
    window->WebBrowserAnchorClicked(QUrl(QStringLiteral("file:///etc/passwd")));
    window->WebBrowserAnchorClicked(QUrl());
    ASSERT_EQ(urls.opened.size(), 1u);
    EXPECT_EQ(urls.opened[0].toString(), QStringLiteral("http://example.org/tessoradvl.php?id=1"));
}

struct TUpdateCase {
    const char* name;
    const char* updateText;  // nullptr: the server has none (404)
    bool yes;
    bool asked;
    const char* opened;  // "" for nothing
};

class UpdateCheck : public Banner, public ::testing::WithParamInterface<TUpdateCase> {};

// Asked once per run: the banner is loaded twice (as the timer does) and
// the question comes at most once.
TEST_P(UpdateCheck, AsksOnceWhenLineOneIsNewer) {
    const TUpdateCase& c = GetParam();
    ServeBanner(c.updateText ? QByteArray(c.updateText) : QByteArray());
    prompter.answers = {c.yes, c.yes};
    QSignalSpy complete(window->WebBrowser, &TWebBrowser::DocumentComplete);
    Start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return complete.count() == 1; }, 5000));
    window->advertisingTimer();
    ASSERT_TRUE(QTest::qWaitFor([&] { return complete.count() == 2; }, 5000));
    EXPECT_EQ(server.Count("/tessor.txt"), 2);

    ASSERT_EQ(prompter.asked.size(), c.asked ? 1u : 0u);
    EXPECT_EQ(window->UpdateAsked, c.asked);
    if (c.asked) {
        EXPECT_EQ(prompter.asked[0].caption, QStringLiteral("Question"));
        EXPECT_EQ(prompter.asked[0].text,
                  QStringLiteral("A newer version off Tessor is available. Would you like to "
                                 "download it?\r\rTessor 1.2.0.11"));
    }
    if (*c.opened) {
        ASSERT_EQ(urls.opened.size(), 1u);
        EXPECT_EQ(urls.opened[0].toString(), QString::fromUtf8(c.opened));
    } else {
        EXPECT_TRUE(urls.opened.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, UpdateCheck,
    ::testing::Values(
        TUpdateCase{"NewerYes", "1.2.0.11\r\nhttp://dl.example/tessor.deb\r\n", true, true,
                    "http://dl.example/tessor.deb"},
        TUpdateCase{"NewerNo", "1.2.0.11\nhttp://dl.example/tessor.deb", false, true, ""},
        TUpdateCase{"OlderByItsDigits", "1.3.0.1\nhttp://dl.example/x", true, false, ""},
        TUpdateCase{"NoUpdateText", nullptr, true, false, ""},
        TUpdateCase{"NoLineTwo", "1.2.0.11", true, false, ""},
        TUpdateCase{"LineOneNoNumber", "1.2.0.1x\nhttp://dl.example/x", true, false, ""},
        TUpdateCase{"LineTwoNotWeb", "1.2.0.11\nfile:///usr/bin/xterm", true, false, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UpdateText, VersionsCompareAsTheirDigits) {
    struct {
        const char* remote;
        const char* local;
        bool offered;
    } cases[] = {
        {"1.2.0.11", "1.2.0.10", true},
        {"1.3.0.1", "1.2.0.10", false},
        {"1.2.0.10", "1.2.0.10", false},
        {"0001.2.0.11", "1.2.0.10", true},
        // Longer than any machine number.
        {"65535.65535.65535.65535", "65535.65535.65535.65534", true},
        {" 1.2.0.11 ", "1.2.0.10", true},
        {"", "1.2.0.10", false},
        {"...", "1.2.0.10", false},
        {"-1", "0.0.0.0", false},
        {"1.2.0.11", "No version specification", false},
    };
    for (const auto& c : cases) {
        QString text = QString::fromUtf8(c.remote) + QStringLiteral("\nhttps://dl.example/t");
        EXPECT_EQ(NewerVersionOffered(text, QString::fromUtf8(c.local)).has_value(), c.offered)
            << c.remote << " against " << c.local;
    }
}

struct TFailCase {
    const char* name;
    bool server;
    TLoopbackServer::TAnswer banner;
};

class OfflineBanner : public Banner, public ::testing::WithParamInterface<TFailCase> {};

// Any failed navigation shows the offline banner: the picture written
// beside the program, on the banner's green; no update check follows.
TEST_P(OfflineBanner, ShowsThePictureOnGreenAndKeepsTheFileWhileTheWindowLives) {
    const TFailCase& c = GetParam();
    ServeBanner("9.9.9.9\nhttp://dl.example/x");
    server.Answers["/tessoradv.php"] = c.banner;
    Start(c.server, 300);
    ASSERT_TRUE(WaitForOfflineBanner());
    QString file = window->OfflineBannerFile();
    QFile written(file), resource{QLatin1String(kOfflineBannerResource)};
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    ASSERT_TRUE(resource.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), resource.readAll());

    EXPECT_EQ(BannerPixel(2, 2), kBannerGreen);
    EXPECT_EQ(BannerPixel(620, 66), kBannerGreen);
    EXPECT_NE(BannerPixel(311, 30), kBannerGreen) << "the picture is not drawn";
    QTest::qWait(50);
    EXPECT_EQ(server.Count("/tessor.txt"), 0);
    EXPECT_TRUE(prompter.asked.empty());

    window.reset();
    EXPECT_FALSE(QFile::exists(file));
}

INSTANTIATE_TEST_SUITE_P(
    Failures, OfflineBanner,
    ::testing::Values(TFailCase{"NoServer", false, {}}, TFailCase{"Status404", true, {404, "gone"}},
                      TFailCase{"SilentServer", true, {200, "", "text/html", true}}),
    [](const auto& info) { return std::string(info.param.name); });

// An installed program's folder is not writable: the banner still shows
// the picture, from the program's resources.
TEST_F(Banner, ReadOnlyProgramFolderStillShowsTheOfflineBanner) {
    std::string folder = work / "program";
    ASSERT_TRUE(testsupport::MakeDirs(folder));
    ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
    // chmod does not stop root; /proc takes no new files from anyone.
    window->ProgramFolder =
        geteuid() == 0 ? QStringLiteral("/proc") : QString::fromStdString(folder);
    window->HttpTimeoutMs = 300;
    qputenv("TESSOR_SERVER", "");
    window->FormCreate();
    ASSERT_TRUE(WaitForOfflineBanner());
    EXPECT_FALSE(QFile::exists(window->OfflineBannerFile()));
    EXPECT_EQ(BannerPixel(2, 2), kBannerGreen);
    EXPECT_NE(BannerPixel(311, 30), kBannerGreen) << "the picture is not drawn";
    chmod(folder.c_str(), 0755);
}

TEST(FetchUrlText, StatusesSchemesAndTimeLimit) {
    TLoopbackServer server;
    server.Answers["/t.txt"] = {200, "1.2.0.11\nhttp://dl.example/x", "text/plain"};
    server.Answers["/silent"] = {200, "", "text/plain", true};
    const QString at = QString::fromLatin1(server.HostPort());
    struct {
        QString address;
        int timeoutMs;
        QString expected;
    } cases[] = {
        {at + "/t.txt", 3000, "1.2.0.11\nhttp://dl.example/x"},
        {"HtTp://" + at + "/t.txt", 3000, "1.2.0.11\nhttp://dl.example/x"},
        {"http://" + at + "/gone", 3000, "Status:404"},
        {"http://127.0.0.1:1/t.txt", 3000, ""},  // refused
        {"http://" + at + "/silent", 300, ""},
    };
    for (const auto& c : cases) {
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(FetchUrlText(c.address, c.timeoutMs), c.expected) << qPrintable(c.address);
        EXPECT_LT(clock.elapsed(), c.timeoutMs + 1000) << qPrintable(c.address);
    }
    ASSERT_FALSE(server.Requests.empty());
    EXPECT_EQ(server.Requests[0].Headers.value("user-agent"), "InetURL:/1.0");
    EXPECT_EQ(server.Requests[0].Headers.value("cache-control"), "no-cache");
    EXPECT_EQ(server.Requests[0].Headers.value("pragma"), "no-cache");
    EXPECT_EQ(server.Count("/silent"), 1);
}

TEST(MakerServer, OnlyAPlainHostAndPortIsUsed) {
    struct {
        const char* value;
        const char* host;
    } cases[] = {
        {"tessor.example", "tessor.example"},
        {" 127.0.0.1:8080 ", "127.0.0.1:8080"},
        {"[::1]:80", "[::1]:80"},
        {"", ""},
        {"http://tessor.example", ""},
        {"tessor.example/evil", ""},
        {"user@tessor.example", ""},
        {"tessor.example:99999", ""},
        {"a b", ""},
    };
    for (const auto& c : cases) {
        qputenv("TESSOR_SERVER", c.value);
        EXPECT_EQ(MakerServerHost(), QString::fromUtf8(c.host)) << c.value;
    }
    qputenv("TESSOR_SERVER", "127.0.0.1:8080");
    EXPECT_EQ(MakerAddress(kBannerClickPath),
              QStringLiteral("http://127.0.0.1:8080/tessoradvl.php?id=1"));
    qputenv("TESSOR_SERVER", "");
    EXPECT_TRUE(MakerAddress(kBannerPath).isEmpty());
}

TEST(HostStyleSheet, FromTheWindowsColoursAndFont) {
    EXPECT_EQ(ColorToHtml(Qt::white), QStringLiteral("#FFFFFF"));
    EXPECT_EQ(ColorToHtml(QColor(1, 2, 171)), QStringLiteral("#0102AB"));
    EXPECT_EQ(HostStyleSheetText(Qt::white, Qt::black, QStringLiteral("Tahoma"), 8,
                                 QColor(0xBF, 0xCD, 0xDB)),
              QStringLiteral("body {\r\n    background-color: #FFFFFF;\r\n    color: #000000;\r\n"
                             "    font-family: \"Tahoma\";\r\n    font-size: 8pt;\r\n"
                             "    margin: 4px;\r\n}\r\n"
                             "h1 {\r\n    font-size: 8pt;\r\n    font-weight: bold;\r\n"
                             "    text-align: center;\r\n}\r\n"
                             "input#button {\r\n    color: #000000;\r\n"
                             "    font-family: \"Tahoma\";\r\n    font-size: 8pt;\r\n}\r\n"
                             ".ruled {\r\n    border-bottom: #BFCDDB solid 2px;\r\n"
                             "    padding-bottom: 6px;\r\n}"));
}

}  // namespace
}  // namespace tessor::shell::test
