// The window against an in-process mavu-lab: a movie played full-window and left part-way comes
// back on the home screen's Continue Watching row, and plays on from there with the notice. With
// MAVU_SCREENSHOT set to a file name, the home row and the notice are saved beside it
// ("x-continue.png", "x-resumed.png").
#include "../ui/screenfixture.h"
#include "labserver.h"
#include "player/playercontroller.h"
#include "testmedia.h"

#include <QFile>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(MavuPlugin)
Q_IMPORT_QML_PLUGIN(Mavu_CorePlugin)

namespace {

QString shotName(const QString &suffix)
{
    QString base = qEnvironmentVariable("MAVU_SCREENSHOT");
    if (base.isEmpty())
        return {};
    if (base.endsWith(QLatin1String(".png")))
        base.chop(4);
    return base + QLatin1Char('-') + suffix + QStringLiteral(".png");
}

QQuickItem *playerScreen(ScreenFixture &f)
{
    return f.find(QStringLiteral("playerLayer"))->property("item").value<QQuickItem *>();
}

PlayerController *controllerOf(QQuickItem *player)
{
    return player->findChild<QObject *>(QStringLiteral("playerScreenState"))->property("controller").value<PlayerController *>();
}

} // namespace

class TestEndToEndResume : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("MAVU_SCREENSHOT"))
            useSoftwareRendering();
        TestMedia::useDummyAudio();
    }

    void movieLeftPartWayResumesThere()
    {
        Lab::Server lab(Lab::Options{.seed = 3});
        ScreenFixture f(ScreenFixture::Tolerate::missingPictures);
        // The lab's movies last a minute: the thresholds shrink with them.
        f.store->positions()->setThresholds({.shortestMs = 5000, .tailMs = 5000, .finishedFraction = 0.95});
        f.store->positions()->setPath(f.folder.path() + QStringLiteral("/positions.json"));
        MavuAPI::testing::setDeviceServiceBase(lab.start());
        TestSupport::await(f.store->start());
        TestSupport::await(f.store->enterBrowse());
        f.loadWindow(QStringLiteral("ContentView.qml"));
        QVERIFY(!ScreenFixture::shown(f.find(QStringLiteral("continueRow"))));
        QQuickItem *latest = f.find(QStringLiteral("latestMoviesRow"));
        QTRY_VERIFY_WITH_TIMEOUT(!ScreenFixture::findAll(latest, QStringLiteral("posterName")).isEmpty(), 10000);
        QQuickItem *poster = ScreenFixture::findAll(latest, QStringLiteral("posterName")).first()->parentItem()->parentItem();
        const MediaItem movie = poster->property("item").value<MediaItem>();
        poster->forceActiveFocus(Qt::TabFocusReason);
        f.key(Qt::Key_Return);

        // Played, moved on half a minute, and left.
        QTRY_VERIFY(playerScreen(f));
        PlayerController *controller = controllerOf(playerScreen(f));
        QTRY_VERIFY_WITH_TIMEOUT(controller->isPlaying(), 30000);
        QVERIFY(!ScreenFixture::shown(playerScreen(f)->findChild<QQuickItem *>(QStringLiteral("resumeNotice"))));
        controller->jumpForward(30);
        QTRY_VERIFY_WITH_TIMEOUT(controller->playerTime() >= 31000, 20000);
        f.click(playerScreen(f)->findChild<QQuickItem *>(QStringLiteral("backButton")));
        QTRY_VERIFY(!f.find(QStringLiteral("playerLayer"))->property("active").toBool());

        const auto kept = f.store->positions()->find(WatchEntry::movieKind, movie.id);
        QVERIFY(kept);
        QVERIFY2(kept->positionMs >= 31000 && kept->positionMs < 40000, QByteArray::number(kept->positionMs));
        QCOMPARE(kept->lengthMs / 1000, 60);
        // Nothing that opens the account is written down.
        QFile file(f.store->positions()->path());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(!file.readAll().contains(f.store->playlist()->password.toUtf8()));

        QQuickItem *row = f.find(QStringLiteral("continueRow"));
        QTRY_VERIFY(ScreenFixture::shown(row));
        QCOMPARE(ScreenFixture::findAll(row, QStringLiteral("posterName")).first()->property("text").toString(), movie.name);
        if (const QString shot = shotName(QStringLiteral("continue")); !shot.isEmpty()) {
            QTest::qWait(1500);
            QVERIFY(f.ownWindow->grabWindow().save(shot));
        }

        // Again from the row: it starts where it was left, and says so.
        f.find(QStringLiteral("menuLive"))->forceActiveFocus(Qt::TabFocusReason);
        f.key(Qt::Key_Right);
        QTRY_VERIFY(f.focused() && f.focused()->property("entry").isValid());
        f.key(Qt::Key_Return);
        QTRY_VERIFY(playerScreen(f));
        controller = controllerOf(playerScreen(f));
        QQuickItem *notice = playerScreen(f)->findChild<QQuickItem *>(QStringLiteral("resumeNotice"));
        QTRY_VERIFY(ScreenFixture::shown(notice));
        QCOMPARE(notice->findChild<QQuickItem *>(QStringLiteral("resumeText"))->property("text").toString(),
                 QStringLiteral("Resumed at ") + PlayerController::hms(kept->positionMs / 1000.0) + QStringLiteral(" —"));
        QTRY_VERIFY_WITH_TIMEOUT(controller->isPlaying() && controller->playerTime() > 0, 30000);
        QVERIFY2(controller->playerTime() >= kept->positionMs - 1500, QByteArray::number(controller->playerTime()));
        if (const QString shot = shotName(QStringLiteral("resumed")); !shot.isEmpty()) {
            QTest::qWait(1500);
            QVERIFY(f.ownWindow->grabWindow().save(shot));
        }

        // Start over, from the keyboard.
        QQuickItem *startOver = notice->findChild<QQuickItem *>(QStringLiteral("startOverButton"));
        startOver->forceActiveFocus(Qt::TabFocusReason);
        f.key(Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(controller->playerTime() < 10000, 10000);
        QTRY_VERIFY(!ScreenFixture::shown(notice));
    }
};

QTEST_MAIN(TestEndToEndResume)
#include "tst_endtoend_resume.moc"
