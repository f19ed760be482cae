#include "api/network.h"
#include "api/xmltvreader.h"
#include "guide.h"
#include "labserver.h"
#include "support/testsupport.h"
#include "xmltv.h"

#include <QCoroNetworkReply>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QtTest>

using TestSupport::await;

namespace {

struct Answer
{
    int status = 0;
    QByteArray contentEncoding;
    qint64 contentLength = -1;
    QByteArray body;
};

// With `identity`, the answer as sent; otherwise as Qt hands it over (gzip taken off).
QCoro::Task<Answer> fetch(QUrl url, bool identity)
{
    QNetworkRequest request(url);
    if (identity)
        request.setRawHeader("Accept-Encoding", "identity");
    std::unique_ptr<QNetworkReply> reply(Network::shared().get(request));
    co_await reply.get();
    Answer answer;
    answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    answer.contentEncoding = reply->rawHeader("Content-Encoding");
    answer.contentLength = reply->header(QNetworkRequest::ContentLengthHeader).isValid()
                               ? reply->header(QNetworkRequest::ContentLengthHeader).toLongLong()
                               : -1;
    answer.body = reply->readAll();
    co_return answer;
}

struct Counter : XmltvReader::Handler
{
    QHash<QByteArray, int> keys;
    QHash<int, QList<XmltvReader::Programme>> programmes;
    int channelKey(QByteArrayView id) override
    {
        const QByteArray key = id.toByteArray();
        if (!keys.contains(key))
            keys.insert(key, int(keys.size()));
        return keys.value(key);
    }
    void programme(XmltvReader::Programme &&programme) override { programmes[programme.channel].append(std::move(programme)); }
};

} // namespace

// The lab's programme guide as an XMLTV document: the same programmes the provider actions
// give, plain or gzip as the client takes it, behind the account and its faults.
class TestLabXmltv : public QObject
{
    Q_OBJECT

    std::unique_ptr<Lab::Server> m_lab;

    QUrl address(const QString &password) const
    {
        return QUrl(m_lab->base() + QStringLiteral("/xmltv.php?username=lab&password=") + password);
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_lab = std::make_unique<Lab::Server>(Lab::Options{.seed = 5, .guideDays = 0.5});
        QVERIFY(!m_lab->start().isEmpty());
    }

    void init() { m_lab->clearFaults(); }

    void plainAndGzipAreTheSameDocument()
    {
        const Answer plain = await(fetch(address(QStringLiteral("lab")), true));
        QCOMPARE(plain.status, 200);
        QVERIFY(plain.contentEncoding.isEmpty());
        QCOMPARE(plain.contentLength, plain.body.size());
        QVERIFY(plain.body.startsWith("<?xml"));

        const Answer compressed = await(fetch(address(QStringLiteral("lab")), false));
        QCOMPARE(compressed.contentEncoding, QByteArray("gzip"));
        QCOMPARE(compressed.contentLength, -1);
        // Made a moment apart, both cover the same whole minutes at least: compare the heads.
        QCOMPARE(compressed.body.left(4000), plain.body.left(4000));
        QVERIFY(compressed.body.endsWith("</tv>\n"));
    }

    // Every channel with a guide id, with the programmes "get_simple_data_table" gives for
    // the same span, in order, and the times of the lab's clock.
    void theSameProgrammes()
    {
        const Answer plain = await(fetch(address(QStringLiteral("lab")), true));
        Counter counter;
        XmltvReader reader(counter);
        QVERIFY(reader.feed(plain.body));
        QCOMPARE(reader.finish(), XmltvReader::Outcome::complete);

        const Lab::Catalogue &catalogue = m_lab->catalogue();
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        int checked = 0;
        for (const Lab::LiveChannel &channel : catalogue.live()) {
            const int key = counter.keys.value(channel.epgChannelId.toUtf8(), -1);
            QCOMPARE(key >= 0, !channel.epgChannelId.isEmpty());
            if (key < 0 || checked++ > 40)
                continue;
            const QList<Lab::Programme> expected = Lab::Guide::programmes(catalogue, channel, now - 3 * 3600, now + 3 * 3600);
            const QList<XmltvReader::Programme> &read = counter.programmes[key];
            for (const Lab::Programme &programme : expected) {
                const auto found = std::find_if(read.cbegin(), read.cend(), [&](const XmltvReader::Programme &p) {
                    return p.start.utc == programme.start;
                });
                QVERIFY(found != read.cend());
                QCOMPARE(found->title, programme.title);
                QCOMPARE(found->desc, programme.description);
                QCOMPARE(found->stop.value_or(programme.stop), programme.stop);
                QCOMPARE(found->start.offsetMinutes * 60, QDateTime::fromSecsSinceEpoch(programme.start).offsetFromUtc());
            }
        }
    }

    void answers_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("status");
        QTest::newRow("wrong password") << "nope" << "" << 401;
        QTest::newRow("status fault") << "lab" << "status:503" << 503;
        QTest::newRow("not found fault") << "lab" << "notfound" << 404;
    }

    void answers()
    {
        QFETCH(QString, password);
        QFETCH(QString, fault);
        QFETCH(int, status);
        if (!fault.isEmpty())
            m_lab->setFault(QStringLiteral("xmltv"), *Lab::Fault::parse(fault));
        QCOMPARE(await(fetch(address(password), true)).status, status);
        QCOMPARE(m_lab->requestCount(QStringLiteral("xmltv")) > 0, true);
        QVERIFY(Lab::Server::routeNames().contains(QStringLiteral("xmltv")));
    }

    void cutsStopPartWay_data()
    {
        QTest::addColumn<bool>("identity");
        QTest::newRow("plain") << true;
        QTest::newRow("gzip") << false;
    }

    void cutsStopPartWay()
    {
        QFETCH(bool, identity);
        m_lab->setFault(QStringLiteral("xmltv"), *Lab::Fault::parse(QStringLiteral("cut")));
        const Answer answer = await(fetch(address(QStringLiteral("lab")), identity));
        QVERIFY(!answer.body.endsWith("</tv>\n"));
    }

    void timeTexts()
    {
        const qint64 secs = 1714595700; // 2024-05-01 20:35:00 UTC
        const QDateTime local = QDateTime::fromSecsSinceEpoch(secs);
        const QByteArray text = Lab::Xmltv::timeText(secs);
        QCOMPARE(text.left(14), local.toString(QStringLiteral("yyyyMMddHHmmss")).toUtf8());
        const auto parsed = XmltvReader::parseTime(text);
        QVERIFY(parsed);
        QCOMPARE(parsed->utc, secs);
    }
};

QTEST_GUILESS_MAIN(TestLabXmltv)
#include "tst_labxmltv.moc"
