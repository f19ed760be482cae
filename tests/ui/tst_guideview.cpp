// The guide view of Live TV over a store against the fake provider: its keys, what Enter does
// per kind of programme, the switch from and to the channel list with the preview kept, the
// description below the grid, the import's progress and failure where the guide shows, that
// only the cells around the view are made, and that reused rows draw their own channel.
#include "screenfixture.h"
#include "../player/testmedia.h"

#include "store/guidegridmodel.h"
#include "store/programguide.h"

#include <QImage>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(MavuPlugin)
Q_IMPORT_QML_PLUGIN(Mavu_CorePlugin)

namespace {

constexpr qint64 hour = 3600;

// Channel n has the guide id "c<n>"; channel 1 keeps an archive of three days, channel 2 of one.
QByteArray channelsJson(int count)
{
    QJsonArray rows;
    for (int id = 1; id <= count; ++id) {
        const bool archive = id <= 2;
        rows.append(QJsonObject{{"stream_id", id},
                                {"name", QStringLiteral("Channel %1").arg(id)},
                                {"num", id},
                                {"category_id", "1"},
                                {"epg_channel_id", QStringLiteral("c%1").arg(id)},
                                {"tv_archive", archive ? 1 : 0},
                                {"tv_archive_duration", id == 1 ? 3 : archive ? 1 : 0}});
    }
    return QJsonDocument(rows).toJson(QJsonDocument::Compact);
}

QString xmltvTime(qint64 secs)
{
    return QDateTime::fromSecsSinceEpoch(secs, QTimeZone::utc()).toString(QStringLiteral("yyyyMMddHHmmss")) + QStringLiteral(" +0000");
}

// Hourly programmes "c<n> <k>" on every channel, from 30 hours ago to 30 hours ahead, hours
// aligned: "c<n> 30" is on now.
QByteArray xmltv(int channels)
{
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const qint64 first = now / hour * hour - 30 * hour;
    QByteArray out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<tv>\n";
    for (int id = 1; id <= channels; ++id) {
        const QByteArray channel = "c" + QByteArray::number(id);
        for (qint64 start = first, n = 0; n < 60; start += hour, ++n) {
            const QByteArray title = channel + ' ' + QByteArray::number(n);
            out += "<programme start=\"" + xmltvTime(start).toUtf8() + "\" stop=\"" + xmltvTime(start + hour).toUtf8()
                   + "\" channel=\"" + channel + "\"><title>" + title + "</title><desc>About " + title + "</desc></programme>\n";
        }
    }
    return out + "</tv>\n";
}

} // namespace

class TestGuideView : public QObject
{
    Q_OBJECT

    // The live section of `channels` channels with its guide imported, shown as the guide.
    static void openGuide(ScreenFixture &f, int channels, bool import = true)
    {
        f.store->guide()->setCacheFolder(f.folder.path());
        f.startAttached();
        TestSupport::await(f.store->enterBrowse());
        f.server.onAction(QStringLiteral("get_live_categories"), FakeServer::Reply::json(R"([{"category_id":"1","category_name":"News"}])"));
        f.server.onAction(QStringLiteral("get_live_streams"), FakeServer::Reply::json(channelsJson(channels)));
        f.server.onAction(QStringLiteral("get_short_epg"), FakeServer::Reply::json(R"({"epg_listings":[]})"));
        f.server.on(QStringLiteral("/xmltv.php"), FakeServer::Reply::json(xmltv(channels)));
        TestSupport::await(f.store->openSection(Section::live));
        if (import)
            TestSupport::await(f.store->guide()->import());
        f.store->setLiveGuide(true);
        f.load(QStringLiteral("SectionView.qml"));
        QTRY_VERIFY(ScreenFixture::shown(f.find<QQuickItem>(QStringLiteral("guideView"))));
        // The scroll bar, the import line and the description come a frame after the rows.
        for (const char *part : {"guideScroll", "guideDescription", "guideProgress"})
            QTRY_VERIFY2(!ScreenFixture::findAll(f.root, QLatin1String(part)).isEmpty(), part);
        if (import)
            QTRY_COMPARE(grid(f)->focusedProgram().title, QStringLiteral("c1 30"));
        // Right from the categories gives the grid the keyboard.
        if (keyboardAt(f) != QLatin1String("guideRows"))
            f.key(Qt::Key_Right);
        QTRY_COMPARE(keyboardAt(f), QStringLiteral("guideRows"));
    }

