#include "api/m3ureader.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

Result<M3uCatalogue> read(const QByteArray &list, const QUrl &base = QUrl(u"http://lists.test/p/list.m3u"_s), qsizetype piece = 1 << 20)
{
    M3uReader reader(base);
    for (qsizetype at = 0; at < list.size(); at += piece)
        reader.feed(QByteArrayView(list).sliced(at, std::min(piece, list.size() - at)));
    return reader.finish();
}

QString sectionName(Section section)
{
    return section == Section::live ? u"live"_s : section == Section::movies ? u"movie"_s : u"series"_s;
}

// One line per kept entry, in stream order: "section|group|name|url".
QString summary(const M3uCatalogue &catalogue)
{
    QStringList lines(catalogue.size());
    for (Section section : allCases<Section>()) {
        for (const MediaItem &item : catalogue.items(section)) {
            QString group;
            for (const Category &category : catalogue.categories(section)) {
                if (category.id == item.categoryId)
                    group = category.name;
            }
            const auto stream = catalogue.stream(item.id);
            lines[qsizetype(catalogue.position(item.id).value_or(0))] = sectionName(section) + u'|' + group + u'|' + item.name + u'|' + (stream ? stream->url : u"?"_s);
        }
    }
    return lines.join(u'\n');
}

// Every section's groups and items and every stream equal.
bool same(const M3uCatalogue &a, const M3uCatalogue &b)
{
    if (a.size() != b.size() || a.guideURL() != b.guideURL() || a.skippedLines() != b.skippedLines())
        return false;
    for (Section section : allCases<Section>()) {
        if (a.categories(section) != b.categories(section) || a.items(section) != b.items(section))
            return false;
    }
    for (Section section : allCases<Section>()) {
        for (const MediaItem &item : a.items(section)) {
            if (a.stream(item.id) != b.stream(item.id))
                return false;
        }
    }
    return true;
}

// The id of the first item, whichever section it went to.
QString firstId(const M3uCatalogue &c)
{
    for (Section section : allCases<Section>()) {
        if (c.itemCount(section) > 0)
            return c.items(section).constFirst().id;
    }
    return {};
}

const QByteArray sample = "#EXTM3U url-tvg=\"http://lists.test/guide.xml\"\n"
                          "#EXTINF:-1 tvg-id=\"one.uk\" tvg-logo=\"http://img.test/1.png\" group-title=\"News\",One\n"
                          "#EXTVLCOPT:http-user-agent=Box/1.0\n"
                          "http://s.test/live/1.ts\n"
                          "\n"
                          "#EXTINF:0 group-title=\"Films, Old\" tvg-name=\"Two\",Two, The Film\r\n"
                          "http://s.test/movie/u/p/2.mkv\r\n"
                          "# a comment\n"
                          "#EXTINF:-1 catchup=\"default\" catchup-days=\"5\" group-title=\"News\",Three\n"
                          "#EXTGRP:ignored\n"
                          "rel/3.m3u8\n"
                          "#EXTINF:-1,Ünïcödé Four\n"
                          "http://s.test/series/u/p/4.mp4";

} // namespace

