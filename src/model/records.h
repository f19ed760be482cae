#pragma once

#include <QByteArray>
#include <QHashFunctions>
#include <QMetaType>
#include <QObject>
#include <QSharedData>
#include <QSharedDataPointer>
#include <QString>

#include <optional>

// The catalogue's plain value records. Screens read them as gadgets: read-only
// properties on copies, never maps.

class Category
{
    Q_GADGET
    Q_PROPERTY(QString id MEMBER id CONSTANT FINAL)
    Q_PROPERTY(QString name MEMBER name CONSTANT FINAL)

public:
    QString id;   // "category_id"
    QString name; // "category_name"

    friend bool operator==(const Category &, const Category &) = default;
};

size_t qHash(const Category &category, size_t seed = 0) noexcept;

// Texts that only some records carry (a show's plot and cast, an "added" that is not a plain
// number), in one block shared between copies and made only when one of them is set.
struct MediaItemMore
{
    QString plot;
    QString cast;
    QString director;
    QString genre;
    QString releaseDate;
    QString trailer;
    std::optional<QString> seriesId;
    QString added; // only when it is not a plain decimal number

    friend bool operator==(const MediaItemMore &, const MediaItemMore &) = default;
};

// The compact part of a record, reached through MediaItem's accessors. A catalogue holds
// hundreds of thousands of records, so the picture address stays UTF-8 (it is only turned
// into a QString when shown), "added" is kept as its number, and the rare texts share one
// lazily made block.
class MediaItemPacked
{
    friend class MediaItem;

    struct More : QSharedData, MediaItemMore
    {
    };

    QByteArray m_icon;         // UTF-8
    qint64 m_added = -1;       // "added" as a plain decimal number; -1: see More::added
    QSharedDataPointer<More> m_more; // null while every rare text is empty

    const MediaItemMore &more() const;
    MediaItemMore &editMore();

public:
    // The rare texts' block, or null while there is none: for memory accounting.
    const MediaItemMore *block() const { return m_more.data(); }

    friend bool operator==(const MediaItemPacked &a, const MediaItemPacked &b)
    {
        return a.m_icon == b.m_icon && a.m_added == b.m_added && a.more() == b.more();
    }
};

class MediaItem
{
    Q_GADGET
    Q_PROPERTY(QString id MEMBER id CONSTANT FINAL)
    Q_PROPERTY(QString name MEMBER name CONSTANT FINAL)
    Q_PROPERTY(Kind kind MEMBER kind CONSTANT FINAL)
    Q_PROPERTY(QString categoryId MEMBER categoryId CONSTANT FINAL)
    Q_PROPERTY(QString containerExt MEMBER containerExt CONSTANT FINAL)
    Q_PROPERTY(QString icon READ icon CONSTANT FINAL)
    Q_PROPERTY(qint64 num MEMBER num CONSTANT FINAL)
    Q_PROPERTY(QString epgChannelId MEMBER epgChannelId CONSTANT FINAL)
    Q_PROPERTY(bool tvArchive MEMBER tvArchive CONSTANT FINAL)
    Q_PROPERTY(qint64 archiveDays MEMBER archiveDays CONSTANT FINAL)
    Q_PROPERTY(QString added READ added CONSTANT FINAL)
    Q_PROPERTY(double rating5 MEMBER rating5 CONSTANT FINAL)
    Q_PROPERTY(QString plot READ plot CONSTANT FINAL)
    Q_PROPERTY(QString cast READ cast CONSTANT FINAL)
    Q_PROPERTY(QString director READ director CONSTANT FINAL)
    Q_PROPERTY(QString genre READ genre CONSTANT FINAL)
    Q_PROPERTY(QString releaseDate READ releaseDate CONSTANT FINAL)
    Q_PROPERTY(QString trailer READ trailer CONSTANT FINAL)
    Q_PROPERTY(QString seriesId READ seriesIdText CONSTANT FINAL)
    Q_PROPERTY(bool isLive READ isLive CONSTANT FINAL)

public:
    enum class Kind : quint8 { live, movie, series };
    Q_ENUM(Kind)

    QString id;
    QString name;
    Kind kind = Kind::live;
    QString categoryId;
    QString containerExt;
    qint64 num = 0;
    QString epgChannelId;
    bool tvArchive = false;
    qint64 archiveDays = 2;
    double rating5 = 0;
    MediaItemPacked packed; // icon, added and the rare texts: use the accessors below

    friend bool operator==(const MediaItem &, const MediaItem &) = default;

    QString icon() const { return QString::fromUtf8(packed.m_icon); }
    QByteArray iconUtf8() const { return packed.m_icon; }
    void setIcon(const QString &icon) { packed.m_icon = icon.toUtf8(); }
    void setIconUtf8(QByteArray icon) { packed.m_icon = std::move(icon); }

    QString added() const;
    // "added" as a whole number of seconds, when it is written as a plain decimal number.
    std::optional<qint64> addedStamp() const
    {
        return packed.m_added >= 0 ? std::optional(packed.m_added) : std::nullopt;
    }
    void setAdded(const QString &added);
    void setAddedStamp(qint64 seconds); // seconds >= 0