    // "guideRows" while the grid has the keyboard (its list or one of its rows), else the
    // name of what has it.
    static QString keyboardAt(ScreenFixture &f)
    {
        for (QQuickItem *item = f.focused(); item; item = item->parentItem()) {
            if (item->objectName() == QLatin1String("guideRows"))
                return item->objectName();
        }
        return f.focusedName();
    }

    static GuideGridModel *grid(ScreenFixture &f) { return f.store->guide()->grid(); }

    static QString focusedTitle(ScreenFixture &f) { return grid(f)->hasFocusedProgram() ? grid(f)->focusedProgram().title : QString(); }

    // Parts made on demand (the details sheet) are not shown before they are made.
    static bool shown(ScreenFixture &f, const char *name)
    {
        const QObject *scope = f.ownWindow ? static_cast<QObject *>(f.ownWindow) : f.root;
        const auto *item = scope->findChild<QQuickItem *>(QLatin1String(name));
        return item && ScreenFixture::shown(item);
    }

    static QString text(ScreenFixture &f, const char *name) { return f.find<QQuickItem>(QLatin1String(name))->property("text").toString(); }

    // The rows the view has made, by channel name.
    static QQuickItem *rowOf(ScreenFixture &f, const QString &name)
    {
        for (QQuickItem *row : ScreenFixture::findAll(f.root, QStringLiteral("guideRow"))) {
            // Rows kept for reuse are hidden and may still hold the channel they showed.
            if (ScreenFixture::shown(row) && row->property("channel").value<MediaItem>().name == name)
                return row;
        }
        return nullptr;
    }

    // Whether the row of `index` lies wholly within the list's view.
    static bool rowInView(ScreenFixture &f, int index)
    {
        auto *rows = f.find<QQuickItem>(QStringLiteral("guideRows"));
        const double rowHeight = f.find<QQuickItem>(QStringLiteral("guideView"))->property("rowHeight").toDouble();
        const double top = index * rowHeight - rows->property("contentY").toDouble();
        return top >= -0.5 && top + rowHeight <= rows->height() + 0.5;
    }

    // Whether the focused programme's cell (or a part of it) lies within the view's hours.
    static bool focusInView(ScreenFixture &f)
    {
        auto *view = f.find<QQuickItem>(QStringLiteral("guideView"));
        const double left = grid(f)->scrollX();
        const double right = left + view->property("trackWidth").toDouble();
        const double x = grid(f)->focusX();
        return x >= left - 1 && x < right;
    }

private Q_SLOTS:
    void initTestCase()
    {
        useSoftwareRendering();
        TestMedia::useDummyAudio();
    }

    // Keys move the focus cell by cell, by a screen, by a day and back to now; the view keeps
    // the focus in sight. Up from the first row and Left from the grid's first hour leave it.
    void keys_data()
    {
        using Keys = QList<std::pair<Qt::Key, Qt::KeyboardModifiers>>;
        QTest::addColumn<Keys>("keys");
        QTest::addColumn<int>("row");      // -1: the focus left the grid
        QTest::addColumn<int>("programme"); // of "c<row + 1> <programme>"
        QTest::addColumn<QString>("focusedName");
        const Qt::KeyboardModifiers none;
        QTest::newRow("right") << Keys{{Qt::Key_Right, none}} << 0 << 31 << "guideRows";
        QTest::newRow("left twice") << Keys{{Qt::Key_Left, none}, {Qt::Key_Left, none}} << 0 << 28 << "guideRows";
        QTest::newRow("down keeps the time") << Keys{{Qt::Key_Down, none}, {Qt::Key_Down, none}} << 2 << 30 << "guideRows";
        QTest::newRow("down then up") << Keys{{Qt::Key_Down, none}, {Qt::Key_Up, none}} << 0 << 30 << "guideRows";
        QTest::newRow("up from the first row") << Keys{{Qt::Key_Up, none}} << -1 << 30 << "guideViewButton";
        QTest::newRow("a day ahead") << Keys{{Qt::Key_Right, Qt::ControlModifier}} << 0 << 54 << "guideRows";
        QTest::newRow("a day back") << Keys{{Qt::Key_Left, Qt::ControlModifier}} << 0 << 6 << "guideRows";
        QTest::newRow("home after a walk")
            << Keys{{Qt::Key_Right, none}, {Qt::Key_Right, none}, {Qt::Key_Down, none}, {Qt::Key_Home, none}} << 1 << 30 << "guideRows";
        QTest::newRow("page down and back up")
            << Keys{{Qt::Key_PageDown, none}, {Qt::Key_PageDown, none}, {Qt::Key_PageUp, none}, {Qt::Key_PageUp, none}} << 0 << 30 << "guideRows";
        QTest::newRow("to the last row") << Keys{{Qt::Key_PageDown, none}, {Qt::Key_PageDown, none}, {Qt::Key_PageDown, none},
                                                 {Qt::Key_PageDown, none}, {Qt::Key_PageDown, none}, {Qt::Key_PageDown, none}}
                                         << 39 << 30 << "guideRows";
    }

