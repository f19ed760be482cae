#include "vlcplayerview.h"

#include "guithread.h"
#include "vlcmediaplayer.h"

namespace {
constexpr int previewCacheMs = 3000;
}

VLCPlayerView::VLCPlayerView(QQuickItem *parent)
    : VLCPlayerView(std::make_unique<VlcMediaPlayer>(), parent)
{
}

VLCPlayerView::VLCPlayerView(std::unique_ptr<MediaPlayer> player, QQuickItem *parent)
    : VideoSurface(parent)
    , m_player(std::move(player))
    , m_supervisor(*m_player)
{
    connect(m_player.get(), &MediaPlayer::stateChanged, this, &VLCPlayerView::onPlayerStateChanged);
    // Its stream went to another player: given the same address again, it opens it again.
    connect(m_player.get(), &MediaPlayer::superseded, this, [this] { m_currentUrl.clear(); });
    connect(&m_supervisor, &PlaybackSupervisor::changed, this, &VLCPlayerView::onRecoveryChanged);
    setFrames(m_player->videoFrames());
}

VLCPlayerView::~VLCPlayerView()
{
    // libVLC lets go of the player later, on its worker: no picture of it may reach this item.
    setFrames(nullptr);
    m_supervisor.stop();
}

void VLCPlayerView::retry()
{
    if (m_currentUrl.isEmpty())
        return;
    reportBuffering(true);
    m_supervisor.retry();
}

void VLCPlayerView::setUrl(const QUrl &url)
{
    if (m_url != url) {
        m_url = url;
        Q_EMIT urlChanged();
    }
    if (window())
        start(m_url);
}

void VLCPlayerView::setIsBuffering(bool value)
{
    if (m_isBuffering == value)
        return;
    m_isBuffering = value;
    Q_EMIT isBufferingChanged();
}

void VLCPlayerView::setFailed(bool value)
{
    if (m_failed == value)
        return;
    m_failed = value;
    Q_EMIT failedChanged();
}

void VLCPlayerView::itemChange(ItemChange change, const ItemChangeData &value)
{
    VideoSurface::itemChange(change, value);
    if (change != ItemSceneChange)
        return;
    if (value.window) {
        start(m_url);
    } else {
        // Out of the scene: this surface's playback ends. Back in a scene it starts afresh.
        m_supervisor.stop();
        m_currentUrl.clear();
    }
}

void VLCPlayerView::start(const QUrl &url)
{
    if (url == m_currentUrl) // also both empty
        return;
    m_currentUrl = url;
    if (url.isEmpty()) {
        m_supervisor.stop(); // the parent's flags stay as they are
        return;
    }
    reportFailed(false); // first: buffering is not shown beside a failure
    reportBuffering(true);
    m_supervisor.start(url, MediaPlayer::Options{previewCacheMs, true}, true);
}

void VLCPlayerView::onPlayerStateChanged()
{
    setIsPlaying(m_player->isPlaying());
    switch (m_player->state()) {
    case MediaPlayer::State::Stopped:
    case MediaPlayer::State::Ended:
    case MediaPlayer::State::Playing:
        reportBuffering(false);
        break;
    case MediaPlayer::State::Opening:
    case MediaPlayer::State::Buffering:
    case MediaPlayer::State::TrackAdded:
        reportBuffering(!m_player->isPlaying());
        break;
    case MediaPlayer::State::Error: // failed or reconnecting, as the supervisor decides
        reportBuffering(false);
        break;
    case MediaPlayer::State::Paused: // a paused preview keeps its indicator as it is
    case MediaPlayer::State::Idle:
        break;
    }
    m_supervisor.playerStateChanged();
}

void VLCPlayerView::reportBuffering(bool value)
{
    // A buffering event from libVLC's thread can arrive after the stream was given up as failed;
    // a failed view shows its failure, never a spinner beside it.
    postToGui(this, [this, value] { setIsBuffering(value && !m_failed); });
}

void VLCPlayerView::reportFailed(bool value)
{
    postToGui(this, [this, value] { setFailed(value); });
}

void VLCPlayerView::onRecoveryChanged()
{
    const bool limitReached = m_supervisor.failed() && m_supervisor.failure() == PlaybackRecovery::Failure::refused;
    postToGui(this, [this, limitReached] {
        if (m_limitReached == limitReached)
            return;
        m_limitReached = limitReached;
        Q_EMIT limitReachedChanged();
    });
    reportFailed(m_supervisor.failed());
    if (m_supervisor.failed())
        reportBuffering(false);
    const bool reconnecting = m_supervisor.reconnecting();
    postToGui(this, [this, reconnecting] {
        if (m_isReconnecting == reconnecting)
            return;
        m_isReconnecting = reconnecting;
        Q_EMIT isReconnectingChanged();
    });
}

void VLCPlayerView::setIsPlaying(bool value)
{
    if (m_isPlaying == value)
        return;
    m_isPlaying = value;
    Q_EMIT isPlayingChanged();
}
