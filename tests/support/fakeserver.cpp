#include "fakeserver.h"

#include <QFile>
#include <QHttpServerRequest>
#include <QPointer>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTimer>

namespace {

QString formDecode(QByteArray text)
{
    text.replace('+', ' ');
    return QString::fromUtf8(QByteArray::fromPercentEncoding(text));
}

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 206: return "Partial Content";
    case 401: return "Unauthorized";
    case 404: return "Not Found";
    case 416: return "Range Not Satisfiable";
    case 500: return "Internal Server Error";
    default: return "Status";
    }
}

void writeHead(QTcpSocket *socket, int status, const QByteArray &contentType, qsizetype length,
               const QList<std::pair<QByteArray, QByteArray>> &extra = {})
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) + "\r\n";
    head += "Content-Type: " + contentType + "\r\n";
    head += "Content-Length: " + QByteArray::number(length) + "\r\n";
    for (const auto &[name, value] : extra)
        head += name + ": " + value + "\r\n";
    head += "\r\n";
    socket->write(head);
}

} // namespace

std::optional<QString> FakeServer::Request::queryValue(const QString &name) const
{
    for (const auto &[key, value] : query) {
        if (key == name)
            return value;
    }
    return std::nullopt;
}

QStringList FakeServer::Request::queryNames() const
{
    QStringList names;
    for (const auto &item : query)
        names.append(item.first);
    return names;
}

QByteArray FakeServer::Request::header(const QByteArray &name) const
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

FakeServer::FakeServer(QObject *parent)
    : QAbstractHttpServer(parent)
{
    m_fallback = Reply::json("{}", 404);
}

QString FakeServer::start()
{
    m_port = listen(QHostAddress::LocalHost, 0);
    m_base = QStringLiteral("http://127.0.0.1:%1").arg(m_port);
    return m_base;
}

void FakeServer::on(const QString &path, Reply reply)
{
    m_paths.insert(path, std::move(reply));
}

void FakeServer::onAction(const QString &action, Reply reply)
{
    m_actions.insert(action, std::move(reply));
}

void FakeServer::setFallback(Reply reply)
{
    m_fallback = std::move(reply);
}

QList<FakeServer::Request> FakeServer::requestsTo(const QString &path) const
{
    QList<Request> result;
    for (const Request &request : m_requests) {
        if (request.path == path)
            result.append(request);
    }
    return result;
}

std::optional<FakeServer::Request> FakeServer::lastAction(const QString &action) const
{
    for (auto it = m_requests.crbegin(); it != m_requests.crend(); ++it) {
        if (it->queryValue(QStringLiteral("action")) == action)
            return *it;
    }
    return std::nullopt;
}

const FakeServer::Reply &FakeServer::route(const Request &request) const
{
    if (request.path == QLatin1String("/player_api.php")) {
        const auto action = request.queryValue(QStringLiteral("action"));
        if (action) {
            auto it = m_actions.constFind(*action);
            if (it != m_actions.cend())
                return *it;
        }
    }
    auto it = m_paths.constFind(request.path);
    return it != m_paths.cend() ? *it : m_fallback;
}

bool FakeServer::handleRequest(const QHttpServerRequest &httpRequest, QTcpSocket *socket)
{
    Request request;
    request.path = httpRequest.url().path();
    const QByteArray rawQuery = httpRequest.url().query(QUrl::FullyEncoded).toUtf8();
    if (!rawQuery.isEmpty()) {
        for (const QByteArray &item : rawQuery.split('&')) {
            const qsizetype equals = item.indexOf('=');
            request.query.append(equals < 0 ? std::pair{formDecode(item), QString()}
                                            : std::pair{formDecode(item.left(equals)), formDecode(item.mid(equals + 1))});
        }
    }
    request.headers = httpRequest.headers();
    const QByteArray range = request.header("Range");
    const Reply reply = route(request);
    m_requests.append(request);
    Q_EMIT requestReceived(request.path);

    if (reply.never)
        return true;
    QPointer<QTcpSocket> guarded(socket);
    auto answer = [guarded, reply, range] {
        if (guarded)
            writeHttpReply(guarded, reply, range);
    };
    if (reply.delay.count() > 0)
        QTimer::singleShot(reply.delay, this, answer);
    else
        answer();
    return true;
}

void FakeServer::missingHandler(const QHttpServerRequest &, QTcpSocket *socket)
{
    writeHttpReply(socket, Reply::json("{}", 404), {});
}

void writeHttpReply(QTcpSocket *socket, const FakeServer::Reply &reply, const QByteArray &rangeHeader)
{
    if (reply.filePath.isEmpty()) {
        const QByteArray body = reply.cutAfter ? reply.body.left(*reply.cutAfter) : reply.body;
        writeHead(socket, reply.status, reply.contentType, reply.body.size());
        socket->write(body);
        if (reply.cutAfter) {
            socket->flush();
            socket->disconnectFromHost();
        }
        return;
    }

    QFile file(reply.filePath);
    if (!file.open(QIODevice::ReadOnly)) {
        writeHead(socket, 404, "text/plain", 0);
        return;
    }
    const qint64 size = file.size();
    qint64 from = 0;
    qint64 to = size - 1;
    bool partial = false;
    static const QRegularExpression rangePattern(QStringLiteral("^bytes=(\\d*)-(\\d*)$"));
    const auto match = rangePattern.match(QString::fromLatin1(rangeHeader.trimmed()));
    if (match.hasMatch()) {
        const QString first = match.captured(1);
        const QString last = match.captured(2);
        if (first.isEmpty() && !last.isEmpty()) { // the last N bytes
            from = qMax<qint64>(0, size - last.toLongLong());
        } else if (!first.isEmpty()) {
            from = first.toLongLong();
            if (!last.isEmpty())
                to = qMin(size - 1, last.toLongLong());
        }
        if (from >= size || from > to) {
            writeHead(socket, 416, reply.contentType, 0, {{"Content-Range", "bytes */" + QByteArray::number(size)}});
            return;
        }
        partial = true;
    }
    file.seek(from);
    const QByteArray body = file.read(to - from + 1);
    QList<std::pair<QByteArray, QByteArray>> extra{{"Accept-Ranges", "bytes"}};
    if (partial) {
        extra.append({"Content-Range", "bytes " + QByteArray::number(from) + '-' + QByteArray::number(to) + '/'
                                           + QByteArray::number(size)});
    }
    writeHead(socket, partial ? 206 : reply.status, reply.contentType, body.size(), extra);
    socket->write(body);
}
