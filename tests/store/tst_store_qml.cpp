// The store as QML code sees it: properties, gadgets, enumerations as numbers, invokables and
// model rows, read from a QML object the way the screens will.
#include "storefixture.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QtTest>

using namespace StoreTest;

namespace {

const QByteArray probe = "import QtQml\n"
                         "QtObject {\n"
                         "    property var store\n"
                         "    function read(expression) { return eval(expression) }\n"
                         "}\n";

} // namespace

class TestStoreQml : public QObject
{
    Q_OBJECT

    std::unique_ptr<Fixture> f;
    std::unique_ptr<AppStore> m_store;
    QQmlEngine *m_engine = nullptr;
    QObject *m_probe = nullptr;

    QVariant read(const QString &expression)
    {
        QVariant result;
        QMetaObject::invokeMethod(m_probe, "read", Q_RETURN_ARG(QVariant, result), Q_ARG(QVariant, expression));
        return result;
    }

private Q_SLOTS:
    void initTestCase()
    {
        f = std::make_unique<Fixture>();
        f->serve("get_live_categories", categoriesJson({{"1", "News"}, {"7", "XXX"}}));
        f->serve("get_live_streams", channelsJson({{.id = "c1", .name = "News One", .archive = true}, {.id = "c2", .name = "News Two"}}));
        f->server().on(f->themesPath(), FakeServer::Reply::json(themesJson(2)));
        m_store = f->makeStore();
        await(m_store->start());
        await(m_store->connect(f->playlist(), false));
        await(m_store->openSection(Section::live));

        m_engine = new QQmlEngine(this);
        QQmlComponent component(m_engine);
        component.setData(probe, QUrl());
        m_probe = component.createWithInitialProperties({{"store", QVariant::fromValue<QObject *>(m_store.get())}});
        QVERIFY2(m_probe, qPrintable(component.errorString()));
    }

    void cleanupTestCase()
    {
        delete m_probe;
        m_store.reset();
        f.reset();
    }

    void expressions_data()
    {
        QTest::addColumn<QString>("expression");
        QTest::addColumn<QVariant>("expected");
        QTest::newRow("enumeration as number") << "store.section" << QVariant(0);
        QTest::newRow("optional present") << "store.hasPlaylist && store.playlist.username" << QVariant("user");
        QTest::newRow("gadget of a field") << "store.nowPlaying.name" << QVariant("News One");
        QTest::newRow("model count") << "store.itemsModel.count" << QVariant(2);
        QTest::newRow("model row by role") << "store.categoriesModel.data(store.categoriesModel.index(2, 0), 257).name" << QVariant("News");
        QTest::newRow("themes as a list") << "store.themes.length + ':' + store.themes[1].name" << QVariant("2:Theme 1");
        QTest::newRow("static test") << "store.isAdult('xXx')" << QVariant(true);
        QTest::newRow("favourite test with a gadget") << "store.isFavorite(store.nowPlaying)" << QVariant(false);
        QTest::newRow("section argument as number") << "store.favorites(0).length" << QVariant(0);
        QTest::newRow("catch-up builder absent") << "store.hasCatchupURLBuilder + ':' + store.buildCatchupURL(5)" << QVariant("false:");
        QTest::newRow("the guide") << "store.guide.importing + ':' + store.guide.hasFailure + ':' + store.guide.grid.count"
                                   << QVariant("false:false:0");
    }

    void expressions()
    {
        QFETCH(QString, expression);
        QFETCH(QVariant, expected);
        const QVariant value = read(expression);
        QCOMPARE(value.toString(), expected.toString());
    }

    void writesAndCalls()
    {
        read("store.searchText = '  two '");
        QCOMPARE(m_store->filteredItems().size(), 1);
        read("store.searchText = ''");

        read("store.toggleFavorite(store.nowPlaying)");
        QVERIFY(m_store->isFavorite(*m_store->nowPlaying()));
        read("store.setHidden(['7'], 0)");
        QTRY_COMPARE(m_store->categories().size(), 3);

        read("store.selectCategory(store.categoriesModel.data(store.categoriesModel.index(0, 0), 257))");
        QCOMPARE(m_store->selectedCategory()->id, QStringLiteral("__fav__"));

        read("store.vodSort = 3");
        QCOMPARE(m_store->vodSort(), VodSort::az);

        m_store->playCatchup(EpgProgram{.title = "Old", .start = "2024-05-01 20:15:00", .startTs = 0, .stopTs = 600});
        QVERIFY(read("store.hasCatchupURLBuilder").toBool());
        QVERIFY(read("store.buildCatchupURL(5)").toString().endsWith("/5/2024-05-01:20-20/c1.m3u8"));
        read("store.nowPlayingURL = 'http://127.0.0.1/seek'");
        QCOMPARE(m_store->nowPlayingURL()->path(), QStringLiteral("/seek"));
        read("store.exitPlayer()");
        QVERIFY(!m_store->hasCatchupURLBuilder());

        read("store.runOpenSection(1)");
        QCOMPARE(m_store->section(), Section::movies);
        read("store.detailItem = store.nowPlaying");
        QVERIFY(m_store->hasDetailItem());
        read("store.clearDetailItem()");
        QVERIFY(!m_store->hasDetailItem());
    }
};

QTEST_GUILESS_MAIN(TestStoreQml)
#include "tst_store_qml.moc"
