// The store's list models as views see them.
#include "storefixture.h"
#include "store/catalogue.h"
#include "store/listmodels.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

#include <numeric>

using namespace StoreTest;

namespace {

// Counts how a model announced its changes.
struct ModelWatch
{
    explicit ModelWatch(QAbstractItemModel *model)
        : tester(model, QAbstractItemModelTester::FailureReportingMode::QtTest)
        , resets(model, &QAbstractItemModel::modelReset)
        , inserts(model, &QAbstractItemModel::rowsInserted)
        , removals(model, &QAbstractItemModel::rowsRemoved)
        , changes(model, &QAbstractItemModel::dataChanged)
        , counts(model, SIGNAL(countChanged()))
    {
    }

    QAbstractItemModelTester tester;
    QSignalSpy resets;
    QSignalSpy inserts;
    QSignalSpy removals;
    QSignalSpy changes;
    QSignalSpy counts;
};

// Sixty names in six kinds that take turns, so that one word matches rows spread over the list.
QList<MediaItem> produce()
{
    static const QStringList kinds{"red apple", "green apple", "red pear", "blue pear", "red plum", "green plum"};
    QList<MediaItem> items;
    for (int i = 0; i < 60; ++i) {
        MediaItem item;
        item.id = QString::number(i);
        item.name = QStringLiteral("%1 %2").arg(kinds[i % kinds.size()]).arg(i);
        items.append(item);
    }
    return items;
}

QStringList idsOf(const QAbstractItemModel *model)
{
    QStringList ids;
    for (int row = 0; row < model->rowCount(); ++row)
        ids.append(model->data(model->index(row, 0), ListModelBase::RecordRole).value<MediaItem>().id);
    return ids;
}

template<typename T>
T record(QAbstractItemModel *model, int row)
{
    return model->data(model->index(row, 0), ListModelBase::RecordRole).template value<T>();
}

} // namespace

class TestStoreModels : public QObject
{
    Q_OBJECT

    std::unique_ptr<Fixture> f;

private Q_SLOTS:
    void init() { f = std::make_unique<Fixture>(); }
    void cleanup() { f.reset(); }

    // A whole visit: every model changes by resets only, passes the model checks and shows
    // what the store holds.
    void aVisitThroughEveryList()
    {
        f->serve("get_live_categories", categoriesJson({{"1", "News"}, {"2", "Sport"}}));
        f->serve("get_live_streams", channelsJson({{.id = "c1", .name = "News One", .archive = true},
                                                   {.id = "c2", .name = "News Two"},
                                                   {.id = "c3", .name = "Sport", .category = "2"}}));
        f->serve("get_short_epg", guideJson({programAgo("Now", 0.2), programAgo("Next", -0.3)}));
        f->serve("get_simple_data_table", guideJson({programAgo("Yesterday", 26), programAgo("Today", 1)}));
        f->serve("get_vod_streams", moviesJson({{.id = "m1", .name = "Film", .added = "2"}, {.id = "m2", .name = "Other", .added = "1"}}));
        f->serve("get_series", showsJson({{.id = "s1", .name = "Show"}}));
        f->serve("get_series_info", compact(QJsonObject{
                                        {"seasons", QJsonArray{QJsonObject{{"season_number", 1}}}},
                                        {"episodes", QJsonObject{{"1", QJsonArray{QJsonObject{{"id", "e1"}}, QJsonObject{{"id", "e2"}}}}}}}));

        auto store = f->makeStore();
        const QList<QByteArray> roles{"category", "item", "item", "item", "season", "episode", "program", "day", "program"};
        std::vector<std::unique_ptr<ModelWatch>> watches;
        for (ListModelBase *model : store->allModels()) {
            QCOMPARE(model->roleNames().values(), QList<QByteArray>{roles[qsizetype(watches.size())]});
            watches.push_back(std::make_unique<ModelWatch>(model));
        }

        await(store->connect(f->playlist(), false));
        await(store->openSection(Section::live));
        QTRY_COMPARE(store->epgNowNext().size(), 2);
        await(store->openCatchup());
        store->setSelectedCatchupDay(store->catchupDays().first());
        await(store->openDetail(store->latestSeries().first()));

        for (const auto &watch : watches) {
            QCOMPARE(watch->inserts.count() + watch->removals.count() + watch->changes.count(), 0);
            QVERIFY(watch->resets.count() > 0); // every list took part
            QCOMPARE(watch->counts.count() > 0, watch->resets.count() > 0);
        }

        auto *categories = store->categoriesListModel();
        QCOMPARE(categories->count(), 4);
        QCOMPARE(record<Category>(categories, 2), store->categories()[2]);
        auto *items = store->filteredItemsModel();
        QCOMPARE(items->count(), 2);
        QCOMPARE(record<MediaItem>(items, 1).id, QStringLiteral("c2"));
        QCOMPARE(record<MediaItem>(qobject_cast<QAbstractItemModel *>(store->latestMoviesModel()), 0).id, QStringLiteral("m1"));
        auto *days = qobject_cast<QAbstractItemModel *>(store->catchupDaysModel());
        QCOMPARE(days->rowCount(), store->catchupDays().size());
        QCOMPARE(record<QString>(days, 0), store->catchupDays().first());
        auto *dayPrograms = qobject_cast<QAbstractItemModel *>(store->catchupDayProgramsModel());
        QCOMPARE(record<EpgProgram>(dayPrograms, 0).title, QStringLiteral("Yesterday"));
        auto *episodes = qobject_cast<QAbstractItemModel *>(store->seasonEpisodesModel());
        QCOMPARE(episodes->rowCount(), 2);
        QCOMPARE(record<Episode>(episodes, 1).id, QStringLiteral("e2"));
        QCOMPARE(qobject_cast<QAbstractItemModel *>(store->epgNowNextModel())->rowCount(), 2);
    }

