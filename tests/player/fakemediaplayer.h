#pragma once

#include "player/mediaplayer.h"

#include <memory>
#include <utility>

// A media player that does what a test scripts: it records every command and reports the states
// the test tells it to, on the test's own thread.
class FakeMediaPlayer final : public MediaPlayer
{
    Q_OBJECT

public:
    // What the player was asked to do; outlives the player (the surfaces own theirs).
    struct Log
    {
        QList<std::pair<QUrl, Options>> opens;
        int plays = 0;
        int pauses = 0;
        int stops = 0;
        int stopsKeepingPicture = 0;
        QList<qint64> times;
        QList<double> positions;
        QList<int> audioSelections;
        QList<int> subtitleSelections;
        bool destroyed = false;
    };

    explicit FakeMediaPlayer(std::shared_ptr<Log> log = std::make_shared<Log>())
        : m_log(std::move(log))
    {
    }
    ~FakeMediaPlayer() override { m_log->destroyed = true; }

    Log &log() { return *m_log; }

    // Scripted behaviour.
    void report(State state, bool playing)
    {
        m_state = state;
        m_playing = playing;
        Q_EMIT stateChanged();
    }
    void setClock(qint64 timeMs, qint64 lengthMs)
    {
        m_time = timeMs;
        m_length = lengthMs;
    }
    void setTracks(TrackLists audio, TrackLists subtitles)
    {
        m_audio = std::move(audio);
        m_subtitles = std::move(subtitles);
    }
    void setHasMedia(bool hasMedia) { m_hasMedia = hasMedia; }

    void open(const QUrl &url, const Options &options) override
    {
        m_log->opens.append({url, options});
        m_hasMedia = true;
    }
    void play() override { ++m_log->plays; }
    void pause() override { ++m_log->pauses; }
    void stop(Picture picture = Picture::clear) override
    {
        ++m_log->stops;
        if (picture == Picture::keep)
            ++m_log->stopsKeepingPicture;
    }

    State state() const override { return m_state; }
    bool isPlaying() const override { return m_playing; }
    bool hasMedia() const override { return m_hasMedia; }
    qint64 time() const override { return m_time; }
    qint64 length() const override { return m_length; }
    void setTime(qint64 milliseconds) override { m_log->times.append(milliseconds); }
    void setPosition(double fraction) override { m_log->positions.append(fraction); }

    TrackLists audioTracks() const override { return m_audio; }
    TrackLists subtitleTracks() const override { return m_subtitles; }
    void setAudioTrack(int id) override { m_log->audioSelections.append(id); }
    void setSubtitleTrack(int id) override { m_log->subtitleSelections.append(id); }

    void setAspectRatio(const QString &ratio) override { m_aspect = ratio; }
    QString aspectRatio() const override { return m_aspect; }
    void setScale(double factor) override { m_scale = factor; }
    void setVolume(int percent) override { m_volume = percent; }
    int volume() const override { return m_volume; }
    void setMuted(bool muted) override { m_muted = muted; }
    bool isMuted() const override { return m_muted; }
    double scale() const override { return m_scale; }

private:
    std::shared_ptr<Log> m_log;
    bool m_hasMedia = false;
    int m_volume = 100;
    bool m_muted = false;
    State m_state = State::Idle;
    bool m_playing = false;
    qint64 m_time = 0;
    qint64 m_length = 0;
    TrackLists m_audio;
    TrackLists m_subtitles;
    QString m_aspect;
    double m_scale = 0;
};
