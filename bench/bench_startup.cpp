// A cold start against mavu-lab's large preset, as a new user has it: the real screens (offscreen,
// or under Xvfb), START pressed on the check screen, until the frame with the home rows has been
// drawn. The lab runs as a process of its own, as a provider would. Each run is a fresh process,
// so nothing (parsers, caches, faulted-in memory) carries over from one to the next.
//
// The phases come from the "mavu.timing" log. Beside them, the baseline of the same run: the two
// home catalogues read by a bare socket at the same time, which is what the lab and loopback
// take by themselves.
#include "benchsupport.h"
#include "screenbench.h"
#include "api/diagnostics.h"
#include "api/network.h"
#include "imagecache.h"
#include "qmlregistration.h"
#include "starttiming.h"
#include "store/appstore.h"
#include "store/preferences.h"

#include <QCoroTask>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QMutex>
#include <QProcess>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QtQml/qqmlextensionplugin.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <malloc.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <thread>
#include <vector>

Q_IMPORT_QML_PLUGIN(MavuPlugin)
Q_IMPORT_QML_PLUGIN(Mavu_CorePlugin)

namespace {

constexpr int runs = 3;

using Bench::waitUntil;

// Waits in the event loop, as the program's own loop does. A wait that spins on processEvents
// keeps the GUI thread running and takes one of the machine's two cores from the decoding that
// is being measured.
bool waitIdly(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer waited;
    waited.start();
    while (!done()) {
        if (waited.elapsed() > timeoutMs)
            return false;
        QEventLoop loop;
        QTimer::singleShot(2, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// --- the child: one start of the program ---

qint64 residentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return -1;
}

// The processor time of every thread of the player: on a machine shared with other work (and
// the lab), it says what the player spent where the wall clock also says how long it waited.
qint64 cpuMicroseconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return qint64(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000000 + usage.ru_utime.tv_usec
        + usage.ru_stime.tv_usec;
}

// The processor time (from the scheduler, in nanoseconds) and minor page faults of the threads
// that move the bytes, summed by thread name: the receiving thread and Qt's network threads. On a
// machine shared with other work their wall time says little; what they spend says what a change
// to the receiving side saves.
struct ThreadCost
{
    qint64 ns = 0;
    qint64 faults = 0;
};
std::map<QByteArray, ThreadCost> receivingThreads()
{
    std::map<QByteArray, ThreadCost> costs;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString &tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(tasks.filePath(tid + QStringLiteral("/stat"))),
            sched(tasks.filePath(tid + QStringLiteral("/schedstat")));
        if (!stat.open(QIODevice::ReadOnly) || !sched.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const qsizetype open = line.indexOf('('), close = line.lastIndexOf(')');
        if (open < 0 || close < open)
            continue;
        const QByteArray name = line.mid(open + 1, close - open - 1);
        if (name != "transfers" && !name.startsWith("QNetworkAccess"))
            continue;
        // After the name: state, then minflt is the eighth field.
        const QList<QByteArray> fields = line.mid(close + 2).split(' ');
        ThreadCost &cost = costs[name.startsWith("QNetworkAccess") ? QByteArray("network") : name];
        cost.ns += sched.readAll().split(' ').value(0).toLongLong();
        cost.faults += fields.value(7).toLongLong();
    }
    return costs;
}
std::map<QByteArray, ThreadCost> g_threadsAtStart, g_threadsAtDrawn;

QStringList g_phases;
QMutex g_phasesMutex; // catalogues are received on a thread of their own, frames drawn on another
std::atomic<bool> g_rowsDrawn = false;
std::atomic<qint64> g_cpuAtDrawn = 0;

void collectTiming(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (context.category && std::strcmp(context.category, "mavu.timing") == 0) {
        const QMutexLocker lock(&g_phasesMutex);
        g_phases.append(message);
        if (message.startsWith(QLatin1String("rows drawn"))) {
            g_cpuAtDrawn = cpuMicroseconds();
            g_threadsAtDrawn = receivingThreads();
            g_rowsDrawn = true;
        }
        return;
    }
    if (type >= QtWarningMsg && !message.contains(QLatin1String("QQuickImage")) && !message.contains(QLatin1String("QQuickPixmap")))
        std::fprintf(stderr, "%s\n", qPrintable(message));
    if (type == QtFatalMsg)
        std::abort();
}

int oneStart(const QString &base)
{
    QLoggingCategory::setFilterRules(QStringLiteral("mavu.timing.debug=true"));
    qInstallMessageHandler(collectTiming);
    // The way before: catalogues read out of Qt's pieces into a body of ours.
    if (qEnvironmentVariableIsSet("MAVU_BENCH_COPYBODIES"))
        Network::testing::setBorrowBodies(false);
    QTemporaryDir folder;
    MavuAPI::testing::setDeviceServiceBase(base);
    auto preferences = std::make_shared<Preferences>(folder.filePath(QStringLiteral("mavu.ini")));
    AppStore store(preferences);
    AppStoreForeign::instance = &store;
    ImageCacheFactory imageCache;
    QQmlApplicationEngine engine;
    engine.setNetworkAccessManagerFactory(&imageCache);
    engine.setOutputWarningsToStandardError(false);
    engine.load(QUrl(QStringLiteral("qrc:/qt/qml/Mavu/ContentView.qml")));
    auto *window = qobject_cast<QQuickWindow *>(engine.rootObjects().value(0));
    if (!window) {
        std::fprintf(stderr, "the screens did not load\n");
        return 1;
    }
    StartTiming::watchHomeRows(window, &store);
    // The check screen as the user finds it: the device service has answered, the screen is up.
    QCoro::waitFor(store.start());
    if (!waitIdly([&] { return window->isExposed() && store.playlist().has_value(); }, 20000)) {
        std::fprintf(stderr, "the check screen did not come up with a playlist\n");
        return 1;
    }
    waitIdly([] { return false; }, 300);
    g_phasesMutex.lock();
    g_phases.clear();
    g_phasesMutex.unlock();
    const qint64 cpuAtStart = cpuMicroseconds();
    g_threadsAtStart = receivingThreads();
    store.runEnterBrowse(); // what START does
    if (!waitIdly([] { return g_rowsDrawn.load(); }, 120000)) {
        std::fprintf(stderr, "the home rows were not drawn\n");
        return 1;
    }
    g_phasesMutex.lock();
    for (const QString &phase : std::as_const(g_phases))
        std::printf("phase %s\n", qPrintable(phase));
    g_phasesMutex.unlock();
    // Memory as it settles once the loads have gone quiet (idle parsers go back after a second).
    waitIdly([] { return false; }, 1500);
    std::printf("cpu %lld\n", (g_cpuAtDrawn.load() - cpuAtStart) / 1000);
    for (const auto &[name, cost] : g_threadsAtDrawn) {
        const ThreadCost before = g_threadsAtStart.count(name) ? g_threadsAtStart.at(name) : ThreadCost{};
        std::printf("thread %s %lld %lld\n", name.constData(), (cost.ns - before.ns) / 1000000,
                    cost.faults - before.faults);
    }
    std::printf("memory home %lld\n", residentBytes());
    // Every section visited, as a user looking round: all three catalogues held.
    for (const Section section : {Section::live, Section::movies, Section::series})
        QCoro::waitFor(store.openSection(section));
    waitIdly([] { return false; }, 1500);
    std::printf("memory all %lld\n", residentBytes());
    std::printf("memory movies %lld %lld\n", qlonglong(store.allVods().size()), Bench::bytesHeld(store.allVods()));
    // Where the rest goes: the other two catalogues, what malloc holds in use and free, and
    // what giving the free part back would leave.
    const struct mallinfo2 heap = mallinfo2();
    std::printf("memory parts %lld %lld %lld %lld %lld\n", Bench::bytesHeld(store.allLive()), Bench::bytesHeld(store.allSeries()),
                qlonglong(heap.uordblks + heap.hblkhd), qlonglong(heap.fordblks), qlonglong(heap.hblkhd));
    malloc_trim(0);
    std::printf("memory trimmed %lld\n", residentBytes());
    std::fflush(stdout);
    AppStoreForeign::instance = nullptr;
    return 0;
}

// --- the parent: the lab, the baseline, and the runs ---

// Reads one answer to its end over a bare socket; answers the bytes read.
qint64 rawGet(quint16 port, const QByteArray &target)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const timeval patience{30, 0}; // a lab that stops answering ends the figure, not the run
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    const QByteArray request = "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    if (::send(fd, request.constData(), size_t(request.size()), 0) != request.size()) {
        ::close(fd);
        return -1;
    }
    // The lab keeps connections open: read the head, then exactly the body's length.
    std::vector<char> buffer(1 << 20);
    QByteArray head;
    qint64 body = 0, length = -1;
    for (ssize_t got; (got = ::recv(fd, buffer.data(), buffer.size(), 0)) > 0;) {
        if (length < 0) {
            head.append(buffer.data(), got);
            const qsizetype end = head.indexOf("\r\n\r\n");
            if (end < 0)
                continue;
            const qsizetype field = head.toLower().indexOf("content-length:");
            if (field < 0 || field > end)
                break;
            length = head.mid(field + 15, head.indexOf('\r', field) - field - 15).trimmed().toLongLong();
            body = head.size() - end - 4;
        } else {
            body += got;
        }
        if (length >= 0 && body >= length)
            break;
    }
    ::close(fd);
    return body;
}

struct Run
{
    std::map<QString, double> at; // phase and request → ms since START
    QStringList lines;
    qint64 cpuMs = -1;
    std::map<QByteArray, std::pair<qint64, qint64>> threads; // ms and minor faults, START to the rows drawn
    qint64 homeBytes = 0, allBytes = 0, movies = 0, movieBytes = 0;
    qint64 trimmedBytes = 0, liveBytes = 0, seriesBytes = 0, heapUsed = 0, heapFree = 0, heapMapped = 0;
};

Run parseRun(const QByteArray &output)
{
    static const QRegularExpression line(QStringLiteral("^phase (.*) ([0-9.]+) ms$"));
    Run run;
    for (const QByteArray &raw : output.split('\n')) {
        const QList<QByteArray> words = raw.split(' ');
        if (words.value(0) == "thread") {
            run.threads[words.value(1)] = {words.value(2).toLongLong(), words.value(3).toLongLong()};
            continue;
        }
        if (words.value(0) == "cpu") {
            run.cpuMs = words.value(1).toLongLong();
            continue;
        }
        if (words.value(0) == "memory") {
            if (words.value(1) == "home")
                run.homeBytes = words.value(2).toLongLong();
            else if (words.value(1) == "all")
                run.allBytes = words.value(2).toLongLong();
            else if (words.value(1) == "trimmed")
                run.trimmedBytes = words.value(2).toLongLong();
            else if (words.value(1) == "parts") {
                run.liveBytes = words.value(2).toLongLong();
                run.seriesBytes = words.value(3).toLongLong();
                run.heapUsed = words.value(4).toLongLong();
                run.heapFree = words.value(5).toLongLong();
                run.heapMapped = words.value(6).toLongLong();
            } else if (words.value(1) == "movies") {
                run.movies = words.value(2).toLongLong();
                run.movieBytes = words.value(3).toLongLong();
            }
            continue;
        }
        const auto match = line.match(QString::fromUtf8(raw));
        if (!match.hasMatch())
            continue;
        run.at[match.captured(1)] = match.captured(2).toDouble();
        run.lines.append(match.captured(1) + QStringLiteral(": ") + match.captured(2) + QStringLiteral(" ms"));
    }
    return run;
}

double phase(const Run &run, const char *name)
{
    const auto it = run.at.find(QString::fromLatin1(name));
    return it == run.at.end() ? -1 : it->second;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 3 && std::strcmp(argv[1], "--one-start") == 0) {
        QTemporaryDir cache;
        qputenv("XDG_CACHE_HOME", cache.path().toUtf8());
        QGuiApplication app(argc, argv);
        QQuickStyle::setStyle(QStringLiteral("Basic"));
        if (QGuiApplication::platformName() == QLatin1String("offscreen"))
            QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
        return oneStart(QString::fromLocal8Bit(argv[2]));
    }

