// Reading big M3U lists from disk in the pieces a download arrives in: the lab's list of its
// large catalogue and a generated list of 500,000 entries in the shapes lists come in
// (unquoted attributes, player options, CRLF, long names). Beside each, a plain pass over the
// same pieces that only counts lines; and the memory the read catalogue holds, per entry. Then
// the store over the lab's large catalogue, once as a plain list and once as the provider
// account: connecting until the home rows are there, and opening Movies and Live TV.
#include "benchsupport.h"

#include "api/m3ureader.h"
#include "catalogue.h"
#include "labserver.h"
#include "m3ulist.h"
#include "api/mavuapi.h"
#include "api/network.h"
#include "store/appstore.h"
#include "store/m3usource.h"
#include "store/preferences.h"

#include <QCoreApplication>
#include <QCoroTask>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstring>
#include <ctime>
#include <malloc.h>
#include <sys/resource.h>
#include <optional>
#include <tuple>
#include <unistd.h>

namespace {

using namespace Qt::StringLiterals;

constexpr qint64 piece = 256 * 1024;

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

QByteArray readWhole(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    return file.readAll();
}

qint64 writeLabList(const QString &path)
{
    const QString base = u"http://127.0.0.1:18080"_s;
    const auto catalogue = std::make_shared<const Lab::Catalogue>(1, Lab::Preset::large, base);
    Lab::M3u::Writer writer(catalogue, {base, u"lab"_s, u"lab"_s});
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    for (QByteArray chunk = writer.next(4 << 20); !chunk.isEmpty(); chunk = writer.next(4 << 20))
        file.write(chunk);
    return writer.entries();
}

// Half a million entries as lists in the wild write them: a third movies and shows, options on
// some, unquoted attributes and CRLF on others.
qint64 writeGeneratedList(const QString &path, int entries)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    QByteArray out = "#EXTM3U x-tvg-url=\"http://epg.example/guide.xml.gz\"\n";
    static const char *const groups[] = {"News",          "Sport | HD", "Kids, Family", "Cinema \"Classics\"",
                                         "Documentaries", "Music",      "Séries FR",    "Deutsch: Unterhaltung"};
    for (int i = 0; i < entries; ++i) {
        const QByteArray n = QByteArray::number(i);
        const QByteArray group = groups[i % 8];
        const char *eol = i % 5 == 0 ? "\r\n" : "\n";
        const int kind = i % 6; // 0..3 live, 4 movie, 5 episode
        if (i % 7 == 0) {
            out +=
                "#EXTINF:-1 tvg-id=ch" + n + ".example tvg-name=Channel_" + n + " group-title=News,Channel " + n + eol;
        } else {
            out += "#EXTINF:-1 tvg-id=\"ch" + n + ".example\" tvg-name=\"Channel " + n
                + " HD\" tvg-logo=\"https://img.example/logos/" + n + ".png\" group-title=\"" + group + "\""
                + (i % 9 == 0 ? " catchup=\"default\" catchup-days=\"7\"" : "") + ",Channel " + n
                + " HD, the one with a longer name" + eol;
        }
        if (i % 11 == 0)
            out += "#EXTVLCOPT:http-user-agent=Mozilla/5.0 (X11; Linux x86_64)"_ba + eol;
        if (kind == 4)
            out += "http://vod.example:8080/movie/user/pass/" + n + ".mkv" + eol;
        else if (kind == 5)
            out += "http://vod.example:8080/series/user/pass/" + n + ".mp4" + eol;
        else
            out += "http://live.example:8080/user/pass/" + n + ".ts" + eol;
        if (out.size() > (4 << 20)) {
            file.write(out);
            out.clear();
        }
    }
    file.write(out);
    return entries;
}

// The machine is shared: beside wall time, the processor time the work took.
double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// Best processor time in milliseconds of `repeat` runs.
template<typename F>
double bestCpuMs(int repeat, F &&run)
{
    double best = 1e300;
    for (int i = 0; i < repeat; ++i) {
        const double start = threadCpuMs();
        run();
        best = std::min(best, threadCpuMs() - start);
    }
    return best;
}

// Resident memory: the catalogue's big blocks are mapped outside the heap, so the heap alone
// would not show them.
qint64 residentBytes()
{
    QFile statm(u"/proc/self/statm"_s);
    if (!statm.open(QIODevice::ReadOnly))
        qFatal("cannot read /proc/self/statm");
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toLongLong() * sysconf(_SC_PAGESIZE);
}

double processCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// Minor page faults of the whole process: the records fill fresh memory on several threads.
long minorFaults()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

// Every field the reader kept, digested: a faster reader must keep the same ones, and two halves
// joined the same as one reader.
QByteArray digest(const M3uCatalogue &catalogue)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    const auto add = [&hash](const QString &text) {
        hash.addData(QByteArrayView(reinterpret_cast<const char *>(text.utf16()), text.size() * 2));
        hash.addData("\x1f");
    };
    const auto number = [&add](qint64 value) { add(QString::number(value)); };
    add(catalogue.guideURL());
    number(catalogue.skippedLines());
    QList<QString> ids;
    for (Section section : allCases<Section>()) {
        for (const Category &category : catalogue.categories(section)) {
            add(category.id);
            add(category.name);
            number(catalogue.items(section, category.id).size());
        }
        for (const MediaItem &item : catalogue.items(section)) {
            add(item.id);
            add(item.name);
            number(int(item.kind));
            add(item.categoryId);
            add(item.containerExt);
            add(item.icon());
            number(item.num);
            add(item.epgChannelId);
            number(item.tvArchive);
            number(item.archiveDays);
            ids.append(item.id);
        }
    }
    const QHash<QString, M3uStream> streams = catalogue.streams(ids);
    for (const QString &id : ids) {
        const M3uStream stream = streams.value(id);
        add(stream.url);
        add(stream.userAgent);
        add(stream.referrer);
        add(stream.catchup);
        add(stream.catchupSource);
        number(stream.catchupDays);
    }
    return hash.result().toHex().first(16);
}

