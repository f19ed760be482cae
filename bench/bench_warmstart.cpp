// START to the home rows drawn, against the lab's large preset (which runs on a thread of its
// own, as a separate provider would): first with nothing kept (the baseline), then again with
// the catalogues the first run kept. Beside them, the kept file's size and the time to read,
// write and decode it.
#include "benchsupport.h"
#include "screenbench.h"
#include "imagecache.h"
#include "labserver.h"
#include "qmlregistration.h"
#include "store/appstore.h"
#include "store/cataloguecache.h"
#include "store/preferences.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QThread>
#include <QtQml/qqmlextensionplugin.h>

#include <QCoroTask>

#include <functional>

Q_IMPORT_QML_PLUGIN(MavuPlugin)
Q_IMPORT_QML_PLUGIN(Mavu_CorePlugin)

namespace {

using Bench::waitUntil;

// The lab on a thread of its own: its answers are made and sent beside the player's work,
// not in between it.
class LabThread
{
public:
    LabThread()
    {
        m_thread.start();
        m_context.moveToThread(&m_thread);
        QMetaObject::invokeMethod(&m_context, [this] {
            m_lab = new Lab::Server({.preset = Lab::Preset::large});
            m_base = m_lab->start();
        }, Qt::BlockingQueuedConnection);
    }
    ~LabThread()
    {
        QMetaObject::invokeMethod(&m_context, [this] { delete m_lab; }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }
    QString base() const { return m_base; }
    const Lab::Server &lab() const { return *m_lab; }

private:
    QThread m_thread;
    QObject m_context;
    Lab::Server *m_lab = nullptr;
    QString m_base;
};

struct StartFigures
{
    double home = -1;      // START to the home screen's phase, ms
    double rowsSet = -1;   // START to both home rows in their models, ms
    double rowsDrawn = -1; // START to the first frame with both home rows, ms
    double kept = -1;      // START to the catalogues kept on disk, ms
};

// One run of the program: its own store and screens over shared preferences and cache folder.
// The check screen is up; START is pressed and the time to the home rows drawn taken.
StartFigures runOnce(const std::shared_ptr<Preferences> &preferences, const QString &cacheFolder, bool waitForKept)
{
    StartFigures figures;
    auto store = std::make_unique<AppStore>(preferences);
    store->setCatalogueCacheFolder(cacheFolder);
    QCoro::waitFor(store->start());
    AppStoreForeign::instance = store.get();
    ImageCacheFactory imageCache;
    auto engine = std::make_unique<QQmlApplicationEngine>();
    engine->setNetworkAccessManagerFactory(&imageCache);
    engine->setOutputWarningsToStandardError(false);
    engine->load(QUrl(QStringLiteral("qrc:/qt/qml/Mavu/ContentView.qml")));
    auto *window = qobject_cast<QQuickWindow *>(engine->rootObjects().value(0));
    if (!window || !waitUntil([&] { return window->isExposed(); }, 10000))
        return figures;
    waitUntil([] { return false; }, 300);

    int swapped = 0;
    QObject::connect(window, &QQuickWindow::frameSwapped, window, [&] { ++swapped; }, Qt::DirectConnection);
    const QString file = store->catalogueCache().filePath(*store->playlist());
    const QDateTime keptBefore = QFileInfo(file).lastModified();
    QElapsedTimer clock;
    clock.start();
    store->runEnterBrowse();
    QObject::connect(store.get(), &AppStore::phaseChanged, window, [&] {
        if (store->phase() == AppStore::Phase::home && figures.home < 0)
            figures.home = double(clock.nsecsElapsed()) / 1e6;
    });
    const bool rows = waitUntil([&] {
        return store->phase() == AppStore::Phase::home && store->latestMoviesModel()->count() > 0
            && store->latestSeriesModel()->count() > 0;
    }, 120000);
    if (rows) {
        figures.rowsSet = double(clock.nsecsElapsed()) / 1e6;
        const int before = swapped;
        waitUntil([&] { return swapped > before; }, 10000);
        figures.rowsDrawn = double(clock.nsecsElapsed()) / 1e6;
    }
    if (waitForKept) {
        const bool kept = waitUntil([&] {
            const QFileInfo info(file);
            return info.exists() && info.lastModified() != keptBefore;
        }, 180000);
        store->catalogueCache().waitForDone();
        if (kept)
            figures.kept = double(clock.nsecsElapsed()) / 1e6;
    }
    engine.reset();
    AppStoreForeign::instance = nullptr;
    return figures;
}

QString ms(double value)
{
    return value < 0 ? QStringLiteral("did not happen") : QStringLiteral("%1 ms").arg(value, 0, 'f', 1);
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
    QTemporaryDir home;
    qputenv("XDG_CACHE_HOME", home.filePath(QStringLiteral("cache")).toUtf8());
    qInstallMessageHandler(quietImageWarnings);
    QGuiApplication app(argc, argv);
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    if (QGuiApplication::platformName() == QLatin1String("offscreen"))
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);

