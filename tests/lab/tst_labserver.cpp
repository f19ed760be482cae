// The whole lab in-process, asked by the player's own request functions and by a plain HTTP
// client the way the media player asks for streams: every action decodes into what the
// catalogue holds, credentials are checked, streams, ranges and catch-up playlists are right,
// and each fault does what it says.
#include "api/m3ureader.h"
#include "api/mavuapi.h"
#include "api/network.h"
#include "deviceservice.h"
#include "labserver.h"
#include "m3ulist.h"
#include "model/urltext.h"
#include "support/testsupport.h"
#include "tsclip.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <map>

using TestSupport::await;
using namespace Qt::StringLiterals;

namespace {

struct Fetched
{
    int status = 0;
    QByteArray body;
    QByteArray contentType;
    QByteArray contentRange;
    qint64 contentLength = -1;
    QByteArray allowOrigin; // the cross-origin header, which no answer carries
    bool ended = false; // the server ended the answer (whole or cut short) within the time given
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
};

// GET (or HEAD) with a plain client; an answer that has not ended after `readForMs` is
// abandoned, as a player abandons a live stream.
Fetched fetch(const QString &url, const QByteArray &range = {}, int readForMs = 20000, bool head = false,
              const QList<std::pair<QByteArray, QByteArray>> &headers = {})
{
    QNetworkAccessManager manager;
    QNetworkRequest request{QUrl(url)};
    if (!range.isEmpty())
        request.setRawHeader("Range", range);
    for (const auto &[name, value] : headers)
        request.setRawHeader(name, value);
    QNetworkReply *reply = head ? manager.head(request) : manager.get(request);
    Fetched result;
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] { result.body += reply->readAll(); });
    QObject::connect(reply, &QNetworkReply::finished, &loop, [&] {
        result.ended = true;
        loop.quit();
    });
    QTimer::singleShot(readForMs, &loop, &QEventLoop::quit);
    loop.exec();
    result.body += reply->readAll();
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.contentType = reply->rawHeader("Content-Type");
    result.contentRange = reply->rawHeader("Content-Range");
    result.allowOrigin = reply->rawHeader("Access-Control-Allow-Origin");
    if (reply->hasRawHeader("Content-Length"))
        result.contentLength = reply->rawHeader("Content-Length").toLongLong();
    result.error = reply->error();
    reply->disconnect(); // abandoning it below must not count as the server ending it
    reply->abort();
    delete reply;
    return result;
}

