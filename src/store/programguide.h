#pragma once

#include "model/playlist.h"
#include "model/records.h"
#include "store/guideprogram.h"

#include <QCoroTask>
#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QThreadPool>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class GuideGridModel;
class GuideImportJob;
class QNetworkReply;

// The full programme guide of the connected playlist: imported from the provider's XMLTV
// address into a database of its own (in the background, never on the GUI thread), kept
// across starts, and read back for the guide grid. The short guide of the live pane does not
// depend on it.
//
// The store owns it (QML: `AppStore.guide`) and tells it the playlist, the language and where
// the live channels come from; it imports after connecting when its guide is older than
// twelve hours, and whenever asked (`runImport()`, `retry()`). An import replaces the stored
// guide only when it finished: until then, and after a failure, the previous one stays.
class ProgramGuide : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool importing READ importing NOTIFY importingChanged FINAL)
    Q_PROPERTY(double progress READ progress NOTIFY progressChanged FINAL)
    Q_PROPERTY(bool progressKnown READ progressKnown NOTIFY progressChanged FINAL)
    Q_PROPERTY(QString progressText READ progressText NOTIFY progressChanged FINAL)
    Q_PROPERTY(QDateTime lastImport READ lastImport NOTIFY lastImportChanged FINAL)
    Q_PROPERTY(bool hasLastImport READ hasLastImport NOTIFY lastImportChanged FINAL)
    Q_PROPERTY(Failure failure READ failure NOTIFY failureChanged FINAL)
    Q_PROPERTY(QString failureText READ failureText NOTIFY failureChanged FINAL)
    Q_PROPERTY(bool hasFailure READ hasFailure NOTIFY failureChanged FINAL)
    Q_PROPERTY(int generation READ generation NOTIFY generationChanged FINAL)
    Q_PROPERTY(GuideGridModel *grid READ grid CONSTANT FINAL)
    // The playlist names no guide at all (a plain list without url-tvg): nothing to import or retry.
    Q_PROPERTY(bool guideless READ guideless NOTIFY guidelessChanged FINAL)

public:
    enum class Failure {
        none,
        unreachable,   // no connection, or it broke off
        timedOut,      // silent past the idle time-out, or slower than the overall deadline
        serverFailed,  // an error status instead of a guide
        notUnderstood, // not an XMLTV guide, or one cut short
        tooLarge,
        notStored,     // the database could not be written
    };
    Q_ENUM(Failure)

    static constexpr qint64 staleAfterSecs = 12 * 3600;

    using ChannelSource = std::function<QCoro::Task<QList<MediaItem>>()>;

    explicit ProgramGuide(QObject *parent = nullptr);
    ~ProgramGuide() override;

    // --- what the store tells it ---
    // A different playlist points it at that playlist's database (an import for another one stops).
    void setPlaylist(const std::optional<Playlist> &playlist);
    // Where a plain M3U list's guide is imported from (its url-tvg), told once `playlist`'s list is
    // read; nothing: the list names none. It counts only while that playlist is the one shown. A
    // provider's guide has its own address and ignores this.
    void setGuideAddress(const Playlist &playlist, std::optional<QUrl> address);
    void setLanguage(const QString &code);
    // Where the live channels come from (the store's catalogue, fetched when not there yet).
    void setChannelSource(ChannelSource source);
    // Whether connecting imports a guide that is older than twelve hours (on in the program).
    void setAutomaticImport(bool automatic);
    // The playlist was connected or refreshed: reads the stored guide again and imports it
    // when it is stale and automatic import is on.
    void connected();

    // --- the import ---
    QCoro::Task<> import();
    Q_INVOKABLE void runImport();
    Q_INVOKABLE void retry();

    bool importing() const { return m_importing; }
    double progress() const { return m_progress; }
    bool progressKnown() const { return m_progressKnown; }
    QString progressText() const { return m_progressText; }
    QDateTime lastImport() const { return m_lastImport; }
    bool hasLastImport() const { return m_lastImport.isValid(); }
    Failure failure() const { return m_failure; }
    QString failureText() const;
    bool hasFailure() const { return m_failure != Failure::none; }
    int generation() const { return int(m_generation); }
    bool guideless() const { return m_guideless; }
    static QString failureText(Failure failure, int status = 0);

    // --- reading (off the GUI thread; resumes on it) ---
    // The programmes of the given guide channel ids overlapping [from, to), one list each.
    QCoro::Task<GuideWindow> programs(QStringList channelIds, qint64 from, qint64 to);
    // One programme with its description.
    QCoro::Task<std::optional<GuideProgram>> details(QString channelId, qint64 start);

    GuideGridModel *grid() const { return m_grid; }

    // Where the database of the current playlist lives (empty without a playlist).
    QString databasePath() const { return m_databasePath; }

    // --- for tests and benchmarks ---
    void setCacheFolder(const QString &folder);
    struct Limits
    {
        std::chrono::milliseconds idleTimeout{20000};
        std::chrono::milliseconds deadline{std::chrono::minutes(15)};
        qint64 maxBytes = qint64(4) << 30; // of XML
    };
    void setLimits(const Limits &limits) { m_limits = limits; }

Q_SIGNALS:
    void importingChanged();
    void progressChanged();
    void lastImportChanged();
    void failureChanged();
    // The stored guide was replaced (or another playlist's was opened): views read again.
    void generationChanged();
    void guidelessChanged();

private:
    struct QueryState;

    void setImporting(bool importing);
    void setProgress(double progress, bool known, const QString &text);
    void setFailure(Failure failure, int status = 0);
    void updateGuideless();
    void setLastImport(const QDateTime &time);
    void reopen();
    void pointAtDatabase();
    QCoro::Task<> readSummary(bool importWhenStale);
    void stopImport(bool wait = false);
    void disposeJob(bool wait);

    std::optional<Playlist> m_playlist;
    std::optional<QUrl> m_guideAddress;
    std::optional<Playlist> m_guideAddressFor; // the playlist whose list told m_guideAddress
    bool m_guideless = false; // the list was read and names no guide
    QString m_language;
    QString m_cacheFolder;
    QString m_databasePath;
    ChannelSource m_channelSource;
    bool m_automatic = false;
    Limits m_limits;

    bool m_importing = false;
    double m_progress = 0;
    bool m_progressKnown = false;
    QString m_progressText;
    QDateTime m_lastImport;
    Failure m_failure = Failure::none;
    int m_failureStatus = 0;
    quint64 m_generation = 1;
    quint64 m_importRun = 0;
    std::shared_ptr<GuideImportJob> m_job;
    QPointer<QNetworkReply> m_reply;

    // Reads run on a thread of their own, which keeps its own connection to the database.
    QThreadPool m_readers;
    std::shared_ptr<QueryState> m_queryState;

    GuideGridModel *m_grid;
};
