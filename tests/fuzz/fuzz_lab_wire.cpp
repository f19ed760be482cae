// The lab's wire handling: byte ranges, form queries and the media folder's path check. The
// first byte picks the part, the rest is the header, query or path.
#include "httpwire.h"
#include "media.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray input(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    switch (data[0] % 3) {
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
    default: {
        static Folder folder;
        static const Lab::MediaLibrary library(folder.media);
        const QStringList segments = QString::fromUtf8(input).split(QLatin1Char('\x1f'));
        const QString served = library.imagePath(segments);
        if (!served.isEmpty()) {
            const QString resolved = QFileInfo(served).canonicalFilePath();
            const QString inside = QFileInfo(folder.media).canonicalFilePath() + QLatin1Char('/');
            if (!resolved.startsWith(inside))
                fail("a served path outside the media folder", input);
        }
        break;
    }
    }
    return 0;
}
