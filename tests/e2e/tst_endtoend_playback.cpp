#include "labserver.h"
#include "player/playercontroller.h"
#include "testmedia.h"

#include <QtTest>

// Lab streams through the real player: a live channel that never ends and a movie file.
class TestEndToEndPlayback : public QObject
{
    Q_OBJECT

    std::unique_ptr<Lab::Server> m_lab;

    QUrl stream(const QString &kind, const QString &id, const QString &extension) const
    {
        return QUrl(QStringLiteral("%1/%2/%3/%4/%5.%6")
                        .arg(m_lab->base(), kind, m_lab->username(), m_lab->password(), id, extension));
    }

private Q_SLOTS:
    void initTestCase()
    {
        TestMedia::useDummyAudio();
        m_lab = std::make_unique<Lab::Server>(Lab::Options{.seed = 5});
        QVERIFY(!m_lab->start().isEmpty());
    }

    void cleanupTestCase() { m_lab.reset(); }

    void labStreamsReachThePlayingState_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("live channel") << QStringLiteral("live");
        QTest::newRow("movie") << QStringLiteral("movie");
    }

    void labStreamsReachThePlayingState()
    {
        QFETCH(QString, kind);
        QUrl url;
        if (kind == QLatin1String("live")) {
            url = stream(kind, QString::number(m_lab->catalogue().live().front().id), QStringLiteral("ts"));
        } else {
            const auto &movie = m_lab->catalogue().movies().front();
            url = stream(kind, QString::number(movie.id), movie.extension.isEmpty() ? QStringLiteral("mp4") : movie.extension);
        }
        PlayerController controller;
        controller.play(url, false);
        QVERIFY(controller.isBuffering());
        QTRY_VERIFY_WITH_TIMEOUT(controller.isPlaying(), 30000);
        QVERIFY(!controller.failed());
        QTRY_VERIFY_WITH_TIMEOUT(!controller.isBuffering(), 10000);
        controller.shutdown();
    }
};

QTEST_MAIN(TestEndToEndPlayback)
#include "tst_endtoend_playback.moc"
