#pragma once

#include "model/enums.h"
#include "model/records.h"
#include "store/catalogue.h"
#include "store/failures.h"
#include "store/listmodels.h"

#include <QCoroTask>
#include <QObject>
#include <QSet>
#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class AppStore;

// One kind's share of the whole-library search: how many names match, the best few as a model,
// whether its catalogue is still being loaded and why it could not be.
class SearchResults : public QObject
{
    Q_OBJECT
    Q_PROPERTY(Mavu::Section section READ section CONSTANT FINAL)
    Q_PROPERTY(int count READ count NOTIFY countChanged FINAL)
    Q_PROPERTY(bool loading READ loading NOTIFY loadingChanged FINAL)
    Q_PROPERTY(PlaceFailure failure READ failure NOTIFY failureChanged FINAL)
    Q_PROPERTY(MediaItemListModel *model READ model CONSTANT FINAL)

public:
    SearchResults(Section section, QObject *parent);

    Section section() const { return m_section; }
    int count() const { return m_count; }
    bool loading() const { return m_loading; }
    PlaceFailure failure() const { return m_failure; }
    MediaItemListModel *model() const { return m_model; }
    const QList<MediaItem> &items() const { return m_model->rows(); }

    void show(int count, const QList<MediaItem> &items);
    void setLoading(bool loading);
    void setFailure(PlaceFailure failure);

Q_SIGNALS:
    void countChanged();
    void loadingChanged();
    void failureChanged();

private:
    Section m_section;
    int m_count = 0;
    bool m_loading = false;
    PlaceFailure m_failure;
    MediaItemListModel *m_model;
};

// The search across live channels, movies and shows at once. The three whole catalogues come
// through the store (its downloads and its cache); each is folded into a name index off the GUI
// thread, in its section's order, after which a keystroke is one pass over each index. A channel
// of an adult category (or with an adult name) shows only once the PIN was given in this run.
class LibrarySearch : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString text READ text WRITE setText NOTIFY textChanged FINAL)
    // Something to search for was typed (more than blanks).
    Q_PROPERTY(bool active READ active NOTIFY textChanged FINAL)
    // Nothing matched in any kind, and no kind is still loading or failed.
    Q_PROPERTY(bool nothingFound READ nothingFound NOTIFY resultsChanged FINAL)
    Q_PROPERTY(SearchResults *live READ live CONSTANT FINAL)
    Q_PROPERTY(SearchResults *movies READ movies CONSTANT FINAL)
    Q_PROPERTY(SearchResults *series READ series CONSTANT FINAL)

public:
    static constexpr qsizetype resultLimit = 30;

    explicit LibrarySearch(AppStore *store);
    ~LibrarySearch() override;

    QString text() const { return m_text; }
    void setText(const QString &text);
    bool active() const { return !m_needle.isEmpty(); }
    bool nothingFound() const;
    SearchResults *live() const { return m_results[0]; }
    SearchResults *movies() const { return m_results[1]; }
    SearchResults *series() const { return m_results[2]; }
    SearchResults *results(Section section) const { return m_results[size_t(section)]; }

    // Loads the kind's catalogue again after a failure.
    Q_INVOKABLE void retry(Mavu::Section section);
    // Opens the kind's section with the search typed into its own field.
    Q_INVOKABLE void seeAll(Mavu::Section section);
    // A channel plays in the live section; a movie or show opens its details.
    Q_INVOKABLE void open(const MediaItem &item);

    // Called by the store: the section's catalogue, its order or its hidden categories changed
    // (its index is made again), or everything was dropped (a new playlist, a refresh).
    void catalogueChanged(Section section);
    void catalogueDropped();
    // The parental PIN was given: locked channels may show.
    void unlocked();

    // The folded index of one catalogue, made off the GUI thread.
    struct Index
    {
        QList<MediaItem> items; // in the section's order
        Catalogue::NameFilter filter;
        std::vector<bool> hidden;         // in a category the user hid; empty: none
        std::vector<bool> hiddenOrLocked; // the same, and live channels behind the PIN
    };
    // Builds an index: `order` puts the catalogue in the section's order; channels whose
    // category is in `adultCategories`, or whose own name is adult, are locked.
    static std::shared_ptr<const Index> buildIndex(QList<MediaItem> catalogue, Section section,
                                                   const std::function<QList<MediaItem>(QList<MediaItem>)> &order,
                                                   const QSet<QString> &hiddenCategories,
                                                   const QSet<QString> &adultCategories);

Q_SIGNALS:
    void textChanged();
    void resultsChanged();

private:
    QCoro::Task<> prepare(Section section, quint64 token);
    void schedulePrepare(Section section);
    void update(Section section);
    void updateAll();

    AppStore *m_store;
    QString m_text;
    QString m_needle; // trimmed
    std::array<SearchResults *, 3> m_results;
    std::array<std::shared_ptr<const Index>, 3> m_indexes;
    // Typing on narrows the previous matches; dropped with the index or when the lock changes.
    std::array<Catalogue::SearchTrail, 3> m_trails;
    // Bumped whenever an index in the making no longer describes the catalogue.
    std::array<quint64, 3> m_tokens{};
    std::array<quint64, 3> m_indexTokens{};               // the token each index was made for
    std::array<std::optional<quint64>, 3> m_preparingFor; // the token a preparation runs for
    std::array<bool, 3> m_scheduled{};
    // The provider's live categories, for the adult lock, when the store keeps none.
    std::optional<QList<Category>> m_liveCategories;
};
