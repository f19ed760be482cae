#include "labserver.h"
#include "player/playercontroller.h"
#include "player/vlcinstance.h"
#include "player/vlcplayerview.h"
#include "testmedia.h"

#include <QElapsedTimer>
#include <QQuickWindow>
#include <QTcpSocket>
#include <QThread>
#include <QtTest>

#include <algorithm>

// The lab on a thread of its own: the previews' work on the GUI thread (heavy under the
// sanitizers) must not hold up the provider's answers, which the player waits for with deadlines.
// Every call reaches the lab on its thread and waits for it; the catalogue never changes.
class ThreadedLab
{
    template<typename Work>
    void call(Work &&work)
    {
        QMetaObject::invokeMethod(&m_context, std::forward<Work>(work), Qt::BlockingQueuedConnection);
    }
    template<typename Work>
    auto ask(Work &&work)
    {
        decltype(work()) answer{};
        call([&] { answer = work(); });
        return answer;
    }

public:
    explicit ThreadedLab(Lab::Options options)
    {
        m_thread.start();
        m_context.moveToThread(&m_thread);
        call([&] {
            m_server = std::make_unique<Lab::Server>(std::move(options));
            m_base = m_server->start();
        });
    }
    ~ThreadedLab()
    {
        call([&] { m_server.reset(); });
        m_thread.quit();
        m_thread.wait();
    }

    QString base() const { return m_base; }
    quint16 port() const { return m_server->port(); }
    const QString &username() const { return m_server->username(); }
    const QString &password() const { return m_server->password(); }
    const Lab::Catalogue &catalogue() const { return m_server->catalogue(); }

    void setMaxConnections(int count) { call([&] { m_server->setMaxConnections(count); }); }
    void setSlowClose(int milliseconds) { call([&] { m_server->setSlowClose(milliseconds); }); }
    void resetConnectionCount() { call([&] { m_server->resetConnectionCount(); }); }
    void setFault(const QString &route, const Lab::Fault &fault) { call([&] { m_server->setFault(route, fault); }); }
    void clearFaults() { call([&] { m_server->clearFaults(); }); }
    int activeConnections() { return ask([&] { return m_server->activeConnections(); }); }
    int highestConnections() { return ask([&] { return m_server->highestConnections(); }); }
    int refusedConnections() { return ask([&] { return m_server->refusedConnections(); }); }
    int requestCount(const QString &route) { return ask([&] { return m_server->requestCount(route); }); }
    QByteArray userAgent(const QString &route) { return ask([&] { return m_server->userAgent(route); }); }

private:
    QThread m_thread;
    QObject m_context;
    std::unique_ptr<Lab::Server> m_server;
    QString m_base;
};

// An account that allows one stream connection at a time, as most do, through the real player:
// every switch of stream closes the old connection before the new one opens, and a stream the
// provider still counts as open is tried again until it plays.
class TestEndToEndConnections : public QObject
{
    Q_OBJECT

    std::unique_ptr<ThreadedLab> m_lab;
    QQuickWindow *m_window = nullptr;

    QUrl liveStream(int index) const
    {
        return QUrl(QStringLiteral("%1/live/%2/%3/%4.ts")
                        .arg(m_lab->base(), m_lab->username(), m_lab->password())
                        .arg(m_lab->catalogue().live().at(index).id));
    }

    QUrl movieStream() const
    {
        const auto &movie = m_lab->catalogue().movies().front();
        return QUrl(QStringLiteral("%1/movie/%2/%3/%4.%5")
                        .arg(m_lab->base(), m_lab->username(), m_lab->password())
                        .arg(movie.id)
                        .arg(movie.extension.isEmpty() ? QStringLiteral("mp4") : movie.extension));
    }

    QUrl catchupStream() const
    {
        for (const Lab::LiveChannel &channel : m_lab->catalogue().live()) {
            if (channel.archive)
                return QUrl(QStringLiteral("%1/timeshift/%2/%3/30/2024-05-01:20-15/%4.m3u8")
                                .arg(m_lab->base(), m_lab->username(), m_lab->password())
                                .arg(channel.id));
        }
        return {};
    }

    // A preview in the window, as the live pane makes one per channel.
    std::unique_ptr<VLCPlayerView> preview(const QUrl &url)
    {
        auto view = std::make_unique<VLCPlayerView>();
        view->setSize({320, 180});
        view->setParentItem(m_window->contentItem());
        view->setUrl(url);
        return view;
    }

