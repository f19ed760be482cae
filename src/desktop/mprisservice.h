#pragma once

#include "mediasession.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

// The media session on the D-Bus session bus as an MPRIS 2 player: the desktop's media controls
// and the keyboard's media keys reach the program through it. It registers under
// "org.mpris.MediaPlayer2.mavu" (another running copy adds ".instance<pid>"), announces every
// change of its properties with PropertiesChanged, and does nothing at all when there is no bus.
class MprisService : public QObject
{
    Q_OBJECT

public:
    static constexpr QLatin1String serviceName{"org.mpris.MediaPlayer2.mavu"};
    static constexpr QLatin1String objectPath{"/org/mpris/MediaPlayer2"};
    static constexpr QLatin1String rootInterface{"org.mpris.MediaPlayer2"};
    static constexpr QLatin1String playerInterface{"org.mpris.MediaPlayer2.Player"};

    MprisService(MediaSession &session, QDBusConnection connection, QObject *parent = nullptr);
    ~MprisService() override;

    // The name it holds on the bus; empty when it holds none.
    QString registeredName() const { return m_name; }

    MediaSession &session() const { return m_session; }

    // The D-Bus faces of the session's values.
    static QString statusText(MediaSession::Status status);
    static QVariantMap metadata(const MediaSession::Track &track);

private:
    void announce();

    MediaSession &m_session;
    QDBusConnection m_connection;
    QString m_name;
    MediaSession::State m_announced;
};

// org.mpris.MediaPlayer2: who we are and the window.
class MprisRootAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ canQuit FINAL)
    Q_PROPERTY(bool CanRaise READ canRaise FINAL)
    Q_PROPERTY(bool HasTrackList READ hasTrackList FINAL)
    Q_PROPERTY(QString Identity READ identity FINAL)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry FINAL)
    Q_PROPERTY(QStringList SupportedUriSchemes READ supportedUriSchemes FINAL)
    Q_PROPERTY(QStringList SupportedMimeTypes READ supportedMimeTypes FINAL)

public:
    explicit MprisRootAdaptor(MprisService *service);

    bool canQuit() const { return true; }
    bool canRaise() const { return true; }
    bool hasTrackList() const { return false; }
    QString identity() const;
    QString desktopEntry() const;
    // The program plays only its provider's streams: nothing can be handed to it to open.
    QStringList supportedUriSchemes() const { return {}; }
    QStringList supportedMimeTypes() const { return {}; }

public Q_SLOTS:
    void Raise();
    void Quit();

private:
    MprisService *m_service;
};

// org.mpris.MediaPlayer2.Player: what plays and the commands for it.
class MprisPlayerAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus FINAL)
    Q_PROPERTY(double Rate READ rate WRITE setRate FINAL)
    Q_PROPERTY(QVariantMap Metadata READ metadata FINAL)
    Q_PROPERTY(double Volume READ volume WRITE setVolume FINAL)
    Q_PROPERTY(qlonglong Position READ position FINAL)
    Q_PROPERTY(double MinimumRate READ rate FINAL)
    Q_PROPERTY(double MaximumRate READ rate FINAL)
    Q_PROPERTY(bool CanGoNext READ canGoNext FINAL)
    Q_PROPERTY(bool CanGoPrevious READ canGoPrevious FINAL)
    Q_PROPERTY(bool CanPlay READ canPlay FINAL)
    Q_PROPERTY(bool CanPause READ canPause FINAL)
    Q_PROPERTY(bool CanSeek READ canSeek FINAL)
    Q_PROPERTY(bool CanControl READ canControl FINAL)

public:
    explicit MprisPlayerAdaptor(MprisService *service);

    QString playbackStatus() const;
    // Streams play at their own pace, and the sound level is the desktop mixer's: the program's
    // volume stays at full and a rate or volume written here changes nothing.
    double rate() const { return 1.0; }
    void setRate(double) { }
    double volume() const { return 1.0; }
    void setVolume(double) { }
    QVariantMap metadata() const;
    qlonglong position() const;
    bool canGoNext() const { return state().canGoNext; }
    bool canGoPrevious() const { return state().canGoPrevious; }
    bool canPlay() const { return state().canPlay; }
    bool canPause() const { return state().canPause; }
    bool canSeek() const { return state().canSeek; }
    bool canControl() const { return true; }

public Q_SLOTS:
    void Next();
    void Previous();
    void Pause();
    void PlayPause();
    void Stop();
    void Play();
    void Seek(qlonglong offset);
    void SetPosition(const QDBusObjectPath &trackId, qlonglong position);
    void OpenUri(const QString &uri);

Q_SIGNALS:
    void Seeked(qlonglong position);

private:
    const MediaSession::State &state() const { return m_service->session().state(); }

    MprisService *m_service;
};
