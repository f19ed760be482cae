#pragma once

#include "mediaplayer.h"
#include "playbacksupervisor.h"
#include "videosurface.h"

#include <QUrl>

#include <memory>

// A self-contained player for the live preview: it plays whatever address it is given and reports
// buffering and failure back through two properties that its parent binds both ways. Its reports
// are written asynchronously, in the order they were made, never during the call that caused them.
// It plays while it is part of a scene; taken out of the scene or destroyed, it stops.
// A stream that breaks after it played reconnects by itself (isReconnecting, the last picture
// stays); one that never gets going fails, and retry() opens it again.
class VLCPlayerView : public VideoSurface
{
    Q_OBJECT
    QML_ELEMENT

    // Empty: nothing plays.
    Q_PROPERTY(QUrl url READ url WRITE setUrl NOTIFY urlChanged FINAL)
    Q_PROPERTY(bool isBuffering READ isBuffering WRITE setIsBuffering NOTIFY isBufferingChanged FINAL)
    Q_PROPERTY(bool failed READ failed WRITE setFailed NOTIFY failedChanged FINAL)
    Q_PROPERTY(bool isReconnecting READ isReconnecting NOTIFY isReconnectingChanged FINAL)
    // The failure is the provider refusing a connection beyond the account's limit.
    Q_PROPERTY(bool limitReached READ limitReached NOTIFY limitReachedChanged FINAL)
    // Frames are playing.
    Q_PROPERTY(bool isPlaying READ isPlaying NOTIFY isPlayingChanged FINAL)

public:
    // Plays through libVLC.
    explicit VLCPlayerView(QQuickItem *parent = nullptr);
    // Plays through `player` (tests pass a scripted one).
    explicit VLCPlayerView(std::unique_ptr<MediaPlayer> player, QQuickItem *parent = nullptr);
    ~VLCPlayerView() override;

    QUrl url() const { return m_url; }
    void setUrl(const QUrl &url);
    bool isBuffering() const { return m_isBuffering; }
    void setIsBuffering(bool value);
    bool failed() const { return m_failed; }
    void setFailed(bool value);
    bool isReconnecting() const { return m_isReconnecting; }
    bool limitReached() const { return m_limitReached; }
    bool isPlaying() const { return m_isPlaying; }

    // Opens the address again after a failure.
    Q_INVOKABLE void retry();

    MediaPlayer &player() const { return *m_player; }
    PlaybackSupervisor &supervisor() { return m_supervisor; }

Q_SIGNALS:
    void urlChanged();
    void isBufferingChanged();
    void failedChanged();
    void isReconnectingChanged();
    void limitReachedChanged();
    void isPlayingChanged();

protected:
    void itemChange(ItemChange change, const ItemChangeData &value) override;

private:
    void start(const QUrl &url);
    void onPlayerStateChanged();
    void reportBuffering(bool value);
    void reportFailed(bool value);
    void onRecoveryChanged();
    void setIsPlaying(bool value);

    std::unique_ptr<MediaPlayer> m_player;
    PlaybackSupervisor m_supervisor;
    QUrl m_url;
    QUrl m_currentUrl; // the address last started; empty when none is
    bool m_isBuffering = false;
    bool m_failed = false;
    bool m_isReconnecting = false;
    bool m_limitReached = false;
    bool m_isPlaying = false;
};
