// Categories, the parental lock, orderings, search, favourites, recents and hidden categories.
#include "storefixture.h"

#include <QSignalSpy>
#include <QtTest>

using namespace StoreTest;

class TestStoreBrowse : public QObject
{
    Q_OBJECT

    std::unique_ptr<Fixture> f;

private Q_SLOTS:
    void init() { f = std::make_unique<Fixture>(); }
    void cleanup() { f.reset(); }

    void categoriesOfASection_data()
    {
        QTest::addColumn<QByteArray>("provider");
        QTest::addColumn<QStringList>("hidden");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("selected");

        const QByteArray two = categoriesJson({{"1", "News"}, {"2", "Sport"}});
        QTest::newRow("pseudo-categories first") << two << QStringList() << QStringList{"__fav__", "__recent__", "1", "2"} << "1";
        QTest::newRow("hidden first category") << two << QStringList{"1"} << QStringList{"__fav__", "__recent__", "2"} << "2";
        QTest::newRow("all hidden") << two << QStringList{"2", "1"} << QStringList{"__fav__", "__recent__"} << "__fav__";
        QTest::newRow("failed request") << QByteArray("not json") << QStringList() << QStringList{"__fav__", "__recent__"} << "__fav__";
        QTest::newRow("adult first, selected without PIN")
            << categoriesJson({{"7", "XXX Night"}, {"1", "News"}}) << QStringList() << QStringList{"__fav__", "__recent__", "7", "1"} << "7";
    }

    void categoriesOfASection()
    {
        QFETCH(QByteArray, provider);
        QFETCH(QStringList, hidden);
        QFETCH(QStringList, expected);
        QFETCH(QString, selected);
        f->serve("get_live_streams", channelsJson({{.id = "c7", .name = "Late", .category = "7"}, {.id = "c1", .name = "Early"}}));
        auto store = f->connectedStore();
        store->setHidden(hidden, Section::live);
        f->serve("get_live_categories", provider);

        await(store->openSection(Section::live));
        QCOMPARE(idsOf(store->categories()), expected);
        QCOMPARE(store->categories()[0].name, QStringLiteral("Favorites"));
        QCOMPARE(store->categories()[1].name, QStringLiteral("Recently Viewed"));
        QCOMPARE(store->selectedCategory()->id, selected);
        QVERIFY(!store->hasPinChallenge());
        QVERIFY(!store->loadingCategories());
        QCOMPARE(store->hiddenCategoryIDs(Section::live).size(), hidden.size());
    }

    void parentalLock_data()
    {
        QTest::addColumn<Section>("section");
        QTest::addColumn<QString>("categoryId");
        QTest::addColumn<QString>("categoryName");
        QTest::addColumn<QStringList>("favorites");
        QTest::addColumn<QStringList>("recents");
        QTest::addColumn<bool>("locked");

        QTest::newRow("xxx in capitals") << Section::live << "7" << "XXX Night" << QStringList() << QStringList() << true;
        QTest::newRow("adult inside a word") << Section::live << "7" << "Nonadultish" << QStringList() << QStringList() << true;
        QTest::newRow("porn") << Section::live << "7" << "PoRn" << QStringList() << QStringList() << true;
        QTest::newRow("ordinary") << Section::live << "1" << "News" << QStringList() << QStringList() << false;
        QTest::newRow("favourites holding an adult channel") << Section::live << "__fav__" << "Favorites" << QStringList{"a1"} << QStringList() << true;
        QTest::newRow("favourites without one") << Section::live << "__fav__" << "Favorites" << QStringList{"c1"} << QStringList() << false;
        QTest::newRow("recently viewed holding an adult channel")
            << Section::live << "__recent__" << "Recently Viewed" << QStringList() << QStringList{"a1"} << true;
        QTest::newRow("recently viewed without one")
            << Section::live << "__recent__" << "Recently Viewed" << QStringList() << QStringList{"c1"} << false;
        QTest::newRow("movies never") << Section::movies << "7" << "XXX" << QStringList() << QStringList() << false;
        QTest::newRow("movie favourites never") << Section::movies << "__fav__" << "Favorites" << QStringList{"a1"} << QStringList() << false;
    }

