// Catalogue browsing: categories, the per-section cache, selection with the parental lock,
// item lists with their orderings and search, favourites, recents and hidden categories.
#include "appstore.h"

#include "store/appstore_p.h"
#include "store/listmodels.h"
#include "store/preferences.h"

#include <QPointer>

using namespace AppStoreDetail;

namespace {

QStringList withoutRepeats(const QStringList &ids)
{
    QStringList result = ids;
    result.removeDuplicates();
    return result;
}

} // namespace

QList<Category> AppStore::withPseudoCategories(const QList<Category> &provider) const
{
    QList<Category> result;
    result.reserve(provider.size() + 2);
    result.append(Category{favoritesId, t(QStringLiteral("favorites"), QStringLiteral("Favorites"))});
    result.append(Category{recentsId, t(QStringLiteral("recent_viewed"), QStringLiteral("Recently Viewed"))});
    result.append(provider);
    return result;
}

QCoro::Task<> AppStore::loadCategories()
{
    if (!m_playlist)
        co_return;
    const Playlist playlist = *m_playlist;
    const Section section = m_section;
    const quint64 load = ++m_categoryLoad;
    // Kept categories over a loaded catalogue open at once; a renewal brings fresher ones.
    if (m_keptCategories[size_t(section)] && cacheLoaded(section)) {
        const Batch batch(this);
        setCategories(withPseudoCategories(shownCategories(section, *m_keptCategories[size_t(section)])));
        m_failures->clear(Failures::Place::categories);
        setSelectedCategory(openingCategory());
        setLoadingCategories(false);
        co_return;
    }
    if (playlist.isM3u()) {
        auto categories = loadM3uCategories(section, load);
        co_await categories;
        co_return;
    }
    setLoadingCategories(true);

    QPointer<AppStore> self(this);
    // Answers for a section the user has left, or from a provider no longer connected, would
    // fill the open section's column with the wrong categories.
    const auto stillCurrent = [&] { return m_section == section && m_playlist == playlist; };
    // The catalogue comes alongside the categories, not after them.
    auto catalogueLoad = loadCatalogue(section);
    auto categoriesRequest = MavuAPI::categories(playlist, categoryAction(section));
    const Result<QList<Category>> provider = co_await categoriesRequest;
    if (!self)
        co_return;
    if (stillCurrent()) {
        const Batch batch(this);
        // Favourites and recents come from the cache: they stay usable without the provider's list.
        setCategories(withPseudoCategories(shownCategories(section, provider.valueOr({}))));
        if (provider && m_catalogueCache->isEnabled()) {
            m_keptCategories[size_t(section)] = provider.value();
            m_staleCategories[size_t(section)] = false;
            loadedFresh();
        }
        if (provider)
            m_failures->clear(Failures::Place::categories);
        else
            recordFailure(Failures::Place::categories, provider.failure());
    }

    const std::optional<Failure> catalogueFailure = co_await catalogueLoad;
    if (!self)
        co_return;

    const Batch batch(this);
    if (stillCurrent()) {
        const std::optional<Category> first = openingCategory();
        if (!catalogueFailure) {
            if (first)
                setSelectedCategory(first);
            startRenewal();
        } else if (catalogueFailure->kind != Failure::Kind::cancelled) {
            // Selected without a load: the grid says why it is empty, and choosing a category
            // (or Retry) fetches the catalogue again.
            setSelectedCategory(first, false);
            setItems({});
            recordFailure(Failures::Place::items, *catalogueFailure);
        }
    }
    if (load == m_categoryLoad)
        setLoadingCategories(false);
}

std::optional<Category> AppStore::openingCategory()
{
    if (m_openOnAll == m_section)
        return Category{allId, t(QStringLiteral("all"), QStringLiteral("All"))};
    const auto real = std::find_if(m_categories.cbegin(), m_categories.cend(), [](const Category &category) {
        return category.id != favoritesId && category.id != recentsId;
    });
    if (real != m_categories.cend())
        return *real;
    if (!m_categories.isEmpty())
        return m_categories.first();
    return std::nullopt;
}

QCoro::Task<QList<Category>> AppStore::allCategories(Section section)
{
    if (!m_playlist)
        co_return QList<Category>();
    if (m_playlist->isM3u()) {
        // The list's groups, read with its catalogue.
        QPointer<AppStore> self(this);
        auto load = loadCatalogue(section);
        co_await load;
        if (!self || !m_playlist || !m_playlist->isM3u())
            co_return QList<Category>();
        co_return m_keptCategories[size_t(section)].value_or(QList<Category>());
    }
    auto request = MavuAPI::categories(*m_playlist, categoryAction(section));
    co_return (co_await request).valueOr({});
}

