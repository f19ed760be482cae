// The generated catalogue and guide, read back through the player's own decoders: the same
// seed gives the same answers, the answers hold every variety a player must cope with, and
// the per-category answers, episode ids and guide windows agree with each other.
#include "api/decoders.h"
#include "api/jsondocument.h"
#include "catalogue.h"
#include "guide.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QtTest>

using Lab::Catalogue;
using Lab::Kind;

namespace {

const QString base = QStringLiteral("http://lab.test:8080");
// Wednesday 1 May 2024, 20:25 UTC: a fixed "now" for the guide.
constexpr qint64 fixedNow = 1714594500 + 600;

QByteArray joined(const QList<QByteArray> &pieces)
{
    QByteArray all;
    for (const QByteArray &piece : pieces)
        all += piece;
    return all;
}

template<typename Decode>
auto decodeWith(const QByteArray &json, Decode decode)
{
    JsonDocument document;
    const bool parsed = document.parse(json);
    if (!parsed)
        qWarning("not JSON: %s", json.left(200).constData());
    return decode(JsonRead::Field(document.root()));
}

QList<MediaItem> items(const Catalogue &catalogue, Kind kind, std::optional<QString> category = std::nullopt)
{
    const MediaItem::Kind itemKind = kind == Kind::live ? MediaItem::Kind::live
                                     : kind == Kind::movie ? MediaItem::Kind::movie
                                                           : MediaItem::Kind::series;
    return decodeWith(joined(catalogue.streamsAnswer(kind, category)),
                      [itemKind](const JsonRead::Field &root) { return MavuAPI::decode::streams(root, itemKind); });
}

QList<Category> categories(const Catalogue &catalogue, Kind kind)
{
    return decodeWith(catalogue.categoriesAnswer(kind), &MavuAPI::decode::categories);
}

MavuAPI::SeriesInfo seriesInfo(const Catalogue &catalogue, qint64 id)
{
    return decodeWith(catalogue.seriesInfoAnswer(QString::number(id)), &MavuAPI::decode::seriesInfo);
}

QList<EpgProgram> programs(const QByteArray &json)
{
    return decodeWith(json, &MavuAPI::decode::programs);
}

const Lab::LiveChannel *channelWhere(const Catalogue &catalogue, const std::function<bool(const Lab::LiveChannel &)> &test)
{
    for (const Lab::LiveChannel &channel : catalogue.live()) {
        if (test(channel))
            return &channel;
    }
    return nullptr;
}

bool isAdultName(const QString &name)
{
    const QString lower = name.toLower();
    return lower.contains(QLatin1String("xxx")) || lower.contains(QLatin1String("adult")) || lower.contains(QLatin1String("porn"));
}

} // namespace

