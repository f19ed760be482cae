// A plain M3U list as the source of the library: its one read fills all three sections, its
// entries carry their own addresses, and its guide comes from the list's XMLTV address through
// the guide import. Nothing here asks a provider.
#include "appstore.h"

#include "api/diagnostics.h"
#include "player/streamheaders.h"
#include "store/appstore_p.h"
#include "store/m3usource.h"

#include <QDateTime>
#include <QPointer>


using namespace AppStoreDetail;

namespace {

QString wordsFor(const Failure &failure)
{
    switch (failure.kind) {
    case Failure::Kind::unreachable:
        return QStringLiteral("Couldn't read that playlist. Check the address or the file.");
    case Failure::Kind::notUnderstood:
        return QStringLiteral("That isn't an M3U playlist, or it has no channels.");
    case Failure::Kind::tooLarge:
        return QStringLiteral("That playlist is too large to read.");
    case Failure::Kind::credentialsRefused:
        return QStringLiteral("The server refused to hand out that playlist.");
    default:
        break;
    }
    return failure.text();
}

} // namespace

QString AppStore::m3uFailureWords(const Failure &failure)
{
    return wordsFor(failure);
}

void AppStore::takeM3u(std::shared_ptr<const M3uLibrary> list)
{
    // The records were made beside the read: only swapped in here.
    const Batch batch(this);
    m_m3uRead = list;
    m_m3uList = list->catalogue;
    for (Section section : allCases<Section>()) {
        const size_t s = size_t(section);
        QList<MediaItem> items = list->items[s];
        // A kept copy on screen is replaced where it stands.
        if (cacheLoaded(section))
            replaceCatalogue(section, std::move(items));
        else
            setCache(section, std::move(items));
        m_staleCatalogue[s] = false;
        replaceCategories(section, m_m3uList->categories(section));
    }
    loadedFresh();
    Timing::mark("taken", QStringLiteral("m3u"));
    // Only a web address: a list must not point the import at a local file.
    const QUrl guide(m_m3uList->guideURL());
    const QString scheme = guide.scheme().toLower();
    const bool web = guide.isValid() && !guide.host().isEmpty()
        && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
    if (m_playlist)
        m_guide->setGuideAddress(*m_playlist, web ? std::optional<QUrl>(guide) : std::nullopt);
}

QCoro::Task<std::optional<Failure>> AppStore::loadM3u()
{
    if (!m_playlist || !m_playlist->isM3u())
        co_return Failure{Failure::Kind::cancelled};
    QPointer<AppStore> self(this);
    const Playlist playlist = *m_playlist;
    const quint64 generation = m_m3uSource->generation();
    auto fetch = m_m3uSource->fetch(playlist);
    Result<M3uSource::List> list = co_await fetch;
    if (!self || m_playlist != playlist || m_m3uSource->generation() != generation)
        co_return Failure{Failure::Kind::cancelled};
    if (!list)
        co_return list.failure();
    // Everyone waiting for the one read gets here; the first takes it.
    if (m_m3uRead != *list)
        takeM3u(*list);
    co_return std::nullopt;
}

QCoro::Task<> AppStore::showM3uFirstPart()
{
    if (!m_playlist || !m_playlist->isM3u())
        co_return;
    QPointer<AppStore> self(this);
    const Playlist playlist = *m_playlist;
    const quint64 generation = m_m3uSource->generation();
    auto arriving = m_m3uSource->arrived(playlist);
    const Result<M3uSource::Arrived> arrived = co_await arriving;
    // A failure is the whole load's to tell.
    std::shared_ptr<const M3uFirstPart> part = arrived ? arrived->first : nullptr;
    while (part) {
        // Only home's rows, and only while the whole list is awaited: the sections and search
        // wait for it (a first part is never shown as a whole section), and once it is taken its
        // own rows are the ones shown. A row is shown once full: the movies often come first.
        if (!self || m_playlist != playlist || m_m3uSource->generation() != generation || !m_loadingHome
            || (cacheLoaded(Section::movies) && cacheLoaded(Section::series)))
            co_return;
        {
            const Batch batch(this);
            if (!cacheLoaded(Section::movies) && !part->movies.isEmpty())
                setLatestMovies(part->movies);
            if (!cacheLoaded(Section::series) && !part->shows.isEmpty())
                setLatestSeries(part->shows);
        }
        Timing::mark("first part", QStringLiteral("home rows"));
        if (part->complete)
            co_return;
        auto next = m_m3uSource->nextPart(playlist, part);
        part = co_await next;
    }
}

QCoro::Task<> AppStore::loadM3uCategories(Section section, quint64 load)
{
    QPointer<AppStore> self(this);
    const Playlist playlist = *m_playlist;
    setLoadingCategories(true);
    auto catalogueLoad = loadCatalogue(section);
    const std::optional<Failure> failure = co_await catalogueLoad;
    if (!self)
        co_return;
    const Batch batch(this);
    if (m_section == section && m_playlist == playlist) {
        setCategories(withPseudoCategories(shownCategories(section, m_keptCategories[size_t(section)].value_or(QList<Category>()))));
        const auto real = std::find_if(m_categories.cbegin(), m_categories.cend(), [](const Category &category) {
            return category.id != favoritesId && category.id != recentsId;
        });
        const std::optional<Category> first = real != m_categories.cend() ? std::optional<Category>(*real)
                                                                          : std::optional<Category>(m_categories.first());
        if (!failure) {
            m_failures->clear(Failures::Place::categories);
            setSelectedCategory(first);
            startRenewal();
        } else if (failure->kind != Failure::Kind::cancelled) {
            setSelectedCategory(first, false);
            setItems({});
            recordFailure(Failures::Place::items, *failure);
        }
    }
    if (load == m_categoryLoad)
        setLoadingCategories(false);
}

