// The window as a whole: which screen each phase shows, when the player covers it, the way
// back from the section phase, and the theme picture across window resizes.
#include "screenfixture.h"
#include "testmedia.h"

#include <QBuffer>
#include <QImage>
#include <QScreen>
#include <QSignalSpy>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(MavuPlugin)
Q_IMPORT_QML_PLUGIN(Mavu_CorePlugin)

namespace {

MediaItem itemOf(MediaItem::Kind kind, const QString &id)
{
    MediaItem item;
    item.id = id;
    item.name = QStringLiteral("Item ") + id;
    item.kind = kind;
    item.containerExt = kind == MediaItem::Kind::live ? QStringLiteral("ts") : QStringLiteral("mp4");
    item.tvArchive = kind == MediaItem::Kind::live;
    if (kind == MediaItem::Kind::series)
        item.setSeriesId(id);
    return item;
}

EpgProgram pastProgram()
{
    EpgProgram program;
    program.id = QStringLiteral("1");
    program.title = QStringLiteral("Evening");
    program.start = QStringLiteral("2024-05-01 20:00:00");
    program.end = QStringLiteral("2024-05-01 20:30:00");
    program.startTs = 1714593600;
    program.stopTs = 1714593600 + 1800;
    return program;
}

QByteArray png(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(40, 80, 120));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QString phaseScreenName(ScreenFixture &f)
{
    auto *screen = f.find(QStringLiteral("phaseScreen"))->property("item").value<QQuickItem *>();
    return screen ? screen->objectName() : QString();
}

} // namespace

class TestContentView : public QObject
{
    Q_OBJECT

    // A store started against the fake device service, which attaches the fake provider, then
    // the window over it.
    static void showWindow(ScreenFixture &f, const QByteArray &settings = "{}")
    {
        f.server.on(f.devicePath("playlist_information"),
                    FakeServer::Reply::json(R"({"urls":[")" + f.server.base().toUtf8() + R"(/get.php?username=user&password=pass"]})"));
        f.server.on(f.devicePath("get_app_setting"), FakeServer::Reply::json(settings));
        TestSupport::await(f.store->start());
        QVERIFY(f.store->hasPlaylist());
        f.loadWindow(QStringLiteral("ContentView.qml"));
    }

    static QQuickItem *playerLayer(ScreenFixture &f) { return f.find(QStringLiteral("playerLayer")); }

private Q_SLOTS:
    void initTestCase()
    {
        useSoftwareRendering();
        TestMedia::useDummyAudio();
    }

    void eachPhaseShowsItsScreen()
    {
        ScreenFixture f;
        showWindow(f);
        QCOMPARE(phaseScreenName(f), QStringLiteral("checkView"));
        TestSupport::await(f.store->enterBrowse());
        QCOMPARE(phaseScreenName(f), QStringLiteral("homeView"));
        f.store->runOpenSection(Section::movies);
        QCOMPARE(phaseScreenName(f), QStringLiteral("sectionView"));
        QCOMPARE(f.find(QStringLiteral("sectionTitle"))->property("text").toString(), QStringLiteral("Movies"));
        QVERIFY(!playerLayer(f)->property("active").toBool());
        QVERIFY(!ScreenFixture::shown(f.find(QStringLiteral("busyOverlay"))));
    }

    // A moment after start the window draws the guide's faces unseen, after its glyphs, and
    // then lets them go: nothing of it stays in the window.
    void guideWarmupComesAndGoes()
    {
        ScreenFixture f;
        showWindow(f);
        QObject *loader = f.find<QObject>(QStringLiteral("guideWarmup"));
        // It lives for two frames: a loaded signal, not a look now and then, sees it come.
        QSignalSpy loaded(loader, SIGNAL(loaded()));
        QTRY_COMPARE_WITH_TIMEOUT(loaded.count(), 1, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(!loader->property("active").toBool(), 10000);
        QCOMPARE(ScreenFixture::findAll(f.root, QStringLiteral("guideWarmupRows")).size(), 0);
        QCOMPARE(ScreenFixture::findAll(f.root, QStringLiteral("guideRow")).size(), 0);
    }

    // Until the section screen exists, the section phase still leads back home, by its Back
    // control and by Escape.
    void sectionPhaseLeadsBackHome()
    {
        ScreenFixture f;
        showWindow(f);
        TestSupport::await(f.store->enterBrowse());
        f.store->runOpenSection(Section::series);
        QCOMPARE(f.find(QStringLiteral("sectionTitle"))->property("text").toString(), QStringLiteral("TV Shows"));
        f.click(f.find(QStringLiteral("sectionBack")));
        QCOMPARE(f.store->phase(), AppStore::Phase::home);

        f.store->runOpenSection(Section::live);
        QCOMPARE(phaseScreenName(f), QStringLiteral("sectionView"));
        f.key(Qt::Key_Escape);
        QCOMPARE(f.store->phase(), AppStore::Phase::home);
        QCOMPARE(phaseScreenName(f), QStringLiteral("homeView"));
    }

    // A live channel plays in its own pane; its catch-up, a movie and an episode cover the
    // screen, which is there unchanged when the player goes.
    void playerCoversTheScreen_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<bool>("covers");
        QTest::newRow("movie") << "movie" << true;
        QTest::newRow("episode") << "episode" << true;
        QTest::newRow("live channel") << "live" << false;
        QTest::newRow("catch-up") << "catchup" << true;
    }

