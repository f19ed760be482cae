#pragma once

#include <QImage>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class QQuickItem;
struct libvlc_media_player_t;
struct libvlc_media_t;

// Pictures from libVLC's video callbacks on their way to the screen. libVLC converts each decoded
// picture straight into one of our buffers, the only CPU copy a frame gets; a surface wraps the
// newest buffer in a texture without copying it; a buffer returns to the pool when the scene graph
// lets go of it. libVLC's threads never wait here for the GUI or the render thread: when no buffer
// is free a new one is made, and a picture that no surface took in time is replaced by the next.
class VideoFrameSink : public std::enable_shared_from_this<VideoFrameSink>
{
public:
    struct Frame
    {
        QImage image;             // the visible picture, sharing the buffer libVLC wrote into
        double displayAspect = 0; // width / height as the picture is meant to be seen
        quint64 serial = 0;       // 0: no picture
    };

    struct Counters
    {
        quint64 received = 0; // pictures libVLC handed over for display
        quint64 taken = 0;    // pictures a surface took to the screen
        quint64 replaced = 0; // pictures replaced by a newer one before a surface took them
        quint64 refused = 0;  // picture formats refused (empty or too large)
        bool scaled = false;  // libVLC scales the pictures into the padded size (the visible one was unknown)
    };

    // How one picture lies in a buffer: bytes per row, rows (both padded for the converter) and
    // the buffer's whole size. Computed in size_t: the sizes libVLC reports are not trusted.
    struct Layout
    {
        size_t pitch = 0;
        size_t lines = 0;
        size_t bytes = 0;
        bool operator==(const Layout &) const = default;
    };

    // Pictures wider or taller than this are refused; no stream the player meets comes near.
    static constexpr unsigned maxSide = 8192;
    // The layout for a picture of width x height; nothing for an empty picture or one beyond maxSide.
    static std::optional<Layout> layoutFor(unsigned width, unsigned height);

    VideoFrameSink();
    ~VideoFrameSink();
    VideoFrameSink(const VideoFrameSink &) = delete;
    VideoFrameSink &operator=(const VideoFrameSink &) = delete;

    // GUI thread.
    void attach(libvlc_media_player_t *player); // routes the player's video callbacks here, before it plays
    void setMedia(libvlc_media_t *media);       // the media whose track list tells the visible size
    void clear();                               // no picture until the next one arrives
    void setForcedAspect(double aspect);        // width / height; 0 shows the picture at its own
    void setSurface(QQuickItem *surface);       // gets update() whenever there is something new to show
    // Called on libVLC's thread when a picture format is refused: the video cannot be shown.
    void setFailureHandler(std::function<void()> handler);
    void detachSurface(QQuickItem *surface);    // if `surface` is the current one, none is

    // Any thread; surfaces call these while the scene graph synchronises.
    Frame latestFrame(); // counts the picture as taken the first time it is returned
    double forcedAspect() const;
    Counters counters() const;

    // "width:height" gives width / height; anything that is not two positive numbers gives 0.
    static double parseAspect(const QString &ratio);

    // What libVLC's format callback does (on libVLC's thread), callable by tests: chooses the
    // picture's size and layout and writes them back; 0 when the picture is refused.
    unsigned configure(char *chroma, unsigned *width, unsigned *height, unsigned *pitches, unsigned *lines);

private:
    struct Buffer;
    using BufferRef = std::shared_ptr<Buffer>;
    struct Geometry
    {
        unsigned width = 0;
        unsigned height = 0;
        double displayAspect = 0;
    };

    // libVLC's video callbacks, on its video output thread.
    static unsigned formatCallback(void **opaque, char *chroma, unsigned *width, unsigned *height,
                                   unsigned *pitches, unsigned *lines);
    static void cleanupCallback(void *opaque);
    static void *lockCallback(void *opaque, void **planes);
    static void displayCallback(void *opaque, void *picture);

    void *lock(void **planes);
    void display(void *picture);
    void cleanup();
    std::optional<Geometry> trackGeometry() const;
    BufferRef acquireBuffer();
    void recycle(Buffer *buffer);
    void requestUpdateLocked();

    mutable std::mutex m_mutex;
    libvlc_media_t *m_media = nullptr;
    QQuickItem *m_surface = nullptr;
    bool m_updatePending = false;
    double m_forcedAspect = 0;
    double m_displayAspect = 0;
    bool m_aspectFromTracks = false;
    int m_framesSinceAspectCheck = 0;
    BufferRef m_writing;
    Frame m_latest;
    quint64 m_nextSerial = 1;
    quint64 m_lastTaken = 0;
    Counters m_counters;
    std::function<void()> m_onFailure;

    // Buffers come back from whichever thread drops the last reference, so the pool has a lock of
    // its own that is never held while another is taken.
    std::mutex m_poolMutex;
    std::vector<std::unique_ptr<Buffer>> m_free;
    unsigned m_poolWidth = 0;
    unsigned m_poolHeight = 0;
    Layout m_poolLayout;
    quint64 m_poolGeneration = 0;
};
