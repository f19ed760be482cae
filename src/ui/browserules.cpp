#include "browserules.h"

#include "store/appstore.h"

#include <algorithm>
#include <cmath>

namespace {

qreal usableWidth(qreal viewWidth)
{
    return viewWidth - 2 * BrowseRules::gridPadding;
}

} // namespace

int BrowseRules::columnCount(qreal viewWidth)
{
    // n cards need n × minimum + (n − 1) × spacing; the small allowance keeps a width that fits
    // exactly from losing a column to rounding.
    const qreal fit = (usableWidth(viewWidth) + columnSpacing) / (minimumCardWidth + columnSpacing);
    return std::max(1, int(std::floor(fit + 1e-9)));
}

qreal BrowseRules::cardWidth(qreal viewWidth)
{
    const int columns = columnCount(viewWidth);
    const qreal shared = (usableWidth(viewWidth) - (columns - 1) * columnSpacing) / columns;
    return std::max(minimumCardWidth, shared);
}

qreal BrowseRules::cellWidth(qreal viewWidth)
{
    return cardWidth(viewWidth) + columnSpacing;
}

qreal BrowseRules::cellHeight(qreal titleLineSpacing)
{
    return std::ceil(posterHeight + titleGap + titleLines * titleLineSpacing) + rowSpacing;
}

int BrowseRules::gridNeighbour(int index, int count, int columns, int key)
{
    if (count <= 0)
        return -1;
    columns = std::max(1, columns);
    if (index < 0 || index >= count)
        return 0;
    const int column = index % columns;
    const int row = index / columns;
    const int lastRow = (count - 1) / columns;
    switch (key) {
    case Qt::Key_Left:
        return column > 0 ? index - 1 : -1;
    case Qt::Key_Right:
        return column < columns - 1 && index + 1 < count ? index + 1 : -1;
    case Qt::Key_Up:
        return row > 0 ? index - columns : -1;
    case Qt::Key_Down:
        if (row == lastRow)
            return -1;
        return std::min(index + columns, count - 1);
    default:
        return -1;
    }
}

BrowseRules::GridContent BrowseRules::gridContent(bool loadingCategories, bool loadingItems, int count, bool itemsFailed,
                                                  bool categoriesFailed)
{
    if (loadingCategories || loadingItems)
        return GridContent::Spinner;
    if (count > 0)
        return GridContent::Grid;
    if (itemsFailed)
        return GridContent::Failure;
    return categoriesFailed ? GridContent::Blank : GridContent::Empty;
}

QVariantList BrowseRules::sortOrders()
{
    QVariantList orders;
    for (const VodSort sort : allCases<VodSort>())
        orders.append(int(sort));
    return orders;
}

QString BrowseRules::sortTitle(Mavu::VodSort sort)
{
    return rawValue(sort);
}

QString BrowseRules::searchPrompt(Mavu::Section section)
{
    return section == Section::movies ? QStringLiteral("Search movies") : QStringLiteral("Search TV shows");
}

QString BrowseRules::categorySymbol(const QString &categoryId)
{
    if (categoryId == AppStore::favoritesId)
        return QStringLiteral("star.fill");
    if (categoryId == AppStore::recentsId)
        return QStringLiteral("clock");
    return {};
}

bool BrowseRules::isSelected(const Category &row, bool hasSelection, const Category &selected)
{
    return hasSelection && row == selected;
}

int BrowseRules::selectedIndex(const CategoryListModel *categories, bool hasSelection, const Category &selected)
{
    if (!categories || !hasSelection)
        return -1;
    return int(categories->rows().indexOf(selected));
}

bool BrowseRules::pinMatches(const QString &typed, const QString &pin)
{
    return typed == pin;
}

bool BrowseRules::typesIntoSearch(const QString &text, int modifiers)
{
    if (modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    return !text.isEmpty() && std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.isPrint(); });
}
