#include "fakeserver.h"

#include "httpwire.h"

#include <QFile>
#include <QHttpServerRequest>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

namespace {

void writeHead(QTcpSocket *socket, int status, const QByteArray &contentType, qsizetype length,
               const HttpWire::HeaderList &extra = {})
{
    socket->write(HttpWire::head(status, contentType, length, extra));
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
    request.query = HttpWire::parseQuery(httpRequest.url().query(QUrl::FullyEncoded).toUtf8());
    request.headers = httpRequest.headers();
    const QByteArray range = request.header("Range");
    const Reply reply = route(request);
    m_requests.append(request);
    Q_EMIT requestReceived(request.path);

    if (reply.never)
        return true;
    QPointer<QTcpSocket> guarded(socket);
    if (reply.holdAtCut && reply.cutAfter && reply.filePath.isEmpty()) {
        writeHead(socket, reply.status, reply.contentType, reply.body.size(), reply.headers);
        socket->write(reply.body.left(*reply.cutAfter));
        socket->flush();
        m_held.append({guarded, reply.body.mid(*reply.cutAfter)});
        return true;
    }
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

int FakeServer::held() const
{
    return int(std::count_if(m_held.cbegin(), m_held.cend(),
                             [](const auto &held) { return held.first && held.first->state() == QAbstractSocket::ConnectedState; }));
}

void FakeServer::sendRestOfHeld()
{
    for (auto &[socket, rest] : std::exchange(m_held, {})) {
        if (socket)
            socket->write(rest);
    }
}

void FakeServer::hangUpHeld()
{
    for (auto &[socket, rest] : std::exchange(m_held, {})) {
        if (socket) {
            socket->flush();
            socket->disconnectFromHost();
        }
    }
}

void FakeServer::missingHandler(const QHttpServerRequest &, QTcpSocket *socket)
{
    writeHttpReply(socket, Reply::json("{}", 404), {});
}

void writeHttpReply(QTcpSocket *socket, const FakeServer::Reply &reply, const QByteArray &rangeHeader)
{
    if (reply.filePath.isEmpty()) {
        const QByteArray body = reply.cutAfter ? reply.body.left(*reply.cutAfter) : reply.body;
        writeHead(socket, reply.status, reply.contentType, reply.body.size(), reply.headers);
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
    const HttpWire::Range range = HttpWire::range(rangeHeader, size);
    HttpWire::HeaderList extra{{"Accept-Ranges", "bytes"}};
    if (range.kind == HttpWire::Range::Kind::unsatisfiable) {
        extra.append({"Content-Range", range.contentRange(size)});
        writeHead(socket, 416, reply.contentType, 0, extra);
        return;
    }
    if (range.kind == HttpWire::Range::Kind::partial)
        extra.append({"Content-Range", range.contentRange(size)});
    file.seek(range.from);
    const QByteArray body = file.read(range.length());
    writeHead(socket, range.kind == HttpWire::Range::Kind::partial ? 206 : reply.status, reply.contentType, body.size(), extra);
    socket->write(body);
}
