#pragma once

#include <QList>
#include <QObject>
#include <QRect>
#include <QSize>
#include <QWindow>
#include <QtQml/qqmlregistration.h>

#include <memory>

class Preferences;


// The window on the desktop: full screen on and off for whichever screen asks (the player, a
// preview), and the window's frame and full-screen state kept between runs.
class WindowPlacement : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    using QObject::QObject;

    // Leaving full screen goes back to maximised when the window was maximised before.
    Q_INVOKABLE static void toggleFullScreen(QWindow *window);
    Q_INVOKABLE static void leaveFullScreen(QWindow *window);
    static bool isFullScreen(const QWindow *window);

    // `saved` moved and shrunk so that it shows whole on the screen it overlaps most (given as
    // their available areas, the primary first); on none of them, centred on the primary. Never
    // smaller than `minimum`.
    static QRect clamped(const QRect &saved, const QList<QRect> &screens, const QSize &minimum = {});

    // Puts `window` where the preferences say it was, full screen if it was, and writes its frame
    // and state back when it goes or the program ends.
    static void remember(QWindow *window, std::shared_ptr<Preferences> preferences);
};
