// M3U lists from hostile servers and files: the reader never crashes, keeps no more entries
// than the list has lines, keeps only addresses of the stream schemes (local files only from
// a local list), lets nothing but the two allowed options through, and reads the same
// whichever way the bytes are split, also by two readers joined at a fresh line. The first byte picks the list's own address and the
// piece size; the rest is the list.
#include "api/m3ureader.h"

#include <QHash>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *what, const QString &detail)
{
    std::fprintf(stderr, "%s: %s\n", what, qPrintable(detail));
    std::abort();
}

bool hasControl(const QString &text)
{
    for (QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    }
    return false;
}

M3uCatalogue read(const QUrl &base, QByteArrayView list, qsizetype piece, bool &ok)
{
    M3uReader reader(base);
    for (qsizetype at = 0; at < list.size(); at += piece)
        reader.feed(list.sliced(at, std::min(piece, list.size() - at)));
    auto result = reader.finish();
    ok = result.ok();
    return ok ? std::move(result).value() : M3uCatalogue{};
}

// Two readers, the second from the fresh line past the middle, joined: as one reader reads.
M3uCatalogue readInTwo(const QUrl &base, QByteArrayView list, bool &ok)
{
    M3uReader reader(base);
    const qsizetype cut = M3uReader::freshLineAfter(list, list.size() / 2);
    reader.feed(cut < 0 ? list : list.first(cut));
    if (cut >= 0) {
        const std::unique_ptr<M3uReader> tail = reader.continuation();
        if (tail)
            tail->feed(list.sliced(cut));
        if (!tail || !reader.join(*tail))
            reader.feed(list.sliced(cut));
    }
    auto result = reader.finish();
    ok = result.ok();
    return ok ? std::move(result).value() : M3uCatalogue{};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArrayView list(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    static const QUrl bases[] = {QUrl(QStringLiteral("http://lists.test/a/b.m3u?x=1")), QUrl(QStringLiteral("file:///home/u/list.m3u")),
                                 QUrl()};
    const QUrl &base = bases[data[0] % 3];
    const bool local = base.isLocalFile();
    const qsizetype piece = 1 + data[0] / 3 % 64;

    bool ok = false;
    const M3uCatalogue whole = read(base, list, list.size() + 1, ok);
    bool splitOk = false;
    const M3uCatalogue split = read(base, list, piece, splitOk);
    if (ok != splitOk)
        fail("the split list read differently", QString::number(piece));
    bool halvesOk = false;
    const M3uCatalogue halves = readInTwo(base, list, halvesOk);
    if (ok != halvesOk)
        fail("the halves read differently", QString());
    if (!ok)
        return 0;

    const qsizetype lines = list.count('\n') + 1;
    if (whole.size() > lines)
        fail("more entries than lines", QString::number(whole.size()));
    if (!whole.guideURL().isEmpty() && !whole.guideURL().startsWith(QLatin1String("http"), Qt::CaseInsensitive))
        fail("guide address not http(s)", whole.guideURL());

    // Ids are made from an entry's guide id, title and last address segment: entries equal in
    // all three share one (and play the first), so the per-entry checks skip those.
    QHash<QString, int> idCount;
    for (Section section : allCases<Section>()) {
        for (const MediaItem &item : whole.items(section))
            ++idCount[item.id];
    }
    qsizetype items = 0;
    for (Section section : allCases<Section>()) {
        const QList<MediaItem> all = whole.items(section);
        if (all != split.items(section) || whole.categories(section) != split.categories(section))
            fail("the split list read differently", rawValue(section));
        if (all != halves.items(section) || whole.categories(section) != halves.categories(section))
            fail("the halves read differently", rawValue(section));
        if (all.size() != whole.itemCount(section))
            fail("item count differs from the items", rawValue(section));
        qsizetype inGroups = 0;
        for (const Category &category : whole.categories(section))
            inGroups += whole.items(section, category.id).size();
        if (inGroups != all.size())
            fail("groups do not add up to their section", rawValue(section));
        items += all.size();
        for (const MediaItem &item : all) {
            const auto stream = whole.stream(item.id);
            if (!stream)
                fail("an item without its stream", item.id);
            if (stream != split.stream(item.id) || stream != halves.stream(item.id))
                fail("the split list read a stream differently", item.id);
            const QUrl url(stream->url);
            const QString scheme = url.scheme().toLower();
            static const QStringList allowed{QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("rtsp"),
                                             QStringLiteral("rtmp"), QStringLiteral("udp"),   QStringLiteral("rtp")};
            if (!allowed.contains(scheme) && !(local && scheme == QLatin1String("file")))
                fail("an address of a refused scheme", stream->url);
            if (hasControl(stream->url) || hasControl(stream->userAgent) || hasControl(stream->referrer) || hasControl(stream->catchup)
                || hasControl(stream->catchupSource))
                fail("a control character reached the player", stream->url);
            if (!item.icon().isEmpty() && !item.icon().startsWith(QLatin1String("http"), Qt::CaseInsensitive))
                fail("a picture address not http(s)", item.icon());
            if (idCount.value(item.id) == 1 && item.tvArchive != !stream->catchup.isEmpty())
                fail("catch-up said by the item but not the stream", item.id);
        }
    }
    if (whole.guideURL() != halves.guideURL() || whole.skippedLines() != halves.skippedLines())
        fail("the halves read differently", halves.guideURL());
    if (items != whole.size())
        fail("sections do not add up to the list", QString::number(items));
    return 0;
}
