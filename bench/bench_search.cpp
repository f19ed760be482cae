// The home screen's search across the whole library at the large preset (live channels,
// movies and shows together): each keystroke measured from the key to the frame that shows
// the three rows, beside a plain baseline of the same run: a bare loop over the folded names
// that only counts the matches.
#include "benchsupport.h"
#include "screenbench.h"
#include "labserver.h"

#include "store/catalogue.h"

#include <QGuiApplication>
#include <QQuickStyle>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(MavuPlugin)
Q_IMPORT_QML_PLUGIN(Mavu_CorePlugin)

using namespace Bench;

namespace {

bool settled(const LibrarySearch *search)
{
    return !search->live()->loading() && !search->movies()->loading() && !search->series()->loading();
}

QString brief(const std::vector<double> &values)
{
    const Distribution d = Distribution::of(values);
    return QStringLiteral("median %1, p95 %2, max %3").arg(ms(d.median), ms(d.p95), ms(d.max));
}

int searchEverything()
{
    Lab::Server lab({.preset = Lab::Preset::large});
    const QString base = lab.start();
    Session session(base);
    QQuickWindow *window = session.window;
    LibrarySearch *search = session.store->search();
    QQuickItem *field = nullptr;
    waitUntil([&] { return (field = findItem(window, QStringLiteral("librarySearch"))) != nullptr; }, 10000);
    QQuickItem *input = field->findChild<QQuickItem *>(QStringLiteral("searchInput"));
    input->forceActiveFocus();

    // The first key loads and indexes the three catalogues (the downloads, then the folding off
    // the GUI thread); the keys after it only search.
    double start = nowMs();
    sendKey(window, Qt::Key_G, QStringLiteral("g"));
    if (!waitUntil([&] { return settled(search) && search->movies()->count() > 0; }, 180000)) {
        std::fprintf(stderr, "the search did not settle\n");
        return 1;
    }
    const double firstReady = nowMs() - start;
    const qsizetype entries = session.store->allLive().size() + session.store->allVods().size() + session.store->allSeries().size();
    sendKey(window, Qt::Key_Backspace);
    settle(200);

    const QString typed = QStringLiteral("golden r");
    std::vector<double> handling, shown, keyCpu;
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
            start = nowMs();
            sendKey(window, key, text);
            handling.push_back(nowMs() - start);
            waitUntil([&] { return meter.swapped() > swappedBefore; }, 10000);
            shown.push_back(nowMs() - start);
            keyCpu.push_back(threadCpuMs() - cpu);
        }
    }

    // The store alone on the same texts, and the baseline: every name folded once, then a bare
    // loop per text that counts the names holding it.
    std::vector<double> storeOnly, baseline;
    QStringList folded;
    for (const QList<MediaItem> *list : {&session.store->allLive(), &session.store->allVods(), &session.store->allSeries()}) {
        for (const MediaItem &item : *list)
            folded.append(Catalogue::foldForSearch(item.name));
    }
    qsizetype counted = 0;
    for (int round = 0; round < 3; ++round) {
        // Each round typed from an empty field: nothing kept from the round before.
        search->setText(QString());
        QString text;
        for (const QChar c : typed) {
            text += c;
            const double cpu = threadCpuMs();
            search->setText(text);
            storeOnly.push_back(threadCpuMs() - cpu);
            const double plain = threadCpuMs();
            const QString needle = Catalogue::foldForSearch(Catalogue::trimmedSearch(text));
            qsizetype matches = 0;
            for (const QString &name : std::as_const(folded))
                matches += name.contains(needle) ? 1 : 0;
            baseline.push_back(threadCpuMs() - plain);
            counted += matches;
        }
    }
    std::printf("searching everything at the large preset: %lld entries (%lld channels, %lld movies, %lld shows)\n",
                qlonglong(entries), qlonglong(session.store->allLive().size()), qlonglong(session.store->allVods().size()),
                qlonglong(session.store->allSeries().size()));
    Bench::row("first key to the three rows (downloads, indexing)", ms(firstReady));
    std::printf("%d keystrokes (\"%s\" typed and erased, three times):\n", int(handling.size()), qPrintable(typed));
    Bench::row("key handled (field, search, three row resets)", brief(handling));
    Bench::row("key to the frame that shows the rows", brief(shown));
    Bench::row("GUI thread CPU, key and that frame", brief(keyCpu));
    Bench::row("the store's search alone, CPU (typing)", brief(storeOnly));
    Bench::row("  baseline: bare loop over the folded names", brief(baseline));
    Bench::row("  (matches counted by the baseline)", QString::number(counted));

    const QString shots = qEnvironmentVariable("MAVU_SCREENSHOT_DIR");
    if (!shots.isEmpty()) {
        window->resize(1280, 800);
        search->setText(QStringLiteral("golden"));
        settle(2500);
        window->grabWindow().save(shots + QStringLiteral("/search-large.png"));
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", cache.path().toUtf8());
    qInstallMessageHandler(quietImageWarnings);
    QGuiApplication app(argc, argv);
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    if (QGuiApplication::platformName() == QLatin1String("offscreen"))
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    nowMs();
    return searchEverything();
}
