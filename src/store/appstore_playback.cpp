// Details and playback: the detail record, stream addresses and the now-playing fields,
// trailers and the home rows.
#include "appstore.h"

#include "api/diagnostics.h"
#include "api/streamaddress.h"
#include "store/appstore_p.h"
#include "store/cataloguedownloads.h"

#include <QCoroFuture>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

using namespace AppStoreDetail;

namespace {

struct LatestRow
{
    std::optional<Failure> failure;
    QList<MediaItem> items;
};

// One home row, picked on a worker as soon as its own catalogue is there: the shows' row is
// ready while the movies are still being decoded, and reading the dates of 200,000 movies keeps
// the GUI thread from no frame.
QCoro::Task<LatestRow> newestOnceLoaded(QCoro::Task<std::optional<Failure>> load, QPointer<AppStore> store, Section section)
{
    std::optional<Failure> failure = co_await load;
    if (!store)
        co_return LatestRow{failure, {}};
    // The list is shared, not copied, and only read on the worker.
    const QList<MediaItem> all = section == Section::movies ? store->allVods() : store->allSeries();
    QFuture<QList<MediaItem>> picking = QtConcurrent::run([all] { return Catalogue::newest(all, AppStore::homeRowLength); });
    QList<MediaItem> items = co_await picking;
    co_return LatestRow{failure, std::move(items)};
}

} // namespace

std::optional<QUrl> AppStore::streamURL(const Playlist &playlist, const QString &kind, const QString &streamId,
                                        const QString &extension)
{
    return StreamAddress::stream(playlist, kind, streamId, extension);
}

std::optional<QUrl> AppStore::catchupURL(const Playlist &playlist, const MediaItem &channel, qint64 minutes,
                                         const QString &startText)
{
    return StreamAddress::catchup(playlist, channel.id, minutes, startText);
}

std::optional<QUrl> AppStore::trailerURL(const QString &videoId)
{
    return StreamAddress::trailer(QStringLiteral(MAVU_TRAILER_SITE_URL), videoId);
}

QCoro::Task<> AppStore::openDetail(MediaItem item)
{
    const quint64 load = ++m_detailLoad;
    const Section section = item.kind == MediaItem::Kind::movie ? Section::movies : Section::series;
    // Leaving the detail shows the section screen behind it. A title opened from a home row
    // must find that screen holding its own section, not the one visited last.
    const bool otherSection = m_phase != Phase::section && section != m_section;
    {
        const Batch batch(this);
        setSection(section);
        if (otherSection)
            setSearchText(QString());
        setPhase(Phase::section);
        setDetailItem(item);
        setVodInfo(std::nullopt);
        setSeasons({});
        setEpisodes({});
        setSelectedSeason(std::nullopt);
        m_failures->clear(Failures::Place::details);
        // No request follows; an earlier one still running no longer speaks for the screen.
        if (!m_playlist) {
            setLoadingDetail(false);
            co_return;
        }
        setLoadingDetail(true);
    }
    if (otherSection)
        startTask(loadCategories());
    const Playlist playlist = *m_playlist;
    if (playlist.isM3u()) {
        QPointer<AppStore> self(this);
        auto ready = ensureM3u();
        co_await ready;
        if (self && load == m_detailLoad)
            openM3uDetail(item);
        co_return;
    }
    QPointer<AppStore> self(this);
    // A slow answer for an earlier click must not replace the details of the title on screen.
    const auto stillShown = [&] {
        return load == m_detailLoad && m_detailItem && m_detailItem->id == item.id && m_detailItem->kind == item.kind;
    };

    if (item.kind == MediaItem::Kind::movie) {
        auto request = MavuAPI::vodInfo(playlist, item.id);
        Result<VodInfo> info = co_await request;
        if (!self)
            co_return;
        if (stillShown()) {
            if (info)
                setVodInfo(std::move(info).value());
            else
                recordFailure(Failures::Place::details, info.failure());
        }
    } else if (item.seriesId()) {
        auto request = MavuAPI::seriesInfo(playlist, *item.seriesId());
        Result<MavuAPI::SeriesInfo> answer = co_await request;
        if (!self)
            co_return;
        if (stillShown() && !answer) {
            recordFailure(Failures::Place::details, answer.failure());
        } else if (stillShown()) {
            const MavuAPI::SeriesInfo &info = *answer;
            const Batch batch(this);
            setSeasons(info.seasons);
            setEpisodes(info.episodes);
            setSelectedSeason(info.seasons.isEmpty() ? std::nullopt : std::optional<Season>(info.seasons.first()));
            if (m_detailItem && m_detailItem->trailer().isEmpty() && !info.trailer.isEmpty()) {
                MediaItem withTrailer = *m_detailItem;
                withTrailer.setTrailer(info.trailer);
                setDetailItem(withTrailer);
            }
        }
    }
    if (load == m_detailLoad)
        setLoadingDetail(false);
}

