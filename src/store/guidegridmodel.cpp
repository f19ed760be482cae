#include "guidegridmodel.h"

#include <QDateTime>
#include <QPointer>

#include <algorithm>

namespace {

constexpr qint64 halfHour = 1800;
constexpr qint64 loadStep = 3 * 3600; // rows are read in whole blocks of hours, so that a small scroll reads nothing
constexpr qint64 daysAhead = 7;
// The view assumed until one says what it shows: rows are read for the opening before it is made.
constexpr int defaultPageRows = 16;
constexpr double defaultViewWidth = 1000;

qint64 floorTo(qint64 value, qint64 step)
{
    const qint64 q = value / step;
    return (value % step != 0 && value < 0 ? q - 1 : q) * step;
}

void startTask(QCoro::Task<> &&task)
{
    [[maybe_unused]] QCoro::Task<> started = std::move(task);
}

GuideGridRules::Move moveOf(GuideGridModel::Key key)
{
    using Move = GuideGridRules::Move;
    switch (key) {
    case GuideGridModel::Key::Left: return Move::left;
    case GuideGridModel::Key::Right: return Move::right;
    case GuideGridModel::Key::Up: return Move::up;
    case GuideGridModel::Key::Down: return Move::down;
    case GuideGridModel::Key::PageUp: return Move::pageUp;
    case GuideGridModel::Key::PageDown: return Move::pageDown;
    case GuideGridModel::Key::Home: return Move::now;
    case GuideGridModel::Key::DayBack: return Move::dayBack;
    case GuideGridModel::Key::DayForward: return Move::dayForward;
    }
    return Move::now;
}

} // namespace

GuideGridModel::GuideGridModel(QObject *parent)
    : QAbstractListModel(parent)
{
    resetSpan();
    m_focus.time = now();
    m_minute.setInterval(30 * 1000);
    connect(&m_minute, &QTimer::timeout, this, &GuideGridModel::tick);
    m_minute.start();
    m_descriptionDelay.setSingleShot(true);
    m_descriptionDelay.setInterval(150);
    connect(&m_descriptionDelay, &QTimer::timeout, this, [this] { startTask(readDescription()); });
}

void GuideGridModel::setClock(Clock clock)
{
    m_clock = std::move(clock);
    resetSpan();
    Q_EMIT geometryChanged();
    Q_EMIT nowChanged();
}

int GuideGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_channels.size());
}

QVariant GuideGridModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const int row = index.row();
    switch (role) {
    case ChannelRole:
        return QVariant::fromValue(m_channels.at(row));
    case CellsRole:
        return QVariant::fromValue(m_rows.at(row).cells);
    case LoadedRole:
        return m_rows.at(row).loaded;
    default:
        return {};
    }
}

QHash<int, QByteArray> GuideGridModel::roleNames() const
{
    return {{ChannelRole, "channel"}, {CellsRole, "cells"}, {LoadedRole, "loaded"}};
}

// --- the span of time and its geometry ---

void GuideGridModel::resetSpan()
{
    qint64 archiveDays = 1;
    for (const MediaItem &channel : std::as_const(m_channels)) {
        if (channel.tvArchive)
            archiveDays = std::max(archiveDays, channel.archiveDays);
    }
    const qint64 current = floorTo(now(), halfHour);
    m_scale.origin = current - archiveDays * 86400;
    m_scale.end = current + daysAhead * 86400;
    updateTicks();
    m_lastTick = now();
}

void GuideGridModel::updateTicks()
{
    m_ticks.clear();
    for (const GuideGridRules::Tick &tick : GuideGridRules::halfHourTicks(m_scale.origin, m_scale.end, m_scale))
        m_ticks.append(GuideTick{tick.x, tick.label, tick.fullHour});
}

void GuideGridModel::setPixelsPerMinute(double pixelsPerMinute)
{
    if (pixelsPerMinute <= 0 || m_scale.pixelsPerMinute == pixelsPerMinute)
        return;
    m_scale.pixelsPerMinute = pixelsPerMinute;
    updateTicks();
    updateAllCells();
    Q_EMIT geometryChanged();
    Q_EMIT nowChanged();
    Q_EMIT focusChanged();
}

