#include "roundedpicture.h"

#include <QQuickWindow>
#include <QSGGeometryNode>
#include <QSGImageNode>
#include <QSGRendererInterface>
#include <QSGTexture>
#include <QSGTextureMaterial>
#include <QSGTextureProvider>

#include <algorithm>
#include <cmath>

namespace {

constexpr int cornerSegments = 8;

// The node of the GL (RHI) renderers: a triangle strip through the rounded outline.
class RoundedNode : public QSGGeometryNode
{
public:
    RoundedNode()
        : m_geometry(QSGGeometry::defaultAttributes_TexturedPoint2D(), 0)
    {
        m_geometry.setDrawingMode(QSGGeometry::DrawTriangleStrip);
        setGeometry(&m_geometry);
        m_material.setFiltering(QSGTexture::Linear);
        m_material.setMipmapFiltering(QSGTexture::None);
        setMaterial(&m_material);
    }

    void update(QSGTexture *texture, QSizeF size, qreal radius)
    {
        if (m_material.texture() != texture) {
            m_material.setTexture(texture);
            markDirty(DirtyMaterial);
        }
        const QRectF sub = texture->normalizedTextureSubRect();
        const QRectF crop = RoundedPicture::croppedSourceRect(texture->textureSize(), size);
        const QRectF source(sub.x() + crop.x() * sub.width(), sub.y() + crop.y() * sub.height(), crop.width() * sub.width(),
                            crop.height() * sub.height());
        const QList<QPointF> strip = RoundedPicture::outlineStrip(size, radius, cornerSegments);
        m_geometry.allocate(int(strip.size()));
        QSGGeometry::TexturedPoint2D *vertex = m_geometry.vertexDataAsTexturedPoint2D();
        for (const QPointF &point : strip) {
            vertex->set(float(point.x()), float(point.y()), float(source.x() + point.x() / size.width() * source.width()),
                        float(source.y() + point.y() / size.height() * source.height()));
            ++vertex;
        }
        markDirty(DirtyGeometry);
    }

private:
    QSGGeometry m_geometry;
    QSGTextureMaterial m_material;
};

} // namespace

RoundedPicture::RoundedPicture(QQuickItem *parent)
    : QQuickItem(parent)
{
    setFlag(ItemHasContents);
}

void RoundedPicture::setSource(QQuickItem *source)
{
    if (m_source == source)
        return;
    m_source = source;
    update();
    Q_EMIT sourceChanged();
}

void RoundedPicture::setRadius(qreal radius)
{
    if (qFuzzyCompare(m_radius, radius))
        return;
    m_radius = radius;
    update();
    Q_EMIT radiusChanged();
}

QRectF RoundedPicture::croppedSourceRect(QSizeF textureSize, QSizeF itemSize)
{
    if (textureSize.isEmpty() || itemSize.isEmpty())
        return {0, 0, 1, 1};
    const qreal textureAspect = textureSize.width() / textureSize.height();
    const qreal itemAspect = itemSize.width() / itemSize.height();
    if (textureAspect > itemAspect) {
        const qreal shown = itemAspect / textureAspect;
        return {(1 - shown) / 2, 0, shown, 1};
    }
    const qreal shown = textureAspect / itemAspect;
    return {0, (1 - shown) / 2, 1, shown};
}

QList<QPointF> RoundedPicture::outlineStrip(QSizeF size, qreal radius, int segments)
{
    const qreal width = size.width();
    const qreal height = size.height();
    const qreal r = std::clamp(radius, qreal(0), std::min(width, height) / 2);
    const int steps = r > 0 ? std::max(1, segments) : 0;
    QList<QPointF> strip;
    strip.reserve(4 * (steps + 1));
    const auto level = [&](qreal y, qreal inset) {
        strip.append(QPointF(inset, y));
        strip.append(QPointF(width - inset, y));
    };
    // Down the top corners, then down the bottom ones.
    for (int i = 0; i <= steps; ++i) {
        const qreal angle = steps ? M_PI_2 * i / steps : M_PI_2;
        level(r * (1 - std::cos(angle)), r * (1 - std::sin(angle)));
    }
    for (int i = steps; i >= 0; --i) {
        const qreal angle = steps ? M_PI_2 * i / steps : M_PI_2;
        level(height - r * (1 - std::cos(angle)), r * (1 - std::sin(angle)));
    }
    return strip;
}

QSGTextureProvider *RoundedPicture::provider() const
{
    return m_source && m_source->isTextureProvider() ? m_source->textureProvider() : nullptr;
}

void RoundedPicture::geometryChange(const QRectF &newGeometry, const QRectF &oldGeometry)
{
    QQuickItem::geometryChange(newGeometry, oldGeometry);
    if (newGeometry.size() != oldGeometry.size())
        update();
}

QSGNode *RoundedPicture::updatePaintNode(QSGNode *old, UpdatePaintNodeData *)
{
    QSGTextureProvider *textures = provider();
    // A new picture arrives through the provider: draw again then.
    QObject::disconnect(m_textureChanged);
    if (textures)
        m_textureChanged = connect(textures, &QSGTextureProvider::textureChanged, this, &QQuickItem::update);
    QSGTexture *texture = textures ? textures->texture() : nullptr;
    if (!texture || width() <= 0 || height() <= 0) {
        delete old;
        return nullptr;
    }

    if (window()->rendererInterface()->graphicsApi() == QSGRendererInterface::Software) {
        auto *node = static_cast<QSGImageNode *>(old);
        if (!node) {
            node = window()->createImageNode();
            node->setFiltering(QSGTexture::Linear);
        }
        node->setTexture(texture);
        const QRectF crop = croppedSourceRect(texture->textureSize(), size());
        const QSizeF pixels = texture->textureSize();
        node->setSourceRect(QRectF(crop.x() * pixels.width(), crop.y() * pixels.height(), crop.width() * pixels.width(),
                                   crop.height() * pixels.height()));
        node->setRect(boundingRect());
        return node;
    }

    auto *node = static_cast<RoundedNode *>(old);
    if (!node)
        node = new RoundedNode;
    node->update(texture, size(), m_radius);
    return node;
}