    void parentalLock()
    {
        QFETCH(Section, section);
        QFETCH(QString, categoryId);
        QFETCH(QString, categoryName);
        QFETCH(QStringList, favorites);
        QFETCH(QStringList, recents);
        QFETCH(bool, locked);
        f->serve("get_live_streams", channelsJson({{.id = "c1", .name = "News 24"}, {.id = "a1", .name = "Adult Channel", .category = "7"}}));
        f->serve("get_vod_categories", categoriesJson({{"1", "Films"}}));
        f->serve("get_vod_streams", moviesJson({{.id = "a1", .name = "Adult film", .category = "7"}}));
        f->preferences()->setFavorites(Section::live, favorites);
        f->preferences()->setFavorites(Section::movies, favorites);
        f->preferences()->setRecents(Section::live, recents);
        auto store = f->connectedStore();
        await(store->openSection(Section::live)); // fills the live cache
        await(store->openSection(section));
        const Category before = *store->selectedCategory();

        const Category chosen{categoryId, categoryName};
        store->selectCategory(chosen);
        QCOMPARE(store->hasPinChallenge(), locked);
        QCOMPARE(*store->selectedCategory(), locked ? before : chosen);
        if (!locked)
            return;

        store->dropPinChallenge();
        QVERIFY(!store->hasPinChallenge());
        QCOMPARE(*store->selectedCategory(), before);

        store->selectCategory(chosen);
        store->runPinChallenge();
        QVERIFY(!store->hasPinChallenge());
        QCOMPARE(*store->selectedCategory(), chosen);
        QVERIFY(idsOf(store->items()).contains("a1"));
    }

    void movieOrderings_data()
    {
        QTest::addColumn<QList<VodSort>>("sorts"); // chosen in turn after the category loaded
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("added: newest first, unreadable last, ties kept") << QList<VodSort>() << QStringList{"d", "a", "e", "b", "c", "f"};
        QTest::newRow("number keeps the order before") << QList<VodSort>{VodSort::number} << QStringList{"d", "a", "e", "b", "c", "f"};
        QTest::newRow("rating: highest first, ties kept") << QList<VodSort>{VodSort::rating} << QStringList{"c", "a", "e", "d", "f", "b"};
        QTest::newRow("number after rating") << QList<VodSort>{VodSort::rating, VodSort::number} << QStringList{"c", "a", "e", "d", "f", "b"};
        QTest::newRow("a-z ignores letter case") << QList<VodSort>{VodSort::az} << QStringList{"a", "e", "c", "f", "d", "b"};
        QTest::newRow("z-a, equal names keep their order") << QList<VodSort>{VodSort::za} << QStringList{"b", "d", "c", "f", "a", "e"};
    }

    void movieOrderings()
    {
        QFETCH(QList<VodSort>, sorts);
        QFETCH(QStringList, expected);
        f->serve("get_vod_categories", categoriesJson({{"1", "Films"}}));
        f->serve("get_vod_streams", moviesJson({
                                        {.id = "a", .name = "apple", .added = "100", .rating = 3.5},
                                        {.id = "b", .name = "Zebra", .added = "", .rating = 0},
                                        {.id = "c", .name = "Banana", .added = " 200", .rating = 4},
                                        {.id = "d", .name = "cherry", .added = "300", .rating = 2},
                                        {.id = "e", .name = "Apple", .added = "100", .rating = 3.5},
                                        {.id = "f", .name = "banana", .added = "x", .rating = 1},
                                    }));
        auto store = f->connectedStore();
        await(store->openSection(Section::movies));
        for (VodSort sort : sorts)
            store->setVodSort(sort);
        QCOMPARE(idsOf(store->items()), expected);
        QCOMPARE(idsOf(store->filteredItems()), expected);
    }

