#pragma once

#include <QQuickItem>
#include <QtQml/qqmlregistration.h>

#include <memory>

class VideoFrameSink;

// Draws a player's pictures inside the scene: black where there is no picture, the picture as
// large as fits, centred, at its display aspect (or the aspect forced on the player). The newest
// picture becomes a texture without being copied; nothing about a frame is done on the GUI thread
// beyond asking for an update. The two QML surfaces differ only in where their player comes from.
class VideoSurface : public QQuickItem
{
    Q_OBJECT
    QML_ANONYMOUS

public:
    explicit VideoSurface(QQuickItem *parent = nullptr);
    ~VideoSurface() override;

    // The largest rectangle of `aspect` (width / height) centred in `bounds`; all of `bounds` when
    // the aspect is not known.
    static QRectF fittedRect(const QSizeF &bounds, double aspect);

protected:
    // Shows the pictures of `frames` from now on; none shows black.
    void setFrames(std::shared_ptr<VideoFrameSink> frames);

    QSGNode *updatePaintNode(QSGNode *oldNode, UpdatePaintNodeData *) override;
    void geometryChange(const QRectF &newGeometry, const QRectF &oldGeometry) override;

private:
    std::shared_ptr<VideoFrameSink> m_frames;
};