void measure(const char *title, const QString &path, qint64 entries)
{
    const double megabytes = double(QFile(path).size()) / 1e6;
    std::printf("%s: %.1f MB, %lld entries\n", title, megabytes, qlonglong(entries));
    qint64 lines = 0;
    const double baselineMs = bestCpuMs(3, [&] {
        lines = 0;
        eachPiece(path, [&](QByteArrayView bytes) {
            const char *at = bytes.data();
            const char *const end = at + bytes.size();
            while ((at = static_cast<const char *>(std::memchr(at, '\n', size_t(end - at))))) {
                ++lines;
                ++at;
            }
        });
    });
    Bench::row("counting lines with memchr (baseline)",
               u"processor %1 ms, %2 MB/s, %3 lines"_s.arg(baselineMs, 0, 'f', 0)
                   .arg(megabytes / baselineMs * 1e3, 0, 'f', 0)
                   .arg(lines));
    qint64 kept = 0;
    qint64 held = 0;
    std::optional<M3uCatalogue> last;
    double readMs = 1e300;
    for (int run = 0; run < 3; ++run) {
        // The previous run's catalogue goes before the clock starts: freeing it is not reading.
        last.reset();
        malloc_trim(0);
        const qint64 before = residentBytes();
        const double start = threadCpuMs();
        M3uReader reader(QUrl::fromLocalFile(path));
        eachPiece(path, [&](QByteArrayView bytes) { reader.feed(bytes); });
        auto result = reader.finish();
        if (!result.ok())
            qFatal("the list did not read");
        M3uCatalogue catalogue = std::move(result).value();
        readMs = std::min(readMs, threadCpuMs() - start);
        held = residentBytes() - before;
        kept = catalogue.size();
        last = std::move(catalogue);
    }
    Bench::row("M3U reader",
               u"processor %1 ms, %2 MB/s (%3× the baseline's time), %4 entries kept"_s.arg(readMs, 0, 'f', 0)
                   .arg(megabytes / readMs * 1e3, 0, 'f', 0)
                   .arg(readMs / baselineMs, 0, 'f', 1)
                   .arg(kept));
    // A body that is all in, read in two halves on two threads; beside it on one thread
    // (MAVU_M3U_ONE_THREAD), runs alternating. Wall time: two threads share the work.
    {
        const QByteArray body = readWhole(path);
        double wall[2] = {1e300, 1e300};
        double cpu[2] = {1e300, 1e300};
        for (int run = 0; run < 6; ++run) {
            const bool one = run % 2 == 1;
            if (one)
                qputenv("MAVU_M3U_ONE_THREAD", "1");
            else
                qunsetenv("MAVU_M3U_ONE_THREAD");
            malloc_trim(0);
            const double cpuBefore = processCpuMs();
            QElapsedTimer clock;
            clock.start();
            // Kept until the clock stops: freeing it is not reading.
            const Result<M3uCatalogue> done = M3uSource::parse(body, QUrl::fromLocalFile(path));
            const qsizetype read = done.value().size();
            const double wallMs = double(clock.nsecsElapsed()) / 1e6;
            const double cpuMs = processCpuMs() - cpuBefore;
            if (run < 2)
                Bench::row(one ? "  what it kept, digested" : "what two halves kept, digested",
                           QString::fromLatin1(digest(done.value())));
            wall[one ? 1 : 0] = std::min(wall[one ? 1 : 0], wallMs);
            cpu[one ? 1 : 0] = std::min(cpu[one ? 1 : 0], cpuMs);
            if (read != kept)
                qFatal("the halves read %lld entries, one reader %lld", qlonglong(read), qlonglong(kept));
        }
        qunsetenv("MAVU_M3U_ONE_THREAD");
        for (int one = 0; one < 2; ++one)
            Bench::row(one ? "  the same on one thread" : "M3U reader, a whole body in two halves",
                       u"wall %1 ms, %2 MB/s, processor %3 ms (all threads)"_s.arg(wall[one], 0, 'f', 0)
                           .arg(megabytes / wall[one] * 1e3, 0, 'f', 0)
                           .arg(cpu[one], 0, 'f', 0));
        // The join alone, which runs after both halves are read and so adds to the wall time.
        double joinMs = 1e300;
        const qsizetype cut = M3uReader::freshLineAfter(body, body.size() / 2);
        for (int run = 0; run < 3 && cut > 0; ++run) {
            M3uReader head(QUrl::fromLocalFile(path));
            head.feed(QByteArrayView(body).first(cut));
            const std::unique_ptr<M3uReader> tail = head.continuation();
            tail->feed(QByteArrayView(body).sliced(cut));
            const double start = threadCpuMs();
            if (!head.join(*tail))
                qFatal("the halves did not join");
            joinMs = std::min(joinMs, threadCpuMs() - start);
        }
        Bench::row("  joining the halves", u"processor %1 ms"_s.arg(joinMs, 0, 'f', 1));
    }
    Bench::row("memory held by the catalogue",
               u"%1 MB, %2 bytes an entry"_s.arg(double(held) / 1e6, 0, 'f', 1).arg(kept ? held / kept : 0));
    // Records are made only for what a screen shows: a whole section, or one group.
    Section biggest = Section::live;
    for (Section section : allCases<Section>()) {
        if (last->itemCount(section) > last->itemCount(biggest))
            biggest = section;
    }
    const QString group = last->categories(biggest).first().id;
    qsizetype inSection = 0;
    qsizetype inGroup = 0;
    const double sectionMs = bestCpuMs(3, [&] { inSection = last->items(biggest).size(); });
    const double groupMs = bestCpuMs(3, [&] { inGroup = last->items(biggest, group).size(); });
    Bench::row("records of the biggest section", u"processor %1 ms for %2"_s.arg(sectionMs, 0, 'f', 0).arg(inSection));
    Bench::row("records of its first group", u"processor %1 ms for %2"_s.arg(groupMs, 0, 'f', 1).arg(inGroup));
    // The shows grouped on one thread: the part of the records below that reads every episode's name.
    {
        double grouped = 1e300;
        std::optional<M3uLibrary::Shows> shows;
        for (int run = 0; run < 5; ++run) {
            // The last run's shows go before the clock starts: freeing them is not grouping.
            shows.reset();
            const double start = threadCpuMs();
            shows = M3uLibrary::groupShows(*last, 1);
            grouped = std::min(grouped, threadCpuMs() - start);
        }
        Bench::row("the shows grouped on one thread",
                   u"processor %1 ms for %2 shows"_s.arg(grouped, 0, 'f', 0).arg(shows->shows.size()));
    }
    // What the store takes after the last byte: every section's records and the shows grouped.
    // Wall time: the work is spread over the pool. Beside it, as before (MAVU_M3U_RECORDS_BEFORE):
    // movies and channels on one thread while the shows are grouped on the other, then joined.
    // Runs alternate so that both meet the same load of the machine.
    struct Made
    {
        double ms = 1e300;
        double cpuMs = 1e300;
        long faults = 0;
    };
    Made made[2];
    qsizetype shows = 0;
    for (int run = 0; run < 6; ++run) {
        const bool before = run % 2 == 1;
        if (before)
            qputenv("MAVU_M3U_RECORDS_BEFORE", "1");
        else
            qunsetenv("MAVU_M3U_RECORDS_BEFORE");
        M3uCatalogue copy = M3uSource::parse(readWhole(path), QUrl::fromLocalFile(path)).value();
        malloc_trim(0);
        const long faultsBefore = minorFaults();
        const double cpuBefore = processCpuMs();
        QElapsedTimer clock;
        clock.start();
        auto library = M3uLibrary::make(std::move(copy));
        Made &best = made[before ? 1 : 0];
        best.ms = std::min(best.ms, double(clock.nsecsElapsed()) / 1e6);
        best.cpuMs = std::min(best.cpuMs, processCpuMs() - cpuBefore);
        best.faults = best.faults == 0 ? minorFaults() - faultsBefore : std::min(best.faults, minorFaults() - faultsBefore);
        shows = library->items[size_t(Section::series)].size();
    }
    qunsetenv("MAVU_M3U_RECORDS_BEFORE");
    const auto madeRow = [&](const char *label, const Made &m) {
        Bench::row(label, u"wall %1 ms, processor %2 ms (all threads), %3 page faults, %4 shows"_s.arg(m.ms, 0, 'f', 0)
                              .arg(m.cpuMs, 0, 'f', 0)
                              .arg(m.faults)
                              .arg(shows));
    };
    madeRow("the library's records (after the read)", made[0]);
    madeRow("  as before: one thread for two sections", made[1]);
}

