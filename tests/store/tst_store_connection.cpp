// Start-up, connecting a playlist, phases and refreshing.
#include "storefixture.h"

#include <QMutex>
#include <QSignalSpy>
#include <QtTest>

using namespace StoreTest;

namespace {

QStringList g_timing;
QMutex g_timingMutex; // catalogues log from the thread that receives them

void captureTiming(QtMsgType, const QMessageLogContext &context, const QString &message)
{
    if (context.category && QLatin1String(context.category) == QLatin1String("mavu.timing")) {
        const QMutexLocker lock(&g_timingMutex);
        g_timing.append(message);
    }
}

} // namespace

Q_DECLARE_METATYPE(std::optional<Playlist>)

class TestStoreConnection : public QObject
{
    Q_OBJECT

    std::unique_ptr<Fixture> f;

private Q_SLOTS:
    void init() { f = std::make_unique<Fixture>(); }
    void cleanup() { f.reset(); }

    void startChoosesThePlaylist_data()
    {
        QTest::addColumn<bool>("devicePlaylist");
        QTest::addColumn<QStringList>("saved"); // host, user, pass; fewer entries: keys missing
        QTest::addColumn<QString>("expectedHost");  // empty: no playlist
        QTest::addColumn<QString>("expectedUser");

        QTest::newRow("device only") << true << QStringList() << "http://device.test" << "du";
        QTest::newRow("saved overrides device") << true << QStringList{"http://saved.test", "su", "sp"} << "http://saved.test" << "su";
        QTest::newRow("one trailing slash trimmed") << true << QStringList{"http://saved.test/", "su", "sp"} << "http://saved.test" << "su";
        QTest::newRow("two slashes keep one") << false << QStringList{"http://saved.test//", "su", "sp"} << "http://saved.test/" << "su";
        QTest::newRow("saved without pass ignored") << true << QStringList{"http://saved.test", "su"} << "http://device.test" << "du";
        QTest::newRow("saved without pass, no device") << false << QStringList{"http://saved.test", "su"} << "" << "";
        QTest::newRow("nothing at all") << false << QStringList() << "" << "";
    }

    void startChoosesThePlaylist()
    {
        QFETCH(bool, devicePlaylist);
        QFETCH(QStringList, saved);
        QFETCH(QString, expectedHost);
        QFETCH(QString, expectedUser);

        const QString m3u = devicePlaylist ? QStringLiteral("http://device.test/get.php?username=du&password=dp&type=m3u") : QString();
        f->server().on(f->statusPath(), FakeServer::Reply::json(statusJson(m3u, {{"en", {}}})));
        if (!saved.isEmpty()) {
            QMap<QString, QString> dictionary;
            const QStringList keys{"host", "user", "pass"};
            for (int i = 0; i < saved.size(); ++i)
                dictionary.insert(keys[i], saved[i]);
            f->preferences()->setPlaylistDictionary(dictionary);
        }

        auto store = f->makeStore();
        QSignalSpy loaded(store.get(), &AppStore::statusLoadedChanged);
        await(store->start());

        QCOMPARE(loaded.count(), 1);
        QVERIFY(store->statusLoaded());
        QCOMPARE(store->phase(), AppStore::Phase::check);
        QCOMPARE(store->languages().size(), 1);
        QCOMPARE(store->hasPlaylist(), !expectedHost.isEmpty());
        if (store->playlist()) {
            QCOMPARE(store->playlist()->host, expectedHost);
            QCOMPARE(store->playlist()->username, expectedUser);
        }
        QVERIFY(f->server().requests().size() == 2); // status and themes, nothing from a provider
    }

    void themeIndexAfterStart_data()
    {
        QTest::addColumn<QVariant>("stored"); // invalid: unset
        QTest::addColumn<int>("themes");
        QTest::addColumn<int>("expected");

        QTest::newRow("beyond two themes") << QVariant(5) << 2 << 0;
        QTest::newRow("within") << QVariant(1) << 2 << 1;
        QTest::newRow("unset, no themes: 0 stored") << QVariant() << 0 << 0;
        QTest::newRow("negative is kept") << QVariant(-1) << 2 << -1;
    }

