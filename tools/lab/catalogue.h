#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>
#include <vector>

namespace Lab {

// demo: small; large: the sizes of a big real panel; oneCategory: the large catalogue with every
// movie in the first movie category (one category of 200,000 titles).
enum class Preset { demo, large, oneCategory };
std::optional<Preset> presetFromName(const QString &name);
QString presetName(Preset preset);

enum class Kind { live, movie, series };

struct CatalogueSize
{
    int liveCategories = 0;
    int live = 0;
    int movieCategories = 0;
    int movies = 0;
    int seriesCategories = 0;
    int series = 0;

    static CatalogueSize of(Preset preset);
};

// How a row carries an image address: a working one, an empty text, an address that answers
// 404, or a text that is no address at all.
enum class Image : quint8 { present, empty, missing, notAnAddress };

// How a row carries a number that panels send in several ways.
enum class NumberForm : quint8 { number, text, missing, null, emptyText };

struct LabCategory
{
    qint64 id = 0;
    QString name;
    int genre = 0;  // index into the section's genre table
    int region = 0; // 0: none; otherwise a regional category
};

struct LiveChannel
{
    qint64 id = 0;
    int category = 0; // index into the live categories
    qint64 num = 0;   // position in the whole list, 1-based
    NumberForm numForm = NumberForm::number;
    QString name;
    QString epgChannelId; // empty: the channel has no guide
    Image icon = Image::present;
    quint8 image = 0; // which generated logo
    quint8 clip = 0;  // which generated live clip
    bool textNumbers = false;
    bool archive = false;
    int archiveDays = 0;      // as sent in "tv_archive_duration"
    bool archiveDaysEmpty = false; // sent as an empty text instead
    bool base64Guide = false; // titles and descriptions Base64-encoded
    bool stopInsteadOfEnd = false; // guide entries carry "stop" and an empty "end"
    int guidePhase = 0;       // minutes the programme grid is shifted by
};

struct Movie
{
    qint64 id = 0;
    int category = 0;
    QString name;
    int year = 0;
    Image icon = Image::present;
    quint8 image = 0;
    quint8 clip = 0;
    int rating10 = -1; // tenths of a ten-point rating; -1: none
    NumberForm ratingForm = NumberForm::number;
    qint64 added = 0;
    NumberForm addedForm = NumberForm::text;
    QString extension; // empty together with a missing or empty field
    NumberForm extensionForm = NumberForm::text; // text, missing or emptyText
    bool textNumbers = false;
    bool trailer = false;
};

struct Show
{
    qint64 id = 0;
    int category = 0;
    QString name;
    int year = 0;
    Image icon = Image::present;
    quint8 image = 0;
    quint8 clip = 0;
    int rating10 = -1;
    NumberForm ratingForm = NumberForm::number;
    qint64 lastModified = 0;
    bool textNumbers = false;
    enum class Trailer : quint8 { none, listAndDetails, detailsOnly };
    Trailer trailer = Trailer::none;
    // How the details list the seasons: all of them; all but one (that one only as an episode
    // key); an empty list with zero-padded numbers as texts elsewhere; no "seasons" member.
    enum class SeasonList : quint8 { all, oneMissing, empty, absent };
    SeasonList seasonList = SeasonList::all;
    bool episodeSeasonField = true; // episodes carry "season", or only their key says it
    int seasons = 1;
};

// A deterministic catalogue for one seed and preset, with every answer of the catalogue
// actions written once, per category, at construction; a whole-section answer is the list of
// those pieces, so that even the large preset's answers cost no work per request.
class Catalogue
{
public:
    Catalogue(quint64 seed, Preset preset, QString base);

    quint64 seed() const { return m_seed; }
    Preset preset() const { return m_preset; }
    const QString &base() const { return m_base; }

    const QList<LabCategory> &categories(Kind kind) const;
    const std::vector<LiveChannel> &live() const { return m_live; }
    const std::vector<Movie> &movies() const { return m_movies; }
    const std::vector<Show> &shows() const { return m_shows; }

    const LiveChannel *channel(qint64 id) const;
    const Movie *movie(qint64 id) const;
    const Show *show(qint64 id) const;
    int episodeCount(const Show &show, int season) const;
    struct EpisodeRef
    {
        const Show *show = nullptr;
        int season = 0;
        int episode = 0;
        QString extension;
        QString title; // may be empty, as panels send some
    };
    std::optional<EpisodeRef> episode(qint64 id) const;
    static qint64 episodeId(const Show &show, int season, int episode);

    // Image addresses as rows carry them.
    QString imageAddress(Image image, quint8 which, bool poster, qint64 id) const;

    // --- answers ---
    QByteArray categoriesAnswer(Kind kind) const;
    // The list answer as pieces to send one after another: a whole section, or one category
    // (an unknown one answers an empty list).
    QList<QByteArray> streamsAnswer(Kind kind, const std::optional<QString> &categoryId) const;
    qint64 streamsAnswerSize(Kind kind) const;
    QByteArray vodInfoAnswer(const QString &vodId) const;
    QByteArray seriesInfoAnswer(const QString &seriesId) const;

private:
    struct Section
    {
        QList<LabCategory> categories;
        QByteArray categoriesAnswer;
        std::vector<QByteArray> chunks; // rows of each category, joined by commas, without brackets
        qint64 wholeSize = 0;
    };

    void makeCategories();
    void makeLive();
    void makeMovies();
    void makeShows();
    void serialise();
    static QByteArray categoriesJson(const QList<LabCategory> &categories);
    void writeLiveRow(QByteArray &out, const LiveChannel &channel) const;
    void writeMovieRow(QByteArray &out, const Movie &movie, qint64 num) const;
    void writeShowRow(QByteArray &out, const Show &show, qint64 num) const;
    const Section &section(Kind kind) const;

    quint64 m_seed;
    Preset m_preset;
    QString m_base;
    CatalogueSize m_size;
    Section m_liveSection;
    Section m_movieSection;
    Section m_showSection;
    std::vector<LiveChannel> m_live;
    std::vector<Movie> m_movies;
    std::vector<Show> m_shows;
};

// First ids of each kind; ids run on from there in list order.
inline constexpr qint64 firstLiveId = 100001;
inline constexpr qint64 firstMovieId = 1000001;
inline constexpr qint64 firstShowId = 1;
inline constexpr qint64 firstEpisodeId = 5000000;

} // namespace Lab
