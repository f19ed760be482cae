#include "guideimportjob.h"

#include "api/gzipstream.h"
#include "api/xmltvreader.h"
#include "store/guidedatabase.h"

#include <QHash>
#include <QPromise>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

namespace {

constexpr qint64 bufferedBytes = 8 << 20;
constexpr qsizetype batchSize = 4096;
constexpr qsizetype batchesQueued = 4;

using Programmes = QList<XmltvReader::Programme>;

} // namespace

struct GuideImportJob::Shared
{
    explicit Shared(Settings s)
        : settings(std::move(s))
    {
    }

    Settings settings;
    std::mutex mutex;
    std::condition_variable changed;

    // Pieces of the answer, waiting for the reader.
    std::deque<QByteArray> pieces;
    qint64 piecesBytes = 0;
    bool inputEnded = false;

    // Batches of programmes, waiting for the writer.
    std::deque<Programmes> batches;
    bool readingEnded = false;

    bool cancelled = false;
    Failure failure = Failure::none;

    std::atomic<qint64> taken{0};
    std::atomic<bool> finishing{false};
    qint64 xmlBytes = 0;

    QPromise<Result> promise;
    std::unique_ptr<QThread> reader;
    std::unique_ptr<QThread> writer;

    // The first failure wins; everything stops.
    void failWith(Failure kind)
    {
        std::lock_guard lock(mutex);
        if (failure == Failure::none)
            failure = kind;
        cancelled = true;
        changed.notify_all();
    }

    // --- the reading thread ---

    std::optional<QByteArray> nextPiece()
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return cancelled || !pieces.empty() || inputEnded; });
        if (cancelled || pieces.empty())
            return std::nullopt;
        QByteArray piece = std::move(pieces.front());
        pieces.pop_front();
        piecesBytes -= piece.size();
        return piece;
    }

    bool hand(Programmes &&batch)
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return cancelled || qsizetype(batches.size()) < batchesQueued; });
        if (cancelled)
            return false;
        batches.push_back(std::move(batch));
        changed.notify_all();
        return true;
    }

    void read()
    {
        struct Collector : XmltvReader::Handler
        {
            QHash<QByteArray, int> keys;
            Programmes batch;
            int channelKey(QByteArrayView id) override { return keys.value(id.toByteArray(), -1); }
            void programme(XmltvReader::Programme &&programme) override { batch.append(std::move(programme)); }
        } collector;
        for (qsizetype i = 0; i < settings.channels.size(); ++i)
            collector.keys.insert(settings.channels.at(i).toUtf8(), int(i));
        collector.batch.reserve(batchSize);

        XmltvReader reader(collector, settings.language);
        std::optional<GzipStream> gzip;
        bool first = true;
        bool understood = true;
        bool tooLarge = false;
        const auto feed = [&](QByteArrayView xml) {
            xmlBytes += xml.size();
            if (xmlBytes > settings.maxBytes) {
                tooLarge = true;
                return false;
            }
            understood = reader.feed(xml);
            return understood;
        };
        while (std::optional<QByteArray> piece = nextPiece()) {
            taken += piece->size();
            if (first) {
                first = false;
                // A guide served as a ".gz" file rather than with a content encoding.
                if (GzipStream::looksCompressed(*piece))
                    gzip.emplace();
            }
            const bool going = gzip ? gzip->inflate(*piece, feed) : feed(*piece);
            if (!going) {
                failWith(tooLarge ? Failure::tooLarge : Failure::notUnderstood);
                return;
            }
            if (collector.batch.size() >= batchSize) {
                if (!hand(std::exchange(collector.batch, {})))
                    return;
                collector.batch.reserve(batchSize);
            }
        }
        {
            std::lock_guard lock(mutex);
            if (cancelled)
                return;
        }
        const XmltvReader::Outcome outcome = reader.finish();
        if (outcome != XmltvReader::Outcome::complete || (gzip && !gzip->atEnd())) {
            failWith(Failure::notUnderstood);
            return;
        }
        if (!collector.batch.isEmpty() && !hand(std::move(collector.batch)))
            return;
        std::lock_guard lock(mutex);
        readingEnded = true;
        changed.notify_all();
    }

    // --- the writing thread ---

    std::optional<Programmes> nextBatch()
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return cancelled || !batches.empty() || readingEnded; });
        if (cancelled || batches.empty())
            return std::nullopt;
        Programmes batch = std::move(batches.front());
        batches.pop_front();
        changed.notify_all();
        return batch;
    }

    void write()
    {
        Result result;
        const bool cancelledAlready = [&] {
            std::lock_guard lock(mutex);
            return cancelled;
        }();
        // A job given up before this thread ran makes no file at all.
        if (!cancelledAlready) {
            GuideDatabase::Writer writer(settings.targetPath);
            bool stored = writer.begin(settings.channels);
            while (stored) {
                std::optional<Programmes> batch = nextBatch();
                if (!batch)
                    break;
                stored = writer.add(*batch);
            }
            bool cleanEnd = false;
            {
                std::lock_guard lock(mutex);
                cleanEnd = !cancelled && readingEnded;
            }
            if (stored && cleanEnd) {
                finishing = true;
                stored = writer.commit(settings.importedAt, settings.keptFrom);
            }
            if (!stored)
                failWith(Failure::notStored);
            result.programmes = writer.added();
        }
        std::lock_guard lock(mutex);
        result.failure = failure != Failure::none ? failure : cancelled ? Failure::cancelled : Failure::none;
        result.bytes = xmlBytes;
        promise.addResult(result);
        promise.finish();
    }
};

namespace {
std::atomic<int> jobsAlive{0};
}

int GuideImportJob::alive()
{
    return jobsAlive.load();
}

GuideImportJob::GuideImportJob(Settings settings)
    : m_shared(std::make_shared<Shared>(std::move(settings)))
{
    ++jobsAlive;
    m_shared->promise.start();
    Shared *shared = m_shared.get();
    m_shared->reader.reset(QThread::create([shared] { shared->read(); }));
    m_shared->writer.reset(QThread::create([shared] { shared->write(); }));
    m_shared->reader->setObjectName(QStringLiteral("guide reader"));
    m_shared->writer->setObjectName(QStringLiteral("guide writer"));
    m_shared->reader->start();
    m_shared->writer->start();
}

GuideImportJob::~GuideImportJob()
{
    cancel();
    m_shared->reader->wait();
    m_shared->writer->wait();
    --jobsAlive;
}

void GuideImportJob::offer(QByteArray bytes)
{
    if (bytes.isEmpty())
        return;
    std::lock_guard lock(m_shared->mutex);
    if (m_shared->cancelled || m_shared->inputEnded)
        return;
    m_shared->piecesBytes += bytes.size();
    m_shared->pieces.push_back(std::move(bytes));
    m_shared->changed.notify_all();
}

bool GuideImportJob::wantsMore() const
{
    std::lock_guard lock(m_shared->mutex);
    return m_shared->piecesBytes < bufferedBytes || m_shared->cancelled;
}

void GuideImportJob::endOfInput()
{
    std::lock_guard lock(m_shared->mutex);
    m_shared->inputEnded = true;
    m_shared->changed.notify_all();
}

void GuideImportJob::cancel()
{
    std::lock_guard lock(m_shared->mutex);
    m_shared->cancelled = true;
    m_shared->changed.notify_all();
}

QFuture<GuideImportJob::Result> GuideImportJob::result() const
{
    return m_shared->promise.future();
}

qint64 GuideImportJob::bytesTaken() const
{
    return m_shared->taken;
}

bool GuideImportJob::finishing() const
{
    return m_shared->finishing;
}
