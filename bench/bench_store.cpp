// The store's catalogue work at full size: 200,000 movies in 300 categories, served over
// loopback and loaded by a real AppStore. Measured: selecting a category (cut and order),
// each keystroke of a search over all 200,000 names, and the sort of the home rows; each
// beside a plain implementation measured in the same run.
#include "benchsupport.h"

#include "api/mavuapi.h"
#include "store/appstore.h"
#include "store/catalogue.h"
#include "store/listmodels.h"
#include "store/preferences.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUrlQuery>

#include <QCoroTask>

#include <algorithm>
#include <functional>
#include <vector>

namespace {

const int rows = 200000;
const int categoryCount = 300;

// Answers "/player_api.php" by action with fixed bodies, "[]" for anything else.
class LoopbackProvider
{
public:
    QHash<QString, QByteArray> bodies;

    QString start()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                auto *buffer = new QByteArray;
                QObject::connect(socket, &QTcpSocket::disconnected, socket, [socket, buffer] {
                    delete buffer;
                    socket->deleteLater();
                });
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
                    *buffer += socket->readAll();
                    if (!buffer->contains("\r\n\r\n"))
                        return;
                    const QByteArray target = buffer->split(' ').value(1);
                    buffer->clear();
                    const QString action = QUrlQuery(QUrl(QString::fromLatin1(target)).query()).queryItemValue(QStringLiteral("action"));
                    const QByteArray body = bodies.value(action, QByteArrayLiteral("[]"));
                    socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size())
                                  + "\r\n\r\n");
                    socket->write(body);
                });
            }
        });
        return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort());
    }

private:
    QTcpServer m_server;
};

QByteArray categoriesAnswer()
{
    QByteArray json = "[";
    for (int i = 1; i <= categoryCount; ++i)
        json += (i > 1 ? "," : "") + QByteArray("{\"category_id\":\"") + QByteArray::number(i) + "\",\"category_name\":\"Category "
            + QByteArray::number(i) + "\"}";
    return json + "]";
}

// All 200,000 names as live channels in one category: the search then runs over all of them.
QByteArray oneCategoryAnswer(const QList<MediaItem> &movies)
{
    QByteArray json = "[";
    for (const MediaItem &movie : movies) {
        if (json.size() > 1)
            json += ',';
        json += "{\"stream_id\":\"" + movie.id.toUtf8() + "\",\"name\":\"" + movie.name.toUtf8() + "\",\"category_id\":\"1\"}";
    }
    return json + "]";
}

template<typename T>
T run(QCoro::Task<T> &&task)
{
    return QCoro::waitFor(std::move(task));
}

QString ms(double value)
{
    return QStringLiteral("%1 ms").arg(value, 0, 'f', 2);
}

void pair(const char *label, double fast, double plain)
{
    Bench::row(label, QStringLiteral("%1   (plain: %2, %3x)").arg(ms(fast), ms(plain)).arg(plain / fast, 0, 'f', 1));
}

