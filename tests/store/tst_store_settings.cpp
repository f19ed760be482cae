// Stored choices, words of the chosen language, themes and the account's expiry line.
#include "storefixture.h"

#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

using namespace StoreTest;

Q_DECLARE_METATYPE(StoreTest::Language)

namespace {

const QJsonObject english{{"favorites", "Favorites EN"}, {"recent_viewed", "Recent EN"}};

QString dateIn(qint64 seconds)
{
    return QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch() + seconds).toString("dd.MM.yyyy");
}

} // namespace

class TestStoreSettings : public QObject
{
    Q_OBJECT

    std::unique_ptr<Fixture> f;

private Q_SLOTS:
    void init() { f = std::make_unique<Fixture>(); }
    void cleanup() { f.reset(); }

    void words_data()
    {
        QTest::addColumn<QList<Language>>("languages");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");

        const QList<Language> both{{"en", english}, {"de", {{"favorites", "Favoriten"}, {"blank", " \n\t"}, {"padded", "  Wort \n"}}}};
        QTest::newRow("chosen language") << both << "de" << "favorites" << "Favoriten";
        QTest::newRow("code in capitals") << both << "DE" << "favorites" << "Favoriten";
        QTest::newRow("unknown code: English") << both << "fr" << "favorites" << "Favorites EN";
        QTest::newRow("English must be coded en exactly") << QList<Language>{{"EN", english}} << "fr" << "favorites" << "fallback";
        QTest::newRow("no languages") << QList<Language>() << "en" << "favorites" << "fallback";
        QTest::newRow("blanks and line breaks trimmed") << both << "de" << "padded" << "Wort";
        QTest::newRow("blank word") << both << "de" << "blank" << "fallback";
        QTest::newRow("keys match exactly") << both << "de" << "Favorites" << "fallback";
        QTest::newRow("missing in the chosen language") << both << "de" << "recent_viewed" << "fallback";
    }

    void words()
    {
        QFETCH(QList<Language>, languages);
        QFETCH(QString, code);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        f->server().on(f->statusPath(), FakeServer::Reply::json(statusJson({}, languages)));
        f->preferences()->setLanguage(code);
        auto store = f->makeStore();
        QCOMPARE(store->languageCode(), code);
        QSignalSpy words(store.get(), &AppStore::wordsChanged);
        await(store->start());
        QCOMPARE(store->t(key, "fallback"), expected);
        QCOMPARE(words.count(), store->words().isEmpty() ? 0 : 1);
    }

    void pseudoCategoriesAreWordedWhenLoaded()
    {
        f->server().on(f->statusPath(), FakeServer::Reply::json(statusJson({}, {{"en", english}})));
        auto store = f->connectedStore();
        QTRY_VERIFY(!store->languages().isEmpty()); // the words arrive after connecting
        await(store->openSection(Section::live));
        QCOMPARE(store->categories()[0].name, QStringLiteral("Favorites EN"));
        QCOMPARE(store->categories()[1].name, QStringLiteral("Recent EN"));
    }

    void deviceWordsRefresh_data()
    {
        QTest::addColumn<QList<Language>>("answer");
        QTest::addColumn<QString>("expectedCode");
        QTest::newRow("new languages replace") << QList<Language>{{"de", {}}} << "de";
        QTest::newRow("no languages keep the old ones") << QList<Language>() << "en";
    }

    void deviceWordsRefresh()
    {
        QFETCH(QList<Language>, answer);
        QFETCH(QString, expectedCode);
        f->server().on(f->statusPath(), FakeServer::Reply::json(statusJson({}, {{"en", english}})));
        auto store = f->makeStore();
        await(store->start());
        f->server().on(f->statusPath(), FakeServer::Reply::json(statusJson({}, answer)));
        await(store->connect(f->playlist(), false));
        QTRY_COMPARE(f->server().requestsTo(f->statusPath()).size(), 2);
        QTRY_COMPARE(store->languages().value(0).code, expectedCode);
        QCOMPARE(store->languages().size(), 1);
    }

