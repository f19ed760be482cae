#pragma once

#include "api/mavuapi.h"
#include "model/enums.h"
#include "model/playlist.h"
#include "model/records.h"
#include "store/catalogue.h"
#include "store/cataloguecache.h"
#include "store/failures.h"
#include "store/librarysearch.h"
#include "store/listmodels.h"
#include "store/wordtable.h"
#include "store/programguide.h"
#include "store/watchpositions.h"

#include <QCoroTask>
#include <QDateTime>
#include <QFuture>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QUrl>
#include <QVariantList>
#include <QVariantMap>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class CatalogueDownloads;
class M3uSource;
class Preferences;
class M3uCatalogue;
struct M3uLibrary;
struct M3uStream;
class QTimer;
namespace Network {
class Cancellation;
}

// The one observable state of the player and every operation that changes it. It lives on
// the main thread for the whole run; every screen binds to the same instance.
//
// Made with the preferences it reads and writes: `AppStore(std::shared_ptr<Preferences>)`
// (null: the user's own preferences file). The constructor reads the device identifier and
// the stored choices and fetches nothing.
//
// How the fields reach QML:
// - Each published field is a property of the same name with a change signal `<name>Changed`
//   that is emitted only when the value really changes. Fields that screens write have a
//   WRITE accessor. The signals of one operation go out after all of its fields are set, so
//   a binding never sees half of a change (a new address beside the previous item).
// - Optional values: C++ reads `x()` as a std::optional; QML reads the property `x` (the value,
//   or an empty one when absent) together with `hasX`. Optional texts and addresses read as
//   "" / an empty QUrl when absent.
// - Lists: the C++ accessors give the QList; QML binds to the list models (`categoriesModel`,
//   `itemsModel` for `filteredItems`, …), whose rows carry the record under one role and
//   which are replaced in one reset. `themes` reads in QML as a list of Theme values.
// - Asynchronous operations are coroutines with their own names (awaitable from C++); for QML
//   each has an invokable starter `run<Name>` that starts it without waiting.
// - Sets of ids (`favorites`, `hiddenCategoryIDs`) are QStringLists without repeats. Favourite
//   marks have no field: `isFavorite(item)` answers and `favoritesChanged` says when to ask again
//   (a binding reads `favoritesRevision` beside the call to follow it).
// - `pinChallenge` and `catchupURLBuilder` are C++ callables; QML sees `hasPinChallenge`,
//   `runPinChallenge()`, `dropPinChallenge()`, `hasCatchupURLBuilder` and `buildCatchupURL()`.
//
// Failures: requests answer a value or a Failure. The store keeps the last failure of each
// place a screen shows in `failures` (cleared when that place next succeeds) with the Retry
// of each place; optional extras (the short guide, device words, themes, the expiry) fall back
// quietly. A provider that refuses the account sends the user to the check screen with the
// reason, from wherever it happened. Answers that land after a refresh or a change of
// playlist are dropped.
//
// "Starting a task" means calling a coroutine without awaiting it: it runs at once up to its
// first wait for the network and continues on the main thread. Every coroutine checks after
// each wait that the store still exists.
class AppStore : public QObject
{
    Q_OBJECT

    Q_PROPERTY(Phase phase READ phase NOTIFY phaseChanged FINAL)
    Q_PROPERTY(Playlist playlist READ qmlPlaylist NOTIFY playlistChanged FINAL)
    Q_PROPERTY(bool hasPlaylist READ hasPlaylist NOTIFY playlistChanged FINAL)
    Q_PROPERTY(bool connecting READ connecting NOTIFY connectingChanged FINAL)
    Q_PROPERTY(QString connectError READ qmlConnectError NOTIFY connectErrorChanged FINAL)
    Q_PROPERTY(bool hasConnectError READ hasConnectError NOTIFY connectErrorChanged FINAL)
    Q_PROPERTY(QString mac READ mac CONSTANT FINAL)

    Q_PROPERTY(Mavu::Section section READ section NOTIFY sectionChanged FINAL)
    Q_PROPERTY(QList<Category> categories READ categories NOTIFY categoriesChanged FINAL)
    Q_PROPERTY(Category selectedCategory READ qmlSelectedCategory NOTIFY selectedCategoryChanged FINAL)
    Q_PROPERTY(bool hasSelectedCategory READ hasSelectedCategory NOTIFY selectedCategoryChanged FINAL)
    Q_PROPERTY(QList<MediaItem> items READ items NOTIFY itemsChanged FINAL)
    Q_PROPERTY(bool loadingItems READ loadingItems NOTIFY loadingItemsChanged FINAL)
    Q_PROPERTY(bool loadingCategories READ loadingCategories NOTIFY loadingCategoriesChanged FINAL)
    Q_PROPERTY(QString searchText READ searchText WRITE setSearchText NOTIFY searchTextChanged FINAL)
    Q_PROPERTY(Mavu::VodSort vodSort READ vodSort WRITE setVodSort NOTIFY vodSortChanged FINAL)
    Q_PROPERTY(QList<MediaItem> filteredItems READ filteredItems NOTIFY filteredItemsChanged FINAL)

    Q_PROPERTY(MediaItem detailItem READ qmlDetailItem WRITE qmlSetDetailItem NOTIFY detailItemChanged FINAL)
    Q_PROPERTY(bool hasDetailItem READ hasDetailItem NOTIFY detailItemChanged FINAL)
    Q_PROPERTY(VodInfo vodInfo READ qmlVodInfo NOTIFY vodInfoChanged FINAL)
    Q_PROPERTY(bool hasVodInfo READ hasVodInfo NOTIFY vodInfoChanged FINAL)
    Q_PROPERTY(bool loadingDetail READ loadingDetail NOTIFY loadingDetailChanged FINAL)
    Q_PROPERTY(QList<Season> seasons READ seasons NOTIFY seasonsChanged FINAL)
    Q_PROPERTY(QList<Episode> episodes READ episodes NOTIFY episodesChanged FINAL)
    Q_PROPERTY(Season selectedSeason READ qmlSelectedSeason WRITE qmlSetSelectedSeason NOTIFY selectedSeasonChanged FINAL)
    Q_PROPERTY(bool hasSelectedSeason READ hasSelectedSeason NOTIFY selectedSeasonChanged FINAL)
    Q_PROPERTY(QList<Episode> seasonEpisodes READ seasonEpisodes NOTIFY seasonEpisodesChanged FINAL)

