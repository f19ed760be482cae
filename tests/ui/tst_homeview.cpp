#include "screenfixture.h"

#include <QFontMetricsF>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(MavuPlugin)
Q_IMPORT_QML_PLUGIN(Mavu_CorePlugin)

namespace {

QByteArray statusWith(const QString &base, const QByteArray &languages)
{
    return R"({"urls":[")" + base.toUtf8() + R"(/get.php?username=user&password=pass"],"languages":)" + languages + "}";
}

QByteArray movies(int count, const QByteArray &icon = "")
{
    QByteArray rows = "[";
    for (int i = 0; i < count; ++i) {
        rows += (i ? "," : "") + QByteArray(R"({"stream_id":)") + QByteArray::number(i) + R"(,"name":"Movie )"
                + QByteArray::number(i) + R"(","added":")" + QByteArray::number(1700000000 + i) + R"(","stream_icon":")" + icon
                + R"("})";
    }
    return rows + "]";
}

QString textOf(ScreenFixture &f, const char *holder, const char *part)
{
    return f.find(QLatin1String(holder))->findChild<QObject *>(QLatin1String(part))->property("text").toString();
}

// The name of the poster that has the keyboard focus, or the focused item's objectName.
QString focusedName(ScreenFixture &f)
{
    QQuickItem *item = f.focused();
    if (item && item->property("item").isValid())
        return item->property("item").value<MediaItem>().name;
    return f.focusedName();
}

QStringList rowNames(QQuickItem *row)
{
    QStringList names;
    for (QQuickItem *child : ScreenFixture::findAll(row, QStringLiteral("posterName")))
        names.append(child->property("text").toString());
    return names;
}

} // namespace

class TestHomeView : public QObject
{
    Q_OBJECT

    // A store started against the fake device service, which attaches the fake provider.
    static void startStore(ScreenFixture &f, const QByteArray &languages = "[]")
    {
        f.server.on(f.devicePath("playlist_information"), FakeServer::Reply::json(statusWith(f.server.base(), languages)));
        TestSupport::await(f.store->start());
        QVERIFY(f.store->hasPlaylist());
    }

    // Home shown with posters in both rows.
    static void showWithPosters(ScreenFixture &f)
    {
        startStore(f);
        f.server.onAction(QStringLiteral("get_vod_streams"), FakeServer::Reply::json(movies(3)));
        f.server.onAction(QStringLiteral("get_series"), FakeServer::Reply::json(
            R"([{"series_id":1,"name":"Show A","last_modified":"1700000001"},{"series_id":2,"name":"Show B","last_modified":"1700000002"}])"));
        f.load(QStringLiteral("HomeView.qml"));
        TestSupport::await(f.store->loadLatest());
        QTRY_COMPARE(rowNames(f.find(QStringLiteral("latestSeriesRow"))).size(), 2);
    }

private Q_SLOTS:
    void initTestCase() { useSoftwareRendering(); }

    void titlesComeFromTheChosenLanguage()
    {
        ScreenFixture f;
        startStore(f, R"([{"code":"en","name":"English","words":{"movies":"Filme","live_tv":" \n","latest_movies":"Neue Filme"}}])");
        f.load(QStringLiteral("HomeView.qml"));
        const auto title = [&](const char *card) {
            return f.find(QLatin1String(card))->findChild<QObject *>(QStringLiteral("menuTitle"))->property("text").toString();
        };
        QCOMPARE(title("menuMovies"), QStringLiteral("Filme"));
        QCOMPARE(title("menuLive"), QStringLiteral("Live TV")); // a blank word falls back
        QCOMPARE(title("menuSeries"), QStringLiteral("TV Shows"));
        QCOMPARE(title("menuSettings"), QStringLiteral("Settings"));
        const auto rowTitle = [&](const char *row) {
            return f.find(QLatin1String(row))->findChild<QObject *>(QStringLiteral("rowTitle"))->property("text").toString();
        };
        QCOMPARE(rowTitle("latestMoviesRow"), QStringLiteral("Neue Filme"));
        QCOMPARE(rowTitle("latestSeriesRow"), QStringLiteral("Latest TV Shows"));
    }

