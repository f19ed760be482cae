#include "playershortcuts.h"

#include "player/playercontroller.h"
#include "store/appstore.h"

#include <QVariantMap>

PlayerShortcuts::Action PlayerShortcuts::actionFor(int key, const QString &text, Qt::KeyboardModifiers modifiers,
                                                   Playing playing, bool keysShown, bool fullScreen)
{
    // Shift makes "?" on most layouts and keypad keys carry their own flag; anything held with
    // Control, Alt or Meta belongs to the desktop or a control, not to the player.
    if (modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return Action::None;
    const bool moves = playing != Playing::Live;
    switch (key) {
    case Qt::Key_Escape:
        if (keysShown)
            return Action::CloseKeys;
        return fullScreen ? Action::LeaveFullScreen : Action::Leave;
    case Qt::Key_Space:
    case Qt::Key_MediaTogglePlayPause:
        return Action::PlayPause;
    case Qt::Key_Left:
        return moves ? Action::JumpBack : Action::None;
    case Qt::Key_Right:
        return moves ? Action::JumpForward : Action::None;
    case Qt::Key_Up:
        return Action::VolumeUp;
    case Qt::Key_Down:
        return Action::VolumeDown;
    case Qt::Key_M:
        return Action::Mute;
    case Qt::Key_Home:
        return playing == Playing::Movie ? Action::ToStart : Action::None;
    case Qt::Key_End:
        return playing == Playing::Movie ? Action::ToEnd : Action::None;
    case Qt::Key_F11:
    case Qt::Key_F:
        return Action::ToggleFullScreen;
    case Qt::Key_Question:
        return Action::ToggleKeys;
    default:
        break;
    }
    // Layouts that put "?" on another key report the key by its place.
    return text == QLatin1String("?") ? Action::ToggleKeys : Action::None;
}

QList<PlayerShortcuts::KeyLine> PlayerShortcuts::keyLines(Playing playing)
{
    QList<KeyLine> lines{{QStringLiteral("Space"), QStringLiteral("Play or pause")}};
    if (playing != Playing::Live)
        lines.append({QStringLiteral("← →"), QStringLiteral("Jump back or forward")});
    lines.append({QStringLiteral("↑ ↓"), QStringLiteral("Volume up or down")});
    lines.append({QStringLiteral("M"), QStringLiteral("Mute or unmute")});
    if (playing == Playing::Movie)
        lines.append({QStringLiteral("Home End"), QStringLiteral("Go to the start or the end")});
    lines.append({QStringLiteral("F  F11"), QStringLiteral("Full screen")});
    lines.append({QStringLiteral("Double-click"), QStringLiteral("Full screen")});
    lines.append({QStringLiteral("?"), QStringLiteral("Show or hide these keys")});
    lines.append({QStringLiteral("Esc"), QStringLiteral("Leave full screen, then the player")});
    return lines;
}

void PlayerShortcuts::setScreenState(PlayerScreenState *state)
{
    if (m_screenState == state)
        return;
    if (m_screenState)
        disconnect(m_screenState, nullptr, this, nullptr);
    m_screenState = state;
    if (m_screenState) {
        connect(m_screenState, &PlayerScreenState::catchupModeChanged, this, &PlayerShortcuts::keyListChanged);
        connect(m_screenState, &PlayerScreenState::storeChanged, this, &PlayerShortcuts::followStore);
    }
    followStore();
    Q_EMIT screenStateChanged();
}

void PlayerShortcuts::followStore()
{
    if (m_store)
        disconnect(m_store, nullptr, this, nullptr);
    m_store = m_screenState ? m_screenState->store() : nullptr;
    if (m_store)
        connect(m_store, &AppStore::nowPlayingChanged, this, &PlayerShortcuts::keyListChanged);
    Q_EMIT keyListChanged();
}

void PlayerShortcuts::setFullScreen(bool fullScreen)
{
    if (m_fullScreen == fullScreen)
        return;
    m_fullScreen = fullScreen;
    Q_EMIT fullScreenChanged();
}

void PlayerShortcuts::setKeysShown(bool shown)
{
    if (m_keysShown == shown)
        return;
    m_keysShown = shown;
    Q_EMIT keysShownChanged();
}

QVariantList PlayerShortcuts::keyList() const
{
    QVariantList list;
    for (const KeyLine &line : keyLines(playing()))
        list.append(QVariantMap{{QStringLiteral("keys"), line.keys}, {QStringLiteral("meaning"), line.meaning}});
    return list;
}

PlayerShortcuts::Playing PlayerShortcuts::playing() const
{
    if (!m_screenState)
        return Playing::Movie;
    if (m_screenState->catchupMode())
        return Playing::Recording;
    const AppStore *store = m_screenState->store();
    if (store && store->hasNowPlaying() && store->nowPlaying()->kind == MediaItem::Kind::live)
        return Playing::Live;
    return Playing::Movie;
}

bool PlayerShortcuts::press(int key, const QString &text, int modifiers)
{
    const Action action = actionFor(key, text, Qt::KeyboardModifiers(modifiers), playing(), m_keysShown, m_fullScreen);
    PlayerController *controller = m_screenState ? m_screenState->controller() : nullptr;
    switch (action) {
    case Action::None:
        return false;
    case Action::PlayPause:
        if (controller)
            controller->playerIsPlaying() ? controller->playerPause() : controller->playerPlay();
        break;
    case Action::JumpBack:
        if (m_screenState)
            m_screenState->skip(-m_screenState->jumpSize());
        break;
    case Action::JumpForward:
        if (m_screenState)
            m_screenState->skip(m_screenState->jumpSize());
        break;
    case Action::VolumeUp:
        if (controller)
            controller->changeVolume(volumeStep);
        break;
    case Action::VolumeDown:
        if (controller)
            controller->changeVolume(-volumeStep);
        break;
    case Action::Mute:
        if (controller)
            controller->toggleMute();
        break;
    case Action::ToStart:
        if (controller)
            controller->seek(0);
        break;
    case Action::ToEnd:
        if (controller)
            controller->seek(1);
        break;
    case Action::ToggleKeys:
        setKeysShown(!m_keysShown);
        break;
    case Action::CloseKeys:
        setKeysShown(false);
        break;
    case Action::ToggleFullScreen:
        Q_EMIT toggleFullScreenRequested();
        break;
    case Action::LeaveFullScreen:
        Q_EMIT leaveFullScreenRequested();
        break;
    case Action::Leave:
        Q_EMIT leaveRequested();
        break;
    }
    return true;
}