    Q_PROPERTY(MediaItem nowPlaying READ qmlNowPlaying NOTIFY nowPlayingChanged FINAL)
    Q_PROPERTY(bool hasNowPlaying READ hasNowPlaying NOTIFY nowPlayingChanged FINAL)
    Q_PROPERTY(QUrl nowPlayingURL READ qmlNowPlayingURL WRITE qmlSetNowPlayingURL NOTIFY nowPlayingURLChanged FINAL)
    Q_PROPERTY(QString nowPlayingTitle READ nowPlayingTitle NOTIFY nowPlayingTitleChanged FINAL)
    Q_PROPERTY(Episode nowPlayingEpisode READ qmlNowPlayingEpisode NOTIFY nowPlayingEpisodeChanged FINAL)
    Q_PROPERTY(bool hasNowPlayingEpisode READ hasNowPlayingEpisode NOTIFY nowPlayingEpisodeChanged FINAL)
    Q_PROPERTY(double catchupDurationSec READ catchupDurationSec NOTIFY catchupDurationSecChanged FINAL)
    Q_PROPERTY(bool hasCatchupURLBuilder READ hasCatchupURLBuilder NOTIFY catchupURLBuilderChanged FINAL)
    Q_PROPERTY(QList<EpgProgram> epgNowNext READ epgNowNext NOTIFY epgNowNextChanged FINAL)

    Q_PROPERTY(bool catchupOpen READ catchupOpen WRITE setCatchupOpen NOTIFY catchupOpenChanged FINAL)
    Q_PROPERTY(QList<EpgProgram> catchupPrograms READ catchupPrograms NOTIFY catchupProgramsChanged FINAL)
    Q_PROPERTY(QStringList catchupDays READ catchupDays NOTIFY catchupDaysChanged FINAL)
    Q_PROPERTY(QString selectedCatchupDay READ qmlSelectedCatchupDay WRITE qmlSetSelectedCatchupDay NOTIFY selectedCatchupDayChanged FINAL)
    Q_PROPERTY(bool hasSelectedCatchupDay READ hasSelectedCatchupDay NOTIFY selectedCatchupDayChanged FINAL)
    Q_PROPERTY(bool loadingCatchup READ loadingCatchup NOTIFY loadingCatchupChanged FINAL)
    Q_PROPERTY(QList<EpgProgram> catchupDayPrograms READ catchupDayPrograms NOTIFY catchupDayProgramsChanged FINAL)

    Q_PROPERTY(QList<MediaItem> latestMovies READ latestMovies NOTIFY latestMoviesChanged FINAL)
    Q_PROPERTY(QList<MediaItem> latestSeries READ latestSeries NOTIFY latestSeriesChanged FINAL)
    Q_PROPERTY(bool loadingHome READ loadingHome NOTIFY loadingHomeChanged FINAL)
    Q_PROPERTY(bool resolving READ resolving NOTIFY resolvingChanged FINAL)
    Q_PROPERTY(bool hasPinChallenge READ hasPinChallenge NOTIFY pinChallengeChanged FINAL)
    // Counts favourite changes: a binding that reads it asks isFavorite again after each one.
    Q_PROPERTY(int favoritesRevision READ favoritesRevision NOTIFY favoritesChanged FINAL)

    Q_PROPERTY(QVariantList themes READ qmlThemes NOTIFY themesChanged FINAL)
    Q_PROPERTY(int themeIndex READ themeIndex WRITE setThemeIndex NOTIFY themeIndexChanged FINAL)
    Q_PROPERTY(QList<MavuAPI::Language> languages READ languages NOTIFY languagesChanged FINAL)
    Q_PROPERTY(qint64 playlistExpTs READ qmlPlaylistExpTs NOTIFY playlistExpTsChanged FINAL)
    Q_PROPERTY(bool hasPlaylistExpTs READ hasPlaylistExpTs NOTIFY playlistExpTsChanged FINAL)
    // The stream connections the account may hold at once (0: any number) and holds, as its
    // provider last said; -1 when it did not.
    Q_PROPERTY(int maxConnections READ qmlMaxConnections NOTIFY accountConnectionsChanged FINAL)
    Q_PROPERTY(int activeConnections READ qmlActiveConnections NOTIFY accountConnectionsChanged FINAL)
    Q_PROPERTY(bool checkCanGoBack READ checkCanGoBack WRITE setCheckCanGoBack NOTIFY checkCanGoBackChanged FINAL)
    Q_PROPERTY(bool statusLoaded READ statusLoaded NOTIFY statusLoadedChanged FINAL)
    Q_PROPERTY(int liveSortIndex READ liveSortIndex WRITE setLiveSortIndex NOTIFY liveSortIndexChanged FINAL)
    Q_PROPERTY(QString languageCode READ languageCode WRITE setLanguageCode NOTIFY languageCodeChanged FINAL)
    Q_PROPERTY(QString parentalPIN READ parentalPIN WRITE setParentalPIN NOTIFY parentalPINChanged FINAL)
    // "Couldn't save your settings" while the preferences cannot be written, otherwise empty.
    Q_PROPERTY(QString settingsSaveError READ settingsSaveError NOTIFY settingsSaveErrorChanged FINAL)

    Q_PROPERTY(WordTable words READ wordTable NOTIFY wordsChanged FINAL)
    Q_PROPERTY(QUrl currentThemeURL READ qmlCurrentThemeURL NOTIFY currentThemeURLChanged FINAL)
    Q_PROPERTY(QString expiryText READ expiryText NOTIFY expiryTextChanged FINAL)
    Q_PROPERTY(QString connectionsText READ connectionsText NOTIFY accountConnectionsChanged FINAL)

