// The search across the whole library: what it finds in which order, the adult lock, loading
// through the store's own catalogue downloads, failures, and stale answers kept out.
#include "storefixture.h"

#include <QtTest>

using namespace StoreTest;

namespace {

QStringList names(const SearchResults *results)
{
    QStringList shown;
    for (const MediaItem &item : results->items())
        shown.append(item.name);
    return shown;
}

bool settled(const AppStore &store)
{
    const LibrarySearch *search = store.search();
    return !search->live()->loading() && !search->movies()->loading() && !search->series()->loading();
}

} // namespace

class TestStoreSearch : public QObject
{
    Q_OBJECT

    std::unique_ptr<Fixture> f;

    // Channels in News (1) and an adult category (9); movies newest first by `added`; shows.
    void serveLibrary()
    {
        f->serve("get_live_categories", categoriesJson({{"1", "News"}, {"9", "Adult Zone"}}));
        f->serve("get_live_streams", channelsJson({{.id = "c1", .name = "World News"},
                                                   {.id = "c2", .name = "News 24"},
                                                   {.id = "c3", .name = "Night News", .category = "9"},
                                                   {.id = "c4", .name = "XXX News"},
                                                   {.id = "c5", .name = "Sport"}}));
        f->serve("get_vod_streams", moviesJson({{.id = "m1", .name = "Old News", .added = "100"},
                                                {.id = "m2", .name = "Newsies", .added = "50"},
                                                {.id = "m3", .name = "The Newsroom Café", .added = "300"},
                                                {.id = "m4", .name = "News of the World", .added = "200"}}));
        f->serve("get_series", showsJson({{.id = "s1", .name = "Breaking News"}, {.id = "s2", .name = "Cafe Stories"}}));
    }

private Q_SLOTS:
    void init() { f = std::make_unique<Fixture>(); }
    void cleanup() { f.reset(); }

    void findsEachKindInOrder_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("live");
        QTest::addColumn<QStringList>("movies");
        QTest::addColumn<QStringList>("series");

