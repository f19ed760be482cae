// The section screen at full size, driven through the real window against an in-process
// mavu-lab. Run it under Xvfb for the GL renderer (QT_QPA_PLATFORM=xcb) or offscreen, where
// the software renderer also draws on the GUI thread.
//
// 1. One category of 200,000 titles (the lab's one-category preset), scrolled top to bottom:
//    the GUI thread's busy time in each frame, at a fast flick and at a thumb drag that shows a
//    new page every frame; beside the same scroll over a grid of bare rectangles.
// 2. Each keystroke of a search over those 200,000 titles: the key's own handling and the time
//    until the frame that shows the new grid; beside the store's filtering alone.
// 3. Choosing categories at the large preset, each to the frame that shows its grid ("switch",
//    run only when named).
// 4. Choosing movie orders while "All" is open at the large preset ("sort", run only when
//    named): every frame from the choice to the one that shows the new order.
// 5. Opening Movies at the large preset: from the click on the home screen's card to the first
//    frame with posters; beside the store opening the section without a screen.
//
// MAVU_SCREENSHOT_DIR=folder saves the grid scrolled deep into the 200,000 titles.
#include "benchsupport.h"
#include "screenbench.h"
#include "labserver.h"

#include <QGuiApplication>
#include <QQmlComponent>
#include <QQuickStyle>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(MavuPlugin)
Q_IMPORT_QML_PLUGIN(Mavu_CorePlugin)

namespace {

using namespace Bench;

int scrollFiguresShown(Session &session, QQuickItem *grid);
void favouriteMarkFigures(AppStore &store);

// The ways the grid's rows are changed, measured in turn: as now; as before, with every
// favourite mark read from the preferences (before the store kept the favourites' ids) and a
// search moving the grid to its top both before and after its rows changed; with a reset.
enum class Variant { current, marksRead, reset };

const char *useVariant(QQuickWindow *window, Variant variant)
{
    FilteredItemsModel::testing::resetAlways = variant == Variant::reset;
    AppStore::testing::favoritesFromPreferences = variant != Variant::current;
    if (QQuickItem *pane = findItem(window, QStringLiteral("gridPane")))
        pane->setProperty("firstOnce", variant == Variant::current);
    switch (variant) {
    case Variant::current:
        return "in place";
    case Variant::marksRead:
        return "in place, as before (marks read from the preferences, the top found twice)";
    case Variant::reset:
        break;
    }
    return "with a reset on every change";
}

// A user's favourites: every 500th movie, so that the marks are asked of a list of some length.
void someFavourites(Session &session)
{
    const QList<MediaItem> movies = session.store->allVods();
    QStringList ids;
    for (qsizetype i = 0; i + 1 < movies.size(); i += 500)
        ids.append(movies[i].id);
    session.preferences->setFavorites(Section::movies, ids);
    // The last one through the store, which reads the others back and draws the marks again.
    session.store->toggleFavorite(movies.last());
}
int searchFigures(Session &session, QQuickItem *grid);
QQuickWindow *bareGridWindow(Session &session, QQuickItem *grid);

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
    someFavourites(session);
    std::printf("one category of %d titles, %d columns, window %dx%d, %s\n", session.store->itemsModel()->count(),
                grid->property("columns").toInt(), window->width(), window->height(),
                window->rendererInterface()->graphicsApi() == QSGRendererInterface::Software ? "software renderer" : "GL renderer");
    std::fflush(stdout);

    favouriteMarkFigures(*session.store);
    if (scrolling && scrollFiguresShown(session, grid) != 0)
        return 1;
    return searching ? searchFigures(session, grid) : 0;
}