    Q_PROPERTY(CategoryListModel *categoriesModel READ categoriesModel CONSTANT FINAL)
    Q_PROPERTY(FilteredItemsModel *itemsModel READ itemsModel CONSTANT FINAL)
    Q_PROPERTY(MediaItemListModel *latestMoviesModel READ latestMoviesModel CONSTANT FINAL)
    Q_PROPERTY(MediaItemListModel *latestSeriesModel READ latestSeriesModel CONSTANT FINAL)
    Q_PROPERTY(SeasonListModel *seasonsModel READ seasonsModel CONSTANT FINAL)
    Q_PROPERTY(EpisodeListModel *seasonEpisodesModel READ seasonEpisodesModel CONSTANT FINAL)
    Q_PROPERTY(EpgProgramListModel *epgNowNextModel READ epgNowNextModel CONSTANT FINAL)
    Q_PROPERTY(TextListModel *catchupDaysModel READ catchupDaysModel CONSTANT FINAL)
    Q_PROPERTY(EpgProgramListModel *catchupDayProgramsModel READ catchupDayProgramsModel CONSTANT FINAL)
    Q_PROPERTY(Failures *failures READ failures CONSTANT FINAL)
    Q_PROPERTY(ProgramGuide *guide READ guide CONSTANT FINAL)
    // The search across live channels, movies and shows at once (the home screen's field).
    Q_PROPERTY(LibrarySearch *search READ search CONSTANT FINAL)
    // Where movies and episodes were left, for the connected playlist.
    Q_PROPERTY(WatchPositions *positions READ positions CONSTANT FINAL)
    // Live TV shows the guide grid of the selected category in place of the channel list.
    Q_PROPERTY(bool liveGuide READ liveGuide WRITE setLiveGuide NOTIFY liveGuideChanged FINAL)

public:
    // The capitalised keys name the same values for QML, which reads only capitalised keys.
    enum class Phase { check, home, section, Check = check, Home = home, Section = section };
    Q_ENUM(Phase)

    using PinAction = std::function<void()>;
    using CatchupURLBuilder = std::function<std::optional<QUrl>(int minutes)>;
    using UrlOpener = std::function<void(const QUrl &)>;

    // Preference key of a manually connected playlist.
    static constexpr QLatin1String savedKey{"mavu.playlist"};
    static constexpr QLatin1String favoritesId{"__fav__"};
    static constexpr QLatin1String recentsId{"__recent__"};
    // Every item of the section at once; not in the column, chosen only by `openSectionOnAll`.
    static constexpr QLatin1String allId{"__all__"};
    static constexpr int recentsLimit = 50;
    static constexpr qsizetype homeRowLength = 10;

    explicit AppStore(std::shared_ptr<Preferences> preferences, QObject *parent = nullptr);
    ~AppStore() override;

    // --- connection and navigation ---
    QCoro::Task<> start();
    QCoro::Task<> connect(Playlist playlist, bool persist);
    QCoro::Task<> enterBrowse();
    // Stops connecting or entering the library at once: its requests end, `connecting` is
    // false, nothing else changes.
    Q_INVOKABLE void cancelConnect();
    Q_INVOKABLE void changePlaylist();
    QCoro::Task<> refresh();
    Q_INVOKABLE void goHome();
    QCoro::Task<> openSection(Section section);
    // Opens the section on all of its items (what the whole-library search counted: no hidden
    // category, no locked channel before the PIN) with `text` in its search field.
    QCoro::Task<> openSectionOnAll(Section section, QString text);
    Q_INVOKABLE void stop();

    // --- browsing ---
    QCoro::Task<> loadCategories();
    QCoro::Task<QList<Category>> allCategories(Section section);
    Q_INVOKABLE void selectCategory(const Category &category);
    QCoro::Task<> loadItems();
    Q_INVOKABLE void setHidden(const QStringList &ids, Mavu::Section section);
    Q_INVOKABLE QStringList hiddenCategoryIDs(Mavu::Section section) const;
    Q_INVOKABLE static bool isAdult(const QString &text);
    Q_INVOKABLE QStringList favorites(Mavu::Section section) const; // a set: no repeats, no order
    Q_INVOKABLE QStringList recents(Mavu::Section section) const;   // most recent first
    Q_INVOKABLE void toggleFavorite(const MediaItem &item);
    Q_INVOKABLE bool isFavorite(const MediaItem &item) const;
    int favoritesRevision() const { return m_favoritesRevision; }

    // --- details and playback ---
    QCoro::Task<> openDetail(MediaItem item);
    QCoro::Task<> play(MediaItem item);
    Q_INVOKABLE void playEpisode(const Episode &episode, const MediaItem &show);
    Q_INVOKABLE void exitPlayer();
    Q_INVOKABLE void openTrailer(const QString &videoId);
    QCoro::Task<> loadLatest();
    // Opens Live TV at the channel's category with the channel playing in its pane.
    QCoro::Task<> playInLiveSection(MediaItem channel);

    // --- guide and catch-up ---
    QCoro::Task<> openCatchup();
    Q_INVOKABLE void playCatchup(const EpgProgram &program);
    Q_INVOKABLE QUrl buildCatchupURL(int minutes) const; // empty: nothing to play

    // --- the full guide ---
    ProgramGuide *guide() const { return m_guide; }
    // A past programme of any live channel (the full guide's): the channel becomes the one
    // playing, so that leaving the recording returns to it live.
    Q_INVOKABLE void playGuideCatchup(const MediaItem &channel, const EpgProgram &program);
    // The live catalogue, fetched (and kept) when it is not there yet.
    QCoro::Task<QList<MediaItem>> liveCatalogue();