    QCoreApplication app(argc, argv);
    quint16 port = 0;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        port = probe.serverPort();
    }
    QProcess lab;
    lab.setProcessChannelMode(QProcess::MergedChannels);
    lab.start(QStringLiteral(MAVU_LAB_EXECUTABLE),
              {QStringLiteral("--preset"), QStringLiteral("large"), QStringLiteral("--port"), QString::number(port)});
    QByteArray said;
    if (!waitUntil([&] { return (said += lab.readAll()).contains("listening") || lab.state() == QProcess::NotRunning; }, 120000)
        || lab.state() != QProcess::Running) {
        std::fprintf(stderr, "mavu-lab did not start\n");
        return 1;
    }
    const QString base = QStringLiteral("http://127.0.0.1:%1").arg(port);
    std::printf("cold start against mavu-lab --preset large (%d runs, each a fresh process, %s)\n", runs,
                qPrintable(qEnvironmentVariable("QT_QPA_PLATFORM", QStringLiteral("the desktop's platform"))));

    // The baseline: both home catalogues at once, read and thrown away by bare sockets.
    const QByteArray query = "/player_api.php?username=lab&password=lab&action=";
    double rawBest = 1e300;
    qint64 rawBytes = 0;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        qint64 movies = 0, shows = 0;
        std::thread a([&] { movies = rawGet(port, query + "get_vod_streams"); });
        std::thread b([&] { shows = rawGet(port, query + "get_series"); });
        a.join();
        b.join();
        rawBest = std::min(rawBest, clock.nsecsElapsed() / 1e6);
        rawBytes = movies + shows;
    }

    // Each run beside one the way before (bodies copied out of Qt's pieces), in turns, so that
    // both see the same load on a shared machine.
    std::vector<Run> results, copied;
    for (int i = 0; i < 2 * runs; ++i) {
        const bool before = i % 2 == 1;
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (before)
            environment.insert(QStringLiteral("MAVU_BENCH_COPYBODIES"), QStringLiteral("1"));
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--one-start"), base});
        if (!child.waitForFinished(180000) || child.exitCode() != 0) {
            std::fprintf(stderr, "run %d failed\n", i + 1);
            lab.kill();
            lab.waitForFinished();
            return 1;
        }
        (before ? copied : results).push_back(parseRun(child.readAllStandardOutput()));
    }
    lab.terminate();
    lab.waitForFinished(10000);

    // The median run by its total, shown phase by phase.
    const auto byTotal = [](const Run &a, const Run &b) { return phase(a, "rows drawn home") < phase(b, "rows drawn home"); };
    std::sort(results.begin(), results.end(), byTotal);
    std::sort(copied.begin(), copied.end(), byTotal);
    const Run &median = results[results.size() / 2];
    std::printf("phases of the median run, ms since START:\n");
    for (const QString &line : median.lines)
        std::printf("    %s\n", qPrintable(line));

    const double drawn = phase(median, "rows drawn home");
    const double firstByte = std::min(phase(median, "first byte get_vod_streams"), phase(median, "first byte get_series"));
    const double lastByte = std::max(phase(median, "last byte get_vod_streams"), phase(median, "last byte get_series"));
    QStringList totals;
    for (const Run &run : results)
        totals.append(QString::number(phase(run, "rows drawn home"), 'f', 0));
    Bench::row("START to the home rows drawn", QStringLiteral("%1 ms (runs: %2 ms)").arg(drawn, 0, 'f', 0).arg(totals.join(QLatin1String(", "))));
    Bench::row("first catalogue byte to the rows drawn", QStringLiteral("%1 ms").arg(drawn - firstByte, 0, 'f', 0));
    Bench::row("  of which the transfer (first to last byte)", QStringLiteral("%1 ms, %2 MB/s")
                                                                  .arg(lastByte - firstByte, 0, 'f', 0)
                                                                  .arg(rawBytes / 1e3 / std::max(1.0, lastByte - firstByte), 0, 'f', 0));
    Bench::row("  the player's own share", QStringLiteral("%1 ms").arg(drawn - firstByte - rawBest, 0, 'f', 0));
    QStringList cpu;
    for (const Run &run : results)
        cpu.append(QString::number(run.cpuMs));
    Bench::row("player's processor time, START to the rows drawn",
               QStringLiteral("%1 ms, %2 cores busy (runs: %3 ms)")
                   .arg(median.cpuMs)
                   .arg(median.cpuMs / std::max(1.0, drawn), 0, 'f', 2)
                   .arg(cpu.join(QLatin1String(", "))));
    for (const auto &[name, label] : {std::pair{"transfers", "  receiving thread: processor time, minor faults"},
                                      std::pair{"network", "  Qt's network threads: processor time, minor faults"}}) {
        QStringList each;
        for (const Run &run : results) {
            const auto it = run.threads.find(name);
            each.append(it == run.threads.end() ? QStringLiteral("-") : QString::number(it->second.first));
        }
        const auto it = median.threads.find(name);
        const auto [ms, faults] = it == median.threads.end() ? std::pair<qint64, qint64>{} : it->second;
        Bench::row(label,
                   QStringLiteral("%1 ms, %2 (runs: %3 ms)").arg(ms).arg(faults).arg(each.join(QLatin1String(", "))));
    }
    for (const char *name : {"get_vod_streams", "get_series"}) {
        const QByteArray first = QByteArray("first byte ") + name, last = QByteArray("last byte ") + name;
        const QByteArray label = QByteArray("  transfer of ") + name;
        Bench::row(
            label.constData(),
            QStringLiteral("%1 ms").arg(phase(median, last.constData()) - phase(median, first.constData()), 0, 'f', 0));
    }
    Bench::row("resident memory, home rows shown", QStringLiteral("%1 MB").arg(median.homeBytes / 1e6, 0, 'f', 0));
    Bench::row("resident memory, every section visited", QStringLiteral("%1 MB").arg(median.allBytes / 1e6, 0, 'f', 0));
    Bench::row("bytes held per movie record", QStringLiteral("%1 (%2 movies, sizeof MediaItem %3)")
                                                  .arg(median.movies ? median.movieBytes / median.movies : 0)
                                                  .arg(median.movies)
                                                  .arg(sizeof(MediaItem)));
    const auto mb = [](qint64 bytes) { return QString::number(bytes / 1e6, 'f', 0); };
    Bench::row("  records: movies, channels, shows", QStringLiteral("%1, %2, %3 MB").arg(mb(median.movieBytes), mb(median.liveBytes), mb(median.seriesBytes)));
    Bench::row("  malloc: in use (of it mapped), free held", QStringLiteral("%1 (%2), %3 MB").arg(mb(median.heapUsed), mb(median.heapMapped), mb(median.heapFree)));
    Bench::row("  resident after malloc_trim", QStringLiteral("%1 MB").arg(mb(median.trimmedBytes)));
    {
        // The same figures the way before, from the runs taken in turns with these.
        const Run &was = copied[copied.size() / 2];
        const double wasFirst = std::min(phase(was, "first byte get_vod_streams"), phase(was, "first byte get_series"));
        const double wasLast = std::max(phase(was, "last byte get_vod_streams"), phase(was, "last byte get_series"));
        QStringList wasTotals;
        for (const Run &run : copied)
            wasTotals.append(QString::number(phase(run, "rows drawn home"), 'f', 0));
        const auto threadMs = [](const Run &run, const char *name) {
            const auto it = run.threads.find(name);
            return it == run.threads.end() ? qint64(-1) : it->second.first;
        };
        Bench::row("before: bodies copied out of Qt's pieces", QString());
        Bench::row("  START to the home rows drawn", QStringLiteral("%1 ms (runs: %2 ms)").arg(phase(was, "rows drawn home"), 0, 'f', 0).arg(wasTotals.join(QLatin1String(", "))));
        Bench::row("  the transfer (first to last byte)", QStringLiteral("%1 ms, %2 MB/s").arg(wasLast - wasFirst, 0, 'f', 0).arg(rawBytes / 1e3 / std::max(1.0, wasLast - wasFirst), 0, 'f', 0));
        Bench::row("  receiving thread, Qt's network threads", QStringLiteral("%1 ms, %2 ms").arg(threadMs(was, "transfers")).arg(threadMs(was, "network")));
    }
    Bench::row("baseline: both catalogues by bare sockets", QStringLiteral("%1 ms, %2 MB, %3 MB/s")
                                                                .arg(rawBest, 0, 'f', 0)
                                                                .arg(rawBytes / 1e6, 0, 'f', 1)
                                                                .arg(rawBytes / 1e3 / rawBest, 0, 'f', 0));
    return 0;
}
