#include "store/watchpositions.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr qint64 minute = 60000;

const Playlist first{QStringLiteral("http://panel.example:8080"), QStringLiteral("alice"), QStringLiteral("s3cret-pass")};
const Playlist second{QStringLiteral("http://other.example"), QStringLiteral("bob"), QStringLiteral("hunter2")};

WatchEntry movie(const QString &id, qint64 positionMs, qint64 lengthMs = 100 * minute)
{
    WatchEntry entry;
    entry.kind = WatchEntry::movieKind;
    entry.streamId = id;
    entry.containerExt = QStringLiteral("mkv");
    entry.title = QStringLiteral("Movie ") + id;
    entry.positionMs = positionMs;
    entry.lengthMs = lengthMs;
    return entry;
}

QStringList idsOf(const QList<WatchEntry> &entries)
{
    QStringList ids;
    for (const WatchEntry &entry : entries)
        ids.append(entry.streamId);
    return ids;
}

// Positions on a file in `dir`, on a clock the test moves by hand.
struct Kept
{
    explicit Kept(const QString &path, const std::optional<Playlist> &playlist = first)
    {
        positions.setClock([this] { return now; });
        positions.setPath(path);
        positions.setPlaylist(playlist);
    }
    void record(const WatchEntry &entry)
    {
        now += 1000;
        positions.record(entry);
    }
    qint64 now = 1700000000000;
    WatchPositions positions;
};

} // namespace

