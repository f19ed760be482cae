#pragma once

#include "api/failure.h"
#include "api/m3ureader.h"
#include "api/network.h"
#include "model/playlist.h"

#include <QCoroTask>
#include <QObject>
#include <QUrl>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// One read of a list as the store takes it: the catalogue, and the records of its three sections
// made on the reading thread, so that the GUI thread only swaps them in.
struct M3uLibrary
{
    // An episode as its place in the catalogue: the records of a show's episodes are made
    // when the show is opened, not for every episode of the list up front.
    struct EpisodeAt
    {
        quint32 place = 0;
        qint32 season = 0;
        qint32 number = 0;
    };
    // The TV Shows of a plain list: entries named like episodes ("Name S01 E02") grouped into
    // one show each with its seasons; any other entry is a show of one episode.
    struct Shows
    {
        QList<MediaItem> shows;
        QHash<QString, qsizetype> showAt;             // by show id: its place in `shows`
        std::vector<std::vector<EpisodeAt>> episodes; // beside `shows`, by season and number
    };
    // `pieces`: how many runs of names are read side by side (0: by the list's size and the pool,
    // one of whose threads is left for the other sections).
    static Shows groupShows(const M3uCatalogue &catalogue, int pieces = 0);
    // A channel keeps its archive mark only where an address for it can be made.
    static QList<MediaItem> withPlayableArchives(const M3uCatalogue &catalogue, QList<MediaItem> channels);
    // The same for the records of `count` places of a section, judged by each entry's own stream
    // (so pieces can be judged side by side); sameKeyArchives() then gives channels that share an
    // id the verdict of their first entry, the one that plays.
    static void judgeArchives(const M3uCatalogue &catalogue, const quint32 *places, size_t count, MediaItem *out);
    static void sameKeyArchives(const M3uCatalogue &catalogue, const std::vector<quint32> &places,
                                QList<MediaItem> &channels);
    static std::shared_ptr<const M3uLibrary> make(M3uCatalogue catalogue);

    // The episodes of a show of this library, in order; none for an id it did not give out.
    QList<Episode> episodes(const QString &showId) const;

    std::shared_ptr<const M3uCatalogue> catalogue;
    std::array<QList<MediaItem>, 3> items; // by section; TV Shows as shows
    QHash<QString, qsizetype> showAt;
    std::vector<std::vector<EpisodeAt>> showEpisodes;
};

// What home shows of a list whose rest is still arriving: its first movies and shows, a row
// each once it is full. Never a section's list: those wait for the whole list.
struct M3uFirstPart
{
    QList<MediaItem> movies; // empty while the row is not full
    QList<MediaItem> shows;
    bool complete = false; // no part follows: both rows are full, or the byte bound was passed
};

// Reads a list as its answer arrives (or from a file): each piece of the body is fed to the
// reader on a helper thread as it comes, so that at the last byte only the last piece is left.
// A body that gave its length stays where it is and is read in place; one without is copied
// out a piece at a time, as it may move while it grows. Nothing of the whole list comes out
// before finish() has the whole body; a cut or failed answer hands out nothing. The first
// part, when asked for, is taken from the same reader, which waits for it.
class M3uArrival final : public Network::BodyWatcher
{
public:
    // Home's rows of `rowLength`: a list's entries carry no dates, so its newest are its first,
    // and the rows are final once read. A part goes out as each row fills (lists often put
    // their shows after all their movies: home opens on the movies), and once past `mostBytes`
    // whatever the rows hold (a list of channels, say).
    struct FirstPartRule
    {
        qsizetype rowLength = 10;
        qsizetype mostBytes = 64 << 20;
    };
    using FirstPartTaken = std::function<void(M3uFirstPart)>;

    explicit M3uArrival(QUrl base, qsizetype pieceBytes = 1 << 20);
    ~M3uArrival() override;

    // Called on a helper thread for each part (at most two), the last one `complete`; never
    // once the whole list is read, nor after a failure or abandon(). Set before the answer begins.
    void watchFirstPart(FirstPartRule rule, FirstPartTaken taken);

    void begin() override;
    bool settled() override;
    void received(QByteArrayView body) override;
    // The answer is given up: its first part is not wanted either. Returns once the helper no
    // longer reads the body.
    void stop() override;

    // The list read from the whole `body` (the one received): blocks until the helper is done,
    // so call it off the GUI thread. Nothing when no answer was watched; the caller then reads
    // the body at once.
    std::optional<Result<M3uCatalogue>> finish(QByteArrayView body);
    // What is queued is dropped and the helper stops: the answer failed or is no longer wanted.
    // Returns once the helper no longer reads the body.
    void abandon();
    // The last finish() read the list's second half on a thread of its own.
    bool readInTwo() const { return m_readInTwo; }

