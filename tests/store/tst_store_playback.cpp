// Details, stream addresses, the now-playing fields, trailers and the home rows.
#include "storefixture.h"

#include <QSignalSpy>
#include <QtTest>

using namespace StoreTest;

namespace {

MediaItem channel(const QString &id, const QString &name = QStringLiteral("Channel"))
{
    return MediaItem{.id = id, .name = name, .kind = MediaItem::Kind::live, .containerExt = "ts", .tvArchive = true};
}

MediaItem movie(const QString &id, const QString &extension = QStringLiteral("mp4"))
{
    return MediaItem{.id = id, .name = "Movie " + id, .kind = MediaItem::Kind::movie, .containerExt = extension};
}

MediaItem show(const QString &id, const QString &trailer = {})
{
    MediaItem item{.id = id, .name = "Show " + id, .kind = MediaItem::Kind::series};
    item.setTrailer(trailer);
    item.setSeriesId(id);
    return item;
}

QByteArray seriesInfoJson(const QString &trailer)
{
    return compact(QJsonObject{
        {"info", QJsonObject{{"youtube_trailer", trailer}}},
        {"seasons", QJsonArray{QJsonObject{{"season_number", 1}, {"name", "One"}}, QJsonObject{{"season_number", 2}, {"name", "Two"}}}},
        {"episodes", QJsonObject{{"1", QJsonArray{QJsonObject{{"id", "101"}, {"title", "Pilot"}, {"episode_num", 1}}}},
                                 {"2", QJsonArray{QJsonObject{{"id", "201"}, {"title", ""}, {"episode_num", 1}},
                                                  QJsonObject{{"id", "202"}, {"title", "Finale"}, {"episode_num", 2}}}}}}});
}

QByteArray vodInfoJson(const QString &plot)
{
    return compact(QJsonObject{{"info", QJsonObject{{"plot", plot}}}});
}

} // namespace

class TestStorePlayback : public QObject
{
    Q_OBJECT

    std::unique_ptr<Fixture> f;

private Q_SLOTS:
    void init() { f = std::make_unique<Fixture>(); }
    void cleanup() { f.reset(); }

    void streamAddresses_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("pass");
        QTest::addColumn<MediaItem>("item");
        QTest::addColumn<QString>("path"); // after the host

