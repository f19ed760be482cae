#include "store/appstore.h"
#include "store/preferences.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSettings>
#include <QThread>
#include <QtTest>

#include <algorithm>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// What one writer's i-th save holds: a PIN naming it and a list that only matches that PIN,
// so that a file mixing two saves shows.
QString pinOf(const QString &writer, int i)
{
    return writer + QLatin1Char('-') + QString::number(i);
}

QStringList listOf(const QString &pin)
{
    QStringList ids;
    for (int k = 0; k < 300; ++k)
        ids.append(pin + QLatin1Char('/') + QString::number(k));
    return ids;
}

// The child side of the kill test: saves forever until killed.
[[noreturn]] void writeForever(const QString &path, const QString &writer)
{
    Preferences preferences(path);
    for (int i = 0;; ++i) {
        preferences.setFavorites(Section::live, listOf(pinOf(writer, i)));
        preferences.setPin(pinOf(writer, i));
    }
}

} // namespace

class TestPreferences : public QObject
{
    Q_OBJECT

    TestSupport::TempFolder m_folder;
    QString path() const { return m_folder.file(QStringLiteral("nested/mavu.ini")); }

private Q_SLOTS:
    void init() { QFile::remove(path()); }

    void defaultsWhenUnset()
    {
        Preferences preferences(path());
        QCOMPARE(preferences.themeIndex(), 0);
        QCOMPARE(preferences.liveSortIndex(), 0);
        QCOMPARE(preferences.language(), QStringLiteral("en"));
        QCOMPARE(preferences.pin(), QStringLiteral("729304"));
        QVERIFY(preferences.favorites(Section::live).isEmpty());
        QVERIFY(!preferences.deviceMac());
        QVERIFY(!preferences.playlistDictionary());
    }

    void valuesSurviveARestart()
    {
        {
            Preferences preferences(path());
            preferences.setThemeIndex(3);
            preferences.setLiveSortIndex(2);
            preferences.setLanguage(QStringLiteral("de"));
            preferences.setPin(QStringLiteral("0042"));
            preferences.setFavorites(Section::movies, {QStringLiteral("1"), QStringLiteral("2, 3")});
            preferences.setRecents(Section::series, {QStringLiteral("only")});
            preferences.setHidden(Section::live, {});
            preferences.setPlaylistDictionary({{"host", "http://h.test/"}, {"user", "u"}, {"pass", "p=a&ss, x"}});
        }
        Preferences again(path());
        QCOMPARE(again.themeIndex(), 3);
        QCOMPARE(again.liveSortIndex(), 2);
        QCOMPARE(again.language(), QStringLiteral("de"));
        QCOMPARE(again.pin(), QStringLiteral("0042"));
        QCOMPARE(again.favorites(Section::movies), QStringList({"1", "2, 3"}));
        QCOMPARE(again.recents(Section::series), QStringList({"only"}));
        QVERIFY(again.hidden(Section::live).isEmpty());
        QVERIFY(again.favorites(Section::live).isEmpty()); // per section
        QCOMPARE(*again.playlistDictionary(), (QMap<QString, QString>{{"host", "http://h.test/"}, {"user", "u"}, {"pass", "p=a&ss, x"}}));
    }

    void otherKindsReadAsDefaults()
    {
        {
            QSettings raw(path(), QSettings::IniFormat);
            raw.setValue(QString(Preferences::themeKey), QStringLiteral("not a number"));
            raw.setValue(QString(Preferences::pinKey), QStringList{QStringLiteral("a"), QStringLiteral("b")});
            raw.setValue(QString(Preferences::languageKey), 5);
        }
        Preferences preferences(path());
        QCOMPARE(preferences.themeIndex(), 0);
        QCOMPARE(preferences.pin(), QStringLiteral("729304"));
    }

    void keysAreTheDocumentedOnes()
    {
        QCOMPARE(Preferences::favoritesKey(Section::movies), QStringLiteral("mavu.fav.vod"));
        QCOMPARE(Preferences::recentsKey(Section::live), QStringLiteral("mavu.recent.live"));
        QCOMPARE(Preferences::hiddenKey(Section::series), QStringLiteral("mavu.hide.series"));
        {
            Preferences preferences(path());
            preferences.setFavorites(Section::series, {QStringLiteral("x")});
        }
        QSettings raw(path(), QSettings::IniFormat);
        QCOMPARE(raw.value(QStringLiteral("mavu.fav.series")).toStringList(), QStringList({"x"}));
    }

