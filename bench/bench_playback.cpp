// Playing a 1080p25 H.264 clip through a video surface for 10 s: frames decoded, shown and dropped,
// and CPU time per shown frame, split by thread. Baseline of the same run: libVLC decoding and
// converting the same clip into our buffers with no surface at all.
//
// The figures that matter come from the default scene graph (OpenGL). Without a display the
// benchmark starts itself again under a virtual X server when xvfb-run is installed.
#include "benchsupport.h"

#include "player/controlledvideoview.h"
#include "player/playercontroller.h"
#include "player/videoframesink.h"
#include "player/vlcinstance.h"
#include "player/vlcmediaplayer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QHash>
#include <QProcess>
#include <QQuickWindow>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtCore/qtestsupport_core.h>
#include <QtGui/qtestsupport_gui.h>

#include <ctime>
#include <unistd.h>

namespace {

constexpr int playSeconds = 10;

// CPU time so far, in nanoseconds, of every thread of this process, by the thread's name.
QHash<QByteArray, qint64> threadTimes()
{
    QHash<QByteArray, qint64> times;
    const QString self = QString::number(getpid());
    for (const QString &task : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile schedstat(QStringLiteral("/proc/self/task/%1/schedstat").arg(task));
        QFile commFile(QStringLiteral("/proc/self/task/%1/comm").arg(task));
        if (!schedstat.open(QIODevice::ReadOnly) || !commFile.open(QIODevice::ReadOnly))
            continue;
        const qint64 ns = schedstat.readAll().split(' ').value(0).toLongLong();
        const QByteArray comm = commFile.readAll().trimmed();
        const QByteArray name = task == self                  ? QByteArray("GUI thread")
                                : comm == "QSGRenderThread"   ? QByteArray("render thread")
                                : comm.startsWith("llvmpipe") ? QByteArray("software OpenGL (llvmpipe)")
                                                              : QByteArray("libVLC and others");
        times[name] += ns;
    }
    return times;
}

qint64 processCpuNs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

bool makeClip(const QString &ts, const QString &mp4)
{
    const QStringList common{"-nostdin", "-hide_banner", "-loglevel", "error", "-y"};
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), common + QStringList{"-f", "lavfi", "-i", "testsrc2=size=1920x1080:rate=25",
                                                              "-t", "14", "-c:v", "libx264", "-preset", "veryfast",
                                                              "-g", "50", "-pix_fmt", "yuv420p", "-f", "mpegts", ts});
    if (!ffmpeg.waitForFinished(600000) || ffmpeg.exitCode() != 0)
        return false;
    ffmpeg.start(QStringLiteral("ffmpeg"), common + QStringList{"-i", ts, "-c", "copy", "-movflags", "+faststart", mp4});
    return ffmpeg.waitForFinished(600000) && ffmpeg.exitCode() == 0;
}

struct Run
{
    VideoFrameSink::Counters frames;
    VlcMediaPlayer::Statistics libvlc;
    qint64 processNs = 0;
    QHash<QByteArray, qint64> threadNs;
};

// Plays `clip` for 10 s from its first picture on; with `window`, through a surface in it.
Run play(const QUrl &clip, QQuickWindow *window)
{
    PlayerController controller;
    std::unique_ptr<ControlledVideoView> surface;
    if (window) {
        surface = std::make_unique<ControlledVideoView>(window->contentItem());
        surface->setSize(window->size());
        surface->setController(&controller);
    }
    const auto frames = controller.player().videoFrames();
    controller.play(clip, false);
    if (!QTest::qWaitFor([&] { return frames->counters().received > 0; }, 60000))
        qFatal("no picture arrived");

    const VideoFrameSink::Counters framesBefore = frames->counters();
    const auto statsBefore = static_cast<VlcMediaPlayer &>(controller.player()).statistics();
    const qint64 processBefore = processCpuNs();
    const auto threadsBefore = threadTimes();
    QTest::qWait(playSeconds * 1000);
    Run run;
    run.processNs = processCpuNs() - processBefore;
    for (auto [name, ns] : threadTimes().asKeyValueRange())
        run.threadNs[name] = ns - threadsBefore.value(name);
    const auto framesAfter = frames->counters();
    const auto statsAfter = static_cast<VlcMediaPlayer &>(controller.player()).statistics();
    run.frames = {framesAfter.received - framesBefore.received, framesAfter.taken - framesBefore.taken,
                  framesAfter.replaced - framesBefore.replaced, framesAfter.scaled};
    run.libvlc = {statsAfter.decodedVideo - statsBefore.decodedVideo,
                  statsAfter.displayedPictures - statsBefore.displayedPictures,
                  statsAfter.lostPictures - statsBefore.lostPictures};
    controller.shutdown();
    return run;
}

