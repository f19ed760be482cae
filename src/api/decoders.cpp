#include "decoders.h"

#include "api/hugepages.h"
#include "api/jsondocument.h"

#include <QFuture>
#include <QMutex>
#include <QSet>
#include <QStringDecoder>
#include <QThread>
#include <QThreadPool>
#include <QWaitCondition>
#include <QtConcurrent/QtConcurrentRun>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <vector>

using JsonRead::Field;

namespace MavuAPI::decode {

std::optional<simdjson::dom::array> objectRows(const Field &root)
{
    if (!JsonRead::isArrayOfObjects(root))
        return std::nullopt;
    return JsonRead::asArray(*root);
}

QList<Category> categories(const Field &root)
{
    QList<Category> result;
    const auto rows = objectRows(root);
    if (!rows)
        return result;
    static constexpr std::array<std::string_view, 2> keys{"category_id", "category_name"};
    JsonRead::Row<2> row(keys);
    result.reserve(qsizetype(rows->size()));
    for (const JsonRead::Element element : *rows) {
        row.read(JsonRead::asObject(element));
        result.append(Category{JsonRead::str(row[0]), JsonRead::str(row[1])});
    }
    return result;
}

namespace {

enum LiveKey { lStreamId, lName, lCategory, lIcon, lNum, lEpg, lArchive, lArchiveDays, liveKeyCount };
constexpr std::array<std::string_view, liveKeyCount> liveKeys{
    "stream_id", "name", "category_id", "stream_icon", "num", "epg_channel_id", "tv_archive", "tv_archive_duration"};

enum MovieKey { mStreamId, mName, mCategory, mIcon, mExtension, mAdded, mRating, movieKeyCount };
constexpr std::array<std::string_view, movieKeyCount> movieKeys{
    "stream_id", "name", "category_id", "stream_icon", "container_extension", "added", "rating_5based"};

enum SeriesKey {
    sSeriesId, sName, sCategory, sCover, sModified, sRating, sPlot, sCast, sDirector, sGenre, sRelease, sTrailer,
    seriesKeyCount
};
constexpr std::array<std::string_view, seriesKeyCount> seriesKeys{
    "series_id", "name", "category_id", "cover", "last_modified", "rating_5based",
    "plot", "cast", "director", "genre", "releaseDate", "youtube_trailer"};

// Whole catalogues run to hundreds of thousands of rows: beyond this many, the rows are
// split between the calling thread and the pool's other cores. The document is only read.
constexpr size_t parallelRows = 16384;

// The runs' own threads: a decode already runs on the global pool, and helpers queued behind
// it there could wait for threads that are all waiting for them.
QThreadPool &runPool()
{
    static QThreadPool *pool = [] {
        auto *made = new QThreadPool;
        made->setMaxThreadCount(4);
        made->setExpiryTimeout(5000);
        return made;
    }();
    return *pool;
}

size_t workers()
{
    return size_t(std::clamp(QThread::idealThreadCount(), 1, 4));
}

// Rows between two looks at `stop`: a look costs next to nothing, and a run of a few
// megabytes then ends within a fraction of a millisecond of being abandoned.
constexpr size_t rowsBetweenStops = 256;

// False when `stop` was raised before every row was filled.
template<size_t N, typename Fill>
bool decodeRange(simdjson::dom::array::iterator from, simdjson::dom::array::iterator to, MediaItem *out,
                 const std::array<std::string_view, N> &keys, const Fill &fill,
                 const std::atomic<bool> *stop = nullptr)
{
    JsonRead::Row<N> row(keys);
    JsonRead::SharedTexts shared;
    for (size_t count = 0; from != to; ++from, ++out) {
        if (stop && ++count % rowsBetweenStops == 0 && stop->load(std::memory_order_relaxed))
            return false;
        row.read(JsonRead::asObject(*from));
        fill(*out, row, shared);
    }
    return true;
}

bool allObjects(const simdjson::dom::array &rows)
{
    return std::all_of(rows.begin(), rows.end(),
                       [](JsonRead::Element row) { return row.type() == simdjson::dom::element_type::OBJECT; });
}

template<size_t N, typename Fill>
QList<MediaItem> decodeRows(const Field &root, const std::array<std::string_view, N> &keys, Fill fill)
{
    QList<MediaItem> result;
    if (!JsonRead::isArray(root))
        return result;
    const simdjson::dom::array rows = JsonRead::asArray(*root);
    const size_t count = rows.size();
    const size_t parts = count >= parallelRows ? workers() : 1;

    // One walk checks that every row is an object and marks where each part starts.
    std::vector<simdjson::dom::array::iterator> bounds{rows.begin()};
    size_t index = 0;
    for (auto it = rows.begin(); it != rows.end(); ++it, ++index) {
        if ((*it).type() != simdjson::dom::element_type::OBJECT)
            return result;
        if (bounds.size() < parts && index == count * bounds.size() / parts)
            bounds.push_back(it);
    }
    bounds.push_back(rows.end());

    result.reserve(qsizetype(count)); // resize alone would leave room for 75 % more
    HugePages::advise(result.constData(), qsizetype(count * sizeof(MediaItem)));
    result.resize(qsizetype(count));
    MediaItem *out = result.data();
    QList<QFuture<void>> helpers;
    for (size_t part = 1; part < parts; ++part) {
        MediaItem *partOut = out + count * part / parts;
        helpers.append(QtConcurrent::run(&runPool(), [&, part, partOut] { decodeRange(bounds[part], bounds[part + 1], partOut, keys, fill); }));
    }
    decodeRange(bounds[0], bounds[1], out, keys, fill);
    for (QFuture<void> &helper : helpers)
        helper.waitForFinished();
    return result;
}

void fillAdded(MediaItem &item, const Field &added)
{
    if (const auto stamp = JsonRead::plainNumber(added))
        item.setAddedStamp(*stamp);
    else
        item.setAdded(JsonRead::str(added));
}

// Calls `use(keys, fill)` with the keys and the filling of one record of `kind`.
template<typename Use>
auto withRowsOf(MediaItem::Kind kind, Use use)
{
    using JsonRead::str;
    switch (kind) {
    case MediaItem::Kind::live:
        return use(liveKeys, [ts = QStringLiteral("ts")](MediaItem &item, const auto &row, JsonRead::SharedTexts &shared) {
            item.kind = MediaItem::Kind::live;
            item.id = str(row[lStreamId]);
            item.name = str(row[lName]);
            item.categoryId = shared.str(row[lCategory]);
            item.containerExt = ts;
            item.setIconUtf8(JsonRead::utf8(row[lIcon]));
            item.num = JsonRead::integer(row[lNum]).value_or(0);
            item.epgChannelId = str(row[lEpg]);
            item.tvArchive = str(row[lArchive]) == QLatin1String("1");
            item.archiveDays = JsonRead::integer(row[lArchiveDays]).value_or(2);
        });
    case MediaItem::Kind::movie:
        return use(movieKeys, [mp4 = QStringLiteral("mp4")](MediaItem &item, const auto &row, JsonRead::SharedTexts &shared) {
            item.kind = MediaItem::Kind::movie;
            item.id = str(row[mStreamId]);
            item.name = str(row[mName]);
            item.categoryId = shared.str(row[mCategory]);
            item.containerExt = shared.str(row[mExtension]);
            if (item.containerExt.isEmpty())
                item.containerExt = mp4;
            item.setIconUtf8(JsonRead::utf8(row[mIcon]));
            fillAdded(item, row[mAdded]);
            item.rating5 = JsonRead::decimal(row[mRating]).value_or(0);
        });
    case MediaItem::Kind::series:
        break;
    }
    return use(seriesKeys, [mp4 = QStringLiteral("mp4")](MediaItem &item, const auto &row, JsonRead::SharedTexts &shared) {
        item.kind = MediaItem::Kind::series;
        item.id = str(row[sSeriesId]);
        item.setSeriesId(item.id);
        item.name = str(row[sName]);
        item.categoryId = shared.str(row[sCategory]);
        item.containerExt = mp4;
        item.setIconUtf8(JsonRead::utf8(row[sCover]));
        fillAdded(item, row[sModified]);
        item.rating5 = JsonRead::decimal(row[sRating]).value_or(0);
        item.setPlot(str(row[sPlot]));
        item.setCast(str(row[sCast]));
        item.setDirector(str(row[sDirector]));
        item.setGenre(shared.str(row[sGenre])); // a few dozen distinct ones
        item.setReleaseDate(str(row[sRelease]));
        item.setTrailer(str(row[sTrailer]));
    });
}

// Where a top-level array may be cut into `parts` runs of whole rows: the offsets of commas
// that stand between two rows ("},{"), one near each even share of the body. A cut that lands
// inside a text or a nested array is not known here; the run before it then fails to parse on
// its own (it ends inside that text or that array) and the whole body is parsed instead.
std::vector<qsizetype> rowCuts(QByteArrayView body, qsizetype open, size_t parts)
{
    std::vector<qsizetype> cuts;
    constexpr QByteArrayView between("},{");
    for (size_t part = 1; part < parts; ++part) {
        const qsizetype from = std::max(open + 1, qsizetype(body.size() * qsizetype(part) / qsizetype(parts)));
        if (!cuts.empty() && from <= cuts.back())
            continue;
        const qsizetype at = body.indexOf(between, from);
        if (at < 0)
            break;
        cuts.push_back(at + 1);
    }
    return cuts;
}

} // namespace

QList<MediaItem> streams(const Field &root, MediaItem::Kind kind)
{
    return withRowsOf(kind, [&](const auto &keys, const auto &fill) { return decodeRows(root, keys, fill); });
}

std::optional<QList<MediaItem>> streamsInParts(QByteArray &body, MediaItem::Kind kind, qsizetype minimumPart)
{
    // Only a top-level array, after an optional byte-order mark and white space.
    qsizetype open = body.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (open < body.size() && (body[open] == ' ' || body[open] == '\n' || body[open] == '\r' || body[open] == '\t'))
        ++open;
    if (open >= body.size() || body[open] != '[')
        return std::nullopt;
    const size_t parts = size_t(std::clamp<qsizetype>(body.size() / std::max<qsizetype>(1, minimumPart), 1, qsizetype(workers())));
    const std::vector<qsizetype> cuts = rowCuts(body, open, parts);
    if (cuts.empty())
        return std::nullopt;

    // The first run is parsed where it lies, its closing comma made a bracket for the while; each
    // later run is copied behind an opening bracket, with the parser's room at its end.
    char *const data = body.data(); // detaches only when the caller still shares it
    std::vector<std::unique_ptr<JsonDocument>> documents(cuts.size() + 1);
    std::vector<bool> parsed(cuts.size() + 1, false);
    const auto parseRun = [&](size_t i) {
        documents[i] = std::make_unique<JsonDocument>();
        if (i == 0) {
            data[cuts[0]] = ']';
            parsed[0] = documents[0]->parseRun(data + open, size_t(cuts[0] + 1 - open));
            data[cuts[0]] = ',';
        } else {
            const qsizetype from = cuts[i - 1] + 1;
            const bool last = i == cuts.size();
            const qsizetype to = last ? body.size() : cuts[i];
            QByteArray run;
            run.reserve(to - from + 2 + qsizetype(simdjson::SIMDJSON_PADDING));
            HugePages::advise(run.constData(), run.capacity());
            run.append('[');
            run.append(data + from, to - from);
            if (!last)
                run.append(']');
            parsed[i] = documents[i]->parseRun(run.constData(), size_t(run.size()));
        }
        if (parsed[i] && !allObjects(JsonRead::asArray(documents[i]->root())))
            parsed[i] = false;
    };
    {
        QList<QFuture<void>> helpers;
        for (size_t i = 1; i < documents.size(); ++i)
            helpers.append(QtConcurrent::run(&runPool(), [&, i] { parseRun(i); }));
        parseRun(0);
        for (QFuture<void> &helper : helpers)
            helper.waitForFinished();
    }
    size_t total = 0;
    std::vector<size_t> firsts;
    for (size_t i = 0; i < documents.size(); ++i) {
        if (!parsed[i])
            return std::nullopt;
        firsts.push_back(total);
        total += JsonRead::asArray(documents[i]->root()).size();
    }
    if (total > JsonDocument::maxRows)
        return std::nullopt; // the whole parse says why

    QList<MediaItem> result;
    result.reserve(qsizetype(total));
    HugePages::advise(result.constData(), qsizetype(total * sizeof(MediaItem)));
    result.resize(qsizetype(total));
    withRowsOf(kind, [&](const auto &keys, const auto &fill) {
        const auto decodeRun = [&](size_t i) {
            const simdjson::dom::array rows = JsonRead::asArray(documents[i]->root());
            decodeRange(rows.begin(), rows.end(), result.data() + firsts[i], keys, fill);
        };
        QList<QFuture<void>> helpers;
        for (size_t i = 1; i < documents.size(); ++i)
            helpers.append(QtConcurrent::run(&runPool(), [&, i] { decodeRun(i); }));
        decodeRun(0);
        for (QFuture<void> &helper : helpers)
            helper.waitForFinished();
        return 0;
    });
    return result;
}

// --- runs decoded while the answer arrives ---

struct RowRuns::State
{
    struct Run
    {
        QByteArray text; // "[" rows "]", with the parser's room behind; dropped once decoded
        QList<MediaItem> items;
        // In place: bytes [from, from + size) of the body, whose first byte (and last, when
        // `close`) is a comma between rows until it is parsed.
        qsizetype from = 0;
        qsizetype size = 0;
        bool close = false;
        bool inPlace = false;
        size_t index = 0;
    };

