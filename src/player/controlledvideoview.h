#pragma once

#include "playercontroller.h"
#include "videosurface.h"

#include <QPointer>

// The picture of a PlayerController's player. All control stays with the controller and the
// player screen; a new view takes the player's pictures over from any earlier one.
class ControlledVideoView : public VideoSurface
{
    Q_OBJECT
    QML_ELEMENT

    Q_PROPERTY(PlayerController *controller READ controller WRITE setController NOTIFY controllerChanged FINAL)

public:
    explicit ControlledVideoView(QQuickItem *parent = nullptr);

    PlayerController *controller() const { return m_controller; }
    void setController(PlayerController *controller);

Q_SIGNALS:
    void controllerChanged();

private:
    QPointer<PlayerController> m_controller;
};