class TestM3uReader : public QObject
{
    Q_OBJECT

private slots:
    void shapes_data()
    {
        QTest::addColumn<QByteArray>("list");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<qint64>("skipped");

        QTest::newRow("quoted attributes") << QByteArray("#EXTM3U\n#EXTINF:-1 tvg-id=\"a\" group-title=\"News\",BBC\nhttp://h/1.ts\n")
                                           << u"live|News|BBC|http://h/1.ts"_s << qint64(0);
        QTest::newRow("unquoted, any order") << QByteArray("#EXTM3U\n#EXTINF:-1 group-title=Sport tvg-id=x,Match\nhttp://h/1\n")
                                             << u"live|Sport|Match|http://h/1"_s << qint64(0);
        QTest::newRow("commas in quotes and title") << QByteArray("#EXTINF:-1 group-title=\"A, B\",Name, with comma\nhttp://h/1\n")
                                                    << u"live|A, B|Name, with comma|http://h/1"_s << qint64(0);
        QTest::newRow("unescaped quotes inside quotes")
            << QByteArray("#EXTINF:-1 group-title=\"The \"Best\" Of\" tvg-id=\"x\",T\nhttp://h/1\n")
            << u"live|The \"Best\" Of|T|http://h/1"_s << qint64(0);
        QTest::newRow("escaped quotes") << QByteArray("#EXTINF:-1 group-title=\"Say \\\"hi\\\"\",T\nhttp://h/1\n")
                                        << u"live|Say \"hi\"|T|http://h/1"_s << qint64(0);
        // A line with an escape anywhere unescapes every value of it; a backslash before
        // anything but a quote stays, and the next line's values are read plainly again.
        QTest::newRow("escape in the title only")
            << QByteArray("#EXTINF:-1 group-title=\"A\\B\",Say \\\"x\\\"\nhttp://h/1\n#EXTINF:-1 group-title=\"C\",\\\"y\nhttp://h/2\n"
                          "#EXTINF:-1 group-title=\"C\",Plain\nhttp://h/3\n")
            << u"live|A\\B|Say \"x\"|http://h/1\nlive|C|\"y|http://h/2\nlive|C|Plain|http://h/3"_s << qint64(0);
        QTest::newRow("a group per entry, then a run")
            << QByteArray("#EXTM3U\n#EXTINF:-1 group-title=\"A long group\",1\nhttp://h/1\n#EXTINF:-1 group-title=B,2\nhttp://h/2\r\n"
                          "#EXTINF:-1 group-title=\"A long group\",3\r\nhttp://h/3\n#EXTINF:-1 group-title=\"\",4\nhttp://h/4\n"
                          "#EXTINF:-1 group-title=B,5\nhttp://h/5\n#EXTINF:-1 group-title=B,6\nhttp://h/6\n")
            << u"live|A long group|1|http://h/1\nlive|B|2|http://h/2\nlive|A long group|3|http://h/3\n"
               u"live|Uncategorised|4|http://h/4\nlive|B|5|http://h/5\nlive|B|6|http://h/6"_s
            << qint64(0);
        QTest::newRow("unclosed quote") << QByteArray("#EXTINF:-1 group-title=\"Open,T\nhttp://h/1\n") << u"live|Open,T|1|http://h/1"_s
                                        << qint64(0);
        QTest::newRow("blank, comments, CRLF, BOM")
            << QByteArray("\xEF\xBB\xBF#EXTM3U\r\n\r\n# hello\r\n#EXTINF:-1,A\r\n#EXTFOO:bar\r\nhttp://h/a\r\n   \r\n")
            << u"live|Uncategorised|A|http://h/a"_s << qint64(0);
        QTest::newRow("invalid UTF-8") << QByteArray("#EXTINF:-1,Bad \xC3\x28 \xFF\nhttp://h/1\n")
                                       << u"live|Uncategorised|Bad \uFFFD( \uFFFD|http://h/1"_s << qint64(0);
        QTest::newRow("#EXTGRP when no group-title")
            << QByteArray("#EXTM3U\n#EXTGRP:Kids\n#EXTINF:-1,A\nhttp://h/a\n#EXTINF:-1 group-title=G,B\n#EXTGRP:Other\nhttp://h/b\n")
            << u"live|Kids|A|http://h/a\nlive|G|B|http://h/b"_s << qint64(0);
        QTest::newRow("names fall back") << QByteArray(
            "#EXTM3U\n#EXTINF:-1 tvg-name=\"TN\",\nhttp://h/1\n#EXTINF:-1,\nhttp://h/x/clip.ts?t=1\n")
                                         << u"live|Uncategorised|TN|http://h/1\nlive|Uncategorised|clip.ts|http://h/x/clip.ts?t=1"_s
                                         << qint64(0);
        QTest::newRow("bare addresses") << QByteArray("#EXTM3U\nhttp://h/1\nrtsp://cam/2\n")
                                        << u"live|Uncategorised|1|http://h/1\nlive|Uncategorised|2|rtsp://cam/2"_s << qint64(0);
        QTest::newRow("entry without address") << QByteArray("#EXTM3U\n#EXTINF:-1,Lost\n#EXTINF:-1,Kept\nhttp://h/k\n")
                                               << u"live|Uncategorised|Kept|http://h/k"_s << qint64(1);
        QTest::newRow("truncated in an entry") << QByteArray("#EXTM3U\n#EXTINF:-1,Kept\nhttp://h/k\n#EXTINF:-1 group-title=\"Ne")
                                               << u"live|Uncategorised|Kept|http://h/k"_s << qint64(1);
        QTest::newRow("last line without break")
            << QByteArray("#EXTM3U\n#EXTINF:-1,Kept\nhttp://h/k") << u"live|Uncategorised|Kept|http://h/k"_s << qint64(0);
        QTest::newRow("refused schemes") << QByteArray(
            "#EXTM3U\n#EXTINF:-1,F\nfile:///etc/passwd\n#EXTINF:-1,J\njavascript:alert(1)\n#EXTINF:-1,D\n"
            "data:text/plain,x\n#EXTINF:-1,C\nhttp://h/a\x01\n#EXTINF:-1,U\nUDP://@239.0.0.1:1234\n")
                                         << u"live|Uncategorised|U|UDP://@239.0.0.1:1234"_s << qint64(4);
        QTest::newRow("huge line") << QByteArray("#EXTM3U\n#EXTINF:-1,") + QByteArray(70000, 'x')
                + "\nhttp://h/a\n#EXTINF:-1,B\nhttp://h/b\n"
                                   << u"live|Uncategorised|a|http://h/a\nlive|Uncategorised|B|http://h/b"_s << qint64(1);
        // Two spellings that read as one name (invalid bytes become U+FFFD) are one group.
        QTest::newRow("group names with invalid bytes")
            << QByteArray("#EXTM3U\n#EXTINF:-1 group-title=\"A\xFF\",1\nhttp://h/1\n#EXTINF:-1 group-title=\"A\xFE\",2\nhttp://h/2\n")
            << u"live|A\uFFFD|1|http://h/1\nlive|A\uFFFD|2|http://h/2"_s << qint64(0);
    }

