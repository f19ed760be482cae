// What the store keeps when a request fails, Retry, the credentials refused, cancelling a
// connection, shared catalogue downloads and answers that land too late.
#include "store/cataloguedownloads.h"
#include "storefixture.h"

#include <QSignalSpy>
#include <QtTest>

using namespace StoreTest;
using namespace std::chrono_literals;
using Place = Failures::Place;

Q_DECLARE_METATYPE(Failures::Place)

class TestStoreFailures : public QObject
{
    Q_OBJECT

    std::unique_ptr<Fixture> f;

    void fail(const QString &action, int status = 503) { f->server().onAction(action, FakeServer::Reply::json("{}", status)); }

    static MediaItem movie() { return MediaItem{.id = QStringLiteral("m1"), .name = QStringLiteral("M"), .kind = MediaItem::Kind::movie}; }
    static MediaItem channel()
    {
        return MediaItem{.id = QStringLiteral("c1"), .name = QStringLiteral("C"), .kind = MediaItem::Kind::live,
                         .containerExt = QStringLiteral("ts"), .tvArchive = true, .archiveDays = 2};
    }

    // Makes `place` fail once with a 503, as a user would meet it.
    std::unique_ptr<AppStore> failAt(Place place)
    {
        std::unique_ptr<AppStore> store;
        switch (place) {
        case Place::home:
            fail("get_vod_streams");
            store = f->connectedStore();
            break;
        case Place::categories:
            store = f->connectedStore();
            fail("get_live_categories");
            await(store->openSection(Section::live));
            break;
        case Place::items:
            store = f->connectedStore();
            fail("get_live_streams");
            await(store->openSection(Section::live));
            break;
        case Place::details:
            store = f->connectedStore();
            fail("get_vod_info");
            await(store->openDetail(movie()));
            break;
        case Place::catchup:
            store = f->connectedStore();
            await(store->play(channel()));
            fail("get_simple_data_table");
            await(store->openCatchup());
            break;
        case Place::deviceStatus:
            f->server().on(f->statusPath(), FakeServer::Reply::json("{}", 503));
            store = f->makeStore();
            await(store->start());
            break;
        case Place::connect:
            break;
        }
        return store;
    }

    // What the place shows once it works.
    void mend(Place place)
    {
        f->serve("get_vod_streams", moviesJson({{.id = "m1", .name = "M", .added = "100"}}));
        f->serve("get_live_categories", categoriesJson({{"1", "News"}}));
        f->serve("get_live_streams", channelsJson({{.id = "c1", .name = "C", .archive = true}}));
        f->serve("get_vod_info", R"({"info":{"plot":"Plot"}})");
        f->serve("get_simple_data_table", guideJson({programAgo("Earlier", 3)}));
        f->server().on(f->statusPath(), FakeServer::Reply::json(statusJson({}, {{"en", {}}})));
        Q_UNUSED(place);
    }

    static bool shows(const AppStore &store, Place place)
    {
        switch (place) {
        case Place::home: return store.latestMovies().size() == 1;
        case Place::categories: return store.categories().size() == 3 && store.categories().last().id == QLatin1String("1");
        case Place::items: return store.items().size() == 1;
        case Place::details: return store.vodInfo() && store.vodInfo()->plot == QLatin1String("Plot");
        case Place::catchup: return !store.catchupDays().isEmpty();
        case Place::deviceStatus: return store.languages().size() == 1;
        case Place::connect: break;
        }
        return false;
    }

private Q_SLOTS:
    void init() { f = std::make_unique<Fixture>(); }
    void cleanup() { f.reset(); }

    // Each place keeps its failure in words, shows no emptiness as if all were well, and its
    // Retry fetches again and clears it.
    void failureAndRetryPerPlace_data()
    {
        QTest::addColumn<Place>("place");
        QTest::newRow("home rows") << Place::home;
        QTest::newRow("category column") << Place::categories;
        QTest::newRow("channel list") << Place::items;
        QTest::newRow("detail screen") << Place::details;
        QTest::newRow("catch-up panel") << Place::catchup;
        QTest::newRow("device status") << Place::deviceStatus;
    }

    void failureAndRetryPerPlace()
    {
        QFETCH(Place, place);
        auto store = failAt(place);
        Failures &failures = *store->failures();
        QVERIFY(failures.at(place));
        QCOMPARE(failures.at(place)->kind, Failure::Kind::serverFailed);
        QCOMPARE(failures.at(place)->httpStatus, 503);
        const PlaceFailure shown = failures.shown(place);
        QVERIFY(shown.failed());
        QCOMPARE(shown.text(), place == Place::deviceStatus ? QStringLiteral("Couldn't reach the device service")
                                                           : QStringLiteral("The server ran into a problem (error 503)."));
        QVERIFY(!shows(*store, place));
        // Only that place failed.
        for (size_t other = 0; other < Failures::placeCount; ++other)
            QCOMPARE(bool(failures.at(Place(other))), Place(other) == place);

        mend(place);
        QSignalSpy changed(&failures, &Failures::homeChanged);
        failures.retry(place);
        QVERIFY(!failures.at(place));
        QTRY_VERIFY(shows(*store, place));
        QVERIFY(!failures.at(place));
    }