    // --- positions ---
    WatchPositions *positions() const { return m_positions; }
    // What plays now as a position to keep (no position yet): none for live channels and
    // recordings.
    std::optional<WatchEntry> nowPlayingWatchEntry() const;
    // Plays a kept entry again where it was left: a movie full-window, an episode with its
    // show's details loaded behind it, so that the player offers the show's episodes.
    QCoro::Task<> resume(WatchEntry entry);
    Q_INVOKABLE void runResume(const WatchEntry &entry);

    // --- words ---
    // Not invokable: QML binds to `words.t(key, fallback)`, which follows changes of the words.
    QString t(const QString &key, const QString &fallback) const;

    // --- starters for QML (no waiting) ---
    Q_INVOKABLE void runStart();
    Q_INVOKABLE void runConnect(const QString &host, const QString &user, const QString &pass, bool persist);
    // Connects the plain M3U list at `address` (an http(s) address or a local file).
    Q_INVOKABLE void runConnectM3u(const QString &address, bool persist);
    Q_INVOKABLE void runEnterBrowse();
    Q_INVOKABLE void runRefresh();
    Q_INVOKABLE void runOpenSection(Mavu::Section section);
    Q_INVOKABLE void runOpenDetail(const MediaItem &item);
    Q_INVOKABLE void runPlay(const MediaItem &item);
    Q_INVOKABLE void runPlayInLiveSection(const MediaItem &channel);
    Q_INVOKABLE void runLoadLatest();
    Q_INVOKABLE void runOpenCatchup();
    // Answers through allCategoriesLoaded(section, list of Category).
    Q_INVOKABLE void runAllCategories(Mavu::Section section);
    Q_INVOKABLE void runPinChallenge();  // clears the challenge, then runs its action
    Q_INVOKABLE void dropPinChallenge(); // clears it without running
    Q_INVOKABLE void clearDetailItem();

    // --- published fields ---
    Phase phase() const { return m_phase; }
    const std::optional<Playlist> &playlist() const { return m_playlist; }
    bool hasPlaylist() const { return m_playlist.has_value(); }
    bool connecting() const { return m_connecting; }
    const std::optional<QString> &connectError() const { return m_connectError; }
    bool hasConnectError() const { return m_connectError.has_value(); }
    QString mac() const { return m_mac; }

    Section section() const { return m_section; }
    const QList<Category> &categories() const { return m_categories; }
    const std::optional<Category> &selectedCategory() const { return m_selectedCategory; }
    bool hasSelectedCategory() const { return m_selectedCategory.has_value(); }
    QList<MediaItem> items() const;
    bool loadingItems() const { return m_loadingItems; }
    bool loadingCategories() const { return m_loadingCategories; }
    QString searchText() const { return m_searchText; }
    void setSearchText(const QString &text);
    VodSort vodSort() const { return m_vodSort; }
    void setVodSort(VodSort sort);
    QList<MediaItem> filteredItems() const;

    const std::optional<MediaItem> &detailItem() const { return m_detailItem; }
    bool hasDetailItem() const { return m_detailItem.has_value(); }
    void setDetailItem(std::optional<MediaItem> item);
    const std::optional<VodInfo> &vodInfo() const { return m_vodInfo; }
    bool hasVodInfo() const { return m_vodInfo.has_value(); }
    bool loadingDetail() const { return m_loadingDetail; }
    const QList<Season> &seasons() const { return m_seasons; }
    const QList<Episode> &episodes() const { return m_episodes; }
    const std::optional<Season> &selectedSeason() const { return m_selectedSeason; }
    bool hasSelectedSeason() const { return m_selectedSeason.has_value(); }
    void setSelectedSeason(std::optional<Season> season);
    QList<Episode> seasonEpisodes() const;

    const std::optional<MediaItem> &nowPlaying() const { return m_nowPlaying; }
    bool hasNowPlaying() const { return m_nowPlaying.has_value(); }
    const std::optional<QUrl> &nowPlayingURL() const { return m_nowPlayingURL; }
    void setNowPlayingURL(std::optional<QUrl> url);
    QString nowPlayingTitle() const { return m_nowPlayingTitle; }
    const std::optional<Episode> &nowPlayingEpisode() const { return m_nowPlayingEpisode; }
    bool hasNowPlayingEpisode() const { return m_nowPlayingEpisode.has_value(); }
    double catchupDurationSec() const { return m_catchupDurationSec; }
    const CatchupURLBuilder &catchupURLBuilder() const { return m_catchupURLBuilder; }
    bool hasCatchupURLBuilder() const { return bool(m_catchupURLBuilder); }
    const QList<EpgProgram> &epgNowNext() const { return m_epgNowNext; }

    bool catchupOpen() const { return m_catchupOpen; }
    void setCatchupOpen(bool open);
    bool liveGuide() const { return m_liveGuide; }
    void setLiveGuide(bool shown);
    const QList<EpgProgram> &catchupPrograms() const { return m_catchupPrograms; }
    const QStringList &catchupDays() const { return m_catchupDays; }
    const std::optional<QString> &selectedCatchupDay() const { return m_selectedCatchupDay; }
    bool hasSelectedCatchupDay() const { return m_selectedCatchupDay.has_value(); }
    void setSelectedCatchupDay(std::optional<QString> day);
    bool loadingCatchup() const { return m_loadingCatchup; }
    QList<EpgProgram> catchupDayPrograms() const;

    const QList<MediaItem> &latestMovies() const { return m_latestMovies; }
    const QList<MediaItem> &latestSeries() const { return m_latestSeries; }
    bool loadingHome() const { return m_loadingHome; }
    bool resolving() const { return m_resolving; }
    const PinAction &pinChallenge() const { return m_pinChallenge; }
    bool hasPinChallenge() const { return bool(m_pinChallenge); }
    void setPinChallenge(PinAction action); // an empty function clears it
    // The PIN was given in this run (a challenge was answered): adult channels may be searched.
    bool pinGiven() const { return m_pinGiven; }
    LibrarySearch *search() const { return m_search; }

