// Guide texts and list rules: Base64 unwrapping, catch-up start texts moved by any offset,
// the name filter against a plain folded "contains", and the orderings with any ratings
// (NaN and infinities included).
#include "api/decoders.h"
#include "api/streamaddress.h"
#include "store/catalogue.h"
#include "store/catchuptext.h"

#include <QDateTime>
#include <QRegularExpression>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>

namespace {

[[noreturn]] void fail(const char *what, const QString &detail)
{
    std::fprintf(stderr, "%s: %s\n", what, qPrintable(detail));
    std::abort();
}

// "date:H-m" with a clock of one or two digits each, as a date text and a clock.
struct StartParts
{
    QString date;
    QTime clock;
};
std::optional<StartParts> partsOf(const QString &startText)
{
    static const QRegularExpression shape(QStringLiteral("^([^:]*):([0-9]{1,2}-[0-9]{1,2})$"));
    const QRegularExpressionMatch match = shape.match(startText);
    if (!match.hasMatch())
        return std::nullopt;
    const QTime clock = QTime::fromString(match.captured(2), QStringLiteral("H-m"));
    if (!clock.isValid())
        return std::nullopt;
    return StartParts{match.captured(1), clock};
}

// The same read as a UTC date and clock (a clock without changes), or invalid.
QDateTime clockOf(const StartParts &parts)
{
    const QDate date = QDate::fromString(parts.date, QStringLiteral("yyyy-MM-dd"));
    return date.isValid() ? QDateTime(date, parts.clock, Qt::UTC) : QDateTime();
}

// A start text moved by an offset is a clock again, agrees with a UTC clock moved as far,
// comes back when moved back, and its address stays on the panel.
void checkCatchup(const QString &programStart, qint64 offset)
{
    const QString start = CatchupText::startText(programStart);
    const auto moved = CatchupText::shifted(start, offset);
    if (!moved)
        return;
    static const QRegularExpression shape(QStringLiteral("^[^:]*:([01][0-9]|2[0-3])-[0-5][0-9]$"));
    if (!shape.match(*moved).hasMatch())
        fail("a moved start text that is no clock", *moved);

    const auto startParts = partsOf(start);
    const auto movedParts = partsOf(*moved);
    if (startParts && movedParts) {
        const QDateTime from = clockOf(*startParts);
        if (from.isValid() && offset > -1'000'000'000 && offset < 1'000'000'000
            && from.addSecs(offset * 60) != clockOf(*movedParts))
            fail("a moved start text that disagrees with the clock", start + QLatin1Char(' ') + *moved);
        // An unreadable date stays as it was while the clock still moves.
        if (!from.isValid()
            && (movedParts->date != startParts->date
                || startParts->clock.addSecs(int(offset % 1440) * 60) != movedParts->clock))
            fail("an unreadable date changed, or its clock moved wrongly", start + QLatin1Char(' ') + *moved);
    }
    if (startParts && offset != std::numeric_limits<qint64>::min()) {
        const auto back = CatchupText::shifted(*moved, -offset);
        const auto backParts = back ? partsOf(*back) : std::nullopt;
        if (!backParts || backParts->clock != startParts->clock
            || (backParts->date != startParts->date && clockOf(*backParts) != clockOf(*startParts)))
            fail("a start text that does not come back", start + QLatin1Char(' ') + *moved);
    }

    const Playlist playlist{.host = QStringLiteral("http://panel.test:8080"), .username = QStringLiteral("u"),
                            .password = QStringLiteral("p")};
    if (const auto url = StreamAddress::catchup(playlist, QStringLiteral("7"), 30, *moved)) {
        if (url->host() != QLatin1String("panel.test") || url->port() != 8080 || url->hasFragment() || url->hasQuery()
            || url->path(QUrl::FullyEncoded).count(QLatin1Char('/')) != 6)
            fail("a catch-up address off the panel or out of shape", url->toString());
    }
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
    // The second line as a guide entry's start; the offset mostly inside a week, now and
    // then anything at all.
    qint64 offset = 0;
    if (size >= 8)
        std::memcpy(&offset, data + size - 8, sizeof offset);
    if (data[0] % 4 != 0)
        offset %= 20'000;
    checkCatchup(lines.at(1), offset);
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
        item.setAdded(QString::number(rating, 'g', 17));
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