    State(MediaItem::Kind kind, qsizetype runBytes)
        : kind(kind)
        , runBytes(runBytes)
    {
    }

    const MediaItem::Kind kind;
    const qsizetype runBytes;
    QMutex mutex;
    QWaitCondition changed;
    std::deque<Run> runs; // grows at the back while earlier runs are decoded in place
    size_t next = 0;      // the first run no thread has taken
    size_t done = 0;
    size_t rows = 0;
    int helpers = 0;
    int decoding = 0;    // runs taken and not yet put back
    bool closed = false; // every run is queued
    bool failed = false;
    bool abandoned = false;
    // Read between rows without the mutex: a run being decoded stops at once.
    std::atomic<bool> stopping = false;
    // In place: the settled body the runs lie in, and how many of them are parsed. Neighbours
    // share the comma between them (the one's "]", the next one's "["), so each run is parsed
    // only after the one before it; their rows are still decoded side by side.
    char *body = nullptr;
    size_t parsed = 0;
    bool restored = false;
};

namespace {

// Their own threads: a helper waits for the next run while the answer arrives, which must not
// hold up the decodes queued on the other pools.
QThreadPool &arrivalPool()
{
    static QThreadPool *pool = [] {
        auto *made = new QThreadPool;
        made->setMaxThreadCount(4); // two catalogues side by side, each with a helper
        made->setExpiryTimeout(5000);
        return made;
    }();
    return *pool;
}

// A helper gives way to the threads that move the bytes: on two busy cores, decoding at full
// priority beside a fast answer held the receiving threads back (the last byte came half as
// late again, and the home rows later too). It still takes whatever time they leave. The
// pool's threads serve only helpers, and an unprivileged thread cannot raise its priority
// again, so it is lowered once per thread.
void giveWayToTransfers()
{
    constexpr int helperNice = 10;
    static thread_local bool lowered = false;
    if (lowered)
        return;
    lowered = true;
    const int now = getpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)));
    if (now < helperNice)
        setpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)), helperNice);
}