    const QList<Theme> &themes() const { return m_themes; }
    int themeIndex() const { return m_themeIndex; }
    void setThemeIndex(int index);
    const QList<MavuAPI::Language> &languages() const { return m_languages; }
    const std::optional<qint64> &playlistExpTs() const { return m_playlistExpTs; }
    bool hasPlaylistExpTs() const { return m_playlistExpTs.has_value(); }
    const std::optional<int> &maxConnections() const { return m_maxConnections; }
    const std::optional<int> &activeConnections() const { return m_activeConnections; }
    bool checkCanGoBack() const { return m_checkCanGoBack; }
    void setCheckCanGoBack(bool canGoBack);
    bool statusLoaded() const { return m_statusLoaded; }
    int liveSortIndex() const { return m_liveSortIndex; }
    void setLiveSortIndex(int index);
    QString languageCode() const { return m_languageCode; }
    void setLanguageCode(const QString &code);
    QString parentalPIN() const { return m_parentalPIN; }
    QString settingsSaveError() const { return m_settingsSaveError; }
    void setParentalPIN(const QString &pin);

    QHash<QString, QString> words() const;
    // The words as a value whose `t(key, fallback)` QML calls: a binding over it follows every
    // change of the words, which a plain call of `t` would not.
    WordTable wordTable() const { return WordTable(m_announcedWords); }
    std::optional<QUrl> currentThemeURL() const;
    QString expiryText() const;
    // "Connections: 1 of 2" for a provider account whose answer gives both counts; empty
    // otherwise (a plain list has no account).
    QString connectionsText() const;

    // --- failures per place, and their Retry ---
    Failures *failures() const { return m_failures; }
    // Whole-catalogue downloads, shared while in flight (tests count them).
    const CatalogueDownloads &catalogueDownloads() const { return *m_downloads; }
    // Reads of plain M3U lists (tests count them).
    const M3uSource &m3uSource() const { return *m_m3uSource; }

    static QString m3uFailureWords(const Failure &failure);

    // --- catalogues kept across runs ---
    // Where the connected playlist's catalogues are kept between runs; empty (the default)
    // keeps nothing. The program keeps them in the user's cache folder. With a folder, the
    // library opens from the kept file while the provider's answers are fetched behind it.
    void setCatalogueCacheFolder(const QString &folder);
    CatalogueCache &catalogueCache() const { return *m_catalogueCache; }

    // --- the catalogue cache (not published) ---
    const QList<MediaItem> &allLive() const { return cache(Section::live); }
    const QList<MediaItem> &allVods() const { return cache(Section::movies); }
    const QList<MediaItem> &allSeries() const { return cache(Section::series); }

    // --- the models ---
    CategoryListModel *categoriesListModel() const { return m_categoriesModel; }
    FilteredItemsModel *filteredItemsModel() const { return m_itemsModel; }
    CategoryListModel *categoriesModel() const { return m_categoriesModel; }
    FilteredItemsModel *itemsModel() const { return m_itemsModel; }
    MediaItemListModel *latestMoviesModel() const { return m_latestMoviesModel; }
    MediaItemListModel *latestSeriesModel() const { return m_latestSeriesModel; }
    SeasonListModel *seasonsModel() const { return m_seasonsModel; }
    EpisodeListModel *seasonEpisodesModel() const { return m_seasonEpisodesModel; }
    EpgProgramListModel *epgNowNextModel() const { return m_epgNowNextModel; }
    TextListModel *catchupDaysModel() const { return m_catchupDaysModel; }
    EpgProgramListModel *catchupDayProgramsModel() const { return m_catchupDayProgramsModel; }
    QList<ListModelBase *> allModels() const;

    // Where trailers open; the system browser unless replaced (tests replace it).
    void setUrlOpener(UrlOpener opener) { m_urlOpener = std::move(opener); }
    // The clock the expiry line counts from; the system's unless replaced (tests replace it).
    using Clock = std::function<QDateTime()>;
    void setClock(Clock clock);

    // Stream addresses, built from the connected playlist; nothing when it does not parse.
    static std::optional<QUrl> streamURL(const Playlist &playlist, const QString &kind, const QString &streamId,
                                         const QString &extension);
    static std::optional<QUrl> catchupURL(const Playlist &playlist, const MediaItem &channel, qint64 minutes,
                                          const QString &startText);
    static QString catchupStartText(const EpgProgram &program);
    static std::optional<QUrl> trailerURL(const QString &videoId);

