#include "shell/WebBrowser.h"

#include <QContextMenuEvent>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSet>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextImageFormat>
#include <QTimer>

#include "shell/UNulContainer.h"

namespace tessor::shell {

namespace {

// A banner page has a handful of pictures; a page naming thousands gets
// the first few.
constexpr int kMaxPictures = 32;

bool IsWebAddress(const QUrl& address) {
    return address.isValid() && !address.host().isEmpty() &&
           (address.scheme() == QLatin1String("http") ||
            address.scheme() == QLatin1String("https"));
}

void Drop(QNetworkReply* reply, QObject* receiver) {
    if (reply == nullptr)
        return;
    reply->disconnect(receiver);
    reply->abort();
    reply->deleteLater();
}

}  // namespace

TWebBrowser::TWebBrowser(QWidget* parent) : QTextBrowser(parent) {
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setUndoRedoEnabled(false);
    // Pages set their own margins (which the HTML view does not read); the
    // banner pages fill the area to its edges.
    document()->setDocumentMargin(0);
}

TWebBrowser::~TWebBrowser() {
    Stop();
}

void TWebBrowser::Stop() {
    ++navigation_;
    Drop(page_, this);
    page_ = nullptr;
    for (const QPointer<QNetworkReply>& p : pictures_)
        Drop(p, this);
    pictures_.clear();
}

void TWebBrowser::Navigate(const QUrl& address) {
    Stop();
    ApplyHostInfo();
    const unsigned navigation = navigation_;
    if (!IsWebAddress(address)) {
        QTimer::singleShot(0, this, [this, navigation, address] {
            if (navigation == navigation_)
                emit NavigateError(address);
        });
        return;
    }
    if (network_ == nullptr)
        network_ = new QNetworkAccessManager(this);
    QNetworkReply* reply = StartGet(*network_, address, TimeoutMs);
    page_ = reply;
    connect(reply, &QNetworkReply::finished, this, [this, reply] { PageFinished(reply); });
}

void TWebBrowser::LoadHtmlText(const QString& html) {
    Stop();
    ApplyHostInfo();
    Show(html, QUrl(QStringLiteral("about:blank")), false);
}

void TWebBrowser::ApplyHostInfo() {
    THostInfo info;
    if (host_ != nullptr && !host_->GetHostInfo(info))
        info = THostInfo();
    const Qt::ScrollBarPolicy bars =
        info.NoScrollBars ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded;
    setHorizontalScrollBarPolicy(bars);
    setVerticalScrollBarPolicy(bars);
    setFrameShape(info.NoBorder ? QFrame::NoFrame : QFrame::StyledPanel);
    setTextInteractionFlags(info.NoTextSelection ? Qt::LinksAccessibleByMouse
                                                 : Qt::TextBrowserInteraction);
    document()->setDefaultStyleSheet(info.StyleSheet);
}

void TWebBrowser::Show(const QString& html, const QUrl& location, bool remote) {
    location_ = location;
    remote_ = remote;
    images_.clear();
    setHtml(html);
    document()->setDocumentMargin(0);
}

void TWebBrowser::PageFinished(QNetworkReply* reply) {
    if (reply != page_)
        return;
    page_ = nullptr;
    reply->deleteLater();
    const QUrl address = reply->request().url();
    QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (reply->error() != QNetworkReply::NoError || !status.isValid() || status.toInt() >= 400) {
        emit NavigateError(address);
        return;
    }
    const QByteArray data = reply->readAll();
    // The page's own byte-order mark or meta charset; UTF-8 without one.
    QStringDecoder decoder = QStringDecoder::decoderForHtml(data);
    QString html = decoder.isValid() ? QString(decoder(data)) : QString::fromUtf8(data);
    Show(html, reply->url(), true);
    FetchPictures();
}

void TWebBrowser::FetchPictures() {
    QSet<QUrl> wanted;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            QTextCharFormat format = it.fragment().charFormat();
            if (!format.isImageFormat())
                continue;
            QUrl picture = location_.resolved(QUrl(format.toImageFormat().name()));
            if (IsWebAddress(picture) && wanted.size() < kMaxPictures)
                wanted.insert(picture);
        }
    }
    if (wanted.isEmpty()) {
        Complete();
        return;
    }
    for (const QUrl& picture : wanted) {
        QNetworkReply* reply = StartGet(*network_, picture, TimeoutMs);
        pictures_.append(reply);
        connect(reply, &QNetworkReply::finished, this,
                [this, reply, picture] { PictureFinished(reply, picture); });
    }
}

void TWebBrowser::PictureFinished(QNetworkReply* reply, const QUrl& picture) {
    if (!pictures_.removeOne(reply))
        return;
    reply->deleteLater();
    QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (reply->error() == QNetworkReply::NoError && status.toInt() < 400)
        images_.insert(picture, QImage::fromData(reply->readAll()));
    if (pictures_.isEmpty()) {
        // The layout asks for the pictures again and now finds them.
        document()->markContentsDirty(0, document()->characterCount());
        viewport()->update();
        Complete();
    }
}

// Last in every handler: the owner may navigate again, or wait for other
// events, before it returns.
void TWebBrowser::Complete() {
    emit DocumentComplete(location_);
}

QVariant TWebBrowser::loadResource(int type, const QUrl& name) {
    if (!remote_)
        return QTextBrowser::loadResource(type, name);
    if (type == QTextDocument::ImageResource) {
        auto it = images_.constFind(location_.resolved(name));
        if (it != images_.constEnd() && !it->isNull())
            return *it;
    }
    return {};
}

void TWebBrowser::contextMenuEvent(QContextMenuEvent* event) {
    if (host_ != nullptr && host_->ShowContextMenu(event->globalPos())) {
        event->accept();
        return;
    }
    QTextBrowser::contextMenuEvent(event);
}

}  // namespace tessor::shell