    QString plot() const { return packed.more().plot; }
    QString cast() const { return packed.more().cast; }
    QString director() const { return packed.more().director; }
    QString genre() const { return packed.more().genre; }
    QString releaseDate() const { return packed.more().releaseDate; }
    QString trailer() const { return packed.more().trailer; } // the video site's id
    std::optional<QString> seriesId() const { return packed.more().seriesId; }
    void setPlot(const QString &text);
    void setCast(const QString &text);
    void setDirector(const QString &text);
    void setGenre(const QString &text);
    void setReleaseDate(const QString &text);
    void setTrailer(const QString &text);
    void setSeriesId(std::optional<QString> seriesId);

    QString seriesIdText() const { return packed.more().seriesId.value_or(QString()); }
    bool isLive() const { return kind == Kind::live; }
};

size_t qHash(const MediaItem &item, size_t seed = 0) noexcept;

// Details of one movie ("info" of "get_vod_info"). No identity, no equality.
class VodInfo
{
    Q_GADGET
    Q_PROPERTY(QString plot MEMBER plot CONSTANT FINAL)
    Q_PROPERTY(QString cast MEMBER cast CONSTANT FINAL)
    Q_PROPERTY(QString director MEMBER director CONSTANT FINAL)
    Q_PROPERTY(QString age MEMBER age CONSTANT FINAL)
    Q_PROPERTY(QString runtime MEMBER runtime CONSTANT FINAL)
    Q_PROPERTY(QString trailer MEMBER trailer CONSTANT FINAL)
    Q_PROPERTY(QString releaseDate MEMBER releaseDate CONSTANT FINAL)

public:
    QString plot;
    QString cast;
    QString director;
    QString age;
    QString runtime;
    QString trailer;
    QString releaseDate;
};

class Season
{
    Q_GADGET
    Q_PROPERTY(qint64 id MEMBER id CONSTANT FINAL)
    Q_PROPERTY(QString name MEMBER name CONSTANT FINAL)
    Q_PROPERTY(QString cover MEMBER cover CONSTANT FINAL)

public:
    qint64 id = 0; // the season number
    QString name;
    QString cover;

    friend bool operator==(const Season &, const Season &) = default;
};

size_t qHash(const Season &season, size_t seed = 0) noexcept;

class Episode
{
    Q_GADGET
    Q_PROPERTY(QString id MEMBER id CONSTANT FINAL)
    Q_PROPERTY(QString title MEMBER title CONSTANT FINAL)
    Q_PROPERTY(qint64 season MEMBER season CONSTANT FINAL)
    Q_PROPERTY(qint64 episodeNum MEMBER episodeNum CONSTANT FINAL)
    Q_PROPERTY(QString containerExt MEMBER containerExt CONSTANT FINAL)
    Q_PROPERTY(QString image MEMBER image CONSTANT FINAL)

public:
    QString id; // the episode's stream id
    QString title;
    qint64 season = 0;
    qint64 episodeNum = 0;
    QString containerExt;
    QString image;

    friend bool operator==(const Episode &, const Episode &) = default;
};

size_t qHash(const Episode &episode, size_t seed = 0) noexcept;

class EpgProgram
{
    Q_GADGET
    Q_PROPERTY(QString id MEMBER id CONSTANT FINAL)
    Q_PROPERTY(QString title MEMBER title CONSTANT FINAL)
    Q_PROPERTY(QString desc MEMBER desc CONSTANT FINAL)
    Q_PROPERTY(QString start MEMBER start CONSTANT FINAL)
    Q_PROPERTY(QString end MEMBER end CONSTANT FINAL)
    Q_PROPERTY(double startTs MEMBER startTs CONSTANT FINAL)
    Q_PROPERTY(double stopTs MEMBER stopTs CONSTANT FINAL)
    Q_PROPERTY(QString timeRange READ timeRange CONSTANT FINAL)

public:
    QString id; // provider entry id followed by the start text
    QString title;
    QString desc;
    QString start; // "yyyy-MM-dd HH:mm:ss" as the provider wrote it
    QString end;
    double startTs = 0;
    double stopTs = 0;

    friend bool operator==(const EpgProgram &, const EpgProgram &) = default;

    // "HH:mm ~ HH:mm", cut from the start and end texts.
    QString timeRange() const;
};

size_t qHash(const EpgProgram &program, size_t seed = 0) noexcept;

class Theme
{
    Q_GADGET
    Q_PROPERTY(QString id READ id CONSTANT FINAL)
    Q_PROPERTY(QString name MEMBER name CONSTANT FINAL)
    Q_PROPERTY(QString url MEMBER url CONSTANT FINAL)

public:
    QString name; // never empty
    QString url;  // background image address

    QString id() const { return name + url; }
    friend bool operator==(const Theme &, const Theme &) = default;
};

size_t qHash(const Theme &theme, size_t seed = 0) noexcept;

Q_DECLARE_METATYPE(Category)
Q_DECLARE_METATYPE(MediaItem)
Q_DECLARE_METATYPE(VodInfo)
Q_DECLARE_METATYPE(Season)
Q_DECLARE_METATYPE(Episode)
Q_DECLARE_METATYPE(EpgProgram)
Q_DECLARE_METATYPE(Theme)
