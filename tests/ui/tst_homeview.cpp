#include "screenfixture.h"

#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(MavuPlugin)
Q_IMPORT_QML_PLUGIN(Mavu_CorePlugin)

namespace {

QByteArray statusWith(const QString &base, const QByteArray &languages)
{
    return R"({"urls":[")" + base.toUtf8() + R"(/get.php?username=user&password=pass"],"languages":)" + languages + "}";
}

QByteArray movies(int count, const QByteArray &icon = "")
{
    QByteArray rows = "[";
    for (int i = 0; i < count; ++i) {
        rows += (i ? "," : "") + QByteArray(R"({"stream_id":)") + QByteArray::number(i) + R"(,"name":"Movie )"
                + QByteArray::number(i) + R"(","added":")" + QByteArray::number(1700000000 + i) + R"(","stream_icon":")" + icon
                + R"("})";
    }
    return rows + "]";
}

QStringList rowNames(QQuickItem *row)
{
    QStringList names;
    for (QQuickItem *child : ScreenFixture::findAll(row, QStringLiteral("posterName")))
        names.append(child->property("text").toString());
    return names;
}

} // namespace

class TestHomeView : public QObject
{
    Q_OBJECT

    // A store started against the fake device service, which attaches the fake provider.
    static void startStore(ScreenFixture &f, const QByteArray &languages = "[]")
    {
        f.server.on(f.devicePath("playlist_information"), FakeServer::Reply::json(statusWith(f.server.base(), languages)));
        TestSupport::await(f.store->start());
        QVERIFY(f.store->hasPlaylist());
    }

private Q_SLOTS:
    void initTestCase() { useSoftwareRendering(); }

    void titlesComeFromTheChosenLanguage()
    {
        ScreenFixture f;
        startStore(f, R"([{"code":"en","name":"English","words":{"movies":"Filme","live_tv":" \n","latest_movies":"Neue Filme"}}])");
        f.load(QStringLiteral("HomeView.qml"));
        const auto title = [&](const char *card) {
            return f.find(QLatin1String(card))->findChild<QObject *>(QStringLiteral("menuTitle"))->property("text").toString();
        };
        QCOMPARE(title("menuMovies"), QStringLiteral("Filme"));
        QCOMPARE(title("menuLive"), QStringLiteral("Live TV")); // a blank word falls back
        QCOMPARE(title("menuSeries"), QStringLiteral("TV Shows"));
        QCOMPARE(title("menuSettings"), QStringLiteral("Settings"));
        const auto rowTitle = [&](const char *row) {
            return f.find(QLatin1String(row))->findChild<QObject *>(QStringLiteral("rowTitle"))->property("text").toString();
        };
        QCOMPARE(rowTitle("latestMoviesRow"), QStringLiteral("Neue Filme"));
        QCOMPARE(rowTitle("latestSeriesRow"), QStringLiteral("Latest TV Shows"));
    }

    // While the library loads with both lists empty: both rows spin and the overlay shows.
    // Afterwards a row with posters shows them, and a row that stayed empty shows a dash.
    void loadingStates()
    {
        ScreenFixture f;
        startStore(f);
        FakeServer::Reply vods = FakeServer::Reply::json(movies(12));
        vods.delay = std::chrono::milliseconds(600);
        f.server.onAction(QStringLiteral("get_vod_streams"), vods);
        f.server.onAction(QStringLiteral("get_series"), FakeServer::Reply::json("[]"));
        f.load(QStringLiteral("HomeView.qml"));
        QQuickItem *overlay = f.find(QStringLiteral("loadingOverlay"));
        QQuickItem *movieRow = f.find(QStringLiteral("latestMoviesRow"));
        QQuickItem *seriesRow = f.find(QStringLiteral("latestSeriesRow"));
        const auto part = [](QQuickItem *row, const char *name) {
            return ScreenFixture::shown(row->findChild<QQuickItem *>(QLatin1String(name)));
        };
        QVERIFY(!ScreenFixture::shown(overlay));
        QVERIFY(part(seriesRow, "rowEmpty")); // nothing loading yet: a dash

        f.store->runEnterBrowse();
        QTRY_VERIFY(f.store->loadingHome());
        QVERIFY(ScreenFixture::shown(overlay));
        QVERIFY(part(movieRow, "rowSpinner") && part(seriesRow, "rowSpinner"));
        QVERIFY(!part(movieRow, "rowEmpty"));

        QTRY_VERIFY(!f.store->loadingHome());
        QVERIFY(!ScreenFixture::shown(overlay));
        QVERIFY(part(movieRow, "posterList") && !part(movieRow, "rowSpinner"));
        QTRY_COMPARE(rowNames(movieRow).value(0), QStringLiteral("Movie 11")); // newest first
        QVERIFY(part(seriesRow, "rowEmpty") && !part(seriesRow, "rowSpinner"));
        QCOMPARE(seriesRow->findChild<QObject *>(QStringLiteral("rowEmpty"))->property("text").toString(), QStringLiteral("—"));
    }

    void postersWithoutPicturesShowThePlaceholder()
    {
        ScreenFixture f;
        startStore(f);
        f.server.onAction(QStringLiteral("get_vod_streams"), FakeServer::Reply::json(movies(2, "http:\\/\\/127.0.0.1:1\\/none.jpg")));
        f.load(QStringLiteral("HomeView.qml"));
        TestSupport::await(f.store->loadLatest());
        QQuickItem *row = f.find(QStringLiteral("latestMoviesRow"));
        QTRY_COMPARE(ScreenFixture::findAll(row, QStringLiteral("posterImage")).size(), 2);
        for (QQuickItem *image : ScreenFixture::findAll(row, QStringLiteral("posterImage")))
            QTRY_COMPARE(image->property("status").toInt(), 3); // Image.Error
        const auto placeholders = ScreenFixture::findAll(row, QStringLiteral("posterPlaceholder"));
        QCOMPARE(placeholders.size(), 2);
        for (QQuickItem *placeholder : placeholders)
            QVERIFY(ScreenFixture::shown(placeholder));
    }

    void expiryLineAndSettingsSheet()
    {
        ScreenFixture f;
        startStore(f);
        f.server.on(QStringLiteral("/player_api.php"), FakeServer::Reply::json(R"({"user_info":{"exp_date":null}})"));
        f.load(QStringLiteral("HomeView.qml"));
        TestSupport::await(f.store->loadLatest());
        QTRY_COMPARE(f.find(QStringLiteral("expiryText"))->property("text").toString(), QStringLiteral("Your playlist expires: Unlimited"));

        QQuickItem *sheet = f.find(QStringLiteral("settingsSheet"));
        QVERIFY(!ScreenFixture::shown(sheet));
        f.click(f.find(QStringLiteral("menuSettings")));
        QVERIFY(ScreenFixture::shown(sheet));
        f.click(f.find(QStringLiteral("settingsDone")));
        QVERIFY(!ScreenFixture::shown(sheet));
    }
};

QTEST_MAIN(TestHomeView)
#include "tst_homeview.moc"
