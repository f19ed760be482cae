// A plain M3U list as the library's source: one read for all three sections, the same
// favourites, hidden groups, PIN and search as a provider's, its own addresses and options
// for playback, saving and restoring, and the provider's own list address told apart.
#include "storefixture.h"

#include "player/streamheaders.h"
#include "store/catalogue.h"
#include "store/librarysearch.h"
#include "store/m3usource.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QtTest>

#include <zlib.h>

using namespace StoreTest;

using namespace Qt::StringLiterals;

namespace {

QByteArray listText(const QString &base)
{
    // Built line by line: moc reads a "#" at the start of a line as a directive, even in a raw string.
    QString text = QStringList{
        QStringLiteral("#EXTM3U url-tvg=\"BASE/guide.xml\""),
        QStringLiteral("#EXTINF:-1 tvg-id=\"news.one\" tvg-logo=\"http://logo.test/n1.png\" group-title=\"News\",News One"),
        QStringLiteral("#EXTVLCOPT:http-user-agent=ListAgent/1.0"),
        QStringLiteral("#EXTVLCOPT:http-referrer=http://ref.test/"),
        QStringLiteral("#EXTVLCOPT:sout=file/ts:/tmp/x.ts"),
        QStringLiteral("BASE/live/news1.ts"),
        QStringLiteral("#EXTINF:-1 tvg-id=\"news.two\" group-title=\"News\",News Two"),
        QStringLiteral("BASE/live/news2.ts"),
        QStringLiteral("#EXTINF:-1 tvg-id=\"late\" group-title=\"Adult XXX\",Late Night"),
        QStringLiteral("BASE/live/late.ts"),
        QStringLiteral("#EXTINF:-1 tvg-id=\"sport\" group-title=\"Sport\" catchup=\"shift\" catchup-days=\"3\",Sport HD"),
        QStringLiteral("BASE/live/sport.ts"),
        QStringLiteral("#EXTINF:-1 group-title=\"Films\",Big Movie"),
        QStringLiteral("BASE/movie/big.mp4"),
        QStringLiteral("#EXTINF:-1 group-title=\"Films\",Small Movie"),
        QStringLiteral("BASE/films/small.mkv"),
        QStringLiteral("#EXTINF:-1 group-title=\"Drama\",Harbour Lights S01 E02"),
        QStringLiteral("BASE/series/harbour-1-2.mp4"),
        QStringLiteral("#EXTINF:-1 group-title=\"Drama\",Harbour Lights S01 E01"),
        QStringLiteral("BASE/series/harbour-1-1.mp4"),
        QStringLiteral("#EXTINF:-1 group-title=\"Drama\",Lone Pilot"),
        QStringLiteral("BASE/series/pilot.mp4"),
    }.join(QLatin1Char('\n')) + QLatin1Char('\n');
    return text.replace(QStringLiteral("BASE"), base).toUtf8();
}

QStringList namesOf(const QList<MediaItem> &items)
{
    QStringList names;
    for (const MediaItem &item : items)
        names.append(item.name);
    names.sort();
    return names;
}

QStringList namesOf(const QList<Category> &categories)
{
    QStringList names;
    for (const Category &category : categories)
        names.append(category.name);
    return names;
}

std::optional<Category> categoryNamed(const AppStore &store, const QString &name)
{
    for (const Category &category : store.categories()) {
        if (category.name == name)
            return category;
    }
    return std::nullopt;
}

QString categoryId(AppStore &store, Section section, const QString &name)
{
    for (const Category &category : await(store.allCategories(section))) {
        if (category.name == name)
            return category.id;
    }
    return {};
}

// Reading tens of thousands of entries takes seconds under the sanitizers on a busy machine.
constexpr int longReadMs = 30000;

// A list of `entries` channels, movies and episodes in turn, big enough to arrive in many pieces.
QByteArray bigList(const QString &base, int entries)
{
    QByteArray out = "#EXTM3U url-tvg=\"" + base.toUtf8() + "/guide.xml\"\n";
    for (int i = 0; i < entries; ++i) {
        const QByteArray n = QByteArray::number(i);
        const QByteArray group = "Group " + QByteArray::number(i % 13);
        if (i % 3 == 0)
            out += "#EXTINF:-1 tvg-id=\"c" + n + "\" group-title=\"" + group + "\",Channel " + n + "\n" + base.toUtf8()
                + "/live/" + n + ".ts\n";
        else if (i % 3 == 1)
            out += "#EXTINF:-1 group-title=\"" + group + "\",Movie " + n + "\n" + base.toUtf8() + "/movie/" + n + ".mkv\n";
        else
            out += "#EXTINF:-1 group-title=\"" + group + "\",Show " + QByteArray::number(i % 50) + " S01 E" + n + "\n"
                + base.toUtf8() + "/series/" + n + ".mp4\n";
    }
    return out;
}

// A list ordered as panels write theirs: its channels, then its movies, then its shows of three
// episodes each.
QByteArray sectionedList(const QString &base, int channels, int movies, int episodes)
{
    QByteArray out = "#EXTM3U\n";
    const QByteArray address = base.toUtf8();
    for (int i = 0; i < channels; ++i)
        out += "#EXTINF:-1 tvg-id=\"c" + QByteArray::number(i) + "\" group-title=\"News\",Channel " + QByteArray::number(i) + "\n" + address
            + "/live/" + QByteArray::number(i) + ".ts\n";
    for (int i = 0; i < movies; ++i)
        out += "#EXTINF:-1 group-title=\"Films " + QByteArray::number(i % 7) + "\",Movie " + QByteArray::number(i) + "\n" + address
            + "/movie/" + QByteArray::number(i) + ".mkv\n";
    for (int i = 0; i < episodes; ++i)
        out += "#EXTINF:-1 group-title=\"Drama\",Show " + QByteArray::number(i / 3) + " S01 E" + QByteArray::number(i % 3 + 1) + "\n"
            + address + "/series/" + QByteArray::number(i) + ".mp4\n";
    return out;
}

// Home's rows of a whole read of `list`: what the first part must show too.
std::pair<QList<MediaItem>, QList<MediaItem>> wholeRows(const QByteArray &list, const QUrl &base)
{
    const Result<M3uSource::List> whole = M3uSource::library(M3uSource::parse(list, base));
    if (!whole.ok())
        return {};
    return {Catalogue::newest((*whole)->items[size_t(Section::movies)], AppStore::homeRowLength),
            Catalogue::newest((*whole)->items[size_t(Section::series)], AppStore::homeRowLength)};
}

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

bool wholeRead(M3uArrival &arrival, const QByteArray &body)
{
    const std::optional<Result<M3uCatalogue>> read = arrival.finish(body);
    return read && read->ok();
}

QStringList entriesOf(const QList<MediaItem> &items)
{
    QStringList ids;
    for (const MediaItem &item : items)
        ids.append(item.id + QLatin1Char('|') + item.name + QLatin1Char('|') + item.categoryId);
    return ids;
}

} // namespace

class TestStoreM3u : public QObject
{
    Q_OBJECT

    std::unique_ptr<Fixture> f;

    QString listAddress() const { return f->server().base() + QStringLiteral("/lists/mine.m3u"); }
    void serveList(const QByteArray &body, int status = 200)
    {
        FakeServer::Reply reply = FakeServer::Reply::json(body, status);
        reply.contentType = "audio/x-mpegurl";
        f->server().on(QStringLiteral("/lists/mine.m3u"), reply);
    }
    int listReads() const { return int(f->server().requestsTo(QStringLiteral("/lists/mine.m3u")).size()); }
    std::unique_ptr<AppStore> connected(bool persist = false)
    {
        serveList(listText(f->server().base()));
        auto store = f->makeStore();
        await(store->connect(Playlist::m3u(listAddress()), persist));
        return store;
    }

private Q_SLOTS:
    void init() { f = std::make_unique<Fixture>(); }
    void cleanup()
    {
        f.reset();
        StreamHeaders::clear();
    }

    void oneReadFillsEverySection()
    {
        auto store = connected();
        QCOMPARE(store->phase(), AppStore::Phase::home);
        QVERIFY(!store->hasConnectError());
        QCOMPARE(namesOf(store->allLive()), (QStringList{"Late Night", "News One", "News Two", "Sport HD"}));
        QCOMPARE(namesOf(store->allVods()), (QStringList{"Big Movie", "Small Movie"}));
        // Episodes named alike make one show; any other entry is a show of its own.
        QCOMPARE(namesOf(store->allSeries()), (QStringList{"Harbour Lights", "Lone Pilot"}));
        QCOMPARE(namesOf(store->latestMovies()), (QStringList{"Big Movie", "Small Movie"}));
        // No account, so no expiry line, not even its bare label.
        QCOMPARE(store->expiryText(), QString());
        QCOMPARE(store->connectionsText(), QString());

        for (Section section : allCases<Section>()) {
            await(store->openSection(section));
            QVERIFY(!store->loadingCategories());
            QVERIFY(!store->failures()->at(Failures::Place::items));
        }
        await(store->openSection(Section::live));
        QCOMPARE(namesOf(store->categories()).mid(2), (QStringList{"News", "Adult XXX", "Sport"}));
        QCOMPARE(store->selectedCategory()->name, QStringLiteral("News"));
        QCOMPARE(namesOf(store->items()), (QStringList{"News One", "News Two"}));

        // The list was read once, and no provider was asked anything.
        QCOMPARE(listReads(), 1);
        QCOMPARE(f->server().requestsTo(QStringLiteral("/player_api.php")).size(), 0);
        QCOMPARE(namesOf(await(store->allCategories(Section::movies))), QStringList{"Films"});
        QCOMPARE(listReads(), 1);
    }

