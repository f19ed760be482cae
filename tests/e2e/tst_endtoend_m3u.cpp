#include "api/mavuapi.h"
#include "labserver.h"
#include "player/playercontroller.h"
#include "store/appstore.h"
#include "store/preferences.h"
#include "support/testsupport.h"
#include "testmedia.h"

#include <QtTest>

using TestSupport::await;

// A plain M3U list served by the lab, connected through the manual form's path and played
// through the real player: the list's own address, nothing asked of a provider.
class TestEndToEndM3u : public QObject
{
    Q_OBJECT

    TestSupport::TempFolder m_folder;
    std::unique_ptr<Lab::Server> m_lab;

private Q_SLOTS:
    void initTestCase()
    {
        TestMedia::useDummyAudio();
        m_lab = std::make_unique<Lab::Server>(Lab::Options{.seed = 7});
        QVERIFY(!m_lab->start().isEmpty());
        MavuAPI::testing::setDeviceServiceBase(m_lab->base());
    }

    void cleanupTestCase() { m_lab.reset(); }

    void connectsThePlainListAndPlaysAChannel()
    {
        AppStore store(std::make_shared<Preferences>(m_folder.file(QStringLiteral("mavu.ini"))));
        await(store.connect(Playlist::m3u(m_lab->base() + QStringLiteral("/lists/plain.m3u")), true));
        QVERIFY2(!store.hasConnectError(), qPrintable(store.connectError().value_or(QString())));
        QCOMPARE(store.phase(), AppStore::Phase::home);
        QVERIFY(!store.allLive().isEmpty());

        // Opening Live TV starts the first channel of the first group.
        await(store.openSection(Section::live));
        QVERIFY(store.selectedCategory());
        QVERIFY(!store.items().isEmpty());
        QTRY_VERIFY(store.nowPlayingURL());
        const QUrl url = *store.nowPlayingURL();
        QCOMPARE(url.host(), QUrl(m_lab->base()).host());

        PlayerController controller;
        controller.play(url, false);
        QTRY_VERIFY_WITH_TIMEOUT(controller.isPlaying(), 30000);
        QVERIFY(!controller.failed());
        controller.shutdown();
    }
};

QTEST_MAIN(TestEndToEndM3u)
#include "tst_endtoend_m3u.moc"
