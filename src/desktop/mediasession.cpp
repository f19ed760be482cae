#include "mediasession.h"

#include "player/playercontroller.h"
#include "player/vlcplayerview.h"
#include "store/appstore.h"

#include <QDateTime>
#include <QJSEngine>
#include <QWindow>

#include <algorithm>
#include <chrono>

namespace {

MediaSession *qmlInstance = nullptr;

constexpr std::chrono::milliseconds pulseInterval{1000};
// Playback drifts and libVLC's clock moves in steps; a jump beyond these is a seek.
constexpr qint64 forwardSlackMs = 1500;
constexpr qint64 backwardSlackMs = 1000;
// How long libVLC may take to get to a position asked for.
constexpr qint64 seekSettleMs = 3000;

// Object paths allow only letters, digits and underscores between the slashes.
QString pathElement(const QString &text)
{
    QString element;
    element.reserve(text.size());
    for (const QChar c : text)
        element.append((c.isLetterOrNumber() && c.unicode() < 128) || c == QLatin1Char('_') ? c : QLatin1Char('_'));
    return element;
}

QString trackPath(quint64 serial)
{
    QString path;
    for (const QString &part : QStringLiteral(MAVU_APP_ID).split(QLatin1Char('.'), Qt::SkipEmptyParts))
        path += QLatin1Char('/') + pathElement(part);
    return path + QStringLiteral("/track/") + QString::number(serial);
}

// Artwork is handed to other programs to fetch: only http(s) addresses, like everything we fetch.
QUrl webAddress(const QString &text)
{
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return {};
    return url;
}

std::optional<EpgProgram> programmeAt(const QList<EpgProgram> &programmes, double now)
{
    for (const EpgProgram &programme : programmes) {
        if (programme.startTs <= now && now < programme.stopTs && !programme.title.isEmpty())
            return programme;
    }
    return std::nullopt;
}

// The player's states as the desktop knows them: playing (or about to), paused, or nothing. A state
// that only announces a new track keeps what was.
MediaSession::Status statusOf(MediaPlayer::State state, MediaSession::Status previous)
{
    using Status = MediaSession::Status;
    switch (state) {
    case MediaPlayer::State::Opening:
    case MediaPlayer::State::Buffering:
    case MediaPlayer::State::Playing:
        return Status::Playing;
    case MediaPlayer::State::Paused:
        return Status::Paused;
    case MediaPlayer::State::Idle:
    case MediaPlayer::State::Stopped:
    case MediaPlayer::State::Ended:
    case MediaPlayer::State::Error:
        return Status::Stopped;
    case MediaPlayer::State::TrackAdded:
        break;
    }
    return previous;
}

} // namespace

MediaSession::MediaSession(AppStore &store, QObject *parent)
    : QObject(parent)
    , m_store(store)
{
    m_refreshSoon.setSingleShot(true);
    m_refreshSoon.setInterval(0);
    connect(&m_refreshSoon, &QTimer::timeout, this, &MediaSession::refresh);
    m_pulse.setInterval(pulseInterval);
    connect(&m_pulse, &QTimer::timeout, this, [this] {
        refresh();
        watchPosition();
    });

    for (auto signal : {&AppStore::nowPlayingChanged, &AppStore::nowPlayingURLChanged, &AppStore::nowPlayingTitleChanged,
                        &AppStore::nowPlayingEpisodeChanged, &AppStore::catchupURLBuilderChanged,
                        &AppStore::epgNowNextChanged, &AppStore::filteredItemsChanged, &AppStore::episodesChanged,
                        &AppStore::detailItemChanged})
        connect(&m_store, signal, this, &MediaSession::scheduleRefresh);
    refresh();
}

MediaSession::~MediaSession()
{
    if (qmlInstance == this)
        qmlInstance = nullptr;
}

void MediaSession::setQmlInstance(MediaSession *session)
{
    qmlInstance = session;
}

MediaSession *MediaSession::create(QQmlEngine *, QJSEngine *engine)
{
    Q_ASSERT(qmlInstance);
    Q_ASSERT(engine->thread() == qmlInstance->thread());
    // The application owns the session; the engine must never delete it.
    QJSEngine::setObjectOwnership(qmlInstance, QJSEngine::CppOwnership);
    return qmlInstance;
}

void MediaSession::attachController(PlayerController *controller)
{
    if (controller)
        attach(controller, &controller->player());
}

void MediaSession::attachPreview(VLCPlayerView *view)
{
    if (view)
        attach(view, &view->player());
}

