// The media session over a store against the fake provider and a scripted player: what the
// desktop is told is playing, and what its commands do.
#include "desktop/desktopintegration.h"
#include "desktop/mediasession.h"
#include "fakemediaplayer.h"
#include "player/playercontroller.h"
#include "store/storefixture.h"

#include <QSignalSpy>
#include <QtTest>

using namespace StoreTest;
using Status = MediaSession::Status;
using State = MediaPlayer::State;

namespace {

const QString poster = QStringLiteral("http://images.test/poster.jpg");

MediaItem movie(const QString &id, const QString &icon = poster)
{
    MediaItem item{.id = id, .name = "Movie " + id, .kind = MediaItem::Kind::movie, .containerExt = "mp4"};
    item.setIcon(icon);
    return item;
}

MediaItem channel(const QString &id)
{
    MediaItem item{.id = id, .name = "Channel " + id, .kind = MediaItem::Kind::live, .containerExt = "ts"};
    item.setIcon(QStringLiteral("https://images.test/logo-%1.png").arg(id));
    return item;
}

MediaItem show(const QString &id)
{
    MediaItem item{.id = id, .name = "Show " + id, .kind = MediaItem::Kind::series};
    item.setIcon(poster);
    item.setSeriesId(id);
    return item;
}

// Two seasons, listed out of order as providers do: 2×2, 1×1, 2×1.
QByteArray seriesInfoJson()
{
    const auto episode = [](const char *id, int number, const char *title) {
        return QJsonObject{{"id", id}, {"title", title}, {"episode_num", number}, {"container_extension", "mkv"}};
    };
    return compact(QJsonObject{
        {"seasons", QJsonArray{QJsonObject{{"season_number", 1}, {"name", "One"}}, QJsonObject{{"season_number", 2}, {"name", "Two"}}}},
        {"episodes", QJsonObject{{"2", QJsonArray{episode("202", 2, "Finale"), episode("201", 1, "Return")}},
                                 {"1", QJsonArray{episode("101", 1, "Pilot")}}}}});
}

} // namespace

class TestMediaSession : public QObject
{
    Q_OBJECT

    std::unique_ptr<Fixture> f;
    std::unique_ptr<AppStore> store;
    std::unique_ptr<MediaSession> session;

    // A full-window player over a scripted media player, attached to the session.
    struct Player
    {
        PlayerController *controller;
        FakeMediaPlayer *media;
    };

    Player attachPlayer(QObject *owner)
    {
        auto media = std::make_unique<FakeMediaPlayer>();
        media->setHasMedia(true);
        FakeMediaPlayer *raw = media.get();
        auto *controller = new PlayerController(std::move(media), owner);
        session->attachController(controller);
        return {controller, raw};
    }

    Status status() const { return session->state().status; }

    // The live section with channels c1, c2, c3 in the list.
    void openChannels()
    {
        f->serve("get_live_streams", channelsJson({{.id = "c1", .name = "One"}, {.id = "c2", .name = "Two"}, {.id = "c3", .name = "Three"}}));
        await(store->openSection(Section::live));
        QTRY_COMPARE(idsOf(store->filteredItems()), (QStringList{"c1", "c2", "c3"}));
    }

    void openShow()
    {
        f->serve("get_series_info", seriesInfoJson());
        await(store->openDetail(show("s")));
        QCOMPARE(store->episodes().size(), 3);
    }

private Q_SLOTS:
    void init()
    {
        f = std::make_unique<Fixture>();
        f->serve("get_short_epg", guideJson({programAgo("Evening news", 0.2), programAgo("Weather", -0.3)}));
        store = f->startedStore(f->playlist());
        session = std::make_unique<MediaSession>(*store);
    }

    void cleanup()
    {
        session.reset();
        store.reset();
        f.reset();
    }

    void statusFollowsThePlayer_data()
    {
        QTest::addColumn<QList<State>>("reports");
        QTest::addColumn<Status>("expected");
        QTest::newRow("opening is on its way to play") << QList{State::Opening} << Status::Playing;
        QTest::newRow("buffering while playing") << QList{State::Playing, State::Buffering} << Status::Playing;
        QTest::newRow("paused") << QList{State::Playing, State::Paused} << Status::Paused;
        QTest::newRow("a new track keeps the pause") << QList{State::Paused, State::TrackAdded} << Status::Paused;
        QTest::newRow("ended") << QList{State::Playing, State::Ended} << Status::Stopped;
        QTest::newRow("failed") << QList{State::Playing, State::Error} << Status::Stopped;
    }

    void statusFollowsThePlayer()
    {
        QFETCH(QList<State>, reports);
        QFETCH(Status, expected);
        await(store->play(movie("1")));
        QObject screen;
        const Player player = attachPlayer(&screen);
        for (State state : reports)
            player.media->report(state, state == State::Playing);
        QTRY_COMPARE(status(), expected);
    }

    void trackOfWhatPlays_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("album");
        QTest::addColumn<QStringList>("artists");
        QTest::addColumn<QString>("art");
        QTest::addColumn<bool>("seekable"); // with a length and the position in the player's hands

