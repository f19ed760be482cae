// The guide grid at full size over a guide of 20,000 channels and eight days (one back, seven
// ahead), written straight into the guide database. Run it under Xvfb for the GL renderer
// (QT_QPA_PLATFORM=xcb) or offscreen, where the software renderer also draws on the GUI thread.
//
// 1. Opening the guide of a category of 2,000 channels: from making the view to the first
//    frame whose rows show their programmes; beside the first frame of a bare list of 2,000
//    rows of text made just before it. Each opening runs in a process of its own, twice over the
//    same cache folder: the first start ever (no shader, pipeline or font caches yet: Mesa's and
//    Qt's on-disk caches live under XDG_CACHE_HOME) and a usual start (the caches the first one
//    left). Within each process the view is then opened a second time. Like the program's
//    window, each process first prepares the guide's glyphs while idle (GlyphWarmup);
//    MAVU_BENCH_COLD_FACES=1 opens without that; then its components and the pipelines of its
//    faces (GuideWarmup), MAVU_BENCH_COLD_GUIDE=1 without that; MAVU_BENCH_REOPEN=n opens n times more and
//    tells the median; MAVU_BENCH_ROWS=n makes a screen of rows alone n times.
// 2. Scrolling through the 20,000 channels (a thumb drag, a new page every frame) and across
//    the eight days (a day every 72 frames): the GUI thread's CPU time in each frame; beside
//    the same drag over the bare list.
#include "benchsupport.h"
#include "screenbench.h"
#include "qmlregistration.h"
#include "store/appstore.h"
#include "store/guidedatabase.h"
#include "store/guidegridmodel.h"
#include "store/preferences.h"
#include "store/programguide.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtQml/qqmlextensionplugin.h>

#include <algorithm>
#include <ctime>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

Q_IMPORT_QML_PLUGIN(MavuPlugin)
Q_IMPORT_QML_PLUGIN(Mavu_CorePlugin)

namespace {

constexpr int allChannels = 20000;
constexpr int categoryChannels = 2000;
constexpr qint64 day = 86400;

using Bench::collect;
using Bench::GuiThreadMeter;
using Bench::nowMs;
using Bench::settle;
using Bench::waitUntil;

QString distribution(std::vector<double> values)
{
    if (values.empty())
        return QStringLiteral("no frames");
    std::sort(values.begin(), values.end());
    const auto at = [&](double q) { return values[std::min(values.size() - 1, size_t(q * double(values.size())))]; };
    const auto over = std::count_if(values.begin(), values.end(), [](double v) { return v > 16.0; });
    return QStringLiteral("median %1, p95 %2, p99 %3, max %4 ms; %5 of %6 frames over 16 ms")
        .arg(at(0.5), 0, 'f', 2)
        .arg(at(0.95), 0, 'f', 2)
        .arg(at(0.99), 0, 'f', 2)
        .arg(values.back(), 0, 'f', 2)
        .arg(over)
        .arg(values.size());
}

double maxOf(const std::vector<double> &values)
{
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

// `frames` frames, each calling `step(i)` at its start; the GUI thread's CPU per frame.
std::vector<double> drive(QQuickWindow *window, int frames, const std::function<void(int)> &step)
{
    GuiThreadMeter meter(window);
    int done = 0;
    meter.onFrame = [&] {
        if (done < frames) {
            step(done++);
            meter.recording = true;
            window->update();
        } else {
            meter.recording = false;
        }
    };
    window->update();
    waitUntil([&] { return done >= frames && !meter.recording; }, 120000);
    return meter.frames;
}

// The whole process's CPU time: a busy machine stretches the wall clock, not this.
double processCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1000.0 + double(now.tv_nsec) / 1e6;
}

QQuickItem *findItem(QQuickItem *from, const QString &name)
{
    QList<QQuickItem *> found;
    collect(from, name, found);
    return found.value(0);
}

// Programmes of 40 minutes to 2½ hours, one channel after another, for [from, to).
qint64 writeGuide(const QString &path, const QStringList &ids, qint64 from, qint64 to)
{
    GuideDatabase::Writer writer(path);
    if (!writer.begin(ids))
        qFatal("cannot write the guide: %s", qPrintable(writer.errorText()));
    QRandomGenerator random(7);
    QList<XmltvReader::Programme> batch;
    for (int channel = 0; channel < ids.size(); ++channel) {
        for (qint64 start = from; start < to;) {
            const qint64 length = 600 * random.bounded(4, 16);
            XmltvReader::Programme programme;
            programme.channel = channel;
            programme.start = {start, 60};
            programme.stop = start + length;
            programme.title = QStringLiteral("Programme %1 of channel %2").arg((start - from) / 600).arg(channel);
            programme.desc = QStringLiteral("What happens in it, in a sentence or two.");
            batch.append(std::move(programme));
            start += length;
        }
        if (batch.size() > 20000) {
            writer.add(batch);
            batch.clear();
        }
    }
    writer.add(batch);
    if (!writer.commit(QDateTime::currentSecsSinceEpoch(), from))
        qFatal("cannot store the guide: %s", qPrintable(writer.errorText()));
    return writer.added();
}

QList<MediaItem> channelsOf(int count)
{
    QList<MediaItem> channels;
    channels.reserve(count);
    for (int i = 0; i < count; ++i) {
        MediaItem channel;
        channel.id = QString::number(i + 1);
        channel.name = QStringLiteral("Channel %1").arg(i + 1);
        channel.kind = MediaItem::Kind::live;
        channel.num = i + 1;
        channel.epgChannelId = QStringLiteral("ch%1").arg(i);
        channel.tvArchive = i % 3 == 0;
        channel.archiveDays = channel.tvArchive ? 1 : 0;
        channels.append(channel);
    }
    return channels;
}

QQuickItem *make(QQmlEngine &engine, QQuickWindow &window, const QUrl &url, const QByteArray &inlineQml = {})
{
    QQmlComponent component(&engine);
    if (inlineQml.isEmpty())
        component.loadUrl(url);
    else
        component.setData(inlineQml, url);
    auto *item = qobject_cast<QQuickItem *>(component.create());
    if (!item)
        qFatal("%s", qPrintable(component.errorString()));
    item->setParentItem(window.contentItem());
    item->setSize(window.size());
    item->forceActiveFocus();
    return item;
}

const QByteArray bareList = R"(
import QtQuick
ListView {
    objectName: "bareRows"
    clip: true
    model: 2000
    delegate: Rectangle {
        required property int index
        width: ListView.view.width
        height: 52
        color: index % 2 ? "#171922" : "#0B0C10"
        Text { x: 10; anchors.verticalCenter: parent.verticalCenter; text: "Channel " + parent.index; color: "white" }
        Text { x: 300; anchors.verticalCenter: parent.verticalCenter; text: "Programme " + parent.index; color: "white" }
    }
}
)";


