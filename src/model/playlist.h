#pragma once

#include <QMap>
#include <QMetaType>
#include <QString>
#include <QUrl>

#include <optional>

// One provider connection: the panel's base address and the account on it.
class Playlist
{
    Q_GADGET
    Q_PROPERTY(QString host MEMBER host CONSTANT FINAL)
    Q_PROPERTY(QString username MEMBER username CONSTANT FINAL)

public:
    QString host;     // scheme, host, optional port and path prefix; no trailing "/player_api.php"
    QString username;
    QString password;

    friend bool operator==(const Playlist &, const Playlist &) = default;

    // "<host>/player_api.php?username=…&password=…&action=…&<extra>"; absent when the text is no address.
    std::optional<QUrl> playerApiURL(const QString &action, const QMap<QString, QString> &extra = {}) const;
    // The account request: only the two credential items.
    std::optional<QUrl> loginURL() const;

    // Reads a provider playlist address such as "<base>/get.php?username=u&password=p&type=m3u".
    static std::optional<Playlist> fromM3uURL(const QString &text);
};

Q_DECLARE_METATYPE(Playlist)
