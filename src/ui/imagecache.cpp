#include "imagecache.h"

#include <QMutex>
#include <QNetworkAccessManager>
#include <QNetworkDiskCache>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStandardPaths>
#include <QTimer>

using namespace std::chrono_literals;

namespace {

// A theme background at 4K is a few megabytes; nothing a screen shows needs more than 16.
const ImageCacheFactory::Limits programLimits{15s, 60s, 16 * 1024 * 1024};
// Read on the threads that load pictures.
QMutex g_limitsLock;
ImageCacheFactory::Limits g_limits = programLimits;
// Room past the size limit, so that an answer over it is seen to be over it.
constexpr qint64 readSlack = 64 * 1024;

// Pictures rarely change behind the same address and providers seldom send caching headers:
// use what is on disk before asking the network again.
class PictureAccessManager : public QNetworkAccessManager
{
public:
    using QNetworkAccessManager::QNetworkAccessManager;

protected:
    QNetworkReply *createRequest(Operation op, const QNetworkRequest &original, QIODevice *data) override
    {
        QNetworkRequest request(original);
        if (op == GetOperation)
            request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::PreferCache);
        const ImageCacheFactory::Limits limit = ImageCacheFactory::limits();
        request.setTransferTimeout(int(limit.idle.count()));
        // Said rather than left to Qt's defaults: http(s) only, never down from https, and a
        // loop ends after a few rounds instead of fifty.
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
        request.setMaximumRedirectsAllowed(5);
        QNetworkReply *reply = QNetworkAccessManager::createRequest(op, request, data);
        // Qt's network thread reads as fast as a server sends and queues it all for this thread;
        // a bounded buffer makes it stop reading once a picture is past its limit, so that an
        // oversized answer ends at once instead of keeping the connection busy, and this
        // thread flooded, until the server has sent all of it.
        reply->setReadBufferSize(limit.maxBytes + readSlack);
        // Stopped on the next turn of the event loop, never inside the reply's own signal.
        // A reply that finished meanwhile is left alone: aborting it again reports its error twice.
        const auto stop = [reply] {
            QMetaObject::invokeMethod(
                reply,
                [reply] {
                    if (!reply->isFinished())
                        reply->abort();
                },
                Qt::QueuedConnection);
        };
        auto *deadline = new QTimer(reply);
        deadline->setSingleShot(true);
        QObject::connect(deadline, &QTimer::timeout, reply, stop);
        QObject::connect(reply, &QNetworkReply::finished, deadline, &QTimer::stop);
        deadline->start(limit.deadline);
        QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [stop, limit](qint64 received, qint64 total) {
            if (received > limit.maxBytes || total > limit.maxBytes)
                stop();
        });
        return reply;
    }
};

} // namespace

QString ImageCacheFactory::cacheDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/images");
}

QNetworkAccessManager *ImageCacheFactory::create(QObject *parent)
{
    auto *manager = new PictureAccessManager(parent);
    auto *cache = new QNetworkDiskCache(manager);
    cache->setCacheDirectory(cacheDirectory());
    cache->setMaximumCacheSize(qint64(256) * 1024 * 1024);
    manager->setCache(cache);
    return manager;
}

ImageCacheFactory::Limits ImageCacheFactory::limits()
{
    const QMutexLocker locker(&g_limitsLock);
    return g_limits;
}

void ImageCacheFactory::setLimits(Limits limits)
{
    const QMutexLocker locker(&g_limitsLock);
    g_limits = limits;
}

void ImageCacheFactory::resetLimits()
{
    setLimits(programLimits);
}
