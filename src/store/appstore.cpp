// The store as a whole: construction, the field writers, connecting a playlist, the phases
// and the starters that QML calls.
#include "appstore.h"

#include "api/diagnostics.h"
#include "store/appstore_p.h"
#include "store/cataloguedownloads.h"
#include "store/listmodels.h"
#include "store/m3usource.h"
#include "store/preferences.h"

#include <QCoroFuture>
#include <QDesktopServices>
#include <QPointer>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

using namespace AppStoreDetail;

namespace {

// How long no catalogue must have come in before the kept orders are made behind the screens.
constexpr int keptOrderQuietMs = 300;
} // namespace

// Below this size ordering on the GUI thread, when "All" is first chosen, fits in a frame.
qsizetype AppStore::testing::longCatalogue = 10000;
std::function<void(Mavu::Section)> AppStore::testing::beforeOrdering;
bool AppStore::testing::orderOnGuiThread = false;

AppStore::AppStore(std::shared_ptr<Preferences> preferences, QObject *parent)
    : QObject(parent)
    , m_preferences(preferences ? std::move(preferences) : std::make_shared<Preferences>())
    , m_collator(Catalogue::nameCollator())
    , m_urlOpener([](const QUrl &url) { QDesktopServices::openUrl(url); })
    , m_clock([] { return QDateTime::currentDateTime(); })
    , m_expiryRefresh(new QTimer(this))
    , m_keptOrderIdle(new QTimer(this))
    , m_categoriesModel(new CategoryListModel(QByteArrayLiteral("category"), this))
    , m_itemsModel(new FilteredItemsModel(this))
    , m_latestMoviesModel(new MediaItemListModel(QByteArrayLiteral("item"), this))
    , m_latestSeriesModel(new MediaItemListModel(QByteArrayLiteral("item"), this))
    , m_seasonsModel(new SeasonListModel(QByteArrayLiteral("season"), this))
    , m_seasonEpisodesModel(new EpisodeListModel(QByteArrayLiteral("episode"), this))
    , m_epgNowNextModel(new EpgProgramListModel(QByteArrayLiteral("program"), this))
    , m_catchupDaysModel(new TextListModel(QByteArrayLiteral("day"), this))
    , m_catchupDayProgramsModel(new EpgProgramListModel(QByteArrayLiteral("program"), this))
{
    m_positions = new WatchPositions(this);
    m_failures = new Failures([this] { return m_batchDepth > 0; }, this);
    m_downloads = new CatalogueDownloads(this);
    m_m3uSource = new M3uSource(this);
    m_catalogueCache = std::make_unique<CatalogueCache>();
    m_connectCancellation = std::make_shared<Network::Cancellation>();
    wireRetries();
    m_mac = MavuAPI::deviceId(*m_preferences);
    m_themeIndex = m_preferences->themeIndex();
    m_liveSortIndex = m_preferences->liveSortIndex();
    m_languageCode = m_preferences->language();
    m_parentalPIN = m_preferences->pin();
    // Said once when saving starts to fail; the preferences retry with the next change.
    m_preferences->setSaveListener([self = QPointer<AppStore>(this)](bool saved) {
        if (self)
            self->assign(self->m_settingsSaveError, saved ? QString() : QStringLiteral("Couldn't save your settings"),
                         &AppStore::settingsSaveErrorChanged);
    });
    if (!m_preferences->saved())
        m_settingsSaveError = QStringLiteral("Couldn't save your settings");
    m_announcedWords = words();
    m_announcedExpiryText = expiryText();
    m_announcedThemeURL = currentThemeURL();
    m_expiryRefresh->setObjectName(QStringLiteral("expiryRefresh"));
    m_expiryRefresh->setSingleShot(true);
    // A coarse timer may be late by 5 % of its interval: over hours, that is minutes.
    m_expiryRefresh->setTimerType(Qt::PreciseTimer);
    QObject::connect(m_expiryRefresh, &QTimer::timeout, this, &AppStore::updateWordsAndTexts);
    m_keptOrderIdle->setObjectName(QStringLiteral("keptOrderIdle"));
    m_keptOrderIdle->setSingleShot(true);
    m_keptOrderIdle->setInterval(keptOrderQuietMs);
    QObject::connect(m_keptOrderIdle, &QTimer::timeout, this, &AppStore::startWantedKeptOrders);
    wireGuide();
    m_search = new LibrarySearch(this);
}

AppStore::~AppStore() = default;

// --- change signals ---

void AppStore::notify(Signal signal)
{
    if (m_batchDepth > 0) {
        if (!m_pendingSignals.contains(signal))
            m_pendingSignals.append(signal);
        return;
    }
    Q_EMIT(this->*signal)();
}

