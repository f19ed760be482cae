#include "store/guidegridrules.h"

#include <QtTest>

using namespace GuideGridRules;

namespace {

constexpr qint64 minute = 60;
constexpr qint64 hour = 3600;
constexpr qint64 t0 = 1714521600; // 2024-05-01 00:00 UTC

GuideProgram program(qint64 start, qint64 stop, const QString &title = {})
{
    GuideProgram p;
    p.start = start;
    p.stop = stop;
    p.title = title;
    return p;
}

// Three channels:
//   row 0: 20:00–21:00 A, 21:00–21:30 B, 21:30–23:00 C
//   row 1: 18:00–22:00 Long, then nothing known
//   row 2: no guide at all
QList<GuideProgram> rowOf(int row)
{
    const qint64 h20 = t0 + 20 * hour;
    if (row == 0)
        return {program(h20, h20 + hour, QStringLiteral("A")), program(h20 + hour, h20 + 90 * minute, QStringLiteral("B")),
                program(h20 + 90 * minute, h20 + 3 * hour, QStringLiteral("C"))};
    if (row == 1)
        return {program(t0 + 18 * hour, t0 + 22 * hour, QStringLiteral("Long"))};
    return {};
}

Bounds bounds()
{
    Bounds b;
    b.rows = 3;
    b.pageRows = 2;
    b.earliest = t0;
    b.latest = t0 + 3 * 86400;
    b.now = t0 + 20 * hour + 40 * minute;
    return b;
}

MediaItem channel(bool archive, qint64 days)
{
    MediaItem item;
    item.id = QStringLiteral("7");
    item.kind = MediaItem::Kind::live;
    item.tvArchive = archive;
    item.archiveDays = days;
    return item;
}

} // namespace

Q_DECLARE_METATYPE(std::optional<Cell>)
Q_DECLARE_METATYPE(GuideGridRules::Move)
Q_DECLARE_METATYPE(GuideGridRules::Focus)
Q_DECLARE_METATYPE(GuideGridRules::Action)