    void keys()
    {
        using Keys = QList<std::pair<Qt::Key, Qt::KeyboardModifiers>>;
        QFETCH(Keys, keys);
        QFETCH(int, row);
        QFETCH(int, programme);
        QFETCH(QString, focusedName);
        ScreenFixture f;
        openGuide(f, 40);
        for (const auto &[key, modifiers] : keys) {
            f.key(key, modifiers);
            // Rows far off fill in once the view got there.
            QTRY_VERIFY(grid(f)->hasFocusedProgram() || row < 0);
        }
        QCOMPARE(keyboardAt(f), focusedName);
        if (row < 0)
            return;
        QCOMPARE(grid(f)->focusRow(), row);
        QTRY_COMPARE(focusedTitle(f), QStringLiteral("c%1 %2").arg(row + 1).arg(programme));
        QTRY_VERIFY(rowInView(f, row));
        QVERIFY(focusInView(f));
        // The focused cell is drawn as focused, and only that one.
        int focusedCells = 0;
        for (QQuickItem *cell : ScreenFixture::findAll(f.root, QStringLiteral("guideCell")))
            focusedCells += cell->property("focused").toBool() ? 1 : 0;
        QCOMPARE(focusedCells, 1);
        QCOMPARE(text(f, "descriptionTitle"), focusedTitle(f));
        QTRY_COMPARE(text(f, "descriptionText"), QStringLiteral("About ") + focusedTitle(f));
    }

