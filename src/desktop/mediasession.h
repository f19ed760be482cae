#pragma once

#include "model/records.h"
#include "player/mediaplayer.h"
#include "player/playercontroller.h"
#include "player/vlcplayerview.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

#include <optional>

class AppStore;
class QJSEngine;
class QQmlEngine;
class QWindow;

// What plays, as the desktop's media controls see it, and the commands they send. It reads the
// store's now-playing fields and the playback of whichever player registered last, and it answers
// play, pause, stop, next, previous and seeks by driving that player or the store. It knows
// nothing of D-Bus: the MPRIS service and the screen keep-awake follow its state.
//
// The player screens register their playback (QML: `import Mavu.Desktop`):
//
//     PlayerController { id: controller }
//     Component.onCompleted: MediaSession.attachController(controller)
//
// and the live preview likewise with `MediaSession.attachPreview(view)`. The latest registration
// is the one followed; when it is detached or destroyed, the one registered before it is
// followed again. Destruction detaches by itself; `detach` is for a screen that stops earlier.
class MediaSession : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    enum class Status { Stopped, Playing, Paused };
    Q_ENUM(Status)

    struct Track
    {
        QString id;          // a D-Bus object path; empty: nothing plays
        QString title;
        QString album;       // the show of an episode
        QStringList artists; // the show (episode), the channel (catch-up), the programme on now (live)
        QUrl artUrl;         // http(s) only
        qint64 lengthUs = 0; // 0: unknown, or a stream without an end
        bool operator==(const Track &) const = default;
    };

    struct State
    {
        Status status = Status::Stopped;
        Track track;
        bool canPlay = false;
        bool canPause = false;
        bool canSeek = false;
        bool canGoNext = false;
        bool canGoPrevious = false;
        bool operator==(const State &) const = default;
    };

    explicit MediaSession(AppStore &store, QObject *parent = nullptr);
    ~MediaSession() override;

    // The session QML sees; set by the application (or a screen test) before any screen loads.
    static void setQmlInstance(MediaSession *session);
    static MediaSession *create(QQmlEngine *, QJSEngine *engine);

    Q_INVOKABLE void attachController(PlayerController *controller);
    Q_INVOKABLE void attachPreview(VLCPlayerView *view);
    Q_INVOKABLE void detach(QObject *source);

    // The window `raise` brings forward.
    void setWindow(QWindow *window);

    const State &state() const { return m_state; }
    qint64 positionUs() const;

    // The desktop's commands. Each does nothing when the state says it cannot.
    void play();
    void pause();
    void playPause();
    void stop(); // playback ends as with the player's own close control, without going elsewhere
    void next();
    void previous();
    // Relative to the position; before the start seeks to it, past the end goes to the next track.
    void seekBy(qint64 offsetUs);
    // Ignored for another track than `trackId`, and outside the track.
    void setPosition(const QString &trackId, qint64 positionUs);
    void raise();

Q_SIGNALS:
    // state() differs from what it was; several changes in one event-loop turn give one signal.
    void stateChanged();
    // The position jumped: a seek asked here or made in the player screen.
    void seeked(qint64 positionUs);

private:
    struct Source
    {
        QPointer<QObject> owner;
        QPointer<MediaPlayer> player;
    };

    void attach(QObject *owner, MediaPlayer *player);
    void scheduleRefresh();
    void refresh();
    void watchPosition();
    MediaPlayer *player() const;
    State computeState() const;
    Track currentTrack() const;
    std::optional<MediaItem> neighbourChannel(int step) const;
    std::optional<Episode> neighbourEpisode(int step) const;
    void go(int step);
    void noteSeek(qint64 timeMs);

    AppStore &m_store;
    QList<Source> m_sources; // the last one is followed
    QPointer<QWindow> m_window;
    State m_state;
    Status m_sourceStatus = Status::Stopped;
    QUrl m_trackUrl;
    quint64 m_trackSerial = 0;
    QTimer m_refreshSoon; // coalesces the store's bursts of change signals
    QTimer m_pulse;       // lengths arriving late, programmes changing, seeks made elsewhere
    // The position last seen and when, to tell a seek from playback going on.
    qint64 m_lastTimeMs = -1;
    QElapsedTimer m_lastSeen;
    // A seek asked here, until the player's clock has got there: announced already.
    std::optional<qint64> m_seekTargetMs;
    QElapsedTimer m_seekAsked;
};
