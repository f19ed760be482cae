#include "vlcmediaplayer.h"

#include "api/diagnostics.h"
#include "guithread.h"
#include "videoframesink.h"
#include "vlcinstance.h"

#include <vlc/vlc.h>

#include <algorithm>

namespace {

constexpr libvlc_event_e watchedEvents[] = {
    libvlc_MediaPlayerNothingSpecial, libvlc_MediaPlayerOpening, libvlc_MediaPlayerBuffering,
    libvlc_MediaPlayerPlaying,        libvlc_MediaPlayerPaused,  libvlc_MediaPlayerStopped,
    libvlc_MediaPlayerEndReached,     libvlc_MediaPlayerEncounteredError,
    libvlc_MediaPlayerESAdded,        libvlc_MediaPlayerESDeleted,
};

MediaPlayer::TrackLists takeTrackLists(libvlc_track_description_t *list)
{
    MediaPlayer::TrackLists lists;
    for (const libvlc_track_description_t *track = list; track; track = track->p_next) {
        lists.names.append(QString::fromUtf8(track->psz_name ? track->psz_name : ""));
        lists.ids.append(track->i_id);
    }
    if (list)
        libvlc_track_description_list_release(list);
    return lists;
}

} // namespace

VlcMediaPlayer::VlcMediaPlayer(QObject *parent)
    : MediaPlayer(parent)
    , m_frames(std::make_shared<VideoFrameSink>())
    , m_player(libvlc_media_player_new(VlcInstance::get()))
{
    if (!m_player)
        qFatal("libVLC could not make a media player");
    // Before anything plays: without its own pictures libVLC would open a window of its own.
    m_frames->attach(m_player);
    // A picture that cannot be shown fails the media: no picture at all, and nothing that plays
    // on without one. libVLC itself would carry on with the sound.
    m_frames->setFailureHandler([this] {
        const quint64 generation = m_mediaGeneration.load();
        postToGui(this, [this, generation] {
            if (generation != m_mediaGeneration.load())
                return;
            libvlc_media_player_stop(m_player);
            m_frames->clear();
            handleEvent(libvlc_MediaPlayerEncounteredError, 0);
        });
    });
    libvlc_event_manager_t *events = libvlc_media_player_event_manager(m_player);
    for (const libvlc_event_e type : watchedEvents)
        libvlc_event_attach(events, type, &VlcMediaPlayer::onEvent, this);
}

VlcMediaPlayer::~VlcMediaPlayer()
{
    // Stops playback and joins libVLC's threads: once this returns, no callback of this player
    // runs any more. Events it queued meanwhile are dropped with this object.
    libvlc_media_player_release(m_player);
    m_frames->setFailureHandler({});
    m_frames->setMedia(nullptr);
    if (m_media)
        libvlc_media_release(m_media);
}

QByteArrayList VlcMediaPlayer::optionStrings(const Options &options)
{
    return {":network-caching=" + QByteArray::number(options.networkCachingMs),
            options.httpReconnect ? QByteArray(":http-reconnect") : QByteArray(":no-http-reconnect")};
}

void VlcMediaPlayer::open(const QUrl &url, const Options &options)
{
    qCDebug(lcPlayer).noquote() << "open" << Diagnostics::maskedAddress(url) << "caching" << options.networkCachingMs
                                << "ms";
    libvlc_media_t *media = libvlc_media_new_location(VlcInstance::get(), url.toEncoded().constData());
    if (!media) {
        stop();
        postToGui(this, [this] { handleEvent(libvlc_MediaPlayerEncounteredError, 0); });
        return;
    }
    for (const QByteArray &option : optionStrings(options))
        libvlc_media_add_option(media, option.constData());

    // Stops the current media first; all it reports from now on belongs to the past.
    libvlc_media_player_set_media(m_player, media);
    ++m_mediaGeneration;
    if (m_media)
        libvlc_media_release(m_media);
    m_media = media;
    m_frames->setMedia(media);
    m_frames->clear();
    m_states.reset();
    if (libvlc_media_player_play(m_player) != 0)
        postToGui(this, [this] { handleEvent(libvlc_MediaPlayerEncounteredError, 0); });
}

void VlcMediaPlayer::play()
{
    libvlc_media_player_play(m_player);
}

void VlcMediaPlayer::pause()
{
    libvlc_media_player_set_pause(m_player, 1);
}

void VlcMediaPlayer::stop()
{
    libvlc_media_player_stop(m_player);
    m_frames->clear();
}

qint64 VlcMediaPlayer::time() const
{
    return std::max<qint64>(0, libvlc_media_player_get_time(m_player));
}

qint64 VlcMediaPlayer::length() const
{
    return std::max<qint64>(0, libvlc_media_player_get_length(m_player));
}

void VlcMediaPlayer::setTime(qint64 milliseconds)
{
    libvlc_media_player_set_time(m_player, std::max<qint64>(0, milliseconds));
}