void AppStore::flushSignals()
{
    // A receiver may change the store again; its own signals go out in their own round.
    while (!m_pendingSignals.isEmpty()) {
        const QList<Signal> pending = std::exchange(m_pendingSignals, {});
        for (const Signal signal : pending)
            Q_EMIT(this->*signal)();
    }
    m_failures->flush();
}

// --- field writers ---

void AppStore::setPhase(Phase phase)
{
    if (assign(m_phase, phase, &AppStore::phaseChanged))
        qCDebug(lcStore) << "phase" << phase;
}

void AppStore::setPlaylist(std::optional<Playlist> playlist)
{
    if (assign(m_playlist, std::move(playlist), &AppStore::playlistChanged))
        updateWordsAndTexts(); // the expiry line depends on the kind of playlist
    m_positions->setPlaylist(m_playlist);
}

void AppStore::setConnecting(bool connecting)
{
    assign(m_connecting, connecting, &AppStore::connectingChanged);
}

void AppStore::setConnectError(std::optional<QString> error)
{
    assign(m_connectError, std::move(error), &AppStore::connectErrorChanged);
}

void AppStore::setSection(Section section)
{
    assign(m_section, section, &AppStore::sectionChanged);
}

void AppStore::setCategories(QList<Category> categories)
{
    if (assign(m_categories, std::move(categories), &AppStore::categoriesChanged))
        m_categoriesModel->replace(m_categories, m_inPlace);
}

void AppStore::setSelectedCategory(std::optional<Category> category, bool load)
{
    assign(m_selectedCategory, std::move(category), &AppStore::selectedCategoryChanged);
    // Every selection reloads, also the same category again: after a refresh the cache is new,
    // after a failure the catalogue is fetched again.
    if (load)
        startTask(loadItems());
}

void AppStore::setItems(QList<MediaItem> items)
{
    const QList<qsizetype> order = Catalogue::everyPosition(items.size());
    setItems(items, order);
}

void AppStore::setItems(const QList<MediaItem> &records, QList<qsizetype> order)
{
    const auto sameData = [](const auto &a, const auto &b) {
        return a.constData() == b.constData() && a.size() == b.size();
    };
    // Equal lists change nothing, as a renewal that brings the same entries (compared entry by
    // entry only then: the same records need only the same positions).
    bool same = order.size() == m_itemOrder.size();
    if (same && sameData(records, m_items)) {
        same = order == m_itemOrder;
    } else {
        for (qsizetype row = 0; same && row < order.size(); ++row)
            same = records.at(order.at(row)) == m_items.at(m_itemOrder.at(row));
    }
    if (same)
        return;
    m_items = records;
    m_itemOrder = std::move(order);
    notify(&AppStore::itemsChanged);
    if (!sameData(m_filterRecords, m_items)) {
        m_nameFilter.setItems(m_items);
        m_filterRecords = m_items;
    }
    m_searchTrail.clear();
    updateFilteredItems();
}

QList<MediaItem> AppStore::items() const
{
    return Catalogue::atPositions(m_items, m_itemOrder);
}

void AppStore::setLoadingItems(bool loading)
{
    assign(m_loadingItems, loading, &AppStore::loadingItemsChanged);
}

void AppStore::setLoadingCategories(bool loading)
{
    assign(m_loadingCategories, loading, &AppStore::loadingCategoriesChanged);
}

void AppStore::setSearchText(const QString &text)
{
    if (assign(m_searchText, text, &AppStore::searchTextChanged))
        updateFilteredItems();
}

void AppStore::setVodSort(VodSort sort)
{
    if (assign(m_vodSort, sort, &AppStore::vodSortChanged)) {
        for (const Section section : {Section::movies, Section::series}) {
            m_keptOrders[size_t(section)].clear();
            scheduleKeptOrder(section);
        }
        // The open list changes in place: its delegates, the keyboard focus and the current
        // poster stay (the grid follows that poster to its new row).
        const bool inPlace = std::exchange(m_inPlace, true);
        const Section section = m_section;
        const bool longList = m_phase == Phase::section && section != Section::live && m_selectedCategory
            && m_selectedCategory->id != recentsId && m_itemOrder.size() >= testing::longCatalogue
            && !testing::orderOnGuiThread;
        if (longList) {
            // Ordering a long list takes more than a frame: the grid keeps the order it shows
            // until the worker has ordered the whole catalogue, then the list is cut from that.
            startTask(showReplacedItems(section, *m_selectedCategory));
        } else {
            // Equal entries keep the order they had.
            setItems(m_items, Catalogue::orderedVod(m_items, m_itemOrder, m_vodSort, m_collator));
        }
        m_inPlace = inPlace;
        m_search->catalogueChanged(Section::movies);
        m_search->catalogueChanged(Section::series);
    }
}

