#pragma once

#include <QMap>
#include <QMetaType>
#include <QString>
#include <QUrl>

#include <optional>

// One source of a library: a provider connection (the panel's base address and the account
// on it), or a plain M3U list (its address, or a local file's path, in `host`).
class Playlist
{
    Q_GADGET
    Q_PROPERTY(QString host MEMBER host CONSTANT FINAL)
    Q_PROPERTY(QString username MEMBER username CONSTANT FINAL)
    Q_PROPERTY(bool isM3u READ isM3u CONSTANT FINAL)

public:
    enum class Kind { provider, m3u };

    QString host;     // scheme, host, optional port and path prefix; no trailing "/player_api.php"
    QString username;
    QString password;
    Kind kind = Kind::provider;

    friend bool operator==(const Playlist &, const Playlist &) = default;

    // "<host>/player_api.php?username=…&password=…&action=…&<extra>"; absent when the text is no address.
    std::optional<QUrl> playerApiURL(const QString &action, const QMap<QString, QString> &extra = {}) const;
    // The account request: only the two credential items.
    std::optional<QUrl> loginURL() const;

    bool isM3u() const { return kind == Kind::m3u; }
    // An M3U list at `text`: an http(s) address, a file: address or a local path. A local
    // path is kept absolute and cleaned, so the same file is the same playlist.
    static Playlist m3u(const QString &text);
    // Where an M3U list is read from: an http(s) address or a local file; nothing otherwise.
    std::optional<QUrl> m3uURL() const;

    // A provider's own list address ("<base>/get.php?username=…&password=…&type=m3u_plus") typed
    // where a plain M3U list goes: the provider account it stands for. Nothing for other lists.
    static std::optional<Playlist> providerOfM3u(const QString &text);

    // Reads a provider playlist address such as "<base>/get.php?username=u&password=p&type=m3u".
    static std::optional<Playlist> fromM3uURL(const QString &text);
};

Q_DECLARE_METATYPE(Playlist)