    LabThread lab;
    std::printf("mavu-lab, large preset: %zu channels, %zu movies, %zu shows\n", lab.lab().catalogue().live().size(),
                lab.lab().catalogue().movies().size(), lab.lab().catalogue().shows().size());
    MavuAPI::testing::setDeviceServiceBase(lab.base());
    const auto preferences = std::make_shared<Preferences>(home.filePath(QStringLiteral("mavu.ini")));
    const QString folder = home.filePath(QStringLiteral("catalogues"));

    const StartFigures cold = runOnce(preferences, folder, true);
    const StartFigures warm = runOnce(preferences, folder, true);
    const StartFigures warmAgain = runOnce(preferences, folder, false);

    std::printf("START to the home rows drawn:\n");
    Bench::row("with the kept catalogues", ms(std::min(warm.rowsDrawn, warmAgain.rowsDrawn)));
    Bench::row("  baseline: nothing kept (first start)", ms(cold.rowsDrawn));
    std::printf("on the way (kept, again; first start): START to\n");
    for (const auto &[label, field] : {std::pair{"the home screen", &StartFigures::home}, std::pair{"the rows in their models", &StartFigures::rowsSet},
                                       std::pair{"the rows drawn", &StartFigures::rowsDrawn}})
        Bench::row(label, QStringLiteral("%1, %2; %3").arg(ms(warm.*field), ms(warmAgain.*field), ms(cold.*field)));
    Bench::row("START to the catalogues kept, first start", ms(cold.kept));
    Bench::row("START to the renewed catalogues kept", ms(warm.kept));

    // The file on its own.
    QList<QString> files = QDir(folder).entryList(QDir::Files);
    if (files.isEmpty()) {
        std::fprintf(stderr, "nothing was kept\n");
        return 1;
    }
    const QString path = QDir(folder).filePath(files.first());
    const Playlist playlist{lab.base(), lab.lab().username(), lab.lab().password()};
    std::optional<CatalogueCache::Snapshot> snapshot;
    const double read = Bench::bestMs(3, [&] { snapshot = CatalogueCache::read(path, playlist); });
    if (!snapshot) {
        std::fprintf(stderr, "the kept file did not read\n");
        return 1;
    }
    QByteArray bytes;
    const double encode = Bench::bestMs(3, [&] { bytes = CatalogueCache::encode(playlist, *snapshot); });
    const QString scratch = home.filePath(QStringLiteral("scratch.catalogue"));
    const double write = Bench::bestMs(3, [&] { CatalogueCache::write(scratch, bytes); });
    qsizetype records = 0;
    for (const auto &items : snapshot->catalogues)
        records += items ? items->size() : 0;
    std::printf("the kept file:\n");
    Bench::row("size", QStringLiteral("%1 MB for %2 records (%3 bytes a record)")
                           .arg(double(bytes.size()) / 1e6, 0, 'f', 1)
                           .arg(records)
                           .arg(double(bytes.size()) / double(records), 0, 'f', 0));
    Bench::row("read and decode, whole", ms(read));
    Bench::row("encode", ms(encode));
    Bench::row("write (atomic)", ms(write));
    return cold.rowsDrawn < 0 || warm.rowsDrawn < 0 ? 1 : 0;
}