    // Enter on a programme on now plays the channel; on one that is over, the archive's
    // recording when the channel keeps one, else its details; on one to come, its details.
    void enter_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("steps"); // Right (+) or Left (-) from now
        QTest::addColumn<QString>("hint");
        QTest::addColumn<QString>("outcome"); // "live", "catchup" or "details"
        QTest::newRow("on now") << 1 << 0 << "Watch live" << "live";
        QTest::newRow("over, archived") << 1 << -2 << "Play from the archive" << "catchup";
        QTest::newRow("over, beyond the archive") << 1 << -26 << "Show details" << "details";
        QTest::newRow("over, no archive") << 2 << -1 << "Show details" << "details";
        QTest::newRow("to come") << 2 << 3 << "Show details" << "details";
    }

    void enter()
    {
        QFETCH(int, row);
        QFETCH(int, steps);
        QFETCH(QString, hint);
        QFETCH(QString, outcome);
        ScreenFixture f;
        openGuide(f, 5);
        QTRY_COMPARE(f.store->nowPlaying().value_or(MediaItem()).name, QStringLiteral("Channel 1"));
        for (int i = 0; i < row; ++i)
            f.key(Qt::Key_Down);
        for (int i = 0; i < std::abs(steps); ++i) {
            f.key(steps < 0 ? Qt::Key_Left : Qt::Key_Right);
            QTRY_VERIFY(grid(f)->hasFocusedProgram());
        }
        const QString title = QStringLiteral("c%1 %2").arg(row + 1).arg(30 + steps);
        QCOMPARE(focusedTitle(f), title);
        QVERIFY(text(f, "descriptionTime").endsWith(QStringLiteral("Enter: ") + hint));

        const QString channel = QStringLiteral("Channel %1").arg(row + 1);
        f.key(Qt::Key_Return);
        if (outcome == QLatin1String("details")) {
            QTRY_VERIFY(shown(f, "detailsTitle"));
            QCOMPARE(text(f, "detailsTitle"), title);
            QCOMPARE(text(f, "detailsChannel"), channel);
            QCOMPARE(text(f, "detailsText"), QStringLiteral("About ") + title);
            QCOMPARE(f.store->nowPlaying()->name, QStringLiteral("Channel 1"));
            QTRY_COMPARE(f.focusedName(), QStringLiteral("detailsClose"));
            f.key(Qt::Key_Escape);
            QTRY_VERIFY(!shown(f, "detailsTitle"));
            QTRY_COMPARE(keyboardAt(f), QStringLiteral("guideRows"));
            QVERIFY(shown(f, "guideView")); // Escape closed the sheet, not the section
            return;
        }
        QTRY_COMPARE(f.store->nowPlaying().value_or(MediaItem()).name, channel);
        const QString address = f.store->nowPlayingURL().value_or(QUrl()).toString();
        QCOMPARE(address.contains(QLatin1String("/timeshift/")), outcome == QLatin1String("catchup"));
        QVERIFY(!shown(f, "detailsTitle"));
        // The row of the channel that plays is the highlighted one.
        QTRY_VERIFY(rowOf(f, channel) && rowOf(f, channel)->property("playing").toBool());
        QVERIFY(!rowOf(f, QStringLiteral("Channel 1"))->property("playing").toBool() || row == 0);
    }

    // The switch goes between the list and the guide; the preview is the same player in both,
    // in the guide's corner without its info panel. The choice is kept for the next run.
    void switchingViews()
    {
        ScreenFixture f;
        openGuide(f, 5);
        QTRY_VERIFY(!ScreenFixture::findAll(f.root, QStringLiteral("previewPlayer")).isEmpty());
        QQuickItem *player = ScreenFixture::findAll(f.root, QStringLiteral("previewPlayer")).first();
        auto *pane = f.find<QQuickItem>(QStringLiteral("livePlayerPane"));
        auto *view = f.find<QQuickItem>(QStringLiteral("guideView"));
        QVERIFY(!shown(f, "liveInfo"));
        QVERIFY(!shown(f, "channelList"));
        QVERIFY(pane->width() < view->width() / 2);
        QCOMPARE(pane->mapToItem(view, QPointF(pane->width(), pane->height())), QPointF(view->width(), view->height()));
        QVERIFY(text(f, "guideDay") == QLatin1String("Today") || text(f, "guideDay") == QLatin1String("Yesterday"));
        QVERIFY(shown(f, "nowLine"));

        f.click(f.find<QQuickItem>(QStringLiteral("channelsViewButton")));
        QTRY_VERIFY(shown(f, "channelList"));
        QVERIFY(!f.store->liveGuide());
        QVERIFY(f.findAll(f.root, QStringLiteral("guideView")).isEmpty());
        QVERIFY(shown(f, "liveInfo"));
        QCOMPARE(ScreenFixture::findAll(f.root, QStringLiteral("previewPlayer")).value(0), player);
        QCOMPARE(grid(f)->count(), 0); // the hidden grid holds nothing

        f.click(f.find<QQuickItem>(QStringLiteral("guideViewButton")));
        QTRY_VERIFY(shown(f, "guideView"));
        QCOMPARE(ScreenFixture::findAll(f.root, QStringLiteral("previewPlayer")).value(0), player);
        QTRY_COMPARE(keyboardAt(f), QStringLiteral("guideRows"));
        QVERIFY(f.preferences->liveGuide());
    }

    // A row's channel: its number, a clock for an archive, a star for a favourite, the one that
    // plays in amber with its name in bold; the name gives way to the marks and never runs
    // under them, and the marks stay inside the channel's box.
    void channelFaces_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("archive");
        QTest::addColumn<bool>("favorite");
        QTest::addColumn<bool>("playing");
        // Channels 1 and 2 keep an archive; 1 and 3 are made favourites; 1 plays.
        QTest::newRow("archive, favourite, playing") << "Channel 1" << true << true << true;
        QTest::newRow("archive only") << "Channel 2" << true << false << false;
        QTest::newRow("favourite only") << "Channel 3" << false << true << false;
        QTest::newRow("neither") << "Channel 4" << false << false << false;
    }

    void channelFaces()
    {
        QFETCH(QString, name);
        QFETCH(bool, archive);
        QFETCH(bool, favorite);
        QFETCH(bool, playing);
        ScreenFixture f;
        openGuide(f, 5);
        QTRY_COMPARE(f.store->nowPlaying().value_or(MediaItem()).name, QStringLiteral("Channel 1"));
        for (const int index : {0, 2})
            f.store->toggleFavorite(grid(f)->channels().at(index));
        QTRY_VERIFY(rowOf(f, name));
        QQuickItem *row = rowOf(f, name);
        const auto part = [&](const char *objectName) { return row->findChild<QQuickItem *>(QLatin1String(objectName)); };
        QQuickItem *box = part("guideChannel");
        QQuickItem *label = part("channelName");
        QCOMPARE(part("channelNumber")->property("text").toString(), name.mid(8));
        QCOMPARE(label->property("text").toString(), name);
        QCOMPARE(label->property("font").value<QFont>().bold(), playing);
        QCOMPARE(row->property("playing").toBool(), playing);
        QTRY_COMPARE(part("favoriteMark")->isVisible(), favorite);
        QCOMPARE(part("archiveMark")->isVisible(), archive);
        // Left to right: the name, then whichever marks show, none overlapping, all in the box.
        double right = label->x() + label->width();
        for (const char *mark : {"archiveMark", "favoriteMark"}) {
            QQuickItem *glyph = part(mark);
            if (!glyph->isVisible())
                continue;
            QVERIFY2(glyph->x() >= right + 6 - 0.5, mark);
            QVERIFY2(glyph->width() > 0, mark);
            right = glyph->x() + glyph->width();
        }
        QVERIFY2(right <= box->width() - 6 + 0.5, qPrintable(QString::number(box->width() - right)));
        // A favourite let go gives its room back to the name.
        if (favorite) {
            const double before = label->width();
            f.store->toggleFavorite(row->property("channel").value<MediaItem>());
            QTRY_VERIFY(!part("favoriteMark")->isVisible());
            QVERIFY(label->width() > before);
        }
    }

    // A search narrows the guide's rows as it narrows the list.
    void searchNarrowsTheRows()
    {
        ScreenFixture f;
        openGuide(f, 12);
        f.store->setSearchText(QStringLiteral("Channel 1"));
        QTRY_COMPARE(grid(f)->count(), 4); // 1, 10, 11, 12
        QTRY_VERIFY(rowOf(f, QStringLiteral("Channel 12")));
        QVERIFY(!rowOf(f, QStringLiteral("Channel 2")));
    }

    // A programme over and still in its channel's archive shows a clock before its time; one
    // whose channel keeps no archive, the one on now and one to come show none, and their time
    // starts at the title's edge.
    void archiveClocks_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("clock");
        QTest::newRow("over, archived") << "c1 29" << true;
        QTest::newRow("over, no archive") << "c3 29" << false;
        QTest::newRow("on now, archived channel") << "c1 30" << false;
        QTest::newRow("to come, archived channel") << "c2 31" << false;
    }

    void archiveClocks()
    {
        QFETCH(QString, title);
        QFETCH(bool, clock);
        ScreenFixture f;
        openGuide(f, 5);
        const auto cellTitled = [&](const char *name) -> QQuickItem * {
            for (QQuickItem *item : ScreenFixture::findAll(f.root, QLatin1String(name))) {
                if (ScreenFixture::shown(item) && item->property("modelData").value<GuideCell>().program.title == title)
                    return item;
            }
            return nullptr;
        };
        QTRY_VERIFY(cellTitled("guideCell"));
        // Its box at the view's left edge, wide enough for words.
        grid(f)->setScrollX(cellTitled("guideCell")->property("modelData").value<GuideCell>().x);
        QTRY_VERIFY(cellTitled("cellTitle"));
        QQuickItem *text = cellTitled("cellTitle");
        auto *mark = text->findChild<QQuickItem *>(QStringLiteral("cellArchive"));
        auto *time = text->findChild<QQuickItem *>(QStringLiteral("cellTime"));
        QVERIFY(mark && time);
        QVERIFY(!time->property("text").toString().isEmpty());
        QCOMPARE(ScreenFixture::shown(mark), clock);
        if (clock) {
            QVERIFY(mark->width() > 0);
            QVERIFY(time->x() >= mark->x() + mark->width());
        } else {
            QCOMPARE(time->x(), 0.0);
        }
    }

    // Cells are made for the rows and hours around the view only, however big the guide.
    void onlyCellsAroundTheView()
    {
        ScreenFixture f;
        openGuide(f, 300);
        QTRY_VERIFY(!ScreenFixture::findAll(f.root, QStringLiteral("guideCell")).isEmpty());
        const int rows = int(ScreenFixture::findAll(f.root, QStringLiteral("guideRow")).size());
        const int cells = int(ScreenFixture::findAll(f.root, QStringLiteral("guideCell")).size());
        QVERIFY2(rows < 40, qPrintable(QString::number(rows)));
        QVERIFY2(cells < rows * 20, qPrintable(QString::number(cells)));
        for (int i = 0; i < 12; ++i)
            f.key(Qt::Key_PageDown);
        QTRY_VERIFY(grid(f)->hasFocusedProgram());
        QVERIFY(int(ScreenFixture::findAll(f.root, QStringLiteral("guideRow")).size()) < 40);
        QVERIFY(!grid(f)->isLoaded(0)); // rows far above let their programmes go
    }

    // Rows and their cell faces are reused as the list scrolls: wherever the view goes, every
    // row shown draws its own channel's programmes, and no face keeps one it drew before.
    void reusedRowsDrawTheirOwnChannel_data()
    {
        QTest::addColumn<int>("pagesDown");
        QTest::addColumn<int>("pagesUp");
        QTest::newRow("as opened") << 0 << 0;
        QTest::newRow("far down") << 12 << 0;
        QTest::newRow("down and back") << 12 << 12;
        QTest::newRow("down, half way back") << 12 << 5;
    }

    void reusedRowsDrawTheirOwnChannel()
    {
        QFETCH(int, pagesDown);
        QFETCH(int, pagesUp);
        ScreenFixture f;
        openGuide(f, 300);
        for (int i = 0; i < pagesDown; ++i)
            f.key(Qt::Key_PageDown);
        for (int i = 0; i < pagesUp; ++i)
            f.key(Qt::Key_PageUp);
        QTRY_VERIFY(grid(f)->hasFocusedProgram());
        const auto mismatches = [&] {
            QStringList wrong;
            int drawn = 0;
            for (QQuickItem *row : ScreenFixture::findAll(f.root, QStringLiteral("guideRow"))) {
                if (!ScreenFixture::shown(row) || !rowInView(f, row->property("index").toInt()))
                    continue;
                const QString prefix = QStringLiteral("c%1 ").arg(row->property("index").toInt() + 1);
                QStringList texts;
                for (QQuickItem *text : ScreenFixture::findAll(row, QStringLiteral("cellTitle"))) {
                    if (ScreenFixture::shown(text))
                        texts.append(text->property("text").toString());
                }
                for (QQuickItem *cell : ScreenFixture::findAll(row, QStringLiteral("guideCell"))) {
                    const QString title = cell->property("modelData").value<GuideCell>().program.title;
                    ++drawn;
                    if (!title.startsWith(prefix) || !ScreenFixture::shown(cell))
                        wrong.append(prefix + QStringLiteral("≠ ") + title);
                    // A box wide enough for words shows its own title over it.
                    if (cell->width() > 40 && !texts.contains(title))
                        wrong.append(title + QStringLiteral(" without its title"));
                }
                // Faces of empty slots stay hidden and out of the cell count.
                int filled = 0;
                for (const QVariant &cell : row->property("cells").toList())
                    filled += cell.value<GuideCell>().filled ? 1 : 0;
                if (filled != ScreenFixture::findAll(row, QStringLiteral("guideCell")).size())
                    wrong.append(prefix + QStringLiteral("cell count"));
            }
            return drawn == 0 ? QStringList{QStringLiteral("nothing drawn")} : wrong;
        };
        QTRY_COMPARE(mismatches(), QStringList());
    }

    // The time header's labels, the titles and the last row are never cut: a half hour or a
    // programme that began left of the view keeps its text inside it, a mark in view always has
    // its label (one just in at the right edge keeps to that edge), and the scroll bar lies
    // below the rows.
    void headerAndLastRowUncut_data()
    {
        QTest::addColumn<double>("scrollBy"); // from where the view opened, in pixels
        QTest::addColumn<double>("rightRoom"); // then a mark this far in from the right edge; < 0: as it falls
        QTest::newRow("as opened") << 0.0 << -1.0;
        QTest::newRow("a mark just out") << 10.0 << -1.0;
        QTest::newRow("mid half hour") << 70.0 << -1.0;
        QTest::newRow("hours later") << 1234.5 << -1.0;
        QTest::newRow("a mark just in at the right") << 0.0 << 3.0;
        QTest::newRow("a label's width in at the right") << 300.0 << 30.0;
    }

    void headerAndLastRowUncut()
    {
        QFETCH(double, scrollBy);
        QFETCH(double, rightRoom);
        ScreenFixture f;
        openGuide(f, 40);
        grid(f)->setScrollX(grid(f)->scrollX() + scrollBy);
        auto *ticks = f.find<QQuickItem>(QStringLiteral("guideTicks"));
        const double halfHour = 30 * grid(f)->pixelsPerMinute();
        const double firstX = grid(f)->ticks().value(0).x;
        if (rightRoom >= 0) {
            // The first mark right of the edge comes in by `rightRoom`.
            const double right = grid(f)->scrollX() + ticks->width();
            const double mark = firstX + std::ceil((right - firstX) / halfHour) * halfHour;
            grid(f)->setScrollX(mark + rightRoom - ticks->width());
        }
        QTRY_VERIFY(!ScreenFixture::findAll(ticks, QStringLiteral("guideTickLabel")).isEmpty());
        QCoreApplication::processEvents();
        int shownLabels = 0;
        double rightmost = 0;
        int marksInView = 0;
        for (double mark = firstX; mark <= grid(f)->scrollX() + ticks->width(); mark += halfHour)
            marksInView += mark >= grid(f)->scrollX() ? 1 : 0;
        for (QQuickItem *label : ScreenFixture::findAll(ticks, QStringLiteral("guideTickLabel"))) {
            if (!ScreenFixture::shown(label))
                continue;
            const QRectF inTicks = label->mapRectToItem(ticks, QRectF(0, 0, label->width(), label->height()));
            if (inTicks.right() <= 0 || inTicks.left() >= ticks->width())
                continue; // made for the cache, outside the view
            ++shownLabels;
            rightmost = std::max(rightmost, inTicks.right());
            QVERIFY2(inTicks.left() >= 0 && inTicks.right() <= ticks->width(), qPrintable(label->property("text").toString()));
        }
        QVERIFY(shownLabels > 2);
        // Each mark in view has its label; a half hour begun left of the view may add one.
        QVERIFY2(shownLabels == marksInView || shownLabels == marksInView + 1,
                 qPrintable(QStringLiteral("%1 labels, %2 marks").arg(shownLabels).arg(marksInView)));
        if (rightRoom >= 0)
            QVERIFY2(rightmost >= ticks->width() - 12, qPrintable(QString::number(ticks->width() - rightmost)));
        // Nor is a programme's title cut where the view begins.
        for (QQuickItem *track : ScreenFixture::findAll(f.root, QStringLiteral("guideTrack"))) {
            for (QQuickItem *title : ScreenFixture::findAll(track, QStringLiteral("cellTitle"))) {
                if (ScreenFixture::shown(title))
                    QVERIFY2(title->mapToItem(track, QPointF(0, 0)).x() >= 0, qPrintable(title->property("text").toString()));
            }
        }
        auto *rows = f.find<QQuickItem>(QStringLiteral("guideRows"));
        auto *bar = f.find<QQuickItem>(QStringLiteral("guideScroll"));
        QVERIFY(bar->height() > 0);
        QVERIFY(bar->mapToItem(rows, QPointF(0, 0)).y() >= rows->height() - 0.5);
    }

    // The guide's glyphs made while the window idles after start: each of the guide's faces
    // is drawn, a frame at a time, none of it shows, and it says when it is done so that its
    // owner lets it go.
    void glyphsPreparedUnseen()
    {
        ScreenFixture f;
        QQuickItem *warmup = f.load(QStringLiteral("GlyphWarmup.qml"));
        QTRY_VERIFY(warmup->property("finished").toBool());
        int faces = 0;
        for (QQuickItem *text : warmup->childItems()) {
            if (text->property("text").toString().isEmpty())
                continue;
            ++faces;
            QVERIFY(text->implicitWidth() > 0);
        }
        QCOMPARE(faces, warmup->property("faces").toList().size());
        QCOMPARE(faces, 5);
        const QImage picture = f.window.grabWindow();
        QVERIFY(!picture.isNull());
        for (int y = 0; y < picture.height(); y += 3) {
            for (int x = 0; x < picture.width(); x += 3)
                QCOMPARE(picture.pixel(x, y), picture.pixel(0, 0));
        }
    }

    // The rest of the guide's first-frame work done while the window idles after start: a whole
    // view is made over a grid of its own, a screen of rows with their programmes and marks,
    // drawn where the window shows none of them, and it says when a frame has drawn them so
    // that its owner lets it go.
    void guideFacesPreparedUnseen()
    {
        ScreenFixture f;
        const double scrollX = grid(f)->scrollX();
        QQuickItem *warmup = f.load(QStringLiteral("GuideWarmup.qml"));
        QTRY_VERIFY(warmup->property("finished").toBool());
        auto *own = warmup->property("grid").value<GuideGridModel *>();
        QVERIFY(own && own != grid(f));
        QCOMPARE(own->count(), 12);
        const QList<QQuickItem *> rows = ScreenFixture::findAll(warmup, QStringLiteral("guideRow"));
        QVERIFY2(rows.size() >= 10, qPrintable(QString::number(rows.size())));
        const QRectF window(QPointF(0, 0), QSizeF(f.window.size()));
        int archiveClocks = 0;
        for (QQuickItem *row : rows) {
            QVERIFY(row->isVisible());
            QVERIFY(!row->mapRectToScene(row->boundingRect()).intersects(window));
            int shownCells = 0, shownTitles = 0;
            for (QQuickItem *cell : ScreenFixture::findAll(row, QStringLiteral("guideCell")))
                shownCells += cell->isVisible() ? 1 : 0;
            for (QQuickItem *title : ScreenFixture::findAll(row, QStringLiteral("cellTitle")))
                shownTitles += title->isVisible() && !title->property("text").toString().isEmpty() ? 1 : 0;
            QVERIFY(shownCells >= 2);
            QVERIFY(shownTitles >= 2);
            for (QQuickItem *clock : ScreenFixture::findAll(row, QStringLiteral("cellArchive")))
                archiveClocks += clock->isVisible() ? 1 : 0;
            // The channel's own archive clock.
            QVERIFY(ScreenFixture::findAll(row, QStringLiteral("archiveMark")).first()->isVisible());
        }
        // The clock of a programme over that the archive still holds.
        QVERIFY(archiveClocks > 0);
        const QImage picture = f.window.grabWindow();
        QVERIFY(!picture.isNull());
        for (int y = 0; y < picture.height(); y += 3) {
            for (int x = 0; x < picture.width(); x += 3)
                QCOMPARE(picture.pixel(x, y), picture.pixel(0, 0));
        }
        // The grid the screens share is left as it was: the view is compiled, never made.
        QCOMPARE(grid(f)->count(), 0);
        QCOMPARE(grid(f)->scrollX(), scrollX);
    }

    // With MAVU_SCREENSHOT=name.png, the guide at 1280 × 800 as opened and scrolled a little
    // later, saved as name-opened.png and name-scrolled.png, for people to look at.
    void picture()
    {
        QString base = qEnvironmentVariable("MAVU_SCREENSHOT");
        if (base.isEmpty())
            QSKIP("MAVU_SCREENSHOT names no picture");
        base.chop(base.endsWith(QLatin1String(".png")) ? 4 : 0);
        ScreenFixture f;
        f.window.resize(1280, 800);
        openGuide(f, 40);
        f.root->setSize(QSizeF(f.window.size()));
        for (const char *name : {"opened", "scrolled"}) {
            if (qstrcmp(name, "scrolled") == 0)
                grid(f)->setScrollX(grid(f)->scrollX() + 75);
            QTest::qWait(300);
            QVERIFY(f.window.grabWindow().save(base + QLatin1Char('-') + QLatin1String(name) + QStringLiteral(".png")));
        }
    }

    // While the guide imports, a slim bar tells how far; a failure says why with Retry, and
    // Retry brings the guide in.
    void importStateWhereTheGuideShows()
    {
        ScreenFixture f;
        openGuide(f, 3, false);
        QVERIFY(!shown(f, "guideProgress"));
        QVERIFY(!shown(f, "guideFailure"));
        QVERIFY(shown(f, "guideUpdate"));
        QTRY_VERIFY(!ScreenFixture::findAll(f.root, QStringLiteral("noProgrammes")).isEmpty());
        QTRY_VERIFY(ScreenFixture::shown(ScreenFixture::findAll(f.root, QStringLiteral("noProgrammes")).first()));

        f.server.on(QStringLiteral("/xmltv.php"), FakeServer::Reply::json("busy", 503));
        f.click(f.find<QQuickItem>(QStringLiteral("guideUpdate")));
        QTRY_VERIFY(shown(f, "guideFailure"));
        QVERIFY(text(f, "guideFailureText").contains(QLatin1String("503")));
        QVERIFY(!shown(f, "guideProgress"));

        FakeServer::Reply slow = FakeServer::Reply::json(xmltv(3));
        slow.delay = std::chrono::milliseconds(600);
        f.server.on(QStringLiteral("/xmltv.php"), slow);
        f.click(f.find<QQuickItem>(QStringLiteral("guideRetry")));
        QTRY_VERIFY(shown(f, "guideProgress"));
        QVERIFY(text(f, "guideProgressText").startsWith(QStringLiteral("Updating guide…")));
        QVERIFY(!shown(f, "guideFailure"));
        QTRY_VERIFY(!shown(f, "guideProgress"));
        QVERIFY(!shown(f, "guideFailure"));
        QTRY_COMPARE(focusedTitle(f), QStringLiteral("c1 30"));
        QVERIFY(text(f, "guideUpdated").startsWith(QStringLiteral("Updated today at")));
    }
};

QTEST_MAIN(TestGuideView)
#include "tst_guideview.moc"