class TestWatchPositions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void thresholds_data()
    {
        QTest::addColumn<qint64>("position");
        QTest::addColumn<qint64>("length");
        QTest::addColumn<bool>("kept");
        QTest::newRow("under a minute") << 59999LL << 100 * minute << false;
        QTest::newRow("one minute") << minute << 100 * minute << true;
        QTest::newRow("at 95 %") << 95 * minute << 100 * minute << true;
        QTest::newRow("past 95 %") << 95 * minute + 1 << 100 * minute << false;
        QTest::newRow("two minutes left of a short one") << 18 * minute << 20 * minute << true;
        QTest::newRow("under two minutes left") << 18 * minute + 1 << 20 * minute << false;
        QTest::newRow("length unknown") << 5 * minute << 0LL << true;
        QTest::newRow("length unknown, barely begun") << 30000LL << 0LL << false;
        QTest::newRow("shorter than the minimum") << 2 * minute << 2 * minute << false;
    }
    void thresholds()
    {
        QFETCH(qint64, position);
        QFETCH(qint64, length);
        QFETCH(bool, kept);
        Kept k{QString()};
        // Any earlier position of the item goes when the new one is not worth keeping.
        k.record(movie(QStringLiteral("7"), 30 * minute));
        k.record(movie(QStringLiteral("7"), position, length));
        const auto entry = k.positions.find(WatchEntry::movieKind, QStringLiteral("7"));
        QCOMPARE(entry.has_value(), kept);
        if (kept)
            QCOMPARE(entry->positionMs, position);
    }

    void mostRecentFirstAndRemoval()
    {
        Kept k{QString()};
        for (const char *id : {"a", "b", "c"})
            k.record(movie(QLatin1String(id), 10 * minute));
        k.record(movie(QStringLiteral("a"), 12 * minute)); // played again: first once more
        QCOMPARE(idsOf(k.positions.entries()), QStringList({"a", "c", "b"}));
        QCOMPARE(idsOf(k.positions.model()->rows()), QStringList({"a", "c", "b"}));

        QSignalSpy changed(&k.positions, &WatchPositions::changed);
        k.positions.remove(WatchEntry::movieKind, QStringLiteral("c"));
        QCOMPARE(idsOf(k.positions.entries()), QStringList({"a", "b"}));
        QCOMPARE(changed.size(), 1);
        // The same id of another kind is another entry.
        k.positions.remove(WatchEntry::episodeKind, QStringLiteral("a"));
        QCOMPARE(changed.size(), 1);
        QCOMPARE(k.positions.progressOf(WatchEntry::movieKind, QStringLiteral("a")), 0.12);
    }

    void capDropsTheOldestOfAnyPlaylist()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("positions.json"));
        Kept k{path};
        k.record(movie(QStringLiteral("first-old"), 10 * minute));
        k.positions.setPlaylist(second);
        for (int i = 0; i < WatchPositions::limit; ++i)
            k.record(movie(QString::number(i), 10 * minute));
        QCOMPARE(k.positions.entries().size(), WatchPositions::limit);
        k.record(movie(QStringLiteral("newest"), 10 * minute));
        const QList<WatchEntry> kept = k.positions.entries();
        QCOMPARE(kept.size(), WatchPositions::limit);
        QCOMPARE(kept.first().streamId, QStringLiteral("newest"));
        QCOMPARE(kept.last().streamId, QStringLiteral("1")); // "0" went
        k.positions.setPlaylist(first);
        QVERIFY(k.positions.entries().isEmpty());

        Kept reread{path, second};
        QCOMPARE(reread.positions.entries().size(), WatchPositions::limit);
    }

    void perPlaylist()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("positions.json"));
        Kept k{path};
        k.record(movie(QStringLiteral("1"), 10 * minute));
        k.positions.setPlaylist(second);
        QVERIFY(k.positions.entries().isEmpty());
        k.record(movie(QStringLiteral("1"), 20 * minute));
        k.positions.setPlaylist(std::nullopt);
        k.record(movie(QStringLiteral("2"), 20 * minute)); // nobody's: not kept
        QVERIFY(k.positions.entries().isEmpty());

        Kept reread{path};
        QCOMPARE(reread.positions.find(WatchEntry::movieKind, QStringLiteral("1"))->positionMs, 10 * minute);
        reread.positions.setPlaylist(second);
        QCOMPARE(reread.positions.find(WatchEntry::movieKind, QStringLiteral("1"))->positionMs, 20 * minute);
    }

    void fileHoldsNoCredentialsAndIsOwnerOnly()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("data/positions.json"));
        Kept k{path};
        WatchEntry episode = movie(QStringLiteral("55"), 10 * minute);
        episode.kind = WatchEntry::episodeKind;
        episode.seriesId = QStringLiteral("9");
        episode.showName = QStringLiteral("Show");
        episode.season = 2;
        episode.episodeNum = 3;
        k.record(episode);
        k.record(movie(QStringLiteral("56"), 10 * minute));

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        for (const QString &secret : {first.password, first.username, QStringLiteral("panel.example")})
            QVERIFY2(!bytes.contains(secret.toUtf8()), qPrintable(secret));
        QCOMPARE(file.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::WriteGroup
                                       | QFileDevice::WriteOther),
                 QFileDevice::Permissions());

        Kept reread{path};
        const auto back = reread.positions.find(WatchEntry::episodeKind, QStringLiteral("55"));
        QVERIFY(back);
        QCOMPARE(back->seriesId, QStringLiteral("9"));
        QCOMPARE(back->caption(), QStringLiteral("Show · S2 E3"));
        QCOMPARE(idsOf(reread.positions.entries()), QStringList({"56", "55"}));
    }

    void damagedFileIsKeptAside_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::newRow("not JSON") << QByteArray("\x00\xff garbage", 10);
        QTest::newRow("cut short") << QByteArray("{\"version\":1,\"playlists\":{\"ab\":[{\"kind\":\"mo");
        QTest::newRow("another version") << QByteArray(R"({"version":7,"playlists":{}})");
        QTest::newRow("an array") << QByteArray("[1,2]");
        QTest::newRow("empty") << QByteArray();
    }
    void damagedFileIsKeptAside()
    {
        QFETCH(QByteArray, contents);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("positions.json"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(contents);
        file.close();

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("positions file damaged")));
        Kept k{path};
        QVERIFY(k.positions.entries().isEmpty());
        QFile aside(path + QStringLiteral(".damaged"));
        QVERIFY(aside.open(QIODevice::ReadOnly));
        QCOMPARE(aside.readAll(), contents);
        // Positions go on being kept in a fresh file.
        k.record(movie(QStringLiteral("1"), 10 * minute));
        Kept reread{path};
        QCOMPARE(idsOf(reread.positions.entries()), QStringList({"1"}));
    }

    void readableEntriesOfAPartlyDamagedFileStay()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("positions.json"));
        const QString key = WatchPositions::playlistKey(first);
        // Written with ' for ": the entries are easier to read.
        const QByteArray contents = QByteArray("{'version':1,'playlists':{'" + key.toLatin1() + "':["
                                               "{'kind':'movie','id':'good','position':600000,'length':6000000,'saved':5},"
                                               "{'kind':'movie','id':'','position':600000},"
                                               "{'kind':'episode','id':'no-show','position':600000},"
                                               "{'kind':'movie','id':'neg','position':-4},"
                                               "'text']}}")
                                        .replace('\'', '"');
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(contents);
        file.close();

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("partly damaged")));
        Kept k{path};
        QCOMPARE(idsOf(k.positions.entries()), QStringList({"good"}));
        QFile aside(path + QStringLiteral(".damaged"));
        QVERIFY(aside.open(QIODevice::ReadOnly));
        QCOMPARE(aside.readAll(), contents);
    }

    void failedSaveIsTriedAgain()
    {
        QTemporaryDir dir;
        // A file where the folder should be: nothing can be written until it goes.
        const QString folder = dir.filePath(QStringLiteral("data"));
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QString path = folder + QStringLiteral("/positions.json");

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("could not be saved")));
        Kept k{path};
        k.record(movie(QStringLiteral("1"), 10 * minute));
        QVERIFY(k.positions.saveFailed());
        QCOMPARE(idsOf(k.positions.entries()), QStringList({"1"})); // still there for this run

        QVERIFY(QFile::remove(folder));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("saved again")));
        k.record(movie(QStringLiteral("2"), 10 * minute));
        QVERIFY(!k.positions.saveFailed());
        Kept reread{path};
        QCOMPARE(idsOf(reread.positions.entries()), QStringList({"2", "1"}));
    }
};

QTEST_GUILESS_MAIN(TestWatchPositions)
#include "tst_watchpositions.moc"