// One opening of the view for the category's channels, beside a bare list made just before.
struct Opening
{
    double bareMs = 0, openMs = 0, channelsMs = 0, madeMs = 0, firstFrameMs = 0, readMs = 0, facesMs = 0;
    double cpuMs = 0; // the GUI thread's own work over the opening: on a busy machine it tells work from waiting
    double processCpuMs = 0; // every thread's: the render thread's and the software rasteriser's too
    double drawCpuMs = 0; // the render thread's own work recording and drawing the frames (not syncing or swapping)
};

Opening openOnce(QQmlEngine &engine, QQuickWindow &window, GuideGridModel *grid, const QList<MediaItem> &channels)
{
    Opening figures;
    std::atomic<int> swapped{0};
    // Let go at the end: the count lives on this stack.
    const auto counting = QObject::connect(&window, &QQuickWindow::frameSwapped, &window, [&] { ++swapped; }, Qt::DirectConnection);
    const double bareStart = nowMs();
    const int bareFrames = swapped.load();
    QQuickItem *bare = make(engine, window, QUrl(QStringLiteral("bare.qml")), bareList);
    waitUntil([&] { return swapped > bareFrames; }, 10000);
    figures.bareMs = nowMs() - bareStart;
    delete bare;
    settle(300);

    // Where the time goes: marks taken as the opening passes them.
    // The first swap is told on the render thread.
    std::atomic<double> firstFrameMs{-1};
    double readMs = -1;
    const double openStart = nowMs();
    const double cpuStart = Bench::threadCpuMs();
    const double processStart = processCpuMs();
    // Told on the render thread, which alone touches `drawStart`.
    std::atomic<double> drawCpuMs{0};
    double drawStart = 0;
    const auto drawBegin = QObject::connect(
        &window, &QQuickWindow::beforeRendering, &window, [&] { drawStart = Bench::threadCpuMs(); }, Qt::DirectConnection);
    const auto drawEnd = QObject::connect(
        &window, &QQuickWindow::afterRendering, &window, [&] { drawCpuMs.fetch_add(Bench::threadCpuMs() - drawStart); },
        Qt::DirectConnection);
    const auto firstFrame = QObject::connect(
        &window, &QQuickWindow::frameSwapped, &window,
        [&] {
            double unset = -1;
            firstFrameMs.compare_exchange_strong(unset, nowMs() - openStart);
        },
        Qt::DirectConnection);
    const auto read = QObject::connect(grid, &QAbstractItemModel::dataChanged, grid, [&] {
        if (readMs < 0)
            readMs = nowMs() - openStart;
    });
    grid->setChannels(channels.mid(0, categoryChannels));
    figures.channelsMs = nowMs() - openStart;
    QQuickItem *view = make(engine, window, QUrl(QStringLiteral("qrc:/qt/qml/Mavu/GuideView.qml")));
    figures.madeMs = nowMs() - openStart;
    const auto shown = [&] { return grid->isLoaded(0) && grid->isLoaded(10) && findItem(view, QStringLiteral("guideCell")); };
    waitUntil(shown, 10000);
    figures.facesMs = nowMs() - openStart;
    const int loadedFrames = swapped.load();
    waitUntil([&] { return swapped > loadedFrames; }, 10000);
    figures.openMs = nowMs() - openStart;
    figures.cpuMs = Bench::threadCpuMs() - cpuStart;
    figures.processCpuMs = processCpuMs() - processStart;
    QObject::disconnect(drawBegin);
    QObject::disconnect(drawEnd);
    figures.drawCpuMs = drawCpuMs.load();
    figures.firstFrameMs = firstFrameMs.load();
    figures.readMs = readMs;
    QObject::disconnect(firstFrame);
    QObject::disconnect(read);
    QObject::disconnect(counting);
    delete view;
    settle(300);
    return figures;
}