    void expiryText_data()
    {
        QTest::addColumn<QByteArray>("account");
        QTest::addColumn<QJsonObject>("words");
        QTest::addColumn<QString>("expected");

        const auto expiring = [](qint64 seconds) {
            return compact(QJsonObject{{"user_info", QJsonObject{{"exp_date", QString::number(QDateTime::currentSecsSinceEpoch() + seconds)}}}});
        };
        QTest::newRow("not loaded") << QByteArray("{}") << QJsonObject() << "Your playlist expires:";
        QTest::newRow("no expiry") << compact(QJsonObject{{"user_info", QJsonObject{{"exp_date", "0"}}}}) << QJsonObject()
                                   << "Your playlist expires: Unlimited";
        QTest::newRow("36 hours ahead") << expiring(36 * 3600) << QJsonObject()
                                        << "Your playlist expires: " + dateIn(36 * 3600) + " (2 days left)";
        QTest::newRow("2 hours ago") << expiring(-2 * 3600) << QJsonObject() << "Your playlist expires: " + dateIn(-2 * 3600) + " (0 days left)";
        QTest::newRow("year 2150") << compact(QJsonObject{{"user_info", QJsonObject{{"exp_date", "5680281600"}}}}) << QJsonObject()
                                   << "Your playlist expires: Unlimited";
        QTest::newRow("translated") << expiring(36 * 3600)
                                    << QJsonObject{{"your_playlist_expires", "Läuft ab:"}, {"days_left", " Tage "}}
                                    << QString::fromUtf8("Läuft ab: ") + dateIn(36 * 3600) + " (2 Tage)";
        QTest::newRow("short label translated") << compact(QJsonObject{{"user_info", QJsonObject{{"exp_date", "0"}}}})
                                                << QJsonObject{{"playlist_expires", "Ablauf"}, {"Unlimited", "Unbegrenzt"}}
                                                << "Ablauf: Unbegrenzt";
    }

    void expiryText()
    {
        QFETCH(QByteArray, account);
        QFETCH(QJsonObject, words);
        QFETCH(QString, expected);
        f->server().on(f->statusPath(), FakeServer::Reply::json(statusJson({}, {{"en", words}})));
        f->server().on("/player_api.php", FakeServer::Reply::json(account));
        auto store = f->makeStore();
        QSignalSpy changed(store.get(), &AppStore::expiryTextChanged);
        await(store->start());
        await(store->connect(f->playlist(), false));
        QTRY_COMPARE(f->accountRequests(), 1);
        QTRY_COMPARE(store->expiryText(), expected);
        QCOMPARE(changed.isEmpty(), expected == QLatin1String("Your playlist expires:"));
    }

    // The account's connection counts, as texts or numbers, are kept when the answer has them.
    void accountConnectionsKept_data()
    {
        QTest::addColumn<QByteArray>("account");
        QTest::addColumn<int>("max");
        QTest::addColumn<int>("active");
        QTest::addColumn<QString>("text");
        QTest::newRow("texts") << QByteArray(R"({"user_info":{"exp_date":"0","max_connections":"2","active_cons":"1"}})") << 2 << 1
                               << "Connections: 1 of 2";
        QTest::newRow("numbers") << QByteArray(R"({"user_info":{"exp_date":"0","max_connections":1,"active_cons":0}})") << 1 << 0
                                 << "Connections: 0 of 1";
        QTest::newRow("any number allowed") << QByteArray(R"({"user_info":{"max_connections":"0","active_cons":"3"}})") << 0 << 3
                                            << "";
        QTest::newRow("absent") << QByteArray(R"({"user_info":{"exp_date":"0"}})") << -1 << -1 << "";
        QTest::newRow("only the limit") << QByteArray(R"({"user_info":{"max_connections":"2"}})") << 2 << -1 << "";
        QTest::newRow("not counts") << QByteArray(R"({"user_info":{"max_connections":"many","active_cons":"-1"}})") << -1 << -1
                                    << "";
    }

    void accountConnectionsKept()
    {
        QFETCH(QByteArray, account);
        QFETCH(int, max);
        QFETCH(int, active);
        f->server().on("/player_api.php", FakeServer::Reply::json(account));
        auto store = f->makeStore();
        await(store->start());
        await(store->connect(f->playlist(), false));
        QTRY_COMPARE(f->accountRequests(), 1);
        QTRY_COMPARE(store->property("maxConnections").toInt(), max);
        QCOMPARE(store->property("activeConnections").toInt(), active);
        QFETCH(QString, text);
        QCOMPARE(store->connectionsText(), text);
    }

    // The days left count down while the program runs: when the time left crosses a whole day,
    // which is the expiry's own time of day.
    void expiryLineCountsDown_data()
    {
        QTest::addColumn<QDateTime>("expiry");
        QTest::addColumn<int>("days");
        QTest::newRow("expiring at midnight") << QDateTime(QDate(2031, 3, 10), QTime(0, 0)) << 4;
        QTest::newRow("expiring in the afternoon") << QDateTime(QDate(2031, 3, 10), QTime(15, 30)) << 1;
    }