bool parseInPlace(RowRuns::State &state, const RowRuns::State::Run &run, JsonDocument &document)
{
    {
        QMutexLocker lock(&state.mutex);
        while (state.parsed < run.index && !state.stopping.load(std::memory_order_relaxed))
            state.changed.wait(&state.mutex);
        if (state.parsed < run.index)
            return false;
    }
    char *const first = state.body + run.from;
    first[0] = '[';
    if (run.close)
        first[run.size - 1] = ']';
    // The document keeps copies of the texts: once parsed, the bytes are free for the next run.
    const bool ok = document.parseRun(first, size_t(run.size));
    QMutexLocker lock(&state.mutex);
    state.parsed = run.index + 1;
    state.changed.wakeAll();
    return ok;
}

// The commas made brackets, put back once no thread parses any more (under the mutex).
void restoreCommas(RowRuns::State &state)
{
    if (!state.body || state.restored)
        return;
    state.restored = true;
    for (const RowRuns::State::Run &run : state.runs) {
        if (!run.inPlace)
            continue;
        if (run.index > 0)
            state.body[run.from] = ',';
        if (run.close)
            state.body[run.from + run.size - 1] = ',';
    }
}

bool decodeRun(RowRuns::State &state, RowRuns::State::Run &run, JsonDocument &document)
{
    bool ok = (run.inPlace ? parseInPlace(state, run, document)
                          : document.parseRun(run.text.constData(), size_t(run.text.size())))
        && document.root().type() == simdjson::dom::element_type::ARRAY;
    if (ok && !state.stopping.load(std::memory_order_relaxed)) {
        const simdjson::dom::array rows = JsonRead::asArray(document.root());
        ok = allObjects(rows);
        if (ok) {
            run.items.resize(qsizetype(rows.size()));
            ok = withRowsOf(state.kind, [&](const auto &keys, const auto &fill) {
                return decodeRange(rows.begin(), rows.end(), run.items.data(), keys, fill, &state.stopping);
            });
        }
    }
    run.text = QByteArray();
    if (state.stopping.load(std::memory_order_relaxed)) {
        run.items = QList<MediaItem>(); // half a run is never kept
        return false;
    }
    return ok;
}

