#include "playerscreenstate.h"

#include "player/playercontroller.h"
#include "store/appstore.h"

#include <algorithm>
#include <cmath>

void PlayerScreenState::setController(PlayerController *controller)
{
    if (m_controller == controller)
        return;
    if (m_controller)
        disconnect(m_controller, nullptr, this, nullptr);
    m_controller = controller;
    if (m_controller) {
        connect(m_controller, &PlayerController::positionChanged, this, &PlayerScreenState::followPosition);
        connect(m_controller, &PlayerController::timeTextChanged, this, &PlayerScreenState::labelsChanged);
        connect(m_controller, &PlayerController::lengthTextChanged, this, &PlayerScreenState::labelsChanged);
    }
    Q_EMIT controllerChanged();
    Q_EMIT labelsChanged();
}

void PlayerScreenState::setStore(AppStore *store)
{
    if (m_store == store)
        return;
    if (m_store)
        disconnect(m_store, nullptr, this, nullptr);
    m_store = store;
    if (m_store) {
        connect(m_store, &AppStore::catchupURLBuilderChanged, this, [this] {
            Q_EMIT catchupModeChanged();
            Q_EMIT labelsChanged();
        });
        connect(m_store, &AppStore::catchupDurationSecChanged, this, &PlayerScreenState::labelsChanged);
    }
    Q_EMIT storeChanged();
    Q_EMIT catchupModeChanged();
    Q_EMIT labelsChanged();
}

void PlayerScreenState::setSliderValue(double value)
{
    if (m_sliderValue == value)
        return;
    m_sliderValue = value;
    Q_EMIT sliderValueChanged();
}

bool PlayerScreenState::catchupMode() const
{
    return m_store && m_store->hasCatchupURLBuilder();
}

double PlayerScreenState::catchupElapsed() const
{
    return m_catchupBaseSec + (m_controller ? double(m_controller->playerTime()) / 1000.0 : 0.0);
}

QString PlayerScreenState::elapsedLabel() const
{
    if (catchupMode())
        return PlayerController::hms(catchupElapsed());
    return m_controller ? m_controller->timeText() : PlayerController::hms(0);
}

QString PlayerScreenState::lengthLabel() const
{
    if (catchupMode())
        return PlayerController::hms(m_store->catchupDurationSec());
    return m_controller ? m_controller->lengthText() : QStringLiteral("--:--");
}

void PlayerScreenState::followPosition()
{
    // The bar follows playback, except while the user drags it and in catch-up mode, where
    // only seeks move it.
    if (m_controller && !m_controller->isSeeking() && !catchupMode())
        setSliderValue(m_controller->position());
}

void PlayerScreenState::commitSeek()
{
    if (catchupMode()) {
        catchupSeek(m_sliderValue * m_store->catchupDurationSec());
        return;
    }
    if (m_controller)
        m_controller->seek(std::clamp(m_sliderValue, 0.0, 1.0));
}

void PlayerScreenState::skip(int seconds)
{
    if (catchupMode()) {
        catchupSeek(catchupElapsed() + seconds);
        return;
    }
    if (!m_controller)
        return;
    if (seconds < 0)
        m_controller->jumpBackward(-seconds);
    else
        m_controller->jumpForward(seconds);
}

void PlayerScreenState::catchupSeek(double target)
{
    if (!m_store)
        return;
    const double duration = m_store->catchupDurationSec();
    const double t = std::max(std::min(duration - 60.0, target), 0.0);
    const int minute = int(std::trunc(t / 60.0));
    if (!m_store->hasCatchupURLBuilder())
        return;
    const std::optional<QUrl> address = m_store->catchupURLBuilder()(minute);
    if (!address)
        return;
    m_catchupBaseSec = minute * 60.0;
    Q_EMIT catchupBaseSecChanged();
    setSliderValue(duration > 0 ? m_catchupBaseSec / duration : 0.0);
    m_store->setNowPlayingURL(*address);
    Q_EMIT labelsChanged();
}
