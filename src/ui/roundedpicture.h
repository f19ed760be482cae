#pragma once

#include <QPointer>
#include <QQuickItem>
#include <QtQml/qqmlregistration.h>

class QSGTextureProvider;

// Draws the texture of another item (a hidden Image) cropped to fill this item, inside a
// rounded rectangle: one textured node, no offscreen layer and no shader of its own, so a grid
// of posters stays cheap to make and to draw. The software renderer, which draws no custom
// geometry, shows the picture with square corners.
class RoundedPicture : public QQuickItem
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QQuickItem *source READ source WRITE setSource NOTIFY sourceChanged FINAL)
    Q_PROPERTY(qreal radius READ radius WRITE setRadius NOTIFY radiusChanged FINAL)

public:
    explicit RoundedPicture(QQuickItem *parent = nullptr);

    QQuickItem *source() const { return m_source; }
    void setSource(QQuickItem *source);
    qreal radius() const { return m_radius; }
    void setRadius(qreal radius);

    // The part of a texture of `textureSize` to show in an item of `itemSize` so that the
    // picture covers the item, cropped evenly on the long side (as PreserveAspectCrop does),
    // in the texture's normalised coordinates.
    static QRectF croppedSourceRect(QSizeF textureSize, QSizeF itemSize);

    // The outline of a rounded rectangle as pairs of points (left edge, right edge) from the
    // top down, `segments` steps a corner: a triangle strip through them fills the shape.
    static QList<QPointF> outlineStrip(QSizeF size, qreal radius, int segments);

Q_SIGNALS:
    void sourceChanged();
    void radiusChanged();

protected:
    QSGNode *updatePaintNode(QSGNode *old, UpdatePaintNodeData *) override;
    void geometryChange(const QRectF &newGeometry, const QRectF &oldGeometry) override;

private:
    QSGTextureProvider *provider() const;

    QPointer<QQuickItem> m_source;
    qreal m_radius = 0;
    QMetaObject::Connection m_textureChanged;
};
