#include "fakemediaplayer.h"
#include "resumestate.h"
#include "screenfixture.h"

#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(MavuPlugin)
Q_IMPORT_QML_PLUGIN(Mavu_CorePlugin)

namespace {

constexpr qint64 minute = 60000;

MediaItem movie()
{
    MediaItem item;
    item.id = QStringLiteral("42");
    item.name = QStringLiteral("The Long Film");
    item.kind = MediaItem::Kind::movie;
    item.containerExt = QStringLiteral("mkv");
    return item;
}

// A player screen's playback without the screen: the store against the fake provider, a
// scripted player and the state under test.
struct Rig
{
    Rig()
        : log(std::make_shared<FakeMediaPlayer::Log>())
    {
        auto fake = std::make_unique<FakeMediaPlayer>(log);
        player = fake.get();
        controller = std::make_unique<PlayerController>(std::move(fake));
        resume.setController(controller.get());
        resume.setStore(f.store.get());
        f.startAttached();
    }
    ~Rig() { controller->shutdown(); }

    void playMovie()
    {
        TestSupport::await(f.store->play(movie()));
        resume.play(f.store->qmlNowPlayingURL());
    }
    // The player got going and is now `atMs` into a film of 100 minutes.
    void playing(qint64 atMs)
    {
        player->setClock(atMs, 100 * minute);
        player->report(MediaPlayer::State::Playing, true);
    }
    std::optional<WatchEntry> kept(const QString &id = QStringLiteral("42"),
                                   const QString &kind = WatchEntry::movieKind) const
    {
        return f.store->positions()->find(kind, id);
    }
    void keep(qint64 positionMs)
    {
        WatchEntry entry = *f.store->nowPlayingWatchEntry();
        entry.positionMs = positionMs;
        entry.lengthMs = 100 * minute;
        f.store->positions()->record(entry);
    }

    ScreenFixture f;
    std::shared_ptr<FakeMediaPlayer::Log> log;
    FakeMediaPlayer *player = nullptr;
    std::unique_ptr<PlayerController> controller;
    ResumeState resume;
};

} // namespace