void AppStore::updateFilteredItems()
{
    const bool wasEmpty = m_itemsModel->count() == 0;
    const QString needle = Catalogue::foldForSearch(Catalogue::trimmedSearch(m_searchText));
    std::optional<QList<qsizetype>> rows;
    if (!needle.isEmpty())
        rows = m_searchTrail.matchesAmong(m_nameFilter, needle, m_itemOrder).inListOrder();
    const bool replaced = m_itemsModel->replace(m_items, m_itemOrder, rows, m_inPlace);
    if (replaced && !(wasEmpty && m_itemsModel->count() == 0))
        notify(&AppStore::filteredItemsChanged);
}

void AppStore::setDetailItem(std::optional<MediaItem> item)
{
    assign(m_detailItem, std::move(item), &AppStore::detailItemChanged);
}

void AppStore::clearDetailItem()
{
    setDetailItem(std::nullopt);
}

void AppStore::setVodInfo(std::optional<VodInfo> info)
{
    const bool same = info.has_value() == m_vodInfo.has_value() && (!info || sameVodInfo(*info, *m_vodInfo));
    if (same)
        return;
    m_vodInfo = std::move(info);
    notify(&AppStore::vodInfoChanged);
}

void AppStore::setLoadingDetail(bool loading)
{
    assign(m_loadingDetail, loading, &AppStore::loadingDetailChanged);
}

void AppStore::setSeasons(QList<Season> seasons)
{
    if (assign(m_seasons, std::move(seasons), &AppStore::seasonsChanged))
        m_seasonsModel->replace(m_seasons);
}

void AppStore::setEpisodes(QList<Episode> episodes)
{
    if (assign(m_episodes, std::move(episodes), &AppStore::episodesChanged))
        updateSeasonEpisodes();
}

void AppStore::setSelectedSeason(std::optional<Season> season)
{
    if (assign(m_selectedSeason, std::move(season), &AppStore::selectedSeasonChanged))
        updateSeasonEpisodes();
}

QList<Episode> AppStore::seasonEpisodes() const
{
    return m_seasonEpisodes;
}

void AppStore::updateSeasonEpisodes()
{
    QList<Episode> episodes;
    if (m_selectedSeason) {
        for (const Episode &episode : std::as_const(m_episodes)) {
            if (episode.season == m_selectedSeason->id)
                episodes.append(episode);
        }
    }
    if (assign(m_seasonEpisodes, std::move(episodes), &AppStore::seasonEpisodesChanged))
        m_seasonEpisodesModel->replace(m_seasonEpisodes);
}

void AppStore::setNowPlaying(std::optional<MediaItem> item)
{
    assign(m_nowPlaying, std::move(item), &AppStore::nowPlayingChanged);
}

void AppStore::setNowPlayingURL(std::optional<QUrl> url)
{
    assign(m_nowPlayingURL, std::move(url), &AppStore::nowPlayingURLChanged);
}

void AppStore::qmlSetNowPlayingURL(const QUrl &url)
{
    setNowPlayingURL(url.isEmpty() ? std::nullopt : std::optional<QUrl>(url));
}

void AppStore::setNowPlayingTitle(const QString &title)
{
    assign(m_nowPlayingTitle, title, &AppStore::nowPlayingTitleChanged);
}

void AppStore::setNowPlayingEpisode(std::optional<Episode> episode)
{
    assign(m_nowPlayingEpisode, std::move(episode), &AppStore::nowPlayingEpisodeChanged);
}

void AppStore::setCatchupDurationSec(double seconds)
{
    assign(m_catchupDurationSec, seconds, &AppStore::catchupDurationSecChanged);
}

void AppStore::setCatchupURLBuilder(CatchupURLBuilder builder)
{
    // Functions cannot be compared: a new builder always counts as a change.
    if (!builder && !m_catchupURLBuilder)
        return;
    m_catchupURLBuilder = std::move(builder);
    notify(&AppStore::catchupURLBuilderChanged);
}

void AppStore::setEpgNowNext(QList<EpgProgram> programs)
{
    if (assign(m_epgNowNext, std::move(programs), &AppStore::epgNowNextChanged))
        m_epgNowNextModel->replace(m_epgNowNext);
}

void AppStore::setCatchupOpen(bool open)
{
    assign(m_catchupOpen, open, &AppStore::catchupOpenChanged);
}

void AppStore::setCatchupPrograms(QList<EpgProgram> programs)
{
    if (assign(m_catchupPrograms, std::move(programs), &AppStore::catchupProgramsChanged))
        updateCatchupDayPrograms();
}

void AppStore::setCatchupDays(QStringList days)
{
    if (assign(m_catchupDays, std::move(days), &AppStore::catchupDaysChanged))
        m_catchupDaysModel->replace(m_catchupDays);
}

