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

// Positions 0…n-1 ordered by `compare` (three-way on positions); ties by position, which
// makes the unstable sort stable and lets it run on plain integers.
template<typename Compare>
std::vector<qsizetype> orderOf(qsizetype n, Compare compare)
{
    std::vector<qsizetype> order(static_cast<size_t>(n));
    std::iota(order.begin(), order.end(), qsizetype(0));
    std::sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        const int c = compare(a, b);
        return c != 0 ? c < 0 : a < b;
    });
    return order;
}

QList<MediaItem> permuted(QList<MediaItem> items, const std::vector<qsizetype> &order)
{
    bool unchanged = true;
    for (size_t i = 0; i < order.size() && unchanged; ++i)
        unchanged = order[i] == qsizetype(i);
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

std::vector<double> addedKeys(const QList<MediaItem> &items)
{
    std::vector<double> keys;
    keys.reserve(size_t(items.size()));
    for (const MediaItem &item : items)
        keys.push_back(addedKey(item.added));
    return keys;
}

std::vector<QCollatorSortKey> nameKeys(const QList<MediaItem> &items, const QCollator &collator)
{
    std::vector<QCollatorSortKey> keys;
    keys.reserve(size_t(items.size()));
    for (const MediaItem &item : items)
        keys.push_back(collator.sortKey(item.name));
    return keys;
}

QList<MediaItem> byName(QList<MediaItem> items, bool ascending, const QCollator &collator)
{
    const std::vector<QCollatorSortKey> keys = nameKeys(items, collator);
    const auto order = orderOf(items.size(), [&](qsizetype a, qsizetype b) {
        const int c = keys[size_t(a)].compare(keys[size_t(b)]);
        return ascending ? c : -c;
    });
    return permuted(std::move(items), order);
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

QList<MediaItem> sortedVod(QList<MediaItem> items, VodSort sort, const QCollator &collator)
{
    switch (sort) {
    case VodSort::added: {
        const std::vector<double> keys = addedKeys(items);
        const auto order = orderOf(items.size(), [&](qsizetype a, qsizetype b) {
            return descending(keys[size_t(a)], keys[size_t(b)]);
        });
        return permuted(std::move(items), order);
    }
    case VodSort::number: {
        const auto order = orderOf(items.size(), [&](qsizetype a, qsizetype b) {
            return -descending(items.at(a).num, items.at(b).num);
        });
        return permuted(std::move(items), order);
    }
    case VodSort::rating: {
        const auto order = orderOf(items.size(), [&](qsizetype a, qsizetype b) {
            return descending(orderable(items.at(a).rating5), orderable(items.at(b).rating5));
        });
        return permuted(std::move(items), order);
    }
    case VodSort::az:
        return byName(std::move(items), true, collator);
    case VodSort::za:
        return byName(std::move(items), false, collator);
    }
    return items;
}

QList<MediaItem> sortedLive(QList<MediaItem> items, int liveSortIndex, const QCollator &collator)
{
    switch (liveSortIndex) {
    case 1:
        return byName(std::move(items), true, collator);
    case 2:
        return byName(std::move(items), false, collator);
    default:
        return items;
    }
}

QList<MediaItem> newest(const QList<MediaItem> &items, qsizetype limit)
{
    const std::vector<double> keys = addedKeys(items);
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

QList<MediaItem> withIds(const QList<MediaItem> &cache, const QSet<QString> &ids)
{
    QList<MediaItem> result;
    if (ids.isEmpty())
        return result;
    for (const MediaItem &item : cache) {
        if (ids.contains(item.id))
            result.append(item);
    }
    return result;
}

QList<MediaItem> inIdOrder(const QList<MediaItem> &cache, const QStringList &ids)
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
    QList<MediaItem> result;
    for (const QString &id : ids) {
        const qsizetype at = first.value(id, -1);
        if (at >= 0)
            result.append(cache.at(at));
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
    return text.normalized(QString::NormalizationForm_C).toCaseFolded();
}

void NameFilter::setItems(const QList<MediaItem> &items)
{
    m_folded.clear();
    m_folded.reserve(items.size());
    for (const MediaItem &item : items)
        m_folded.append(foldForSearch(item.name));
}

std::optional<QList<qsizetype>> NameFilter::match(const QString &search) const
{
    const QString needle = foldForSearch(trimmedSearch(search));
    if (needle.isEmpty())
        return std::nullopt;
    QList<qsizetype> rows;
    for (qsizetype at = 0; at < m_folded.size(); ++at) {
        if (m_folded.at(at).contains(needle))
            rows.append(at);
    }
    return rows;
}

} // namespace Catalogue
