#include "catalogue.h"

#include "jsonout.h"
#include "rng.h"

#include <QDateTime>
#include <QHash>
#include <QTimeZone>

#include <algorithm>
#include <array>
#include <numeric>

namespace Lab {

namespace {

using namespace Qt::StringLiterals;

// Keys of the generator's streams: one per kind of thing drawn.
enum Stream : quint64 { liveStream = 11, movieStream = 12, showStream = 13, showShape = 14, movieDetail = 15, showDetail = 16 };

constexpr int generatedImages = 8;
constexpr int generatedClips = 6;
constexpr int generatedMovies = 3;

const std::array regions{""_L1, "UK"_L1, "DE"_L1, "HR"_L1, "US"_L1, "FR"_L1, "ES"_L1, "IT"_L1, "NL"_L1, "PL"_L1};
constexpr int regionDE = 2;
constexpr int regionHR = 3;

// Live genres; the last is the adult one.
const std::array liveGenres{"News"_L1, "Sports"_L1, "Movies"_L1, "Kids"_L1, "Music"_L1, "Documentary"_L1,
                            "Entertainment"_L1, "Adult"_L1};
constexpr int liveAdult = 7;
const std::array<std::array<QLatin1StringView, 5>, 8> liveWords{{
    {"News 24"_L1, "World News"_L1, "Info"_L1, "Report"_L1, "Headlines"_L1},
    {"Sport"_L1, "Arena"_L1, "Football"_L1, "Motor"_L1, "Fight Night"_L1},
    {"Cinema"_L1, "Film"_L1, "Premiere"_L1, "Classics"_L1, "Action"_L1},
    {"Kids"_L1, "Toons"_L1, "Junior"_L1, "Family"_L1, "Cartoon"_L1},
    {"Hits"_L1, "Music"_L1, "Rock"_L1, "Jazz"_L1, "Dance"_L1},
    {"Docu"_L1, "Nature"_L1, "History"_L1, "Planet"_L1, "Science"_L1},
    {"Show"_L1, "Comedy"_L1, "Life"_L1, "Travel"_L1, "Food"_L1},
    {"Night"_L1, "After Dark"_L1, "Midnight"_L1, "Red Room"_L1, "Velvet"_L1},
}};
// Regional channels speak their language.
const std::array liveWordsDE{u"Nachrichten"_s, u"Sport Süd"_s, u"Kultur Köln"_s, u"Kinderkanal"_s, u"Musik Straße"_s,
                             u"Doku Plus"_s};
const std::array liveWordsHR{u"Vijesti"_s, u"Šport"_s, u"Dječji kanal"_s, u"Glazba"_s, u"Kuća i vrt"_s, u"Priroda"_s};
const std::array channelSuffixes{""_L1, " HD"_L1, " FHD"_L1, " 4K"_L1, " +1"_L1, " HD"_L1};

const std::array movieGenres{"Action"_L1, "Comedy"_L1, "Drama"_L1, "Thriller"_L1, "Horror"_L1, "Science Fiction"_L1,
                             "Animation"_L1, "Family"_L1, "Documentary"_L1, "Romance"_L1, "Crime"_L1, "Western"_L1};
const std::array showGenres{"Drama"_L1, "Comedy"_L1, "Crime"_L1, "Kids"_L1, "Documentary"_L1, "Sci-Fi"_L1,
                            "Reality"_L1, "Anime"_L1};

const std::array adjectives{"Silent"_L1, "Last"_L1, "Broken"_L1, "Golden"_L1, "Hidden"_L1, "Crimson"_L1, "Eternal"_L1,
                            "Wild"_L1, "Lost"_L1, "Frozen"_L1, "Burning"_L1, "Midnight"_L1, "Electric"_L1, "Quiet"_L1,
                            "Distant"_L1, "Savage"_L1};
const std::array nouns{"River"_L1, "Empire"_L1, "Garden"_L1, "Signal"_L1, "Harbor"_L1, "Kingdom"_L1, "Horizon"_L1,
                       "Mirror"_L1, "Promise"_L1, "Storm"_L1, "Letter"_L1, "Orchard"_L1, "Voyage"_L1, "Citadel"_L1,
                       "Echo"_L1, "Frontier"_L1};
const std::array subtitles{"Reckoning"_L1, "The Return"_L1, "Origins"_L1, "Part Two"_L1, "Aftermath"_L1, "Legacy"_L1};
const std::array nounsDE{u"Brücke"_s, u"Königin"_s, u"Straße"_s, u"Mühle"_s, u"Fähre"_s, u"Nacht"_s, u"Grenze"_s, u"Stadt"_s};
const std::array adjectivesDE{u"Die stille"_s, u"Die letzte"_s, u"Die goldene"_s, u"Die dunkle"_s, u"Die große"_s};
const std::array nounsHR{u"Rijeka"_s, u"Kuća"_s, u"Čarolija"_s, u"Ljeto"_s, u"Tajna"_s, u"Luka"_s, u"Šuma"_s};
const std::array adjectivesHR{u"Tiha"_s, u"Zadnja"_s, u"Zlatna"_s, u"Daleka"_s, u"Velika"_s};
const std::array showPatterns{"The %1s"_L1, "%1 Street"_L1, "%2 %1"_L1, "House of %1s"_L1, "%1 Files"_L1, "Inside the %1"_L1};
const std::array people{u"Mara Lind"_s, u"Tom Avery"_s, u"Ivo Kralj"_s, u"Lena Brandt"_s, u"Noah Reyes"_s,
                        u"Ana Horvat"_s, u"Jonas Weber"_s, u"Eva Novak"_s, u"Luka Babić"_s, u"Sofia Marin"_s,
                        u"Peter Hall"_s, u"Nina Šarić"_s, u"Jörg Müller"_s, u"Clara Dubois"_s};
const std::array plots{
    u"A retired pilot takes one last job that leads her back to the town she left behind."_s,
    u"Two rival chefs must share a kitchen for one summer on a small island."_s,
    u"An archivist finds a letter that rewrites the history of her family."_s,
    u"A detective with a perfect memory hunts a thief who leaves no trace."_s,
    u"A crew of misfits tries to save the last cinema in the city."_s,
    u"Ein Fährmann bringt jede Nacht Fremde über den Fluss – bis einer nicht zurückkehrt."_s,
    u"Mlada liječnica vraća se na otok gdje je odrasla i otkriva staru tajnu."_s,
    u""_s, // some panels send no plot at all
};
const std::array episodeTitles{u"Pilot"_s, u"The Return"_s, u"Crossroads"_s, u"Old Friends"_s, u"Fault Lines"_s,
                               u"Homecoming"_s, u"Paper Trail"_s, u"Daybreak"_s, u"Ghosts"_s, u"Endgame"_s};
const std::array ages{u""_s, u"6+"_s, u"12+"_s, u"16+"_s, u"18+"_s};
const std::array countries{u"United Kingdom"_s, u"Germany"_s, u"Croatia"_s, u"United States"_s, u"France"_s};

// Two draws joined by a blank, drawn in reading order (the order in which the operands of "+"
// are evaluated is the compiler's choice).
template<typename A, typename B>
QString pair(Rng &rng, const A &first, const B &second)
{
    QString text = QString(rng.pick(first));
    text += u' ';
    text += rng.pick(second);
    return text;
}

QString threePeople(Rng &rng)
{
    QString text = rng.pick(people);
    for (int i = 0; i < 2; ++i) {
        text += ", "_L1;
        text += rng.pick(people);
    }
    return text;
}

QString trailerId(Rng &rng)
{
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    QString id;
    id.reserve(11);
    for (int i = 0; i < 11; ++i)
        id.append(QLatin1Char(alphabet[rng.below(64)]));
    return id;
}

NumberForm drawForm(Rng &rng, int textPercent, int missingPercent, int nullPercent, int emptyPercent)
{
    const int roll = rng.below(100);
    if (roll < missingPercent)
        return NumberForm::missing;
    if (roll < missingPercent + nullPercent)
        return NumberForm::null;
    if (roll < missingPercent + nullPercent + emptyPercent)
        return NumberForm::emptyText;
    if (roll < missingPercent + nullPercent + emptyPercent + textPercent)
        return NumberForm::text;
    return NumberForm::number;
}

Image drawImage(Rng &rng, int emptyPercent, int missingPercent, int notAddressPercent)
{
    const int roll = rng.below(100);
    if (roll < emptyPercent)
        return Image::empty;
    if (roll < emptyPercent + missingPercent)
        return Image::missing;
    if (roll < emptyPercent + missingPercent + notAddressPercent)
        return Image::notAnAddress;
    return Image::present;
}

// A number in the form the row asks for; a missing one writes no key at all.
void formNumber(JsonOut &json, const char *key, NumberForm form, qint64 value)
{
    switch (form) {
    case NumberForm::missing: return;
    case NumberForm::null: json.key(key).null(); return;
    case NumberForm::emptyText: json.key(key).text(""); return;
    case NumberForm::text: json.key(key).integer(value, true); return;
    case NumberForm::number: json.key(key).integer(value, false); return;
    }
}

QString dateText(qint64 secs)
{
    return QDateTime::fromSecsSinceEpoch(secs, Qt::UTC).toString(u"yyyy-MM-dd"_s);
}

QString durationText(int seconds)
{
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

template<typename Item>
void groupByCategory(std::vector<Item> &items)
{
    std::stable_sort(items.begin(), items.end(), [](const Item &a, const Item &b) { return a.category < b.category; });
}

} // namespace

std::optional<Preset> presetFromName(const QString &name)
{
    if (name == "demo"_L1)
        return Preset::demo;
    if (name == "large"_L1)
        return Preset::large;
    if (name == "one-category"_L1)
        return Preset::oneCategory;
    return std::nullopt;
}

QString presetName(Preset preset)
{
    switch (preset) {
    case Preset::demo: return u"demo"_s;
    case Preset::large: return u"large"_s;
    case Preset::oneCategory: return u"one-category"_s;
    }
    return u"demo"_s;
}

CatalogueSize CatalogueSize::of(Preset preset)
{
    if (preset != Preset::demo)
        return {120, 60000, 200, 200000, 80, 30000};
    return {12, 300, 16, 3000, 10, 300};
}

Catalogue::Catalogue(quint64 seed, Preset preset, QString base)
    : m_seed(seed)
    , m_preset(preset)
    , m_base(std::move(base))
    , m_size(CatalogueSize::of(preset))
{
    makeCategories();
    makeLive();
    makeMovies();
    makeShows();
    serialise();
}

void Catalogue::makeCategories()
{
    qint64 nextId = 1;
    auto add = [&nextId](QList<LabCategory> &list, QString name, int genre, int region) {
        list.append(LabCategory{nextId++, std::move(name), genre, region});
    };

    // Live: the adult category comes last, so that the first one a player opens is not locked.
    QList<LabCategory> &live = m_liveSection.categories;
    if (m_preset == Preset::demo) {
        for (int genre = 0; genre < liveAdult; ++genre)
            add(live, QString(liveGenres[size_t(genre)]), genre, 0);
        add(live, u"UK | General"_s, 6, 1);
        add(live, u"DE | Deutschland"_s, 0, regionDE);
        add(live, u"HR | Hrvatska"_s, 4, regionHR);
        add(live, u"4K | Ultra HD"_s, 2, 4);
    } else {
        static const std::array variants{""_L1, " HD"_L1, " Plus"_L1, " Extra"_L1};
        for (int k = 0; k < m_size.liveCategories - 1; ++k) {
            const int region = 1 + k % 9;
            const int genre = (k / 9) % liveAdult;
            add(live, QString(regions[size_t(region)]) + " | "_L1 + liveGenres[size_t(genre)] + variants[size_t(k / 63 % 4)],
                genre, region);
        }
    }
    add(live, u"XXX | Adult"_s, liveAdult, 0);

    // Movies: the last category is announced but empty.
    QList<LabCategory> &movies = m_movieSection.categories;
    if (m_preset == Preset::demo) {
        for (int genre = 0; genre < int(movieGenres.size()); ++genre)
            add(movies, QString(movieGenres[size_t(genre)]), genre, 0);
        add(movies, u"DE | Filme"_s, 2, regionDE);
        add(movies, u"HR | Filmovi"_s, 1, regionHR);
        add(movies, u"4K | Ultra HD"_s, 0, 4);
    } else {
        static const std::array variants{""_L1, " Classics"_L1};
        for (int k = 0; k < m_size.movieCategories - 1; ++k) {
            const int region = k % 10;
            const int genre = (k / 10) % int(movieGenres.size());
            QString name = region == 0 ? QString(movieGenres[size_t(genre)])
                                       : QString(regions[size_t(region)]) + " | "_L1 + movieGenres[size_t(genre)];
            add(movies, name + variants[size_t(k / 120 % 2)], genre, region);
        }
    }
    add(movies, u"Coming Soon"_s, 2, 0);

    QList<LabCategory> &shows = m_showSection.categories;
    if (m_preset == Preset::demo) {
        for (int genre = 0; genre < int(showGenres.size()); ++genre)
            add(shows, QString(showGenres[size_t(genre)]) + " Series"_L1, genre, 0);
        add(shows, u"DE | Serien"_s, 0, regionDE);
        add(shows, u"HR | Serije"_s, 1, regionHR);
    } else {
        for (int k = 0; k < m_size.seriesCategories; ++k) {
            const int region = k % 10;
            const int genre = (k / 10) % int(showGenres.size());
            add(shows, region == 0 ? QString(showGenres[size_t(genre)]) + " Series"_L1
                                   : QString(regions[size_t(region)]) + " | "_L1 + showGenres[size_t(genre)],
                genre, region);
        }
    }
}

void Catalogue::makeLive()
{
    const QList<LabCategory> &categories = m_liveSection.categories;
    m_live.resize(size_t(m_size.live));
    for (int i = 0; i < m_size.live; ++i) {
        Rng rng{m_seed, liveStream, quint64(i)};
        LiveChannel &channel = m_live[size_t(i)];
        // The adult category is kept small, as on real panels.
        channel.category = rng.chance(3) ? int(categories.size()) - 1 : rng.below(int(categories.size()) - 1);
        // One channel in three (20,000) fills the first category; the others keep to the rest.
        if (m_preset == Preset::oneCategory)
            channel.category = i % 3 == 0 ? 0 : std::max(channel.category, 1);
        channel.textNumbers = rng.chance(40);
        channel.numForm = drawForm(rng, 15, 8, 4, 3);
        channel.icon = drawImage(rng, 12, 8, 4);
        channel.image = quint8(rng.below(generatedImages));
        channel.clip = quint8(rng.below(generatedClips));
        channel.archive = rng.chance(45);
        static constexpr std::array archiveDays{1, 2, 3, 5, 7, 14, 0};
        channel.archiveDays = channel.archive ? rng.pick(archiveDays) : 0;
        channel.archiveDaysEmpty = rng.chance(8);
        channel.base64Guide = rng.chance(60);
        channel.stopInsteadOfEnd = rng.chance(15);
        channel.guidePhase = 15 * rng.below(12);
        // A marker until the channel has its id: channels without a guide keep an empty one.
        channel.epgChannelId = rng.chance(12) ? QString() : u"-"_s;
    }
    groupByCategory(m_live);

    QList<int> perCategory(categories.size(), 0);
    for (size_t position = 0; position < m_live.size(); ++position) {
        LiveChannel &channel = m_live[position];
        channel.id = firstLiveId + qint64(position);
        channel.num = qint64(position) + 1;
        if (!channel.epgChannelId.isEmpty())
            channel.epgChannelId = u"ch%1.lab"_s.arg(channel.id);
        const LabCategory &category = categories[channel.category];
        const int sequence = ++perCategory[channel.category];
        Rng rng{m_seed, liveStream, 0x4E414D45, quint64(position)};
        QString word;
        if (category.region == regionDE)
            word = rng.pick(liveWordsDE);
        else if (category.region == regionHR)
            word = rng.pick(liveWordsHR);
        else
            word = QString(liveWords[size_t(category.genre)][size_t(rng.below(5))]);
        const QString prefix = category.region ? QString(regions[size_t(category.region)]) : u"LAB"_s;
        channel.name = prefix + ": "_L1 + word + u' ' + QString::number(sequence) + rng.pick(channelSuffixes);
    }
}

void Catalogue::makeMovies()
{
    const QList<LabCategory> &categories = m_movieSection.categories;
    const int filled = int(categories.size()) - 1; // "Coming Soon" stays empty
    m_movies.resize(size_t(m_size.movies));
    for (int i = 0; i < m_size.movies; ++i) {
        Rng rng{m_seed, movieStream, quint64(i)};
        Movie &movie = m_movies[size_t(i)];
        movie.category = rng.below(filled);
        if (m_preset == Preset::oneCategory)
            movie.category = 0;
        const LabCategory &category = categories[movie.category];
        movie.year = rng.between(1960, 2024);
        QString title;
        if (category.region == regionDE)
            title = pair(rng, adjectivesDE, nounsDE);
        else if (category.region == regionHR)
            title = pair(rng, adjectivesHR, nounsHR);
        else
            title = pair(rng, adjectives, nouns);
        if (rng.chance(25))
            title += ": "_L1 + rng.pick(subtitles);
        if (rng.chance(1))
            title += u" \U0001F3AC"_s; // a character beyond the basic plane
        movie.name = title + QStringLiteral(" (%1)").arg(movie.year);
        movie.textNumbers = rng.chance(45);
        movie.icon = drawImage(rng, 8, 7, 3);
        movie.image = quint8(rng.below(generatedImages));
        movie.clip = quint8(rng.below(generatedMovies));
        movie.rating10 = rng.chance(20) ? -1 : rng.between(0, 100);
        movie.ratingForm = movie.rating10 < 0 ? drawForm(rng, 0, 50, 25, 25) : (rng.chance(50) ? NumberForm::text : NumberForm::number);
        movie.added = 1500000000 + rng.below(250000000);
        movie.addedForm = drawForm(rng, 85, 3, 2, 3);
        const int extension = rng.below(100);
        movie.extension = extension < 60 ? u"mp4"_s : extension < 90 ? u"mkv"_s : QString();
        movie.extensionForm = extension < 90 ? NumberForm::text : extension < 95 ? NumberForm::missing : NumberForm::emptyText;
        movie.trailer = rng.chance(50);
    }
    groupByCategory(m_movies);
    for (size_t position = 0; position < m_movies.size(); ++position)
        m_movies[position].id = firstMovieId + qint64(position);
}

void Catalogue::makeShows()
{
    const QList<LabCategory> &categories = m_showSection.categories;
    m_shows.resize(size_t(m_size.series));
    for (int i = 0; i < m_size.series; ++i) {
        Rng rng{m_seed, showStream, quint64(i)};
        Show &show = m_shows[size_t(i)];
        show.category = rng.below(int(categories.size()));
        const LabCategory &category = categories[show.category];
        show.year = rng.between(1985, 2024);
        if (category.region == regionDE)
            show.name = pair(rng, adjectivesDE, nounsDE);
        else if (category.region == regionHR)
            show.name = pair(rng, adjectivesHR, nounsHR);
        else {
            const QString pattern(rng.pick(showPatterns));
            const QString noun(rng.pick(nouns));
            show.name = QString(pattern).replace("%1"_L1, noun).replace("%2"_L1, rng.pick(adjectives));
        }
        show.textNumbers = rng.chance(45);
        show.icon = drawImage(rng, 8, 7, 3);
        show.image = quint8(rng.below(generatedImages));
        show.clip = quint8(rng.below(generatedMovies));
        show.rating10 = rng.chance(15) ? -1 : rng.between(0, 100);
        show.ratingForm = show.rating10 < 0 ? drawForm(rng, 0, 50, 25, 25) : (rng.chance(50) ? NumberForm::text : NumberForm::number);
        show.lastModified = 1500000000 + rng.below(250000000);
        const int trailer = rng.below(100);
        show.trailer = trailer < 30 ? Show::Trailer::listAndDetails : trailer < 60 ? Show::Trailer::detailsOnly : Show::Trailer::none;
        const int seasons = rng.below(100);
        show.seasonList = seasons < 60 ? Show::SeasonList::all
                          : seasons < 85 ? Show::SeasonList::oneMissing
                          : seasons < 95 ? Show::SeasonList::empty
                                         : Show::SeasonList::absent;
        show.episodeSeasonField = !rng.chance(20);
        show.seasons = rng.between(1, 5);
        if (show.seasonList == Show::SeasonList::oneMissing)
            show.seasons = std::max(show.seasons, 2);
    }
    groupByCategory(m_shows);
    for (size_t position = 0; position < m_shows.size(); ++position)
        m_shows[position].id = firstShowId + qint64(position);
}

const QList<LabCategory> &Catalogue::categories(Kind kind) const
{
    return section(kind).categories;
}

const Catalogue::Section &Catalogue::section(Kind kind) const
{
    switch (kind) {
    case Kind::live: return m_liveSection;
    case Kind::movie: return m_movieSection;
    case Kind::series: return m_showSection;
    }
    return m_liveSection;
}

const LiveChannel *Catalogue::channel(qint64 id) const
{
    const qint64 index = id - firstLiveId;
    return index >= 0 && index < qint64(m_live.size()) ? &m_live[size_t(index)] : nullptr;
}

const Movie *Catalogue::movie(qint64 id) const
{
    const qint64 index = id - firstMovieId;
    return index >= 0 && index < qint64(m_movies.size()) ? &m_movies[size_t(index)] : nullptr;
}

const Show *Catalogue::show(qint64 id) const
{
    const qint64 index = id - firstShowId;
    return index >= 0 && index < qint64(m_shows.size()) ? &m_shows[size_t(index)] : nullptr;
}

int Catalogue::episodeCount(const Show &show, int season) const
{
    if (season < 1 || season > show.seasons)
        return 0;
    Rng rng{m_seed, showShape, quint64(show.id), quint64(season)};
    return rng.between(3, 10);
}

qint64 Catalogue::episodeId(const Show &show, int season, int episode)
{
    return firstEpisodeId + (show.id - firstShowId) * 1000 + season * 100 + episode;
}

std::optional<Catalogue::EpisodeRef> Catalogue::episode(qint64 id) const
{
    const qint64 value = id - firstEpisodeId;
    if (value < 0)
        return std::nullopt;
    const Show *owner = show(firstShowId + value / 1000);
    const int season = int(value % 1000 / 100);
    const int number = int(value % 100);
    if (!owner || number < 1 || number > episodeCount(*owner, season))
        return std::nullopt;
    Rng rng{m_seed, showShape, quint64(id)};
    EpisodeRef ref{owner, season, number, rng.chance(70) ? u"mp4"_s : u"mkv"_s, QString()};
    ref.title = rng.chance(12) ? QString() : rng.pick(episodeTitles);
    return ref;
}

QString Catalogue::imageAddress(Image image, quint8 which, bool poster, qint64 id) const
{
    switch (image) {
    case Image::present:
        return m_base + (poster ? QStringLiteral("/images/posters/%1.jpg") : QStringLiteral("/images/logos/%1.png")).arg(which);
    case Image::empty: return {};
    case Image::missing: return m_base + QStringLiteral("/images/missing/%1.png").arg(id);
    case Image::notAnAddress: return u"not an address"_s;
    }
    return {};
}

// --- answers ---------------------------------------------------------------------------------

QByteArray Catalogue::categoriesJson(const QList<LabCategory> &categories)
{
    QByteArray out;
    JsonOut json(out);
    json.beginArray();
    for (const LabCategory &category : categories) {
        json.beginObject();
        json.key("category_id").integer(category.id, true);
        json.key("category_name").text(category.name);
        json.key("parent_id").number(0);
        json.endObject();
    }
    json.endArray();
    return out;
}

void Catalogue::writeLiveRow(QByteArray &out, const LiveChannel &channel) const
{
    const bool asText = channel.textNumbers;
    const qint64 categoryId = m_liveSection.categories[channel.category].id;
    JsonOut json(out);
    json.beginObject();
    formNumber(json, "num", channel.numForm, channel.num);
    json.key("name").text(channel.name);
    json.key("stream_type").text("live");
    json.key("stream_id").integer(channel.id, asText);
    json.key("stream_icon").text(imageAddress(channel.icon, channel.image, false, channel.id));
    json.key("epg_channel_id");
    if (channel.epgChannelId.isEmpty() && asText)
        json.null();
    else
        json.text(channel.epgChannelId);
    json.key("added").text(QLatin1StringView(QByteArray::number(1600000000 + channel.id * 97 % 50000000)));
    json.key("is_adult").integer(categories(Kind::live)[channel.category].genre == liveAdult ? 1 : 0, asText);
    json.key("category_id").integer(categoryId, true);
    json.key("category_ids").beginArray().number(categoryId).endArray();
    json.key("custom_sid");
    if (asText)
        json.text("");
    else
        json.null();
    json.key("tv_archive").integer(channel.archive ? 1 : 0, asText);
    json.key("direct_source").text("");
    json.key("tv_archive_duration");
    if (channel.archiveDaysEmpty)
        json.text("");
    else
        json.integer(channel.archiveDays, asText);
    json.key("thumbnail").text("");
    json.endObject();
}

void Catalogue::writeMovieRow(QByteArray &out, const Movie &movie, qint64 num) const
{
    const bool asText = movie.textNumbers;
    const qint64 categoryId = m_movieSection.categories[movie.category].id;
    JsonOut json(out);
    json.beginObject();
    json.key("num").number(num);
    json.key("name").text(movie.name);
    json.key("stream_type").text("movie");
    json.key("stream_id").integer(movie.id, asText);
    json.key("stream_icon").text(imageAddress(movie.icon, movie.image, true, movie.id));
    if (movie.rating10 >= 0) {
        if (movie.ratingForm == NumberForm::text) {
            json.key("rating").text(QLatin1StringView(QByteArray::number(movie.rating10 / 10.0, 'f', 1)));
            json.key("rating_5based").text(QLatin1StringView(QByteArray::number(movie.rating10 / 20.0, 'g', 4)));
        } else {
            json.key("rating").decimal(movie.rating10 / 10.0, 1);
            json.key("rating_5based").decimal(movie.rating10 / 20.0, 2);
        }
    } else if (movie.ratingForm != NumberForm::missing) {
        formNumber(json, "rating", movie.ratingForm, 0);
        formNumber(json, "rating_5based", movie.ratingForm, 0);
    }
    formNumber(json, "added", movie.addedForm, movie.added);
    json.key("is_adult").integer(0, asText);
    json.key("category_id").integer(categoryId, true);
    json.key("category_ids").beginArray().number(categoryId).endArray();
    if (movie.extensionForm == NumberForm::text)
        json.key("container_extension").text(movie.extension);
    else if (movie.extensionForm == NumberForm::emptyText)
        json.key("container_extension").text("");
    json.key("custom_sid").text("");
    json.key("direct_source").text("");
    json.endObject();
}

void Catalogue::writeShowRow(QByteArray &out, const Show &show, qint64 num) const
{
    const bool asText = show.textNumbers;
    const qint64 categoryId = m_showSection.categories[show.category].id;
    const LabCategory &category = m_showSection.categories[show.category];
    Rng rng{m_seed, showDetail, quint64(show.id)};
    const QString release = dateText(show.lastModified - 86400LL * rng.between(30, 3000));
    JsonOut json(out);
    json.beginObject();
    json.key("num").number(num);
    json.key("name").text(show.name);
    json.key("series_id").integer(show.id, asText);
    json.key("cover").text(imageAddress(show.icon, show.image, true, show.id));
    json.key("plot").text(rng.pick(plots));
    json.key("cast").text(threePeople(rng));
    json.key("director").text(rng.pick(people));
    const QString trailer = trailerId(rng); // drawn always, so that the details draw the same
    json.key("genre").text(QString(showGenres[size_t(category.genre)]));
    json.key("releaseDate").text(release);
    json.key("last_modified").integer(show.lastModified, true);
    if (show.rating10 >= 0) {
        json.key("rating").text(QLatin1StringView(QByteArray::number(show.rating10 / 10.0, 'f', 1)));
        if (show.ratingForm == NumberForm::text)
            json.key("rating_5based").text(QLatin1StringView(QByteArray::number(show.rating10 / 20.0, 'g', 4)));
        else
            json.key("rating_5based").decimal(show.rating10 / 20.0, 2);
    } else {
        formNumber(json, "rating_5based", show.ratingForm, 0);
    }
    json.key("backdrop_path").beginArray();
    if (show.icon == Image::present)
        json.text(imageAddress(Image::present, show.image, true, show.id));
    json.endArray();
    json.key("youtube_trailer");
    if (show.trailer == Show::Trailer::listAndDetails)
        json.text(trailer);
    else if (asText)
        json.text("");
    else
        json.null();
    json.key("episode_run_time").integer(rng.between(20, 60), true);
    json.key("category_id").integer(categoryId, true);
    json.key("category_ids").beginArray().number(categoryId).endArray();
    json.endObject();
}

void Catalogue::serialise()
{
    auto build = [](Section &section, auto &items, auto write) {
        section.categoriesAnswer = categoriesJson(section.categories);
        section.chunks.assign(size_t(section.categories.size()), QByteArray());
        // Rows are grouped by category already; each chunk is one run.
        size_t from = 0;
        qint64 num = 1;
        while (from < items.size()) {
            const int category = items[from].category;
            size_t to = from;
            while (to < items.size() && items[to].category == category)
                ++to;
            QByteArray &chunk = section.chunks[size_t(category)];
            chunk.reserve(qsizetype(to - from) * 400);
            for (size_t i = from; i < to; ++i, ++num) {
                if (i > from)
                    chunk += ',';
                write(chunk, items[i], num);
            }
            chunk.squeeze();
            from = to;
        }
        qint64 size = 2; // the brackets
        int nonEmpty = 0;
        for (const QByteArray &chunk : section.chunks) {
            if (!chunk.isEmpty()) {
                size += chunk.size();
                ++nonEmpty;
            }
        }
        section.wholeSize = size + std::max(0, nonEmpty - 1);
    };
    build(m_liveSection, m_live, [this](QByteArray &out, const LiveChannel &channel, qint64) { writeLiveRow(out, channel); });
    build(m_movieSection, m_movies, [this](QByteArray &out, const Movie &movie, qint64 num) { writeMovieRow(out, movie, num); });
    build(m_showSection, m_shows, [this](QByteArray &out, const Show &show, qint64 num) { writeShowRow(out, show, num); });
}

QByteArray Catalogue::categoriesAnswer(Kind kind) const
{
    return section(kind).categoriesAnswer;
}

QList<QByteArray> Catalogue::streamsAnswer(Kind kind, const std::optional<QString> &categoryId) const
{
    static const QByteArray open("["), close("]"), comma(",");
    const Section &sec = section(kind);
    QList<QByteArray> pieces{open};
    // An empty category id asks for everything, as on panels that test the parameter for emptiness.
    if (categoryId && !categoryId->isEmpty()) {
        for (qsizetype i = 0; i < sec.categories.size(); ++i) {
            if (QString::number(sec.categories[i].id) == *categoryId) {
                if (!sec.chunks[size_t(i)].isEmpty())
                    pieces.append(sec.chunks[size_t(i)]);
                break;
            }
        }
    } else {
        for (const QByteArray &chunk : sec.chunks) {
            if (chunk.isEmpty())
                continue;
            if (pieces.size() > 1)
                pieces.append(comma);
            pieces.append(chunk);
        }
    }
    pieces.append(close);
    return pieces;
}

qint64 Catalogue::streamsAnswerSize(Kind kind) const
{
    return section(kind).wholeSize;
}

QByteArray Catalogue::vodInfoAnswer(const QString &vodId) const
{
    bool ok = false;
    const Movie *item = movie(vodId.toLongLong(&ok));
    if (!ok || !item)
        return R"({"info":[],"movie_data":[]})"; // what panels send for an unknown id
    const LabCategory &category = m_movieSection.categories[item->category];
    Rng rng{m_seed, movieDetail, quint64(item->id)};
    const bool asText = item->textNumbers;
    const int runtime = rng.between(75, 150);
    QByteArray out;
    JsonOut json(out);
    json.beginObject();
    json.key("info").beginObject();
    json.key("kinopoisk_url").text("");
    json.key("tmdb_id").integer(rng.between(1000, 900000), asText);
    json.key("name").text(item->name);
    json.key("o_name").text(item->name);
    const QString poster = imageAddress(item->icon, item->image, true, item->id);
    json.key("cover_big").text(poster);
    json.key("movie_image").text(poster);
    json.key("releasedate").text(QStringLiteral("%1-%2-%3").arg(item->year).arg(rng.between(1, 12), 2, 10, QLatin1Char('0')).arg(rng.between(1, 28), 2, 10, QLatin1Char('0')));
    json.key("episode_run_time").integer(runtime, asText);
    json.key("youtube_trailer").text(item->trailer ? trailerId(rng) : QString());
    json.key("director").text(rng.pick(people));
    const QString cast = threePeople(rng);
    json.key("actors").text(cast);
    json.key("cast").text(cast);
    const QString plot = rng.pick(plots);
    json.key("description").text(plot);
    json.key("plot").text(plot);
    json.key("age").text(rng.pick(ages));
    json.key("mpaa_rating").text("");
    json.key("rating_count_kinopoisk").number(0);
    json.key("country").text(rng.pick(countries));
    json.key("genre").text(QString(movieGenres[size_t(category.genre)]));
    json.key("backdrop_path").beginArray().text(poster).endArray();
    json.key("duration_secs").integer(runtime * 60, asText);
    json.key("duration").text(durationText(runtime * 60));
    json.key("video").beginArray().endArray();
    json.key("audio").beginArray().endArray();
    json.key("bitrate").number(0);
    if (item->rating10 >= 0)
        json.key("rating").text(QLatin1StringView(QByteArray::number(item->rating10 / 10.0, 'f', 1)));
    else
        json.key("rating").text("");
    json.endObject();
    json.key("movie_data").beginObject();
    json.key("stream_id").integer(item->id, asText);
    json.key("name").text(item->name);
    json.key("added").integer(item->added, true);
    json.key("category_id").integer(category.id, true);
    json.key("category_ids").beginArray().number(category.id).endArray();
    json.key("container_extension").text(item->extension);
    json.key("custom_sid").text("");
    json.key("direct_source").text("");
    json.endObject();
    json.endObject();
    return out;
}

QByteArray Catalogue::seriesInfoAnswer(const QString &seriesId) const
{
    bool ok = false;
    const Show *item = show(seriesId.toLongLong(&ok));
    if (!ok || !item)
        return R"({"seasons":[],"info":[],"episodes":[]})";
    const LabCategory &category = m_showSection.categories[item->category];
    const bool asText = item->textNumbers;
    Rng rng{m_seed, showDetail, quint64(item->id)};
    // Drawn in the same order as the list row, so that both tell the same story.
    const QString release = dateText(item->lastModified - 86400LL * rng.between(30, 3000));
    const QString plot = rng.pick(plots);
    const QString cast = threePeople(rng);
    const QString director = rng.pick(people);
    const QString drawnTrailer = trailerId(rng);
    const QString trailer = item->trailer == Show::Trailer::none ? QString() : drawnTrailer;
    const int runtime = rng.between(20, 60);
    const QString cover = imageAddress(item->icon, item->image, true, item->id);

    QByteArray out;
    JsonOut json(out);
    json.beginObject();
    if (item->seasonList != Show::SeasonList::absent) {
        json.key("seasons").beginArray();
        for (int season = 1; season <= item->seasons; ++season) {
            if (item->seasonList == Show::SeasonList::empty)
                break;
            if (item->seasonList == Show::SeasonList::oneMissing && season == 2)
                continue;
            json.beginObject();
            json.key("air_date").text(release);
            json.key("episode_count").integer(episodeCount(*item, season), asText);
            json.key("id").number(item->id * 10 + season);
            // Some panels leave season names empty and write the number zero-padded.
            const bool bare = asText && season % 2 == 1;
            json.key("name").text(bare ? QString() : QStringLiteral("Season %1").arg(season));
            json.key("overview").text("");
            if (bare)
                json.key("season_number").text(QLatin1StringView(QByteArray::number(season).rightJustified(2, '0')));
            else
                json.key("season_number").number(season);
            json.key("cover").text(cover);
            json.key("cover_big").text(cover);
            json.endObject();
        }
        json.endArray();
    }
    json.key("info").beginObject();
    json.key("name").text(item->name);
    json.key("cover").text(cover);
    json.key("plot").text(plot);
    json.key("cast").text(cast);
    json.key("director").text(director);
    json.key("genre").text(QString(showGenres[size_t(category.genre)]));
    json.key("releaseDate").text(release);
    json.key("last_modified").integer(item->lastModified, true);
    if (item->rating10 >= 0)
        json.key("rating_5based").decimal(item->rating10 / 20.0, 2);
    json.key("backdrop_path").beginArray().endArray();
    json.key("youtube_trailer").text(trailer);
    json.key("episode_run_time").integer(runtime, true);
    json.key("category_id").integer(category.id, true);
    json.endObject();

    json.key("episodes").beginObject();
    for (int season = 1; season <= item->seasons; ++season) {
        const QByteArray key = QByteArray::number(season);
        json.key(key.constData()).beginArray();
        const int count = episodeCount(*item, season);
        for (int number = 1; number <= count; ++number) {
            const qint64 id = episodeId(*item, season, number);
            const EpisodeRef ref = *episode(id);
            json.beginObject();
            json.key("id").integer(id, true);
            json.key("episode_num").integer(number, asText);
            json.key("title").text(ref.title);
            json.key("container_extension").text(ref.extension);
            json.key("info").beginObject();
            json.key("movie_image").text(cover);
            json.key("plot").text("");
            json.key("duration_secs").number(runtime * 60);
            json.key("duration").text(durationText(runtime * 60));
            json.endObject();
            json.key("custom_sid").text("");
            json.key("added").integer(item->lastModified - (count - number) * 604800, true);
            if (item->episodeSeasonField)
                json.key("season").integer(season, asText);
            json.key("direct_source").text("");
            json.endObject();
        }
        json.endArray();
    }
    json.endObject();
    json.endObject();
    return out;
}

} // namespace Lab
