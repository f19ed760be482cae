// The screens' small decisions, kept in C++: the player-covers rule and the player layer's
// fade bookkeeping, the check screen's status line and the player's menus.
#include "playermenumodel.h"
#include "shellstate.h"
#include "store/preferences.h"
#include "support/testsupport.h"
#include "uirules.h"

#include <QAbstractItemModelTester>
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
};

QTEST_MAIN(TestUiRules)
#include "tst_uirules.moc"
