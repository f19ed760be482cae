#include "api/mavuapi.h"
#include "api/network.h"
#include "support/fakeserver.h"
#include "support/testsupport.h"

#include <QTcpServer>
#include <QtTest>

using TestSupport::await;

Q_DECLARE_METATYPE(FakeServer::Reply)
Q_DECLARE_METATYPE(std::optional<QString>)

// The provider requests over real HTTP against the fake server.
class TestApi : public QObject
{
    Q_OBJECT

    FakeServer *m_server = nullptr;
    Playlist m_playlist;

private Q_SLOTS:
    void init()
    {
        m_server = new FakeServer(this);
        m_playlist = Playlist{m_server->start(), QStringLiteral("user"), QStringLiteral("pass")};
    }

    void cleanup()
    {
        delete m_server;
        Network::testing::setTransferTimeout(std::chrono::seconds(20));
    }

    void requestShape()
    {
        m_server->onAction(QStringLiteral("get_vod_streams"), FakeServer::Reply::json(R"([{"stream_id":1,"name":"A"}])"));
        const auto items = await(MavuAPI::vodStreams(m_playlist, QStringLiteral("12")));
        QCOMPARE(items.size(), 1);
        QCOMPARE(m_server->requests().size(), 1);
        const auto &request = m_server->requests().first();
        QCOMPARE(request.path, QStringLiteral("/player_api.php"));
        QCOMPARE(request.queryNames(), QStringList({"username", "password", "action", "category_id"}));
        QCOMPARE(request.queryValue(QStringLiteral("category_id")), std::optional(QStringLiteral("12")));
        QCOMPARE(request.header("Accept"), QByteArray("application/json"));
        QVERIFY(request.header("Cookie").isEmpty());
        QVERIFY(request.header("Authorization").isEmpty());
    }

    void categoryParameter_data()
    {
        QTest::addColumn<std::optional<QString>>("category");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("absent: whole section") << std::optional<QString>() << QStringList({"username", "password", "action"});
        QTest::newRow("empty: sent empty") << std::optional(QString()) << QStringList({"username", "password", "action", "category_id"});
    }

    void categoryParameter()
    {
        QFETCH(std::optional<QString>, category);
        await(MavuAPI::liveStreams(m_playlist, category));
        await(MavuAPI::series(m_playlist, category));
        QCOMPARE(m_server->requests().size(), 2);
        for (const auto &request : m_server->requests()) {
            QTEST(request.queryNames(), "names");
            if (category)
                QCOMPARE(request.queryValue(QStringLiteral("category_id")), std::optional(QString()));
        }
        QCOMPARE(m_server->requests()[0].queryValue(QStringLiteral("action")), std::optional(QStringLiteral("get_live_streams")));
        QCOMPARE(m_server->requests()[1].queryValue(QStringLiteral("action")), std::optional(QStringLiteral("get_series")));
    }

    void guideRequests()
    {
        const QByteArray listing = R"({"epg_listings":[{"id":"1","title":"VGl0bGU=","start":"2024-05-01 20:15:00"}]})";
        m_server->onAction(QStringLiteral("get_short_epg"), FakeServer::Reply::json(listing));
        m_server->onAction(QStringLiteral("get_simple_data_table"), FakeServer::Reply::json(listing));
        const auto shortList = await(MavuAPI::shortEPG(m_playlist, QStringLiteral("42")));
        const auto fullList = await(MavuAPI::fullEPG(m_playlist, QStringLiteral("42")));
        QCOMPARE(shortList.size(), 1);
        QCOMPARE(shortList, fullList);
        QCOMPARE(shortList[0].title, QStringLiteral("Title"));
        const auto shortRequest = *m_server->lastAction(QStringLiteral("get_short_epg"));
        QCOMPARE(shortRequest.queryNames(), QStringList({"username", "password", "action", "limit", "stream_id"}));
        QCOMPARE(shortRequest.queryValue(QStringLiteral("limit")), std::optional(QStringLiteral("4")));
        QCOMPARE(shortRequest.queryValue(QStringLiteral("stream_id")), std::optional(QStringLiteral("42")));
        const auto fullRequest = *m_server->lastAction(QStringLiteral("get_simple_data_table"));
        QCOMPARE(fullRequest.queryNames(), QStringList({"username", "password", "action", "stream_id"}));
    }

