#pragma once

#include "model/enums.h"
#include "model/records.h"
#include "store/listmodels.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

// The browsing screens' decisions: the poster grid's geometry and keyboard moves, the sort
// menu's entries, the search prompts, the category column's symbols and selection, and the
// parental PIN check.
class BrowseRules : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(qreal columnSpacing READ qmlColumnSpacing CONSTANT FINAL)
    Q_PROPERTY(qreal rowSpacing READ qmlRowSpacing CONSTANT FINAL)
    Q_PROPERTY(qreal gridPadding READ qmlGridPadding CONSTANT FINAL)
    Q_PROPERTY(qreal posterHeight READ qmlPosterHeight CONSTANT FINAL)
    Q_PROPERTY(qreal titleGap READ qmlTitleGap CONSTANT FINAL)
    Q_PROPERTY(QVariantList sortOrders READ sortOrders CONSTANT FINAL)

public:
    using QObject::QObject;

    // What the grid pane shows below its header. Blank leaves the room to the category
    // column, whose own failure panel says why there is nothing.
    enum class GridContent { Spinner, Empty, Grid, Failure, Blank };
    Q_ENUM(GridContent)

    static constexpr qreal minimumCardWidth = 150;
    static constexpr qreal columnSpacing = 14;
    static constexpr qreal rowSpacing = 16;
    static constexpr qreal gridPadding = 16;
    static constexpr qreal posterHeight = 200;
    static constexpr qreal titleGap = 8;
    static constexpr int titleLines = 2;

    qreal qmlColumnSpacing() const { return columnSpacing; }
    qreal qmlRowSpacing() const { return rowSpacing; }
    qreal qmlGridPadding() const { return gridPadding; }
    qreal qmlPosterHeight() const { return posterHeight; }
    qreal qmlTitleGap() const { return titleGap; }

    // As many columns as fit in a view `viewWidth` wide (padding on both sides), at least one.
    Q_INVOKABLE static int columnCount(qreal viewWidth);
    // A card's width: the room left after padding and spacing, shared out among the columns.
    Q_INVOKABLE static qreal cardWidth(qreal viewWidth);
    // The grid's step from one column to the next: a card and the spacing after it.
    Q_INVOKABLE static qreal cellWidth(qreal viewWidth);
    // The step from one row to the next: poster, gap, two lines of title, row spacing.
    Q_INVOKABLE static qreal cellHeight(qreal titleLineSpacing);

    // The cell an arrow key (Qt::Key_Left, …) moves to from `index` in a grid of `count`
    // cells laid out `columns` wide; -1 when the key leaves the grid. Down from the row above a
    // short last row lands on the last cell.
    Q_INVOKABLE static int gridNeighbour(int index, int count, int columns, int key);

    // A spinner while the section's categories or the category's items load (a catalogue that
    // is still arriving is not an empty one), the failure when the items could not be fetched,
    // nothing at all when only the category list failed (an empty list there is no answer; the
    // column shows the failure and its Retry), "Nothing here yet" when no item is left to show,
    // otherwise the grid. The channel list decides the same way.
    Q_INVOKABLE static GridContent gridContent(bool loadingCategories, bool loadingItems, int count, bool itemsFailed,
                                               bool categoriesFailed);

    // The orderings in menu order, and each one's title.
    static QVariantList sortOrders();
    Q_INVOKABLE static QString sortTitle(Mavu::VodSort sort);

    // The search field's prompt over a section's poster grid.
    Q_INVOKABLE static QString searchPrompt(Mavu::Section section);

    // The symbol in front of a category row: a star for the favourites, a clock for the
    // recently viewed, none for the provider's categories.
    Q_INVOKABLE static QString categorySymbol(const QString &categoryId);
    // Whether a row shows as the selected category: same id and same name.
    Q_INVOKABLE static bool isSelected(const Category &row, bool hasSelection, const Category &selected);
    // Where the selected category stands in the column; -1 when nowhere.
    Q_INVOKABLE static int selectedIndex(const CategoryListModel *categories, bool hasSelection, const Category &selected);

    // The parental PIN opens only when typed exactly: same characters, case and length.
    Q_INVOKABLE static bool pinMatches(const QString &typed, const QString &pin);

    // Whether a key press carries text that belongs in the search field: printable characters
    // without a command modifier.
    Q_INVOKABLE static bool typesIntoSearch(const QString &text, int modifiers);
};