    // Themes are an extra, but a failed answer must not cost the user the theme they chose.
    void failedThemesKeepTheChosenTheme()
    {
        f->preferences()->setThemeIndex(2);
        f->server().on(f->themesPath(), FakeServer::Reply::json("{}", 503));
        auto store = f->makeStore();
        await(store->start());
        QVERIFY(store->themes().isEmpty());
        QCOMPARE(store->themeIndex(), 2);
        QCOMPARE(f->rawPreference("mavu.theme").toInt(), 2);
        QVERIFY(!store->failures()->at(Place::deviceStatus));
    }

    // Choosing a category again after the catalogue failed fetches it again: no empty list kept
    // as if the provider had nothing.
    void failedCatalogueIsFetchedAgain()
    {
        auto store = f->connectedStore();
        fail("get_live_streams");
        await(store->openSection(Section::live));
        QVERIFY(store->items().isEmpty());
        QVERIFY(store->failures()->at(Place::items));
        const int before = f->requestsFor("get_live_streams");
        f->serve("get_live_streams", channelsJson({{.id = "c1", .name = "C"}}));
        store->selectCategory(store->categories().last());
        QTRY_COMPARE(store->items().size(), 1);
        QCOMPARE(f->requestsFor("get_live_streams"), before + 1);
        QVERIFY(!store->failures()->at(Place::items));
        // Once loaded, choosing again asks nothing more.
        store->selectCategory(store->categories().last());
        QTRY_COMPARE(store->items().size(), 1);
        QCOMPARE(f->requestsFor("get_live_streams"), before + 1);
    }

    // A provider down for the whole section: the column and the list both say so, and the
    // list's Retry alone brings back both the categories and the first category's items.
    void oneRetryMendsCategoriesAndItems()
    {
        auto store = f->connectedStore();
        fail("get_live_categories");
        fail("get_live_streams");
        await(store->openSection(Section::live));
        QVERIFY(store->failures()->at(Place::categories));
        QVERIFY(store->failures()->at(Place::items));
        QCOMPARE(store->categories().size(), 2); // the favourites and the recently viewed stay

        mend(Place::items);
        store->failures()->retry(Place::items);
        QTRY_COMPARE(store->items().size(), 1);
        QTRY_VERIFY(!store->loadingCategories());
        QVERIFY(!store->failures()->at(Place::categories));
        QVERIFY(!store->failures()->at(Place::items));
        QCOMPARE(store->categories().last().name, QStringLiteral("News"));
        QVERIFY(store->hasSelectedCategory());
        QCOMPARE(store->selectedCategory()->id, QStringLiteral("1"));
    }

    // A provider that refuses the account sends the user to the check screen with the reason,
    // from wherever it happens, and never leaves an empty library behind.
    void credentialsRefusedLeadsToTheCheckScreen_data()
    {
        QTest::addColumn<QString>("where");
        QTest::newRow("entering the library: account says auth 0") << "enter";
        QTest::newRow("entering a saved playlist: 401") << "enter401";
        QTest::newRow("home rows: 401") << "home";
        QTest::newRow("a section's categories: 403") << "section";
    }

    void credentialsRefusedLeadsToTheCheckScreen()
    {
        QFETCH(QString, where);
        std::unique_ptr<AppStore> store;
        if (where.startsWith(QLatin1String("enter"))) {
            f->server().on(QStringLiteral("/player_api.php"), where == QLatin1String("enter")
                                                                   ? FakeServer::Reply::json(R"({"user_info":{"auth":0}})")
                                                                   : FakeServer::Reply::json("{}", 401));
            store = f->startedStore(f->playlist());
            await(store->enterBrowse());
        } else if (where == QLatin1String("home")) {
            fail("get_vod_streams", 401);
            store = f->connectedStore();
        } else {
            store = f->connectedStore();
            fail("get_vod_categories", 403);
            await(store->openSection(Section::movies));
        }
        QCOMPARE(store->phase(), AppStore::Phase::check);
        QCOMPARE(store->connectError(), std::optional(QStringLiteral("The provider refused the user name or password.")));
        QCOMPARE(store->failures()->at(Place::connect)->kind, Failure::Kind::credentialsRefused);
        QVERIFY(!store->connecting());
        QVERIFY(store->hasPlaylist()); // so that the user can try again or type another
        QCOMPARE(store->expiryText() == QLatin1String("Unlimited"), false);
        // The preferences are untouched: the next start tries the same playlist again.
        QVERIFY(f->preferences()->playlistDictionary() || where != QLatin1String("enter"));
    }

