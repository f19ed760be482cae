#include "playbackrecovery.h"

#include <algorithm>

PlaybackRecovery::PlaybackRecovery()
    : PlaybackRecovery(Timing{})
{
}

PlaybackRecovery::PlaybackRecovery(Timing timing)
    : m_timing(std::move(timing))
{
    if (m_timing.backoff.isEmpty())
        m_timing.backoff = {15000};
}

PlaybackRecovery::Ms PlaybackRecovery::backoffDelay(const Timing &timing, int attempt)
{
    if (timing.backoff.isEmpty())
        return 0;
    const qsizetype index = std::clamp<qsizetype>(attempt - 1, 0, timing.backoff.size() - 1);
    return timing.backoff.at(index);
}

bool PlaybackRecovery::reachedEnd(Ms timeMs, Ms lengthMs)
{
    // libVLC stops its clock up to a second short of the length it announced.
    constexpr Ms slack = 2000;
    return lengthMs > 0 && timeMs >= lengthMs - slack;
}

void PlaybackRecovery::start(Ms now, bool live)
{
    m_live = live;
    m_phase = Phase::loading;
    m_failure = Failure::none;
    m_hasPlayed = false;
    m_trying = true;
    m_paused = false;
    m_attempt = 0;
    m_refusals = 0;
    watch(now);
}

PlaybackRecovery::Action PlaybackRecovery::retry(Ms now)
{
    start(now, m_live);
    return Action::open;
}

void PlaybackRecovery::progress(Ms now)
{
    if (m_trying && (m_phase == Phase::loading || m_phase == Phase::playing || m_phase == Phase::reconnecting))
        watch(now);
}

void PlaybackRecovery::framesPlaying(Ms now)
{
    if (m_phase == Phase::idle || m_phase == Phase::failed || m_phase == Phase::ended || !m_trying)
        return;
    m_phase = Phase::playing;
    m_hasPlayed = true;
    m_attempt = 0;
    m_refusals = 0;
    watch(now);
}

void PlaybackRecovery::paused(Ms now, bool paused)
{
    m_paused = paused;
    if (m_trying && (m_phase == Phase::loading || m_phase == Phase::playing || m_phase == Phase::reconnecting))
        watch(now);
}

PlaybackRecovery::Action PlaybackRecovery::broke(Ms now, Break how)
{
    if (m_phase == Phase::idle || m_phase == Phase::failed || m_phase == Phase::ended)
        return Action::none;
    if (!m_trying) // already closed and waiting; what the closed stream still reports changes nothing
        return Action::none;
    const bool opening = m_phase == Phase::loading || m_phase == Phase::reconnecting;
    if (how == Break::refused && opening && m_refusals < m_timing.refusalRetries) {
        ++m_refusals;
        return waitFor(now, m_timing.refusalPause);
    }
    if (m_live && m_hasPlayed) {
        m_phase = Phase::reconnecting;
        ++m_attempt;
        return waitFor(now, backoffDelay(m_timing, m_attempt));
    }
    return fail(how == Break::refused ? Failure::refused : Failure::stream);
}

void PlaybackRecovery::ended()
{
    if (m_phase == Phase::idle || m_phase == Phase::failed)
        return;
    m_phase = Phase::ended;
    m_deadline.reset();
    m_trying = true;
}

void PlaybackRecovery::stop()
{
    m_phase = Phase::idle;
    m_deadline.reset();
    m_trying = true;
    m_paused = false;
}

PlaybackRecovery::Action PlaybackRecovery::due(Ms now)
{
    if (!m_deadline || now < *m_deadline)
        return Action::none;
    if (!m_trying) {
        m_trying = true;
        watch(now);
        return Action::open;
    }
    // The watchdog: nothing moved for its whole time.
    return broke(now, Break::failed);
}

void PlaybackRecovery::watch(Ms now)
{
    if (m_paused)
        m_deadline.reset();
    else
        m_deadline = now + m_timing.watchdog;
}

PlaybackRecovery::Action PlaybackRecovery::waitFor(Ms now, Ms delay)
{
    m_trying = false;
    m_deadline = now + delay;
    return Action::close;
}

PlaybackRecovery::Action PlaybackRecovery::fail(Failure failure)
{
    m_phase = Phase::failed;
    m_failure = failure;
    m_deadline.reset();
    m_trying = true;
    return Action::fail;
}
