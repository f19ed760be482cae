#include "controlledvideoview.h"

#include "videoframesink.h"

ControlledVideoView::ControlledVideoView(QQuickItem *parent)
    : VideoSurface(parent)
{
}

void ControlledVideoView::setController(PlayerController *controller)
{
    if (m_controller == controller)
        return;
    m_controller = controller;
    setFrames(controller ? controller->player().videoFrames() : nullptr);
    Q_EMIT controllerChanged();
}
