// Plain HTTP GETs as Tessor makes them: the agent name "InetURL:/1.0", no
// cache on either side, a time limit on the whole request and a limit on
// the size of the answer, so neither a silent server nor an endless answer
// can hold the program.
#pragma once

#include <QString>
#include <QtGlobal>

class QNetworkAccessManager;
class QNetworkReply;
class QUrl;

namespace tessor::shell {

inline constexpr char kAgentName[] = "InetURL:/1.0";
inline constexpr int kHttpTimeoutMs = 15000;
inline constexpr qint64 kMaxAnswerBytes = 4 << 20;

// Starts a GET of `address`. The reply is aborted (it finishes with
// OperationCanceledError) when it has not finished within `timeoutMs` or
// when its body grows past `maxBytes`.
QNetworkReply* StartGet(QNetworkAccessManager& network, const QUrl& address, int timeoutMs,
                        qint64 maxBytes = kMaxAnswerBytes);

// The text behind an address. "http://" is put in front when the address
// does not contain it in any letter case. With status 200 or 302 the body
// (UTF-8); with any other status "Status:" and the code; "" when there is
// no answer (no server, refused, the time limit passed, the body cut off).
// The window keeps processing events while it waits.
QString FetchUrlText(const QString& address, int timeoutMs = kHttpTimeoutMs);

}  // namespace tessor::shell
