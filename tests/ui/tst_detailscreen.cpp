// The detail screen over a store against the fake provider: which facts and actions show for a
// movie and a show, the favourite, the seasons and their episodes, the playing mark, the empty
// and loading states, the ways back and the keyboard.
#include "screenfixture.h"

#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(MavuPlugin)
Q_IMPORT_QML_PLUGIN(Mavu_CorePlugin)

namespace {

MediaItem movie(const QString &added = QStringLiteral("1700000000"))
{
    MediaItem item;
    item.id = QStringLiteral("11");
    item.name = QStringLiteral("The Long Night");
    item.kind = MediaItem::Kind::movie;
    item.containerExt = QStringLiteral("mkv");
    item.setAdded(added);
    item.rating5 = 3.5;
    return item;
}

MediaItem show(const QString &trailer = {})
{
    MediaItem item;
    item.id = QStringLiteral("5");
    item.setSeriesId(QStringLiteral("5"));
    item.name = QStringLiteral("Harbour Lights");
    item.kind = MediaItem::Kind::series;
    item.containerExt = QStringLiteral("mp4");
    item.setReleaseDate(QStringLiteral("2019-04-02"));
    item.setGenre(QStringLiteral("Drama"));
    item.setCast(QStringLiteral("A. Actor, B. Actor"));
    item.setPlot(QStringLiteral("A town by the sea."));
    item.setTrailer(trailer);
    return item;
}

QByteArray vodInfoJson(const QByteArray &trailer = "abc123")
{
    return R"({"info":{"plot":"Two strangers and one night.","cast":"C. Cast","director":"D. Director","age":"16",)"
           R"("episode_run_time":"102","releasedate":"2003-05-06","youtube_trailer":")" + trailer + R"("}})";
}

// Two seasons; the second one's first episode has no title.
QByteArray seriesInfoJson(const QByteArray &trailer = "")
{
    return R"({"info":{"youtube_trailer":")" + trailer + R"("},)"
           R"("seasons":[{"season_number":1,"name":"Season 1"},{"season_number":2,"name":"Season 2"}],)"
           R"("episodes":{"1":[{"id":"101","title":"Arrival","episode_num":1},{"id":"102","title":"Storm","episode_num":2}],)"
           R"("2":[{"id":"201","title":"","episode_num":3},{"id":"202","title":"Departure","episode_num":4}]}})";
}

QStringList shownNames(QQuickItem *from, const QStringList &names)
{
    QStringList shown;
    for (const QString &name : names) {
        const QList<QQuickItem *> found = ScreenFixture::findAll(from, name);
        if (!found.isEmpty() && ScreenFixture::shown(found.first()))
            shown.append(name);
    }
    return shown;
}

QStringList texts(const QList<QQuickItem *> &items, const char *part = nullptr)
{
    QStringList result;
    for (QQuickItem *item : items) {
        QObject *holder = part ? item->findChild<QObject *>(QLatin1String(part)) : item;
        result.append(holder->property("text").toString());
    }
    return result;
}

// The delegates a list shows, in order.
QList<QQuickItem *> entries(ScreenFixture &f, const char *list, const char *delegate)
{
    QList<QQuickItem *> found = ScreenFixture::findAll(f.find(QLatin1String(list)), QLatin1String(delegate));
    std::sort(found.begin(), found.end(), [](QQuickItem *a, QQuickItem *b) {
        return a->property("index").toInt() < b->property("index").toInt();
    });
    return found;
}

// What has the keyboard: a chip's or card's text, else the focused item's objectName.
QString focusedName(ScreenFixture &f)
{
    QQuickItem *item = f.focused();
    if (!item)
        return {};
    if (item->objectName() == QLatin1String("seasonChip") || item->objectName() == QLatin1String("episodeCard"))
        return item->objectName() + QLatin1Char(':') + item->property("text").toString();
    return item->objectName();
}

} // namespace

class TestDetailScreen : public QObject
{
    Q_OBJECT