// Takes runs until none is left; a helper (`wait`) also waits for runs still to come.
void drain(RowRuns::State &state, bool wait)
{
    JsonDocument document;
    // Runs are cut a little past runBytes; a row longer than that grows the parser once more.
    document.reserve(size_t(2 * state.runBytes));
    for (;;) {
        RowRuns::State::Run *run = nullptr;
        {
            QMutexLocker lock(&state.mutex);
            while (wait && !state.closed && !state.abandoned && !state.failed && state.next >= state.runs.size())
                state.changed.wait(&state.mutex);
            if (state.abandoned || state.failed || state.next >= state.runs.size())
                return;
            run = &state.runs[state.next++];
            ++state.decoding;
        }
        const bool ok = decodeRun(state, *run, document);
        QMutexLocker lock(&state.mutex);
        --state.decoding;
        state.rows += size_t(run->items.size());
        // Past the limit (an endless answer) nothing more is decoded; the whole parse says why.
        state.failed = state.failed || !ok || state.rows > JsonDocument::maxRows;
        ++state.done;
        state.changed.wakeAll();
    }
}

} // namespace

RowRuns::RowRuns(MediaItem::Kind kind, qsizetype runBytes)
    : m_kind(kind)
    , m_runBytes(std::max<qsizetype>(runBytes, 1))
{
}