    void playerCoversTheScreen()
    {
        QFETCH(QString, what);
        QFETCH(bool, covers);
        ScreenFixture f;
        showWindow(f);
        TestSupport::await(f.store->enterBrowse());
        if (what == QLatin1String("movie")) {
            TestSupport::await(f.store->play(itemOf(MediaItem::Kind::movie, QStringLiteral("1"))));
        } else if (what == QLatin1String("episode")) {
            Episode episode;
            episode.id = QStringLiteral("101");
            episode.containerExt = QStringLiteral("mp4");
            f.store->playEpisode(episode, itemOf(MediaItem::Kind::series, QStringLiteral("5")));
        } else {
            TestSupport::await(f.store->play(itemOf(MediaItem::Kind::live, QStringLiteral("7"))));
            if (what == QLatin1String("catchup"))
                f.store->playCatchup(pastProgram());
        }
        QVERIFY(f.store->nowPlayingURL().has_value());

        QQuickItem *layer = playerLayer(f);
        if (covers) {
            QVERIFY(layer->property("active").toBool());
            QTRY_COMPARE(layer->opacity(), 1.0);
        } else {
            QTest::qWait(300);
            QVERIFY(!layer->property("active").toBool());
        }
        QCOMPARE(phaseScreenName(f), QStringLiteral("homeView"));

        f.store->stop();
        QTRY_VERIFY(!layer->property("active").toBool());
        QCOMPARE(phaseScreenName(f), QStringLiteral("homeView"));
    }

    // Tab walks the player's controls only; Escape leaves it and the keyboard returns to the
    // screen below.
    void keyboardInThePlayer()
    {
        ScreenFixture f;
        showWindow(f);
        // A stream that stays silent: a failure would add its Retry to the Tab chain.
        FakeServer::Reply silent;
        silent.never = true;
        f.server.on(QStringLiteral("/movie/user/pass/1.mp4"), silent);
        TestSupport::await(f.store->enterBrowse());
        TestSupport::await(f.store->play(itemOf(MediaItem::Kind::movie, QStringLiteral("1"))));
        QTRY_COMPARE(playerLayer(f)->opacity(), 1.0);
        // The player has the keyboard; the screen under it is out of the Tab chain.
        QStringList order;
        for (int i = 0; i < 9; ++i) {
            f.key(Qt::Key_Tab);
            order.append(f.focusedName());
        }
        QCOMPARE(order, QStringList({"backButton", "seekSlider", "jumpBack", "playPause", "jumpForward", "audioMenu",
                                     "subtitleMenu", "aspectMenu", "backButton"}));
        f.key(Qt::Key_Escape);
        QVERIFY(!f.store->nowPlayingURL());
        QTRY_VERIFY(!playerLayer(f)->property("active").toBool());
        // The keyboard is back on the home screen: Tab reaches its first card.
        f.key(Qt::Key_Tab);
        QCOMPARE(f.focusedName(), QStringLiteral("menuLive"));
    }

    // The picture is decoded once, at a size that covers the screen in both directions, so a
    // resize neither fetches nor fades it again, and a tall window is not filled by stretching.
    void themePictureSurvivesResizes()
    {
        ScreenFixture f;
        f.server.on(QStringLiteral("/theme.png"), [] {
            FakeServer::Reply reply;
            reply.contentType = "image/png";
            reply.body = png(3000, 1000);
            return reply;
        }());
        showWindow(f, R"({"themes":[{"name":"Wide","url":")" + f.server.base().toUtf8() + R"(/theme.png"}]})");
        auto *picture = f.find<QQuickItem>(QStringLiteral("themePicture"));
        QTRY_COMPARE(picture->property("status").toInt(), 1); // Image.Ready
        QTRY_COMPARE(picture->opacity(), 1.0);

        QSignalSpy statuses(picture, SIGNAL(statusChanged(QQuickImageBase::Status)));
        f.ownWindow->resize(820, 1400);
        QTest::qWait(100);
        f.ownWindow->resize(1600, 600);
        QTest::qWait(300);
        QCOMPARE(statuses.size(), 0);
        QCOMPARE(picture->opacity(), 1.0);
        QCOMPARE(f.server.requestsTo(QStringLiteral("/theme.png")).size(), 1);

        const QSizeF screen = QSizeF(f.ownWindow->screen()->size()) * f.ownWindow->screen()->devicePixelRatio();
        QVERIFY(picture->implicitWidth() >= screen.width());
        QVERIFY(picture->implicitHeight() >= screen.height());
    }
};

QTEST_MAIN(TestContentView)
#include "tst_contentview.moc"
