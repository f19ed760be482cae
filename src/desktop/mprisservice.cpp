#include "mprisservice.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

MprisService::MprisService(MediaSession &session, QDBusConnection connection, QObject *parent)
    : QObject(parent)
    , m_session(session)
    , m_connection(std::move(connection))
    , m_announced(session.state())
{
    if (!m_connection.isConnected())
        return;
    auto *player = new MprisPlayerAdaptor(this);
    new MprisRootAdaptor(this);
    if (!m_connection.registerObject(objectPath, this, QDBusConnection::ExportAdaptors))
        return;
    // A second copy of the program stays reachable under a name of its own.
    for (const QString &name : {QString(serviceName), serviceName + QStringLiteral(".instance")
                                                          + QString::number(QCoreApplication::applicationPid())}) {
        if (m_connection.registerService(name)) {
            m_name = name;
            break;
        }
    }
    if (m_name.isEmpty()) {
        m_connection.unregisterObject(objectPath);
        return;
    }
    connect(&m_session, &MediaSession::stateChanged, this, &MprisService::announce);
    connect(&m_session, &MediaSession::seeked, player, &MprisPlayerAdaptor::Seeked);
}

MprisService::~MprisService()
{
    if (m_name.isEmpty())
        return;
    m_connection.unregisterService(m_name);
    m_connection.unregisterObject(objectPath);
}

QString MprisService::statusText(MediaSession::Status status)
{
    switch (status) {
    case MediaSession::Status::Playing:
        return QStringLiteral("Playing");
    case MediaSession::Status::Paused:
        return QStringLiteral("Paused");
    case MediaSession::Status::Stopped:
        break;
    }
    return QStringLiteral("Stopped");
}

QVariantMap MprisService::metadata(const MediaSession::Track &track)
{
    if (track.id.isEmpty())
        return {};
    QVariantMap map{
        {QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(track.id))},
        {QStringLiteral("xesam:title"), track.title},
    };
    if (!track.album.isEmpty())
        map.insert(QStringLiteral("xesam:album"), track.album);
    if (!track.artists.isEmpty())
        map.insert(QStringLiteral("xesam:artist"), track.artists);
    if (!track.artUrl.isEmpty())
        map.insert(QStringLiteral("mpris:artUrl"), track.artUrl.toString(QUrl::FullyEncoded));
    if (track.lengthUs > 0)
        map.insert(QStringLiteral("mpris:length"), qlonglong(track.lengthUs));
    return map;
}

void MprisService::announce()
{
    // Position is never announced: listeners ask for it, and Seeked tells them when it jumps.
    const MediaSession::State &now = m_session.state();
    QVariantMap changed;
    if (now.status != m_announced.status)
        changed.insert(QStringLiteral("PlaybackStatus"), statusText(now.status));
    if (now.track != m_announced.track)
        changed.insert(QStringLiteral("Metadata"), metadata(now.track));
    const std::pair<const char *, bool MediaSession::State::*> flags[] = {
        {"CanPlay", &MediaSession::State::canPlay},     {"CanPause", &MediaSession::State::canPause},
        {"CanSeek", &MediaSession::State::canSeek},     {"CanGoNext", &MediaSession::State::canGoNext},
        {"CanGoPrevious", &MediaSession::State::canGoPrevious},
    };
    for (const auto &[name, flag] : flags) {
        if (now.*flag != m_announced.*flag)
            changed.insert(QLatin1String(name), now.*flag);
    }
    m_announced = now;
    if (changed.isEmpty())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(objectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << QString(playerInterface) << changed << QStringList();
    m_connection.send(signal);
}

MprisRootAdaptor::MprisRootAdaptor(MprisService *service)
    : QDBusAbstractAdaptor(service)
    , m_service(service)
{
}

QString MprisRootAdaptor::identity() const
{
    return QStringLiteral("MAVU");
}

QString MprisRootAdaptor::desktopEntry() const
{
    return QStringLiteral(MAVU_APP_ID);
}

void MprisRootAdaptor::Raise()
{
    m_service->session().raise();
}

void MprisRootAdaptor::Quit()
{
    // After the answer to this call has left.
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
}

MprisPlayerAdaptor::MprisPlayerAdaptor(MprisService *service)
    : QDBusAbstractAdaptor(service)
    , m_service(service)
{
}

QString MprisPlayerAdaptor::playbackStatus() const
{
    return MprisService::statusText(state().status);
}

QVariantMap MprisPlayerAdaptor::metadata() const
{
    return MprisService::metadata(state().track);
}

qlonglong MprisPlayerAdaptor::position() const
{
    return m_service->session().positionUs();
}

void MprisPlayerAdaptor::Next()
{
    m_service->session().next();
}

void MprisPlayerAdaptor::Previous()
{
    m_service->session().previous();
}

void MprisPlayerAdaptor::Pause()
{
    m_service->session().pause();
}

void MprisPlayerAdaptor::PlayPause()
{
    m_service->session().playPause();
}

void MprisPlayerAdaptor::Stop()
{
    m_service->session().stop();
}

void MprisPlayerAdaptor::Play()
{
    m_service->session().play();
}

void MprisPlayerAdaptor::Seek(qlonglong offset)
{
    m_service->session().seekBy(offset);
}

void MprisPlayerAdaptor::SetPosition(const QDBusObjectPath &trackId, qlonglong position)
{
    m_service->session().setPosition(trackId.path(), position);
}

void MprisPlayerAdaptor::OpenUri(const QString &)
{
    // Nothing is opened from outside: SupportedUriSchemes is empty.
}