// What one card's favourite mark costs: the store asked about a screenful of movies, from the
// ids it keeps and from the preferences (before).
void favouriteMarkFigures(AppStore &store)
{
    const QList<MediaItem> movies = store.allVods();
    const auto costUs = [&](bool fromPreferences) {
        AppStore::testing::favoritesFromPreferences = fromPreferences;
        constexpr int asked = 20000;
        int marked = 0;
        const double start = threadCpuMs();
        for (int i = 0; i < asked; ++i)
            marked += store.isFavorite(movies[(i * 7919) % movies.size()]) ? 1 : 0;
        AppStore::testing::favoritesFromPreferences = false;
        const double cost = (threadCpuMs() - start) * 1000.0 / asked;
        if (marked == 0)
            std::fprintf(stderr, "no favourite among the movies asked\n");
        return cost;
    };
    const double kept = costUs(false), read = costUs(true);
    std::printf("a card's favourite mark (%d favourites): %.2f us, read from the preferences %.2f us\n",
                int(store.favorites(Section::movies).size()), kept, read);
}

int scrollFiguresShown(Session &session, QQuickItem *grid)
{
    QQuickWindow *window = session.window;
    // The baseline: a grid of bare rectangles over the same model.
    QQuickWindow *bareWindow = bareGridWindow(session, grid);
    if (!bareWindow)
        return 1;
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

QString brief(const std::vector<double> &values)
{
    const Distribution d = Distribution::of(values);
    return QStringLiteral("median %1, p95 %2, max %3").arg(ms(d.median), ms(d.p95), ms(d.max));
}

// A bare grid of rectangles over the store's items, cells of the grid's size, in a window of its size.
QQuickWindow *bareGridWindow(Session &session, QQuickItem *grid)
{
    QQmlComponent bare(session.engine.get());
    bare.setData(QByteArrayLiteral("import QtQuick\nimport Mavu\nWindow {\n"
                                   "  property alias grid: grid\n"
                                   "  GridView { id: grid; anchors.fill: parent; model: AppStore.itemsModel\n"
                                   "    cellWidth: 192; cellHeight: 265\n"
                                   "    delegate: Rectangle { width: 178; height: 249; color: \"#171922\" } }\n}\n"),
                 QUrl());
    auto *window = qobject_cast<QQuickWindow *>(bare.create());
    if (!window) {
        std::fprintf(stderr, "%s\n", qPrintable(bare.errorString()));
        return nullptr;
    }
    window->resize(int(grid->width()), int(grid->height()));
    window->show();
    waitUntil([&] { return window->isExposed(); }, 10000);
    return window;
}

// Keystrokes into the search field, each measured to the frame that shows its grid: with the
// rows changed in place, with the old reset on every key, and over a bare grid.
int searchFigures(Session &session, QQuickItem *grid)
{
    QQuickWindow *window = session.window;
    QQuickItem *input = findItem(window, QStringLiteral("searchInput"));
    const QString typed = QStringLiteral("golden r");
    const auto keys = searchKeys(typed);
    FilteredItemsModel *model = session.store->itemsModel();
    const auto intoField = [&](int key, const QString &text) { sendKey(window, key, text); };

    // Taken in turn, twice, so that a change of load on the machine falls on each.
    KeyFigures inPlace, reset, marksRead;
    for (int round = 0; round < 2; ++round) {
        for (const Variant variant : {Variant::reset, Variant::marksRead, Variant::current}) {
            const char *note = useVariant(window, variant);
            eachNote(note);
            input->forceActiveFocus();
            gather(variant == Variant::reset ? reset : variant == Variant::marksRead ? marksRead : inPlace,
                   typeKeys(window, grid, model, keys, intoField));
        }
    }
    useVariant(window, Variant::current);

    // The baseline: the same texts set on the store while a bare grid shows the model.
    KeyFigures bare;
    {
        const QVariant gridModel = grid->property("model");
        grid->setProperty("model", QVariant());
        QQuickWindow *bareWindow = bareGridWindow(session, grid);
        if (!bareWindow)
            return 1;
        QString text;
        bare = typeKeys(bareWindow, bareWindow->property("grid").value<QQuickItem *>(), model, keys, [&](int key, const QString &letter) {
            if (key == Qt::Key_Backspace)
                text.chop(1);
            else
                text += letter;
            session.store->setSearchText(text);
        });
        delete bareWindow;
        grid->setProperty("model", gridModel);
    }

    // The store alone, the same texts: no view on the model.
    std::vector<double> storeOnly;
    {
        const QVariant gridModel = grid->property("model");
        grid->setProperty("model", QVariant());
        QString text;
        for (const auto &[key, letter] : keys) {
            if (key == Qt::Key_Backspace)
                text.chop(1);
            else
                text += letter;
            const double start = threadCpuMs();
            session.store->setSearchText(text);
            storeOnly.push_back(threadCpuMs() - start);
        }
        grid->setProperty("model", gridModel);
    }

    std::printf("searching 200,000 titles, %d keystrokes (\"%s\" typed and erased, three times, twice):\n", int(inPlace.cpu.size()), qPrintable(typed));
    Bench::row("GUI thread CPU, key and its frame", Distribution::of(inPlace.cpu).text());
    Bench::row("  as before: marks read from the preferences, top found twice", Distribution::of(marksRead.cpu).text());
    Bench::row("  the same with a reset on every key (earlier)", Distribution::of(reset.cpu).text());
    Bench::row("  baseline: bare rectangles over the same model", Distribution::of(bare.cpu).text());
    Bench::row("key to the frame that shows the grid", brief(inPlace.shown));
    Bench::row("  as before", brief(marksRead.shown));
    Bench::row("  with a reset on every key", brief(reset.shown));
    Bench::row("  baseline: bare rectangles", brief(bare.shown));
    Bench::row("key handled (field, store filter, rows changed)", brief(inPlace.handling));
    Bench::row("  with a reset on every key", brief(reset.handling));
    Bench::row("  the store's setSearchText alone, CPU", brief(storeOnly));
    Bench::row("frames that did not show the new grid",
               QStringLiteral("%1 (marks read %2, with resets %3)").arg(inPlace.late).arg(marksRead.late).arg(reset.late));
    return 0;
}

// Choosing categories in turn at the large preset: "All" (200,000 titles) and the provider's
// categories of about a thousand each, with the rows changed in place and with a reset (as
// before), beside a bare grid over the same model.
int categorySwitches()
{
    Lab::Server lab({.preset = Lab::Preset::large});
    Session session(lab.start());
    QQuickWindow *window = session.window;
    AppStore *store = session.store.get();
    store->runOpenSection(Section::movies);
    QQuickItem *grid = nullptr;
    if (!waitUntil([&] {
            grid = findItem(window, QStringLiteral("posterGrid"));
            return grid && grid->isVisible() && store->itemsModel()->count() > 0;
        }, 120000)) {
        std::fprintf(stderr, "no movies showed\n");
        return 1;
    }
    someFavourites(session);
    QList<Category> provider;
    for (const Category &category : store->categories()) {
        if (category.id != AppStore::favoritesId && category.id != AppStore::recentsId)
            provider.append(category);
    }
    const Category all{AppStore::allId, QStringLiteral("All")};
    // Every other choice is "All": a switch to and from the long list, and between short ones.
    QList<Category> choices;
    for (qsizetype i = 0; i < 12 && i < provider.size(); ++i)
        choices << provider[i] << (i % 2 == 0 ? all : provider[provider.size() - 1 - i]);

    // The category column scrolls to each choice; as before, the rows it scrolled past were
    // made anew there instead of taken up again.
    QQuickItem *column = findItem(window, QStringLiteral("categoryList"));
    // As before, too: the grid went to its top only after the rows changed.
    QQuickItem *pane = findItem(window, QStringLiteral("gridPane"));
    KeyFigures inPlace, reset, marksRead, columnAnew, topAfter;
    for (int round = 0; round < 3; ++round) {
        for (const Variant variant : {Variant::reset, Variant::marksRead, Variant::current}) {
            eachNote(useVariant(window, variant));
            gather(variant == Variant::reset ? reset : variant == Variant::marksRead ? marksRead : inPlace,
                   switchCategories(window, grid, store, choices));
            if (variant == Variant::current) {
                eachNote("in place, the grid at its top after the rows changed");
                pane->setProperty("topBeforeReplace", false);
                gather(topAfter, switchCategories(window, grid, store, choices));
                pane->setProperty("topBeforeReplace", true);
            }
        }
        eachNote("in place, the column's rows made anew");
        column->setProperty("reuseItems", false);
        gather(columnAnew, switchCategories(window, grid, store, choices));
        column->setProperty("reuseItems", true);
    }
    useVariant(window, Variant::current);

    KeyFigures bare;
    {
        const QVariant gridModel = grid->property("model");
        grid->setProperty("model", QVariant());
        QQuickWindow *bareWindow = bareGridWindow(session, grid);
        if (!bareWindow)
            return 1;
        gather(bare, switchCategories(bareWindow, bareWindow->property("grid").value<QQuickItem *>(), store, choices));
        delete bareWindow;
        grid->setProperty("model", gridModel);
    }

    std::printf("choosing %d movie categories in turn (\"All\" of %d titles every fourth), three times:\n", int(choices.size()),
                int(store->allVods().size()));
    Bench::row("GUI thread CPU, choice and its frame", Distribution::of(inPlace.cpu).text());
    Bench::row("  as before: the column's rows made anew", Distribution::of(columnAnew.cpu).text());
    Bench::row("  as before: marks read from the preferences, top found twice", Distribution::of(marksRead.cpu).text());
    Bench::row("  the same with a reset (earlier)", Distribution::of(reset.cpu).text());
    Bench::row("  baseline: bare rectangles over the same model", Distribution::of(bare.cpu).text());
    Bench::row("the same from halfway down the grid", Distribution::of(inPlace.deepCpu).text());
    Bench::row("  as before: to its top after the rows changed", Distribution::of(topAfter.deepCpu).text());
    Bench::row("  as before: marks read, top found twice", Distribution::of(marksRead.deepCpu).text());
    Bench::row("  the same with a reset (earlier)", Distribution::of(reset.deepCpu).text());
    Bench::row("  as before, at the top: to its top after the rows changed", Distribution::of(topAfter.cpu).text());
    Bench::row("choice to the frame that shows the grid", brief(inPlace.shown));
    Bench::row("  the column's rows made anew", brief(columnAnew.shown));
    Bench::row("  as before", brief(marksRead.shown));
    Bench::row("  with a reset", brief(reset.shown));
    Bench::row("  baseline: bare rectangles", brief(bare.shown));
    Bench::row("choice handled (store and rows changed)", brief(inPlace.handling));
    Bench::row("  with a reset", brief(reset.handling));
    Bench::row("frames or places that did not show the new grid at its top",
               QStringLiteral("%1 (marks read %2, with resets %3)").arg(inPlace.late).arg(marksRead.late).arg(reset.late));
    return 0;
}

// Choosing movie orders in turn while "All" (every title of the large preset) is open: each
// choice to the frame that shows the grid in the new order, with every frame meanwhile (the
// screen keeps drawing, as while an animation runs). The list ordered on a worker and taken in
// place, beside the same ordered on the GUI thread at the choice (before).
int sortChanges()
{
    Lab::Server lab({.preset = Lab::Preset::large});
    Session session(lab.start());
    QQuickWindow *window = session.window;
    AppStore *store = session.store.get();
    store->runOpenSection(Section::movies);
    QQuickItem *grid = nullptr;
    if (!waitUntil([&] {
            grid = findItem(window, QStringLiteral("posterGrid"));
            return grid && grid->isVisible() && store->itemsModel()->count() > 0;
        }, 120000)) {
        std::fprintf(stderr, "no movies showed\n");
        return 1;
    }
    store->selectCategory(Category{AppStore::allId, QStringLiteral("All")});
    if (!waitUntil([&] { return !store->loadingItems() && store->itemsModel()->count() == store->allVods().size(); }, 120000)) {
        std::fprintf(stderr, "\"All\" did not show\n");
        return 1;
    }
    settle(1000);

    struct SortFigures
    {
        std::vector<double> frames, handling, shown, longest;
        int missing = 0;
    };
    const QList<VodSort> sorts{VodSort::az, VodSort::za, VodSort::rating, VodSort::added};
    const bool eachShown = qEnvironmentVariableIntValue("MAVU_BENCH_EACH") != 0;
    SortFigures worker, guiThread;
    for (int round = 0; round < 2; ++round) {
        for (const bool onGui : {true, false}) {
            AppStore::testing::orderOnGuiThread = onGui;
            SortFigures &into = onGui ? guiThread : worker;
            for (const VodSort sort : sorts) {
                if (sort == store->vodSort())
                    continue;
                settle(200);
                int changes = 0;
                const auto counted = QObject::connect(store, &AppStore::itemsChanged, [&] { ++changes; });
                GuiThreadMeter meter(window);
                int swappedAtChange = -1;
                double start = -1, handled = 0;
                // Chosen at a frame's start, so that the choice's own work falls in a measured frame.
                meter.onFrame = [&] {
                    if (start < 0) {
                        meter.recording = true;
                        start = nowMs();
                        store->setVodSort(sort);
                        handled = nowMs() - start;
                    }
                    if (changes > 0 && swappedAtChange < 0)
                        swappedAtChange = meter.swapped();
                    window->requestUpdate();
                };
                window->requestUpdate();
                const bool shown = waitUntil([&] { return swappedAtChange >= 0 && meter.swapped() > swappedAtChange; }, 30000);
                const double shownAt = nowMs() - start;
                meter.onFrame = nullptr;
                meter.recording = false;
                QObject::disconnect(counted);
                if (!shown) {
                    ++into.missing;
                    continue;
                }
                into.handling.push_back(handled);
                into.shown.push_back(shownAt);
                into.frames.insert(into.frames.end(), meter.frames.begin(), meter.frames.end());
                into.longest.push_back(meter.frames.empty() ? 0 : *std::max_element(meter.frames.begin(), meter.frames.end()));
                if (eachShown)
                    std::fprintf(stderr, "  order %d%s: handled %.1f ms, shown %.1f ms, %d frames, longest %.1f ms\n", int(sort),
                                 onGui ? " (GUI thread)" : "", handled, shownAt, int(meter.frames.size()), into.longest.back());
            }
        }
    }
    AppStore::testing::orderOnGuiThread = false;

    std::printf("choosing movie orders in turn with \"All\" of %d titles open, %d choices each way:\n",
                int(store->allVods().size()), int(worker.shown.size()));
    Bench::row("GUI thread CPU per frame until the new order shows", Distribution::of(worker.frames).text());
    Bench::row("  ordered on the GUI thread (before)", Distribution::of(guiThread.frames).text());
    Bench::row("longest frame of each choice", brief(worker.longest));
    Bench::row("  ordered on the GUI thread", brief(guiThread.longest));
    Bench::row("choice handled (setVodSort)", brief(worker.handling));
    Bench::row("  ordered on the GUI thread", brief(guiThread.handling));
    Bench::row("choice to the frame that shows the new order", brief(worker.shown));
    Bench::row("  ordered on the GUI thread", brief(guiThread.shown));
    if (worker.missing + guiThread.missing > 0) {
        std::fprintf(stderr, "%d choices never showed a new order\n", worker.missing + guiThread.missing);
        return 1;
    }
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
    nowMs(); // the clock starts here
    // Arguments name the parts to run ("scroll", "search", "switch", "sort", "open"); none runs all
    // but "switch" and "sort".
    const QStringList parts = app.arguments().mid(1);
    const auto wanted = [&](const char *part) { return parts.isEmpty() || parts.contains(QLatin1String(part)); };
    if (wanted("scroll") || wanted("search")) {
        if (const int failed = bigCategory(wanted("scroll"), wanted("search")))
            return failed;
    }
    if (parts.contains(QLatin1String("switch"))) {
        if (const int failed = categorySwitches())
            return failed;
    }
    if (parts.contains(QLatin1String("sort"))) {
        if (const int failed = sortChanges())
            return failed;
    }
    if (parts.isEmpty() || parts.contains(QLatin1String("open")))
        return openMovies();
    return 0;
}