    // Typing, erasing and replacing the search over the same items: the rows are always those
    // a fresh filter gives, the model is never reset, and an item that stays in view keeps its
    // row's index when the change came as a few runs.
    void searchChangesRowsWithoutAReset_data()
    {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<bool>("lastKeepsItems");
        // From every item to half of them spread over the list: too many runs, changed in place.
        QTest::newRow("first key") << QStringList{"red"} << false;
        QTest::newRow("narrow") << QStringList{"red", "red p"} << true;
        QTest::newRow("narrow to one") << QStringList{"red", "red p", "red plum 16"} << true;
        QTest::newRow("narrow to none") << QStringList{"plum", "plum x"} << false;
        QTest::newRow("widen") << QStringList{"red", "red p", "red"} << true;
        QTest::newRow("widen from none") << QStringList{"plum x", "plum"} << false;
        QTest::newRow("replace text") << QStringList{"red p", "apple"} << false;
        QTest::newRow("replace by a neighbour") << QStringList{"red pear", "red plum"} << false;
        QTest::newRow("clear") << QStringList{"red", "red p", ""} << false;
        QTest::newRow("clear after one") << QStringList{"green plum 11", ""} << false;
        QTest::newRow("blank") << QStringList{"   "} << false;
        QTest::newRow("round trip") << QStringList{"g", "gr", "gre", "green", "green ", "green p", "green", "gr", ""} << false;
    }
    void searchChangesRowsWithoutAReset()
    {
        QFETCH(QStringList, texts);
        QFETCH(bool, lastKeepsItems);
        const QList<MediaItem> items = produce();
        Catalogue::NameFilter filter;
        filter.setItems(items);
        FilteredItemsModel model(nullptr);
        model.replace(items, std::nullopt);
        ModelWatch watch(&model);

        for (const QString &text : texts) {
            const QStringList before = idsOf(&model);
            // A row shown before and after this text, to follow through the change.
            QStringList after;
            for (const qsizetype row : filter.match(text).value_or([&] {
                     QList<qsizetype> all(items.size());
                     std::iota(all.begin(), all.end(), qsizetype(0));
                     return all;
                 }()))
                after.append(items[row].id);
            const auto both = std::find_if(before.cbegin(), before.cend(), [&](const QString &id) { return after.contains(id); });
            const QPersistentModelIndex followed(both != before.cend() ? model.index(int(both - before.cbegin())) : QModelIndex());

            model.replace(items, filter.match(text));

            QCOMPARE(idsOf(&model), after);
            QCOMPARE(model.count(), after.size());
            if (text == texts.last() && lastKeepsItems) {
                QVERIFY(followed.isValid());
                QCOMPARE(followed.data(ListModelBase::RecordRole).value<MediaItem>().id, *both);
            }
        }
        QCOMPARE(watch.resets.count(), 0);
    }

