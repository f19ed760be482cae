#include "vlcmediaplayer.h"

#include "streamheaders.h"

#include "api/diagnostics.h"
#include "api/useragent.h"
#include "guithread.h"
#include "videoframesink.h"
#include "vlcinstance.h"

#include <vlc/vlc.h>

#include <algorithm>
#include <mutex>

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

// GUI thread: the player whose media holds the stream connection, if any.
VlcMediaPlayer *streaming = nullptr;

} // namespace

struct VlcMediaPlayer::Link
{
    std::mutex mutex;
    VlcMediaPlayer *owner = nullptr; // none once the player is gone
    std::atomic<quint64> active{0};  // the media libVLC has taken (worker thread)
    std::atomic<int> pending{0};     // this player's blocking work handed to the worker, not yet done

    // Any thread: queues `work` to the owner, if there still is one.
    template<typename Work>
    void post(Work &&work)
    {
        std::lock_guard lock(mutex);
        if (owner)
            postToGui(owner, std::forward<Work>(work));
    }
};

VlcMediaPlayer::VlcMediaPlayer(QObject *parent)
    : MediaPlayer(parent)
    , m_frames(std::make_shared<VideoFrameSink>())
    , m_link(std::make_shared<Link>())
    , m_player(libvlc_media_player_new(VlcInstance::get()))
{
    if (!m_player)
        qFatal("libVLC could not make a media player");
    m_link->owner = this;
    // Before anything plays: without its own pictures libVLC would open a window of its own.
    m_frames->attach(m_player);
    // A picture that cannot be shown fails the media: no picture at all, and nothing that plays
    // on without one. libVLC itself would carry on with the sound.
    m_frames->setFailureHandler([link = std::weak_ptr<Link>(m_link)] {
        const std::shared_ptr<Link> alive = link.lock();
        if (!alive)
            return;
        const quint64 generation = alive->active.load();
        alive->post([owner = alive->owner, generation] {
            if (generation != owner->m_requested)
                return;
            owner->stop();
            owner->handleEvent(libvlc_MediaPlayerEncounteredError, 0);
        });
    });
    libvlc_event_manager_t *events = libvlc_media_player_event_manager(m_player);
    for (const libvlc_event_e type : watchedEvents)
        libvlc_event_attach(events, type, &VlcMediaPlayer::onEvent, m_link.get());
}

VlcMediaPlayer::~VlcMediaPlayer()
{
    if (streaming == this)
        streaming = nullptr; // released below, before anything opened later
    {
        std::lock_guard lock(m_link->mutex);
        m_link->owner = nullptr; // nothing libVLC reports from now on reaches this object
    }
    m_frames->setFailureHandler({});
    if (m_media)
        libvlc_media_release(m_media);
    // Releasing stops playback and joins libVLC's threads, which may take as long as the network
    // does: on the worker, which keeps what libVLC's threads still call into alive until then.
    ++m_link->pending;
    VlcInstance::runLater([player = m_player, frames = m_frames, link = m_link] {
        libvlc_media_player_release(player);
        frames->setMedia(nullptr);
    });
}

QByteArrayList VlcMediaPlayer::optionStrings(const Options &options)
{
    QByteArrayList strings{":network-caching=" + QByteArray::number(options.networkCachingMs),
                           options.httpReconnect ? QByteArray(":http-reconnect") : QByteArray(":no-http-reconnect"),
                           ":http-user-agent=" + UserAgent::text()};
    if (options.startMs > 0)
        strings.append(":start-time=" + QByteArray::number(double(options.startMs) / 1000.0, 'f', 3));
    return strings;
}

void VlcMediaPlayer::reportErrorLater()
{
    const quint64 generation = m_requested;
    postToGui(this, [this, generation] {
        if (generation == m_requested)
            handleEvent(libvlc_MediaPlayerEncounteredError, 0);
    });
}

void VlcMediaPlayer::open(const QUrl &url, const Options &options)
{
    qCDebug(lcPlayer).noquote() << "open" << Diagnostics::maskedAddress(url) << "caching" << options.networkCachingMs
                                << "ms";
    if (streaming && streaming != this)
        streaming->yieldStream(); // its stop is queued ahead of this open
    streaming = this;
    const quint64 generation = ++m_requested;
    m_states.reset();
    if (!options.keepPicture)
        m_frames->clear();
    libvlc_media_t *media = libvlc_media_new_location(VlcInstance::get(), url.toEncoded().constData());
    if (!media) {
        stop(options.keepPicture ? Picture::keep : Picture::clear);
        reportErrorLater();
        return;
    }
    QByteArrayList strings = optionStrings(options);
    // A list entry's own user agent comes after the program's, and the later option wins.
    if (const auto headers = StreamHeaders::find(url))
        strings.append(StreamHeaders::options(*headers));
    for (const QByteArray &option : std::as_const(strings))
        libvlc_media_add_option(media, option.constData());
    if (m_media)
        libvlc_media_release(m_media);
    m_media = media;
    m_frames->setMedia(media);

    // Setting the media stops the current one first; all it reports from then on belongs to the past.
    libvlc_media_retain(media);
    m_readings = {};
    ++m_link->pending;
    VlcInstance::runLater([player = m_player, media, link = m_link, generation] {
        libvlc_media_player_set_media(player, media);
        libvlc_media_release(media);
        link->active = generation;
        if (libvlc_media_player_play(player) != 0) {
            link->post([owner = link->owner, generation] {
                if (generation == owner->m_requested)
                    owner->handleEvent(libvlc_MediaPlayerEncounteredError, 0);
            });
        }
        --link->pending;
    });
}

