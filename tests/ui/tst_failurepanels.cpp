// Every place of the browsing screens whose request fails: the words in place of an empty list,
// a Retry that the keyboard reaches and that fetches again, and choosing a category again after
// a failed catalogue. With MAVU_SCREENSHOT set to a folder, each failure is saved there at
// 1280×800 as "<case>.png" (run it under a real display server to look at the result).
#include "screenfixture.h"
#include "../player/testmedia.h"

#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(MavuPlugin)
Q_IMPORT_QML_PLUGIN(Mavu_CorePlugin)

using Place = Failures::Place;

namespace {

// Where the failure shows, the request behind it, and what the place shows without it.
enum class Where { categoryColumn, liveCategoryColumn, posterGrid, channelList, detailScreen, catchupPanel };

struct PlaceCase
{
    Place place;
    const char *action;  // the provider request that fails
    const char *panel;   // the failure panel's objectName
    const char *empty;   // what the place shows when there is truly nothing ("" for none)
    const char *beside;  // the list beside it, which must not pass the failure off as emptiness
};

PlaceCase placeCase(Where where)
{
    switch (where) {
    case Where::categoryColumn: return {Place::categories, "get_vod_categories", "categoryFailure", "", "gridEmpty"};
    case Where::liveCategoryColumn:
        return {Place::categories, "get_live_categories", "categoryFailure", "", "channelsEmpty"};
    case Where::posterGrid: return {Place::items, "get_vod_streams", "gridFailure", "gridEmpty", ""};
    case Where::channelList: return {Place::items, "get_live_streams", "channelFailure", "channelsEmpty", ""};
    case Where::detailScreen: return {Place::details, "get_series_info", "detailFailure", "noEpisodes", ""};
    case Where::catchupPanel:
        return {Place::catchup, "get_simple_data_table", "catchupFailure", "catchupEmpty", ""};
    }
    return {};
}

QByteArray categoriesJson(const QByteArray &first, const QByteArray &second)
{
    return R"([{"category_id":"1","category_name":")" + first + R"("},{"category_id":"2","category_name":")" + second + R"("}])";
}

QByteArray moviesJson(int count)
{
    QJsonArray rows;
    for (int i = 0; i < count; ++i)
        rows.append(QJsonObject{{"stream_id", i + 1}, {"name", QStringLiteral("Movie %1").arg(i)}, {"category_id", "1"},
                                {"added", QString::number(1700000000 - i)}});
    return QJsonDocument(rows).toJson(QJsonDocument::Compact);
}

QByteArray channelsJson(int count)
{
    QJsonArray rows;
    for (int i = 0; i < count; ++i)
        rows.append(QJsonObject{{"stream_id", i + 1}, {"name", QStringLiteral("Channel %1").arg(i + 1)}, {"category_id", "1"},
                                {"tv_archive", 1}, {"tv_archive_duration", 3}});
    return QJsonDocument(rows).toJson(QJsonDocument::Compact);
}

QByteArray seriesInfoJson()
{
    return R"({"info":{},"seasons":[{"season_number":1,"name":"Season 1"}],)"
           R"("episodes":{"1":[{"id":"101","title":"Arrival","episode_num":1}]}})";
}

// Two programmes of the last hours, as the archive lists them.
QByteArray archiveJson()
{
    QJsonArray rows;
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    for (int i = 0; i < 2; ++i) {
        const qint64 start = now - (i + 2) * 3600;
        const QString text = QDateTime::fromSecsSinceEpoch(start).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        rows.append(QJsonObject{{"id", QString::number(i + 1)},
                                {"title", QString::fromLatin1(QByteArray("Earlier").toBase64())},
                                {"start", text},
                                {"end", text},
                                {"start_timestamp", QString::number(start)},
                                {"stop_timestamp", QString::number(start + 1800)}});
    }
    return QJsonDocument(QJsonObject{{"epg_listings", rows}}).toJson(QJsonDocument::Compact);
}

MediaItem show()
{
    MediaItem item;
    item.id = QStringLiteral("5");
    item.setSeriesId(QStringLiteral("5"));
    item.name = QStringLiteral("Harbour Lights");
    item.kind = MediaItem::Kind::series;
    return item;
}

// Where the picture of a case goes; empty when no picture is wanted.
QString shotFile(const char *tag)
{
    const QString folder = qEnvironmentVariable("MAVU_SCREENSHOT");
    if (folder.isEmpty())
        return {};
    QString name = QString::fromUtf8(tag);
    name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]+")), QStringLiteral("-"));
    return folder + QLatin1Char('/') + name + QStringLiteral(".png");
}

bool within(const QQuickItem *item, const QQuickItem *ancestor)
{
    for (; item; item = item->parentItem()) {
        if (item == ancestor)
            return true;
    }
    return false;
}

} // namespace

Q_DECLARE_METATYPE(Where)

