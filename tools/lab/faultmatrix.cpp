#include "faultmatrix.h"

#include "api/mavuapi.h"
#include "api/network.h"
#include "labserver.h"
#include "store/appstore.h"
#include "store/preferences.h"

#include <QCoroTask>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>

namespace FaultMatrix {

namespace {

using namespace Qt::StringLiterals;
using Place = Failures::Place;

struct Route
{
    QString name;
    QString labRoute;
    Place place;
    bool optional = false; // an extra whose failure the screens show as nothing
    bool catalogue = false;
    bool guide = false; // the full guide's import, which tells its own failure and Retry
};

const QList<Route> &routeTable()
{
    static const QList<Route> table{
        {u"account"_s, u"account"_s, Place::connect},
        {u"live categories"_s, u"get_live_categories"_s, Place::categories},
        {u"movie categories"_s, u"get_vod_categories"_s, Place::categories},
        {u"series categories"_s, u"get_series_categories"_s, Place::categories},
        {u"live catalogue"_s, u"get_live_streams"_s, Place::items, false, true},
        {u"movie catalogue"_s, u"get_vod_streams"_s, Place::home, false, true},
        {u"series catalogue"_s, u"get_series"_s, Place::home, false, true},
        {u"series info"_s, u"get_series_info"_s, Place::details},
        {u"short guide"_s, u"get_short_epg"_s, Place::home, true},
        {u"catch-up guide"_s, u"get_simple_data_table"_s, Place::catchup},
        {u"device status"_s, u"playlist_information"_s, Place::deviceStatus},
        {u"device settings"_s, u"get_app_setting"_s, Place::deviceStatus, true},
        {u"full guide"_s, u"xmltv"_s, Place::items, false, false, true},
        // The stream routes (live, movie, catch-up media) and the full guide's import join here
        // with the player's reconnect and the guide's download.
    };
    return table;
}

const char *placeName(Place place)
{
    switch (place) {
    case Place::connect: return "connect";
    case Place::home: return "home";
    case Place::categories: return "categories";
    case Place::items: return "items";
    case Place::details: return "details";
    case Place::catchup: return "catchup";
    case Place::deviceStatus: return "deviceStatus";
    }
    return "";
}

qint64 peakMemoryKb()
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

// The longest time the GUI thread did not turn its event loop, by a 16 ms heartbeat.
class Heartbeat
{
public:
    Heartbeat()
    {
        m_clock.start();
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.elapsed();
            const qint64 waited = runQueueWaitMs();
            // Time the thread was ready but a busy machine ran something else is not a stall of
            // ours; working, blocking and sleeping all are.
            m_longest = std::max(m_longest, now - m_last - 16 - (waited - m_lastWaited));
            m_last = now;
            m_lastWaited = waited;
        });
        m_lastWaited = runQueueWaitMs();
        m_timer.start(16);
    }
    qint64 longest() const { return std::max<qint64>(0, m_longest); }

private:
    // How long this thread has waited for a processor, from the kernel's scheduler statistics
    // (0 where they are not at hand, which leaves the plain gap).
    static qint64 runQueueWaitMs()
    {
        QFile file(u"/proc/thread-self/schedstat"_s);
        if (!file.open(QIODevice::ReadOnly))
            return 0;
        const QList<QByteArray> fields = file.readAll().split(' ');
        return fields.size() >= 2 ? fields[1].trimmed().toLongLong() / 1'000'000 : 0;
    }

    QElapsedTimer m_clock;
    QTimer m_timer;
    qint64 m_last = 0;
    qint64 m_lastWaited = 0;
    qint64 m_longest = 0;
};

void runTask(QCoro::Task<> &&task)
{
    QCoro::waitFor(std::move(task));
}

void wait(std::chrono::milliseconds time)
{
    QEventLoop loop;
    QTimer::singleShot(time, &loop, &QEventLoop::quit);
    loop.exec();
}

bool busy(const AppStore &store)
{
    return store.guide()->importing() || store.connecting() || store.loadingHome() || store.loadingCategories() || store.loadingItems()
           || store.loadingDetail() || store.loadingCatchup() || !store.statusLoaded();
}

// Turns the event loop until the store is idle, at most `limit`.
void settle(const AppStore &store, std::chrono::milliseconds limit)
{
    QElapsedTimer clock;
    clock.start();
    do
        wait(std::chrono::milliseconds(10));
    while (busy(store) && clock.elapsed() < limit.count());
}