    // Many runs over a long list go in place from the first row that differs, in one signal
    // of each kind.
    void manyRunsChangeInPlace()
    {
        const QList<MediaItem> items = produce();
        Catalogue::NameFilter filter;
        filter.setItems(items);
        FilteredItemsModel model(nullptr);
        model.replace(items, filter.match("red"));
        ModelWatch watch(&model);

        // "red" holds rows 0, 2, 4, 6, ...; "green" holds 1, 5, 7, 11, ...: no row in common,
        // forty runs between them.
        QVERIFY(model.replace(items, filter.match("green")));
        QCOMPARE(watch.resets.count(), 0);
        QCOMPARE(watch.changes.count(), 1);
        QCOMPARE(watch.changes.first().at(0).value<QModelIndex>().row(), 0);
        QCOMPARE(watch.changes.first().at(1).value<QModelIndex>().row(), 19);
        QCOMPARE(watch.inserts.count(), 0);
        QCOMPARE(watch.removals.count(), 1); // 30 rows become 20
        QCOMPARE(watch.counts.count(), 1);
        QVERIFY(!model.replace(items, filter.match("green")));

        QVERIFY(model.replace(items, std::nullopt));
        QCOMPARE(watch.resets.count(), 0);
        QCOMPARE(model.count(), 60);
    }

    // A list given as positions in shared records (a category cut from a whole catalogue):
    // the rows are the records at those positions, a search picks rows of that list, and
    // another list over the same records is told as another list, not as a search.
    void listAsPositions_data()
    {
        QTest::addColumn<QList<qsizetype>>("order");
        QTest::addColumn<QString>("search");
        QList<qsizetype> reversed(60);
        std::iota(reversed.rbegin(), reversed.rend(), qsizetype(0));
        QTest::newRow("every record, reversed") << reversed << "";
        QTest::newRow("every record, reversed, searched") << reversed << "red p";
        QTest::newRow("every third, shuffled") << QList<qsizetype>{30, 3, 57, 9, 0, 42, 21} << "";
        QTest::newRow("every third, searched") << QList<qsizetype>{30, 3, 57, 9, 0, 42, 21} << "plum";
        QTest::newRow("searched to nothing") << QList<qsizetype>{30, 3, 57} << "green";
    }
    void listAsPositions()
    {
        QFETCH(QList<qsizetype>, order);
        QFETCH(QString, search);
        const QList<MediaItem> items = produce();
        Catalogue::NameFilter filter;
        filter.setItems(items);
        const QString needle = Catalogue::foldForSearch(search);
        QStringList expected;
        std::optional<QList<qsizetype>> rows;
        if (!needle.isEmpty())
            rows = filter.matchesAmong(needle, order).inListOrder();
        for (qsizetype row = 0; row < order.size(); ++row) {
            if (items[order[row]].name.contains(search))
                expected.append(items[order[row]].id);
        }

        FilteredItemsModel model(nullptr);
        model.replace(items, std::nullopt);
        ModelWatch watch(&model);
        QSignalSpy replaced(&model, &FilteredItemsModel::listReplaced);
        model.replace(items, order, std::nullopt);
        QCOMPARE(model.count(), order.size());
        QCOMPARE(replaced.count(), 1);
        // Typing over the same list is a choice of its rows.
        model.replace(items, order, rows);
        QCOMPARE(idsOf(&model), expected);
        QCOMPARE(model.items().size(), expected.size());
        QCOMPARE(replaced.count(), 1);
        QVERIFY(!model.replace(items, order, rows));
        if (!expected.isEmpty())
            QCOMPARE(model.at(0).id, expected.first());
        QCOMPARE(watch.resets.count(), 0);
    }