// Best of `repeat` runs of a step that times itself (nanoseconds), leaving out its set-up.
template<typename F>
double bestTimed(int repeat, F &&step)
{
    double best = 1e300;
    for (int i = 0; i < repeat; ++i)
        best = std::min(best, double(step()) / 1e6);
    return best;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// --- the plain implementations ---

QList<MediaItem> plainCut(const QList<MediaItem> &cache, const QString &categoryId)
{
    QList<MediaItem> result;
    for (const MediaItem &item : cache) {
        if (item.categoryId == categoryId)
            result.append(item);
    }
    return result;
}

void plainSort(QList<MediaItem> &items, VodSort sort)
{
    std::stable_sort(items.begin(), items.end(), [sort](const MediaItem &a, const MediaItem &b) {
        if (sort == VodSort::added) {
            bool okA = false, okB = false;
            const double x = a.added().toDouble(&okA), y = b.added().toDouble(&okB);
            return (okA ? x : 0) > (okB ? y : 0);
        }
        return QString::localeAwareCompare(a.name, b.name) < 0;
    });
}

QList<MediaItem> plainSearch(const QList<MediaItem> &items, const QString &text)
{
    const QString needle = text.trimmed();
    if (needle.isEmpty())
        return items;
    QList<MediaItem> result;
    for (const MediaItem &item : items) {
        if (item.name.contains(needle, Qt::CaseInsensitive))
            result.append(item);
    }
    return result;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir folder;
    auto preferences = std::make_shared<Preferences>(folder.filePath(QStringLiteral("mavu.ini")));

    LoopbackProvider provider;
    const QString base = provider.start();
    MavuAPI::testing::setDeviceServiceBase(base);
    const QByteArray movieBody = Bench::vodStreamsAnswer(rows);
    provider.bodies.insert(QStringLiteral("get_vod_streams"), movieBody);
    provider.bodies.insert(QStringLiteral("get_vod_categories"), categoriesAnswer());
    provider.bodies.insert(QStringLiteral("get_live_categories"), QByteArrayLiteral("[{\"category_id\":\"1\",\"category_name\":\"All\"}]"));

    AppStore store(preferences);
    run(store.connect(Playlist{base, QStringLiteral("user"), QStringLiteral("pass")}, false));
    const QList<MediaItem> cache = store.allVods();
    provider.bodies.insert(QStringLiteral("get_live_streams"), oneCategoryAnswer(cache));
    std::printf("store: %lld movies in %d categories, %.1f MB answer\n", qint64(cache.size()), categoryCount, movieBody.size() / 1e6);
    if (cache.size() != rows || store.latestMovies().size() != 10) {
        std::fprintf(stderr, "the catalogue did not load\n");
        return 1;
    }

    // Home rows: the newest ten of 200,000 (the caches are full, so no request is made).
    const double latest = Bench::bestMs(5, [&] { run(store.loadLatest()); });
    const double plainLatest = Bench::bestMs(3, [&] {
        QList<MediaItem> copy = cache;
        plainSort(copy, VodSort::added);
        copy.resize(10);
    });
    pair("loadLatest sort (limit 100 ms)", latest, plainLatest);
    pair("  of which: newest 10 of 200,000", Bench::bestMs(5, [&] { Catalogue::newest(cache, 10); }), plainLatest);
    {
        QList<MediaItem> copy = cache;
        plainSort(copy, VodSort::added);
        if (Catalogue::newest(cache, 10) != copy.mid(0, 10))
            std::fprintf(stderr, "the home rows differ from the plain order\n");
    }

    // Selecting a category: cut from the cache, ordered, published (model reset included).
    // The first selection after a load also indexes the cache by category, once.
    const double indexing = Bench::bestMs(3, [&] {
        Catalogue::CategoryIndex index;
        index.build(cache);
    });
    Bench::row("category index of the cache (once per load)", ms(indexing));
    run(store.openSection(Section::movies));
    const QList<Category> categories = store.categories();
    for (VodSort sort : {VodSort::added, VodSort::az}) {
        store.setVodSort(sort);
        std::vector<double> fast, plain;
        for (int i = 0; i < 30; ++i) {
            const Category &category = categories[2 + (i * 37) % categoryCount];
            const Category &other = categories[2 + (i * 37 + 1) % categoryCount];
            fast.push_back(bestTimed(3, [&] {
                store.selectCategory(other);
                QElapsedTimer clock;
                clock.start();
                store.selectCategory(category);
                return clock.nsecsElapsed();
            }));
            plain.push_back(Bench::bestMs(3, [&] {
                QList<MediaItem> items = plainCut(cache, category.id);
                plainSort(items, sort);
            }));
        }
        const QString label = QStringLiteral("select category, %1: median / max").arg(rawValue(sort));
        Bench::row(qPrintable(label), QStringLiteral("%1 / %2   (plain: %3 / %4)")
                                          .arg(ms(median(fast)), ms(*std::max_element(fast.begin(), fast.end())),
                                               ms(median(plain)), ms(*std::max_element(plain.begin(), plain.end()))));
    }

    // Search over all 200,000 names: one live category holds every name.
    run(store.openSection(Section::live));
    if (store.items().size() != rows) {
        std::fprintf(stderr, "the live list did not load\n");
        return 1;
    }
    const QList<MediaItem> all = store.items();
    const QStringList keystrokes{QStringLiteral("n"),    QStringLiteral("ni"),     QStringLiteral("nig"), QStringLiteral("nigh"),
                                 QStringLiteral("night"), QStringLiteral("night "), QStringLiteral("night c"), QStringLiteral("night ci"),
                                 QStringLiteral("k"),    QStringLiteral("kö"),     QStringLiteral("KÖNIGIN"), QString()};
    double worst = 0, worstPlain = 0;
    for (const QString &text : keystrokes) {
        const double fast = bestTimed(5, [&] {
            store.setSearchText(QStringLiteral("\x01")); // a text that matches nothing, so each run is a fresh keystroke
            QElapsedTimer clock;
            clock.start();
            store.setSearchText(text);
            return clock.nsecsElapsed();
        });
        const double plain = Bench::bestMs(3, [&] { plainSearch(all, text); });
        worst = std::max(worst, fast);
        worstPlain = std::max(worstPlain, plain);
        if (store.filteredItems() != plainSearch(all, text))
            std::fprintf(stderr, "search \"%s\" differs from the plain filter\n", qPrintable(text));
        const QString label = QStringLiteral("keystroke \"%1\" (%2 matches)").arg(text).arg(store.filteredItemsModel()->count());
        pair(qPrintable(label), fast, plain);
    }
    pair("worst keystroke (limit 16 ms)", worst, worstPlain);
    return 0;
}
