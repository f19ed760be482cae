#include "api/mavuapi.h"
#include "api/network.h"
#include "labserver.h"
#include "store/appstore.h"
#include "store/preferences.h"
#include "support/testsupport.h"

#include <QtTest>

#include <algorithm>
#include <memory>

using TestSupport::await;

// The store against an in-process mavu-lab: what a user does from the first start to a
// catch-up recording, over real HTTP.
class TestEndToEnd : public QObject
{
    Q_OBJECT

    TestSupport::TempFolder m_folder;
    std::unique_ptr<Lab::Server> m_lab;
    std::unique_ptr<AppStore> m_store;

    static MediaItem firstWith(const QList<MediaItem> &items, const std::function<bool(const MediaItem &)> &test)
    {
        const auto it = std::find_if(items.cbegin(), items.cend(), test);
        if (it == items.cend())
            qFatal("the lab's catalogue lacks an item the test needs");
        return *it;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_lab = std::make_unique<Lab::Server>(Lab::Options{.seed = 11});
        QVERIFY(!m_lab->start().isEmpty());
        MavuAPI::testing::setDeviceServiceBase(m_lab->base());
        m_store = std::make_unique<AppStore>(std::make_shared<Preferences>(m_folder.file(QStringLiteral("mavu.ini"))));
    }

    void cleanupTestCase()
    {
        m_store.reset();
        m_lab.reset();
    }

    void startUpAttachesTheLabsPlaylist()
    {
        await(m_store->start());
        QVERIFY(m_store->statusLoaded());
        QVERIFY(m_store->playlist());
        QCOMPARE(m_store->playlist()->host, m_lab->base());
        QCOMPARE(m_store->playlist()->username, m_lab->username());
        QCOMPARE(m_store->languages().size(), 3);
        QCOMPARE(m_store->themes().size(), 4);
        QVERIFY(m_store->currentThemeURL());
        QCOMPARE(m_store->phase(), AppStore::Phase::check);
    }

    void startOpensHomeWithBothRows()
    {
        await(m_store->enterBrowse());
        QCOMPARE(m_store->phase(), AppStore::Phase::home);
        QCOMPARE(m_store->latestMovies().size(), 10);
        QVERIFY(!m_store->latestSeries().isEmpty());
        QVERIFY(!m_store->allVods().isEmpty());
        QTRY_VERIFY(m_store->playlistExpTs().has_value());
        QCOMPARE(*m_store->playlistExpTs(), m_lab->expiresAt());
        QVERIFY2(m_store->expiryText().contains(QStringLiteral("days left")), qPrintable(m_store->expiryText()));
    }

    // Each section lists its categories (pseudo-categories first) and the first real one's items.
    void sections_data()
    {
        QTest::addColumn<Section>("section");
        QTest::newRow("live") << Section::live;
        QTest::newRow("movies") << Section::movies;
        QTest::newRow("series") << Section::series;
    }

    void sections()
    {
        QFETCH(Section, section);
        await(m_store->openSection(section));
        QCOMPARE(m_store->phase(), AppStore::Phase::section);
        QVERIFY(m_store->categories().size() > 2);
        QCOMPARE(m_store->categories().at(0).id, QStringLiteral("__fav__"));
        QVERIFY(m_store->selectedCategory());
        QTRY_VERIFY(!m_store->items().isEmpty());
        for (const MediaItem &item : m_store->items())
            QCOMPARE(item.categoryId, m_store->selectedCategory()->id);
    }

    void aLiveChannelPlaysWithItsGuide()
    {
        await(m_store->openSection(Section::live));
        const MediaItem channel = firstWith(m_store->allLive(), [](const MediaItem &item) { return item.tvArchive; });
        await(m_store->play(channel));
        QCOMPARE(m_store->nowPlaying()->id, channel.id);
        QCOMPARE(m_store->nowPlayingURL()->path(),
                 QStringLiteral("/live/%1/%2/%3.ts").arg(m_lab->username(), m_lab->password(), channel.id));
        QTRY_VERIFY(!m_store->epgNowNext().isEmpty());
        QVERIFY(m_store->epgNowNext().size() <= 4);
        QVERIFY(!m_store->epgNowNext().first().title.isEmpty());
    }

    void catchupOfThatChannelAnswersRealMedia()
    {
        QVERIFY(m_store->nowPlaying() && m_store->nowPlaying()->tvArchive);
        await(m_store->openCatchup());
        QVERIFY(m_store->catchupOpen());
        QVERIFY(!m_store->catchupDays().isEmpty());
        QCOMPARE(m_store->selectedCatchupDay(), std::optional(m_store->catchupDays().last()));
        const QList<EpgProgram> day = m_store->catchupDayPrograms();
        QVERIFY(!day.isEmpty());

        m_store->playCatchup(day.first());
        QVERIFY(m_store->catchupURLBuilder());
        const QUrl address = *m_store->nowPlayingURL();
        QVERIFY(address.path().startsWith(QStringLiteral("/timeshift/")));
        const auto fetched = await(Network::get(address));
        QVERIFY(fetched);
        const QByteArray playlist = fetched->body;
        QVERIFY(playlist.startsWith("#EXTM3U"));
        QByteArray segment;
        for (const QByteArray &line : playlist.split('\n')) {
            if (segment.isEmpty() && !line.startsWith('#') && !line.trimmed().isEmpty())
                segment = line.trimmed();
        }
        QVERIFY(!segment.isEmpty());
        const auto media = await(Network::get(address.resolved(QUrl(QString::fromLatin1(segment)))));
        QVERIFY(media && media->body.size() > 188);
        QCOMPARE(media->body.at(0), char(0x47)); // an MPEG-TS packet

        m_store->exitPlayer();
        QVERIFY(m_store->nowPlayingURL()->path().startsWith(QStringLiteral("/live/")));
    }

    void movieAndShowDetails()
    {
        const MediaItem movie = m_store->allVods().first();
        await(m_store->openDetail(movie));
        QVERIFY(m_store->vodInfo());
        QVERIFY(!m_store->vodInfo()->plot.isEmpty());

        const MediaItem show = firstWith(m_store->allSeries(), [](const MediaItem &) { return true; });
        await(m_store->openDetail(show));
        QVERIFY(!m_store->seasons().isEmpty());
        QVERIFY(!m_store->episodes().isEmpty());
        QVERIFY(m_store->selectedSeason());
        QVERIFY(!m_store->seasonEpisodes().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