void AppStore::setSelectedCatchupDay(std::optional<QString> day)
{
    if (assign(m_selectedCatchupDay, std::move(day), &AppStore::selectedCatchupDayChanged))
        updateCatchupDayPrograms();
}

void AppStore::setLoadingCatchup(bool loading)
{
    assign(m_loadingCatchup, loading, &AppStore::loadingCatchupChanged);
}

void AppStore::setLatestMovies(QList<MediaItem> items)
{
    if (assign(m_latestMovies, std::move(items), &AppStore::latestMoviesChanged))
        m_latestMoviesModel->replace(m_latestMovies, m_inPlace);
}

void AppStore::setLatestSeries(QList<MediaItem> items)
{
    if (assign(m_latestSeries, std::move(items), &AppStore::latestSeriesChanged))
        m_latestSeriesModel->replace(m_latestSeries, m_inPlace);
}

void AppStore::setLoadingHome(bool loading)
{
    assign(m_loadingHome, loading, &AppStore::loadingHomeChanged);
}

void AppStore::setPinChallenge(PinAction action)
{
    if (!action && !m_pinChallenge)
        return;
    m_pinChallenge = std::move(action);
    notify(&AppStore::pinChallengeChanged);
}

void AppStore::runPinChallenge()
{
    PinAction action = m_pinChallenge;
    setPinChallenge({});
    if (!action)
        return;
    if (!std::exchange(m_pinGiven, true))
        m_search->unlocked();
    action();
}

void AppStore::dropPinChallenge()
{
    setPinChallenge({});
}

void AppStore::setCheckCanGoBack(bool canGoBack)
{
    assign(m_checkCanGoBack, canGoBack, &AppStore::checkCanGoBackChanged);
}

void AppStore::setStatusLoaded(bool loaded)
{
    assign(m_statusLoaded, loaded, &AppStore::statusLoadedChanged);
}

// --- models ---

QList<ListModelBase *> AppStore::allModels() const
{
    return {m_categoriesModel, m_itemsModel,          m_latestMoviesModel, m_latestSeriesModel,      m_seasonsModel,
            m_seasonEpisodesModel, m_epgNowNextModel, m_catchupDaysModel,  m_catchupDayProgramsModel};
}

// --- connection and phases ---

QCoro::Task<> AppStore::start()
{
    QPointer<AppStore> self(this);
    auto statusRequest = MavuAPI::deviceStatus(m_mac);
    Result<MavuAPI::DeviceStatus> status = co_await statusRequest;
    if (!self)
        co_return;
    Timing::mark("device status");

    // Without the device service a saved playlist still opens the library.
    std::optional<Playlist> playlist = status ? status->playlist : std::nullopt;
    if (const auto saved = m_preferences->playlistDictionary()) {
        const QString host = QStringLiteral("host"), user = QStringLiteral("user"), pass = QStringLiteral("pass");
        const QString m3u = QStringLiteral("m3u");
        if (saved->contains(m3u) && !saved->value(m3u).trimmed().isEmpty()) {
            playlist = Playlist::m3u(saved->value(m3u));
        } else if (saved->contains(host) && saved->contains(user) && saved->contains(pass)) {
            QString savedHost = saved->value(host);
            if (savedHost.endsWith(QLatin1Char('/')))
                savedHost.chop(1);
            playlist = Playlist{.host = savedHost, .username = saved->value(user), .password = saved->value(pass)};
        }
    }
    {
        const Batch batch(this);
        setPlaylist(playlist);
        // Read while the check screen waits for START.
        if (playlist)
            preloadKept();
        if (status) {
            setLanguages(status->languages);
            m_failures->clear(Failures::Place::deviceStatus);
        } else {
            m_failures->set(Failures::Place::deviceStatus, status.failure());
        }
        setStatusLoaded(true);
    }

    // Themes are an extra: without them there is no background picture.
    auto themesRequest = MavuAPI::appThemes(m_mac);
    Result<QList<Theme>> themes = co_await themesRequest;
    if (!self)
        co_return;
    const Batch batch(this);
    // Without an answer the user's choice stays as it is, for the next start to find.
    if (!themes)
        co_return;
    setThemes(std::move(themes).value());
    if (m_themeIndex >= m_themes.size())
        setThemeIndex(0);
}

quint64 AppStore::beginConnecting()
{
    // One attempt at a time: a new one takes over from one still running.
    m_connectCancellation->cancel();
    m_connectCancellation = std::make_shared<Network::Cancellation>();
    const Batch batch(this);
    setConnecting(true);
    setConnectError(std::nullopt);
    m_failures->clear(Failures::Place::connect);
    return ++m_connectAttempt;
}

void AppStore::cancelConnect()
{
    if (!m_connecting)
        return;
    ++m_connectAttempt;
    m_connectCancellation->cancel();
    m_connectCancellation = std::make_shared<Network::Cancellation>();
    setConnecting(false);
}

