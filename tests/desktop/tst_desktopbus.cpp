// The program on a private session bus, as the desktop sees it: the MPRIS player while lab
// streams play through libVLC, and the screen saver held while a stream plays.
#include "busfixture.h"
#include "desktop/desktopintegration.h"
#include "desktop/mprisservice.h"
#include "desktop/screensaverinhibitor.h"
#include "labserver.h"
#include "player/playercontroller.h"
#include "store/appstore.h"
#include "store/preferences.h"
#include "support/testsupport.h"
#include "testmedia.h"

#include <QDBusObjectPath>
#include <QtTest>

using namespace BusTest;
using TestSupport::await;

namespace {

const QString service = MprisService::serviceName;
const QString path = MprisService::objectPath;
const QString player = MprisService::playerInterface;
const QString root = MprisService::rootInterface;
const QString properties = QStringLiteral("org.freedesktop.DBus.Properties");

} // namespace

class TestDesktopBus : public QObject
{
    Q_OBJECT

    PrivateBus m_bus;
    TestSupport::TempFolder m_folder;
    std::unique_ptr<Lab::Server> m_lab;
    std::unique_ptr<AppStore> m_store;
    std::unique_ptr<ScreenSaverHost> m_screenSaver;
    std::unique_ptr<DesktopIntegration> m_desktop;
    std::unique_ptr<PlayerController> m_controller;
    BusListener m_listener;

    QDBusConnection client() const { return QDBusConnection(QStringLiteral("client")); }

    QDBusMessage callPlayer(const QString &method, const QVariantList &arguments = {})
    {
        QDBusMessage message = QDBusMessage::createMethodCall(service, path, player, method);
        message.setArguments(arguments);
        return roundTrip(client(), message);
    }

    QVariant property(const QString &interface, const QString &name)
    {
        QDBusMessage message = QDBusMessage::createMethodCall(service, path, properties, QStringLiteral("Get"));
        message << interface << name;
        const QDBusMessage reply = roundTrip(client(), message);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return {};
        return reply.arguments().constFirst().value<QDBusVariant>().variant();
    }

    QString status() { return property(player, QStringLiteral("PlaybackStatus")).toString(); }
    QVariantMap metadata() { return asMap(property(player, QStringLiteral("Metadata"))); }
    qlonglong position() { return property(player, QStringLiteral("Position")).toLongLong(); }
    QList<uint> held() const { return m_screenSaver->service().held(); }

    bool nameOnBus(const QString &name)
    {
        QDBusMessage message = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                                                              QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
        message << name;
        return roundTrip(client(), message).arguments().value(0).toBool();
    }