    void shapes()
    {
        QFETCH(QByteArray, list);
        QFETCH(QString, expected);
        QFETCH(qint64, skipped);
        for (qsizetype piece : {qsizetype(1 << 20), qsizetype(7)}) {
            const auto result = read(list, QUrl(u"http://lists.test/p/list.m3u"_s), piece);
            QVERIFY(result.ok());
            QCOMPARE(summary(*result), expected);
            QCOMPARE(result->skippedLines(), skipped);
            // Every item in exactly one group, and no two groups with one id.
            for (Section section : allCases<Section>()) {
                QSet<QString> ids;
                qsizetype inGroups = 0;
                for (const Category &category : result->categories(section)) {
                    QVERIFY2(!ids.contains(category.id), qPrintable(category.name));
                    ids.insert(category.id);
                    inGroups += result->items(section, category.id).size();
                }
                QCOMPARE(inGroups, result->itemCount(section));
            }
        }
    }

    void addresses_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("expected"); // empty: refused

        const QString remote = u"http://h.test/lists/a.m3u?x=1"_s;
        const QString local = u"file:///home/u/tv/list.m3u"_s;
        QTest::newRow("relative to remote") << remote << QByteArray("ch/1.ts") << u"http://h.test/lists/ch/1.ts"_s;
        QTest::newRow("rooted to remote") << remote << QByteArray("/live/1.ts") << u"http://h.test/live/1.ts"_s;
        QTest::newRow("up to remote") << remote << QByteArray("../1.ts") << u"http://h.test/1.ts"_s;
        QTest::newRow("scheme-relative https") << u"https://h.test/a.m3u"_s << QByteArray("//cdn.test/1.ts") << u"https://cdn.test/1.ts"_s;
        QTest::newRow("relative to local") << local << QByteArray("clips/a b.mkv") << u"file:///home/u/tv/clips/a%20b.mkv"_s;
        QTest::newRow("absolute path in local") << local << QByteArray("/srv/x.mp4") << u"file:///srv/x.mp4"_s;
        QTest::newRow("file: in local") << local << QByteArray("file:///srv/x.mp4") << u"file:///srv/x.mp4"_s;
        QTest::newRow("file: in remote") << remote << QByteArray("file:///etc/passwd") << QString();
        QTest::newRow("relative without base") << QString() << QByteArray("ch/1.ts") << QString();
        QTest::newRow("rtmp kept") << remote << QByteArray("rtmp://r.test/app/key") << u"rtmp://r.test/app/key"_s;
        QTest::newRow("rtp kept") << remote << QByteArray("rtp://@239.1.1.1:5000") << u"rtp://@239.1.1.1:5000"_s;
        QTest::newRow("ftp refused") << remote << QByteArray("ftp://h.test/1.ts") << QString();
        QTest::newRow("smb refused") << local << QByteArray("smb://nas/x.mkv") << QString();
    }

    void addresses()
    {
        QFETCH(QString, base);
        QFETCH(QByteArray, line);
        QFETCH(QString, expected);
        const auto result = read("#EXTM3U\n#EXTINF:-1,E\n" + line + '\n', QUrl(base));
        QVERIFY(result.ok());
        if (expected.isEmpty()) {
            QVERIFY(result->size() == 0);
            QCOMPARE(result->skippedLines(), 1);
        } else {
            QCOMPARE(result->size(), 1);
            QCOMPARE(result->stream(firstId(*result))->url, expected);
        }
    }

    void sections_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<Section>("section");
        QTest::addColumn<QString>("ext");

        QTest::newRow("ts live") << u"http://h/live/u/p/1.ts"_s << Section::live << u"ts"_s;
        QTest::newRow("hls live") << u"http://h/hls/index.m3u8?token=a.mp4"_s << Section::live << u"m3u8"_s;
        QTest::newRow("no path") << u"http://h.mkv"_s << Section::live << QString();
        QTest::newRow("mp4") << u"http://h/v/film.mp4"_s << Section::movies << u"mp4"_s;
        QTest::newRow("MKV upper case") << u"http://h/v/FILM.MKV"_s << Section::movies << u"mkv"_s;
        QTest::newRow("avi with query") << u"http://h/v/f.avi?x=1#y"_s << Section::movies << u"avi"_s;
        QTest::newRow("movie segment") << u"http://h/movie/u/p/7.ts"_s << Section::movies << u"ts"_s;
        QTest::newRow("series segment") << u"http://h/series/u/p/9.mkv"_s << Section::series << u"mkv"_s;
        QTest::newRow("movies is not movie") << u"http://h/movies/1"_s << Section::live << QString();
        QTest::newRow("dot in folder") << u"http://h/a.mkv/stream"_s << Section::live << QString();
        QTest::newRow("host name movie") << u"http://movie/x"_s << Section::live << QString();
        QTest::newRow("series after a movie segment") << u"http://h/movie/series/1"_s << Section::series << QString();
        QTest::newRow("movie segment deep and last") << u"http://h:8080/a/b/c/movie/"_s << Section::movies << QString();
        QTest::newRow("series segment last") << u"http://h/series/"_s << Section::series << QString();
        QTest::newRow("segment in the query only") << u"http://h/live/1.ts?x=/series/"_s << Section::live << u"ts"_s;
        QTest::newRow("a colon before the scheme's end") << u"rtsp:x://h/movie/1"_s << Section::movies << QString();
        QTest::newRow("port and no path") << u"http://h:8080"_s << Section::live << QString();
    }

    void sections()
    {
        QFETCH(QString, url);
        QFETCH(Section, section);
        QFETCH(QString, ext);
        QCOMPARE(M3uReader::sectionOf(url), section);
        const auto result = read("#EXTINF:-1 group-title=G,E\n" + url.toUtf8() + '\n');
        QVERIFY(result.ok());
        const QList<MediaItem> items = result->items(section);
        QCOMPARE(items.size(), 1);
        QCOMPARE(items[0].containerExt, ext);
        const auto expectedKind = section == Section::live ? MediaItem::Kind::live
            : section == Section::movies                   ? MediaItem::Kind::movie
                                                           : MediaItem::Kind::series;
        QCOMPARE(items[0].kind, expectedKind);
        QCOMPARE(result->categories(section).size(), 1);
        QCOMPARE(items[0].categoryId, result->categories(section)[0].id);
    }

    void options_data()
    {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<QString>("userAgent");
        QTest::addColumn<QString>("referrer");

        QTest::newRow("both") << QByteArray("#EXTVLCOPT:http-user-agent=Box/2 (X)\n#EXTVLCOPT:http-referrer=http://r.test/\n")
                              << u"Box/2 (X)"_s << u"http://r.test/"_s;
        QTest::newRow("referer spelling") << QByteArray("#EXTVLCOPT:http-referer=http://r.test/\n") << QString() << u"http://r.test/"_s;
        QTest::newRow("outside the list") << QByteArray(
            "#EXTVLCOPT:input-slave=http://evil/\n#EXTVLCOPT:sout=#file{dst=/tmp/x}\n#EXTVLCOPT:http-proxy=h:1\n"
            "#EXTVLCOPT:network-caching=1\n")
                                          << QString() << QString();
        QTest::newRow("control character") << QByteArray("#EXTVLCOPT:http-user-agent=A\x1b[2J\n#EXTVLCOPT:http-referrer=x\ry\n")
                                           << QString() << QString();
        QTest::newRow("no value") << QByteArray("#EXTVLCOPT:http-user-agent=\n#EXTVLCOPT:http-user-agent\n") << QString() << QString();
    }

    void options()
    {
        QFETCH(QByteArray, lines);
        QFETCH(QString, userAgent);
        QFETCH(QString, referrer);
        // Players accept the options before or after #EXTINF; both belong to the next address only.
        const QByteArray after = "#EXTM3U\n#EXTINF:-1,A\n" + lines + "http://h/a\n#EXTINF:-1,B\nhttp://h/b\n";
        const QByteArray before = "#EXTM3U\n" + lines + "#EXTINF:-1,A\nhttp://h/a\n#EXTINF:-1,B\nhttp://h/b\n";
        for (const QByteArray &list : {after, before}) {
            const auto result = read(list);
            QVERIFY(result.ok());
            QCOMPARE(result->size(), 2);
            const QList<MediaItem> live = result->items(Section::live);
            QCOMPARE(result->stream(live[0].id)->userAgent, userAgent);
            QCOMPARE(result->stream(live[0].id)->referrer, referrer);
            QCOMPARE(*result->stream(live[1].id), (M3uStream{u"http://h/b"_s}));
        }
    }

    void entryDetails()
    {
        const auto result = read(sample);
        QVERIFY(result.ok());
        const M3uCatalogue &c = *result;
        QCOMPARE(c.guideURL(), u"http://lists.test/guide.xml"_s);
        QCOMPARE(summary(c),
                 u"live|News|One|http://s.test/live/1.ts\n"
                 "movie|Films, Old|Two, The Film|http://s.test/movie/u/p/2.mkv\n"
                 "live|News|Three|http://lists.test/p/rel/3.m3u8\n"
                 "series|Uncategorised|Ünïcödé Four|http://s.test/series/u/p/4.mp4"_s);
        const QList<MediaItem> live = c.items(Section::live);
        QCOMPARE(c.categories(Section::live).size(), 1);
        QCOMPARE(live[0].epgChannelId, u"one.uk"_s);
        QCOMPARE(live[0].icon(), u"http://img.test/1.png"_s);
        QCOMPARE(live[0].num, 1);
        QCOMPARE(live[1].num, 2);
        QVERIFY(!live[0].tvArchive);
        QVERIFY(live[1].tvArchive);
        QCOMPARE(live[1].archiveDays, 5);
        QCOMPARE(c.stream(live[0].id)->userAgent, u"Box/1.0"_s);
        QCOMPARE(*c.stream(live[1].id), (M3uStream{u"http://lists.test/p/rel/3.m3u8"_s, {}, {}, u"default"_s, {}, 5}));
        const QStringList bad{u"0"_s, u"2"_s, u"-1"_s, live[0].id.toUpper(), live[0].id.left(15), QString()};
        for (const QString &id : bad)
            QVERIFY2(!c.stream(id), qPrintable(id));

        // Many at once, as the live list's archives are checked: the same streams, the bad ids left out.
        QStringList ids = bad;
        for (Section section : allCases<Section>()) {
            for (const MediaItem &item : c.items(section))
                ids.append(item.id);
        }
        const QHash<QString, M3uStream> streams = c.streams(ids + ids);
        QCOMPARE(streams.size(), c.size());
        for (auto it = streams.cbegin(); it != streams.cend(); ++it)
            QCOMPARE(it.value(), *c.stream(it.key()));
    }

    // Favourites and kept positions hold item ids: an entry added above, or the list read in another
    // order, must not make an id name another channel.
    void idsOutliveChangesAbove()
    {
        const auto before = read(sample);
        const auto after = read("#EXTM3U\n#EXTINF:-1 group-title=\"New\",Added\nhttp://s.test/live/9.ts\n"
                                + sample.sliced(sample.indexOf('\n') + 1));
        QVERIFY(before.ok() && after.ok());
        QCOMPARE(after->size(), before->size() + 1);
        for (Section section : allCases<Section>()) {
            for (const MediaItem &item : before->items(section)) {
                QVERIFY2(after->stream(item.id), qPrintable(item.name));
                QCOMPARE(after->stream(item.id)->url, before->stream(item.id)->url);
            }
        }
        // The same title at two addresses is two entries.
        const auto twice = read("#EXTM3U\n#EXTINF:-1,Same\nhttp://h/1.ts\n#EXTINF:-1,Same\nhttp://h/2.ts\n");
        QVERIFY(twice.ok());
        const QList<MediaItem> live = twice->items(Section::live);
        QCOMPARE(live.size(), 2);
        QVERIFY(live[0].id != live[1].id);
        QCOMPARE(twice->stream(live[1].id)->url, u"http://h/2.ts"_s);
    }

    void catchupAndNumbers_data()
    {
        QTest::addColumn<QByteArray>("attributes");
        QTest::addColumn<bool>("archive");
        QTest::addColumn<qint64>("days");
        QTest::addColumn<QString>("catchup");
        QTest::addColumn<qint64>("num");
        QTest::addColumn<QString>("icon");

        const qint64 itemDefault = MediaItem{}.archiveDays;
        QTest::newRow("none") << QByteArray("tvg-chno=\"12\"") << false << itemDefault << QString() << qint64(12) << QString();
        QTest::newRow("catchup without days") << QByteArray("catchup=\"append\" catchup-source=\"?utc={utc}\"") << true << itemDefault
                                              << u"append"_s << qint64(1) << QString();
        QTest::newRow("tvg-rec") << QByteArray("tvg-rec=\"3\"") << true << qint64(3) << u"default"_s << qint64(1) << QString();
        QTest::newRow("timeshift") << QByteArray("timeshift=2 tvg-chno=x") << true << qint64(2) << u"default"_s << qint64(1) << QString();
        QTest::newRow("https logo") << QByteArray("tvg-logo=\"https://i/x.png\"") << false << itemDefault << QString() << qint64(1)
                                    << u"https://i/x.png"_s;
        QTest::newRow("file logo refused") << QByteArray("tvg-logo=\"file:///etc/x.png\"") << false << itemDefault << QString() << qint64(1)
                                           << QString();
        QTest::newRow("relative logo refused") << QByteArray("tvg-logo=logo.png") << false << itemDefault << QString() << qint64(1)
                                               << QString();
    }

    void catchupAndNumbers()
    {
        QFETCH(QByteArray, attributes);
        QFETCH(bool, archive);
        QFETCH(qint64, days);
        QFETCH(QString, catchup);
        QFETCH(qint64, num);
        QFETCH(QString, icon);
        const auto result = read("#EXTM3U\n#EXTINF:-1 " + attributes + ",C\nhttp://h/c\n");
        QVERIFY(result.ok());
        const MediaItem item = result->items(Section::live).at(0);
        QCOMPARE(item.tvArchive, archive);
        QCOMPARE(item.archiveDays, days);
        QCOMPARE(result->stream(item.id)->catchup, catchup);
        QCOMPARE(item.num, num);
        QCOMPARE(item.icon(), icon);
    }

    void guide_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<QString>("guide");

        QTest::newRow("url-tvg") << QByteArray("#EXTM3U url-tvg=\"http://g/a.xml\"") << u"http://g/a.xml"_s;
        QTest::newRow("x-tvg-url unquoted") << QByteArray("#EXTM3U x-tvg-url=https://g/a.xml.gz") << u"https://g/a.xml.gz"_s;
        QTest::newRow("several") << QByteArray("#EXTM3U url-tvg=\"http://g/a.xml, http://g/b.xml\"") << u"http://g/a.xml"_s;
        QTest::newRow("not http") << QByteArray("#EXTM3U url-tvg=\"file:///etc/a.xml\"") << QString();
        QTest::newRow("second header ignored") << QByteArray("#EXTM3U\n#EXTM3U url-tvg=\"http://g/b.xml\"") << u"http://g/b.xml"_s;
        QTest::newRow("first wins") << QByteArray("#EXTM3U url-tvg=http://g/a\n#EXTM3U url-tvg=http://g/b") << u"http://g/a"_s;
    }

    void guide()
    {
        QFETCH(QByteArray, header);
        QFETCH(QString, guide);
        const auto result = read(header + "\n#EXTINF:-1,A\nhttp://h/a\n");
        QVERIFY(result.ok());
        QCOMPARE(result->guideURL(), guide);
    }

    void notAList_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("ok");

        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("web page") << QByteArray("<html>\n<body>\nrel/1.ts\n</body></html>\n") << false;
        QTest::newRow("JSON") << QByteArray("{\"user_info\":{\"auth\":0}}") << false;
        QTest::newRow("header only") << QByteArray("#EXTM3U\n") << true;
        QTest::newRow("bare address") << QByteArray("http://h/a.ts") << true;
    }

    void notAList()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, ok);
        const auto result = read(body);
        QCOMPARE(result.ok(), ok);
        if (!ok)
            QCOMPARE(result.failure().kind, Failure::Kind::notUnderstood);
    }

    // Every split of the list into two pieces, and byte by byte, reads as one piece does.
    void chunkSplits()
    {
        const auto whole = read(sample);
        QVERIFY(whole.ok());
        for (qsizetype cut = 0; cut <= sample.size(); ++cut) {
            M3uReader reader(QUrl(u"http://lists.test/p/list.m3u"_s));
            reader.feed(QByteArrayView(sample).first(cut));
            reader.feed(QByteArrayView(sample).sliced(cut));
            const auto split = reader.finish();
            QVERIFY(split.ok());
            QVERIFY2(same(*split, *whole), qPrintable(u"cut at %1"_s.arg(cut)));
        }
        const auto bytewise = read(sample, QUrl(u"http://lists.test/p/list.m3u"_s), 1);
        QVERIFY(bytewise.ok());
        QVERIFY(same(*bytewise, *whole));
    }

    // A group keeps its id across reads and lists; each section lists its own groups in first-seen order.
    void groups()
    {
        const QByteArray list = "#EXTM3U\n#EXTINF:-1 group-title=B,1\nhttp://h/1\n#EXTINF:-1 group-title=A,2\nhttp://h/2\n"
                                "#EXTINF:-1 group-title=B,3\nhttp://h/3\n#EXTINF:-1 group-title=A,4\nhttp://h/movie/4\n";
        const auto result = read(list);
        QVERIFY(result.ok());
        const QList<Category> &live = result->categories(Section::live);
        QCOMPARE(live.size(), 2);
        QCOMPARE(live[0].name, u"B"_s);
        QCOMPARE(live[1].name, u"A"_s);
        QCOMPARE(live[0].id, M3uReader::groupId(u"B"_s));
        QVERIFY(live[0].id != live[1].id);
        QCOMPARE(result->categories(Section::movies), QList<Category>{live[1]});
        QCOMPARE(result->items(Section::live)[1].categoryId, live[1].id);
        QCOMPARE(result->items(Section::live, live[0].id).size(), 2);
        QCOMPARE(result->items(Section::live, live[1].id).at(0).name, u"2"_s);
        QVERIFY(result->items(Section::live, u"nope"_s).isEmpty());
        QCOMPARE(M3uReader::groupId(u"B"_s), u"ae4f281df5a5"_s); // a saved id must never change meaning
    }

    // Texts are kept in blocks of a megabyte: entries dropped for want of an address give their
    // room back, also where that room began in an earlier block, and no kept text is mixed up.
    void manyEntriesAcrossTextBlocks()
    {
        QByteArray list = "#EXTM3U\n";
        const QByteArray padding(300, 'n');
        for (int i = 0; i < 12000; ++i) {
            list += "#EXTINF:-1 tvg-id=\"id" + QByteArray::number(i) + "\" group-title=\"G" + QByteArray::number(i % 7) + "\","
                    + padding + QByteArray::number(i) + '\n';
            if (i % 3 != 2)
                list += "http://h/live/" + QByteArray::number(i) + ".ts\n";
        }
        const auto result = read(list, QUrl(u"http://h/l.m3u"_s), 4093);
        QVERIFY(result.ok());
        QCOMPARE(result->size(), 8000);
        QCOMPARE(result->skippedLines(), 4000);
        const QList<MediaItem> items = result->items(Section::live);
        QCOMPARE(items.size(), 8000);
        for (qsizetype k = 0; k < items.size(); ++k) {
            const int i = int(k / 2 * 3 + k % 2);
            const QString n = QString::number(i);
            QCOMPARE(items[k].name, QString::fromLatin1(padding) + n);
            QCOMPARE(items[k].epgChannelId, u"id"_s + n);
            QCOMPARE(result->stream(items[k].id)->url, u"http://h/live/"_s + n + u".ts"_s);
            QCOMPARE(items[k].categoryId, M3uReader::groupId(u"G"_s + QString::number(i % 7)));
        }
    }

    // A line longer than the bound that arrives in many pieces holds no more than the bound.
    void hugeLineAcrossPieces()
    {
        M3uReader reader(QUrl(u"http://h/l.m3u"_s));
        reader.feed("#EXTM3U\n#EXTINF:-1,");
        const QByteArray piece(4096, 'y');
        for (int i = 0; i < 64; ++i)
            reader.feed(piece);
        reader.feed("\nhttp://h/a\n#EXTINF:-1,B\nhttp://h/b\n");
        const auto result = reader.finish();
        QVERIFY(result.ok());
        QCOMPARE(summary(*result), u"live|Uncategorised|a|http://h/a\nlive|Uncategorised|B|http://h/b"_s);
        QCOMPARE(result->skippedLines(), 1);
    }

    // A list read by two readers, the second from a fresh line on, and joined, reads as one
    // reader does: for every place a cut can be asked for (inside a quoted value, between CR
    // and LF, in the BOM), wherever the fresh line after it falls.
    void twoReadersReadAsOne_data()
    {
        QTest::addColumn<QByteArray>("list");
        QTest::addColumn<int>("piece");

        QByteArray windows = "\xEF\xBB\xBF" + sample + "\n";
        windows.replace("\n", "\r\n");
        // Groups, containers and option sets first met after the cut, two group names that read
        // alike (invalid UTF-8), channel numbers given or not, catch-up in both halves.
        QByteArray mixed = "#EXTM3U\n";
        for (int i = 0; i < 12; ++i) {
            const QByteArray n = QByteArray::number(i);
            mixed += "#EXTINF:-1 group-title=\"G" + QByteArray::number(i % 3 + i / 6 * 3) + "\""
                + (i % 4 == 1 ? " tvg-chno=\"" + QByteArray::number(100 + i) + "\"" : QByteArray())
                + (i % 5 == 2 ? " catchup=\"append\" catchup-source=\"?t={utc}\"" : "") + ",E" + n + "\n";
            if (i % 3 == 0)
                mixed += "#EXTVLCOPT:http-user-agent=Box/" + QByteArray::number(i / 6) + "\n";
            mixed += i % 4 == 3 ? "http://h/movie/" + n + (i > 6 ? ".avi\n" : ".mkv\n") : "http://h/live/" + n + "\n";
        }
        mixed += "#EXTINF:-1 group-title=\"Caf\xE9\",A\nhttp://h/a\n#EXTINF:-1 group-title=\"Caf\xFF\",B\nhttp://h/b\n";
        const QByteArray huge = "#EXTM3U\n#EXTINF:-1,A\nhttp://h/" + QByteArray(70000, 'a') + "\nhttp://h/b\n#EXTINF:-1,C\n"
                                "http://h/c\n#EXTINF:-1,D\nhttp://h/d\n";
        QTest::newRow("tags, comments, blank lines, relative addresses") << sample << 5;
        QTest::newRow("BOM and CRLF") << windows << 3;
        QTest::newRow("groups, options and numbers on both sides") << mixed << 7;
        QTest::newRow("an address line over the bound is no cut") << huge << 4096;
        QTest::newRow("a last entry cut short") << mixed + "#EXTINF:-1,Cut\nhttp://h/cu" << 13;
        QTest::newRow("a last entry without its address") << mixed + "#EXTINF:-1,Alone\n" << 11;
    }

    void twoReadersReadAsOne()
    {
        QFETCH(QByteArray, list);
        QFETCH(int, piece);
        const QUrl base(u"http://lists.test/p/list.m3u"_s);
        const auto whole = read(list, base, piece);
        QVERIFY(whole.ok());
        const auto feed = [piece](M3uReader &reader, QByteArrayView bytes) {
            for (qsizetype at = 0; at < bytes.size(); at += piece)
                reader.feed(bytes.sliced(at, std::min<qsizetype>(piece, bytes.size() - at)));
        };
        int cuts = 0;
        qsizetype last = -1;
        for (qsizetype from = 0; from < list.size(); ++from) {
            const qsizetype cut = M3uReader::freshLineAfter(list, from);
            if (cut < 0 || cut == last)
                continue;
            last = cut;
            QVERIFY(cut > from);
            QCOMPARE(list[cut - 1], '\n');
            M3uReader head(base);
            feed(head, QByteArrayView(list).first(cut));
            const std::unique_ptr<M3uReader> tail = head.continuation();
            QVERIFY(tail);
            feed(*tail, QByteArrayView(list).sliced(cut));
            QVERIFY(head.join(*tail));
            const auto joined = head.finish();
            QVERIFY(joined.ok());
            QVERIFY2(same(*joined, *whole), qPrintable(u"cut at %1"_s.arg(cut)));
            ++cuts;
        }
        QVERIFY(cuts > 0);
    }

    // The tail's entries are copied into the head's blocks a run at a time: a head whose last
    // block is the growing first one or a later one part full, and a tail of more than a block.
    void joinAcrossEntryBlocks()
    {
        QByteArray list = "#EXTM3U\n";
        for (int i = 0; i < 80000; ++i) {
            const QByteArray n = QByteArray::number(i);
            list += "#EXTINF:-1 group-title=\"G" + QByteArray::number(i / 1000 % 5) + "\""
                + (i % 7 == 0 ? " catchup=\"shift\" catchup-days=\"3\"" : "") + (i % 11 == 0 ? " tvg-chno=\"" + n + "\"" : "")
                + ",E" + n + "\n" + (i % 3 == 0 ? "http://h/movie/" + n + ".mkv\n" : "http://h/live/" + n + ".ts\n");
        }
        const QUrl base(u"http://h/l.m3u"_s);
        const auto whole = read(list, base);
        QVERIFY(whole.ok());
        for (const qsizetype from : {list.size() / 3, list.size() * 2 / 3}) {
            const qsizetype cut = M3uReader::freshLineAfter(list, from);
            QVERIFY(cut > 0);
            M3uReader head(base);
            head.feed(QByteArrayView(list).first(cut));
            const std::unique_ptr<M3uReader> tail = head.continuation();
            QVERIFY(tail);
            tail->feed(QByteArrayView(list).sliced(cut));
            QVERIFY(head.join(*tail));
            const auto joined = head.finish();
            QVERIFY(joined.ok());
            QCOMPARE(joined->size(), whole->size());
            QList<QString> ids;
            for (Section section : allCases<Section>()) {
                QCOMPARE(joined->categories(section), whole->categories(section));
                const QList<MediaItem> items = joined->items(section);
                QCOMPARE(items, whole->items(section));
                for (const Category &category : joined->categories(section))
                    QCOMPARE(joined->items(section, category.id), whole->items(section, category.id));
                for (const MediaItem &item : items)
                    ids.append(item.id);
            }
            QCOMPARE(joined->streams(ids), whole->streams(ids));
        }
    }

    // Where no cut can be made: no address line ends after the place asked, or the reader has
    // not read the #EXTM3U line (a relative address would read differently after it).
    void noCut()
    {
        QCOMPARE(M3uReader::freshLineAfter("#EXTM3U\n#EXTINF:-1,A\nhttp://h/a", 0), -1);
        QCOMPARE(M3uReader::freshLineAfter("#EXTM3U\nhttp://h/a\n# note\n\n", 9), -1);
        QCOMPARE(M3uReader::freshLineAfter("#EXTM3U\nhttp://h/a\n  \r\n", 0), qsizetype(19));
        QCOMPARE(M3uReader::freshLineAfter("http://h/a\nhttp://h/b\n", 0), qsizetype(22));
        M3uReader headless(QUrl(u"http://h/l.m3u"_s));
        headless.feed("#EXTINF:-1,A\nhttp://h/a\n");
        QVERIFY(!headless.continuation());
        M3uReader started(QUrl(u"http://h/l.m3u"_s));
        started.feed("#EXTM3U");
        QVERIFY(!started.continuation());
        started.feed("\n");
        QVERIFY(started.continuation());
    }
};

QTEST_GUILESS_MAIN(TestM3uReader)
#include "tst_m3ureader.moc"