class TestFailurePanels : public QObject
{
    Q_OBJECT

    // Every route the screens ask for, answered well, so that only the one a test spoils fails.
    static void serveAll(ScreenFixture &f)
    {
        f.server.onAction(QStringLiteral("get_vod_categories"), FakeServer::Reply::json(categoriesJson("Action", "Drama")));
        f.server.onAction(QStringLiteral("get_vod_streams"), FakeServer::Reply::json(moviesJson(4)));
        f.server.onAction(QStringLiteral("get_series_categories"), FakeServer::Reply::json(categoriesJson("Crime", "Comedy")));
        f.server.onAction(QStringLiteral("get_series"), FakeServer::Reply::json("[]"));
        f.server.onAction(QStringLiteral("get_live_categories"), FakeServer::Reply::json(categoriesJson("News", "Sport")));
        f.server.onAction(QStringLiteral("get_live_streams"), FakeServer::Reply::json(channelsJson(2)));
        f.server.onAction(QStringLiteral("get_short_epg"), FakeServer::Reply::json(R"({"epg_listings":[]})"));
        f.server.onAction(QStringLiteral("get_series_info"), FakeServer::Reply::json(seriesInfoJson()));
        f.server.onAction(QStringLiteral("get_simple_data_table"), FakeServer::Reply::json(archiveJson()));
    }

    // The screen that shows `where`, up to the request that fails.
    static void open(ScreenFixture &f, Where where)
    {
        f.startAttached();
        TestSupport::await(f.store->enterBrowse());
        QVERIFY(f.store->hasPlaylist());
        switch (where) {
        case Where::categoryColumn:
        case Where::posterGrid:
            TestSupport::await(f.store->openSection(Section::movies));
            f.load(QStringLiteral("SectionView.qml"));
            break;
        case Where::liveCategoryColumn:
        case Where::channelList:
            TestSupport::await(f.store->openSection(Section::live));
            f.load(QStringLiteral("SectionView.qml"));
            break;
        case Where::detailScreen:
            f.load(QStringLiteral("DetailScreen.qml"));
            TestSupport::await(f.store->openDetail(show()));
            break;
        case Where::catchupPanel:
            TestSupport::await(f.store->openSection(Section::live));
            f.load(QStringLiteral("SectionView.qml"));
            QTRY_VERIFY(ScreenFixture::shown(f.find(QStringLiteral("catchupButton"))));
            f.click(f.find(QStringLiteral("catchupButton")));
            break;
        }
    }

    // Whether the place shows what it holds once its request works.
    static bool filled(ScreenFixture &f, Where where)
    {
        const auto any = [&](const char *name) {
            const QList<QQuickItem *> found = ScreenFixture::findAll(f.root, QLatin1String(name));
            return std::any_of(found.cbegin(), found.cend(), [](QQuickItem *item) { return ScreenFixture::shown(item); });
        };
        switch (where) {
        case Where::categoryColumn: return f.store->categories().size() == 4 && any("categoryRow") && any("itemCard");
        case Where::liveCategoryColumn:
            return f.store->categories().size() == 4 && any("categoryRow") && any("channelRow");
        case Where::posterGrid: return any("itemCard");
        case Where::channelList: return any("channelRow");
        case Where::detailScreen: return any("seasonChip");
        case Where::catchupPanel: return any("dayChip");
        }
        return false;
    }

