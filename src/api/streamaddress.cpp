#include "streamaddress.h"

#include "model/urltext.h"

#include <algorithm>

namespace StreamAddress {

namespace {

bool isControl(QChar c)
{
    const char16_t u = c.unicode();
    return u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0) || u == 0x2028 || u == 0x2029;
}

bool isWeb(const QUrl &url)
{
    const QString scheme = url.scheme();
    return (scheme == QLatin1String("http") || scheme == QLatin1String("https")) && !url.host().isEmpty();
}

// The playlist's base address, when it is one a stream may come from: http(s) with a host, and
// nothing after the path that appended segments could end up behind, and no "." or ".." in
// the path that a server would resolve to somewhere else than the panel's own folder.
std::optional<QUrl> baseOf(const Playlist &playlist)
{
    const QUrl base = UrlText::parse(playlist.host);
    if (!base.isValid() || !isWeb(base) || base.hasQuery() || base.hasFragment())
        return std::nullopt;
    const QStringList segments = base.path(QUrl::FullyDecoded).split(QLatin1Char('/'));
    if (segments.contains(QLatin1String(".")) || segments.contains(QLatin1String("..")))
        return std::nullopt;
    return base;
}

// `text` appended to the base, accepted only when it kept the base's origin and path and added
// no query or fragment.
std::optional<QUrl> appended(const Playlist &playlist, const QString &tail)
{
    const auto base = baseOf(playlist);
    if (!base)
        return std::nullopt;
    const QUrl url = UrlText::parse(playlist.host + tail);
    if (!url.isValid() || url.scheme() != base->scheme() || url.host() != base->host() || url.port() != base->port()
        || url.userInfo() != base->userInfo() || url.hasQuery() || url.hasFragment()
        || !url.path(QUrl::FullyEncoded).startsWith(base->path(QUrl::FullyEncoded)))
        return std::nullopt;
    return url;
}

std::optional<QString> accountPath(const Playlist &playlist, const QString &kind)
{
    const auto user = segment(playlist.username, true);
    const auto password = segment(playlist.password, true);
    if (!user || !password)
        return std::nullopt;
    return QLatin1Char('/') + kind + QLatin1Char('/') + *user + QLatin1Char('/') + *password + QLatin1Char('/');
}

} // namespace

std::optional<QString> segment(const QString &value, bool mayBeEmpty)
{
    if (value.isEmpty())
        return mayBeEmpty ? std::optional<QString>(QString()) : std::nullopt;
    if (value == QLatin1String(".") || value == QLatin1String(".."))
        return std::nullopt;
    if (std::any_of(value.cbegin(), value.cend(), isControl))
        return std::nullopt;
    // "/", "?", "#", "%" and blanks are encoded; the sub-delimiters stay as servers expect them.
    static const QByteArray keep = QByteArrayLiteral("!$&'()*+,;=:@");
    return QString::fromLatin1(QUrl::toPercentEncoding(value, keep));
}

bool isExtension(const QString &text)
{
    if (text.isEmpty() || text.size() > 16)
        return false;
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
    });
}

std::optional<QUrl> stream(const Playlist &playlist, const QString &kind, const QString &streamId,
                           const QString &extension)
{
    const auto account = accountPath(playlist, kind);
    const auto id = segment(streamId);
    if (!account || !id || !isExtension(extension))
        return std::nullopt;
    return appended(playlist, *account + *id + QLatin1Char('.') + extension);
}

std::optional<QUrl> catchup(const Playlist &playlist, const QString &channelId, qint64 minutes,
                            const QString &startText)
{
    const auto account = accountPath(playlist, QStringLiteral("timeshift"));
    const auto start = segment(startText);
    const auto channel = segment(channelId);
    if (!account || !start || !channel || minutes < 1)
        return std::nullopt;
    return appended(playlist, *account + QString::number(minutes) + QLatin1Char('/') + *start + QLatin1Char('/')
                                  + *channel + QStringLiteral(".m3u8"));
}

std::optional<Playlist> accountOf(const QUrl &stream)
{
    if (!stream.isValid() || !isWeb(stream) || stream.hasQuery() || stream.hasFragment())
        return std::nullopt;
    const QStringList segments = stream.path(QUrl::FullyEncoded).split(QLatin1Char('/'));
    const qsizetype n = segments.size();
    // From the end, where the builders put the account: a path prefix may hold anything.
    qsizetype kind = -1;
    if (n >= 6 && segments[n - 6] == QLatin1String("timeshift") && segments[n - 1].endsWith(QLatin1String(".m3u8")))
        kind = n - 6;
    else if (n >= 4 && (segments[n - 4] == QLatin1String("live") || segments[n - 4] == QLatin1String("movie")
                        || segments[n - 4] == QLatin1String("series")))
        kind = n - 4;
    if (kind < 1 || segments[kind + 1].isEmpty())
        return std::nullopt;
    QUrl base = stream;
    base.setPath(segments.mid(0, kind).join(QLatin1Char('/')));
    Playlist playlist;
    playlist.host = QString::fromUtf8(base.toEncoded());
    playlist.username = QUrl::fromPercentEncoding(segments[kind + 1].toUtf8());
    playlist.password = QUrl::fromPercentEncoding(segments[kind + 2].toUtf8());
    return playlist;
}

bool isTrailerId(const QString &text)
{
    if (text.isEmpty() || text.size() > 64)
        return false;
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_'
            || c == u'-';
    });
}

std::optional<QUrl> trailer(const QString &siteOrigin, const QString &videoId)
{
    if (!isTrailerId(videoId))
        return std::nullopt;
    QUrl url = UrlText::parse(siteOrigin);
    if (!url.isValid() || !isWeb(url))
        return std::nullopt;
    url.setPath(QStringLiteral("/watch"));
    url.setQuery(QStringLiteral("v=") + videoId);
    url.setFragment(QString());
    if (!url.isValid())
        return std::nullopt;
    return url;
}

std::optional<QUrl> webPicture(const QString &text)
{
    if (text.isEmpty() || std::any_of(text.cbegin(), text.cend(), isControl))
        return std::nullopt;
    const QUrl url = UrlText::parse(text);
    if (!url.isValid() || !isWeb(url))
        return std::nullopt;
    return url;
}

} // namespace StreamAddress