    // "All" and a category are cut from the whole catalogue kept in the chosen order: after each
    // change of order both are what sorting them anew gives, never the order kept before; a
    // hidden category stays out of "All".
    void allFollowsTheOrder_data()
    {
        QTest::addColumn<QList<VodSort>>("sorts"); // chosen in turn, "All" chosen after each
        QTest::addColumn<bool>("hideSecond");
        QTest::addColumn<QStringList>("all");
        QTest::addColumn<QStringList>("second"); // category "2": b, d, f

        QTest::newRow("added") << QList<VodSort>{VodSort::added} << false << QStringList{"d", "a", "e", "b", "c", "f"}
                               << QStringList{"d", "b", "f"};
        QTest::newRow("rating after added") << QList<VodSort>{VodSort::added, VodSort::rating} << false
                                            << QStringList{"c", "a", "e", "d", "f", "b"} << QStringList{"d", "f", "b"};
        QTest::newRow("a-z after rating") << QList<VodSort>{VodSort::rating, VodSort::az} << false
                                          << QStringList{"a", "e", "c", "f", "d", "b"} << QStringList{"f", "d", "b"};
        QTest::newRow("z-a after a-z") << QList<VodSort>{VodSort::az, VodSort::za} << false << QStringList{"b", "d", "c", "f", "a", "e"}
                                       << QStringList{"b", "d", "f"};
        QTest::newRow("number after z-a: ties in catalogue order")
            << QList<VodSort>{VodSort::za, VodSort::number} << false << QStringList{"a", "b", "c", "d", "e", "f"}
            << QStringList{"b", "d", "f"};
        QTest::newRow("hidden category, a-z after added")
            << QList<VodSort>{VodSort::added, VodSort::az} << true << QStringList{"a", "e", "c"} << QStringList{"f", "d", "b"};
    }

    void allFollowsTheOrder()
    {
        QFETCH(QList<VodSort>, sorts);
        QFETCH(bool, hideSecond);
        QFETCH(QStringList, all);
        QFETCH(QStringList, second);
        f->serve("get_vod_categories", categoriesJson({{"1", "Films"}, {"2", "More"}}));
        f->serve("get_vod_streams",
                 moviesJson({
                     {.id = "a", .name = "apple", .added = "100", .rating = 3.5},
                     {.id = "b", .name = "Zebra", .category = "2", .added = "", .rating = 0},
                     {.id = "c", .name = "Banana", .added = " 200", .rating = 4},
                     {.id = "d", .name = "cherry", .category = "2", .added = "300", .rating = 2},
                     {.id = "e", .name = "Apple", .added = "100", .rating = 3.5},
                     {.id = "f", .name = "banana", .category = "2", .added = "x", .rating = 1},
                 }));
        if (hideSecond)
            f->preferences()->setHidden(Section::movies, {"2"});
        auto store = f->connectedStore();
        await(store->openSection(Section::movies));
        const Category allCategory{AppStore::allId, QStringLiteral("All")};
        for (VodSort sort : sorts) {
            store->setVodSort(sort);
            store->selectCategory(allCategory);
            QTRY_COMPARE(store->selectedCategory()->id, allCategory.id);
        }
        QTRY_COMPARE(idsOf(store->items()), all);
        QCOMPARE(idsOf(store->filteredItems()), all);
        store->selectCategory(Category{QStringLiteral("2"), QStringLiteral("More")});
        QTRY_COMPARE(idsOf(store->items()), second);
        // The search text stays across the choice and finds within the new list.
        store->setSearchText(QStringLiteral("AN"));
        store->selectCategory(allCategory);
        QTRY_COMPARE(store->items().size(), all.size());
        QStringList bananas;
        for (const QString &id : all) {
            if (id == "c" || id == "f")
                bananas.append(id);
        }
        QCOMPARE(store->searchText(), QStringLiteral("AN"));
        QCOMPARE(idsOf(store->filteredItems()), bananas);
    }