double GuideGridModel::nowX() const
{
    return GuideGridRules::nowX(now(), m_scale).value_or(-1);
}

void GuideGridModel::setScrollX(double x)
{
    x = std::clamp(x, 0.0, std::max(0.0, contentWidth()));
    if (x == m_scrollX)
        return;
    m_scrollX = x;
    Q_EMIT scrollXChanged();
}

double GuideGridModel::focusX() const
{
    if (m_focusedProgram) {
        if (const auto cell = GuideGridRules::cell(m_focusedProgram->start, m_focusedProgram->stop, m_scale))
            return cell->x;
    }
    return GuideGridRules::xOf(m_focus.time, m_scale);
}

bool GuideGridModel::updateCells(int row)
{
    Row &data = m_rows[row];
    const MediaItem &channel = m_channels.at(row);
    const qint64 current = now();
    // The view's hours and a quarter of its width either side: a scroll finds the cells it
    // brings in already made, and the programmes further off make no faces.
    const double margin = std::max(120.0, (m_viewRight - m_viewLeft) / 4);
    const double left = m_viewLeft - margin;
    const double right = m_viewRight + margin;

    QList<GuideCell> placed(data.cells.size());
    QList<GuideCell> entering;
    for (const GuideProgram &program : std::as_const(data.programmes)) {
        const auto cell = GuideGridRules::cell(program.start, program.stop, m_scale);
        if (!cell || cell->x + cell->width < left || cell->x > right)
            continue;
        GuideCell out;
        out.filled = true;
        out.row = row;
        out.program = program;
        out.x = cell->x;
        out.width = cell->width;
        out.clippedStart = cell->clippedStart;
        out.clippedEnd = cell->clippedEnd;
        out.live = program.start <= current && current < program.stop;
        out.past = program.stop <= current;
        out.catchup = GuideGridRules::enterAction(&program, channel, current, program.start) == GuideGridRules::Action::catchup;
        // A programme that was a cell keeps its slot, so the face drawing it keeps its text.
        const auto kept = std::find_if(data.cells.cbegin(), data.cells.cend(), [&](const GuideCell &old) {
            return old.filled && old.program.start == program.start;
        });
        if (kept != data.cells.cend()) {
            const bool sameTimes = kept->program.stop == program.stop && kept->program.offsetMinutes == program.offsetMinutes;
            out.timeText = sameTimes ? kept->timeText : program.timeRange();
            placed[kept - data.cells.cbegin()] = std::move(out);
        } else {
            out.timeText = program.timeRange();
            entering.append(std::move(out));
        }
    }
    qsizetype free = 0;
    for (GuideCell &cell : entering) {
        while (free < placed.size() && placed.at(free).filled)
            ++free;
        if (free == placed.size())
            placed.append(GuideCell());
        placed[free] = std::move(cell);
    }
    while (!placed.isEmpty() && !placed.constLast().filled)
        placed.removeLast();
    if (placed == data.cells)
        return false;
    data.cells = std::move(placed);
    return true;
}

void GuideGridModel::updateAllCells()
{
    QList<int> changed;
    for (int row = 0; row < m_rows.size(); ++row) {
        if (m_rows.at(row).loaded && updateCells(row))
            changed.append(row);
    }
    emitRows(changed, {CellsRole});
}

void GuideGridModel::emitRows(const QList<int> &rows, const QList<int> &roles)
{
    for (qsizetype i = 0; i < rows.size();) {
        qsizetype j = i;
        while (j + 1 < rows.size() && rows.at(j + 1) == rows.at(j) + 1)
            ++j;
        Q_EMIT dataChanged(index(rows.at(i)), index(rows.at(j)), roles);
        i = j + 1;
    }
}

void GuideGridModel::tick()
{
    const qint64 current = now();
    if (current / 60 == m_lastTick / 60)
        return;
    m_lastTick = current;
    Q_EMIT nowChanged();
    updateAllCells();
}

// --- rows ---

