#include "testmedia.h"

#include "player/playercontroller.h"
#include "player/vlcmediaplayer.h"
#include "player/vlcplayerview.h"
#include "support/fakeserver.h"

#include <QQuickWindow>
#include <QtTest>

namespace {
// Generous: the test machine may be busy with other work.
constexpr int timeoutMs = 30000;
} // namespace

Q_DECLARE_METATYPE(MediaPlayer::Options)

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
        QTest::newRow("stream") << MediaPlayer::Options{3000, true}
                                << QByteArrayList{":network-caching=3000", ":http-reconnect"};
        QTest::newRow("catch-up") << MediaPlayer::Options{5000, true}
                                  << QByteArrayList{":network-caching=5000", ":http-reconnect"};
        QTest::newRow("no reconnection") << MediaPlayer::Options{1000, false}
                                         << QByteArrayList{":network-caching=1000", ":no-http-reconnect"};
    }

    void optionStrings()
    {
        QFETCH(MediaPlayer::Options, options);
        QTEST(VlcMediaPlayer::optionStrings(options), "strings");
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
        controller.play(address(QStringLiteral("/clip.ts")), false); // before anything was reported
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