std::optional<M3uStream> AppStore::m3uStream(const QString &id) const
{
    if (!m_m3uList)
        return std::nullopt;
    return m_m3uList->stream(id);
}

std::optional<QUrl> AppStore::m3uAddress(const QString &id) const
{
    const std::optional<M3uStream> stream = m3uStream(id);
    if (!stream)
        return std::nullopt;
    const QUrl url(stream->url);
    if (!url.isValid() || url.isEmpty())
        return std::nullopt;
    // What the entry asks its stream to be opened with goes with its address to the player.
    StreamHeaders::set(url, {stream->userAgent.toUtf8(), stream->referrer.toUtf8()});
    return url;
}

std::optional<QUrl> AppStore::m3uArchiveAddress(const QString &id, qint64 start, qint64 stop) const
{
    const std::optional<M3uStream> stream = m3uStream(id);
    if (!stream)
        return std::nullopt;
    const auto url = M3uArchive::address(*stream, start, stop, QDateTime::currentSecsSinceEpoch());
    if (url)
        StreamHeaders::set(*url, {stream->userAgent.toUtf8(), stream->referrer.toUtf8()});
    return url;
}

QCoro::Task<bool> AppStore::ensureM3u()
{
    if (m_m3uList)
        co_return true;
    QPointer<AppStore> self(this);
    auto load = loadM3u();
    const std::optional<Failure> failure = co_await load;
    co_return self && !failure && m_m3uList;
}

QCoro::Task<> AppStore::playM3u(MediaItem item)
{
    QPointer<AppStore> self(this);
    // Opened from a kept copy: the addresses come with the list itself.
    auto ready = ensureM3u();
    if (!co_await ready || !self)
        co_return;
    if (item.kind == MediaItem::Kind::series) {
        auto detail = openDetail(item);
        co_await detail;
        co_return;
    }
    const auto url = m3uAddress(item.id);
    if (!url)
        co_return;
    const bool live = item.isLive();
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
    if (!live || item.epgChannelId.isEmpty())
        co_return;
    // The short guide is the imported guide's: now and next, when the guide holds them.
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    auto read = m_guide->programs({item.epgChannelId}, now, now + 24 * 3600);
    const GuideWindow window = co_await read;
    if (!self || !m_nowPlaying || m_nowPlaying->id != item.id)
        co_return;
    QList<EpgProgram> programs;
    for (const GuideProgram &program : window.rows.value(0)) {
        programs.append(program.toEpgProgram(item.epgChannelId));
        if (programs.size() == 2)
            break;
    }
    setEpgNowNext(std::move(programs));
}

void AppStore::openM3uDetail(const MediaItem &item)
{
    // What the entry carries is all there is: no details request behind it.
    const Batch batch(this);
    if (item.kind == MediaItem::Kind::series) {
        const QList<Episode> episodes = m_m3uRead ? m_m3uRead->episodes(item.id) : QList<Episode>();
        QList<Season> seasons;
        for (const Episode &episode : episodes) {
            if (seasons.isEmpty() || seasons.last().id != episode.season)
                seasons.append(Season{episode.season, QStringLiteral("Season %1").arg(episode.season), QString()});
        }
        setSeasons(seasons);
        setEpisodes(episodes);
        setSelectedSeason(seasons.isEmpty() ? std::nullopt : std::optional<Season>(seasons.first()));
    }
    setLoadingDetail(false);
}

QCoro::Task<QList<EpgProgram>> AppStore::m3uArchivePrograms(MediaItem channel)
{
    if (channel.epgChannelId.isEmpty())
        co_return QList<EpgProgram>();
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const qint64 from = now - std::max<qint64>(channel.archiveDays, 1) * 24 * 3600;
    auto read = m_guide->programs({channel.epgChannelId}, from, now);
    const GuideWindow window = co_await read;
    QList<EpgProgram> programs;
    for (const GuideProgram &program : window.rows.value(0)) {
        if (program.start < now)
            programs.append(program.toEpgProgram(channel.epgChannelId));
    }
    co_return programs;
}

void AppStore::playM3uCatchup(const MediaItem &channel, const EpgProgram &program)
{
    const qint64 start = qint64(program.startTs);
    const qint64 stop = std::max(qint64(program.stopTs), start + 60);
    const auto url = m3uArchiveAddress(channel.id, start, stop);
    if (!url)
        return;
    const Batch batch(this);
    setNowPlayingTitle(channel.name + QStringLiteral(" — ") + program.title);
    setCatchupDurationSec(double(stop - start));
    setCatchupURLBuilder([self = QPointer<AppStore>(this), id = channel.id, start, stop,
                          first = *url](int offset) -> std::optional<QUrl> {
        if (!self)
            return std::nullopt;
        if (offset == 0)
            return first;
        const qint64 from = std::min(start + qint64(offset) * 60, stop - 60);
        return self->m3uArchiveAddress(id, from, stop);
    });
    setNowPlayingURL(url);
}
