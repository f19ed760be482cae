#pragma once

#include "model/enums.h"
#include "model/records.h"

#include <QCollator>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <optional>
#include <vector>

// The catalogue work of the store that involves no state: cutting a section's cached
// catalogue into one category's list, ordering it and filtering it by a search text.
// Catalogues reach 200,000 entries, so every ordering computes each key once per list
// (never per comparison) and sorts positions, not records.
namespace Catalogue {

// The `added` stamp as an ordering key: the whole text must be one number. A text that
// does not read, and "nan" (which reads but cannot be ordered), count as 0.
double addedKey(const QString &added);

// A collator for names: the user's locale (the root order under the C locale), letter case ignored.
QCollator nameCollator();

// Stable orderings; equal entries keep their relative order.
QList<MediaItem> sortedVod(QList<MediaItem> items, VodSort sort, const QCollator &collator);
// 0 and any unknown value: the provider's order; 1: names ascending; 2: names descending.
QList<MediaItem> sortedLive(QList<MediaItem> items, int liveSortIndex, const QCollator &collator);
// The same orderings over positions in `items`: `positions` reordered, equal entries keeping
// their order in `positions`. Lists are handed on as positions so that no record is copied.
QList<qsizetype> orderedVod(const QList<MediaItem> &items, const QList<qsizetype> &positions, VodSort sort,
                            const QCollator &collator);
QList<qsizetype> orderedLive(const QList<MediaItem> &items, const QList<qsizetype> &positions, int liveSortIndex,
                             const QCollator &collator);
// 0…n-1.
QList<qsizetype> everyPosition(qsizetype n);
// The records at `positions`, in that order.
QList<MediaItem> atPositions(const QList<MediaItem> &items, const QList<qsizetype> &positions);
// The first `limit` entries of the `added` ordering, without sorting the whole list.
QList<MediaItem> newest(const QList<MediaItem> &items, qsizetype limit);

// Cuts, each in cache order.
QList<MediaItem> inCategory(const QList<MediaItem> &cache, const QString &categoryId);

// Where each category's items sit in a cache: made in one pass, after which cutting a
// category touches only its own items instead of scanning every record of the cache.
class CategoryIndex
{
public:
    bool isBuilt() const { return m_built; }
    void build(const QList<MediaItem> &cache);
    void clear();
    // The items of `categoryId` in cache order; the cache must be the one it was built from.
    QList<MediaItem> cut(const QList<MediaItem> &cache, const QString &categoryId) const;
    // The same as positions in the cache, ascending.
    QList<qsizetype> rows(const QString &categoryId) const { return m_rows.value(categoryId); }

private:
    QHash<QString, QList<qsizetype>> m_rows;
    bool m_built = false;
};
QList<MediaItem> withIds(const QList<MediaItem> &cache, const QSet<QString> &ids);
// For each id in turn, the first cached item with that id; ids without one are skipped.
QList<MediaItem> inIdOrder(const QList<MediaItem> &cache, const QStringList &ids);
// The same two as positions in the cache.
QList<qsizetype> positionsWithIds(const QList<MediaItem> &cache, const QSet<QString> &ids);
QList<qsizetype> positionsInIdOrder(const QList<MediaItem> &cache, const QStringList &ids);

// A whole catalogue in one ordering, kept between choices so that a category's list is cut from
// it instead of sorted anew. The orderings are stable, and a category's items sit in the
// catalogue's order, so the cut keeps the order that sorting the category alone would give.
class KeptOrder
{
public:
    // Whether the order is kept for the ordering `key` (any number naming one ordering).
    bool holds(int key) const { return m_key == key; }
    // `order`: every position of the catalogue once.
    void keep(int key, QList<qsizetype> order);
    void clear();
    const QList<qsizetype> &order() const { return m_order; }
    // The catalogue positions `positions` (each at most once), in the kept order.
    QList<qsizetype> cut(const QList<qsizetype> &positions) const;
    // The kept order without the positions marked in `excluded` (one mark per position).
    QList<qsizetype> without(const std::vector<bool> &excluded) const;

private:
    std::optional<int> m_key;
    QList<qsizetype> m_order;
    std::vector<qint32> m_rank; // where each position stands in m_order
};

// True when the name holds "xxx", "adult" or "porn" in any letter case, also inside a word.
bool isAdult(const QString &text);

// The search text without the blanks and tabs at its ends (line breaks stay).
QString trimmedSearch(const QString &text);

// Case-insensitive "name contains" over one list. The names are folded once per list and
// kept end to end in one text, so that a keystroke is one pass over contiguous memory.
class NameFilter
{
public:
    void setItems(const QList<MediaItem> &items);