class TestResume : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { useSoftwareRendering(); }

    void savedOnEachOccasion_data()
    {
        QTest::addColumn<QString>("occasion");
        QTest::newRow("while playing") << QStringLiteral("tick");
        QTest::newRow("pause") << QStringLiteral("pause");
        QTest::newRow("leaving the player") << QStringLiteral("leave");
        QTest::newRow("the program ends") << QStringLiteral("quit");
    }
    void savedOnEachOccasion()
    {
        QFETCH(QString, occasion);
        Rig rig;
        rig.resume.setTiming(occasion == QLatin1String("tick") ? 50 : 3600000, ResumeState::noticeMs);
        rig.playMovie();
        rig.playing(20 * minute);
        QVERIFY(!rig.kept());
        if (occasion == QLatin1String("tick")) {
            QTRY_VERIFY(rig.kept());
            rig.player->setClock(21 * minute, 100 * minute);
            QTRY_COMPARE(rig.kept()->positionMs, 21 * minute);
        } else if (occasion == QLatin1String("pause")) {
            rig.player->report(MediaPlayer::State::Paused, false);
        } else if (occasion == QLatin1String("leave")) {
            rig.f.store->exitPlayer();
        } else {
            QVERIFY(QMetaObject::invokeMethod(qApp, "aboutToQuit"));
        }
        QVERIFY(rig.kept());
        QCOMPARE(rig.kept()->lengthMs, 100 * minute);
        if (occasion != QLatin1String("tick"))
            QCOMPARE(rig.kept()->positionMs, 20 * minute);
    }

    // What the player says when it has no clock to trust must not wipe a kept position; an end
    // reached does.
    void playerStates_data()
    {
        QTest::addColumn<MediaPlayer::State>("state");
        QTest::addColumn<qint64>("timeMs");
        QTest::addColumn<qint64>("expected"); // -1: no position kept
        QTest::newRow("failed") << MediaPlayer::State::Error << 0LL << 30 * minute;
        QTest::newRow("still opening") << MediaPlayer::State::Opening << 0LL << 30 * minute;
        QTest::newRow("stopped") << MediaPlayer::State::Stopped << 0LL << 30 * minute;
        QTest::newRow("buffering before a picture") << MediaPlayer::State::Buffering << 0LL << 30 * minute;
        QTest::newRow("ended") << MediaPlayer::State::Ended << 0LL << -1LL;
        QTest::newRow("started over") << MediaPlayer::State::Playing << 20000LL << -1LL;
    }
    void playerStates()
    {
        QFETCH(MediaPlayer::State, state);
        QFETCH(qint64, timeMs);
        QFETCH(qint64, expected);
        Rig rig;
        TestSupport::await(rig.f.store->play(movie()));
        rig.keep(30 * minute);
        rig.resume.play(rig.f.store->qmlNowPlayingURL());
        rig.player->setClock(timeMs, 100 * minute);
        rig.player->report(state, state == MediaPlayer::State::Playing);
        rig.f.store->exitPlayer();
        QCOMPARE(rig.kept() ? rig.kept()->positionMs : -1LL, expected);
    }

    void resumesWithANoticeAndStartsOver()
    {
        Rig rig;
        TestSupport::await(rig.f.store->play(movie()));
        rig.keep(41 * minute + 12000);
        rig.resume.play(rig.f.store->qmlNowPlayingURL());
        QCOMPARE(rig.log->opens.size(), 1);
        QCOMPARE(rig.log->opens.last().second.startMs, 41 * minute + 12000);
        QVERIFY(rig.resume.noticeShown());
        QCOMPARE(rig.resume.noticeText(), QStringLiteral("Resumed at 41:12"));

        rig.resume.startOver();
        QCOMPARE(rig.log->positions, QList<double>({0.0}));
        QVERIFY(!rig.resume.noticeShown());
    }

    void noticeGoesByItself()
    {
        Rig rig;
        rig.resume.setTiming(ResumeState::saveIntervalMs, 50);
        TestSupport::await(rig.f.store->play(movie()));
        rig.keep(61 * minute);
        rig.resume.play(rig.f.store->qmlNowPlayingURL());
        QCOMPARE(rig.resume.noticeText(), QStringLiteral("Resumed at 1:01:00"));
        QTRY_VERIFY(!rig.resume.noticeShown());
    }

    void liveChannelsKeepNothing_data()
    {
        QTest::addColumn<bool>("live");
        QTest::newRow("a live channel") << true;
        QTest::newRow("a first play") << false;
    }
    void liveChannelsKeepNothing()
    {
        QFETCH(bool, live);
        Rig rig;
        MediaItem item = movie();
        if (live)
            item.kind = MediaItem::Kind::live;
        TestSupport::await(rig.f.store->play(item));
        rig.resume.play(rig.f.store->qmlNowPlayingURL());
        QCOMPARE(rig.log->opens.last().second.startMs, qint64(0));
        QVERIFY(!rig.resume.noticeShown());
        rig.playing(20 * minute);
        rig.f.store->exitPlayer();
        QCOMPARE(rig.f.store->positions()->entries().isEmpty(), live);
    }

    // Episodes are kept with their show; a poster address that carries the password is not.
    void episodeKeptWithItsShow()
    {
        Rig rig;
        MediaItem show;
        show.id = QStringLiteral("9");
        show.setSeriesId(QStringLiteral("9"));
        show.kind = MediaItem::Kind::series;
        show.name = QStringLiteral("The Show");
        show.setIcon(rig.f.server.base() + QStringLiteral("/cover.jpg?password=pass"));
        Episode episode;
        episode.id = QStringLiteral("101");
        episode.title = QStringLiteral("Arrival");
        episode.season = 1;
        episode.episodeNum = 1;
        episode.containerExt = QStringLiteral("mp4");
        rig.f.store->playEpisode(episode, show);
        rig.resume.play(rig.f.store->qmlNowPlayingURL());
        rig.playing(10 * minute);

        Episode next = episode;
        next.id = QStringLiteral("102");
        rig.f.store->playEpisode(next, show); // the strip: the one left is kept first
        const auto kept = rig.kept(QStringLiteral("101"), WatchEntry::episodeKind);
        QVERIFY(kept);
        QCOMPARE(kept->seriesId, QStringLiteral("9"));
        QCOMPARE(kept->caption(), QStringLiteral("The Show · S1 E1"));
        QCOMPARE(kept->poster, QString());
    }
};

QTEST_MAIN(TestResume)
#include "tst_resume.moc"