std::optional<Place> failedPlace(const Failures &failures)
{
    for (size_t i = 0; i < Failures::placeCount; ++i) {
        if (failures.at(Place(i)))
            return Place(i);
    }
    return std::nullopt;
}

// Whether the route's place shows what it should once everything works.
bool shows(const AppStore &store, const Route &route)
{
    if (route.guide)
        return store.guide()->hasLastImport() && !store.guide()->hasFailure();
    if (route.name == "short guide"_L1)
        return !store.epgNowNext().isEmpty();
    if (route.name == "device settings"_L1)
        return !store.themes().isEmpty();
    switch (route.place) {
    case Place::connect: return store.phase() == AppStore::Phase::home;
    case Place::home: return !store.latestMovies().isEmpty() && !store.latestSeries().isEmpty();
    case Place::categories: return store.categories().size() > 2;
    case Place::items: return !store.items().isEmpty();
    case Place::details: return !store.seasons().isEmpty();
    case Place::catchup: return !store.catchupDays().isEmpty();
    case Place::deviceStatus: return store.hasPlaylist() && !store.languages().isEmpty();
    }
    return false;
}

} // namespace

QStringList routes()
{
    QStringList names;
    for (const Route &route : routeTable())
        names.append(route.name);
    return names;
}

QStringList faults(const QString &route)
{
    QStringList all{u"stall"_s,         u"trickle:200"_s, u"silence"_s,    u"shortbody"_s, u"huge"_s, u"redirect:loop"_s,
                    u"redirect:file"_s, u"status:503"_s,  u"status:401"_s, u"notjson"_s,   u"cut"_s};
    if (!route.startsWith("device"_L1))
        all.append(u"noauth"_s);
    return all;
}

