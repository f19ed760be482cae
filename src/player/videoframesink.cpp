#include "videoframesink.h"

#include "guithread.h"

#include "api/diagnostics.h"

#include <QQuickItem>
#include <QStringList>
#include <QtNumeric>

#include <vlc/vlc.h>

#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

// libVLC converts into 32-bit pixels, bytes B, G, R, 0xFF in memory: what QImage calls RGB32 and
// what the scene graph uploads as a BGRA texture.
constexpr char pixelChroma[4] = {'R', 'V', '3', '2'};
constexpr QImage::Format pixelFormat = QImage::Format_RGB32;
constexpr size_t bytesPerPixel = 4;

// libVLC reports the decoder's padded size (1920 x 1090 for 1080p) and scales the visible picture
// into whatever size it is given, which costs more than the conversion itself. So the visible size
// from the media's track list is asked for instead. A transport stream may not have it in its track
// list yet when the first picture comes; then the padded size is taken as it is, and the picture is
// shown at the track list's aspect once that is known.
// How far the padded size may exceed the visible one for the two to belong together.
constexpr unsigned maxPadding = 80;
// While the aspect is only a guess, how often a picture looks at the track list again.
constexpr int aspectCheckInterval = 10;

size_t roundUp(size_t value, size_t multiple)
{
    return (value + multiple - 1) / multiple * multiple;
}

} // namespace

struct VideoFrameSink::Buffer
{
    Buffer(unsigned width, unsigned height, const Layout &layout, quint64 generation)
        : data(static_cast<uchar *>(std::aligned_alloc(64, layout.bytes)))
        , width(width)
        , height(height)
        , pitch(layout.pitch)
        , generation(generation)
    {
        if (!data)
            throw std::bad_alloc();
    }
    ~Buffer() { std::free(data); }
    Buffer(const Buffer &) = delete;
    Buffer &operator=(const Buffer &) = delete;

    uchar *data;
    unsigned width;
    unsigned height;
    size_t pitch;
    quint64 generation;
};

std::optional<VideoFrameSink::Layout> VideoFrameSink::layoutFor(unsigned width, unsigned height)
{
    if (width == 0 || height == 0 || width > maxSide || height > maxSide)
        return std::nullopt;
    // Rows start 32-byte aligned and the row count is a multiple of 32, as libVLC's converters
    // like it; the whole buffer is a multiple of 64 bytes for aligned_alloc.
    Layout layout;
    layout.pitch = roundUp(size_t(width) * bytesPerPixel, 32);
    layout.lines = roundUp(size_t(height), 32);
    layout.bytes = roundUp(layout.pitch * layout.lines, 64);
    return layout;
}

VideoFrameSink::VideoFrameSink() = default;

VideoFrameSink::~VideoFrameSink()
{
    if (m_media)
        libvlc_media_release(m_media);
}

void VideoFrameSink::attach(libvlc_media_player_t *player)
{
    libvlc_video_set_callbacks(player, &VideoFrameSink::lockCallback, nullptr, &VideoFrameSink::displayCallback, this);
    libvlc_video_set_format_callbacks(player, &VideoFrameSink::formatCallback, &VideoFrameSink::cleanupCallback);
}

void VideoFrameSink::setMedia(libvlc_media_t *media)
{
    if (media)
        libvlc_media_retain(media);
    libvlc_media_t *previous = nullptr;
    {
        std::lock_guard lock(m_mutex);
        previous = std::exchange(m_media, media);
    }
    if (previous)
        libvlc_media_release(previous);
}

void VideoFrameSink::clear()
{
    Frame previous;
    std::lock_guard lock(m_mutex);
    previous = std::exchange(m_latest, Frame{});
    requestUpdateLocked();
    // `previous` may hold the last reference to a buffer; that only takes the pool's own lock
}

void VideoFrameSink::setForcedAspect(double aspect)
{
    std::lock_guard lock(m_mutex);
    if (m_forcedAspect == aspect)
        return;
    m_forcedAspect = aspect;
    requestUpdateLocked();
}

void VideoFrameSink::setSurface(QQuickItem *surface)
{
    std::lock_guard lock(m_mutex);
    m_surface = surface;
    m_updatePending = false; // an update queued for the previous surface does not count for this one
    requestUpdateLocked();
}

