// The live section's decisions: channel numbers, when the preview plays, the title line, day
// chips, the catch-up panel's content, zapping along the list, and the preview filling the window
// and the screen.
#include "livepreviewstate.h"
#include "liverules.h"

#include <QtTest>

using PreviewAction = LiveRules::PreviewAction;

class TestLiveRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void channelNumber_data()
    {
        QTest::addColumn<qint64>("num");
        QTest::addColumn<int>("offset");
        QTest::addColumn<qint64>("shown");
        QTest::newRow("no number, third place") << qint64(0) << 2 << qint64(3);
        QTest::newRow("own number anywhere") << qint64(120) << 0 << qint64(120);
        QTest::newRow("own number 1 beats position") << qint64(1) << 40 << qint64(1);
        QTest::newRow("negative is no number") << qint64(-5) << 6 << qint64(7);
    }

    void channelNumber()
    {
        QFETCH(qint64, num);
        QFETCH(int, offset);
        QTEST(LiveRules::channelNumber(num, offset), "shown");
        QCOMPARE(LiveRules::itemNumber(MediaItem{.num = num}, offset), int(LiveRules::channelNumber(num, offset)));
    }

    void showsPreview_data()
    {
        QTest::addColumn<bool>("hasURL");
        QTest::addColumn<bool>("hasItem");
        QTest::addColumn<bool>("live");
        QTest::addColumn<bool>("catchup");
        QTest::addColumn<bool>("shows");
        QTest::newRow("a live channel") << true << true << true << false << true;
        QTest::newRow("its catch-up recording") << true << true << true << true << false;
        QTest::newRow("a movie") << true << true << false << false << false;
        QTest::newRow("nothing playing") << false << false << false << false << false;
        QTest::newRow("channel without an address") << false << true << true << false << false;
    }

    void showsPreview()
    {
        QFETCH(bool, hasURL);
        QFETCH(bool, hasItem);
        QFETCH(bool, live);
        QFETCH(bool, catchup);
        QTEST(LiveRules::showsPreview(hasURL ? QUrl(QStringLiteral("http://h/live/u/p/1.ts")) : QUrl(), hasItem, live, catchup), "shows");
    }

    void texts_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("chip");
        QTest::newRow("empty") << "" << " " << "";
        QTest::newRow("date key") << "2026-12-06" << "2026-12-06" << "12-06";
        QTest::newRow("short key whole") << "d1" << "d1" << "d1";
        QTest::newRow("exactly five") << "12-06" << "12-06" << "12-06";
        QTest::newRow("a space is a title") << " " << " " << " ";
    }

    void texts()
    {
        QFETCH(QString, input);
        QTEST(LiveRules::titleLine(input), "title");
        QTEST(LiveRules::dayChipText(input), "chip");
    }

    void catchupContent_data()
    {
        QTest::addColumn<bool>("loading");
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("failed");
        QTest::addColumn<LiveRules::CatchupContent>("shows");
        using C = LiveRules::CatchupContent;
        QTest::newRow("loading hides what was there") << true << 5 << false << C::Spinner;
        QTest::newRow("loading, nothing yet") << true << 0 << false << C::Spinner;
        QTest::newRow("Retry loads over the failure") << true << 0 << true << C::Spinner;
        QTest::newRow("nothing archived") << false << 0 << false << C::Empty;
        QTest::newRow("archive failed: never an empty list") << false << 0 << true << C::Failure;
        QTest::newRow("programmes") << false << 1 << false << C::Programs;
    }

    void catchupContent()
    {
        QFETCH(bool, loading);
        QFETCH(int, count);
        QFETCH(bool, failed);
        QTEST(LiveRules::catchupContent(loading, count, failed), "shows");
    }

    void dayRow()
    {
        const QStringList days{"2026-12-05", "2026-12-06", "2026-12-07"};
        QCOMPARE(LiveRules::dayRow(days, true, "2026-12-07"), 2);
        QCOMPARE(LiveRules::dayRow(days, false, "2026-12-07"), -1);
        QCOMPARE(LiveRules::dayRow(days, true, "2026-11-01"), -1);
        QCOMPARE(LiveRules::dayRow({}, true, ""), -1);
    }

    void zapRow_data()
    {
        QTest::addColumn<int>("current");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("delta");
        QTest::addColumn<int>("row");
        QTest::newRow("next") << 0 << 3 << 1 << 1;
        QTest::newRow("previous") << 2 << 3 << -1 << 1;
        QTest::newRow("past the end: no wrap") << 2 << 3 << 1 << -1;
        QTest::newRow("before the start: no wrap") << 0 << 3 << -1 << -1;
        QTest::newRow("playing channel not listed") << -1 << 3 << -1 << 0;
        QTest::newRow("list shrank under it") << 7 << 3 << 1 << 0;
        QTest::newRow("empty list") << -1 << 0 << 1 << -1;
        QTest::newRow("single channel") << 0 << 1 << 1 << -1;
    }

    void zapRow()
    {
        QFETCH(int, current);
        QFETCH(int, count);
        QFETCH(int, delta);
        QTEST(LiveRules::zapRow(current, count, delta), "row");
    }

    // Rows are found by id in the filtered view, not in the full list behind it.
    void rowsOfTheFilteredView()
    {
        FilteredItemsModel model(nullptr);
        QList<MediaItem> items;
        for (const char *id : {"10", "20", "30"})
            items.append(MediaItem{.id = QString::fromLatin1(id), .name = QString::fromLatin1(id)});
        model.replace(items, QList<qsizetype>{2, 0});
        QCOMPARE(LiveRules::rowOf(&model, QStringLiteral("30")), 0);
        QCOMPARE(LiveRules::rowOf(&model, QStringLiteral("10")), 1);
        QCOMPARE(LiveRules::rowOf(&model, QStringLiteral("20")), -1);
        QCOMPARE(LiveRules::rowOf(&model, QString()), -1);
        QCOMPARE(LiveRules::rowOf(nullptr, QStringLiteral("10")), -1);
        QCOMPARE(LiveRules::itemAt(&model, 1).id, QStringLiteral("10"));
        QCOMPARE(LiveRules::itemAt(&model, 2).id, QString());
        QCOMPARE(LiveRules::itemAt(&model, -1).id, QString());
    }

    void previewAction_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("filled");
        QTest::addColumn<bool>("fullScreen");
        QTest::addColumn<PreviewAction>("action");
        const int none = Qt::NoModifier;
        QTest::newRow("up zaps back") << int(Qt::Key_Up) << none << false << false << PreviewAction::ZapBack;
        QTest::newRow("page down zaps on, filled") << int(Qt::Key_PageDown) << none << true << false << PreviewAction::ZapOn;
        QTest::newRow("down zaps in full screen") << int(Qt::Key_Down) << none << true << true << PreviewAction::ZapOn;
        QTest::newRow("return fills") << int(Qt::Key_Return) << none << false << false << PreviewAction::Fill;
        QTest::newRow("keypad enter fills") << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << false << false << PreviewAction::Fill;
        QTest::newRow("return when filled does nothing") << int(Qt::Key_Return) << none << true << false << PreviewAction::None;
        QTest::newRow("f toggles full screen") << int(Qt::Key_F) << none << false << false << PreviewAction::ToggleFullScreen;
        QTest::newRow("shift f toggles too") << int(Qt::Key_F) << int(Qt::ShiftModifier) << true << true << PreviewAction::ToggleFullScreen;
        QTest::newRow("f11 toggles") << int(Qt::Key_F11) << none << true << false << PreviewAction::ToggleFullScreen;
        QTest::newRow("escape leaves full screen first") << int(Qt::Key_Escape) << none << true << true << PreviewAction::LeaveFullScreen;
        QTest::newRow("escape leaves a full screen it did not fill") << int(Qt::Key_Escape) << none << false << true << PreviewAction::LeaveFullScreen;
        QTest::newRow("escape then unfills") << int(Qt::Key_Escape) << none << true << false << PreviewAction::Unfill;
        QTest::newRow("escape in the columns is the screen's") << int(Qt::Key_Escape) << none << false << false << PreviewAction::None;
        QTest::newRow("ctrl f is the desktop's") << int(Qt::Key_F) << int(Qt::ControlModifier) << false << false << PreviewAction::None;
        QTest::newRow("alt up is the desktop's") << int(Qt::Key_Up) << int(Qt::AltModifier) << true << false << PreviewAction::None;
        QTest::newRow("left is the columns'") << int(Qt::Key_Left) << none << false << false << PreviewAction::None;
    }

    void previewAction()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(bool, filled);
        QFETCH(bool, fullScreen);
        QTEST(LiveRules::previewAction(key, Qt::KeyboardModifiers(modifiers), filled, fullScreen), "action");
    }

    // Steps on the preview, with a window that follows the requests at once: "enter", "f",
    // "esc", "down" and "up" are keys; "dbl" a double-click; "screen" the window going full screen
    // by itself (restored from the last run); "gone" the preview giving way to the placeholder;
    // "catchup" the catch-up panel opening.
    void previewFilling_data()
    {
        QTest::addColumn<bool>("shows");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<bool>("filled");
        QTest::addColumn<bool>("fullScreen");
        QTest::addColumn<QList<int>>("zaps");
        QTest::newRow("enter fills the window") << true << QStringList{"enter"} << true << false << QList<int>{};
        QTest::newRow("escape gives it back") << true << QStringList{"enter", "esc"} << false << false << QList<int>{};
        QTest::newRow("f fills the screen") << true << QStringList{"f"} << true << true << QList<int>{};
        QTest::newRow("f twice: the columns again") << true << QStringList{"f", "f"} << false << false << QList<int>{};
        QTest::newRow("double-click twice likewise") << true << QStringList{"dbl", "dbl"} << false << false << QList<int>{};
        QTest::newRow("filled before full screen stays filled after") << true << QStringList{"enter", "f", "f"} << true << false << QList<int>{};
        QTest::newRow("escape leaves full screen first") << true << QStringList{"f", "esc"} << true << false << QList<int>{};
        QTest::newRow("then the fill") << true << QStringList{"f", "esc", "esc"} << false << false << QList<int>{};
        QTest::newRow("zapping keeps the fill") << true << QStringList{"f", "down", "down", "up"} << true << true << QList<int>{1, 1, -1};
        QTest::newRow("the placeholder never fills") << false << QStringList{"enter", "f", "dbl"} << false << false << QList<int>{};
        QTest::newRow("the preview going ends the fill") << true << QStringList{"enter", "gone"} << false << false << QList<int>{};
        QTest::newRow("catch-up brings the columns and the window back") << true << QStringList{"f", "catchup"} << false << false << QList<int>{};
        QTest::newRow("full screen from the last run: f leaves it unfilled") << true << QStringList{"screen", "enter", "f"} << false << false << QList<int>{};
        QTest::newRow("full screen from the last run: escape leaves it") << true << QStringList{"screen", "esc"} << false << false << QList<int>{};
    }

    void previewFilling()
    {
        QFETCH(bool, shows);
        QFETCH(QStringList, steps);
        LivePreviewState state;
        state.setShowsPreview(shows);
        connect(&state, &LivePreviewState::enterFullScreenRequested, &state, [&state] { state.setFullScreen(true); });
        connect(&state, &LivePreviewState::leaveFullScreenRequested, &state, [&state] { state.setFullScreen(false); });
        QList<int> zaps;
        connect(&state, &LivePreviewState::zapRequested, &state, [&zaps](int delta) { zaps.append(delta); });
        const QHash<QString, int> keys{{"enter", Qt::Key_Return}, {"f", Qt::Key_F}, {"esc", Qt::Key_Escape},
                                       {"down", Qt::Key_Down}, {"up", Qt::Key_Up}};
        for (const QString &step : steps) {
            if (keys.contains(step))
                state.press(keys.value(step), Qt::NoModifier);
            else if (step == QLatin1String("dbl"))
                state.toggleFullScreen();
            else if (step == QLatin1String("screen"))
                state.setFullScreen(true);
            else if (step == QLatin1String("gone"))
                state.setShowsPreview(false);
            else if (step == QLatin1String("catchup"))
                state.setCatchupOpen(true);
        }
        QTEST(state.filled(), "filled");
        QTEST(state.fullScreen(), "fullScreen");
        QTEST(zaps, "zaps");
    }

    // Keys the preview does not use go on to the screen around it.
    void unusedKeysPassOn()
    {
        LivePreviewState state;
        QVERIFY(!state.press(Qt::Key_Escape, Qt::NoModifier));
        QVERIFY(!state.press(Qt::Key_Return, Qt::NoModifier)); // nothing plays
        state.setShowsPreview(true);
        QVERIFY(state.press(Qt::Key_Return, Qt::NoModifier));
        QVERIFY(!state.press(Qt::Key_Return, Qt::NoModifier));
        QVERIFY(!state.press(Qt::Key_Tab, Qt::NoModifier));
    }
};

QTEST_MAIN(TestLiveRules)
#include "tst_liverules.moc"
