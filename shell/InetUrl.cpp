#include "shell/InetUrl.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>
#include <algorithm>

namespace tessor::shell {

QNetworkReply* StartGet(QNetworkAccessManager& network, const QUrl& address, int timeoutMs,
                        qint64 maxBytes) {
    QNetworkRequest request(address);
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArray(kAgentName));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    // Proxies and the server are told too, so nobody answers from a cache.
    request.setRawHeader("Cache-Control", "no-cache");
    request.setRawHeader("Pragma", "no-cache");
    QNetworkReply* reply = network.get(request);

    auto* limit = new QTimer(reply);
    limit->setSingleShot(true);
    QObject::connect(limit, &QTimer::timeout, reply, &QNetworkReply::abort);
    QObject::connect(reply, &QNetworkReply::finished, limit, &QTimer::stop);
    limit->start(std::max(timeoutMs, 0));
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply,
                     [reply, maxBytes](qint64 received, qint64 total) {
                         if (received > maxBytes || total > maxBytes)
                             reply->abort();
                     });
    return reply;
}

QString FetchUrlText(const QString& address, int timeoutMs) {
    QString url = address;
    if (!url.toLower().contains(QLatin1String("http://")))
        url.prepend(QLatin1String("http://"));

    QNetworkAccessManager network;
    QNetworkReply* reply = StartGet(network, QUrl(url), timeoutMs);
    QByteArray body;
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] { body += reply->readAll(); });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    // The loop also ends when the application quits; then there is no
    // answer.
    if (!reply->isFinished())
        reply->abort();
    if (reply->isOpen())
        body += reply->readAll();

    QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        return {};
    int code = status.toInt();
    if (code != 200 && code != 302)
        return QStringLiteral("Status:") + QString::number(code);
    // A body that stopped short (time limit, size limit, lost connection)
    // is no answer: half an update text would be read as another version.
    if (reply->error() != QNetworkReply::NoError)
        return {};
    return QString::fromUtf8(body);
}

}  // namespace tessor::shell
