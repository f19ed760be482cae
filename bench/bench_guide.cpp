// The full programme guide. Imports of XMLTV guides of about 50, 150 and 300 MB made by the
// lab from its large catalogue: read and stored by the import job, fed from disk in the
// pieces a download arrives in, beside a plain QXmlStreamReader pass over the same bytes and
// the XMLTV reader alone; the peak memory of each import; the whole import through HTTP from
// a file server on loopback; then reading 2,000 channels × 6 hours back, beside one query a
// channel.
#include "benchsupport.h"

#include "api/xmltvreader.h"
#include "catalogue.h"
#include "store/guidedatabase.h"
#include "store/guideimportjob.h"
#include "store/programguide.h"
#include "xmltv.h"

#include <QCoreApplication>
#include <QCoroTask>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QXmlStreamReader>

#include <algorithm>
#include <ctime>
#include <malloc.h>
#include <sys/resource.h>

namespace {

constexpr qint64 piece = 256 * 1024;

qint64 statusKilobytes(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qsizetype(std::strlen(field))).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

// The peak resident size starts again from the current one.
void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

double mb(qint64 bytes)
{
    return double(bytes) / 1e6;
}

// The machine is shared: beside wall time, the processor time the work took, which other
// programs running at the same time do not inflate.
double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

struct Timed
{
    double wallMs = 0;
    double cpuMs = 0;
};

template<typename F>
Timed timed(F &&run)
{
    QElapsedTimer clock;
    clock.start();
    const double cpu = threadCpuMs();
    run();
    return Timed{double(clock.nsecsElapsed()) / 1e6, threadCpuMs() - cpu};
}

// Processor time of this process's threads by name ("guide reader", "guide writer"), read
// from /proc while they run: the last reading before each one ends.
class ThreadClock
{
public:
    void sample()
    {
        const QDir tasks(QStringLiteral("/proc/self/task"));
        const long ticks = sysconf(_SC_CLK_TCK);
        for (const QString &tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile stat(tasks.filePath(tid + QStringLiteral("/stat")));
            if (!stat.open(QIODevice::ReadOnly))
                continue;
            const QByteArray line = stat.readAll();
            const qsizetype open = line.indexOf('(');
            const qsizetype close = line.lastIndexOf(')');
            if (open < 0 || close < 0)
                continue;
            const QString name = QString::fromUtf8(line.mid(open + 1, close - open - 1));
            const QList<QByteArray> fields = line.mid(close + 2).split(' ');
            // utime and stime: fields 14 and 15 of the line, 12 and 13 after the name.
            const double ms = double(fields.value(11).toLongLong() + fields.value(12).toLongLong()) * 1000.0 / double(ticks);
            m_ms[tid] = {name, ms};
        }
    }
    double ms(const QString &name) const
    {
        double total = 0;
        for (const auto &[thread, value] : m_ms.asKeyValueRange()) {
            if (value.first == name)
                total += value.second;
        }
        return total;
    }
    void clear() { m_ms.clear(); }

private:
    QHash<QString, std::pair<QString, double>> m_ms;
};

// Writes the lab's guide for [from, to) into `path`; its size.
qint64 writeGuide(const std::shared_ptr<const Lab::Catalogue> &catalogue, qint64 from, qint64 to, const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    Lab::Xmltv::Writer writer(catalogue, from, to);
    for (QByteArray chunk = writer.next(4 << 20); !chunk.isEmpty(); chunk = writer.next(4 << 20))
        file.write(chunk);
    return file.size();
}

template<typename F>
void eachPiece(const QString &path, F &&use)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    QByteArray buffer(piece, Qt::Uninitialized);
    for (qint64 n = file.read(buffer.data(), piece); n > 0; n = file.read(buffer.data(), piece))
        use(QByteArrayView(buffer.constData(), n));
}

Timed qtStreamPass(const QString &path)
{
    return timed([&] {
        QXmlStreamReader reader;
        qint64 elements = 0;
        eachPiece(path, [&](QByteArrayView bytes) {
            reader.addData(bytes.toByteArray());
            while (!reader.atEnd()) {
                if (reader.readNext() == QXmlStreamReader::StartElement)
                    ++elements;
            }
        });
        if (elements == 0)
            qFatal("nothing read");
    });
}

Timed readerPass(const QString &path, const QStringList &channels)
{
    struct Counter : XmltvReader::Handler
    {
        QHash<QByteArray, int> keys;
        qint64 count = 0;
        int channelKey(QByteArrayView id) override { return keys.value(id.toByteArray(), -1); }
        void programme(XmltvReader::Programme &&) override { ++count; }
    } counter;
    for (qsizetype i = 0; i < channels.size(); ++i)
        counter.keys.insert(channels.at(i).toUtf8(), int(i));
    return timed([&] {
        XmltvReader reader(counter);
        eachPiece(path, [&](QByteArrayView bytes) { reader.feed(bytes); });
        if (reader.finish() != XmltvReader::Outcome::complete)
            qFatal("the guide did not read whole");
    });
}

