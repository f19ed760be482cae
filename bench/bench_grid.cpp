// The section screen at full size, driven through the real window against an in-process
// mavu-lab. Run it under Xvfb for the GL renderer (QT_QPA_PLATFORM=xcb) or offscreen, where
// the software renderer also draws on the GUI thread.
//
// 1. One category of 200,000 titles (the lab's one-category preset), scrolled top to bottom:
//    the GUI thread's busy time in each frame, at a fast flick and at a thumb drag that shows a
//    new page every frame; beside the same scroll over a grid of bare rectangles.
// 2. Each keystroke of a search over those 200,000 titles: the key's own handling and the time
//    until the frame that shows the new grid; beside the store's filtering alone.
// 3. Opening Movies at the large preset: from the click on the home screen's card to the first
//    frame with posters; beside the store opening the section without a screen.
//
// MAVU_SCREENSHOT_DIR=folder saves the grid scrolled deep into the 200,000 titles.
#include "benchsupport.h"
#include "imagecache.h"
#include "labserver.h"
#include "qmlregistration.h"
#include "store/appstore.h"
#include "store/preferences.h"

#include <QAbstractEventDispatcher>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QQmlApplicationEngine>
#include <QQmlComponent>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTimer>
#include <QtQml/qqmlextensionplugin.h>

#include <QCoroTask>

#include <atomic>
#include <ctime>
#include <functional>
#include <vector>

Q_IMPORT_QML_PLUGIN(MavuPlugin)
Q_IMPORT_QML_PLUGIN(Mavu_CorePlugin)