    void favouritesHiddenGroupsPinAndSearch()
    {
        auto store = connected();
        const MediaItem sport = *std::find_if(store->allLive().cbegin(), store->allLive().cend(),
                                              [](const MediaItem &item) { return item.name == "Sport HD"; });
        store->toggleFavorite(sport);
        QVERIFY(store->isFavorite(sport));

        await(store->openSection(Section::live));
        store->selectCategory(store->categories().first()); // Favorites
        QTRY_COMPARE(namesOf(store->items()), QStringList{"Sport HD"});

        // The adult group asks for the PIN before it opens.
        store->selectCategory(*categoryNamed(*store, "Sport"));
        const Category adult = *categoryNamed(*store, "Adult XXX");
        store->selectCategory(adult);
        QVERIFY(store->hasPinChallenge());
        QVERIFY(store->selectedCategory() != adult);
        store->runPinChallenge();
        QTRY_COMPARE(namesOf(store->items()), QStringList{"Late Night"});

        // A hidden group leaves the column; the others stay.
        const Category news = *categoryNamed(*store, "News");
        store->setHidden({news.id}, Section::live);
        QTRY_VERIFY(!categoryNamed(*store, "News"));
        QVERIFY(categoryNamed(*store, "Sport"));

        // Search narrows the open group's list by name.
        store->selectCategory(*categoryNamed(*store, "Sport"));
        QTRY_COMPARE(namesOf(store->items()), QStringList{"Sport HD"});
        store->setSearchText("zzz");
        QVERIFY(store->filteredItems().isEmpty());
        store->setSearchText("sport");
        QCOMPARE(store->filteredItems().size(), 1);
    }

    // The home screen's search across the sections: adult groups wait for the PIN, hidden
    // groups stay out.
    void librarySearch()
    {
        auto store = connected();
        LibrarySearch *search = store->search();
        const auto settled = [&] {
            return !search->live()->loading() && !search->movies()->loading() && !search->series()->loading();
        };
        search->setText("late");
        QTRY_VERIFY(settled());
        QCOMPARE(search->live()->count(), 0);
        search->setText("harbour");
        QTRY_VERIFY(settled());
        QCOMPARE(search->series()->count(), 1);
        search->setText("news");
        QTRY_VERIFY(settled());
        QCOMPARE(search->live()->count(), 2);
        store->setHidden({categoryId(*store, Section::live, "News")}, Section::live);
        QTRY_COMPARE(search->live()->count(), 0);
        QCOMPARE(f->server().requestsTo(QStringLiteral("/player_api.php")).size(), 0);
    }

    void playingUsesTheEntrysAddressAndAllowedOptions()
    {
        auto store = connected();
        const MediaItem news = *std::find_if(store->allLive().cbegin(), store->allLive().cend(),
                                             [](const MediaItem &item) { return item.name == "News One"; });
        await(store->play(news));
        const QUrl url(f->server().base() + "/live/news1.ts");
        QCOMPARE(store->nowPlayingURL(), std::optional<QUrl>(url));
        const auto headers = StreamHeaders::find(url);
        QVERIFY(headers);
        QCOMPARE(headers->userAgent, QByteArray("ListAgent/1.0"));
        QCOMPARE(headers->referrer, QByteArray("http://ref.test/"));
        const QByteArrayList options = StreamHeaders::options(*headers);
        QCOMPARE(options, (QByteArrayList{":http-user-agent=ListAgent/1.0", ":http-referrer=http://ref.test/"}));
        // No short guide from a provider: nothing imported, nothing shown.
        QVERIFY(store->epgNowNext().isEmpty());
        QCOMPARE(f->server().requestsTo(QStringLiteral("/player_api.php")).size(), 0);
        QVERIFY(store->recents(Section::live).contains(news.id));
    }

    void showsOpenWithTheirEpisodes()
    {
        auto store = connected();
        const MediaItem show = *std::find_if(store->allSeries().cbegin(), store->allSeries().cend(),
                                             [](const MediaItem &item) { return item.name == "Harbour Lights"; });
        await(store->openDetail(show));
        QVERIFY(!store->loadingDetail());
        QCOMPARE(store->seasons().size(), 1);
        QCOMPARE(store->seasonEpisodes().size(), 2);
        QCOMPARE(store->seasonEpisodes().first().episodeNum, 1);
        store->playEpisode(store->seasonEpisodes().first(), show);
        QCOMPARE(store->nowPlayingURL(), std::optional<QUrl>(QUrl(f->server().base() + "/series/harbour-1-1.mp4")));
        QCOMPARE(f->server().requestsTo(QStringLiteral("/player_api.php")).size(), 0);
    }

    void groupingShows_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QStringList>("groups"); // by entry; none: all in one
        QTest::addColumn<QStringList>("shows");
        QTest::addColumn<QList<int>>("episodeCounts");

