#include "records.h"

#include <QTextBoundaryFinder>

size_t qHash(const Category &category, size_t seed) noexcept
{
    return qHashMulti(seed, category.id, category.name);
}

size_t qHash(const MediaItem &item, size_t seed) noexcept
{
    seed = qHashMulti(seed, item.id, item.name, int(item.kind), item.categoryId, item.containerExt, item.iconUtf8(),
                      item.num, item.epgChannelId, item.tvArchive, item.archiveDays);
    seed = qHashMulti(seed, item.added(), item.rating5, item.plot(), item.cast(), item.director(), item.genre(),
                      item.releaseDate(), item.trailer(), item.seriesId().has_value(), item.seriesIdText());
    return seed;
}

const MediaItemMore &MediaItemPacked::more() const
{
    static const MediaItemMore none;
    return m_more ? *m_more : none;
}

MediaItemMore &MediaItemPacked::editMore()
{
    if (!m_more)
        m_more = new More;
    return *m_more; // detaches when shared
}

namespace {

// A decimal number written the way QString::number writes it: no sign, no leading zero.
std::optional<qint64> plainStamp(const QString &text)
{
    if (text.isEmpty() || text.size() > 18 || (text.size() > 1 && text.front() == u'0'))
        return std::nullopt;
    qint64 value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

} // namespace

QString MediaItem::added() const
{
    if (packed.m_added >= 0)
        return QString::number(packed.m_added);
    return packed.more().added;
}

void MediaItem::setAdded(const QString &added)
{
    if (const auto stamp = plainStamp(added)) {
        setAddedStamp(*stamp);
        return;
    }
    packed.m_added = -1;
    if (!added.isEmpty() || packed.m_more)
        packed.editMore().added = added;
}

void MediaItem::setAddedStamp(qint64 seconds)
{
    packed.m_added = seconds;
    if (packed.m_more && !packed.m_more->added.isEmpty())
        packed.editMore().added.clear();
}

#define MAVU_RARE_SETTER(Setter, field)                                                                                \
    void MediaItem::Setter(const QString &text)                                                                        \
    {                                                                                                                  \
        if (!text.isEmpty() || packed.m_more)                                                                          \
            packed.editMore().field = text;                                                                            \
    }
MAVU_RARE_SETTER(setPlot, plot)
MAVU_RARE_SETTER(setCast, cast)
MAVU_RARE_SETTER(setDirector, director)
MAVU_RARE_SETTER(setGenre, genre)
MAVU_RARE_SETTER(setReleaseDate, releaseDate)
MAVU_RARE_SETTER(setTrailer, trailer)
#undef MAVU_RARE_SETTER

void MediaItem::setSeriesId(std::optional<QString> seriesId)
{
    if (seriesId || packed.m_more)
        packed.editMore().seriesId = std::move(seriesId);
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
