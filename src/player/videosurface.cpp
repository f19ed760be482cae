#include "videosurface.h"

#include "videoframesink.h"

#include <QQuickWindow>
#include <QSGImageNode>
#include <QSGRectangleNode>

namespace {

// The black background with the picture, if any, on top of it.
class SurfaceNode : public QSGNode
{
public:
    explicit SurfaceNode(QQuickWindow *window)
        : background(window->createRectangleNode())
    {
        background->setColor(Qt::black);
        appendChildNode(background);
    }

    void showPicture(QQuickWindow *window, const VideoFrameSink::Frame &frame, const QRectF &rect)
    {
        if (frame.serial != serial) {
            // The texture wraps the frame's buffer; uploading it is the renderer's business.
            std::unique_ptr<QSGTexture> next(window->createTextureFromImage(frame.image, QQuickWindow::TextureIsOpaque));
            const bool added = !picture;
            if (added) {
                picture = window->createImageNode();
                picture->setFiltering(QSGTexture::Linear);
            }
            picture->setTexture(next.get());
            picture->setSourceRect(QRectF(QPointF(), frame.image.size()));
            // Into the tree only once it can be drawn: the software renderer looks at it right away.
            if (added) {
                picture->setRect(rect);
                appendChildNode(picture);
            }
            texture = std::move(next);
            serial = frame.serial;
        }
        picture->setRect(rect);
    }

    void removePicture()
    {
        if (picture) {
            removeChildNode(picture);
            delete picture;
            picture = nullptr;
        }
        texture.reset();
        serial = 0;
    }

    ~SurfaceNode() override { removePicture(); } // the picture node before the texture it shows

    QSGRectangleNode *background;
    QSGImageNode *picture = nullptr;
    std::unique_ptr<QSGTexture> texture;
    quint64 serial = 0;
};

} // namespace

VideoSurface::VideoSurface(QQuickItem *parent)
    : QQuickItem(parent)
{
    setFlag(ItemHasContents);
}

VideoSurface::~VideoSurface()
{
    if (m_frames)
        m_frames->detachSurface(this);
}

QRectF VideoSurface::fittedRect(const QSizeF &bounds, double aspect)
{
    if (!(aspect > 0) || bounds.isEmpty())
        return QRectF(QPointF(), bounds);
    QSizeF size(bounds.width(), bounds.width() / aspect);
    if (size.height() > bounds.height())
        size = QSizeF(bounds.height() * aspect, bounds.height());
    return QRectF(QPointF((bounds.width() - size.width()) / 2, (bounds.height() - size.height()) / 2), size);
}

void VideoSurface::setFrames(std::shared_ptr<VideoFrameSink> frames)
{
    if (frames == m_frames)
        return;
    if (m_frames)
        m_frames->detachSurface(this);
    m_frames = std::move(frames);
    if (m_frames)
        m_frames->setSurface(this);
    update();
}

QSGNode *VideoSurface::updatePaintNode(QSGNode *oldNode, UpdatePaintNodeData *)
{
    // Render thread, while the GUI thread waits: m_frames is safe to read.
    auto *node = static_cast<SurfaceNode *>(oldNode);
    if (!node)
        node = new SurfaceNode(window());
    const QRectF bounds = boundingRect();
    node->background->setRect(bounds);

    const VideoFrameSink::Frame frame = m_frames ? m_frames->latestFrame() : VideoFrameSink::Frame{};
    if (frame.serial == 0 || frame.image.isNull()) {
        node->removePicture();
        return node;
    }
    const double forced = m_frames->forcedAspect();
    node->showPicture(window(), frame,
                      fittedRect(bounds.size(), forced > 0 ? forced : frame.displayAspect).translated(bounds.topLeft()));
    return node;
}

void VideoSurface::geometryChange(const QRectF &newGeometry, const QRectF &oldGeometry)
{
    QQuickItem::geometryChange(newGeometry, oldGeometry);
    if (newGeometry.size() != oldGeometry.size())
        update();
}
