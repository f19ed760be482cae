#pragma once

#include "model/records.h"

#include <QAbstractListModel>
#include <QByteArray>
#include <QList>
#include <QString>

#include <algorithm>
#include <optional>

// The store's lists as models for the screens. Each row holds one record under a single
// role ("item", "category", "season", "episode", "program" or "day"). A new list replaces
// the rows in one reset, so a list of 100,000 entries costs the view one rebuild, never
// 100,000 insertions. A list renewed behind the user's back (fresher data for the same
// screen) is instead changed in place, so that views keep their scroll position and row.
class ListModelBase : public QAbstractListModel
{
    Q_OBJECT
    Q_PROPERTY(int count READ count NOTIFY countChanged FINAL)

public:
    static constexpr int RecordRole = Qt::UserRole + 1;

    ListModelBase(QByteArray roleName, QObject *parent);

    int count() const { return rowCount(); }
    QHash<int, QByteArray> roleNames() const override;

Q_SIGNALS:
    void countChanged();

protected:
    // Runs `swap` inside one reset and reports a changed count.
    template<typename Swap>
    void resetWith(Swap &&swap)
    {
        const int before = count();
        beginResetModel();
        swap();
        endResetModel();
        if (count() != before)
            Q_EMIT countChanged();
    }

    // Runs `swap` as a change in place: the rows both lists have are changed, the others
    // inserted or removed at the end.
    template<typename Swap>
    void updateWith(int after, Swap &&swap)
    {
        const int before = count();
        if (after < before)
            beginRemoveRows(QModelIndex(), after, before - 1);
        else if (after > before)
            beginInsertRows(QModelIndex(), before, after - 1);
        swap();
        if (after < before)
            endRemoveRows();
        else if (after > before)
            endInsertRows();
        if (const int kept = std::min(before, after); kept > 0)
            Q_EMIT dataChanged(index(0), index(kept - 1), {RecordRole});
        if (after != before)
            Q_EMIT countChanged();
    }

private:
    QByteArray m_roleName;
};

template<typename T>
class RecordListModel : public ListModelBase
{
public:
    RecordListModel(QByteArray roleName, QObject *parent)
        : ListModelBase(std::move(roleName), parent)
    {
    }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : int(m_rows.size());
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role != RecordRole || !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
            return {};
        return QVariant::fromValue(m_rows.at(index.row()));
    }

    const QList<T> &rows() const { return m_rows; }

    // Nothing happens when the rows are already these (same shared list or equal entries).
    bool replace(const QList<T> &rows, bool inPlace = false)
    {
        if (rows == m_rows)
            return false;
        if (inPlace)
            updateWith(int(rows.size()), [&] { m_rows = rows; });
        else
            resetWith([&] { m_rows = rows; });
        return true;
    }

private:
    QList<T> m_rows;
};

// One named class per kind of row, so that QML (and qmllint) knows each model by its type.
// moc is shown ListModelBase as the base: it cannot name a template, and the template adds no
// meta-object of its own, so the meta-object chain is the same either way.
#ifdef Q_MOC_RUN
#define MAVU_RECORD_MODEL_BASE(T) ListModelBase
#else
#define MAVU_RECORD_MODEL_BASE(T) RecordListModel<T>
#endif

class CategoryListModel : public MAVU_RECORD_MODEL_BASE(Category)
{
    Q_OBJECT
public:
    using RecordListModel::RecordListModel;
};

class MediaItemListModel : public MAVU_RECORD_MODEL_BASE(MediaItem)
{
    Q_OBJECT
public:
    using RecordListModel::RecordListModel;
};

class SeasonListModel : public MAVU_RECORD_MODEL_BASE(Season)
{
    Q_OBJECT
public:
    using RecordListModel::RecordListModel;
};

class EpisodeListModel : public MAVU_RECORD_MODEL_BASE(Episode)
{
    Q_OBJECT
public:
    using RecordListModel::RecordListModel;
};

class EpgProgramListModel : public MAVU_RECORD_MODEL_BASE(EpgProgram)
{
    Q_OBJECT
public:
    using RecordListModel::RecordListModel;
};

class TextListModel : public MAVU_RECORD_MODEL_BASE(QString)
{
    Q_OBJECT
public:
    using RecordListModel::RecordListModel;
};

#undef MAVU_RECORD_MODEL_BASE

// The filtered items: the item list itself (shared, not copied) and, while a search is
// typed, the positions of the matching rows. A keystroke over 200,000 names therefore
// hands the view a list of positions, not 200,000 copied records.
class FilteredItemsModel : public ListModelBase
{
    Q_OBJECT

public:
    explicit FilteredItemsModel(QObject *parent);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;

    // `rows` absent: every item, in order. False when the view already shows exactly this.
    // Another choice of rows over the same items (a search typed on) is told as the runs of rows
    // removed and inserted when they are few, else as a change in place from the first row that
    // differs; either way the delegates already made are kept, where a reset would make the view
    // build every one again. Other items (another category) over rows already shown change
    // every row in place too, between `listReplacing` and `listReplaced`; `inPlace` (the same
    // list, renewed) does the same without them. Only a list that starts or ends empty is one
    // reset.
    bool replace(const QList<MediaItem> &items, const std::optional<QList<qsizetype>> &rows, bool inPlace = false)
    {
        return replace(items, std::nullopt, rows, inPlace);
    }
    // The same over a list given as positions in `items` (`order`; absent: every item in turn),
    // so that a long list in another order is shown without a copy of its records. `rows` are
    // then rows of that list.
    bool replace(const QList<MediaItem> &items, const std::optional<QList<qsizetype>> &order,
                 const std::optional<QList<qsizetype>> &rows, bool inPlace = false);

    // The rows as records (copies), in order.
    QList<MediaItem> items() const;
    // The first row showing the item with this id, or -1: where a poster went in a new order.
    Q_INVOKABLE int rowOf(const QString &id) const;
    const MediaItem &at(qsizetype row) const;

    // Beyond this many runs the rows are changed in place: each run costs the view a pass over
    // its rows and the list a move of its tail.
    static constexpr qsizetype maxRuns = 24;

Q_SIGNALS:
    // Another list took the rows' place, told as changes rather than a reset: a view starts
    // again at its top, as it would after a reset.
    void listReplaced();
    // Told just before such a change: a view scrolled deep into the old rows can go to its top
    // first, taking its set-aside delegates up again, instead of losing the delegates of rows
    // that the change removes and making the top's anew.
    void listReplacing();

public:
    struct testing
    {
        // Every change as one reset, as before rows were changed in place: the benchmarks'
        // figures beside it.
        static bool resetAlways;
    };

private:
    bool reselect(const std::optional<QList<qsizetype>> &rows);

    qsizetype listSize() const { return m_order ? m_order->size() : m_items.size(); }

    QList<MediaItem> m_items;
    std::optional<QList<qsizetype>> m_order;
    std::optional<QList<qsizetype>> m_rows;
};