    void detailRequests()
    {
        m_server->onAction(QStringLiteral("get_vod_info"), FakeServer::Reply::json(R"({"info":{"plot":"Plot"}})"));
        m_server->onAction(QStringLiteral("get_series_info"), FakeServer::Reply::json(R"({"info":{"youtube_trailer":"t"}})"));
        QCOMPARE(await(MavuAPI::vodInfo(m_playlist, QStringLiteral("5"))).plot, QStringLiteral("Plot"));
        QCOMPARE(await(MavuAPI::seriesInfo(m_playlist, QStringLiteral("6"))).trailer, QStringLiteral("t"));
        QCOMPARE(m_server->lastAction(QStringLiteral("get_vod_info"))->queryValue(QStringLiteral("vod_id")), std::optional(QStringLiteral("5")));
        QCOMPARE(m_server->lastAction(QStringLiteral("get_series_info"))->queryValue(QStringLiteral("series_id")),
                 std::optional(QStringLiteral("6")));
    }

    void accountRequest()
    {
        m_server->on(QStringLiteral("/player_api.php"), FakeServer::Reply::json(R"({"user_info":{"exp_date":"1767225600"}})"));
        QCOMPARE(await(MavuAPI::playlistExpiry(m_playlist)), std::optional<qint64>(1767225600));
        QCOMPARE(m_server->requests().first().queryNames(), QStringList({"username", "password"}));
    }

    // Whatever the password holds reaches the server as exactly that text, "+" included.
    void credentialsArriveIntact_data()
    {
        QTest::addColumn<QString>("password");
        for (const QString &password : {QStringLiteral("a&b"), QStringLiteral("a=b"), QStringLiteral("a#b"), QStringLiteral("50%off"),
                                        QStringLiteral("two words"), QStringLiteral("a+b"), QStringLiteral("grüße€"),
                                        QStringLiteral("&=#% +ü")})
            QTest::newRow(qPrintable(password)) << password;
    }

    void credentialsArriveIntact()
    {
        QFETCH(QString, password);
        const Playlist playlist{m_playlist.host, QStringLiteral("us er+"), password};
        await(MavuAPI::categories(playlist, QStringLiteral("get_live_categories")));
        await(MavuAPI::playlistExpiry(playlist));
        QCOMPARE(m_server->requests().size(), 2);
        for (const auto &request : m_server->requests()) {
            QCOMPARE(request.queryValue(QStringLiteral("password")), std::optional(password));
            QCOMPARE(request.queryValue(QStringLiteral("username")), std::optional(QStringLiteral("us er+")));
        }
    }

    // One pass over the shared fetch path's failures; each gives the empty answer.
    void failureMatrix_data()
    {
        QTest::addColumn<FakeServer::Reply>("reply");
        QTest::addColumn<int>("count");
        QTest::newRow("200 list") << FakeServer::Reply::json(R"([{"category_id":"1","category_name":"A"}])") << 1;
        QTest::newRow("401 with JSON body is decoded") << FakeServer::Reply::json(R"([{"category_id":"1"}])", 401) << 1;
        QTest::newRow("404 with JSON body is decoded") << FakeServer::Reply::json(R"([{"category_id":"1"}])", 404) << 1;
        QTest::newRow("401 with account-shaped object") << FakeServer::Reply::json(R"({"user_info":{"auth":0}})", 401) << 0;
        // Every status that arrives with a body has that body read.
        for (const int status : {400, 403, 407, 418, 429, 500, 503}) {
            QTest::addRow("%d with JSON body is decoded", status) << FakeServer::Reply::json(R"([{"category_id":"1"}])", status) << 1;
        }
        FakeServer::Reply bom = FakeServer::Reply::json("\xEF\xBB\xBF" R"([{"category_id":"1"}])");
        QTest::newRow("byte-order mark before the JSON") << bom << 1;
        FakeServer::Reply noLocation = FakeServer::Reply::json(R"([{"category_id":"1"}])", 302);
        QTest::newRow("302 without a place to go") << noLocation << 1;
        FakeServer::Reply choices = FakeServer::Reply::json(R"([{"category_id":"1"}])", 300);
        QTest::newRow("300 is not followed") << choices << 1;
        FakeServer::Reply elsewhere = FakeServer::Reply::json(R"([{"category_id":"1"}])", 302);
        elsewhere.headers = {{"Location", "ftp://127.0.0.1/categories"}};
        QTest::newRow("302 to an address that is not fetched") << elsewhere << 1;
        for (const int status : {301, 302, 303, 307, 308}) {
            FakeServer::Reply followed = FakeServer::Reply::json(R"({"not":"this"})", status);
            followed.headers = {{"Location", "/moved.json"}};
            QTest::addRow("%d followed to its answer", status) << followed << 2;
        }
        FakeServer::Reply loop = FakeServer::Reply::json(R"([{"category_id":"1"}])", 302);
        loop.headers = {{"Location", "/player_api.php?action=get_vod_categories"}};
        QTest::newRow("a redirect to itself ends, with its own body") << loop << 1;
        FakeServer::Reply html = FakeServer::Reply::json("<html><body>Internal Server Error</body></html>", 500);
        html.contentType = "text/html";
        QTest::newRow("500 with HTML") << html << 0;
        QTest::newRow("array with null") << FakeServer::Reply::json(R"([{"category_id":"1"},null])") << 0;
        QTest::newRow("object instead of array") << FakeServer::Reply::json(R"({"category_id":"1"})") << 0;
        QTest::newRow("text answer") << FakeServer::Reply::json(R"("nope")") << 0;
        FakeServer::Reply cut = FakeServer::Reply::json(R"([{"category_id":"1","category_name":"A"}])");
        cut.cutAfter = 10;
        QTest::newRow("body cut off") << cut << 0;
        FakeServer::Reply slowButInTime = FakeServer::Reply::json(R"([{"category_id":"1"}])");
        slowButInTime.delay = std::chrono::milliseconds(200);
        QTest::newRow("slow but in time") << slowButInTime << 1;
        FakeServer::Reply silent;
        silent.never = true;
        QTest::newRow("time-out") << silent << 0;
    }

