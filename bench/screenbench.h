#pragma once

// What the benchmarks of the program's screens share: a clock, waiting in the event loop, the
// GUI thread's work per frame, distributions of figures, keys into the window, and one run of
// the screens over a store against a lab.
#include "imagecache.h"
#include "store/appstore.h"
#include "store/preferences.h"

#include <QCoroTask>
#include <QList>
#include <QMetaObject>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QString>
#include <QTemporaryDir>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

namespace Bench {

// Milliseconds since the first call.
double nowMs();
// CPU time the calling thread has used, in milliseconds.
double threadCpuMs();

// Spins the event loop until `done` or `timeoutMs`; false on time-out.
bool waitUntil(const std::function<bool()> &done, int timeoutMs);
// Lets the event loop run for a while.
void settle(int milliseconds);

template<typename T>
T run(QCoro::Task<T> &&task)
{
    return QCoro::waitFor(std::move(task));
}

// The GUI thread's work per frame: the CPU time it spends between the starts of two frames
// (QQuickWindow::afterAnimating, emitted on the GUI thread). Time it waits (for the render
// thread, for input) is not work; time other programs take the processor from it is not
// counted either. Beside it, the wall time between frame starts.
class GuiThreadMeter
{
public:
    explicit GuiThreadMeter(QQuickWindow *window);
    ~GuiThreadMeter();

    // Called at each frame's start, before the frame's own work; `onFrame` may move the scene.
    std::function<void()> onFrame;
    std::vector<double> frames;    // GUI thread CPU milliseconds of each recorded frame
    std::vector<double> intervals; // wall milliseconds from one recorded frame start to the next
    bool recording = false;
    int swapped() const { return m_swapped.load(); }

private:
    void frameStarts();

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

    static Distribution of(std::vector<double> values);
    QString text() const;
    QString brief() const;
};

struct Frames
{
    std::vector<double> cpu;      // GUI thread CPU milliseconds per frame
    std::vector<double> interval; // wall milliseconds between frame starts

    void append(const Frames &more);
};

// Scrolls the flickable `view` one step a frame from `from` to `to` (contentY).
Frames scroll(QQuickWindow *window, QQuickItem *view, double from, double to, double step);

struct ScrollFigures
{
    Frames flick;
    Frames drag;
};

// A fast flick (40 points a frame, 2,400 a second) over 200 frames at five depths, then a thumb
// drag from the top to the bottom in 600 frames (every frame a new page).
ScrollFigures scrollFigures(QQuickWindow *window, QQuickItem *view);

void sendKey(QQuickWindow *window, int key, const QString &text = {});

// Keys of `typed` typed and erased, three times.
QList<std::pair<int, QString>> searchKeys(const QString &typed);

// Each key of a search and the frame that shows its rows: the key's own handling, the time until
// that frame, the GUI thread's CPU time over both, and how many frames still showed a first row
// other than the model's. `press` delivers one key (into a field, or as text set on the store).
struct KeyFigures
{
    std::vector<double> handling, shown, cpu;
    // The same CPU figure for a choice made while the view was scrolled deep (switchCategories).
    std::vector<double> deepCpu;
    int late = 0;
};
KeyFigures typeKeys(QQuickWindow *window, QQuickItem *view, const QAbstractItemModel *model,
                    const QList<std::pair<int, QString>> &keys, const std::function<void(int key, const QString &text)> &press);

// With MAVU_BENCH_EACH=1 the figures of every key or choice go to standard error, after notes
// that say which round they belong to (as the warnings of that round do).
void eachNote(const char *round);

// Each category chosen in turn (as a click in the category column does) and the frame that shows
// its rows: the same figures as for keys; `late` also counts a view left away from its top, and
// `deepCpu` has each choice made again from halfway down the view.
KeyFigures switchCategories(QQuickWindow *window, QQuickItem *view, AppStore *store, const QList<Category> &categories);

// The figures of two ways taken in turn, gathered.
void gather(KeyFigures &into, const KeyFigures &figures);

// All items below `from` (visual tree) with that objectName.
void collect(QQuickItem *from, const QString &name, QList<QQuickItem *> &found);
QQuickItem *findItem(QQuickWindow *window, const QString &name);

QString ms(double value);

// Leaves out the notes on pictures the lab withholds on purpose; they are not the figures.
void quietImageWarnings(QtMsgType type, const QMessageLogContext &context, const QString &message);

// One run of the program's screens: a store on private preferences, the window over it.
class Session
{
public:
    explicit Session(const QString &labBase);
    ~Session();

    QTemporaryDir folder;
    std::shared_ptr<Preferences> preferences;
    std::unique_ptr<AppStore> store;
    ImageCacheFactory imageCache;
    std::unique_ptr<QQmlApplicationEngine> engine;
    QQuickWindow *window = nullptr;
};

} // namespace Bench
