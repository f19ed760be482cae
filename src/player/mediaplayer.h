#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>

class VideoFrameSink;

// What playback needs of a media player: a thin interface so that PlayerController and the preview
// surface run against libVLC (VlcMediaPlayer) in the program and against a scripted player in tests.
// Commands may be called on the GUI thread only; signals are emitted on the GUI thread only.
// Commands never wait for the network: what blocks runs elsewhere, in the order given.
class MediaPlayer : public QObject
{
    Q_OBJECT

public:
    // The player's states by meaning. `TrackAdded` reports that a new audio, video or subtitle track
    // appeared; the player goes on in whatever state it was.
    enum class State { Idle, Opening, Buffering, Playing, Paused, Stopped, Ended, Error, TrackAdded };
    Q_ENUM(State)

    // How a media is opened.
    struct Options
    {
        int networkCachingMs = 3000; // how much of a network stream is held in advance
        bool httpReconnect = true;   // reopen broken HTTP streams where they stopped
        qint64 startMs = 0;          // where an on-demand stream starts (resuming after a break)
        bool keepPicture = false;    // the last picture stays until the new media shows one
        bool operator==(const Options &) const = default;
    };

    // Tracks as the player lists them: display names and, position by position, the identifiers
    // that select them. Either list may be shorter than the other.
    struct TrackLists
    {
        QStringList names;
        QList<int> ids;
    };

    using QObject::QObject;
    ~MediaPlayer() override = default;

    // Replaces the media by `url` opened with `options` and starts playing it; results arrive as
    // state changes.
    virtual void open(const QUrl &url, const Options &options) = 0;
    virtual void play() = 0;
    virtual void pause() = 0;
    // Closes the media (and its connection). The surface goes black unless the picture is kept,
    // as while a broken stream reconnects.
    enum class Picture { clear, keep };
    virtual void stop(Picture picture = Picture::clear) = 0;

    virtual State state() const = 0;    // the latest reported state
    virtual bool isPlaying() const = 0; // frames are being played
    virtual bool hasMedia() const = 0;
    virtual qint64 time() const = 0;   // milliseconds; 0 before playback
    virtual qint64 length() const = 0; // milliseconds; 0 while unknown (live streams)
    virtual void setTime(qint64 milliseconds) = 0;
    virtual void setPosition(double fraction) = 0;

    virtual TrackLists audioTracks() const = 0;
    virtual TrackLists subtitleTracks() const = 0;
    virtual void setAudioTrack(int id) = 0;
    virtual void setSubtitleTrack(int id) = 0;

    // "width:height" shows the picture at that aspect; an empty text shows it at its own.
    virtual void setAspectRatio(const QString &ratio) = 0;
    virtual QString aspectRatio() const = 0;
    // 0 fits the picture to the surface.
    virtual void setScale(double factor) = 0;
    virtual double scale() const = 0;

    // Loudness in percent of the stream's own, 0…100, and silence that keeps it. Both hold across
    // media: the player applies them whenever audio starts.
    virtual void setVolume(int percent) = 0;
    virtual int volume() const = 0;
    virtual void setMuted(bool muted) = 0;
    virtual bool isMuted() const = 0;

    // Where this player's pictures arrive; none for a player that makes no pictures.
    virtual std::shared_ptr<VideoFrameSink> videoFrames() const { return {}; }

Q_SIGNALS:
    void stateChanged();
    void tracksChanged();
    // Another player opened a stream and this one's was closed for it (see VlcMediaPlayer):
    // nothing plays here until the next open.
    void superseded();
};