struct Import
{
    double ms = 0;
    double readerMs = 0; // processor time of each of the job's threads
    double writerMs = 0;
    double feedMs = 0; // of the thread that hands the pieces on
    qint64 beforeKb = 0; // resident before, and at the most while it ran
    qint64 peakKb = 0;
    qint64 programmes = 0;
};

Import importFile(const QString &path, const QString &target, const QStringList &channels)
{
    QFile::remove(target);
    GuideImportJob::Settings settings;
    settings.targetPath = target;
    settings.channels = channels;
    settings.importedAt = QDateTime::currentSecsSinceEpoch();
    settings.keptFrom = 0; // keep everything: the most work
    malloc_trim(0);
    const qint64 before = statusKilobytes("VmRSS:");
    resetPeak();
    QElapsedTimer clock;
    clock.start();
    const double feedStart = threadCpuMs();
    Import result;
    ThreadClock threads;
    {
        GuideImportJob job(settings);
        QElapsedTimer sampled;
        sampled.start();
        eachPiece(path, [&](QByteArrayView bytes) {
            while (!job.wantsMore())
                QThread::usleep(500);
            job.offer(bytes.toByteArray());
            if (sampled.elapsed() > 20) {
                threads.sample();
                sampled.restart();
            }
        });
        job.endOfInput();
        while (!job.result().isFinished()) {
            threads.sample();
            QThread::msleep(10);
        }
        const GuideImportJob::Result outcome = job.result().result();
        if (outcome.failure != GuideImportJob::Failure::none)
            qFatal("the import failed");
        result.programmes = outcome.programmes;
    }
    result.ms = double(clock.nsecsElapsed()) / 1e6;
    result.feedMs = threadCpuMs() - feedStart;
    result.readerMs = threads.ms(QStringLiteral("guide reader"));
    result.writerMs = threads.ms(QStringLiteral("guide writer"));
    result.beforeKb = before;
    result.peakKb = statusKilobytes("VmHWM:");
    return result;
}

// Serves one file over HTTP/1.1 on loopback from a thread of its own, as a provider would.
class FileServer : public QThread
{
public:
    FileServer(QString path)
        : m_path(std::move(path))
    {
    }
    quint16 port() const { return m_port; }

protected:
    void run() override
    {
        QTcpServer server;
        if (!server.listen(QHostAddress::LocalHost))
            return;
        m_port = server.serverPort();
        m_ready.storeRelease(1);
        while (!isInterruptionRequested()) {
            if (!server.waitForNewConnection(100))
                continue;
            std::unique_ptr<QTcpSocket> socket(server.nextPendingConnection());
            QByteArray request;
            while (!request.contains("\r\n\r\n") && socket->waitForReadyRead(5000))
                request += socket->readAll();
            QFile file(m_path);
            file.open(QIODevice::ReadOnly);
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/xml\r\nContent-Length: " + QByteArray::number(file.size())
                          + "\r\nConnection: close\r\n\r\n");
            while (!file.atEnd() && socket->state() == QAbstractSocket::ConnectedState) {
                socket->write(file.read(piece));
                while (socket->bytesToWrite() > 4 * piece && socket->waitForBytesWritten(5000)) {
                }
            }
            socket->waitForBytesWritten(5000);
            socket->disconnectFromHost();
            if (socket->state() != QAbstractSocket::UnconnectedState)
                socket->waitForDisconnected(5000);
        }
    }

public:
    void waitReady()
    {
        while (!m_ready.loadAcquire())
            QThread::msleep(5);
    }

private:
    QString m_path;
    quint16 m_port = 0;
    QAtomicInt m_ready;
};

