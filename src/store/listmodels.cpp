#include "listmodels.h"

#include <numeric>

ListModelBase::ListModelBase(QByteArray roleName, QObject *parent)
    : QAbstractListModel(parent)
    , m_roleName(std::move(roleName))
{
}

QHash<int, QByteArray> ListModelBase::roleNames() const
{
    return {{RecordRole, m_roleName}};
}

FilteredItemsModel::FilteredItemsModel(QObject *parent)
    : ListModelBase(QByteArrayLiteral("item"), parent)
{
}

int FilteredItemsModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    return int(m_rows ? m_rows->size() : listSize());
}

const MediaItem &FilteredItemsModel::at(qsizetype row) const
{
    const qsizetype inList = m_rows ? m_rows->at(row) : row;
    return m_items.at(m_order ? m_order->at(inList) : inList);
}

QVariant FilteredItemsModel::data(const QModelIndex &index, int role) const
{
    if (role != RecordRole || !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    return QVariant::fromValue(at(index.row()));
}

bool FilteredItemsModel::replace(const QList<MediaItem> &items, const std::optional<QList<qsizetype>> &order,
                                 const std::optional<QList<qsizetype>> &rows, bool inPlace)
{
    // Identity, not equality: comparing 200,000 records on every keystroke would cost more
    // than the filtering itself.
    const auto same = [](const auto &a, const auto &b) {
        return a.constData() == b.constData() && a.size() == b.size();
    };
    const bool sameOrder = order.has_value() == m_order.has_value() && (!order || same(*order, *m_order));
    const bool sameItems = same(items, m_items) && sameOrder;
    if (sameItems && rows == m_rows)
        return false;
    if (sameItems && !testing::resetAlways)
        return reselect(rows);
    const auto swap = [&] {
        m_items = items;
        m_order = order;
        m_rows = rows;
    };
    const int after = int(rows ? rows->size() : (order ? order->size() : items.size()));
    if (inPlace) {
        updateWith(after, swap);
    } else if (count() > 0 && after > 0 && !testing::resetAlways) {
        // A reset would have the view drop every delegate and make a screenful anew.
        Q_EMIT listReplacing();
        updateWith(after, swap);
        Q_EMIT listReplaced();
    } else {
        resetWith(swap);
    }
    return true;
}

bool FilteredItemsModel::testing::resetAlways = false;

namespace {

// A choice of rows: positions in the item list, or every item when absent.
struct Choice
{
    const std::optional<QList<qsizetype>> &rows;
    qsizetype all;

    qsizetype size() const { return rows ? rows->size() : all; }
    qsizetype at(qsizetype i) const { return rows ? (*rows)[i] : i; }
};

// One run of an edit from the old rows to the new: `count` old rows removed at `at`, or the new
// rows from `from` inserted before the old row `at`.
struct Run
{
    bool insert;
    qsizetype at;
    qsizetype from;
    qsizetype count;
};

// The runs that turn `before` into `after`, walking both in step; both are in list order, so a
// row held by both is kept. Empty with `tooMany` set once there are more than `limit`.
std::vector<Run> runsBetween(const Choice &before, const Choice &after, qsizetype limit, bool &tooMany)
{
    std::vector<Run> runs;
    tooMany = false;
    qsizetype i = 0, j = 0;
    const qsizetype n = before.size(), m = after.size();
    while (i < n || j < m) {
        if (i < n && j < m && before.at(i) == after.at(j)) {
            ++i;
            ++j;
            continue;
        }
        const bool removing = j == m || (i < n && before.at(i) < after.at(j));
        if (qsizetype(runs.size()) == limit) {
            tooMany = true;
            return {};
        }
        Run run{!removing, i, j, 0};
        if (removing) {
            while (i < n && (j == m || before.at(i) < after.at(j))) {
                ++i;
                ++run.count;
            }
        } else {
            while (j < m && (i == n || after.at(j) < before.at(i))) {
                ++j;
                ++run.count;
            }
        }
        runs.push_back(run);
    }
    return runs;
}

} // namespace

bool FilteredItemsModel::reselect(const std::optional<QList<qsizetype>> &rows)
{
    const Choice before{m_rows, listSize()};
    const Choice after{rows, listSize()};
    const int countBefore = count();
    bool tooMany = false;
    const std::vector<Run> runs = runsBetween(before, after, maxRuns, tooMany);
    // Each run moves the tail of the list once; past a few runs over a long list that costs
    // more than the change in place.
    const bool fewRuns = !tooMany && qsizetype(runs.size()) * std::max(before.size(), after.size()) <= 2'000'000;
    if (!fewRuns) {
        // Rows up to the first difference keep their delegates untouched.
        qsizetype same = 0;
        const qsizetype kept = std::min(before.size(), after.size());
        while (same < kept && before.at(same) == after.at(same))
            ++same;
        const int countAfter = int(after.size());
        if (countAfter < countBefore)
            beginRemoveRows(QModelIndex(), countAfter, countBefore - 1);
        else if (countAfter > countBefore)
            beginInsertRows(QModelIndex(), countBefore, countAfter - 1);
        m_rows = rows;
        if (countAfter < countBefore)
            endRemoveRows();
        else if (countAfter > countBefore)
            endInsertRows();
        if (same < kept)
            Q_EMIT dataChanged(index(int(same)), index(int(kept - 1)), {RecordRole});
        if (countAfter != countBefore)
            Q_EMIT countChanged();
        return true;
    }

    if (runs.empty()) {
        // The same rows spelled another way (every item, or all their positions).
        m_rows = rows;
        return false;
    }
    if (runs.size() == 1) {
        // One run leaves the new rows at once, with no list in between.
        const Run &run = runs.front();
        if (run.insert)
            beginInsertRows(QModelIndex(), int(run.at), int(run.at + run.count - 1));
        else
            beginRemoveRows(QModelIndex(), int(run.at), int(run.at + run.count - 1));
        m_rows = rows;
        if (run.insert)
            endInsertRows();
        else
            endRemoveRows();
        Q_EMIT countChanged();
        return true;
    }

    // The runs from the last to the first, so that each one's place among the old rows holds.
    QList<qsizetype> working;
    if (m_rows) {
        working = *m_rows;
    } else {
        working.resize(listSize());
        std::iota(working.begin(), working.end(), qsizetype(0));
    }
    m_rows = std::move(working);
    for (auto run = runs.crbegin(); run != runs.crend(); ++run) {
        const int first = int(run->at);
        const int last = int(run->at + run->count - 1);
        if (run->insert) {
            beginInsertRows(QModelIndex(), first, last);
            m_rows->insert(run->at, run->count, 0);
            for (qsizetype k = 0; k < run->count; ++k)
                (*m_rows)[run->at + k] = after.at(run->from + k);
            endInsertRows();
        } else {
            beginRemoveRows(QModelIndex(), first, last);
            m_rows->remove(run->at, run->count);
            endRemoveRows();
        }
    }
    // The same rows, now shared with the caller's list rather than held twice.
    m_rows = rows;
    if (count() != countBefore)
        Q_EMIT countChanged();
    return true;
}

QList<MediaItem> FilteredItemsModel::items() const
{
    if (!m_rows && !m_order)
        return m_items;
    QList<MediaItem> result;
    result.reserve(count());
    for (qsizetype row = 0; row < count(); ++row)
        result.append(at(row));
    return result;
}

int FilteredItemsModel::rowOf(const QString &id) const
{
    const int rows = count();
    for (int row = 0; row < rows; ++row) {
        if (at(row).id == id)
            return row;
    }
    return -1;
}
