#include "api/decoders.h"
#include "api/jsondocument.h"
#include "api/jsonread.h"

#include <QtTest>

#include <cmath>
#include <cstring>
#include <memory>

namespace {

// Parses {"v": <json>} and answers the member, or nothing when `json` is empty (missing key).
struct Value
{
    JsonDocument document;
    JsonRead::Field field;
    explicit Value(const QByteArray &json)
    {
        const bool ok = document.parse(json.isEmpty() ? QByteArray("{}") : "{\"v\":" + json + "}");
        if (!ok)
            qFatal("test JSON does not parse");
        field = JsonRead::member(document.root(), "v");
    }
};

template<typename T>
T decodeJson(const QByteArray &json, T (*decode)(const JsonRead::Field &))
{
    JsonDocument document;
    if (!document.parse(json))
        return decode(std::nullopt);
    return decode(document.root());
}

QList<MediaItem> rows(const QByteArray &json, MediaItem::Kind kind)
{
    JsonDocument document;
    if (!document.parse(json))
        return {};
    return MavuAPI::decode::streams(document.root(), kind);
}

} // namespace

// The reading rules and the decoders, fed with literal answers (no network).
class TestJsonRead : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void textReading_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("text");
        QTest::newRow("text") << QByteArray("\"abc\"") << "abc";
        QTest::newRow("integer") << QByteArray("12") << "12";
        QTest::newRow("integral double") << QByteArray("12.0") << "12";
        QTest::newRow("fraction truncated") << QByteArray("4.9") << "4";
        QTest::newRow("negative fraction toward zero") << QByteArray("-4.9") << "-4";
        QTest::newRow("negative") << QByteArray("-7") << "-7";
        QTest::newRow("true") << QByteArray("true") << "1";
        QTest::newRow("false") << QByteArray("false") << "0";
        QTest::newRow("null") << QByteArray("null") << "";
        QTest::newRow("object") << QByteArray("{\"a\":1}") << "";
        QTest::newRow("array") << QByteArray("[1]") << "";
        QTest::newRow("missing") << QByteArray() << "";
        QTest::newRow("beyond int64, within uint64") << QByteArray("18446744073709551615") << "18446744073709551615";
        QTest::newRow("exponent") << QByteArray("1e3") << "1000";
        QTest::newRow("escaped unicode") << QByteArray("\"\\u00fc\\ud83d\\ude00\"") << QStringLiteral("ü\U0001F600");
    }

    void textReading()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, text);
        QCOMPARE(JsonRead::str(Value(json).field), text);
    }

    void integerReading_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<qint64>("expected"); // -999: unreadable
        QTest::newRow("number") << QByteArray("7") << qint64(7);
        QTest::newRow("text") << QByteArray("\"7\"") << qint64(7);
        QTest::newRow("plus sign") << QByteArray("\"+7\"") << qint64(7);
        QTest::newRow("minus sign") << QByteArray("\"-7\"") << qint64(-7);
        QTest::newRow("leading zeros") << QByteArray("\"03\"") << qint64(3);
        QTest::newRow("leading blank") << QByteArray("\" 7\"") << qint64(-999);
        QTest::newRow("trailing blank") << QByteArray("\"7 \"") << qint64(-999);
        QTest::newRow("decimal point") << QByteArray("\"7.0\"") << qint64(-999);
        QTest::newRow("integral double number") << QByteArray("7.0") << qint64(7);
        QTest::newRow("word") << QByteArray("\"seven\"") << qint64(-999);
        QTest::newRow("empty") << QByteArray("\"\"") << qint64(-999);
        QTest::newRow("sign only") << QByteArray("\"-\"") << qint64(-999);
        QTest::newRow("arabic-indic digits") << QByteArray("\"\\u0667\"") << qint64(-999);
        QTest::newRow("max") << QByteArray("\"9223372036854775807\"") << std::numeric_limits<qint64>::max();
        QTest::newRow("overflow") << QByteArray("\"9223372036854775808\"") << qint64(-999);
        QTest::newRow("true") << QByteArray("true") << qint64(1);
        QTest::newRow("null") << QByteArray("null") << qint64(-999);
    }

    void integerReading()
    {
        QFETCH(QByteArray, json);
        QFETCH(qint64, expected);
        QCOMPARE(JsonRead::integer(Value(json).field).value_or(-999), expected);
    }

    void decimalReading_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<double>("expected"); // NaN: unreadable
        const double none = std::nan("");
        QTest::newRow("number with fraction") << QByteArray("4.5") << 4.5;
        QTest::newRow("text") << QByteArray("\"4.5\"") << 4.5;
        QTest::newRow("integer") << QByteArray("4") << 4.0;
        QTest::newRow("exponent text") << QByteArray("\"1e2\"") << 100.0;
        QTest::newRow("comma is not a point") << QByteArray("\"4,5\"") << none;
        QTest::newRow("leading blank") << QByteArray("\" 4.5\"") << none;
        QTest::newRow("trailing text") << QByteArray("\"4.5x\"") << none;
        QTest::newRow("empty") << QByteArray("\"\"") << none;
        QTest::newRow("missing") << QByteArray() << none;
        QTest::newRow("true") << QByteArray("true") << 1.0;
    }

    void decimalReading()
    {
        QFETCH(QByteArray, json);
        QFETCH(double, expected);
        const auto value = JsonRead::decimal(Value(json).field);
        if (std::isnan(expected))
            QVERIFY(!value);
        else
            QCOMPARE(value.value_or(-1), expected);
        // A text read directly follows the same rule as a JSON text.
        if (json.startsWith('"')) {
            const auto direct = JsonRead::decimal(QString::fromUtf8(json.mid(1, json.size() - 2)));
            QCOMPARE(direct.has_value(), value.has_value());
            if (value)
                QCOMPARE(*direct, *value);
        }
    }

    void decimalReadingOfTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("readable");
        QTest::newRow("stamp") << "1714594500" << true;
        QTest::newRow("long fraction") << QString(70, QLatin1Char('1')) + ".5" << true;
        QTest::newRow("long with letter") << QString(70, QLatin1Char('1')) + "x" << false;
        QTest::newRow("non-ASCII digit") << QString::fromUtf8("\u0661") << false;
        QTest::newRow("embedded NUL") << QString(QChar(u'1')) + QChar(u'\0') + QChar(u'2') << false;
        QTest::newRow("tab first") << "\t5" << false;
    }

    void decimalReadingOfTexts()
    {
        QFETCH(QString, text);
        QTEST(JsonRead::decimal(text).has_value(), "readable");
    }

    void decimalReadingIgnoresTheProcessLocale()
    {
        const char *saved = setlocale(LC_NUMERIC, nullptr);
        const QByteArray restore(saved ? saved : "C");
        if (!setlocale(LC_NUMERIC, "de_DE.UTF-8"))
            QSKIP("no German locale on this machine");
        QCOMPARE(JsonRead::decimal(Value("\"4.5\"").field).value_or(-1), 4.5);
        setlocale(LC_NUMERIC, restore.constData());
    }

    void numbersBeyond64BitsKeepTheAnswer()
    {
        // simdjson refuses this document; the answer must survive anyway.
        const auto items = rows(R"([{"stream_id": 123456789012345678901234567890, "name": "Big"},)"
                                    R"({"stream_id": 5, "name": "Small", "num": 99999999999999999999999}])",
                                MediaItem::Kind::live);
        QCOMPARE(items.size(), 2);
        QCOMPARE(items[0].name, QStringLiteral("Big"));
        QVERIFY(!items[0].id.isEmpty());
        QCOMPARE(items[0].id, rows(R"([{"stream_id": 123456789012345678901234567890}])", MediaItem::Kind::live)[0].id);
        QCOMPARE(items[1].id, QStringLiteral("5"));
        QCOMPARE(items[1].num, 0); // unreadable as a 64-bit integer: the fallback
    }

    void documentsThatAreNotAnswers_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("html") << QByteArray("<html><body>500</body></html>");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("cut off") << QByteArray("[{\"stream_id\": 1, \"na");
        QTest::newRow("top-level text") << QByteArray("\"hello\"");
        QTest::newRow("top-level number") << QByteArray("42");
        QTest::newRow("bad number") << QByteArray("[01x]");
    }

    void documentsThatAreNotAnswers()
    {
        QFETCH(QByteArray, body);
        JsonDocument document;
        QVERIFY(!document.parse(body));
    }

    // Each limit holds at its value and refuses one past it, whichever parser reads the body.
    void boundedAnswers_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("refusal"); // JsonDocument::Refusal

        const auto nested = [](size_t depth, const QByteArray &inner = {}) {
            return QByteArray(qsizetype(depth), '[') + inner + QByteArray(qsizetype(depth), ']');
        };
        const auto objects = [](size_t depth) {
            QByteArray body;
            for (size_t i = 0; i < depth; ++i)
                body += "{\"a\":";
            body += "1";
            body += QByteArray(qsizetype(depth), '}');
            return body;
        };
        const auto text = [](size_t bytes) { return "[\"" + QByteArray(qsizetype(bytes), 'x') + "\"]"; };
        const auto key = [](size_t bytes) { return "{\"" + QByteArray(qsizetype(bytes), 'k') + "\":1}"; };
        const auto zeros = [](size_t count) {
            QByteArray body(qsizetype(count) * 2 + 1, ',');
            body[0] = '[';
            for (qsizetype i = 1; i < body.size(); i += 2)
                body[i] = '0';
            body[body.size() - 1] = ']';
            return body;
        };
        const auto members = [](size_t count) {
            QByteArray body = "{";
            for (size_t i = 0; i < count; ++i)
                body += (i ? ",\"" : "\"") + QByteArray::number(qulonglong(i)) + "\":0";
            return body + "}";
        };
        using R = JsonDocument::Refusal;
        const size_t depth = JsonDocument::maxDepth;
        const size_t text_ = JsonDocument::maxTextBytes;
        const size_t rows_ = JsonDocument::maxRows;
        QTest::newRow("arrays at the depth") << nested(depth) << int(R::none);
        QTest::newRow("arrays past the depth") << nested(depth + 1) << int(R::tooDeep);
        QTest::newRow("objects at the depth") << objects(depth) << int(R::none);
        QTest::newRow("objects past the depth") << objects(depth + 1) << int(R::tooDeep);
        QTest::newRow("far past the depth") << nested(100000) << int(R::tooDeep);
        QTest::newRow("big number past the depth") << nested(depth + 1, "123456789012345678901234567890") << int(R::tooDeep);
        QTest::newRow("big number at the depth") << nested(depth, "123456789012345678901234567890") << int(R::none);
        QTest::newRow("text at the limit") << text(text_) << int(R::none);
        QTest::newRow("text past the limit") << text(text_ + 1) << int(R::textTooLong);
        QTest::newRow("escapes counted as decoded") << "[\"" + QByteArray("\\u00e9").repeated(qsizetype(text_ / 2)) + "\"]" << int(R::none);
        QTest::newRow("key at the limit") << key(text_) << int(R::none);
        QTest::newRow("key past the limit") << key(text_ + 1) << int(R::textTooLong);
        QTest::newRow("rows at the limit") << zeros(rows_) << int(R::none);
        QTest::newRow("rows past the limit") << zeros(rows_ + 1) << int(R::tooManyRows);
        QTest::newRow("members past the limit") << members(rows_ + 1) << int(R::tooManyRows);
        QTest::newRow("not JSON") << QByteArray("[1,") << int(R::notJson);
        QTest::newRow("not a container") << QByteArray("true") << int(R::notContainer);
    }

    void boundedAnswers()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, refusal);
        JsonDocument document;
        QCOMPARE(document.parse(body), refusal == int(JsonDocument::Refusal::none));
        QCOMPARE(int(document.refusal()), refusal);
        // A refused document leaves the parser fit for the next answer.
        QVERIFY(document.parse("[{\"stream_id\":1}]"));
        QCOMPARE(document.refusal(), JsonDocument::Refusal::none);
    }

    // The decoders on an over-long text in one row: the whole answer is refused, not truncated.
    void decodersSeeNothingOfARefusedAnswer()
    {
        const QByteArray body = "[{\"stream_id\":1,\"name\":\"" + QByteArray(qsizetype(JsonDocument::maxTextBytes) + 1, 'n')
            + "\"},{\"stream_id\":2,\"name\":\"fine\"}]";
        QVERIFY(rows(body, MediaItem::Kind::live).isEmpty());
    }

    // A byte-order mark before the JSON is skipped, also on the way through Qt's parser.
    void byteOrderMark_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("parses");
        QTest::addColumn<int>("rows");
        QTest::newRow("mark before an array") << QByteArray("\xEF\xBB\xBF[{\"stream_id\":1}]") << true << 1;
        QTest::newRow("mark before a number beyond 64 bits")
            << QByteArray("\xEF\xBB\xBF[{\"stream_id\":1,\"num\":123456789012345678901234567890}]") << true << 1;
        QTest::newRow("mark alone") << QByteArray("\xEF\xBB\xBF") << false << 0;
        QTest::newRow("two marks") << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBF[]") << false << 0;
        QTest::newRow("half a mark") << QByteArray("\xEF\xBB[]") << false << 0;
    }

    void byteOrderMark()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, rows);
        JsonDocument document;
        QTEST(document.parse(body), "parses");
        if (rows > 0)
            QCOMPARE(MavuAPI::decode::streams(document.root(), MediaItem::Kind::live).size(), rows);
    }

    // Bytes the body only borrows have no room behind them for the parser to read into.
    void borrowedBytes()
    {
        const QByteArray json = R"([{"stream_id":7}])";
        const std::unique_ptr<char[]> exact(new char[size_t(json.size())]);
        std::memcpy(exact.get(), json.constData(), size_t(json.size()));
        JsonDocument document;
        QVERIFY(document.parse(QByteArray::fromRawData(exact.get(), json.size())));
        QCOMPARE(MavuAPI::decode::streams(document.root(), MediaItem::Kind::live).value(0).id, QStringLiteral("7"));
    }

    void liveRows_data()
    {
        QTest::addColumn<QByteArray>("row");
        QTest::addColumn<QString>("id");
        QTest::addColumn<qint64>("num");
        QTest::addColumn<bool>("archive");
        QTest::addColumn<qint64>("days");
        QTest::newRow("numbers") << QByteArray(R"({"stream_id":12,"num":3,"tv_archive":1,"tv_archive_duration":7})")
                                 << "12" << qint64(3) << true << qint64(7);
        QTest::newRow("texts") << QByteArray(R"({"stream_id":"12.0","num":"3","tv_archive":"1","tv_archive_duration":"7"})")
                               << "12.0" << qint64(3) << true << qint64(7);
        QTest::newRow("double id") << QByteArray(R"({"stream_id":12.0})") << "12" << qint64(0) << false << qint64(2);
        QTest::newRow("archive true") << QByteArray(R"({"tv_archive":true})") << "" << qint64(0) << true << qint64(2);
        QTest::newRow("archive 0") << QByteArray(R"({"tv_archive":0,"tv_archive_duration":""})") << "" << qint64(0) << false << qint64(2);
        QTest::newRow("archive false") << QByteArray(R"({"tv_archive":false,"tv_archive_duration":"seven"})") << "" << qint64(0) << false << qint64(2);
        QTest::newRow("archive empty") << QByteArray(R"({"tv_archive":"","tv_archive_duration":" 7"})") << "" << qint64(0) << false << qint64(2);
        QTest::newRow("num unreadable") << QByteArray(R"({"num":"n/a"})") << "" << qint64(0) << false << qint64(2);
    }

    void liveRows()
    {
        QFETCH(QByteArray, row);
        const auto items = rows("[" + row + "]", MediaItem::Kind::live);
        QCOMPARE(items.size(), 1);
        QTEST(items[0].id, "id");
        QTEST(items[0].num, "num");
        QTEST(items[0].tvArchive, "archive");
        QTEST(items[0].archiveDays, "days");
        QCOMPARE(items[0].containerExt, QStringLiteral("ts"));
        QCOMPARE(items[0].kind, MediaItem::Kind::live);
    }

    void movieRows()
    {
        const auto items = rows(R"([)"
            R"({"num":1,"name":"A","stream_id":"5","stream_icon":"http:\/\/i/a.png","rating_5based":"4.5","added":"1700000000",)"
             R"("category_id":"10","container_extension":"mkv","custom_sid":null,"direct_source":""},)"
            R"({"name":"B","stream_id":6,"rating_5based":4.5,"category_id":10},)"
            R"({"name":"C","rating_5based":"","container_extension":""}])",
                                MediaItem::Kind::movie);
        QCOMPARE(items.size(), 3);
        QCOMPARE(items[0].containerExt, QStringLiteral("mkv"));
        QCOMPARE(items[0].added(), QStringLiteral("1700000000"));
        QCOMPARE(items[0].icon(), QStringLiteral("http://i/a.png"));
        QCOMPARE(items[0].num, 0); // only live channels carry a number
        QCOMPARE(items[0].rating5, 4.5);
        QCOMPARE(items[1].rating5, 4.5);
        QCOMPARE(items[1].categoryId, QStringLiteral("10"));
        QCOMPARE(items[1].containerExt, QStringLiteral("mp4"));
        QCOMPARE(items[2].id, QString()); // still listed
        QCOMPARE(items[2].rating5, 0.0);
        QCOMPARE(items[2].containerExt, QStringLiteral("mp4"));
        QVERIFY(!items[0].seriesId());
    }

    void seriesRows()
    {
        const auto items = rows(R"([{"series_id":77,"name":"Show","cover":"c.jpg","last_modified":"1690000000",)"
            R"("rating_5based":3,"plot":"P","cast":"C","director":"D","genre":"G","releaseDate":"2020","youtube_trailer":"yt",)"
            R"("category_id":"4"}, {"name":"No id"}])",
                                MediaItem::Kind::series);
        QCOMPARE(items.size(), 2);
        const MediaItem &show = items[0];
        QCOMPARE(show.id, QStringLiteral("77"));
        QCOMPARE(show.seriesId(), std::optional(QStringLiteral("77")));
        QCOMPARE(show.icon(), QStringLiteral("c.jpg"));
        QCOMPARE(show.added(), QStringLiteral("1690000000"));
        QCOMPARE(show.containerExt, QStringLiteral("mp4"));
        QCOMPARE(QStringList({show.plot(), show.cast(), show.director(), show.genre(), show.releaseDate(), show.trailer()}),
                 QStringList({"P", "C", "D", "G", "2020", "yt"}));
        QCOMPARE(items[1].seriesId(), std::optional(QString())); // always present, possibly empty
    }

    void listShapes_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("count");
        QTest::newRow("array of objects") << QByteArray(R"([{"name":"a"},{"name":"b"}])") << 2;
        QTest::newRow("empty array") << QByteArray("[]") << 0;
        QTest::newRow("null element") << QByteArray(R"([{"name":"a"},null])") << 0;
        QTest::newRow("text element") << QByteArray(R"([{"name":"a"},"b"])") << 0;
        QTest::newRow("object") << QByteArray(R"({"user_info":{"auth":0}})") << 0;
    }

    void listShapes()
    {
        QFETCH(QByteArray, body);
        QTEST(int(rows(body, MediaItem::Kind::movie).size()), "count");
    }

    void categories()
    {
        const auto list = decodeJson<QList<Category>>(
            R"([{"category_id":"1","category_name":"News","parent_id":0},{"category_name":"No id"},{"category_id":7,"category_name":null}])",
            &MavuAPI::decode::categories);
        QCOMPARE(list, (QList<Category>{{"1", "News"}, {"", "No id"}, {"7", ""}}));
    }

    void vodInfo()
    {
        const auto info = decodeJson<VodInfo>(R"({"info":{"plot":"P","cast":"C","director":"D","age":"16","episode_run_time":95,)"
            R"("youtube_trailer":"T","releasedate":"2021-01-01","releaseDate":"ignored"},"movie_data":{}})",
                                              &MavuAPI::decode::vodInfo);
        QCOMPARE(QStringList({info.plot, info.cast, info.director, info.age, info.runtime, info.trailer, info.releaseDate}),
                 QStringList({"P", "C", "D", "16", "95", "T", "2021-01-01"}));
        for (const QByteArray &body : {QByteArray(R"({"info":[]})"), QByteArray("{}"), QByteArray("[]")}) {
            const auto empty = decodeJson<VodInfo>(body, &MavuAPI::decode::vodInfo);
            QVERIFY(empty.plot.isEmpty() && empty.releaseDate.isEmpty());
        }
    }

    void seriesInfoSeasonsAndEpisodes()
    {
        const auto info = decodeJson<MavuAPI::SeriesInfo>(R"({)"
            R"("info": {"youtube_trailer": "tr"},)"
            R"("seasons": [{"season_number": "03", "name": "", "cover": "s3.jpg"}, {"season_number": 1, "name": "First"}],)"
            R"("episodes": {)"
                R"("2": [{"id": "21", "title": "Two-One", "episode_num": 1, "season": 2}],)"
                R"("1": [{"id": "110", "title": "", "episode_num": "10", "info": {"movie_image": "e.jpg"}},)"
                      R"({"id": "102", "episode_num": 2, "container_extension": "mkv", "info": []}],)"
                R"("0": [{"id": "05", "episode_num": 5, "season": 0}],)"
                R"("S3": [{"id": "x", "episode_num": 1}],)"
                R"("4": "not an array")"
            R"(}})",
                                                          &MavuAPI::decode::seriesInfo);
        QCOMPARE(info.trailer, QStringLiteral("tr"));
        QStringList seasons;
        for (const Season &season : info.seasons)
            seasons.append(QString::number(season.id) + QLatin1Char('=') + season.name);
        // Listed seasons keep their names; keys 2, 0 and 4 add seasons; "S3" adds none.
        QCOMPARE(seasons, QStringList({"0=Season 0", "1=First", "2=Season 2", "3=Season 03", "4=Season 4"}));
        QCOMPARE(info.seasons[3].cover, QStringLiteral("s3.jpg"));

        QStringList episodes;
        for (const Episode &episode : info.episodes)
            episodes.append(QStringLiteral("%1:%2:%3").arg(episode.season).arg(episode.episodeNum).arg(episode.id));
        QCOMPARE(episodes, QStringList({"0:1:x", "0:5:05", "1:2:102", "1:10:110", "2:1:21"}));
        QCOMPARE(info.episodes[3].image, QStringLiteral("e.jpg"));
        QCOMPARE(info.episodes[2].containerExt, QStringLiteral("mkv"));
        QCOMPARE(info.episodes[3].containerExt, QStringLiteral("mp4"));
        QCOMPARE(info.episodes[2].image, QString());
    }

    // Every key adds its season once, in time that grows with the number of keys, not its square:
    // ten times the keys may take about ten times as long, never a hundred (a ratio, so a loaded
    // machine or a sanitizer build does not fail it).
    void seriesInfoWithManyKeys()
    {
        const auto decodeKeys = [](int keys, qint64 &elapsed) {
            QByteArray body = R"({"seasons":[{"season_number":7,"name":"Listed"}],"episodes":{)";
            for (int i = keys; i >= 1; --i)
                body += '"' + QByteArray::number(i) + (i > 1 ? R"(":[],)" : R"(":[{"id":"e"}]}})");
            QElapsedTimer clock;
            clock.start();
            auto info = decodeJson<MavuAPI::SeriesInfo>(body, &MavuAPI::decode::seriesInfo);
            elapsed = clock.nsecsElapsed();
            return info;
        };
        constexpr int keys = 100000;
        qint64 small = 0, large = 0;
        decodeKeys(keys / 10, small);
        const auto info = decodeKeys(keys, large);
        QCOMPARE(info.seasons.size(), keys);
        QCOMPARE(info.seasons.first().id, 1);
        QCOMPARE(info.seasons.last().id, keys);
        QCOMPARE(info.seasons[6].name, QStringLiteral("Listed"));
        QCOMPARE(info.episodes.size(), 1);
        QVERIFY2(large < 35 * small + 20'000'000,
                 qPrintable(QStringLiteral("%1 ms for %2 keys, %3 ms for %4").arg(large / 1e6).arg(keys).arg(small / 1e6).arg(keys / 10)));
    }

    void seriesInfoShapes()
    {
        const auto noSeasons = decodeJson<MavuAPI::SeriesInfo>(
            R"({"episodes":{"2":[{"id":"a","episode_num":1}],"1":[{"id":"b","episode_num":1}]}})", &MavuAPI::decode::seriesInfo);
        QCOMPARE(noSeasons.seasons, (QList<Season>{{1, "Season 1", ""}, {2, "Season 2", ""}}));
        QCOMPARE(noSeasons.trailer, QString());

        const auto episodesArray = decodeJson<MavuAPI::SeriesInfo>(
            R"({"seasons":[{"season_number":1},{"season_number":1}],"episodes":[[{"id":"a"}]]})", &MavuAPI::decode::seriesInfo);
        QCOMPARE(episodesArray.seasons.size(), 2); // listed twice, kept twice
        QVERIFY(episodesArray.episodes.isEmpty());

        const auto notObject = decodeJson<MavuAPI::SeriesInfo>("[1]", &MavuAPI::decode::seriesInfo);
        QVERIFY(notObject.seasons.isEmpty() && notObject.episodes.isEmpty());
    }

    void expiry_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<qint64>("expected"); // -1: absent
        QTest::newRow("ten digits") << QByteArray(R"({"user_info":{"exp_date":"1767225600"}})") << qint64(1767225600);
        QTest::newRow("number") << QByteArray(R"({"user_info":{"exp_date":1767225600}})") << qint64(1767225600);
        QTest::newRow("null") << QByteArray(R"({"user_info":{"exp_date":null}})") << qint64(0);
        QTest::newRow("text null") << QByteArray(R"({"user_info":{"exp_date":"null"}})") << qint64(0);
        QTest::newRow("missing") << QByteArray(R"({"user_info":{}})") << qint64(0);
        QTest::newRow("date text") << QByteArray(R"({"user_info":{"exp_date":"2026-01-01"}})") << qint64(-1);
        QTest::newRow("no user_info") << QByteArray(R"({"server_info":{}})") << qint64(-1);
        QTest::newRow("user_info not object") << QByteArray(R"({"user_info":[]})") << qint64(-1);
    }

    void expiry()
    {
        QFETCH(QByteArray, body);
        QTEST(decodeJson<std::optional<qint64>>(body, &MavuAPI::decode::playlistExpiry).value_or(-1), "expected");
    }

    void base64Unwrapping_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("encoded utf-8") << QString::fromLatin1(QStringLiteral("Nachrichten über").toUtf8().toBase64())
                                       << QStringLiteral("Nachrichten über");
        QTest::newRow("plain with blank") << "Evening News" << "Evening News";
        QTest::newRow("valid base64, not utf-8") << "News" << "News";
        QTest::newRow("line break inside") << "TmV3\ncw==" << "TmV3\ncw==";
        QTest::newRow("missing fill") << "TmV3cw" << "TmV3cw";
        QTest::newRow("fill in the middle") << "Tm=3cw==" << "Tm=3cw==";
        QTest::newRow("url-safe alphabet") << "TmV3-w==" << "TmV3-w==";
        QTest::newRow("empty") << "" << "";
    }

    void base64Unwrapping()
    {
        QFETCH(QString, text);
        QTEST(MavuAPI::decode::unwrapBase64(text), "shown");
    }

    void guideEntries()
    {
        const auto list = decodeJson<QList<EpgProgram>>(R"({"epg_listings":[)"
            R"({"id":"1","title":"TmV3cw==","description":"plain words","start":"2024-05-01 20:15:00","end":"",)"
             R"("stop":"2024-05-01 21:00:00","start_timestamp":"1714594500","stop_timestamp":1714597200,"has_archive":1},)"
            R"({"id":"1","start":"2024-05-01 21:00:00","end":"E","stop":"S","start_timestamp":1714597200},)"
            R"({}]})",
                                                       &MavuAPI::decode::programs);
        QCOMPARE(list.size(), 3);
        QCOMPARE(list[0].id, QStringLiteral("12024-05-01 20:15:00"));
        QCOMPARE(list[0].title, QStringLiteral("News"));
        QCOMPARE(list[0].desc, QStringLiteral("plain words"));
        QCOMPARE(list[0].end, QStringLiteral("2024-05-01 21:00:00"));
        QCOMPARE(list[0].startTs, 1714594500.0);
        QCOMPARE(list[1].startTs, list[0].stopTs); // text and number read alike
        QCOMPARE(list[1].end, QStringLiteral("E"));
        QVERIFY(list[0].id != list[1].id);
        QCOMPARE(list[2].id, QString());
        QCOMPARE(list[2].startTs, 0.0);
    }

    void guideShapes_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("empty listings") << QByteArray(R"({"epg_listings":[]})");
        QTest::newRow("no key") << QByteArray(R"({"listings":[{}]})");
        QTest::newRow("array answer") << QByteArray(R"([{"epg_listings":[{}]}])");
        QTest::newRow("listings object") << QByteArray(R"({"epg_listings":{"a":{}}})");
        QTest::newRow("null entry") << QByteArray(R"({"epg_listings":[{},null]})");
    }

    void guideShapes()
    {
        QFETCH(QByteArray, body);
        QVERIFY(decodeJson<QList<EpgProgram>>(body, &MavuAPI::decode::programs).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestJsonRead)
#include "tst_jsonread.moc"
