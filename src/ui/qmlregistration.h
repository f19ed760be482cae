#pragma once

// How the store's C++ types reach the screens. The store itself stays free of QML: these
// declarations register it from here.

#include "model/enums.h"
#include "model/playlist.h"
#include "model/records.h"
#include "api/failure.h"
#include "store/appstore.h"
#include "store/failures.h"
#include "store/librarysearch.h"
#include "store/listmodels.h"
#include "store/wordtable.h"
#include "store/guidegridmodel.h"
#include "store/programguide.h"

#include <QJSEngine>
#include <QQmlEngine>
#include <QtQml/qqmlregistration.h>

// The one store of the run, made by the application (or a test) before any screen loads.
struct AppStoreForeign
{
    Q_GADGET
    QML_FOREIGN(AppStore)
    QML_NAMED_ELEMENT(AppStore)
    QML_SINGLETON

public:
    static inline AppStore *instance = nullptr;

    static AppStore *create(QQmlEngine *, QJSEngine *engine)
    {
        Q_ASSERT(instance);
        Q_ASSERT(engine->thread() == instance->thread());
        // The application owns the store; the engine must never delete it.
        QJSEngine::setObjectOwnership(instance, QJSEngine::CppOwnership);
        return instance;
    }
};

// Sections and orderings, as Catalog.Live, Catalog.Movies, … in QML.
namespace CatalogForeign {
Q_NAMESPACE
QML_FOREIGN_NAMESPACE(Mavu)
QML_NAMED_ELEMENT(Catalog)
} // namespace CatalogForeign

struct PlaylistForeign
{
    Q_GADGET
    QML_FOREIGN(Playlist)
    QML_VALUE_TYPE(playlist)
};

struct CategoryForeign
{
    Q_GADGET
    QML_FOREIGN(Category)
    QML_VALUE_TYPE(category)
};

struct MediaItemForeign
{
    Q_GADGET
    QML_FOREIGN(MediaItem)
    QML_VALUE_TYPE(mediaItem)
};

struct VodInfoForeign
{
    Q_GADGET
    QML_FOREIGN(VodInfo)
    QML_VALUE_TYPE(vodInfo)
};

struct SeasonForeign
{
    Q_GADGET
    QML_FOREIGN(Season)
    QML_VALUE_TYPE(season)
};

struct EpisodeForeign
{
    Q_GADGET
    QML_FOREIGN(Episode)
    QML_VALUE_TYPE(episode)
};

struct EpgProgramForeign
{
    Q_GADGET
    QML_FOREIGN(EpgProgram)
    QML_VALUE_TYPE(epgProgram)
};

struct ThemeForeign
{
    Q_GADGET
    QML_FOREIGN(Theme)
    QML_VALUE_TYPE(theme)
};

// The words of the chosen language: `AppStore.words.t(key, fallback)`.
struct WordTableForeign
{
    Q_GADGET
    QML_FOREIGN(WordTable)
    QML_VALUE_TYPE(wordTable)
};

// Failures: a place's last one as `placeFailure` (failed, text, kind), the store's sub-object
// that keeps them as `Failures` (`AppStore.failures.home`, `AppStore.failures.retryHome()`).
struct FailureForeign
{
    Q_GADGET
    QML_FOREIGN(Failure)
    QML_VALUE_TYPE(failure)
};

struct PlaceFailureForeign
{
    Q_GADGET
    QML_FOREIGN(PlaceFailure)
    QML_VALUE_TYPE(placeFailure)
};

struct FailuresForeign
{
    Q_GADGET
    QML_FOREIGN(Failures)
    QML_NAMED_ELEMENT(Failures)
    QML_UNCREATABLE("The store keeps the failures.")
};

// The whole-library search (`AppStore.search`) and its three kinds of results.
struct LibrarySearchForeign
{
    Q_GADGET
    QML_FOREIGN(LibrarySearch)
    QML_NAMED_ELEMENT(LibrarySearch)
    QML_UNCREATABLE("The store keeps the search.")
};

