// The section screen over a store in a known state: which body it shows, the category column,
// the grid pane's header and content, the parental PIN sheet, and the keyboard through it all.
#include "screenfixture.h"
#include "../player/testmedia.h"

#include <QSignalSpy>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(MavuPlugin)
Q_IMPORT_QML_PLUGIN(Mavu_CorePlugin)

namespace {

using Categories = QList<std::pair<QByteArray, QByteArray>>; // id, name

QByteArray categoriesJson(const Categories &categories)
{
    QByteArray json = "[";
    for (const auto &[id, name] : categories)
        json += (json.size() > 1 ? "," : "") + QByteArray(R"({"category_id":")") + id + R"(","category_name":")" + name + R"("})";
    return json + "]";
}

// `count` titles "<prefix> 0", "<prefix> 1", … in category `category`, the first one newest.
QByteArray streamsJson(const char *idKey, const QByteArray &prefix, int count, const QByteArray &category = "1", int firstId = 1)
{
    QByteArray json = "[";
    for (int i = 0; i < count; ++i) {
        json += (i ? "," : "") + QByteArray("{\"") + idKey + "\":" + QByteArray::number(firstId + i) + R"(,"name":")" + prefix + ' '
                + QByteArray::number(i) + R"(","category_id":")" + category + R"(","added":")" + QByteArray::number(1700000000 - i)
                + R"(","last_modified":")" + QByteArray::number(1700000000 - i) + R"("})";
    }
    return json + "]";
}

// What has the keyboard, in words: "category:Action", "item:Movie 3", or the objectName.
QString focusedThing(ScreenFixture &f)
{
    QQuickItem *item = f.focused();
    if (!item)
        return {};
    if (item->property("category").isValid())
        return QStringLiteral("category:") + item->property("category").value<Category>().name;
    if (item->property("item").isValid())
        return QStringLiteral("item:") + item->property("item").value<MediaItem>().name;
    return item->objectName();
}

bool ringShown(ScreenFixture &f)
{
    auto *ring = f.focused() ? f.focused()->findChild<QQuickItem *>(QStringLiteral("focusRing")) : nullptr;
    return ring && ring->isVisible();
}

} // namespace

class TestSectionView : public QObject
{
    Q_OBJECT

    // A store on the home screen's phase, connected to the fake provider.
    static void startStore(ScreenFixture &f)
    {
        f.startAttached();
        TestSupport::await(f.store->enterBrowse());
        QVERIFY(f.store->hasPlaylist());
    }

    // The movies section with two categories (and the two pseudo-categories), `count` movies in
    // the first, the screen shown.
    static void openMovies(ScreenFixture &f, int count = 12)
    {
        f.server.onAction(QStringLiteral("get_vod_categories"), FakeServer::Reply::json(categoriesJson({{"1", "Action"}, {"2", "Drama"}})));
        f.server.onAction(QStringLiteral("get_vod_streams"), FakeServer::Reply::json(streamsJson("stream_id", "Movie", count)));
        startStore(f); // after the routes: entering fetches the catalogues for home
        TestSupport::await(f.store->openSection(Section::movies));
        f.load(QStringLiteral("SectionView.qml"));
        QTRY_COMPARE(cards(f).size() > 0, count > 0);
    }

    // The live section: "News" (selected on opening) and an adult category.
    static void openLive(ScreenFixture &f)
    {
        f.server.onAction(QStringLiteral("get_live_categories"),
                          FakeServer::Reply::json(categoriesJson({{"1", "News"}, {"2", "XXX | Late"}})));
        f.server.onAction(QStringLiteral("get_live_streams"), FakeServer::Reply::json(streamsJson("stream_id", "Channel", 3)));
        startStore(f); // after the routes: entering fetches the catalogues for home
        TestSupport::await(f.store->openSection(Section::live));
        f.load(QStringLiteral("SectionView.qml"));
    }

    // The grid's cells in use: cells set aside for reuse stay in the tree, out of the scene.
    static QList<QQuickItem *> cards(ScreenFixture &f)
    {
        QQuickItem *grid = ScreenFixture::findAll(f.root, QStringLiteral("posterGrid")).value(0);
        if (!grid)
            return ScreenFixture::findAll(f.root, QStringLiteral("itemCard"));
        QList<QQuickItem *> found;
        for (int i = 0; i < grid->property("count").toInt(); ++i) {
            QQuickItem *cell = nullptr;
            QMetaObject::invokeMethod(grid, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, cell), Q_ARG(int, i));
            if (cell)
                found.append(cell);
        }
        return found;
    }

    static QQuickItem *card(ScreenFixture &f, const QString &name)
    {
        for (QQuickItem *card : cards(f)) {
            if (card->property("item").value<MediaItem>().name == name)
                return card;
        }
        return nullptr;
    }

    static QList<QQuickItem *> rows(ScreenFixture &f) { return ScreenFixture::findAll(f.root, QStringLiteral("categoryRow")); }

    static QQuickItem *row(ScreenFixture &f, const QString &name)
    {
        for (QQuickItem *row : rows(f)) {
            if (row->property("category").value<Category>().name == name)
                return row;
        }
        qFatal("no category row %s", qPrintable(name));
    }

    static bool shown(ScreenFixture &f, const char *name) { return ScreenFixture::shown(f.find(QLatin1String(name))); }

    // A part of the PIN sheet on screen ("pinField", "pinWrong", …); nothing while there is none.
    static QQuickItem *sheetPart(ScreenFixture &f, const char *name)
    {
        QObject *sheet = f.find(QStringLiteral("pinLayer"))->property("item").value<QObject *>();
        return sheet ? sheet->findChild<QQuickItem *>(QLatin1String(name)) : nullptr;
    }