    // Another category (another list of items) over the rows shown: the rows a fresh model
    // holds, told as changes that pass the model checks, between `listReplacing` and
    // `listReplaced` so the view starts at the top. A list that starts or ends empty is one
    // reset; fresher data for the same list (`inPlace`) keeps the view's place and says nothing.
    void otherItemsChangeRowsWithoutAReset_data()
    {
        QTest::addColumn<int>("fromSize");
        QTest::addColumn<QString>("fromSearch");
        QTest::addColumn<int>("toSize");
        QTest::addColumn<QString>("toSearch");
        QTest::addColumn<bool>("renewal");
        QTest::addColumn<bool>("reset");
        QTest::newRow("longer to shorter") << 60 << "" << 7 << "" << false << false;
        QTest::newRow("shorter to longer") << 7 << "" << 60 << "" << false << false;
        QTest::newRow("same length") << 60 << "" << 60 << "" << false << false;
        QTest::newRow("searched on both") << 60 << "red" << 40 << "red" << false << false;
        QTest::newRow("search to all") << 60 << "plum 1" << 30 << "" << false << false;
        QTest::newRow("to one row") << 60 << "" << 1 << "" << false << false;
        QTest::newRow("from no rows") << 60 << "plum x" << 60 << "" << false << true;
        QTest::newRow("to no rows") << 60 << "" << 60 << "plum x" << false << true;
        QTest::newRow("to no items") << 60 << "" << 0 << "" << false << true;
        QTest::newRow("renewed") << 60 << "red" << 60 << "red" << true << false;
        QTest::newRow("renewed shorter") << 60 << "" << 12 << "" << true << false;
    }
    void otherItemsChangeRowsWithoutAReset()
    {
        QFETCH(int, fromSize);
        QFETCH(QString, fromSearch);
        QFETCH(int, toSize);
        QFETCH(QString, toSearch);
        QFETCH(bool, renewal);
        QFETCH(bool, reset);
        const QList<MediaItem> from = produce().first(fromSize);
        // Another list: other ids, and names in another order.
        QList<MediaItem> to = produce().first(toSize);
        std::reverse(to.begin(), to.end());
        for (MediaItem &item : to)
            item.id.prepend(u'x');
        const auto match = [](const QList<MediaItem> &items, const QString &text) {
            Catalogue::NameFilter filter;
            filter.setItems(items);
            return text.isEmpty() ? std::nullopt : filter.match(text);
        };

        FilteredItemsModel model(nullptr);
        model.replace(from, match(from, fromSearch));
        ModelWatch watch(&model);
        QSignalSpy replaced(&model, &FilteredItemsModel::listReplaced);
        const int before = model.count();
        // Told while the old rows are still there, so that a view can leave them first.
        QList<int> countsWhenReplacing;
        QObject::connect(&model, &FilteredItemsModel::listReplacing, &model,
                         [&] { countsWhenReplacing.append(model.count()); });
        QVERIFY(model.replace(to, match(to, toSearch), renewal));

        FilteredItemsModel fresh(nullptr);
        fresh.replace(to, match(to, toSearch));
        QCOMPARE(idsOf(&model), idsOf(&fresh));
        QCOMPARE(model.count(), fresh.count());
        QCOMPARE(watch.resets.count(), reset ? 1 : 0);
        QCOMPARE(replaced.count(), reset || renewal ? 0 : 1);
        QCOMPARE(countsWhenReplacing, reset || renewal ? QList<int>() : QList<int>{before});
        QCOMPARE(watch.counts.count(), int(before != model.count()));
    }
};

QTEST_GUILESS_MAIN(TestStoreModels)
#include "tst_store_models.moc"
