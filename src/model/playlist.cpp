#include "playlist.h"

#include "urltext.h"

#include <QDir>
#include <QFileInfo>
#include <QUrlQuery>

namespace {

std::optional<QUrl> apiAddress(const QString &host, const QList<std::pair<QString, QString>> &items)
{
    QUrl url = UrlText::parse(host + QStringLiteral("/player_api.php"));
    // A "#" inside the host text would move "/player_api.php" into a fragment; a query is replaced below.
    if (!url.isValid() || url.hasFragment())
        return std::nullopt;
    url.setQuery(UrlText::encodeQuery(items), QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;
    return url;
}

} // namespace

std::optional<QUrl> Playlist::playerApiURL(const QString &action, const QMap<QString, QString> &extra) const
{
    QList<std::pair<QString, QString>> items{
        {QStringLiteral("username"), username},
        {QStringLiteral("password"), password},
        {QStringLiteral("action"), action},
    };
    for (auto it = extra.cbegin(); it != extra.cend(); ++it)
        items.append({it.key(), it.value()});
    return apiAddress(host, items);
}

std::optional<QUrl> Playlist::loginURL() const
{
    return apiAddress(host, {{QStringLiteral("username"), username}, {QStringLiteral("password"), password}});
}

std::optional<Playlist> Playlist::fromM3uURL(const QString &text)
{
    if (!text.contains(QLatin1String("username=")) || !text.contains(QLatin1String("password=")))
        return std::nullopt;
    const QUrl url = UrlText::parse(text);
    if (!url.isValid())
        return std::nullopt;

    Playlist playlist;
    const qsizetype question = text.indexOf(QLatin1Char('?'));
    playlist.host = (question < 0 ? text : text.left(question));
    playlist.host.remove(QLatin1String("/get.php"));

    // Percent-decoded values; "+" stays "+" (it is not a blank in this position).
    const QUrlQuery query(url);
    for (const auto &[name, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (name == QLatin1String("username"))
            playlist.username = value;
        else if (name == QLatin1String("password"))
            playlist.password = value;
    }
    return playlist;
}

std::optional<Playlist> Playlist::providerOfM3u(const QString &text)
{
    const QString trimmed = text.trimmed();
    const QUrl url = UrlText::parse(trimmed);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        || !url.path().endsWith(QLatin1String("/get.php"), Qt::CaseInsensitive))
        return std::nullopt;
    const QUrlQuery query(url);
    if (query.queryItemValue(QStringLiteral("username"), QUrl::FullyDecoded).isEmpty()
        || query.queryItemValue(QStringLiteral("password"), QUrl::FullyDecoded).isEmpty())
        return std::nullopt;
    std::optional<Playlist> playlist = fromM3uURL(trimmed);
    if (playlist && playlist->host.endsWith(QLatin1Char('/')))
        playlist->host.chop(1);
    return playlist;
}

Playlist Playlist::m3u(const QString &text)
{
    Playlist playlist;
    playlist.kind = Kind::m3u;
    const QString trimmed = text.trimmed();
    const QUrl url = UrlText::parse(trimmed);
    if (url.isLocalFile())
        playlist.host = QDir::cleanPath(QFileInfo(url.toLocalFile()).absoluteFilePath());
    else if (trimmed.startsWith(QLatin1Char('/')) || trimmed.startsWith(QLatin1Char('~')))
        playlist.host = QDir::cleanPath(trimmed.startsWith(QLatin1Char('~')) ? QDir::homePath() + trimmed.mid(1) : trimmed);
    else
        playlist.host = trimmed;
    return playlist;
}

std::optional<QUrl> Playlist::m3uURL() const
{
    if (!isM3u() || host.isEmpty())
        return std::nullopt;
    if (host.startsWith(QLatin1Char('/')))
        return QUrl::fromLocalFile(host);
    const QUrl url = UrlText::parse(host);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return std::nullopt;
    return url;
}
