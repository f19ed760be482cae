#include "api/mavuapi.h"
#include "store/preferences.h"
#include "support/fakeserver.h"
#include "support/testsupport.h"

#include <QRegularExpression>
#include <QtTest>

#include <algorithm>

using TestSupport::await;

class TestDeviceService : public QObject
{
    Q_OBJECT

    FakeServer *m_server = nullptr;
    const QString m_id = QStringLiteral("0A:1B:2C:3D:4E:5F");

    QString statusPath() const { return QStringLiteral("/api/playlist_information/") + m_id + QStringLiteral("/macos"); }
    QString settingsPath() const { return QStringLiteral("/api/get_app_setting/") + m_id + QStringLiteral("/macos"); }

private Q_SLOTS:
    void init()
    {
        m_server = new FakeServer(this);
        MavuAPI::testing::setDeviceServiceBase(m_server->start());
    }

    void cleanup() { delete m_server; }

    void deviceIdentifierIsMadeOnceAndKept()
    {
        TestSupport::TempFolder folder;
        QString first;
        {
            Preferences preferences(folder.file(QStringLiteral("prefs.ini")));
            first = MavuAPI::deviceId(preferences);
            QVERIFY2(QRegularExpression(QStringLiteral("^[0-9A-F]{2}(:[0-9A-F]{2}){5}$")).match(first).hasMatch(), qPrintable(first));
            QCOMPARE(MavuAPI::deviceId(preferences), first);
        }
        Preferences again(folder.file(QStringLiteral("prefs.ini"))); // a later launch
        QCOMPARE(MavuAPI::deviceId(again), first);

        Preferences other(folder.file(QStringLiteral("other.ini")));
        other.setDeviceMac(QStringLiteral("odd-form"));
        QCOMPARE(MavuAPI::deviceId(other), QStringLiteral("odd-form")); // used as stored
    }

    void identifierText_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("small bytes keep their zero") << QByteArray("\x0A\x00\x01\x0F\x09\x05", 6) << "0A:00:01:0F:09:05";
        QTest::newRow("large bytes") << QByteArray("\xFF\xA0\x10\xAB\xC3\x7F", 6) << "FF:A0:10:AB:C3:7F";
    }

    void identifierText()
    {
        QFETCH(QByteArray, bytes);
        std::array<quint8, 6> six;
        std::copy(bytes.cbegin(), bytes.cend(), six.begin());
        QTEST(MavuAPI::deviceIdText(six), "text");
    }

    void identifiersDiffer()
    {
        TestSupport::TempFolder folder;
        QSet<QString> made;
        for (int i = 0; i < 20; ++i) {
            Preferences preferences(folder.file(QStringLiteral("p%1.ini").arg(i)));
            made.insert(MavuAPI::deviceId(preferences));
        }
        QVERIFY(made.size() >= 19);
    }

    void status_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("host"); // empty: no playlist
        QTest::addColumn<QStringList>("codes");
        const QByteArray languages = R"("languages":[{"code":"en","name":"English","words":{"movies":"Movies","n":3}},)"
                                                     R"({"code":"","name":"No code"},{"code":"de","name":"Deutsch"}])";
        QTest::newRow("first address only")
            << QByteArray(R"({"urls":["http:\/\/p.test/get.php?username=u&password=p&type=m3u","http:\/\/q.test/get.php?username=x&password=y"],)" + languages + "}")
            << "http://p.test" << QStringList({"en", "de"});
        QTest::newRow("first address without password")
            << QByteArray(R"({"urls":["http:\/\/p.test/get.php?username=u","http:\/\/q.test/get.php?username=x&password=y"]})")
            << "" << QStringList();
        QTest::newRow("urls as one text") << QByteArray(R"({"urls":"http:\/\/p.test/get.php?username=u&password=p",)" + languages + "}")
                                          << "" << QStringList({"en", "de"});
        QTest::newRow("urls not all texts") << QByteArray(R"({"urls":["http:\/\/p.test/get.php?username=u&password=p",1]})") << "" << QStringList();
        QTest::newRow("empty urls") << QByteArray(R"({"urls":[],"languages":{}})") << "" << QStringList();
        QTest::newRow("not an object") << QByteArray(R"([{"urls":[]}])") << "" << QStringList();
        QTest::newRow("not JSON") << QByteArray("<html/>") << "" << QStringList();
    }

    void status()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, host);
        m_server->on(statusPath(), FakeServer::Reply::json(body));
        const auto answer = await(MavuAPI::deviceStatus(m_id));
        // Not JSON is a failure; JSON of any shape is a status, empty where it says nothing.
        QCOMPARE(answer.ok(), body.startsWith('{') || body.startsWith('['));
        const MavuAPI::DeviceStatus status = answer.valueOr({});
        QCOMPARE(status.playlist.has_value(), !host.isEmpty());
        if (status.playlist)
            QCOMPARE(status.playlist->host, host);
        QStringList codes;
        for (const auto &language : status.languages)
            codes.append(language.code);
        QTEST(codes, "codes");
        if (!status.languages.isEmpty()) {
            // A word whose value is not a text is dropped.
            QCOMPARE(status.languages[0].words, (QHash<QString, QString>{{"movies", "Movies"}}));
            QCOMPARE(status.languages[0].name, QStringLiteral("English"));
        }
        QCOMPARE(m_server->requests().size(), 1);
        QCOMPARE(m_server->requests()[0].path, statusPath());
        QCOMPARE(m_server->requests()[0].header("Accept"), QByteArray("application/json"));
    }

    void themes()
    {
        m_server->on(settingsPath(), FakeServer::Reply::json(R"({"themes":[{"name":"Dusk","url":"http:\/\/i/dusk.jpg"},)"
            R"({"name":"","url":"http:\/\/i/none.jpg"},{"name":"Plain"}],"other":1})"));
        const auto themes = await(MavuAPI::appThemes(m_id)).value();
        QCOMPARE(themes, (QList<Theme>{{"Dusk", "http://i/dusk.jpg"}, {"Plain", ""}}));

        m_server->on(settingsPath(), FakeServer::Reply::json(R"({"themes":[{"name":"A"},null]})"));
        QVERIFY(await(MavuAPI::appThemes(m_id))->isEmpty());
    }

    void identifierGoesIntoThePathUnescaped()
    {
        await(MavuAPI::deviceStatus(QStringLiteral("with space")));
        QVERIFY(m_server->requests().isEmpty()); // does not form an address: nothing is sent
        await(MavuAPI::appThemes(QStringLiteral("AA:BB")));
        QCOMPARE(m_server->requests().value(0).path, QStringLiteral("/api/get_app_setting/AA:BB/macos"));
    }

    void unreachableServiceIsSaid()
    {
        delete m_server;
        m_server = nullptr;
        MavuAPI::testing::setDeviceServiceBase(QStringLiteral("http://127.0.0.1:1"));
        QCOMPARE(await(MavuAPI::deviceStatus(m_id)).failure().kind, Failure::Kind::unreachable);
        QCOMPARE(await(MavuAPI::appThemes(m_id)).failure().kind, Failure::Kind::unreachable);
    }
};

QTEST_GUILESS_MAIN(TestDeviceService)
#include "tst_deviceservice.moc"