void VlcMediaPlayer::play()
{
    command([](libvlc_media_player_t *player) { libvlc_media_player_play(player); });
}

void VlcMediaPlayer::pause()
{
    command([](libvlc_media_player_t *player) { libvlc_media_player_set_pause(player, 1); });
}

void VlcMediaPlayer::yieldStream()
{
    stop();
    ++m_requested; // what the closed media still reports is of the past
    m_states.apply(libvlc_MediaPlayerStopped, 0);
    Q_EMIT stateChanged();
    Q_EMIT superseded();
}

void VlcMediaPlayer::stop(Picture picture)
{
    if (streaming == this)
        streaming = nullptr;
    const bool clear = picture == Picture::clear;
    if (clear)
        m_frames->clear();
    ++m_link->pending;
    VlcInstance::runLater([player = m_player, frames = m_frames, link = m_link, clear] {
        libvlc_media_player_stop(player);
        // The decoder may have handed over one more picture between the clear above and the
        // stop; the stop has joined it, so clearing now leaves the surface black for good.
        if (clear)
            frames->clear();
        --link->pending;
    });
}

// libVLC takes the player's input lock in nearly every call, and holds it while it stops an
// input (which may wait for the network). While the worker has this player's work at hand, the
// GUI thread asks nothing of libVLC: readings come from the last ones taken, commands join the
// worker's queue behind that work.
bool VlcMediaPlayer::busy() const
{
    return m_link->pending.load() > 0;
}

template<typename Command>
void VlcMediaPlayer::command(Command &&command)
{
    if (!busy()) {
        command(m_player);
        return;
    }
    VlcInstance::runLater([player = m_player, link = m_link, command = std::forward<Command>(command)] { command(player); });
}

qint64 VlcMediaPlayer::time() const
{
    if (!busy())
        m_readings.time = std::max<qint64>(0, libvlc_media_player_get_time(m_player));
    return m_readings.time;
}

qint64 VlcMediaPlayer::length() const
{
    if (!busy())
        m_readings.length = std::max<qint64>(0, libvlc_media_player_get_length(m_player));
    return m_readings.length;
}

void VlcMediaPlayer::setTime(qint64 milliseconds)
{
    command([milliseconds](libvlc_media_player_t *player) {
        libvlc_media_player_set_time(player, std::max<qint64>(0, milliseconds));
    });
}

void VlcMediaPlayer::setPosition(double fraction)
{
    command([fraction](libvlc_media_player_t *player) {
        libvlc_media_player_set_position(player, float(std::clamp(fraction, 0.0, 1.0)));
    });
}

MediaPlayer::TrackLists VlcMediaPlayer::audioTracks() const
{
    if (!busy())
        m_readings.audio = takeTrackLists(libvlc_audio_get_track_description(m_player));
    return m_readings.audio;
}

MediaPlayer::TrackLists VlcMediaPlayer::subtitleTracks() const
{
    if (!busy())
        m_readings.subtitles = takeTrackLists(libvlc_video_get_spu_description(m_player));
    return m_readings.subtitles;
}

void VlcMediaPlayer::setAudioTrack(int id)
{
    command([id](libvlc_media_player_t *player) { libvlc_audio_set_track(player, id); });
}

void VlcMediaPlayer::setSubtitleTrack(int id)
{
    command([id](libvlc_media_player_t *player) { libvlc_video_set_spu(player, id); });
}

void VlcMediaPlayer::setAspectRatio(const QString &ratio)
{
    m_aspectRatio = ratio;
    command([text = ratio.toUtf8()](libvlc_media_player_t *player) {
        libvlc_video_set_aspect_ratio(player, text.isEmpty() ? nullptr : text.constData());
    });
    // Our surfaces draw the picture themselves, so they apply the ratio too.
    m_frames->setForcedAspect(VideoFrameSink::parseAspect(ratio));
}

void VlcMediaPlayer::setScale(double factor)
{
    m_scale = factor;
    command([factor](libvlc_media_player_t *player) { libvlc_video_set_scale(player, float(factor)); });
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
    // Like every other command: queued behind a stop or open the worker is still running.
    command([volume = m_volume, muted = m_muted](libvlc_media_player_t *player) {
        libvlc_audio_set_volume(player, volume);
        libvlc_audio_set_mute(player, muted ? 1 : 0);
    });
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
    auto *link = static_cast<Link *>(opaque);
    const int type = event->type;
    const float cache = type == libvlc_MediaPlayerBuffering ? event->u.media_player_buffering.new_cache : 0.0f;
    const quint64 generation = link->active.load();
    link->post([owner = link->owner, type, cache, generation] {
        // A replaced media may still report its buffering, an error, its end or its stop.
        if (generation != owner->m_requested)
            return;
        owner->handleEvent(type, cache);
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