void GuideGridModel::setChannels(const QList<MediaItem> &channels)
{
    if (channels == m_channels)
        return;
    beginResetModel();
    m_channels = channels;
    m_rows = QList<Row>(channels.size());
    ++m_epoch;
    resetSpan();
    endResetModel();
    Q_EMIT channelsChanged();
    Q_EMIT geometryChanged();
    Q_EMIT nowChanged();
    m_focus = GuideGridRules::Focus{0, now()};
    m_focusedProgram.reset();
    Q_EMIT focusChanged();
    // The view opens at the top and near now: its first rows are read while it is being made.
    // No rows (a hidden grid) keep the view's size for the next ones.
    if (m_channels.isEmpty())
        return;
    const int page = m_lastRow >= m_firstRow ? m_lastRow - m_firstRow : defaultPageRows - 1;
    const double width = m_viewRight > m_viewLeft ? m_viewRight - m_viewLeft : defaultViewWidth;
    m_firstRow = 0;
    m_lastRow = std::min(page, int(m_channels.size()) - 1);
    const double left = openingLeft(width);
    setViewSpan(left, left + width);
    loadWanted();
}

QList<GuideProgram> GuideGridModel::programmesOf(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).programmes : QList<GuideProgram>();
}

bool GuideGridModel::isLoaded(int row) const
{
    return row >= 0 && row < m_rows.size() && m_rows.at(row).loaded;
}

void GuideGridModel::reload()
{
    ++m_epoch;
    bool any = false;
    for (Row &row : m_rows) {
        any = any || row.loaded;
        row = Row();
    }
    if (any)
        Q_EMIT dataChanged(index(0), index(int(m_rows.size()) - 1), {CellsRole, LoadedRole});
    updateFocusedProgram();
    loadWanted();
}

void GuideGridModel::setViewport(int firstRow, int lastRow, double left, double right)
{
    m_firstRow = std::max(0, firstRow);
    m_lastRow = std::min(lastRow, int(m_channels.size()) - 1);
    const double from = std::min(left, right);
    const double to = std::max(left, right);
    if (from != m_viewLeft || to != m_viewRight) {
        setViewSpan(from, to);
        updateAllCells();
    }
    loadWanted();
}

void GuideGridModel::setViewSpan(double left, double right)
{
    m_viewLeft = left;
    m_viewRight = right;
    m_viewFrom = GuideGridRules::timeAt(left, m_scale);
    m_viewTo = GuideGridRules::timeAt(right, m_scale);
}

void GuideGridModel::loadWanted()
{
    if (!m_loader || m_loading || m_channels.isEmpty() || m_lastRow < m_firstRow)
        return;
    const int rows = int(m_channels.size());
    const int page = m_lastRow - m_firstRow + 1;
    // A screen above and below is read ahead; three screens away, rows let go of their programmes.
    const int keepFirst = std::max(0, m_firstRow - page);
    const int keepLast = std::min(rows - 1, m_lastRow + page);
    const int holdFirst = std::max(0, m_firstRow - 3 * page);
    const int holdLast = std::min(rows - 1, m_lastRow + 3 * page);
    const qint64 from = std::max(m_scale.origin, floorTo(m_viewFrom, loadStep) - loadStep);
    const qint64 to = std::min(m_scale.end, floorTo(m_viewTo, loadStep) + 2 * loadStep);

    for (int row = 0; row < rows; ++row) {
        if ((row < holdFirst || row > holdLast) && m_rows.at(row).loaded) {
            m_rows[row] = Row();
            Q_EMIT dataChanged(index(row), index(row), {CellsRole, LoadedRole});
        }
    }
    // The rows in view are read on their own first: they show sooner, and the rows read
    // ahead arrive on a later frame rather than all in one.
    QList<int> wanted;
    const auto want = [&](int first, int last) {
        for (int row = first; row <= last; ++row) {
            const Row &data = m_rows.at(row);
            if (!data.loaded || data.from > from || data.to < to)
                wanted.append(row);
        }
    };
    want(std::max(0, m_firstRow), m_lastRow);
    if (wanted.isEmpty())
        want(keepFirst, keepLast);
    if (!wanted.isEmpty() && to > from)
        startTask(load(std::move(wanted), from, to));
}

