#include "records.h"

#include <QTextBoundaryFinder>

size_t qHash(const Category &category, size_t seed) noexcept
{
    return qHashMulti(seed, category.id, category.name);
}

size_t qHash(const MediaItem &item, size_t seed) noexcept
{
    seed = qHashMulti(seed, item.id, item.name, int(item.kind), item.categoryId, item.containerExt, item.icon,
                      item.num, item.epgChannelId, item.tvArchive, item.archiveDays);
    seed = qHashMulti(seed, item.added, item.rating5, item.plot, item.cast, item.director, item.genre,
                      item.releaseDate, item.trailer, item.seriesId.has_value(), item.seriesIdText());
    return seed;
}

size_t qHash(const Season &season, size_t seed) noexcept
{
    return qHashMulti(seed, season.id, season.name, season.cover);
}

size_t qHash(const Episode &episode, size_t seed) noexcept
{
    return qHashMulti(seed, episode.id, episode.title, episode.season, episode.episodeNum,
                      episode.containerExt, episode.image);
}

size_t qHash(const EpgProgram &program, size_t seed) noexcept
{
    return qHashMulti(seed, program.id, program.title, program.desc, program.start, program.end,
                      program.startTs, program.stopTs);
}

size_t qHash(const Theme &theme, size_t seed) noexcept
{
    return qHashMulti(seed, theme.name, theme.url);
}

namespace {

// Characters 12 to 16 of a "yyyy-MM-dd HH:mm:ss" text, counted as user-perceived characters.
QString hoursAndMinutes(const QString &text)
{
    QList<qsizetype> boundaries; // start offset of every user-perceived character
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    for (qsizetype at = finder.position(); at >= 0 && at < text.size(); at = finder.toNextBoundary())
        boundaries.append(at);
    if (boundaries.size() <= 15)
        return text;
    const qsizetype from = boundaries[11];
    const qsizetype to = boundaries.size() > 16 ? boundaries[16] : text.size();
    return text.mid(from, to - from);
}

} // namespace

QString EpgProgram::timeRange() const
{
    return hoursAndMinutes(start) + QStringLiteral(" ~ ") + hoursAndMinutes(end);
}