void AppStore::connectFailed(const Failure &failure, bool m3u)
{
    const Batch batch(this);
    setConnecting(false);
    if (failure.kind == Failure::Kind::cancelled)
        return;
    m_failures->set(Failures::Place::connect, failure);
    setConnectError(m3u ? m3uFailureWords(failure) : Failures::words(Failures::Place::connect, failure));
}

QCoro::Task<> AppStore::connect(Playlist playlist, bool persist)
{
    QPointer<AppStore> self(this);
    Timing::begin();
    const quint64 attempt = beginConnecting();
    m_lastManualAttempt = ManualAttempt{playlist, persist};
    // One deadline for the whole attempt, however many requests it makes.
    const Network::Options options{.purpose = Network::Purpose::connecting,
                                   .deadline = QDeadlineTimer(Network::limits(Network::Purpose::connecting).deadline),
                                   .cancellation = m_connectCancellation};
    const auto overtaken = [&] { return !self || attempt != m_connectAttempt; };

    // A plain list is proven by reading it: that one read fills all three sections. Home opens
    // on its first part; the rest arrives behind it.
    M3uSource::List list;
    if (playlist.isM3u()) {
        auto fetch = m_m3uSource->arrived(playlist, m_connectCancellation);
        Result<M3uSource::Arrived> read = co_await fetch;
        if (overtaken())
            co_return;
        Timing::mark("list");
        if (!read) {
            connectFailed(read.failure(), /*m3u=*/true);
            co_return;
        }
        list = read->whole;
    } else {
        auto liveRequest = MavuAPI::categories(playlist, categoryAction(Section::live), options);
        Result<QList<Category>> found = co_await liveRequest;
        if (overtaken())
            co_return;
        // A provider without live channels may still have movies, and so may one whose live list
        // is broken; one that cannot be reached, or refuses the account, has neither.
        if ((found && found->isEmpty()) || (!found && found.failure().kind == Failure::Kind::notUnderstood)) {
            auto movieRequest = MavuAPI::categories(playlist, categoryAction(Section::movies), options);
            found = co_await movieRequest;
            if (overtaken())
                co_return;
        }
        Timing::mark("categories");
        if (!found) {
            connectFailed(found.failure());
            co_return;
        }
        if (found->isEmpty()) {
            const Batch batch(this);
            setConnectError(QStringLiteral("Couldn't reach that playlist. Check the address and credentials."));
            setConnecting(false);
            co_return;
        }
    }

    {
        const Batch batch(this);
        // Another account's catalogue is of no use any more, and not ours to keep.
        if (m_playlist && *m_playlist != playlist)
            m_catalogueCache->drop(*m_playlist);
        setPlaylist(playlist);
        setPlaylistExpTs(std::nullopt);
        setAccountConnections(std::nullopt, std::nullopt);
        startTask(refreshDeviceWords());
        if (persist && playlist.isM3u())
            m_preferences->setPlaylistDictionary({{QStringLiteral("m3u"), playlist.host}});
        else if (persist)
            m_preferences->setPlaylistDictionary({{QStringLiteral("host"), playlist.host},
                                                  {QStringLiteral("user"), playlist.username},
                                                  {QStringLiteral("pass"), playlist.password}});
        setConnecting(false);
        setCheckCanGoBack(false);
        emptyCache(playlist);
        if (list)
            takeM3u(std::move(list));
        setCategories({});
        setItems({});
        setLatestMovies({});
        setLatestSeries({});
        m_failures->clearAll();
        setPhase(Phase::home);
    }
    auto latest = loadLatest();
    co_await latest;
}