    void themeIndexAfterStart()
    {
        QFETCH(QVariant, stored);
        QFETCH(int, themes);
        QFETCH(int, expected);
        if (stored.isValid())
            f->preferences()->setThemeIndex(stored.toInt());
        f->server().on(f->themesPath(), FakeServer::Reply::json(themesJson(themes)));

        auto store = f->makeStore();
        await(store->start());
        QCOMPARE(store->themeIndex(), expected);
        QCOMPARE(store->themes().size(), themes);
        QCOMPARE(f->rawPreference("mavu.theme").toInt(), expected);
        QVERIFY(f->rawPreference("mavu.theme").isValid());
        QCOMPARE(store->hasPlaylist(), false); // the device service knows none
        QCOMPARE(f->makeStore()->themeIndex(), expected);
    }

    void connect_data()
    {
        QTest::addColumn<QByteArray>("live");
        QTest::addColumn<QByteArray>("movies");
        QTest::addColumn<bool>("succeeds");
        QTest::addColumn<QString>("error");

        const QByteArray some = categoriesJson({{"1", "A"}});
        const QString nothing = QStringLiteral("Couldn't reach that playlist. Check the address and credentials.");
        QTest::newRow("live categories") << some << QByteArray("[]") << true << QString();
        QTest::newRow("only movie categories") << QByteArray("[]") << some << true << QString();
        QTest::newRow("live answer not JSON, movies present") << QByteArray("<html>") << some << true << QString();
        QTest::newRow("neither") << QByteArray("[]") << QByteArray("[]") << false << nothing;
        QTest::newRow("live empty, movies not JSON: said as such")
            << QByteArray("{}") << QByteArray("oops") << false << QStringLiteral("The server's answer couldn't be read.");
        QTest::newRow("refused on the first answer: no second request")
            << QByteArray(R"({"user_info":{"auth":0}})") << some << false
            << QStringLiteral("The provider refused the user name or password.");
    }

    void connect()
    {
        QFETCH(QByteArray, live);
        QFETCH(QByteArray, movies);
        QFETCH(bool, succeeds);
        QFETCH(QString, error);
        f->serve("get_live_categories", live);
        f->serve("get_vod_categories", movies);
        f->serve("get_series_categories", categoriesJson({{"9", "Shows"}}));

        auto store = f->makeStore();
        QSignalSpy connecting(store.get(), &AppStore::connectingChanged);
        await(store->connect(f->playlist(), true));

        QCOMPARE(store->connecting(), false);
        QCOMPARE(connecting.count(), 2);
        QCOMPARE(f->requestsFor("get_series_categories"), 0);
        if (succeeds) {
            QCOMPARE(store->phase(), AppStore::Phase::home);
            QCOMPARE(store->playlist(), std::optional(f->playlist()));
            QVERIFY(!store->hasConnectError());
            QCOMPARE(f->requestsFor("get_vod_streams"), 1); // the home rows
        } else {
            QCOMPARE(store->phase(), AppStore::Phase::check);
            QVERIFY(!store->hasPlaylist());
            QCOMPARE(store->connectError(), std::optional(error));
            QVERIFY(!f->preferences()->playlistDictionary());
            if (live.contains("auth"))
                QCOMPARE(f->requestsFor("get_vod_categories"), 0);
        }
    }

    void persistedPlaylistSurvivesARestart_data()
    {
        QTest::addColumn<bool>("persist");
        QTest::newRow("persisted") << true;
        QTest::newRow("not persisted") << false;
    }

    void persistedPlaylistSurvivesARestart()
    {
        QFETCH(bool, persist);
        const Playlist playlist = f->playlist(QStringLiteral("jo doe"), QStringLiteral("p&ss=w/rd"));
        await(f->makeStore()->connect(playlist, persist));

        auto again = f->makeStore();
        await(again->start());
        QCOMPARE(again->hasPlaylist(), persist);
        if (persist)
            QCOMPARE(*again->playlist(), playlist);
        else
            QVERIFY(!f->rawPreference("mavu.playlist/host").isValid());
    }

