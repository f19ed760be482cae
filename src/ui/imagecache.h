#pragma once

#include <QQmlNetworkAccessManagerFactory>

#include <chrono>

// Every remote picture of the screens (theme backgrounds, posters, logos) goes through one
// disk cache in the user's cache folder; a poster seen once comes from disk from then on.
//
// Pictures never hold up the provider's requests: they travel on managers of their own (Qt
// opens at most six connections to a host per manager, so a screen of posters waiting on a
// slow host cannot take the connections the catalogue needs), and each picture has a time-out
// for a silent server, a deadline for a slow one and a size limit for an endless one. A
// picture that fails shows its placeholder.
class ImageCacheFactory : public QQmlNetworkAccessManagerFactory
{
public:
    QNetworkAccessManager *create(QObject *parent) override;

    static QString cacheDirectory();

    struct Limits
    {
        std::chrono::milliseconds idle;
        std::chrono::milliseconds deadline;
        qint64 maxBytes;
    };
    static Limits limits();

    // Lets tests shorten the limits; resetLimits() restores the program's.
    static void setLimits(Limits limits);
    static void resetLimits();
};
