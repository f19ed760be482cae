#include "desktopintegration.h"

#include "mprisservice.h"
#include "screensaverinhibitor.h"

DesktopIntegration::DesktopIntegration(AppStore &store)
    : DesktopIntegration(store, QDBusConnection::sessionBus())
{
}

DesktopIntegration::DesktopIntegration(AppStore &store, const QDBusConnection &bus)
    : m_session(store)
{
    if (!bus.isConnected())
        return;
    m_screenSaver = std::make_unique<ScreenSaverInhibitor>(bus);
    QObject::connect(&m_session, &MediaSession::stateChanged, m_screenSaver.get(), [this] {
        m_screenSaver->setWanted(m_session.state().status == MediaSession::Status::Playing);
    });
    m_mpris = std::make_unique<MprisService>(m_session, bus);
}

// The service leaves the bus before the session it speaks for goes; the screen's hold is let go.
DesktopIntegration::~DesktopIntegration() = default;

QString DesktopIntegration::applicationId()
{
    return QStringLiteral(MAVU_APP_ID);
}

QIcon DesktopIntegration::applicationIcon()
{
    return QIcon::fromTheme(applicationId(), QIcon(QStringLiteral(":/mavu/icons/mavu.svg")));
}
