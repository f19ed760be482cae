#include "fakemediaplayer.h"

#include "player/playercontroller.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSignalSpy>
#include <QtTest>

#include <algorithm>

#include <cmath>
#include <limits>

using State = MediaPlayer::State;

namespace {

struct Step
{
    State state;
    bool playing;
};
using Steps = QList<Step>;

struct Published
{
    bool isBuffering;
    bool failed;
    bool isPlaying;
    bool isReconnecting = false;
    bool operator==(const Published &) const = default;
};

Published published(const PlayerController &controller)
{
    return {controller.isBuffering(), controller.failed(), controller.isPlaying(), controller.isReconnecting()};
}

char *describe(const Published &value)
{
    return QTest::toString(QStringLiteral("buffering %1, failed %2, playing %3, reconnecting %4")
                               .arg(value.isBuffering)
                               .arg(value.failed)
                               .arg(value.isPlaying)
                               .arg(value.isReconnecting));
}

struct Fixture
{
    FakeMediaPlayer *player = new FakeMediaPlayer;
    PlayerController controller{std::unique_ptr<MediaPlayer>(player)};
};

void tick(PlayerController &controller)
{
    QVERIFY(QMetaObject::invokeMethod(&controller, "tick"));
}

} // namespace

namespace QTest {
template<>
char *toString(const Published &value)
{
    return describe(value);
}
} // namespace QTest

Q_DECLARE_METATYPE(Steps)
Q_DECLARE_METATYPE(Published)
Q_DECLARE_METATYPE(MediaPlayer::TrackLists)

