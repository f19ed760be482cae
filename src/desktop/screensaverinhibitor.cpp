#include "screensaverinhibitor.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include <array>

namespace {

const std::array<QLatin1String, 2> paths{QLatin1String("/org/freedesktop/ScreenSaver"), QLatin1String("/ScreenSaver")};

// Long enough for a desktop that answers at all; a hold that cannot be let go in time ends with
// the program's connection anyway.
constexpr int releaseAtExitTimeoutMs = 500;

QDBusMessage call(int pathIndex, const QString &method)
{
    return QDBusMessage::createMethodCall(ScreenSaverInhibitor::serviceName, paths[pathIndex],
                                          ScreenSaverInhibitor::interfaceName, method);
}

// The service is there, but not at this path.
bool wrongPath(const QDBusError &error)
{
    return error.type() == QDBusError::UnknownObject || error.type() == QDBusError::UnknownMethod
        || error.type() == QDBusError::UnknownInterface;
}

} // namespace

ScreenSaverInhibitor::ScreenSaverInhibitor(QDBusConnection connection, QObject *parent)
    : QObject(parent)
    , m_connection(std::move(connection))
{
}

ScreenSaverInhibitor::~ScreenSaverInhibitor()
{
    if (!m_cookie)
        return;
    QDBusMessage message = call(m_pathIndex, QStringLiteral("UnInhibit"));
    message << *m_cookie;
    m_connection.call(message, QDBus::Block, releaseAtExitTimeoutMs);
}

void ScreenSaverInhibitor::setWanted(bool wanted)
{
    if (m_wanted == wanted)
        return;
    m_wanted = wanted;
    reconcile();
}

void ScreenSaverInhibitor::reconcile()
{
    if (m_waiting || !m_connection.isConnected())
        return;
    if (m_wanted && !m_cookie)
        inhibit(m_pathIndex, false);
    else if (!m_wanted && m_cookie)
        release();
}

void ScreenSaverInhibitor::inhibit(int pathIndex, bool otherPath)
{
    QDBusMessage message = call(pathIndex, QStringLiteral("Inhibit"));
    message << QStringLiteral("MAVU") << QStringLiteral("Playing a video");
    m_waiting = true;
    auto *watcher = new QDBusPendingCallWatcher(m_connection.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, pathIndex, otherPath] {
        watcher->deleteLater();
        m_waiting = false;
        const QDBusPendingReply<uint> reply = *watcher;
        if (reply.isError()) {
            // Then the other path, once; without the service the wish simply stays unmet.
            if (wrongPath(reply.error()) && !otherPath && m_wanted)
                inhibit((pathIndex + 1) % int(paths.size()), true);
            return;
        }
        m_pathIndex = pathIndex;
        m_cookie = reply.value();
        reconcile(); // let go at once when playback stopped meanwhile
    });
}

void ScreenSaverInhibitor::release()
{
    QDBusMessage message = call(m_pathIndex, QStringLiteral("UnInhibit"));
    message << *m_cookie;
    m_cookie.reset();
    m_connection.asyncCall(message);
}
