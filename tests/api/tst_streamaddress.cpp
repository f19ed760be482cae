#include "api/streamaddress.h"

#include <QtTest>

namespace {

Playlist panel(const QString &host = QStringLiteral("http://panel.test:8080"))
{
    return Playlist{.host = host, .username = QStringLiteral("user"), .password = QStringLiteral("pass")};
}

// The address keeps the panel's origin, adds exactly `levels` path segments to it and carries
// no query or fragment: nothing a value holds can reshape it.
void verifyShape(const QUrl &url, const QUrl &base, int levels)
{
    QVERIFY2(url.isValid(), qPrintable(url.errorString()));
    QCOMPARE(url.scheme(), base.scheme());
    QCOMPARE(url.host(), base.host());
    QCOMPARE(url.port(), base.port());
    QVERIFY(!url.hasQuery());
    QVERIFY(!url.hasFragment());
    const QString extra = url.path(QUrl::FullyEncoded).mid(base.path(QUrl::FullyEncoded).size());
    QCOMPARE(extra.count(QLatin1Char('/')), levels);
    const QStringList pieces = extra.split(QLatin1Char('/'));
    for (const QString &piece : pieces) {
        QVERIFY(piece != QLatin1String(".."));
        QVERIFY(piece != QLatin1String("."));
    }
    // libVLC reads options from separate strings, but a blank or a line break in the address
    // would still split it for anything that logs or re-reads it.
    const QString whole = url.toString(QUrl::FullyEncoded);
    QVERIFY(!whole.contains(QLatin1Char(' ')));
    QVERIFY(!whole.contains(QLatin1Char('\n')));
}

} // namespace

class TestStreamAddress : public QObject
{
    Q_OBJECT

private slots:
    void streamIds_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("lastSegment"); // empty: refused