QCoro::Task<> AppStore::enterBrowse()
{
    if (!m_playlist)
        co_return;
    QPointer<AppStore> self(this);
    const Playlist playlist = *m_playlist;
    Timing::begin();
    const quint64 attempt = beginConnecting();
    m_lastManualAttempt.reset();
    // The account answers first: a refused account or an unreachable provider is said here,
    // on the check screen, rather than as an empty library.
    const Network::Options options{.purpose = Network::Purpose::connecting, .cancellation = m_connectCancellation};
    // A plain list has no account to ask.
    std::optional<MavuAPI::Answer<MavuAPI::AccountStatus>> accountRequest;
    if (!playlist.isM3u())
        accountRequest.emplace(MavuAPI::accountStatus(playlist, options));
    // The kept home rows (being read since the start, usually) arrive while the account
    // answers; the home screen shows them, and the rest of the file is taken once read.
    std::optional<QFuture<std::optional<CatalogueCache::HomeRows>>> keptRows;
    if (std::any_of(m_cacheLoaded.cbegin(), m_cacheLoaded.cend(), [](bool loaded) { return !loaded; })) {
        preloadKept();
        keptRows = m_keptLoad->loading.homeRows;
    }
    std::optional<Result<MavuAPI::AccountStatus>> account;
    if (accountRequest) {
        account = co_await *accountRequest;
        if (!self || attempt != m_connectAttempt)
            co_return;
        Timing::mark("account");
        if (!*account) {
            connectFailed(account->failure());
            co_return;
        }
    }
    std::optional<CatalogueCache::HomeRows> rows;
    if (keptRows) {
        rows = co_await *keptRows;
        if (!self || attempt != m_connectAttempt)
            co_return;
    }
    // Without a kept copy, a list that cannot be read is said here rather than as an empty
    // library; with one, the library opens from it and the list is read again behind it.
    if (playlist.isM3u() && !rows && !cacheLoaded(Section::live)) {
        auto fetch = m_m3uSource->arrived(playlist, m_connectCancellation);
        Result<M3uSource::Arrived> read = co_await fetch;
        if (!self || attempt != m_connectAttempt)
            co_return;
        if (!read) {
            connectFailed(read.failure(), true);
            co_return;
        }
        if (m_playlist == playlist && read->whole)
            takeM3u(read->whole);
    }
    {
        const Batch batch(this);
        setConnecting(false);
        setCheckCanGoBack(false);
        if (m_playlist == playlist) {
            if (account) {
                setPlaylistExpTs((*account)->expiresAt);
                setAccountConnections((*account)->maxConnections, (*account)->activeConnections);
            }
            if (rows)
                showKeptRows(std::move(*rows));
        }
        setPhase(Phase::home);
    }
    auto latest = loadLatest();
    co_await latest;
}

void AppStore::changePlaylist()
{
    const Batch batch(this);
    setCheckCanGoBack(m_playlist.has_value());
    setPhase(Phase::check);
}

QCoro::Task<> AppStore::refresh()
{
    m_guide->connected();
    {
        const Batch batch(this);
        // Asked for fresh data: the kept file goes with the old data; the reload keeps its own.
        if (m_playlist)
            m_catalogueCache->drop(*m_playlist);
        emptyCache();
        setLatestMovies({});
        setLatestSeries({});
        setPlaylistExpTs(std::nullopt);
        m_failures->clear(Failures::Place::home);
        m_failures->clear(Failures::Place::categories);
        m_failures->clear(Failures::Place::items);
        startTask(refreshDeviceWords());
    }
    if (m_phase == Phase::section) {
        auto categories = loadCategories();
        co_await categories;
    } else {
        auto latest = loadLatest();
        co_await latest;
    }
}

void AppStore::goHome()
{
    const Batch batch(this);
    stop();
    setDetailItem(std::nullopt);
    setCatchupOpen(false);
    setPhase(Phase::home);
}

QCoro::Task<> AppStore::openSection(Section section)
{
    m_openOnAll.reset();
    auto opening = enterSection(section, QString());
    co_await opening;
}

QCoro::Task<> AppStore::openSectionOnAll(Section section, QString text)
{
    m_openOnAll = section;
    // Typed before the items come, so the grid's first list is already the search's.
    auto opening = enterSection(section, text);
    co_await opening;
}

QCoro::Task<> AppStore::enterSection(Section section, QString text)
{
    {
        const Batch batch(this);
        setSection(section);
        setSearchText(text);
        setDetailItem(std::nullopt);
        setPhase(Phase::section);
    }
    auto categories = loadCategories();
    co_await categories;
}

void AppStore::stop()
{
    const Batch batch(this);
    setNowPlayingURL(std::nullopt);
    setNowPlaying(std::nullopt);
    setNowPlayingEpisode(std::nullopt);
    setNowPlayingTitle(QString());
    setEpgNowNext({});
    setCatchupURLBuilder({});
    setCatchupDurationSec(0);
}

void AppStore::emptyCache(const std::optional<Playlist> &arriving)
{
    // Downloads begun for the previous cache would fill the new one with old answers.
    m_downloads->renew();
    m_m3uSource->renew(arriving);
    m_m3uRead.reset();
    m_m3uList.reset();
    for (Section section : allCases<Section>()) {
        setCache(section, {});
        m_cacheLoaded[size_t(section)] = false;
        m_keptCategories[size_t(section)].reset();
        m_staleCatalogue[size_t(section)] = false;
        m_staleCategories[size_t(section)] = false;
    }
    m_keptLoad.reset();
    m_search->catalogueDropped();
}

const QList<MediaItem> &AppStore::cache(Section section) const
{
    return m_caches[size_t(section)];
}

