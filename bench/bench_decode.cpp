// Decoding a whole movie catalogue ("get_vod_streams", 200,000 rows) into MediaItem records:
// simdjson with the shared reading rules against the same records made through QJsonDocument.
#include "benchsupport.h"

#include "api/decoders.h"
#include "api/jsondocument.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

// The baseline: the same fields and fallbacks, read from Qt's own JSON values.
QString qtText(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Double:
        return QString::number(qint64(value.toDouble()));
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    default:
        return {};
    }
}

QList<MediaItem> decodeWithQt(const QByteArray &body)
{
    QList<MediaItem> items;
    const QJsonDocument document = QJsonDocument::fromJson(body);
    const QJsonArray rows = document.array();
    items.reserve(rows.size());
    for (const QJsonValue &value : rows) {
        const QJsonObject row = value.toObject();
        MediaItem &item = items.emplace_back();
        item.kind = MediaItem::Kind::movie;
        item.id = qtText(row.value(QLatin1String("stream_id")));
        item.name = qtText(row.value(QLatin1String("name")));
        item.categoryId = qtText(row.value(QLatin1String("category_id")));
        item.containerExt = qtText(row.value(QLatin1String("container_extension")));
        if (item.containerExt.isEmpty())
            item.containerExt = QStringLiteral("mp4");
        item.setIcon(qtText(row.value(QLatin1String("stream_icon"))));
        item.setAdded(qtText(row.value(QLatin1String("added"))));
        const QJsonValue rating = row.value(QLatin1String("rating_5based"));
        bool ok = false;
        item.rating5 = rating.isDouble() ? rating.toDouble() : qtText(rating).toDouble(&ok);
    }
    return items;
}

QList<MediaItem> decodeInRuns(QByteArray &body)
{
    if (auto items = MavuAPI::decode::streamsInParts(body, MediaItem::Kind::movie))
        return std::move(*items);
    return {};
}

QList<MediaItem> decodeWithSimdjson(const QByteArray &body)
{
    JsonDocument document;
    if (!document.parse(body))
        return {};
    return MavuAPI::decode::streams(document.root(), MediaItem::Kind::movie);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int rows = 200000;
    QByteArray body = Bench::vodStreamsAnswer(rows);
    const double megabytes = body.size() / 1e6;
    std::printf("decode get_vod_streams: %d rows, %.1f MB\n", rows, megabytes);

    QList<MediaItem> held = decodeWithSimdjson(body);
    const qint64 heldBytes = Bench::bytesHeld(held);
    if (held.size() != rows || decodeWithQt(body) != held || decodeInRuns(body) != held) {
        std::fprintf(stderr, "the two decoders disagree\n");
        return 1;
    }
    held.clear();

    const double runs = Bench::bestMs(5, [&] { decodeInRuns(body); });
    const double whole = Bench::bestMs(5, [&] { decodeWithSimdjson(body); });
    const double baseline = Bench::bestMs(3, [&] { decodeWithQt(body); });
    const auto speed = [&](double ms) { return QStringLiteral("%1 ms, %2 MB/s").arg(ms, 0, 'f', 1).arg(megabytes / ms * 1000, 0, 'f', 0); };
    Bench::row("simdjson in runs of rows, one per core", speed(runs));
    Bench::row("simdjson, the whole answer at once", speed(whole));
    Bench::row("QJsonDocument baseline", speed(baseline));
    Bench::row("speed-up against the baseline", QStringLiteral("%1x (whole answer at once %2x)").arg(baseline / runs, 0, 'f', 2).arg(baseline / whole, 0, 'f', 2));
    Bench::row("bytes held per record", QStringLiteral("%1 (sizeof MediaItem %2)").arg(heldBytes / rows).arg(sizeof(MediaItem)));
    return 0;
}
