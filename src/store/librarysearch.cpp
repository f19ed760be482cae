#include "librarysearch.h"

#include "store/appstore.h"
#include "store/appstore_p.h"
#include "store/preferences.h"

#include <QCoroFuture>
#include <QPointer>
#include <QTimer>
#include <QtConcurrent>

using namespace AppStoreDetail;

SearchResults::SearchResults(Section section, QObject *parent)
    : QObject(parent)
    , m_section(section)
    , m_model(new MediaItemListModel(QByteArrayLiteral("item"), this))
{
}

void SearchResults::show(int count, const QList<MediaItem> &items)
{
    // In place: a keystroke changes the posters the row has instead of making them all again.
    m_model->replace(items, true);
    if (std::exchange(m_count, count) != count)
        Q_EMIT countChanged();
}

void SearchResults::setLoading(bool loading)
{
    if (std::exchange(m_loading, loading) != loading)
        Q_EMIT loadingChanged();
}

void SearchResults::setFailure(PlaceFailure failure)
{
    if (m_failure == failure)
        return;
    m_failure = std::move(failure);
    Q_EMIT failureChanged();
}

LibrarySearch::LibrarySearch(AppStore *store)
    : QObject(store)
    , m_store(store)
{
    for (Section section : allCases<Section>()) {
        SearchResults *results = new SearchResults(section, this);
        m_results[size_t(section)] = results;
        // The "No results" line follows every kind's state.
        connect(results, &SearchResults::countChanged, this, &LibrarySearch::resultsChanged);
        connect(results, &SearchResults::loadingChanged, this, &LibrarySearch::resultsChanged);
        connect(results, &SearchResults::failureChanged, this, &LibrarySearch::resultsChanged);
    }
}

LibrarySearch::~LibrarySearch() = default;

bool LibrarySearch::nothingFound() const
{
    if (!active())
        return false;
    return std::all_of(m_results.cbegin(), m_results.cend(), [](const SearchResults *results) {
        return results->count() == 0 && !results->loading() && !results->failure().failed();
    });
}

void LibrarySearch::setText(const QString &text)
{
    if (m_text == text)
        return;
    m_text = text;
    m_needle = Catalogue::trimmedSearch(text);
    updateAll();
    Q_EMIT textChanged();
}

void LibrarySearch::updateAll()
{
    for (Section section : allCases<Section>())
        update(section);
}

void LibrarySearch::update(Section section)
{
    const size_t s = size_t(section);
    SearchResults *results = m_results[s];
    if (!active()) {
        m_trails[s].clear();
        results->show(0, {});
        results->setLoading(false);
        return;
    }
    if (!m_indexes[s] || m_indexTokens[s] != m_tokens[s])
        schedulePrepare(section);
    // A catalogue being indexed anew is searched in its previous index meanwhile.
    const std::shared_ptr<const Index> index = m_indexes[s];
    if (!index)
        return;
    const bool unlocked = section != Section::live || m_store->m_pinGiven;
    const auto ranked = m_trails[s]
                            .matches(index->filter, Catalogue::foldForSearch(m_needle), unlocked ? index->hidden : index->hiddenOrLocked)
                            .ranked(resultLimit);
    QList<MediaItem> items;
    items.reserve(ranked.rows.size());
    for (const qsizetype row : ranked.rows)
        items.append(index->items.at(row));
    results->show(int(ranked.count), items);
}

void LibrarySearch::schedulePrepare(Section section)
{
    const size_t s = size_t(section);
    if (m_preparingFor[s] == m_tokens[s] || m_results[s]->failure().failed())
        return;
    // Shown at once, so that a row never says "nothing" before its catalogue was searched.
    if (!m_indexes[s])
        m_results[s]->setLoading(true);
    if (std::exchange(m_scheduled[s], true))
        return;
    // A turn of the event loop later: the store may be in the middle of replacing everything.
    QTimer::singleShot(0, this, [this, section, s] {
        m_scheduled[s] = false;
        if (!active() || (m_indexes[s] && m_indexTokens[s] == m_tokens[s]) || m_preparingFor[s] == m_tokens[s])
            return;
        startTask(prepare(section, m_tokens[s]));
    });
}

