#include "screenfixture.h"
#include "testmedia.h"

#include <QQuickWindow>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(MavuPlugin)
Q_IMPORT_QML_PLUGIN(Mavu_CorePlugin)

namespace {

const qint64 programStart = 1714593600; // 2024-05-01 20:00:00 in the provider's clock text below

MediaItem channel()
{
    MediaItem item;
    item.id = QStringLiteral("7");
    item.name = QStringLiteral("News");
    item.kind = MediaItem::Kind::live;
    item.containerExt = QStringLiteral("ts");
    item.tvArchive = true;
    return item;
}

EpgProgram program(int minutes)
{
    EpgProgram entry;
    entry.id = QStringLiteral("1");
    entry.title = QStringLiteral("Evening");
    entry.start = QStringLiteral("2024-05-01 20:00:00");
    entry.end = QStringLiteral("2024-05-01 20:30:00");
    entry.startTs = double(programStart);
    entry.stopTs = double(programStart + minutes * 60);
    return entry;
}

MediaItem movie(const QString &id, const QString &extension = QStringLiteral("mp4"))
{
    MediaItem item;
    item.id = id;
    item.name = QStringLiteral("A Movie");
    item.kind = MediaItem::Kind::movie;
    item.containerExt = extension;
    return item;
}

QString tail(const QUrl &url, int segments)
{
    return url.path().split(QLatin1Char('/')).mid(url.path().count(QLatin1Char('/')) + 1 - segments).join(QLatin1Char('/'));
}

// With MAVU_SCREENSHOT naming a file, the window is saved beside it with `suffix` (run under a
// display server with QT_QPA_PLATFORM=xcb to look at the result).
void saveShot(QQuickWindow &window, const QString &suffix)
{
    QString base = qEnvironmentVariable("MAVU_SCREENSHOT");
    if (base.isEmpty())
        return;
    if (base.endsWith(QLatin1String(".png")))
        base.chop(4);
    QTest::qWait(400); // the bars' fade
    QVERIFY(window.grabWindow().save(base + QLatin1Char('-') + suffix + QStringLiteral(".png")));
}

QString symbolOf(QQuickItem *button)
{
    return button->property("symbol").toString();
}

} // namespace

class TestPlayerScreen : public QObject
{
    Q_OBJECT

    // A store whose device service attaches the fake provider.
    static void startStore(ScreenFixture &f)
    {
        f.server.on(f.devicePath("playlist_information"),
                    FakeServer::Reply::json(R"({"urls":[")" + f.server.base().toUtf8() + R"(/get.php?username=user&password=pass"]})"));
        TestSupport::await(f.store->start());
        QVERIFY(f.store->hasPlaylist());
    }

    static QQuickItem *showPlayer(ScreenFixture &f)
    {
        return f.load(QStringLiteral("PlayerScreen.qml"),
                      {{QStringLiteral("url"), f.store->qmlNowPlayingURL()}, {QStringLiteral("title"), QStringLiteral("Fallback")}});
    }

    static QObject *screenState(ScreenFixture &f) { return f.root->findChild<QObject *>(QStringLiteral("playerScreenState")); }

    // A catch-up recording of `minutes` playing from its start.
    static void playCatchup(ScreenFixture &f, int minutes)
    {
        startStore(f);
        TestSupport::await(f.store->play(channel()));
        f.store->playCatchup(program(minutes));
        QVERIFY(f.store->hasCatchupURLBuilder());
        showPlayer(f);
    }

private Q_SLOTS:
    void initTestCase()
    {
        useSoftwareRendering();
        TestMedia::useDummyAudio();
    }

