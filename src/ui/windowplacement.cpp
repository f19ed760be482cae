#include "windowplacement.h"

#include "store/preferences.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

#include <algorithm>

namespace {

// Where the window goes back to when it leaves full screen.
constexpr const char *maximisedBeforeProperty = "mavuMaximisedBeforeFullScreen";

// Follows the window's frame while it is an ordinary window (a maximised or full-screen frame
// says nothing about where the user put it) and writes it when the window goes.
class PlacementKeeper : public QObject
{
public:
    PlacementKeeper(QWindow *window, std::shared_ptr<Preferences> preferences)
        : QObject(window)
        , m_window(window)
        , m_preferences(std::move(preferences))
        , m_normal(window->geometry())
    {
        const auto follow = [this] {
            if (m_window->windowStates() == Qt::WindowNoState && m_window->isVisible())
                m_normal = m_window->geometry();
        };
        connect(window, &QWindow::xChanged, this, follow);
        connect(window, &QWindow::yChanged, this, follow);
        connect(window, &QWindow::widthChanged, this, follow);
        connect(window, &QWindow::heightChanged, this, follow);
        connect(window, &QWindow::visibleChanged, this, follow);
        connect(window, &QWindow::windowStateChanged, this, [this] {
            m_fullScreen = m_window->windowStates().testFlag(Qt::WindowFullScreen);
        });
        connect(qApp, &QCoreApplication::aboutToQuit, this, &PlacementKeeper::save);
        m_fullScreen = window->windowStates().testFlag(Qt::WindowFullScreen);
    }

    ~PlacementKeeper() override { save(); }

    void save()
    {
        if (m_normal.isValid())
            m_preferences->setWindowGeometry(m_normal);
        m_preferences->setWindowFullScreen(m_fullScreen);
    }

private:
    QWindow *m_window;
    std::shared_ptr<Preferences> m_preferences;
    QRect m_normal;
    bool m_fullScreen = false;
};

} // namespace

void WindowPlacement::toggleFullScreen(QWindow *window)
{
    if (!window)
        return;
    if (isFullScreen(window)) {
        leaveFullScreen(window);
        return;
    }
    window->setProperty(maximisedBeforeProperty, window->windowStates().testFlag(Qt::WindowMaximized));
    window->showFullScreen();
}

void WindowPlacement::leaveFullScreen(QWindow *window)
{
    if (!window || !isFullScreen(window))
        return;
    if (window->property(maximisedBeforeProperty).toBool())
        window->showMaximized();
    else
        window->showNormal();
}

bool WindowPlacement::isFullScreen(const QWindow *window)
{
    return window && window->windowStates().testFlag(Qt::WindowFullScreen);
}

QRect WindowPlacement::clamped(const QRect &saved, const QList<QRect> &screens, const QSize &minimum)
{
    if (screens.isEmpty())
        return saved;
    // The screen showing most of it.
    QRect screen;
    qint64 bestArea = 0;
    for (const QRect &candidate : screens) {
        const QRect shared = candidate.intersected(saved);
        const qint64 area = shared.isEmpty() ? 0 : qint64(shared.width()) * shared.height();
        if (area > bestArea) {
            bestArea = area;
            screen = candidate;
        }
    }
    const bool lost = screen.isNull();
    if (lost)
        screen = screens.constFirst();

    const QSize size = saved.size().boundedTo(screen.size()).expandedTo(minimum);
    QRect placed(saved.topLeft(), size);
    if (lost) {
        placed.moveCenter(screen.center());
    } else {
        placed.moveLeft(std::clamp(placed.left(), screen.left(), std::max(screen.left(), screen.right() - size.width() + 1)));
        placed.moveTop(std::clamp(placed.top(), screen.top(), std::max(screen.top(), screen.bottom() - size.height() + 1)));
    }
    return placed;
}

void WindowPlacement::remember(QWindow *window, std::shared_ptr<Preferences> preferences)
{
    if (!window || !preferences)
        return;
    if (const std::optional<QRect> saved = preferences->windowGeometry()) {
        QList<QRect> screens;
        if (QScreen *primary = QGuiApplication::primaryScreen())
            screens.append(primary->availableGeometry());
        for (QScreen *screen : QGuiApplication::screens()) {
            if (screen != QGuiApplication::primaryScreen())
                screens.append(screen->availableGeometry());
        }
        window->setGeometry(clamped(*saved, screens, window->minimumSize()));
    }
    const bool fullScreen = preferences->windowFullScreen();
    new PlacementKeeper(window, std::move(preferences));
    if (fullScreen)
        toggleFullScreen(window);
}