    // A lab movie through the store into a real player that the session follows.
    MediaItem playMovie(int skip = 0)
    {
        const QList<MediaItem> &movies = m_store->allVods();
        const auto pick = std::find_if(movies.cbegin() + skip, movies.cend(), [](const MediaItem &item) {
            return item.icon().startsWith(QLatin1String("http")) && !item.containerExt.isEmpty();
        });
        if (pick == movies.cend())
            qFatal("the lab's catalogue lacks a movie with a poster");
        await(m_store->play(*pick));
        m_controller->play(*m_store->nowPlayingURL(), false);
        return *pick;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_bus.start(), "dbus-daemon did not start (package dbus-daemon)");
        QVERIFY(QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("client")).isConnected());
        TestMedia::useDummyAudio();
        m_lab = std::make_unique<Lab::Server>(Lab::Options{.seed = 5});
        QVERIFY(!m_lab->start().isEmpty());
        m_store = std::make_unique<AppStore>(std::make_shared<Preferences>(m_folder.file(QStringLiteral("mavu.ini"))));
        await(m_store->connect(Playlist{m_lab->base(), m_lab->username(), m_lab->password()}, false));
        await(m_store->loadLatest());
        QVERIFY(!m_store->allVods().isEmpty());

        m_screenSaver = std::make_unique<ScreenSaverHost>(m_bus.address(), QStringLiteral("/org/freedesktop/ScreenSaver"));
        QVERIFY(m_screenSaver->registered());
        // As the program does: on the session bus, which is the test's own.
        m_desktop = std::make_unique<DesktopIntegration>(*m_store);
        QVERIFY(m_desktop->mpris());
        QCOMPARE(m_desktop->mpris()->registeredName(), service);
        m_controller = std::make_unique<PlayerController>();
        m_desktop->session().attachController(m_controller.get());

        QVERIFY(client().connect(service, path, properties, QStringLiteral("PropertiesChanged"), &m_listener,
                                 SLOT(propertiesChanged(QString, QVariantMap, QStringList))));
        QVERIFY(client().connect(service, path, player, QStringLiteral("Seeked"), &m_listener, SLOT(seeked(qlonglong))));
    }

    void cleanupTestCase()
    {
        m_desktop.reset();
        m_controller.reset();
        m_screenSaver.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("client"));
        m_store.reset();
        m_lab.reset();
    }

    void theRootInterface()
    {
        QCOMPARE(property(root, QStringLiteral("Identity")).toString(), QStringLiteral("MAVU"));
        QCOMPARE(property(root, QStringLiteral("DesktopEntry")).toString(), DesktopIntegration::applicationId());
        QCOMPARE(property(root, QStringLiteral("CanRaise")).toBool(), true);
        QCOMPARE(property(root, QStringLiteral("HasTrackList")).toBool(), false);
        QCOMPARE(property(root, QStringLiteral("SupportedUriSchemes")).toStringList(), QStringList());
        QCOMPARE(status(), QStringLiteral("Stopped"));
        QVERIFY(metadata().isEmpty());
        QCOMPARE(property(player, QStringLiteral("CanControl")).toBool(), true);
        QVERIFY(held().isEmpty());
    }

    void aPlayingMovie()
    {
        const MediaItem movie = playMovie();
        QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Playing"), 30000);
        QTRY_VERIFY_WITH_TIMEOUT(metadata().value(QStringLiteral("mpris:length")).toLongLong() > 0, 10000);
        const QVariantMap meta = metadata();
        QCOMPARE(meta.value(QStringLiteral("xesam:title")).toString(), movie.name);
        QCOMPARE(meta.value(QStringLiteral("mpris:artUrl")).toString(), movie.icon());
        // Near the lab's sixty seconds, in microseconds.
        QVERIFY2(qAbs(meta.value(QStringLiteral("mpris:length")).toLongLong() - 60'000'000) < 2'000'000,
                 qPrintable(meta.value(QStringLiteral("mpris:length")).toString()));
        QVERIFY(meta.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path().startsWith(QLatin1Char('/')));
        // The address carries the account's password: it never reaches the bus.
        for (const QVariant &value : meta)
            QVERIFY(!value.toString().contains(m_lab->password() + QLatin1Char('/')));
        QCOMPARE(property(player, QStringLiteral("CanSeek")).toBool(), true);
        QCOMPARE(property(player, QStringLiteral("CanPause")).toBool(), true);
        QTRY_VERIFY(position() > 0);

        QTRY_COMPARE(m_listener.last(QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Playing"));
        QCOMPARE(asMap(m_listener.last(QStringLiteral("Metadata"))).value(QStringLiteral("xesam:title")).toString(), movie.name);
        QTRY_COMPARE(held().size(), 1);
        QCOMPARE(m_screenSaver->service().applications().last(), QStringLiteral("MAVU"));
    }

    void playPauseReachesThePlayer()
    {
        QTRY_VERIFY(m_controller->isPlaying());
        callPlayer(QStringLiteral("PlayPause"));
        QTRY_VERIFY_WITH_TIMEOUT(!m_controller->isPlaying(), 10000);
        QTRY_COMPARE(status(), QStringLiteral("Paused"));
        QTRY_VERIFY(held().isEmpty());

        callPlayer(QStringLiteral("PlayPause"));
        QTRY_VERIFY_WITH_TIMEOUT(m_controller->isPlaying(), 10000);
        QTRY_COMPARE(status(), QStringLiteral("Playing"));
        QTRY_COMPARE(held().size(), 1);
    }

    void seekReachesThePlayer()
    {
        const qint64 before = m_controller->playerTime();
        m_listener.seeks.clear();
        callPlayer(QStringLiteral("Seek"), {qlonglong(20'000'000)});
        QTRY_VERIFY_WITH_TIMEOUT(m_controller->playerTime() >= before + 15'000, 10000);
        QTRY_COMPARE(m_listener.seeks.size(), 1);

        // To a position of this track; one named for another track is stale and ignored.
        const QDBusObjectPath track = metadata().value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>();
        callPlayer(QStringLiteral("SetPosition"), {QVariant::fromValue(QDBusObjectPath(QStringLiteral("/stale/track"))), qlonglong(1'000'000)});
        QTest::qWait(500);
        QVERIFY(m_controller->playerTime() >= before + 15'000);
        callPlayer(QStringLiteral("SetPosition"), {QVariant::fromValue(track), qlonglong(5'000'000)});
        QTRY_VERIFY_WITH_TIMEOUT(m_controller->playerTime() < 10'000, 10000);
        QTRY_VERIFY(qAbs(position() - 5'000'000) < 3'000'000);
        QTRY_COMPARE(m_listener.seeks.size(), 2);
        QTest::qWait(2500); // the player's clock getting there is no further seek
        QCOMPARE(m_listener.seeks.size(), 2);
        QVERIFY(qAbs(m_listener.seeks.first() - (before * 1000 + 20'000'000)) < 1'000'000);
        QCOMPARE(m_listener.seeks.last(), qlonglong(5'000'000));
    }

    // A stream that breaks stops the session and lets the screen sleep.
    void failureReleasesTheScreen()
    {
        QTRY_COMPARE(held().size(), 1);
        m_lab->setFault(QStringLiteral("movie"), Lab::Fault{.kind = Lab::Fault::Kind::notFound});
        playMovie(5);
        QTRY_VERIFY_WITH_TIMEOUT(m_controller->failed(), 30000);
        QTRY_COMPARE(status(), QStringLiteral("Stopped"));
        QTRY_VERIFY(held().isEmpty());
        m_lab->clearFaults();
    }

    void nextOnALiveChannel()
    {
        await(m_store->openSection(Section::live));
        QTRY_VERIFY(m_store->filteredItems().size() >= 3);
        const QList<MediaItem> channels = m_store->filteredItems();
        await(m_store->play(channels.at(0)));
        QTRY_COMPARE(metadata().value(QStringLiteral("xesam:title")).toString(), channels.at(0).name);
        QCOMPARE(property(player, QStringLiteral("CanGoPrevious")).toBool(), false);
        QCOMPARE(property(player, QStringLiteral("CanGoNext")).toBool(), true);
        QCOMPARE(property(player, QStringLiteral("CanSeek")).toBool(), false);

        callPlayer(QStringLiteral("Next"));
        QTRY_COMPARE(m_store->nowPlaying()->id, channels.at(1).id);
        QTRY_COMPARE(metadata().value(QStringLiteral("xesam:title")).toString(), channels.at(1).name);
        QTRY_COMPARE(m_listener.last(QStringLiteral("CanGoPrevious")).toBool(), true);
    }

    void stopEndsPlayback()
    {
        callPlayer(QStringLiteral("Stop"));
        QVERIFY(!m_store->hasNowPlaying());
        QTRY_VERIFY(metadata().isEmpty());
        QCOMPARE(status(), QStringLiteral("Stopped"));
    }

    // A second copy of the program stays reachable under a name of its own.
    void aSecondCopy()
    {
        QDBusConnection other = QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("second copy"));
        {
            DesktopIntegration second(*m_store, other);
            QVERIFY(second.mpris());
            QCOMPARE(second.mpris()->registeredName(),
                     service + QStringLiteral(".instance") + QString::number(QCoreApplication::applicationPid()));
            QVERIFY(nameOnBus(second.mpris()->registeredName()));
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("second copy"));
        QVERIFY(nameOnBus(service));
    }

    // The program ending while a stream plays lets the screen sleep and leaves the bus.
    void exitReleasesTheScreen()
    {
        playMovie();
        QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Playing"), 30000);
        QTRY_COMPARE(held().size(), 1);
        m_desktop.reset();
        QVERIFY(held().isEmpty()); // let go before the program goes on
        QTRY_VERIFY(!nameOnBus(service));
    }

    // Desktops serve the screen saver at one of two paths; the wish may change before the answer.
    void screenSaverPaths_data()
    {
        QTest::addColumn<QString>("servedAt");
        QTest::addColumn<bool>("changeOfMind");
        QTest::newRow("freedesktop path") << "/org/freedesktop/ScreenSaver" << false;
        QTest::newRow("short path") << "/ScreenSaver" << false;
        QTest::newRow("released before the answer came") << "/org/freedesktop/ScreenSaver" << true;
        QTest::newRow("short path, released before the answer came") << "/ScreenSaver" << true;
    }

    void screenSaverPaths()
    {
        QFETCH(QString, servedAt);
        QFETCH(bool, changeOfMind);
        m_screenSaver.reset();
        m_screenSaver = std::make_unique<ScreenSaverHost>(m_bus.address(), servedAt);
        QVERIFY(m_screenSaver->registered());
        ScreenSaverInhibitor inhibitor(QDBusConnection::sessionBus());
        inhibitor.setWanted(true);
        if (changeOfMind) {
            inhibitor.setWanted(false);
            QTest::qWait(300);
            QVERIFY(held().isEmpty());
            QVERIFY(!inhibitor.isHeld());
            // Where the first path answered, the hold granted late was handed back at once.
            QCOMPARE(m_screenSaver->service().applications().size(), servedAt == QLatin1String("/ScreenSaver") ? 0 : 1);
            return;
        }
        QTRY_VERIFY(inhibitor.isHeld());
        QCOMPARE(held().size(), 1);
        inhibitor.setWanted(false);
        QTRY_VERIFY(held().isEmpty());
        inhibitor.setWanted(true);
        QTRY_COMPARE(held().size(), 1);
    }

};

QTEST_MAIN(TestDesktopBus)
#include "tst_desktopbus.moc"