        QTest::newRow("movie") << "movie" << "Movie 1" << "" << QStringList() << poster << true;
        QTest::newRow("movie with a local icon: no art") << "movie without web art" << "Movie 2" << "" << QStringList() << "" << true;
        QTest::newRow("episode: its own picture, the show as album")
            << "episode" << "Pilot" << "Show s" << QStringList{"Show s"} << "https://images.test/pilot.jpg" << true;
        QTest::newRow("live: the programme on now") << "live" << "Channel c1" << "" << QStringList{"Evening news"}
                                                    << "https://images.test/logo-c1.png" << false;
        QTest::newRow("catch-up: the channel") << "catch-up" << QString::fromUtf8("Channel c1 — Old film") << ""
                                               << QStringList{"Channel c1"} << "https://images.test/logo-c1.png" << false;
    }

    void trackOfWhatPlays()
    {
        QFETCH(QString, what);
        QFETCH(QString, title);
        QFETCH(QString, album);
        QFETCH(QStringList, artists);
        QFETCH(QString, art);
        QFETCH(bool, seekable);

        if (what == QLatin1String("movie")) {
            await(store->play(movie("1")));
        } else if (what == QLatin1String("movie without web art")) {
            await(store->play(movie("2", QStringLiteral("file:///etc/passwd"))));
        } else if (what == QLatin1String("episode")) {
            store->playEpisode(Episode{.id = "101", .title = "Pilot", .containerExt = "mkv", .image = "https://images.test/pilot.jpg"},
                               show("s"));
        } else {
            await(store->play(channel("c1")));
            QTRY_VERIFY(!store->epgNowNext().isEmpty());
            if (what == QLatin1String("catch-up"))
                store->playCatchup(programAgo("Old film", 5, 90));
        }
        QObject screen;
        const Player player = attachPlayer(&screen);
        player.media->setClock(5000, 3600000);
        player.media->report(State::Playing, true);

        QTRY_COMPARE(status(), Status::Playing);
        QCOMPARE(session->state().track.title, title);
        const MediaSession::Track &track = session->state().track;
        QCOMPARE(track.album, album);
        QCOMPARE(track.artists, artists);
        QCOMPARE(track.artUrl, QUrl(art));
        QCOMPARE(track.lengthUs, seekable ? qint64(3600000) * 1000 : 0);
        QCOMPARE(session->state().canSeek, seekable);
        QVERIFY(track.id.startsWith(QLatin1Char('/')));
    }

    void nextAndPreviousChannel_data()
    {
        QTest::addColumn<QString>("playing");
        QTest::addColumn<bool>("canPrevious");
        QTest::addColumn<bool>("canNext");
        QTest::addColumn<QString>("afterNext");
        QTest::addColumn<QString>("afterPrevious");
        QTest::newRow("first") << "c1" << false << true << "c2" << "c1";
        QTest::newRow("middle") << "c2" << true << true << "c3" << "c1";
        QTest::newRow("last") << "c3" << true << false << "c3" << "c2";
        QTest::newRow("not in the list") << "c9" << false << false << "c9" << "c9";
    }

    void nextAndPreviousChannel()
    {
        QFETCH(QString, playing);
        QFETCH(bool, canPrevious);
        QFETCH(bool, canNext);
        QFETCH(QString, afterNext);
        QFETCH(QString, afterPrevious);
        openChannels();
        const MediaItem start = store->filteredItems().value(QStringList{"c1", "c2", "c3"}.indexOf(playing), channel(playing));
        await(store->play(start));
        QTRY_COMPARE(session->state().canGoNext, canNext);
        QCOMPARE(session->state().canGoPrevious, canPrevious);

        session->next();
        QTRY_COMPARE(store->nowPlaying()->id, afterNext);
        await(store->play(start));
        session->previous();
        QTRY_COMPARE(store->nowPlaying()->id, afterPrevious);
        QCOMPARE(store->nowPlaying()->isLive(), true);
    }

    // A catch-up recording has no neighbours, even beside channels in the list.
    void noNeighboursInCatchup()
    {
        openChannels();
        await(store->play(store->filteredItems().at(1)));
        store->playCatchup(programAgo("Old film", 5, 90));
        QTRY_VERIFY(session->state().track.title.contains(QStringLiteral("Old film")));
        QVERIFY(!session->state().canGoNext);
        QVERIFY(!session->state().canGoPrevious);
        session->next();
        QVERIFY(store->hasCatchupURLBuilder());
    }

    void nextAndPreviousEpisode_data()
    {
        QTest::addColumn<QString>("playing");
        QTest::addColumn<int>("step");
        QTest::addColumn<QString>("expected"); // empty: nothing changes
        QTest::addColumn<qint64>("season");    // selected afterwards
        QTest::newRow("into the next season") << "101" << 1 << "201" << qint64(2);
        QTest::newRow("within a season, listed out of order") << "201" << 1 << "202" << qint64(2);
        QTest::newRow("back into the previous season") << "201" << -1 << "101" << qint64(1);
        QTest::newRow("after the last") << "202" << 1 << "" << qint64(1);
        QTest::newRow("before the first") << "101" << -1 << "" << qint64(1);
    }

    void nextAndPreviousEpisode()
    {
        QFETCH(QString, playing);
        QFETCH(int, step);
        QFETCH(QString, expected);
        QFETCH(qint64, season);
        openShow();
        const auto &episodes = store->episodes();
        const auto current = std::find_if(episodes.cbegin(), episodes.cend(), [&](const Episode &e) { return e.id == playing; });
        store->playEpisode(*current, *store->detailItem());
        QTRY_COMPARE(session->state().track.title, current->title);
        QCOMPARE(step > 0 ? session->state().canGoNext : session->state().canGoPrevious, !expected.isEmpty());

        step > 0 ? session->next() : session->previous();
        QCOMPARE(store->nowPlayingEpisode()->id, expected.isEmpty() ? playing : expected);
        QCOMPARE(store->nowPlaying()->id, QStringLiteral("s"));
        QCOMPARE(store->selectedSeason()->id, season);
    }

    void seeking_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<qint64>("value");     // µs
        QTest::addColumn<QList<qint64>>("set"); // ms the player was asked for
        QTest::addColumn<int>("seeked");       // Seeked announcements
        QTest::newRow("forward") << "by" << qint64(30'000'000) << QList<qint64>{40'000} << 1;
        QTest::newRow("back beyond the start") << "by" << qint64(-60'000'000) << QList<qint64>{0} << 1;
        QTest::newRow("past the end: next, nothing here") << "by" << qint64(200'000'000) << QList<qint64>{} << 0;
        QTest::newRow("to a position") << "to" << qint64(90'000'000) << QList<qint64>{90'000} << 1;
        QTest::newRow("to the end") << "to" << qint64(120'000'000) << QList<qint64>{120'000} << 1;
        QTest::newRow("to before the start") << "to" << qint64(-1) << QList<qint64>{} << 0;
        QTest::newRow("to beyond the end") << "to" << qint64(120'000'001) << QList<qint64>{} << 0;
        QTest::newRow("for another track") << "stale" << qint64(10'000'000) << QList<qint64>{} << 0;
    }

    void seeking()
    {
        QFETCH(QString, how);
        QFETCH(qint64, value);
        QFETCH(QList<qint64>, set);
        QFETCH(int, seeked);
        await(store->play(movie("1")));
        QObject screen;
        const Player player = attachPlayer(&screen);
        player.media->setClock(10'000, 120'000);
        player.media->report(State::Playing, true);
        QTRY_VERIFY(session->state().canSeek);
        QSignalSpy announced(session.get(), &MediaSession::seeked);

        if (how == QLatin1String("by"))
            session->seekBy(value);
        else
            session->setPosition(how == QLatin1String("stale") ? QStringLiteral("/old/track") : session->state().track.id, value);
        QCOMPARE(player.media->log().times, set);
        QCOMPARE(announced.count(), seeked);
        if (seeked)
            QCOMPARE(announced.first().first().toLongLong(), set.first() * 1000);
    }

    // A seek made in the player screen is announced too.
    void jumpsOfThePlayersClockAreSeeks()
    {
        await(store->play(movie("1")));
        QObject screen;
        const Player player = attachPlayer(&screen);
        player.media->setClock(30'000, 120'000);
        player.media->report(State::Playing, true);
        QSignalSpy announced(session.get(), &MediaSession::seeked);
        QTest::qWait(1200); // one look at the clock
        player.media->setClock(5'000, 120'000);
        QTRY_COMPARE_WITH_TIMEOUT(announced.count(), 1, 3000);
        QCOMPARE(announced.first().first().toLongLong(), qint64(5'000'000));
    }

    // The latest registration is followed; going away hands back to the one before.
    void latestPlayerIsFollowed()
    {
        await(store->play(movie("1")));
        QObject previewScreen;
        const Player preview = attachPlayer(&previewScreen);
        preview.media->report(State::Paused, false);
        QTRY_COMPARE(status(), Status::Paused);

        auto fullScreen = std::make_unique<QObject>();
        const Player full = attachPlayer(fullScreen.get());
        full.media->report(State::Playing, true);
        QTRY_COMPARE(status(), Status::Playing);
        preview.media->report(State::Ended, false); // not the one followed
        session->pause();
        QCOMPARE(full.media->log().pauses, 1);
        QCOMPARE(preview.media->log().pauses, 0);

        fullScreen.reset();
        QTRY_COMPARE(status(), Status::Stopped); // the preview ended meanwhile
        session->detach(preview.controller);
        session->play();
        QCOMPARE(preview.media->log().plays, 0);
        QVERIFY(!session->state().canPlay);
    }

    // Without a session bus the program runs as ever: no service, no complaint.
    void noBusNoService()
    {
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
        DesktopIntegration desktop(*store, QDBusConnection(QStringLiteral("no bus here")));
        QVERIFY(!desktop.mpris());
        QVERIFY(!desktop.screenSaver());
        await(store->play(movie("1")));
        QTRY_COMPARE(desktop.session().state().track.title, QStringLiteral("Movie 1"));
    }
};

QTEST_MAIN(TestMediaSession)
#include "tst_mediasession.moc"
