#include "screenfixture.h"
#include "uirules.h"

#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(MavuPlugin)
Q_IMPORT_QML_PLUGIN(Mavu_CorePlugin)

namespace {

const QString noPlaylistText = QStringLiteral("No playlist is attached to this device yet.\nAttach one to this MAC on ")
                               + UiRules::attachAddress() + QStringLiteral(", or connect a playlist manually below.");
const QString startText = QStringLiteral("Tap START to open your library.");

QByteArray statusWithPlaylist(const QString &base)
{
    return R"({"urls":[")" + base.toUtf8() + R"(/get.php?username=user&password=pass&type=m3u_plus"],"languages":[]})";
}

} // namespace

class TestCheckView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { useSoftwareRendering(); }

    // What the card offers in the three states of the device status.
    void statusLine_data()
    {
        QTest::addColumn<QString>("status"); // "none", "playlist" or "silent"
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("start");
        QTest::addColumn<bool>("spinner");
        QTest::newRow("stored, no playlist") << "none" << noPlaylistText << false << false;
        QTest::newRow("stored, playlist") << "playlist" << startText << true << false;
        QTest::newRow("not stored yet") << "silent" << QString() << false << true;
    }

    void statusLine()
    {
        QFETCH(QString, status);
        ScreenFixture f;
        FakeServer::Reply reply = FakeServer::Reply::json(status == QLatin1String("playlist") ? statusWithPlaylist(f.server.base()) : "{}");
        reply.never = status == QLatin1String("silent");
        f.server.on(f.devicePath("playlist_information"), reply);
        f.load(QStringLiteral("CheckView.qml"));
        if (status != QLatin1String("silent"))
            QTRY_VERIFY(f.store->statusLoaded());
        else
            QTRY_COMPARE(f.server.requests().size(), 1);

        QTEST(f.find(QStringLiteral("statusText"))->property("text").toString(), "text");
        QTEST(ScreenFixture::shown(f.find(QStringLiteral("startButton"))), "start");
        QTEST(ScreenFixture::shown(f.find(QStringLiteral("statusSpinner"))), "spinner");
        QCOMPARE(f.find(QStringLiteral("macText"))->property("text").toString(), QString::fromLatin1(ScreenFixture::mac));
    }

    void startReplacesTheSpinnerWhenTheStatusArrives()
    {
        ScreenFixture f;
        FakeServer::Reply slow = FakeServer::Reply::json(statusWithPlaylist(f.server.base()));
        slow.delay = std::chrono::milliseconds(400);
        f.server.on(f.devicePath("playlist_information"), slow);
        f.load(QStringLiteral("CheckView.qml"));
        QVERIFY(ScreenFixture::shown(f.find(QStringLiteral("statusSpinner"))));
        QVERIFY(!ScreenFixture::shown(f.find(QStringLiteral("startButton"))));
        QTRY_VERIFY(ScreenFixture::shown(f.find(QStringLiteral("startButton"))));
        QVERIFY(!ScreenFixture::shown(f.find(QStringLiteral("statusSpinner"))));
        QCOMPARE(f.find(QStringLiteral("statusText"))->property("text").toString(), startText);

        f.click(f.find(QStringLiteral("startButton")));
        QTRY_COMPARE(f.store->phase(), AppStore::Phase::home);
    }

    void startUpRunsOncePerRun()
    {
        ScreenFixture f;
        f.server.on(f.devicePath("playlist_information"), FakeServer::Reply::json("{}"));
        f.load(QStringLiteral("CheckView.qml"));
        QTRY_VERIFY(f.store->statusLoaded());
        QTRY_COMPARE(f.server.requestsTo(f.devicePath("get_app_setting")).size(), 1);
        delete f.root;
        f.root = nullptr;
        f.load(QStringLiteral("CheckView.qml")); // shown again, after "Change playlist" say
        QTest::qWait(200);
        QCOMPARE(f.server.requestsTo(f.devicePath("playlist_information")).size(), 1);
    }

    void manualFormToggle()
    {
        ScreenFixture f;
        f.load(QStringLiteral("CheckView.qml"));
        QQuickItem *toggle = f.find(QStringLiteral("manualToggle"));
        QQuickItem *form = f.find(QStringLiteral("manualConnect"));
        QCOMPARE(toggle->property("text").toString(), QStringLiteral("Connect a playlist manually"));
        QVERIFY(!ScreenFixture::shown(form));
        f.click(toggle);
        QCOMPARE(toggle->property("text").toString(), QStringLiteral("Hide"));
        QVERIFY(ScreenFixture::shown(form));
        f.click(toggle);
        QCOMPARE(toggle->property("text").toString(), QStringLiteral("Connect a playlist manually"));
        QVERIFY(!ScreenFixture::shown(form));
    }

    void connectButtonFollowsTheHost_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("two blanks") << QStringLiteral("  ") << true;
        QTest::newRow("address") << QStringLiteral("http://h.test") << true;
    }

    void connectButtonFollowsTheHost()
    {
        QFETCH(QString, host);
        ScreenFixture f;
        f.load(QStringLiteral("CheckView.qml"));
        f.find(QStringLiteral("hostField"))->setProperty("text", host);
        QTEST(f.find(QStringLiteral("connectButton"))->property("enabled").toBool(), "enabled");
    }

    void manualEntriesAreTrimmed_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("host");
        QTest::newRow("blanks and slash") << QStringLiteral(" \thttp://h.test:8080/ ") << QStringLiteral("http://h.test:8080");
        QTest::newRow("two slashes lose one") << QStringLiteral("http://h.test//") << QStringLiteral("http://h.test/");
        QTest::newRow("line break kept") << QStringLiteral("http://h.test\n") << QStringLiteral("http://h.test\n");
        QTest::newRow("only blanks") << QStringLiteral("  ") << QString();
    }

    void manualEntriesAreTrimmed()
    {
        QFETCH(QString, typed);
        QTEST(UiRules::manualHost(typed), "host");
        QCOMPARE(UiRules::manualUser(QStringLiteral(" \tme \t")), QStringLiteral("me"));
    }

    void connectSendsWhatTheFormHolds()
    {
        ScreenFixture f;
        f.server.onAction(QStringLiteral("get_live_categories"), FakeServer::Reply::json(R"([{"category_id":"1","category_name":"News"}])"));
        f.load(QStringLiteral("CheckView.qml"));
        f.click(f.find(QStringLiteral("manualToggle")));
        f.find(QStringLiteral("hostField"))->setProperty("text", QStringLiteral("  ") + f.server.base() + QStringLiteral("/ "));
        f.find(QStringLiteral("userField"))->setProperty("text", QStringLiteral("user "));
        f.find(QStringLiteral("passField"))->setProperty("text", QStringLiteral(" pa ss "));
        f.click(f.find(QStringLiteral("connectButton")));
        QTRY_COMPARE(f.store->phase(), AppStore::Phase::home);
        const auto request = f.server.lastAction(QStringLiteral("get_live_categories"));
        QVERIFY(request);
        QCOMPARE(request->queryValue(QStringLiteral("username")), std::optional(QStringLiteral("user")));
        QCOMPARE(request->queryValue(QStringLiteral("password")), std::optional(QStringLiteral(" pa ss ")));
        QCOMPARE(f.store->playlist()->host, f.server.base());
    }

    void failedConnectionShowsTheErrorAndKeepsTheForm()
    {
        ScreenFixture f;
        f.server.onAction(QStringLiteral("get_live_categories"), FakeServer::Reply::json("[]"));
        f.server.onAction(QStringLiteral("get_vod_categories"), FakeServer::Reply::json("[]"));
        f.load(QStringLiteral("CheckView.qml"));
        QQuickItem *error = f.find(QStringLiteral("connectError"));
        QVERIFY(!ScreenFixture::shown(error));
        f.click(f.find(QStringLiteral("manualToggle")));
        f.find(QStringLiteral("hostField"))->setProperty("text", f.server.base());
        f.click(f.find(QStringLiteral("connectButton")));
        QTRY_VERIFY(ScreenFixture::shown(error));
        QCOMPARE(error->property("text").toString(),
                 QStringLiteral("Couldn't reach that playlist. Check the address and credentials."));
        QCOMPARE(error->property("color").value<QColor>(), QColor(Qt::red));
        QCOMPARE(f.find(QStringLiteral("hostField"))->property("text").toString(), f.server.base());
        QCOMPARE(f.store->phase(), AppStore::Phase::check);
        QVERIFY(f.find(QStringLiteral("connectButton"))->property("enabled").toBool());
    }

    // A device service that does not answer is said as such, with Retry, rather than as "no
    // playlist attached".
    void deviceServiceFailureWithRetry()
    {
        ScreenFixture f;
        f.server.on(f.devicePath("playlist_information"), FakeServer::Reply::json("{}", 503));
        f.load(QStringLiteral("CheckView.qml"));
        QTRY_VERIFY(f.store->statusLoaded());
        QQuickItem *panel = f.find(QStringLiteral("deviceStatusFailure"));
        QVERIFY(ScreenFixture::shown(panel));
        QCOMPARE(panel->findChild<QQuickItem *>(QStringLiteral("failureText"))->property("text").toString(),
                 QStringLiteral("Couldn't reach the device service"));
        QCOMPARE(f.find(QStringLiteral("statusText"))->property("text").toString(), QString());

        f.server.on(f.devicePath("playlist_information"), FakeServer::Reply::json(statusWithPlaylist(f.server.base())));
        f.click(panel->findChild<QQuickItem *>(QStringLiteral("retryButton")));
        QTRY_VERIFY(ScreenFixture::shown(f.find(QStringLiteral("startButton"))));
        QVERIFY(!ScreenFixture::shown(panel));
        QCOMPARE(f.find(QStringLiteral("statusText"))->property("text").toString(), startText);
    }

    // START and Connect turn into Cancel beside a spinner while they run; Cancel stops at once
    // and leaves no error behind.
    void runningAttemptCanBeCancelled_data()
    {
        QTest::addColumn<bool>("manual");
        QTest::newRow("START") << false;
        QTest::newRow("Connect") << true;
    }

    void runningAttemptCanBeCancelled()
    {
        QFETCH(bool, manual);
        ScreenFixture f;
        FakeServer::Reply silent;
        silent.never = true;
        f.server.on(f.devicePath("playlist_information"), FakeServer::Reply::json(statusWithPlaylist(f.server.base())));
        f.server.on(QStringLiteral("/player_api.php"), silent);
        f.server.onAction(QStringLiteral("get_live_categories"), silent);
        f.load(QStringLiteral("CheckView.qml"));
        QTRY_VERIFY(f.store->hasPlaylist());
        const QString button = manual ? QStringLiteral("connectButton") : QStringLiteral("startButton");
        const QString spinner = manual ? QStringLiteral("connectSpinner") : QStringLiteral("startSpinner");
        const QString idle = manual ? QStringLiteral("Connect") : QStringLiteral("START");
        if (manual) {
            f.click(f.find(QStringLiteral("manualToggle")));
            f.find(QStringLiteral("hostField"))->setProperty("text", f.server.base());
        }
        f.click(f.find(button));
        QTRY_VERIFY(f.store->connecting());
        QCOMPARE(f.find(button)->property("text").toString(), QStringLiteral("Cancel"));
        QVERIFY(ScreenFixture::shown(f.find(spinner)));
        // The other way in waits meanwhile.
        QVERIFY(!f.find(manual ? QStringLiteral("startButton") : QStringLiteral("connectButton"))->property("enabled").toBool());

        f.click(f.find(button));
        QVERIFY(!f.store->connecting());
        QCOMPARE(f.find(button)->property("text").toString(), idle);
        QVERIFY(!ScreenFixture::shown(f.find(spinner)));
        QVERIFY(!ScreenFixture::shown(f.find(QStringLiteral("connectError"))));
        QVERIFY(!ScreenFixture::shown(f.find(QStringLiteral("connectFailure"))));
        QCOMPARE(f.store->phase(), AppStore::Phase::check);
    }

    // An account the provider refuses stays on this screen with the reason and Retry.
    void refusedAccountSaysWhy()
    {
        ScreenFixture f;
        f.server.on(f.devicePath("playlist_information"), FakeServer::Reply::json(statusWithPlaylist(f.server.base())));
        f.server.on(QStringLiteral("/player_api.php"), FakeServer::Reply::json(R"({"user_info":{"auth":0}})"));
        f.load(QStringLiteral("CheckView.qml"));
        QTRY_VERIFY(f.store->hasPlaylist());
        f.click(f.find(QStringLiteral("startButton")));
        QQuickItem *panel = f.find(QStringLiteral("connectFailure"));
        QTRY_VERIFY(ScreenFixture::shown(panel));
        QCOMPARE(panel->findChild<QQuickItem *>(QStringLiteral("failureText"))->property("text").toString(),
                 QStringLiteral("The provider refused the user name or password."));
        QCOMPARE(f.store->phase(), AppStore::Phase::check);

        f.server.on(QStringLiteral("/player_api.php"), FakeServer::Reply::json(R"({"user_info":{"auth":1,"exp_date":null}})"));
        f.click(panel->findChild<QQuickItem *>(QStringLiteral("retryButton")));
        QTRY_COMPARE(f.store->phase(), AppStore::Phase::home);
    }

    // The form's second kind: a plain list's address, a provider's own list address offered as
    // the account it stands for, and a list that cannot be read said with Retry.
    void m3uChoice()
    {
        ScreenFixture f;
        FakeServer::Reply missing = FakeServer::Reply::json(QByteArray(), 404);
        f.server.on(QStringLiteral("/lists/plain.m3u"), missing);
        f.load(QStringLiteral("CheckView.qml"));
        f.click(f.find(QStringLiteral("manualToggle")));
        QQuickItem *host = f.find(QStringLiteral("hostField"));
        QQuickItem *list = f.find(QStringLiteral("m3uField"));
        QQuickItem *notice = f.find(QStringLiteral("providerNotice"));
        QQuickItem *button = f.find(QStringLiteral("connectButton"));
        QVERIFY(ScreenFixture::shown(host));
        QVERIFY(!ScreenFixture::shown(list));

        f.click(f.find(QStringLiteral("m3uChoice")));
        QVERIFY(!ScreenFixture::shown(host));
        QVERIFY(ScreenFixture::shown(list));
        QVERIFY(ScreenFixture::shown(f.find(QStringLiteral("chooseFileButton"))));
        QVERIFY(!button->property("enabled").toBool());

        // A provider's own address: the notice offers the account, which fills the other form.
        list->setProperty("text", f.server.base() + QStringLiteral("/get.php?username=me&password=pw&type=m3u_plus"));
        QVERIFY(ScreenFixture::shown(notice));
        f.click(f.find(QStringLiteral("useProviderButton")));
        QVERIFY(ScreenFixture::shown(host));
        QCOMPARE(host->property("text").toString(), f.server.base());
        QCOMPARE(f.find(QStringLiteral("userField"))->property("text").toString(), QStringLiteral("me"));
        QCOMPARE(f.find(QStringLiteral("passField"))->property("text").toString(), QStringLiteral("pw"));
        QVERIFY(!ScreenFixture::shown(notice));

        // A plain list that is not there: said in words, and the button tries again.
        f.click(f.find(QStringLiteral("m3uChoice")));
        list->setProperty("text", f.server.base() + QStringLiteral("/lists/plain.m3u"));
        QVERIFY(!ScreenFixture::shown(notice));
        f.click(button);
        QQuickItem *error = f.find(QStringLiteral("connectError"));
        QTRY_VERIFY(ScreenFixture::shown(error));
        QCOMPARE(error->property("text").toString(), QStringLiteral("Couldn't read that playlist. Check the address or the file."));
        QCOMPARE(button->property("text").toString(), QStringLiteral("Retry"));

        f.server.on(QStringLiteral("/lists/plain.m3u"),
                    FakeServer::Reply::json("#EXTM3U\n#EXTINF:-1 group-title=\"News\",One\nhttp://tv.test/1.ts\n"));
        f.click(button);
        QTRY_COMPARE(f.store->phase(), AppStore::Phase::home);
        QVERIFY(f.store->playlist()->isM3u());
        QCOMPARE(f.store->allLive().size(), 1);
    }

    // Tab goes Back, START, the toggle, then through the form once it is open; Space, Return
    // and Enter activate; Return in a field connects.
    void keyboardWalksTheScreen()
    {
        ScreenFixture f;
        f.server.on(f.devicePath("playlist_information"), FakeServer::Reply::json(statusWithPlaylist(f.server.base())));
        f.server.onAction(QStringLiteral("get_live_categories"), FakeServer::Reply::json(R"([{"category_id":"1","category_name":"News"}])"));
        f.load(QStringLiteral("CheckView.qml"));
        QTRY_VERIFY_WITH_TIMEOUT(f.store->hasPlaylist(), 15000);
        f.store->setCheckCanGoBack(true);

        QStringList order;
        for (int i = 0; i < 4; ++i) {
            f.key(Qt::Key_Tab);
            order.append(f.focusedName());
        }
        QCOMPARE(order, QStringList({"backButton", "startButton", "manualToggle", "backButton"}));

        f.key(Qt::Key_Tab);
        f.key(Qt::Key_Tab);
        QCOMPARE(f.focusedName(), QStringLiteral("manualToggle"));
        f.key(Qt::Key_Space);
        QVERIFY(ScreenFixture::shown(f.find(QStringLiteral("manualConnect"))));
        order.clear();
        const QStringList typed{QString(), QString(), f.server.base(), QStringLiteral("user"), QString(), QString()};
        for (const QString &text : typed) {
            f.key(Qt::Key_Tab);
            order.append(f.focusedName());
            f.type(text);
        }
        QCOMPARE(order, QStringList({"providerChoice", "m3uChoice", "hostField", "userField", "passField", "connectButton"}));
        f.key(Qt::Key_Backtab);
        f.key(Qt::Key_Backtab);
        QCOMPARE(f.focusedName(), QStringLiteral("userField"));
        f.key(Qt::Key_Return);
        QTRY_COMPARE(f.store->phase(), AppStore::Phase::home);
        QCOMPARE(f.server.lastAction(QStringLiteral("get_live_categories"))->queryValue(QStringLiteral("username")),
                 std::optional(QStringLiteral("user")));
    }

    void keysActivate_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("Return") << int(Qt::Key_Return);
        QTest::newRow("Enter") << int(Qt::Key_Enter);
        QTest::newRow("Space") << int(Qt::Key_Space);
    }

    void keysActivate()
    {
        QFETCH(int, key);
        ScreenFixture f;
        f.server.on(f.devicePath("playlist_information"), FakeServer::Reply::json(statusWithPlaylist(f.server.base())));
        f.load(QStringLiteral("CheckView.qml"));
        QTRY_VERIFY(f.store->hasPlaylist());
        f.key(Qt::Key_Tab);
        QCOMPARE(f.focusedName(), QStringLiteral("startButton"));
        QVERIFY(f.focused()->findChild<QQuickItem *>(QStringLiteral("focusRing"))->isVisible());
        f.key(Qt::Key(key));
        QTRY_COMPARE(f.store->phase(), AppStore::Phase::home);
    }

    void escapeGoesBackOnlyWithAWayBack()
    {
        ScreenFixture f;
        f.load(QStringLiteral("CheckView.qml"));
        f.key(Qt::Key_Escape);
        QCOMPARE(f.store->phase(), AppStore::Phase::check);
        f.store->setCheckCanGoBack(true);
        f.key(Qt::Key_Escape);
        QCOMPARE(f.store->phase(), AppStore::Phase::home);
        QVERIFY(!f.store->checkCanGoBack());
    }

    void backIsOfferedOnlyWithAWayBack()
    {
        ScreenFixture f;
        f.load(QStringLiteral("CheckView.qml"));
        QQuickItem *back = f.find(QStringLiteral("backButton"));
        QVERIFY(!ScreenFixture::shown(back));
        f.store->setCheckCanGoBack(true);
        QVERIFY(ScreenFixture::shown(back));

        bool flagWhenHome = true;
        QObject::connect(f.store.get(), &AppStore::phaseChanged, f.store.get(), [&] { flagWhenHome = f.store->checkCanGoBack(); });
        f.click(back);
        QCOMPARE(f.store->phase(), AppStore::Phase::home);
        QVERIFY(!flagWhenHome); // cleared before the store went home
    }
};

QTEST_MAIN(TestCheckView)
#include "tst_checkview.moc"
