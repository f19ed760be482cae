#include "fakemediaplayer.h"

#include "player/vlcplayerview.h"

#include <QQuickWindow>
#include <QtTest>

using State = MediaPlayer::State;

namespace {

// A preview in a window, as its parent pane holds it, with a record of every flag it writes.
struct Preview
{
    Preview()
    {
        view = new VLCPlayerView(std::unique_ptr<MediaPlayer>(player = new FakeMediaPlayer(log)));
        view->setParentItem(window.contentItem());
        QObject::connect(view, &VLCPlayerView::isBufferingChanged, view,
                         [this] { writes.append(view->isBuffering() ? "buffering" : "not buffering"); });
        QObject::connect(view, &VLCPlayerView::failedChanged, view,
                         [this] { writes.append(view->failed() ? "failed" : "not failed"); });
    }
    ~Preview() { delete view; }

    // The flags as the parent sees them once the queued writes have landed.
    QStringList settle()
    {
        QCoreApplication::sendPostedEvents();
        return std::exchange(writes, {});
    }

    std::shared_ptr<FakeMediaPlayer::Log> log = std::make_shared<FakeMediaPlayer::Log>();
    FakeMediaPlayer *player = nullptr;
    QQuickWindow window;
    VLCPlayerView *view = nullptr;
    QStringList writes;
};

const QUrl channelA(QStringLiteral("http://stream.test/live/a.ts"));
const QUrl channelB(QStringLiteral("http://stream.test/live/b.ts"));

} // namespace

// The live preview's rules, against a scripted player.
class TestVLCPlayerView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void flagsAreWrittenLaterInCallOrder()
    {
        Preview p;
        p.view->setFailed(true); // the parent's state after an earlier channel failed
        p.settle();

        p.view->setUrl(channelB);
        QCOMPARE(p.log->opens.size(), 1);
        QCOMPARE(p.log->opens.first(), std::pair(channelB, MediaPlayer::Options{3000, true}));
        QVERIFY(p.writes.isEmpty()); // nothing synchronously
        QCOMPARE(p.settle(), QStringList({"not failed", "buffering"}));

        p.player->report(State::Error, false);
        QVERIFY(p.writes.isEmpty());
        QCOMPARE(p.settle(), QStringList({"not buffering", "failed"}));

        // libVLC may still say it buffers after the stream was given up: no spinner beside a failure.
        p.player->report(State::Buffering, false);
        p.settle();
        QVERIFY(!p.view->isBuffering());
        QVERIFY(p.view->failed());
    }

    void stateReports_data()
    {
        QTest::addColumn<bool>("buffering");
        QTest::addColumn<State>("state");
        QTest::addColumn<bool>("playing");
        QTest::addColumn<bool>("expectBuffering");
        QTest::addColumn<bool>("expectFailed");
        QTest::newRow("stopped") << true << State::Stopped << false << false << false;
        QTest::newRow("ended before any picture") << true << State::Ended << false << false << true;
        QTest::newRow("playing") << true << State::Playing << true << false << false;
        QTest::newRow("opening") << false << State::Opening << false << true << false;
        QTest::newRow("buffering while frames play") << true << State::Buffering << true << false << false;
        QTest::newRow("track added before playing") << false << State::TrackAdded << false << true << false;
        QTest::newRow("error") << true << State::Error << false << false << true;
        QTest::newRow("paused keeps the indicator") << true << State::Paused << false << true << false;
        QTest::newRow("paused keeps no indicator") << false << State::Paused << false << false << false;
        QTest::newRow("idle") << true << State::Idle << false << true << false;
    }

    void stateReports()
    {
        QFETCH(bool, buffering);
        QFETCH(State, state);
        QFETCH(bool, playing);
        Preview p;
        p.view->setUrl(channelA);
        p.settle();
        p.view->setIsBuffering(buffering);
        p.player->report(state, playing);
        p.settle();
        QTEST(p.view->isBuffering(), "expectBuffering");
        QTEST(p.view->failed(), "expectFailed");
    }

    void theSameAddressStartsOnce()
    {
        Preview p;
        p.view->setUrl(channelA);
        p.player->report(State::Error, false);
        p.settle();
        p.view->setUrl(channelA); // a parent that gives the failing address again
        p.view->setUrl(channelA);
        QCOMPARE(p.log->opens.size(), 1);
        QVERIFY(p.settle().isEmpty());
        QVERIFY(p.view->failed());
    }

    void noAddressStopsAndLeavesTheFlags()
    {
        Preview p;
        p.view->setUrl(channelA);
        p.settle();
        QVERIFY(p.view->isBuffering());

        p.view->setUrl(QUrl());
        QCOMPARE(p.log->stops, 1);
        QCOMPARE(p.log->opens.size(), 1);
        QVERIFY(p.settle().isEmpty());
        QVERIFY(p.view->isBuffering());

        p.view->setUrl(channelA); // the same channel again after none is a new start
        QCOMPARE(p.log->opens.size(), 2);
    }

    void playsOnlyInAScene()
    {
        Preview p;
        p.view->setParentItem(nullptr);
        QCOMPARE(p.log->stops, 1);
        p.view->setUrl(channelA);
        QVERIFY(p.log->opens.isEmpty());

        p.view->setParentItem(p.window.contentItem());
        QCOMPARE(p.log->opens.size(), 1);
        p.view->setParentItem(nullptr); // taken out: stopped
        QCOMPARE(p.log->stops, 2);
        p.view->setParentItem(p.window.contentItem()); // back: starts afresh
        QCOMPARE(p.log->opens.size(), 2);
    }

    void destroyingStopsAndReleasesThePlayer()
    {
        auto log = std::make_shared<FakeMediaPlayer::Log>();
        {
            Preview p;
            log = p.log;
            p.view->setUrl(channelA);
        }
        QVERIFY(log->stops >= 1);
        QVERIFY(log->destroyed);
    }
};

QTEST_MAIN(TestVLCPlayerView)
#include "tst_vlcplayerview.moc"
