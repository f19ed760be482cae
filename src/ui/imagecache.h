#pragma once

#include <QQmlNetworkAccessManagerFactory>

// Every remote picture of the screens (theme backgrounds, posters, logos) goes through one
// disk cache in the user's cache folder; a poster seen once comes from disk from then on.
class ImageCacheFactory : public QQmlNetworkAccessManagerFactory
{
public:
    QNetworkAccessManager *create(QObject *parent) override;

    static QString cacheDirectory();
};
