// The live section over a store against the fake provider: the channel list and its marks, the
// preview pane's info panel and buttons, zapping by key, a channel that fails, and the catch-up
// panel's states, days and way back.
#include "screenfixture.h"
#include "../player/testmedia.h"

#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(MavuPlugin)
Q_IMPORT_QML_PLUGIN(Mavu_CorePlugin)

namespace {

struct Channel
{
    int id;
    qint64 num = 0;
    bool archive = false;
    const char *category = "1";
};

QByteArray channelsJson(const QList<Channel> &channels)
{
    QJsonArray rows;
    for (const Channel &channel : channels) {
        rows.append(QJsonObject{{"stream_id", channel.id},
                                {"name", QStringLiteral("Channel %1").arg(channel.id)},
                                {"num", channel.num},
                                {"category_id", channel.category},
                                {"tv_archive", channel.archive ? 1 : 0},
                                {"tv_archive_duration", channel.archive ? 3 : 0}});
    }
    return QJsonDocument(rows).toJson(QJsonDocument::Compact);
}

// Programmes "P0", "P1", … that started `hoursAgo[i]` hours ago, half an hour each.
QByteArray guideJson(const QList<double> &hoursAgo)
{
    QJsonArray rows;
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    for (int i = 0; i < hoursAgo.size(); ++i) {
        const qint64 start = now - qint64(hoursAgo[i] * 3600);
        const QString text = QDateTime::fromSecsSinceEpoch(start).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        rows.append(QJsonObject{{"id", QString::number(i + 1)},
                                {"title", QString::fromLatin1(QStringLiteral("P%1").arg(i).toUtf8().toBase64())},
                                {"start", text},
                                {"end", text},
                                {"start_timestamp", QString::number(start)},
                                {"stop_timestamp", QString::number(start + 1800)}});
    }
    return QJsonDocument(QJsonObject{{"epg_listings", rows}}).toJson(QJsonDocument::Compact);
}

} // namespace

class TestLiveView : public QObject
{
    Q_OBJECT

    // The live section with one category of `channels`, its first channel playing.
    static void openLive(ScreenFixture &f, const QList<Channel> &channels, const QByteArray &shortGuide = guideJson({}),
                         const QByteArray &categories = R"([{"category_id":"1","category_name":"News"}])")
    {
        f.startAttached();
        TestSupport::await(f.store->enterBrowse());
        f.server.onAction(QStringLiteral("get_live_categories"), FakeServer::Reply::json(categories));
        f.server.onAction(QStringLiteral("get_live_streams"), FakeServer::Reply::json(channelsJson(channels)));
        f.server.onAction(QStringLiteral("get_short_epg"), FakeServer::Reply::json(shortGuide));
        TestSupport::await(f.store->openSection(Section::live));
        f.load(QStringLiteral("SectionView.qml"));
        QTRY_VERIFY(!channelRows(f).isEmpty());
    }

    static QList<QQuickItem *> channelRows(ScreenFixture &f) { return ScreenFixture::findAll(f.root, QStringLiteral("channelRow")); }

    static QQuickItem *channelRow(ScreenFixture &f, const QString &name)
    {
        for (QQuickItem *row : channelRows(f)) {
            if (row->property("item").value<MediaItem>().name == name)
                return row;
        }
        return nullptr;
    }

    static QQuickItem *rowAt(QQuickItem *list, int index)
    {
        QQuickItem *row = nullptr;
        QMetaObject::invokeMethod(list, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, row), Q_ARG(int, index));
        return row;
    }

    static bool shown(ScreenFixture &f, const char *name)
    {
        return ScreenFixture::shown(f.find<QQuickItem>(QLatin1String(name)));
    }

    static int shownCount(ScreenFixture &f, const char *name)
    {
        int count = 0;
        for (QQuickItem *item : ScreenFixture::findAll(f.root, QLatin1String(name)))
            count += ScreenFixture::shown(item) ? 1 : 0;
        return count;
    }

    // The preview's player; none while the placeholder shows.
    static QQuickItem *player(ScreenFixture &f)
    {
        const QList<QQuickItem *> players = ScreenFixture::findAll(f.root, QStringLiteral("previewPlayer"));
        return players.isEmpty() ? nullptr : players.first();
    }

    static QString playing(ScreenFixture &f) { return f.store->hasNowPlaying() ? f.store->nowPlaying()->name : QString(); }

    static QString statusText(ScreenFixture &f)
    {
        return shown(f, "liveStatus") ? f.find<QQuickItem>(QStringLiteral("previewStatus"))->property("text").toString() : QString();
    }

