#include "idlechrome.h"
#include "playershortcuts.h"
#include "windowplacement.h"

#include "store/preferences.h"
#include "support/testsupport.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>
#include <QtTest>

using Action = PlayerShortcuts::Action;
using Playing = PlayerShortcuts::Playing;

class TestPlayerShortcuts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void actions_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<Playing>("playing");
        QTest::addColumn<bool>("keysShown");
        QTest::addColumn<bool>("fullScreen");
        QTest::addColumn<Action>("action");

        const int none = Qt::NoModifier;
        QTest::newRow("space pauses live") << int(Qt::Key_Space) << " " << none << Playing::Live << false << false << Action::PlayPause;
        QTest::newRow("media key pauses") << int(Qt::Key_MediaTogglePlayPause) << "" << none << Playing::Movie << false << false << Action::PlayPause;
        QTest::newRow("left jumps a movie") << int(Qt::Key_Left) << "" << none << Playing::Movie << false << false << Action::JumpBack;
        QTest::newRow("right jumps a recording") << int(Qt::Key_Right) << "" << none << Playing::Recording << false << false << Action::JumpForward;
        QTest::newRow("no jumps live") << int(Qt::Key_Left) << "" << none << Playing::Live << false << false << Action::None;
        QTest::newRow("up live") << int(Qt::Key_Up) << "" << none << Playing::Live << false << false << Action::VolumeUp;
        QTest::newRow("down movie") << int(Qt::Key_Down) << "" << none << Playing::Movie << false << false << Action::VolumeDown;
        QTest::newRow("m mutes") << int(Qt::Key_M) << "m" << none << Playing::Live << false << false << Action::Mute;
        QTest::newRow("shift m mutes") << int(Qt::Key_M) << "M" << int(Qt::ShiftModifier) << Playing::Live << false << false << Action::Mute;
        QTest::newRow("ctrl m is not ours") << int(Qt::Key_M) << "" << int(Qt::ControlModifier) << Playing::Movie << false << false << Action::None;
        QTest::newRow("alt f is not ours") << int(Qt::Key_F) << "" << int(Qt::AltModifier) << Playing::Movie << false << false << Action::None;
        QTest::newRow("home in a movie") << int(Qt::Key_Home) << "" << none << Playing::Movie << false << false << Action::ToStart;
        QTest::newRow("end in a movie") << int(Qt::Key_End) << "" << none << Playing::Movie << false << false << Action::ToEnd;
        QTest::newRow("no home live") << int(Qt::Key_Home) << "" << none << Playing::Live << false << false << Action::None;
        QTest::newRow("no end in a recording") << int(Qt::Key_End) << "" << none << Playing::Recording << false << false << Action::None;
        QTest::newRow("f11") << int(Qt::Key_F11) << "" << none << Playing::Live << false << false << Action::ToggleFullScreen;
        QTest::newRow("f in full screen") << int(Qt::Key_F) << "f" << none << Playing::Movie << false << true << Action::ToggleFullScreen;
        QTest::newRow("question mark") << int(Qt::Key_Question) << "?" << int(Qt::ShiftModifier) << Playing::Movie << false << false << Action::ToggleKeys;
        QTest::newRow("question mark on another key") << int(Qt::Key_Comma) << "?" << int(Qt::ShiftModifier) << Playing::Movie << true << false << Action::ToggleKeys;
        QTest::newRow("escape closes the keys first") << int(Qt::Key_Escape) << "" << none << Playing::Movie << true << true << Action::CloseKeys;
        QTest::newRow("escape leaves full screen") << int(Qt::Key_Escape) << "" << none << Playing::Movie << false << true << Action::LeaveFullScreen;
        QTest::newRow("escape leaves the player") << int(Qt::Key_Escape) << "" << none << Playing::Live << false << false << Action::Leave;
        QTest::newRow("tab is for focus") << int(Qt::Key_Tab) << "\t" << none << Playing::Movie << false << false << Action::None;
        QTest::newRow("return is for controls") << int(Qt::Key_Return) << "\r" << none << Playing::Movie << false << false << Action::None;
    }

    void actions()
    {
        QFETCH(int, key);
        QFETCH(QString, text);
        QFETCH(int, modifiers);
        QFETCH(Playing, playing);
        QFETCH(bool, keysShown);
        QFETCH(bool, fullScreen);
        QTEST(PlayerShortcuts::actionFor(key, text, Qt::KeyboardModifiers(modifiers), playing, keysShown, fullScreen), "action");
    }

    // The list shows only keys that work for what plays.
    void keyListFollowsWhatPlays_data()
    {
        QTest::addColumn<Playing>("playing");
        QTest::addColumn<bool>("jumps");
        QTest::addColumn<bool>("ends");
        QTest::newRow("live") << Playing::Live << false << false;
        QTest::newRow("recording") << Playing::Recording << true << false;
        QTest::newRow("movie") << Playing::Movie << true << true;
    }

    void keyListFollowsWhatPlays()
    {
        QFETCH(Playing, playing);
        QStringList keys;
        for (const PlayerShortcuts::KeyLine &line : PlayerShortcuts::keyLines(playing))
            keys.append(line.keys);
        QTEST(keys.contains(QStringLiteral("← →")), "jumps");
        QTEST(keys.contains(QStringLiteral("Home End")), "ends");
        QVERIFY(keys.contains(QStringLiteral("Space")));
        QVERIFY(keys.contains(QStringLiteral("?")));
    }

    // The press is done by the object itself: the keys list opens and closes, and the screen's
    // own requests are signalled in Escape's order.
    void escapeOrder()
    {
        PlayerShortcuts shortcuts;
        QSignalSpy leaveFullScreen(&shortcuts, &PlayerShortcuts::leaveFullScreenRequested);
        QSignalSpy leave(&shortcuts, &PlayerShortcuts::leaveRequested);
        QVERIFY(shortcuts.press(Qt::Key_Question, QStringLiteral("?"), Qt::ShiftModifier));
        QVERIFY(shortcuts.keysShown());
        shortcuts.setFullScreen(true);
        QVERIFY(shortcuts.press(Qt::Key_Escape, {}, Qt::NoModifier));
        QVERIFY(!shortcuts.keysShown());
        QCOMPARE(leaveFullScreen.count() + leave.count(), 0);
        QVERIFY(shortcuts.press(Qt::Key_Escape, {}, Qt::NoModifier));
        QCOMPARE(leaveFullScreen.count(), 1);
        shortcuts.setFullScreen(false);
        QVERIFY(shortcuts.press(Qt::Key_Escape, {}, Qt::NoModifier));
        QCOMPARE(leave.count(), 1);
        QVERIFY(!shortcuts.press(Qt::Key_A, QStringLiteral("a"), Qt::NoModifier));
    }

    void clamping_data()
    {
        QTest::addColumn<QRect>("saved");
        QTest::addColumn<QRect>("placed");
        // Two screens side by side: the primary 1920×1040 (a panel below) and 1280×1024 on its left.
        QTest::newRow("inside stays") << QRect(100, 80, 1200, 760) << QRect(100, 80, 1200, 760);
        QTest::newRow("over the right edge moves in") << QRect(1500, 100, 1200, 760) << QRect(720, 100, 1200, 760);
        QTest::newRow("under the panel moves up") << QRect(100, 700, 1200, 760) << QRect(100, 280, 1200, 760);
        QTest::newRow("on the left screen") << QRect(-1200, 50, 1000, 700) << QRect(-1200, 50, 1000, 700);
        QTest::newRow("mostly on the left screen") << QRect(-1000, 50, 1200, 700) << QRect(-1200, 50, 1200, 700);
        QTest::newRow("taller than the screen shrinks") << QRect(0, 0, 1000, 2000) << QRect(0, 0, 1000, 1040);
        QTest::newRow("on a screen that is gone") << QRect(4000, 100, 1200, 760) << QRect(360, 140, 1200, 760);
        QTest::newRow("too small grows") << QRect(10, 10, 100, 100) << QRect(10, 10, 820, 520);
    }

    void clamping()
    {
        QFETCH(QRect, saved);
        const QList<QRect> screens{QRect(0, 0, 1920, 1040), QRect(-1280, 0, 1280, 1024)};
        QTEST(WindowPlacement::clamped(saved, screens, QSize(820, 520)), "placed");
    }

    // A window's frame and full-screen state outlive it; the next run's window takes them up.
    void placementOutlivesTheRun()
    {
        TestSupport::TempFolder folder;
        const QString file = folder.file(QStringLiteral("mavu.ini"));
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        const QRect frame(available.topLeft() + QPoint(30, 40), QSize(400, 300));
        {
            auto preferences = std::make_shared<Preferences>(file);
            auto window = std::make_unique<QWindow>();
            WindowPlacement::remember(window.get(), preferences);
            window->setGeometry(frame);
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window.get()));
            window->setGeometry(frame);
            QTRY_COMPARE(window->geometry(), frame);
            WindowPlacement::toggleFullScreen(window.get());
            QTRY_VERIFY(WindowPlacement::isFullScreen(window.get()));
        }
        {
            auto preferences = std::make_shared<Preferences>(file);
            QCOMPARE(preferences->windowGeometry().value_or(QRect()), frame); // not the full screen's
            QVERIFY(preferences->windowFullScreen());
            auto window = std::make_unique<QWindow>();
            WindowPlacement::remember(window.get(), preferences);
            QVERIFY(WindowPlacement::isFullScreen(window.get()));
            QVERIFY(QTest::qWaitForWindowExposed(window.get()));
            WindowPlacement::toggleFullScreen(window.get());
            QTRY_VERIFY(!WindowPlacement::isFullScreen(window.get()));
        }
        auto preferences = std::make_shared<Preferences>(file);
        QVERIFY(!preferences->windowFullScreen());
        QWindow window;
        WindowPlacement::remember(&window, preferences);
        QCOMPARE(window.geometry(), frame);
        QVERIFY(!WindowPlacement::isFullScreen(&window));
    }

    // Leaving full screen goes back to a maximised window when it was maximised.
    void leavingFullScreenRestoresMaximised()
    {
        QWindow window;
        window.showMaximized();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        WindowPlacement::toggleFullScreen(&window);
        QVERIFY(WindowPlacement::isFullScreen(&window));
        WindowPlacement::leaveFullScreen(&window);
        QVERIFY(window.windowStates().testFlag(Qt::WindowMaximized));
        QVERIFY(!WindowPlacement::isFullScreen(&window));
        WindowPlacement::leaveFullScreen(&window); // nothing to leave
        QVERIFY(window.windowStates().testFlag(Qt::WindowMaximized));
    }
    // The controls over full-screen video, with a short rest: "on"/"off" full screen, "wait"
    // longer than the rest, "move" to a new place, "stay" a report of the last place again,
    // "key" a key press.
    void idleChrome_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<bool>("resting");
        QTest::newRow("rest in full screen hides") << QStringList{"on", "wait"} << false << true;
        QTest::newRow("never outside full screen") << QStringList{"move", "wait"} << true << false;
        QTest::newRow("movement wakes") << QStringList{"on", "wait", "move"} << true << false;
        QTest::newRow("a repeated place is no movement") << QStringList{"move", "on", "wait", "stay"} << false << true;
        QTest::newRow("a key wakes") << QStringList{"on", "wait", "key"} << true << false;
        QTest::newRow("woken, it rests again") << QStringList{"on", "wait", "move", "wait"} << false << true;
        QTest::newRow("leaving full screen brings all back") << QStringList{"on", "wait", "off"} << true << false;
        QTest::newRow("leaving stops the rest") << QStringList{"on", "off", "wait"} << true << false;
    }

    void idleChrome()
    {
        QFETCH(QStringList, steps);
        IdleChrome chrome;
        chrome.setRestAfter(30);
        QPointF place(10, 10);
        for (const QString &step : steps) {
            if (step == QLatin1String("on") || step == QLatin1String("off"))
                chrome.setActive(step == QLatin1String("on"));
            else if (step == QLatin1String("wait"))
                QTest::qWait(120);
            else if (step == QLatin1String("move"))
                chrome.pointerAt(place += QPointF(5, 0));
            else if (step == QLatin1String("stay"))
                chrome.pointerAt(place);
            else if (step == QLatin1String("key"))
                chrome.wake();
        }
        QTEST(chrome.shown(), "shown");
        QTEST(chrome.pointerResting(), "resting");
    }
};

QTEST_MAIN(TestPlayerShortcuts)
#include "tst_playershortcuts.moc"