void VideoFrameSink::setFailureHandler(std::function<void()> handler)
{
    std::lock_guard lock(m_mutex);
    m_onFailure = std::move(handler);
}

void VideoFrameSink::detachSurface(QQuickItem *surface)
{
    std::lock_guard lock(m_mutex);
    if (m_surface == surface) {
        m_surface = nullptr;
        m_updatePending = false;
    }
}

VideoFrameSink::Frame VideoFrameSink::latestFrame()
{
    std::lock_guard lock(m_mutex);
    if (m_latest.serial > m_lastTaken) {
        m_lastTaken = m_latest.serial;
        ++m_counters.taken;
    }
    return m_latest;
}

double VideoFrameSink::forcedAspect() const
{
    std::lock_guard lock(m_mutex);
    return m_forcedAspect;
}

VideoFrameSink::Counters VideoFrameSink::counters() const
{
    std::lock_guard lock(m_mutex);
    return m_counters;
}

double VideoFrameSink::parseAspect(const QString &ratio)
{
    const QStringList parts = ratio.split(QLatin1Char(':'));
    if (parts.size() != 2)
        return 0;
    bool widthOk = false;
    bool heightOk = false;
    const double width = parts[0].trimmed().toDouble(&widthOk);
    const double height = parts[1].trimmed().toDouble(&heightOk);
    if (!widthOk || !heightOk || !(width > 0) || !(height > 0) || !qIsFinite(width / height))
        return 0;
    return width / height;
}

unsigned VideoFrameSink::formatCallback(void **opaque, char *chroma, unsigned *width, unsigned *height,
                                        unsigned *pitches, unsigned *lines)
{
    return static_cast<VideoFrameSink *>(*opaque)->configure(chroma, width, height, pitches, lines);
}

void VideoFrameSink::cleanupCallback(void *opaque)
{
    static_cast<VideoFrameSink *>(opaque)->cleanup();
}

void *VideoFrameSink::lockCallback(void *opaque, void **planes)
{
    return static_cast<VideoFrameSink *>(opaque)->lock(planes);
}

void VideoFrameSink::displayCallback(void *opaque, void *picture)
{
    static_cast<VideoFrameSink *>(opaque)->display(picture);
}

unsigned VideoFrameSink::configure(char *chroma, unsigned *width, unsigned *height, unsigned *pitches,
                                   unsigned *lines)
{
    const std::optional<Geometry> visible = trackGeometry();
    const bool fits = visible && visible->width <= *width && *width - visible->width < maxPadding
                      && visible->height <= *height && *height - visible->height < maxPadding;
    const Geometry chosen = fits ? *visible : Geometry{*width, *height, 0};
    const std::optional<Layout> layout = layoutFor(chosen.width, chosen.height);

    std::vector<std::unique_ptr<Buffer>> stale;
    {
        std::lock_guard lock(m_poolMutex);
        stale.swap(m_free);
        m_poolWidth = layout ? chosen.width : 0;
        m_poolHeight = layout ? chosen.height : 0;
        m_poolLayout = layout.value_or(Layout{});
        ++m_poolGeneration;
    }
    if (!layout) {
        // libVLC gets no video output for this media; the player reports that as a failure.
        std::function<void()> onFailure;
        {
            std::lock_guard lock(m_mutex);
            ++m_counters.refused;
            onFailure = m_onFailure;
        }
        qCDebug(lcPlayer) << "picture of" << *width << "x" << *height << "refused";
        if (onFailure)
            onFailure();
        return 0;
    }
    {
        std::lock_guard lock(m_mutex);
        m_displayAspect = fits ? chosen.displayAspect : double(chosen.width) / double(chosen.height);
        m_aspectFromTracks = fits;
        m_framesSinceAspectCheck = 0;
        m_counters.scaled = !fits;
    }

    std::memcpy(chroma, pixelChroma, sizeof pixelChroma);
    *width = chosen.width;
    *height = chosen.height;
    pitches[0] = unsigned(layout->pitch); // at most 4 * maxSide
    lines[0] = unsigned(layout->lines);
    return 1; // libVLC's one picture; every lock may hand it a different buffer of ours
}