    // QML faces of the optional fields.
    Playlist qmlPlaylist() const { return m_playlist.value_or(Playlist()); }
    QString qmlConnectError() const { return m_connectError.value_or(QString()); }
    Category qmlSelectedCategory() const { return m_selectedCategory.value_or(Category()); }
    MediaItem qmlDetailItem() const { return m_detailItem.value_or(MediaItem()); }
    void qmlSetDetailItem(const MediaItem &item) { setDetailItem(item); }
    VodInfo qmlVodInfo() const { return m_vodInfo.value_or(VodInfo()); }
    Season qmlSelectedSeason() const { return m_selectedSeason.value_or(Season()); }
    void qmlSetSelectedSeason(const Season &season) { setSelectedSeason(season); }
    MediaItem qmlNowPlaying() const { return m_nowPlaying.value_or(MediaItem()); }
    QUrl qmlNowPlayingURL() const { return m_nowPlayingURL.value_or(QUrl()); }
    void qmlSetNowPlayingURL(const QUrl &url);
    Episode qmlNowPlayingEpisode() const { return m_nowPlayingEpisode.value_or(Episode()); }
    QString qmlSelectedCatchupDay() const { return m_selectedCatchupDay.value_or(QString()); }
    void qmlSetSelectedCatchupDay(const QString &day) { setSelectedCatchupDay(day); }
    QVariantList qmlThemes() const;
    qint64 qmlPlaylistExpTs() const { return m_playlistExpTs.value_or(0); }
    int qmlMaxConnections() const { return m_maxConnections.value_or(-1); }
    int qmlActiveConnections() const { return m_activeConnections.value_or(-1); }
    QUrl qmlCurrentThemeURL() const { return currentThemeURL().value_or(QUrl()); }

Q_SIGNALS:
    void phaseChanged();
    void playlistChanged();
    void connectingChanged();
    void connectErrorChanged();
    void sectionChanged();
    void categoriesChanged();
    void selectedCategoryChanged();
    void itemsChanged();
    void loadingItemsChanged();
    void loadingCategoriesChanged();
    void searchTextChanged();
    void vodSortChanged();
    void filteredItemsChanged();
    void detailItemChanged();
    void vodInfoChanged();
    void loadingDetailChanged();
    void seasonsChanged();
    void episodesChanged();
    void selectedSeasonChanged();
    void seasonEpisodesChanged();
    void nowPlayingChanged();
    void nowPlayingURLChanged();
    void nowPlayingTitleChanged();
    void nowPlayingEpisodeChanged();
    void catchupDurationSecChanged();
    void catchupURLBuilderChanged();
    void epgNowNextChanged();
    void catchupOpenChanged();
    void liveGuideChanged();
    void catchupProgramsChanged();
    void catchupDaysChanged();
    void selectedCatchupDayChanged();
    void loadingCatchupChanged();
    void catchupDayProgramsChanged();
    void latestMoviesChanged();
    void latestSeriesChanged();
    void loadingHomeChanged();
    void resolvingChanged();
    void pinChallengeChanged();
    void themesChanged();
    void themeIndexChanged();
    void languagesChanged();
    void playlistExpTsChanged();
    void accountConnectionsChanged();
    void checkCanGoBackChanged();
    void statusLoadedChanged();
    void liveSortIndexChanged();
    void languageCodeChanged();
    void parentalPINChanged();
    void settingsSaveErrorChanged();
    void wordsChanged();
    void currentThemeURLChanged();
    void expiryTextChanged();
    // A favourite was added or removed: favourite marks must be drawn again.
    void favoritesChanged();
    // The answer of runAllCategories: Category values.
    void allCategoriesLoaded(Mavu::Section section, const QVariantList &categories);

public:
    struct testing
    {
        // Catalogues of at least this many entries are ordered on a worker (10,000).
        static qsizetype longCatalogue;
        // When set, called on the worker before it orders a section's catalogue: a test can
        // hold it there.
        static std::function<void(Mavu::Section)> beforeOrdering;
        // A new movie order applied to the open list at once on the GUI thread, however long
        // the list, as before it waited for the worker: the benchmarks' figures beside it.
        static bool orderOnGuiThread;
        // When set, every favourite mark is read from the preferences, as before the store
        // kept the favourites' ids: the benchmarks' figures beside it.
        static bool favoritesFromPreferences;
    };

private:
    friend class LibrarySearch;
    using Signal = void (AppStore::*)();

    // Holds back change signals until the outermost batch ends, so that observers never see
    // half of a change (a new address with the previous item, say). Never held across a wait.
    class Batch
    {
    public:
        explicit Batch(AppStore *store)
            : m_store(store)
        {
            ++m_store->m_batchDepth;
        }
        ~Batch()
        {
            if (--m_store->m_batchDepth == 0)
                m_store->flushSignals();
        }
        Batch(const Batch &) = delete;
        Batch &operator=(const Batch &) = delete;

    private:
        AppStore *m_store;
    };

    void notify(Signal signal);
    void flushSignals();

    // Assigns and signals only on a real change.
    template<typename T>
    bool assign(T &field, T value, Signal signal)
    {
        if (field == value)
            return false;
        field = std::move(value);
        notify(signal);
        return true;
    }

    // Field writers that keep the models and the derived values in step.
    void setPhase(Phase phase);
    void setPlaylist(std::optional<Playlist> playlist);
    void setConnecting(bool connecting);
    void setConnectError(std::optional<QString> error);
    void setSection(Section section);
    void setCategories(QList<Category> categories);
    // Also starts the item load, unless `load` is false.
    void setSelectedCategory(std::optional<Category> category, bool load = true);
    void setItems(QList<MediaItem> items);
    // The list of `records` at `order` (positions in `records`), without copying a record.
    void setItems(const QList<MediaItem> &records, QList<qsizetype> order);
    void setLoadingItems(bool loading);
    void setLoadingCategories(bool loading);
    void setVodInfo(std::optional<VodInfo> info);
    void setLoadingDetail(bool loading);
    void setSeasons(QList<Season> seasons);
    void setEpisodes(QList<Episode> episodes);
    void setNowPlaying(std::optional<MediaItem> item);
    void setNowPlayingTitle(const QString &title);
    void setNowPlayingEpisode(std::optional<Episode> episode);
    void setCatchupDurationSec(double seconds);
    void setCatchupURLBuilder(CatchupURLBuilder builder);
    void setEpgNowNext(QList<EpgProgram> programs);
    void setCatchupPrograms(QList<EpgProgram> programs);
    void setCatchupDays(QStringList days);
    void setLoadingCatchup(bool loading);
    void setLatestMovies(QList<MediaItem> items);
    void setLatestSeries(QList<MediaItem> items);
    void setLoadingHome(bool loading);
    void setThemes(QList<Theme> themes);
    void setLanguages(QList<MavuAPI::Language> languages);
    void setPlaylistExpTs(std::optional<qint64> expiry);
    void setAccountConnections(std::optional<int> max, std::optional<int> active);
    void setStatusLoaded(bool loaded);

    void updateFilteredItems();
    void updateSeasonEpisodes();
    void updateCatchupDayPrograms();
    void updateWordsAndTexts(); // words, expiryText
    void scheduleExpiryRefresh();
    void updateThemeURL();