QCoro::Task<> GuideGridModel::load(QList<int> rows, qint64 from, qint64 to)
{
    QPointer<GuideGridModel> self(this);
    const quint64 epoch = m_epoch;
    QStringList ids;
    ids.reserve(rows.size());
    for (const int row : std::as_const(rows))
        ids.append(m_channels.at(row).epgChannelId);
    m_loading = true;
    auto request = m_loader(ids, from, to);
    GuideWindow window = co_await request;
    if (!self)
        co_return;
    m_loading = false;
    if (epoch == m_epoch) {
        QList<int> changed;
        for (qsizetype i = 0; i < rows.size(); ++i) {
            const int row = rows.at(i);
            Row &data = m_rows[row];
            const bool wasLoaded = data.loaded;
            data.programmes = i < window.rows.size() ? window.rows.at(i) : QList<GuideProgram>();
            data.from = from;
            data.to = to;
            data.loaded = true;
            // A row read again for a moved window mostly keeps its cells: it tells nothing.
            if (updateCells(row) || !wasLoaded)
                changed.append(row);
        }
        emitRows(changed, {CellsRole, LoadedRole});
        updateFocusedProgram();
    }
    loadWanted();
}

// --- the focus ---

GuideGridRules::Bounds GuideGridModel::bounds() const
{
    GuideGridRules::Bounds bounds;
    bounds.rows = int(m_channels.size());
    bounds.pageRows = std::max(1, m_lastRow - m_firstRow);
    bounds.earliest = m_scale.origin;
    bounds.latest = m_scale.end;
    bounds.now = now();
    return bounds;
}

void GuideGridModel::updateFocusedProgram()
{
    std::optional<GuideProgram> focused;
    const QList<GuideProgram> row = programmesOf(m_focus.row);
    if (const auto at = GuideGridRules::programmeAt(row, m_focus.time))
        focused = row.at(*at);
    if (focused == m_focusedProgram)
        return;
    m_focusedProgram = std::move(focused);
    Q_EMIT focusChanged();
    ++m_descriptionRequest;
    setFocusedDescription(QString());
    if (m_focusedProgram && m_detailsLoader)
        m_descriptionDelay.start();
    else
        m_descriptionDelay.stop();
}

QCoro::Task<> GuideGridModel::readDescription()
{
    if (!m_focusedProgram || !m_detailsLoader || m_focus.row < 0 || m_focus.row >= m_channels.size())
        co_return;
    QPointer<GuideGridModel> self(this);
    const quint64 request = m_descriptionRequest;
    const int row = m_focus.row;
    auto read = m_detailsLoader(m_channels.at(row).epgChannelId, m_focusedProgram->start);
    const std::optional<GuideProgram> details = co_await read;
    // The focus may have moved on meanwhile: only the answer for where it rests counts.
    if (!self || request != m_descriptionRequest)
        co_return;
    setFocusedDescription(details ? details->desc : QString());
}

void GuideGridModel::setFocusedDescription(const QString &text)
{
    if (text == m_focusedDescription)
        return;
    m_focusedDescription = text;
    Q_EMIT focusedDescriptionChanged();
}

void GuideGridModel::setFocus(GuideGridRules::Focus focus)
{
    if (focus == m_focus)
        return;
    m_focus = focus;
    const auto before = m_focusedProgram;
    updateFocusedProgram();
    if (before == m_focusedProgram)
        Q_EMIT focusChanged(); // the row or time moved within the same programme
}

bool GuideGridModel::moveFocus(Key key)
{
    if (m_channels.isEmpty())
        return false;
    const GuideGridRules::Focus to = GuideGridRules::move(m_focus, moveOf(key), bounds(), [this](int row) { return programmesOf(row); });
    if (to == m_focus)
        return false;
    setFocus(to);
    return true;
}