    void setConnections(int max, int slowCloseMs)
    {
        m_lab->setMaxConnections(max);
        m_lab->setSlowClose(slowCloseMs);
        m_lab->resetConnectionCount();
    }

    // Zaps through `count` channels, each new preview made before the old one goes (as a
    // list's delegates change), `dwellMs` apart or, for 0, each once it plays. Answers the time
    // from each zap to the new channel's first pictures, for those that got there.
    QList<qint64> zap(int count, int dwellMs)
    {
        QList<qint64> firstFrames;
        std::unique_ptr<VLCPlayerView> current;
        for (int i = 0; i < count; ++i) {
            QElapsedTimer clock;
            clock.start();
            auto next = preview(liveStream(i % int(m_lab->catalogue().live().size())));
            current = std::move(next);
            if (dwellMs > 0) {
                QTest::qWait(dwellMs);
                continue;
            }
            if (!QTest::qWaitFor([&] { return current->isPlaying() || current->failed(); }, 30000))
                return {};
            if (current->failed())
                return {};
            firstFrames.append(clock.elapsed());
        }
        // The last one plays, however quickly the others went by.
        if (!QTest::qWaitFor([&] { return current->isPlaying(); }, 30000) || current->failed())
            return {};
        if (dwellMs > 0)
            firstFrames.append(0);
        return firstFrames;
    }

    static qint64 median(QList<qint64> values)
    {
        std::sort(values.begin(), values.end());
        return values.isEmpty() ? -1 : values[values.size() / 2];
    }

private Q_SLOTS:
    void initTestCase()
    {
        TestMedia::useDummyAudio();
        m_lab = std::make_unique<ThreadedLab>(Lab::Options{.seed = 5, .maxConnections = 1});
        QVERIFY(!m_lab->base().isEmpty());
        m_window = new QQuickWindow;
    }

    void cleanup()
    {
        VlcInstance::waitForWork();
        m_lab->clearFaults();
        QTRY_COMPARE(m_lab->activeConnections(), 0);
    }

    void cleanupTestCase()
    {
        delete m_window;
        m_lab.reset();
    }

