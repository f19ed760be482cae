// Catalogues kept across runs: the library opens from the kept file, and everything in it is
// fetched again behind the screens and replaces what they show without moving them.
#include "appstore.h"

#include "api/diagnostics.h"
#include "store/appstore_p.h"
#include "store/cataloguedownloads.h"

#include <QCoroFuture>
#include <QPointer>

using namespace AppStoreDetail;

void AppStore::setCatalogueCacheFolder(const QString &folder)
{
    m_keptLoad.reset();
    m_catalogueCache = std::make_unique<CatalogueCache>(folder);
}

void AppStore::preloadKept()
{
    if (!m_playlist || (m_keptLoad && m_keptLoad->playlist == *m_playlist))
        return;
    m_keptLoad = KeptLoad{*m_playlist, m_catalogueCache->load(*m_playlist)};
}

void AppStore::showKeptRows(CatalogueCache::HomeRows rows)
{
    const Batch batch(this);
    auto &movies = rows[size_t(Section::movies)];
    auto &shows = rows[size_t(Section::series)];
    if (movies && !cacheLoaded(Section::movies))
        setLatestMovies(std::move(*movies));
    if (shows && !cacheLoaded(Section::series))
        setLatestSeries(std::move(*shows));
}

QCoro::Task<> AppStore::adoptKept()
{
    if (!m_keptLoad || m_playlist != m_keptLoad->playlist)
        co_return;
    QPointer<AppStore> self(this);
    const Playlist playlist = m_keptLoad->playlist;
    QFuture<std::optional<CatalogueCache::Snapshot>> whole = m_keptLoad->loading.whole;
    std::optional<CatalogueCache::Snapshot> kept = co_await whole;
    if (!self || !m_keptLoad || m_keptLoad->playlist != playlist || m_playlist != playlist)
        co_return; // taken by another wait, or dropped with the playlist or by a refresh
    // Taken once: the reading keeps no second hold on lists a renewal will replace.
    m_keptLoad.reset();
    if (kept) {
        Timing::mark("kept file read");
        takeKept(std::move(*kept));
    }
}

void AppStore::takeKept(CatalogueCache::Snapshot snapshot)
{
    const Batch batch(this);
    for (Section section : allCases<Section>()) {
        const size_t s = size_t(section);
        // What this run has loaded already is fresher than the file.
        if (snapshot.catalogues[s] && !cacheLoaded(section)) {
            setCache(section, std::move(*snapshot.catalogues[s]));
            m_staleCatalogue[s] = true;
        }
        if (snapshot.categories[s] && !m_keptCategories[s]) {
            m_keptCategories[s] = std::move(snapshot.categories[s]);
            m_staleCategories[s] = true;
        }
    }
    qCDebug(lcStore) << "library opened from the kept catalogues";
}

void AppStore::startRenewal()
{
    if (m_catalogueCache->isEnabled() && m_renewalGeneration != m_downloads->generation())
        startTask(renewCatalogues());
}

void AppStore::loadedFresh()
{
    m_unsaved = m_catalogueCache->isEnabled();
}

QCoro::Task<> AppStore::renewCatalogues()
{
    if (!m_playlist)
        co_return;
    QPointer<AppStore> self(this);
    const Playlist playlist = *m_playlist;
    const quint64 generation = m_downloads->generation();
    m_renewalGeneration = generation;

    // Everything at once; each part lands on its own. A plain list is one part for all.
    std::vector<QCoro::Task<bool>> parts;
    if (playlist.isM3u()) {
        const QList<Section> sections = allCases<Section>();
        const bool stale = std::any_of(sections.cbegin(), sections.cend(), [&](Section section) {
            return !cacheLoaded(section) || m_staleCatalogue[size_t(section)] || m_staleCategories[size_t(section)];
        });
        if (stale || !m_m3uList) {
            auto read = loadM3u();
            co_await read;
            if (!self)
                co_return;
        }
    }
    for (Section section : allCases<Section>()) {
        if (playlist.isM3u())
            break;
        if (!cacheLoaded(section) || m_staleCatalogue[size_t(section)])
            parts.push_back(renewCatalogue(playlist, generation, section));
        if (!m_keptCategories[size_t(section)] || m_staleCategories[size_t(section)])
            parts.push_back(renewCategories(playlist, generation, section));
    }
    for (QCoro::Task<bool> &part : parts) {
        co_await part;
        if (!self)
            co_return;
    }
    if (m_playlist != playlist || m_downloads->generation() != generation)
        co_return;
    // A part that failed is tried again after the next load that succeeds.
    m_renewalGeneration.reset();
    if (m_unsaved)
        saveKept();
}

