// Positions: what plays now as an entry to keep, and playing a kept entry again.
#include "appstore.h"

#include "store/appstore_p.h"

#include <QPointer>

#include <algorithm>

using namespace AppStoreDetail;

namespace {

// Posters come from the provider; one that carries the password is not written down.
QString safePoster(const QString &poster, const std::optional<Playlist> &playlist)
{
    if (playlist && !playlist->password.isEmpty() && poster.contains(playlist->password))
        return QString();
    return poster;
}

} // namespace

std::optional<WatchEntry> AppStore::nowPlayingWatchEntry() const
{
    if (m_catchupURLBuilder || !m_nowPlaying || m_nowPlaying->isLive())
        return std::nullopt;
    WatchEntry entry;
    if (m_nowPlayingEpisode) {
        const Episode &episode = *m_nowPlayingEpisode;
        entry.kind = WatchEntry::episodeKind;
        entry.streamId = episode.id;
        entry.containerExt = episode.containerExt;
        entry.title = episode.title;
        entry.poster = safePoster(m_nowPlaying->icon().isEmpty() ? episode.image : m_nowPlaying->icon(), m_playlist);
        entry.seriesId = m_nowPlaying->seriesId().value_or(m_nowPlaying->id);
        entry.showName = m_nowPlaying->name;
        entry.season = episode.season;
        entry.episodeNum = episode.episodeNum;
    } else if (m_nowPlaying->kind == MediaItem::Kind::movie) {
        entry.kind = WatchEntry::movieKind;
        entry.streamId = m_nowPlaying->id;
        entry.containerExt = m_nowPlaying->containerExt;
        entry.title = m_nowPlaying->name;
        entry.poster = safePoster(m_nowPlaying->icon(), m_playlist);
    } else {
        return std::nullopt;
    }
    return entry;
}

QCoro::Task<> AppStore::resume(WatchEntry entry)
{
    if (!m_playlist)
        co_return;
    if (!entry.isEpisode()) {
        // The catalogue's record when it is there: the details screen behind needs all of it.
        const QList<MediaItem> &movies = allVods();
        const auto found = std::find_if(movies.cbegin(), movies.cend(),
                                        [&](const MediaItem &item) { return item.id == entry.streamId; });
        MediaItem movie;
        if (found != movies.cend()) {
            movie = *found;
        } else {
            movie.id = entry.streamId;
            movie.kind = MediaItem::Kind::movie;
            movie.name = entry.title;
            movie.containerExt = entry.containerExt;
            movie.setIcon(entry.poster);
        }
        auto playing = play(movie);
        co_await playing;
        co_return;
    }

    const QList<MediaItem> &shows = allSeries();
    const auto found = std::find_if(shows.cbegin(), shows.cend(), [&](const MediaItem &item) {
        return item.seriesId().value_or(item.id) == entry.seriesId;
    });
    MediaItem show;
    if (found != shows.cend()) {
        show = *found;
    } else {
        show.id = entry.seriesId;
        show.setSeriesId(entry.seriesId);
        show.kind = MediaItem::Kind::series;
        show.name = entry.showName;
        show.setIcon(entry.poster);
    }
    QPointer<AppStore> self(this);
    auto details = openDetail(show);
    co_await details;
    if (!self || !m_detailItem || m_detailItem->kind != MediaItem::Kind::series
        || m_detailItem->seriesId().value_or(m_detailItem->id) != entry.seriesId)
        co_return; // another title was opened meanwhile
    const auto episode = std::find_if(m_episodes.cbegin(), m_episodes.cend(),
                                      [&](const Episode &e) { return e.id == entry.streamId; });
    Episode chosen;
    if (episode != m_episodes.cend()) {
        chosen = *episode;
    } else {
        // The show's list did not come (or no longer holds it): the kept facts still play it.
        chosen.id = entry.streamId;
        chosen.title = entry.title;
        chosen.season = entry.season;
        chosen.episodeNum = entry.episodeNum;
        chosen.containerExt = entry.containerExt;
    }
    const Batch batch(this);
    const auto season = std::find_if(m_seasons.cbegin(), m_seasons.cend(),
                                     [&](const Season &s) { return s.id == chosen.season; });
    if (season != m_seasons.cend())
        setSelectedSeason(*season);
    playEpisode(chosen, *m_detailItem);
}

void AppStore::runResume(const WatchEntry &entry)
{
    startTask(resume(entry));
}
