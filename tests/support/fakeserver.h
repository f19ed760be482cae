#pragma once

#include <QAbstractHttpServer>
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QString>
#include <QTcpSocket>
#include <QUrl>

#include <chrono>
#include <optional>
#include <utility>

// An HTTP server on 127.0.0.1 (a free port) that answers each path, or each
// "/player_api.php" action, as a test tells it to, and records every request it got.
class FakeServer : public QAbstractHttpServer
{
    Q_OBJECT

public:
    struct Reply
    {
        int status = 200;
        QByteArray contentType = "application/json";
        QByteArray body;
        std::chrono::milliseconds delay{0}; // wait this long before answering
        bool never = false;                 // take the request and stay silent
        std::optional<qsizetype> cutAfter;  // promise the whole body, send this many bytes, hang up
        bool holdAtCut = false;             // with cutAfter: stay on the line there (see held())
        QString filePath;                   // serve this file (with byte ranges) instead of `body`
        QList<std::pair<QByteArray, QByteArray>> headers; // more header lines ("Location", say)

        static Reply json(QByteArray body, int status = 200)
        {
            Reply reply;
            reply.status = status;
            reply.body = std::move(body);
            return reply;
        }
        static Reply file(QString path, QByteArray contentType)
        {
            Reply reply;
            reply.contentType = std::move(contentType);
            reply.filePath = std::move(path);
            return reply;
        }
    };

    struct Request
    {
        QString path;
        // Names and values decoded as a typical server stack decodes a form query ("+" is a blank).
        QList<std::pair<QString, QString>> query;
        QList<std::pair<QByteArray, QByteArray>> headers;

        std::optional<QString> queryValue(const QString &name) const;
        QStringList queryNames() const;
        QByteArray header(const QByteArray &name) const;
    };

    explicit FakeServer(QObject *parent = nullptr);

    // Listens on 127.0.0.1; returns the base address "http://127.0.0.1:PORT".
    QString start();
    QString base() const { return m_base; }
    quint16 port() const { return m_port; }

    void on(const QString &path, Reply reply);
    void onAction(const QString &action, Reply reply); // "/player_api.php?action=…"
    void setFallback(Reply reply);                     // anything not routed (default: 404, empty JSON object)

    const QList<Request> &requests() const { return m_requests; }
    QList<Request> requestsTo(const QString &path) const;
    std::optional<Request> lastAction(const QString &action) const;
    void clearRequests() { m_requests.clear(); }

    // Answers held at their cut: how many the client has not hung up, and the two ways on.
    int held() const;
    void sendRestOfHeld();
    void hangUpHeld();

Q_SIGNALS:
    void requestReceived(const QString &path);

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

private:
    const Reply &route(const Request &request) const;

    QString m_base;
    quint16 m_port = 0;
    QHash<QString, Reply> m_paths;
    QHash<QString, Reply> m_actions;
    Reply m_fallback;
    QList<Request> m_requests;
    QList<std::pair<QPointer<QTcpSocket>, QByteArray>> m_held; // the line and what it still owes
};

// Writes an HTTP/1.1 answer on `socket`: the whole body, or for a file the byte range asked for.
void writeHttpReply(QTcpSocket *socket, const FakeServer::Reply &reply, const QByteArray &rangeHeader);
