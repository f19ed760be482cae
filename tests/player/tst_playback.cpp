#include "testmedia.h"

#include "api/useragent.h"
#include "player/playercontroller.h"
#include "player/videoframesink.h"
#include "player/vlcmediaplayer.h"
#include "player/vlcplayerview.h"
#include "support/fakeserver.h"

#include <QQuickWindow>
#include <QtTest>

#include <vlc/vlc.h>

namespace {
// Generous: the test machine may be busy with other work.
constexpr int timeoutMs = 30000;

struct Event
{
    int type;
    float cache = 0;
};
using Events = QList<Event>;
} // namespace

Q_DECLARE_METATYPE(MediaPlayer::Options)
Q_DECLARE_METATYPE(Events)

// Real playback through libVLC, of media served on loopback.
class TestPlayback : public QObject
{
    Q_OBJECT

    FakeServer *m_server = nullptr;

    QUrl address(const QString &path) const { return QUrl(m_server->base() + path); }

private Q_SLOTS:
    void initTestCase()
    {
        TestMedia::useDummyAudio();
        m_server = new FakeServer(this);
        m_server->start();
        TestMedia::serve(*m_server);
    }

    void optionStrings_data()
    {
        QTest::addColumn<MediaPlayer::Options>("options");
        QTest::addColumn<QByteArrayList>("strings");
        const QByteArray agent = ":http-user-agent=" + UserAgent::text();
        QVERIFY(UserAgent::text().startsWith("MAVU/"));
        QTest::newRow("stream") << MediaPlayer::Options{3000, true}
                                << QByteArrayList{":network-caching=3000", ":http-reconnect", agent};
        QTest::newRow("catch-up") << MediaPlayer::Options{5000, true}
                                  << QByteArrayList{":network-caching=5000", ":http-reconnect", agent};
        QTest::newRow("no reconnection") << MediaPlayer::Options{1000, false}
                                         << QByteArrayList{":network-caching=1000", ":no-http-reconnect", agent};
    }

    void optionStrings()
    {
        QFETCH(MediaPlayer::Options, options);
        QTEST(VlcMediaPlayer::optionStrings(options), "strings");
    }

    void eventsByMeaning_data()
    {
        QTest::addColumn<Events>("events");
        QTest::addColumn<MediaPlayer::State>("state");
        QTest::addColumn<bool>("playing");
        using S = MediaPlayer::State;
        const Event opening{libvlc_MediaPlayerOpening};
        const Event running{libvlc_MediaPlayerPlaying};
        const Event filled{libvlc_MediaPlayerBuffering, 100};
        QTest::newRow("opening") << Events{opening} << S::Opening << false;
        QTest::newRow("input runs, buffer filling")
            << Events{opening, {libvlc_MediaPlayerBuffering, 0}, running, {libvlc_MediaPlayerBuffering, 40}}
            << S::Buffering << false;
        QTest::newRow("buffer filled after the input ran") << Events{opening, running, filled} << S::Playing << true;
        QTest::newRow("buffer filled before the input ran") << Events{opening, filled, running} << S::Playing << true;
        QTest::newRow("a seek refills the buffer") << Events{opening, running, filled, {libvlc_MediaPlayerBuffering, 30}}
                                                   << S::Buffering << false;
        QTest::newRow("resumed after a pause") << Events{opening, running, filled, {libvlc_MediaPlayerPaused}, running}
                                               << S::Playing << true;
        QTest::newRow("track added while playing") << Events{opening, running, filled, {libvlc_MediaPlayerESAdded}}
                                                   << S::TrackAdded << true;
        QTest::newRow("error, then libVLC's stop")
            << Events{opening, {libvlc_MediaPlayerEncounteredError}, {libvlc_MediaPlayerStopped}} << S::Stopped << false;
        QTest::newRow("ended") << Events{opening, running, filled, {libvlc_MediaPlayerEndReached}} << S::Ended << false;
        QTest::newRow("a new media after the end") << Events{opening, running, filled, {libvlc_MediaPlayerEndReached},
                                                              opening, running}
                                                   << S::Buffering << false;
    }

