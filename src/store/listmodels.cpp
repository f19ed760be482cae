#include "listmodels.h"

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
    return int(m_rows ? m_rows->size() : m_items.size());
}

const MediaItem &FilteredItemsModel::at(qsizetype row) const
{
    return m_items.at(m_rows ? m_rows->at(row) : row);
}

QVariant FilteredItemsModel::data(const QModelIndex &index, int role) const
{
    if (role != RecordRole || !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    return QVariant::fromValue(at(index.row()));
}

bool FilteredItemsModel::replace(const QList<MediaItem> &items, const std::optional<QList<qsizetype>> &rows, bool inPlace)
{
    // Identity, not equality: comparing 200,000 records on every keystroke would cost more
    // than the filtering itself.
    const bool sameItems = items.constData() == m_items.constData() && items.size() == m_items.size();
    if (sameItems && rows == m_rows)
        return false;
    const auto swap = [&] {
        m_items = items;
        m_rows = rows;
    };
    if (inPlace)
        updateWith(int(rows ? rows->size() : items.size()), swap);
    else
        resetWith(swap);
    return true;
}

QList<MediaItem> FilteredItemsModel::items() const
{
    if (!m_rows)
        return m_items;
    QList<MediaItem> result;
    result.reserve(m_rows->size());
    for (const qsizetype row : *m_rows)
        result.append(m_items.at(row));
    return result;
}