    void statusPanelWhileOpeningAndAfterFailure()
    {
        ScreenFixture f;
        startStore(f);
        FakeServer::Reply silent;
        silent.never = true;
        f.server.on(QStringLiteral("/movie/user/pass/1.mp4"), silent);
        TestSupport::await(f.store->play(movie(QStringLiteral("1"))));
        showPlayer(f);
        QVERIFY(ScreenFixture::shown(f.find(QStringLiteral("statusPanel"))));
        QCOMPARE(f.find(QStringLiteral("loadingText"))->property("text").toString(), QStringLiteral("Loading A Movie…"));
        QVERIFY(!ScreenFixture::shown(f.find(QStringLiteral("failureTitle"))));

        // An address that answers 404 ends in the failure panel.
        f.server.on(QStringLiteral("/movie/user/pass/2.mp4"), FakeServer::Reply::json("{}", 404));
        TestSupport::await(f.store->play(movie(QStringLiteral("2"))));
        f.root->setProperty("url", f.store->qmlNowPlayingURL());
        QTRY_VERIFY_WITH_TIMEOUT(ScreenFixture::shown(f.find(QStringLiteral("failureTitle"))), 20000);
        QVERIFY(ScreenFixture::shown(f.find(QStringLiteral("failureDetail"))));
        QVERIFY(!ScreenFixture::shown(f.find(QStringLiteral("loadingText"))));
        QCOMPARE(f.find(QStringLiteral("failureTitle"))->property("text").toString(), QStringLiteral("Couldn't play this stream"));

        // Retry, from the keyboard: the panel says "Loading…" again and the address opens anew.
        QQuickItem *retry = f.find(QStringLiteral("retryButton"));
        QVERIFY(ScreenFixture::shown(retry));
        QCOMPARE(retry->property("text").toString(), QStringLiteral("Retry"));
        const qsizetype requests = f.server.requestsTo(QStringLiteral("/movie/user/pass/2.mp4")).size();
        retry->forceActiveFocus(Qt::TabFocusReason);
        f.key(Qt::Key_Return);
        QVERIFY(ScreenFixture::shown(f.find(QStringLiteral("loadingText"))));
        QVERIFY(!ScreenFixture::shown(retry));
        QTRY_VERIFY_WITH_TIMEOUT(f.server.requestsTo(QStringLiteral("/movie/user/pass/2.mp4")).size() > requests, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(ScreenFixture::shown(f.find(QStringLiteral("failureTitle"))), 20000);
    }

    void titleFallsBackToTheShellsTitle()
    {
        ScreenFixture f;
        f.load(QStringLiteral("PlayerScreen.qml"), {{QStringLiteral("url"), TestMedia::refusedUrl()}, {QStringLiteral("title"), QStringLiteral("Fallback")}});
        QCOMPARE(f.find(QStringLiteral("titleText"))->property("text").toString(), QStringLiteral("Fallback"));
    }

    void clickTogglesTheChrome()
    {
        ScreenFixture f;
        f.load(QStringLiteral("PlayerScreen.qml"), {{QStringLiteral("url"), TestMedia::refusedUrl()}});
        QQuickItem *top = f.find(QStringLiteral("topBar"));
        QQuickItem *bottom = f.find(QStringLiteral("bottomBar"));
        QVERIFY(ScreenFixture::shown(top) && ScreenFixture::shown(bottom));
        QTest::mouseClick(&f.window, Qt::LeftButton, {}, QPoint(600, 380));
        QTRY_VERIFY(!top->isVisible() && !bottom->isVisible());
        QTest::mouseClick(&f.window, Qt::LeftButton, {}, QPoint(600, 380));
        QTRY_VERIFY(top->isVisible() && top->opacity() == 1 && bottom->isVisible());
    }

    void jumpSymbolsFollowTheMode()
    {
        ScreenFixture f;
        f.load(QStringLiteral("PlayerScreen.qml"), {{QStringLiteral("url"), TestMedia::refusedUrl()}});
        QCOMPARE(symbolOf(f.find(QStringLiteral("jumpBack"))), QStringLiteral("gobackward.30"));
        QCOMPARE(symbolOf(f.find(QStringLiteral("jumpForward"))), QStringLiteral("goforward.30"));

        ScreenFixture catchup;
        playCatchup(catchup, 30);
        QCOMPARE(symbolOf(catchup.find(QStringLiteral("jumpBack"))), QStringLiteral("gobackward.60"));
        QCOMPARE(symbolOf(catchup.find(QStringLiteral("jumpForward"))), QStringLiteral("goforward.60"));
        QCOMPARE(catchup.find(QStringLiteral("lengthLabel"))->property("text").toString(), QStringLiteral("30:00"));
    }

    // Seeking inside a recording restarts it at a whole minute, never in its last one.
    void catchupSeeks_data()
    {
        QTest::addColumn<double>("target");
        QTest::addColumn<QString>("tail"); // duration left / start / channel
        QTest::addColumn<double>("slider");
        QTest::newRow("past the end") << 2400.0 << "1/2024-05-01:20-29/7.m3u8" << 29.0 / 30;
        QTest::newRow("before the start") << -100.0 << "30/2024-05-01:20-00/7.m3u8" << 0.0;
        QTest::newRow("inside a minute") << 605.0 << "20/2024-05-01:20-10/7.m3u8" << 10.0 / 30;
        QTest::newRow("the last minute") << 1790.0 << "1/2024-05-01:20-29/7.m3u8" << 29.0 / 30;
    }

    void catchupSeeks()
    {
        QFETCH(double, target);
        ScreenFixture f;
        playCatchup(f, 30);
        QMetaObject::invokeMethod(screenState(f), "catchupSeek", Q_ARG(double, target));
        QTEST(tail(f.store->qmlNowPlayingURL(), 3), "tail");
        QTEST(screenState(f)->property("sliderValue").toDouble(), "slider");
        QVERIFY(f.store->hasCatchupURLBuilder()); // later seeks still count from the programme's start
    }

    void catchupJumpsAndTheSeekBar()
    {
        ScreenFixture f;
        playCatchup(f, 30);
        f.click(f.find(QStringLiteral("jumpForward")));
        QCOMPARE(tail(f.store->qmlNowPlayingURL(), 3), QStringLiteral("29/2024-05-01:20-01/7.m3u8"));
        QCOMPARE(screenState(f)->property("catchupBaseSec").toDouble(), 60.0);
        f.click(f.find(QStringLiteral("jumpBack")));
        QCOMPARE(tail(f.store->qmlNowPlayingURL(), 3), QStringLiteral("30/2024-05-01:20-00/7.m3u8"));

        // The end of a drag seeks to the bar's place.
        screenState(f)->setProperty("sliderValue", 0.5);
        QMetaObject::invokeMethod(screenState(f), "commitSeek");
        QCOMPARE(tail(f.store->qmlNowPlayingURL(), 3), QStringLiteral("15/2024-05-01:20-15/7.m3u8"));
    }

    // The seek bar is reached by Tab; an arrow key steps it and seeks at once.
    void seekBarByKey()
    {
        ScreenFixture f;
        playCatchup(f, 30);
        f.key(Qt::Key_Tab);
        f.key(Qt::Key_Tab);
        QCOMPARE(f.focusedName(), QStringLiteral("seekSlider"));
        f.key(Qt::Key_Right); // a tenth of the programme: three minutes
        QCOMPARE(tail(f.store->qmlNowPlayingURL(), 3), QStringLiteral("27/2024-05-01:20-03/7.m3u8"));
    }

    // With the bars hidden, a key brings them back before it does anything else.
    void keyBringsTheBarsBack()
    {
        ScreenFixture f;
        f.load(QStringLiteral("PlayerScreen.qml"), {{QStringLiteral("url"), TestMedia::refusedUrl()}});
        QTest::mouseClick(&f.window, Qt::LeftButton, {}, QPoint(600, 380));
        QTRY_VERIFY(!f.find(QStringLiteral("bottomBar"))->isVisible());
        f.key(Qt::Key_Tab);
        QTRY_VERIFY(f.find(QStringLiteral("bottomBar"))->isVisible());
        f.key(Qt::Key_Tab);
        QCOMPARE(f.focusedName(), QStringLiteral("backButton"));
    }

    // "?" lists the keys; Escape closes the list, then leaves full screen, and only then the player.
    void keysListAndEscapeOrder()
    {
        ScreenFixture f;
        startStore(f);
        FakeServer::Reply silent;
        silent.never = true;
        f.server.on(QStringLiteral("/movie/user/pass/1.mp4"), silent);
        TestSupport::await(f.store->play(movie(QStringLiteral("1"))));
        showPlayer(f);
        QQuickItem *overlay = f.find(QStringLiteral("keysOverlay"));
        QVERIFY(!ScreenFixture::shown(overlay));
        f.type(QStringLiteral("?"));
        QVERIFY(ScreenFixture::shown(overlay));
        f.type(QStringLiteral("?"));
        QVERIFY(!ScreenFixture::shown(overlay));
        f.type(QStringLiteral("?"));

        f.key(Qt::Key_F11);
        QTRY_COMPARE(f.window.visibility(), QWindow::FullScreen);
        QVERIFY(ScreenFixture::shown(overlay));
        f.key(Qt::Key_Escape);
        QVERIFY(!ScreenFixture::shown(overlay));
        QCOMPARE(f.window.visibility(), QWindow::FullScreen);
        f.key(Qt::Key_Escape);
        QTRY_VERIFY(f.window.visibility() != QWindow::FullScreen);
        QVERIFY(f.store->hasNowPlaying());
        f.key(Qt::Key_Escape);
        QVERIFY(!f.store->hasNowPlaying());
    }

    // Up and Down step the volume within 0…100; M silences, and a change of volume ends the silence.
    void volumeKeys()
    {
        ScreenFixture f;
        f.load(QStringLiteral("PlayerScreen.qml"), {{QStringLiteral("url"), TestMedia::refusedUrl()}});
        auto *controller = screenState(f)->property("controller").value<PlayerController *>();
        QCOMPARE(controller->volume(), 100);
        f.key(Qt::Key_Up);
        QCOMPARE(controller->volume(), 100);
        f.key(Qt::Key_Down);
        f.key(Qt::Key_Down);
        QCOMPARE(controller->volume(), 90);
        f.key(Qt::Key_M);
        QVERIFY(controller->muted());
        QCOMPARE(controller->volume(), 90);
        f.key(Qt::Key_Up);
        QVERIFY(!controller->muted());
        QCOMPARE(controller->volume(), 95);
        for (int i = 0; i < 25; ++i)
            f.key(Qt::Key_Down);
        QCOMPARE(controller->volume(), 0);
    }

    // A double-click fills the screen; there the bars and the pointer go after three seconds at
    // rest and come back when it moves. Leaving full screen brings them back for good.
    void fullScreenRest()
    {
        ScreenFixture f;
        f.load(QStringLiteral("PlayerScreen.qml"), {{QStringLiteral("url"), TestMedia::refusedUrl()}});
        QQuickItem *bottom = f.find(QStringLiteral("bottomBar"));
        QTest::mouseDClick(&f.window, Qt::LeftButton, {}, QPoint(600, 380));
        QTRY_COMPARE(f.window.visibility(), QWindow::FullScreen);
        QTest::mouseMove(&f.window, QPoint(500, 300));
        QTRY_VERIFY(bottom->isVisible() && bottom->opacity() == 1);
        QTRY_VERIFY_WITH_TIMEOUT(!bottom->isVisible(), 5000);
        QVERIFY(f.root->property("pointerResting").toBool());
        QTest::mouseMove(&f.window, QPoint(520, 320));
        QTRY_VERIFY(bottom->isVisible());
        QVERIFY(!f.root->property("pointerResting").toBool());

        QTRY_VERIFY_WITH_TIMEOUT(!bottom->isVisible(), 5000);
        f.key(Qt::Key_F); // the first key does its work even with the bars gone
        QTRY_VERIFY(f.window.visibility() != QWindow::FullScreen);
        QTRY_VERIFY(bottom->isVisible());
        QVERIFY(!f.root->property("pointerResting").toBool());
    }

    // The desktop's media controls follow the screen's player, and let go of it with the screen.
    void mediaSessionFollowsTheScreen()
    {
        ScreenFixture f;
        startStore(f);
        f.server.on(QStringLiteral("/movie/user/pass/1.ts"),
                    FakeServer::Reply::file(TestMedia::folder() + QStringLiteral("/clip.ts"), "video/mp2t"));
        TestSupport::await(f.store->play(movie(QStringLiteral("1"), QStringLiteral("ts"))));
        showPlayer(f);
        auto *controller = screenState(f)->property("controller").value<PlayerController *>();
        QTRY_VERIFY_WITH_TIMEOUT(controller->isPlaying(), 15000);
        QTRY_COMPARE(f.session->state().status, MediaSession::Status::Playing);
        if (!qEnvironmentVariableIsEmpty("MAVU_SCREENSHOT")) {
            f.type(QStringLiteral("?"));
            saveShot(f.window, QStringLiteral("keys"));
            f.key(Qt::Key_Escape);
            f.key(Qt::Key_F11);
            QTRY_COMPARE(f.window.visibility(), QWindow::FullScreen);
            QTest::mouseMove(&f.window, QPoint(400, 300));
            saveShot(f.window, QStringLiteral("fullscreen-chrome"));
            QTRY_VERIFY_WITH_TIMEOUT(!f.find(QStringLiteral("bottomBar"))->isVisible(), 5000);
            saveShot(f.window, QStringLiteral("fullscreen-bare"));
            f.key(Qt::Key_Escape);
        }
        f.key(Qt::Key_Space);
        QTRY_COMPARE_WITH_TIMEOUT(f.session->state().status, MediaSession::Status::Paused, 10000);
        delete f.root;
        f.root = nullptr;
        QTRY_COMPARE(f.session->state().status, MediaSession::Status::Stopped);
    }

    void backFromCatchupReturnsToLive()
    {
        ScreenFixture f;
        playCatchup(f, 30);
        f.click(f.find(QStringLiteral("backButton")));
        QCOMPARE(f.store->qmlNowPlayingURL().toString(), f.server.base() + QStringLiteral("/live/user/pass/7.ts"));
        QVERIFY(!f.store->hasCatchupURLBuilder());
        QCOMPARE(f.store->nowPlayingTitle(), QStringLiteral("News"));
    }

    void episodeStrip()
    {
        ScreenFixture f;
        startStore(f);
        f.server.onAction(QStringLiteral("get_series_info"), FakeServer::Reply::json(
            R"({"episodes":{"1":[{"id":"101","title":"Pilot","episode_num":1},{"id":"107","title":"","episode_num":7},{"id":"103","title":"Third","episode_num":3}]}})"));
        MediaItem show;
        show.id = QStringLiteral("55");
        show.setSeriesId(show.id);
        show.name = QStringLiteral("Show");
        show.kind = MediaItem::Kind::series;
        TestSupport::await(f.store->openDetail(show));
        QCOMPARE(f.store->seasonEpisodes().size(), 3);
        f.store->playEpisode(f.store->seasonEpisodes().at(2), show); // episode 7
        showPlayer(f);

        QQuickItem *strip = f.find(QStringLiteral("episodeStrip"));
        QVERIFY(ScreenFixture::shown(strip));
        QTRY_COMPARE(ScreenFixture::findAll(strip, QStringLiteral("chipText")).size(), 3);
        QStringList texts;
        QList<QQuickItem *> chips = ScreenFixture::findAll(strip, QStringLiteral("episodeChip"));
        std::sort(chips.begin(), chips.end(), [](QQuickItem *a, QQuickItem *b) { return a->x() < b->x(); });
        for (QQuickItem *chip : chips)
            texts.append(ScreenFixture::findAll(chip, QStringLiteral("chipText")).first()->property("text").toString());
        QCOMPARE(texts, QStringList({"Pilot", "Third", "E7"}));
        QCOMPARE(chips[2]->property("color").value<QColor>(), QColor(0xF6, 0xC4, 0x45)); // the playing one
        QVERIFY(qAbs(chips[0]->property("color").value<QColor>().alphaF() - 0.12) < 0.01);

        f.click(chips[0]);
        QCOMPARE(f.store->nowPlayingEpisode()->id, QStringLiteral("101"));
        QTRY_COMPARE(chips[0]->property("color").value<QColor>(), QColor(0xF6, 0xC4, 0x45));
        QCOMPARE(f.store->qmlNowPlayingURL().toString(), f.server.base() + QStringLiteral("/series/user/pass/101.mp4"));
    }

    void noEpisodeStripForMovies()
    {
        ScreenFixture f;
        f.load(QStringLiteral("PlayerScreen.qml"), {{QStringLiteral("url"), TestMedia::refusedUrl()}});
        QVERIFY(!ScreenFixture::shown(f.find(QStringLiteral("episodeStrip"))));
    }

    void menusListTheirEntries()
    {
        ScreenFixture f;
        f.load(QStringLiteral("PlayerScreen.qml"), {{QStringLiteral("url"), TestMedia::refusedUrl()}});
        const auto entries = [&](const char *menu) {
            QStringList texts;
            QObject *popup = f.find(QLatin1String(menu))->findChild<QObject *>(QStringLiteral("menu"));
            auto *content = popup->property("contentModel").value<QObject *>();
            const int count = content->property("count").toInt();
            for (int i = 0; i < count; ++i) {
                QObject *item = nullptr;
                QMetaObject::invokeMethod(content, "get", Q_RETURN_ARG(QObject *, item), Q_ARG(int, i));
                if (item)
                    texts.append(item->property("text").toString());
            }
            return texts;
        };
        QCOMPARE(entries("audioMenu"), QStringList({"No audio tracks"}));
        QCOMPARE(entries("subtitleMenu"), QStringList({"No subtitles"}));
        QCOMPARE(entries("aspectMenu"), QStringList({"Default", "Fill", "16:9", "16:10", "4:3", "3:2"}));
    }

    void tracksOfAPlayingClip()
    {
        ScreenFixture f;
        startStore(f);
        f.server.on(QStringLiteral("/movie/user/pass/1.ts"),
                    FakeServer::Reply::file(TestMedia::folder() + QStringLiteral("/clip.ts"), "video/mp2t"));
        TestSupport::await(f.store->play(movie(QStringLiteral("1"), QStringLiteral("ts"))));
        showPlayer(f);
        QObject *popup = f.find(QStringLiteral("audioMenu"))->findChild<QObject *>(QStringLiteral("menu"));
        // Two audio tracks: two entries and no "No audio tracks".
        QTRY_VERIFY_WITH_TIMEOUT(popup->property("count").toInt() >= 2, 20000);
        QVERIFY(!f.find(QStringLiteral("audioMenu"))->findChild<QObject *>(QStringLiteral("emptyEntry")));
    }
};

QTEST_MAIN(TestPlayerScreen)
#include "tst_playerscreen.moc"
