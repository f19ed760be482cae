#include "api/decoders.h"
#include "api/jsondocument.h"
#include "api/mavuapi.h"
#include "api/network.h"
#include "labserver.h"
#include "labthread.h"
#include "support/testsupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <zlib.h>

using namespace std::chrono_literals;
using TestSupport::await;

// The client's limits against servers that misbehave on purpose: each request ends with the
// failure a user can be told about, within its time, whatever the server does.
namespace {

// The answer outlives a test that gives up on it.
QCoro::Task<> fetchInto(std::shared_ptr<std::optional<Result<Network::Response>>> answer, QUrl url)
{
    *answer = co_await Network::get(std::move(url), {.purpose = Network::Purpose::catalogue});
}

// Answers every connection with one head and a body written in small pieces, one piece per
// turn of the event loop, so that the client reads it in as many pieces; then hangs up.
class PieceServer : public QTcpServer
{
public:
    PieceServer(QByteArray head, QByteArray body, qsizetype piece)
        : m_head(std::move(head))
        , m_body(std::move(body))
        , m_piece(piece)
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            QTcpSocket *socket = nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                if (!socket->readAll().contains("\r\n\r\n") || socket->property("answered").toBool())
                    return;
                socket->setProperty("answered", true);
                socket->write(m_head);
                writeFrom(socket, 0);
            });
        });
    }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/player_api.php").arg(serverPort())); }

private:
    void writeFrom(QTcpSocket *socket, qsizetype at)
    {
        if (at >= m_body.size()) {
            socket->disconnectFromHost();
            return;
        }
        socket->write(m_body.mid(at, m_piece));
        socket->flush();
        QTimer::singleShot(0, socket, [this, socket, at] { writeFrom(socket, at + m_piece); });
    }

    QByteArray m_head, m_body;
    qsizetype m_piece;
};