    // The words may arrive, or change with the language, while the screen is up: every worded
    // title follows at once.
    void titlesFollowTheWords_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("words arrive after showing") << "arrive";
        QTest::newRow("language chosen") << "language";
    }

    void titlesFollowTheWords()
    {
        QFETCH(QString, change);
        ScreenFixture f;
        const QByteArray german = R"({"code":"de","name":"Deutsch","words":{"movies":"Filme","settings":"Einstellungen",)"
                                  R"("latest_movies":"Neue Filme","latest_tv_shows":"Neue Serien"}})";
        startStore(f, change == QLatin1String("language") ? R"([{"code":"en","name":"English","words":{}},)" + german + "]" : "[]");
        f.load(QStringLiteral("HomeView.qml"));
        QCOMPARE(textOf(f, "menuMovies", "menuTitle"), QStringLiteral("Movies"));
        QCOMPARE(textOf(f, "latestMoviesRow", "rowTitle"), QStringLiteral("Latest Movies"));

        if (change == QLatin1String("arrive")) {
            f.store->setLanguageCode(QStringLiteral("de"));
            f.server.on(f.devicePath("playlist_information"), FakeServer::Reply::json(statusWith(f.server.base(), "[" + german + "]")));
            TestSupport::await(f.store->refresh());
            QTRY_VERIFY(!f.store->languages().isEmpty());
        } else {
            f.store->setLanguageCode(QStringLiteral("de"));
        }
        QCOMPARE(textOf(f, "menuMovies", "menuTitle"), QStringLiteral("Filme"));
        QCOMPARE(textOf(f, "menuSettings", "menuTitle"), QStringLiteral("Einstellungen"));
        QCOMPARE(textOf(f, "menuLive", "menuTitle"), QStringLiteral("Live TV"));
        QCOMPARE(textOf(f, "latestMoviesRow", "rowTitle"), QStringLiteral("Neue Filme"));
        QCOMPARE(textOf(f, "latestSeriesRow", "rowTitle"), QStringLiteral("Neue Serien"));
    }

    // Names and words are shown as the characters they are: no markup, no image fetched.
    void providerTextIsPlain()
    {
        ScreenFixture f;
        // Rich text would fetch that image from the fake server.
        const QByteArray markup = "<b>x</b><img src=" + f.server.base().toUtf8() + "/x.png>";
        startStore(f, R"([{"code":"en","name":"English","words":{"latest_movies":")" + markup + R"("}}])");
        f.server.onAction(QStringLiteral("get_vod_streams"),
                          FakeServer::Reply::json(R"([{"stream_id":1,"name":")" + markup + R"(","added":"1700000000"}])"));
        f.load(QStringLiteral("HomeView.qml"));
        TestSupport::await(f.store->loadLatest());
        const QString literal = QString::fromUtf8(markup);

        QQuickItem *title = f.find(QStringLiteral("latestMoviesRow"))->findChild<QQuickItem *>(QStringLiteral("rowTitle"));
        QCOMPARE(title->property("text").toString(), literal);
        const QFontMetricsF metrics(title->property("font").value<QFont>());
        QVERIFY(qAbs(title->property("contentWidth").toReal() - metrics.horizontalAdvance(literal)) < 2);

        QQuickItem *row = f.find(QStringLiteral("latestMoviesRow"));
        QTRY_COMPARE(ScreenFixture::findAll(row, QStringLiteral("posterName")).size(), 1);
        QQuickItem *name = ScreenFixture::findAll(row, QStringLiteral("posterName")).first();
        QCOMPARE(name->property("text").toString(), literal);
        QVERIFY(name->property("truncated").toBool()); // all those characters do not fit in a poster's width
        QTest::qWait(300);
        QVERIFY(f.server.requestsTo(QStringLiteral("/x.png")).isEmpty());
    }

    // Tab: the four cards, the search field, then each row as one stop at its current poster. Arrows: within the
    // menu, along a row, between the rows and back to the menu.
    void keyboardWalksTheScreen()
    {
        ScreenFixture f;
        showWithPosters(f);
        QStringList order;
        for (int i = 0; i < 8; ++i) {
            f.key(Qt::Key_Tab);
            order.append(focusedName(f));
        }
        QCOMPARE(order, QStringList({"menuLive", "menuMovies", "menuSeries", "menuSettings", "searchInput", "Movie 2", "Show B",
                                     "menuLive"}));
        f.key(Qt::Key_Backtab);
        QCOMPARE(focusedName(f), QStringLiteral("Show B"));

        const QList<std::pair<Qt::Key, QString>> moves{
            {Qt::Key_Up, "Movie 2"},       {Qt::Key_Right, "Movie 1"},    {Qt::Key_Right, "Movie 0"},
            {Qt::Key_Right, "Movie 0"},    {Qt::Key_Down, "Show B"},      {Qt::Key_Left, "menuSeries"},
            {Qt::Key_Up, "menuMovies"},    {Qt::Key_Right, "Movie 0"},    {Qt::Key_Left, "Movie 1"},
            {Qt::Key_Left, "Movie 2"},     {Qt::Key_Left, "menuMovies"},  {Qt::Key_Down, "menuSeries"},
            {Qt::Key_Down, "menuSettings"}, {Qt::Key_Down, "menuSettings"},
        };
        for (const auto &[key, expected] : moves) {
            f.key(key);
            QCOMPARE(focusedName(f), expected);
            QVERIFY2(f.focused()->findChild<QQuickItem *>(QStringLiteral("focusRing"))->isVisible(), qPrintable(expected));
        }
    }

    // In a short window the row that takes the keyboard scrolls into view.
    void focusedRowScrollsIntoView()
    {
        ScreenFixture f;
        f.window.resize(820, 520);
        showWithPosters(f);
        QQuickItem *row = f.find(QStringLiteral("latestSeriesRow"));
        const auto inView = [&] {
            const QPointF top = row->mapToScene(QPointF(0, 0));
            return top.y() >= 0 && top.y() + row->height() <= f.window.height();
        };
        QTRY_VERIFY(!inView());
        for (int i = 0; i < 7; ++i)
            f.key(Qt::Key_Tab);
        QCOMPARE(focusedName(f), QStringLiteral("Show B"));
        QTRY_VERIFY(inView());
        f.key(Qt::Key_Up);
        QTRY_VERIFY(ScreenFixture::shown(f.find(QStringLiteral("latestMoviesRow"))));
        QVERIFY(f.find(QStringLiteral("latestMoviesRow"))->mapToScene(QPointF(0, 0)).y() >= 0);
    }

    void keysActivate_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("Return") << int(Qt::Key_Return);
        QTest::newRow("Enter") << int(Qt::Key_Enter);
        QTest::newRow("Space") << int(Qt::Key_Space);
    }

    void keysActivate()
    {
        QFETCH(int, key);
        ScreenFixture f;
        showWithPosters(f);
        // A poster plays.
        for (int i = 0; i < 6; ++i)
            f.key(Qt::Key_Tab);
        f.key(Qt::Key(key));
        QCOMPARE(f.store->qmlNowPlaying().name, QStringLiteral("Movie 2"));
        f.store->stop();

        // The settings card opens the sheet; Escape closes it and gives the card its focus back.
        f.key(Qt::Key_Backtab);
        QCOMPARE(f.focusedName(), QStringLiteral("searchInput"));
        f.key(Qt::Key_Backtab);
        QCOMPARE(f.focusedName(), QStringLiteral("menuSettings"));
        f.key(Qt::Key(key));
        QVERIFY(ScreenFixture::shown(f.find(QStringLiteral("settingsSheet"))));
        QTRY_COMPARE(f.focusedName(), QStringLiteral("rowParental"));
        f.key(Qt::Key_Backtab);
        QCOMPARE(f.focusedName(), QStringLiteral("settingsDone")); // Tab stays inside the sheet
        f.key(Qt::Key_Backtab);
        QCOMPARE(f.focusedName(), QStringLiteral("rowLanguage"));
        f.key(Qt::Key_Escape);
        QVERIFY(!ScreenFixture::shown(f.find(QStringLiteral("settingsSheet"))));
        QCOMPARE(f.focusedName(), QStringLiteral("menuSettings"));

        // A section card opens its section.
        f.key(Qt::Key_Up);
        f.key(Qt::Key_Up);
        f.key(Qt::Key(key));
        QCOMPARE(f.store->phase(), AppStore::Phase::section);
        QCOMPARE(f.store->section(), Section::movies);
    }

    // The ring shows for keyboard focus only, not after a click.
    void focusRingOnlyFromTheKeyboard()
    {
        ScreenFixture f;
        showWithPosters(f);
        QQuickItem *card = f.find(QStringLiteral("menuSettings"));
        QQuickItem *ring = card->findChild<QQuickItem *>(QStringLiteral("focusRing"));
        f.click(card);
        f.key(Qt::Key_Escape);
        QVERIFY(card->hasActiveFocus());
        QVERIFY(!ring->isVisible());
        f.key(Qt::Key_Up);
        f.key(Qt::Key_Down);
        QVERIFY(card->hasActiveFocus());
        QVERIFY(ring->isVisible());
    }

    // While the library loads with both lists empty: both rows spin and the overlay shows.
    // Afterwards a row with posters shows them, and a row that stayed empty shows a dash.
    void loadingStates()
    {
        ScreenFixture f;
        startStore(f);
        FakeServer::Reply vods = FakeServer::Reply::json(movies(12));
        vods.delay = std::chrono::milliseconds(600);
        f.server.onAction(QStringLiteral("get_vod_streams"), vods);
        f.server.onAction(QStringLiteral("get_series"), FakeServer::Reply::json("[]"));
        f.load(QStringLiteral("HomeView.qml"));
        QQuickItem *overlay = f.find(QStringLiteral("loadingOverlay"));
        QQuickItem *movieRow = f.find(QStringLiteral("latestMoviesRow"));
        QQuickItem *seriesRow = f.find(QStringLiteral("latestSeriesRow"));
        const auto part = [](QQuickItem *row, const char *name) {
            return ScreenFixture::shown(row->findChild<QQuickItem *>(QLatin1String(name)));
        };
        QVERIFY(!ScreenFixture::shown(overlay));
        QVERIFY(part(seriesRow, "rowEmpty")); // nothing loading yet: a dash

        f.store->runEnterBrowse();
        QTRY_VERIFY(f.store->loadingHome());
        QVERIFY(ScreenFixture::shown(overlay));
        QVERIFY(part(movieRow, "rowSpinner") && part(seriesRow, "rowSpinner"));
        QVERIFY(!part(movieRow, "rowEmpty"));

        QTRY_VERIFY(!f.store->loadingHome());
        QVERIFY(!ScreenFixture::shown(overlay));
        QVERIFY(part(movieRow, "posterList") && !part(movieRow, "rowSpinner"));
        QTRY_COMPARE(rowNames(movieRow).value(0), QStringLiteral("Movie 11")); // newest first
        QVERIFY(part(seriesRow, "rowEmpty") && !part(seriesRow, "rowSpinner"));
        QCOMPARE(seriesRow->findChild<QObject *>(QStringLiteral("rowEmpty"))->property("text").toString(), QStringLiteral("—"));
    }

    // A catalogue that failed shows why in both rows, with Retry in place of the dash; Retry
    // (by keyboard) loads the rows.
    void failedRowsSayWhyAndRetry()
    {
        ScreenFixture f;
        startStore(f);
        f.server.onAction(QStringLiteral("get_vod_streams"), FakeServer::Reply::json("{}", 502));
        f.server.onAction(QStringLiteral("get_series"), FakeServer::Reply::json("[]"));
        f.load(QStringLiteral("HomeView.qml"));
        f.store->runEnterBrowse();
        QTRY_VERIFY(f.store->failures()->homeFailure().failed());
        QTRY_VERIFY(!f.store->loadingHome());
        QQuickItem *movieRow = f.find(QStringLiteral("latestMoviesRow"));
        QQuickItem *seriesRow = f.find(QStringLiteral("latestSeriesRow"));
        for (QQuickItem *row : {movieRow, seriesRow}) {
            QQuickItem *panel = row->findChild<QQuickItem *>(QStringLiteral("rowFailure"));
            QVERIFY(ScreenFixture::shown(panel));
            QVERIFY(!ScreenFixture::shown(row->findChild<QQuickItem *>(QStringLiteral("rowEmpty"))));
            QCOMPARE(panel->findChild<QQuickItem *>(QStringLiteral("failureText"))->property("text").toString(),
                     QStringLiteral("The server ran into a problem (error 502)."));
        }

        f.server.onAction(QStringLiteral("get_vod_streams"), FakeServer::Reply::json(movies(3)));
        QQuickItem *retry = movieRow->findChild<QQuickItem *>(QStringLiteral("retryButton"));
        retry->forceActiveFocus(Qt::TabFocusReason);
        f.key(Qt::Key_Return);
        QTRY_COMPARE(rowNames(movieRow).size(), 3);
        QVERIFY(!ScreenFixture::shown(movieRow->findChild<QQuickItem *>(QStringLiteral("rowFailure"))));
        QVERIFY(ScreenFixture::shown(seriesRow->findChild<QQuickItem *>(QStringLiteral("rowEmpty"))));
    }

    void postersWithoutPicturesShowThePlaceholder()
    {
        ScreenFixture f;
        startStore(f);
        f.server.onAction(QStringLiteral("get_vod_streams"), FakeServer::Reply::json(movies(2, "http:\\/\\/127.0.0.1:1\\/none.jpg")));
        for (int poster = 0; poster < 2; ++poster)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("QQuickImage: Connection refused")));
        f.load(QStringLiteral("HomeView.qml"));
        TestSupport::await(f.store->loadLatest());
        QQuickItem *row = f.find(QStringLiteral("latestMoviesRow"));
        QTRY_COMPARE(ScreenFixture::findAll(row, QStringLiteral("posterImage")).size(), 2);
        for (QQuickItem *image : ScreenFixture::findAll(row, QStringLiteral("posterImage")))
            QTRY_COMPARE(image->property("status").toInt(), 3); // Image.Error
        const auto placeholders = ScreenFixture::findAll(row, QStringLiteral("posterPlaceholder"));
        QCOMPARE(placeholders.size(), 2);
        for (QQuickItem *placeholder : placeholders)
            QVERIFY(ScreenFixture::shown(placeholder));
    }

    void expiryLineAndSettingsSheet()
    {
        ScreenFixture f;
        startStore(f);
        f.server.on(QStringLiteral("/player_api.php"), FakeServer::Reply::json(R"({"user_info":{"exp_date":null}})"));
        f.load(QStringLiteral("HomeView.qml"));
        TestSupport::await(f.store->loadLatest());
        QTRY_COMPARE(f.find(QStringLiteral("expiryText"))->property("text").toString(), QStringLiteral("Your playlist expires: Unlimited"));

        QQuickItem *sheet = f.find(QStringLiteral("settingsSheet"));
        QVERIFY(!ScreenFixture::shown(sheet));
        f.click(f.find(QStringLiteral("menuSettings")));
        QVERIFY(ScreenFixture::shown(sheet));
        f.click(f.find(QStringLiteral("settingsDone")));
        QVERIFY(!ScreenFixture::shown(sheet));
    }
};

QTEST_MAIN(TestHomeView)
#include "tst_homeview.moc"
