#pragma once

// A store on a private preferences file, talking to one fake server that plays both the
// provider and the device service.

#include "api/mavuapi.h"
#include "api/network.h"
#include "store/appstore.h"
#include "store/preferences.h"
#include "support/fakeserver.h"
#include "support/testsupport.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSemaphore>
#include <QSettings>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <memory>

namespace StoreTest {

using TestSupport::await;

inline const QString deviceMac = QStringLiteral("AA:BB:CC:DD:EE:FF");

inline QByteArray compact(const QJsonArray &array)
{
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

inline QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

inline QByteArray categoriesJson(const QList<std::pair<QString, QString>> &categories)
{
    QJsonArray rows;
    for (const auto &[id, name] : categories)
        rows.append(QJsonObject{{"category_id", id}, {"category_name", name}});
    return compact(rows);
}

struct Movie
{
    QString id;
    QString name;
    QString category = QStringLiteral("1");
    QString added;
    double rating = 0;
    QString extension = QStringLiteral("mp4");
};

inline QByteArray moviesJson(const QList<Movie> &movies)
{
    QJsonArray rows;
    for (const Movie &movie : movies) {
        rows.append(QJsonObject{{"stream_id", movie.id},       {"name", movie.name},
                                {"category_id", movie.category}, {"added", movie.added},
                                {"rating_5based", movie.rating}, {"container_extension", movie.extension}});
    }
    return compact(rows);
}

struct Channel
{
    QString id;
    QString name;
    QString category = QStringLiteral("1");
    bool archive = false;
    int archiveDays = 2;
};

inline QByteArray channelsJson(const QList<Channel> &channels)
{
    QJsonArray rows;
    for (const Channel &channel : channels) {
        rows.append(QJsonObject{{"stream_id", channel.id},
                                {"name", channel.name},
                                {"category_id", channel.category},
                                {"tv_archive", channel.archive ? 1 : 0},
                                {"tv_archive_duration", channel.archiveDays}});
    }
    return compact(rows);
}

struct Show
{
    QString id;
    QString name;
    QString category = QStringLiteral("1");
    QString modified;
    QString trailer;
};

inline QByteArray showsJson(const QList<Show> &shows)
{
    QJsonArray rows;
    for (const Show &show : shows) {
        rows.append(QJsonObject{{"series_id", show.id},       {"name", show.name},
                                {"category_id", show.category}, {"last_modified", show.modified},
                                {"youtube_trailer", show.trailer}});
    }
    return compact(rows);
}

struct Program
{
    QString title;
    QString start; // provider text "yyyy-MM-dd HH:mm:ss"
    double startTs = 0;
    double stopTs = 0;

    operator EpgProgram() const { return EpgProgram{.id = title, .title = title, .start = start, .startTs = startTs, .stopTs = stopTs}; }
};

// A programme that started `hoursAgo` hours before now and lasts `minutes`.
inline Program programAgo(const QString &title, double hoursAgo, int minutes = 30)
{
    const qint64 start = QDateTime::currentSecsSinceEpoch() - qint64(hoursAgo * 3600);
    const QString text = QDateTime::fromSecsSinceEpoch(start).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    return Program{title, text, double(start), double(start + minutes * 60)};
}

inline QByteArray guideJson(const QList<Program> &programs)
{
    QJsonArray rows;
    int id = 1;
    for (const Program &program : programs) {
        rows.append(QJsonObject{{"id", QString::number(id++)},
                                {"title", QString::fromLatin1(program.title.toUtf8().toBase64())},
                                {"start", program.start},
                                {"end", program.start},
                                {"start_timestamp", QString::number(qint64(program.startTs))},
                                {"stop_timestamp", QString::number(qint64(program.stopTs))}});
    }
    return compact(QJsonObject{{"epg_listings", rows}});
}

struct Language
{
    QString code;
    QJsonObject words;
};

inline QByteArray statusJson(const QString &m3u, const QList<Language> &languages = {})
{
    QJsonObject status;
    if (!m3u.isEmpty())
        status.insert("urls", QJsonArray{m3u});
    QJsonArray rows;
    for (const Language &language : languages)
        rows.append(QJsonObject{{"code", language.code}, {"name", language.code}, {"words", language.words}});
    status.insert("languages", rows);
    return compact(status);
}

inline QByteArray themesJson(int count)
{
    QJsonArray rows;
    for (int i = 0; i < count; ++i)
        rows.append(QJsonObject{{"name", QStringLiteral("Theme %1").arg(i)},
                                {"url", QStringLiteral("http://themes.test/%1.jpg").arg(i)}});
    return compact(QJsonObject{{"themes", rows}});
}

inline QStringList idsOf(const QList<MediaItem> &items)
{
    QStringList ids;
    for (const MediaItem &item : items)
        ids.append(item.id);
    return ids;
}

inline QStringList idsOf(const QList<Category> &categories)
{
    QStringList ids;
    for (const Category &category : categories)
        ids.append(category.id);
    return ids;
}

// Every catalogue counts as long, so that the small ones of the tests are ordered on a worker,
// and the worker that orders `section` waits until released: a test can act while it is held.
class HeldOrderings
{
public:
    explicit HeldOrderings(Section section)
    {
        s_permits.tryAcquire(s_permits.available());
        s_begun = 0;
        // Held workers must leave threads for the decoding.
        QThreadPool *pool = QThreadPool::globalInstance();
        pool->setMaxThreadCount(std::max(pool->maxThreadCount(), 8));
        AppStore::testing::longCatalogue = 1;
        AppStore::testing::beforeOrdering = [section](Section ordered) {
            if (ordered != section)
                return;
            ++s_begun;
            s_permits.acquire();
        };
    }
    ~HeldOrderings()
    {
        AppStore::testing::beforeOrdering = {};
        AppStore::testing::longCatalogue = 10000;
        release();
    }
    HeldOrderings(const HeldOrderings &) = delete;
    HeldOrderings &operator=(const HeldOrderings &) = delete;

    // Orderings of the section begun so far.
    int begun() const { return s_begun; }
    void release(int count = 1000) { s_permits.release(count); }

private:
    static inline QSemaphore s_permits{0};
    static inline std::atomic<int> s_begun{0};
};

class Fixture
{
public:
    Fixture()
    {
        m_server.start();
        MavuAPI::testing::setDeviceServiceBase(m_server.base());
        preferences()->setDeviceMac(deviceMac);
        // A reachable provider unless a test says otherwise.
        serve(QStringLiteral("get_live_categories"), categoriesJson({{"1", "News"}}));
    }

    ~Fixture() { Network::testing::resetLimits(); }

    FakeServer &server() { return m_server; }
    QString prefsPath() const { return m_folder.file(QStringLiteral("mavu.ini")); }
    // A fresh reader of the same file, as a later launch would make.
    std::shared_ptr<Preferences> preferences() const { return std::make_shared<Preferences>(prefsPath()); }
    QVariant rawPreference(const QString &key) const { return QSettings(prefsPath(), QSettings::IniFormat).value(key); }

    Playlist playlist(const QString &user = QStringLiteral("user"), const QString &pass = QStringLiteral("pass")) const
    {
        return Playlist{m_server.base(), user, pass};
    }
    QString statusPath() const { return QStringLiteral("/api/playlist_information/") + deviceMac + QStringLiteral("/macos"); }
    QString themesPath() const { return QStringLiteral("/api/get_app_setting/") + deviceMac + QStringLiteral("/macos"); }

    void serve(const QString &action, const QByteArray &body, std::chrono::milliseconds delay = {})
    {
        FakeServer::Reply reply = FakeServer::Reply::json(body);
        reply.delay = delay;
        m_server.onAction(action, reply);
    }

    std::unique_ptr<AppStore> makeStore() const { return std::make_unique<AppStore>(preferences()); }

    // A store whose playlist came from the saved dictionary, as after start-up.
    std::unique_ptr<AppStore> startedStore(const Playlist &playlist)
    {
        preferences()->setPlaylistDictionary(
            {{QStringLiteral("host"), playlist.host}, {QStringLiteral("user"), playlist.username}, {QStringLiteral("pass"), playlist.password}});
        auto store = makeStore();
        await(store->start());
        return store;
    }

    // A store connected to the fake provider, on the home screen.
    std::unique_ptr<AppStore> connectedStore()
    {
        auto store = makeStore();
        await(store->connect(playlist(), false));
        return store;
    }

    // Account requests: "/player_api.php" without an action.
    int accountRequests() const
    {
        int count = 0;
        for (const auto &request : m_server.requestsTo(QStringLiteral("/player_api.php")))
            count += request.queryValue(QStringLiteral("action")) ? 0 : 1;
        return count;
    }

    int requestsFor(const QString &action) const
    {
        int count = 0;
        for (const auto &request : m_server.requests())
            count += request.queryValue(QStringLiteral("action")) == action ? 1 : 0;
        return count;
    }

private:
    TestSupport::TempFolder m_folder;
    FakeServer m_server;
};

} // namespace StoreTest
