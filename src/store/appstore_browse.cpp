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
    setLoadingCategories(true);

    QPointer<AppStore> self(this);
    // Answers for a section the user has left, or from a provider no longer connected, would
    // fill the open section's column with the wrong categories.
    const auto stillCurrent = [&] { return m_section == section && m_playlist == playlist; };
    auto categoriesRequest = MavuAPI::categories(playlist, categoryAction(section));
    const QList<Category> provider = co_await categoriesRequest;
    if (!self)
        co_return;
    if (stillCurrent()) {
        const QStringList hiddenIds = m_preferences->hidden(section);
        const QSet<QString> hidden(hiddenIds.cbegin(), hiddenIds.cend());
        QList<Category> shown;
        for (const Category &category : provider) {
            if (!hidden.contains(category.id))
                shown.append(category);
        }
        setCategories(withPseudoCategories(shown));
    }

    if (cache(section).isEmpty()) {
        auto catalogueFetch = catalogueRequest(playlist, section);
        QList<MediaItem> catalogue = co_await catalogueFetch;
        if (!self)
            co_return;
        // Kept for the section it was asked for, and only while that provider is connected.
        if (m_playlist == playlist)
            setCache(section, std::move(catalogue));
    }

    const Batch batch(this);
    if (stillCurrent()) {
        const auto real = std::find_if(m_categories.cbegin(), m_categories.cend(), [](const Category &category) {
            return category.id != favoritesId && category.id != recentsId;
        });
        if (real != m_categories.cend())
            setSelectedCategory(*real);
        else if (!m_categories.isEmpty())
            setSelectedCategory(m_categories.first());
    }
    if (load == m_categoryLoad)
        setLoadingCategories(false);
}

QCoro::Task<QList<Category>> AppStore::allCategories(Section section)
{
    if (!m_playlist)
        co_return QList<Category>();
    auto request = MavuAPI::categories(*m_playlist, categoryAction(section));
    co_return co_await request;
}

void AppStore::selectCategory(const Category &category)
{
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
    std::optional<MediaItem> first;
    {
        const Batch batch(this);
        setLoadingItems(true);
        const Section section = m_section;
        const QList<MediaItem> &source = cache(section);
        const Category &category = *m_selectedCategory;
        QList<MediaItem> list;
        if (category.id == favoritesId)
            list = Catalogue::withIds(source, favoriteSet(section));
        else if (category.id == recentsId)
            list = Catalogue::inIdOrder(source, recents(section));
        else
            list = categoryIndex(section).cut(source, category.id);

        if (section != Section::live)
            list = sortVod(std::move(list));
        else
            list = Catalogue::sortedLive(std::move(list), m_liveSortIndex, m_collator);
        setItems(std::move(list));

        // Opening a live category while nothing live plays starts its first channel.
        const bool livePlaying = m_nowPlaying && m_nowPlaying->isLive();
        if (section == Section::live && !livePlaying && !m_items.isEmpty())
            first = m_items.first();
    }
    if (first) {
        QPointer<AppStore> self(this);
        auto playing = play(*first);
        co_await playing;
        if (!self)
            co_return;
    }
    setLoadingItems(false);
}

QList<MediaItem> AppStore::filteredItems() const
{
    return m_itemsModel->items();
}

QList<MediaItem> AppStore::sortVod(QList<MediaItem> items) const
{
    return Catalogue::sortedVod(std::move(items), m_vodSort, m_collator);
}

void AppStore::setHidden(const QStringList &ids, Mavu::Section section)
{
    m_preferences->setHidden(section, withoutRepeats(ids));
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
    const QStringList ids = m_preferences->favorites(section);
    return QSet<QString>(ids.cbegin(), ids.cend());
}

QStringList AppStore::recents(Mavu::Section section) const
{
    return m_preferences->recents(section);
}

bool AppStore::isFavorite(const MediaItem &item) const
{
    return m_preferences->favorites(sectionOf(item)).contains(item.id);
}

void AppStore::toggleFavorite(const MediaItem &item)
{
    const Section section = sectionOf(item);
    QStringList ids = favorites(section);
    if (!ids.removeOne(item.id))
        ids.append(item.id);
    m_preferences->setFavorites(section, ids);
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