RowRuns::~RowRuns()
{
    abandon();
}

void RowRuns::begin()
{
    abandon();
    m_state = std::make_shared<State>(m_kind, m_runBytes);
    m_watched = true;
    m_notArray = false;
    m_inPlace = false;
    m_runStart = -1;
    m_searchFrom = 0;
}

void RowRuns::abandon()
{
    if (!m_state)
        return;
    {
        // The run being decoded stops between two rows; waiting for that costs next to nothing
        // and leaves no thread still busy with an answer nobody wants.
        QMutexLocker lock(&m_state->mutex);
        m_state->abandoned = true;
        m_state->stopping = true;
        m_state->changed.wakeAll();
        while (m_state->decoding > 0)
            m_state->changed.wait(&m_state->mutex);
        restoreCommas(*m_state);
    }
    m_state.reset();
    m_watched = false;
}

void RowRuns::stop()
{
    if (!m_state)
        return;
    QMutexLocker lock(&m_state->mutex);
    m_state->abandoned = true;
    m_state->stopping = true;
    m_state->changed.wakeAll();
    // A body read in place is let go of as soon as this returns.
    if (m_state->body) {
        while (m_state->decoding > 0)
            m_state->changed.wait(&m_state->mutex);
        restoreCommas(*m_state);
    }
}

bool RowRuns::settled()
{
    m_inPlace = m_state != nullptr;
    return m_inPlace;
}

void RowRuns::received(QByteArrayView body)
{
    if (!m_state || m_state->stopping.load(std::memory_order_relaxed))
        return;
    if (m_inPlace) {
        QMutexLocker lock(&m_state->mutex);
        if (!m_state->body)
            m_state->body = const_cast<char *>(body.data()); // see settled(): ours to write until finished
        if (m_state->body != body.data()) {
            m_state->failed = true; // the body moved under the runs: the whole parse decides
            m_notArray = true;
            return;
        }
    }
    cut(body);
}

