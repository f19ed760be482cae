#include "screenbench.h"

#include "qmlregistration.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace Bench {

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

} // namespace

double nowMs()
{
    return benchClock().nsecsElapsed() / 1e6;
}

double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    // The thread sleeps between events: a wait that polled the event loop without pause spent
    // the GUI thread's CPU time for as long as a frame was late, and every figure that counts
    // that time (a key and its frame, a scrolled frame) counted the waiting too. A tick each
    // millisecond looks at conditions that no event announces (a frame swapped on the render
    // thread). MAVU_BENCH_SPIN=1 waits by polling, as before.
    static const bool spin = qEnvironmentVariableIntValue("MAVU_BENCH_SPIN") != 0;
    QElapsedTimer waited;
    waited.start();
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    if (!spin)
        tick.start();
    while (!done()) {
        if (waited.elapsed() > timeoutMs)
            return false;
        if (spin)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        else
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        // The benches never return to a top-level event loop, so objects let go with
        // deleteLater (a reset list's rows) would otherwise live, with their script objects, to
        // the end of the run, and every later garbage collection would mark them again.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

void settle(int milliseconds)
{
    waitUntil([] { return false; }, milliseconds);
}

GuiThreadMeter::GuiThreadMeter(QQuickWindow *window)
{
    m_connections << QObject::connect(window, &QQuickWindow::afterAnimating, window, [this] { frameStarts(); }, Qt::DirectConnection);
    m_connections << QObject::connect(window, &QQuickWindow::frameSwapped, window, [this] { ++m_swapped; }, Qt::DirectConnection);
}

GuiThreadMeter::~GuiThreadMeter()
{
    for (const auto &connection : std::as_const(m_connections))
        QObject::disconnect(connection);
}

void GuiThreadMeter::frameStarts()
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

Distribution Distribution::of(std::vector<double> values)
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

QString Distribution::text() const
{
    return QStringLiteral("median %1, p95 %2, p99 %3, max %4 ms; %5 of %6 frames over 16 ms")
        .arg(median, 0, 'f', 2)
        .arg(p95, 0, 'f', 2)
        .arg(p99, 0, 'f', 2)
        .arg(max, 0, 'f', 2)
        .arg(over16)
        .arg(count);
}

QString Distribution::brief() const
{
    return QStringLiteral("median %1, p95 %2 ms").arg(median, 0, 'f', 1).arg(p95, 0, 'f', 1);
}

void Frames::append(const Frames &more)
{
    cpu.insert(cpu.end(), more.cpu.begin(), more.cpu.end());
    interval.insert(interval.end(), more.interval.begin(), more.interval.end());
}

Frames scroll(QQuickWindow *window, QQuickItem *view, double from, double to, double step)
{
    view->setProperty("contentY", from);
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
        view->setProperty("contentY", y);
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

ScrollFigures scrollFigures(QQuickWindow *window, QQuickItem *view)
{
    QMetaObject::invokeMethod(view, "positionViewAtEnd");
    settle(100);
    const double end = view->property("contentY").toDouble();
    QMetaObject::invokeMethod(view, "positionViewAtBeginning");
    settle(100);
    const double top = view->property("contentY").toDouble();

    ScrollFigures figures;
    for (double depth : {0.0, 0.25, 0.5, 0.75, 0.99}) {
        const double from = top + (end - top) * depth;
        figures.flick.append(scroll(window, view, from, std::min(end, from + 200 * 40), 40));
    }
    figures.drag = scroll(window, view, top, end, (end - top) / 600);
    return figures;
}

void sendKey(QQuickWindow *window, int key, const QString &text)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(window, &press);
    QCoreApplication::sendEvent(window, &release);
}

QList<std::pair<int, QString>> searchKeys(const QString &typed)
{
    QList<std::pair<int, QString>> keys;
    for (int round = 0; round < 3; ++round) {
        for (const QChar c : typed)
            keys.append({c == u' ' ? int(Qt::Key_Space) : int(Qt::Key_A) + (c.unicode() - u'a'), QString(c)});
        for (qsizetype i = 0; i < typed.size(); ++i)
            keys.append({int(Qt::Key_Backspace), QString()});
    }
    return keys;
}

namespace {
bool eachShown()
{
    static const bool shown = qEnvironmentVariableIntValue("MAVU_BENCH_EACH") != 0;
    return shown;
}
} // namespace

void eachNote(const char *round)
{
    if (eachShown())
        std::fprintf(stderr, "%s:\n", round);
}

KeyFigures typeKeys(QQuickWindow *window, QQuickItem *view, const QAbstractItemModel *model,
                    const QList<std::pair<int, QString>> &keys, const std::function<void(int key, const QString &text)> &press)
{
    const bool eachKeyShown = eachShown();
    KeyFigures figures;
    for (const auto &[key, text] : keys) {
        settle(60);
        GuiThreadMeter meter(window);
        const int swappedBefore = meter.swapped();
        const double cpu = threadCpuMs();
        const double start = nowMs();
        press(key, text);
        figures.handling.push_back(nowMs() - start);
        // The frame that follows the key has the new rows in it.
        window->requestUpdate();
        waitUntil([&] { return meter.swapped() > swappedBefore; }, 10000);
        figures.shown.push_back(nowMs() - start);
        figures.cpu.push_back(threadCpuMs() - cpu);
        QQuickItem *first = nullptr;
        QMetaObject::invokeMethod(view, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, first), Q_ARG(int, 0));
        const QVariant wanted = model->rowCount() > 0 ? model->data(model->index(0, 0), Qt::UserRole + 1) : QVariant();
        const QVariant shown = first ? first->property("item") : QVariant();
        const bool expected = model->rowCount() == 0 || (first && (!shown.isValid() || shown == wanted) && first->isVisible());
        if (!expected)
            ++figures.late;
        if (eachKeyShown)
            std::fprintf(stderr, "  key %d \"%s\": handled %.1f ms, shown %.1f ms, CPU %.1f ms, %d rows\n", key, qPrintable(text),
                         figures.handling.back(), figures.shown.back(), figures.cpu.back(), model->rowCount());
    }
    return figures;
}