// PlayerController's rules, against a scripted player.
class TestPlayerController : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void aNewControllerShowsLoading()
    {
        Fixture f;
        QCOMPARE(published(f.controller), (Published{true, false, false}));
        QCOMPARE(f.controller.timeText(), QStringLiteral("--:--"));
        QCOMPARE(f.controller.lengthText(), QStringLiteral("--:--"));
        tick(f.controller); // nothing to time yet
        QCOMPARE(f.controller.timeText(), QStringLiteral("--:--"));
    }

    void stateChanges_data()
    {
        QTest::addColumn<Steps>("steps");
        QTest::addColumn<Published>("expected");
        // A new controller shows loading, has not failed and is not playing.
        QTest::newRow("playing") << Steps{{State::Playing, true}} << Published{false, false, true};
        QTest::newRow("opening while not playing") << Steps{{State::Playing, true}, {State::Opening, false}}
                                                   << Published{true, false, true};
        QTest::newRow("buffering while frames already play") << Steps{{State::Opening, false}, {State::Buffering, true}}
                                                             << Published{false, false, false};
        QTest::newRow("track added while not playing") << Steps{{State::Playing, true}, {State::TrackAdded, false}}
                                                       << Published{true, false, true};
        QTest::newRow("paused keeps the indicator") << Steps{{State::Opening, false}, {State::Paused, false}}
                                                    << Published{true, false, false};
        QTest::newRow("paused after playing") << Steps{{State::Playing, true}, {State::Paused, false}}
                                              << Published{false, false, false};
        QTest::newRow("error before any picture") << Steps{{State::Opening, false}, {State::Error, false}}
                                                  << Published{false, true, false};
        // Without a length the stream is live: it reconnects instead of failing.
        QTest::newRow("error after a live stream played")
            << Steps{{State::Playing, true}, {State::Error, false}} << Published{false, false, false, true};
        QTest::newRow("end of a live stream") << Steps{{State::Playing, true}, {State::Ended, false}}
                                              << Published{false, false, false, true};
        QTest::newRow("stopped after an error stays failed") << Steps{{State::Error, false}, {State::Stopped, false}}
                                                             << Published{false, true, false};
        QTest::newRow("playing after an error stays failed") << Steps{{State::Error, false}, {State::Playing, true}}
                                                             << Published{false, true, true};
        QTest::newRow("idle changes nothing") << Steps{{State::Idle, true}} << Published{true, false, false};
    }

    void stateChanges()
    {
        QFETCH(Steps, steps);
        Fixture f;
        f.controller.play(QUrl(QStringLiteral("http://stream.test/1.ts")), false);
        for (const Step &step : steps)
            f.player->report(step.state, step.playing);
        QTEST(published(f.controller), "expected");
    }

    void theSameAddressStartsOnce()
    {
        Fixture f;
        const QUrl url(QStringLiteral("http://stream.test/1.ts"));
        f.controller.play(url, false);
        f.player->report(State::Error, false);
        f.controller.play(url, false);
        f.controller.play(url, true);
        QCOMPARE(f.player->log().opens.size(), 1);
        QCOMPARE(published(f.controller), (Published{false, true, false}));
    }

    void aNewAddressClearsAFailure()
    {
        Fixture f;
        f.controller.play(QUrl(QStringLiteral("http://stream.test/1.ts")), false);
        f.player->report(State::Error, false);
        QSignalSpy failedChanges(&f.controller, &PlayerController::failedChanged);
        f.controller.play(QUrl(QStringLiteral("http://stream.test/2.ts")), false);
        QCOMPARE(published(f.controller), (Published{true, false, false}));
        QCOMPARE(failedChanges.size(), 1);
        QCOMPARE(f.player->log().opens.size(), 2);
        QCOMPARE(f.player->log().opens.last().first, QUrl(QStringLiteral("http://stream.test/2.ts")));
    }

    void networkCache_data()
    {
        QTest::addColumn<bool>("catchup");
        QTest::addColumn<int>("cacheMs");
        QTest::newRow("stream") << false << 3000;
        QTest::newRow("catch-up recording") << true << 5000;
    }

    void networkCache()
    {
        QFETCH(bool, catchup);
        QFETCH(int, cacheMs);
        Fixture f;
        f.controller.play(QUrl(QStringLiteral("http://stream.test/timeshift/1.ts")), catchup);
        QCOMPARE(f.player->log().opens.size(), 1);
        QCOMPARE(f.player->log().opens.first().second, (MediaPlayer::Options{cacheMs, true}));
    }

    void ticks_data()
    {
        QTest::addColumn<qint64>("timeMs");
        QTest::addColumn<qint64>("lengthMs");
        QTest::addColumn<bool>("seeking");
        QTest::addColumn<double>("position");
        QTest::addColumn<QString>("timeText");
        QTest::addColumn<QString>("lengthText");
        // Each row starts from 0:30 of a two-minute movie.
        QTest::newRow("movie") << 90000LL << 120000LL << false << 0.75 << "01:30" << "02:00";
        QTest::newRow("long movie") << 3725000LL << 7200000LL << false << 3725.0 / 7200 << "1:02:05" << "2:00:00";
        QTest::newRow("live stream keeps the position") << 45000LL << 0LL << false << 0.25 << "00:45" << "--:--";
        QTest::newRow("the user's drag is left alone") << 90000LL << 120000LL << true << 0.25 << "00:30" << "02:00";
        QTest::newRow("past the length") << 130000LL << 120000LL << false << 1.0 << "02:10" << "02:00";
    }

    void ticks()
    {
        QFETCH(qint64, timeMs);
        QFETCH(qint64, lengthMs);
        QFETCH(bool, seeking);
        Fixture f;
        f.controller.play(QUrl(QStringLiteral("http://stream.test/movie.mp4")), false);
        f.player->setClock(30000, 120000);
        tick(f.controller);
        f.controller.setIsSeeking(seeking);
        f.player->setClock(timeMs, lengthMs);
        tick(f.controller);
        QTEST(f.controller.position(), "position");
        QTEST(f.controller.timeText(), "timeText");
        QTEST(f.controller.lengthText(), "lengthText");
    }

    void theTimerTicksUntilShutdown()
    {
        Fixture f;
        f.controller.play(QUrl(QStringLiteral("http://stream.test/movie.mp4")), false);
        f.player->setClock(12000, 60000);
        QTRY_COMPARE_WITH_TIMEOUT(f.controller.timeText(), QStringLiteral("00:12"), 5000);

        f.controller.shutdown();
        QCOMPARE(f.player->log().stops, 1);
        f.player->setClock(42000, 60000);
        QSignalSpy timeChanges(&f.controller, &PlayerController::timeTextChanged);
        QTest::qWait(1600); // three ticks' worth: none may come
        QCOMPARE(timeChanges.size(), 0);
    }

    void tracksPairedByPosition_data()
    {
        QTest::addColumn<MediaPlayer::TrackLists>("lists");
        QTest::addColumn<QVariantList>("expected");
        const auto entry = [](int index, const char *name) {
            return QVariantMap{{"index", index}, {"name", QString::fromUtf8(name)}};
        };
        QTest::newRow("three names, two identifiers")
            << MediaPlayer::TrackLists{{"Disable", "English", "German"}, {-1, 1}}
            << QVariantList{entry(-1, "Disable"), entry(1, "English")};
        QTest::newRow("more identifiers than names") << MediaPlayer::TrackLists{{"Only"}, {7, 8, 9}}
                                                     << QVariantList{entry(7, "Only")};
        QTest::newRow("none") << MediaPlayer::TrackLists{} << QVariantList{};
    }

    void tracksPairedByPosition()
    {
        QFETCH(MediaPlayer::TrackLists, lists);
        QFETCH(QVariantList, expected);
        Fixture f;
        QSignalSpy changes(&f.controller, &PlayerController::tracksChanged);
        f.player->setTracks(lists, lists);
        f.player->report(State::TrackAdded, false);
        f.player->report(State::Playing, true); // the same lists again: no new signal
        QCOMPARE(f.controller.audioTracks(), expected);
        QCOMPARE(f.controller.subtitleTracks(), expected);
        QCOMPARE(changes.size(), expected.isEmpty() ? 0 : 1);
    }

    void aspect_data()
    {
        QTest::addColumn<QString>("choice");
        QTest::addColumn<QString>("ratio");
        QTest::addColumn<double>("scale");
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        // Each row starts from a forced 4:3 at scale 2.
        QTest::newRow("Default clears the forced ratio") << "Default" << "" << 0.0;
        QTest::newRow("a ratio as given") << "16:10" << "16:10" << 2.0;
        QTest::newRow("Fill takes the screen's proportions")
            << "Fill" << QStringLiteral("%1:%2").arg(screen.width()).arg(screen.height()) << 2.0;
    }

    void aspect()
    {
        QFETCH(QString, choice);
        Fixture f;
        f.controller.setAspect(QStringLiteral("4:3"));
        f.player->setScale(2);
        f.controller.setAspect(choice);
        QTEST(f.player->aspectRatio(), "ratio");
        QTEST(f.player->scale(), "scale");
    }

    void hms_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("negative") << -5.0 << "00:00";
        QTest::newRow("just below zero") << -0.5 << "00:00";
        QTest::newRow("zero") << 0.0 << "00:00";
        QTest::newRow("fraction truncated") << 59.9 << "00:59";
        QTest::newRow("last minute of an hour") << 3599.0 << "59:59";
        QTest::newRow("an hour") << 3600.0 << "1:00:00";
        QTest::newRow("hours not padded") << 3725.0 << "1:02:05";
        QTest::newRow("ten hours") << 36000.0 << "10:00:00";
        QTest::newRow("not a number") << std::nan("") << "00:00";
        QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << "00:00";
    }

    void hms()
    {
        QFETCH(double, seconds);
        QTEST(PlayerController::hms(seconds), "text");
    }

    void jumps_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QList<qint64>>("times");
        // From 0:10.
        QTest::newRow("forward") << "forward" << 30 << QList<qint64>{40000};
        QTest::newRow("back within the media") << "backward" << 5 << QList<qint64>{5000};
        QTest::newRow("back past the start") << "backward" << 30 << QList<qint64>{0};
        QTest::newRow("no jump of nothing") << "forward" << 0 << QList<qint64>{};
        QTest::newRow("no jump of a negative") << "backward" << -30 << QList<qint64>{};
    }

    void jumps()
    {
        QFETCH(QString, command);
        QFETCH(int, seconds);
        Fixture f;
        f.player->setClock(10000, 60000);
        if (command == QLatin1String("forward"))
            f.controller.jumpForward(seconds);
        else
            f.controller.jumpBackward(seconds);
        QTEST(f.player->log().times, "times");
    }

    // Recovery with times short enough to wait for: the rule's own steps are tested on their own.
    void loadingThatNeverMovesFailsAndRetryOpensAgain()
    {
        Fixture f;
        f.controller.supervisor().setTiming({.watchdog = 150});
        f.controller.play(QUrl(QStringLiteral("http://stream.test/1.mp4")), false);
        f.player->report(State::Opening, false);
        QTRY_VERIFY_WITH_TIMEOUT(f.controller.failed(), 3000);
        QCOMPARE(published(f.controller), (Published{false, true, false}));
        QCOMPARE(f.player->log().stops, 1); // the stalled connection is closed

        f.controller.retry();
        QCOMPARE(published(f.controller), (Published{true, false, false}));
        QCOMPARE(f.player->log().opens.size(), 2);
        f.player->report(State::Playing, true);
        QTest::qWait(400); // longer than the watchdog: pictures playing are progress
        QVERIFY(!f.controller.failed());
    }

    void aLiveStreamThatBreaksReconnectsKeepingItsPicture()
    {
        Fixture f;
        f.controller.supervisor().setTiming({.watchdog = 5000, .backoff = {30, 60}});
        QSignalSpy attempts(&f.controller.supervisor(), &PlaybackSupervisor::reconnectionStarted);
        f.controller.play(QUrl(QStringLiteral("http://stream.test/live/1.ts")), false);
        f.player->report(State::Playing, true); // no length: live
        f.player->report(State::Ended, false);
        QCOMPARE(published(f.controller), (Published{false, false, false, true}));
        QCOMPARE(f.player->log().stopsKeepingPicture, 1);

        QTRY_COMPARE(f.player->log().opens.size(), 2);
        QVERIFY(f.player->log().opens.last().second.keepPicture);
        f.player->report(State::Opening, false);
        QCOMPARE(published(f.controller), (Published{true, false, false, true})); // "Reconnecting…"
        f.player->report(State::Error, false); // the attempt fails: the next one waits longer
        QTRY_COMPARE(f.player->log().opens.size(), 3);
        QCOMPARE(attempts.size(), 2);
        QCOMPARE(attempts.at(1).at(0).toInt(), 2);

        f.player->report(State::Playing, true);
        QCOMPARE(published(f.controller), (Published{false, false, true, false}));
        QVERIFY(!f.controller.failed());
    }

    // A provider stream that fails while it opens is checked against the account's limit:
    // refused for it, it opens again after a pause, at most three more times, then fails saying so.
    void aRefusalForTheLimitIsTriedAgain_data()
    {
        QTest::addColumn<QList<bool>>("atLimit"); // what the check answers, failure by failure
        QTest::addColumn<bool>("playsAtLast");
        QTest::addColumn<int>("opens");
        QTest::addColumn<bool>("failed");
        QTest::addColumn<bool>("limitReached");
        QTest::newRow("not the limit: fails at once") << QList<bool>{false} << false << 1 << true << false;
        QTest::newRow("the limit, then it plays") << QList<bool>{true} << true << 2 << false << false;
        QTest::newRow("the limit every time") << QList<bool>{true, true, true, true} << false << 4 << true << true;
        QTest::newRow("the limit, then another failure") << QList<bool>{true, false} << false << 2 << true << false;
    }

    void aRefusalForTheLimitIsTriedAgain()
    {
        QFETCH(QList<bool>, atLimit);
        QFETCH(bool, playsAtLast);
        Fixture f;
        f.controller.supervisor().setTiming({.watchdog = 5000, .refusalPause = 30});
        QList<QUrl> checked;
        f.controller.supervisor().setRefusalCheck([&](QUrl url) -> QCoro::Task<bool> {
            checked.append(url);
            co_return atLimit.value(checked.size() - 1);
        });
        const QUrl url(QStringLiteral("http://panel.test/live/user/pass/7.ts"));
        f.controller.play(url, false);
        for (qsizetype i = 0; i < atLimit.size(); ++i) {
            QTRY_COMPARE(f.player->log().opens.size(), i + 1);
            QVERIFY(!f.controller.failed());
            f.player->report(State::Error, false);
        }
        if (playsAtLast) {
            QTRY_COMPARE(f.player->log().opens.size(), atLimit.size() + 1);
            f.player->report(State::Playing, true);
        }
        QTest::qWait(100); // longer than the pause: nothing more opens
        QTEST(int(f.player->log().opens.size()), "opens");
        QTEST(f.controller.failed(), "failed");
        QTEST(f.controller.limitReached(), "limitReached");
        QCOMPARE(checked.size(), atLimit.size());
        QVERIFY(std::all_of(checked.cbegin(), checked.cend(), [&](const QUrl &each) { return each == url; }));
    }

    // Another player took the connection: this one stops watching, and neither reconnects nor
    // fails later.
    void supersededIsNoBreak()
    {
        Fixture f;
        f.controller.supervisor().setTiming({.watchdog = 100, .backoff = {30}});
        f.controller.play(QUrl(QStringLiteral("http://stream.test/live/1.ts")), false);
        f.player->report(State::Playing, true);
        Q_EMIT f.player->superseded();
        f.player->report(State::Stopped, false);
        QTest::qWait(300);
        QCOMPARE(f.player->log().opens.size(), 1);
        QVERIFY(!f.controller.failed());
        QVERIFY(!f.controller.isReconnecting());
        f.controller.play(QUrl(QStringLiteral("http://stream.test/live/1.ts")), false);
        QCOMPARE(f.player->log().opens.size(), 2); // asked again, it plays again
    }

    void aMovieThatBreaksResumesOnRetry_data()
    {
        QTest::addColumn<State>("how");
        QTest::newRow("error") << State::Error;
        QTest::newRow("ended before its end") << State::Ended; // a connection that closes early
    }

    void aMovieThatBreaksResumesOnRetry()
    {
        QFETCH(State, how);
        Fixture f;
        f.controller.supervisor().setTiming({.watchdog = 1000});
        f.controller.play(QUrl(QStringLiteral("http://stream.test/movie/1.mp4")), false);
        f.player->setClock(0, 120000);
        f.player->report(State::Playing, true);
        f.player->setClock(42000, 120000);
        QTest::qWait(300);
        f.player->setClock(0, 120000); // libVLC forgets its clock when the input fails
        f.player->report(how, false);
        QCOMPARE(published(f.controller), (Published{false, true, false}));
        QCOMPARE(f.player->log().opens.size(), 1); // a movie waits for the user

        f.controller.retry();
        QCOMPARE(f.player->log().opens.size(), 2);
        QCOMPARE(f.player->log().opens.last().second.startMs, 42000);
        QVERIFY(!f.player->log().opens.last().second.keepPicture);
    }

    void aMovieThatReachesItsEndIsNoFailure()
    {
        Fixture f;
        f.controller.supervisor().setTiming({.watchdog = 1000});
        f.controller.play(QUrl(QStringLiteral("http://stream.test/movie/1.mp4")), false);
        f.player->setClock(0, 120000);
        f.player->report(State::Playing, true);
        f.player->setClock(119400, 120000);
        QTest::qWait(300);
        f.player->report(State::Ended, false);
        QCOMPARE(published(f.controller), (Published{false, false, false}));
        QTest::qWait(1300); // past the watchdog: an ended movie is not watched
        QVERIFY(!f.controller.failed());
        QCOMPARE(f.player->log().opens.size(), 1);
    }

    void seekIsClamped()
    {
        Fixture f;
        for (const double fraction : {0.5, 1.5, -0.25, std::nan("")})
            f.controller.seek(fraction);
        QCOMPARE(f.player->log().positions, (QList<double>{0.5, 1.0, 0.0, 0.0}));
    }
};

QTEST_MAIN(TestPlayerController)
#include "tst_playercontroller.moc"