void RowRuns::cut(QByteArrayView body)
{
    if (m_notArray)
        return;
    if (m_runStart < 0) {
        // Only a top-level array, after an optional byte-order mark and white space.
        const QByteArrayView mark("\xEF\xBB\xBF");
        if (body.size() < mark.size() && mark.startsWith(body))
            return;
        qsizetype open = body.startsWith(mark) ? mark.size() : 0;
        while (open < body.size() && (body[open] == ' ' || body[open] == '\n' || body[open] == '\r' || body[open] == '\t'))
            ++open;
        if (open >= body.size())
            return;
        if (body[open] != '[') {
            m_notArray = true;
            return;
        }
        m_runStart = open;
        m_searchFrom = open + m_runBytes;
    }
    // A cut between two rows: see rowCuts() for why one inside a text cannot pass unnoticed.
    constexpr QByteArrayView between("},{");
    // In place, the parser reads a little past a run's end: those bytes must have arrived, or
    // it would read them while they are written.
    const qsizetype past = m_inPlace ? qsizetype(simdjson::SIMDJSON_PADDING) : 0;
    while (body.size() >= m_searchFrom + between.size()) {
        const qsizetype at = body.indexOf(between, m_searchFrom);
        if (at < 0) {
            m_searchFrom = body.size() - (between.size() - 1);
            return;
        }
        if (at + 2 + past > body.size()) {
            m_searchFrom = at;
            return;
        }
        queue(body, m_runStart, at + 2, true, m_inPlace);
        m_runStart = at + 1;
        m_searchFrom = m_runStart + m_runBytes;
    }
}

// The run [open, end) of the body: `open` is the "[" or comma before its first row and, when
// `close`, end - 1 the comma after its last.
void RowRuns::queue(QByteArrayView body, qsizetype open, qsizetype end, bool close, bool inPlace)
{
    State &state = *m_state;
    {
        QMutexLocker lock(&state.mutex);
        if (state.failed)
            return; // the answer is decided: the whole parse will say why
    }
    State::Run run;
    run.inPlace = inPlace;
    if (inPlace) {
        run.from = open;
        run.size = end - open;
        run.close = close;
    } else {
        // Copied now: the body may move as it grows, and the bytes are in the cache.
        const QByteArrayView rows = body.sliced(open + 1, end - (close ? 1 : 0) - (open + 1));
        run.text.reserve(rows.size() + 2 + qsizetype(simdjson::SIMDJSON_PADDING));
        run.text.append('[');
        run.text.append(rows);
        if (close)
            run.text.append(']');
    }
    QMutexLocker lock(&state.mutex);
    run.index = state.runs.size();
    state.runs.push_back(std::move(run));
    if (state.helpers == 0) {
        ++state.helpers;
        (void)QtConcurrent::run(&arrivalPool(), [held = m_state] {
            giveWayToTransfers();
            drain(*held, true);
        });
    }
    state.changed.wakeAll();
}

std::optional<QList<MediaItem>> RowRuns::finish(QByteArrayView body)
{
    if (!m_state || !m_watched) {
        abandon();
        return std::nullopt;
    }
    received(body);
    if (m_notArray || m_runStart < 0 || m_state->stopping.load()) {
        abandon();
        return std::nullopt;
    }
    // The last run holds the closing bracket. It is copied out: the parser reads a little past
    // a run's end, and behind the body's end there may be no room (a body in Qt's own buffer).
    // No later run waits for it, and its first byte (the "]" of the run before) is not copied.
    queue(body, m_runStart, body.size(), false, false);
    const std::shared_ptr<State> state = m_state;
    {
        QMutexLocker lock(&state->mutex);
        state->closed = true;
        state->changed.wakeAll();
    }
    drain(*state, false); // this thread helps with what is left
    QMutexLocker lock(&state->mutex);
    while (!state->failed && !state->abandoned && state->done < state->runs.size())
        state->changed.wait(&state->mutex);
    const bool failed = state->failed || state->abandoned;
    lock.unlock();
    abandon();
    if (failed)
        return std::nullopt;

    size_t total = 0;
    for (const State::Run &run : state->runs)
        total += size_t(run.items.size());
    if (total > JsonDocument::maxRows)
        return std::nullopt; // the whole parse says why
    if (state->runs.size() == 1)
        return std::move(state->runs.front().items);
    QList<MediaItem> result;
    result.reserve(qsizetype(total));
    HugePages::advise(result.constData(), qsizetype(total * sizeof(MediaItem)));
    for (State::Run &run : state->runs)
        result.append(std::move(run.items));
    return result;
}

