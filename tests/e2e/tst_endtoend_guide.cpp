#include "api/mavuapi.h"
#include "labserver.h"
#include "store/appstore.h"
#include "store/guidegridmodel.h"
#include "store/preferences.h"
#include "support/testsupport.h"

#include <QtTest>

#include <algorithm>
#include <memory>

using TestSupport::await;

// The full guide against an in-process mavu-lab: connecting imports the lab's XMLTV guide,
// which then answers with the same programmes the provider's own guide action gives, and the
// grid plays a past programme through the store's catch-up addresses.
class TestEndToEndGuide : public QObject
{
    Q_OBJECT

    TestSupport::TempFolder m_folder;
    std::unique_ptr<Lab::Server> m_lab;
    std::unique_ptr<AppStore> m_store;

private Q_SLOTS:
    void initTestCase()
    {
        m_lab = std::make_unique<Lab::Server>(Lab::Options{.seed = 11});
        QVERIFY(!m_lab->start().isEmpty());
        MavuAPI::testing::setDeviceServiceBase(m_lab->base());
        m_store = std::make_unique<AppStore>(std::make_shared<Preferences>(m_folder.file(QStringLiteral("mavu.ini"))));
        m_store->guide()->setCacheFolder(m_folder.file(QStringLiteral("cache")));
        m_store->guide()->setAutomaticImport(true);
    }

    void cleanupTestCase()
    {
        m_store.reset();
        m_lab.reset();
    }

    void connectingImportsTheGuide()
    {
        ProgramGuide *guide = m_store->guide();
        await(m_store->start());
        QVERIFY(!guide->hasLastImport());
        await(m_store->enterBrowse());
        QTRY_VERIFY_WITH_TIMEOUT(guide->hasLastImport(), 30000);
        QVERIFY(!guide->importing());
        QVERIFY(!guide->hasFailure());
        QCOMPARE(m_lab->requestCount(QStringLiteral("xmltv")), 1);
        // The live catalogue it needed is the store's now, fetched once.
        QVERIFY(!m_store->allLive().isEmpty());
        QCOMPARE(m_lab->requestCount(QStringLiteral("get_live_streams")), 1);
    }

    void theSameProgrammesAsTheProviderGuide()
    {
        const QList<MediaItem> &live = m_store->allLive();
        int compared = 0;
        for (const MediaItem &channel : live) {
            if (channel.epgChannelId.isEmpty() || !channel.tvArchive || compared >= 5)
                continue;
            ++compared;
            const QList<EpgProgram> table = await(MavuAPI::fullEPG(*m_store->playlist(), channel.id)).value();
            QVERIFY(!table.isEmpty());
            // The guide's window: from the start of what both hold to the table's end.
            const qint64 from = std::max<qint64>(qint64(table.first().startTs), QDateTime::currentSecsSinceEpoch() - 86400);
            const qint64 to = qint64(table.last().stopTs);
            const GuideWindow window = await(m_store->guide()->programs({channel.epgChannelId}, from, to));
            QList<EpgProgram> expected;
            for (const EpgProgram &program : table) {
                if (program.stopTs > from && program.startTs < to)
                    expected.append(program);
            }
            const QList<GuideProgram> &stored = window.rows.value(0);
            QCOMPARE(stored.size(), expected.size());
            for (qsizetype i = 0; i < stored.size(); ++i) {
                const EpgProgram asEpg = stored[i].toEpgProgram(channel.epgChannelId);
                QCOMPARE(asEpg.title, expected[i].title);
                QCOMPARE(asEpg.startTs, expected[i].startTs);
                QCOMPARE(asEpg.stopTs, expected[i].stopTs);
                QCOMPARE(asEpg.start, expected[i].start);
                QCOMPARE(asEpg.end, expected[i].end);
            }
            const auto details = await(m_store->guide()->details(channel.epgChannelId, stored.first().start));
            QVERIFY(details);
            QCOMPARE(details->desc, expected.first().desc);
        }
        QCOMPARE(compared, 5);
    }

    void aPastProgrammePlaysFromTheGrid()
    {
        GuideGridModel *grid = m_store->guide()->grid();
        QList<MediaItem> channels;
        for (const MediaItem &channel : m_store->allLive()) {
            if (channel.tvArchive && !channel.epgChannelId.isEmpty())
                channels.append(channel);
        }
        grid->setChannels(channels);
        grid->setViewport(0, 5, grid->nowX() - 800, grid->nowX() + 400);
        QTRY_VERIFY(grid->hasFocusedProgram());
        grid->moveFocus(GuideGridModel::Key::Left);
        const GuideProgram past = grid->focusedProgram();
        QVERIFY(past.stop <= QDateTime::currentSecsSinceEpoch());
        grid->activate();

        QCOMPARE(m_store->nowPlaying()->id, channels.first().id);
        const QUrl address = m_store->nowPlayingURL().value_or(QUrl());
        const QString startText = AppStore::catchupStartText(past.toEpgProgram(channels.first().epgChannelId));
        QVERIFY2(address.path().contains(QStringLiteral("/") + startText + QStringLiteral("/")), qPrintable(address.toString()));
        QVERIFY(m_store->catchupURLBuilder());
        m_store->exitPlayer();
        QVERIFY(m_store->nowPlayingURL()->path().startsWith(QStringLiteral("/live/")));
    }
};

QTEST_GUILESS_MAIN(TestEndToEndGuide)
#include "tst_endtoend_guide.moc"
