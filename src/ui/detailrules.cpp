#include "detailrules.h"

#include <QDateTime>
#include <QLocale>

#include <charconv>
#include <cmath>

namespace {

// The last second of year 9999: later "times" are no date a provider means.
constexpr double lastDate = 253402300799.0;

} // namespace

DetailTexts DetailRules::texts(const MediaItem &item, const VodInfo &info)
{
    // A blank text from the provider is as good as none.
    const auto clean = [](const QString &text) { return text.trimmed(); };
    DetailTexts texts;
    texts.movie = item.kind == MediaItem::Kind::movie;
    texts.age = clean(info.age);
    texts.length = clean(info.runtime);
    if (texts.movie) {
        texts.releaseDate = dateFromAdded(item.added());
        if (texts.releaseDate.isEmpty())
            texts.releaseDate = clean(info.releaseDate);
        texts.director = clean(info.director);
        texts.cast = clean(info.cast);
        texts.plot = clean(info.plot);
        texts.trailerId = clean(info.trailer);
    } else {
        texts.releaseDate = clean(item.releaseDate());
        texts.director = clean(item.director());
        texts.genre = clean(item.genre());
        texts.cast = clean(item.cast());
        texts.plot = clean(item.plot());
        texts.trailerId = clean(item.trailer());
    }
    return texts;
}

QString DetailRules::dateFromAdded(const QString &added)
{
    bool ok = false;
    const double seconds = QLocale::c().toDouble(added, &ok);
    if (!ok || !std::isfinite(seconds) || seconds <= 0 || seconds > lastDate)
        return {};
    const QDateTime time = QDateTime::fromSecsSinceEpoch(qint64(std::floor(seconds)), Qt::UTC).toLocalTime();
    return QLocale::c().toString(time, QStringLiteral("yyyy.MM.dd"));
}

QStringList DetailRules::starSymbols(double rating)
{
    QStringList symbols;
    for (int i = 0; i < 5; ++i) {
        const double d = rating - i;
        if (d >= 0.75)
            symbols.append(QStringLiteral("star.fill"));
        else if (d >= 0.25)
            symbols.append(QStringLiteral("star.leadinghalf.filled"));
        else
            symbols.append(QStringLiteral("star"));
    }
    return symbols;
}

QString DetailRules::ratingText(double rating)
{
    if (!(rating > 0) || !std::isfinite(rating))
        return {};
    // As printf's "%.1f" rounds (an exact tie such as 3.25 goes to the even digit), whatever the
    // locale: QString::number would round ties up.
    char text[32];
    const auto [end, error] = std::to_chars(text, text + sizeof text, rating, std::chars_format::fixed, 1);
    if (error != std::errc())
        return {};
    return QString::fromLatin1(text, end - text);
}

QString DetailRules::episodeTitle(const Episode &episode)
{
    return episode.title.isEmpty() ? QStringLiteral("Episode ") + QString::number(episode.episodeNum) : episode.title;
}
