#pragma once

#include "mediaplayer.h"

#include <QByteArrayList>

#include <atomic>
#include <memory>

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
// thread, where the state is updated and the signals are emitted.
// One stream at a time: providers allow an account only so many connections, so opening a media
// first closes the stream of whichever other player holds one (that one reports Stopped and
// superseded()); the close runs on the worker before the open, so the old connection is gone
// before the new one is made, whatever order the screens make and drop their players in. Pictures go to videoFrames().
// Opening, stopping and releasing wait for the network and for libVLC's threads, so they run on
// the libVLC instance's worker in the order given; destroying the player returns at once and the
// libVLC player is released there later, with nothing of it reaching this object any more.
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
    void stop(Picture picture = Picture::clear) override;

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
    // What libVLC's threads may reach: outlives this object until libVLC has let go of it.
    struct Link;

    static void onEvent(const libvlc_event_t *event, void *link);
    void handleEvent(int type, float cache);
    void reportErrorLater();
    void yieldStream();
    bool busy() const;
    template<typename Command>
    void command(Command &&command);
    void applyAudio();

    std::shared_ptr<VideoFrameSink> m_frames;
    std::shared_ptr<Link> m_link;
    libvlc_media_player_t *m_player = nullptr;
    libvlc_media_t *m_media = nullptr;
    // The media asked for last (GUI thread), counted each time one replaces another; what libVLC
    // reports is stamped with the one it has really taken, so that late reports of an earlier
    // media are ignored.
    quint64 m_requested = 0;

    // What libVLC last said, answered while the worker stops or opens this player's media.
    struct Readings
    {
        qint64 time = 0;
        qint64 length = 0;
        TrackLists audio;
        TrackLists subtitles;
    };
    mutable Readings m_readings;

    VlcStateTracker m_states;
    QString m_aspectRatio;
    double m_scale = 0;
    int m_volume = 100;
    bool m_muted = false;
};