    void zappingHoldsOneConnection_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("dwellMs");
        QTest::addColumn<int>("slowCloseMs");
        QTest::newRow("20 channels quickly") << 20 << 150 << 0;
        QTest::newRow("each until it plays") << 6 << 0 << 0;
        // The provider counts a closed connection a second longer: each channel is refused
        // at first and plays on a later attempt.
        QTest::newRow("each until it plays, slow close") << 4 << 0 << 1000;
        QTest::newRow("quickly, slow close") << 8 << 150 << 1000;
    }

    void zappingHoldsOneConnection()
    {
        QFETCH(int, channels);
        QFETCH(int, dwellMs);
        QFETCH(int, slowCloseMs);
        setConnections(1, slowCloseMs);
        const QList<qint64> firstFrames = zap(channels, dwellMs);
        QVERIFY2(!firstFrames.isEmpty(), "every channel waited for plays, and so does the last");
        if (dwellMs == 0)
            qInfo("zap to first pictures, limit 1, slow close %d ms: median %lld ms of %lld", slowCloseMs,
                  median(firstFrames), qint64(firstFrames.size()));
        QCOMPARE(m_lab->highestConnections(), 1);
        // The limit itself keeps the count at 1; the old stream closing first keeps the provider
        // from refusing the new one.
        if (slowCloseMs == 0)
            QCOMPARE(m_lab->refusedConnections(), 0);
    }

    // The figure: zap to first pictures with the limit on and with any number allowed, in the
    // same run.
    void zapTimeWithAndWithoutTheLimit()
    {
        setConnections(0, 0);
        const qint64 unlimited = median(zap(6, 0));
        QCOMPARE(m_lab->highestConnections(), 1); // nothing refused, and still never two at once
        setConnections(1, 0);
        const qint64 limited = median(zap(6, 0));
        qInfo("zap to first pictures: median %lld ms with one connection allowed, %lld ms with any number", limited, unlimited);
        QVERIFY(unlimited > 0 && limited > 0);
        QCOMPARE(m_lab->highestConnections(), 1);
        QCOMPARE(m_lab->refusedConnections(), 0);
    }

    // From the preview to a catch-up programme, a movie or an episode in the full-window player
    // and back: the full-window player still fades out while the preview opens again.
    void toTheFullPlayerAndBack_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("catch-up") << "catchup";
        QTest::newRow("movie") << "movie";
    }

    void toTheFullPlayerAndBack()
    {
        QFETCH(QString, kind);
        setConnections(1, 0);
        auto view = preview(liveStream(1));
        QTRY_VERIFY_WITH_TIMEOUT(view->isPlaying(), 30000);

        auto controller = std::make_unique<PlayerController>();
        const bool catchup = kind == QLatin1String("catchup");
        controller->play(catchup ? catchupStream() : movieStream(), catchup);
        QTest::qWait(200); // the live section lets go of its preview after the player shows
        view.reset();
        QTRY_VERIFY_WITH_TIMEOUT(controller->isPlaying(), 30000);
        QVERIFY(!controller->failed());

        view = preview(liveStream(1));
        QTest::qWait(300); // the player fades out
        controller.reset();
        QTRY_VERIFY_WITH_TIMEOUT(view->isPlaying(), 30000);
        QVERIFY(!view->failed());
        QCOMPARE(m_lab->highestConnections(), 1);
        QCOMPARE(m_lab->refusedConnections(), 0);
    }

    // A failure that is not the limit shows at once; Retry plays.
    void retryAfterAFailure()
    {
        setConnections(1, 0);
        m_lab->setFault(QStringLiteral("live"), *Lab::Fault::parse(QStringLiteral("status:503")));
        auto view = preview(liveStream(2));
        QTRY_VERIFY_WITH_TIMEOUT(view->failed(), 15000);
        QVERIFY(!view->limitReached());
        m_lab->clearFaults();
        view->retry();
        QTRY_VERIFY_WITH_TIMEOUT(view->isPlaying(), 30000);
        QVERIFY(!view->failed());
        QCOMPARE(m_lab->highestConnections(), 1);
        QCOMPARE(m_lab->refusedConnections(), 0);
    }

    // Another device holds the account's one connection: three more attempts over about three
    // seconds, then the failure says why; once the other lets go, Retry plays.
    void theLimitHeldElsewhere()
    {
        setConnections(1, 0);
        QTcpSocket elsewhere;
        elsewhere.connectToHost(QHostAddress::LocalHost, m_lab->port());
        QVERIFY(elsewhere.waitForConnected(5000));
        elsewhere.write("GET " + liveStream(3).path().toUtf8() + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        QTRY_COMPARE(m_lab->activeConnections(), 1);

        const int before = m_lab->requestCount(QStringLiteral("live"));
        QElapsedTimer clock;
        clock.start();
        auto controller = std::make_unique<PlayerController>();
        controller->play(liveStream(4), false);
        QTRY_VERIFY_WITH_TIMEOUT(controller->failed(), 20000);
        qInfo("refused for the limit: failure shown after %lld ms", clock.elapsed());
        QVERIFY(controller->limitReached());
        // libVLC may ask more than once per opening; four openings at least, a second apart.
        QCOMPARE_GE(m_lab->requestCount(QStringLiteral("live")) - before, 4);
        QCOMPARE_GE(clock.elapsed(), 2500);

        elsewhere.abort();
        QTRY_COMPARE(m_lab->activeConnections(), 0);
        controller->retry();
        QTRY_VERIFY_WITH_TIMEOUT(controller->isPlaying(), 30000);
        QVERIFY(!controller->limitReached());
    }

    // Requests and streams name the program, segments of a catch-up list included.
    void streamsNameTheProgram()
    {
        setConnections(1, 0);
        auto controller = std::make_unique<PlayerController>();
        controller->play(catchupStream(), true);
        QTRY_VERIFY_WITH_TIMEOUT(controller->isPlaying(), 30000);
        controller.reset();
        for (const QString &route : {QStringLiteral("timeshift"), QStringLiteral("hls")}) {
            const QByteArray agent = m_lab->userAgent(route);
            QVERIFY2(agent.startsWith("MAVU/") && !agent.contains("Mozilla"), qPrintable(route + u' ' + QString::fromUtf8(agent)));
        }
    }
};

QTEST_MAIN(TestEndToEndConnections)
#include "tst_endtoend_connections.moc"