    // And drops the catalogue downloads in flight, but for the list of `arriving`, whose first
    // part a connect has just shown.
    void emptyCache(const std::optional<Playlist> &arriving = std::nullopt);
    const QList<MediaItem> &cache(Section section) const;
    bool cacheLoaded(Section section) const { return m_cacheLoaded[size_t(section)]; }
    // The section's catalogue into the cache when it is not there yet (shared with any
    // download in flight); the failure when that did not happen, cancelled when the answer
    // no longer belongs to what is connected.
    QCoro::Task<std::optional<Failure>> loadCatalogue(Section section);
    void setCache(Section section, QList<MediaItem> items);
    const Catalogue::CategoryIndex &categoryIndex(Section section);
    QSet<QString> favoriteSet(Section section) const;
    const QSet<QString> &favoriteIds(Section section) const;
    void markRecent(const MediaItem &item);
    // The section's whole catalogue in the section's order, kept until the catalogue or the order changes.
    const Catalogue::KeptOrder &keptOrder(Section section);
    // A long catalogue is ordered on a worker, so that "All" finds its order made: at once when
    // its section is open, else once no catalogue is coming in (the home rows are shown by
    // then), so that the ordering never competes with a start's decoding.
    void scheduleKeptOrder(Section section);
    void startWantedKeptOrders();
    void startKeptOrder(Section section); // unless kept, under way or the catalogue is short
    // Waits for the section's kept order when it is being made (begun now if it is not).
    QCoro::Task<> keptOrderReady(Section section);
    void keptOrderMade(Section section, int key, const QList<MediaItem> &source,
                       const QFuture<Catalogue::KeptOrder> &result);
    // Whether the list of `category` is cut from the kept order once it is made: "All" and
    // lists long enough that sorting them alone costs about as much.
    bool cutFromKeptOrder(Section section, const Category &category);
    // The open list after its catalogue was replaced or reordered, shown once the new kept
    // order is made.
    QCoro::Task<> showReplacedItems(Section section, Category category);
    // The section's ordering as a KeptOrder key.
    int orderKey(Section section) const { return section == Section::live ? m_liveSortIndex : int(m_vodSort); }
    // The category's items, as positions in the cache, ordered as the section orders them.
    QList<qsizetype> itemsOf(Section section, const Category &category);
    QList<Category> shownCategories(Section section, const QList<Category> &provider) const;

    // Catalogues kept across runs: the kept snapshot taken in as stale data, the renewal of
    // everything stale or missing behind the screens, and the save after it.
    void preloadKept(); // starts reading the connected playlist's kept file, unless under way
    void takeKept(CatalogueCache::Snapshot snapshot);
    // Shows the kept file's home rows where no catalogue is loaded yet.
    void showKeptRows(CatalogueCache::HomeRows rows);
    // Waits for the kept file's whole reading under way, if any, and takes it: the first to
    // wait takes it, for the playlist it was read for.
    QCoro::Task<> adoptKept();
    void startRenewal();
    QCoro::Task<> renewCatalogues();
    QCoro::Task<bool> renewCatalogue(Playlist playlist, quint64 generation, Section section);
    QCoro::Task<bool> renewCategories(Playlist playlist, quint64 generation, Section section);
    void replaceCatalogue(Section section, QList<MediaItem> items);
    void replaceCategories(Section section, QList<Category> categories);
    void saveKept();
    void loadedFresh(); // something new to keep
    QList<Category> withPseudoCategories(const QList<Category> &provider) const;
    // The cache without the items of hidden categories and, in Live TV before the PIN, locked channels.
    // As positions in the cache, in the kept order.
    QList<qsizetype> shownItems(Section section, const Catalogue::KeptOrder &kept);
    // The category the open section starts on: "All" after `openSectionOnAll` until the user
    // chooses a category (a retry comes back to it), else the provider's first, else the first
    // of the column; none when the column is empty.
    std::optional<Category> openingCategory();
    QCoro::Task<> enterSection(Section section, QString text);

    // Connecting and entering the library: one attempt at a time, cancellable.
    quint64 beginConnecting();
    void connectFailed(const Failure &failure, bool m3u = false);
    // Keeps a failure for `place`; a refused account instead leaves for the check screen.
    void recordFailure(Failures::Place place, const Failure &failure);
    void credentialsRefused(const Failure &failure);
    void wireRetries();

    // A plain M3U list (appstore_m3u.cpp).
    void takeM3u(std::shared_ptr<const M3uLibrary> list);
    QCoro::Task<std::optional<Failure>> loadM3u();
    QCoro::Task<> showM3uFirstPart(); // home's rows while the rest of the list arrives
    QCoro::Task<bool> ensureM3u(); // the list's addresses are at hand
    QCoro::Task<> loadM3uCategories(Section section, quint64 load);
    QCoro::Task<> playM3u(MediaItem item);
    void openM3uDetail(const MediaItem &item);
    QCoro::Task<QList<EpgProgram>> m3uArchivePrograms(MediaItem channel);
    void playM3uCatchup(const MediaItem &channel, const EpgProgram &program);
    std::optional<M3uStream> m3uStream(const QString &id) const;
    std::optional<QUrl> m3uAddress(const QString &id) const;
    std::optional<QUrl> m3uArchiveAddress(const QString &id, qint64 start, qint64 stop) const;

    void wireGuide();
    QCoro::Task<> refreshDeviceWords();
    QCoro::Task<> loadPlaylistExpiry();
    QCoro::Task<> deliverAllCategories(Section section);

    std::shared_ptr<Preferences> m_preferences;
    int m_batchDepth = 0;
    QList<Signal> m_pendingSignals;
    QCollator m_collator;
    // Folded names of m_items' records, made again only when the records change (a new
    // catalogue or section), not when another category picks other positions.
    Catalogue::NameFilter m_nameFilter;
    QList<MediaItem> m_filterRecords;     // the records m_nameFilter was made from
    Catalogue::SearchTrail m_searchTrail; // over m_nameFilter, among m_itemOrder
    UrlOpener m_urlOpener;
    Clock m_clock;
    QTimer *m_expiryRefresh; // wakes when the days left of the expiry line change

