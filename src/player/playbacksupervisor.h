#pragma once

#include "mediaplayer.h"
#include "playbackrecovery.h"

#include <QCoroTask>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <QUrl>

#include <functional>

// Carries out PlaybackRecovery's rule for one media player: watches what the player reports (its
// states, its clock, its pictures), reopens a live stream that broke while keeping its last
// picture, fails a stream that never got going, and on Retry resumes an on-demand stream where it
// broke off. A stream that fails while it opens is first checked against the account's
// connection limit: refused for it, it is tried again shortly. Its owner shows the results.
class PlaybackSupervisor : public QObject
{
    Q_OBJECT

public:
    explicit PlaybackSupervisor(MediaPlayer &player, QObject *parent = nullptr);

    // Tests shorten the times.
    void setTiming(const PlaybackRecovery::Timing &timing);
    // Whether a stream that failed while opening was refused for the account's connection limit.
    // By default the account of a provider stream is asked; other addresses are not checked.
    // Tests pass their own; an empty one checks nothing.
    using RefusalCheck = std::function<QCoro::Task<bool>(QUrl)>;
    void setRefusalCheck(RefusalCheck check);

    // Opens `url`. A `live` stream reconnects when it breaks; any other learns it is live when it
    // plays without a length.
    void start(const QUrl &url, const MediaPlayer::Options &options, bool live);
    // Opens the address again after a failure; an on-demand stream resumes where it broke off.
    void retry();
    // Stops the player; nothing is watched until the next start.
    void stop();
    // The owner passes each of the player's state reports on, once it has shown it.
    void playerStateChanged();

    QUrl url() const { return m_url; }
    PlaybackRecovery::Phase phase() const { return m_recovery.phase(); }
    PlaybackRecovery::Failure failure() const { return m_recovery.failure(); }
    bool failed() const { return phase() == PlaybackRecovery::Phase::failed; }
    bool reconnecting() const { return phase() == PlaybackRecovery::Phase::reconnecting; }
    int attempt() const { return m_recovery.attempt(); }
    qint64 resumeMs() const { return m_lastTimeMs; } // where a Retry resumes an on-demand stream

Q_SIGNALS:
    void changed(); // phase or failure
    // A reconnection attempt (1 for the first) opens.
    void reconnectionStarted(int attempt);

private:
    qint64 now() const { return m_clock.elapsed(); }
    void poll();
    void act(PlaybackRecovery::Action action);
    void open(bool keepPicture, qint64 startMs);
    void schedule();
    void publish();
    void streamFailed(qint64 at);
    QCoro::Task<> checkRefusal(quint64 opening, qint64 at);
    void superseded();

    MediaPlayer &m_player;
    PlaybackRecovery m_recovery;
    QElapsedTimer m_clock;
    QTimer m_deadline;
    QTimer m_poll;
    QUrl m_url;
    MediaPlayer::Options m_options;
    qint64 m_lastTimeMs = 0;   // the on-demand clock last seen moving
    qint64 m_seenTimeMs = -1;  // the clock at the last poll
    quint64 m_seenFrames = 0;  // pictures received at the last poll
    RefusalCheck m_refusalCheck;
    bool m_checksEveryAddress = false; // a check of the tests' own
    quint64 m_openings = 0;             // counts opens and stops: a check answers only for its own
    bool m_checking = false;
    PlaybackRecovery::Phase m_publishedPhase = PlaybackRecovery::Phase::idle;
    PlaybackRecovery::Failure m_publishedFailure = PlaybackRecovery::Failure::none;
};