    // The list of a local file, read a piece at a time on the calling thread (never the GUI
    // thread) and handed to the same helper, first part included; only a few pieces are held
    // at once. A cancelled load stops between pieces.
    Result<M3uCatalogue> readFile(const QString &path, qint64 maxBytes,
                                  std::shared_ptr<const Network::Cancellation> cancellation = {});

    struct State;

private:
    // The next `length` bytes of the body past what is queued: a view when it stays in place.
    QByteArray pieceOf(QByteArrayView body, qsizetype length) const;
    void queue(QByteArray piece, bool last);
    std::optional<Result<M3uCatalogue>> waitForRead();

    const QUrl m_base;
    const qsizetype m_pieceBytes;
    std::shared_ptr<State> m_state;
    std::optional<FirstPartRule> m_firstRule;
    FirstPartTaken m_firstTaken;
    qsizetype m_queued = 0; // bytes of the body handed to the helper
    bool m_inPlace = false; // the body does not move: pieces are views into it
    bool m_readInTwo = false;
};

// The plain M3U list of a playlist, read once for all three sections: the list is fetched
// (or read from its file) and parsed off the GUI thread, and everyone asking while that runs
// shares the one load. A new generation drops what is in flight; its answer lands as cancelled.
class M3uSource : public QObject
{
    Q_OBJECT

public:
    using List = std::shared_ptr<const M3uLibrary>;

    using QObject::QObject;
    ~M3uSource() override;

    // The parsed list of an M3U `playlist`: joins a load in flight for it in this generation,
    // or starts one. The cancellation, when given, stops this load (the connect form's Cancel).
    QCoro::Task<Result<List>> fetch(Playlist playlist, std::shared_ptr<Network::Cancellation> cancellation = {});

    // The list as far as it has arrived, from the same load as fetch(): its first part as soon
    // as that is read, or the whole list when it comes first (a short list, a file). The
    // cancellation stops the load only while this waits: once the first part is here, the
    // load belongs to everyone who fetches the whole list.
    struct Arrived
    {
        List whole;                                // set when the whole list came first
        std::shared_ptr<const M3uFirstPart> first; // otherwise
    };
    QCoro::Task<Result<Arrived>> arrived(Playlist playlist, std::shared_ptr<Network::Cancellation> cancellation = {});
    // The part after `after` of the load in flight for `playlist`; nothing once the whole list
    // is in, or when no load of it runs. Never starts a load.
    QCoro::Task<std::shared_ptr<const M3uFirstPart>> nextPart(Playlist playlist,
                                                              std::shared_ptr<const M3uFirstPart> after);

    // A new generation: the load in flight is cancelled, unless it reads `keep`'s list, which
    // then goes on in the new generation.
    void renew(const std::optional<Playlist> &keep = std::nullopt);
    quint64 generation() const { return m_generation; }
    int started() const { return m_started; }

    // Reads a whole body, gzipped or not.
    static Result<M3uCatalogue> parse(QByteArrayView body, const QUrl &base);
    // A list with no entry at all is not a playlist the user can do anything with.
    static Result<List> library(Result<M3uCatalogue> read);

private:
    class Load;

    QCoro::Task<> run(std::shared_ptr<Load> load);
    // The load in flight for `playlist` in this generation, or a new one; `cancellation` tied to it.
    std::pair<std::shared_ptr<Load>, QMetaObject::Connection>
    join(const Playlist &playlist, const std::shared_ptr<Network::Cancellation> &cancellation);

    std::shared_ptr<Load> m_inFlight;
    std::vector<std::weak_ptr<Load>> m_earlier; // loads of other lists still running, for renew()
    quint64 m_generation = 0;
    int m_started = 0;
};

// Archive addresses of an M3U entry that declares catch-up. `start` and `stop` are seconds
// since 1970; `now` is the clock the address is made at. Nothing for an entry without catch-up
// or of a kind not handled, or ("flussonic"/"fs") whose live address has no archive path beside it.
namespace M3uArchive {
std::optional<QUrl> address(const M3uStream &stream, qint64 start, qint64 stop, qint64 now);
// The template of `catchup-source` with {utc}, {start}, {utcend}, {end}, {duration}, {lutc},
// {now}, {offset}, {Y}, {m}, {d}, {H}, {M}, {S} (also written ${…}) filled in.
QString expand(const QString &pattern, qint64 start, qint64 stop, qint64 now);
} // namespace M3uArchive
