#pragma once

#include "mediaplayer.h"

#include <QByteArrayList>

#include <atomic>

struct libvlc_event_t;
struct libvlc_media_player_t;
struct libvlc_media_t;

// What libVLC 3's player events mean as MediaPlayer states. libVLC reports "playing" as soon as its
// input runs, before its buffer has filled and the first frame shows: frames play once both have
// happened. A seek empties the buffer again.
class VlcStateTracker
{
public:
    // Takes one libVLC event (`cache` is the fill of a buffering event, in percent); false when
    // the event says nothing about the state.
    bool apply(int eventType, float cache);
    MediaPlayer::State state() const { return m_state; }
    bool isPlaying() const { return m_inputPlaying && m_buffered; }
    void reset(); // a new media opens

private:
    MediaPlayer::State m_state = MediaPlayer::State::Idle;
    bool m_inputPlaying = false;
    bool m_buffered = false;
};

// MediaPlayer on libVLC 3. libVLC's events arrive on its own threads; each is queued to the GUI
// thread, where the state is updated and the signals are emitted. Pictures go to videoFrames().
class VlcMediaPlayer final : public MediaPlayer
{
    Q_OBJECT

public:
    // libVLC's own counts for the current media.
    struct Statistics
    {
        int decodedVideo = 0;
        int displayedPictures = 0;
        int lostPictures = 0;
    };

    explicit VlcMediaPlayer(QObject *parent = nullptr);
    ~VlcMediaPlayer() override;

    // The media options libVLC is given for `options`.
    static QByteArrayList optionStrings(const Options &options);

    void open(const QUrl &url, const Options &options) override;
    void play() override;
    void pause() override;
    void stop() override;

    State state() const override { return m_states.state(); }
    bool isPlaying() const override { return m_states.isPlaying(); }
    bool hasMedia() const override { return m_media != nullptr; }
    qint64 time() const override;
    qint64 length() const override;
    void setTime(qint64 milliseconds) override;
    void setPosition(double fraction) override;

    TrackLists audioTracks() const override;
    TrackLists subtitleTracks() const override;
    void setAudioTrack(int id) override;
    void setSubtitleTrack(int id) override;

    void setAspectRatio(const QString &ratio) override;
    QString aspectRatio() const override { return m_aspectRatio; }
    void setScale(double factor) override;
    double scale() const override { return m_scale; }
    void setVolume(int percent) override;
    int volume() const override { return m_volume; }
    void setMuted(bool muted) override;
    bool isMuted() const override { return m_muted; }

    std::shared_ptr<VideoFrameSink> videoFrames() const override { return m_frames; }

    Statistics statistics() const;

private:
    static void onEvent(const libvlc_event_t *event, void *self);
    void handleEvent(int type, float cache);
    void applyAudio();

    std::shared_ptr<VideoFrameSink> m_frames;
    libvlc_media_player_t *m_player = nullptr;
    libvlc_media_t *m_media = nullptr;
    // Bumped each time a media replaces another, so that what the old one reported late is ignored.
    std::atomic<quint64> m_mediaGeneration{0};

    VlcStateTracker m_states;
    QString m_aspectRatio;
    double m_scale = 0;
    int m_volume = 100;
    bool m_muted = false;
};
