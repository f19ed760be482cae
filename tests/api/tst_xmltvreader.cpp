#include "api/gzipstream.h"
#include "api/xmltvreader.h"

#include <QtTest>

#include <zlib.h>

namespace {

struct Read
{
    QList<XmltvReader::Programme> programmes;
    XmltvReader::Outcome outcome = XmltvReader::Outcome::notXmltv;
    bool fedAll = true;
};

// Keeps the channels listed, in that order as keys.
struct Collector : XmltvReader::Handler
{
    QList<QByteArray> wanted;
    QList<XmltvReader::Programme> programmes;
    int channelKey(QByteArrayView id) override { return int(wanted.indexOf(id.toByteArray())); }
    void programme(XmltvReader::Programme &&programme) override { programmes.append(std::move(programme)); }
};

// Reads `document` fed in pieces of `piece` bytes.
Read read(const QByteArray &document, const QString &language = {}, qsizetype piece = 1 << 20,
          const QList<QByteArray> &wanted = {"a", "b"})
{
    Collector collector;
    collector.wanted = wanted;
    XmltvReader reader(collector, language);
    Read result;
    for (qsizetype at = 0; at < document.size() && result.fedAll; at += piece)
        result.fedAll = reader.feed(QByteArrayView(document).sliced(at, std::min(piece, document.size() - at)));
    result.outcome = reader.finish();
    result.programmes = collector.programmes;
    return result;
}

QByteArray guide(const QByteArray &body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE tv SYSTEM \"xmltv.dtd\">\n<tv>\n" + body + "</tv>\n";
}

QByteArray gzip(const QByteArray &data)
{
    z_stream stream{};
    deflateInit2(&stream, 6, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(int(deflateBound(&stream, uLong(data.size()))) + 64, Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
    stream.avail_in = uInt(data.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(qsizetype(stream.total_out));
    deflateEnd(&stream);
    return out;
}

constexpr qint64 may1 = 1714521600; // 2024-05-01 00:00:00 UTC

} // namespace

Q_DECLARE_METATYPE(std::optional<qint64>)

// The XMLTV reader on the shapes real guides come in, and the gzip stream beside it.
class TestXmltvReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void times_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<std::optional<qint64>>("utc");
        QTest::addColumn<int>("offset");
        const auto at = [](qint64 secs) { return std::optional<qint64>(secs); };
        QTest::newRow("utc") << QByteArray("20240501201500 +0000") << at(may1 + 20 * 3600 + 15 * 60) << 0;
        QTest::newRow("east") << QByteArray("20240501201500 +0200") << at(may1 + 18 * 3600 + 15 * 60) << 120;
        QTest::newRow("half hour east") << QByteArray("20240501201500 +0530") << at(may1 + 14 * 3600 + 45 * 60) << 330;
        QTest::newRow("west, previous day in UTC") << QByteArray("20240501201500 -0800") << at(may1 + 28 * 3600 + 15 * 60) << -480;
        QTest::newRow("west crossing into the next day") << QByteArray("20240430230000 -0300") << at(may1 + 2 * 3600) << -180;
        QTest::newRow("no offset means UTC") << QByteArray("20240501201500") << at(may1 + 20 * 3600 + 15 * 60) << 0;
        QTest::newRow("offset with a colon") << QByteArray("20240501201500 +05:45") << at(may1 + 14 * 3600 + 30 * 60) << 345;
        QTest::newRow("no blank before the offset") << QByteArray("20240501201500+0100") << at(may1 + 19 * 3600 + 15 * 60) << 60;
        QTest::newRow("minutes only") << QByteArray("202405012015 +0000") << at(may1 + 20 * 3600 + 15 * 60) << 0;
        QTest::newRow("a date alone") << QByteArray("20240501") << at(may1) << 0;
        QTest::newRow("Z") << QByteArray("20240501000000 Z") << at(may1) << 0;
        QTest::newRow("leap day") << QByteArray("20240229120000 +0000") << at(may1 - 62 * 86400 + 12 * 3600) << 0;
        QTest::newRow("29 February of a common year") << QByteArray("20230229120000") << std::optional<qint64>() << 0;
        QTest::newRow("month 13") << QByteArray("20241301000000") << std::optional<qint64>() << 0;
        QTest::newRow("odd digit count") << QByteArray("2024050120150") << std::optional<qint64>() << 0;
        QTest::newRow("zone name") << QByteArray("20240501201500 CEST") << std::optional<qint64>() << 0;
        QTest::newRow("offset too short") << QByteArray("20240501201500 +02") << std::optional<qint64>() << 0;
        QTest::newRow("empty") << QByteArray() << std::optional<qint64>() << 0;
    }

    void times()
    {
        QFETCH(QByteArray, text);
        QFETCH(std::optional<qint64>, utc);
        QFETCH(int, offset);
        const auto time = XmltvReader::parseTime(text);
        QCOMPARE(time.has_value(), utc.has_value());
        if (utc) {
            QCOMPARE(time->utc, *utc);
            QCOMPARE(time->offsetMinutes, offset);
        }
    }

    // The same document in pieces of every size reads the same: no token is lost at a seam.
    void piecesOfAnySize_data()
    {
        QTest::addColumn<qsizetype>("piece");
        for (const qsizetype piece : {1, 2, 3, 7, 64, 4096})
            QTest::addRow("%lld", qlonglong(piece)) << piece;
    }

    void piecesOfAnySize()
    {
        QFETCH(qsizetype, piece);
        const QByteArray document = guide(
            "<channel id=\"a\"><display-name>A</display-name></channel>\n"
            "<programme start=\"20240501200000 +0200\" stop=\"20240501210000 +0200\" channel=\"a\">"
            "<title lang=\"en\">News &amp; Weather</title><desc><![CDATA[Said <plainly> & clearly.]]></desc></programme>\n"
            "<programme start=\"20240501210000 +0200\" stop=\"20240501220000 +0200\" channel=\"b\">"
            "<title>Caf&#233; &#x263A;</title></programme>\n");
        const Read result = read(document, {}, piece);
        QCOMPARE(result.outcome, XmltvReader::Outcome::complete);
        QCOMPARE(result.programmes.size(), 2);
        QCOMPARE(result.programmes[0].title, QStringLiteral("News & Weather"));
        QCOMPARE(result.programmes[0].desc, QStringLiteral("Said <plainly> & clearly."));
        QCOMPARE(result.programmes[0].start.utc, may1 + 18 * 3600);
        QCOMPARE(result.programmes[0].stop, std::optional<qint64>(may1 + 19 * 3600));
        QCOMPARE(result.programmes[1].channel, 1);
        QCOMPARE(result.programmes[1].title, QStringLiteral("Café ☺"));
    }

    void titlesByLanguage_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("desc");
        QTest::newRow("none asked: the first") << QString() << "Evening News" << "English words.";
        QTest::newRow("German") << "de" << "Abendnachrichten" << "Deutsche Worte.";
        QTest::newRow("a regional code matches its language") << "de-AT" << "Abendnachrichten" << "Deutsche Worte.";
        QTest::newRow("case does not matter") << "DE" << "Abendnachrichten" << "Deutsche Worte.";
        QTest::newRow("absent language: the first") << "hr" << "Evening News" << "English words.";
        QTest::newRow("the title's own region") << "pt" << "Jornal da Noite" << "English words.";
    }

