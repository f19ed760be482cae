// The Live TV screen at full size, driven through the real window against an in-process
// mavu-lab (the one-category preset: 20,000 channels in the first live category). Run it under
// Xvfb for the GL renderer (QT_QPA_PLATFORM=xcb) or offscreen with the software renderer.
//
// 1. The channel list of 20,000 scrolled (a fast flick at five depths and a thumb drag): the GUI
//    thread's CPU time per frame, beside the same scroll over a list of bare rectangles, while
//    the first channel plays in the preview.
// 2. Zapping through 20 channels by key, one a second: the longest gap of a 16 ms heartbeat
//    timer on the GUI thread (a gap of 16 ms is no stall), beside the same heartbeat over 20 s
//    of one channel playing; and the time from the key to the new channel's first frame.
// 3. Resident memory while zapping 100 times: after 10 zaps and after 100.
//
// 4. Each keystroke of a search over those channels, to the frame that shows the list; beside the
//    same keys with the list reset on every key, and over a list of bare rectangles.
// 5. The category column scrolled top to bottom, beside a list of bare rectangles.
// 6. Choosing categories, each to the frame that shows its list, from the list's top and from
//    halfway down it; the list going to its top before the rows change, beside after (before).
//
// Arguments name the parts to run ("scroll", "zap", "memory", "search", "switch", "categories"); none runs
// them all.
#include "benchsupport.h"
#include "screenbench.h"
#include "labserver.h"
#include "player/vlcinstance.h"

#include <QFile>
#include <QGuiApplication>
#include <QQmlComponent>
#include <QQuickStyle>
#include <QTimer>
#include <QtQml/qqmlextensionplugin.h>

#include <unistd.h>

Q_IMPORT_QML_PLUGIN(MavuPlugin)
Q_IMPORT_QML_PLUGIN(Mavu_CorePlugin)

namespace {

using namespace Bench;

constexpr int channelsInCategory = 20000;

// Resident memory of this process in MiB.
double residentMiB()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0) : 0;
}

// The gaps between the ticks of a 16 ms timer on the GUI thread: what it could not answer.
class Heartbeat
{
public:
    Heartbeat()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(16);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const double now = nowMs();
            if (m_last >= 0)
                gaps.push_back(now - m_last);
            m_last = now;
        });
        m_timer.start();
    }

    std::vector<double> gaps;

private:
    QTimer m_timer;
    double m_last = -1;
};

// The preview's player now: the one of the channel that plays (several while one goes).
QQuickItem *previewPlayer(QQuickWindow *window)
{
    QList<QQuickItem *> players;
    collect(window->contentItem(), QStringLiteral("previewPlayer"), players);
    return players.size() == 1 ? players.first() : nullptr;
}

struct LiveScreen
{
    Lab::Server lab{Lab::Options{.preset = Lab::Preset::oneCategory}};
    std::unique_ptr<Session> session;
    QQuickItem *list = nullptr;

    bool open()
    {
        session = std::make_unique<Session>(lab.start());
        session->store->runOpenSection(Section::live);
        const bool shown = waitUntil([&] {
            list = findItem(session->window, QStringLiteral("channelList"));
            return list && list->isVisible() && session->store->itemsModel()->count() == channelsInCategory;
        }, 120000);
        if (!shown) {
            std::fprintf(stderr, "the category of %d channels did not show\n", channelsInCategory);
            return false;
        }
        // The store starts the first channel itself.
        if (!waitUntil([&] { return previewPlayer(session->window) && previewPlayer(session->window)->property("isPlaying").toBool(); }, 30000)) {
            std::fprintf(stderr, "the first channel did not play\n");
            return false;
        }
        std::printf("one category of %d channels, window %dx%d, %s\n", session->store->itemsModel()->count(),
                    session->window->width(), session->window->height(),
                    session->window->rendererInterface()->graphicsApi() == QSGRendererInterface::Software ? "software renderer"
                                                                                                        : "GL renderer");
        std::fflush(stdout);
        return true;
    }

    // Down on the preview; the time until the new channel's first frame, or -1 after `timeoutMs`.
    double zap(int timeoutMs)
    {
        QQuickWindow *window = session->window;
        findItem(window, QStringLiteral("livePreview"))->forceActiveFocus(Qt::TabFocusReason);
        const QString before = session->store->hasNowPlaying() ? session->store->nowPlaying()->id : QString();
        const double start = nowMs();
        sendKey(window, Qt::Key_Down);
        const bool framed = waitUntil([&] {
            QQuickItem *player = previewPlayer(window);
            return session->store->hasNowPlaying() && session->store->nowPlaying()->id != before && player
                && player->property("url").toUrl() == session->store->nowPlayingURL().value_or(QUrl())
                && player->property("isPlaying").toBool();
        }, timeoutMs);
        return framed ? nowMs() - start : -1;
    }
};

