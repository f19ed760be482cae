#include "catalogue.h"

#include "api/jsonread.h"

#include <QCollatorSortKey>
#include <QHash>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

namespace Catalogue {

namespace {

// `positions` ordered by `compare` (three-way on indexes into `positions`); ties by index,
// which makes the unstable sort stable and lets it run on plain integers.
template<typename Compare>
QList<qsizetype> orderOf(const QList<qsizetype> &positions, Compare compare)
{
    std::vector<qsizetype> order(static_cast<size_t>(positions.size()));
    std::iota(order.begin(), order.end(), qsizetype(0));
    std::sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        const int c = compare(a, b);
        return c != 0 ? c < 0 : a < b;
    });
    QList<qsizetype> result;
    result.reserve(positions.size());
    for (const qsizetype at : order)
        result.append(positions.at(at));
    return result;
}

QList<MediaItem> permuted(QList<MediaItem> items, const QList<qsizetype> &order)
{
    bool unchanged = true;
    for (qsizetype i = 0; i < order.size() && unchanged; ++i)
        unchanged = order[i] == i;
    if (unchanged)
        return items;
    QList<MediaItem> result;
    result.reserve(items.size());
    if (items.isDetached()) {
        // Sole owner: the records move instead of being copied.
        MediaItem *data = items.data();
        for (const qsizetype at : order)
            result.append(std::move(data[at]));
    } else {
        for (const qsizetype at : order)
            result.append(items.at(at));
    }
    return result;
}

template<typename T>
int descending(T a, T b)
{
    return a > b ? -1 : (a < b ? 1 : 0);
}

double orderable(double value)
{
    return std::isnan(value) ? 0 : value;
}

std::vector<double> addedKeys(const QList<MediaItem> &items, const QList<qsizetype> &positions)
{
    std::vector<double> keys;
    keys.reserve(size_t(positions.size()));
    for (const qsizetype at : positions) {
        const MediaItem &item = items.at(at);
        const auto stamp = item.addedStamp(); // nearly always: no text to make
        keys.push_back(stamp ? double(*stamp) : addedKey(item.added()));
    }
    return keys;
}

QList<qsizetype> byName(const QList<MediaItem> &items, const QList<qsizetype> &positions, bool ascending,
                        const QCollator &collator)
{
    std::vector<QCollatorSortKey> keys;
    keys.reserve(size_t(positions.size()));
    for (const qsizetype at : positions)
        keys.push_back(collator.sortKey(items.at(at).name));
    return orderOf(positions, [&](qsizetype a, qsizetype b) {
        const int c = keys[size_t(a)].compare(keys[size_t(b)]);
        return ascending ? c : -c;
    });
}

} // namespace

double addedKey(const QString &added)
{
    return orderable(JsonRead::decimal(added).value_or(0));
}

