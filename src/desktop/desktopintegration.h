#pragma once

#include "mediasession.h"

#include <QDBusConnection>
#include <QIcon>
#include <QString>

#include <memory>

class AppStore;
class MprisService;
class QWindow;
class ScreenSaverInhibitor;

// The program as a citizen of the Linux desktop: its application id and icon, the media session
// that the desktop's media controls and media keys drive (MPRIS 2 on the session bus), and the
// screen kept awake while a stream plays. Without a session bus only the media session exists;
// nothing complains.
class DesktopIntegration
{
public:
    // On the user's session bus.
    explicit DesktopIntegration(AppStore &store);
    DesktopIntegration(AppStore &store, const QDBusConnection &bus);
    ~DesktopIntegration();
    DesktopIntegration(const DesktopIntegration &) = delete;
    DesktopIntegration &operator=(const DesktopIntegration &) = delete;

    MediaSession &session() { return m_session; }
    // Null without a bus.
    MprisService *mpris() const { return m_mpris.get(); }
    ScreenSaverInhibitor *screenSaver() const { return m_screenSaver.get(); }

    // The reverse-DNS name of the desktop entry, the icon and the metainfo.
    static QString applicationId();
    // The installed icon of that name, else the one built into the program.
    static QIcon applicationIcon();

private:
    MediaSession m_session;
    std::unique_ptr<ScreenSaverInhibitor> m_screenSaver;
    std::unique_ptr<MprisService> m_mpris;
};