    void fileIsReadableByItsOwnerOnly()
    {
        {
            Preferences preferences(path());
            preferences.setPlaylistDictionary({{"host", "h"}, {"user", "u"}, {"pass", "secret"}});
            preferences.setPin(QStringLiteral("1111"));
        }
        const auto permissions = QFile::permissions(path());
        QVERIFY(permissions & QFile::ReadOwner);
        QCOMPARE(permissions & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther), QFile::Permissions());
    }

    // A folder made at first start is owner-only too, so whatever a save leaves in it stays private.
    void newFolderIsOwnerOnly()
    {
        const QString file = m_folder.file(QStringLiteral("fresh/deeper/mavu.ini"));
        {
            Preferences preferences(file);
            preferences.setPin(QStringLiteral("1111"));
        }
        const auto permissions = QFile::permissions(QFileInfo(file).path());
        QCOMPARE(permissions & (QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner),
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(permissions & (QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther
                                | QFile::WriteOther | QFile::ExeOther),
                 QFile::Permissions());
    }

    void leftoversOfUnfinishedSaves_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("ageSeconds");
        QTest::addColumn<bool>("removed");
        QTest::newRow("temporary copy") << "mavu.ini.aB3xYz" << 3600 << true;
        QTest::newRow("temporary copy, digits") << "mavu.ini.123456" << 120 << true;
        QTest::newRow("a save in progress") << "mavu.ini.aB3xYz" << 5 << false;
        QTest::newRow("lock helper") << "mavu.ini.lock.rmlock" << 3600 << true;
        QTest::newRow("nested lock helpers") << "mavu.ini.lock.rmlock.rmlock.rmlock" << 3600 << true;
        QTest::newRow("the lock itself") << "mavu.ini.lock" << 3600 << false;
        QTest::newRow("the damaged copy") << "mavu.ini.damaged" << 3600 << false;
        QTest::newRow("five characters") << "mavu.ini.aB3xY" << 3600 << false;
        QTest::newRow("seven characters") << "mavu.ini.aB3xYzz" << 3600 << false;
        QTest::newRow("a dot inside") << "mavu.ini.aB.xYz" << 3600 << false;
        QTest::newRow("another file's copy") << "other.ini.aB3xYz" << 3600 << false;
        QTest::newRow("a longer name's copy") << "xmavu.ini.aB3xYz" << 3600 << false;
    }

    void leftoversOfUnfinishedSaves()
    {
        QFETCH(QString, name);
        QFETCH(int, ageSeconds);
        QFETCH(bool, removed);
        {
            Preferences preferences(path());
            preferences.setPin(QStringLiteral("1111"));
        }
        const QString left = QFileInfo(path()).dir().filePath(name);
        {
            QFile file(left);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("[mavu]\npin=1111\n");
            QVERIFY(file.flush()); // or the write would stamp the file again as it closes
            QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-ageSeconds), QFileDevice::FileModificationTime));
        }
        Preferences preferences(path());
        QCOMPARE(!QFile::exists(left), removed);
        QCOMPARE(preferences.pin(), QStringLiteral("1111"));
        QFile::remove(left);
    }

    // The folder is taken away under the running program (a read-only folder does not stop
    // root, who runs CI): saves fail, the values stay, the failure is told once, and the
    // next change after the folder is back writes everything.
    void failedSavesKeepValuesAndRetry()
    {
        const QString folder = m_folder.file(QStringLiteral("gone"));
        const QString file = folder + QStringLiteral("/mavu.ini");
        QDir(folder).removeRecursively();
        Preferences preferences(file);
        QList<bool> told;
        preferences.setSaveListener([&](bool saved) { told.append(saved); });
        preferences.setLanguage(QStringLiteral("fr"));
        QVERIFY(preferences.saved());

        QVERIFY(QDir(folder).removeRecursively());
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("could not save the settings"));
        preferences.setPin(QStringLiteral("1234"));
        preferences.setThemeIndex(2);
        preferences.setPlaylistDictionary({{"host", "http://h.test"}, {"user", "u"}, {"pass", "p"}});
        QCOMPARE(told, QList<bool>{false});
        QVERIFY(!preferences.saved());
        QCOMPARE(preferences.pin(), QStringLiteral("1234"));
        QCOMPARE(preferences.themeIndex(), 2);
        QCOMPARE(preferences.playlistDictionary()->value("pass"), QStringLiteral("p"));

        QVERIFY(QFile::remove(folder));
        QVERIFY(QDir().mkpath(folder));
        preferences.setLiveSortIndex(1);
        QCOMPARE(told, (QList<bool>{false, true}));
        QVERIFY(preferences.saved());

        Preferences again(file);
        QCOMPARE(again.pin(), QStringLiteral("1234"));
        QCOMPARE(again.themeIndex(), 2);
        QCOMPARE(again.liveSortIndex(), 1);
        QCOMPARE(again.playlistDictionary()->value("host"), QStringLiteral("http://h.test"));
        // "fr" was on disk before the folder went; it is written again from memory.
        QCOMPARE(again.language(), QStringLiteral("fr"));
        QCOMPARE(QFile::permissions(file) & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
    }

    // The store shows the failure once, keeps the changed value on screen, and clears it when a
    // later change is saved.
    void storeSaysSoOnce()
    {
        const QString folder = m_folder.file(QStringLiteral("store"));
        QDir(folder).removeRecursively();
        QFile::remove(folder);
        AppStore store(std::make_shared<Preferences>(folder + QStringLiteral("/mavu.ini")));
        QSignalSpy told(&store, &AppStore::settingsSaveErrorChanged);
        QVERIFY(store.settingsSaveError().isEmpty());

        QVERIFY(QDir(folder).removeRecursively());
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("could not save the settings"));
        store.setParentalPIN(QStringLiteral("2468"));
        store.setLiveSortIndex(1);
        QCOMPARE(store.settingsSaveError(), QStringLiteral("Couldn't save your settings"));
        QCOMPARE(told.size(), 1);
        QCOMPARE(store.parentalPIN(), QStringLiteral("2468"));

        QVERIFY(QFile::remove(folder));
        QVERIFY(QDir().mkpath(folder));
        store.setLiveSortIndex(2);
        QVERIFY(store.settingsSaveError().isEmpty());
        QCOMPARE(told.size(), 2);
        QCOMPARE(Preferences(folder + QStringLiteral("/mavu.ini")).pin(), QStringLiteral("2468"));
    }

    void damagedFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("pin");
        QTest::addColumn<QString>("language");
        QTest::newRow("a line without a value")
            << QByteArray("[General]\nmavu.pin=4321\nmavu.language=de\nthis line has no equals sign\n") << "4321" << "de";
        QTest::newRow("an unclosed group")
            << QByteArray("[General]\nmavu.pin=4321\n[mavu.playlist\nhost=http://h.test\n") << "4321" << "en";
        QTest::newRow("binary garbage") << QByteArray("\x01\x02\xff\xfe\x00garbage\n", 12) << "729304" << "en";
    }

    // A damaged file is kept aside byte for byte; what could be read carries over, the rest
    // starts at its default, and the program can save again.
    void damagedFiles()
    {
        QFETCH(QByteArray, bytes);
        const QString copy = path() + QStringLiteral(".damaged");
        QVERIFY(QDir().mkpath(QFileInfo(path()).path()));
        {
            QFile older(copy);
            QVERIFY(older.open(QIODevice::WriteOnly | QIODevice::Truncate));
            older.write("from an earlier start");
        }
        {
            QFile file(path());
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(bytes);
        }
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("damaged"));
        {
            Preferences preferences(path());
            QCOMPARE(preferences.damagedCopy(), std::optional<QString>(copy));
            QTEST(preferences.pin(), "pin");
            QTEST(preferences.language(), "language");
            QCOMPARE(preferences.themeIndex(), 0);
            preferences.setThemeIndex(4);
            QVERIFY(preferences.saved());
        }
        QFile kept(copy);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), bytes);
        QCOMPARE(QSettings(path(), QSettings::IniFormat).status(), QSettings::NoError);
        Preferences again(path());
        QVERIFY(!again.damagedCopy());
        QCOMPARE(again.themeIndex(), 4);
        QTEST(again.pin(), "pin");
        QCOMPARE(QFile::permissions(path()) & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
    }

    // A writer killed at random points: the file always holds one whole save, old or new.
    void killedDuringSave()
    {
        const QString file = m_folder.file(QStringLiteral("killed/mavu.ini"));
        QDir(QFileInfo(file).path()).removeRecursively();
        {
            Preferences preferences(file);
            preferences.setFavorites(Section::live, listOf(pinOf("start", 0)));
            preferences.setPin(pinOf("start", 0));
        }
        // Kills land anywhere within a few of a writer's first saves, timed here: a busy machine
        // or a sanitizer build makes them many times slower, and kills that always came first
        // would prove nothing.
        QElapsedTimer firstSaves;
        firstSaves.start();
        {
            Preferences preferences(file);
            for (int i = 0; i < 2; ++i) {
                preferences.setFavorites(Section::live, listOf(pinOf("start", i)));
                preferences.setPin(pinOf("start", i));
            }
            preferences.setFavorites(Section::live, listOf(pinOf("start", 0)));
            preferences.setPin(pinOf("start", 0));
        }
        // The disk may stall for a while under other work (a sync waits behind everyone's writes): when
        // ten kills in a row came before any save, the window widens, so they keep landing on both sides.
        int windowMicroseconds = int(std::clamp<qint64>(firstSaves.nsecsElapsed() / 1000 * 6, 80000, 2000000));
        QString previousPin = pinOf("start", 0);
        QStringList previousIds = listOf(previousPin);
        int sawNewValue = 0;
        int unseenInARow = 0;
        QElapsedTimer clock;
        clock.start();
        // Up to 200 kills, fewer where each takes long (a sanitizer build): past a minute, once both
        // sides were seen, the suite stays well inside its time limit.
        int run = 0;
        for (; run < 200; ++run) {
            if (clock.elapsed() > 60000 && sawNewValue > 0 && sawNewValue < run)
                break;
            const QString writer = QStringLiteral("w") + QString::number(run);
            // A forked child starts saving at once (a new process would spend its time loading
            // libraries), so the kills land all through the saves.
            const pid_t child = fork();
            QVERIFY(child >= 0);
            if (child == 0)
                writeForever(file, writer);
            QThread::usleep(QRandomGenerator::global()->bounded(500, windowMicroseconds));
            QCOMPARE(::kill(child, SIGKILL), 0);
            int status = 0;
            QCOMPARE(waitpid(child, &status, 0), child);
            QVERIFY(WIFSIGNALED(status));

            // The saves go favourites 0, PIN 0, favourites 1, PIN 1, …: after the kill the file holds
            // the state before this writer or one of those steps, always whole.
            QSettings raw(file, QSettings::IniFormat);
            QCOMPARE(raw.status(), QSettings::NoError);
            const QString pin = raw.value(QString(Preferences::pinKey)).toString();
            const QStringList ids = raw.value(Preferences::favoritesKey(Section::live)).toStringList();
            const QString where = QStringLiteral("run %1 found \"%2\" with \"%3\"").arg(run).arg(pin, ids.value(0));
            if (pin == previousPin) {
                QVERIFY2(ids == previousIds || ids == listOf(pinOf(writer, 0)), qPrintable(where));
            } else {
                QVERIFY2(pin.section(QLatin1Char('-'), 0, 0) == writer, qPrintable(where));
                const int i = pin.section(QLatin1Char('-'), 1).toInt();
                QVERIFY2(ids == listOf(pin) || ids == listOf(pinOf(writer, i + 1)), qPrintable(where));
                ++sawNewValue;
            }
            unseenInARow = pin == previousPin ? unseenInARow + 1 : 0;
            if (unseenInARow == 10) {
                windowMicroseconds = std::min(windowMicroseconds + windowMicroseconds / 2, 4000000);
                unseenInARow = 0;
            }
            previousPin = pin;
            previousIds = ids;
        }
        const int runs = run;
        // The kills landed both before and after saves; otherwise the test proved nothing.
        QVERIFY2(sawNewValue > 0 && sawNewValue < runs, qPrintable(QString::number(sawNewValue)));

        // Whatever the killed saves left beside the file is gone at the next start, once older
        // than any save could take.
        const QDir folder = QFileInfo(file).dir();
        const QStringList left = folder.entryList(QDir::Files | QDir::Hidden);
        for (const QString &name : left) {
            QFile leftover(folder.filePath(name));
            QVERIFY(leftover.open(QIODevice::ReadWrite | QIODevice::ExistingOnly));
            QVERIFY(leftover.setFileTime(QDateTime::currentDateTime().addSecs(-600), QFileDevice::FileModificationTime));
        }
        {
            Preferences preferences(file);
            QCOMPARE(preferences.pin(), previousPin);
        }
        QStringList remaining = folder.entryList(QDir::Files | QDir::Hidden);
        remaining.removeAll(QStringLiteral("mavu.ini.lock")); // the lock itself is its own to manage
        QCOMPARE(remaining, QStringList{QStringLiteral("mavu.ini")});
        qInfo() << runs << "kills within" << windowMicroseconds / 1000 << "ms of a start," << sawNewValue << "after a save, in"
                << clock.elapsed() << "ms; left behind:" << left;
    }
};

QTEST_GUILESS_MAIN(TestPreferences)
#include "tst_preferences.moc"