    // Published fields, in declaration order.
    Phase m_phase = Phase::check;
    std::optional<Playlist> m_playlist;
    bool m_connecting = false;
    std::optional<QString> m_connectError;
    QString m_mac;
    Section m_section = Section::live;
    QList<Category> m_categories;
    std::optional<Category> m_selectedCategory;
    std::optional<Section> m_openOnAll; // the section opened on "All" by `openSectionOnAll`
    QList<MediaItem> m_items;           // the records the list is made of (a section's cache, shared)
    QList<qsizetype> m_itemOrder;       // the list: positions in m_items
    bool m_loadingItems = false;
    bool m_loadingCategories = false;
    QString m_searchText;
    VodSort m_vodSort = VodSort::added;
    std::optional<MediaItem> m_detailItem;
    std::optional<VodInfo> m_vodInfo;
    bool m_loadingDetail = false;
    QList<Season> m_seasons;
    QList<Episode> m_episodes;
    std::optional<Season> m_selectedSeason;
    std::optional<MediaItem> m_nowPlaying;
    std::optional<QUrl> m_nowPlayingURL;
    QString m_nowPlayingTitle;
    std::optional<Episode> m_nowPlayingEpisode;
    double m_catchupDurationSec = 0;
    QList<EpgProgram> m_epgNowNext;
    bool m_catchupOpen = false;
    bool m_liveGuide = false;
    QList<EpgProgram> m_catchupPrograms;
    QStringList m_catchupDays;
    std::optional<QString> m_selectedCatchupDay;
    bool m_loadingCatchup = false;
    QList<MediaItem> m_latestMovies;
    QList<MediaItem> m_latestSeries;
    bool m_loadingHome = false;
    bool m_resolving = false;
    PinAction m_pinChallenge;
    QList<Theme> m_themes;
    int m_themeIndex = 0;
    QList<MavuAPI::Language> m_languages;
    std::optional<qint64> m_playlistExpTs;
    std::optional<int> m_maxConnections;
    std::optional<int> m_activeConnections;
    bool m_checkCanGoBack = false;
    bool m_statusLoaded = false;
    int m_liveSortIndex = 0;
    QString m_languageCode;
    QString m_parentalPIN;
    QString m_settingsSaveError;

    // Not published.
    CatchupURLBuilder m_catchupURLBuilder;
    // The catalogue cache (allLive, allVods, allSeries) and where each category sits in it.
    std::array<QList<MediaItem>, 3> m_caches;                  // by Section
    std::array<Catalogue::CategoryIndex, 3> m_categoryIndexes; // by Section, made on first use
    std::array<Catalogue::KeptOrder, 3> m_keptOrders;          // by Section, made on first use
    struct KeptOrderWork
    {
        int key;
        QList<MediaItem> source; // the catalogue being ordered, held so that its address stays its own
        QFuture<Catalogue::KeptOrder> result;
    };
    std::array<std::optional<KeptOrderWork>, 3> m_keptOrderWork; // by Section: under way on a worker
    std::array<bool, 3> m_keptOrderWanted{};                     // by Section: to begin when idle
    QTimer *m_keptOrderIdle;
    std::array<bool, 3> m_cacheLoaded{};                       // by Section: an empty catalogue is loaded too
    // The provider's categories as last fetched by a renewal (or read from the kept file).
    std::array<std::optional<QList<Category>>, 3> m_keptCategories; // by Section
    // By Section: what came from the kept file and has not been renewed yet.
    std::array<bool, 3> m_staleCatalogue{};
    std::array<bool, 3> m_staleCategories{};
    std::unique_ptr<CatalogueCache> m_catalogueCache;
    struct KeptLoad
    {
        Playlist playlist;
        CatalogueCache::Loading loading;
    };
    std::optional<KeptLoad> m_keptLoad;
    // The download generation a renewal runs (or ran) for: one renewal per generation.
    std::optional<quint64> m_renewalGeneration;
    // Set while fresher data replaces what a screen shows: models change in place.
    bool m_inPlace = false;
    // Loaded from the provider since the last save.
    bool m_unsaved = false;
    Failures *m_failures;
    CatalogueDownloads *m_downloads;
    M3uSource *m_m3uSource;
    // The plain list connected, as last read, and the episodes of its shows.
    std::shared_ptr<const M3uLibrary> m_m3uRead;
    std::shared_ptr<const M3uCatalogue> m_m3uList;
    // The connection attempt running; a cancelled or overtaken one finds its number changed.
    quint64 m_connectAttempt = 0;
    std::shared_ptr<Network::Cancellation> m_connectCancellation;
    // What the connect place's Retry repeats: the manual form's last playlist, or entering.
    struct ManualAttempt
    {
        Playlist playlist;
        bool persist = false;
    };
    std::optional<ManualAttempt> m_lastManualAttempt;

    // Derived values as last announced, to signal only real changes.
    QList<Episode> m_seasonEpisodes;
    QList<EpgProgram> m_catchupDayPrograms;
    QHash<QString, QString> m_announcedWords;
    QString m_announcedExpiryText;
    std::optional<QUrl> m_announcedThemeURL;

    int m_favoritesRevision = 0;
    // The favourites' ids by Section, read from the preferences once per change: every card on
    // screen asks whether it is a favourite each time its row changes.
    mutable std::array<std::optional<QSet<QString>>, 3> m_favoriteIds;

    // Which load of categories and of details is the latest; older answers are not applied.
    quint64 m_categoryLoad = 0;
    quint64 m_detailLoad = 0;

    CategoryListModel *m_categoriesModel;
    FilteredItemsModel *m_itemsModel;
    MediaItemListModel *m_latestMoviesModel;
    MediaItemListModel *m_latestSeriesModel;
    SeasonListModel *m_seasonsModel;
    EpisodeListModel *m_seasonEpisodesModel;
    EpgProgramListModel *m_epgNowNextModel;
    TextListModel *m_catchupDaysModel;
    EpgProgramListModel *m_catchupDayProgramsModel;
    ProgramGuide *m_guide = nullptr;
    LibrarySearch *m_search;
    bool m_pinGiven = false;
    WatchPositions *m_positions;
};
