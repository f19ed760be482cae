#include "programguide.h"

#include "api/network.h"
#include "model/urltext.h"
#include "store/guidedatabase.h"
#include "store/guidegridmodel.h"
#include "store/guideimportjob.h"

#include <QCoroFuture>
#include <QCoroNetworkReply>
#include <QDir>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QSet>
#include <QStandardPaths>
#include <QTimer>
#include <QtConcurrent>

Q_DECLARE_LOGGING_CATEGORY(lcGuideStore)

namespace {

constexpr qint64 readPiece = 256 * 1024;
constexpr auto pauseWhenFull = std::chrono::milliseconds(5);

struct DeleteLater
{
    void operator()(QObject *object) const { object->deleteLater(); }
};

void startTask(QCoro::Task<> &&task)
{
    [[maybe_unused]] QCoro::Task<> started = std::move(task);
}

// "<host>/xmltv.php?username=…&password=…", encoded as every provider request is.
std::optional<QUrl> xmltvAddress(const Playlist &playlist)
{
    QUrl url = UrlText::parse(playlist.host + QStringLiteral("/xmltv.php"));
    if (!url.isValid() || url.host().isEmpty() || url.hasQuery() || url.hasFragment()
        || (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https")))
        return std::nullopt;
    url.setQuery(UrlText::encodeQuery({{QStringLiteral("username"), playlist.username},
                                       {QStringLiteral("password"), playlist.password}}),
                 QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;
    return url;
}

QString updatingText(int percent)
{
    return QStringLiteral("Updating guide… %1 %").arg(percent);
}

QString updatingBytesText(qint64 bytes)
{
    return QStringLiteral("Updating guide… %1 MB").arg(bytes / (1024 * 1024));
}

} // namespace

struct ProgramGuide::QueryState
{
    QString path;
    quint64 generation = 0;
    std::unique_ptr<GuideDatabase::Reader> reader;

    GuideDatabase::Reader &readerFor(const QString &wantedPath, quint64 wantedGeneration)
    {
        if (!reader || path != wantedPath || generation != wantedGeneration) {
            reader = std::make_unique<GuideDatabase::Reader>(wantedPath);
            path = wantedPath;
            generation = wantedGeneration;
        }
        return *reader;
    }
};

ProgramGuide::ProgramGuide(QObject *parent)
    : QObject(parent)
    , m_cacheFolder(QStandardPaths::writableLocation(QStandardPaths::CacheLocation))
    , m_queryState(std::make_shared<QueryState>())
    , m_grid(new GuideGridModel(this))
{
    m_readers.setMaxThreadCount(1);
    m_readers.setExpiryTimeout(-1);
    m_grid->setLoader([this](QStringList ids, qint64 from, qint64 to) { return programs(std::move(ids), from, to); });
    m_grid->setDetailsLoader([this](QString id, qint64 start) { return details(std::move(id), start); });
    QObject::connect(this, &ProgramGuide::generationChanged, m_grid, &GuideGridModel::reload);
}

ProgramGuide::~ProgramGuide()
{
    // An import that is under way leaves nothing behind: wait for its threads.
    stopImport(true);
    // The reading thread closes its connection itself, then ends.
    m_readers.start([state = m_queryState] { state->reader.reset(); });
    m_readers.waitForDone();
}

// --- fields ---

void ProgramGuide::setImporting(bool importing)
{
    if (m_importing == importing)
        return;
    m_importing = importing;
    Q_EMIT importingChanged();
}

void ProgramGuide::setProgress(double progress, bool known, const QString &text)
{
    if (m_progress == progress && m_progressKnown == known && m_progressText == text)
        return;
    m_progress = progress;
    m_progressKnown = known;
    m_progressText = text;
    Q_EMIT progressChanged();
}

void ProgramGuide::setFailure(Failure failure, int status)
{
    if (m_failure == failure && m_failureStatus == status)
        return;
    m_failure = failure;
    m_failureStatus = status;
    Q_EMIT failureChanged();
}

void ProgramGuide::setLastImport(const QDateTime &time)
{
    if (m_lastImport == time)
        return;
    m_lastImport = time;
    Q_EMIT lastImportChanged();
}

QString ProgramGuide::failureText() const
{
    return failureText(m_failure, m_failureStatus);
}

QString ProgramGuide::failureText(Failure failure, int status)
{
    switch (failure) {
    case Failure::none:
        return {};
    case Failure::unreachable:
        return QStringLiteral("Couldn't download the guide from the server.");
    case Failure::timedOut:
        return QStringLiteral("The guide server took too long to answer.");
    case Failure::serverFailed:
        return QStringLiteral("The guide server answered with an error (%1).").arg(status);
    case Failure::notUnderstood:
        return QStringLiteral("The guide server's answer wasn't understood.");
    case Failure::tooLarge:
        return QStringLiteral("The guide is too large to import.");
    case Failure::notStored:
        return QStringLiteral("The guide couldn't be stored on this computer.");
    }
    return {};
}

// --- what the store tells it ---

void ProgramGuide::setCacheFolder(const QString &folder)
{
    if (folder == m_cacheFolder)
        return;
    m_cacheFolder = folder;
    pointAtDatabase();
}

void ProgramGuide::setPlaylist(const std::optional<Playlist> &playlist)
{
    if (playlist == m_playlist)
        return;
    m_playlist = playlist;
    pointAtDatabase();
    updateGuideless();
}

void ProgramGuide::setGuideAddress(const Playlist &playlist, std::optional<QUrl> address)
{
    // Told when a list is read, which can be before or after the playlist is; another list's
    // answer must never say whether this one has a guide.
    m_guideAddress = std::move(address);
    m_guideAddressFor = playlist;
    updateGuideless();
}

void ProgramGuide::updateGuideless()
{
    const bool guideless = m_playlist && m_playlist->isM3u() && m_guideAddressFor == m_playlist && !m_guideAddress;
    if (m_guideless == guideless)
        return;
    m_guideless = guideless;
    // A failure of a guide the list no longer names is no longer true.
    if (guideless && !m_importing)
        setFailure(Failure::none);
    Q_EMIT guidelessChanged();
}

void ProgramGuide::pointAtDatabase()
{
    stopImport();
    m_databasePath = m_playlist ? QDir(m_cacheFolder).filePath(GuideDatabase::fileName(*m_playlist)) : QString();
    setFailure(Failure::none);
    setLastImport({});
    reopen();
    if (m_playlist)
        startTask(readSummary(false));
}

void ProgramGuide::setLanguage(const QString &code)
{
    m_language = code;
}

void ProgramGuide::setChannelSource(ChannelSource source)
{
    m_channelSource = std::move(source);
}

void ProgramGuide::setAutomaticImport(bool automatic)
{
    m_automatic = automatic;
}

void ProgramGuide::connected()
{
    if (m_playlist)
        startTask(readSummary(true));
}

void ProgramGuide::reopen()
{
    ++m_generation;
    Q_EMIT generationChanged();
}

QCoro::Task<> ProgramGuide::readSummary(bool importWhenStale)
{
    QPointer<ProgramGuide> self(this);
    const QString path = m_databasePath;
    const quint64 generation = m_generation;
    auto state = m_queryState;
    QFuture<std::optional<GuideDatabase::Summary>> future = QtConcurrent::run(&m_readers, [state, path, generation] {
        GuideDatabase::Reader &reader = state->readerFor(path, generation);
        return reader.open() ? reader.summary() : std::nullopt;
    });
    const std::optional<GuideDatabase::Summary> summary = co_await future;
    if (!self || path != m_databasePath)
        co_return;
    if (summary)
        setLastImport(QDateTime::fromSecsSinceEpoch(summary->importedAt));
    const bool stale = !summary || QDateTime::currentSecsSinceEpoch() - summary->importedAt > staleAfterSecs;
    if (importWhenStale && m_automatic && stale && !m_importing)
        startTask(import());
}

// --- the import ---

void ProgramGuide::runImport()
{
    startTask(import());
}

void ProgramGuide::retry()
{
    startTask(import());
}

void ProgramGuide::stopImport(bool wait)
{
    if (!m_importing)
        return;
    ++m_importRun; // the running import ends at its next step
    disposeJob(wait);
    if (m_reply)
        m_reply->abort();
    setImporting(false);
    setProgress(0, false, QString());
}

void ProgramGuide::disposeJob(bool wait)
{
    std::shared_ptr<GuideImportJob> job = std::exchange(m_job, nullptr);
    if (!job)
        return;
    job->cancel();
    // Its threads may be finishing a batch or the database's index: never wait for that on
    // the GUI thread, except when the guide itself goes.
    if (!wait)
        QThreadPool::globalInstance()->start([job]() mutable { job.reset(); });
}

QCoro::Task<> ProgramGuide::import()
{
    if (!m_playlist || m_importing)
        co_return;
    QPointer<ProgramGuide> self(this);
    const quint64 run = ++m_importRun;
    const auto stillMine = [self, run] { return self && self->m_importRun == run; };
    const Playlist playlist = *m_playlist;
    setFailure(Failure::none);
    setImporting(true);
    setProgress(0, false, QStringLiteral("Updating guide…"));

    const auto fail = [this](Failure failure, int status = 0) {
        ++m_importRun;
        disposeJob(false);
        setImporting(false);
        setProgress(0, false, QString());
        setFailure(failure, status);
    };

    QList<MediaItem> channels;
    if (m_channelSource) {
        auto source = m_channelSource();
        channels = co_await source;
        if (!stillMine())
            co_return;
    }
    // Only the programmes of the playlist's channels are kept, as far back as the longest archive.
    QStringList ids;
    QSet<QString> seen;
    qint64 archiveDays = 1;
    for (const MediaItem &channel : std::as_const(channels)) {
        if (!channel.isLive())
            continue;
        if (!channel.epgChannelId.isEmpty() && !seen.contains(channel.epgChannelId)) {
            seen.insert(channel.epgChannelId);
            ids.append(channel.epgChannelId);
        }
        if (channel.tvArchive)
            archiveDays = std::max(archiveDays, channel.archiveDays);
    }
    const auto url = !playlist.isM3u()        ? xmltvAddress(playlist)
        : m_guideAddressFor == playlist ? m_guideAddress
                                        : std::nullopt;
    if (!url) {
        // A list read without a guide address has no guide: not a failure, and nothing to retry.
        // One that could not be read leaves the guide unreachable.
        if (m_guideless) {
            ++m_importRun;
            setImporting(false);
            setProgress(0, false, QString());
        } else {
            fail(Failure::unreachable);
        }
        co_return;
    }

    const qint64 now = QDateTime::currentSecsSinceEpoch();
    GuideImportJob::Settings settings;
    settings.targetPath = m_databasePath;
    settings.channels = ids;
    settings.language = m_language;
    settings.importedAt = now;
    settings.keptFrom = now - archiveDays * 86400;
    settings.maxBytes = m_limits.maxBytes;
    m_job = std::make_shared<GuideImportJob>(std::move(settings));
    const std::shared_ptr<GuideImportJob> job = m_job;

    QNetworkRequest request(*url);
    request.setRawHeader("Accept", "application/xml, text/xml, */*");
    request.setTransferTimeout(int(m_limits.idleTimeout.count()));
    // Guides compress tenfold and more; the size is watched on the inflated bytes instead.
    request.setDecompressedSafetyCheckThreshold(-1);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    std::unique_ptr<QNetworkReply, DeleteLater> reply(Network::shared().get(request));
    reply->setParent(nullptr);
    // Qt reads no further ahead than this while the import is behind: memory stays flat.
    reply->setReadBufferSize(1 << 20);
    QNetworkReply *replyPtr = reply.get();
    m_reply = replyPtr;

    bool deadlineHit = false;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, replyPtr, [&deadlineHit, replyPtr] {
        deadlineHit = true;
        replyPtr->abort();
    });
    deadline.start(m_limits.deadline);

    // Pieces go to the import as they arrive; while its buffer is full, reading pauses briefly.
    // Callbacks check `alive`: the reply outlives this coroutine by a turn of the event loop.
    const auto alive = std::make_shared<bool>(true);
    std::function<void()> pump;
    pump = [stillMine, job, replyPtr, alive, &pump] {
        if (!*alive || !stillMine())
            return;
        if (job->result().isFinished()) {
            replyPtr->abort(); // it failed already: the rest is not worth the wait
            return;
        }
        while (replyPtr->bytesAvailable() > 0) {
            if (!job->wantsMore()) {
                QTimer::singleShot(pauseWhenFull, replyPtr, [alive, &pump] {
                    if (*alive)
                        pump();
                });
                return;
            }
            job->offer(replyPtr->read(readPiece));
        }
    };
    int lastShown = -1;
    const auto onProgress = [this, stillMine, replyPtr, alive, &lastShown](qint64 received, qint64 total) {
        if (!*alive || !stillMine())
            return;
        // With a content encoding the length counts compressed bytes: no share of it is known.
        const bool known = total > 0 && replyPtr->rawHeader("Content-Encoding").isEmpty();
        if (known) {
            const double share = std::clamp(double(received) / double(total), 0.0, 1.0);
            const int percent = int(share * 95);
            if (percent != lastShown) {
                lastShown = percent;
                setProgress(share * 0.95, true, updatingText(percent));
            }
        } else if (int(received >> 20) != lastShown) {
            lastShown = int(received >> 20);
            setProgress(0, false, updatingBytesText(received));
        }
    };
    // Declared after what they guard, so that they go first.
    struct Expire
    {
        std::shared_ptr<bool> alive;
        ~Expire() { *alive = false; }
    } expire{alive};
    QObject::connect(replyPtr, &QNetworkReply::readyRead, replyPtr, [alive, &pump] {
        if (*alive)
            pump();
    });
    QObject::connect(replyPtr, &QNetworkReply::downloadProgress, replyPtr, onProgress);

    co_await replyPtr;
    if (!stillMine())
        co_return;
    deadline.stop();

    const QVariant statusAttribute = replyPtr->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const int status = statusAttribute.isValid() ? statusAttribute.toInt() : 0;
    const QNetworkReply::NetworkError error = replyPtr->error();
    if (status >= 400) {
        // An error answer: whatever its body was, the server said no.
        fail(Failure::serverFailed, status);
        co_return;
    }
    if (job->result().isFinished()) {
        // The import stopped before the download did: its reason is the one that counts.
    } else if (deadlineHit || error == QNetworkReply::TimeoutError || error == QNetworkReply::OperationCanceledError) {
        fail(Failure::timedOut);
        co_return;
    } else if (error != QNetworkReply::NoError) {
        fail(Failure::unreachable);
        co_return;
    } else {
        while (replyPtr->bytesAvailable() > 0)
            job->offer(replyPtr->read(readPiece));
        job->endOfInput();
        if (m_progressKnown)
            setProgress(0.97, true, updatingText(97));
    }

    QFuture<GuideImportJob::Result> outcome = job->result();
    const GuideImportJob::Result result = co_await outcome;
    if (!stillMine())
        co_return;
    switch (result.failure) {
    case GuideImportJob::Failure::none:
        break;
    case GuideImportJob::Failure::tooLarge:
        fail(Failure::tooLarge);
        co_return;
    case GuideImportJob::Failure::notStored:
        fail(Failure::notStored);
        co_return;
    case GuideImportJob::Failure::notUnderstood:
    case GuideImportJob::Failure::cancelled:
        fail(Failure::notUnderstood);
        co_return;
    }
    qCDebug(lcGuideStore) << "guide imported:" << result.programmes << "programmes from" << result.bytes << "bytes";
    m_job.reset(); // its threads have ended
    setLastImport(QDateTime::fromSecsSinceEpoch(now));
    setProgress(1, true, QString());
    setImporting(false);
    reopen();
}

// --- reading ---

QCoro::Task<GuideWindow> ProgramGuide::programs(QStringList channelIds, qint64 from, qint64 to)
{
    const QString path = m_databasePath;
    const quint64 generation = m_generation;
    auto state = m_queryState;
    QFuture<GuideWindow> future = QtConcurrent::run(&m_readers, [state, path, generation, channelIds, from, to] {
        GuideWindow window;
        window.from = from;
        window.to = to;
        window.generation = generation;
        if (path.isEmpty()) {
            window.rows.resize(channelIds.size());
            return window;
        }
        window.rows = state->readerFor(path, generation).programs(channelIds, from, to);
        return window;
    });
    co_return co_await future;
}

QCoro::Task<std::optional<GuideProgram>> ProgramGuide::details(QString channelId, qint64 start)
{
    const QString path = m_databasePath;
    const quint64 generation = m_generation;
    auto state = m_queryState;
    QFuture<std::optional<GuideProgram>> future =
        QtConcurrent::run(&m_readers, [state, path, generation, channelId, start]() -> std::optional<GuideProgram> {
            if (path.isEmpty())
                return std::nullopt;
            return state->readerFor(path, generation).program(channelId, start);
        });
    co_return co_await future;
}
