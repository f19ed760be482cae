// The browsing screens' decisions: grid geometry and keyboard moves, what the grid pane shows,
// the sort menu, prompts, category symbols and selection, the PIN check, typed text; the
// rounded poster's crop and outline.
#include "browserules.h"
#include "roundedpicture.h"
#include "store/appstore.h"
#include "store/listmodels.h"

#include <QtTest>

#include <cmath>

class TestBrowseRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void gridGeometry_data()
    {
        QTest::addColumn<qreal>("width");
        QTest::addColumn<int>("columns");
        QTest::addColumn<qreal>("card");
        QTest::newRow("narrower than one card") << 100.0 << 1 << 150.0;
        QTest::newRow("one card exactly") << 182.0 << 1 << 150.0;
        QTest::newRow("a point short of two") << 345.0 << 1 << 313.0;
        QTest::newRow("two exactly") << 346.0 << 2 << 150.0;
        QTest::newRow("three exactly") << 510.0 << 3 << 150.0;
        QTest::newRow("smallest window") << 599.0 << 3 << (599.0 - 32 - 28) / 3;
        QTest::newRow("default window") << 979.0 << 5 << (979.0 - 32 - 56) / 5;
        QTest::newRow("fractional width") << 509.9 << 2 << (509.9 - 32 - 14) / 2;
    }

    void gridGeometry()
    {
        QFETCH(qreal, width);
        QFETCH(qreal, card);
        QTEST(BrowseRules::columnCount(width), "columns");
        QVERIFY(qAbs(BrowseRules::cardWidth(width) - card) < 1e-9);
        QCOMPARE(BrowseRules::cellWidth(width), BrowseRules::cardWidth(width) + 14);
    }

    // The grid view counts its columns as its width over the cell width; at every width that
    // count must be ours, and the cells must end 16 points before the right edge.
    void gridViewAgreesAtEveryWidth()
    {
        for (qreal width = 182; width <= 3000; width += 0.25) {
            const int columns = BrowseRules::columnCount(width);
            const qreal cell = BrowseRules::cellWidth(width);
            QVERIFY2(std::max(1, int(std::floor(width / cell))) == columns, qPrintable(QString::number(width)));
            const qreal right = 16 + columns * cell - 14;
            QVERIFY2(qAbs(right - (width - 16)) < 1e-6, qPrintable(QString::number(width)));
        }
    }

    void cellHeight()
    {
        // Poster, gap, two lines of title, row spacing; whole points.
        QCOMPARE(BrowseRules::cellHeight(16), 200.0 + 8 + 32 + 16);
        QCOMPARE(BrowseRules::cellHeight(16.4), 200.0 + 8 + 33 + 16);
    }

    void gridNeighbour_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("columns");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("next");
        const int left = Qt::Key_Left, right = Qt::Key_Right, up = Qt::Key_Up, down = Qt::Key_Down;
        // 12 cells, 5 a row: rows 0-4, 5-9, 10-11.
        QTest::newRow("right") << 0 << 12 << 5 << right << 1;
        QTest::newRow("right at the row's end") << 4 << 12 << 5 << right << -1;
        QTest::newRow("right at the last cell") << 11 << 12 << 5 << right << -1;
        QTest::newRow("left") << 6 << 12 << 5 << left << 5;
        QTest::newRow("left at the row's start") << 5 << 12 << 5 << left << -1;
        QTest::newRow("down") << 1 << 12 << 5 << down << 6;
        QTest::newRow("down into a short last row") << 6 << 12 << 5 << down << 11;
        QTest::newRow("down where the last row has a cell") << 5 << 12 << 5 << down << 10;
        QTest::newRow("down from the last row") << 10 << 12 << 5 << down << -1;
        QTest::newRow("up") << 11 << 12 << 5 << up << 6;
        QTest::newRow("up from the first row") << 3 << 12 << 5 << up << -1;
        QTest::newRow("one column") << 2 << 4 << 1 << down << 3;
        QTest::newRow("no columns counts as one") << 2 << 4 << 0 << up << 1;
        QTest::newRow("no current cell") << -1 << 4 << 2 << down << 0;
        QTest::newRow("empty grid") << 0 << 0 << 5 << right << -1;
        QTest::newRow("other key") << 0 << 12 << 5 << int(Qt::Key_A) << -1;
    }

    void gridNeighbour()
    {
        QFETCH(int, index);
        QFETCH(int, count);
        QFETCH(int, columns);
        QFETCH(int, key);
        QTEST(BrowseRules::gridNeighbour(index, count, columns, key), "next");
    }

    void gridContent_data()
    {
        QTest::addColumn<bool>("loadingCategories");
        QTest::addColumn<bool>("loadingItems");
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("itemsFailed");
        QTest::addColumn<bool>("categoriesFailed");
        QTest::addColumn<BrowseRules::GridContent>("shows");
        using C = BrowseRules::GridContent;
        QTest::newRow("items load, none yet") << false << true << 0 << false << false << C::Spinner;
        QTest::newRow("items load over old ones") << false << true << 5 << false << false << C::Spinner;
        QTest::newRow("catalogue still arriving") << true << false << 0 << false << false << C::Spinner;
        QTest::newRow("Retry loads over the failure") << false << true << 0 << true << false << C::Spinner;
        QTest::newRow("loaded, empty") << false << false << 0 << false << false << C::Empty;
        QTest::newRow("failed: never an empty grid") << false << false << 0 << true << false << C::Failure;
        QTest::newRow("both failed: the items' failure") << false << false << 0 << true << true << C::Failure;
        QTest::newRow("categories failed: never an empty grid") << false << false << 0 << false << true << C::Blank;
        QTest::newRow("categories failed, favourites shown") << false << false << 2 << false << true << C::Grid;
        QTest::newRow("loaded") << false << false << 3 << false << false << C::Grid;
    }

    void gridContent()
    {
        QFETCH(bool, loadingCategories);
        QFETCH(bool, loadingItems);
        QFETCH(int, count);
        QFETCH(bool, itemsFailed);
        QFETCH(bool, categoriesFailed);
        QTEST(BrowseRules::gridContent(loadingCategories, loadingItems, count, itemsFailed, categoriesFailed), "shows");
    }

    void sortMenu()
    {
        QStringList titles;
        QList<int> orders;
        for (const QVariant &order : BrowseRules::sortOrders()) {
            orders.append(order.toInt());
            titles.append(BrowseRules::sortTitle(VodSort(order.toInt())));
        }
        QCOMPARE(titles, QStringList({"Order by Added", "Order by Number", "Order by Rating", "A-Z", "Z-A"}));
        QCOMPARE(orders, QList<int>({int(VodSort::added), int(VodSort::number), int(VodSort::rating), int(VodSort::az), int(VodSort::za)}));
    }

    void searchPrompt_data()
    {
        QTest::addColumn<Section>("section");
        QTest::addColumn<QString>("prompt");
        QTest::newRow("movies") << Section::movies << "Search movies";
        QTest::newRow("TV shows") << Section::series << "Search TV shows";
    }

    void searchPrompt()
    {
        QFETCH(Section, section);
        QTEST(BrowseRules::searchPrompt(section), "prompt");
    }

    void categorySymbol_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("symbol");
        QTest::newRow("favourites") << "__fav__" << "star.fill";
        QTest::newRow("recently viewed") << "__recent__" << "clock";
        QTest::newRow("provider category") << "12" << "";
        QTest::newRow("look-alike id") << "__FAV__" << "";
    }

    void categorySymbol()
    {
        QFETCH(QString, id);
        QTEST(BrowseRules::categorySymbol(id), "symbol");
    }

    void selection_data()
    {
        QTest::addColumn<bool>("hasSelection");
        QTest::addColumn<QString>("selectedName");
        QTest::addColumn<bool>("selected");
        QTest::addColumn<int>("index");
        QTest::newRow("same id and name") << true << "Drama" << true << 1;
        QTest::newRow("same id, other name") << true << "Drama HD" << false << 2;
        QTest::newRow("nothing selected") << false << "Drama" << false << -1;
        QTest::newRow("selection not in the column") << true << "Gone" << false << -1;
    }

    // The row "7 Drama" of a column holding "1 News", "7 Drama", "7 Drama HD".
    void selection()
    {
        QFETCH(bool, hasSelection);
        QFETCH(QString, selectedName);
        const Category row{QStringLiteral("7"), QStringLiteral("Drama")};
        const Category selected{QStringLiteral("7"), selectedName};
        QTEST(BrowseRules::isSelected(row, hasSelection, selected), "selected");
        CategoryListModel column(QByteArrayLiteral("category"), nullptr);
        column.replace({{QStringLiteral("1"), QStringLiteral("News")}, row, {QStringLiteral("7"), QStringLiteral("Drama HD")}});
        QTEST(BrowseRules::selectedIndex(&column, hasSelection, selected), "index");
        QCOMPARE(BrowseRules::selectedIndex(nullptr, hasSelection, selected), -1);
    }

    void pin_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("opens");
        QTest::newRow("exact") << "729304" << "729304" << true;
        QTest::newRow("trailing space") << "729304 " << "729304" << false;
        QTest::newRow("leading space") << " 729304" << "729304" << false;
        QTest::newRow("shorter") << "72930" << "729304" << false;
        QTest::newRow("other case") << "abc" << "abC" << false;
        QTest::newRow("empty, PIN set") << "" << "729304" << false;
        QTest::newRow("empty, PIN empty") << "" << "" << true;
        QTest::newRow("anything, PIN empty") << "0" << "" << false;
        QTest::newRow("letters and signs kept") << "pä ss!" << "pä ss!" << true;
    }

    void pin()
    {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        QTEST(BrowseRules::pinMatches(typed, stored), "opens");
    }

    void typedText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("types");
        QTest::newRow("letter") << "a" << 0 << true;
        QTest::newRow("capital with Shift") << "A" << int(Qt::ShiftModifier) << true;
        QTest::newRow("digit on the keypad") << "4" << int(Qt::KeypadModifier) << true;
        QTest::newRow("accented") << "é" << 0 << true;
        QTest::newRow("Ctrl+F") << "\x06" << int(Qt::ControlModifier) << false;
        QTest::newRow("Alt+letter") << "a" << int(Qt::AltModifier) << false;
        QTest::newRow("no text (arrow)") << "" << 0 << false;
        QTest::newRow("Escape") << "\x1b" << 0 << false;
        QTest::newRow("Tab") << "\t" << 0 << false;
        QTest::newRow("Return") << "\r" << 0 << false;
    }

    void typedText()
    {
        QFETCH(QString, text);
        QFETCH(int, modifiers);
        QTEST(BrowseRules::typesIntoSearch(text, modifiers), "types");
    }

    void pictureCrop_data()
    {
        QTest::addColumn<QSizeF>("texture");
        QTest::addColumn<QSizeF>("item");
        QTest::addColumn<QRectF>("shown");
        QTest::newRow("same shape") << QSizeF(300, 400) << QSizeF(150, 200) << QRectF(0, 0, 1, 1);
        QTest::newRow("wide picture, tall frame") << QSizeF(400, 200) << QSizeF(100, 100) << QRectF(0.25, 0, 0.5, 1);
        QTest::newRow("tall picture, wide frame") << QSizeF(100, 400) << QSizeF(200, 200) << QRectF(0, 0.375, 1, 0.25);
        QTest::newRow("no picture yet") << QSizeF(0, 0) << QSizeF(150, 200) << QRectF(0, 0, 1, 1);
        QTest::newRow("frame not laid out") << QSizeF(300, 400) << QSizeF(150, 0) << QRectF(0, 0, 1, 1);
    }

    // The picture covers the frame, cropped evenly on its long side.
    void pictureCrop()
    {
        QFETCH(QSizeF, texture);
        QFETCH(QSizeF, item);
        QFETCH(QRectF, shown);
        const QRectF crop = RoundedPicture::croppedSourceRect(texture, item);
        QVERIFY2(std::abs(crop.x() - shown.x()) < 1e-9 && std::abs(crop.y() - shown.y()) < 1e-9
                     && std::abs(crop.width() - shown.width()) < 1e-9 && std::abs(crop.height() - shown.height()) < 1e-9,
                 qPrintable(QStringLiteral("%1 %2 %3 %4").arg(crop.x()).arg(crop.y()).arg(crop.width()).arg(crop.height())));
    }

    void pictureOutline_data()
    {
        QTest::addColumn<QSizeF>("size");
        QTest::addColumn<qreal>("radius");
        QTest::addColumn<qreal>("usedRadius");
        QTest::newRow("poster") << QSizeF(150, 200) << 10.0 << 10.0;
        QTest::newRow("square corners") << QSizeF(150, 200) << 0.0 << 0.0;
        QTest::newRow("radius beyond half the width") << QSizeF(40, 200) << 30.0 << 20.0;
        QTest::newRow("negative radius") << QSizeF(150, 200) << -4.0 << 0.0;
    }

    // The strip spans the whole frame, stays inside its rounded outline and fills the frame less
    // its four corners.
    void pictureOutline()
    {
        QFETCH(QSizeF, size);
        QFETCH(qreal, radius);
        QFETCH(qreal, usedRadius);
        const QList<QPointF> strip = RoundedPicture::outlineStrip(size, radius, 16);
        QVERIFY(strip.size() >= 4 && strip.size() % 2 == 0);
        QCOMPARE(strip.first().y(), 0.0);
        QCOMPARE(strip.last().y(), size.height());
        qreal area = 0;
        for (qsizetype i = 0; i < strip.size(); i += 2) {
            const QPointF left = strip.at(i);
            const QPointF right = strip.at(i + 1);
            QCOMPARE(left.y(), right.y());
            QVERIFY(left.x() >= 0 && right.x() <= size.width() && left.x() <= right.x());
            QCOMPARE(left.x(), size.width() - right.x()); // symmetric
            if (i >= 2) {
                const QPointF upLeft = strip.at(i - 2);
                const QPointF upRight = strip.at(i - 1);
                QVERIFY(left.y() >= upLeft.y());
                area += (left.y() - upLeft.y()) * ((upRight.x() - upLeft.x()) + (right.x() - left.x())) / 2;
            }
        }
        const qreal expected = size.width() * size.height() - (4 - M_PI) * usedRadius * usedRadius;
        QVERIFY2(std::abs(area - expected) < 0.01 * expected, qPrintable(QStringLiteral("%1 vs %2").arg(area).arg(expected)));
        if (usedRadius > 0)
            QVERIFY(area < size.width() * size.height() - 1);
    }
};

QTEST_MAIN(TestBrowseRules)
#include "tst_browserules.moc"