int scrollFigures(LiveScreen &screen)
{
    QQuickWindow *window = screen.session->window;
    QQuickItem *list = screen.list;
    QQuickItem *firstRow = nullptr;
    QMetaObject::invokeMethod(list, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, firstRow), Q_ARG(int, 0));
    const double rowHeight = firstRow ? firstRow->height() : 42;

    // The baseline: bare rectangles over the same model, rows of the same height, in a window of
    // the list's size.
    QQmlComponent bare(screen.session->engine.get());
    bare.setData(QStringLiteral("import QtQuick\nimport Mavu\nWindow {\n"
                                "  property alias list: list\n"
                                "  ListView { id: list; anchors.fill: parent; model: AppStore.itemsModel; spacing: 3\n"
                                "    delegate: Rectangle { width: ListView.view.width; height: %1; color: \"#171922\" } }\n}\n")
                     .arg(rowHeight)
                     .toUtf8(),
                 QUrl());
    auto *bareWindow = qobject_cast<QQuickWindow *>(bare.create());
    if (!bareWindow) {
        std::fprintf(stderr, "%s\n", qPrintable(bare.errorString()));
        return 1;
    }
    bareWindow->resize(int(list->width()), int(list->height()));
    bareWindow->show();
    waitUntil([&] { return bareWindow->isExposed(); }, 10000);
    const ScrollFigures baseline = Bench::scrollFigures(bareWindow, bareWindow->property("list").value<QQuickItem *>());
    delete bareWindow;

    const ScrollFigures figures = Bench::scrollFigures(window, list);
    std::printf("scrolling %d channels (the first one playing), GUI thread CPU time per frame:\n", channelsInCategory);
    Bench::row("flick, 2,400 points/s at five depths", Distribution::of(figures.flick.cpu).text());
    Bench::row("  baseline: bare rectangles", Distribution::of(baseline.flick.cpu).text());
    Bench::row("thumb drag, top to bottom in 600 frames", Distribution::of(figures.drag.cpu).text());
    Bench::row("  baseline: bare rectangles", Distribution::of(baseline.drag.cpu).text());
    std::printf("the same frames, wall time from one frame's start to the next:\n");
    Bench::row("flick", Distribution::of(figures.flick.interval).brief());
    Bench::row("thumb drag", Distribution::of(figures.drag.interval).brief());
    QMetaObject::invokeMethod(list, "positionViewAtBeginning");
    settle(200);
    return 0;
}