private Q_SLOTS:
    void initTestCase()
    {
        useSoftwareRendering();
        TestMedia::useDummyAudio();
    }

    void bodyFollowsTheStore_data()
    {
        QTest::addColumn<int>("section");
        QTest::addColumn<QString>("body");
        QTest::newRow("movies") << int(Section::movies) << "gridPane";
        QTest::newRow("TV shows") << int(Section::series) << "gridPane";
        QTest::newRow("live") << int(Section::live) << "liveColumns";
    }

    // The grid for movies and shows, the live columns for live; an open item covers either,
    // and going back shows the columns as they were.
    void bodyFollowsTheStore()
    {
        QFETCH(int, section);
        QFETCH(QString, body);
        ScreenFixture f;
        f.server.setFallback(FakeServer::Reply::json(categoriesJson({{"1", "First"}})));
        f.server.onAction(QStringLiteral("get_vod_streams"), FakeServer::Reply::json(streamsJson("stream_id", "Movie", 2)));
        f.server.onAction(QStringLiteral("get_series"), FakeServer::Reply::json(streamsJson("series_id", "Show", 2)));
        f.server.onAction(QStringLiteral("get_live_streams"), FakeServer::Reply::json(streamsJson("stream_id", "Channel", 2)));
        startStore(f); // after the routes: entering fetches the catalogues for home
        TestSupport::await(f.store->openSection(Section(section)));
        f.load(QStringLiteral("SectionView.qml"));
        QQuickItem *shownBody = f.find(QStringLiteral("sectionBody"))->property("item").value<QQuickItem *>();
        QCOMPARE(shownBody->objectName(), body);
        QVERIFY(shown(f, "categoryColumn"));
        QCOMPARE(f.find(QStringLiteral("sectionTitle"))->property("text").toString(), rawValue(Section(section)));

        // The section's catalogue arrives after the section opens.
        QTRY_VERIFY(!f.store->items().isEmpty());
        MediaItem item = f.store->items().first();
        f.store->setDetailItem(item);
        QVERIFY(!shown(f, "sectionColumns"));
        QVERIFY(shown(f, "detailScreen"));
        QCOMPARE(f.find(QStringLiteral("detailTitle"))->property("text").toString(), item.name);
        f.click(f.find(QStringLiteral("detailBack")));
        QVERIFY(!f.store->hasDetailItem());
        QVERIFY(shown(f, "sectionColumns"));
        QTRY_VERIFY(!f.find(QStringLiteral("detailLayer"))->property("item").value<QObject *>());
    }

    // The favourites and the recently viewed first, with their symbols; the selected row in ink
    // on amber.
    void columnRowsAndSymbols()
    {
        ScreenFixture f;
        openMovies(f);
        const QList<std::tuple<QString, QString, bool>> expected{
            {"Favorites", "star.fill", false}, {"Recently Viewed", "clock", false}, {"Action", "", true}, {"Drama", "", false}};
        QTRY_COMPARE(rows(f).size(), 4);
        for (const auto &[name, symbol, selected] : expected) {
            QQuickItem *shownRow = row(f, name);
            auto *icon = shownRow->findChild<QQuickItem *>(QStringLiteral("categorySymbol"));
            auto *text = shownRow->findChild<QQuickItem *>(QStringLiteral("categoryName"));
            QCOMPARE(icon->property("name").toString(), symbol);
            QCOMPARE(icon->isVisible(), !symbol.isEmpty());
            QCOMPARE(shownRow->property("selected").toBool(), selected);
            const QColor ink(0x0B, 0x0C, 0x10);
            QCOMPARE(text->property("color").value<QColor>() == ink, selected);
        }
    }

    // Same id, other name: a different category, never selected with it.
    void selectionByIdAndName()
    {
        ScreenFixture f;
        f.server.onAction(QStringLiteral("get_vod_categories"), FakeServer::Reply::json(categoriesJson({{"7", "Drama"}, {"7", "Drama HD"}})));
        f.server.onAction(QStringLiteral("get_vod_streams"), FakeServer::Reply::json(streamsJson("stream_id", "Movie", 2, "7")));
        startStore(f); // after the routes: entering fetches the catalogues for home
        TestSupport::await(f.store->openSection(Section::movies));
        f.load(QStringLiteral("SectionView.qml"));
        QTRY_COMPARE(rows(f).size(), 4);
        QVERIFY(row(f, "Drama")->property("selected").toBool());
        QVERIFY(!row(f, "Drama HD")->property("selected").toBool());
        f.click(row(f, "Drama HD"));
        QCOMPARE(f.store->selectedCategory()->name, QStringLiteral("Drama HD"));
        QVERIFY(!row(f, "Drama")->property("selected").toBool());
        QVERIFY(row(f, "Drama HD")->property("selected").toBool());
    }

    // A column longer than the screen: a selection far from the rows in view scrolls the column
    // to it, and the rows set aside on the way show other categories when they come back. Every
    // row in view names its own category, and only the selected one is marked.
    void farSelectionsMarkOneRow_data()
    {
        QTest::addColumn<QList<int>>("chosen"); // indexes into the provider's categories
        QTest::newRow("to the end and back") << QList<int>{39, 0, 39, 0};
        QTest::newRow("to the middle, the end, the start") << QList<int>{20, 39, 1, 21};
        QTest::newRow("along the screen") << QList<int>{1, 2, 3, 2};
    }

    void farSelectionsMarkOneRow()
    {
        QFETCH(QList<int>, chosen);
        ScreenFixture f;
        Categories provider;
        for (int i = 0; i < 40; ++i)
            provider.append({QByteArray::number(i + 1), "Genre " + QByteArray::number(i)});
        f.server.onAction(QStringLiteral("get_vod_categories"), FakeServer::Reply::json(categoriesJson(provider)));
        f.server.onAction(QStringLiteral("get_vod_streams"), FakeServer::Reply::json(streamsJson("stream_id", "Movie", 3)));
        startStore(f);
        TestSupport::await(f.store->openSection(Section::movies));
        f.load(QStringLiteral("SectionView.qml"));
        QQuickItem *list = f.find(QStringLiteral("categoryList"));
        QTRY_COMPARE(list->property("count").toInt(), 42);

        // The rows in use: rows set aside for reuse stay in the tree, out of the scene.
        const auto inView = [&] {
            QList<QQuickItem *> found;
            for (int i = 0; i < list->property("count").toInt(); ++i) {
                QQuickItem *entry = nullptr;
                QMetaObject::invokeMethod(list, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, entry), Q_ARG(int, i));
                if (entry && entry->isVisible())
                    found.append(entry);
            }
            return found;
        };
        for (const int at : chosen) {
            const QString name = QStringLiteral("Genre %1").arg(at);
            f.store->selectCategory(Category{QString::number(at + 1), name});
            QTRY_COMPARE(f.store->selectedCategory()->name, name);
            QTRY_VERIFY(!inView().isEmpty());
            QTest::qWait(20); // the column lays itself out once more at the next frame
            int marked = 0;
            for (QQuickItem *entry : inView()) {
                const Category category = entry->property("category").value<Category>();
                const auto *text = entry->findChild<QQuickItem *>(QStringLiteral("categoryName"));
                QCOMPARE(text->property("text").toString(), category.name);
                QCOMPARE(entry->property("selected").toBool(), category.name == name);
                marked += entry->property("selected").toBool() ? 1 : 0;
            }
            QCOMPARE(marked, 1);
        }
    }

    // While the catalogue arrives both columns spin; then the grid, or the line when the
    // category is empty.
    void spinnerEmptyOrGrid_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("settled");
        QTest::newRow("titles") << 3 << "posterGrid";
        QTest::newRow("no titles") << 0 << "gridEmpty";
    }

    void spinnerEmptyOrGrid()
    {
        QFETCH(int, count);
        QFETCH(QString, settled);
        ScreenFixture f;
        FakeServer::Reply categories = FakeServer::Reply::json(categoriesJson({{"1", "Action"}}));
        categories.delay = std::chrono::milliseconds(500);
        f.server.onAction(QStringLiteral("get_vod_categories"), categories);
        f.server.onAction(QStringLiteral("get_vod_streams"), FakeServer::Reply::json(streamsJson("stream_id", "Movie", count)));
        startStore(f); // after the routes: entering fetches the catalogues for home
        f.store->runOpenSection(Section::movies);
        f.load(QStringLiteral("SectionView.qml"));
        QVERIFY(f.store->loadingCategories());
        QVERIFY(shown(f, "categorySpinner") && !shown(f, "categoryList"));
        QVERIFY(shown(f, "gridSpinner"));
        QVERIFY(!shown(f, "gridEmpty") && !shown(f, "posterGrid"));

        QTRY_VERIFY(!f.store->loadingCategories());
        QVERIFY(!shown(f, "categorySpinner") && shown(f, "categoryList"));
        QVERIFY(!shown(f, "gridSpinner"));
        for (const char *part : {"gridEmpty", "posterGrid"})
            QCOMPARE(shown(f, part), settled == QLatin1String(part));
        if (count == 0)
            QCOMPARE(f.find(QStringLiteral("gridEmpty"))->property("text").toString(), QStringLiteral("Nothing here yet"));
    }

    void promptPerSection_data()
    {
        QTest::addColumn<int>("section");
        QTest::addColumn<QString>("prompt");
        QTest::newRow("movies") << int(Section::movies) << "Search movies";
        QTest::newRow("TV shows") << int(Section::series) << "Search TV shows";
    }

    void promptPerSection()
    {
        QFETCH(int, section);
        ScreenFixture f;
        startStore(f); // after the routes: entering fetches the catalogues for home
        TestSupport::await(f.store->openSection(Section(section)));
        f.load(QStringLiteral("SectionView.qml"));
        QQuickItem *prompt = f.find(QStringLiteral("searchPrompt"));
        QTEST(prompt->property("text").toString(), "prompt");
        QVERIFY(ScreenFixture::shown(prompt));
    }

    // Every keystroke reaches the store; the clear button is there from the first character
    // until the field is empty again; a search that finds nothing keeps the header.
    void searchField()
    {
        ScreenFixture f;
        openMovies(f);
        f.find(QStringLiteral("searchInput"))->forceActiveFocus();
        QVERIFY(!shown(f, "searchClear"));
        f.type(QStringLiteral("m"));
        QCOMPARE(f.store->searchText(), QStringLiteral("m"));
        QVERIFY(shown(f, "searchClear"));
        QVERIFY(!shown(f, "searchPrompt"));
        f.key(Qt::Key_Backspace);
        QCOMPARE(f.store->searchText(), QString());
        QVERIFY(!shown(f, "searchClear"));
        QVERIFY(shown(f, "searchPrompt"));

        f.type(QStringLiteral("zz"));
        QCOMPARE(f.store->itemsModel()->count(), 0);
        QVERIFY(shown(f, "gridEmpty") && !shown(f, "posterGrid"));
        QVERIFY(shown(f, "gridSearch") && shown(f, "sortButton"));
        f.click(f.find(QStringLiteral("searchClear")));
        QCOMPARE(f.store->searchText(), QString());
        QCOMPARE(f.find(QStringLiteral("searchInput"))->property("text").toString(), QString());
        QVERIFY(shown(f, "posterGrid"));
        QCOMPARE(f.focusedName(), QStringLiteral("searchInput"));

        // A text set elsewhere shows in the field.
        f.store->setSearchText(QStringLiteral("Movie 1"));
        QCOMPARE(f.find(QStringLiteral("searchInput"))->property("text").toString(), QStringLiteral("Movie 1"));
        QTRY_COMPARE(cards(f).size(), 3); // Movie 1, 10 and 11
    }

    void sortMenuEntries_data()
    {
        QTest::addColumn<int>("entry");
        QTest::addColumn<int>("sort");
        QTest::addColumn<QString>("first"); // the first title after choosing it
        QTest::newRow("A-Z") << 3 << int(VodSort::az) << "Movie 0";
        QTest::newRow("Z-A") << 4 << int(VodSort::za) << "Movie 9";
        // No ratings or numbers: the previous order (Z-A) stays.
        QTest::newRow("by rating") << 2 << int(VodSort::rating) << "Movie 9";
        QTest::newRow("by number") << 1 << int(VodSort::number) << "Movie 9";
        QTest::newRow("by added") << 0 << int(VodSort::added) << "Movie 0";
    }

    // The five orders in menu order, each setting the store's order and naming the button.
    void sortMenuEntries()
    {
        QFETCH(int, entry);
        QFETCH(int, sort);
        QFETCH(QString, first);
        ScreenFixture f;
        openMovies(f);
        // Start from another order than the one chosen.
        f.store->setVodSort(entry == 4 ? VodSort::az : VodSort::za);
        f.click(f.find(QStringLiteral("sortButton")));
        auto *menu = f.find<QObject>(QStringLiteral("sortMenu"));
        QTRY_VERIFY(menu->property("opened").toBool());
        QStringList titles;
        QList<QQuickItem *> entries;
        for (int i = 0; i < menu->property("count").toInt(); ++i) {
            QQuickItem *menuItem = nullptr;
            QMetaObject::invokeMethod(menu, "itemAt", Q_RETURN_ARG(QQuickItem *, menuItem), Q_ARG(int, i));
            entries.append(menuItem);
            titles.append(menuItem->property("text").toString());
        }
        QCOMPARE(titles, QStringList({"Order by Added", "Order by Number", "Order by Rating", "A-Z", "Z-A"}));
        f.click(entries.at(entry));
        QTRY_VERIFY(!menu->property("visible").toBool());
        QCOMPARE(int(f.store->vodSort()), sort);
        QCOMPARE(f.find(QStringLiteral("sortTitle"))->property("text").toString(), titles.at(entry));
        QQuickItem *grid = f.find(QStringLiteral("posterGrid"));
        const auto firstShown = [&] {
            QQuickItem *firstCard = nullptr;
            QMetaObject::invokeMethod(grid, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, firstCard), Q_ARG(int, 0));
            return firstCard ? firstCard->property("item").value<MediaItem>().name : QString();
        };
        QTRY_COMPARE(firstShown(), first);
    }

    void pinFlows_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<bool>("opened");   // the locked category is selected at the end
        QTest::addColumn<bool>("stillOpen"); // the sheet is still up at the end
        QTest::addColumn<bool>("wrong");     // "Wrong PIN" is shown at the end (or was, when it closed)
        const QString pin = QStringLiteral("729304");
        QTest::newRow("right PIN, Return") << pin << QStringList{"type:729304", "return"} << true << false << false;
        QTest::newRow("right PIN, OK") << pin << QStringList{"type:729304", "ok"} << true << false << false;
        QTest::newRow("wrong PIN stays") << pin << QStringList{"type:1234", "return"} << false << true << true;
        QTest::newRow("right after wrong") << pin << QStringList{"type:1234", "return", "type:729304", "wrong?", "ok"} << true << false << true;
        QTest::newRow("trailing space") << pin << QStringList{"type:729304 ", "return"} << false << true << true;
        QTest::newRow("other letter case") << "abC" << QStringList{"type:abc", "return"} << false << true << true;
        QTest::newRow("empty PIN") << pin << QStringList{"return"} << false << true << true;
        QTest::newRow("empty PIN, none stored") << "" << QStringList{"return"} << true << false << false;
        QTest::newRow("Cancel with the right PIN typed") << pin << QStringList{"type:729304", "cancel"} << false << false << false;
        QTest::newRow("Escape with the right PIN typed") << pin << QStringList{"type:729304", "escape"} << false << false << false;
        QTest::newRow("a new sheet each time") << pin << QStringList{"type:1234", "return", "cancel", "reopen", "type:729304", "ok"}
                                               << true << false << false;
    }

    // Only the right PIN opens the locked category; every way the sheet closes clears the
    // challenge; "Wrong PIN" stays until the sheet closes.
    void pinFlows()
    {
        QFETCH(QString, stored);
        QFETCH(QStringList, steps);
        QFETCH(bool, opened);
        QFETCH(bool, stillOpen);
        QFETCH(bool, wrong);
        ScreenFixture f;
        openLive(f);
        f.store->setParentalPIN(stored);
        QTRY_COMPARE(rows(f).size(), 4);
        QCOMPARE(f.store->selectedCategory()->name, QStringLiteral("News"));

        f.click(row(f, "XXX | Late"));
        QVERIFY(f.store->hasPinChallenge());
        QTRY_VERIFY(sheetPart(f, "pinField"));
        QCOMPARE(f.focusedName(), QStringLiteral("pinField"));
        bool wrongSeen = false;
        for (const QString &step : steps) {
            if (step.startsWith(QLatin1String("type:")))
                f.type(step.mid(5));
            else if (step == QLatin1String("return"))
                f.key(Qt::Key_Return);
            else if (step == QLatin1String("escape"))
                f.key(Qt::Key_Escape);
            else if (step == QLatin1String("ok"))
                f.click(sheetPart(f, "pinOK"));
            else if (step == QLatin1String("cancel"))
                f.click(sheetPart(f, "pinCancel"));
            else if (step == QLatin1String("wrong?"))
                QVERIFY(ScreenFixture::shown(sheetPart(f, "pinWrong")));
            else if (step == QLatin1String("reopen")) {
                QTRY_VERIFY(!sheetPart(f, "pinField"));
                f.click(row(f, "XXX | Late"));
                QTRY_VERIFY(sheetPart(f, "pinField"));
                QVERIFY(!ScreenFixture::shown(sheetPart(f, "pinWrong")));
                QCOMPARE(sheetPart(f, "pinField")->property("text").toString(), QString());
            }
            if (QQuickItem *field = sheetPart(f, "pinField")) {
                wrongSeen = ScreenFixture::shown(sheetPart(f, "pinWrong"));
                if (wrongSeen && step == QLatin1String("return"))
                    QCOMPARE(field->property("text").toString(), QString()); // a wrong PIN empties the field
            }
        }
        QCOMPARE(f.store->selectedCategory()->name, opened ? QStringLiteral("XXX | Late") : QStringLiteral("News"));
        QCOMPARE(f.store->hasPinChallenge(), stillOpen);
        if (!stillOpen)
            QTRY_VERIFY(!sheetPart(f, "pinField"));
        else
            QVERIFY(sheetPart(f, "pinField"));
        QCOMPARE(wrongSeen, wrong);
        QCOMPARE(f.store->phase(), AppStore::Phase::section); // Escape closed the sheet only
    }

    void columnsAsTheWindowWidens_data()
    {
        QTest::addColumn<int>("windowWidth");
        QTest::addColumn<int>("columns");
        // The grid is the window less the 220-point column and its divider.
        QTest::newRow("narrowest window") << 820 << 3;
        QTest::newRow("1000") << 1000 << 4;
        QTest::newRow("default size") << 1200 << 5;
        QTest::newRow("1400") << 1400 << 7;
    }

    // Adaptive columns: every card at least 150 wide, the room shared out, 16 points of padding
    // on both sides.
    void columnsAsTheWindowWidens()
    {
        QFETCH(int, windowWidth);
        QFETCH(int, columns);
        ScreenFixture f;
        f.window.resize(windowWidth, 760);
        openMovies(f, 20);
        QQuickItem *grid = f.find(QStringLiteral("posterGrid"));
        QTRY_VERIFY(cards(f).size() >= columns);
        QSet<int> lefts;
        qreal rightmost = 0;
        for (QQuickItem *shownCard : cards(f)) {
            const QPointF topLeft = shownCard->mapToItem(grid, QPointF(0, 0));
            lefts.insert(qRound(topLeft.x()));
            rightmost = std::max(rightmost, topLeft.x() + shownCard->width());
            QVERIFY(shownCard->width() >= 150);
        }
        QCOMPARE(lefts.size(), columns);
        QCOMPARE(*std::min_element(lefts.cbegin(), lefts.cend()), 16);
        QVERIFY(qAbs(rightmost - (grid->width() - 16)) < 0.5);
    }

    // Tab walks the column, the header and the grid; arrows move inside each and across the
    // edges; Return opens; Escape goes from the detail to the grid, then home.
    void keyboardThroughTheScreen()
    {
        ScreenFixture f;
        openMovies(f, 12);
        QCOMPARE(focusedThing(f), QStringLiteral("category:Action"));

        QStringList order;
        for (int i = 0; i < 5; ++i) {
            f.key(Qt::Key_Tab);
            order.append(focusedThing(f));
            QVERIFY2(order.last() == QLatin1String("searchInput") || ringShown(f), qPrintable(order.last()));
        }
        QCOMPARE(order, QStringList({"sortButton", "searchInput", "item:Movie 0", "sectionBack", "category:Action"}));

        const QList<std::pair<Qt::Key, QString>> moves{
            {Qt::Key_Down, "category:Drama"},   {Qt::Key_Up, "category:Action"},   {Qt::Key_Right, "item:Movie 0"},
            {Qt::Key_Right, "item:Movie 1"},    {Qt::Key_Down, "item:Movie 6"},    {Qt::Key_Left, "item:Movie 5"},
            {Qt::Key_Left, "category:Action"},  {Qt::Key_Right, "item:Movie 5"},   {Qt::Key_Down, "item:Movie 10"},
            {Qt::Key_Right, "item:Movie 11"},   {Qt::Key_Right, "item:Movie 11"},  {Qt::Key_Up, "item:Movie 6"},
            {Qt::Key_Up, "item:Movie 1"},       {Qt::Key_Up, "searchInput"},       {Qt::Key_Down, "item:Movie 1"},
        };
        for (const auto &[key, expected] : moves) {
            f.key(key);
            QCOMPARE(focusedThing(f), expected);
        }

        f.key(Qt::Key_Return);
        QCOMPARE(f.store->detailItem()->name, QStringLiteral("Movie 1"));
        QVERIFY(shown(f, "detailScreen"));
        f.key(Qt::Key_Escape);
        QVERIFY(!f.store->hasDetailItem());
        QTRY_COMPARE(focusedThing(f), QStringLiteral("item:Movie 1"));
        QVERIFY(ringShown(f));
        f.key(Qt::Key_Escape);
        QCOMPARE(f.store->phase(), AppStore::Phase::home);
    }

    // Return on a category selects it; the grid shows its titles.
    void keyboardSelectsACategory()
    {
        ScreenFixture f;
        openMovies(f, 3);
        f.key(Qt::Key_Down);
        f.key(Qt::Key_Return);
        QCOMPARE(f.store->selectedCategory()->name, QStringLiteral("Drama"));
        QTRY_VERIFY(shown(f, "gridEmpty"));
        f.key(Qt::Key_Up);
        f.key(Qt::Key_Up);
        f.key(Qt::Key_Space);
        QCOMPARE(f.store->selectedCategory()->name, QStringLiteral("Recently Viewed"));
    }

    // Letters typed while a poster has the keyboard start a search; Ctrl+F goes to the field
    // from anywhere on the screen.
    void typingAndCtrlFReachTheSearch()
    {
        ScreenFixture f;
        openMovies(f, 12);
        f.key(Qt::Key_Right);
        QCOMPARE(focusedThing(f), QStringLiteral("item:Movie 0"));
        f.type(QStringLiteral("11"));
        QCOMPARE(f.store->searchText(), QStringLiteral("11"));
        QCOMPARE(f.focusedName(), QStringLiteral("searchInput"));
        QCOMPARE(f.find(QStringLiteral("searchInput"))->property("cursorPosition").toInt(), 2);
        QTRY_COMPARE(cards(f).size(), 1);

        f.click(row(f, "Drama"));
        QVERIFY(f.focusedName() != QLatin1String("searchInput"));
        f.key(Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(f.focusedName(), QStringLiteral("searchInput"));
    }

    // The current cell stays in view as the arrows go down a long grid.
    void gridScrollsToTheCurrentCell()
    {
        ScreenFixture f;
        openMovies(f, 80);
        QQuickItem *grid = f.find(QStringLiteral("posterGrid"));
        f.key(Qt::Key_Right);
        for (int i = 0; i < 9; ++i) {
            f.key(Qt::Key_Down);
            QQuickItem *focused = f.focused();
            const QRectF inGrid = focused->mapRectToItem(grid, QRectF(0, 0, focused->width(), focused->height()));
            QVERIFY2(inGrid.top() >= 0 && inGrid.bottom() <= grid->height(), qPrintable(focusedThing(f)));
        }
        QCOMPARE(focusedThing(f), QStringLiteral("item:Movie 45"));
        QVERIFY(grid->property("contentY").toReal() > 0);
    }

    // A search shows its first poster from the top; erasing it goes back to the poster the
    // user was on, scrolled into view, and the keyboard returns there.
    void clearingTheSearchReturnsToThePoster()
    {
        ScreenFixture f;
        openMovies(f, 80);
        QQuickItem *grid = f.find(QStringLiteral("posterGrid"));
        f.key(Qt::Key_Right);
        for (int i = 0; i < 9; ++i)
            f.key(Qt::Key_Down);
        QCOMPARE(focusedThing(f), QStringLiteral("item:Movie 45"));
        QVERIFY(grid->property("contentY").toReal() > grid->property("originY").toReal());

        f.type(QStringLiteral("1"));
        QCOMPARE(f.focusedName(), QStringLiteral("searchInput"));
        QTRY_COMPARE(grid->property("currentIndex").toInt(), 0);
        // The first cell shows whole at the top of the grid.
        const auto firstShown = [&] {
            QQuickItem *first = nullptr;
            QMetaObject::invokeMethod(grid, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, first), Q_ARG(int, 0));
            return first && first->mapRectToItem(grid, QRectF(0, 0, first->width(), first->height())).top() >= 0
                && first->mapRectToItem(grid, QRectF(0, 0, first->width(), first->height())).top() < first->height();
        };
        QTRY_VERIFY(firstShown());
        // With the grid's padding above it, as when the section opened.
        QTRY_COMPARE(grid->property("contentY").toReal(),
                     grid->property("originY").toReal() - grid->property("topMargin").toReal());
        f.type(QStringLiteral("2"));
        QCOMPARE(f.store->itemsModel()->count(), 1);
        QCOMPARE(grid->property("currentIndex").toInt(), 0);

        f.key(Qt::Key_Backspace);
        f.key(Qt::Key_Backspace);
        QCOMPARE(f.store->searchText(), QString());
        QTRY_COMPARE(grid->property("currentIndex").toInt(), 45);
        f.key(Qt::Key_Down);
        QCOMPARE(focusedThing(f), QStringLiteral("item:Movie 45"));
        QQuickItem *focused = f.focused();
        const QRectF inGrid = focused->mapRectToItem(grid, QRectF(0, 0, focused->width(), focused->height()));
        QVERIFY(inGrid.top() >= 0 && inGrid.bottom() <= grid->height());
    }

    // Each search text goes back to the first poster, from wherever the results were scrolled:
    // one that changes the rows, and one that keeps them.
    void everySearchTextStartsAtTheTop_data()
    {
        QTest::addColumn<QString>("more");
        QTest::addColumn<int>("rows");
        QTest::newRow("fewer rows") << QStringLiteral("ie 1") << 11;
        QTest::newRow("the same rows") << QStringLiteral("i") << 80;
    }

    void everySearchTextStartsAtTheTop()
    {
        QFETCH(QString, more);
        QFETCH(int, rows);
        ScreenFixture f;
        openMovies(f, 80);
        QQuickItem *grid = f.find(QStringLiteral("posterGrid"));
        f.key(Qt::Key_Right);
        f.type(QStringLiteral("mov"));
        QCOMPARE(f.store->itemsModel()->count(), 80);
        const qreal top = grid->property("originY").toReal() - grid->property("topMargin").toReal();
        QTRY_COMPARE(grid->property("contentY").toReal(), top);
        grid->setProperty("currentIndex", 40);
        QMetaObject::invokeMethod(grid, "positionViewAtIndex", Q_ARG(int, 40), Q_ARG(int, 0));
        QVERIFY(grid->property("contentY").toReal() > top);

        f.type(more);
        QCOMPARE(f.store->itemsModel()->count(), rows);
        QTRY_COMPARE(grid->property("currentIndex").toInt(), 0);
        QTRY_COMPARE(grid->property("contentY").toReal(), top);
    }

    // Another category takes the grid's cells over in place, with no reset: its first poster
    // shows whole at the top and is the current cell, from wherever the last one was scrolled.
    void anotherCategoryStartsAtItsTop()
    {
        ScreenFixture f;
        QByteArray movies = streamsJson("stream_id", "Movie", 80);
        movies.chop(1);
        movies += ',' + streamsJson("stream_id", "Drama", 40, "2", 101).mid(1);
        f.server.onAction(QStringLiteral("get_vod_categories"), FakeServer::Reply::json(categoriesJson({{"1", "Action"}, {"2", "Drama"}})));
        f.server.onAction(QStringLiteral("get_vod_streams"), FakeServer::Reply::json(movies));
        startStore(f);
        TestSupport::await(f.store->openSection(Section::movies));
        f.load(QStringLiteral("SectionView.qml"));
        QTRY_VERIFY(card(f, QStringLiteral("Movie 0")));
        QQuickItem *grid = f.find(QStringLiteral("posterGrid"));
        QSignalSpy resets(f.store->itemsModel(), &QAbstractItemModel::modelReset);
        const auto atTop = [&] {
            return grid->property("currentIndex").toInt() == 0
                && grid->property("contentY").toReal() == grid->property("originY").toReal() - grid->property("topMargin").toReal();
        };

        for (const auto &[category, first] : {std::pair{"Drama", "Drama 0"}, std::pair{"Action", "Movie 0"}}) {
            f.key(Qt::Key_Right);
            for (int i = 0; i < 9; ++i)
                f.key(Qt::Key_Down);
            QVERIFY(!atTop());
            f.click(row(f, QLatin1String(category)));
            QTRY_VERIFY(atTop());
            QCOMPARE(cards(f).value(0)->property("item").value<MediaItem>().name, QLatin1String(first));
        }
        QCOMPARE(resets.count(), 0);
    }

    // A new order changes the posters in place: the poster the user moved to stays current at
    // its new row, scrolled into view, the keyboard on it; a grid still on its first poster
    // shows the new order from its top.
    void aNewOrderKeepsThePoster_data()
    {
        QTest::addColumn<int>("downs"); // rows moved down into the grid first
        QTest::newRow("on a poster deep in the grid") << 9;
        QTest::newRow("on the first poster") << 0;
    }

    void aNewOrderKeepsThePoster()
    {
        QFETCH(int, downs);
        ScreenFixture f;
        openMovies(f, 80);
        f.store->setVodSort(VodSort::az);
        QQuickItem *grid = f.find(QStringLiteral("posterGrid"));
        const qreal top = grid->property("originY").toReal() - grid->property("topMargin").toReal();
        QTRY_COMPARE(grid->property("contentY").toReal(), top);
        QString current;
        if (downs > 0) {
            f.key(Qt::Key_Right);
            for (int i = 0; i < downs; ++i)
                f.key(Qt::Key_Down);
            current = focusedThing(f);
            QVERIFY(grid->property("contentY").toReal() > top);
        }
        const int before = grid->property("currentIndex").toInt();
        QSignalSpy resets(f.store->itemsModel(), &QAbstractItemModel::modelReset);

        f.store->setVodSort(VodSort::za);
        FilteredItemsModel *model = f.store->itemsModel();
        if (current.isEmpty()) {
            QTRY_COMPARE(cards(f).value(0)->property("item").value<MediaItem>().name, model->at(0).name);
            QCOMPARE(grid->property("currentIndex").toInt(), 0);
            QCOMPARE(grid->property("contentY").toReal(), top);
        } else {
            int row = -1;
            for (int i = 0; i < model->count() && row < 0; ++i) {
                if (QStringLiteral("item:") + model->at(i).name == current)
                    row = i;
            }
            QVERIFY(row >= 0 && row != before);
            QTRY_COMPARE(grid->property("currentIndex").toInt(), row);
            QCOMPARE(focusedThing(f), current);
            QQuickItem *focused = f.focused();
            const QRectF inGrid = focused->mapRectToItem(grid, QRectF(0, 0, focused->width(), focused->height()));
            QVERIFY(inGrid.top() >= 0 && inGrid.bottom() <= grid->height());
        }
        QCOMPARE(resets.count(), 0);
    }

    // The provider's fresher answer, landing behind a screen opened from the kept catalogue,
    // changes the posters in place: the grid stays scrolled where it was, the keyboard on the
    // same cell.
    void renewalKeepsTheGridWhereItWas()
    {
        ScreenFixture f;
        f.store->setCatalogueCacheFolder(f.folder.file(QStringLiteral("catalogues")));
        CatalogueCache::Snapshot kept;
        QList<MediaItem> movies;
        for (int i = 0; i < 80; ++i) {
            movies.append(MediaItem{.id = QString::number(i + 1), .name = QStringLiteral("Kept %1").arg(i), .kind = MediaItem::Kind::movie,
                                    .categoryId = QStringLiteral("1")});
            movies.last().setAddedStamp(1700000000 - i);
        }
        kept.catalogues[size_t(Section::movies)] = movies;
        kept.catalogues[size_t(Section::series)] = QList<MediaItem>();
        kept.categories[size_t(Section::movies)] = QList<Category>{{QStringLiteral("1"), QStringLiteral("Action")}};
        QVERIFY(CatalogueCache::write(f.store->catalogueCache().filePath(f.playlist()), CatalogueCache::encode(f.playlist(), kept)));
        FakeServer::Reply categories = FakeServer::Reply::json(categoriesJson({{"1", "Action"}}));
        FakeServer::Reply titles = FakeServer::Reply::json(streamsJson("stream_id", "Movie", 80));
        categories.delay = titles.delay = std::chrono::milliseconds(3000);
        f.server.onAction(QStringLiteral("get_vod_categories"), categories);
        f.server.onAction(QStringLiteral("get_vod_streams"), titles);

        startStore(f);
        TestSupport::await(f.store->openSection(Section::movies));
        f.load(QStringLiteral("SectionView.qml"));
        QTRY_VERIFY(card(f, QStringLiteral("Kept 0")));
        QQuickItem *grid = f.find(QStringLiteral("posterGrid"));
        f.key(Qt::Key_Right);
        for (int i = 0; i < 9; ++i)
            f.key(Qt::Key_Down);
        QCOMPARE(focusedThing(f), QStringLiteral("item:Kept 45"));
        const qreal scrolled = grid->property("contentY").toReal();
        QVERIFY(scrolled > 0);

        QTRY_COMPARE_WITH_TIMEOUT(focusedThing(f), QStringLiteral("item:Movie 45"), 15000);
        QCOMPARE(grid->property("contentY").toReal(), scrolled);
        QCOMPARE(grid->property("currentIndex").toInt(), 45);
        QVERIFY(ringShown(f));
    }

    // A poster's star follows the favourites as they change.
    void favouriteBadgeFollowsTheFavourites()
    {
        ScreenFixture f;
        openMovies(f, 3);
        const auto badge = [&](const char *name) {
            return ScreenFixture::shown(card(f, QLatin1String(name))->findChild<QQuickItem *>(QStringLiteral("favoriteBadge")));
        };
        QVERIFY(!badge("Movie 0") && !badge("Movie 1"));
        const MediaItem second = card(f, QStringLiteral("Movie 1"))->property("item").value<MediaItem>();
        f.store->toggleFavorite(second);
        QVERIFY(badge("Movie 1"));
        QVERIFY(!badge("Movie 0"));
        f.store->toggleFavorite(second);
        QVERIFY(!badge("Movie 1"));
    }
};

QTEST_MAIN(TestSectionView)
#include "tst_sectionview.moc"
