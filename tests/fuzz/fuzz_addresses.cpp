// Addresses from hostile values: a playlist address keeps its credentials on the way to the
// API address, and stream, catch-up and trailer addresses keep the panel's scheme, host and
// port and carry no query or fragment. The input is split into fields at NUL bytes.
#include "api/streamaddress.h"
#include "model/playlist.h"

#include <QUrlQuery>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *what, const QString &detail)
{
    std::fprintf(stderr, "%s: %s\n", what, qPrintable(detail));
    std::abort();
}

void checkStream(const std::optional<QUrl> &url, const QUrl &base, const QString &host)
{
    if (!url)
        return;
    if (url->scheme() != base.scheme() || url->host() != base.host() || url->port() != base.port())
        fail("stream address left the panel", url->toString() + QStringLiteral(" from ") + host);
    if (url->hasFragment() || url->hasQuery())
        fail("stream address with a query or fragment", url->toString());
    const QString text = url->toString(QUrl::FullyEncoded);
    if (text.contains(QLatin1Char(' ')) || text.contains(QLatin1Char('\n')) || text.contains(QLatin1String("/../"))
        || text.endsWith(QLatin1String("/..")))
        fail("stream address with a blank or a dot segment", text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QList<QByteArray> parts = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)).split('\0');
    const auto part = [&](qsizetype i) { return QString::fromUtf8(parts.value(i)); };

    // A playlist address typed or attached: the credentials read from it go into the API
    // address and come back out of it unchanged.
    if (const auto playlist = Playlist::fromM3uURL(part(0))) {
        if (const auto api = playlist->playerApiURL(QStringLiteral("get_live_streams"))) {
            const QUrlQuery query(*api);
            if (query.queryItemValue(QStringLiteral("username"), QUrl::FullyDecoded) != playlist->username
                || query.queryItemValue(QStringLiteral("password"), QUrl::FullyDecoded) != playlist->password)
                fail("credentials changed on the way to the API address", part(0));
            if (api->hasFragment())
                fail("API address with a fragment", api->toString());
        }
    }

    Playlist playlist{.host = QStringLiteral("http://panel.test:8080/p"), .username = part(1), .password = part(2)};
    if (parts.size() > 6 && !parts.at(6).isEmpty())
        playlist.host = part(6);
    const QUrl base(playlist.host);
    checkStream(StreamAddress::stream(playlist, QStringLiteral("live"), part(3), part(4)), base, playlist.host);
    checkStream(StreamAddress::catchup(playlist, part(3), qint64(size % 300), part(5)), base, playlist.host);

    const QString site = QStringLiteral("https://videos.test");
    if (const auto trailer = StreamAddress::trailer(site, part(3))) {
        if (trailer->host() != QLatin1String("videos.test") || trailer->scheme() != QLatin1String("https")
            || trailer->hasFragment() || trailer->path() != QLatin1String("/watch")
            || trailer->query() != QStringLiteral("v=") + part(3))
            fail("trailer left the site", trailer->toString());
    }
    if (const auto picture = StreamAddress::webPicture(part(0))) {
        if (picture->scheme() != QLatin1String("http") && picture->scheme() != QLatin1String("https"))
            fail("picture that is not on the web", picture->toString());
    }
    return 0;
}