QCollator nameCollator()
{
    // The C locale has no collation: Qt then orders sort keys by code points, letter case
    // included. The root order of the collation library (which English uses) stands in.
    QLocale locale;
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    QCollator collator(locale);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

QList<qsizetype> orderedVod(const QList<MediaItem> &items, const QList<qsizetype> &positions, VodSort sort,
                            const QCollator &collator)
{
    const auto item = [&](qsizetype index) -> const MediaItem & { return items.at(positions.at(index)); };
    switch (sort) {
    case VodSort::added: {
        const std::vector<double> keys = addedKeys(items, positions);
        return orderOf(positions,
                       [&](qsizetype a, qsizetype b) { return descending(keys[size_t(a)], keys[size_t(b)]); });
    }
    case VodSort::number:
        return orderOf(positions, [&](qsizetype a, qsizetype b) { return -descending(item(a).num, item(b).num); });
    case VodSort::rating:
        return orderOf(positions, [&](qsizetype a, qsizetype b) {
            return descending(orderable(item(a).rating5), orderable(item(b).rating5));
        });
    case VodSort::az:
        return byName(items, positions, true, collator);
    case VodSort::za:
        return byName(items, positions, false, collator);
    }
    return positions;
}

QList<qsizetype> orderedLive(const QList<MediaItem> &items, const QList<qsizetype> &positions, int liveSortIndex,
                             const QCollator &collator)
{
    switch (liveSortIndex) {
    case 1:
        return byName(items, positions, true, collator);
    case 2:
        return byName(items, positions, false, collator);
    default:
        return positions;
    }
}

QList<qsizetype> everyPosition(qsizetype n)
{
    QList<qsizetype> positions(std::max<qsizetype>(n, 0));
    std::iota(positions.begin(), positions.end(), qsizetype(0));
    return positions;
}

QList<MediaItem> atPositions(const QList<MediaItem> &items, const QList<qsizetype> &positions)
{
    QList<MediaItem> result;
    result.reserve(positions.size());
    for (const qsizetype at : positions)
        result.append(items.at(at));
    return result;
}

QList<MediaItem> sortedVod(QList<MediaItem> items, VodSort sort, const QCollator &collator)
{
    const QList<qsizetype> order = orderedVod(items, everyPosition(items.size()), sort, collator);
    return permuted(std::move(items), order);
}

QList<MediaItem> sortedLive(QList<MediaItem> items, int liveSortIndex, const QCollator &collator)
{
    const QList<qsizetype> order = orderedLive(items, everyPosition(items.size()), liveSortIndex, collator);
    return permuted(std::move(items), order);
}

QList<MediaItem> newest(const QList<MediaItem> &items, qsizetype limit)
{
    const std::vector<double> keys = addedKeys(items, everyPosition(items.size()));
    std::vector<qsizetype> order(static_cast<size_t>(items.size()));
    std::iota(order.begin(), order.end(), qsizetype(0));
    const auto kept = order.begin() + std::min(std::max<qsizetype>(limit, 0), items.size());
    std::partial_sort(order.begin(), kept, order.end(), [&](qsizetype a, qsizetype b) {
        const int c = descending(keys[size_t(a)], keys[size_t(b)]);
        return c != 0 ? c < 0 : a < b;
    });
    QList<MediaItem> result;
    result.reserve(kept - order.begin());
    for (auto it = order.begin(); it != kept; ++it)
        result.append(items.at(*it));
    return result;
}

QList<MediaItem> inCategory(const QList<MediaItem> &cache, const QString &categoryId)
{
    QList<MediaItem> result;
    for (const MediaItem &item : cache) {
        if (item.categoryId == categoryId)
            result.append(item);
    }
    return result;
}

void CategoryIndex::build(const QList<MediaItem> &cache)
{
    m_rows.clear();
    for (qsizetype at = 0; at < cache.size(); ++at)
        m_rows[cache.at(at).categoryId].append(at);
    m_built = true;
}

void CategoryIndex::clear()
{
    m_rows.clear();
    m_built = false;
}

QList<MediaItem> CategoryIndex::cut(const QList<MediaItem> &cache, const QString &categoryId) const
{
    QList<MediaItem> result;
    const auto it = m_rows.constFind(categoryId);
    if (it == m_rows.cend())
        return result;
    result.reserve(it->size());
    for (const qsizetype at : *it)
        result.append(cache.at(at));
    return result;
}

QList<qsizetype> positionsWithIds(const QList<MediaItem> &cache, const QSet<QString> &ids)
{
    QList<qsizetype> result;
    if (ids.isEmpty())
        return result;
    for (qsizetype at = 0; at < cache.size(); ++at) {
        if (ids.contains(cache.at(at).id))
            result.append(at);
    }
    return result;
}

QList<MediaItem> withIds(const QList<MediaItem> &cache, const QSet<QString> &ids)
{
    return atPositions(cache, positionsWithIds(cache, ids));
}

QList<qsizetype> positionsInIdOrder(const QList<MediaItem> &cache, const QStringList &ids)
{
    // One pass over the cache finds the first entry of every wanted id.
    QHash<QString, qsizetype> first;
    for (const QString &id : ids)
        first.insert(id, -1);
    qsizetype missing = first.size();
    for (qsizetype at = 0; at < cache.size() && missing > 0; ++at) {
        auto it = first.find(cache.at(at).id);
        if (it != first.end() && *it < 0) {
            *it = at;
            --missing;
        }
    }
    QList<qsizetype> result;
    for (const QString &id : ids) {
        const qsizetype at = first.value(id, -1);
        if (at >= 0)
            result.append(at);
    }
    return result;
}

QList<MediaItem> inIdOrder(const QList<MediaItem> &cache, const QStringList &ids)
{
    return atPositions(cache, positionsInIdOrder(cache, ids));
}

void KeptOrder::keep(int key, QList<qsizetype> order)
{
    m_key = key;
    m_order = std::move(order);
    m_rank.assign(size_t(m_order.size()), 0);
    for (qsizetype i = 0; i < m_order.size(); ++i)
        m_rank[size_t(m_order[i])] = qint32(i);
}

void KeptOrder::clear()
{
    m_key.reset();
    m_order = {};
    m_rank = {};
}

QList<qsizetype> KeptOrder::cut(const QList<qsizetype> &positions) const
{
    const qsizetype n = m_order.size();
    // A few positions are sorted by where they stand; many are picked out of the order in one
    // pass, which costs less than sorting them.
    if (positions.size() * 16 < n) {
        QList<qsizetype> result = positions;
        std::sort(result.begin(), result.end(),
                  [&](qsizetype a, qsizetype b) { return m_rank[size_t(a)] < m_rank[size_t(b)]; });
        return result;
    }
    std::vector<bool> wanted(size_t(n), false);
    for (const qsizetype at : positions)
        wanted[size_t(at)] = true;
    QList<qsizetype> result;
    result.reserve(positions.size());
    for (const qsizetype at : m_order) {
        if (wanted[size_t(at)])
            result.append(at);
    }
    return result;
}

QList<qsizetype> KeptOrder::without(const std::vector<bool> &excluded) const
{
    if (std::find(excluded.cbegin(), excluded.cend(), true) == excluded.cend())
        return m_order; // shared, not copied
    QList<qsizetype> result;
    result.reserve(m_order.size());
    for (const qsizetype at : m_order) {
        if (size_t(at) >= excluded.size() || !excluded[size_t(at)])
            result.append(at);
    }
    return result;
}

bool isAdult(const QString &text)
{
    const QString lower = text.toLower();
    return lower.contains(QLatin1String("xxx")) || lower.contains(QLatin1String("adult"))
        || lower.contains(QLatin1String("porn"));
}

QString trimmedSearch(const QString &text)
{
    const auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && blank(text.at(from)))
        ++from;
    while (to > from && blank(text.at(to - 1)))
        --to;
    return text.mid(from, to - from);
}

