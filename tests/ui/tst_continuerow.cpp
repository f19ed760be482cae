#include "screenfixture.h"

#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(MavuPlugin)
Q_IMPORT_QML_PLUGIN(Mavu_CorePlugin)

namespace {

constexpr qint64 minute = 60000;

WatchEntry movieEntry(const QString &id, qint64 positionMs = 30 * minute)
{
    WatchEntry entry;
    entry.kind = WatchEntry::movieKind;
    entry.streamId = id;
    entry.containerExt = QStringLiteral("mp4");
    entry.title = QStringLiteral("Movie ") + id;
    entry.positionMs = positionMs;
    entry.lengthMs = 100 * minute;
    return entry;
}

WatchEntry episodeEntry()
{
    WatchEntry entry = movieEntry(QStringLiteral("102"));
    entry.kind = WatchEntry::episodeKind;
    entry.title = QStringLiteral("Storm");
    entry.seriesId = QStringLiteral("5");
    entry.showName = QStringLiteral("Show Five");
    entry.season = 1;
    entry.episodeNum = 2;
    return entry;
}

QByteArray seriesInfoJson()
{
    return R"({"info":{},"seasons":[{"season_number":1,"name":"Season 1"}],)"
           R"("episodes":{"1":[{"id":"101","title":"Arrival","episode_num":1},{"id":"102","title":"Storm","episode_num":2}]}})";
}

QStringList rowNames(ScreenFixture &f)
{
    QStringList names;
    for (QQuickItem *child : ScreenFixture::findAll(f.find(QStringLiteral("continueRow")), QStringLiteral("posterName")))
        names.append(child->property("text").toString());
    return names;
}

} // namespace

class TestContinueRow : public QObject
{
    Q_OBJECT

    // The home screen of an attached playlist with `entries` kept, oldest first.
    static void show(ScreenFixture &f, const QList<WatchEntry> &entries)
    {
        f.startAttached();
        for (const WatchEntry &entry : entries)
            f.store->positions()->record(entry);
        f.load(QStringLiteral("HomeView.qml"));
    }

    // The row's first card takes the keyboard focus, as it would from the menu's Right key.
    static void focusRow(ScreenFixture &f)
    {
        f.find(QStringLiteral("menuLive"))->forceActiveFocus(Qt::TabFocusReason);
        f.key(Qt::Key_Right);
        QTRY_VERIFY(f.focused() && f.focused()->property("entry").isValid());
    }

private Q_SLOTS:
    void initTestCase() { useSoftwareRendering(); }

    void mostRecentFirstAndHiddenWhenEmpty()
    {
        ScreenFixture f;
        show(f, {movieEntry(QStringLiteral("1")), episodeEntry(), movieEntry(QStringLiteral("3"))});
        QQuickItem *row = f.find(QStringLiteral("continueRow"));
        QVERIFY(ScreenFixture::shown(row));
        QTRY_COMPARE(rowNames(f), QStringList({"Movie 3", "Show Five · S1 E2", "Movie 1"}));
        // The bar shows how much was watched.
        const QList<QQuickItem *> bars = ScreenFixture::findAll(row, QStringLiteral("watchProgress"));
        QCOMPARE(bars.size(), 3);
        QCOMPARE(bars.first()->property("progress").toDouble(), 0.3);

        // Watching one again brings it to the front.
        f.store->positions()->record(movieEntry(QStringLiteral("1"), 40 * minute));
        QTRY_COMPARE(rowNames(f).first(), QStringLiteral("Movie 1"));

        for (const WatchEntry &entry : f.store->positions()->entries())
            f.store->positions()->remove(entry.kind, entry.streamId);
        QVERIFY(!row->isVisible());
        QCOMPARE(row->height(), 0.0);
        // The menu leads straight to the latest movies again.
        f.find(QStringLiteral("menuLive"))->forceActiveFocus(Qt::TabFocusReason);
        f.key(Qt::Key_Right);
        QVERIFY(f.find(QStringLiteral("latestMoviesRow"))->hasActiveFocus());
    }

    void removal_data()
    {
        QTest::addColumn<bool>("byKey");
        QTest::newRow("Delete key") << true;
        QTest::newRow("remove button") << false;
    }
    void removal()
    {
        QFETCH(bool, byKey);
        ScreenFixture f;
        show(f, {movieEntry(QStringLiteral("1")), movieEntry(QStringLiteral("2"))});
        QTRY_COMPARE(rowNames(f).size(), 2);
        // The most recent entry's card: the first of the row.
        QQuickItem *first = nullptr;
        for (QQuickItem *name : ScreenFixture::findAll(f.find(QStringLiteral("continueList")), QStringLiteral("posterName"))) {
            QQuickItem *card = name->parentItem()->parentItem();
            if (card->property("entry").value<WatchEntry>().streamId == QLatin1String("2"))
                first = card;
        }
        QVERIFY(first);
        QQuickItem *remove = first->findChild<QQuickItem *>(QStringLiteral("removeButton"));
        QVERIFY(remove);
        QVERIFY(!remove->isVisible()); // only under the pointer
        if (byKey) {
            focusRow(f);
            f.key(Qt::Key_Delete);
        } else {
            QTest::qWait(50);
            QTest::mouseMove(&f.window, first->mapToScene(QPointF(first->width() / 2, 40)).toPoint());
            QTRY_VERIFY(remove->isVisible());
            f.click(remove);
        }
        QTRY_COMPARE(rowNames(f), QStringList({"Movie 1"}));
        QVERIFY(!f.store->positions()->find(WatchEntry::movieKind, QStringLiteral("2")));
        QVERIFY(!f.store->hasNowPlaying()); // removing plays nothing
    }

    void enterResumes_data()
    {
        QTest::addColumn<bool>("episode");
        QTest::newRow("movie") << false;
        QTest::newRow("episode") << true;
    }
    void enterResumes()
    {
        QFETCH(bool, episode);
        ScreenFixture f;
        f.server.onAction(QStringLiteral("get_series_info"), FakeServer::Reply::json(seriesInfoJson()));
        show(f, {episode ? episodeEntry() : movieEntry(QStringLiteral("7"))});
        focusRow(f);
        f.key(Qt::Key_Return);
        QTRY_VERIFY(f.store->hasNowPlaying());
        QVERIFY(!f.store->qmlNowPlayingURL().isEmpty());
        if (!episode) {
            QCOMPARE(f.store->nowPlaying()->id, QStringLiteral("7"));
            QVERIFY(!f.store->hasNowPlayingEpisode());
            return;
        }
        // The show's details are behind the player, so that its episodes are offered there.
        QCOMPARE(f.store->nowPlayingEpisode()->id, QStringLiteral("102"));
        QCOMPARE(f.store->nowPlaying()->name, QStringLiteral("Show Five"));
        QCOMPARE(f.store->seasonEpisodes().size(), 2);
        QVERIFY(f.store->hasDetailItem());
    }
};

QTEST_MAIN(TestContinueRow)
#include "tst_continuerow.moc"
