// The library kept across runs, as the store uses it: a start opens from the kept file while
// the provider's answers are still on their way, fresher answers replace what the screens show
// without moving them, and a refresh or another playlist drops the file.
#include "storefixture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

using namespace StoreTest;
using namespace std::chrono_literals;

namespace {

QStringList namesOf(const QList<MediaItem> &items)
{
    QStringList names;
    for (const MediaItem &item : items)
        names.append(item.name);
    names.sort();
    return names;
}

} // namespace

class TestStoreCatalogueCache : public QObject
{
    Q_OBJECT

    std::unique_ptr<Fixture> f;
    std::unique_ptr<TestSupport::TempFolder> m_cache;

    QString cacheFolder() const { return m_cache->file(QStringLiteral("catalogues")); }

    // Version `v` of the provider's library: every name says its version, and the second
    // version adds "Boom" to the second category of each section.
    void serveLibrary(int v, std::chrono::milliseconds delay = 0ms)
    {
        const QString tag = QStringLiteral(" v") + QString::number(v);
        const QByteArray categories = categoriesJson({{"1", "News" + tag}, {"2", "Sport" + tag}});
        for (const char *action : {"get_live_categories", "get_vod_categories", "get_series_categories"})
            f->serve(action, categories, delay);
        QList<Channel> channels{{.id = "c1", .name = "Alpha" + tag}, {.id = "c2", .name = "Beta" + tag, .category = "2"},
                                {.id = "c3", .name = "Bravo" + tag, .category = "2"}};
        QList<Movie> movies{{.id = "m1", .name = "Alpha" + tag, .added = "100"},
                            {.id = "m2", .name = "Beta" + tag, .category = "2", .added = "200"},
                            {.id = "m3", .name = "Bravo" + tag, .category = "2", .added = "300"}};
        QList<Show> shows{{.id = "s1", .name = "Alpha" + tag, .modified = "100"},
                          {.id = "s2", .name = "Beta" + tag, .category = "2", .modified = "200"},
                          {.id = "s3", .name = "Bravo" + tag, .category = "2", .modified = "300"}};
        if (v == 2) {
            channels.append({.id = "c4", .name = "Boom" + tag, .category = "2"});
            movies.append({.id = "m4", .name = "Boom" + tag, .category = "2", .added = "400"});
            shows.append({.id = "s4", .name = "Boom" + tag, .category = "2", .modified = "400"});
        }
        f->serve("get_live_streams", channelsJson(channels), delay);
        f->serve("get_vod_streams", moviesJson(movies), delay);
        f->serve("get_series", showsJson(shows), delay);
    }

    // A store as a start makes it, keeping catalogues, on the home screen after START.
    std::unique_ptr<AppStore> started(const Playlist &playlist)
    {
        auto store = f->startedStore(playlist);
        store->setCatalogueCacheFolder(cacheFolder());
        await(store->enterBrowse());
        return store;
    }

    std::optional<CatalogueCache::Snapshot> keptFile(const Playlist &playlist) const
    {
        return CatalogueCache::read(QDir(cacheFolder()).filePath(CatalogueCache::fileName(playlist)), playlist);
    }

    // Waits until the store has kept all three catalogues and their categories.
    bool keptWhole(AppStore &store, const Playlist &playlist, int version)
    {
        const QString tag = QStringLiteral(" v") + QString::number(version);
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 10000) {
            store.catalogueCache().waitForDone();
            // Reading refuses a damaged file by removing it: only read one that is there.
            if (QFile::exists(store.catalogueCache().filePath(playlist))) {
                const auto kept = keptFile(playlist);
                const bool whole = kept && std::all_of(kept->catalogues.cbegin(), kept->catalogues.cend(), [&](const auto &items) {
                    return items && !items->isEmpty() && items->first().name.endsWith(tag);
                }) && std::all_of(kept->categories.cbegin(), kept->categories.cend(), [&](const auto &list) {
                    return list && list->size() == 2 && list->first().name.endsWith(tag);
                });
                if (whole)
                    return true;
            }
            QTest::qWait(20);
        }
        return false;
    }