// The guide grid's rules: geometry, time marks, the keyboard and Enter.
class TestGuideGridRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cells_data()
    {
        QTest::addColumn<qint64>("start");
        QTest::addColumn<qint64>("stop");
        QTest::addColumn<std::optional<Cell>>("cell");
        // The grid: t0 + 1 h to t0 + 5 h at 4 px a minute (960 px), cells at least 6 px wide.
        const qint64 s = t0 + hour;
        QTest::newRow("inside") << s + 30 * minute << s + 90 * minute << std::optional(Cell{120, 240, false, false});
        QTest::newRow("begun before the grid") << s - 30 * minute << s + 30 * minute << std::optional(Cell{0, 120, true, false});
        QTest::newRow("running past the end") << s + 210 * minute << s + 300 * minute << std::optional(Cell{840, 120, false, true});
        QTest::newRow("wider than the grid") << s - hour << s + 5 * hour << std::optional(Cell{0, 960, true, true});
        QTest::newRow("a minute: the minimum width") << s + 60 * minute << s + 61 * minute << std::optional(Cell{240, 6, false, false});
        QTest::newRow("a minute at the very end stays inside") << s + 4 * hour - minute << s + 4 * hour << std::optional(Cell{954, 6, false, false});
        QTest::newRow("ends where the grid starts") << s - hour << s << std::optional<Cell>();
        QTest::newRow("starts where the grid ends") << s + 4 * hour << s + 5 * hour << std::optional<Cell>();
        QTest::newRow("stop before start") << s + hour << s + 30 * minute << std::optional<Cell>();
    }

    void cells()
    {
        QFETCH(qint64, start);
        QFETCH(qint64, stop);
        QFETCH(std::optional<Cell>, cell);
        const Scale scale{t0 + hour, t0 + 5 * hour, 4, 6};
        QCOMPARE(GuideGridRules::cell(start, stop, scale), cell);
    }

    void nowLineAndPositions()
    {
        const Scale scale{t0, t0 + 6 * hour, 3, 6};
        QCOMPARE(nowX(t0 + 90 * minute, scale), std::optional(270.0));
        QCOMPARE(nowX(t0 - 1, scale), std::nullopt);
        QCOMPARE(nowX(t0 + 7 * hour, scale), std::nullopt);
        QCOMPARE(width(scale), 1080.0);
        QCOMPARE(timeAt(270, scale), t0 + 90 * minute);
    }

    void ticks_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<qint64>("from");
        QTest::addColumn<qint64>("to");
        QTest::addColumn<QStringList>("labels");
        QTest::addColumn<qint64>("firstTick");
        QTest::newRow("UTC") << QByteArray("UTC") << t0 + 10 * minute << t0 + 2 * hour << QStringList({"00:30", "01:00", "01:30", "02:00"})
                             << t0 + 30 * minute;
        QTest::newRow("on a mark") << QByteArray("UTC") << t0 << t0 + hour << QStringList({"00:00", "00:30", "01:00"}) << t0;
        QTest::newRow("India, half an hour off") << QByteArray("Asia/Kolkata") << t0 << t0 + hour << QStringList({"05:30", "06:00", "06:30"})
                                                 << t0;
        QTest::newRow("Nepal, three quarters off") << QByteArray("Asia/Kathmandu") << t0 << t0 + hour << QStringList({"06:00", "06:30"})
                                                   << t0 + 15 * minute;
        QTest::newRow("Newfoundland, behind") << QByteArray("America/St_Johns") << t0 << t0 + hour << QStringList({"21:30", "22:00", "22:30"})
                                              << t0;
        // 2024-03-31: at 01:00 UTC Berlin goes from 02:00 to 03:00.
        const qint64 changeDay = 1711846800;
        QTest::newRow("the clocks go forward") << QByteArray("Europe/Berlin") << changeDay - hour << changeDay + hour
                                               << QStringList({"01:00", "01:30", "03:00", "03:30", "04:00"}) << changeDay - hour;
    }

    void ticks()
    {
        QFETCH(QByteArray, zone);
        QFETCH(qint64, from);
        QFETCH(qint64, to);
        QFETCH(QStringList, labels);
        QFETCH(qint64, firstTick);
        const QTimeZone timeZone(zone);
        QVERIFY(timeZone.isValid());
        const Scale scale{from, to, 2, 6};
        const QList<Tick> ticks = halfHourTicks(from, to, scale, timeZone);
        QStringList shown;
        for (const Tick &tick : ticks)
            shown.append(tick.label);
        QCOMPARE(shown, labels);
        QCOMPARE(ticks.first().time, firstTick);
        QCOMPARE(ticks.first().x, xOf(firstTick, scale));
        QCOMPARE(ticks.first().fullHour, labels.first().endsWith(QStringLiteral(":00")));
    }

    void moves_data()
    {
        QTest::addColumn<Focus>("from");
        QTest::addColumn<Move>("move");
        QTest::addColumn<Focus>("to");
        const qint64 h20 = t0 + 20 * hour;
        QTest::newRow("right to the next programme") << Focus{0, h20 + 10 * minute} << Move::right << Focus{0, h20 + hour};
        QTest::newRow("left to the previous one") << Focus{0, h20 + 100 * minute} << Move::left << Focus{0, h20 + hour};
        QTest::newRow("left before the first: half an hour back") << Focus{0, h20 + 5 * minute} << Move::left
                                                                  << Focus{0, h20 - 30 * minute};
        QTest::newRow("left from an empty slot before: half an hour back") << Focus{0, h20 - 20 * minute} << Move::left
                                                                           << Focus{0, h20 - 30 * minute};
        QTest::newRow("left from the gap after: the last one") << Focus{0, h20 + 3 * hour + 10 * minute} << Move::left
                                                               << Focus{0, h20 + 90 * minute};
        QTest::newRow("right after the last: where it ends") << Focus{0, h20 + 2 * hour} << Move::right << Focus{0, h20 + 3 * hour};
        QTest::newRow("right past everything: half-hour steps") << Focus{0, h20 + 3 * hour + 10 * minute} << Move::right
                                                                << Focus{0, h20 + 3 * hour + 30 * minute};
        QTest::newRow("right on a row without guide") << Focus{2, h20 + 10 * minute} << Move::right << Focus{2, h20 + 30 * minute};
        QTest::newRow("left on a row without guide") << Focus{2, h20 + 10 * minute} << Move::left << Focus{2, h20};
        QTest::newRow("down keeps the time") << Focus{0, h20 + 100 * minute} << Move::down << Focus{1, h20 + 100 * minute};
        QTest::newRow("up keeps the time") << Focus{1, h20 + 100 * minute} << Move::up << Focus{0, h20 + 100 * minute};
        QTest::newRow("up from the first row stays") << Focus{0, h20} << Move::up << Focus{0, h20};
        QTest::newRow("down from the last row stays") << Focus{2, h20} << Move::down << Focus{2, h20};
        QTest::newRow("page down, clamped") << Focus{0, h20} << Move::pageDown << Focus{2, h20};
        QTest::newRow("page up, clamped") << Focus{1, h20} << Move::pageUp << Focus{0, h20};
        QTest::newRow("home: now") << Focus{1, t0 + 50 * hour} << Move::now << Focus{1, bounds().now};
        QTest::newRow("a day back") << Focus{0, t0 + 30 * hour} << Move::dayBack << Focus{0, t0 + 6 * hour};
        QTest::newRow("a day back, not before the grid") << Focus{0, t0 + 20 * hour} << Move::dayBack << Focus{0, t0};
        QTest::newRow("a day forward, not past the grid") << Focus{0, t0 + 60 * hour} << Move::dayForward
                                                          << Focus{0, t0 + 3 * 86400 - 1};
        // Into a long programme and out again: right goes by what the row holds, not the old time.
        QTest::newRow("right out of a long one") << Focus{1, h20 + 100 * minute} << Move::right << Focus{1, t0 + 22 * hour};
        QTest::newRow("left out of a long one") << Focus{1, h20 + 100 * minute} << Move::left << Focus{1, t0 + 17 * hour + 30 * minute};
    }

    void moves()
    {
        QFETCH(Focus, from);
        QFETCH(Move, move);
        QFETCH(Focus, to);
        QCOMPARE(GuideGridRules::move(from, move, bounds(), rowOf), to);
    }

    // Down, down and up again: the focus stays in its column of time.
    void straightDownTheGrid()
    {
        const qint64 h20 = t0 + 20 * hour;
        Focus focus{0, h20 + hour}; // B
        focus = GuideGridRules::move(focus, Move::down, bounds(), rowOf);
        QCOMPARE(rowOf(focus.row).value(*programmeAt(rowOf(focus.row), focus.time)).title, QStringLiteral("Long"));
        focus = GuideGridRules::move(focus, Move::up, bounds(), rowOf);
        QCOMPARE(rowOf(focus.row).value(*programmeAt(rowOf(focus.row), focus.time)).title, QStringLiteral("B"));
    }

    void programmeUnderTheFocus()
    {
        const QList<GuideProgram> row = rowOf(0);
        const qint64 h20 = t0 + 20 * hour;
        QCOMPARE(programmeAt(row, h20), std::optional<qsizetype>(0));
        QCOMPARE(programmeAt(row, h20 + hour - 1), std::optional<qsizetype>(0));
        QCOMPARE(programmeAt(row, h20 + hour), std::optional<qsizetype>(1));
        QCOMPARE(programmeAt(row, h20 - 1), std::nullopt);
        QCOMPARE(programmeAt(row, h20 + 3 * hour), std::nullopt);
        QCOMPARE(programmeAt({}, h20), std::nullopt);
    }

    void enter_data()
    {
        QTest::addColumn<qint64>("start");
        QTest::addColumn<qint64>("stop");
        QTest::addColumn<bool>("archive");
        QTest::addColumn<qint64>("archiveDays");
        QTest::addColumn<Action>("action");
        const qint64 now = bounds().now;
        QTest::newRow("on air: live") << now - 10 * minute << now + 10 * minute << true << qint64(3) << Action::playLive;
        QTest::newRow("just begun: live") << now << now + hour << false << qint64(0) << Action::playLive;
        QTest::newRow("over, in the archive: catch-up") << now - 2 * hour << now - hour << true << qint64(3) << Action::catchup;
        QTest::newRow("just over: catch-up") << now - hour << now << true << qint64(1) << Action::catchup;
        QTest::newRow("over, no archive: details") << now - 2 * hour << now - hour << false << qint64(3) << Action::details;
        QTest::newRow("older than the archive: details") << now - 4 * 86400 << now - 4 * 86400 + hour << true << qint64(3)
                                                         << Action::details;
        QTest::newRow("archive of 0 days counts as one") << now - 23 * hour << now - 22 * hour << true << qint64(0) << Action::catchup;
        QTest::newRow("started 25 hours ago, one day of archive") << now - 25 * hour << now - 24 * hour << true << qint64(1)
                                                                  << Action::details;
        QTest::newRow("later: details") << now + hour << now + 2 * hour << true << qint64(3) << Action::details;
    }

    void enter()
    {
        QFETCH(qint64, start);
        QFETCH(qint64, stop);
        QFETCH(bool, archive);
        QFETCH(qint64, archiveDays);
        QFETCH(Action, action);
        const GuideProgram p = program(start, stop);
        QCOMPARE(enterAction(&p, channel(archive, archiveDays), bounds().now, start), action);
    }

    void enterOnAnEmptySlot()
    {
        const qint64 now = bounds().now;
        QCOMPARE(enterAction(nullptr, channel(true, 3), now, now + 5 * minute), Action::playLive);
        QCOMPARE(enterAction(nullptr, channel(true, 3), now, now - 2 * hour), Action::none);
        QCOMPARE(enterAction(nullptr, channel(true, 3), now, now + 2 * hour), Action::none);
    }

    // The view scrolls as little as it can to show a focused cell that fits, and keeps the
    // focused time (and when near, the start) of a longer one in view; never past either end.
    void scrolling_data()
    {
        QTest::addColumn<double>("left");
        QTest::addColumn<double>("cellX");
        QTest::addColumn<double>("cellWidth");
        QTest::addColumn<double>("focusX");
        QTest::addColumn<double>("expected");
        // A view 600 wide over a grid 5,000 wide, margin 20.
        QTest::newRow("already in view") << 1000.0 << 1100.0 << 120.0 << 1100.0 << 1000.0;
        QTest::newRow("touching the left margin") << 1000.0 << 1010.0 << 120.0 << 1010.0 << 990.0;
        QTest::newRow("right of the view") << 1000.0 << 1700.0 << 120.0 << 1700.0 << 1240.0;
        QTest::newRow("far to the left") << 1000.0 << 200.0 << 120.0 << 200.0 << 180.0;
        QTest::newRow("at the grid's start") << 1000.0 << 0.0 << 120.0 << 0.0 << 0.0;
        QTest::newRow("at the grid's end") << 1000.0 << 4950.0 << 50.0 << 4950.0 << 4400.0;
        QTest::newRow("wide, focus in view") << 1000.0 << 500.0 << 2000.0 << 1300.0 << 1000.0;
        QTest::newRow("wide, focus near its start") << 3000.0 << 500.0 << 2000.0 << 600.0 << 480.0;
        QTest::newRow("wide, focus far into it") << 0.0 << 500.0 << 3000.0 << 2500.0 << 2350.0;
        QTest::newRow("exactly as wide as the view") << 0.0 << 1000.0 << 560.0 << 1000.0 << 980.0;
    }

    void scrolling()
    {
        QFETCH(double, left);
        QFETCH(double, cellX);
        QFETCH(double, cellWidth);
        QFETCH(double, focusX);
        QFETCH(double, expected);
        const View view{left, 600, 5000};
        QCOMPARE(scrollLeft(view, Cell{cellX, cellWidth}, focusX, 20), expected);
    }

    void scrollingANarrowGrid()
    {
        // The whole grid fits: nothing to scroll, whatever is asked.
        QCOMPARE(scrollLeft(View{0, 600, 400}, Cell{350, 40}, 350, 20), 0.0);
        QCOMPARE(scrollLeft(View{50, 0, 5000}, Cell{3000, 40}, 3000, 20), 50.0);
    }

    void opening_data()
    {
        QTest::addColumn<qint64>("now");
        QTest::addColumn<double>("expected");
        // 4 px a minute: 240 px an hour.
        QTest::newRow("mid half hour") << qint64(t0 + 20 * hour + 40 * minute) << (20 * 240.0);
        QTest::newRow("on the half hour") << qint64(t0 + 20 * hour + 30 * minute) << (20 * 240.0);
        QTest::newRow("just after the start") << qint64(t0 + 10 * minute) << 0.0;
        QTest::newRow("near the end") << qint64(t0 + 2 * 86400 - minute) << (48 * 240.0 - 600);
    }

    void opening()
    {
        QFETCH(qint64, now);
        QFETCH(double, expected);
        Scale scale;
        scale.origin = t0;
        scale.end = t0 + 2 * 86400;
        QCOMPARE(openingLeft(now, View{0, 600, width(scale)}, scale), expected);
    }

    // Days of the local clock: in a zone far from UTC, "today" is not UTC's day.
    void dayNames_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<qint64>("time");
        QTest::addColumn<QString>("expected");
        const qint64 now = t0 + 12 * hour; // Wed 1 May 2024, 12:00 UTC
        QTest::newRow("same day") << QByteArray("UTC") << qint64(now + 11 * hour) << "Today";
        QTest::newRow("next day") << QByteArray("UTC") << qint64(now + 13 * hour) << "Tomorrow";
        QTest::newRow("day before") << QByteArray("UTC") << qint64(now - 13 * hour) << "Yesterday";
        QTest::newRow("further ahead") << QByteArray("UTC") << qint64(now + 3 * 86400) << "Sat 4 May";
        QTest::newRow("further back") << QByteArray("UTC") << qint64(now - 5 * 86400) << "Fri 26 Apr";
        // 12:00 UTC is 02:00 of 2 May at UTC+14: three hours earlier is the day before there.
        QTest::newRow("far east") << QByteArray("Pacific/Kiritimati") << qint64(now + 11 * hour) << "Today";
        QTest::newRow("far east, three hours back") << QByteArray("Pacific/Kiritimati") << qint64(now - 3 * hour) << "Yesterday";
        QTest::newRow("UTC, three hours back") << QByteArray("UTC") << qint64(now - 3 * hour) << "Today";
    }

    void dayNames()
    {
        QFETCH(QByteArray, zone);
        QFETCH(qint64, time);
        QFETCH(QString, expected);
        const QTimeZone tz(zone);
        QVERIFY(tz.isValid());
        QCOMPARE(dayLabel(time, t0 + 12 * hour, tz), expected);
    }

    void updated_data()
    {
        QTest::addColumn<qint64>("when");
        QTest::addColumn<QString>("expected");
        const qint64 now = t0 + 12 * hour;
        QTest::newRow("today") << qint64(now - 2 * hour) << "Updated today at 10:00";
        QTest::newRow("just after midnight") << qint64(t0 + 5 * minute) << "Updated today at 00:05";
        QTest::newRow("yesterday") << qint64(now - 14 * hour) << "Updated yesterday at 22:00";
        QTest::newRow("days ago") << qint64(now - 4 * 86400) << "Updated Sat 27 Apr";
    }

    void updated()
    {
        QFETCH(qint64, when);
        QFETCH(QString, expected);
        QCOMPARE(updatedText(when, t0 + 12 * hour, QTimeZone::utc()), expected);
    }
};

QTEST_GUILESS_MAIN(TestGuideGridRules)
#include "tst_guidegridrules.moc"