struct Visit
{
    double openMs = 0;  // home is up with one row at least
    double homeMs = 0;  // both rows
    double wholeMs = 0; // until the connect is over: every section's list is in
    double moviesMs = 0;
    double liveMs = 0;
    qsizetype movies = 0;
    qsizetype live = 0;
    qint64 heldBytes = 0; // resident growth from before the connect until the whole list is in
};

// A new user's first visit, in wall time: nothing kept from an earlier one. The lab answers
// from the same thread, so its own work is inside the figures of both paths alike.
Visit visit(const Playlist &playlist)
{
    QTemporaryDir folder;
    malloc_trim(0);
    const qint64 before = residentBytes();
    AppStore store(std::make_shared<Preferences>(folder.filePath(u"mavu.ini"_s)));
    Visit out;
    QElapsedTimer clock;
    clock.start();
    // Home may show before the connect is over (a list's first part): the rows decide.
    QCoro::Task<> connecting = store.connect(playlist, false);
    while ((store.phase() != AppStore::Phase::home || store.latestMovies().isEmpty() || store.latestSeries().isEmpty())
           && clock.elapsed() < 120000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        if (out.openMs == 0 && store.phase() == AppStore::Phase::home
            && (!store.latestMovies().isEmpty() || !store.latestSeries().isEmpty()))
            out.openMs = double(clock.nsecsElapsed()) / 1e6;
    }
    if (store.phase() != AppStore::Phase::home || store.latestMovies().isEmpty())
        qFatal("%s did not reach the home rows", qPrintable(playlist.host));
    out.homeMs = double(clock.nsecsElapsed()) / 1e6;
    QCoro::waitFor(std::move(connecting));
    out.wholeMs = double(clock.nsecsElapsed()) / 1e6;
    malloc_trim(0);
    out.heldBytes = residentBytes() - before;
    clock.restart();
    QCoro::waitFor(store.openSection(Section::movies));
    out.moviesMs = double(clock.nsecsElapsed()) / 1e6;
    out.movies = store.items().size();
    clock.restart();
    QCoro::waitFor(store.openSection(Section::live));
    out.liveMs = double(clock.nsecsElapsed()) / 1e6;
    out.live = store.items().size();
    return out;
}