    void connectingAgainReplacesTheLibrary()
    {
        f->serve("get_vod_categories", categoriesJson({{"1", "Films"}}));
        f->serve("get_vod_streams", moviesJson({{.id = "m1", .name = "Film"}}));
        auto store = f->connectedStore();
        await(store->openSection(Section::movies));
        QCOMPARE(idsOf(store->items()), QStringList{"m1"});
        store->changePlaylist();
        QVERIFY(store->checkCanGoBack());

        await(store->connect(f->playlist(QStringLiteral("other")), false));
        QCOMPARE(store->phase(), AppStore::Phase::home);
        QVERIFY(!store->checkCanGoBack());
        QVERIFY(store->categories().isEmpty());
        QVERIFY(store->items().isEmpty());
        QCOMPARE(f->requestsFor("get_vod_streams"), 2); // the cache was emptied and loaded again
        QCOMPARE(store->playlist()->username, QStringLiteral("other"));
    }

    void refresh_data()
    {
        QTest::addColumn<bool>("inSection");
        QTest::addColumn<QStringList>("asked");
        QTest::addColumn<QStringList>("notAsked");
        QTest::newRow("home") << false << QStringList{"get_vod_streams", "get_series"}
                              << QStringList{"get_vod_categories", "get_live_streams"};
        QTest::newRow("movie section") << true << QStringList{"get_vod_categories", "get_vod_streams"}
                                       << QStringList{"get_series", "get_live_streams"};
    }

    void refresh()
    {
        QFETCH(bool, inSection);
        QFETCH(QStringList, asked);
        QFETCH(QStringList, notAsked);
        f->serve("get_vod_streams", moviesJson({{.id = "m1", .name = "Film", .added = "5"}}));
        f->serve("get_series", showsJson({{.id = "s1", .name = "Show"}}));
        auto store = f->connectedStore();
        if (inSection)
            await(store->openSection(Section::movies));
        // The tasks that connecting started have asked what they ask.
        QTRY_COMPARE(f->server().requestsTo(f->statusPath()).size(), 1);
        QTRY_COMPARE(f->accountRequests(), 1);
        f->server().clearRequests();

        await(store->refresh());
        for (const QString &action : asked)
            QVERIFY2(f->requestsFor(action) == 1, qPrintable(action));
        for (const QString &action : notAsked)
            QVERIFY2(f->requestsFor(action) == 0, qPrintable(action));
        QTRY_COMPARE(f->server().requestsTo(f->statusPath()).size(), 1); // the words are reloaded
        QCOMPARE(store->latestMovies().isEmpty(), inSection);
        QCOMPARE(store->allSeries().isEmpty(), inSection); // other sections wait until opened
        QCOMPARE(store->allVods().size(), 1);
        if (!inSection)
            QTRY_COMPARE(f->accountRequests(), 1); // the expiry is loaded again
    }

    void goHomeEndsPlayback()
    {
        f->serve("get_live_streams", channelsJson({{.id = "c1", .name = "One", .archive = true}}));
        auto store = f->connectedStore();
        await(store->openSection(Section::live)); // starts the first channel
        QVERIFY(store->hasNowPlaying());
        await(store->openCatchup());
        QVERIFY(store->catchupOpen());
        await(store->openDetail(MediaItem{.id = "m", .kind = MediaItem::Kind::movie}));

        store->goHome();
        QCOMPARE(store->phase(), AppStore::Phase::home);
        QVERIFY(!store->hasNowPlaying());
        QVERIFY(!store->nowPlayingURL());
        QVERIFY(!store->hasNowPlayingEpisode());
        QVERIFY(store->nowPlayingTitle().isEmpty());
        QVERIFY(store->epgNowNext().isEmpty());
        QVERIFY(!store->hasCatchupURLBuilder());
        QVERIFY(!store->catchupOpen());
        QVERIFY(!store->hasDetailItem());
    }

    // Every waiting operation finds the store gone when its answer arrives, and leaves it be.
    void storeGoneBeforeTheAnswer_data()
    {
        QTest::addColumn<int>("operation");
        for (int i = 0; i < 8; ++i)
            QTest::newRow(qPrintable(QString::number(i))) << i;
    }