namespace {

const QElapsedTimer &benchClock()
{
    static QElapsedTimer timer = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    return timer;
}

double nowMs()
{
    return benchClock().nsecsElapsed() / 1e6;
}

// Spins the event loop until `done` or `timeoutMs`; false on time-out.
bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer waited;
    waited.start();
    while (!done()) {
        if (waited.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// Lets the event loop run for a while: the grid's buffer fills, pictures arrive.
void settle(int milliseconds)
{
    waitUntil([] { return false; }, milliseconds);
}

template<typename T>
T run(QCoro::Task<T> &&task)
{
    return QCoro::waitFor(std::move(task));
}

// CPU time the calling thread has used, in milliseconds.
double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// The GUI thread's work per frame: the CPU time it spends between the starts of two frames
// (QQuickWindow::afterAnimating, emitted on the GUI thread). Time it waits (for the render
// thread, for input) is not work; time other programs take the processor from it is not
// counted either. Beside it, the wall time between frame starts.
class GuiThreadMeter
{
public:
    explicit GuiThreadMeter(QQuickWindow *window)
    {
        m_connections << QObject::connect(window, &QQuickWindow::afterAnimating, window, [this] { frameStarts(); }, Qt::DirectConnection);
        m_connections << QObject::connect(window, &QQuickWindow::frameSwapped, window, [this] { ++m_swapped; }, Qt::DirectConnection);
    }
    ~GuiThreadMeter()
    {
        for (const auto &connection : std::as_const(m_connections))
            QObject::disconnect(connection);
    }

    // Called at each frame's start, before the frame's own work; `onFrame` may move the scene.
    std::function<void()> onFrame;
    std::vector<double> frames;    // GUI thread CPU milliseconds of each recorded frame
    std::vector<double> intervals; // wall milliseconds from one recorded frame start to the next
    bool recording = false;
    int swapped() const { return m_swapped.load(); }

private:
    void frameStarts()
    {
        const double cpu = threadCpuMs();
        const double wall = nowMs();
        if (recording && m_lastCpu >= 0) {
            frames.push_back(cpu - m_lastCpu);
            intervals.push_back(wall - m_lastWall);
        }
        m_lastCpu = cpu;
        m_lastWall = wall;
        if (onFrame)
            onFrame();
    }

    QList<QMetaObject::Connection> m_connections;
    double m_lastCpu = -1;
    double m_lastWall = 0;
    std::atomic<int> m_swapped{0};
};

struct Distribution
{
    double median = 0, p95 = 0, p99 = 0, max = 0;
    qsizetype over16 = 0;
    qsizetype count = 0;

    static Distribution of(std::vector<double> values)
    {
        Distribution d;
        if (values.empty())
            return d;
        std::sort(values.begin(), values.end());
        const auto at = [&](double q) { return values[std::min(values.size() - 1, size_t(q * double(values.size())))]; };
        d.median = at(0.5);
        d.p95 = at(0.95);
        d.p99 = at(0.99);
        d.max = values.back();
        d.over16 = std::count_if(values.begin(), values.end(), [](double v) { return v > 16.0; });
        d.count = qsizetype(values.size());
        return d;
    }

    QString text() const
    {
        return QStringLiteral("median %1, p95 %2, p99 %3, max %4 ms; %5 of %6 frames over 16 ms")
            .arg(median, 0, 'f', 2)
            .arg(p95, 0, 'f', 2)
            .arg(p99, 0, 'f', 2)
            .arg(max, 0, 'f', 2)
            .arg(over16)
            .arg(count);
    }

    QString brief() const { return QStringLiteral("median %1, p95 %2 ms").arg(median, 0, 'f', 1).arg(p95, 0, 'f', 1); }
};

struct Frames
{
    std::vector<double> cpu;      // GUI thread CPU milliseconds per frame
    std::vector<double> interval; // wall milliseconds between frame starts

    void append(const Frames &more)
    {
        cpu.insert(cpu.end(), more.cpu.begin(), more.cpu.end());
        interval.insert(interval.end(), more.interval.begin(), more.interval.end());
    }
};

// Scrolls `grid` one step a frame from `from` to `to`.
Frames scroll(QQuickWindow *window, QQuickItem *grid, double from, double to, double step)
{
    grid->setProperty("contentY", from);
    settle(300);
    GuiThreadMeter meter(window);
    double y = from;
    bool done = false;
    meter.onFrame = [&] {
        // The frame after the last step has been recorded: stop.
        if (done) {
            meter.recording = false;
            return;
        }
        meter.recording = true;
        y = std::min(to, y + step);
        grid->setProperty("contentY", y);
        if (y >= to)
            done = true;
    };
    window->requestUpdate();
    waitUntil([&] { return done; }, 600000);
    settle(50);
    meter.onFrame = nullptr;
    meter.recording = false;
    return {meter.frames, meter.intervals};
}

struct ScrollFigures
{
    Frames flick;
    Frames drag;
};

// A fast flick (40 points a frame, 2,400 a second) over 200 frames at five depths, then a thumb
// drag from the top to the bottom in 600 frames (every frame a new page).
ScrollFigures scrollFigures(QQuickWindow *window, QQuickItem *grid)
{
    QMetaObject::invokeMethod(grid, "positionViewAtEnd");
    settle(100);
    const double end = grid->property("contentY").toDouble();
    QMetaObject::invokeMethod(grid, "positionViewAtBeginning");
    settle(100);
    const double top = grid->property("contentY").toDouble();

    ScrollFigures figures;
    for (double depth : {0.0, 0.25, 0.5, 0.75, 0.99}) {
        const double from = top + (end - top) * depth;
        figures.flick.append(scroll(window, grid, from, std::min(end, from + 200 * 40), 40));
    }
    figures.drag = scroll(window, grid, top, end, (end - top) / 600);
    return figures;
}

void sendKey(QQuickWindow *window, int key, const QString &text)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(window, &press);
    QCoreApplication::sendEvent(window, &release);
}

// All items below `from` (visual tree) with that objectName.
void collect(QQuickItem *from, const QString &name, QList<QQuickItem *> &found)
{
    for (QQuickItem *child : from->childItems()) {
        if (child->objectName() == name)
            found.append(child);
        collect(child, name, found);
    }
}

QQuickItem *findItem(QQuickWindow *window, const QString &name)
{
    QList<QQuickItem *> found;
    collect(window->contentItem(), name, found);
    return found.value(0);
}

// One run of the program's screens: a store on private preferences, the window over it.
class Session
{
public:
    explicit Session(const QString &labBase)
    {
        MavuAPI::testing::setDeviceServiceBase(labBase);
        preferences = std::make_shared<Preferences>(folder.filePath(QStringLiteral("mavu.ini")));
        store = std::make_unique<AppStore>(preferences);
        run(store->start());
        run(store->enterBrowse());
        AppStoreForeign::instance = store.get();
        engine = std::make_unique<QQmlApplicationEngine>();
        engine->setNetworkAccessManagerFactory(&imageCache);
        engine->setOutputWarningsToStandardError(false);
        engine->load(QUrl(QStringLiteral("qrc:/qt/qml/Mavu/ContentView.qml")));
        window = qobject_cast<QQuickWindow *>(engine->rootObjects().value(0));
        window->requestActivate();
        waitUntil([this] { return window->isExposed() && window->isActive(); }, 10000);
    }
    ~Session()
    {
        engine.reset();
        AppStoreForeign::instance = nullptr;
    }

    QTemporaryDir folder;
    std::shared_ptr<Preferences> preferences;
    std::unique_ptr<AppStore> store;
    ImageCacheFactory imageCache;
    std::unique_ptr<QQmlApplicationEngine> engine;
    QQuickWindow *window = nullptr;
};

QString ms(double value)
{
    return QStringLiteral("%1 ms").arg(value, 0, 'f', 1);
}

int scrollFiguresShown(Session &session, QQuickItem *grid);
int searchFigures(Session &session, QQuickItem *grid);

// One category of 200,000 titles on screen, then the figures asked for.
int bigCategory(bool scrolling, bool searching)
{
    Lab::Server lab({.preset = Lab::Preset::oneCategory});
    const QString base = lab.start();
    Session session(base);
    QQuickWindow *window = session.window;
    session.store->runOpenSection(Section::movies);
    QQuickItem *grid = nullptr;
    const bool loaded = waitUntil([&] {
        grid = findItem(window, QStringLiteral("posterGrid"));
        return grid && grid->isVisible() && session.store->itemsModel()->count() == 200000;
    }, 120000);
    if (!loaded) {
        std::fprintf(stderr, "the category of 200,000 titles did not show\n");
        return 1;
    }
    std::printf("one category of %d titles, %d columns, window %dx%d, %s\n", session.store->itemsModel()->count(),
                grid->property("columns").toInt(), window->width(), window->height(),
                window->rendererInterface()->graphicsApi() == QSGRendererInterface::Software ? "software renderer" : "GL renderer");
    std::fflush(stdout);

    if (scrolling && scrollFiguresShown(session, grid) != 0)
        return 1;
    return searching ? searchFigures(session, grid) : 0;
}

int scrollFiguresShown(Session &session, QQuickItem *grid)
{
    QQuickWindow *window = session.window;
    // The baseline: a grid of bare rectangles over the same model, cells of the same size, in a
    // window of the same size.
    QQmlComponent bare(session.engine.get());
    bare.setData(QByteArrayLiteral("import QtQuick\nimport Mavu\nWindow {\n"
                                   "  property alias grid: grid\n"
                                   "  GridView { id: grid; anchors.fill: parent; model: AppStore.itemsModel\n"
                                   "    cellWidth: 192; cellHeight: 265\n"
                                   "    delegate: Rectangle { width: 178; height: 249; color: \"#171922\" } }\n}\n"),
                 QUrl());
    auto *bareWindow = qobject_cast<QQuickWindow *>(bare.create());
    if (!bareWindow) {
        std::fprintf(stderr, "%s\n", qPrintable(bare.errorString()));
        return 1;
    }
    bareWindow->resize(int(grid->width()), int(grid->height()));
    bareWindow->show();
    waitUntil([&] { return bareWindow->isExposed(); }, 10000);
    auto *bareGrid = bareWindow->property("grid").value<QQuickItem *>();
    const ScrollFigures baseline = scrollFigures(bareWindow, bareGrid);
    delete bareWindow;

    const ScrollFigures figures = scrollFigures(window, grid);
    std::printf("scrolling 200,000 titles, GUI thread CPU time per frame:\n");
    Bench::row("flick, 2,400 points/s at five depths", Distribution::of(figures.flick.cpu).text());
    Bench::row("  baseline: bare rectangles", Distribution::of(baseline.flick.cpu).text());
    Bench::row("thumb drag, top to bottom in 600 frames", Distribution::of(figures.drag.cpu).text());
    Bench::row("  baseline: bare rectangles", Distribution::of(baseline.drag.cpu).text());
    std::printf("the same frames, wall time from one frame's start to the next (the render thread's pace):\n");
    Bench::row("flick", Distribution::of(figures.flick.interval).brief());
    Bench::row("  baseline: bare rectangles", Distribution::of(baseline.flick.interval).brief());
    Bench::row("thumb drag", Distribution::of(figures.drag.interval).brief());
    Bench::row("  baseline: bare rectangles", Distribution::of(baseline.drag.interval).brief());

    const QString shots = qEnvironmentVariable("MAVU_SCREENSHOT_DIR");
    if (!shots.isEmpty()) {
        const double end = grid->property("contentHeight").toDouble();
        grid->setProperty("contentY", end * 0.73);
        settle(2500);
        window->grabWindow().save(shots + QStringLiteral("/browse11-large-deep.png"));
        QMetaObject::invokeMethod(grid, "positionViewAtBeginning");
        settle(200);
    }

    return 0;
}

// Keystrokes into the search field, each measured to the frame that shows its grid.
int searchFigures(Session &session, QQuickItem *grid)
{
    QQuickWindow *window = session.window;
    QQuickItem *input = findItem(window, QStringLiteral("searchInput"));
    input->forceActiveFocus();
    const QString typed = QStringLiteral("golden r");
    std::vector<double> handling, shown, keyCpu, storeOnly;
    int late = 0;
    for (int round = 0; round < 3; ++round) {
        QList<std::pair<int, QString>> keys;
        for (const QChar c : typed)
            keys.append({c == u' ' ? int(Qt::Key_Space) : int(Qt::Key_A) + (c.unicode() - u'a'), QString(c)});
        for (qsizetype i = 0; i < typed.size(); ++i)
            keys.append({int(Qt::Key_Backspace), QString()});
        for (const auto &[key, text] : keys) {
            settle(60);
            GuiThreadMeter meter(window);
            const int swappedBefore = meter.swapped();
            const double cpu = threadCpuMs();
            const double start = nowMs();
            sendKey(window, key, text);
            handling.push_back(nowMs() - start);
            // The frame that follows the key has the new grid in it.
            waitUntil([&] { return meter.swapped() > swappedBefore; }, 10000);
            shown.push_back(nowMs() - start);
            keyCpu.push_back(threadCpuMs() - cpu);
            QQuickItem *first = nullptr;
            QMetaObject::invokeMethod(grid, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, first), Q_ARG(int, 0));
            FilteredItemsModel *model = session.store->itemsModel();
            const bool expected = model->count() == 0
                || (first && first->property("item") == model->data(model->index(0), ListModelBase::RecordRole));
            if (!expected)
                ++late;
        }
    }
    // The store alone, the same texts: the grid is off the model meanwhile.
    const QVariant model = grid->property("model");
    grid->setProperty("model", QVariant());
    for (int round = 0; round < 3; ++round) {
        QString text;
        for (const QChar c : typed) {
            text += c;
            const double start = threadCpuMs();
            session.store->setSearchText(text);
            storeOnly.push_back(threadCpuMs() - start);
        }
        while (!text.isEmpty()) {
            text.chop(1);
            const double start = threadCpuMs();
            session.store->setSearchText(text);
            storeOnly.push_back(threadCpuMs() - start);
        }
    }
    grid->setProperty("model", model);
    const auto brief = [](const std::vector<double> &values) {
        const Distribution d = Distribution::of(values);
        return QStringLiteral("median %1, max %2").arg(ms(d.median), ms(d.max));
    };
    std::printf("searching 200,000 titles, %d keystrokes (\"%s\" typed and erased, three times):\n", int(handling.size()), qPrintable(typed));
    Bench::row("key handled (field, store filter, view reset)", brief(handling));
    Bench::row("key to the frame that shows the grid", brief(shown));
    Bench::row("GUI thread CPU, key and that frame", brief(keyCpu));
    Bench::row("  baseline: the store's setSearchText, CPU", brief(storeOnly));
    Bench::row("frames that did not show the new grid", QString::number(late));
    return 0;
}

int openMovies()
{
    Lab::Server lab({.preset = Lab::Preset::large});
    const QString base = lab.start();

    // Baseline: a store of its own opens the section, no screen.
    double storeOpen = 0, storeOpenCpu = 0;
    {
        QTemporaryDir folder;
        MavuAPI::testing::setDeviceServiceBase(base);
        AppStore store(std::make_shared<Preferences>(folder.filePath(QStringLiteral("mavu.ini"))));
        run(store.start());
        run(store.enterBrowse());
        const double start = nowMs();
        const double cpu = threadCpuMs();
        run(store.openSection(Section::movies));
        storeOpen = nowMs() - start;
        storeOpenCpu = threadCpuMs() - cpu;
    }

    Session session(base);
    QQuickWindow *window = session.window;
    QQuickItem *card = nullptr;
    waitUntil([&] { return (card = findItem(window, QStringLiteral("menuMovies"))) != nullptr; }, 10000);
    settle(500);
    GuiThreadMeter meter(window);
    double cardsShown = 0, postersShown = 0;
    bool postersReady = false;
    int swappedWhenReady = 0;
    meter.onFrame = [&] {
        QQuickItem *grid = findItem(window, QStringLiteral("posterGrid"));
        if (!grid || !grid->isVisible())
            return;
        QList<QQuickItem *> pictures;
        collect(grid, QStringLiteral("posterImage"), pictures);
        if (cardsShown == 0 && !pictures.isEmpty())
            cardsShown = nowMs();
        if (!postersReady && std::any_of(pictures.cbegin(), pictures.cend(), [](QQuickItem *p) { return p->property("status").toInt() == 1; })) {
            postersReady = true;
            swappedWhenReady = meter.swapped();
        }
    };
    const double start = nowMs();
    const double cpu = threadCpuMs();
    QMetaObject::invokeMethod(card, "clicked"); // as a mouse click or a key ends
    const bool shown = waitUntil([&] {
        window->requestUpdate();
        return postersReady && meter.swapped() > swappedWhenReady;
    }, 120000);
    postersShown = nowMs() - start;
    const double openCpu = threadCpuMs() - cpu;
    meter.onFrame = nullptr;
    if (!shown) {
        std::fprintf(stderr, "no poster showed after opening Movies (phase %d, %d titles)\n", int(session.store->phase()),
                     session.store->itemsModel()->count());
        return 1;
    }
    std::printf("opening Movies at the large preset (%d titles in the first category):\n", session.store->itemsModel()->count());
    Bench::row("click to the first frame with posters", QStringLiteral("%1 (GUI thread CPU %2)").arg(ms(postersShown), ms(openCpu)));
    Bench::row("click to the first cards (placeholders)", ms(cardsShown - start));
    Bench::row("  baseline: the store opening Movies alone", QStringLiteral("%1 (CPU %2)").arg(ms(storeOpen), ms(storeOpenCpu)));
    return 0;
}

void quietImageWarnings(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    // The lab leaves some pictures out on purpose; their failures are not the figures.
    if (message.contains(QLatin1String("QQuickImage")) || message.contains(QLatin1String("QQuickPixmap")))
        return;
    std::fprintf(stderr, "%s\n", qPrintable(message));
    if (type == QtFatalMsg)
        std::abort();
}

} // namespace

int main(int argc, char *argv[])
{
    // The picture cache starts empty, in a folder of its own.
    QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", cache.path().toUtf8());
    qInstallMessageHandler(quietImageWarnings);
    QGuiApplication app(argc, argv);
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    if (QGuiApplication::platformName() == QLatin1String("offscreen"))
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    benchClock();
    // Arguments name the parts to run ("scroll", "search", "open"); none runs them all.
    const QStringList parts = app.arguments().mid(1);
    const auto wanted = [&](const char *part) { return parts.isEmpty() || parts.contains(QLatin1String(part)); };
    if (wanted("scroll") || wanted("search")) {
        if (const int failed = bigCategory(wanted("scroll"), wanted("search")))
            return failed;
    }
    if (parts.isEmpty() || parts.contains(QLatin1String("open")))
        return openMovies();
    return 0;
}