QCoro::Task<QList<MediaItem>> give(QList<MediaItem> channels)
{
    co_return channels;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir folder;
    auto catalogue = std::make_shared<const Lab::Catalogue>(7, Lab::Preset::large, QStringLiteral("http://127.0.0.1:1"));
    QStringList channels;
    QList<MediaItem> items;
    for (const Lab::LiveChannel &channel : catalogue->live()) {
        if (channel.epgChannelId.isEmpty())
            continue;
        channels.append(channel.epgChannelId);
        MediaItem item;
        item.id = QString::number(channel.id);
        item.kind = MediaItem::Kind::live;
        item.epgChannelId = channel.epgChannelId;
        items.append(item);
    }
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    // Bytes of guide a second of span, from a three-hour sample.
    const qint64 sample = writeGuide(catalogue, now, now + 3 * 3600, folder.filePath(QStringLiteral("sample.xml")));
    const double bytesPerSecond = double(sample) / (3 * 3600);
    QFile::remove(folder.filePath(QStringLiteral("sample.xml")));
    std::printf("full guide: XMLTV of the lab's large catalogue, %lld channels with a guide\n", qlonglong(channels.size()));

    // The guides first; then the catalogue goes, so that resident sizes show the import's own.
    QList<std::pair<int, QString>> guides;
    for (const int target : {50, 150, 300}) {
        // The guide's size follows its span only roughly (whole blocks of programmes): once
        // more with the span corrected when it is off.
        qint64 span = qint64(target * 1e6 / bytesPerSecond);
        const QString path = folder.filePath(QStringLiteral("guide-%1.xml").arg(target));
        const qint64 size = writeGuide(catalogue, now - span / 2, now + span - span / 2, path);
        if (std::abs(mb(size) - target) > target * 0.04) {
            span = qint64(double(span) * target / mb(size));
            writeGuide(catalogue, now - span / 2, now + span - span / 2, path);
        }
        guides.append({target, path});
    }
    catalogue.reset();
    malloc_trim(0);

    QString biggest;
    QString biggestGuide;
    for (const auto &[target, path] : std::as_const(guides)) {
        const qint64 size = QFileInfo(path).size();
        std::printf("guide of %.0f MB:\n", mb(size));
        const Timed baseline = qtStreamPass(path);
        const Timed reading = readerPass(path, channels);
        const QString database = folder.filePath(QStringLiteral("guide-%1.sqlite").arg(target));
        const Import import = importFile(path, database, channels);
        const auto rate = [&](double ms) { return QString::number(mb(size) / ms * 1000, 'f', 0); };
        Bench::row("QXmlStreamReader pass (baseline)", QStringLiteral("%1 ms, %2 MB/s; processor %3 ms, %4 MB/s")
                                                           .arg(baseline.wallMs, 0, 'f', 0).arg(rate(baseline.wallMs))
                                                           .arg(baseline.cpuMs, 0, 'f', 0).arg(rate(baseline.cpuMs)));
        Bench::row("XMLTV reader alone", QStringLiteral("%1 ms, %2 MB/s; processor %3 ms, %4 MB/s")
                                             .arg(reading.wallMs, 0, 'f', 0).arg(rate(reading.wallMs))
                                             .arg(reading.cpuMs, 0, 'f', 0).arg(rate(reading.cpuMs)));
        Bench::row("import: read and stored", QStringLiteral("%1 ms, %2 MB/s, %3 ms a MB, %4 programmes")
                                                  .arg(import.ms, 0, 'f', 0)
                                                  .arg(rate(import.ms))
                                                  .arg(import.ms / mb(size), 0, 'f', 2)
                                                  .arg(import.programmes));
        // Its two threads run side by side: the busier one sets the pace on an idle machine.
        const double busiest = std::max({import.readerMs, import.writerMs, import.feedMs});
        Bench::row("import: processor time of its threads", QStringLiteral("reading %1 ms, storing %2 ms, handing on %3 ms: %4 MB/s")
                                                                 .arg(import.readerMs, 0, 'f', 0)
                                                                 .arg(import.writerMs, 0, 'f', 0)
                                                                 .arg(import.feedMs, 0, 'f', 0)
                                                                 .arg(rate(busiest)));
        Bench::row("import: resident size, before and at peak", QStringLiteral("%1 MB, %2 MB (+%3 MB)")
                                                                    .arg(double(import.beforeKb) / 1024, 0, 'f', 1)
                                                                    .arg(double(import.peakKb) / 1024, 0, 'f', 1)
                                                                    .arg(double(std::max<qint64>(0, import.peakKb - import.beforeKb)) / 1024, 0, 'f', 1));
        Bench::row("database", QStringLiteral("%1 MB").arg(mb(QFileInfo(database).size()), 0, 'f', 0));
        if (target != 300) {
            QFile::remove(path);
            QFile::remove(database);
        } else {
            biggest = database;
            biggestGuide = path;
        }
    }

    // The whole import as the program runs it: HTTP on loopback, the GUI thread handing the
    // pieces on, progress told.
    {
        FileServer server(biggestGuide);
        server.start();
        server.waitReady();
        ProgramGuide guide;
        guide.setCacheFolder(folder.filePath(QStringLiteral("http")));
        guide.setChannelSource([items] { return give(items); });
        guide.setPlaylist(Playlist{QStringLiteral("http://127.0.0.1:%1").arg(server.port()), QStringLiteral("u"), QStringLiteral("p")});
        malloc_trim(0);
        const qint64 before = statusKilobytes("VmRSS:");
        resetPeak();
        ThreadClock threads;
        QTimer sampler;
        QObject::connect(&sampler, &QTimer::timeout, [&threads] { threads.sample(); });
        sampler.start(20);
        QElapsedTimer clock;
        clock.start();
        const double guiStart = threadCpuMs();
        QCoro::waitFor(guide.import());
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        const double guiMs = threadCpuMs() - guiStart;
        sampler.stop();
        const qint64 size = QFileInfo(biggestGuide).size();
        server.requestInterruption();
        server.wait();
        std::printf("the program's import over HTTP on loopback, %.0f MB:\n", mb(size));
        Bench::row("download, read and stored", guide.hasFailure() ? guide.failureText()
                                                                 : QStringLiteral("%1 ms, %2 MB/s").arg(ms, 0, 'f', 0).arg(mb(size) / ms * 1000, 0, 'f', 0));
        Bench::row("resident size, before and at peak", QStringLiteral("%1 MB, %2 MB").arg(double(before) / 1024, 0, 'f', 1)
                                                                .arg(double(statusKilobytes("VmHWM:")) / 1024, 0, 'f', 1));
        Bench::row("processor time", QStringLiteral("GUI thread %1 ms, reading %2 ms, storing %3 ms")
                                         .arg(guiMs, 0, 'f', 0)
                                         .arg(threads.ms(QStringLiteral("guide reader")), 0, 'f', 0)
                                         .arg(threads.ms(QStringLiteral("guide writer")), 0, 'f', 0));
    }
    QFile::remove(biggestGuide);

    // Reading back: 2,000 channels, six hours, at times around now.
    GuideDatabase::Reader reader(biggest);
    if (!reader.open())
        qFatal("cannot open the guide");
    QRandomGenerator random(3);
    QList<double> fast;
    QList<double> naive;
    QList<double> fastCpu;
    qint64 rows = 0;
    QSqlDatabase plain = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("naive"));
    plain.setDatabaseName(biggest);
    plain.open();
    QHash<QString, int> keys;
    {
        QSqlQuery query(plain);
        query.exec(QStringLiteral("SELECT key, id FROM channels"));
        while (query.next())
            keys.insert(query.value(1).toString(), query.value(0).toInt());
    }
    for (int run = 0; run < 21; ++run) {
        QStringList asked;
        const int first = int(random.bounded(channels.size() - 2000));
        for (int i = 0; i < 2000; ++i)
            asked.append(channels.at(first + i));
        const qint64 from = now - 2 * 3600 + qint64(random.bounded(4 * 3600));
        const qint64 to = from + 6 * 3600;
        const Timed one = timed([&] {
            rows = 0;
            for (const auto &row : reader.programs(asked, from, to))
                rows += row.size();
        });
        fast.append(one.wallMs);
        fastCpu.append(one.cpuMs);
        naive.append(Bench::bestMs(1, [&] {
            QSqlQuery query(plain);
            query.setForwardOnly(true);
            query.prepare(QStringLiteral("SELECT start, stop, offset, title FROM programmes WHERE channel = ? AND start < ? AND stop > ? ORDER BY start"));
            for (const QString &id : std::as_const(asked)) {
                query.bindValue(0, keys.value(id));
                query.bindValue(1, to);
                query.bindValue(2, from);
                query.exec();
                while (query.next()) {
                    GuideProgram program;
                    program.start = query.value(0).toLongLong();
                    program.stop = query.value(1).toLongLong();
                    program.offsetMinutes = query.value(2).toInt();
                    program.title = query.value(3).toString();
                }
            }
        }));
    }
    std::sort(fast.begin(), fast.end());
    std::sort(naive.begin(), naive.end());
    std::sort(fastCpu.begin(), fastCpu.end());
    std::printf("reading 2,000 channels x 6 hours from the 300 MB guide (%lld programmes), 21 windows:\n", qlonglong(rows));
    Bench::row("one query (the guide's)", QStringLiteral("median %1 ms, worst %2 ms; processor median %3 ms, worst %4 ms")
                                              .arg(fast.at(fast.size() / 2), 0, 'f', 1)
                                              .arg(fast.last(), 0, 'f', 1)
                                              .arg(fastCpu.at(fastCpu.size() / 2), 0, 'f', 1)
                                              .arg(fastCpu.last(), 0, 'f', 1));
    Bench::row("a query a channel (baseline)", QStringLiteral("median %1 ms, worst %2 ms").arg(naive.at(naive.size() / 2), 0, 'f', 1).arg(naive.last(), 0, 'f', 1));
    return 0;
}