    void storeGoneBeforeTheAnswer()
    {
        QFETCH(int, operation);
        f->serve("get_live_streams", channelsJson({{.id = "c1", .name = "One", .archive = true}}));
        auto store = f->connectedStore();
        await(store->openSection(Section::live));
        FakeServer::Reply slow = FakeServer::Reply::json("[]");
        slow.delay = std::chrono::milliseconds(100);
        f->server().setFallback(slow);
        for (const char *action : {"get_live_categories", "get_vod_categories", "get_series_categories", "get_live_streams",
                                   "get_vod_streams", "get_series", "get_vod_info", "get_short_epg", "get_simple_data_table"})
            f->server().onAction(action, slow);
        f->server().on(f->statusPath(), slow);
        f->server().on(f->themesPath(), slow);
        f->server().clearRequests();

        const MediaItem channel = *store->nowPlaying();
        switch (operation) {
        case 0: store->runStart(); break;
        case 1: store->runConnect(f->playlist().host, "u", "p", true); break;
        case 2: store->runOpenSection(Section::movies); break;
        case 3: store->runOpenDetail(MediaItem{.id = "m", .kind = MediaItem::Kind::movie}); break;
        case 4: store->runPlay(channel); break;
        case 5: store->runOpenCatchup(); break;
        case 6: store->runRefresh(); break;
        case 7: store->runAllCategories(Section::series); break;
        }
        QTRY_VERIFY(!f->server().requests().isEmpty());
        store.reset();
        QTest::qWait(250); // the answers arrive and resume into nothing
    }

    // The timing log of a start names each phase, in the order they happen, with the milliseconds
    // since START; never the account, in any spelling.
    void timingOfAStart_data()
    {
        QTest::addColumn<bool>("manual");
        QTest::addColumn<QStringList>("phases"); // in this order, among others
        QTest::newRow("START") << false
                               << QStringList{"first byte account", "last byte account", "decoded account", "account",
                                              "sorted home rows"};
        QTest::newRow("the manual form") << true
                                         << QStringList{"last byte get_live_categories", "categories", "decoded get_series",
                                                        "sorted home rows"};
    }

    void timingOfAStart()
    {
        QFETCH(bool, manual);
        QFETCH(QStringList, phases);
        const QString user = QStringLiteral("Zelda Q"), password = QStringLiteral("Pa55+w/rd&x=y");
        f->serve(QStringLiteral("get_vod_streams"), moviesJson({{"1", "One", "1", "1600000000"}}));
        f->serve(QStringLiteral("get_series"), showsJson({{"9", "Nine", "1", "1600000000"}}));
        f->server().on(QStringLiteral("/player_api.php"), FakeServer::Reply::json(R"({"user_info":{"exp_date":"0"}})"));

        g_timing.clear();
        QLoggingCategory::setFilterRules(QStringLiteral("mavu.timing.debug=true"));
        const QtMessageHandler previous = qInstallMessageHandler(captureTiming);
        std::unique_ptr<AppStore> store;
        if (manual) {
            store = f->makeStore();
            await(store->connect(f->playlist(user, password), false));
        } else {
            store = f->startedStore(f->playlist(user, password));
            await(store->enterBrowse());
        }
        QTRY_VERIFY(!store->loadingHome());
        qInstallMessageHandler(previous);
        QLoggingCategory::setFilterRules(QString());

        QCOMPARE(store->latestMovies().size(), 1);
        QMutexLocker lock(&g_timingMutex);
        const QString all = g_timing.join(QLatin1Char('\n'));
        qsizetype from = 0;
        for (const QString &phase : phases) {
            const qsizetype at = all.indexOf(QRegularExpression(QLatin1Char('^') + QRegularExpression::escape(phase)
                                                                + QStringLiteral(" [0-9]+\\.[0-9] ms$"),
                                                                QRegularExpression::MultilineOption),
                                             from);
            QVERIFY2(at >= 0, qPrintable(phase + QStringLiteral(" missing or out of order in:\n") + all));
            from = at + 1;
        }
        for (const QString &secret : {user, password, QString::fromLatin1(QUrl::toPercentEncoding(password))})
            QVERIFY2(!all.contains(secret), qPrintable(all));
    }
};

QTEST_GUILESS_MAIN(TestStoreConnection)
#include "tst_store_connection.moc"