    void eventsByMeaning()
    {
        QFETCH(Events, events);
        VlcStateTracker tracker;
        for (const Event &event : events)
            QVERIFY(tracker.apply(event.type, event.cache));
        QVERIFY(!tracker.apply(libvlc_MediaPlayerTimeChanged, 0)); // says nothing about the state
        QTEST(tracker.state(), "state");
        QTEST(tracker.isPlaying(), "playing");
    }

    void playsAndListsTracks_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("audioTracks");    // "Disable" and the two languages
        QTest::addColumn<int>("subtitleTracks"); // "Disable" and the one track, where there is one
        QTest::addColumn<QStringList>("lengths"); // six seconds, as the container tells it, if it does
        QTest::newRow("MPEG-TS, no length over HTTP") << "/clip.ts" << 3 << 2 << QStringList{"--:--"};
        QTest::newRow("MP4") << "/clip.mp4" << 3 << 2 << QStringList{"00:05", "00:06"};
        QTest::newRow("HLS") << "/hls/index.m3u8" << 3 << 0 << QStringList{"00:05", "00:06"};
    }

    void playsAndListsTracks()
    {
        QFETCH(QString, path);
        QFETCH(int, audioTracks);
        QFETCH(int, subtitleTracks);
        QFETCH(QStringList, lengths);
        PlayerController controller;
        controller.play(address(path), false);
        QVERIFY(controller.isBuffering());
        QTRY_VERIFY_WITH_TIMEOUT(controller.isPlaying(), timeoutMs);
        QVERIFY(!controller.isBuffering());
        QVERIFY(!controller.failed());
        QVERIFY(controller.playerIsPlaying());
        QTRY_COMPARE_WITH_TIMEOUT(controller.audioTrackList().size(), audioTracks, timeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(controller.subtitleTrackList().size(), subtitleTracks, timeoutMs);
        QVERIFY(controller.audioTrackList().last().name.contains(QStringLiteral("German")));
        QTRY_VERIFY_WITH_TIMEOUT(controller.playerTime() >= 1000, timeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(controller.timeText() != QStringLiteral("00:00"), timeoutMs);
        QVERIFY2(lengths.contains(controller.lengthText()), qPrintable(controller.lengthText()));
        QCOMPARE(controller.position() > 0, lengths.first() != QStringLiteral("--:--"));
        controller.shutdown();
    }

    void unreachableAddressesFail_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("404") << "404";
        QTest::newRow("connection refused") << "refused";
    }

    void unreachableAddressesFail()
    {
        QFETCH(QString, kind);
        PlayerController controller;
        controller.play(kind == QLatin1String("404") ? address(QStringLiteral("/missing.ts")) : TestMedia::refusedUrl(),
                        false);
        QTRY_VERIFY_WITH_TIMEOUT(controller.failed(), timeoutMs);
        QVERIFY(!controller.isBuffering());
        QVERIFY(!controller.isPlaying());
    }

    // A picture format the sink refuses fails the stream in both players, and nothing plays on.
    // libVLC itself stops at 8192 pixels today, so the test asks the way its format callback would,
    // while the stream is still opening (it never answers) and no picture is on its way.
    void aRefusedPictureFails()
    {
        FakeServer::Reply silent;
        silent.never = true;
        m_server->on(QStringLiteral("/silent.ts"), silent);
        const auto refuse = [](MediaPlayer &player) {
            char chroma[4] = {};
            unsigned width = 1u << 30, height = 4, pitch = 0, lines = 0;
            return player.videoFrames()->configure(chroma, &width, &height, &pitch, &lines);
        };
        PlayerController controller;
        controller.play(address(QStringLiteral("/silent.ts")), false);
        QTRY_VERIFY_WITH_TIMEOUT(controller.player().state() != MediaPlayer::State::Idle, timeoutMs);
        QCOMPARE(refuse(controller.player()), 0u);
        QTRY_VERIFY_WITH_TIMEOUT(controller.failed(), timeoutMs);
        QVERIFY(!controller.isBuffering());
        QVERIFY(!controller.isPlaying());
        QTRY_COMPARE_WITH_TIMEOUT(controller.player().state(), MediaPlayer::State::Stopped, timeoutMs);
        QVERIFY(controller.failed());

        QQuickWindow window;
        VLCPlayerView view(window.contentItem());
        view.setUrl(address(QStringLiteral("/silent.ts")));
        QTRY_VERIFY_WITH_TIMEOUT(view.isBuffering(), timeoutMs);
        QCOMPARE(refuse(view.player()), 0u);
        QTRY_VERIFY_WITH_TIMEOUT(view.failed(), timeoutMs);
        QVERIFY(!view.isBuffering());
    }

    void aNewAddressAfterAFailurePlays()
    {
        PlayerController controller;
        controller.play(address(QStringLiteral("/missing.ts")), false);
        QTRY_VERIFY_WITH_TIMEOUT(controller.failed(), timeoutMs);
        controller.play(address(QStringLiteral("/clip.ts")), false);
        QVERIFY(!controller.failed());
        QVERIFY(controller.isBuffering());
        QTRY_VERIFY_WITH_TIMEOUT(controller.isPlaying(), timeoutMs);
        QVERIFY(!controller.failed());
    }

    void aReplacedStreamsLateErrorIsIgnored()
    {
        PlayerController controller;
        controller.play(TestMedia::refusedUrl(), false);
        // libVLC fails while the GUI thread is busy, so its report still waits in the queue when
        // the next address is given.
        QThread::msleep(1500);
        controller.play(address(QStringLiteral("/clip.ts")), false);
        QTRY_VERIFY_WITH_TIMEOUT(controller.isPlaying(), timeoutMs);
        QVERIFY(!controller.failed());
    }

    void pauseSeekAndJump()
    {
        PlayerController controller;
        controller.play(address(QStringLiteral("/clip.mp4")), false);
        QTRY_VERIFY_WITH_TIMEOUT(controller.isPlaying(), timeoutMs);

        controller.playerPause();
        QTRY_VERIFY_WITH_TIMEOUT(!controller.isPlaying(), timeoutMs);
        QVERIFY(!controller.playerIsPlaying());
        QVERIFY(!controller.isBuffering());

        controller.seek(0.5);
        QTRY_VERIFY_WITH_TIMEOUT(qAbs(controller.playerTime() - 3000) < 800, timeoutMs);
        controller.jumpBackward(30);
        QTRY_VERIFY_WITH_TIMEOUT(controller.playerTime() < 800, timeoutMs);

        controller.playerPlay();
        QTRY_VERIFY_WITH_TIMEOUT(controller.isPlaying(), timeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(controller.playerTime() > 1000, timeoutMs);
    }

    void shutdownStopsPlayback()
    {
        PlayerController controller;
        controller.play(address(QStringLiteral("/clip.ts")), false);
        QTRY_VERIFY_WITH_TIMEOUT(controller.isPlaying(), timeoutMs);
        controller.shutdown();
        QTRY_VERIFY_WITH_TIMEOUT(!controller.isPlaying(), timeoutMs);
        QCOMPARE(controller.player().state(), MediaPlayer::State::Stopped);
        QVERIFY(!controller.playerIsPlaying());
    }

    void previewPlaysUntilItsAddressGoes()
    {
        QQuickWindow window;
        VLCPlayerView view(window.contentItem());
        view.setUrl(address(QStringLiteral("/clip.ts")));
        QTRY_VERIFY_WITH_TIMEOUT(view.isBuffering(), timeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(view.player().isPlaying(), timeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(!view.isBuffering(), timeoutMs);
        QVERIFY(!view.failed());

        view.setUrl(QUrl());
        QTRY_COMPARE_WITH_TIMEOUT(view.player().state(), MediaPlayer::State::Stopped, timeoutMs);
        QVERIFY(!view.failed());

        view.setUrl(address(QStringLiteral("/missing.ts")));
        QTRY_VERIFY_WITH_TIMEOUT(view.failed(), timeoutMs);
        QVERIFY(!view.isBuffering());
    }
};

QTEST_MAIN(TestPlayback)
#include "tst_playback.moc"