QString foldForSearch(const QString &text)
{
    // Most names are plain ASCII: lower-casing is all the folding they need, and it is cheap
    // enough for the section's lists, which fold on the GUI thread.
    const bool ascii = std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
    if (ascii)
        return text.toLower();
    const QString split = text.normalized(QString::NormalizationForm_KD);
    QString kept;
    kept.reserve(split.size());
    for (const QChar c : split) {
        const QChar::Category category = c.category();
        if (category != QChar::Mark_NonSpacing && category != QChar::Mark_SpacingCombining
            && category != QChar::Mark_Enclosing)
            kept += c;
    }
    // Composed again so that letters without an accent-free form (Hangul, say) compare whole.
    return kept.toCaseFolded().normalized(QString::NormalizationForm_C);
}

namespace {

// Cannot occur in a folded search text that is matched whole (see match()).
constexpr QChar separator = QChar(0);

} // namespace

namespace {

// The bit of a folded character in a name's letter set; letters and digits have one each.
constexpr int letterBit(char16_t c)
{
    if (c >= u'a' && c <= u'z')
        return c - u'a';
    if (c >= u'0' && c <= u'9')
        return 26 + (c - u'0');
    return 36 + int(c % 28);
}

constexpr bool ownBit(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9');
}

} // namespace

void NameFilter::setItems(const QList<MediaItem> &items)
{
    m_names.clear();
    m_starts.clear();
    m_letters.clear();
    m_starts.reserve(items.size() + 1);
    m_letters.reserve(size_t(items.size()));
    qsizetype length = 0;
    for (const MediaItem &item : items)
        length += item.name.size() + 1;
    m_names.reserve(length);
    for (const MediaItem &item : items) {
        m_starts.append(m_names.size());
        const QString folded = foldForSearch(item.name);
        quint64 letters = 0;
        for (const QChar c : folded)
            letters |= quint64(1) << letterBit(c.unicode());
        m_letters.push_back(letters);
        m_names += folded;
        m_names += separator;
    }
    m_starts.append(m_names.size());
}

template<typename Found>
void NameFilter::forEachMatch(const QString &needle, Found &&found) const
{
    const qsizetype count = size();
    if (needle.contains(separator)) {
        // Such a needle could match across two names in the joined text: test name by name.
        for (qsizetype row = 0; row < count; ++row) {
            const QStringView text = name(row);
            if (text.contains(needle))
                found(row, text.startsWith(needle));
        }
        return;
    }
    const QStringView names(m_names);
    qsizetype row = 0;
    for (qsizetype at = count > 0 ? names.indexOf(needle) : -1; at >= 0;) {
        // The name holding the match, searched forward from the last one: matches are often
        // close together, so the steps grow only while they overshoot nothing.
        qsizetype step = 1;
        while (row + step < count && m_starts[row + step] <= at) {
            row += step;
            step *= 2;
        }
        row = std::upper_bound(m_starts.cbegin() + row, m_starts.cbegin() + std::min(row + step, count), at) - m_starts.cbegin() - 1;
        // Each search starts at a name's beginning, so this is the name's first match.
        found(row, at == m_starts[row]);
        if (++row >= count)
            break;
        at = names.indexOf(needle, m_starts[row]);
    }
}