QCoro::Task<> AppStore::play(MediaItem item)
{
    if (!m_playlist)
        co_return;
    if (m_playlist->isM3u()) {
        auto playing = playM3u(item);
        co_await playing;
        co_return;
    }
    if (item.kind == MediaItem::Kind::series) {
        auto detail = openDetail(item);
        co_await detail;
        co_return;
    }
    const bool live = item.kind == MediaItem::Kind::live;
    const Playlist playlist = *m_playlist;
    const auto url = streamURL(playlist, live ? QStringLiteral("live") : QStringLiteral("movie"), item.id, item.containerExt);
    if (!url)
        co_return;
    {
        const Batch batch(this);
        setCatchupURLBuilder({});
        setCatchupDurationSec(0);
        setNowPlaying(item);
        setNowPlayingTitle(item.name);
        setNowPlayingEpisode(std::nullopt);
        setNowPlayingURL(url);
        markRecent(item);
        if (live)
            setEpgNowNext({});
    }
    if (!live)
        co_return;

    QPointer<AppStore> self(this);
    auto guide = MavuAPI::shortEPG(playlist, item.id);
    Result<QList<EpgProgram>> programs = co_await guide;
    if (!self)
        co_return;
    // Only the channel that is still playing gets its guide; without one the pane shows none.
    if (m_nowPlaying && m_nowPlaying->id == item.id)
        setEpgNowNext(std::move(programs).valueOr({}));
}

QCoro::Task<> AppStore::playInLiveSection(MediaItem channel)
{
    if (!m_playlist || !channel.isLive())
        co_return;
    m_openOnAll.reset();
    {
        const Batch batch(this);
        setSection(Section::live);
        setSearchText(QString());
        setDetailItem(std::nullopt);
        setCatchupOpen(false);
        setPhase(Phase::section);
    }
    // Playing before the categories load: the section then starts no channel of its own.
    startTask(play(channel));
    QPointer<AppStore> self(this);
    auto categories = loadCategories();
    co_await categories;
    if (!self || m_phase != Phase::section || m_section != Section::live)
        co_return;
    // The list opens at the channel's own category, unless the user chose another meanwhile.
    const auto own = std::find_if(m_categories.cbegin(), m_categories.cend(),
                                  [&](const Category &category) { return category.id == channel.categoryId; });
    if (own != m_categories.cend() && m_selectedCategory != *own)
        setSelectedCategory(*own);
}

void AppStore::playEpisode(const Episode &episode, const MediaItem &show)
{
    if (!m_playlist)
        return;
    const auto url = m_playlist->isM3u() ? m3uAddress(episode.id)
                                         : streamURL(*m_playlist, QStringLiteral("series"), episode.id, episode.containerExt);
    if (!url)
        return;
    const Batch batch(this);
    setCatchupURLBuilder({});
    setCatchupDurationSec(0);
    setNowPlaying(show);
    setNowPlayingEpisode(episode);
    setNowPlayingTitle(episode.title.isEmpty() ? show.name : episode.title);
    setNowPlayingURL(url);
    markRecent(show);
}

void AppStore::exitPlayer()
{
    // Back to the channel's live stream after a catch-up programme; when that address cannot
    // be formed any more (another playlist was connected meanwhile) playback simply ends.
    const Batch batch(this);
    if (m_catchupURLBuilder && m_nowPlaying && m_nowPlaying->isLive() && m_playlist) {
        const MediaItem channel = *m_nowPlaying;
        const auto url = m_playlist->isM3u()
            ? m3uAddress(channel.id)
            : streamURL(*m_playlist, QStringLiteral("live"), channel.id, channel.containerExt);
        if (url) {
            setCatchupURLBuilder({});
            setCatchupDurationSec(0);
            setNowPlayingTitle(channel.name);
            setNowPlayingURL(url);
            return;
        }
    }
    stop();
}

void AppStore::openTrailer(const QString &videoId)
{
    if (videoId.isEmpty())
        return;
    if (const auto url = trailerURL(videoId); url && m_urlOpener)
        m_urlOpener(*url);
}

QCoro::Task<> AppStore::loadLatest()
{
    QPointer<AppStore> self(this);
    // The rows from the kept file stay up, not loading, while the rest of it is read.
    if (m_keptLoad) {
        auto kept = adoptKept();
        co_await kept;
        if (!self)
            co_return;
    }
    if (!m_playlist)
        co_return;
    const Playlist playlist = *m_playlist;
    const quint64 generation = m_downloads->generation();
    setLoadingHome(true);
    if (!m_playlistExpTs)
        startTask(loadPlaylistExpiry());

    // Both catalogues at once: the rows wait for the slower one, not for the two in a row.
    auto moviesRow = newestOnceLoaded(loadCatalogue(Section::movies), self, Section::movies);
    auto showsRow = newestOnceLoaded(loadCatalogue(Section::series), self, Section::series);
    if (playlist.isM3u() && (!cacheLoaded(Section::movies) || !cacheLoaded(Section::series)))
        startTask(showM3uFirstPart());
    LatestRow movies = co_await moviesRow;
    if (!self)
        co_return;
    LatestRow shows = co_await showsRow;
    if (!self)
        co_return;
    const std::optional<Failure> &moviesFailure = movies.failure;
    const std::optional<Failure> &showsFailure = shows.failure;
    // A refresh or another playlist started its own load meanwhile; that one fills the rows.
    if (m_playlist != playlist || m_downloads->generation() != generation)
        co_return;
    const Batch batch(this);
    setLatestMovies(std::move(movies.items));
    setLatestSeries(std::move(shows.items));
    Timing::mark("sorted", QStringLiteral("home rows"));
    setLoadingHome(false);
    if (const auto failure = moviesFailure ? moviesFailure : showsFailure) {
        recordFailure(Failures::Place::home, *failure);
    } else {
        m_failures->clear(Failures::Place::home);
        startRenewal();
    }
}
