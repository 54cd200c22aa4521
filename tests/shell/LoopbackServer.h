// A small HTTP server on the loopback interface, in the test's own thread:
// the window's event loops (the banner's, and the one the update check
// waits in) serve it. It records every request and answers each path as it
// was told: a status and a body, or nothing at all (a silent server).
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QMap>
#include <QTcpServer>
#include <QTcpSocket>
#include <map>
#include <vector>

namespace tessor::shell::test {

class TLoopbackServer {
public:
    struct TRequest {
        QByteArray Path;                       // with the query
        QMap<QByteArray, QByteArray> Headers;  // names in lower case
    };
    struct TAnswer {
        int Status = 200;
        QByteArray Body;
        QByteArray Type = "text/html";
        bool Silent = false;  // accepts the request and never answers
    };

    // Paths without an answer get 404.
    std::map<QByteArray, TAnswer> Answers;
    std::vector<TRequest> Requests;

    TLoopbackServer() {
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                socket->setParent(&server_);
                QObject::connect(socket, &QTcpSocket::readyRead, socket,
                                 [this, socket] { Read(socket); });
            }
        });
        server_.listen(QHostAddress::LocalHost);
    }

    // "127.0.0.1:port", for TESSOR_SERVER.
    QByteArray HostPort() const { return "127.0.0.1:" + QByteArray::number(server_.serverPort()); }

    int Count(const QByteArray& path) const {
        int n = 0;
        for (const TRequest& r : Requests)
            n += r.Path == path;
        return n;
    }

private:
    void Read(QTcpSocket* socket) {
        QByteArray& pending = pending_[socket];
        pending += socket->readAll();
        qsizetype end = pending.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        QList<QByteArray> lines = pending.left(end).split('\n');
        pending.clear();
        TRequest request;
        QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        request.Path = first.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            qsizetype colon = lines[i].indexOf(':');
            if (colon > 0)
                request.Headers[lines[i].left(colon).trimmed().toLower()] =
                    lines[i].mid(colon + 1).trimmed();
        }
        Requests.push_back(request);
        auto it = Answers.find(request.Path);
        TAnswer answer = it != Answers.end() ? it->second : TAnswer{404, "not here", "text/plain"};
        if (answer.Silent)
            return;
        socket->write("HTTP/1.1 " + QByteArray::number(answer.Status) +
                      " X\r\nContent-Type: " + answer.Type +
                      "\r\nContent-Length: " + QByteArray::number(answer.Body.size()) +
                      "\r\nConnection: close\r\n\r\n" + answer.Body);
        socket->disconnectFromHost();
    }

    QTcpServer server_;
    std::map<QTcpSocket*, QByteArray> pending_;
};

}  // namespace tessor::shell::test
