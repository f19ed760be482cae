#pragma once

// A D-Bus session bus of the test's own, a stand-in for the desktop's screen saver on it, and a
// client that talks to the program over the bus as the desktop's media controls do.

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QMutex>
#include <QProcess>
#include <QThread>
#include <QtTest>

#include <memory>

namespace BusTest {

// dbus-daemon started for the test; DBUS_SESSION_BUS_ADDRESS points at it, so that the program's
// own "session bus" is this one. Start it before anything asks for the session bus.
class PrivateBus
{
public:
    bool start()
    {
        m_daemon.setProgram(QStringLiteral("dbus-daemon"));
        m_daemon.setArguments({QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--nopidfile"),
                               QStringLiteral("--print-address=1")});
        m_daemon.start();
        if (!m_daemon.waitForStarted(5000))
            return false;
        while (!m_daemon.canReadLine() && m_daemon.waitForReadyRead(5000)) { }
        m_address = QString::fromLocal8Bit(m_daemon.readLine()).trimmed();
        if (m_address.isEmpty())
            return false;
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toLocal8Bit());
        return true;
    }

    ~PrivateBus()
    {
        m_daemon.terminate();
        m_daemon.waitForFinished(5000);
    }

    const QString &address() const { return m_address; }

private:
    QProcess m_daemon;
    QString m_address;
};

// org.freedesktop.ScreenSaver as a desktop serves it: cookies handed out and taken back.
class FakeScreenSaver : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

public:
    QList<uint> held() const
    {
        const QMutexLocker lock(&m_mutex);
        return m_held;
    }
    QStringList applications() const
    {
        const QMutexLocker lock(&m_mutex);
        return m_applications;
    }

public Q_SLOTS:
    uint Inhibit(const QString &application, const QString &reason)
    {
        const QMutexLocker lock(&m_mutex);
        Q_UNUSED(reason)
        m_applications.append(application);
        m_held.append(++m_lastCookie);
        return m_lastCookie;
    }
    void UnInhibit(uint cookie)
    {
        const QMutexLocker lock(&m_mutex);
        m_held.removeOne(cookie);
    }

private:
    mutable QMutex m_mutex;
    QList<uint> m_held;
    QStringList m_applications;
    uint m_lastCookie = 0;
};

// The fake on a connection and a thread of its own, like another process: the program may wait
// for its answers without waiting for itself.
class ScreenSaverHost
{
public:
    ScreenSaverHost(const QString &address, const QString &path)
        : m_connectionName(QStringLiteral("screensaver-%1").arg(++s_hosts))
        , m_path(path)
    {
        m_service->moveToThread(&m_thread);
        // Deleted on its own thread as that thread ends.
        QObject::connect(&m_thread, &QThread::finished, m_service, &QObject::deleteLater);
        m_thread.start();
        QDBusConnection connection = QDBusConnection::connectToBus(address, m_connectionName);
        m_registered = connection.registerObject(path, m_service, QDBusConnection::ExportAllSlots)
                    && connection.registerService(QStringLiteral("org.freedesktop.ScreenSaver"));
    }
    ~ScreenSaverHost()
    {
        QDBusConnection connection(m_connectionName);
        connection.unregisterService(QStringLiteral("org.freedesktop.ScreenSaver"));
        connection.unregisterObject(m_path);
        QDBusConnection::disconnectFromBus(m_connectionName);
        m_thread.quit();
        m_thread.wait();
    }

    bool registered() const { return m_registered; }
    const FakeScreenSaver &service() const { return *m_service; }

private:
    static inline int s_hosts = 0;
    QString m_connectionName;
    QString m_path;
    FakeScreenSaver *m_service = new FakeScreenSaver;
    QThread m_thread;
    bool m_registered = false;
};

// What PropertiesChanged and Seeked said, in order.
class BusListener : public QObject
{
    Q_OBJECT

public:
    QList<QVariantMap> changes;
    QList<qlonglong> seeks;

    // The latest announced value of a property, if any.
    QVariant last(const QString &name) const
    {
        for (auto it = changes.crbegin(); it != changes.crend(); ++it) {
            if (it->contains(name))
                return it->value(name);
        }
        return {};
    }

public Q_SLOTS:
    void propertiesChanged(const QString &interface, const QVariantMap &changed, const QStringList &)
    {
        if (interface == QLatin1String("org.mpris.MediaPlayer2.Player"))
            changes.append(changed);
    }
    void seeked(qlonglong position) { seeks.append(position); }
};

// Sends `message` and runs the event loop until the answer is there (the program answers on this
// very thread).
inline QDBusMessage roundTrip(const QDBusConnection &connection, const QDBusMessage &message)
{
    QDBusPendingCall call = connection.asyncCall(message, 10000);
    if (!QTest::qWaitFor([&] { return call.isFinished(); }, 15000))
        return QDBusMessage::createError(QStringLiteral("test.Timeout"), QStringLiteral("no answer"));
    return call.reply();
}

// A D-Bus map ("a{sv}") from a value read off the bus.
inline QVariantMap asMap(const QVariant &value)
{
    if (value.canConvert<QDBusArgument>())
        return qdbus_cast<QVariantMap>(value.value<QDBusArgument>());
    return value.toMap();
}

} // namespace BusTest
