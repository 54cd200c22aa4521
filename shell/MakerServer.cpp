#include "shell/MakerServer.h"

#include <QRegularExpression>
#include <QUrl>

#ifndef TESSOR_SERVER_DEFAULT
#define TESSOR_SERVER_DEFAULT ""
#endif

namespace tessor::shell {

namespace {

// A host name, an IPv4 address or a bracketed IPv6 address, and an
// optional port. Anything else could smuggle a path, credentials or a
// second address into the requests.
bool IsPlainHost(const QString& value) {
    static const QRegularExpression form(QStringLiteral(
        R"(^(\[[0-9A-Fa-f:.]+\]|[A-Za-z0-9]([A-Za-z0-9.-]*[A-Za-z0-9])?)(:([0-9]{1,5}))?$)"));
    QRegularExpressionMatch m = form.match(value);
    if (!m.hasMatch())
        return false;
    if (m.capturedLength(5) != 0 && m.captured(5).toInt() > 65535)
        return false;
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setAuthority(value, QUrl::StrictMode);
    return url.isValid() && !url.host().isEmpty();
}

}  // namespace

QString MakerServerHost() {
    QString value = qEnvironmentVariableIsSet("TESSOR_SERVER")
                        ? qEnvironmentVariable("TESSOR_SERVER")
                        : QString::fromUtf8(TESSOR_SERVER_DEFAULT);
    value = value.trimmed();
    return IsPlainHost(value) ? value : QString();
}

QString MakerAddress(const char* pathAndQuery) {
    QString host = MakerServerHost();
    if (host.isEmpty())
        return {};
    return QStringLiteral("http://") + host + QLatin1String(pathAndQuery);
}

}  // namespace tessor::shell
