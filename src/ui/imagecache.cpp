#include "imagecache.h"

#include <QNetworkAccessManager>
#include <QNetworkDiskCache>
#include <QNetworkRequest>
#include <QStandardPaths>

namespace {

// Pictures rarely change behind the same address and providers seldom send caching headers:
// use what is on disk before asking the network again.
class PreferCacheAccessManager : public QNetworkAccessManager
{
public:
    using QNetworkAccessManager::QNetworkAccessManager;

protected:
    QNetworkReply *createRequest(Operation op, const QNetworkRequest &original, QIODevice *data) override
    {
        QNetworkRequest request(original);
        if (op == GetOperation)
            request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::PreferCache);
        return QNetworkAccessManager::createRequest(op, request, data);
    }
};

} // namespace

QString ImageCacheFactory::cacheDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/images");
}

QNetworkAccessManager *ImageCacheFactory::create(QObject *parent)
{
    auto *manager = new PreferCacheAccessManager(parent);
    auto *cache = new QNetworkDiskCache(manager);
    cache->setCacheDirectory(cacheDirectory());
    cache->setMaximumCacheSize(qint64(256) * 1024 * 1024);
    manager->setCache(cache);
    return manager;
}