struct SearchResultsForeign
{
    Q_GADGET
    QML_FOREIGN(SearchResults)
    QML_NAMED_ELEMENT(SearchResults)
    QML_UNCREATABLE("The store keeps the search.")
};

// The store's list models, each known to QML by its own type; only the store makes them.
struct ListModelBaseForeign
{
    Q_GADGET
    QML_FOREIGN(ListModelBase)
    QML_ANONYMOUS
};

struct CategoryListModelForeign
{
    Q_GADGET
    QML_FOREIGN(CategoryListModel)
    QML_NAMED_ELEMENT(CategoryListModel)
    QML_UNCREATABLE("The store makes its models.")
};

struct MediaItemListModelForeign
{
    Q_GADGET
    QML_FOREIGN(MediaItemListModel)
    QML_NAMED_ELEMENT(MediaItemListModel)
    QML_UNCREATABLE("The store makes its models.")
};

struct SeasonListModelForeign
{
    Q_GADGET
    QML_FOREIGN(SeasonListModel)
    QML_NAMED_ELEMENT(SeasonListModel)
    QML_UNCREATABLE("The store makes its models.")
};

struct EpisodeListModelForeign
{
    Q_GADGET
    QML_FOREIGN(EpisodeListModel)
    QML_NAMED_ELEMENT(EpisodeListModel)
    QML_UNCREATABLE("The store makes its models.")
};

struct EpgProgramListModelForeign
{
    Q_GADGET
    QML_FOREIGN(EpgProgramListModel)
    QML_NAMED_ELEMENT(EpgProgramListModel)
    QML_UNCREATABLE("The store makes its models.")
};

struct TextListModelForeign
{
    Q_GADGET
    QML_FOREIGN(TextListModel)
    QML_NAMED_ELEMENT(TextListModel)
    QML_UNCREATABLE("The store makes its models.")
};

struct FilteredItemsModelForeign
{
    Q_GADGET
    QML_FOREIGN(FilteredItemsModel)
    QML_NAMED_ELEMENT(FilteredItemsModel)
    QML_UNCREATABLE("The store makes its models.")
};

// The full guide: `AppStore.guide`, its grid model and the values its rows carry.
struct ProgramGuideForeign
{
    Q_GADGET
    QML_FOREIGN(ProgramGuide)
    QML_NAMED_ELEMENT(ProgramGuide)
    QML_UNCREATABLE("The store owns the guide.")
};

struct GuideGridModelForeign
{
    Q_GADGET
    QML_FOREIGN(GuideGridModel)
    QML_NAMED_ELEMENT(GuideGridModel)
    QML_UNCREATABLE("The guide owns its grid.")
};

struct GuideProgramForeign
{
    Q_GADGET
    QML_FOREIGN(GuideProgram)
    QML_VALUE_TYPE(guideProgram)
};

struct GuideCellForeign
{
    Q_GADGET
    QML_FOREIGN(GuideCell)
    QML_VALUE_TYPE(guideCell)
};

struct GuideTickForeign
{
    Q_GADGET
    QML_FOREIGN(GuideTick)
    QML_VALUE_TYPE(guideTick)
};

// Where movies and episodes were left: `AppStore.positions`, its home-row model and its rows.
struct WatchPositionsForeign
{
    Q_GADGET
    QML_FOREIGN(WatchPositions)
    QML_NAMED_ELEMENT(WatchPositions)
    QML_UNCREATABLE("The store keeps the positions.")
};

struct WatchEntryListModelForeign
{
    Q_GADGET
    QML_FOREIGN(WatchEntryListModel)
    QML_NAMED_ELEMENT(WatchEntryListModel)
    QML_UNCREATABLE("The positions make their model.")
};

struct WatchEntryForeign
{
    Q_GADGET
    QML_FOREIGN(WatchEntry)
    QML_VALUE_TYPE(watchEntry)
};