VodInfo vodInfo(const Field &root)
{
    const Field info = JsonRead::member(root, "info");
    if (!JsonRead::isObject(info))
        return {};
    const auto read = [&](std::string_view key) { return JsonRead::str(JsonRead::member(info, key)); };
    VodInfo result;
    result.plot = read("plot");
    result.cast = read("cast");
    result.director = read("director");
    result.age = read("age");
    result.runtime = read("episode_run_time");
    result.trailer = read("youtube_trailer");
    result.releaseDate = read("releasedate");
    return result;
}

namespace {

Season season(const Field &object)
{
    const QString numberText = JsonRead::str(JsonRead::member(object, "season_number"));
    Season result;
    result.id = JsonRead::integer(numberText).value_or(0);
    result.name = JsonRead::str(JsonRead::member(object, "name"));
    if (result.name.isEmpty())
        result.name = QStringLiteral("Season ") + numberText;
    result.cover = JsonRead::str(JsonRead::member(object, "cover"));
    return result;
}

Episode episode(const Field &object, const QString &seasonKey)
{
    Episode result;
    result.id = JsonRead::str(JsonRead::member(object, "id"));
    result.title = JsonRead::str(JsonRead::member(object, "title"));
    const auto seasonNumber = JsonRead::integer(JsonRead::member(object, "season"));
    result.season = seasonNumber ? *seasonNumber : JsonRead::integer(seasonKey).value_or(0);
    result.episodeNum = JsonRead::integer(JsonRead::member(object, "episode_num")).value_or(0);
    result.containerExt = JsonRead::str(JsonRead::member(object, "container_extension"));
    if (result.containerExt.isEmpty())
        result.containerExt = QStringLiteral("mp4");
    result.image = JsonRead::str(JsonRead::member(JsonRead::member(object, "info"), "movie_image"));
    return result;
}

} // namespace

SeriesInfo seriesInfo(const Field &root)
{
    SeriesInfo result;
    if (!JsonRead::isObject(root))
        return result;
    result.trailer = JsonRead::str(JsonRead::member(JsonRead::member(root, "info"), "youtube_trailer"));

    // Season numbers listed so far: an answer may hold a great many keys.
    QSet<qint64> listed;
    if (const auto rows = objectRows(JsonRead::member(root, "seasons"))) {
        for (const JsonRead::Element element : *rows) {
            result.seasons.append(season(element));
            listed.insert(result.seasons.constLast().id);
        }
    }

    const Field episodes = JsonRead::member(root, "episodes");
    if (JsonRead::isObject(episodes)) {
        for (const auto member : JsonRead::asObject(*episodes)) {
            const QString key = QString::fromUtf8(member.key.data(), qsizetype(member.key.size()));
            if (const auto rows = objectRows(member.value)) {
                for (const JsonRead::Element element : *rows)
                    result.episodes.append(episode(element, key));
            }
            // A season the provider forgot to list but holds episodes under.
            const auto number = key.isEmpty() ? std::nullopt : JsonRead::integer(key);
            if (number && !listed.contains(*number)) {
                listed.insert(*number);
                result.seasons.append(Season{*number, QStringLiteral("Season ") + QString::number(*number), {}});
            }
        }
    }

    std::stable_sort(result.seasons.begin(), result.seasons.end(),
                     [](const Season &a, const Season &b) { return a.id < b.id; });
    std::stable_sort(result.episodes.begin(), result.episodes.end(), [](const Episode &a, const Episode &b) {
        return a.season != b.season ? a.season < b.season : a.episodeNum < b.episodeNum;
    });
    return result;
}

std::optional<qint64> playlistExpiry(const Field &root)
{
    const Field userInfo = JsonRead::member(root, "user_info");
    if (!JsonRead::isObject(userInfo))
        return std::nullopt;
    const QString text = JsonRead::str(JsonRead::member(userInfo, "exp_date"));
    if (text.isEmpty() || text == QLatin1String("null"))
        return 0;
    return JsonRead::integer(text);
}

