#include "idlechrome.h"

IdleChrome::IdleChrome(QObject *parent)
    : QObject(parent)
{
    m_rest.setSingleShot(true);
    m_rest.setInterval(defaultRestAfter);
    connect(&m_rest, &QTimer::timeout, this, &IdleChrome::rest);
}

void IdleChrome::setActive(bool active)
{
    if (m_active == active)
        return;
    m_active = active;
    if (m_active) {
        m_rest.start();
    } else {
        m_rest.stop();
        setPointerResting(false);
        setShown(true);
    }
    Q_EMIT activeChanged();
}

void IdleChrome::setShown(bool shown)
{
    if (m_shown == shown)
        return;
    m_shown = shown;
    Q_EMIT shownChanged();
}

void IdleChrome::setRestAfter(int ms)
{
    if (ms == m_rest.interval())
        return;
    m_rest.setInterval(ms);
    Q_EMIT restAfterChanged();
}

void IdleChrome::wake()
{
    setPointerResting(false);
    setShown(true);
    if (m_active)
        m_rest.start();
}

void IdleChrome::pointerAt(QPointF place)
{
    if (place == m_lastPlace)
        return;
    m_lastPlace = place;
    if (m_active)
        wake();
}

void IdleChrome::setPointerResting(bool resting)
{
    if (m_pointerResting == resting)
        return;
    m_pointerResting = resting;
    Q_EMIT pointerRestingChanged();
}

void IdleChrome::rest()
{
    if (!m_active)
        return;
    setPointerResting(true);
    setShown(false);
}
