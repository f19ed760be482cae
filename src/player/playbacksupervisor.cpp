#include "playbacksupervisor.h"

#include "api/diagnostics.h"
#include "connectionlimit.h"
#include "videoframesink.h"

#include <QPointer>

#include <chrono>

namespace {
constexpr std::chrono::milliseconds pollInterval{500};
}

using Action = PlaybackRecovery::Action;
using Phase = PlaybackRecovery::Phase;

PlaybackSupervisor::PlaybackSupervisor(MediaPlayer &player, QObject *parent)
    : QObject(parent)
    , m_player(player)
{
    m_clock.start();
    m_deadline.setSingleShot(true);
    m_deadline.setTimerType(Qt::PreciseTimer);
    connect(&m_deadline, &QTimer::timeout, this, [this] { act(m_recovery.due(now())); });
    m_poll.setInterval(pollInterval);
    connect(&m_poll, &QTimer::timeout, this, &PlaybackSupervisor::poll);
    connect(&m_player, &MediaPlayer::superseded, this, &PlaybackSupervisor::superseded);
    m_refusalCheck = [](QUrl url) { return ConnectionLimit::reached(std::move(url)); };
}

void PlaybackSupervisor::setRefusalCheck(RefusalCheck check)
{
    m_refusalCheck = std::move(check);
    m_checksEveryAddress = true;
}

void PlaybackSupervisor::setTiming(const PlaybackRecovery::Timing &timing)
{
    m_recovery = PlaybackRecovery(timing);
    m_poll.setInterval(std::clamp<qint64>(timing.watchdog / 10, 10, pollInterval.count()));
}

void PlaybackSupervisor::start(const QUrl &url, const MediaPlayer::Options &options, bool live)
{
    m_url = url;
    m_options = options;
    m_lastTimeMs = options.startMs;
    m_recovery.start(now(), live);
    open(false, options.startMs);
    m_poll.start();
    schedule();
    publish();
}

void PlaybackSupervisor::retry()
{
    if (m_url.isEmpty())
        return;
    // Where it last played, also when the previous Retry broke off before it played again.
    const qint64 startMs = m_recovery.live() ? m_options.startMs : m_lastTimeMs;
    m_recovery.retry(now());
    open(false, startMs);
    m_poll.start();
    schedule();
    publish();
}

void PlaybackSupervisor::stop()
{
    ++m_openings;
    m_checking = false;
    m_recovery.stop();
    m_deadline.stop();
    m_poll.stop();
    m_player.stop();
    publish();
}

void PlaybackSupervisor::playerStateChanged()
{
    const qint64 t = now();
    switch (m_player.state()) {
    case MediaPlayer::State::Error:
        streamFailed(t);
        return;
    case MediaPlayer::State::Ended:
        if (!m_recovery.live() && m_recovery.hasPlayed()
            && PlaybackRecovery::reachedEnd(std::max(m_lastTimeMs, m_player.time()), m_player.length())) {
            m_recovery.ended();
            m_deadline.stop();
            publish();
            return;
        }
        act(m_recovery.broke(t, PlaybackRecovery::Break::failed));
        return;
    case MediaPlayer::State::Stopped: // ours, or after an end or error already reported
    case MediaPlayer::State::Idle:
        return;
    case MediaPlayer::State::Paused:
        m_recovery.paused(t, true);
        break;
    case MediaPlayer::State::Opening:
    case MediaPlayer::State::Buffering:
    case MediaPlayer::State::Playing:
    case MediaPlayer::State::TrackAdded:
        m_recovery.paused(t, false);
        m_recovery.progress(t);
        break;
    }
    if (m_player.isPlaying()) {
        // Only now is the length known: a stream without one cannot resume, it reconnects.
        if (m_player.length() <= 0)
            m_recovery.setLive(true);
        m_recovery.framesPlaying(t);
    }
    schedule();
    publish();
}

void PlaybackSupervisor::streamFailed(qint64 at)
{
    if (m_checking)
        return; // the same failure, reported again
    const bool opening = (phase() == Phase::loading || phase() == Phase::reconnecting) && !m_recovery.waiting();
    if (!opening || !m_refusalCheck || (!m_checksEveryAddress && !ConnectionLimit::canTell(m_url))) {
        act(m_recovery.broke(at, PlaybackRecovery::Break::failed));
        return;
    }
    // Still "Loading…" while the account answers.
    m_checking = true;
    [[maybe_unused]] QCoro::Task<> started = checkRefusal(m_openings, at);
}

QCoro::Task<> PlaybackSupervisor::checkRefusal(quint64 opening, qint64 at)
{
    QPointer<PlaybackSupervisor> self(this);
    auto check = m_refusalCheck(m_url);
    const bool refused = co_await check;
    if (!self || opening != m_openings)
        co_return; // stopped or opened again meanwhile
    m_checking = false;
    qCDebug(lcPlayer) << "stream failed" << (refused ? "refused: the account's connection limit" : "");
    act(m_recovery.broke(std::max(at, now()), refused ? PlaybackRecovery::Break::refused : PlaybackRecovery::Break::failed));
}

void PlaybackSupervisor::superseded()
{
    // Another player took the account's connection: nothing of this one is watched any more.
    ++m_openings;
    m_checking = false;
    m_recovery.stop();
    m_deadline.stop();
    m_poll.stop();
    publish();
}

void PlaybackSupervisor::poll()
{
    bool moved = false;
    const qint64 time = m_player.time();
    if (time != m_seenTimeMs) {
        moved = m_seenTimeMs >= 0 && time > 0;
        m_seenTimeMs = time;
    }
    if (const auto frames = m_player.videoFrames()) {
        const quint64 received = frames->counters().received;
        moved = moved || received != m_seenFrames;
        m_seenFrames = received;
    }
    if (time > 0 && m_player.isPlaying() && phase() == Phase::playing)
        m_lastTimeMs = time;
    if (moved) {
        m_recovery.progress(now());
        schedule();
    }
}

void PlaybackSupervisor::act(Action action)
{
    switch (action) {
    case Action::none:
        break;
    case Action::open:
        if (reconnecting())
            Q_EMIT reconnectionStarted(m_recovery.attempt());
        open(reconnecting(), m_recovery.live() ? 0 : m_lastTimeMs);
        break;
    case Action::close:
        m_player.stop(reconnecting() ? MediaPlayer::Picture::keep : MediaPlayer::Picture::clear);
        break;
    case Action::fail:
        m_player.stop();
        break;
    }
    schedule();
    publish();
}

void PlaybackSupervisor::open(bool keepPicture, qint64 startMs)
{
    MediaPlayer::Options options = m_options;
    options.keepPicture = keepPicture;
    options.startMs = startMs;
    m_seenTimeMs = -1;
    ++m_openings;
    m_checking = false;
    m_player.open(m_url, options);
}

void PlaybackSupervisor::schedule()
{
    const auto deadline = m_recovery.deadline();
    if (!deadline) {
        m_deadline.stop();
        return;
    }
    m_deadline.start(int(std::clamp<qint64>(*deadline - now(), 0, 24 * 3600 * 1000)));
}

void PlaybackSupervisor::publish()
{
    if (phase() == m_publishedPhase && failure() == m_publishedFailure)
        return;
    m_publishedPhase = phase();
    m_publishedFailure = failure();
    Q_EMIT changed();
}