void compareVisits()
{
    Lab::Server lab(Lab::Options{.seed = 1, .preset = Lab::Preset::large});
    const QString base = lab.start();
    if (base.isEmpty())
        qFatal("the lab did not start");
    MavuAPI::testing::setDeviceServiceBase(base);
    const Playlist provider{base, lab.username(), lab.password()};
    const Playlist list = Playlist::m3u(base + u"/lists/plain.m3u"_s);
    std::printf("home and sections over the lab's large catalogue, wall time, best of 2\n");
    Visit bestProvider;
    Visit bestList;
    const auto keepBest = [](Visit &best, const Visit &run) {
        best.wholeMs = best.wholeMs == 0 ? run.wholeMs : std::min(best.wholeMs, run.wholeMs);
        best.openMs = best.openMs == 0 ? run.openMs : std::min(best.openMs, run.openMs);
        if (best.homeMs == 0 || run.homeMs < best.homeMs) {
            best.homeMs = run.homeMs;
            best.movies = run.movies;
            best.live = run.live;
            best.heldBytes = run.heldBytes;
        }
        best.moviesMs = best.moviesMs == 0 ? run.moviesMs : std::min(best.moviesMs, run.moviesMs);
        best.liveMs = best.liveMs == 0 ? run.liveMs : std::min(best.liveMs, run.liveMs);
    };
    // The list's bytes alone, as the store's transfer receives them and reading nothing: what
    // no reading of a list can beat while home waits for the whole list.
    const auto download = [&] {
        QElapsedTimer clock;
        clock.start();
        const Result<Network::Response> got =
            QCoro::waitFor(Network::get(QUrl(list.host), Network::Options{.purpose = Network::Purpose::catalogue}));
        if (!got || got->status != 200)
            qFatal("the list did not download");
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        return std::tuple(ms, got->body.size(), got->body.count("#EXTINF:"));
    };
    double downloadMs = 0;
    qsizetype listBytes = 0;
    qsizetype listEntries = 0;
    for (int run = 0; run < 2; ++run) {
        keepBest(bestProvider, visit(provider));
        keepBest(bestList, visit(list));
        const auto [ms, bytes, entries] = download();
        downloadMs = run == 0 ? ms : std::min(downloadMs, ms);
        listBytes = bytes;
        listEntries = entries;
    }
    const auto line = [](const char *label, double listMs, double providerMs) {
        Bench::row(label, u"M3U %1 ms, provider %2 ms (%3×)"_s.arg(listMs, 0, 'f', 0)
                              .arg(providerMs, 0, 'f', 0)
                              .arg(listMs / providerMs, 0, 'f', 2));
    };
    line("connect until home shows a row", bestList.openMs, bestProvider.openMs);
    line("connect until the home rows", bestList.homeMs, bestProvider.homeMs);
    line("connect until every list is in", bestList.wholeMs, bestProvider.wholeMs);
    Bench::row("the list's download alone",
               u"%1 ms for %2 MB (%3 of the M3U's time to home)"_s.arg(downloadMs, 0, 'f', 0)
                   .arg(double(listBytes) / 1e6, 0, 'f', 1)
                   .arg(downloadMs / bestList.homeMs, 0, 'f', 2));
    line("open Movies", bestList.moviesMs, bestProvider.moviesMs);
    line("open Live TV", bestList.liveMs, bestProvider.liveMs);
    Bench::row("memory held over the whole M3U",
               u"%1 MB, %2 bytes an entry of %3"_s.arg(double(bestList.heldBytes) / 1e6, 0, 'f', 1)
                   .arg(listEntries ? bestList.heldBytes / listEntries : 0)
                   .arg(listEntries));
    Bench::row("items shown", u"M3U %1 movies, %2 channels; provider %3 movies, %4 channels"_s.arg(bestList.movies)
                                  .arg(bestList.live)
                                  .arg(bestProvider.movies)
                                  .arg(bestProvider.live));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir folder;
    const QString labList = folder.filePath(u"lab.m3u"_s);
    const QString generated = folder.filePath(u"generated.m3u"_s);
    // --reader-only: the reader's figures alone; --visits-only: the store's alone.
    if (!app.arguments().contains(u"--visits-only"_s)) {
        measure("the lab's large catalogue as an M3U list", labList, writeLabList(labList));
        measure("a generated list", generated, writeGeneratedList(generated, 500000));
    }
    if (!app.arguments().contains(u"--reader-only"_s))
        compareVisits();
    return 0;
}