    // A long catalogue is ordered on a worker. A list chosen before that order is made shows
    // the loading state (the GUI thread does not order it instead), then the list as chosen
    // last: in the order chosen meanwhile, or the other category chosen meanwhile.
    void listsWaitForTheOrderOfTheWorker_data()
    {
        QTest::addColumn<QList<VodSort>>("sorts"); // chosen while the ordering is held
        QTest::addColumn<QString>("category");     // chosen last
        QTest::addColumn<QStringList>("expected");
        const QString all = AppStore::allId;
        QTest::newRow("All, nothing meanwhile") << QList<VodSort>() << all << QStringList{"d", "a", "e", "b", "c", "f"};
        QTest::newRow("All, a-z meanwhile") << QList<VodSort>{VodSort::az} << all << QStringList{"a", "e", "c", "f", "d", "b"};
        QTest::newRow("All, a-z then z-a meanwhile")
            << QList<VodSort>{VodSort::az, VodSort::za} << all << QStringList{"b", "d", "c", "f", "a", "e"};
        QTest::newRow("All, then a category") << QList<VodSort>() << QStringLiteral("2") << QStringList{"d", "b", "f"};
        QTest::newRow("All, rating meanwhile, then a category")
            << QList<VodSort>{VodSort::rating} << QStringLiteral("2") << QStringList{"d", "f", "b"};
    }

    void listsWaitForTheOrderOfTheWorker()
    {
        QFETCH(QList<VodSort>, sorts);
        QFETCH(QString, category);
        QFETCH(QStringList, expected);
        f->serve("get_vod_categories", categoriesJson({{"1", "Films"}, {"2", "More"}}));
        f->serve("get_vod_streams",
                 moviesJson({
                     {.id = "a", .name = "apple", .added = "100", .rating = 3.5},
                     {.id = "b", .name = "Zebra", .category = "2", .added = "", .rating = 0},
                     {.id = "c", .name = "Banana", .added = " 200", .rating = 4},
                     {.id = "d", .name = "cherry", .category = "2", .added = "300", .rating = 2},
                     {.id = "e", .name = "Apple", .added = "100", .rating = 3.5},
                     {.id = "f", .name = "banana", .category = "2", .added = "x", .rating = 1},
                 }));
        HeldOrderings held(Section::movies);
        auto store = f->connectedStore();
        store->runOpenSection(Section::movies);
        QTRY_VERIFY(store->selectedCategory().has_value());
        store->selectCategory(Category{AppStore::allId, QStringLiteral("All")});
        QCOMPARE(store->selectedCategory()->id, AppStore::allId);
        QTRY_VERIFY(held.begun() >= 1);
        QVERIFY(store->loadingItems());
        QVERIFY(store->items().isEmpty());
        for (VodSort sort : sorts)
            store->setVodSort(sort);
        if (category != AppStore::allId)
            store->selectCategory(Category{category, QStringLiteral("More")});
        QVERIFY(store->items().isEmpty());
        held.release();
        QTRY_VERIFY(!store->loadingItems());
        QTRY_COMPARE(idsOf(store->items()), expected);
        QCOMPARE(idsOf(store->filteredItems()), expected);
        QCOMPARE(store->selectedCategory()->id, category);
    }

    // A new order for a long open list is made on a worker: until it is done the list keeps
    // the order it shows, with no loading state and the GUI thread free; then the rows change in
    // place (no reset, no other list) to the new order, the category and the search staying. A
    // category chosen meanwhile wins.
    void longListReorderedOnAWorker_data()
    {
        QTest::addColumn<QString>("category");  // open when the order changes
        QTest::addColumn<VodSort>("sort");
        QTest::addColumn<QString>("search");    // typed before the order changes
        QTest::addColumn<QString>("meanwhile"); // category chosen while the worker orders
        QTest::addColumn<QStringList>("expected"); // the rows shown at the end
        const QString all = AppStore::allId;
        QTest::newRow("All, a-z") << all << VodSort::az << QString() << QString() << QStringList{"a", "e", "c", "f", "d", "b"};
        QTest::newRow("All, rating") << all << VodSort::rating << QString() << QString() << QStringList{"c", "a", "e", "d", "f", "b"};
        QTest::newRow("All, z-a while searching") << all << VodSort::za << QStringLiteral("an") << QString() << QStringList{"c", "f"};
        QTest::newRow("a category, a-z") << QStringLiteral("2") << VodSort::az << QString() << QString() << QStringList{"f", "d", "b"};
        QTest::newRow("a category, z-a while searching")
            << QStringLiteral("2") << VodSort::za << QStringLiteral("e") << QString() << QStringList{"b", "d"};
        QTest::newRow("All, a-z, then a category meanwhile")
            << all << VodSort::az << QString() << QStringLiteral("2") << QStringList{"f", "d", "b"};
    }

