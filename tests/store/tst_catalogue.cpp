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
                               .rating5 = random.bounded(4) / 2.0});
        items.last().setAdded(QString::fromLatin1(stamps[random.bounded(int(std::size(stamps)))]));
    }
    return items;
}

QString withoutAccents(const QString &text)
{
    QString kept;
    for (const QChar c : text.normalized(QString::NormalizationForm_D)) {
        if (!c.isMark())
            kept += c;
    }
    return kept;
}

QList<MediaItem> named(const QStringList &names)
{
    QList<MediaItem> items;
    for (const QString &name : names)
        items.append(MediaItem{.id = QString::number(items.size()), .name = name});
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
            return plainAdded(a.added()) > plainAdded(b.added());
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

QStringList idsAt(const QList<MediaItem> &items, const QList<qsizetype> &positions)
{
    return ids(Catalogue::atPositions(items, positions));
}

// The plain rule for a list given as positions: the rows whose name holds the folded needle,
// those that start with it first, each group in list order.
QList<qsizetype> plainMatches(const QList<MediaItem> &items, const QList<qsizetype> &order, const QString &needle)
{
    QList<qsizetype> starting, containing;
    for (qsizetype row = 0; row < order.size(); ++row) {
        const QString name = Catalogue::foldForSearch(items[order[row]].name);
        if (name.startsWith(needle))
            starting.append(row);
        else if (name.contains(needle))
            containing.append(row);
    }
    return starting + containing;
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

    // A category cut from the whole catalogue's kept order is the category sorted by itself,
    // ties and equal names included, for every ordering; both ways of cutting (few positions
    // sorted, many picked out of the order) and the order without excluded entries.
    void keptOrderCutsAsSortingTheCut_data()
    {
        QTest::addColumn<VodSort>("sort");
        QTest::addColumn<QString>("cut");
        for (VodSort sort : allCases<VodSort>()) {
            for (const char *cut : {"one category", "few scattered", "everything", "without two categories", "nothing"})
                QTest::newRow(qPrintable(rawValue(sort) + u' ' + QLatin1String(cut))) << sort << QString::fromLatin1(cut);
        }
    }

    void keptOrderCutsAsSortingTheCut()
    {
        QFETCH(VodSort, sort);
        QFETCH(QString, cut);
        const QCollator collator = Catalogue::nameCollator();
        const QList<MediaItem> items = catalogue(2000);
        Catalogue::KeptOrder kept;
        QVERIFY(!kept.holds(int(sort)));
        kept.keep(int(sort), Catalogue::orderedVod(items, Catalogue::everyPosition(items.size()), sort, collator));
        QVERIFY(kept.holds(int(sort)));

        const auto wanted = [&](qsizetype at) {
            if (cut == "one category")
                return items[at].categoryId == "1";
            if (cut == "few scattered")
                return at % 97 == 5;
            if (cut == "without two categories")
                return items[at].categoryId != "0" && items[at].categoryId != "3";
            return cut == "everything";
        };
        QList<MediaItem> plain;
        QList<qsizetype> positions;
        std::vector<bool> excluded(size_t(items.size()));
        for (qsizetype at = 0; at < items.size(); ++at) {
            excluded[size_t(at)] = !wanted(at);
            if (wanted(at)) {
                plain.append(items[at]);
                positions.append(at);
            }
        }
        const QStringList expected = ids(plainSorted(plain, sort, collator));
        QCOMPARE(idsAt(items, kept.cut(positions)), expected);
        QCOMPARE(idsAt(items, kept.without(excluded)), expected);
        // Sorting the positions by themselves agrees too (recents are ordered that way).
        QCOMPARE(idsAt(items, Catalogue::orderedVod(items, positions, sort, collator)), expected);
    }

    // The list's search over a filter made once for all the records: the rows of a list in
    // another order (long, one pass over every name; short, the list's own names), typed on
    // letter by letter, erased and typed on again, each time what the plain rule finds.
    void searchAmongAListMatchesThePlainRule_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QStringList>("typed"); // each text in turn, as keys would make them
        const QStringList typing{"a", "ap", "app", "apple", "apple ", "apple b", "apple", "ap", "ae", "a", "", "e", "é", "éc", "z"};
        for (const char *list : {"whole catalogue by name", "most of the catalogue, z-a", "most of the catalogue in its order",
                                 "one category by name", "a few, reversed"}) {
            QTest::newRow(qPrintable(QString::fromLatin1(list) + QStringLiteral(" typing"))) << QString::fromLatin1(list) << typing;
            QTest::newRow(qPrintable(QString::fromLatin1(list) + QStringLiteral(" pasted")))
                << QString::fromLatin1(list) << QStringList{"ple ban", "ANA", "x", "1", "ra c"};
            // A separator could join two names of the joined text; a match after it narrows a match.
            QTest::newRow(qPrintable(QString::fromLatin1(list) + QStringLiteral(" separator")))
                << QString::fromLatin1(list) << QStringList{QStringLiteral("a") + QChar(0), QStringLiteral("a"), QStringLiteral("an")};
        }
    }

    void searchAmongAListMatchesThePlainRule()
    {
        QFETCH(QString, list);
        QFETCH(QStringList, typed);
        const QCollator collator = Catalogue::nameCollator();
        const QList<MediaItem> words = catalogue(1200);
        // Two words to a name, so that a needle can start a name, sit inside it or span both.
        QList<MediaItem> items;
        for (qsizetype i = 0; i + 1 < words.size(); ++i) {
            items.append(words[i]);
            items.last().name = words[i].name + u' ' + words[i + 1].name + u' ' + QString::number(i);
        }
        QList<qsizetype> order = Catalogue::orderedVod(items, Catalogue::everyPosition(items.size()), VodSort::az, collator);
        if (list == QLatin1String("most of the catalogue in its order")) {
            order = Catalogue::everyPosition(items.size());
            order.removeIf([](qsizetype at) { return at % 7 == 3; });
        } else if (list.startsWith(QLatin1String("most of"))) {
            order = Catalogue::orderedVod(items, Catalogue::everyPosition(items.size()), VodSort::za, collator);
            order.removeIf([](qsizetype at) { return at % 5 == 0; });
        } else if (list.startsWith(QLatin1String("one category"))) {
            order.removeIf([&](qsizetype at) { return items[at].categoryId != "2"; });
        } else if (list.startsWith(QLatin1String("a few"))) {
            order = {900, 17, 450, 3, 1100};
        }
        Catalogue::NameFilter filter;
        filter.setItems(items);
        Catalogue::SearchTrail trail;
        for (const QString &text : typed) {
            const QString needle = Catalogue::foldForSearch(text);
            const Catalogue::NameFilter::Matches &found = trail.matchesAmong(filter, needle, order);
            QCOMPARE(found.needle, needle);
            QCOMPARE(found.starting + found.containing, needle.isEmpty() ? QList<qsizetype>() : plainMatches(items, order, needle));
            const QList<qsizetype> rows = found.inListOrder();
            QCOMPARE(rows.size(), found.count());
            QVERIFY(std::is_sorted(rows.cbegin(), rows.cend()));
            // Without the trail (no narrowing, the list's rows made for this search) the same.
            QCOMPARE(filter.matchesAmong(needle, order).inListOrder(), rows);
        }
        // No list yet: a filter that was never given items finds nothing, and says so safely.
        QCOMPARE(Catalogue::NameFilter().matchesAmong(QStringLiteral("news"), {}).count(), 0);
        QCOMPARE(Catalogue::SearchTrail().matchesAmong(Catalogue::NameFilter(), QStringLiteral("n"), {}).count(), 0);
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
        const QString needle = withoutAccents(Catalogue::trimmedSearch(search));
        QList<qsizetype> plain;
        for (qsizetype i = 0; i < items.size(); ++i) {
            if (withoutAccents(items[i].name).contains(needle, Qt::CaseInsensitive))
                plain.append(i);
        }
        const auto rows = filter.match(search);
        QCOMPARE(rows.has_value(), !needle.isEmpty());
        if (rows)
            QCOMPARE(*rows, plain);
    }

    void folding_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("folded");
        QTest::newRow("capitals") << "NEWS 24" << "news 24";
        QTest::newRow("composed accents") << "Café Crème" << "cafe creme";
        QTest::newRow("decomposed accents") << QString::fromUtf8("Cafe\u0301") << "cafe";
        QTest::newRow("capital with accent") << "ÉCLAIR" << "eclair";
        QTest::newRow("ligature") << QString::fromUtf8("\uFB01lm") << "film";
        QTest::newRow("no accent-free form") << "Ørsted Łódź" << "ørsted łodz";
        QTest::newRow("Greek") << "Άλφα" << "αλφα";
    }

    void folding()
    {
        QFETCH(QString, text);
        QFETCH(QString, folded);
        QCOMPARE(Catalogue::foldForSearch(text), folded);
    }

    void ranking_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("search");
        QTest::addColumn<qsizetype>("limit");
        QTest::addColumn<QList<int>>("excluded");
        QTest::addColumn<qsizetype>("count");
        QTest::addColumn<QStringList>("best");

        const QStringList names{"The News", "news at ten", "Sport", "Newsroom", "Late News", "NEWSDAY"};
        QTest::newRow("starts before contains, list order in each")
            << names << "news" << qsizetype(30) << QList<int>() << qsizetype(5)
            << QStringList{"news at ten", "Newsroom", "NEWSDAY", "The News", "Late News"};
        QTest::newRow("capped, counted whole") << names << "NEWS" << qsizetype(2) << QList<int>() << qsizetype(5)
                                               << QStringList{"news at ten", "Newsroom"};
        QTest::newRow("cap reached by the first group only")
            << names << "news" << qsizetype(4) << QList<int>() << qsizetype(5)
            << QStringList{"news at ten", "Newsroom", "NEWSDAY", "The News"};
        QTest::newRow("excluded rows neither shown nor counted")
            << names << "news" << qsizetype(30) << QList<int>{1, 4} << qsizetype(3) << QStringList{"Newsroom", "NEWSDAY", "The News"};
        QTest::newRow("accents either side") << QStringList{"Télé Monde", "Hotel", "Motel TV"} << "tele" << qsizetype(30)
                                             << QList<int>() << qsizetype(1) << QStringList{"Télé Monde"};
        QTest::newRow("accented search") << QStringList{"Cafe Society", "Le Café", "Caffeine"} << " CAFÉ\t" << qsizetype(30)
                                         << QList<int>() << qsizetype(2) << QStringList{"Cafe Society", "Le Café"};
        QTest::newRow("match later in a name that starts otherwise") << QStringList{"b ab", "ab ab"} << "ab" << qsizetype(30)
                                                                    << QList<int>() << qsizetype(2) << QStringList{"ab ab", "b ab"};
        QTest::newRow("one letter, starts before contains")
            << names << "N" << qsizetype(30) << QList<int>{1} << qsizetype(4) << QStringList{"Newsroom", "NEWSDAY", "The News", "Late News"};
        QTest::newRow("one digit") << QStringList{"Channel 4", "4 Music", "Four"} << "4" << qsizetype(30) << QList<int>()
                                   << qsizetype(2) << QStringList{"4 Music", "Channel 4"};
        QTest::newRow("one accented letter") << QStringList{"Été", "Hotel", "Rain"} << "É" << qsizetype(30) << QList<int>()
                                             << qsizetype(2) << QStringList{"Été", "Hotel"};
        QTest::newRow("blanks only") << names << "  " << qsizetype(30) << QList<int>() << qsizetype(0) << QStringList();
        QTest::newRow("nothing") << names << "weather" << qsizetype(30) << QList<int>() << qsizetype(0) << QStringList();
        QTest::newRow("empty list") << QStringList() << "news" << qsizetype(30) << QList<int>() << qsizetype(0) << QStringList();
    }

    void ranking()
    {
        QFETCH(QStringList, names);
        QFETCH(QString, search);
        QFETCH(qsizetype, limit);
        QFETCH(QList<int>, excluded);
        QFETCH(qsizetype, count);
        QFETCH(QStringList, best);
        const QList<MediaItem> items = named(names);
        Catalogue::NameFilter filter;
        filter.setItems(items);
        std::vector<bool> marks;
        if (!excluded.isEmpty()) {
            marks.resize(size_t(items.size()));
            for (const int row : excluded)
                marks[size_t(row)] = true;
        }
        const auto ranked = filter.ranked(search, limit, marks);
        QCOMPARE(ranked.count, count);
        QStringList shown;
        for (const qsizetype row : ranked.rows)
            shown.append(items.at(row).name);
        QCOMPARE(shown, best);
    }

    // Narrowing the previous matches gives what a search from scratch gives, letter by letter.
    void narrowingMatchesAFreshSearch()
    {
        const QList<MediaItem> words = catalogue(300);
        QList<MediaItem> items;
        for (qsizetype i = 0; i + 1 < words.size(); ++i)
            items.append(MediaItem{.id = QString::number(i), .name = words[i].name + u' ' + words[i + 1].name});
        Catalogue::NameFilter filter;
        filter.setItems(items);
        std::vector<bool> excluded(size_t(items.size()));
        for (size_t row = 0; row < excluded.size(); row += 7)
            excluded[row] = true;
        for (const char *typed : {"apple banana", "ÄPFEL E", "éclair zebra", "e", "0"}) {
            const QString text = QString::fromUtf8(typed);
            std::optional<Catalogue::NameFilter::Matches> previous;
            for (qsizetype length = 1; length <= text.size(); ++length) {
                const QString needle = Catalogue::foldForSearch(text.left(length));
                const auto fresh = filter.matches(needle, excluded);
                const auto narrowed = filter.matches(needle, excluded, previous ? &*previous : nullptr);
                QCOMPARE(narrowed.starting, fresh.starting);
                QCOMPARE(narrowed.containing, fresh.containing);
                previous = narrowed;
            }
            QVERIFY(text == QLatin1String("0") || previous->count() > 0);
        }
    }
};

QTEST_GUILESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