private Q_SLOTS:
    void init()
    {
        f = std::make_unique<Fixture>();
        m_cache = std::make_unique<TestSupport::TempFolder>();
        f->server().on(QStringLiteral("/player_api.php"), FakeServer::Reply::json(R"({"user_info":{"exp_date":null}})"));
    }
    void cleanup()
    {
        f.reset();
        m_cache.reset();
    }

    void warmStartThenRenewal_data()
    {
        QTest::addColumn<Section>("section");
        QTest::newRow("live") << Section::live;
        QTest::newRow("movies") << Section::movies;
        QTest::newRow("shows") << Section::series;
    }

    // The first run keeps its library; the next opens from it at once, then takes the
    // provider's newer answers with the category, the search and playback left as they were.
    void warmStartThenRenewal()
    {
        QFETCH(Section, section);
        const Playlist playlist = f->playlist();
        serveLibrary(1);
        {
            auto first = started(playlist);
            // Sections the first run never opened are fetched for the next one too.
            QVERIFY(keptWhole(*first, playlist, 1));
        }

        serveLibrary(2, 3000ms);
        QElapsedTimer clock;
        clock.start();
        auto store = started(playlist);
        QCOMPARE(namesOf(store->latestMovies()), QStringList({"Alpha v1", "Beta v1", "Bravo v1"}));
        QCOMPARE(namesOf(store->latestSeries()), QStringList({"Alpha v1", "Beta v1", "Bravo v1"}));
        QVERIFY(!store->loadingHome());
        await(store->openSection(section));
        QCOMPARE(store->categories().value(3).name, QStringLiteral("Sport v1"));
        store->selectCategory(store->categories().value(3));
        store->setSearchText(QStringLiteral("b"));
        QCOMPARE(namesOf(store->filteredItems()), QStringList({"Beta v1", "Bravo v1"}));
        if (section == Section::movies)
            await(store->play(store->filteredItems().first()));
        else if (section == Section::series)
            store->playEpisode(Episode{.id = QStringLiteral("e1"), .containerExt = QStringLiteral("mp4")}, store->filteredItems().first());
        // All of it before any catalogue answered.
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(store->hasNowPlaying());
        const MediaItem playing = *store->nowPlaying();
        const QUrl playingURL = *store->nowPlayingURL();

        QSignalSpy itemsReset(store->itemsModel(), &QAbstractItemModel::modelReset);
        QSignalSpy categoriesReset(store->categoriesModel(), &QAbstractItemModel::modelReset);
        QSignalSpy rowsReset(store->latestMoviesModel(), &QAbstractItemModel::modelReset);
        QSignalSpy itemsInserted(store->itemsModel(), &QAbstractItemModel::rowsInserted);
        QSignalSpy selection(store.get(), &AppStore::selectedCategoryChanged);
        QTRY_COMPARE_WITH_TIMEOUT(namesOf(store->filteredItems()), QStringList({"Beta v2", "Boom v2", "Bravo v2"}), 10000);
        QTRY_COMPARE(store->categories().value(3).name, QStringLiteral("Sport v2"));
        QTRY_COMPARE(namesOf(store->latestMovies()), QStringList({"Alpha v2", "Beta v2", "Boom v2", "Bravo v2"}));

        QCOMPARE(store->selectedCategory()->id, QStringLiteral("2"));
        QCOMPARE(store->searchText(), QStringLiteral("b"));
        QCOMPARE(*store->nowPlaying(), playing);
        QCOMPARE(*store->nowPlayingURL(), playingURL);
        QCOMPARE(store->phase(), AppStore::Phase::section);
        // Changed in place: the lists keep their scroll position and the new row comes in.
        QCOMPARE(itemsReset.size(), 0);
        QCOMPARE(categoriesReset.size(), 0);
        QCOMPARE(rowsReset.size(), 0);
        QCOMPARE(itemsInserted.size(), 1);
        // Renamed, not reselected: the grid was not loaded again.
        QCOMPARE(selection.size(), 1);
        // "All" comes from the renewed catalogue, not from an order kept for the one before.
        store->setSearchText(QString());
        store->selectCategory(Category{AppStore::allId, QStringLiteral("All")});
        QTRY_COMPARE(store->items().size(), 4);
        for (const MediaItem &item : store->items())
            QVERIFY2(item.name.endsWith(QLatin1String(" v2")), qPrintable(item.name));
        QVERIFY(keptWhole(*store, playlist, 2));
    }

    void renewalWhileTheOrderIsMade_data()
    {
        QTest::addColumn<bool>("allShown"); // the kept catalogue's "All" shown when the renewal lands
        QTest::newRow("All waiting for the kept catalogue's order") << false;
        QTest::newRow("All shown from the kept catalogue") << true;
    }

    // A renewal that lands while a long catalogue's order is made on a worker: "All" ends in
    // the renewed catalogue's order, never in one made for the catalogue before; a list already
    // shown stays until then and changes in place.
    void renewalWhileTheOrderIsMade()
    {
        QFETCH(bool, allShown);
        const Playlist playlist = f->playlist();
        serveLibrary(1);
        {
            auto first = started(playlist);
            QVERIFY(keptWhole(*first, playlist, 1));
        }
        serveLibrary(2, 2000ms);
        HeldOrderings held(Section::movies);
        auto store = started(playlist);
        store->runOpenSection(Section::movies);
        QTRY_VERIFY(store->selectedCategory().has_value());
        store->selectCategory(Category{AppStore::allId, QStringLiteral("All")});
        const QStringList kept{"m3", "m2", "m1"}; // newest first
        const QStringList renewed{"m4", "m3", "m2", "m1"};
        QSignalSpy itemsReset(store->itemsModel(), &QAbstractItemModel::modelReset);
        if (allShown) {
            held.release(1);
            QTRY_VERIFY(idsOf(store->items()) == kept || store->allVods().size() == 4);
            if (idsOf(store->items()) != kept)
                QSKIP("the renewal landed before the kept catalogue's list was shown");
            itemsReset.clear();
        }
        QTRY_COMPARE(store->allVods().size(), 4);
        // The renewed catalogue's order is held: the list is the one before.
        QCOMPARE(idsOf(store->items()), allShown ? kept : QStringList());
        QCOMPARE(store->loadingItems(), !allShown);
        held.release();
        QTRY_COMPARE(idsOf(store->items()), renewed);
        QTRY_VERIFY(!store->loadingItems());
        QCOMPARE(idsOf(store->items()), renewed);
        if (allShown)
            QCOMPARE(itemsReset.size(), 0);
    }

    void droppedBy_data()
    {
        QTest::addColumn<bool>("refresh");
        QTest::newRow("refresh") << true;
        QTest::newRow("another playlist") << false;
    }

    // A refresh asks for the provider's data: the kept file goes at once, and what the reload
    // brings is kept again. Another playlist's library does not keep the first one's.
    void droppedBy()
    {
        QFETCH(bool, refresh);
        const Playlist playlist = f->playlist();
        serveLibrary(1);
        auto store = started(playlist);
        QVERIFY(keptWhole(*store, playlist, 1));

        serveLibrary(2, 1500ms);
        const Playlist other = f->playlist(QStringLiteral("other"));
        if (refresh)
            store->runRefresh();
        else
            store->runConnect(other.host, other.username, other.password, false);
        // A refresh drops it at once; another playlist once it has connected.
        QTRY_VERIFY(!QFile::exists(store->catalogueCache().filePath(playlist)));

        QVERIFY(keptWhole(*store, refresh ? playlist : other, 2));
        QCOMPARE(QFile::exists(store->catalogueCache().filePath(playlist)), refresh);
    }

    void notUsed_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<bool>("otherAccount");
        QTest::newRow("damaged") << QByteArray("MAVUCAT\n not a catalogue at all") << false;
        QTest::newRow("another account's") << QByteArray() << true;
    }

    // A file that does not pass is not shown: the library comes from the provider and the
    // file is replaced by a good one.
    void notUsed()
    {
        QFETCH(QByteArray, contents);
        QFETCH(bool, otherAccount);
        const Playlist playlist = f->playlist();
        if (otherAccount) {
            CatalogueCache::Snapshot foreign;
            foreign.catalogues[size_t(Section::movies)] = QList<MediaItem>{
                MediaItem{.id = QStringLiteral("x"), .name = QStringLiteral("Foreign"), .kind = MediaItem::Kind::movie}};
            contents = CatalogueCache::encode(f->playlist(QStringLiteral("user"), QStringLiteral("old")), foreign);
        }
        QDir().mkpath(cacheFolder());
        QFile file(QDir(cacheFolder()).filePath(CatalogueCache::fileName(playlist)));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size());
        file.close();

        serveLibrary(1);
        auto store = started(playlist);
        QCOMPARE(namesOf(store->latestMovies()), QStringList({"Alpha v1", "Beta v1", "Bravo v1"}));
        QVERIFY(keptWhole(*store, playlist, 1));
    }

    // The home rows show from the file's front block without waiting for the rest of it (here
    // damaged, so they can only have come from the front); the provider's rows follow.
    void homeRowsFromTheFront()
    {
        const Playlist playlist = f->playlist();
        serveLibrary(1);
        {
            auto first = started(playlist);
            QVERIFY(keptWhole(*first, playlist, 1));
        }
        QFile file(QDir(cacheFolder()).filePath(CatalogueCache::fileName(playlist)));
        QVERIFY(file.open(QIODevice::ReadWrite));
        const qint64 at = file.size() - 10;
        QVERIFY(file.seek(at));
        const char byte = file.read(1).at(0);
        QVERIFY(file.seek(at) && file.write(QByteArray(1, char(byte ^ 0x20))) == 1);
        file.close();

        serveLibrary(2, 1500ms);
        auto store = f->startedStore(playlist);
        store->setCatalogueCacheFolder(cacheFolder());
        store->runEnterBrowse();
        QTRY_COMPARE(store->phase(), AppStore::Phase::home);
        QCOMPARE(namesOf(store->latestMovies()), QStringList({"Alpha v1", "Beta v1", "Bravo v1"}));
        QCOMPARE(namesOf(store->latestSeries()), QStringList({"Alpha v1", "Beta v1", "Bravo v1"}));
        QTRY_COMPARE_WITH_TIMEOUT(namesOf(store->latestMovies()), QStringList({"Alpha v2", "Beta v2", "Boom v2", "Bravo v2"}), 10000);
        QVERIFY(keptWhole(*store, playlist, 2));
    }

    // Without a folder nothing is kept and the library is fetched as before.
    void offWithoutFolder()
    {
        serveLibrary(1);
        auto store = f->startedStore(f->playlist());
        await(store->enterBrowse());
        QVERIFY(!store->catalogueCache().isEnabled());
        QCOMPARE(namesOf(store->latestMovies()), QStringList({"Alpha v1", "Beta v1", "Bravo v1"}));
        QTest::qWait(200);
        // No renewal behind the screens: the live catalogue waits for its section.
        QCOMPARE(f->requestsFor(QStringLiteral("get_live_streams")), 0);
    }
};

QTEST_GUILESS_MAIN(TestStoreCatalogueCache)
#include "tst_store_cataloguecache.moc"