void AppStore::selectCategory(const Category &category)
{
    m_openOnAll.reset();
    const Batch batch(this);
    if (m_section != Section::live) {
        setSelectedCategory(category);
        return;
    }
    bool locked = false;
    if (category.id == favoritesId || category.id == recentsId) {
        const QList<MediaItem> channels = category.id == favoritesId
            ? Catalogue::withIds(allLive(), favoriteSet(Section::live))
            : Catalogue::inIdOrder(allLive(), recents(Section::live));
        locked = std::any_of(channels.cbegin(), channels.cend(), [](const MediaItem &item) { return isAdult(item.name); });
    } else {
        locked = isAdult(category.name);
    }
    if (!locked) {
        setSelectedCategory(category);
        return;
    }
    setPinChallenge([self = QPointer<AppStore>(this), category] {
        if (self)
            self->setSelectedCategory(category);
    });
}

QCoro::Task<> AppStore::loadItems()
{
    if (!m_playlist || !m_selectedCategory) {
        setItems({});
        co_return;
    }
    QPointer<AppStore> self(this);
    const Section section = m_section;
    const Category category = *m_selectedCategory;
    setLoadingItems(true);
    if (!cacheLoaded(section)) {
        // After a failed or dropped catalogue: fetched again, or joined while in flight.
        auto catalogueLoad = loadCatalogue(section);
        const std::optional<Failure> failure = co_await catalogueLoad;
        if (!self)
            co_return;
        // Overtaken by another selection, section or playlist: that load speaks for the screen.
        if (m_section != section || m_selectedCategory != category)
            co_return;
        if (failure) {
            const Batch batch(this);
            setItems({});
            setLoadingItems(false);
            recordFailure(Failures::Place::items, *failure);
            co_return;
        }
    }
    if (!m_keptOrders[size_t(section)].holds(orderKey(section)) && cutFromKeptOrder(section, category)) {
        // The whole catalogue is being ordered on a worker: the list shows its loading state
        // meanwhile instead of the GUI thread ordering it again.
        auto ready = keptOrderReady(section);
        co_await ready;
        if (!self || m_section != section || m_selectedCategory != category)
            co_return;
    }
    std::optional<MediaItem> first;
    {
        const Batch batch(this);
        m_failures->clear(Failures::Place::items);
        setItems(cache(section), itemsOf(section, category));
        // The list is here: the first channel's start (and its guide lines) is no part of it,
        // and a spinner in its place would take the keyboard from the list meanwhile.
        setLoadingItems(false);

        // Opening a live category while nothing live plays starts its first channel.
        const bool livePlaying = m_nowPlaying && m_nowPlaying->isLive();
        if (section == Section::live && !livePlaying && !m_itemOrder.isEmpty())
            first = m_items.at(m_itemOrder.first());
    }
    if (first) {
        auto playing = play(*first);
        co_await playing;
    }
}

QList<qsizetype> AppStore::itemsOf(Section section, const Category &category)
{
    const QList<MediaItem> &source = cache(section);
    const auto ordered = [&](const QList<qsizetype> &positions) {
        return section == Section::live ? Catalogue::orderedLive(source, positions, m_liveSortIndex, m_collator)
                                        : Catalogue::orderedVod(source, positions, m_vodSort, m_collator);
    };
    // A few entries whose own order decides among equals: ordered by themselves.
    if (category.id == recentsId)
        return ordered(Catalogue::positionsInIdOrder(source, recents(section)));
    if (category.id == allId)
        return shownItems(section, keptOrder(section));
    // Other lists are cut from the whole catalogue's kept order, so nothing is sorted per choice.
    // Until "All" made that order, a short list is ordered by itself (the same order, for less
    // than ordering the whole catalogue while the section opens).
    const QList<qsizetype> positions = category.id == favoritesId
        ? Catalogue::positionsWithIds(source, favoriteSet(section))
        : categoryIndex(section).rows(category.id);
    const int key = orderKey(section);
    if (!m_keptOrders[size_t(section)].holds(key) && positions.size() * 16 < source.size())
        return ordered(positions);
    return keptOrder(section).cut(positions);
}

bool AppStore::cutFromKeptOrder(Section section, const Category &category)
{
    if (category.id == recentsId)
        return false;
    if (category.id == allId)
        return true;
    const qsizetype count =
        category.id == favoritesId ? favoriteSet(section).size() : categoryIndex(section).rows(category.id).size();
    return count * 16 >= cache(section).size();
}

