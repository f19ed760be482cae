// The lab's wire handling: byte ranges, form queries, the media folder's path check, and a
// whole request line read into a path and query the way the routes see them. The first byte
// picks the part, the rest is the header, query, path or request line.
#include "httpwire.h"
#include "media.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *what, const QByteArray &detail)
{
    std::fprintf(stderr, "%s: %s\n", what, detail.constData());
    std::abort();
}

// A media folder with one picture, beside a secret the paths must never reach.
struct Folder
{
    QTemporaryDir root;
    QString media;
    Folder()
    {
        media = root.filePath(QStringLiteral("media"));
        QDir().mkpath(media + QStringLiteral("/logos"));
        QFile(media + QStringLiteral("/logos/1.png")).open(QIODevice::WriteOnly);
        QFile(root.filePath(QStringLiteral("secret"))).open(QIODevice::WriteOnly);
        QFile::link(root.filePath(QStringLiteral("secret")), media + QStringLiteral("/logos/link.png"));
    }
};

// A picture the lab would serve for these segments lies inside its media folder.
void checkServed(const QStringList &segments, const QByteArray &input)
{
    static Folder folder;
    static const Lab::MediaLibrary library(folder.media);
    const QString served = library.imagePath(segments);
    if (!served.isEmpty()) {
        const QString resolved = QFileInfo(served).canonicalFilePath();
        const QString inside = QFileInfo(folder.media).canonicalFilePath() + QLatin1Char('/');
        if (!resolved.startsWith(inside))
            fail("a served path outside the media folder", input);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray input(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    switch (data[0] % 4) {
    case 0: {
        // Any resource size, any header: a partial answer lies inside the resource.
        const qint64 resource = qint64(data[0]) * 997 % 100000;
        const HttpWire::Range range = HttpWire::range(input, resource);
        if (range.kind == HttpWire::Range::Kind::partial
            && (range.from < 0 || range.to >= resource || range.from > range.to))
            fail("a range outside the resource", input);
        if (range.kind == HttpWire::Range::Kind::whole && (range.from != 0 || range.to != resource - 1))
            fail("a whole answer that is not the whole resource", input);
        (void)range.contentRange(resource);
        break;
    }
    case 1: {
        const auto items = HttpWire::parseQuery(input);
        if (items.size() > input.count('&') + 1)
            fail("more query items than pieces", input);
        break;
    }
    case 2:
        checkServed(QString::fromUtf8(input).split(QLatin1Char('\x1f')), input);
        break;
    default: {
        // "METHOD target HTTP/1.1" as a server reads it: the target between the first and the
        // last blank, taken as an encoded address on the lab's own host.
        const qsizetype first = input.indexOf(' ');
        const qsizetype last = input.lastIndexOf(' ');
        if (first < 0 || last <= first)
            break;
        QUrl url = QUrl::fromEncoded(input.mid(first + 1, last - first - 1));
        if (!url.isValid())
            break;
        url.setScheme(QStringLiteral("http"));
        url.setHost(QStringLiteral("127.0.0.1"));
        const QByteArray path = url.path(QUrl::FullyEncoded).toUtf8();
        const QByteArray query = url.query(QUrl::FullyEncoded).toUtf8();
        const HttpWire::Target target = HttpWire::target(path, query);
        // Every "/" on the wire parts two segments; a decoded one never does.
        if (target.segments.size() != path.count('/') + (path.startsWith('/') ? 0 : 1) - (path.isEmpty() ? 1 : 0))
            fail("segments that are not the path's", input);
        if (target.path != QLatin1Char('/') + target.segments.join(QLatin1Char('/')))
            fail("a reported path that is not the segments", input);
        if (target.query.size() > (query.isEmpty() ? 0 : query.count('&') + 1))
            fail("more query items than pieces", input);
        if (target.segments.value(0) == QLatin1String("images"))
            checkServed(target.segments.mid(1), input);
        break;
    }
    }
    return 0;
}