class TestLabCatalogue : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sameSeedSameAnswers_data()
    {
        QTest::addColumn<quint64>("seed");
        QTest::newRow("1") << quint64(1);
        QTest::newRow("7") << quint64(7);
        QTest::newRow("large number") << quint64(987654321987ULL);
    }

    void sameSeedSameAnswers()
    {
        QFETCH(quint64, seed);
        const Catalogue first(seed, Lab::Preset::demo, base);
        const Catalogue again(seed, Lab::Preset::demo, base);
        const Catalogue other(seed + 1, Lab::Preset::demo, base);
        for (const Kind kind : {Kind::live, Kind::movie, Kind::series}) {
            QCOMPARE(first.categoriesAnswer(kind), again.categoriesAnswer(kind));
            QCOMPARE(joined(first.streamsAnswer(kind, std::nullopt)), joined(again.streamsAnswer(kind, std::nullopt)));
            QVERIFY(joined(first.streamsAnswer(kind, std::nullopt)) != joined(other.streamsAnswer(kind, std::nullopt)));
        }
        for (qint64 i = 0; i < 5; ++i) {
            const QString movie = QString::number(Lab::firstMovieId + i * 311);
            const QString show = QString::number(Lab::firstShowId + i * 37);
            QCOMPARE(first.vodInfoAnswer(movie), again.vodInfoAnswer(movie));
            QCOMPARE(first.seriesInfoAnswer(show), again.seriesInfoAnswer(show));
            const Lab::LiveChannel *channel = first.channel(Lab::firstLiveId + i * 41);
            QCOMPARE(Lab::Guide::dataTableAnswer(first, channel, fixedNow), Lab::Guide::dataTableAnswer(again, channel, fixedNow));
        }
    }

    void varietyThePlayerMustHandle_data()
    {
        QTest::addColumn<quint64>("seed");
        QTest::newRow("seed 1") << quint64(1);
        QTest::newRow("seed 2") << quint64(2);
        QTest::newRow("seed 99") << quint64(99);
    }

    // Every variety a panel sends, as the player decodes it; a generator change that loses
    // one would silently stop the demo and the end-to-end tests from exercising it.
    void varietyThePlayerMustHandle()
    {
        QFETCH(quint64, seed);
        const Catalogue catalogue(seed, Lab::Preset::demo, base);

        const QList<Category> liveCategories = categories(catalogue, Kind::live);
        QVERIFY(liveCategories.size() >= 10);
        QVERIFY2(!isAdultName(liveCategories.first().name), "the first live category is not locked");
        const auto adult = std::find_if(liveCategories.cbegin(), liveCategories.cend(), [](const Category &c) { return isAdultName(c.name); });
        QVERIFY(adult != liveCategories.cend());
        QVERIFY(!items(catalogue, Kind::live, adult->id).isEmpty());

        const QList<MediaItem> live = items(catalogue, Kind::live);
        QCOMPARE(live.size(), qsizetype(Lab::CatalogueSize::of(Lab::Preset::demo).live));
        QSet<qint64> archiveDays;
        int numbered = 0, unnumbered = 0, archived = 0, logos = 0, noLogo = 0, badLogo = 0, noGuide = 0;
        for (const MediaItem &channel : live) {
            (channel.num > 0 ? numbered : unnumbered) += 1;
            if (channel.tvArchive) {
                ++archived;
                archiveDays.insert(channel.archiveDays);
            }
            if (channel.icon().isEmpty())
                ++noLogo;
            else if (channel.icon().startsWith(base + QLatin1String("/images/logos/")))
                ++logos;
            else
                ++badLogo;
            noGuide += channel.epgChannelId.isEmpty();
        }
        QVERIFY(numbered > 0 && unnumbered > 0);
        QVERIFY(archived > 0 && archived < live.size());
        QVERIFY2(archiveDays.size() >= 4, "archives of several lengths");
        QVERIFY(logos > 0 && noLogo > 0 && badLogo > 0);
        QVERIFY(noGuide > 0);

        const QList<MediaItem> movies = items(catalogue, Kind::movie);
        int rated = 0, unrated = 0, stamped = 0, unstamped = 0, mkv = 0, mp4 = 0, nonAscii = 0;
        for (const MediaItem &movie : movies) {
            (movie.rating5 > 0 ? rated : unrated) += 1;
            (movie.added().isEmpty() ? unstamped : stamped) += 1;
            mkv += movie.containerExt == QLatin1String("mkv");
            mp4 += movie.containerExt == QLatin1String("mp4");
            nonAscii += std::any_of(movie.name.cbegin(), movie.name.cend(), [](QChar c) { return c.unicode() > 127; });
        }
        QVERIFY(rated > 0 && unrated > 0 && stamped > 0 && unstamped > 0);
        QCOMPARE(mkv + mp4, int(movies.size()));
        QVERIFY(mkv > 0 && mp4 > 0 && nonAscii > 0);
        const QList<Category> movieCategories = categories(catalogue, Kind::movie);
        const bool emptyCategory = std::any_of(movieCategories.cbegin(), movieCategories.cend(),
                                               [&](const Category &c) { return items(catalogue, Kind::movie, c.id).isEmpty(); });
        QVERIFY2(emptyCategory, "a category with nothing in it");

        int trailerInList = 0, trailerOnlyInDetails = 0, seasonsFromKeys = 0, untitledEpisodes = 0;
        for (const MediaItem &show : items(catalogue, Kind::series)) {
            const MavuAPI::SeriesInfo info = seriesInfo(catalogue, show.id.toLongLong());
            if (!show.trailer().isEmpty())
                ++trailerInList;
            else if (!info.trailer.isEmpty())
                ++trailerOnlyInDetails;
            const QJsonValue listed = QJsonDocument::fromJson(catalogue.seriesInfoAnswer(show.id)).object().value(QLatin1String("seasons"));
            if (info.seasons.size() > listed.toArray().size())
                ++seasonsFromKeys;
            untitledEpisodes += std::count_if(info.episodes.cbegin(), info.episodes.cend(), [](const Episode &e) { return e.title.isEmpty(); });
            QVERIFY(!info.episodes.isEmpty());
        }
        QVERIFY(trailerInList > 0 && trailerOnlyInDetails > 0);
        QVERIFY2(seasonsFromKeys > 0, "seasons missing from \"seasons\" but present as episode keys");
        QVERIFY(untitledEpisodes > 0);
    }

    void categoryAnswersCutTheSection_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("live") << int(Kind::live);
        QTest::newRow("movies") << int(Kind::movie);
        QTest::newRow("shows") << int(Kind::series);
    }

    void categoryAnswersCutTheSection()
    {
        QFETCH(int, kind);
        const Kind section = Kind(kind);
        const Catalogue catalogue(3, Lab::Preset::demo, base);
        QStringList whole;
        for (const MediaItem &item : items(catalogue, section))
            whole.append(item.id);
        QStringList cut;
        for (const Category &category : categories(catalogue, section)) {
            for (const MediaItem &item : items(catalogue, section, category.id)) {
                QCOMPARE(item.categoryId, category.id);
                cut.append(item.id);
            }
        }
        QCOMPARE(cut, whole); // every item in exactly one category, in the same order
        QCOMPARE(QSet<QString>(whole.cbegin(), whole.cend()).size(), whole.size());
        QVERIFY(items(catalogue, section, QStringLiteral("999999")).isEmpty());
        QCOMPARE(items(catalogue, section, QString()).size(), whole.size()); // an empty id asks for all
        QCOMPARE(joined(catalogue.streamsAnswer(section, std::nullopt)).size(), catalogue.streamsAnswerSize(section));
    }

    void episodeIdsLeadBackToTheirShow()
    {
        const Catalogue catalogue(5, Lab::Preset::demo, base);
        int checked = 0;
        for (size_t i = 0; i < catalogue.shows().size(); i += 7) {
            const Lab::Show &show = catalogue.shows()[i];
            for (const Episode &episode : seriesInfo(catalogue, show.id).episodes) {
                const auto found = catalogue.episode(episode.id.toLongLong());
                QVERIFY2(found, qPrintable(episode.id));
                QCOMPARE(found->show->id, show.id);
                QCOMPARE(qint64(found->season), episode.season);
                QCOMPARE(qint64(found->episode), episode.episodeNum);
                QCOMPARE(found->extension, episode.containerExt);
                ++checked;
            }
        }
        QVERIFY(checked > 100);
    }

    void episodeIdsThatDoNotExist_data()
    {
        QTest::addColumn<qint64>("id");
        const Catalogue catalogue(5, Lab::Preset::demo, base);
        const Lab::Show &show = catalogue.shows().front();
        QTest::newRow("season 0") << Catalogue::episodeId(show, 0, 1);
        QTest::newRow("episode 0") << Catalogue::episodeId(show, 1, 0);
        QTest::newRow("past the last episode") << Catalogue::episodeId(show, 1, catalogue.episodeCount(show, 1) + 1);
        QTest::newRow("past the last season") << Catalogue::episodeId(show, show.seasons + 1, 1);
        QTest::newRow("past the last show") << Lab::firstEpisodeId + qint64(catalogue.shows().size()) * 1000 + 101;
        QTest::newRow("a movie id") << Lab::firstMovieId;
    }

    void episodeIdsThatDoNotExist()
    {
        QFETCH(qint64, id);
        const Catalogue catalogue(5, Lab::Preset::demo, base);
        QVERIFY(!catalogue.episode(id));
    }

    void unknownDetailsDecodeEmpty()
    {
        const Catalogue catalogue(1, Lab::Preset::demo, base);
        QVERIFY(decodeWith(catalogue.vodInfoAnswer(QStringLiteral("12")), &MavuAPI::decode::vodInfo).plot.isEmpty());
        QVERIFY(seriesInfo(catalogue, 999999).episodes.isEmpty());
        const VodInfo known = decodeWith(catalogue.vodInfoAnswer(QString::number(Lab::firstMovieId)), &MavuAPI::decode::vodInfo);
        QVERIFY(!known.runtime.isEmpty() && !known.director.isEmpty());
    }

    void largePreset()
    {
        QElapsedTimer clock;
        clock.start();
        const Catalogue catalogue(1, Lab::Preset::large, base);
        const qint64 made = clock.elapsed();
        const Lab::CatalogueSize size = Lab::CatalogueSize::of(Lab::Preset::large);
        QCOMPARE(int(catalogue.live().size()), 60000);
        QCOMPARE(int(catalogue.movies().size()), 200000);
        QCOMPARE(int(catalogue.shows().size()), 30000);
        QCOMPARE(categories(catalogue, Kind::live).size(), qsizetype(size.liveCategories));
        clock.restart();
        const QList<MediaItem> movies = items(catalogue, Kind::movie);
        QCOMPARE(movies.size(), qsizetype(200000));
        QCOMPARE(movies.last().id, QString::number(Lab::firstMovieId + 199999));
        qInfo("large preset made in %lld ms; whole answers: live %.1f MB, movies %.1f MB, shows %.1f MB; movies decoded in %lld ms",
              made, catalogue.streamsAnswerSize(Kind::live) / 1048576.0, catalogue.streamsAnswerSize(Kind::movie) / 1048576.0,
              catalogue.streamsAnswerSize(Kind::series) / 1048576.0, clock.elapsed());
    }

    // The large catalogue with every movie in the first category (the others answer empty) and
    // 20,000 channels in the first live category.
    void oneCategoryPreset()
    {
        QCOMPARE(Lab::presetFromName(QStringLiteral("one-category")), Lab::Preset::oneCategory);
        const Catalogue catalogue(1, Lab::Preset::oneCategory, base);
        QCOMPARE(int(catalogue.movies().size()), 200000);
        QVERIFY(std::all_of(catalogue.movies().cbegin(), catalogue.movies().cend(), [](const Lab::Movie &m) { return m.category == 0; }));
        const QList<Category> movieCategories = categories(catalogue, Kind::movie);
        QCOMPARE(movieCategories.size(), qsizetype(Lab::CatalogueSize::of(Lab::Preset::large).movieCategories));
        QVERIFY(items(catalogue, Kind::movie, movieCategories.at(1).id).isEmpty());
        QCOMPARE(int(catalogue.live().size()), 60000);
        const QList<Category> liveCategories = categories(catalogue, Kind::live);
        QCOMPARE(items(catalogue, Kind::live, liveCategories.first().id).size(), 20000);
        QVERIFY(!items(catalogue, Kind::live, liveCategories.at(1).id).isEmpty());
    }

    void shortGuideRespectsTheLimit_data()
    {
        QTest::addColumn<bool>("base64");
        QTest::addColumn<int>("limit");
        for (const bool encoded : {true, false}) {
            for (const int limit : {1, 4, 10}) {
                QTest::addRow("%s, limit %d", encoded ? "Base64" : "plain", limit) << encoded << limit;
            }
        }
    }

    void shortGuideRespectsTheLimit()
    {
        QFETCH(bool, base64);
        QFETCH(int, limit);
        const Catalogue catalogue(1, Lab::Preset::demo, base);
        const Lab::LiveChannel *channel = channelWhere(catalogue, [&](const Lab::LiveChannel &c) {
            return !c.epgChannelId.isEmpty() && c.base64Guide == base64;
        });
        QVERIFY(channel);
        const QList<EpgProgram> guide = programs(Lab::Guide::shortEpgAnswer(catalogue, channel, fixedNow, limit));
        QCOMPARE(guide.size(), qsizetype(limit));
        QVERIFY(guide.first().startTs <= fixedNow && fixedNow < guide.first().stopTs);
        const QList<Lab::Programme> made = Lab::Guide::programmes(catalogue, *channel, fixedNow, fixedNow + 1);
        QCOMPARE(guide.first().title, made.first().title); // Base64 or not, the player reads the same words
        QCOMPARE(guide.first().desc, made.first().description);
        for (qsizetype i = 1; i < guide.size(); ++i)
            QCOMPARE(guide[i].startTs, guide[i - 1].stopTs);
    }

    void fullGuideReachesBackTheArchive_data()
    {
        QTest::addColumn<int>("archiveDays"); // -1: no archive
        for (const int days : {-1, 0, 1, 3, 7, 14})
            QTest::addRow("%d days", days) << days;
    }

    void fullGuideReachesBackTheArchive()
    {
        QFETCH(int, archiveDays);
        const Catalogue catalogue(1, Lab::Preset::demo, base);
        const Lab::LiveChannel *channel = channelWhere(catalogue, [&](const Lab::LiveChannel &c) {
            return !c.epgChannelId.isEmpty() && (archiveDays < 0 ? !c.archive : c.archive && c.archiveDays == archiveDays);
        });
        QVERIFY(channel);
        const QByteArray answer = Lab::Guide::dataTableAnswer(catalogue, channel, fixedNow);
        const QList<EpgProgram> guide = programs(answer);
        QVERIFY(!guide.isEmpty());
        const qint64 window = archiveDays < 0 ? 6 * 3600 : qint64(std::max(archiveDays, 1)) * 86400;
        QVERIFY(guide.first().startTs <= fixedNow - window && fixedNow - window < guide.first().stopTs);
        QVERIFY(guide.last().stopTs >= fixedNow + 6 * 3600);
        int onAir = 0;
        for (qsizetype i = 0; i < guide.size(); ++i) {
            const EpgProgram &program = guide[i];
            if (i > 0)
                QCOMPARE(program.startTs, guide[i - 1].stopTs);
            onAir += program.startTs <= fixedNow && fixedNow < program.stopTs;
            // The player forms the catch-up start from the start text; it must lead back here.
            const QString startText = program.start.left(10) + u':' + program.start.mid(11, 5).replace(u':', u'-');
            QCOMPARE(Lab::Guide::catchupStart(startText), std::optional<qint64>(qint64(program.startTs)));
            QVERIFY(!program.end.isEmpty());
        }
        QCOMPARE(onAir, 1);
        const QJsonArray listings = QJsonDocument::fromJson(answer).object().value(QLatin1String("epg_listings")).toArray();
        const int flagged = int(std::count_if(listings.begin(), listings.end(),
                                              [](const QJsonValue &v) { return v.toObject().value(QLatin1String("now_playing")).toInt() == 1; }));
        QCOMPARE(flagged, 1);
    }

    void channelsWithoutGuide()
    {
        const Catalogue catalogue(1, Lab::Preset::demo, base);
        const Lab::LiveChannel *channel = channelWhere(catalogue, [](const Lab::LiveChannel &c) { return c.epgChannelId.isEmpty(); });
        QVERIFY(channel);
        QVERIFY(programs(Lab::Guide::dataTableAnswer(catalogue, channel, fixedNow)).isEmpty());
        QVERIFY(programs(Lab::Guide::shortEpgAnswer(catalogue, channel, fixedNow, 4)).isEmpty());
        QVERIFY(programs(Lab::Guide::shortEpgAnswer(catalogue, nullptr, fixedNow, 4)).isEmpty());
    }

    void catchupStartText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("as the player writes it") << "2024-05-01:20-15" << true;
        QTest::newRow("midnight") << "2024-05-02:00-00" << true;
        QTest::newRow("colons in the time") << "2024-05-01:20:15" << false;
        QTest::newRow("month 13") << "2024-13-01:20-15" << false;
        QTest::newRow("hour 24") << "2024-05-01:24-00" << false;
        QTest::newRow("no time") << "2024-05-01" << false;
        QTest::newRow("empty") << "" << false;
    }

    void catchupStartText()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        const auto start = Lab::Guide::catchupStart(text);
        QCOMPARE(start.has_value(), valid);
        if (start)
            QCOMPARE(QDateTime::fromSecsSinceEpoch(*start).toString(QStringLiteral("yyyy-MM-dd:HH-mm")), text);
    }
};

QTEST_GUILESS_MAIN(TestLabCatalogue)
#include "tst_labcatalogue.moc"
