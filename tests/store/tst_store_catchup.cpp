// The catch-up archive of the channel playing and the addresses of past programmes.
#include "storefixture.h"

#include <QSignalSpy>
#include <ctime>
#include <QtTest>

using namespace StoreTest;

namespace {

MediaItem archiveChannel(qint64 archiveDays = 2, bool archive = true)
{
    return MediaItem{.id = "42", .name = "Cinema", .kind = MediaItem::Kind::live, .containerExt = "ts",
                     .tvArchive = archive, .archiveDays = archiveDays};
}

EpgProgram program(const QString &start, double lengthSeconds, const QString &title = QStringLiteral("Film"))
{
    const QDateTime at = QDateTime::fromString(start, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const double from = at.isValid() ? double(at.toSecsSinceEpoch()) : 1e9;
    return EpgProgram{.id = "p" + start, .title = title, .start = start, .startTs = from, .stopTs = from + lengthSeconds};
}

// The part of a timeshift address after "/timeshift/user/pass/".
QString tail(const std::optional<QUrl> &url)
{
    if (!url)
        return QStringLiteral("nothing");
    const QString path = url->path();
    const QString prefix = QStringLiteral("/timeshift/user/pass/");
    return path.startsWith(prefix) ? path.mid(prefix.size()) : path;
}

} // namespace

class TestStoreCatchup : public QObject
{
    Q_OBJECT

    std::unique_ptr<Fixture> f;

    std::unique_ptr<AppStore> playingChannel(const MediaItem &channel = archiveChannel())
    {
        auto store = f->startedStore(f->playlist());
        await(store->play(channel));
        return store;
    }

private Q_SLOTS:
    void init() { f = std::make_unique<Fixture>(); }
    void cleanup() { f.reset(); }

    void catchupAddress_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<double>("length");
        QTest::addColumn<QString>("expected");
        QTest::newRow("20:15 to 21:00") << "2024-05-01 20:15:00" << 2700.0 << "45/2024-05-01:20-15/42.m3u8";
        QTest::newRow("shorter than a minute") << "2024-05-01 20:15:00" << 59.0 << "1/2024-05-01:20-15/42.m3u8";
        QTest::newRow("stop before start") << "2024-05-01 20:15:00" << -600.0 << "1/2024-05-01:20-15/42.m3u8";
        QTest::newRow("minutes truncated") << "2024-05-01 20:15:00" << 2759.0 << "45/2024-05-01:20-15/42.m3u8";
        QTest::newRow("start without time") << "2024-05-01" << 600.0 << "10/2024-05-01:2024-05-01/42.m3u8";
    }

    void catchupAddress()
    {
        QFETCH(QString, start);
        QFETCH(double, length);
        QFETCH(QString, expected);
        auto store = playingChannel();
        const EpgProgram past = program(start, length, QStringLiteral("Late Show"));
        store->playCatchup(past);
        QCOMPARE(tail(store->nowPlayingURL()), expected);
        QCOMPARE(store->nowPlayingURL()->host(), QStringLiteral("127.0.0.1"));
        QCOMPARE(store->nowPlayingTitle(), QString::fromUtf8("Cinema — Late Show"));
        QCOMPARE(store->catchupDurationSec(), expected.section('/', 0, 0).toDouble() * 60);
        QCOMPARE(store->nowPlaying()->id, QStringLiteral("42"));
        QVERIFY(store->recents(Section::live) == QStringList{"42"}); // the channel, not the programme
        QCOMPARE(store->buildCatchupURL(0), *store->nowPlayingURL());
    }