    // Connecting makes up to two requests in a row: together they stay within one deadline.
    void connectingHasOneDeadline()
    {
        Network::testing::setLimits(Network::Purpose::connecting, {5s, 700ms, 1024 * 1024});
        f->serve("get_live_categories", "[]", 450ms);
        f->serve("get_vod_categories", categoriesJson({{"1", "A"}}), 450ms);
        auto store = f->makeStore();
        QElapsedTimer clock;
        clock.start();
        await(store->connect(f->playlist(), false));
        QVERIFY2(clock.elapsed() < 700 + 1000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(store->phase(), AppStore::Phase::check);
        QCOMPARE(store->failures()->at(Place::connect)->kind, Failure::Kind::timedOut);
        QCOMPARE(store->connectError(), std::optional(QStringLiteral("The server took too long to answer.")));
    }

    // Cancel stops the attempt at once, says nothing went wrong, and a later attempt works.
    void cancelConnect_data()
    {
        QTest::addColumn<bool>("manual");
        QTest::newRow("the manual form") << true;
        QTest::newRow("START") << false;
    }

    void cancelConnect()
    {
        QFETCH(bool, manual);
        FakeServer::Reply silent;
        silent.never = true;
        f->server().onAction(QStringLiteral("get_live_categories"), silent);
        f->server().on(QStringLiteral("/player_api.php"), silent);
        std::unique_ptr<AppStore> store = manual ? f->makeStore() : f->startedStore(f->playlist());
        if (manual)
            store->runConnect(f->playlist().host, QStringLiteral("user"), QStringLiteral("pass"), false);
        else
            store->runEnterBrowse();
        QVERIFY(store->connecting());
        QTRY_VERIFY(!f->server().requests().isEmpty());
        QElapsedTimer clock;
        clock.start();
        store->cancelConnect();
        QVERIFY(!store->connecting());
        QVERIFY(clock.elapsed() < 50);
        QTest::qWait(100);
        QCOMPARE(store->phase(), AppStore::Phase::check);
        QVERIFY(!store->hasConnectError());
        QVERIFY(!store->failures()->at(Place::connect));

        f->serve("get_live_categories", categoriesJson({{"1", "News"}}));
        f->server().on(QStringLiteral("/player_api.php"), FakeServer::Reply::json(R"({"user_info":{"exp_date":null}})"));
        if (manual)
            await(store->connect(f->playlist(), false));
        else
            await(store->enterBrowse());
        QCOMPARE(store->phase(), AppStore::Phase::home);
    }

    // The home rows and the section want the same whole catalogue at the same time: one download.
    void oneDownloadPerCatalogue()
    {
        f->serve("get_vod_categories", categoriesJson({{"1", "A"}}));
        f->serve("get_vod_streams", moviesJson({{.id = "m1", .name = "M"}}), 300ms);
        auto store = f->makeStore();
        store->runConnect(f->playlist().host, QStringLiteral("user"), QStringLiteral("pass"), false);
        QTRY_VERIFY(store->phase() == AppStore::Phase::home);
        store->runOpenSection(Section::movies);
        QTRY_COMPARE(store->items().size(), 1);
        QTRY_COMPARE(store->latestMovies().size(), 1);
        QCOMPARE(f->requestsFor("get_vod_streams"), 1);
    }

    // A catalogue asked for before a refresh lands after it: it is dropped, and the rows are
    // filled from the download the refresh made.
    void answersFromBeforeARefreshAreDropped()
    {
        f->serve("get_vod_streams", moviesJson({{.id = "old", .name = "Old", .added = "1"}}), 400ms);
        auto store = f->makeStore();
        store->runConnect(f->playlist().host, QStringLiteral("user"), QStringLiteral("pass"), false);
        QTRY_VERIFY(f->requestsFor("get_vod_streams") == 1);
        f->serve("get_vod_streams", moviesJson({{.id = "new", .name = "New", .added = "2"}}), 100ms);
        await(store->refresh());
        QTRY_COMPARE(store->latestMovies().size(), 1);
        QTest::qWait(500); // the old answer has had its time to land
        QCOMPARE(idsOf(store->latestMovies()), QStringList{"new"});
        QCOMPARE(idsOf(store->allVods()), QStringList{"new"});
        QVERIFY(!store->failures()->at(Place::home));
    }
};

QTEST_GUILESS_MAIN(TestStoreFailures)
#include "tst_store_failures.moc"