// Keystrokes into the channel search, each measured to the frame that shows its list: with the
// rows changed in place, with the old reset on every key, and over a list of bare rectangles.
int searchFigures(LiveScreen &screen)
{
    QQuickWindow *window = screen.session->window;
    AppStore *store = screen.session->store.get();
    FilteredItemsModel *model = store->itemsModel();
    QQuickItem *field = findItem(window, QStringLiteral("channelSearch"));
    QList<QQuickItem *> inputs;
    collect(field, QStringLiteral("searchInput"), inputs);
    if (inputs.isEmpty()) {
        std::fprintf(stderr, "no channel search field\n");
        return 1;
    }
    const QString typed = QStringLiteral("sport h");
    const auto keys = searchKeys(typed);
    const auto intoField = [&](int key, const QString &text) { sendKey(window, key, text); };
    KeyFigures inPlace, reset;
    for (int round = 0; round < 2; ++round) {
        for (const bool resetting : {true, false}) {
            FilteredItemsModel::testing::resetAlways = resetting;
            eachNote(resetting ? "with a reset on every change" : "in place");
            inputs.first()->forceActiveFocus();
            const KeyFigures figures = typeKeys(window, screen.list, model, keys, intoField);
            KeyFigures &into = resetting ? reset : inPlace;
            into.handling.insert(into.handling.end(), figures.handling.begin(), figures.handling.end());
            into.shown.insert(into.shown.end(), figures.shown.begin(), figures.shown.end());
            into.cpu.insert(into.cpu.end(), figures.cpu.begin(), figures.cpu.end());
            into.late += figures.late;
        }
    }
    FilteredItemsModel::testing::resetAlways = false;

    KeyFigures bare;
    {
        QQmlComponent component(screen.session->engine.get());
        component.setData(QByteArrayLiteral("import QtQuick\nimport Mavu\nWindow {\n"
                                            "  property alias list: list\n"
                                            "  ListView { id: list; anchors.fill: parent; model: AppStore.itemsModel; spacing: 3\n"
                                            "    delegate: Rectangle { width: ListView.view.width; height: 36; color: \"#171922\" } }\n}\n"),
                          QUrl());
        auto *bareWindow = qobject_cast<QQuickWindow *>(component.create());
        if (!bareWindow) {
            std::fprintf(stderr, "%s\n", qPrintable(component.errorString()));
            return 1;
        }
        bareWindow->resize(int(screen.list->width()), int(screen.list->height()));
        bareWindow->show();
        waitUntil([&] { return bareWindow->isExposed(); }, 10000);
        const QVariant listModel = screen.list->property("model");
        screen.list->setProperty("model", QVariant());
        QString text;
        bare = typeKeys(bareWindow, bareWindow->property("list").value<QQuickItem *>(), model, keys, [&](int key, const QString &letter) {
            if (key == Qt::Key_Backspace)
                text.chop(1);
            else
                text += letter;
            store->setSearchText(text);
        });
        delete bareWindow;
        screen.list->setProperty("model", listModel);
    }

    const auto brief = [](const std::vector<double> &values) {
        const Distribution d = Distribution::of(values);
        return QStringLiteral("median %1, p95 %2, max %3").arg(ms(d.median), ms(d.p95), ms(d.max));
    };
    std::printf("searching %d channels (the first one playing), %d keystrokes (\"%s\" typed and erased, three times, twice):\n",
                channelsInCategory, int(inPlace.cpu.size()), qPrintable(typed));
    Bench::row("GUI thread CPU, key and its frame", Distribution::of(inPlace.cpu).text());
    Bench::row("  the same with a reset on every key (before)", Distribution::of(reset.cpu).text());
    Bench::row("  baseline: bare rectangles over the same model", Distribution::of(bare.cpu).text());
    Bench::row("key to the frame that shows the list", brief(inPlace.shown));
    Bench::row("  with a reset on every key", brief(reset.shown));
    Bench::row("  baseline: bare rectangles", brief(bare.shown));
    Bench::row("frames that did not show the new list", QStringLiteral("%1 (with resets %2)").arg(inPlace.late).arg(reset.late));
    return 0;
}

// The category column: scrolled like the channels, beside a list of bare rectangles.
int categoryFigures(LiveScreen &screen)
{
    QQuickWindow *window = screen.session->window;
    QQuickItem *list = findItem(window, QStringLiteral("categoryList"));
    const int rows = list ? list->property("count").toInt() : 0;
    if (!list || rows == 0) {
        std::fprintf(stderr, "no category list\n");
        return 1;
    }
    QQmlComponent component(screen.session->engine.get());
    component.setData(QByteArrayLiteral("import QtQuick\nimport Mavu\nWindow {\n"
                                        "  property alias list: list\n"
                                        "  ListView { id: list; anchors.fill: parent; model: AppStore.categoriesModel; spacing: 4\n"
                                        "    delegate: Rectangle { width: ListView.view.width; height: 34; color: \"#171922\" } }\n}\n"),
                      QUrl());
    auto *bareWindow = qobject_cast<QQuickWindow *>(component.create());
    if (!bareWindow) {
        std::fprintf(stderr, "%s\n", qPrintable(component.errorString()));
        return 1;
    }
    bareWindow->resize(int(list->width()), int(list->height()));
    bareWindow->show();
    waitUntil([&] { return bareWindow->isExposed(); }, 10000);
    const ScrollFigures baseline = Bench::scrollFigures(bareWindow, bareWindow->property("list").value<QQuickItem *>());
    delete bareWindow;
    const ScrollFigures figures = Bench::scrollFigures(window, list);
    std::printf("scrolling the %d live categories, GUI thread CPU time per frame:\n", rows);
    Bench::row("thumb drag, top to bottom in 600 frames", Distribution::of(figures.drag.cpu).text());
    Bench::row("  baseline: bare rectangles", Distribution::of(baseline.drag.cpu).text());
    QMetaObject::invokeMethod(list, "positionViewAtBeginning");
    settle(200);
    return 0;
}

