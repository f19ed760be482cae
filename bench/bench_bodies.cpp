// The GUI thread while a whole catalogue arrives at full loopback speed: an endless answer that
// runs into the catalogue's size limit, and a huge one under it. The lab writes on a thread of
// its own, so that the stalls measured are the client's: the longest gap of a 16 ms heartbeat,
// and how many gaps pass 16 and 50 ms. As a baseline, the same with the lab writing on the GUI
// thread, as the in-process tests have it.
//
//   bench_bodies [megabytes-limit]
#include "api/mavuapi.h"
#include "api/network.h"
#include "benchsupport.h"
#include "labthread.h"

#include <QCoreApplication>
#include <QCoroTask>
#include <QCoroTimer>
#include <QElapsedTimer>
#include <QTimer>

#include <memory>

using namespace std::chrono_literals;

namespace {

struct Heartbeat
{
    Heartbeat()
    {
        clock.start();
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const qint64 now = clock.elapsed();
            const qint64 gap = now - last - 16;
            longest = std::max(longest, gap);
            if (gap > 16)
                ++over16;
            if (gap > 50)
                ++over50;
            last = now;
        });
        timer.start(16);
    }
    QElapsedTimer clock;
    QTimer timer;
    qint64 last = 0;
    qint64 longest = 0;
    int over16 = 0;
    int over50 = 0;
};

struct Run
{
    QString outcome;
    qint64 ms = 0;
    qint64 longest = 0;
    int over16 = 0;
    int over50 = 0;
};

// Whole catalogue through the client and the decoder, as the store asks for it.
Run fetch(const Playlist &playlist)
{
    Heartbeat heartbeat;
    QElapsedTimer clock;
    clock.start();
    const Result<QList<MediaItem>> answer = QCoro::waitFor(MavuAPI::vodStreams(playlist));
    Run run;
    run.ms = clock.elapsed();
    // A last turn of the event loop, so that a stall at the very end is counted too.
    QCoro::waitFor(QCoro::sleepFor(50ms));
    run.outcome = answer ? QStringLiteral("%1 rows").arg(answer->size()) : Failure::kindName(answer.failure().kind);
    run.longest = std::max<qint64>(0, heartbeat.longest);
    run.over16 = heartbeat.over16;
    run.over50 = heartbeat.over50;
    return run;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const qint64 limitMb = app.arguments().value(1, QStringLiteral("256")).toLongLong();
    Network::testing::setLimits(Network::Purpose::catalogue, {20s, 120s, limitMb * 1024 * 1024});

    std::printf("catalogue limit %lld MB\n", static_cast<long long>(limitMb));
    std::printf("lab on | answer | outcome | ms | longest stall ms | gaps > 16 ms | gaps > 50 ms\n");
    const QList<std::pair<const char *, QString>> answers{
        {"endless", QStringLiteral("huge")},
        // Decoded too: kept to 64 MB, about a million rows, so that the rows fit any machine.
        {"under the limit", QStringLiteral("huge:%1").arg(std::clamp<qint64>(limitMb * 9 / 10, 1, 64))},
    };
    for (const bool sameThread : {false, true}) {
        for (const auto &[label, fault] : answers) {
            Lab::Options options;
            options.faults = {{QStringLiteral("get_vod_streams"), *Lab::Fault::parse(fault)}};
            std::unique_ptr<Lab::Thread> thread;
            std::unique_ptr<Lab::Server> local;
            QString base;
            if (sameThread) {
                local = std::make_unique<Lab::Server>(options);
                base = local->start();
            } else {
                thread = std::make_unique<Lab::Thread>(options);
                base = thread->startAndWait();
            }
            const Playlist playlist{base, QStringLiteral("lab"), QStringLiteral("lab")};
            const Run run = fetch(playlist);
            std::printf("%s | %s | %s | %lld | %lld | %d | %d\n", sameThread ? "GUI thread" : "own thread", label,
                        qPrintable(run.outcome), static_cast<long long>(run.ms), static_cast<long long>(run.longest), run.over16,
                        run.over50);
        }
    }
    return 0;
}