        // A "/" in a credential stays inside its segment: the path keeps its shape.
        QTest::newRow("blank in user, slash in password") << "jo doe" << "pa/ss" << channel("42") << "/live/jo%20doe/pa%2Fss/42.ts";
        QTest::newRow("movie in mkv") << "user" << "pass" << movie("7", "mkv") << "/movie/user/pass/7.mkv";
        QTest::newRow("reserved marks kept, others encoded")
            << "a@b:c" << QString::fromUtf8("50%ü?#") << movie("7") << "/movie/a@b:c/50%25%C3%BC%3F%23/7.mp4";
        QTest::newRow("sub-delimiters kept") << "u" << "!$&'()*+,;=" << channel("1") << "/live/u/!$&'()*+,;=/1.ts";
    }

    void streamAddresses()
    {
        QFETCH(QString, user);
        QFETCH(QString, pass);
        QFETCH(MediaItem, item);
        QFETCH(QString, path);
        auto store = f->startedStore(f->playlist(user, pass));
        await(store->play(item));
        QCOMPARE(store->nowPlayingURL()->toString(QUrl::FullyEncoded), f->server().base() + path);
        QCOMPARE(*store->nowPlaying(), item);
        QCOMPARE(store->nowPlayingTitle(), item.name);
        QVERIFY(!store->hasNowPlayingEpisode());
    }

    void addressesThatDoNotParseChangeNothing()
    {
        auto store = f->startedStore(Playlist{"http://bad host.test", "u", "p"});
        QSignalSpy playing(store.get(), &AppStore::nowPlayingChanged);
        await(store->play(movie("1")));
        store->playEpisode(Episode{.id = "9", .containerExt = "mp4"}, show("s"));
        QCOMPARE(playing.count(), 0);
        QVERIFY(!store->nowPlayingURL());
        QVERIFY(store->recents(Section::movies).isEmpty());
    }

    void playingAShowOpensItsDetails()
    {
        f->serve("get_series_info", seriesInfoJson({}));
        auto store = f->startedStore(f->playlist());
        await(store->play(show("5")));
        QVERIFY(!store->hasNowPlaying());
        QCOMPARE(store->detailItem()->id, QStringLiteral("5"));
        QCOMPARE(store->phase(), AppStore::Phase::section);
        QCOMPARE(store->section(), Section::series);
        QCOMPARE(store->seasons().size(), 2);
        QCOMPARE(store->selectedSeason()->id, 1);
        QCOMPARE(store->seasonEpisodes().size(), 1);
        QVERIFY(store->recents(Section::series).isEmpty());

        QSignalSpy episodes(store.get(), &AppStore::seasonEpisodesChanged);
        store->setSelectedSeason(store->seasons()[1]);
        QCOMPARE(episodes.count(), 1);
        QCOMPARE(store->seasonEpisodes().size(), 2);
        QCOMPARE(store->seasonEpisodes()[1].id, QStringLiteral("202"));
    }

    void episodes_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("shown");
        QTest::newRow("titled") << "Pilot" << "Pilot";
        QTest::newRow("untitled: the show's name") << "" << "Show s1";
    }

    void episodes()
    {
        QFETCH(QString, title);
        QFETCH(QString, shown);
        auto store = f->startedStore(f->playlist());
        store->playEpisode(Episode{.id = "901", .title = title, .containerExt = "mkv"}, show("s1"));
        QCOMPARE(store->nowPlayingTitle(), shown);
        QCOMPARE(store->nowPlayingURL()->path(), QStringLiteral("/series/user/pass/901.mkv"));
        QCOMPARE(store->nowPlaying()->id, QStringLiteral("s1"));
        QCOMPARE(store->nowPlayingEpisode()->id, QStringLiteral("901"));
        QCOMPARE(store->recents(Section::series), QStringList{"s1"});
    }

    // The short guide belongs to the channel it was asked for.
    void shortGuide_data()
    {
        QTest::addColumn<int>("next"); // what starts while A's guide is on its way: 0 nothing, 1 channel B, 2 a movie
        QTest::addColumn<QString>("expected");
        QTest::newRow("A still playing") << 0 << "A news";
        QTest::newRow("channel B started") << 1 << "B news";
        QTest::newRow("a movie started") << 2 << "";
    }

    void shortGuide()
    {
        QFETCH(int, next);
        QFETCH(QString, expected);
        auto store = f->startedStore(f->playlist());
        f->serve("get_short_epg", guideJson({programAgo("A news", 0.1)}), std::chrono::milliseconds(300));
        auto first = store->play(channel("A"));
        QVERIFY(store->epgNowNext().isEmpty());
        QTRY_COMPARE(f->requestsFor("get_short_epg"), 1); // A's answer is on its way
        f->serve("get_short_epg", guideJson({programAgo("B news", 0.1)}));
        if (next == 1)
            await(store->play(channel("B")));
        if (next == 2)
            await(store->play(movie("M")));
        await(std::move(first));
        QCOMPARE(store->epgNowNext().isEmpty(), expected.isEmpty());
        if (!expected.isEmpty())
            QCOMPARE(store->epgNowNext()[0].title, expected);
    }

    void leavingCatchupReturnsToLive()
    {
        auto store = f->startedStore(f->playlist());
        await(store->play(channel("C", "Cinema")));
        const QUrl live = *store->nowPlayingURL();
        store->playCatchup(programAgo("Old film", 3, 90));
        QVERIFY(store->hasCatchupURLBuilder());
        QVERIFY(store->nowPlayingURL()->path().contains(QLatin1String("/timeshift/")));

        store->exitPlayer();
        QCOMPARE(*store->nowPlayingURL(), live);
        QCOMPARE(store->nowPlayingTitle(), QStringLiteral("Cinema"));
        QCOMPARE(store->nowPlaying()->id, QStringLiteral("C"));
        QVERIFY(!store->hasCatchupURLBuilder());
        QCOMPARE(store->catchupDurationSec(), 0.0);

        store->exitPlayer();
        QVERIFY(!store->hasNowPlaying());
        QVERIFY(!store->nowPlayingURL());
        QVERIFY(store->nowPlayingTitle().isEmpty());
    }

    // Observers see the whole new state when the address changes, never half of it.
    void theAddressChangesLast()
    {
        auto store = f->startedStore(f->playlist());
        await(store->play(channel("C")));
        store->playCatchup(programAgo("Old", 2));
        QList<bool> builderWhenAddressChanged;
        QObject::connect(store.get(), &AppStore::nowPlayingURLChanged, store.get(),
                         [&] { builderWhenAddressChanged.append(store->hasCatchupURLBuilder()); });
        await(store->play(channel("D")));
        store->playCatchup(programAgo("Older", 4));
        store->stop();
        QCOMPARE(builderWhenAddressChanged, QList<bool>({false, true, false}));
    }

    void trailerOfAShow_data()
    {
        QTest::addColumn<QString>("listed");
        QTest::addColumn<QString>("detailed");
        QTest::addColumn<QString>("expected");
        QTest::newRow("filled in from the details") << "" << "abc" << "abc";
        QTest::newRow("listed one kept") << "xyz" << "abc" << "xyz";
        QTest::newRow("none anywhere") << "" << "" << "";
    }

    void trailerOfAShow()
    {
        QFETCH(QString, listed);
        QFETCH(QString, detailed);
        QFETCH(QString, expected);
        f->serve("get_series_info", seriesInfoJson(detailed));
        auto store = f->startedStore(f->playlist());
        await(store->openDetail(show("5", listed)));
        QCOMPARE(store->detailItem()->trailer(), expected);
        QVERIFY(!store->loadingDetail());
    }

    // Leaving a title opened from the grid finds the grid as it was: same category, search,
    // order and list, nothing fetched again.
    void leavingTheDetailKeepsTheGrid()
    {
        f->serve("get_vod_categories", categoriesJson({{"1", "Films"}, {"2", "Drama"}}));
        f->serve("get_vod_streams", moviesJson({{.id = "1", .name = "Alpha", .category = "2"},
                                                {.id = "2", .name = "Beta", .category = "2"},
                                                {.id = "3", .name = "Gamma", .category = "1"},
                                                {.id = "4", .name = "Delta", .category = "2"}}));
        f->serve("get_vod_info", vodInfoJson("plot"));
        auto store = f->connectedStore();
        await(store->openSection(Section::movies));
        store->selectCategory(store->categories().at(3));
        store->setVodSort(VodSort::za);
        store->setSearchText(QStringLiteral("a"));
        const QList<MediaItem> grid = store->filteredItems();
        QCOMPARE(idsOf(grid), QStringList({"4", "2", "1"}));
        const int categoryRequests = f->requestsFor("get_vod_categories");

        await(store->openDetail(grid.at(1)));
        store->clearDetailItem();
        QCOMPARE(store->phase(), AppStore::Phase::section);
        QCOMPARE(store->section(), Section::movies);
        QCOMPARE(store->selectedCategory()->id, QStringLiteral("2"));
        QCOMPARE(store->searchText(), QStringLiteral("a"));
        QCOMPARE(store->vodSort(), VodSort::za);
        QCOMPARE(idsOf(store->filteredItems()), idsOf(grid));
        QCOMPARE(f->requestsFor("get_vod_categories"), categoryRequests);
    }

    // A title opened from a home row brings its own section behind it: leaving it shows that
    // section's categories, not those of the section visited last, and no stale search.
    void detailFromHomeBringsItsSection()
    {
        f->serve("get_vod_categories", categoriesJson({{"1", "Films"}}));
        f->serve("get_vod_streams", moviesJson({{.id = "1", .name = "Alpha"}}));
        f->serve("get_series_categories", categoriesJson({{"7", "Crime"}}));
        f->serve("get_series", showsJson({{.id = "5", .name = "Show 5", .category = "7"}}));
        f->serve("get_series_info", seriesInfoJson({}));
        auto store = f->connectedStore();
        await(store->openSection(Section::movies));
        store->setSearchText(QStringLiteral("alp"));
        store->goHome();

        await(store->play(show("5")));
        QCOMPARE(store->section(), Section::series);
        QCOMPARE(store->detailItem()->id, QStringLiteral("5"));
        QCOMPARE(store->searchText(), QString());
        QTRY_COMPARE(store->selectedCategory().value_or(Category()).id, QStringLiteral("7"));
        QCOMPARE(idsOf(store->categories()).mid(2), QStringList{"7"});
        store->clearDetailItem();
        QTRY_COMPARE(idsOf(store->filteredItems()), QStringList{"5"});

        // Back in the same section from home, the column is already that section's.
        store->goHome();
        const int categoryRequests = f->requestsFor("get_series_categories");
        await(store->play(show("5")));
        QCOMPARE(f->requestsFor("get_series_categories"), categoryRequests);
    }

    // Details that arrive for a title no longer on screen are dropped.
    void lateDetails_data()
    {
        QTest::addColumn<bool>("openOther"); // otherwise the detail screen is closed
        QTest::newRow("another title opened") << true;
        QTest::newRow("detail screen closed") << false;
    }

    void lateDetails()
    {
        QFETCH(bool, openOther);
        auto store = f->startedStore(f->playlist());
        f->serve("get_vod_info", vodInfoJson("first"), std::chrono::milliseconds(300));
        auto first = store->openDetail(movie("1"));
        QVERIFY(store->loadingDetail());
        QTRY_COMPARE(f->requestsFor("get_vod_info"), 1); // the first answer is on its way
        f->serve("get_vod_info", vodInfoJson("second"), std::chrono::milliseconds(100));
        auto second = openOther ? store->openDetail(movie("2")) : QCoro::Task<>();
        if (!openOther)
            store->clearDetailItem();

        QSignalSpy loading(store.get(), &AppStore::loadingDetailChanged);
        if (openOther)
            await(std::move(second));
        await(std::move(first));
        QVERIFY(!store->loadingDetail());
        QCOMPARE(loading.count(), 1);
        QCOMPARE(store->hasVodInfo(), openOther);
        if (openOther) {
            QCOMPARE(store->vodInfo()->plot, QStringLiteral("second"));
            QCOMPARE(store->detailItem()->id, QStringLiteral("2"));
        }
    }

    // A, then B, then A again: the first answer for A arrives last and is not the latest load of A.
    void onlyTheLatestLoadApplies()
    {
        auto store = f->startedStore(f->playlist());
        f->serve("get_vod_info", vodInfoJson("A, first load"), std::chrono::milliseconds(400));
        auto first = store->openDetail(movie("A"));
        QTRY_COMPARE(f->requestsFor("get_vod_info"), 1);
        f->serve("get_vod_info", vodInfoJson("latest"));
        auto other = store->openDetail(movie("B"));
        auto again = store->openDetail(movie("A"));
        await(std::move(again));
        await(std::move(other));
        QCOMPARE(store->vodInfo()->plot, QStringLiteral("latest"));
        QVERIFY(!store->loadingDetail());

        await(std::move(first));
        QCOMPARE(store->detailItem()->id, QStringLiteral("A"));
        QCOMPARE(store->vodInfo()->plot, QStringLiteral("latest"));
        QVERIFY(!store->loadingDetail());
    }

    void homeRows_data()
    {
        QTest::addColumn<int>("movies");
        QTest::addColumn<int>("unreadable"); // of those, how many carry no readable stamp
        QTest::addColumn<QStringList>("expected");
        QStringList newest;
        for (int i = 24; i >= 15; --i)
            newest.append(QString::number(i));
        QTest::newRow("25 give the newest 10") << 25 << 0 << newest;
        QTest::newRow("7 give 7") << 7 << 0 << QStringList{"6", "5", "4", "3", "2", "1", "0"};
        QTest::newRow("unreadable stamps last, in provider order") << 5 << 3 << QStringList{"4", "3", "0", "1", "2"};
    }

    void homeRows()
    {
        QFETCH(int, movies);
        QFETCH(int, unreadable);
        QFETCH(QStringList, expected);
        QList<Movie> rows;
        for (int i = 0; i < movies; ++i)
            rows.append({.id = QString::number(i), .name = "M", .added = i < unreadable ? QString() : QString::number(1000 + i)});
        f->serve("get_vod_streams", moviesJson(rows));
        f->serve("get_series", showsJson({{.id = "s", .name = "S", .modified = "12"}}));
        auto store = f->connectedStore();
        QCOMPARE(idsOf(store->latestMovies()), expected);
        QCOMPARE(idsOf(store->latestSeries()), QStringList{"s"});
        QCOMPARE(store->allVods().size(), movies);
        QVERIFY(!store->loadingHome());
    }

    void trailers_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<bool>("opened");
        QTest::newRow("empty id") << "" << false;
        QTest::newRow("an id") << "dQw4w9WgXcQ" << true;
        QTest::newRow("an id that breaks the address") << "a b" << false;
    }

    void trailers()
    {
        QFETCH(QString, id);
        QFETCH(bool, opened);
        auto store = f->makeStore();
        QList<QUrl> urls;
        store->setUrlOpener([&](const QUrl &url) { urls.append(url); });
        store->openTrailer(id);
        QCOMPARE(urls.size(), opened ? 1 : 0);
        if (opened) {
            QCOMPARE(urls[0], *AppStore::trailerURL(id));
            QVERIFY(urls[0].toString().endsWith("/watch?v=" + id));
        }
    }
};

QTEST_GUILESS_MAIN(TestStorePlayback)
#include "tst_store_playback.moc"
