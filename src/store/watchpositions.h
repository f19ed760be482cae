#pragma once

#include "model/playlist.h"
#include "store/listmodels.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

// Where a movie or an episode was left, with what the home row needs to show and play it
// again. Keyed by the stream's id and kind; the stream's address is never kept, as it holds
// the account's password.
class WatchEntry
{
    Q_GADGET
    Q_PROPERTY(QString kind MEMBER kind CONSTANT FINAL)
    Q_PROPERTY(QString streamId MEMBER streamId CONSTANT FINAL)
    Q_PROPERTY(QString containerExt MEMBER containerExt CONSTANT FINAL)
    Q_PROPERTY(QString title MEMBER title CONSTANT FINAL)
    Q_PROPERTY(QString poster MEMBER poster CONSTANT FINAL)
    Q_PROPERTY(qint64 positionMs MEMBER positionMs CONSTANT FINAL)
    Q_PROPERTY(qint64 lengthMs MEMBER lengthMs CONSTANT FINAL)
    Q_PROPERTY(QString seriesId MEMBER seriesId CONSTANT FINAL)
    Q_PROPERTY(QString showName MEMBER showName CONSTANT FINAL)
    Q_PROPERTY(qint64 season MEMBER season CONSTANT FINAL)
    Q_PROPERTY(qint64 episodeNum MEMBER episodeNum CONSTANT FINAL)
    Q_PROPERTY(bool isEpisode READ isEpisode CONSTANT FINAL)
    Q_PROPERTY(double progress READ progress CONSTANT FINAL)
    Q_PROPERTY(QString caption READ caption CONSTANT FINAL)

public:
    static inline const QString movieKind = QStringLiteral("movie");
    static inline const QString episodeKind = QStringLiteral("episode");

    QString kind; // movieKind or episodeKind
    QString streamId;
    QString containerExt;
    QString title; // the movie's name, or the episode's title
    QString poster;
    qint64 positionMs = 0;
    qint64 lengthMs = 0;
    qint64 savedAtMs = 0; // orders the row, most recent first
    // Episodes: the show they belong to and where in it they sit.
    QString seriesId;
    QString showName;
    qint64 season = 0;
    qint64 episodeNum = 0;

    friend bool operator==(const WatchEntry &, const WatchEntry &) = default;

    bool isEpisode() const { return kind == episodeKind; }
    double progress() const;
    // What the home row writes under the poster: the movie's name, or the show's with the episode.
    QString caption() const;
};

Q_DECLARE_METATYPE(WatchEntry)

#ifdef Q_MOC_RUN
#define MAVU_WATCH_MODEL_BASE ListModelBase
#else
#define MAVU_WATCH_MODEL_BASE RecordListModel<WatchEntry>
#endif

// The home row's entries under the role "entry", most recent first.
class WatchEntryListModel : public MAVU_WATCH_MODEL_BASE
{
    Q_OBJECT
public:
    using RecordListModel::RecordListModel;
};

#undef MAVU_WATCH_MODEL_BASE

// The positions of everything played, per playlist, kept in one small file that only the
// account can read, replaced whole on each save. Finished items and those barely begun keep
// no position; the oldest go when there are too many. A file that cannot be read is kept aside
// and the run starts without positions; a save that fails is tried again with the next change.
class WatchPositions : public QObject
{
    Q_OBJECT
    Q_PROPERTY(WatchEntryListModel *model READ model CONSTANT FINAL)
    // Counts changes: a binding that reads it asks progressOf again after each one.
    Q_PROPERTY(int revision READ revision NOTIFY changed FINAL)

public:
    static constexpr int limit = 500;
    struct Thresholds
    {
        qint64 shortestMs = 60000;     // less than this watched keeps nothing
        qint64 tailMs = 120000;        // this close to the end counts as finished
        double finishedFraction = 0.95; // and so does past this share of the length
    };

    using Clock = std::function<qint64()>; // milliseconds since the epoch

    explicit WatchPositions(QObject *parent = nullptr);

    // The user's file under the data folder.
    static QString defaultPath();
    // Reads `path` (empty: positions live in memory only, as in tests).
    void setPath(const QString &path);
    QString path() const { return m_path; }
    void setClock(Clock clock) { m_clock = std::move(clock); }

    // Whose positions are read and written: none while no playlist is connected.
    void setPlaylist(const std::optional<Playlist> &playlist);
    // The file's key of a playlist: derived from the address and the user name only.
    static QString playlistKey(const Playlist &playlist);

    // Whether a position `positionMs` into `lengthMs` (0: unknown) is worth keeping.
    bool worthKeeping(qint64 positionMs, qint64 lengthMs) const;
    // Tests that play minute-long media shorten them.
    void setThresholds(const Thresholds &thresholds) { m_thresholds = thresholds; }

    // Keeps `entry` as the latest of the playlist, or forgets its position when it is not worth
    // keeping. Saves at once.
    void record(WatchEntry entry);
    Q_INVOKABLE void remove(const QString &kind, const QString &streamId);
    std::optional<WatchEntry> find(const QString &kind, const QString &streamId) const;
    // The share watched, 0 when nothing is kept.
    Q_INVOKABLE double progressOf(const QString &kind, const QString &streamId) const;
    // The same for a poster (movies only: a show's poster stands for many episodes) and an episode.
    Q_INVOKABLE double progressOfItem(const MediaItem &item) const;
    Q_INVOKABLE double progressOfEpisode(const Episode &episode) const;

    // The connected playlist's entries, most recent first.
    QList<WatchEntry> entries() const;
    WatchEntryListModel *model() const { return m_model; }
    int revision() const { return m_revision; }
    // The last save did not reach the file (it is tried again with the next change).
    bool saveFailed() const { return m_saveFailed; }

Q_SIGNALS:
    void changed();

private:
    void load();
    bool save();
    void changedEntries();
    void trim();
    qint64 now();

    QString m_path;
    Clock m_clock;
    Thresholds m_thresholds;
    qint64 m_lastStamp = 0;
    std::optional<QString> m_key;
    // By playlist key; each list unordered.
    QHash<QString, QList<WatchEntry>> m_entries;
    WatchEntryListModel *m_model;
    int m_revision = 0;
    bool m_saveFailed = false;
};