    // Positions of the items whose name contains the trimmed `search`; nothing when the
    // trimmed search is empty (every item passes).
    std::optional<QList<qsizetype>> match(const QString &search) const;

    // The whole library's search: how many names contain the trimmed `search`, and the first
    // `limit` of them with the names that start with it ahead of the rest, each group in list
    // order. Rows marked in `excluded` (when it is not empty) take no part.
    struct Ranked
    {
        qsizetype count = 0;
        QList<qsizetype> rows;
    };
    Ranked ranked(const QString &search, qsizetype limit, const std::vector<bool> &excluded = {}) const;

    // Every match of one folded needle, kept so that typing on only has to test these rows:
    // a needle that starts with this one can match no other name.
    struct Matches
    {
        QString needle;
        QList<qsizetype> starting;   // names that start with the needle, in list order
        QList<qsizetype> containing; // the other names holding it, in list order
        qsizetype count() const { return starting.size() + containing.size(); }
        Ranked ranked(qsizetype limit) const;
        QList<qsizetype> inListOrder() const;
    };
    // The matches of the folded, non-empty `needle`, without the rows marked in `excluded`.
    // `narrowing`, when given, must be the matches of a needle that `needle` starts with, made
    // with the same exclusions; only its rows are tested then.
    Matches matches(const QString &needle, const std::vector<bool> &excluded = {}, const Matches *narrowing = nullptr) const;
    // Where each item stands in a list made of this filter's items (-1: not in it), for
    // matchesAmong: made once per list.
    using ListRows = std::vector<qint32>;
    static ListRows listRows(const QList<qsizetype> &order, qsizetype items);
    // The same over a list made of this filter's items: row i of the list is the item at
    // `order[i]`, and the rows found are the list's rows, in list order. `narrowing`, when
    // given, must be the list's matches of a needle that `needle` starts with. `rows`, when
    // given, must be listRows(order, size()); a long list makes its own otherwise.
    Matches matchesAmong(const QString &needle, const QList<qsizetype> &order, const Matches *narrowing = nullptr,
                         const ListRows *rows = nullptr) const;

    qsizetype size() const { return std::max<qsizetype>(m_starts.size() - 1, 0); }

private:
    // Calls `found(row, atStart)` for each name holding `needle` (not empty), in list order.
    template<typename Found>
    void forEachMatch(const QString &needle, Found &&found) const;
    QStringView name(qsizetype row) const
    {
        return QStringView(m_names).mid(m_starts[row], m_starts[row + 1] - m_starts[row] - 1);
    }

    QString m_names;           // folded names, each followed by a separator
    QList<qsizetype> m_starts; // where each name starts in m_names, and the end
    // One bit per letter or digit a name holds (others share the remaining bits), so that the
    // first letter typed, which matches half the library, costs one pass over these instead
    // of a text search per match.
    std::vector<quint64> m_letters;
};

// The matches of each text typed since the last start over, each narrowing the one before:
// typing on tests only the previous matches, erasing goes back to matches kept. Cleared
// whenever the filter's list or the exclusions change.
class SearchTrail
{
public:
    // The matches of the folded `needle` (none when it is empty).
    const NameFilter::Matches &matches(const NameFilter &filter, const QString &needle, const std::vector<bool> &excluded = {});
    // The same over a list made of the filter's items (see NameFilter::matchesAmong); cleared
    // whenever the list's order changes.
    const NameFilter::Matches &matchesAmong(const NameFilter &filter, const QString &needle,
                                            const QList<qsizetype> &order);
    void clear()
    {
        m_trail.clear();
        m_listRows = {};
        m_listRowsFor = nullptr;
        m_listRowsLength = 0;
    }

private:
    template<typename Match>
    const NameFilter::Matches &step(const QString &needle, Match &&match);
    std::vector<NameFilter::Matches> m_trail;
    NameFilter::Matches m_none;
    // The rows of the list searched by matchesAmong, made at its first long search.
    NameFilter::ListRows m_listRows;
    const qsizetype *m_listRowsFor = nullptr;
    qsizetype m_listRowsLength = 0;
};

// Folding used on both sides of the comparison: compatibility forms split, accents and other
// combining marks dropped, letter case folded ("Café" and "CAFE" both give "cafe").
QString foldForSearch(const QString &text);

} // namespace Catalogue