QCoro::Task<bool> AppStore::renewCatalogue(Playlist playlist, quint64 generation, Section section)
{
    QPointer<AppStore> self(this);
    auto download = m_downloads->fetch(playlist, section);
    Result<QList<MediaItem>> catalogue = co_await download;
    if (!self || m_playlist != playlist || m_downloads->generation() != generation || !catalogue)
        co_return false;
    // A load of the section may have kept the same answer already.
    if (!cacheLoaded(section) || m_staleCatalogue[size_t(section)]) {
        replaceCatalogue(section, std::move(catalogue).value());
        loadedFresh();
    }
    co_return true;
}

QCoro::Task<bool> AppStore::renewCategories(Playlist playlist, quint64 generation, Section section)
{
    QPointer<AppStore> self(this);
    auto request = MavuAPI::categories(playlist, categoryAction(section));
    Result<QList<Category>> categories = co_await request;
    if (!self || m_playlist != playlist || m_downloads->generation() != generation || !categories)
        co_return false;
    replaceCategories(section, std::move(categories).value());
    loadedFresh();
    co_return true;
}

void AppStore::replaceCatalogue(Section section, QList<MediaItem> items)
{
    const Batch batch(this);
    const bool inPlace = std::exchange(m_inPlace, true);
    setCache(section, std::move(items));
    m_staleCatalogue[size_t(section)] = false;
    if (section == Section::movies)
        setLatestMovies(Catalogue::newest(allVods(), homeRowLength));
    else if (section == Section::series)
        setLatestSeries(Catalogue::newest(allSeries(), homeRowLength));
    // The open list takes the new items; its category, search and playback stay.
    if (m_phase == Phase::section && m_section == section && m_selectedCategory) {
        if (cutFromKeptOrder(section, *m_selectedCategory) && !m_keptOrders[size_t(section)].holds(orderKey(section)))
            startTask(showReplacedItems(section, *m_selectedCategory)); // the new order is being made
        else
            setItems(cache(section), itemsOf(section, *m_selectedCategory));
    }
    m_inPlace = inPlace;
}

void AppStore::replaceCategories(Section section, QList<Category> categories)
{
    const Batch batch(this);
    m_keptCategories[size_t(section)] = std::move(categories);
    // Which channels are locked follows the live categories' names.
    if (section == Section::live)
        m_search->catalogueChanged(section);
    m_staleCategories[size_t(section)] = false;
    if (m_phase != Phase::section || m_section != section || m_loadingCategories)
        return;
    const bool inPlace = std::exchange(m_inPlace, true);
    setCategories(withPseudoCategories(shownCategories(section, *m_keptCategories[size_t(section)])));
    m_inPlace = inPlace;
    // "All" belongs to no provider category: it stays, its items follow the catalogue.
    if (!m_selectedCategory || m_selectedCategory->id == allId)
        return;
    const auto same = std::find_if(m_categories.cbegin(), m_categories.cend(),
                                   [&](const Category &category) { return category.id == m_selectedCategory->id; });
    if (same != m_categories.cend()) {
        // Renamed at most: the selection follows without loading its items again.
        setSelectedCategory(*same, false);
        return;
    }
    // The provider dropped the open category: the first of its categories opens instead.
    const auto real = std::find_if(m_categories.cbegin(), m_categories.cend(), [](const Category &category) {
        return category.id != favoritesId && category.id != recentsId;
    });
    setSelectedCategory(real != m_categories.cend() ? *real : m_categories.first());
}

void AppStore::saveKept()
{
    if (!m_playlist || !m_catalogueCache->isEnabled())
        return;
    CatalogueCache::Snapshot snapshot;
    snapshot.homeRowLength = homeRowLength;
    for (Section section : allCases<Section>()) {
        const size_t s = size_t(section);
        if (cacheLoaded(section))
            snapshot.catalogues[s] = cache(section);
        snapshot.categories[s] = m_keptCategories[s];
    }
    m_catalogueCache->save(*m_playlist, std::move(snapshot));
    m_unsaved = false;
}