    void laterStartPoints_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<double>("length");
        QTest::addColumn<int>("offset");
        QTest::addColumn<QString>("expected");
        QTest::newRow("offset 10") << "2024-05-01 20:15:00" << 2700.0 << 10 << "35/2024-05-01:20-25/42.m3u8";
        QTest::newRow("offset 50, duration floor") << "2024-05-01 20:15:00" << 2700.0 << 50 << "1/2024-05-01:21-05/42.m3u8";
        QTest::newRow("exactly midnight") << "2024-05-01 23:50:00" << 3600.0 << 10 << "50/2024-05-02:00-00/42.m3u8";
        QTest::newRow("across midnight") << "2024-05-01 23:50:00" << 3600.0 << 20 << "40/2024-05-02:00-10/42.m3u8";
        QTest::newRow("across the year") << "2024-12-31 23:30:00" << 3600.0 << 45 << "15/2025-01-01:00-15/42.m3u8";
        QTest::newRow("unreadable date still wraps the time") << "2024-13-45 23:50:00" << 3600.0 << 20 << "40/2024-13-45:00-10/42.m3u8";
        QTest::newRow("time that does not read") << "2024-05-01 ab:cd:00" << 3600.0 << 5 << "nothing";
        QTest::newRow("no date and time") << "tonight" << 3600.0 << 5 << "nothing";
    }

    void laterStartPoints()
    {
        QFETCH(QString, start);
        QFETCH(double, length);
        QFETCH(int, offset);
        QFETCH(QString, expected);
        auto store = playingChannel();
        store->playCatchup(program(start, length));
        QVERIFY(store->hasCatchupURLBuilder());
        const QUrl playing = *store->nowPlayingURL();
        QCOMPARE(tail(store->catchupURLBuilder()(offset)), expected);
        QCOMPARE(store->buildCatchupURL(offset).isEmpty(), expected == QLatin1String("nothing"));
        QCOMPARE(*store->nowPlayingURL(), playing); // building changes nothing
    }

    // The day the clocks go back has 25 hours; the next day is still the next date.
    void nextDayAcrossAClockChange()
    {
        const QByteArray saved = qgetenv("TZ");
        qputenv("TZ", "Europe/Berlin");
        tzset();
        auto store = playingChannel();
        store->playCatchup(program("2024-10-27 23:50:00", 3600));
        const QString tailText = tail(store->catchupURLBuilder()(20));
        saved.isNull() ? qunsetenv("TZ") : qputenv("TZ", saved);
        tzset();
        QCOMPARE(tailText, QStringLiteral("40/2024-10-28:00-10/42.m3u8"));
    }

    void builderOutlivingTheStoreAnswersNothing()
    {
        auto store = playingChannel();
        store->playCatchup(program("2024-05-01 20:15:00", 2700));
        const AppStore::CatchupURLBuilder builder = store->catchupURLBuilder();
        QVERIFY(builder(10));
        store.reset();
        QVERIFY(!builder(10));
    }

    void archiveWindow_data()
    {
        QTest::addColumn<int>("archiveDays");
        QTest::addColumn<QList<double>>("hoursAgo");
        QTest::addColumn<QStringList>("kept"); // titles, oldest first
        QTest::newRow("0 days count as one")
            << 0 << QList<double>{23.5, 25, -1, 10.0 / 60} << QStringList{"23.5", "0.166667"};
        QTest::newRow("two days") << 2 << QList<double>{49, 47, 0} << QStringList{"47", "0"};
        QTest::newRow("future only") << 2 << QList<double>{-0.5} << QStringList();
    }

    void archiveWindow()
    {
        QFETCH(int, archiveDays);
        QFETCH(QList<double>, hoursAgo);
        QFETCH(QStringList, kept);
        QList<Program> guide;
        for (double hours : hoursAgo)
            guide.append(programAgo(QString::number(hours), hours));
        guide.append(Program{"no start", "1970-01-01 00:00:00", 0, 60});
        f->serve("get_simple_data_table", guideJson(guide));
        auto store = playingChannel(archiveChannel(archiveDays));

        QSignalSpy loading(store.get(), &AppStore::loadingCatchupChanged);
        await(store->openCatchup());
        QCOMPARE(loading.count(), 2);
        QVERIFY(store->catchupOpen());
        QStringList titles;
        for (const EpgProgram &past : store->catchupPrograms())
            titles.append(past.title);
        QCOMPARE(titles, kept);
        QCOMPARE(store->hasSelectedCatchupDay(), !kept.isEmpty());
    }

    void days()
    {
        f->serve("get_simple_data_table",
                 guideJson({programAgo("three", 0.5), programAgo("one", 49), programAgo("two", 25), programAgo("one b", 48.5)}));
        auto store = playingChannel(archiveChannel(3));
        await(store->openCatchup());
        const auto day = [](double hoursAgo) {
            return QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch() - qint64(hoursAgo * 3600)).toString("yyyy-MM-dd");
        };
        QStringList expected{day(49), day(48.5), day(25), day(0.5)};
        expected.removeDuplicates();
        QCOMPARE(store->catchupDays(), expected);
        QCOMPARE(store->selectedCatchupDay(), std::optional(expected.last()));

        QSignalSpy dayPrograms(store.get(), &AppStore::catchupDayProgramsChanged);
        store->setSelectedCatchupDay(day(49));
        QVERIFY(!store->catchupDayPrograms().isEmpty());
        for (const EpgProgram &past : store->catchupDayPrograms())
            QVERIFY(past.start.startsWith(day(49)));
        QCOMPARE(store->catchupDayPrograms()[0].title, QStringLiteral("one"));
        QCOMPARE(dayPrograms.count(), 1);

        store->setCatchupOpen(false); // closing keeps the lists
        QCOMPARE(store->catchupDays(), expected);
    }

    void catchupNeedsAnArchivedChannel_data()
    {
        QTest::addColumn<int>("playing"); // 0 nothing, 1 channel without archive, 2 a movie
        QTest::newRow("nothing playing") << 0;
        QTest::newRow("no archive") << 1;
        QTest::newRow("a movie") << 2;
    }

    void catchupNeedsAnArchivedChannel()
    {
        QFETCH(int, playing);
        auto store = f->startedStore(f->playlist());
        if (playing == 1)
            await(store->play(archiveChannel(2, false)));
        if (playing == 2)
            await(store->play(MediaItem{.id = "m", .kind = MediaItem::Kind::movie, .containerExt = "mp4"}));
        await(store->openCatchup());
        store->playCatchup(program("2024-05-01 20:15:00", 600));
        QVERIFY(!store->catchupOpen());
        QCOMPARE(f->requestsFor("get_simple_data_table"), 0);
        QCOMPARE(store->hasCatchupURLBuilder(), playing == 1); // a channel without archive may still replay
    }
};

QTEST_GUILESS_MAIN(TestStoreCatchup)
#include "tst_store_catchup.moc"