// The category of 20,000 channels and short ones chosen in turn while a channel plays, with the
// rows changed in place and with a reset (as before), beside a list of bare rectangles.
int switchFigures(LiveScreen &screen)
{
    QQuickWindow *window = screen.session->window;
    AppStore *store = screen.session->store.get();
    QList<Category> provider;
    for (const Category &category : store->categories()) {
        if (category.id != AppStore::favoritesId && category.id != AppStore::recentsId && !AppStore::isAdult(category.name))
            provider.append(category);
    }
    if (provider.size() < 13) {
        std::fprintf(stderr, "too few live categories\n");
        return 1;
    }
    QList<Category> choices;
    for (qsizetype i = 1; i <= 12; ++i)
        choices << provider[i] << provider[0];

    // As before, the list went to its top only after the rows changed.
    QQuickItem *column = findItem(window, QStringLiteral("liveMiddleColumn"));
    KeyFigures inPlace, reset, topAfter;
    for (int round = 0; round < 2; ++round) {
        for (const bool resetting : {true, false}) {
            FilteredItemsModel::testing::resetAlways = resetting;
            eachNote(resetting ? "with a reset on every change" : "in place");
            gather(resetting ? reset : inPlace, switchCategories(window, screen.list, store, choices));
        }
        eachNote("in place, the list at its top after the rows changed");
        column->setProperty("topBeforeReplace", false);
        gather(topAfter, switchCategories(window, screen.list, store, choices));
        column->setProperty("topBeforeReplace", true);
    }
    FilteredItemsModel::testing::resetAlways = false;

    KeyFigures bare;
    {
        QQmlComponent component(screen.session->engine.get());
        component.setData(QByteArrayLiteral("import QtQuick\nimport Mavu\nWindow {\n"
                                            "  property alias list: list\n"
                                            "  ListView { id: list; anchors.fill: parent; model: AppStore.itemsModel; spacing: 3\n"
                                            "    delegate: Rectangle { width: ListView.view.width; height: 36; color: \"#171922\" } }\n}\n"),
                          QUrl());
        auto *bareWindow = qobject_cast<QQuickWindow *>(component.create());
        if (!bareWindow) {
            std::fprintf(stderr, "%s\n", qPrintable(component.errorString()));
            return 1;
        }
        bareWindow->resize(int(screen.list->width()), int(screen.list->height()));
        bareWindow->show();
        waitUntil([&] { return bareWindow->isExposed(); }, 10000);
        const QVariant listModel = screen.list->property("model");
        screen.list->setProperty("model", QVariant());
        gather(bare, switchCategories(bareWindow, bareWindow->property("list").value<QQuickItem *>(), store, choices));
        delete bareWindow;
        screen.list->setProperty("model", listModel);
    }
    store->selectCategory(provider[0]);
    settle(200);

    const auto brief = [](const std::vector<double> &values) {
        const Distribution d = Distribution::of(values);
        return QStringLiteral("median %1, p95 %2, max %3").arg(ms(d.median), ms(d.p95), ms(d.max));
    };
    std::printf("choosing live categories in turn, every other one of %d channels, a channel playing, %d choices:\n",
                channelsInCategory, int(inPlace.cpu.size()));
    Bench::row("GUI thread CPU, choice and its frame", Distribution::of(inPlace.cpu).text());
    Bench::row("  the same with a reset (before)", Distribution::of(reset.cpu).text());
    Bench::row("  baseline: bare rectangles over the same model", Distribution::of(bare.cpu).text());
    Bench::row("  as before, at the top: to its top after the rows changed", Distribution::of(topAfter.cpu).text());
    Bench::row("the same from halfway down the list", Distribution::of(inPlace.deepCpu).text());
    Bench::row("  as before: to its top after the rows changed", Distribution::of(topAfter.deepCpu).text());
    Bench::row("  the same with a reset (before)", Distribution::of(reset.deepCpu).text());
    Bench::row("choice to the frame that shows the list", brief(inPlace.shown));
    Bench::row("  to its top after the rows changed", brief(topAfter.shown));
    Bench::row("  with a reset", brief(reset.shown));
    Bench::row("  baseline: bare rectangles", brief(bare.shown));
    Bench::row("frames or places that did not show the new list at its top",
               QStringLiteral("%1 (to its top after %2, with resets %3)").arg(inPlace.late).arg(topAfter.late).arg(reset.late));
    return 0;
}

