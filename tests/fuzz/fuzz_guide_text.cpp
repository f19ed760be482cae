// Guide texts and list rules: Base64 unwrapping, the name filter against a plain folded
// "contains", and the orderings with any ratings (NaN and infinities included).
#include "api/decoders.h"
#include "store/catalogue.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

[[noreturn]] void fail(const char *what, const QString &detail)
{
    std::fprintf(stderr, "%s: %s\n", what, qPrintable(detail));
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString text = QString::fromUtf8(bytes);

    // Unwrapping: either the text unchanged, or the exact UTF-8 behind strict Base64.
    const QString shown = MavuAPI::decode::unwrapBase64(text);
    if (shown != text) {
        const auto decoded = QByteArray::fromBase64Encoding(text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded || QString::fromUtf8(*decoded) != shown)
            fail("unwrapped into something else", text);
    }
    // Wrapping valid UTF-8 and unwrapping it gives the text back.
    if (!text.isEmpty() && text.toUtf8() == bytes) {
        const QString wrapped = QString::fromLatin1(bytes.toBase64());
        if (MavuAPI::decode::unwrapBase64(wrapped) != text)
            fail("a wrapped text did not come back", text);
    }

    // Items: names from the lines of the input, ratings and numbers from its bytes.
    const QStringList lines = text.split(QLatin1Char('\n'));
    if (lines.size() < 2)
        return 0;
    const QString search = lines.first();
    QList<MediaItem> items;
    for (qsizetype i = 1; i < lines.size() && i < 64; ++i) {
        MediaItem item;
        item.id = QString::number(i);
        item.name = lines.at(i);
        double rating = 0;
        const size_t at = size_t(i) * 8 % (size >= 8 ? size - 7 : 1);
        if (size >= 8)
            std::memcpy(&rating, data + at, sizeof rating);
        item.rating5 = rating;
        item.num = int(data[size_t(i) % size]) - 128;
        item.added = QString::number(rating, 'g', 17);
        items.append(item);
    }

    Catalogue::NameFilter filter;
    filter.setItems(items);
    const auto matched = filter.match(search);
    const QString needle = Catalogue::foldForSearch(Catalogue::trimmedSearch(search));
    if (needle.isEmpty() != !matched.has_value())
        fail("an empty search that filters, or the other way round", search);
    if (matched) {
        QList<qsizetype> expected;
        for (qsizetype i = 0; i < items.size(); ++i) {
            if (Catalogue::foldForSearch(items.at(i).name).contains(needle))
                expected.append(i);
        }
        if (*matched != expected)
            fail("the name filter differs from a plain contains", search);
    }

    const QCollator collator = Catalogue::nameCollator();
    for (const VodSort sort : {VodSort::added, VodSort::number, VodSort::rating, VodSort::az, VodSort::za}) {
        const QList<MediaItem> sorted = Catalogue::sortedVod(items, sort, collator);
        QStringList before, after;
        for (const MediaItem &item : items)
            before.append(item.id);
        for (const MediaItem &item : sorted)
            after.append(item.id);
        before.sort();
        after.sort();
        if (before != after)
            fail("an ordering lost or repeated items", text);
    }
    for (int live = 0; live < 3; ++live) {
        if (Catalogue::sortedLive(items, live, collator).size() != items.size())
            fail("a live ordering lost items", text);
    }
    return 0;
}
