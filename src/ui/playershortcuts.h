#pragma once

#include "playerscreenstate.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

// The player screen's keyboard: which key does what for what plays, and doing it. Keys that
// move within the stream answer only where that means something (no jumps in a live stream, the
// start and the end only for a movie or an episode). Escape closes the key list first, then
// leaves full screen, and only then leaves the player.
class PlayerShortcuts : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(PlayerScreenState *screenState READ screenState WRITE setScreenState NOTIFY screenStateChanged FINAL)
    // Told by the screen: its window fills the screen.
    Q_PROPERTY(bool fullScreen READ fullScreen WRITE setFullScreen NOTIFY fullScreenChanged FINAL)
    Q_PROPERTY(bool keysShown READ keysShown WRITE setKeysShown NOTIFY keysShownChanged FINAL)
    // What the key list shows: {keys, meaning} for the keys that work for what plays now.
    Q_PROPERTY(QVariantList keyList READ keyList NOTIFY keyListChanged FINAL)

public:
    enum class Action {
        None,
        PlayPause,
        JumpBack,
        JumpForward,
        VolumeUp,
        VolumeDown,
        Mute,
        ToStart,
        ToEnd,
        ToggleKeys,
        CloseKeys,
        ToggleFullScreen,
        LeaveFullScreen,
        Leave,
    };
    Q_ENUM(Action)

    // A live stream has no time to move in; a recording moves by restarting; a movie or an
    // episode has both ends.
    enum class Playing { Live, Recording, Movie };
    Q_ENUM(Playing)

    struct KeyLine
    {
        QString keys;
        QString meaning;
        bool operator==(const KeyLine &) const = default;
    };

    static constexpr int volumeStep = 5;

    using QObject::QObject;

    static Action actionFor(int key, const QString &text, Qt::KeyboardModifiers modifiers, Playing playing,
                            bool keysShown, bool fullScreen);
    static QList<KeyLine> keyLines(Playing playing);

    PlayerScreenState *screenState() const { return m_screenState; }
    void setScreenState(PlayerScreenState *state);
    bool fullScreen() const { return m_fullScreen; }
    void setFullScreen(bool fullScreen);
    bool keysShown() const { return m_keysShown; }
    void setKeysShown(bool shown);
    QVariantList keyList() const;

    Playing playing() const;

    // A key the screen's controls left alone: true when it was a shortcut (and is done).
    Q_INVOKABLE bool press(int key, const QString &text, int modifiers);

Q_SIGNALS:
    void screenStateChanged();
    void fullScreenChanged();
    void keysShownChanged();
    void keyListChanged();
    // What only the screen can do.
    void toggleFullScreenRequested();
    void leaveFullScreenRequested();
    void leaveRequested();

private:
    void followStore();

    QPointer<PlayerScreenState> m_screenState;
    QPointer<AppStore> m_store;
    bool m_fullScreen = false;
    bool m_keysShown = false;
};
