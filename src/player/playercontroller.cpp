#include "playercontroller.h"

#include "vlcmediaplayer.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QVariantMap>
#include <QtNumeric>

#include <algorithm>
#include <chrono>

namespace {

constexpr std::chrono::milliseconds tickInterval{500};
constexpr int catchupCacheMs = 5000;
constexpr int streamCacheMs = 3000;

QString unknownTime()
{
    return QStringLiteral("--:--");
}

// The player lists names and identifiers separately; a name without an identifier (or the other
// way round) cannot be offered.
QList<PlayerController::Track> pairTracks(const MediaPlayer::TrackLists &lists)
{
    const qsizetype count = std::min(lists.names.size(), lists.ids.size());
    QList<PlayerController::Track> tracks;
    tracks.reserve(count);
    for (qsizetype i = 0; i < count; ++i)
        tracks.append({lists.ids[i], lists.names[i]});
    return tracks;
}

QVariantList toVariantList(const QList<PlayerController::Track> &tracks)
{
    QVariantList list;
    list.reserve(tracks.size());
    for (const PlayerController::Track &track : tracks)
        list.append(QVariantMap{{QStringLiteral("index"), track.index}, {QStringLiteral("name"), track.name}});
    return list;
}

} // namespace

PlayerController::PlayerController(QObject *parent)
    : PlayerController(std::make_unique<VlcMediaPlayer>(), parent)
{
}

PlayerController::PlayerController(std::unique_ptr<MediaPlayer> player, QObject *parent)
    : QObject(parent)
    , m_player(std::move(player))
    , m_supervisor(*m_player)
    , m_timer(std::make_unique<QTimer>())
    , m_timeText(unknownTime())
    , m_lengthText(unknownTime())
{
    connect(m_player.get(), &MediaPlayer::stateChanged, this, &PlayerController::onPlayerStateChanged);
    connect(m_player.get(), &MediaPlayer::tracksChanged, this, &PlayerController::refreshTracks);
    // Its stream went to another player: asked for the same address again, it opens it again.
    connect(m_player.get(), &MediaPlayer::superseded, this, [this] { m_currentUrl.reset(); });
    connect(&m_supervisor, &PlaybackSupervisor::changed, this, &PlayerController::onRecoveryChanged);
    m_timer->setInterval(tickInterval);
    connect(m_timer.get(), &QTimer::timeout, this, &PlayerController::tick);
    m_timer->start();
}

PlayerController::~PlayerController() = default;

void PlayerController::setIsSeeking(bool seeking)
{
    if (m_isSeeking == seeking)
        return;
    m_isSeeking = seeking;
    Q_EMIT isSeekingChanged();
}

QVariantList PlayerController::audioTracks() const
{
    return toVariantList(m_audioTracks);
}

QVariantList PlayerController::subtitleTracks() const
{
    return toVariantList(m_subtitleTracks);
}

void PlayerController::play(const QUrl &url, bool catchup, qint64 startMs)
{
    // The screen calls this when it appears and whenever its address changes: the same address
    // never restarts.
    if (m_currentUrl && *m_currentUrl == url)
        return;
    m_currentUrl = url;
    setIsBuffering(true);
    // Movies, episodes and recordings: a stream without a length turns out live once it plays.
    m_supervisor.start(url, MediaPlayer::Options{catchup ? catchupCacheMs : streamCacheMs, true, std::max<qint64>(0, startMs)},
                       false);
}

void PlayerController::retry()
{
    if (!m_currentUrl)
        return;
    setIsBuffering(true);
    m_supervisor.retry();
}

void PlayerController::shutdown()
{
    m_timer.reset();
    m_supervisor.stop();
}

void PlayerController::setAspect(const QString &name)
{
    if (name == QLatin1String("Default")) {
        m_player->setAspectRatio(QString());
        m_player->setScale(0);
    } else if (name == QLatin1String("Fill")) {
        const QScreen *screen = QGuiApplication::primaryScreen();
        if (!screen)
            return;
        const QRect frame = screen->geometry();
        m_player->setAspectRatio(QStringLiteral("%1:%2").arg(frame.width()).arg(frame.height()));
    } else {
        m_player->setAspectRatio(name);
    }
}

QString PlayerController::hms(double seconds)
{
    // Toward zero; nothing below 0; no undefined conversion for NaN or absurd sizes.
    const qint64 s = qIsFinite(seconds) && seconds > 0 ? qint64(std::min(seconds, 1e12)) : 0;
    const QLatin1Char zero('0');
    if (s >= 3600)
        return QStringLiteral("%1:%2:%3").arg(s / 3600).arg((s % 3600) / 60, 2, 10, zero).arg(s % 60, 2, 10, zero);
    return QStringLiteral("%1:%2").arg(s / 60, 2, 10, zero).arg(s % 60, 2, 10, zero);
}

bool PlayerController::playerIsPlaying() const
{
    return m_player->isPlaying();
}

void PlayerController::playerPlay()
{
    m_player->play();
}

