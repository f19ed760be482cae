#pragma once

#include "model/records.h"
#include "store/guideprogram.h"

#include <QList>
#include <QString>
#include <QTimeZone>

#include <functional>
#include <optional>

// The decisions of the full guide grid (channels down, time across), apart from any view:
// where a programme's cell goes, where the line at "now" and the half-hour marks are, how
// the keyboard moves the focus, and what Enter does with a programme.
namespace GuideGridRules {

// How time maps to x: the grid starts at `origin` (x = 0) and ends at `end`.
struct Scale
{
    qint64 origin = 0; // seconds since 1970
    qint64 end = 0;
    double pixelsPerMinute = 4;
    double minimumWidth = 6; // a cell never gets narrower, so that it stays visible and clickable
};

double xOf(qint64 time, const Scale &scale);
qint64 timeAt(double x, const Scale &scale);
double width(const Scale &scale); // of the whole grid

struct Cell
{
    double x = 0;
    double width = 0;
    bool clippedStart = false; // began before the grid's start
    bool clippedEnd = false;   // runs past the grid's end
    friend bool operator==(const Cell &, const Cell &) = default;
};

// The cell of a programme from `start` to `stop`; nothing when it lies wholly outside.
std::optional<Cell> cell(qint64 start, qint64 stop, const Scale &scale);

// The x of the line at `now`; nothing when now lies outside the grid.
std::optional<double> nowX(qint64 now, const Scale &scale);

struct Tick
{
    qint64 time = 0;
    double x = 0;
    QString label; // "HH:mm" on the local clock
    bool fullHour = false;
    friend bool operator==(const Tick &, const Tick &) = default;
};

// A mark at every half hour of the local clock within [from, to] (zones half or three
// quarters of an hour off UTC included, and the days the clocks change).
QList<Tick> halfHourTicks(qint64 from, qint64 to, const Scale &scale, const QTimeZone &zone = QTimeZone::systemTimeZone());

// The day `time` falls in, as the time header names it: "Today", "Yesterday", "Tomorrow", or
// the weekday and date ("Wed 9 Dec") further off; days of the local clock.
QString dayLabel(qint64 time, qint64 now, const QTimeZone &zone = QTimeZone::systemTimeZone());

// When the stored guide was brought up to date: "Updated today at 10:42", "Updated yesterday at
// 21:05", or "Updated Wed 9 Dec" further back.
QString updatedText(qint64 when, qint64 now, const QTimeZone &zone = QTimeZone::systemTimeZone());

// --- the keyboard ---

enum class Move {
    left,       // the previous programme of the channel
    right,      // the next one
    up,         // the channel above, at the same time
    down,       // the channel below, at the same time
    pageUp,     // a screen of channels up
    pageDown,   // a screen of channels down
    now,        // back to the current time
    dayBack,    // the same time a day earlier
    dayForward, // the same time a day later
};

// The focus: a channel row and a time. The focused programme is the one running at that
// time on that channel; moving up and down keeps the time, so the focus runs straight down
// the grid instead of wandering to the start of each long programme.
struct Focus
{
    int row = 0;
    qint64 time = 0;
    friend bool operator==(const Focus &, const Focus &) = default;
};

struct Bounds
{
    int rows = 0;
    int pageRows = 1;
    qint64 earliest = 0; // the time focus stays within [earliest, latest)
    qint64 latest = 0;
    qint64 now = 0;
};

// The programmes of a row, ordered by start (whatever of them is loaded).
using RowProgrammes = std::function<QList<GuideProgram>(int row)>;

// The programme running at `time` in a row ordered by start; nothing in a gap.
std::optional<qsizetype> programmeAt(const QList<GuideProgram> &row, qint64 time);

// Where a key takes the focus. Where a row has no programme to go to (no guide, a gap, the
// end of what is known), left and right step by half an hour.
Focus move(Focus focus, Move move, const Bounds &bounds, const RowProgrammes &programmes);

enum class Action {
    none,
    playLive, // the programme runs now: the channel plays live
    catchup,  // it is over and within the channel's archive: the recording plays
    details,  // anything else: its details are shown
};

// The left edge a view scrolls to so that the focused cell shows: a cell that fits is brought in
// whole with `margin` to spare, by the shortest scroll; a cell wider than the view keeps the
// focused time in view, its start too when the time lies near it. Always within the grid.
struct View
{
    double left = 0;         // the x at the view's left edge
    double width = 0;        // the view's width
    double contentWidth = 0; // the grid's
};
double scrollLeft(const View &view, const Cell &cell, double focusX, double margin);

// Where a view first opens: half an hour before the half hour now falls in, so the programme on
// now shows from its start in most cases and the line at "now" sits near the left.
double openingLeft(qint64 now, const View &view, const Scale &scale);

// What Enter does on `programme` of `channel` (no programme: an empty slot at `focusTime`).
Action enterAction(const GuideProgram *programme, const MediaItem &channel, qint64 now, qint64 focusTime);

} // namespace GuideGridRules