KeyFigures switchCategories(QQuickWindow *window, QQuickItem *view, AppStore *store, const QList<Category> &categories)
{
    QList<std::pair<int, QString>> keys;
    for (qsizetype i = 0; i < categories.size(); ++i)
        keys.append({int(i), QString()});
    const QAbstractItemModel *model = store->itemsModel();
    int away = 0;
    KeyFigures figures = typeKeys(window, view, model, keys, [&](int key, const QString &) {
        store->selectCategory(categories[key]);
    });
    // Measured apart from the frames: each switch had its frame before the view is asked.
    for (const Category &category : categories) {
        // From deep in the last category.
        view->setProperty("contentY", view->property("contentHeight").toDouble() / 2);
        settle(30);
        GuiThreadMeter meter(window);
        const int swappedBefore = meter.swapped();
        const double cpu = threadCpuMs();
        store->selectCategory(category);
        window->requestUpdate();
        waitUntil([&] { return meter.swapped() > swappedBefore; }, 10000);
        figures.deepCpu.push_back(threadCpuMs() - cpu);
        // The frame just drawn: the new list's first row, at the top (neither old rows nor none).
        const double top = view->property("originY").toDouble() - view->property("topMargin").toDouble();
        QQuickItem *first = nullptr;
        QMetaObject::invokeMethod(view, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, first), Q_ARG(int, 0));
        const QVariant wanted = model->rowCount() > 0 ? model->data(model->index(0, 0), Qt::UserRole + 1) : QVariant();
        const QVariant shown = first ? first->property("item") : QVariant();
        const bool framed = model->rowCount() == 0
            || (first && first->isVisible() && (!shown.isValid() || shown == wanted)
                && std::abs(view->property("contentY").toDouble() - top) <= 0.5);
        if (eachShown())
            std::fprintf(stderr, "  from deep, choice %d: CPU %.1f ms, %d rows%s\n", int(&category - categories.data()),
                         figures.deepCpu.back(), model->rowCount(), framed ? "" : ", its frame not at the new top");
        settle(30);
        if (!framed || std::abs(view->property("contentY").toDouble() - top) > 0.5 || view->property("currentIndex").toInt() > 0)
            ++away;
    }
    figures.late += away;
    return figures;
}

void gather(KeyFigures &into, const KeyFigures &figures)
{
    into.handling.insert(into.handling.end(), figures.handling.begin(), figures.handling.end());
    into.shown.insert(into.shown.end(), figures.shown.begin(), figures.shown.end());
    into.cpu.insert(into.cpu.end(), figures.cpu.begin(), figures.cpu.end());
    into.deepCpu.insert(into.deepCpu.end(), figures.deepCpu.begin(), figures.deepCpu.end());
    into.late += figures.late;
}

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

QString ms(double value)
{
    return QStringLiteral("%1 ms").arg(value, 0, 'f', 1);
}

void quietImageWarnings(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (message.contains(QLatin1String("QQuickImage")) || message.contains(QLatin1String("QQuickPixmap")))
        return;
    std::fprintf(stderr, "%s\n", qPrintable(message));
    if (type == QtFatalMsg)
        std::abort();
}

Session::Session(const QString &labBase)
{
    benchClock();
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

Session::~Session()
{
    engine.reset();
    AppStoreForeign::instance = nullptr;
}

} // namespace Bench
