#include "network.h"

#include <QCoreApplication>
#include <QCoroNetworkReply>
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

// A reply with an HTTP status and no transport failure carries a whole body worth reading,
// whatever the status says (content errors are 2xx-numbered, server errors 4xx-numbered).
bool bodyArrivedWhole(const QNetworkReply &reply)
{
    const auto error = reply.error();
    if (error == QNetworkReply::NoError)
        return true;
    if (!reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
        return false;
    const int code = int(error);
    return (code >= 201 && code <= 299) || (code >= 401 && code <= 499);
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
    const QString scheme = url.scheme();
    if (!url.isValid() || url.host().isEmpty()
        || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        co_return std::nullopt;

    QNetworkRequest request(url);
    request.setRawHeader("Accept", "application/json");
    request.setTransferTimeout(int(g_timeout.count()));
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

    if (!bodyArrivedWhole(*reply))
        co_return std::nullopt;
    body.append(reply->readAll());
    co_return body;
}

namespace testing {
void setTransferTimeout(std::chrono::milliseconds timeout)
{
    g_timeout = timeout;
}
} // namespace testing

} // namespace Network