        QTest::newRow("plain") << "42" << "42.ts";
        QTest::newRow("letters") << "abc-DEF_1" << "abc-DEF_1.ts";
        QTest::newRow("slash") << "1/../../admin" << "1%2F..%2F..%2Fadmin.ts";
        QTest::newRow("question mark") << "1?x=2" << "1%3Fx=2.ts";
        QTest::newRow("fragment") << "1#frag" << "1%23frag.ts";
        QTest::newRow("dot dot") << ".." << "";
        QTest::newRow("blank") << "1 2" << "1%202.ts";
        QTest::newRow("libVLC option") << "1 :input-slave=file:///etc/passwd" << "1%20:input-slave=file:%2F%2F%2Fetc%2Fpasswd.ts";
        QTest::newRow("percent") << "%2e%2e" << "%252e%252e.ts";
        QTest::newRow("backslash") << "..\\..\\x" << "..%5C..%5Cx.ts";
        QTest::newRow("markup") << "<b>1</b>" << "%3Cb%3E1%3C%2Fb%3E.ts";
        QTest::newRow("non-ASCII") << "ç" << "%C3%A7.ts";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("line break") << "1\n2" << "";
        QTest::newRow("NUL") << QString(QChar(0)) << "";
        QTest::newRow("delete") << QString(QChar(0x7f)) << "";
        QTest::newRow("C1 control") << QString(QChar(0x85)) << "";
        QTest::newRow("line separator") << QString(QChar(0x2028)) << "";
        QTest::newRow("long") << QString(5000, QLatin1Char('9')) << QString(5000, QLatin1Char('9')) + ".ts";
    }

    void streamIds()
    {
        QFETCH(QString, id);
        QFETCH(QString, lastSegment);
        const Playlist playlist = panel();
        const auto url = StreamAddress::stream(playlist, QStringLiteral("live"), id, QStringLiteral("ts"));
        QCOMPARE(url.has_value(), !lastSegment.isEmpty());
        if (!url)
            return;
        verifyShape(*url, QUrl(playlist.host), 4);
        QCOMPARE(url->path(QUrl::FullyEncoded), "/live/user/pass/" + lastSegment);
        // What goes on the wire names the same id again.
        QCOMPARE(QUrl::fromPercentEncoding(url->path(QUrl::FullyEncoded).section(QLatin1Char('/'), -1).toLatin1()),
                 id + ".ts");
    }

    void extensions_data()
    {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("ts") << "ts" << true;
        QTest::newRow("m3u8") << "m3u8" << true;
        QTest::newRow("sixteen") << QString(16, QLatin1Char('a')) << true;
        QTest::newRow("seventeen") << QString(17, QLatin1Char('a')) << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("query") << "mp4?token=1" << false;
        QTest::newRow("fragment") << "mp4#t=5" << false;
        QTest::newRow("path") << "mp4/../../x" << false;
        QTest::newRow("blank option") << "mp4 :sout=x" << false;
        QTest::newRow("dot") << "tar.gz" << false;
    }

    void extensions()
    {
        QFETCH(QString, extension);
        QFETCH(bool, accepted);
        const auto url = StreamAddress::stream(panel(), QStringLiteral("movie"), QStringLiteral("7"), extension);
        QCOMPARE(url.has_value(), accepted);
        if (url)
            verifyShape(*url, QUrl(panel().host), 4);
    }

    void credentials_data()
    {
        QTest::addColumn<QString>("username");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("path"); // empty: refused
        QTest::newRow("plain") << "u" << "p" << "/live/u/p/1.ts";
        QTest::newRow("sub-delimiters stay") << "a+b" << "p@$!" << "/live/a+b/p@$!/1.ts";
        QTest::newRow("slash in password") << "u" << "a/b" << "/live/u/a%2Fb/1.ts";
        QTest::newRow("query in user") << "u?x" << "p" << "/live/u%3Fx/p/1.ts";
        QTest::newRow("fragment in password") << "u" << "p#x" << "/live/u/p%23x/1.ts";
        QTest::newRow("dot dot password") << "u" << ".." << "";
        QTest::newRow("line break") << "u\r\n" << "p" << "";
        QTest::newRow("empty password") << "u" << "" << "/live/u//1.ts";
    }

    void credentials()
    {
        QFETCH(QString, username);
        QFETCH(QString, password);
        QFETCH(QString, path);
        const Playlist playlist{.host = QStringLiteral("https://panel.test"), .username = username, .password = password};
        const auto url = StreamAddress::stream(playlist, QStringLiteral("live"), QStringLiteral("1"), QStringLiteral("ts"));
        QCOMPARE(url.has_value(), !path.isEmpty());
        if (url)
            QCOMPARE(url->path(QUrl::FullyEncoded), path);
    }

    void hosts_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("http") << "http://panel.test" << true;
        QTest::newRow("https with port and prefix") << "https://panel.test:8443/tv" << true;
        QTest::newRow("file") << "file:///home" << false;
        QTest::newRow("qrc") << "qrc:/x" << false;
        QTest::newRow("rtsp") << "rtsp://panel.test" << false;
        QTest::newRow("no scheme") << "panel.test" << false;
        QTest::newRow("query left in") << "http://panel.test/?a=1" << false;
        QTest::newRow("fragment left in") << "http://panel.test/#x" << false;
        QTest::newRow("blank") << "http://panel test" << false;
        // A server resolves dot segments in the panel's own path, to a folder the panel never named.
        QTest::newRow("path: dot") << "http://panel.test/./tv" << false;
        QTest::newRow("path: dot dot in the middle") << "http://panel.test/tv/../admin" << false;
        QTest::newRow("path: dot dot first") << "http://panel.test/../tv" << false;
        QTest::newRow("path: trailing dot dot") << "http://panel.test/tv/.." << false;
        QTest::newRow("path: trailing dot dot and slash") << "http://panel.test/tv/../" << false;
        QTest::newRow("path: trailing dot") << "http://panel.test/tv/." << false;
        QTest::newRow("path: encoded dot dot") << "http://panel.test/tv/%2e%2e/x" << false;
        QTest::newRow("path: encoded dot dot, capitals") << "http://panel.test/tv/%2E%2E" << false;
        QTest::newRow("path: half encoded dot dot") << "http://panel.test/.%2e/tv" << false;
        QTest::newRow("path: encoded dot") << "http://panel.test/%2e/tv" << false;
        QTest::newRow("path: dots inside a name") << "http://panel.test/tv.../v1.2/..tv" << true;
        // Some servers decode %2F before they resolve the path.
        QTest::newRow("path: encoded slashes around dot dot") << "http://panel.test/tv%2F..%2Fx" << false;
        QTest::newRow("path: trailing slash") << "http://panel.test/tv/" << true;
    }

    void hosts()
    {
        QFETCH(QString, host);
        QFETCH(bool, accepted);
        const auto url = StreamAddress::stream(panel(host), QStringLiteral("live"), QStringLiteral("1"), QStringLiteral("ts"));
        QCOMPARE(url.has_value(), accepted);
        if (url)
            verifyShape(*url, QUrl(host), 4);
    }

    void catchup_data()
    {
        QTest::addColumn<QString>("channel");
        QTest::addColumn<QString>("start");
        QTest::addColumn<qint64>("minutes");
        QTest::addColumn<QString>("path"); // empty: refused
        QTest::newRow("plain") << "12" << "2024-01-31:20-15" << qint64(45) << "/timeshift/user/pass/45/2024-01-31:20-15/12.m3u8";
        QTest::newRow("start with slash") << "12" << "2024/../../x" << qint64(5) << "/timeshift/user/pass/5/2024%2F..%2F..%2Fx/12.m3u8";
        QTest::newRow("start is dot dot") << "12" << ".." << qint64(5) << "";
        QTest::newRow("start with fragment") << "12" << "2024-01-31#x" << qint64(5) << "/timeshift/user/pass/5/2024-01-31%23x/12.m3u8";
        QTest::newRow("start empty") << "12" << "" << qint64(5) << "";
        QTest::newRow("start with line break") << "12" << "2024\n" << qint64(5) << "";
        QTest::newRow("channel with query") << "12?a=b" << "2024-01-31:20-15" << qint64(5) << "/timeshift/user/pass/5/2024-01-31:20-15/12%3Fa=b.m3u8";
        QTest::newRow("channel with blank") << "1 2" << "2024-01-31:20-15" << qint64(5) << "/timeshift/user/pass/5/2024-01-31:20-15/1%202.m3u8";
        QTest::newRow("channel empty") << "" << "2024-01-31:20-15" << qint64(5) << "";
        QTest::newRow("no minutes") << "12" << "2024-01-31:20-15" << qint64(0) << "";
        QTest::newRow("negative minutes") << "12" << "2024-01-31:20-15" << qint64(-3) << "";
    }

    void catchup()
    {
        QFETCH(QString, channel);
        QFETCH(QString, start);
        QFETCH(qint64, minutes);
        QFETCH(QString, path);
        const auto url = StreamAddress::catchup(panel(), channel, minutes, start);
        QCOMPARE(url.has_value(), !path.isEmpty());
        if (!url)
            return;
        verifyShape(*url, QUrl(panel().host), 6);
        QCOMPARE(url->path(QUrl::FullyEncoded), path);
    }

    // The account is read back from every address built for it, whatever its credentials hold.
    void accountOfBuiltAddresses_data()
    {
        QTest::addColumn<Playlist>("playlist");
        QTest::newRow("plain") << panel();
        QTest::newRow("path prefix") << panel(QStringLiteral("https://panel.test/iptv/v2"));
        QTest::newRow("awkward credentials")
            << Playlist{QStringLiteral("http://panel.test"), QStringLiteral("a b@c"), QStringLiteral("p/a%s?s#w")};
        QTest::newRow("a prefix named like a kind")
            << Playlist{QStringLiteral("http://panel.test/live"), QStringLiteral("movie"), QStringLiteral("series")};
    }

    void accountOfBuiltAddresses()
    {
        QFETCH(Playlist, playlist);
        const QList<std::optional<QUrl>> built{
            StreamAddress::stream(playlist, QStringLiteral("live"), QStringLiteral("12"), QStringLiteral("ts")),
            StreamAddress::stream(playlist, QStringLiteral("movie"), QStringLiteral("7"), QStringLiteral("mkv")),
            StreamAddress::stream(playlist, QStringLiteral("series"), QStringLiteral("9"), QStringLiteral("mp4")),
            StreamAddress::catchup(playlist, QStringLiteral("12"), 45, QStringLiteral("2024-05-01:20-15")),
        };
        for (const auto &url : built) {
            QVERIFY(url);
            QCOMPARE(StreamAddress::accountOf(*url), std::optional<Playlist>(playlist));
        }
    }

    void accountOfOtherAddresses_data()
    {
        QTest::addColumn<QString>("address");
        QTest::newRow("no account") << "http://panel.test/live/1.ts";
        QTest::newRow("unknown kind") << "http://panel.test/radio/user/pass/1.ts";
        QTest::newRow("catch-up not a list") << "http://panel.test/timeshift/user/pass/30/2024-05-01:20-15/1.ts";
        QTest::newRow("query") << "http://panel.test/live/user/pass/1.ts?token=1";
        QTest::newRow("a file") << "file:///live/user/pass/1.ts";
        QTest::newRow("no user") << "http://panel.test/live//pass/1.ts";
    }

    void accountOfOtherAddresses()
    {
        QFETCH(QString, address);
        QCOMPARE(StreamAddress::accountOf(QUrl(address)), std::nullopt);
    }

    void trailers_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("an id") << "dQw4w9WgXcQ" << true;
        QTest::newRow("dash and underscore") << "a-b_c" << true;
        QTest::newRow("64 characters") << QString(64, QLatin1Char('x')) << true;
        QTest::newRow("65 characters") << QString(65, QLatin1Char('x')) << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("another site") << "x&next=https://elsewhere.test" << false;
        QTest::newRow("whole address") << "https://elsewhere.test/watch?v=abc" << false;
        QTest::newRow("fragment") << "abc#x" << false;
        QTest::newRow("slash") << "../x" << false;
        QTest::newRow("blank") << "a b" << false;
        QTest::newRow("non-ASCII letter") << "abç" << false;
        QTest::newRow("markup") << "<script>" << false;
    }

    void trailers()
    {
        QFETCH(QString, id);
        QFETCH(bool, accepted);
        const QString site = QStringLiteral("https://videos.test:444");
        const auto url = StreamAddress::trailer(site, id);
        QCOMPARE(url.has_value(), accepted);
        if (!url)
            return;
        QCOMPARE(url->toString(QUrl::FullyEncoded), site + "/watch?v=" + id);
        QVERIFY(!url->hasFragment());
    }

    // A playlist address whose server part holds a "#" or "?" gives no API address, rather than
    // one whose path ends up in a fragment (found by fuzz_addresses).
    void apiAddresses_data()
    {
        QTest::addColumn<QString>("playlistAddress");
        QTest::addColumn<QString>("api"); // empty: none
        QTest::newRow("plain") << "http://panel.test:8080/get.php?username=u&password=p&type=m3u"
                               << "http://panel.test:8080/player_api.php?username=u&password=p&action=get_live_streams";
        QTest::newRow("fragment in the host part") << "htthttp://h@#et.php?username=a/b&password=c" << "";
        QTest::newRow("fragment after the host") << "http://h.test/x#y/get.php?username=u&password=p" << "";
        QTest::newRow("credentials with marks") << "http://h.test/get.php?username=a%2Fb&password=c%23d"
                                                << "http://h.test/player_api.php?username=a%2Fb&password=c%23d&action=get_live_streams";
    }

    void apiAddresses()
    {
        QFETCH(QString, playlistAddress);
        QFETCH(QString, api);
        const auto playlist = Playlist::fromM3uURL(playlistAddress);
        QVERIFY(playlist);
        const auto url = playlist->playerApiURL(QStringLiteral("get_live_streams"));
        QCOMPARE(url.has_value(), !api.isEmpty());
        if (url) {
            QCOMPARE(url->toString(QUrl::FullyEncoded), api);
            QVERIFY(!url->hasFragment());
        }
    }

    void pictures_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("http") << "http://img.test/a.jpg" << true;
        QTest::newRow("https with query") << "https://img.test/a.jpg?w=300" << true;
        QTest::newRow("file") << "file:///etc/passwd" << false;
        QTest::newRow("qrc") << "qrc:/qt/qml/Mavu/x.png" << false;
        QTest::newRow("data") << "data:image/png;base64,AAAA" << false;
        QTest::newRow("relative") << "/a.jpg" << false;
        QTest::newRow("no host") << "http:///a.jpg" << false;
        QTest::newRow("upper-case scheme") << "HTTPS://img.test/a.jpg" << true;
        QTest::newRow("blank") << "http://img.test/a b.jpg" << false;
        QTest::newRow("line break") << "http://img.test/a.jpg\n" << false;
        QTest::newRow("empty") << "" << false;
    }

    void pictures()
    {
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        const auto url = StreamAddress::webPicture(text);
        QCOMPARE(url.has_value(), accepted);
        if (url)
            QVERIFY(url->scheme() == "http" || url->scheme() == "https");
    }
};

QTEST_GUILESS_MAIN(TestStreamAddress)
#include "tst_streamaddress.moc"