    void titlesByLanguage()
    {
        QFETCH(QString, language);
        QFETCH(QString, title);
        QFETCH(QString, desc);
        const Read result = read(guide("<programme start=\"20240501200000\" channel=\"a\">"
                                       "<title lang=\"en\">Evening News</title>"
                                       "<title lang=\"de\">Abendnachrichten</title>"
                                       "<title lang=\"pt-BR\">Jornal da Noite</title>"
                                       "<title lang=\"de\">Zweiter deutscher Titel</title>"
                                       "<sub-title lang=\"de\">Nicht der Titel</sub-title>"
                                       "<desc lang=\"en\">English words.</desc>"
                                       "<desc lang=\"de\">Deutsche Worte.</desc>"
                                       "</programme>"),
                                 language);
        QCOMPARE(result.programmes.size(), 1);
        QCOMPARE(result.programmes[0].title, title);
        QCOMPARE(result.programmes[0].desc, desc);
    }

    void programmesKeptOrSkipped()
    {
        const Read result = read(guide(
            // an unknown channel, then programmes that cannot be placed
            "<programme start=\"20240501200000\" channel=\"zz\"><title>Elsewhere</title></programme>"
            "<programme start=\"yesterday\" channel=\"a\"><title>No start</title></programme>"
            "<programme channel=\"a\"><title>Missing start</title></programme>"
            "<programme start=\"20240501200000\"><title>Missing channel</title></programme>"
            // kept: no stop, a stop before the start, extras around the title, blanks in it
            "<programme start=\"20240501200000\" channel=\"a\"><title>No stop</title></programme>"
            "<programme start=\"20240501210000\" stop=\"20240501200000\" channel=\"a\"><title>Backwards</title></programme>"
            "<programme start=\"20240501220000\" stop=\"20240501230000\" channel=\"b\">"
            "<credits><actor>Not <title>a title</title></actor></credits>"
            "<title>\n   Spaced\n\tout  </title><rating><value>TV-G</value></rating></programme>"));
        QCOMPARE(result.outcome, XmltvReader::Outcome::complete);
        QCOMPARE(result.programmes.size(), 3);
        QCOMPARE(result.programmes[0].title, QStringLiteral("No stop"));
        QCOMPARE(result.programmes[0].stop, std::nullopt);
        QCOMPARE(result.programmes[1].stop, std::nullopt);
        QCOMPARE(result.programmes[2].title, QStringLiteral("Spaced out"));
        QCOMPARE(result.programmes[2].desc, QString());
    }

