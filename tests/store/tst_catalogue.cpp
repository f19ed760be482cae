// The fast orderings, cuts and search against plain implementations of the same rules, on
// lists large enough that an unstable sort would show (small ones are sorted by insertion).
#include "store/catalogue.h"

#include <QRandomGenerator>
#include <QtTest>

#include <algorithm>

Q_DECLARE_METATYPE(VodSort)

namespace {

QList<MediaItem> catalogue(int rows)
{
    // Few distinct keys, so that most comparisons are ties.
    static const char *names[] = {"apple", "Apple", "Äpfel", "banana", "BANANA", "cherry", "Zebra", "zebra", "éclair", "Eclair"};
    static const char *stamps[] = {"100", "", " 200", "300", "x", "100.5", "nan", "1e3"};
    QRandomGenerator random(7);
    QList<MediaItem> items;
    for (int i = 0; i < rows; ++i) {
        items.append(MediaItem{.id = QString::number(i),
                               .name = QString::fromUtf8(names[random.bounded(int(std::size(names)))]),
                               .kind = MediaItem::Kind::movie,
                               .categoryId = QString::number(random.bounded(4)),
                               .added = QString::fromLatin1(stamps[random.bounded(int(std::size(stamps)))]),
                               .rating5 = random.bounded(4) / 2.0});
    }
    return items;
}

double plainAdded(const QString &text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    const bool leadingBlank = !text.isEmpty() && text.at(0).isSpace();
    return ok && !leadingBlank && !std::isnan(value) ? value : 0;
}

QList<MediaItem> plainSorted(QList<MediaItem> items, VodSort sort, const QCollator &collator)
{
    std::stable_sort(items.begin(), items.end(), [&](const MediaItem &a, const MediaItem &b) {
        switch (sort) {
        case VodSort::added:
            return plainAdded(a.added) > plainAdded(b.added);
        case VodSort::number:
            return a.num < b.num;
        case VodSort::rating:
            return a.rating5 > b.rating5;
        case VodSort::az:
            return collator.compare(a.name, b.name) < 0;
        case VodSort::za:
            return collator.compare(a.name, b.name) > 0;
        }
        return false;
    });
    return items;
}

QStringList ids(const QList<MediaItem> &items)
{
    QStringList result;
    for (const MediaItem &item : items)
        result.append(item.id);
    return result;
}

} // namespace

class TestCatalogue : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void orderingsAreStable_data()
    {
        QTest::addColumn<VodSort>("sort");
        for (VodSort sort : allCases<VodSort>())
            QTest::newRow(qPrintable(rawValue(sort))) << sort;
    }

    void orderingsAreStable()
    {
        QFETCH(VodSort, sort);
        const QCollator collator = Catalogue::nameCollator();
        const QList<MediaItem> items = catalogue(500);
        QCOMPARE(ids(Catalogue::sortedVod(items, sort, collator)), ids(plainSorted(items, sort, collator)));
    }

    void newestIsTheHeadOfTheAddedOrder()
    {
        const QList<MediaItem> items = catalogue(400);
        const QList<MediaItem> sorted = plainSorted(items, VodSort::added, QCollator());
        QCOMPARE(ids(Catalogue::newest(items, 10)), ids(sorted.mid(0, 10)));
        QCOMPARE(ids(Catalogue::newest(items.mid(0, 7), 10)), ids(plainSorted(items.mid(0, 7), VodSort::added, QCollator())));
        QVERIFY(Catalogue::newest({}, 10).isEmpty());
    }

    void cuts()
    {
        const QList<MediaItem> items = catalogue(200);
        QList<MediaItem> second;
        std::copy_if(items.cbegin(), items.cend(), std::back_inserter(second), [](const MediaItem &item) { return item.categoryId == "2"; });
        QCOMPARE(ids(Catalogue::inCategory(items, "2")), ids(second));
        Catalogue::CategoryIndex index;
        index.build(items);
        for (const char *category : {"0", "1", "2", "3", "none"})
            QCOMPARE(ids(index.cut(items, category)), ids(Catalogue::inCategory(items, category)));
        QCOMPARE(ids(Catalogue::withIds(items, {"150", "3", "none"})), QStringList({"3", "150"}));
        QCOMPARE(ids(Catalogue::inIdOrder(items, {"150", "none", "3", "150"})), QStringList({"150", "3", "150"}));
    }

    void searchMatchesThePlainRule_data()
    {
        QTest::addColumn<QString>("search");
        for (const char *text : {"an", "AN", " an\t", "ä", "É", "apple", "e", "  ", "\tz", "ae", "ra"})
            QTest::newRow(text) << QString::fromUtf8(text);
        QTest::newRow("separator character") << QString(QChar(0));
    }

    void searchMatchesThePlainRule()
    {
        QFETCH(QString, search);
        const QList<MediaItem> items = catalogue(300);
        Catalogue::NameFilter filter;
        filter.setItems(items);
        const QString needle = Catalogue::trimmedSearch(search);
        QList<qsizetype> plain;
        for (qsizetype i = 0; i < items.size(); ++i) {
            if (items[i].name.contains(needle, Qt::CaseInsensitive))
                plain.append(i);
        }
        const auto rows = filter.match(search);
        QCOMPARE(rows.has_value(), !needle.isEmpty());
        if (rows)
            QCOMPARE(*rows, plain);
    }

};

QTEST_GUILESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