        const QStringList one;
        QTest::newRow("one show, two spellings")
            << QStringList{"Name S01 E02", "Name.S01E01"} << one << QStringList{"Name"} << QList<int>{2};
        QTest::newRow("two seasons") << QStringList{"Name S2E1", "Name S1E9", "Name - s01e10 - Finale"} << one << QStringList{"Name"}
                                     << QList<int>{3};
        QTest::newRow("no episode mark stays alone")
            << QStringList{"Name", "Name S01 E01"} << one << QStringList{"Name", "Name"} << QList<int>{1, 1};
        QTest::newRow("mark without a title") << QStringList{"S01E01", "-. S01E02"} << one << QStringList{"S01E01", "-. S01E02"}
                                              << QList<int>{1, 1};
        QTest::newRow("a word with S and E inside")
            << QStringList{"Sees Everything"} << one << QStringList{"Sees Everything"} << QList<int>{1};
        QTest::newRow("mark inside a word") << QStringList{"Name_S01E01", "BossS01E02"} << one << QStringList{"Name_S01E01", "BossS01E02"}
                                            << QList<int>{1, 1};
        QTest::newRow("too many digits") << QStringList{"Name S0001E01", "Name S01E00001"} << one
                                         << QStringList{"Name S0001E01", "Name S01E00001"} << QList<int>{1, 1};
        QTest::newRow("a later mark after a false one")
            << QStringList{"Sx Name S02E03", "Sx Name s2e4"} << one << QStringList{"Sx Name"} << QList<int>{2};
        QTest::newRow("separators before the mark")
            << QStringList{"Name ._- S01E01", "Name S01_E02"} << one << QStringList{"Name"} << QList<int>{2};
        QTest::newRow("letters' case and dots differ")
            << QStringList{"The.Name S01E01", "THE NAME S01E02"} << one << QStringList{"The Name"} << QList<int>{2};
        // Names beyond ASCII are read as text, the others as bytes: the same rules either way.
        QTest::newRow("accents in the title") << QStringList{u"Café S01E01"_s, u"Café S01E02"_s, u"Cafe S01E03"_s} << one
                                              << QStringList{u"Café"_s, u"Cafe"_s} << QList<int>{2, 1};
        QTest::newRow("ASCII and accented episodes of one show")
            << QStringList{u"Name S01E01"_s, u"Name S01E02 – Épilogue"_s, u"Name S01E03"_s} << one << QStringList{u"Name"_s}
            << QList<int>{3};
        QTest::newRow("a no-break space separates") << QStringList{u"Name\u00a0S01E01"_s, u"Name S01E02"_s} << one
                                                    << QStringList{u"Name"_s} << QList<int>{2};
        QTest::newRow("a letter beyond ASCII before the mark")
            << QStringList{u"NomÉS01E01"_s, u"Nom S01E01é"_s, u"Nom S01E01 é"_s} << one
            << QStringList{u"NomÉS01E01"_s, u"Nom S01E01é"_s, u"Nom"_s} << QList<int>{1, 1, 1};
        QTest::newRow("a mark glued to a word") << QStringList{"AS01E02", "Name AS01E02", "Name S01E02x"} << one
                                                << QStringList{"AS01E02", "Name AS01E02", "Name S01E02x"} << QList<int>{1, 1, 1};
        QTest::newRow("the forms of a mark") << QStringList{"Name S01E02", "Name S1 E3", "Name s01.e04", "Name.S01-E05", "Name\tS01E06"}
                                             << one << QStringList{"Name"} << QList<int>{5};
        // An en dash is punctuation, not a separator: part of the title, or no mark at all.
        QTest::newRow("an en dash") << QStringList{u"Name – S01E01"_s, u"Name S01E02"_s, u"Name S01–E03"_s} << one
                                    << QStringList{u"Name –"_s, u"Name"_s, u"Name S01–E03"_s} << QList<int>{1, 1, 1};
        QTest::newRow("a no-break space inside the mark")
            << QStringList{u"Name S01\u00a0E01"_s, u"Name S01E02"_s} << one << QStringList{u"Name"_s} << QList<int>{2};
        // Beyond the first plane a character is two surrogates to the text, neither a letter.
        QTest::newRow("a letter beyond the first plane")
            << QStringList{u"\U0001D400S01E01"_s, u"\U0001D400 S01E02"_s} << one << QStringList{u"\U0001D400"_s} << QList<int>{2};
        // One after the other, so that only the group tells them apart.
        QTest::newRow("same title in two groups") << QStringList{"Name S01E01", "Name S01E02", "Name S01E03"} << QStringList{"A", "B", "A"}
                                                  << QStringList{"Name", "Name"} << QList<int>{2, 1};
        QTest::newRow("a show coming back after others")
            << QStringList{"One S01E01", "Two S01E01", "Alone", "One S01E02", "Two S01E02", "One S02E01"} << one
            << QStringList{"One", "Two", "Alone"} << QList<int>{3, 2, 1};
    }

    void groupingShows()
    {
        QFETCH(QStringList, entries);
        QFETCH(QStringList, groups);
        QFETCH(QStringList, shows);
        QFETCH(QList<int>, episodeCounts);
        QByteArray text = "#EXTM3U\n";
        for (qsizetype i = 0; i < entries.size(); ++i)
            text += "#EXTINF:-1 group-title=\"" + groups.value(i, QStringLiteral("Drama")).toUtf8() + "\"," + entries[i].toUtf8()
                + "\nhttp://list.test/series/" + QByteArray::number(i) + ".mp4\n";
        const Result<M3uCatalogue> read = M3uSource::parse(text, QUrl("http://list.test/mine.m3u"));
        QVERIFY(read);
        QCOMPARE(read->itemCount(Section::series), entries.size());
        // Read in one piece and in pieces that cut between a show's episodes: the same shows.
        for (int pieces : {1, 2, 3, 0}) {
            const M3uLibrary::Shows grouped = M3uLibrary::groupShows(*read, pieces);
            QStringList names;
            QList<int> counts;
            QCOMPARE(grouped.episodes.size(), size_t(grouped.shows.size()));
            for (qsizetype s = 0; s < grouped.shows.size(); ++s) {
                const MediaItem &show = grouped.shows[s];
                names.append(show.name);
                counts.append(int(grouped.episodes[size_t(s)].size()));
                QCOMPARE(show.seriesId(), std::optional<QString>(show.id));
                QCOMPARE(grouped.showAt.value(show.id, -1), s);
            }
            QCOMPARE(names, shows);
            QCOMPARE(counts, episodeCounts);
            // Episodes run in order of season and number.
            for (const auto &episodes : grouped.episodes) {
                for (size_t i = 1; i < episodes.size(); ++i)
                    QVERIFY(std::tie(episodes[i - 1].season, episodes[i - 1].number) <= std::tie(episodes[i].season, episodes[i].number));
            }
        }
    }

    // Names made of the pieces marks are made of, judged against the rule said as a regular
    // expression: the same shows, ids, names and episodes, in one run and in several.
    void groupingFollowsTheRuleOnManyNames()
    {
        static const char *const pieces[] = {"S",           "s",
                                             "E",           "e",
                                             "0",           "1",
                                             "2",           "12",
                                             "0003",        " ",
                                             " ",           ".",
                                             "_",           "-",
                                             "A",           "Name",
                                             "The.NAME ",   "x",
                                             "\t",          "\xc3\xa9",
                                             "\xc2\xa0",    "\xe2\x80\x93",
                                             "\xd9\xa3",    "\xe3\x80\x80",
                                             "\xff",        "\xe2\x82",
                                             "\xef\xbb\xbf"};
        static const char *const titles[] = {"Name", "The.NAME ", "name", "Caf\xc3\xa9 -", "x"};
        static const char *const numbers[] = {"1", "01", "12", "003", "2", "02", "0003", "12345", "\xd9\xa3", ""};
        static const char *const between[] = {"", "", " ", " ", ".", "_-", "\xc2\xa0", "\xe2\x80\x93", "\t", "\xe3\x80\x80"};
        QRandomGenerator random(7);
        const auto any = [&random](const auto &from) { return QByteArray(from[random.bounded(int(std::size(from)))]); };
        const auto some = [&](int most) {
            QByteArray out;
            for (int n = int(random.bounded(most + 1)); n > 0; --n)
                out += any(pieces);
            return out;
        };
        QByteArray text = "#EXTM3U\n";
        const int count = 4000;
        for (int i = 0; i < count; ++i) {
            // Mostly a title and something like a mark, pieces of either anywhere.
            const QByteArray name = (random.bounded(2) ? any(titles) : some(3)) + (random.bounded(3) ? " " : some(1))
                + (random.bounded(4) ? "S" : "s") + any(numbers) + any(between) + (random.bounded(4) ? "E" : "e") + any(numbers)
                + (random.bounded(2) ? QByteArray() : some(2));
            // Runs of one group, now and then another.
            const char *group = i % 50 < 40 ? "A" : "B";
            text += "#EXTINF:-1 group-title=\"" + QByteArray(group) + "\"," + name + "\nhttp://list.test/series/" + QByteArray::number(i)
                + ".mp4\n";
        }
        text += "#EXTINF:-1 group-title=\"A\",The NAME S01E01\nhttp://list.test/series/last.mp4\n";
        const Result<M3uCatalogue> read = M3uSource::parse(text, QUrl("http://list.test/mine.m3u"));
        QVERIFY(read);
        const std::vector<quint32> places = read->places(Section::series);
        QCOMPARE(places.size(), size_t(count + 1));

        // The rule: a word-initial S, one to three digits, separators, E, one to four digits, and
        // no letter, digit or '_' after; the title before it without its separators.
        const QRegularExpression rule(uR"((?<![\p{L}\p{N}_])[Ss](\d{1,3})(?!\d)[\s._-]*[Ee](\d{1,4})(?![\p{L}\p{N}_]))"_s,
                                      QRegularExpression::UseUnicodePropertiesOption);
        const QRegularExpression separatorsAtEnd(uR"([\s._-]+$)"_s, QRegularExpression::UseUnicodePropertiesOption);
        QStringList expected;
        QHash<QString, qsizetype> named;
        QList<QList<std::array<qint64, 3>>> episodes;
        int marked = 0;
        for (const quint32 place : places) {
            const QString name = read->nameAt(place);
            const QRegularExpressionMatch match = rule.match(name);
            QString title = match.hasMatch() ? name.first(match.capturedStart()) : QString();
            title.remove(separatorsAtEnd);
            if (title.isEmpty()) {
                expected.append(read->itemAt(place).id + QLatin1Char('|') + name);
                episodes.append(QList<std::array<qint64, 3>>{{qint64(place), 1, 1}});
                continue;
            }
            ++marked;
            const QString show = title.replace(QLatin1Char('.'), QLatin1Char(' ')).simplified();
            const QString id = "show:" + read->categoryIdAt(place) + QLatin1Char(':') + show.toLower();
            if (!named.contains(id)) {
                named.insert(id, expected.size());
                expected.append(id + QLatin1Char('|') + show);
                episodes.emplaceBack();
            }
            episodes[named.value(id)].append({qint64(place), match.captured(1).toInt(), match.captured(2).toInt()});
        }
        QVERIFY(marked > count / 5);
        QVERIFY(named.contains("show:" + M3uReader::groupId(u"A"_s) + ":the name"));
        for (auto &list : episodes)
            std::stable_sort(list.begin(), list.end(),
                             [](const auto &a, const auto &b) { return std::tie(a[1], a[2]) < std::tie(b[1], b[2]); });
        for (int runs : {1, 3}) {
            const M3uLibrary::Shows grouped = M3uLibrary::groupShows(*read, runs);
            QStringList shows;
            QList<QList<std::array<qint64, 3>>> made;
            for (qsizetype s = 0; s < grouped.shows.size(); ++s) {
                shows.append(grouped.shows[s].id + QLatin1Char('|') + grouped.shows[s].name);
                made.emplaceBack();
                for (const M3uLibrary::EpisodeAt &at : grouped.episodes[size_t(s)])
                    made.last().append({qint64(at.place), at.season, at.number});
            }
            QCOMPARE(shows, expected);
            QVERIFY(made == episodes);
        }
    }

    // The episode records made when a show opens are those of its entries, in order.
    void episodesAreTheEntries()
    {
        const QByteArray text = "#EXTM3U\n"
                                "#EXTINF:-1 tvg-logo=\"http://list.test/b.png\" group-title=\"D\",Name S01E02\n"
                                "http://list.test/series/b.mkv\n"
                                "#EXTINF:-1 group-title=\"D\",Name S01E01\n"
                                "http://list.test/series/a.mp4\n"
                                "#EXTINF:-1 group-title=\"D\",Alone\n"
                                "http://list.test/series/c.avi\n";
        Result<M3uCatalogue> read = M3uSource::parse(text, QUrl("http://list.test/mine.m3u"));
        QVERIFY(read);
        const QList<MediaItem> entries = read->items(Section::series);
        const auto library = M3uLibrary::make(std::move(read).value());
        const QList<MediaItem> &shows = library->items[size_t(Section::series)];
        QCOMPARE(shows.size(), 2);
        const QList<Episode> named = library->episodes(shows[0].id);
        QCOMPARE(named.size(), 2);
        QCOMPARE(named[0].id, entries[1].id);
        QCOMPARE(named[0].title, QStringLiteral("Name S01E01"));
        QCOMPARE(named[0].containerExt, QStringLiteral("mp4"));
        QCOMPARE(named[1].id, entries[0].id);
        QCOMPARE(named[1].image, QStringLiteral("http://list.test/b.png"));
        QCOMPARE(named[1].episodeNum, 2);
        const QList<Episode> alone = library->episodes(shows[1].id);
        QCOMPARE(alone.size(), 1);
        QCOMPARE(alone[0].id, entries[2].id);
        QCOMPARE(alone[0].season, 1);
        QCOMPARE(alone[0].episodeNum, 1);
        QVERIFY(library->episodes(QStringLiteral("show:D:nobody")).isEmpty());
    }

    // A big list read in pieces side by side groups as one read does.
    void piecesGroupAsOne()
    {
        const Result<M3uCatalogue> read =
            M3uSource::parse(bigList(QStringLiteral("http://list.test"), 30000), QUrl("http://list.test/mine.m3u"));
        QVERIFY(read);
        const auto flat = [](const M3uLibrary::Shows &grouped) {
            QStringList out;
            for (qsizetype s = 0; s < grouped.shows.size(); ++s) {
                QString line = grouped.shows[s].id + QLatin1Char('|') + grouped.shows[s].name;
                for (const M3uLibrary::EpisodeAt &at : grouped.episodes[size_t(s)])
                    line += QStringLiteral(" %1:%2:%3").arg(at.place).arg(at.season).arg(at.number);
                out.append(line);
            }
            return out;
        };
        const QStringList one = flat(M3uLibrary::groupShows(*read, 1));
        // 50 titles in each of 13 groups, and past 9,999 a number too long to mark an episode.
        QCOMPARE(one.size(), 650 + 6667);
        QCOMPARE(flat(M3uLibrary::groupShows(*read, 4)), one);
        QCOMPARE(flat(M3uLibrary::groupShows(*read, 7)), one);
    }

    // The library's records are made in pieces side by side: each section's list is the one a
    // record at a time gives, in list order, and the shows those one run groups.
    void libraryRecordsEqualOneAtATime_data()
    {
        QTest::addColumn<QByteArray>("list");
        QByteArray accented = "#EXTM3U\n";
        for (int i = 0; i < 40000; ++i) {
            const QByteArray n = QByteArray::number(i);
            const QByteArray name = i % 4 == 0 ? "Café Noël " + n : i % 4 == 1 ? "Журнал " + n : "Show " + QByteArray::number(i % 97) + " S01E" + n;
            const QByteArray kind = i % 4 == 2 ? "series" : i % 4 == 1 ? "live" : "movie";
            accented += "#EXTINF:-1 tvg-id=\"" + (i % 3 ? "id" + n : QByteArray()) + "\" tvg-logo=\""
                + (i % 5 ? "http://logo.test/" + n + ".png" : QByteArray()) + "\" group-title=\"Grüppe " + QByteArray::number(i % 11)
                + "\"" + (i % 7 == 0 ? " catchup=\"shift\" catchup-days=\"4\"" : "") + "," + name + "\nhttp://list.test/"
                + kind + "/" + n + (i % 2 ? ".mkv" : ".mp4") + "\n";
        }
        QTest::newRow("mixed, in turn") << bigList(QStringLiteral("http://list.test"), 60000);
        QTest::newRow("sectioned") << sectionedList(QStringLiteral("http://list.test"), 20000, 20000, 45000);
        QTest::newRow("names beyond ASCII, empty fields") << accented;
        QTest::newRow("a few entries") << listText(QStringLiteral("http://list.test"));
        // Bytes that are not UTF-8, a cut sequence at a name's end, a byte-order mark inside.
        QTest::newRow("not UTF-8") << QByteArray("#EXTM3U\n#EXTINF:-1 tvg-id=\"a\xff\",Bad \xfe name\nhttp://list.test/movie/1.mp4\n"
                                                 "#EXTINF:-1,Cut \xc3\nhttp://list.test/live/2.ts\n"
                                                 "#EXTINF:-1,\xef\xbb\xbfMarked\nhttp://list.test/live/3.ts\n");
    }

    void libraryRecordsEqualOneAtATime()
    {
        QFETCH(QByteArray, list);
        Result<M3uCatalogue> read = M3uSource::parse(list, QUrl("http://list.test/mine.m3u"));
        QVERIFY(read);
        const QList<MediaItem> live = M3uLibrary::withPlayableArchives(*read, read->items(Section::live));
        const QList<MediaItem> movies = read->items(Section::movies);
        const M3uLibrary::Shows shows = M3uLibrary::groupShows(*read, 1);
        const auto library = M3uLibrary::make(std::move(read).value());
        QCOMPARE(library->items[size_t(Section::live)], live);
        QCOMPARE(library->items[size_t(Section::movies)], movies);
        QCOMPARE(library->items[size_t(Section::series)], shows.shows);
        QCOMPARE(library->showAt, shows.showAt);
        QCOMPARE(library->showEpisodes.size(), shows.episodes.size());
        for (size_t s = 0; s < shows.episodes.size(); ++s) {
            const auto &made = library->showEpisodes[s];
            const auto &one = shows.episodes[s];
            QCOMPARE(made.size(), one.size());
            for (size_t e = 0; e < one.size(); ++e)
                QVERIFY(made[e].place == one[e].place && made[e].season == one[e].season && made[e].number == one[e].number);
        }
        // Ids are the entries' keys as sixteen lower-case hex digits, and name their streams.
        for (Section section : {Section::live, Section::movies}) {
            for (const MediaItem &item : library->items[size_t(section)]) {
                QCOMPARE(item.id.size(), 16);
                QVERIFY(std::all_of(item.id.cbegin(), item.id.cend(), [](QChar c) {
                    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'));
                }));
            }
            if (!library->items[size_t(section)].isEmpty())
                QVERIFY(library->catalogue->stream(library->items[size_t(section)].last().id));
        }
    }

    // Channels listed twice under one id play the first entry's stream, so the first entry's
    // archive decides for both; a channel never gains an archive its own entry does not claim.
    void archivesFollowTheFirstEntryOfAnId()
    {
        const QByteArray list = "#EXTM3U\n"
                                "#EXTINF:-1 tvg-id=\"one\" catchup=\"default\",One\nhttp://tv.test/live/a/1.ts\n"
                                "#EXTINF:-1 tvg-id=\"one\" catchup=\"shift\" group-title=\"Other\",One\nhttp://tv.test/live/b/1.ts\n"
                                "#EXTINF:-1 tvg-id=\"two\" catchup=\"shift\",Two\nhttp://tv.test/live/a/2.ts\n"
                                "#EXTINF:-1 tvg-id=\"two\" catchup=\"default\" group-title=\"Other\",Two\nhttp://tv.test/live/b/2.ts\n"
                                "#EXTINF:-1 tvg-id=\"two\" group-title=\"Third\",Two\nhttp://tv.test/live/c/2.ts\n"
                                "#EXTINF:-1 tvg-id=\"three\",Three\nhttp://tv.test/live/a/3.ts\n"
                                "#EXTINF:-1 tvg-id=\"three\" catchup=\"shift\" group-title=\"Other\",Three\nhttp://tv.test/live/b/3.ts\n"
                                "#EXTINF:-1 tvg-id=\"four\" catchup=\"default\" "
                                "catchup-source=\"http://tv.test/arc/{utc}-{duration}.ts?t={offset}&d={Y}{m}{d}\",Four\n"
                                "http://tv.test/live/a/4.ts\n"
                                "#EXTINF:-1 tvg-id=\"five\" catchup=\"default\" catchup-source=\"{utc}/relative.ts\",Five\n"
                                "http://tv.test/live/a/5.ts\n";
        Result<M3uCatalogue> read = M3uSource::parse(list, QUrl("http://tv.test/mine.m3u"));
        QVERIFY(read);
        const QList<MediaItem> oneByOne = M3uLibrary::withPlayableArchives(*read, read->items(Section::live));
        const auto library = M3uLibrary::make(std::move(read).value());
        const QList<MediaItem> &live = library->items[size_t(Section::live)];
        QCOMPARE(live.size(), 9);
        QCOMPARE(live[0].id, live[1].id); // the same channel, as the test means
        QList<bool> archived;
        for (const MediaItem &channel : live)
            archived.append(channel.tvArchive);
        QCOMPARE(archived, (QList<bool>{false, false, true, true, false, false, false, true, false}));
        QCOMPARE(live, oneByOne);
    }

    void savedAndRestored()
    {
        {
            auto store = connected(true);
            store->setHidden({categoryId(*store, Section::live, "Sport")}, Section::live);
            QCOMPARE(f->rawPreference("mavu.playlist/m3u").toString(), listAddress());
            QVERIFY(!f->rawPreference("mavu.playlist/host").isValid());
        }
        auto store = f->makeStore();
        await(store->start());
        QVERIFY(store->playlist());
        QVERIFY(store->playlist()->isM3u());
        QCOMPARE(store->playlist()->host, listAddress());
        await(store->enterBrowse());
        QCOMPARE(store->phase(), AppStore::Phase::home);
        QCOMPARE(store->allLive().size(), 4);
        QCOMPARE(f->accountRequests(), 0);
        // Groups keep their ids across reads: the hidden one stays hidden.
        await(store->openSection(Section::live));
        QCOMPARE(namesOf(store->categories()).mid(2), (QStringList{"News", "Adult XXX"}));
    }

    void keptAcrossStarts()
    {
        TestSupport::TempFolder folder;
        {
            auto store = f->makeStore();
            store->setCatalogueCacheFolder(folder.path());
            serveList(listText(f->server().base()));
            await(store->connect(Playlist::m3u(listAddress()), true));
            store->catalogueCache().waitForDone();
            QTRY_VERIFY(QFile::exists(store->catalogueCache().filePath(*store->playlist())));
        }
        // The next start opens from the kept copy even while the list cannot be read, and
        // plays once it can.
        serveList({}, 503);
        auto store = f->makeStore();
        store->setCatalogueCacheFolder(folder.path());
        await(store->start());
        await(store->enterBrowse());
        QCOMPARE(store->phase(), AppStore::Phase::home);
        QVERIFY(!store->hasConnectError());
        QCOMPARE(namesOf(store->latestMovies()), (QStringList{"Big Movie", "Small Movie"}));
        serveList(listText(f->server().base()));
        await(store->openSection(Section::live));
        const MediaItem first = store->items().value(0);
        QVERIFY(!first.id.isEmpty());
        await(store->play(first));
        QTRY_VERIFY(store->nowPlayingURL());
        QVERIFY(store->nowPlayingURL()->path().startsWith("/live/"));
    }

    void localFile()
    {
        TestSupport::TempFolder folder;
        QFile file(folder.file("mine.m3u"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(listText(f->server().base()));
        file.close();
        auto store = f->makeStore();
        await(store->connect(Playlist::m3u(QUrl::fromLocalFile(file.fileName()).toString()), true));
        QCOMPARE(store->phase(), AppStore::Phase::home);
        QCOMPARE(store->playlist()->host, file.fileName());
        QCOMPARE(store->allLive().size(), 4);
    }

    // A file is read a piece at a time through the helper, as an answer arrives: the same
    // catalogue as a whole read, or the same failure.
    void fileReadInPiecesEqualsAWholeRead_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("list"); // what a whole read is given
        QTest::addColumn<int>("piece");
        QTest::addColumn<qint64>("maxBytes");
        QTest::addColumn<int>("failure"); // -1: none

        const QByteArray list = bigList(QStringLiteral("http://list.test"), 3000);
        QByteArray windows = "\xEF\xBB\xBF" + list;
        windows.replace("\n", "\r\n");
        const int none = -1;
        QTest::newRow("pieces cut inside lines") << list << list << 997 << qint64(1 << 30) << none;
        QTest::newRow("one piece") << list << list << (1 << 20) << qint64(1 << 30) << none;
        QTest::newRow("BOM and CRLF") << windows << windows << 1 << qint64(1 << 30) << none;
        QTest::newRow("gzipped") << gzipped(list) << list << 4096 << qint64(1 << 30) << none;
        QTest::newRow("over the size bound") << list << list << 997 << qint64(list.size() - 1) << int(Failure::Kind::tooLarge);
        // A gzip header, then a block of a kind that does not exist.
        QTest::newRow("broken gzip") << QByteArray("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10) + QByteArray(5000, '\xff') << list << 997
                                     << qint64(1 << 30) << int(Failure::Kind::notUnderstood);
        QTest::newRow("missing") << QByteArray() << list << 997 << qint64(1 << 30) << int(Failure::Kind::unreachable);
    }

    void fileReadInPiecesEqualsAWholeRead()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, list);
        QFETCH(int, piece);
        QFETCH(qint64, maxBytes);
        QFETCH(int, failure);
        TestSupport::TempFolder folder;
        const QString path = folder.file(QStringLiteral("list.m3u"));
        if (!file.isEmpty()) {
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(file);
        }
        const QUrl base = QUrl::fromLocalFile(path);
        M3uArrival arrival(base, piece);
        const Result<M3uCatalogue> pieces = arrival.readFile(path, maxBytes);
        if (failure >= 0) {
            QVERIFY(!pieces.ok());
            QCOMPARE(int(pieces.failure().kind), failure);
            return;
        }
        QVERIFY(pieces.ok());
        const Result<M3uCatalogue> whole = M3uSource::parse(list, base);
        QVERIFY(whole.ok());
        QCOMPARE(pieces->size(), whole->size());
        QCOMPARE(pieces->guideURL(), whole->guideURL());
        for (Section section : allCases<Section>()) {
            QCOMPARE(namesOf(pieces->categories(section)), namesOf(whole->categories(section)));
            QCOMPARE(entriesOf(pieces->items(section)), entriesOf(whole->items(section)));
        }
    }

    // A long local file gives home the whole list's rows, and every section the whole list.
    void longLocalFile()
    {
        TestSupport::TempFolder folder;
        QFile file(folder.file(QStringLiteral("long.m3u")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        const QByteArray list = sectionedList(f->server().base(), 20000, 20000, 30000);
        QVERIFY(list.size() > 3 * (1 << 20));
        file.write(list);
        file.close();
        const QUrl base = QUrl::fromLocalFile(file.fileName());
        const auto [movies, shows] = wholeRows(list, base);
        auto store = f->makeStore();
        await(store->connect(Playlist::m3u(base.toString()), false));
        QTRY_VERIFY(!store->loadingHome());
        QCOMPARE(store->latestMovies(), movies);
        QCOMPARE(store->latestSeries(), shows);
        QCOMPARE(store->allLive().size(), 20000);
        QCOMPARE(store->allVods().size(), 20000);
        QCOMPARE(store->allSeries().size(), 10000);
    }

    void failuresAreSaidAndRetried_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("words");

        QTest::newRow("missing") << 404 << QByteArray() << "Couldn't read that playlist. Check the address or the file.";
        QTest::newRow("a web page") << 200 << QByteArray("<html><body>Sign in</body></html>")
                                    << "That isn't an M3U playlist, or it has no channels.";
        QTest::newRow("server error") << 500 << QByteArray() << "The server ran into a problem (error 500).";
    }

    void failuresAreSaidAndRetried()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, words);
        serveList(body, status);
        auto store = f->makeStore();
        await(store->connect(Playlist::m3u(listAddress()), true));
        QCOMPARE(store->phase(), AppStore::Phase::check);
        QCOMPARE(store->connectError(), std::optional<QString>(words));
        QVERIFY(!f->rawPreference("mavu.playlist/m3u").isValid());

        serveList(listText(f->server().base()));
        store->failures()->retry(Failures::Place::connect);
        QTRY_COMPARE(store->phase(), AppStore::Phase::home);
        QVERIFY(!store->hasConnectError());
    }

    // The body as the network shows it: growing by `step` bytes, read in pieces of `piece`,
    // copied out or (an answer that gave its length) read in place.
    void readWhileArrivingEqualsAWholeRead_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("piece");
        QTest::addColumn<bool>("restarted");
        QTest::addColumn<bool>("inPlace");
        // The second half read on a thread of its own: 1 surely, 0 surely not, -1 as the helper
        // happens to lag behind the pieces.
        QTest::addColumn<int>("inTwo");

        const QByteArray list = bigList(QStringLiteral("http://list.test"), 3000);
        QByteArray windows = "\xEF\xBB\xBF" + list;
        windows.replace("\n", "\r\n");
        for (const bool inPlace : {false, true}) {
            const auto row = [inPlace](const char *name) -> QTestData & {
                return QTest::addRow("%s%s", inPlace ? "in place, " : "", name);
            };
            const int either = inPlace ? -1 : 0;
            row("one piece at the end") << list << 4096 << (1 << 20) << false << inPlace << 0;
            row("pieces cut inside lines") << list << 1013 << 997 << false << inPlace << either;
            row("byte by byte") << list.left(20000) << 1 << 1 << false << inPlace << either;
            row("BOM and CRLF split between pieces") << windows << 777 << 1 << false << inPlace << either;
            // A redirect or a retry: what an earlier answer showed is void.
            row("a second answer begins") << list << 2048 << 4096 << true << inPlace << either;
            // The whole body at once: the helper starts with every piece there.
            const int inTwo = inPlace ? 1 : 0;
            row("all at once") << list << int(list.size()) << 997 << false << inPlace << inTwo;
            row("all at once, BOM and CRLF, byte pieces") << windows << int(windows.size()) << 1 << false << inPlace
                                                          << inTwo;
            // Too few pieces to share.
            row("all at once in three pieces") << list << int(list.size()) << int(list.size() / 3 + 1) << false
                                               << inPlace << 0;
            // Without a header line a relative address after the cut could not tell how to read.
            const QByteArray headless = list.sliced(list.indexOf('\n') + 1);
            row("all at once, no header line") << headless << int(headless.size()) << 997 << false << inPlace << 0;
        }
    }

    void readWhileArrivingEqualsAWholeRead()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, step);
        QFETCH(int, piece);
        QFETCH(bool, restarted);
        QFETCH(bool, inPlace);
        QFETCH(int, inTwo);
        const QUrl base(QStringLiteral("http://list.test/get.m3u"));
        M3uArrival arrival(base, piece);
        arrival.begin();
        if (restarted) {
            const QByteArray other = bigList(QStringLiteral("http://other.test"), 500);
            QCOMPARE(arrival.settled(), true);
            arrival.received(other);
            arrival.begin();
        }
        if (inPlace)
            QCOMPARE(arrival.settled(), true);
        for (qsizetype at = step; at < body.size(); at += step)
            arrival.received(QByteArrayView(body).first(at));
        std::optional<Result<M3uCatalogue>> pieces = arrival.finish(body);
        QVERIFY(pieces);
        QVERIFY(pieces->ok());
        if (inTwo >= 0)
            QCOMPARE(arrival.readInTwo(), inTwo == 1);
        const Result<M3uCatalogue> whole = M3uSource::parse(body, base);
        QVERIFY(whole.ok());
        QCOMPARE((*pieces)->size(), whole->size());
        QCOMPARE((*pieces)->guideURL(), whole->guideURL());
        QCOMPARE((*pieces)->skippedLines(), whole->skippedLines());
        for (Section section : allCases<Section>()) {
            QCOMPARE(namesOf((*pieces)->categories(section)), namesOf(whole->categories(section)));
            QCOMPARE(entriesOf((*pieces)->items(section)), entriesOf(whole->items(section)));
            QVERIFY((*pieces)->items(section) == whole->items(section));
        }
    }

    // A big body that is all in reads in two halves on two threads: as one reader reads it.
    void wholeBodyInTwoEqualsOne()
    {
        const QUrl base(QStringLiteral("http://list.test/get.m3u"));
        const QByteArray body = bigList(QStringLiteral("http://list.test"), 110000);
        QVERIFY(body.size() > 8 << 20);
        M3uReader one(base);
        one.feed(body);
        const Result<M3uCatalogue> whole = one.finish();
        QVERIFY(whole.ok());
        const Result<M3uCatalogue> halves = M3uSource::parse(body, base);
        QVERIFY(halves.ok());
        QCOMPARE(halves->size(), whole->size());
        QCOMPARE(halves->guideURL(), whole->guideURL());
        for (Section section : allCases<Section>()) {
            QCOMPARE(namesOf(halves->categories(section)), namesOf(whole->categories(section)));
            QCOMPARE(entriesOf(halves->items(section)), entriesOf(whole->items(section)));
            // Every field, channel numbers too.
            QVERIFY(halves->items(section) == whole->items(section));
        }
    }

    void arrivalWithoutAnAnswer()
    {
        // Never begun (an answer other than 200): the whole read decides.
        M3uArrival unwatched(QUrl(QStringLiteral("http://list.test/")));
        QVERIFY(!unwatched.finish("#EXTM3U\n"));
        // Abandoned mid-way (a cut answer, a cancel): nothing comes out.
        M3uArrival cut(QUrl(QStringLiteral("http://list.test/")), 64);
        cut.begin();
        const QByteArray list = bigList(QStringLiteral("http://list.test"), 200);
        cut.received(QByteArrayView(list).first(list.size() / 2));
        cut.abandon();
        QVERIFY(!cut.finish(list));
    }

    // Home's rows go out as each fills (a list's newest are its first entries, so they are the
    // whole list's rows), or past the byte bound whatever they hold; never for a list that ends
    // or is given up before, and never with an entry cut short.
    void firstPartByTheRule_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("mostBytes");
        QTest::addColumn<bool>("abandoned");
        QTest::addColumn<int>("parts");
        QTest::addColumn<bool>("moviesFirst"); // the first of two parts holds the movies only
        QTest::addColumn<bool>("atOnce");      // the last byte comes without waiting for the reader

        const QByteArray list = bigList(QStringLiteral("http://list.test"), 3000);
        const QByteArray sectioned = sectionedList(QStringLiteral("http://list.test"), 200, 400, 300);
        QByteArray channels = "#EXTM3U\n";
        for (int i = 0; i < 3000; ++i)
            channels += "#EXTINF:-1 group-title=\"News\",Channel " + QByteArray::number(i) + "\nhttp://list.test/live/"
                + QByteArray::number(i) + ".ts\n";
        QTest::newRow("movies and shows in turn") << list << (64 << 20) << false << 1 << false << false;
        QTest::newRow("movies before shows") << sectioned << (64 << 20) << false << 2 << true << false;
        QTest::newRow("channels only, past the byte bound") << channels << (16 << 10) << false << 1 << false << false;
        QTest::newRow("the list ends before a row fills")
            << sectionedList(QStringLiteral("http://list.test"), 3000, 9, 27) << (64 << 20) << false << 0 << false << false;
        QTest::newRow("given up before a row fills") << sectioned << (64 << 20) << true << 0 << false << false;
        // A fast server: the last byte long before the reader reaches the rows.
        QTest::newRow("movies before shows, all in at once") << sectioned << (64 << 20) << false << 2 << true << true;
        QTest::newRow("the list ends before a row fills, all in at once")
            << sectionedList(QStringLiteral("http://list.test"), 3000, 9, 27) << (64 << 20) << false << 0 << false << true;
    }

    void firstPartByTheRule()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, mostBytes);
        QFETCH(bool, abandoned);
        QFETCH(int, parts);
        QFETCH(bool, moviesFirst);
        QFETCH(bool, atOnce);
        const QUrl base(QStringLiteral("http://list.test/get.m3u"));
        // Pieces cut inside lines: a part ends on an unfinished address more often than not.
        M3uArrival arrival(base, 997);
        QMutex mutex;
        std::vector<M3uFirstPart> taken;
        arrival.watchFirstPart({.rowLength = AppStore::homeRowLength, .mostBytes = mostBytes}, [&](M3uFirstPart part) {
            QMutexLocker lock(&mutex);
            taken.push_back(std::move(part));
        });
        arrival.begin();
        const qsizetype shown = abandoned ? 1500 : body.size();
        for (qsizetype at = 1013; at < shown; at += 1013)
            arrival.received(QByteArrayView(body).first(at));
        const auto read = [&] {
            QMutexLocker lock(&mutex);
            return taken;
        };
        if (parts == 0) {
            if (abandoned)
                arrival.abandon();
            else
                QVERIFY(wholeRead(arrival, body));
            // Nothing to wait for: a little time for a helper that would wrongly hand one out.
            QTest::qWait(100);
            QVERIFY(read().empty());
            return;
        }
        // Before the last byte: once the whole list is read, its first part is not wanted.
        if (!atOnce)
            QTRY_COMPARE(read().size(), size_t(parts));
        QVERIFY(wholeRead(arrival, body));
        QCOMPARE(read().size(), size_t(parts));
        const auto [movies, shows] = wholeRows(body, base);
        const std::vector<M3uFirstPart> got = read();
        for (size_t i = 0; i < got.size(); ++i) {
            const bool last = i + 1 == got.size();
            QCOMPARE(got[i].complete, last);
            QCOMPARE(got[i].movies, movies);
            QCOMPARE(got[i].shows, last || !moviesFirst ? shows : QList<MediaItem>());
        }
    }

    // A whole body read in two halves at once: home's rows come from the first half, and those
    // it left short from the second once it is joined on, before the records of the whole.
    void homeRowsPastTheCut_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("parts");
        QTest::addColumn<bool>("moviesFirst");
        const QString base = QStringLiteral("http://list.test");
        QTest::newRow("both rows before the cut") << bigList(base, 3000) << 1 << false;
        QTest::newRow("the movies, then the shows, before the cut") << sectionedList(base, 20, 30, 6000) << 2 << true;
        QTest::newRow("the shows past the cut") << sectionedList(base, 200, 3000, 300) << 2 << true;
        QTest::newRow("both rows past the cut") << sectionedList(base, 6000, 30, 60) << 1 << false;
    }

    void homeRowsPastTheCut()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, parts);
        QFETCH(bool, moviesFirst);
        const QUrl base(QStringLiteral("http://list.test/get.m3u"));
        M3uArrival arrival(base, 997);
        QMutex mutex;
        std::vector<M3uFirstPart> taken;
        arrival.watchFirstPart({.rowLength = AppStore::homeRowLength}, [&](M3uFirstPart part) {
            QMutexLocker lock(&mutex);
            taken.push_back(std::move(part));
        });
        arrival.begin();
        QVERIFY(arrival.settled());
        QVERIFY(wholeRead(arrival, body));
        QVERIFY(arrival.readInTwo());
        const auto [movies, shows] = wholeRows(body, base);
        QMutexLocker lock(&mutex);
        QCOMPARE(taken.size(), size_t(parts));
        for (size_t i = 0; i < taken.size(); ++i) {
            const bool last = i + 1 == taken.size();
            QCOMPARE(taken[i].complete, last);
            QCOMPARE(taken[i].movies, movies);
            QCOMPARE(taken[i].shows, last || !moviesFirst ? shows : QList<MediaItem>());
        }
    }

    // An answer that stalls is read up to its last whole piece, however its bytes were grouped
    // when they came: past the byte bound, home gets its part while the rest is awaited.
    void aStalledAnswerIsReadToItsLastWholePiece_data()
    {
        QTest::addColumn<QList<int>>("arrived"); // the body's length each time more came
        QTest::addColumn<bool>("partGiven");     // 2,000 bytes fed, the bound

        QTest::newRow("pieces as they come") << QList<int>{1000, 2000} << true;
        QTest::newRow("more than a piece, then the rest") << QList<int>{1500, 2100} << true;
        QTest::newRow("one jump past two pieces") << QList<int>{2900} << true;
        QTest::newRow("short of the second piece") << QList<int>{1500, 1999} << false;
    }

    void aStalledAnswerIsReadToItsLastWholePiece()
    {
        QFETCH(QList<int>, arrived);
        QFETCH(bool, partGiven);
        QByteArray channels = "#EXTM3U\n";
        for (int i = 0; i < 200; ++i)
            channels += "#EXTINF:-1 group-title=\"News\",Channel " + QByteArray::number(i) + "\nhttp://list.test/live/"
                + QByteArray::number(i) + ".ts\n";
        M3uArrival arrival(QUrl(QStringLiteral("http://list.test/get.m3u")), 1000);
        QMutex mutex;
        int parts = 0;
        arrival.watchFirstPart({.rowLength = AppStore::homeRowLength, .mostBytes = 2000}, [&](M3uFirstPart) {
            QMutexLocker lock(&mutex);
            ++parts;
        });
        arrival.begin();
        for (int length : arrived)
            arrival.received(QByteArrayView(channels).first(length));
        const auto given = [&] {
            QMutexLocker lock(&mutex);
            return parts;
        };
        if (partGiven) {
            QTRY_COMPARE(given(), 1);
        } else {
            QTest::qWait(100); // time for a helper that would wrongly read past what it was given
            QCOMPARE(given(), 0);
        }
        arrival.abandon();
    }

    // A list broken off while it is read in pieces, before it held enough for home, is never
    // taken as the whole list: the form says so.
    void aListCutWhileArrivingShowsNothing()
    {
        // Channels only: home would open on its first 64 MB, which this list never reaches.
        QByteArray list = "#EXTM3U\n";
        for (int i = 0; i < 40000; ++i) {
            const QByteArray n = QByteArray::number(i);
            list += "#EXTINF:-1 tvg-id=\"c" + n + "\" group-title=\"Group " + QByteArray::number(i % 13) + "\",Channel " + n + "\n"
                + f->server().base().toUtf8() + "/live/" + n + ".ts\n";
        }
        QVERIFY(list.size() > 3 * (1 << 20)); // several pieces go to the reader before the cut
        FakeServer::Reply reply = FakeServer::Reply::json(list);
        reply.contentType = "audio/x-mpegurl";
        reply.cutAfter = list.size() * 2 / 3;
        f->server().on(QStringLiteral("/lists/mine.m3u"), reply);
        auto store = f->makeStore();
        await(store->connect(Playlist::m3u(listAddress()), true));
        QCOMPARE(store->phase(), AppStore::Phase::check);
        QVERIFY(store->hasConnectError());
        QVERIFY(store->allLive().isEmpty());
        QVERIFY(!f->rawPreference("mavu.playlist/m3u").isValid());

        // Retry reads the list again, whole this time.
        reply.cutAfter.reset();
        f->server().on(QStringLiteral("/lists/mine.m3u"), reply);
        store->failures()->retry(Failures::Place::connect);
        QTRY_COMPARE(store->phase(), AppStore::Phase::home);
        QTRY_COMPARE(store->allLive().size(), 40000);
    }

    // A long list opens home on its first part: the rows from its first entries, the sections
    // and search waiting for the whole list, which then takes over in place, or whose failure
    // is told with Retry. A refresh or another list cancels the read still arriving.
    void homeOpensOnTheFirstPart_data()
    {
        QTest::addColumn<QString>("opened");
        QTest::addColumn<QString>("ending");

        for (const char *opened : {"home", "movies", "search"}) {
            for (const char *ending : {"whole", "broken off", "refresh", "another list"})
                QTest::addRow("%s, %s", opened, ending) << QString::fromLatin1(opened) << QString::fromLatin1(ending);
        }
    }

    void homeOpensOnTheFirstPart()
    {
        QFETCH(QString, opened);
        QFETCH(QString, ending);
        const QByteArray list = bigList(f->server().base(), 40000);
        FakeServer::Reply reply = FakeServer::Reply::json(list);
        reply.contentType = "audio/x-mpegurl";
        // Past the first piece handed to the reader, which holds enough for home.
        reply.cutAfter = (1 << 20) + 4096;
        reply.holdAtCut = true;
        f->server().on(QStringLiteral("/lists/mine.m3u"), reply);
        const Result<M3uSource::List> whole = M3uSource::library(M3uSource::parse(list, QUrl(listAddress())));
        QVERIFY(whole.ok());
        const QList<MediaItem> &movies = (*whole)->items[size_t(Section::movies)];

        auto store = f->makeStore();
        store->runConnectM3u(listAddress(), true);
        QTRY_COMPARE_WITH_TIMEOUT(store->phase(), AppStore::Phase::home, longReadMs);
        QTRY_VERIFY_WITH_TIMEOUT(!store->latestMovies().isEmpty() && !store->latestSeries().isEmpty(), longReadMs);
        QCOMPARE(f->server().held(), 1);
        // Rows only: no section holds a part of the list as if it were all of it.
        QVERIFY(store->loadingHome());
        QVERIFY(store->allLive().isEmpty() && store->allVods().isEmpty() && store->allSeries().isEmpty());
        for (const MediaItem &item : store->latestMovies())
            QVERIFY(std::any_of(movies.cbegin(), movies.cend(), [&](const MediaItem &movie) { return movie.id == item.id; }));
        QCOMPARE(f->rawPreference("mavu.playlist/m3u").toString(), listAddress());

        LibrarySearch *search = store->search();
        if (opened == QLatin1String("movies")) {
            store->runOpenSection(Section::movies);
            QTRY_COMPARE_WITH_TIMEOUT(store->phase(), AppStore::Phase::section, longReadMs);
            QVERIFY(store->loadingCategories());
            QVERIFY(store->items().isEmpty());
        } else if (opened == QLatin1String("search")) {
            search->setText(QStringLiteral("Movie 1"));
            QTRY_VERIFY_WITH_TIMEOUT(search->movies()->loading(), longReadMs);
            QCOMPARE(search->movies()->count(), 0);
        }

        if (ending == QLatin1String("whole")) {
            f->server().sendRestOfHeld();
            QTRY_COMPARE_WITH_TIMEOUT(store->allVods().size(), movies.size(), longReadMs);
            QTRY_VERIFY_WITH_TIMEOUT(!store->loadingHome(), longReadMs);
            QCOMPARE(store->latestMovies(), Catalogue::newest(store->allVods(), AppStore::homeRowLength));
            QVERIFY(!store->failures()->at(Failures::Place::home));
            if (opened == QLatin1String("movies")) {
                QTRY_VERIFY_WITH_TIMEOUT(!store->loadingCategories(), longReadMs);
                QCOMPARE(store->selectedCategory()->name, QStringLiteral("Group 1"));
                // The group's list may still be cut from the order being made on a worker.
                QTRY_VERIFY_WITH_TIMEOUT(!store->loadingItems(), longReadMs);
                QCOMPARE(entriesOf(store->items()), entriesOf((*whole)->catalogue->items(Section::movies, store->selectedCategory()->id)));
            } else if (opened == QLatin1String("search")) {
                QTRY_VERIFY_WITH_TIMEOUT(!search->movies()->loading(), longReadMs);
                QVERIFY(search->movies()->count() > 0);
            }
            QCOMPARE(listReads(), 1);
            return;
        }

        if (ending == QLatin1String("broken off")) {
            f->server().hangUpHeld();
            if (opened == QLatin1String("movies")) {
                QTRY_VERIFY_WITH_TIMEOUT(store->failures()->at(Failures::Place::items), longReadMs);
                QTRY_VERIFY_WITH_TIMEOUT(!store->loadingCategories(), longReadMs);
                QVERIFY(store->items().isEmpty());
            } else if (opened == QLatin1String("search")) {
                QTRY_VERIFY_WITH_TIMEOUT(!search->movies()->loading(), longReadMs);
                QVERIFY(search->movies()->failure().failed());
            }
            // Home says the list failed and offers Retry; its rows of the first part are gone.
            QTRY_VERIFY_WITH_TIMEOUT(store->failures()->at(Failures::Place::home), longReadMs);
            QVERIFY(!store->loadingHome());
            QVERIFY(store->latestMovies().isEmpty() && store->latestSeries().isEmpty());
            QVERIFY(store->allVods().isEmpty());
            QCOMPARE(store->phase(), opened == QLatin1String("movies") ? AppStore::Phase::section : AppStore::Phase::home);

            reply.holdAtCut = false;
            reply.cutAfter.reset();
            f->server().on(QStringLiteral("/lists/mine.m3u"), reply);
            store->failures()->retry(opened == QLatin1String("movies") ? Failures::Place::items : Failures::Place::home);
            QTRY_COMPARE_WITH_TIMEOUT(store->allVods().size(), movies.size(), longReadMs);
            QTRY_VERIFY_WITH_TIMEOUT(!store->failures()->at(opened == QLatin1String("movies") ? Failures::Place::items : Failures::Place::home), longReadMs);
            return;
        }

        // The read still arriving is hung up by the client, and nothing of it is told as a failure.
        if (ending == QLatin1String("refresh")) {
            serveList(listText(f->server().base()));
            store->runRefresh();
        } else {
            const QString other = f->server().base() + QStringLiteral("/lists/other.m3u");
            FakeServer::Reply small = FakeServer::Reply::json(listText(f->server().base()));
            small.contentType = "audio/x-mpegurl";
            f->server().on(QStringLiteral("/lists/other.m3u"), small);
            store->runConnectM3u(other, false);
        }
        QTRY_COMPARE_WITH_TIMEOUT(f->server().held(), 0, longReadMs);
        QTRY_COMPARE_WITH_TIMEOUT(namesOf(store->allVods()), (QStringList{"Big Movie", "Small Movie"}), longReadMs);
        if (opened == QLatin1String("movies") && ending == QLatin1String("refresh")) {
            // Refreshed in the section: its list is the new one's.
            QTRY_VERIFY_WITH_TIMEOUT(!store->loadingCategories(), longReadMs);
            QCOMPARE(namesOf(store->items()), (QStringList{"Big Movie", "Small Movie"}));
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(!store->loadingHome(), longReadMs);
            QCOMPARE(namesOf(store->latestMovies()), (QStringList{"Big Movie", "Small Movie"}));
        }
        if (opened == QLatin1String("search")) {
            QTRY_VERIFY_WITH_TIMEOUT(!search->movies()->loading(), longReadMs);
            QVERIFY(!search->movies()->failure().failed());
        }
        for (int place = 0; place < int(Failures::placeCount); ++place)
            QVERIFY(!store->failures()->at(Failures::Place(place)));
    }

    // A list that keeps its shows behind its movies opens home on the movies; the shows row
    // fills once the list reaches its shows, before the whole list is in. Rows read early are
    // the whole list's rows.
    void homeOpensOnTheMoviesBeforeTheShows_data()
    {
        QTest::addColumn<qsizetype>("held"); // bytes sent before the answer stops
        QTest::addColumn<bool>("showsShown");

        QTest::newRow("held before the shows") << qsizetype((1 << 20) + 4096) << false;
        QTest::newRow("held inside the shows") << qsizetype((2 << 20) + 4096) << true;
    }

    void homeOpensOnTheMoviesBeforeTheShows()
    {
        QFETCH(qsizetype, held);
        QFETCH(bool, showsShown);
        // About 1.6 MB of channels and movies before the first show.
        const QByteArray list = sectionedList(f->server().base(), 2000, 18000, 60000);
        const qsizetype showsAt = list.indexOf("/series/");
        QVERIFY(showsAt > (1 << 20) + 8192 && showsAt < 2 << 20);
        FakeServer::Reply reply = FakeServer::Reply::json(list);
        reply.contentType = "audio/x-mpegurl";
        reply.cutAfter = held;
        reply.holdAtCut = true;
        f->server().on(QStringLiteral("/lists/mine.m3u"), reply);
        const auto [movies, shows] = wholeRows(list, QUrl(listAddress()));

        auto store = f->makeStore();
        store->runConnectM3u(listAddress(), false);
        QTRY_COMPARE_WITH_TIMEOUT(store->phase(), AppStore::Phase::home, longReadMs);
        QTRY_COMPARE_WITH_TIMEOUT(store->latestMovies(), movies, longReadMs);
        if (showsShown)
            QTRY_COMPARE_WITH_TIMEOUT(store->latestSeries(), shows, longReadMs);
        else
            QTest::qWait(100); // a shows row would come with the same piece
        QCOMPARE(store->latestSeries(), showsShown ? shows : QList<MediaItem>());
        QCOMPARE(f->server().held(), 1);
        QVERIFY(store->loadingHome());
        QVERIFY(store->allVods().isEmpty() && store->allSeries().isEmpty());

        f->server().sendRestOfHeld();
        QTRY_VERIFY_WITH_TIMEOUT(!store->loadingHome(), longReadMs);
        QCOMPARE(store->latestMovies(), movies);
        QCOMPARE(store->latestSeries(), shows);
        QCOMPARE(store->allSeries().size(), 20000);
        QVERIFY(!store->failures()->at(Failures::Place::home));
    }

    void guideComesFromTheListsAddress()
    {
        auto store = connected();
        f->server().on("/guide.xml", FakeServer::Reply::json("<tv></tv>"));
        await(store->guide()->import());
        QCOMPARE(f->server().requestsTo("/guide.xml").size(), 1);
        QCOMPARE(f->server().requestsTo(QStringLiteral("/xmltv.php")).size(), 0);
    }

    // A list that names no guide has none, which is not a failure; one whose guide cannot be
    // fetched has failed, with Retry.
    void guideOrNone_data()
    {
        QTest::addColumn<QString>("header");
        QTest::addColumn<int>("guideStatus");
        QTest::addColumn<bool>("guideless");
        QTest::addColumn<bool>("failed");

        QTest::newRow("guide") << "#EXTM3U url-tvg=\"BASE/guide.xml\"" << 200 << false << false;
        QTest::newRow("other spelling") << "#EXTM3U x-tvg-url=\"BASE/guide.xml\"" << 200 << false << false;
        QTest::newRow("guide fails") << "#EXTM3U url-tvg=\"BASE/guide.xml\"" << 500 << false << true;
        QTest::newRow("no guide named") << "#EXTM3U" << 200 << true << false;
        QTest::newRow("a local guide") << "#EXTM3U url-tvg=\"file:///tmp/guide.xml\"" << 200 << true << false;
    }

    void guideOrNone()
    {
        QFETCH(QString, header);
        QFETCH(int, guideStatus);
        QFETCH(bool, guideless);
        QFETCH(bool, failed);
        const QString base = f->server().base();
        QByteArray body = listText(base);
        body.replace(listText(base).left(body.indexOf('\n')), QString(header).replace(QStringLiteral("BASE"), base).toUtf8());
        serveList(body);
        f->server().on("/guide.xml", FakeServer::Reply::json("<tv></tv>", guideStatus));
        auto store = f->makeStore();
        await(store->connect(Playlist::m3u(listAddress()), false));
        QCOMPARE(store->phase(), AppStore::Phase::home);

        ProgramGuide *guide = store->guide();
        await(guide->import());
        QCOMPARE(guide->guideless(), guideless);
        QCOMPARE(guide->hasFailure(), failed);
        QVERIFY(!guide->importing());
        QCOMPARE(f->server().requestsTo("/guide.xml").size(), guideless ? 0 : 1);
    }

    void providerAddressRecognised_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("host"); // empty: not a provider's list

        QTest::newRow("plus list") << "http://panel.test:8080/get.php?username=u&password=p&type=m3u_plus&output=ts"
                                   << "http://panel.test:8080";
        QTest::newRow("with a path prefix") << "https://panel.test/p/get.php?username=u&password=p"
                                            << "https://panel.test/p";
        QTest::newRow("blanks around") << "  http://panel.test/get.php?password=p&username=u  " << "http://panel.test";
        QTest::newRow("plain list") << "http://lists.test/mine.m3u" << "";
        QTest::newRow("credentials on another path") << "http://lists.test/list.m3u?username=u&password=p" << "";
        QTest::newRow("no password") << "http://panel.test/get.php?username=u&type=m3u" << "";
        QTest::newRow("empty user") << "http://panel.test/get.php?username=&password=p" << "";
        QTest::newRow("a file") << "/home/me/get.php?username=u&password=p" << "";
    }

    void providerAddressRecognised()
    {
        QFETCH(QString, typed);
        QFETCH(QString, host);
        const std::optional<Playlist> provider = Playlist::providerOfM3u(typed);
        QCOMPARE(provider.has_value(), !host.isEmpty());
        if (!provider)
            return;
        QCOMPARE(provider->host, host);
        QCOMPARE(provider->username, "u");
        QCOMPARE(provider->password, "p");
        QVERIFY(!provider->isM3u());
    }

    void listAddresses_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::addColumn<QUrl>("read");

        QTest::newRow("web") << " http://lists.test/a.m3u " << "http://lists.test/a.m3u" << QUrl("http://lists.test/a.m3u");
        QTest::newRow("file address") << "file:///tmp/x/../a.m3u" << "/tmp/a.m3u" << QUrl::fromLocalFile("/tmp/a.m3u");
        QTest::newRow("path") << "/tmp//a.m3u" << "/tmp/a.m3u" << QUrl::fromLocalFile("/tmp/a.m3u");
        QTest::newRow("other scheme") << "ftp://lists.test/a.m3u" << "ftp://lists.test/a.m3u" << QUrl();
        QTest::newRow("no address") << "lists" << "lists" << QUrl();
    }

    void listAddresses()
    {
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        QFETCH(QUrl, read);
        const Playlist playlist = Playlist::m3u(typed);
        QVERIFY(playlist.isM3u());
        QCOMPARE(playlist.host, kept);
        QCOMPARE(playlist.m3uURL().value_or(QUrl()), read);
        // A provider playlist of the same text is another playlist.
        QVERIFY(playlist != (Playlist{kept, {}, {}}));
    }

    void archiveAddresses_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("expected"); // empty: none

        const QString url = "http://tv.test/live/ch1.m3u8";
        QTest::newRow("shift") << "shift" << "" << url + "?utc=1000&lutc=5000";
        QTest::newRow("default template")
            << "default" << "http://tv.test/ch1/{Y}-{m}-{d}/{H}{M}.ts?from={utc}&len={duration}&to=${end}"
            << "http://tv.test/ch1/1970-01-01/0016.ts?from=1000&len=600&to=1600";
        QTest::newRow("append") << "append" << "?start={start}&now={lutc}" << url + "?start=1000&now=5000";
        QTest::newRow("default without source") << "default" << "" << "";
        QTest::newRow("unknown kind") << "mystery" << "" << "";
        QTest::newRow("template to a file") << "default" << "file:///etc/passwd?{utc}" << "";
        QTest::newRow("unknown placeholder kept") << "default" << "http://tv.test/{what}/{utc}"
                                                  << "http://tv.test/%7Bwhat%7D/1000";
        QTest::newRow("every placeholder")
            << "default"
            << "http://tv.test/{utcend}/{utc-end}/{end}/{start}/{lutc}/{now}/{timestamp}/{offset}/{S}?${utc}"
            << "http://tv.test/1600/1600/1600/1000/5000/5000/5000/4000/40?1000";
        QTest::newRow("names are case-sensitive") << "default" << "http://tv.test/{UTC}/{y}/{Y}"
                                                  << "http://tv.test/%7BUTC%7D/%7By%7D/1970";
        QTest::newRow("braces without a name") << "default" << "http://tv.test/{}/{utc" << "http://tv.test/%7B%7D/%7Butc";
    }

    void archiveAddresses()
    {
        QFETCH(QString, kind);
        QFETCH(QString, source);
        QFETCH(QString, expected);
        M3uStream stream;
        stream.url = "http://tv.test/live/ch1.m3u8";
        stream.catchup = kind;
        stream.catchupSource = source;
        const auto url = M3uArchive::address(stream, 1000, 1600, 5000);
        QCOMPARE(url.has_value(), !expected.isEmpty());
        if (url)
            QCOMPARE(url->toString(QUrl::FullyEncoded), expected);
    }

    // Archives a streaming server keeps beside the live path, for a programme from 1000 to 1600.
    void serverArchiveAddresses_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("live");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("expected"); // empty: none

        QTest::newRow("index") << "flussonic" << "http://tv.test/ch1/index.m3u8" << ""
                               << "http://tv.test/ch1/index-1000-600.m3u8";
        QTest::newRow("mono, token kept") << "flussonic" << "http://tv.test/ch1/mono.m3u8?token=a%26b" << ""
                                          << "http://tv.test/ch1/mono-1000-600.m3u8?token=a%26b";
        QTest::newRow("video, short kind") << "fs" << "https://tv.test:8443/a/b/video.m3u8" << ""
                                           << "https://tv.test:8443/a/b/video-1000-600.m3u8";
        QTest::newRow("kind in capitals") << "Flussonic" << "http://tv.test/ch1/INDEX.m3u8" << ""
                                          << "http://tv.test/ch1/INDEX-1000-600.m3u8";
        QTest::newRow("mpegts") << "flussonic" << "http://tv.test/ch1/mpegts?token=x" << ""
                                << "http://tv.test/ch1/timeshift_abs-1000.ts?token=x";
        QTest::newRow("ts file") << "fs" << "http://tv.test/ch1/live.ts" << ""
                                 << "http://tv.test/ch1/timeshift_abs-1000.ts";
        QTest::newRow("ts at the root") << "fs" << "http://tv.test/ch1.ts" << "" << "";
        QTest::newRow("other playlist name") << "flussonic" << "http://tv.test/ch1/playlist.m3u8" << "" << "";
        QTest::newRow("other name, template given")
            << "flussonic" << "http://tv.test/ch1/playlist.m3u8" << "http://tv.test/arc/ch1?from={utc}"
            << "http://tv.test/arc/ch1?from=1000";
        QTest::newRow("not an address") << "flussonic" << "index.m3u8" << "" << "";
    }

    void serverArchiveAddresses()
    {
        QFETCH(QString, kind);
        QFETCH(QString, live);
        QFETCH(QString, source);
        QFETCH(QString, expected);
        M3uStream stream;
        stream.url = live;
        stream.catchup = kind;
        stream.catchupSource = source;
        const auto url = M3uArchive::address(stream, 1000, 1600, 5000);
        QCOMPARE(url.value_or(QUrl()).toString(QUrl::FullyEncoded), expected);
    }
};

QTEST_GUILESS_MAIN(TestStoreM3u)
#include "tst_store_m3u.moc"