QCoro::Task<> LibrarySearch::prepare(Section section, quint64 token)
{
    const size_t s = size_t(section);
    SearchResults *results = m_results[s];
    QPointer<LibrarySearch> self(this);
    m_preparingFor[s] = token;
    if (!m_indexes[s])
        results->setLoading(true);
    const auto finished = [&](const std::optional<Failure> &failure) {
        if (m_preparingFor[s] == token)
            m_preparingFor[s].reset();
        if (token != m_tokens[s])
            return; // a newer preparation speaks for this kind
        results->setLoading(false);
        if (!failure || failure->kind == Failure::Kind::cancelled)
            return;
        if (failure->kind == Failure::Kind::credentialsRefused)
            m_store->recordFailure(Failures::Place::items, *failure);
        else
            results->setFailure(PlaceFailure(*failure, Failures::words(Failures::Place::items, *failure)));
    };

    auto load = m_store->loadCatalogue(section);
    std::optional<Failure> failure = co_await load;
    if (!self)
        co_return;
    if (failure || token != m_tokens[s]) {
        finished(failure);
        co_return;
    }

    QSet<QString> adultCategories;
    if (section == Section::live) {
        std::optional<QList<Category>> categories = m_store->m_keptCategories[s];
        if (!categories)
            categories = m_liveCategories;
        if (!categories) {
            if (!m_store->m_playlist) {
                finished(Failure{Failure::Kind::cancelled});
                co_return;
            }
            const Playlist playlist = *m_store->m_playlist;
            auto request = MavuAPI::categories(playlist, categoryAction(Section::live));
            Result<QList<Category>> answer = co_await request;
            if (!self)
                co_return;
            if (m_store->m_playlist != playlist) {
                finished(Failure{Failure::Kind::cancelled});
                co_return;
            }
            // Without the categories nothing tells which channels are locked.
            if (!answer) {
                finished(answer.failure());
                co_return;
            }
            m_liveCategories = answer.value();
            categories = m_liveCategories;
        }
        for (const Category &category : std::as_const(*categories)) {
            if (Catalogue::isAdult(category.name))
                adultCategories.insert(category.id);
        }
    }

    const QStringList hiddenIds = m_store->m_preferences->hidden(section);
    const QSet<QString> hidden(hiddenIds.cbegin(), hiddenIds.cend());
    const VodSort vodSort = m_store->m_vodSort;
    const int liveSortIndex = m_store->m_liveSortIndex;
    const auto order = [section, vodSort, liveSortIndex](QList<MediaItem> items) {
        // A collator of its own: this runs on a worker thread.
        const QCollator collator = Catalogue::nameCollator();
        if (section == Section::live)
            return Catalogue::sortedLive(std::move(items), liveSortIndex, collator);
        return Catalogue::sortedVod(std::move(items), vodSort, collator);
    };
    QFuture<std::shared_ptr<const Index>> building
        = QtConcurrent::run([catalogue = m_store->cache(section), section, order, hidden, adultCategories] {
              return buildIndex(catalogue, section, order, hidden, adultCategories);
          });
    std::shared_ptr<const Index> index = co_await building;
    if (!self)
        co_return;
    if (token == m_tokens[s]) {
        m_indexes[s] = std::move(index);
        m_indexTokens[s] = token;
        m_trails[s].clear();
    }
    finished(std::nullopt);
    if (token == m_tokens[s])
        update(section);
}

std::shared_ptr<const LibrarySearch::Index>
LibrarySearch::buildIndex(QList<MediaItem> catalogue, Section section,
                          const std::function<QList<MediaItem>(QList<MediaItem>)> &order,
                          const QSet<QString> &hiddenCategories, const QSet<QString> &adultCategories)
{
    auto index = std::make_shared<Index>();
    index->items = order(std::move(catalogue));
    index->filter.setItems(index->items);
    const size_t count = size_t(index->items.size());
    if (!hiddenCategories.isEmpty()) {
        index->hidden.resize(count);
        for (size_t row = 0; row < count; ++row)
            index->hidden[row] = hiddenCategories.contains(index->items.at(qsizetype(row)).categoryId);
    }
    if (section == Section::live) {
        index->hiddenOrLocked.resize(count);
        for (size_t row = 0; row < count; ++row) {
            const MediaItem &item = index->items.at(qsizetype(row));
            index->hiddenOrLocked[row] = (!index->hidden.empty() && index->hidden[row])
                || adultCategories.contains(item.categoryId) || Catalogue::isAdult(item.name);
        }
    } else {
        index->hiddenOrLocked = index->hidden;
    }
    return index;
}

void LibrarySearch::retry(Mavu::Section section)
{
    m_results[size_t(section)]->setFailure({});
    update(section);
}

void LibrarySearch::seeAll(Mavu::Section section)
{
    // On all of the section's items, not its first category, so that it shows what the row counted.
    startTask(m_store->openSectionOnAll(section, m_text));
}

void LibrarySearch::open(const MediaItem &item)
{
    if (item.isLive())
        m_store->runPlayInLiveSection(item);
    else
        m_store->runOpenDetail(item);
}

void LibrarySearch::catalogueChanged(Section section)
{
    const size_t s = size_t(section);
    ++m_tokens[s];
    m_results[s]->setFailure({});
    if (active())
        schedulePrepare(section);
}

void LibrarySearch::catalogueDropped()
{
    for (Section section : allCases<Section>()) {
        const size_t s = size_t(section);
        ++m_tokens[s];
        m_indexes[s].reset();
        m_trails[s].clear();
        m_results[s]->setFailure({});
        m_results[s]->setLoading(false);
        m_results[s]->show(0, {});
        if (active())
            schedulePrepare(section);
    }
    m_liveCategories.reset();
}

void LibrarySearch::unlocked()
{
    m_trails[size_t(Section::live)].clear();
    update(Section::live);
}