    // A store whose device service attaches the fake provider, its details opened for `item`,
    // and the screen over it.
    static void open(ScreenFixture &f, const MediaItem &item)
    {
        f.server.on(f.devicePath("playlist_information"),
                    FakeServer::Reply::json(R"({"urls":[")" + f.server.base().toUtf8() + R"(/get.php?username=user&password=pass"]})"));
        TestSupport::await(f.store->start());
        QVERIFY(f.store->hasPlaylist());
        f.load(QStringLiteral("DetailScreen.qml"));
        TestSupport::await(f.store->openDetail(item));
    }

    static QString buttonText(ScreenFixture &f, const char *button)
    {
        return f.find(QLatin1String(button))->findChild<QObject *>(QStringLiteral("buttonText"))->property("text").toString();
    }

    static QString buttonSymbol(ScreenFixture &f, const char *button)
    {
        return f.find(QLatin1String(button))->findChild<QObject *>(QStringLiteral("buttonSymbol"))->property("name").toString();
    }

private Q_SLOTS:
    void initTestCase()
    {
        useSoftwareRendering();
        // The release date is shown in the local time zone.
        qputenv("TZ", "UTC0");
    }

    // Facts from the list entry and the details; a row without text is absent, the rating is not.
    void factsShownWhenTheyHaveText_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("infoStatus"); // the details' answer: 200, or a failure
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("releaseDate");
        QTest::addColumn<QString>("plot");
        const QStringList all{"factReleaseDate", "ratingRow", "factDirector", "factAge", "factLength", "factCast"};
        QTest::newRow("movie with its details") << "movie" << 200 << all << "2023.11.14" << "Two strangers and one night.";
        QTest::newRow("movie whose details failed") << "movie" << 500 << QStringList{"factReleaseDate", "ratingRow"} << "2023.11.14" << "";
        QTest::newRow("movie dated by its details") << "undated movie" << 200 << all << "2003-05-06" << "Two strangers and one night.";
        QTest::newRow("movie without any date") << "undated movie" << 500 << QStringList{"ratingRow"} << "" << "";
        QTest::newRow("show") << "show" << 200 << QStringList{"factReleaseDate", "ratingRow", "factGenre", "factCast"} << "2019-04-02"
                              << "A town by the sea.";
    }

    void factsShownWhenTheyHaveText()
    {
        QFETCH(QString, kind);
        QFETCH(int, infoStatus);
        ScreenFixture f;
        f.server.onAction(QStringLiteral("get_vod_info"), FakeServer::Reply::json(infoStatus == 200 ? vodInfoJson() : "oops", infoStatus));
        f.server.onAction(QStringLiteral("get_series_info"), FakeServer::Reply::json(seriesInfoJson()));
        open(f, kind == QLatin1String("show") ? show() : movie(kind == QLatin1String("movie") ? QStringLiteral("1700000000") : QString()));

        const QStringList rows{"factReleaseDate", "ratingRow", "factDirector", "factAge", "factLength", "factGenre", "factCast"};
        QTEST(shownNames(f.root, rows), "rows");
        QTEST(f.find(QStringLiteral("factReleaseDate"))->findChild<QObject *>(QStringLiteral("factValue"))->property("text").toString(),
              "releaseDate");
        QQuickItem *plot = f.find(QStringLiteral("plot"));
        QTEST(plot->property("text").toString(), "plot");
        QCOMPARE(ScreenFixture::shown(plot), !plot->property("text").toString().isEmpty());
        QCOMPARE(f.find(QStringLiteral("detailTitle"))->property("text").toString(), f.store->detailItem()->name);
        QCOMPARE(ScreenFixture::shown(f.find(QStringLiteral("seasonsPart"))), kind == QLatin1String("show"));
        QVERIFY(!ScreenFixture::shown(f.find(QStringLiteral("loadingOverlay"))));
    }

    // The stars and the number beside them (the rule itself is tested on its own).
    void rating_data()
    {
        QTest::addColumn<double>("rating");
        QTest::addColumn<QStringList>("stars");
        QTest::addColumn<QString>("number"); // empty: not shown
        const QString full = QStringLiteral("star.fill");
        const QString half = QStringLiteral("star.leadinghalf.filled");
        const QString empty = QStringLiteral("star");
        QTest::newRow("none") << 0.0 << QStringList(5, empty) << "";
        QTest::newRow("three and a half") << 3.5 << QStringList{full, full, full, half, empty} << "3.5";
    }

    void rating()
    {
        QFETCH(double, rating);
        ScreenFixture f;
        f.server.onAction(QStringLiteral("get_vod_info"), FakeServer::Reply::json(vodInfoJson()));
        MediaItem item = movie();
        item.rating5 = rating;
        open(f, item);
        QStringList stars;
        for (QQuickItem *star : ScreenFixture::findAll(f.find(QStringLiteral("stars")), QStringLiteral("star")))
            stars.append(star->property("symbol").toString());
        QTEST(stars, "stars");
        QQuickItem *number = f.find(QStringLiteral("ratingNumber"));
        QTEST(ScreenFixture::shown(number) ? number->property("text").toString() : QString(), "number");
    }

    // Trailer when there is one, Play for movies only, the favourite always.
    void actionsPerKind_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("buttons");
        const QStringList all{"trailerButton", "playButton", "favoriteButton"};
        QTest::newRow("movie with a trailer") << "movie" << all;
        QTest::newRow("movie without a trailer") << "movie, no trailer" << QStringList{"playButton", "favoriteButton"};
        QTest::newRow("show with a trailer in its entry") << "show, listed trailer" << QStringList{"trailerButton", "favoriteButton"};
        QTest::newRow("show with a trailer in its details") << "show, detailed trailer" << QStringList{"trailerButton", "favoriteButton"};
        QTest::newRow("show without a trailer") << "show" << QStringList{"favoriteButton"};
    }

    void actionsPerKind()
    {
        QFETCH(QString, kind);
        ScreenFixture f;
        f.server.onAction(QStringLiteral("get_vod_info"), FakeServer::Reply::json(vodInfoJson(kind.contains(QLatin1String("no trailer")) ? "" : "abc123")));
        f.server.onAction(QStringLiteral("get_series_info"),
                          FakeServer::Reply::json(seriesInfoJson(kind.contains(QLatin1String("detailed")) ? "xyz789" : "")));
        open(f, kind.startsWith(QLatin1String("movie")) ? movie() : show(kind.contains(QLatin1String("listed")) ? QStringLiteral("lst456") : QString()));
        QTEST(shownNames(f.root, {"trailerButton", "playButton", "favoriteButton"}), "buttons");
        for (const char *button : {"trailerButton", "playButton", "favoriteButton"}) // each says all of its text
            QVERIFY2(!f.find(QLatin1String(button))->findChild<QObject *>(QStringLiteral("buttonText"))->property("truncated").toBool(), button);
        QCOMPARE(buttonSymbol(f, "trailerButton"), QStringLiteral("play.rectangle"));
        QCOMPARE(buttonSymbol(f, "playButton"), QStringLiteral("play.fill"));
        QVERIFY(f.find(QStringLiteral("playButton"))->width() >= 90);
    }

    // Play starts the movie, the trailer opens in the browser, the favourite flips at once.
    void actionsAct()
    {
        ScreenFixture f;
        QList<QUrl> opened;
        f.store->setUrlOpener([&](const QUrl &url) { opened.append(url); });
        f.server.onAction(QStringLiteral("get_vod_info"), FakeServer::Reply::json(vodInfoJson()));
        open(f, movie());

        QCOMPARE(buttonText(f, "favoriteButton"), QStringLiteral("Add to Favorite"));
        QCOMPARE(buttonSymbol(f, "favoriteButton"), QStringLiteral("star"));
        f.click(f.find(QStringLiteral("favoriteButton")));
        QVERIFY(f.store->isFavorite(movie()));
        QCOMPARE(buttonText(f, "favoriteButton"), QStringLiteral("Remove Favorite"));
        QCOMPARE(buttonSymbol(f, "favoriteButton"), QStringLiteral("star.fill"));
        f.click(f.find(QStringLiteral("favoriteButton")));
        QVERIFY(!f.store->isFavorite(movie()));
        QCOMPARE(buttonText(f, "favoriteButton"), QStringLiteral("Add to Favorite"));
        // A favourite set elsewhere shows too.
        f.store->toggleFavorite(movie());
        QCOMPARE(buttonText(f, "favoriteButton"), QStringLiteral("Remove Favorite"));

        f.click(f.find(QStringLiteral("trailerButton")));
        QCOMPARE(opened.size(), 1);
        QCOMPARE(QUrlQuery(opened.first()).queryItemValue(QStringLiteral("v")), QStringLiteral("abc123"));

        f.click(f.find(QStringLiteral("playButton")));
        QCOMPARE(f.store->nowPlaying()->id, movie().id);
        QVERIFY(f.store->nowPlayingURL()->path().endsWith(QLatin1String("/movie/user/pass/11.mkv")));
        QVERIFY(f.store->hasDetailItem()); // the screen stays behind the player
    }

    // Chips in the order of the seasons, the chosen one highlighted; choosing another shows its
    // episodes at once.
    void seasonSwitching()
    {
        ScreenFixture f;
        f.server.onAction(QStringLiteral("get_series_info"), FakeServer::Reply::json(seriesInfoJson()));
        open(f, show());
        QTRY_COMPARE(entries(f, "seasonChips", "seasonChip").size(), 2);
        const auto chips = [&] { return entries(f, "seasonChips", "seasonChip"); };
        const auto selected = [&] {
            QStringList names;
            for (QQuickItem *chip : chips())
                names.append(chip->property("selected").toBool() ? chip->property("text").toString() : QStringLiteral("-"));
            return names;
        };
        QCOMPARE(texts(chips()), QStringList({"Season 1", "Season 2"}));
        QCOMPARE(selected(), QStringList({"Season 1", "-"}));
        QCOMPARE(texts(entries(f, "episodeList", "episodeCard"), "episodeTitle"), QStringList({"Arrival", "Storm"}));

        f.click(chips().at(1));
        QCOMPARE(f.store->selectedSeason()->id, 2);
        QCOMPARE(selected(), QStringList({"-", "Season 2"}));
        QTRY_COMPARE(texts(entries(f, "episodeList", "episodeCard"), "episodeTitle"), QStringList({"Episode 3", "Departure"}));

        // A change made elsewhere moves the highlight too.
        f.store->setSelectedSeason(f.store->seasons().first());
        QCOMPARE(selected(), QStringList({"Season 1", "-"}));
        QTRY_COMPARE(texts(entries(f, "episodeList", "episodeCard"), "episodeTitle"), QStringList({"Arrival", "Storm"}));
    }

    // The card of the episode now playing is marked and outlined; the mark follows the store.
    void playingMarkFollowsTheStore()
    {
        ScreenFixture f;
        f.server.onAction(QStringLiteral("get_series_info"), FakeServer::Reply::json(seriesInfoJson()));
        open(f, show());
        QTRY_COMPARE(entries(f, "episodeList", "episodeCard").size(), 2);
        const auto marked = [&] {
            QStringList titles;
            for (QQuickItem *card : entries(f, "episodeList", "episodeCard")) {
                const bool mark = ScreenFixture::shown(card->findChild<QQuickItem *>(QStringLiteral("playingMark")));
                const bool border = card->findChild<QObject *>(QStringLiteral("cardFace"))->property("border").value<QObject *>()->property("width").toReal() > 0;
                if (mark != border)
                    titles.append(QStringLiteral("mark and border disagree"));
                if (mark)
                    titles.append(card->property("text").toString());
            }
            return titles;
        };
        QCOMPARE(marked(), QStringList());

        f.click(entries(f, "episodeList", "episodeCard").at(1));
        QCOMPARE(f.store->nowPlayingEpisode()->id, QStringLiteral("102"));
        QCOMPARE(f.store->nowPlaying()->id, show().id);
        QCOMPARE(marked(), QStringList{"Storm"});

        f.store->playEpisode(f.store->seasonEpisodes().first(), show());
        QCOMPARE(marked(), QStringList{"Arrival"});
        // Another season's episode: nothing of this season is marked, until it is chosen.
        f.store->playEpisode(f.store->episodes().at(2), show());
        QCOMPARE(marked(), QStringList());
        f.store->setSelectedSeason(f.store->seasons().at(1));
        QTRY_COMPARE(marked(), QStringList{"Episode 3"});
        f.store->exitPlayer();
        QCOMPARE(marked(), QStringList());
    }

    // While the details load: the overlay, and no empty-state text; after an empty answer the
    // text, without the overlay.
    void loadingAndNoEpisodes()
    {
        ScreenFixture f;
        FakeServer::Reply slow = FakeServer::Reply::json(R"({"seasons":[],"episodes":{}})");
        slow.delay = std::chrono::milliseconds(400);
        f.server.onAction(QStringLiteral("get_series_info"), slow);
        f.server.on(f.devicePath("playlist_information"),
                    FakeServer::Reply::json(R"({"urls":[")" + f.server.base().toUtf8() + R"(/get.php?username=user&password=pass"]})"));
        TestSupport::await(f.store->start());
        f.load(QStringLiteral("DetailScreen.qml"));
        auto detail = f.store->openDetail(show());
        QVERIFY(f.store->loadingDetail());
        QVERIFY(ScreenFixture::shown(f.find(QStringLiteral("loadingOverlay"))));
        QVERIFY(!ScreenFixture::shown(f.find(QStringLiteral("noEpisodes"))));
        QVERIFY(ScreenFixture::shown(f.find(QStringLiteral("factGenre")))); // the entry's own facts show at once
        TestSupport::await(std::move(detail));
        QVERIFY(!ScreenFixture::shown(f.find(QStringLiteral("loadingOverlay"))));
        QVERIFY(ScreenFixture::shown(f.find(QStringLiteral("noEpisodes"))));
        QCOMPARE(f.find(QStringLiteral("noEpisodes"))->property("text").toString(), QStringLiteral("No episodes available"));
        QVERIFY(!ScreenFixture::shown(f.find(QStringLiteral("seasonsTitle"))));
        QVERIFY(!ScreenFixture::shown(f.find(QStringLiteral("seasonChips"))));
    }

    void backLeavesTheDetail_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("back button") << "click";
        QTest::newRow("back by key") << "key";
        QTest::newRow("Escape") << "escape";
    }

    void backLeavesTheDetail()
    {
        QFETCH(QString, how);
        ScreenFixture f;
        f.server.onAction(QStringLiteral("get_vod_info"), FakeServer::Reply::json(vodInfoJson()));
        open(f, movie());
        QVERIFY(f.store->hasDetailItem());
        if (how == QLatin1String("click")) {
            f.click(f.find(QStringLiteral("detailBack")));
        } else if (how == QLatin1String("key")) {
            f.key(Qt::Key_Tab);
            QCOMPARE(f.focusedName(), QStringLiteral("detailBack"));
            f.key(Qt::Key_Return);
        } else {
            f.key(Qt::Key_Escape);
        }
        QVERIFY(!f.store->hasDetailItem());
        QCOMPARE(f.store->phase(), AppStore::Phase::section);
    }

    // Tab: back, the actions, the season chips at the chosen season, the episodes. The arrows
    // move along the chips and the episodes; Enter chooses a season and plays an episode.
    void keyboardWalksTheScreen()
    {
        ScreenFixture f;
        f.server.onAction(QStringLiteral("get_series_info"), FakeServer::Reply::json(seriesInfoJson("xyz789")));
        open(f, show());
        QTRY_COMPARE(entries(f, "episodeList", "episodeCard").size(), 2);
        f.store->setSelectedSeason(f.store->seasons().at(1));
        QStringList order;
        for (int i = 0; i < 6; ++i) {
            f.key(Qt::Key_Tab);
            order.append(focusedName(f));
        }
        QCOMPARE(order, QStringList({"detailBack", "trailerButton", "favoriteButton", "seasonChip:Season 2", "episodeCard:Episode 3",
                                     "detailBack"}));
        f.key(Qt::Key_Backtab);
        QCOMPARE(focusedName(f), QStringLiteral("episodeCard:Episode 3"));
        f.key(Qt::Key_Backtab);
        QCOMPARE(focusedName(f), QStringLiteral("seasonChip:Season 2"));

        const QList<std::pair<Qt::Key, QString>> moves{
            {Qt::Key_Left, "seasonChip:Season 1"}, {Qt::Key_Left, "seasonChip:Season 1"}, {Qt::Key_Right, "seasonChip:Season 2"},
            {Qt::Key_Left, "seasonChip:Season 1"},
        };
        for (const auto &[key, expected] : moves) {
            f.key(key);
            QCOMPARE(focusedName(f), expected);
            QVERIFY2(f.focused()->findChild<QQuickItem *>(QStringLiteral("focusRing"))->isVisible(), qPrintable(expected));
        }
        QCOMPARE(f.store->selectedSeason()->id, 2); // moving is not choosing
        f.key(Qt::Key_Return);
        QCOMPARE(f.store->selectedSeason()->id, 1);

        f.key(Qt::Key_Tab);
        QCOMPARE(focusedName(f), QStringLiteral("episodeCard:Arrival"));
        f.key(Qt::Key_Down);
        QCOMPARE(focusedName(f), QStringLiteral("episodeCard:Storm"));
        f.key(Qt::Key_Down);
        QCOMPARE(focusedName(f), QStringLiteral("episodeCard:Storm"));
        f.key(Qt::Key_Up);
        QCOMPARE(focusedName(f), QStringLiteral("episodeCard:Arrival"));
        f.key(Qt::Key_Down);
        f.key(Qt::Key_Enter);
        QCOMPARE(f.store->nowPlayingEpisode()->id, QStringLiteral("102"));

        f.key(Qt::Key_Escape);
        QVERIFY(!f.store->hasDetailItem());
    }

    void movieByKeyboard()
    {
        ScreenFixture f;
        f.server.onAction(QStringLiteral("get_vod_info"), FakeServer::Reply::json(vodInfoJson()));
        open(f, movie());
        QStringList order;
        for (int i = 0; i < 5; ++i) {
            f.key(Qt::Key_Tab);
            order.append(focusedName(f));
        }
        QCOMPARE(order, QStringList({"detailBack", "trailerButton", "playButton", "favoriteButton", "detailBack"}));
        f.key(Qt::Key_Backtab);
        f.key(Qt::Key_Space);
        QVERIFY(f.store->isFavorite(movie()));
        f.key(Qt::Key_Backtab);
        f.key(Qt::Key_Enter);
        QTRY_COMPARE(f.store->nowPlaying().value_or(MediaItem()).id, movie().id);
    }

    // In a short window the episode that takes the keyboard scrolls into view.
    void focusedEpisodeScrollsIntoView()
    {
        ScreenFixture f;
        f.window.resize(820, 520);
        f.server.onAction(QStringLiteral("get_series_info"), FakeServer::Reply::json(seriesInfoJson()));
        open(f, show());
        QTRY_COMPARE(entries(f, "episodeList", "episodeCard").size(), 2);
        QQuickItem *last = entries(f, "episodeList", "episodeCard").at(1);
        const auto inView = [&](QQuickItem *item) {
            const QPointF top = item->mapToScene(QPointF(0, 0));
            return top.y() >= 0 && top.y() + item->height() <= f.window.height();
        };
        QVERIFY(!inView(last));
        for (int i = 0; i < 4; ++i)
            f.key(Qt::Key_Tab);
        f.key(Qt::Key_Down);
        QCOMPARE(focusedName(f), QStringLiteral("episodeCard:Storm"));
        QTRY_VERIFY_WITH_TIMEOUT(inView(last), 15000); // the scroll is animated; a busy machine draws it late
        f.key(Qt::Key_Tab); // round to back, in the header
        f.key(Qt::Key_Tab);
        QCOMPARE(f.focusedName(), QStringLiteral("favoriteButton"));
        QTRY_VERIFY(inView(f.find(QStringLiteral("favoriteButton"))));
    }
};

QTEST_MAIN(TestDetailScreen)
#include "tst_detailscreen.moc"