void MediaSession::attach(QObject *owner, MediaPlayer *player)
{
    detach(owner);
    m_sources.append({owner, player});
    connect(owner, &QObject::destroyed, this, [this, owner] { detach(owner); });
    connect(player, &QObject::destroyed, this, [this, owner] { detach(owner); });
    connect(player, &MediaPlayer::stateChanged, this, [this, player] {
        if (player == this->player()) {
            m_sourceStatus = statusOf(player->state(), m_sourceStatus);
            scheduleRefresh();
        }
    });
    m_sourceStatus = statusOf(player->state(), player->isPlaying() ? Status::Playing : Status::Stopped);
    m_lastTimeMs = -1;
    m_pulse.start();
    refresh();
}

void MediaSession::detach(QObject *source)
{
    const auto gone = [source](const Source &s) { return !s.owner || !s.player || s.owner == source; };
    const bool wasFollowed = !m_sources.isEmpty() && gone(m_sources.last());
    for (const Source &s : std::as_const(m_sources)) {
        if (gone(s)) {
            if (s.owner)
                disconnect(s.owner, nullptr, this, nullptr);
            if (s.player)
                disconnect(s.player, nullptr, this, nullptr);
        }
    }
    m_sources.removeIf(gone);
    if (!wasFollowed)
        return;
    if (MediaPlayer *p = player())
        m_sourceStatus = statusOf(p->state(), p->isPlaying() ? Status::Playing : Status::Stopped);
    else
        m_sourceStatus = Status::Stopped;
    if (m_sources.isEmpty())
        m_pulse.stop();
    m_lastTimeMs = -1;
    refresh();
}

void MediaSession::setWindow(QWindow *window)
{
    m_window = window;
}

MediaPlayer *MediaSession::player() const
{
    return m_sources.isEmpty() ? nullptr : m_sources.last().player.data();
}

qint64 MediaSession::positionUs() const
{
    const MediaPlayer *p = player();
    return p && m_state.status != Status::Stopped ? std::max<qint64>(0, p->time()) * 1000 : 0;
}

void MediaSession::scheduleRefresh()
{
    m_refreshSoon.start();
}

void MediaSession::refresh()
{
    m_refreshSoon.stop();
    const QUrl url = m_store.nowPlayingURL().value_or(QUrl());
    if (url != m_trackUrl) {
        m_trackUrl = url;
        ++m_trackSerial;
        m_lastTimeMs = -1;
    }
    State state = computeState();
    if (state == m_state)
        return;
    m_state = std::move(state);
    Q_EMIT stateChanged();
}

MediaSession::State MediaSession::computeState() const
{
    State state;
    if (!m_store.nowPlaying() || !m_store.nowPlayingURL())
        return state;
    const MediaPlayer *p = player();
    state.track = currentTrack();
    state.status = p ? m_sourceStatus : Status::Stopped;
    state.canPlay = p != nullptr;
    state.canPause = p != nullptr;
    state.canSeek = p && state.track.lengthUs > 0;
    state.canGoNext = neighbourChannel(1) || neighbourEpisode(1);
    state.canGoPrevious = neighbourChannel(-1) || neighbourEpisode(-1);
    return state;
}

MediaSession::Track MediaSession::currentTrack() const
{
    const MediaItem &item = *m_store.nowPlaying();
    Track track;
    track.id = trackPath(m_trackSerial);
    track.title = m_store.nowPlayingTitle().isEmpty() ? item.name : m_store.nowPlayingTitle();
    track.artUrl = webAddress(item.icon());
    if (const auto &episode = m_store.nowPlayingEpisode()) {
        track.album = item.name;
        track.artists = {item.name};
        if (const QUrl image = webAddress(episode->image); !image.isEmpty())
            track.artUrl = image;
    } else if (item.isLive() && m_store.hasCatchupURLBuilder()) {
        track.artists = {item.name};
    } else if (item.isLive()) {
        const double now = double(QDateTime::currentSecsSinceEpoch());
        if (const auto programme = programmeAt(m_store.epgNowNext(), now))
            track.artists = {programme->title};
    }
    // Movies and episodes have an end; live channels and the restartable catch-up streams do not.
    if (!item.isLive()) {
        if (const MediaPlayer *p = player(); p && p->hasMedia() && p->length() > 0)
            track.lengthUs = p->length() * 1000;
    }
    return track;
}

std::optional<MediaItem> MediaSession::neighbourChannel(int step) const
{
    const auto &now = m_store.nowPlaying();
    if (!now || !now->isLive() || m_store.hasCatchupURLBuilder())
        return std::nullopt;
    // Read in place: this runs after every keystroke of a search, and a copy of the list would
    // cost as much as the channels it holds.
    const FilteredItemsModel *items = m_store.itemsModel();
    const qsizetype count = items->count();
    qsizetype at = 0;
    while (at < count && !(items->at(at).isLive() && items->at(at).id == now->id))
        ++at;
    const qsizetype to = at + step;
    if (at == count || to < 0 || to >= count || !items->at(to).isLive())
        return std::nullopt;
    return items->at(to);
}