    void longListReorderedOnAWorker()
    {
        QFETCH(QString, category);
        QFETCH(VodSort, sort);
        QFETCH(QString, search);
        QFETCH(QString, meanwhile);
        QFETCH(QStringList, expected);
        f->serve("get_vod_categories", categoriesJson({{"1", "Films"}, {"2", "More"}}));
        f->serve("get_vod_streams",
                 moviesJson({
                     {.id = "a", .name = "apple", .added = "100", .rating = 3.5},
                     {.id = "b", .name = "Zebra", .category = "2", .added = "", .rating = 0},
                     {.id = "c", .name = "Banana", .added = " 200", .rating = 4},
                     {.id = "d", .name = "cherry", .category = "2", .added = "300", .rating = 2},
                     {.id = "e", .name = "Apple", .added = "100", .rating = 3.5},
                     {.id = "f", .name = "banana", .category = "2", .added = "x", .rating = 1},
                 }));
        auto store = f->connectedStore();
        await(store->openSection(Section::movies));
        store->selectCategory(Category{category, QStringLiteral("chosen")});
        QTRY_VERIFY(!store->loadingItems());
        store->setSearchText(search);
        const QStringList before = idsOf(store->filteredItems());
        QVERIFY(!before.isEmpty());

        // From here every list counts as long, and the worker waits until released.
        HeldOrderings held(Section::movies);
        QSignalSpy resets(store->itemsModel(), &QAbstractItemModel::modelReset);
        QSignalSpy replaced(store->itemsModel(), &FilteredItemsModel::listReplaced);
        store->setVodSort(sort);
        QCOMPARE(store->vodSort(), sort);
        QTRY_VERIFY(held.begun() >= 1);
        // The GUI thread goes on: the list shows what it showed, not a spinner.
        QTest::qWait(50);
        QVERIFY(!store->loadingItems());
        QCOMPARE(idsOf(store->filteredItems()), before);
        if (!meanwhile.isEmpty())
            store->selectCategory(Category{meanwhile, QStringLiteral("meanwhile")});

        held.release();
        QTRY_COMPARE(idsOf(store->filteredItems()), expected);
        QVERIFY(!store->loadingItems());
        QCOMPARE(store->selectedCategory()->id, meanwhile.isEmpty() ? category : meanwhile);
        QCOMPARE(store->searchText(), search);
        QCOMPARE(resets.count(), 0);
        if (meanwhile.isEmpty())
            QCOMPARE(replaced.count(), 0);
    }

