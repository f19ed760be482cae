// The store's list models as views see them.
#include "storefixture.h"
#include "store/listmodels.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

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
        store->setSearchText("news");
        store->setSearchText("news t");
        store->setSearchText("");
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

};

QTEST_GUILESS_MAIN(TestStoreModels)
#include "tst_store_models.moc"
