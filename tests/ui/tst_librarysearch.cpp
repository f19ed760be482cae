// The home screen's search across the whole library: the field, the three rows, Ctrl+F from
// the other screens, Enter on each kind and "See all".
#include "screenfixture.h"
#include "testmedia.h"

#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(MavuPlugin)
Q_IMPORT_QML_PLUGIN(Mavu_CorePlugin)

namespace {

QStringList posterNames(QQuickItem *row)
{
    QStringList names;
    for (QQuickItem *child : ScreenFixture::findAll(row, QStringLiteral("posterName")))
        names.append(child->property("text").toString());
    return names;
}

QString focusedEntry(ScreenFixture &f)
{
    QQuickItem *item = f.focused();
    if (item && item->property("item").isValid())
        return item->property("item").value<MediaItem>().name;
    return f.focusedName();
}

} // namespace

class TestLibrarySearch : public QObject
{
    Q_OBJECT

    // The window on the home screen over a library with a match of every kind.
    static void showHome(ScreenFixture &f)
    {
        f.server.onAction(QStringLiteral("get_live_categories"),
                          FakeServer::Reply::json(R"([{"category_id":"1","category_name":"News"},{"category_id":"2","category_name":"Sport"}])"));
        f.server.onAction(QStringLiteral("get_live_streams"), FakeServer::Reply::json(
            R"([{"stream_id":1,"name":"News One","category_id":"1"},{"stream_id":2,"name":"Goal TV","category_id":"2"}])"));
        f.server.onAction(QStringLiteral("get_vod_categories"),
                          FakeServer::Reply::json(R"([{"category_id":"5","category_name":"Sport"},{"category_id":"6","category_name":"Drama"}])"));
        f.server.onAction(QStringLiteral("get_vod_streams"), FakeServer::Reply::json(
            R"([{"stream_id":10,"name":"Goal Line","category_id":"5","added":"2"},{"stream_id":11,"name":"Own Goal","category_id":"6","added":"3"}])"));
        f.server.onAction(QStringLiteral("get_series"), FakeServer::Reply::json(R"([{"series_id":20,"name":"The Goal Show"}])"));
        f.server.on(f.devicePath("playlist_information"),
                    FakeServer::Reply::json(R"({"urls":[")" + f.server.base().toUtf8() + R"(/get.php?username=user&password=pass"]})"));
        f.server.on(f.devicePath("get_app_setting"), FakeServer::Reply::json("{}"));
        TestSupport::await(f.store->start());
        f.loadWindow(QStringLiteral("ContentView.qml"));
        TestSupport::await(f.store->enterBrowse());
        QTRY_VERIFY(ScreenFixture::shown(f.find(QStringLiteral("librarySearch"))));
    }