QByteArray gzipped(const QByteArray &data)
{
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(qsizetype(deflateBound(&stream, uLong(data.size()))), Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    stream.avail_in = uInt(data.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(qsizetype(stream.total_out));
    deflateEnd(&stream);
    return out;
}

QByteArray chunkedEncoding(const QByteArray &data, qsizetype piece)
{
    QByteArray out;
    for (qsizetype at = 0; at < data.size(); at += piece) {
        const QByteArray part = data.mid(at, piece);
        out += QByteArray::number(part.size(), 16) + "\r\n" + part + "\r\n";
    }
    return out + "0\r\n\r\n";
}

} // namespace

class TestNetwork : public QObject
{
    Q_OBJECT

    std::unique_ptr<Lab::Server> m_lab;
    Playlist m_playlist;

    // Short limits, in the same proportions as the program's.
    static void shortLimits()
    {
        using Network::Purpose;
        Network::testing::setLimits(Purpose::ordinary, {500ms, 1500ms, 64 * 1024});
        Network::testing::setLimits(Purpose::connecting, {500ms, 800ms, 64 * 1024});
        Network::testing::setLimits(Purpose::catalogue, {500ms, 2000ms, 1024 * 1024});
    }

    // The request each route stands for, as the player makes it.
    Result<int> ask(const QString &route)
    {
        const auto count = [](const auto &answer) -> Result<int> {
            if (!answer)
                return answer.failure();
            return int(answer->size());
        };
        if (route == QLatin1String("account")) {
            const auto answer = await(MavuAPI::playlistExpiry(m_playlist, {.purpose = Network::Purpose::connecting}));
            return answer ? Result<int>(1) : Result<int>(answer.failure());
        }
        if (route == QLatin1String("get_vod_streams"))
            return count(await(MavuAPI::vodStreams(m_playlist)));
        return count(await(MavuAPI::categories(m_playlist, route)));
    }

private Q_SLOTS:
    void init()
    {
        shortLimits();
        m_lab = std::make_unique<Lab::Server>();
        const QString base = m_lab->start();
        QVERIFY(!base.isEmpty());
        m_playlist = Playlist{base, m_lab->username(), m_lab->password()};
    }

    void cleanup()
    {
        m_lab.reset();
        Network::testing::resetLimits();
    }

    // Fault × route: the kind of failure and how long it may take (the limit it hits, plus a
    // second's grace for slow machines, never the program's real 20 or 120 seconds).
    void faults_data()
    {
        QTest::addColumn<QString>("route");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("atLeastMs");
        QTest::addColumn<int>("withinMs");
        // A byte every 100 ms is never idle: only the deadline ends it.
        QTest::newRow("trickle, catalogue: its deadline") << "get_vod_streams" << "trickle:100" << "timedOut" << 1900 << 3000;
        QTest::newRow("trickle, list: its deadline") << "get_vod_categories" << "trickle:100" << "timedOut" << 1400 << 2500;
        QTest::newRow("trickle, account: connecting's deadline") << "account" << "trickle:100" << "timedOut" << 700 << 1800;
        QTest::newRow("silence after the head: idle") << "get_vod_categories" << "silence" << "timedOut" << 450 << 1500;
        QTest::newRow("stall: idle") << "get_live_categories" << "stall" << "timedOut" << 450 << 1500;
        QTest::newRow("shorter body than promised: idle") << "get_vod_categories" << "shortbody" << "timedOut" << 450 << 1500;
        QTest::newRow("silent longer than the idle time-out") << "account" << "delay:3000" << "timedOut" << 450 << 1500;
        QTest::newRow("huge, promised length: refused at once") << "get_vod_streams" << "huge:3" << "tooLarge" << 0 << 1000;
        QTest::newRow("huge, list past its cap") << "get_vod_categories" << "huge:1" << "tooLarge" << 0 << 1000;
        QTest::newRow("huge, endless") << "get_vod_streams" << "huge" << "tooLarge" << 0 << 2000;
        QTest::newRow("redirect loop") << "get_vod_categories" << "redirect:loop" << "serverFailed" << 0 << 1000;
        QTest::newRow("redirect to a file") << "get_vod_categories" << "redirect:file" << "serverFailed" << 0 << 1000;
        QTest::newRow("account refused with auth 0") << "account" << "noauth" << "credentialsRefused" << 0 << 1000;
        QTest::newRow("any action refused with auth 0") << "get_live_categories" << "noauth" << "credentialsRefused" << 0 << 1000;
        QTest::newRow("503") << "get_series_categories" << "status:503" << "serverFailed" << 0 << 1000;
        QTest::newRow("403") << "get_series_categories" << "status:403" << "credentialsRefused" << 0 << 1000;
        QTest::newRow("an HTML page") << "get_vod_streams" << "notjson" << "notUnderstood" << 0 << 1000;
        QTest::newRow("cut halfway") << "get_vod_streams" << "cut" << "serverFailed" << 0 << 1500;
        QTest::newRow("cut halfway, list") << "get_vod_categories" << "cut" << "serverFailed" << 0 << 1500;
        QTest::newRow("cut halfway, account") << "account" << "cut" << "serverFailed" << 0 << 1500;
        QTest::newRow("in time after a delay") << "get_live_categories" << "delay:200" << "ok" << 150 << 1000;
    }

    void faults()
    {
        QFETCH(QString, route);
        QFETCH(QString, fault);
        QFETCH(QString, kind);
        QFETCH(int, atLeastMs);
        QFETCH(int, withinMs);
        m_lab->setFault(route, *Lab::Fault::parse(fault));
        QElapsedTimer clock;
        clock.start();
        const Result<int> answer = ask(route);
        const qint64 elapsed = clock.elapsed();
        QCOMPARE(answer ? QStringLiteral("ok") : QString::fromLatin1(Failure::kindName(answer.failure().kind)), kind);
        QVERIFY2(elapsed >= atLeastMs * 9 / 10 && elapsed <= withinMs, qPrintable(QString::number(elapsed)));

        // The same request works once the fault is off: nothing stays broken in the client.
        m_lab->clearFaults();
        // (The lab may still be ending an endless answer on its side for a moment.)
        QTRY_VERIFY_WITH_TIMEOUT(ask(route).ok(), 5000);
    }

    // A body arrives whole and in order, with room behind it for the JSON parser, whether it
    // is joined where it arrived or on a worker (past 2 MB), and as the last chunk that fits.
    void bodiesArriveWhole_data()
    {
        QTest::addColumn<int>("megabytes");
        QTest::addColumn<qint64>("cap");
        QTest::newRow("small: joined in place") << 1 << qint64(4 * 1024 * 1024);
        QTest::newRow("large: joined on a worker") << 3 << qint64(4 * 1024 * 1024);
        QTest::newRow("exactly at the cap") << 3 << qint64(-1);
    }

    void bodiesArriveWhole()
    {
        QFETCH(int, megabytes);
        QFETCH(qint64, cap);
        m_lab->setFault(QStringLiteral("get_vod_streams"), *Lab::Fault::parse(QStringLiteral("huge:%1").arg(megabytes)));
        const QUrl url = m_playlist.playerApiURL(QStringLiteral("get_vod_streams")).value();
        if (cap < 0) { // the cap set to the promised length, learnt from a first request
            Network::testing::setLimits(Network::Purpose::catalogue, {5s, 20s, 64 * 1024 * 1024});
            const auto first = await(Network::get(url, {.purpose = Network::Purpose::catalogue}));
            QVERIFY(first);
            cap = first->body.size();
        }
        Network::testing::setLimits(Network::Purpose::catalogue, {5s, 20s, cap});
        const Result<Network::Response> answer = await(Network::get(url, {.purpose = Network::Purpose::catalogue}));
        QVERIFY(answer);
        const QByteArray &body = answer->body;
        QVERIFY(body.size() >= qint64(megabytes) * 1024 * 1024 * 9 / 10 && body.size() <= cap);
        QVERIFY(body.capacity() - body.size() >= 64);
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(body, &error);
        QCOMPARE(error.error, QJsonParseError::NoError);
        QVERIFY(document.isArray() && document.array().size() > 1000);
    }

    // However the body is framed and however small the pieces it comes in, the caller gets it
    // whole and byte for byte, with the parser's room behind it: read into a buffer sized from
    // the promised length, or grown when there is none.
    void bodiesInPieces_data()
    {
        QTest::addColumn<QString>("framing");
        QTest::addColumn<int>("piece");
        QTest::addColumn<int>("rows");
        QTest::newRow("promised length, 1 KB pieces") << "length" << 1024 << 20000;
        QTest::newRow("promised length, odd pieces") << "length" << 4093 << 20000;
        // Qt keeps an answer this small in a buffer of its own: still handed on as our copy.
        QTest::newRow("promised length, small") << "length" << 777 << 300;
        QTest::newRow("no length, ends when closed") << "close" << 7000 << 20000;
        QTest::newRow("chunked") << "chunked" << 3000 << 20000;
        QTest::newRow("gzip, inflated by the client") << "gzip" << 2000 << 20000;
    }

    void bodiesInPieces()
    {
        QFETCH(QString, framing);
        QFETCH(int, piece);
        QFETCH(int, rows);
        QByteArray expected = "[";
        for (int row = 0; row < rows; ++row)
            expected += (row ? "," : "") + QByteArray("{\"stream_id\":") + QByteArray::number(row) + ",\"name\":\"Movie "
                + QByteArray::number(row * 7919 % 100003) + "\"}";
        expected += "]";
        QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nConnection: close\r\n";
        QByteArray body = expected;
        if (framing == QLatin1String("length")) {
            head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
        } else if (framing == QLatin1String("chunked")) {
            head += "Transfer-Encoding: chunked\r\n";
            body = chunkedEncoding(body, piece);
        } else if (framing == QLatin1String("gzip")) {
            body = gzipped(body);
            head += "Content-Encoding: gzip\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n";
        }
        PieceServer server(head + "\r\n", body, piece);
        Network::testing::setLimits(Network::Purpose::catalogue, {5s, 20s, 64 * 1024 * 1024});
        for (const Network::Purpose purpose : {Network::Purpose::catalogue, Network::Purpose::ordinary}) {
            if (purpose == Network::Purpose::ordinary)
                Network::testing::setLimits(Network::Purpose::ordinary, {5s, 20s, 8 * 1024 * 1024});
            const Result<Network::Response> answer = await(Network::get(server.url(), {.purpose = purpose}));
            QVERIFY(answer);
            QCOMPARE(answer->status, 200);
            QVERIFY(answer->body == expected);
            QVERIFY(answer->body.capacity() - answer->body.size() >= 64);
            QVERIFY(!answer->storage);
        }
        // A catalogue that may borrow: with a length, the body lies in Qt's buffer and outlives
        // the reply while its storage is held; without one it is read out as above.
        Result<Network::Response> borrowed =
            await(Network::get(server.url(), {.purpose = Network::Purpose::catalogue, .borrowBody = true}));
        QVERIFY(borrowed);
        QCOMPARE(bool(borrowed->storage), framing == QLatin1String("length"));
        if (!borrowed->storage)
            QVERIFY(borrowed->body.capacity() - borrowed->body.size() >= 64);
        const QByteArray kept = std::move(borrowed->body);
        const std::shared_ptr<const void> storage = std::move(borrowed->storage);
        borrowed = Failure{Failure::Kind::cancelled};
        QTest::qWait(50); // the reply and Qt's thread let go of theirs
        QVERIFY(kept == expected);
    }

    // A whole section is decoded in runs while it arrives, however it is framed: the records are
    // those of the whole answer. An answer cut short after several runs were decoded is a
    // failure, never the rows that came.
    void catalogueDecodedWhileArriving_data()
    {
        QTest::addColumn<QString>("framing");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<qsizetype>("piece");
        QTest::addColumn<bool>("lookalike"); // a text holding "},{" where a run would be cut
        QTest::newRow("promised length") << "length" << "ok" << qsizetype(64 * 1024) << false;
        QTest::newRow("promised length, in odd pieces") << "length" << "ok" << qsizetype(4099) << false;
        // Decoded in place, the runs decline it; the whole parse must see the body as it came.
        QTest::newRow("promised length, row boundary lookalike") << "length" << "ok" << qsizetype(64 * 1024) << true;
        QTest::newRow("chunked") << "chunked" << "ok" << qsizetype(64 * 1024) << false;
        QTest::newRow("chunked, row boundary lookalike") << "chunked" << "ok" << qsizetype(64 * 1024) << true;
        QTest::newRow("gzip, inflated by the client") << "gzip" << "ok" << qsizetype(64 * 1024) << false;
        QTest::newRow("cut short of its promised length") << "cut" << "serverFailed" << qsizetype(64 * 1024) << false;
        QTest::newRow("cut short, in odd pieces") << "cut" << "serverFailed" << qsizetype(4099) << false;
    }

    void catalogueDecodedWhileArriving()
    {
        QFETCH(QString, framing);
        QFETCH(QString, kind);
        QFETCH(qsizetype, piece);
        QFETCH(bool, lookalike);
        QByteArray expected = "[";
        for (int row = 0; row < 60000; ++row) // about 6 MB: three runs and the rest
            expected += (row ? "," : "") + QByteArray("{\"stream_id\":") + QByteArray::number(row)
                + ",\"name\":\"Movie " + QByteArray::number(row * 7919 % 100003)
                + "\",\"category_id\":\"" + QByteArray::number(row % 40)
                + "\",\"stream_icon\":\"http:\\/\\/img.test\\/" + QByteArray::number(row) + ".jpg\",\"added\":\"1600000000" + (lookalike ? "},{" : "") + "\"}";
        expected += "]";
        // Every row ends in a text holding "},{": the first run is cut inside one.
        QVERIFY(!lookalike || expected.indexOf("},{", 2 << 20) == expected.indexOf("1600000000},{\"}", 2 << 20) + 10);
        QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nConnection: close\r\n";
        QByteArray body = expected;
        if (framing == QLatin1String("length")) {
            head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
        } else if (framing == QLatin1String("cut")) {
            head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
            body.truncate(body.size() * 9 / 10);
        } else if (framing == QLatin1String("chunked")) {
            head += "Transfer-Encoding: chunked\r\n";
            body = chunkedEncoding(body, 100000);
        } else if (framing == QLatin1String("gzip")) {
            body = gzipped(body);
            head += "Content-Encoding: gzip\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n";
        }
        PieceServer server(head + "\r\n", body, piece);
        Network::testing::setLimits(Network::Purpose::catalogue, {5s, 20s, 64 * 1024 * 1024});
        const QUrl base = server.url().adjusted(QUrl::RemovePath);
        const Playlist playlist{base.toString(), QStringLiteral("u"), QStringLiteral("p")};
        JsonDocument document;
        QVERIFY(document.parse(expected));
        const QList<MediaItem> records = MavuAPI::decode::streams(document.root(), MediaItem::Kind::movie);
        // In Qt's own buffer, and read out of its pieces.
        for (const bool borrow : {true, false}) {
            Network::testing::setBorrowBodies(borrow);
            const auto answer = await(MavuAPI::vodStreams(playlist));
            Network::testing::setBorrowBodies(true);
            QCOMPARE(answer ? QStringLiteral("ok") : QString::fromLatin1(Failure::kindName(answer.failure().kind)), kind);
            if (answer)
                QVERIFY(*answer == records);
        }
    }

    // A catalogue comes in whole while the GUI thread is busy: it is not read piece by piece
    // through that thread's event loop.
    void catalogueArrivesWhileTheGuiThreadIsBusy()
    {
        Lab::Thread lab({.faults = {{QStringLiteral("get_vod_streams"), *Lab::Fault::parse(QStringLiteral("huge:3"))}}});
        const Playlist playlist{lab.startAndWait(), QStringLiteral("lab"), QStringLiteral("lab")};
        Network::testing::setLimits(Network::Purpose::catalogue, {10s, 20s, 64 * 1024 * 1024});
        auto answer = std::make_shared<std::optional<Result<Network::Response>>>();
        [[maybe_unused]] QCoro::Task<> fetching = fetchInto(answer, playlist.playerApiURL(QStringLiteral("get_vod_streams")).value());
        QThread::msleep(2500);
        for (int turn = 0; turn < 5 && !*answer; ++turn)
            QCoreApplication::processEvents();
        QVERIFY(*answer);
        QVERIFY((*answer)->ok());
        QVERIFY((**answer)->body.size() >= 3 * 1024 * 1024 * 9 / 10);
    }

    // Cancelling ends the request at once, whatever the server is doing.
    void cancel_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("stalled") << "stall";
        QTest::newRow("trickling") << "trickle:50";
        QTest::newRow("endless body") << "huge";
    }

    void cancel()
    {
        QFETCH(QString, fault);
        Network::testing::setLimits(Network::Purpose::catalogue, {10s, 20s, 1024 * 1024 * 1024});
        m_lab->setFault(QStringLiteral("get_vod_streams"), *Lab::Fault::parse(fault));
        auto cancellation = std::make_shared<Network::Cancellation>();
        // Timed from the cancel itself: the lab serves the endless body on this thread too, and
        // may hold up the timer behind its writes.
        QElapsedTimer clock;
        QTimer::singleShot(300, cancellation.get(), [&] {
            clock.start();
            cancellation->cancel();
        });
        const auto answer = await(MavuAPI::vodStreams(m_playlist, std::nullopt, {.cancellation = cancellation}));
        QCOMPARE(answer.failure().kind, Failure::Kind::cancelled);
        QVERIFY(clock.isValid());
        // Far below the 10 s idle limit that an unheeded cancel would wait for; rows being
        // decoded beside it stop at once rather than finishing their run. The margin is for a
        // sanitized build on a loaded machine.
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    }

    void cancelledBeforeSendingSendsNothing()
    {
        auto cancellation = std::make_shared<Network::Cancellation>();
        cancellation->cancel();
        const auto answer = await(MavuAPI::categories(m_playlist, QStringLiteral("get_live_categories"), {.cancellation = cancellation}));
        QCOMPARE(answer.failure().kind, Failure::Kind::cancelled);
        QCOMPARE(m_lab->requestCount(QStringLiteral("get_live_categories")), 0);
    }

    // Two requests in a row share one deadline: together they end in time.
    void sharedDeadline()
    {
        Network::testing::setLimits(Network::Purpose::connecting, {5s, 5s, 64 * 1024});
        m_lab->setFault(QStringLiteral("player_api"), *Lab::Fault::parse(QStringLiteral("delay:500")));
        const Network::Options options{.purpose = Network::Purpose::connecting, .deadline = QDeadlineTimer(800)};
        QElapsedTimer clock;
        clock.start();
        QVERIFY(await(MavuAPI::categories(m_playlist, QStringLiteral("get_live_categories"), options)).ok());
        const auto second = await(MavuAPI::categories(m_playlist, QStringLiteral("get_vod_categories"), options));
        QCOMPARE(second.failure().kind, Failure::Kind::timedOut);
        QVERIFY2(clock.elapsed() < 1300, qPrintable(QString::number(clock.elapsed())));
    }

    // A redirect leads on only to http(s), never down from https, and at most five times.
    void redirectsAreFollowedWithinReason()
    {
        m_lab->setFault(QStringLiteral("get_live_categories"), *Lab::Fault::parse(QStringLiteral("redirect:loop")));
        const auto answer = await(MavuAPI::categories(m_playlist, QStringLiteral("get_live_categories")));
        QCOMPARE(answer.failure().kind, Failure::Kind::serverFailed);
        QCOMPARE(answer.failure().httpStatus, 302);
        QCOMPARE(m_lab->requestCount(QStringLiteral("get_live_categories")), 6); // the first and five more
    }
};

QTEST_GUILESS_MAIN(TestNetwork)
#include "tst_network.moc"
