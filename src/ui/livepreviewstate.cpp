#include "livepreviewstate.h"

#include "liverules.h"

void LivePreviewState::setFullScreen(bool fullScreen)
{
    if (m_fullScreen == fullScreen)
        return;
    m_fullScreen = fullScreen;
    if (m_fullScreen && !m_entering)
        m_filledBefore = m_filled;
    m_entering = false;
    Q_EMIT fullScreenChanged();
}

void LivePreviewState::setShowsPreview(bool shows)
{
    if (m_showsPreview == shows)
        return;
    m_showsPreview = shows;
    // The placeholder never fills the window.
    if (!m_showsPreview)
        setFilled(false);
    Q_EMIT showsPreviewChanged();
}

void LivePreviewState::setCatchupOpen(bool open)
{
    if (m_catchupOpen == open)
        return;
    m_catchupOpen = open;
    if (m_catchupOpen && m_filled) {
        setFilled(false);
        if (m_fullScreen)
            Q_EMIT leaveFullScreenRequested();
    }
    Q_EMIT catchupOpenChanged();
}

bool LivePreviewState::press(int key, int modifiers)
{
    switch (LiveRules::previewAction(key, Qt::KeyboardModifiers(modifiers), m_filled, m_fullScreen)) {
    case LiveRules::PreviewAction::None:
        return false;
    case LiveRules::PreviewAction::ZapBack:
        Q_EMIT zapRequested(-1);
        return true;
    case LiveRules::PreviewAction::ZapOn:
        Q_EMIT zapRequested(1);
        return true;
    case LiveRules::PreviewAction::Fill:
        if (!m_showsPreview)
            return false;
        setFilled(true);
        return true;
    case LiveRules::PreviewAction::ToggleFullScreen:
        if (!m_fullScreen && !m_showsPreview)
            return false;
        toggleFullScreen();
        return true;
    case LiveRules::PreviewAction::LeaveFullScreen:
        Q_EMIT leaveFullScreenRequested();
        return true;
    case LiveRules::PreviewAction::Unfill:
        setFilled(false);
        return true;
    }
    return false;
}

void LivePreviewState::toggleFullScreen()
{
    if (m_fullScreen) {
        setFilled(m_filledBefore && m_showsPreview);
        Q_EMIT leaveFullScreenRequested();
        return;
    }
    if (!m_showsPreview)
        return;
    m_filledBefore = m_filled;
    m_entering = true;
    setFilled(true);
    Q_EMIT enterFullScreenRequested();
}

void LivePreviewState::setFilled(bool filled)
{
    if (m_filled == filled)
        return;
    m_filled = filled;
    Q_EMIT filledChanged();
}