    static void typeSearch(ScreenFixture &f, const QString &text)
    {
        f.key(Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(f.focusedName(), QStringLiteral("searchInput"));
        f.type(text);
        QCOMPARE(f.store->search()->text(), text);
    }

private Q_SLOTS:
    void initTestCase()
    {
        useSoftwareRendering();
        TestMedia::useDummyAudio();
    }

    // Three rows with their counts, best first; the latest rows give way while searching.
    void typingShowsTheRows()
    {
        ScreenFixture f;
        showHome(f);
        typeSearch(f, QStringLiteral("goal"));
        QQuickItem *movies = f.find(QStringLiteral("movieResults"));
        QTRY_COMPARE(posterNames(movies), QStringList({"Goal Line", "Own Goal"}));
        QCOMPARE(movies->findChild<QQuickItem *>(QStringLiteral("resultsCount"))->property("text").toString(), QStringLiteral("2"));
        QTRY_COMPARE(posterNames(f.find(QStringLiteral("liveResults"))), QStringList({"Goal TV"}));
        QTRY_COMPARE(posterNames(f.find(QStringLiteral("seriesResults"))), QStringList({"The Goal Show"}));
        QVERIFY(!ScreenFixture::shown(f.find(QStringLiteral("latestMoviesRow"))));
        QVERIFY(!ScreenFixture::shown(f.find(QStringLiteral("noResults"))));
        // MAVU_SCREENSHOT=file saves the rows as they look.
        if (const QString file = qEnvironmentVariable("MAVU_SCREENSHOT"); !file.isEmpty()) {
            f.shownWindow()->resize(1280, 800);
            QTest::qWait(500);
            f.shownWindow()->grabWindow().save(file);
        }

        f.type(QStringLiteral("zz"));
        QTRY_VERIFY(ScreenFixture::shown(f.find(QStringLiteral("noResults"))));
        QVERIFY(!ScreenFixture::shown(f.find(QStringLiteral("movieResults"))));

        // Escape empties the field and brings the latest rows back.
        f.key(Qt::Key_Escape);
        QCOMPARE(f.store->search()->text(), QString());
        QVERIFY(ScreenFixture::shown(f.find(QStringLiteral("latestMoviesRow"))));
    }

    // Ctrl+F reaches the field from another screen by going home; from the grid it stays with
    // the grid's own field.
    void ctrlFFromOtherScreens()
    {
        ScreenFixture f;
        showHome(f);
        f.store->runOpenSection(Section::live);
        QTRY_COMPARE(f.store->phase(), AppStore::Phase::section);
        f.key(Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(f.store->phase(), AppStore::Phase::home);
        QTRY_COMPARE(f.focusedName(), QStringLiteral("searchInput"));

        f.store->runOpenSection(Section::movies);
        QTRY_VERIFY(ScreenFixture::shown(f.find(QStringLiteral("gridSearch"))));
        f.key(Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(f.store->phase(), AppStore::Phase::section);
        QCOMPARE(f.focusedName(), QStringLiteral("searchInput"));
        QVERIFY(f.find(QStringLiteral("gridSearch"))->hasActiveFocus());
    }

    void enterOnEachKind_data()
    {
        QTest::addColumn<int>("downs");
        QTest::addColumn<QString>("entry");
        QTest::newRow("channel") << 1 << "Goal TV";
        QTest::newRow("movie") << 2 << "Goal Line";
        QTest::newRow("show") << 3 << "The Goal Show";
    }

    void enterOnEachKind()
    {
        QFETCH(int, downs);
        QFETCH(QString, entry);
        ScreenFixture f;
        showHome(f);
        typeSearch(f, QStringLiteral("goal"));
        QTRY_VERIFY(!f.store->search()->nothingFound() && f.store->search()->series()->count() == 1);
        QTRY_COMPARE(posterNames(f.find(QStringLiteral("liveResults"))).size(), 1);
        for (int i = 0; i < downs; ++i)
            f.key(Qt::Key_Down);
        QCOMPARE(focusedEntry(f), entry);
        f.key(Qt::Key_Return);
        QCOMPARE(f.store->phase(), AppStore::Phase::section);
        if (downs == 1) {
            QCOMPARE(f.store->section(), Section::live);
            QCOMPARE(f.store->qmlNowPlaying().name, entry);
            QTRY_COMPARE(f.store->qmlSelectedCategory().id, QStringLiteral("2"));
        } else {
            QCOMPARE(f.store->qmlDetailItem().name, entry);
            QVERIFY(!f.store->hasNowPlaying());
        }
    }

    void seeAllOpensTheSectionSearching()
    {
        ScreenFixture f;
        showHome(f);
        typeSearch(f, QStringLiteral("goal"));
        QQuickItem *movies = f.find(QStringLiteral("movieResults"));
        QTRY_COMPARE(posterNames(movies).size(), 2);
        QQuickItem *seeAll = movies->findChild<QQuickItem *>(QStringLiteral("seeAll"));
        QVERIFY(ScreenFixture::shown(seeAll));
        f.click(seeAll);
        QCOMPARE(f.store->phase(), AppStore::Phase::section);
        QCOMPARE(f.store->section(), Section::movies);
        QTRY_VERIFY(ScreenFixture::shown(f.find(QStringLiteral("gridSearch"))));
        QCOMPARE(f.find(QStringLiteral("gridSearch"))->property("text").toString(), QStringLiteral("goal"));
        // Both movies, though each is in a category of its own.
        QTRY_COMPARE(f.find(QStringLiteral("posterGrid"))->property("count").toInt(), 2);
    }
};

QTEST_MAIN(TestLibrarySearch)
#include "tst_librarysearch.moc"