int zapFigures(LiveScreen &screen)
{
    constexpr int zaps = 20;
    // Baseline: the heartbeat while one channel plays and nothing else happens.
    std::vector<double> quiet;
    {
        Heartbeat heartbeat;
        settle(zaps * 1000);
        quiet = heartbeat.gaps;
    }
    std::vector<double> toFrame;
    int lost = 0;
    Heartbeat heartbeat;
    for (int i = 0; i < zaps; ++i) {
        const double start = nowMs();
        const double framed = screen.zap(5000);
        if (framed < 0)
            ++lost;
        else
            toFrame.push_back(framed);
        settle(std::max(0, int(1000 - (nowMs() - start))));
    }
    const auto stalls = [](const std::vector<double> &gaps) {
        const Distribution d = Distribution::of(gaps);
        const qsizetype over50 = std::count_if(gaps.cbegin(), gaps.cend(), [](double g) { return g > 50; });
        return QStringLiteral("longest %1, median %2; %3 of %4 gaps over 16 ms, %5 over 50 ms")
            .arg(ms(d.max), ms(d.median))
            .arg(d.over16)
            .arg(d.count)
            .arg(over50);
    };
    std::printf("zapping through %d channels by key, one a second; gaps of a 16 ms heartbeat on the GUI thread:\n", zaps);
    Bench::row("while zapping", stalls(heartbeat.gaps));
    Bench::row("  baseline: one channel playing", stalls(quiet));
    const Distribution frames = Distribution::of(toFrame);
    Bench::row("key to the new channel's first frame",
               QStringLiteral("median %1, worst %2; %3 without a frame in 5 s").arg(ms(frames.median), ms(frames.max)).arg(lost));
    return 0;
}

int memoryFigures(LiveScreen &screen)
{
    constexpr int zaps = 100;
    const double start = residentMiB();
    double afterTen = 0;
    int lost = 0;
    for (int i = 1; i <= zaps; ++i) {
        // Down to the 25th channel and back up again, so that the same channels come round.
        if ((i / 25) % 2 == 1) {
            QQuickWindow *window = screen.session->window;
            findItem(window, QStringLiteral("livePreview"))->forceActiveFocus(Qt::TabFocusReason);
            const QString before = screen.session->store->nowPlaying()->id;
            sendKey(window, Qt::Key_Up);
            if (!waitUntil([&] {
                    QQuickItem *player = previewPlayer(window);
                    return screen.session->store->nowPlaying()->id != before && player && player->property("isPlaying").toBool();
                }, 5000))
                ++lost;
        } else if (screen.zap(5000) < 0) {
            ++lost;
        }
        settle(200);
        if (i == 10)
            afterTen = residentMiB();
    }
    settle(1000); // the last players let go on the worker
    const double afterHundred = residentMiB();
    std::printf("resident memory while zapping %d times:\n", zaps);
    Bench::row("before", QStringLiteral("%1 MiB").arg(start, 0, 'f', 1));
    Bench::row("after 10 zaps (the baseline)", QStringLiteral("%1 MiB").arg(afterTen, 0, 'f', 1));
    Bench::row("after 100 zaps", QStringLiteral("%1 MiB, %2 × the baseline; %3 zaps without a frame in 5 s")
                                     .arg(afterHundred, 0, 'f', 1)
                                     .arg(afterHundred / afterTen, 0, 'f', 3)
                                     .arg(lost));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", cache.path().toUtf8());
    qInstallMessageHandler(quietImageWarnings);
    VlcInstance::testing::addArgument("--aout=dummy"); // no sound card on the bench machines
    QGuiApplication app(argc, argv);
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    if (QGuiApplication::platformName() == QLatin1String("offscreen"))
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    nowMs(); // the clock starts here
    const QStringList parts = app.arguments().mid(1);
    const auto wanted = [&](const char *part) { return parts.isEmpty() || parts.contains(QLatin1String(part)); };
    LiveScreen screen;
    if (!screen.open())
        return 1;
    if (wanted("scroll") && scrollFigures(screen) != 0)
        return 1;
    if (wanted("search") && searchFigures(screen) != 0)
        return 1;
    if (wanted("switch") && switchFigures(screen) != 0)
        return 1;
    if (wanted("categories") && categoryFigures(screen) != 0)
        return 1;
    if (wanted("zap") && zapFigures(screen) != 0)
        return 1;
    if (wanted("memory") && memoryFigures(screen) != 0)
        return 1;
    return 0;
}