    void liveOrderings_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("provider's order") << 0 << QStringList{"1", "2", "3", "4"};
        QTest::newRow("names ascending") << 1 << QStringList{"3", "2", "4", "1"};
        QTest::newRow("names descending") << 2 << QStringList{"1", "2", "4", "3"};
        QTest::newRow("unknown value") << 7 << QStringList{"1", "2", "3", "4"};
    }

    void liveOrderings()
    {
        QFETCH(int, index);
        QFETCH(QStringList, expected);
        f->serve("get_live_streams", channelsJson({{.id = "1", .name = "Zulu"},
                                                   {.id = "2", .name = "bravo"},
                                                   {.id = "3", .name = "Alpha"},
                                                   {.id = "4", .name = "BRAVO"}}));
        auto store = f->connectedStore();
        await(store->openSection(Section::live));
        QSignalSpy reordered(store.get(), &AppStore::itemsChanged);
        store->setLiveSortIndex(index);
        QCOMPARE(idsOf(store->items()), expected);
        QCOMPARE(reordered.count(), index == 1 || index == 2 ? 1 : 0);
        QCOMPARE(f->rawPreference("mavu.liveSortIndex").toInt(), index);
    }

    void search_data()
    {
        QTest::addColumn<QString>("search");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("padded with blanks") << "  matrix  " << QStringList{"1", "2", "4"};
        QTest::newRow("padded with tabs, in capitals") << "\tMATRIX\t" << QStringList{"1", "2", "4"};
        QTest::newRow("only blanks") << "   " << QStringList{"1", "2", "3", "4", "5"};
        QTest::newRow("line break is not trimmed") << "matrix\n" << QStringList();
        QTest::newRow("non-ASCII, any case") << QString::fromUtf8("KÖNIGIN") << QStringList{"5"};
        QTest::newRow("decomposed form") << QString::fromUtf8("ko\xcc\x88nigin") << QStringList{"5"};
        QTest::newRow("inner blank kept") << "x matrix" << QStringList();
    }

    void search()
    {
        QFETCH(QString, search);
        QFETCH(QStringList, expected);
        f->serve("get_vod_categories", categoriesJson({{"1", "Films"}}));
        f->serve("get_vod_streams", moviesJson({{.id = "1", .name = "The Matrix"},
                                                {.id = "2", .name = "matrix reloaded"},
                                                {.id = "3", .name = "Dark City"},
                                                {.id = "4", .name = "Animatrix"},
                                                {.id = "5", .name = QString::fromUtf8("Die Königin")}}));
        auto store = f->connectedStore();
        await(store->openSection(Section::movies));
        store->setVodSort(VodSort::number); // the provider's order
        QSignalSpy filtered(store.get(), &AppStore::filteredItemsChanged);
        store->setSearchText(search);
        QCOMPARE(idsOf(store->filteredItems()), expected);
        QCOMPARE(store->items().size(), 5);
        QCOMPARE(filtered.count(), expected.size() == 5 ? 0 : 1);
        store->setSearchText(search); // the same text again changes nothing
        QCOMPARE(filtered.count(), expected.size() == 5 ? 0 : 1);
    }

    void favourites()
    {
        f->serve("get_vod_categories", categoriesJson({{"1", "Films"}}));
        f->serve("get_vod_streams", moviesJson({{.id = "1", .name = "One"}, {.id = "2", .name = "Two"}, {.id = "3", .name = "Three"}}));
        f->preferences()->setFavorites(Section::movies, {"3", "gone"});
        auto store = f->connectedStore();
        await(store->openSection(Section::movies));
        const MediaItem one = store->allVods()[0];
        QSignalSpy marks(store.get(), &AppStore::favoritesChanged);

        store->toggleFavorite(one);
        QVERIFY(store->isFavorite(one));
        QCOMPARE(marks.count(), 1);
        store->setVodSort(VodSort::number);
        store->selectCategory(store->categories()[0]);
        QCOMPARE(idsOf(store->items()), QStringList({"1", "3"})); // cache order; unknown ids match nothing

        store->toggleFavorite(one);
        QVERIFY(!store->isFavorite(one));
        QCOMPARE(marks.count(), 2);
        QCOMPARE(f->preferences()->favorites(Section::movies), QStringList({"3", "gone"}));
        QVERIFY(f->preferences()->favorites(Section::live).isEmpty());
    }

    // The marks are answered from ids the store keeps: after every add, remove and playlist
    // change they agree with the favourites as a user made them, in each section apart (a
    // movie and a channel share the id "1"), and so does the Favorites category.
    void favouriteMarksFollowChanges_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::newRow("a movie added and removed") << QStringList{"movie 1", "movie 1"};
        QTest::newRow("a kept favourite removed") << QStringList{"movie 3"};
        QTest::newRow("the same id in both sections") << QStringList{"movie 1", "live 1", "movie 1", "live 2"};
        QTest::newRow("across a playlist change") << QStringList{"movie 2", "other playlist", "movie 3", "live 1", "other playlist", "movie 2"};
    }

    void favouriteMarksFollowChanges()
    {
        QFETCH(QStringList, steps);
        f->serve("get_live_streams", channelsJson({{.id = "1", .name = "News"}, {.id = "2", .name = "Sport"}}));
        f->serve("get_vod_categories", categoriesJson({{"1", "Films"}}));
        f->serve("get_vod_streams", moviesJson({{.id = "1", .name = "One"}, {.id = "2", .name = "Two"}, {.id = "3", .name = "Three"}}));
        f->preferences()->setFavorites(Section::movies, {"3"});
        auto store = f->connectedStore();
        const auto open = [&] {
            await(store->openSection(Section::live));
            await(store->openSection(Section::movies));
        };
        open();
        QSet<QString> movies{"3"}, channels;
        QSignalSpy marks(store.get(), &AppStore::favoritesChanged);
        int toggles = 0, playlists = 0;
        const auto check = [&](const QString &step) {
            for (const MediaItem &movie : store->allVods())
                QVERIFY2(store->isFavorite(movie) == movies.contains(movie.id), qPrintable(step + ": movie " + movie.id));
            for (const MediaItem &channel : store->allLive())
                QVERIFY2(store->isFavorite(channel) == channels.contains(channel.id), qPrintable(step + ": channel " + channel.id));
            QCOMPARE(marks.count(), toggles);
            store->selectCategory(Category{AppStore::favoritesId, QStringLiteral("Favorites")});
            const QStringList shown = idsOf(store->items());
            QCOMPARE(QSet<QString>(shown.cbegin(), shown.cend()), movies);
        };
        check(QStringLiteral("at the start"));
        if (QTest::currentTestFailed())
            return; // the first step that went wrong says enough
        for (const QString &step : steps) {
            if (step == QLatin1String("other playlist")) {
                // Another account, then back: the favourites are the user's, not an account's.
                await(store->connect(f->playlist(++playlists % 2 ? QStringLiteral("other") : QStringLiteral("user")), false));
                open();
            } else {
                const bool movie = step.startsWith(QLatin1String("movie"));
                const QString id = step.section(u' ', 1);
                const QList<MediaItem> items = movie ? store->allVods() : store->allLive();
                const auto item = std::find_if(items.cbegin(), items.cend(), [&](const MediaItem &i) { return i.id == id; });
                QVERIFY(item != items.cend());
                QSet<QString> &ids = movie ? movies : channels;
                if (!ids.remove(id))
                    ids.insert(id);
                store->toggleFavorite(*item);
                ++toggles;
            }
            check(step);
            if (QTest::currentTestFailed())
                return; // the first step that went wrong says enough
        }
    }

    void recents_data()
    {
        QTest::addColumn<QStringList>("played");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("A, B, A") << QStringList{"a", "b", "a"} << QStringList{"a", "b"};
        QStringList many;
        for (int i = 0; i < 51; ++i)
            many.append(QString::number(i));
        QStringList newest;
        for (int i = 50; i > 0; --i)
            newest.append(QString::number(i));
        QTest::newRow("51 distinct") << many << newest;
    }

    void recents()
    {
        QFETCH(QStringList, played);
        QFETCH(QStringList, expected);
        auto store = f->startedStore(f->playlist());
        for (const QString &id : played)
            await(store->play(MediaItem{.id = id, .kind = MediaItem::Kind::movie, .containerExt = "mp4"}));
        QCOMPARE(store->recents(Section::movies), expected);
        QCOMPARE(f->makeStore()->recents(Section::movies), expected);
    }

    void recentsCategoryFollowsTheList()
    {
        f->serve("get_vod_categories", categoriesJson({{"1", "Films"}}));
        f->serve("get_vod_streams", moviesJson({{.id = "1", .name = "One"}, {.id = "2", .name = "Two"}, {.id = "3", .name = "Three"}}));
        f->preferences()->setRecents(Section::movies, {"3", "gone", "1"});
        auto store = f->connectedStore();
        await(store->openSection(Section::movies));
        store->setVodSort(VodSort::number);
        store->selectCategory(store->categories()[1]);
        QCOMPARE(store->selectedCategory()->id, QStringLiteral("__recent__"));
        QCOMPARE(idsOf(store->items()), QStringList({"3", "1"}));
    }

    void liveCategoryStartsItsFirstChannel_data()
    {
        QTest::addColumn<int>("playing"); // 0 nothing, 1 a movie, 2 a channel
        QTest::addColumn<QString>("expected");
        QTest::newRow("nothing playing") << 0 << "c2";
        QTest::newRow("a movie playing") << 1 << "c2";
        QTest::newRow("a channel playing") << 2 << "c1";
    }

    void liveCategoryStartsItsFirstChannel()
    {
        QFETCH(int, playing);
        QFETCH(QString, expected);
        f->serve("get_live_categories", categoriesJson({{"1", "News"}, {"2", "Sport"}}));
        f->serve("get_live_streams", channelsJson({{.id = "c1", .name = "News"}, {.id = "c2", .name = "Sport", .category = "2"}}));
        auto store = f->connectedStore();
        await(store->openSection(Section::live)); // plays c1
        if (playing == 0)
            store->stop();
        if (playing == 1)
            await(store->play(MediaItem{.id = "m", .kind = MediaItem::Kind::movie, .containerExt = "mp4"}));

        store->selectCategory(store->categories()[3]);
        QCOMPARE(store->nowPlaying()->id, expected);
        QTRY_VERIFY(!store->loadingItems());
    }

    // Categories and catalogue that arrive after another section was opened stay out of it.
    void lateSectionAnswersStayInTheirSection()
    {
        f->serve("get_live_categories", categoriesJson({{"L", "Live news"}}), std::chrono::milliseconds(300));
        f->serve("get_live_streams", channelsJson({{.id = "c1", .name = "One", .category = "L"}}));
        f->serve("get_vod_categories", categoriesJson({{"M", "Films"}}));
        f->serve("get_vod_streams", moviesJson({{.id = "m1", .name = "Film", .category = "M"}}));
        auto store = f->connectedStore();

        auto live = store->openSection(Section::live);
        QVERIFY(store->loadingCategories());
        await(store->openSection(Section::movies));
        QCOMPARE(store->selectedCategory()->id, QStringLiteral("M"));
        QVERIFY(!store->loadingCategories());
        await(std::move(live));

        QCOMPARE(store->section(), Section::movies);
        QCOMPARE(idsOf(store->categories()), QStringList({"__fav__", "__recent__", "M"}));
        QCOMPARE(store->selectedCategory()->id, QStringLiteral("M"));
        QCOMPARE(idsOf(store->items()), QStringList{"m1"});
        QCOMPARE(idsOf(store->allLive()), QStringList{"c1"}); // kept for when live is opened
        QVERIFY(!store->hasNowPlaying());

        await(store->openSection(Section::live));
        QCOMPARE(f->requestsFor("get_live_streams"), 1);
        QCOMPARE(idsOf(store->items()), QStringList{"c1"});
    }

    // A catalogue that arrives after another provider was connected belongs to no one.
    void answersOfAFormerProviderAreDropped()
    {
        f->serve("get_live_streams", channelsJson({{.id = "old", .name = "Old"}}), std::chrono::milliseconds(300));
        auto store = f->connectedStore();
        auto loading = store->openSection(Section::live);
        QTRY_COMPARE(f->requestsFor("get_live_streams"), 1);
        await(store->connect(f->playlist(QStringLiteral("other")), false));
        await(std::move(loading));
        QVERIFY(store->allLive().isEmpty());
        QVERIFY(store->categories().isEmpty());
        QVERIFY(!store->hasNowPlaying());
        QVERIFY(!store->loadingCategories());
    }

    void hidingReloadsTheOpenSectionOnly()
    {
        f->serve("get_live_categories", categoriesJson({{"1", "News"}, {"2", "Sport"}}));
        auto store = f->connectedStore();
        await(store->openSection(Section::live));
        const int before = f->requestsFor("get_live_categories");

        store->setHidden({"2"}, Section::movies);
        QCOMPARE(f->requestsFor("get_live_categories"), before);
        store->setHidden({"1", "1"}, Section::live);
        QTRY_COMPARE(idsOf(store->categories()), QStringList({"__fav__", "__recent__", "2"}));
        QCOMPARE(f->preferences()->hidden(Section::live), QStringList{"1"});
        QTRY_COMPARE(store->selectedCategory()->id, QStringLiteral("2"));
    }
};

QTEST_GUILESS_MAIN(TestStoreBrowse)
#include "tst_store_browse.moc"