    // Presses Tab until the panel's Retry has the keyboard; false when it never comes.
    static bool tabToRetry(ScreenFixture &f, QQuickItem *panel)
    {
        for (int press = 0; press < 40; ++press) {
            f.key(Qt::Key_Tab);
            if (f.focusedName() == QLatin1String("retryButton") && within(f.focused(), panel))
                return true;
        }
        return false;
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("MAVU_SCREENSHOT"))
            useSoftwareRendering();
        TestMedia::useDummyAudio();
    }

    // The failure in words where the list would be, never the empty state; Tab reaches Retry
    // (with its ring), Return fetches again and the place fills.
    void failureSaysWhyAndRetryFetchesAgain_data()
    {
        QTest::addColumn<Where>("where");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("words");
        const QString serverFailed = QStringLiteral("The server ran into a problem (error 503).");
        const QString unreadable = QStringLiteral("The server's answer couldn't be read.");
        const QList<std::pair<const char *, Where>> places{{"category column", Where::categoryColumn},
                                                           {"poster grid", Where::posterGrid},
                                                           {"channel list", Where::channelList},
                                                           {"live category column", Where::liveCategoryColumn},
                                                           {"detail screen", Where::detailScreen},
                                                           {"catch-up panel", Where::catchupPanel}};
        for (const auto &[name, where] : places) {
            QTest::addRow("%s, error status", name) << where << 503 << QByteArray("{}") << serverFailed;
            QTest::addRow("%s, unreadable answer", name) << where << 200 << QByteArray("<html>busy</html>") << unreadable;
        }
    }

    void failureSaysWhyAndRetryFetchesAgain()
    {
        QFETCH(Where, where);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, words);
        const PlaceCase what = placeCase(where);
        ScreenFixture f;
        serveAll(f);
        FakeServer::Reply broken = FakeServer::Reply::json(body, status);
        if (status == 200)
            broken.contentType = "text/html";
        f.server.onAction(QLatin1String(what.action), broken);
        const QString shot = shotFile(QTest::currentDataTag());
        if (!shot.isEmpty())
            f.window.resize(1280, 800);
        open(f, where);

        QQuickItem *panel = nullptr;
        QTRY_VERIFY((panel = ScreenFixture::findAll(f.root, QLatin1String(what.panel)).value(0)) && ScreenFixture::shown(panel));
        QCOMPARE(panel->findChild<QQuickItem *>(QStringLiteral("failureText"))->property("text").toString(), words);
        if (*what.empty)
            QVERIFY(!ScreenFixture::shown(f.find(QLatin1String(what.empty))));
        QVERIFY(!filled(f, where));
        if (*what.beside) {
            // The favourites and the recently viewed stay usable; the (empty) favourites beside
            // the failed list are no answer of the provider's.
            QTRY_VERIFY(!f.store->loadingCategories() && !f.store->loadingItems());
            QCOMPARE(ScreenFixture::findAll(f.root, QStringLiteral("categoryRow")).size(), 2);
            QVERIFY(!ScreenFixture::shown(f.find(QLatin1String(what.beside))));
        }
        if (!shot.isEmpty()) {
            QTest::qWait(300);
            QVERIFY(f.window.grabWindow().save(shot));
        }

        serveAll(f);
        const int before = f.server.requestsTo(QStringLiteral("/player_api.php")).size();
        QVERIFY(tabToRetry(f, panel));
        QVERIFY(f.focused()->findChild<QQuickItem *>(QStringLiteral("focusRing"))->isVisible());
        f.key(Qt::Key_Return);
        QTRY_VERIFY(filled(f, where));
        QVERIFY(!ScreenFixture::shown(panel));
        QVERIFY(!f.store->failures()->at(what.place));
        QVERIFY(f.server.lastAction(QLatin1String(what.action)));
        QVERIFY(f.server.requestsTo(QStringLiteral("/player_api.php")).size() > before);
    }

    // After a failed catalogue, choosing a category (the same one included) fetches it again;
    // the arrow key from the categories reaches Retry while there is nothing else.
    void choosingACategoryAfterAFailureFetchesAgain_data()
    {
        QTest::addColumn<Where>("where");
        QTest::addColumn<QString>("category");
        QTest::newRow("poster grid, the same category") << Where::posterGrid << "Action";
        QTest::newRow("poster grid, another category") << Where::posterGrid << "Drama";
        QTest::newRow("channel list, the same category") << Where::channelList << "News";
    }

    void choosingACategoryAfterAFailureFetchesAgain()
    {
        QFETCH(Where, where);
        QFETCH(QString, category);
        const PlaceCase what = placeCase(where);
        ScreenFixture f;
        serveAll(f);
        f.server.onAction(QLatin1String(what.action), FakeServer::Reply::json("{}", 502));
        open(f, where);
        QQuickItem *panel = f.find(QLatin1String(what.panel));
        QTRY_VERIFY(ScreenFixture::shown(panel));

        // Right from the category column goes to Retry, as it would go to the list.
        QQuickItem *rowItem = nullptr;
        for (QQuickItem *row : ScreenFixture::findAll(f.root, QStringLiteral("categoryRow"))) {
            if (row->property("category").value<Category>().name == category)
                rowItem = row;
        }
        QVERIFY(rowItem);
        rowItem->forceActiveFocus(Qt::TabFocusReason);
        f.key(Qt::Key_Right);
        QCOMPARE(f.focusedName(), QStringLiteral("retryButton"));
        QVERIFY(within(f.focused(), panel));

        serveAll(f);
        const int before = f.server.requestsTo(QStringLiteral("/player_api.php")).size();
        f.click(rowItem);
        QTRY_VERIFY(!ScreenFixture::shown(panel));
        QTRY_VERIFY(!f.store->loadingItems());
        QVERIFY(f.server.requestsTo(QStringLiteral("/player_api.php")).size() > before);
        QCOMPARE(f.store->selectedCategory()->name, category);
        // "Drama" holds no title: the truth now is an empty category, not a failure.
        const bool hasItems = category != QLatin1String("Drama");
        QTRY_COMPARE(filled(f, where), hasItems);
        QCOMPARE(ScreenFixture::shown(f.find(QLatin1String(what.empty))), !hasItems);
    }
};

QTEST_MAIN(TestFailurePanels)
#include "tst_failurepanels.moc"