void report(const char *title, const Run &run, const Run *baseline)
{
    std::printf("%s\n", title);
    const quint64 shown = baseline ? run.frames.taken : run.frames.received;
    Bench::row("decoded video count (libVLC's own)", QString::number(run.libvlc.decodedVideo));
    Bench::row("frames handed over by libVLC", QString::number(run.frames.received));
    Bench::row("frames shown", baseline ? QString::number(run.frames.taken) : QStringLiteral("(no surface)"));
    Bench::row("frames dropped (libVLC late + never shown)",
               QString::number(quint64(run.libvlc.lostPictures) + (baseline ? run.frames.replaced : 0)));
    Bench::row("libVLC scaled into the padded size", run.frames.scaled ? QStringLiteral("yes") : QStringLiteral("no"));
    const double perFrame = shown ? run.processNs / 1e6 / double(shown) : 0;
    Bench::row("CPU per frame, whole process", QStringLiteral("%1 ms").arg(perFrame, 0, 'f', 2));
    Bench::row("CPU of the whole process", QStringLiteral("%1 % of one core").arg(run.processNs / 1e7 / playSeconds, 0, 'f', 1));
    for (const QByteArray &name : {QByteArray("GUI thread"), QByteArray("render thread"),
                                   QByteArray("software OpenGL (llvmpipe)"), QByteArray("libVLC and others")}) {
        if (!run.threadNs.contains(name))
            continue;
        const double ms = shown ? run.threadNs.value(name) / 1e6 / double(shown) : 0;
        Bench::row(qPrintable(QStringLiteral("  of which %1").arg(QString::fromLatin1(name))),
                   QStringLiteral("%1 ms per frame").arg(ms, 0, 'f', 2));
    }
    if (baseline && baseline->frames.received && shown) {
        const double extra = run.processNs / double(shown) - baseline->processNs / double(baseline->frames.received);
        Bench::row("surface's cost per shown frame over baseline", QStringLiteral("%1 ms").arg(extra / 1e6, 0, 'f', 2));
    }
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && !qEnvironmentVariableIsSet("MAVU_BENCH_XVFB")) {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("xvfb-run"));
        if (!xvfb.isEmpty()) {
            qputenv("MAVU_BENCH_XVFB", "1");
            qputenv("QT_QPA_PLATFORM", "xcb");
            QList<QByteArray> args{xvfb.toLocal8Bit(), "-a", "-s", "-screen 0 1920x1080x24"};
            for (int i = 0; i < argc; ++i)
                args.append(argv[i]);
            QList<char *> raw;
            for (QByteArray &arg : args)
                raw.append(arg.data());
            raw.append(nullptr);
            execv(raw.first(), raw.data());
        }
        qputenv("QT_QUICK_BACKEND", "software"); // no display and no virtual one: the software scene graph
    }
    QGuiApplication app(argc, argv);
    VlcInstance::testing::addArgument("--aout=dummy");

    QTemporaryDir folder;
    const QString ts = folder.filePath(QStringLiteral("clip1080.ts"));
    const QString mp4 = folder.filePath(QStringLiteral("clip1080.mp4"));
    std::printf("making a 14 s 1080p25 H.264 clip with ffmpeg…\n");
    std::fflush(stdout);
    if (!makeClip(ts, mp4)) {
        std::fprintf(stderr, "ffmpeg could not make the clip\n");
        return 1;
    }

    QQuickWindow window;
    window.resize(1280, 720);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    const char *api = window.rendererInterface()->graphicsApi() == QSGRendererInterface::Software ? "software" : "RHI";
    std::printf("playback, %d s each, platform %s, scene graph %s, window 1280x720\n", playSeconds,
                qPrintable(QGuiApplication::platformName()), api);

    for (const QString &clip : {mp4, ts}) {
        const QUrl url = QUrl::fromLocalFile(clip);
        const Run baseline = play(url, nullptr);
        const Run shown = play(url, &window);
        std::printf("\n== %s\n", clip.endsWith(QLatin1String(".mp4")) ? "MP4" : "MPEG-TS");
        report("baseline: libVLC into our buffers, no surface", baseline, nullptr);
        report("through ControlledVideoView", shown, &baseline);
    }
    return 0;
}