void AppStore::setCache(Section section, QList<MediaItem> items)
{
    m_caches[size_t(section)] = std::move(items);
    m_categoryIndexes[size_t(section)].clear();
    m_keptOrders[size_t(section)].clear();
    scheduleKeptOrder(section);
    m_cacheLoaded[size_t(section)] = true;
    m_search->catalogueChanged(section);
}

QCoro::Task<std::optional<Failure>> AppStore::loadCatalogue(Section section)
{
    QPointer<AppStore> self(this);
    // The kept file, while it is being read, is nearer than the provider.
    if (!cacheLoaded(section) && m_keptLoad) {
        auto kept = adoptKept();
        co_await kept;
        if (!self)
            co_return Failure{Failure::Kind::cancelled};
    }
    if (cacheLoaded(section))
        co_return std::nullopt;
    if (!m_playlist)
        co_return Failure{Failure::Kind::cancelled};
    if (m_playlist->isM3u()) {
        auto read = loadM3u();
        co_return co_await read;
    }
    const Playlist playlist = *m_playlist;
    const quint64 generation = m_downloads->generation();
    auto download = m_downloads->fetch(playlist, section);
    Result<QList<MediaItem>> catalogue = co_await download;
    // Kept only for the provider and the generation it was asked for.
    if (!self || m_playlist != playlist || m_downloads->generation() != generation)
        co_return Failure{Failure::Kind::cancelled};
    if (!catalogue)
        co_return catalogue.failure();
    if (!cacheLoaded(section)) { // another load of the same download may have kept it already
        setCache(section, std::move(catalogue).value());
        loadedFresh();
    }
    co_return std::nullopt;
}

// --- failures ---

void AppStore::recordFailure(Failures::Place place, const Failure &failure)
{
    if (failure.kind == Failure::Kind::credentialsRefused) {
        credentialsRefused(failure);
        return;
    }
    m_failures->set(place, failure);
}

void AppStore::credentialsRefused(const Failure &failure)
{
    // The library of an account the provider refuses is empty whatever the screen: the check
    // screen says why and offers the way on (Retry, or the manual form).
    qCDebug(lcStore) << "credentials refused, back to the check screen";
    const Batch batch(this);
    stop();
    setDetailItem(std::nullopt);
    setCatchupOpen(false);
    setConnecting(false);
    setCheckCanGoBack(false);
    m_lastManualAttempt.reset();
    m_failures->set(Failures::Place::connect, failure);
    setConnectError(Failures::words(Failures::Place::connect, failure));
    setPhase(Phase::check);
}

void AppStore::wireRetries()
{
    using Place = Failures::Place;
    m_failures->setRetry(Place::connect, [this] {
        if (m_lastManualAttempt)
            startTask(connect(m_lastManualAttempt->playlist, m_lastManualAttempt->persist));
        else
            startTask(enterBrowse());
    });
    m_failures->setRetry(Place::home, [this] { startTask(loadLatest()); });
    m_failures->setRetry(Place::categories, [this] { startTask(loadCategories()); });
    m_failures->setRetry(Place::items, [this] {
        // With the categories failed as well, one Retry fetches both: the column's list comes
        // back and the first category is chosen again.
        if (!m_selectedCategory || m_failures->at(Place::categories))
            startTask(loadCategories());
        else
            startTask(loadItems());
    });
    m_failures->setRetry(Place::details, [this] {
        if (m_detailItem)
            startTask(openDetail(*m_detailItem));
    });
    m_failures->setRetry(Place::catchup, [this] { startTask(openCatchup()); });
    m_failures->setRetry(Place::deviceStatus, [this] { startTask(start()); });
}

const Catalogue::CategoryIndex &AppStore::categoryIndex(Section section)
{
    Catalogue::CategoryIndex &index = m_categoryIndexes[size_t(section)];
    if (!index.isBuilt())
        index.build(cache(section));
    return index;
}

const Catalogue::KeptOrder &AppStore::keptOrder(Section section)
{
    Catalogue::KeptOrder &kept = m_keptOrders[size_t(section)];
    const int key = orderKey(section);
    if (!kept.holds(key)) {
        const QList<MediaItem> &source = cache(section);
        const QList<qsizetype> every = Catalogue::everyPosition(source.size());
        kept.keep(key,
                  section == Section::live ? Catalogue::orderedLive(source, every, m_liveSortIndex, m_collator)
                                           : Catalogue::orderedVod(source, every, m_vodSort, m_collator));
    }
    return kept;
}

void AppStore::scheduleKeptOrder(Section section)
{
    m_keptOrderWanted[size_t(section)] = true;
    if (m_phase == Phase::section && m_section == section)
        startKeptOrder(section);
    else
        m_keptOrderIdle->start();
}

void AppStore::startWantedKeptOrders()
{
    // A catalogue still coming in is decoded on the same cores, and the screen waits for it.
    if (m_downloads->busy()) {
        m_keptOrderIdle->start();
        return;
    }
    for (const Section section : allCases<Section>()) {
        if (m_keptOrderWanted[size_t(section)])
            startKeptOrder(section);
    }
}