std::optional<QList<qsizetype>> NameFilter::match(const QString &search) const
{
    const QString needle = foldForSearch(trimmedSearch(search));
    if (needle.isEmpty())
        return std::nullopt;
    return matches(needle).inListOrder();
}

QList<qsizetype> NameFilter::Matches::inListOrder() const
{
    QList<qsizetype> rows;
    rows.resize(count());
    std::merge(starting.cbegin(), starting.cend(), containing.cbegin(), containing.cend(), rows.begin());
    return rows;
}

NameFilter::Ranked NameFilter::ranked(const QString &search, qsizetype limit, const std::vector<bool> &excluded) const
{
    const QString needle = foldForSearch(trimmedSearch(search));
    if (needle.isEmpty() || limit < 0)
        return {};
    return matches(needle, excluded).ranked(limit);
}

NameFilter::Ranked NameFilter::Matches::ranked(qsizetype limit) const
{
    Ranked result;
    result.count = count();
    if (limit <= 0)
        return result;
    result.rows = starting.mid(0, std::min(limit, starting.size()));
    const qsizetype rest = std::min(limit - result.rows.size(), containing.size());
    result.rows.append(containing.mid(0, rest));
    return result;
}

NameFilter::Matches NameFilter::matches(const QString &needle, const std::vector<bool> &excluded, const Matches *narrowing) const
{
    Matches result;
    result.needle = needle;
    if (needle.isEmpty())
        return result;
    if (narrowing) {
        Q_ASSERT(needle.startsWith(narrowing->needle));
        // Each of the previous rows tested again, in list order.
        for (const qsizetype row : narrowing->inListOrder()) {
            const QStringView text = name(row);
            if (text.startsWith(needle))
                result.starting.append(row);
            else if (text.contains(needle))
                result.containing.append(row);
        }
        return result;
    }
    const bool filtered = !excluded.empty();
    if (needle.size() == 1 && ownBit(needle.front().unicode())) {
        const quint64 bit = quint64(1) << letterBit(needle.front().unicode());
        const QChar first = needle.front();
        const qsizetype count = size();
        for (qsizetype row = 0; row < count; ++row) {
            if (!(m_letters[size_t(row)] & bit) || (filtered && excluded[size_t(row)]))
                continue;
            (m_names.at(m_starts[row]) == first ? result.starting : result.containing).append(row);
        }
        return result;
    }
    forEachMatch(needle, [&](qsizetype row, bool atStart) {
        if (filtered && excluded[size_t(row)])
            return;
        (atStart ? result.starting : result.containing).append(row);
    });
    return result;
}

NameFilter::ListRows NameFilter::listRows(const QList<qsizetype> &order, qsizetype items)
{
    // A list in the filter's own order is searched through its positions, which read in order.
    if (std::is_sorted(order.cbegin(), order.cend()))
        return {};
    ListRows rows(size_t(std::max<qsizetype>(items, 0)), -1);
    for (qsizetype row = 0; row < order.size(); ++row)
        rows[size_t(order[row])] = qint32(row);
    return rows;
}