// The status and body of a GET sent exactly as written: a plain HTTP client would tidy "." and
// ".." out of the path before sending it. The lab answers in this thread, so the event loop runs.
std::pair<int, QByteArray> rawGet(quint16 port, const QByteArray &path)
{
    QTcpSocket socket;
    QByteArray answer;
    QEventLoop loop;
    const auto whole = [&answer] {
        const qsizetype bodyAt = answer.indexOf("\r\n\r\n");
        if (bodyAt < 0)
            return false;
        const QByteArray head = answer.left(bodyAt).toLower();
        const qsizetype length = head.indexOf("content-length:");
        return length >= 0 && answer.size() - bodyAt - 4 >= head.mid(length + 15).split('\r').value(0).trimmed().toLongLong();
    };
    QObject::connect(&socket, &QTcpSocket::connected, &loop, [&] { socket.write("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"); });
    QObject::connect(&socket, &QTcpSocket::readyRead, &loop, [&] {
        answer += socket.readAll();
        if (whole())
            loop.quit();
    });
    QObject::connect(&socket, &QTcpSocket::disconnected, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    socket.connectToHost(QHostAddress::LocalHost, port);
    loop.exec();
    const QList<QByteArray> statusLine = answer.left(answer.indexOf("\r\n")).split(' ');
    const qsizetype bodyAt = answer.indexOf("\r\n\r\n");
    return {statusLine.value(1).toInt(), bodyAt < 0 ? QByteArray() : answer.mid(bodyAt + 4)};
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool looksLikeTransportStream(const QByteArray &bytes)
{
    if (bytes.size() < 188 * 10)
        return false;
    for (qsizetype at = 0; at + 188 <= bytes.size(); at += 188) {
        if (bytes[at] != '\x47')
            return false;
    }
    return true;
}

// Stream addresses as the player builds them: host, kind, then user and password
// percent-encoded for the path (a "/" in the password stays a "/").
QString streamAddress(const Lab::Server &lab, const QString &kind, const QString &rest)
{
    return lab.base() + u'/' + kind + u'/' + UrlText::encodePathText(lab.username()) + u'/'
           + UrlText::encodePathText(lab.password()) + u'/' + rest;
}

const Lab::LiveChannel &archivedChannel(const Lab::Server &lab)
{
    for (const Lab::LiveChannel &channel : lab.catalogue().live()) {
        if (channel.archive && !channel.epgChannelId.isEmpty())
            return channel;
    }
    qFatal("no channel with an archive");
}

const Lab::LiveChannel &channelWithoutArchive(const Lab::Server &lab)
{
    for (const Lab::LiveChannel &channel : lab.catalogue().live()) {
        if (!channel.archive)
            return channel;
    }
    qFatal("every channel has an archive");
}

const Lab::Movie &movieIn(const Lab::Server &lab, const QString &extension)
{
    for (const Lab::Movie &movie : lab.catalogue().movies()) {
        if (movie.extension == extension)
            return movie;
    }
    qFatal("no movie of that kind");
}

Lab::Options options(const QString &username = QStringLiteral("lab"), const QString &password = QStringLiteral("lab"))
{
    Lab::Options result;
    result.seed = 11;
    result.username = username;
    result.password = password;
    // These rows fetch one stream after another with a client that closes its connections on
    // a thread of its own, later: the connection limit has its own rows.
    result.maxConnections = 0;
    return result;
}

// Stream connections held open by name, as a player holds them, for the connection-limit rows.
class StreamClients
{
public:
    explicit StreamClients(const Lab::Server &lab)
        : m_lab(lab)
    {
    }

    // GET on a new connection; answers the status once the head has come.
    int open(const QString &name, const QString &path)
    {
        auto socket = std::make_unique<QTcpSocket>();
        QByteArray answer;
        QEventLoop loop;
        QObject::connect(socket.get(), &QTcpSocket::connected, &loop, [&] {
            socket->write("GET " + path.toUtf8() + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        });
        QObject::connect(socket.get(), &QTcpSocket::readyRead, &loop, [&] {
            answer += socket->readAll();
            if (answer.contains("\r\n\r\n"))
                loop.quit();
        });
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        socket->connectToHost(QHostAddress::LocalHost, m_lab.port());
        loop.exec();
        socket->disconnect();
        // The body goes on arriving; nobody reads it, as a paused player would not.
        m_sockets[name] = std::move(socket);
        return answer.left(answer.indexOf("\r\n")).split(' ').value(1).toInt();
    }

    void close(const QString &name)
    {
        m_sockets.erase(name); // closes; the lab notices on its next turn
        QTest::qWait(50);
    }

private:
    const Lab::Server &m_lab;
    std::map<QString, std::unique_ptr<QTcpSocket>> m_sockets;
};

} // namespace

class TestLabServer : public QObject
{
    Q_OBJECT

    const QString m_device = QStringLiteral("0A:1B:2C:3D:4E:5F");

private Q_SLOTS:
    void init()
    {
        Network::testing::resetLimits();
    }

    void everyActionDecodes_data()
    {
        QTest::addColumn<QString>("username");
        QTest::addColumn<QString>("password");
        QTest::newRow("plain") << "lab" << "lab";
        // A blank, a slash and the characters that query and path treat specially.
        QTest::newRow("awkward") << "lab user" << "p@ss w/rd+&=?#";
    }

    void everyActionDecodes()
    {
        QFETCH(QString, username);
        QFETCH(QString, password);
        Lab::Server lab(options(username, password));
        const QString base = lab.start();
        QVERIFY(!base.isEmpty());
        const Lab::Catalogue &catalogue = lab.catalogue();
        const Playlist playlist{base, username, password};

        const struct
        {
            const char *action;
            Lab::Kind kind;
        } sections[] = {{"get_live_categories", Lab::Kind::live}, {"get_vod_categories", Lab::Kind::movie},
                        {"get_series_categories", Lab::Kind::series}};
        for (const auto &section : sections) {
            const QList<Category> categories = await(MavuAPI::categories(playlist, QString::fromLatin1(section.action))).value();
            QCOMPARE(categories.size(), catalogue.categories(section.kind).size());
            QCOMPARE(categories.first().name, catalogue.categories(section.kind).first().name);
        }
        QCOMPARE(await(MavuAPI::liveStreams(playlist))->size(), qsizetype(catalogue.live().size()));
        QCOMPARE(await(MavuAPI::vodStreams(playlist))->size(), qsizetype(catalogue.movies().size()));
        QCOMPARE(await(MavuAPI::series(playlist))->size(), qsizetype(catalogue.shows().size()));
        const QString firstLive = QString::number(catalogue.categories(Lab::Kind::live).first().id);
        const qsizetype inFirst = std::count_if(catalogue.live().cbegin(), catalogue.live().cend(),
                                                [](const Lab::LiveChannel &c) { return c.category == 0; });
        QCOMPARE(await(MavuAPI::liveStreams(playlist, firstLive))->size(), inFirst);

        const auto withTrailer = std::find_if(catalogue.movies().cbegin(), catalogue.movies().cend(), [](const Lab::Movie &m) { return m.trailer; });
        const VodInfo info = await(MavuAPI::vodInfo(playlist, QString::number(withTrailer->id))).value();
        QVERIFY(!info.trailer.isEmpty() && !info.runtime.isEmpty());

        const Lab::Show &show = catalogue.shows()[3];
        int episodes = 0;
        for (int season = 1; season <= show.seasons; ++season)
            episodes += catalogue.episodeCount(show, season);
        const MavuAPI::SeriesInfo seriesInfo = await(MavuAPI::seriesInfo(playlist, QString::number(show.id))).value();
        QCOMPARE(seriesInfo.episodes.size(), qsizetype(episodes));
        QCOMPARE(seriesInfo.seasons.size(), qsizetype(show.seasons));

        const QString channel = QString::number(archivedChannel(lab).id);
        QCOMPARE(await(MavuAPI::shortEPG(playlist, channel))->size(), qsizetype(4));
        QVERIFY(await(MavuAPI::fullEPG(playlist, channel))->size() > 4);
        QCOMPARE(await(MavuAPI::playlistExpiry(playlist)).value(), std::optional<qint64>(lab.expiresAt()));

        // The device service hands out this very lab, with its account.
        MavuAPI::testing::setDeviceServiceBase(base);
        const MavuAPI::DeviceStatus status = await(MavuAPI::deviceStatus(m_device)).value();
        QVERIFY(status.playlist);
        QCOMPARE(*status.playlist, playlist);
        QStringList codes;
        for (const MavuAPI::Language &language : status.languages) {
            codes.append(language.code);
            for (const QString &key : Lab::DeviceService::wordKeys())
                QVERIFY2(!language.words.value(key).trimmed().isEmpty(), qPrintable(language.code + u' ' + key));
        }
        QCOMPARE(codes, (QStringList{"en", "de", "hr"}));
        const QList<Theme> themes = await(MavuAPI::appThemes(m_device)).value();
        QCOMPARE(themes.size(), qsizetype(4));
        for (const Theme &theme : themes) {
            const Fetched image = fetch(theme.url);
            QCOMPARE(image.status, 200);
            QCOMPARE(image.contentType, QByteArray("image/jpeg"));
            QVERIFY(image.body.startsWith("\xFF\xD8"));
        }
    }

    void wrongCredentials_data()
    {
        QTest::addColumn<bool>("emptyList"); // how the lab answers them
        QTest::addColumn<QString>("username");
        QTest::addColumn<QString>("password");
        QTest::newRow("401, wrong password") << false << "lab" << "nope";
        QTest::newRow("401, wrong user") << false << "someone" << "lab";
        QTest::newRow("empty list, wrong password") << true << "lab" << "nope";
        QTest::newRow("401, password differing in case") << false << "lab" << "LAB";
    }

    void wrongCredentials()
    {
        QFETCH(bool, emptyList);
        QFETCH(QString, username);
        QFETCH(QString, password);
        Lab::Options settings = options();
        settings.authFailure = emptyList ? Lab::Options::AuthFailure::emptyList : Lab::Options::AuthFailure::unauthorized;
        Lab::Server lab(settings);
        const Playlist wrong{lab.start(), username, password};
        // A 401 is the credentials refused; a panel that answers an empty list says nothing wrong.
        const auto categories = await(MavuAPI::categories(wrong, QStringLiteral("get_live_categories")));
        const auto movies = await(MavuAPI::vodStreams(wrong));
        if (emptyList) {
            QVERIFY(categories && categories->isEmpty());
            QVERIFY(movies && movies->isEmpty());
        } else {
            QCOMPARE(categories.failure().kind, Failure::Kind::credentialsRefused);
            QCOMPARE(movies.failure().kind, Failure::Kind::credentialsRefused);
        }
        const QUrl address = *wrong.playerApiURL(QStringLiteral("get_live_categories"));
        QCOMPARE(fetch(address.toString()).status, emptyList ? 200 : 401);
        const QString stream = wrong.host + QStringLiteral("/movie/%1/%2/%3.mp4").arg(username, password).arg(Lab::firstMovieId);
        QCOMPARE(fetch(stream).status, 401);
    }

    // The whole catalogue as an M3U list, at the provider's address and at one that says
    // nothing of an account; read by the player's own reader, every entry lands where the
    // catalogue has it, and its addresses play.
    void m3uLists_data()
    {
        QTest::addColumn<QString>("username");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("provider"); // asked at get.php, otherwise at /lists/plain.m3u
        QTest::newRow("provider") << "lab" << "lab" << true;
        QTest::newRow("provider, awkward account") << "lab user" << "p@ss w/rd+&=?#" << true;
        QTest::newRow("plain") << "lab" << "lab" << false;
    }

    void m3uLists()
    {
        QFETCH(QString, username);
        QFETCH(QString, password);
        QFETCH(bool, provider);
        Lab::Server lab(options(username, password));
        const QString base = lab.start();
        const QString address = provider ? lab.playlistAddress() : base + u"/lists/plain.m3u"_s;
        // Twice: the second answer comes from the list kept after the first.
        for (int round = 0; round < 2; ++round) {
            const Fetched list = fetch(address);
            QCOMPARE(list.status, 200);
            QCOMPARE(list.contentType, QByteArray("audio/x-mpegurl"));
            QCOMPARE(list.contentLength, list.body.size());

            M3uReader reader{QUrl(address)};
            reader.feed(list.body);
            const auto read = reader.finish();
            QVERIFY(read.ok());
            const Lab::Catalogue &catalogue = lab.catalogue();
            qsizetype episodes = 0;
            for (const Lab::Show &show : catalogue.shows()) {
                for (int season = 1; season <= show.seasons; ++season)
                    episodes += catalogue.episodeCount(show, season);
            }
            QCOMPARE(read->skippedLines(), 0);
            QCOMPARE(read->itemCount(Section::live), qsizetype(catalogue.live().size()));
            QCOMPARE(read->itemCount(Section::movies), qsizetype(catalogue.movies().size()));
            QCOMPARE(read->itemCount(Section::series), episodes);
            QCOMPARE(read->categories(Section::live).size(), catalogue.categories(Lab::Kind::live).size());
            const qsizetype archived = std::count_if(catalogue.live().cbegin(), catalogue.live().cend(),
                                                     [](const Lab::LiveChannel &c) { return c.archive; });
            const QList<MediaItem> live = read->items(Section::live);
            QCOMPARE(std::count_if(live.cbegin(), live.cend(), [](const MediaItem &item) { return item.tvArchive; }), archived);

            const QUrl guide(read->guideURL());
            QCOMPARE(guide.adjusted(QUrl::RemoveQuery).toString(), base + u"/xmltv.php"_s);
            QCOMPARE(QUrlQuery(guide).queryItemValue(u"password"_s, QUrl::FullyDecoded), password);
            if (round > 0)
                continue;
            QCOMPARE(fetch(read->stream(live.first().id)->url, {}, 1500).status, 200);
            for (Section section : {Section::movies, Section::series})
                QCOMPARE(fetch(read->stream(read->items(section).first().id)->url, {}, 20000, true).status, 200);
        }
        if (provider) {
            QUrl wrong(address);
            QUrlQuery query(wrong);
            query.removeAllQueryItems(u"password"_s);
            query.addQueryItem(u"password"_s, u"nope"_s);
            wrong.setQuery(query);
            QCOMPARE(fetch(wrong.toString()).status, 401);
        }
    }

    // Asked at both addresses at once, before the list is written: both answers wait for the
    // one writing and carry the whole list, as does one asked once it is kept; a cut answer
    // hangs up halfway through the kept list.
    void m3uListAskedWhileWritten()
    {
        Lab::Server lab(options());
        const QString base = lab.start();
        const QByteArray written =
            Lab::M3u::pieces(std::make_shared<const Lab::Catalogue>(lab.catalogue()), {base, u"lab"_s, u"lab"_s}, 4096).join();
        QVERIFY(written.startsWith("#EXTM3U"));
        QNetworkAccessManager manager;
        QList<QNetworkReply *> replies;
        for (const QString &address : {base + u"/lists/plain.m3u"_s, lab.playlistAddress()})
            replies.append(manager.get(QNetworkRequest{QUrl(address)}));
        for (QNetworkReply *reply : std::as_const(replies)) {
            if (!reply->isFinished())
                QVERIFY(QTest::qWaitFor([reply] { return reply->isFinished(); }, 20000));
            QCOMPARE(reply->error(), QNetworkReply::NoError);
            QCOMPARE(reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(), written.size());
            QCOMPARE(reply->readAll(), written);
            delete reply;
        }
        QCOMPARE(fetch(base + u"/lists/plain.m3u"_s).body, written);
        QCOMPARE(fetch(base + u"/lab/fault?route=lists&kind=cut"_s).status, 200);
        const Fetched cut = fetch(base + u"/lists/plain.m3u"_s);
        QCOMPARE(cut.contentLength, written.size());
        QCOMPARE(cut.body, written.first(written.size() / 2));
    }

    void liveStreamsRunAtTheirOwnPace()
    {
        Lab::Server lab(options(QStringLiteral("lab user"), QStringLiteral("se/cret")));
        lab.start();
        const Lab::LiveChannel &channel = lab.catalogue().live().front();
        const qint64 rate = lab.media().liveClip(channel.clip)->bytesPerSecond();
        QElapsedTimer clock;
        clock.start();
        const Fetched live = fetch(streamAddress(lab, QStringLiteral("live"), QStringLiteral("%1.ts").arg(channel.id)), {}, 1500);
        const double seconds = clock.elapsed() / 1000.0;
        QCOMPARE(live.status, 200);
        QCOMPARE(live.contentType, QByteArray("video/mp2t"));
        QVERIFY2(!live.ended, "a live stream does not end");
        QVERIFY(looksLikeTransportStream(live.body.left(live.body.size() / 188 * 188)));
        // A quick start (about two seconds of media at once), then no faster than it plays.
        QVERIFY2(live.body.size() >= rate, qPrintable(QString::number(live.body.size())));
        QVERIFY2(live.body.size() <= qint64((2 + seconds + 1) * rate), qPrintable(QString::number(live.body.size())));

        QCOMPARE(fetch(streamAddress(lab, QStringLiteral("live"), QStringLiteral("%1.ts").arg(Lab::firstLiveId - 1))).status, 404);
        QCOMPARE(fetch(streamAddress(lab, QStringLiteral("live"), QStringLiteral("%1.m3u8").arg(channel.id))).status, 404);
    }

    void streamCredentials_data()
    {
        QTest::addColumn<QString>("username");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("sentPath"); // the credentials' part of the address, as sent
        QTest::addColumn<int>("status");
        QTest::newRow("empty password") << "lab" << "" << "lab/" << 200;
        QTest::newRow("slash in the password") << "lab" << "a/b" << "lab/a/b" << 200;
        QTest::newRow("only the part before the slash") << "lab" << "a/b" << "lab/a" << 401;
        QTest::newRow("blank, encoded") << "lab user" << "x" << "lab%20user/x" << 200;
        QTest::newRow("encoded slash counts as one") << "lab" << "a/b" << "lab/a%2Fb" << 200;
        QTest::newRow("case matters") << "lab" << "x" << "lab/X" << 401;
    }

    void streamCredentials()
    {
        QFETCH(QString, username);
        QFETCH(QString, password);
        QFETCH(QString, sentPath);
        QFETCH(int, status);
        Lab::Server lab(options(username, password));
        lab.start();
        const QString address = lab.base() + u"/movie/"_s + sentPath + u"/%1.mp4"_s.arg(movieIn(lab, u"mp4"_s).id);
        QCOMPARE(fetch(address, {}, 20000, true).status, status);
    }

    void byteRanges_data()
    {
        QTest::addColumn<QString>("kind"); // movie or series
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QByteArray>("range");
        QTest::addColumn<int>("status");
        QTest::addColumn<qint64>("from"); // -1: from the end
        QTest::addColumn<qint64>("length");
        for (const QString extension : {"mp4", "mkv"}) {
            const QByteArray ext = extension.toLatin1();
            QTest::addRow("%s whole", ext.constData()) << "movie" << extension << QByteArray() << 200 << qint64(0) << qint64(-1);
            QTest::addRow("%s first kilobyte", ext.constData()) << "movie" << extension << QByteArray("bytes=0-1023") << 206 << qint64(0) << qint64(1024);
            QTest::addRow("%s seek to the middle", ext.constData()) << "movie" << extension << QByteArray("bytes=500000-") << 206 << qint64(500000) << qint64(-1);
            QTest::addRow("%s last bytes", ext.constData()) << "movie" << extension << QByteArray("bytes=-4096") << 206 << qint64(-4096) << qint64(4096);
            QTest::addRow("%s beyond the end", ext.constData()) << "movie" << extension << QByteArray("bytes=900000000-") << 416 << qint64(0) << qint64(0);
        }
        QTest::newRow("episode, seek") << "series" << "" << QByteArray("bytes=123457-223456") << 206 << qint64(123457) << qint64(100000);
    }

    void byteRanges()
    {
        QFETCH(QString, kind);
        QFETCH(QString, extension);
        QFETCH(QByteArray, range);
        QFETCH(int, status);
        QFETCH(qint64, from);
        QFETCH(qint64, length);
        Lab::Server lab(options(QStringLiteral("lab"), QStringLiteral("a b/c")));
        lab.start();
        QString path;
        qint64 id = 0;
        if (kind == QLatin1String("movie")) {
            const Lab::Movie &movie = movieIn(lab, extension);
            id = movie.id;
            path = lab.media().moviePath(movie.clip, extension);
        } else {
            const Lab::Show &show = lab.catalogue().shows().front();
            id = Lab::Catalogue::episodeId(show, 1, 1);
            extension = lab.catalogue().episode(id)->extension;
            path = lab.media().moviePath(show.clip, extension);
        }
        const QByteArray file = fileBytes(path);
        QVERIFY(file.size() > 600000);
        const QString address = streamAddress(lab, kind, QStringLiteral("%1.%2").arg(id).arg(extension));
        const Fetched answer = fetch(address, range);
        QCOMPARE(answer.status, status);
        if (status == 416) {
            QCOMPARE(answer.contentRange, "bytes */" + QByteArray::number(file.size()));
            return;
        }
        if (from < 0)
            from += file.size();
        if (length < 0)
            length = file.size() - from;
        QCOMPARE(answer.body.size(), length);
        QVERIFY(answer.body == file.mid(from, length));
        if (status == 206)
            QCOMPARE(answer.contentRange, "bytes " + QByteArray::number(from) + '-' + QByteArray::number(from + length - 1) + '/'
                                              + QByteArray::number(file.size()));
        const Fetched head = fetch(address, range, 20000, true);
        QCOMPARE(head.status, status);
        QVERIFY(head.body.isEmpty());
        QCOMPARE(head.contentLength, length);
    }

    void catchupPlaylistLastsTheDuration_data()
    {
        QTest::addColumn<int>("minutes");
        for (const int minutes : {1, 45, 90, 1440})
            QTest::addRow("%d minutes", minutes) << minutes;
    }

    void catchupPlaylistLastsTheDuration()
    {
        QFETCH(int, minutes);
        Lab::Server lab(options(QStringLiteral("lab"), QStringLiteral("x/y z")));
        lab.start();
        const Lab::LiveChannel &channel = archivedChannel(lab);
        const QString address = streamAddress(lab, QStringLiteral("timeshift"),
                                              QStringLiteral("%1/2024-05-01:20-15/%2.m3u8").arg(minutes).arg(channel.id));
        const Fetched playlist = fetch(address);
        QCOMPARE(playlist.status, 200);
        QVERIFY(playlist.body.startsWith("#EXTM3U\n"));
        QVERIFY(playlist.body.endsWith("#EXT-X-ENDLIST\n"));
        double total = 0;
        QStringList segments;
        for (const QByteArray &line : playlist.body.split('\n')) {
            if (line.startsWith("#EXTINF:"))
                total += line.mid(8, line.indexOf(',') - 8).toDouble();
            else if (!line.isEmpty() && !line.startsWith('#'))
                segments.append(QUrl(address).resolved(QUrl(QString::fromLatin1(line))).toString());
        }
        QCOMPARE(total, minutes * 60.0);
        const Lab::TsClip *clip = lab.media().liveClip(channel.clip);
        for (const QString &segment : {segments.first(), segments.last()}) {
            const Fetched media = fetch(segment);
            QCOMPARE(media.status, 200);
            QCOMPARE(media.body.size(), clip->size());
            QVERIFY(looksLikeTransportStream(media.body));
        }
    }

    void catchupRefusals_data()
    {
        QTest::addColumn<QString>("rest"); // after the credentials; %1 is an archived channel, %2 one without archive
        QTest::addColumn<int>("status");
        QTest::newRow("no minutes") << "0/2024-05-01:20-15/%1.m3u8" << 404;
        QTest::newRow("more than a day") << "1441/2024-05-01:20-15/%1.m3u8" << 404;
        QTest::newRow("start with colons") << "45/2024-05-01:20:15/%1.m3u8" << 404;
        QTest::newRow("channel without archive") << "45/2024-05-01:20-15/%2.m3u8" << 404;
        QTest::newRow("not a playlist") << "45/2024-05-01:20-15/%1.ts" << 404;
        QTest::newRow("missing start") << "45/%1.m3u8" << 404;
    }

    void catchupRefusals()
    {
        QFETCH(QString, rest);
        QFETCH(int, status);
        Lab::Server lab(options());
        lab.start();
        const QString address = streamAddress(lab, QStringLiteral("timeshift"),
                                              QString(rest)
                                                  .replace(u"%1"_s, QString::number(archivedChannel(lab).id))
                                                  .replace(u"%2"_s, QString::number(channelWithoutArchive(lab).id)));
        QCOMPARE(fetch(address).status, status);
    }

    void faultsOnAnswers_data()
    {
        QTest::addColumn<QString>("route");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("viaEndpoint"); // switched on while running, or as an option
        QTest::addColumn<bool>("answered");    // the live categories still decode into something
        QTest::addColumn<int>("atLeastMs");
        QTest::newRow("delay") << "get_live_categories" << "delay:400" << true << true << 400;
        QTest::newRow("stall past the time-out") << "get_live_categories" << "stall" << false << false << 700;
        QTest::newRow("error status") << "get_live_categories" << "status:503" << true << false << 0;
        QTest::newRow("not JSON") << "get_live_categories" << "notjson" << false << false << 0;
        QTest::newRow("cut in the middle") << "get_live_categories" << "cut" << true << false << 0;
        QTest::newRow("404") << "get_live_categories" << "notfound" << false << false << 0;
        QTest::newRow("on the whole provider") << "player_api" << "notjson" << true << false << 0;
        QTest::newRow("on everything") << "*" << "status:500" << false << false << 0;
        QTest::newRow("on another action") << "get_vod_categories" << "notjson" << true << true << 0;
        QTest::newRow("on streams only") << "streams" << "notfound" << true << true << 0;
    }

    void faultsOnAnswers()
    {
        QFETCH(QString, route);
        QFETCH(QString, fault);
        QFETCH(bool, viaEndpoint);
        QFETCH(bool, answered);
        QFETCH(int, atLeastMs);
        Network::testing::setTransferTimeout(std::chrono::milliseconds(700));
        Lab::Options settings = options();
        if (!viaEndpoint)
            settings.faults.append({route, *Lab::Fault::parse(fault)});
        Lab::Server lab(settings);
        const Playlist playlist{lab.start(), lab.username(), lab.password()};
        if (viaEndpoint) {
            const QStringList parts = fault.split(u':');
            const QString argument = parts.size() < 2 ? QString()
                                     : parts[0] == QLatin1String("delay") ? u"&ms="_s + parts[1]
                                                                          : u"&status="_s + parts[1];
            const QUrl control(lab.base() + u"/lab/fault?route="_s + QString::fromLatin1(QUrl::toPercentEncoding(route))
                               + u"&kind="_s + parts[0] + argument);
            const Fetched switched = fetch(control.toString());
            QCOMPARE(switched.status, 200);
            QVERIFY(switched.body.contains(route.toUtf8()));
        }
        QElapsedTimer clock;
        clock.start();
        const auto categories = await(MavuAPI::categories(playlist, QStringLiteral("get_live_categories")));
        QCOMPARE(categories.ok() && !categories->isEmpty(), answered);
        QVERIFY2(clock.elapsed() >= atLeastMs * 9 / 10, qPrintable(QString::number(clock.elapsed()))); // coarse timers

        // Switched off again, everything answers.
        QCOMPARE(fetch(lab.base() + u"/lab/reset"_s).status, 200);
        QVERIFY(!await(MavuAPI::categories(playlist, QStringLiteral("get_live_categories")))->isEmpty());
    }

    void faultForANumberOfRequests()
    {
        Lab::Server lab(options());
        const Playlist playlist{lab.start(), lab.username(), lab.password()};
        QCOMPARE(fetch(lab.base() + u"/lab/fault?route=account&kind=status&status=500&count=2"_s).status, 200);
        QCOMPARE(await(MavuAPI::playlistExpiry(playlist)).failure().httpStatus, 500);
        QCOMPARE(await(MavuAPI::playlistExpiry(playlist)).failure().kind, Failure::Kind::serverFailed);
        QCOMPARE(await(MavuAPI::playlistExpiry(playlist)).value(), std::optional<qint64>(lab.expiresAt()));
    }

    void connectionLimit_data()
    {
        QTest::addColumn<int>("max");
        QTest::addColumn<int>("slowCloseMs");
        // Steps: "NAME=STATUS" opens stream NAME on a new connection and expects STATUS,
        // "-NAME" closes its connection, "~MS" waits. Streams: live1, live2, movie, catchup
        // (a catch-up list) and segment (one of its segments), missing (no such channel).
        QTest::addColumn<QString>("steps");
        QTest::addColumn<int>("highest");
        QTest::newRow("a second channel is refused") << 1 << 0 << "live1=200 live2=403" << 1;
        QTest::newRow("closing frees the place") << 1 << 0 << "live1=200 -live1 live2=200 -live2 movie=200" << 1;
        QTest::newRow("the same stream twice is one") << 1 << 0 << "movie=200 movie2:movie=200 live1=403" << 1;
        QTest::newRow("a list and its segments are one") << 1 << 0 << "catchup=200 segment=200 live1=403" << 1;
        QTest::newRow("a refused request holds nothing") << 1 << 0 << "live1=200 live2=403 -live1 movie=200" << 1;
        QTest::newRow("a missing stream holds nothing") << 1 << 0 << "missing=404 live2=200" << 1;
        QTest::newRow("a missing stream counts for nothing") << 1 << 0 << "missing=404" << 0;
        QTest::newRow("two allowed") << 2 << 0 << "live1=200 live2=200 movie=403 -live1 movie=200" << 2;
        QTest::newRow("any number") << 0 << 0 << "live1=200 live2=200 movie=200 catchup=200" << 4;
        QTest::newRow("slow close keeps counting") << 1 << 400 << "live1=200 -live1 live2=403 ~500 live2=200" << 1;
        QTest::newRow("slow close lets the same stream back") << 1 << 400 << "live1=200 -live1 live1=200" << 1;
    }

    void connectionLimit()
    {
        QFETCH(int, max);
        QFETCH(int, slowCloseMs);
        QFETCH(QString, steps);
        QFETCH(int, highest);
        Lab::Options settings = options();
        settings.maxConnections = max;
        settings.slowCloseMs = slowCloseMs;
        Lab::Server lab(settings);
        lab.start();
        const Lab::LiveChannel &archived = archivedChannel(lab);
        const Lab::LiveChannel &other = channelWithoutArchive(lab);
        const QString account = u'/' + UrlText::encodePathText(lab.username()) + u'/' + UrlText::encodePathText(lab.password()) + u'/';
        const QHash<QString, QString> paths{
            {u"live1"_s, u"/live"_s + account + u"%1.ts"_s.arg(archived.id)},
            {u"live2"_s, u"/live"_s + account + u"%1.ts"_s.arg(other.id)},
            {u"movie"_s, u"/movie"_s + account + u"%1.mp4"_s.arg(movieIn(lab, u"mp4"_s).id)},
            {u"catchup"_s, u"/timeshift"_s + account + u"30/2024-05-01:20-15/%1.m3u8"_s.arg(archived.id)},
            {u"segment"_s, u"/hls/%1/0.ts"_s.arg(archived.id)},
            {u"missing"_s, u"/live"_s + account + u"%1.ts"_s.arg(Lab::firstLiveId - 1)},
        };
        StreamClients clients(lab);
        for (const QString &step : steps.split(u' ')) {
            if (step.startsWith(u'-')) {
                clients.close(step.mid(1));
            } else if (step.startsWith(u'~')) {
                QTest::qWait(step.mid(1).toInt());
            } else {
                // "name:stream=status" opens a stream under a name of its own.
                const QString target = step.section(u'=', 0, 0);
                const QString name = target.section(u':', 0, 0);
                const QString stream = target.contains(u':') ? target.section(u':', 1) : name;
                QVERIFY2(paths.contains(stream), qPrintable(stream));
                QCOMPARE(clients.open(name, paths[stream]), step.section(u'=', 1).toInt());
            }
        }
        QCOMPARE(lab.highestConnections(), highest);
        QCOMPARE(lab.refusedConnections(), int(steps.count(u"=403"_s)));
    }

    void accountAndControlReportConnections()
    {
        Lab::Options settings = options();
        settings.maxConnections = 1;
        Lab::Server lab(settings);
        const Playlist playlist{lab.start(), lab.username(), lab.password()};
        const QString account = u'/' + lab.username() + u'/' + lab.password() + u'/';
        StreamClients clients(lab);
        QCOMPARE(clients.open(u"a"_s, u"/live"_s + account + u"%1.ts"_s.arg(lab.catalogue().live().front().id)), 200);

        const MavuAPI::AccountStatus status = await(MavuAPI::accountStatus(playlist)).value();
        QCOMPARE(status.maxConnections, std::optional<int>(1));
        QCOMPARE(status.activeConnections, std::optional<int>(1));
        QCOMPARE(status.expiresAt, std::optional<qint64>(lab.expiresAt()));

        // Switched at the control endpoint; the highest count stays until a reset.
        QCOMPARE(fetch(lab.base() + u"/lab/connections?max=3&slow_close_ms=250"_s).status, 200);
        QCOMPARE(fetch(lab.base() + u"/lab/connections?max=many"_s).status, 400);
        QCOMPARE(fetch(lab.base() + u"/lab/connections?slow_close_ms=-1"_s).status, 400);
        QCOMPARE(clients.open(u"b"_s, u"/movie"_s + account + u"%1.mp4"_s.arg(movieIn(lab, u"mp4"_s).id)), 200);
        QCOMPARE(lab.highestConnections(), 2);
        const QByteArray state = fetch(lab.base() + u"/lab"_s).body;
        QVERIFY2(state.contains(R"("connections":{"max":3,"current":2,"highest":2,"refused":0,"slow_close_ms":250})"), state.constData());
        clients.close(u"b"_s);
        QCOMPARE(fetch(lab.base() + u"/lab/reset"_s).status, 200);
        QCOMPARE(lab.activeConnections(), 2); // the closed one still counts for a moment
        QCOMPARE(lab.highestConnections(), 2);
        QTRY_COMPARE(lab.activeConnections(), 1);
        QCOMPARE(fetch(lab.base() + u"/lab/reset"_s).status, 200);
        QCOMPARE(lab.highestConnections(), 1);
    }

    void controlRefusesWhatItDoesNotKnow_data()
    {
        QTest::addColumn<QString>("query");
        QTest::newRow("unknown route") << "route=get_everything&kind=stall";
        QTest::newRow("unknown kind") << "route=live&kind=explode";
        QTest::newRow("bad argument") << "route=live&kind=break&seconds=soon";
        QTest::newRow("no count") << "route=live&kind=stall&count=0";
        QTest::newRow("nothing") << "";
    }

    void controlRefusesWhatItDoesNotKnow()
    {
        QFETCH(QString, query);
        Lab::Server lab(options());
        lab.start();
        QCOMPARE(fetch(lab.base() + u"/lab/fault?"_s + query).status, 400);
        QVERIFY(lab.faults().isEmpty());
    }

    void faultsOnStreams_data()
    {
        QTest::addColumn<QString>("kind");   // live, movie, hls
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("body");   // "rate" (one second per second asked), "half", "none"
        QTest::newRow("live breaks after a second") << "live" << "break:1" << 200 << "rate";
        QTest::newRow("live breaks after two") << "live" << "break:2" << 200 << "rate";
        QTest::newRow("flaky live breaks on the first connection") << "live" << "flaky:1" << 200 << "rate";
        QTest::newRow("movie breaks after two seconds") << "movie" << "break:2" << 200 << "rate";
        QTest::newRow("movie cut in half") << "movie" << "cut" << 200 << "half";
        QTest::newRow("movie answers 404") << "movie" << "notfound" << 404 << "none";
        QTest::newRow("catch-up segment breaks") << "hls" << "break:1" << 200 << "rate";
        QTest::newRow("catch-up playlist fails") << "timeshift" << "status:503" << 503 << "none";
    }

    void faultsOnStreams()
    {
        QFETCH(QString, kind);
        QFETCH(QString, fault);
        QFETCH(int, status);
        QFETCH(QString, body);
        Lab::Options settings = options();
        settings.faults.append({kind, *Lab::Fault::parse(fault)});
        Lab::Server lab(settings);
        lab.start();
        const Lab::LiveChannel &channel = archivedChannel(lab);
        const Lab::Movie &movie = movieIn(lab, QStringLiteral("mp4"));
        QString address;
        qint64 rate = lab.media().liveClip(channel.clip)->bytesPerSecond();
        qint64 size = 0;
        if (kind == QLatin1String("live")) {
            address = streamAddress(lab, kind, QStringLiteral("%1.ts").arg(channel.id));
        } else if (kind == QLatin1String("hls")) {
            address = lab.base() + QStringLiteral("/hls/%1/0.ts").arg(channel.id);
        } else if (kind == QLatin1String("timeshift")) {
            address = streamAddress(lab, kind, QStringLiteral("30/2024-05-01:20-15/%1.m3u8").arg(channel.id));
        } else {
            address = streamAddress(lab, kind, QStringLiteral("%1.mp4").arg(movie.id));
            size = QFileInfo(lab.media().moviePath(movie.clip, QStringLiteral("mp4"))).size();
            rate = size / Lab::MediaLibrary::movieSeconds;
        }
        const Fetched answer = fetch(address, {}, 8000);
        QCOMPARE(answer.status, status);
        QVERIFY2(answer.ended, "the stream ends by itself");
        const int seconds = fault.section(u':', 1).toInt();
        if (body == QLatin1String("rate"))
            QCOMPARE(answer.body.size(), seconds * rate);
        else if (body == QLatin1String("half"))
            QCOMPARE(answer.body.size(), size / 2);
        if (kind == QLatin1String("movie") && status == 200)
            QCOMPARE(answer.contentLength, size); // the whole was promised
    }

    void deviceServicePaths_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("status");
        QTest::newRow("status") << "/api/playlist_information/AA:BB:CC:DD:EE:FF/macos" << 200;
        QTest::newRow("settings") << "/api/get_app_setting/AA:BB:CC:DD:EE:FF/macos" << 200;
        QTest::newRow("another platform") << "/api/get_app_setting/AA:BB:CC:DD:EE:FF/windows" << 404;
        QTest::newRow("no identifier") << "/api/playlist_information/macos" << 404;
        QTest::newRow("unknown request") << "/api/get_everything/AA:BB:CC:DD:EE:FF/macos" << 404;
        QTest::newRow("a missing logo") << "/images/missing/12.png" << 404;
        QTest::newRow("a logo") << "/images/logos/3.png" << 200;
        QTest::newRow("out of the media folder") << "/images/../labserver.h" << 404;
    }

    void deviceServicePaths()
    {
        QFETCH(QString, path);
        QFETCH(int, status);
        Lab::Server lab(options());
        lab.start();
        QCOMPARE(fetch(lab.base() + path).status, status);
    }

    // Image paths stay inside the media folder however they are spelled.
    void imagesOnlyFromTheMediaFolder()
    {
        Lab::Server lab(options());
        lab.start();
        QTemporaryDir outside;
        QFile secret(outside.filePath(u"secret.png"_s));
        QVERIFY(secret.open(QIODevice::WriteOnly) && secret.write("not for the web") > 0);
        secret.close();
        const QString absolute = QFileInfo(secret).absoluteFilePath();
        const QString upwards = QDir(lab.media().directory()).relativeFilePath(absolute); // "../../…/secret.png"
        QVERIFY(upwards.startsWith(u"../"_s));
        const auto encodeAll = [](const QString &text) { return QString::fromLatin1(QUrl::toPercentEncoding(text)); };
        const auto encodeDots = [](QString text) { return text.replace(u"."_s, u"%2E"_s); };

        const QStringList refused{
            u"/images/"_s + encodeAll(absolute),                           // one segment holding the whole path
            u"/images/"_s + absolute,                                      // an empty segment, then the path
            u"/images/"_s + encodeAll(upwards),                            // ".." inside one segment
            u"/images/"_s + upwards,                                       // ".." as it is
            u"/images/"_s + encodeDots(upwards),                           // ".." spelled %2E%2E
            u"/images/logos/"_s + encodeDots(u".."_s) + u"/logos/3.png"_s, // out and back in
            u"/images/logos/%2E/3.png"_s,                                  // "."
            u"/images/"_s + encodeAll(u"logos/3.png"_s),                   // "/" inside a segment
        };
        for (const QString &path : refused) {
            const auto [status, body] = rawGet(lab.port(), path.toUtf8());
            QVERIFY2(status == 404, qPrintable(path));
            QVERIFY2(!body.contains("not for the web"), qPrintable(path));
        }
        QCOMPARE(rawGet(lab.port(), "/images/logos/3.png").first, 200);
    }

    // No answer invites other origins to read it, and web pages cannot switch faults.
    void webPagesAreNotServed()
    {
        Lab::Server lab(options());
        const Playlist playlist{lab.start(), lab.username(), lab.password()};
        const QString provider = lab.base() + u"/player_api.php?username=lab&password=lab&action=get_live_categories"_s;
        for (const QString &address : {provider, lab.base() + u"/lab"_s, lab.base() + u"/images/logos/3.png"_s})
            QVERIFY2(fetch(address).allowOrigin.isEmpty(), qPrintable(address));

        const QString fault = lab.base() + u"/lab/fault?route=*&kind=stall"_s;
        QCOMPARE(fetch(fault, {}, 20000, false, {{"Sec-Fetch-Site", "cross-site"}}).status, 403);
        QCOMPARE(fetch(fault, {}, 20000, false, {{"Origin", "http://evil.example"}}).status, 403);
        QCOMPARE(fetch(lab.base() + u"/lab/reset"_s, {}, 20000, false, {{"Sec-Fetch-Site", "same-site"}}).status, 403);
        QVERIFY(lab.faults().isEmpty());
        QVERIFY(!await(MavuAPI::categories(playlist, QStringLiteral("get_live_categories")))->isEmpty());
        // From the machine itself, as curl asks, it still works.
        QCOMPARE(fetch(fault, {}, 20000, false, {{"Sec-Fetch-Site", "none"}}).status, 200);
        QVERIFY(!lab.faults().isEmpty());
    }

    void titledStreamsCarryTheirOwnPicture()
    {
        Lab::Options settings = options();
        settings.titledMedia = true;
        Lab::Server lab(settings);
        lab.start();
        const Lab::LiveChannel &channel = archivedChannel(lab);
        // The first request waits while ffmpeg draws the channel's name on its clip.
        const Fetched segment = fetch(lab.base() + QStringLiteral("/hls/%1/0.ts").arg(channel.id), {}, 60000);
        QCOMPARE(segment.status, 200);
        const auto titled = Lab::TsClip::fromBytes(segment.body);
        QVERIFY(titled);
        QCOMPARE(titled->periodTicks(), qint64(Lab::MediaLibrary::liveSeconds) * Lab::TsClip::clockRate);
        QVERIFY(segment.body != lab.media().liveClip(channel.clip)->repetition(0));
        // Made once: the live stream of the same channel starts at once.
        QElapsedTimer clock;
        clock.start();
        const Fetched live = fetch(streamAddress(lab, QStringLiteral("live"), QStringLiteral("%1.ts").arg(channel.id)), {}, 600);
        QCOMPARE(live.status, 200);
        QVERIFY(live.body.startsWith(segment.body.left(188 * 4))); // the same clip, first round
        // Nothing to draw for what does not exist.
        QCOMPARE(fetch(lab.base() + QStringLiteral("/hls/%1/0.ts").arg(channelWithoutArchive(lab).id)).status, 404);

        // A movie is drawn into the container asked for, and seeking works in it as in any other.
        const Lab::Movie &movie = movieIn(lab, u"mkv"_s);
        const QString address = streamAddress(lab, u"movie"_s, u"%1.mkv"_s.arg(movie.id));
        const Fetched start = fetch(address, "bytes=0-1023", 120000);
        QCOMPARE(start.status, 206);
        QVERIFY(start.body.startsWith("\x1A\x45\xDF\xA3")); // Matroska
        const qint64 size = start.contentRange.mid(start.contentRange.indexOf('/') + 1).toLongLong();
        QVERIFY(size > 0 && size != QFileInfo(lab.media().moviePath(movie.clip, u"mkv"_s)).size());
        const Fetched later = fetch(address, "bytes=" + QByteArray::number(size - 100) + '-');
        QCOMPARE(later.status, 206);
        QCOMPARE(later.body.size(), 100);
    }
};

QTEST_GUILESS_MAIN(TestLabServer)
#include "tst_labserver.moc"