    void expiryLineCountsDown()
    {
        QFETCH(QDateTime, expiry);
        QFETCH(int, days);
        const QByteArray account =
            compact(QJsonObject{{"user_info", QJsonObject{{"exp_date", QString::number(expiry.toSecsSinceEpoch())}}}});
        f->server().on("/player_api.php", FakeServer::Reply::json(account));
        const auto line = [&](int left) {
            return "Your playlist expires: " + expiry.toString("dd.MM.yyyy") + QStringLiteral(" (%1 days left)").arg(left);
        };
        QDateTime now = expiry.addMSecs(-qint64(days) * 86400 * 1000 - 40); // 40 ms before the count drops
        auto store = f->makeStore();
        store->setClock([&now] { return now; });
        await(store->connect(f->playlist(), false));
        QTRY_COMPARE(store->expiryText(), line(days + 1));

        now = now.addMSecs(40);
        QSignalSpy changed(store.get(), &AppStore::expiryTextChanged);
        QVERIFY(changed.wait(2000));
        QCOMPARE(store->expiryText(), line(days));
        // And it looks again later.
        const auto *refresh = store->findChild<QTimer *>("expiryRefresh");
        QVERIFY(refresh && refresh->isActive());
        QVERIFY(refresh->interval() > 0 && refresh->interval() <= 3600 * 1000);
    }

    void themeAddress_data()
    {
        QTest::addColumn<QByteArray>("themes");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("expected");
        const QByteArray two = themesJson(2);
        QTest::newRow("second theme") << two << 1 << "http://themes.test/1.jpg";
        QTest::newRow("-1") << two << -1 << "";
        QTest::newRow("the number of themes") << two << 2 << "";
        QTest::newRow("empty address")
            << compact(QJsonObject{{"themes", QJsonArray{QJsonObject{{"name", "Plain"}, {"url", ""}}}}}) << 0 << "";
        QTest::newRow("address that does not parse")
            << compact(QJsonObject{{"themes", QJsonArray{QJsonObject{{"name", "Odd"}, {"url", "http://a b/c.jpg"}}}}}) << 0 << "";
    }

    void themeAddress()
    {
        QFETCH(QByteArray, themes);
        QFETCH(int, index);
        QFETCH(QString, expected);
        f->server().on(f->themesPath(), FakeServer::Reply::json(themes));
        auto store = f->makeStore();
        await(store->start());
        QSignalSpy address(store.get(), &AppStore::currentThemeURLChanged);
        const QString before = store->qmlCurrentThemeURL().toString();
        store->setThemeIndex(index);
        QCOMPARE(store->qmlCurrentThemeURL().toString(), expected);
        QCOMPARE(store->currentThemeURL().has_value(), !expected.isEmpty());
        QCOMPARE(store->qmlThemes().size(), store->themes().size());
        QCOMPARE(f->rawPreference("mavu.theme").toInt(), index);
        QCOMPARE(address.count(), before == expected ? 0 : 1);
    }

    void choicesAreStoredAtOnce()
    {
        auto store = f->makeStore();
        QCOMPARE(store->parentalPIN(), QStringLiteral("729304"));
        QCOMPARE(store->languageCode(), QStringLiteral("en"));
        QCOMPARE(store->mac(), deviceMac);
        QSignalSpy pin(store.get(), &AppStore::parentalPINChanged);
        store->setParentalPIN("0042");
        store->setParentalPIN("0042");
        QCOMPARE(pin.count(), 1);
        QCOMPARE(f->rawPreference("mavu.pin").toString(), QStringLiteral("0042"));
        store->setLanguageCode("de");
        store->setThemeIndex(3);
        store->setLiveSortIndex(2);
        store->setVodSort(VodSort::az); // not stored

        auto again = f->makeStore();
        QCOMPARE(again->parentalPIN(), QStringLiteral("0042"));
        QCOMPARE(again->languageCode(), QStringLiteral("de"));
        QCOMPARE(again->themeIndex(), 3);
        QCOMPARE(again->liveSortIndex(), 2);
        QCOMPARE(again->vodSort(), VodSort::added);
        QCOMPARE(again->mac(), deviceMac);
    }

};

QTEST_GUILESS_MAIN(TestStoreSettings)
#include "tst_store_settings.moc"