        // Movies: names that start with the text first, each group newest first.
        QTest::newRow("prefix before contains, section order")
            << "news" << QStringList{"News 24", "World News"}
            << QStringList{"News of the World", "Newsies", "The Newsroom Café", "Old News"} << QStringList{"Breaking News"};
        QTest::newRow("letter case and blanks") << "  NEWS 2\t" << QStringList{"News 24"} << QStringList() << QStringList();
        QTest::newRow("accents ignored both ways")
            << "CAFE" << QStringList() << QStringList{"The Newsroom Café"} << QStringList{"Cafe Stories"};
        QTest::newRow("accented text") << "café" << QStringList() << QStringList{"The Newsroom Café"} << QStringList{"Cafe Stories"};
        QTest::newRow("nothing") << "weather" << QStringList() << QStringList() << QStringList();
    }

    void findsEachKindInOrder()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, live);
        QFETCH(QStringList, movies);
        QFETCH(QStringList, series);
        serveLibrary();
        auto store = f->connectedStore();
        LibrarySearch *search = store->search();
        search->setText(text);
        QVERIFY(search->active());
        QTRY_VERIFY(settled(*store));
        QCOMPARE(names(search->live()), live);
        QCOMPARE(names(search->movies()), movies);
        QCOMPARE(names(search->series()), series);
        QCOMPARE(search->live()->count(), live.size());
        QCOMPARE(search->movies()->count(), movies.size());
        QCOMPARE(search->nothingFound(), live.isEmpty() && movies.isEmpty() && series.isEmpty());
        // Loaded once, through the store's cache: the home rows had the movies already.
        QCOMPARE(f->requestsFor("get_vod_streams"), 1);
        QCOMPARE(f->requestsFor("get_live_streams"), 1);

        // Opening the section afterwards downloads nothing again.
        await(store->openSection(Section::live));
        QCOMPARE(f->requestsFor("get_live_streams"), 1);
    }

    void countsEverythingShowsThirty()
    {
        QList<Movie> many;
        for (int i = 0; i < 45; ++i)
            many.append({.id = QString::number(i), .name = QStringLiteral("Film %1").arg(i), .added = QString::number(1000 - i)});
        many.append({.id = "x", .name = "A Film", .added = "5000"});
        f->serve("get_vod_streams", moviesJson(many));
        auto store = f->connectedStore();
        store->search()->setText("film");
        QTRY_VERIFY(settled(*store));
        const SearchResults *movies = store->search()->movies();
        QCOMPARE(movies->count(), 46);
        QCOMPARE(movies->items().size(), LibrarySearch::resultLimit);
        // The newest title only contains the text: every title starting with it goes first.
        QCOMPARE(movies->items().first().name, QStringLiteral("Film 0"));
        QVERIFY(!names(movies).contains("A Film"));

        store->search()->setText("");
        QVERIFY(!store->search()->active());
        QCOMPARE(movies->count(), 0);
        QCOMPARE(movies->model()->count(), 0);
    }

    // Channels of an adult category, or with an adult name, show only once the PIN was given.
    void adultChannelsWaitForThePin()
    {
        serveLibrary();
        auto store = f->connectedStore();
        LibrarySearch *search = store->search();
        search->setText("news");
        QTRY_VERIFY(settled(*store));
        QCOMPARE(names(search->live()), QStringList({"News 24", "World News"}));
        QCOMPARE(search->live()->count(), 2);

        // The PIN given for a locked category unlocks the search too, for the rest of the run.
        await(store->openSection(Section::live));
        store->selectCategory(Category{"9", "Adult Zone"});
        QVERIFY(store->hasPinChallenge());
        store->runPinChallenge();
        QCOMPARE(names(search->live()), QStringList({"News 24", "World News", "Night News", "XXX News"}));
        QCOMPARE(search->live()->count(), 4);

        // Dropping a challenge is no PIN.
        auto other = f->connectedStore();
        other->search()->setText("news");
        QTRY_VERIFY(settled(*other));
        other->setPinChallenge([] {});
        other->dropPinChallenge();
        QCOMPARE(other->search()->live()->count(), 2);
    }

    // Hidden categories stay out of the search as they stay out of the section.
    void hiddenCategoriesStayOut()
    {
        serveLibrary();
        auto store = f->connectedStore();
        store->search()->setText("news");
        QTRY_VERIFY(settled(*store));
        QCOMPARE(store->search()->live()->count(), 2);
        store->setHidden({"1"}, Section::live);
        QTRY_COMPARE(store->search()->live()->count(), 0);
    }

    void failedCatalogueIsToldWithRetry()
    {
        serveLibrary();
        f->serve("get_series", "not json");
        auto store = f->connectedStore();
        LibrarySearch *search = store->search();
        search->setText("news");
        QTRY_VERIFY(settled(*store));
        QVERIFY(search->series()->failure().failed());
        QVERIFY(!search->series()->failure().text().isEmpty());
        QCOMPARE(search->series()->count(), 0);
        QVERIFY(!search->nothingFound());
        QCOMPARE(search->movies()->count(), 4); // the other kinds are not held back

        // A failed live category list leaves the channels unsorted into locked and open: told too.
        f->serve("get_series", showsJson({{.id = "s1", .name = "Breaking News"}}));
        search->retry(Section::series);
        QTRY_VERIFY(settled(*store));
        QVERIFY(!search->series()->failure().failed());
        QCOMPARE(names(search->series()), QStringList({"Breaking News"}));

        auto other = f->connectedStore();
        f->serve("get_live_categories", "not json");
        other->search()->setText("news");
        QTRY_VERIFY(settled(*other));
        QVERIFY(other->search()->live()->failure().failed());
        QCOMPARE(other->search()->live()->count(), 0);
    }

    // A catalogue dropped by a refresh while it downloads never fills the results, and the
    // results follow the last text typed.
    void staleAnswersAreDropped()
    {
        f->serve("get_vod_streams", moviesJson({{.id = "m1", .name = "Old Film"}}));
        auto store = f->connectedStore();
        f->serve("get_vod_streams", moviesJson({{.id = "m1", .name = "Old Film"}}), std::chrono::milliseconds(600));
        startTaskForTest(store->refresh());
        LibrarySearch *search = store->search();
        search->setText("film");
        QVERIFY(search->movies()->loading());
        QTest::qWait(100); // the search has joined the slow download
        f->serve("get_vod_streams", moviesJson({{.id = "n1", .name = "New Film"}}));
        startTaskForTest(store->refresh());
        QTRY_VERIFY(settled(*store));
        QCOMPARE(names(search->movies()), QStringList({"New Film"}));
        QTest::qWait(700); // the dropped download's answer has come and gone
        QCOMPARE(names(search->movies()), QStringList({"New Film"}));
        QCOMPARE(store->allVods().size(), 1);
        QCOMPARE(store->allVods().first().name, QStringLiteral("New Film"));

        search->setText("new f");
        search->setText("old");
        QCOMPARE(search->movies()->count(), 0);
        search->setText("NEW");
        QCOMPARE(names(search->movies()), QStringList({"New Film"}));
    }

    // The section's own order follows the chosen ordering.
    void orderFollowsTheSection()
    {
        serveLibrary();
        auto store = f->connectedStore();
        store->search()->setText("news");
        QTRY_VERIFY(settled(*store));
        store->setVodSort(VodSort::az);
        QTRY_COMPARE(names(store->search()->movies()),
                     QStringList({"News of the World", "Newsies", "Old News", "The Newsroom Café"}));
    }

    // Each text typed on, erased back or typed anew finds what a search of that text alone finds.
    void typingOnNarrowsExactly_data()
    {
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("typing on") << QStringList{"g", "go", "gol", "gold", "golde", "golden", "golden ", "golden r"};
        QTest::newRow("erasing back") << QStringList{"golden r", "golden ", "golden", "gol", "g", ""};
        QTest::newRow("typing on after erasing") << QStringList{"g", "go", "g", "ga", "gar"};
        QTest::newRow("another text") << QStringList{"gold", "star", "sta", "stag", "old"};
        QTest::newRow("case and accents") << QStringList{"É", "ét", "ÉTÉ", "eté", "ete"};
        QTest::newRow("one letter that folds") << QStringList{"ø", "øs", "é", "1", "19"};
        QTest::newRow("blank typed on") << QStringList{"go", "go ", "go  ", "go d"};
    }

    void typingOnNarrowsExactly()
    {
        QFETCH(QStringList, texts);
        const QStringList words{"Golden", "gold", "Star", "Été", "Øst", "Garden", "1984", "Go", "Road", "été"};
        QList<Movie> movies;
        for (int i = 0; i < 400; ++i) {
            const QString name = QStringLiteral("%1 %2 %3").arg(words[i % 10], words[(i / 10) % 10], words[(i / 100) % 10]);
            movies.append({.id = QString::number(i), .name = name, .added = QString::number(i % 37)});
        }
        f->serve("get_vod_streams", moviesJson(movies));
        auto store = f->connectedStore();
        auto fresh = f->connectedStore();
        store->search()->setText("x");
        QTRY_VERIFY(settled(*store));
        fresh->search()->setText("x");
        QTRY_VERIFY(settled(*fresh));
        for (const QString &text : texts) {
            store->search()->setText(text);
            fresh->search()->setText(QString());
            fresh->search()->setText(text);
            const SearchResults *typed = store->search()->movies();
            const SearchResults *alone = fresh->search()->movies();
            QCOMPARE(typed->count(), alone->count());
            QCOMPARE(names(typed), names(alone));
            QCOMPARE(typed->loading(), false);
        }
    }

    // "See all" opens the section on all of its items, so the grid holds what the row counted:
    // every category, hidden ones and locked channels left out as the search leaves them out.
    void seeAllShowsTheRowsCount_data()
    {
        QTest::addColumn<int>("section");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("inFirstCategory");
        QTest::newRow("movies of two categories") << int(Section::movies) << "news" << 1;
        // News holds "XXX News": a category the user opened shows its own channels.
        QTest::newRow("channels, the locked ones left out") << int(Section::live) << "news" << 3;
        QTest::newRow("shows") << int(Section::series) << "cafe" << 1;
    }

    void seeAllShowsTheRowsCount()
    {
        QFETCH(int, section);
        QFETCH(QString, text);
        QFETCH(int, inFirstCategory);
        serveLibrary();
        f->serve("get_vod_categories", categoriesJson({{"1", "Drama"}, {"2", "Comedy"}, {"3", "Hidden"}}));
        f->serve("get_vod_streams", moviesJson({{.id = "m1", .name = "Old News", .category = "2", .added = "100"},
                                                {.id = "m2", .name = "Newsies", .added = "50"},
                                                {.id = "m3", .name = "Hidden News", .category = "3"},
                                                {.id = "m4", .name = "News of the World", .category = "2", .added = "200"}}));
        f->serve("get_series_categories", categoriesJson({{"1", "Shows"}, {"2", "More"}}));
        f->serve("get_series", showsJson({{.id = "s1", .name = "Cafe Stories"}, {.id = "s2", .name = "Café Society", .category = "2"}}));
        auto store = f->connectedStore();
        store->setHidden({"3"}, Section::movies);
        LibrarySearch *search = store->search();
        search->setText(text);
        QTRY_VERIFY(settled(*store));
        const SearchResults *row = search->results(Section(section));
        QVERIFY(row->count() >= 2);

        search->seeAll(Section(section));
        QCOMPARE(store->phase(), AppStore::Phase::section);
        QCOMPARE(store->section(), Section(section));
        QCOMPARE(store->searchText(), text);
        QTRY_VERIFY(!store->loadingCategories() && !store->loadingItems());
        QCOMPARE(store->qmlSelectedCategory().id, QString(AppStore::allId));
        QCOMPARE(store->searchText(), text);
        QCOMPARE(store->itemsModel()->count(), row->count());

        // Choosing a category searches that category alone again; opening the section anew
        // starts on its first category.
        store->selectCategory(store->categories().at(2));
        QTRY_VERIFY(!store->loadingItems());
        QCOMPARE(store->itemsModel()->count(), inFirstCategory);
        await(store->openSection(Section(section)));
        QCOMPARE(store->qmlSelectedCategory().id, store->categories().at(2).id);
    }

    void openingAnEntry_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("channel") << int(MediaItem::Kind::live);
        QTest::newRow("movie") << int(MediaItem::Kind::movie);
        QTest::newRow("show") << int(MediaItem::Kind::series);
    }

    void openingAnEntry()
    {
        QFETCH(int, kind);
        f->serve("get_live_categories", categoriesJson({{"1", "News"}, {"2", "Sport"}}));
        f->serve("get_live_streams", channelsJson({{.id = "c1", .name = "First"}, {.id = "c2", .name = "Goals", .category = "2"}}));
        f->serve("get_vod_streams", moviesJson({{.id = "m1", .name = "Goals Movie"}}));
        f->serve("get_series", showsJson({{.id = "s1", .name = "Goals Show"}}));
        auto store = f->connectedStore();
        store->search()->setText("goals");
        QTRY_VERIFY(settled(*store));
        const SearchResults *results = store->search()->results(kindSection(MediaItem::Kind(kind)));
        QCOMPARE(results->items().size(), 1);
        const MediaItem item = results->items().first();
        store->search()->open(item);
        QCOMPARE(store->phase(), AppStore::Phase::section);
        if (item.isLive()) {
            QCOMPARE(store->section(), Section::live);
            QCOMPARE(store->nowPlaying()->id, QStringLiteral("c2"));
            // The list opens at the channel's own category, and nothing else starts.
            QTRY_COMPARE(store->qmlSelectedCategory().id, QStringLiteral("2"));
            QTRY_VERIFY(!store->loadingItems());
            QCOMPARE(store->nowPlaying()->id, QStringLiteral("c2"));
        } else {
            QCOMPARE(store->detailItem()->id, item.id);
            QVERIFY(!store->hasNowPlaying());
        }
    }

private:
    static Section kindSection(MediaItem::Kind kind)
    {
        return kind == MediaItem::Kind::live ? Section::live : kind == MediaItem::Kind::movie ? Section::movies : Section::series;
    }
    static void startTaskForTest(QCoro::Task<> &&task) { [[maybe_unused]] QCoro::Task<> started = std::move(task); }
};

QTEST_MAIN(TestStoreSearch)
#include "tst_store_search.moc"