    void documents_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<XmltvReader::Outcome>("outcome");
        QTest::addColumn<int>("programmes");
        const QByteArray one = "<programme start=\"20240501200000\" channel=\"a\"><title>One</title></programme>\n";
        QTest::newRow("whole") << guide(one) << XmltvReader::Outcome::complete << 1;
        QTest::newRow("empty guide") << guide("") << XmltvReader::Outcome::complete << 0;
        QTest::newRow("cut in a programme") << guide(one + one).chopped(40) << XmltvReader::Outcome::truncated << 1;
        QTest::newRow("cut before the end tag") << guide(one).chopped(7) << XmltvReader::Outcome::truncated << 1;
        QTest::newRow("a web page") << QByteArray("<html><body><h1>502 Bad Gateway</h1></body></html>")
                                    << XmltvReader::Outcome::notXmltv << 0;
        QTest::newRow("JSON") << QByteArray(R"({"user_info":{"auth":0}})") << XmltvReader::Outcome::notXmltv << 0;
        QTest::newRow("nothing") << QByteArray() << XmltvReader::Outcome::notXmltv << 0;
        QTest::newRow("a stray ampersand") << guide("<programme start=\"20240501200000\" channel=\"a\"><title>Tom & Jerry</title></programme>")
                                           << XmltvReader::Outcome::complete << 1;
    }

    void documents()
    {
        QFETCH(QByteArray, document);
        QFETCH(XmltvReader::Outcome, outcome);
        QFETCH(int, programmes);
        const Read result = read(document, {}, 16);
        QCOMPARE(result.outcome, outcome);
        QCOMPARE(result.programmes.size(), programmes);
        if (outcome == XmltvReader::Outcome::notXmltv && !document.isEmpty())
            QVERIFY(!result.fedAll); // found out early, not after the whole answer
    }

    void latin1IsDecoded()
    {
        const Read result = read("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><tv><programme start=\"20240501200000\" "
                                 "channel=\"a\"><title>Caf\xe9</title></programme></tv>");
        QCOMPARE(result.programmes.value(0).title, QStringLiteral("Café"));
    }

    // A guide names no file for the parser to read: external entities stay unread.
    void externalEntitiesAreNotRead()
    {
        QTemporaryFile secret;
        QVERIFY(secret.open());
        secret.write("SECRET");
        secret.flush();
        const QByteArray document = "<?xml version=\"1.0\"?><!DOCTYPE tv [<!ENTITY x SYSTEM \"file://"
                                    + secret.fileName().toUtf8()
                                    + "\">]><tv><programme start=\"20240501200000\" channel=\"a\"><title>A&x;B</title></programme></tv>";
        const Read result = read(document);
        QCOMPARE(result.programmes.size(), 1);
        QVERIFY(!result.programmes[0].title.contains(QStringLiteral("SECRET")));
    }

    void gzipInPieces_data()
    {
        QTest::addColumn<qsizetype>("piece");
        QTest::newRow("byte by byte") << qsizetype(1);
        QTest::newRow("small pieces") << qsizetype(100);
        QTest::newRow("whole") << qsizetype(1 << 20);
    }

    void gzipInPieces()
    {
        QFETCH(qsizetype, piece);
        QByteArray plain;
        for (int i = 0; i < 2000; ++i)
            plain += "<programme start=\"20240501200000\" channel=\"a\"><title>T" + QByteArray::number(i) + "</title></programme>\n";
        plain = guide(plain);
        // Two members one after the other, as concatenated files are.
        const QByteArray compressed = gzip(plain.left(5000)) + gzip(plain.mid(5000));
        QVERIFY(GzipStream::looksCompressed(compressed));
        QVERIFY(!GzipStream::looksCompressed(plain));

        GzipStream stream;
        QByteArray inflated;
        for (qsizetype at = 0; at < compressed.size(); at += piece) {
            const bool going = stream.inflate(QByteArrayView(compressed).sliced(at, std::min(piece, compressed.size() - at)),
                                              [&](QByteArrayView out) {
                                                  inflated.append(out);
                                                  return true;
                                              });
            QVERIFY(going);
        }
        QVERIFY(stream.atEnd());
        QCOMPARE(inflated, plain);
    }

    void gzipBrokenOrCut()
    {
        const QByteArray compressed = gzip(QByteArray(100000, 'x'));
        const auto sink = [](QByteArrayView) { return true; };
        GzipStream cut;
        QVERIFY(cut.inflate(QByteArrayView(compressed).first(compressed.size() / 2), sink));
        QVERIFY(!cut.atEnd());

        QByteArray damaged = compressed;
        damaged[20] = char(damaged[20] ^ 0x55);
        damaged[21] = char(damaged[21] ^ 0x55);
        GzipStream broken;
        QVERIFY(!broken.inflate(damaged, sink) || !broken.atEnd());

        // Zeros some servers pad with after the end are not more payload.
        GzipStream padded;
        QVERIFY(padded.inflate(compressed + QByteArray(16, '\0'), sink));
        QVERIFY(padded.atEnd());
    }
};

QTEST_GUILESS_MAIN(TestXmltvReader)
#include "tst_xmltvreader.moc"