void AppStore::startKeptOrder(Section section)
{
    m_keptOrderWanted[size_t(section)] = false;
    const QList<MediaItem> &source = cache(section);
    const int key = orderKey(section);
    if (source.size() < testing::longCatalogue || m_keptOrders[size_t(section)].holds(key))
        return;
    std::optional<KeptOrderWork> &work = m_keptOrderWork[size_t(section)];
    if (work && work->key == key && work->source.constData() == source.constData())
        return;
    const VodSort vodSort = m_vodSort;
    const int liveSortIndex = m_liveSortIndex;
    // `source` is shared, not copied, and only read on the worker.
    QFuture<Catalogue::KeptOrder> result =
        QtConcurrent::run([source, section, key, vodSort, liveSortIndex, before = testing::beforeOrdering] {
            if (before)
                before(section);
            // A collator of its own: this runs on a worker thread.
            const QCollator collator = Catalogue::nameCollator();
            const QList<qsizetype> every = Catalogue::everyPosition(source.size());
            Catalogue::KeptOrder kept;
            kept.keep(key,
                      section == Section::live ? Catalogue::orderedLive(source, every, liveSortIndex, collator)
                                               : Catalogue::orderedVod(source, every, vodSort, collator));
            return kept;
        });
    Timing::mark("ordering begun", rawValue(section));
    work = KeptOrderWork{key, source, result};
    startTask([](QPointer<AppStore> self, Section section, KeptOrderWork made) -> QCoro::Task<> {
        co_await made.result;
        if (self)
            self->keptOrderMade(section, made.key, made.source, made.result);
    }(QPointer<AppStore>(this), section, *work));
}

void AppStore::keptOrderMade(Section section, int key, const QList<MediaItem> &source,
                             const QFuture<Catalogue::KeptOrder> &result)
{
    std::optional<KeptOrderWork> &work = m_keptOrderWork[size_t(section)];
    if (work && work->key == key && work->source.constData() == source.constData())
        work.reset();
    // Kept only for the catalogue and the ordering it was made from.
    if (cache(section).constData() != source.constData() || orderKey(section) != key
        || m_keptOrders[size_t(section)].holds(key))
        return;
    m_keptOrders[size_t(section)] = result.result();
}

QCoro::Task<> AppStore::keptOrderReady(Section section)
{
    QPointer<AppStore> self(this);
    // A catalogue replaced or reordered while it was being made is made again, a few times at
    // most; after that the list orders it on the GUI thread, as short catalogues always are.
    for (int round = 0; round < 3; ++round) {
        startKeptOrder(section);
        const std::optional<KeptOrderWork> &work = m_keptOrderWork[size_t(section)];
        if (!work)
            co_return;
        const KeptOrderWork made = *work;
        co_await made.result;
        if (!self)
            co_return;
        keptOrderMade(section, made.key, made.source, made.result);
        if (m_keptOrders[size_t(section)].holds(orderKey(section)))
            co_return;
    }
}

// --- starters for QML ---

void AppStore::runStart()
{
    startTask(start());
}

void AppStore::runConnect(const QString &host, const QString &user, const QString &pass, bool persist)
{
    startTask(connect(Playlist{.host = host, .username = user, .password = pass}, persist));
}

void AppStore::runConnectM3u(const QString &address, bool persist)
{
    startTask(connect(Playlist::m3u(address), persist));
}

void AppStore::runEnterBrowse()
{
    startTask(enterBrowse());
}

void AppStore::runRefresh()
{
    startTask(refresh());
}

void AppStore::runOpenSection(Mavu::Section section)
{
    startTask(openSection(section));
}

void AppStore::runOpenDetail(const MediaItem &item)
{
    startTask(openDetail(item));
}

void AppStore::runPlay(const MediaItem &item)
{
    startTask(play(item));
}

void AppStore::runPlayInLiveSection(const MediaItem &channel)
{
    startTask(playInLiveSection(channel));
}

void AppStore::runLoadLatest()
{
    startTask(loadLatest());
}

void AppStore::runOpenCatchup()
{
    startTask(openCatchup());
}

void AppStore::runAllCategories(Mavu::Section section)
{
    startTask(deliverAllCategories(section));
}

QCoro::Task<> AppStore::deliverAllCategories(Section section)
{
    QPointer<AppStore> self(this);
    auto request = allCategories(section);
    const QList<Category> categories = co_await request;
    if (!self)
        co_return;
    QVariantList list;
    list.reserve(categories.size());
    for (const Category &category : categories)
        list.append(QVariant::fromValue(category));
    Q_EMIT allCategoriesLoaded(section, list);
}
