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
        Network::testing::resetLimits();
    }

    void requestShape()
    {
        m_server->onAction(QStringLiteral("get_vod_streams"), FakeServer::Reply::json(R"([{"stream_id":1,"name":"A"}])"));
        const auto items = await(MavuAPI::vodStreams(m_playlist, QStringLiteral("12")));
        QCOMPARE(items->size(), 1);
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
        const auto shortList = await(MavuAPI::shortEPG(m_playlist, QStringLiteral("42"))).value();
        const auto fullList = await(MavuAPI::fullEPG(m_playlist, QStringLiteral("42"))).value();
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
        QCOMPARE(await(MavuAPI::vodInfo(m_playlist, QStringLiteral("5")))->plot, QStringLiteral("Plot"));
        QCOMPARE(await(MavuAPI::seriesInfo(m_playlist, QStringLiteral("6")))->trailer, QStringLiteral("t"));
        QCOMPARE(m_server->lastAction(QStringLiteral("get_vod_info"))->queryValue(QStringLiteral("vod_id")), std::optional(QStringLiteral("5")));
        QCOMPARE(m_server->lastAction(QStringLiteral("get_series_info"))->queryValue(QStringLiteral("series_id")),
                 std::optional(QStringLiteral("6")));
    }

    void accountRequest()
    {
        m_server->on(QStringLiteral("/player_api.php"), FakeServer::Reply::json(R"({"user_info":{"exp_date":"1767225600"}})"));
        QCOMPARE(await(MavuAPI::playlistExpiry(m_playlist)).value(), std::optional<qint64>(1767225600));
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

    // One pass over the shared fetch path: each answer gives its categories or the failure
    // the user is told about. "outcome" is the number of categories, or the failure's kind.
    void failureMatrix_data()
    {
        QTest::addColumn<FakeServer::Reply>("reply");
        QTest::addColumn<QString>("outcome");
        const QByteArray one = R"([{"category_id":"1","category_name":"A"}])";
        QTest::newRow("200 list") << FakeServer::Reply::json(one) << "1";
        QTest::newRow("404 with JSON body is decoded") << FakeServer::Reply::json(one, 404) << "1";
        for (const int status : {400, 407, 418, 429})
            QTest::addRow("%d with JSON body is decoded", status) << FakeServer::Reply::json(one, status) << "1";
        for (const int status : {401, 403})
            QTest::addRow("%d refuses the credentials", status) << FakeServer::Reply::json(one, status) << "credentialsRefused";
        for (const int status : {500, 502, 503})
            QTest::addRow("%d is the server failing", status) << FakeServer::Reply::json(one, status) << "serverFailed";
        QTest::newRow("200 with the account's refusal")
            << FakeServer::Reply::json(R"({"user_info":{"auth":0,"status":"Disabled"}})") << "credentialsRefused";
        QTest::newRow("200 with an account that is fine is no list")
            << FakeServer::Reply::json(R"({"user_info":{"auth":1}})") << "0";
        FakeServer::Reply bom = FakeServer::Reply::json("\xEF\xBB\xBF" R"([{"category_id":"1"}])");
        QTest::newRow("byte-order mark before the JSON") << bom << "1";
        QTest::newRow("302 without a place to go") << FakeServer::Reply::json(one, 302) << "serverFailed";
        QTest::newRow("300 is not followed") << FakeServer::Reply::json(one, 300) << "1";
        FakeServer::Reply elsewhere = FakeServer::Reply::json(one, 302);
        elsewhere.headers = {{"Location", "ftp://127.0.0.1/categories"}};
        QTest::newRow("302 to ftp is not followed") << elsewhere << "serverFailed";
        FakeServer::Reply toFile = FakeServer::Reply::json(one, 307);
        toFile.headers = {{"Location", "file:///etc/passwd"}};
        QTest::newRow("307 to a file is not followed") << toFile << "serverFailed";
        for (const int status : {301, 302, 303, 307, 308}) {
            FakeServer::Reply followed = FakeServer::Reply::json(R"({"not":"this"})", status);
            followed.headers = {{"Location", "/moved.json"}};
            QTest::addRow("%d followed to its answer", status) << followed << "2";
        }
        FakeServer::Reply loop = FakeServer::Reply::json(one, 302);
        loop.headers = {{"Location", "/player_api.php?action=get_vod_categories"}};
        QTest::newRow("a redirect loop ends") << loop << "serverFailed";
        FakeServer::Reply html = FakeServer::Reply::json("<html><body>Internal Server Error</body></html>", 500);
        html.contentType = "text/html";
        QTest::newRow("500 with HTML") << html << "serverFailed";
        FakeServer::Reply page = FakeServer::Reply::json("<html><body>Welcome</body></html>");
        page.contentType = "text/html";
        QTest::newRow("200 with HTML") << page << "notUnderstood";
        QTest::newRow("empty body") << FakeServer::Reply::json("") << "notUnderstood";
        QTest::newRow("array with null: decoded leniently") << FakeServer::Reply::json(R"([{"category_id":"1"},null])") << "0";
        QTest::newRow("object instead of array") << FakeServer::Reply::json(R"({"category_id":"1"})") << "0";
        QTest::newRow("text answer") << FakeServer::Reply::json(R"("nope")") << "notUnderstood";
        FakeServer::Reply cut = FakeServer::Reply::json(one);
        cut.cutAfter = 10;
        QTest::newRow("body cut off") << cut << "serverFailed";
        FakeServer::Reply slowButInTime = FakeServer::Reply::json(one);
        slowButInTime.delay = std::chrono::milliseconds(200);
        QTest::newRow("slow but in time") << slowButInTime << "1";
        FakeServer::Reply silent;
        silent.never = true;
        QTest::newRow("time-out") << silent << "timedOut";
    }

    void failureMatrix()
    {
        QFETCH(FakeServer::Reply, reply);
        QFETCH(QString, outcome);
        Network::testing::setTransferTimeout(std::chrono::milliseconds(600));
        m_server->onAction(QStringLiteral("get_vod_categories"), reply);
        m_server->on(QStringLiteral("/moved.json"), FakeServer::Reply::json(R"([{"category_id":"1"},{"category_id":"2"}])"));
        QElapsedTimer clock;
        clock.start();
        const Result<QList<Category>> answer = await(MavuAPI::categories(m_playlist, QStringLiteral("get_vod_categories")));
        const QString got = answer ? QString::number(answer->size()) : QString::fromLatin1(Failure::kindName(answer.failure().kind));
        QCOMPARE(got, outcome);
        QVERIFY(clock.elapsed() < 5000);
        // The status a failure came with is kept for the words ("error 503").
        if (!answer && reply.status >= 500 && reply.cutAfter == std::nullopt && !reply.never)
            QCOMPARE(answer.failure().httpStatus, reply.status);
    }

    // The device service speaks of no accounts: its "user_info" is not a refusal.
    void deviceServiceHasNoAccount()
    {
        MavuAPI::testing::setDeviceServiceBase(m_server->base());
        m_server->setFallback(FakeServer::Reply::json(R"({"user_info":{"auth":0},"languages":[]})"));
        QVERIFY(await(MavuAPI::deviceStatus(QStringLiteral("00:11:22:33:44:55"))).ok());
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
        QCOMPARE(await(MavuAPI::liveStreams(playlist)).failure().kind, Failure::Kind::unreachable);
        QCOMPARE(await(MavuAPI::playlistExpiry(playlist)).failure().kind, Failure::Kind::unreachable);
        QCOMPARE(await(MavuAPI::vodInfo(playlist, QStringLiteral("1"))).failure().kind, Failure::Kind::unreachable);
        QVERIFY(m_server->requests().isEmpty());
    }

    void connectionRefused()
    {
        QTcpServer probe; // a port that was free a moment ago and is closed now
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 port = probe.serverPort();
        probe.close();
        const Playlist playlist{QStringLiteral("http://127.0.0.1:%1").arg(port), QStringLiteral("u"), QStringLiteral("p")};
        const auto categories = await(MavuAPI::categories(playlist, QStringLiteral("get_live_categories")));
        QVERIFY(!categories);
        QCOMPARE(categories.failure().kind, Failure::Kind::unreachable);
        QCOMPARE(await(MavuAPI::seriesInfo(playlist, QStringLiteral("1"))).failure().kind, Failure::Kind::unreachable);
    }

    // What each kind says: a sentence a user understands, never a credential, never empty.
    void failureWords_data()
    {
        QTest::addColumn<Failure>("failure");
        QTest::addColumn<QString>("words");
        using K = Failure::Kind;
        QTest::newRow("unreachable") << Failure{K::unreachable} << "Couldn't reach the server. Check the connection and the address.";
        QTest::newRow("timed out") << Failure{K::timedOut} << "The server took too long to answer.";
        QTest::newRow("refused") << Failure{K::credentialsRefused, 401} << "The provider refused the user name or password.";
        QTest::newRow("503 named") << Failure{K::serverFailed, 503} << "The server ran into a problem (error 503).";
        QTest::newRow("broken off: no status named") << Failure{K::serverFailed, 200} << "The server ran into a problem.";
        QTest::newRow("302 not named") << Failure{K::serverFailed, 302} << "The server ran into a problem.";
        QTest::newRow("not understood") << Failure{K::notUnderstood, 200} << "The server's answer couldn't be read.";
        QTest::newRow("too large") << Failure{K::tooLarge} << "The server's answer was too large.";
        QTest::newRow("cancelled") << Failure{K::cancelled} << "Cancelled.";
    }

    void failureWords()
    {
        QFETCH(Failure, failure);
        QTEST(failure.text(), "words");
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
            co_return QStringList{liveList->value(0).id, vodList->value(0).id};
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