bool GuideGridModel::handleKey(int key, int modifiers)
{
    const bool control = modifiers & Qt::ControlModifier;
    switch (key) {
    case Qt::Key_Left: return moveFocus(control ? Key::DayBack : Key::Left);
    case Qt::Key_Right: return moveFocus(control ? Key::DayForward : Key::Right);
    case Qt::Key_Up: return moveFocus(Key::Up);
    case Qt::Key_Down: return moveFocus(Key::Down);
    case Qt::Key_PageUp: return moveFocus(Key::PageUp);
    case Qt::Key_PageDown: return moveFocus(Key::PageDown);
    case Qt::Key_Home:
        moveFocus(Key::Home);
        return true; // even when the focus is at now already: the view still scrolls back to it
    case Qt::Key_Enter:
    case Qt::Key_Return:
        activate();
        return !m_channels.isEmpty();
    default: return false;
    }
}

double GuideGridModel::scrollFor(double left, double viewWidth, double margin) const
{
    const GuideGridRules::View view{left, viewWidth, contentWidth()};
    std::optional<GuideGridRules::Cell> cell;
    if (m_focusedProgram)
        cell = GuideGridRules::cell(m_focusedProgram->start, m_focusedProgram->stop, m_scale);
    // An empty slot shows as the half hour it falls in.
    if (!cell)
        cell = GuideGridRules::Cell{GuideGridRules::xOf(floorTo(m_focus.time, halfHour), m_scale), halfHour / 60.0 * m_scale.pixelsPerMinute};
    return GuideGridRules::scrollLeft(view, *cell, GuideGridRules::xOf(m_focus.time, m_scale), margin);
}

double GuideGridModel::openingLeft(double viewWidth) const
{
    return GuideGridRules::openingLeft(now(), GuideGridRules::View{0, viewWidth, contentWidth()}, m_scale);
}

QString GuideGridModel::dayAt(double x) const
{
    return GuideGridRules::dayLabel(GuideGridRules::timeAt(x, m_scale), now());
}

QString GuideGridModel::dayOf(qint64 time) const
{
    return GuideGridRules::dayLabel(time, now());
}

QString GuideGridModel::updatedText(const QDateTime &when) const
{
    return GuideGridRules::updatedText(when.toSecsSinceEpoch(), now());
}

void GuideGridModel::focusAt(int row, double x)
{
    if (m_channels.isEmpty())
        return;
    const GuideGridRules::Bounds limits = bounds();
    GuideGridRules::Focus focus{std::clamp(row, 0, limits.rows - 1),
                                std::clamp(GuideGridRules::timeAt(x, m_scale), limits.earliest, limits.latest - 1)};
    setFocus(focus);
}

void GuideGridModel::activate()
{
    if (m_focus.row < 0 || m_focus.row >= m_channels.size())
        return;
    const MediaItem channel = m_channels.at(m_focus.row);
    const GuideProgram *program = m_focusedProgram ? &*m_focusedProgram : nullptr;
    switch (GuideGridRules::enterAction(program, channel, now(), m_focus.time)) {
    case GuideGridRules::Action::none:
        break;
    case GuideGridRules::Action::playLive:
        Q_EMIT playRequested(channel);
        break;
    case GuideGridRules::Action::catchup:
        Q_EMIT catchupRequested(channel, program->toEpgProgram(channel.epgChannelId));
        break;
    case GuideGridRules::Action::details:
        startTask(requestDetails(channel, *program));
        break;
    }
}

QString GuideGridModel::enterText() const
{
    if (m_focus.row < 0 || m_focus.row >= m_channels.size())
        return {};
    const GuideProgram *program = m_focusedProgram ? &*m_focusedProgram : nullptr;
    switch (GuideGridRules::enterAction(program, m_channels.at(m_focus.row), now(), m_focus.time)) {
    case GuideGridRules::Action::none: return {};
    case GuideGridRules::Action::playLive: return QStringLiteral("Watch live");
    case GuideGridRules::Action::catchup: return QStringLiteral("Play from the archive");
    case GuideGridRules::Action::details: return QStringLiteral("Show details");
    }
    return {};
}

QCoro::Task<> GuideGridModel::requestDetails(MediaItem channel, GuideProgram program)
{
    if (m_detailsLoader) {
        QPointer<GuideGridModel> self(this);
        auto request = m_detailsLoader(channel.epgChannelId, program.start);
        const std::optional<GuideProgram> details = co_await request;
        if (!self)
            co_return;
        if (details)
            program.desc = details->desc;
    }
    Q_EMIT detailsRequested(channel, program);
}