void *VideoFrameSink::lock(void **planes)
{
    BufferRef buffer = acquireBuffer();
    planes[0] = buffer->data;
    void *const id = buffer.get();
    BufferRef previous; // a picture libVLC locked but never displayed
    {
        std::lock_guard lock(m_mutex);
        previous = std::exchange(m_writing, std::move(buffer));
    }
    return id;
}

void VideoFrameSink::display(void *picture)
{
    bool checkAspect = false;
    {
        std::lock_guard lock(m_mutex);
        if (!m_aspectFromTracks && ++m_framesSinceAspectCheck >= aspectCheckInterval) {
            m_framesSinceAspectCheck = 0;
            checkAspect = true;
        }
    }
    const std::optional<Geometry> tracks = checkAspect ? trackGeometry() : std::nullopt;

    Frame previous;
    std::lock_guard lock(m_mutex);
    if (tracks) {
        m_displayAspect = tracks->displayAspect;
        m_aspectFromTracks = true;
    }
    if (!m_writing || m_writing.get() != picture)
        return;
    const Buffer &buffer = *m_writing;
    // The image keeps the buffer for as long as any copy of it (a texture's, say) lives.
    auto *holder = new BufferRef(std::move(m_writing));
    const QImage image(
        buffer.data, int(buffer.width), int(buffer.height), qsizetype(buffer.pitch), pixelFormat,
        [](void *info) { delete static_cast<BufferRef *>(info); }, holder);
    previous = std::exchange(m_latest, Frame{image, m_displayAspect, m_nextSerial++});
    ++m_counters.received;
    if (previous.serial > m_lastTaken)
        ++m_counters.replaced;
    requestUpdateLocked();
}

void VideoFrameSink::cleanup()
{
    BufferRef previous;
    std::lock_guard lock(m_mutex);
    previous = std::exchange(m_writing, nullptr);
}

std::optional<VideoFrameSink::Geometry> VideoFrameSink::trackGeometry() const
{
    libvlc_media_t *media = nullptr;
    {
        std::lock_guard lock(m_mutex);
        media = m_media;
        if (media)
            libvlc_media_retain(media);
    }
    if (!media)
        return std::nullopt;
    std::optional<Geometry> found;
    libvlc_media_track_t **tracks = nullptr;
    const unsigned count = libvlc_media_tracks_get(media, &tracks);
    for (unsigned i = 0; i < count && !found; ++i) {
        const libvlc_media_track_t *track = tracks[i];
        if (track->i_type != libvlc_track_video || !track->video)
            continue;
        const libvlc_video_track_t &video = *track->video;
        if (video.i_width == 0 || video.i_height == 0)
            continue;
        const double sar = video.i_sar_num > 0 && video.i_sar_den > 0 ? double(video.i_sar_num) / video.i_sar_den : 1.0;
        found = Geometry{video.i_width, video.i_height, sar * video.i_width / video.i_height};
    }
    if (count > 0)
        libvlc_media_tracks_release(tracks, count);
    libvlc_media_release(media);
    return found;
}

VideoFrameSink::BufferRef VideoFrameSink::acquireBuffer()
{
    std::unique_ptr<Buffer> buffer;
    {
        std::lock_guard lock(m_poolMutex);
        if (!m_free.empty()) {
            buffer = std::move(m_free.back());
            m_free.pop_back();
        } else {
            buffer = std::make_unique<Buffer>(m_poolWidth, m_poolHeight, m_poolLayout, m_poolGeneration);
        }
    }
    return BufferRef(buffer.release(), [weak = weak_from_this()](Buffer *returned) {
        if (const auto sink = weak.lock())
            sink->recycle(returned);
        else
            delete returned;
    });
}

void VideoFrameSink::recycle(Buffer *buffer)
{
    std::unique_ptr<Buffer> owned(buffer);
    std::lock_guard lock(m_poolMutex);
    // A few spare buffers cover a picture being written, one waiting and one or two on screen.
    if (buffer->generation == m_poolGeneration && m_free.size() < 3)
        m_free.push_back(std::move(owned));
}

void VideoFrameSink::requestUpdateLocked()
{
    if (!m_surface || m_updatePending)
        return;
    m_updatePending = true;
    QQuickItem *surface = m_surface;
    postToGui(surface, [weak = weak_from_this(), surface] {
        if (const auto sink = weak.lock()) {
            std::lock_guard lock(sink->m_mutex);
            sink->m_updatePending = false;
        }
        surface->update();
    });
}