std::optional<Episode> MediaSession::neighbourEpisode(int step) const
{
    const auto &show = m_store.nowPlaying();
    const auto &episode = m_store.nowPlayingEpisode();
    const auto &detail = m_store.detailItem();
    // The episode list is the detail record's: only while it is the show that plays.
    if (!show || !episode || !detail || detail->id != show->id || detail->kind != show->kind)
        return std::nullopt;
    QList<Episode> episodes = m_store.episodes();
    std::stable_sort(episodes.begin(), episodes.end(), [](const Episode &a, const Episode &b) {
        return std::pair(a.season, a.episodeNum) < std::pair(b.season, b.episodeNum);
    });
    const auto isNow = [&](const Episode &e) { return e.id == episode->id; };
    const qsizetype at = std::find_if(episodes.cbegin(), episodes.cend(), isNow) - episodes.cbegin();
    const qsizetype to = at + step;
    if (at == episodes.size() || to < 0 || to >= episodes.size())
        return std::nullopt;
    return episodes[to];
}

void MediaSession::play()
{
    refresh();
    if (MediaPlayer *p = player(); p && m_state.canPlay)
        p->play();
}

void MediaSession::pause()
{
    refresh();
    if (MediaPlayer *p = player(); p && m_state.canPause)
        p->pause();
}

void MediaSession::playPause()
{
    refresh();
    if (m_state.status == Status::Playing)
        pause();
    else
        play();
}

void MediaSession::stop()
{
    if (m_store.nowPlaying() || m_store.nowPlayingURL())
        m_store.stop();
}

void MediaSession::next()
{
    go(1);
}

void MediaSession::previous()
{
    go(-1);
}

void MediaSession::go(int step)
{
    if (const auto channel = neighbourChannel(step)) {
        m_store.runPlay(*channel);
        return;
    }
    if (const auto episode = neighbourEpisode(step)) {
        const MediaItem show = *m_store.nowPlaying();
        // The episode strip shows the season of the episode that plays.
        if (!m_store.selectedSeason() || m_store.selectedSeason()->id != episode->season) {
            const QList<Season> &seasons = m_store.seasons();
            const auto season = std::find_if(seasons.cbegin(), seasons.cend(),
                                             [&](const Season &s) { return s.id == episode->season; });
            if (season != seasons.cend())
                m_store.setSelectedSeason(*season);
        }
        m_store.playEpisode(*episode, show);
    }
}

void MediaSession::seekBy(qint64 offsetUs)
{
    refresh();
    MediaPlayer *p = player();
    if (!p || !m_state.canSeek)
        return;
    const qint64 target = std::max<qint64>(0, p->time() + offsetUs / 1000);
    if (target > m_state.track.lengthUs / 1000) {
        next();
        return;
    }
    p->setTime(target);
    noteSeek(target);
}

void MediaSession::setPosition(const QString &trackId, qint64 positionUs)
{
    refresh();
    MediaPlayer *p = player();
    if (!p || !m_state.canSeek || trackId != m_state.track.id || positionUs < 0 || positionUs > m_state.track.lengthUs)
        return;
    p->setTime(positionUs / 1000);
    noteSeek(positionUs / 1000);
}

void MediaSession::raise()
{
    if (!m_window)
        return;
    if (m_window->windowStates() & Qt::WindowMinimized)
        m_window->setWindowStates(m_window->windowStates() & ~Qt::WindowMinimized);
    m_window->show();
    m_window->raise();
    m_window->requestActivate();
}

void MediaSession::noteSeek(qint64 timeMs)
{
    m_seekTargetMs = timeMs;
    m_seekAsked.start();
    Q_EMIT seeked(timeMs * 1000);
}

void MediaSession::watchPosition()
{
    const MediaPlayer *p = player();
    if (!p || !p->hasMedia() || m_state.status == Status::Stopped) {
        m_lastTimeMs = -1;
        return;
    }
    const qint64 time = p->time();
    if (m_seekTargetMs) {
        // The player gets there in its own time; its clock moving there is no further seek.
        if (qAbs(time - *m_seekTargetMs) > forwardSlackMs && m_seekAsked.elapsed() < seekSettleMs)
            return;
        m_seekTargetMs.reset();
        m_lastTimeMs = -1;
    }
    if (m_lastTimeMs >= 0) {
        const qint64 ran = m_state.status == Status::Playing ? m_lastSeen.elapsed() : 0;
        if (time < m_lastTimeMs - backwardSlackMs || time > m_lastTimeMs + ran + forwardSlackMs)
            Q_EMIT seeked(time * 1000);
    }
    m_lastTimeMs = time;
    m_lastSeen.start();
}
