#pragma once

#include <QObject>
#include <QPointF>
#include <QTimer>
#include <QtQml/qqmlregistration.h>

// Controls over full-screen video (bars, an info panel) and the pointer: they stay while the
// pointer moves or a key wakes them, and go once the pointer has rested. Outside full screen
// they always show. The player screen and the filled live preview share it.
class IdleChrome : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    // Full screen: only then do the controls and the pointer hide at rest.
    Q_PROPERTY(bool active READ active WRITE setActive NOTIFY activeChanged FINAL)
    // The controls show; a click on the picture may flip it.
    Q_PROPERTY(bool shown READ shown WRITE setShown NOTIFY shownChanged FINAL)
    Q_PROPERTY(bool pointerResting READ pointerResting NOTIFY pointerRestingChanged FINAL)
    Q_PROPERTY(int restAfter READ restAfter WRITE setRestAfter NOTIFY restAfterChanged FINAL)

public:
    static constexpr int defaultRestAfter = 3000;

    explicit IdleChrome(QObject *parent = nullptr);

    bool active() const { return m_active; }
    void setActive(bool active);
    bool shown() const { return m_shown; }
    void setShown(bool shown);
    bool pointerResting() const { return m_pointerResting; }
    int restAfter() const { return m_rest.interval(); }
    void setRestAfter(int ms);

    // Shows the controls and the pointer again, for another while in full screen.
    Q_INVOKABLE void wake();
    // The pointer is at `place` (scene coordinates). Hover reports that repeat the last place
    // (the scene changing under a still pointer) are not movement.
    Q_INVOKABLE void pointerAt(QPointF place);

Q_SIGNALS:
    void activeChanged();
    void shownChanged();
    void pointerRestingChanged();
    void restAfterChanged();

private:
    void setPointerResting(bool resting);
    void rest();

    QTimer m_rest;
    QPointF m_lastPlace{-1, -1};
    bool m_active = false;
    bool m_shown = true;
    bool m_pointerResting = false;
};
