#pragma once

#include <QList>
#include <QtGlobal>

#include <optional>

// What a player does when its stream stops moving, breaks or ends, as a rule over plain times (in
// milliseconds of a monotonic clock) so that it can be tested without waiting:
//
// - "Loading…" that makes no progress (no state change, no clock advancing, no picture) for the
//   watchdog's time fails the stream; so does a stream that breaks before it ever played.
// - A live stream that played and then ends, breaks or stops moving reconnects by itself after
//   1, 2, 4, 8 s, then every 15 s, for as long as its owner keeps it; an attempt that breaks or
//   stops moving counts as a failed attempt, and pictures playing again end the reconnection.
// - An on-demand stream (a movie, an episode, a recording) that breaks fails; its owner resumes
//   it at the last position on Retry. One that reaches its end is not a failure.
// - A stream the provider refuses while it opens (its connection limit) is tried again after a
//   short pause a few times before it fails as refused.
//
// The owner reports what its player does and carries out the action each report answers; it
// calls due() once the deadline() has come.
class PlaybackRecovery
{
public:
    using Ms = qint64;

    struct Timing
    {
        Ms watchdog = 20000;
        QList<Ms> backoff = {1000, 2000, 4000, 8000, 15000}; // the last one repeats
        Ms refusalPause = 1000;
        int refusalRetries = 3;
    };

    enum class Phase { idle, loading, playing, reconnecting, failed, ended };
    enum class Failure { none, stream, refused };
    // What the owner does now: nothing; open the address again (keeping the picture while it
    // reconnects); close the stream and wait; close the stream and show the failure.
    enum class Action { none, open, close, fail };
    enum class Break { failed, refused };

    PlaybackRecovery();
    explicit PlaybackRecovery(Timing timing);

    // The delay before reconnection attempt `attempt` (1 for the first).
    static Ms backoffDelay(const Timing &timing, int attempt);
    // Whether an on-demand stream that ended at `timeMs` of `lengthMs` reached its end rather
    // than broke off; without a length it cannot have.
    static bool reachedEnd(Ms timeMs, Ms lengthMs);

    // A new address starts loading; `live` streams reconnect when they break.
    void start(Ms now, bool live);
    // The user's Retry: loads again from the start of the rule.
    Action retry(Ms now);
    // Whether breaking reconnects: the owner may learn that a stream is on demand once it plays.
    void setLive(bool live) { m_live = live; }
    bool live() const { return m_live; }

    void progress(Ms now);      // a state change, the clock advancing or a new picture
    void framesPlaying(Ms now); // pictures play
    void paused(Ms now, bool paused);
    Action broke(Ms now, Break how);
    void ended(); // an on-demand stream reached its end
    void stop();  // the owner stopped: nothing to watch
    Action due(Ms now);

    std::optional<Ms> deadline() const { return m_deadline; }
    Phase phase() const { return m_phase; }
    Failure failure() const { return m_failure; }
    bool hasPlayed() const { return m_hasPlayed; }
    int attempt() const { return m_attempt; } // the reconnection attempt last scheduled; 0 for none
    bool waiting() const { return !m_trying; } // a reopen is due at the deadline

private:
    void watch(Ms now);
    Action waitFor(Ms now, Ms delay);
    Action fail(Failure failure);

    Timing m_timing;
    Phase m_phase = Phase::idle;
    Failure m_failure = Failure::none;
    std::optional<Ms> m_deadline;
    bool m_live = false;
    bool m_hasPlayed = false;
    bool m_trying = true; // false: waiting to reopen at the deadline
    bool m_paused = false;
    int m_attempt = 0;
    int m_refusals = 0;
};