NameFilter::Matches NameFilter::matchesAmong(const QString &needle, const QList<qsizetype> &order,
                                             const Matches *narrowing, const ListRows *listRows) const
{
    Matches result;
    result.needle = needle;
    // An empty list may come with a filter never given any items.
    if (needle.isEmpty() || order.isEmpty())
        return result;
    Q_ASSERT(!narrowing || needle.startsWith(narrowing->needle));
    const auto test = [&](qsizetype row) {
        const QStringView text = name(order[row]);
        if (text.startsWith(needle))
            result.starting.append(row);
        else if (text.contains(needle))
            result.containing.append(row);
    };
    const qsizetype rows = order.size();
    const qsizetype count = size();
    const bool letter = needle.size() == 1 && ownBit(needle.front().unicode());
    // A short list (one category), or few rows left to test: those rows' own names only. Names
    // read in list order jump about the joined text, which costs little for a few.
    if (narrowing && narrowing->count() * 8 < count) {
        for (const qsizetype row : narrowing->inListOrder())
            test(row);
        return result;
    }
    const bool ownOrder = listRows ? listRows->empty() : std::is_sorted(order.cbegin(), order.cend());
    if (ownOrder && rows * 8 >= count && !narrowing) {
        if (letter) {
            const quint64 bit = quint64(1) << letterBit(needle.front().unicode());
            const QChar first = needle.front();
            for (qsizetype row = 0; row < rows; ++row) {
                const qsizetype at = order[row];
                if (m_letters[size_t(at)] & bit)
                    (m_names.at(m_starts[at]) == first ? result.starting : result.containing).append(row);
            }
            return result;
        }
        // One pass over all the names, then the list's rows picked out in its order.
        std::vector<quint8> found(size_t(count), 0);
        forEachMatch(needle, [&](qsizetype at, bool atStart) { found[size_t(at)] = atStart ? 2 : 1; });
        for (qsizetype row = 0; row < rows; ++row) {
            if (const quint8 kind = found[size_t(order[row])])
                (kind == 2 ? result.starting : result.containing).append(row);
        }
        return result;
    }
    if (rows * 8 < count || ownOrder) {
        if (narrowing) {
            for (const qsizetype row : narrowing->inListOrder())
                test(row);
        } else {
            for (qsizetype row = 0; row < rows; ++row)
                test(row);
        }
        return result;
    }
    // A long list: the names are read in their own order, each match is placed at its row, and
    // one pass over the rows hands them out in list order.
    ListRows own;
    if (!listRows || listRows->empty()) {
        own = NameFilter::listRows(order, count);
        listRows = &own;
    }
    std::vector<quint8> found(size_t(rows), 0);
    const auto place = [&](qsizetype at, bool atStart) {
        const qint32 row = (*listRows)[size_t(at)];
        if (row >= 0)
            found[size_t(row)] = atStart ? 2 : 1;
    };
    if (narrowing) {
        std::vector<bool> previous(size_t(count), false);
        for (const QList<qsizetype> *part : {&narrowing->starting, &narrowing->containing}) {
            for (const qsizetype row : *part)
                previous[size_t(order[row])] = true;
        }
        for (qsizetype at = 0; at < count; ++at) {
            if (!previous[size_t(at)])
                continue;
            const QStringView text = name(at);
            if (text.startsWith(needle))
                place(at, true);
            else if (text.contains(needle))
                place(at, false);
        }
    } else if (letter) {
        const quint64 bit = quint64(1) << letterBit(needle.front().unicode());
        const QChar first = needle.front();
        for (qsizetype at = 0; at < count; ++at) {
            if (m_letters[size_t(at)] & bit)
                place(at, m_names.at(m_starts[at]) == first);
        }
    } else {
        forEachMatch(needle, place);
    }
    for (qsizetype row = 0; row < rows; ++row) {
        if (const quint8 kind = found[size_t(row)])
            (kind == 2 ? result.starting : result.containing).append(row);
    }
    return result;
}

template<typename Match>
const NameFilter::Matches &SearchTrail::step(const QString &needle, Match &&match)
{
    while (!m_trail.empty() && !needle.startsWith(m_trail.back().needle))
        m_trail.pop_back();
    if (needle.isEmpty())
        return m_none;
    if (m_trail.empty() || m_trail.back().needle != needle) {
        NameFilter::Matches narrowed = match(m_trail.empty() ? nullptr : &m_trail.back());
        m_trail.push_back(std::move(narrowed));
    }
    return m_trail.back();
}

const NameFilter::Matches &SearchTrail::matchesAmong(const NameFilter &filter, const QString &needle,
                                                     const QList<qsizetype> &order)
{
    return step(needle, [&](const NameFilter::Matches *narrowing) {
        // The list's rows are made at its first long search and kept while it is searched.
        if (order.size() * 8 >= filter.size() && !order.isEmpty()
            && (m_listRowsFor != order.constData() || m_listRowsLength != order.size())) {
            m_listRows = NameFilter::listRows(order, filter.size());
            m_listRowsFor = order.constData();
            m_listRowsLength = order.size();
        }
        const bool kept = !order.isEmpty() && m_listRowsFor == order.constData() && m_listRowsLength == order.size();
        return filter.matchesAmong(needle, order, narrowing, kept ? &m_listRows : nullptr);
    });
}

const NameFilter::Matches &SearchTrail::matches(const NameFilter &filter, const QString &needle,
                                                const std::vector<bool> &excluded)
{
    return step(needle,
                [&](const NameFilter::Matches *narrowing) { return filter.matches(needle, excluded, narrowing); });
}

} // namespace Catalogue