Outcome run(const Scenario &scenario, const Limits &limits)
{
    const auto found = std::find_if(routeTable().cbegin(), routeTable().cend(),
                                    [&](const Route &route) { return route.name == scenario.route; });
    Q_ASSERT(found != routeTable().cend());
    const Route route = *found;
    std::optional<Lab::Fault> fault = Lab::Fault::parse(scenario.fault);
    Q_ASSERT(fault);
    if (scenario.once)
        fault->remaining = 1;

    Network::testing::setLimits(Network::Purpose::ordinary, {limits.idle, limits.deadline, limits.maxBytes});
    Network::testing::setLimits(Network::Purpose::connecting, {limits.idle, limits.connectDeadline, limits.maxBytes});
    Network::testing::setLimits(Network::Purpose::catalogue, {limits.idle, limits.catalogueDeadline, limits.catalogueMaxBytes});

    // A guide of a few hours keeps the import well within the short deadlines of a run.
    Lab::Options options;
    if (route.guide)
        options.guideDays = 0.25;
    Lab::Server lab(options);
    const QString base = lab.start();
    MavuAPI::testing::setDeviceServiceBase(base);
    const Playlist playlist{base, lab.username(), lab.password()};
    QTemporaryDir folder;
    const QString prefsPath = folder.filePath(u"mavu.ini"_s);
    {
        Preferences preferences(prefsPath);
        preferences.setDeviceMac(u"0A:1B:2C:3D:4E:5F"_s);
        preferences.setPlaylistDictionary({{u"host"_s, base}, {u"user"_s, lab.username()}, {u"pass"_s, lab.password()}});
        preferences.setThemeIndex(1);
    }
    auto store = std::make_unique<AppStore>(std::make_shared<Preferences>(prefsPath));
    store->guide()->setCacheFolder(folder.filePath(u"cache"_s));
    store->guide()->setLimits({limits.idle, limits.deadline, limits.catalogueMaxBytes});
    const Lab::Catalogue &catalogue = lab.catalogue();
    MediaItem show;
    show.id = QString::number(catalogue.shows().front().id);
    show.name = u"Show"_s;
    show.kind = MediaItem::Kind::series;
    show.setSeriesId(show.id);
    const auto archived = std::find_if(catalogue.live().cbegin(), catalogue.live().cend(), [](const Lab::LiveChannel &channel) {
        return channel.archive && !channel.epgChannelId.isEmpty();
    });
    MediaItem channel;
    channel.id = QString::number(archived->id);
    channel.name = u"Channel"_s;
    channel.kind = MediaItem::Kind::live;
    channel.containerExt = u"ts"_s;
    channel.tvArchive = true;
    channel.archiveDays = 2;

    // What the route's screen asks for.
    const auto ask = [&]() {
        if (route.guide)
            runTask(store->guide()->import());
        else if (route.name == "account"_L1)
            runTask(store->enterBrowse());
        else if (route.labRoute.endsWith("_categories"_L1) || route.name == "live catalogue"_L1)
            runTask(store->openSection(route.labRoute == "get_vod_categories"_L1 ? Section::movies
                                       : route.labRoute == "get_series_categories"_L1 ? Section::series
                                                                                     : Section::live));
        else if (route.place == Place::home && route.catalogue)
            runTask(store->refresh());
        else if (route.name == "series info"_L1)
            runTask(store->openDetail(show));
        else if (route.name == "short guide"_L1)
            runTask(store->play(channel));
        else if (route.name == "catch-up guide"_L1) {
            // Back from the check screen nothing plays: the channel is chosen again first.
            if (!store->nowPlaying())
                runTask(store->play(channel));
            runTask(store->openCatchup());
        }
        else
            runTask(store->start());
    };

    // Up to the screen that makes the request, without the fault.
    const bool fromStart = route.place == Place::deviceStatus;
    if (!fromStart) {
        runTask(store->start());
        if (route.name != "account"_L1) {
            runTask(store->enterBrowse());
            settle(*store, std::chrono::seconds(10));
            if (route.name == "catch-up guide"_L1)
                runTask(store->play(channel));
        }
        settle(*store, std::chrono::seconds(10));
    }
    const auto downloads = [&] {
        return lab.requestCount(u"get_live_streams"_s) + lab.requestCount(u"get_vod_streams"_s) + lab.requestCount(u"get_series"_s);
    };
    const int downloadsBefore = downloads();

    Outcome outcome;
    outcome.optional = route.optional;
    outcome.limitMs = (route.name == "account"_L1 ? limits.connectDeadline
                       : route.catalogue         ? limits.catalogueDeadline
                                                 : limits.deadline)
                          .count();
    lab.setFault(route.labRoute, *fault);
    Heartbeat heartbeat;
    QElapsedTimer clock;
    clock.start();
    ask();
    settle(*store, std::chrono::milliseconds(outcome.limitMs + 5000));
    outcome.settleMs = clock.elapsed();

    if (const std::optional<Place> place = failedPlace(*store->failures())) {
        outcome.place = QString::fromLatin1(placeName(*place));
        outcome.shown = store->failures()->shown(*place).text();
    } else if (route.guide && store->guide()->hasFailure()) {
        outcome.place = u"guide"_s;
        outcome.shown = store->guide()->failureText();
    }
    outcome.emptySuccess = !route.optional && outcome.place.isEmpty() && !shows(*store, route);

    // Retry is judged on whether it works, not against the short limits that bound the fault:
    // on a starved machine a healthy answer (a whole guide, say) may take longer than those.
    Network::testing::resetLimits();
    store->guide()->setLimits({});

    // Retry: after the fault is gone, or straight away when it spoiled one request only.
    if (!scenario.once)
        lab.clearFaults();
    if (const std::optional<Place> place = failedPlace(*store->failures()))
        store->failures()->retry(*place);
    else if (route.guide && store->guide()->hasFailure())
        store->guide()->retry();
    else
        ask();
    // Retry may start without a spinner (the device status has none): wait for its outcome.
    {
        QElapsedTimer retryClock;
        retryClock.start();
        do
            settle(*store, std::chrono::milliseconds(outcome.limitMs + 5000));
        while (!shows(*store, route) && !failedPlace(*store->failures()) && !(route.guide && store->guide()->hasFailure())
               && retryClock.elapsed() < 3000);
    }
    // A refused account comes back to the home screen; the route's own screen is asked again.
    if (route.place != Place::connect && store->phase() == AppStore::Phase::home && !shows(*store, route)
        && !failedPlace(*store->failures())) {
        ask();
        settle(*store, std::chrono::milliseconds(outcome.limitMs + 5000));
    }
    outcome.recovered = !failedPlace(*store->failures()) && shows(*store, route);
    outcome.longestStallMs = heartbeat.longest();
    outcome.catalogueDownloads = downloads() - downloadsBefore;
    outcome.peakMemoryKb = peakMemoryKb();

    store.reset();
    Preferences after(prefsPath);
    outcome.preferencesKept = after.playlistDictionary().has_value() && after.themeIndex() == 1;
    Network::testing::resetLimits();
    return outcome;
}

} // namespace FaultMatrix
