#include "guidegridrules.h"

#include <QDateTime>
#include <QLocale>

#include <algorithm>
#include <cmath>

namespace GuideGridRules {

namespace {

constexpr qint64 halfHour = 1800;
constexpr qint64 day = 86400;

qint64 floorTo(qint64 value, qint64 step)
{
    const qint64 q = value / step;
    return (value % step != 0 && value < 0 ? q - 1 : q) * step;
}

} // namespace

double xOf(qint64 time, const Scale &scale)
{
    return double(time - scale.origin) / 60.0 * scale.pixelsPerMinute;
}

qint64 timeAt(double x, const Scale &scale)
{
    if (scale.pixelsPerMinute <= 0)
        return scale.origin;
    return scale.origin + qint64(std::floor(x / scale.pixelsPerMinute * 60.0));
}

double width(const Scale &scale)
{
    return std::max(0.0, xOf(scale.end, scale));
}

std::optional<Cell> cell(qint64 start, qint64 stop, const Scale &scale)
{
    if (stop <= scale.origin || start >= scale.end || stop <= start)
        return std::nullopt;
    Cell result;
    result.clippedStart = start < scale.origin;
    result.clippedEnd = stop > scale.end;
    const double left = xOf(std::max(start, scale.origin), scale);
    const double right = xOf(std::min(stop, scale.end), scale);
    result.x = left;
    result.width = std::max(right - left, scale.minimumWidth);
    // A short programme at the very end is kept inside the grid.
    const double gridWidth = width(scale);
    if (result.x + result.width > gridWidth)
        result.x = std::max(0.0, gridWidth - result.width);
    return result;
}

std::optional<double> nowX(qint64 now, const Scale &scale)
{
    if (now < scale.origin || now > scale.end)
        return std::nullopt;
    return xOf(now, scale);
}

QList<Tick> halfHourTicks(qint64 from, qint64 to, const Scale &scale, const QTimeZone &zone)
{
    QList<Tick> ticks;
    if (to < from)
        return ticks;
    // Half hours of the local clock: the offset of each moment moves the marks, so that a
    // zone at +05:45 gets its marks at :15 and :45 UTC and a change of clocks is followed.
    qint64 t = from;
    while (t <= to) {
        const int offset = QDateTime::fromSecsSinceEpoch(t, zone).offsetFromUtc();
        qint64 mark = floorTo(t + offset, halfHour) - offset;
        if (mark < t)
            mark += halfHour;
        // The offset may differ at the mark itself (the clocks changed in between).
        const int offsetAtMark = QDateTime::fromSecsSinceEpoch(mark, zone).offsetFromUtc();
        if (offsetAtMark != offset) {
            mark = floorTo(mark + offsetAtMark, halfHour) - offsetAtMark;
            if (mark < t)
                mark += halfHour;
        }
        if (mark > to)
            break;
        const QDateTime local = QDateTime::fromSecsSinceEpoch(mark, zone);
        if (ticks.isEmpty() || ticks.last().time != mark) {
            ticks.append(Tick{mark, xOf(mark, scale), local.toString(QStringLiteral("HH:mm")), local.time().minute() == 0});
        }
        t = mark + 1;
    }
    return ticks;
}

std::optional<qsizetype> programmeAt(const QList<GuideProgram> &row, qint64 time)
{
    // The last programme that starts by `time`, if it is still running then.
    const auto after = std::upper_bound(row.cbegin(), row.cend(), time,
                                        [](qint64 t, const GuideProgram &program) { return t < program.start; });
    if (after == row.cbegin())
        return std::nullopt;
    const auto candidate = std::prev(after);
    if (time < candidate->stop)
        return qsizetype(candidate - row.cbegin());
    return std::nullopt;
}

Focus move(Focus focus, Move move, const Bounds &bounds, const RowProgrammes &programmes)
{
    const auto clampTime = [&](qint64 time) {
        return bounds.latest > bounds.earliest ? std::clamp(time, bounds.earliest, bounds.latest - 1) : time;
    };
    const auto clampRow = [&](int row) { return bounds.rows > 0 ? std::clamp(row, 0, bounds.rows - 1) : 0; };
    focus.row = clampRow(focus.row);

    switch (move) {
    case Move::up:
        focus.row = clampRow(focus.row - 1);
        break;
    case Move::down:
        focus.row = clampRow(focus.row + 1);
        break;
    case Move::pageUp:
        focus.row = clampRow(focus.row - std::max(1, bounds.pageRows));
        break;
    case Move::pageDown:
        focus.row = clampRow(focus.row + std::max(1, bounds.pageRows));
        break;
    case Move::now:
        focus.time = bounds.now;
        break;
    case Move::dayBack:
        focus.time -= day;
        break;
    case Move::dayForward:
        focus.time += day;
        break;
    case Move::left: {
        // The programme before the focused one (or before the empty slot), gaps skipped.
        const QList<GuideProgram> row = programmes ? programmes(focus.row) : QList<GuideProgram>();
        const auto current = programmeAt(row, focus.time);
        const qint64 here = current ? row.at(*current).start : focus.time;
        const auto before = std::lower_bound(row.cbegin(), row.cend(), here,
                                             [](const GuideProgram &program, qint64 t) { return program.start < t; });
        focus.time = before != row.cbegin() ? std::prev(before)->start : floorTo(here - 1, halfHour);
        break;
    }
    case Move::right: {
        // The programme after the focused one (or after the empty slot), gaps skipped.
        const QList<GuideProgram> row = programmes ? programmes(focus.row) : QList<GuideProgram>();
        const auto current = programmeAt(row, focus.time);
        const qint64 here = current ? row.at(*current).stop : focus.time + 1;
        const auto next = std::lower_bound(row.cbegin(), row.cend(), here,
                                           [](const GuideProgram &program, qint64 t) { return program.start < t; });
        if (next != row.cend())
            focus.time = next->start;
        else
            focus.time = current ? here : floorTo(focus.time, halfHour) + halfHour;
        break;
    }
    }
    focus.time = clampTime(focus.time);
    return focus;
}

Action enterAction(const GuideProgram *programme, const MediaItem &channel, qint64 now, qint64 focusTime)
{
    if (!programme)
        return floorTo(focusTime, halfHour) == floorTo(now, halfHour) ? Action::playLive : Action::none;
    if (programme->start <= now && now < programme->stop)
        return Action::playLive;
    if (programme->stop <= now) {
        // The same window the catch-up list keeps: started within the archive's days.
        const qint64 window = std::max<qint64>(channel.archiveDays, 1) * day;
        if (channel.tvArchive && now - programme->start < window)
            return Action::catchup;
    }
    return Action::details;
}

double scrollLeft(const View &view, const Cell &cell, double focusX, double margin)
{
    if (view.width <= 0)
        return view.left;
    double left = view.left;
    const double right = view.left + view.width;
    if (cell.width + 2 * margin <= view.width) {
        if (cell.x - margin < left)
            left = cell.x - margin;
        else if (cell.x + cell.width + margin > right)
            left = cell.x + cell.width + margin - view.width;
    } else if (focusX < left + margin || focusX > right - margin) {
        left = std::max(cell.x - margin, focusX - view.width / 4);
    }
    return std::clamp(left, 0.0, std::max(0.0, view.contentWidth - view.width));
}

double openingLeft(qint64 now, const View &view, const Scale &scale)
{
    const double left = xOf(floorTo(now, halfHour) - halfHour, scale);
    return std::clamp(left, 0.0, std::max(0.0, view.contentWidth - view.width));
}

QString dayLabel(qint64 time, qint64 now, const QTimeZone &zone)
{
    const QDate day = QDateTime::fromSecsSinceEpoch(time, zone).date();
    const qint64 days = QDateTime::fromSecsSinceEpoch(now, zone).date().daysTo(day);
    if (days == 0)
        return QStringLiteral("Today");
    if (days == -1)
        return QStringLiteral("Yesterday");
    if (days == 1)
        return QStringLiteral("Tomorrow");
    // Fixed English names, as on the other browsing screens, whatever the system's locale.
    return QLocale(QLocale::English).toString(day, QStringLiteral("ddd d MMM"));
}

QString updatedText(qint64 when, qint64 now, const QTimeZone &zone)
{
    const QDateTime at = QDateTime::fromSecsSinceEpoch(when, zone);
    const qint64 days = QDateTime::fromSecsSinceEpoch(now, zone).date().daysTo(at.date());
    const QString time = at.toString(QStringLiteral("HH:mm"));
    if (days == 0)
        return QStringLiteral("Updated today at %1").arg(time);
    if (days == -1)
        return QStringLiteral("Updated yesterday at %1").arg(time);
    return QStringLiteral("Updated %1").arg(QLocale(QLocale::English).toString(at.date(), QStringLiteral("ddd d MMM")));
}

} // namespace GuideGridRules