AccountStatus accountStatus(const Field &root)
{
    AccountStatus status;
    status.expiresAt = playlistExpiry(root);
    const Field userInfo = JsonRead::member(root, "user_info");
    if (!JsonRead::isObject(userInfo))
        return status;
    // Panels send both as texts or as numbers; a count out of any sensible range says nothing.
    const auto count = [&](const char *name) -> std::optional<int> {
        const auto value = JsonRead::integer(JsonRead::member(userInfo, name));
        if (!value || *value < 0 || *value > 100000)
            return std::nullopt;
        return int(*value);
    };
    status.maxConnections = count("max_connections");
    status.activeConnections = count("active_cons");
    return status;
}

bool refusesCredentials(const Field &root)
{
    const Field userInfo = JsonRead::member(root, "user_info");
    if (!JsonRead::isObject(userInfo))
        return false;
    return JsonRead::integer(JsonRead::member(userInfo, "auth")) == 0;
}

QString unwrapBase64(const QString &text)
{
    if (text.isEmpty() || text.size() % 4 != 0)
        return text;
    qsizetype fill = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c == u'=') {
            ++fill;
            continue;
        }
        const bool alphabet = (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9')
            || c == u'+' || c == u'/';
        if (!alphabet || fill > 0) // "=" only fills the end
            return text;
    }
    if (fill > 2)
        return text;
    const auto decoded = QByteArray::fromBase64Encoding(text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return text;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString result = utf8.decode(*decoded);
    if (utf8.hasError())
        return text;
    return result;
}

EpgProgram program(const Field &entry)
{
    const auto read = [&](std::string_view key) { return JsonRead::str(JsonRead::member(entry, key)); };
    EpgProgram result;
    result.start = read("start");
    result.id = read("id") + result.start;
    result.title = unwrapBase64(read("title"));
    result.desc = unwrapBase64(read("description"));
    result.end = read("end");
    if (result.end.isEmpty())
        result.end = read("stop");
    result.startTs = JsonRead::decimal(JsonRead::member(entry, "start_timestamp")).value_or(0);
    result.stopTs = JsonRead::decimal(JsonRead::member(entry, "stop_timestamp")).value_or(0);
    return result;
}

QList<EpgProgram> programs(const Field &root)
{
    QList<EpgProgram> result;
    const auto rows = objectRows(JsonRead::member(root, "epg_listings"));
    if (!rows)
        return result;
    result.reserve(qsizetype(rows->size()));
    for (const JsonRead::Element element : *rows)
        result.append(program(element));
    return result;
}

DeviceStatus deviceStatus(const Field &root)
{
    DeviceStatus result;
    if (!JsonRead::isObject(root))
        return result;

    const Field urls = JsonRead::member(root, "urls");
    if (JsonRead::isArray(urls)) {
        const auto array = JsonRead::asArray(*urls);
        const bool allTexts = std::all_of(array.begin(), array.end(), [](JsonRead::Element e) {
            return e.type() == simdjson::dom::element_type::STRING;
        });
        if (allTexts && array.size() > 0)
            result.playlist = Playlist::fromM3uURL(JsonRead::str(array.at(0).value_unsafe()));
    }

    if (const auto rows = objectRows(JsonRead::member(root, "languages"))) {
        for (const JsonRead::Element element : *rows) {
            Language language;
            language.code = JsonRead::str(JsonRead::member(element, "code"));
            if (language.code.isEmpty())
                continue;
            language.name = JsonRead::str(JsonRead::member(element, "name"));
            const Field words = JsonRead::member(element, "words");
            if (JsonRead::isObject(words)) {
                for (const auto word : JsonRead::asObject(*words)) {
                    if (word.value.type() == simdjson::dom::element_type::STRING)
                        language.words.insert(QString::fromUtf8(word.key.data(), qsizetype(word.key.size())),
                                              JsonRead::str(word.value));
                }
            }
            result.languages.append(std::move(language));
        }
    }
    return result;
}

QList<Theme> themes(const Field &root)
{
    QList<Theme> result;
    if (!JsonRead::isObject(root))
        return result;
    const auto rows = objectRows(JsonRead::member(root, "themes"));
    if (!rows)
        return result;
    for (const JsonRead::Element element : *rows) {
        const QString name = JsonRead::str(JsonRead::member(element, "name"));
        if (name.isEmpty())
            continue;
        result.append(Theme{name, JsonRead::str(JsonRead::member(element, "url"))});
    }
    return result;
}

} // namespace MavuAPI::decode