private Q_SLOTS:
    void initTestCase()
    {
        useSoftwareRendering();
        TestMedia::useDummyAudio();
    }

    // The provider's number when it has one, else the place in the list; a clock for an archive,
    // a star for a favourite; the channel that plays is the selected row.
    void channelRows()
    {
        ScreenFixture f;
        openLive(f, {{.id = 1}, {.id = 2}, {.id = 3, .archive = true}, {.id = 4, .num = 120}});
        QTRY_COMPARE(playing(f), QStringLiteral("Channel 1"));
        f.store->toggleFavorite(*f.store->itemsModel()->items().begin());
        const QList<std::tuple<QString, QString, bool, bool, bool>> expected{
            {"Channel 1", "1", false, true, true},
            {"Channel 2", "2", false, false, false},
            {"Channel 3", "3", true, false, false},
            {"Channel 4", "120", false, false, false},
        };
        for (const auto &[name, number, archive, favorite, selected] : expected) {
            QQuickItem *row = channelRow(f, name);
            QVERIFY2(row, qPrintable(name));
            QCOMPARE(row->findChild<QQuickItem *>(QStringLiteral("channelNumber"))->property("text").toString(), number);
            QCOMPARE(row->findChild<QQuickItem *>(QStringLiteral("archiveMark"))->isVisible(), archive);
            QTRY_COMPARE(row->findChild<QQuickItem *>(QStringLiteral("favoriteMark"))->isVisible(), favorite);
            QCOMPARE(row->property("selected").toBool(), selected);
        }
        f.click(channelRow(f, QStringLiteral("Channel 3")));
        QTRY_COMPARE(playing(f), QStringLiteral("Channel 3"));
        QVERIFY(channelRow(f, QStringLiteral("Channel 3"))->property("selected").toBool());
        QVERIFY(!channelRow(f, QStringLiteral("Channel 1"))->property("selected").toBool());
    }

    void guideLines_data()
    {
        QTest::addColumn<QList<double>>("guide");
        QTest::addColumn<int>("lines");
        QTest::newRow("none") << QList<double>{} << 0;
        QTest::newRow("now and next") << QList<double>{0.2, -0.3} << 2;
        QTest::newRow("three") << QList<double>{0.2, -0.3, -0.8} << 3;
        QTest::newRow("five, three shown") << QList<double>{0.2, -0.3, -0.8, -1.3, -1.8} << 3;
    }

    void guideLines()
    {
        QFETCH(QList<double>, guide);
        QFETCH(int, lines);
        ScreenFixture f;
        openLive(f, {{.id = 1}}, guideJson(guide));
        QTRY_COMPARE(shownCount(f, "guideLine"), lines);
        QCOMPARE(shown(f, "noGuide"), lines == 0);
        QCOMPARE(f.find<QQuickItem>(QStringLiteral("liveTitle"))->property("text").toString(), QStringLiteral("Channel 1"));
    }

    // Catch Up only for a channel with an archive, the favourite button only while something
    // plays; with nothing playing the title line stays as a blank line and the placeholder shows.
    void buttonsFollowWhatPlays()
    {
        ScreenFixture f;
        openLive(f, {{.id = 1}, {.id = 2, .archive = true}});
        QTRY_COMPARE(playing(f), QStringLiteral("Channel 1"));
        auto *favorite = f.find<QQuickItem>(QStringLiteral("favoriteButton"));
        auto *title = f.find<QQuickItem>(QStringLiteral("liveTitle"));
        const qreal titleHeight = title->height();
        QVERIFY(!shown(f, "catchupButton"));
        QVERIFY(ScreenFixture::shown(favorite));
        QCOMPARE(favorite->property("text").toString(), QStringLiteral("Add Favorite"));
        f.click(favorite);
        QCOMPARE(favorite->property("text").toString(), QStringLiteral("Remove Favorite"));
        QVERIFY(f.store->isFavorite(*f.store->nowPlaying()));

        f.click(channelRow(f, QStringLiteral("Channel 2")));
        QTRY_VERIFY(shown(f, "catchupButton"));
        QCOMPARE(favorite->property("text").toString(), QStringLiteral("Add Favorite"));
        QVERIFY(!shown(f, "selectChannel"));

        f.store->stop();
        QTRY_VERIFY(!shown(f, "favoriteButton"));
        QVERIFY(!shown(f, "catchupButton"));
        QVERIFY(shown(f, "selectChannel"));
        QVERIFY(!player(f));
        QCOMPARE(title->property("text").toString(), QStringLiteral(" "));
        QCOMPARE(title->height(), titleHeight);
    }

    // Up/Down and Page Up/Page Down on the preview play the neighbouring channel, and stop at
    // either end of the list.
    void zapping_data()
    {
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<QString>("ends");
        QTest::newRow("down") << QList<int>{Qt::Key_Down} << "Channel 2";
        QTest::newRow("up at the top stays") << QList<int>{Qt::Key_Up} << "Channel 1";
        QTest::newRow("down past the end stays") << QList<int>{Qt::Key_Down, Qt::Key_Down, Qt::Key_Down} << "Channel 3";
        QTest::newRow("page down, page up") << QList<int>{Qt::Key_PageDown, Qt::Key_PageDown, Qt::Key_PageUp} << "Channel 2";
    }

    void zapping()
    {
        QFETCH(QList<int>, keys);
        QFETCH(QString, ends);
        ScreenFixture f;
        openLive(f, {{.id = 1}, {.id = 2}, {.id = 3}});
        QTRY_COMPARE(playing(f), QStringLiteral("Channel 1"));
        f.find<QQuickItem>(QStringLiteral("livePreview"))->forceActiveFocus(Qt::TabFocusReason);
        for (int key : keys) {
            f.key(Qt::Key(key));
            QTest::qWait(20);
        }
        QTRY_COMPARE(playing(f), ends);
        QCOMPARE(f.focusedName(), QStringLiteral("livePreview"));
        QCOMPARE(player(f)->property("url").toUrl(), f.store->nowPlayingURL().value());
    }

    // Enter, F and a double-click make the preview fill the window: the very player that
    // played grows over the columns, which come back on Escape after full screen has gone.
    // Zapping goes on while filled.
    void previewFillsTheWindow_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<bool>("filled");
        QTest::addColumn<bool>("fullScreen");
        QTest::addColumn<QString>("plays");
        QTest::newRow("enter") << QStringList{"enter"} << true << false << "Channel 1";
        QTest::newRow("f") << QStringList{"f"} << true << true << "Channel 1";
        QTest::newRow("double-click") << QStringList{"dbl"} << true << true << "Channel 1";
        QTest::newRow("escape leaves full screen first") << QStringList{"f", "esc"} << true << false << "Channel 1";
        QTest::newRow("then the columns come back") << QStringList{"f", "esc", "esc"} << false << false << "Channel 1";
        QTest::newRow("zapping while filled") << QStringList{"enter", "down", "down", "up"} << true << false << "Channel 2";
    }

    void previewFillsTheWindow()
    {
        QFETCH(QStringList, steps);
        QFETCH(bool, filled);
        QFETCH(bool, fullScreen);
        QFETCH(QString, plays);
        ScreenFixture f;
        openLive(f, {{.id = 1}, {.id = 2}, {.id = 3}});
        QTRY_COMPARE(playing(f), QStringLiteral("Channel 1"));
        QTRY_VERIFY(player(f));
        const QPointer<QQuickItem> first = player(f);
        QQuickItem *preview = f.find<QQuickItem>(QStringLiteral("livePreview"));
        preview->forceActiveFocus(Qt::TabFocusReason);
        const QHash<QString, Qt::Key> keys{{"enter", Qt::Key_Return}, {"f", Qt::Key_F}, {"esc", Qt::Key_Escape},
                                           {"down", Qt::Key_Down}, {"up", Qt::Key_Up}};
        for (const QString &step : steps) {
            if (step == QLatin1String("dbl")) // away from the status panel in the middle
                QTest::mouseDClick(&f.window, Qt::LeftButton, {}, preview->mapToScene(QPointF(30, 30)).toPoint());
            else
                f.key(keys.value(step));
            // The window manager answers full screen in its own time.
            QTest::qWait(50);
        }
        QTRY_COMPARE(f.window.visibility() == QWindow::FullScreen, fullScreen);
        QTRY_COMPARE(playing(f), plays);
        QCOMPARE(f.find<QQuickItem>(QStringLiteral("livePlayerPane"))->property("filled").toBool(), filled);
        QCOMPARE(shown(f, "liveMiddleColumn"), !filled);
        QCOMPARE(shown(f, "categoryColumn"), !filled);
        QQuickItem *video = preview;
        QCOMPARE(video->width() == f.root->width(), filled);
        QCOMPARE(f.focusedName(), QStringLiteral("livePreview"));
        // No second player for the same channel: filling only moves the one that plays.
        if (plays == QStringLiteral("Channel 1"))
            QCOMPARE(player(f), first.data());
        QCOMPARE(player(f)->property("url").toUrl(), f.store->nowPlayingURL().value());
        QCOMPARE(player(f)->size(), video->size());
    }

    // Down through the list and Return play a channel; Right goes to the preview.
    void keyboardThroughTheList()
    {
        ScreenFixture f;
        openLive(f, {{.id = 1}, {.id = 2}, {.id = 3}});
        QTRY_COMPARE(playing(f), QStringLiteral("Channel 1"));
        f.find<QQuickItem>(QStringLiteral("channelList"))->forceActiveFocus(Qt::TabFocusReason);
        f.key(Qt::Key_Down);
        f.key(Qt::Key_Down);
        f.key(Qt::Key_Return);
        QTRY_COMPARE(playing(f), QStringLiteral("Channel 3"));
        f.key(Qt::Key_Right);
        QCOMPARE(f.focusedName(), QStringLiteral("livePreview"));
        f.key(Qt::Key_Left);
        // Back in the list, on the playing channel's row.
        QTRY_COMPARE(f.focused()->property("item").value<MediaItem>().name, QStringLiteral("Channel 3"));
    }

    // Another category shows its first channel at the list's top from the first frame it is in,
    // wherever the list and its current row were: never a frame of the old rows or of an empty
    // list. From deep in the list, the rows shown (the current one too) were set aside and taken
    // up again at the top, not made anew.
    void anotherCategoryStartsAtItsTop_data()
    {
        QTest::addColumn<double>("depth"); // of the list's height, scrolled before the choice
        QTest::newRow("from halfway down") << 0.5;
        QTest::newRow("from the last rows") << 1.0;
        QTest::newRow("from the top") << 0.0;
    }

    void anotherCategoryStartsAtItsTop()
    {
        QFETCH(double, depth);
        ScreenFixture f;
        QList<Channel> channels;
        for (int id = 1; id <= 300; ++id)
            channels.append({.id = id, .category = "1"});
        for (int id = 1001; id <= 1120; ++id)
            channels.append({.id = id, .category = "2"});
        openLive(f, channels, guideJson({}), R"([{"category_id":"1","category_name":"News"},{"category_id":"2","category_name":"Sport"}])");
        QTRY_COMPARE(playing(f), QStringLiteral("Channel 1"));
        QQuickItem *list = f.find<QQuickItem>(QStringLiteral("channelList"));
        QQuickWindow *window = list->window();
        QSignalSpy resets(f.store->itemsModel(), &QAbstractItemModel::modelReset);
        const auto top = [&] { return list->property("originY").toReal() - list->property("topMargin").toReal(); };

        for (const auto &[category, first] : {std::pair{"2", "Channel 1001"}, std::pair{"1", "Channel 1"}}) {
            // The row there current, as the keyboard leaves it.
            const int deep = int((list->property("count").toInt() - 1) * depth);
            QMetaObject::invokeMethod(list, "positionViewAtIndex", Q_ARG(int, deep), Q_ARG(int, 2 /* ListView.Center */));
            list->setProperty("currentIndex", deep);
            // Deep, the first row is out of the list and out of its cache.
            QTRY_COMPARE(rowAt(list, 0) != nullptr, depth == 0.0);
            // A few frames there, as a user would stay: the rows set aside on the way are let go.
            for (int nudge = 0; nudge < 5; ++nudge) {
                list->setProperty("contentY", list->property("contentY").toReal() + (depth < 1.0 ? 1 : -1));
                QTest::qWait(30);
            }
            QList<QPointer<QQuickItem>> before;
            for (QQuickItem *row : channelRows(f))
                before.append(row);

            // Every frame drawn from the choice on: where the list is and what its first row shows.
            QStringList frames;
            const auto frame = QObject::connect(window, &QQuickWindow::beforeSynchronizing, list, [&] {
                QQuickItem *row = rowAt(list, 0);
                const QString name = row && row->isVisible() ? row->property("item").value<MediaItem>().name : QString();
                frames.append(list->property("contentY").toReal() == top() ? name : QStringLiteral("%1, not at the top").arg(name));
            }, Qt::DirectConnection);
            for (const Category &each : f.store->categories()) {
                if (each.id == QLatin1String(category))
                    f.store->selectCategory(each);
            }
            QTRY_VERIFY(!frames.isEmpty());
            window->requestUpdate();
            QTRY_VERIFY(frames.size() >= 2);
            QObject::disconnect(frame);
            for (const QString &shown : std::as_const(frames))
                QCOMPARE(shown, QLatin1String(first));
            QCOMPARE(list->property("currentIndex").toInt(), 0);
            for (int index = 0; depth > 0 && rowAt(list, index) && rowAt(list, index)->y() < top() + list->height(); ++index)
                QVERIFY2(before.contains(rowAt(list, index)), qPrintable(QStringLiteral("row %1 made anew").arg(index)));
        }
        QCOMPARE(resets.count(), 0);
    }

    // A channel that cannot be played says so; zapping to one that plays clears it.
    void failedChannelThenZap()
    {
        ScreenFixture f;
        TestMedia::serve(f.server);
        f.server.on(QStringLiteral("/live/user/pass/2.ts"),
                    FakeServer::Reply::file(TestMedia::folder() + QStringLiteral("/clip.ts"), "video/mp2t"));
        openLive(f, {{.id = 1}, {.id = 2}});
        QTRY_COMPARE_WITH_TIMEOUT(statusText(f), QStringLiteral("Couldn't play this channel"), 15000);
        QVERIFY(shown(f, "failedSymbol"));
        QVERIFY(ScreenFixture::shown(channelRow(f, QStringLiteral("Channel 2"))));
        f.find<QQuickItem>(QStringLiteral("livePreview"))->forceActiveFocus(Qt::TabFocusReason);
        f.key(Qt::Key_Down);
        QTRY_COMPARE(playing(f), QStringLiteral("Channel 2"));
        QTRY_VERIFY(statusText(f) != QStringLiteral("Couldn't play this channel"));
        QTRY_VERIFY_WITH_TIMEOUT(!shown(f, "liveStatus"), 15000);
    }

    // Retry on a failed channel opens it again: once the provider serves it, it plays.
    void failedChannelRetries()
    {
        ScreenFixture f;
        TestMedia::serve(f.server);
        openLive(f, {{.id = 1}, {.id = 2}});
        QTRY_COMPARE_WITH_TIMEOUT(statusText(f), QStringLiteral("Couldn't play this channel"), 15000);
        QVERIFY(shown(f, "previewRetry"));
        f.server.on(QStringLiteral("/live/user/pass/1.ts"),
                    FakeServer::Reply::file(TestMedia::folder() + QStringLiteral("/clip.ts"), "video/mp2t"));
        f.click(f.find<QQuickItem>(QStringLiteral("previewRetry")));
        QTRY_VERIFY_WITH_TIMEOUT(!shown(f, "liveStatus"), 15000);
        QCOMPARE(playing(f), QStringLiteral("Channel 1"));
    }

    // Loading, empty and listed states; back while loading; chips; a programme plays
    // full-window and the preview shows the placeholder; leaving returns to the live channel.
    void catchupPanel_data()
    {
        QTest::addColumn<QList<double>>("archive");
        QTest::addColumn<int>("days");
        QTest::newRow("nothing archived") << QList<double>{} << 0;
        QTest::newRow("one programme") << QList<double>{0.5} << 1;
        QTest::newRow("over three days") << QList<double>{50, 26, 1} << 3;
    }

    void catchupPanel()
    {
        QFETCH(QList<double>, archive);
        QFETCH(int, days);
        ScreenFixture f;
        FakeServer::Reply slow = FakeServer::Reply::json(guideJson(archive));
        slow.delay = std::chrono::milliseconds(400);
        f.server.onAction(QStringLiteral("get_simple_data_table"), slow);
        openLive(f, {{.id = 1, .archive = true}});
        QTRY_COMPARE(playing(f), QStringLiteral("Channel 1"));
        f.click(f.find<QQuickItem>(QStringLiteral("catchupButton")));
        QTRY_VERIFY(shown(f, "catchupSpinner"));
        QVERIFY(!shown(f, "dayStrip"));
        QVERIFY(!shown(f, "catchupEmpty"));
        QVERIFY(!shown(f, "channelList"));
        QTRY_VERIFY(!f.store->loadingCatchup());

        QCOMPARE(shown(f, "catchupEmpty"), archive.isEmpty());
        QCOMPARE(shown(f, "dayStrip"), !archive.isEmpty());
        QTRY_COMPARE(shownCount(f, "dayChip"), f.store->catchupDays().size());
        QVERIFY(f.store->catchupDays().size() <= days);
        if (!archive.isEmpty()) {
            const QList<QQuickItem *> chips = ScreenFixture::findAll(f.root, QStringLiteral("dayChip"));
            for (QQuickItem *chip : chips) {
                const QString day = chip->property("day").toString();
                QCOMPARE(chip->property("text").toString(), day.right(5));
                QCOMPARE(chip->property("selected").toBool(), day == f.store->selectedCatchupDay());
            }
            QQuickItem *first = chips.first();
            f.click(first);
            QCOMPARE(f.store->selectedCatchupDay(), first->property("day").toString());
            QVERIFY(first->property("selected").toBool());
            QTRY_COMPARE(shownCount(f, "catchupEntry"), f.store->catchupDayPrograms().size());

            QQuickItem *entry = ScreenFixture::findAll(f.root, QStringLiteral("catchupEntry")).first();
            f.click(entry);
            QVERIFY(f.store->hasCatchupURLBuilder());
            QTRY_VERIFY(shown(f, "selectChannel"));
            QVERIFY(!player(f));
            f.store->exitPlayer();
            QTRY_VERIFY(player(f));
            QCOMPARE(f.store->nowPlayingTitle(), QStringLiteral("Channel 1"));
        }

        // Escape closes the panel first, then leaves the section.
        f.key(Qt::Key_Escape);
        QVERIFY(!f.store->catchupOpen());
        QTRY_VERIFY(shown(f, "channelList"));
        QCOMPARE(f.store->phase(), AppStore::Phase::section);
        f.key(Qt::Key_Escape);
        QCOMPARE(f.store->phase(), AppStore::Phase::home);
    }

    void backWhileLoading()
    {
        ScreenFixture f;
        FakeServer::Reply slow = FakeServer::Reply::json(guideJson({1}));
        slow.delay = std::chrono::milliseconds(1500);
        f.server.onAction(QStringLiteral("get_simple_data_table"), slow);
        openLive(f, {{.id = 1, .archive = true}});
        QTRY_VERIFY(shown(f, "catchupButton"));
        f.click(f.find<QQuickItem>(QStringLiteral("catchupButton")));
        QTRY_VERIFY(shown(f, "catchupSpinner"));
        f.click(f.find<QQuickItem>(QStringLiteral("catchupBack")));
        QVERIFY(!f.store->catchupOpen());
        QTRY_VERIFY(shown(f, "channelList"));
        QTRY_VERIFY_WITH_TIMEOUT(!f.store->loadingCatchup(), 5000);
        QVERIFY(!f.store->catchupOpen());
    }
};

QTEST_MAIN(TestLiveView)
#include "tst_liveview.moc"