void printOpening(const char *label, const Opening &figures)
{
    std::printf("  %s: first rows with programmes drawn after %.1f ms (target 100); bare list of 2,000 rows %.1f ms; ratio %.1f\n", label,
                figures.openMs, figures.bareMs, figures.openMs / std::max(figures.bareMs, 0.1));
    std::printf("    channels set %.1f, view made %.1f, first frame %.1f, programmes in the model %.1f, cells made %.1f ms; GUI thread CPU %.1f, all threads' CPU %.1f, render thread's drawing %.1f ms\n",
                figures.channelsMs, figures.madeMs, figures.firstFrameMs, figures.readMs, figures.facesMs, figures.cpuMs, figures.processCpuMs, figures.drawCpuMs);
}

struct Setup
{
    Playlist playlist{QStringLiteral("http://127.0.0.1:9"), QStringLiteral("user"), QStringLiteral("pass")};
    QList<MediaItem> channels = channelsOf(allChannels);
};

// The opening process: the guide is already in `folder`; opens the view twice.
int runOpening(const QString &folder)
{
    const Setup setup;
    auto preferences = std::make_shared<Preferences>(QDir(folder).filePath(QStringLiteral("mavu.ini")));
    AppStore store(preferences);
    AppStoreForeign::instance = &store;
    ProgramGuide *guide = store.guide();
    guide->setCacheFolder(folder);
    guide->setPlaylist(setup.playlist);
    settle(300);

    QQmlEngine engine;
    QQuickWindow window;
    window.resize(1060, 800); // the live section beside the category column of a 1280 × 800 window
    window.show();
    waitUntil([&] { return window.isExposed(); }, 10000);
    settle(300);
    // The program's window prepares the guide's glyphs while idle after start; the bench does
    // the same unless MAVU_BENCH_COLD_FACES asks for the opening without it.
    if (qEnvironmentVariableIsEmpty("MAVU_BENCH_COLD_FACES")) {
        const double warmStart = nowMs();
        QQuickItem *warmup = make(engine, window, QUrl(QStringLiteral("qrc:/qt/qml/Mavu/GlyphWarmup.qml")));
        waitUntil([&] { return warmup->property("finished").toBool(); }, 10000);
        std::printf("  glyphs prepared at start in %.1f ms\n", nowMs() - warmStart);
        delete warmup;
        settle(300);
    }
    // Then the guide's components and the pipelines of its faces, as the program's window
    // does after the glyphs; MAVU_BENCH_COLD_GUIDE=1 opens without that.
    if (qEnvironmentVariableIsEmpty("MAVU_BENCH_COLD_GUIDE")) {
        const double warmStart = nowMs();
        QQuickItem *warmup = make(engine, window, QUrl(QStringLiteral("qrc:/qt/qml/Mavu/GuideWarmup.qml")));
        waitUntil([&] { return warmup->property("finished").toBool(); }, 10000);
        std::printf("  guide's faces prepared at start in %.1f ms\n", nowMs() - warmStart);
        delete warmup;
        settle(300);
    }
    printOpening("open", openOnce(engine, window, guide->grid(), setup.channels));
    printOpening("open again in the same process", openOnce(engine, window, guide->grid(), setup.channels));
    // MAVU_BENCH_REOPEN=n opens n times more: on a busy machine one opening tells little, the
    // median of many tells a change of the rows from the noise.
    if (const int more = qEnvironmentVariableIntValue("MAVU_BENCH_REOPEN"); more > 0) {
        std::vector<double> cpu, drawn;
        for (int i = 0; i < more; ++i) {
            const Opening figures = openOnce(engine, window, guide->grid(), setup.channels);
            cpu.push_back(figures.cpuMs);
            drawn.push_back(figures.openMs);
        }
        std::sort(cpu.begin(), cpu.end());
        std::sort(drawn.begin(), drawn.end());
        std::printf("  %d openings more: GUI thread CPU median %.1f, lowest %.1f ms; drawn after median %.1f, lowest %.1f ms\n", more,
                    cpu[cpu.size() / 2], cpu.front(), drawn[drawn.size() / 2], drawn.front());
    }
    // MAVU_BENCH_ROWS=n makes a screen of rows straight from their component n times, without
    // the view, the model's reading or a frame: the rows' own cost, steady enough to tell small
    // changes of a row apart on a busy machine.
    if (const int times = qEnvironmentVariableIntValue("MAVU_BENCH_ROWS"); times > 0) {
        GuideGridModel *grid = guide->grid();
        grid->setChannels(setup.channels.mid(0, categoryChannels));
        QQuickItem *view = make(engine, window, QUrl(QStringLiteral("qrc:/qt/qml/Mavu/GuideView.qml")));
        waitUntil([&] { return grid->isLoaded(0) && grid->isLoaded(11); }, 10000);
        settle(300);
        view->setVisible(false);
        QQmlComponent rowComponent(&engine, QUrl(QStringLiteral("qrc:/qt/qml/Mavu/GuideRow.qml")));
        std::vector<double> cpu;
        for (int round = 0; round < times; ++round) {
            std::vector<QObject *> made;
            const double start = Bench::threadCpuMs();
            for (int row = 0; row < 12; ++row) {
                const QModelIndex at = grid->index(row);
                QObject *object = rowComponent.createWithInitialProperties(
                    {{QStringLiteral("index"), row},
                     {QStringLiteral("channel"), grid->data(at, GuideGridModel::ChannelRole)},
                     {QStringLiteral("cells"), grid->data(at, GuideGridModel::CellsRole)},
                     {QStringLiteral("loaded"), grid->data(at, GuideGridModel::LoadedRole)},
                     {QStringLiteral("width"), window.width()},
                     {QStringLiteral("height"), 52}});
                if (!object)
                    qFatal("%s", qPrintable(rowComponent.errorString()));
                auto *item = qobject_cast<QQuickItem *>(object);
                item->setParentItem(window.contentItem());
                item->setY(row * 52);
                made.push_back(object);
            }
            QCoreApplication::sendPostedEvents();
            cpu.push_back(Bench::threadCpuMs() - start);
            for (QObject *object : made)
                delete object;
            settle(20);
        }
        std::sort(cpu.begin(), cpu.end());
        std::printf("  a screen of 12 rows made %d times: GUI thread CPU median %.2f, lowest %.2f ms\n", times, cpu[cpu.size() / 2],
                    cpu.front());
        delete view;
    }
    std::fflush(stdout);
    AppStoreForeign::instance = nullptr;
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 3 && qstrcmp(argv[1], "--open") == 0) {
        QGuiApplication app(argc, argv);
        QQuickStyle::setStyle(QStringLiteral("Basic"));
        if (QGuiApplication::platformName() == QLatin1String("offscreen"))
            QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
        nowMs();
        return runOpening(QString::fromLocal8Bit(argv[2]));
    }

    // MAVU_BENCH_FOLDER keeps the guide between runs (written once); the caches start empty anyway.
    QTemporaryDir temporary;
    const QDir folder(qEnvironmentVariable("MAVU_BENCH_FOLDER", temporary.path()));
    folder.mkpath(QStringLiteral("."));
    const QString cacheHome = folder.filePath(QStringLiteral("xdg"));
    QDir(cacheHome).removeRecursively();
    qputenv("XDG_CACHE_HOME", cacheHome.toUtf8());
    // Mesa's shader cache follows XDG_CACHE_HOME unless told otherwise.
    qunsetenv("MESA_SHADER_CACHE_DIR");
    qunsetenv("MESA_SHADER_CACHE_DISABLE");
    QGuiApplication app(argc, argv);
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    if (QGuiApplication::platformName() == QLatin1String("offscreen"))
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    nowMs(); // the clock starts here

    // The guide: 20,000 channels, a day back and seven ahead.
    const Setup setup;
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    QStringList ids;
    for (const MediaItem &channel : setup.channels)
        ids.append(channel.epgChannelId);
    const QString guideFile = folder.filePath(GuideDatabase::fileName(setup.playlist));
    if (!QFileInfo::exists(guideFile) || QFileInfo(guideFile).lastModified().secsTo(QDateTime::currentDateTime()) > 6 * 3600) {
        QFile::remove(guideFile);
        const double writeStart = nowMs();
        const qint64 programmes = writeGuide(guideFile, ids, now / 3600 * 3600 - day, now + 7 * day);
        std::printf("guide written: %lld programmes of %d channels in %.0f ms\n", programmes, allChannels, nowMs() - writeStart);
    }

    // 1. Opening, in processes of their own over one cache folder: empty, then as the first left it.
    for (const char *label : {"first start ever (empty caches)", "usual start (caches of the start before)"}) {
        std::printf("open 2,000 channels, %s:\n", label);
        std::fflush(stdout);
        QProcess opening;
        opening.setProcessChannelMode(QProcess::ForwardedChannels);
        opening.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--open"), folder.path()});
        if (!opening.waitForFinished(120000) || opening.exitCode() != 0)
            qFatal("the opening run failed");
    }
    const auto cached = QDir(cacheHome).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::printf("  caches kept between the starts: %s\n", cached.isEmpty() ? "none" : qPrintable(cached.join(QStringLiteral(", "))));

    auto preferences = std::make_shared<Preferences>(folder.filePath(QStringLiteral("mavu.ini")));
    AppStore store(preferences);
    AppStoreForeign::instance = &store;
    ProgramGuide *guide = store.guide();
    guide->setCacheFolder(folder.path());
    guide->setPlaylist(setup.playlist);
    GuideGridModel *grid = guide->grid();
    const QList<MediaItem> &channels = setup.channels;
    settle(300);

    QQmlEngine engine;
    QQuickWindow window;
    window.resize(1060, 800);
    window.show();
    waitUntil([&] { return window.isExposed(); }, 10000);
    settle(300);

    // 2. Scrolling through 20,000 channels and across the days.
    {
        QQuickItem *bare = make(engine, window, QUrl(QStringLiteral("bare.qml")), QByteArray(bareList).replace("model: 2000", "model: 20000"));
        settle(300);
        const double bareHeight = bare->property("contentHeight").toDouble() - bare->height();
        const auto bareFrames = drive(&window, 600, [&](int i) { bare->setProperty("contentY", bareHeight * i / 599); });
        delete bare;
        settle(300);

        grid->setChannels(channels);
        QQuickItem *view = make(engine, window, QUrl(QStringLiteral("qrc:/qt/qml/Mavu/GuideView.qml")));
        waitUntil([&] { return grid->isLoaded(0) && findItem(view, QStringLiteral("guideCell")); }, 10000);
        settle(500);
        QQuickItem *rows = findItem(view, QStringLiteral("guideRows"));
        const double rowsHeight = rows->property("contentHeight").toDouble() - rows->height();
        const auto downFrames = drive(&window, 600, [&](int i) { rows->setProperty("contentY", rowsHeight * i / 599); });
        settle(500);
        rows->setProperty("contentY", 0);
        settle(500);
        const double trackWidth = view->property("trackWidth").toDouble();
        const double across = grid->contentWidth() - trackWidth;
        const auto acrossFrames = drive(&window, 576, [&](int i) { grid->setScrollX(across * i / 575); });
        settle(500);
        const bool filled = grid->isLoaded(0);
        std::printf("scroll through 20,000 channels (600 frames): GUI thread %s\n", qPrintable(distribution(downFrames)));
        std::printf("  bare list of 20,000 rows, same drag: %s\n", qPrintable(distribution(bareFrames)));
        std::printf("  longest frame ratio %.1f (target: none over 16 ms)\n", maxOf(downFrames) / std::max(maxOf(bareFrames), 0.1));
        std::printf("scroll across 8 days (576 frames): GUI thread %s; rows filled afterwards: %s\n", qPrintable(distribution(acrossFrames)),
                    filled ? "yes" : "no");
        delete view;
    }
    AppStoreForeign::instance = nullptr;
    return 0;
}
