#pragma once

#include "mediaplayer.h"
#include "videosurface.h"

#include <QUrl>

#include <memory>

// A self-contained player for the live preview: it plays whatever address it is given and reports
// buffering and failure back through two properties that its parent binds both ways. Its reports
// are written asynchronously, in the order they were made, never during the call that caused them.
// It plays while it is part of a scene; taken out of the scene or destroyed, it stops.
class VLCPlayerView : public VideoSurface
{
    Q_OBJECT
    QML_ELEMENT

    // Empty: nothing plays.
    Q_PROPERTY(QUrl url READ url WRITE setUrl NOTIFY urlChanged FINAL)
    Q_PROPERTY(bool isBuffering READ isBuffering WRITE setIsBuffering NOTIFY isBufferingChanged FINAL)
    Q_PROPERTY(bool failed READ failed WRITE setFailed NOTIFY failedChanged FINAL)

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

    MediaPlayer &player() const { return *m_player; }

Q_SIGNALS:
    void urlChanged();
    void isBufferingChanged();
    void failedChanged();

protected:
    void itemChange(ItemChange change, const ItemChangeData &value) override;

private:
    void start(const QUrl &url);
    void onPlayerStateChanged();
    void reportBuffering(bool value);
    void reportFailed(bool value);

    std::unique_ptr<MediaPlayer> m_player;
    QUrl m_url;
    QUrl m_currentUrl; // the address last started; empty when none is
    bool m_isBuffering = false;
    bool m_failed = false;
};
