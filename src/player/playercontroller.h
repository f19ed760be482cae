#pragma once

#include "mediaplayer.h"
#include "playbacksupervisor.h"

#include <QObject>
#include <QString>
#include <QUrl>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <memory>
#include <optional>

class QTimer;

// The full-window player's playback state and commands. It owns one media player, turns its
// reports into the values the player screen draws (all written on the GUI thread) and refreshes
// the time texts twice a second.
class PlayerController : public QObject
{
    Q_OBJECT
    QML_ELEMENT

    Q_PROPERTY(bool isBuffering READ isBuffering NOTIFY isBufferingChanged FINAL)
    Q_PROPERTY(bool failed READ failed NOTIFY failedChanged FINAL)
    // The failure is the provider refusing a connection beyond the account's limit.
    Q_PROPERTY(bool limitReached READ limitReached NOTIFY failedChanged FINAL)
    // A live stream broke and opens again by itself; its last picture stays.
    Q_PROPERTY(bool isReconnecting READ isReconnecting NOTIFY isReconnectingChanged FINAL)
    Q_PROPERTY(bool isPlaying READ isPlaying NOTIFY isPlayingChanged FINAL)
    Q_PROPERTY(double position READ position NOTIFY positionChanged FINAL)
    Q_PROPERTY(QString timeText READ timeText NOTIFY timeTextChanged FINAL)
    Q_PROPERTY(QString lengthText READ lengthText NOTIFY lengthTextChanged FINAL)
    Q_PROPERTY(bool isSeeking READ isSeeking WRITE setIsSeeking NOTIFY isSeekingChanged FINAL)
    // Lists of {index, name}: `index` is what selectAudioTrack / selectSubtitleTrack take.
    Q_PROPERTY(QVariantList audioTracks READ audioTracks NOTIFY tracksChanged FINAL)
    Q_PROPERTY(QVariantList subtitleTracks READ subtitleTracks NOTIFY tracksChanged FINAL)
    // Percent, 0…100; muted keeps the volume for when the sound comes back.
    Q_PROPERTY(int volume READ volume NOTIFY volumeChanged FINAL)
    Q_PROPERTY(bool muted READ muted NOTIFY mutedChanged FINAL)

public:
    struct Track
    {
        int index = 0; // the player's identifier of the track
        QString name;
        bool operator==(const Track &) const = default;
    };

    // Plays through libVLC.
    explicit PlayerController(QObject *parent = nullptr);
    // Plays through `player` (tests pass a scripted one).
    explicit PlayerController(std::unique_ptr<MediaPlayer> player, QObject *parent = nullptr);
    ~PlayerController() override;

    bool isBuffering() const { return m_isBuffering; }
    bool failed() const { return m_failed; }
    bool limitReached() const { return m_limitReached; }
    bool isReconnecting() const { return m_isReconnecting; }
    bool isPlaying() const { return m_isPlaying; }
    double position() const { return m_position; }
    QString timeText() const { return m_timeText; }
    QString lengthText() const { return m_lengthText; }
    bool isSeeking() const { return m_isSeeking; }
    void setIsSeeking(bool seeking);
    QVariantList audioTracks() const;
    QVariantList subtitleTracks() const;
    const QList<Track> &audioTrackList() const { return m_audioTracks; }
    const QList<Track> &subtitleTrackList() const { return m_subtitleTracks; }

    // Starts `url` unless it is the address already given; `catchup` (a time-shifted recording)
    // only makes the network cache larger. An on-demand stream starts `startMs` in.
    Q_INVOKABLE void play(const QUrl &url, bool catchup, qint64 startMs = 0);
    // Opens the address again after a failure; a movie resumes where it broke off.
    Q_INVOKABLE void retry();
    // Stops the ticks and the player; for when the player screen goes away.
    Q_INVOKABLE void shutdown();
    // "Default", "Fill" (the primary screen's proportions) or a ratio such as "16:9".
    Q_INVOKABLE void setAspect(const QString &name);
    // Seconds as "mm:ss", or "h:mm:ss" from an hour on; negative counts as 0.
    Q_INVOKABLE static QString hms(double seconds);

    // The player screen's direct commands.
    Q_INVOKABLE bool playerIsPlaying() const;
    Q_INVOKABLE void playerPlay();
    Q_INVOKABLE void playerPause();
    Q_INVOKABLE void seek(double fraction);    // a fraction of the length, clamped to 0…1
    Q_INVOKABLE void jumpForward(int seconds);  // whole seconds; nothing for 0 or less
    Q_INVOKABLE void jumpBackward(int seconds); // whole seconds, not before the start
    Q_INVOKABLE qint64 playerTime() const;      // milliseconds
    Q_INVOKABLE void selectAudioTrack(int index);
    Q_INVOKABLE void selectSubtitleTrack(int index);
    int volume() const { return m_player->volume(); }
    bool muted() const { return m_player->isMuted(); }
    // Signed percent, the result clamped to 0…100; a change of volume brings the sound back.
    Q_INVOKABLE void changeVolume(int delta);
    Q_INVOKABLE void toggleMute();

    MediaPlayer &player() const { return *m_player; }
    PlaybackSupervisor &supervisor() { return m_supervisor; }

Q_SIGNALS:
    void isBufferingChanged();
    void failedChanged();
    void isReconnectingChanged();
    void isPlayingChanged();
    void positionChanged();
    void timeTextChanged();
    void lengthTextChanged();
    void isSeekingChanged();
    void tracksChanged();
    void volumeChanged();
    void mutedChanged();

private Q_SLOTS:
    void tick();

private:
    void onPlayerStateChanged();
    void onRecoveryChanged();
    void refreshTracks();
    void setIsBuffering(bool value);
    void setFailed(bool value);
    void setIsPlaying(bool value);
    void setPosition(double value);
    void setTimeText(const QString &value);
    void setLengthText(const QString &value);

    std::unique_ptr<MediaPlayer> m_player;
    PlaybackSupervisor m_supervisor;
    std::unique_ptr<QTimer> m_timer;
    std::optional<QUrl> m_currentUrl;
    bool m_isBuffering = true;
    bool m_failed = false;
    bool m_limitReached = false;
    bool m_isReconnecting = false;
    bool m_isPlaying = false;
    double m_position = 0;
    QString m_timeText;
    QString m_lengthText;
    bool m_isSeeking = false;
    QList<Track> m_audioTracks;
    QList<Track> m_subtitleTracks;
};