QCoro::Task<> AppStore::showReplacedItems(Section section, Category category)
{
    QPointer<AppStore> self(this);
    auto ready = keptOrderReady(section);
    co_await ready;
    // Unless the screen moved on meanwhile; until then it showed the list it had.
    if (!self || m_phase != Phase::section || m_section != section || m_selectedCategory != category)
        co_return;
    const Batch batch(this);
    const bool inPlace = std::exchange(m_inPlace, true);
    setItems(cache(section), itemsOf(section, category));
    m_inPlace = inPlace;
}

QList<qsizetype> AppStore::shownItems(Section section, const Catalogue::KeptOrder &kept)
{
    const QStringList hiddenIds = m_preferences->hidden(section);
    // Channels behind the PIN stay out until it was given, as they do in the library's search.
    const bool locking = section == Section::live && !m_pinGiven;
    if (hiddenIds.isEmpty() && !locking)
        return kept.order();
    const QList<MediaItem> &source = cache(section);
    std::vector<bool> excluded(size_t(source.size()), false);
    const Catalogue::CategoryIndex &index = categoryIndex(section);
    for (const QString &id : hiddenIds) {
        for (const qsizetype at : index.rows(id))
            excluded[size_t(at)] = true;
    }
    if (locking) {
        QSet<QString> adult;
        for (const Category &category : m_categories) {
            if (Catalogue::isAdult(category.name))
                adult.insert(category.id);
        }
        for (qsizetype at = 0; at < source.size(); ++at) {
            const MediaItem &item = source.at(at);
            if (adult.contains(item.categoryId) || Catalogue::isAdult(item.name))
                excluded[size_t(at)] = true;
        }
    }
    return kept.without(excluded);
}

QList<Category> AppStore::shownCategories(Section section, const QList<Category> &provider) const
{
    const QStringList hiddenIds = m_preferences->hidden(section);
    const QSet<QString> hidden(hiddenIds.cbegin(), hiddenIds.cend());
    QList<Category> shown;
    for (const Category &category : provider) {
        if (!hidden.contains(category.id))
            shown.append(category);
    }
    return shown;
}

QList<MediaItem> AppStore::filteredItems() const
{
    return m_itemsModel->items();
}

void AppStore::setHidden(const QStringList &ids, Mavu::Section section)
{
    m_preferences->setHidden(section, withoutRepeats(ids));
    m_search->catalogueChanged(section);
    if (m_phase == Phase::section && m_section == section)
        startTask(loadCategories());
}

QStringList AppStore::hiddenCategoryIDs(Mavu::Section section) const
{
    return withoutRepeats(m_preferences->hidden(section));
}

bool AppStore::isAdult(const QString &text)
{
    return Catalogue::isAdult(text);
}

QStringList AppStore::favorites(Mavu::Section section) const
{
    return withoutRepeats(m_preferences->favorites(section));
}

QSet<QString> AppStore::favoriteSet(Section section) const
{
    return favoriteIds(section);
}

const QSet<QString> &AppStore::favoriteIds(Section section) const
{
    std::optional<QSet<QString>> &kept = m_favoriteIds[size_t(section)];
    if (!kept) {
        const QStringList ids = m_preferences->favorites(section);
        kept.emplace(ids.cbegin(), ids.cend());
    }
    return *kept;
}

QStringList AppStore::recents(Mavu::Section section) const
{
    return m_preferences->recents(section);
}

bool AppStore::isFavorite(const MediaItem &item) const
{
    if (testing::favoritesFromPreferences)
        return m_preferences->favorites(sectionOf(item)).contains(item.id);
    return favoriteIds(sectionOf(item)).contains(item.id);
}

void AppStore::toggleFavorite(const MediaItem &item)
{
    const Section section = sectionOf(item);
    QStringList ids = favorites(section);
    if (!ids.removeOne(item.id))
        ids.append(item.id);
    m_preferences->setFavorites(section, ids);
    m_favoriteIds[size_t(section)].reset();
    ++m_favoritesRevision;
    notify(&AppStore::favoritesChanged);
}

void AppStore::markRecent(const MediaItem &item)
{
    const Section section = sectionOf(item);
    QStringList ids = m_preferences->recents(section);
    ids.removeAll(item.id);
    ids.prepend(item.id);
    if (ids.size() > recentsLimit)
        ids.resize(recentsLimit);
    m_preferences->setRecents(section, ids);
}
