// The screens' small decisions, kept in C++: the player-covers rule and the player layer's
// fade bookkeeping, scrolling a focused item into view, the check screen's status line and the player's menus.
#include "playermenumodel.h"
#include "shellstate.h"
#include "store/preferences.h"
#include "support/testsupport.h"
#include "uirules.h"

#include <QAbstractItemModelTester>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QtTest>

namespace {

MediaItem itemOf(MediaItem::Kind kind)
{
    MediaItem item;
    item.id = QStringLiteral("7");
    item.name = QStringLiteral("Seven");
    item.kind = kind;
    item.containerExt = QStringLiteral("ts");
    return item;
}

} // namespace

class TestUiRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void playerCovers_data()
    {
        QTest::addColumn<bool>("hasURL");
        QTest::addColumn<int>("kind"); // -1: nothing known plays
        QTest::addColumn<bool>("catchup");
        QTest::addColumn<bool>("covers");
        const int live = int(MediaItem::Kind::live);
        const int movie = int(MediaItem::Kind::movie);
        const int series = int(MediaItem::Kind::series);
        QTest::newRow("nothing plays") << false << movie << false << false;
        QTest::newRow("movie") << true << movie << false << true;
        QTest::newRow("episode of a show") << true << series << false << true;
        QTest::newRow("address without item") << true << -1 << false << true;
        QTest::newRow("live channel") << true << live << false << false;
        QTest::newRow("catch-up of a channel") << true << live << true << true;
        QTest::newRow("builder left without address") << false << live << true << false;
    }

    void playerCovers()
    {
        QFETCH(bool, hasURL);
        QFETCH(int, kind);
        QFETCH(bool, catchup);
        std::optional<MediaItem> playing;
        if (kind >= 0)
            playing = itemOf(MediaItem::Kind(kind));
        QTEST(ShellState::coversWithPlayer(hasURL, playing, catchup), "covers");
    }

    // The layer keeps what it showed until its fade-out has ended; covering again meanwhile
    // keeps the same player (and its title) instead of making a new one.
    void playerLayerThroughFades()
    {
        TestSupport::TempFolder folder;
        AppStore store(std::make_shared<Preferences>(folder.file(QStringLiteral("mavu.ini"))));
        ShellState shell(&store);
        QVERIFY(!shell.playerLoaded());

        const QUrl first(QStringLiteral("http://h.test/movie/u/p/1.mp4"));
        store.qmlSetNowPlayingURL(first);
        QVERIFY(shell.coversWithPlayer() && shell.playerLoaded());
        QCOMPARE(shell.playerURL(), first);

        store.stop();
        QVERIFY(!shell.coversWithPlayer());
        QVERIFY(shell.playerLoaded()); // still fading out
        QCOMPARE(shell.playerURL(), first);

        const QUrl second(QStringLiteral("http://h.test/movie/u/p/2.mp4"));
        store.qmlSetNowPlayingURL(second);
        QVERIFY(shell.coversWithPlayer());
        QCOMPARE(shell.playerURL(), second);
        shell.playerFadedOut(); // the fade-out that was interrupted reports late: nothing happens
        QVERIFY(shell.playerLoaded());

        store.stop();
        shell.playerFadedOut();
        QVERIFY(!shell.playerLoaded());
    }

    void checkStatusLine_data()
    {
        QTest::addColumn<bool>("hasPlaylist");
        QTest::addColumn<bool>("statusLoaded");
        QTest::addColumn<bool>("statusFailed");
        QTest::addColumn<QString>("line");
        const QString start = QStringLiteral("Tap START to open your library.");
        QTest::newRow("awaiting the status") << false << false << false << QString();
        QTest::newRow("no playlist attached")
            << false << true << false
            << QStringLiteral("No playlist is attached to this device yet.\nAttach one to this MAC on ") + UiRules::attachAddress()
                   + QStringLiteral(", or connect a playlist manually below.");
        // The service did not answer: whether a playlist is attached is not known.
        QTest::newRow("status failed") << false << true << true << QString();
        QTest::newRow("playlist attached") << true << true << false << start;
        QTest::newRow("saved playlist before the status") << true << false << false << start;
        QTest::newRow("saved playlist, status failed") << true << true << true << start;
    }

    void checkStatusLine()
    {
        QFETCH(bool, hasPlaylist);
        QFETCH(bool, statusLoaded);
        QFETCH(bool, statusFailed);
        QTEST(UiRules::checkStatusLine(hasPlaylist, statusLoaded, statusFailed), "line");
    }

    void menuEntries_data()
    {
        using Kind = PlayerMenuModel::Kind;
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QStringList>("trackNames");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QList<bool>>("choosable");
        const QStringList two{"English", "Deutsch"};
        QTest::newRow("no audio") << Kind::Audio << QStringList() << QStringList{"No audio tracks"} << QList<bool>{false};
        QTest::newRow("no subtitles") << Kind::Subtitles << QStringList() << QStringList{"No subtitles"} << QList<bool>{false};
        QTest::newRow("two tracks") << Kind::Audio << two << QStringList{"English", "Deutsch"} << QList<bool>{true, true};
        QTest::newRow("aspect ignores tracks") << Kind::Aspect << two << QStringList{"Default", "Fill", "16:9", "16:10", "4:3", "3:2"}
                                               << QList<bool>(6, true);
    }

    void menuEntries()
    {
        QFETCH(PlayerMenuModel::Kind, kind);
        QFETCH(QStringList, trackNames);
        QList<PlayerController::Track> tracks;
        for (const QString &name : std::as_const(trackNames))
            tracks.append({int(tracks.size()) + 3, name});
        QStringList shown;
        QList<bool> choosable;
        for (const PlayerMenuModel::Entry &entry : PlayerMenuModel::entries(kind, tracks)) {
            shown.append(entry.name);
            choosable.append(entry.choosable);
        }
        QTEST(shown, "names");
        QTEST(choosable, "choosable");
    }

    void menuModelIsAWellFormedModel()
    {
        PlayerMenuModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setKind(PlayerMenuModel::Kind::Aspect);
        QCOMPARE(model.count(), 6);
        QCOMPARE(model.data(model.index(2), PlayerMenuModel::NameRole).toString(), QStringLiteral("16:9"));
        model.setKind(PlayerMenuModel::Kind::Subtitles);
        QCOMPARE(model.count(), 1);
        QCOMPARE(model.data(model.index(0), PlayerMenuModel::ChoosableRole).toBool(), false);
        model.choose(0); // the empty entry, and no player: nothing happens
    }

    // A 200-high view over a column: 300 above, a block that may grow, the target (50 high), then a tail.
    void revealScrollsNoFurtherThanNeeded_data()
    {
        QTest::addColumn<qreal>("startY");
        QTest::addColumn<qreal>("growTo");
        QTest::addColumn<qreal>("tail");
        QTest::addColumn<bool>("targetInside");
        QTest::addColumn<qreal>("viewHeight");
        QTest::addColumn<qreal>("expectedY");
        // The target lies at 310..360 unless the block grows; the margin is 10.
        QTest::newRow("below the view") << 0.0 << 10.0 << 100.0 << true << 200.0 << 170.0;
        QTest::newRow("above the view") << 340.0 << 10.0 << 100.0 << true << 200.0 << 300.0;
        QTest::newRow("already in view") << 200.0 << 10.0 << 100.0 << true << 200.0 << 200.0;
        // The column has not placed its children since the block grew: they are placed first.
        QTest::newRow("moved down, not placed yet") << 0.0 << 400.0 << 100.0 << true << 200.0 << 560.0;
        QTest::newRow("margin past the end stays within the content") << 0.0 << 10.0 << 0.0 << true << 200.0 << 160.0;
        QTest::newRow("not inside the view") << 0.0 << 10.0 << 100.0 << false << 200.0 << 0.0;
        QTest::newRow("view not laid out") << 120.0 << 10.0 << 100.0 << true << 0.0 << 120.0;
    }

    void revealScrollsNoFurtherThanNeeded()
    {
        QFETCH(qreal, startY);
        QFETCH(qreal, growTo);
        QFETCH(qreal, tail);
        QFETCH(bool, targetInside);
        QFETCH(qreal, viewHeight);
        QFETCH(qreal, expectedY);
        QQmlEngine engine;
        QQmlComponent component(&engine);
        component.setData(R"(
            import QtQuick
            Item {
                property alias view: view
                property alias column: column
                property alias grow: grow
                property alias tail: tail
                property alias target: target
                property alias outside: outside
                Flickable {
                    id: view
                    width: 300; height: 200
                    contentHeight: column.height
                    Column {
                        id: column
                        Rectangle { width: 10; height: 300 }
                        Rectangle { id: grow; width: 10; height: 10 }
                        Rectangle { id: target; width: 10; height: 50 }
                        Rectangle { id: tail; width: 10; height: 100 }
                    }
                }
                Rectangle { id: outside; y: 250; width: 10; height: 50 }
            }
        )", QUrl());
        std::unique_ptr<QObject> root(component.create());
        QVERIFY2(root, qPrintable(component.errorString()));
        const auto item = [&](const char *name) { return root->property(name).value<QQuickItem *>(); };
        QQuickItem *view = item("view");
        item("tail")->setHeight(tail);
        // Without a window nothing places the column's children unless asked: the first placement is
        // asked for here, a later one only by the call under test.
        QMetaObject::invokeMethod(item("column"), "forceLayout");
        view->setProperty("contentY", startY);
        item("grow")->setHeight(growTo);
        view->setHeight(viewHeight);
        UiRules::reveal(view, item(targetInside ? "target" : "outside"), 10);
        QCOMPARE(view->property("contentY").toReal(), expectedY);
    }
};

QTEST_MAIN(TestUiRules)
#include "tst_uirules.moc"