void VlcMediaPlayer::setPosition(double fraction)
{
    libvlc_media_player_set_position(m_player, float(std::clamp(fraction, 0.0, 1.0)));
}

MediaPlayer::TrackLists VlcMediaPlayer::audioTracks() const
{
    return takeTrackLists(libvlc_audio_get_track_description(m_player));
}

MediaPlayer::TrackLists VlcMediaPlayer::subtitleTracks() const
{
    return takeTrackLists(libvlc_video_get_spu_description(m_player));
}

void VlcMediaPlayer::setAudioTrack(int id)
{
    libvlc_audio_set_track(m_player, id);
}

void VlcMediaPlayer::setSubtitleTrack(int id)
{
    libvlc_video_set_spu(m_player, id);
}

void VlcMediaPlayer::setAspectRatio(const QString &ratio)
{
    m_aspectRatio = ratio;
    const QByteArray text = ratio.toUtf8();
    libvlc_video_set_aspect_ratio(m_player, ratio.isEmpty() ? nullptr : text.constData());
    // Our surfaces draw the picture themselves, so they apply the ratio too.
    m_frames->setForcedAspect(VideoFrameSink::parseAspect(ratio));
}

void VlcMediaPlayer::setScale(double factor)
{
    m_scale = factor;
    libvlc_video_set_scale(m_player, float(factor));
}

void VlcMediaPlayer::setVolume(int percent)
{
    m_volume = std::clamp(percent, 0, 100);
    applyAudio();
}

void VlcMediaPlayer::setMuted(bool muted)
{
    m_muted = muted;
    applyAudio();
}

void VlcMediaPlayer::applyAudio()
{
    libvlc_audio_set_volume(m_player, m_volume);
    libvlc_audio_set_mute(m_player, m_muted ? 1 : 0);
}

VlcMediaPlayer::Statistics VlcMediaPlayer::statistics() const
{
    libvlc_media_stats_t stats{};
    if (!m_media || !libvlc_media_get_stats(m_media, &stats))
        return {};
    return {stats.i_decoded_video, stats.i_displayed_pictures, stats.i_lost_pictures};
}

void VlcMediaPlayer::onEvent(const libvlc_event_t *event, void *opaque)
{
    // libVLC's thread: copy what the event says and queue the rest.
    auto *self = static_cast<VlcMediaPlayer *>(opaque);
    const int type = event->type;
    const float cache = type == libvlc_MediaPlayerBuffering ? event->u.media_player_buffering.new_cache : 0.0f;
    const quint64 generation = self->m_mediaGeneration.load();
    postToGui(self, [self, type, cache, generation] {
        // A replaced media may still have reported an error or its end; only its stop still holds.
        if (generation != self->m_mediaGeneration.load() && type != libvlc_MediaPlayerStopped)
            return;
        self->handleEvent(type, cache);
    });
}

void VlcMediaPlayer::handleEvent(int type, float cache)
{
    if (type == libvlc_MediaPlayerESAdded || type == libvlc_MediaPlayerESDeleted)
        Q_EMIT tracksChanged();
    // libVLC drops a volume set while no audio output exists: apply it again once audio starts.
    if (type == libvlc_MediaPlayerESAdded || type == libvlc_MediaPlayerPlaying)
        applyAudio();
    const State before = m_states.state();
    const bool wasPlaying = m_states.isPlaying();
    if (m_states.apply(type, cache)) {
        if (m_states.state() != before || m_states.isPlaying() != wasPlaying) // buffering reports come many a second
            qCDebug(lcPlayer) << "state" << m_states.state() << (m_states.isPlaying() ? "frames playing" : "no frames");
        Q_EMIT stateChanged();
    }
}

void VlcStateTracker::reset()
{
    m_inputPlaying = false;
    m_buffered = false;
}

bool VlcStateTracker::apply(int eventType, float cache)
{
    using State = MediaPlayer::State;
    switch (eventType) {
    case libvlc_MediaPlayerNothingSpecial:
        m_state = State::Idle;
        return true;
    case libvlc_MediaPlayerOpening:
        reset();
        m_state = State::Opening;
        return true;
    case libvlc_MediaPlayerBuffering:
        m_buffered = cache >= 100.0f;
        m_state = isPlaying() ? State::Playing : State::Buffering;
        return true;
    case libvlc_MediaPlayerPlaying:
        m_inputPlaying = true;
        m_state = isPlaying() ? State::Playing : State::Buffering;
        return true;
    case libvlc_MediaPlayerPaused:
        m_inputPlaying = false;
        m_state = State::Paused;
        return true;
    case libvlc_MediaPlayerStopped:
        reset();
        m_state = State::Stopped;
        return true;
    case libvlc_MediaPlayerEndReached:
        reset();
        m_state = State::Ended;
        return true;
    case libvlc_MediaPlayerEncounteredError:
        reset();
        m_state = State::Error;
        return true;
    case libvlc_MediaPlayerESAdded:
        m_state = State::TrackAdded; // the player goes on as it was
        return true;
    default:
        return false;
    }
}