    void failureMatrix()
    {
        QFETCH(FakeServer::Reply, reply);
        Network::testing::setTransferTimeout(std::chrono::milliseconds(600));
        m_server->onAction(QStringLiteral("get_vod_categories"), reply);
        m_server->on(QStringLiteral("/moved.json"), FakeServer::Reply::json(R"([{"category_id":"1"},{"category_id":"2"}])"));
        QElapsedTimer clock;
        clock.start();
        QTEST(int(await(MavuAPI::categories(m_playlist, QStringLiteral("get_vod_categories"))).size()), "count");
        QVERIFY(clock.elapsed() < 5000);
    }

    void noAddressSendsNothing_data()
    {
        QTest::addColumn<QString>("host");
        QTest::newRow("blank inside") << QStringLiteral("http://bad host");
        QTest::newRow("empty") << QString();
        QTest::newRow("no scheme") << QStringLiteral("127.0.0.1:%1").arg(0);
        QTest::newRow("other scheme") << QStringLiteral("ftp://127.0.0.1");
    }

    void noAddressSendsNothing()
    {
        QFETCH(QString, host);
        const Playlist playlist{host, QStringLiteral("u"), QStringLiteral("p")};
        QVERIFY(await(MavuAPI::liveStreams(playlist)).isEmpty());
        QVERIFY(!await(MavuAPI::playlistExpiry(playlist)));
        QVERIFY(await(MavuAPI::vodInfo(playlist, QStringLiteral("1"))).plot.isEmpty());
        QVERIFY(m_server->requests().isEmpty());
    }

    void connectionRefused()
    {
        QTcpServer probe; // a port that was free a moment ago and is closed now
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 port = probe.serverPort();
        probe.close();
        const Playlist playlist{QStringLiteral("http://127.0.0.1:%1").arg(port), QStringLiteral("u"), QStringLiteral("p")};
        QVERIFY(await(MavuAPI::categories(playlist, QStringLiteral("get_live_categories"))).isEmpty());
        QVERIFY(await(MavuAPI::seriesInfo(playlist, QStringLiteral("1"))).seasons.isEmpty());
    }

    void concurrentRequestsEachGetTheirAnswer()
    {
        m_server->onAction(QStringLiteral("get_live_categories"), FakeServer::Reply::json(R"([{"category_id":"L"}])"));
        FakeServer::Reply slow = FakeServer::Reply::json(R"([{"category_id":"V"}])");
        slow.delay = std::chrono::milliseconds(150);
        m_server->onAction(QStringLiteral("get_vod_categories"), slow);
        auto both = [this]() -> QCoro::Task<QStringList> {
            auto vod = MavuAPI::categories(m_playlist, QStringLiteral("get_vod_categories"));
            auto live = MavuAPI::categories(m_playlist, QStringLiteral("get_live_categories"));
            const auto liveList = co_await live;
            const auto vodList = co_await vod;
            co_return QStringList{liveList.value(0).id, vodList.value(0).id};
        };
        QCOMPARE(await(both()), QStringList({"L", "V"}));
    }

    void resumesOnTheCallingThread()
    {
        m_server->onAction(QStringLiteral("get_vod_streams"), FakeServer::Reply::json(R"([{"name":"A"}])"));
        auto check = [this]() -> QCoro::Task<bool> {
            co_await MavuAPI::vodStreams(m_playlist);
            co_return QThread::currentThread() == QCoreApplication::instance()->thread();
        };
        QVERIFY(await(check()));
    }
};


QTEST_GUILESS_MAIN(TestApi)
#include "tst_api.moc"
