#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <optional>

// Keeps the screen awake while it is wanted, through the desktop's org.freedesktop.ScreenSaver
// service on the session bus (Inhibit / UnInhibit; desktops serve it at /org/freedesktop/ScreenSaver
// or at /ScreenSaver, and both are tried). Calls never block the program while it runs; an answer
// that arrives after the wish changed is set right at once. The hold is let go when this object
// goes, so also when the program ends. Without a bus or the service nothing happens.
class ScreenSaverInhibitor : public QObject
{
    Q_OBJECT

public:
    static constexpr QLatin1String serviceName{"org.freedesktop.ScreenSaver"};
    static constexpr QLatin1String interfaceName{"org.freedesktop.ScreenSaver"};

    explicit ScreenSaverInhibitor(QDBusConnection connection, QObject *parent = nullptr);
    ~ScreenSaverInhibitor() override;

    void setWanted(bool wanted);
    bool wanted() const { return m_wanted; }
    // The service granted the hold and it has not been let go.
    bool isHeld() const { return m_cookie.has_value(); }

private:
    void reconcile();
    void inhibit(int pathIndex, bool otherPath);
    void release();

    QDBusConnection m_connection;
    bool m_wanted = false;
    bool m_waiting = false; // an Inhibit call has not answered yet
    int m_pathIndex = 0;    // the path that answered last
    std::optional<uint> m_cookie;
};
