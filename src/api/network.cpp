#include "network.h"

#include "diagnostics.h"

#include <QCoreApplication>
#include <QCoroNetworkReply>
#include <QElapsedTimer>
#include <QMetaEnum>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QThread>

#include <memory>

namespace Network {

namespace {

std::chrono::milliseconds g_timeout{20000};
constexpr qsizetype bodyPadding = 64; // at least simdjson's SIMDJSON_PADDING

struct DeleteLater
{
    void operator()(QObject *object) const { object->deleteLater(); }
};

// Whether the server answered at all. Any reply that carries an HTTP status holds the server's
// whole answer, whatever that status is (Qt turns 4xx and 5xx, a 407 among them, into errors of
// its own, and a redirect it does not follow into another); only a failure of the connection
// itself (refused, closed early, timed out, cancelled) leaves no answer to read.
bool serverAnswered(const QNetworkReply &reply)
{
    if (!reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
        return false;
    switch (reply.error()) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError:
    case QNetworkReply::SslHandshakeFailedError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::BackgroundRequestNotAllowedError:
    case QNetworkReply::UnknownNetworkError:
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProxyNotFoundError:
    case QNetworkReply::ProxyTimeoutError:
    case QNetworkReply::UnknownProxyError:
        return false;
    default:
        return true;
    }
}

bool fetchable(const QUrl &url)
{
    const QString scheme = url.scheme();
    return url.isValid() && !url.host().isEmpty()
        && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

constexpr int maxRedirects = 5;

// Where a redirect leads, when it is one to follow: to an http(s) address, never from https
// down to http. Any other 3xx answer is read like any other answer.
std::optional<QUrl> redirectTarget(const QNetworkReply &reply, int status)
{
    if (status != 301 && status != 302 && status != 303 && status != 307 && status != 308)
        return std::nullopt;
    const QByteArray location = reply.rawHeader("Location");
    if (location.isEmpty())
        return std::nullopt;
    const QUrl target = reply.url().resolved(QUrl::fromEncoded(location, QUrl::StrictMode));
    const bool downgrade = reply.url().scheme() == QLatin1String("https") && target.scheme() != QLatin1String("https");
    if (!fetchable(target) || downgrade)
        return std::nullopt;
    return target;
}

// The error's name, never its text: Qt's texts quote the whole address, credentials included.
const char *errorName(QNetworkReply::NetworkError error)
{
    const char *name = QMetaEnum::fromType<QNetworkReply::NetworkError>().valueToKey(error);
    return name ? name : "UnknownError";
}

} // namespace

QNetworkAccessManager &shared()
{
    static QPointer<QNetworkAccessManager> manager;
    if (!manager) {
        manager = new QNetworkAccessManager(QCoreApplication::instance());
    }
    Q_ASSERT(manager->thread() == QThread::currentThread());
    return *manager;
}

std::chrono::milliseconds transferTimeout()
{
    return g_timeout;
}

QCoro::Task<std::optional<QByteArray>> getBody(QUrl url)
{
    if (!fetchable(url))
        co_return std::nullopt;

    QElapsedTimer clock;
    clock.start();
    for (int redirects = 0;; ++redirects) {
        QNetworkRequest request(url);
        request.setRawHeader("Accept", "application/json");
        request.setTransferTimeout(int(g_timeout.count()));
        // Redirects are followed here rather than by Qt, which drops the body of a redirect it
        // does not follow.
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        // No cookies either way: the credentials in the query are the only ones.
        request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
        request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);

        std::unique_ptr<QNetworkReply, DeleteLater> reply(shared().get(request));
        reply->setParent(nullptr);
        // Collected as it arrives, in a buffer with room behind the end: the JSON parser reads a
        // little past the last byte and would otherwise copy a whole catalogue to get that room.
        QByteArray body;
        QObject::connect(reply.get(), &QNetworkReply::readyRead, reply.get(), [&body, replyPtr = reply.get()] {
            if (body.isEmpty()) {
                const qint64 length = replyPtr->header(QNetworkRequest::ContentLengthHeader).toLongLong();
                if (length > 0 && length < (qint64(1) << 31))
                    body.reserve(qsizetype(length) + bodyPadding);
            }
            body.append(replyPtr->readAll());
        });
        co_await reply.get();

        if (!serverAnswered(*reply)) {
            qCDebug(lcNetwork).noquote() << Diagnostics::requestName(url) << "no answer:" << errorName(reply->error())
                                         << "after" << clock.elapsed() << "ms" << Diagnostics::maskedAddress(url);
            co_return std::nullopt;
        }
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (const auto next = redirectTarget(*reply, status); next && redirects < maxRedirects) {
            qCDebug(lcNetwork).noquote() << Diagnostics::requestName(url) << "status" << status << "to"
                                         << Diagnostics::maskedAddress(*next);
            url = *next;
            continue;
        }
        body.append(reply->readAll());
        qCDebug(lcNetwork).noquote() << Diagnostics::requestName(url) << "status" << status << body.size() << "bytes"
                                     << clock.elapsed() << "ms" << Diagnostics::maskedAddress(url);
        co_return body;
    }
}

namespace testing {
void setTransferTimeout(std::chrono::milliseconds timeout)
{
    g_timeout = timeout;
}
} // namespace testing

} // namespace Network