void PlayerController::playerPause()
{
    m_player->pause();
}

void PlayerController::seek(double fraction)
{
    m_player->setPosition(qIsFinite(fraction) ? std::clamp(fraction, 0.0, 1.0) : 0.0);
}

void PlayerController::jumpForward(int seconds)
{
    if (seconds > 0)
        m_player->setTime(m_player->time() + qint64(seconds) * 1000);
}

void PlayerController::jumpBackward(int seconds)
{
    if (seconds > 0)
        m_player->setTime(std::max<qint64>(0, m_player->time() - qint64(seconds) * 1000));
}

void PlayerController::changeVolume(int delta)
{
    const int before = m_player->volume();
    m_player->setVolume(std::clamp(before + delta, 0, 100));
    if (m_player->volume() != before)
        Q_EMIT volumeChanged();
    if (m_player->isMuted()) {
        m_player->setMuted(false);
        Q_EMIT mutedChanged();
    }
}

void PlayerController::toggleMute()
{
    m_player->setMuted(!m_player->isMuted());
    Q_EMIT mutedChanged();
}

qint64 PlayerController::playerTime() const
{
    return m_player->time();
}

void PlayerController::selectAudioTrack(int index)
{
    m_player->setAudioTrack(index);
}

void PlayerController::selectSubtitleTrack(int index)
{
    m_player->setSubtitleTrack(index);
}

void PlayerController::tick()
{
    if (m_isSeeking) // the user's drag is not overwritten
        return;
    if (!m_player->hasMedia()) // the texts stay "--:--" until there is something to time
        return;
    const double length = m_player->length() / 1000.0;
    const double time = m_player->time() / 1000.0;
    setTimeText(hms(time));
    if (length > 0) {
        setPosition(std::clamp(time / length, 0.0, 1.0));
        setLengthText(hms(length));
    } else {
        setLengthText(unknownTime()); // live streams have no length; the position stays
    }
}

void PlayerController::onPlayerStateChanged()
{
    // The state is read now, on the GUI thread: a quick succession may show as its latest state.
    switch (m_player->state()) {
    case MediaPlayer::State::Stopped:
    case MediaPlayer::State::Ended:
        setIsBuffering(false);
        setIsPlaying(false);
        break;
    case MediaPlayer::State::Opening:
    case MediaPlayer::State::Buffering:
    case MediaPlayer::State::TrackAdded:
        // a player that fills its buffer while frames already play shows no indicator
        setIsBuffering(!m_player->isPlaying());
        break;
    case MediaPlayer::State::Error: // failed or reconnecting, as the supervisor decides
        setIsBuffering(false);
        setIsPlaying(false);
        break;
    case MediaPlayer::State::Playing:
        setIsBuffering(false);
        setIsPlaying(true);
        break;
    case MediaPlayer::State::Paused:
        setIsPlaying(false);
        break;
    case MediaPlayer::State::Idle:
        break;
    }
    refreshTracks();
    m_supervisor.playerStateChanged();
}

void PlayerController::onRecoveryChanged()
{
    const bool limitReached = m_supervisor.failed() && m_supervisor.failure() == PlaybackRecovery::Failure::refused;
    if (limitReached != m_limitReached) {
        m_limitReached = limitReached;
        if (m_failed == m_supervisor.failed())
            Q_EMIT failedChanged(); // the same failure, another reason
    }
    setFailed(m_supervisor.failed());
    if (m_failed)
        setIsBuffering(false);
    if (m_isReconnecting != m_supervisor.reconnecting()) {
        m_isReconnecting = m_supervisor.reconnecting();
        Q_EMIT isReconnectingChanged();
    }
}

void PlayerController::refreshTracks()
{
    QList<Track> audio = pairTracks(m_player->audioTracks());
    QList<Track> subtitles = pairTracks(m_player->subtitleTracks());
    if (audio == m_audioTracks && subtitles == m_subtitleTracks)
        return;
    m_audioTracks = std::move(audio);
    m_subtitleTracks = std::move(subtitles);
    Q_EMIT tracksChanged();
}

void PlayerController::setIsBuffering(bool value)
{
    if (m_isBuffering == value)
        return;
    m_isBuffering = value;
    Q_EMIT isBufferingChanged();
}

void PlayerController::setFailed(bool value)
{
    if (m_failed == value)
        return;
    m_failed = value;
    Q_EMIT failedChanged();
}

void PlayerController::setIsPlaying(bool value)
{
    if (m_isPlaying == value)
        return;
    m_isPlaying = value;
    Q_EMIT isPlayingChanged();
}

void PlayerController::setPosition(double value)
{
    if (m_position == value)
        return;
    m_position = value;
    Q_EMIT positionChanged();
}

void PlayerController::setTimeText(const QString &value)
{
    if (m_timeText == value)
        return;
    m_timeText = value;
    Q_EMIT timeTextChanged();
}

void PlayerController::setLengthText(const QString &value)
{
    if (m_lengthText == value)
        return;
    m_lengthText = value;
    Q_EMIT lengthTextChanged();
}
