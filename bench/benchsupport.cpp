#include "benchsupport.h"

#include <QRandomGenerator>

#include <QSet>

namespace Bench {

QByteArray vodStreamsAnswer(int rows)
{
    QRandomGenerator random(42);
    static const char *words[] = {"The", "Last", "Night", "City", "Of", "Dark", "Love", "Storm", "River", "Blue",
                                  "Königin", "Été", "Iron", "Silent", "Road", "Home"};
    static const char *extensions[] = {"mp4", "mkv", "avi", "mp4", "mp4"};
    QByteArray json;
    json.reserve(qsizetype(rows) * 340);
    json += '[';
    for (int i = 0; i < rows; ++i) {
        if (i)
            json += ',';
        QByteArray name;
        const int nameWords = 2 + int(random.bounded(4));
        for (int w = 0; w < nameWords; ++w) {
            if (w)
                name += ' ';
            name += words[random.bounded(int(std::size(words)))];
        }
        name += " (" + QByteArray::number(1960 + random.bounded(65)) + ')';
        const bool textNumbers = random.bounded(2) == 0;
        const QByteArray id = QByteArray::number(100000 + i);
        const QByteArray rating = QByteArray::number(random.bounded(50) / 10.0, 'f', 1);
        const QByteArray category = QByteArray::number(1 + random.bounded(300));
        json += "{\"num\":" + QByteArray::number(i + 1);
        json += ",\"name\":\"" + name + '"';
        json += ",\"stream_type\":\"movie\"";
        json += ",\"stream_id\":" + (textNumbers ? '"' + id + '"' : id);
        json += ",\"stream_icon\":\"http:\\/\\/img.provider.example:8080\\/images\\/posters\\/" + id + "_w342.jpg\"";
        json += ",\"rating\":" + (textNumbers ? '"' + QByteArray::number(rating.toDouble() * 2) + '"' : QByteArray::number(rating.toDouble() * 2));
        json += ",\"rating_5based\":" + (textNumbers ? '"' + rating + '"' : rating);
        json += ",\"added\":\"" + QByteArray::number(1500000000 + qint64(random.bounded(250000000))) + '"';
        json += ",\"category_id\":\"" + category + '"';
        json += ",\"container_extension\":\"" + QByteArray(extensions[random.bounded(int(std::size(extensions)))]) + '"';
        json += ",\"custom_sid\":" + QByteArray(random.bounded(3) == 0 ? "\"\"" : "null");
        json += ",\"direct_source\":\"\"}";
    }
    json += ']';
    return json;
}

qint64 bytesHeld(const QList<MediaItem> &items)
{
    QSet<const void *> seen;
    qint64 total = qint64(items.capacity()) * qint64(sizeof(MediaItem));
    const auto block = [&](const void *data, qint64 bytes) {
        if (!data || seen.contains(data))
            return;
        seen.insert(data);
        total += ((bytes + 8 + 15) / 16) * 16; // malloc's size word and alignment
    };
    const auto count = [&](const QString &text) {
        if (!text.isNull() && text.capacity() > 0)
            block(text.constData(), 16 + 2 * (qint64(text.capacity()) + 1)); // header, UTF-16 and terminator
    };
    for (const MediaItem &item : items) {
        for (const QString *text : {&item.id, &item.name, &item.categoryId, &item.containerExt, &item.epgChannelId})
            count(*text);
        const QByteArray icon = item.iconUtf8();
        if (!icon.isNull() && icon.capacity() > 0)
            block(icon.constData(), 16 + qint64(icon.capacity()) + 1);
        if (const MediaItemMore *more = item.packed.block()) {
            block(more, qint64(sizeof(QSharedData) + sizeof(MediaItemMore)));
            for (const QString *text : {&more->plot, &more->cast, &more->director, &more->genre, &more->releaseDate,
                                        &more->trailer, &more->added})
                count(*text);
            if (more->seriesId)
                count(*more->seriesId);
        }
    }
    return total;
}

void row(const char *label, const QString &value)
{
    std::printf("  %-44s %s\n", label, qPrintable(value));
    std::fflush(stdout);
}

} // namespace Bench
